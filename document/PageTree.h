// The pages of one document: page look-up by number in the /Pages tree (with
// a flat-tree shortcut and a cache of pages found), the selected page with its
// content layers and the content writer bound to the last layer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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
    void ReleaseFieldFromPage(TPDFIndRef* FieldRef, TPDFDictionary* SourceDict, TPDFIndRef* PageRef);
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
