// The default procedure: the frame derived from the styles and the metrics
// table, hit codes, text, closing, activation and the move, size and
// caption-button loops.
#include <algorithm>

#include "platform/ui/Menus.h"
#include "platform/ui/WindowInternal.h"

namespace velmo {

using namespace ui;

TFrameMetrics FrameMetricsOf(DWORD Style, DWORD ExStyle, bool HasMenu) {
    TFrameMetrics F;
    if (Style & WS_THICKFRAME)
        F.Border = GetSystemMetrics(SM_CXFRAME);
    else if ((Style & WS_DLGFRAME) || (ExStyle & WS_EX_DLGMODALFRAME))
        F.Border = GetSystemMetrics(SM_CXDLGFRAME);
    else if (Style & WS_BORDER)
        F.Border = GetSystemMetrics(SM_CXBORDER);
    if ((Style & WS_CAPTION) == WS_CAPTION)
        F.Caption = GetSystemMetrics((ExStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
    if (HasMenu && !(Style & WS_CHILD)) F.Menu = GetSystemMetrics(SM_CYMENU);
    if (ExStyle & WS_EX_CLIENTEDGE) F.ClientEdge += GetSystemMetrics(SM_CXEDGE);
    if (ExStyle & WS_EX_STATICEDGE) F.ClientEdge += GetSystemMetrics(SM_CXBORDER);
    if (Style & WS_VSCROLL) F.VScroll = GetSystemMetrics(SM_CXVSCROLL);
    if (Style & WS_HSCROLL) F.HScroll = GetSystemMetrics(SM_CYHSCROLL);
    return F;
}

RECT ClientRectFromWindowRect(const RECT& Window, DWORD Style, DWORD ExStyle, bool HasMenu) {
    TFrameMetrics F = FrameMetricsOf(Style, ExStyle, HasMenu);
    RECT C = Window;
    int Inset = F.Border + F.ClientEdge;
    C.left += Inset;
    C.right -= Inset + F.VScroll;
    C.top += F.Border + F.Caption + F.Menu + F.ClientEdge;
    C.bottom -= Inset + F.HScroll;
    // A frame wider than the window leaves an empty client area at its top-left.
    C.right = std::max(C.right, C.left);
    C.bottom = std::max(C.bottom, C.top);
    return C;
}

BOOL AdjustWindowRectEx(RECT* Rect, DWORD Style, BOOL Menu, DWORD ExStyle) {
    if (!Rect) return FALSE;
    TFrameMetrics F = FrameMetricsOf(Style & ~(WS_VSCROLL | WS_HSCROLL), ExStyle, Menu != FALSE);
    int Inset = F.Border + F.ClientEdge;
    Rect->left -= Inset;
    Rect->right += Inset;
    Rect->top -= F.Border + F.Caption + F.Menu + F.ClientEdge;
    Rect->bottom += Inset;
    return TRUE;
}

namespace ui {

LRESULT HitTest(const TWindow& W, POINT Screen) {
    RECT Sr = ScreenRect(W);
    int X = Screen.x - Sr.left, Y = Screen.y - Sr.top;
    int Wd = Sr.right - Sr.left, Ht = Sr.bottom - Sr.top;
    if (X < 0 || Y < 0 || X >= Wd || Y >= Ht) return HTNOWHERE;
    RECT C = W.Client;  // parent coordinates, like W.Rect
    int Cx = X + W.Rect.left, Cy = Y + W.Rect.top;
    if (Cx >= C.left && Cx < C.right && Cy >= C.top && Cy < C.bottom) return HTCLIENT;
    if (W.Style & WS_MINIMIZE) return HTCAPTION;

    TFrameMetrics F = FrameMetricsOf(W.Style, W.ExStyle, W.Menu != nullptr);
    int B = F.Border;
    if (B > 0 && (X < B || Y < B || X >= Wd - B || Y >= Ht - B)) {
        if (!(W.Style & WS_THICKFRAME) || (W.Style & WS_MAXIMIZE)) return HTBORDER;
        // Corners reach a caption button's size beyond the frame along each edge.
        int Cw = B + GetSystemMetrics(SM_CXSIZE), Ch = B + GetSystemMetrics(SM_CYSIZE);
        bool Left = X < Cw, Right = X >= Wd - Cw, Top = Y < Ch, Bottom = Y >= Ht - Ch;
        if (Y < B) return Left ? HTTOPLEFT : Right ? HTTOPRIGHT : HTTOP;
        if (Y >= Ht - B) return Left ? HTBOTTOMLEFT : Right ? HTBOTTOMRIGHT : HTBOTTOM;
        if (X < B) return Top ? HTTOPLEFT : Bottom ? HTBOTTOMLEFT : HTLEFT;
        return Top ? HTTOPRIGHT : Bottom ? HTBOTTOMRIGHT : HTRIGHT;
    }
    int Row = B;
    if (F.Caption && Y < Row + F.Caption) {
        bool Tool = W.ExStyle & WS_EX_TOOLWINDOW;
        int Bw = GetSystemMetrics(Tool ? SM_CXSMSIZE : SM_CXSIZE) - 2;
        int Right = Wd - B - 2;
        if (W.Style & WS_SYSMENU) {
            if (X >= Right - Bw && X < Right) return HTCLOSE;
            Right -= Bw + 2;
            if (!Tool && (W.Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))) {
                if (X >= Right - Bw && X < Right) return HTMAXBUTTON;
                if (X >= Right - 2 * Bw && X < Right - Bw) return HTMINBUTTON;
            } else if (!Tool && (W.ExStyle & WS_EX_CONTEXTHELP)) {
                if (X >= Right - Bw && X < Right) return HTHELP;
            }
            if (!Tool && X >= B && X < B + GetSystemMetrics(SM_CXSIZE)) return HTSYSMENU;
        }
        return HTCAPTION;
    }
    Row += F.Caption;
    if (F.Menu && Y >= Row && Y < Row + F.Menu) return HTMENU;
    Row += F.Menu;
    int E = F.ClientEdge;
    RECT Inner{B + E, Row + E, Wd - B - E, Ht - B - E};
    if (X < Inner.left || X >= Inner.right || Y < Inner.top || Y >= Inner.bottom) return HTBORDER;
    bool InV = F.VScroll && X >= Inner.right - F.VScroll;
    bool InH = F.HScroll && Y >= Inner.bottom - F.HScroll;
    if (InV && InH) return (W.Style & WS_THICKFRAME) && !(W.Style & WS_CHILD) ? HTSIZE : HTNOWHERE;
    if (InV) return HTVSCROLL;
    if (InH) return HTHSCROLL;
    return HTNOWHERE;
}

}  // namespace ui

namespace ui {

bool CaptionButtonEnabled(const TWindow& W, LRESULT Hit) {
    switch (Hit) {
    case HTCLOSE: {
        if (W.Class && (W.Class->Info.style & CS_NOCLOSE)) return false;
        // A program may grey or remove Close in the system menu.
        HMENU Sys = ExistingSystemMenu(W.Handle);
        if (!Sys) return true;
        const UINT State = GetMenuState(Sys, UINT(SC_CLOSE), MF_BYCOMMAND);
        return State != UINT(-1) && !(State & (MF_GRAYED | MF_DISABLED));
    }
    case HTMAXBUTTON: return (W.Style & WS_MAXIMIZEBOX) != 0;
    case HTMINBUTTON: return (W.Style & WS_MINIMIZEBOX) != 0;
    case HTHELP: return true;
    default: return false;
    }
}

}  // namespace ui

namespace {

// The caption button being tracked and whether the pointer is over it.
struct TPressed {
    HWND Wnd = nullptr;
    LRESULT Hit = 0;
    bool Over = false;
};
TPressed& Pressed() {
    static TPressed P;
    return P;
}

// Moves or sizes the window with the pointer until the button is released,
// the capture is lost or Escape puts the old rectangle back.
void MoveSizeLoop(HWND Wnd, LRESULT Hit, POINT Start) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    RECT Orig = W->Rect;
    bool Moving = Hit == HTCAPTION;
    MINMAXINFO Info;
    int Sw = GetSystemMetrics(SM_CXSCREEN), Sh = GetSystemMetrics(SM_CYSCREEN);
    Info.ptMaxSize = {Sw, Sh};
    Info.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
    Info.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    if (!Moving) {
        Deliver(Wnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&Info));
        if (!Find(Wnd)) return;
    }
    SetCapture(Wnd);
    Deliver(Wnd, WM_ENTERSIZEMOVE, 0, 0);
    bool Cancelled = false;
    RECT Last = Orig;
    RunNestedLoop(MSGF_SIZE, [&](MSG& M) {
        if (!Find(Wnd) || GetCapture() != Wnd) return false;
        if (M.message == WM_MOUSEMOVE || M.message == WM_LBUTTONUP) {
            int Dx = M.pt.x - Start.x, Dy = M.pt.y - Start.y;
            RECT R = Orig;
            if (Moving) {
                R = {Orig.left + Dx, Orig.top + Dy, Orig.right + Dx, Orig.bottom + Dy};
            } else {
                if (Hit == HTLEFT || Hit == HTTOPLEFT || Hit == HTBOTTOMLEFT) R.left += Dx;
                if (Hit == HTRIGHT || Hit == HTTOPRIGHT || Hit == HTBOTTOMRIGHT) R.right += Dx;
                if (Hit == HTTOP || Hit == HTTOPLEFT || Hit == HTTOPRIGHT) R.top += Dy;
                if (Hit == HTBOTTOM || Hit == HTBOTTOMLEFT || Hit == HTBOTTOMRIGHT) R.bottom += Dy;
                int Cw = std::clamp(int(R.right - R.left), int(Info.ptMinTrackSize.x), int(Info.ptMaxTrackSize.x));
                int Ch = std::clamp(int(R.bottom - R.top), int(Info.ptMinTrackSize.y), int(Info.ptMaxTrackSize.y));
                if (R.left != Orig.left) R.left = R.right - Cw; else R.right = R.left + Cw;
                if (R.top != Orig.top) R.top = R.bottom - Ch; else R.bottom = R.top + Ch;
            }
            if (R.left != Last.left || R.top != Last.top || R.right != Last.right || R.bottom != Last.bottom) {
                Deliver(Wnd, Moving ? WM_MOVING : WM_SIZING, Moving ? 0 : WPARAM(Hit - HTLEFT + 1),
                        reinterpret_cast<LPARAM>(&R));
                if (!Find(Wnd)) return false;
                SetWindowPos(Wnd, nullptr, R.left, R.top, R.right - R.left, R.bottom - R.top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
                Last = R;
            }
            return M.message != WM_LBUTTONUP;
        }
        if (M.message == WM_KEYDOWN && M.wParam == VK_ESCAPE) {
            Cancelled = true;
            return false;
        }
        if (M.message >= WM_MOUSEFIRST && M.message <= WM_MOUSELAST) return true;
        TranslateMessage(&M);
        DispatchMessageW(&M);
        return Find(Wnd) && GetCapture() == Wnd;
    });
    if (GetCapture() == Wnd) ReleaseCapture();
    if (!Find(Wnd)) return;
    RECT Final = Find(Wnd)->Rect;
    if (!Cancelled && CallHooks(WH_CBT, HCBT_MOVESIZE, WPARAM(Wnd), reinterpret_cast<LPARAM>(&Final)) != 0)
        Cancelled = true;
    if (Cancelled && Find(Wnd))
        SetWindowPos(Wnd, nullptr, Orig.left, Orig.top, Orig.right - Orig.left, Orig.bottom - Orig.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    if (Find(Wnd)) Deliver(Wnd, WM_EXITSIZEMOVE, 0, 0);
}

// Tracks a caption button until release; a release over the same button
// gives the button's system command.
void TrackCaptionButton(HWND Wnd, LRESULT Hit) {
    TWindow* Win = Find(Wnd);
    // A greyed button takes no press.
    if (!Win || !CaptionButtonEnabled(*Win, Hit)) return;
    // The button looks pushed while the pointer is over it.
    auto Show = [&](bool Over) {
        Pressed() = {Wnd, Hit, Over};
        if (TWindow* W = Find(Wnd); W && Visible(*W)) Deliver(Wnd, WM_NCPAINT, 1, 0);
    };
    SetCapture(Wnd);
    bool Over = true;
    Show(true);
    RunNestedLoop(MSGF_MAX, [&](MSG& M) {
        if (!Find(Wnd) || GetCapture() != Wnd) return false;
        if (M.message == WM_MOUSEMOVE || M.message == WM_LBUTTONUP) {
            TWindow* W = Find(Wnd);
            const bool Now = W && HitTest(*W, M.pt) == Hit;
            if (Now != Over && M.message == WM_MOUSEMOVE) Show(Now);
            Over = Now;
            return M.message != WM_LBUTTONUP;
        }
        if (M.message >= WM_MOUSEFIRST && M.message <= WM_MOUSELAST) return true;
        TranslateMessage(&M);
        DispatchMessageW(&M);
        return Find(Wnd) && GetCapture() == Wnd;
    });
    bool Released = GetCapture() == Wnd;
    if (Released) ReleaseCapture();
    if (Pressed().Wnd == Wnd) Show(false);
    Pressed() = {};
    if (!Released || !Over || !Find(Wnd)) return;
    WPARAM Cmd = Hit == HTCLOSE       ? SC_CLOSE
                 : Hit == HTMINBUTTON ? SC_MINIMIZE
                 : Hit == HTHELP      ? SC_CONTEXTHELP
                 : IsZoomed(Wnd)      ? SC_RESTORE
                                      : SC_MAXIMIZE;
    POINT P{};
    DWORD Pos = GetMessagePos();
    P = {int16_t(Pos & 0xFFFF), int16_t(Pos >> 16)};
    SendMessageW(Wnd, WM_SYSCOMMAND, Cmd, MAKELPARAM(P.x, P.y));
}

}  // namespace

namespace ui {

LRESULT PressedCaptionButton(HWND Wnd) {
    const TPressed& P = Pressed();
    return P.Wnd == Wnd && P.Over ? P.Hit : 0;
}

LRESULT NonClientButtonDown(HWND Wnd, WPARAM Hit, LPARAM L) {
    switch (LRESULT(Hit)) {
    case HTCAPTION: return SendMessageW(Wnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, L);
    case HTLEFT:
    case HTRIGHT:
    case HTTOP:
    case HTTOPLEFT:
    case HTTOPRIGHT:
    case HTBOTTOM:
    case HTBOTTOMLEFT:
    case HTBOTTOMRIGHT: return SendMessageW(Wnd, WM_SYSCOMMAND, SC_SIZE | WPARAM(Hit - HTLEFT + 1), L);
    case HTCLOSE:
    case HTMINBUTTON:
    case HTMAXBUTTON:
    case HTHELP: TrackCaptionButton(Wnd, LRESULT(Hit)); return 0;
    case HTHSCROLL:
    case HTVSCROLL:
        TrackWindowScrollBar(Wnd, LRESULT(Hit) == HTVSCROLL ? 1 : 0, {GET_X_LPARAM(L), GET_Y_LPARAM(L)});
        return 0;
    default: return 0;
    }
}

}  // namespace ui

LRESULT DefWindowProcW(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    TWindow* Win = Find(Wnd);
    if (!Win) return 0;
    LRESULT Painted = 0;
    if (DefaultPaint(Wnd, Msg, W, L, Painted)) return Painted;
    if (MenuDefault(Wnd, Msg, W, L, Painted)) return Painted;
    switch (Msg) {
    case WM_NCCREATE: {
        auto* Cs = reinterpret_cast<const CREATESTRUCTW*>(L);
        if (Cs && Cs->lpszName) {
            Win->Text = FromWide(Cs->lpszName);
            if (IsTopLevel(*Win)) State().Host->TopLevelTitle(Wnd, Win->Text);
        }
        return TRUE;
    }
    case WM_NCCALCSIZE: {
        RECT* R = W ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(L)->rgrc[0] : reinterpret_cast<RECT*>(L);
        if (R) *R = ClientRectFromWindowRect(*R, Win->Style, Win->ExStyle, Win->Menu != nullptr);
        return 0;
    }
    case WM_NCHITTEST: return HitTest(*Win, {GET_X_LPARAM(L), GET_Y_LPARAM(L)});
    case WM_NCACTIVATE:
        Win->NcActive = W != FALSE;
        if (Visible(*Win) && FrameMetricsOf(Win->Style, Win->ExStyle, Win->Menu != nullptr).Border +
                                     FrameMetricsOf(Win->Style, Win->ExStyle, Win->Menu != nullptr).Caption >
                                 0)
            Deliver(Wnd, WM_NCPAINT, 1, 0);
        return TRUE;
    case WM_NCLBUTTONDOWN: return NonClientButtonDown(Wnd, W, L);
    case WM_NCLBUTTONDBLCLK:
        // A double click on a scroll bar is one more press.
        if (LRESULT(W) == HTHSCROLL || LRESULT(W) == HTVSCROLL) return NonClientButtonDown(Wnd, W, L);
        if (LRESULT(W) == HTCAPTION && (Win->Style & WS_MAXIMIZEBOX))
            return SendMessageW(Wnd, WM_SYSCOMMAND, IsZoomed(Wnd) ? SC_RESTORE : SC_MAXIMIZE, L);
        return 0;
    case WM_SETTEXT: {
        Win->Text = FromWide(reinterpret_cast<LPCWSTR>(L));
        if (IsTopLevel(*Win)) State().Host->TopLevelTitle(Wnd, Win->Text);
        if (Visible(*Win) && (Win->Style & WS_CAPTION) == WS_CAPTION) Deliver(Wnd, WM_NCPAINT, 1, 0);
        return TRUE;
    }
    case WM_GETTEXT: {
        auto* Buf = reinterpret_cast<LPWSTR>(L);
        if (!Buf || W == 0) return 0;
        size_t N = std::min(Win->Text.size(), size_t(W) - 1);
        std::copy_n(Win->Text.data(), N, Buf);
        Buf[N] = 0;
        return LRESULT(N);
    }
    case WM_GETTEXTLENGTH: return LRESULT(Win->Text.size());
    case WM_CLOSE: DestroyWindow(Wnd); return 0;
    case WM_SYSCOMMAND:
        switch (W & 0xFFF0) {
        case SC_CLOSE:
            if (Win->Class->Info.style & CS_NOCLOSE) return 0;
            return SendMessageW(Wnd, WM_CLOSE, 0, 0);
        case SC_MINIMIZE: ShowWindow(Wnd, SW_MINIMIZE); return 0;
        case SC_MAXIMIZE: ShowWindow(Wnd, SW_SHOWMAXIMIZED); return 0;
        case SC_RESTORE: ShowWindow(Wnd, SW_RESTORE); return 0;
        case SC_MOVE:
            if (!(Win->Style & WS_MAXIMIZE)) MoveSizeLoop(Wnd, HTCAPTION, {GET_X_LPARAM(L), GET_Y_LPARAM(L)});
            return 0;
        case SC_SIZE: {
            WPARAM Edge = W & 0xF;
            if (Edge >= 1 && Edge <= 8 && (Win->Style & WS_THICKFRAME) && !(Win->Style & WS_MAXIMIZE))
                MoveSizeLoop(Wnd, HTLEFT + LRESULT(Edge) - 1, {GET_X_LPARAM(L), GET_Y_LPARAM(L)});
            return 0;
        }
        default: return 0;
        }
    case WM_SYSKEYDOWN:
        // Alt+F4 closes the top-level window: no window manager does it for us.
        if (W == VK_F4 && (L & (1 << 29)))
            return SendMessageW(GetAncestor(Wnd, GA_ROOT), WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_IME_COMPOSITION:
    case WM_IME_CHAR: return ImeDefault(Wnd, Msg, W, L);
    case WM_ACTIVATE:
        if (LOWORD(W) != WA_INACTIVE && !(Win->Style & WS_MINIMIZE)) SetFocus(Wnd);
        return 0;
    case WM_MOUSEACTIVATE:
        if ((Win->Style & WS_CHILD) && Find(Win->Parent)) {
            LRESULT R = SendMessageW(Win->Parent, WM_MOUSEACTIVATE, W, L);
            if (R) return R;
        }
        return MA_ACTIVATE;
    case WM_WINDOWPOSCHANGED: {
        auto* Pos = reinterpret_cast<const WINDOWPOS*>(L);
        if (!Pos) return 0;
        if (!(Pos->flags & SWP_NOMOVE)) SendMessageW(Wnd, WM_MOVE, 0, MAKELPARAM(Win->Client.left, Win->Client.top));
        if (!(Pos->flags & SWP_NOSIZE) && (Win = Find(Wnd))) {
            WPARAM Kind = (Win->Style & WS_MINIMIZE) ? SIZE_MINIMIZED : (Win->Style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED;
            SendMessageW(Wnd, WM_SIZE, Kind,
                         MAKELPARAM(Win->Client.right - Win->Client.left, Win->Client.bottom - Win->Client.top));
        }
        return 0;
    }
    case WM_GETICON: {
        if (W == ICON_BIG) return reinterpret_cast<LRESULT>(Win->IconBig);
        if (W == ICON_SMALL) return reinterpret_cast<LRESULT>(Win->IconSmall);
        // ICON_SMALL2: whatever small icon the window would show, its own,
        // its class's, else the big one.
        HICON Icon = Win->IconSmall;
        if (!Icon && Win->Class) Icon = Win->Class->Info.hIconSm;
        if (!Icon) Icon = Win->IconBig;
        if (!Icon && Win->Class) Icon = Win->Class->Info.hIcon;
        return reinterpret_cast<LRESULT>(Icon);
    }
    case WM_SETICON: {
        if (W != ICON_BIG && W != ICON_SMALL) return 0;
        HICON& Slot = W == ICON_BIG ? Win->IconBig : Win->IconSmall;
        HICON Old = Slot;
        Slot = reinterpret_cast<HICON>(L);
        return reinterpret_cast<LRESULT>(Old);
    }
    default: return 0;
    }
}

}  // namespace velmo
