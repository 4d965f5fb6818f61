#include "platform/gdi/Canvas.h"

#include "platform/gdi/Bitmap.h"
#include "platform/gdi/DC.h"

namespace velmo {

namespace {

bool SamePen(const TPen& A, const TPen& B) {
    return A.Color == B.Color && A.Width == B.Width && A.Style == B.Style;
}
bool SameBrush(const TBrush& A, const TBrush& B) {
    return A.Color == B.Color && A.Style == B.Style;
}

// COLORREF of a colour; a system colour (negative, its index in the low
// byte) draws as the system palette has it.
COLORREF RefOf(TColor C) { return C < 0 ? GdiSysColor(C & 0xFF) & 0xFFFFFF : COLORREF(C) & 0xFFFFFF; }

}  // namespace

TCanvas::~TCanvas() {
    if (FForeignDc) {
        SetHandle(nullptr);
        return;
    }
    if (!FDc) return;
    SelectObject(FDc, FDefaultPen);
    SelectObject(FDc, FDefaultBrush);
    SelectObject(FDc, FDefaultBitmap);
    DeleteDC(FDc);
    if (FPenObject) DeleteObject(FPenObject);
    if (FBrushObject) DeleteObject(FBrushObject);
}

void TCanvas::SetHandle(HDC Dc) {
    if (FDc && FForeignDc) {
        SelectObject(FDc, FDefaultPen);
        SelectObject(FDc, FDefaultBrush);
    } else if (FDc) {
        SelectObject(FDc, FDefaultPen);
        SelectObject(FDc, FDefaultBrush);
        SelectObject(FDc, FDefaultBitmap);
        DeleteDC(FDc);
    }
    if (FPenObject) DeleteObject(FPenObject);
    if (FBrushObject) DeleteObject(FBrushObject);
    FPenObject = FBrushObject = nullptr;
    FDc = Dc;
    FForeignDc = Dc != nullptr;
    if (Dc) {
        FDefaultPen = GetCurrentObject(Dc, OBJ_PEN);
        FDefaultBrush = GetCurrentObject(Dc, OBJ_BRUSH);
        FDefaultBitmap = nullptr;
    }
}

HDC TCanvas::Handle() {
    if (!FDc) {
        FDc = CreateCompatibleDC(nullptr);
        if (!FDc) return nullptr;
        FDefaultPen = GetCurrentObject(FDc, OBJ_PEN);
        FDefaultBrush = GetCurrentObject(FDc, OBJ_BRUSH);
        FDefaultBitmap = GetCurrentObject(FDc, OBJ_BITMAP);
        if (FBitmap) SelectObject(FDc, FBitmap->Handle());
    }
    if (!FPenObject || !SamePen(FPen, FRealisedPen)) {
        HGDIOBJ New =
            CreatePen(FPen.Style == psClear ? PS_NULL : PS_SOLID, FPen.Width, RefOf(FPen.Color));
        SelectObject(FDc, New);
        if (FPenObject) DeleteObject(FPenObject);
        FPenObject = New;
        FRealisedPen = FPen;
    }
    if (!FBrushObject || !SameBrush(FBrush, FRealisedBrush)) {
        // A clear brush is the stock hollow brush; the made one stays unused.
        HGDIOBJ New = CreateSolidBrush(RefOf(FBrush.Color));
        SelectObject(FDc, FBrush.Style == bsClear ? GetStockObject(NULL_BRUSH) : New);
        if (FBrushObject) DeleteObject(FBrushObject);
        FBrushObject = New;
        FRealisedBrush = FBrush;
    }
    return FDc;
}

void TCanvas::FillRect(const RECT& Rect) {
    HDC Dc = Handle();
    if (!Dc) return;
    velmo::FillRect(Dc, &Rect, GetCurrentObject(Dc, OBJ_BRUSH));
}

void TCanvas::CopyRect(const RECT& Dest, TCanvas& Source, const RECT& Src) {
    HDC Dc = Handle();
    HDC SrcDc = &Source == this ? Dc : Source.Handle();
    if (!Dc || !SrcDc) return;
    StretchBlt(Dc, Dest.left, Dest.top, Dest.right - Dest.left, Dest.bottom - Dest.top, SrcDc,
               Src.left, Src.top, Src.right - Src.left, Src.bottom - Src.top, SRCCOPY);
}

}  // namespace velmo
