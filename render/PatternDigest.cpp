#include "render/PatternDigest.h"

namespace velmo {

double TVPLPattern::GetMatrix(int I) const {
    switch (I) {
        case 0:
            return FMatrix.eM11;
        case 1:
            return FMatrix.eM12;
        case 2:
            return FMatrix.eM21;
        case 3:
            return FMatrix.eM22;
        case 4:
            return FMatrix.eDx;
        case 5:
            return FMatrix.eDy;
        default:
            return 0;
    }
}

double TVPLPattern::GetCoords(int I) const {
    return I >= 0 && I < int(FCoords.size()) ? FCoords[size_t(I)] : 0;
}

double TVPLPattern::GetRGB(int Part, int Index) const {
    if (Index < 0 || Index >= GetRGBCount()) return 0;
    const TVPLPatternStop& S = FStops[size_t(Index)];
    switch (Part) {
        case 0:
            return S.Red;
        case 1:
            return S.Green;
        case 2:
            return S.Blue;
        default:
            return 0;
    }
}

int32_t TVPLPattern::GetExtend(int I) const {
    return I >= 0 && I < int(FExtend.size()) && FExtend[size_t(I)] ? 1 : 0;
}

}  // namespace velmo
