// Damaged files made here, one per kind of damage real files show: each
// opens with the pages qpdf finds in the same bytes, every page number gives
// a page of its own, and the saved file passes qpdf --check and reads back
// with the same pages.
#include <gtest/gtest.h>

#include <set>

#include "document/Document.h"
#include "document/PageTree.h"
#include "tests/document/PdfBuilder.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using vpltest::PdfBuilder;

int QpdfPages(const std::filesystem::path& File) { return vpltest::QpdfPages(File).pages; }

std::string Page(int Parent, int Content = 0) {
    return "<< /Type /Page /Parent " + std::to_string(Parent) +
           " 0 R /MediaBox [0 0 200 200]" +
           (Content ? " /Contents " + std::to_string(Content) + " 0 R" : "") + " >>";
}

std::string Finish(PdfBuilder& B, const std::string& Trailer) {
    B.StartXRef(B.Table(Trailer));
    return B.data;
}

// Catalog 1, root 2 with the given kids and count, pages 3 and 4, and
// object 5, a number.
std::string TwoPages(const std::string& Kids, const std::string& Count) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [" + Kids + "] /Count " + Count + " >>");
    b.Obj(3, Page(2));
    b.Obj(4, Page(2));
    b.Obj(5, "17");
    return Finish(b, "/Root 1 0 R");
}

struct DamagedCase {
    const char* Name;
    std::string Bytes;
    int Pages;  // what a careful reader finds
    // Why qpdf finds another count, when it does (our count is the better one).
    const char* QpdfDiffers = nullptr;
};

std::vector<DamagedCase> Cases() {
    std::vector<DamagedCase> out;
    {
        PdfBuilder b;
        b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.Obj(3, Page(2));
        out.push_back({"direct root", Finish(b, "/Root << /Type /Catalog /Pages 2 0 R >>"), 1});
    }
    {
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
        b.Obj(3, Page(2));
        b.Obj(4, Page(2));
        b.Obj(5, "42");
        out.push_back({"root not a dictionary", Finish(b, "/Root 5 0 R"), 2,
                       "qpdf finds no catalog"});
    }
    {
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.Obj(3, Page(2));
        out.push_back({"root missing", Finish(b, "/Root 9 0 R"), 1,
                       "qpdf finds no catalog"});
    }
    {
        // The table's rows for the page tree point into the header.
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
        b.Obj(3, Page(2));
        b.Obj(4, Page(2));
        b.offsets[2] = 3;
        b.offsets[4] = 5;
        out.push_back({"garbage offsets", Finish(b, "/Root 1 0 R"), 2});
    }
    {
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.Obj(3, Page(2, 5));
        b.Obj(5, "<< /Length 7 >>\nstream\n0 0 m 100 100 l 50 20 l h f\nendstream");
        out.push_back({"wrong stream length", Finish(b, "/Root 1 0 R"), 1});
    }
    {
        // Page 4 lives in an object stream whose data does not inflate; the
        // other objects are plain and still read.
        PdfBuilder b("%PDF-1.5\n");
        b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
        b.Obj(3, Page(2));
        b.Stream(6, "/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", "x\x9c garbage, not deflate");
        const uint64_t self = b.data.size();
        const int64_t x = b.XRefStream(
            7,
            {{0, 0, 65535}, {1, uint64_t(b.offsets[1]), 0}, {1, uint64_t(b.offsets[2]), 0},
             {1, uint64_t(b.offsets[3]), 0}, {2, 6, 0}, {0, 0, 0}, {1, uint64_t(b.offsets[6]), 0},
             {1, self, 0}},
            {1, 4, 2}, "/Size 8 /Root 1 0 R");
        b.StartXRef(x);
        out.push_back({"object stream that does not decode", b.data, 1,
                       "qpdf counts the unreadable kid as a page"});
    }
    out.push_back({"null and non-dictionary kids",
                   TwoPages("3 0 R null 99 0 R 5 0 R (text) 4 0 R", "6"), 2,
                   "qpdf stops at the first kid that is not a dictionary"});
    out.push_back({"a page listed twice", TwoPages("3 0 R 4 0 R 3 0 R", "3"), 3});
    out.push_back({"absurd /Count", TwoPages("3 0 R 4 0 R", "10000000000"), 2});
    out.push_back({"negative /Count", TwoPages("3 0 R 4 0 R", "-3"), 2});
    out.push_back({"/Count not a number", TwoPages("3 0 R 4 0 R", "(two)"), 2});
    out.push_back({"/Count too small", TwoPages("3 0 R 4 0 R", "1"), 2});
    {
        // No /Type anywhere below the catalog, and wrong counts at every level.
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Obj(2, "<< /Kids [5 0 R 3 0 R] /Count 7 >>");
        b.Obj(3, "<< /Parent 2 0 R /MediaBox [0 0 10 10] >>");
        b.Obj(4, "<< /Parent 5 0 R /MediaBox [0 0 10 10] >>");
        b.Obj(5, "<< /Parent 2 0 R /Kids [4 0 R 6 0 R] /Count 1 >>");
        b.Obj(6, "<< /Parent 5 0 R /MediaBox [0 0 10 10] >>");
        out.push_back({"missing /Type and wrong counts", Finish(b, "/Root 1 0 R"), 3});
    }
    {
        // An inner node that lists the root again.
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Obj(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>");
        b.Obj(3, Page(2));
        b.Obj(5, "<< /Type /Pages /Parent 2 0 R /Kids [2 0 R 4 0 R] /Count 1 >>");
        b.Obj(4, Page(5));
        out.push_back({"a node that loops back", Finish(b, "/Root 1 0 R"), 2,
                       "qpdf stops at the loop"});
    }
    {
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog /Pages 3 0 R >>");
        b.Obj(3, Page(1));
        out.push_back({"the catalog names a page", Finish(b, "/Root 1 0 R"), 1,
                       "qpdf finds no page tree above the page"});
    }
    {
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog >>");
        b.Obj(3, "<< /Something /Else >>");
        out.push_back({"no page tree at all", Finish(b, "/Root 1 0 R"), 0});
    }
    return out;
}

TEST(oracle, damaged_files_open_with_their_pages) {
    VPL_REQUIRE_TOOL("qpdf");
    vpltest::TempDir dir;
    for (const DamagedCase& c : Cases()) {
        SCOPED_TRACE(c.Name);
        const auto in = dir / "in.pdf", out = dir / "out.pdf";
        vpltest::WriteFile(in, c.Bytes);
        const int qpdf = QpdfPages(in);
        if (!c.QpdfDiffers) EXPECT_EQ(qpdf, c.Pages);

        TPDFDocument d;
        ASSERT_EQ(d.LoadFromString(c.Bytes, u""), lrOkay);
        ASSERT_EQ(d.PageCount(), c.Pages);
        std::set<TPDFDictionary*> seen;
        for (int32_t n = 1; n <= c.Pages; ++n) {
            TPDFDictionary* p = d.PageTree()->GetPage(n);
            ASSERT_NE(p, nullptr) << "page " << n;
            EXPECT_TRUE(seen.insert(p).second) << "page " << n << " is another page's dictionary";
            EXPECT_EQ(PageNodeKind(p), "Page");
        }
        EXPECT_EQ(d.PageTree()->GetPage(c.Pages + 1), nullptr);

        ASSERT_TRUE(d.SaveToFile(out.u16string()));
        const auto check = vpltest::RunCommand({"qpdf", "--check", out.string()});
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
        EXPECT_EQ(QpdfPages(out), c.Pages);
        TPDFDocument again;
        ASSERT_EQ(again.LoadFromFile(out.u16string(), u""), lrOkay);
        EXPECT_EQ(again.PageCount(), c.Pages);
        EXPECT_FALSE(again.Repaired());
    }
}

TEST(oracle, wrong_stream_length_reads_to_endstream) {
    for (const char* length : {"7", "5000", "-1", "(x)", "99 0 R"}) {
        SCOPED_TRACE(length);
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.Obj(3, Page(2, 5));
        b.Obj(5, std::string("<< /Length ") + length +
                     " >>\nstream\n0 0 m 100 100 l 50 20 l h f\nendstream");
        TPDFDocument d;
        ASSERT_EQ(d.LoadFromString(Finish(b, "/Root 1 0 R"), u""), lrOkay);
        // Selecting the page made /Contents an array of layers.
        auto* layers =
            ObjAs<TPDFArray>(d.PageTree()->GetPage(1)->FindValueByKeyName("Contents", true));
        ASSERT_NE(layers, nullptr);
        auto* ref = ObjAs<TPDFIndRef>(layers->GetItem(0));
        auto* s = ref ? ObjAs<TPDFStream>(ref->Obj()) : nullptr;
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->GetDecodedStream(), "0 0 m 100 100 l 50 20 l h f");
    }
}

}  // namespace
}  // namespace velmo
