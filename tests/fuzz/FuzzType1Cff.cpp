// The Type 1 and CFF decoder's targets. type1_font: the input as a file
// (PFB, PFA or a program without PFB headers) and as the data of a font
// stream with three sets of lengths, each decoded in both steps and every
// glyph drawn. cff_font: the input as bare CFF or OpenType data, also read
// as CID-keyed, every glyph drawn through the Type 2 interpreter.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fonts/Type1Decoder.h"
#include "tests/fuzz/CheckingCanvas.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

namespace {

constexpr int32_t kMaxGlyphs = 400;

void DrawAll(TPDFType1Decoder& D) {
    TCheckingCanvas Canvas;
    const TPDFXForm M{0.012, 0, 0, 0.012, 3, 4};
    const int32_t N = std::min(D.CharStringCount(), kMaxGlyphs);
    for (int32_t G = 0; G < N; ++G) {
        double X = 0.5, Y = -1;
        try {
            D.RenderToCanvas(X, Y, &Canvas, M, "GID:" + std::to_string(G), peStandard);
            D.RenderToCanvas(X, Y, &Canvas, M, D.GetCharStringName(G), peStandard);
        } catch (const EMathError&) {
            // A font matrix that maps a point out of range is refused.
        }
        (void)D.CharStack();
    }
    double X = 0, Y = 0;
    D.RenderToCanvas(X, Y, nullptr, M, "CID:1", peStandard);
}

void Decode(TPDFType1Decoder& D) {
    D.DecodeFontDict();
    D.DecodeEncryptedPortion();
    (void)D.DecryptedEncryptionPortion();
    DrawAll(D);
}

}  // namespace

void Type1Font(std::string_view Data) {
    {
        TPDFType1Decoder D;
        D.LoadPFBFromString(std::string(Data));
        Decode(D);
    }
    const int64_t N = int64_t(Data.size());
    const size_t Eexec = Data.find("eexec");
    const int64_t L1 = Eexec == std::string_view::npos ? N / 3 : int64_t(Eexec) + 6;
    const int64_t Lengths[][3] = {{L1, N - L1 - 532, 532}, {N / 3, N / 3, N}, {L1, N * 4, -5}};
    for (const auto& L : Lengths) {
        TPDFType1Decoder D;
        D.LoadFontFileData(std::string(Data), L[0], L[1], L[2]);
        Decode(D);
    }
}

void CffFont(std::string_view Data) {
    for (bool Cid : {false, true}) {
        TPDFType1Decoder D;
        if (Cid) D.ForceCIDFont();
        D.LoadCFFFromString(std::string(Data));
        DrawAll(D);
    }
}

VPL_FUZZ_TARGET(type1_font, Type1Font);
VPL_FUZZ_TARGET(cff_font, CffFont);

}  // namespace velmo::fuzz
