#include "resources/Resources.h"

#include <algorithm>
#include <vector>

#include "resources/ResourceIndex.h"

namespace velmo::Resources {

namespace {

using resources_detail::kResourceCount;
using resources_detail::kResourceIndex;
using resources_detail::ResourceEntry;

const std::vector<const ResourceEntry*>& SortedIndex() {
    static const std::vector<const ResourceEntry*> sorted = [] {
        std::vector<const ResourceEntry*> v;
        v.reserve(kResourceCount);
        for (std::size_t i = 0; i < kResourceCount; ++i) v.push_back(&kResourceIndex[i]);
        std::sort(v.begin(), v.end(),
                  [](const ResourceEntry* a, const ResourceEntry* b) { return a->Id < b->Id; });
        return v;
    }();
    return sorted;
}

const ResourceEntry* FindEntry(int Id) {
    const auto& index = SortedIndex();
    auto it = std::lower_bound(index.begin(), index.end(), Id,
                               [](const ResourceEntry* e, int id) { return e->Id < id; });
    if (it == index.end() || (*it)->Id != Id) return nullptr;
    return *it;
}

}  // namespace

std::optional<std::string_view> Find(int Id) {
    const ResourceEntry* e = FindEntry(Id);
    if (!e) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(vpl_resource_blob) + e->Offset, e->Size);
}

std::string_view Get(int Id) {
    if (auto data = Find(Id)) return *data;
    throw EResNotFound("resource " + std::to_string(Id) + " not found");
}

std::string_view PredefinedCMapName(int K) {
    if (K < 1 || K > kCMapCount) return {};
    const ResourceEntry* e = FindEntry(kCMapBase + K);
    return e ? std::string_view(e->Name) : std::string_view();
}

}  // namespace velmo::Resources
