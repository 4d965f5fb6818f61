#include "render/LibraryBindings.h"

namespace velmo {

TCairoDLL::~TCairoDLL() {
    if (DLLHandle != nullptr) FreeLibrary(DLLHandle);
}

bool TCairoDLL::Attach(const std::u16string&) { return false; }

cairo_operator_t TCairoDLL::GetBlendMode(TPDFBlendMode PDFBlendMode) {
    if (PDFBlendMode == bmNormal || PDFBlendMode > bmLuminosity) return CAIRO_OPERATOR_OVER;
    return static_cast<cairo_operator_t>(int(PDFBlendMode) + 13);
}

TKorbexPDFLibraryKPLR::~TKorbexPDFLibraryKPLR() {
    if (DLLHandle != nullptr) FreeLibrary(DLLHandle);
}

bool TKorbexPDFLibraryKPLR::Attach(const std::u16string&) { return false; }

int32_t TKorbexPDFLibraryKPLR::GetBlendMode(TPDFBlendMode PDFBlendMode) {
    return PDFBlendMode <= bmLuminosity ? int32_t(PDFBlendMode) : 0;
}

}  // namespace velmo
