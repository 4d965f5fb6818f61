// Transparency groups and pattern cells on the two run-time libraries: form
// groups composed through cairo layers or through groups of the renderer
// library, the renderer library's tiling cells, and its soft-mask groups.
#include <cmath>

#include "render/ContentRun.h"

namespace velmo {

namespace {

// The largest tile side the renderer library is given, in pixels.
constexpr double kMaxTileSide = 4096;

bool BoolEntry(TPDFRenderer::TContentRun& Run, TPDFDictionary* D, std::string_view Key) {
    auto* B = ObjAs<TPDFBoolean>(Run.Resolve(D->FindValueByKeyName(Key, false)));
    return B != nullptr && B->AsBoolean();
}

}  // namespace

TPDFRenderer::TFormGroup TPDFRenderer::ReadFormGroup(TContentRun& Run, TPDFDictionary* FormDict) {
    TFormGroup G;
    auto* D = FormDict != nullptr
                  ? ObjAs<TPDFDictionary>(Run.Resolve(FormDict->FindValueByKeyName("Group", false)))
                  : nullptr;
    if (D == nullptr) return G;
    G.Present = true;
    G.Transparency = D->StringValue("S") == "Transparency";
    G.Isolated = BoolEntry(Run, D, "I");
    G.Knockout = BoolEntry(Run, D, "K");
    return G;
}

// ---------------------------------------------------------------------------
// cairo

void TPDFRenderer::RenderCairoGroup(TContentRun& Run, TPDFStream* Form, TPDFIndRef* ContainerIR,
                                    const TFormGroup& Group) {
    TPDFPicasso* P = Picasso.get();
    if (P == nullptr || P->Model() != pmCairo || !(Group.Knockout || Group.Isolated)) {
        RenderContent(Form, {}, ContainerIR);
        return;
    }
    // Layers are removed however the interpretation ends.
    struct TLayer {
        TPDFPicasso* P;
        cairo_surface_t* S = nullptr;
        cairo_t* C = nullptr;
        ~TLayer() { P->RemoveCairoSurface(S, C); }
    };
    cairo_surface_t* PageS = P->CairoSurface();
    cairo_t* PageC = P->CairoHandle();
    TPDFGraphicsState Start = FInitialState;
    Start.Knockout = false;
    if (Group.Knockout) {
        TLayer Backdrop{P}, Punch{P};
        P->NewCairoSurface(PageS, Backdrop.S, PageC, Backdrop.C, false);
        P->SelectCairoSurface(PageS, PageC);
        P->NewCairoSurface(PageS, Punch.S, PageC, Punch.C, true);
        P->SelectCairoSurface(PageS, PageC);
        if (Backdrop.S == nullptr || Punch.S == nullptr) {
            RenderContent(Form, {}, ContainerIR);
            return;
        }
        struct TCancel {
            TPDFPicasso* P;
            cairo_surface_t* S;
            cairo_t* C;
            ~TCancel() { P->CancelCairoBackdrop(S, C); }
        } Cancel{P, PageS, PageC};
        P->SetCairoBackdrop(Punch.S, Backdrop.S, Punch.C, Backdrop.C, Group.Isolated);
        FInitialState = Start;
        FUseInitialState = true;
        RenderContent(Form, {}, ContainerIR);
        // The punch layer goes first.
        return;
    }
    // Declared so that the colour layer goes first.
    TLayer Coverage{P}, Colour{P};
    struct TSelect {
        TPDFPicasso* P;
        cairo_surface_t* S;
        cairo_t* C;
        ~TSelect() { P->SelectCairoSurface(S, C); }
    } Select{P, PageS, PageC};
    P->NewCairoSurface(PageS, Coverage.S, PageC, Coverage.C, true);
    if (Coverage.S == nullptr) {
        RenderContent(Form, {}, ContainerIR);
        return;
    }
    FInitialState = Start;
    FUseInitialState = true;
    RenderContent(Form, {}, ContainerIR);
    P->SelectCairoSurface(PageS, PageC);
    P->NewCairoSurface(PageS, Colour.S, PageC, Colour.C, false);
    if (Colour.S == nullptr) return;
    FInitialState = Start;
    FUseInitialState = true;
    RenderContent(Form, {}, ContainerIR);
    P->SelectCairoSurface(PageS, PageC);
    P->DrawIsolatedCairoSurface(Coverage.S, Colour.S);
}

// ---------------------------------------------------------------------------
// The renderer library

void TPDFRenderer::RenderLibraryForm(TContentRun& Run, TPDFStream* Form, TPDFIndRef* ContainerIR,
                                     const TFormGroup& Group) {
    TKorbexPDFLibraryKPLR* L = Run.LibraryDLL();
    if (L == nullptr) return;
    TPDFPicasso* P = Picasso.get();
    const PKPLR_renderer_t Handle = P->RendererHandle();
    // Nothing of a form shows outside an empty clip.
    if (L->KPLR_has_clip(Handle) == 0) return;
    const TPDFXForm SavedPageMatrix = FPageMatrix;
    struct TPutBack {
        TPDFRenderer& R;
        TPDFPicasso* P;
        PKPLR_renderer_t H;
        TPDFXForm M;
        ~TPutBack() {
            P->SetRendererHandle(H);
            R.FPageMatrix = M;
            P->SetPageMatrix(M);
        }
    } PutBack{*this, P, Handle, SavedPageMatrix};
    TPDFGraphicsState& GS = Run.GS;
    const bool Composed =
        Group.Present && Group.Transparency &&
        (GS.FillAlpha < 1 || GS.StrokeAlpha < 1 || GS.BlendMode != bmNormal ||
         L->KPLR_renderer_has_softmask(Handle) == 1 || Group.Knockout || Group.Isolated);
    if (!Composed) {
        FPageMatrix = CanvasMat;
        P->SetPageMatrix(CanvasMat);
        RenderContent(Form, {}, ContainerIR);
        return;
    }
    const double FillAlpha = GS.FillAlpha, StrokeAlpha = GS.StrokeAlpha;
    const TPDFBlendMode Blend = GS.BlendMode;
    GS.FillAlpha = GS.StrokeAlpha = 1;
    GS.BlendMode = bmNormal;
    const PKPLR_renderer_t G = L->KPLR_renderer_group_create(Handle, Group.Transparency ? 1 : 0,
                                                             Group.Knockout ? 1 : 0,
                                                             Group.Isolated ? 1 : 0);
    if (G != nullptr) {
        L->KPLR_renderer_clear_softmask(G);
        P->SetRendererHandle(G);
        FPageMatrix = CanvasMat;
        P->SetPageMatrix(CanvasMat);
        FInitialState = GS;
        FUseInitialState = true;
        struct TDestroy {
            TKorbexPDFLibraryKPLR* L;
            PKPLR_renderer_t G;
            ~TDestroy() { L->KPLR_renderer_destroy(G); }
        } Destroy{L, G};
        RenderContent(Form, {}, ContainerIR);
        L->KPLR_renderer_blend_group(G, FillAlpha, TKorbexPDFLibraryKPLR::GetBlendMode(Blend));
    }
    GS.FillAlpha = FillAlpha;
    GS.StrokeAlpha = StrokeAlpha;
    GS.BlendMode = Blend;
}

void TPDFRenderer::RenderLibraryPatternTile(TContentRun& Run, const TVPLPattern* Pattern,
                                            std::string_view Name) {
    TKorbexPDFLibraryKPLR* L = Run.LibraryDLL();
    if (L == nullptr || Pattern == nullptr || Pattern->FPatternType != ptColorTile) return;
    auto* Patterns = Run.SubDict(Run.Resources, "Pattern");
    if (Patterns == nullptr || Name.size() < 2) return;
    TPDFObject* Entry = Patterns->FindValueByKeyName(Name.substr(1), false);
    TPDFIndRef* Ref = ObjAs<TPDFIndRef>(Entry);
    auto* Cell = ObjAs<TPDFStream>(Run.Resolve(Entry));
    if (Cell == nullptr) return;
    // The cache owns the digest; the tile is part of it.
    auto& Tile = const_cast<TVPLPattern&>(*Pattern);

    // The cell's box in device pixels, its corner moved to the origin.
    TPDFXForm M;
    MultiplyXForm(M, Pattern->FMatrix, FPageMatrix);
    const double X0 = std::min(Tile.GetBBox(0), Tile.GetBBox(2));
    const double X1 = std::max(Tile.GetBBox(0), Tile.GetBBox(2));
    const double Y0 = std::min(Tile.GetBBox(1), Tile.GetBBox(3));
    const double Y1 = std::max(Tile.GetBBox(1), Tile.GetBBox(3));
    double MinX = INFINITY, MinY = INFINITY, MaxX = -INFINITY, MaxY = -INFINITY;
    for (const TPDFDoublePoint C : {TPDFDoublePoint{X0, Y0}, TPDFDoublePoint{X1, Y0},
                                    TPDFDoublePoint{X1, Y1}, TPDFDoublePoint{X0, Y1}}) {
        TPDFDoublePoint D;
        TransformPoint(M, C, D);
        MinX = std::min(MinX, D.X), MaxX = std::max(MaxX, D.X);
        MinY = std::min(MinY, D.Y), MaxY = std::max(MaxY, D.Y);
    }
    const double W = std::ceil(MaxX - MinX), H = std::ceil(MaxY - MinY);
    // A cell of no size, or one larger than the cap, paints nothing: the
    // buffer would be empty or unbounded.
    if (!(W >= 1 && H >= 1 && W <= kMaxTileSide && H <= kMaxTileSide)) {
        Tile.FPDFPatternType = ptNone;
        return;
    }
    M.eDx -= MinX;
    M.eDy -= MinY;
    std::vector<uint8_t> Buffer(size_t(W) * size_t(H) * 4);
    const PKPLR_renderer_t TileHandle = L->KPLR_renderer_tile_create(int32_t(W), int32_t(H));
    if (TileHandle == nullptr) {
        Tile.FPDFPatternType = ptNone;
        return;
    }
    TPDFPicasso* P = Picasso.get();
    const PKPLR_renderer_t Handle = P->RendererHandle();
    const TPDFXForm SavedCanvas = CanvasMat;
    Run.States.push_back(Run.GS);
    struct TPutBack {
        TPDFRenderer& R;
        TContentRun& Run;
        TKorbexPDFLibraryKPLR* L;
        PKPLR_renderer_t Handle, TileHandle;
        TPDFXForm Canvas;
        ~TPutBack() {
            R.Picasso->SetRendererHandle(Handle);
            Run.GS = std::move(Run.States.back());
            Run.States.pop_back();
            R.CanvasMat = Canvas;
            R.Picasso->SetCurrentXForm(Canvas);
            L->KPLR_renderer_destroy(TileHandle);
        }
    } PutBack{*this, Run, L, Handle, TileHandle, SavedCanvas};
    P->SetRendererHandle(TileHandle);
    TPDFGraphicsState& S = FInitialState;
    S = Run.GS;
    S.XPos = 110, S.YPos = 700;
    S.FillColor = S.StrokeColor = TColor(Tile.FUncoloredPatternColor);
    S.FillColorSpace = S.StrokeColorSpace = Tile.FUncoloredPatternCS;
    S.FillColorEPS = S.StrokeColorEPS = "0 setgray";
    S.LineWidth = 1, S.LineCap = 0, S.LineJoin = 0, S.MiterLimit = 10;
    S.TextScaling = 100, S.TextSize = 12, S.TextFont.clear();
    S.TextLeading = S.TextRise = S.CharSpacing = S.WordSpacing = 0;
    S.TextRenderingMode = 0;
    S.StrokeAlpha = S.FillAlpha = 1;
    S.BlendMode = bmNormal;
    S.Knockout = S.Softmask = false;
    S.FillPattern = S.StrokePattern = nullptr;
    FUseInitialState = true;
    CanvasMat = M;
    RenderContent(Cell, {}, Ref);
    L->KPLR_renderer_tile_copy_buffer(TileHandle, Buffer.data());
    Tile.FTileRenderBuf = std::move(Buffer);
    Tile.FTileWidth = int32_t(W);
    Tile.FTileHeight = int32_t(H);
}

}  // namespace velmo
