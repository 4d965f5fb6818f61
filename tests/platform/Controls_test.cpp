// The standard controls and dialogs on the Null host: clicks and key
// presses give one notification each, edits take typed, composed and pasted
// text, modal dialogs and message boxes answer scripted keys and clicks.
#include "platform/ui/Controls.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/ui/Dialogs.h"
#include "platform/ui/TabControl.h"
#include "platform/ui/TextInput.h"
#include "tests/platform/ScrollTabSupport.h"
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

// The brush the parent answers to WM_CTLCOLOR* (none: the default).
HBRUSH& ParentBrush() {
    static HBRUSH B = nullptr;
    return B;
}

// A notification code on which the parent destroys the control (0: none).
int& DestroyOn() {
    static int Code = -1;
    return Code;
}

LRESULT ParentProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_COMMAND) Notes().push_back({LOWORD(W), HIWORD(W)});
    if (Msg == WM_COMMAND && L && int(HIWORD(W)) == DestroyOn())
        DestroyWindow(reinterpret_cast<HWND>(L));
    if (Msg >= WM_CTLCOLORMSGBOX && Msg <= WM_CTLCOLORSTATIC && ParentBrush())
        return reinterpret_cast<LRESULT>(ParentBrush());
    if (Msg == WM_MEASUREITEM) {
        OwnerDrawTrace().push_back(Msg);
        // Items carrying data are as high as it says.
        auto* M = reinterpret_cast<MEASUREITEMSTRUCT*>(L);
        M->itemHeight = M->itemData ? UINT(M->itemData) : 20;
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

// The modeless dialogs of these tests record each BN_CLICKED id.
std::vector<int>& DialogCommands() {
    static std::vector<int> C;
    return C;
}
INT_PTR RecordingDialogProc(HWND, UINT Msg, WPARAM W, LPARAM) {
    if (Msg == WM_INITDIALOG) return TRUE;
    if (Msg == WM_COMMAND && HIWORD(W) == BN_CLICKED) DialogCommands().push_back(LOWORD(W));
    return Msg == WM_COMMAND;
}
// A modeless dialog of T's items, made visible children; no commands yet.
HWND RecordingDialog(TDialogTemplate T, HWND Owner) {
    for (auto& I : T.Items) I.Style |= WS_CHILD | WS_VISIBLE;
    DialogCommands().clear();
    return CreateDialogIndirectParamW(nullptr, &T, Owner, RecordingDialogProc, 0);
}
// Passes what is queued through the dialog's keyboard handling.
void RunDialog(HWND Dlg) {
    MSG M;
    for (int I = 0; I < 1000 && PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE); ++I)
        if (!IsDialogMessageW(Dlg, &M)) {
            TranslateMessage(&M);
            DispatchMessageW(&M);
        }
}

class Controls : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Notes().clear();
        OwnerDrawTrace().clear();
        ParentBrush() = nullptr;
        DestroyOn() = -1;
        WNDCLASSEXW C;
        C.lpfnWndProc = ParentProc;
        C.lpszClassName = u"ControlParent";
        C.hbrBackground = reinterpret_cast<HBRUSH>(uintptr_t(COLOR_BTNFACE + 1));
        RegisterClassExW(&C);
        Parent = CreateWindowExW(0, u"ControlParent", u"Parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 100, 100, 500, 400, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(Parent);
        Pump();
    }
    void TearDown() override {
        SetModalHandler(nullptr);
        WindowTest::TearDown();
        UnregisterClassW(u"ControlParent", nullptr);
    }

    HWND Child(const char16_t* Class, const char16_t* Text, DWORD Style, int Id, int X, int Y,
               int W, int H) {
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
    SavedButtonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(Btn, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(EatPress)));
    Click(Btn);
    EXPECT_EQ(Count(BN_CLICKED, 10), 3);
    SetWindowLongPtrW(Btn, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SavedButtonProc));

    // Check boxes toggle, three-state ones cycle, radio groups keep one.
    HWND Check = Child(u"button", u"Check", BS_AUTOCHECKBOX, 20, 10, 40, 100, 20);
    HWND Tri = Child(u"button", u"Tri", BS_AUTO3STATE, 21, 120, 40, 100, 20);
    HWND R1 = Child(u"button", u"One", BS_AUTORADIOBUTTON | WS_GROUP, 30, 10, 70, 100, 20);
    HWND R2 = Child(u"button", u"Two", BS_AUTORADIOBUTTON, 31, 120, 70, 100, 20);
    HWND R3 = Child(u"button", u"Three", BS_AUTORADIOBUTTON, 32, 230, 70, 100, 20);
    HWND Next =
        Child(u"button", u"Next group", BS_AUTORADIOBUTTON | WS_GROUP, 33, 340, 70, 100, 20);
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
    Host->Compose(u"tu", 2);
    Host->Compose(u"图", 1);
    Pump();
    EXPECT_EQ(TextOf(Edit), u"ab") << "composition is shown, not inserted";
    POINT Caret;
    ASSERT_TRUE(GetCaretPos(&Caret));
    EXPECT_GT(Caret.x, LOWORD(SendMessageW(Edit, EM_POSFROMCHAR, 1, 0)))
        << "the caret follows the composition";
    Host->Text(u"图片");
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
    T.Items = {
        {u"Edit",
         u"name",
         100,
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL,
         {10, 10, 250, 34}},
        {u"Button",
         u"OK",
         IDOK,
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
         {90, 80, 165, 103}},
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
        bool IconShown = false;
        SetModalHandler([&](HWND Dlg) {
            if (Done) return;
            Done = true;
            HWND Icon = GetDlgItem(Dlg, IDC_MESSAGEBOX_ICON);
            std::u16string Name = Icon ? TextOf(Icon) : u"#0";
            IconId = std::stoi(std::string(Name.begin() + 1, Name.end()));
            if (Icon) {
                // The icon is there and drawn, its centre not the face.
                Pump();
                UpdateWindow(Dlg);
                RECT Ir, Dr;
                GetWindowRect(Icon, &Ir);
                GetWindowRect(Dlg, &Dr);
                IconShown = SendMessageW(Icon, STM_GETICON, 0, 0) != 0 &&
                            PixelAt(Dlg, (Ir.left + Ir.right) / 2 - Dr.left, (Ir.top + Ir.bottom) / 2 - Dr.top) !=
                                GetSysColor(COLOR_BTNFACE);
            }
            if (C.ClickId) {
                Pump();
                Click(GetDlgItem(Dlg, C.ClickId));
            } else {
                Host->KeyDown(C.Key);
                Host->KeyUp(C.Key);
            }
        });
        EXPECT_EQ(MessageBoxW(Parent, u"Convert the file?", u"Converter", C.Type), C.Want)
            << "type " << C.Type;
        EXPECT_EQ(IconId, MessageBoxIconId(C.Type));
        EXPECT_EQ(IconShown, IconId != 0) << "type " << C.Type;
    }
    // Without a scripted answer a box never blocks: nothing can arrive, so
    // it is cancelled.
    SetModalHandler(nullptr);
    EXPECT_EQ(MessageBoxW(Parent, u"Nobody answers", nullptr, MB_OKCANCEL), IDCANCEL);
}

// Buttons and statics show the image they are given, at its place; the
// message box icons are the predefined ones, shared and never destroyed.
TEST_F(Controls, ImagesOnButtonsAndStatics) {
    TBitmap Green(12, 10, pf32bit);
    for (int Y = 0; Y < Green.Height(); ++Y)
        for (int X = 0; X < Green.Width(); ++X) {
            uint8_t* P = Green.ScanLine(Y) + 4 * X;
            P[0] = 0x20, P[1] = 0xC0, P[2] = 0x30, P[3] = 0;
        }
    HBITMAP Bitmap = CreateBitmapObject(Green);
    HICON Hand = LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_HAND));
    ASSERT_TRUE(Hand);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_HAND)), Hand);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(1)), nullptr);
    EXPECT_TRUE(DestroyIcon(Hand));
    ICONINFO Info;
    ASSERT_TRUE(GetIconInfo(Hand, &Info)) << "a shared icon outlives DestroyIcon";
    DeleteObject(Info.hbmColor);
    DeleteObject(Info.hbmMask);

    struct TCase {
        const char* Name;
        const char16_t* Class;
        DWORD Style;
        UINT Set;  // BM_SETIMAGE or STM_SETIMAGE
        UINT Type;
        POINT Probe;  // client point inside the image
        COLORREF Want;
    };
    const COLORREF GreenRef = RGB(0x30, 0xC0, 0x20), Red = RGB(0xC8, 0x20, 0x20);
    const TCase Cases[] = {
        {"bitmap button", u"button", BS_PUSHBUTTON | BS_BITMAP, BM_SETIMAGE, IMAGE_BITMAP, {40, 20}, GreenRef},
        {"icon button", u"button", BS_PUSHBUTTON | BS_ICON, BM_SETIMAGE, IMAGE_ICON, {40, 12}, Red},
        {"left bitmap button", u"button", BS_PUSHBUTTON | BS_BITMAP | BS_LEFT, BM_SETIMAGE, IMAGE_BITMAP, {5, 20},
         GreenRef},
        {"bitmap static", u"static", SS_BITMAP, STM_SETIMAGE, IMAGE_BITMAP, {3, 3}, GreenRef},
        {"icon static", u"static", SS_ICON, STM_SETIMAGE, IMAGE_ICON, {16, 10}, Red},
        {"centred bitmap static", u"static", SS_BITMAP | SS_CENTERIMAGE, STM_SETIMAGE, IMAGE_BITMAP, {40, 20},
         GreenRef},
    };
    for (const TCase& C : Cases) {
        HWND Ctl = Child(C.Class, u"", C.Style, 95, 20, 20, 80, 40);
        ASSERT_TRUE(Ctl) << C.Name;
        HANDLE Image = C.Type == IMAGE_ICON ? static_cast<HANDLE>(Hand) : static_cast<HANDLE>(Bitmap);
        EXPECT_EQ(SendMessageW(Ctl, C.Set, C.Type, reinterpret_cast<LPARAM>(Image)), 0) << C.Name;
        const UINT Get = C.Set == BM_SETIMAGE ? BM_GETIMAGE : STM_GETIMAGE;
        EXPECT_EQ(SendMessageW(Ctl, Get, C.Type, 0), reinterpret_cast<LRESULT>(Image))
            << C.Name;
        // Asked for the other kind, there is none.
        UINT Other = C.Type == IMAGE_ICON ? IMAGE_BITMAP : IMAGE_ICON;
        EXPECT_EQ(SendMessageW(Ctl, Get, Other, 0), 0) << C.Name;
        UpdateWindow(Parent);
        Pump();
        POINT P = C.Probe;
        ClientToScreen(Ctl, &P);
        RECT Pr;
        GetWindowRect(Parent, &Pr);
        EXPECT_EQ(PixelAt(Parent, P.x - Pr.left, P.y - Pr.top), C.Want) << C.Name;
        DestroyWindow(Ctl);
        Pump();
    }
    // A static naming a predefined icon shows it from the start.
    HWND Named = Child(u"static", u"#32515", SS_ICON, 96, 20, 20, 40, 40);
    EXPECT_EQ(SendMessageW(Named, STM_GETICON, 0, 0),
              reinterpret_cast<LRESULT>(LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_EXCLAMATION))));
    DestroyWindow(Named);
    DeleteObject(Bitmap);
}

// A multi-line edit without sideways scrolling wraps at spaces to its
// width; a word too wide for a line breaks between characters, never
// inside a surrogate pair; hard breaks stay lines of their own.
TEST_F(Controls, MultiLineEditWrapsWords) {
    struct TCase {
        const char* Name;
        DWORD Style;
        const char16_t* Text;
        bool Wraps;
    };
    const std::u16string Emoji = u"\U0001F600";
    std::u16string LongWord;
    for (int I = 0; I < 40; ++I) LongWord += u"x" + Emoji;
    const TCase Cases[] = {
        {"words", ES_MULTILINE, u"one two three four five six seven eight nine ten eleven twelve", true},
        {"sideways scrolling", ES_MULTILINE | ES_AUTOHSCROLL, u"one two three four five six seven eight nine ten", false},
        {"single line", ES_AUTOHSCROLL, u"one two three four five six seven eight nine ten", false},
        {"one long word", ES_MULTILINE, LongWord.c_str(), true},
    };
    for (const TCase& C : Cases) {
        HWND Edit = Child(u"edit", C.Text, C.Style, 70, 10, 10, 90, 200);
        ASSERT_TRUE(Edit) << C.Name;
        std::u16string Text = TextOf(Edit);
        LRESULT Lines = SendMessageW(Edit, EM_GETLINECOUNT, 0, 0);
        if (!C.Wraps) {
            EXPECT_EQ(Lines, 1) << C.Name;
        } else {
            EXPECT_GT(Lines, 2) << C.Name << ": " << Lines;
        }
        RECT Area;
        SendMessageW(Edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&Area));
        for (LRESULT Li = 1; C.Wraps && Li < Lines; ++Li) {
            size_t Start = size_t(SendMessageW(Edit, EM_LINEINDEX, WPARAM(Li), 0));
            ASSERT_LT(Start, Text.size()) << C.Name;
            EXPECT_EQ(SendMessageW(Edit, EM_LINEFROMCHAR, Start, 0), Li) << C.Name << " line " << Li;
            // A line starts after a space, or between whole characters.
            if (Text.find(u' ') != std::u16string::npos) {
                EXPECT_EQ(Text[Start - 1], u' ') << C.Name << " line " << Li;
            } else {
                EXPECT_FALSE(Text[Start] >= 0xDC00 && Text[Start] <= 0xDFFF) << "line " << Li << " splits a pair";
            }
            // It starts at the left of the text area, below the line before.
            LRESULT At = SendMessageW(Edit, EM_POSFROMCHAR, Start, 0);
            LRESULT Last = SendMessageW(Edit, EM_POSFROMCHAR, Start - 1, 0);
            EXPECT_EQ(short(LOWORD(At)), Area.left) << C.Name << " line " << Li;
            EXPECT_GT(short(HIWORD(At)), short(HIWORD(Last))) << C.Name << " line " << Li;
            EXPECT_LT(short(LOWORD(Last)), Area.right) << C.Name << " line " << Li;
        }
        DestroyWindow(Edit);
        Pump();
    }
    // Hard breaks stay: a short text on three lines is three lines.
    HWND Edit = Child(u"edit", u"a\r\nb\r\nc", ES_MULTILINE, 71, 10, 10, 90, 200);
    EXPECT_EQ(SendMessageW(Edit, EM_GETLINECOUNT, 0, 0), 3);
    DestroyWindow(Edit);
}

// A variable owner-drawn list asks its owner for each item's height as
// the item comes, and places, hits and scrolls its items by those heights.
TEST_F(Controls, VariableOwnerDrawListMeasuresEachItem) {
    HWND List = Child(u"listbox", nullptr, LBS_OWNERDRAWVARIABLE | WS_VSCROLL, 97, 10, 10, 150, 60);
    ASSERT_TRUE(List);
    OwnerDrawTrace().clear();
    const int Heights[] = {10, 30, 15, 40, 25};
    for (int H : Heights) SendMessageW(List, LB_ADDSTRING, 0, LPARAM(H));
    EXPECT_EQ(std::count(OwnerDrawTrace().begin(), OwnerDrawTrace().end(), UINT(WM_MEASUREITEM)), 5);
    int Y = 0;
    for (int I = 0; I < 5; ++I) {
        EXPECT_EQ(SendMessageW(List, LB_GETITEMHEIGHT, WPARAM(I), 0), Heights[I]);
        RECT R;
        SendMessageW(List, LB_GETITEMRECT, WPARAM(I), reinterpret_cast<LPARAM>(&R));
        EXPECT_EQ(R.top, Y) << "item " << I;
        EXPECT_EQ(R.bottom - R.top, Heights[I]) << "item " << I;
        Y += Heights[I];
    }
    struct TCase {
        int Y;
        int Item;
    };
    for (TCase C : {TCase{5, 0}, TCase{39, 1}, TCase{45, 2}, TCase{55, 3}})
        EXPECT_EQ(LOWORD(SendMessageW(List, LB_ITEMFROMPOINT, 0, MAKELPARAM(20, C.Y))), C.Item) << "y " << C.Y;
    // Showing the last item scrolls until it fits whole: 40 + 25 is more
    // than the 60 pixels, so it stands alone at the top.
    SendMessageW(List, LB_SETCURSEL, 4, 0);
    EXPECT_EQ(SendMessageW(List, LB_GETTOPINDEX, 0, 0), 4);
    SendMessageW(List, LB_SETTOPINDEX, 0, 0);
    SendMessageW(List, LB_SETCURSEL, 2, 0);
    EXPECT_EQ(SendMessageW(List, LB_GETTOPINDEX, 0, 0), 0);  // 10 + 30 + 15 fit
    EXPECT_EQ(SendMessageW(List, LB_SETITEMHEIGHT, 9, 12), LB_ERR);
    EXPECT_EQ(SendMessageW(List, LB_SETITEMHEIGHT, 0, 12), 0);
    EXPECT_EQ(SendMessageW(List, LB_GETITEMHEIGHT, 0, 0), 12);
    UpdateWindow(List);
    Pump();
    auto FirstDraw = std::find(OwnerDrawTrace().begin(), OwnerDrawTrace().end(), UINT(WM_DRAWITEM));
    EXPECT_NE(FirstDraw, OwnerDrawTrace().end());
    EXPECT_EQ(std::find(FirstDraw, OwnerDrawTrace().end(), UINT(WM_MEASUREITEM)), OwnerDrawTrace().end());
    DestroyWindow(List);
}

// Dialog mnemonics: Alt with the letter after "&" in a caption, or the
// plain letter when the focused control takes no characters, clicks that
// button, checks that box, or moves to the control a label names.
TEST_F(Controls, DialogMnemonics) {
    TDialogTemplate T;
    T.Title = u"Mnemonics";
    T.Style |= WS_VISIBLE;
    T.Items = {
        {u"Static", u"&Name:", 300, 0, {10, 10, 80, 30}},
        {u"Edit", u"", 301, WS_TABSTOP | WS_BORDER, {90, 10, 250, 34}},
        {u"Button", u"&Apply", 302, WS_TABSTOP, {10, 50, 90, 73}},
        {u"Button", u"&Wrap lines", 303, WS_TABSTOP | BS_AUTOCHECKBOX, {10, 80, 150, 100}},
        {u"Button", u"Save && &close", 304, WS_TABSTOP, {10, 110, 150, 133}},
        {u"Static", u"&Plain", 305, SS_NOPREFIX, {10, 140, 80, 160}},
        {u"Button", u"OK", IDOK, WS_TABSTOP | BS_DEFPUSHBUTTON, {120, 160, 190, 183}}};
    std::vector<int>& Commands = DialogCommands();
    HWND Dlg = RecordingDialog(T, Parent);
    ASSERT_TRUE(Dlg);
    auto Run = [&] { RunDialog(Dlg); };
    Run();
    struct TCase {
        const char* Name;
        int FocusFirst;
        char16_t Key;
        bool Alt;  // else typed as a character
        int WantFocus;
        std::vector<int> WantCommands;
    };
    const TCase Cases[] = {
        {"Alt on a label moves to its control", 302, u'N', true, 301, {}},
        {"Alt clicks a push button", 301, u'A', true, 301, {302}},
        {"Alt checks a box", 301, u'W', true, 303, {303}},
        {"a plain letter on a button acts", 302, u'w', false, 303, {303}},
        {"a plain letter in an edit is text", 301, u'a', false, 301, {}},
        {"a doubled ampersand marks nothing", 301, u'S', true, 301, {}},
        {"the letter after it does", 301, u'C', true, 301, {304}},
        {"a label without prefixes marks nothing", 302, u'P', true, 302, {}},
    };
    for (const TCase& C : Cases) {
        SetFocus(GetDlgItem(Dlg, C.FocusFirst));
        Run();
        Commands.clear();
        if (C.Alt) {
            Host->KeyDown(C.Key, true);
            Host->KeyUp(C.Key, true);
        } else {
            Host->Text(std::u16string(1, C.Key));
        }
        Run();
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), C.WantFocus) << C.Name;
        EXPECT_EQ(Commands, C.WantCommands) << C.Name;
    }
    EXPECT_EQ(SendDlgItemMessageW(Dlg, 303, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "checked, then unchecked";
    EXPECT_EQ(GetWindowTextString(GetDlgItem(Dlg, 301)), u"a");
    DestroyWindow(Dlg);
}

// A single line of tabs longer than the control scrolls: arrows at the end
// of the strip move the first tab shown, within bounds, and a selected tab
// comes into view whole.
TEST_F(Controls, TabStripScrollsWhenTabsOverflow) {
    HWND Tabs = Child(WC_TABCONTROLW, nullptr, 0, 98, 10, 10, 200, 120);
    ASSERT_TRUE(Tabs);
    for (int I = 0; I < 10; ++I) {
        std::u16string Text = u"Page " + std::u16string(1, char16_t(u'0' + I));
        TCITEMW Item;
        Item.mask = TCIF_TEXT;
        Item.pszText = Text.data();
        SendMessageW(Tabs, TCM_INSERTITEMW, WPARAM(I), reinterpret_cast<LPARAM>(&Item));
    }
    auto Rect = [&](int I) {
        RECT R;
        SendMessageW(Tabs, TCM_GETITEMRECT, WPARAM(I), reinterpret_cast<LPARAM>(&R));
        return R;
    };
    auto FirstShown = [&] {
        for (int I = 0; I < 10; ++I)
            if (Rect(I).left >= 0) return I;
        return -1;
    };
    RECT Client;
    GetClientRect(Tabs, &Client);
    RECT Tab0 = Rect(0);
    const int ArrowW = Tab0.bottom - Tab0.top;
    ASSERT_GT(Rect(9).right, Client.right) << "the tabs overflow";
    auto ClickArrow = [&](bool Back) {
        POINT P{Client.right - 2 - (Back ? 2 * ArrowW - 3 : 3), (Tab0.top + Tab0.bottom) / 2};
        ClientToScreen(Tabs, &P);
        Host->Advance(1000);
        Host->MouseDown(P.x, P.y);
        Host->MouseUp(P.x, P.y);
        Pump();
    };
    EXPECT_EQ(FirstShown(), 0);
    ClickArrow(true);
    EXPECT_EQ(FirstShown(), 0) << "nothing before the first";
    ClickArrow(false);
    EXPECT_EQ(FirstShown(), 1);
    EXPECT_EQ(SendMessageW(Tabs, TCM_GETCURSEL, 0, 0), 0) << "an arrow selects nothing";
    for (int K = 0; K < 20; ++K) ClickArrow(false);
    int Last = FirstShown();
    EXPECT_LT(Last, 9);
    EXPECT_LE(Rect(9).right, Client.right - 2 * ArrowW) << "the last tab shows whole and no further";
    ClickArrow(true);
    EXPECT_EQ(FirstShown(), Last - 1);
    // Selecting a tab out of view brings it in.
    SendMessageW(Tabs, TCM_SETCURSEL, 0, 0);
    EXPECT_EQ(FirstShown(), 0);
    SendMessageW(Tabs, TCM_SETCURSEL, 8, 0);
    EXPECT_GE(Rect(8).left, 0);
    EXPECT_LE(Rect(8).right, Client.right - 2 * ArrowW);
    // A point on the arrows is on no tab.
    TCHITTESTINFO Hit;
    Hit.pt = {Client.right - 4, (Tab0.top + Tab0.bottom) / 2};
    EXPECT_EQ(SendMessageW(Tabs, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&Hit)), -1);
    // Wide enough for all, there is nothing to scroll.
    MoveWindow(Tabs, 10, 10, 900, 120, TRUE);
    EXPECT_EQ(FirstShown(), 0);
    DestroyWindow(Tabs);
}

LRESULT NotesBetween(size_t From, WORD Code) {
    return std::count_if(Notes().begin() + long(From), Notes().end(),
                         [&](const TNote& N) { return N.Code == Code; });
}

TEST_F(Controls, EditPairsLimitsAndModes) {
    HWND Edit = Child(u"edit", u"", ES_AUTOHSCROLL, 50, 10, 10, 200, 24);
    SetFocus(Edit);
    // A pair typed as two WM_CHAR goes in whole: one change per character.
    Host->Text(u"a\U0001F600b");
    Pump();
    EXPECT_EQ(TextOf(Edit), u"a\U0001F600b");
    EXPECT_EQ(Count(EN_CHANGE, 50), 3);
    auto Sel = [&] {
        DWORD S = 0, E = 0;
        SendMessageW(Edit, EM_GETSEL, reinterpret_cast<WPARAM>(&S), reinterpret_cast<LPARAM>(&E));
        return std::pair{S, E};
    };
    SendMessageW(Edit, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(Sel(), (std::pair<DWORD, DWORD>{3, 3}));
    SendMessageW(Edit, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(Sel(), (std::pair<DWORD, DWORD>{1, 1})) << "one step over the pair";
    SendMessageW(Edit, EM_SETSEL, 2, 2);
    EXPECT_EQ(Sel(), (std::pair<DWORD, DWORD>{1, 1}))
        << "a position inside a pair moves to its start";
    SendMessageW(Edit, EM_SETSEL, 3, 3);
    SendMessageW(Edit, WM_CHAR, 0x08, 0);
    EXPECT_EQ(TextOf(Edit), u"ab") << "backspace removes the whole pair";
    SendMessageW(Edit, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(TextOf(Edit), u"a");
    SendMessageW(Edit, EM_UNDO, 0, 0);
    EXPECT_EQ(TextOf(Edit), u"ab");

    // The limit cuts typed and pasted text, never inside a pair.
    SetWindowTextW(Edit, u"");
    SendMessageW(Edit, EM_LIMITTEXT, 3, 0);
    size_t Mark = Notes().size();
    Host->Text(u"abcd");
    Pump();
    EXPECT_EQ(TextOf(Edit), u"abc");
    EXPECT_EQ(NotesBetween(Mark, EN_MAXTEXT), 1);
    SetWindowTextW(Edit, u"ab");
    SendMessageW(Edit, EM_SETSEL, 2, 2);
    SendMessageW(Edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(u"\U0001F600"));
    EXPECT_EQ(TextOf(Edit), u"ab");
    SendMessageW(Edit, EM_LIMITTEXT, 0, 0);

    // A single-line edit keeps the first line of pasted text.
    SetWindowTextW(Edit, u"x");
    SendMessageW(Edit, EM_SETSEL, 1, 1);
    SendMessageW(Edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(u"yz\r\nnext"));
    EXPECT_EQ(TextOf(Edit), u"xyz");
    EXPECT_EQ(SendMessageW(Edit, EM_GETMODIFY, 0, 0), TRUE);

    // Typing rules of the styles; read-only and password modes.
    struct TCase {
        DWORD Style;
        std::u16string Typed;
        std::u16string Want;
    };
    const TCase Cases[] = {
        {ES_NUMBER, u"1a2", u"12"},
        {ES_UPPERCASE, u"aBc", u"ABC"},
        {ES_LOWERCASE, u"aBc", u"abc"},
        {ES_READONLY, u"abc", u"seed"},
        {ES_MULTILINE, u"a\rb", u"seeda\r\nb"},
    };
    for (const TCase& C : Cases) {
        HWND E = Child(u"edit", u"seed", C.Style, 60, 10, 50, 200, 60);
        SendMessageW(E, EM_SETSEL, 0, -1);
        if (C.Style & ES_MULTILINE)
            SendMessageW(E, EM_SETSEL, 4, 4);
        else if (!(C.Style & ES_READONLY))
            SendMessageW(E, WM_CLEAR, 0, 0);
        SetFocus(E);
        Host->Text(C.Typed);
        Pump();
        EXPECT_EQ(TextOf(E), C.Want) << "style " << C.Style;
        DestroyWindow(E);
    }
    HWND Secret = Child(u"edit", u"hidden", ES_PASSWORD, 61, 10, 50, 200, 24);
    EXPECT_EQ(SendMessageW(Secret, EM_GETPASSWORDCHAR, 0, 0), u'*');
    SendMessageW(Edit, EM_SETSEL, 0, -1);
    SendMessageW(Edit, WM_COPY, 0, 0);
    SendMessageW(Secret, EM_SETSEL, 0, -1);
    SendMessageW(Secret, WM_COPY, 0, 0);
    SendMessageW(Secret, WM_CUT, 0, 0);
    EXPECT_EQ(TextOf(Secret), u"hidden") << "a password is never cut";
    SendMessageW(Edit, EM_SETSEL, 3, 3);
    SendMessageW(Edit, WM_PASTE, 0, 0);
    EXPECT_EQ(TextOf(Edit), u"xyzxyz") << "the clipboard still holds the plain edit's text";

    // Lines of a multi-line edit.
    HWND Memo =
        Child(u"edit", u"one\r\ntwo\r\nthree", ES_MULTILINE | WS_VSCROLL, 62, 10, 80, 200, 30);
    EXPECT_EQ(SendMessageW(Memo, EM_GETLINECOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(Memo, EM_LINEINDEX, 1, 0), 5);
    EXPECT_EQ(SendMessageW(Memo, EM_LINELENGTH, 10, 0), 5);
    EXPECT_EQ(SendMessageW(Memo, EM_LINEFROMCHAR, 6, 0), 1);
    SendMessageW(Memo, EM_SETSEL, 1, 1);
    SendMessageW(Memo, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(SendMessageW(Memo, EM_LINEFROMCHAR, WPARAM(-1), 0), 1);
    SendMessageW(Memo, WM_KEYDOWN, VK_END, 0);
    DWORD S = 0;
    SendMessageW(Memo, EM_GETSEL, reinterpret_cast<WPARAM>(&S), 0);
    EXPECT_EQ(S, 8u);
    // Editing keys arrive as key presses: Enter, Backspace and the Ctrl
    // shortcuts act once, also when the character follows.
    SetFocus(Memo);
    SendMessageW(Memo, EM_SETSEL, 3, 3);
    Host->KeyDown(VK_RETURN);
    Pump();
    SendMessageW(Memo, WM_CHAR, u'\r', 0);
    EXPECT_EQ(TextOf(Memo), u"one\r\n\r\ntwo\r\nthree");
    Host->KeyDown(VK_BACK);
    Pump();
    EXPECT_EQ(TextOf(Memo), u"one\r\ntwo\r\nthree") << "the line break goes as one";
    Host->KeyDown(VK_CONTROL);
    Host->KeyDown('A');
    Host->KeyDown('X');
    Host->KeyUp(VK_CONTROL);
    Pump();
    EXPECT_EQ(TextOf(Memo), u"");
    Host->KeyDown(VK_CONTROL);
    Host->KeyDown('V');
    Host->KeyDown('V');
    Host->KeyUp(VK_CONTROL);
    Pump();
    EXPECT_EQ(TextOf(Memo), u"one\r\ntwo\r\nthreeone\r\ntwo\r\nthree");
    SetWindowTextW(Memo, u"one\r\ntwo\r\nthree");
    // Its scroll bar follows the first visible line.
    SendMessageW(Memo, EM_LINESCROLL, 0, 10);
    LRESULT First = SendMessageW(Memo, EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_GT(First, 0);
    EXPECT_LT(First, 3) << "the last line stays in view";
    EXPECT_EQ(GetScrollPos(Memo, SB_VERT), First);
    SendMessageW(Memo, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(GetScrollPos(Memo, SB_VERT), 0);
}

TEST_F(Controls, ListBoxSelectionScrollAndOwnerDraw) {
    HWND List =
        Child(u"listbox", nullptr, LBS_NOTIFY | WS_VSCROLL | WS_BORDER, 70, 10, 10, 150, 100);
    ASSERT_TRUE(List);
    for (int I = 0; I < 20; ++I) {
        std::string S = "item " + std::to_string(I);
        std::u16string W(S.begin(), S.end());
        EXPECT_EQ(SendMessageW(List, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W.c_str())), I);
    }
    int H = int(SendMessageW(List, LB_GETITEMHEIGHT, 0, 0));
    ASSERT_GT(H, 0);
    RECT Item;
    SendMessageW(List, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&Item));
    POINT P{(Item.left + Item.right) / 2, (Item.top + Item.bottom) / 2};
    ClientToScreen(List, &P);
    Host->MouseDown(P.x, P.y);
    Host->MouseUp(P.x, P.y);
    Pump();
    EXPECT_EQ(SendMessageW(List, LB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Count(LBN_SELCHANGE, 70), 1);
    Host->Advance(1000);
    Host->MouseDown(P.x, P.y);
    Host->MouseUp(P.x, P.y);
    Pump();
    EXPECT_EQ(Count(LBN_SELCHANGE, 70), 1) << "choosing the chosen item again changes nothing";
    Host->KeyDown(VK_DOWN);
    Pump();
    EXPECT_EQ(SendMessageW(List, LB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(Count(LBN_SELCHANGE, 70), 2);
    Host->KeyDown(VK_END);
    Pump();
    EXPECT_EQ(SendMessageW(List, LB_GETCURSEL, 0, 0), 19);
    int Top = int(SendMessageW(List, LB_GETTOPINDEX, 0, 0));
    RECT Client;
    GetClientRect(List, &Client);
    EXPECT_GT(Top, 0);
    EXPECT_LE(19, Top + Client.bottom / H) << "the chosen item is scrolled into view";
    // The scroll bar shows the items, the page and the top item.
    SCROLLINFO Si;
    Si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(List, SB_VERT, &Si));
    EXPECT_EQ(Si.nMin, 0);
    EXPECT_EQ(Si.nMax, 19);
    EXPECT_EQ(int(Si.nPage), Client.bottom / H);
    EXPECT_EQ(Si.nPos, Top);
    SendMessageW(List, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_EQ(SendMessageW(List, LB_GETTOPINDEX, 0, 0), Top - 3);
    EXPECT_EQ(GetScrollPos(List, SB_VERT), Top - 3);
    SendMessageW(List, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(SendMessageW(List, LB_GETTOPINDEX, 0, 0), 0);
    EXPECT_EQ(SendMessageW(List, LB_DELETESTRING, 0, 0), 19);
    EXPECT_EQ(SendMessageW(List, LB_GETCURSEL, 0, 0), 18) << "the selection follows its item";
    EXPECT_EQ(SendMessageW(List, LB_GETTEXT, 99, 0), LB_ERR);
    EXPECT_EQ(
        SendMessageW(List, LB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(u"ITEM 7")), 6);

    // Sorted, multiple selection, no notification without LBS_NOTIFY.
    HWND Multi = Child(u"listbox", nullptr, LBS_SORT | LBS_MULTIPLESEL, 71, 200, 10, 150, 100);
    for (const char16_t* S : {u"pear", u"apple", u"fig"})
        SendMessageW(Multi, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(S));
    char16_t Buf[16];
    SendMessageW(Multi, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(Buf));
    EXPECT_EQ(std::u16string(Buf), u"apple");
    for (int I : {0, 2}) {
        SendMessageW(Multi, LB_GETITEMRECT, WPARAM(I), reinterpret_cast<LPARAM>(&Item));
        POINT Q{Item.left + 5, Item.top + 2};
        ClientToScreen(Multi, &Q);
        Host->Advance(1000);
        Host->MouseDown(Q.x, Q.y);
        Host->MouseUp(Q.x, Q.y);
    }
    Pump();
    EXPECT_EQ(SendMessageW(Multi, LB_GETSELCOUNT, 0, 0), 2);
    int Items[4] = {};
    EXPECT_EQ(SendMessageW(Multi, LB_GETSELITEMS, 4, reinterpret_cast<LPARAM>(Items)), 2);
    EXPECT_EQ(Items[1], 2);
    EXPECT_EQ(Count(LBN_SELCHANGE, 71), 0);

    // Owner drawing: measured before the first item is drawn.
    HWND Drawn = Child(u"listbox", nullptr, LBS_OWNERDRAWFIXED, 72, 10, 150, 150, 100);
    SendMessageW(Drawn, LB_ADDSTRING, 0, 1234);
    InvalidateRect(Drawn, nullptr, TRUE);
    Pump();
    ASSERT_FALSE(OwnerDrawTrace().empty());
    EXPECT_EQ(OwnerDrawTrace().front(), WM_MEASUREITEM);
    EXPECT_NE(std::find(OwnerDrawTrace().begin(), OwnerDrawTrace().end(), WM_DRAWITEM),
              OwnerDrawTrace().end());
    EXPECT_EQ(SendMessageW(Drawn, LB_GETITEMHEIGHT, 0, 0), 20);
    EXPECT_EQ(SendMessageW(Drawn, LB_GETITEMDATA, 0, 0), 1234);
}

TEST_F(Controls, ComboStylesDropDownAndSelection) {
    struct TCase {
        DWORD Style;
        bool HasEdit;
        bool PopupList;
    };
    for (const TCase& C : {TCase{CBS_SIMPLE, true, false}, TCase{CBS_DROPDOWN, true, true},
                           TCase{CBS_DROPDOWNLIST, false, true}}) {
        HWND Combo = Child(u"combobox", nullptr, C.Style, 80, 10, 10, 200, 150);
        ASSERT_TRUE(Combo);
        COMBOBOXINFO Info;
        ASSERT_TRUE(GetComboBoxInfo(Combo, &Info));
        EXPECT_EQ(Info.hwndCombo, Combo);
        EXPECT_EQ(Info.hwndItem != nullptr, C.HasEdit) << C.Style;
        ASSERT_TRUE(Info.hwndList);
        EXPECT_EQ(GetClassNameString(Info.hwndList), u"ComboLBox");
        DWORD ListStyle = DWORD(GetWindowLongPtrW(Info.hwndList, GWL_STYLE));
        EXPECT_EQ((ListStyle & WS_POPUP) != 0, C.PopupList) << C.Style;
        EXPECT_EQ((Info.stateButton & STATE_SYSTEM_INVISIBLE) != 0, C.Style == CBS_SIMPLE);
        RECT Wr;
        GetWindowRect(Combo, &Wr);
        if (C.PopupList) {
            EXPECT_LT(Wr.bottom - Wr.top, 150) << "the field alone, the list drops below";
        }
        DestroyWindow(Combo);
    }

    HWND Combo = Child(u"combobox", nullptr, CBS_DROPDOWN, 81, 10, 10, 200, 150);
    for (const char16_t* S : {u"A4", u"Letter", u"Legal"})
        SendMessageW(Combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(S));
    COMBOBOXINFO Info;
    GetComboBoxInfo(Combo, &Info);
    POINT Btn{(Info.rcButton.left + Info.rcButton.right) / 2,
              (Info.rcButton.top + Info.rcButton.bottom) / 2};
    ClientToScreen(Combo, &Btn);
    Host->MouseDown(Btn.x, Btn.y);
    Host->MouseUp(Btn.x, Btn.y);
    Pump();
    EXPECT_EQ(SendMessageW(Combo, CB_GETDROPPEDSTATE, 0, 0), TRUE);
    EXPECT_TRUE(IsWindowVisible(Info.hwndList));
    // Choose the second item in the dropped list.
    RECT Item;
    SendMessageW(Info.hwndList, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&Item));
    POINT P{Item.left + 10, (Item.top + Item.bottom) / 2};
    ClientToScreen(Info.hwndList, &P);
    Host->Advance(1000);
    Host->MouseMove(P.x, P.y);
    Host->MouseDown(P.x, P.y);
    Host->MouseUp(P.x, P.y);
    Pump();
    EXPECT_FALSE(IsWindowVisible(Info.hwndList));
    EXPECT_EQ(SendMessageW(Combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(TextOf(Combo), u"Letter");
    std::vector<WORD> Order;
    for (const TNote& N : Notes())
        if (N.Id == 81 &&
            (N.Code == CBN_DROPDOWN || N.Code == CBN_CLOSEUP || N.Code == CBN_SELCHANGE))
            Order.push_back(N.Code);
    EXPECT_EQ(Order, (std::vector<WORD>{CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE}));

    // Typing changes the text, not the selection.
    Notes().clear();
    SetFocus(Info.hwndItem);
    SendMessageW(Info.hwndItem, EM_SETSEL, 0, -1);
    Host->Text(u"Custom");
    Pump();
    EXPECT_EQ(TextOf(Combo), u"Custom");
    EXPECT_EQ(SendMessageW(Combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Count(CBN_EDITCHANGE, 81), 6);
    EXPECT_EQ(Count(CBN_SELCHANGE, 81), 0);

    // Keys in the edit: Down walks the closed list, F4 drops it, Esc closes
    // it unchanged, Enter closes it with the new choice.
    Host->KeyDown(VK_DOWN);
    Pump();
    EXPECT_EQ(SendMessageW(Combo, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(TextOf(Combo), u"Legal");
    EXPECT_EQ(Count(CBN_SELCHANGE, 81), 1);
    Host->KeyDown(VK_F4);
    Pump();
    EXPECT_EQ(SendMessageW(Combo, CB_GETDROPPEDSTATE, 0, 0), TRUE);
    Host->KeyDown(VK_UP);
    Host->KeyDown(VK_ESCAPE);
    Pump();
    EXPECT_EQ(SendMessageW(Combo, CB_GETDROPPEDSTATE, 0, 0), FALSE);
    EXPECT_EQ(SendMessageW(Combo, CB_GETCURSEL, 0, 0), 2);
    Host->KeyDown(VK_F4);
    Host->KeyDown(VK_UP);
    Host->KeyDown(VK_RETURN);
    Pump();
    EXPECT_EQ(SendMessageW(Combo, CB_GETDROPPEDSTATE, 0, 0), FALSE);
    EXPECT_EQ(SendMessageW(Combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(TextOf(Combo), u"Letter");
    EXPECT_EQ(Count(CBN_SELCHANGE, 81), 2);

    // A cancelled drop keeps the old selection; a press outside cancels.
    Notes().clear();
    SendMessageW(Combo, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageW(Info.hwndList, LB_SETCURSEL, 2, 0);
    SendMessageW(Combo, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_EQ(SendMessageW(Combo, CB_GETCURSEL, 0, 0), 1);
    SendMessageW(Combo, CB_SHOWDROPDOWN, TRUE, 0);
    Host->Advance(1000);
    Host->MouseDown(600, 600);
    Host->MouseUp(600, 600);
    Pump();
    EXPECT_EQ(SendMessageW(Combo, CB_GETDROPPEDSTATE, 0, 0), FALSE);
    EXPECT_EQ(Count(CBN_CLOSEUP, 81), 2);
    EXPECT_EQ(Count(CBN_SELENDCANCEL, 81), 2);
    EXPECT_EQ(Count(CBN_SELCHANGE, 81), 0);

    // A drop-down list walks its items with the arrows.
    HWND Pick = Child(u"combobox", nullptr, CBS_DROPDOWNLIST, 82, 10, 60, 200, 150);
    for (const char16_t* S : {u"one", u"two"})
        SendMessageW(Pick, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(S));
    SetFocus(Pick);
    Host->KeyDown(VK_DOWN);
    Host->KeyDown(VK_DOWN);
    Host->KeyDown(VK_DOWN);
    Pump();
    EXPECT_EQ(SendMessageW(Pick, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Count(CBN_SELCHANGE, 82), 2);
    EXPECT_EQ(TextOf(Pick), u"two");
}

HHOOK FilterHook = nullptr;
std::vector<int>& FilterCodes() {
    static std::vector<int> C;
    return C;
}
LRESULT RecordFilter(int Code, WPARAM W, LPARAM L) {
    FilterCodes().push_back(Code);
    return CallNextHookEx(FilterHook, Code, W, L);
}

TEST_F(Controls, DialogTabOrderGroupsAndLoops) {
    TDialogTemplate T;
    T.Title = u"Options";
    T.Style |= WS_VISIBLE;
    T.Items = {
        {u"Edit", u"", 100, WS_TABSTOP | WS_BORDER, {10, 10, 200, 34}},
        {u"Button", u"One", 101, WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, {10, 40, 100, 60}},
        {u"Button", u"Two", 102, BS_AUTORADIOBUTTON, {10, 60, 100, 80}},
        {u"Button", u"Three", 103, BS_AUTORADIOBUTTON, {10, 80, 100, 100}},
        {u"Static", u"Note", 104, WS_GROUP, {10, 100, 100, 120}},
        {u"Button", u"Check", 105, WS_TABSTOP | BS_AUTOCHECKBOX, {10, 120, 100, 140}},
        {u"Button", u"OK", IDOK, WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, {120, 160, 190, 183}},
        {u"Button", u"Cancel", IDCANCEL, WS_TABSTOP, {200, 160, 270, 183}}};
    std::vector<int>& Commands = DialogCommands();
    HWND Dlg = RecordingDialog(T, Parent);
    ASSERT_TRUE(Dlg);
    auto Run = [&] { RunDialog(Dlg); };
    auto Key = [&](UINT Vk) {
        Host->KeyDown(Vk);
        Host->KeyUp(Vk);
        Run();
        return GetDlgCtrlID(GetFocus());
    };
    Run();
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), 100);
    EXPECT_EQ(Key(VK_TAB), 101);
    EXPECT_EQ(Key(VK_DOWN), 102) << "arrows move within the group";
    EXPECT_EQ(SendDlgItemMessageW(Dlg, 102, BM_GETCHECK, 0, 0), BST_CHECKED)
        << "and choose the radio button";
    EXPECT_EQ(Key(VK_DOWN), 103);
    EXPECT_EQ(Key(VK_DOWN), 101) << "the group wraps";
    EXPECT_EQ(Key(VK_TAB), 105) << "the static is skipped";
    EXPECT_EQ(Key(VK_TAB), IDOK);
    EXPECT_EQ(Key(VK_TAB), IDCANCEL);
    EXPECT_EQ(Key(VK_TAB), 100) << "Tab wraps to the first stop";
    Host->KeyDown(VK_SHIFT);
    EXPECT_EQ(Key(VK_TAB), IDCANCEL) << "Shift+Tab goes back";
    Host->KeyUp(VK_SHIFT);
    EXPECT_EQ(Key(VK_TAB), 100);
    // Enter presses the focused push button, else the default one.
    Commands.clear();
    Key(VK_RETURN);
    SendMessageW(Dlg, DM_SETDEFID, IDCANCEL, 0);
    Key(VK_RETURN);
    Key(VK_TAB);
    Key(VK_TAB);
    Key(VK_TAB);
    Key(VK_RETURN);
    EXPECT_EQ(Commands, (std::vector<int>{IDOK, IDCANCEL, IDOK}));
    DestroyWindow(Dlg);

    // Modal loops pass their messages to the filter with their code, and a
    // WM_QUIT ends them and stays for the outer loop.
    FilterCodes().clear();
    FilterHook = SetWindowsHookExW(WH_MSGFILTER, RecordFilter, nullptr, GetCurrentThreadId());
    SetModalHandler([&](HWND) {
        if (FilterCodes().empty())
            PostMessageW(Parent, WM_USER, 0, 0);
        else
            PostQuitMessage(7);
    });
    TDialogTemplate Plain;
    Plain.Title = u"Plain";
    Plain.Items = {{u"Button",
                    u"OK",
                    IDOK,
                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                    {10, 10, 80, 33}}};
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &Plain, Parent, nullptr, 0), IDCANCEL);
    UnhookWindowsHookEx(FilterHook);
    ASSERT_FALSE(FilterCodes().empty());
    EXPECT_TRUE(std::all_of(FilterCodes().begin(), FilterCodes().end(),
                            [](int C) { return C == MSGF_DIALOGBOX; }));
    MSG M;
    bool Quit = false;
    while (PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE))
        if (M.message == WM_QUIT) Quit = M.wParam == 7;
    EXPECT_TRUE(Quit);
    EXPECT_TRUE(IsWindowEnabled(Parent));
}

// A parent that destroys a control from its notification: the control
// touches nothing of itself afterwards (ASan watches).
TEST_F(Controls, DestroyedInsideTheirOwnNotifications) {
    struct TCase {
        const char16_t* Class;
        DWORD Style;
        WORD Code;
        std::function<void(HWND)> Act;
    };
    auto Type = [this](const std::u16string& Text) {
        return [this, Text](HWND Ctl) {
            SetFocus(Ctl);
            Host->Text(Text);
            Pump();
        };
    };
    auto Press = [this](HWND Ctl) { Click(Ctl); };
    auto Space = [this](HWND Ctl) {
        SetFocus(Ctl);
        Host->KeyDown(VK_SPACE);
        Host->KeyUp(VK_SPACE);
        Pump();
    };
    auto Compose = [this](HWND Ctl) {
        SetFocus(Ctl);
        Host->Compose(u"图", 1);
        Host->Text(u"图片");
        Pump();
    };
    auto PickSecond = [](HWND Ctl) {
        SetFocus(Ctl);
        SendMessageW(Ctl, WM_KEYDOWN, VK_DOWN, 0);
        SendMessageW(Ctl, WM_KEYDOWN, VK_DOWN, 0);
    };
    auto DropAndChoose = [](HWND Ctl) {
        SendMessageW(Ctl, CB_SHOWDROPDOWN, TRUE, 0);
        if (IsWindow(Ctl)) SendMessageW(Ctl, WM_KEYDOWN, VK_DOWN, 0);
        if (IsWindow(Ctl)) SendMessageW(Ctl, WM_KEYDOWN, VK_RETURN, 0);
    };
    const TCase Cases[] = {
        {u"button", BS_PUSHBUTTON, BN_CLICKED, Press},
        {u"button", BS_AUTOCHECKBOX, BN_CLICKED, Space},
        {u"button", BS_PUSHBUTTON | BS_NOTIFY, BN_HILITE, Press},
        {u"button", BS_PUSHBUTTON | BS_NOTIFY, BN_UNHILITE, Space},
        {u"edit", 0, EN_UPDATE, Type(u"x")},
        {u"edit", 0, EN_CHANGE, Compose},
        {u"edit", ES_MULTILINE, EN_CHANGE, Type(u"\r")},
        {u"listbox", LBS_NOTIFY, LBN_SELCHANGE, PickSecond},
        {u"combobox", CBS_DROPDOWNLIST, CBN_SELCHANGE, PickSecond},
        {u"combobox", CBS_DROPDOWN, CBN_DROPDOWN, DropAndChoose},
        {u"combobox", CBS_DROPDOWNLIST, CBN_SELENDOK, DropAndChoose},
        {u"combobox", CBS_DROPDOWNLIST, CBN_CLOSEUP, DropAndChoose},
    };
    for (const TCase& C : Cases) {
        HWND Ctl = Child(C.Class, u"", C.Style | WS_TABSTOP, 95, 20, 20, 120, 60);
        ASSERT_TRUE(Ctl);
        UINT Add = std::u16string(C.Class) == u"combobox"  ? CB_ADDSTRING
                   : std::u16string(C.Class) == u"listbox" ? LB_ADDSTRING
                                                           : 0;
        for (const char16_t* S : {u"a", u"b", u"c"})
            if (Add) SendMessageW(Ctl, Add, 0, reinterpret_cast<LPARAM>(S));
        DestroyOn() = C.Code;
        C.Act(Ctl);
        Pump();
        EXPECT_FALSE(IsWindow(Ctl)) << std::string(C.Class, C.Class + 4) << " code " << C.Code;
        DestroyOn() = -1;
    }
}

TEST_F(Controls, PaintWithTheParentsBrushInsideTheirBounds) {
    const COLORREF Red = 0x0000FF;
    HBRUSH RedBrush = CreateSolidBrush(Red);
    ParentBrush() = RedBrush;
    struct TCase {
        const char16_t* Class;
        DWORD Style;
    };
    for (TCase C : {TCase{u"static", SS_LEFT}, TCase{u"edit", 0}, TCase{u"listbox", 0},
                    TCase{u"button", BS_AUTOCHECKBOX}, TCase{u"button", BS_GROUPBOX}}) {
        HWND Ctl = Child(C.Class, u"", C.Style, 90, 40, 40, 60, 40);
        UpdateWindow(Parent);
        Pump();
        RECT R;
        GetWindowRect(Ctl, &R);
        RECT P;
        GetWindowRect(Parent, &P);
        const TBitmap* F = GetWindowFramebuffer(Parent);
        ASSERT_TRUE(F);
        auto At = [&](int X, int Y) {
            const uint8_t* Px = F->ScanLine(Y - P.top) + 4 * (X - P.left);
            return COLORREF(Px[2] | (Px[1] << 8) | (Px[0] << 16));
        };
        EXPECT_EQ(At(R.right - 3, R.bottom - 3), Red)
            << "inside, class " << std::string(C.Class, C.Class + 6);
        EXPECT_NE(At(R.right + 2, R.bottom + 2), Red) << "outside";
        DestroyWindow(Ctl);
        Pump();
    }
    // A push button keeps its face; the parent's brush is for around it.
    HWND Push = Child(u"button", u"", BS_PUSHBUTTON, 91, 40, 40, 60, 40);
    UpdateWindow(Parent);
    Pump();
    RECT R, P;
    GetWindowRect(Push, &R);
    GetWindowRect(Parent, &P);
    EXPECT_EQ(PixelAt(Parent, (R.left + R.right) / 2 - P.left, (R.top + R.bottom) / 2 - P.top),
              GetSysColor(COLOR_BTNFACE));
    ParentBrush() = nullptr;
    DeleteObject(RedBrush);
}

// Scroll bars, the combo box and the tab control: a thumb drag reports
// only changes of position, thumbs follow their ranges, a drop opens and
// closes with its notifications while typed text leaves the selection, and
// the tab control's display area with and without tabs.
TEST_F(Controls, ScrollComboTab) {
    scrolltab::PrepareOwners(Host);
    scrolltab::CheckThumbDrag(*Host);
    EXPECT_NE(scrolltab::CheckThumbTable(), nullptr);

    HWND Combo = Child(u"combobox", nullptr, CBS_DROPDOWN, 90, 10, 10, 200, 150);
    ASSERT_TRUE(Combo);
    for (const char16_t* S : {u"Fit", u"Width", u"Page"})
        SendMessageW(Combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(S));
    SendMessageW(Combo, CB_SETCURSEL, 2, 0);
    COMBOBOXINFO Info;
    ASSERT_TRUE(GetComboBoxInfo(Combo, &Info));
    SetFocus(Info.hwndItem);
    Notes().clear();
    Host->KeyDown(VK_F4);
    Host->KeyDown(VK_ESCAPE);
    Pump();
    std::vector<WORD> Order;
    for (const TNote& N : Notes())
        if (N.Id == 90 && (N.Code == CBN_DROPDOWN || N.Code == CBN_CLOSEUP))
            Order.push_back(N.Code);
    EXPECT_EQ(Order, (std::vector<WORD>{CBN_DROPDOWN, CBN_CLOSEUP}));
    SendMessageW(Info.hwndItem, EM_SETSEL, 0, -1);
    Host->Text(u"150%");
    Pump();
    EXPECT_EQ(TextOf(Combo), u"150%");
    EXPECT_EQ(SendMessageW(Combo, CB_GETCURSEL, 0, 0), 2);

    EXPECT_NE(scrolltab::CheckAdjustRect(Parent), nullptr);
    scrolltab::Log().Host.reset();
}

}  // namespace
}  // namespace velmo::uitest
