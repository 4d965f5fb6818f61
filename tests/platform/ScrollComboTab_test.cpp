// Scroll bars (frame bars and the control), their tracking loop, their
// information, and the tab control's layout, display area and selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ui/ScrollBars.h"
#include "platform/ui/TabControl.h"
#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

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
TOwnerLog& Log() {
    static TOwnerLog L;
    return L;
}

LRESULT OwnerProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
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

LRESULT ScrollFilter(int Code, WPARAM W, LPARAM L) {
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

std::vector<std::string>& Created() {
    static std::vector<std::string> C;
    return C;
}

LRESULT CbtRecorder(int Code, WPARAM W, LPARAM L) {
    if (Code == HCBT_CREATEWND) {
        auto* C = reinterpret_cast<CBT_CREATEWNDW*>(L);
        if (C->lpcs->lpszClass && !IS_INTRESOURCE(C->lpcs->lpszClass)) {
            std::u16string N = C->lpcs->lpszClass;
            Created().push_back(std::string(N.begin(), N.end()) + " " + std::to_string(C->lpcs->style & 0xFFFF));
        }
    }
    return CallNextHookEx(nullptr, Code, W, L);
}

class Controls : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Log() = TOwnerLog();
        Log().Host = Host;
        WNDCLASSEXW C;
        C.lpfnWndProc = OwnerProc;
        C.lpszClassName = u"ControlOwner";
        RegisterClassExW(&C);
    }
    void TearDown() override {
        WindowTest::TearDown();
        UnregisterClassW(u"ControlOwner", nullptr);
        Log().Host.reset();
    }
    HWND Owner(DWORD Style, int X, int Y, int Cx, int Cy) {
        return CreateWindowExW(0, u"ControlOwner", nullptr, Style, X, Y, Cx, Cy, nullptr, nullptr, nullptr, nullptr);
    }
    HWND Child(LPCWSTR Class, DWORD Style, int X, int Y, int Cx, int Cy, HWND Parent, int Id) {
        return CreateWindowExW(0, Class, nullptr, WS_CHILD | WS_VISIBLE | Style, X, Y, Cx, Cy, Parent,
                               reinterpret_cast<HMENU>(intptr_t(Id)), nullptr, nullptr);
    }
};

using Scrolls = std::vector<std::tuple<UINT, int, int, HWND>>;

TEST_F(Controls, ScrollComboTab) {
    // --- A thumb drag on a window's own vertical bar. ---
    HWND Top = Owner(WS_POPUP | WS_VISIBLE | WS_VSCROLL, 100, 100, 200, 200);
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
    Host->MouseDown(X, Y);
    Host->MouseMove(X + 3, Y);        // sideways: same position, nothing sent
    Host->MouseMove(X, Y + 30);       // 30 of 150 pixels: position 18
    Host->MouseMove(X + 5, Y + 30);   // same position again
    Host->MouseMove(X, Y + 60);       // position 36
    Host->MouseMove(X, Y - 500);      // clamped to the top: 0
    Host->MouseMove(X, Y - 400);      // still 0
    Host->MouseUp(X, Y - 400);
    Pump();
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
    Host->MouseDown(X, Y);
    Host->MouseMove(X, Y + 1000);
    Host->MouseUp(X, Y + 1000);
    Pump();
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

    // --- Arrows repeat on the timer until the capture is lost. ---
    HWND Parent = Owner(WS_POPUP | WS_VISIBLE, 400, 100, 300, 300);
    HWND Horz = Child(u"scrollbar", SBS_HORZ, 10, 10, 200, 17, Parent, 7);
    ASSERT_NE(Horz, nullptr);
    SetScrollRange(Horz, SB_CTL, 0, 50, TRUE);
    Log().Scrolls.clear();
    Log().Filtered = 0;
    Log().Action = 1;
    Host->MouseDown(400 + 10 + 195, 100 + 10 + 8);  // the right arrow
    Pump();
    Scrolls Repeated(4, {WM_HSCROLL, SB_LINEDOWN, 0, Horz});  // the press and three repeats
    Repeated.push_back({WM_HSCROLL, SB_ENDSCROLL, 0, Horz});
    EXPECT_EQ(Log().Scrolls, Repeated);
    EXPECT_EQ(GetCapture(), nullptr);

    // --- A WM_QUIT ends the loop and is posted again. ---
    Log().Scrolls.clear();
    Log().Timers = 0;
    Log().Action = 2;
    Host->MouseUp(0, 0);
    Host->MouseDown(400 + 10 + 150, 100 + 10 + 8);  // the track after the thumb
    MSG M;
    bool Quit = false;
    for (int I = 0; I < 1000 && PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE); ++I) {
        if (M.message == WM_QUIT) {
            Quit = true;
            EXPECT_EQ(M.wParam, 9u);
            break;
        }
        DispatchMessageW(&M);
    }
    EXPECT_TRUE(Quit);
    ASSERT_FALSE(Log().Scrolls.empty());
    EXPECT_EQ(Log().Scrolls.front(), std::make_tuple(WM_HSCROLL, int(SB_PAGEDOWN), 0, Horz));
    EXPECT_EQ(Log().Scrolls.back(), std::make_tuple(WM_HSCROLL, int(SB_ENDSCROLL), 0, Horz));
    UnhookWindowsHookEx(Filter);
    Host->MouseUp(0, 0);
    Pump();

    // The control's track is painted with the owner's WM_CTLCOLORSCROLLBAR brush.
    Log().TrackBrush = CreateSolidBrush(0x0000FF);
    InvalidateRect(Horz, nullptr, TRUE);
    UpdateWindow(Parent);
    EXPECT_EQ(PixelAt(Parent, 10 + 150, 10 + 8), COLORREF(0x0000FF));
    EXPECT_NE(PixelAt(Parent, 10 + 20, 10 + 8), COLORREF(0x0000FF));  // the thumb at position 0
    DeleteObject(Log().TrackBrush);
    Log().TrackBrush = nullptr;
}

// Thumb extents of a 17 x 100 vertical control over ranges, pages and positions.
TEST_F(Controls, ScrollBarInfoThumbTable) {
    HWND Parent = Owner(WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
    HWND Bar = Child(u"ScrollBar", SBS_VERT, 5, 5, 17, 100, Parent, 3);
    ASSERT_NE(Bar, nullptr);
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
        ASSERT_TRUE(GetScrollBarInfo(Bar, OBJID_CLIENT, &Sb));
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
    // A bar shorter than two arrows halves them and has no thumb.
    HWND Short = Child(u"ScrollBar", SBS_VERT, 30, 5, 17, 30, Parent, 4);
    SetScrollRange(Short, SB_CTL, 0, 100, FALSE);
    SCROLLBARINFO Sb;
    ASSERT_TRUE(GetScrollBarInfo(Short, OBJID_CLIENT, &Sb));
    EXPECT_EQ(Sb.dxyLineButton, 15);
    EXPECT_EQ(Sb.xyThumbTop, Sb.xyThumbBottom);

    // Disabled arrows and a disabled control.
    SetScrollRange(Bar, SB_CTL, 0, 100, FALSE);
    EXPECT_TRUE(EnableScrollBar(Bar, SB_CTL, ESB_DISABLE_UP));
    ASSERT_TRUE(GetScrollBarInfo(Bar, OBJID_CLIENT, &Sb));
    EXPECT_EQ(Sb.rgstate[1], STATE_SYSTEM_UNAVAILABLE);
    EXPECT_EQ(Sb.rgstate[5], 0u);
    EXPECT_FALSE(EnableScrollBar(Bar, SB_CTL, ESB_DISABLE_UP));  // no change
    EnableScrollBar(Bar, SB_CTL, ESB_ENABLE_BOTH);
    EnableWindow(Bar, FALSE);
    ASSERT_TRUE(GetScrollBarInfo(Bar, OBJID_CLIENT, &Sb));
    EXPECT_TRUE(Sb.rgstate[0] & STATE_SYSTEM_UNAVAILABLE);
    EXPECT_EQ(Sb.xyThumbTop, Sb.xyThumbBottom);

    // Range, position and the old answers of the short calls.
    EnableWindow(Bar, TRUE);
    SetScrollRange(Bar, SB_CTL, 10, 20, FALSE);
    // The page kept from before (all of the range) leaves one position.
    EXPECT_EQ(SetScrollPos(Bar, SB_CTL, 15, FALSE), 10);
    EXPECT_EQ(GetScrollPos(Bar, SB_CTL), 10);
    SCROLLINFO NoPage;
    NoPage.fMask = SIF_PAGE;
    SetScrollInfo(Bar, SB_CTL, &NoPage, FALSE);
    EXPECT_EQ(SetScrollPos(Bar, SB_CTL, 15, FALSE), 10);
    EXPECT_EQ(SetScrollPos(Bar, SB_CTL, 99, FALSE), 15);
    EXPECT_EQ(GetScrollPos(Bar, SB_CTL), 20);
    int Lo = 0, Hi = 0;
    EXPECT_TRUE(GetScrollRange(Bar, SB_CTL, &Lo, &Hi));
    EXPECT_EQ(std::make_pair(Lo, Hi), std::make_pair(10, 20));
}

// A window's bar comes and goes with what there is to scroll.
TEST_F(Controls, WindowBarsFollowTheirRange) {
    Created().clear();
    HHOOK Cbt = SetWindowsHookExW(WH_CBT, CbtRecorder, nullptr, GetCurrentThreadId());
    HWND Top = Owner(WS_POPUP | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 200, 150);
    HWND Grip = Child(u"ScrollBar", SBS_SIZEGRIP, 183, 133, 17, 17, Top, 1);
    UnhookWindowsHookEx(Cbt);
    ASSERT_NE(Grip, nullptr);
    EXPECT_NE(std::find(Created().begin(), Created().end(), "ScrollBar " + std::to_string(SBS_SIZEGRIP)),
              Created().end());
    RECT C;
    GetClientRect(Top, &C);
    EXPECT_EQ(C.right, 183);
    EXPECT_EQ(C.bottom, 133);

    SCROLLINFO I;
    I.fMask = SIF_RANGE | SIF_PAGE;
    I.nMin = 0, I.nMax = 9, I.nPage = 20;
    SetScrollInfo(Top, SB_VERT, &I, TRUE);
    EXPECT_FALSE(GetWindowLongPtrW(Top, GWL_STYLE) & WS_VSCROLL);
    GetClientRect(Top, &C);
    EXPECT_EQ(C.right, 200);

    I.fMask |= SIF_DISABLENOSCROLL;
    SetScrollInfo(Top, SB_VERT, &I, TRUE);
    EXPECT_TRUE(GetWindowLongPtrW(Top, GWL_STYLE) & WS_VSCROLL);
    SCROLLBARINFO Sb;
    ASSERT_TRUE(GetScrollBarInfo(Top, OBJID_VSCROLL, &Sb));
    EXPECT_EQ(Sb.rgstate[0], STATE_SYSTEM_UNAVAILABLE);
    EXPECT_EQ(Sb.rgstate[1], STATE_SYSTEM_UNAVAILABLE);

    I.fMask = SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL;
    I.nMax = 99;
    SetScrollInfo(Top, SB_VERT, &I, TRUE);
    ASSERT_TRUE(GetScrollBarInfo(Top, OBJID_VSCROLL, &Sb));
    EXPECT_EQ(Sb.rgstate[0], 0u);
    EXPECT_LT(Sb.xyThumbTop, Sb.xyThumbBottom);

    ShowScrollBar(Top, SB_BOTH, FALSE);
    GetClientRect(Top, &C);
    EXPECT_EQ(C.right, 200);
    EXPECT_EQ(C.bottom, 150);
    ASSERT_TRUE(GetScrollBarInfo(Top, OBJID_HSCROLL, &Sb));
    EXPECT_TRUE(Sb.rgstate[0] & STATE_SYSTEM_INVISIBLE);
}

// ---------------------------------------------------------------------------
TEST_F(Controls, TabControlLayoutAndSelection) {
    HWND Parent = Owner(WS_POPUP | WS_VISIBLE, 50, 50, 400, 300);
    HWND Tab = Child(WC_TABCONTROLW, 0, 10, 10, 300, 200, Parent, 42);
    ASSERT_NE(Tab, nullptr);

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
    EXPECT_EQ(SendMessageW(Tab, TCM_GETROWCOUNT, 0, 0), 1);
    RECT Items[3];
    for (int I = 0; I < 3; ++I) ASSERT_TRUE(SendMessageW(Tab, TCM_GETITEMRECT, I, LPARAM(&Items[I])));
    EXPECT_FALSE(SendMessageW(Tab, TCM_GETITEMRECT, 3, LPARAM(&R)));
    for (int I = 1; I < 3; ++I) {
        EXPECT_EQ(Items[I].left, Items[I - 1].right);
        EXPECT_EQ(Items[I].top, Items[0].top);
        EXPECT_EQ(Items[I].bottom, Items[0].bottom);
    }
    EXPECT_GT(Items[0].bottom, Items[0].top);
    R = {0, 0, 300, 200};
    SendMessageW(Tab, TCM_ADJUSTRECT, FALSE, LPARAM(&R));
    EXPECT_EQ(R.top, Items[0].bottom + 4);
    EXPECT_EQ(R.left, 4);
    EXPECT_EQ(R.right, 296);
    EXPECT_EQ(R.bottom, 196);
    SendMessageW(Tab, TCM_ADJUSTRECT, TRUE, LPARAM(&R));
    EXPECT_EQ(R.top, 0);

    // A fixed tab height, and the strip on the other sides.
    SendMessageW(Tab, TCM_SETITEMSIZE, 0, MAKELPARAM(0, 24));
    struct TSideCase {
        DWORD Style;
        RECT Display;
    };
    const TSideCase Sides[] = {
        {0, {4, 30, 296, 196}},
        {TCS_BOTTOM, {4, 4, 296, 170}},
    };
    for (const TSideCase& S : Sides) {
        SetWindowLongPtrW(Tab, GWL_STYLE, WS_CHILD | WS_VISIBLE | S.Style);
        R = {0, 0, 300, 200};
        SendMessageW(Tab, TCM_ADJUSTRECT, FALSE, LPARAM(&R));
        EXPECT_EQ(R.left, S.Display.left);
        EXPECT_EQ(R.top, S.Display.top);
        EXPECT_EQ(R.right, S.Display.right);
        EXPECT_EQ(R.bottom, S.Display.bottom);
    }
    SetWindowLongPtrW(Tab, GWL_STYLE, WS_CHILD | WS_VISIBLE | TCS_VERTICAL);
    ASSERT_TRUE(SendMessageW(Tab, TCM_GETITEMRECT, 1, LPARAM(&R)));
    EXPECT_EQ(R.right - R.left, 24);  // tabs stacked down the left side
    SetWindowLongPtrW(Tab, GWL_STYLE, WS_CHILD | WS_VISIBLE);
    for (int I = 0; I < 3; ++I) SendMessageW(Tab, TCM_GETITEMRECT, I, LPARAM(&Items[I]));

    // Hit test in client coordinates.
    TCHITTESTINFO Hit;
    Hit.pt = {(Items[2].left + Items[2].right) / 2, (Items[2].top + Items[2].bottom) / 2};
    EXPECT_EQ(SendMessageW(Tab, TCM_HITTEST, 0, LPARAM(&Hit)), 2);
    EXPECT_EQ(Hit.flags, TCHT_ONITEM);
    Hit.pt = {150, 150};
    EXPECT_EQ(SendMessageW(Tab, TCM_HITTEST, 0, LPARAM(&Hit)), -1);
    EXPECT_EQ(Hit.flags, TCHT_NOWHERE);

    // A click: TCN_SELCHANGING, then TCN_SELCHANGE; a veto keeps the tab.
    auto Click = [&](int Index) {
        int X = 50 + 10 + (Items[Index].left + Items[Index].right) / 2;
        int Y = 50 + 10 + (Items[Index].top + Items[Index].bottom) / 2;
        Host->MouseDown(X, Y);
        Host->MouseUp(X, Y);
        Pump();
    };
    Click(1);
    using Notes = std::vector<std::pair<UINT, UINT_PTR>>;
    EXPECT_EQ(Log().Notes, (Notes{{TCN_SELCHANGING, 42}, {TCN_SELCHANGE, 42}}));
    EXPECT_EQ(Log().NoteFrom, Tab);
    EXPECT_EQ(SendMessageW(Tab, TCM_GETCURSEL, 0, 0), 1);
    Log().Notes.clear();
    Log().Veto = true;
    Click(2);
    EXPECT_EQ(Log().Notes, (Notes{{TCN_SELCHANGING, 42}}));
    EXPECT_EQ(SendMessageW(Tab, TCM_GETCURSEL, 0, 0), 1);
    Log().Veto = false;
    Log().Notes.clear();
    Click(1);  // the selected tab again: nothing to announce
    EXPECT_TRUE(Log().Notes.empty());

    // Setting the selection announces nothing.
    EXPECT_EQ(SendMessageW(Tab, TCM_SETCURSEL, 2, 0), 1);
    EXPECT_EQ(SendMessageW(Tab, TCM_GETCURFOCUS, 0, 0), 2);
    EXPECT_EQ(SendMessageW(Tab, TCM_SETCURSEL, 7, 0), -1);
    EXPECT_TRUE(Log().Notes.empty());

    // Items read back, the text cut to the caller's buffer.
    char16_t Buf[4] = {};
    TCITEMW Got;
    Got.mask = TCIF_TEXT | TCIF_PARAM;
    Got.pszText = Buf;
    Got.cchTextMax = 4;
    ASSERT_TRUE(SendMessageW(Tab, TCM_GETITEMW, 2, LPARAM(&Got)));
    EXPECT_EQ(std::u16string(Buf), u"Thr");
    EXPECT_EQ(Got.lParam, 100);

    // Deleting the selected tab leaves none selected; later ones move down.
    EXPECT_TRUE(SendMessageW(Tab, TCM_DELETEITEM, 2, 0));
    EXPECT_EQ(SendMessageW(Tab, TCM_GETCURSEL, 0, 0), -1);
    SendMessageW(Tab, TCM_SETCURSEL, 1, 0);
    EXPECT_TRUE(SendMessageW(Tab, TCM_DELETEITEM, 0, 0));
    EXPECT_EQ(SendMessageW(Tab, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_FALSE(SendMessageW(Tab, TCM_DELETEITEM, 5, 0));

    // Many tabs in a narrow multi-line control wrap into rows inside it.
    HWND Multi = Child(WC_TABCONTROLW, TCS_MULTILINE, 10, 220, 120, 60, Parent, 43);
    for (int I = 0; I < 6; ++I) {
        TCITEMW It;
        It.mask = TCIF_TEXT;
        It.pszText = const_cast<LPWSTR>(u"Page");
        SendMessageW(Multi, TCM_INSERTITEMW, I, LPARAM(&It));
    }
    EXPECT_GT(SendMessageW(Multi, TCM_GETROWCOUNT, 0, 0), 1);
    for (int I = 0; I < 6; ++I) {
        SendMessageW(Multi, TCM_GETITEMRECT, I, LPARAM(&R));
        EXPECT_LE(R.right, 120 - 2);
    }

    // The plain look paints the control.
    UpdateWindow(Parent);
    EXPECT_EQ(PixelAt(Parent, 10 + 150, 10 + 150), GetSysColor(COLOR_BTNFACE));
}

}  // namespace
}  // namespace velmo::uitest
