// Image lists: images of one size kept side by side, each with an optional
// 1-bit mask, drawn opaque, through the mask, or blended where a 32-bit list
// holds alpha. Handles are never reused, so a destroyed list's handle fails
// every call.
#pragma once

#include "platform/ui/Icons.h"

namespace velmo {

using HIMAGELIST = struct HIMAGELIST__*;

// ImageList_Create flags.
constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR = 0x0000;
constexpr UINT ILC_COLOR4 = 0x0004;
constexpr UINT ILC_COLOR8 = 0x0008;
constexpr UINT ILC_COLOR16 = 0x0010;
constexpr UINT ILC_COLOR24 = 0x0018;
constexpr UINT ILC_COLOR32 = 0x0020;

// Drawing styles.
constexpr UINT ILD_NORMAL = 0x0000;
constexpr UINT ILD_TRANSPARENT = 0x0001;
constexpr UINT ILD_MASK = 0x0010;
constexpr UINT ILD_IMAGE = 0x0020;

constexpr COLORREF CLR_NONE = 0xFFFFFFFF;
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

// A list of Cx × Cy images (each side 1 .. 4096); Initial and Grow only
// reserve room. Null for other sizes.
HIMAGELIST ImageList_Create(int Cx, int Cy, UINT Flags, int Initial, int Grow);
BOOL ImageList_Destroy(HIMAGELIST List);
// Adds the images of Image, cut into Cx-wide pieces from the left (its top
// Cy rows); Mask (1 = transparent, the same size) applies to lists made
// with ILC_MASK. Returns the index of the first new image, -1 on failure.
int ImageList_Add(HIMAGELIST List, HBITMAP Image, HBITMAP Mask);
// As Add, the mask made from the pixels of colour Key, which become black
// in the stored image.
int ImageList_AddMasked(HIMAGELIST List, HBITMAP Image, COLORREF Key);
// Replaces image Index with the icon scaled to the list's size; Index -1
// appends. Returns the index, -1 on failure.
int ImageList_ReplaceIcon(HIMAGELIST List, int Index, HICON Icon);
inline int ImageList_AddIcon(HIMAGELIST List, HICON Icon) { return ImageList_ReplaceIcon(List, -1, Icon); }
int ImageList_GetImageCount(HIMAGELIST List);
BOOL ImageList_GetIconSize(HIMAGELIST List, int* Cx, int* Cy);
// The colour the masked parts of an ILD_NORMAL drawing take; CLR_NONE
// (the default) draws them transparent. Returns the previous colour.
COLORREF ImageList_SetBkColor(HIMAGELIST List, COLORREF Colour);
COLORREF ImageList_GetBkColor(HIMAGELIST List);
// Draws image Index at (X, Y). A list without a mask draws opaque;
// ILD_TRANSPARENT keeps the destination where the mask is set; ILD_NORMAL
// does that too unless the list has a background colour, which then fills
// those pixels; ILD_MASK draws the mask itself (white transparent, black
// opaque). Alpha in 32-bit lists blends instead of the mask.
BOOL ImageList_Draw(HIMAGELIST List, int Index, HDC Dc, int X, int Y, UINT Style);
// As Draw, stretched to Dx × Dy (0: the list's size), with Background in
// place of the list's background colour (CLR_DEFAULT: the list's own).
// The foreground colour is not used.
BOOL ImageList_DrawEx(HIMAGELIST List, int Index, HDC Dc, int X, int Y, int Dx, int Dy,
                      COLORREF Background, COLORREF Foreground, UINT Style);

}  // namespace velmo
