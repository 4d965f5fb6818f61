// Edges, frames, focus rectangles, inversion and the check-mark glyph, all
// built on the DC's fills and blits, in the system colours.
#include <algorithm>
#include <atomic>

#include "platform/gdi/DC.h"

namespace velmo {

namespace {

// Indices of the system colour table the painters use.
constexpr int SysWindow = 5;
constexpr int SysWindowFrame = 6;
constexpr int SysBtnFace = 15;
constexpr int SysBtnShadow = 16;
constexpr int SysBtnHighlight = 20;
constexpr int Sys3dDkShadow = 21;
constexpr int Sys3dLight = 22;

std::atomic<COLORREF (*)(int)> SysColorSource{nullptr};

// Fills a rectangle in one colour with a brush made for the call.
bool FillColour(HDC Dc, const RECT& Rc, COLORREF Colour) {
    if (Rc.right <= Rc.left || Rc.bottom <= Rc.top) return true;
    HBRUSH Brush = CreateSolidBrush(Colour);
    const bool Ok = FillRect(Dc, &Rc, Brush) != 0;
    DeleteObject(Brush);
    return Ok;
}

// One line of an edge: its top-left and bottom-right colours.
struct TEdgeLine {
    COLORREF TopLeft, BottomRight;
};

// The colours of the outer (Outer true) or inner line for the edge bits of
// that line, or false when the line is absent.
bool EdgeColours(UINT Edge, UINT Flags, bool Outer, TEdgeLine& Out) {
    const UINT Raised = Outer ? BDR_RAISEDOUTER : BDR_RAISEDINNER;
    const UINT Sunken = Outer ? BDR_SUNKENOUTER : BDR_SUNKENINNER;
    if (!(Edge & (Raised | Sunken))) return false;
    if (Flags & BF_MONO) {
        const COLORREF C = GdiSysColor(Outer ? SysWindowFrame : SysWindow);
        Out = {C, C};
        return true;
    }
    if (Flags & BF_FLAT) {
        const COLORREF C = GdiSysColor(Outer ? SysBtnShadow : SysBtnFace);
        Out = {C, C};
        return true;
    }
    const bool Soft = (Flags & BF_SOFT) != 0;
    int Tl, Br;
    if (Edge & Raised) {
        // Outer: light then dark shadow; inner: highlight then shadow.
        // Soft edges swap the two lights.
        Tl = Outer ? (Soft ? SysBtnHighlight : Sys3dLight) : (Soft ? Sys3dLight : SysBtnHighlight);
        Br = Outer ? Sys3dDkShadow : SysBtnShadow;
    } else {
        Tl = Outer ? (Soft ? Sys3dDkShadow : SysBtnShadow) : (Soft ? SysBtnShadow : Sys3dDkShadow);
        Br = Outer ? SysBtnHighlight : Sys3dLight;
    }
    Out = {GdiSysColor(Tl), GdiSysColor(Br)};
    return true;
}

// Draws one line of an edge just inside Rc on the sides Flags names and
// moves those sides in by one. The top and left run first; the bottom and
// right lines then take the corners they share with them.
bool DrawEdgeLine(HDC Dc, RECT& Rc, const TEdgeLine& Line, UINT Flags) {
    bool Ok = true;
    if (Flags & BF_TOP) Ok &= FillColour(Dc, {Rc.left, Rc.top, Rc.right, Rc.top + 1}, Line.TopLeft);
    if (Flags & BF_LEFT) Ok &= FillColour(Dc, {Rc.left, Rc.top, Rc.left + 1, Rc.bottom}, Line.TopLeft);
    if (Flags & BF_BOTTOM)
        Ok &= FillColour(Dc, {Rc.left, Rc.bottom - 1, Rc.right, Rc.bottom}, Line.BottomRight);
    if (Flags & BF_RIGHT)
        Ok &= FillColour(Dc, {Rc.right - 1, Rc.top, Rc.right, Rc.bottom}, Line.BottomRight);
    if (Flags & BF_TOP) ++Rc.top;
    if (Flags & BF_LEFT) ++Rc.left;
    if (Flags & BF_BOTTOM) --Rc.bottom;
    if (Flags & BF_RIGHT) --Rc.right;
    return Ok;
}

// Whether Dc names a live DC (its background mode is never 0).
bool LiveDc(HDC Dc) { return GetBkMode(Dc) != 0; }

}  // namespace

BOOL DrawEdge(HDC Dc, RECT* Rect, UINT Edge, UINT Flags) {
    if (!Rect || !LiveDc(Dc)) return 0;
    RECT Rc = *Rect;
    bool Ok = true;
    TEdgeLine Line;
    if (EdgeColours(Edge, Flags, true, Line)) Ok &= DrawEdgeLine(Dc, Rc, Line, Flags);
    if (EdgeColours(Edge, Flags, false, Line)) Ok &= DrawEdgeLine(Dc, Rc, Line, Flags);
    if (Flags & BF_MIDDLE)
        Ok &= FillColour(Dc, Rc, GdiSysColor(Flags & BF_MONO ? SysWindow : SysBtnFace));
    if (Flags & BF_ADJUST) *Rect = Rc;
    return Ok ? 1 : 0;
}

BOOL DrawFocusRect(HDC Dc, const RECT* Rect) {
    if (!Rect || !LiveDc(Dc)) return 0;
    const LONG L = std::min(Rect->left, Rect->right), R = std::max(Rect->left, Rect->right);
    const LONG T = std::min(Rect->top, Rect->bottom), B = std::max(Rect->top, Rect->bottom);
    if (R <= L || B <= T) return 1;
    // Every other pixel of the frame, on a checkerboard fixed to the logical
    // origin, so that the same rectangle drawn again inverts the same pixels.
    // Each pixel is visited once, however thin the rectangle.
    auto Dot = [&](LONG X, LONG Y) {
        if (((X + Y) & 1) == 0) PatBlt(Dc, X, Y, 1, 1, DSTINVERT);
    };
    for (LONG X = L; X < R; ++X) {
        Dot(X, T);
        if (B - 1 > T) Dot(X, B - 1);
    }
    for (LONG Y = T + 1; Y < B - 1; ++Y) {
        Dot(L, Y);
        if (R - 1 > L) Dot(R - 1, Y);
    }
    return 1;
}

int FrameRect(HDC Dc, const RECT* Rect, HBRUSH Brush) {
    if (!Rect) return 0;
    const RECT& Rc = *Rect;
    if (Rc.right <= Rc.left || Rc.bottom <= Rc.top) return LiveDc(Dc) ? 1 : 0;
    const RECT Sides[4] = {{Rc.left, Rc.top, Rc.right, Rc.top + 1},
                           {Rc.left, Rc.bottom - 1, Rc.right, Rc.bottom},
                           {Rc.left, Rc.top, Rc.left + 1, Rc.bottom},
                           {Rc.right - 1, Rc.top, Rc.right, Rc.bottom}};
    for (const RECT& Side : Sides)
        if (!FillRect(Dc, &Side, Brush)) return 0;
    return 1;
}

BOOL InvertRect(HDC Dc, const RECT* Rect) {
    if (!Rect) return 0;
    return PatBlt(Dc, Rect->left, Rect->top, Rect->right - Rect->left, Rect->bottom - Rect->top,
                  DSTINVERT);
}

TBitmap CheckMarkBitmap() {
    // A tick three pixels thick in the middle of the cell: 0 bits are the
    // mark (drawn in the text colour), 1 bits the background.
    static const char* const Rows[7] = {
        "......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#....",
    };
    TBitmap Glyph(CheckMarkSize, CheckMarkSize, pf1bit);
    for (int Y = 0; Y < CheckMarkSize; ++Y)
        for (int X = 0; X < CheckMarkSize; ++X) Glyph.SetPixel(X, Y, 0xFFFFFF);
    for (int Y = 0; Y < 7; ++Y)
        for (int X = 0; X < 7; ++X)
            if (Rows[Y][X] == '#') Glyph.SetPixel(X + 3, Y + 3, 0x000000);
    return Glyph;
}

COLORREF GdiSysColor(int Index) {
    if (COLORREF (*Source)(int) = SysColorSource.load()) return Source(Index);
    // The classic colours of the entries the painters read.
    switch (Index) {
        case SysWindow:
        case SysBtnHighlight:
            return 0xFFFFFF;
        case SysWindowFrame:
            return 0x000000;
        case SysBtnShadow:
            return 0x808080;
        case Sys3dDkShadow:
            return 0x404040;
        default:
            return 0xC8D0D4;
    }
}

void SetGdiSysColorSource(COLORREF (*Source)(int Index)) { SysColorSource.store(Source); }

}  // namespace velmo
