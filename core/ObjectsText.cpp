// PDF text strings on string objects and the text-string factory.
#include "core/Objects.h"
#include "core/Structure.h"
#include "core/TextStrings.h"

namespace velmo {

std::u16string TPDFString::AsTextString() const { return PDFTextStringToWideString(FValue); }

void TPDFString::SetToTextString(std::u16string_view Value) {
    FValue = WideStringToPDFTextString(Value);
    StringMode = smLiteral;
    FChanged = true;
}

TPDFString* TPDFStructure::NewTextString(std::u16string_view Value) {
    auto O = std::make_unique<TPDFString>(this);
    AddObject(O.get());
    TPDFString* S = O.release();
    S->SetToTextString(Value);
    return S;
}

}  // namespace velmo
