#include "forms/TextFunnel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace velmo {
namespace {

constexpr double kCharWidth = 6;

struct TRun {
    std::u16string Text;
    double X = 0, Y = 0;
    double Size = 12;
    std::string Font = "F1";
    std::string Color = "#000000";
    TPDFXForm Matrix = IdentityXForm;
};

// A run of characters kCharWidth apart in a text space that is page space
// unless the run carries a matrix.
void Add(TPDFTextFunnel& F, const TRun& R) {
    std::vector<double> Offsets;
    for (size_t j = 0; j < R.Text.size(); ++j) Offsets.push_back(R.X + kCharWidth * j);
    if (Offsets.empty()) Offsets.push_back(R.X);
    F.AddText(R.Matrix, R.Text, TPDFTextColor{R.Color, {0, 0, 0}}, R.Font, R.Size, R.X, R.Y,
              kCharWidth * R.Text.size(), R.Size, Offsets);
}

std::vector<std::u16string> Texts(const TPDFTextFunnel& F) {
    std::vector<std::u16string> T;
    for (int32_t i = 0; i < F.BlockCount(); ++i) T.push_back(F.GetBlock(i).Text);
    return T;
}

using Strings = std::vector<std::u16string>;

TEST(TextFunnel, RunsJoinAtTheEndAcrossAGapWithABlankOrStaySplit) {
    {
        TPDFTextFunnel F;
        Add(F, {u"Hel", 100, 700});
        Add(F, {u"lo", 118, 700});
        ASSERT_EQ(Texts(F), Strings{u"Hello"});
        const TPDFTextFunnelBlock B = F.GetBlock(0);
        EXPECT_EQ(B.DXoffsets, (std::vector<double>{100, 106, 112, 118, 124}));
        EXPECT_EQ(B.P1.X, 100);
        EXPECT_EQ(B.P2.X, 130);
        EXPECT_EQ(B.P3.Y, 712);
        EXPECT_EQ(B.FontName, "F1");
        EXPECT_EQ(B.MatDump, "1001");
        EXPECT_EQ(B.TextSize, 12);
    }
    {
        // 3 points is below the word-gap limit of 12 at size 12: one block
        // with a blank placed at the first run's old right edge.
        TPDFTextFunnel F;
        Add(F, {u"Hel", 100, 700});
        Add(F, {u"lo", 121, 700});
        ASSERT_EQ(Texts(F), Strings{u"Hel lo"});
        EXPECT_EQ(F.GetBlock(0).DXoffsets, (std::vector<double>{100, 106, 112, 118, 121, 127}));
        EXPECT_EQ(F.GetBlock(0).P2.X, 133);
    }
    {
        TPDFTextFunnel F;
        F.FSplitWords = true;
        Add(F, {u"Hel", 100, 700});
        Add(F, {u"lo", 121, 700});
        EXPECT_EQ(Texts(F), (Strings{u"Hel", u"lo"}));
    }
    {
        // A gap beyond the limit starts a new block.
        TPDFTextFunnel F;
        Add(F, {u"Hel", 100, 700});
        Add(F, {u"lo", 130.5, 700});
        EXPECT_EQ(Texts(F), (Strings{u"Hel", u"lo"}));
    }
}

TEST(TextFunnel, TinyGapJoinsWithoutBlank) {
    // 1.5 points: past the adjacency limit of 1.2, below 15 % of the gap limit.
    for (bool Split : {false, true}) {
        TPDFTextFunnel F;
        F.FSplitWords = Split;
        Add(F, {u"ab", 100, 700});
        Add(F, {u"cd", 113.5, 700});
        ASSERT_EQ(Texts(F), Strings{u"abcd"}) << Split;
        const std::vector<double> Want = Split ? std::vector<double>{100, 106, 112, 119.5}
                                               : std::vector<double>{100, 106, 113.5, 119.5};
        EXPECT_EQ(F.GetBlock(0).DXoffsets, Want) << Split;
    }
}

TEST(TextFunnel, StyleDecidesWhichBlocksARunMayJoin) {
    struct Case {
        const char* Name;
        TRun Second;
        bool IgnoreFont, IgnoreColor, IgnoreBlocks;
        size_t Blocks;
    };
    const TPDFXForm Scaled{2, 0, 0, 2, 0, 0};
    const Case Cases[] = {
        {"other font", {u"x", 112.5, 700, 12, "F2"}, false, false, false, 2},
        {"other font, ignored", {u"x", 112.5, 700, 12, "F2"}, true, false, false, 1},
        {"other colour", {u"x", 112.5, 700, 12, "F1", "#FF0000"}, false, false, false, 2},
        {"other colour, ignored", {u"x", 112.5, 700, 12, "F1", "#FF0000"}, false, true, false, 1},
        {"other transform",
         {u"x", 56.25, 350, 12, "F1", "#000000", Scaled},
         false,
         false,
         false,
         2},
        {"other transform, ignored",
         {u"x", 56.25, 350, 12, "F1", "#000000", Scaled},
         false,
         false,
         true,
         1},
    };
    for (const Case& C : Cases) {
        TPDFTextFunnel F;
        F.FIgnoreFont = C.IgnoreFont;
        F.FIgnoreColor = C.IgnoreColor;
        F.FIgnoreBlocks = C.IgnoreBlocks;
        Add(F, {u"ab", 100, 700});
        Add(F, C.Second);
        EXPECT_EQ(static_cast<size_t>(F.BlockCount()), C.Blocks) << C.Name;
        if (C.Blocks == 1) {
            EXPECT_EQ(F.GetBlock(0).Text, u"abx") << C.Name;
        }
    }
}

TEST(TextFunnel, OptionsChangedBetweenRunsApplyToEarlierBlocks) {
    TPDFTextFunnel F;
    Add(F, {u"ab", 100, 700, 12, "F1"});
    Add(F, {u"cd", 100, 600, 12, "F2"});
    F.FIgnoreFont = true;
    Add(F, {u"x", 112, 700, 12, "F3"});
    EXPECT_EQ(Texts(F), (Strings{u"abx", u"cd"}));
}

TEST(TextFunnel, SetNextMatchFalseStartsOneNewBlock) {
    TPDFTextFunnel F;
    Add(F, {u"ab", 100, 700});
    F.SetNextMatch(false);
    Add(F, {u"cd", 112, 700});
    Add(F, {u"ef", 124, 700});
    EXPECT_EQ(Texts(F), (Strings{u"ab", u"cdef"}));
    // The flag survives a dropped run and is spent by the next kept one.
    F.FRemoveUnderscoreLines = true;
    F.SetNextMatch(false);
    Add(F, {u"__", 136, 700});
    Add(F, {u"gh", 136, 700});
    Add(F, {u"ij", 148, 700});
    EXPECT_EQ(Texts(F), (Strings{u"ab", u"cdef", u"ghij"}));
}

TEST(TextFunnel, FirstCandidateInCreationOrderWins) {
    // Both block ends lie within reach of the run; the older block wins even
    // though the younger one is nearer and its end lies in another region.
    TPDFTextFunnel F;
    Add(F, {u"ab", 83.9, 700});  // ends at 95.9
    F.SetNextMatch(false);
    Add(F, {u"cd", 84.6, 700.5});  // ends at 96.6, younger
    Add(F, {u"x", 96.5, 700.4});
    EXPECT_EQ(Texts(F), (Strings{u"abx", u"cd"}));

    // A run starting inside a block's baseline span on exactly its line is
    // adjacent to it, however far from its end.
    TPDFTextFunnel G;
    Add(G, {u"Hello", 100, 700});
    Add(G, {u"y", 110, 700.001});
    Add(G, {u"x", 110, 700});
    EXPECT_EQ(Texts(G), (Strings{u"Hellox", u"y"}));
}

TEST(TextFunnel, SpecialMatchLooksOnlyAtTheLastBlock) {
    for (bool Special : {false, true}) {
        TPDFTextFunnel F;
        F.FSpecialMatch = Special;
        Add(F, {u"ab", 100, 700});
        Add(F, {u"cd", 100, 600});
        Add(F, {u"e", 112, 700});
        EXPECT_EQ(Texts(F), Special ? (Strings{u"ab", u"cd", u"e"}) : (Strings{u"abe", u"cd"}));
    }
}

TEST(TextFunnel, TrimWhitespaceCutsBlanksAndDropsBlankRuns) {
    TPDFTextFunnel F;
    F.FTrimWhitespace = true;
    Add(F, {u"  ab ", 100, 700});
    Add(F, {u"   ", 200, 700});
    ASSERT_EQ(Texts(F), Strings{u"ab"});
    const TPDFTextFunnelBlock B = F.GetBlock(0);
    EXPECT_EQ(B.P1.X, 112);
    EXPECT_EQ(B.P2.X, 124);
    EXPECT_EQ(B.DXoffsets, (std::vector<double>{112, 118}));
    // Trailing characters kept: the width runs to the run's end.
    Add(F, {u" cd", 300, 700});
    EXPECT_EQ(F.GetBlock(1).P1.X, 306);
    EXPECT_EQ(F.GetBlock(1).P2.X, 318);
}

TEST(TextFunnel, AreaKeepsRunsByStartOrCutsCharacters) {
    struct Case {
        const char* Name;
        bool Trim;
        TRun Run;
        Strings Want;
    };
    // Area x 0..150, y 600..800.
    const Case Cases[] = {
        {"crossing right edge, whole", false, {u"ABCDEFGH", 120, 700}, {u"ABCDEFGH"}},
        {"crossing right edge, cut", true, {u"ABCDEFGH", 120, 700}, {u"ABCDE"}},
        {"start outside", false, {u"ABCD", 160, 700}, {}},
        {"start outside, cut", true, {u"ABCD", 160, 700}, {}},
        {"crossing left edge, whole", false, {u"ABCD", -4, 700}, {}},
        {"crossing left edge, cut", true, {u"ABCD", -4, 700}, {u"BCD"}},
        {"on the top edge", false, {u"AB", 10, 800}, {u"AB"}},
        {"on the top edge, cut", true, {u"AB", 10, 800}, {}},
        {"below", false, {u"AB", 10, 599}, {}},
    };
    for (const Case& C : Cases) {
        TPDFTextFunnel F;
        F.SetArea(0, 800, 150, 200);
        F.FTrimCharsOutsideArea = C.Trim;
        Add(F, C.Run);
        EXPECT_EQ(Texts(F), C.Want) << C.Name;
        if (C.Want == Strings{u"ABCDE"}) {
            EXPECT_EQ(F.GetBlock(0).P2.X, 150);  // up to the next character's start
            EXPECT_EQ(F.GetBlock(0).DXoffsets.back(), 144);
        }
        if (C.Want == Strings{u"BCD"}) {
            EXPECT_EQ(F.GetBlock(0).P1.X, 2);
        }
    }
}

TEST(TextFunnel, IgnoreRotatedDropsClockwiseTextOnly) {
    const double Pi = std::acos(-1.0);
    struct Case {
        double Degrees;
        bool Kept;
    };
    const Case Cases[] = {{0, true},     {10, true},   {90, true},  {-0.2, true},
                          {-0.3, false}, {-10, false}, {-90, false}};
    for (const Case& C : Cases) {
        const double R = C.Degrees * Pi / 180;
        TPDFTextFunnel F;
        F.FIgnoreRotated = true;
        TRun Run{u"ab", 0, 0};
        Run.Matrix = {std::cos(R), std::sin(R), -std::sin(R), std::cos(R), 100, 700};
        Add(F, Run);
        EXPECT_EQ(F.BlockCount(), C.Kept ? 1 : 0) << C.Degrees;
    }
    // Without the option every rotation is kept.
    TPDFTextFunnel F;
    TRun Run{u"ab", 0, 0};
    Run.Matrix = {0, -1, 1, 0, 100, 700};
    Add(F, Run);
    EXPECT_EQ(F.BlockCount(), 1);
}

TEST(TextFunnel, OverlapsDropRunsOverEarlierBlocks) {
    for (bool Duplicates : {false, true}) {
        TPDFTextFunnel F;
        F.FIgnoreOverlaps = true;
        F.FIgnoreDuplicates = Duplicates;
        F.SetNextMatch(false);
        Add(F, {u"Hello", 100, 700});
        F.SetNextMatch(false);
        Add(F, {u"Hello", 101, 700.5});  // fake bold: same text over it
        F.SetNextMatch(false);
        Add(F, {u"World", 101, 700.5});
        Add(F, {u" ", 300, 700});
        EXPECT_EQ(Texts(F), Duplicates ? (Strings{u"Hello", u"World"}) : (Strings{u"Hello"}))
            << Duplicates;
    }
}

TEST(TextFunnel, ClearKeepsOptionsAndImagesAreKept) {
    TPDFTextFunnel F;
    F.FSplitWords = true;
    F.SetArea(0, 800, 600, 800);
    Add(F, {u"ab", 100, 700});
    F.AddImage({"/Im1", "5 0 R", {1, 2}, {3, 4}, {5, 6}, {7, 8}});
    EXPECT_EQ(F.ImageCount(), 1);
    EXPECT_EQ(F.GetImage(0).XObjectObjRef, "5 0 R");
    EXPECT_EQ(F.GetImage(1).XObjectName, "");
    F.Clear();
    EXPECT_EQ(F.BlockCount(), 0);
    EXPECT_EQ(F.ImageCount(), 0);
    EXPECT_TRUE(F.FSplitWords);
    EXPECT_TRUE(F.FHasArea);
    EXPECT_EQ(F.FAreaBottom, 0);
    Add(F, {u"ab", 100, 700});
    Add(F, {u"cd", 112, 700});
    EXPECT_EQ(Texts(F), Strings{u"abcd"});
    EXPECT_EQ(F.GetBlock(5).Text, u"");
    EXPECT_EQ(F.TextBlock(0), nullptr);
}

TEST(TextFunnel, FewerOffsetsThanCharactersStayInBounds) {
    TPDFTextFunnel F;
    const double Offsets[] = {100};
    F.AddText(IdentityXForm, u"abc", {"#000000", {0, 0, 0}}, "F1", 12, 100, 700, 18, 12, Offsets);
    ASSERT_EQ(F.BlockCount(), 1);
    EXPECT_EQ(F.GetBlock(0).DXoffsets, (std::vector<double>{100, 100, 100}));
}

TEST(TextFunnel, RenderersGetACollectingFunnelFromStartUp) {
    std::unique_ptr<TPDFTextFunnelBase> Made = NewTextFunnel();
    EXPECT_NE(dynamic_cast<TPDFTextFunnel*>(Made.get()), nullptr);
}

TEST(TextFunnel, FactoryMakesCollectingFunnelsOnceInstalled) {
    TextFunnelFactory() = nullptr;
    std::unique_ptr<TPDFTextFunnelBase> Base = NewTextFunnel();
    ASSERT_NE(Base, nullptr);
    EXPECT_EQ(dynamic_cast<TPDFTextFunnel*>(Base.get()), nullptr);
    // The bare funnel keeps its options and drops what it is given.
    Base->FSplitWords = true;
    Base->AddText(IdentityXForm, u"ab", {}, "F1", 12, 0, 0, 12, 12, std::vector<double>{0, 6});
    Base->SetNextMatch(false);
    EXPECT_FALSE(Base->FMatch);
    EXPECT_TRUE(Base->SplitWords());

    InstallTextFunnel();
    std::unique_ptr<TPDFTextFunnelBase> Made = NewTextFunnel();
    auto* Funnel = dynamic_cast<TPDFTextFunnel*>(Made.get());
    ASSERT_NE(Funnel, nullptr);
    Made->AddText(IdentityXForm, u"ab", {"#000000", {0, 0, 0}}, "F1", 12, 0, 0, 12, 12,
                  std::vector<double>{0, 6});
    EXPECT_EQ(Funnel->BlockCount(), 1);
}

// The rule of joining written plainly: every block is looked at in creation
// order. The funnel must give the same blocks with its index.
Strings Reference(const std::vector<TRun>& Runs, double WordGap) {
    struct B {
        std::u16string Text;
        std::string Font;
        double X1, X2, Y2;
    };
    std::vector<B> Blocks;
    for (const TRun& R : Runs) {
        const double SX = R.X, SY = R.Y;
        const double Width = kCharWidth * R.Text.size();
        int Found = -1;
        bool Blank = false;
        for (size_t k = 0; k < Blocks.size() && Found < 0; ++k) {
            const B& K = Blocks[k];
            double D = std::hypot(K.X2 - SX, K.Y2 - SY);
            if (K.X1 < SX && SX < K.X2 && SY == K.Y2) D = 0;
            if (K.Font == R.Font && D < R.Size / 10) Found = static_cast<int>(k);
        }
        for (size_t k = 0; k < Blocks.size() && Found < 0; ++k) {
            const B& K = Blocks[k];
            const double D = std::hypot(K.X2 - SX, K.Y2 - SY);
            const double Limit = R.Size * WordGap / 0.7;
            if (K.Font == R.Font && std::fabs(K.Y2 - SY) < 2 && D < Limit) {
                Found = static_cast<int>(k);
                Blank = !(D < Limit * 0.15);
            }
        }
        if (Found >= 0) {
            B& K = Blocks[static_cast<size_t>(Found)];
            K.Text += (Blank ? u" " : u"") + R.Text;
            K.X2 = SX + Width;
            K.Y2 = SY;
        } else {
            Blocks.push_back({R.Text, R.Font, SX, SX + Width, SY});
        }
    }
    Strings T;
    for (const B& K : Blocks) T.push_back(K.Text);
    return T;
}

TEST(TextFunnel, IndexedJoiningEqualsTheRuleOverEveryBlock) {
    std::mt19937 Rng(18);
    for (int Round = 0; Round < 20; ++Round) {
        // Dense runs on a small page: ends crowd the same regions, lines lie
        // less than 2 points apart, some runs start inside earlier blocks.
        std::uniform_real_distribution<double> PX(0, 120), Size(4, 40);
        std::uniform_int_distribution<int> Line(0, 40), Len(1, 4), Font(0, 2), Snap(0, 3);
        std::vector<TRun> Runs;
        for (int i = 0; i < 400; ++i) {
            TRun R;
            R.Text =
                std::u16string(static_cast<size_t>(Len(Rng)), u'a' + static_cast<char16_t>(i % 26));
            R.Size = Round % 2 ? 12 : Size(Rng);
            R.Font = "F" + std::to_string(Font(Rng));
            R.Y = Line(Rng) * 1.5;
            R.X = std::round(PX(Rng) * 4) / 4;
            if (Snap(Rng) == 0 && !Runs.empty()) {
                // Start at an earlier run's end, nearly or exactly.
                const TRun& P = Runs[static_cast<size_t>(Rng() % Runs.size())];
                R.X = P.X + kCharWidth * P.Text.size() + (Rng() % 3) * 0.5;
                R.Y = P.Y;
            }
            Runs.push_back(R);
        }
        const double WordGap = Round % 3 == 0 ? 2.5 : 0.7;
        TPDFTextFunnel F;
        F.FWordGap = WordGap;
        for (const TRun& R : Runs) Add(F, R);
        ASSERT_EQ(Texts(F), Reference(Runs, WordGap)) << "round " << Round;
    }
}

TEST(TextFunnel, JoiningStaysLinearOverManyBlocks) {
    // 100,000 runs on 1,000 lines: two adjacent runs make a word, words are
    // 3 points apart. Split into words there are 50,000 blocks; a scan of
    // every block per run would take billions of steps.
    for (bool Split : {true, false}) {
        TPDFTextFunnel F;
        F.FSplitWords = Split;
        for (int Line = 0; Line < 1000; ++Line) {
            const double Y = 10000 - 10.0 * Line;
            for (int Word = 0; Word < 50; ++Word) {
                const double X = 15.0 * Word;
                Add(F, {u"a", X, Y});
                Add(F, {u"b", X + kCharWidth, Y});
            }
        }
        if (Split) {
            ASSERT_EQ(F.BlockCount(), 50000);
            EXPECT_EQ(F.GetBlock(0).Text, u"ab");
            EXPECT_EQ(F.GetBlock(49999).Text, u"ab");
            EXPECT_EQ(F.GetBlock(49999).P1.X, 15.0 * 49);
            EXPECT_EQ(F.GetBlock(49999).P1.Y, 10000 - 10.0 * 999);
        } else {
            ASSERT_EQ(F.BlockCount(), 1000);
            std::u16string Want = u"ab";
            for (int Word = 1; Word < 50; ++Word) Want += u" ab";
            EXPECT_EQ(F.GetBlock(0).Text, Want);
            EXPECT_EQ(F.GetBlock(999).Text, Want);
            EXPECT_EQ(F.GetBlock(999).DXoffsets.size(), Want.size());
        }
    }
}

}  // namespace
}  // namespace velmo
