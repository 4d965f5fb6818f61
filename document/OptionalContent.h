// Optional content groups (layers) of a document: which groups one render or
// print pass shows, and the flattened presentation order of a configuration.
// The operations themselves are methods of TPDFDocument.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Objects.h"

namespace velmo {

// One group and whether a pass shows it. OCGIndRef belongs to the document;
// a nil reference (an /OCGs element that is no reference) matches no content.
struct TVPLOCGState {
    TPDFIndRef* OCGIndRef = nullptr;
    bool Show = true;
};
// Content of a group without an entry is drawn.
using TVPLOCGStateList = std::vector<TVPLOCGState>;

// One item of a configuration's /Order array, for a layer panel.
struct TPDFOCGConfigOrderItem {
    int32_t ItemType = 0;           // 0 other, 1 group, 2 label
    TPDFIndRef* ItemOCG = nullptr;  // groups only
    std::u16string ItemLabel;       // the group's name or the label text
    int32_t ItemLevel = 1;          // 1 for the top level
};
using TPDFOCGConfigOrderItems = std::vector<TPDFOCGConfigOrderItem>;

// True when List does not hide the group: every entry with the same object
// and generation number must show it (a group without an entry is shown).
bool OCGShown(const TPDFIndRef* OCGRef, const TVPLOCGStateList& List);

// Visibility of content tied to a membership dictionary (/Type /OCMD) under
// List: its /OCGs (one reference or an array; references to dictionaries
// count) weighed by its policy /P (AllOn, AnyOn, AllOff, AnyOff; AnyOn when
// absent, hidden for any other name). AllOn and AllOff hold for no groups,
// AnyOn and AnyOff do not. Visibility expressions are not read.
bool OCMDVisible(TPDFDictionary* OCMD, const TVPLOCGStateList& List);

}  // namespace velmo
