// The image branch of the renderer's Do: image XObjects are decoded once per
// document object and kept in the renderer's image cache, then drawn on the
// device canvas through the current device matrix.
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
        R.ImageCollection().push_back(std::move(Entry));
        R.TrimImageCache();
    };
}

}  // namespace velmo
