// The six-number affine matrix behind every transform of the renderer
// (current transformation matrix, text and font matrices, canvas transforms)
// and the point it maps.
//
// The numbers are a PDF matrix [a b c d e f] in the row-vector convention: a
// point (x, y) maps to (x·a + y·c + e, x·b + y·d + f).
//
// Arithmetic never hands out an infinity or a NaN: a result that would hold
// one raises EInvalidOp (not a number) or EOverflow (infinite) and leaves the
// output untouched, so the interpreter can end the content stream cleanly.
#pragma once

#include <stdexcept>

namespace velmo {

class EMathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EInvalidOp : public EMathError {
public:
    using EMathError::EMathError;
};

class EOverflow : public EMathError {
public:
    using EMathError::EMathError;
};

struct TPDFXForm {
    double eM11 = 0;  // a
    double eM12 = 0;  // b
    double eM21 = 0;  // c
    double eM22 = 0;  // d
    double eDx = 0;   // e, translation x
    double eDy = 0;   // f, translation y
};

inline constexpr TPDFXForm IdentityXForm{1, 0, 0, 1, 0, 0};

struct TPDFDoublePoint {
    double X = 0;
    double Y = 0;
};

// Result := A × B: A acts first, then B. Result may be A or B. A transform T
// is prepended to M with MultiplyXForm(M, T, M), as the content operator cm
// does.
void MultiplyXForm(TPDFXForm& Result, const TPDFXForm& A, const TPDFXForm& B);

// R := P mapped by M. R may be P.
void TransformPoint(const TPDFXForm& M, const TPDFDoublePoint& P, TPDFDoublePoint& R);

}  // namespace velmo
