// Installed faces standing in for fonts of a document whose program is not
// embedded: Latin names normalised and matched against the installed
// families, and CJK fonts given one of a few Japanese, Chinese or Korean
// faces with a CID-to-Unicode table chosen by their CMap.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/NumberLists.h"
#include "fonts/CMapResources.h"
#include "platform/fonts/PlatformFonts.h"

namespace velmo {

// The row (1 … 14) of the standard font table a name belongs to, 0 when
// none; when several rows accept it the last wins.
int StandardFontRow(std::string_view Name);
// The name row Row stands for ("Arial,Bold"); empty outside 1 … 14.
std::string StandardFontName(int Row);

// Sets Font's family and style from a font's BaseFont and descriptor flags:
// the subset tag and "MT" dropped, standard names mapped, style suffixes
// read, then the installed families searched; without a match a family by
// the flags (serif, fixed pitch, italic).
void MatchSystemFont(platform::TPlatformFont& Font, std::string_view BaseFont, int32_t Flags);

// The CMap and CID-to-Unicode table of a CJK font by its encoding name and
// character collection, and the platform character set that goes with them
// (128, 134, 129, 136, or 0 without a table).
struct TCIDTableChoice {
    int CMapId = -1;
    const TVPLWordPairList* Table = nullptr;  // shared, never owned
    int CharSet = 0;
};
TCIDTableChoice SelectCIDToUnicodeTable(TPDFCMapResources& CMaps, std::string_view Encoding,
                                        std::string_view CIDSystemInfo);

// The CJK face for a font without a program, by its name, then Panose, then
// flags. Charset may be forced (a BaseFont of "MS-Mincho" takes 128).
std::string ChooseCJKFace(std::string_view BaseFont, std::string_view Panose, int32_t Flags,
                          bool TrueTypeFlavour, int& Charset);

// Sets Font to an installed face for Face in character set Charset: the face
// itself when installed, its native name, or the Latin match.
void SetupCJKSystemFont(platform::TPlatformFont& Font, std::string_view BaseFont, int Charset,
                        std::string_view Face);

}  // namespace velmo
