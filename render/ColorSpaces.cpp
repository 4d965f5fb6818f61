#include "render/ColorSpaces.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/StringHelpers.h"

namespace velmo {

namespace {

TPDFObject* ResolveWith(TPDFObject* O, const TPDFFindObjectEvent& OnFindObject) {
    auto* Ref = ObjAs<TPDFIndRef>(O);
    if (!Ref) return O;
    return OnFindObject ? OnFindObject(Ref) : Ref->Obj();
}

// Exactly Count numbers (references followed), or nothing.
bool ReadNumbers(TPDFObject* O, const TPDFFindObjectEvent& OnFindObject, double* Out,
                 int32_t Count) {
    auto* A = ObjAs<TPDFArray>(ResolveWith(O, OnFindObject));
    if (!A || A->Count() != Count) return false;
    for (int32_t I = 0; I < Count; ++I) {
        auto* N = ObjAs<TPDFNumeric>(ResolveWith(A->GetItem(I), OnFindObject));
        if (!N || !std::isfinite(N->AsDouble())) return false;
        Out[I] = N->AsDouble();
    }
    return true;
}

inline double Clamp01(double V) {
    if (!(V >= 0)) return 0;
    return V > 1 ? 1 : V;
}

inline int32_t ToByte(double V) { return static_cast<int32_t>(std::nearbyint(V * 255.0)); }

// The cache class of one input: the value as FormatNumber(V, 3) writes it,
// which is V·1000 rounded half to even, clamped to the 64-bit range, with
// anything not finite written as 0.
inline int64_t CacheKey(double V) {
    constexpr double kMax = 9223372036854774784.0;
    if (!std::isfinite(V)) return 0;
    double Scaled = std::nearbyint(V * 1000.0);
    if (Scaled > kMax) Scaled = kMax;
    if (Scaled < -kMax) Scaled = -kMax;
    return static_cast<int64_t>(Scaled);
}
// The key of an empty input, apart from every rounded value.
constexpr int64_t kNoInputKey = std::numeric_limits<int64_t>::min();

const TPDFLabRange kDefaultLabRange{-100, 100, -100, 100};

}  // namespace

std::string ColorSpaceFamily(TPDFObject* Space, const TPDFFindObjectEvent& OnFindObject) {
    TPDFObject* O = ResolveWith(Space, OnFindObject);
    if (auto* N = ObjAs<TPDFName>(O)) return N->Name();
    auto* A = ObjAs<TPDFArray>(O);
    if (!A || A->Count() < 1) return std::string();
    auto* First = ObjAs<TPDFName>(ResolveWith(A->GetItem(0), OnFindObject));
    if (!First) return std::string();
    std::string Family = First->Name();
    if (Family != "ICCBased" || A->Count() < 2) return Family;
    auto* Profile = ObjAs<TPDFStream>(ResolveWith(A->GetItem(1), OnFindObject));
    if (!Profile || !Profile->Dictionary()) return Family;
    TPDFDictionary* D = Profile->Dictionary();
    if (auto* Alt =
            ObjAs<TPDFName>(ResolveWith(D->FindValueByKeyName("Alternate", false), OnFindObject)))
        return Alt->Name();
    if (auto* N =
            ObjAs<TPDFNumeric>(ResolveWith(D->FindValueByKeyName("N", false), OnFindObject))) {
        switch (N->AsInteger()) {
            case 1:
                return "DeviceGray";
            case 3:
                return "DeviceRGB";
            case 4:
                return "DeviceCMYK";
            default:
                break;
        }
    }
    return Family;
}

// ---- Lab ------------------------------------------------------------------

void TPDFLabColorSpace::LoadFromArray(TPDFArray* Source) {
    if (!Source || Source->Count() < 2) return;
    auto* D = ObjAs<TPDFDictionary>(ResolveWith(Source->GetItem(1), FOnFindObject));
    if (!D) return;
    double V[4];
    if (ReadNumbers(D->FindValueByKeyName("WhitePoint", false), FOnFindObject, V, 3))
        FWhitePoint = {V[0], V[1], V[2]};
    FLabRange = kDefaultLabRange;
    if (ReadNumbers(D->FindValueByKeyName("Range", false), FOnFindObject, V, 4))
        FLabRange = {V[0], V[1], V[2], V[3]};
}

TColor TPDFLabColorSpace::GetColor(TPDFLabColor Input, TPDFColorManager* ColorManager) {
    if (!ColorManager) return 0;
    // Every Lab space converts against D65: scaling XYZ from the space's own
    // white to D65 is the same adaptation, so L = 100 is white under any
    // white point.
    if (auto* Simple = dynamic_cast<TPDFSimpleColorManager*>(ColorManager)) {
        Simple->SetWhitePoint(0, 0, 0);
        Simple->SetLabRange(FLabRange.aMin, FLabRange.aMax, FLabRange.bMin, FLabRange.bMax);
    }
    TPDFRGBColor RGB = ColorManager->Lab2RGB(Input);
    return ColorManager->RGB2Color(RGB);
}

double TPDFLabColorSpace::ScaleA(int32_t Input, double MaxInput) const {
    if (MaxInput == 0) return FLabRange.aMin;
    return FLabRange.aMin + (FLabRange.aMax - FLabRange.aMin) * Input / MaxInput;
}

double TPDFLabColorSpace::ScaleB(int32_t Input, double MaxInput) const {
    if (MaxInput == 0) return FLabRange.bMin;
    return FLabRange.bMin + (FLabRange.bMax - FLabRange.bMin) * Input / MaxInput;
}

// ---- Separation and DeviceN -------------------------------------------------

TPDFObject* TPDFTintColorSpace::Resolve(TPDFObject* O) const {
    return ResolveWith(O, FOnFindObject);
}

void TPDFTintColorSpace::LoadAlternateAndTransform(TPDFArray* Source) {
    if (Source->Count() > 2) FAlternate = ColorSpaceFamily(Source->GetItem(2), FOnFindObject);
    if (Source->Count() < 4) return;
    TPDFObject* Item = Source->GetItem(3);
    TPDFObject* Fn = Resolve(Item);
    auto* Ref = ObjAs<TPDFIndRef>(Item);
    auto* Stream = ObjAs<TPDFStream>(Fn);
    if (!Stream && !ObjAs<TPDFDictionary>(Fn)) return;
    // An indirect stream may be encrypted: its data is readable between the
    // two events.
    const bool Crypt = Stream && Ref;
    if (Crypt && FOnDecrypt) FOnDecrypt(Stream, Ref);
    FTintTransform = TPDFFunction::FunctionFactory(Fn, FOnFindObject);
    if (Crypt && FOnEncrypt) FOnEncrypt(Stream, Ref);
}

TPDFTintColorSpace::TTintCase TPDFTintColorSpace::TintCase() const {
    if (!FTintTransform) return tcNone;
    switch (FTintTransform->OutputValueCount()) {
        case 4:
            return FAlternate == "DeviceCMYK" ? tcCMYK : tcNone;
        case 3:
            if (FAlternate == "DeviceRGB" || FAlternate == "CalRGB" || FAlternate == "ICCBased")
                return tcRGB;
            return FAlternate == "Lab" ? tcLab : tcNone;
        case 1:
            return FAlternate == "DeviceGray" ? tcGray : tcNone;
        default:
            return tcNone;
    }
}

void TPDFTintColorSpace::RunTransform(std::span<const double> Input) {
    FTintTransform->RunFunction(Input, FOutputs);
}

TColor TPDFTintColorSpace::ClampedRGBColor() {
    for (int I = 0; I < 3; ++I) FOutputs[I] = Clamp01(FOutputs[I]);
    return ToByte(FOutputs[0]) + ToByte(FOutputs[1]) * 256 + ToByte(FOutputs[2]) * 65536;
}

void TPDFSeparationColorSpace::LoadFromArray(TPDFArray* Source, std::string_view AResName) {
    FResName.assign(AResName);
    FAlternate.clear();
    FSeparationName.clear();
    FTintTransform.reset();
    if (!Source) return;
    if (Source->Count() > 1)
        if (auto* N = ObjAs<TPDFName>(Resolve(Source->GetItem(1)))) FSeparationName = N->Name();
    LoadAlternateAndTransform(Source);
}

void TPDFSeparationColorSpace::GetColor(double Input, bool Fast) {
    FResultColor = 0;
    FResultName = "0.5 setgray";
    if (!FTintTransform || FTintTransform->InputValueCount() != 1 || !FColorManager) return;
    const TTintCase Case = TintCase();
    if (Case == tcNone) return;
    const double X[1] = {Input};
    RunTransform(X);
    std::string& S = FResultName;
    switch (Case) {
        case tcCMYK: {
            FCMYKColor = {FOutputs[0], FOutputs[1], FOutputs[2], FOutputs[3]};
            FRGBColor = FColorManager->CMYK2RGB(FCMYKColor);
            FResultColor = FColorManager->RGB2Color(FRGBColor);
            if (Fast) return;
            // The text names the colorant by its full-tint CMYK.
            const double Full[1] = {1.0};
            RunTransform(Full);
            S.clear();
            for (int I = 0; I < 4; ++I) AppendColorNumber(S, FOutputs[I]);
            S += PostScriptString(FSeparationName);
            S += " findcmykcustomcolor ";
            AppendColorNumber(S, Input);
            S += "setcustomcolor";
            return;
        }
        case tcRGB:
            FResultColor = ClampedRGBColor();
            if (Fast) return;
            S.clear();
            for (int I = 0; I < 3; ++I) AppendColorNumber(S, FOutputs[I]);
            S += "setrgbcolor";
            return;
        case tcLab: {
            TPDFLabColor Lab{FOutputs[0], FOutputs[1], FOutputs[2]};
            FRGBColor = FColorManager->Lab2RGB(Lab);
            FResultColor = FColorManager->RGB2Color(FRGBColor);
            if (Fast) return;
            S.clear();
            AppendColorNumber(S, FRGBColor.Red);
            AppendColorNumber(S, FRGBColor.Green);
            AppendColorNumber(S, FRGBColor.Blue);
            S += "setrgbcolor";
            return;
        }
        case tcGray: {
            const double G = Clamp01(FOutputs[0]);
            FResultColor = ToByte(G) * 0x010101;
            if (Fast) return;
            S.clear();
            for (int I = 0; I < 3; ++I) AppendColorNumber(S, G);
            S += "setrgbcolor";
            return;
        }
        case tcNone:
            return;
    }
}

void TPDFDeviceNColorSpace::LoadFromArray(TPDFArray* Source, std::string_view AResName) {
    FResName.assign(AResName);
    FAlternate.clear();
    FColorNames.clear();
    FColorNamesText.clear();
    FTintTransform.reset();
    FCache.clear();
    if (!Source) return;
    if (Source->Count() > 1) {
        if (auto* Names = ObjAs<TPDFArray>(Resolve(Source->GetItem(1)))) {
            FComponentCount = Names->Count();
            FColorNames.assign(1, '[');
            for (int32_t I = 0; I < Names->Count(); ++I) {
                auto* N = ObjAs<TPDFName>(Resolve(Names->GetItem(I)));
                if (!N) continue;
                FColorNames += N->Name();
                if (I < Names->Count() - 1) FColorNames += ',';
            }
            FColorNames += ']';
        }
    }
    FColorNamesText = PostScriptString(FColorNames);
    LoadAlternateAndTransform(Source);
}

void TPDFDeviceNColorSpace::Compute(std::span<const double> Input, bool Fast) {
    FResultColor = 0;
    FResultName = "0.5 setgray";
    if (!FTintTransform || !FColorManager ||
        FTintTransform->InputValueCount() != static_cast<int64_t>(Input.size()))
        return;
    const TTintCase Case = TintCase();
    if (Case == tcNone || Case == tcGray) return;
    RunTransform(Input);
    std::string& S = FResultName;
    switch (Case) {
        case tcCMYK: {
            TPDFCMYKColor C{FOutputs[0], FOutputs[1], FOutputs[2], FOutputs[3]};
            TPDFRGBColor RGB = FColorManager->CMYK2RGB(C);
            FResultColor = FColorManager->RGB2Color(RGB);
            if (Fast) return;
            // The text carries the CMYK of this input.
            S.clear();
            for (int I = 0; I < 4; ++I) AppendColorNumber(S, FOutputs[I]);
            S += FColorNamesText;
            S += " findcmykcustomcolor ";
            for (double V : Input) AppendColorNumber(S, V);
            S += "setcustomcolor";
            return;
        }
        case tcRGB:
            FResultColor = ClampedRGBColor();
            if (Fast) return;
            S.clear();
            for (int I = 0; I < 3; ++I) AppendColorNumber(S, FOutputs[I]);
            S += "setrgbcolor";
            return;
        case tcLab: {
            TPDFLabColor Lab{FOutputs[0], FOutputs[1], FOutputs[2]};
            TPDFRGBColor RGB = FColorManager->Lab2RGB(Lab);
            FResultColor = FColorManager->RGB2Color(RGB);
            if (Fast) return;
            S.clear();
            AppendColorNumber(S, RGB.Red);
            AppendColorNumber(S, RGB.Green);
            AppendColorNumber(S, RGB.Blue);
            S += "setrgbcolor";
            return;
        }
        default:
            return;
    }
}

void TPDFDeviceNColorSpace::GetColor(std::span<const double> Input, bool Fast) {
    if (Input.size() > 1) {
        Compute(Input, Fast);
        return;
    }
    const int64_t Key = Input.empty() ? kNoInputKey : CacheKey(Input[0]);
    auto It = FCache.find(Key);
    if (It != FCache.end()) {
        TCacheEntry& E = It->second;
        if (Fast) {
            FResultColor = E.Color;
            return;
        }
        if (E.HasName) {
            FResultColor = E.Color;
            FResultName = E.Name;
            return;
        }
        // Written by a Fast call: the text is built now and kept.
        Compute(Input, false);
        E.Color = FResultColor;
        E.Name = FResultName;
        E.HasName = true;
        return;
    }
    Compute(Input, Fast);
    if (FCache.size() >= kCacheLimit) FCache.clear();
    TCacheEntry& E = FCache[Key];
    E.Color = FResultColor;
    if (!Fast) {
        E.Name = FResultName;
        E.HasName = true;
    }
}

// ---- Indexed --------------------------------------------------------------

void TPDFIndexedColorSpace::LoadFromArray(TPDFArray* Source) {
    FBaseColorSpace.clear();
    FEntryFamily.clear();
    FEntrySize = 0;
    if (!Source || Source->Count() <= 3) return;
    TPDFObject* Base = ResolveWith(Source->GetItem(1), FOnFindObject);
    if (auto* N = ObjAs<TPDFName>(Base)) {
        FBaseColorSpace = N->Name();
    } else if (auto* A = ObjAs<TPDFArray>(Base)) {
        if (A->Count() > 0)
            if (auto* N = ObjAs<TPDFName>(ResolveWith(A->GetItem(0), FOnFindObject)))
                FBaseColorSpace = N->Name();
    }
    if (auto* H = ObjAs<TPDFNumeric>(ResolveWith(Source->GetItem(2), FOnFindObject)))
        FHiVal = H->AsInteger();
    TPDFObject* Lookup = ResolveWith(Source->GetItem(3), FOnFindObject);
    if (auto* S = ObjAs<TPDFStream>(Lookup))
        FColorTable = S->GetDecodedStreamWithLookup(FOnFindObject);
    else if (auto* Str = ObjAs<TPDFString>(Lookup))
        FColorTable = Str->AsString();

    // What the entries are read as: ICC-based bases by their alternate or
    // component count, calibrated ones as their device family.
    const std::string Family = ColorSpaceFamily(Base, FOnFindObject);
    if (Family == "DeviceRGB" || Family == "CalRGB") {
        FEntryFamily = "DeviceRGB";
        FEntrySize = 3;
    } else if (Family == "DeviceCMYK") {
        FEntryFamily = "DeviceCMYK";
        FEntrySize = 4;
    } else if (Family == "DeviceGray" || Family == "CalGray") {
        FEntryFamily = "DeviceGray";
        FEntrySize = 1;
    } else if (Family == "Lab") {
        FEntryFamily = "Lab";
        FEntrySize = 3;
        FLab = TPDFLabColorSpace();
        FLab.FOnFindObject = FOnFindObject;
        FLab.FLabRange = kDefaultLabRange;
        if (auto* A = ObjAs<TPDFArray>(Base)) FLab.LoadFromArray(A);
    }
}

TColor TPDFIndexedColorSpace::GetColor(uint8_t Input, TPDFColorManager* ColorManager) {
    if (FEntrySize == 0 || FHiVal < 0) return clWhite;
    // An index above the highest one takes the highest one's colour.
    const int64_t Index = std::min<int64_t>(Input, FHiVal);
    const int64_t At = Index * FEntrySize;
    if (At + FEntrySize > static_cast<int64_t>(FColorTable.size())) return clWhite;
    const auto* P = reinterpret_cast<const uint8_t*>(FColorTable.data()) + At;
    switch (FEntrySize) {
        case 1:
            return P[0] * 0x010101;
        case 4: {
            if (!ColorManager) return clWhite;
            TPDFCMYKColor C{P[0] / 255.0, P[1] / 255.0, P[2] / 255.0, P[3] / 255.0};
            TPDFRGBColor RGB = ColorManager->CMYK2RGB(C);
            return ColorManager->RGB2Color(RGB);
        }
        default:
            if (FEntryFamily == "Lab") {
                if (!ColorManager) return clWhite;
                TPDFLabColor Lab{P[0] * 100.0 / 255.0, FLab.ScaleA(P[1], 255),
                                 FLab.ScaleB(P[2], 255)};
                return FLab.GetColor(Lab, ColorManager);
            }
            return P[0] + P[1] * 256 + P[2] * 65536;
    }
}

}  // namespace velmo
