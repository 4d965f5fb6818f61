// Resources of the selected page: the resource dictionary, registration of
// named resources, inherited attributes copied down, the colour-space report
// and the blanking of resources only deleted pages used.
#include <functional>
#include <unordered_set>

#include "core/Digests.h"
#include "document/Document.h"
#include "document/PageTree.h"
#include "document/PatternBase.h"

namespace velmo {

namespace {

TPDFObject* Resolved(TPDFObject* O) {
    if (auto* r = ObjAs<TPDFIndRef>(O)) return r->Obj();
    return O;
}

std::string NameOf(TPDFObject* O) {
    auto* n = ObjAs<TPDFName>(O);
    return n ? n->Name() : std::string();
}

constexpr const char* kQ = "\\\"";

}  // namespace

TPDFDictionary* TPDFPageTree::Resources() {
    if (!FPageDict || !FStructure) return nullptr;
    TPDFDictionary* holder = FPageDict;
    std::unordered_set<const TPDFObject*> visited;
    for (TPDFDictionary* d = FPageDict; d && visited.insert(d).second;
         d = ObjAs<TPDFDictionary>(d->FindValueByKeyName("Parent", true))) {
        if (d->FindIndexByKeyName("Resources") >= 0) {
            holder = d;
            break;
        }
    }
    if (holder->FindIndexByKeyName("Resources") < 0) holder = FPageDict;
    TPDFObject* v = holder->FindValueByKeyName("Resources", true);
    if (auto* d = ObjAs<TPDFDictionary>(v)) return d;
    holder->DeleteEntryByKeyName("Resources");
    TPDFDictionary* d = FStructure->NewDictionary();
    holder->Add("Resources", d);
    return d;
}

void TPDFPageTree::RegisterResource(std::string_view Category, std::string_view Name,
                                    TPDFObject* Value, TPDFDictionary* Res) {
    if (!Res || !Value) return;
    auto* cat = ObjAs<TPDFDictionary>(Res->FindValueByKeyName(Category, true));
    if (!cat) {
        Res->DeleteEntryByKeyName(Category);
        cat = FStructure->NewDictionary();
        Res->Add(Category, cat);
    }
    TPDFObject* cur = cat->FindValueByKeyName(Name, false);
    if (!cur) {
        cat->Add(Name, Value);
        return;
    }
    auto* curRef = ObjAs<TPDFIndRef>(cur);
    auto* newRef = ObjAs<TPDFIndRef>(Value);
    if (curRef && newRef && (curRef->ObjNum != newRef->ObjNum || curRef->GenNum != newRef->GenNum)) {
        cat->DeleteEntryByKeyName(Name);
        cat->Add(Name, Value);
    }
}

void TPDFPageTree::UseFont(std::string_view FontName, TPDFIndRef* FontIndRef) {
    RegisterResource("Font", FontName, FontIndRef, Resources());
}

void TPDFPageTree::UseFont(TPDFFontBase* Font) {
    if (Font) UseFont(Font->FName, Font->FIndRef);
}

void TPDFPageTree::UseImage(TPDFImageBase* Image) {
    // Fonts of images that carry text are kept in one list for all images.
    if (FIncludedFonts)
        for (TObject* f : *FIncludedFonts) UseFont(dynamic_cast<TPDFFontBase*>(f));
    UseImageLevel(Image, 0);
}

void TPDFPageTree::UseImageLevel(TPDFImageBase* Image, int Depth) {
    // Images drawing images: a chain deeper than this is a cycle.
    if (!Image || Depth > 32) return;
    for (const auto& b : Image->FIncludedBitmaps)
        UseImageLevel(dynamic_cast<TPDFImageBase*>(b.get()), Depth + 1);
    // Every colour a brush pattern is drawn with gets its own pattern object.
    for (const auto& p : Image->FIncludedPatterns) {
        auto* Pattern = dynamic_cast<TPDFPatternBase*>(p.get());
        if (!Pattern || !Pattern->Bitmap()) continue;
        const std::vector<TColor> Colors = Pattern->Colors();
        for (size_t i = 0; i < Colors.size(); ++i) {
            Pattern->NewPatternBitMap(*Pattern->Bitmap(), Colors[i]);
            if (Pattern->IndRef())
                UsePattern(Pattern->Name() + "_" + std::to_string(i), Pattern->IndRef());
        }
    }
    if (Image->FIndRef) RegisterResource("XObject", Image->FName, Image->FIndRef, Resources());
}

bool TPDFPageTree::ReplaceImage(TPDFImageBase* OriginalImage, TPDFImageBase* NewImage) {
    TPDFDictionary* res = Resources();
    if (!res || !OriginalImage || !OriginalImage->FIndRef || !NewImage) return false;
    const std::string target = OriginalImage->FIndRef->Output();
    std::unordered_set<const TPDFObject*> visited;
    // Depth-first over the page's resources and those of its forms.
    std::function<bool(TPDFDictionary*, int)> level = [&](TPDFDictionary* D, int Depth) -> bool {
        if (!D || Depth > 32 || !visited.insert(D).second) return false;
        auto* xo = ObjAs<TPDFDictionary>(D->FindValueByKeyName("XObject", true));
        if (!xo) return false;
        for (int32_t i = 0; i < xo->Count(); ++i) {
            const TPDFEntry e = xo->GetEntry(i);
            if (!e.Value || !e.Key) continue;
            if (e.Value->Output() == target) {
                const std::string name = e.Key->Name();
                xo->DeleteEntryByKeyName(name);
                xo->Add(name, NewImage->FIndRef);
                NewImage->SetName(name);
                return true;
            }
            if (auto* s = ObjAs<TPDFStream>(Resolved(e.Value)))
                if (level(ObjAs<TPDFDictionary>(s->FDictionary->FindValueByKeyName("Resources", true)),
                          Depth + 1))
                    return true;
        }
        return false;
    };
    if (!level(res, 0)) return false;
    UseImage(NewImage);
    return true;
}

void TPDFPageTree::UseField(TPDFIndRef* FieldRef) {
    if (!FPageDict || !FStructure || !FieldRef) return;
    auto* annots = ObjAs<TPDFArray>(FPageDict->FindValueByKeyName("Annots", true));
    if (!annots) {
        FPageDict->PurgeKey("Annots");
        annots = FStructure->NewArray();
        FPageDict->Add("Annots", annots);
        FAnnots->Attach(annots);
    }
    if (!annots->HasMatchingChild(FieldRef->Output())) annots->Add(FieldRef);
}

void TPDFPageTree::ReleaseFieldFrom(TPDFDictionary* Page, TPDFIndRef* FieldRef,
                                    TPDFDictionary* SourceDict) {
    if (!Page || !FieldRef) return;
    auto* annots = ObjAs<TPDFArray>(Page->FindValueByKeyName("Annots", true));
    if (!annots) return;
    auto removeAll = [&](TPDFIndRef* R) {
        const std::string text = R->Output();
        for (int32_t i = annots->Count() - 1; i >= 0; --i) {
            TPDFObject* it = annots->GetItem(i);
            if (it && it->Output() == text) annots->Delete(i);
        }
    };
    removeAll(FieldRef);
    if (!SourceDict) return;
    if (auto* kids = ObjAs<TPDFArray>(SourceDict->FindValueByKeyName("Kids", true)))
        for (TPDFObject* k : kids->LiveItems())
            if (auto* r = ObjAs<TPDFIndRef>(k)) removeAll(r);
}

void TPDFPageTree::ReleaseField(TPDFIndRef* FieldRef, TPDFDictionary* SourceDict) {
    ReleaseFieldFrom(FPageDict, FieldRef, SourceDict);
}

void TPDFPageTree::ReleaseFieldFromPage(TPDFIndRef* FieldRef, TPDFDictionary* SourceDict,
                                        TPDFIndRef* PageRef) {
    if (!PageRef) return;
    ReleaseFieldFrom(ObjAs<TPDFDictionary>(PageRef->Obj()), FieldRef, SourceDict);
}

void TPDFPageTree::UseXObject(std::string_view XOName, TPDFIndRef* XObjectRef) {
    RegisterResource("XObject", XOName, XObjectRef, Resources());
}

void TPDFPageTree::UseGS(std::string_view GSName, TPDFObject* GS, TPDFDictionary* AResources) {
    RegisterResource("ExtGState", GSName, GS, AResources ? AResources : Resources());
}

void TPDFPageTree::UseColorSpace(std::string_view CSName, TPDFObject* CS) {
    RegisterResource("ColorSpace", CSName, CS, Resources());
}

void TPDFPageTree::UsePattern(std::string_view CSName, TPDFObject* CS) {
    RegisterResource("Pattern", CSName, CS, Resources());
}

void TPDFPageTree::UseShading(std::string_view CSName, TPDFObject* CS) {
    RegisterResource("Shading", CSName, CS, Resources());
}

std::string TPDFPageTree::UseOCG(TPDFIndRef* OCGRef) {
    TPDFDictionary* res = Resources();
    if (!res || !OCGRef) return {};
    std::string text;
    if (auto* g = ObjAs<TPDFDictionary>(OCGRef->Obj()))
        if (auto* s = ObjAs<TPDFString>(g->FindValueByKeyName("Name", true))) text = s->AsString();
    text += OCGRef->Output();
    std::string name = "VelmoPDFOCG" + MD5DigestToHex(MD5OfString(text)).substr(0, 8);
    RegisterResource("Properties", name, OCGRef, res);
    return name;
}

void TPDFPageTree::CloneResources(bool AllBoxes) {
    if (!FPageDict || !FStructure) return;
    std::vector<const char*> keys{"Resources", "MediaBox", "CropBox", "Rotate"};
    if (AllBoxes) keys.insert(keys.end(), {"BleedBox", "TrimBox", "ArtBox"});
    for (const char* key : keys) {
        if (FPageDict->FindIndexByKeyName(key) >= 0) continue;
        TPDFObject* found = nullptr;
        std::unordered_set<const TPDFObject*> visited;
        for (TPDFDictionary* d = FPageDict; d && visited.insert(d).second && !found;
             d = ObjAs<TPDFDictionary>(d->FindValueByKeyName("Parent", true)))
            found = d->FindValueByKeyName(key, true);
        if (found) {
            if (TPDFObject* copy = FStructure->Decode(found->Output())) FPageDict->Add(key, copy);
            continue;
        }
        const std::string k = key;
        if (k == "MediaBox") {
            FPageDict->Add(key, FStructure->NewIntArray({0, 0, 612, 792}));
        } else if (k == "Rotate") {
            FPageDict->Add(key, FStructure->NewNumeric(0));
        } else if (k != "Resources") {
            // A box of its own equal to the media box (a separate array, so
            // that changing or purging one box leaves the others alone).
            if (TPDFObject* media = FPageDict->FindValueByKeyName("MediaBox", false))
                FPageDict->Add(key, FStructure->Decode(media->Output()));
        }
    }
}

void TPDFDocument::FixPageResources() {
    if (!FPageTree) return;
    const int32_t count = FPageTree->PageCount();
    for (int32_t p = 1; p <= count; ++p) {
        FPageTree->SetPage(p);
        FPageTree->CloneResources(false);
    }
}

namespace {

void DescribeColorSpace(const std::string& P, TPDFArray* A, std::string& Out, int Depth) {
    if (!A || Depth > 16) return;
    const std::string F = NameOf(A->GetItem(0));
    if (F == "ICCBased") {
        Out += P + "," + F + ",,,0,0,0\r\n";
    } else if (F == "DeviceN") {
        for (int32_t i = 1; i < A->Count(); ++i) {
            TPDFObject* it = Resolved(A->GetItem(i));
            if (auto* names = ObjAs<TPDFArray>(it)) {
                for (TPDFObject* n : names->LiveItems()) {
                    auto* nm = ObjAs<TPDFName>(n);
                    if (nm && nm->Name() != "None")
                        Out += P + "," + F + "," + nm->Name() + ",Colorant,-1,-1,-1,-1\r\n";
                }
            } else if (auto* d = ObjAs<TPDFDictionary>(it)) {
                if (auto* cols = ObjAs<TPDFDictionary>(d->FindValueByKeyName("Colorants", true)))
                    for (const TPDFEntry& e : cols->GetEntries())
                        if (auto* sub = ObjAs<TPDFArray>(Resolved(e.Value)))
                            DescribeColorSpace(P, sub, Out, Depth + 1);
            }
        }
    } else if (F == "Separation" || F == "Indexed") {
        std::string line = P + "," + F + "," + kQ + NameOf(A->GetItem(1)) + kQ + ",";
        TPDFObject* alt = A->GetItem(2);
        if (auto* n = ObjAs<TPDFName>(alt)) line += n->Name();
        else if (auto* a = ObjAs<TPDFArray>(Resolved(alt))) line += NameOf(a->GetItem(0));
        line += ",";
        TPDFObject* fn = Resolved(A->GetItem(3));
        if (auto* d = ObjAs<TPDFDictionary>(fn)) {
            auto* c1 = ObjAs<TPDFArray>(d->FindValueByKeyName("C1", false));
            if (!c1) return;
            auto item = [&](int32_t i) {
                TPDFObject* o = c1->GetItem(i);
                return o ? o->Output() : std::string();
            };
            if (c1->Count() == 1) line += item(0) + ",,,";
            else if (c1->Count() == 3) line += item(0) + "," + item(1) + "," + item(2) + ",";
            else if (c1->Count() == 4)
                line += item(0) + "," + item(1) + "," + item(2) + "," + item(3);
            else return;
            Out += line + "\r\n";
        } else if (ObjAs<TPDFStream>(fn)) {
            Out += line + "-1,-1,-1,-1\r\n";
        }
    }
}

void FindColorSpacesIn(TPDFDictionary* D, std::string& Out, std::unordered_set<const TPDFObject*>& Seen) {
    if (!D || !Seen.insert(D).second) return;
    if (auto* cs = ObjAs<TPDFDictionary>(D->FindValueByKeyName("ColorSpace", true)))
        for (const TPDFEntry& e : cs->GetEntries())
            if (auto* a = ObjAs<TPDFArray>(Resolved(e.Value)))
                DescribeColorSpace(std::string("Resource,") + kQ + e.Key->Name() + kQ, a, Out, 0);
    auto* xo = ObjAs<TPDFDictionary>(D->FindValueByKeyName("XObject", true));
    if (!xo) return;
    for (const TPDFEntry& e : xo->GetEntries()) {
        auto* s = ObjAs<TPDFStream>(Resolved(e.Value));
        if (!s) continue;
        const std::string K = e.Key->Name();
        std::string S = NameOf(s->FDictionary->FindValueByKeyName("Subtype", true));
        if (S.empty()) S = "Unknown";
        if (auto* r = ObjAs<TPDFDictionary>(s->FDictionary->FindValueByKeyName("Resources", true)))
            FindColorSpacesIn(r, Out, Seen);
        const std::string prefix = std::string("XObject,") + kQ + K + kQ;
        auto describe = [&](TPDFStream* st, const std::string& sub) {
            TPDFObject* c = st->FDictionary->FindValueByKeyName("ColorSpace", true);
            if (auto* a = ObjAs<TPDFArray>(c)) DescribeColorSpace(prefix, a, Out, 0);
            else if (auto* n = ObjAs<TPDFName>(c))
                Out += prefix + "," + sub + ",," + kQ + n->Name() + kQ + ",-1,-1,-1,-1\r\n";
        };
        describe(s, S);
        if (auto* m = ObjAs<TPDFStream>(s->FDictionary->FindValueByKeyName("SMask", true)))
            describe(m, S + "SMask");
    }
}

}  // namespace

std::string TPDFPageTree::FindColorSpaces(int32_t) {
    std::string out;
    std::unordered_set<const TPDFObject*> seen;
    FindColorSpacesIn(Resources(), out, seen);
    return out;
}

void TPDFPageTree::RemoveUnsharedResources(int32_t StartPage, int32_t Count) {
    const int32_t pages = PageCount();
    const int32_t last = StartPage + Count - 1;
    // Everything a page that stays can reach (through forms, patterns,
    // annotation appearances, fonts...) is in use. The walk does not enter
    // other page or pages nodes, so links to deleted pages keep nothing.
    std::unordered_set<const TPDFObject*> used;
    std::vector<TPDFObject*> work;
    auto isPageNode = [](TPDFObject* o) {
        auto* d = ObjAs<TPDFDictionary>(o);
        if (!d) return false;
        const std::string t = NameOf(d->FindValueByKeyName("Type", false));
        return t == "Page" || t == "Pages";
    };
    for (int32_t p = 1; p <= pages; ++p) {
        if (p >= StartPage && p <= last) continue;
        TPDFDictionary* page = GetPage(p);
        if (!page || !used.insert(page).second) continue;
        for (const TPDFEntry& e : page->GetEntries())
            if (e.Key && e.Key->Name() != "Parent" && e.Value) work.push_back(e.Value);
        if (TPDFObject* inherited = FindInheritedEntry(page, "Resources")) work.push_back(inherited);
        while (!work.empty()) {
            TPDFObject* o = work.back();
            work.pop_back();
            if (auto* r = ObjAs<TPDFIndRef>(o)) {
                o = r->Obj();
                if (!o) continue;
            }
            if (isPageNode(o) || !used.insert(o).second) continue;
            if (auto* s = ObjAs<TPDFStream>(o)) work.push_back(s->FDictionary);
            else PushContainerChildren(o, work);
        }
    }
    std::vector<TPDFStream*> candidates;
    std::unordered_set<const TPDFObject*> taken;
    static constexpr const char* kCategories[] = {"Font",     "XObject", "Properties",
                                                  "ExtGState", "Shading", "ColorSpace"};
    for (int32_t p = StartPage; p <= last && p <= pages; ++p) {
        if (p < 1) continue;
        SetPage(p);
        if (FPage != p) continue;
        auto* res = ObjAs<TPDFDictionary>(FindInheritedEntry(FPageDict, "Resources")
                                              ? Resolved(FindInheritedEntry(FPageDict, "Resources"))
                                              : nullptr);
        if (!res) continue;
        for (const char* c : kCategories) {
            auto* cat = ObjAs<TPDFDictionary>(res->FindValueByKeyName(c, true));
            if (!cat) continue;
            for (const TPDFEntry& e : cat->GetEntries()) {
                auto* s = ObjAs<TPDFStream>(Resolved(e.Value));
                if (s && !used.count(s) && taken.insert(s).second) candidates.push_back(s);
            }
        }
    }
    for (TPDFStream* s : candidates) {
        try {
            s->SetTo("123", false);
        } catch (...) {
        }
    }
}

}  // namespace velmo
