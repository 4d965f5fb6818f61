// Graphics objects of the component layer: colours with the system colours
// among them, fonts, the drawing canvas of controls (the graphics layer's
// canvas with a font and text), icons and image lists.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/fonts/DCText.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdi/Canvas.h"
#include "platform/ui/ImageLists.h"
#include "platform/ui/Window.h"
#include "platform/ui/components/Classes.h"

namespace velmo::vcl {

using velmo::TColor;

// A system colour is 0x80000000 with the colour index in the low byte.
constexpr TColor clSystemColor = TColor(0x80000000u);
constexpr TColor SysColor(int Index) { return TColor(0x80000000u | uint32_t(Index)); }
constexpr TColor clScrollBar = SysColor(COLOR_SCROLLBAR);
constexpr TColor clBackground = SysColor(COLOR_BACKGROUND);
constexpr TColor clActiveCaption = SysColor(COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = SysColor(COLOR_INACTIVECAPTION);
constexpr TColor clMenu = SysColor(COLOR_MENU);
constexpr TColor clWindow = SysColor(COLOR_WINDOW);
constexpr TColor clWindowFrame = SysColor(COLOR_WINDOWFRAME);
constexpr TColor clMenuText = SysColor(COLOR_MENUTEXT);
constexpr TColor clWindowText = SysColor(COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = SysColor(COLOR_CAPTIONTEXT);
constexpr TColor clActiveBorder = SysColor(COLOR_ACTIVEBORDER);
constexpr TColor clInactiveBorder = SysColor(COLOR_INACTIVEBORDER);
constexpr TColor clAppWorkSpace = SysColor(COLOR_APPWORKSPACE);
constexpr TColor clHighlight = SysColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SysColor(COLOR_BTNFACE);
constexpr TColor clBtnShadow = SysColor(COLOR_BTNSHADOW);
constexpr TColor clGrayText = SysColor(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SysColor(COLOR_BTNTEXT);
constexpr TColor clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT);
constexpr TColor clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = SysColor(COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = SysColor(COLOR_3DLIGHT);
constexpr TColor clInfoText = SysColor(COLOR_INFOTEXT);
constexpr TColor clInfoBk = SysColor(COLOR_INFOBK);
constexpr TColor clHotLight = SysColor(COLOR_HOTLIGHT);
constexpr TColor clMenuHighlight = SysColor(COLOR_MENUHILIGHT);
constexpr TColor clMenuBar = SysColor(COLOR_MENUBAR);

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The RGB value of a colour: a system colour through the system palette.
COLORREF ColorToRGB(TColor Color);

using TPen = velmo::TPen;
using TBrush = velmo::TBrush;
using velmo::bsClear;
using velmo::bsSolid;
using velmo::psClear;
using velmo::psSolid;

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;

constexpr uint8_t DEFAULT_CHARSET = 1;
constexpr uint8_t GB2312_CHARSET = 134;

class TFont : public TPersistent {
public:
    TFont();
    ~TFont() override;
    const char* ClassName() const override { return "TFont"; }
    void ListProperties(TPropList& Out) const override;

    void Assign(const TFont& Source);

    std::u16string Name() const { return FName; }
    void SetName(const std::u16string& V);
    // Negative: the character height in pixels; positive: the cell height.
    int Height() const { return FHeight; }
    void SetHeight(int V);
    // Points at 96 pixels per inch.
    int Size() const;
    void SetSize(int V);
    TColor Color() const { return FColor; }
    void SetColor(TColor V);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles V);
    int Charset() const { return FCharset; }
    void SetCharset(int V);

    // The font object (made on first use, remade after a change).
    HFONT Handle();
    std::function<void(TObject*)> OnChange;

private:
    void Changed();
    std::u16string FName = u"宋体";
    int FHeight = -12;
    TColor FColor = clWindowText;
    TFontStyles FStyle = 0;
    int FCharset = DEFAULT_CHARSET;
    HFONT FHandle = nullptr;
};

// The canvas of controls and bitmaps: the graphics layer's canvas with a
// font and text output. A control's canvas is bound to the DC of a paint
// for its duration (SetHandle).
class TCanvas : public velmo::TCanvas {
public:
    TCanvas();
    ~TCanvas() override;
    TFont& Font() { return FFont; }
    // Binds the canvas to a DC it does not own; null gives it back.
    void SetHandle(HDC Dc);

    // The DC with the font, its colour and the brush's background mode.
    HDC TextHandle();
    void TextOut(int X, int Y, const std::u16string& Text);
    // Draws Text at (X, Y) clipped to Rect, filling Rect with the brush
    // unless it is clear.
    void TextRect(const RECT& Rect, int X, int Y, const std::u16string& Text);
    SIZE TextExtent(const std::u16string& Text);
    int TextWidth(const std::u16string& Text) { return TextExtent(Text).cx; }
    int TextHeight(const std::u16string& Text) { return TextExtent(Text).cy; }
    void FrameRect(const RECT& Rect);
    void MoveTo(int X, int Y);
    void LineTo(int X, int Y);
    void Rectangle(int X1, int Y1, int X2, int Y2);
    // Copies the bitmap with its top-left at (X, Y).
    void Draw(int X, int Y, velmo::TBitmap& Bitmap);

private:
    TFont FFont;
    HGDIOBJ FOldFont = nullptr;
};

// An icon object: a handle of the window layer's icons, owned unless
// released.
class TIcon : public TPersistent {
public:
    // An icon still held is destroyed with the object.
    ~TIcon() override;
    const char* ClassName() const override { return "TIcon"; }
    HICON Handle() const { return FHandle; }
    // Takes Icon over; an icon held before is destroyed.
    void SetHandle(HICON Icon);
    HICON ReleaseHandle();
    bool Empty() const { return FHandle == nullptr; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetSize(int W, int H) { FWidth = W, FHeight = H; }

private:
    HICON FHandle = nullptr;
    int FWidth = 32, FHeight = 32;
};

// A list of equally sized images with masks, drawn by index: a component
// over the window layer's image lists.
class TImageList : public TComponent {
public:
    explicit TImageList(TComponent* AOwner) : TComponent(AOwner) {}
    ~TImageList() override;
    const char* ClassName() const override { return "TImageList"; }
    void ListProperties(TPropList& Out) const override;

    int Width() const { return FWidth; }
    void SetWidth(int V);
    int Height() const { return FHeight; }
    void SetHeight(int V);
    int Count() const;
    // Adds an image (cut or padded to the list's size); pixels where Mask
    // is white (or, without a mask, of the bitmap's bottom-left colour when
    // Masked) are transparent. Returns the index, -1 on failure.
    int Add(const velmo::TBitmap& Image, const velmo::TBitmap* Mask = nullptr);
    bool Masked() const { return FMasked; }
    void SetMasked(bool V) { FMasked = V; }
    void Clear();
    // Draws image Index at (X, Y) of Dc, transparent pixels left alone.
    void Draw(HDC Dc, int X, int Y, int Index);
    void Draw(TCanvas& Canvas, int X, int Y, int Index) { Draw(Canvas.Handle(), X, Y, Index); }
    // The layer's image list (made on first use).
    HIMAGELIST Handle();

private:
    int FWidth = 16, FHeight = 16;
    bool FMasked = true;
    HIMAGELIST FHandle = nullptr;
};

}  // namespace velmo::vcl
