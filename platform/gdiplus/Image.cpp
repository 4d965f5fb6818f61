// Images: decoding, encoding, frames, properties and bitmaps made from memory.
#include "platform/gdiplus/Internal.h"

namespace velmo::gdiplus {

TGPStatus GdipLoadImageFromStream(GpIStream* Stream, GpImage** Image) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipLoadImageFromStreamICM(GpIStream* Stream, GpImage** Image) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSaveImageToStream(GpImage* Image, GpIStream* Stream, const CLSID* Encoder, const EncoderParameters* Params) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipLoadImageFromFile(const GpWCHAR* FileName, GpImage** Image) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSaveImageToFile(GpImage* Image, const GpWCHAR* FileName, const CLSID* Encoder, const EncoderParameters* Params) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDisposeImage(GpImage* Image) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetImageDimension(GpImage* Image, GpREAL* Width, GpREAL* Height) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetImageWidth(GpImage* Image, uint32_t* Width) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetImageHeight(GpImage* Image, uint32_t* Height) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetImageHorizontalResolution(GpImage* Image, GpREAL* Resolution) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetImageVerticalResolution(GpImage* Image, GpREAL* Resolution) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetImagePixelFormat(GpImage* Image, GpPixelFormat* Format) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipImageGetFrameDimensionsCount(GpImage* Image, uint32_t* Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipImageGetFrameDimensionsList(GpImage* Image, TGUID* DimensionIDs, uint32_t Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipImageGetFrameCount(GpImage* Image, const TGUID* DimensionID, uint32_t* Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipImageSelectActiveFrame(GpImage* Image, const TGUID* DimensionID, uint32_t FrameIndex) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetImageEncodersSize(uint32_t* NumEncoders, uint32_t* Size) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetImageEncoders(uint32_t NumEncoders, uint32_t Size, ImageCodecInfo* Encoders) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetEncoderParameterListSize(GpImage* Image, const CLSID* Encoder, uint32_t* Size) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetEncoderParameterList(GpImage* Image, const CLSID* Encoder, uint32_t Size, EncoderParameters* Buffer) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetPropertyItem(GpImage* Image, GpPROPID Id, uint32_t Size, PropertyItem* Buffer) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPropertyItem(GpImage* Image, const PropertyItem* Item) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetPropertyCount(GpImage* Image, uint32_t* Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetAllPropertyItems(GpImage* Image, uint32_t TotalSize, uint32_t Count, PropertyItem* Items) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateBitmapFromGraphics(int32_t Width, int32_t Height, GpGraphics* Target, GpBitmap** Bitmap) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateBitmapFromScan0(int32_t Width, int32_t Height, int32_t Stride, GpPixelFormat Format, uint8_t* Scan0, GpBitmap** Bitmap) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateBitmapFromGdiDib(const GpBITMAPINFO* Info, void* Bits, GpBitmap** Bitmap) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateBitmapFromHBITMAP(HBITMAP Bitmap, GpHPALETTE Palette, GpBitmap** Result) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipBitmapSetResolution(GpBitmap* Bitmap, GpREAL XDpi, GpREAL YDpi) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

}  // namespace velmo::gdiplus
