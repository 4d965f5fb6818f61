// The default frame: hit codes and client rectangles from the styles and the
// metrics table, overrides, the system's fixed answers, Alt+F4 and caption
// buttons.
#include <gtest/gtest.h>

#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

class NonClient : public WindowTest {};
class SystemAnswers : public WindowTest {};

LRESULT Hit(HWND Wnd, int X, int Y) { return SendMessageW(Wnd, WM_NCHITTEST, 0, MAKELPARAM(X, Y)); }

TEST_F(NonClient, HitTestAndCalcSizeTables) {
    // Every window sits at (100, 100) with 300 x 200 pixels.
    struct TPoint {
        int X, Y;
        LRESULT Want;
    };
    struct TKind {
        const char* Name;
        DWORD Style;
        DWORD ExStyle;
        bool Menu;
        RECT Client;  // screen coordinates
        std::vector<TPoint> Points;
    };
    // Frame 4 (sizing) or 3 (dialog), caption 19, menu 19, client edge 2,
    // scroll bars 17, caption buttons 16 wide 2 from the frame, corners
    // reaching 18 beyond the frame.
    const TKind Kinds[] = {
        {"overlapped",
         WS_OVERLAPPEDWINDOW,
         0,
         false,
         {104, 123, 396, 296},
         {{99, 150, HTNOWHERE},      {400, 150, HTNOWHERE},    {101, 200, HTLEFT},        {398, 200, HTRIGHT},
          {250, 101, HTTOP},         {250, 298, HTBOTTOM},     {100, 100, HTTOPLEFT},     {399, 100, HTTOPRIGHT},
          {100, 299, HTBOTTOMLEFT},  {399, 299, HTBOTTOMRIGHT}, {121, 101, HTTOPLEFT},    {122, 101, HTTOP},
          {101, 121, HTTOPLEFT},     {101, 122, HTLEFT},       {398, 278, HTBOTTOMRIGHT}, {398, 277, HTRIGHT},   {110, 110, HTSYSMENU},    {121, 110, HTSYSMENU},     {122, 110, HTCAPTION},
          {250, 110, HTCAPTION},     {378, 110, HTCLOSE},      {393, 110, HTCLOSE},       {394, 110, HTCAPTION},
          {376, 110, HTCAPTION},     {360, 110, HTMAXBUTTON},  {375, 122, HTMAXBUTTON},   {344, 110, HTMINBUTTON},
          {359, 110, HTMINBUTTON},   {343, 110, HTCAPTION},    {250, 200, HTCLIENT},      {104, 123, HTCLIENT},
          {395, 295, HTCLIENT}}},
        {"dialog frame",
         WS_POPUP | WS_CAPTION | WS_SYSMENU,
         WS_EX_DLGMODALFRAME,
         false,
         {103, 122, 397, 297},
         {{101, 200, HTBORDER}, {250, 101, HTBORDER}, {100, 100, HTBORDER}, {380, 110, HTCLOSE},
          {370, 110, HTCAPTION}, {360, 110, HTCAPTION}, {110, 110, HTSYSMENU}, {250, 200, HTCLIENT}}},
        {"borderless popup",
         WS_POPUP,
         0,
         false,
         {100, 100, 400, 300},
         {{100, 100, HTCLIENT}, {399, 299, HTCLIENT}, {99, 99, HTNOWHERE}, {400, 300, HTNOWHERE}}},
        {"menu and scroll bars",
         WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_HSCROLL,
         WS_EX_CLIENTEDGE,
         true,
         {106, 144, 377, 277},
         {{250, 128, HTMENU},    {250, 123, HTMENU},    {250, 141, HTMENU},    {250, 142, HTBORDER},
          {250, 143, HTBORDER},  {105, 200, HTBORDER},  {385, 200, HTVSCROLL}, {377, 144, HTVSCROLL},
          {393, 200, HTVSCROLL}, {200, 285, HTHSCROLL}, {200, 277, HTHSCROLL}, {385, 285, HTSIZE},
          {200, 200, HTCLIENT},  {376, 276, HTCLIENT},  {250, 110, HTCAPTION}}},
    };
    for (const TKind& K : Kinds) {
        SCOPED_TRACE(K.Name);
        HWND Wnd = Make(K.Name, K.Style, 100, 100, 300, 200, nullptr, K.ExStyle,
                        K.Menu ? reinterpret_cast<HMENU>(uintptr_t(1)) : nullptr);
        ASSERT_NE(Wnd, nullptr);
        RECT Client;
        GetClientRect(Wnd, &Client);
        POINT Origin{0, 0};
        ClientToScreen(Wnd, &Origin);
        EXPECT_EQ(Origin.x, K.Client.left);
        EXPECT_EQ(Origin.y, K.Client.top);
        EXPECT_EQ(Client.right, K.Client.right - K.Client.left);
        EXPECT_EQ(Client.bottom, K.Client.bottom - K.Client.top);
        RECT R{100, 100, 400, 300};
        SendMessageW(Wnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&R));
        EXPECT_EQ(R.left, K.Client.left);
        EXPECT_EQ(R.top, K.Client.top);
        EXPECT_EQ(R.right, K.Client.right);
        EXPECT_EQ(R.bottom, K.Client.bottom);
        for (const TPoint& P : K.Points) EXPECT_EQ(Hit(Wnd, P.X, P.Y), P.Want) << P.X << "," << P.Y;
        // The frame is the inverse of the client area for the same styles.
        RECT Back = K.Client;
        if (!(K.Style & (WS_VSCROLL | WS_HSCROLL))) {
            AdjustWindowRectEx(&Back, K.Style, K.Menu, K.ExStyle);
            EXPECT_EQ(Back.left, 100);
            EXPECT_EQ(Back.top, 100);
            EXPECT_EQ(Back.right, 400);
            EXPECT_EQ(Back.bottom, 300);
        }
        DestroyWindow(Wnd);
    }
}

LRESULT Overriding(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_NCHITTEST) return HTCAPTION;
    if (Msg == WM_NCCALCSIZE) {
        // The whole window is client area, less a 10-pixel top strip.
        RECT* R = W ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(L)->rgrc[0] : reinterpret_cast<RECT*>(L);
        R->top += 10;
        return W ? WVR_VALIDRECTS : 0;
    }
    return TracingProc(Wnd, Msg, W, L);
}

TEST_F(NonClient, OverridesWinAndDefaultsAnswerAgain) {
    HWND Wnd = Make("w", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200);
    ASSERT_NE(Wnd, nullptr);
    WNDPROC Old = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(Overriding)));
    // A new frame is asked for at SWP_FRAMECHANGED and at resizing.
    SetWindowPos(Wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    RECT C;
    GetClientRect(Wnd, &C);
    EXPECT_EQ(C.right, 300);
    EXPECT_EQ(C.bottom, 190);
    SetWindowPos(Wnd, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(Wnd, &C);
    EXPECT_EQ(C.right, 320);
    EXPECT_EQ(C.bottom, 230);
    EXPECT_EQ(Hit(Wnd, 200, 200), HTCAPTION);
    // A press in the overridden caption starts the move loop.
    Pump();
    Host->MouseDown(200, 200);
    Host->MouseMove(210, 205);
    Host->MouseUp(210, 205);
    Pump();
    RECT R;
    GetWindowRect(Wnd, &R);
    EXPECT_EQ(R.left, 110);
    EXPECT_EQ(R.top, 105);
    // Put back, the defaults answer again.
    SetWindowLongPtrW(Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(Old));
    SetWindowPos(Wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    GetClientRect(Wnd, &C);
    EXPECT_EQ(C.right, 320 - 8);
    EXPECT_EQ(C.bottom, 240 - 8 - 19);
    EXPECT_EQ(Hit(Wnd, 250, 250), HTCLIENT);
}

TEST_F(NonClient, CaptionButtonsAltF4AndSizingBorders) {
    HWND Wnd = Make("w", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200);
    ASSERT_NE(Wnd, nullptr);
    Pump();
    // The right border drags the size, kept above the minimum tracking size.
    Host->MouseDown(398, 200);
    Host->MouseMove(448, 200);
    Host->MouseUp(448, 200);
    Pump();
    RECT R;
    GetWindowRect(Wnd, &R);
    EXPECT_EQ(R.right - R.left, 350);
    Host->MouseDown(101, 200);
    Host->MouseMove(500, 200);
    Host->MouseUp(500, 200);
    Pump();
    GetWindowRect(Wnd, &R);
    EXPECT_EQ(R.right - R.left, 112);
    EXPECT_EQ(R.right, 450);

    // A caption button pressed and released elsewhere does nothing; over
    // it, its command.
    Trace().clear();
    int Close = R.right - 4 - 2 - 8;
    Host->MouseDown(Close, 110);
    Host->MouseUp(Close - 100, 110);
    Pump();
    EXPECT_TRUE(IsWindow(Wnd));
    EXPECT_EQ(TraceOf({"SYSCOMMAND"}), std::vector<std::string>{});
    Host->Advance(1000);  // no double click
    Host->MouseDown(Close, 110);
    Host->MouseUp(Close, 110);
    Pump();
    EXPECT_FALSE(IsWindow(Wnd));
    EXPECT_EQ(TraceOf({"SYSCOMMAND", "CLOSE"}), (std::vector<std::string>{"w WM_SYSCOMMAND", "w WM_CLOSE"}));

    // Alt+F4 closes through the same command, with no window manager.
    HWND Other = Make("other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200);
    HWND Kid = Make("kid", WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, Other);
    SetFocus(Kid);
    Trace().clear();
    Host->KeyDown(VK_F4, true);
    Pump();
    EXPECT_FALSE(IsWindow(Other));
    EXPECT_EQ(TraceOf({"SYSKEYDOWN", "SYSCOMMAND", "CLOSE"}),
              (std::vector<std::string>{"kid WM_SYSKEYDOWN", "other WM_SYSCOMMAND", "other WM_CLOSE"}));

    // The host's quit closes the visible windows without owner.
    HWND A = Make("a", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
    HWND B = Make("b", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, A);
    HWND Hidden = Make("hidden", WS_POPUP, 0, 0, 10, 10);
    Trace().clear();
    Host->Quit();
    Pump();
    EXPECT_EQ(TraceOf({"WM_CLOSE"}), std::vector<std::string>{"a WM_CLOSE"});
    EXPECT_FALSE(IsWindow(A));
    EXPECT_FALSE(IsWindow(B));
    EXPECT_TRUE(IsWindow(Hidden));
}

TEST_F(SystemAnswers, FixedVersionMetricsColoursAndParameters) {
    DWORD V = GetVersion();
    EXPECT_EQ(V & 0xFF, 6u);
    EXPECT_EQ((V >> 8) & 0xFF, 2u);
    EXPECT_EQ(V >> 16, 9200u);
    EXPECT_EQ(V & 0x80000000u, 0u);  // the NT family

    const std::pair<int, int> Metrics[] = {
        {SM_CXSCREEN, 1280}, {SM_CYSCREEN, 1024}, {SM_CYCAPTION, 19}, {SM_CXFRAME, 4},   {SM_CXDLGFRAME, 3},
        {SM_CXBORDER, 1},    {SM_CXEDGE, 2},      {SM_CYMENU, 19},    {SM_CXVSCROLL, 17}, {SM_CYHSCROLL, 17},
        {SM_CXSIZE, 18},     {SM_CXSMICON, 16},   {SM_CYSMICON, 16},  {SM_CXICON, 32},    {SM_CXMINTRACK, 112},
        {SM_CXMAXTRACK, 1292}, {SM_CXPADDEDBORDER, 0}, {SM_CMONITORS, 1}, {-5, 0},          {1000, 0},
    };
    for (auto [Index, Want] : Metrics) EXPECT_EQ(GetSystemMetrics(Index), Want) << Index;

    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), 0x00C8D0D4u);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), 0x00FFFFFFu);
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), 0u);
    EXPECT_EQ(GetSysColor(-1), 0u);
    EXPECT_EQ(GetSysColor(31), 0u);
    EXPECT_NE(GetSysColorBrush(COLOR_BTNFACE), nullptr);
    EXPECT_EQ(GetSysColorBrush(COLOR_BTNFACE), GetSysColorBrush(COLOR_BTNFACE));
    EXPECT_EQ(GetSysColorBrush(99), nullptr);

    NONCLIENTMETRICSW M;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof M, &M, 0));
    EXPECT_EQ(M.lfMessageFont.lfFaceName, u"\u5B8B\u4F53");
    EXPECT_EQ(M.lfCaptionFont.lfWeight, FW_BOLD);
    EXPECT_EQ(M.iCaptionHeight, 18);
    M.cbSize = 3;
    EXPECT_FALSE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 0, &M, 0));

    HWND Wnd = Make("w", WS_POPUP, 0, 0, 10, 10);
    TRACKMOUSEEVENT T;
    T.dwFlags = TME_LEAVE;
    T.hwndTrack = Wnd;
    EXPECT_TRUE(TrackMouseEvent(&T));
    // The skinners' private messages reach the default procedure as nothing.
    for (UINT Msg : {0x3401u, 0x3503u, 0x3523u, 0xBC4Au, 0xBC4Bu, 0xBC4Du, 0xBC4Eu, WM_MDIGETACTIVE})
        EXPECT_EQ(DefWindowProcW(Wnd, Msg, 0, 0x41A2), 0) << Msg;
}

// No multiple-document windows exist, but a child marked WS_EX_MDICHILD is
// an ordinary child, and every WM_MDI* message, sent to it or its parent,
// comes back from the default procedure as nothing, so code written for
// such windows runs its branches harmlessly.
TEST_F(SystemAnswers, MdiMarksAndMessagesAreStubs) {
    HWND Parent = Make("parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200);
    HWND Child = Make("child", WS_CHILD | WS_VISIBLE, 5, 5, 50, 50, Parent, WS_EX_MDICHILD);
    ASSERT_TRUE(Parent && Child);
    EXPECT_EQ(DWORD(GetWindowLongPtrW(Child, GWL_EXSTYLE)) & WS_EX_MDICHILD, WS_EX_MDICHILD);
    EXPECT_EQ(GetParent(Child), Parent);
    Pump();
    for (UINT Msg : {WM_MDICREATE, WM_MDIDESTROY, WM_MDIACTIVATE, WM_MDIRESTORE, WM_MDINEXT, WM_MDIMAXIMIZE,
                     WM_MDITILE, WM_MDICASCADE, WM_MDIICONARRANGE, WM_MDIGETACTIVE, WM_MDISETMENU,
                     WM_MDIREFRESHMENU}) {
        EXPECT_EQ(SendMessageW(Child, Msg, WPARAM(Child), 0), 0) << Msg;
        EXPECT_EQ(SendMessageW(Parent, Msg, WPARAM(Child), 0), 0) << Msg;
    }
    // Nothing was made, moved or destroyed by them.
    EXPECT_TRUE(IsWindow(Child));
    EXPECT_TRUE(IsWindowVisible(Child));
    RECT R;
    GetWindowRect(Child, &R);
    POINT P{R.left, R.top};
    ScreenToClient(Parent, &P);
    EXPECT_EQ(P.x, 5);
    EXPECT_EQ(P.y, 5);
}

}  // namespace
}  // namespace velmo::uitest
