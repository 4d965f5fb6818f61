// libFuzzer target: image files loaded through the GDI+ facade, every frame
// read, drawn and saved again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    velmo::fuzz::GdiplusImages(std::string_view(reinterpret_cast<const char*>(Data), Size));
    return 0;
}
