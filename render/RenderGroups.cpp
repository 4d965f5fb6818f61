// Transparency groups and pattern cells on the two run-time libraries: form
// groups composed through cairo layers or through groups of the renderer
// library, the renderer library's tiling cells, and its soft-mask groups.
#include <cmath>

#include "render/Functions.h"

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


// ---------------------------------------------------------------------------
// Soft masks of the renderer library

void TPDFRenderer::ClearLibrarySoftmask(TContentRun& Run) {
    if (TKorbexPDFLibraryKPLR* L = Run.LibraryDLL())
        L->KPLR_renderer_clear_softmask(Picasso->RendererHandle());
}

void TPDFRenderer::RenderSoftMaskGroup(TContentRun& Run, TPDFDictionary* MaskDict) {
    if (!Run.Visible || MaskDict == nullptr) return;
    TKorbexPDFLibraryKPLR* L = Run.LibraryDLL();
    if (L == nullptr) return;
    // The library calls the transfer back whenever it draws through the
    // mask, up to the end of the page: the mask lives as long as the page.
    auto Owned = std::make_unique<TVPLSoftmask>(FColorManager.get());
    Owned->OnFindObject = OnFindObject;
    Owned->Populate(MaskDict);
    TVPLSoftmask& Mask = *Owned;
    FLibrarySoftmasks.push_back(std::move(Owned));

    TPDFObject* GEntry = MaskDict->FindValueByKeyName("G", false);
    TPDFIndRef* GRef = ObjAs<TPDFIndRef>(GEntry);
    auto* G = ObjAs<TPDFStream>(Run.Resolve(GEntry));
    if (G == nullptr || G->FDictionary == nullptr) return;
    TPDFDictionary* D = G->FDictionary;
    if (auto* OCRef = ObjAs<TPDFIndRef>(D->FindValueByKeyName("OC", false))) {
        if (auto* OC = ObjAs<TPDFDictionary>(FindObject(OCRef))) {
            const std::string Type = OC->StringValue("Type");
            if (Type == "OCG" && !Run.ShowOf(OCRef, Run.Visible, true)) return;
            if (Type == "OCMD" && !Run.OCMDVisible(OC)) return;
        }
    }
    // A box of fewer than four numbers gives no clip.
    double Box[4];
    bool HasBox = false;
    if (auto* A = ObjAs<TPDFArray>(Run.Resolve(D->FindValueByKeyName("BBox", false)));
        A != nullptr && A->GetCount() >= 4) {
        HasBox = true;
        for (int I = 0; I < 4 && HasBox; ++I) {
            auto* N = ObjAs<TPDFNumeric>(Run.Resolve(A->GetItem(I)));
            HasBox = N != nullptr && std::isfinite(N->AsDouble());
            if (HasBox) Box[I] = N->AsDouble();
        }
    }
    std::string Space = "DeviceRGB";
    const TFormGroup Group = ReadFormGroup(Run, D);
    if (auto* GD = ObjAs<TPDFDictionary>(Run.Resolve(D->FindValueByKeyName("Group", false)))) {
        TPDFObject* CS = Run.Resolve(GD->FindValueByKeyName("CS", false));
        if (auto* N = ObjAs<TPDFName>(CS)) {
            Space = N->FValue;
        } else if (auto* A = ObjAs<TPDFArray>(CS); A != nullptr && A->GetCount() >= 2) {
            auto* Kind = ObjAs<TPDFName>(Run.Resolve(A->GetItem(0)));
            auto* Profile = ObjAs<TPDFStream>(Run.Resolve(A->GetItem(1)));
            if (Kind && Kind->FValue == "ICCBased" && Profile && Profile->FDictionary) {
                TPDFDictionary* PD = Profile->FDictionary;
                if (auto* Alt = ObjAs<TPDFName>(Run.Resolve(PD->FindValueByKeyName("Alternate", false)))) {
                    Space = Alt->FValue;
                } else if (auto* N = ObjAs<TPDFNumeric>(Run.Resolve(PD->FindValueByKeyName("N", false)))) {
                    const double C = N->AsDouble();
                    Space = C == 1 ? "DeviceGray" : C == 4 ? "DeviceCMYK" : "DeviceRGB";
                }
            }
        }
    }
    if (D->StringValue("Subtype") == "Form") {
        double M[6];
        auto* MA = ObjAs<TPDFArray>(Run.Resolve(D->FindValueByKeyName("Matrix", false)));
        bool Ok = MA != nullptr && MA->GetCount() == 6;
        for (int I = 0; I < 6 && Ok; ++I) {
            auto* N = ObjAs<TPDFNumeric>(Run.Resolve(MA->GetItem(I)));
            Ok = N != nullptr && std::isfinite(N->AsDouble());
            if (Ok) M[I] = N->AsDouble();
        }
        TPDFXForm P;
        if (Ok && TContentRun::SafeMul({M[0], M[1], M[2], M[3], M[4], M[5]}, CanvasMat, P)) {
            CanvasMat = P;
            Picasso->SetCurrentXForm(CanvasMat);
        }
    }
    ParentResources = Run.Resources;
    Run.SaveGraphicsState();
    struct TRestore {
        TContentRun& Run;
        ~TRestore() { Run.RestoreGraphicsState(true); }
    } Restore{Run};
    if (HasBox) {
        Picasso->SetFillMode(pfWinding);
        Picasso->BeginPath();
        Picasso->MoveTo(Box[0], Box[1]);
        Picasso->AddLineToPath(Box[2], Box[1]);
        Picasso->AddLineToPath(Box[2], Box[3]);
        Picasso->AddLineToPath(Box[0], Box[3]);
        Picasso->ClosePath();
        Picasso->SetClippingPath(pfWinding);
        Picasso->NullPath();
    }
    const PKPLR_renderer_t Handle = Picasso->RendererHandle();
    if (L->KPLR_has_clip(Handle) == 0) return;

    // The backdrop colour, in the group's space.
    double Red = 0, Green = 0, Blue = 0;
    auto Byte = [](double V) { return std::nearbyint(std::clamp(std::isfinite(V) ? V : 0, 0.0, 1.0) * 255); };
    const int32_t N = Mask.GetBCLength();
    if (Space == "DeviceRGB" && N >= 3) {
        Red = Byte(Mask.GetBCArray(0)), Green = Byte(Mask.GetBCArray(1)), Blue = Byte(Mask.GetBCArray(2));
    } else if (Space == "DeviceCMYK" && N >= 4 && FColorManager) {
        TPDFCMYKColor C{Mask.GetBCArray(0), Mask.GetBCArray(1), Mask.GetBCArray(2),
                        Mask.GetBCArray(3)};
        TPDFRGBColor RGB = FColorManager->CMYK2RGB(C);
        Red = Byte(RGB.Red), Green = Byte(RGB.Green), Blue = Byte(RGB.Blue);
    } else if (Space == "DeviceGray" && N >= 1) {
        Red = Green = Blue = Byte(Mask.GetBCArray(0));
    }

    const TPDFXForm SavedCanvas = CanvasMat;
    const PKPLR_renderer_t MaskGroup = L->KPLR_renderer_group_create(
        Handle, Group.Transparency ? 1 : 0, Group.Knockout ? 1 : 0, 1);
    if (MaskGroup != nullptr) {
        struct TPutBack {
            TPDFRenderer& R;
            TKorbexPDFLibraryKPLR* L;
            PKPLR_renderer_t Handle, Group;
            TPDFXForm Canvas;
            ~TPutBack() {
                L->KPLR_renderer_destroy(Group);
                R.Picasso->SetRendererHandle(Handle);
                R.CanvasMat = Canvas;
            }
        } PutBack{*this, L, Handle, MaskGroup, SavedCanvas};
        L->KPLR_renderer_clear_softmask(MaskGroup);
        if ((Mask.SoftmaskType() == ptLuminosity))
            L->KPLR_renderer_clear_surface(MaskGroup, Red / 255, Green / 255, Blue / 255, 1);
        Picasso->SetRendererHandle(MaskGroup);
        FUseInitialState = false;
        RenderContent(G, {}, GRef);
        L->KPLR_renderer_set_softmask(MaskGroup, (Mask.SoftmaskType() == ptLuminosity) ? 1 : 0,
                                      SoftmaskFunctionCallback,
                                      static_cast<TKPLRSoftmaskFunction*>(&Mask));
    }
}

// ---------------------------------------------------------------------------

void TPDFRenderer::SetPatternForTest(std::u16string_view Name, TVPLPattern* Pattern) {
    std::string Key;
    for (char16_t C : Name)
        if (C != u'/') Key.push_back(char(C));
    if (Pattern == nullptr)
        FPresetPatterns.erase(Key);
    else
        FPresetPatterns[Key] = Pattern;
}

const TVPLPattern* TPDFRenderer::PresetPattern(std::string_view Name) const {
    if (FPresetPatterns.empty()) return nullptr;
    if (!Name.empty() && Name[0] == '/') Name.remove_prefix(1);
    auto It = FPresetPatterns.find(std::string(Name));
    return It == FPresetPatterns.end() ? nullptr : It->second;
}

}  // namespace velmo
