// The parts of a pattern digest that only the renderer library reads.
#include <algorithm>
#include <cmath>

#include "render/PatternDigest.h"

namespace velmo {

namespace {

double Item(const double* Values, int Count, int I) {
    return I >= 0 && I < Count ? Values[I] : 0;
}

}  // namespace

double TVPLPattern::GetBBox(int I) const { return Item(FBBox.data(), 4, I); }

double TVPLPattern::GetStep(int I) const { return Item(FStep.data(), 2, I); }

double TVPLPattern::GetDomain(int I) const { return Item(FDomain.data(), 4, I); }

double TVPLPattern::GetShadingMatrix(int I) const {
    const double M[6] = {FShadingMatrix.eM11, FShadingMatrix.eM12, FShadingMatrix.eM21,
                         FShadingMatrix.eM22, FShadingMatrix.eDx,  FShadingMatrix.eDy};
    return Item(M, 6, I);
}

TVPLPatternStop TVPLPattern::GetFunctionColor(const std::vector<double>& FunctionInput) const {
    if (!FFunctionColor) return {};
    TVPLPatternStop C = FFunctionColor(FunctionInput);
    // The library receives 0 … 1 whatever the function gave.
    for (double* V : {&C.Red, &C.Green, &C.Blue}) *V = std::isfinite(*V) ? std::clamp(*V, 0.0, 1.0) : 0;
    return C;
}

}  // namespace velmo
