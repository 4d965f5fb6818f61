// The GDI+ flat API of the platform layer: its types, records and status
// codes, and the list of the entry points the facade exports through the
// in-process module "gdiplus.dll".
//
// Records (codec information, encoder parameters, property items, start-up
// records) are declared with the fields the platform documents, so their
// size and layout follow the pointer width of the build. Handles of the
// library's objects are pointers to opaque structures.
#pragma once

#include <cstdint>

#include "platform/com/StreamAdapter.h"
#include "platform/gdi/DC.h"
#include "platform/modules/Modules.h"

namespace velmo {

// GDI+ status codes, in the library's numbering (0 first).
enum TGPStatus : int32_t {
    gsOk,
    gsGenericError,
    gsInvalidParameter,
    gsOutOfMemory,
    gsObjectBusy,
    gsInsufficientBuffer,
    gsNotImplemented,
    gsWin32Error,
    gsWrongState,
    gsAborted,
    gsFileNotFound,
    gsValueOverflow,
    gsAccessDenied,
    gsUnknownImageFormat,
    gsFontFamilyNotFound,
    gsFontStyleNotFound,
    gsNotTrueTypeFont,
    gsUnsupportedGdiplusVersion,
    gsGdiplusNotInitialized,
    gsPropertyNotFound,
    gsPropertyNotSupported,
    gsProfileNotFound,
};

// Where a binding stands: nothing loaded, library not found, library found
// but lacking an entry point, or every entry point bound.
enum TGDIPlusStatus { gpUndefined, gpMissing, gpIncompatible, gpReady };

// Scalar types of the flat API.
using GpREAL = float;
using GpARGB = uint32_t;
using GpPixelFormat = int32_t;
using GpPROPID = uint32_t;
using GpWCHAR = char16_t;
using GpULONG_PTR = uintptr_t;
// Enumerations of the flat API, passed as 32-bit values with the library's
// numbering.
using GpSmoothingMode = int32_t;
using GpPixelOffsetMode = int32_t;
using GpInterpolationMode = int32_t;
using GpCompositingMode = int32_t;
using GpCompositingQuality = int32_t;
using GpUnit = int32_t;
using GpCombineMode = int32_t;
using GpFillMode = int32_t;
using GpWrapMode = int32_t;
using GpMatrixOrder = int32_t;
using GpLineJoin = int32_t;
using GpLineCap = int32_t;
using GpDashCap = int32_t;
using GpColorAdjustType = int32_t;
using GpColorMatrixFlags = int32_t;
using GpEmfType = int32_t;
using GpMetafileFrameUnit = int32_t;
using GpDebugEventLevel = int32_t;

using CLSID = TGUID;

// Pixel formats (bits 8-15: bits per pixel).
constexpr GpPixelFormat PixelFormat1bppIndexed = 0x00030101;
constexpr GpPixelFormat PixelFormat4bppIndexed = 0x00030402;
constexpr GpPixelFormat PixelFormat8bppIndexed = 0x00030803;
constexpr GpPixelFormat PixelFormat24bppRGB = 0x00021808;
constexpr GpPixelFormat PixelFormat32bppRGB = 0x00022009;
constexpr GpPixelFormat PixelFormat32bppARGB = 0x0026200A;
constexpr GpPixelFormat PixelFormat32bppPARGB = 0x000E200B;

// Enumerations, with the library's numbering.
constexpr GpSmoothingMode SmoothingModeDefault = 0;
constexpr GpSmoothingMode SmoothingModeHighSpeed = 1;
constexpr GpSmoothingMode SmoothingModeHighQuality = 2;
constexpr GpSmoothingMode SmoothingModeNone = 3;
constexpr GpSmoothingMode SmoothingModeAntiAlias = 4;
constexpr GpPixelOffsetMode PixelOffsetModeDefault = 0;
constexpr GpPixelOffsetMode PixelOffsetModeHighSpeed = 1;
constexpr GpPixelOffsetMode PixelOffsetModeHighQuality = 2;
constexpr GpPixelOffsetMode PixelOffsetModeNone = 3;
constexpr GpPixelOffsetMode PixelOffsetModeHalf = 4;
constexpr GpInterpolationMode InterpolationModeDefault = 0;
constexpr GpInterpolationMode InterpolationModeLowQuality = 1;
constexpr GpInterpolationMode InterpolationModeHighQuality = 2;
constexpr GpInterpolationMode InterpolationModeBilinear = 3;
constexpr GpInterpolationMode InterpolationModeBicubic = 4;
constexpr GpInterpolationMode InterpolationModeNearestNeighbor = 5;
constexpr GpInterpolationMode InterpolationModeHighQualityBilinear = 6;
constexpr GpInterpolationMode InterpolationModeHighQualityBicubic = 7;
constexpr GpCompositingMode CompositingModeSourceOver = 0;
constexpr GpCompositingMode CompositingModeSourceCopy = 1;
constexpr GpUnit UnitWorld = 0;
constexpr GpUnit UnitDisplay = 1;
constexpr GpUnit UnitPixel = 2;
constexpr GpUnit UnitPoint = 3;
constexpr GpUnit UnitInch = 4;
constexpr GpUnit UnitDocument = 5;
constexpr GpUnit UnitMillimeter = 6;
constexpr GpCombineMode CombineModeReplace = 0;
constexpr GpCombineMode CombineModeIntersect = 1;
constexpr GpCombineMode CombineModeUnion = 2;
constexpr GpCombineMode CombineModeXor = 3;
constexpr GpCombineMode CombineModeExclude = 4;
constexpr GpCombineMode CombineModeComplement = 5;
constexpr GpFillMode FillModeAlternate = 0;
constexpr GpFillMode FillModeWinding = 1;
constexpr GpWrapMode WrapModeTile = 0;
constexpr GpWrapMode WrapModeTileFlipX = 1;
constexpr GpWrapMode WrapModeTileFlipY = 2;
constexpr GpWrapMode WrapModeTileFlipXY = 3;
constexpr GpWrapMode WrapModeClamp = 4;
constexpr GpMatrixOrder MatrixOrderPrepend = 0;
constexpr GpMatrixOrder MatrixOrderAppend = 1;
constexpr GpLineJoin LineJoinMiter = 0;
constexpr GpLineJoin LineJoinBevel = 1;
constexpr GpLineJoin LineJoinRound = 2;
constexpr GpLineJoin LineJoinMiterClipped = 3;
constexpr GpLineCap LineCapFlat = 0;
constexpr GpLineCap LineCapSquare = 1;
constexpr GpLineCap LineCapRound = 2;
constexpr GpLineCap LineCapTriangle = 3;
constexpr GpDashCap DashCapFlat = 0;
constexpr GpDashCap DashCapRound = 2;
constexpr GpDashCap DashCapTriangle = 3;
constexpr GpColorAdjustType ColorAdjustTypeDefault = 0;
constexpr GpColorAdjustType ColorAdjustTypeBitmap = 1;
constexpr GpColorMatrixFlags ColorMatrixFlagsDefault = 0;

// Point types of a path: the kind in the low bits, flags above.
constexpr uint8_t PathPointTypeStart = 0;
constexpr uint8_t PathPointTypeLine = 1;
constexpr uint8_t PathPointTypeBezier = 3;
constexpr uint8_t PathPointTypePathTypeMask = 0x07;
constexpr uint8_t PathPointTypeDashMode = 0x10;
constexpr uint8_t PathPointTypePathMarker = 0x20;
constexpr uint8_t PathPointTypeCloseSubpath = 0x80;

// Encoder parameter value types.
constexpr uint32_t EncoderParameterValueTypeByte = 1;
constexpr uint32_t EncoderParameterValueTypeASCII = 2;
constexpr uint32_t EncoderParameterValueTypeShort = 3;
constexpr uint32_t EncoderParameterValueTypeLong = 4;
constexpr uint32_t EncoderParameterValueTypeRational = 5;
constexpr uint32_t EncoderParameterValueTypeLongRange = 6;
constexpr uint32_t EncoderParameterValueTypeUndefined = 7;
constexpr uint32_t EncoderParameterValueTypeRationalRange = 8;

// TIFF compression values of the encoder's compression parameter.
constexpr uint32_t EncoderValueCompressionLZW = 2;
constexpr uint32_t EncoderValueCompressionCCITT3 = 3;
constexpr uint32_t EncoderValueCompressionCCITT4 = 4;
constexpr uint32_t EncoderValueCompressionRle = 5;
constexpr uint32_t EncoderValueCompressionNone = 6;

// Encoder parameter categories.
constexpr TGUID EncoderCompression = {
    0xE09D739D, 0xCCD4, 0x44EE, {0x8E, 0xBA, 0x3F, 0xBF, 0x8B, 0xE4, 0xFC, 0x58}};
constexpr TGUID EncoderColorDepth = {
    0x66087055, 0xAD66, 0x4C7C, {0x9A, 0x18, 0x38, 0xA2, 0x31, 0x0B, 0x83, 0x37}};
constexpr TGUID EncoderQuality = {
    0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};
constexpr TGUID EncoderSaveFlag = {
    0x292266FC, 0xAC40, 0x47BF, {0x8C, 0xFC, 0xA8, 0x5B, 0x89, 0xA6, 0x55, 0xDE}};

// Image file formats (the raw format of a loaded image).
constexpr TGUID ImageFormatBMP = {
    0xB96B3CAB, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr TGUID ImageFormatPNG = {
    0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr TGUID ImageFormatJPEG = {
    0xB96B3CAE, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr TGUID ImageFormatTIFF = {
    0xB96B3CB1, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr TGUID ImageFormatMemoryBMP = {
    0xB96B3CAA, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// Frame dimensions: the pages of a multi-page image, and time (animation).
constexpr TGUID FrameDimensionPage = {
    0x7462DC86, 0x6180, 0x4C7E, {0x8E, 0x3F, 0xEE, 0x73, 0x33, 0xA7, 0xA4, 0x83}};
constexpr TGUID FrameDimensionTime = {
    0x6AEDBD6D, 0x3FB5, 0x418A, {0x83, 0xA6, 0x7F, 0x45, 0x22, 0x9D, 0xC8, 0x72}};

// The header of a device-independent bitmap, followed in memory by its
// colour table (GdipCreateBitmapFromGdiDib).
struct GpBITMAPINFOHEADER {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // positive: rows bottom-up
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;  // 0: BI_RGB, 3: BI_BITFIELDS
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
struct GpBITMAPINFO {
    GpBITMAPINFOHEADER bmiHeader;
    TRGBQuad bmiColors[1];
};

// Opaque handles of the library's objects.
struct GpGraphics;
struct GpRegion;
struct GpPath;
struct GpBrush;
struct GpSolidFill;
struct GpLineGradient;
struct GpTexture;
struct GpPen;
struct GpMatrix;
struct GpImage;
struct GpBitmap;
struct GpMetafile;
struct GpImageAttributes;
struct GpFont;
// Types of neighbouring platform interfaces that the flat API takes.
using GpIStream = IStream;
struct GpHPALETTE__;
using GpHPALETTE = GpHPALETTE__*;

struct GpPointF {
    GpREAL X = 0;
    GpREAL Y = 0;
};

struct GpRectF {
    GpREAL X = 0;
    GpREAL Y = 0;
    GpREAL Width = 0;
    GpREAL Height = 0;
};

struct GpColorMatrix {
    GpREAL m[5][5] = {};
};

using GpDebugEventProc = void (*)(GpDebugEventLevel Level, char* Message);
using GpNotificationHookProc = TGPStatus (*)(GpULONG_PTR* Token);
using GpNotificationUnhookProc = void (*)(GpULONG_PTR Token);
using GpDrawImageAbort = int32_t (*)(void* Data);

struct GdiplusStartupInput {
    uint32_t GdiplusVersion = 1;
    GpDebugEventProc DebugEventCallback = nullptr;
    int32_t SuppressBackgroundThread = 0;
    int32_t SuppressExternalCodecs = 0;
};

// Filled by GdiplusStartup when the background thread is suppressed.
struct TGdiplusStartupOutput {
    GpNotificationHookProc NotificationHook = nullptr;
    GpNotificationUnhookProc NotificationUnhook = nullptr;
};

// One image codec as GdipGetImageEncoders lists it. The strings and the
// signature bytes live in the same buffer, after the records.
struct ImageCodecInfo {
    CLSID Clsid;
    TGUID FormatID;
    const GpWCHAR* CodecName = nullptr;
    const GpWCHAR* DllName = nullptr;
    const GpWCHAR* FormatDescription = nullptr;
    const GpWCHAR* FilenameExtension = nullptr;
    const GpWCHAR* MimeType = nullptr;
    uint32_t Flags = 0;
    uint32_t Version = 0;
    uint32_t SigCount = 0;
    uint32_t SigSize = 0;
    const uint8_t* SigPattern = nullptr;
    const uint8_t* SigMask = nullptr;
};

struct EncoderParameter {
    TGUID Guid;
    uint32_t NumberOfValues = 0;
    uint32_t Type = 0;
    void* Value = nullptr;
};

// Count parameters follow in the same buffer; the library declares one.
struct EncoderParameters {
    uint32_t Count = 0;
    EncoderParameter Parameter[1];
};

struct PropertyItem {
    GpPROPID id = 0;
    uint32_t length = 0;
    uint16_t type = 0;
    void* value = nullptr;
};

// Every entry point the binding looks up, each as
// X(name, result type, parameter list). The list is the one place the names
// are written; the binding's fields and look-ups are generated from it.
// clang-format off
#define VPL_GDIPLUS_ENTRY_POINTS(X)                                                                \
    X(GdiplusStartup, TGPStatus,                                                                   \
      (GpULONG_PTR* Token, const GdiplusStartupInput* Input, TGdiplusStartupOutput* Output))       \
    X(GdiplusShutdown, void, (GpULONG_PTR Token))                                                  \
    X(GdipCreateFromHDC, TGPStatus, (HDC Dc, GpGraphics** Graphics))                               \
    X(GdipDeleteGraphics, TGPStatus, (GpGraphics* Graphics))                                       \
    X(GdipSetSmoothingMode, TGPStatus, (GpGraphics* Graphics, GpSmoothingMode Mode))               \
    X(GdipSetPixelOffsetMode, TGPStatus, (GpGraphics* Graphics, GpPixelOffsetMode Mode))           \
    X(GdipSetInterpolationMode, TGPStatus, (GpGraphics* Graphics, GpInterpolationMode Mode))       \
    X(GdipSetCompositingMode, TGPStatus, (GpGraphics* Graphics, GpCompositingMode Mode))           \
    X(GdipSetCompositingQuality, TGPStatus, (GpGraphics* Graphics, GpCompositingQuality Quality))  \
    X(GdipSetPageUnit, TGPStatus, (GpGraphics* Graphics, GpUnit Unit))                             \
    X(GdipGetImageGraphicsContext, TGPStatus, (GpImage* Image, GpGraphics** Graphics))             \
    X(GdipGraphicsClear, TGPStatus, (GpGraphics* Graphics, GpARGB Color))                          \
    X(GdipCreateRegion, TGPStatus, (GpRegion** Region))                                            \
    X(GdipGetClip, TGPStatus, (GpGraphics* Graphics, GpRegion* Region))                            \
    X(GdipDeleteRegion, TGPStatus, (GpRegion* Region))                                             \
    X(GdipSetClipRegion, TGPStatus,                                                                \
      (GpGraphics* Graphics, GpRegion* Region, GpCombineMode Mode))                                \
    X(GdipCreatePath, TGPStatus, (GpFillMode Mode, GpPath** Path))                                 \
    X(GdipDeletePath, TGPStatus, (GpPath* Path))                                                   \
    X(GdipAddPathLine, TGPStatus, (GpPath* Path, GpREAL X1, GpREAL Y1, GpREAL X2, GpREAL Y2))      \
    X(GdipClosePathFigure, TGPStatus, (GpPath* Path))                                              \
    X(GdipAddPathBezier, TGPStatus,                                                                \
      (GpPath* Path, GpREAL X1, GpREAL Y1, GpREAL X2, GpREAL Y2, GpREAL X3, GpREAL Y3, GpREAL X4,  \
       GpREAL Y4))                                                                                 \
    X(GdipFillPath, TGPStatus, (GpGraphics* Graphics, GpBrush* Brush, GpPath* Path))               \
    X(GdipDrawPath, TGPStatus, (GpGraphics* Graphics, GpPen* Pen, GpPath* Path))                   \
    X(GdipSetPathFillMode, TGPStatus, (GpPath* Path, GpFillMode Mode))                             \
    X(GdipSetClipPath, TGPStatus, (GpGraphics* Graphics, GpPath* Path, GpCombineMode Mode))        \
    X(GdipStartPathFigure, TGPStatus, (GpPath* Path))                                              \
    X(GdipGetPointCount, TGPStatus, (GpPath* Path, int32_t* Count))                                \
    X(GdipGetVisibleClipBounds, TGPStatus, (GpGraphics* Graphics, GpRectF* Rect))                  \
    X(GdipGetPathWorldBounds, TGPStatus,                                                           \
      (GpPath* Path, GpRectF* Bounds, const GpMatrix* Matrix, const GpPen* Pen))                   \
    X(GdipCreatePath2, TGPStatus,                                                                  \
      (const GpPointF* Points, const uint8_t* Types, int32_t Count, GpFillMode Mode,               \
       GpPath** Path))                                                                             \
    X(GdipCreateSolidFill, TGPStatus, (GpARGB Color, GpSolidFill** Brush))                         \
    X(GdipDeleteBrush, TGPStatus, (GpBrush* Brush))                                                \
    X(GdipCreateLineBrush, TGPStatus,                                                              \
      (const GpPointF* Point1, const GpPointF* Point2, GpARGB Color1, GpARGB Color2,               \
       GpWrapMode Wrap, GpLineGradient** Brush))                                                   \
    X(GdipSetLinePresetBlend, TGPStatus,                                                           \
      (GpLineGradient* Brush, const GpARGB* Blend, const GpREAL* Positions, int32_t Count))        \
    X(GdipSetLineTransform, TGPStatus, (GpLineGradient* Brush, const GpMatrix* Matrix))            \
    X(GdipCreateTexture2, TGPStatus,                                                               \
      (GpImage* Image, GpWrapMode Wrap, GpREAL X, GpREAL Y, GpREAL Width, GpREAL Height,           \
       GpTexture** Texture))                                                                       \
    X(GdipSetTextureTransform, TGPStatus, (GpTexture* Texture, const GpMatrix* Matrix))            \
    X(GdipMultiplyTextureTransform, TGPStatus,                                                     \
      (GpTexture* Texture, const GpMatrix* Matrix, GpMatrixOrder Order))                           \
    X(GdipScaleTextureTransform, TGPStatus,                                                        \
      (GpTexture* Texture, GpREAL Sx, GpREAL Sy, GpMatrixOrder Order))                             \
    X(GdipCreatePen1, TGPStatus, (GpARGB Color, GpREAL Width, GpUnit Unit, GpPen** Pen))           \
    X(GdipCreatePen2, TGPStatus, (GpBrush* Brush, GpREAL Width, GpUnit Unit, GpPen** Pen))         \
    X(GdipDeletePen, TGPStatus, (GpPen* Pen))                                                      \
    X(GdipSetPenDashArray, TGPStatus, (GpPen* Pen, const GpREAL* Dash, int32_t Count))             \
    X(GdipSetPenDashOffset, TGPStatus, (GpPen* Pen, GpREAL Offset))                                \
    X(GdipSetPenLineJoin, TGPStatus, (GpPen* Pen, GpLineJoin Join))                                \
    X(GdipSetPenStartCap, TGPStatus, (GpPen* Pen, GpLineCap Cap))                                  \
    X(GdipSetPenEndCap, TGPStatus, (GpPen* Pen, GpLineCap Cap))                                    \
    X(GdipSetPenMiterLimit, TGPStatus, (GpPen* Pen, GpREAL Limit))                                 \
    X(GdipSetPenDashCap197819, TGPStatus, (GpPen* Pen, GpDashCap Cap))                             \
    X(GdipSetPenTransform, TGPStatus, (GpPen* Pen, GpMatrix* Matrix))                              \
    X(GdipGetPenTransform, TGPStatus, (GpPen* Pen, GpMatrix* Matrix))                              \
    X(GdipGetMatrixElements, TGPStatus, (const GpMatrix* Matrix, GpREAL* Elements))                \
    X(GdipSetMatrixElements, TGPStatus,                                                            \
      (GpMatrix* Matrix, GpREAL M11, GpREAL M12, GpREAL M21, GpREAL M22, GpREAL Dx, GpREAL Dy))    \
    X(GdipResetPenTransform, TGPStatus, (GpPen* Pen))                                              \
    X(GdipScalePenTransform, TGPStatus, (GpPen* Pen, GpREAL Sx, GpREAL Sy, GpMatrixOrder Order))   \
    X(GdipSetWorldTransform, TGPStatus, (GpGraphics* Graphics, GpMatrix* Matrix))                  \
    X(GdipLoadImageFromStream, TGPStatus, (GpIStream* Stream, GpImage** Image))                    \
    X(GdipLoadImageFromStreamICM, TGPStatus, (GpIStream* Stream, GpImage** Image))                 \
    X(GdipSaveImageToStream, TGPStatus,                                                            \
      (GpImage* Image, GpIStream* Stream, const CLSID* Encoder,                                    \
       const EncoderParameters* Params))                                                           \
    X(GdipLoadImageFromFile, TGPStatus, (const GpWCHAR* FileName, GpImage** Image))                \
    X(GdipSaveImageToFile, TGPStatus,                                                              \
      (GpImage* Image, const GpWCHAR* FileName, const CLSID* Encoder,                              \
       const EncoderParameters* Params))                                                           \
    X(GdipDisposeImage, TGPStatus, (GpImage* Image))                                               \
    X(GdipDrawImageRect, TGPStatus,                                                                \
      (GpGraphics* Graphics, GpImage* Image, GpREAL X, GpREAL Y, GpREAL Width, GpREAL Height))     \
    X(GdipDrawImagePoints, TGPStatus,                                                              \
      (GpGraphics* Graphics, GpImage* Image, const GpPointF* Points, int32_t Count))               \
    X(GdipDrawImagePointsRect, TGPStatus,                                                          \
      (GpGraphics* Graphics, GpImage* Image, const GpPointF* Points, int32_t Count, GpREAL SrcX,   \
       GpREAL SrcY, GpREAL SrcWidth, GpREAL SrcHeight, GpUnit SrcUnit,                             \
       const GpImageAttributes* Attributes, GpDrawImageAbort Callback, void* CallbackData))        \
    X(GdipDrawImageI, TGPStatus, (GpGraphics* Graphics, GpImage* Image, int32_t X, int32_t Y))     \
    X(GdipDrawImageRectI, TGPStatus,                                                               \
      (GpGraphics* Graphics, GpImage* Image, int32_t X, int32_t Y, int32_t Width,                  \
       int32_t Height))                                                                            \
    X(GdipDrawImagePointRectI, TGPStatus,                                                          \
      (GpGraphics* Graphics, GpImage* Image, int32_t X, int32_t Y, int32_t SrcX, int32_t SrcY,     \
       int32_t SrcWidth, int32_t SrcHeight, GpUnit SrcUnit))                                       \
    X(GdipGetImageDimension, TGPStatus, (GpImage* Image, GpREAL* Width, GpREAL* Height))           \
    X(GdipGetImageWidth, TGPStatus, (GpImage* Image, uint32_t* Width))                             \
    X(GdipGetImageHeight, TGPStatus, (GpImage* Image, uint32_t* Height))                           \
    X(GdipGetImageHorizontalResolution, TGPStatus, (GpImage* Image, GpREAL* Resolution))           \
    X(GdipGetImageVerticalResolution, TGPStatus, (GpImage* Image, GpREAL* Resolution))             \
    X(GdipGetImagePixelFormat, TGPStatus, (GpImage* Image, GpPixelFormat* Format))                 \
    X(GdipImageGetFrameDimensionsCount, TGPStatus, (GpImage* Image, uint32_t* Count))              \
    X(GdipImageGetFrameDimensionsList, TGPStatus,                                                  \
      (GpImage* Image, TGUID* DimensionIDs, uint32_t Count))                                       \
    X(GdipImageGetFrameCount, TGPStatus,                                                           \
      (GpImage* Image, const TGUID* DimensionID, uint32_t* Count))                                 \
    X(GdipImageSelectActiveFrame, TGPStatus,                                                       \
      (GpImage* Image, const TGUID* DimensionID, uint32_t FrameIndex))                             \
    X(GdipSetImageAttributesColorKeys, TGPStatus,                                                  \
      (GpImageAttributes* Attributes, GpColorAdjustType Type, int32_t Enable, GpARGB Low,          \
       GpARGB High))                                                                               \
    X(GdipCreateImageAttributes, TGPStatus, (GpImageAttributes** Attributes))                      \
    X(GdipDisposeImageAttributes, TGPStatus, (GpImageAttributes* Attributes))                      \
    X(GdipSetImageAttributesColorMatrix, TGPStatus,                                                \
      (GpImageAttributes* Attributes, GpColorAdjustType Type, int32_t Enable,                      \
       const GpColorMatrix* ColorMatrix, const GpColorMatrix* GrayMatrix,                          \
       GpColorMatrixFlags Flags))                                                                  \
    X(GdipGetImageEncodersSize, TGPStatus, (uint32_t* NumEncoders, uint32_t* Size))                \
    X(GdipGetImageEncoders, TGPStatus,                                                             \
      (uint32_t NumEncoders, uint32_t Size, ImageCodecInfo* Encoders))                             \
    X(GdipGetEncoderParameterListSize, TGPStatus,                                                  \
      (GpImage* Image, const CLSID* Encoder, uint32_t* Size))                                      \
    X(GdipGetEncoderParameterList, TGPStatus,                                                      \
      (GpImage* Image, const CLSID* Encoder, uint32_t Size, EncoderParameters* Buffer))            \
    X(GdipGetPropertyItem, TGPStatus,                                                              \
      (GpImage* Image, GpPROPID Id, uint32_t Size, PropertyItem* Buffer))                          \
    X(GdipSetPropertyItem, TGPStatus, (GpImage* Image, const PropertyItem* Item))                  \
    X(GdipGetPropertyCount, TGPStatus, (GpImage* Image, uint32_t* Count))                          \
    X(GdipGetAllPropertyItems, TGPStatus,                                                          \
      (GpImage* Image, uint32_t TotalSize, uint32_t Count, PropertyItem* Items))                   \
    X(GdipRecordMetafileFileName, TGPStatus,                                                       \
      (const GpWCHAR* FileName, HDC ReferenceDc, GpEmfType Type, const GpRectF* FrameRect,         \
       GpMetafileFrameUnit FrameUnit, const GpWCHAR* Description, GpMetafile** Metafile))          \
    X(GdipRecordMetafileStream, TGPStatus,                                                         \
      (GpIStream* Stream, HDC ReferenceDc, GpEmfType Type, const GpRectF* FrameRect,               \
       GpMetafileFrameUnit FrameUnit, const GpWCHAR* Description, GpMetafile** Metafile))          \
    X(GdipCreateBitmapFromGraphics, TGPStatus,                                                     \
      (int32_t Width, int32_t Height, GpGraphics* Target, GpBitmap** Bitmap))                      \
    X(GdipCreateBitmapFromScan0, TGPStatus,                                                        \
      (int32_t Width, int32_t Height, int32_t Stride, GpPixelFormat Format, uint8_t* Scan0,        \
       GpBitmap** Bitmap))                                                                         \
    X(GdipCreateBitmapFromGdiDib, TGPStatus,                                                       \
      (const GpBITMAPINFO* Info, void* Bits, GpBitmap** Bitmap))                                   \
    X(GdipCreateBitmapFromHBITMAP, TGPStatus,                                                      \
      (HBITMAP Bitmap, GpHPALETTE Palette, GpBitmap** Result))                                     \
    X(GdipBitmapSetResolution, TGPStatus, (GpBitmap* Bitmap, GpREAL XDpi, GpREAL YDpi))            \
    X(GdipCreateMatrix2, TGPStatus,                                                                \
      (GpREAL M11, GpREAL M12, GpREAL M21, GpREAL M22, GpREAL Dx, GpREAL Dy, GpMatrix** Matrix))   \
    X(GdipInvertMatrix, TGPStatus, (GpMatrix* Matrix))                                             \
    X(GdipCreateFontFromDC, TGPStatus, (HDC Dc, GpFont** Font))                                    \
    X(GdipDeleteFont, TGPStatus, (GpFont * Font))                                                  \
    X(GdipDrawDriverString, TGPStatus,                                                             \
      (GpGraphics* Graphics, const uint16_t* Text, int32_t Length, const GpFont* Font,             \
       const GpBrush* Brush, const GpPointF* Positions, int32_t Flags, const GpMatrix* Matrix))    \
    X(GdipDeleteMatrix, TGPStatus, (GpMatrix* Matrix))
// clang-format on

// The facade's own functions, one per entry point of the list, in namespace
// velmo::gdiplus so they never clash with a binding's fields.
namespace gdiplus {
#define VPL_GDIPLUS_DECLARE(Name, Result, Params) Result Name Params;
VPL_GDIPLUS_ENTRY_POINTS(VPL_GDIPLUS_DECLARE)
#undef VPL_GDIPLUS_DECLARE
}  // namespace gdiplus

// Registers the facade as the in-process module "gdiplus.dll" (harmless when
// it is registered already). Call it before loading the module.
void RegisterGdiPlusModule();
// The facade's export table: every entry point of the list by name.
TModuleExports GdiPlusExports();

}  // namespace velmo
