// The renderer's life cycle, targets, caches, look-ups and page geometry.
#include "render/Renderer.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "core/StringHelpers.h"
#include "document/PageServices.h"
#include "fonts/FontCollection.h"
#include "platform/gdi/DC.h"
#include "platform/metafile/MetafileReader.h"
#include "platform/metafile/MetafileRecorder.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "render/ContentRun.h"
#include "render/ImageList.h"

namespace velmo {

// ---------------------------------------------------------------------------
// Nesting guard

bool TPDFRenderNesting::Enter(const void* Key) {
    if (FDepth >= MaxDepth) return false;
    if (Key != nullptr && !FActive.insert(Key).second) return false;
    ++FDepth;
    return true;
}

void TPDFRenderNesting::Leave(const void* Key) {
    if (Key != nullptr) FActive.erase(Key);
    if (FDepth > 0) --FDepth;
}

// ---------------------------------------------------------------------------
// The device canvas behind the device-family operations.

namespace {

class TPicassoRenderCanvas : public TPDFRenderCanvas {
public:
    explicit TPicassoRenderCanvas(TPDFPicasso* P) : FP(P) {}
    void BeginPath() override { FP->BeginPath(); }
    void MoveTo(double X, double Y) override { FP->MoveTo(X, Y); }
    void AddLineToPath(double X, double Y) override { FP->AddLineToPath(X, Y); }
    void AddBezierToPath(double X1, double Y1, double X2, double Y2, double X3,
                         double Y3) override {
        FP->AddBezierToPath(X1, Y1, X2, Y2, X3, Y3);
    }
    void ClosePath() override { FP->ClosePath(); }
    void StrokePath() override { FP->StrokePath(); }
    void FillPath() override { FP->FillPath(); }
    void StrokeAndFillPath() override { FP->StrokeAndFillPath(); }
    void NullPath() override { FP->NullPath(); }
    void SetClippingPath(TPDFFillMode Mode) override { FP->SetClippingPath(Mode); }
    void FillClippingPath() override { FP->FillClippingPath(); }
    void SetFillColor(uint32_t C) override { FP->SetFillColor(C); }
    void SetStrokeColor(uint32_t C) override { FP->SetStrokeColor(C); }
    void SetFillAlpha(double A) override { FP->SetFillAlpha(A); }
    void SetStrokeAlpha(double A) override { FP->SetStrokeAlpha(A); }
    void SetFillMode(TPDFFillMode M) override { FP->SetFillMode(M); }
    void SetLineWidth(double W) override { FP->SetLineWidth(W); }
    void SetLineDash(const TGPDashArray& D, double Phase) override { FP->SetLineDash(D, Phase); }
    void SetLineCapStyle(int32_t S) override { FP->SetLineCapStyle(S); }
    void SetLineJoinStyle(int32_t S) override { FP->SetLineJoinStyle(S); }
    void SetMiterLimit(double L) override { FP->SetMiterLimit(L); }
    void SetCurrentXForm(const TPDFXForm& M) override { FP->SetCurrentXForm(M); }
    void SetFillPattern(const TVPLPattern* P, const TPDFXForm& M, bool ForShading) override {
        FP->SetFillPattern(P, M, ForShading);
    }
    void SetStrokePattern(const TVPLPattern* P, const TPDFXForm& M) override {
        FP->SetStrokePattern(P, M);
    }
    GpRegion* SaveClip() override { return FP->GetCurrentClipRegion(); }
    void RestoreClip(GpRegion* R) override {
        // No snapshot (a Q without its q, or no snapshot could be taken):
        // the clip stays as it is.
        if (R != nullptr) FP->SetClippingRegion(R);
    }

private:
    TPDFPicasso* FP;
};

TPDFXForm Mul(const TPDFXForm& A, const TPDFXForm& B) {
    TPDFXForm R;
    MultiplyXForm(R, A, B);
    return R;
}

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle

namespace {

// Fonts drawn directly hold objects of the canvas they were drawn on: they
// are freed before that canvas goes.
void ReleaseDirectFonts(TPDFFontCollectionBase* Col) {
    auto* Fonts = dynamic_cast<TPDFFontCollection*>(Col);
    if (Fonts == nullptr || !Fonts->FDirectFonts) return;
    for (size_t I = 0; I < Fonts->FontDataCount(); ++I)
        if (TPDFFontCollectionData* E = Fonts->FontData(I); E && E->Rasterizer)
            E->Rasterizer->ReleaseDirectFont();
}

}  // namespace

TPDFRenderer::TPDFRenderer(TPDFFontCollectionBase* FontCollection)
    : TPDFRendererBase(FontCollection),
      FMetafile(std::make_unique<TMetafile>()),
      FEPS(std::make_unique<TPDFEPSExport>()),
      FColorManager(std::make_unique<TPDFSimpleColorManager>()),
      FNesting(std::make_shared<TPDFRenderNesting>()) {
    FOwnedFunnel = NewTextFunnel();
    FFunnel = FOwnedFunnel.get();
    InitGDIPlusSettings(FGDIPlusSettings);
}

TPDFRenderer::~TPDFRenderer() {
    Picasso.reset();
    ClearCachedResources();
    FTotalImageCollectionSize = 0;
}

void TPDFRenderer::SetEPS(std::unique_ptr<TPDFEPSExport> Writer) {
    FEPS = Writer ? std::move(Writer) : std::make_unique<TPDFEPSExport>();
}

void TPDFRenderer::SetTextFunnel(TPDFTextFunnelBase* Value) {
    if (FFunnel == nullptr) return;
    if (!FExternalFunnel) FOwnedFunnel.reset();
    FFunnel = Value;
    FExternalFunnel = true;
}

void TPDFRenderer::ClearCachedResources() {
    FSeparationColors.clear();
    FLabColors.clear();
    FDeviceNColors.clear();
    FIndexedColors.clear();
    FImageCollection.clear();
    FPatternIndex.clear();
    FTileIndex.clear();
    FTileShapes.clear();
    FTileCachePixels = 0;
    FPatterns.clear();
    FColorSpaceByArray.clear();
}

// ---------------------------------------------------------------------------
// Caches

TPDFImageDecoderBase* TPDFRenderer::FindCachedImage(const TPDFStructure* Structure, int32_t ObjNum,
                                                    int32_t GenNum, int32_t DecodeMode) const {
    const int64_t Hash = int64_t(uint64_t(uint32_t(ObjNum)) << 32) + GenNum;
    for (const TPDFDecodedImage& E : FImageCollection)
        if (E.Structure == Structure && E.Hash == Hash && E.DecodeMode == DecodeMode)
            return E.ID.get();
    return nullptr;
}

void TPDFRenderer::TrimImageCache() {
    int64_t Total = 0;
    for (const TPDFDecodedImage& E : FImageCollection)
        if (E.ID) Total += E.ID->ImageDataSize();
    if (Total > 100000000 || FImageCollection.size() > 100) {
        FImageCollection.clear();
        Total = 0;
    }
    FTotalImageCollectionSize = uint32_t(std::min<int64_t>(Total, UINT32_MAX));
}

// ---------------------------------------------------------------------------
// Look-ups

TPDFObject* TPDFRenderer::FindObject(TPDFIndRef* Ref) {
    if (Ref == nullptr) return nullptr;
    if (OnFindObject) return OnFindObject(Ref);
    return Ref->Obj();
}

TPDFObject* TPDFRenderer::FindInheritedValue(TPDFDictionary* Dict, std::string_view Key) {
    std::unordered_set<const TPDFDictionary*> Seen;
    while (Dict != nullptr) {
        // A /Parent chain that comes back to a dictionary already seen ends
        // the look-up: the value counts as absent.
        if (!Seen.insert(Dict).second) return nullptr;
        TPDFObject* V = Dict->FindValueByKeyName(Key, false);
        if (auto* R = ObjAs<TPDFIndRef>(V)) V = FindObject(R);
        if (V != nullptr) return V;
        TPDFObject* P = Dict->FindValueByKeyName("Parent", false);
        if (auto* R = ObjAs<TPDFIndRef>(P)) P = FindObject(R);
        Dict = ObjAs<TPDFDictionary>(P);
    }
    return nullptr;
}

bool TPDFRenderer::GetPageBox(std::string_view Name, double& Left, double& Bottom, double& Right,
                              double& Top) {
    TPDFObject* V = FindInheritedValue(FPageDict, Name);
    if (V == nullptr) {
        if (Name == "CropBox") {
            V = FindInheritedValue(FPageDict, "MediaBox");
        } else if (Name != "MediaBox") {
            V = FindInheritedValue(FPageDict, "CropBox");
            if (V == nullptr) V = FindInheritedValue(FPageDict, "MediaBox");
        }
    }
    auto* A = ObjAs<TPDFArray>(V);
    if (A == nullptr || A->Count() < 4) return false;
    double Box[4];
    for (int32_t I = 0; I < A->Count(); ++I) {
        TPDFObject* It = A->GetItem(I);
        if (auto* R = ObjAs<TPDFIndRef>(It)) It = FindObject(R);
        auto* N = ObjAs<TPDFNumeric>(It);
        if (N == nullptr || !std::isfinite(N->FValue)) return false;
        if (I < 4) Box[I] = N->FValue;
    }
    Left = std::min(Box[0], Box[2]);
    Right = std::max(Box[0], Box[2]);
    Bottom = std::min(Box[1], Box[3]);
    Top = std::max(Box[1], Box[3]);
    return true;
}

int32_t TPDFRenderer::ObjectToID(const void* Item) {
    if (Item == nullptr) return 0;
    auto [It, Added] = FIntCastIndex.try_emplace(Item, int32_t(FIntCasts.size()));
    if (Added) FIntCasts.push_back(Item);
    return kIDBase + It->second;
}

const void* TPDFRenderer::IDToObject(int32_t ID) const {
    if ((ID & kIDBase) != kIDBase) return nullptr;
    const size_t Index = size_t(ID & 0x07FFFFFF);
    return Index < FIntCasts.size() ? FIntCasts[Index] : nullptr;
}

TPDFXForm TPDFRenderer::MakeXForm(double M11, double M12, double M21, double M22, double Dx,
                                  double Dy) {
    return TPDFXForm{M11, M12, M21, M22, Dx, Dy};
}

void TPDFRenderer::PointToDevice(const TPDFDoublePoint& P, TPDFDoublePoint& R) const {
    TransformPoint(CanvasMat, P, R);
}

void TPDFRenderer::AppendNumber(std::string& S, double Value) {
    S += FormatNumber(Value, 3);
    S += ' ';
}

TPDFRenderCanvas* TPDFRenderer::Device() {
    if (FCanvasRecorder != nullptr) return FCanvasRecorder;
    if (!FPicassoDevice && Picasso)
        FPicassoDevice = std::make_unique<TPicassoRenderCanvas>(Picasso.get());
    return FPicassoDevice.get();
}

// ---------------------------------------------------------------------------
// Device size

bool TPDFRenderer::DeviceSize(double W, double H, int32_t& PW, int32_t& PH) {
    const double FW = W * FDPI / 72, FH = H * FDPI / 72;
    if (!std::isfinite(FDPI) || FDPI < 0 || !std::isfinite(FW) || !std::isfinite(FH) || !(FW > 0) ||
        !(FH > 0)) {
        FailDevice("Invalid page size or resolution");
        return false;
    }
    double RW = std::nearbyint(FW), RH = std::nearbyint(FH);
    if (RW * 72 < W * FDPI) RW += 1;
    if (RH * 72 < H * FDPI) RH += 1;
    if (RW < 1) RW = 1;
    if (RH < 1) RH = 1;
    if (RW > kMaxDeviceSide || RH > kMaxDeviceSide || RW * RH > double(TBitmap::MaxPixels)) {
        FailDevice("Page too large to render at this resolution");
        return false;
    }
    PW = int32_t(RW);
    PH = int32_t(RH);
    return true;
}

void TPDFRenderer::FailDevice(const std::string& Reason) {
    FBitmap.SetSize(1, 1);
    RECT R;
    R.right = 1;
    R.bottom = 1;
    FBitmap.Canvas().Brush().Color = 0xFFFFFF;
    FBitmap.Canvas().Brush().Style = bsSolid;
    FBitmap.Canvas().FillRect(R);
    FMaxX = FMaxY = 1;
    FErrorDesc = Reason;
}

// ---------------------------------------------------------------------------
// Render

void TPDFRenderer::Render() {
    const bool Library = FDestination == rdKPLR || FDestination == rdKPLRBitmap ||
                         FDestination == rdKPLRPrinter || FDestination == rdKPLRMemory;
    if (Library && FKPLRFileName.empty()) return;
    // Another thread may read the bitmap only between renders.
    TCanvasLock Hold(FBitmap.Canvas());
    FUseInitialState = false;
    FDirectFonts.clear();
    FErrorDesc.clear();
    FColorManager->SetFixedGamma(FGDIPlusSettings.UseGammaCorrection);
    // The fonts learn whether this pass extracts text, and whether installed
    // fonts are drawn directly (once asked for, for good).
    if (auto* Fonts = dynamic_cast<TPDFFontCollection*>(FFontCol)) {
        Fonts->FUsingTextFunnel = FDestination == rdTextFunnel;
        if (FGDIPlusSettings.DirectFonts) Fonts->FDirectFonts = true;
    }
    if (FDPI == 0) FDPI = 1;
    if (!std::isfinite(FDPI) || FDPI < 0) {
        FailDevice("Invalid resolution");
        return;
    }

    // Page geometry.
    double L = 0, B = 0, R = 612, T = 792;
    double ML = 0, MB = 0, MR = 612, MT = 792;
    static constexpr std::string_view kBoxes[] = {"MediaBox", "CropBox", "BleedBox", "TrimBox",
                                                  "ArtBox"};
    const int32_t Sel = std::clamp(FCropType, 1, 5);
    GetPageBox(kBoxes[Sel - 1], L, B, R, T);
    GetPageBox("MediaBox", ML, MB, MR, MT);
    L = std::max(L, ML);
    B = std::max(B, MB);
    R = std::min(R, MR);
    T = std::min(T, MT);
    double W = R - L, H = T - B;
    if (W == 0) W = 1;
    if (H == 0) H = 1;
    int32_t Rot = 0;
    if (auto* N = ObjAs<TPDFNumeric>(FindInheritedValue(FPageDict, "Rotate"))) {
        const double V = std::nearbyint(N->FValue);
        if (std::isfinite(V) && std::fabs(V) < 1e9) Rot = int32_t(V);
    }
    Rot = (Rot / 90) % 4 * 90;
    if (Rot < 0) Rot += 360;
    if (Rot == 90 || Rot == 270) std::swap(W, H);
    CanvasMat = IdentityXForm;

    int32_t PW = 10, PH = 10;
    TCanvas* Canvas = nullptr;
    TVPLPrinter* Printer = nullptr;
    switch (FDestination) {
        case rdBitmap:
        case rdCairoBitmap:
        case rdKPLRBitmap:
            if (!DeviceSize(W, H, PW, PH)) return;
            FBitmap.SetSize(PW, PH);
            Canvas = &FBitmap.Canvas();
            break;
        case rdWMF:
        case rdEMF: {
            const double FW = std::nearbyint(W * FDPI / 72), FH = std::nearbyint(H * FDPI / 72);
            if (!std::isfinite(FW) || !std::isfinite(FH) || FW > kMaxDeviceSide ||
                FH > kMaxDeviceSide || FW < 0 || FH < 0) {
                FailDevice("Page too large to render at this resolution");
                return;
            }
            FMetafile->Clear();
            FMetafile->SetEnhanced(FDestination == rdEMF);
            FMetafile->SetSize(int32_t(FW), int32_t(FH));
            PW = FMetafile->Width();
            PH = FMetafile->Height();
            FMetafileCanvas = NewMetafileCanvas(FMetafile.get(), FBitmap.Canvas().Handle());
            break;
        }
        case rdPrinter:
        case rdKPLRPrinter:
            Printer = dynamic_cast<TVPLPrinter*>(FVPLPrinter);
            if (Printer == nullptr) return;  // no printing library yet
            Canvas = Printer->Canvas();
            PW = Printer->PageWidth();
            PH = Printer->PageHeight();
            FGDIPlusSettings.IsPrinting = true;
            // Each printed page records its own regions: those of an earlier
            // page would keep its elements off this page's first pass.
            if (FDestination == rdKPLRPrinter) FPrinterBBoxArray.clear();
            break;
        case rdTextFunnel:
            if (FFunnel) FFunnel->Clear();
            FDPI = 72;
            break;
        case rdEMFPlus:
        case rdDeviceContext:
        case rdHTML5:
        case rdCairo:
        case rdKPLR:
            if (!DeviceSize(W, H, PW, PH)) return;
            break;
        case rdKPLRMemory:
            FBitmap.SetSize(1, 1);
            PW = FKPLRMemoryWidth;
            PH = FKPLRMemoryHeight;
            break;
        case rdEPS:
        case rdImageList:
            break;
    }
    FMaxX = PW;
    FMaxY = PH;

    if (FDestination == rdEPS || FDestination == rdTextFunnel || FDestination == rdImageList) {
        // No device: the content is interpreted in page user space.
        FMaxX = int32_t(std::clamp(std::nearbyint(R), -2.0e9, 2.0e9)) + 1;
        FMaxY = int32_t(std::clamp(std::nearbyint(T), -2.0e9, 2.0e9)) + 1;
        CanvasMat = IdentityXForm;
        if (FDestination == rdEPS) FEPS->StartDocument(L, B, R, T);
        Picasso = std::make_unique<TPDFPicasso>();
        FPicassoDevice.reset();
        StartMatrix = CanvasMat;
        try {
            RenderContent(FPageDict, {}, nullptr);
        } catch (...) {
            FPicassoDevice.reset();
            Picasso.reset();
            throw;
        }
        FPicassoDevice.reset();
        Picasso.reset();
        if (FDestination == rdEPS) FEPS->FinishDocument();
        return;
    }

    // Clearing.
    if (Canvas != nullptr) {
        Canvas->Lock();
        Canvas->Brush().Color = 0xFFFFFF;
        Canvas->Brush().Style = bsSolid;
        RECT Rc;
        Rc.right = PW;
        Rc.bottom = PH;
        Canvas->FillRect(Rc);
        Canvas->Unlock();
    }
    if (FDestination == rdDeviceContext && FDeviceContextTarget != nullptr) {
        // The page draws only into its own rectangle of the caller's device.
        const int64_t X = FDeviceContextOffsetX, Y = FDeviceContextOffsetY;
        const int R2 = int(std::min<int64_t>(X + PW, INT32_MAX));
        const int B2 = int(std::min<int64_t>(Y + PH, INT32_MAX));
        IntersectClipRect(FDeviceContextTarget, int(X), int(Y), R2, B2);
        if (FDeviceContextErasePage)
            PatBlt(FDeviceContextTarget, int(X), int(Y), R2 - int(X), B2 - int(Y), WHITENESS);
    }
    if (FDestination == rdDeviceContext)
        CanvasMat =
            Mul(MakeXForm(1, 0, 0, 1, FDeviceContextOffsetX, FDeviceContextOffsetY), CanvasMat);

    // Device matrix.
    if (FDestination == rdPrinter || FDestination == rdKPLRPrinter) {
        double OffX = Printer->PrintOffsetX(), OffY = Printer->PrintOffsetY();
        if (Printer->HasPreview()) CanvasMat = Mul(MakeXForm(1, 0, 0, 1, OffX, OffY), CanvasMat);
        if (FPrintOptions.PageScaling != psNone) {
            OffX = OffY = 0;
        } else {
            PW = Printer->FullPageWidth();
            PH = Printer->FullPageHeight();
        }
        if (FPrintOptions.AutoRotateCenter && ((W > H && PW < PH) || (W < H && PW > PH))) {
            Rot = FPrintOptions.AutoRotateCenter180 ? (Rot - 90) % 360 : (Rot + 90) % 360;
            if (Rot < 0) Rot += 360;
            std::swap(W, H);
        }
        CanvasMat = Mul(MakeXForm(1, 0, 0, 1, -OffX, -OffY), CanvasMat);
        CanvasMat = Mul(MakeXForm(FDPI / 72, 0, 0, -FDPI / 72, 0, 0), CanvasMat);
        double S = 1;
        if (FPrintOptions.PageScaling != psNone) {
            S = std::min(PW * 72 / FDPI / W, PH * 72 / FDPI / H);
            if (FPrintOptions.PageScaling == psShrinkLargePages && S > 1) S = 1;
            if (!std::isfinite(S) || S <= 0) S = 1;
        }
        if (S != 1) CanvasMat = Mul(MakeXForm(S, 0, 0, S, 0, 0), CanvasMat);
        CanvasMat = Mul(MakeXForm(1, 0, 0, 1, 0, -H), CanvasMat);
        if (FPrintOptions.AutoRotateCenter) {
            const double OX = (W * S - PW * 72 / FDPI) / 2, OY = (H * S - PH * 72 / FDPI) / 2;
            CanvasMat = Mul(MakeXForm(1, 0, 0, 1, -OX / S, OY / S), CanvasMat);
        }
    } else {
        // The box's top edge lands on the device's top edge: a page whose
        // height is no whole number of pixels has its part pixel at the
        // bottom, not its content pushed down by it.
        const double Top = FDestination == rdKPLRMemory ? double(PH) : H * FDPI / 72;
        CanvasMat = Mul(MakeXForm(FDPI / 72, 0, 0, -FDPI / 72, 0, Top), CanvasMat);
    }
    TPDFXForm RotM = IdentityXForm;
    switch (Rot) {
        case 90:
            RotM = MakeXForm(0, -1, 1, 0, 0, H);
            break;
        case 180:
            RotM = MakeXForm(-1, 0, 0, -1, W, H);
            break;
        case 270:
            RotM = MakeXForm(0, 1, -1, 0, W, 0);
            break;
        default:
            break;
    }
    CanvasMat = Mul(RotM, CanvasMat);
    CanvasMat = Mul(MakeXForm(1, 0, 0, 1, -L, -B), CanvasMat);
    RenderDevice(Canvas, PW, PH, H);
    if (FDestination == rdKPLRPrinter) PrinterSecondPass(Canvas, H);
}

void TPDFRenderer::RenderDevice(TCanvas* Canvas, int32_t PW, int32_t PH, double PageHeight) {
    // The previous page's library is gone: so are the masks it called.
    FLibrarySoftmasks.clear();
    Picasso = std::make_unique<TPDFPicasso>();
    FPicassoDevice.reset();
    struct TDrop {
        TPDFRenderer* R;
        ~TDrop() {
            ReleaseDirectFonts(R->FFontCol);
            R->FPicassoDevice.reset();
            R->Picasso.reset();
            // Freeing the metafile canvas completes the metafile.
            R->FMetafileCanvas.reset();
        }
    } Drop{this};
    Picasso->SetPathCombineMode(FGDIPlusSettings.PathCombineMode);
    Picasso->SetPageHeight(PageHeight);
    if (FDestination == rdEMFPlus && FEMFPlusTarget != nullptr)
        Picasso->SetupMetafile(PW, PH, *FEMFPlusTarget);
    if (FDestination == rdDeviceContext) Picasso->SetupDeviceContext(PW, PH, FDeviceContextTarget);
    switch (FDestination) {
        case rdHTML5:
            Picasso->UseHTML5Model(FHTML5Target);
            break;
        case rdCairo:
            Picasso->UseCairoModel(FCairoTarget, FCairoFileName, FCairoErasePage);
            break;
        case rdCairoBitmap:
            Picasso->UseCairoModel(FBitmap.Canvas().Handle(), FCairoFileName, FCairoErasePage);
            break;
        case rdKPLR:
            Picasso->UseRendererModel(FKPLRTarget, FKPLRFileName, FKPLRErasePage);
            break;
        case rdKPLRBitmap:
            Picasso->UseRendererModel(FBitmap.Canvas().Handle(), FKPLRFileName, FKPLRErasePage);
            break;
        case rdKPLRMemory:
            Picasso->UseRendererModelMemory(FKPLRMemoryWidth, FKPLRMemoryHeight, FKPLRFileName);
            break;
        case rdWMF:
        case rdEMF:
            // The metafile canvas comes with the metafile library; until then
            // it has no canvas and nothing is drawn.
            if (FMetafileCanvas && FMetafileCanvas->Canvas() != nullptr) {
                if (FGDIPlusSettings.UseGDIPlus)
                    Picasso->UseGDIPlusModel(FMetafileCanvas->Canvas(), FGDIPlusSettings);
                else
                    Picasso->UseGDIModel(FMetafileCanvas->Canvas());
            }
            break;
        default:
            if (Canvas == nullptr && FDestination != rdEMFPlus && FDestination != rdDeviceContext)
                break;
            if (FGDIPlusSettings.UseGDIPlus)
                Picasso->UseGDIPlusModel(Canvas, FGDIPlusSettings);
            else
                Picasso->UseGDIModel(Canvas);
            break;
    }
    if (FDestination == rdDeviceContext && !FClipBBoxArray.empty()) {
        TPDFRenderCanvas* D = Device();
        D->BeginPath();
        for (const TKPLRPrinterBBox& Bx : FClipBBoxArray) {
            D->MoveTo(Bx.Left, Bx.Top);
            D->AddLineToPath(Bx.Left, Bx.Bottom);
            D->AddLineToPath(Bx.Right, Bx.Bottom);
            D->AddLineToPath(Bx.Right, Bx.Top);
        }
        D->ClosePath();
        D->SetClippingPath(pfWinding);
        D->NullPath();
    }
    if (FDestination == rdKPLR || FDestination == rdKPLRBitmap || FDestination == rdKPLRMemory) {
        // The library starts clipped to the initial clip rectangles, or to
        // the page, in device pixels.
        Picasso->SetCurrentXForm(IdentityXForm);
        Picasso->SetPageMatrix(IdentityXForm);
        TKorbexPDFLibraryKPLR* L = Picasso->RendererDLL();
        if (!FClipBBoxArray.empty() && L != nullptr && Picasso->Model() == pmKPLR) {
            PKPLR_renderer_t H = Picasso->RendererHandle();
            L->KPLR_set_fill_rule(H, KPLR_FILL_RULE_WINDING);
            L->KPLR_new_path(H);
            for (const TKPLRPrinterBBox& Bx : FClipBBoxArray) {
                L->KPLR_move_to(H, Bx.Left, Bx.Top);
                L->KPLR_line_to(H, Bx.Right, Bx.Top);
                L->KPLR_line_to(H, Bx.Right, Bx.Bottom);
                L->KPLR_line_to(H, Bx.Left, Bx.Bottom);
                L->KPLR_close_path(H);
            }
            L->KPLR_set_bin_clip(H);
        } else {
            Picasso->SetFillMode(pfWinding);
            Picasso->BeginPath();
            Picasso->MoveTo(0, 0);
            Picasso->AddLineToPath(0, PH);
            Picasso->AddLineToPath(PW, PH);
            Picasso->AddLineToPath(PW, 0);
            Picasso->ClosePath();
            Picasso->SetClippingPath(pfWinding);
        }
        Picasso->NullPath();
        CanvasMat.eDx -= FKPLROffsetX;
        CanvasMat.eDy -= FKPLROffsetY;
        Picasso->SetPageMatrix(CanvasMat);
        FPageMatrix = CanvasMat;
    }
    Picasso->SetCurrentXForm(CanvasMat);
    StartMatrix = CanvasMat;
    ResetMaskImages(FPageDict, nullptr);
    RenderContent(FPageDict, {}, nullptr);
    switch (FDestination) {
        case rdKPLR:
            Picasso->FinishKPLR(FKPLRTarget);
            break;
        case rdKPLRBitmap:
            Picasso->FinishKPLR(FBitmap.Canvas().Handle());
            break;
        case rdKPLRMemory:
            Picasso->FinishKPLRMemory(FKPLRMemoryTarget, FKPLRMemoryWidth, FKPLRMemoryHeight,
                                      FKPLRMemoryBitsPerPixel);
            break;
        case rdHTML5:
            Picasso->FinishHTML5(PW, PH);
            break;
        default:
            break;
    }
}

void TPDFRenderer::RenderSource(TPDFObject* Source, TPDFIndRef* ContainerIR, double PageLeft,
                                double PageBottom, double PageWidth, double PageHeight) {
    TCanvasLock Hold(FBitmap.Canvas());
    FUseInitialState = false;
    FDirectFonts.clear();
    FErrorDesc.clear();
    if (FDPI == 0) FDPI = 1;
    CanvasMat = IdentityXForm;
    if (!std::isfinite(PageWidth) || !std::isfinite(PageHeight) || !std::isfinite(PageLeft) ||
        !std::isfinite(PageBottom) || !(std::fabs(PageWidth) > 0) || !(std::fabs(PageHeight) > 0)) {
        FailDevice("Empty source rectangle");
        return;
    }
    int32_t PW = 10, PH = 10;
    TCanvas* Canvas = nullptr;
    if (FDestination == rdBitmap) {
        if (!DeviceSize(std::fabs(PageWidth), std::fabs(PageHeight), PW, PH)) return;
        FBitmap.SetSize(PW, PH);
        Canvas = &FBitmap.Canvas();
    } else if (FDestination == rdEMFPlus) {
        if (!DeviceSize(std::fabs(PageWidth), std::fabs(PageHeight), PW, PH)) return;
    } else {
        return;  // the other destinations are not drawn from a source
    }
    if (Canvas != nullptr && FHasSourceBackground) {
        Canvas->Brush().Color = FSourceBackground;
        Canvas->Brush().Style = bsSolid;
        RECT Rc;
        Rc.right = PW;
        Rc.bottom = PH;
        Canvas->FillRect(Rc);
    }
    FMaxX = PW;
    FMaxY = PH;
    CanvasMat = Mul(MakeXForm(1, 0, 0, 1, -PageLeft, -PageBottom),
                    MakeXForm(PW / PageWidth, 0, 0, -PH / PageHeight, 0, PH));
    Picasso = std::make_unique<TPDFPicasso>();
    FPicassoDevice.reset();
    struct TDrop {
        TPDFRenderer* R;
        ~TDrop() {
            ReleaseDirectFonts(R->FFontCol);
            R->FPicassoDevice.reset();
            R->Picasso.reset();
        }
    } Drop{this};
    Picasso->SetPageHeight(PageHeight);
    if (FDestination == rdEMFPlus && FEMFPlusTarget != nullptr)
        Picasso->SetupMetafile(PW, PH, *FEMFPlusTarget);
    if (Canvas != nullptr || FDestination == rdEMFPlus) {
        if (FGDIPlusSettings.UseGDIPlus)
            Picasso->UseGDIPlusModel(Canvas, FGDIPlusSettings);
        else
            Picasso->UseGDIModel(Canvas);
    }
    Picasso->SetCurrentXForm(CanvasMat);
    StartMatrix = CanvasMat;
    if (FCellColored) {
        FInitialState = TPDFGraphicsState();
        FInitialState.FillColor = FInitialState.StrokeColor = FCellColor;
        FUseInitialState = true;
    }
    ResetMaskImages(Source, ContainerIR);
    RenderContent(Source, {}, ContainerIR);
}

void TPDFRenderer::ShareWithSecond(TPDFRenderer& Second) const {
    Second.FGDIPlusSettings = FGDIPlusSettings;
    Second.OnFindObject = OnFindObject;
    Second.OnDecrypt = OnDecrypt;
    Second.OnEncrypt = OnEncrypt;
    Second.FNesting = FNesting;
    Second.FOCGStateList = FOCGStateList;
    Second.FNoMaskImages = FNoMaskImages;
}

bool TPDFRenderer::RenderGroupBitmap(TContentRun& Run, TPDFStream* G, TPDFIndRef* Ref,
                                     const TPDFXForm& Mat, const double* Box, TColor Background,
                                     TBitmap& Out) {
    return RenderSecondOnBitmap(G, Ref, Run.Resources, Mat, Box, Background, false, nullptr, Out);
}

bool TPDFRenderer::RenderSecondOnBitmap(TPDFObject* Source, TPDFIndRef* Ref,
                                        TPDFDictionary* Parent, const TPDFXForm& Mat,
                                        const double* Box, TColor Background,
                                        bool ForceBitmapModel, std::vector<TMaskImage>* Sink,
                                        TBitmap& Out) {
    if (FMaxX <= 0 || FMaxY <= 0) return false;
    TPDFRenderer Second(FFontCol);
    // A group that sets its own mask again ends instead of recursing.
    ShareWithSecond(Second);
    if (ForceBitmapModel) Second.FGDIPlusSettings.UseGDIPlus = true;
    if (Sink != nullptr) {
        // Drawing this render again from its start, while the contents that
        // lead to this point are still being interpreted: the pass has a
        // guard of its own. It cannot repeat itself: neither it nor any
        // renderer under it makes such a pass.
        Second.FNesting = std::make_shared<TPDFRenderNesting>();
        Second.FNoMaskImages = true;
        // The images may take the pixels of a few pages, no more.
        Second.FMaskImageSink = Sink;
        Second.FMaskImageBudget = 4 * int64_t(FMaxX) * FMaxY;
    }
    if (FCellColored && Sink != nullptr) {
        // Drawing this render again: an uncoloured cell in its colour.
        Second.FCellColored = true;
        Second.FCellColor = FCellColor;
        Second.FInitialState = TPDFGraphicsState();
        Second.FInitialState.FillColor = Second.FInitialState.StrokeColor = FCellColor;
        Second.FUseInitialState = true;
    }
    Second.FDPI = FDPI;
    Second.FDestination = rdBitmap;
    Second.FPageDict = FPageDict;
    Second.FMaxX = FMaxX;
    Second.FMaxY = FMaxY;
    Second.FBitmap.SetSize(FMaxX, FMaxY);
    {
        TCanvas& C = Second.FBitmap.Canvas();
        C.Brush().Color = Background;
        C.Brush().Style = bsSolid;
        RECT Rc;
        Rc.right = FMaxX;
        Rc.bottom = FMaxY;
        C.FillRect(Rc);
    }
    Second.Picasso = std::make_unique<TPDFPicasso>();
    struct TDrop {
        TPDFRenderer* R;
        ~TDrop() {
            ReleaseDirectFonts(R->FFontCol);
            R->FPicassoDevice.reset();
            R->Picasso.reset();
        }
    } Drop{&Second};
    if (Second.FGDIPlusSettings.UseGDIPlus)
        Second.Picasso->UseGDIPlusModel(&Second.FBitmap.Canvas(), Second.FGDIPlusSettings);
    else
        Second.Picasso->UseGDIModel(&Second.FBitmap.Canvas());
    if (Picasso) Second.Picasso->SetPageHeight(Picasso->PageHeight());
    Second.CanvasMat = Mat;
    Second.StartMatrix = Mat;
    Second.Picasso->SetCurrentXForm(Mat);
    Second.ParentResources = Parent;
    if (Box != nullptr) {
        TPDFRenderCanvas* D = Second.Device();
        TPDFDoublePoint P[4], Q;
        P[0] = {Box[0], Box[1]};
        P[1] = {Box[0], Box[3]};
        P[2] = {Box[2], Box[3]};
        P[3] = {Box[2], Box[1]};
        D->BeginPath();
        for (int K = 0; K < 4; ++K) {
            TransformPoint(Mat, P[K], Q);
            if (!std::isfinite(Q.X) || !std::isfinite(Q.Y)) return false;
            K == 0 ? D->MoveTo(Q.X, Q.Y) : D->AddLineToPath(Q.X, Q.Y);
        }
        D->ClosePath();
        D->SetClippingPath(pfWinding);
        D->NullPath();
    }
    Second.RenderContent(Source, {}, Ref);
    if (FErrorDesc.empty() && !Second.FErrorDesc.empty()) FErrorDesc = Second.FErrorDesc;
    ReleaseDirectFonts(FFontCol);
    Second.FPicassoDevice.reset();
    Second.Picasso.reset();
    Out.Assign(Second.FBitmap);
    return true;
}

void TPDFRenderer::RenderSourceToBitmap(TPDFObject* Source, TPDFIndRef* ContainerIR,
                                        double PageLeft, double PageBottom, double PageWidth,
                                        double PageHeight, double& Scale, const TColor* CellColor,
                                        const TColor* Background, TBitmap& Out) {
    TPDFRenderer Second(FFontCol);
    if (CellColor != nullptr) {
        Second.FCellColored = true;
        Second.FCellColor = *CellColor;
    }
    if (Background != nullptr) {
        Second.FHasSourceBackground = true;
        Second.FSourceBackground = *Background;
    }
    // A cell that draws itself ends instead of recursing.
    ShareWithSecond(Second);
    const double Dpi = FDPI == 0 ? 1 : FDPI;
    double D = Dpi;
    const double AW = std::fabs(PageWidth), AH = std::fabs(PageHeight);
    if (AW * D / 72 < 10 && AH * D / 72 < 10) D = 10 * D;
    const double PWpx = AW * D / 72, PHpx = AH * D / 72;
    const double Dx = PWpx > 3000 ? 3000 / PWpx * Dpi : D;
    const double Dy = PHpx > 3000 ? Dpi * 3000 / PHpx : D;
    D = std::min(Dx, Dy);
    Scale = Dpi / D;
    Second.FDPI = D;
    Second.FDestination = rdBitmap;
    Second.FPageDict = FPageDict;
    Second.RenderSource(Source, ContainerIR, PageLeft, PageBottom, PageWidth, PageHeight);
    if (FErrorDesc.empty() && !Second.FErrorDesc.empty()) FErrorDesc = Second.FErrorDesc;
    Out.Assign(Second.FBitmap);
}

void TPDFRenderer::RenderSourceToStream(TPDFObject* Source, TPDFIndRef* ContainerIR,
                                        TStream& Stream, double PageLeft, double PageBottom,
                                        double PageWidth, double PageHeight, double& Scale,
                                        const TColor* CellColor) {
    TBitmap Cell;
    RenderSourceToBitmap(Source, ContainerIR, PageLeft, PageBottom, PageWidth, PageHeight, Scale,
                         CellColor, nullptr, Cell);
    Cell.SaveToStream(Stream);
    Stream.Seek(0, soBeginning);
}

void TMetafile::SaveToStream(TStream& Target) const {
    if (FData.empty()) return;
    if (FEnhanced) {
        Target.WriteBuffer(FData.data(), int64_t(FData.size()));
        return;
    }
    const std::string Wmf = metafile::EmfToWmf(FData, FWidth, FHeight);
    if (!Wmf.empty()) Target.WriteBuffer(Wmf.data(), int64_t(Wmf.size()));
}

bool TMetafile::LoadFromStream(TStream& Source) {
    Clear();
    const int64_t Left = Source.Size() - Source.Position();
    if (Left <= 0 || Left > (int64_t(1) << 30)) return false;
    std::string Bytes(size_t(Left), '\0');
    Source.ReadBuffer(Bytes.data(), Left);
    if (!metafile::ValidateMetafile(Bytes)) return false;
    metafile::TMetafileInfo Info;
    if (!metafile::ReadMetafileInfo(Bytes, Info)) return false;
    FWidth = Info.WidthPixels;
    FHeight = Info.HeightPixels;
    FEnhanced = Info.Kind != metafile::TMetafileKind::Wmf;
    if (FEnhanced) FData = std::move(Bytes);
    // A WMF keeps its size and kind; its records are not converted back.
    return true;
}

TMetafileCanvas::TMetafileCanvas(TMetafile* Metafile, HDC ReferenceDevice)
    : FMetafile(Metafile), FReferenceDevice(ReferenceDevice) {
    if (!FMetafile || FMetafile->Width() <= 0 || FMetafile->Height() <= 0) return;
    metafile::InstallMetafileRecording();
    FPage = std::make_unique<TBitmap>(FMetafile->Width(), FMetafile->Height(), pf24bit);
    TCanvas& C = FPage->Canvas();
    {
        TCanvasLock Lock(C);
        C.Brush().Color = clWhite;
        C.Brush().Style = bsSolid;
        C.FillRect(RECT{0, 0, FPage->Width(), FPage->Height()});
    }
    FDc = C.Handle();
    if (FDc == nullptr) return;
    FRecorder = std::make_shared<metafile::TEmfRecorder>(FPage->Width(), FPage->Height());
    SetDcRecorder(FDc, FRecorder);
}

TMetafileCanvas::~TMetafileCanvas() {
    auto* Recorder = dynamic_cast<metafile::TEmfRecorder*>(FRecorder.get());
    if (FDc) SetDcRecorder(FDc, nullptr);
    if (Recorder && FMetafile) FMetafile->SetData(Recorder->Finish());
}

TCanvas* TMetafileCanvas::Canvas() { return FRecorder ? &FPage->Canvas() : nullptr; }

void TPDFRenderer::SaveMetafileToStream(TStream& Target) {
    if (FMetafile) FMetafile->SaveToStream(Target);
}

TMetafileCanvasFactory& MetafileCanvasFactory() {
    static TMetafileCanvasFactory F;
    return F;
}

std::unique_ptr<TMetafileCanvas> NewMetafileCanvas(TMetafile* Metafile, HDC ReferenceDevice) {
    if (const auto& F = MetafileCanvasFactory()) return F(Metafile, ReferenceDevice);
    return std::make_unique<TMetafileCanvas>(Metafile, ReferenceDevice);
}

void InstallRendererServices() {
    // The device canvas draws through the GDI+ facade; a table a test put
    // under that name first is kept.
    RegisterGdiPlusModule();
    // Pages rendered get collections that analyse their fonts.
    InstallFontCollectionServices();
    PageServiceFactories().NewImageList = []() -> std::unique_ptr<TPDFImageListBase> {
        return std::make_unique<TPDFImageList>();
    };
    PageServiceFactories().NewRenderer =
        [](TPDFFontCollectionBase* FontCollection) -> std::unique_ptr<TPDFRendererBase> {
        return std::make_unique<TPDFRenderer>(FontCollection);
    };
}

}  // namespace velmo
