// The picture formats known to the platform: a file extension (lower case,
// no dot), the description shown to users, and the loader and saver of a
// bitmap in that format. Codecs register their formats when their library
// starts and unregister them when it ends. Look-ups ignore ASCII case.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"

namespace velmo {

struct TPictureFormat {
    std::string Extension;
    std::string Description;
    // Reads a picture from the stream's position into the bitmap.
    std::function<void(TStream&, TBitmap&)> Load;
    // Writes the bitmap at the stream's position.
    std::function<void(const TBitmap&, TStream&)> Save;
};

// Adds the format, replacing one registered before under the same extension.
void RegisterFileFormat(TPictureFormat Format);
// Removes the format of that extension; an unknown extension is ignored.
void UnregisterFileFormat(std::string_view Extension);
// The format of an extension (a leading dot is allowed), if registered.
std::optional<TPictureFormat> FindPictureFormat(std::string_view Extension);
// Every registered format, in registration order.
std::vector<TPictureFormat> PictureFormats();

}  // namespace velmo
