// Memory device contexts and the drawing objects selected into them, with
// pattern, bit and stretch blits under the 256 ternary raster operations.
//
// Handles are opaque values that name a live object of one kind. Every call
// looks the handle up first, so a handle that was never made, was deleted, or
// names an object of another kind gives the call's failure result (0, null or
// CLR_INVALID) instead of touching freed memory. Handle values are never
// reused within a process. All calls may be made from any thread; one
// process-wide lock serialises them.
//
// Colours are COLORREF values $00BBGGRR (red in the low byte).
//
// Blits: each destination pixel becomes ROP3(P, S, D), bit by bit, where P is
// the brush, S the source and D the destination value. On 24- and 32-bit
// targets the operation runs over the colour bytes (and, on 32-bit targets,
// the fourth byte: 0 for the brush and for sources without one); on 1-, 4-
// and 8-bit targets over the palette indices. Colour conversions:
// - into a 1-bit target, a source pixel whose colour equals the source DC's
//   background colour gives 1, any other colour 0; between two 1-bit bitmaps
//   the bits are copied;
// - out of a 1-bit source into any other format, bit 0 becomes the target
//   DC's text colour and bit 1 its background colour;
// - otherwise colours go through RGB; into a palette target, the nearest
//   palette entry (and the brush colour likewise).
// A null brush leaves operations that use the brush undone (they succeed).
//
// Rectangles: x .. x + width − 1; a negative width or height spans
// x + width .. x − 1 instead, and a stretch whose source and destination
// extents differ in sign mirrors the image along that axis. Everything is
// clipped to the destination bitmap, its DC's clip region and the source
// bitmap.
//
// Stretching: destination pixel d of an extent of D pixels takes source
// pixel floor((2d + 1)·S / (2D)) of an extent of S pixels. When shrinking,
// BLACKONWHITE ANDs and WHITEONBLACK ORs the target values of source pixels
// floor(d·S/D) .. floor((d + 1)·S/D) − 1, and HALFTONE averages their
// colours (rounded to nearest); COLORONCOLOR always samples one pixel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/Bitmap.h"

struct pixman_region32;

namespace velmo {

using HBITMAP = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HPEN = HGDIOBJ;
using HRGN = HGDIOBJ;
using HFONT = HGDIOBJ;

using BOOL = int;
using UINT = uint32_t;
using DWORD = uint32_t;
using COLORREF = uint32_t;

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int SYSTEM_FONT = 13;

// Object kinds of GetCurrentObject.
constexpr UINT OBJ_PEN = 1;
constexpr UINT OBJ_BRUSH = 2;
constexpr UINT OBJ_FONT = 6;
constexpr UINT OBJ_BITMAP = 7;
constexpr UINT OBJ_REGION = 8;

// Region types returned by the region and clip calls.
constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

// Region combination modes.
constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;

// Polygon fill modes.
constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;

// Pen styles.
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_DASHDOT = 3;
constexpr int PS_DASHDOTDOT = 4;
constexpr int PS_NULL = 5;
constexpr int PS_INSIDEFRAME = 6;

// Stretch modes.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

// Raster operations: the ternary code in bits 16-23; only those bits count.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGECOPY = 0x00C000CA;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATPAINT = 0x00FB0A09;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

// The ternary code of a raster operation, and the bitwise result of that code
// for brush, source and destination bits (bit index (P?4:0)|(S?2:0)|(D?1:0)
// of the code gives each result bit).
constexpr uint8_t Rop3Code(DWORD Rop) { return uint8_t((Rop >> 16) & 0xFF); }
constexpr uint32_t ApplyRop3(uint8_t Code, uint32_t P, uint32_t S, uint32_t D) {
    uint32_t R = 0;
    for (int I = 0; I < 8; ++I)
        if (Code & (1u << I)) R |= ((I & 4) ? P : ~P) & ((I & 2) ? S : ~S) & ((I & 1) ? D : ~D);
    return R;
}

// Font weights.
constexpr int32_t FW_NORMAL = 400;
constexpr int32_t FW_SEMIBOLD = 600;
constexpr int32_t FW_BOLD = 700;

// The attributes of a logical font. A DC holding a font object only keeps
// these; the font catalogue resolves them to an installed font file when
// font data or outlines are asked for. lfHeight below 0 is the em height in
// pixels; above 0 the cell height, taken as the em height too; 0 a default
// of 16 pixels.
struct LOGFONTW {
    int32_t lfHeight = 0;
    int32_t lfWeight = FW_NORMAL;
    int32_t lfWidth = 0;  // 0: the face's own proportions
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 1;  // DEFAULT_CHARSET
    uint8_t lfQuality = 0;  // DEFAULT_QUALITY
    std::u16string lfFaceName;
};

// A memory DC compatible with Dc (null or a live DC), holding a 1×1 1-bit
// bitmap, the white brush and the black pen; text black, background white,
// stretch mode BLACKONWHITE. Null when Dc is neither.
HDC CreateCompatibleDC(HDC Dc);
// Frees the DC; the objects selected into it stay alive, unselected.
BOOL DeleteDC(HDC Dc);

// Selects a bitmap, brush, pen or font and returns the one it replaces; null on
// failure. A bitmap can be selected into one DC at a time.
HGDIOBJ SelectObject(HDC Dc, HGDIOBJ Object);
// The selected object of kind OBJ_BITMAP, OBJ_BRUSH, OBJ_PEN or OBJ_FONT
// (a DC starts with the stock SYSTEM_FONT, whose face name is empty); null
// on failure.
HGDIOBJ GetCurrentObject(HDC Dc, UINT Kind);

HBRUSH CreateSolidBrush(COLORREF Color);
// A pen of width 0 or 1 draws one-pixel lines (dash styles draw solid);
// wider pens have round caps and joins. PS_NULL draws nothing.
HPEN CreatePen(int Style, int Width, COLORREF Color);
HGDIOBJ GetStockObject(int Index);
// A font object holding a copy of Font (the face name cut to 31 units).
HFONT CreateFontIndirectW(const LOGFONTW& Font);
// Copies a font object's attributes out; false for a handle that names none.
bool GetFontObject(HFONT Font, LOGFONTW& Out);
// Frees a bitmap, brush, pen, font or region. Fails for an object selected into a
// DC, or kept by a SaveDC of one, and for an attached bitmap; stock objects
// are never freed (success).
BOOL DeleteObject(HGDIOBJ Object);

// A bitmap object holding a copy of Bitmap; null when it is empty.
HBITMAP CreateBitmapObject(const TBitmap& Bitmap);
// Copies a bitmap object's pixels out; false for a handle that names none.
bool GetBitmapObject(HBITMAP Bitmap, TBitmap& Out);
// A bitmap object that draws into Bitmap itself rather than into a copy.
// Bitmap must outlive it; DetachBitmapObject frees it, selected or not (a DC
// holding it falls back to its 1×1 default bitmap). The object follows later
// size and format changes of Bitmap.
HBITMAP AttachBitmapObject(TBitmap& Bitmap);
void DetachBitmapObject(HBITMAP Bitmap);

// Setters return the previous value, or CLR_INVALID / 0 on failure.
COLORREF SetTextColor(HDC Dc, COLORREF Color);
COLORREF GetTextColor(HDC Dc);
COLORREF SetBkColor(HDC Dc, COLORREF Color);
COLORREF GetBkColor(HDC Dc);
int SetStretchBltMode(HDC Dc, int Mode);
int GetStretchBltMode(HDC Dc);
// Text alignment of TextOutW / ExtTextOutW (the reference point), kept
// with the DC's other settings so SaveDC and RestoreDC carry it. Both
// return the previous / current alignment, 0xFFFFFFFF for a handle that
// names no DC.
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
UINT SetTextAlign(HDC Dc, UINT Align);
UINT GetTextAlign(HDC Dc);

// Saves text colour, background colour and mode, text alignment, stretch
// mode, polygon fill mode, current position, viewport origin, clip region,
// brush, pen and font; returns
// the new save depth (1 for the first), 0 on failure. RestoreDC(Dc, n)
// restores the state saved at depth n (n > 0) or |n| saves back (n < 0) and
// drops it and every later one.
int SaveDC(HDC Dc);
BOOL RestoreDC(HDC Dc, int Saved);

// Fills a rectangle with an operation that uses no source; fails for one
// that does.
BOOL PatBlt(HDC Dc, int X, int Y, int Width, int Height, DWORD Rop);
// Source may be null when the operation uses no source.
BOOL BitBlt(HDC Dc, int X, int Y, int Width, int Height, HDC Source, int XSrc, int YSrc, DWORD Rop);
BOOL StretchBlt(HDC Dc, int X, int Y, int Width, int Height, HDC Source, int XSrc, int YSrc,
                int WidthSrc, int HeightSrc, DWORD Rop);

// Regions: sets of pixels made of rectangles. Coordinates are cut to
// ±2^27. The calls return the region type of the result (NULLREGION,
// SIMPLEREGION for one rectangle, COMPLEXREGION) or ERROR for a handle that
// names no live region or an unknown mode.
HRGN CreateRectRgn(int Left, int Top, int Right, int Bottom);
// Dest := Src1 op Src2 (Src2 is unused by RGN_COPY). Dest may be a source.
int CombineRgn(HRGN Dest, HRGN Src1, HRGN Src2, int Mode);
int OffsetRgn(HRGN Region, int Dx, int Dy);
int GetRgnBox(HRGN Region, RECT* Box);
BOOL PtInRegion(HRGN Region, int X, int Y);
// The rectangles a region is made of (rows top to bottom); false for a
// handle that names no live region.
bool GetRegionRects(HRGN Region, std::vector<RECT>& Out);

// Clipping. Every drawing call (blits, fills, paths) touches only pixels in
// the clip region and in the bitmap; a DC starts without a clip region.
// SelectClipRgn copies Region (null removes the clip: SIMPLEREGION).
int SelectClipRgn(HDC Dc, HRGN Region);
// Combines Region with the clip region by Mode (RGN_AND, RGN_OR, RGN_XOR,
// RGN_DIFF; a DC without a clip region counts as clipped to its bitmap).
// RGN_COPY copies Region, and with a null Region removes the clip
// (SIMPLEREGION). Returns the type of the new clip, ERROR for a dead handle,
// a null Region with another mode, or an unknown mode.
int ExtSelectClipRgn(HDC Dc, HRGN Region, int Mode);
// Without a clip region, the rectangle is intersected with the bitmap.
int IntersectClipRect(HDC Dc, int Left, int Top, int Right, int Bottom);
// The bounds of the clip region within the bitmap.
int GetClipBox(HDC Dc, RECT* Box);

// Fills Rect (right and bottom excluded) with Brush, through the clip;
// a hollow brush draws nothing and succeeds.
int FillRect(HDC Dc, const RECT* Rect, HBRUSH Brush);

// For drawing layers built on DCs: runs Body with the DC's selected bitmap
// and its clip region (null when the DC has none), under the lock that
// serialises every DC call, so Body must not call back into this layer.
// False (Body not run) for a handle that names no live DC.
bool WithDcTarget(HDC Dc,
                  const std::function<void(TBitmap& Bitmap, const pixman_region32* Clip)>& Body);

// Paths. BeginPath discards any path and opens a new one; while it is open,
// MoveToEx, LineTo and PolyBezierTo add to it instead of drawing. EndPath
// closes the bracket; FillPath, StrokePath, StrokeAndFillPath and
// SelectClipPath then consume the path (they fail without one) and
// AbortPath discards it. Outside a path LineTo draws with the pen and
// PolyBezierTo likewise.
//
// Rasterising: no anti-aliasing; a pixel is inside when its centre
// (x + 0.5, y + 0.5) is, so a fill of 0 .. w covers pixels 0 .. w − 1.
// One-pixel lines leave out the last pixel of an open figure. Fills close
// open figures and use the polygon fill mode. Coordinates are cut to ±2^22.
BOOL BeginPath(HDC Dc);
BOOL EndPath(HDC Dc);
BOOL AbortPath(HDC Dc);
BOOL MoveToEx(HDC Dc, int X, int Y, POINT* Previous);
BOOL LineTo(HDC Dc, int X, int Y);
// Count must be a positive multiple of 3.
BOOL PolyBezierTo(HDC Dc, const POINT* Points, DWORD Count);
BOOL CloseFigure(HDC Dc);
BOOL FillPath(HDC Dc);
BOOL StrokePath(HDC Dc);
BOOL StrokeAndFillPath(HDC Dc);
// Combines the path's filled area with the clip region by Mode.
BOOL SelectClipPath(HDC Dc, int Mode);
// Returns the previous mode, 0 on failure.
int SetPolyFillMode(HDC Dc, int Mode);
int GetPolyFillMode(HDC Dc);

// The viewport origin: where logical (0, 0) lies in device pixels. Saved
// and restored with the DC's state.
BOOL SetViewportOrgEx(HDC Dc, int X, int Y, POINT* Previous);
BOOL GetViewportOrgEx(HDC Dc, POINT* Origin);

// For window DCs over a shared framebuffer: device (0, 0) lies at (X, Y) of
// the selected bitmap, clip regions are given in device pixels, and no call
// touches a pixel outside System (bitmap pixels; null for no such limit).
// The clip selected by the DC's user only narrows it.
BOOL SetDeviceOrigin(HDC Dc, int X, int Y, HRGN System);
BOOL GetDeviceOrigin(HDC Dc, POINT* Origin);

// Recording DCs. A DC given a recorder still draws into its bitmap, and also
// hands each change to the recorder: painted paths with the pen and brush
// they were painted with, pixels changed by blits and rectangle fills (after
// the change), and every change of the clip region. The recorder is called
// under the lock that serialises this layer, so it must not call back into
// it.
struct TDcPathPoint {
    enum TOp : uint8_t { Move, Line, Bezier, Close };
    TOp Op = Move;
    int X = 0, Y = 0;
};

struct TDcPenInfo {
    int Style = PS_SOLID;  // PS_NULL: no stroke
    int Width = 0;
    COLORREF Color = 0;
};

struct TDcBrushInfo {
    bool Hollow = false;
    COLORREF Color = 0;
};

class TDcRecorder {
public:
    virtual ~TDcRecorder() = default;
    // What: 1 fill, 2 stroke, 3 both. FillMode: ALTERNATE or WINDING.
    virtual void PathPainted(const std::vector<TDcPathPoint>& Path, int What, int FillMode,
                             const TDcPenInfo& Pen, const TDcBrushInfo& Brush) = 0;
    // Area (right and bottom excluded, within Bitmap) holds new pixels.
    virtual void PixelsChanged(const TBitmap& Bitmap, const RECT& Area) = 0;
    // The clip region is now Rects (banded, y then x), or none when null.
    virtual void ClipChanged(const std::vector<RECT>* Rects) = 0;
};

// Gives Dc a recorder (null removes it); false for a handle that names no DC.
bool SetDcRecorder(HDC Dc, std::shared_ptr<TDcRecorder> Recorder);
// The recorder of a DC; null when it has none or names no DC.
std::shared_ptr<TDcRecorder> GetDcRecorder(HDC Dc);

// Background modes of text and hatched drawing.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
// Returns the previous mode, 0 on failure. A DC starts OPAQUE.
int SetBkMode(HDC Dc, int Mode);
int GetBkMode(HDC Dc);

// Removes the rectangle from the clip region (a DC without one counts as
// clipped to its bitmap). Returns the new clip's type.
int ExcludeClipRect(HDC Dc, int Left, int Top, int Right, int Bottom);
// Whether any pixel of the rectangle lies inside the clip region and bitmap.
BOOL RectVisible(HDC Dc, const RECT* Rect);

// A region from rectangles (a bounding header followed by the rectangles,
// as the region-data layout has it); null for malformed data, for rectangles
// beyond the Count bytes given, and for a transform (none is supported).
struct RGNDATAHEADER {
    DWORD dwSize = 32;
    DWORD iType = 1;  // RDH_RECTANGLES
    DWORD nCount = 0;
    DWORD nRgnSize = 0;
    RECT rcBound{};
};
HRGN ExtCreateRegion(const void* Transform, DWORD Count, const void* Data);

// MaskBlt: where the 1-bit mask holds 1 the foreground code (bits 16-23 of
// Rop) applies, where it holds 0 the background code (bits 24-31); no mask
// means foreground everywhere. Fails when the mask is not 1-bit or does not
// cover the rectangle from (XMask, YMask).
constexpr DWORD MAKEROP4(DWORD Fore, DWORD Back) { return ((Back << 8) & 0xFF000000u) | Fore; }
BOOL MaskBlt(HDC Dc, int X, int Y, int Width, int Height, HDC Source, int XSrc, int YSrc,
             HBITMAP Mask, int XMask, int YMask, DWORD Rop);

// Bitmap header of GetDIBits and the DIB calls: a negative height means
// rows from the top.
struct BITMAPINFOHEADER {
    DWORD biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    DWORD biCompression = 0;  // BI_RGB
    DWORD biSizeImage = 0;
    int32_t biXPelsPerMeter = 0, biYPelsPerMeter = 0;
    DWORD biClrUsed = 0, biClrImportant = 0;
};
struct RGBQUAD {
    uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};
constexpr UINT DIB_RGB_COLORS = 0;
// Copies rows Start .. Start + Lines − 1 of the bitmap (counted from the
// bottom unless the header's height is negative) into Bits in the header's
// format (1, 4, 8, 24 or 32 bits, BI_RGB; palette depths get the bitmap's
// own colour table at its own depth, else the default table of that depth,
// in bmiColors); with null Bits fills the header only, and a header whose
// bit count is 0 gets the bitmap's size and depth. Returns the rows copied
// (or the height when only the header is asked for), 0 on failure.
int GetDIBits(HDC Dc, HBITMAP Bitmap, UINT Start, UINT Lines, void* Bits, BITMAPINFO* Info,
              UINT Usage);

// Edges and frames drawn in the system colours.
constexpr UINT BDR_RAISEDOUTER = 0x0001;
constexpr UINT BDR_SUNKENOUTER = 0x0002;
constexpr UINT BDR_RAISEDINNER = 0x0004;
constexpr UINT BDR_SUNKENINNER = 0x0008;
constexpr UINT EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr UINT EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr UINT BF_LEFT = 0x0001;
constexpr UINT BF_TOP = 0x0002;
constexpr UINT BF_RIGHT = 0x0004;
constexpr UINT BF_BOTTOM = 0x0008;
constexpr UINT BF_RECT = 0x000F;
constexpr UINT BF_MIDDLE = 0x0800;
constexpr UINT BF_SOFT = 0x1000;
constexpr UINT BF_ADJUST = 0x2000;
constexpr UINT BF_FLAT = 0x4000;
constexpr UINT BF_MONO = 0x8000;
// Draws the edge inside Rect; with BF_ADJUST shrinks Rect by what it drew.
BOOL DrawEdge(HDC Dc, RECT* Rect, UINT Edge, UINT Flags);
// Inverts a dotted one-pixel frame; drawing it twice restores the pixels.
BOOL DrawFocusRect(HDC Dc, const RECT* Rect);
// A frame of one-pixel width in Brush.
int FrameRect(HDC Dc, const RECT* Rect, HBRUSH Brush);
// Inverts the rectangle's pixels.
BOOL InvertRect(HDC Dc, const RECT* Rect);

// The menu check mark: a 1-bit CheckMarkSize-square glyph whose 0 bits are
// the mark, so a blit draws it in the target's text colour.
constexpr int CheckMarkSize = 13;
TBitmap CheckMarkBitmap();

// The system colours the painters use (indices of the system colour table),
// and where the painters read them from: the window layer installs its
// palette; without one the classic defaults hold.
COLORREF GdiSysColor(int Index);
void SetGdiSysColorSource(COLORREF (*Source)(int Index));

}  // namespace velmo
