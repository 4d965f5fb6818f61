// libFuzzer target: a document loaded from memory, its pages and content streams, saved and loaded
// again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    velmo::fuzz::DocumentLoad(std::string_view(reinterpret_cast<const char*>(Data), Size));
    return 0;
}
