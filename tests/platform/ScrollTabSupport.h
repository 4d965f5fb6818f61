// Shared by the scroll-bar and tab-control tests: an owner window class
// that records WM_HSCROLL / WM_VSCROLL and WM_NOTIFY, a message filter that
// ends a tracking loop on cue, and the checks the control suite runs too.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ui/ScrollBars.h"
#include "platform/ui/TabControl.h"
#include "tests/platform/WindowFixture.h"

namespace velmo::uitest::scrolltab {

// What the owner of bars and tabs was told.
struct TOwnerLog {
    std::vector<std::tuple<UINT, int, int, HWND>> Scrolls;  // message, code, position, control
    std::vector<int> TrackPosSeen;                         // SIF_TRACKPOS during SB_THUMBTRACK
    std::vector<std::pair<UINT, UINT_PTR>> Notes;          // NMHDR code, id
    HWND NoteFrom = nullptr;
    bool Veto = false;
    HBRUSH TrackBrush = nullptr;
    int Filtered = 0;  // messages the scroll-bar loop passed to the filter
    int Timers = 0;
    int Action = 0;  // what the filter does at the third timer: 1 lose capture, 2 quit
    std::shared_ptr<TNullHost> Host;
};
inline TOwnerLog& Log() {
    static TOwnerLog L;
    return L;
}

inline LRESULT OwnerProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    switch (Msg) {
    case WM_HSCROLL:
    case WM_VSCROLL: {
        HWND Ctl = reinterpret_cast<HWND>(L);
        Log().Scrolls.push_back({Msg, LOWORD(W), int16_t(HIWORD(W)), Ctl});
        if (LOWORD(W) == SB_THUMBTRACK) {
            SCROLLINFO I;
            I.fMask = SIF_TRACKPOS;
            GetScrollInfo(Ctl ? Ctl : Wnd, Ctl ? SB_CTL : SB_VERT, &I);
            Log().TrackPosSeen.push_back(I.nTrackPos);
        }
        if (LOWORD(W) == SB_THUMBPOSITION) SetScrollPos(Ctl ? Ctl : Wnd, Ctl ? SB_CTL : SB_VERT, HIWORD(W), TRUE);
        return 0;
    }
    case WM_NOTIFY: {
        auto* N = reinterpret_cast<const NMHDR*>(L);
        Log().Notes.push_back({N->code, N->idFrom});
        Log().NoteFrom = N->hwndFrom;
        return (N->code == TCN_SELCHANGING && Log().Veto) ? TRUE : 0;
    }
    case WM_CTLCOLORSCROLLBAR:
        if (Log().TrackBrush) return reinterpret_cast<LRESULT>(Log().TrackBrush);
        break;
    default: break;
    }
    return DefWindowProcW(Wnd, Msg, W, L);
}

inline LRESULT ScrollFilter(int Code, WPARAM W, LPARAM L) {
    auto* M = reinterpret_cast<MSG*>(L);
    if (Code == MSGF_SCROLLBAR) {
        ++Log().Filtered;
        if (M->message == WM_TIMER && ++Log().Timers == 3) {
            if (Log().Action == 1) Log().Host->LoseCapture();
            if (Log().Action == 2) PostQuitMessage(9);
        }
    }
    return CallNextHookEx(nullptr, Code, W, L);
}

inline std::vector<std::string>& Created() {
    static std::vector<std::string> C;
    return C;
}

inline LRESULT CbtRecorder(int Code, WPARAM W, LPARAM L) {
    if (Code == HCBT_CREATEWND) {
        auto* C = reinterpret_cast<CBT_CREATEWNDW*>(L);
        if (C->lpcs->lpszClass && !IS_INTRESOURCE(C->lpcs->lpszClass)) {
            std::u16string N = C->lpcs->lpszClass;
            Created().push_back(std::string(N.begin(), N.end()) + " " + std::to_string(C->lpcs->style & 0xFFFF));
        }
    }
    return CallNextHookEx(nullptr, Code, W, L);
}

using Scrolls = std::vector<std::tuple<UINT, int, int, HWND>>;

// A fresh log and the owner class (kept registered between tests).
inline void PrepareOwners(const std::shared_ptr<TNullHost>& Host) {
    Log() = TOwnerLog();
    Log().Host = Host;
    WNDCLASSEXW C;
    C.lpfnWndProc = OwnerProc;
    C.lpszClassName = u"ControlOwner";
    RegisterClassExW(&C);
}

inline HWND MakeOwner(DWORD Style, int X, int Y, int Cx, int Cy) {
    return CreateWindowExW(0, u"ControlOwner", nullptr, Style, X, Y, Cx, Cy, nullptr, nullptr, nullptr, nullptr);
}

inline HWND MakeChild(LPCWSTR Class, DWORD Style, int X, int Y, int Cx, int Cy, HWND Parent, int Id) {
    return CreateWindowExW(0, Class, nullptr, WS_CHILD | WS_VISIBLE | Style, X, Y, Cx, Cy, Parent,
                           reinterpret_cast<HMENU>(intptr_t(Id)), nullptr, nullptr);
}

// Runs the queue until it is empty.
inline void PumpAll() {
    MSG M;
    for (int I = 0; I < 10000 && PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE); ++I) {
        TranslateMessage(&M);
        DispatchMessageW(&M);
    }
}

// A thumb drag on a 200-pixel vertical frame bar (range 0..100, page 10)
// at (100, 100): SB_THUMBTRACK only when the position changes, then
// SB_THUMBPOSITION and SB_ENDSCROLL; the frame paints the bar.
inline void CheckThumbDrag(TNullHost& Host) {
    // --- A thumb drag on a window's own vertical bar. ---
    HWND Top = MakeOwner(WS_POPUP | WS_VISIBLE | WS_VSCROLL, 100, 100, 200, 200);
    ASSERT_NE(Top, nullptr);
    SCROLLINFO Si;
    Si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    Si.nMin = 0, Si.nMax = 100, Si.nPage = 10, Si.nPos = 0;
    SetScrollInfo(Top, SB_VERT, &Si, TRUE);
    SCROLLBARINFO Sb;
    ASSERT_TRUE(GetScrollBarInfo(Top, OBJID_VSCROLL, &Sb));
    EXPECT_EQ(Sb.rcScrollBar.left, 283);
    EXPECT_EQ(Sb.rcScrollBar.top, 100);
    EXPECT_EQ(Sb.rcScrollBar.right, 300);
    EXPECT_EQ(Sb.rcScrollBar.bottom, 300);
    EXPECT_EQ(Sb.rgstate[0], 0u);
    EXPECT_EQ(Sb.xyThumbTop, 17);
    EXPECT_EQ(Sb.xyThumbBottom, 33);  // 166 * 10 / 101 pixels long
    HHOOK Filter = SetWindowsHookExW(WH_MSGFILTER, ScrollFilter, nullptr, GetCurrentThreadId());

    int X = 291, Y = 100 + 25;  // the thumb's middle
    Host.MouseDown(X, Y);
    Host.MouseMove(X + 3, Y);        // sideways: same position, nothing sent
    Host.MouseMove(X, Y + 30);       // 30 of 150 pixels: position 18
    Host.MouseMove(X + 5, Y + 30);   // same position again
    Host.MouseMove(X, Y + 60);       // position 36
    Host.MouseMove(X, Y - 500);      // clamped to the top: 0
    Host.MouseMove(X, Y - 400);      // still 0
    Host.MouseUp(X, Y - 400);
    PumpAll();
    EXPECT_EQ(Log().Scrolls, (Scrolls{{WM_VSCROLL, SB_THUMBTRACK, 18, nullptr},
                                      {WM_VSCROLL, SB_THUMBTRACK, 36, nullptr},
                                      {WM_VSCROLL, SB_THUMBTRACK, 0, nullptr},
                                      {WM_VSCROLL, SB_THUMBPOSITION, 0, nullptr},
                                      {WM_VSCROLL, SB_ENDSCROLL, 0, nullptr}}));
    EXPECT_EQ(Log().TrackPosSeen, (std::vector<int>{18, 36, 0}));
    EXPECT_GE(Log().Filtered, 7);  // every move and the release went through the filter
    EXPECT_EQ(GetCapture(), nullptr);

    // A drag that ends lower keeps the position the owner set at the end.
    Log().Scrolls.clear();
    Host.MouseDown(X, Y);
    Host.MouseMove(X, Y + 1000);
    Host.MouseUp(X, Y + 1000);
    PumpAll();
    EXPECT_EQ(Log().Scrolls, (Scrolls{{WM_VSCROLL, SB_THUMBTRACK, 91, nullptr},
                                      {WM_VSCROLL, SB_THUMBPOSITION, 91, nullptr},
                                      {WM_VSCROLL, SB_ENDSCROLL, 0, nullptr}}));
    EXPECT_EQ(GetScrollPos(Top, SB_VERT), 91);
    ASSERT_TRUE(GetScrollBarInfo(Top, OBJID_VSCROLL, &Sb));
    EXPECT_EQ(Sb.xyThumbBottom, 200 - 17);

    // The frame paints the bar: the arrow's glyph in the button-text colour.
    RedrawWindow(Top, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
    EXPECT_EQ(PixelAt(Top, 191, 8), GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(PixelAt(Top, 186, 12), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(PixelAt(Top, 191, 191), GetSysColor(COLOR_BTNTEXT));
    // A press on the bar hits HTVSCROLL; a window without a horizontal bar has none.
    EXPECT_EQ(SendMessageW(Top, WM_NCHITTEST, 0, MAKELPARAM(290, 200)), HTVSCROLL);
    ASSERT_TRUE(GetScrollBarInfo(Top, OBJID_HSCROLL, &Sb));
    EXPECT_TRUE(Sb.rgstate[0] & STATE_SYSTEM_INVISIBLE);

    UnhookWindowsHookEx(Filter);
    DestroyWindow(Top);
}

// Thumb extents of a 17 x 100 vertical control over ranges, pages and
// positions; answers the bar for more checks.
inline HWND CheckThumbTable() {
    HWND Parent = MakeOwner(WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
    HWND Bar = MakeChild(u"ScrollBar", SBS_VERT, 5, 5, 17, 100, Parent, 3);
    EXPECT_NE(Bar, nullptr);
    struct TRow {
        int Min, Max;
        UINT Page;
        int Pos;
        int Top, Bottom;
    };
    const TRow Rows[] = {
        {0, 100, 10, 50, 48, 56},    // the thumb is at least 8 pixels long
        {0, 100, 0, 0, 17, 34},      // without a page: an arrow-sized thumb
        {0, 100, 0, 100, 66, 83},
        {0, 9, 5, 2, 30, 63},        // half the range in view: half the track
        {-50, 50, 0, 0, 41, 58},
        {0, 100, 10, 500, 75, 83},   // the position is kept within the range
        {0, 0, 0, 0, 0, 0},          // nothing to scroll: no thumb
        {0, 100, 101, 0, 0, 0},      // the page shows everything
    };
    for (const TRow& R : Rows) {
        SCROLLINFO I;
        I.fMask = SIF_ALL;
        I.nMin = R.Min, I.nMax = R.Max, I.nPage = R.Page, I.nPos = R.Pos;
        SetScrollInfo(Bar, SB_CTL, &I, FALSE);
        SCROLLBARINFO Sb;
        EXPECT_TRUE(GetScrollBarInfo(Bar, OBJID_CLIENT, &Sb));
        SCOPED_TRACE(std::to_string(R.Min) + ".." + std::to_string(R.Max) + " page " + std::to_string(R.Page) +
                     " pos " + std::to_string(R.Pos));
        EXPECT_EQ(Sb.rcScrollBar.left, 5);
        EXPECT_EQ(Sb.rcScrollBar.bottom, 105);
        EXPECT_EQ(Sb.dxyLineButton, 17);
        EXPECT_EQ(Sb.xyThumbTop, R.Top);
        EXPECT_EQ(Sb.xyThumbBottom, R.Bottom);
        DWORD Hidden = R.Top == R.Bottom ? STATE_SYSTEM_INVISIBLE : 0;
        EXPECT_EQ(Sb.rgstate[2] & STATE_SYSTEM_INVISIBLE, Hidden);
        EXPECT_EQ(Sb.rgstate[3] & STATE_SYSTEM_INVISIBLE, Hidden);
    }
    return Bar;
}

// TCM_ADJUSTRECT of a 300 x 200 tab control: the frame alone without
// tabs, the strip and the frame with three; answers the control.
inline HWND CheckAdjustRect(HWND Parent) {
    HWND Tab = MakeChild(WC_TABCONTROLW, 0, 10, 10, 300, 200, Parent, 42);
    EXPECT_NE(Tab, nullptr);
    // No tabs: only the frame is taken off, and given back.
    RECT R{0, 0, 300, 200};
    SendMessageW(Tab, TCM_ADJUSTRECT, FALSE, LPARAM(&R));
    EXPECT_EQ(R.left, 4);
    EXPECT_EQ(R.top, 4);
    EXPECT_EQ(R.right, 296);
    EXPECT_EQ(R.bottom, 196);
    SendMessageW(Tab, TCM_ADJUSTRECT, TRUE, LPARAM(&R));
    EXPECT_EQ(R.top, 0);
    EXPECT_EQ(R.bottom, 200);
    EXPECT_EQ(SendMessageW(Tab, TCM_GETCURSEL, 0, 0), -1);
    EXPECT_EQ(SendMessageW(Tab, TCM_GETROWCOUNT, 0, 0), 0);

    for (const char16_t* Text : {u"One", u"Two", u"Three"}) {
        TCITEMW It;
        It.mask = TCIF_TEXT | TCIF_PARAM;
        It.pszText = const_cast<LPWSTR>(Text);
        It.lParam = 100;
        SendMessageW(Tab, TCM_INSERTITEMW, SendMessageW(Tab, TCM_GETITEMCOUNT, 0, 0), LPARAM(&It));
    }
    EXPECT_EQ(SendMessageW(Tab, TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(Tab, TCM_GETCURSEL, 0, 0), 0);  // the first tab is selected
    RECT First;
    EXPECT_TRUE(SendMessageW(Tab, TCM_GETITEMRECT, 0, LPARAM(&First)));
    R = {0, 0, 300, 200};
    SendMessageW(Tab, TCM_ADJUSTRECT, FALSE, LPARAM(&R));
    EXPECT_EQ(R.top, First.bottom + 4);
    EXPECT_EQ(R.left, 4);
    EXPECT_EQ(R.right, 296);
    EXPECT_EQ(R.bottom, 196);
    SendMessageW(Tab, TCM_ADJUSTRECT, TRUE, LPARAM(&R));
    EXPECT_EQ(R.top, 0);
    EXPECT_EQ(R.bottom, 200);
    return Tab;
}

}  // namespace velmo::uitest::scrolltab
