// Graphics, paths, pens, brushes, regions, matrices and image drawing.
#include "platform/gdiplus/Internal.h"

namespace velmo::gdiplus {

TGPStatus GdipCreateFromHDC(HDC Dc, GpGraphics** Graphics) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDeleteGraphics(GpGraphics* Graphics) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetSmoothingMode(GpGraphics* Graphics, GpSmoothingMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPixelOffsetMode(GpGraphics* Graphics, GpPixelOffsetMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetInterpolationMode(GpGraphics* Graphics, GpInterpolationMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetCompositingMode(GpGraphics* Graphics, GpCompositingMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetCompositingQuality(GpGraphics* Graphics, GpCompositingQuality Quality) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPageUnit(GpGraphics* Graphics, GpUnit Unit) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetImageGraphicsContext(GpImage* Image, GpGraphics** Graphics) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGraphicsClear(GpGraphics* Graphics, GpARGB Color) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateRegion(GpRegion** Region) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetClip(GpGraphics* Graphics, GpRegion* Region) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDeleteRegion(GpRegion* Region) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetClipRegion(GpGraphics* Graphics, GpRegion* Region, GpCombineMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreatePath(GpFillMode Mode, GpPath** Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDeletePath(GpPath* Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipAddPathLine(GpPath* Path, GpREAL X1, GpREAL Y1, GpREAL X2, GpREAL Y2) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipClosePathFigure(GpPath* Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipAddPathBezier(GpPath* Path, GpREAL X1, GpREAL Y1, GpREAL X2, GpREAL Y2, GpREAL X3, GpREAL Y3, GpREAL X4, GpREAL Y4) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipFillPath(GpGraphics* Graphics, GpBrush* Brush, GpPath* Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDrawPath(GpGraphics* Graphics, GpPen* Pen, GpPath* Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPathFillMode(GpPath* Path, GpFillMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetClipPath(GpGraphics* Graphics, GpPath* Path, GpCombineMode Mode) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipStartPathFigure(GpPath* Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetPointCount(GpPath* Path, int32_t* Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetVisibleClipBounds(GpGraphics* Graphics, GpRectF* Rect) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetPathWorldBounds(GpPath* Path, GpRectF* Bounds, const GpMatrix* Matrix, const GpPen* Pen) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreatePath2(const GpPointF* Points, const uint8_t* Types, int32_t Count, GpFillMode Mode, GpPath** Path) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateSolidFill(GpARGB Color, GpSolidFill** Brush) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDeleteBrush(GpBrush* Brush) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateLineBrush(const GpPointF* Point1, const GpPointF* Point2, GpARGB Color1, GpARGB Color2, GpWrapMode Wrap, GpLineGradient** Brush) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetLinePresetBlend(GpLineGradient* Brush, const GpARGB* Blend, const GpREAL* Positions, int32_t Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetLineTransform(GpLineGradient* Brush, const GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateTexture2(GpImage* Image, GpWrapMode Wrap, GpREAL X, GpREAL Y, GpREAL Width, GpREAL Height, GpTexture** Texture) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetTextureTransform(GpTexture* Texture, const GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipMultiplyTextureTransform(GpTexture* Texture, const GpMatrix* Matrix, GpMatrixOrder Order) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipScaleTextureTransform(GpTexture* Texture, GpREAL Sx, GpREAL Sy, GpMatrixOrder Order) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreatePen1(GpARGB Color, GpREAL Width, GpUnit Unit, GpPen** Pen) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDeletePen(GpPen* Pen) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPenDashArray(GpPen* Pen, const GpREAL* Dash, int32_t Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPenDashOffset(GpPen* Pen, GpREAL Offset) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPenLineJoin(GpPen* Pen, GpLineJoin Join) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPenStartCap(GpPen* Pen, GpLineCap Cap) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPenEndCap(GpPen* Pen, GpLineCap Cap) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPenMiterLimit(GpPen* Pen, GpREAL Limit) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPenDashCap197819(GpPen* Pen, GpDashCap Cap) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetPenTransform(GpPen* Pen, GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetPenTransform(GpPen* Pen, GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipGetMatrixElements(const GpMatrix* Matrix, GpREAL* Elements) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetMatrixElements(GpMatrix* Matrix, GpREAL M11, GpREAL M12, GpREAL M21, GpREAL M22, GpREAL Dx, GpREAL Dy) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipResetPenTransform(GpPen* Pen) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipScalePenTransform(GpPen* Pen, GpREAL Sx, GpREAL Sy, GpMatrixOrder Order) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetWorldTransform(GpGraphics* Graphics, GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDrawImageRect(GpGraphics* Graphics, GpImage* Image, GpREAL X, GpREAL Y, GpREAL Width, GpREAL Height) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDrawImagePoints(GpGraphics* Graphics, GpImage* Image, const GpPointF* Points, int32_t Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDrawImagePointsRect(GpGraphics* Graphics, GpImage* Image, const GpPointF* Points, int32_t Count, GpREAL SrcX, GpREAL SrcY, GpREAL SrcWidth, GpREAL SrcHeight, GpUnit SrcUnit, const GpImageAttributes* Attributes, GpDrawImageAbort Callback, void* CallbackData) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDrawImageI(GpGraphics* Graphics, GpImage* Image, int32_t X, int32_t Y) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDrawImageRectI(GpGraphics* Graphics, GpImage* Image, int32_t X, int32_t Y, int32_t Width, int32_t Height) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDrawImagePointRectI(GpGraphics* Graphics, GpImage* Image, int32_t X, int32_t Y, int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, GpUnit SrcUnit) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetImageAttributesColorKeys(GpImageAttributes* Attributes, GpColorAdjustType Type, int32_t Enable, GpARGB Low, GpARGB High) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateImageAttributes(GpImageAttributes** Attributes) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDisposeImageAttributes(GpImageAttributes* Attributes) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipSetImageAttributesColorMatrix(GpImageAttributes* Attributes, GpColorAdjustType Type, int32_t Enable, const GpColorMatrix* ColorMatrix, const GpColorMatrix* GrayMatrix, GpColorMatrixFlags Flags) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipRecordMetafileFileName(const GpWCHAR* FileName, HDC ReferenceDc, GpEmfType Type, const GpRectF* FrameRect, GpMetafileFrameUnit FrameUnit, const GpWCHAR* Description, GpMetafile** Metafile) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipRecordMetafileStream(GpIStream* Stream, HDC ReferenceDc, GpEmfType Type, const GpRectF* FrameRect, GpMetafileFrameUnit FrameUnit, const GpWCHAR* Description, GpMetafile** Metafile) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateMatrix2(GpREAL M11, GpREAL M12, GpREAL M21, GpREAL M22, GpREAL Dx, GpREAL Dy, GpMatrix** Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipInvertMatrix(GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipCreateFontFromDC(HDC Dc, GpFont** Font) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDrawDriverString(GpGraphics* Graphics, const uint16_t* Text, int32_t Length, const GpFont* Font, const GpBrush* Brush, const GpPointF* Positions, int32_t Flags, const GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

TGPStatus GdipDeleteMatrix(GpMatrix* Matrix) {
    if (!Started()) return gsGdiplusNotInitialized;
    return gsNotImplemented;
}

}  // namespace velmo::gdiplus
