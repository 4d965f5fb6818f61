// The document's font list as the save and the page tree use it.
#include <algorithm>

#include "document/Document.h"
#include "document/FontBase.h"

namespace velmo {

bool TPDFDocument::IsFont(const TObject* Font) const {
    return Font && std::any_of(FFonts.begin(), FFonts.end(),
                               [Font](const auto& F) { return F.get() == Font; });
}

bool TPDFDocument::FontExists(int32_t ObjNum, int32_t GenNum) const {
    for (const auto& f : FFonts) {
        const auto* font = dynamic_cast<const TPDFFontBase*>(f.get());
        if (font && font->FIndRef && font->FIndRef->ObjNum == ObjNum &&
            font->FIndRef->GenNum == GenNum)
            return true;
    }
    return false;
}

void TPDFDocument::UpdateFontSubsets() {
    for (const auto& f : FFonts)
        if (auto* font = dynamic_cast<TPDFFontBase*>(f.get())) font->UpdateSubset();
}

void TPDFDocument::SetNoEmbedFontList(const std::vector<std::string>& FontList) {
    FNoEmbedFontList = FontList;
}

}  // namespace velmo
