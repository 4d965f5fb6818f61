// The base encodings of simple fonts as 256 glyph names.
#pragma once

#include "core/Glyphs.h"

namespace velmo {

class TPDFArray;

enum TPDFEncodingVector {
    peStandard,
    peMacRoman,
    peWinAnsi,
    pePDFDoc,
    peMacExpertEncoding,
    peSymbol,
    peIdentityH
};

// The glyph names of the 256 codes of an encoding; codes without a glyph get
// ".notdef", except the WinAnsi and MacRoman defaults ("bullet", "space",
// "hyphen"). peSymbol leaves codes without a glyph empty.
void GetEncodingGlyphNames(TPDFEncodingVector Vector, TPDFCharsetNames& Names);
// For peSymbol, "U+XXXX" at each code of a Symbol glyph; every other name empty.
void GetEncodingUnicodeNames(TPDFEncodingVector Vector, TPDFCharsetNames& Names);

// Applies a /Differences array: a number sets the running code (from 0), a
// name is stored at the running code when that is 0..255 and the code
// advances by one; other items, references included, are passed over.
void ApplyDifferences(TPDFCharsetNames& Names, const TPDFArray* Differences);

}  // namespace velmo
