// Creation, activation, focus and destruction through the CBT hook, and the
// message filter of nested loops.
#include <gtest/gtest.h>

#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

class WindowHooks : public WindowTest {};

struct THookState {
    HHOOK First = nullptr;
    HHOOK Second = nullptr;
    int Veto = -1;              // the HCBT_ code the first hook refuses
    bool SecondSwallows = false;
    CREATESTRUCTW Seen;
    std::u16string SeenClass;
    std::vector<std::pair<int, UINT>> Filtered;
    UINT FilterRefuses = 0;
};
THookState& Hooks() {
    static THookState S;
    return S;
}

const char* CbtName(int Code) {
    switch (Code) {
    case HCBT_CREATEWND: return "CREATEWND";
    case HCBT_DESTROYWND: return "DESTROYWND";
    case HCBT_ACTIVATE: return "ACTIVATE";
    case HCBT_SETFOCUS: return "SETFOCUS";
    case HCBT_MINMAX: return "MINMAX";
    default: return "OTHER";
    }
}

LRESULT FirstCbt(int Code, WPARAM W, LPARAM L) {
    HWND Wnd = reinterpret_cast<HWND>(W);
    Trace().push_back(std::string("cbt1 ") + CbtName(Code) + " " + NameOf(Wnd));
    if (Code == HCBT_CREATEWND) {
        auto* C = reinterpret_cast<CBT_CREATEWNDW*>(L);
        Hooks().Seen = *C->lpcs;
        Hooks().SeenClass = C->lpcs->lpszClass;
    }
    if (Code == Hooks().Veto) return 1;
    return CallNextHookEx(Hooks().First, Code, W, L);
}

LRESULT SecondCbt(int Code, WPARAM W, LPARAM L) {
    Trace().push_back(std::string("cbt2 ") + CbtName(Code));
    if (Hooks().SecondSwallows) return 1;
    return CallNextHookEx(Hooks().Second, Code, W, L);
}

LRESULT Filter(int Code, WPARAM, LPARAM L) {
    auto* M = reinterpret_cast<MSG*>(L);
    Hooks().Filtered.push_back({Code, M->message});
    return M->message == Hooks().FilterRefuses ? 1 : 0;
}

TEST_F(WindowHooks, CbtOrderVetoAndChain) {
    Hooks() = THookState();
    Hooks().First = SetWindowsHookExW(WH_CBT, FirstCbt, nullptr, GetCurrentThreadId());
    ASSERT_NE(Hooks().First, nullptr);

    // Creation: the hook, then the window's first messages in order; the
    // hook sees the creation parameters.
    HWND Frame = Make("frame", WS_OVERLAPPEDWINDOW, 10, 20, 400, 300);
    ASSERT_NE(Frame, nullptr);
    EXPECT_EQ(Hooks().SeenClass, u"Traced");
    EXPECT_EQ(DWORD(Hooks().Seen.style), WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(Hooks().Seen.cx, 400);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"cbt1 CREATEWND frame", "frame WM_GETMINMAXINFO",
                                                 "frame WM_NCCREATE", "frame WM_NCCALCSIZE", "frame WM_CREATE",
                                                 "frame WM_SIZE", "frame WM_MOVE"}));
    HWND Kid = Make("kid", WS_CHILD | WS_VISIBLE, 5, 5, 50, 50, Frame);
    ASSERT_NE(Kid, nullptr);

    // Showing activates: hook, then non-client and client activation, then focus.
    Trace().clear();
    ShowWindow(Frame, SW_SHOW);
    EXPECT_EQ(TraceOf({"ACTIVATE", "WM_NCACTIVATE", "WM_ACTIVATE", "SETFOCUS"}),
              (std::vector<std::string>{"cbt1 ACTIVATE frame", "frame WM_ACTIVATEAPP", "frame WM_NCACTIVATE",
                                        "frame WM_ACTIVATE", "cbt1 SETFOCUS frame", "frame WM_SETFOCUS"}));
    EXPECT_EQ(GetActiveWindow(), Frame);
    EXPECT_EQ(GetFocus(), Frame);
    EXPECT_EQ(Host->Calls().back().What, "activated");

    // Vetoes: no window and no message; no activation; no focus change; no
    // destruction.
    Hooks().Veto = HCBT_CREATEWND;
    Trace().clear();
    EXPECT_EQ(Make("vetoed", WS_OVERLAPPED, 0, 0, 10, 10), nullptr);
    EXPECT_EQ(TraceOf({"vetoed WM_"}), std::vector<std::string>{});
    Hooks().Veto = HCBT_ACTIVATE;
    HWND Other = Make("other", WS_POPUP, 0, 0, 10, 10);
    ShowWindow(Other, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(Other));
    EXPECT_EQ(GetActiveWindow(), Frame);
    EXPECT_EQ(TraceOf({"other WM_ACTIVATE", "frame WM_NCACTIVATE"}), std::vector<std::string>{});
    Hooks().Veto = HCBT_SETFOCUS;
    EXPECT_EQ(SetFocus(Kid), nullptr);
    EXPECT_EQ(GetFocus(), Frame);
    Hooks().Veto = HCBT_DESTROYWND;
    EXPECT_FALSE(DestroyWindow(Frame));
    EXPECT_TRUE(IsWindow(Frame));
    EXPECT_TRUE(IsWindow(Kid));
    Hooks().Veto = -1;
    EXPECT_EQ(SetFocus(Kid), Frame);
    EXPECT_EQ(GetFocus(), Kid);

    // Two hooks: the newer runs first and passes on to the older; one that
    // answers without passing on decides alone.
    Hooks().Second = SetWindowsHookExW(WH_CBT, SecondCbt, nullptr, 0);
    Trace().clear();
    SetFocus(Frame);
    EXPECT_EQ(TraceOf({"cbt"}), (std::vector<std::string>{"cbt2 SETFOCUS", "cbt1 SETFOCUS frame"}));
    Hooks().SecondSwallows = true;
    Trace().clear();
    EXPECT_EQ(SetFocus(Kid), nullptr);
    EXPECT_EQ(TraceOf({"cbt"}), std::vector<std::string>{"cbt2 SETFOCUS"});
    Hooks().SecondSwallows = false;
    EXPECT_TRUE(UnhookWindowsHookEx(Hooks().Second));
    EXPECT_FALSE(UnhookWindowsHookEx(Hooks().Second));

    // Destruction: the hook, then WM_DESTROY parent first and WM_NCDESTROY
    // child first.
    Trace().clear();
    EXPECT_TRUE(DestroyWindow(Frame));
    EXPECT_EQ(TraceOf({"DESTROY"}),
              (std::vector<std::string>{"cbt1 DESTROYWND frame", "frame WM_DESTROY", "kid WM_DESTROY",
                                        "kid WM_NCDESTROY", "frame WM_NCDESTROY"}));
    EXPECT_FALSE(IsWindow(Frame));
    EXPECT_FALSE(IsWindow(Kid));
    EXPECT_TRUE(UnhookWindowsHookEx(Hooks().First));
}

TEST_F(WindowHooks, MessageFilterSeesEveryMessageOfNestedLoops) {
    Hooks() = THookState();
    HHOOK H = SetWindowsHookExW(WH_MSGFILTER, Filter, nullptr, GetCurrentThreadId());
    ASSERT_NE(H, nullptr);
    HWND Wnd = Make("w", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200);
    ASSERT_NE(Wnd, nullptr);
    Pump();
    Hooks().Filtered.clear();

    // A loop of the layer's own: the filter sees each message with the
    // loop's code before the loop does; what it takes, the loop never sees.
    PostMessageW(Wnd, WM_USER + 1, 0, 0);
    PostMessageW(Wnd, WM_USER + 2, 0, 0);
    PostMessageW(Wnd, WM_USER + 3, 0, 0);
    SetTimer(Wnd, 4, 50, nullptr);
    Hooks().FilterRefuses = WM_USER + 2;
    std::vector<UINT> Handled;
    RunNestedLoop(MSGF_MENU, [&](MSG& M) {
        Handled.push_back(M.message);
        return M.message != WM_TIMER;
    });
    KillTimer(Wnd, 4);
    EXPECT_EQ(Hooks().Filtered, (std::vector<std::pair<int, UINT>>{
                                    {MSGF_MENU, WM_USER + 1}, {MSGF_MENU, WM_USER + 2},
                                    {MSGF_MENU, WM_USER + 3}, {MSGF_MENU, WM_TIMER}}));
    EXPECT_EQ(Handled, (std::vector<UINT>{WM_USER + 1, WM_USER + 3, WM_TIMER}));

    // The move loop behind a caption drag passes its messages with MSGF_SIZE.
    Hooks().Filtered.clear();
    Hooks().FilterRefuses = 0;
    Host->MouseDown(200, 110);
    Host->MouseMove(230, 140);
    Host->MouseUp(230, 140);
    Pump();
    RECT R;
    GetWindowRect(Wnd, &R);
    EXPECT_EQ(R.left, 130);
    EXPECT_EQ(R.top, 130);
    ASSERT_EQ(Hooks().Filtered.size(), 2u);
    EXPECT_EQ(Hooks().Filtered[0], (std::pair<int, UINT>{MSGF_SIZE, WM_MOUSEMOVE}));
    EXPECT_EQ(Hooks().Filtered[1], (std::pair<int, UINT>{MSGF_SIZE, WM_LBUTTONUP}));
    EXPECT_TRUE(UnhookWindowsHookEx(H));
}

}  // namespace
}  // namespace velmo::uitest
