// The JPEG 2000 bitmap's target: the data loaded under a small pixel cap
// (an error for unknown data is fine); a decoded bitmap is saved again.
#include <cstdlib>
#include <string>
#include <string_view>

#include "codecs/Jpeg2000Bitmap.h"
#include "platform/files/Stream.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

void JPX(std::string_view Data) {
    TJpeg2000Bitmap B;
    B.SetPixelCap(1 << 20);
    size_t Used = 0;
    try {
        Used = B.LoadFromBytes(Data);
    } catch (const EJpeg2000Error&) {
        return;
    }
    if (Used > Data.size()) std::abort();
    if (B.Failed()) {
        if (B.Width() != 1 || B.Height() != 1) std::abort();
        return;
    }
    if (B.Width() * int64_t(B.Height()) > (1 << 20)) std::abort();
    if (B.Width() * int64_t(B.Height()) <= 4096) {
        TMemoryStream S;
        B.SaveToStream(S);
    }
}

VPL_FUZZ_TARGET(jpx, JPX);

}  // namespace velmo::fuzz
