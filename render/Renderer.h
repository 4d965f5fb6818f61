// The page renderer: turns a page (or a content source such as a pattern
// cell) into one of sixteen destinations, settling the page geometry and the
// device matrix, and interprets the content stream onto the device canvas or
// into the EPS writer.
//
// Pieces that later libraries provide are reached through the small classes
// declared here: the printer job, metafiles, the image list, patterns and
// image decoders. Until they exist their stand-ins draw nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/Objects.h"
#include "core/XForm.h"
#include "document/OptionalContent.h"
#include "document/PageServices.h"
#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdi/DC.h"
#include "render/ColorManager.h"
#include "render/ColorSpaces.h"
#include "render/EPSExport.h"
#include "render/Picasso.h"
#include "render/SoftMask.h"
#include "render/TextFunnelBase.h"

namespace velmo {

class TPDFFontCollection;
class TPDFFontCollectionData;
class TPDFType3Rasterizer;

// The printer job of rdPrinter and rdKPLRPrinter as the renderer draws on
// it; TVPLPrinterJob (Printing.h) is the job on a platform printer. This one
// has no canvas, so nothing is printed.
class TVPLPrinter : public TVPLPrinterBase {
public:
    virtual TCanvas* Canvas() { return nullptr; }
    // The device context of the paper (where regions of the renderer
    // library's pass are copied); null for none.
    virtual HDC Handle() { return nullptr; }
    virtual int32_t PageWidth() { return 0; }  // printable area, device pixels
    virtual int32_t PageHeight() { return 0; }
    virtual int32_t FullPageWidth() { return 0; }  // whole paper
    virtual int32_t FullPageHeight() { return 0; }
    virtual int32_t PrintOffsetX() { return 0; }  // printable area's corner on the paper
    virtual int32_t PrintOffsetY() { return 0; }
    virtual bool HasPreview() { return false; }
};

// The metafile of rdWMF and rdEMF: its size in pixels of the 96-DPI
// reference device, its kind, and the EMF it holds. An enhanced metafile
// saves that EMF; any other saves a placeable WMF converted from it (96
// units per inch).
class TMetafile {
public:
    virtual ~TMetafile() = default;
    virtual void Clear() {
        FWidth = FHeight = 0;
        FEnhanced = false;
        FData.clear();
    }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    bool Enhanced() const { return FEnhanced; }
    void SetEnhanced(bool Value) { FEnhanced = Value; }
    virtual void SetSize(int32_t Width, int32_t Height) {
        FWidth = Width;
        FHeight = Height;
    }
    // The recorded EMF (empty before a recording completed).
    const std::string& Data() const { return FData; }
    void SetData(std::string Data) { FData = std::move(Data); }
    // Writes the metafile at the stream's position; nothing when empty.
    void SaveToStream(TStream& Target) const;
    // Reads an EMF, EMF+ or WMF from the stream's position to its end:
    // kind and size come from its header. False (the metafile cleared)
    // when the data is no valid metafile.
    bool LoadFromStream(TStream& Source);

protected:
    int32_t FWidth = 0, FHeight = 0;
    bool FEnhanced = false;
    std::string FData;
};

// The canvas that records a metafile: a device context whose drawing
// (device-context calls and the GDI+ facade on it) becomes EMF records, on a
// 96-DPI reference device, its frame in 0.01 mm from the metafile's size.
// Freeing the canvas completes the metafile.
class TMetafileCanvas {
public:
    TMetafileCanvas(TMetafile* Metafile, HDC ReferenceDevice);
    virtual ~TMetafileCanvas();
    TMetafileCanvas(const TMetafileCanvas&) = delete;
    TMetafileCanvas& operator=(const TMetafileCanvas&) = delete;
    virtual TCanvas* Canvas();

protected:
    TMetafile* FMetafile;
    HDC FReferenceDevice;
    std::unique_ptr<TBitmap> FPage;
    std::shared_ptr<TDcRecorder> FRecorder;
    HDC FDc = nullptr;
};

// A test may install its own canvas; without one the recording canvas serves.
using TMetafileCanvasFactory =
    std::function<std::unique_ptr<TMetafileCanvas>(TMetafile* Metafile, HDC ReferenceDevice)>;
TMetafileCanvasFactory& MetafileCanvasFactory();
std::unique_ptr<TMetafileCanvas> NewMetafileCanvas(TMetafile* Metafile, HDC ReferenceDevice);

// The cached decoder of an image XObject (the image library derives it).
class TPDFImageDecoderBase {
public:
    virtual ~TPDFImageDecoderBase() = default;
    virtual int64_t ImageDataSize() const { return 0; }
};

// One entry of the decoded-image cache. The owning structure is part of
// the key, so two documents rendered with one renderer never share an
// entry for equal object numbers.
struct TPDFDecodedImage {
    const TPDFStructure* Structure = nullptr;
    int64_t Hash = 0;  // object number · 2^32 + generation
    std::unique_ptr<TPDFImageDecoderBase> ID;
    // The decoder's mode: an object decoded for drawing is not the one an
    // image list or the renderer library reads.
    int32_t DecodeMode = 0;
};

// The graphics state of one content interpretation.
struct TPDFGraphicsState {
    double XPos = 110, YPos = 700;
    TColor FillColor = 0;
    std::string FillColorEPS = "0 setgray";
    TPDFCMYKColor FillColorCMYK;
    const TVPLPattern* FillPattern = nullptr;
    TColor StrokeColor = 0;
    std::string StrokeColorEPS = "0 setgray";
    std::string FillColorSpace = "DeviceGray";
    std::string StrokeColorSpace = "DeviceGray";
    const TVPLPattern* StrokePattern = nullptr;
    // Pattern space of the fill and stroke patterns: the default space of
    // the content that chose them.
    TPDFXForm FillPatternBase = IdentityXForm;
    TPDFXForm StrokePatternBase = IdentityXForm;
    std::string AlternateFillCS;
    double LineWidth = 1;
    int32_t LineCap = 0;
    int32_t LineJoin = 0;
    double MiterLimit = 10;
    TPDFXForm CTM = IdentityXForm;
    TPDFXForm TM = IdentityXForm;
    TPDFXForm TLM = IdentityXForm;
    double TextScaling = 100;
    double TextSize = 12;
    std::string TextFont;
    double TextLeading = 0;
    double CharSpacing = 0;
    double WordSpacing = 0;
    double TextRise = 0;
    int32_t TextRenderingMode = 0;
    double StrokeAlpha = 1;
    double FillAlpha = 1;
    TPDFBlendMode BlendMode = bmNormal;
    GpRegion* ClipRegion = nullptr;
    double DashPhase = 0;
    std::vector<double> DashArray;
    bool Knockout = false;
    bool Softmask = false;
    // The matrix cannot be drawn through (singular or not finite): painting
    // draws nothing until the state is restored.
    bool Degenerate = false;
};

// The canvas operations of the device family, so that tests can record
// what reaches the device. The renderer forwards them to its TPDFPicasso
// unless a recorder is installed (SetCanvasRecorder).
class TPDFRenderCanvas {
public:
    virtual ~TPDFRenderCanvas() = default;
    virtual void BeginPath() = 0;
    virtual void MoveTo(double X, double Y) = 0;
    virtual void AddLineToPath(double X, double Y) = 0;
    virtual void AddBezierToPath(double X1, double Y1, double X2, double Y2, double X3,
                                 double Y3) = 0;
    virtual void ClosePath() = 0;
    virtual void StrokePath() = 0;
    virtual void FillPath() = 0;
    virtual void StrokeAndFillPath() = 0;
    virtual void NullPath() = 0;
    virtual void SetClippingPath(TPDFFillMode Mode) = 0;
    virtual void FillClippingPath() = 0;
    virtual void SetFillColor(uint32_t Color) = 0;
    virtual void SetStrokeColor(uint32_t Color) = 0;
    virtual void SetFillAlpha(double A) = 0;
    virtual void SetStrokeAlpha(double A) = 0;
    virtual void SetFillMode(TPDFFillMode Mode) = 0;
    virtual void SetLineWidth(double W) = 0;
    virtual void SetLineDash(const TGPDashArray& Dash, double Phase) = 0;
    virtual void SetLineCapStyle(int32_t S) = 0;
    virtual void SetLineJoinStyle(int32_t S) = 0;
    virtual void SetMiterLimit(double L) = 0;
    virtual void SetCurrentXForm(const TPDFXForm& M) = 0;
    // The fill's pattern (after SetFillColor, which drops it) and the
    // matrix from pattern space to the device; ForShading: the sh operator
    // paints (no /Background).
    virtual void SetFillPattern(const TVPLPattern* Pattern, const TPDFXForm& PatternToDevice,
                                bool ForShading) {}
    // The stroke's pattern (after SetStrokeColor, which drops it), likewise.
    virtual void SetStrokePattern(const TVPLPattern* Pattern, const TPDFXForm& PatternToDevice) {}
    // q takes a snapshot of the clip, Q puts it back.
    virtual GpRegion* SaveClip() = 0;
    virtual void RestoreClip(GpRegion* Snapshot) = 0;
};

// Nested interpretations (forms, pattern cells, soft-mask groups,
// appearances, Type 3 glyphs, second renderers) pass this guard: a depth
// limit, and the set of contents being interpreted, so that a content that
// reaches itself is skipped. Second renderers share their first's guard.
class TPDFRenderNesting {
public:
    static constexpr int32_t MaxDepth = 32;
    // False (and nothing entered) when the depth limit is reached or Key is
    // being interpreted already. A null Key counts only for the depth.
    bool Enter(const void* Key);
    void Leave(const void* Key);
    int32_t Depth() const { return FDepth; }

private:
    int32_t FDepth = 0;
    std::unordered_set<const void*> FActive;
};

class TPDFRenderer : public TPDFRendererBase {
public:
    explicit TPDFRenderer(TPDFFontCollectionBase* FontCollection);
    ~TPDFRenderer() override;
    TPDFRenderer(const TPDFRenderer&) = delete;
    TPDFRenderer& operator=(const TPDFRenderer&) = delete;

    static constexpr int32_t kIDBase = 0x58000000;
    // Largest side of a device in pixels.
    static constexpr double kMaxDeviceSide = 32767;

    // Properties.
    TBitmap* Bitmap() { return &FBitmap; }
    TMetafile* Metafile() const { return FMetafile.get(); }
    TPDFEPSExport* EPS() const { return FEPS.get(); }
    // Replaces the EPS writer (a test's recorder, for one).
    void SetEPS(std::unique_ptr<TPDFEPSExport> Writer);
    void SaveEPSToStream(TStream& Target) override { FEPS->SaveToStream(Target); }
    // The fill colour's PostScript text where an image is drawn into EPS: a
    // stencil mask paints in it.
    std::string FImageFillColorEPS = "0 setgray";
    void SaveMetafileToStream(TStream& Target) override;
    const std::string& ErrorDesc() const { return FErrorDesc; }
    double DPI() const { return FDPI; }
    void SetDPI(double Value) { FDPI = Value; }
    TPDFDictionary* PageDict() const { return FPageDict; }
    void SetPageDict(TPDFDictionary* Value) { FPageDict = Value; }
    TPDFRenderDest Destination() const { return FDestination; }
    void SetDestination(TPDFRenderDest Value) { FDestination = Value; }
    TGDIPlusSettings& GDIPlusSettings() { return FGDIPlusSettings; }
    void SetGDIPlusSettings(const TGDIPlusSettings* Value) override {
        if (Value != nullptr) FGDIPlusSettings = *Value;
    }
    TPDFProgressTarget ProgressTarget() const override {
        return {FGDIPlusSettings.ProgressWindow, FGDIPlusSettings.ProgressMessage,
                FGDIPlusSettings.ProgressData};
    }
    TPDFFindObjectEvent OnFindObject;
    TPDFCryptStreamEvent OnDecrypt;
    TPDFCryptStreamEvent OnEncrypt;
    TPDFPrintOptions& PrintOptions() { return FPrintOptions; }
    int32_t CropType() const { return FCropType; }
    void SetCropType(int32_t Value) { FCropType = Value; }
    TVPLOCGStateList& OCGStateList() { return FOCGStateList; }
    TPrinterBBoxArray& PrinterBBoxArray() { return FPrinterBBoxArray; }
    TPDFTextFunnelBase* TextFunnel() const { return FFunnel; }
    // Takes Value as an external funnel (not owned); nothing when the
    // renderer has no funnel.
    void SetTextFunnel(TPDFTextFunnelBase* Value);
    void SetTextFunnel(TObject* Funnel) override {
        SetTextFunnel(dynamic_cast<TPDFTextFunnelBase*>(Funnel));
    }
    int32_t MaxX() const { return FMaxX; }
    int32_t MaxY() const { return FMaxY; }
    const TPDFXForm& PageMatrix() const { return FPageMatrix; }

    // ---- Printer regions (two-pass printing through the renderer library) ----
    // The first pass draws on the printer what it reproduces faithfully and
    // records the device bounds of everything else; the second pass renders
    // those regions through the renderer library and copies them onto the
    // paper. Regions are device pixels within (0, 0)..(MaxX, MaxY).
    static constexpr size_t kMaxPrinterRegions = 256;
    // Orders, rounds outwards and clips a rectangle to the page; false when
    // nothing of it remains.
    bool AdjustBBox(double* Left, double* Top, double* Right, double* Bottom) const;
    // True when the rectangle needs no drawing in the first pass: it is
    // empty, off the page, or inside one recorded region.
    bool IsBBoxInPrinterArray(double Left, double Top, double Right, double Bottom) const;
    // Records a rectangle: the regions it overlaps keep only their parts
    // outside it, then regions that nearly fill their common bounds merge.
    // Above kMaxPrinterRegions regions the list becomes their union.
    void AddToPrinterBBoxArray(double Left, double Top, double Right, double Bottom);
    // The page bounds of the regions (normally set by Render).
    void SetMaxXY(int32_t MaxX, int32_t MaxY) {
        FMaxX = MaxX;
        FMaxY = MaxY;
    }
    // The first-pass rule for one element: true when it is not to be drawn
    // on the printer (covered already, or not plain, and then recorded).
    // Always true under a soft mask placed as an image (the element is left
    // to the image); otherwise false outside the two-pass printer
    // destination.
    bool PrinterPassSkips(double Left, double Top, double Right, double Bottom, bool Plain);
    // Device bounds of a shading or form in the first pass: the visible
    // clip under GDI+, the whole page under GDI.
    void PrinterAreaBounds(double& Left, double& Top, double& Right, double& Bottom);
    void ClearCachedResources() override;

    // Rendering.
    void Render() override;
    void RenderSource(TPDFObject* Source, TPDFIndRef* ContainerIR, double PageLeft,
                      double PageBottom, double PageWidth, double PageHeight);
    // Draws Source like RenderSource at about this renderer's resolution
    // (Scale: pattern units per pixel over points per pixel) on a bitmap
    // cleared to Background (null: left as made) by a second renderer under
    // this one's guard. CellColor: an uncoloured cell drawn in that colour
    // (null: coloured).
    void RenderSourceToBitmap(TPDFObject* Source, TPDFIndRef* ContainerIR, double PageLeft,
                              double PageBottom, double PageWidth, double PageHeight,
                              double& Scale, const TColor* CellColor, const TColor* Background,
                              TBitmap& Out);
    // As RenderSourceToBitmap, written to Stream as a bitmap file.
    void RenderSourceToStream(TPDFObject* Source, TPDFIndRef* ContainerIR, TStream& Stream,
                              double PageLeft, double PageBottom, double PageWidth,
                              double PageHeight, double& Scale,
                              const TColor* CellColor = nullptr);
    // Interprets one content onto the current canvas (or into the EPS
    // writer). Source: a page dictionary, a content stream reached through
    // ContainerIR, or a string object.
    void RenderContent(TPDFObject* Source, std::string_view ContentOverride,
                       TPDFIndRef* ContainerIR);

    // Look-ups.
    TPDFObject* FindObject(TPDFIndRef* Ref);
    // Ends on a /Parent chain that loops (the value counts as absent).
    TPDFObject* FindInheritedValue(TPDFDictionary* Dict, std::string_view Key);
    bool GetPageBox(std::string_view Name, double& Left, double& Bottom, double& Right,
                    double& Top);
    int32_t ObjectToID(const void* Item);
    const void* IDToObject(int32_t ID) const;
    static TPDFXForm MakeXForm(double M11, double M12, double M21, double M22, double Dx,
                               double Dy);
    void PointToDevice(const TPDFDoublePoint& P, TPDFDoublePoint& R) const;
    static void AppendNumber(std::string& S, double Value);

    // The nesting guard; second renderers are given their first's.
    std::shared_ptr<TPDFRenderNesting> Nesting() const { return FNesting; }
    void SetNesting(std::shared_ptr<TPDFRenderNesting> Value) { FNesting = std::move(Value); }

    // Tests: device-family canvas calls go to Recorder instead of the
    // device canvas (nullptr restores the device canvas).
    void SetCanvasRecorder(TPDFRenderCanvas* Recorder) { FCanvasRecorder = Recorder; }

    // The decoded-image cache (entries per document and object).
    std::vector<TPDFDecodedImage>& ImageCollection() { return FImageCollection; }
    TPDFImageDecoderBase* FindCachedImage(const TPDFStructure* Structure, int32_t ObjNum,
                                          int32_t GenNum, int32_t DecodeMode = 0) const;
    void TrimImageCache();

    // Colour-space objects built while rendering, by identifier.
    TPDFColorManager* ColorManager() const { return FColorManager.get(); }

    // Internal: the interpretation of one content (render/ContentRun.h).
    struct TContentRun;

    // Hooks of the text, image and pattern libraries, which replace their
    // bodies (render/RenderHooks.cpp); until then they draw nothing.
    // Selects the state's font (Tf, and Q).
    void SelectFont(TContentRun& Run);
    // Show the text operands on the stack (ArrayCount of them), taking
    // them; the funnel variant for rdTextFunnel.
    void ShowText(TContentRun& Run);
    void ShowTextToFunnel(TContentRun& Run);
    // The paint of one text show through the renderer library.
    void PaintLibraryText(TContentRun& Run, bool Type3, const TPDFXForm& TextMatrix);
    // Do and gs with their name operand.
    void DrawXObject(TContentRun& Run, std::string_view Name);
    void SetExtGState(TContentRun& Run, std::string_view Name);
    // The pattern of a name operand; nullptr when none is found.
    const TVPLPattern* FindPattern(TContentRun& Run, std::string_view Name);
    // Drops the least recently used drawn cells until Incoming more pixels
    // fit under the cap, keeping those a content state still holds.
    void TrimTileCache(size_t Incoming);
public:
    // A digest that the pattern look-up answers for Name (with or without
    // its "/") ahead of the resources: lets tests drive a drawing model with
    // a digest of their own. Not owned; nullptr removes it.
    void SetPatternForTest(std::u16string_view Name, TVPLPattern* Pattern);
    const TVPLPattern* PresetPattern(std::string_view Name) const;
    // The renderer's font collection as analysed fonts; nullptr when it
    // was made without one.
    TPDFFontCollection* Fonts() const;
    // The colour of a funnel run: CMYK components when the funnel asks for
    // them and the fill is CMYK, else the RGB fill colour.
    void GetFunnelTextColor(const TPDFGraphicsState& GS, TPDFTextColor& Color) const;
    // Draws one glyph of a Type 3 font by interpreting its procedure at
    // (GX, GY) of the show's scaled text space.
    void ShowType3Glyph(TContentRun& Run, TPDFType3Rasterizer& Type3, TPDFFontCollectionData* Font,
                        const std::string& GlyphName, double GX, double GY);
    // The default model's soft mask: the mask group of Mask drawn into a
    // device-size coverage raster, and drawing after it put on a layer
    // that is laid onto the page through the mask when the mask ends.
    void ApplySoftMask(TContentRun& Run, TPDFDictionary* Mask);
    // Draws the group G under Mat (clipped to Box when given) onto a
    // device-size bitmap cleared to Background by a second renderer under
    // this one's guard; false when no bitmap was made.
    // A second renderer drawing part of this one's page takes its settings,
    // object look-up, decryption, optional-content states and nesting
    // guard.
    void ShareWithSecond(TPDFRenderer& Second) const;
    bool RenderGroupBitmap(TContentRun& Run, TPDFStream* G, TPDFIndRef* Ref, const TPDFXForm& Mat,
                           const double* Box, TColor Background, TBitmap& Out);
    // Soft masks where the destination cannot composite (metafiles, device
    // contexts, printers, a bitmap drawn with plain GDI): drawing under the
    // mask is left out, and when the outermost mask ends the area that the
    // masked drawing changed is placed there as an image of the page as
    // the bitmap model draws it at that point (backdrop and masked drawing
    // composed). The bitmap model's pass over the page is made once, at the
    // first such mask's end.
    bool ImagesSoftMasks() const;
    // Ends one soft mask of a content (Imaged: of the kind above); Key and
    // Pos (the resources and the content position of its gs) name it.
    void EndSoftMask(bool Imaged, const std::vector<uint8_t>& Coverage, const void* Key,
                     size_t Pos);
    // Prepares the tile image of a tiling pattern.
    void RenderPatternTile(TContentRun& Run, const TVPLPattern* Pattern, std::string_view Name);
    // The page's annotations, from the page's matrix: Before is the pass
    // beneath the content (highlights only, except on the renderer-library
    // destinations, which make one pass after the content).
    void DrawAnnotations(TContentRun& Run, bool Before);
    // One annotation: its normal appearance mapped into /Rect, or the
    // built-in look of a link or stamp without one.
    void DrawAnnotationAppearance(TContentRun& Run, TPDFDictionary* Annot);
    // DrawAnnotations with an error kept as the page's error text.
    void DrawAnnotationsGuarded(TContentRun& Run, bool Before);
    // The renderer library's tile of a tiling cell (RenderGroups.cpp): a
    // cell larger than 4096 pixels a side, or of no size, paints nothing.
    void RenderLibraryPatternTile(TContentRun& Run, const TVPLPattern* Pattern,
                                  std::string_view Name);
    // The renderer library's soft masks (RenderGroups.cpp): an /SMask
    // dictionary of gs drawn into a library group that becomes the mask,
    // and /SMask /None.
    void RenderSoftMaskGroup(TContentRun& Run, TPDFDictionary* MaskDict);
    void ClearLibrarySoftmask(TContentRun& Run);
    // The /Group of a form XObject.
    struct TFormGroup {
        bool Present = false, Transparency = false, Isolated = false, Knockout = false;
    };
    static TFormGroup ReadFormGroup(TContentRun& Run, TPDFDictionary* FormDict);
    // A form on the cairo destinations: knock-out and isolated groups go
    // through layers, others are interpreted once.
    void RenderCairoGroup(TContentRun& Run, TPDFStream* Form, TPDFIndRef* ContainerIR,
                          const TFormGroup& Group);
    // A form on the renderer library: skipped without a clip, composed in a
    // library group when it is a transparency group that needs one.
    void RenderLibraryForm(TContentRun& Run, TPDFStream* Form, TPDFIndRef* ContainerIR,
                           const TFormGroup& Group);

    // Fields the interpreter shares across nested contents.
    TPDFXForm CanvasMat = IdentityXForm;
    TPDFXForm StartMatrix = IdentityXForm;
    TPDFXForm IdentityMatrix = IdentityXForm;
    TPDFDictionary* ParentResources = nullptr;
    TPDFGraphicsState FInitialState;
    bool FUseInitialState = false;
    bool FDrawingAnnot = false;

private:
    friend struct TContentRun;
    // Pixel size of W × H points at the current DPI, rounded half to even
    // and then one more where short; false (with ErrorDesc set) when the
    // size is not finite, exceeds kMaxDeviceSide or TBitmap::MaxPixels.
    bool DeviceSize(double W, double H, int32_t& PW, int32_t& PH);
    // Leaves a 1 × 1 white bitmap and Reason in ErrorDesc.
    void FailDevice(const std::string& Reason);
    void RenderDevice(TCanvas* Canvas, int32_t PW, int32_t PH, double PageHeight);
    // The renderer library's pass over the printer regions of the page just
    // drawn, copied onto Target; nothing when the library cannot be bound.
    void PrinterSecondPass(TCanvas* Target, double PageHeight);
    // Inserts an adjusted rectangle (the cutting step of the region list).
    void InsertPrinterRegion(const TKPLRPrinterBBox& N);
    void RunContent(TPDFObject* Source, std::string_view ContentOverride, TPDFIndRef* ContainerIR);
    TPDFRenderCanvas* Device();

    std::unique_ptr<TMetafile> FMetafile;
    std::unique_ptr<TMetafileCanvas> FMetafileCanvas;
    std::unique_ptr<TPDFEPSExport> FEPS;
    TPDFStructure* FStructure = nullptr;

public:
    std::vector<std::unique_ptr<TPDFSeparationColorSpace>> FSeparationColors;
    std::vector<std::unique_ptr<TPDFLabColorSpace>> FLabColors;
    std::vector<std::unique_ptr<TPDFDeviceNColorSpace>> FDeviceNColors;
    std::vector<std::unique_ptr<TPDFIndexedColorSpace>> FIndexedColors;
    std::vector<std::unique_ptr<TVPLPattern>> FPatterns;
    // Digests tests put in ahead of the resources, by name without "/".
    std::unordered_map<std::string, TVPLPattern*> FPresetPatterns;
    // The cache's index: a pattern by its dictionary, except tiling cells
    // drawn here, which are found by dictionary, cell size in pixels and
    // (uncoloured cells) colour.
    std::unordered_map<const TPDFDictionary*, TVPLPattern*> FPatternIndex;
    struct TTileCacheEntry {
        TVPLPattern* Pattern = nullptr;
        uint64_t LastUse = 0;
        size_t Pixels = 0;
    };
    std::unordered_map<std::string, TTileCacheEntry> FTileIndex;
    // What a cache look-up needs of a tiling pattern's dictionary.
    struct TTileShape {
        TPDFXForm Matrix = IdentityXForm;
        double W = 0, H = 0;
        bool Empty = true, Drawn = false, Uncoloured = false;
    };
    std::unordered_map<const TPDFDictionary*, TTileShape> FTileShapes;
    // Pixels of the drawn cells held, and their cap.
    size_t FTileCachePixels = 0;
    size_t FTileCachePixelCap = size_t(1) << 25;
    uint64_t FTileCacheClock = 0;
    // Cells drawn so far (a cache hit draws none).
    int64_t FPatternCellRenders = 0;
    // Content runs under way: the patterns their states hold stay cached.
    std::vector<const TContentRun*> FLiveRuns;
    // Set while a second renderer draws an uncoloured cell: the cell's
    // colour, and colour operators inside it are ignored.
    bool FCellColored = false;
    TColor FCellColor = 0;
    // Set on a second renderer: RenderSource clears its bitmap to this.
    bool FHasSourceBackground = false;
    TColor FSourceBackground = 0xFFFFFF;
    // The designation last built for a colour-space array.
    std::unordered_map<const TPDFArray*, std::string> FColorSpaceByArray;

private:
    TGDIPlusSettings FGDIPlusSettings;
    TPDFTextFunnelBase* FFunnel = nullptr;
    std::unique_ptr<TPDFTextFunnelBase> FOwnedFunnel;
    bool FExternalFunnel = false;
    std::unique_ptr<TPDFColorManager> FColorManager;
    // Soft masks handed to the renderer library, which calls them back
    // until the page is finished; freed with the next page.
    std::vector<std::unique_ptr<TVPLSoftmask>> FLibrarySoftmasks;
    std::vector<TPDFDecodedImage> FImageCollection;
    uint32_t FTotalImageCollectionSize = 0;
    int32_t FMaxX = 0, FMaxY = 0;
    std::unique_ptr<TPDFPicasso> Picasso;
    // Entries of fonts given as direct dictionaries, for this render.
    std::unordered_map<const TPDFDictionary*, TPDFFontCollectionData*> FDirectFonts;
    TPDFXForm FPageMatrix = IdentityXForm;
    TPrinterBBoxArray FPrinterBBoxArray;
    std::vector<const void*> FIntCasts;
    std::unordered_map<const void*, int32_t> FIntCastIndex;
    std::shared_ptr<TPDFRenderNesting> FNesting;
    TPDFRenderCanvas* FCanvasRecorder = nullptr;
    std::unique_ptr<TPDFRenderCanvas> FPicassoDevice;
    int32_t FLastProgress = -1;

    // Images of soft-masked areas (MaskImages.cpp): one per outermost mask
    // of the bitmap model's pass, in drawing order, with the mask's name;
    // an entry without pixels stands for a mask that changed nothing.
    struct TMaskImage {
        const void* Key = nullptr;
        size_t Pos = 0;
        int32_t Left = 0, Top = 0;
        TBitmap Image;
    };
    // Draws Source as this render does, through the bitmap model, on a
    // device-size bitmap cleared to Background by a second renderer under
    // this one's guard (Parent: the resources of the content that draws it;
    // Box: a clip in Mat's space; Sink: where that renderer leaves the
    // images of its masked areas). False when no bitmap was made.
    bool RenderSecondOnBitmap(TPDFObject* Source, TPDFIndRef* Ref, TPDFDictionary* Parent,
                              const TPDFXForm& Mat, const double* Box, TColor Background,
                              bool ForceBitmapModel, std::vector<TMaskImage>* Sink, TBitmap& Out);
    void ResetMaskImages(TPDFObject* Source, TPDFIndRef* ContainerIR);
    void TakeMaskImages();
    void PlaceMaskImage(const void* Key, size_t Pos);
    // What this render draws (the page, or RenderSource's source).
    TPDFObject* FRenderedSource = nullptr;
    TPDFIndRef* FRenderedContainer = nullptr;
    TPDFDictionary* FRenderedParent = nullptr;
    // Masks of the imaging kind in force, over every nested content.
    int32_t FImagedMasks = 0;
    std::vector<TMaskImage> FMaskImages;
    size_t FMaskImageCursor = 0;
    bool FMaskImagesTaken = false;
    // Set on the second renderer of TakeMaskImages, with the pixels its
    // images may still take.
    std::vector<TMaskImage>* FMaskImageSink = nullptr;
    int64_t FMaskImageBudget = 0;
    // Set on that renderer and every renderer under it: they make no such
    // pass (a soft mask they cannot compose is not drawn).
    bool FNoMaskImages = false;
};

// Draws an image XObject met by Do (Ref: the reference it was reached
// through, or null) on the renderer's canvas with the current device matrix
// and fill colour. Installed by the image library; unset, images are not
// drawn.
using TImageXObjectDrawer =
    std::function<void(TPDFRenderer& Renderer, TPDFStream* Image, TPDFIndRef* Ref,
                       TPDFPicasso* Picasso, const TPDFXForm& Mat, TColor FillColor)>;
TImageXObjectDrawer& ImageXObjectDrawer();
// Reads the inline image after a BI token at Pos (0-based, after BI) of
// Content and, when Picasso is given, draws it like an image XObject; true
// with Pos after the image's data when an image was found. Installed by the
// image library; unset, inline images are stepped over.
using TInlineImageDrawer = std::function<bool(
    TPDFRenderer& Renderer, std::string_view Content, size_t& Pos, TPDFDictionary* Resources,
    TPDFPicasso* Picasso, const TPDFXForm& Mat, TColor FillColor)>;
TInlineImageDrawer& InlineImageDrawer();

// The content text of a built-in stamp picture by name (its drawing lies
// within about 120 × 31 units), for stamp annotations without an
// appearance. Installed by the library that holds the pictures; unset,
// such stamps draw nothing.
using TStampPictureSource = std::function<std::string(std::string_view Name)>;
TStampPictureSource& StampPictureSource();

// Installs the renderer's and the font collection's factories into the page
// services and registers the built-in GDI+ facade the device canvas loads
// (once, at start-up).
void InstallRendererServices();

}  // namespace velmo
