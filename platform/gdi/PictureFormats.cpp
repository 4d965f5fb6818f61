#include "platform/gdi/PictureFormats.h"

#include <algorithm>
#include <mutex>

namespace velmo {

namespace {

struct TFormatRegistry {
    std::mutex Lock;
    std::vector<TPictureFormat> Formats;
};

TFormatRegistry& Registry() {
    static TFormatRegistry R;
    return R;
}

std::string Normalised(std::string_view Extension) {
    if (!Extension.empty() && Extension.front() == '.') Extension.remove_prefix(1);
    std::string S(Extension);
    for (char& C : S)
        if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
    return S;
}

}  // namespace

void RegisterFileFormat(TPictureFormat Format) {
    Format.Extension = Normalised(Format.Extension);
    TFormatRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    auto It = std::find_if(R.Formats.begin(), R.Formats.end(), [&](const TPictureFormat& F) {
        return F.Extension == Format.Extension;
    });
    if (It != R.Formats.end())
        *It = std::move(Format);
    else
        R.Formats.push_back(std::move(Format));
}

void UnregisterFileFormat(std::string_view Extension) {
    const std::string Key = Normalised(Extension);
    TFormatRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    std::erase_if(R.Formats, [&](const TPictureFormat& F) { return F.Extension == Key; });
}

std::optional<TPictureFormat> FindPictureFormat(std::string_view Extension) {
    const std::string Key = Normalised(Extension);
    TFormatRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    for (const TPictureFormat& F : R.Formats)
        if (F.Extension == Key) return F;
    return std::nullopt;
}

std::vector<TPictureFormat> PictureFormats() {
    TFormatRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    return R.Formats;
}

}  // namespace velmo
