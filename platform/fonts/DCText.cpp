// Placeholder text layer: measures every unit as half the em wide and draws
// nothing, until the glyph renderer lands.
#include "platform/fonts/DCText.h"

#include <cstring>

namespace velmo {

namespace {
int EmOf(HDC Dc) {
    LOGFONTW L;
    if (!GetFontObject(GetCurrentObject(Dc, OBJ_FONT), L) || L.lfHeight == 0) return 16;
    return L.lfHeight < 0 ? -L.lfHeight : L.lfHeight;
}
int Len16(const char16_t* T, int Count) {
    if (!T) return 0;
    if (Count >= 0) return Count;
    int N = 0;
    while (T[N]) ++N;
    return N;
}
}  // namespace

UINT SetTextAlign(HDC, UINT) { return 0; }
UINT GetTextAlign(HDC) { return 0; }
BOOL ExtTextOutW(HDC, int, int, UINT, const RECT*, const char16_t*, UINT, const int*) { return 1; }
BOOL TextOutW(HDC, int, int, const char16_t*, int) { return 1; }
BOOL TextOutA(HDC, int, int, const char*, int) { return 1; }
BOOL GetTextExtentPoint32W(HDC Dc, const char16_t*, int Count, SIZE* Size) {
    if (!Size || Count < 0) return 0;
    const int Em = EmOf(Dc);
    Size->cx = Count * Em / 2;
    Size->cy = Em;
    return 1;
}
BOOL GetTextExtentPoint32A(HDC Dc, const char* Text, int Count, SIZE* Size) {
    return GetTextExtentPoint32W(Dc, nullptr, Text ? Count : 0, Size);
}
BOOL GetTextMetricsW(HDC Dc, TEXTMETRICW* M) {
    if (!M) return 0;
    const int Em = EmOf(Dc);
    *M = TEXTMETRICW{};
    M->tmHeight = Em;
    M->tmAscent = Em * 4 / 5;
    M->tmDescent = Em - M->tmAscent;
    M->tmAveCharWidth = Em / 2;
    M->tmMaxCharWidth = Em;
    M->tmWeight = FW_NORMAL;
    return 1;
}
int GetTextFaceW(HDC, int, char16_t*) { return 0; }
int DrawTextW(HDC Dc, const char16_t* Text, int Count, RECT* Rect, UINT Format) {
    if (!Rect) return 0;
    SIZE S;
    GetTextExtentPoint32W(Dc, Text, Len16(Text, Count), &S);
    if (Format & DT_CALCRECT) {
        Rect->right = Rect->left + S.cx;
        Rect->bottom = Rect->top + S.cy;
    }
    return S.cy;
}
int DrawTextA(HDC Dc, const char* Text, int Count, RECT* Rect, UINT Format) {
    const int N = Text ? (Count >= 0 ? Count : int(std::strlen(Text))) : 0;
    std::u16string W(size_t(N), u' ');
    return DrawTextW(Dc, W.c_str(), N, Rect, Format);
}

}  // namespace velmo
