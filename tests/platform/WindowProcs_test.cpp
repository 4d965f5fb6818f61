// Procedure chains, object-bound procedure instances, fields, properties,
// atoms, and handles that outlive their windows.
#include <gtest/gtest.h>

#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

class WindowProcs : public WindowTest {};
class WindowFields : public WindowTest {};

WNDPROC SavedA = nullptr;
WNDPROC SavedB = nullptr;

LRESULT SubA(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_USER) Trace().push_back("A");
    return CallWindowProcW(SavedA, Wnd, Msg, W, L);
}
LRESULT SubB(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_USER) Trace().push_back("B");
    return CallWindowProcW(SavedB, Wnd, Msg, W, L);
}

std::vector<std::string> Delivered(HWND Wnd) {
    Trace().clear();
    SendMessageW(Wnd, WM_USER, 0, 0);
    return Trace();
}

// A subclasser bound to an object, the way the skinners subclass.
struct TSubclasser {
    std::string Name;
    HWND Wnd = nullptr;
    WNDPROC Instance = nullptr;
    WNDPROC Prev = nullptr;
    LRESULT Proc(UINT Msg, WPARAM W, LPARAM L) {
        if (Msg == WM_USER) Trace().push_back(Name);
        return CallWindowProcW(Prev, Wnd, Msg, W, L);
    }
    void Attach(HWND H) {
        Wnd = H;
        Instance = MakeObjectInstance([this](HWND, UINT Msg, WPARAM W, LPARAM L) { return Proc(Msg, W, L); });
        Prev = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(H, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(Instance)));
    }
    void Detach() {
        SetWindowLongPtrW(Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(Prev));
        FreeObjectInstance(Instance);
    }
};

TEST_F(WindowProcs, SubclassingAndStaleHandles) {
    HWND Wnd = Make("w", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200);
    ASSERT_NE(Wnd, nullptr);
    const std::string Base = "w WM_USER";

    // Plain procedures A then B, put back in both orders.
    for (bool AFirst : {true, false}) {
        SCOPED_TRACE(AFirst ? "A restored first" : "B restored first");
        SavedA = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SubA)));
        SavedB = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SubB)));
        EXPECT_EQ(SavedB, SubA);
        EXPECT_EQ(Delivered(Wnd), (std::vector<std::string>{"B", "A", Base}));
        if (AFirst) {
            SetWindowLongPtrW(Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SavedA));
            EXPECT_EQ(GetWindowLongPtrW(Wnd, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(SubB));
            EXPECT_EQ(Delivered(Wnd), (std::vector<std::string>{"B", Base}));
            SetWindowLongPtrW(Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SavedB));
        } else {
            SetWindowLongPtrW(Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SavedB));
            EXPECT_EQ(Delivered(Wnd), (std::vector<std::string>{"A", Base}));
            SetWindowLongPtrW(Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SavedA));
        }
        EXPECT_EQ(Delivered(Wnd), std::vector<std::string>{Base});
        EXPECT_EQ(GetWindowLongPtrW(Wnd, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(TracingProc));
    }

    // Object-bound instances, freed as they are taken out; three deep, the
    // middle one taken out first.
    for (int Order = 0; Order < 2; ++Order) {
        SCOPED_TRACE(Order == 0 ? "X restored first" : "Y restored first");
        TSubclasser X{"X"}, Y{"Y"}, Z{"Z"};
        X.Attach(Wnd);
        Y.Attach(Wnd);
        Z.Attach(Wnd);
        EXPECT_EQ(Delivered(Wnd), (std::vector<std::string>{"Z", "Y", "X", Base}));
        WNDPROC FreedY = Y.Instance;
        Y.Detach();
        EXPECT_EQ(Delivered(Wnd), (std::vector<std::string>{"Z", "X", Base}));
        // A call through the freed instance reaches DefWindowProcW only.
        Trace().clear();
        EXPECT_EQ(FreedY(Wnd, WM_NCHITTEST, 0, MAKELPARAM(250, 200)), HTCLIENT);
        EXPECT_EQ(FreedY(Wnd, WM_USER, 0, 0), 0);
        EXPECT_TRUE(Trace().empty());
        if (Order == 0) {
            X.Detach();
            EXPECT_EQ(Delivered(Wnd), (std::vector<std::string>{"Z", Base}));
            Z.Detach();
        } else {
            Z.Detach();
            EXPECT_EQ(Delivered(Wnd), (std::vector<std::string>{"X", Base}));
            X.Detach();
        }
        EXPECT_EQ(Delivered(Wnd), std::vector<std::string>{Base});
    }
    EXPECT_EQ(SetWindowLongPtrW(Wnd, GWL_WNDPROC, 0), 0);  // no procedure is no procedure
    EXPECT_EQ(Delivered(Wnd), std::vector<std::string>{Base});
}

// Windows that die inside their own procedures, hooks and timers.
struct TDeaths {
    HWND Victim = nullptr;
    bool KillCreation = false;
    int After = 0;  // messages seen by the procedure after its window died
};
TDeaths& Deaths() {
    static TDeaths D;
    return D;
}

LRESULT DiesOnClick(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (!IsWindow(Wnd)) ++Deaths().After;
    if (Msg == WM_LBUTTONDOWN) {
        EXPECT_TRUE(DestroyWindow(Wnd));
        // Everything asked of the dead handle fails cleanly.
        EXPECT_EQ(GetWindowLongPtrW(Wnd, GWL_USERDATA), 0);
        EXPECT_EQ(DefWindowProcW(Wnd, WM_GETTEXTLENGTH, 0, 0), 0);
        EXPECT_EQ(SendMessageW(Wnd, WM_USER, 0, 0), 0);
        EXPECT_FALSE(PostMessageW(Wnd, WM_USER, 0, 0));
        return 0;
    }
    return DefWindowProcW(Wnd, Msg, W, L);
}

LRESULT DestroyingCbt(int Code, WPARAM W, LPARAM L) {
    if ((Code == HCBT_ACTIVATE || Code == HCBT_CREATEWND) && reinterpret_cast<HWND>(W) == Deaths().Victim)
        DestroyWindow(reinterpret_cast<HWND>(W));
    if (Code == HCBT_CREATEWND && Deaths().KillCreation) DestroyWindow(reinterpret_cast<HWND>(W));
    return CallNextHookEx(nullptr, Code, W, L);
}

void DestroyingTimer(HWND Wnd, UINT, UINT_PTR, DWORD) { DestroyWindow(Wnd); }

TEST_F(WindowProcs, WindowsDyingInsideTheirOwnCallsFailCleanly) {
    WNDCLASSEXW C;
    C.lpfnWndProc = DiesOnClick;
    C.lpszClassName = u"Dies";
    ASSERT_NE(RegisterClassExW(&C), 0);
    Deaths() = TDeaths();

    // Its own mouse message.
    HWND Wnd = CreateWindowExW(0, u"Dies", nullptr, WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                               nullptr, nullptr);
    HWND Kid = CreateWindowExW(0, u"Dies", nullptr, WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, Wnd, nullptr,
                               nullptr, nullptr);
    ASSERT_TRUE(Wnd && Kid);
    Host->MouseDown(50, 50);
    Host->MouseUp(50, 50);
    Host->MouseMove(51, 51);
    Pump();
    EXPECT_FALSE(IsWindow(Wnd));
    EXPECT_FALSE(IsWindow(Kid));
    EXPECT_EQ(Deaths().After, 0);  // nothing reaches a procedure once its window is gone
    EXPECT_EQ(SendMessageW(Wnd, WM_USER, 0, 0), 0);
    EXPECT_EQ(GetLastError(), int(ERROR_INVALID_WINDOW_HANDLE));

    // A creation or activation hook.
    HHOOK H = SetWindowsHookExW(WH_CBT, DestroyingCbt, nullptr, 0);
    Deaths().KillCreation = true;
    EXPECT_EQ(CreateWindowExW(0, u"Traced", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    Deaths().KillCreation = false;
    Deaths().Victim = Make("victim", WS_POPUP, 0, 0, 10, 10);
    EXPECT_NE(Deaths().Victim, nullptr);
    ShowWindow(Deaths().Victim, SW_SHOW);
    EXPECT_FALSE(IsWindow(Deaths().Victim));
    EXPECT_NE(GetActiveWindow(), Deaths().Victim);
    UnhookWindowsHookEx(H);

    // A timer procedure.
    HWND Timed = Make("timed", WS_POPUP, 0, 0, 10, 10);
    SetTimer(Timed, 1, 10, DestroyingTimer);
    MSG M;
    for (int I = 0; I < 5 && IsWindow(Timed) && GetMessageW(&M, nullptr, 0, 0) > 0; ++I) DispatchMessageW(&M);
    EXPECT_FALSE(IsWindow(Timed));
    EXPECT_FALSE(KillTimer(Timed, 1));  // the timer went with its window

    UnregisterClassW(u"Dies", nullptr);
}

TEST_F(WindowProcs, DeadHandlesNeverNameNewWindowsAndSizesAreClamped) {
    HWND First = Make("first", WS_POPUP, 0, 0, 10, 10);
    DestroyWindow(First);
    std::vector<HWND> Made;
    for (int I = 0; I < 3000; ++I) {
        HWND H = CreateWindowExW(0, u"Traced", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(H, First);
        DestroyWindow(H);
        Made.push_back(H);
    }
    EXPECT_FALSE(IsWindow(First));
    for (HWND H : Made) ASSERT_FALSE(IsWindow(H));
    EXPECT_FALSE(SetWindowPos(First, nullptr, 0, 0, 1, 1, 0));
    EXPECT_EQ(SetWindowLongPtrW(First, GWL_USERDATA, 5), 0);
    EXPECT_EQ(GetLastError(), int(ERROR_INVALID_WINDOW_HANDLE));
    // Made-up handles without a window are never windows either.
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(uintptr_t(0x1234))));

    struct TCase {
        const char* Name;
        DWORD Style;
        int X, Y, Cx, Cy;
        RECT Want;
    };
    const TCase Cases[] = {
        {"wide popup", WS_POPUP, 0, 0, 100000, 50, {0, 0, 32767, 50}},
        {"negative size", WS_POPUP, 5, 5, -40, -1, {5, 5, 5, 5}},
        {"far away", WS_POPUP, -100000, 100000, 10, 10, {-32768, 32767, -32758, 32777}},
        {"overlapped", WS_OVERLAPPEDWINDOW, 0, 0, 100000, 100000, {0, 0, 1292, 1036}},
        {"tiny overlapped", WS_OVERLAPPEDWINDOW, 0, 0, 1, 1, {0, 0, 112, 27}},
    };
    for (const TCase& C : Cases) {
        HWND H = Make(C.Name, C.Style, C.X, C.Y, C.Cx, C.Cy);
        ASSERT_NE(H, nullptr) << C.Name;
        RECT R;
        GetWindowRect(H, &R);
        EXPECT_EQ(R.left, C.Want.left) << C.Name;
        EXPECT_EQ(R.top, C.Want.top) << C.Name;
        EXPECT_EQ(R.right, C.Want.right) << C.Name;
        EXPECT_EQ(R.bottom, C.Want.bottom) << C.Name;
        SetWindowPos(H, nullptr, 0, 0, 70000, 70000, SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(H, &R);
        EXPECT_LE(R.right - R.left, 32767) << C.Name;
        DestroyWindow(H);
    }
}

TEST_F(WindowFields, GwlPropertiesAtomsAndRegisteredMessages) {
    HWND Owner = Make("owner", WS_OVERLAPPED, 0, 0, 100, 100);
    HWND Wnd = Make("w", WS_POPUP, 0, 0, 100, 100, Owner);
    HWND Kid = Make("kid", WS_CHILD, 0, 0, 10, 10, Wnd, 0, reinterpret_cast<HMENU>(uintptr_t(42)));
    ASSERT_TRUE(Owner && Wnd && Kid);

    EXPECT_EQ(GetWindowLongPtrW(Wnd, GWL_HINSTANCE), reinterpret_cast<LONG_PTR>(GetModuleHandleW(nullptr)));
    EXPECT_EQ(GetWindowLongPtrW(Kid, GWL_HINSTANCE), GetWindowLongPtrW(Owner, GWL_HINSTANCE));
    EXPECT_EQ(GetWindowLongPtrW(Wnd, GWL_HWNDPARENT), reinterpret_cast<LONG_PTR>(Owner));
    EXPECT_EQ(GetParent(Wnd), Owner);
    EXPECT_EQ(GetParent(Kid), Wnd);
    EXPECT_EQ(GetWindow(Wnd, GW_OWNER), Owner);
    EXPECT_EQ(GetDlgCtrlID(Kid), 42);
    EXPECT_EQ(GetDlgItem(Wnd, 42), Kid);
    EXPECT_EQ(GetAncestor(Kid, GA_ROOT), Wnd);
    EXPECT_EQ(GetAncestor(Kid, GA_ROOTOWNER), Owner);
    EXPECT_TRUE(IsWindowUnicode(Wnd));

    Trace().clear();
    EXPECT_EQ(DWORD(SetWindowLongPtrW(Wnd, GWL_STYLE, LONG_PTR(WS_POPUP | WS_BORDER))), WS_POPUP);
    EXPECT_EQ(TraceOf({"STYLE"}), (std::vector<std::string>{"w WM_STYLECHANGING", "w WM_STYLECHANGED"}));
    EXPECT_EQ(DWORD(GetWindowLongPtrW(Wnd, GWL_STYLE)), WS_POPUP | WS_BORDER);
    SetWindowLongPtrW(Wnd, GWL_USERDATA, 77);
    EXPECT_EQ(GetWindowLongPtrW(Wnd, GWL_USERDATA), 77);
    // Extra bytes: 16 of them, pointer-sized values, no reading past them.
    EXPECT_EQ(SetWindowLongPtrW(Wnd, 8, 99), 0);
    EXPECT_EQ(GetWindowLongPtrW(Wnd, 8), 99);
    EXPECT_EQ(GetWindowLongPtrW(Wnd, 9), 0);
    EXPECT_EQ(GetLastError(), int(ERROR_INVALID_INDEX));
    EXPECT_EQ(SetWindowLongPtrW(Wnd, 1 << 30, 1), 0);

    // Properties by name and by atom, names folded; gone with the window.
    ATOM A = GlobalAddAtomW(u"SkinAtom");
    ASSERT_GE(A, 0xC000);
    EXPECT_EQ(GlobalFindAtomW(u"skinatom"), A);
    EXPECT_TRUE(SetPropW(Wnd, u"Owner.Object", reinterpret_cast<HANDLE>(uintptr_t(5))));
    EXPECT_TRUE(SetPropW(Wnd, MAKEINTATOM(A), reinterpret_cast<HANDLE>(uintptr_t(6))));
    EXPECT_EQ(GetPropW(Wnd, u"owner.object"), reinterpret_cast<HANDLE>(uintptr_t(5)));
    EXPECT_EQ(GetPropW(Wnd, u"SKINATOM"), reinterpret_cast<HANDLE>(uintptr_t(6)));
    EXPECT_EQ(RemovePropW(Wnd, u"Owner.Object"), reinterpret_cast<HANDLE>(uintptr_t(5)));
    EXPECT_EQ(GetPropW(Wnd, u"Owner.Object"), nullptr);
    char16_t Name[32];
    EXPECT_EQ(GlobalGetAtomNameW(A, Name, 32), 8u);
    EXPECT_EQ(std::u16string(Name), u"SkinAtom");

    // Registered messages: one number per name, folded, from 0xC000 on.
    UINT M1 = RegisterWindowMessageW(u"WM_SKINOBJECT");
    EXPECT_GE(M1, FIRST_REGISTERED_MESSAGE);
    EXPECT_EQ(RegisterWindowMessageW(u"wm_skinobject"), M1);
    EXPECT_NE(RegisterWindowMessageW(u"WM_OTHER"), M1);
    EXPECT_EQ(RegisterWindowMessageW(u""), 0u);

    // Classes: no second class of a name, none unregistered while in use.
    WNDCLASSEXW C;
    C.lpfnWndProc = TracingProc;
    C.lpszClassName = u"traced";
    EXPECT_EQ(RegisterClassExW(&C), 0);
    EXPECT_EQ(GetLastError(), int(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_FALSE(UnregisterClassW(u"Traced", nullptr));
    EXPECT_EQ(GetClassNameString(Kid), u"Traced");
    EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);

    // Text through the window's messages; top-level captions reach the host.
    EXPECT_TRUE(SetWindowTextW(Owner, u"OrvekanPDF"));
    EXPECT_EQ(GetWindowTextString(Owner), u"OrvekanPDF");
    char16_t Small[5];
    EXPECT_EQ(GetWindowTextW(Owner, Small, 5), 4);
    EXPECT_EQ(std::u16string(Small), u"Orve");
    EXPECT_EQ(Host->Calls().back().What, "title");
    EXPECT_EQ(Host->Calls().back().Title, u"OrvekanPDF");
    EXPECT_EQ(FindWindowW(u"traced", u"OrvekanPDF"), Owner);

    DestroyWindow(Wnd);
    EXPECT_EQ(GetPropW(Wnd, MAKEINTATOM(A)), nullptr);
    EXPECT_TRUE(IsWindow(Owner));
    GlobalDeleteAtom(A);
}

}  // namespace
}  // namespace velmo::uitest
