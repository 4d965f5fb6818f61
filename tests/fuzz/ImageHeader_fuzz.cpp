// libFuzzer target: image-type recognition, the JPEG header scan and the
// Exif directory reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    velmo::fuzz::ImageHeader(std::string_view(reinterpret_cast<const char*>(Data), Size));
    return 0;
}
