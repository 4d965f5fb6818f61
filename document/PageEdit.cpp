// Editing the page tree: new, deleted, moved, hidden and cloned pages, and
// the rebuild of the whole tree as a balanced tree.
#include <algorithm>
#include <unordered_set>

#include "core/NameTree.h"
#include "document/Document.h"
#include "document/PageTree.h"

namespace velmo {

namespace {

bool HasType(TPDFDictionary* D, std::string_view T) {
    auto* n = ObjAs<TPDFName>(D->FindValueByKeyName("Type", false));
    return n && n->Name() == T;
}

// A copy of a value made by writing it out and parsing it back: direct
// parts become new objects, references stay references.
TPDFObject* CopyValue(TPDFStructure* S, TPDFObject* V) {
    if (auto* r = ObjAs<TPDFIndRef>(V)) return S->NewIndirectRef(r->ObjNum, r->GenNum);
    return S->Decode(V->Output());
}

}  // namespace

TPDFArray* TPDFPageTree::LocatePage(int32_t N, TPDFDictionary*& Parent, int32_t& Index) {
    if (!FPagesDict || N < 1 || N > PageCount()) return nullptr;
    TPDFArray* level = KidsArray();
    if (!level) return nullptr;
    std::unordered_set<const TPDFObject*> visited{FPagesDict};
    int32_t counter = 0;
    int depth = 0;
    for (;;) {
        TPDFArray* descend = nullptr;
        for (int32_t i = 0; i < level->Count() && !descend; ++i) {
            auto* ref = ObjAs<TPDFIndRef>(level->GetItem(i));
            if (!ref) continue;
            PageObjNum = ref->ObjNum;
            PageGenNum = ref->GenNum;
            auto* d = ObjAs<TPDFDictionary>(ref->Obj());
            if (!d) continue;
            if (HasType(d, "Pages")) {
                Parent = d;
                const auto* c = ObjAs<TPDFNumeric>(d->FindValueByKeyName("Count", true));
                const int32_t count = c ? c->AsInteger() : 0;
                if (int64_t{counter} + count < N) {
                    counter += count;
                    continue;
                }
                auto* sub = ObjAs<TPDFArray>(d->FindValueByKeyName("Kids", true));
                if (!sub) continue;
                if (!visited.insert(d).second || ++depth > MaxTreeDepth) return nullptr;
                descend = sub;
            } else if (HasType(d, "Page")) {
                if (counter + 1 == N) {
                    if (auto* p = ObjAs<TPDFDictionary>(d->FindValueByKeyName("Parent", true)))
                        Parent = p;
                    Index = i + 1;
                    return level;
                }
                ++counter;
            }
        }
        if (!descend) return nullptr;
        level = descend;
    }
}

void TPDFPageTree::AdjustPageCount(TPDFDictionary* Node, int32_t Delta) {
    std::unordered_set<const TPDFObject*> visited;
    for (TPDFDictionary* d = Node; d && visited.insert(d).second;
         d = ObjAs<TPDFDictionary>(d->FindValueByKeyName("Parent", true))) {
        if (auto* c = ObjAs<TPDFNumeric>(d->FindValueByKeyName("Count", true)))
            c->SetTo(c->AsInteger() + Delta);
    }
}

void TPDFPageTree::NewPages(int32_t StartPos, int32_t Count, double W, double H) {
    if (!FPagesDict || !FStructure) return;
    const int32_t before = PageCount();
    TPDFArray* kids = nullptr;
    TPDFDictionary* parent = nullptr;
    int32_t at = 0;  // 0-based index of the first new kid
    if (StartPos == before + 1) {
        kids = KidsArray();
        parent = FPagesDict;
        at = kids ? kids->Count() : 0;
    } else if (StartPos == 1 && before > 0) {
        kids = KidsArray();
        parent = FPagesDict;
        at = 0;
    } else {
        int32_t idx = 0;
        kids = LocatePage(StartPos - 1, parent, idx);
        at = idx;
    }
    if (kids && Count > 0) {
        kids->ReserveItems(Count);
        // Pages after the insertion point move up in the cache.
        std::unordered_map<int32_t, TPDFDictionary*> moved;
        moved.reserve(FKnownPages.size());
        for (const auto& [k, v] : FKnownPages)
            moved.emplace(k >= StartPos - 1 ? k + Count : k, v);
        FKnownPages.swap(moved);
        FKnownPagesLength += Count;
        if (FStructure->OnNewIndObj) {
            AdjustPageCount(parent, Count);
            FStructure->ReserveObjects(static_cast<int32_t>(std::min<int64_t>(int64_t{Count} * 26, 1 << 24)));
            for (int32_t k = 0; k < Count; ++k) {
                TPDFDictionary* page = FStructure->NewDictionary();
                page->Add("Type", FStructure->NewCommonName("Page"));
                if (parent && parent->IsIndirect())
                    page->Add("Parent",
                              FStructure->NewIndirectRef(parent->IndObjNum(), parent->IndGenNum()));
                page->Add("MediaBox", FStructure->NewDoubleArray({0, 0, W, H}));
                page->Add("CropBox", FStructure->NewDoubleArray({0, 0, W, H}));
                page->Add("Rotate", FStructure->NewNumeric(0));
                page->Add("Resources",
                          FStructure->Decode("<< /ProcSet [ /PDF /Text /ImageB /ImageC /ImageI ] >>"));
                TPDFIndRef* ref = Register(page);
                if (!ref) break;
                kids->Insert(at++, ref);
                if (TPDFIndRef* layer = Register(NewEngineLayer(true)))
                    page->Add("Contents", FStructure->NewArray({layer}));
            }
        }
    }
    SetPage(StartPos);
}

void TPDFPageTree::DeletePages(int32_t StartPage, int32_t Count) {
    if (!FPagesDict || Count <= 0) return;
    FlushPainter();
    // The page leaves in tree order with the node holding each.
    const auto* rootCount = ObjAs<TPDFNumeric>(FPagesDict->FindValueByKeyName("Count", true));
    const int32_t total = rootCount ? std::max(0, rootCount->AsInteger()) : 0;
    std::vector<TPageNode> records;
    records.reserve(static_cast<size_t>(std::min(total, 1 << 20)));
    {
        struct Frame {
            TPDFArray* Kids;
            TPDFDictionary* Node;
            int32_t I;
        };
        std::unordered_set<const TPDFObject*> visited{FPagesDict};
        std::vector<Frame> stack;
        if (TPDFArray* k = KidsArray()) stack.push_back({k, FPagesDict, 0});
        while (!stack.empty() && static_cast<int32_t>(records.size()) < total) {
            Frame& f = stack.back();
            if (f.I >= f.Kids->Count()) {
                stack.pop_back();
                continue;
            }
            TPDFObject* item = f.Kids->GetItem(f.I++);
            auto* ref = ObjAs<TPDFIndRef>(item);
            auto* d = ObjAs<TPDFDictionary>(ref ? ref->Obj() : item);
            if (!d) continue;
            if (HasType(d, "Pages")) {
                auto* sub = ObjAs<TPDFArray>(d->FindValueByKeyName("Kids", true));
                if (sub && visited.insert(d).second && stack.size() < MaxTreeDepth)
                    stack.push_back({sub, d, 0});
            } else if (HasType(d, "Page")) {
                records.push_back({ref, f.Node});
            }
        }
    }
    const int32_t last = StartPage + Count - 1;

    // Content streams of the pages that stay: a deleted page may share them
    // (a clone shares its source's first layer), and those must keep their
    // data.
    std::unordered_set<const TPDFObject*> kept;
    const int32_t pages = PageCount();
    for (int32_t p = 1; p <= pages; ++p) {
        if (p >= StartPage && p <= last) continue;
        TPDFDictionary* d = GetPage(p);
        if (!d) continue;
        TPDFObject* c = d->FindValueByKeyName("Contents", true);
        if (auto* s = ObjAs<TPDFStream>(c)) kept.insert(s);
        if (auto* a = ObjAs<TPDFArray>(c))
            for (TPDFObject* it : a->LiveItems()) {
                auto* r = ObjAs<TPDFIndRef>(it);
                if (TPDFObject* o = r ? r->Obj() : it) kept.insert(o);
            }
    }

    RemoveUnsharedResources(StartPage, Count);
    for (int32_t p = StartPage; p <= last; ++p) {
        SetPage(p);
        if (FPage != p) continue;
        const bool sharesContent = std::any_of(FPageContent.begin(), FPageContent.end(),
                                               [&](TPDFStream* s) { return kept.count(s) > 0; });
        if (!sharesContent) {
            CombineLayers();
            if (!FPageContent.empty()) FPageContent.front()->SetTo(std::string(), false);
        } else {
            for (TPDFStream* s : FPageContent)
                if (!kept.count(s)) s->SetTo(std::string(), false);
        }
    }
    FCanDraw = false;
    FPainterDirty = false;

    for (int32_t p = StartPage; p <= last; ++p) {
        if (p < 1 || p > static_cast<int32_t>(records.size())) continue;
        const TPageNode& r = records[static_cast<size_t>(p - 1)];
        if (!r.Page || !r.Parent) continue;
        if (auto* kids = ObjAs<TPDFArray>(r.Parent->FindValueByKeyName("Kids", true)))
            kids->DeleteObj(r.Page, false);
        std::unordered_set<const TPDFObject*> visited;
        for (TPDFDictionary* d = r.Parent; d && visited.insert(d).second;) {
            if (auto* c = ObjAs<TPDFNumeric>(d->FindValueByKeyName("Count", true)))
                if (c->AsInteger() > 0) c->SetTo(c->AsInteger() - 1);
            auto* pr = ObjAs<TPDFIndRef>(d->FindValueByKeyName("Parent", false));
            d = pr ? ObjAs<TPDFDictionary>(pr->Obj()) : nullptr;
        }
    }
}

void TPDFPageTree::MovePage(int32_t OldPosition, int32_t NewPosition) {
    if (!FPagesDict || !FStructure) return;
    auto* countObj = ObjAs<TPDFNumeric>(FPagesDict->FindValueByKeyName("Count", true));
    if (!countObj) return;
    const int32_t count = countObj->AsInteger();
    if (OldPosition < 1 || OldPosition > count) return;
    FlushPainter();

    // The page takes along what it inherited, so that it keeps its
    // attributes under a new parent.
    if (TPDFDictionary* page = GetPage(OldPosition)) {
        for (const char* key : {"Resources", "MediaBox", "CropBox", "Rotate"}) {
            if (page->FindIndexByKeyName(key) >= 0) continue;
            std::unordered_set<const TPDFObject*> visited{page};
            for (auto* d = ObjAs<TPDFDictionary>(page->FindValueByKeyName("Parent", true));
                 d && visited.insert(d).second;
                 d = ObjAs<TPDFDictionary>(d->FindValueByKeyName("Parent", true))) {
                if (TPDFObject* v = d->FindValueByKeyName(key, false)) {
                    page->Add(key, CopyValue(FStructure, v));
                    break;
                }
            }
        }
    }
    NewPosition = std::clamp(NewPosition, 1, count);

    TPDFDictionary* oldParent = nullptr;
    int32_t idx = 0;
    TPDFArray* kids = LocatePage(OldPosition, oldParent, idx);
    if (!kids) return;
    auto* ref = ObjAs<TPDFIndRef>(kids->GetItem(idx - 1));
    if (!ref) return;
    const int32_t num = ref->ObjNum, gen = ref->GenNum;
    kids->DeleteObj(ref, true);
    AdjustPageCount(oldParent, -1);

    const int32_t newCount = count - 1;
    TPDFDictionary* newParent = nullptr;
    int32_t at = 0;
    TPDFArray* target = nullptr;
    if (NewPosition == newCount + 1) {
        target = LocatePage(NewPosition - 1, newParent, at);
    } else {
        target = LocatePage(NewPosition, newParent, at);
        --at;
    }
    if (!target) {
        // No page to place it beside (it was the only one): the page goes
        // back to the end of the root instead of being lost.
        target = KidsArray();
        newParent = FPagesDict;
        at = target ? target->Count() : 0;
    }
    if (!target) return;
    target->Insert(at, FStructure->NewIndirectRef(num, gen));
    AdjustPageCount(newParent, 1);
    if (auto* page = ObjAs<TPDFDictionary>(FStructure->NewIndirectRef(num, gen)->Obj()))
        if (auto* pr = ObjAs<TPDFIndRef>(page->FindValueByKeyName("Parent", false));
            pr && newParent && newParent->IsIndirect()) {
            pr->ObjNum = newParent->IndObjNum();
            pr->GenNum = newParent->IndGenNum();
        }
}

void TPDFPageTree::HidePage() {
    TPDFDictionary* parent = nullptr;
    int32_t idx = 0;
    TPDFArray* kids = LocatePage(FPage, parent, idx);
    if (!kids) return;
    FlushPainter();
    kids->Delete(idx - 1);
    if (parent) AdjustPageCount(parent, -1);
}

void TPDFPageTree::ClonePage(int32_t PageNum) {
    TPDFArray* kids = KidsArray();
    auto* count = FPagesDict ? ObjAs<TPDFNumeric>(FPagesDict->FindValueByKeyName("Count", true))
                             : nullptr;
    if (!kids || !count || !FStructure || !FStructure->OnNewIndObj) return;
    TPDFDictionary* page = GetPage(PageNum);
    if (!page) return;
    auto* copy = ObjAs<TPDFDictionary>(FStructure->Decode(page->Output()));
    if (!copy) return;
    TPDFIndRef* ref = Register(copy);
    if (!ref) return;
    kids->Add(ref);
    count->SetTo(count->AsInteger() + 1);
    if (FPagesDict->IsIndirect())
        copy->Add("Parent", FStructure->NewIndirectRef(FPagesDict->IndObjNum(), FPagesDict->IndGenNum()));
    TPDFObject* c = copy->FindValueByKeyName("Contents", false);
    if (auto* a = ObjAs<TPDFArray>(c)) {
        while (a->Count() > 1) a->Delete(1);
    } else if (auto* r = ObjAs<TPDFIndRef>(c)) {
        // An array shared through a reference stays whole for the source
        // page; the clone gets its own array with the first layer.
        if (auto* shared = ObjAs<TPDFArray>(r->Obj())) {
            TPDFObject* first = shared->Count() > 0 ? shared->GetItem(0) : nullptr;
            TPDFArray* own = FStructure->NewArray();
            if (first) own->Add(CopyValue(FStructure, first));
            copy->Add("Contents", own);
        }
    }
}

void TPDFPageTree::ClonePages(int32_t StartPage, int32_t EndPage, int32_t RepeatCount) {
    const int32_t old = PageCount();
    if (StartPage < 1 || EndPage < StartPage || EndPage > old || RepeatCount < 1) return;
    FlushPainter();
    for (int32_t r = 0; r < RepeatCount; ++r)
        for (int32_t p = StartPage; p <= EndPage; ++p) ClonePage(p);
    const int32_t now = PageCount();
    for (int32_t q = old + 1; q <= now; ++q) {
        SetPage(q);
        NewLayer();
    }
    SetPage(old + 1);
}

void TPDFDocument::BalancePageTree() {
    if (!FPageTree) return;
    FPageTree->FlushPainter();
    const int32_t count = FPageTree->PageCount();
    std::vector<TPDFIndRef*> refs;
    refs.reserve(static_cast<size_t>(count));
    for (int32_t n = 1; n <= count; ++n)
        if (TPDFIndRef* r = FPageTree->GetPageRef(n)) refs.push_back(r);
    TKPLTreeBalancer balancer;
    balancer.OnNewIndObj = FStructure->OnNewIndObj;
    balancer.OnIndObjLookup = FStructure->OnIndObjLookup;
    balancer.Structure = FStructure.get();
    TPDFIndRef* root = balancer.Balance(refs, 10);
    if (!root) return;
    GetRootDict()->Add("Pages", root);
    const int32_t keep = FPageTree->Page();
    auto* pages = ObjAs<TPDFDictionary>(root->Obj());
    NewPageTree(pages);
    FPageTree->SetPage(keep);
}

}  // namespace velmo
