// Soft-mask layers of the GDI+ and cairo models: drawing under a soft mask
// goes to a transparent layer, laid onto the page through the mask when the
// mask ends.
#include <algorithm>

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

}  // namespace velmo
