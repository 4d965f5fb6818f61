// libFuzzer target: one stream filter (chosen at build time by
// VPL_FUZZ_FILTER, a TFuzzFilter value) with /DecodeParms from the input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/FuzzTargets.h"

#ifndef VPL_FUZZ_FILTER
#error "VPL_FUZZ_FILTER names the filter of this target"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    velmo::fuzz::Filter(static_cast<velmo::fuzz::TFuzzFilter>(VPL_FUZZ_FILTER),
                        std::string_view(reinterpret_cast<const char*>(Data), Size));
    return 0;
}
