#include "document/PageTree.h"

#include <cmath>
#include <unordered_set>

#include "document/Document.h"

namespace velmo {

std::string PageNodeKind(TPDFDictionary* Node) {
    if (auto* t = ObjAs<TPDFName>(Node->FindValueByKeyName("Type", false))) return t->Name();
    if (Node->FindIndexByKeyName("Type") < 0 && Node->FindIndexByKeyName("Kids") >= 0) return "Pages";
    return {};
}

namespace {

int32_t CountOf(TPDFDictionary* Node) {
    auto* n = ObjAs<TPDFNumeric>(Node->FindValueByKeyName("Count", true));
    return n ? n->AsInteger() : 0;
}

bool IsPagesNode(TPDFDictionary* D) {
    if (D->FindIndexByKeyName("Kids") >= 0) return true;
    auto* t = ObjAs<TPDFName>(D->FindValueByKeyName("Type", false));
    return t && t->Name() == "Pages";
}

// Copies made of pages listed more than once, at most; further repeats are
// dropped (a small file could otherwise list one page millions of times).
constexpr int32_t kMaxPageCopies = 100000;

TPDFIndRef* RegisterObject(TPDFStructure& S, TPDFObject* Obj) {
    if (!S.OnNewIndObj) return nullptr;
    int32_t n = 0, g = 0;
    S.OnNewIndObj(&S, Obj, n, g);
    return n > 0 ? S.NewIndirectRef(n, g) : nullptr;
}

// A new object holding a copy of Dict (references inside stay shared).
TPDFDictionary* RegisteredCopy(TPDFStructure& S, TPDFDictionary* Dict, TPDFIndRef*& Ref) {
    auto* copy = ObjAs<TPDFDictionary>(S.Decode(Dict->Output()));
    Ref = copy ? RegisterObject(S, copy) : nullptr;
    return Ref ? copy : nullptr;
}

void SetName(TPDFStructure& S, TPDFDictionary* D, std::string_view Key, std::string_view Value,
             bool& Changed) {
    auto* t = ObjAs<TPDFName>(D->FindValueByKeyName(Key, false));
    if (t && t->Name() == Value) return;
    D->Add(Key, S.NewCommonName(Value));
    Changed = true;
}

}  // namespace

bool RepairPageTree(TPDFStructure& S, TPDFDictionary* Catalog, TPDFDictionary*& Root) {
    if (!Root) return false;
    bool changed = false;
    if (!IsPagesNode(Root)) {
        // The catalog names a page: a node above it makes the tree.
        TPDFIndRef* pageRef = nullptr;
        if (Root->IsIndirect()) pageRef = S.NewIndirectRef(Root->IndObjNum(), Root->IndGenNum());
        else if (!RegisteredCopy(S, Root, pageRef)) return false;
        TPDFDictionary* node = S.NewDictionary();
        node->Add("Type", S.NewCommonName("Pages"));
        node->Add("Kids", S.NewArray({pageRef}));
        node->Add("Count", S.NewNumeric(1));
        TPDFIndRef* nodeRef = RegisterObject(S, node);
        if (!nodeRef) return false;
        Catalog->Add("Pages", nodeRef);
        if (auto* page = ObjAs<TPDFDictionary>(pageRef->Obj())) {
            page->Add("Parent", S.NewIndirectRef(nodeRef->ObjNum, nodeRef->GenNum));
            SetName(S, page, "Type", "Page", changed);
        }
        Root = node;
        return true;
    }

    struct Frame {
        TPDFDictionary* Node;
        TPDFArray* Kids;
        int32_t Next;
        int64_t Leaves;
    };
    std::unordered_set<const TPDFObject*> nodes{Root}, pages;
    std::vector<Frame> stack;
    int32_t copies = 0;
    auto enter = [&](TPDFDictionary* Node) {
        SetName(S, Node, "Type", "Pages", changed);
        auto* kids = ObjAs<TPDFArray>(Node->FindValueByKeyName("Kids", true));
        if (!kids) {
            kids = S.NewArray();
            Node->Add("Kids", kids);
            changed = true;
        }
        stack.push_back({Node, kids, 0, 0});
    };
    enter(Root);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.Next >= f.Kids->Count()) {
            // Every kid seen: the node's /Count is what lies below it.
            const int64_t leaves = f.Leaves;
            TPDFDictionary* node = f.Node;
            stack.pop_back();
            auto* count = ObjAs<TPDFNumeric>(node->FindValueByKeyName("Count", true));
            if (!count || count->AsDouble() != static_cast<double>(leaves)) {
                node->Add("Count", S.NewNumeric(static_cast<double>(leaves)));
                changed = true;
            }
            if (!stack.empty()) stack.back().Leaves += leaves;
            continue;
        }
        const int32_t i = f.Next;
        TPDFObject* item = f.Kids->GetItem(i);
        TPDFDictionary* kid = nullptr;
        if (auto* ref = ObjAs<TPDFIndRef>(item)) {
            kid = ObjAs<TPDFDictionary>(ref->Obj());
        } else if (auto* direct = ObjAs<TPDFDictionary>(item)) {
            // A kid written in place becomes an object of its own.
            TPDFIndRef* newRef = nullptr;
            if ((kid = RegisteredCopy(S, direct, newRef))) {
                f.Kids->Replace(i, newRef);
                changed = true;
            }
        }
        const bool isNode = kid && IsPagesNode(kid);
        const bool repeat = kid && (isNode ? nodes.count(kid) : pages.count(kid));
        if (!kid || (repeat && (isNode || copies >= kMaxPageCopies)) ||
            (isNode && stack.size() >= static_cast<size_t>(TPDFPageTree::MaxTreeDepth))) {
            // Not a page or a node, a node met before (a loop), or too deep.
            f.Kids->Delete(i);
            changed = true;
            continue;
        }
        f.Next = i + 1;
        if (isNode) {
            nodes.insert(kid);
            enter(kid);
            continue;
        }
        if (repeat) {
            // One page listed twice: the second place gets a copy, so that
            // each page number has a page of its own.
            TPDFIndRef* newRef = nullptr;
            TPDFDictionary* copy = RegisteredCopy(S, kid, newRef);
            if (!copy) {
                f.Kids->Delete(i);
                f.Next = i;
                changed = true;
                continue;
            }
            ++copies;
            f.Kids->Replace(i, newRef);
            if (f.Node->IsIndirect())
                copy->Add("Parent", S.NewIndirectRef(f.Node->IndObjNum(), f.Node->IndGenNum()));
            kid = copy;
            changed = true;
        }
        pages.insert(kid);
        SetName(S, kid, "Type", "Page", changed);
        ++f.Leaves;
    }
    return changed;
}

TPDFPageTree::TPDFPageTree(TPDFDictionary* APages, std::vector<std::unique_ptr<TObject>>* AImages,
                           std::vector<std::unique_ptr<TObject>>* AImageLists,
                           std::vector<std::unique_ptr<TObject>>* ATextLists,
                           std::vector<TObject*>* AIncludedFonts, bool DeferFirstLayer)
    : FImages(AImages),
      FImageLists(AImageLists),
      FTextLists(ATextLists),
      FIncludedFonts(AIncludedFonts) {
    RenderFontCol = NewPageFontCollection();
    RenderFontCol->FInstallFonts = true;
    TextExtractFontCol = NewPageFontCollection();
    TextExtractFontCol->FInstallFonts = true;
    FPainter = NewPagePainter(this);
    FPainter->OnChange = [this](TObject* S) { PainterChange(S); };
    FAnnots = NewPageAnnots();
    FAnnots->OnFindPage = [this](TPDFIndRef* R) { return FindPage(R); };
    if (APages) {
        FStructure = APages->Owner();
        FPagesDict = APages;
        FDeferLayer = DeferFirstLayer;
        SetPage(1);
        FDeferLayer = false;
    }
    FPainter->PDFPrecNum = FStructure ? FStructure->PDFPrecNum : 4;
}

TPDFPageTree::~TPDFPageTree() {
    FPainter.reset();
    FAnnots.reset();
    RenderFontCol.reset();
    TextExtractFontCol.reset();
}

void TPDFPageTree::CommitPendingLayer() {
    if (FPendingLayer && FPageDict && FPageContent.size() == 1 && FPageContent[0] == FPendingLayer) {
        if (TPDFIndRef* ref = Register(FPendingLayer))
            FPageDict->Add("Contents", FStructure->NewArray({ref}));
        FPendingLayer = nullptr;
    }
}

void TPDFPageTree::PainterChange(TObject*) {
    CommitPendingLayer();
    // The layer takes the content at the next flush, not after every
    // drawing operation; a layer the writer could not read is never written.
    if (FCanDraw) FPainterDirty = true;
}

void TPDFPageTree::FlushPainter() {
    if (!FPainterDirty) return;
    FPainterDirty = false;
    if (FCanDraw && FLayer >= 1 && FLayer <= static_cast<int32_t>(FPageContent.size()))
        FPageContent[static_cast<size_t>(FLayer - 1)]->SetTo(FPainter->GetSource(), false);
}

void TPDFPageTree::Decrypt() {
    if (OnDecrypt) OnDecrypt(PageObjNum, PageGenNum);
}

int32_t TPDFPageTree::PageCount() {
    int32_t count = 0;
    if (FPagesDict) {
        count = CountOf(FPagesDict);
        if (count < 0) count = 0;
    }
    if (count < FKnownPagesLength) {
        for (auto it = FKnownPages.begin(); it != FKnownPages.end();)
            it = it->first >= count ? FKnownPages.erase(it) : std::next(it);
    }
    FKnownPagesLength = count;
    return count;
}

TPDFArray* TPDFPageTree::KidsArray() {
    return FPagesDict ? ObjAs<TPDFArray>(FPagesDict->FindValueByKeyName("Kids", true)) : nullptr;
}

void TPDFPageTree::ForgetPages() {
    FKnownPages.clear();
    FKnownPagesLength = 0;
}

void TPDFPageTree::SetPageCount(int32_t NewPageCount) {
    if (!FPagesDict) return;
    if (auto* n = ObjAs<TPDFNumeric>(FPagesDict->FindValueByKeyName("Count", true)))
        n->SetTo(NewPageCount);
}

TPDFIndRef* TPDFPageTree::Register(TPDFObject* Obj) {
    if (!FStructure || !FStructure->OnNewIndObj) return nullptr;
    int32_t n = 0, g = 0;
    FStructure->OnNewIndObj(this, Obj, n, g);
    return FStructure->NewIndirectRef(n, g);
}

TPDFDictionary* TPDFPageTree::GetPage(int32_t n) {
    const int32_t count = PageCount();
    if (n < 1 || n > count || !FPagesDict) return nullptr;
    FParentNode = FPagesDict;
    TPDFArray* kids = ObjAs<TPDFArray>(FPagesDict->FindValueByKeyName("Kids", true));
    if (!kids) return nullptr;
    TPDFDictionary* result = nullptr;
    bool walk = true;

    // Flat shortcut: a single level whose /Kids hold every page.
    if (kids->Count() == count) {
        walk = false;
        auto* ref = ObjAs<TPDFIndRef>(kids->GetItem(n - 1));
        if (ref) {
            FPagePointerArray = kids;
            FPagePointer = ref;
            PageObjNum = ref->ObjNum;
            PageGenNum = ref->GenNum;
            if (auto* d = ObjAs<TPDFDictionary>(ref->Obj())) {
                auto* t = ObjAs<TPDFName>(d->FindValueByKeyName("Type", false));
                if ((t && t->Name() == "Page") || d->FindIndexByKeyName("Contents") >= 0)
                    result = d;
                else
                    walk = true;  // not a page: walk the tree
            }
        }
    }

    if (walk) {
        // Full walk. Descending into a subtree is final (its result is the
        // result), so the walk is a loop over one /Kids array at a time; a
        // node met twice ends it.
        std::unordered_set<const TPDFObject*> visited{FPagesDict};
        int32_t counter = 0;
        int depth = 0;
        TPDFArray* level = kids;
        for (;;) {
            TPDFDictionary* provisional = nullptr;
            TPDFArray* descend = nullptr;
            bool done = false;
            for (int32_t i = 0; i < level->Count() && !done; ++i) {
                auto* ref = ObjAs<TPDFIndRef>(level->GetItem(i));
                if (!ref) continue;
                FPagePointerArray = level;
                FPagePointer = ref;
                PageObjNum = ref->ObjNum;
                PageGenNum = ref->GenNum;
                auto* d = ObjAs<TPDFDictionary>(ref->Obj());
                if (!d) {
                    // A missing kid becomes a blank page.
                    TPDFDictionary* page = FStructure->NewDictionary();
                    page->Add("Type", FStructure->NewCommonName("Page"));
                    page->Add("Parent", FStructure->NewIndirectRef(FParentNode->IndObjNum(),
                                                                   FParentNode->IndGenNum()));
                    page->Add("Resources", FStructure->NewDictionary());
                    page->Add("MediaBox", FStructure->NewIntArray({0, 0, 612, 792}));
                    page->Add("CropBox", FStructure->NewIntArray({0, 0, 612, 792}));
                    page->Add("Rotate", FStructure->NewNumeric(0));
                    TPDFIndRef* newRef = Register(page);
                    if (!newRef) continue;
                    level->Replace(i, newRef);
                    FPagePointer = newRef;
                    PageObjNum = newRef->ObjNum;
                    PageGenNum = newRef->GenNum;
                    provisional = page;
                    continue;
                }
                const std::string kind = PageNodeKind(d);
                if (kind == "Pages") {
                    const int32_t c = CountOf(d);
                    if (int64_t{counter} + c < n) {
                        counter += c;
                        continue;
                    }
                    auto* sub = ObjAs<TPDFArray>(d->FindValueByKeyName("Kids", true));
                    if (!sub) continue;
                    if (!visited.insert(d).second || ++depth > MaxTreeDepth) {
                        done = true;  // a cycle: no page
                        break;
                    }
                    FParentNode = d;
                    descend = sub;
                    done = true;
                } else if (kind == "Page") {
                    if (counter + 1 == n) {
                        provisional = d;
                        done = true;
                    } else {
                        ++counter;
                    }
                }
            }
            if (descend) {
                level = descend;
                continue;
            }
            result = provisional;
            break;
        }
    }
    FKnownPages[n - 1] = result;
    return result;
}

TPDFStream* TPDFPageTree::NewEngineLayer(bool Marked) {
    TPDFStream* s = FStructure->NewStream(std::string(), false);
    if (Marked) s->FDictionary->Add("LC", FStructure->NewCommonName("uZTN"));
    return s;
}

void TPDFPageTree::SetPage(int32_t A) {
    FlushPainter();
    GotPageWidth = GotPageHeight = false;
    FPageWidth = FPageHeight = 0;
    const int32_t count = PageCount();
    if (A < 1 || A > count) A = FPage;
    FCanDraw = false;
    TPDFDictionary* page = nullptr;
    if (A < FKnownPagesLength) {
        auto it = FKnownPages.find(A - 1);
        if (it != FKnownPages.end()) page = it->second;
    }
    if (!page) page = GetPage(A);
    if (page && FStructure) {
        FPage = A;
        FPageDict = page;
        FPageContent.clear();
        if (auto* annots = ObjAs<TPDFArray>(page->FindValueByKeyName("Annots", true)))
            FAnnots->Attach(annots);
        else
            FAnnots->Clear();

        TPDFArray* contents = nullptr;
        FPendingLayer = nullptr;
        TPDFObject* c = page->FindValueByKeyName("Contents", false);
        if (!c && FDeferLayer) {
            FPendingLayer = NewEngineLayer(true);
            FPageContent.push_back(FPendingLayer);
            FPainter->PDFPrecNum = FStructure->PDFPrecNum;
            FPainter->OnChange = nullptr;
            FPainter->Clear();
            FPainter->OnChange = [this](TObject* S) { PainterChange(S); };
            FPainter->SetSource("");
            FLayer = 1;
            FCanDraw = true;
        } else if (!c) {
            TPDFIndRef* ref = Register(NewEngineLayer(true));
            if (ref) {
                contents = FStructure->NewArray({ref});
                page->Add("Contents", contents);
            }
        } else if (auto* ref = ObjAs<TPDFIndRef>(c)) {
            if (auto* arr = ObjAs<TPDFArray>(ref->Obj())) {
                contents = arr;
            } else {
                contents = FStructure->NewArray({FStructure->NewIndirectRef(ref->ObjNum, ref->GenNum)});
                page->Add("Contents", contents);
            }
        } else {
            contents = ObjAs<TPDFArray>(c);
        }

        if (contents) {
            TPDFObject* last = contents->Count() > 0 ? contents->GetItem(contents->Count() - 1) : nullptr;
            if (auto* r = ObjAs<TPDFIndRef>(last)) last = r->Obj();
            auto* lastStream = ObjAs<TPDFStream>(last);
            bool append = false;
            if (!lastStream) {
                append = true;
            } else if (!FUseUnsafeLayers) {
                auto* lc = ObjAs<TPDFName>(lastStream->FDictionary->FindValueByKeyName("LC", false));
                append = !(lc && lc->Name() == "uZTN");
            }
            if (!append && lastStream && lastStream->FStream.size() > 500000 && !LayersCombined)
                append = true;
            if (append)
                if (TPDFIndRef* ref = Register(NewEngineLayer(true))) contents->Add(ref);

            for (int32_t i = 0; i < contents->Count(); ++i) {
                TPDFObject* item = contents->GetItem(i);
                TPDFObject* target = item;
                if (auto* r = ObjAs<TPDFIndRef>(item)) target = r->Obj();
                auto* s = ObjAs<TPDFStream>(target);
                if (!s) {
                    s = NewEngineLayer(false);
                    TPDFIndRef* ref = Register(s);
                    if (!ref) continue;
                    contents->Replace(i, ref);
                }
                FPageContent.push_back(s);
            }
            if (!FPageContent.empty()) {
                FPainter->PDFPrecNum = FStructure->PDFPrecNum;
                FPainter->OnChange = nullptr;
                FPainter->Clear();
                FPainter->OnChange = [this](TObject* S) { PainterChange(S); };
                FPainter->SetSource(FPageContent.back()->GetDecodedStream());
                FLayer = static_cast<int32_t>(FPageContent.size());
                FCanDraw = true;
            }
        }
    }
    if (OnPageAccess) OnPageAccess(FPageDict);
}

TPDFIndRef* TPDFPageTree::PageRef() {
    if (!FPageDict || !FPageDict->IsIndirect() || !FStructure) return nullptr;
    return FStructure->NewIndirectRef(FPageDict->IndObjNum(), FPageDict->IndGenNum());
}

TPDFIndRef* TPDFPageTree::GetPageRef(int32_t PageNumber) {
    const int32_t keep = FPage;
    GetPage(PageNumber);
    TPDFIndRef* taken = FPagePointer;
    GetPage(keep);
    return taken;
}

TPDFIndRef* TPDFPageTree::CreatePageRef(int32_t PageNum) {
    TPDFDictionary* d = nullptr;
    try {
        d = GetPage(PageNum);
    } catch (...) {
        d = nullptr;
    }
    if (!d || !FStructure) return nullptr;
    return FStructure->NewIndirectRef(d->IndObjNum(), d->IndGenNum());
}

int32_t TPDFPageTree::FindPage(TPDFIndRef* Ref) {
    TPDFArray* kids = KidsArray();
    if (!kids || !Ref) return 0;
    if (kids->Count() == PageCount()) {
        for (int32_t i = 0; i < kids->Count(); ++i) {
            auto* r = ObjAs<TPDFIndRef>(kids->GetItem(i));
            if (r && r->ObjNum == Ref->ObjNum && r->GenNum == Ref->GenNum) return i + 1;
        }
    }
    return OnFindPage ? OnFindPage(Ref) : 0;
}

// ---------------------------------------------------------------------------
// Walking the tree in document order (document methods)

TPDFDictionary* TPDFDocument::FirstPage() {
    auto* pages = ObjAs<TPDFDictionary>(GetRootDict()->FindValueByKeyName("Pages", true));
    return pages ? FirstPageFrom(pages) : nullptr;
}

TPDFDictionary* TPDFDocument::FirstPageFrom(TPDFDictionary* Start) {
    std::unordered_set<const TPDFObject*> visited;
    TPDFDictionary* node = Start;
    while (node && visited.insert(node).second) {
        auto* kids = ObjAs<TPDFArray>(node->FindValueByKeyName("Kids", true));
        if (!kids || kids->Count() == 0) return nullptr;
        auto* ref = ObjAs<TPDFIndRef>(kids->GetItem(0));
        if (!ref) return nullptr;
        auto* d = ObjAs<TPDFDictionary>(ref->Obj());
        if (!d) return nullptr;
        auto* t = ObjAs<TPDFName>(d->FindValueByKeyName("Type", false));
        if (t && t->Name() == "Page") return d;
        node = d;
    }
    return nullptr;
}

TPDFDictionary* TPDFDocument::NextPage(TPDFDictionary* Start) {
    std::unordered_set<const TPDFObject*> visited;
    TPDFDictionary* d = Start;
    while (d && visited.insert(d).second) {
        auto* parent = ObjAs<TPDFDictionary>(d->FindValueByKeyName("Parent", true));
        if (!parent) return nullptr;
        auto* kids = ObjAs<TPDFArray>(parent->FindValueByKeyName("Kids", true));
        if (!kids || kids->Count() == 0) return nullptr;
        int32_t at = -1;
        for (int32_t i = 0; i < kids->Count() && at < 0; ++i) {
            auto* r = ObjAs<TPDFIndRef>(kids->GetItem(i));
            if (r && r->ObjNum == d->IndObjNum() && r->GenNum == d->IndGenNum()) at = i;
        }
        if (at < 0) return nullptr;
        if (at == kids->Count() - 1) {
            d = parent;
            continue;
        }
        auto* next = ObjAs<TPDFIndRef>(kids->GetItem(at + 1));
        if (!next) return nullptr;
        auto* nd = ObjAs<TPDFDictionary>(next->Obj());
        if (!nd) return nullptr;
        auto* t = ObjAs<TPDFName>(nd->FindValueByKeyName("Type", false));
        if (t && t->Name() == "Page") return nd;
        if (t && t->Name() == "Pages") return FirstPageFrom(nd);
        return nullptr;
    }
    return nullptr;
}

TPDFObject* TPDFDocument::GetPageInheritedValue(TPDFDictionary* Start, std::string_view Key) {
    std::unordered_set<const TPDFObject*> visited;
    for (TPDFDictionary* d = Start; d && visited.insert(d).second;) {
        if (d->FindIndexByKeyName(Key) >= 0) return d->FindValueByKeyName(Key, true);
        d = ObjAs<TPDFDictionary>(d->FindValueByKeyName("Parent", true));
    }
    return nullptr;
}

int32_t TPDFDocument::FindPage(TPDFIndRef* PageRef) {
    if (!PageRef || !FPageTree) return 0;
    const int32_t count = FPageTree->PageCount();
    for (int32_t n = 1; n <= count; ++n) {
        TPDFIndRef* r = FPageTree->GetPageRef(n);
        if (r && r->ObjNum == PageRef->ObjNum && r->GenNum == PageRef->GenNum) return n;
    }
    return 0;
}

int32_t TPDFDocument::GetPageFromRef(TPDFIndRef* Ref) {
    int64_t total = 0;
    std::unordered_set<int64_t> visited;
    int32_t num = Ref ? Ref->ObjNum : 0, gen = Ref ? Ref->GenNum : 0;
    TPDFObject* obj = Ref ? Ref->Obj() : nullptr;
    while (visited.insert((int64_t{num} << 20) ^ gen).second) {
        auto* d = ObjAs<TPDFDictionary>(obj);
        if (!d) break;
        auto* parentRef = ObjAs<TPDFIndRef>(d->FindValueByKeyName("Parent", false));
        if (!parentRef) break;
        auto* parent = ObjAs<TPDFDictionary>(parentRef->Obj());
        if (!parent) break;
        auto* kids = ObjAs<TPDFArray>(parent->FindValueByKeyName("Kids", true));
        if (!kids) break;
        for (int32_t i = 0; i < kids->Count(); ++i) {
            auto* r = ObjAs<TPDFIndRef>(kids->GetItem(i));
            if (!r) continue;
            if (r->ObjNum == num && r->GenNum == gen) break;
            auto* k = ObjAs<TPDFDictionary>(r->Obj());
            if (!k) continue;
            const std::string kind = PageNodeKind(k);
            if (kind == "Pages") total += CountOf(k);
            else if (kind == "Page") total += 1;
        }
        num = parentRef->ObjNum;
        gen = parentRef->GenNum;
        obj = parent;
    }
    return static_cast<int32_t>(std::max<int64_t>(0, std::min<int64_t>(total, INT32_MAX)));
}

}  // namespace velmo
