// Colour records and the colour manager: the exchangeable converter from
// CMYK and CIE Lab to RGB and from RGB to a device colour (0x00BBGGRR).
#pragma once

#include <string>
#include <string_view>

#include "core/ByteReader.h"
#include "platform/gdi/Graphics.h"

namespace velmo {

struct TPDFCMYKColor {
    double Cyan = 0;
    double Magenta = 0;
    double Yellow = 0;
    double Black = 0;
};

struct TPDFRGBColor {
    double Red = 0;
    double Green = 0;
    double Blue = 0;
};

struct TPDFLabColor {
    double L = 0;  // 0..100
    double a = 0;
    double b = 0;
};

struct TPDFXYZColor {
    double X = 0;
    double Y = 0;
    double Z = 0;
};

// The records are taken by reference on purpose: RGB2Color and the Lab path
// clamp the caller's record in place.
class TPDFColorManager {
public:
    virtual ~TPDFColorManager() = default;

    // Selects the CMYK conversion: the measured polynomial (True) or the
    // naive complement (False).
    bool FFixedGamma = false;
    bool FixedGamma() const { return FFixedGamma; }
    void SetFixedGamma(bool Value) { FFixedGamma = Value; }

    virtual TPDFRGBColor CMYK2RGB(TPDFCMYKColor& C) = 0;
    virtual TColor RGB2Color(TPDFRGBColor& C) = 0;
    virtual TPDFRGBColor Lab2RGB(TPDFLabColor& C) = 0;
};

struct TPDFWhitePoint {
    double X = 0;
    double Y = 0;
    double Z = 0;
};

struct TPDFLabRange {
    double aMin = 0;
    double aMax = 0;
    double bMin = 0;
    double bMax = 0;
};

// D65, the white every Lab colour is converted against.
inline constexpr TPDFWhitePoint kD65WhitePoint{0.9505, 1.0, 1.089};

class TPDFSimpleColorManager : public TPDFColorManager {
public:
    TPDFSimpleColorManager();

    TPDFWhitePoint WhitePoint = kD65WhitePoint;
    TPDFLabRange LabRange{-128, 127, -128, 127};

    TPDFRGBColor CMYK2RGB(TPDFCMYKColor& C) override;
    // Each component is clamped into [0, 1] in C (NaN gives 0); bytes are
    // rounded to nearest, ties to even.
    TColor RGB2Color(TPDFRGBColor& C) override;
    // Lab2XYZ then XYZ2RGB.
    TPDFRGBColor Lab2RGB(TPDFLabColor& C) override;

    // Clamps L into [0, 100] and a, b into LabRange in C, then converts to
    // XYZ relative to WhitePoint.
    TPDFXYZColor Lab2XYZ(TPDFLabColor& C);
    // Linear sRGB through the sRGB matrix, the sRGB transfer curve, each
    // component clamped into [0, 1].
    TPDFRGBColor XYZ2RGB(TPDFXYZColor& C);

    // Takes (WX, 1, WZ) when WX > 0, WY = 1 and WZ > 0; otherwise falls back
    // to D65 and returns False.
    bool SetWhitePoint(double WX, double WY, double WZ);
    void SetLabRange(double aMin, double aMax, double bMin, double bMax);
};

// The built-in sRGB display profile (resource 12101), byte for byte.
void LoadSRGBICCProfile(TVPLByteArray& Profile);

// Text as a PostScript string literal: "(" Text ")" with "(", ")" and "\"
// escaped, so that any colorant name keeps the PostScript line well formed.
std::string PostScriptString(std::string_view Text);

// S += FormatNumber(Value, 3) + " ", the number form of PostScript colour
// text.
void AppendColorNumber(std::string& S, double Value);

}  // namespace velmo
