// The SDL host on a real X server: clicks made by xdotool reach the child
// under the pointer, and what the server shows is the layer's framebuffer.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "platform/ui/Controls.h"
#include "platform/ui/TabControl.h"
#include "platform/ui/TextInput.h"
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

uint32_t FramePixel(const TBitmap& Frame, int X, int Y) {
    const uint8_t* P = Frame.ScanLine(Y) + 4 * X;
    return uint32_t(P[2]) << 16 | uint32_t(P[1]) << 8 | P[0];
}

// Pixels where the grab and the framebuffer disagree; the first few are
// reported.
int PixelsDiffering(const vpltest::RgbImage& Shot, const TBitmap& Frame) {
    int Differ = 0;
    for (int Y = 0; Y < Frame.Height(); ++Y)
        for (int X = 0; X < Frame.Width(); ++X)
            if (Shot.Pixel(X, Y) != FramePixel(Frame, X, Y) && Differ++ < 5)
                ADD_FAILURE() << "pixel " << X << "," << Y << ": screen " << std::hex << Shot.Pixel(X, Y)
                              << ", framebuffer " << FramePixel(Frame, X, Y);
    return Differ;
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
    EXPECT_EQ(PixelsDiffering(*Shot, *Frame), 0);

    // A larger window gets a new surface, which shows the whole picture
    // again, at the new size.
    MoveWindow(Top, 60, 50, 470, 350, TRUE);
    PumpFor(1.0, [] { return false; });
    GetWindowRect(Top, &Wr);
    G = X.WindowGeometry(Ids[0]);
    ASSERT_TRUE(G);
    EXPECT_EQ(G->x, 60);
    EXPECT_EQ(G->y, 50);
    EXPECT_EQ(G->width, 470);
    EXPECT_EQ(G->height, 350);
    Frame = GetWindowFramebuffer(Top);
    ASSERT_TRUE(Frame);
    Shot = X.Grab(Ids[0], vpltest::ArtifactDir() / "resized.png");
    ASSERT_TRUE(Shot);
    ASSERT_EQ(Shot->width, Frame->Width());
    ASSERT_EQ(Shot->height, Frame->Height());
    EXPECT_EQ(PixelsDiffering(*Shot, *Frame), 0);

    // The caption is the layer's: a click there reaches the window's own
    // procedure as a non-client click.
    Clicks().clear();
    ASSERT_EQ(X.Xdotool({"mousemove", "--sync", std::to_string(Wr.left + 120), std::to_string(Wr.top + 12)}).exitCode,
              0);
    ASSERT_EQ(X.Xdotool({"click", "1"}).exitCode, 0);
    PumpFor(5.0, [] { return !Clicks().empty(); });
    ASSERT_FALSE(Clicks().empty());
    EXPECT_EQ(Clicks()[0].Wnd, Top);
    EXPECT_EQ(Clicks()[0].Msg, UINT(WM_NCLBUTTONDOWN));
    EXPECT_EQ(Clicks()[0].Client.x, Wr.left + 120);  // screen point
    PumpFor(0.3, [] { return false; });
    GetWindowRect(Top, &Wr);
    EXPECT_EQ(Wr.left, 60);  // a click without a drag moves nothing

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
    EXPECT_EQ(Screen->Pixel(Wr.left + 200, Wr.top + 160), 0u);
    EXPECT_EQ(Screen->Pixel(Wr.left + 140, Wr.top + 160), FramePixel(*Frame, 140, 160));
    EXPECT_EQ(Screen->Pixel(Wr.left + 200, Wr.top + 210), FramePixel(*Frame, 200, 210));

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

    // A captionless popup (a menu or a list) shows where the layer put it
    // and takes its clicks.
    HWND Popup = CreateWindowExW(WS_EX_TOPMOST, u"XvfbClick", nullptr, WS_POPUP, 700, 600, 120, 80, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(Popup);
    SetWindowLongPtrW(Popup, GWL_USERDATA, LONG_PTR(0x2040C0));
    ShowWindow(Popup, SW_SHOWNORMAL);
    PumpFor(1.0, [] { return false; });
    Screen = X.Grab("root", vpltest::ArtifactDir() / "popup.png");
    ASSERT_TRUE(Screen);
    EXPECT_EQ(Screen->Pixel(700, 600), 0xC04020u);
    EXPECT_EQ(Screen->Pixel(819, 679), 0xC04020u);
    EXPECT_EQ(Screen->Pixel(820, 680), 0u);
    Clicks().clear();
    ASSERT_EQ(X.Xdotool({"mousemove", "--sync", "730", "610"}).exitCode, 0);
    ASSERT_EQ(X.Xdotool({"click", "1"}).exitCode, 0);
    PumpFor(5.0, [] { return Clicks().size() >= 2; });
    ASSERT_EQ(Clicks().size(), 2u);
    EXPECT_EQ(Clicks()[0].Wnd, Popup);
    EXPECT_EQ(Clicks()[0].Client.x, 30);
    EXPECT_EQ(Clicks()[0].Client.y, 10);
    DestroyWindow(Popup);

    DestroyWindow(Top);
    PumpFor(0.2, [] { return false; });
    UnregisterClassW(u"XvfbClick", nullptr);
}

// The standard controls as the server shows them: one window holding each
// kind, the combo box dropped down. The grab is kept for a person to look
// at; probes check that each control painted inside its bounds and left
// the parent's face around it alone.
uint32_t ScreenColour(COLORREF C) { return (C & 0xFF) << 16 | (C & 0xFF00) | (C >> 16 & 0xFF); }

// Pixels of R (screen coordinates) other than Colour.
int PixelsOtherThan(const vpltest::RgbImage& Shot, const RECT& R, uint32_t Colour) {
    int N = 0;
    for (int Y = std::max<int>(R.top, 0); Y < std::min<int>(R.bottom, Shot.height); ++Y)
        for (int X = std::max<int>(R.left, 0); X < std::min<int>(R.right, Shot.width); ++X)
            N += Shot.Pixel(X, Y) != Colour;
    return N;
}

// Pixels of the ring Width wide just outside R other than Colour, except
// along the sides Skip names ("b" for the bottom).
int RingOtherThan(const vpltest::RgbImage& Shot, const RECT& R, int Width, uint32_t Colour,
                  const std::string& Skip = "") {
    int N = 0;
    if (Skip.find('t') == std::string::npos)
        N += PixelsOtherThan(Shot, {R.left - Width, R.top - Width, R.right + Width, R.top}, Colour);
    if (Skip.find('b') == std::string::npos)
        N += PixelsOtherThan(Shot, {R.left - Width, R.bottom, R.right + Width, R.bottom + Width}, Colour);
    N += PixelsOtherThan(Shot, {R.left - Width, R.top, R.left, R.bottom}, Colour);
    N += PixelsOtherThan(Shot, {R.right, R.top, R.right + Width, R.bottom}, Colour);
    return N;
}

TEST(oracle, ui_controls_gallery) {
    VPL_REQUIRE_XVFB_TOOLS();
    vpltest::Xvfb X;
    ASSERT_TRUE(X.Running()) << X.Error();
    TNullHostAfter Restore;
    ASSERT_EQ(StartSdlHost(), "") << "SDL video did not start";

    WNDCLASSEXW C;
    C.lpfnWndProc = DefWindowProcW;
    C.lpszClassName = u"XvfbGallery";
    C.hbrBackground = reinterpret_cast<HBRUSH>(intptr_t(COLOR_BTNFACE + 1));
    ASSERT_NE(RegisterClassExW(&C), 0);
    HWND Top = CreateWindowExW(0, u"XvfbGallery", u"VelmoControlsGallery", WS_OVERLAPPEDWINDOW, 120, 90, 520, 400,
                               nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(Top);
    auto Make = [&](const char16_t* Class, const char16_t* Text, DWORD Style, int X0, int Y0, int W, int H) {
        HWND K = CreateWindowExW(0, Class, Text, Style | WS_CHILD | WS_VISIBLE, X0, Y0, W, H, Top, nullptr, nullptr,
                                 nullptr);
        EXPECT_TRUE(K) << std::string(Class, Class + 4);
        return K;
    };
    HWND Button = Make(u"button", u"Push me", BS_PUSHBUTTON, 16, 16, 110, 30);
    HWND Check = Make(u"button", u"Check box", BS_AUTOCHECKBOX, 16, 60, 130, 22);
    HWND Radio = Make(u"button", u"Radio button", BS_AUTORADIOBUTTON | WS_GROUP, 16, 92, 130, 22);
    HWND Edit = Make(u"edit", u"Edited text", WS_BORDER | ES_AUTOHSCROLL, 16, 126, 170, 26);
    HWND List = Make(u"listbox", nullptr, WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 16, 166, 170, 110);
    HWND Tabs = Make(WC_TABCONTROLW, nullptr, 0, 216, 16, 270, 120);
    HWND Group = Make(u"button", u"Group box", BS_GROUPBOX, 216, 150, 270, 70);
    HWND Combo = Make(u"combobox", nullptr, CBS_DROPDOWNLIST | WS_VSCROLL, 216, 236, 200, 160);
    SendMessageW(Check, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(Radio, BM_SETCHECK, BST_CHECKED, 0);
    for (int I = 1; I <= 20; ++I) {
        std::u16string S = u"List item ";
        for (char Ch : std::to_string(I)) S += char16_t(Ch);
        SendMessageW(List, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(S.c_str()));
    }
    SendMessageW(List, LB_SETCURSEL, 2, 0);
    for (const char16_t* T : {u"First", u"Second", u"Third"}) {
        TCITEMW Item;
        Item.mask = TCIF_TEXT;
        Item.pszText = const_cast<LPWSTR>(T);
        SendMessageW(Tabs, TCM_INSERTITEMW, WPARAM(SendMessageW(Tabs, TCM_GETITEMCOUNT, 0, 0)),
                     reinterpret_cast<LPARAM>(&Item));
    }
    for (const char16_t* T : {u"Fit page", u"Fit width", u"Actual size"})
        SendMessageW(Combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(T));
    SendMessageW(Combo, CB_SETCURSEL, 1, 0);
    ShowWindow(Top, SW_SHOWNORMAL);
    UpdateWindow(Top);
    PumpFor(1.0, [] { return false; });
    ASSERT_EQ(X.FindWindows("VelmoControlsGallery").size(), 1u);
    SetFocus(Combo);
    SendMessageW(Combo, CB_SHOWDROPDOWN, TRUE, 0);
    PumpFor(1.0, [] { return false; });
    ASSERT_TRUE(SendMessageW(Combo, CB_GETDROPPEDSTATE, 0, 0));

    auto Shot = X.Grab("root", vpltest::ArtifactDir() / "gallery.png");
    ASSERT_TRUE(Shot);
    const uint32_t Face = ScreenColour(GetSysColor(COLOR_BTNFACE));
    const uint32_t Window = ScreenColour(GetSysColor(COLOR_WINDOW));
    const uint32_t Highlight = ScreenColour(GetSysColor(COLOR_HIGHLIGHT));
    auto Bounds = [](HWND K) {
        RECT R;
        GetWindowRect(K, &R);
        return R;
    };

    // Each control drew something of its own inside its bounds, and the
    // parent's face shows around it.
    struct TCase {
        const char* Name;
        HWND Wnd;
        std::string SkipRing;
    };
    for (const TCase& K : {TCase{"button", Button, ""}, TCase{"check box", Check, ""}, TCase{"radio", Radio, ""},
                           TCase{"edit", Edit, ""}, TCase{"list box", List, ""}, TCase{"tab control", Tabs, ""},
                           TCase{"group box", Group, ""}, TCase{"combo box", Combo, "b"}}) {
        RECT R = Bounds(K.Wnd);
        EXPECT_GT(PixelsOtherThan(*Shot, R, Face), 40) << K.Name << " painted nothing";
        EXPECT_EQ(RingOtherThan(*Shot, R, 3, Face, K.SkipRing), 0) << K.Name << " painted outside its bounds";
    }

    // What each kind shows: the button's raised face, the boxes' white
    // marks, the edit's text on white, the list's selection and scroll bar,
    // three tabs with labels, the group's frame and the dropped list.
    RECT R = Bounds(Button);
    EXPECT_EQ(Shot->Pixel((R.left + R.right) / 2, R.top + 4), Face);
    EXPECT_NE(Shot->Pixel(R.left, R.top), Shot->Pixel(R.right - 1, R.bottom - 1)) << "no raised edge";
    for (HWND K : {Check, Radio}) {
        R = Bounds(K);
        int Cy = (R.top + R.bottom) / 2;
        EXPECT_GT(PixelsOtherThan(*Shot, {R.left, Cy - 6, R.left + 13, Cy + 7}, Face), 60) << "no mark";
        EXPECT_GT(PixelsOtherThan(*Shot, {R.left + 16, R.top, R.right, R.bottom}, Face), 10) << "no label";
    }
    R = Bounds(Edit);
    EXPECT_EQ(Shot->Pixel(R.right - 6, (R.top + R.bottom) / 2), Window);
    EXPECT_GT(PixelsOtherThan(*Shot, {R.left + 3, R.top + 3, R.left + 60, R.bottom - 3}, Window), 20) << "no text";
    SCROLLBARINFO Bar;
    Bar.cbSize = sizeof Bar;
    ASSERT_TRUE(GetScrollBarInfo(List, OBJID_VSCROLL, &Bar));
    EXPECT_FALSE(Bar.rgstate[0] & STATE_SYSTEM_INVISIBLE) << "list box without its scroll bar";
    R = Bounds(List);
    EXPECT_GE(Bar.rcScrollBar.left, R.left);
    EXPECT_LE(Bar.rcScrollBar.right, R.right);
    EXPECT_GT(PixelsOtherThan(*Shot, Bar.rcScrollBar, Window), 100) << "no scroll bar painted";
    RECT Item;
    SendMessageW(List, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&Item));
    POINT Origin{0, 0};
    ClientToScreen(List, &Origin);
    RECT Selected{Origin.x + Item.right - 20, Origin.y + Item.top, Origin.x + Item.right, Origin.y + Item.bottom};
    EXPECT_LT(PixelsOtherThan(*Shot, Selected, Highlight), 20) << "no selection";
    EXPECT_EQ(SendMessageW(Tabs, TCM_GETITEMCOUNT, 0, 0), 3);
    POINT TabsOrigin{0, 0};
    ClientToScreen(Tabs, &TabsOrigin);
    for (int I = 0; I < 3; ++I) {
        RECT T;
        ASSERT_TRUE(SendMessageW(Tabs, TCM_GETITEMRECT, WPARAM(I), reinterpret_cast<LPARAM>(&T)));
        T.left += TabsOrigin.x, T.right += TabsOrigin.x, T.top += TabsOrigin.y, T.bottom += TabsOrigin.y;
        EXPECT_GT(PixelsOtherThan(*Shot, {T.left + 4, T.top + 3, T.right - 4, T.bottom - 3}, Face), 10)
            << "tab " << I << " has no label";
    }
    R = Bounds(Group);
    EXPECT_GT(PixelsOtherThan(*Shot, {R.left + 2, R.bottom - 2, R.right - 2, R.bottom}, Face), R.right - R.left - 10)
        << "no frame along the bottom";
    EXPECT_EQ(Shot->Pixel((R.left + R.right) / 2, (R.top + R.bottom) / 2), Face);
    COMBOBOXINFO Info;
    ASSERT_TRUE(GetComboBoxInfo(Combo, &Info));
    ASSERT_TRUE(IsWindowVisible(Info.hwndList));
    RECT Drop = Bounds(Info.hwndList);
    R = Bounds(Combo);
    EXPECT_GE(Info.rcButton.right, R.right - R.left - 4) << "the field's button is not at the combo box's edge";
    EXPECT_EQ(Drop.top, R.bottom);
    EXPECT_EQ(Drop.left, R.left);
    EXPECT_GT(PixelsOtherThan(*Shot, Drop, Face), (Drop.right - Drop.left) * (Drop.bottom - Drop.top) / 2)
        << "dropped list not shown";
    int Highlighted = 0;
    for (int Y = Drop.top; Y < Drop.bottom; ++Y) Highlighted += Shot->Pixel(Drop.left + 6, Y) == Highlight;
    EXPECT_GT(Highlighted, 8) << "dropped list without the current item";

    SendMessageW(Combo, CB_SHOWDROPDOWN, FALSE, 0);
    DestroyWindow(Top);
    PumpFor(0.2, [] { return false; });
    UnregisterClassW(u"XvfbGallery", nullptr);
}

// What SDL reports (drops, input-method text, the clipboard) reaches the
// layer as the platform's messages. The events are pushed into SDL's queue
// the way its X11 driver would queue them.
struct TEventsSeen {
    HWND DropWnd = nullptr;
    int Drops = 0;
    std::vector<std::u16string> Names;
    std::vector<std::string> Ime;
};
TEventsSeen& Events() {
    static TEventsSeen E;
    return E;
}

LRESULT EventsProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    switch (Msg) {
    case WM_DROPFILES: {
        HDROP Drop = reinterpret_cast<HDROP>(W);
        ++Events().Drops;
        Events().DropWnd = Wnd;
        UINT N = DragQueryFileW(Drop, 0xFFFFFFFFu, nullptr, 0);
        for (UINT I = 0; I < N; ++I) {
            UINT Len = DragQueryFileW(Drop, I, nullptr, 0);
            std::u16string Name(Len + 1, u'\0');
            DragQueryFileW(Drop, I, Name.data(), Len + 1);
            Name.resize(Len);
            Events().Names.push_back(Name);
        }
        DragFinish(Drop);
        return 0;
    }
    case WM_IME_STARTCOMPOSITION: Events().Ime.push_back("start"); break;
    case WM_IME_ENDCOMPOSITION: Events().Ime.push_back("end"); break;
    case WM_IME_COMPOSITION: {
        HIMC Imc = ImmGetContext(Wnd);
        DWORD Index = (L & GCS_RESULTSTR) ? GCS_RESULTSTR : GCS_COMPSTR;
        LONG Bytes = ImmGetCompositionStringW(Imc, Index, nullptr, 0);
        Events().Ime.push_back(std::string(Index == GCS_RESULTSTR ? "result " : "compose ") +
                               std::to_string(Bytes / 2) + " at " +
                               std::to_string(ImmGetCompositionStringW(Imc, GCS_CURSORPOS, nullptr, 0)));
        ImmReleaseContext(Wnd, Imc);
        break;
    }
    case WM_CHAR: Events().Ime.push_back("char " + std::to_string(unsigned(W))); break;
    default: break;
    }
    return DefWindowProcW(Wnd, Msg, W, L);
}

TEST(oracle, ui_xvfb_sdl_events_reach_the_layer) {
    VPL_REQUIRE_XVFB_TOOLS();
    vpltest::Xvfb X;
    ASSERT_TRUE(X.Running()) << X.Error();
    TNullHostAfter Restore;
    ASSERT_EQ(StartSdlHost(), "");
    Events() = TEventsSeen();

    WNDCLASSEXW C;
    C.lpfnWndProc = EventsProc;
    C.lpszClassName = u"XvfbEvents";
    C.hbrBackground = reinterpret_cast<HBRUSH>(intptr_t(COLOR_WINDOW + 1));
    ASSERT_NE(RegisterClassExW(&C), 0);
    HWND Top = CreateWindowExW(WS_EX_ACCEPTFILES, u"XvfbEvents", u"VelmoXvfbEvents", WS_OVERLAPPEDWINDOW, 200, 150,
                               300, 240, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(Top);
    HWND Child = CreateWindowExW(0, u"XvfbEvents", nullptr, WS_CHILD | WS_VISIBLE, 20, 20, 100, 100, Top, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(Child);
    ShowWindow(Top, SW_SHOWNORMAL);
    PumpFor(1.0, [] { return false; });
    ASSERT_EQ(X.FindWindows("VelmoXvfbEvents").size(), 1u);

    // A drop lands where the pointer is when it completes: over the child,
    // whose accepting parent takes it, names whole and in order.
    RECT R;
    GetWindowRect(Child, &R);
    ASSERT_EQ(X.Xdotool({"mousemove", "--sync", std::to_string(R.left + 30), std::to_string(R.top + 40)}).exitCode, 0);
    PumpFor(0.3, [] { return false; });
    std::string Long = "/tmp/" + std::string(300, 'n') + "/\xE5\x9B\xBE\xE7\x89\x87.pdf";
    SDL_Event E;
    SDL_zero(E);
    E.type = SDL_DROPBEGIN;
    SDL_PushEvent(&E);
    for (const std::string& Name : {std::string("/tmp/first.pdf"), Long, std::string("/tmp/third.png")}) {
        SDL_zero(E);
        E.type = SDL_DROPFILE;
        E.drop.file = SDL_strdup(Name.c_str());
        SDL_PushEvent(&E);
    }
    SDL_zero(E);
    E.type = SDL_DROPCOMPLETE;
    SDL_PushEvent(&E);
    PumpFor(5.0, [] { return Events().Drops > 0; });
    PumpFor(0.2, [] { return false; });
    EXPECT_EQ(Events().Drops, 1);
    EXPECT_EQ(Events().DropWnd, Top);
    std::u16string LongW = u"/tmp/" + std::u16string(300, u'n') + u"/\u56FE\u7247.pdf";
    EXPECT_EQ(Events().Names, (std::vector<std::u16string>{u"/tmp/first.pdf", LongW, u"/tmp/third.png"}));

    // Composition with its caret in characters becomes UTF-16 units; the
    // commit ends it and comes as characters.
    SetFocus(Child);
    SDL_zero(E);
    E.type = SDL_TEXTEDITING;
    std::snprintf(E.edit.text, sizeof E.edit.text, "%s", "\xF0\x9F\x98\x80x");  // U+1F600 then x
    E.edit.start = 1;
    SDL_PushEvent(&E);
    SDL_zero(E);
    E.type = SDL_TEXTINPUT;
    std::snprintf(E.text.text, sizeof E.text.text, "%s", "\xE5\x9B\xBE\xE7\x89\x87");
    SDL_PushEvent(&E);
    PumpFor(5.0, [] { return Events().Ime.size() >= 6; });
    EXPECT_EQ(Events().Ime, (std::vector<std::string>{"start", "compose 3 at 2", "result 2 at 0", "char 22270",
                                                       "char 29255", "end"}));

    // Clipboard text goes out through SDL and comes back.
    ASSERT_TRUE(OpenClipboard(Top));
    EmptyClipboard();
    std::u16string Text = u"\u56FE\u7247 clip";
    HGLOBAL Mem = GlobalAlloc(GMEM_MOVEABLE, (Text.size() + 1) * 2);
    std::memcpy(GlobalLock(Mem), Text.c_str(), (Text.size() + 1) * 2);
    GlobalUnlock(Mem);
    SetClipboardData(CF_UNICODETEXT, Mem);
    CloseClipboard();
    char* Sdl = SDL_GetClipboardText();
    EXPECT_STREQ(Sdl, "\xE5\x9B\xBE\xE7\x89\x87 clip");
    SDL_free(Sdl);
    SDL_SetClipboardText("back \xC3\xA9");
    ASSERT_TRUE(OpenClipboard(Top));
    HANDLE Got = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(Got, nullptr);
    EXPECT_EQ(std::u16string(static_cast<const char16_t*>(GlobalLock(Got))), u"back \u00E9");
    GlobalUnlock(Got);
    CloseClipboard();

    DestroyWindow(Top);
    PumpFor(0.2, [] { return false; });
    UnregisterClassW(u"XvfbEvents", nullptr);
}

}  // namespace
}  // namespace velmo
