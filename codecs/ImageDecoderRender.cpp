// The image branch of the renderer's Do: image XObjects are decoded once per
// document object and kept in the renderer's image cache, then drawn on the
// device canvas through the current device matrix. Inline images are read
// from the content, decoded and drawn the same way.
#include <algorithm>
#include <memory>

#include "codecs/ImageDecoder.h"
#include "render/Picasso.h"

namespace velmo {

void InstallImageDrawer() {
    ImageXObjectDrawer() = [](TPDFRenderer& R, TPDFStream* Image, TPDFIndRef* Ref,
                              TPDFPicasso* Picasso, const TPDFXForm& Mat, TColor FillColor) {
        if (!Image || !Picasso) return;
        const TPDFStructure* Owner = Image->Owner();
        if (Ref) {
            if (auto* Cached = dynamic_cast<TPDFImageDecoder*>(
                    R.FindCachedImage(Owner, Ref->ObjNum, Ref->GenNum))) {
                Cached->Draw(*Picasso, Mat, FillColor);
                return;
            }
        }
        auto Dec = std::make_unique<TPDFImageDecoder>();
        Dec->SetColorManager(R.ColorManager());
        Dec->FOnFindObject = [&R](TPDFIndRef* X) { return R.FindObject(X); };
        Dec->LoadFromPDFStream(Image);
        // A failed load is not kept: the next Do of the object tries again.
        if (Dec->LoadException()) return;
        Dec->Draw(*Picasso, Mat, FillColor);
        if (!Ref) return;
        TPDFDecodedImage Entry;
        Entry.Structure = Owner;
        Entry.Hash = int64_t(uint64_t(uint32_t(Ref->ObjNum)) << 32) + Ref->GenNum;
        Entry.ID = std::move(Dec);
        // The bound is checked before an image joins: a full cache (more
        // than 100 images or 100 MB) is emptied, then the new one kept.
        R.TrimImageCache();
        R.ImageCollection().push_back(std::move(Entry));
    };
    InlineImageDrawer() = [](TPDFRenderer& R, std::string_view Content, size_t& Pos,
                             TPDFDictionary* Resources, TPDFPicasso* Picasso, const TPDFXForm& Mat,
                             TColor FillColor) {
        TPDFInlineImage Img;
        int64_t P = int64_t(Pos) + 1;
        const TPDFFindObjectEvent Find = [&R](TPDFIndRef* X) { return R.FindObject(X); };
        if (!ParseInlineImage(Content, P, Img, Find, Resources)) return false;
        Pos = size_t(std::clamp<int64_t>(P - 1, int64_t(Pos), int64_t(Content.size())));
        if (!Picasso) return true;
        TPDFImageDecoder Dec;
        Dec.SetColorManager(R.ColorManager());
        Dec.FOnFindObject = Find;
        Dec.LoadFromInlineImage(Img, nullptr);
        if (!Dec.LoadException()) Dec.Draw(*Picasso, Mat, FillColor);
        return true;
    };
}

}  // namespace velmo
