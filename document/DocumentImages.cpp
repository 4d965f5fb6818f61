// The document's images: naming and building new image objects through the
// content writer's image class, keeping them, and finding the images of a
// loaded document.
#include <algorithm>
#include <unordered_set>

#include "core/StringHelpers.h"
#include "document/Document.h"
#include "document/ImageBase.h"
#include "document/IndObj.h"
#include "document/PageTree.h"

namespace velmo {

namespace {

std::unique_ptr<TPDFImageBase> MakeImage(TPDFDocument& Doc) {
    const auto& factory = ImageFactory();
    if (!factory) return nullptr;
    return factory(Doc.Structure(), "VelmoPDFIm" + NewUniqueID(), &Doc.FIncludedFonts);
}

template <class List>
auto FindIn(List& L, const TObject* O) {
    return std::find_if(L.begin(), L.end(), [O](const auto& P) { return P.get() == O; });
}

// Image XObjects reachable from resource dictionaries, each reference once,
// in the order met. Forms and patterns are searched once each, however
// often and however circularly they are reached.
class TImageSearch {
public:
    explicit TImageSearch(TPDFStructure* S) : FStructure(S) {}

    std::vector<TPDFIndRef*> Found;

    void SearchResources(TPDFObject* ResourcesValue, int Depth) {
        auto* res = ObjAs<TPDFDictionary>(Follow(ResourcesValue));
        if (!res || Depth > kMaxDepth) return;
        if (auto* xobjects = ObjAs<TPDFDictionary>(res->FindValueByKeyName("XObject", true))) {
            for (const TPDFEntry& e : xobjects->GetEntries()) {
                auto* ref = ObjAs<TPDFIndRef>(e.Value);
                auto* stream = ref ? ObjAs<TPDFStream>(ref->Obj()) : nullptr;
                if (!stream || !stream->Dictionary()) continue;
                const std::string subtype = stream->Dictionary()->StringValue("Subtype");
                if (subtype == "Image") {
                    if (FSeenRefs.insert(ref->Output()).second) Found.push_back(ref);
                } else if (subtype == "Form") {
                    // Searched by the stream itself, so that forms read from
                    // a file are searched too.
                    if (FVisited.insert(stream).second)
                        SearchResources(stream->Dictionary()->FindValueByKeyName("Resources", true),
                                        Depth + 1);
                }
            }
        }
        if (auto* patterns = ObjAs<TPDFDictionary>(res->FindValueByKeyName("Pattern", true))) {
            for (const TPDFEntry& e : patterns->GetEntries()) {
                auto* ref = ObjAs<TPDFIndRef>(e.Value);
                auto* stream = ref ? ObjAs<TPDFStream>(ref->Obj()) : nullptr;
                if (!stream || !stream->Dictionary() ||
                    stream->Dictionary()->DictType() != "Pattern")
                    continue;
                if (FVisited.insert(stream).second)
                    SearchResources(stream->Dictionary()->FindValueByKeyName("Resources", true),
                                    Depth + 1);
            }
        }
    }

private:
    static constexpr int kMaxDepth = 100;
    static TPDFObject* Follow(TPDFObject* O) {
        if (auto* r = ObjAs<TPDFIndRef>(O)) return r->Obj();
        return O;
    }
    TPDFStructure* FStructure;
    std::unordered_set<std::string> FSeenRefs;
    std::unordered_set<const TPDFObject*> FVisited;
};

}  // namespace

TPDFImageBase* TPDFDocument::NewImageFromStream(TStream& InStream, int32_t Options,
                                                int32_t Compress) {
    std::unique_ptr<TPDFImageBase> img = MakeImage(*this);
    if (!img) return nullptr;
    img->FCompress = Compress;
    img->FCompressFonts = FCompressFonts == 1;
    if (Options == 2) img->FRecompressImage = true;
    if (FUseExistingFonts == 1)
        FIncludedFonts.insert(FIncludedFonts.end(), FLastImageFontList.begin(),
                              FLastImageFontList.end());
    for (const std::string& name : FNoEmbedFontList)
        img->FNoEmbedFontList += "<VPLNoEmbedFont>" + name + "</VPLNoEmbedFont>";
    if (!img->NewImageFromStream(InStream, Options)) return nullptr;
    TPDFImageBase* result = img.get();
    FImages.push_back(std::move(img));
    FLastImageFontList.clear();
    std::unordered_set<const TObject*> held;
    for (const auto& f : FFonts) held.insert(f.get());
    for (TObject* font : FIncludedFonts) {
        // Fonts a conversion made pass to the document's own list.
        if (font && held.insert(font).second) FFonts.emplace_back(font);
        FLastImageFontList.push_back(font);
    }
    return result;
}

TPDFImageBase* TPDFDocument::NewImageDirectFromString(
    const std::string& Source, int32_t Width, int32_t Height, int32_t BitsPerComponent,
    const std::u16string& ColorSpace, const std::u16string& Filter, const std::u16string& Decode,
    bool Interpolate) {
    std::unique_ptr<TPDFImageBase> img = MakeImage(*this);
    if (!img || !img->NewImageDirectFromString(Source, Width, Height, BitsPerComponent, ColorSpace,
                                               Filter, Decode, Interpolate))
        return nullptr;
    TPDFImageBase* result = img.get();
    FImages.push_back(std::move(img));
    return result;
}

void TPDFDocument::AddImageFromStream(TPDFStream* ImageStream, int32_t ObjNum, int32_t GenNum,
                                      bool FullConvert) {
    if (!ImageStream || !ImageStream->Dictionary()) return;
    std::unique_ptr<TPDFImageBase> img = MakeImage(*this);
    if (!img) return;
    TPDFDictionary* d = ImageStream->Dictionary();
    const int32_t width = d->IntValue("Width", 0), height = d->IntValue("Height", 0);
    // The native data of a DCT image is its stream; other images are
    // described by their dictionary only until the image decoder exists.
    std::string filter;
    TPDFObject* f = d->FindValueByKeyName("Filter", true);
    if (auto* n = ObjAs<TPDFName>(f)) filter = n->Name();
    if (auto* a = ObjAs<TPDFArray>(f))
        if (auto* n = ObjAs<TPDFName>(a->GetItem(a->Count() - 1))) filter = n->Name();
    if (filter == "DCTDecode" && !FullConvert) {
        img->FImageType = itJPEG;
        img->FImageData = ImageStream->Stream();
    } else {
        img->FImageType = itBMP;
    }
    img->Populate(ObjNum, GenNum, width, height);
    FImages.push_back(std::move(img));
}

int32_t TPDFDocument::FindImagesMode1(bool FullConvert) {
    TImageSearch search(FStructure.get());
    const int32_t pages = FPageTree ? FPageTree->PageCount() : 0;
    for (int32_t p = 1; p <= pages; ++p) {
        TPDFDictionary* page = FPageTree->GetPage(p);
        if (!page) continue;
        search.SearchResources(page->FindValueByKeyName("Resources", true), 0);
        auto* annots = ObjAs<TPDFArray>(page->FindValueByKeyName("Annots", true));
        if (!annots) continue;
        for (int32_t i = 0; i < annots->Count(); ++i) {
            auto* ref = ObjAs<TPDFIndRef>(annots->GetItem(i));
            auto* annot = ref ? ObjAs<TPDFDictionary>(ref->Obj()) : nullptr;
            if (!annot) continue;
            auto* ap = ObjAs<TPDFDictionary>(annot->FindValueByKeyName("AP", true));
            auto* normal = ap ? ObjAs<TPDFStream>(ap->FindValueByKeyName("N", true)) : nullptr;
            if (normal && normal->Dictionary())
                search.SearchResources(normal->Dictionary()->FindValueByKeyName("Resources", true),
                                       0);
        }
    }
    int32_t count = 0;
    for (TPDFIndRef* ref : search.Found) {
        if (auto* stream = ObjAs<TPDFStream>(ref->Obj())) {
            AddImageFromStream(stream, ref->ObjNum, ref->GenNum, FullConvert);
            ++count;
        }
    }
    return count;
}

int32_t TPDFDocument::FindImagesMode2(bool FullConvert) {
    int32_t count = 0;
    for (int32_t i = 0; i < GetObjCount(); ++i) {
        TPDFIndObj* entry = IndObj(i);
        auto* stream = entry ? ObjAs<TPDFStream>(entry->Obj()) : nullptr;
        if (!stream || !stream->Dictionary()) continue;
        const std::string type = stream->Dictionary()->DictType();
        if ((type.empty() || type == "XObject") &&
            ObjAs<TPDFName>(stream->Dictionary()->FindValueByKeyName("Subtype", true)) &&
            stream->Dictionary()->StringValue("Subtype") == "Image") {
            AddImageFromStream(stream, entry->ObjNum(), entry->GenNum(), FullConvert);
            ++count;
        }
    }
    return count;
}

TPDFImageBase* TPDFDocument::Image(int32_t Index) const {
    if (Index < 0 || Index >= ImageCount()) return nullptr;
    return static_cast<TPDFImageBase*>(FImages[size_t(Index)].get());
}

bool TPDFDocument::IsImage(const TObject* AImage) const {
    return AImage && FindIn(FImages, AImage) != FImages.end();
}

bool TPDFDocument::IsImageList(const TObject* ImageList) const {
    return ImageList && FindIn(FImageLists, ImageList) != FImageLists.end();
}

bool TPDFDocument::IsTextList(const TObject* TextList) const {
    return TextList && FindIn(FTextLists, TextList) != FTextLists.end();
}

namespace {
bool Release(TPDFOwnedList& L, const TObject* O) {
    if (!O) return false;
    auto it = FindIn(L, O);
    if (it == L.end()) return false;
    L.erase(it);
    return true;
}
}  // namespace

bool TPDFDocument::ReleaseImage(const TObject* AImage) { return Release(FImages, AImage); }
bool TPDFDocument::ReleaseImageList(const TObject* ImageList) {
    return Release(FImageLists, ImageList);
}
bool TPDFDocument::ReleaseTextList(const TObject* TextList) {
    return Release(FTextLists, TextList);
}

}  // namespace velmo
