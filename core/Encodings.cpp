#include "core/Encodings.h"

#include "core/FontConst.h"

namespace velmo {

void GetEncodingGlyphNames(TPDFEncodingVector Vector, TPDFCharsetNames& Names)
{
    for (auto& n : Names)
        n.clear();
    switch (Vector) {
    case peSymbol:
        for (const TSymbolGlyph& g : SymbolEncodingTable)
            Names[g.Code] = g.Name;
        return;
    case peMacExpertEncoding:
        for (const TMacExpertGlyph& g : MacExpertGlyphs)
            Names[g.Code] = g.Name;
        break;
    case peStandard:
    case peMacRoman:
    case peWinAnsi:
    case pePDFDoc:
        for (const TStandardGlyph& g : StandardLatinCharSet) {
            int code = Vector == peStandard   ? g.Standard
                       : Vector == peMacRoman ? g.MacRoman
                       : Vector == peWinAnsi  ? g.WinAnsi
                                              : g.PDFDoc;
            if (code >= 0 && code <= 255)
                Names[code] = g.Name;
        }
        break;
    default:
        break;
    }
    for (int code = 0; code < 256; ++code) {
        if (!Names[code].empty())
            continue;
        if (Vector == peWinAnsi)
            Names[code] = code < 33     ? ".notdef"
                          : code == 160 ? "space"
                          : code == 173 ? "hyphen"
                                        : "bullet";
        else if (Vector == peMacRoman && code == 202)
            Names[code] = "space";
        else
            Names[code] = ".notdef";
    }
}

void GetEncodingUnicodeNames(TPDFEncodingVector Vector, TPDFCharsetNames& Names)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (auto& n : Names)
        n.clear();
    if (Vector != peSymbol)
        return;
    for (const TSymbolGlyph& g : SymbolEncodingTable) {
        std::string& n = Names[g.Code];
        n = "U+";
        for (int shift = 12; shift >= 0; shift -= 4)
            n += kHex[(g.Unicode >> shift) & 0xF];
    }
}

} // namespace velmo
