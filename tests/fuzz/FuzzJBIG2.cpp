// The JBIG2 decoder's target: the first two bytes give the length of the
// global segments that follow them; the rest is the image data. Every
// scanline of a decoded page is read.
#include <cstdlib>
#include <string_view>

#include "codecs/JBIG2Decoder.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

void JBIG2(std::string_view Data) {
    if (Data.size() < 2) return;
    size_t GlobalSize = size_t(uint8_t(Data[0])) << 8 | uint8_t(Data[1]);
    Data.remove_prefix(2);
    GlobalSize = std::min(GlobalSize, Data.size());
    TVPLJBIG2Decoder D;
    if (!D.LoadFromBytes(Data.substr(GlobalSize), Data.substr(0, GlobalSize))) return;
    if (D.Width() <= 0 || D.Height() <= 0) std::abort();
    TJBIG2ByteArray Row;
    // Large pages are checked on their first rows only, to keep runs fast.
    for (int32_t Y = 0; Y < D.Height() && int64_t(Y) * D.Width() < (int64_t(1) << 22); ++Y) {
        if (!D.GetScanline(Y, Row) || Row.size() != size_t(D.Width())) std::abort();
        for (uint8_t V : Row)
            if (V > 1) std::abort();
    }
}

VPL_FUZZ_TARGET(jbig2, JBIG2);

}  // namespace velmo::fuzz
