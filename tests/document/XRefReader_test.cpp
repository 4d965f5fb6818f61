#include "document/XRefReader.h"

#include <gtest/gtest.h>

#include "core/Flate.h"
#include "tests/document/PdfBuilder.h"

namespace velmo {
namespace {

using vpltest::PdfBuilder;

// Records what the reader reports.
struct Recorder {
    std::vector<std::string> items;  // "O N G T"
    std::vector<std::string> trailers;
    std::vector<int64_t> reads;
    void Attach(TPDFXRefReader& r) {
        r.OnXRefItem = [this](int O, int64_t N, int G, char T) {
            items.push_back(std::to_string(O) + " " + std::to_string(N) + " " + std::to_string(G) +
                            " " + T);
        };
        r.OnXRefTrailer = [this](const std::string& T) { trailers.push_back(T); };
        r.OnXRefRead = [this](int64_t P) { reads.push_back(P); };
    }
};

TEST(XRefReader, FindXRefPos) {
    struct Case {
        const char* name;
        std::string data;
        int64_t expected;
    } cases[] = {
        {"plain", "xx\nstartxref\n123\n%%EOF\n", 123},
        {"garbage after end", "startxref\n77\n%%EOF\n" + std::string(1000, 'g'), 77},
        {"much garbage after end", "startxref\n78\n%%EOF\n" + std::string(5000, 'g'), 78},
        {"cut end marker", "startxref\n55\n%%E", 55},
        {"two startxref", "startxref\n10\n%%EOF\nstartxref\n20\n%%EOF\n", 20},
        {"comment after value", "startxref\n99 % note\n%%EOF", 99},
        {"two number lines", "startxref\n5\n6\n%%EOF", 6},
        {"no end marker", "startxref\n5\n", 0},
        {"no startxref", "xref\n%%EOF", 0},
        {"not a number", "startxref\nabc\n%%EOF", 0},
        {"64-bit value", "startxref\n5000000000\n%%EOF", 5000000000LL},
        {"empty", "", 0},
        {"far startxref", "startxref\n31\n" + std::string(3000, '\n') + "%%EOF", 31},
    };
    for (const auto& c : cases) {
        TPDFXRefReader r(c.data);
        EXPECT_EQ(r.FindXRefPos(), c.expected) << c.name;
    }
}

TEST(XRefReader, ClassicTableEntriesAndTrailer) {
    const std::string pdf = vpltest::MinimalPdf();
    TPDFXRefReader r(pdf);
    Recorder rec;
    rec.Attach(r);
    const int64_t start = r.FindXRefPos();
    EXPECT_EQ(static_cast<size_t>(start), pdf.find("xref\n"));
    EXPECT_TRUE(r.ReadXRef(start));
    ASSERT_EQ(rec.items.size(), 4u);
    EXPECT_EQ(rec.items[0], "0 0 65535 f");
    EXPECT_EQ(rec.items[1], "1 9 0 n");
    ASSERT_EQ(rec.trailers.size(), 1u);
    EXPECT_NE(rec.trailers[0].find("/Root 1 0 R"), std::string::npos);
    EXPECT_EQ(rec.reads, std::vector<int64_t>{start});
    EXPECT_FALSE(r.HasXRefStream());
}

TEST(XRefReader, LineEndingsOfEntries) {
    for (const char* eol : {" \n", "\r\n", " \r", "\n"}) {
        PdfBuilder b = vpltest::MinimalBody();
        const int64_t x = b.Table("/Root 1 0 R", eol);
        b.StartXRef(x);
        TPDFXRefReader r(b.data);
        Recorder rec;
        rec.Attach(r);
        EXPECT_TRUE(r.ReadXRef(r.FindXRefPos()));
        ASSERT_EQ(rec.items.size(), 4u) << "eol size " << strlen(eol);
        EXPECT_EQ(rec.items[3], "3 " + std::to_string(b.offsets[3]) + " 0 n");
    }
}

TEST(XRefReader, StartPointingIntoRunsOrAtStartxref) {
    struct Case {
        const char* name;
        std::string before;
        int64_t delta;  // added to the position of the run
    } cases[] = {
        {"NUL run", std::string(3000, '\0'), 0},
        {"LF run", std::string(20000, '\n'), 0},
        {"mixed run", std::string(100, '\0') + std::string(100, '\n'), 0},
    };
    for (const auto& c : cases) {
        PdfBuilder b = vpltest::MinimalBody();
        const int64_t run = static_cast<int64_t>(b.data.size());
        b.Raw(c.before);
        const int64_t x = b.Table("/Root 1 0 R");
        b.StartXRef(run + c.delta);
        (void)x;
        TPDFXRefReader r(b.data);
        Recorder rec;
        rec.Attach(r);
        EXPECT_TRUE(r.ReadXRef(r.FindXRefPos())) << c.name;
        EXPECT_EQ(rec.items.size(), 4u) << c.name;
    }
    // The value points at "startxref" itself: its "xref" does not count.
    PdfBuilder b = vpltest::MinimalBody();
    b.Table("/Root 1 0 R");
    const int64_t sx = static_cast<int64_t>(b.data.size());
    b.StartXRef(sx);
    TPDFXRefReader r(b.data);
    Recorder rec;
    rec.Attach(r);
    EXPECT_FALSE(r.ReadXRef(r.FindXRefPos()));
    EXPECT_EQ(rec.reads, (std::vector<int64_t>{sx, -sx}));
}

TEST(XRefReader, SubsectionHeaders) {
    // First 1 and count 5 whose first entry is the free head: objects 0 to 4.
    std::string t = "xref\n1 5\n" + PdfBuilder::Entry(0, 65535, 'f');
    for (int i = 1; i < 5; ++i) t += PdfBuilder::Entry(100 * i, 0, 'n');
    t += "trailer\n<< /Size 5 >>\n";
    TPDFXRefReader r(t);
    Recorder rec;
    rec.Attach(r);
    EXPECT_TRUE(r.ReadXRef(0));
    ASSERT_EQ(rec.items.size(), 5u);
    EXPECT_EQ(rec.items[0], "0 0 65535 f");
    EXPECT_EQ(rec.items[4], "4 400 0 n");

    // Count 0 ends the subsections; the trailer is still read.
    std::string t2 = "xref\n0 0\ntrailer\n<< /Size 1 >>\n";
    TPDFXRefReader r2(t2);
    Recorder rec2;
    rec2.Attach(r2);
    EXPECT_TRUE(r2.ReadXRef(0));
    EXPECT_TRUE(rec2.items.empty());
    EXPECT_EQ(rec2.trailers.size(), 1u);

    // A count far beyond the data reads only the entries that are there.
    std::string t3 = "xref\n0 2000000000\n" + PdfBuilder::Entry(0, 65535, 'f') +
                     PdfBuilder::Entry(10, 0, 'n') + "trailer\n<< /Size 2 >>\n";
    TPDFXRefReader r3(t3);
    Recorder rec3;
    rec3.Attach(r3);
    r3.ReadXRef(0);
    EXPECT_LE(rec3.items.size(), 3u);
    EXPECT_EQ(rec3.items[1], "1 10 0 n");
}

TEST(XRefReader, XRefStreams) {
    struct Case {
        const char* name;
        std::vector<int> w;
        std::vector<std::vector<uint64_t>> rows;
        std::string extra;
        std::vector<std::string> expected;
    } cases[] = {
        {"W 1 2 1 without Index", {1, 2, 1}, {{0, 0, 255}, {1, 15, 0}, {2, 7, 3}, {5, 1, 1}},
         "/Size 4",
         {"0 0 255 f", "1 15 0 n", "2 7 3 c", "3 0 0  "}},
        {"W 0 2 0", {0, 2, 0}, {{0, 20}, {0, 30}}, "/Size 2", {"0 20 0 n", "1 30 0 n"}},
        {"Index pairs", {1, 4, 1}, {{1, 100, 0}, {1, 200, 0}, {1, 300, 0}}, "/Size 12 /Index [3 1 10 2]",
         {"3 100 0 n", "10 200 0 n", "11 300 0 n"}},
        {"wide offsets", {1, 8, 2}, {{1, 5000000000ULL, 0}}, "/Size 1",
         {"0 5000000000 0 n"}},
        {"data shorter than Size", {1, 2, 1}, {{1, 9, 0}}, "/Size 1000", {"0 9 0 n"}},
        {"zero widths", {0, 0, 0}, {}, "/Size 2000000000", {}},
    };
    for (const auto& c : cases) {
        PdfBuilder b("%PDF-1.5\n");
        b.Raw(std::string(40, '%') + "\n");
        const int64_t at = b.XRefStream(9, c.rows, c.w, c.extra);
        b.StartXRef(at);
        TPDFXRefReader r(b.data);
        Recorder rec;
        rec.Attach(r);
        EXPECT_TRUE(r.ReadXRef(r.FindXRefPos())) << c.name;
        EXPECT_EQ(rec.items, c.expected) << c.name;
        EXPECT_EQ(rec.trailers.size(), 1u) << c.name;
        EXPECT_TRUE(r.HasXRefStream());
    }
}

TEST(XRefReader, FloodOfStreamEntriesIsBounded) {
    // One-byte entries inflating to more entries than a file can have objects.
    const std::string packed = FlateCompress(std::string((int64_t{1} << 23) + 1000, '\x01'));
    PdfBuilder b("%PDF-1.5\n");
    b.Raw(std::string(40, '%') + "\n");
    const int64_t at = static_cast<int64_t>(b.data.size());
    b.Stream(9, "/Type /XRef /W [1 0 0] /Size 2147483647 /Filter /FlateDecode", packed);
    b.StartXRef(at);
    TPDFXRefReader r(b.data);
    int64_t count = 0;
    r.OnXRefItem = [&](int, int64_t, int, char) { ++count; };
    EXPECT_TRUE(r.ReadXRef(r.FindXRefPos()));
    EXPECT_EQ(count, TPDFXRefReader::MaxStreamEntries);
}

TEST(XRefReader, XRefStmIsReadBeforePrev) {
    PdfBuilder b = vpltest::MinimalBody();
    const int64_t old = b.Table("/Root 1 0 R");
    b.Obj(4, "(compressed holder)");
    const int64_t xs = b.XRefStream(5, {{2, 4, 0}}, {1, 2, 1}, "/Size 7 /Index [6 1]");
    const int64_t top =
        b.Update({{4, 'n'}}, "/Size 7 /Root 1 0 R /XRefStm " + std::to_string(xs) + " /Prev " +
                                 std::to_string(old));
    b.StartXRef(top);
    TPDFXRefReader r(b.data);
    Recorder rec;
    rec.Attach(r);
    EXPECT_TRUE(r.ReadXRef(r.FindXRefPos()));
    EXPECT_TRUE(r.Hybrid());
    ASSERT_GE(rec.items.size(), 3u);
    EXPECT_EQ(rec.items[0], "4 " + std::to_string(b.offsets[4]) + " 0 n");
    EXPECT_EQ(rec.items[1], "6 4 0 c");
    EXPECT_EQ(rec.items[2], "0 0 65535 f");
    EXPECT_EQ(rec.reads, (std::vector<int64_t>{top, xs, old}));
    EXPECT_EQ(r.LastStartPos(), old);
}

TEST(XRefReader, ChainsEndOnCycles) {
    // A classic section whose /Prev points at itself.
    {
        PdfBuilder b = vpltest::MinimalBody();
        const int64_t at = static_cast<int64_t>(b.data.size());
        b.Table("/Root 1 0 R /Prev " + std::to_string(at));
        b.StartXRef(at);
        TPDFXRefReader r(b.data);
        EXPECT_FALSE(r.ReadXRef(r.FindXRefPos()));
    }
    // Two cross-reference streams pointing at each other.
    {
        PdfBuilder b("%PDF-1.5\n");
        b.Raw(std::string(20, '%') + "\n");
        const int64_t a = static_cast<int64_t>(b.data.size());
        const std::string prevB = std::to_string(a + 200);
        b.XRefStream(1, {{1, 10, 0}}, {1, 2, 1}, "/Size 1 /Prev " + prevB);
        b.Raw(std::string(a + 200 - static_cast<int64_t>(b.data.size()), ' '));
        b.XRefStream(2, {{1, 11, 0}}, {1, 2, 1}, "/Size 1 /Prev " + std::to_string(a));
        b.StartXRef(a);
        TPDFXRefReader r(b.data);
        Recorder rec;
        rec.Attach(r);
        EXPECT_FALSE(r.ReadXRef(r.FindXRefPos()));
        EXPECT_EQ(rec.trailers.size(), 2u);
    }
}

TEST(XRefReader, LongChainWithoutRecursion) {
    // 10,000 classic sections, each with /Prev to the one before.
    PdfBuilder b = vpltest::MinimalBody();
    int64_t prev = b.Table("/Root 1 0 R");
    for (int i = 0; i < 10000; ++i)
        prev = b.Update({{3, 'n'}}, "/Size 4 /Prev " + std::to_string(prev));
    b.StartXRef(prev);
    TPDFXRefReader r(b.data);
    Recorder rec;
    rec.Attach(r);
    EXPECT_TRUE(r.ReadXRef(r.FindXRefPos()));
    EXPECT_EQ(rec.trailers.size(), 10001u);
}

TEST(XRefReader, FailuresReportTheNegatedStart) {
    const std::string junk = "nothing to see here\n" + std::string(100, 'x');
    TPDFXRefReader r(junk);
    Recorder rec;
    rec.Attach(r);
    EXPECT_FALSE(r.ReadXRef(5));
    EXPECT_EQ(rec.reads, (std::vector<int64_t>{5, -5}));

    // An exception from the entry handler ends the read; no trailer is read.
    const std::string pdf = vpltest::MinimalPdf();
    TPDFXRefReader r2(pdf);
    Recorder rec2;
    rec2.Attach(r2);
    r2.OnXRefItem = [](int, int64_t, int, char) { throw std::runtime_error("stop"); };
    EXPECT_FALSE(r2.ReadXRef(r2.FindXRefPos()));
    EXPECT_TRUE(rec2.trailers.empty());
}

TEST(XRefReader, OffsetShiftsEveryRead) {
    const std::string pdf = std::string(500, 'J') + vpltest::MinimalPdf();
    TPDFXRefReader r(pdf);
    r.SetOffset(500);
    Recorder rec;
    rec.Attach(r);
    const int64_t start = r.FindXRefPos();
    EXPECT_TRUE(r.ReadXRef(start));
    EXPECT_EQ(rec.items.size(), 4u);
}

}  // namespace
}  // namespace velmo
