// libFuzzer entry point of a target that registered its work by name
// (VPL_FUZZ_TARGET); the build names the target in VPL_FUZZ_NAME.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "tests/fuzz/FuzzTargets.h"

namespace {

velmo::fuzz::TFuzzFunction FindTarget() {
    for (const velmo::fuzz::TFuzzTarget& T : velmo::fuzz::RegisteredTargets())
        if (std::strcmp(T.Name, VPL_FUZZ_NAME) == 0) return T.Run;
    std::fprintf(stderr, "fuzz target %s did not register\n", VPL_FUZZ_NAME);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static const velmo::fuzz::TFuzzFunction Run = FindTarget();
    Run(std::string_view(reinterpret_cast<const char*>(Data), Size));
    return 0;
}
