// Run-time binding of the GDI+ flat API ("gdiplus.dll").
//
// Nothing is linked statically: the binding loads the library by name, looks
// up every entry point it knows into a function-pointer field of the same
// name, and reports a missing library or a missing entry point as a status
// rather than failing. The canvas that owns a binding falls back to plain GDI
// when the status is not gpReady.
//
// Records (codec information, encoder parameters, property items, start-up
// records) are declared with the fields the platform documents, so their
// size and layout follow the pointer width of the build. Handles of the
// library's objects are pointers to opaque structures.
#pragma once

#include <cstdint>
#include <string>

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

struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    uint8_t D4[8] = {};
};
using CLSID = TGUID;

inline bool operator==(const TGUID& A, const TGUID& B) {
    if (A.D1 != B.D1 || A.D2 != B.D2 || A.D3 != B.D3) return false;
    for (int I = 0; I < 8; ++I)
        if (A.D4[I] != B.D4[I]) return false;
    return true;
}

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
// Opaque types of neighbouring platform interfaces that the flat API takes.
struct GpIStream;
struct GpBITMAPINFO;
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
    X(GdipDrawDriverString, TGPStatus,                                                             \
      (GpGraphics* Graphics, const uint16_t* Text, int32_t Length, const GpFont* Font,             \
       const GpBrush* Brush, const GpPointF* Positions, int32_t Flags, const GpMatrix* Matrix))    \
    X(GdipDeleteMatrix, TGPStatus, (GpMatrix* Matrix))
// clang-format on

class TKVPLGDIPlus {
public:
#define VPL_GDIPLUS_FIELD_TYPE(Name, Result, Params) using T##Name = Result(*) Params;
    VPL_GDIPLUS_ENTRY_POINTS(VPL_GDIPLUS_FIELD_TYPE)
#undef VPL_GDIPLUS_FIELD_TYPE

    TKVPLGDIPlus() = default;
    ~TKVPLGDIPlus();
    TKVPLGDIPlus(const TKVPLGDIPlus&) = delete;
    TKVPLGDIPlus& operator=(const TKVPLGDIPlus&) = delete;

    // Drops what is bound, then loads FileName (nullptr: "gdiplus.dll") and
    // binds every entry point. With AllowPiggyBack, a library that is already
    // loaded is used as it is, without counting a load of our own, and is
    // never unloaded by this binding.
    TGDIPlusStatus GDIPlusLoad(const char16_t* FileName, bool AllowPiggyBack);
    // Unloads the library unless it piggy-backs; back to gpUndefined. The
    // function fields keep their values and must not be called afterwards.
    void GDIPlusFree();

    // Class id of the encoder whose MIME type equals Format exactly (letter
    // case counts). False when there is none, when the binding is not ready or
    // when the library fails the request (for instance before start-up).
    bool GetEncoderClsid(const std::u16string& Format, CLSID& Clsid) const;
    // Makes page Page (1-based) of a multi-page image the active frame.
    // gsGenericError when the binding is not ready, when the page count
    // cannot be read, or when Page is 0 or beyond the last page.
    TGPStatus SelectImagePage(GpImage* Image, uint32_t Page) const;

    bool PiggyBack() const { return FPiggyBack; }

private:
    bool FPiggyBack = false;

public:
    HMODULE GDIPlusHandle = nullptr;
    TGDIPlusStatus GDIPlusStatus = gpUndefined;

#define VPL_GDIPLUS_FIELD(Name, Result, Params) T##Name Name = nullptr;
    VPL_GDIPLUS_ENTRY_POINTS(VPL_GDIPLUS_FIELD)
#undef VPL_GDIPLUS_FIELD
};

}  // namespace velmo
