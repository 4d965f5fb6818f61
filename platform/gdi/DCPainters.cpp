// Placeholder painters: answer without drawing, until the real ones land.
#include "platform/gdi/DC.h"

namespace velmo {

int SetBkMode(HDC, int) { return OPAQUE; }
int GetBkMode(HDC) { return OPAQUE; }
int ExcludeClipRect(HDC, int, int, int, int) { return SIMPLEREGION; }
BOOL RectVisible(HDC, const RECT*) { return 1; }
HRGN ExtCreateRegion(const void*, DWORD, const void*) { return nullptr; }
BOOL MaskBlt(HDC, int, int, int, int, HDC, int, int, HBITMAP, int, int, DWORD) { return 0; }
int GetDIBits(HDC, HBITMAP, UINT, UINT, void*, BITMAPINFO*, UINT) { return 0; }
BOOL DrawEdge(HDC, RECT*, UINT, UINT) { return 1; }
BOOL DrawFocusRect(HDC, const RECT*) { return 1; }
int FrameRect(HDC, const RECT*, HBRUSH) { return 1; }
BOOL InvertRect(HDC, const RECT*) { return 1; }

namespace {
COLORREF (*SysColorSource)(int) = nullptr;
}
COLORREF GdiSysColor(int Index) {
    if (SysColorSource) return SysColorSource(Index);
    return 0xC8D0D4;
}
void SetGdiSysColorSource(COLORREF (*Source)(int)) { SysColorSource = Source; }

}  // namespace velmo
