// Icons: a colour image with a 1-bit mask, drawn through the mask or, for
// 32-bit images that carry alpha, blended. Handles are never reused, so a
// destroyed icon's handle fails every call. Also the system bitmaps the
// layer supplies (the menu check mark).
#pragma once

#include <functional>

#include "platform/gdi/Bitmap.h"
#include "platform/gdi/DC.h"
#include "platform/ui/Window.h"

namespace velmo {

struct ICONINFO {
    BOOL fIcon = TRUE;
    DWORD xHotspot = 0;
    DWORD yHotspot = 0;
    // 1 bits keep the destination. With no colour bitmap the mask is twice
    // the icon's height: the AND mask on top, the XOR image below.
    HBITMAP hbmMask = nullptr;
    HBITMAP hbmColor = nullptr;
};

// A new icon holding copies of the bitmaps; null without a mask, or when
// the colour bitmap and mask differ in size.
HICON CreateIconIndirect(const ICONINFO* Info);
// Fills Out with new bitmaps (the caller deletes them): a 32-bit colour
// bitmap and the 1-bit mask of the icon's size.
BOOL GetIconInfo(HICON Icon, ICONINFO* Out);
BOOL DestroyIcon(HICON Icon);

// DrawIconEx flags.
constexpr UINT DI_MASK = 0x0001;
constexpr UINT DI_IMAGE = 0x0002;
constexpr UINT DI_NORMAL = 0x0003;
constexpr UINT DI_COMPAT = 0x0004;
constexpr UINT DI_DEFAULTSIZE = 0x0008;
// Draws the icon stretched to Cx × Cy (0: its own size, or the system icon
// size with DI_DEFAULTSIZE). DI_NORMAL: the mask ANDed, then the image
// XORed, or the image blended where it carries alpha; DI_MASK or DI_IMAGE
// alone: that step only (the image copied). A FlickerFree brush fills the
// rectangle first.
BOOL DrawIconEx(HDC Dc, int X, int Y, HICON Icon, int Cx, int Cy, UINT Step, HBRUSH FlickerFree,
                UINT Flags);

constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_COPYDELETEORG = 0x0008;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
constexpr UINT LR_COPYFROMRESOURCE = 0x4000;
// A new icon scaled to Cx × Cy (0: the original size, or the system icon
// size with LR_DEFAULTSIZE); LR_COPYDELETEORG destroys the original. Only
// IMAGE_ICON is copied; null otherwise.
HANDLE CopyImage(HANDLE Image, UINT Type, int Cx, int Cy, UINT Flags);

// System bitmaps by number.
constexpr WORD OBM_CHECK = 32760;
inline LPCWSTR MAKEINTRESOURCEW(WORD Id) { return reinterpret_cast<LPCWSTR>(uintptr_t(Id)); }
// The layer has no resources of its own: a null Instance gives the system
// bitmaps (a new bitmap object the caller deletes), anything else null.
HBITMAP LoadBitmapW(HINSTANCE Instance, LPCWSTR Name);

// The predefined icons, by number.
constexpr int IDI_APPLICATION = 32512;
constexpr int IDI_HAND = 32513;
constexpr int IDI_QUESTION = 32514;
constexpr int IDI_EXCLAMATION = 32515;
constexpr int IDI_ASTERISK = 32516;
// A null Instance gives the predefined icon of that number, at the system
// icon size; shared, so DestroyIcon leaves it alive. Null otherwise.
HICON LoadIconW(HINSTANCE Instance, LPCWSTR Name);

// For the layer's image painters: draws Colour (32-bit; fourth byte alpha
// when Alpha is set) and Mask (1-bit, 1 = transparent; null for none), both
// stretched to Cx × Cy, at logical (X, Y) of Dc through its clip. Each
// pixel becomes Combine(destination, image colour, alpha, transparent).
using TPixelCombine = std::function<COLORREF(COLORREF Dst, COLORREF Src, uint8_t Alpha, bool Transparent)>;
bool PaintImage(HDC Dc, int X, int Y, int Cx, int Cy, const TBitmap& Colour, const TBitmap* Mask,
                const TPixelCombine& Combine);
// Src over Dst at Alpha (0..255), each channel rounded.
COLORREF BlendColour(COLORREF Dst, COLORREF Src, uint8_t Alpha);
// The images of a live icon; false for a dead handle.
bool GetIconImages(HICON Icon, TBitmap& Colour, TBitmap& Mask, bool& Alpha);

}  // namespace velmo
