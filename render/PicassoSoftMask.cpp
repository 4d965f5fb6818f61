// Soft-mask layers of the GDI+ and cairo models: drawing under a soft mask
// goes to a transparent layer, laid onto the page through the mask when the
// mask ends.
#include <algorithm>
#include <cmath>

#include "render/Picasso.h"

namespace velmo {

namespace {

const cairo_user_data_key_t MaskBytesKey{};

void FreeMaskBytes(void* P) { delete static_cast<std::vector<uint8_t>*>(P); }

}  // namespace

bool TPDFPicasso::BeginMaskLayer(int32_t W, int32_t H) {
    if (FModel == pmCairo) {
        // A cairo group: it saves the context's state, which the mask's end
        // gives back, so the mask must end before the state it was set in.
        if (FCairoHandle == nullptr || !FCairoDLL || FCairoDLL->cairo_push_group == nullptr ||
            FCairoDLL->cairo_image_surface_create_for_data == nullptr || W <= 0 || H <= 0 ||
            int64_t(W) * H > TBitmap::MaxPixels || FMaskLayers.size() >= 16)
            return false;
        auto L = std::make_unique<TMaskLayer>();
        L->Width = W;
        L->Height = H;
        L->Cairo = true;
        FCairoDLL->cairo_push_group(FCairoHandle);
        FMaskLayers.push_back(std::move(L));
        return true;
    }
    if (FModel != pmGDIPlus || FGraphics == nullptr || !FGDIPlus || W <= 0 || H <= 0 ||
        int64_t(W) * H > TBitmap::MaxPixels || FMaskLayers.size() >= 16)
        return false;
    auto L = std::make_unique<TMaskLayer>();
    try {
        L->Pixels.assign(size_t(W) * size_t(H), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    L->Width = W;
    L->Height = H;
    if (FGDIPlus->GdipCreateBitmapFromScan0(W, H, W * 4, PixelFormat32bppPARGB,
                                            reinterpret_cast<uint8_t*>(L->Pixels.data()),
                                            &L->Bitmap) != gsOk ||
        L->Bitmap == nullptr)
        return false;
    GpGraphics* G = nullptr;
    if (FGDIPlus->GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(L->Bitmap), &G) != gsOk ||
        G == nullptr) {
        FGDIPlus->GdipDisposeImage(reinterpret_cast<GpImage*>(L->Bitmap));
        return false;
    }
    // The layer starts with the page's clip.
    GpRegion* Clip = nullptr;
    if (FGDIPlus->GdipCreateRegion(&Clip) == gsOk && Clip != nullptr) {
        if (FGDIPlus->GdipGetClip(FGraphics, Clip) == gsOk)
            FGDIPlus->GdipSetClipRegion(G, Clip, CombineModeReplace);
        FGDIPlus->GdipDeleteRegion(Clip);
    }
    L->Saved = FGraphics;
    FGraphics = G;
    SetGDIPlusTextMode();
    FGDIPlus->GdipSetPageUnit(FGraphics, UnitPixel);
    FMaskLayers.push_back(std::move(L));
    return true;
}

void TPDFPicasso::EndMaskLayer(const std::vector<uint8_t>& Mask) {
    FLastMaskBox = RECT{};
    if (FMaskLayers.empty()) return;
    std::unique_ptr<TMaskLayer> L = std::move(FMaskLayers.back());
    FMaskLayers.pop_back();
    if (L->Cairo) {
        TCairoDLL& C = *FCairoDLL;
        C.cairo_pop_group_to_source(FCairoHandle);
        // The mask as an 8-bit alpha surface, rows padded to cairo's stride.
        const int32_t W = L->Width, H = L->Height, Stride = (W + 3) & ~3;
        auto Bytes = std::make_unique<std::vector<uint8_t>>(size_t(Stride) * size_t(H), 0);
        for (int32_t Y = 0; Y < H; ++Y) {
            const size_t From = size_t(Y) * size_t(W);
            if (From >= Mask.size()) break;
            const size_t N = std::min(size_t(W), Mask.size() - From);
            std::copy_n(Mask.begin() + std::ptrdiff_t(From), N,
                        Bytes->begin() + std::ptrdiff_t(size_t(Y) * size_t(Stride)));
        }
        cairo_surface_t* Surface = C.cairo_image_surface_create_for_data(
            Bytes->data(), CAIRO_FORMAT_A8, W, H, Stride);
        if (Surface == nullptr) return;
        if (C.cairo_surface_status(Surface) != CAIRO_STATUS_SUCCESS ||
            C.cairo_surface_set_user_data(Surface, &MaskBytesKey, Bytes.get(), FreeMaskBytes) !=
                CAIRO_STATUS_SUCCESS) {
            C.cairo_surface_destroy(Surface);
            return;
        }
        Bytes.release();
        // The group and the mask both lie in device pixels.
        C.cairo_save(FCairoHandle);
        C.cairo_identity_matrix(FCairoHandle);
        C.cairo_set_operator(FCairoHandle, CAIRO_OPERATOR_OVER);
        C.cairo_mask_surface(FCairoHandle, Surface, 0, 0);
        C.cairo_restore(FCairoHandle);
        C.cairo_surface_destroy(Surface);
        return;
    }
    GpGraphics* Layer = FGraphics;
    FGraphics = L->Saved;
    // The layer's clip is the state's clip: it goes back to the page.
    GpRegion* Clip = nullptr;
    if (FGDIPlus->GdipCreateRegion(&Clip) == gsOk && Clip != nullptr) {
        if (FGDIPlus->GdipGetClip(Layer, Clip) != gsOk) {
            FGDIPlus->GdipDeleteRegion(Clip);
            Clip = nullptr;
        }
    }
    FGDIPlus->GdipDeleteGraphics(Layer);
    const size_t N = L->Pixels.size();
    const size_t W = size_t(std::max(L->Width, 1));
    int32_t MinX = L->Width, MinY = L->Height, MaxX = -1, MaxY = -1;
    for (size_t I = 0; I < N; ++I) {
        const uint32_t M = I < Mask.size() ? Mask[I] : 0;
        uint32_t& P = L->Pixels[I];
        if (P == 0) continue;
        if (M != 255) {
            uint32_t Out = 0;
            for (int Shift = 0; Shift < 32; Shift += 8)
                Out |= (((P >> Shift) & 0xFF) * M + 127) / 255 << Shift;
            P = Out;
            if (P == 0) continue;
        }
        const int32_t X = int32_t(I % W), Y = int32_t(I / W);
        MinX = std::min(MinX, X);
        MaxX = std::max(MaxX, X);
        MinY = std::min(MinY, Y);
        MaxY = std::max(MaxY, Y);
    }
    if (MaxX >= 0) FLastMaskBox = RECT{MinX, MinY, MaxX + 1, MaxY + 1};
    // The layer is laid on pixel for pixel, whatever the page's clip.
    GpRegion* Everything = nullptr;
    if (FGDIPlus->GdipCreateRegion(&Everything) == gsOk && Everything != nullptr) {
        FGDIPlus->GdipSetClipRegion(FGraphics, Everything, CombineModeReplace);
        FGDIPlus->GdipDeleteRegion(Everything);
    }
    FGDIPlus->GdipSetInterpolationMode(FGraphics, InterpolationModeNearestNeighbor);
    FGDIPlus->GdipSetPixelOffsetMode(FGraphics, PixelOffsetModeHalf);
    FGDIPlus->GdipDrawImageRectI(FGraphics, reinterpret_cast<GpImage*>(L->Bitmap), 0, 0, L->Width,
                                 L->Height);
    SetGDIPlusTextMode();
    if (Clip != nullptr) {
        FGDIPlus->GdipSetClipRegion(FGraphics, Clip, CombineModeReplace);
        FGDIPlus->GdipDeleteRegion(Clip);
    }
    FGDIPlus->GdipDisposeImage(reinterpret_cast<GpImage*>(L->Bitmap));
}

bool TPDFPicasso::DrawStencilWithFillPattern(double ULX, double ULY, double URX, double URY,
                                             double LLX, double LLY, const TBitmap& BM) {
    if (FFillPattern == nullptr || BM.Empty() || BM.PixelFormat() != pf32bit) return false;
    if (FModel != pmGDIPlus && FModel != pmCairo) return false;
    const double LRX = URX + LLX - ULX, LRY = URY + LLY - ULY;
    for (double V : {ULX, ULY, URX, URY, LLX, LLY, LRX, LRY})
        if (!std::isfinite(V)) return true;
    // The visible clip bounds what is drawn, so the layer never exceeds the
    // page.
    double CX0 = 0, CY0 = 0, CX1 = 0, CY1 = 0;
    if (FModel == pmGDIPlus) {
        GpRectF CB{};
        if (FGraphics == nullptr || !FGDIPlus ||
            FGDIPlus->GdipGetVisibleClipBounds(FGraphics, &CB) != gsOk)
            return false;
        CX0 = CB.X;
        CY0 = CB.Y;
        CX1 = double(CB.X) + CB.Width;
        CY1 = double(CB.Y) + CB.Height;
    } else {
        if (FCairoHandle == nullptr || !FCairoDLL || FCairoDLL->cairo_clip_extents == nullptr)
            return false;
        FCairoDLL->cairo_clip_extents(FCairoHandle, &CX0, &CY0, &CX1, &CY1);
    }
    const double PX0 = std::min({ULX, URX, LLX, LRX}), PX1 = std::max({ULX, URX, LLX, LRX});
    const double PY0 = std::min({ULY, URY, LLY, LRY}), PY1 = std::max({ULY, URY, LLY, LRY});
    const double BX0 = std::max({PX0, CX0, 0.0}), BY0 = std::max({PY0, CY0, 0.0});
    const double BX1 = std::min(PX1, CX1), BY1 = std::min(PY1, CY1);
    if (!(BX1 > BX0 && BY1 > BY0)) return true;  // nothing of it is visible
    const int32_t W = int32_t(std::ceil(BX1)), H = int32_t(std::ceil(BY1));
    const int32_t X0 = int32_t(std::floor(BX0)), Y0 = int32_t(std::floor(BY0));
    if (W <= 0 || H <= 0 || int64_t(W) * H > TBitmap::MaxPixels) return false;

    // The stencil's coverage of each device pixel: the image square's
    // (u, v) of a device point through the inverse of its placement,
    // sampled on a grid fine enough that no stencil pixel is skipped when
    // the image is drawn smaller than it is.
    const double AX = URX - ULX, AY = URY - ULY;  // along a row
    const double BXv = LLX - ULX, BYv = LLY - ULY;  // down the rows
    const double Det = AX * BYv - AY * BXv;
    if (!std::isfinite(Det) || std::fabs(Det) < 1e-12) return true;
    const int32_t IW = BM.Width(), IH = BM.Height();
    const double PerPixelX = IW / std::max(std::hypot(AX, AY), 1e-9);
    const double PerPixelY = IH / std::max(std::hypot(BXv, BYv), 1e-9);
    const int32_t N =
        std::clamp(int32_t(std::ceil(std::max(PerPixelX, PerPixelY))), 1, 4);
    std::vector<uint8_t> Coverage;
    try {
        Coverage.assign(size_t(W) * size_t(H), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int32_t Y = Y0; Y < H; ++Y)
        for (int32_t X = X0; X < W; ++X) {
            int32_t Sum = 0;
            for (int32_t SY = 0; SY < N; ++SY)
                for (int32_t SX = 0; SX < N; ++SX) {
                    const double DX = X + (SX + 0.5) / N - ULX, DY = Y + (SY + 0.5) / N - ULY;
                    const double U = (DX * BYv - DY * BXv) / Det;
                    const double V = (AX * DY - AY * DX) / Det;
                    if (!(U >= 0 && U < 1 && V >= 0 && V < 1)) continue;
                    const int32_t I = std::min(int32_t(U * IW), IW - 1);
                    const int32_t J = std::min(int32_t(V * IH), IH - 1);
                    Sum += BM.ScanLine(J)[4 * I + 3];
                }
            Coverage[size_t(Y) * size_t(W) + size_t(X)] = uint8_t((Sum + N * N / 2) / (N * N));
        }

    // The pattern fills the image's area on a layer laid on through the
    // coverage; the path lies in device pixels.
    if (!BeginMaskLayer(W, H)) return false;
    BeginPath();
    MoveTo(ULX, ULY);
    AddLineToPath(URX, URY);
    AddLineToPath(LRX, LRY);
    AddLineToPath(LLX, LLY);
    ClosePath();
    FillPath();
    EndMaskLayer(Coverage);
    return true;
}

}  // namespace velmo
