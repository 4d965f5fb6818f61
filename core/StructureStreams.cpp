// Stream factories of the store. They set the data through the stream's own
// setters, which live with the filter chain.
#include "core/Structure.h"

namespace velmo {

TPDFStream* TPDFStructure::NewStream(std::string Value, bool Compress) {
    auto O = std::make_unique<TPDFStream>(this);
    AddObject(O.get());
    TPDFStream* S = O.release();
    S->SetTo(std::move(Value), Compress);
    return S;
}

TPDFStream* TPDFStructure::NewStream(std::span<const uint8_t> Value, bool Compress) {
    return NewStream(std::string(reinterpret_cast<const char*>(Value.data()), Value.size()),
                     Compress);
}

TPDFStream* TPDFStructure::NewTextStream(std::u16string_view Value, bool Compress) {
    auto O = std::make_unique<TPDFStream>(this);
    AddObject(O.get());
    TPDFStream* S = O.release();
    S->SetToTextString(Value, Compress);
    return S;
}

}  // namespace velmo
