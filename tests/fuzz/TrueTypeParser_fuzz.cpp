// libFuzzer target: TrueType fonts and collections parsed, glyph names looked
// up and glyph outlines drawn.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    velmo::fuzz::TrueTypeParser(std::string_view(reinterpret_cast<const char*>(Data), Size));
    return 0;
}
