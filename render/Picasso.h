// The device canvas of one render: paths, fills, strokes, clipping, images
// and transparency drawn through one of five drawing models, chosen once per
// canvas.
//
// pmGDI draws on a platform TCanvas with plain device-context calls; pmGDIPlus
// draws through the GDI+ binding on a canvas, a caller's device context or an
// EMF+ recording, and falls back to pmGDI on the same canvas when the library
// cannot be loaded or started; pmHTML5 writes an HTML page whose script draws
// the paths; pmCairo and pmKPLR draw through libraries bound at run time. A
// canvas whose model could not be set up stays at pmUnknown, accepts every
// call and draws nothing.
//
// Coordinates of the path operations are device pixels for every model but
// pmKPLR, which receives user space and the current transform.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/GDIPlusBinding.h"
#include "core/GenericCanvas.h"
#include "core/StringList.h"
#include "core/XForm.h"
#include "fonts/DirectFontCanvas.h"
#include "platform/com/StreamAdapter.h"
#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "render/LibraryBindings.h"
#include "render/PatternDigest.h"

namespace velmo {

using HWND = struct HWND__*;

enum TPDFPicassoModel : uint8_t { pmUnknown, pmGDI, pmGDIPlus, pmHTML5, pmCairo, pmKPLR };
enum TPDFFillMode : uint8_t { pfUnknown, pfWinding, pfAlternate };
enum TKPLImagePrintMode : uint8_t { pmNormal, pmOptimizeImages };
enum TKPLPathCombineMode : uint8_t { cmNormalPaths, cmCombinePaths };
enum TGDIPlusDLLStartup : uint8_t { dsNever, dsNotIfPiggyback, dsAlways };

// The render settings that travel with every render, copied by value.
struct TGDIPlusSettings {
    std::u16string FileName;  // empty: "gdiplus.dll"
    bool Smoothing = false;
    bool UseGDIPlus = false;
    bool AccurateInterpolation = false;
    bool SmoothImages = false;
    bool ProcessNullPath = false;
    int32_t MonoThreshold = 0;
    bool DLLSuppressBackgroundThread = false;
    bool DLLAllowPiggyBack = false;
    TGDIPlusDLLStartup DLLStartup = dsNever;
    int32_t UpdateAppearanceStreams = 0;
    bool RenderFormFields = false;
    bool RenderAnnotations = false;
    bool UseGammaCorrection = false;
    bool IgnoreICCProfiles = false;
    bool RenderFormFieldsOnly = false;
    bool IsPrinting = false;
    int32_t EnhanceThinLines = 0;
    int32_t SmoothingMode = 0;      // 0: not forced
    int32_t InterpolationMode = 0;  // 0: not forced
    int32_t PixelOffsetMode = 0;    // 0: not forced
    TKPLPathCombineMode PathCombineMode = cmNormalPaths;
    bool DirectFonts = false;
    HWND ProgressWindow = nullptr;
    int32_t ProgressMessage = 0;
    int32_t ProgressData = 0;
    int32_t PrintMode = 0;
};

// The defaults every owner of a settings record starts from.
void InitGDIPlusSettings(TGDIPlusSettings& Settings);

// The COM stream through which GDI+ reads and writes a caller's stream (held
// by reference, never owned), with direct access to byte ranges.
class TImageBytesStreamAdapter : public TStreamAdapter {
public:
    // {025D1823-6C7D-447B-BBDB-A3CBC3DFA2FC}: the byte-access interface.
    static const TGUID IID_ByteAccess;

    using TStreamAdapter::TStreamAdapter;

    HRESULT QueryInterface(const TGUID& Iid, void** Object) override;
    // *pcb := the stream's size.
    HRESULT CountBytes(uint64_t* pcb);
    // Reads cb bytes at ulOffset into a new entry of LockedBytes and hands
    // out its first byte. A range that does not lie inside the stream is
    // refused (E_INVALIDARG, nothing appended).
    HRESULT LockBytes(uint32_t cb, uint64_t ulOffset, void** ppvBytes);
    // Empties the entry whose first byte is pvBytes; an unknown pointer is
    // ignored.
    HRESULT UnlockBytes(void* pvBytes, uint32_t cb, uint64_t ulOffset);

    // One entry per lock, never removed: a deque, so the bytes handed out
    // stay where they are while later locks append entries.
    std::deque<std::string> LockedBytes;
};

struct TPDFMetafileInfo {
    bool UseMetafile = false;
    int32_t Width = 0, Height = 0;                // pixels
    TImageBytesStreamAdapter* Adapter = nullptr;  // one reference held
    GpMetafile* MetafileHandle = nullptr;
    HDC MetafileDC = nullptr;
};

struct TPDFDeviceContextInfo {
    bool UseDeviceContext = false;
    int32_t Width = 0, Height = 0;
    HDC TargetDC = nullptr;
};

enum TPDFPicassoHorzAlign : uint8_t { haLeft, haCenter, haRight };
enum TPDFPicassoVertAlign : uint8_t { vaTop, vaCenter, vaBottom };
enum TPDFPicassoRotateAspect : uint8_t { raNone, raClockwise, raAntiClockwise };

struct TPDFPicassoImageAlign {
    bool ShrinkLargeImages = false;
    bool ExpandSmallImages = false;
    TPDFPicassoHorzAlign HorizontalAlignment = haLeft;
    TPDFPicassoVertAlign VerticalAlignment = vaTop;
    TPDFPicassoHorzAlign SmallHorizontalAlignment = haLeft;
    TPDFPicassoVertAlign SmallVerticalAlignment = vaTop;
    TPDFPicassoRotateAspect RotateMatchAspec = raNone;
};

using TGPDashArray = std::vector<float>;

// Hands a 24-bit bitmap to the printer as it is (JPEG or PNG pass-through).
// Answers false, so images are drawn through GDI+, until printing provides
// it; tests put a recording stand-in here.
using TPrintBitmapPassThroughProc = bool (*)(HDC DC, TBitmap& BM, int32_t Left, int32_t Top,
                                             int32_t Width, int32_t Height, int32_t PrintMode);
bool PrintBitmapPassThrough(HDC DC, TBitmap& BM, int32_t Left, int32_t Top, int32_t Width,
                            int32_t Height, int32_t PrintMode);
// Replaces the hook (nullptr restores the default); returns the previous one.
TPrintBitmapPassThroughProc SetPrintBitmapPassThroughHook(TPrintBitmapPassThroughProc Hook);

class TPDFPicasso : public TPDFGenericCanvas, public TPDFDirectFontCanvas {
public:
    TPDFPicasso();
    ~TPDFPicasso() override;
    TPDFPicasso(const TPDFPicasso&) = delete;
    TPDFPicasso& operator=(const TPDFPicasso&) = delete;

    // Models and set-up.
    void UseGDIModel(TCanvas* Canvas);
    void UseGDIPlusModel(TCanvas* Canvas, const TGDIPlusSettings& Settings);
    void UseCairoModel(HDC TargetDC, const std::u16string& CairoDLL, bool EraseBackground);
    void UseRendererModel(HDC TargetDC, const std::u16string& RendererDLL, bool EraseBackground);
    void UseRendererModelMemory(int32_t Width, int32_t Height, const std::u16string& RendererDLL);
    void UseHTML5Model(TStream* Target);
    // Before UseGDIPlusModel: draw into an EMF+ recording written to Target,
    // or on a caller's device context, instead of on a canvas.
    void SetupMetafile(int32_t Width, int32_t Height, TStream& Target);
    void SetupDeviceContext(int32_t Width, int32_t Height, HDC TargetDC);

    // Finishing.
    void FinishKPLR(HDC TargetDC);
    void FinishKPLRMemory(void* Target, int32_t Width, int32_t Height, int32_t BitsPerPixel);
    void FinishHTML5(int32_t Width, int32_t Height);

    // Graphics state.
    void SetFillColor(uint8_t Red, uint8_t Green, uint8_t Blue);
    void SetFillColor(uint32_t Color);
    void SetStrokeColor(uint8_t Red, uint8_t Green, uint8_t Blue);
    void SetStrokeColor(uint32_t Color);
    void SetFillPattern(const TVPLPattern* Pattern);
    // The fill pattern with the matrix from pattern space to the device;
    // ForShading: painted by the sh operator (no /Background).
    void SetFillPattern(const TVPLPattern* Pattern, const TPDFXForm& PatternToDevice,
                        bool ForShading);
    void SetStrokePattern(const TVPLPattern* Pattern);
    // The stroke pattern with the matrix from pattern space to the device.
    void SetStrokePattern(const TVPLPattern* Pattern, const TPDFXForm& PatternToDevice);
    void SetFillAlpha(double NewFillAlpha);
    void SetStrokeAlpha(double NewStrokeAlpha);
    void SetBlendMode(TPDFBlendMode NewBlendMode);
    void SetLineCapStyle(int32_t Style);
    void SetLineJoinStyle(int32_t Style);
    void SetMiterLimit(double Limit);
    void SetLineWidth(double NewWidth);
    void SetLineDash(const TGPDashArray& DashArray, double Phase);
    void SetLineDashDouble(const std::vector<double>& DashArray, double Phase);
    void SetFillMode(TPDFFillMode NewMode);

    // State stack and transform.
    void SaveState();
    void RestoreState();
    void SetCurrentXForm(const TPDFXForm& NewCurrentXForm) override;
    TPDFXForm GetCurrentXForm() override;
    void SetPageMatrix(const TPDFXForm& MR);

    // GDI+ clip snapshots: the current clip as a region kept until the
    // canvas is freed (nullptr outside pmGDIPlus), and putting one back.
    GpRegion* GetCurrentClipRegion();
    void SetClippingRegion(GpRegion* ClipRegion);

    // GDI+ quality modes.
    void SetGDIPlusTextMode();
    void SetGDIPlusImageMode();
    void SetFastestMode();
    HDC GetDeviceContext() const { return FDeviceContextInfo.TargetDC; }

    // GDI+ ARGB of the fill and stroke colours with their alphas.
    GpARGB FillARGB() const;
    GpARGB StrokeARGB() const;

    // A binding made only for image conversions in the other models.
    void SetupPrivateGDIPlus();
    void ReleasePrivateGDIPlus();

    // Paths.
    void BeginPath() override;
    void MoveTo(double NewX, double NewY) override;
    void AddLineToPath(double EndX, double EndY) override;
    void AddBezierToPath(double CtAX, double CtAY, double CtBX, double CtBY, double EndX,
                         double EndY) override;
    void AddQBezierToPath(double QX, double QY, double EndX, double EndY) override;
    void ClosePath() override;
    void StrokePath() override;
    void FillPath() override;
    void StrokeAndFillPath() override;
    // The clip is applied by the next painting or no-paint operation.
    void SetClippingPath(TPDFFillMode FillMode);
    void NullPath();
    void FillClippingPath();
    void GetPathBounds(GpRectF* Bounds);

    // Images.
    void DrawBitmap(TBitmap* BM, double& ULX, double& ULY, double& URX, double& URY, double& LLX,
                    double& LLY) override;
    void DrawImage(double Left, double Top, double Width, double Height, TBitmap& BM);
    void DrawAnyImage(double Left, double Top, double Width, double Height, TStream& Stream,
                      int32_t Page, bool UseICM);
    void DrawImagePoints(double ULX, double ULY, double URX, double URY, double LLX, double LLY,
                         TBitmap& BM);
    // The same for a pf32bit raster of blue, green, red and straight alpha,
    // handed to GDI+ as it is (no encoded round trip): masked images,
    // stencils in their fill colour and colour-keyed images arrive so.
    void DrawImagePointsAlpha(double ULX, double ULY, double URX, double URY, double LLX,
                              double LLY, TBitmap& BM);
    void DrawAnyImagePoints(double ULX, double ULY, double URX, double URY, double LLX, double LLY,
                            TStream& Stream);
    void DrawAnyImagePointsChroma(double ULX, double ULY, double URX, double URY, double LLX,
                                  double LLY, TStream& Stream, int32_t Width, int32_t Height,
                                  uint32_t Min, uint32_t Max);
    void DrawTransparentImage(double ULX, double ULY, double URX, double URY, double LLX,
                              double LLY, TStream& Stream, double Transparency);
    void DrawAnyImageFast(int32_t Left, int32_t Top, int32_t Width, int32_t Height,
                          TStream& Stream);
    void DrawAnyImageAlign(double Left, double Top, double Width, double Height, double HDPI,
                           double VDPI, const TPDFPicassoImageAlign& Alignment, TStream& Stream);
    // Corners (L, T), (R, T), (R, B), (L, B) of an IW × IH image placed in
    // a box, all in inches, rotated as the alignment asks.
    static std::array<TPDFDoublePoint, 4> ComputeAlignedImagePoints(
        double IW, double IH, double BoxLeft, double BoxTop, double BoxWidth, double BoxHeight,
        const TPDFPicassoImageAlign& Alignment);
    void DrawDirectImage(const void* Source, int32_t RowLength, int32_t Width, int32_t Height,
                         int32_t Format, bool Interpolate, int32_t Min, int32_t Max);
    void DrawDirectImageWithPalette(const void* Source, int32_t RowLength, int32_t Width,
                                    int32_t Height, int32_t Format, const void* Palette,
                                    bool Interpolate, int32_t Min, int32_t Max);
    void DrawStencilImage(const void* Source, int32_t RowLength, int32_t Width, int32_t Height,
                          int32_t Format, const void* Palette, bool Interpolate);
    // A stencil mask painted with the fill pattern (GDI+ and cairo models):
    // BM is a pf32bit raster whose alpha is the stencil, placed as
    // DrawImagePointsAlpha places it. The pattern is drawn over the image's
    // area and laid onto the page through the stencil's device coverage.
    // False when the model cannot do it (nothing is drawn then).
    bool DrawStencilWithFillPattern(double ULX, double ULY, double URX, double URY, double LLX,
                                    double LLY, const TBitmap& BM);
    void DrawDirectString(GpFont* Font, char16_t UnicodeChar, const TPDFXForm& TextMatrix) override;
    // The GDI+ binding while the model is pmGDIPlus: installed-font glyphs
    // may then be drawn as text.
    TKVPLGDIPlus* DirectFontGDIPlus() override {
        return FModel == pmGDIPlus ? FGDIPlus.get() : nullptr;
    }

    // Conversions through the canvas's GDI+ binding.
    bool ConvertStream(TStream& InputStream, TStream& OutputStream, const TGUID& Encoder);
    bool ConvertStreamToG4(TStream& InputStream, TStream& OutputStream);
    bool ConvertFile(const std::u16string& InputFile, const std::u16string& OutputFile,
                     const TGUID& Encoder);
    // A BMP or JPEG stream re-encoded as PNG; nullptr for anything else.
    std::unique_ptr<TMemoryStream> CairoConvertImage(TStream& Stream);
    // The image of a BMP, PNG or other stream as a bitmap; nullptr when none.
    std::unique_ptr<TBitmap> KPLRConvertImage(TStream& Stream);
    // Renderer-library pixel format (0 = 32, 1 = 24, 2 = 8, 3 = 1 bits, −1
    // other) and row length in bytes of a bitmap (0 for another format).
    static void KPLRImageLayout(const TBitmap& BM, int32_t& Format, int32_t& RowLength);

    // HTML5 page output.
    void HTML5Write(const std::string& HTMLCommand);
    static std::string HTML5Number(double Number);
    static std::string HTML5HexColor(int32_t Value);

    // GDI+ brush of an axial or coloured-tile pattern of the fill or the
    // stroke; nullptr for the others. The caller deletes it.
    GpBrush* CreatePatternBrush(const TVPLPattern* Pattern, bool Stroke = false);
    // GDI+ soft-mask layers: what is drawn after BeginMaskLayer goes to a
    // transparent W × H layer, which EndMaskLayer lays onto what was drawn
    // before through Mask (W × H coverage bytes, row-major). False (and
    // drawing stays where it was) outside the GDI+ model or when the layer
    // cannot be made.
    bool BeginMaskLayer(int32_t W, int32_t H);
    void EndMaskLayer(const std::vector<uint8_t>& Mask);
    int32_t MaskLayerCount() const { return int32_t(FMaskLayers.size()); }
    // The pixels the last GDI+ layer changed when it ended (empty: none).
    const RECT& LastMaskBox() const { return FLastMaskBox; }
    // GDI+: a device-space texture of a shading drawn by our rasteriser over
    // the current path's bounds within the visible clip (for a stroke the
    // whole visible clip); nullptr when nothing would be painted.
    GpBrush* CreateShadingBrush(const TVPLPattern* Pattern, bool Stroke = false);

    // Pattern paint of the library models (PicassoLibrary.cpp): the
    // context's source for a cairo fill or stroke, the pattern or shading
    // set-up of the renderer library (PatternP is the address of the canvas
    // field holding the pattern, Stroke the slot: 0 fill, 1 stroke), and
    // the renderer library's shading paint of the fill pattern.
    void SetupCairoPattern(const TVPLPattern* Pattern, bool Stroke = false);
    void SetupKPLRPattern(const TVPLPattern* const* PatternP, int32_t Stroke);
    void DrawShading();

    // cairo layers for transparency groups. Layers are sized to the current
    // surface; the group code removes them before the canvas goes.
    void NewCairoSurface(cairo_surface_t*& OldSurface, cairo_surface_t*& NewSurface,
                         cairo_t*& OldContext, cairo_t*& NewContext, bool OnlyAlpha);
    void SelectCairoSurface(cairo_surface_t* Surface, cairo_t* Context);
    void RemoveCairoSurface(cairo_surface_t* Surface, cairo_t* Context);
    // Knock-out mode: until CancelCairoBackdrop, every fill first puts the
    // backdrop back under its shape, so objects of the group do not show
    // through one another.
    void SetCairoBackdrop(cairo_surface_t* PunchSurface, cairo_surface_t* BackdropSurface,
                          cairo_t* PunchContext, cairo_t* BackdropContext, bool Isolate);
    void CancelCairoBackdrop(cairo_surface_t* Surface, cairo_t* Context);
    void CairoClearPunchSurface();
    // Where the punch surface has coverage the page becomes white and then
    // receives the layer.
    void DrawIsolatedCairoSurface(cairo_surface_t* PunchSurface, cairo_surface_t* LayerSurface);
    void BeginGroup();
    void EndGroup(double Alpha, TPDFBlendMode BlendMode);
    cairo_surface_t* CairoSurface() const { return FCairoSurface; }
    cairo_t* CairoHandle() const { return FCairoHandle; }
    TCairoDLL* CairoDLL() const { return FCairoDLL.get(); }
    const TVPLPattern* StrokePattern() const { return FStrokePattern; }

    // Properties.
    TPDFPicassoModel Model() const { return FModel; }
    TKVPLGDIPlus* GDIPlus() const { return FGDIPlus.get(); }
    GpGraphics* Graphics() const { return FGraphics; }
    GpPath* Path() const { return FPath; }
    void SetPath(GpPath* Path) { FPath = Path; }
    double LineWidth() const { return FLineWidth; }
    TKPLImagePrintMode ImagePrintMode() const { return FImagePrintMode; }
    void SetImagePrintMode(TKPLImagePrintMode Mode) { FImagePrintMode = Mode; }
    TKPLPathCombineMode PathCombineMode() const { return FPathCombineMode; }
    void SetPathCombineMode(TKPLPathCombineMode Mode) { FPathCombineMode = Mode; }
    const TVPLPattern* FillPattern() const { return FFillPattern; }
    double PageHeight() const { return FPageHeight; }
    void SetPageHeight(double Height) { FPageHeight = Height; }
    const CLSID& BMPEncoderGUID() const { return FBMPEncoderGUID; }
    const CLSID& PNGEncoderGUID() const { return FPNGEncoderGUID; }
    TKorbexPDFLibraryKPLR* RendererDLL() const { return FRendererDLL.get(); }
    PKPLR_renderer_t RendererHandle() const { return FRendererHandle; }
    void SetRendererHandle(PKPLR_renderer_t Handle) { FRendererHandle = Handle; }
    const TPDFXForm& StartMatrix() const { return FStartMatrix; }
    void SetStartMatrix(const TPDFXForm& Matrix) { FStartMatrix = Matrix; }

    // Read access for the drawing code's neighbours and tests.
    const TGDIPlusSettings& Settings() const { return FSettings; }
    const TGPDashArray& LineDashArray() const { return FLineDashArray; }
    const std::vector<GpPointF>& CombinedPathPoints() const { return FCombinedPathPoints; }
    const std::vector<uint8_t>& CombinedPathPointTypes() const { return FCombinedPathPointTypes; }
    int32_t CombinedPathPointCount() const { return FCombinedPathPointCount; }
    int32_t ClipRegionCount() const { return FClipRegionCount; }
    // Allocated entries of the clip snapshot array.
    size_t ClipRegionCapacity() const { return FClipRegions.size(); }
    bool IsClippingPath() const { return FIsClippingPath; }
    TPDFFillMode FillMode() const { return FFillMode; }
    bool GDIPlusCallStartup() const { return FGDIPlusCallStartup; }
    const TPDFMetafileInfo& MetafileInfo() const { return FMetafileInfo; }
    const TPDFDeviceContextInfo& DeviceContextInfo() const { return FDeviceContextInfo; }
    TVelmoPDFStringList* CustomColors() const { return FCustomColors.get(); }

private:
    bool StartMetafileRecording(HDC ReferenceDC);
    // The fall-back of UseGDIPlusModel: plain GDI on the canvas.
    void FallBackToGDI();
    void ForceQualitySettings();
    void UnloadGDIPlus();
    // Creates the GDI+ path of a combined path and gives a two-point path a
    // zero-length line at its end.
    void PrepareGDIPlusPath();
    GpPen* CreateGDIPlusPen();
    // The pen of the stroke colour, or of the stroke pattern's brush.
    GpPen* CreateGDIPlusPenOf(GpREAL Width, GpUnit Unit);
    GpBrush* CreateGDIPlusBrush();
    // Fills the prepared path with Brush: a pattern's background first, and
    // an axial ramp cut off at the ends it does not extend.
    void GDIPlusFillWith(GpBrush* Brush);
    // The matrix from pattern space to the device of the fill or stroke
    // pattern.
    TPDFXForm PatternToDevice(bool Stroke) const;
    void ApplyGDIPlusClip();
    void DeleteGDIPlusPath();
    void AppendCombinedPoint(double X, double Y, uint8_t Type);
    // Device pixels per user unit of the current transform: the square root
    // of its determinant's magnitude, 1 when that is not a positive finite
    // number.
    double TransformScale() const;
    // The GDI pen width of the line width, at least one pixel.
    int32_t GDIPenWidth() const;
    // A point that reaches a GDI call; false when it is not finite.
    bool GDIReady();
    void GDIFinish(bool Fill, bool Stroke);
    void KPLRPrepare();
    // The knock-out step of a cairo fill while a backdrop is active.
    void CairoKnockOut();
    // The stroke width in device pixels for cairo.
    double CairoLineWidth() const;
    // The cairo source of a fill or stroke: its pattern, else its colour.
    void CairoSource(bool Stroke);
    // A cairo source of a shading drawn by our rasteriser over the visible
    // clip: a device-space image at its pixel position (transparent when
    // nothing can be drawn).
    void CairoImageSource(const TVPLShading& Shading, const TPDFXForm& ToDevice, double Alpha);
    // A tiling pattern's rendered tile repeated over the plane.
    void CairoTileSource(const TVPLPattern& Pattern, bool Stroke, double Alpha);
    // The renderer library's source of a fill or stroke.
    void KPLRSource(bool Stroke);

    double FX = 0, FY = 0;
    TGDIPlusSettings FSettings;
    uint32_t FFillColor = 0, FStrokeColor = 0;
    double FLineWidth = 0;
    int32_t FLineCapStyle = 0, FLineJoinStyle = 0;
    double FMiterLimit = 0;
    TGPDashArray FLineDashArray;
    double FLineDashPhase = 0;
    std::vector<double> FLineDashDoubleArray;
    double FLineDashDoublePhase = 0;
    TPDFPicassoModel FModel = pmUnknown;
    std::unique_ptr<TKVPLGDIPlus> FGDIPlus;
    TCanvas* FCanvas = nullptr;
    double FStrokeAlpha = 1.0, FFillAlpha = 1.0;
    TPDFBlendMode FBlendMode = bmNormal;
    TPDFFillMode FFillMode = pfUnknown;
    bool FIsClippingPath = false;
    std::unique_ptr<TVelmoPDFStringList> FCustomColors;
    bool FNeedClipRegion = true;
    GpRegion* FLastClipRegion = nullptr;
    const TVPLPattern* FFillPattern = nullptr;
    const TVPLPattern* FStrokePattern = nullptr;
    struct TMaskLayer {
        GpGraphics* Saved = nullptr;
        GpBitmap* Bitmap = nullptr;
        std::vector<uint32_t> Pixels;  // premultiplied ARGB
        int32_t Width = 0, Height = 0;
        bool Cairo = false;  // a cairo group instead of a GDI+ bitmap
    };
    std::vector<std::unique_ptr<TMaskLayer>> FMaskLayers;
    RECT FLastMaskBox{};
    TPDFXForm FFillPatternSpace{};
    bool FHasFillPatternSpace = false;
    bool FFillForShading = false;
    TPDFXForm FStrokePatternSpace{};
    bool FHasStrokePatternSpace = false;
    double FPageHeight = 0;
    TPDFMetafileInfo FMetafileInfo;
    TPDFDeviceContextInfo FDeviceContextInfo;
    TPDFXForm FCurrentXForm{};
    bool FValidPath = false;
    GpGraphics* FGraphics = nullptr;
    GpULONG_PTR FToken = 0;
    GpPath* FPath = nullptr;
    std::vector<GpRegion*> FClipRegions;
    int32_t FClipRegionCount = 0;
    CLSID FBMPEncoderGUID{}, FPNGEncoderGUID{};
    TStream* FHTML5Target = nullptr;
    bool FGDIPlusCallStartup = false;
    TGdiplusStartupOutput FGDIPlusStartupOutput;
    GpULONG_PTR FGDIPlusThreadToken = 0;
    TKPLImagePrintMode FImagePrintMode = pmNormal;
    TKPLPathCombineMode FPathCombineMode = cmNormalPaths;
    std::vector<GpPointF> FCombinedPathPoints;
    std::vector<uint8_t> FCombinedPathPointTypes;
    int32_t FCombinedPathPointCount = 0;
    // A coordinate that was not finite reached the path under construction;
    // painting it would draw garbage, so the path paints nothing.
    bool FPathInvalid = false;
    std::unique_ptr<TCairoDLL> FCairoDLL;
    cairo_surface_t* FCairoSurface = nullptr;
    cairo_t* FCairoHandle = nullptr;
    bool FCairoHasBackdrop = false;
    cairo_surface_t* FCairoBackdropSurface = nullptr;
    cairo_t* FCairoBackdropContext = nullptr;
    cairo_surface_t* FCairoPunchSurface = nullptr;
    cairo_t* FCairoPunchContext = nullptr;
    std::unique_ptr<TKorbexPDFLibraryKPLR> FRendererDLL;
    PKPLR_renderer_t FRendererHandle = nullptr;
    TPDFXForm FStartMatrix{};
};

}  // namespace velmo
