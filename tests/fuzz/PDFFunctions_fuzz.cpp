// libFuzzer target: PDF functions built from objects or raw PostScript
// calculator programs, evaluated across their domains.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    velmo::fuzz::PDFFunctions(std::string_view(reinterpret_cast<const char*>(Data), Size));
    return 0;
}
