// The formatted-text call's target: the first seven bytes choose the
// format flags, the rectangle's size and the font's height, width and
// style; the rest is the
// text in UTF-16. The text is measured, then drawn into the measured
// rectangle without clipping; no ink may land left or right of it, and the
// measured height is what the call returns. The same text goes through the
// plain text calls too.
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/fonts/DCText.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

void DrawText(std::string_view Data) {
    if (Data.size() < 7) return;
    auto Byte = [&](size_t I) { return uint8_t(Data[I]); };
    // The tab-stop form reuses flag bits; it is driven apart below.
    UINT Format = (UINT(Byte(0)) | UINT(Byte(1)) << 8 | UINT(Byte(2)) << 16) & ~(DT_TABSTOP | DT_MODIFYSTRING);
    const int Width = 1 + Byte(3) * 2, Height = 1 + Byte(4);
    const int FontHeight = Byte(5) & 0x80 ? -(4 + (Byte(5) & 0x3F)) : 4 + (Byte(5) & 0x3F);
    const bool TabStop = Byte(6) & 1;
    std::u16string Text;
    for (size_t I = 7; I + 1 < Data.size() && Text.size() < 400; I += 2)
        Text.push_back(char16_t(Byte(I) | Byte(I + 1) << 8));

    static TBitmap Pixels(600, 400, pf32bit);
    static HDC Dc = [] {
        HDC D = CreateCompatibleDC(nullptr);
        SelectObject(D, AttachBitmapObject(Pixels));
        SetBkMode(D, TRANSPARENT);
        return D;
    }();
    LOGFONTW L;
    L.lfFaceName = Byte(6) & 2 ? u"Arial" : u"宋体";
    L.lfHeight = FontHeight;
    L.lfWeight = Byte(6) & 4 ? FW_BOLD : FW_NORMAL;
    L.lfItalic = Byte(6) & 8;
    L.lfUnderline = Byte(6) & 16;
    // A set average character width stretches or narrows the glyphs.
    L.lfWidth = (Byte(6) >> 5) * 5;
    HFONT Font = CreateFontIndirectW(L);
    HGDIOBJ Old = SelectObject(Dc, Font);
    const RECT All{0, 0, Pixels.Width(), Pixels.Height()};
    FillRect(Dc, &All, GetStockObject(WHITE_BRUSH));

    if (TabStop) {
        RECT R{4, 4, 4 + Width, 4 + Height};
        DrawTextW(Dc, Text.c_str(), int(Text.size()), &R, (Format & ~UINT(0xFF00)) | DT_TABSTOP | (Byte(1) << 8));
    } else {
        RECT Calc{50, 4, 50 + Width, 4 + Height};
        const int H = DrawTextW(Dc, Text.c_str(), int(Text.size()), &Calc, Format | DT_CALCRECT);
        if (H != Calc.bottom - Calc.top) std::abort();
        RECT Draw = Calc;
        DrawTextW(Dc, Text.c_str(), int(Text.size()), &Draw, (Format & ~UINT(DT_CALCRECT)) | DT_NOCLIP);
        for (int Y = 0; Y < Pixels.Height(); ++Y) {
            const uint8_t* Row = Pixels.ScanLine(Y);
            for (int X = 0; X < Pixels.Width(); ++X)
                if ((X < Calc.left || X >= Calc.right) && (Row[4 * X] != 0xFF || Row[4 * X + 1] != 0xFF || Row[4 * X + 2] != 0xFF))
                    std::abort();
        }
        std::u16string Buffer = Text + u"guard";
        RECT M{0, 0, Width, Height};
        DrawTextW(Dc, Buffer.data(), int(Text.size()), &M, Format | DT_MODIFYSTRING);
        if (Buffer.compare(Text.size(), 5, u"guard") != 0) std::abort();
    }
    SIZE S;
    GetTextExtentPoint32W(Dc, Text.c_str(), int(Text.size()), &S);
    ExtTextOutW(Dc, 3, 3, ETO_CLIPPED | ETO_OPAQUE, &All, Text.c_str(), UINT(Text.size()), nullptr);
    SelectObject(Dc, Old);
    DeleteObject(Font);
}

VPL_FUZZ_TARGET(draw_text, DrawText);

}  // namespace velmo::fuzz
