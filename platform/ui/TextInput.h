// Text input beyond key strokes: the caret, whose rectangle the input
// method's candidate list follows; the input-method context with the text
// being composed and the committed result; and the clipboard's text,
// kept by the host so other programs see it.
#pragma once

#include "platform/ui/Window.h"

namespace velmo {

// The caret of the focus window: its place decides where the input method
// opens. It is not drawn by the layer.
BOOL CreateCaret(HWND Wnd, HBITMAP Shape, int Width, int Height);
BOOL DestroyCaret();
BOOL SetCaretPos(int X, int Y);
BOOL GetCaretPos(POINT* Point);

// Input-method context of a window.
using HIMC = struct HIMC__*;
constexpr DWORD GCS_COMPSTR = 0x0008;
constexpr DWORD GCS_CURSORPOS = 0x0080;
constexpr DWORD GCS_RESULTSTR = 0x0800;
constexpr LONG IMM_ERROR_NODATA = -1;
constexpr LONG IMM_ERROR_GENERAL = -2;
constexpr DWORD CFS_DEFAULT = 0x0000;
constexpr DWORD CFS_RECT = 0x0001;
constexpr DWORD CFS_POINT = 0x0002;
constexpr DWORD CFS_FORCE_POSITION = 0x0020;

struct COMPOSITIONFORM {
    DWORD dwStyle = 0;
    POINT ptCurrentPos;
    RECT rcArea;
};

HIMC ImmGetContext(HWND Wnd);
BOOL ImmReleaseContext(HWND Wnd, HIMC Context);
// Bytes copied (or needed, when Size is 0) of the composed or committed
// text; the caret position for GCS_CURSORPOS.
LONG ImmGetCompositionStringW(HIMC Context, DWORD Index, void* Buffer, DWORD Size);
// Client coordinates of the context's window.
BOOL ImmSetCompositionWindow(HIMC Context, const COMPOSITIONFORM* Form);

// Movable memory blocks, which the clipboard trades in.
using HGLOBAL = HANDLE;
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
HGLOBAL GlobalAlloc(UINT Flags, size_t Bytes);
void* GlobalLock(HGLOBAL Mem);
BOOL GlobalUnlock(HGLOBAL Mem);
size_t GlobalSize(HGLOBAL Mem);
HGLOBAL GlobalFree(HGLOBAL Mem);

// The clipboard holds text only.
constexpr UINT CF_TEXT = 1;
constexpr UINT CF_UNICODETEXT = 13;
BOOL OpenClipboard(HWND Owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
// Takes the block; text stops at its first null unit or the block's end.
HANDLE SetClipboardData(UINT Format, HANDLE Mem);
// A block owned by the clipboard, valid until it is next emptied or closed.
HANDLE GetClipboardData(UINT Format);
BOOL IsClipboardFormatAvailable(UINT Format);

}  // namespace velmo
