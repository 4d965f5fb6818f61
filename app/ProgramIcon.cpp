// The program's icon, drawn here rather than shipped as a file: a white
// sheet with a folded corner, a red band across its top and a small
// landscape picture below, on a transparent ground.
#include "app/MainWindow.h"

#include "platform/gdi/Bitmap.h"
#include "platform/gdi/DC.h"
#include "platform/ui/Icons.h"

namespace velmo::app {

namespace {

constexpr int IconSize = 32;

// Colours as $00BBGGRR.
constexpr TColor Outline = 0x404040;
constexpr TColor Sheet = 0xFFFFFF;
constexpr TColor Fold = 0xC8C8C8;
constexpr TColor Band = 0x2020C8;
constexpr TColor Sky = 0xF0C060;
constexpr TColor Hill = 0x3C9C3C;
constexpr TColor Sun = 0x30D0F0;

// The sheet covers columns 5..26 and rows 2..29; its top-right corner is
// folded along the diagonal 7 pixels from the corner.
constexpr int SheetLeft = 5, SheetRight = 26, SheetTop = 2, SheetBottom = 29, FoldSize = 7;

bool OnSheet(int X, int Y) {
    if (X < SheetLeft || X > SheetRight || Y < SheetTop || Y > SheetBottom) return false;
    // Cut corner: beyond the fold's diagonal.
    return (SheetRight - X) + (Y - SheetTop) >= FoldSize;
}

TColor SheetPixel(int X, int Y) {
    const bool Edge = X == SheetLeft || X == SheetRight || Y == SheetTop || Y == SheetBottom ||
                      (SheetRight - X) + (Y - SheetTop) == FoldSize;
    if (Edge) return Outline;
    // The folded flap: the triangle under the diagonal inside the corner.
    if (X > SheetRight - FoldSize && Y < SheetTop + FoldSize) return Fold;
    if (Y >= 11 && Y <= 14 && X > SheetLeft + 1 && X < SheetRight - 1) return Band;
    if (Y >= 17 && Y <= 26 && X >= 8 && X <= 23) {
        const int Dx = X - 19, Dy = Y - 19;
        if (Dx * Dx + Dy * Dy <= 4) return Sun;
        // A hill rising from the bottom left.
        if (Y >= 26 - (X - 8) / 2 - (X < 16 ? 0 : (23 - X) / 3)) return Hill;
        return Sky;
    }
    return Sheet;
}

}  // namespace

HICON MakeProgramIcon() {
    TBitmap Colour(IconSize, IconSize, pf24bit), Mask(IconSize, IconSize, pf1bit);
    for (int Y = 0; Y < IconSize; ++Y)
        for (int X = 0; X < IconSize; ++X) {
            // Mask bit 1: the ground shows through.
            if (OnSheet(X, Y)) {
                Colour.SetPixel(X, Y, SheetPixel(X, Y));
                Mask.SetPixel(X, Y, 0x000000);
            } else {
                Colour.SetPixel(X, Y, 0x000000);
                Mask.SetPixel(X, Y, 0xFFFFFF);
            }
        }
    ICONINFO Info;
    Info.hbmColor = CreateBitmapObject(Colour);
    Info.hbmMask = CreateBitmapObject(Mask);
    HICON Icon = CreateIconIndirect(&Info);
    DeleteObject(Info.hbmColor);
    DeleteObject(Info.hbmMask);
    return Icon;
}

}  // namespace velmo::app
