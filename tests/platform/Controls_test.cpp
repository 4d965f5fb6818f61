// The standard controls and dialogs on the Null host: clicks and key
// presses give one notification each, edits take typed, composed and pasted
// text, modal dialogs and message boxes answer scripted keys and clicks.
#include <gtest/gtest.h>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Ime.h"
#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

struct TNote {
    int Id;
    WORD Code;
    bool operator==(const TNote&) const = default;
};

std::vector<TNote>& Notes() {
    static std::vector<TNote> N;
    return N;
}

std::vector<UINT>& OwnerDrawTrace() {
    static std::vector<UINT> T;
    return T;
}

LRESULT ParentProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_COMMAND) Notes().push_back({LOWORD(W), HIWORD(W)});
    if (Msg == WM_MEASUREITEM) {
        OwnerDrawTrace().push_back(Msg);
        reinterpret_cast<MEASUREITEMSTRUCT*>(L)->itemHeight = 20;
        return TRUE;
    }
    if (Msg == WM_DRAWITEM) {
        OwnerDrawTrace().push_back(Msg);
        return TRUE;
    }
    return DefWindowProcW(Wnd, Msg, W, L);
}

int Count(WORD Code, int Id) {
    return int(std::count(Notes().begin(), Notes().end(), TNote{Id, Code}));
}

class Controls : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Notes().clear();
        OwnerDrawTrace().clear();
        WNDCLASSEXW C;
        C.lpfnWndProc = ParentProc;
        C.lpszClassName = u"ControlParent";
        C.hbrBackground = reinterpret_cast<HBRUSH>(uintptr_t(COLOR_BTNFACE + 1));
        RegisterClassExW(&C);
        Parent = CreateWindowExW(0, u"ControlParent", u"Parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 500, 400,
                                 nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(Parent);
        Pump();
    }
    void TearDown() override {
        SetModalHandler(nullptr);
        WindowTest::TearDown();
        UnregisterClassW(u"ControlParent", nullptr);
    }

    HWND Child(const char16_t* Class, const char16_t* Text, DWORD Style, int Id, int X, int Y, int W, int H) {
        HWND C = CreateWindowExW(0, Class, Text, Style | WS_CHILD | WS_VISIBLE, X, Y, W, H, Parent,
                                 reinterpret_cast<HMENU>(intptr_t(Id)), nullptr, nullptr);
        Pump();
        return C;
    }

    static POINT Center(HWND Wnd) {
        RECT R;
        GetWindowRect(Wnd, &R);
        return {(R.left + R.right) / 2, (R.top + R.bottom) / 2};
    }

    void Click(HWND Wnd) {
        Host->Advance(1000);  // never a double click
        POINT P = Center(Wnd);
        Host->MouseDown(P.x, P.y);
        Host->MouseUp(P.x, P.y);
        Pump();
    }

    HWND Parent = nullptr;
};

std::u16string TextOf(HWND Wnd) { return GetWindowTextString(Wnd); }

// A subclass that takes the mouse press itself, as a skin does, and leaves
// the rest to the button.
WNDPROC SavedButtonProc = nullptr;
LRESULT EatPress(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_LBUTTONDOWN || Msg == WM_LBUTTONDBLCLK) return 0;
    return CallWindowProcW(SavedButtonProc, Wnd, Msg, W, L);
}

TEST_F(Controls, ButtonsEditsDialogs) {
    // --- Buttons: one BN_CLICKED per press.
    HWND Btn = Child(u"button", u"Go", BS_PUSHBUTTON | WS_TABSTOP, 10, 10, 10, 80, 24);
    ASSERT_TRUE(Btn);
    Click(Btn);
    EXPECT_EQ(Count(BN_CLICKED, 10), 1);

    // Released outside: none. Dragged out and back in: one.
    POINT P = Center(Btn);
    Host->MouseDown(P.x, P.y);
    Host->MouseMove(P.x + 200, P.y);
    Host->MouseUp(P.x + 200, P.y);
    Pump();
    EXPECT_EQ(Count(BN_CLICKED, 10), 1);
    EXPECT_EQ(SendMessageW(Btn, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
    Host->MouseDown(P.x, P.y);
    Host->MouseMove(P.x + 200, P.y);
    Host->MouseMove(P.x, P.y);
    Host->MouseUp(P.x, P.y);
    Pump();
    EXPECT_EQ(Count(BN_CLICKED, 10), 2);

    // Space: one click per press, auto-repeat included; lost focus cancels.
    SetFocus(Btn);
    Host->KeyDown(VK_SPACE);
    Host->KeyDown(VK_SPACE);
    Host->KeyUp(VK_SPACE);
    Pump();
    EXPECT_EQ(Count(BN_CLICKED, 10), 3);
    HWND Other = Child(u"button", u"Other", BS_PUSHBUTTON, 11, 100, 10, 80, 24);
    SetFocus(Btn);
    Host->KeyDown(VK_SPACE);
    Pump();
    SetFocus(Other);
    Host->KeyUp(VK_SPACE);
    Pump();
    EXPECT_EQ(Count(BN_CLICKED, 10), 3);

    // A subclass that takes the press leaves no click from the button.
    SavedButtonProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(Btn, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(EatPress)));
    Click(Btn);
    EXPECT_EQ(Count(BN_CLICKED, 10), 3);
    SetWindowLongPtrW(Btn, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SavedButtonProc));

    // Check boxes toggle, three-state ones cycle, radio groups keep one.
    HWND Check = Child(u"button", u"Check", BS_AUTOCHECKBOX, 20, 10, 40, 100, 20);
    HWND Tri = Child(u"button", u"Tri", BS_AUTO3STATE, 21, 120, 40, 100, 20);
    HWND R1 = Child(u"button", u"One", BS_AUTORADIOBUTTON | WS_GROUP, 30, 10, 70, 100, 20);
    HWND R2 = Child(u"button", u"Two", BS_AUTORADIOBUTTON, 31, 120, 70, 100, 20);
    HWND R3 = Child(u"button", u"Three", BS_AUTORADIOBUTTON, 32, 230, 70, 100, 20);
    HWND Next = Child(u"button", u"Next group", BS_AUTORADIOBUTTON | WS_GROUP, 33, 340, 70, 100, 20);
    Click(Check);
    EXPECT_EQ(SendMessageW(Check, BM_GETCHECK, 0, 0), BST_CHECKED);
    Click(Check);
    EXPECT_EQ(SendMessageW(Check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    for (LRESULT Want : {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}) {
        Click(Tri);
        EXPECT_EQ(SendMessageW(Tri, BM_GETCHECK, 0, 0), Want);
    }
    SendMessageW(Next, BM_SETCHECK, BST_CHECKED, 0);
    Click(R1);
    Click(R3);
    EXPECT_EQ(SendMessageW(R1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(R2, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(R3, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(Next, BM_GETCHECK, 0, 0), BST_CHECKED) << "another group is left alone";
    EXPECT_EQ(Count(BN_CLICKED, 31), 0);

    // A group box lets clicks through to what lies under it.
    HWND Group = Child(u"button", u"Group", BS_GROUPBOX, 40, 5, 100, 300, 100);
    HWND Inner = Child(u"button", u"Inner", BS_PUSHBUTTON, 41, 20, 130, 80, 24);
    SetWindowPos(Group, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Click(Inner);
    EXPECT_EQ(Count(BN_CLICKED, 41), 1);

    // --- Edit: an IME commit lands at the caret with one EN_CHANGE.
    HWND Edit = Child(u"edit", u"", ES_AUTOHSCROLL | WS_BORDER, 50, 10, 220, 200, 24);
    ASSERT_TRUE(Edit);
    SetFocus(Edit);
    Host->Text(u"ab");
    Pump();
    EXPECT_EQ(TextOf(Edit), u"ab");
    EXPECT_EQ(Count(EN_CHANGE, 50), 2);
    SendMessageW(Edit, EM_SETSEL, 1, 1);
    Notes().clear();
    ImeSetComposition(u"tu");
    ImeSetComposition(u"图");
    EXPECT_EQ(TextOf(Edit), u"ab") << "composition is shown, not inserted";
    ImeCommit(u"图片");
    Pump();
    EXPECT_EQ(TextOf(Edit), u"a图片b");
    EXPECT_EQ(Count(EN_CHANGE, 50), 1);
    EXPECT_EQ(Count(EN_UPDATE, 50), 1);
    DWORD S = 0, E = 0;
    SendMessageW(Edit, EM_GETSEL, reinterpret_cast<WPARAM>(&S), reinterpret_cast<LPARAM>(&E));
    EXPECT_EQ(S, 3u);
    EXPECT_EQ(E, 3u);

    // Copy and paste round-trip; cut then undo restores.
    SendMessageW(Edit, EM_SETSEL, 1, 3);
    SendMessageW(Edit, WM_COPY, 0, 0);
    SendMessageW(Edit, EM_SETSEL, 4, 4);
    SendMessageW(Edit, WM_PASTE, 0, 0);
    EXPECT_EQ(TextOf(Edit), u"a图片b图片");
    SendMessageW(Edit, EM_SETSEL, 0, 1);
    SendMessageW(Edit, WM_CUT, 0, 0);
    EXPECT_EQ(TextOf(Edit), u"图片b图片");
    SendMessageW(Edit, WM_UNDO, 0, 0);
    EXPECT_EQ(TextOf(Edit), u"a图片b图片");
    SendMessageW(Edit, EM_SETSEL, 0, 0);
    SendMessageW(Edit, WM_PASTE, 0, 0);
    EXPECT_EQ(TextOf(Edit), u"aa图片b图片") << "the clipboard kept the cut text";

    // --- Modal dialog: Enter gives IDOK, Esc IDCANCEL; the owner is
    // disabled meanwhile and enabled after.
    TDialogTemplate T;
    T.Title = u"Question";
    T.Width = 260;
    T.Height = 120;
    T.Items = {{u"Edit", u"name", 100, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, {10, 10, 250, 34}},
               {u"Button", u"OK", IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, {90, 80, 165, 103}},
               {u"Button", u"Cancel", IDCANCEL, WS_CHILD | WS_VISIBLE | WS_TABSTOP, {175, 80, 250, 103}}};
    auto Proc = [](HWND Dlg, UINT Msg, WPARAM W, LPARAM) -> INT_PTR {
        if (Msg == WM_INITDIALOG) return TRUE;
        if (Msg == WM_COMMAND && (LOWORD(W) == IDOK || LOWORD(W) == IDCANCEL)) {
            EndDialog(Dlg, LOWORD(W));
            return TRUE;
        }
        return FALSE;
    };
    for (auto [Key, Want] : {std::pair{VK_RETURN, IDOK}, std::pair{VK_ESCAPE, IDCANCEL}}) {
        bool OwnerDisabled = false, Pressed = false;
        DWORD DialogStyle = 0;
        SetModalHandler([&, Key = Key](HWND Dlg) {
            if (Pressed) return;
            Pressed = true;
            OwnerDisabled = !IsWindowEnabled(Parent);
            DialogStyle = DWORD(GetWindowLongPtrW(Dlg, GWL_STYLE));
            EXPECT_EQ(GetClassNameString(Dlg), u"#32770");
            EXPECT_EQ(GetFocus(), GetDlgItem(Dlg, 100));
            Host->KeyDown(Key);
            Host->KeyUp(Key);
        });
        EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &T, Parent, Proc, 0), Want);
        EXPECT_TRUE(OwnerDisabled);
        EXPECT_TRUE(IsWindowEnabled(Parent));
        EXPECT_EQ(DialogStyle & (DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU),
                  DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        EXPECT_EQ(DialogStyle & DS_SETFOREGROUND, 0u);
    }

    // --- MessageBoxW returns the button pressed: by click, Enter on the
    // default button or Esc.
    struct TCase {
        UINT Type;
        int ClickId;  // 0: press Key instead
        UINT Key;
        int Want;
    };
    const TCase Cases[] = {
        {MB_OK, IDOK, 0, IDOK},
        {MB_OK, 0, VK_ESCAPE, IDOK},
        {MB_OKCANCEL, 0, VK_ESCAPE, IDCANCEL},
        {MB_OKCANCEL | MB_DEFBUTTON2, 0, VK_RETURN, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, IDNO, 0, IDNO},
        {MB_YESNO, 0, VK_RETURN, IDYES},
        {MB_YESNOCANCEL | MB_ICONWARNING, IDYES, 0, IDYES},
        {MB_YESNOCANCEL, 0, VK_ESCAPE, IDCANCEL},
        {MB_RETRYCANCEL, IDRETRY, 0, IDRETRY},
    };
    for (const TCase& C : Cases) {
        bool Done = false;
        int IconId = -1;
        SetModalHandler([&](HWND Dlg) {
            if (Done) return;
            Done = true;
            HWND Icon = GetDlgItem(Dlg, IDC_MESSAGEBOX_ICON);
            std::u16string Name = Icon ? TextOf(Icon) : u"#0";
            IconId = std::stoi(std::string(Name.begin() + 1, Name.end()));
            if (C.ClickId) {
                Pump();
                Click(GetDlgItem(Dlg, C.ClickId));
            } else {
                Host->KeyDown(C.Key);
                Host->KeyUp(C.Key);
            }
        });
        EXPECT_EQ(MessageBoxW(Parent, u"Convert the file?", u"Converter", C.Type), C.Want) << "type " << C.Type;
        EXPECT_EQ(IconId, MessageBoxIconId(C.Type));
    }
    // Without a scripted answer a box never blocks: nothing can arrive, so
    // it is cancelled.
    SetModalHandler(nullptr);
    EXPECT_EQ(MessageBoxW(Parent, u"Nobody answers", nullptr, MB_OKCANCEL), IDCANCEL);
}

}  // namespace
}  // namespace velmo::uitest
