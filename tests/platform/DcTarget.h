// A memory DC over a bitmap of its own, filled with one colour, for tests
// that draw and read pixels back.
#pragma once

#include "platform/gdi/DC.h"

namespace velmo {

struct TTarget {
    TBitmap Pixels;
    HDC Dc = nullptr;
    HBITMAP Object = nullptr;
    HGDIOBJ Old = nullptr;
    explicit TTarget(int W, int H, TPixelFormat F = pf24bit, COLORREF Fill = 0xFF00FF) : Pixels(W, H, F) {
        Dc = CreateCompatibleDC(nullptr);
        Object = AttachBitmapObject(Pixels);
        Old = SelectObject(Dc, Object);
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) Pixels.SetPixel(X, Y, TColor(Fill));
    }
    ~TTarget() {
        SelectObject(Dc, Old);
        DeleteDC(Dc);
        DetachBitmapObject(Object);
    }
    TTarget(const TTarget&) = delete;
    TTarget& operator=(const TTarget&) = delete;
    COLORREF At(int X, int Y) const { return COLORREF(Pixels.GetPixel(X, Y)); }
};

}  // namespace velmo
