// Soft masks on destinations that cannot composite: what is drawn under the
// mask is left out of the destination (the region rule of the printer's
// first pass), and when the outermost mask ends, the area the masked drawing
// changed is placed there as an image of the page as the bitmap model draws
// it at that point. The bitmap model draws the whole render once, at the
// first such end, and keeps one image per outermost mask; the masks of the
// two passes are matched by the gs that set them, in drawing order.
#include <algorithm>

#include "render/ContentRun.h"

namespace velmo {

bool TPDFRenderer::ImagesSoftMasks() const {
    if (FNoMaskImages || !Picasso ||
        (Picasso->Model() != pmGDI && Picasso->Model() != pmGDIPlus))
        return false;
    switch (FDestination) {
        case rdWMF:
        case rdEMF:
        case rdEMFPlus:
        case rdDeviceContext:
        case rdPrinter:
            return true;
        case rdBitmap:
            // The bitmap model composes masks itself; plain GDI cannot.
            return Picasso->Model() == pmGDI;
        default:
            return false;
    }
}

void TPDFRenderer::ResetMaskImages(TPDFObject* Source, TPDFIndRef* ContainerIR) {
    FRenderedSource = Source;
    FRenderedContainer = ContainerIR;
    FRenderedParent = ParentResources;
    FImagedMasks = 0;
    FMaskImages.clear();
    FMaskImageCursor = 0;
    FMaskImagesTaken = false;
}

void TPDFRenderer::EndSoftMask(bool Imaged, const std::vector<uint8_t>& Coverage, const void* Key,
                               size_t Pos) {
    if (Imaged) {
        // Only the outermost mask places its image: it holds the inner ones.
        if (FImagedMasks > 0 && --FImagedMasks == 0) PlaceMaskImage(Key, Pos);
        return;
    }
    if (!Picasso) return;
    Picasso->EndMaskLayer(Coverage);
    if (FMaskImageSink == nullptr || Picasso->MaskLayerCount() != 0) return;
    // The pass for a destination that cannot composite: the page as it now
    // is, over the pixels the layer changed.
    TMaskImage Entry;
    Entry.Key = Key;
    Entry.Pos = Pos;
    const RECT Box = Picasso->LastMaskBox();
    const int32_t W = Box.right - Box.left, H = Box.bottom - Box.top;
    if (W > 0 && H > 0 && FMaskImageSink->size() < 4096 && int64_t(W) * H <= FMaskImageBudget) {
        FMaskImageBudget -= int64_t(W) * H;
        Entry.Left = Box.left;
        Entry.Top = Box.top;
        Entry.Image.SetSize(W, H);
        TCanvasLock Hold(Entry.Image.Canvas());
        Entry.Image.Canvas().CopyRect(RECT{0, 0, W, H}, FBitmap.Canvas(), Box);
    }
    FMaskImageSink->push_back(std::move(Entry));
}

void TPDFRenderer::TakeMaskImages() {
    FMaskImagesTaken = true;
    if (FRenderedSource == nullptr || FMaxX <= 0 || FMaxY <= 0) return;
    // The images lie in page pixels; a device context's page starts at its
    // offset.
    TPDFXForm Mat = StartMatrix;
    if (FDestination == rdDeviceContext) {
        Mat.eDx -= FDeviceContextOffsetX;
        Mat.eDy -= FDeviceContextOffsetY;
    }
    const TColor Background = FHasSourceBackground ? FSourceBackground : TColor(0xFFFFFF);
    TBitmap Page;
    RenderSecondOnBitmap(FRenderedSource, FRenderedContainer, FRenderedParent, Mat, nullptr,
                         Background, true, &FMaskImages, Page);
}

void TPDFRenderer::PlaceMaskImage(const void* Key, size_t Pos) {
    if (!FMaskImagesTaken) TakeMaskImages();
    for (size_t I = FMaskImageCursor; I < FMaskImages.size(); ++I) {
        TMaskImage& M = FMaskImages[I];
        if (M.Key != Key || M.Pos != Pos) continue;
        FMaskImageCursor = I + 1;
        if (M.Image.Empty() || !Picasso) return;
        double X = M.Left, Y = M.Top;
        if (FDestination == rdDeviceContext) {
            X += FDeviceContextOffsetX;
            Y += FDeviceContextOffsetY;
        }
        Picasso->DrawImage(X, Y, M.Image.Width(), M.Image.Height(), M.Image);
        // Its pixels are not needed again.
        M.Image = TBitmap();
        return;
    }
}

}  // namespace velmo
