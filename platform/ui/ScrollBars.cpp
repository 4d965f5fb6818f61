// Scroll bars of windows (in the frame) and of the "ScrollBar" control:
// state, geometry, the plain look, GetScrollBarInfo and the tracking loop
// that repeats arrows and pages on a timer and follows a dragged thumb.
#include "platform/ui/ScrollBars.h"

#include <algorithm>
#include <cstdint>

#include "platform/ui/WindowInternal.h"

namespace velmo {

using namespace ui;

namespace ui {

struct TScrollBar {
    int Min = 0;
    int Max = 0;
    UINT Page = 0;
    int Pos = 0;
    int TrackPos = 0;
    UINT Disabled = ESB_ENABLE_BOTH;  // ESB_DISABLE_* bits
    bool Tracking = false;            // the thumb is being dragged
    int Pressed = 0;                  // part held down (rgstate index), 0 none
};

struct TScrollBars {
    TScrollBar Horz{0, 100};
    TScrollBar Vert{0, 100};
    TScrollBar Ctl;
};

}  // namespace ui

namespace {

// Arrows and pages repeat on this timer of the tracked window.
constexpr UINT_PTR kRepeatTimer = 0x7FFFFFF5;
constexpr UINT kFirstRepeat = 400;
constexpr UINT kRepeat = 50;
constexpr int kMinThumb = 8;

TScrollBar* BarOf(HWND Wnd, int Bar) {
    TWindow* W = Find(Wnd);
    if (!W || Bar < SB_HORZ || Bar > SB_CTL) return nullptr;
    if (!W->Scroll) W->Scroll = std::make_shared<TScrollBars>();
    return Bar == SB_HORZ ? &W->Scroll->Horz : Bar == SB_VERT ? &W->Scroll->Vert : &W->Scroll->Ctl;
}

// The highest position the thumb can reach: a page shows Page positions.
int64_t MaxPos(const TScrollBar& S) {
    return S.Page ? std::max<int64_t>(S.Min, int64_t(S.Max) - S.Page + 1) : int64_t(S.Max);
}

// Where a bar lies and how its parts divide it.
struct TGeom {
    RECT Rect;          // in the coordinates of the DC it is painted through
    RECT Screen;        // in screen coordinates
    bool Vertical = false;
    bool Shown = false;   // the window shows this bar
    bool Usable = true;   // neither the window nor both arrows are disabled
    int Length = 0;       // along the bar
    int Arrow = 0;        // arrow length
    int ThumbTop = 0;     // from the bar's start; equal ends: no thumb
    int ThumbBottom = 0;
};

// The frame place of a window's bar, in window coordinates, from the
// metrics the hit test uses too.
RECT WindowBarRect(const TWindow& W, int Bar) {
    TFrameMetrics F = FrameMetricsOf(W.Style, W.ExStyle, W.Menu != nullptr);
    int Wd = W.Rect.right - W.Rect.left, Ht = W.Rect.bottom - W.Rect.top;
    int B = F.Border, E = F.ClientEdge, Row = B + F.Caption + F.Menu;
    RECT Inner{B + E, Row + E, Wd - B - E, Ht - B - E};
    if (Bar == SB_VERT) return {Inner.right - F.VScroll, Inner.top, Inner.right, std::max(Inner.top, Inner.bottom - F.HScroll)};
    return {Inner.left, Inner.bottom - F.HScroll, std::max(Inner.left, Inner.right - F.VScroll), Inner.bottom};
}

void Divide(TGeom& G, const TScrollBar& S) {
    G.Length = G.Vertical ? G.Rect.bottom - G.Rect.top : G.Rect.right - G.Rect.left;
    int Thick = G.Vertical ? G.Rect.right - G.Rect.left : G.Rect.bottom - G.Rect.top;
    int Arrow = G.Vertical ? GetSystemMetrics(SM_CYVSCROLL) : GetSystemMetrics(SM_CXHSCROLL);
    if (Thick > 0 && Thick < Arrow) Arrow = Thick;
    G.Arrow = Arrow;
    G.ThumbTop = G.ThumbBottom = 0;
    if (G.Length < 2 * Arrow) {
        G.Arrow = std::max(0, G.Length / 2);
        return;
    }
    int Track = G.Length - 2 * Arrow;
    int64_t Count = int64_t(S.Max) - S.Min + 1;
    if (!G.Usable || (S.Disabled & ESB_DISABLE_BOTH) == ESB_DISABLE_BOTH || Count <= 1 ||
        (S.Page && int64_t(S.Page) >= Count))
        return;
    int Thumb = S.Page ? int(std::max<int64_t>(kMinThumb, int64_t(Track) * S.Page / Count))
                       : GetSystemMetrics(G.Vertical ? SM_CYVTHUMB : SM_CXHTHUMB);
    if (Thumb > Track) return;
    int64_t Span = MaxPos(S) - S.Min;
    int64_t P = std::clamp<int64_t>(S.Tracking ? S.TrackPos : S.Pos, S.Min, MaxPos(S));
    int Start = Arrow + (Span > 0 ? int(int64_t(Track - Thumb) * (P - S.Min) / Span) : 0);
    G.ThumbTop = Start;
    G.ThumbBottom = Start + Thumb;
}

// Geometry of a bar; for window bars Rect is in window coordinates, for a
// control in its client coordinates.
bool Geometry(HWND Wnd, int Bar, TGeom& G) {
    TWindow* W = Find(Wnd);
    TScrollBar* S = BarOf(Wnd, Bar);
    if (!W || !S) return false;
    G.Usable = !(W->Style & WS_DISABLED);
    RECT Sr = ScreenRect(*W);
    if (Bar == SB_CTL) {
        G.Rect = {0, 0, W->Client.right - W->Client.left, W->Client.bottom - W->Client.top};
        G.Vertical = (W->Style & SBS_VERT) != 0;
        G.Shown = (W->Style & WS_VISIBLE) != 0;
        POINT O = ClientOrigin(*W);
        G.Screen = {O.x, O.y, O.x + G.Rect.right, O.y + G.Rect.bottom};
    } else {
        G.Rect = WindowBarRect(*W, Bar);
        G.Vertical = Bar == SB_VERT;
        G.Shown = (W->Style & (Bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL)) != 0;
        G.Screen = {Sr.left + G.Rect.left, Sr.top + G.Rect.top, Sr.left + G.Rect.right, Sr.top + G.Rect.bottom};
    }
    Divide(G, *S);
    return true;
}

// The part under a screen point (an rgstate index), 0 for none.
int PartAt(const TGeom& G, POINT P) {
    if (P.x < G.Screen.left || P.x >= G.Screen.right || P.y < G.Screen.top || P.y >= G.Screen.bottom) return 0;
    int A = G.Vertical ? P.y - G.Screen.top : P.x - G.Screen.left;
    if (A < G.Arrow) return 1;
    if (A >= G.Length - G.Arrow) return 5;
    if (G.ThumbTop == G.ThumbBottom) return 0;
    if (A < G.ThumbTop) return 2;
    if (A < G.ThumbBottom) return 3;
    return 4;
}

void FillSys(HDC Dc, RECT R, int Color) {
    if (R.right > R.left && R.bottom > R.top) FillRect(Dc, &R, GetSysColorBrush(Color));
}

// A small filled triangle pointing along Dir (0 up, 1 down, 2 left, 3 right).
void Triangle(HDC Dc, const RECT& Box, int Dir, int Color) {
    int Cx = (Box.left + Box.right) / 2, Cy = (Box.top + Box.bottom) / 2;
    int N = std::max(1, std::min(Box.right - Box.left, Box.bottom - Box.top) / 4);
    for (int I = 0; I < N; ++I) {
        switch (Dir) {
        case 0: FillSys(Dc, {Cx - I, Cy - N / 2 + I, Cx + I + 1, Cy - N / 2 + I + 1}, Color); break;
        case 1: FillSys(Dc, {Cx - I, Cy + N / 2 - I, Cx + I + 1, Cy + N / 2 - I + 1}, Color); break;
        case 2: FillSys(Dc, {Cx - N / 2 + I, Cy - I, Cx - N / 2 + I + 1, Cy + I + 1}, Color); break;
        default: FillSys(Dc, {Cx + N / 2 - I, Cy - I, Cx + N / 2 - I + 1, Cy + I + 1}, Color); break;
        }
    }
}

void PaintBar(HDC Dc, const TGeom& G, const TScrollBar& S, HBRUSH Track) {
    const RECT& R = G.Rect;
    if (R.right <= R.left || R.bottom <= R.top) return;
    auto Along = [&](int From, int To) {
        return G.Vertical ? RECT{R.left, R.top + From, R.right, R.top + To}
                          : RECT{R.left + From, R.top, R.left + To, R.bottom};
    };
    RECT Middle = Along(G.Arrow, G.Length - G.Arrow);
    if (Middle.right > Middle.left && Middle.bottom > Middle.top) FillRect(Dc, &Middle, Track);
    if (G.ThumbTop != G.ThumbBottom) {
        if (S.Pressed == 2) FillSys(Dc, Along(G.Arrow, G.ThumbTop), COLOR_3DDKSHADOW);
        if (S.Pressed == 4) FillSys(Dc, Along(G.ThumbBottom, G.Length - G.Arrow), COLOR_3DDKSHADOW);
        RECT Thumb = Along(G.ThumbTop, G.ThumbBottom);
        FillSys(Dc, Thumb, COLOR_BTNFACE);
        DrawEdge(Dc, &Thumb, EDGE_RAISED, BF_RECT);
    }
    bool Usable = G.Usable && (S.Disabled & ESB_DISABLE_BOTH) != ESB_DISABLE_BOTH;
    for (int Part : {1, 5}) {
        RECT A = Part == 1 ? Along(0, G.Arrow) : Along(G.Length - G.Arrow, G.Length);
        FillSys(Dc, A, COLOR_BTNFACE);
        RECT E = A;
        DrawEdge(Dc, &E, S.Pressed == Part ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
        bool Off = !Usable || (S.Disabled & (Part == 1 ? ESB_DISABLE_UP : ESB_DISABLE_DOWN));
        int Dir = G.Vertical ? (Part == 1 ? 0 : 1) : (Part == 1 ? 2 : 3);
        Triangle(Dc, A, Dir, Off ? COLOR_GRAYTEXT : COLOR_BTNTEXT);
    }
}

void PaintSizeGrip(HDC Dc, const RECT& R) {
    FillSys(Dc, R, COLOR_BTNFACE);
    // Three diagonal ridges in the bottom-right corner.
    for (int Ridge = 0; Ridge < 3; ++Ridge) {
        int Off = 3 + Ridge * 4;
        for (int I = 0; I <= Off && I < 13; ++I) {
            int X = R.right - 1 - Off + I, Y = R.bottom - 1 - I;
            if (X < R.left || Y < R.top) continue;
            FillSys(Dc, {X, Y, X + 1, Y + 1}, COLOR_BTNHIGHLIGHT);
            if (X + 1 < R.right) FillSys(Dc, {X + 1, Y, X + 2, Y + 1}, COLOR_BTNSHADOW);
        }
    }
}

// Repaints a bar: a control through WM_PAINT, a window's bar through
// WM_NCPAINT limited to the bar, so a procedure that paints its own frame
// paints it.
void Redraw(HWND Wnd, int Bar) {
    TWindow* W = Find(Wnd);
    if (!W || !Visible(*W)) return;
    if (Bar == SB_CTL) {
        InvalidateRect(Wnd, nullptr, FALSE);
        return;
    }
    TGeom G;
    if (!Geometry(Wnd, Bar, G) || !G.Shown) return;
    HRGN Rgn = CreateRectRgn(G.Screen.left, G.Screen.top, G.Screen.right, G.Screen.bottom);
    Deliver(Wnd, WM_NCPAINT, WPARAM(Rgn), 0);
    DeleteObject(Rgn);
}

void FillInfo(HWND Wnd, int Bar, SCROLLBARINFO& Info) {
    TGeom G;
    TScrollBar* S = BarOf(Wnd, Bar);
    if (!S || !Geometry(Wnd, Bar, G)) return;
    Info.rcScrollBar = G.Shown ? G.Screen : RECT{G.Screen.left, G.Screen.top, G.Screen.left, G.Screen.top};
    Info.dxyLineButton = G.Arrow;
    Info.xyThumbTop = G.ThumbTop;
    Info.xyThumbBottom = G.ThumbBottom;
    std::fill(std::begin(Info.rgstate), std::end(Info.rgstate), 0);
    TWindow* W = Find(Wnd);
    if (!G.Shown) Info.rgstate[0] |= STATE_SYSTEM_INVISIBLE;
    if (W && !Visible(*W)) Info.rgstate[0] |= STATE_SYSTEM_OFFSCREEN;
    bool AllOff = !G.Usable || (S->Disabled & ESB_DISABLE_BOTH) == ESB_DISABLE_BOTH;
    if (AllOff) Info.rgstate[0] |= STATE_SYSTEM_UNAVAILABLE;
    if (AllOff || (S->Disabled & ESB_DISABLE_UP)) Info.rgstate[1] |= STATE_SYSTEM_UNAVAILABLE;
    if (AllOff || (S->Disabled & ESB_DISABLE_DOWN)) Info.rgstate[5] |= STATE_SYSTEM_UNAVAILABLE;
    if (G.ThumbTop == G.ThumbBottom)
        for (int I : {2, 3, 4}) Info.rgstate[I] |= STATE_SYSTEM_INVISIBLE;
    if (S->Pressed > 0 && S->Pressed <= CCHILDREN_SCROLLBAR) Info.rgstate[S->Pressed] |= STATE_SYSTEM_PRESSED;
}

// Stores what Info gives; answers the new position.
int StoreInfo(HWND Wnd, int Bar, const SCROLLINFO& Info) {
    TScrollBar* S = BarOf(Wnd, Bar);
    if (!S) return 0;
    if (Info.fMask & SIF_RANGE) {
        S->Min = Info.nMin;
        S->Max = Info.nMax;
    }
    if (Info.fMask & SIF_PAGE) S->Page = Info.nPage;
    int64_t Count = std::max<int64_t>(0, int64_t(S->Max) - S->Min + 1);
    if (int64_t(S->Page) > Count) S->Page = UINT(Count);
    if (Info.fMask & SIF_POS) S->Pos = Info.nPos;
    S->Pos = int(std::clamp<int64_t>(S->Pos, S->Min, std::max<int64_t>(S->Min, MaxPos(*S))));
    S->TrackPos = int(std::clamp<int64_t>(S->TrackPos, S->Min, std::max<int64_t>(S->Min, MaxPos(*S))));
    return S->Pos;
}

LRESULT SendScroll(HWND Notify, bool Vertical, WORD Code, int Pos, HWND Ctl) {
    if (!Find(Notify)) return 0;
    return SendMessageW(Notify, Vertical ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(Code, Pos), LPARAM(Ctl));
}

// Runs the press on a bar: arrows and pages scroll at once and then
// repeat while the pointer stays on them, the thumb follows the pointer
// (SB_THUMBTRACK on each change of position); the end gives
// SB_THUMBPOSITION after a drag and SB_ENDSCROLL always.
void TrackBar(HWND Wnd, int Bar, POINT Start) {
    TGeom G;
    if (!Geometry(Wnd, Bar, G) || !G.Shown) return;
    TScrollBar* S = BarOf(Wnd, Bar);
    int Part = PartAt(G, Start);
    if (!S || Part == 0 || !G.Usable || (S->Disabled & ESB_DISABLE_BOTH) == ESB_DISABLE_BOTH) return;
    if ((Part == 1 && (S->Disabled & ESB_DISABLE_UP)) || (Part == 5 && (S->Disabled & ESB_DISABLE_DOWN))) return;

    HWND Ctl = Bar == SB_CTL ? Wnd : nullptr;
    HWND Notify = Bar == SB_CTL ? GetParent(Wnd) : Wnd;
    if (!Notify) Notify = Wnd;
    bool Vertical = G.Vertical;
    static constexpr WORD Codes[] = {0, SB_LINEUP, SB_PAGEUP, SB_THUMBTRACK, SB_PAGEDOWN, SB_LINEDOWN};
    bool Thumb = Part == 3;

    SetCapture(Wnd);
    S->Pressed = Part;
    int Last = S->Pos;
    int GrabTop = G.ThumbTop;
    if (Thumb) {
        S->Tracking = true;
        S->TrackPos = S->Pos;
    }
    Redraw(Wnd, Bar);
    if (!Thumb) {
        SendScroll(Notify, Vertical, Codes[Part], 0, Ctl);
        if (Find(Wnd)) SetTimer(Wnd, kRepeatTimer, kFirstRepeat, nullptr);
    }
    POINT Pointer = Start;
    auto Alive = [&] { return Find(Wnd) && GetCapture() == Wnd; };
    if (Alive()) {
        RunNestedLoop(MSGF_SCROLLBAR, [&](MSG& M) {
            if (!Alive()) return false;
            if (M.message == WM_TIMER && M.hwnd == Wnd && M.wParam == kRepeatTimer) {
                SetTimer(Wnd, kRepeatTimer, kRepeat, nullptr);
                TGeom Now;
                // A page repeats until the thumb reaches the pointer.
                if (!Thumb && Geometry(Wnd, Bar, Now) && PartAt(Now, Pointer) == Part)
                    SendScroll(Notify, Vertical, Codes[Part], 0, Ctl);
                return Alive();
            }
            bool Mouse = (M.message >= WM_MOUSEFIRST && M.message <= WM_MOUSELAST) ||
                         (M.message >= WM_NCMOUSEMOVE && M.message <= WM_NCMBUTTONDBLCLK);
            if (!Mouse) {
                TranslateMessage(&M);
                DispatchMessageW(&M);
                return Alive();
            }
            Pointer = M.pt;
            if (Thumb && (M.message == WM_MOUSEMOVE || M.message == WM_NCMOUSEMOVE)) {
                TGeom Now;
                if (Geometry(Wnd, Bar, Now)) {
                    int Thick = Now.ThumbBottom - Now.ThumbTop;
                    int Room = Now.Length - 2 * Now.Arrow - Thick;
                    int Delta = Vertical ? Pointer.y - Start.y : Pointer.x - Start.x;
                    int Offset = std::clamp(GrabTop - Now.Arrow + Delta, 0, std::max(0, Room));
                    int64_t Span = MaxPos(*S) - S->Min;
                    int Pos = Room > 0 ? int(S->Min + (int64_t(Offset) * Span + Room / 2) / Room) : S->Min;
                    if (Pos != Last) {
                        Last = Pos;
                        S->TrackPos = Pos;
                        Redraw(Wnd, Bar);
                        SendScroll(Notify, Vertical, SB_THUMBTRACK, Pos, Ctl);
                        S = BarOf(Wnd, Bar);
                        if (!S) return false;
                    }
                }
            }
            if (M.message == WM_LBUTTONUP || M.message == WM_NCLBUTTONUP) return false;
            return Alive();
        });
    }
    if (Find(Wnd)) KillTimer(Wnd, kRepeatTimer);
    if (Find(Wnd) && GetCapture() == Wnd) ReleaseCapture();
    if (Thumb) SendScroll(Notify, Vertical, SB_THUMBPOSITION, Last, Ctl);
    if ((S = BarOf(Wnd, Bar))) {
        S->Tracking = false;
        S->Pressed = 0;
    }
    SendScroll(Notify, Vertical, SB_ENDSCROLL, 0, Ctl);
    Redraw(Wnd, Bar);
}

// Keyboard on a focused control: one step and the end of the scroll.
void KeyScroll(HWND Wnd, WPARAM Key) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    bool Vertical = (W->Style & SBS_VERT) != 0;
    WORD Code;
    switch (Key) {
    case 0x21: Code = SB_PAGEUP; break;    // VK_PRIOR
    case 0x22: Code = SB_PAGEDOWN; break;  // VK_NEXT
    case 0x23: Code = SB_BOTTOM; break;    // VK_END
    case 0x24: Code = SB_TOP; break;       // VK_HOME
    case 0x25:                              // VK_LEFT
    case 0x26: Code = SB_LINEUP; break;    // VK_UP
    case 0x27:                              // VK_RIGHT
    case 0x28: Code = SB_LINEDOWN; break;  // VK_DOWN
    default: return;
    }
    HWND Parent = GetParent(Wnd);
    SendScroll(Parent, Vertical, Code, 0, Wnd);
    SendScroll(Parent, Vertical, SB_ENDSCROLL, 0, Wnd);
}

}  // namespace

namespace ui {

void PaintWindowScrollBars(const TWindow& W, HDC Dc) {
    bool V = W.Style & WS_VSCROLL, H = W.Style & WS_HSCROLL;
    HBRUSH Track = GetSysColorBrush(COLOR_SCROLLBAR);
    for (int Bar : {SB_HORZ, SB_VERT}) {
        if (!(Bar == SB_HORZ ? H : V)) continue;
        TGeom G;
        if (!Geometry(W.Handle, Bar, G)) continue;
        TScrollBar* S = BarOf(W.Handle, Bar);
        if (S) PaintBar(Dc, G, *S, Track);
    }
    if (V && H) {
        RECT Vr = WindowBarRect(W, SB_VERT), Hr = WindowBarRect(W, SB_HORZ);
        FillSys(Dc, {Vr.left, Hr.top, Vr.right, Hr.bottom}, COLOR_BTNFACE);
    }
}

void TrackWindowScrollBar(HWND Wnd, int Bar, POINT Screen) { TrackBar(Wnd, Bar, Screen); }

LRESULT ScrollBarControlProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    TWindow* Win = Find(Wnd);
    if (!Win) return 0;
    bool Grip = Win->Style & (SBS_SIZEGRIP | SBS_SIZEBOX);
    switch (Msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT: {
        PAINTSTRUCT Ps;
        HDC Dc = (Msg == WM_PRINTCLIENT || W) ? reinterpret_cast<HDC>(W) : BeginPaint(Wnd, &Ps);
        if (!Dc) return 0;
        TGeom G;
        if (Geometry(Wnd, SB_CTL, G)) {
            if (Grip) {
                PaintSizeGrip(Dc, G.Rect);
            } else {
                HWND Parent = GetParent(Wnd);
                auto Brush = reinterpret_cast<HBRUSH>(
                    Parent ? SendMessageW(Parent, WM_CTLCOLORSCROLLBAR, WPARAM(Dc), LPARAM(Wnd)) : 0);
                if (!Brush) Brush = GetSysColorBrush(COLOR_SCROLLBAR);
                if (TScrollBar* S = BarOf(Wnd, SB_CTL)) PaintBar(Dc, G, *S, Brush);
            }
        }
        if (Msg == WM_PAINT && !W) EndPaint(Wnd, &Ps);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        POINT P{GET_X_LPARAM(L), GET_Y_LPARAM(L)};
        ClientToScreen(Wnd, &P);
        if (Grip) {
            // The grip sizes the top-level window from its bottom-right corner.
            HWND Root = GetAncestor(Wnd, GA_ROOT);
            if (Root && Root != Wnd) return SendMessageW(Root, WM_SYSCOMMAND, SC_SIZE | 8, MAKELPARAM(P.x, P.y));
            return 0;
        }
        if (Win->Style & WS_TABSTOP) SetFocus(Wnd);
        TrackBar(Wnd, SB_CTL, P);
        return 0;
    }
    case WM_KEYDOWN:
        if (!Grip) KeyScroll(Wnd, W);
        return 0;
    case WM_ENABLE: InvalidateRect(Wnd, nullptr, FALSE); return 0;
    case SBM_SETPOS: {
        TScrollBar* S = BarOf(Wnd, SB_CTL);
        int Old = S ? S->Pos : 0;
        SCROLLINFO I;
        I.fMask = SIF_POS;
        I.nPos = int(W);
        StoreInfo(Wnd, SB_CTL, I);
        if (L) Redraw(Wnd, SB_CTL);
        return Old;
    }
    case SBM_GETPOS: {
        TScrollBar* S = BarOf(Wnd, SB_CTL);
        return S ? S->Pos : 0;
    }
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
        TScrollBar* S = BarOf(Wnd, SB_CTL);
        int Old = S ? S->Pos : 0;
        SCROLLINFO I;
        I.fMask = SIF_RANGE;
        I.nMin = int(W);
        I.nMax = int(L);
        StoreInfo(Wnd, SB_CTL, I);
        if (Msg == SBM_SETRANGEREDRAW) Redraw(Wnd, SB_CTL);
        return Old;
    }
    case SBM_GETRANGE: {
        TScrollBar* S = BarOf(Wnd, SB_CTL);
        if (S && W) *reinterpret_cast<int*>(W) = S->Min;
        if (S && L) *reinterpret_cast<int*>(L) = S->Max;
        return 0;
    }
    case SBM_ENABLE_ARROWS: {
        TScrollBar* S = BarOf(Wnd, SB_CTL);
        if (!S) return FALSE;
        UINT New = UINT(W) & ESB_DISABLE_BOTH;
        if (S->Disabled == New) return FALSE;
        S->Disabled = New;
        Redraw(Wnd, SB_CTL);
        return TRUE;
    }
    case SBM_SETSCROLLINFO: {
        auto* I = reinterpret_cast<const SCROLLINFO*>(L);
        if (!I) return 0;
        int Pos = StoreInfo(Wnd, SB_CTL, *I);
        if (W) Redraw(Wnd, SB_CTL);
        return Pos;
    }
    case SBM_GETSCROLLINFO: {
        auto* I = reinterpret_cast<SCROLLINFO*>(L);
        TScrollBar* S = BarOf(Wnd, SB_CTL);
        if (!I || !S) return FALSE;
        if (I->fMask & SIF_RANGE) I->nMin = S->Min, I->nMax = S->Max;
        if (I->fMask & SIF_PAGE) I->nPage = S->Page;
        if (I->fMask & SIF_POS) I->nPos = S->Pos;
        if (I->fMask & SIF_TRACKPOS) I->nTrackPos = S->Tracking ? S->TrackPos : S->Pos;
        return TRUE;
    }
    case SBM_GETSCROLLBARINFO: {
        auto* I = reinterpret_cast<SCROLLBARINFO*>(L);
        if (!I) return FALSE;
        FillInfo(Wnd, SB_CTL, *I);
        return TRUE;
    }
    default: return DefWindowProcW(Wnd, Msg, W, L);
    }
}

}  // namespace ui

int SetScrollInfo(HWND Wnd, int Bar, const SCROLLINFO* Info, BOOL Redraw) {
    if (!Info || !Find(Wnd)) return 0;
    if (Bar == SB_CTL) return int(SendMessageW(Wnd, SBM_SETSCROLLINFO, WPARAM(Redraw), LPARAM(Info)));
    if (Bar != SB_HORZ && Bar != SB_VERT) return 0;
    int Pos = StoreInfo(Wnd, Bar, *Info);
    TScrollBar* S = BarOf(Wnd, Bar);
    if (S && (Info->fMask & (SIF_RANGE | SIF_PAGE))) {
        // A window's bar shows only while there is something to scroll;
        // SIF_DISABLENOSCROLL keeps it, disabled, instead.
        int64_t Count = int64_t(S->Max) - S->Min + 1;
        bool Needed = Count > 1 && (S->Page == 0 || int64_t(S->Page) < Count);
        if (Info->fMask & SIF_DISABLENOSCROLL) {
            S->Disabled = Needed ? ESB_ENABLE_BOTH : ESB_DISABLE_BOTH;
            ShowScrollBar(Wnd, Bar, TRUE);
        } else {
            ShowScrollBar(Wnd, Bar, Needed);
        }
    }
    if (Redraw) ::velmo::Redraw(Wnd, Bar);
    return Pos;
}

BOOL GetScrollInfo(HWND Wnd, int Bar, SCROLLINFO* Info) {
    if (!Info || !Find(Wnd)) return FALSE;
    if (Bar == SB_CTL) return BOOL(SendMessageW(Wnd, SBM_GETSCROLLINFO, 0, LPARAM(Info)));
    TScrollBar* S = (Bar == SB_HORZ || Bar == SB_VERT) ? BarOf(Wnd, Bar) : nullptr;
    if (!S || !(Info->fMask & SIF_ALL)) return FALSE;
    if (Info->fMask & SIF_RANGE) Info->nMin = S->Min, Info->nMax = S->Max;
    if (Info->fMask & SIF_PAGE) Info->nPage = S->Page;
    if (Info->fMask & SIF_POS) Info->nPos = S->Pos;
    if (Info->fMask & SIF_TRACKPOS) Info->nTrackPos = S->Tracking ? S->TrackPos : S->Pos;
    return TRUE;
}

int SetScrollPos(HWND Wnd, int Bar, int Pos, BOOL Redraw) {
    SCROLLINFO Old;
    Old.fMask = SIF_POS;
    if (!GetScrollInfo(Wnd, Bar, &Old)) return 0;
    SCROLLINFO I;
    I.fMask = SIF_POS;
    I.nPos = Pos;
    SetScrollInfo(Wnd, Bar, &I, Redraw);
    return Old.nPos;
}

int GetScrollPos(HWND Wnd, int Bar) {
    SCROLLINFO I;
    I.fMask = SIF_POS;
    return GetScrollInfo(Wnd, Bar, &I) ? I.nPos : 0;
}

BOOL SetScrollRange(HWND Wnd, int Bar, int Min, int Max, BOOL Redraw) {
    if (!Find(Wnd) || Bar < SB_HORZ || Bar > SB_CTL) return FALSE;
    SCROLLINFO I;
    I.fMask = SIF_RANGE;
    I.nMin = Min;
    I.nMax = Max;
    SetScrollInfo(Wnd, Bar, &I, Redraw);
    return TRUE;
}

BOOL GetScrollRange(HWND Wnd, int Bar, int* Min, int* Max) {
    SCROLLINFO I;
    I.fMask = SIF_RANGE;
    if (!GetScrollInfo(Wnd, Bar, &I)) return FALSE;
    if (Min) *Min = I.nMin;
    if (Max) *Max = I.nMax;
    return TRUE;
}

BOOL ShowScrollBar(HWND Wnd, int Bar, BOOL Show) {
    TWindow* W = Find(Wnd);
    if (!W) return FALSE;
    if (Bar == SB_CTL) {
        ShowWindow(Wnd, Show ? SW_SHOW : SW_HIDE);
        return TRUE;
    }
    DWORD Bits = Bar == SB_HORZ ? WS_HSCROLL : Bar == SB_VERT ? WS_VSCROLL : Bar == SB_BOTH ? WS_HSCROLL | WS_VSCROLL : 0;
    if (!Bits) return FALSE;
    DWORD Style = Show ? (W->Style | Bits) : (W->Style & ~Bits);
    if (Style == W->Style) return TRUE;
    W->Style = Style;
    // The frame changes: the client area is calculated anew and the frame repainted.
    SetWindowPos(Wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

BOOL EnableScrollBar(HWND Wnd, UINT Bar, UINT Arrows) {
    if (!Find(Wnd)) return FALSE;
    if (Bar == SB_CTL) return BOOL(SendMessageW(Wnd, SBM_ENABLE_ARROWS, Arrows, 0));
    BOOL Changed = FALSE;
    for (int B : {SB_HORZ, SB_VERT}) {
        if (!(UINT(B) == Bar || Bar == SB_BOTH)) continue;
        TScrollBar* S = BarOf(Wnd, B);
        UINT New = Arrows & ESB_DISABLE_BOTH;
        if (!S || S->Disabled == New) continue;
        S->Disabled = New;
        Changed = TRUE;
        Redraw(Wnd, B);
    }
    return Changed;
}

BOOL GetScrollBarInfo(HWND Wnd, LONG Object, SCROLLBARINFO* Info) {
    if (!Info || !Find(Wnd)) return FALSE;
    if (Object == OBJID_CLIENT) {
        // The control answers for itself, so a subclass can too.
        return BOOL(SendMessageW(Wnd, SBM_GETSCROLLBARINFO, 0, LPARAM(Info)));
    }
    if (Object != OBJID_HSCROLL && Object != OBJID_VSCROLL) return FALSE;
    FillInfo(Wnd, Object == OBJID_VSCROLL ? SB_VERT : SB_HORZ, *Info);
    return TRUE;
}

}  // namespace velmo
