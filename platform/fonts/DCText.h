// Text on device contexts: the selected font object resolved to an
// installed face, grey anti-aliased glyphs drawn in the text colour, extents
// and metrics, and the formatted-text call the window layer and its
// controls paint with. Characters the face lacks come from a fallback face
// chosen per face and Unicode block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gdi/DC.h"

namespace velmo {

struct SIZE {
    int32_t cx = 0;
    int32_t cy = 0;
};

struct TEXTMETRICW {
    int32_t tmHeight = 0;
    int32_t tmAscent = 0;
    int32_t tmDescent = 0;
    int32_t tmInternalLeading = 0;
    int32_t tmExternalLeading = 0;
    int32_t tmAveCharWidth = 0;
    int32_t tmMaxCharWidth = 0;
    int32_t tmWeight = 0;
    int32_t tmOverhang = 0;
    int32_t tmDigitizedAspectX = 96;
    int32_t tmDigitizedAspectY = 96;
    char16_t tmFirstChar = 0x20;
    char16_t tmLastChar = 0xFFFD;
    char16_t tmDefaultChar = 0x20;
    char16_t tmBreakChar = 0x20;
    uint8_t tmItalic = 0;
    uint8_t tmUnderlined = 0;
    uint8_t tmStruckOut = 0;
    uint8_t tmPitchAndFamily = 0;
    uint8_t tmCharSet = 1;
};

// ExtTextOutW options.
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;

// The text alignment (TA_*, SetTextAlign) is a DC setting: see DC.h.

// Draws Count UTF-16 units at (X, Y) (the alignment's reference point).
// ETO_OPAQUE fills Rect with the background colour first, ETO_CLIPPED clips
// the text to Rect; Dx, when given, holds each character's advance. An
// OPAQUE background mode fills the text's cell.
BOOL ExtTextOutW(HDC Dc, int X, int Y, UINT Options, const RECT* Rect, const char16_t* Text,
                 UINT Count, const int* Dx);
BOOL TextOutW(HDC Dc, int X, int Y, const char16_t* Text, int Count);
// Windows-1252 text.
BOOL TextOutA(HDC Dc, int X, int Y, const char* Text, int Count);

// The advance width and cell height of the text in the selected font.
BOOL GetTextExtentPoint32W(HDC Dc, const char16_t* Text, int Count, SIZE* Size);
BOOL GetTextExtentPoint32A(HDC Dc, const char* Text, int Count, SIZE* Size);
BOOL GetTextMetricsW(HDC Dc, TEXTMETRICW* Metrics);
// The face name of the selected font (what it resolved to when the
// requested face is not installed); returns the units copied.
// With a null Name, returns the units the name needs with its terminator.
int GetTextFaceW(HDC Dc, int Count, char16_t* Name);

// The installed file and face index the selected font's text is drawn
// with: its own face for Char 0, else the face that gives Char's glyph (the
// fallback face when the font's own lacks it). False when none has it.
bool GetTextFontFile(HDC Dc, char32_t Char, std::string& File, int& FaceIndex);

// DrawTextW formats.
constexpr UINT DT_TOP = 0x00000000;
constexpr UINT DT_LEFT = 0x00000000;
constexpr UINT DT_CENTER = 0x00000001;
constexpr UINT DT_RIGHT = 0x00000002;
constexpr UINT DT_VCENTER = 0x00000004;
constexpr UINT DT_BOTTOM = 0x00000008;
constexpr UINT DT_WORDBREAK = 0x00000010;
constexpr UINT DT_SINGLELINE = 0x00000020;
constexpr UINT DT_EXPANDTABS = 0x00000040;
constexpr UINT DT_TABSTOP = 0x00000080;
constexpr UINT DT_NOCLIP = 0x00000100;
constexpr UINT DT_EXTERNALLEADING = 0x00000200;
constexpr UINT DT_CALCRECT = 0x00000400;
constexpr UINT DT_NOPREFIX = 0x00000800;
constexpr UINT DT_INTERNAL = 0x00001000;
constexpr UINT DT_EDITCONTROL = 0x00002000;
constexpr UINT DT_PATH_ELLIPSIS = 0x00004000;
constexpr UINT DT_END_ELLIPSIS = 0x00008000;
constexpr UINT DT_MODIFYSTRING = 0x00010000;
constexpr UINT DT_RTLREADING = 0x00020000;
constexpr UINT DT_WORD_ELLIPSIS = 0x00040000;
constexpr UINT DT_NOFULLWIDTHCHARBREAK = 0x00080000;
constexpr UINT DT_HIDEPREFIX = 0x00100000;
constexpr UINT DT_PREFIXONLY = 0x00200000;

// Formats and draws Count units (−1: up to a terminating 0) inside Rect;
// returns the text's height, 0 on failure. DT_CALCRECT measures instead and
// sets Rect's right and bottom.
//
// Lines break at CR, LF and CR LF unless DT_SINGLELINE. DT_WORDBREAK breaks
// after blanks and between wide (CJK) characters; a word still too wide is
// cut between characters, unless an ellipsis flag asks to shorten it
// instead. The ellipsis flags shorten each line wider than Rect with "...":
// at its end (DT_END_ELLIPSIS), at the end of its last whole word
// (DT_WORD_ELLIPSIS) or before its last path component (DT_PATH_ELLIPSIS).
// "&x" underlines x and "&&" is one "&", unless DT_NOPREFIX; DT_HIDEPREFIX
// leaves the underline out, DT_PREFIXONLY draws only it. DT_EXPANDTABS
// expands tabs to stops of 8 average widths (DT_TABSTOP: bits 8-15 of
// Format give the number of widths). Text is clipped to Rect unless
// DT_NOCLIP. DT_VCENTER and DT_BOTTOM apply to single lines. An empty text
// measures 0 × 0 and returns 0.
int DrawTextW(HDC Dc, const char16_t* Text, int Count, RECT* Rect, UINT Format);
// With a writable buffer and DT_MODIFYSTRING, the text of the first line
// an ellipsis shortened is written back, never beyond the Count units given
// (the terminator only when it fits within them).
int DrawTextW(HDC Dc, char16_t* Text, int Count, RECT* Rect, UINT Format);
// Windows-1252 text; the same result as DrawTextW on the converted text.
int DrawTextA(HDC Dc, const char* Text, int Count, RECT* Rect, UINT Format);
int DrawTextA(HDC Dc, char* Text, int Count, RECT* Rect, UINT Format);
inline int DrawTextW(HDC Dc, std::nullptr_t, int Count, RECT* Rect, UINT Format) {
    return DrawTextW(Dc, static_cast<const char16_t*>(nullptr), Count, Rect, Format);
}
inline int DrawTextA(HDC Dc, std::nullptr_t, int Count, RECT* Rect, UINT Format) {
    return DrawTextA(Dc, static_cast<const char*>(nullptr), Count, Rect, Format);
}

}  // namespace velmo
