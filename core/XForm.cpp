#include "core/XForm.h"

#include <cmath>
#include <initializer_list>
#include <string>

namespace velmo {

namespace {

// Not-a-number wins over infinity: an infinity that met a zero is an invalid
// operation, not an overflow.
void CheckFinite(std::initializer_list<double> Values, const char* What) {
    for (double V : Values)
        if (std::isnan(V))
            throw EInvalidOp(std::string("Invalid floating point operation in ") + What);
    for (double V : Values)
        if (std::isinf(V)) throw EOverflow(std::string("Floating point overflow in ") + What);
}

}  // namespace

void MultiplyXForm(TPDFXForm& Result, const TPDFXForm& A, const TPDFXForm& B) {
    TPDFXForm T;
    T.eM11 = A.eM11 * B.eM11 + A.eM12 * B.eM21;
    T.eM12 = A.eM11 * B.eM12 + A.eM12 * B.eM22;
    T.eM21 = A.eM21 * B.eM11 + A.eM22 * B.eM21;
    T.eM22 = A.eM21 * B.eM12 + A.eM22 * B.eM22;
    T.eDx = A.eDx * B.eM11 + A.eDy * B.eM21 + B.eDx;
    T.eDy = A.eDx * B.eM12 + A.eDy * B.eM22 + B.eDy;
    CheckFinite({T.eM11, T.eM12, T.eM21, T.eM22, T.eDx, T.eDy}, "matrix product");
    Result = T;
}

void TransformPoint(const TPDFXForm& M, const TPDFDoublePoint& P, TPDFDoublePoint& R) {
    const double X = P.X * M.eM11 + P.Y * M.eM21 + M.eDx;
    const double Y = P.X * M.eM12 + P.Y * M.eM22 + M.eDy;
    CheckFinite({X, Y}, "point transform");
    R.X = X;
    R.Y = Y;
}

}  // namespace velmo
