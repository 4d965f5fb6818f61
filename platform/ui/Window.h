// The window layer: windows and their procedures, the message queue and its
// loops, timers, hooks, fixed system answers and the default non-client
// area. Calls, structures and message numbers keep the platform's names so
// that the skinning and application code reads like the code it replaces.
//
// One user-interface thread owns every window: the first thread that creates
// a window or pumps messages. Other threads may post (PostMessageW,
// PostThreadMessageW) and send (SendMessageW, which waits until the
// user-interface thread has answered in one of its message calls). Handles
// carry a generation, so a handle kept after its window died never reaches
// another window. Handles, WPARAM, LPARAM and LRESULT are pointer-sized;
// SetWindowLongW and GetWindowLongW are pointer-sized too, so GWL_WNDPROC
// holds a procedure.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/files/WideFile.h"
#include "platform/gdi/DC.h"
#include "platform/ui/Messages.h"

namespace velmo {

using WORD = uint16_t;
using ATOM = uint16_t;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using HINSTANCE = struct HINSTANCE__*;
using HMENU = struct HMENU__*;
using HICON = struct HICON__*;
using HCURSOR = HICON;
using HHOOK = struct HHOOK__*;
using HANDLE = void*;
using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;
using UINT_PTR = uintptr_t;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);
using HOOKPROC = LRESULT (*)(int Code, WPARAM, LPARAM);

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr WORD LOWORD(uintptr_t V) { return WORD(V & 0xFFFF); }
constexpr WORD HIWORD(uintptr_t V) { return WORD((V >> 16) & 0xFFFF); }
constexpr int16_t GET_X_LPARAM(LPARAM L) { return int16_t(L & 0xFFFF); }
constexpr int16_t GET_Y_LPARAM(LPARAM L) { return int16_t((L >> 16) & 0xFFFF); }
// A point as a signed 16-bit pair.
constexpr LPARAM MAKELPARAM(int Lo, int Hi) {
    return LPARAM(int32_t(uint32_t(uint16_t(Lo)) | (uint32_t(uint16_t(Hi)) << 16)));
}
constexpr WPARAM MAKEWPARAM(int Lo, int Hi) { return WPARAM(uint32_t(uint16_t(Lo)) | (uint32_t(uint16_t(Hi)) << 16)); }
// Names a class by atom where a class name is expected.
inline LPCWSTR MAKEINTATOM(ATOM A) { return reinterpret_cast<LPCWSTR>(uintptr_t(A)); }
inline bool IS_INTRESOURCE(const void* P) { return (uintptr_t(P) >> 16) == 0; }

// ---------------------------------------------------------------------------
// Messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETREDRAW = 0x000B;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SYSCOLORCHANGE = 0x0015;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_CANCELMODE = 0x001F;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_MOUSEACTIVATE = 0x0021;
constexpr LRESULT MA_ACTIVATE = 1;
constexpr LRESULT MA_ACTIVATEANDEAT = 2;
constexpr LRESULT MA_NOACTIVATE = 3;
constexpr LRESULT MA_NOACTIVATEANDEAT = 4;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_MEASUREITEM = 0x002C;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_STYLECHANGING = 0x007C;
constexpr UINT WM_STYLECHANGED = 0x007D;
constexpr UINT WM_GETICON = 0x007F;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCCALCSIZE = 0x0083;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_GETDLGCODE = 0x0087;
constexpr UINT WM_NCMOUSEMOVE = 0x00A0;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
constexpr UINT WM_NCLBUTTONUP = 0x00A2;
constexpr UINT WM_NCLBUTTONDBLCLK = 0x00A3;
constexpr UINT WM_NCRBUTTONDOWN = 0x00A4;
constexpr UINT WM_NCRBUTTONUP = 0x00A5;
constexpr UINT WM_NCRBUTTONDBLCLK = 0x00A6;
constexpr UINT WM_NCMBUTTONDOWN = 0x00A7;
constexpr UINT WM_NCMBUTTONUP = 0x00A8;
constexpr UINT WM_NCMBUTTONDBLCLK = 0x00A9;
constexpr UINT WM_KEYFIRST = 0x0100;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_KEYLAST = 0x0109;
constexpr UINT WM_IME_STARTCOMPOSITION = 0x010D;
constexpr UINT WM_IME_ENDCOMPOSITION = 0x010E;
constexpr UINT WM_IME_COMPOSITION = 0x010F;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_INITMENU = 0x0116;
constexpr UINT WM_INITMENUPOPUP = 0x0117;
constexpr UINT WM_MENUSELECT = 0x011F;
constexpr UINT WM_ENTERIDLE = 0x0121;
constexpr UINT WM_CTLCOLORMSGBOX = 0x0132;
constexpr UINT WM_CTLCOLOREDIT = 0x0133;
constexpr UINT WM_CTLCOLORLISTBOX = 0x0134;
constexpr UINT WM_CTLCOLORBTN = 0x0135;
constexpr UINT WM_CTLCOLORDLG = 0x0136;
constexpr UINT WM_CTLCOLORSCROLLBAR = 0x0137;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT WM_MOUSEFIRST = 0x0200;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_MOUSELAST = 0x020A;
constexpr UINT WM_PARENTNOTIFY = 0x0210;
constexpr UINT WM_ENTERMENULOOP = 0x0211;
constexpr UINT WM_EXITMENULOOP = 0x0212;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_SIZING = 0x0214;
constexpr UINT WM_MOVING = 0x0216;
constexpr UINT WM_MDICREATE = 0x0220;
constexpr UINT WM_MDIDESTROY = 0x0221;
constexpr UINT WM_MDIACTIVATE = 0x0222;
constexpr UINT WM_MDIRESTORE = 0x0223;
constexpr UINT WM_MDINEXT = 0x0224;
constexpr UINT WM_MDIMAXIMIZE = 0x0225;
constexpr UINT WM_MDITILE = 0x0226;
constexpr UINT WM_MDICASCADE = 0x0227;
constexpr UINT WM_MDIICONARRANGE = 0x0228;
constexpr UINT WM_MDIGETACTIVE = 0x0229;
constexpr UINT WM_MDISETMENU = 0x0230;
constexpr UINT WM_ENTERSIZEMOVE = 0x0231;
constexpr UINT WM_EXITSIZEMOVE = 0x0232;
constexpr UINT WM_DROPFILES = 0x0233;
constexpr UINT WM_MDIREFRESHMENU = 0x0234;
constexpr UINT WM_IME_SETCONTEXT = 0x0281;
constexpr UINT WM_IME_NOTIFY = 0x0282;
constexpr UINT WM_IME_CHAR = 0x0286;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_NCMOUSELEAVE = 0x02A2;
constexpr UINT WM_PRINT = 0x0317;
constexpr UINT WM_PRINTCLIENT = 0x0318;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// Registered messages take numbers from this range.
constexpr UINT FIRST_REGISTERED_MESSAGE = 0xC000;

// ---------------------------------------------------------------------------
// Window styles.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;

constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_NOPARENTNOTIFY = 0x00000004;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_ACCEPTFILES = 0x00000010;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_MDICHILD = 0x00000040;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_CONTEXTHELP = 0x00000400;
constexpr DWORD WS_EX_STATICEDGE = 0x00020000;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;

constexpr DWORD DS_SETFOREGROUND = 0x0200;
constexpr DWORD SBS_SIZEGRIP = 0x0010;

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr UINT CS_OWNDC = 0x0020;
constexpr UINT CS_CLASSDC = 0x0040;
constexpr UINT CS_PARENTDC = 0x0080;
constexpr UINT CS_NOCLOSE = 0x0200;
constexpr UINT CS_SAVEBITS = 0x0800;
constexpr UINT CS_GLOBALCLASS = 0x4000;

constexpr int CW_USEDEFAULT = int(0x80000000);

// GetWindowLongW / SetWindowLongW fields.
constexpr int GWL_WNDPROC = -4;
constexpr int GWL_HINSTANCE = -6;
constexpr int GWL_HWNDPARENT = -8;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWL_USERDATA = -21;
constexpr int GWL_ID = -12;
constexpr int GWLP_WNDPROC = GWL_WNDPROC;
constexpr int GWLP_HINSTANCE = GWL_HINSTANCE;
constexpr int GWLP_HWNDPARENT = GWL_HWNDPARENT;
constexpr int GWLP_USERDATA = GWL_USERDATA;
constexpr int GWLP_ID = GWL_ID;

// GetClassLongW fields.
constexpr int GCL_STYLE = -26;
constexpr int GCL_WNDPROC = -24;
constexpr int GCL_CBCLSEXTRA = -20;
constexpr int GCL_CBWNDEXTRA = -18;
constexpr int GCL_HBRBACKGROUND = -10;
constexpr int GCW_ATOM = -32;

// GetWindow relations.
constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5;
constexpr UINT GA_PARENT = 1;
constexpr UINT GA_ROOT = 2;
constexpr UINT GA_ROOTOWNER = 3;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

// SetWindowPos flags and special z-order handles.
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOCOPYBITS = 0x0100;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;
constexpr UINT SWP_NOSENDCHANGING = 0x0400;
constexpr UINT SWP_DRAWFRAME = SWP_FRAMECHANGED;
inline const HWND HWND_TOP = reinterpret_cast<HWND>(intptr_t(0));
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(intptr_t(1));
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(intptr_t(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(intptr_t(-2));
inline const HWND HWND_MESSAGE = reinterpret_cast<HWND>(intptr_t(-3));

// WM_ACTIVATE states.
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;

// WM_SIZE kinds.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// WM_NCCALCSIZE answers.
constexpr LRESULT WVR_ALIGNTOP = 0x0010;
constexpr LRESULT WVR_ALIGNLEFT = 0x0020;
constexpr LRESULT WVR_ALIGNBOTTOM = 0x0040;
constexpr LRESULT WVR_ALIGNRIGHT = 0x0080;
constexpr LRESULT WVR_HREDRAW = 0x0100;
constexpr LRESULT WVR_VREDRAW = 0x0200;
constexpr LRESULT WVR_REDRAW = WVR_HREDRAW | WVR_VREDRAW;
constexpr LRESULT WVR_VALIDRECTS = 0x0400;

// WM_NCHITTEST answers.
constexpr LRESULT HTERROR = -2;
constexpr LRESULT HTTRANSPARENT = -1;
constexpr LRESULT HTNOWHERE = 0;
constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;
constexpr LRESULT HTSYSMENU = 3;
constexpr LRESULT HTGROWBOX = 4;
constexpr LRESULT HTSIZE = HTGROWBOX;
constexpr LRESULT HTMENU = 5;
constexpr LRESULT HTHSCROLL = 6;
constexpr LRESULT HTVSCROLL = 7;
constexpr LRESULT HTMINBUTTON = 8;
constexpr LRESULT HTMAXBUTTON = 9;
constexpr LRESULT HTLEFT = 10;
constexpr LRESULT HTRIGHT = 11;
constexpr LRESULT HTTOP = 12;
constexpr LRESULT HTTOPLEFT = 13;
constexpr LRESULT HTTOPRIGHT = 14;
constexpr LRESULT HTBOTTOM = 15;
constexpr LRESULT HTBOTTOMLEFT = 16;
constexpr LRESULT HTBOTTOMRIGHT = 17;
constexpr LRESULT HTBORDER = 18;
constexpr LRESULT HTCLOSE = 20;
constexpr LRESULT HTHELP = 21;

// WM_SYSCOMMAND codes.
constexpr WPARAM SC_SIZE = 0xF000;
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_NEXTWINDOW = 0xF040;
constexpr WPARAM SC_PREVWINDOW = 0xF050;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_MOUSEMENU = 0xF090;
constexpr WPARAM SC_KEYMENU = 0xF100;
constexpr WPARAM SC_RESTORE = 0xF120;
constexpr WPARAM SC_CONTEXTHELP = 0xF180;

// WM_GETICON / WM_SETICON kinds.
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;
constexpr WPARAM ICON_SMALL2 = 2;

// Mouse-key state bits of mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// Virtual keys the layer itself interprets.
constexpr UINT VK_LBUTTON = 0x01;
constexpr UINT VK_RBUTTON = 0x02;
constexpr UINT VK_MBUTTON = 0x04;
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_MENU = 0x12;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_F4 = 0x73;
constexpr UINT VK_F10 = 0x79;

// Message-queue calls.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT PM_NOYIELD = 0x0002;

// GetQueueStatus / GetInputState bits.
constexpr UINT QS_KEY = 0x0001;
constexpr UINT QS_MOUSEMOVE = 0x0002;
constexpr UINT QS_MOUSEBUTTON = 0x0004;
constexpr UINT QS_POSTMESSAGE = 0x0008;
constexpr UINT QS_TIMER = 0x0010;
constexpr UINT QS_PAINT = 0x0020;
constexpr UINT QS_SENDMESSAGE = 0x0040;
constexpr UINT QS_MOUSE = QS_MOUSEMOVE | QS_MOUSEBUTTON;
constexpr UINT QS_INPUT = QS_MOUSE | QS_KEY;
constexpr UINT QS_ALLINPUT = QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_SENDMESSAGE;

constexpr UINT USER_TIMER_MINIMUM = 0x0000000A;
constexpr UINT USER_TIMER_MAXIMUM = 0x7FFFFFFF;

// ---------------------------------------------------------------------------
// Hooks.
constexpr int WH_MSGFILTER = -1;
constexpr int WH_CBT = 5;
constexpr int HC_ACTION = 0;

constexpr int HCBT_MOVESIZE = 0;
constexpr int HCBT_MINMAX = 1;
constexpr int HCBT_QS = 2;
constexpr int HCBT_CREATEWND = 3;
constexpr int HCBT_DESTROYWND = 4;
constexpr int HCBT_ACTIVATE = 5;
constexpr int HCBT_CLICKSKIPPED = 6;
constexpr int HCBT_KEYSKIPPED = 7;
constexpr int HCBT_SYSCOMMAND = 8;
constexpr int HCBT_SETFOCUS = 9;

// Codes with which the layer's own message loops call the message filter.
constexpr int MSGF_DIALOGBOX = 0;
constexpr int MSGF_MESSAGEBOX = 1;
constexpr int MSGF_MENU = 2;
constexpr int MSGF_SIZE = 4;
constexpr int MSGF_SCROLLBAR = 5;
constexpr int MSGF_NEXTWINDOW = 6;
constexpr int MSGF_MAX = 8;
constexpr int MSGF_USER = 4096;

// ---------------------------------------------------------------------------
// Structures.
struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
    POINT pt;
};

struct CREATESTRUCTW {
    void* lpCreateParams = nullptr;
    HINSTANCE hInstance = nullptr;
    HMENU hMenu = nullptr;
    HWND hwndParent = nullptr;
    int cy = 0;
    int cx = 0;
    int y = 0;
    int x = 0;
    LONG style = 0;
    LPCWSTR lpszName = nullptr;
    LPCWSTR lpszClass = nullptr;
    DWORD dwExStyle = 0;
};

struct CBT_CREATEWNDW {
    CREATESTRUCTW* lpcs = nullptr;
    HWND hwndInsertAfter = nullptr;
};

struct CBTACTIVATESTRUCT {
    BOOL fMouse = FALSE;
    HWND hWndActive = nullptr;
};

struct WINDOWPOS {
    HWND hwnd = nullptr;
    HWND hwndInsertAfter = nullptr;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
};

struct NCCALCSIZE_PARAMS {
    RECT rgrc[3];
    WINDOWPOS* lppos = nullptr;
};

struct MINMAXINFO {
    POINT ptReserved;
    POINT ptMaxSize;
    POINT ptMaxPosition;
    POINT ptMinTrackSize;
    POINT ptMaxTrackSize;
};

struct STYLESTRUCT {
    DWORD styleOld = 0;
    DWORD styleNew = 0;
};

struct WNDCLASSEXW {
    UINT cbSize = sizeof(WNDCLASSEXW);
    UINT style = 0;
    WNDPROC lpfnWndProc = nullptr;
    int cbClsExtra = 0;
    int cbWndExtra = 0;
    HINSTANCE hInstance = nullptr;
    HICON hIcon = nullptr;
    HCURSOR hCursor = nullptr;
    HBRUSH hbrBackground = nullptr;
    LPCWSTR lpszMenuName = nullptr;
    LPCWSTR lpszClassName = nullptr;
    HICON hIconSm = nullptr;
};

struct WINDOWPLACEMENT {
    UINT length = sizeof(WINDOWPLACEMENT);
    UINT flags = 0;
    UINT showCmd = 0;
    POINT ptMinPosition;
    POINT ptMaxPosition;
    RECT rcNormalPosition;
};

// ---------------------------------------------------------------------------
// Errors (GetLastError).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_INVALID_HOOK_HANDLE = 1404;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_INDEX = 1413;
constexpr DWORD ERROR_INVALID_FILTER_PROC = 1427;
// GetLastError and SetLastError: platform/files/WideFile.h, one value per thread.

// ---------------------------------------------------------------------------
// Module instance: every window of the program carries this one value.
HINSTANCE GetModuleHandleW(LPCWSTR Name);

// Classes and atoms.
ATOM RegisterClassExW(const WNDCLASSEXW* Class);
BOOL UnregisterClassW(LPCWSTR ClassName, HINSTANCE Instance);
BOOL GetClassInfoExW(HINSTANCE Instance, LPCWSTR ClassName, WNDCLASSEXW* Out);
int GetClassNameW(HWND Wnd, LPWSTR Buffer, int MaxCount);
std::u16string GetClassNameString(HWND Wnd);
ULONG_PTR GetClassLongPtrW(HWND Wnd, int Index);
ATOM GlobalAddAtomW(LPCWSTR Name);
ATOM GlobalFindAtomW(LPCWSTR Name);
ATOM GlobalDeleteAtom(ATOM Atom);
UINT GlobalGetAtomNameW(ATOM Atom, LPWSTR Buffer, int Size);
UINT RegisterWindowMessageW(LPCWSTR Name);

// Windows.
HWND CreateWindowExW(DWORD ExStyle, LPCWSTR ClassName, LPCWSTR WindowName, DWORD Style, int X, int Y,
                     int Width, int Height, HWND Parent, HMENU Menu, HINSTANCE Instance, void* Param);
BOOL DestroyWindow(HWND Wnd);
BOOL IsWindow(HWND Wnd);
BOOL IsWindowVisible(HWND Wnd);
BOOL IsWindowEnabled(HWND Wnd);
BOOL IsWindowUnicode(HWND Wnd);
BOOL IsChild(HWND Parent, HWND Wnd);
BOOL IsIconic(HWND Wnd);
BOOL IsZoomed(HWND Wnd);
BOOL EnableWindow(HWND Wnd, BOOL Enable);
BOOL ShowWindow(HWND Wnd, int Cmd);
BOOL SetWindowPos(HWND Wnd, HWND InsertAfter, int X, int Y, int Cx, int Cy, UINT Flags);
BOOL MoveWindow(HWND Wnd, int X, int Y, int Width, int Height, BOOL Repaint);
BOOL BringWindowToTop(HWND Wnd);
HWND GetParent(HWND Wnd);
HWND SetParent(HWND Wnd, HWND NewParent);
HWND GetAncestor(HWND Wnd, UINT Flags);
HWND GetWindow(HWND Wnd, UINT Cmd);
HWND GetTopWindow(HWND Wnd);
HWND GetDesktopWindow();
HWND FindWindowW(LPCWSTR ClassName, LPCWSTR WindowName);
BOOL EnumChildWindows(HWND Parent, BOOL (*Proc)(HWND, LPARAM), LPARAM Data);
BOOL EnumWindows(BOOL (*Proc)(HWND, LPARAM), LPARAM Data);
BOOL GetWindowRect(HWND Wnd, RECT* Rect);
BOOL GetClientRect(HWND Wnd, RECT* Rect);
BOOL ClientToScreen(HWND Wnd, POINT* Point);
BOOL ScreenToClient(HWND Wnd, POINT* Point);
int MapWindowPoints(HWND From, HWND To, POINT* Points, UINT Count);
HWND WindowFromPoint(POINT Point);
HWND ChildWindowFromPoint(HWND Parent, POINT Point);
BOOL GetWindowPlacement(HWND Wnd, WINDOWPLACEMENT* Placement);
int GetDlgCtrlID(HWND Wnd);
HWND GetDlgItem(HWND Dialog, int Id);
HMENU GetMenu(HWND Wnd);
BOOL SetMenu(HWND Wnd, HMENU Menu);
BOOL DrawMenuBar(HWND Wnd);

LONG_PTR GetWindowLongPtrW(HWND Wnd, int Index);
LONG_PTR SetWindowLongPtrW(HWND Wnd, int Index, LONG_PTR Value);
inline LONG_PTR GetWindowLongW(HWND Wnd, int Index) { return GetWindowLongPtrW(Wnd, Index); }
inline LONG_PTR SetWindowLongW(HWND Wnd, int Index, LONG_PTR Value) { return SetWindowLongPtrW(Wnd, Index, Value); }

int GetWindowTextW(HWND Wnd, LPWSTR Buffer, int MaxCount);
int GetWindowTextLengthW(HWND Wnd);
BOOL SetWindowTextW(HWND Wnd, LPCWSTR Text);
std::u16string GetWindowTextString(HWND Wnd);

// Properties.
BOOL SetPropW(HWND Wnd, LPCWSTR Name, HANDLE Data);
HANDLE GetPropW(HWND Wnd, LPCWSTR Name);
HANDLE RemovePropW(HWND Wnd, LPCWSTR Name);

// Procedures and subclassing. A procedure installed over another through
// GWL_WNDPROC forms a chain; putting back a saved procedure that is no
// longer the current one removes only the link installed over it, and a
// call through the removed link's procedure goes on to the procedure below.
LRESULT CallWindowProcW(WNDPROC Proc, HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
LRESULT DefWindowProcW(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);

// Procedure instances bound to an object: a callable WNDPROC that runs
// Method. After FreeObjectInstance a call through the old value goes to
// DefWindowProcW. Freed values are reused last (a pool of 4096).
using TWndMethod = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
WNDPROC MakeObjectInstance(TWndMethod Method);
void FreeObjectInstance(WNDPROC Instance);

// ---------------------------------------------------------------------------
// Messages and the queue. The queue yields, in this order: messages sent by
// other threads, posted messages, input, WM_QUIT, WM_PAINT, WM_TIMER.
BOOL PostMessageW(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
BOOL PostThreadMessageW(DWORD ThreadId, UINT Msg, WPARAM W, LPARAM L);
void PostQuitMessage(int ExitCode);
BOOL PeekMessageW(MSG* Msg, HWND Wnd, UINT First, UINT Last, UINT Remove);
// -1 when the host can never deliver another message (the Null host with
// nothing pending and no timer).
BOOL GetMessageW(MSG* Msg, HWND Wnd, UINT First, UINT Last);
BOOL TranslateMessage(const MSG* Msg);
LRESULT DispatchMessageW(const MSG* Msg);
BOOL WaitMessage();
DWORD GetQueueStatus(UINT Flags);
BOOL InSendMessage();
DWORD GetMessageTime();
DWORD GetMessagePos();
DWORD GetTickCount();
DWORD GetCurrentThreadId();

// Runs a loop of the layer's own (drags, menus, modal tracking): every
// message goes to the message filter with Code, then, unless the filter
// took it, to Handle, which dispatches it or not and answers whether the
// loop goes on. A WM_QUIT ends the loop and is posted again, so the outer
// loops end too; the answer is then false.
bool RunNestedLoop(int Code, const std::function<bool(MSG&)>& Handle);
// Passes Msg to the message-filter hooks; true when one of them took it.
BOOL CallMsgFilterW(MSG* Msg, int Code);

// Timers.
UINT_PTR SetTimer(HWND Wnd, UINT_PTR Id, UINT Elapse, TIMERPROC Proc);
BOOL KillTimer(HWND Wnd, UINT_PTR Id);

// Hooks (this thread's WH_CBT and WH_MSGFILTER; newest first).
HHOOK SetWindowsHookExW(int Kind, HOOKPROC Proc, HINSTANCE Module, DWORD ThreadId);
BOOL UnhookWindowsHookEx(HHOOK Hook);
LRESULT CallNextHookEx(HHOOK Hook, int Code, WPARAM W, LPARAM L);

// Activation, focus, capture.
HWND GetActiveWindow();
HWND SetActiveWindow(HWND Wnd);
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND Wnd);
HWND GetFocus();
HWND SetFocus(HWND Wnd);
HWND GetCapture();
HWND SetCapture(HWND Wnd);
BOOL ReleaseCapture();

// ---------------------------------------------------------------------------
// Painting. Each top-level window has one 32-bpp framebuffer that it and
// all its descendants paint into; a window DC draws into it from the
// window's (or its client area's) origin, limited to what of the window is
// visible: its rectangle within every ancestor's client area, less its
// children (WS_CLIPCHILDREN) and the siblings above it (WS_CLIPSIBLINGS).
struct PAINTSTRUCT {
    HDC hdc = nullptr;
    BOOL fErase = FALSE;
    RECT rcPaint;
    BOOL fRestore = FALSE;
    BOOL fIncUpdate = FALSE;
};

constexpr DWORD DCX_WINDOW = 0x00000001;
constexpr DWORD DCX_CACHE = 0x00000002;
constexpr DWORD DCX_NORESETATTRS = 0x00000004;
constexpr DWORD DCX_CLIPCHILDREN = 0x00000008;
constexpr DWORD DCX_CLIPSIBLINGS = 0x00000010;
constexpr DWORD DCX_PARENTCLIP = 0x00000020;
constexpr DWORD DCX_EXCLUDERGN = 0x00000040;
constexpr DWORD DCX_INTERSECTRGN = 0x00000080;
constexpr DWORD DCX_LOCKWINDOWUPDATE = 0x00000400;
constexpr DWORD DCX_USESTYLE = 0x00010000;

constexpr UINT RDW_INVALIDATE = 0x0001;
constexpr UINT RDW_INTERNALPAINT = 0x0002;
constexpr UINT RDW_ERASE = 0x0004;
constexpr UINT RDW_VALIDATE = 0x0008;
constexpr UINT RDW_NOINTERNALPAINT = 0x0010;
constexpr UINT RDW_NOERASE = 0x0020;
constexpr UINT RDW_NOCHILDREN = 0x0040;
constexpr UINT RDW_ALLCHILDREN = 0x0080;
constexpr UINT RDW_UPDATENOW = 0x0100;
constexpr UINT RDW_ERASENOW = 0x0200;
constexpr UINT RDW_FRAME = 0x0400;
constexpr UINT RDW_NOFRAME = 0x0800;

// WM_PRINT flags.
constexpr LPARAM PRF_CHECKVISIBLE = 0x0001;
constexpr LPARAM PRF_NONCLIENT = 0x0002;
constexpr LPARAM PRF_CLIENT = 0x0004;
constexpr LPARAM PRF_ERASEBKGND = 0x0008;
constexpr LPARAM PRF_CHILDREN = 0x0010;
constexpr LPARAM PRF_OWNED = 0x0020;

HDC BeginPaint(HWND Wnd, PAINTSTRUCT* Paint);
BOOL EndPaint(HWND Wnd, const PAINTSTRUCT* Paint);
HDC GetDC(HWND Wnd);
HDC GetWindowDC(HWND Wnd);
// Clip is in screen coordinates (as WM_NCPAINT passes it); the value 1
// stands for the whole window.
HDC GetDCEx(HWND Wnd, HRGN Clip, DWORD Flags);
int ReleaseDC(HWND Wnd, HDC Dc);
BOOL InvalidateRect(HWND Wnd, const RECT* Rect, BOOL Erase);
BOOL InvalidateRgn(HWND Wnd, HRGN Region, BOOL Erase);
BOOL ValidateRect(HWND Wnd, const RECT* Rect);
BOOL GetUpdateRect(HWND Wnd, RECT* Rect, BOOL Erase);
BOOL UpdateWindow(HWND Wnd);
BOOL RedrawWindow(HWND Wnd, const RECT* Update, HRGN Region, UINT Flags);
// The framebuffer of a top-level window (null for a child or a dead
// handle), for hosts and tests.
const TBitmap* GetWindowFramebuffer(HWND Wnd);

// A window's shape, in window coordinates: painting and hit testing of the
// window and its descendants keep inside it. The layer takes the region
// (the caller must not use or free it); null gives the rectangle back.
int SetWindowRgn(HWND Wnd, HRGN Region, BOOL Redraw);
// Copies the shape into Region; ERROR when the window has none.
int GetWindowRgn(HWND Wnd, HRGN Region);

// ---------------------------------------------------------------------------
// Dropped files. A drop reaches the deepest window under the pointer with
// WS_EX_ACCEPTFILES, or its nearest such ancestor, as a posted WM_DROPFILES
// whose wParam is the drop. Names are kept whole, in drop order.
using HDROP = struct HDROP__*;
void DragAcceptFiles(HWND Wnd, BOOL Accept);
// Index 0xFFFFFFFF: the count of names. Buffer null: the length of name
// Index. Otherwise copies at most Size - 1 units and a terminating zero and
// returns the units copied.
UINT DragQueryFileW(HDROP Drop, UINT Index, LPWSTR Buffer, UINT Size);
// The drop point in the client coordinates of the receiving window.
BOOL DragQueryPoint(HDROP Drop, POINT* Point);
void DragFinish(HDROP Drop);

// ---------------------------------------------------------------------------
// Fixed answers.
DWORD GetVersion();

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CYVTHUMB = 9;
constexpr int SM_CXHTHUMB = 10;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr int SM_CYKANJIWINDOW = 18;
constexpr int SM_MOUSEPRESENT = 19;
constexpr int SM_CYVSCROLL = 20;
constexpr int SM_CXHSCROLL = 21;
constexpr int SM_DEBUG = 22;
constexpr int SM_SWAPBUTTON = 23;
constexpr int SM_CXMIN = 28;
constexpr int SM_CYMIN = 29;
constexpr int SM_CXSIZE = 30;
constexpr int SM_CYSIZE = 31;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXMINTRACK = 34;
constexpr int SM_CYMINTRACK = 35;
constexpr int SM_CXDOUBLECLK = 36;
constexpr int SM_CYDOUBLECLK = 37;
constexpr int SM_CXICONSPACING = 38;
constexpr int SM_CYICONSPACING = 39;
constexpr int SM_MENUDROPALIGNMENT = 40;
constexpr int SM_DBCSENABLED = 42;
constexpr int SM_CMOUSEBUTTONS = 43;
constexpr int SM_CXFIXEDFRAME = SM_CXDLGFRAME;
constexpr int SM_CYFIXEDFRAME = SM_CYDLGFRAME;
constexpr int SM_CXSIZEFRAME = SM_CXFRAME;
constexpr int SM_CYSIZEFRAME = SM_CYFRAME;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CXMINSPACING = 47;
constexpr int SM_CYMINSPACING = 48;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
constexpr int SM_CYSMCAPTION = 51;
constexpr int SM_CXSMSIZE = 52;
constexpr int SM_CYSMSIZE = 53;
constexpr int SM_CXMENUSIZE = 54;
constexpr int SM_CYMENUSIZE = 55;
constexpr int SM_CXMINIMIZED = 57;
constexpr int SM_CYMINIMIZED = 58;
constexpr int SM_CXMAXTRACK = 59;
constexpr int SM_CYMAXTRACK = 60;
constexpr int SM_CXMAXIMIZED = 61;
constexpr int SM_CYMAXIMIZED = 62;
constexpr int SM_CXDRAG = 68;
constexpr int SM_CYDRAG = 69;
constexpr int SM_CXMENUCHECK = 71;
constexpr int SM_CYMENUCHECK = 72;
constexpr int SM_MOUSEWHEELPRESENT = 75;
constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;
constexpr int SM_CMONITORS = 80;
constexpr int SM_CXPADDEDBORDER = 92;
int GetSystemMetrics(int Index);

constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_HOTLIGHT = 26;
constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr int COLOR_MENUHILIGHT = 29;
constexpr int COLOR_MENUBAR = 30;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;
constexpr int COLOR_3DSHADOW = COLOR_BTNSHADOW;
constexpr int COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT;
COLORREF GetSysColor(int Index);
// The stock brush of a system colour (never to be deleted by the caller).
HBRUSH GetSysColorBrush(int Index);

constexpr UINT SPI_GETNONCLIENTMETRICS = 0x0029;
constexpr UINT SPI_GETWORKAREA = 0x0030;
struct NONCLIENTMETRICSW {
    UINT cbSize = sizeof(NONCLIENTMETRICSW);
    int iBorderWidth = 0;
    int iScrollWidth = 0;
    int iScrollHeight = 0;
    int iCaptionWidth = 0;
    int iCaptionHeight = 0;
    LOGFONTW lfCaptionFont;
    int iSmCaptionWidth = 0;
    int iSmCaptionHeight = 0;
    LOGFONTW lfSmCaptionFont;
    int iMenuWidth = 0;
    int iMenuHeight = 0;
    LOGFONTW lfMenuFont;
    LOGFONTW lfStatusFont;
    LOGFONTW lfMessageFont;
    int iPaddedBorderWidth = 0;
};
BOOL SystemParametersInfoW(UINT Action, UINT UiParam, void* Param, UINT WinIni);

// Mouse tracking and scroll-bar information exist on every system.
constexpr DWORD TME_HOVER = 0x00000001;
constexpr DWORD TME_LEAVE = 0x00000002;
constexpr DWORD TME_NONCLIENT = 0x00000010;
constexpr DWORD TME_CANCEL = 0x80000000;
struct TRACKMOUSEEVENT {
    DWORD cbSize = sizeof(TRACKMOUSEEVENT);
    DWORD dwFlags = 0;
    HWND hwndTrack = nullptr;
    DWORD dwHoverTime = 0;
};
BOOL TrackMouseEvent(TRACKMOUSEEVENT* Event);

// ---------------------------------------------------------------------------
// Non-client geometry the default procedure derives from styles and the
// metrics table, for the skinners and the tests.
struct TFrameMetrics {
    int Border = 0;       // frame thickness on each side
    int Caption = 0;      // caption height (0 without caption)
    int Menu = 0;         // menu strip height
    int ClientEdge = 0;   // extra sunken edge around the client area
    int VScroll = 0;      // vertical scroll-bar width
    int HScroll = 0;      // horizontal scroll-bar height
};
TFrameMetrics FrameMetricsOf(DWORD Style, DWORD ExStyle, bool HasMenu);
// The client rectangle inside a window rectangle for these styles.
RECT ClientRectFromWindowRect(const RECT& Window, DWORD Style, DWORD ExStyle, bool HasMenu);
BOOL AdjustWindowRectEx(RECT* Rect, DWORD Style, BOOL Menu, DWORD ExStyle);

}  // namespace velmo
