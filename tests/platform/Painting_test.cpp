// Framebuffers, visible regions, update regions, BeginPaint and window DCs.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

class Painting : public WindowTest {};

constexpr COLORREF Red = 0x0000FF, Blue = 0xFF0000, Green = 0x00FF00, Yellow = 0x00FFFF;

// Paints its whole client area in the colour kept in GWL_USERDATA.
LRESULT SolidProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_PRINTCLIENT) {
        RECT R;
        GetClientRect(Wnd, &R);
        HBRUSH B = CreateSolidBrush(COLORREF(GetWindowLongPtrW(Wnd, GWL_USERDATA)));
        FillRect(reinterpret_cast<HDC>(W), &R, B);
        DeleteObject(B);
        return 0;
    }
    if (Msg == WM_PAINT) {
        Trace().push_back(NameOf(Wnd) + " paint");
        PAINTSTRUCT Ps;
        HDC Dc = BeginPaint(Wnd, &Ps);
        RECT R;
        GetClientRect(Wnd, &R);
        HBRUSH B = CreateSolidBrush(COLORREF(GetWindowLongPtrW(Wnd, GWL_USERDATA)));
        FillRect(Dc, &R, B);
        DeleteObject(B);
        EndPaint(Wnd, &Ps);
        return 0;
    }
    return TracingProc(Wnd, Msg, W, L);
}

class PaintingFixture : public Painting {
protected:
    void SetUp() override {
        Painting::SetUp();
        WNDCLASSEXW C;
        C.lpfnWndProc = SolidProc;
        C.lpszClassName = u"Solid";
        RegisterClassExW(&C);
    }
    void TearDown() override {
        Painting::TearDown();
        UnregisterClassW(u"Solid", nullptr);
    }
    HWND Solid(const std::string& Name, DWORD Style, int X, int Y, int Cx, int Cy, HWND Parent, COLORREF Color) {
        PendingName() = Name;
        HWND H = CreateWindowExW(0, u"Solid", nullptr, Style, X, Y, Cx, Cy, Parent, nullptr, nullptr, nullptr);
        Names()[H] = Name;
        SetWindowLongPtrW(H, GWL_USERDATA, LONG_PTR(Color));
        return H;
    }
};

class WindowPaint : public PaintingFixture {};

TEST_F(WindowPaint, SiblingsChildrenAndUncoveredAreas) {
    HWND Top = Solid("top", WS_POPUP | WS_CLIPCHILDREN, 200, 100, 100, 80, nullptr, Red);
    HWND A = Solid("a", WS_CHILD | WS_VISIBLE, 10, 10, 40, 40, Top, Blue);
    HWND B = Solid("b", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 30, 30, 40, 40, Top, Green);
    ASSERT_TRUE(Top && A && B);
    EXPECT_EQ(GetWindow(Top, GW_CHILD), A);  // children keep their creation order
    ShowWindow(Top, SW_SHOW);
    Pump();
    // Parents paint first; B, below A and clipping its siblings, leaves A's
    // corner alone.
    EXPECT_EQ(TraceOf({"paint"}), (std::vector<std::string>{"top paint", "a paint", "b paint"}));
    EXPECT_EQ(PixelAt(Top, 5, 5), Red);
    EXPECT_EQ(PixelAt(Top, 20, 20), Blue);
    EXPECT_EQ(PixelAt(Top, 40, 40), Blue);
    EXPECT_EQ(PixelAt(Top, 60, 60), Green);
    EXPECT_EQ(PixelAt(Top, 80, 20), Red);
    auto Calls = Host->Calls();
    ASSERT_FALSE(Calls.empty());
    EXPECT_EQ(Calls.back().What, "present");

    // Without WS_CLIPSIBLINGS the later painter wins the overlap.
    SetWindowLongPtrW(B, GWL_STYLE, LONG_PTR(WS_CHILD | WS_VISIBLE));
    RedrawWindow(Top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_EQ(PixelAt(Top, 40, 40), Green);

    // A window DC never draws outside the window's visible part; what it
    // drew is presented alone.
    Pump();
    Host->ClearCalls();
    HDC Dc = GetDC(A);
    HBRUSH Y = CreateSolidBrush(Yellow);
    RECT Huge{-500, -500, 500, 500};
    FillRect(Dc, &Huge, Y);
    DeleteObject(Y);
    RECT Box;
    GetClipBox(Dc, &Box);
    EXPECT_EQ(Box.left, 0);
    EXPECT_EQ(Box.right, 40);
    ReleaseDC(A, Dc);
    EXPECT_EQ(PixelAt(Top, 9, 9), Red);
    EXPECT_EQ(PixelAt(Top, 10, 10), Yellow);
    EXPECT_EQ(PixelAt(Top, 49, 49), Yellow);  // A's DC does not clip siblings without the style
    EXPECT_EQ(PixelAt(Top, 50, 50), Green);
    EXPECT_EQ(PixelAt(Top, 60, 20), Red);
    Pump();
    Calls = Host->Calls();
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].What, "present");
    EXPECT_EQ(Calls[0].Rect.left, 10);
    EXPECT_EQ(Calls[0].Rect.right, 50);

    RedrawWindow(A, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(PixelAt(Top, 20, 20), Blue);

    // Hiding B uncovers the parent; bringing it back on top covers A.
    Trace().clear();
    ShowWindow(B, SW_HIDE);
    Pump();
    EXPECT_EQ(PixelAt(Top, 60, 60), Red);
    EXPECT_EQ(PixelAt(Top, 40, 40), Blue);
    ShowWindow(B, SW_SHOW);
    SetWindowPos(B, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowLongPtrW(A, GWL_STYLE, LONG_PTR(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS));
    Pump();
    EXPECT_EQ(PixelAt(Top, 40, 40), Green);
    EXPECT_EQ(PixelAt(Top, 20, 20), Blue);
    // Moving A uncovers what it left.
    MoveWindow(A, 0, 50, 20, 20, TRUE);
    Pump();
    EXPECT_EQ(PixelAt(Top, 20, 20), Red);
    EXPECT_EQ(PixelAt(Top, 5, 55), Blue);
}

TEST_F(WindowPaint, BeginPaintSendsFrameAndEraseWhenDue) {
    WNDCLASSEXW C;
    C.lpfnWndProc = TracingProc;
    C.lpszClassName = u"White";
    C.hbrBackground = reinterpret_cast<HBRUSH>(uintptr_t(COLOR_WINDOW + 1));
    ASSERT_NE(RegisterClassExW(&C), 0);
    PendingName() = "w";
    HWND Wnd = CreateWindowExW(0, u"White", nullptr, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                               nullptr, nullptr, nullptr);
    Names()[Wnd] = "w";
    ASSERT_NE(Wnd, nullptr);
    Trace().clear();
    Pump();
    EXPECT_EQ(TraceOf({"PAINT", "ERASE"}),
              (std::vector<std::string>{"w WM_PAINT", "w WM_NCPAINT", "w WM_ERASEBKGND"}));
    // The default frame and background, active caption.
    EXPECT_EQ(PixelAt(Wnd, 150, 100), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(Wnd, 150, 10), GetSysColor(COLOR_ACTIVECAPTION));
    EXPECT_EQ(PixelAt(Wnd, 1, 100), GetSysColor(COLOR_ACTIVEBORDER));

    // Only the client without erasing: no frame, no erase.
    Trace().clear();
    InvalidateRect(Wnd, nullptr, FALSE);
    RECT U;
    EXPECT_TRUE(GetUpdateRect(Wnd, &U, FALSE));
    EXPECT_EQ(U.right, 292);
    UpdateWindow(Wnd);
    EXPECT_EQ(TraceOf({"PAINT", "ERASE"}), std::vector<std::string>{"w WM_PAINT"});
    EXPECT_FALSE(GetUpdateRect(Wnd, &U, FALSE));

    // Validated before the queue got to it: no WM_PAINT at all.
    InvalidateRect(Wnd, nullptr, TRUE);
    ValidateRect(Wnd, nullptr);
    MSG M;
    EXPECT_FALSE(PeekMessageW(&M, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));

    // Deactivation repaints the caption inactive.
    HWND Other = Make("other", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
    Pump();
    EXPECT_EQ(GetActiveWindow(), Other);
    EXPECT_EQ(PixelAt(Wnd, 150, 10), GetSysColor(COLOR_INACTIVECAPTION));

    // A window DC clipped to a screen region, the way the skinners paint
    // their frames from WM_NCPAINT.
    HRGN Clip = CreateRectRgn(100, 100, 110, 300);  // screen: the left 10 columns
    HDC Dc = GetDCEx(Wnd, Clip, DCX_WINDOW | DCX_INTERSECTRGN | DCX_USESTYLE);
    ASSERT_NE(Dc, nullptr);
    HBRUSH G = CreateSolidBrush(Green);
    RECT All{0, 0, 300, 200};
    FillRect(Dc, &All, G);
    DeleteObject(G);
    ReleaseDC(Wnd, Dc);
    DeleteObject(Clip);
    EXPECT_EQ(PixelAt(Wnd, 0, 50), Green);
    EXPECT_EQ(PixelAt(Wnd, 9, 150), Green);
    EXPECT_EQ(PixelAt(Wnd, 10, 150), 0xFFFFFFu);

    // A procedure that answers WM_PAINT without painting does not spin the loop.
    SetWindowLongPtrW(Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND H, UINT Msg, WPARAM W, LPARAM L) -> LRESULT {
        if (Msg == WM_PAINT) return 0;
        return DefWindowProcW(H, Msg, W, L);
    }));
    InvalidateRect(Wnd, nullptr, TRUE);
    int Paints = 0;
    while (PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE) && Paints < 10) {
        if (M.message == WM_PAINT) ++Paints;
        DispatchMessageW(&M);
    }
    EXPECT_EQ(Paints, 1);
    DestroyWindow(Wnd);
    DestroyWindow(Other);
    UnregisterClassW(u"White", nullptr);
}

TEST_F(WindowPaint, FramebuffersStayWithinTheirCap) {
    HWND Big = Make("big", WS_POPUP | WS_VISIBLE, 0, 0, 100000, 100000);
    ASSERT_NE(Big, nullptr);
    RECT R;
    GetWindowRect(Big, &R);
    EXPECT_EQ(R.right, 32767);
    const TBitmap* F = GetWindowFramebuffer(Big);
    ASSERT_NE(F, nullptr);
    EXPECT_EQ(F->Width(), 4096);
    EXPECT_EQ(F->Height(), 4096);
    Pump();
    DestroyWindow(Big);
    EXPECT_EQ(GetWindowFramebuffer(Big), nullptr);
}

}  // namespace
}  // namespace velmo::uitest

namespace velmo::uitest {
namespace {

class WindowRegion : public PaintingFixture {};

// An ellipse inside Width x Height, row by row.
HRGN Ellipse(int Width, int Height) {
    HRGN R = CreateRectRgn(0, 0, 0, 0);
    for (int Y = 0; Y < Height; ++Y) {
        double Dy = (Y + 0.5 - Height / 2.0) / (Height / 2.0);
        double Half = (Width / 2.0) * std::sqrt(std::max(0.0, 1 - Dy * Dy));
        int L = int(std::lround(Width / 2.0 - Half)), Rt = int(std::lround(Width / 2.0 + Half));
        if (Rt <= L) continue;
        HRGN Row = CreateRectRgn(L, Y, Rt, Y + 1);
        CombineRgn(R, R, Row, RGN_OR);
        DeleteObject(Row);
    }
    return R;
}

TEST_F(WindowRegion, ShapedWindowClipsPaintAndHitTest) {
    HWND Below = Solid("below", WS_POPUP | WS_VISIBLE, 100, 100, 200, 200, nullptr, Green);
    HWND Top = Solid("top", WS_POPUP | WS_VISIBLE, 100, 100, 200, 200, nullptr, Red);
    HWND Kid = Solid("kid", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, Top, Blue);
    ASSERT_TRUE(Below && Top && Kid);
    Pump();
    Host->ClearCalls();

    // A top-level shape with a hole; the host hears of it once per change.
    HRGN Outer = CreateRectRgn(0, 0, 200, 200);
    HRGN Hole = CreateRectRgn(150, 150, 180, 180);
    CombineRgn(Outer, Outer, Hole, RGN_DIFF);
    DeleteObject(Hole);
    HRGN Same = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(Same, Outer, nullptr, RGN_COPY);
    EXPECT_TRUE(SetWindowRgn(Top, Outer, TRUE));
    EXPECT_TRUE(SetWindowRgn(Top, Same, TRUE));  // no change
    int Shapes = 0;
    for (const auto& C : Host->Calls())
        if (C.What == "shape") {
            ++Shapes;
            EXPECT_EQ(C.Rect.right, 200);
        }
    EXPECT_EQ(Shapes, 1);
    // Moving it and repainting it change nothing the host holds.
    Host->ClearCalls();
    SetWindowPos(Top, nullptr, 101, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(Top, nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(Top, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
    for (const auto& C : Host->Calls()) EXPECT_NE(C.What, "shape");
    HRGN Back = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(Top, Back), COMPLEXREGION);
    EXPECT_FALSE(PtInRegion(Back, 160, 160));
    EXPECT_TRUE(PtInRegion(Back, 140, 160));
    DeleteObject(Back);

    // An elliptic child.
    EXPECT_TRUE(SetWindowRgn(Kid, Ellipse(100, 100), TRUE));
    const TBitmap* F = GetWindowFramebuffer(Top);
    Pump();
    EXPECT_EQ(PixelAt(Top, 50, 50), Blue);
    EXPECT_EQ(PixelAt(Top, 2, 2), Red);  // the child's corner shows its parent
    EXPECT_EQ(PixelAt(Top, 120, 120), Red);
    COLORREF InHole = PixelAt(Top, 165, 165);

    // Painting outside the shapes leaves the pixels alone.
    HDC Dc = GetWindowDC(Kid);
    HBRUSH Y = CreateSolidBrush(Yellow);
    RECT All{-50, -50, 400, 400};
    FillRect(Dc, &All, Y);
    ReleaseDC(Kid, Dc);
    Dc = GetWindowDC(Top);
    FillRect(Dc, &All, Y);
    DeleteObject(Y);
    ReleaseDC(Top, Dc);
    EXPECT_EQ(PixelAt(Top, 50, 50), Yellow);
    EXPECT_EQ(PixelAt(Top, 165, 165), InHole);
    EXPECT_EQ(F, GetWindowFramebuffer(Top));

    // Hit tests go through the holes to what lies below.
    EXPECT_EQ(WindowFromPoint({150, 150}), Kid);
    EXPECT_EQ(WindowFromPoint({102, 102}), Top);  // outside the ellipse
    EXPECT_EQ(WindowFromPoint({265, 265}), Below);  // in the hole
    EXPECT_EQ(WindowFromPoint({240, 240}), Top);
    Host->MouseDown(265, 265);
    Host->MouseUp(265, 265);
    Trace().clear();
    Pump();
    EXPECT_EQ(TraceOf({"BUTTON"}), (std::vector<std::string>{"below WM_LBUTTONDOWN", "below WM_LBUTTONUP"}));

    // Back to the rectangle: the host hears of it, the hole is gone.
    Host->ClearCalls();
    SetWindowRgn(Top, nullptr, TRUE);
    EXPECT_EQ(Host->Calls().size(), 1u);
    HRGN None = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(Top, None), ERROR);
    DeleteObject(None);
    SetWindowPos(Top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(WindowFromPoint({265, 265}), Top);
}

}  // namespace
}  // namespace velmo::uitest

namespace velmo::uitest {
namespace {

TEST_F(WindowPaint, PrintPaintsTheWindowIntoAGivenDc) {
    WNDCLASSEXW C;
    C.lpfnWndProc = TracingProc;
    C.lpszClassName = u"Printed";
    C.hbrBackground = reinterpret_cast<HBRUSH>(uintptr_t(COLOR_WINDOW + 1));
    ASSERT_NE(RegisterClassExW(&C), 0);
    HWND Wnd = CreateWindowExW(0, u"Printed", nullptr, WS_OVERLAPPEDWINDOW, 100, 100, 300, 200, nullptr, nullptr,
                               nullptr, nullptr);
    HWND Kid = Solid("kid", WS_CHILD | WS_VISIBLE, 20, 30, 40, 50, Wnd, Blue);
    ASSERT_TRUE(Wnd && Kid);
    TBitmap Target(300, 200, pf32bit);
    HBITMAP Object = AttachBitmapObject(Target);
    HDC Dc = CreateCompatibleDC(nullptr);
    SelectObject(Dc, Object);
    SendMessageW(Wnd, WM_PRINT, WPARAM(Dc), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    auto At = [&](int X, int Y) {
        const uint8_t* P = Target.ScanLine(Y) + 4 * X;
        return COLORREF(P[2] | (P[1] << 8) | (P[0] << 16));
    };
    EXPECT_EQ(At(150, 10), GetSysColor(COLOR_INACTIVECAPTION));
    EXPECT_EQ(At(150, 100), 0xFFFFFFu);
    EXPECT_EQ(At(4 + 20, 23 + 30), Blue);
    EXPECT_EQ(At(4 + 59, 23 + 79), Blue);
    EXPECT_EQ(At(4 + 60, 23 + 80), 0xFFFFFFu);
    // Hidden windows print nothing when asked to check.
    SendMessageW(Wnd, WM_PRINT, WPARAM(Dc), PRF_CHECKVISIBLE | PRF_ERASEBKGND | PRF_CLIENT);
    // A WM_PAINT carrying a DC validates nothing.
    ShowWindow(Wnd, SW_SHOW);
    EXPECT_TRUE(GetUpdateRect(Wnd, nullptr, FALSE));
    DefWindowProcW(Wnd, WM_PAINT, WPARAM(Dc), 0);
    EXPECT_TRUE(GetUpdateRect(Wnd, nullptr, FALSE));
    DeleteDC(Dc);
    DetachBitmapObject(Object);
    DestroyWindow(Wnd);
    UnregisterClassW(u"Printed", nullptr);
}

}  // namespace
}  // namespace velmo::uitest
