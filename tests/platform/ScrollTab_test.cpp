// Scroll bars (frame bars and the control) with their tracking loop and
// information, and the tab control's layout and selection. The control
// suite runs the checks of ScrollTabSupport.h too.
#include <gtest/gtest.h>

#include "tests/platform/ScrollTabSupport.h"

namespace velmo::uitest {
namespace {

using namespace scrolltab;

class ScrollTab : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        PrepareOwners(Host);
    }
    void TearDown() override {
        WindowTest::TearDown();
        Log().Host.reset();
    }
};

// Arrows and pages repeat on a timer; the loop ends on capture loss and
// on WM_QUIT, which is posted again; the owner's brush paints the track.
TEST_F(ScrollTab, RepeatCaptureLossQuitAndLook) {
    HHOOK Filter = SetWindowsHookExW(WH_MSGFILTER, ScrollFilter, nullptr, GetCurrentThreadId());
    // --- Arrows repeat on the timer until the capture is lost. ---
    HWND Parent = MakeOwner(WS_POPUP | WS_VISIBLE, 400, 100, 300, 300);
    HWND Horz = MakeChild(u"scrollbar", SBS_HORZ, 10, 10, 200, 17, Parent, 7);
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

TEST_F(ScrollTab, ThumbTableDisabledAndShortBars) {
    HWND Bar = CheckThumbTable();
    ASSERT_NE(Bar, nullptr);
    HWND Parent = GetParent(Bar);
    // A bar shorter than two arrows halves them and has no thumb.
    HWND Short = MakeChild(u"ScrollBar", SBS_VERT, 30, 5, 17, 30, Parent, 4);
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
TEST_F(ScrollTab, WindowBarsFollowTheirRange) {
    Created().clear();
    HHOOK Cbt = SetWindowsHookExW(WH_CBT, CbtRecorder, nullptr, GetCurrentThreadId());
    HWND Top = MakeOwner(WS_POPUP | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 200, 150);
    HWND Grip = MakeChild(u"ScrollBar", SBS_SIZEGRIP, 183, 133, 17, 17, Top, 1);
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
TEST_F(ScrollTab, TabControlLayoutAndSelection) {
    HWND Parent = MakeOwner(WS_POPUP | WS_VISIBLE, 50, 50, 400, 300);
    HWND Tab = CheckAdjustRect(Parent);
    ASSERT_NE(Tab, nullptr);
    RECT R;
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
    HWND Multi = MakeChild(WC_TABCONTROLW, TCS_MULTILINE, 10, 220, 120, 60, Parent, 43);
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
