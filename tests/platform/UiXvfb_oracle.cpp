// The SDL host on a real X server: clicks made by xdotool reach the child
// under the pointer, and what the server shows is the layer's framebuffer.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include "platform/ui/Window.h"
#include "platform/ui/host/NullHost.h"
#include "platform/ui/host/SdlHost.h"
#include "tests/support/Xvfb.h"

namespace velmo {
namespace {

struct TClick {
    HWND Wnd;
    UINT Msg;
    POINT Client;
};
std::vector<TClick>& Clicks() {
    static std::vector<TClick> C;
    return C;
}

// Children paint their client area in the colour kept in GWL_USERDATA and
// record their button messages.
LRESULT ClickProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    switch (Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
    case WM_RBUTTONDOWN:
        Clicks().push_back({Wnd, Msg, {GET_X_LPARAM(L), GET_Y_LPARAM(L)}});
        break;
    case WM_PAINT: {
        PAINTSTRUCT Ps;
        HDC Dc = BeginPaint(Wnd, &Ps);
        if (LONG_PTR Colour = GetWindowLongPtrW(Wnd, GWL_USERDATA)) {
            RECT R;
            GetClientRect(Wnd, &R);
            HBRUSH B = CreateSolidBrush(COLORREF(Colour));
            FillRect(Dc, &R, B);
            DeleteObject(B);
        }
        EndPaint(Wnd, &Ps);
        return 0;
    }
    default: break;
    }
    return DefWindowProcW(Wnd, Msg, W, L);
}

// Dispatches what comes for up to Seconds, or until Done says so.
template <class F>
void PumpFor(double Seconds, F Done) {
    auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    MSG M;
    while (!Done() && std::chrono::steady_clock::now() < Until) {
        bool Any = false;
        while (PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE)) {
            Any = true;
            TranslateMessage(&M);
            DispatchMessageW(&M);
        }
        if (!Any) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The Null host comes back (and SDL lets go of the display) before the
// server ends.
struct TNullHostAfter {
    ~TNullHostAfter() { SetWindowHost(std::make_shared<TNullHost>()); }
};

TEST(oracle, ui_xvfb_click_reaches_child) {
    VPL_REQUIRE_XVFB_TOOLS();
    vpltest::Xvfb X;
    ASSERT_TRUE(X.Running()) << X.Error();
    TNullHostAfter Restore;
    std::string Error = StartSdlHost();
    ASSERT_EQ(Error, "") << "SDL video did not start";

    WNDCLASSEXW C;
    C.lpfnWndProc = ClickProc;
    C.lpszClassName = u"XvfbClick";
    C.hbrBackground = reinterpret_cast<HBRUSH>(intptr_t(COLOR_WINDOW + 1));
    ASSERT_NE(RegisterClassExW(&C), 0);
    const char16_t* Title = u"VelmoXvfbClickTest";
    HWND Top = CreateWindowExW(0, u"XvfbClick", Title, WS_OVERLAPPEDWINDOW, 100, 80, 420, 320, nullptr, nullptr,
                               nullptr, nullptr);
    ASSERT_TRUE(Top);
    RECT Client;
    GetClientRect(Top, &Client);
    const COLORREF Colours[4] = {0x2040C0, 0x30A050, 0xB06020, 0x8030A0};
    std::vector<HWND> Kids;
    int Cw = Client.right / 2, Ch = Client.bottom / 2;
    for (int I = 0; I < 4; ++I) {
        HWND K = CreateWindowExW(0, u"XvfbClick", nullptr, WS_CHILD | WS_VISIBLE, (I % 2) * Cw + 4, (I / 2) * Ch + 4,
                                 Cw - 8, Ch - 8, Top, nullptr, nullptr, nullptr);
        ASSERT_TRUE(K);
        SetWindowLongPtrW(K, GWL_USERDATA, LONG_PTR(Colours[I]));
        Kids.push_back(K);
    }
    ShowWindow(Top, SW_SHOWNORMAL);
    UpdateWindow(Top);
    PumpFor(1.0, [] { return false; });

    // The server knows the window by its caption, at the layer's place.
    std::vector<std::string> Ids = X.FindWindows("VelmoXvfbClickTest");
    ASSERT_EQ(Ids.size(), 1u);
    RECT Wr;
    GetWindowRect(Top, &Wr);
    auto G = X.WindowGeometry(Ids[0]);
    ASSERT_TRUE(G);
    EXPECT_EQ(G->x, Wr.left);
    EXPECT_EQ(G->y, Wr.top);
    EXPECT_EQ(G->width, Wr.right - Wr.left);
    EXPECT_EQ(G->height, Wr.bottom - Wr.top);

    // A click at each child's centre reaches that child alone, at the
    // centre in its client coordinates.
    for (size_t I = 0; I < Kids.size(); ++I) {
        RECT R;
        GetWindowRect(Kids[I], &R);
        int Cx = (R.left + R.right) / 2, Cy = (R.top + R.bottom) / 2;
        Clicks().clear();
        ASSERT_EQ(X.Xdotool({"mousemove", "--sync", std::to_string(Cx), std::to_string(Cy)}).exitCode, 0);
        ASSERT_EQ(X.Xdotool({"click", "1"}).exitCode, 0);
        PumpFor(5.0, [] { return Clicks().size() >= 2; });
        PumpFor(0.2, [] { return false; });  // anything stray shows up too
        POINT Expect{Cx - R.left, Cy - R.top};
        ASSERT_EQ(Clicks().size(), 2u) << "child " << I;
        EXPECT_EQ(Clicks()[0].Msg, UINT(WM_LBUTTONDOWN));
        EXPECT_EQ(Clicks()[1].Msg, UINT(WM_LBUTTONUP));
        for (const TClick& K : Clicks()) {
            EXPECT_EQ(K.Wnd, Kids[I]) << "child " << I;
            EXPECT_EQ(K.Client.x, Expect.x) << "child " << I;
            EXPECT_EQ(K.Client.y, Expect.y) << "child " << I;
        }
    }

    // What the server shows is the framebuffer, pixel for pixel.
    PumpFor(0.5, [] { return false; });
    const TBitmap* Frame = GetWindowFramebuffer(Top);
    ASSERT_TRUE(Frame);
    auto Shot = X.Grab(Ids[0], vpltest::ArtifactDir() / "window.png");
    ASSERT_TRUE(Shot);
    ASSERT_EQ(Shot->width, Frame->Width());
    ASSERT_EQ(Shot->height, Frame->Height());
    int Differ = 0;
    for (int Y = 0; Y < Frame->Height(); ++Y)
        for (int Xp = 0; Xp < Frame->Width(); ++Xp) {
            const uint8_t* P = Frame->ScanLine(Y) + 4 * Xp;
            uint32_t Want = uint32_t(P[2]) << 16 | uint32_t(P[1]) << 8 | P[0];
            if (Shot->Pixel(Xp, Y) != Want && Differ++ < 5)
                ADD_FAILURE() << "pixel " << Xp << "," << Y << ": screen " << std::hex << Shot->Pixel(Xp, Y)
                              << ", framebuffer " << Want;
        }
    EXPECT_EQ(Differ, 0);

    // A top-level shape with a hole: the server shows its black root
    // through the hole and the window around it.
    RECT Hole{150, 120, 250, 200};  // window coordinates
    HRGN Shape = CreateRectRgn(0, 0, Wr.right - Wr.left, Wr.bottom - Wr.top);
    HRGN Cut = CreateRectRgn(Hole.left, Hole.top, Hole.right, Hole.bottom);
    CombineRgn(Shape, Shape, Cut, RGN_DIFF);
    DeleteObject(Cut);
    ASSERT_NE(SetWindowRgn(Top, Shape, TRUE), 0);
    PumpFor(1.0, [] { return false; });
    auto Screen = X.Grab("root", vpltest::ArtifactDir() / "shaped.png");
    ASSERT_TRUE(Screen);
    Frame = GetWindowFramebuffer(Top);
    ASSERT_TRUE(Frame);
    auto FramePixel = [&](int Xp, int Y) {
        const uint8_t* P = Frame->ScanLine(Y) + 4 * Xp;
        return uint32_t(P[2]) << 16 | uint32_t(P[1]) << 8 | P[0];
    };
    EXPECT_EQ(Screen->Pixel(Wr.left + 200, Wr.top + 160), 0u);
    EXPECT_EQ(Screen->Pixel(Wr.left + 140, Wr.top + 160), FramePixel(140, 160));
    EXPECT_EQ(Screen->Pixel(Wr.left + 200, Wr.top + 210), FramePixel(200, 210));

    // The server's title follows the caption.
    SetWindowTextW(Top, u"VelmoRenamedWindow");
    PumpFor(0.3, [] { return false; });
    Ids = X.FindWindows("VelmoRenamedWindow");
    ASSERT_EQ(Ids.size(), 1u);

    // Alt+F4 closes the window, though no window manager runs.
    ASSERT_EQ(X.Xdotool({"mousemove", "--sync", std::to_string(Wr.left + 20), std::to_string(Wr.top + 60)}).exitCode,
              0);
    ASSERT_EQ(X.Xdotool({"key", "alt+F4"}).exitCode, 0);
    PumpFor(5.0, [&] { return !IsWindow(Top); });
    EXPECT_FALSE(IsWindow(Top));

    DestroyWindow(Top);
    PumpFor(0.2, [] { return false; });
    UnregisterClassW(u"XvfbClick", nullptr);
}

}  // namespace
}  // namespace velmo
