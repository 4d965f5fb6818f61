#include "forms/TextList.h"

#include <gtest/gtest.h>

#include <string>

namespace velmo {
namespace {

TPDFTextListItem HiItem() {
    TPDFTextListItem I;
    const double B[8] = {72, 700, 84, 700, 84, 712, 72, 712};
    std::copy(std::begin(B), std::end(B), I.Bounds);
    I.Text = u"Hi";
    I.Color = {"#000000", {0, 0, 0}};
    I.FontName = "Helvetica";
    I.FontSize = 12;
    I.Widths = {6.672, 2.664};
    return I;
}

std::u16string Lines(std::initializer_list<const char*> L) {
    std::string S;
    for (const char* Line : L) {
        if (!S.empty()) S += "\r\n";
        S += Line;
    }
    return std::u16string(S.begin(), S.end());
}

TEST(TextList, BlockRecordHasFourteenLinesPerOrigin) {
    TPDFTextList L;
    L.AddText(HiItem());
    struct Case {
        int Origin;
        double Scale;
        std::u16string Want;
    };
    const Case Cases[] = {
        {0, 1,
         Lines({"CNT:2", "FNT:Helvetica", "SIZ:12", "CLR:#000000", "TX1:72", "TY1:700", "TX2:84",
                "TY2:700", "TX3:84", "TY3:712", "TX4:72", "TY4:712", "WID:6.672,2.664", "TXT:Hi"})},
        {1, 1,
         Lines({"CNT:2", "FNT:Helvetica", "SIZ:12", "CLR:#000000", "TX1:72", "TY1:92", "TX2:84",
                "TY2:92", "TX3:84", "TY3:80", "TX4:72", "TY4:80", "WID:6.672,2.664", "TXT:Hi"})},
        {2, 1,
         Lines({"CNT:2", "FNT:Helvetica", "SIZ:12", "CLR:#000000", "TX1:540", "TY1:92", "TX2:528",
                "TY2:92", "TX3:528", "TY3:80", "TX4:540", "TY4:80", "WID:6.672,2.664", "TXT:Hi"})},
        // Scale multiplies the corners only, after the origin is moved.
        {3, 0.5,
         Lines({"CNT:2", "FNT:Helvetica", "SIZ:12", "CLR:#000000", "TX1:270", "TY1:350", "TX2:264",
                "TY2:350", "TX3:264", "TY3:356", "TX4:270", "TY4:356", "WID:6.672,2.664",
                "TXT:Hi"})},
    };
    for (const Case& C : Cases) {
        EXPECT_EQ(L.TextBlockAsString(1, C.Origin, 612, 792, C.Scale), C.Want)
            << "origin " << C.Origin;
    }
    EXPECT_EQ(L.TextBlockAsString(0, 0, 612, 792, 1), u"");
    EXPECT_EQ(L.TextBlockAsString(2, 0, 612, 792, 1), u"");
}

TEST(TextList, RecordKeepsLineBreaksOfTheTextAndRoundsNumbers) {
    TPDFTextList L;
    TPDFTextListItem I = HiItem();
    I.Text = u"a\r\nb";
    I.FontSize = 10.256;
    I.Widths = {1.23456, 0, 2, 3};
    I.Bounds[0] = 72.00004;
    L.AddText(I);
    const std::u16string R = L.TextBlockAsString(1, 0, 612, 792, 1);
    EXPECT_EQ(R.substr(0, 14), u"CNT:4\r\nFNT:Hel");
    EXPECT_NE(R.find(u"\r\nSIZ:10.26\r\n"), std::u16string::npos);
    EXPECT_NE(R.find(u"\r\nTX1:72\r\n"), std::u16string::npos);
    EXPECT_NE(R.find(u"\r\nWID:1.2346,0,2,3\r\n"), std::u16string::npos);
    // The last line is everything after TXT:, line break included.
    const size_t Txt = R.rfind(u"TXT:");
    ASSERT_NE(Txt, std::u16string::npos);
    EXPECT_EQ(R.substr(Txt), u"TXT:a\r\nb");
}

TEST(TextList, GettersAnswerOneBasedAndMinusOneOutOfRange) {
    TPDFTextList L;
    EXPECT_EQ(L.TextCount(), 0);
    L.AddText(HiItem());
    TPDFTextListItem Empty;
    Empty.Color = {"00FF0000", {0, 1, 0, 0}};
    L.AddText(Empty);
    EXPECT_EQ(L.TextCount(), 2);

    EXPECT_EQ(L.TextString(1), u"Hi");
    EXPECT_EQ(L.TextString(0), u"");
    EXPECT_EQ(L.TextString(3), u"");
    EXPECT_EQ(L.TextFontName(1), "Helvetica");
    EXPECT_EQ(L.TextFontName(-1), "");
    EXPECT_EQ(L.TextFontSize(1), 12);
    EXPECT_EQ(L.TextFontSize(3), -1);

    EXPECT_EQ(L.TextBounds(1, 1), 72);
    EXPECT_EQ(L.TextBounds(1, 6), 712);
    EXPECT_EQ(L.TextBounds(1, 8), 712);
    EXPECT_EQ(L.TextBounds(1, 0), -1);
    EXPECT_EQ(L.TextBounds(1, 9), -1);
    EXPECT_EQ(L.TextBounds(3, 1), -1);

    EXPECT_EQ(L.TextColorType(1), 3);
    EXPECT_EQ(L.TextColorType(2), 4);
    EXPECT_EQ(L.TextColorType(0), -1);
    EXPECT_EQ(L.TextColor(2, 2), 1);
    EXPECT_EQ(L.TextColor(2, 5), -1);
    EXPECT_EQ(L.TextColor(1, 0), -1);

    EXPECT_EQ(L.TextCharWidth(1, 1), 6.672);
    EXPECT_EQ(L.TextCharWidth(1, 2), 2.664);
    EXPECT_EQ(L.TextCharWidth(1, 3), -1);
    EXPECT_EQ(L.TextCharWidth(1, 0), -1);
    EXPECT_EQ(L.TextCharWidth(2, 1), -1);  // empty text
}

TEST(TextList, CharWidthOfATextLongerThanItsWidthsIsMinusOne) {
    TPDFTextList L;
    TPDFTextListItem I = HiItem();
    I.Text = u"Hi!";
    L.AddText(I);
    EXPECT_EQ(L.TextCharWidth(1, 2), 2.664);
    EXPECT_EQ(L.TextCharWidth(1, 3), -1);
}

}  // namespace
}  // namespace velmo
