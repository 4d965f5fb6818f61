// Shared set-up of the window-layer tests: a fresh Null host, a trace of
// messages by window name, and a class whose procedure records every
// message and answers through DefWindowProcW.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Window.h"
#include "platform/ui/host/NullHost.h"

namespace velmo::uitest {

inline std::vector<std::string>& Trace() {
    static std::vector<std::string> T;
    return T;
}

inline std::map<HWND, std::string>& Names() {
    static std::map<HWND, std::string> N;
    return N;
}

inline std::string MessageName(UINT Msg) {
    static const std::map<UINT, const char*> Table = {
        {WM_CREATE, "WM_CREATE"}, {WM_DESTROY, "WM_DESTROY"}, {WM_MOVE, "WM_MOVE"}, {WM_SIZE, "WM_SIZE"},
        {WM_ACTIVATE, "WM_ACTIVATE"}, {WM_SETFOCUS, "WM_SETFOCUS"}, {WM_KILLFOCUS, "WM_KILLFOCUS"},
        {WM_SHOWWINDOW, "WM_SHOWWINDOW"}, {WM_ACTIVATEAPP, "WM_ACTIVATEAPP"},
        {WM_GETMINMAXINFO, "WM_GETMINMAXINFO"}, {WM_WINDOWPOSCHANGING, "WM_WINDOWPOSCHANGING"},
        {WM_WINDOWPOSCHANGED, "WM_WINDOWPOSCHANGED"}, {WM_NCCREATE, "WM_NCCREATE"},
        {WM_NCDESTROY, "WM_NCDESTROY"}, {WM_NCCALCSIZE, "WM_NCCALCSIZE"}, {WM_NCHITTEST, "WM_NCHITTEST"},
        {WM_NCACTIVATE, "WM_NCACTIVATE"}, {WM_PARENTNOTIFY, "WM_PARENTNOTIFY"}, {WM_TIMER, "WM_TIMER"},
        {WM_CAPTURECHANGED, "WM_CAPTURECHANGED"}, {WM_MOUSEMOVE, "WM_MOUSEMOVE"},
        {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"}, {WM_LBUTTONUP, "WM_LBUTTONUP"},
        {WM_NCLBUTTONDOWN, "WM_NCLBUTTONDOWN"}, {WM_MOUSEACTIVATE, "WM_MOUSEACTIVATE"},
        {WM_STYLECHANGING, "WM_STYLECHANGING"}, {WM_STYLECHANGED, "WM_STYLECHANGED"},
        {WM_SYSCOMMAND, "WM_SYSCOMMAND"}, {WM_CLOSE, "WM_CLOSE"}, {WM_CHAR, "WM_CHAR"},
        {WM_ENTERSIZEMOVE, "WM_ENTERSIZEMOVE"}, {WM_EXITSIZEMOVE, "WM_EXITSIZEMOVE"}, {WM_MOVING, "WM_MOVING"},
        {WM_SYSKEYDOWN, "WM_SYSKEYDOWN"}, {WM_PAINT, "WM_PAINT"}, {WM_NCPAINT, "WM_NCPAINT"},
        {WM_ERASEBKGND, "WM_ERASEBKGND"}, {WM_KEYDOWN, "WM_KEYDOWN"}, {WM_USER, "WM_USER"},
    };
    auto It = Table.find(Msg);
    return It == Table.end() ? "0x" + std::to_string(Msg) : It->second;
}

// The name the next window made gets from its very first message on.
inline std::string& PendingName() {
    static std::string N;
    return N;
}

inline std::string NameOf(HWND Wnd) {
    auto It = Names().find(Wnd);
    if (It == Names().end() && !PendingName().empty()) {
        Names()[Wnd] = PendingName();
        PendingName().clear();
        It = Names().find(Wnd);
    }
    return It == Names().end() ? "?" : It->second;
}

inline LRESULT TracingProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    Trace().push_back(NameOf(Wnd) + " " + MessageName(Msg));
    return DefWindowProcW(Wnd, Msg, W, L);
}

// The entries of Trace() that mention one of Words, in order.
inline std::vector<std::string> TraceOf(std::initializer_list<const char*> Words) {
    std::vector<std::string> Out;
    for (const auto& E : Trace())
        for (const char* Wd : Words)
            if (E.find(Wd) != std::string::npos) {
                Out.push_back(E);
                break;
            }
    return Out;
}

// A pixel of a top-level window's framebuffer as a COLORREF; all ones
// outside it.
inline COLORREF PixelAt(HWND Root, int X, int Y) {
    const TBitmap* F = GetWindowFramebuffer(Root);
    if (!F || X < 0 || Y < 0 || X >= F->Width() || Y >= F->Height()) return 0xFFFFFFFF;
    const uint8_t* P = F->ScanLine(Y) + 4 * X;
    return COLORREF(P[2] | (P[1] << 8) | (P[0] << 16));
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Host = std::make_shared<TNullHost>();
        Host->RealWaitMs = 50;
        SetWindowHost(Host);
        Trace().clear();
        Names().clear();
        PendingName().clear();
        WNDCLASSEXW C;
        C.lpfnWndProc = TracingProc;
        C.lpszClassName = u"Traced";
        C.style = CS_DBLCLKS;
        C.cbWndExtra = 16;
        RegisterClassExW(&C);
    }

    void TearDown() override {
        std::vector<HWND> All;
        EnumWindows([](HWND H, LPARAM P) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(P)->push_back(H);
            return TRUE;
        }, reinterpret_cast<LPARAM>(&All));
        for (HWND H : All) DestroyWindow(H);
        MSG M;
        for (int I = 0; I < 10000 && PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE); ++I) {
        }
        UnregisterClassW(u"Traced", nullptr);
        SetWindowHost(std::make_shared<TNullHost>());
    }

    HWND Make(const std::string& Name, DWORD Style, int X, int Y, int Cx, int Cy, HWND Parent = nullptr,
              DWORD ExStyle = 0, HMENU Menu = nullptr) {
        PendingName() = Name;
        HWND H = CreateWindowExW(ExStyle, u"Traced", nullptr, Style, X, Y, Cx, Cy, Parent, Menu, nullptr, nullptr);
        if (H) Names()[H] = Name;
        PendingName().clear();
        return H;
    }

    // Runs the queue until it is empty (dispatching everything).
    static void Pump(int Limit = 10000) {
        MSG M;
        for (int I = 0; I < Limit && PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE); ++I) {
            TranslateMessage(&M);
            DispatchMessageW(&M);
        }
    }

    std::shared_ptr<TNullHost> Host;
};

}  // namespace velmo::uitest
