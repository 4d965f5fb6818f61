// The page tree owns a content writer, two font collections and an
// annotation list of subsystems built above this one. The page tree needs only
// their construction, Clear, Source and the few calls below, so it holds them
// through these base classes; the content writer, font and annotation
// libraries derive their full classes from them and install factories here.
// Without installed factories the base classes themselves serve.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Objects.h"
#include "document/OptionalContent.h"
#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdi/Graphics.h"

namespace velmo {

class TPDFPageTree;
// The render settings record; the renderer library defines it. The page tree
// only hands it on (a nil record: the receiver's defaults).
struct TGDIPlusSettings;
using HWND = struct HWND__*;

using TNotifyEvent = std::function<void(TObject* Sender)>;
// Page number of a page reference; 0 when not found.
using TFindPageEvent = std::function<int32_t(TPDFIndRef* PageRef)>;

// Content writer bound to the selected page's last layer.
class TPDFPainterBase : public TObject {
public:
    explicit TPDFPainterBase(TObject* Parent) : FParent(Parent) {}

    TObject* FParent;
    // Decimal places of the numbers written.
    int32_t PDFPrecNum = 4;
    // Fired after every drawing operation (and by Clear).
    TNotifyEvent OnChange;

    // The content so far, with a line feed appended unless it ends in one.
    virtual std::string GetSource() const;
    // The buffer becomes Value, plus a blank when Value is not empty and does
    // not end in one; does not fire OnChange.
    virtual void SetSource(std::string_view Value);
    // Empties the buffer and resets the drawing state, then fires OnChange.
    virtual void Clear();

protected:
    void Changed() {
        if (OnChange) OnChange(this);
    }
    std::string FContent;
};

// Fonts analysed for rendering or text extraction.
class TPDFFontCollectionBase : public TObject {
public:
    // The collection builds glyph rasterizers while it analyses fonts.
    bool FInstallFonts = false;
};

// Annotation list of the selected page.
class TPDFAnnotsBase : public TObject {
public:
    TFindPageEvent OnFindPage;
    // Binds the list to the page's /Annots array (not owned), dropping what
    // was analysed of the previous one.
    virtual void Attach(TPDFArray* AAnnots) { FAnnots = AAnnots; }
    // Binds it to no array.
    virtual void Clear() { FAnnots = nullptr; }
    TPDFArray* Annots() const { return FAnnots; }

protected:
    TPDFArray* FAnnots = nullptr;
};

// ---- Rendering ----

enum TPDFRenderDest : uint8_t {
    rdBitmap,
    rdWMF,
    rdEMF,
    rdEPS,
    rdPrinter,
    rdTextFunnel,
    rdImageList,
    rdEMFPlus,
    rdDeviceContext,
    rdHTML5,
    rdCairo,
    rdCairoBitmap,
    rdKPLR,
    rdKPLRBitmap,
    rdKPLRPrinter,
    rdKPLRMemory
};

enum TPDFPageScaling : uint8_t { psNone, psFitToPaper, psShrinkLargePages };

struct TPDFPrintOptions {
    TPDFPageScaling PageScaling = psNone;
    bool AutoRotateCenter = false;
    bool AutoRotateCenter180 = false;
};

// A rectangle of device pixels (right and bottom exclusive).
struct TKPLRPrinterBBox {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};
using TPrinterBBoxArray = std::vector<TKPLRPrinterBBox>;

// A print job as the page tree sees it: its resolution and its pages.
class TVPLPrinterBase : public TObject {
public:
    // Dots per inch of the printer canvas.
    virtual int32_t GetDPI() { return 72; }
    // Ends the current printer page and starts the next.
    virtual void NewPage() {}
};

// The list of images met while rendering to rdImageList; the document's
// image lists own it.
class TPDFImageListBase : public TObject {};

// Where the settings record sends progress messages (no window: none).
struct TPDFProgressTarget {
    HWND Window = nullptr;
    int32_t Message = 0;
    int32_t Data = 0;
};

// The page renderer as the page tree drives it: the fields set before
// Render, the targets, and what is read back afterwards. The renderer library
// derives the real renderer; without it this base renders nothing and
// reports that in FErrorDesc.
class TPDFRendererBase : public TObject {
public:
    // FontCollection is the caller's and is not owned.
    explicit TPDFRendererBase(TPDFFontCollectionBase* FontCollection) : FFontCol(FontCollection) {}

    // ---- Set before Render ----
    double FDPI = 0;
    TPDFDictionary* FPageDict = nullptr;  // nil draws no page
    TPDFRenderDest FDestination = rdBitmap;
    int32_t FCropType = 2;  // 1 media, 2 crop, 3 bleed, 4 trim, 5 art box
    TVPLOCGStateList FOCGStateList;
    TPDFImageListBase* FImageList = nullptr;  // not owned
    TPDFPrintOptions FPrintOptions;
    TVPLPrinterBase* FVPLPrinter = nullptr;  // not owned
    std::u16string FKPLRFileName;
    TPDFFontCollectionBase* FFontCol = nullptr;

    // ---- Targets (stored only; the destination says which is used) ----
    TStream* FEMFPlusTarget = nullptr;
    TStream* FHTML5Target = nullptr;
    HDC FDeviceContextTarget = nullptr;
    bool FDeviceContextErasePage = false;
    int32_t FDeviceContextOffsetX = 0, FDeviceContextOffsetY = 0;
    HDC FCairoTarget = nullptr;
    std::u16string FCairoFileName;
    bool FCairoErasePage = false;
    int32_t FCairoOffsetX = 0, FCairoOffsetY = 0;
    HDC FKPLRTarget = nullptr;
    void* FKPLRMemoryTarget = nullptr;
    int32_t FKPLRMemoryWidth = 0, FKPLRMemoryHeight = 0, FKPLRMemoryBitsPerPixel = 0;
    bool FKPLRErasePage = false;
    int32_t FKPLROffsetX = 0, FKPLROffsetY = 0;
    // Initial clip of device-context renders, device pixels.
    TPrinterBBoxArray FClipBBoxArray;

    // ---- Read after Render ----
    TBitmap FBitmap;         // 24 bits per pixel; the bitmap destinations' page
    std::string FErrorDesc;  // empty after a clean render

    // Draws FPageDict into FDestination at FDPI. Never raises for page
    // content: what goes wrong is described in FErrorDesc.
    virtual void Render();
    // Frees what was cached from the previous page.
    virtual void ClearCachedResources() {}
    // Copies the settings record in (nil: keeps the current settings).
    virtual void SetGDIPlusSettings(const TGDIPlusSettings* Settings) {}
    // Progress window, message and data of the settings in use.
    virtual TPDFProgressTarget ProgressTarget() const { return {}; }
    // Replaces the renderer's own text funnel by the caller's (not owned).
    virtual void SetTextFunnel(TObject* Funnel) {}

    // Writers of the vector destinations: the metafile of rdWMF and rdEMF,
    // the EPS document of rdEPS. Nothing is written without them.
    virtual void SaveMetafileToStream(TStream& Target) {}
    virtual void SaveEPSToStream(TStream& Target) {}

    // Text outputs of the funnel after an rdTextFunnel render: a new text
    // list (the caller owns it; nil when there is none), CSV rows, raw text,
    // and the text lines after adjacency marking.
    virtual std::unique_ptr<TObject> FunnelTextList() { return nullptr; }
    virtual std::u16string FunnelCSV() { return {}; }
    virtual std::u16string FunnelRawText() { return {}; }
    virtual std::u16string FunnelTextLines() { return {}; }

    void SetCairoTarget(std::u16string_view CairoFileName, HDC Target, bool ErasePage,
                        int32_t OffsetX, int32_t OffsetY);
    void SetKPLRTarget(std::u16string_view KPLRFileName, HDC Target, bool ErasePage,
                       int32_t OffsetX, int32_t OffsetY);
    void SetKPLRMemoryTarget(std::u16string_view KPLRFileName, void* Target, int32_t Width,
                             int32_t Height, int32_t BitsPerPixel, bool ErasePage, int32_t OffsetX,
                             int32_t OffsetY);
    void SetDeviceContextTarget(HDC Target, bool ErasePage, int32_t OffsetX, int32_t OffsetY);
    void SetEMFPlusTarget(TStream* Target) { FEMFPlusTarget = Target; }
    void SetHTML5Target(TStream* Target) { FHTML5Target = Target; }
    // Appends {Left, Top, Left + Width, Top + Height} (clamped to 32 bits).
    void AddToInitialClip(int32_t ClipLeft, int32_t ClipTop, int32_t ClipWidth, int32_t ClipHeight);
    void ClearInitialClip() { FClipBBoxArray.clear(); }
};

// The simple text extractor over a decoded content stream and the page's
// resources; without the text library it extracts nothing.
class TPDFExtractorBase : public TObject {
public:
    virtual std::u16string ExtractTextW(std::string_view S, int32_t Options) { return {}; }
};

// Splits a content stream into its non-text operators and its text objects.
// Without the text library everything stays in the graphics part.
class TPDFContentStreamTextSplitterBase : public TObject {
public:
    virtual void Process(std::string_view Source) {
        FGraphicsStream.assign(Source);
        FTextStream.clear();
    }
    std::string FGraphicsStream;
    std::string FTextStream;
};

// Writers of rendered pages that image-codec libraries install: JPEG
// (quality 1..100, DPI as the density), GIF, TIFF and Group 4 TIFF (a nil
// settings record: the defaults). Without a writer the page's file stays
// empty.
struct TPDFPageWriterHooks {
    std::function<void(const TBitmap& Bitmap, TStream& Target, int32_t Quality, int32_t DPI)>
        WriteJPEG;
    std::function<void(const TBitmap& Bitmap, TStream& Target)> WriteGIF;
    std::function<void(const TBitmap& Bitmap, TStream& Target, const TGDIPlusSettings* Settings,
                       double DPI)>
        WriteTIFF;
    std::function<void(const TBitmap& Bitmap, TStream& Target, const TGDIPlusSettings* Settings,
                       double DPI)>
        WriteG4TIFF;
};
TPDFPageWriterHooks& PageWriterHooks();

// Factories the higher libraries install (once, at start-up).
struct TPDFPageServiceFactories {
    std::function<std::unique_ptr<TPDFPainterBase>(TPDFPageTree* Owner)> NewPainter;
    std::function<std::unique_ptr<TPDFFontCollectionBase>()> NewFontCollection;
    std::function<std::unique_ptr<TPDFAnnotsBase>()> NewAnnots;
    std::function<std::unique_ptr<TPDFRendererBase>(TPDFFontCollectionBase* FontCollection)>
        NewRenderer;
    std::function<std::unique_ptr<TPDFImageListBase>()> NewImageList;
    std::function<std::unique_ptr<TPDFExtractorBase>(TPDFDictionary* Resources,
                                                     TPDFFontCollectionBase* FontCol)>
        NewExtractor;
    std::function<std::unique_ptr<TPDFContentStreamTextSplitterBase>(int32_t Options)>
        NewTextSplitter;
};
TPDFPageServiceFactories& PageServiceFactories();

std::unique_ptr<TPDFPainterBase> NewPagePainter(TPDFPageTree* Owner);
std::unique_ptr<TPDFFontCollectionBase> NewPageFontCollection();
std::unique_ptr<TPDFAnnotsBase> NewPageAnnots();
std::unique_ptr<TPDFRendererBase> NewPageRenderer(TPDFFontCollectionBase* FontCollection);
std::unique_ptr<TPDFImageListBase> NewPageImageList();
std::unique_ptr<TPDFExtractorBase> NewPageExtractor(TPDFDictionary* Resources,
                                                    TPDFFontCollectionBase* FontCol);
std::unique_ptr<TPDFContentStreamTextSplitterBase> NewPageTextSplitter(int32_t Options);

}  // namespace velmo
