// One PDF document in memory: the loaded file (its source, held once), the
// object store, the table of indirect objects with a sorted index, the
// trailer, the page tree, and the lists later features keep.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/Objects.h"
#include "core/Structure.h"
#include "document/IndObj.h"
#include "document/OptionalContent.h"
#include "document/Security.h"

namespace velmo {

class TPDFPageTree;
class TPDFImageBase;
class TKorbexPDFLibraryXMP;
class TPDFSecurityHandler;
class TStream;

enum TVPLLoadResult : uint8_t { lrOkay, lrWrongPassword, lrError };
enum TPDFStorageMode : uint8_t { smString, smStream, smCompressedStream };

// One row of the cross-reference table.
struct TPDFXRefEntry {
    int32_t ObjNum = 0;
    int32_t GenNum = 0;
    int64_t ObjPos = 0;
    bool InUse = false;
    int32_t ObjStrNum = 0;
    int32_t ObjStrIndex = 0;
    bool Compact = false;
};

struct TVPLExtractionOptions {
    double WordGap = 0.7;
    bool IgnoreFont = false, IgnoreColor = false, IgnoreBlocks = false, SortBlocks = false,
         SplitOnDoubleSpace = false, TrimCharsOutsideArea = false, SpecialMatch = false,
         IgnoreRotated = false, TrimWhitespace = false, OutputNonAscii = false,
         RemoveUnderscoreLines = false, HasArea = false;
    double AreaLeft = 0, AreaTop = 0, AreaWidth = 0, AreaHeight = 0;
    bool OutputCMYK = false, IgnoreDescenders = false, IgnoreOverlaps = false,
         IgnoreDuplicates = false;
    double HorzScaleFactor = 5.0;
    double VertScaleFactor = 8.0;
};

// Percentage progress.
using TVelmoPDFProgressEvent = std::function<void(int32_t Percent)>;

// An owning list of engine objects of later subsystems (fonts, images, ...).
using TPDFOwnedList = std::vector<std::unique_ptr<TObject>>;

class TPDFDocument : public TObject {
public:
    TPDFDocument();
    ~TPDFDocument() override;
    TPDFDocument(const TPDFDocument&) = delete;
    TPDFDocument& operator=(const TPDFDocument&) = delete;

    // ---- Loading ----
    // A file that cannot be opened raises (std::runtime_error).
    TVPLLoadResult LoadFromFile(const std::u16string& FileName, const std::u16string& Password);
    TVPLLoadResult LoadFromString(std::string Source, const std::u16string& Password);
    TVPLLoadResult LoadFromStream(TStream& InStream, const std::u16string& Password);
    // Saves the document into memory, frees everything and loads the saved
    // text again with the password accepted before. Needs a temporary file
    // name (spooled objects are read back from it). False when there is none,
    // when the save gives nothing (the document is then left as it was) or
    // when the saved text does not load.
    bool Reload();

    // ---- Life cycle ----
    void Initialize();
    void Reset();
    bool CreateBlank();

    // ---- Indirect-object table ----
    TPDFIndObj* FindObj(int32_t ObjNum, int32_t GenNum) const;
    TPDFIndObj* AddIndObj(TPDFObject* Obj, bool Rebuild);
    TPDFIndRef* NewObjRef(TPDFObject* AObj);
    TPDFIndRef* NewEmptyDictRef();
    int32_t CreateNewObject();
    int32_t NewStream(std::string_view D, std::string S);
    void ReserveIndObj(int32_t Count);
    void ReplaceObj(int32_t ObjNum, int32_t GenNum, TPDFObject* NewObject);
    int32_t GetObjCount() const { return static_cast<int32_t>(FIndObjList.size()); }
    int32_t ObjCount() const { return GetObjCount(); }
    TPDFIndObj* IndObj(int32_t Index) const { return FIndObjList[static_cast<size_t>(Index)].get(); }
    void Compact();
    void CheckObjects();
    void BuildIndObjList();
    void RebuildIndex();
    void IndObjLookup(TObject* Sender, int32_t ObjNum, int32_t GenNum, TPDFObject*& Obj);
    void NewIndObj(TObject* Sender, TPDFObject* Obj, int32_t& ObjNum, int32_t& GenNum);
    void DecryptObj(int32_t ObjNum, int32_t GenNum);
    void DeleteObj(int32_t ObjNum, int32_t GenNum);
    std::string GetObjectSource(int32_t ObjNum);
    void SetObjectSource(int32_t ObjNum, std::string_view NewObjectSource);
    bool GetObjectDecodeError(int32_t ObjNum);
    std::string GetRawSource(TPDFIndObj* IndObj);
    // The text of a compact object inside its object stream's decoded data
    // (a view, valid while the document lives); False when the slot is
    // missing or damaged.
    bool GetCompactSlot(TPDFIndObj* IndObj, std::string_view& Slot);
    // Where a raw scan of the source finds the header "ObjNum GenNum obj"
    // (the last one in the file); -1 when it finds none. The scan runs once,
    // when an object cannot be read where the cross-reference data puts it.
    int64_t RawObjectPosition(int32_t ObjNum, int32_t GenNum);
    // An object the cross-reference data does not list (a damaged table)
    // but whose header the raw scan finds: added to the object list.
    TPDFIndObj* RecoverUnlistedObj(int32_t ObjNum, int32_t GenNum);

    // ---- Catalog, pages and information ----
    TPDFDictionary* GetRootDict();
    TPDFDictionary* RootDict() { return GetRootDict(); }
    TPDFDictionary* GetPagesDict();
    TPDFDictionary* PagesDict() { return GetPagesDict(); }
    int32_t GetPageCount();
    int32_t PageCount() { return GetPageCount(); }
    TPDFDictionary* GetInfoDict();
    TPDFDictionary* InfoDict() { return GetInfoDict(); }
    std::string GetRawInfo(std::string_view Key);
    std::u16string GetInfo(std::string_view Key);
    void SetRawInfo(std::string_view Key, std::string_view Value, TPDFStorageMode Mode);
    void SetInfo(std::string_view Key, std::u16string_view Value, TPDFStorageMode Mode);
    void SetVersion(std::string Value);
    void SetOldFormat();

    // Pages in document order and page numbers from references.
    TPDFDictionary* FirstPage();
    TPDFDictionary* FirstPageFrom(TPDFDictionary* Start);
    TPDFDictionary* NextPage(TPDFDictionary* Start);
    TPDFObject* GetPageInheritedValue(TPDFDictionary* Start, std::string_view Key);
    int32_t FindPage(TPDFIndRef* PageRef);
    int32_t GetPageFromRef(TPDFIndRef* Ref);

    // ---- Images (DocumentImages.cpp) ----
    // A new image named "VelmoPDFIm" + a unique id from an image file; nil
    // when the file is no image the engine builds.
    TPDFImageBase* NewImageFromStream(TStream& InStream, int32_t Options, int32_t Compress);
    TPDFImageBase* NewImageDirectFromString(const std::string& Source, int32_t Width,
                                            int32_t Height, int32_t BitsPerComponent,
                                            const std::u16string& ColorSpace,
                                            const std::u16string& Filter,
                                            const std::u16string& Decode, bool Interpolate);
    void AddImageFromStream(TPDFStream* ImageStream, int32_t ObjNum, int32_t GenNum,
                            bool FullConvert);
    int32_t FindImagesMode1(bool FullConvert);
    int32_t FindImagesMode2(bool FullConvert);
    int32_t ImageCount() const { return static_cast<int32_t>(FImages.size()); }
    TPDFImageBase* Image(int32_t Index) const;
    bool IsImage(const TObject* AImage) const;
    bool IsImageList(const TObject* ImageList) const;
    bool IsTextList(const TObject* TextList) const;
    bool ReleaseImage(const TObject* AImage);
    bool ReleaseImageList(const TObject* ImageList);
    bool ReleaseTextList(const TObject* TextList);

    // ---- Fonts (DocumentFonts.cpp) ----
    int32_t FontCount() const { return static_cast<int32_t>(FFonts.size()); }
    bool IsFont(const TObject* Font) const;
    // True when a font of the list has an indirect reference to ObjNum GenNum.
    bool FontExists(int32_t ObjNum, int32_t GenNum) const;
    // The save's preparation: every font updates its subset.
    void UpdateFontSubsets();
    void SetNoEmbedFontList(const std::vector<std::string>& FontList);
    void ClearNoEmbedFontList() { FNoEmbedFontList.clear(); }

    // ---- Optional content (OptionalContent.cpp) ----
    // A nil or non-dictionary group makes setters answer False and getters
    // their empty value (visible and printable for the state getters).
    TPDFIndRef* NewOCG(std::u16string_view GroupName);
    int32_t OCGCount();
    // The 1-based Index-th element of /OCGs when it is a reference.
    TPDFIndRef* OCGRef(int32_t Index);
    std::u16string OCGName(TPDFIndRef* OCGRef);
    bool SetOCGName(TPDFIndRef* OCGRef, std::u16string_view NewName);
    bool DeleteOCG(TPDFIndRef* OCGRef);
    // Key "Print" reads the group's print usage; any other key the view
    // state of the default configuration and its auto states (which adds an
    // empty /AS to a configuration without one).
    bool GetOCGState(TPDFIndRef* OCGRef, std::string_view Key);
    bool GetOCGVisible(TPDFIndRef* OCGRef) { return GetOCGState(OCGRef, "View"); }
    bool GetOCGPrintable(TPDFIndRef* OCGRef) { return GetOCGState(OCGRef, "Print"); }
    bool SetOCGVisible(TPDFIndRef* OCGRef, bool Visible);
    // 1 printable, 2 no print setting of its own, anything else not printable.
    bool SetOCGPrintable(TPDFIndRef* OCGRef, int32_t Printable);
    bool SetOCGUsage(TPDFIndRef* OCGRef, std::string_view Key, std::string_view Value);
    bool RemoveOCGUsage(TPDFIndRef* OCGRef, std::string_view Key);
    bool SetOCGAutoState(TPDFIndRef* OCGRef, std::string_view Key, bool Include);
    // One entry per /OCGs element, in order.
    TVPLOCGStateList GetViewOCGList();
    TVPLOCGStateList GetPrintOCGList();
    // Configuration 1 is /D, 2 and up the elements of /Configs.
    int32_t GetOptionalContentConfigCount();
    TPDFDictionary* GetOptionalContentConfigDict(int32_t ConfigID);
    // 1 on, 2 off, 3 unchanged; 0 when the configuration does not exist.
    int32_t GetOptionalContentConfigState(int32_t ConfigID, TPDFIndRef* OCGRef);
    bool SetOptionalContentConfigState(int32_t ConfigID, TPDFIndRef* OCGRef, int32_t NewState);
    bool GetOptionalContentConfigLocked(int32_t ConfigID, TPDFIndRef* OCGRef);
    bool SetOptionalContentConfigLocked(int32_t ConfigID, TPDFIndRef* OCGRef, bool Locked);
    // Appends the items of an /Order array (nested arrays one level deeper;
    // arrays already being walked, and nesting past kMaxObjectDepth, are
    // skipped).
    void BuildOptionalContentConfigOrderArray(TPDFArray* Source, TPDFOCGConfigOrderItems& ItemList,
                                              int32_t Level);
    int32_t GetOptionalContentConfigOrderCount(int32_t ConfigID);
    int32_t GetOptionalContentConfigOrderItemType(int32_t ConfigID, int32_t ItemIndex);
    std::u16string GetOptionalContentConfigOrderItemLabel(int32_t ConfigID, int32_t ItemIndex);
    TPDFIndRef* GetOptionalContentConfigOrderItemOCG(int32_t ConfigID, int32_t ItemIndex);
    int32_t GetOptionalContentConfigOrderItemLevel(int32_t ConfigID, int32_t ItemIndex);

    // ---- XMP metadata (DocumentXMP.cpp) ----
    std::string GetMetadata();
    void SetMetadata(std::string_view NewXMP);
    std::u16string GetXMPInformation(std::u16string_view Key, std::u16string_view Delimiter);
    // Only "dc:subject" is accepted.
    bool SetXMPInformation(std::u16string_view Key, std::u16string_view Value,
                           std::u16string_view Delimiter);
    // The XMP property that an Info entry mirrors gets the same value.
    void MirrorInfoToXMP(std::string_view Key, std::u16string_view Value);
    bool SetPDFAMode(int32_t NewMode);
    // The XMP object, made (from the catalog's packet) when missing.
    TKorbexPDFLibraryXMP* NeedXMP();
    // Called by the save before writing: /Metadata gets the current packet.
    void StoreXMP();

    // ---- Saving and appending ----
    bool SaveToStream(TStream& Stream, bool AppendMode);
    bool SaveToFile(const std::u16string& FileName);
    std::string SaveToString();
    bool AppendToFile(const std::u16string& FileName);
    std::string AppendToString(int32_t AppendMode, const std::string& InputString);
    bool Compress();
    void CompressPage(int32_t PageNumber);

    // ---- Page operations on the selected page and the whole tree ----
    bool RotatePage(int32_t PageRotation);
    int32_t PageRotation();
    void BalancePageTree();
    void FixPageResources();
    bool RemoveSharedLayers();

    // ---- Diagnostics ----
    std::string IndObjects() const;
    std::u16string IndObjSummary();

    // ---- Temporary spooling file ----
    bool SetTempFileName(const std::u16string& FN);
    bool HasTempFile() const { return !FTempFileName.empty(); }
    std::u16string TempFileName() const { return FTempFileName; }
    void StoreData(int32_t ObjNum, std::string_view Data);
    std::string GetData(int32_t ObjNum);
    // Opens or closes the temporary file for the passes that spool objects.
    bool OpenTempFile();
    void CloseTempFile();

    // ---- Properties ----
    const std::string& Source() const { return FSource; }
    TPDFStructure* Structure() const { return FStructure.get(); }
    TPDFDictionary* Trailer() const { return FTrailer; }
    TPDFPageTree* PageTree() const { return FPageTree.get(); }
    const std::string& Version() const { return FVersion; }
    bool Changed() const { return FChanged; }
    bool Linearized() const { return FLinearized; }
    bool Repaired() const { return FRepaired; }
    bool NoPagesDict() const { return FNoPagesDict; }
    int32_t MaxObjNum() const { return FMaxObjNum; }
    int32_t DecodeMode() const { return FDecodeMode; }
    void SetDecodeMode(int32_t Value) { FDecodeMode = Value; }
    int32_t PDFAMode() const { return FPDFAMode; }
    bool IsUserPassword() const { return FIsUserPassword; }
    bool IsOwnerPassword() const { return FIsOwnerPassword; }

    // ---- Standard security handler (SecurityHooks.cpp) ----
    // The handler holds the encryption state; the operations below answer
    // through it and keep the password flags of this class in step.
    TPDFSecurityHandler& Security();
    bool CheckUserPassword(const std::u16string& Password);
    bool CheckOwnerPassword(const std::u16string& Password);
    TPDFArray* GetID();
    bool CanDecrypt();
    bool HasUserPassword();
    bool HasOwnerPassword();
    int32_t EncryptionStrength();
    int32_t EncryptionAlgorithm();
    bool EncryptionAcroX();
    TPDFEncrypted GetEncrypted();
    TPDFEncrypted Encrypted() { return GetEncrypted(); }
    uint32_t PermissionsKey();
    bool Encrypt(const std::string& Owner, const std::string& User,
                 TPDFEncryptionStrength Strength, TPDFPermissions Perm,
                 TPDFExtraPermissions ExtraPerm);
    bool Decrypt();
    std::string EncryptionFingerprint();
    bool EncryptWithFingerprint(const std::string& Fingerprint);
    std::unique_ptr<TPDFSecurityHost> FSecurityHost;
    std::unique_ptr<TPDFSecurityHandler> FSecurity;

    // ---- Fields ----
    std::unordered_set<int32_t> XRefObjLoaded;  // numbers taken from cross-reference data
    std::unordered_set<int32_t> XRefFreed;      // numbers listed free and never in use
    bool FSaving = false;  // no object joins the list while a save walks it
    std::vector<TPDFXRefEntry> XRefTable;
    int32_t XRefTableIndex = 0;
    int32_t IndexCount = 0;
    std::vector<std::string> HTMLEquivalentTags;
    int64_t FLastDataPos = 0;
    int64_t FXRefPos = -1;
    std::vector<int64_t> XRefPosList;
    std::vector<std::unique_ptr<TPDFObjectStream>> FObjectStreams;
    std::vector<std::string> FNoEmbedFontList;
    std::vector<TObject*> FIncludedFonts;  // not owned
    bool FChanged = false;
    bool FUserModDate = false;
    std::string FVersion;
    std::string FSource;
    std::unique_ptr<TPDFStructure> FStructure;
    std::vector<std::unique_ptr<TPDFIndObj>> FIndObjList;
    std::vector<int32_t> FIndObjIndex;  // object numbers, ascending
    std::vector<int32_t> FIndObjKey;    // list index of each FIndObjIndex entry
    // Objects the raw scan recovered since the index was last sorted.
    std::unordered_map<int32_t, int32_t> FRecoveredKey;
    TPDFDictionary* FTrailer = nullptr;
    std::unique_ptr<TPDFPageTree> FPageTree;
    TPDFOwnedList FImages, FImageLists, FTextLists, FFonts;
    std::u16string FPassword;
    bool FIsUserPassword = false;
    bool FIsOwnerPassword = false;
    bool FOwnerPasswordBlank = false;
    bool FUserPasswordBlank = false;
    bool FLinearized = false;
    bool FHasDefaultHTMLFonts = false;
    double FScale = 1.0;
    int32_t FOrigin = 0;
    int32_t FCompressImages = 0, FCompressFonts = 0, FUseExistingFonts = 0;
    std::u16string FTempFileName;
    std::FILE* FMainFS = nullptr;
    TPDFStorageMode FJavaScriptMode = smString;
    bool FUseUnsafeLayers = false;
    bool FNoPagesDict = false;
    int32_t FMaxObjNum = 0;
    std::string FHeaderComments;
    bool FormSearched = false;
    std::vector<TObject*> FLastImageFontList;  // not owned
    int32_t FPDFAMode = 0;
    bool FPDFAModePossible = true;
    int32_t FDecodeMode = 2;
    TPDFOwnedList CapturedPages;
    std::unique_ptr<TKorbexPDFLibraryXMP> XMP;  // nil until first needed
    bool FRepaired = false;
    TVelmoPDFProgressEvent FOnProgress;
    bool FillSet = false;
    std::u16string BreakString = u"\r\n";
    std::string XFAFormFields;
    std::u16string SourceFileName;
    uint64_t SourceFileSize = 0;
    TVPLExtractionOptions TextExtractOptions;
    // The source was read after dropping bytes before its header, so file
    // offsets and source offsets differ.
    bool FSourceShifted = false;

    // Nesting of object parses that reach other objects (lengths, object
    // streams); deeper chains parse as null.
    int32_t FDecodeDepth = 0;
    static constexpr int32_t MaxDecodeDepth = 64;
    // Rows taken from cross-reference data at most.
    static constexpr int32_t kMaxXRefRows = int32_t{1} << 23;

private:
    // Loading steps.
    TVPLLoadResult LoadSequence(const std::u16string& Password);
    TVPLLoadResult LoadDocument(const std::u16string& Password);
    bool CheckHeader();
    bool ReadCrossReference();
    void Repair();
    // Object headers of the raw scan: (number, generation) to position.
    void SetRawIndex(const class TVPLRawAnalyser& Analyser);
    // The page tree root of a damaged file: the catalog named by the
    // trailer, else one found among the objects; an empty tree stands in
    // when the file has none.
    TPDFDictionary* FindPageTreeRoot();
    TPDFDictionary* PagesOfCatalog(TPDFDictionary* Catalog);
    // A pages node among the objects: the last one without /Parent, else
    // the last one; nil when none.
    TPDFDictionary* FindPagesNode();
    void XRefItem(int32_t O, int64_t N, int32_t G, char T);
    void XRefTrailer(const std::string& Trailer);
    void XRefRead(int64_t Pos);
    void AddXRefRow(const TPDFXRefEntry& Row);
    void NewPageTree(TPDFDictionary* APages, bool DeferFirstLayer = false);
    void CheckLinearized();
    // Encrypted files: tries the empty and the given password; True when the
    // given one opens the document. Provided by the security handler.
    bool OpenEncrypted(const std::u16string& Password);
    // Saving: an update may be appended only when the loaded offsets still
    // describe the file; encryption of the objects written.
    bool OffsetsMatchSource() const;
    bool SaveEncrypts();
    int32_t EncryptDictObjNum();

    int32_t FHighestObjNum = 0;  // highest number in the object list
    std::unique_ptr<std::unordered_map<uint64_t, int64_t>> FRawIndex;
};

}  // namespace velmo
