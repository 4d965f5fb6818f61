// Text on device contexts: faces for CJK captions, formatted text that stays
// inside what it measured, ellipses only on overflow, mnemonic prefixes,
// the Windows-1252 calls, font heights, and the drawing options of
// ExtTextOutW through clip, origin and recorder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fonts/DCText.h"

using namespace velmo;

namespace {

constexpr char16_t kCaption[] = u"OrvekanPDF图片转换工具";
constexpr COLORREF kWhite = 0xFFFFFF;

// A memory DC over a white 32-bit bitmap with a font of its own.
class TTextDc {
public:
    TTextDc(int W, int H) : Pixels(W, H, pf32bit) {
        Dc = CreateCompatibleDC(nullptr);
        Bitmap = AttachBitmapObject(Pixels);
        OldBitmap = SelectObject(Dc, Bitmap);
        SetTextColor(Dc, 0x000000);
        SetBkColor(Dc, kWhite);
        Clear();
    }
    ~TTextDc() {
        SelectObject(Dc, OldBitmap);
        if (OldFont) SelectObject(Dc, OldFont);
        if (Font) DeleteObject(Font);
        DeleteDC(Dc);
        DetachBitmapObject(Bitmap);
    }
    void SetFont(const std::u16string& Face, int Height, int Weight = FW_NORMAL, uint8_t CharSet = 1,
                 bool Underline = false, bool StrikeOut = false, int Width = 0) {
        LOGFONTW L;
        L.lfFaceName = Face;
        L.lfHeight = Height;
        L.lfWidth = Width;
        L.lfWeight = Weight;
        L.lfCharSet = CharSet;
        L.lfUnderline = Underline;
        L.lfStrikeOut = StrikeOut;
        HFONT New = CreateFontIndirectW(L);
        HGDIOBJ Old = SelectObject(Dc, New);
        if (!OldFont) OldFont = Old;
        if (Font) DeleteObject(Font);
        Font = New;
    }
    void Clear() {
        SelectClipRgn(Dc, nullptr);
        for (int Y = 0; Y < Pixels.Height(); ++Y)
            for (int X = 0; X < Pixels.Width(); ++X) Pixels.SetPixel(X, Y, TColor(kWhite));
    }
    bool Inked(int X, int Y) const { return (Pixels.GetPixel(X, Y) & 0xFFFFFF) != kWhite; }
    int Ink() const {
        int N = 0;
        for (int Y = 0; Y < Pixels.Height(); ++Y)
            for (int X = 0; X < Pixels.Width(); ++X) N += Inked(X, Y);
        return N;
    }
    // The bounds of the inked pixels; empty when there are none.
    RECT InkBox() const {
        RECT B{Pixels.Width(), Pixels.Height(), 0, 0};
        for (int Y = 0; Y < Pixels.Height(); ++Y)
            for (int X = 0; X < Pixels.Width(); ++X)
                if (Inked(X, Y)) {
                    B.left = std::min(B.left, X);
                    B.top = std::min(B.top, Y);
                    B.right = std::max(B.right, X + 1);
                    B.bottom = std::max(B.bottom, Y + 1);
                }
        return B;
    }
    std::vector<TColor> Snapshot() const {
        std::vector<TColor> S;
        for (int Y = 0; Y < Pixels.Height(); ++Y)
            for (int X = 0; X < Pixels.Width(); ++X) S.push_back(Pixels.GetPixel(X, Y));
        return S;
    }

    TBitmap Pixels;
    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ OldBitmap = nullptr, OldFont = nullptr;
    HFONT Font = nullptr;
};

bool Inside(const RECT& Inner, const RECT& Outer) {
    return Inner.left >= Outer.left && Inner.top >= Outer.top && Inner.right <= Outer.right &&
           Inner.bottom <= Outer.bottom;
}

int WidthOf(HDC Dc, const std::u16string& S) {
    SIZE Size;
    EXPECT_TRUE(GetTextExtentPoint32W(Dc, S.c_str(), int(S.size()), &Size));
    return Size.cx;
}

std::u16string Drawn(const std::u16string& Buffer) { return Buffer.substr(0, Buffer.find(u'\0')); }

}  // namespace

TEST(WindowText, CjkAndDrawTextRules) {
    struct TFontCase {
        const char16_t* Face;
        int Height, Weight;
        uint8_t CharSet;
    };
    const TFontCase Fonts[] = {{u"宋体", -16, FW_NORMAL, 1}, {u"微软雅黑", 29, FW_BOLD, 134}};
    const std::u16string Caption = kCaption;
    for (const TFontCase& FC : Fonts) {
        SCOPED_TRACE(std::string(FC.Height < 0 ? "songti" : "yahei"));
        TTextDc T(640, 160);
        T.SetFont(FC.Face, FC.Height, FC.Weight, FC.CharSet);

        // Every character has a glyph of its own (not the missing-glyph box)
        // and leaves ink.
        ExtTextOutW(T.Dc, 10, 10, 0, nullptr, u"\U0010FFFD", 2, nullptr);
        const std::vector<TColor> Missing = T.Snapshot();
        for (char16_t C : Caption) {
            std::string File;
            int Index = -1;
            EXPECT_TRUE(GetTextFontFile(T.Dc, C, File, Index)) << int(C);
            T.Clear();
            ExtTextOutW(T.Dc, 10, 10, 0, nullptr, &C, 1, nullptr);
            EXPECT_GT(T.Ink(), 8) << int(C);
            EXPECT_NE(T.Snapshot(), Missing) << int(C);
        }

        // Drawn text stays inside what DT_CALCRECT measured.
        struct TCalc {
            std::u16string Text;
            int Width;
            UINT Format;
        };
        const TCalc Calcs[] = {
            {Caption, 600, DT_SINGLELINE},
            {Caption, 600, DT_SINGLELINE | DT_CENTER | DT_VCENTER},
            {Caption, 90, DT_WORDBREAK},
            {u"Orvekan PDF 图片转换工具 converts pages", 120, DT_WORDBREAK | DT_CENTER},
            {u"first line\r\nsecond\n\tthird", 400, DT_EXPANDTABS},
            {Caption, 90, DT_WORDBREAK | DT_END_ELLIPSIS},
            {u"&File && more", 400, DT_SINGLELINE},
        };
        for (const TCalc& C : Calcs) {
            SCOPED_TRACE(std::to_string(C.Format) + " " + std::to_string(C.Width));
            RECT R{12, 8, 12 + C.Width, 150};
            const int H = DrawTextW(T.Dc, C.Text.c_str(), -1, &R, C.Format | DT_CALCRECT);
            EXPECT_EQ(H, R.bottom - R.top);
            EXPECT_GT(R.right, R.left);
            EXPECT_LE(R.right - R.left, std::max(C.Width, R.right - R.left));
            T.Clear();
            RECT D = R;
            EXPECT_GT(DrawTextW(T.Dc, C.Text.c_str(), -1, &D, C.Format | DT_NOCLIP), 0);
            ASSERT_GT(T.Ink(), 0);
            const RECT Ink = T.InkBox();
            EXPECT_TRUE(Inside(Ink, R)) << Ink.left << "," << Ink.top << "," << Ink.right << "," << Ink.bottom
                                        << " in " << R.left << "," << R.top << "," << R.right << "," << R.bottom;
        }

        // The ellipsis appears exactly when the text does not fit: what is
        // drawn is the whole caption, or a start of it followed by "...".
        RECT Need{0, 0, 1000, 100};
        DrawTextW(T.Dc, Caption.c_str(), -1, &Need, DT_SINGLELINE | DT_CALCRECT);
        const int W = Need.right;
        auto Render1 = [&](const std::u16string& S, int Room, UINT Format) {
            T.Clear();
            RECT R{10, 10, 10 + Room, 80};
            DrawTextW(T.Dc, S.c_str(), -1, &R, Format | DT_SINGLELINE);
            return T.Snapshot();
        };
        for (int Room : {W + 20, W, W - 1, W / 2}) {
            SCOPED_TRACE(Room);
            const auto Shown = Render1(Caption, Room, DT_END_ELLIPSIS);
            EXPECT_LE(T.InkBox().right, 10 + Room);
            size_t Kept = std::u16string::npos;
            if (Shown == Render1(Caption, Room, DT_NOCLIP)) Kept = Caption.size();
            for (size_t K = 0; K < Caption.size() && Kept == std::u16string::npos; ++K)
                if (Shown == Render1(Caption.substr(0, K) + u"...", Room, DT_NOCLIP)) Kept = K;
            if (Room >= W) EXPECT_EQ(Kept, Caption.size());
            else EXPECT_LT(Kept, Caption.size());
            // The buffer holds the shortened text when it fits in the units given.
            std::u16string Buffer = Caption;
            RECT R{10, 10, 10 + Room, 80};
            DrawTextW(T.Dc, Buffer.data(), int(Buffer.size()), &R, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
            if (Room >= W) EXPECT_EQ(Buffer, Caption);
            else if (Kept + 3 <= Caption.size()) EXPECT_EQ(Drawn(Buffer), Caption.substr(0, Kept) + u"...");
        }

        // "&" prefixes: the marked letter is underlined, "&&" is one "&".
        auto Render = [&](const std::u16string& S, UINT Format) {
            T.Clear();
            RECT R{10, 10, 600, 100};
            DrawTextW(T.Dc, S.c_str(), int(S.size()), &R, Format | DT_SINGLELINE);
            return T.Snapshot();
        };
        const auto Plain = Render(u"Open", DT_NOPREFIX);
        const auto Marked = Render(u"&Open", 0);
        const RECT MarkedBox = T.InkBox();
        const auto Hidden = Render(u"&Open", DT_HIDEPREFIX);
        const auto Only = Render(u"&Open", DT_PREFIXONLY);
        const RECT OnlyBox = T.InkBox();
        EXPECT_EQ(Hidden, Plain);
        EXPECT_NE(Marked, Plain);
        size_t Extra = 0;
        for (size_t I = 0; I < Plain.size(); ++I) {
            const bool P = (Plain[I] & 0xFFFFFF) != kWhite, M = (Marked[I] & 0xFFFFFF) != kWhite,
                       O = (Only[I] & 0xFFFFFF) != kWhite;
            if (P) EXPECT_TRUE(M) << I;  // the prefix only adds
            if (M && !P) ++Extra;
            if (O) EXPECT_TRUE(M) << I;
        }
        EXPECT_GT(Extra, 0u);
        // The underline sits under the first letter only, below the letters.
        EXPECT_EQ(OnlyBox.left, 10);
        EXPECT_LT(OnlyBox.right, 10 + WidthOf(T.Dc, u"Op"));
        EXPECT_GE(OnlyBox.top, MarkedBox.top);
        EXPECT_EQ(Render(u"A&&B", 0), Render(u"A&B", DT_NOPREFIX));
        EXPECT_NE(Render(u"&Open", DT_NOPREFIX), Plain);
        RECT C1{0, 0, 600, 100}, C2{0, 0, 600, 100};
        DrawTextW(T.Dc, u"&Open", -1, &C1, DT_CALCRECT | DT_SINGLELINE);
        DrawTextW(T.Dc, u"Open", -1, &C2, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        EXPECT_EQ(C1.right, C2.right);

        // DrawTextA gives what DrawTextW gives for the same Windows-1252 text.
        const char* Ansi = "Caf\xE9 \x80" "5 \x93quoted\x94 \xA9";
        const std::u16string Wide = u"Café €5 “quoted” ©";
        for (UINT Format : {UINT(DT_SINGLELINE), UINT(DT_SINGLELINE | DT_CENTER | DT_VCENTER), UINT(DT_WORDBREAK)}) {
            RECT Ra{10, 10, 150, 120}, Rw = Ra;
            T.Clear();
            const int Ha = DrawTextA(T.Dc, Ansi, -1, &Ra, Format);
            const auto A = T.Snapshot();
            T.Clear();
            const int Hw = DrawTextW(T.Dc, Wide.c_str(), -1, &Rw, Format);
            EXPECT_EQ(Ha, Hw);
            EXPECT_EQ(A, T.Snapshot());
            RECT Ca{10, 10, 150, 120}, Cw = Ca;
            DrawTextA(T.Dc, Ansi, -1, &Ca, Format | DT_CALCRECT);
            DrawTextW(T.Dc, Wide.c_str(), -1, &Cw, Format | DT_CALCRECT);
            EXPECT_EQ(Ca.right, Cw.right);
            EXPECT_EQ(Ca.bottom, Cw.bottom);
        }
    }
}

TEST(WindowText, PathAndWordEllipsesAndModifiedBuffers) {
    TTextDc T(400, 60);
    T.SetFont(u"宋体", -16);
    const std::u16string Path = u"C:\\Program Files\\Orvekan\\图片转换.pdf";
    const int Full = WidthOf(T.Dc, Path);
    const int Last = WidthOf(T.Dc, u"...\\图片转换.pdf");
    // The buffer is longer than Count: nothing beyond Count may change.
    std::u16string Buffer = Path + u"#####";
    RECT R{0, 0, Last + 20, 40};
    DrawTextW(T.Dc, Buffer.data(), int(Path.size()), &R, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING);
    const std::u16string Out = Drawn(Buffer);
    EXPECT_LT(Out.size(), Path.size());
    EXPECT_NE(Out.find(u"..."), std::u16string::npos);
    EXPECT_EQ(Out.substr(Out.size() - 9), u"\\图片转换.pdf");
    EXPECT_EQ(Out.substr(0, 1), u"C");
    EXPECT_LE(WidthOf(T.Dc, Out), Last + 20);
    EXPECT_EQ(Buffer.substr(Path.size()), u"#####");
    EXPECT_LT(Last + 20, Full);

    // A word ellipsis cuts after a whole word.
    std::u16string Words = u"alpha beta gamma delta";
    RECT Rw{0, 0, WidthOf(T.Dc, u"alpha beta gam"), 40};
    DrawTextW(T.Dc, Words.data(), -1, &Rw, DT_SINGLELINE | DT_WORD_ELLIPSIS | DT_MODIFYSTRING);
    EXPECT_EQ(Drawn(Words), u"alpha beta...");

    // A short buffer never grows past its Count: "ab" shortened to "a..."
    // keeps its two units, nothing after them changes.
    std::u16string Tight = u"abcd";
    RECT Rt{0, 0, 1, 40};
    DrawTextW(T.Dc, Tight.data(), 2, &Rt, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
    EXPECT_EQ(Tight.substr(2), u"cd");

    // A constant text is never written to.
    const std::u16string Const = Path;
    RECT Rc{0, 0, Last, 40};
    DrawTextW(T.Dc, Const.c_str(), -1, &Rc, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
    EXPECT_EQ(Const, Path);

    // The Windows-1252 call writes back in its own encoding.
    char Ansi[] = "Caf\xE9 au lait tr\xE8s chaud";
    RECT Ra{0, 0, WidthOf(T.Dc, u"Café au"), 40};
    DrawTextA(T.Dc, Ansi, -1, &Ra, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
    EXPECT_EQ(std::string(Ansi).substr(std::string(Ansi).size() - 3), "...");
    EXPECT_EQ(std::string(Ansi).substr(0, 4), "Caf\xE9");
}

TEST(WindowText, FontHeightsMetricsAndExtents) {
    TTextDc T(200, 100);
    struct TCase {
        int Height;
        int Cell;  // expected tmHeight, 0: not fixed
        int Char;  // expected tmHeight - tmInternalLeading, 0: not fixed
    };
    for (const TCase& C : {TCase{-16, 0, 16}, TCase{16, 16, 0}, TCase{-29, 0, 29}, TCase{29, 29, 0}}) {
        SCOPED_TRACE(C.Height);
        T.SetFont(u"宋体", C.Height);
        TEXTMETRICW M;
        ASSERT_TRUE(GetTextMetricsW(T.Dc, &M));
        EXPECT_EQ(M.tmHeight, M.tmAscent + M.tmDescent);
        if (C.Cell) EXPECT_EQ(M.tmHeight, C.Cell);
        if (C.Char) EXPECT_EQ(M.tmHeight - M.tmInternalLeading, C.Char);
        EXPECT_GT(M.tmAveCharWidth, 0);
        EXPECT_GE(M.tmMaxCharWidth, M.tmAveCharWidth);
        SIZE S, A, B;
        ASSERT_TRUE(GetTextExtentPoint32W(T.Dc, u"ab图", 3, &S));
        EXPECT_EQ(S.cy, M.tmHeight);
        GetTextExtentPoint32W(T.Dc, u"ab", 2, &A);
        GetTextExtentPoint32W(T.Dc, u"图", 1, &B);
        EXPECT_EQ(S.cx, A.cx + B.cx);
        SIZE Ansi;
        ASSERT_TRUE(GetTextExtentPoint32A(T.Dc, "ab", 2, &Ansi));
        EXPECT_EQ(Ansi.cx, A.cx);
    }
    // Bold and italic are reported and change the drawing.
    T.SetFont(u"宋体", -20);
    ExtTextOutW(T.Dc, 5, 5, 0, nullptr, u"Bold", 4, nullptr);
    const int Regular = T.Ink();
    T.Clear();
    T.SetFont(u"宋体", -20, FW_BOLD);
    TEXTMETRICW M;
    GetTextMetricsW(T.Dc, &M);
    EXPECT_EQ(M.tmWeight, FW_BOLD);
    ExtTextOutW(T.Dc, 5, 5, 0, nullptr, u"Bold", 4, nullptr);
    EXPECT_GT(T.Ink(), Regular);

    // Face names: the stand-in's when the requested face is not installed.
    char16_t Name[64] = {};
    const int N = GetTextFaceW(T.Dc, 64, Name);
    EXPECT_GT(N, 0);
    EXPECT_EQ(std::u16string(Name).size(), size_t(N));
    EXPECT_EQ(GetTextFaceW(T.Dc, 0, nullptr), N + 1);
    char16_t Two[2] = {u'x', u'x'};
    EXPECT_EQ(GetTextFaceW(T.Dc, 2, Two), 1);
    EXPECT_EQ(Two[1], 0);

    // Underline and strike-out draw two separate lines across the text,
    // through the blanks between its letters too.
    auto LinesAcrossGap = [&] {
        T.Clear();
        ExtTextOutW(T.Dc, 5, 5, 0, nullptr, u"a    b", 6, nullptr);
        const int Mid = 5 + WidthOf(T.Dc, u"a  ");
        int Lines = 0;
        for (int Y = 1; Y < T.Pixels.Height(); ++Y) Lines += T.Inked(Mid, Y) && !T.Inked(Mid, Y - 1);
        return Lines;
    };
    EXPECT_EQ(LinesAcrossGap(), 0);
    T.SetFont(u"宋体", -20, FW_BOLD, 1, true, true);
    EXPECT_EQ(LinesAcrossGap(), 2);
}

TEST(WindowText, FontWidthScalesGlyphsHorizontally) {
    TTextDc T(600, 60);
    const std::u16string Text = u"Wide 图片 text";
    T.SetFont(u"宋体", -20);
    TEXTMETRICW Natural;
    ASSERT_TRUE(GetTextMetricsW(T.Dc, &Natural));
    SIZE Base;
    ASSERT_TRUE(GetTextExtentPoint32W(T.Dc, Text.c_str(), int(Text.size()), &Base));
    ExtTextOutW(T.Dc, 5, 5, 0, nullptr, Text.c_str(), UINT(Text.size()), nullptr);
    const RECT BaseInk = T.InkBox();
    const int A = Natural.tmAveCharWidth;
    ASSERT_GT(A, 2);

    // A non-zero width is the font's average character width: extents and
    // ink follow it in proportion, the height stays; a negative width
    // counts as its size.
    struct TCase {
        int Width;
        double Scale;
    };
    for (const TCase& C : {TCase{2 * A, 2.0}, TCase{-2 * A, 2.0}, TCase{A / 2, A / 2 / double(A)}}) {
        SCOPED_TRACE(C.Width);
        T.Clear();
        T.SetFont(u"宋体", -20, FW_NORMAL, 1, false, false, C.Width);
        TEXTMETRICW M;
        ASSERT_TRUE(GetTextMetricsW(T.Dc, &M));
        EXPECT_EQ(M.tmAveCharWidth, std::abs(C.Width));
        EXPECT_EQ(M.tmHeight, Natural.tmHeight);
        EXPECT_EQ(M.tmAscent, Natural.tmAscent);
        SIZE S;
        ASSERT_TRUE(GetTextExtentPoint32W(T.Dc, Text.c_str(), int(Text.size()), &S));
        EXPECT_EQ(S.cy, Base.cy);
        // Each advance is rounded on its own: one pixel per character.
        EXPECT_NEAR(S.cx, Base.cx * C.Scale, double(Text.size()));
        ExtTextOutW(T.Dc, 5, 5, 0, nullptr, Text.c_str(), UINT(Text.size()), nullptr);
        const RECT Ink = T.InkBox();
        EXPECT_NEAR(Ink.right - Ink.left, (BaseInk.right - BaseInk.left) * C.Scale, double(Text.size()) + 2);
        EXPECT_NEAR(Ink.bottom - Ink.top, BaseInk.bottom - BaseInk.top, 2);
        EXPECT_LE(Ink.right, 5 + S.cx + 2);
    }

    // A width of 0 goes back to the face's own proportions; absurd widths
    // are capped and cost no more than a large font.
    T.SetFont(u"宋体", -20, FW_NORMAL, 1, false, false, 0);
    SIZE Again;
    GetTextExtentPoint32W(T.Dc, Text.c_str(), int(Text.size()), &Again);
    EXPECT_EQ(Again.cx, Base.cx);
    for (int Absurd : {INT32_MIN, INT32_MAX, 1 << 20}) {
        SCOPED_TRACE(Absurd);
        T.SetFont(u"宋体", -20, FW_NORMAL, 1, false, false, Absurd);
        SIZE S;
        ASSERT_TRUE(GetTextExtentPoint32W(T.Dc, u"图a", 2, &S));
        EXPECT_GT(S.cx, 0);
        EXPECT_LE(S.cx, 2 * 4 * 2048);
        EXPECT_TRUE(ExtTextOutW(T.Dc, 0, 0, 0, nullptr, u"图a", 2, nullptr));
    }
}

TEST(WindowText, ExtTextOutOptionsAlignmentClipAndOrigin) {
    TTextDc T(300, 120);
    T.SetFont(u"宋体", -20);
    TEXTMETRICW M;
    GetTextMetricsW(T.Dc, &M);
    const int W = WidthOf(T.Dc, u"Text");

    // The text colour is the colour of the fully covered pixels.
    SetTextColor(T.Dc, 0x0000FF);
    ExtTextOutW(T.Dc, 10, 10, 0, nullptr, u"Text", 4, nullptr);
    bool Red = false;
    for (int Y = 0; Y < 120; ++Y)
        for (int X = 0; X < 300; ++X) {
            const TColor C = T.Pixels.GetPixel(X, Y);
            if (T.Inked(X, Y)) EXPECT_EQ((C >> 8) & 0xFF, (C >> 16) & 0xFF);  // green = blue: a red tint
            Red = Red || (C & 0xFFFFFF) == 0x0000FF;
        }
    EXPECT_TRUE(Red);
    SetTextColor(T.Dc, 0);

    // Alignment: the reference point is the left, right or centre of the
    // text and its top, baseline or bottom.
    struct TAlign {
        UINT Align;
        int X, Y;     // reference point
        int Left, Top;  // where the cell's top-left then lies
    };
    const TAlign Aligns[] = {
        {TA_LEFT | TA_TOP, 100, 40, 100, 40},
        {TA_RIGHT | TA_TOP, 100, 40, 100 - W, 40},
        {TA_CENTER | TA_TOP, 100, 40, 100 - W / 2, 40},
        {TA_LEFT | TA_BASELINE, 100, 60, 100, 60 - M.tmAscent},
        {TA_LEFT | TA_BOTTOM, 100, 80, 100, 80 - M.tmHeight},
    };
    for (const TAlign& A : Aligns) {
        SCOPED_TRACE(A.Align);
        EXPECT_EQ(SetTextAlign(T.Dc, A.Align), GetTextAlign(T.Dc));
        EXPECT_EQ(GetTextAlign(T.Dc), A.Align);
        T.Clear();
        ExtTextOutW(T.Dc, A.X, A.Y, 0, nullptr, u"Text", 4, nullptr);
        EXPECT_TRUE(Inside(T.InkBox(), RECT{A.Left, A.Top, A.Left + W + 2, A.Top + M.tmHeight}));
        EXPECT_LE(T.InkBox().left, A.Left + 3);
    }
    SetTextAlign(T.Dc, TA_LEFT | TA_TOP);

    // The alignment is part of the saved state: a painter that saves, sets
    // its own alignment and restores leaves the caller's, at any depth.
    const int Outer = SaveDC(T.Dc);
    SetTextAlign(T.Dc, TA_RIGHT | TA_BASELINE);
    const int Inner = SaveDC(T.Dc);
    SetTextAlign(T.Dc, TA_CENTER | TA_BOTTOM);
    EXPECT_TRUE(RestoreDC(T.Dc, -1));
    EXPECT_EQ(GetTextAlign(T.Dc), TA_RIGHT | TA_BASELINE);
    T.Clear();
    ExtTextOutW(T.Dc, 100, 60, 0, nullptr, u"Text", 4, nullptr);
    EXPECT_TRUE(Inside(T.InkBox(), RECT{100 - W, 60 - M.tmAscent, 102, 60 - M.tmAscent + M.tmHeight}));
    EXPECT_EQ(Inner, Outer + 1);
    EXPECT_TRUE(RestoreDC(T.Dc, Outer));
    EXPECT_EQ(GetTextAlign(T.Dc), TA_LEFT | TA_TOP);

    // ETO_OPAQUE fills the rectangle with the background colour,
    // ETO_CLIPPED keeps the text inside it.
    T.Clear();
    SetBkColor(T.Dc, 0x00FF00);
    const RECT Box{20, 20, 40, 40};
    ExtTextOutW(T.Dc, 10, 10, ETO_OPAQUE | ETO_CLIPPED, &Box, u"Text", 4, nullptr);
    EXPECT_TRUE(Inside(T.InkBox(), Box));
    EXPECT_EQ(T.Pixels.GetPixel(39, 39) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(T.Pixels.GetPixel(20, 39) & 0xFFFFFF, 0x00FF00u);
    SetBkColor(T.Dc, kWhite);

    // Dx places each character.
    T.Clear();
    const int Dx[] = {60, 0};
    ExtTextOutW(T.Dc, 10, 10, 0, nullptr, u"II", 2, Dx);
    int Columns = 0;
    for (int X = 0; X < 300; ++X) {
        bool Any = false;
        for (int Y = 0; Y < 120; ++Y) Any = Any || T.Inked(X, Y);
        if (Any && (X == 0 || ![&] {
                for (int Y = 0; Y < 120; ++Y)
                    if (T.Inked(X - 1, Y)) return true;
                return false;
            }()))
            ++Columns;
    }
    EXPECT_EQ(Columns, 2);
    EXPECT_GE(T.InkBox().right - T.InkBox().left, 60);

    // The viewport and device origins move the text; the clip region holds.
    T.Clear();
    ExtTextOutW(T.Dc, 10, 10, 0, nullptr, u"Text", 4, nullptr);
    const RECT Home = T.InkBox();
    T.Clear();
    SetViewportOrgEx(T.Dc, 30, 5, nullptr);
    SetDeviceOrigin(T.Dc, 7, 11, nullptr);
    ExtTextOutW(T.Dc, 10, 10, 0, nullptr, u"Text", 4, nullptr);
    const RECT Moved = T.InkBox();
    EXPECT_EQ(Moved.left - Home.left, 37);
    EXPECT_EQ(Moved.top - Home.top, 16);
    SetViewportOrgEx(T.Dc, 0, 0, nullptr);
    SetDeviceOrigin(T.Dc, 0, 0, nullptr);
    T.Clear();
    HRGN Half = CreateRectRgn(0, 0, Home.left + (Home.right - Home.left) / 2, 120);
    SelectClipRgn(T.Dc, Half);
    ExtTextOutW(T.Dc, 10, 10, 0, nullptr, u"Text", 4, nullptr);
    EXPECT_LE(T.InkBox().right, Home.left + (Home.right - Home.left) / 2);
    EXPECT_GT(T.Ink(), 0);
    SelectClipRgn(T.Dc, nullptr);
    DeleteObject(Half);
}

TEST(WindowText, RecorderSeesTextPixels) {
    struct TRecorder : TDcRecorder {
        std::vector<RECT> Areas;
        void PathPainted(const std::vector<TDcPathPoint>&, int, int, const TDcPenInfo&, const TDcBrushInfo&) override {}
        void PixelsChanged(const TBitmap&, const RECT& Area) override { Areas.push_back(Area); }
        void ClipChanged(const std::vector<RECT>*) override {}
    };
    TTextDc T(200, 60);
    T.SetFont(u"宋体", -16);
    auto R = std::make_shared<TRecorder>();
    ASSERT_TRUE(SetDcRecorder(T.Dc, R));
    ExtTextOutW(T.Dc, 10, 10, 0, nullptr, u"图片", 2, nullptr);
    ASSERT_EQ(R->Areas.size(), 1u);
    EXPECT_TRUE(Inside(T.InkBox(), R->Areas[0]));
    SetDcRecorder(T.Dc, nullptr);
}

TEST(WindowText, HostileCallsFailCleanly) {
    TTextDc T(100, 40);
    T.SetFont(u"宋体", -16);
    SIZE S;
    RECT R{0, 0, 100, 40};
    EXPECT_FALSE(GetTextExtentPoint32W(T.Dc, nullptr, 3, &S));
    EXPECT_FALSE(GetTextExtentPoint32W(T.Dc, u"a", -1, &S));
    EXPECT_FALSE(GetTextExtentPoint32W(T.Dc, u"a", 1, nullptr));
    EXPECT_EQ(DrawTextW(T.Dc, u"a", 1, nullptr, 0), 0);
    EXPECT_EQ(DrawTextW(T.Dc, nullptr, 5, &R, 0), 0);
    EXPECT_EQ(DrawTextW(T.Dc, u"", 0, &R, DT_CALCRECT), 0);
    EXPECT_EQ(R.right, 0);
    EXPECT_FALSE(TextOutW(T.Dc, 0, 0, u"a", -2));
    // A DC that is gone, and one without a bitmap behind it.
    HDC Dead = CreateCompatibleDC(nullptr);
    DeleteDC(Dead);
    TEXTMETRICW M;
    EXPECT_FALSE(GetTextMetricsW(Dead, &M));
    EXPECT_FALSE(ExtTextOutW(Dead, 0, 0, 0, nullptr, u"a", 1, nullptr));
    RECT D{0, 0, 50, 50};
    EXPECT_EQ(DrawTextW(Dead, u"a", 1, &D, 0), 0);
    EXPECT_EQ(SetTextAlign(Dead, TA_RIGHT), 0xFFFFFFFFu);
    EXPECT_EQ(GetTextFaceW(Dead, 0, nullptr), 0);
    // Extreme heights and positions are drawn (or clipped) without harm.
    T.SetFont(u"宋体", -100000);
    EXPECT_TRUE(ExtTextOutW(T.Dc, -2000000000, 2000000000, 0, nullptr, u"图", 1, nullptr));
    ASSERT_TRUE(GetTextMetricsW(T.Dc, &M));
    EXPECT_LE(M.tmHeight, 8192);
    // A one-pixel-wide rectangle breaks every character onto its own line
    // and ends.
    T.SetFont(u"宋体", -16);
    RECT Narrow{0, 0, 1, 1000};
    const std::u16string Long(300, u'W');
    const int H = DrawTextW(T.Dc, Long.c_str(), -1, &Narrow, DT_WORDBREAK | DT_CALCRECT);
    GetTextMetricsW(T.Dc, &M);
    EXPECT_EQ(H, 300 * M.tmHeight);
    // A lone low surrogate is a character of its own: the break before it
    // is not moved past it, so the text still fits what was measured.
    std::u16string Lone = u"WW";
    Lone.push_back(char16_t(0xDF94));
    Lone += u"WW";
    for (int Room : {1, 2 * WidthOf(T.Dc, u"W"), 3 * WidthOf(T.Dc, u"W")}) {
        RECT Calc{10, 0, 10 + Room, 0};
        DrawTextW(T.Dc, Lone.c_str(), -1, &Calc, DT_WORDBREAK | DT_CALCRECT);
        T.Clear();
        RECT Draw = Calc;
        DrawTextW(T.Dc, Lone.c_str(), -1, &Draw, DT_WORDBREAK | DT_NOCLIP);
        EXPECT_GE(T.InkBox().left, Calc.left) << Room;
        EXPECT_LE(T.InkBox().right, Calc.right) << Room;
    }
    // A long paragraph is broken and shortened in time linear in its length.
    const std::u16string Many(100000, u'W');
    RECT Column{0, 0, 3 * WidthOf(T.Dc, u"W"), 0};
    EXPECT_EQ(DrawTextW(T.Dc, Many.c_str(), -1, &Column, DT_WORDBREAK | DT_CALCRECT), (100000 + 2) / 3 * M.tmHeight);
    RECT Line{0, 0, 300, 40};
    EXPECT_GT(DrawTextW(T.Dc, Many.c_str(), -1, &Line, DT_SINGLELINE | DT_END_ELLIPSIS), 0);
    // Tabs stop every 8 average widths, or as many as the format's second
    // byte gives with DT_TABSTOP (its bits are then no flags: 0x0400 is no
    // DT_CALCRECT there).
    RECT Tab8{0, 0, 500, 40};
    DrawTextW(T.Dc, u"\tx", -1, &Tab8, DT_EXPANDTABS | DT_SINGLELINE | DT_CALCRECT);
    EXPECT_GE(Tab8.right, 8 * M.tmAveCharWidth + WidthOf(T.Dc, u"x"));
    EXPECT_LE(Tab8.right, 8 * M.tmAveCharWidth + WidthOf(T.Dc, u"x") + 2);  // the ink may overhang
    for (int Stops : {2, 6}) {
        T.Clear();
        RECT Tab{0, 0, 100, 40};
        EXPECT_GT(DrawTextW(T.Dc, u"\tx", -1, &Tab, DT_EXPANDTABS | DT_TABSTOP | UINT(Stops << 8) | DT_SINGLELINE), 0);
        EXPECT_EQ(Tab.right, 100);
        const int Left = T.InkBox().left;
        EXPECT_GE(Left, Stops * M.tmAveCharWidth - 2);
        EXPECT_LE(Left, Stops * M.tmAveCharWidth + 3);
    }
}

#include "platform/ui/Icons.h"
#include "platform/ui/Menus.h"
#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

class WindowCaption : public WindowTest {};

// A pixel of a top-level window's framebuffer ($00BBGGRR).
COLORREF FramePixel(HWND Root, int X, int Y) {
    const TBitmap* F = GetWindowFramebuffer(Root);
    return F ? COLORREF(F->GetPixel(X, Y)) : CLR_INVALID;
}

TEST_F(WindowCaption, TitleDrawnBetweenIconAndButtonsWithEllipsis) {
    HWND Wnd = Make("top", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 320, 200);
    ASSERT_TRUE(Wnd);
    RECT Window;
    GetWindowRect(Wnd, &Window);
    POINT Origin{0, 0};
    ClientToScreen(Wnd, &Origin);
    const int Width = Window.right - Window.left;
    const int CaptionBottom = Origin.y - Window.top;
    const int Border = Origin.x - Window.left;
    // The caption band's ink: columns of pixels that are neither the
    // caption's colour nor the buttons' face.
    auto InkColumns = [&](int& First, int& Last, int& ButtonsLeft) {
        Pump();
        const int Mid = Border + GetSystemMetrics(SM_CYCAPTION) / 2;
        const COLORREF Back = FramePixel(Wnd, Border + 1, Mid), Face = GetSysColor(COLOR_BTNFACE);
        // The boxes from the right, across the gaps of a few pixels between them.
        ButtonsLeft = Width;
        for (int X = Width - Border - 3, Gap = 0; X > 0 && Gap < 4; --X) {
            if (FramePixel(Wnd, X, Mid) == Back) {
                ++Gap;
            } else {
                Gap = 0;
                ButtonsLeft = X;
            }
        }
        First = Width;
        Last = -1;
        for (int Y = Border; Y < CaptionBottom && Y < Border + GetSystemMetrics(SM_CYCAPTION) - 1; ++Y)
            for (int X = Border; X < ButtonsLeft; ++X) {
                const COLORREF C = FramePixel(Wnd, X, Y);
                if (C != Back && C != Face) {
                    First = std::min(First, X);
                    Last = std::max(Last, X);
                }
            }
    };
    int First, Last, Buttons;
    InkColumns(First, Last, Buttons);
    EXPECT_EQ(Last, -1);  // no title, no ink
    ASSERT_LT(Buttons, Width - Border - 3);

    SetWindowTextW(Wnd, kCaption);
    InkColumns(First, Last, Buttons);
    ASSERT_GE(Last, 0);
    EXPECT_GE(First, Border + 2 + GetSystemMetrics(SM_CXSMICON));
    EXPECT_LT(Last, Buttons - 1);
    const int ShortEnd = Last;
    // Letters in the caption-text colour on the caption's own background.
    {
        const int Mid = Border + GetSystemMetrics(SM_CYCAPTION) / 2;
        const COLORREF Back = FramePixel(Wnd, Border + 1, Mid);
        int Text = 0, Between = 0;
        for (int Y = Border; Y < Border + GetSystemMetrics(SM_CYCAPTION) - 1; ++Y)
            for (int X = First; X <= Last; ++X) {
                Text += FramePixel(Wnd, X, Y) == GetSysColor(COLOR_CAPTIONTEXT);
                Between += FramePixel(Wnd, X, Y) == Back;
            }
        EXPECT_GT(Text, 20);
        EXPECT_GT(Between, 100);
    }

    // A title too long for the bar ends in an ellipsis just before the buttons.
    SetWindowTextW(Wnd, (std::u16string(kCaption) + u" " + kCaption + u" " + kCaption).c_str());
    InkColumns(First, Last, Buttons);
    EXPECT_GT(Last, ShortEnd);
    EXPECT_LT(Last, Buttons - 1);
    EXPECT_GT(Last, Buttons - 24);
    DestroyWindow(Wnd);
}

// A square icon of one opaque colour.
HICON SolidIcon(int Size, COLORREF Color) {
    TBitmap Colour(Size, Size, pf24bit), Mask(Size, Size, pf1bit);
    for (int Y = 0; Y < Size; ++Y)
        for (int X = 0; X < Size; ++X) Colour.SetPixel(X, Y, TColor(Color));
    ICONINFO Info;
    Info.hbmColor = CreateBitmapObject(Colour);
    Info.hbmMask = CreateBitmapObject(Mask);
    HICON Icon = CreateIconIndirect(&Info);
    DeleteObject(Info.hbmColor);
    DeleteObject(Info.hbmMask);
    return Icon;
}

// The pixels of one caption button's glyph area (the box less its edges)
// in one colour, as a box; empty when there are none.
struct TGlyphInk {
    int Count = 0;
    RECT Box{1 << 20, 1 << 20, -1, -1};
};
TGlyphInk GlyphInk(HWND Root, RECT Button, COLORREF Color) {
    TGlyphInk Ink;
    for (int Y = Button.top + 2; Y < Button.bottom - 2; ++Y)
        for (int X = Button.left + 2; X < Button.right - 2; ++X)
            if (FramePixel(Root, X, Y) == Color) {
                ++Ink.Count;
                Ink.Box.left = std::min<LONG>(Ink.Box.left, X);
                Ink.Box.top = std::min<LONG>(Ink.Box.top, Y);
                Ink.Box.right = std::max<LONG>(Ink.Box.right, X + 1);
                Ink.Box.bottom = std::max<LONG>(Ink.Box.bottom, Y + 1);
            }
    return Ink;
}

HICON& IconAnswer() {
    static HICON I = nullptr;
    return I;
}
bool& DestroyOnIconQuery() {
    static bool B = false;
    return B;
}
// Answers WM_GETICON itself when it has an answer; may destroy itself
// when asked.
LRESULT IconProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_GETICON) {
        if (DestroyOnIconQuery()) {
            DestroyOnIconQuery() = false;
            DestroyWindow(Wnd);
            return 0;
        }
        if (IconAnswer()) return reinterpret_cast<LRESULT>(IconAnswer());
    }
    return TracingProc(Wnd, Msg, W, L);
}

TEST_F(WindowCaption, SmallIconAndButtonGlyphs) {
    // Frame 4, caption 19 from row 4; boxes 16 x 14 from row 6: close at
    // 278, maximise at 260, minimise at 244 of a 300-pixel window; the icon
    // slot 16 x 16 at (6, 5).
    const COLORREF Text = GetSysColor(COLOR_BTNTEXT), Shadow = GetSysColor(COLOR_BTNSHADOW),
                   Light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const RECT Close{278, 6, 294, 20}, Max{260, 6, 276, 20}, Min{244, 6, 260, 20};
    auto Repaint = [](HWND W) {
        RedrawWindow(W, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
        Pump();
    };

    // --- Glyphs: close, maximise and minimise, then restore when maximised ------------------------
    HWND Wnd = Make("top", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200);
    ASSERT_TRUE(Wnd);
    Repaint(Wnd);
    for (RECT B : {Close, Max, Min}) {
        EXPECT_EQ(FramePixel(Wnd, B.left + 2, B.top + 2), GetSysColor(COLOR_BTNFACE));
        EXPECT_EQ(GlyphInk(Wnd, B, Shadow).Count, 0);  // none greyed
    }
    const TGlyphInk X = GlyphInk(Wnd, Close, Text);
    const int Gx = X.Box.right - X.Box.left, Gy = X.Box.bottom - X.Box.top;
    EXPECT_EQ(Gx, Gy + 1);  // two-pixel strokes
    EXPECT_GE(Gy, 5);
    // Both diagonals: the four corners and the middle are inked, the middle
    // of each side is not.
    for (POINT P : {POINT{X.Box.left, X.Box.top}, POINT{X.Box.right - 1, X.Box.top},
                    POINT{X.Box.left, X.Box.bottom - 1}, POINT{X.Box.right - 1, X.Box.bottom - 1},
                    POINT{(X.Box.left + X.Box.right) / 2, (X.Box.top + X.Box.bottom) / 2}})
        EXPECT_EQ(FramePixel(Wnd, P.x, P.y), Text) << P.x << "," << P.y;
    EXPECT_NE(FramePixel(Wnd, (X.Box.left + X.Box.right) / 2, X.Box.top), Text);
    EXPECT_NE(FramePixel(Wnd, X.Box.left, (X.Box.top + X.Box.bottom) / 2), Text);
    // Maximise: a window outline with a thick top and an empty middle.
    const TGlyphInk M = GlyphInk(Wnd, Max, Text);
    const int Mw = M.Box.right - M.Box.left, Mh = M.Box.bottom - M.Box.top;
    EXPECT_EQ(M.Count, 3 * Mw + 2 * (Mh - 3));
    EXPECT_NE(FramePixel(Wnd, M.Box.left + Mw / 2, M.Box.top + Mh / 2), Text);
    // Minimise: a bar two pixels high in the lower half.
    const TGlyphInk N = GlyphInk(Wnd, Min, Text);
    EXPECT_EQ(N.Box.bottom - N.Box.top, 2);
    EXPECT_EQ(N.Count, 2 * (N.Box.right - N.Box.left));
    EXPECT_GT(N.Box.top, (Min.top + Min.bottom) / 2);
    // Maximised, the middle button restores: two overlapping outlines.
    ShowWindow(Wnd, SW_SHOWMAXIMIZED);
    Pump();
    RECT Wr;
    GetWindowRect(Wnd, &Wr);
    const int Wd = Wr.right - Wr.left;
    const RECT MaxNow{Wd - 4 - 2 - 16 - 2 - 16, 6, Wd - 4 - 2 - 16 - 2, 20};
    Repaint(Wnd);
    const TGlyphInk R = GlyphInk(Wnd, MaxNow, Text);
    ASSERT_GT(R.Count, 0);
    EXPECT_NE(FramePixel(Wnd, R.Box.left, R.Box.top), Text);           // the back window starts further right
    EXPECT_NE(FramePixel(Wnd, R.Box.right - 1, R.Box.bottom - 1), Text);  // the front one ends further left
    EXPECT_EQ(FramePixel(Wnd, R.Box.right - 1, R.Box.top), Text);
    EXPECT_EQ(FramePixel(Wnd, R.Box.left, R.Box.bottom - 1), Text);
    DestroyWindow(Wnd);

    // --- Greyed by style and by the system menu; a greyed button takes no click ---------------------
    Wnd = Make("nomax", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE, 100, 100, 300, 200);
    ASSERT_TRUE(Wnd);
    // A dialog frame is 3 wide: every box sits one pixel further right and up.
    const auto Shift = [](RECT B) { return RECT{B.left + 1, B.top - 1, B.right + 1, B.bottom - 1}; };
    Repaint(Wnd);
    EXPECT_EQ(GlyphInk(Wnd, Shift(Max), Text).Count, 0);
    EXPECT_GT(GlyphInk(Wnd, Shift(Max), Shadow).Count, 0);
    EXPECT_GT(GlyphInk(Wnd, Shift(Max), Light).Count, 0);  // embossed
    EXPECT_GT(GlyphInk(Wnd, Shift(Min), Text).Count, 0);
    EXPECT_GT(GlyphInk(Wnd, Shift(Close), Text).Count, 0);
    EnableMenuItem(GetSystemMenu(Wnd, FALSE), UINT(SC_CLOSE), MF_BYCOMMAND | MF_GRAYED);
    // Asking for the system menu again keeps the program's choice.
    EXPECT_TRUE(GetMenuState(GetSystemMenu(Wnd, FALSE), UINT(SC_CLOSE), MF_BYCOMMAND) & MF_GRAYED);
    Repaint(Wnd);
    EXPECT_EQ(GlyphInk(Wnd, Shift(Close), Text).Count, 0);
    EXPECT_GT(GlyphInk(Wnd, Shift(Close), Shadow).Count, 0);
    Trace().clear();
    for (RECT B : {Shift(Close), Shift(Max)}) {
        Host->Advance(1000);
        Host->MouseDown(100 + B.left + 8, 100 + B.top + 7);
        Host->MouseUp(100 + B.left + 8, 100 + B.top + 7);
        Pump();
    }
    EXPECT_TRUE(IsWindow(Wnd));
    EXPECT_FALSE(IsZoomed(Wnd));
    EXPECT_EQ(TraceOf({"SYSCOMMAND"}), std::vector<std::string>{});
    DestroyWindow(Wnd);

    // --- A pressed button looks pushed while the pointer is over it --------------------------------
    Wnd = Make("press", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200);
    Repaint(Wnd);
    static struct TProbe {
        HWND Wnd;
        RECT Box;
        COLORREF Corner;
        TGlyphInk Ink;
        std::shared_ptr<TNullHost> Host;
    } Probe;
    Probe = {Wnd, Min, CLR_INVALID, {}, Host};
    const TGlyphInk Up = GlyphInk(Wnd, Min, Text);
    Host->MouseDown(100 + Min.left + 8, 100 + Min.top + 7);
    // Looked at from inside the button's loop, then released over it.
    SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR Id, DWORD) {
        KillTimer(nullptr, Id);
        Probe.Corner = FramePixel(Probe.Wnd, Probe.Box.left, Probe.Box.top);
        Probe.Ink = GlyphInk(Probe.Wnd, Probe.Box, GetSysColor(COLOR_BTNTEXT));
        // Released away from it: raised again, and no command.
        Probe.Host->MouseMove(100 + Probe.Box.left - 60, 100 + Probe.Box.top + 7);
        Probe.Host->MouseUp(100 + Probe.Box.left - 60, 100 + Probe.Box.top + 7);
    });
    const COLORREF RaisedCorner = FramePixel(Wnd, Min.left, Min.top);
    Trace().clear();
    Pump();
    EXPECT_NE(Probe.Corner, RaisedCorner);  // sunken
    EXPECT_EQ(Probe.Ink.Box.left, Up.Box.left + 1);
    EXPECT_EQ(Probe.Ink.Box.top, Up.Box.top + 1);
    EXPECT_EQ(FramePixel(Wnd, Min.left, Min.top), RaisedCorner);
    EXPECT_EQ(GlyphInk(Wnd, Min, Text).Box.left, Up.Box.left);
    EXPECT_EQ(TraceOf({"SYSCOMMAND"}), std::vector<std::string>{});
    Probe.Host.reset();
    DestroyWindow(Wnd);

    // --- The small icon: the window's, scaled from the big one, the class's, a procedure's answer ----
    const COLORREF Red = 0x0000FF, Blue = 0xFF0000, Green = 0x00FF00, Yellow = 0x00FFFF;
    HICON SmallRed = SolidIcon(16, Red), BigBlue = SolidIcon(32, Blue), ClassGreen = SolidIcon(16, Green),
          Answer = SolidIcon(24, Yellow);
    auto IconAt = [&](HWND W, COLORREF C) {
        // The whole slot and nothing beyond it.
        return FramePixel(W, 6, 5) == C && FramePixel(W, 21, 20) == C && FramePixel(W, 22, 12) != C &&
               FramePixel(W, 5, 12) != C && FramePixel(W, 13, 4) != C;
    };
    Wnd = Make("icons", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200);
    Repaint(Wnd);
    EXPECT_FALSE(IconAt(Wnd, Red));
    SendMessageW(Wnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(BigBlue));
    Repaint(Wnd);
    EXPECT_TRUE(IconAt(Wnd, Blue));
    SendMessageW(Wnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(SmallRed));
    Repaint(Wnd);
    EXPECT_TRUE(IconAt(Wnd, Red));
    // A tool window shows none.
    HWND Tool = Make("tool", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 400, 300, 200, nullptr, WS_EX_TOOLWINDOW);
    SendMessageW(Tool, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(SmallRed));
    Repaint(Tool);
    for (int Y = 0; Y < 20; ++Y)
        for (int Xp = 0; Xp < 300; ++Xp) ASSERT_NE(FramePixel(Tool, Xp, Y), Red);
    DestroyWindow(Tool);
    DestroyWindow(Wnd);

    WNDCLASSEXW C;
    C.lpfnWndProc = IconProc;
    C.lpszClassName = u"IconClass";
    C.hIconSm = ClassGreen;
    ASSERT_TRUE(RegisterClassExW(&C));
    PendingName() = "classy";
    Wnd = CreateWindowExW(0, u"IconClass", u"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                          nullptr, nullptr, nullptr);
    ASSERT_TRUE(Wnd);
    Repaint(Wnd);
    EXPECT_TRUE(IconAt(Wnd, Green));
    IconAnswer() = Answer;
    Repaint(Wnd);
    EXPECT_TRUE(IconAt(Wnd, Yellow));
    IconAnswer() = nullptr;
    // A window that goes away while asked for its icon stops the painting
    // cleanly, from the queue and from WM_PRINT alike.
    DestroyOnIconQuery() = true;
    Repaint(Wnd);
    EXPECT_FALSE(IsWindow(Wnd));
    PendingName() = "printed";
    Wnd = CreateWindowExW(0, u"IconClass", u"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                          nullptr);
    TBitmap Into(300, 200, pf32bit);
    HDC Dc = CreateCompatibleDC(nullptr);
    HBITMAP Attached = AttachBitmapObject(Into);
    HGDIOBJ Old = SelectObject(Dc, Attached);
    DestroyOnIconQuery() = true;
    SendMessageW(Wnd, WM_PRINT, WPARAM(Dc), PRF_NONCLIENT | PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND);
    EXPECT_FALSE(IsWindow(Wnd));
    DestroyOnIconQuery() = false;
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    DetachBitmapObject(Attached);
    UnregisterClassW(u"IconClass", nullptr);
    for (HICON I : {SmallRed, BigBlue, ClassGreen, Answer}) DestroyIcon(I);
}

}  // namespace
}  // namespace velmo::uitest
