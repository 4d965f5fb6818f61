// The gs operator: a named graphics-state parameter dictionary copied into
// the graphics state. Soft masks are drawn by the renderer library through
// its groups, by the default and cairo models through layers, and on
// destinations that cannot composite as images of the masked areas.
#include <array>
#include <string>

#include "render/ContentRun.h"
#include "render/SoftMask.h"

namespace velmo {

namespace {

struct TBlendName {
    std::string_view Name;
    TPDFBlendMode Mode;
};

constexpr std::array<TBlendName, 17> kBlendModes = {{
    {"Normal", bmNormal},         {"Compatible", bmNormal},     {"Multiply", bmMultiply},
    {"Screen", bmScreen},         {"Overlay", bmOverlay},       {"Darken", bmDarken},
    {"Lighten", bmLighten},       {"ColorDodge", bmColorDodge}, {"ColorBurn", bmColorBurn},
    {"HardLight", bmHardLight},   {"SoftLight", bmSoftLight},   {"Difference", bmDifference},
    {"Exclusion", bmExclusion},   {"Hue", bmHue},               {"Saturation", bmSaturation},
    {"Color", bmColor},           {"Luminosity", bmLuminosity},
}};

}  // namespace

void TPDFRenderer::SetExtGState(TContentRun& Run, std::string_view Name) {
    TPDFDictionary* States = Run.SubDict(Run.Resources, "ExtGState");
    if (States == nullptr || Name.size() < 2) return;
    auto* D = ObjAs<TPDFDictionary>(Run.Resolve(States->FindValueByKeyName(Name.substr(1), false)));
    if (D == nullptr) return;
    if (TPDFObject* Type = D->FindValueByKeyName("Type", false)) {
        auto* N = ObjAs<TPDFName>(Run.Resolve(Type));
        if (N == nullptr || N->FValue != "ExtGState") return;
    }
    TPDFGraphicsState& GS = Run.GS;
    auto Number = [&](std::string_view Key, double& Out) {
        auto* N = ObjAs<TPDFNumeric>(Run.Resolve(D->FindValueByKeyName(Key, false)));
        if (N == nullptr || !std::isfinite(N->AsDouble())) return false;
        Out = N->AsDouble();
        return true;
    };
    double V;
    if (Number("LW", V)) GS.LineWidth = V;
    if (Number("LC", V)) GS.LineCap = int32_t(std::clamp(std::nearbyint(V), -1e6, 1e6));
    if (Number("LJ", V)) GS.LineJoin = int32_t(std::clamp(std::nearbyint(V), -1e6, 1e6));
    if (Number("ML", V)) GS.MiterLimit = V;

    if (auto* F = ObjAs<TPDFArray>(Run.Resolve(D->FindValueByKeyName("Font", false)));
        F && F->GetCount() == 2) {
        auto* Ref = ObjAs<TPDFIndRef>(F->GetItem(0));
        auto* Size = ObjAs<TPDFNumeric>(Run.Resolve(F->GetItem(1)));
        if (Ref && Size && std::isfinite(Size->AsDouble())) {
            GS.TextFont = std::to_string(Ref->ObjNum) + " " + std::to_string(Ref->GenNum) + " R";
            GS.TextSize = Size->AsDouble();
            SelectFont(Run);
        }
    }

    if (auto* Dash = ObjAs<TPDFArray>(Run.Resolve(D->FindValueByKeyName("D", false)))) {
        GS.DashArray.clear();
        if (auto* A = ObjAs<TPDFArray>(Run.Resolve(Dash->GetItem(0)))) {
            // A dash array is a handful of numbers; a longer one is cut.
            const int32_t Count = std::min<int32_t>(A->GetCount(), 1024);
            for (int32_t I = 0; I < Count; ++I) {
                auto* N = ObjAs<TPDFNumeric>(Run.Resolve(A->GetItem(I)));
                const double X = N ? N->AsDouble() : 0;
                GS.DashArray.push_back(std::isfinite(X) ? X : 0);
            }
        }
        if (auto* P = ObjAs<TPDFNumeric>(Run.Resolve(Dash->GetItem(1)));
            P && std::isfinite(P->AsDouble()))
            GS.DashPhase = P->AsDouble();
        // The library keeps its dash in doubles, set at once.
        if (Run.Library && Picasso) Picasso->SetLineDashDouble(GS.DashArray, GS.DashPhase);
    }

    TPDFObject* Mask = Run.Resolve(D->FindValueByKeyName("SMask", false));
    if (ObjAs<TPDFName>(Mask)) {
        GS.Softmask = false;
        if (Run.Library)
            ClearLibrarySoftmask(Run);
        else
            Run.EndMasks(Run.States.size());
    } else if (auto* MD = ObjAs<TPDFDictionary>(Mask)) {
        GS.Softmask = true;
        if (Run.Library)
            RenderSoftMaskGroup(Run, MD);
        else if (!Run.EPS)
            ApplySoftMask(Run, MD);
    }

    if (Number("CA", V)) GS.StrokeAlpha = V;
    if (Number("ca", V)) GS.FillAlpha = V;
    if (auto* BM = ObjAs<TPDFName>(Run.Resolve(D->FindValueByKeyName("BM", false)))) {
        for (const TBlendName& B : kBlendModes) {
            if (B.Name != BM->FValue) continue;
            // The non-separable modes exist only in the renderer library.
            if (B.Mode >= bmHue && !Run.Library) break;
            GS.BlendMode = B.Mode;
            break;
        }
    }
}

}  // namespace velmo

namespace velmo {

void TPDFRenderer::ApplySoftMask(TContentRun& Run, TPDFDictionary* MaskDict) {
    // The default model on a bitmap and the cairo model draw through layers.
    const bool Layers =
        Picasso && ((Picasso->Model() == pmGDIPlus && FDestination == rdBitmap) ||
                    (Picasso->Model() == pmCairo &&
                     (FDestination == rdCairo || FDestination == rdCairoBitmap)));
    // Elsewhere the masked drawing becomes an image (MaskImages.cpp).
    const bool Imaged = !Layers && ImagesSoftMasks();
    if (!Run.Visible || (!Layers && !Imaged) || FCanvasRecorder != nullptr) return;
    TVPLSoftmask Mask(FColorManager.get());
    Mask.OnFindObject = OnFindObject;
    Mask.Populate(MaskDict);
    TPDFObject* Entry = MaskDict->FindValueByKeyName("G", false);
    TPDFIndRef* Ref = ObjAs<TPDFIndRef>(Entry);
    auto* G = ObjAs<TPDFStream>(Run.Resolve(Entry));
    if (G == nullptr || G->FDictionary == nullptr) return;
    TPDFDictionary* GD = G->FDictionary;
    if (!Run.StreamVisible(GD)) return;
    // A box of fewer than four numbers gives no clip.
    double Box[4];
    const bool HasBox =
        Run.Numbers(ObjAs<TPDFArray>(Run.Resolve(GD->FindValueByKeyName("BBox", false))), 4, Box);
    TPDFXForm Mat = CanvasMat;
    double M[6];
    if (auto* MA = ObjAs<TPDFArray>(Run.Resolve(GD->FindValueByKeyName("Matrix", false)));
        MA && MA->GetCount() == 6 && Run.Numbers(MA, 6, M)) {
        if (!TContentRun::SafeMul({M[0], M[1], M[2], M[3], M[4], M[5]}, CanvasMat, Mat)) return;
    }
    if (Imaged) {
        // The bitmap model's pass makes the mask and its image; a page it
        // cannot hold as a layer gets none there either.
        if (FMaxX <= 0 || FMaxY <= 0 || int64_t(FMaxX) * FMaxY > TBitmap::MaxPixels) return;
        Run.EndMasks(Run.States.size());
        Run.Masks.push_back({Run.States.size(), {}, true, Run.Resources, Run.Pos});
        ++FImagedMasks;
        return;
    }
    // The backdrop of a luminosity mask, in the group's colour space.
    TColor Backdrop = 0;
    if (Mask.SoftmaskType() == ptLuminosity && Mask.GetBCLength() > 0) {
        std::string CS = "DeviceRGB";
        if (auto* Group = Run.SubDict(GD, "Group")) {
            TPDFObject* CSO = Run.Resolve(Group->FindValueByKeyName("CS", false));
            if (auto* N = ObjAs<TPDFName>(CSO)) {
                CS = N->FValue;
            } else if (auto* A = ObjAs<TPDFArray>(CSO)) {
                if (auto* S = ObjAs<TPDFStream>(Run.Resolve(A->GetItem(1))); S && S->FDictionary) {
                    if (auto* Alt = ObjAs<TPDFName>(
                            Run.Resolve(S->FDictionary->FindValueByKeyName("Alternate", false))))
                        CS = Alt->FValue;
                    else if (auto* N2 = ObjAs<TPDFNumeric>(
                                 Run.Resolve(S->FDictionary->FindValueByKeyName("N", false))))
                        CS = N2->AsDouble() == 1   ? "DeviceGray"
                             : N2->AsDouble() == 4 ? "DeviceCMYK"
                                                   : "DeviceRGB";
                }
            }
        }
        TPDFColorManager* CM = FColorManager.get();
        if (CS == "DeviceRGB" && Mask.GetBCLength() >= 3) {
            TPDFRGBColor C{Mask.GetBCArray(0), Mask.GetBCArray(1), Mask.GetBCArray(2)};
            Backdrop = CM->RGB2Color(C);
        } else if (CS == "DeviceCMYK" && Mask.GetBCLength() >= 4) {
            TPDFCMYKColor C{Mask.GetBCArray(0), Mask.GetBCArray(1), Mask.GetBCArray(2),
                            Mask.GetBCArray(3)};
            TPDFRGBColor RGB = CM->CMYK2RGB(C);
            Backdrop = CM->RGB2Color(RGB);
        } else if (CS == "DeviceGray") {
            const double V = std::clamp(Mask.GetBCArray(0), 0.0, 1.0);
            Backdrop = TColor(std::lround(V * 255)) * 0x010101;
        }
    }
    // The transfer function as a table of the 256 mask levels; a function
    // that fails leaves the identity.
    uint8_t Transfer[256];
    for (int I = 0; I < 256; ++I) Transfer[I] = uint8_t(I);
    if (Mask.PDFFunction() != nullptr) {
        try {
            for (int I = 0; I < 256; ++I) {
                const double X = I / 255.0;
                const double Y = Mask.GetFunctionValue(std::span<const double>(&X, 1));
                Transfer[I] = uint8_t(std::lround(std::clamp(std::isfinite(Y) ? Y : 0, 0.0, 1.0) * 255));
            }
        } catch (const std::exception&) {
            for (int I = 0; I < 256; ++I) Transfer[I] = uint8_t(I);
        }
    }
    const int32_t W = FMaxX, H = FMaxY;
    std::vector<uint8_t> Coverage;
    TBitmap First;
    if (!RenderGroupBitmap(Run, G, Ref, Mat, HasBox ? Box : nullptr,
                           Mask.SoftmaskType() == ptLuminosity ? Backdrop : TColor(0xFFFFFF),
                           First) ||
        First.Width() != W || First.Height() != H)
        return;
    Coverage.assign(size_t(W) * size_t(H), 0);
    if (Mask.SoftmaskType() == ptLuminosity) {
        for (int32_t Y = 0; Y < H; ++Y)
            for (int32_t X = 0; X < W; ++X) {
                const TColor C = First.GetPixel(X, Y);
                const double L =
                    0.3 * (C & 0xFF) + 0.59 * ((C >> 8) & 0xFF) + 0.11 * ((C >> 16) & 0xFF);
                Coverage[size_t(Y) * size_t(W) + size_t(X)] =
                    Transfer[std::clamp<long>(std::lround(L), 0, 255)];
            }
    } else {
        // The group's alpha: drawn over white and over black, a pixel
        // covered with alpha a differs between the two by (1 - a) · 255.
        TBitmap Second;
        if (!RenderGroupBitmap(Run, G, Ref, Mat, HasBox ? Box : nullptr, 0, Second) ||
            Second.Width() != W || Second.Height() != H)
            return;
        for (int32_t Y = 0; Y < H; ++Y)
            for (int32_t X = 0; X < W; ++X) {
                Coverage[size_t(Y) * size_t(W) + size_t(X)] =
                    Transfer[AlphaOverBackdrops(First.GetPixel(X, Y), Second.GetPixel(X, Y))];
            }
    }
    // A mask set again at the same level replaces the one before.
    Run.EndMasks(Run.States.size());
    if (!Picasso->BeginMaskLayer(W, H)) return;
    Run.Masks.push_back({Run.States.size(), std::move(Coverage), false, Run.Resources, Run.Pos});
}

}  // namespace velmo
