#include "core/Rectangle.h"

#include <utility>

namespace velmo {

TPDFRectangle::TPDFRectangle(TPDFArray* AArray) {
    if (!AArray || AArray->Count() != 4) return;
    TPDFNumeric* N[4];
    for (int I = 0; I < 4; ++I) {
        N[I] = ObjAs<TPDFNumeric>(AArray->GetItem(I));
        if (!N[I]) return;
    }
    FArray = AArray;
    FLLX = N[0];
    FLLY = N[1];
    FURX = N[2];
    FURY = N[3];
    // Swapped also when the comparison fails (NaN).
    if (!(FURX->AsDouble() >= FLLX->AsDouble())) std::swap(FLLX, FURX);
    if (!(FURY->AsDouble() >= FLLY->AsDouble())) std::swap(FLLY, FURY);
}

double TPDFRectangle::GetDimension(TPDFDimension Dimension) const {
    switch (Dimension) {
        case pdLeft:
            return Left();
        case pdTop:
            return Top();
        case pdWidth:
            return Width();
        case pdHeight:
            return Height();
        case pdRight:
            return Right();
        case pdBottom:
            return Bottom();
    }
    return 0;
}

}  // namespace velmo
