#include "render/PatternDigest.h"

#include <algorithm>
#include <cmath>

namespace velmo {

namespace {

double Clamp01(double V) { return V > 0 ? (V < 1 ? V : 1) : 0; }

uint32_t PackRGB(double R, double G, double B) {
    return (uint32_t(std::lround(Clamp01(R) * 255)) << 16) |
           (uint32_t(std::lround(Clamp01(G) * 255)) << 8) | uint32_t(std::lround(Clamp01(B) * 255));
}

// A device colour (0x00BBGGRR) as 0x00RRGGBB.
uint32_t SwapColor(TColor C) {
    return ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
}

bool Numbers(TPDFArray* A, size_t MaxCount, std::vector<double>& Out,
             const std::function<TPDFObject*(TPDFObject*)>& Resolve) {
    Out.clear();
    if (A == nullptr || size_t(A->GetCount()) > MaxCount) return false;
    for (int32_t I = 0; I < A->GetCount(); ++I) {
        auto* N = ObjAs<TPDFNumeric>(Resolve(A->GetItem(I)));
        if (N == nullptr || !std::isfinite(N->AsDouble())) return false;
        Out.push_back(N->AsDouble());
    }
    return true;
}

// The outputs a function gives: its declared count, or for a stitching
// function without one, that of its first subfunction.
int32_t DeclaredOutputs(TPDFFunction* F) {
    for (int32_t Depth = 0; F != nullptr && Depth < 32; ++Depth) {
        if (F->OutputValueCount() > 0) return F->OutputValueCount();
        if (F->FunctionType() != 3) return 0;
        auto* S = static_cast<TPDFType3Function*>(F);
        F = S->FunctionCount() > 0 ? S->Functions(0) : nullptr;
    }
    return 0;
}

}  // namespace

TPDFObject* TVPLPattern::Resolve(TPDFObject* O) const {
    auto* Ref = ObjAs<TPDFIndRef>(O);
    if (Ref == nullptr) return O;
    return FOnFindObject ? FOnFindObject(Ref) : Ref->Obj();
}

int32_t TVPLPattern::RampStops(TPDFFunction& F) {
    int64_t N = 0;
    switch (F.FunctionType()) {
        case 0:
            N = static_cast<TPDFType0Function&>(F).Order() == 3 ? kCurvedRampStops : F.Steps();
            break;
        case 2:
            N = static_cast<TPDFType2Function&>(F).Exponent() == 1 ? 2 : kCurvedRampStops;
            break;
        case 3: {
            auto& S = static_cast<TPDFType3Function&>(F);
            N = 2;
            for (int32_t I = 0; I < S.FunctionCount(); ++I)
                N += S.Functions(I) ? RampStops(*S.Functions(I)) : 2;
            break;
        }
        case 4:
            N = kCurvedRampStops;
            break;
        default:
            N = F.Steps();
            break;
    }
    return int32_t(std::clamp<int64_t>(N, 1, kMaxFunctionSteps));
}

void TVPLPattern::Populate(TPDFDictionary* Source, TPDFStream* Stream, TPDFIndRef* StreamRef) {
    FSource = Source;
    auto Decode = [&](TPDFStream* S, TPDFIndRef* Ref) {
        if (Ref && FOnDecrypt) FOnDecrypt(S, Ref);
        std::string T;
        try {
            T = S->GetDecodedStream();
        } catch (...) {
            T.clear();
        }
        if (Ref && FOnEncrypt) FOnEncrypt(S, Ref);
        return T;
    };
    if (Stream != nullptr) FDecodeStream = Decode(Stream, StreamRef);
    FPatternType = ptUnknown;
    if (Source == nullptr) return;
    FMatrix = IdentityXForm;
    std::vector<double> M;
    if (Numbers(ObjAs<TPDFArray>(Resolve(Source->FindValueByKeyName("Matrix", false))), 6, M,
                [&](TPDFObject* O) { return Resolve(O); }) &&
        M.size() == 6)
        FMatrix = {M[0], M[1], M[2], M[3], M[4], M[5]};
    auto* PT = ObjAs<TPDFNumeric>(Resolve(Source->FindValueByKeyName("PatternType", false)));
    auto* ST = ObjAs<TPDFNumeric>(Resolve(Source->FindValueByKeyName("ShadingType", false)));
    if (PT != nullptr) {
        const double V = PT->AsDouble();
        FPDFPatternType = V == 1 ? ptTiling : V == 2 ? ptShading : ptNone;
        if (V == 1) {
            ReadTiling(Source);
        } else if (V == 2) {
            TPDFObject* Entry = Source->FindValueByKeyName("Shading", false);
            TPDFObject* Sh = Resolve(Entry);
            TPDFDictionary* D = ObjAs<TPDFDictionary>(Sh);
            if (auto* S = ObjAs<TPDFStream>(Sh)) {
                FDecodeStream = Decode(S, ObjAs<TPDFIndRef>(Entry));
                D = S->FDictionary;
            }
            if (D != nullptr) {
                if (FModel == pmKPLRModel)
                    ReadRendererShading(D);
                else
                    ReadShading(D);
            }
        }
    } else if (ST != nullptr) {
        FPDFPatternType = ptShading;
        if (FModel == pmKPLRModel)
            ReadRendererShading(Source);
        else
            ReadShading(Source);
    }
}

void TVPLPattern::ReadTiling(TPDFDictionary* D) {
    auto Num = [&](std::string_view Key, double& Out) {
        auto* N = ObjAs<TPDFNumeric>(Resolve(D->FindValueByKeyName(Key, false)));
        if (N == nullptr) return false;
        Out = N->AsDouble();
        return true;
    };
    double V;
    if (!Num("TilingType", V) || !(V == 1 || V == 2 || V == 3)) return;
    FTilingType = int32_t(V);
    if (Num("PaintType", V) && std::isfinite(V)) FPaintType = int32_t(std::clamp(V, -1e6, 1e6));
    auto* Box = ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("BBox", false)));
    std::vector<double> B;
    if (!Numbers(Box, 4, B, [&](TPDFObject* O) { return Resolve(O); }) || B.size() != 4) return;
    FPatternType = ptColorTile;
    if (B[0] > B[2]) std::swap(B[0], B[2]);
    if (B[1] > B[3]) std::swap(B[1], B[3]);
    FBBox = {B[0], B[1], B[2], B[3]};
    FXStep = Num("XStep", V) ? V : B[2] - B[0];
    FYStep = Num("YStep", V) ? V : B[3] - B[1];
}

int32_t TVPLPattern::ShadingSpace(TPDFObject* Space, bool AllowGray,
                                  std::function<uint32_t(const double*, int32_t)>* ToRGB) {
    TPDFColorManager* CM = FColorManager;
    std::string Family;
    auto* A = ObjAs<TPDFArray>(Space);
    if (auto* N = ObjAs<TPDFName>(Space))
        Family = N->FValue;
    else if (A != nullptr)
        if (auto* F = ObjAs<TPDFName>(Resolve(A->GetItem(0)))) Family = F->FValue;
    auto Gray = [](const double* V, int32_t N) {
        const double G = N > 0 ? V[0] : 0;
        return PackRGB(G, G, G);
    };
    auto RGB = [](const double* V, int32_t N) {
        return N >= 3 ? PackRGB(V[0], V[1], V[2]) : 0u;
    };
    auto CMYK = [CM](const double* V, int32_t N) {
        if (N < 4 || CM == nullptr) return 0u;
        TPDFCMYKColor C{V[0], V[1], V[2], V[3]};
        const TPDFRGBColor R = CM->CMYK2RGB(C);
        return PackRGB(R.Red, R.Green, R.Blue);
    };
    auto Set = [&](auto F, int32_t N) {
        if (ToRGB) *ToRGB = F;
        return N;
    };
    if (Family == "DeviceGray" || Family == "G" || Family == "CalGray")
        return AllowGray ? Set(Gray, 1) : 0;
    if (Family == "DeviceRGB" || Family == "RGB" || Family == "CalRGB") return Set(RGB, 3);
    if (Family == "DeviceCMYK" || Family == "CMYK") return Set(CMYK, 4);
    if (A == nullptr) return 0;
    if (Family == "ICCBased") {
        auto* S = ObjAs<TPDFStream>(Resolve(A->GetItem(1)));
        if (S == nullptr || S->FDictionary == nullptr) return 0;
        if (auto* Alt =
                ObjAs<TPDFName>(Resolve(S->FDictionary->FindValueByKeyName("Alternate", false)))) {
            if (Alt->FValue == "DeviceRGB") return Set(RGB, 3);
            if (Alt->FValue == "DeviceCMYK") return Set(CMYK, 4);
            if (Alt->FValue == "DeviceGray") return AllowGray ? Set(Gray, 1) : 0;
            return 0;
        }
        auto* N = ObjAs<TPDFNumeric>(Resolve(S->FDictionary->FindValueByKeyName("N", false)));
        if (N == nullptr) return 0;
        if (N->AsDouble() == 3) return Set(RGB, 3);
        if (N->AsDouble() == 4) return Set(CMYK, 4);
        if (N->AsDouble() == 1 && AllowGray) return Set(Gray, 1);
        return 0;
    }
    if (Family == "Separation") {
        auto CS = std::make_shared<TPDFSeparationColorSpace>(CM);
        CS->FOnFindObject = FOnFindObject;
        CS->LoadFromArray(A, "");
        FSeparationColorSpace = CS;
        return Set(
            [CS](const double* V, int32_t N) {
                CS->GetColor(N > 0 ? V[0] : 0, true);
                return SwapColor(CS->FResultColor);
            },
            1);
    }
    if (Family == "DeviceN") {
        auto CS = std::make_shared<TPDFDeviceNColorSpace>(CM);
        CS->FOnFindObject = FOnFindObject;
        CS->LoadFromArray(A, "");
        if (CS->FComponentCount <= 0 || CS->FComponentCount > 32) return 0;
        FDeviceNColorSpace = CS;
        const int32_t Count = CS->FComponentCount;
        return Set(
            [CS, Count](const double* V, int32_t N) {
                CS->GetColor(std::span<const double>(V, size_t(std::min(N, Count))), true);
                return SwapColor(CS->FResultColor);
            },
            Count);
    }
    if (Family == "Lab" && AllowGray && CM != nullptr) {
        auto CS = std::make_shared<TPDFLabColorSpace>();
        CS->FOnFindObject = FOnFindObject;
        CS->LoadFromArray(A);
        return Set(
            [CS, CM](const double* V, int32_t N) {
                if (N < 3) return 0u;
                return SwapColor(CS->GetColor(TPDFLabColor{V[0], V[1], V[2]}, CM));
            },
            3);
    }
    return 0;
}

// The colour ramp for the canvas models, and the shading for our own
// rasteriser.
void TVPLPattern::ReadShading(TPDFDictionary* D) {
    auto* STN = ObjAs<TPDFNumeric>(Resolve(D->FindValueByKeyName("ShadingType", false)));
    if (STN == nullptr) return;
    const double STV = STN->AsDouble();
    const int32_t Type = STV >= 1 && STV <= 7 && STV == std::floor(STV) ? int32_t(STV) : 0;
    FShadingType = Type;
    if (Type == 0) return;
    auto Res = [&](TPDFObject* O) { return Resolve(O); };
    auto Sh = std::make_shared<TVPLShading>();
    Sh->ShadingType = Type;
    const int32_t N =
        ShadingSpace(Resolve(D->FindValueByKeyName("ColorSpace", false)), true, &Sh->ToRGB);
    if (N == 0) return;
    Sh->Components = N;
    FColorComponents = N;
    std::vector<double> V;
    if (Numbers(ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("BBox", false))), 4, V, Res) &&
        V.size() == 4) {
        FBBox = {std::min(V[0], V[2]), std::min(V[1], V[3]), std::max(V[0], V[2]),
                 std::max(V[1], V[3])};
        Sh->HasBBox = true;
        Sh->BBox = FBBox;
    }
    if (auto* BG = ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Background", false)))) {
        FHasBackground = Numbers(BG, size_t(N), FBackgroundArray, Res) &&
                         int32_t(FBackgroundArray.size()) == N;
        if (FHasBackground) {
            const uint32_t C = Sh->ToRGB(FBackgroundArray.data(), N);
            FBackColor = {((C >> 16) & 0xFF) / 255.0, ((C >> 8) & 0xFF) / 255.0,
                          (C & 0xFF) / 255.0};
        }
    }
    // Functions: one, or one per colour component.
    const int32_t Inputs = Type == 1 ? 2 : 1;
    TPDFObject* FO = Resolve(D->FindValueByKeyName("Function", false));
    if (auto* FA = ObjAs<TPDFArray>(FO)) {
        if (FA->GetCount() != N) return;
        for (int32_t I = 0; I < N; ++I) {
            std::shared_ptr<TPDFFunction> F =
                TPDFFunction::FunctionFactory(Resolve(FA->GetItem(I)), FOnFindObject);
            if (!F || F->InputValueCount() != Inputs) return;
            Sh->Functions.push_back(F);
        }
    } else if (ObjAs<TPDFDictionary>(FO) || ObjAs<TPDFStream>(FO)) {
        std::shared_ptr<TPDFFunction> F = TPDFFunction::FunctionFactory(FO, FOnFindObject);
        if (!F || F->InputValueCount() != Inputs) return;
        if (DeclaredOutputs(F.get()) != N) return;
        Sh->Functions.push_back(F);
        FPDFFunction = F;
    } else if (Type <= 3) {
        return;  // these types need a function
    }
    if (Type <= 3) {
        std::vector<double> Dom;
        if (Numbers(ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Domain", false))), 4, Dom,
                    Res)) {
            if (Type == 1 && Dom.size() == 4) FDomain = {Dom[0], Dom[1], Dom[2], Dom[3]};
            if (Type != 1 && Dom.size() == 2) FDomain = {Dom[0], Dom[1], 0, 1};
        }
        Sh->Domain = FDomain;
    }
    if (Type == 1) {
        std::vector<double> M;
        if (Numbers(ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Matrix", false))), 6, M,
                    Res) &&
            M.size() == 6)
            FShadingMatrix = {M[0], M[1], M[2], M[3], M[4], M[5]};
        Sh->Matrix = FShadingMatrix;
    }
    if (Type == 2 || Type == 3) {
        std::vector<double> C;
        const size_t Want = Type == 2 ? 4 : 6;
        if (!Numbers(ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Coords", false))), Want, C,
                     Res) ||
            C.size() != Want)
            return;
        for (size_t I = 0; I < Want; ++I) FCoords[I] = C[I];
        Sh->Coords = FCoords;
        if (auto* E = ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Extend", false)));
            E && E->GetCount() == 2) {
            if (auto* B0 = ObjAs<TPDFBoolean>(Resolve(E->GetItem(0)))) {
                FExtend[0] = B0->FValue;
                if (auto* B1 = ObjAs<TPDFBoolean>(Resolve(E->GetItem(1)))) FExtend[1] = B1->FValue;
            }
        }
        Sh->Extend = FExtend;
        // The ramp: evenly spaced stops of the function.
        if (!Sh->Functions.empty()) {
            int32_t Stops = 2;
            for (const auto& F : Sh->Functions) Stops = std::max(Stops, RampStops(*F));
            if (Sh->Functions.size() == 1) Stops = RampStops(*Sh->Functions[0]);
            std::vector<double> Out;
            std::vector<double> Values(static_cast<size_t>(N), 0.0);
            try {
                for (int32_t I = 0; I < Stops; ++I) {
                    const double T =
                        Stops > 1 ? FDomain[0] + (FDomain[1] - FDomain[0]) * I / (Stops - 1)
                                  : FDomain[0];
                    size_t K = 0;
                    const size_t Each = Sh->Functions.size() == 1 ? size_t(N) : 1;
                    for (const auto& F : Sh->Functions) {
                        Out.assign(Each, 0);
                        F->RunFunction(std::span<const double>(&T, 1), std::span<double>(Out));
                        for (size_t J = 0; J < Each && K < Values.size(); ++J) Values[K++] = Out[J];
                    }
                    const uint32_t C = Sh->ToRGB(Values.data(), N);
                    FStops.push_back(
                        {((C >> 16) & 0xFF) / 255.0, ((C >> 8) & 0xFF) / 255.0, (C & 0xFF) / 255.0});
                }
            } catch (const std::exception&) {
                FStops.clear();
                return;
            }
        }
        FPatternType = Type == 2 ? ptAxial : ptRadial;
    }
    if (Type >= 4) {
        auto Int = [&](std::string_view Key) {
            auto* I = ObjAs<TPDFNumeric>(Resolve(D->FindValueByKeyName(Key, false)));
            return I && std::isfinite(I->AsDouble()) ? int32_t(std::clamp(I->AsDouble(), -1e6, 1e6))
                                                     : 0;
        };
        FBitsPerCoordinate = Sh->BitsPerCoordinate = Int("BitsPerCoordinate");
        FBitsPerComponent = Sh->BitsPerComponent = Int("BitsPerComponent");
        if (Type != 5) FBitsPerFlag = Sh->BitsPerFlag = Int("BitsPerFlag");
        if (Type == 5) FVerticesPerRow = Sh->VerticesPerRow = Int("VerticesPerRow");
        Numbers(ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Decode", false))), 68,
                FDecodeArray, Res);
        Sh->Decode = FDecodeArray;
        Sh->Data = FDecodeStream;
    }
    FShading = std::move(Sh);
}

void TVPLPattern::ReadRendererShading(TPDFDictionary* D) {
    auto Res = [&](TPDFObject* O) { return Resolve(O); };
    auto* STN = ObjAs<TPDFNumeric>(Resolve(D->FindValueByKeyName("ShadingType", false)));
    if (STN == nullptr || !std::isfinite(STN->AsDouble())) return;
    FShadingType = int32_t(std::clamp(STN->AsDouble(), -1e6, 1e6));
    std::function<uint32_t(const double*, int32_t)> ToRGB;
    FColorComponents =
        ShadingSpace(Resolve(D->FindValueByKeyName("ColorSpace", false)), true, &ToRGB);
    if (FColorComponents > 0) {
        if (auto* BG = ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Background", false)))) {
            FHasBackground = true;
            FBackgroundArray.assign(size_t(std::clamp(BG->GetCount(), 0, 32)), 0);
            if (BG->GetCount() == FColorComponents)
                for (int32_t I = 0; I < BG->GetCount(); ++I)
                    if (auto* N = ObjAs<TPDFNumeric>(Resolve(BG->GetItem(I))))
                        FBackgroundArray[size_t(I)] = N->AsDouble();
            GetColor(FBackgroundArray, FBackColor);
        }
    }
    std::vector<double> V;
    FBBox = {0, 0, -1, -1};
    if (auto* B = ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("BBox", false)));
        B && B->GetCount() == 4)
        for (int32_t I = 0; I < 4; ++I)
            if (auto* N = ObjAs<TPDFNumeric>(Resolve(B->GetItem(I))))
                FBBox[size_t(I)] = N->AsDouble();
    if (Numbers(ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Matrix", false))), 6, V, Res) &&
        V.size() == 6)
        FShadingMatrix = {V[0], V[1], V[2], V[3], V[4], V[5]};
    FDomain = {0, 1, 0, 1};
    if (FShadingType >= 1 && FShadingType <= 3 &&
        Numbers(ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Domain", false))), 4, V, Res))
        for (size_t I = 0; I < V.size(); ++I) FDomain[I] = V[I];
    FCoords = {};
    if (FShadingType == 2 || FShadingType == 3) {
        if (Numbers(ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Coords", false))), 6, V, Res))
            for (size_t I = 0; I < V.size(); ++I) FCoords[I] = V[I];
        if (auto* E = ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Extend", false)));
            E && E->GetCount() == 2) {
            if (auto* B0 = ObjAs<TPDFBoolean>(Resolve(E->GetItem(0)))) {
                FExtend[0] = B0->FValue;
                if (auto* B1 = ObjAs<TPDFBoolean>(Resolve(E->GetItem(1)))) FExtend[1] = B1->FValue;
            }
        }
    }
    TPDFObject* FO = Resolve(D->FindValueByKeyName("Function", false));
    if (ObjAs<TPDFDictionary>(FO) || ObjAs<TPDFStream>(FO))
        FPDFFunction = TPDFFunction::FunctionFactory(FO, FOnFindObject);
    if (FShadingType >= 4 && FShadingType <= 7) {
        auto Int = [&](std::string_view Key) {
            auto* I = ObjAs<TPDFNumeric>(Resolve(D->FindValueByKeyName(Key, false)));
            return I && std::isfinite(I->AsDouble()) ? int32_t(std::clamp(I->AsDouble(), -1e6, 1e6))
                                                     : 0;
        };
        FBitsPerCoordinate = Int("BitsPerCoordinate");
        FBitsPerComponent = Int("BitsPerComponent");
        if (FShadingType != 5) FBitsPerFlag = Int("BitsPerFlag");
        if (FShadingType == 5) FVerticesPerRow = Int("VerticesPerRow");
        Numbers(ObjAs<TPDFArray>(Resolve(D->FindValueByKeyName("Decode", false))), 68,
                FDecodeArray, Res);
    }
}

void TVPLPattern::SetColorComponents(const std::string& CS, std::span<const double> Values) {
    FUncoloredPatternCS = CS;
    auto At = [&](size_t I) { return I < Values.size() ? Values[I] : 0.0; };
    if (CS == "DeviceRGB") {
        TPDFRGBColor C{At(0), At(1), At(2)};
        FUncoloredPatternColor =
            FColorManager ? FColorManager->RGB2Color(C)
                          : SwapColor(PackRGB(C.Red, C.Green, C.Blue));
    } else if (CS == "DeviceGray") {
        const uint32_t G = uint32_t(std::lround(Clamp01(At(0)) * 255));
        FUncoloredPatternColor = TColor(G * 0x010101);
    } else if (CS == "DeviceCMYK" && FColorManager) {
        TPDFCMYKColor C{At(0), At(1), At(2), At(3)};
        TPDFRGBColor R = FColorManager->CMYK2RGB(C);
        FUncoloredPatternColor = FColorManager->RGB2Color(R);
    }
}

void TVPLPattern::GetColor(std::span<const double> Out, TPDFRGBColor& Result) {
    auto FromDevice = [&](TColor C) {
        Result = {(C & 0xFF) / 255.0, ((C >> 8) & 0xFF) / 255.0, ((C >> 16) & 0xFF) / 255.0};
    };
    if (FDeviceNColorSpace) {
        const size_t N = std::min(Out.size(), size_t(std::max(FDeviceNColorSpace->FComponentCount, 0)));
        FDeviceNColorSpace->GetColor(Out.subspan(0, N), false);
        FromDevice(FDeviceNColorSpace->FResultColor);
    } else if (FSeparationColorSpace) {
        FSeparationColorSpace->GetColor(Out.empty() ? 0 : Out[0], false);
        FromDevice(FSeparationColorSpace->FResultColor);
    } else if (FColorComponents == 3) {
        if (Out.size() >= 3) Result = {Out[0], Out[1], Out[2]};
    } else if (FColorComponents == 4) {
        if (Out.size() == 4 && FColorManager) {
            TPDFCMYKColor C{Out[0], Out[1], Out[2], Out[3]};
            Result = FColorManager->CMYK2RGB(C);
        } else {
            Result = {};
        }
    } else if (FColorComponents == 1) {
        const double G = Out.empty() ? 0 : Out[0];
        Result = {G, G, G};
    }
}

void TVPLPattern::GetFunctionColor(std::span<const double> In, TPDFRGBColor& Result) {
    if (FPDFFunction) {
        std::vector<double> Out;
        FPDFFunction->RunFunction(In, Out);
        GetColor(Out, Result);
        return;
    }
    GetColor(In.subspan(0, std::min(In.size(), size_t(std::max(FColorComponents, 0)))), Result);
}

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

double TVPLPattern::GetShadingMatrix(int I) const {
    const double V[6] = {FShadingMatrix.eM11, FShadingMatrix.eM12, FShadingMatrix.eM21,
                         FShadingMatrix.eM22, FShadingMatrix.eDx,  FShadingMatrix.eDy};
    return I >= 0 && I < 6 ? V[I] : 0;
}

double TVPLPattern::GetCoords(int I) const {
    return I >= 0 && I < int(FCoords.size()) ? FCoords[size_t(I)] : 0;
}

double TVPLPattern::GetBBox(int I) const {
    return I >= 0 && I < int(FBBox.size()) ? FBBox[size_t(I)] : 0;
}

double TVPLPattern::GetDomain(int I) const {
    return I >= 0 && I < int(FDomain.size()) ? FDomain[size_t(I)] : 0;
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

double TVPLPattern::GetStep(int I) const { return I == 0 ? FXStep : I == 1 ? FYStep : 1.0; }

}  // namespace velmo
