#include "document/Document.h"
#include "document/XMP.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <unordered_set>

#include "core/Digests.h"
#include "core/StringHelpers.h"
#include "core/TextStrings.h"
#include "document/PageTree.h"
#include "platform/files/WideFile.h"

namespace velmo {

namespace {

std::filesystem::path PathOf(const std::u16string& Name) {
    return std::filesystem::path(WideToFileSystemName(Name));
}

// The current local date and time as a day count from 1899-12-30 with the
// time as fraction, written with up to 15 significant digits.
std::string NowAsDayCountText() {
    const std::time_t t = std::time(nullptr);
    std::tm lt{};
    localtime_r(&t, &lt);
    return FloatToStrA(static_cast<double>(timegm(&lt)) / 86400.0 + 25569.0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle

TPDFDocument::TPDFDocument() {
    Initialize();
    Reset();
    BreakString = u"\r\n";
    SourceFileName.clear();
    SourceFileSize = 0;
    FDecodeMode = 2;
    TextExtractOptions = TVPLExtractionOptions{};
}

TPDFDocument::~TPDFDocument() {
    FPageTree.reset();
    FObjectStreams.clear();
    FIndObjList.clear();
    FImages.clear();
    FImageLists.clear();
    FTextLists.clear();
    FFonts.clear();
    CapturedPages.clear();
    FStructure.reset();
    CloseTempFile();
    if (!FTempFileName.empty()) {
        std::error_code ec;
        std::filesystem::remove(PathOf(FTempFileName), ec);
    }
}

void TPDFDocument::Initialize() {
    CloseTempFile();
    FillSet = false;
    IndexCount = 0;
    FChanged = false;
    FPassword.clear();
    FSource.clear();
    FLastDataPos = 0;
    FUserModDate = false;
    FPageTree.reset();
    FObjectStreams.clear();
    FIndObjList.clear();
    FIndObjIndex.clear();
    FIndObjKey.clear();
    FRecoveredKey.clear();
    FHighestObjNum = 0;
    FStructure = std::make_unique<TPDFStructure>();
    FStructure->OnIndObjLookup = [this](TObject* S, int32_t N, int32_t G, TPDFObject*& O) {
        IndObjLookup(S, N, G, O);
    };
    FStructure->OnNewIndObj = [this](TObject* S, TPDFObject* O, int32_t& N, int32_t& G) {
        NewIndObj(S, O, N, G);
    };
    FTrailer = nullptr;
    FImages.clear();
    FImageLists.clear();
    FTextLists.clear();
    FFonts.clear();
    CapturedPages.clear();
    XRefObjLoaded.clear();
    XRefFreed.clear();
    FormSearched = false;
    FHasDefaultHTMLFonts = false;
    FScale = 1.0;
    FOrigin = 0;
    FCompressImages = FCompressFonts = FUseExistingFonts = 0;
    FJavaScriptMode = smString;
    FUseUnsafeLayers = false;
    FTempFileName.clear();
    XRefTable.clear();
    XRefTableIndex = 0;
    FRepaired = false;
    XMP.reset();
}

void TPDFDocument::Reset() {
    FPageTree.reset();
    FObjectStreams.clear();
    FIndObjList.clear();
    FIndObjIndex.clear();
    FIndObjKey.clear();
    FRecoveredKey.clear();
    FHighestObjNum = 0;
    FStructure->Clear();
    FTrailer = FStructure->NewDictionary();
    FSource.clear();
    NewPageTree(nullptr);
    FImages.clear();
    FImageLists.clear();
    FTextLists.clear();
    FFonts.clear();
    FPassword.clear();
    FIsUserPassword = false;
    FIsOwnerPassword = false;
    FSecurity.reset();  // the next question reads the new trailer
    FPDFAModePossible = true;
    FHeaderComments.clear();
    XMP.reset();
}

void TPDFDocument::NewPageTree(TPDFDictionary* APages, bool DeferFirstLayer) {
    FPageTree.reset();
    FPageTree = std::make_unique<TPDFPageTree>(APages, &FImages, &FImageLists, &FTextLists,
                                               &FIncludedFonts, DeferFirstLayer);
    FPageTree->OnDecrypt = [this](int32_t N, int32_t G) { DecryptObj(N, G); };
    FPageTree->OnDeleteObj = [this](int32_t N, int32_t G) { DeleteObj(N, G); };
    FPageTree->OnFindPage = [this](TPDFIndRef* R) { return FindPage(R); };
    FPageTree->FUseUnsafeLayers = FUseUnsafeLayers;
}

// ---------------------------------------------------------------------------
// Indirect-object table

TPDFIndObj* TPDFDocument::FindObj(int32_t ObjNum, int32_t GenNum) const {
    (void)GenNum;
    const auto it = std::lower_bound(FIndObjIndex.begin(), FIndObjIndex.end(), ObjNum);
    if (it == FIndObjIndex.end() || *it != ObjNum) {
        if (FRecoveredKey.empty()) return nullptr;
        const auto r = FRecoveredKey.find(ObjNum);
        return r == FRecoveredKey.end() ? nullptr : FIndObjList[static_cast<size_t>(r->second)].get();
    }
    return FIndObjList[static_cast<size_t>(FIndObjKey[static_cast<size_t>(it - FIndObjIndex.begin())])]
        .get();
}

TPDFIndObj* TPDFDocument::AddIndObj(TPDFObject* Obj, bool Rebuild) {
    (void)Rebuild;  // the index is always kept current
    if (!ObjAs<TPDFNumeric>(FTrailer->FindValueByKeyName("Size", false)))
        FTrailer->Add("Size", FStructure->NewNumeric(1));
    // One above the highest number; when a file already used the highest
    // possible number, the lowest free one.
    int32_t n = 1;
    bool atEnd = true;
    if (FHighestObjNum < INT32_MAX) {
        n = FHighestObjNum + 1;
    } else {
        if (!FRecoveredKey.empty()) RebuildIndex();
        for (int32_t v : FIndObjIndex) {
            if (v == n) ++n;
            else if (v > n) break;
        }
        atEnd = false;
    }
    auto io = std::make_unique<TPDFIndObj>(this);
    io->FDecodeMode = FDecodeMode;
    io->FObjNum = n;
    io->FGenNum = 0;
    io->FObj = Obj;
    if (Obj) Obj->Own(n, 0);
    io->FDecoded = true;
    io->FDecrypted = true;
    TPDFIndObj* raw = io.get();
    const int32_t key = static_cast<int32_t>(FIndObjList.size());
    FIndObjList.push_back(std::move(io));
    if (atEnd) {
        FIndObjIndex.push_back(n);
        FIndObjKey.push_back(key);
        FHighestObjNum = n;
    } else {
        const auto at = std::lower_bound(FIndObjIndex.begin(), FIndObjIndex.end(), n);
        const auto pos = at - FIndObjIndex.begin();
        FIndObjIndex.insert(at, n);
        FIndObjKey.insert(FIndObjKey.begin() + pos, key);
    }
    FMaxObjNum = n == INT32_MAX ? INT32_MAX : n + 1;
    if (auto* size = ObjAs<TPDFNumeric>(FTrailer->FindValueByKeyName("Size", false)))
        size->SetTo(static_cast<double>(FHighestObjNum) + 1);
    return raw;
}

TPDFIndRef* TPDFDocument::NewObjRef(TPDFObject* AObj) {
    TPDFIndObj* io = AddIndObj(AObj, true);
    return FStructure->NewIndirectRef(io->FObjNum, 0);
}

TPDFIndRef* TPDFDocument::NewEmptyDictRef() { return NewObjRef(FStructure->NewDictionary()); }

int32_t TPDFDocument::CreateNewObject() { return AddIndObj(FStructure->NewNull(), true)->FObjNum; }

int32_t TPDFDocument::NewStream(std::string_view D, std::string S) {
    TPDFStream* s = FStructure->NewStream(std::move(S), false);
    if (auto* d = ObjAs<TPDFDictionary>(FStructure->Decode(D))) {
        s->SetDict(d);
        // The given dictionary carries no reliable /Length of these bytes.
        s->SetStream(s->FStream);
        s->FDictionary->PurgeKey("Filter");
    }
    int32_t n = 0, g = 0;
    NewIndObj(this, s, n, g);
    return n;
}

void TPDFDocument::ReserveIndObj(int32_t Count) {
    if (Count > 0) FIndObjList.reserve(FIndObjList.size() + static_cast<size_t>(Count));
}

void TPDFDocument::ReplaceObj(int32_t ObjNum, int32_t GenNum, TPDFObject* NewObject) {
    TPDFIndObj* io = FindObj(ObjNum, GenNum);
    if (!io) return;
    io->FObj = NewObject;
    io->FDecoded = true;
    io->FDecrypted = true;  // a value built in memory is plain
    io->FCompact = false;
}

// By index: reading an object may add one the raw scan recovers.
void TPDFDocument::Compact() {
    for (size_t i = 0; i < FIndObjList.size(); ++i) FIndObjList[i]->Recode();
}

void TPDFDocument::CheckObjects() {
    for (size_t i = 0; i < FIndObjList.size(); ++i)
        if (!FIndObjList[i]->FDecoded) FIndObjList[i]->GetObj();
}

void TPDFDocument::BuildIndObjList() {
    // Known positions: cross-reference sections (slot -1) and rows in use.
    struct Item {
        int64_t Pos;
        int32_t Slot;  // row index, -1 for a section position
    };
    std::vector<Item> items;
    items.reserve(XRefPosList.size() + XRefTable.size());
    for (int64_t p : XRefPosList) items.push_back({p, -1});
    for (size_t r = 0; r < XRefTable.size(); ++r)
        if (XRefTable[r].InUse) items.push_back({XRefTable[r].ObjPos, static_cast<int32_t>(r)});
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.Pos != b.Pos) return a.Pos < b.Pos;
        if ((a.Slot < 0) != (b.Slot < 0)) return a.Slot < 0;
        if (a.Slot >= 0 && XRefTable[a.Slot].ObjNum != XRefTable[b.Slot].ObjNum)
            return XRefTable[a.Slot].ObjNum < XRefTable[b.Slot].ObjNum;
        return a.Slot < b.Slot;
    });

    FIndObjList.clear();
    const int64_t L = static_cast<int64_t>(FSource.size());
    FIndObjList.reserve(items.size());
    for (size_t j = 0; j < items.size(); ++j) {
        if (items[j].Slot < 0) continue;
        const TPDFXRefEntry& row = XRefTable[static_cast<size_t>(items[j].Slot)];
        int64_t end = j + 1 < items.size() ? items[j + 1].Pos : L;
        if (end == row.ObjPos && j + 2 < items.size()) end = items[j + 2].Pos;
        if (!row.InUse || row.GenNum < 0) continue;
        auto io = std::make_unique<TPDFIndObj>(this);
        io->FDecodeMode = FDecodeMode;
        io->FPosition = row.ObjPos;
        io->FLength = end - row.ObjPos;
        io->FSpan = io->FLength;
        io->FObjNum = row.ObjNum;
        io->FGenNum = row.GenNum;
        io->FCompact = row.Compact;
        io->FObjStrNum = row.ObjStrNum;
        io->FObjStrIndex = row.ObjStrIndex;
        FIndObjList.push_back(std::move(io));
    }
    RebuildIndex();
}

void TPDFDocument::RebuildIndex() {
    FRecoveredKey.clear();
    const size_t n = FIndObjList.size();
    FIndObjKey.resize(n);
    for (size_t i = 0; i < n; ++i) FIndObjKey[i] = static_cast<int32_t>(i);
    // Equal numbers keep their list order.
    std::stable_sort(FIndObjKey.begin(), FIndObjKey.end(), [&](int32_t a, int32_t b) {
        return FIndObjList[static_cast<size_t>(a)]->FObjNum <
               FIndObjList[static_cast<size_t>(b)]->FObjNum;
    });
    FIndObjIndex.resize(n);
    FHighestObjNum = 0;
    for (size_t i = 0; i < n; ++i) {
        FIndObjIndex[i] = FIndObjList[static_cast<size_t>(FIndObjKey[i])]->FObjNum;
        FHighestObjNum = std::max(FHighestObjNum, FIndObjIndex[i]);
    }
}

void TPDFDocument::IndObjLookup(TObject*, int32_t ObjNum, int32_t GenNum, TPDFObject*& Obj) {
    TPDFIndObj* io = FindObj(ObjNum, GenNum);
    if (!io) io = RecoverUnlistedObj(ObjNum, GenNum);
    Obj = io ? io->GetObj() : nullptr;
}

TPDFIndObj* TPDFDocument::RecoverUnlistedObj(int32_t ObjNum, int32_t GenNum) {
    // Only numbers the cross-reference data never mentions: a number it
    // lists as free was deleted on purpose and reads as null.
    if (ObjNum <= 0 || GenNum < 0 || FSource.empty() || XRefFreed.count(ObjNum) || FSaving)
        return nullptr;  // the save's table is sized already
    const int64_t at = RawObjectPosition(ObjNum, GenNum);
    if (at <= 0) return nullptr;
    auto io = std::make_unique<TPDFIndObj>(this);
    io->FDecodeMode = FDecodeMode;
    io->FObjNum = ObjNum;
    io->FGenNum = GenNum;
    io->FPosition = at;
    io->FLength = static_cast<int64_t>(FSource.size()) - at;
    io->FSpan = 0;
    TPDFIndObj* raw = io.get();
    FRepaired = true;  // the table lacks it: saving writes a whole new table
    const int32_t key = static_cast<int32_t>(FIndObjList.size());
    FIndObjList.push_back(std::move(io));
    // Kept aside until there are many, then sorted in with the rest: one
    // insertion into the sorted index each would be quadratic in a file
    // whose table lost most of its rows.
    FRecoveredKey.emplace(ObjNum, key);
    if (FRecoveredKey.size() > FIndObjIndex.size() / 4 + 256) RebuildIndex();
    FHighestObjNum = std::max(FHighestObjNum, ObjNum);
    if (ObjNum >= FMaxObjNum) FMaxObjNum = ObjNum == INT32_MAX ? INT32_MAX : ObjNum + 1;
    return raw;
}

void TPDFDocument::NewIndObj(TObject*, TPDFObject* Obj, int32_t& ObjNum, int32_t& GenNum) {
    TPDFIndObj* io = AddIndObj(Obj, true);
    ObjNum = io->FObjNum;
    GenNum = io->FGenNum;
}

void TPDFDocument::DecryptObj(int32_t ObjNum, int32_t GenNum) {
    // Iterative walk with a visited set: references may form cycles.
    std::vector<TPDFObject*> work;
    std::unordered_set<int32_t> seen;
    auto enter = [&](int32_t n, int32_t g) {
        if (!seen.insert(n).second) return;
        TPDFIndObj* io = FindObj(n, g);
        if (!io || io->FDecrypted) return;
        if (!io->FDecoded) io->Decode();
        io->Decrypt();
        if (io->FObj) work.push_back(io->FObj);
    };
    enter(ObjNum, GenNum);
    while (!work.empty()) {
        TPDFObject* o = work.back();
        work.pop_back();
        if (auto* r = ObjAs<TPDFIndRef>(o)) enter(r->ObjNum, r->GenNum);
        else PushContainerChildren(o, work);
    }
}

void TPDFDocument::DeleteObj(int32_t ObjNum, int32_t GenNum) {
    for (size_t i = 0; i < FIndObjList.size(); ++i) {
        if (FIndObjList[i]->FObjNum == ObjNum && FIndObjList[i]->FGenNum == GenNum) {
            FIndObjList.erase(FIndObjList.begin() + static_cast<std::ptrdiff_t>(i));
            RebuildIndex();
            return;
        }
    }
}

std::string TPDFDocument::GetObjectSource(int32_t ObjNum) {
    TPDFIndObj* io = FindObj(ObjNum, 0);
    if (!io) return {};
    TPDFObject* v = io->GetObj();
    return v ? v->Output() : std::string();
}

void TPDFDocument::SetObjectSource(int32_t ObjNum, std::string_view NewObjectSource) {
    TPDFIndObj* io = FindObj(ObjNum, 0);
    if (!io) return;
    int64_t len = 0;
    TPDFObject* v = FStructure->DecodeWithLength(NewObjectSource, len, 1);
    if (auto* d = ObjAs<TPDFDictionary>(v)) {
        int64_t length = 0;
        const int64_t* lp = nullptr;
        if (auto* n = ObjAs<TPDFNumeric>(d->FindValueByKeyName("Length", true))) {
            length = static_cast<int64_t>(std::nearbyint(n->AsDouble()));
            lp = &length;
        }
        size_t ds = 0, dl = 0;
        if (LocateStreamDataByLength(NewObjectSource, static_cast<size_t>(len),
                                     NewObjectSource.size(), lp, ds, dl)) {
            TPDFStream* s =
                FStructure->NewStreamWithDict(std::string(NewObjectSource.substr(ds, dl)), d);
            s->SetStream(s->FStream);
            v = s;
        }
    }
    if (!ObjAs<TPDFNull>(v)) ReplaceObj(ObjNum, 0, v);
}

bool TPDFDocument::GetObjectDecodeError(int32_t ObjNum) {
    TPDFIndObj* io = FindObj(ObjNum, 0);
    if (!io) return false;
    if (!io->FDecoded) io->Decode();
    return io->FDecodeError;
}

std::string TPDFDocument::GetRawSource(TPDFIndObj* IO) {
    if (!IO->FCompact) {
        if (IO->FPosition <= 0 || static_cast<uint64_t>(IO->FPosition) >= FSource.size()) return {};
        const uint64_t left = FSource.size() - static_cast<uint64_t>(IO->FPosition);
        const uint64_t n = IO->FLength < 0 ? 0 : std::min<uint64_t>(left, IO->FLength);
        return FSource.substr(static_cast<size_t>(IO->FPosition), static_cast<size_t>(n));
    }
    const std::string head = std::to_string(IO->FObjNum) + " " + std::to_string(IO->FGenNum);
    std::string_view slot;
    if (!GetCompactSlot(IO, slot)) return head + " obj\rnull\rendobj";
    std::string out = head + " obj\r";
    out.append(slot);
    return out;
}

bool TPDFDocument::GetCompactSlot(TPDFIndObj* IO, std::string_view& Slot) {
    TPDFIndObj* holder = FindObj(IO->FObjStrNum, 0);
    if (!holder || holder == IO) return false;
    auto* s = ObjAs<TPDFStream>(holder->GetObj());
    if (!s) return false;
    auto* type = ObjAs<TPDFName>(s->FDictionary->FindValueByKeyName("Type", false));
    if (!type || type->Name() != "ObjStm") return false;
    auto* os = dynamic_cast<TPDFObjectStream*>(s->LinkedObject());
    if (!os) {
        auto owned = std::make_unique<TPDFObjectStream>();
        os = owned.get();
        auto num = [&](std::string_view k) {
            auto* n = ObjAs<TPDFNumeric>(s->FDictionary->FindValueByKeyName(k, true));
            return n ? n->AsInteger() : 0;
        };
        os->First = num("First");
        os->N = num("N");
        os->DecodedStream = s->GetDecodedStream();
        const size_t firstLen =
            os->First > 0 ? std::min<size_t>(static_cast<size_t>(os->First), os->DecodedStream.size())
                          : 0;
        std::string idx = "[ " + os->DecodedStream.substr(0, firstLen) + " ]";
        os->IndexArray = ObjAs<TPDFArray>(FStructure->Decode(idx));
        s->SetLinkedObject(os);
        FObjectStreams.push_back(std::move(owned));
    }
    int32_t i = IO->FObjStrIndex;
    if (os->First <= 0 || os->N <= 0 || !os->IndexArray ||
        int64_t{os->IndexArray->Count()} < int64_t{2} * os->N)
        return false;
    auto numberAt = [&](int32_t k) {
        auto* n = ObjAs<TPDFNumeric>(os->IndexArray->GetItem(2 * k));
        return n ? n->AsInteger() : -1;
    };
    if (i < 0 || i >= os->N || numberAt(i) != IO->FObjNum) {
        // The cross-reference index is wrong; the stream's own list names the
        // object's slot.
        if (!os->SlotsBuilt) {
            for (int32_t k = 0; k < os->N; ++k) os->SlotOf.emplace(numberAt(k), k);
            os->SlotsBuilt = true;
        }
        const auto it = os->SlotOf.find(IO->FObjNum);
        if (it == os->SlotOf.end()) return false;
        i = it->second;
    }
    auto* startItem = ObjAs<TPDFNumeric>(os->IndexArray->GetItem(2 * i + 1));
    const int64_t start = startItem ? startItem->AsInteger() : 0;
    int64_t end = static_cast<int64_t>(os->DecodedStream.size());
    if (i < os->N - 1)
        if (auto* e = ObjAs<TPDFNumeric>(os->IndexArray->GetItem(2 * i + 3))) end = e->AsInteger();
    const int64_t from = int64_t{os->First} + start;
    const int64_t size = static_cast<int64_t>(os->DecodedStream.size());
    Slot = {};
    if (from >= 0 && from < size && end > start)
        Slot = std::string_view(os->DecodedStream)
                   .substr(static_cast<size_t>(from), static_cast<size_t>(std::min(end - start, size - from)));
    return true;
}

// ---------------------------------------------------------------------------
// Catalog, pages and information

TPDFDictionary* TPDFDocument::GetRootDict() {
    if (auto* d = ObjAs<TPDFDictionary>(FTrailer->FindValueByKeyName("Root", true))) return d;
    TPDFDictionary* d = FStructure->NewDictionary();
    TPDFIndObj* io = AddIndObj(d, true);
    FTrailer->Add("Root", FStructure->NewIndirectRef(io->FObjNum, 0));
    return d;
}

TPDFDictionary* TPDFDocument::GetPagesDict() { return PagesOfCatalog(GetRootDict()); }

TPDFDictionary* TPDFDocument::PagesOfCatalog(TPDFDictionary* Catalog) {
    auto* pages = ObjAs<TPDFDictionary>(Catalog->FindValueByKeyName("Pages", true));
    if (!pages) return nullptr;
    auto* type = ObjAs<TPDFName>(pages->FindValueByKeyName("Type", false));
    if (type && type->Name() != "Pages") {
        // The catalog names something else: a pages node of the file stands in.
        if (TPDFDictionary* node = FindPagesNode()) pages = node;
    }
    return pages;
}

TPDFDictionary* TPDFDocument::FindPagesNode() {
    // The last root (a node without /Parent), else the last inner node.
    TPDFDictionary* inner = nullptr;
    TPDFDictionary* root = nullptr;
    for (size_t i = 0; i < FIndObjList.size(); ++i) {
        auto* d = ObjAs<TPDFDictionary>(FIndObjList[i]->GetObj());
        if (!d) continue;
        auto* t = ObjAs<TPDFName>(d->FindValueByKeyName("Type", false));
        if (!t || t->Name() != "Pages") continue;
        (d->FindIndexByKeyName("Parent") < 0 ? root : inner) = d;
    }
    return root ? root : inner;
}

int32_t TPDFDocument::GetPageCount() { return FPageTree ? FPageTree->PageCount() : 0; }

TPDFDictionary* TPDFDocument::GetInfoDict() {
    TPDFObject* v = FTrailer->FindValueByKeyName("Info", true);
    // A chain of references is followed (bounded).
    for (int k = 0; k < 32 && ObjAs<TPDFIndRef>(v); ++k) v = ObjAs<TPDFIndRef>(v)->Obj();
    if (auto* d = ObjAs<TPDFDictionary>(v)) return d;
    TPDFDictionary* d = FStructure->NewDictionary();
    TPDFIndObj* io = AddIndObj(d, true);
    FTrailer->Add("Info", FStructure->NewIndirectRef(io->FObjNum, 0));
    return d;
}

std::string TPDFDocument::GetRawInfo(std::string_view Key) {
    TPDFObject* v = GetInfoDict()->FindValueByKeyName(Key, true);
    for (int k = 0; k < 32 && ObjAs<TPDFIndRef>(v); ++k) v = ObjAs<TPDFIndRef>(v)->Obj();
    if (auto* s = ObjAs<TPDFString>(v)) return s->AsString();
    if (auto* st = ObjAs<TPDFStream>(v)) return st->GetDecodedStream();
    return {};
}

std::u16string TPDFDocument::GetInfo(std::string_view Key) {
    return PDFTextStringToWideString(GetRawInfo(Key));
}

void TPDFDocument::SetRawInfo(std::string_view Key, std::string_view Value, TPDFStorageMode) {
    TPDFDictionary* info = GetInfoDict();
    TPDFObject* v = info->FindValueByKeyName(Key, true);
    if (auto* s = ObjAs<TPDFString>(v)) {
        s->SetTo(Value);
        return;
    }
    if (auto* st = ObjAs<TPDFStream>(v)) st->SetTo(std::string(), false);
    info->Add(Key, FStructure->NewString(Value, smLiteral));
}

void TPDFDocument::SetInfo(std::string_view Key, std::u16string_view Value, TPDFStorageMode Mode) {
    NeedXMP();
    if (Key != "dc:subject")  // kept only in the XMP metadata
        SetRawInfo(Key, WideStringToPDFTextString(Value), Mode);
    MirrorInfoToXMP(Key, Value);
}

void TPDFDocument::SetVersion(std::string Value) {
    FVersion = std::move(Value);
    FChanged = true;
}

void TPDFDocument::SetOldFormat() { FStructure->OldFormat = true; }

bool TPDFDocument::CreateBlank() {
    Reset();
    FVersion = "1.4";
    TPDFDictionary* info = FStructure->NewDictionary();
    TPDFDictionary* catalog = FStructure->NewDictionary();
    TPDFDictionary* pages = FStructure->NewDictionary();
    TPDFDictionary* page = FStructure->NewDictionary();
    TPDFDictionary* resources = FStructure->NewDictionary();
    int32_t pagesNum = 0, pageNum = 0, catNum = 0, infoNum = 0, g = 0;
    NewIndObj(this, pages, pagesNum, g);
    page->Add("Type", FStructure->NewCommonName("Page"));
    page->Add("Parent", FStructure->NewIndirectRef(pagesNum, 0));
    page->Add("MediaBox", FStructure->NewIntArray({0, 0, 612, 792}));
    page->Add("CropBox", FStructure->NewIntArray({0, 0, 612, 792}));
    page->Add("Resources", resources);
    resources->Add("ProcSet",
                   FStructure->NewArray({FStructure->NewName("PDF"), FStructure->NewName("Text"),
                                         FStructure->NewName("ImageB"),
                                         FStructure->NewName("ImageC"),
                                         FStructure->NewName("ImageI")}));
    NewIndObj(this, page, pageNum, g);
    pages->Add("Type", FStructure->NewCommonName("Pages"));
    pages->Add("Count", FStructure->NewNumeric(1));
    pages->Add("Kids", FStructure->NewArray({FStructure->NewIndirectRef(pageNum, 0)}));
    catalog->Add("Type", FStructure->NewCommonName("Catalog"));
    catalog->Add("Pages", FStructure->NewIndirectRef(pagesNum, 0));
    NewIndObj(this, catalog, catNum, g);
    NewIndObj(this, info, infoNum, g);
    TPDFString* id =
        FStructure->NewString(MD5DigestToString(MD5OfString(NowAsDayCountText())), smHex);
    FTrailer->Add("Root", FStructure->NewIndirectRef(catNum, 0));
    FTrailer->Add("Info", FStructure->NewIndirectRef(infoNum, 0));
    FTrailer->Add("ID", FStructure->NewArray({id, id}));
    // The blank page's first layer becomes an object when it is first drawn
    // on, so that a blank document saved at once holds objects 1 to 4 only.
    NewPageTree(pages, true);
    FPDFAMode = 0;
    return true;
}

// ---------------------------------------------------------------------------
// Diagnostics

std::string TPDFDocument::IndObjects() const {
    std::string out;
    for (const auto& io : FIndObjList)
        out += std::to_string(io->FObjNum) + " " + std::to_string(io->FGenNum) + " obj\r\n";
    return out;
}

std::u16string TPDFDocument::IndObjSummary() {
    std::u16string out;
    auto widen = [](std::string_view s) {
        std::u16string w;
        for (unsigned char c : s) w += static_cast<char16_t>(c);
        return w;
    };
    for (size_t i = 0; i < FIndObjList.size(); ++i) {
        TPDFIndObj* io = FIndObjList[i].get();
        std::string line = std::to_string(io->FObjNum) + " ";
        line += io->FDecoded ? "Decoded " : "------- ";
        line += io->FDecrypted ? "Decrypted " : "--------  ";
        line += io->FRecoded ? "Recoded " : "------- ";
        if (io->FDecoded || io->FRecoded) {
            std::string text = io->Output();
            const size_t o = text.find("obj");
            text = o == std::string::npos ? text : text.substr(std::min(text.size(), o + 4));
            std::replace(text.begin(), text.end(), '\n', ' ');
            const size_t nul = text.find('\0');
            if (nul != std::string::npos) text.resize(nul);
            if (text.size() > 80) text.resize(80);
            line += text;
        }
        out += widen(line) + u"\r\n";
    }
    return out;
}

// ---------------------------------------------------------------------------
// Temporary spooling file

bool TPDFDocument::SetTempFileName(const std::u16string& FN) {
    CloseTempFile();
    FTempFileName.clear();
    const std::filesystem::path p = PathOf(FN);
    std::error_code ec;
    if (std::filesystem::exists(p, ec)) {
        if (!std::filesystem::remove(p, ec) || ec) return false;
    }
    if (std::filesystem::exists(p, ec)) return false;
    std::FILE* f = std::fopen(p.c_str(), "wbx");
    if (!f) return false;
    std::fclose(f);
    FTempFileName = FN;
    return true;
}

bool TPDFDocument::OpenTempFile() {
    if (FTempFileName.empty()) return false;
    if (FMainFS) return true;
    const std::filesystem::path p = PathOf(FTempFileName);
    FMainFS = std::fopen(p.c_str(), "r+b");
    if (!FMainFS) FMainFS = std::fopen(p.c_str(), "w+b");
    return FMainFS != nullptr;
}

bool TPDFDocument::Reload() {
    if (FTempFileName.empty()) return false;
    std::string text;
    // Spooled objects are read back from the temporary file while saving.
    if (!OpenTempFile()) return false;
    try {
        text = SaveToString();
    } catch (...) {
        CloseTempFile();
        throw;
    }
    CloseTempFile();
    // A failed save must not cost the caller the document it has.
    if (text.empty()) return false;
    const std::u16string password = FPassword;
    const std::u16string tempName = FTempFileName;
    Initialize();
    {
        std::error_code ec;
        std::filesystem::remove(PathOf(tempName), ec);
    }
    Reset();
    return LoadFromString(std::move(text), password) == lrOkay;
}

void TPDFDocument::CloseTempFile() {
    if (FMainFS) std::fclose(FMainFS);
    FMainFS = nullptr;
}

void TPDFDocument::StoreData(int32_t ObjNum, std::string_view Data) {
    if (FTempFileName.empty() || !FMainFS || Data.empty()) return;
    unsigned char rec[8];
    const uint32_t n = static_cast<uint32_t>(ObjNum);
    const uint32_t c = static_cast<uint32_t>(Data.size());
    for (int k = 0; k < 4; ++k) {
        rec[k] = static_cast<unsigned char>(n >> (8 * k));
        rec[4 + k] = static_cast<unsigned char>(c >> (8 * k));
    }
    std::fseek(FMainFS, 0, SEEK_END);
    std::fwrite(rec, 1, 8, FMainFS);
    std::fwrite(Data.data(), 1, Data.size(), FMainFS);
    std::fflush(FMainFS);
}

std::string TPDFDocument::GetData(int32_t ObjNum) {
    if (FTempFileName.empty() || !FMainFS) return {};
    std::fseek(FMainFS, 0, SEEK_END);
    const long fileSize = std::ftell(FMainFS);
    if (fileSize <= 0) return {};
    auto scan = [&](int64_t from) -> std::string* {
        static thread_local std::string found;
        int64_t pos = from;
        while (fileSize - pos >= 8) {
            unsigned char rec[8];
            std::fseek(FMainFS, static_cast<long>(pos), SEEK_SET);
            if (std::fread(rec, 1, 8, FMainFS) != 8) return nullptr;
            uint32_t n = 0, c = 0;
            for (int k = 3; k >= 0; --k) {
                n = (n << 8) | rec[k];
                c = (c << 8) | rec[4 + k];
            }
            pos += 8;
            if (static_cast<int32_t>(n) == ObjNum) {
                if (c > static_cast<uint64_t>(fileSize - pos)) return nullptr;
                found.assign(c, '\0');
                if (c && std::fread(found.data(), 1, c, FMainFS) != c) return nullptr;
                FLastDataPos = pos + c;
                return &found;
            }
            pos += c;
        }
        return nullptr;
    };
    std::string* r = scan(FLastDataPos);
    if (!r && FLastDataPos != 0) r = scan(0);
    return r ? *r : std::string();
}

}  // namespace velmo
