// Menus: menu objects and their items, the menu-bar strip of a window's
// frame, the per-window system menu, and the popup tracking loop.
//
// A shown popup is a top-level window of the class "#32768" (WS_POPUP, no
// WS_CHILD), created while the creation hook runs like any other window; it
// paints its frame in WM_NCPAINT, its items in WM_PAINT and answers
// WM_PRINT, so a subclass can paint over any of them. The tracking loop
// passes every message it takes to the message filter with MSGF_MENU
// before handling it; it notifies the owner window with WM_ENTERMENULOOP,
// WM_INITMENU, WM_INITMENUPOPUP, WM_MEASUREITEM (owner-drawn items, before
// the first WM_DRAWITEM), WM_MENUSELECT and WM_EXITMENULOOP, and posts the
// chosen item as WM_COMMAND (WM_SYSCOMMAND for a system menu). One menu is
// tracked at a time.
//
// Menus belong to the user-interface thread, like windows. Menu handles are
// never reused, so a kept handle of a destroyed menu only makes calls fail;
// a submenu that would contain its own parent is refused.
#pragma once

#include <string_view>

#include "platform/ui/OwnerDraw.h"
#include "platform/ui/Window.h"

namespace velmo {

constexpr DWORD ERROR_INVALID_MENU_HANDLE = 1401;

// AppendMenuW / InsertMenuW / EnableMenuItem / CheckMenuItem / GetMenuState flags.
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_BITMAP = 0x0004;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_MENUBARBREAK = 0x0020;
constexpr UINT MF_MENUBREAK = 0x0040;
constexpr UINT MF_HILITE = 0x0080;
constexpr UINT MF_OWNERDRAW = 0x0100;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_DEFAULT = 0x1000;
constexpr UINT MF_SYSMENU = 0x2000;
constexpr UINT MF_RIGHTJUSTIFY = 0x4000;
constexpr UINT MF_MOUSESELECT = 0x8000;

// Item types (MENUITEMINFOW::fType).
constexpr UINT MFT_STRING = 0x0000;
constexpr UINT MFT_BITMAP = 0x0004;
constexpr UINT MFT_MENUBARBREAK = 0x0020;
constexpr UINT MFT_MENUBREAK = 0x0040;
constexpr UINT MFT_OWNERDRAW = 0x0100;
constexpr UINT MFT_RADIOCHECK = 0x0200;
constexpr UINT MFT_SEPARATOR = 0x0800;
constexpr UINT MFT_RIGHTORDER = 0x2000;
constexpr UINT MFT_RIGHTJUSTIFY = 0x4000;

// Item states (MENUITEMINFOW::fState). A greyed item has both low bits.
constexpr UINT MFS_ENABLED = 0x0000;
constexpr UINT MFS_UNCHECKED = 0x0000;
constexpr UINT MFS_UNHILITE = 0x0000;
constexpr UINT MFS_GRAYED = 0x0003;
constexpr UINT MFS_DISABLED = 0x0003;
constexpr UINT MFS_CHECKED = 0x0008;
constexpr UINT MFS_HILITE = 0x0080;
constexpr UINT MFS_DEFAULT = 0x1000;

// MENUITEMINFOW::fMask.
constexpr UINT MIIM_STATE = 0x0001;
constexpr UINT MIIM_ID = 0x0002;
constexpr UINT MIIM_SUBMENU = 0x0004;
constexpr UINT MIIM_CHECKMARKS = 0x0008;
constexpr UINT MIIM_TYPE = 0x0010;
constexpr UINT MIIM_DATA = 0x0020;
constexpr UINT MIIM_STRING = 0x0040;
constexpr UINT MIIM_BITMAP = 0x0080;
constexpr UINT MIIM_FTYPE = 0x0100;

struct MENUITEMINFOW {
    UINT cbSize = sizeof(MENUITEMINFOW);
    UINT fMask = 0;
    UINT fType = 0;
    UINT fState = 0;
    UINT wID = 0;
    HMENU hSubMenu = nullptr;
    HBITMAP hbmpChecked = nullptr;
    HBITMAP hbmpUnchecked = nullptr;
    ULONG_PTR dwItemData = 0;
    LPWSTR dwTypeData = nullptr;  // text in and out; null on reading asks for the length
    UINT cch = 0;                 // reading: the buffer's size in, the text's length out
    HBITMAP hbmpItem = nullptr;
};

// TrackPopupMenu(Ex) flags.
constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_TOPALIGN = 0x0000;
constexpr UINT TPM_VCENTERALIGN = 0x0010;
constexpr UINT TPM_BOTTOMALIGN = 0x0020;
constexpr UINT TPM_HORIZONTAL = 0x0000;
constexpr UINT TPM_VERTICAL = 0x0040;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

struct TPMPARAMS {
    UINT cbSize = sizeof(TPMPARAMS);
    RECT rcExclude;  // screen rectangle the menu keeps clear of
};

HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys the menu and, recursively, its submenus.
BOOL DestroyMenu(HMENU Menu);
BOOL IsMenu(HMENU Menu);

// NewItem is the text (MF_STRING), the bitmap (MF_BITMAP) or the item data
// (MF_OWNERDRAW); IdOrSub is the submenu's handle with MF_POPUP.
BOOL AppendMenuW(HMENU Menu, UINT Flags, UINT_PTR IdOrSub, LPCWSTR NewItem);
BOOL InsertMenuW(HMENU Menu, UINT Position, UINT Flags, UINT_PTR IdOrSub, LPCWSTR NewItem);
// Item: a command (searched through submenus too) or, with ByPosition, a
// position; inserting at a position past the end appends.
BOOL InsertMenuItemW(HMENU Menu, UINT Item, BOOL ByPosition, const MENUITEMINFOW* Info);
BOOL SetMenuItemInfoW(HMENU Menu, UINT Item, BOOL ByPosition, const MENUITEMINFOW* Info);
BOOL GetMenuItemInfoW(HMENU Menu, UINT Item, BOOL ByPosition, MENUITEMINFOW* Info);
// RemoveMenu keeps an item's submenu alive; DeleteMenu destroys it.
BOOL RemoveMenu(HMENU Menu, UINT Position, UINT Flags);
BOOL DeleteMenu(HMENU Menu, UINT Position, UINT Flags);

int GetMenuItemCount(HMENU Menu);  // -1 for a dead handle
// The command of the item at Pos; 0xFFFFFFFF for a submenu item or none.
UINT GetMenuItemID(HMENU Menu, int Pos);
HMENU GetSubMenu(HMENU Menu, int Pos);
// The item's type and state flags (with the submenu's item count in the
// high byte for a submenu item); 0xFFFFFFFF when there is no such item.
UINT GetMenuState(HMENU Menu, UINT Item, UINT Flags);
// Copies at most Max − 1 units of the item's text and a terminating 0 and
// returns the units copied; with a null buffer returns the text's length.
int GetMenuStringW(HMENU Menu, UINT Item, LPWSTR Buffer, int Max, UINT Flags);
// Return the previous check or enable state; −1 (0xFFFFFFFF) without the item.
DWORD CheckMenuItem(HMENU Menu, UINT Item, UINT Check);
BOOL EnableMenuItem(HMENU Menu, UINT Item, UINT Enable);

// The item's rectangle in screen coordinates: for a window's menu bar as
// laid out now, for a popup as last shown (FALSE if it never was).
BOOL GetMenuItemRect(HWND Wnd, HMENU Menu, UINT Item, RECT* Rect);
// The position of the item at a screen point, −1 when none.
int MenuItemFromPoint(HWND Wnd, HMENU Menu, POINT Screen);

// The window's own copy of the system menu (Restore, Move, Size, Minimize,
// Maximize, a separator, Close), its items enabled by the window's state
// and styles; null for a window without WS_SYSMENU. Revert puts the
// standard menu back and returns null.
HMENU GetSystemMenu(HWND Wnd, BOOL Revert);

// Shows the popup at the screen point and runs the tracking loop until an
// item is chosen or the menu is dismissed. With TPM_RETURNCMD the result is
// the chosen command (0 for none) and nothing is posted; otherwise TRUE,
// the command posted to Owner. TPM_NONOTIFY leaves out WM_ENTERMENULOOP,
// WM_EXITMENULOOP, WM_INITMENU and WM_INITMENUPOPUP.
BOOL TrackPopupMenuEx(HMENU Menu, UINT Flags, int X, int Y, HWND Owner, const TPMPARAMS* Params);
BOOL TrackPopupMenu(HMENU Menu, UINT Flags, int X, int Y, int Reserved, HWND Owner, const RECT* Unused);
// Dismisses the menu being tracked, if any.
BOOL EndMenu();

// The character a caption marks with a single "&" ("&&" is a plain "&"),
// folded to lower case; 0 for none. Menus and dialogs match keys with it.
char16_t MnemonicOf(std::u16string_view Caption);
char16_t FoldMnemonic(char16_t C);

}  // namespace velmo
