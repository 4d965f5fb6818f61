// libFuzzer target: image-type recognition, the JPEG header scan and the
// Exif directory reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "codecs/ExifReader.h"
#include "content/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string_view d(reinterpret_cast<const char*>(Data), Size);
    volatile int sink = velmo::DetectImageType(d);
    const velmo::TJPEGHeaderInfo info = velmo::ReadJPEGHeader(d);
    sink = sink + info.Width + info.Height + velmo::JPEGCarriedAsDCT(info);
    velmo::TExifResolution res;
    sink = sink + velmo::ReadTIFFResolution(d, res);
    (void)sink;
    return 0;
}
