#include "resources/Resources.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "resources/ResourceIndex.h"

namespace velmo::Resources {

namespace {

using resources_detail::kResourceCount;
using resources_detail::kResourceIndex;
using resources_detail::ResourceEntry;

const std::vector<const ResourceEntry*>& SortedIndex()
{
    static const std::vector<const ResourceEntry*> sorted = [] {
        std::vector<const ResourceEntry*> v;
        v.reserve(kResourceCount);
        for (std::size_t i = 0; i < kResourceCount; ++i)
            v.push_back(&kResourceIndex[i]);
        std::sort(v.begin(), v.end(),
                  [](const ResourceEntry* a, const ResourceEntry* b) { return a->Id < b->Id; });
        return v;
    }();
    return sorted;
}

const ResourceEntry* FindEntry(int Id)
{
    const auto& index = SortedIndex();
    auto it = std::lower_bound(index.begin(), index.end(), Id,
                               [](const ResourceEntry* e, int id) { return e->Id < id; });
    if (it == index.end() || (*it)->Id != Id)
        return nullptr;
    return *it;
}

} // namespace

std::optional<std::string_view> Find(int Id)
{
    const ResourceEntry* e = FindEntry(Id);
    if (!e)
        return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(vpl_resource_blob) + e->Offset,
                            e->Size);
}

std::string_view Get(int Id)
{
    if (auto data = Find(Id))
        return *data;
    throw EResNotFound("resource " + std::to_string(Id) + " not found");
}

std::string GetInflated(int Id)
{
    return Inflate(Get(Id));
}

std::string Inflate(std::string_view Data)
{
    if (Data.empty())
        return {};
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return {};
    std::string out;
    out.resize(std::max<std::size_t>(Data.size() * 4, 4096));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    zs.avail_in = static_cast<uInt>(Data.size());
    std::size_t produced = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (produced == out.size())
            out.resize(out.size() * 2);
        zs.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        zs.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - produced, 1u << 30));
        uInt before = zs.avail_out;
        rc = inflate(&zs, Z_NO_FLUSH);
        produced += before - zs.avail_out;
        if (rc == Z_BUF_ERROR && zs.avail_in == 0)
            break; // truncated stream
        if (rc == Z_BUF_ERROR)
            rc = Z_OK; // output full: grow and go on
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return {};
    out.resize(produced);
    return out;
}

std::string_view PredefinedCMapName(int K)
{
    if (K < 1 || K > kCMapCount)
        return {};
    const ResourceEntry* e = FindEntry(kCMapBase + K);
    return e ? std::string_view(e->Name) : std::string_view();
}

} // namespace velmo::Resources
