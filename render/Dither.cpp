#include "render/Dither.h"

#include <algorithm>

#include "platform/gdi/Bitmap.h"

namespace velmo {

namespace {
constexpr int32_t kMonochromeThreshold = 0x7F00;
}

char TMonochromeLookup::Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G,
                               uint8_t& B) {
    if (77 * int32_t(Red) + 150 * int32_t(Green) + 29 * int32_t(Blue) > kMonochromeThreshold) {
        R = G = B = 255;
        return 1;
    }
    R = G = B = 0;
    return 0;
}

TDitherEngine::TDitherEngine(int32_t AWidth, TColorLookup* Lookup)
    : FLookup(Lookup), FWidth(std::max(AWidth, 0)) {}

char TDitherEngine::Dither(uint8_t Red, uint8_t Green, uint8_t Blue) {
    uint8_t R, G, B;
    const char Out = FLookup->Lookup(Red, Green, Blue, R, G, B);
    NextColumn();
    return Out;
}

void TDitherEngine::NextLine() {
    FDirection = -FDirection;
    FColumn = FDirection > 0 ? 0 : FWidth - 1;
}

T5by3Ditherer::T5by3Ditherer(int32_t AWidth, TColorLookup* Lookup)
    : TDitherEngine(AWidth, Lookup) {
    for (auto& Row : FErrors)
        for (auto& Channel : Row) Channel.assign(size_t(FWidth) + 4, 0);
}

char T5by3Ditherer::Dither(uint8_t Red, uint8_t Green, uint8_t Blue) {
    const int32_t Cursor = FColumn + 2;
    const uint8_t In[3] = {Red, Green, Blue};
    int32_t Corrected[3];
    for (int C = 0; C < 3; ++C) {
        const int32_t E = FErrors[0][C][size_t(Cursor)];
        Corrected[C] = std::clamp(int32_t(In[C]) + (E + FDivisor / 2) / FDivisor, 0, 255);
    }
    uint8_t Out[3];
    const char Index = FLookup->Lookup(uint8_t(Corrected[0]), uint8_t(Corrected[1]),
                                       uint8_t(Corrected[2]), Out[0], Out[1], Out[2]);
    NextColumn();
    for (int C = 0; C < 3; ++C)
        SpreadError(FErrors[0][C], FErrors[1][C], FErrors[2][C], Cursor,
                    Corrected[C] - int32_t(Out[C]));
    return Index;
}

void T5by3Ditherer::NextLine() {
    for (int C = 0; C < 3; ++C) {
        std::fill(FErrors[0][C].begin(), FErrors[0][C].end(), 0);
        std::swap(FErrors[0][C], FErrors[1][C]);
        std::swap(FErrors[1][C], FErrors[2][C]);
    }
    TDitherEngine::NextLine();
}

void T5by3Ditherer::SpreadError(std::vector<int32_t>&, std::vector<int32_t>&,
                                std::vector<int32_t>&, int32_t, int32_t) {}

TStuckiDitherer::TStuckiDitherer(int32_t AWidth, TColorLookup* Lookup)
    : T5by3Ditherer(AWidth, Lookup) {
    FDivisor = 42;
}

void TStuckiDitherer::SpreadError(std::vector<int32_t>& Row0, std::vector<int32_t>& Row1,
                                  std::vector<int32_t>& Row2, int32_t Cursor, int32_t E) {
    if (E == 0) return;
    const int32_t D = FDirection;
    auto At = [Cursor, D](std::vector<int32_t>& Row, int32_t Offset) -> int32_t& {
        return Row[size_t(Cursor + Offset * D)];
    };
    At(Row0, 1) += 8 * E;
    At(Row0, 2) += 4 * E;
    At(Row1, -2) += 2 * E;
    At(Row1, -1) += 4 * E;
    At(Row1, 0) += 8 * E;
    At(Row1, 1) += 4 * E;
    At(Row1, 2) += 2 * E;
    At(Row2, -2) += E;
    At(Row2, -1) += 2 * E;
    At(Row2, 0) += 4 * E;
    At(Row2, 1) += 2 * E;
    At(Row2, 2) += E;
}

void DitherToMonochrome(const TBitmap& Source, TBitmap& Target) {
    const int W = Source.Width(), H = Source.Height();
    Target.SetPixelFormat(pf8bit);
    Target.SetSize(W, H);
    if (W <= 0 || H <= 0) return;
    TBitmap Converted;
    const TBitmap* S = &Source;
    if (Source.PixelFormat() != pf24bit) {
        Converted.Assign(Source);
        Converted.SetPixelFormat(pf24bit);
        S = &Converted;
    }
    TMonochromeLookup Lookup;
    TStuckiDitherer Ditherer(W, &Lookup);
    for (int Y = 0; Y < H; ++Y) {
        const uint8_t* Row = S->ScanLine(Y);
        uint8_t* Out = Target.ScanLine(Y);
        for (int X = Ditherer.Column(); X >= 0 && X < W; X = Ditherer.Column()) {
            const uint8_t* P = Row + 3 * X;
            Out[X] = uint8_t(Ditherer.Dither(P[2], P[1], P[0]));
        }
        Ditherer.NextLine();
    }
}

}  // namespace velmo
