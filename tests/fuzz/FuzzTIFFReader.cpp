// The TIFF reader's target: the input is loaded whole and page by page,
// every page is decoded both ways, and page 1 is written back and re-read.
#include <string>
#include <string_view>

#include "codecs/TIFFReader.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

void TIFFReader(std::string_view Data) {
    TPDFTIFF All;
    All.LoadFromString(Data, -1);
    for (int32_t P = 1; P <= All.PageCount() && P <= 2; ++P) {
        All.SimpleExtract(P);
        All.CompDecode(P);
        (void)All.GetIFDPointer(P);
    }
    TPDFTIFF One;
    One.LoadFromString(Data, 2);
    if (One.ValidTIFF() && One.PageCount() == 1) {
        TPDFTIFF Again;
        Again.LoadFromString(One.SaveToString(), -1);
    }
}

VPL_FUZZ_TARGET(tiff_reader, TIFFReader);

}  // namespace velmo::fuzz
