#include "core/Encodings.h"

#include "core/FontConst.h"
#include "core/Objects.h"

namespace velmo {

void GetEncodingGlyphNames(TPDFEncodingVector Vector, TPDFCharsetNames& Names) {
    for (auto& n : Names) n.clear();
    switch (Vector) {
        case peSymbol:
            for (const TSymbolGlyph& g : SymbolEncodingTable) Names[g.Code] = g.Name;
            return;
        case peMacExpertEncoding:
            for (const TMacExpertGlyph& g : MacExpertGlyphs) Names[g.Code] = g.Name;
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
                if (code >= 0 && code <= 255) Names[code] = g.Name;
            }
            break;
        default:
            break;
    }
    for (int code = 0; code < 256; ++code) {
        if (!Names[code].empty()) continue;
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

void GetEncodingUnicodeNames(TPDFEncodingVector Vector, TPDFCharsetNames& Names) {
    static const char kHex[] = "0123456789ABCDEF";
    for (auto& n : Names) n.clear();
    if (Vector != peSymbol) return;
    for (const TSymbolGlyph& g : SymbolEncodingTable) {
        std::string& n = Names[g.Code];
        n = "U+";
        for (int shift = 12; shift >= 0; shift -= 4) n += kHex[(g.Unicode >> shift) & 0xF];
    }
}

void ApplyDifferences(TPDFCharsetNames& Names, const TPDFArray* Differences) {
    if (!Differences) return;
    std::int64_t code = 0;  // 64 bits: advancing past the 32-bit range must not wrap
    for (std::int32_t i = 0; i < Differences->Count(); ++i) {
        const TPDFObject* item = Differences->GetItem(i);
        if (!item) continue;
        if (item->SpyType == TPDFNumeric::Tag) {
            code = static_cast<const TPDFNumeric*>(item)->AsInteger();
        } else if (item->SpyType == TPDFName::Tag) {
            if (code >= 0 && code <= 255)
                Names[static_cast<std::size_t>(code)] = static_cast<const TPDFName*>(item)->Name();
            ++code;
        }
    }
}

}  // namespace velmo
