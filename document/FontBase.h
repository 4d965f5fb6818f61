// What the document, its save and its page tree need of a font resource: the
// resource name and the font dictionary's reference (registered in page
// /Font resources), and the subset update that a save runs for every font.
// The fonts subsystem derives its font class from this one.
#pragma once

#include <string>

#include "core/Objects.h"

namespace velmo {

class TPDFFontBase : public TObject {
public:
    std::string FName;
    TPDFIndRef* FIndRef = nullptr;
    int32_t FCompress = 0;

    // Rebuilds the embedded subset from the characters used so far; fonts
    // that are not subsets have nothing to do.
    virtual void UpdateSubset() {}
};

}  // namespace velmo
