// The GIF decoder's target: the input is parsed and every frame painted.
#include <string_view>

#include "codecs/GIFDecoder.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

void GIFDecoder(std::string_view Data) {
    TPDFGIFDecoder D;
    D.LoadFromString(Data);
    TBitmap B;
    D.SaveToBitmap(B);
}

VPL_FUZZ_TARGET(gif_decoder, GIFDecoder);

}  // namespace velmo::fuzz
