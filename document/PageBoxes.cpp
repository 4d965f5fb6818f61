// Geometry of the selected page: size from the media box, the five page
// boxes, rotation, user unit, viewports, LGI dictionaries and the thumbnail.
#include <cmath>
#include <unordered_set>

#include "document/Document.h"
#include "document/PageTree.h"

namespace velmo {

namespace {

double NumberAt(TPDFArray* A, int32_t I) {
    auto* n = A ? ObjAs<TPDFNumeric>(A->GetItem(I)) : nullptr;
    return n ? n->AsDouble() : 0.0;
}

TPDFObject* Resolved(TPDFObject* O) {
    if (auto* r = ObjAs<TPDFIndRef>(O)) return r->Obj();
    return O;
}

}  // namespace

void TPDFPageTree::LoadDefaultPageSize() {
    DefaultPageWidth = 612;
    DefaultPageHeight = 792;
    if (!FPagesDict) return;
    if (auto* box = ObjAs<TPDFArray>(FPagesDict->FindValueByKeyName("MediaBox", false))) {
        DefaultPageWidth = std::fabs(NumberAt(box, 2) - NumberAt(box, 0));
        DefaultPageHeight = std::fabs(NumberAt(box, 3) - NumberAt(box, 1));
    }
}

double TPDFPageTree::PageWidth() {
    if (FPageDict && !GotPageWidth) {
        FPageWidth = MediaBoxExtent(0, 2, DefaultPageWidth);
        GotPageWidth = true;
    }
    return FPageWidth;
}

double TPDFPageTree::PageHeight() {
    if (FPageDict && !GotPageHeight) {
        FPageHeight = MediaBoxExtent(1, 3, DefaultPageHeight);
        GotPageHeight = true;
    }
    return FPageHeight;
}

double TPDFPageTree::MediaBoxExtent(int32_t From, int32_t To, const double& Default) {
    // The first media box on the page or an ancestor.
    std::unordered_set<const TPDFObject*> visited;
    for (TPDFDictionary* d = FPageDict; d && visited.insert(d).second;
         d = ObjAs<TPDFDictionary>(d->FindValueByKeyName("Parent", true))) {
        if (auto* box = ObjAs<TPDFArray>(d->FindValueByKeyName("MediaBox", true)))
            return std::fabs(NumberAt(box, To) - NumberAt(box, From));
    }
    // None anywhere: the page gets the default size as its own.
    LoadDefaultPageSize();
    FPageDict->PurgeKey("MediaBox");
    FPageDict->Add("MediaBox", FStructure->NewDoubleArray({0, 0, DefaultPageWidth, DefaultPageHeight}));
    return Default;
}

void TPDFPageTree::SetPageWidth(double Value) {
    if (!FPageDict) return;
    const double h = PageHeight();
    FPageWidth = Value;
    GotPageWidth = true;
    FPageDict->PurgeKey("MediaBox");
    FPageDict->Add("MediaBox", FStructure->NewDoubleArray({0, 0, Value, h}));
    FPageDict->PurgeKey("CropBox");
    FPageDict->Add("CropBox", FStructure->NewDoubleArray({0, 0, Value, h}));
}

void TPDFPageTree::SetPageHeight(double Value) {
    if (!FPageDict) return;
    const double w = PageWidth();
    FPageHeight = Value;
    GotPageHeight = true;
    FPageDict->PurgeKey("MediaBox");
    FPageDict->Add("MediaBox", FStructure->NewDoubleArray({0, 0, w, Value}));
    FPageDict->PurgeKey("CropBox");
    FPageDict->Add("CropBox", FStructure->NewDoubleArray({0, 0, w, Value}));
}

void TPDFPageTree::SetCropBox(double Left, double Top, double Width, double Height) {
    if (!FPageDict) return;
    FPageDict->Add("CropBox",
                   FStructure->NewDoubleArray({Left, Top - Height, Left + Width, Top}));
}

void TPDFPageTree::SetPageBoxProperties(std::string_view BoxName, double Left, double Top,
                                        double Width, double Height) {
    if (!FPageDict) return;
    auto* box = ObjAs<TPDFArray>(FPageDict->FindValueByKeyName(BoxName, true));
    if (!box || !TPDFRectangle(box).IsRectangle()) {
        box = FStructure->NewIntArray({0, 0, 0, 0});
        FPageDict->Add(BoxName, box);
    }
    TPDFRectangle r(box);
    r.SetLeft(Left);
    r.SetTop(Top);
    r.SetRight(Left + Width);
    r.SetBottom(Top - Height);
}

TPDFObject* TPDFPageTree::FindInheritedEntry(TPDFDictionary* Dict, std::string_view Key) {
    std::unordered_set<const TPDFObject*> visited;
    for (TPDFDictionary* d = Dict; d && visited.insert(d).second;) {
        if (TPDFObject* v = d->FindValueByKeyName(Key, false)) return v;
        auto* p = ObjAs<TPDFIndRef>(d->FindValueByKeyName("Parent", false));
        d = p ? ObjAs<TPDFDictionary>(p->Obj()) : nullptr;
    }
    return nullptr;
}

double TPDFPageTree::PageBoxProperties(std::string_view BoxName, TPDFDimension Dimension) {
    if (!FPageDict) return 0;
    TPDFObject* box = Resolved(FindInheritedEntry(FPageDict, BoxName));
    if (!box && BoxName != "MediaBox") {
        if (BoxName != "CropBox") box = Resolved(FindInheritedEntry(FPageDict, "CropBox"));
        if (!box) box = Resolved(FindInheritedEntry(FPageDict, "MediaBox"));
    }
    auto* a = ObjAs<TPDFArray>(box);
    if (!a) return 0;
    TPDFRectangle r(a);
    return r.IsRectangle() ? r.GetDimension(Dimension) : 0;
}

int32_t TPDFPageTree::HasPageBox(std::string_view BoxName) {
    if (!FPageDict) return 0;
    if (FPageDict->FindIndexByKeyName(BoxName) >= 0)
        return ObjAs<TPDFArray>(FPageDict->FindValueByKeyName(BoxName, true)) ? 1 : 0;
    auto* r = ObjAs<TPDFIndRef>(FindInheritedEntry(FPageDict, BoxName));
    return r && ObjAs<TPDFArray>(r->Obj()) ? 2 : 0;
}

int32_t TPDFPageTree::RemovePageBox(std::string_view BoxName) {
    if (!FPageDict || !ObjAs<TPDFArray>(FPageDict->FindValueByKeyName(BoxName, true))) return 0;
    FPageDict->DeleteEntryByKeyName(BoxName);
    return 1;
}

double TPDFPageTree::UserUnit() {
    auto* n = FPageDict ? ObjAs<TPDFNumeric>(FPageDict->FindValueByKeyName("UserUnit", true))
                        : nullptr;
    return n ? n->AsDouble() : 1.0;
}

void TPDFPageTree::SetUserUnit(double Value) {
    if (!FPageDict) return;
    FPageDict->PurgeKey("UserUnit");
    FPageDict->Add("UserUnit", FStructure->NewNumeric(Value));
}

int32_t TPDFPageTree::GetViewPortCount() {
    auto* a = FPageDict ? ObjAs<TPDFArray>(FPageDict->FindValueByKeyName("VP", true)) : nullptr;
    return a ? a->Count() : 0;
}

TPDFDictionary* TPDFPageTree::GetViewPort(int32_t Index) {
    auto* a = FPageDict ? ObjAs<TPDFArray>(FPageDict->FindValueByKeyName("VP", true)) : nullptr;
    if (!a || Index < 0 || Index >= a->Count()) return nullptr;
    return ObjAs<TPDFDictionary>(Resolved(a->GetItem(Index)));
}

int32_t TPDFPageTree::GetLGIDictCount() {
    TPDFObject* v = FPageDict ? FPageDict->FindValueByKeyName("LGIDict", true) : nullptr;
    if (auto* a = ObjAs<TPDFArray>(v)) return a->Count();
    return ObjAs<TPDFDictionary>(v) ? 1 : 0;
}

std::string TPDFPageTree::GetLGIDictContent(int32_t Index) {
    TPDFObject* v = FPageDict ? FPageDict->FindValueByKeyName("LGIDict", true) : nullptr;
    if (auto* a = ObjAs<TPDFArray>(v)) {
        if (Index < 0 || Index >= a->Count()) return {};
        auto* d = ObjAs<TPDFDictionary>(Resolved(a->GetItem(Index)));
        return d ? d->Output() : std::string();
    }
    if (auto* d = ObjAs<TPDFDictionary>(v)) return d->Output();
    return {};
}

bool TPDFPageTree::AddLGIDict(std::string_view DictContent) {
    if (!FPageDict || !FStructure) return false;
    auto* nd = ObjAs<TPDFDictionary>(FStructure->Decode(DictContent));
    if (!nd) return false;
    TPDFIndRef* newRef = Register(nd);
    if (!newRef) return false;
    TPDFObject* raw = FPageDict->FindValueByKeyName("LGIDict", false);
    TPDFObject* v = Resolved(raw);
    if (auto* a = ObjAs<TPDFArray>(v)) {
        for (int32_t i = 0; i < a->Count(); ++i) {
            auto* d = ObjAs<TPDFDictionary>(a->GetItem(i));
            if (!d) continue;
            if (TPDFIndRef* r = Register(d)) a->ReplaceNoKill(i, r);
        }
        a->Add(newRef);
    } else if (auto* d = ObjAs<TPDFDictionary>(v)) {
        TPDFIndRef* oldRef = nullptr;
        if (auto* r = ObjAs<TPDFIndRef>(raw)) {
            oldRef = FStructure->NewIndirectRef(r->ObjNum, r->GenNum);
        } else {
            // Registering the dictionary that sits in the page: the page
            // entry then takes the array, so the dictionary is kept alive by
            // the reference only.
            oldRef = Register(d);
        }
        if (!oldRef) return false;
        FPageDict->Add("LGIDict", FStructure->NewArray({oldRef, newRef}));
    } else {
        FPageDict->Add("LGIDict", FStructure->NewArray({newRef}));
    }
    return true;
}

bool TPDFPageTree::DeleteLGIDict(int32_t Index) {
    if (!FPageDict) return false;
    TPDFObject* v = FPageDict->FindValueByKeyName("LGIDict", true);
    if (auto* a = ObjAs<TPDFArray>(v)) {
        if (a->Count() == 1 && Index == 0) {
            FPageDict->DeleteEntryByKeyName("LGIDict");
            return true;
        }
        if (Index < 0 || Index >= a->Count()) return false;
        a->Delete(Index);
        return true;
    }
    if (ObjAs<TPDFDictionary>(v) && Index == 0) {
        FPageDict->DeleteEntryByKeyName("LGIDict");
        return true;
    }
    return false;
}

void TPDFPageTree::SetThumb(TPDFIndRef* ImageRef) {
    if (!FPageDict) return;
    FPageDict->PurgeKey("Thumb");
    FPageDict->Add("Thumb", ImageRef);
}

// ---------------------------------------------------------------------------
// Rotation (document methods on the selected page)

bool TPDFDocument::RotatePage(int32_t PageRotation) {
    if (PageRotation % 90 != 0 || !FPageTree) return false;
    TPDFDictionary* page = FPageTree->GetPage(FPageTree->Page());
    if (!page) return false;
    try {
        page->PurgeKey("Rotate");
        page->Add("Rotate", FStructure->NewNumeric(PageRotation));
    } catch (...) {
    }
    return true;
}

int32_t TPDFDocument::PageRotation() {
    if (!FPageTree) return 0;
    TPDFDictionary* page = FPageTree->GetPage(FPageTree->Page());
    auto* n = ObjAs<TPDFNumeric>(GetPageInheritedValue(page, "Rotate"));
    return n ? n->AsInteger() : 0;
}

}  // namespace velmo
