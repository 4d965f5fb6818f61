// libFuzzer target: the PNG reader, its palette text and its bitmap.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    velmo::fuzz::PNGReader(std::string_view(reinterpret_cast<const char*>(Data), Size));
    return 0;
}
