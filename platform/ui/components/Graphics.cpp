#include "platform/ui/components/Graphics.h"

#include <algorithm>
#include <cmath>

#include "platform/fonts/DCText.h"
#include "platform/ui/Icons.h"

namespace velmo::vcl {

COLORREF ColorToRGB(TColor Color) {
    if (Color < 0) return GetSysColor(Color & 0xFF) & 0xFFFFFF;
    return COLORREF(Color) & 0xFFFFFF;
}

// --- TFont -------------------------------------------------------------------------

TFont::TFont() = default;

TFont::~TFont() {
    if (FHandle) DeleteObject(FHandle);
}

void TFont::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        IntProp<TFont, int>("Charset", &TFont::Charset, &TFont::SetCharset),
        IntProp<TFont, TColor>("Color", &TFont::Color, &TFont::SetColor),
        IntProp<TFont, int>("Height", &TFont::Height, &TFont::SetHeight),
        StrProp<TFont>("Name", &TFont::Name, &TFont::SetName),
        IntProp<TFont, int>("Size", &TFont::Size, &TFont::SetSize),
    };
    TPersistent::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TFont::Assign(const TFont& S) {
    if (&S == this) return;
    FName = S.FName;
    FHeight = S.FHeight;
    FColor = S.FColor;
    FStyle = S.FStyle;
    FCharset = S.FCharset;
    Changed();
}

void TFont::Changed() {
    if (FHandle) {
        DeleteObject(FHandle);
        FHandle = nullptr;
    }
    if (OnChange) OnChange(this);
}

void TFont::SetName(const std::u16string& V) {
    if (V.empty() || V == FName) return;
    FName = V;
    Changed();
}
void TFont::SetHeight(int V) {
    if (V == FHeight) return;
    FHeight = V;
    Changed();
}
int TFont::Size() const { return int(std::lround(-FHeight * 72.0 / 96.0)); }
void TFont::SetSize(int V) { SetHeight(-int(std::lround(V * 96.0 / 72.0))); }
void TFont::SetColor(TColor V) {
    if (V == FColor) return;
    FColor = V;
    if (OnChange) OnChange(this);
}
void TFont::SetStyle(TFontStyles V) {
    if (V == FStyle) return;
    FStyle = V;
    Changed();
}
void TFont::SetCharset(int V) {
    if (V == FCharset) return;
    FCharset = V;
    Changed();
}

HFONT TFont::Handle() {
    if (!FHandle) {
        LOGFONTW L;
        L.lfHeight = FHeight;
        L.lfWeight = (FStyle & fsBold) ? FW_BOLD : FW_NORMAL;
        L.lfItalic = (FStyle & fsItalic) ? 1 : 0;
        L.lfUnderline = (FStyle & fsUnderline) ? 1 : 0;
        L.lfStrikeOut = (FStyle & fsStrikeOut) ? 1 : 0;
        L.lfCharSet = uint8_t(FCharset);
        L.lfFaceName = FName;
        FHandle = CreateFontIndirectW(L);
    }
    return FHandle;
}

// --- TCanvas -----------------------------------------------------------------------

TCanvas::TCanvas() = default;

TCanvas::~TCanvas() { SetHandle(nullptr); }

void TCanvas::SetHandle(HDC Dc) {
    if (FOldFont) {
        if (HDC Cur = Handle()) SelectObject(Cur, FOldFont);
        FOldFont = nullptr;
    }
    velmo::TCanvas::SetHandle(Dc);
}

HDC TCanvas::TextHandle() {
    HDC Dc = Handle();
    if (!Dc) return nullptr;
    HGDIOBJ Old = SelectObject(Dc, FFont.Handle());
    if (!FOldFont) FOldFont = Old;
    SetTextColor(Dc, ColorToRGB(FFont.Color()));
    if (Brush().Style == bsClear) {
        SetBkMode(Dc, TRANSPARENT);
    } else {
        SetBkMode(Dc, OPAQUE);
        SetBkColor(Dc, ColorToRGB(Brush().Color));
    }
    return Dc;
}

void TCanvas::TextOut(int X, int Y, const std::u16string& Text) {
    HDC Dc = TextHandle();
    if (Dc) ExtTextOutW(Dc, X, Y, 0, nullptr, Text.data(), UINT(Text.size()), nullptr);
}

void TCanvas::TextRect(const RECT& Rect, int X, int Y, const std::u16string& Text) {
    HDC Dc = TextHandle();
    if (!Dc) return;
    UINT Options = ETO_CLIPPED;
    if (Brush().Style != bsClear) Options |= ETO_OPAQUE;
    ExtTextOutW(Dc, X, Y, Options, &Rect, Text.data(), UINT(Text.size()), nullptr);
}

SIZE TCanvas::TextExtent(const std::u16string& Text) {
    SIZE S;
    HDC Dc = TextHandle();
    if (Dc) GetTextExtentPoint32W(Dc, Text.data(), int(Text.size()), &S);
    return S;
}

void TCanvas::FrameRect(const RECT& Rect) {
    HDC Dc = Handle();
    if (!Dc) return;
    HBRUSH B = CreateSolidBrush(ColorToRGB(Brush().Color));
    velmo::FrameRect(Dc, &Rect, B);
    DeleteObject(B);
}

void TCanvas::MoveTo(int X, int Y) {
    if (HDC Dc = Handle()) MoveToEx(Dc, X, Y, nullptr);
}

void TCanvas::LineTo(int X, int Y) {
    HDC Dc = Handle();
    if (!Dc) return;
    BeginPath(Dc);
    POINT P;
    velmo::LineTo(Dc, X, Y);
    EndPath(Dc);
    StrokePath(Dc);
    MoveToEx(Dc, X, Y, &P);
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
    HDC Dc = Handle();
    if (!Dc) return;
    RECT R{X1, Y1, X2, Y2};
    if (Brush().Style != bsClear) FillRect(R);
    if (Pen().Style != psClear) {
        HBRUSH B = CreateSolidBrush(ColorToRGB(Pen().Color));
        velmo::FrameRect(Dc, &R, B);
        DeleteObject(B);
    }
}

void TCanvas::Draw(int X, int Y, velmo::TBitmap& Bitmap) {
    HDC Dc = Handle();
    if (!Dc || Bitmap.Empty()) return;
    HDC Src = Bitmap.Canvas().Handle();
    if (Src) BitBlt(Dc, X, Y, Bitmap.Width(), Bitmap.Height(), Src, 0, 0, SRCCOPY);
}

// --- TIcon ---------------------------------------------------------------------------

TIcon::~TIcon() {
    if (FHandle) DestroyIcon(FHandle);
}

void TIcon::SetHandle(HICON Icon) {
    if (FHandle && FHandle != Icon) DestroyIcon(FHandle);
    FHandle = Icon;
}

HICON TIcon::ReleaseHandle() {
    HICON H = FHandle;
    FHandle = nullptr;
    return H;
}

// --- TImageList ----------------------------------------------------------------------

TImageList::~TImageList() {
    if (FHandle) ImageList_Destroy(FHandle);
}

void TImageList::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        IntProp<TImageList, int>("Height", &TImageList::Height, &TImageList::SetHeight),
        IntProp<TImageList, int>("Width", &TImageList::Width, &TImageList::SetWidth),
    };
    TComponent::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

HIMAGELIST TImageList::Handle() {
    if (!FHandle) FHandle = ImageList_Create(FWidth, FHeight, ILC_COLOR24 | ILC_MASK, 4, 4);
    return FHandle;
}

void TImageList::Clear() {
    if (FHandle) ImageList_Destroy(FHandle);
    FHandle = nullptr;
}

void TImageList::SetWidth(int V) {
    V = std::clamp(V, 1, 256);
    if (V != FWidth) Clear();
    FWidth = V;
}

void TImageList::SetHeight(int V) {
    V = std::clamp(V, 1, 256);
    if (V != FHeight) Clear();
    FHeight = V;
}

int TImageList::Count() const { return FHandle ? ImageList_GetImageCount(FHandle) : 0; }

int TImageList::Add(const velmo::TBitmap& Image, const velmo::TBitmap* Mask) {
    if (Image.Empty() || !Handle()) return -1;
    HBITMAP Img = CreateBitmapObject(Image);
    if (!Img) return -1;
    int R = -1;
    if (Mask) {
        HBITMAP M = CreateBitmapObject(*Mask);
        R = ImageList_Add(FHandle, Img, M);
        if (M) DeleteObject(M);
    } else if (FMasked) {
        R = ImageList_AddMasked(FHandle, Img, ColorToRGB(Image.GetPixel(0, Image.Height() - 1)));
    } else {
        R = ImageList_Add(FHandle, Img, nullptr);
    }
    DeleteObject(Img);
    return R;
}

void TImageList::Draw(HDC Dc, int X, int Y, int Index) {
    if (!Dc || !FHandle || Index < 0 || Index >= Count()) return;
    ImageList_Draw(FHandle, Index, Dc, X, Y, ILD_TRANSPARENT);
}

}  // namespace velmo::vcl
