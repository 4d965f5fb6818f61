// The sfnt parser over fixture fonts: tables as read, odd and truncated data.
#include "fonts/TrueTypeParser.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "tests/fonts/SfntWriter.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using namespace velmo::test;

std::string Square(int X0, int Y0, int Size) {
    return SimpleGlyph({{{X0, Y0}, {X0 + Size, Y0}, {X0 + Size, Y0 + Size}, {X0, Y0 + Size}}});
}

TTestFont SmallFont() {
    TTestFont F;
    F.UnitsPerEm = 2048;
    F.Glyphs = {"", Square(0, 0, 100), Square(10, 10, 50)};
    F.Advances = {1024, 2048, 512};
    F.PostNames = {".notdef", "A", "myglyph"};
    F.Cmaps = {{3, 1, CmapFormat4({{0x41, 1}, {0x42, 2}})}};
    return F;
}

TEST(TrueTypeParser, ReadsTheTablesOfASmallFont) {
    TPDFTrueTypeParser P;
    P.LoadFromString(SmallFont().Build());
    EXPECT_EQ(P.GlyphCount(), 3);
    EXPECT_EQ(P.GetHeadTable().unitsPerEm, 2048);
    EXPECT_EQ(P.GetWidth(0), 500);
    EXPECT_EQ(P.GetWidth(1), 1000);
    EXPECT_EQ(P.GetWidth(2), 250);
    EXPECT_EQ(P.GetWidth(7), 250) << "beyond the widths: the last one";
    EXPECT_EQ(P.GetWidth(-1), 750);
    EXPECT_EQ(P.HasPostName("myglyph"), 2);
    EXPECT_EQ(P.HasPostName("A"), 1);
    EXPECT_EQ(P.HasPostName("B"), -1);
    EXPECT_EQ(P.hheaTable().Ascender, 800 * 1000 / 2048);
    EXPECT_EQ(P.hheaTable().Descender, -200 * 1000 / 2048) << "truncates toward zero";
    const TPDFTTglyfTable G = P.GetGlyphData(2);
    ASSERT_EQ(G.numberOfContours, 1);
    ASSERT_EQ(G.Points.size(), 4u);
    EXPECT_EQ(G.Points[2].X, 60);
    EXPECT_EQ(G.Points[2].Y, 60);
    EXPECT_EQ(G.xMax, 60);
    EXPECT_EQ(P.GetGlyphData(0).numberOfContours, 0);
    EXPECT_EQ(P.GetGlyphData(3).numberOfContours, 0);
    EXPECT_EQ(P.GetGlyphData(-1).numberOfContours, 0);
    const int32_t C = P.Findcmap(3, 1);
    ASSERT_GE(C, 0);
    EXPECT_EQ(P.Getcmap(C).GlyphOfCode(0x42), 2);
    EXPECT_EQ(P.Getcmap(C).GlyphOfCode(0x43), -1);
    EXPECT_EQ(P.Getcmap(99).platformID, 0);
    EXPECT_TRUE(P.Getcmap(99).Codes.empty());
}

TEST(TrueTypeParser, MacGlyphNamesAreTheStandardOrder) {
    EXPECT_STREQ(kMacGlyphNames[0], ".notdef");
    EXPECT_STREQ(kMacGlyphNames[3], "space");
    EXPECT_STREQ(kMacGlyphNames[36], "A");
    EXPECT_STREQ(kMacGlyphNames[257], "dcroat");
    for (const char* N : kMacGlyphNames) ASSERT_NE(N, nullptr);
}

TEST(TrueTypeParser, HeadLocaAndPostVariants) {
    {  // no head: 2048 units per em
        TSfntWriter W;
        W.AddTable("maxp", MaxpTable(1));
        TPDFTrueTypeParser P;
        P.LoadFromString(W.Build());
        EXPECT_EQ(P.GetHeadTable().unitsPerEm, 2048);
    }
    {  // loca format 256 reads long offsets; one above FFFFFF reads as 0;
       // a pair that falls gives the glyph of their difference
        const std::string G = Square(0, 0, 10);
        TSfntWriter W;
        W.AddTable("head", HeadTable(1000, 256));
        W.AddTable("maxp", MaxpTable(3));
        W.AddTable("loca", BE32(uint32_t(G.size())) + BE32(0) + BE32(0x1000000) + BE32(0));
        W.AddTable("glyf", G + G);
        TPDFTrueTypeParser P;
        P.LoadFromString(W.Build());
        ASSERT_EQ(P.GlyphOffsets().size(), 4u);
        EXPECT_EQ(P.GlyphOffsets()[2], 0u);
        EXPECT_EQ(P.GetGlyphData(0).Points.size(), 4u) << "start 34, length |0 - 34|";
        EXPECT_EQ(P.GetGlyphData(1).numberOfContours, 0);
    }
    {  // a loca format the font does not define: every offset 0
        TSfntWriter W;
        W.AddTable("head", HeadTable(1000, 2));
        W.AddTable("maxp", MaxpTable(2));
        W.AddTable("loca", BE32(0) + BE32(20) + BE32(40));
        TPDFTrueTypeParser P;
        P.LoadFromString(W.Build());
        EXPECT_EQ(P.GlyphOffsets(), std::vector<uint32_t>(3, 0));
    }
    struct TCase {
        uint32_t Version;
        bool WithCmap;
        size_t Names;
        const char* Name1;
    };
    for (const TCase& C : {TCase{0x00010000, false, 3, ".null"}, TCase{0x00030000, false, 0, ""},
                           TCase{0x00030000, true, 3, ""}, TCase{0x00040000, false, 3, ""}}) {
        SCOPED_TRACE(C.Version);
        TSfntWriter W;
        W.AddTable("head", HeadTable(1000));
        W.AddTable("maxp", MaxpTable(3));
        W.AddTable("post", PostTableVersion(C.Version));
        if (C.WithCmap) W.AddTable("cmap", CmapTable({}));
        TPDFTrueTypeParser P;
        P.LoadFromString(W.Build());
        ASSERT_EQ(P.postTable().GlyphNames.size(), C.Names);
        if (C.Names) {
            EXPECT_EQ(P.postTable().GlyphNames[1], C.Name1);
        }
        EXPECT_EQ(P.HasPostName("A"), -1);
    }
    {  // post 2.5: offsets from the standard order
        TSfntWriter W;
        W.AddTable("head", HeadTable(1000));
        W.AddTable("maxp", MaxpTable(3));
        W.AddTable("post", PostTableVersion(0x00028000) + BE16(3) + std::string("\x00\x23\x23", 3));
        TPDFTrueTypeParser P;
        P.LoadFromString(W.Build());
        EXPECT_EQ(P.postTable().GlyphNames[0], "") << "index 0 gives no name";
        EXPECT_EQ(P.postTable().GlyphNames[1], "A");
        EXPECT_EQ(P.postTable().GlyphNames[2], "B");
    }
}

TEST(TrueTypeParser, CmapFormatsAndLookups) {
    std::string Format4Tail =  // segment F000..FFFF, dropped entirely
        CmapFormat4({{0x20, 3}});
    TSfntWriter W;
    W.AddTable("head", HeadTable(1000));
    W.AddTable("maxp", MaxpTable(10));
    // (3,0) F000..FFFF as one segment: end FFFF drops it whatever its start.
    std::string Dropped = BE16(4) + BE16(24) + BE16(0) + BE16(2) + BE16(0) + BE16(0) + BE16(0) +
                          BE16(0xFFFF) + BE16(0) + BE16(0xF000) + BE16(1) + BE16(0);
    W.AddTable("cmap", CmapTable({{1, 0, CmapFormat0({{65, 5}, {66, 6}})},
                                  {3, 0, Dropped},
                                  {3, 1, CmapFormat4({{0x41, 1}})},
                                  {3, 1, CmapFormat6(0x30, {7, 8, 9})},
                                  {0, 3, Format4Tail},
                                  {3, 10, BE16(12) + BE16(0) + BE32(0)}}));
    TPDFTrueTypeParser P;
    P.LoadFromString(W.Build());
    ASSERT_EQ(P.cmapTable().encodingRecords.size(), 6u);
    EXPECT_EQ(P.Findcmap(3, 1), 3) << "the last of two (3,1) subtables";
    EXPECT_EQ(P.FindUnicodecmap(), 4);
    EXPECT_EQ(P.Findcmap(7, 7), -1);
    const auto& F0 = P.Getcmap(0);
    EXPECT_EQ(F0.Codes.size(), 256u);
    EXPECT_EQ(F0.GlyfID[66], 6);
    EXPECT_TRUE(P.Getcmap(1).Codes.empty());
    EXPECT_EQ(P.Getcmap(3).GlyphOfCode(0x31), 8);
    EXPECT_EQ(P.Getcmap(3).GlyphOfLowByte(0x32), 9);
    EXPECT_EQ(P.Getcmap(5).format, 12);
    EXPECT_TRUE(P.Getcmap(5).Codes.empty()) << "other formats give no codes";
    EXPECT_EQ(P.postTable().GlyphNames.size(), 10u) << "a cmap table sizes the names";
}

TEST(TrueTypeParser, CollectionsReadTheChosenFace) {
    TSfntWriter A, B;
    A.AddTable("head", HeadTable(1000));
    A.AddTable("maxp", MaxpTable(4));
    B.AddTable("head", HeadTable(2000));
    B.AddTable("maxp", MaxpTable(9));
    const std::string C = Collection({A, B});
    TPDFTrueTypeParser P;
    P.LoadFromString(C);
    EXPECT_EQ(P.ttcfTable().numFonts, 2u);
    EXPECT_EQ(P.GlyphCount(), 4);
    P.LoadFromString(C, 1);
    EXPECT_EQ(P.GlyphCount(), 9);
    EXPECT_EQ(P.GetHeadTable().unitsPerEm, 2000);
    P.LoadFromString(C, 2);
    EXPECT_TRUE(P.TableDirectory().empty());
    // numFonts 0: the four bytes after the header are the sfnt version.
    const std::string Font = A.Build(0x00010000, 12);
    P.LoadFromString(BE32(0x74746366) + BE32(0x00010000) + BE32(0) + Font);
    EXPECT_EQ(P.GlyphCount(), 4);
}

TEST(TrueTypeParser, UnknownVersionsAndEmptyDataLeaveNoTables) {
    TPDFTrueTypeParser P;
    P.LoadFromString("");
    EXPECT_EQ(P.GlyphCount(), 0);
    EXPECT_EQ(P.GetWidth(0), 750);
    TSfntWriter W;
    W.AddTable("maxp", MaxpTable(3));
    P.LoadFromString(W.Build(0x00020000));
    EXPECT_TRUE(P.TableDirectory().empty());
    for (const char* Tag : {"true", "OTTO", "typ1"}) {
        const uint32_t V = uint32_t(uint8_t(Tag[0])) << 24 | uint32_t(uint8_t(Tag[1])) << 16 |
                           uint32_t(uint8_t(Tag[2])) << 8 | uint8_t(Tag[3]);
        P.LoadFromString(W.Build(V));
        EXPECT_EQ(P.GlyphCount(), 3) << Tag;
    }
}

TEST(TrueTypeParser, UnitsPerEmZeroScalesAsAThousand) {
    TTestFont F = SmallFont();
    F.UnitsPerEm = 0;
    TPDFTrueTypeParser P;
    P.LoadFromString(F.Build());
    EXPECT_EQ(P.GetHeadTable().unitsPerEm, 0);
    EXPECT_EQ(P.ScalingUnitsPerEm(), 1000u);
    EXPECT_EQ(P.GetWidth(1), 2048);
    EXPECT_EQ(P.hheaTable().Ascender, 800);
}

TEST(TrueTypeParser, NameTableTextGoesThroughTheAnsiCodePage) {
    const std::string Full = "Caf\xE9 \x80";
    std::string Name = BE16(0) + BE16(3) + BE16(6 + 3 * 12);
    Name += BE16(3) + BE16(1) + BE16(0x409) + BE16(4) + BE16(4) + BE16(0);  // other platform
    Name += BE16(1) + BE16(0) + BE16(0) + BE16(4) + BE16(uint32_t(Full.size())) + BE16(4);
    Name += BE16(1) + BE16(0) + BE16(0) + BE16(1) + BE16(4) + BE16(0);  // family, not full
    Name += "Xxxx" + Full;
    TSfntWriter W;
    W.AddTable("name", Name);
    TPDFTrueTypeParser P;
    P.LoadFromString(W.Build());
    P.ReadNameTable();
    EXPECT_EQ(P.FontName(), u"Caf\u00e9 \u20ac");
}

TEST(TrueTypeParserFaults, NameStringsBeyondTheTableAreSkipped) {
    // stringOffset and the record's offset point far past the table.
    std::string Name = BE16(0) + BE16(2) + BE16(0xFF00);
    Name += BE16(1) + BE16(0) + BE16(0) + BE16(4) + BE16(0) + BE16(0xFF00);
    Name += BE16(1) + BE16(0) + BE16(0) + BE16(4) + BE16(3) + BE16(0xFFF0);
    TSfntWriter W;
    W.AddTable("name", Name);
    TPDFTrueTypeParser P;
    P.LoadFromString(W.Build());
    P.SetFontName(u"kept");
    P.ReadNameTable();
    EXPECT_EQ(P.FontName(), u"kept");
}

TEST(TrueTypeParser, CffDataAndShiftedOffsets) {
    TSfntWriter W;
    W.AddTable("CFF ", "cffbytes");
    W.AddTable("maxp", MaxpTable(1));
    std::string Font = W.Build(0x4F54544F);
    TPDFTrueTypeParser P;
    P.LoadFromString(Font);
    EXPECT_EQ(P.GetCFFData(), "cffbytes");
    EXPECT_EQ(P.GetCFFDataPosition(), 12u + 32u);
    // Cut out of a collection 100 bytes in: offsets shifted back.
    std::string Shifted = W.Build(0x4F54544F, 100);
    TPDFTrueTypeParser Q;
    Q.ShiftTableOffsets(Shifted, 100);
    EXPECT_TRUE(Q.OnlyTables);
    EXPECT_EQ(Shifted, Font);
    // The same through TableOffset.
    TPDFTrueTypeParser R;
    R.TableOffset = 100;
    R.LoadFromString(W.Build(0x4F54544F, 100));
    EXPECT_EQ(R.GetCFFData(), "cffbytes");
    EXPECT_EQ(R.GlyphCount(), 1);
}

TEST(TrueTypeParser, CompositeComponentsAndScales) {
    TSfntComponent A{2 | 1, 1, -300, 400, {}};
    TSfntComponent B{2 | 8, 1, 5, -6, {0.5}};
    TSfntComponent C{2 | 64, 1, 0, 0, {0.5, -1}};
    TSfntComponent D{2 | 1 | 128, 1, 0, 0, {0.25, 0.5, -0.5, 1.5}};
    TTestFont F;
    F.Glyphs = {"", Square(0, 0, 10), CompositeGlyph({A, B, C, D})};
    F.Advances = {500};
    TPDFTrueTypeParser P;
    P.LoadFromString(F.Build());
    const TPDFTTglyfTable G = P.GetGlyphData(2);
    EXPECT_EQ(G.numberOfContours, 0);
    ASSERT_EQ(G.Composites.size(), 4u);
    EXPECT_EQ(G.Composites[0].argument1, -300);
    EXPECT_EQ(G.Composites[0].argument2, 400);
    EXPECT_EQ(G.Composites[0].xscale, 1.0);
    EXPECT_EQ(G.Composites[0].yscale, 1.0);
    EXPECT_EQ(G.Composites[0].scale01, 0.0);
    EXPECT_EQ(G.Composites[1].argument2, -6) << "byte arguments are signed";
    EXPECT_EQ(G.Composites[1].xscale, 0.5);
    EXPECT_EQ(G.Composites[1].yscale, 0.5);
    EXPECT_EQ(G.Composites[2].xscale, 0.5);
    EXPECT_EQ(G.Composites[2].yscale, -1.0);
    EXPECT_EQ(G.Composites[3].xscale, 0.25);
    EXPECT_EQ(G.Composites[3].scale01, 0.5);
    EXPECT_EQ(G.Composites[3].scale10, -0.5);
    EXPECT_EQ(G.Composites[3].yscale, 1.5);
}

// Lengths read from the file never reach past its table or its data: each
// case is a small font with one count or length made huge or cut short.
// Packed flags: short deltas of both signs, coordinates the same as before,
// a repeated flag and long deltas. The glyph decodes alike with a byte of
// padding after it; cut two bytes short (glyphs are padded to even
// lengths), the missing deltas read as zero and the rest as before.
TEST(TrueTypeParser, PackedFlagsAndCoordinates) {
    const std::string Packed = BE16(1) + BE16(0) + BE16(0) + BE16(0) + BE16(0) + BE16(4) +
                               BE16(0) +                                    // one contour, no code
                               std::string("\x13\x26\x1D\x01\x21", 5) +     // flags, one repeat
                               std::string("\x05\x07", 2) + BE16(0xFC18) +  // x: +5, -7, -1000
                               BE16(300) + std::string("\x09\x03\x03", 3);  // y: 300, +9, -3, -3
    const struct {
        const char* What;
        std::string Glyph;
        std::array<int, 5> Y;
    } Cases[] = {
        {"whole", Packed, {300, 309, 306, 303, 303}},
        {"padded", Packed + std::string(2, '\0'), {300, 309, 306, 303, 303}},
        {"cut", Packed.substr(0, Packed.size() - 2), {300, 309, 309, 309, 309}},
    };
    for (const auto& C : Cases) {
        TTestFont F;
        F.Glyphs = {C.Glyph};
        F.Advances = {500};
        TPDFTrueTypeParser P;
        P.LoadFromString(F.Build());
        const TPDFTTglyfTable G = P.GetGlyphData(0);
        ASSERT_EQ(G.Points.size(), 5u) << C.What;
        const int X[] = {5, -2, -2, -2, -1002};
        const uint8_t On[] = {1, 0, 1, 1, 1};
        for (size_t K = 0; K < 5; ++K) {
            EXPECT_EQ(G.Points[K].X, X[K]) << C.What << " point " << K;
            EXPECT_EQ(G.Points[K].Y, C.Y[K]) << C.What << " point " << K;
            EXPECT_EQ(G.Flags[K] & 1, On[K]) << C.What << " point " << K;
        }
    }
}

// Decoding into a glyph that held another gives what a fresh decode gives.
TEST(TrueTypeParser, GlyphsDecodedIntoOneRecord) {
    TTestFont F;
    F.Glyphs = {"", Square(0, 0, 100),
                SimpleGlyph({{{0, 0, false}, {10, 0}, {10, 10}}, {{1, 1}, {2, 2}}}),
                CompositeGlyph({{2 | 1, 1, 5, 6, {}}, {2 | 1 | 8, 2, 0, 0, {0.5}}})};
    F.Advances = {500};
    TPDFTrueTypeParser P;
    P.LoadFromString(F.Build());
    TPDFTTglyfTable Reused;
    for (const int32_t I : {3, 2, 1, 0, 3, 2, 7, 1}) {
        P.GetGlyphData(I, Reused);
        const TPDFTTglyfTable Fresh = P.GetGlyphData(I);
        EXPECT_EQ(Reused.numberOfContours, Fresh.numberOfContours) << I;
        EXPECT_EQ(Reused.xMax, Fresh.xMax) << I;
        EXPECT_EQ(Reused.endPtsOfContours, Fresh.endPtsOfContours) << I;
        EXPECT_EQ(Reused.Flags, Fresh.Flags) << I;
        ASSERT_EQ(Reused.Points.size(), Fresh.Points.size()) << I;
        for (size_t K = 0; K < Fresh.Points.size(); ++K) {
            EXPECT_EQ(Reused.Points[K].X, Fresh.Points[K].X) << I;
            EXPECT_EQ(Reused.Points[K].Y, Fresh.Points[K].Y) << I;
        }
        ASSERT_EQ(Reused.Composites.size(), Fresh.Composites.size()) << I;
        for (size_t K = 0; K < Fresh.Composites.size(); ++K) {
            EXPECT_EQ(Reused.Composites[K].glyphIndex, Fresh.Composites[K].glyphIndex) << I;
            EXPECT_EQ(Reused.Composites[K].xscale, Fresh.Composites[K].xscale) << I;
        }
    }
}

TEST(TrueTypeParserFaults, LengthsAreBoundedByTheirTableAndTheData) {
    const double Start = vpltest::ThreadSeconds();
    {  // collection count and numTables far beyond the data
        TPDFTrueTypeParser P;
        P.LoadFromString(BE32(0x74746366) + BE32(0x00010000) + BE32(0xFFFFFFFF) + BE32(16) +
                         BE32(0x00010000) + BE16(0xFFFF) + BE16(0) + BE16(0) + BE16(0));
        EXPECT_EQ(P.ttcfTable().offsets.size(), 4u);
        EXPECT_TRUE(P.TableDirectory().empty());
    }
    {  // maxp numGlyphs 65535 with a short loca, glyf and hmtx
        TSfntWriter W;
        W.AddTable("head", HeadTable(1000, 0));
        W.AddTable("maxp", MaxpTable(0xFFFF));
        W.AddTable("loca", BE16(0) + BE16(uint32_t(Square(0, 0, 5).size() / 2)));
        W.AddTable("glyf", Square(0, 0, 5));
        W.AddTable("hhea", HheaTable(0x7FFF));
        W.AddTable("hmtx", HmtxTable({600, 700}));
        TPDFTrueTypeParser P;
        P.LoadFromString(W.Build());
        EXPECT_EQ(P.GetGlyphData(0).Points.size(), 4u);
        EXPECT_EQ(P.GetGlyphData(1).numberOfContours, 0) << "offsets past loca read as 0";
        EXPECT_EQ(P.hmtxTable().Widths.size(), 2u);
        EXPECT_EQ(P.GetWidth(40000), 700);
    }
    {  // glyph flags, points and contour ends cut short
        std::string G = Square(0, 0, 10);
        TTestFont F;
        F.Glyphs = {G.substr(0, 11), G.substr(0, 20), G.substr(0, 26), G};
        F.Advances = {500};
        TPDFTrueTypeParser P;
        P.LoadFromString(F.Build());
        for (int I = 0; I < 3; ++I) {
            const TPDFTTglyfTable T = P.GetGlyphData(I);
            EXPECT_EQ(T.Points.size(), T.numberOfContours ? 4u : 0u) << I;
            EXPECT_EQ(T.Flags.size(), T.Points.size()) << I;
        }
        EXPECT_EQ(P.GetGlyphData(0).numberOfContours, 0) << "contour end cut";
        const TPDFTTglyfTable T = P.GetGlyphData(2);
        EXPECT_EQ(T.Points[1].X, 10) << "read before the cut";
        EXPECT_EQ(T.Points[3].Y, 0) << "missing deltas are zero";
    }
    {  // post 2.0: a count and name indices far beyond the table
        TSfntWriter W;
        W.AddTable("head", HeadTable(1000));
        W.AddTable("maxp", MaxpTable(3));
        W.AddTable("post", PostTableVersion(0x00020000) + BE16(0xFFFF) + BE16(36) + BE16(0xFFFF) +
                               BE16(258) +
                               std::string("\x03"
                                           "abc",
                                           4));
        TPDFTrueTypeParser P;
        P.LoadFromString(W.Build());
        const auto& N = P.postTable().GlyphNames;
        ASSERT_EQ(N.size(), 3u);
        EXPECT_EQ(N[0], "A");
        EXPECT_EQ(N[1], "") << "custom name 65277 is not there";
        EXPECT_EQ(N[2], "") << "the table ends inside the indices";
    }
    {  // format 4: segCount beyond the subtable; a glyph-array count that
       // would wrap; an idRangeOffset index outside the array gives glyph 0
        std::string Huge = BE16(4) + BE16(24) + BE16(0) + BE16(0xFFFE) + BE16(0) + BE16(0) +
                           BE16(0) + BE16(0x41) + BE16(0) + BE16(0x41) + BE16(0) + BE16(0);
        std::string Wrap = BE16(4) + BE16(8) + BE16(0) + BE16(4) + BE16(0) + BE16(0) + BE16(0) +
                           BE16(0x50) + BE16(0xFFFF) + BE16(0) + BE16(0x50) + BE16(0xFFFF) +
                           BE16(0) + BE16(1) + BE16(0x7000) + BE16(0) + BE16(7) + BE16(9);
        TSfntWriter W;
        W.AddTable("head", HeadTable(1000));
        W.AddTable("maxp", MaxpTable(3));
        W.AddTable("cmap", CmapTable({{3, 1, Huge}, {3, 0, Wrap}}));
        TPDFTrueTypeParser P;
        P.LoadFromString(W.Build());
        EXPECT_TRUE(P.Getcmap(0).Codes.empty());
        ASSERT_EQ(P.Getcmap(1).Codes.size(), 1u);
        EXPECT_EQ(P.Getcmap(1).GlyphOfCode(0x50), 0);
    }
    {  // a table whose length runs past the end of the file
        std::string Font = SmallFont().Build();
        for (size_t Cut : {size_t(60), size_t(150), Font.size() - 40, Font.size() - 3}) {
            TPDFTrueTypeParser P;
            P.LoadFromString(Font.substr(0, Cut));
            for (int I = 0; I < P.GlyphCount(); ++I) P.GetGlyphData(I);
        }
    }
    EXPECT_LT(vpltest::ThreadSeconds() - Start, 5);
}

TEST(TrueTypeParserFaults, MoreThan32767MetricsKeepTheirWidths) {
    // numberOfHMetrics is unsigned: large CJK fonts have 40000 and more.
    std::vector<uint16_t> Advances(40000, 1000);
    Advances[39999] = 500;
    TSfntWriter W;
    W.AddTable("head", HeadTable(1000));
    W.AddTable("maxp", MaxpTable(40000));
    W.AddTable("hhea", HheaTable(40000));
    W.AddTable("hmtx", HmtxTable(Advances));
    TPDFTrueTypeParser P;
    P.LoadFromString(W.Build());
    EXPECT_EQ(P.hheaTable().numberOfHMetrics, 40000);
    EXPECT_EQ(P.GetWidth(0), 1000);
    EXPECT_EQ(P.GetWidth(39999), 500);
}

TEST(TrueTypeParserFaults, OverlappingFormat4SegmentsKeepTheFirstGlyphPerCode) {
    // 200 segments, each 0000..FFFE with its own delta: every code once,
    // with the glyph of the first segment, and quickly.
    const uint32_t N = 200;
    std::string S =
        BE16(4) + BE16(16 + 8 * N) + BE16(0) + BE16(2 * N) + BE16(0) + BE16(0) + BE16(0);
    for (uint32_t I = 0; I < N; ++I) S += BE16(0xFFFE);
    S += BE16(0);
    for (uint32_t I = 0; I < N; ++I) S += BE16(I == 1 ? 0x10 : 0);
    for (uint32_t I = 0; I < N; ++I) S += BE16(I + 1);
    for (uint32_t I = 0; I < N; ++I) S += BE16(0);
    TSfntWriter W;
    W.AddTable("maxp", MaxpTable(3));
    W.AddTable("cmap", CmapTable({{3, 1, S}}));
    const double Start = vpltest::ThreadSeconds();
    TPDFTrueTypeParser P;
    P.LoadFromString(W.Build());
    EXPECT_LT(vpltest::ThreadSeconds() - Start, 2);
    const auto& R = P.Getcmap(0);
    EXPECT_EQ(R.Codes.size(), 0xFFFFu);
    EXPECT_EQ(R.GlyphOfCode(0x41), 0x42);
    EXPECT_EQ(R.GlyphOfCode(0), 1);
    EXPECT_EQ(R.GlyphOfLowByte(0x41), 0x42);

    // A later segment overlapping an earlier one: the codes of the earlier
    // keep their glyphs, the others come in the later one's order.
    std::string T = BE16(4) + BE16(16 + 8 * 3) + BE16(0) + BE16(6) + BE16(0) + BE16(0) + BE16(0);
    T += BE16(0x42) + BE16(0x44) + BE16(0xFFFF) + BE16(0);
    T += BE16(0x41) + BE16(0x40) + BE16(0xFFFF);
    T += BE16(0x100) + BE16(0x200) + BE16(1);
    T += BE16(0) + BE16(0) + BE16(0);
    TSfntWriter W2;
    W2.AddTable("cmap", CmapTable({{3, 1, T}}));
    P.LoadFromString(W2.Build());
    const auto& R2 = P.Getcmap(0);
    EXPECT_EQ(R2.Codes, (std::vector<uint16_t>{0x41, 0x42, 0x40, 0x43, 0x44}));
    EXPECT_EQ(R2.GlyfID, (std::vector<uint16_t>{0x141, 0x142, 0x240, 0x243, 0x244}));
}

}  // namespace
}  // namespace velmo
