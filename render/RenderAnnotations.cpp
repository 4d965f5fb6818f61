// Annotations drawn with the page: highlights beneath the content, all
// others above it, each through its normal appearance stream mapped into its
// rectangle; links and stamps without an appearance get a built-in look.
#include <cmath>
#include <string>

#include "render/ContentRun.h"

namespace velmo {

namespace {

constexpr int32_t kFlagHidden = 2;
constexpr int32_t kFlagPrint = 4;
constexpr int32_t kFlagNoView = 32;

// The size of the built-in stamp pictures' drawing.
constexpr double kStampWidth = 120;
constexpr double kStampHeight = 31;

// Exactly Count finite numbers (references resolved), else false.
bool ReadNumbers(TPDFRenderer::TContentRun& Run, TPDFObject* O, int32_t Count, double* Out) {
    auto* A = ObjAs<TPDFArray>(Run.Resolve(O));
    if (A == nullptr || A->GetCount() != Count) return false;
    for (int32_t I = 0; I < Count; ++I) {
        auto* N = ObjAs<TPDFNumeric>(Run.Resolve(A->GetItem(I)));
        if (N == nullptr || !std::isfinite(N->AsDouble())) return false;
        Out[I] = N->AsDouble();
    }
    return true;
}

double NumberOr(TPDFRenderer::TContentRun& Run, TPDFObject* O, double Default) {
    auto* N = ObjAs<TPDFNumeric>(Run.Resolve(O));
    return N != nullptr && std::isfinite(N->AsDouble()) ? N->AsDouble() : Default;
}

// Dash items rounded to whole units; a pattern of only zeros draws solid.
std::vector<double> DashOf(TPDFRenderer::TContentRun& Run, TPDFArray* A) {
    std::vector<double> Dash;
    const int32_t Count = std::min<int32_t>(A->GetCount(), 1024);
    double Sum = 0;
    for (int32_t I = 0; I < Count; ++I) {
        const double V = std::nearbyint(std::clamp(NumberOr(Run, A->GetItem(I), 0), 0.0, 1e6));
        Dash.push_back(V);
        Sum += V;
    }
    if (Sum <= 0) Dash.clear();
    return Dash;
}

// The rectangle path of (X0, Y0)-(X1, Y1) in the run's current space.
void RectanglePath(TPDFRenderer::TContentRun& Run, double X0, double Y0, double X1, double Y1) {
    Run.StartPath();
    Run.MoveTo(X0, Y0);
    Run.LineTo(X0, Y1);
    Run.LineTo(X1, Y1);
    Run.LineTo(X1, Y0);
    Run.ClosePath();
}

// An appearance or picture interpreted under Placed with the page's
// resources as its parent's; matrix, resources and the annotation flag are
// put back however it ends.
class TPlacedContent {
public:
    TPlacedContent(TPDFRenderer& R, const TPDFXForm& Placed, TPDFDictionary* Parent)
        : FR(R), FMatrix(R.CanvasMat), FParent(R.ParentResources) {
        R.CanvasMat = Placed;
        R.ParentResources = Parent;
    }
    ~TPlacedContent() {
        FR.FDrawingAnnot = false;
        FR.CanvasMat = FMatrix;
        FR.ParentResources = FParent;
    }
    TPlacedContent(const TPlacedContent&) = delete;
    TPlacedContent& operator=(const TPlacedContent&) = delete;

private:
    TPDFRenderer& FR;
    TPDFXForm FMatrix;
    TPDFDictionary* FParent;
};

}  // namespace

TStampPictureSource& StampPictureSource() {
    static TStampPictureSource Source;
    return Source;
}

void TPDFRenderer::DrawAnnotations(TContentRun& Run, bool Before) {
    if (FPageDict == nullptr) return;
    auto* Annots = ObjAs<TPDFArray>(Run.Resolve(FPageDict->FindValueByKeyName("Annots", false)));
    if (Annots == nullptr) return;
    const bool OnePass = Run.Library;
    const bool Printer = FDestination == rdPrinter || FDestination == rdKPLRPrinter;
    const TGDIPlusSettings& S = FGDIPlusSettings;
    for (TPDFObject* Item : Annots->LiveItems()) {
        auto* Ref = ObjAs<TPDFIndRef>(Item);
        if (Ref == nullptr) continue;
        auto* Annot = ObjAs<TPDFDictionary>(FindObject(Ref));
        if (Annot == nullptr) continue;

        const bool Widget = Annot->FindValueByKeyName("FT", false) != nullptr;
        bool Draw = true;
        if (Widget && !S.RenderFormFields) Draw = false;
        if (!Widget && (!S.RenderAnnotations || S.RenderFormFieldsOnly)) Draw = false;
        if (!OnePass) {
            auto* Subtype = ObjAs<TPDFName>(Run.Resolve(Annot->FindValueByKeyName("Subtype", false)));
            const bool Highlight = Subtype != nullptr && Subtype->FValue == "Highlight";
            if (Highlight != Before) Draw = false;
        }
        if (!Draw) continue;

        auto* FlagsValue = ObjAs<TPDFNumeric>(Run.Resolve(Annot->FindValueByKeyName("F", false)));
        const double FlagNumber = FlagsValue != nullptr ? FlagsValue->AsDouble() : 0;
        const int32_t Flags = std::isfinite(FlagNumber)
                                  ? int32_t(std::clamp(std::trunc(FlagNumber), -2.0e9, 2.0e9))
                                  : 0;
        const bool Shown = Printer ? (Flags & kFlagHidden) == 0 && (Flags & kFlagPrint) != 0
                                   : (Flags & (kFlagHidden | kFlagNoView)) == 0;
        CanvasMat = StartMatrix;
        if (!Run.EPS) {
            if (TPDFRenderCanvas* D = Device()) D->SetCurrentXForm(CanvasMat);
        }
        if (Shown) DrawAnnotationAppearance(Run, Annot);
        CanvasMat = StartMatrix;
        if (!Run.EPS) {
            if (TPDFRenderCanvas* D = Device()) D->SetCurrentXForm(CanvasMat);
        }
    }
}

void TPDFRenderer::DrawAnnotationAppearance(TContentRun& Run, TPDFDictionary* Annot) {
    double Rect[4];
    if (!ReadNumbers(Run, Annot->FindValueByKeyName("Rect", false), 4, Rect)) return;
    // A content without a device (text funnel, image list) has nothing to
    // draw a border or clip on.
    if (!Run.EPS && Device() == nullptr) return;

    if (auto* AP = ObjAs<TPDFDictionary>(Run.Resolve(Annot->FindValueByKeyName("AP", false)))) {
        TPDFObject* N = AP->FindValueByKeyName("N", false);
        TPDFIndRef* AppearanceRef = ObjAs<TPDFIndRef>(N);
        TPDFObject* NValue = Run.Resolve(N);
        if (auto* States = ObjAs<TPDFDictionary>(NValue)) {
            // A dictionary of appearance states: /AS picks one.
            TPDFObject* AS = Annot->FindValueByKeyName("AS", false);
            if (auto* Ref = ObjAs<TPDFIndRef>(AS)) {
                AppearanceRef = Ref;
            } else if (auto* Name = ObjAs<TPDFName>(AS)) {
                AppearanceRef = ObjAs<TPDFIndRef>(States->FindValueByKeyName(Name->FValue, false));
            } else {
                return;
            }
        } else if (!ObjAs<TPDFStream>(NValue)) {
            return;
        }
        if (AppearanceRef == nullptr) return;
        auto* Appearance = ObjAs<TPDFStream>(FindObject(AppearanceRef));
        if (Appearance == nullptr || Appearance->FDictionary == nullptr) return;
        TPDFDictionary* AD = Appearance->FDictionary;
        double Box[4];
        if (!ReadNumbers(Run, AD->FindValueByKeyName("BBox", false), 4, Box)) return;

        const double Left = std::min(Rect[0], Rect[2]), Right = std::max(Rect[0], Rect[2]);
        const double Bottom = std::min(Rect[1], Rect[3]), Top = std::max(Rect[1], Rect[3]);
        // A matrix of other than six numbers counts as absent.
        double M[6] = {1, 0, 0, 1, 0, 0};
        ReadNumbers(Run, AD->FindValueByKeyName("Matrix", false), 6, M);
        const TPDFXForm F = {M[0], M[1], M[2], M[3], M[4], M[5]};
        double XMin = 0, XMax = 0, YMin = 0, YMax = 0;
        for (int32_t K = 0; K < 2; ++K) {
            const double BX = Box[K * 2], BY = Box[K * 2 + 1];
            const double X = BX * F.eM11 + BY * F.eM21 + F.eDx;
            const double Y = BX * F.eM12 + BY * F.eM22 + F.eDy;
            if (K == 0 || X < XMin) XMin = X;
            if (K == 0 || X > XMax) XMax = X;
            if (K == 0 || Y < YMin) YMin = Y;
            if (K == 0 || Y > YMax) YMax = Y;
        }
        if (!(XMax - XMin > 0) || !(YMax - YMin > 0)) return;
        const double SX = (Right - Left) / (XMax - XMin);
        const double SY = (Top - Bottom) / (YMax - YMin);
        TPDFXForm A;
        TPDFXForm Placed;
        if (!TContentRun::SafeMul(F, {SX, 0, 0, SY, Left - XMin * SX, Top - YMax * SY}, A) ||
            !TContentRun::SafeMul(A, CanvasMat, Placed))
            return;

        Run.SaveGraphicsState();
        RectanglePath(Run, Left, Bottom, Right, Top);
        // EPS clips by the non-zero rule, the devices by the even-odd one;
        // for one rectangle both give the same area.
        Run.Clip(!Run.EPS);
        Run.EndPath();

        TPlacedContent Placing(*this, Placed, Run.Resources);
        FDrawingAnnot = true;
        RenderContent(Appearance, {}, AppearanceRef);
        Run.RestoreGraphicsState(true);
        return;
    }

    auto* Subtype = ObjAs<TPDFName>(Run.Resolve(Annot->FindValueByKeyName("Subtype", false)));
    if (Subtype == nullptr) return;
    if (Subtype->FValue == "Link") {
        Run.SaveGraphicsState();
        TPDFGraphicsState& GS = Run.GS;
        double Width = 1;
        if (TPDFObject* C = Annot->FindValueByKeyName("C", false); C != nullptr) {
            if (auto* A = ObjAs<TPDFArray>(Run.Resolve(C))) {
                const int32_t Count = A->GetCount();
                auto Item = [&](int32_t I) {
                    return TContentRun::Clamp01(NumberOr(Run, A->GetItem(I), 0));
                };
                TPDFRGBColor RGB{};
                bool Set = true;
                if (Count == 0) {
                    Width = 0;
                    Set = false;
                } else if (Count == 1) {
                    RGB.Red = RGB.Green = RGB.Blue = Item(0);
                } else if (Count == 3) {
                    RGB.Red = Item(0);
                    RGB.Green = Item(1);
                    RGB.Blue = Item(2);
                } else if (Count == 4) {
                    TPDFCMYKColor K{};
                    K.Cyan = Item(0);
                    K.Magenta = Item(1);
                    K.Yellow = Item(2);
                    K.Black = Item(3);
                    RGB = FColorManager->CMYK2RGB(K);
                } else {
                    Set = false;
                }
                if (Set) {
                    GS.StrokeColor = FColorManager->RGB2Color(RGB);
                    GS.StrokeColorEPS.clear();
                    AppendNumber(GS.StrokeColorEPS, RGB.Red);
                    AppendNumber(GS.StrokeColorEPS, RGB.Green);
                    AppendNumber(GS.StrokeColorEPS, RGB.Blue);
                    GS.StrokeColorEPS += "setrgbcolor";
                }
            }
        } else {
            GS.StrokeColor = 0;
            GS.StrokeColorEPS = "0 0 0 setrgbcolor";
        }
        bool HasDash = false;
        std::vector<double> Dash;
        if (auto* BS = ObjAs<TPDFDictionary>(Run.Resolve(Annot->FindValueByKeyName("BS", false)))) {
            if (auto* D = ObjAs<TPDFArray>(Run.Resolve(BS->FindValueByKeyName("D", false)))) {
                Dash = DashOf(Run, D);
                HasDash = true;
            }
            if (auto* W = ObjAs<TPDFNumeric>(Run.Resolve(BS->FindValueByKeyName("W", false))))
                Width = std::isfinite(W->AsDouble()) ? W->AsDouble() : Width;
        } else if (auto* B =
                       ObjAs<TPDFArray>(Run.Resolve(Annot->FindValueByKeyName("Border", false)))) {
            if (B->GetCount() > 2) Width = NumberOr(Run, B->GetItem(2), Width);
            if (B->GetCount() > 3) {
                if (auto* D = ObjAs<TPDFArray>(Run.Resolve(B->GetItem(3)))) {
                    Dash = DashOf(Run, D);
                    HasDash = true;
                } else {
                    Width = 0;
                }
            }
        }
        // A border is a line of a few units; a hostile width is no border.
        if (!(Width > 0) || Width > 1e4) Width = 0;
        GS.LineWidth = Width;
        if (HasDash) {
            GS.DashArray = Dash;
            GS.DashPhase = 0;
        }
        if (Run.EPS) {
            FEPS->PSSetColor(GS.StrokeColorEPS);
            RectanglePath(Run, Rect[0], Rect[1], Rect[2], Rect[3]);
            Run.Clip(false);
            Run.EndPath();
        } else {
            TPDFRenderCanvas* D = Device();
            Run.ApplyStrokeState();
            RectanglePath(Run, Rect[0], Rect[1], Rect[2], Rect[3]);
            // The border lies inside the rectangle: the stroke is clipped to
            // it.
            Run.Clip(true);
            if (Width != 0 && !GS.Degenerate && !Run.PathInvalid)
                D->StrokePath();
            else if (!GS.Degenerate)
                D->NullPath();
            Run.PathStarted = false;
            Run.PathInvalid = false;
        }
        Run.RestoreGraphicsState(true);
        return;
    }
    if (Subtype->FValue == "Stamp") {
        if (!StampPictureSource()) return;
        std::string Name = "Draft";
        if (auto* N = ObjAs<TPDFName>(Run.Resolve(Annot->FindValueByKeyName("Name", false))))
            Name = N->FValue;
        const std::string Content = StampPictureSource()(Name);
        if (Content.empty()) return;
        // The picture's box fits the rectangle upright, its aspect kept, at
        // the rectangle's lower left.
        const double Left = std::min(Rect[0], Rect[2]), Bottom = std::min(Rect[1], Rect[3]);
        const double W = std::fabs(Rect[2] - Rect[0]), H = std::fabs(Rect[3] - Rect[1]);
        const double Scale = std::min(W / kStampWidth, H / kStampHeight);
        if (!(Scale > 0) || !std::isfinite(Scale)) return;
        TPDFXForm Placed;
        if (!TContentRun::SafeMul({Scale, 0, 0, Scale, Left, Bottom}, CanvasMat, Placed)) return;
        Run.SaveGraphicsState();
        TPlacedContent Placing(*this, Placed, Run.Resources);
        TPDFString Picture(FStructure);
        Picture.FValue = Content;
        RenderContent(&Picture, {}, nullptr);
        Run.RestoreGraphicsState(true);
    }
}

}  // namespace velmo
