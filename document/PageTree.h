// The pages of one document: page look-up by number in the /Pages tree (with
// a flat-tree shortcut and a cache of pages found), the selected page with its
// content layers and the content writer bound to the last layer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Objects.h"
#include "core/Rectangle.h"
#include "core/Structure.h"
#include "document/FontBase.h"
#include "document/ImageBase.h"
#include "document/PageServices.h"

namespace velmo {

using TPDFPageAccessEvent = std::function<void(TPDFDictionary* Page)>;
using TPDFDecryptEvent = std::function<void(int32_t ObjNum, int32_t GenNum)>;
using TPDFDeleteObjEvent = std::function<void(int32_t ObjNum, int32_t GenNum)>;

// A kid reference and the pages node whose /Kids holds it.
struct TPageNode {
    TPDFIndRef* Page = nullptr;
    TPDFDictionary* Parent = nullptr;
};

class TPDFPageTree : public TObject {
public:
    // The lists are the document's and are not owned.
    TPDFPageTree(TPDFDictionary* APages, std::vector<std::unique_ptr<TObject>>* AImages,
                 std::vector<std::unique_ptr<TObject>>* AImageLists,
                 std::vector<std::unique_ptr<TObject>>* ATextLists,
                 std::vector<TObject*>* AIncludedFonts, bool DeferFirstLayer = false);
    ~TPDFPageTree() override;
    TPDFPageTree(const TPDFPageTree&) = delete;
    TPDFPageTree& operator=(const TPDFPageTree&) = delete;

    // ---- Fields ----
    int32_t PageObjNum = 0;
    int32_t PageGenNum = 0;
    double DefaultPageWidth = 612;
    double DefaultPageHeight = 792;
    TPDFIndRef* FPagePointer = nullptr;
    TPDFArray* FPagePointerArray = nullptr;
    int32_t FLayer = 0;
    TPDFStructure* FStructure = nullptr;
    TPDFDictionary* FPagesDict = nullptr;
    int32_t FPage = 0;
    TPDFDictionary* FParentNode = nullptr;
    TPDFDictionary* FPageDict = nullptr;
    std::vector<TPDFStream*> FPageContent;
    std::unique_ptr<TPDFPainterBase> FPainter;
    TPDFPageAccessEvent OnPageAccess;
    TPDFDecryptEvent OnDecrypt;
    TPDFDeleteObjEvent OnDeleteObj;
    bool FCanDraw = false;
    std::vector<std::unique_ptr<TObject>>* FImages;
    std::vector<std::unique_ptr<TObject>>* FImageLists;
    std::vector<std::unique_ptr<TObject>>* FTextLists;
    std::vector<TObject*>* FIncludedFonts;
    double FPageWidth = 0;
    double FPageHeight = 0;
    bool FUseUnsafeLayers = false;
    std::unique_ptr<TPDFAnnotsBase> FAnnots;
    bool LayersCombined = false;
    bool GotPageWidth = false;
    bool GotPageHeight = false;
    TFindPageEvent OnFindPage;
    std::unique_ptr<TPDFFontCollectionBase> RenderFontCol;
    std::unique_ptr<TPDFFontCollectionBase> TextExtractFontCol;
    TObject* FRenderer = nullptr;  // kept between calls by the library interface; not owned

    // ---- Properties ----
    int32_t Page() const { return FPage; }
    TPDFDictionary* ThisPage() const { return FPageDict; }
    bool CanDraw() const { return FCanDraw; }
    int32_t Layer() const { return FLayer; }
    bool UseUnsafeLayers() const { return FUseUnsafeLayers; }
    void SetUseUnsafeLayers(bool Value) { FUseUnsafeLayers = Value; }
    TPDFPainterBase* Painter() const { return FPainter.get(); }
    TPDFAnnotsBase* Annots() const { return FAnnots.get(); }
    TPDFFontCollectionBase* RRenderFontCol() const { return RenderFontCol.get(); }

    // ---- Events ----
    void PainterChange(TObject* Sender);
    void Decrypt();

    // ---- Pages by number ----
    // Root /Count (0 when missing or negative); resizes the known-pages cache.
    int32_t PageCount();
    TPDFDictionary* GetPage(int32_t PageNum);
    void SetPage(int32_t A);
    void SetPageCount(int32_t NewPageCount);
    TPDFArray* KidsArray();
    void ForgetPages();

    // ---- Page references ----
    TPDFIndRef* PageRef();
    TPDFIndRef* GetPageRef(int32_t PageNumber);
    TPDFIndRef* CreatePageRef(int32_t PageNum);
    int32_t FindPage(TPDFIndRef* PageRef);

    // ---- Content writer ----
    // Stores what was drawn since the last flush into the selected layer
    // (only while CanDraw). Drawing marks the layer; the page tree flushes
    // before it changes page or layer, reads a layer and before a save.
    void FlushPainter();

    // ---- Page size and boxes ----
    double PageWidth();
    double PageHeight();
    void SetPageWidth(double Value);
    void SetPageHeight(double Value);
    void SetCropBox(double Left, double Top, double Width, double Height);
    void SetPageBoxProperties(std::string_view BoxName, double Left, double Top, double Width,
                              double Height);
    double PageBoxProperties(std::string_view BoxName, TPDFDimension Dimension);
    int32_t HasPageBox(std::string_view BoxName);
    int32_t RemovePageBox(std::string_view BoxName);
    double UserUnit();
    void SetUserUnit(double Value);
    int32_t GetViewPortCount();
    TPDFDictionary* GetViewPort(int32_t Index);
    int32_t GetLGIDictCount();
    std::string GetLGIDictContent(int32_t Index);
    bool AddLGIDict(std::string_view DictContent);
    bool DeleteLGIDict(int32_t Index);
    void SetThumb(TPDFIndRef* ImageRef);

    // ---- Resources ----
    TPDFDictionary* Resources();
    void UseFont(TPDFFontBase* Font);
    // A font resource under its name (the font's FName and FIndRef).
    void UseFont(std::string_view FontName, TPDFIndRef* FontIndRef);
    // The image under /XObject, with the images its content draws.
    void UseImage(TPDFImageBase* Image);
    bool ReplaceImage(TPDFImageBase* OriginalImage, TPDFImageBase* NewImage);
    // Form fields in the page's /Annots (the field's FFieldRef and the
    // dictionary it came from, FSourceDict).
    void UseField(TPDFIndRef* FieldRef);
    void ReleaseField(TPDFIndRef* FieldRef, TPDFDictionary* SourceDict);
    void ReleaseFieldFromPage(TPDFIndRef* FieldRef, TPDFDictionary* SourceDict,
                              TPDFIndRef* PageRef);
    void UseXObject(std::string_view XOName, TPDFIndRef* XObjectRef);
    void UseGS(std::string_view GSName, TPDFObject* GS, TPDFDictionary* AResources);
    void UseColorSpace(std::string_view CSName, TPDFObject* CS);
    void UsePattern(std::string_view CSName, TPDFObject* CS);
    void UseShading(std::string_view CSName, TPDFObject* CS);
    std::string UseOCG(TPDFIndRef* OCGRef);
    void CloneResources(bool AllBoxes);
    std::string FindColorSpaces(int32_t Options);
    void RemoveUnsharedResources(int32_t StartPage, int32_t Count);

    // ---- Content layers ----
    int32_t LayerCount() const { return static_cast<int32_t>(FPageContent.size()); }
    void SetLayer(int32_t N);
    int32_t NewLayer();
    bool MoveLayer(int32_t FromPos, int32_t ToPos);
    bool DeleteLayer();
    bool CombineLayers();
    void Compress();
    std::string ExtractContent();
    void SetContent(std::string S);
    bool VelmoPDFLayer();
    void SetPageTransparencyGroup(std::string_view CS, bool IsolateFlag, bool KnockoutFlag);

    // ---- Tree editing ----
    void NewPages(int32_t StartPos, int32_t Count, double NewPageWidth, double NewPageHeight);
    void DeletePages(int32_t StartPage, int32_t Count);
    void MovePage(int32_t OldPosition, int32_t NewPosition);
    void HidePage();
    void ClonePages(int32_t StartPage, int32_t EndPage, int32_t RepeatCount);

    // ---- Rendering and text (PageRender.cpp) ----
    // Each call makes its own renderer over RenderFontCol (text: over
    // TextExtractFontCol) and frees it before returning; page numbers are
    // not checked (a page outside the tree renders without a page). A nil
    // settings record leaves the renderer's defaults. Options picks the
    // output: 0 BMP, 1 JPEG, 2 WMF, 3 EMF, 4 EPS, 5 PNG, 6 GIF, 7 TIFF,
    // 8 EMF+, 9 HTML5, 10 Group 4 TIFF; any other value renders and writes
    // nothing. RenderError receives the renderer's error text of each page.
    //
    // One file per page from StartPage to EndPage: every "%p" of FileName
    // becomes the page number in at least four digits; without "%p" the
    // number goes in front of the extension of the file-name part (at the
    // end when it has none). A file that cannot be created raises
    // (EFCreateError); files of earlier pages stay written.
    bool RenderPageToFile(double DPI, int32_t StartPage, int32_t EndPage, int32_t Options,
                          int32_t JPEGQuality, const std::u16string& FileName,
                          const TGDIPlusSettings* GDIPlusSettings, bool HasPNGTransparency,
                          TColor PNGTransparencyColor, std::string& RenderError,
                          const TVPLOCGStateList& OCGStateList,
                          const std::u16string& CairoFileName = {},
                          const std::u16string& KPLRFileName = {});
    bool RenderPageToCairoFile(double DPI, int32_t StartPage, int32_t EndPage, int32_t Options,
                               int32_t JPEGQuality, const std::u16string& CairoFileName,
                               const std::u16string& FileName, bool HasPNGTransparency,
                               TColor PNGTransparencyColor, std::string& RenderError,
                               const TVPLOCGStateList& OCGStateList);
    bool RenderPageToKPLRFile(double DPI, int32_t StartPage, int32_t EndPage, int32_t Options,
                              int32_t JPEGQuality, const std::u16string& KPLRFileName,
                              const std::u16string& FileName,
                              const TGDIPlusSettings* GDIPlusSettings, bool HasPNGTransparency,
                              TColor PNGTransparencyColor, std::string& RenderError,
                              const TVPLOCGStateList& OCGStateList);
    // One page written at the current position of Target (not rewound).
    bool RenderPageToStream(double DPI, int32_t Page, int32_t Options, int32_t JPEGQuality,
                            const TGDIPlusSettings* GDIPlusSettings, TStream& Target,
                            std::string& RenderError, int32_t RenderCropType,
                            const TVPLOCGStateList& OCGStateList);
    bool RenderPageToCairoStream(double DPI, int32_t Page, int32_t Options, int32_t JPEGQuality,
                                 const std::u16string& CairoFileName, TStream& Target,
                                 std::string& RenderError, int32_t RenderCropType,
                                 const TVPLOCGStateList& OCGStateList);
    bool RenderPageToKPLRStream(double DPI, int32_t Page, int32_t Options, int32_t JPEGQuality,
                                const TGDIPlusSettings* GDIPlusSettings,
                                const std::u16string& KPLRFileName, TStream& Target,
                                std::string& RenderError, int32_t RenderCropType,
                                const TVPLOCGStateList& OCGStateList);
    bool RenderPageToKPLRMemory(double DPI, int32_t Page, int32_t JPEGQuality,
                                const TGDIPlusSettings* GDIPlusSettings,
                                const std::u16string& KPLRFileName, void* Target, int32_t Width,
                                int32_t Height, int32_t BitsPerPixel, std::string& RenderError,
                                int32_t RenderCropType, const TVPLOCGStateList& OCGStateList);
    // Clip: integers separated by blanks, taken four at a time (left, top,
    // width, height) as the initial clip; a trailing incomplete group is
    // ignored and a malformed number raises std::invalid_argument.
    bool RenderPageToDC(double DPI, int32_t Page, int32_t JPEGQuality,
                        const TGDIPlusSettings* GDIPlusSettings, HDC TargetDC,
                        std::string& RenderError, int32_t RenderCropType, int32_t OffsetX,
                        int32_t OffsetY, bool ErasePage, const TVPLOCGStateList& OCGStateList,
                        std::string_view Clip);
    bool RenderPageToCairoDC(double DPI, int32_t Page, int32_t JPEGQuality,
                             const std::u16string& CairoFileName, HDC TargetDC,
                             std::string& RenderError, int32_t RenderCropType, int32_t OffsetX,
                             int32_t OffsetY, bool ErasePage, const TVPLOCGStateList& OCGStateList);
    // Reuses the kept renderer (FRenderer) when it is still unset (DPI -1)
    // or was set up for the same page, resolution and library.
    bool RenderPageToKPLRDC(double DPI, int32_t Page, int32_t JPEGQuality,
                            const TGDIPlusSettings* GDIPlusSettings,
                            const std::u16string& KPLRFileName, HDC TargetDC,
                            std::string& RenderError, int32_t RenderCropType, int32_t OffsetX,
                            int32_t OffsetY, bool ErasePage, const TVPLOCGStateList& OCGStateList,
                            std::string_view Clip);
    // Prints StartPage..EndPage, or the pages of PageRanges: "All", "Odd",
    // "Even", "Odd" or "Even" before a range list (its odd or even pages), or
    // a range list such as "1,3-5". Options bits 0-3 give the page scaling
    // (1 fit to paper, 2 shrink large pages), bit 4 auto-rotate-and-centre.
    // Progress goes to the settings' progress window: 1050 before the first
    // page, then the percentage done after each.
    bool RenderPageToPrinter(TVPLPrinterBase* VPLPrinter, int32_t StartPage, int32_t EndPage,
                             int32_t Options, const TGDIPlusSettings* GDIPlusSettings,
                             const TVPLOCGStateList& OCGStateList,
                             const std::u16string& KPLRFileName = {});
    bool RenderPageToPrinter(TVPLPrinterBase* VPLPrinter, std::u16string_view PageRanges,
                             int32_t Options, const TGDIPlusSettings* GDIPlusSettings,
                             const TVPLOCGStateList& OCGStateList,
                             const std::u16string& KPLRFileName = {});
    // The page numbers PageRanges names, in print order.
    std::vector<int32_t> PrintPageList(std::u16string_view PageRanges);

    // Text of the selected page: a text list (ExtractOptions 3 or 4 only; the
    // document's text lists own it), the text in the form the options ask,
    // and the split of the page into a graphics and a text layer. Funnel,
    // when given, replaces the renderer's own and stays the caller's.
    TObject* GetTextList(int32_t ExtractOptions, TObject* Funnel);
    std::u16string ExtractText(int32_t ExtractOptions, TObject* Funnel);
    void SplitPageText(int32_t Options);
    // The images of the selected page, in a list the document's image lists
    // own.
    TPDFImageListBase* GetImageList();

    // Longest chain of /Kids levels walked; deeper trees end the walk.
    static constexpr int MaxTreeDepth = 1000;

private:
    void LoadDefaultPageSize();
    // |item To - item From| of the selected page's media box (Default, read
    // after the defaults are loaded, when there is none).
    double MediaBoxExtent(int32_t From, int32_t To, const double& Default);
    TPDFObject* FindInheritedEntry(TPDFDictionary* Dict, std::string_view Key);
    void RegisterResource(std::string_view Category, std::string_view Name, TPDFObject* Value,
                          TPDFDictionary* Res);
    TPDFArray* LocatePage(int32_t N, TPDFDictionary*& Parent, int32_t& Index);
    void AdjustPageCount(TPDFDictionary* Node, int32_t Delta);
    void ClonePage(int32_t PageNum);
    bool FPainterDirty = false;
    // A deferred first layer becomes an object (and the page's /Contents)
    // once anything is written into it.
    void CommitPendingLayer();
    void UseImageLevel(TPDFImageBase* Image, int Depth);
    void ReleaseFieldFrom(TPDFDictionary* Page, TPDFIndRef* FieldRef, TPDFDictionary* SourceDict);
    TPDFStream* NewEngineLayer(bool Marked);
    TPDFIndRef* Register(TPDFObject* Obj);
    // The known-pages cache: entry n-1 is page n's dictionary (or nil); its
    // length is the last PageCount, but only pages walked are stored.
    std::unordered_map<int32_t, TPDFDictionary*> FKnownPages;
    // A page without /Contents selected while deferring gets an engine layer
    // that becomes an indirect object (and the page's /Contents) only when
    // something is written into it.
    bool FDeferLayer = false;
    TPDFStream* FPendingLayer = nullptr;
    int32_t FKnownPagesLength = 0;
};

// Writes Trunc(DPI x 1000 / 25.4) (pixels per metre) as the horizontal and
// vertical resolution of the BMP file that begins at Start in Target, when
// at least 48 bytes follow Start; the position is left at the end.
void PatchBMPResolution(TStream& Target, int64_t Start, double DPI);

// The file name of one page: see RenderPageToFile.
std::u16string PageFileName(const std::u16string& FileName, int32_t Page);

// Kind of a page-tree node: its /Type name; a node without /Type that has
// /Kids counts as "Pages".
std::string PageNodeKind(TPDFDictionary* Node);

// Checks the page tree under Root in one iterative walk and repairs what a
// damaged file gets wrong, so that page numbers and /Count agree: a
// dictionary with /Kids (or named /Pages) is a node, any other dictionary a
// page; kids that are not dictionaries, and nodes met a second time, are
// dropped; a page listed twice becomes a copy of its own; direct kids become
// objects; /Type and every node's /Count are set to what the walk found. A
// root that is a page itself gets a node above it (Root and the catalog's
// /Pages then name that node). New objects are registered through the
// store's OnNewIndObj. True when anything was changed.
bool RepairPageTree(TPDFStructure& Store, TPDFDictionary* Catalog, TPDFDictionary*& Root);

}  // namespace velmo
