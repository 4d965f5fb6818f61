// The image decoder's members of the component-raster mode: they hand the
// decoder's fields to the work of codecs/ImageDecoderKPLR.cpp and back.
#include "codecs/ImageDecoder.h"
#include "codecs/ImageDecoderKPLR.h"
#include "render/ColorSpaces.h"
#include "render/PatternDigest.h"
#include "render/Picasso.h"

namespace velmo {

namespace {

TKPLRMaskKind KindOf(TPDFMaskType T) {
    switch (T) {
        case mtStencil:
            return kmStencil;
        case mtExplicit:
            return kmExplicit;
        case mtSoft:
            return kmSoft;
        case mtColorKey:
            return kmColorKey;
        case mtNone:
            break;
    }
    return kmNone;
}

// The back end's raster calls.
class TPicassoKPLRTarget : public TKPLRImageTarget {
public:
    explicit TPicassoKPLRTarget(TPDFPicasso& P) : FPicasso(P) {}
    void DrawDirectImage(const void* Source, int32_t RowLength, int32_t Width, int32_t Height,
                         int32_t Format, bool Interpolate, int32_t Min, int32_t Max) override {
        FPicasso.DrawDirectImage(Source, RowLength, Width, Height, Format, Interpolate, Min, Max);
    }
    void DrawDirectImageWithPalette(const void* Source, int32_t RowLength, int32_t Width,
                                    int32_t Height, int32_t Format, const void* Palette,
                                    bool Interpolate, int32_t Min, int32_t Max) override {
        FPicasso.DrawDirectImageWithPalette(Source, RowLength, Width, Height, Format, Palette,
                                            Interpolate, Min, Max);
    }
    void DrawStencilImage(const void* Source, int32_t RowLength, int32_t Width, int32_t Height,
                          int32_t Format, const void* Palette, bool Interpolate) override {
        FPicasso.DrawStencilImage(Source, RowLength, Width, Height, Format, Palette, Interpolate);
    }
    bool FillPatternActive() const override {
        return FPicasso.FillPattern() != nullptr &&
               FPicasso.FillPattern()->FPDFPatternType != ptNone;
    }

private:
    TPDFPicasso& FPicasso;
};

}  // namespace

void TPDFImageDecoder::BuildKPLRRaster(bool DCT) {
    if (!FKPLR) FKPLR = std::make_shared<TKPLRImageState>();
    TKPLRImageState& S = *FKPLR;
    S.ImageData = std::move(FImageData);
    FImageData.clear();
    S.Width = FWidth;
    S.Height = FHeight;
    S.BitsPerComponent = FBitsPerComponent;
    S.ColorSpace = FColorSpace;
    S.Decode = FDecode;
    S.MaskType = KindOf(FMaskType);
    S.InlineStencil = FIsInlineImage && FMaskType == mtStencil;
    S.Interpolate = FInterpolate;
    S.IndexedBase = FIndexedBaseColorSpace;
    S.IndexedHival = FIndexedHival;
    S.IndexedLookup = FIndexedData;
    S.ColorManager = FColorManager;
    S.LabSpace = FLabColorSpace.get();
    S.SeparationSpace = FSeparationColorSpace.get();
    S.DeviceNSpace = FDeviceNColorSpace.get();
    S.KeyMin = S.KeyMax = -1;
    if (FMaskType == mtColorKey) {
        TColor Low = 0, High = 0;
        ColorKeyRange(Low, High);
        S.KeyMin = Low;
        S.KeyMax = High;
    }
    // The raster is made within the decoder's pixel cap.
    if (int64_t(S.Width) * int64_t(S.Height) > FMaxPixels) {
        S.ImageData.clear();
        FLoadException = true;
        FLoadError = "image beyond the pixel cap";
        return;
    }
    if (DCT)
        DecodeDCTToKPLR(S);
    else
        BuildKPLRImage(S);
    if (S.MainImage && int64_t(S.MainImage->Width()) * S.MainImage->Height() > FMaxPixels) {
        S.MainImage.reset();
        FLoadException = true;
        FLoadError = "image beyond the pixel cap";
        return;
    }
    FinishKPLRImage(S);
    FColorSpace = S.ColorSpace;
    FDecode = S.Decode;
    FValidImage = S.MainImage != nullptr;
}

std::unique_ptr<TKPLImage> TPDFImageDecoder::TakeKPLRMainImage() {
    if (!FKPLR) return nullptr;
    return std::move(FKPLR->MainImage);
}

void TPDFImageDecoder::SetKPLRMaskImage(std::unique_ptr<TKPLImage> Mask) {
    if (!FKPLR) FKPLR = std::make_shared<TKPLRImageState>();
    FKPLR->MaskImage = std::move(Mask);
}

TKPLImage* TPDFImageDecoder::KPLRMainImage() const {
    return FKPLR ? FKPLR->MainImage.get() : nullptr;
}

TKPLImage* TPDFImageDecoder::KPLRMaskImage() const {
    return FKPLR ? FKPLR->MaskImage.get() : nullptr;
}

int64_t TPDFImageDecoder::KPLRDataSize() const {
    int64_t N = 0;
    if (const TKPLImage* M = KPLRMainImage()) N += M->DataSizeBytes();
    if (const TKPLImage* M = KPLRMaskImage()) N += M->DataSizeBytes();
    return N;
}

void TPDFImageDecoder::DrawKPLR(TPDFPicasso& Picasso, TColor FillColor) {
    if (!FKPLR || !FKPLR->MainImage) return;
    TPicassoKPLRTarget Target(Picasso);
    DrawKPLRImage(*FKPLR, Target, FillColor);
}

}  // namespace velmo
