// Queue order, timers on the virtual clock, nested loops and WM_QUIT,
// PeekMessage-only loops, and messages from other threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

class MessageLoop : public WindowTest {};

struct TLoopState {
    DWORD Start = 0;
    std::vector<std::pair<UINT_PTR, DWORD>> Fired;  // timer id, virtual ms since start
    bool NestedResult = true;
    bool NestedEnded = false;
};
TLoopState& Loop() {
    static TLoopState S;
    return S;
}

LRESULT LoopProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_TIMER) {
        Loop().Fired.push_back({W, GetTickCount() - Loop().Start});
        if (W == 8) KillTimer(Wnd, 8);  // a one-shot
        if (W == 7 && GetTickCount() - Loop().Start >= 300) PostQuitMessage(5);
        return 0;
    }
    if (Msg == WM_USER) {
        // A loop of its own inside the outer one.
        Loop().NestedResult = RunNestedLoop(MSGF_DIALOGBOX, [](MSG& M) {
            DispatchMessageW(&M);
            return true;
        });
        Loop().NestedEnded = true;
        return 0;
    }
    return DefWindowProcW(Wnd, Msg, W, L);
}

TEST_F(MessageLoop, TimersNestedLoopsAndQuit) {
    WNDCLASSEXW C;
    C.lpfnWndProc = LoopProc;
    C.lpszClassName = u"Looping";
    ASSERT_NE(RegisterClassExW(&C), 0);
    HWND Wnd = CreateWindowExW(0, u"Looping", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(Wnd, nullptr);
    Loop() = TLoopState();
    Loop().Start = GetTickCount();
    EXPECT_EQ(SetTimer(Wnd, 7, 100, nullptr), 7u);
    EXPECT_EQ(SetTimer(Wnd, 8, 150, nullptr), 8u);
    PostMessageW(Wnd, WM_USER, 0, 0);

    // The outer loop; the nested one runs inside its first message. Time
    // moves only by waiting, straight to each due timer.
    MSG M;
    BOOL Got;
    int Outer = 0;
    while ((Got = GetMessageW(&M, nullptr, 0, 0)) > 0 && Outer < 100) {
        ++Outer;
        DispatchMessageW(&M);
    }
    EXPECT_EQ(Got, FALSE);
    EXPECT_EQ(M.message, WM_QUIT);
    EXPECT_EQ(M.wParam, 5u);
    EXPECT_EQ(Outer, 1);  // the quit met in the nested loop ended the outer one next
    EXPECT_TRUE(Loop().NestedEnded);
    EXPECT_FALSE(Loop().NestedResult);
    EXPECT_EQ(Loop().Fired, (std::vector<std::pair<UINT_PTR, DWORD>>{{7, 100}, {8, 150}, {7, 200}, {7, 300}}));
    EXPECT_EQ(GetTickCount() - Loop().Start, 300u);  // no real time went by

    // Without a window: a fresh identifier, and the procedure is called.
    static int Calls;
    Calls = 0;
    UINT_PTR Id = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) { ++Calls; });
    EXPECT_NE(Id, 0u);
    for (int I = 0; I < 3 && GetMessageW(&M, nullptr, 0, 0) > 0; ++I) DispatchMessageW(&M);
    EXPECT_EQ(Calls, 3);
    EXPECT_TRUE(KillTimer(nullptr, Id));
    // A message of a killed timer still queued calls nothing.
    M.hwnd = nullptr;
    M.message = WM_TIMER;
    M.wParam = Id;
    DispatchMessageW(&M);
    EXPECT_EQ(Calls, 3);

    KillTimer(Wnd, 7);
    DestroyWindow(Wnd);
    UnregisterClassW(u"Looping", nullptr);
}

TEST_F(MessageLoop, QueueOrderAndFilters) {
    HWND Wnd = Make("w", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND Kid = Make("kid", WS_CHILD | WS_VISIBLE, 50, 50, 20, 20, Wnd);
    Pump();
    SetTimer(Wnd, 1, 10, nullptr);
    Host->Advance(10);
    Host->MouseMove(5, 5);
    PostQuitMessage(3);
    PostMessageW(Kid, WM_USER + 1, 0, 0);
    PostMessageW(nullptr, WM_USER + 2, 0, 0);

    MSG M;
    // Filters: a window and its children; a range; thread messages only.
    ASSERT_TRUE(PeekMessageW(&M, reinterpret_cast<HWND>(intptr_t(-1)), 0, 0, PM_NOREMOVE));
    EXPECT_EQ(M.message, WM_USER + 2u);
    ASSERT_TRUE(PeekMessageW(&M, Wnd, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE));
    EXPECT_EQ(M.message, WM_MOUSEMOVE);
    EXPECT_EQ(GetQueueStatus(QS_ALLINPUT) & 0xFFFF, QS_POSTMESSAGE | QS_MOUSEMOVE | QS_TIMER);

    std::vector<UINT> Order;
    while (PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE) && Order.size() < 10) {
        Order.push_back(M.message);
        if (M.message == WM_TIMER) KillTimer(Wnd, 1);
    }
    EXPECT_EQ(Order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_MOUSEMOVE, WM_QUIT, WM_TIMER}));
}

LRESULT CaptureProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_CAPTURECHANGED) Trace().push_back("capture changed");
    if (Msg == WM_TIMER) Trace().push_back("timer");
    return DefWindowProcW(Wnd, Msg, W, L);
}

TEST_F(MessageLoop, PeekMessageOnlyLoopsSeeInputTimersAndCaptureLoss) {
    WNDCLASSEXW C;
    C.lpfnWndProc = CaptureProc;
    C.lpszClassName = u"Capturing";
    ASSERT_NE(RegisterClassExW(&C), 0);
    HWND Wnd = CreateWindowExW(0, u"Capturing", nullptr, WS_POPUP | WS_VISIBLE, 100, 100, 200, 200, nullptr,
                               nullptr, nullptr, nullptr);
    ASSERT_NE(Wnd, nullptr);
    Pump();

    // A drag loop of its own: ends on button release, sees the moves with
    // client points relative to the capturing window, and its timers.
    auto DragLoop = [&](std::vector<MSG>& Seen) {
        SetCapture(Wnd);
        for (int Spins = 0; GetCapture() == Wnd && Spins < 1000; ++Spins) {
            MSG M;
            if (!PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE)) continue;
            Seen.push_back(M);
            if (M.message == WM_LBUTTONUP) {
                ReleaseCapture();
                break;
            }
            DispatchMessageW(&M);
        }
    };
    std::vector<MSG> Seen;
    SetTimer(Wnd, 3, 40, nullptr);
    Host->MouseMove(150, 150);
    Host->MouseMove(400, 50);  // outside the window: still ours under capture
    Host->MouseUp(400, 50);
    Trace().clear();
    DragLoop(Seen);
    ASSERT_EQ(Seen.size(), 3u);
    EXPECT_EQ(Seen[1].message, WM_MOUSEMOVE);
    EXPECT_EQ(Seen[1].hwnd, Wnd);
    EXPECT_EQ(GET_X_LPARAM(Seen[1].lParam), 300);
    EXPECT_EQ(GET_Y_LPARAM(Seen[1].lParam), -50);
    EXPECT_EQ(Seen[2].message, WM_LBUTTONUP);
    EXPECT_EQ(GetCapture(), nullptr);

    // Capture loss ends it too; a spinning loop reaches its timer.
    Seen.clear();
    Trace().clear();
    int Spins = 0;
    SetCapture(Wnd);
    while (GetCapture() == Wnd && Spins++ < 1000) {
        MSG M;
        if (!PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE)) continue;
        DispatchMessageW(&M);
        if (M.message == WM_TIMER) Host->LoseCapture();
    }
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_GE(Trace().size(), 2u);
    EXPECT_EQ(Trace()[0], "timer");
    EXPECT_EQ(Trace()[1], "capture changed");
    KillTimer(Wnd, 3);
    DestroyWindow(Wnd);
    UnregisterClassW(u"Capturing", nullptr);
}

TEST_F(MessageLoop, OtherThreadsPostAndSend) {
    HWND Wnd = Make("w", WS_POPUP, 0, 0, 10, 10);
    ASSERT_NE(Wnd, nullptr);
    SetWindowTextW(Wnd, u"abc");
    std::atomic<LRESULT> Answer{-1};
    std::thread Worker([&] {
        PostMessageW(Wnd, WM_USER, 1, 2);
        Answer = SendMessageW(Wnd, WM_GETTEXTLENGTH, 0, 0);
        PostQuitMessage(0);
    });
    MSG M;
    std::vector<UINT> Got;
    BOOL R;
    while ((R = GetMessageW(&M, nullptr, 0, 0)) > 0) Got.push_back(M.message);
    Worker.join();
    EXPECT_EQ(R, FALSE);
    EXPECT_EQ(Got, std::vector<UINT>{WM_USER});
    EXPECT_EQ(Answer.load(), 3);
    // With nothing that could ever come, the Null host ends the wait.
    EXPECT_EQ(GetMessageW(&M, nullptr, 0, 0), -1);
}

}  // namespace
}  // namespace velmo::uitest
