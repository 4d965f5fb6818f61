// The gs operator: a named graphics-state parameter dictionary copied into
// the graphics state. Soft masks are drawn only by the renderer library;
// elsewhere the state records that one is in force.
#include <array>
#include <string>

#include "render/ContentRun.h"

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
    }

    TPDFObject* Mask = Run.Resolve(D->FindValueByKeyName("SMask", false));
    if (ObjAs<TPDFName>(Mask)) {
        GS.Softmask = false;
        if (Run.Library) ClearLibrarySoftmask(Run);
    } else if (auto* MaskDict = ObjAs<TPDFDictionary>(Mask)) {
        GS.Softmask = true;
        if (Run.Library) RenderSoftMaskGroup(Run, MaskDict);
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
