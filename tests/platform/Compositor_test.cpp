// Overlapping sibling windows in one framebuffer, against a per-pixel model
// of the painting rules and a committed golden image made from it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "tests/platform/WindowFixture.h"
#include "tests/support/RenderSupport.h"

namespace velmo::uitest {
namespace {

LRESULT FillProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_ERASEBKGND) return 1;
    if (Msg == WM_PAINT) {
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
    return DefWindowProcW(Wnd, Msg, W, L);
}

// The model: children listed topmost first. Within an area that is
// repainted, the parent paints first and then each visible child from the
// top of the order down, over whatever lies there, except where a child
// with WS_CLIPSIBLINGS is covered by a visible sibling above it. Pixels
// outside a repainted area keep what they had.
struct TChild {
    RECT Rect;
    COLORREF Colour;
    bool ClipSiblings;
    bool Visible = true;
};

bool In(const RECT& R, int X, int Y) { return X >= R.left && X < R.right && Y >= R.top && Y < R.bottom; }

class TModel {
public:
    TModel(int W, int H, COLORREF Background) : Raster(W, H), Back(Background) {}

    void Repaint(const std::vector<TChild>& Children, const std::vector<RECT>& Areas) {
        for (int Y = 0; Y < Raster.height; ++Y)
            for (int X = 0; X < Raster.width; ++X) {
                bool Due = false;
                for (const RECT& A : Areas) Due |= In(A, X, Y);
                if (!Due) continue;
                COLORREF C = Back;
                for (size_t I = 0; I < Children.size(); ++I) {
                    const TChild& K = Children[I];
                    if (!K.Visible || !In(K.Rect, X, Y)) continue;
                    bool Covered = false;
                    for (size_t J = 0; J < I && K.ClipSiblings; ++J)
                        Covered |= Children[J].Visible && In(Children[J].Rect, X, Y);
                    if (!Covered) C = K.Colour;
                }
                Raster.SetPixel(X, Y, uint8_t(C), uint8_t(C >> 8), uint8_t(C >> 16));
            }
    }

    vpltest::TRgbRaster Raster;
    COLORREF Back;
};

class Compositor : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        WNDCLASSEXW C;
        C.lpfnWndProc = FillProc;
        C.lpszClassName = u"Fill";
        RegisterClassExW(&C);
    }
    void TearDown() override {
        WindowTest::TearDown();
        UnregisterClassW(u"Fill", nullptr);
    }
    HWND Fill(DWORD Style, const RECT& R, HWND Parent, COLORREF Colour) {
        HWND H = CreateWindowExW(0, u"Fill", nullptr, Style, R.left, R.top, R.right - R.left, R.bottom - R.top,
                                 Parent, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(H, GWL_USERDATA, LONG_PTR(Colour));
        return H;
    }
};

TEST_F(Compositor, OverlappingSiblingsMatchGolden) {
    const int W = 96, H = 72;
    const COLORREF Grey = 0xA0A0A0;
    // Made in this order, each new child goes below its elder siblings:
    // A, B, C from the top.
    std::vector<TChild> Kids = {
        {{8, 6, 48, 36}, 0x0000FF, false},    // A: red, paints over its siblings
        {{26, 18, 66, 48}, 0x00C000, true},   // B: green, clipped by siblings above
        {{44, 30, 84, 62}, 0xFF0000, false},  // C: blue
    };
    HWND Parent = Fill(WS_POPUP | WS_VISIBLE, {200, 150, 200 + W, 150 + H}, nullptr, Grey);
    ASSERT_NE(Parent, nullptr);
    HWND A = Fill(WS_CHILD | WS_VISIBLE, Kids[0].Rect, Parent, Kids[0].Colour);
    HWND B = Fill(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, Kids[1].Rect, Parent, Kids[1].Colour);
    HWND C = Fill(WS_CHILD | WS_VISIBLE, Kids[2].Rect, Parent, Kids[2].Colour);
    ASSERT_TRUE(A && B && C);
    EXPECT_EQ(GetWindow(Parent, GW_CHILD), A);
    EXPECT_EQ(GetWindow(A, GW_HWNDNEXT), B);
    EXPECT_EQ(GetWindow(B, GW_HWNDNEXT), C);
    Pump();
    TModel Model(W, H, Grey);
    Model.Repaint(Kids, {{0, 0, W, H}});
    auto Ours = [&] { return vpltest::RasterFromBitmap(*GetWindowFramebuffer(Parent)); };
    auto Same = [](const vpltest::TRgbRaster& X, const vpltest::TRgbRaster& Y) {
        return X.width == Y.width && X.height == Y.height && X.rgb == Y.rgb;
    };
    EXPECT_TRUE(Same(Ours(), Model.Raster)) << "first paint";

    // C to the top: it repaints where it lies.
    SetWindowPos(C, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Kids = {Kids[2], Kids[0], Kids[1]};  // C, A, B
    Pump();
    Model.Repaint(Kids, {Kids[0].Rect});
    EXPECT_TRUE(Same(Ours(), Model.Raster)) << "restacked";

    // B hidden: what it covered is repainted.
    ShowWindow(B, SW_HIDE);
    Kids[2].Visible = false;
    Pump();
    Model.Repaint(Kids, {Kids[2].Rect});
    EXPECT_TRUE(Same(Ours(), Model.Raster)) << "hidden";

    // A moved: its old and new places are repainted.
    const RECT OldA = Kids[1].Rect;
    SetWindowPos(A, nullptr, 14, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Kids[1].Rect = {14, 30, 54, 60};
    Pump();
    Model.Repaint(Kids, {OldA, Kids[1].Rect});
    EXPECT_TRUE(Same(Ours(), Model.Raster)) << "moved";

    // B shown again, still at the bottom of the order.
    ShowWindow(B, SW_SHOWNA);
    Kids[2].Visible = true;
    Pump();
    Model.Repaint(Kids, {Kids[2].Rect});
    const vpltest::TRgbRaster Final = Ours();
    EXPECT_TRUE(Same(Final, Model.Raster)) << "shown";

    // The committed golden holds the model's final picture; with
    // VPL_WRITE_GOLDEN set the test writes it instead.
    const std::filesystem::path Golden = vpltest::SourceDir() / "tests/data/ui/overlapping-siblings.png";
    if (std::getenv("VPL_WRITE_GOLDEN")) {
        std::filesystem::create_directories(Golden.parent_path());
        ASSERT_TRUE(vpltest::WritePngRaster(Golden, Model.Raster));
    }
    vpltest::TRgbRaster Committed;
    std::string Error;
    ASSERT_TRUE(vpltest::ReadPngRaster(Golden, Committed, &Error)) << Error;
    EXPECT_TRUE(Same(Committed, Model.Raster)) << "the golden and the model disagree";
    EXPECT_TRUE(Same(Committed, Final)) << "the framebuffer and the golden disagree";
}


// Answers WM_NCCALCSIZE on resizing with the given WVR_ flags, naming the
// whole new client area valid and the whole old one its source.
LRESULT ValidRectsAnswer = 0;

LRESULT KeepingProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_NCCALCSIZE && W) {
        auto* P = reinterpret_cast<NCCALCSIZE_PARAMS*>(L);
        const RECT OldClient = P->rgrc[2];
        DefWindowProcW(Wnd, Msg, W, L);
        if (!ValidRectsAnswer) return 0;
        P->rgrc[1] = P->rgrc[0];
        P->rgrc[2] = OldClient;
        return ValidRectsAnswer;
    }
    return FillProc(Wnd, Msg, W, L);
}

TEST_F(Compositor, ValidRectsKeepBitsOnResize) {
    WNDCLASSEXW Cls;
    Cls.lpfnWndProc = KeepingProc;
    Cls.lpszClassName = u"Keeping";
    RegisterClassExW(&Cls);
    const COLORREF Old = 0x0000FF, New = 0xFF0000, Grey = 0x808080;
    auto Colour = [](HWND Root, int X, int Y) {
        const TBitmap* F = GetWindowFramebuffer(Root);
        return F ? COLORREF(F->GetPixel(X, Y)) : 0xFFFFFFFF;
    };
    struct TCase {
        const char* Name;
        LRESULT Answer;
        bool Child;
        POINT OldAt, NewAt;  // a pixel that keeps the old colour, one that is repainted
    };
    const TCase Cases[] = {
        {"top-level, top left kept", WVR_VALIDRECTS, false, {59, 39}, {60, 10}},
        {"top-level, aligned bottom right", WVR_VALIDRECTS | WVR_ALIGNRIGHT | WVR_ALIGNBOTTOM, false, {20, 10},
         {19, 10}},
        {"child, top left kept", WVR_VALIDRECTS, true, {29, 19}, {30, 5}},
        {"no answer: all repainted", 0, false, {-1, -1}, {5, 5}},
    };
    for (const TCase& C : Cases) {
        ValidRectsAnswer = C.Answer;
        HWND Root = Fill(WS_POPUP | WS_VISIBLE, {10, 10, 130, 110}, nullptr, Grey);
        HWND Wnd = C.Child ? CreateWindowExW(0, u"Keeping", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 30, 20, Root,
                                             nullptr, nullptr, nullptr)
                           : CreateWindowExW(0, u"Keeping", nullptr, WS_POPUP | WS_VISIBLE, 300, 300, 60, 40,
                                             nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(Wnd, nullptr);
        HWND Shown = C.Child ? Root : Wnd;
        SetWindowLongPtrW(Wnd, GWL_USERDATA, LONG_PTR(Old));
        InvalidateRect(Wnd, nullptr, TRUE);
        Pump();
        // The next paint would use the new colour; only what is not kept
        // gets it.
        SetWindowLongPtrW(Wnd, GWL_USERDATA, LONG_PTR(New));
        SetWindowPos(Wnd, nullptr, 0, 0, C.Child ? 40 : 80, C.Child ? 30 : 50,
                     SWP_NOMOVE | SWP_NOZORDER);
        Pump();
        if (C.OldAt.x >= 0) {
            EXPECT_EQ(Colour(Shown, C.OldAt.x, C.OldAt.y), Old) << C.Name;
        }
        EXPECT_EQ(Colour(Shown, C.NewAt.x, C.NewAt.y), New) << C.Name;
        // With SWP_NOCOPYBITS nothing is kept.
        const COLORREF Third = 0x00C000;
        SetWindowLongPtrW(Wnd, GWL_USERDATA, LONG_PTR(Third));
        SetWindowPos(Wnd, nullptr, 0, 0, C.Child ? 41 : 81, C.Child ? 31 : 51,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOCOPYBITS);
        Pump();
        EXPECT_EQ(Colour(Shown, C.NewAt.x, C.NewAt.y), Third) << C.Name;
        if (C.OldAt.x >= 0) {
            EXPECT_EQ(Colour(Shown, C.OldAt.x, C.OldAt.y), Third) << C.Name;
        }
        DestroyWindow(Wnd);
        DestroyWindow(Root);
        Pump();
    }
    ValidRectsAnswer = 0;
    UnregisterClassW(u"Keeping", nullptr);
}

}  // namespace
}  // namespace velmo::uitest
