#include "render/ColorManager.h"

#include <cmath>

#include "core/StringHelpers.h"
#include "resources/Resources.h"

namespace velmo {

namespace {

// Clamps V into [Lo, Hi]; a value that is not >= Lo (NaN included) gives Lo.
inline double ClampLow(double V, double Lo, double Hi) {
    if (!(V >= Lo)) return Lo;
    return V > Hi ? Hi : V;
}

// The polynomial of the measured CMYK conversion: coefficients of the terms
// 1, c, m, y, k, cm, cy, ck, my, mk, yk, cmy, cmk, cyk, myk, cmyk.
constexpr double kCMYKPoly[3][16] = {
    {1, -1, -0.0745, 0, -0.8627, 0.2549, 0, 0.8627, 0.0039, 0.0784, -0.0275, 0.0275, -0.2588,
     0.0275, 0.0157, -0.0471},
    {1, -0.3216, -1, -0.051, -0.8784, 0.5138, 0.0236, 0.2588, 0.1608, 0.8784, 0.0314, -0.1137,
     -0.451, 0.0117, -0.1412, 0.0784},
    {1, -0.0627, -0.451, -1, -0.8745, 0.0862, 0.5176, 0.0784, 0.451, 0.3255, 0.8745, -0.3176,
     -0.0941, -0.5333, -0.3255, 0.3255},
};

inline double Lab2XYZCurve(double T) {
    return T >= 0.20689655172413793 ? T * T * T : (T - 0.13793103448275862) * 0.12841854934601665;
}

inline double SRGBCurve(double V) {
    V = V <= 0.0031308 ? 12.92 * V : 1.055 * std::pow(V, 1.0 / 2.4) - 0.055;
    return ClampLow(V, 0.0, 1.0);
}

inline int32_t ToByte(double V) { return static_cast<int32_t>(std::nearbyint(V * 255.0)); }

}  // namespace

TPDFSimpleColorManager::TPDFSimpleColorManager() { FFixedGamma = true; }

TPDFRGBColor TPDFSimpleColorManager::CMYK2RGB(TPDFCMYKColor& C) {
    const double c = C.Cyan, m = C.Magenta, y = C.Yellow, k = C.Black;
    TPDFRGBColor R;
    if (!FFixedGamma) {
        R.Red = 1 - std::fmin(1.0, k + (1 - k) * c);
        R.Green = 1 - std::fmin(1.0, k + (1 - k) * m);
        R.Blue = 1 - std::fmin(1.0, k + (1 - k) * y);
        return R;
    }
    const double T[16] = {
        1,     c,     m,     y,         k,         c * m,     c * y,     c * k,
        m * y, m * k, y * k, c * m * y, c * m * k, c * y * k, m * y * k, c * m * y * k};
    double Out[3];
    for (int Ch = 0; Ch < 3; ++Ch) {
        double S = 0;
        for (int I = 0; I < 16; ++I) S += kCMYKPoly[Ch][I] * T[I];
        Out[Ch] = S;
    }
    R.Red = Out[0];
    R.Green = Out[1];
    R.Blue = Out[2];
    return R;
}

TColor TPDFSimpleColorManager::RGB2Color(TPDFRGBColor& C) {
    C.Red = ClampLow(C.Red, 0.0, 1.0);
    C.Green = ClampLow(C.Green, 0.0, 1.0);
    C.Blue = ClampLow(C.Blue, 0.0, 1.0);
    return ToByte(C.Red) + ToByte(C.Green) * 256 + ToByte(C.Blue) * 65536;
}

TPDFXYZColor TPDFSimpleColorManager::Lab2XYZ(TPDFLabColor& C) {
    C.L = ClampLow(C.L, 0.0, 100.0);
    C.a = ClampLow(C.a, LabRange.aMin, LabRange.aMax);
    C.b = ClampLow(C.b, LabRange.bMin, LabRange.bMax);
    const double Fy = (C.L + 16) / 116;
    const double Fx = Fy + C.a / 500;
    const double Fz = Fy - C.b / 200;
    return {WhitePoint.X * Lab2XYZCurve(Fx), WhitePoint.Y * Lab2XYZCurve(Fy),
            WhitePoint.Z * Lab2XYZCurve(Fz)};
}

TPDFRGBColor TPDFSimpleColorManager::XYZ2RGB(TPDFXYZColor& C) {
    // The sRGB primaries under D65, as every other reader converts Lab.
    const double R = 3.2406 * C.X - 1.5372 * C.Y - 0.4986 * C.Z;
    const double G = -0.9689 * C.X + 1.8758 * C.Y + 0.0415 * C.Z;
    const double B = 0.0557 * C.X - 0.2040 * C.Y + 1.0570 * C.Z;
    return {SRGBCurve(R), SRGBCurve(G), SRGBCurve(B)};
}

TPDFRGBColor TPDFSimpleColorManager::Lab2RGB(TPDFLabColor& C) {
    TPDFXYZColor X = Lab2XYZ(C);
    return XYZ2RGB(X);
}

bool TPDFSimpleColorManager::SetWhitePoint(double WX, double WY, double WZ) {
    if (WX > 0 && WY == 1.0 && WZ > 0) {
        WhitePoint = {WX, 1.0, WZ};
        return true;
    }
    WhitePoint = kD65WhitePoint;
    return false;
}

void TPDFSimpleColorManager::SetLabRange(double aMin, double aMax, double bMin, double bMax) {
    LabRange = {aMin, aMax, bMin, bMax};
}

void LoadSRGBICCProfile(TVPLByteArray& Profile) {
    const std::string_view Data = Resources::Get(Resources::kSRGBProfile);
    Profile.assign(Data.begin(), Data.end());
}

std::string PostScriptString(std::string_view Text) {
    std::string S;
    S.reserve(Text.size() + 2);
    S += '(';
    for (char Ch : Text) {
        if (Ch == '(' || Ch == ')' || Ch == '\\') S += '\\';
        S += Ch;
    }
    S += ')';
    return S;
}

void AppendColorNumber(std::string& S, double Value) {
    S += FormatNumber(Value, 3);
    S += ' ';
}

}  // namespace velmo
