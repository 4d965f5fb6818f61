// Dialog boxes ("#32770") built from in-code item tables, the dialog
// manager's keyboard handling, modal loops and message boxes.
//
// Every modal loop (dialog boxes and message boxes) calls one replaceable
// handler on each turn before it waits, with the dialog's window: a test
// installs one that presses keys or clicks buttons, so scripted answers
// never block. A modal loop whose host can deliver nothing more ends the
// dialog with IDCANCEL.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"

namespace velmo {

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

constexpr DWORD DS_ABSALIGN = 0x0001;
constexpr DWORD DS_SYSMODAL = 0x0002;
constexpr DWORD DS_LOCALEDIT = 0x0020;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_NOIDLEMSG = 0x0100;
constexpr DWORD DS_3DLOOK = 0x0004;
constexpr DWORD DS_FIXEDSYS = 0x0008;
constexpr DWORD DS_CONTROL = 0x0400;
constexpr DWORD DS_CENTER = 0x0800;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDCLOSE = 8;
constexpr int IDHELP = 9;

// Dialog window extra bytes: the message result, the dialog procedure and
// a user value.
constexpr int DLGWINDOWEXTRA = 48;
constexpr int DWLP_MSGRESULT = 0;
constexpr int DWLP_DLGPROC = 8;
constexpr int DWLP_USER = 16;

constexpr UINT DM_GETDEFID = WM_USER + 0;
constexpr UINT DM_SETDEFID = WM_USER + 1;
constexpr UINT DM_REPOSITION = WM_USER + 2;
constexpr WORD DC_HASDEFID = 0x534B;

// One control of a dialog: its class, text, id, style and rectangle in
// pixels of the dialog's client area.
struct TDialogItem {
    std::u16string Class;
    std::u16string Text;
    int Id = 0;
    DWORD Style = WS_CHILD | WS_VISIBLE;
    RECT Rect;
    DWORD ExStyle = 0;
};

// A dialog: caption, style, client size in pixels (placed centred on its
// owner, or on the screen without one, unless Position is given) and items
// in tab order.
struct TDialogTemplate {
    std::u16string Title;
    DWORD Style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    DWORD ExStyle = WS_EX_DLGMODALFRAME;
    int Width = 300;
    int Height = 200;
    std::optional<POINT> Position;
    std::vector<TDialogItem> Items;
};

// Modal: the owner (its root) is disabled while the dialog runs; returns
// the EndDialog value, −1 on failure.
INT_PTR DialogBoxIndirectParamW(HINSTANCE Instance, const TDialogTemplate* Template, HWND Owner,
                                DLGPROC Proc, LPARAM Init);
// Modeless: the dialog window (visible when its style has WS_VISIBLE).
HWND CreateDialogIndirectParamW(HINSTANCE Instance, const TDialogTemplate* Template, HWND Owner,
                                DLGPROC Proc, LPARAM Init);
BOOL EndDialog(HWND Dialog, INT_PTR Result);
LRESULT DefDlgProcW(HWND Dialog, UINT Msg, WPARAM W, LPARAM L);
// Handles the dialog keys of a message meant for Dialog or its controls
// (Tab, Shift+Tab, arrows in groups, Enter, Esc); true when it took it.
BOOL IsDialogMessageW(HWND Dialog, MSG* Msg);
HWND GetNextDlgTabItem(HWND Dialog, HWND Ctl, BOOL Previous);
HWND GetNextDlgGroupItem(HWND Dialog, HWND Ctl, BOOL Previous);
LRESULT SendDlgItemMessageW(HWND Dialog, int Id, UINT Msg, WPARAM W, LPARAM L);
BOOL SetDlgItemTextW(HWND Dialog, int Id, LPCWSTR Text);
UINT GetDlgItemTextW(HWND Dialog, int Id, LPWSTR Buffer, int Max);
BOOL CheckDlgButton(HWND Dialog, int Id, UINT Check);
UINT IsDlgButtonChecked(HWND Dialog, int Id);
BOOL CheckRadioButton(HWND Dialog, int First, int Last, int Check);

// Message boxes.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0x000000F0;
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_DEFMASK = 0x00000F00;
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;
// The id of the static that shows the icon and of the message text.
constexpr int IDC_MESSAGEBOX_ICON = 20;
constexpr int IDC_MESSAGEBOX_TEXT = 0xFFFF;
// Icon ids of the message box kinds: the predefined icons of
// platform/ui/Icons.h.
// The icon id a message box of these flags shows; 0 for none.
int MessageBoxIconId(UINT Type);
// Returns the id of the pressed button (IDOK, IDCANCEL, IDYES, IDNO, …);
// 0 on failure.
int MessageBoxW(HWND Owner, LPCWSTR Text, LPCWSTR Caption, UINT Type);

// The handler every modal loop calls each turn; returns the previous one.
using TModalHandler = std::function<void(HWND Dialog)>;
TModalHandler SetModalHandler(TModalHandler Handler);

}  // namespace velmo
