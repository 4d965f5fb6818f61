// Content layers of the selected page: selecting, adding, moving, deleting,
// combining and compressing the streams of /Contents, raw content access,
// and giving every page its own copy of shared content streams.
#include <algorithm>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include <zlib.h>

#include "core/Flate.h"
#include "document/Document.h"
#include "document/PageTree.h"

namespace velmo {

namespace {

TPDFArray* ContentsArray(TPDFDictionary* Page) {
    return Page ? ObjAs<TPDFArray>(Page->FindValueByKeyName("Contents", true)) : nullptr;
}

bool IsFlateOnly(TPDFObject* Filter) {
    if (auto* n = ObjAs<TPDFName>(Filter)) return n->Name() == "FlateDecode";
    if (auto* a = ObjAs<TPDFArray>(Filter)) {
        if (a->Count() != 1) return false;
        auto* n = ObjAs<TPDFName>(a->GetItem(0));
        return n && n->Name() == "FlateDecode";
    }
    return false;
}

// Inflates a whole zlib stream; false when the data is damaged or ends
// before the stream's end mark.
bool InflateComplete(std::string_view In, std::string& Out) {
    Out.clear();
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(In.data()));
    z.avail_in = static_cast<uInt>(std::min<size_t>(In.size(), UINT32_MAX));
    char buf[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        Out.append(buf, sizeof buf - z.avail_out);
        if (Out.size() > kMaxDecodedSize) rc = Z_MEM_ERROR;
        if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) {
        Out.clear();
        return false;
    }
    return true;
}

}  // namespace

void TPDFPageTree::SetLayer(int32_t N) {
    if (FPageContent.empty()) return;
    FlushPainter();
    const int32_t count = LayerCount();
    if (N < 1) N = 1;
    if (N > count) N = count;
    FLayer = N;
    FCanDraw = false;
    TPDFStream* s = FPageContent[static_cast<size_t>(N - 1)];
    TPDFObject* filter = s->FDictionary->FindValueByKeyName("Filter", false);
    std::string data;
    if (!filter) {
        data = s->FStream;
    } else if (IsFlateOnly(filter)) {
        // Damaged data: the writer starts empty but the layer is kept as it
        // is, since writing back would replace what could not be read.
        if (!InflateComplete(s->FStream, data)) {
            FPainter->OnChange = nullptr;
            FPainter->Clear();
            FPainter->OnChange = [this](TObject* S) { PainterChange(S); };
            FPainter->SetSource(std::string());
            return;
        }
    } else {
        // A filter the writer cannot take: it keeps what it held and the
        // layer is not written.
        return;
    }
    FPainter->OnChange = nullptr;
    FPainter->Clear();
    FPainter->OnChange = [this](TObject* S) { PainterChange(S); };
    FPainter->SetSource(data);
    FCanDraw = true;
}

int32_t TPDFPageTree::NewLayer() {
    CommitPendingLayer();
    TPDFArray* contents = ContentsArray(FPageDict);
    if (!contents || !FStructure) return 0;
    TPDFStream* s = NewEngineLayer(true);
    TPDFIndRef* ref = Register(s);
    if (!ref) return 0;
    FlushPainter();
    contents->Add(ref);
    FPageContent.push_back(s);
    SetLayer(LayerCount());
    return LayerCount();
}

bool TPDFPageTree::MoveLayer(int32_t FromPos, int32_t ToPos) {
    const int32_t count = LayerCount();
    if (FromPos < 1 || FromPos > count || ToPos < 1 || ToPos > count) return false;
    TPDFArray* contents = ContentsArray(FPageDict);
    if (!contents) return false;
    FlushPainter();
    contents->Move(FromPos - 1, ToPos - 1);
    SetPage(FPage);
    return true;
}

bool TPDFPageTree::DeleteLayer() {
    TPDFArray* contents = ContentsArray(FPageDict);
    if (!contents || FLayer < 1 || FLayer > LayerCount()) return false;
    // What was drawn into the layer goes with it.
    FPainterDirty = false;
    TPDFStream* s = FPageContent[static_cast<size_t>(FLayer - 1)];
    s->SetTo(std::string(), false);
    s->FDictionary->Clear();
    if (FLayer - 1 < contents->Count()) contents->Delete(FLayer - 1);
    FPageContent.erase(FPageContent.begin() + (FLayer - 1));
    if (FLayer >= contents->Count()) FLayer = FLayer - 1;
    if (FLayer < 1) FLayer = 1;
    if (FPageContent.empty()) {
        FCanDraw = false;
        return true;
    }
    SetLayer(FLayer);
    return true;
}

bool TPDFPageTree::CombineLayers() {
    LayersCombined = true;
    CommitPendingLayer();
    TPDFArray* contents = ContentsArray(FPageDict);
    if (!contents || FPageContent.empty()) return false;
    FlushPainter();
    std::string all;
    for (int32_t i = 1; i <= LayerCount(); ++i) {
        all += ' ';
        all += FPageContent[static_cast<size_t>(i - 1)]->GetDecodedStream();
    }
    FLayer = 1;
    for (TPDFStream* s : FPageContent) s->SetStream(std::string());
    TPDFStream* first = FPageContent.front();
    first->SetTo("q\n" + all + "\nQ\n", false);
    if (auto* lc = ObjAs<TPDFName>(first->FDictionary->FindValueByKeyName("LC", false)))
        lc->SetTo("uZTN");
    else
        first->FDictionary->Add("LC", FStructure->NewCommonName("uZTN"));
    FPageContent.resize(1);
    while (contents->Count() > 1) contents->Delete(1);
    // The writer's buffer no longer matches any layer until the page is
    // selected again.
    FCanDraw = false;
    return true;
}

void TPDFPageTree::Compress() {
    FlushPainter();
    for (TPDFStream* s : FPageContent) {
        TPDFObject* filter = s->FDictionary->FindValueByKeyName("Filter", false);
        if (filter) {
            const std::string f = filter->Output();
            if (f == "/FlateDecode" || f == "[ /FlateDecode ]") continue;
        }
        s->SetTo(s->GetDecodedStream(), true);
    }
}

std::string TPDFPageTree::ExtractContent() {
    if (FLayer < 1 || FLayer > LayerCount()) return {};
    FlushPainter();
    TPDFStream* s = FPageContent[static_cast<size_t>(FLayer - 1)];
    return s ? s->GetDecodedStream() : std::string();
}

void TPDFPageTree::SetContent(std::string S) {
    if (FLayer < 1 || FLayer > LayerCount()) return;
    // Pending drawing would overwrite the new content at the next flush.
    FPainterDirty = false;
    CommitPendingLayer();
    FPageContent[static_cast<size_t>(FLayer - 1)]->SetTo(std::move(S), false);
}

bool TPDFPageTree::VelmoPDFLayer() {
    if (FLayer < 1 || FLayer > LayerCount()) return false;
    auto* lc = ObjAs<TPDFName>(
        FPageContent[static_cast<size_t>(FLayer - 1)]->FDictionary->FindValueByKeyName("LC", false));
    return lc && lc->Name() == "uZTN";
}

void TPDFPageTree::SetPageTransparencyGroup(std::string_view CS, bool IsolateFlag,
                                            bool KnockoutFlag) {
    if (!FPageDict || !FStructure) return;
    TPDFDictionary* g = FStructure->NewDictionary();
    g->Add("Type", FStructure->NewName("Group"));
    g->Add("S", FStructure->NewName("Transparency"));
    g->Add("CS", FStructure->NewName(CS));
    g->Add("I", FStructure->NewBoolean(IsolateFlag));
    g->Add("K", FStructure->NewBoolean(KnockoutFlag));
    FPageDict->Add("Group", g);
}

// ---------------------------------------------------------------------------
// Document operations

void TPDFDocument::CompressPage(int32_t PageNumber) {
    if (!FPageTree) return;
    FPageTree->SetPage(PageNumber);
    FPageTree->Compress();
}

bool TPDFDocument::RemoveSharedLayers() {
    if (FPageTree) FPageTree->FlushPainter();
    std::unordered_set<int32_t> seen;
    std::unordered_map<int32_t, std::string> shared;
    auto note = [&](TPDFObject* item) {
        auto* r = ObjAs<TPDFIndRef>(item);
        if (!r) return;
        if (!seen.insert(r->ObjNum).second && !shared.count(r->ObjNum))
            if (auto* s = ObjAs<TPDFStream>(r->Obj())) shared.emplace(r->ObjNum, s->GetDecodedStream());
    };
    // Each page is visited once even when a damaged tree lists it twice.
    auto forEachPage = [&](const std::function<void(TPDFDictionary*)>& Fn) {
        std::unordered_set<const TPDFObject*> visited;
        for (TPDFDictionary* p = FirstPage(); p && visited.insert(p).second; p = NextPage(p)) Fn(p);
    };
    forEachPage([&](TPDFDictionary* page) {
        TPDFObject* c = page->FindValueByKeyName("Contents", false);
        TPDFArray* arr = ObjAs<TPDFArray>(c);
        if (auto* r = ObjAs<TPDFIndRef>(c)) {
            TPDFObject* t = r->Obj();
            if (ObjAs<TPDFStream>(t)) note(r);
            else arr = ObjAs<TPDFArray>(t);
        }
        if (arr)
            for (TPDFObject* it : arr->LiveItems()) note(it);
    });
    if (shared.empty()) return false;
    auto copyOf = [&](int32_t num) {
        TPDFStream* s = FStructure->NewStream(std::string(), false);
        s->SetTo(shared[num], true);
        return NewObjRef(s);
    };
    forEachPage([&](TPDFDictionary* page) {
        TPDFObject* c = page->FindValueByKeyName("Contents", false);
        TPDFArray* arr = ObjAs<TPDFArray>(c);
        if (auto* r = ObjAs<TPDFIndRef>(c)) {
            if (shared.count(r->ObjNum)) {
                page->Add("Contents", copyOf(r->ObjNum));
                return;
            }
            arr = ObjAs<TPDFArray>(r->Obj());
        }
        if (!arr) return;
        for (int32_t i = 0; i < arr->Count(); ++i) {
            auto* r = ObjAs<TPDFIndRef>(arr->GetItem(i));
            if (r && shared.count(r->ObjNum)) arr->ReplaceNoKill(i, copyOf(r->ObjNum));
        }
    });
    return true;
}

}  // namespace velmo
