// Menus: items and states, the tracking loop with its notifications, hooks
// and "#32768" windows, the menu bar and the system menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/ui/Menus.h"
#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

constexpr uint32_t KeySpace = 0x20, KeyLeft = 0x25, KeyUp = 0x26, KeyRight = 0x27, KeyDown = 0x28;

// What the owner window was told, in order.
struct TNote {
    UINT Msg = 0;
    WPARAM W = 0;
    LPARAM L = 0;
    UINT Item = 0;   // WM_MEASUREITEM / WM_DRAWITEM: the item's command
    UINT State = 0;  // WM_DRAWITEM: itemState
};

std::vector<TNote>& Notes() {
    static std::vector<TNote> N;
    return N;
}

std::function<void(HWND, UINT, WPARAM, LPARAM)>& OwnerExtra() {
    static std::function<void(HWND, UINT, WPARAM, LPARAM)> F;
    return F;
}

constexpr COLORREF OwnerDrawn = 0x0000FF;  // what the owner paints its items with

LRESULT OwnerProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    switch (Msg) {
    case WM_ENTERMENULOOP:
    case WM_EXITMENULOOP:
    case WM_INITMENU:
    case WM_INITMENUPOPUP:
    case WM_MENUSELECT:
    case WM_COMMAND:
    case WM_SYSCOMMAND:
    case WM_KEYDOWN:
    case WM_CHAR:
    case WM_NCLBUTTONDOWN: Notes().push_back({Msg, W, L}); break;
    case WM_MEASUREITEM: {
        auto* Mi = reinterpret_cast<MEASUREITEMSTRUCT*>(L);
        Notes().push_back({Msg, W, L, Mi->itemID});
        EXPECT_EQ(Mi->CtlType, ODT_MENU);
        Mi->itemWidth = 90;
        Mi->itemHeight = 24;
        return TRUE;
    }
    case WM_DRAWITEM: {
        auto* Di = reinterpret_cast<DRAWITEMSTRUCT*>(L);
        Notes().push_back({Msg, W, reinterpret_cast<LPARAM>(Di->hwndItem), Di->itemID, Di->itemState});
        EXPECT_EQ(Di->CtlType, ODT_MENU);
        HBRUSH B = CreateSolidBrush(OwnerDrawn);
        FillRect(Di->hDC, &Di->rcItem, B);
        DeleteObject(B);
        if (OwnerExtra()) OwnerExtra()(Wnd, Msg, W, L);
        return TRUE;
    }
    default: break;
    }
    if (OwnerExtra()) OwnerExtra()(Wnd, Msg, W, L);
    return DefWindowProcW(Wnd, Msg, W, L);
}

int IndexOf(UINT Msg, bool Last = false) {
    int Found = -1;
    for (size_t I = 0; I < Notes().size(); ++I)
        if (Notes()[I].Msg == Msg) {
            Found = int(I);
            if (!Last) break;
        }
    return Found;
}

std::vector<UINT> Commands(UINT Msg = WM_COMMAND) {
    std::vector<UINT> C;
    for (const TNote& N : Notes())
        if (N.Msg == Msg) C.push_back(UINT(N.W));
    return C;
}

// Every message the menu loops handed to the message filter.
struct TFiltered {
    int Code = 0;
    UINT Msg = 0;
    WPARAM W = 0;
};
std::vector<TFiltered>& Filtered() {
    static std::vector<TFiltered> F;
    return F;
}
// Called for each filtered message; true takes the message.
std::function<bool(MSG&)>& FilterAction() {
    static std::function<bool(MSG&)> F;
    return F;
}
HHOOK FilterHook = nullptr;
LRESULT FilterProc(int Code, WPARAM W, LPARAM L) {
    MSG* M = reinterpret_cast<MSG*>(L);
    Filtered().push_back({Code, M->message, M->wParam});
    if (FilterAction() && FilterAction()(*M)) return 1;
    return CallNextHookEx(FilterHook, Code, W, L);
}

// Windows the creation hook saw.
struct TCreated {
    std::u16string Class;
    DWORD Style = 0;
    HWND Wnd = nullptr;
};
std::vector<TCreated>& Created() {
    static std::vector<TCreated> C;
    return C;
}
std::function<LRESULT(HWND, CREATESTRUCTW*)>& CreateAction() {
    static std::function<LRESULT(HWND, CREATESTRUCTW*)> F;
    return F;
}
HHOOK CbtHook = nullptr;
LRESULT CbtProc(int Code, WPARAM W, LPARAM L) {
    if (Code == HCBT_CREATEWND) {
        auto* C = reinterpret_cast<CBT_CREATEWNDW*>(L);
        Created().push_back({C->lpcs->lpszClass ? std::u16string(C->lpcs->lpszClass) : u"", DWORD(C->lpcs->style),
                             reinterpret_cast<HWND>(W)});
        if (CreateAction()) {
            LRESULT R = CreateAction()(reinterpret_cast<HWND>(W), C->lpcs);
            if (R) return R;
        }
    }
    return CallNextHookEx(CbtHook, Code, W, L);
}

int MenuWindowsMade() {
    return int(std::count_if(Created().begin(), Created().end(),
                             [](const TCreated& C) { return C.Class == u"#32768"; }));
}

POINT Center(const RECT& R) { return {(R.left + R.right) / 2, (R.top + R.bottom) / 2}; }

class Menus : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Notes().clear();
        Filtered().clear();
        Created().clear();
        FilterAction() = nullptr;
        CreateAction() = nullptr;
        OwnerExtra() = nullptr;
        WNDCLASSEXW C;
        C.lpfnWndProc = OwnerProc;
        C.lpszClassName = u"MenuOwner";
        C.style = CS_DBLCLKS;
        RegisterClassExW(&C);
        FilterHook = SetWindowsHookExW(WH_MSGFILTER, FilterProc, nullptr, GetCurrentThreadId());
        CbtHook = SetWindowsHookExW(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
    }

    void TearDown() override {
        UnhookWindowsHookEx(FilterHook);
        UnhookWindowsHookEx(CbtHook);
        FilterAction() = nullptr;
        CreateAction() = nullptr;
        OwnerExtra() = nullptr;
        WindowTest::TearDown();
        UnregisterClassW(u"MenuOwner", nullptr);
    }

    HWND MakeOwner(DWORD Style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, HMENU Bar = nullptr) {
        HWND W = CreateWindowExW(0, u"MenuOwner", u"owner", Style, 100, 100, 500, 300, nullptr, Bar, nullptr,
                                 nullptr);
        Notes().clear();
        Created().clear();
        return W;
    }

    // A popup with a disabled item, an owner-drawn item, a separator, a
    // submenu and a plain item with a shortcut.
    HMENU MakePopup() {
        Sub = CreatePopupMenu();
        AppendMenuW(Sub, MF_STRING, 201, u"&Deep");
        HMENU P = CreatePopupMenu();
        AppendMenuW(P, MF_STRING | MF_GRAYED, 101, u"&Open");
        AppendMenuW(P, MF_OWNERDRAW, 102, reinterpret_cast<LPCWSTR>(uintptr_t(0x5EED)));
        AppendMenuW(P, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(P, MF_POPUP, reinterpret_cast<UINT_PTR>(Sub), u"&More");
        AppendMenuW(P, MF_STRING, 103, u"&Plain\tCtrl+P");
        return P;
    }

    // Runs Steps one after another from the menu loop's filter, each called
    // on every message the loop takes until it answers true. A timer keeps
    // messages coming; a loop that outlives its steps by 200 messages is
    // dismissed with Escape, so a failing test never hangs.
    void Drive(HWND Owner, std::vector<std::function<bool()>> Steps) {
        SetTimer(Owner, 77, 10, nullptr);
        auto Shared = std::make_shared<std::vector<std::function<bool()>>>(std::move(Steps));
        auto At = std::make_shared<size_t>(0);
        auto Count = std::make_shared<int>(0);
        FilterAction() = [this, Shared, At, Count](MSG&) {
            if (*At < Shared->size()) {
                if ((*Shared)[*At]()) ++*At;
            } else if (++*Count == 200) {
                Host->KeyDown(VK_ESCAPE);
            }
            return false;
        };
    }

    void Click(POINT P, int Button = 0) {
        Host->MouseMove(P.x, P.y);
        Host->MouseDown(P.x, P.y, Button);
        Host->MouseUp(P.x, P.y, Button);
    }

    HMENU Sub = nullptr;
};

struct TInput {
    uint32_t Vk = 0;
    char16_t Ch = 0;
};
const TInput Down{KeyDown}, Up{KeyUp}, Right{KeyRight}, Enter{VK_RETURN}, Esc{VK_ESCAPE};
TInput Char(char16_t C) { return {0, C}; }

TEST_F(Menus, TrackPopupKeysFilterOwnerDraw) {
    struct TCase {
        const char* Name;
        std::vector<TInput> Keys;
        UINT Flags;
        bool EatFirstKey;
        std::vector<UINT> Commands;
        int MenuWindows;
    };
    const TCase Cases[] = {
        {"down, down, enter chooses the owner-drawn item", {Down, Down, Enter}, 0, false, {102}, 1},
        {"escape chooses nothing", {Esc}, 0, false, {}, 1},
        {"up from nothing wraps to the last item", {Up, Enter}, 0, false, {103}, 1},
        {"enter on a disabled item closes without a command", {Down, Enter}, 0, false, {}, 1},
        {"right opens the submenu on its first item", {Up, Up, Right, Enter}, 0, false, {201}, 2},
        {"escape closes one level only", {Up, Up, Right, Esc, Up, Enter}, 0, false, {102}, 2},
        {"a mnemonic chooses its item", {Char(u'P')}, 0, false, {103}, 1},
        {"a mnemonic opens its submenu", {Char(u'm'), Enter}, 0, false, {201}, 2},
        {"a key the filter takes never reaches the menu", {Down, Down, Down, Enter}, 0, true, {102}, 1},
        {"no notifications, the command still posted", {Down, Down, Enter}, TPM_NONOTIFY, false, {102}, 1},
    };
    HWND Owner = MakeOwner();
    HMENU Popup = MakePopup();
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        Notes().clear();
        Filtered().clear();
        Created().clear();
        bool Eaten = false;
        FilterAction() = [&](MSG& M) {
            if (!C.EatFirstKey || Eaten || M.message != WM_KEYDOWN) return false;
            Eaten = true;
            return true;
        };
        for (const TInput& K : C.Keys) {
            if (K.Vk) Host->KeyDown(K.Vk);
            else Host->Text(std::u16string(1, K.Ch));
        }
        EXPECT_TRUE(TrackPopupMenu(Popup, C.Flags, 200, 150, 0, Owner, nullptr));
        Pump();
        EXPECT_EQ(Commands(), C.Commands);

        // Each popup was a top-level "#32768" window the creation hook saw,
        // and none is left.
        EXPECT_EQ(MenuWindowsMade(), C.MenuWindows);
        for (const TCreated& W : Created()) {
            if (W.Class != u"#32768") continue;
            EXPECT_FALSE(W.Style & WS_CHILD);
            EXPECT_TRUE(W.Style & WS_POPUP);
            EXPECT_FALSE(IsWindow(W.Wnd));
        }

        // The filter saw, with MSGF_MENU, every key in order; the owner none.
        std::vector<uint32_t> Seen, Sent;
        for (const TFiltered& F : Filtered()) {
            EXPECT_EQ(F.Code, MSGF_MENU);
            if (F.Msg == WM_KEYDOWN) Seen.push_back(uint32_t(F.W));
            if (F.Msg == WM_CHAR) Seen.push_back(uint32_t(F.W) | 0x10000);
        }
        for (const TInput& K : C.Keys) Sent.push_back(K.Vk ? K.Vk : (uint32_t(K.Ch) | 0x10000));
        EXPECT_EQ(Seen, Sent);
        EXPECT_EQ(IndexOf(WM_KEYDOWN), -1);
        EXPECT_EQ(IndexOf(WM_CHAR), -1);

        // Owner drawing: measured before it is first drawn, drawn into the
        // popup with the menu's handle.
        int FirstMeasure = IndexOf(WM_MEASUREITEM), LastMeasure = IndexOf(WM_MEASUREITEM, true);
        int FirstDraw = IndexOf(WM_DRAWITEM);
        ASSERT_GE(FirstMeasure, 0);
        ASSERT_GE(FirstDraw, 0);
        EXPECT_LT(LastMeasure, FirstDraw);
        EXPECT_EQ(Notes()[size_t(FirstDraw)].Item, 102u);
        EXPECT_EQ(Notes()[size_t(FirstDraw)].L, reinterpret_cast<LPARAM>(Popup));

        if (C.Flags & TPM_NONOTIFY) {
            EXPECT_EQ(IndexOf(WM_ENTERMENULOOP), -1);
            EXPECT_EQ(IndexOf(WM_INITMENUPOPUP), -1);
            EXPECT_EQ(IndexOf(WM_EXITMENULOOP), -1);
            continue;
        }
        // The order of the notifications.
        EXPECT_EQ(IndexOf(WM_ENTERMENULOOP), 0);
        EXPECT_LT(IndexOf(WM_INITMENU), IndexOf(WM_INITMENUPOPUP));
        EXPECT_EQ(Notes()[size_t(IndexOf(WM_INITMENUPOPUP))].W, reinterpret_cast<WPARAM>(Popup));
        EXPECT_LT(IndexOf(WM_INITMENUPOPUP), FirstMeasure);
        int Exit = IndexOf(WM_EXITMENULOOP);
        ASSERT_GE(Exit, 0);
        const TNote& Closing = Notes()[size_t(Exit - 1)];
        EXPECT_EQ(Closing.Msg, WM_MENUSELECT);
        EXPECT_EQ(HIWORD(Closing.W), 0xFFFF);
        EXPECT_EQ(Closing.L, 0);
        if (!C.Commands.empty()) {
            EXPECT_LT(IndexOf(WM_MENUSELECT), Exit);
            EXPECT_LT(Exit, IndexOf(WM_COMMAND));
        }
    }

    // TPM_RETURNCMD gives the command instead of posting it.
    Notes().clear();
    FilterAction() = nullptr;
    Host->KeyDown(KeyDown);
    Host->KeyDown(KeyDown);
    Host->KeyDown(VK_RETURN);
    EXPECT_EQ(TrackPopupMenu(Popup, TPM_RETURNCMD, 200, 150, 0, Owner, nullptr), 102);
    Pump();
    EXPECT_TRUE(Commands().empty());
    Host->KeyDown(VK_ESCAPE);
    EXPECT_EQ(TrackPopupMenu(Popup, TPM_RETURNCMD, 200, 150, 0, Owner, nullptr), 0);

    // A maximised window's system menu greys Maximize and enables Restore.
    ShowWindow(Owner, SW_SHOWMAXIMIZED);
    HMENU Sys = GetSystemMenu(Owner, FALSE);
    ASSERT_NE(Sys, nullptr);
    MENUITEMINFOW Info;
    Info.fMask = MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoW(Sys, UINT(SC_MAXIMIZE), FALSE, &Info));
    EXPECT_EQ(Info.fState, MFS_GRAYED);
    ASSERT_TRUE(GetMenuItemInfoW(Sys, UINT(SC_RESTORE), FALSE, &Info));
    EXPECT_EQ(Info.fState & MFS_GRAYED, 0u);
    DestroyMenu(Popup);
}

TEST_F(Menus, ItemsInfoAndStates) {
    HMENU Sub = CreatePopupMenu();
    HMENU M = CreateMenu();
    ASSERT_TRUE(AppendMenuW(M, MF_STRING, 1, u"&One"));
    ASSERT_TRUE(AppendMenuW(M, MF_POPUP, reinterpret_cast<UINT_PTR>(Sub), u"&Sub"));
    ASSERT_TRUE(AppendMenuW(Sub, MF_STRING | MF_CHECKED, 7, u"Seven"));
    // Inserting before a command found in a submenu puts the item there.
    MENUITEMINFOW New;
    New.fMask = MIIM_ID | MIIM_STRING;
    New.wID = 6;
    New.dwTypeData = const_cast<LPWSTR>(u"Six");
    ASSERT_TRUE(InsertMenuItemW(M, 7, FALSE, &New));
    EXPECT_EQ(GetMenuItemCount(Sub), 2);
    EXPECT_EQ(GetMenuItemID(Sub, 0), 6u);
    ASSERT_TRUE(InsertMenuItemW(M, 99, TRUE, &New));  // past the end: appended
    EXPECT_EQ(GetMenuItemCount(M), 3);

    EXPECT_EQ(GetMenuItemID(M, 1), 0xFFFFFFFFu);  // a submenu item
    EXPECT_EQ(GetSubMenu(M, 1), Sub);
    EXPECT_EQ(GetSubMenu(M, 0), nullptr);
    EXPECT_EQ(GetMenuState(M, 1, MF_BYPOSITION), MF_POPUP | (2u << 8));

    // Text: the length on request, truncation with a terminator.
    MENUITEMINFOW Info;
    Info.fMask = MIIM_STRING;
    ASSERT_TRUE(GetMenuItemInfoW(M, 1, FALSE, &Info));
    EXPECT_EQ(Info.cch, 4u);
    char16_t Buf[3];
    Info.dwTypeData = Buf;
    Info.cch = 3;
    ASSERT_TRUE(GetMenuItemInfoW(M, 1, FALSE, &Info));
    EXPECT_EQ(std::u16string(Buf), u"&O");
    EXPECT_EQ(Info.cch, 2u);

    // States: greyed reads as MFS_GRAYED, check and enable return the old state.
    EXPECT_EQ(EnableMenuItem(M, 1, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
    Info.fMask = MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoW(M, 1, FALSE, &Info));
    EXPECT_EQ(Info.fState, MFS_GRAYED);
    EXPECT_EQ(EnableMenuItem(M, 1, MF_BYCOMMAND | MF_ENABLED), BOOL(MFS_GRAYED));
    EXPECT_EQ(CheckMenuItem(M, 7, MF_BYCOMMAND | MF_UNCHECKED), MF_CHECKED);
    EXPECT_EQ(GetMenuState(M, 7, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(EnableMenuItem(M, 1234, MF_BYCOMMAND), -1);
    EXPECT_EQ(CheckMenuItem(M, 1234, MF_BYCOMMAND), 0xFFFFFFFFu);

    // Owner drawing added by type keeps the text for GetMenuStringW; the
    // old-style type read gives none.
    Info.fMask = MIIM_FTYPE;
    Info.fType = MFT_OWNERDRAW;
    ASSERT_TRUE(SetMenuItemInfoW(M, 0, TRUE, &Info));
    char16_t Text[16];
    EXPECT_EQ(GetMenuStringW(M, 1, Text, 16, MF_BYCOMMAND), 4);
    EXPECT_EQ(std::u16string(Text), u"&One");
    EXPECT_EQ(GetMenuStringW(M, 1, Text, 3, MF_BYCOMMAND), 2);
    Info.fMask = MIIM_TYPE;
    Info.dwTypeData = Buf;
    Info.cch = 3;
    ASSERT_TRUE(GetMenuItemInfoW(M, 0, TRUE, &Info));
    EXPECT_EQ(Info.fType, MFT_OWNERDRAW);
    EXPECT_EQ(Info.cch, 0u);

    // A menu never becomes its own submenu, directly or through another.
    EXPECT_FALSE(AppendMenuW(M, MF_POPUP, reinterpret_cast<UINT_PTR>(M), u"Self"));
    EXPECT_FALSE(AppendMenuW(Sub, MF_POPUP, reinterpret_cast<UINT_PTR>(M), u"Loop"));
    Info.fMask = MIIM_SUBMENU;
    Info.hSubMenu = M;
    EXPECT_FALSE(SetMenuItemInfoW(Sub, 0, TRUE, &Info));
    EXPECT_FALSE(AppendMenuW(M, MF_POPUP, 0x1234, u"Dead"));

    // RemoveMenu keeps a submenu alive, DeleteMenu and DestroyMenu end it.
    HMENU Kept = CreatePopupMenu();
    AppendMenuW(M, MF_POPUP, reinterpret_cast<UINT_PTR>(Kept), u"Kept");
    ASSERT_TRUE(RemoveMenu(M, 3, MF_BYPOSITION));
    EXPECT_TRUE(IsMenu(Kept));
    AppendMenuW(M, MF_POPUP, reinterpret_cast<UINT_PTR>(Kept), u"Kept");
    ASSERT_TRUE(DeleteMenu(M, 3, MF_BYPOSITION));
    EXPECT_FALSE(IsMenu(Kept));
    ASSERT_TRUE(DestroyMenu(M));
    EXPECT_FALSE(IsMenu(Sub));
    EXPECT_FALSE(DestroyMenu(M));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_MENU_HANDLE);
    EXPECT_EQ(GetMenuItemCount(M), -1);
    EXPECT_FALSE(AppendMenuW(M, MF_STRING, 1, u"x"));
    // Handles are never reused.
    HMENU Again = CreateMenu();
    EXPECT_NE(Again, M);
    EXPECT_NE(Again, Sub);
    DestroyMenu(Again);
}

// Random edits over a few menus, some destroyed on the way: every call
// answers without touching freed menus and searches always end.
TEST_F(Menus, RandomEditsStayConsistent) {
    uint32_t Seed = 12345;
    auto Next = [&](uint32_t N) {
        Seed = Seed * 1664525u + 1013904223u;
        return (Seed >> 8) % N;
    };
    std::vector<HMENU> Pool;
    for (int I = 0; I < 6; ++I) Pool.push_back(CreatePopupMenu());
    for (int Op = 0; Op < 3000; ++Op) {
        HMENU A = Pool[Next(uint32_t(Pool.size()))], B = Pool[Next(uint32_t(Pool.size()))];
        UINT Id = Next(20);
        MENUITEMINFOW Info;
        switch (Next(9)) {
        case 0: AppendMenuW(A, MF_STRING, Id, u"&Item"); break;
        case 1: AppendMenuW(A, MF_POPUP, reinterpret_cast<UINT_PTR>(B), u"Sub"); break;
        case 2: InsertMenuW(A, Id, MF_BYCOMMAND | MF_SEPARATOR, 0, nullptr); break;
        case 3:
            Info.fMask = MIIM_SUBMENU | MIIM_STATE;
            Info.hSubMenu = B;
            Info.fState = MFS_GRAYED;
            SetMenuItemInfoW(A, Id, Next(2), &Info);
            break;
        case 4: DeleteMenu(A, Id, Next(2) ? MF_BYPOSITION : MF_BYCOMMAND); break;
        case 5: RemoveMenu(A, Id, MF_BYCOMMAND); break;
        case 6:
            if (Next(10) == 0) {
                DestroyMenu(A);
                Pool[Next(uint32_t(Pool.size()))] = CreatePopupMenu();
            }
            break;
        case 7: EnableMenuItem(A, Id, MF_BYCOMMAND | MF_GRAYED); break;
        default: {
            char16_t Buf[8];
            GetMenuStringW(A, Id, Buf, 8, MF_BYCOMMAND);
            GetMenuState(A, Id, MF_BYCOMMAND);
            break;
        }
        }
        // No menu ever reaches itself through its submenus.
        for (HMENU M : Pool) {
            std::vector<HMENU> Queue{M};
            std::vector<HMENU> Seen;
            for (size_t Q = 0; Q < Queue.size(); ++Q) {
                for (int P = 0; P < std::max(0, GetMenuItemCount(Queue[Q])); ++P) {
                    HMENU S = GetSubMenu(Queue[Q], P);
                    if (!S || std::find(Seen.begin(), Seen.end(), S) != Seen.end()) continue;
                    ASSERT_NE(S, M) << "cycle after operation " << Op;
                    Seen.push_back(S);
                    Queue.push_back(S);
                }
            }
        }
    }
    for (HMENU M : Pool)
        if (IsMenu(M)) DestroyMenu(M);
}

TEST_F(Menus, MouseHoverClickAndPlacement) {
    HWND Owner = MakeOwner();
    HMENU Popup = MakePopup();
    HMENU Deep = Sub;

    // Alignment flags put the popup's corner or centre at the point; the
    // screen edge pushes it back.
    struct TPlace {
        UINT Flags;
        POINT At;
        std::function<void(const RECT&)> Check;
    };
    const TPlace Places[] = {
        {TPM_LEFTALIGN | TPM_TOPALIGN, {600, 500}, [](const RECT& R) { EXPECT_EQ(R.left, 600); EXPECT_EQ(R.top, 500); }},
        {TPM_RIGHTALIGN | TPM_BOTTOMALIGN, {600, 500},
         [](const RECT& R) { EXPECT_EQ(R.right, 600); EXPECT_EQ(R.bottom, 500); }},
        {TPM_CENTERALIGN | TPM_VCENTERALIGN, {600, 500},
         [](const RECT& R) {
             EXPECT_LE(std::abs((R.left + R.right) / 2 - 600), 1);
             EXPECT_LE(std::abs((R.top + R.bottom) / 2 - 500), 1);
         }},
        {TPM_LEFTALIGN, {1275, 1020},
         [](const RECT& R) {
             EXPECT_LE(R.right, 1280);
             EXPECT_LE(R.bottom, 1024);
             EXPECT_GE(R.left, 0);
         }},
    };
    for (const TPlace& P : Places) {
        RECT Got{};
        FilterAction() = [&](MSG&) {
            GetWindowRect(FindWindowW(u"#32768", nullptr), &Got);
            return false;
        };
        Host->KeyDown(VK_ESCAPE);
        TrackPopupMenu(Popup, P.Flags, P.At.x, P.At.y, 0, Owner, nullptr);
        P.Check(Got);
    }

    // An item with MFT_MENUBREAK starts a new column at the top.
    HMENU Columns = CreatePopupMenu();
    AppendMenuW(Columns, MF_STRING, 1, u"One");
    AppendMenuW(Columns, MF_STRING, 2, u"Two");
    AppendMenuW(Columns, MF_STRING | MF_MENUBREAK, 3, u"Three");
    RECT C1{}, C2{}, C3{};
    FilterAction() = [&](MSG&) {
        GetMenuItemRect(nullptr, Columns, 0, &C1);
        GetMenuItemRect(nullptr, Columns, 1, &C2);
        GetMenuItemRect(nullptr, Columns, 2, &C3);
        return false;
    };
    Host->KeyDown(VK_ESCAPE);
    TrackPopupMenu(Columns, 0, 300, 300, 0, Owner, nullptr);
    EXPECT_EQ(C2.top, C1.bottom);
    EXPECT_EQ(C3.top, C1.top);
    EXPECT_GE(C3.left, C1.right);
    EXPECT_EQ(C1.right - C1.left, C2.right - C2.left);
    DestroyMenu(Columns);

    // A left click on an item chooses it.
    Notes().clear();
    Drive(Owner, {[&] {
        RECT R;
        if (!GetMenuItemRect(nullptr, Popup, 4, &R)) return false;
        Click(Center(R));
        return true;
    }});
    TrackPopupMenu(Popup, 0, 200, 150, 0, Owner, nullptr);
    Pump();
    EXPECT_EQ(Commands(), std::vector<UINT>{103});

    // Hovering the submenu item opens it (WM_MENUSELECT names it by
    // position with MF_POPUP); a click in it chooses there.
    Notes().clear();
    Created().clear();
    Drive(Owner, {[&] {
                      RECT R;
                      GetMenuItemRect(nullptr, Popup, 3, &R);
                      Host->MouseMove(Center(R).x, Center(R).y);
                      return true;
                  },
                  [&] {
                      RECT R;
                      if (MenuWindowsMade() < 2 || !GetMenuItemRect(nullptr, Deep, 0, &R)) return false;
                      Click(Center(R));
                      return true;
                  }});
    TrackPopupMenu(Popup, 0, 200, 150, 0, Owner, nullptr);
    Pump();
    EXPECT_EQ(Commands(), std::vector<UINT>{201});
    bool NamedByPosition = std::any_of(Notes().begin(), Notes().end(), [](const TNote& N) {
        return N.Msg == WM_MENUSELECT && LOWORD(N.W) == 3 && (HIWORD(N.W) & MF_POPUP);
    });
    EXPECT_TRUE(NamedByPosition);

    // A right-button release chooses only with TPM_RIGHTBUTTON.
    for (UINT Flags : {0u, UINT(TPM_RIGHTBUTTON)}) {
        Notes().clear();
        Drive(Owner, {[&] {
                          RECT R;
                          GetMenuItemRect(nullptr, Popup, 4, &R);
                          Click(Center(R), 1);
                          return true;
                      },
                      [&] {
                          Host->KeyDown(VK_ESCAPE);
                          return true;
                      }});
        TrackPopupMenu(Popup, Flags, 200, 150, 0, Owner, nullptr);
        Pump();
        EXPECT_EQ(Commands(), Flags ? std::vector<UINT>{103} : std::vector<UINT>{}) << Flags;
    }

    // A press posted to the owner, as a window drawing its own menu buttons
    // does to switch menus, ends the menu and then reaches the owner.
    Notes().clear();
    Drive(Owner, {[&] {
        PostMessageW(Owner, WM_NCLBUTTONDOWN, HTCLIENT, MAKELPARAM(20, 30));
        return true;
    }});
    TrackPopupMenu(Popup, TPM_RIGHTBUTTON | TPM_NONOTIFY, 200, 150, 0, Owner, nullptr);
    EXPECT_EQ(FindWindowW(u"#32768", nullptr), nullptr);
    EXPECT_EQ(IndexOf(WM_NCLBUTTONDOWN), -1);
    Pump();
    int Passed = IndexOf(WM_NCLBUTTONDOWN);
    ASSERT_GE(Passed, 0);
    EXPECT_EQ(Notes()[size_t(Passed)].L, MAKELPARAM(20, 30));
    EXPECT_TRUE(Commands().empty());

    // A press outside the menu dismisses it without a command.
    Notes().clear();
    Drive(Owner, {[&] {
        Click({5, 5});
        return true;
    }});
    TrackPopupMenu(Popup, 0, 200, 150, 0, Owner, nullptr);
    Pump();
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(FindWindowW(u"#32768", nullptr), nullptr);
    KillTimer(Owner, 77);
    DestroyMenu(Popup);
}

TEST_F(Menus, PopupPaintsAndSubclassesPaintOver) {
    constexpr COLORREF Skin = 0x00FF00;
    HWND Owner = MakeOwner();
    HMENU Popup = MakePopup();
    // Like a skinning layer: the creation hook subclasses every menu window
    // and paints its frame itself.
    static WNDPROC Old = nullptr;
    CreateAction() = [](HWND Wnd, CREATESTRUCTW* Cs) -> LRESULT {
        if (std::u16string(Cs->lpszClass) != u"#32768") return 0;
        Old = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND W, UINT M, WPARAM Wp, LPARAM Lp) -> LRESULT {
                if (M != WM_NCPAINT || Wp != 1) return CallWindowProcW(Old, W, M, Wp, Lp);
                HDC Dc = GetWindowDC(W);
                RECT R;
                GetWindowRect(W, &R);
                RECT Whole{0, 0, R.right - R.left, R.bottom - R.top};
                HBRUSH B = CreateSolidBrush(Skin);
                FillRect(Dc, &Whole, B);
                DeleteObject(B);
                ReleaseDC(W, Dc);
                return 0;
            })));
        return 0;
    };
    COLORREF Frame = 0, Selected = 0, Plain = 0, Drawn = 0;
    COLORREF PrintedFrame = 0, PrintedItem = 0;
    // A window shown without activation to print into.
    HWND Canvas = CreateWindowExW(0, u"MenuOwner", nullptr, WS_POPUP, 700, 500, 400, 400, nullptr, nullptr,
                                  nullptr, nullptr);
    ShowWindow(Canvas, SW_SHOWNA);
    Host->KeyDown(KeyUp);  // selects the last item
    Drive(Owner, {[] { return true; },  // the Up key
                  [&] {
        HWND Wnd = FindWindowW(u"#32768", nullptr);
        RECT Wr, Last, Od, First;
        GetWindowRect(Wnd, &Wr);
        GetMenuItemRect(nullptr, Popup, 4, &Last);
        GetMenuItemRect(nullptr, Popup, 1, &Od);
        GetMenuItemRect(nullptr, Popup, 0, &First);
        if (Last.bottom <= Last.top) return false;
        auto Local = [&](const RECT& R) { return POINT{R.left + 2 - Wr.left, R.top + 2 - Wr.top}; };
        Frame = PixelAt(Wnd, 2, 2);
        Selected = PixelAt(Wnd, Local(Last).x, Local(Last).y);
        Plain = PixelAt(Wnd, Local(First).x, Local(First).y);
        Drawn = PixelAt(Wnd, Local(Od).x, Local(Od).y);
        // WM_PRINT paints the window into any DC: the frame the default way
        // (the subclass only paints WM_NCPAINT), the items over it.
        HDC Dc = GetWindowDC(Canvas);
        SendMessageW(Wnd, WM_PRINT, reinterpret_cast<WPARAM>(Dc), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
        ReleaseDC(Canvas, Dc);
        PrintedFrame = PixelAt(Canvas, 2, 2);
        PrintedItem = PixelAt(Canvas, Local(Last).x, Local(Last).y);
        Host->KeyDown(VK_ESCAPE);
        return true;
    }});
    TrackPopupMenu(Popup, 0, 200, 150, 0, Owner, nullptr);
    EXPECT_EQ(Frame, Skin);
    EXPECT_EQ(Selected, GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(Plain, GetSysColor(COLOR_MENU));
    EXPECT_EQ(Drawn, OwnerDrawn);
    EXPECT_EQ(PrintedFrame, GetSysColor(COLOR_MENU));
    EXPECT_EQ(PrintedItem, GetSysColor(COLOR_HIGHLIGHT));
    KillTimer(Owner, 77);
    DestroyMenu(Popup);
}

// A window with a bar: "&File" (New 301, Exit 302), "&Edit" (Copy 401) and
// the command "&Help" 501 on the bar itself.
HMENU MakeBar() {
    HMENU File = CreatePopupMenu();
    AppendMenuW(File, MF_STRING, 301, u"&New");
    AppendMenuW(File, MF_STRING, 302, u"E&xit");
    HMENU Edit = CreatePopupMenu();
    AppendMenuW(Edit, MF_STRING, 401, u"&Copy");
    HMENU Bar = CreateMenu();
    AppendMenuW(Bar, MF_POPUP, reinterpret_cast<UINT_PTR>(File), u"&File");
    AppendMenuW(Bar, MF_POPUP, reinterpret_cast<UINT_PTR>(Edit), u"&Edit");
    AppendMenuW(Bar, MF_STRING, 501, u"&Help");
    return Bar;
}

TEST_F(Menus, BarStripLayoutPaintAndHits) {
    HWND Wnd = MakeOwner();
    RECT Before;
    GetClientRect(Wnd, &Before);
    HMENU Bar = MakeBar();
    ASSERT_TRUE(SetMenu(Wnd, Bar));
    EXPECT_EQ(GetMenu(Wnd), Bar);
    RECT After;
    GetClientRect(Wnd, &After);
    EXPECT_EQ(Before.bottom - After.bottom, GetSystemMetrics(SM_CYMENU));
    EXPECT_FALSE(SetMenu(Wnd, reinterpret_cast<HMENU>(uintptr_t(0x77))));

    RECT Wr;
    GetWindowRect(Wnd, &Wr);
    int Top = Wr.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
    RECT Prev{Wr.left, 0, Wr.left + GetSystemMetrics(SM_CXFRAME), 0};
    for (UINT I = 0; I < 3; ++I) {
        SCOPED_TRACE(I);
        RECT R;
        ASSERT_TRUE(GetMenuItemRect(Wnd, Bar, I, &R));
        EXPECT_EQ(R.top, Top);
        EXPECT_EQ(R.bottom - R.top, GetSystemMetrics(SM_CYMENU));
        EXPECT_EQ(R.left, Prev.right);
        EXPECT_GT(R.right, R.left);
        POINT C = Center(R);
        EXPECT_EQ(MenuItemFromPoint(Wnd, Bar, C), int(I));
        EXPECT_EQ(SendMessageW(Wnd, WM_NCHITTEST, 0, MAKELPARAM(C.x, C.y)), HTMENU);
        Prev = R;
    }
    EXPECT_EQ(MenuItemFromPoint(Wnd, Bar, {Prev.right + 5, Top + 3}), -1);
    EXPECT_FALSE(GetMenuItemRect(Wnd, Bar, 3, nullptr));

    // The strip is painted in the menu colour, the tracked item highlighted.
    UpdateWindow(Wnd);
    RECT Edit;
    GetMenuItemRect(Wnd, Bar, 1, &Edit);
    POINT In{Edit.left + 1 - Wr.left, Edit.top + 1 - Wr.top};
    EXPECT_EQ(PixelAt(Wnd, In.x, In.y), GetSysColor(COLOR_MENU));
    COLORREF Tracked = 0;
    Host->KeyDown(VK_F10);
    Host->KeyUp(VK_F10);
    Host->KeyDown(KeyRight);
    Drive(Wnd, {[&] {
                    return true;  // the Right key
                },
                [&] {
                    Tracked = PixelAt(Wnd, In.x, In.y);
                    Host->KeyDown(VK_ESCAPE);
                    return true;
                }});
    Pump();
    EXPECT_EQ(Tracked, GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(PixelAt(Wnd, In.x, In.y), GetSysColor(COLOR_MENU));
    KillTimer(Wnd, 77);

    // An owner-drawn bar item is measured and drawn by the window, with the
    // bar's handle.
    MENUITEMINFOW Od;
    Od.fMask = MIIM_FTYPE | MIIM_DATA;
    Od.fType = MFT_OWNERDRAW;
    Od.dwItemData = 0xD00D;
    ASSERT_TRUE(SetMenuItemInfoW(Bar, 2, TRUE, &Od));
    Notes().clear();
    ASSERT_TRUE(DrawMenuBar(Wnd));
    int Measured = IndexOf(WM_MEASUREITEM), Drawn = IndexOf(WM_DRAWITEM);
    ASSERT_GE(Measured, 0);
    ASSERT_GT(Drawn, Measured);
    EXPECT_EQ(Notes()[size_t(Drawn)].Item, 501u);
    EXPECT_EQ(Notes()[size_t(Drawn)].L, reinterpret_cast<LPARAM>(Bar));
    RECT Help;
    ASSERT_TRUE(GetMenuItemRect(Wnd, Bar, 2, &Help));
    EXPECT_EQ(Help.right - Help.left, 90);  // the width the owner answered
    EXPECT_EQ(PixelAt(Wnd, Help.left + 1 - Wr.left, Help.top + 1 - Wr.top), OwnerDrawn);

    // A window without the menu takes none.
    EXPECT_TRUE(DrawMenuBar(Wnd));
    ASSERT_TRUE(SetMenu(Wnd, nullptr));
    // The menu dies with the window that has it.
    SetMenu(Wnd, Bar);
    DestroyWindow(Wnd);
    EXPECT_FALSE(IsMenu(Bar));
}

struct THostKey {
    uint32_t Vk;
    bool Alt = false;
    bool Up = false;
};

TEST_F(Menus, BarKeysAndClicks) {
    struct TCase {
        const char* Name;
        std::vector<THostKey> Keys;
        std::vector<UINT> Commands;
    };
    const TCase Cases[] = {
        {"F10 selects File, Down drops it on New", {{VK_F10}, {VK_F10, false, true}, {KeyDown}, {VK_RETURN}}, {301}},
        {"Alt alone, then Right moves to Edit",
         {{VK_MENU, true}, {VK_MENU, false, true}, {KeyRight}, {KeyDown}, {VK_RETURN}},
         {401}},
        {"Alt+F opens File on New", {{'F', true}, {KeyDown}, {VK_RETURN}}, {302}},
        {"Left from the first wraps to the bar command", {{VK_F10}, {VK_F10, false, true}, {KeyLeft}, {VK_RETURN}},
         {501}},
        {"Right from a popup item moves to the next bar item",
         {{'F', true}, {KeyRight}, {VK_RETURN}},
         {401}},
        {"Escape closes the popup, a second one the bar",
         {{VK_F10}, {VK_F10, false, true}, {KeyDown}, {VK_ESCAPE}, {VK_ESCAPE}},
         {}},
        {"a letter no item has opens nothing", {{'Q', true}, {VK_RETURN}}, {}},
    };
    HWND Wnd = MakeOwner(WS_OVERLAPPEDWINDOW | WS_VISIBLE, MakeBar());
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        Notes().clear();
        Filtered().clear();
        for (const THostKey& K : C.Keys) {
            if (K.Up) Host->KeyUp(K.Vk, K.Alt);
            else Host->KeyDown(K.Vk, K.Alt);
        }
        Pump();
        EXPECT_EQ(Commands(), C.Commands);
        EXPECT_EQ(FindWindowW(u"#32768", nullptr), nullptr);
        if (!C.Commands.empty()) {
            EXPECT_EQ(Notes()[size_t(IndexOf(WM_ENTERMENULOOP))].W, WPARAM(FALSE));
            EXPECT_EQ(Notes()[size_t(IndexOf(WM_INITMENU))].W, reinterpret_cast<WPARAM>(GetMenu(Wnd)));
        }
    }

    // The skinning layer's way in: SC_KEYMENU with a letter.
    Notes().clear();
    Host->KeyDown(VK_RETURN);
    SendMessageW(Wnd, WM_SYSCOMMAND, SC_KEYMENU, 'e');
    Pump();
    EXPECT_EQ(Commands(), std::vector<UINT>{401});

    // Clicking a bar item opens its popup, which stays open after the
    // release; a click in it chooses.
    Notes().clear();
    HMENU Edit = GetSubMenu(GetMenu(Wnd), 1);
    RECT R;
    ASSERT_TRUE(GetMenuItemRect(Wnd, GetMenu(Wnd), 1, &R));
    Click(Center(R));
    Drive(Wnd, {[&] {
        RECT Copy;
        if (FindWindowW(u"#32768", nullptr) == nullptr || !GetMenuItemRect(nullptr, Edit, 0, &Copy)) return false;
        Click(Center(Copy));
        return true;
    }});
    Pump();
    EXPECT_EQ(Commands(), std::vector<UINT>{401});

    // Moving over another bar item while a popup is open switches to it;
    // pressing the open item again closes the menu.
    Notes().clear();
    Created().clear();
    RECT File;
    GetMenuItemRect(Wnd, GetMenu(Wnd), 0, &File);
    Click(Center(R));
    Drive(Wnd, {[&] {
                    Host->MouseMove(Center(File).x, Center(File).y);
                    return true;
                },
                [&] {
                    if (MenuWindowsMade() < 2) return false;
                    Host->MouseDown(Center(File).x, Center(File).y);
                    Host->MouseUp(Center(File).x, Center(File).y);
                    return true;
                }});
    Pump();
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(MenuWindowsMade(), 2);
    EXPECT_EQ(FindWindowW(u"#32768", nullptr), nullptr);
    KillTimer(Wnd, 77);
}

TEST_F(Menus, SystemMenuStatesAndCommands) {
    struct TCase {
        const char* Name;
        DWORD Style;
        int Show;
        UINT ClassStyle;
        std::vector<WPARAM> Grey;
    };
    const TCase Cases[] = {
        {"normal overlapped", WS_OVERLAPPEDWINDOW, SW_SHOW, 0, {SC_RESTORE}},
        {"maximised", WS_OVERLAPPEDWINDOW, SW_SHOWMAXIMIZED, 0, {SC_MAXIMIZE, SC_MOVE, SC_SIZE}},
        {"minimised", WS_OVERLAPPEDWINDOW, SW_SHOWMINIMIZED, 0, {SC_MINIMIZE, SC_SIZE}},
        {"dialog frame", WS_POPUP | WS_CAPTION | WS_SYSMENU, SW_SHOW, 0,
         {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE}},
        {"no close", WS_OVERLAPPEDWINDOW, SW_SHOW, CS_NOCLOSE, {SC_RESTORE, SC_CLOSE}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        WNDCLASSEXW K;
        K.lpfnWndProc = DefWindowProcW;
        K.lpszClassName = u"SysMenuCase";
        K.style = C.ClassStyle;
        RegisterClassExW(&K);
        HWND Wnd = CreateWindowExW(0, u"SysMenuCase", u"w", C.Style, 50, 50, 300, 200, nullptr, nullptr, nullptr,
                                   nullptr);
        ShowWindow(Wnd, C.Show);
        HMENU Sys = GetSystemMenu(Wnd, FALSE);
        ASSERT_NE(Sys, nullptr);
        EXPECT_EQ(GetMenuItemCount(Sys), 7);
        for (WPARAM Cmd : {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_CLOSE}) {
            bool Grey = std::find(C.Grey.begin(), C.Grey.end(), Cmd) != C.Grey.end();
            EXPECT_EQ(GetMenuState(Sys, UINT(Cmd), MF_BYCOMMAND) & MFS_GRAYED, Grey ? MFS_GRAYED : 0u) << std::hex << Cmd;
        }
        DestroyWindow(Wnd);
        EXPECT_FALSE(IsMenu(Sys));
        UnregisterClassW(u"SysMenuCase", nullptr);
    }

    HWND Plain = MakeOwner(WS_POPUP | WS_VISIBLE);
    EXPECT_EQ(GetSystemMenu(Plain, FALSE), nullptr);

    // Revert gives a fresh standard menu on the next call.
    HWND Wnd = MakeOwner();
    HMENU First = GetSystemMenu(Wnd, FALSE);
    DeleteMenu(First, UINT(SC_MOVE), MF_BYCOMMAND);
    EXPECT_EQ(GetSystemMenu(Wnd, FALSE), First);
    EXPECT_EQ(GetSystemMenu(Wnd, TRUE), nullptr);
    EXPECT_FALSE(IsMenu(First));
    HMENU Second = GetSystemMenu(Wnd, FALSE);
    EXPECT_EQ(GetMenuItemCount(Second), 7);

    // Alt+Space opens it (WM_INITMENUPOPUP names it as the system menu);
    // Up wraps to Close, which arrives as WM_SYSCOMMAND and closes.
    Host->KeyDown(KeySpace, true);
    Host->KeyDown(KeyUp);
    Host->KeyDown(VK_RETURN);
    Pump();
    int Init = IndexOf(WM_INITMENUPOPUP);
    ASSERT_GE(Init, 0);
    EXPECT_EQ(Notes()[size_t(Init)].W, reinterpret_cast<WPARAM>(Second));
    EXPECT_EQ(HIWORD(Notes()[size_t(Init)].L), 1);
    EXPECT_EQ(Commands(WM_SYSCOMMAND), (std::vector<UINT>{UINT(SC_KEYMENU), UINT(SC_CLOSE)}));
    EXPECT_FALSE(IsWindow(Wnd));

    // A click on the window's icon opens it with nothing selected; a click
    // on Minimize chooses it, with the point.
    HWND Iconic = MakeOwner();
    RECT Ir;
    GetWindowRect(Iconic, &Ir);
    POINT Icon{Ir.left + GetSystemMetrics(SM_CXFRAME) + 4, Ir.top + GetSystemMetrics(SM_CYFRAME) + 4};
    ASSERT_EQ(SendMessageW(Iconic, WM_NCHITTEST, 0, MAKELPARAM(Icon.x, Icon.y)), HTSYSMENU);
    HMENU IconSys = GetSystemMenu(Iconic, FALSE);
    POINT MinAt{};
    Click(Icon);
    Drive(Iconic, {[&] {
        RECT R;
        if (!FindWindowW(u"#32768", nullptr) || !GetMenuItemRect(nullptr, IconSys, 3, &R)) return false;
        MinAt = Center(R);
        Click(MinAt);
        return true;
    }});
    Pump();
    EXPECT_EQ(Commands(WM_SYSCOMMAND), (std::vector<UINT>{UINT(SC_MOUSEMENU | HTSYSMENU), UINT(SC_MINIMIZE)}));
    EXPECT_TRUE(IsIconic(Iconic));
    bool Preselected = std::any_of(Notes().begin(), Notes().end(), [](const TNote& N) {
        return N.Msg == WM_MENUSELECT && N.L != 0 && LOWORD(N.W) == UINT(SC_RESTORE);
    });
    EXPECT_FALSE(Preselected);
    int Chosen = IndexOf(WM_SYSCOMMAND, true);
    EXPECT_EQ(Notes()[size_t(Chosen)].L, MAKELPARAM(MinAt.x, MinAt.y));
    KillTimer(Iconic, 77);

    // Without a bar, F10 opens nothing; Alt+Space opens the system menu on
    // its first item, on a maximised window Restore.
    HWND Max = MakeOwner();
    ShowWindow(Max, SW_SHOWMAXIMIZED);
    Notes().clear();
    Created().clear();
    Host->KeyDown(VK_F10);
    Host->KeyUp(VK_F10);
    Pump();
    EXPECT_EQ(MenuWindowsMade(), 0);
    Host->KeyDown(KeySpace, true);
    Host->KeyDown(VK_RETURN);
    Pump();
    EXPECT_FALSE(IsZoomed(Max));
    EXPECT_EQ(Commands(WM_SYSCOMMAND), (std::vector<UINT>{UINT(SC_KEYMENU), UINT(SC_KEYMENU), UINT(SC_RESTORE)}));
}

TEST_F(Menus, TrackingSurvivesHostileOwners) {
    HWND Owner = MakeOwner();

    // Bad arguments fail at once.
    HMENU Popup = MakePopup();
    EXPECT_FALSE(TrackPopupMenu(reinterpret_cast<HMENU>(uintptr_t(0x99)), 0, 10, 10, 0, Owner, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_MENU_HANDLE);
    EXPECT_FALSE(TrackPopupMenu(Popup, 0, 10, 10, 0, nullptr, nullptr));

    // The creation hook vetoes the menu window: nothing is shown or chosen.
    CreateAction() = [](HWND, CREATESTRUCTW* Cs) -> LRESULT { return std::u16string(Cs->lpszClass) == u"#32768"; };
    Host->KeyDown(VK_RETURN);
    EXPECT_FALSE(TrackPopupMenu(Popup, 0, 10, 10, 0, Owner, nullptr));
    CreateAction() = nullptr;
    Pump();

    // The owner destroys the menu while it is being opened.
    OwnerExtra() = [&](HWND, UINT Msg, WPARAM W, LPARAM) {
        if (Msg == WM_INITMENUPOPUP) DestroyMenu(reinterpret_cast<HMENU>(W));
    };
    EXPECT_FALSE(TrackPopupMenu(Popup, 0, 10, 10, 0, Owner, nullptr));
    EXPECT_FALSE(IsMenu(Popup));

    // A second menu while one is tracked fails; EndMenu ends the first.
    Popup = MakePopup();
    BOOL Nested = TRUE;
    OwnerExtra() = [&](HWND Wnd, UINT Msg, WPARAM, LPARAM L) {
        if (Msg != WM_MENUSELECT || L == 0) return;
        Nested = TrackPopupMenu(Popup, 0, 10, 10, 0, Wnd, nullptr);
        EndMenu();
    };
    Notes().clear();
    Host->KeyDown(KeyDown);
    Host->KeyDown(KeyDown);
    Host->KeyDown(VK_RETURN);
    EXPECT_TRUE(TrackPopupMenu(Popup, 0, 10, 10, 0, Owner, nullptr));
    EXPECT_FALSE(Nested);
    Pump();
    EXPECT_TRUE(Commands().empty());

    // The owner destroys the menu when an item is selected, or while
    // drawing one.
    for (UINT Kill : {WM_MENUSELECT, WM_DRAWITEM}) {
        HMENU Doomed = MakePopup();
        OwnerExtra() = [&](HWND, UINT Msg, WPARAM, LPARAM L) {
            if (Msg == Kill && (Msg != WM_MENUSELECT || L != 0)) DestroyMenu(Doomed);
        };
        Notes().clear();
        Host->KeyDown(KeyDown);
        Host->KeyDown(KeyDown);
        Host->KeyDown(VK_RETURN);
        TrackPopupMenu(Doomed, 0, 10, 10, 0, Owner, nullptr);
        EXPECT_FALSE(IsMenu(Doomed));
        EXPECT_EQ(FindWindowW(u"#32768", nullptr), nullptr);
        OwnerExtra() = nullptr;
        Pump();
        EXPECT_TRUE(Commands().empty());
    }

    // The owner destroys itself when an item is selected.
    OwnerExtra() = [&](HWND Wnd, UINT Msg, WPARAM, LPARAM L) {
        if (Msg == WM_MENUSELECT && L != 0) DestroyWindow(Wnd);
    };
    Host->KeyDown(KeyDown);
    Host->KeyDown(VK_RETURN);
    EXPECT_TRUE(TrackPopupMenu(Popup, 0, 10, 10, 0, Owner, nullptr));
    EXPECT_FALSE(IsWindow(Owner));
    EXPECT_EQ(FindWindowW(u"#32768", nullptr), nullptr);
    OwnerExtra() = nullptr;
    Pump();
    DestroyMenu(Popup);
}

}  // namespace
}  // namespace velmo::uitest
