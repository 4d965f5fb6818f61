#include <gtest/gtest.h>

#include "document/Document.h"
#include "document/PageTree.h"
#include "core/Flate.h"
#include "tests/document/PdfBuilder.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using vpltest::PdfBuilder;

std::string ValueText(TPDFDocument& d, int num) {
    TPDFIndObj* io = d.FindObj(num, 0);
    if (!io) return "<none>";
    TPDFObject* v = io->GetObj();
    return v ? v->Output() : "<nil>";
}

TEST(DocumentLoad, MinimalFile) {
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(vpltest::MinimalPdf(), u""), lrOkay);
    EXPECT_EQ(d.Version(), "1.4");
    EXPECT_EQ(d.PageCount(), 1);
    EXPECT_FALSE(d.Repaired());
    EXPECT_FALSE(d.Linearized());
    EXPECT_FALSE(d.NoPagesDict());
    EXPECT_EQ(d.FXRefPos, static_cast<int64_t>(vpltest::MinimalPdf().find("xref\n")));
    // Selecting page 1 gave it an engine layer, object 4.
    EXPECT_EQ(d.MaxObjNum(), 5);
    TPDFDictionary* page = d.PageTree()->GetPage(1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->IndObjNum(), 3);
    EXPECT_EQ(d.PageTree()->Page(), 1);
}

TEST(DocumentLoad, HeaderVariants) {
    struct Case {
        const char* name;
        std::string header;
        TVPLLoadResult result;
        std::string version;
    } cases[] = {
        {"plain", "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n", lrOkay, "1.7"},
        {"PostScript header", "%!PS-Adobe-3.0 PDF-1.4\n", lrOkay, "1.4"},
        // Without a usable header the file still opens when its objects
        // do, as a damaged one, with the default version.
        {"empty version", "%PDF-\n", lrOkay, "1.4"},
        {"dots only", "%PDF-.\n", lrOkay, "1.4"},
        {"two dots", "%PDF-1..4\n", lrOkay, "1.4"},
        {"no header", "%XYZ-1.4\n", lrOkay, "1.4"},
    };
    for (const auto& c : cases) {
        PdfBuilder b = vpltest::MinimalBody(c.header);
        b.StartXRef(b.Table("/Root 1 0 R"));
        TPDFDocument d;
        EXPECT_EQ(d.LoadFromString(b.data, u""), c.result) << c.name;
        if (c.result == lrOkay) {
            EXPECT_EQ(d.Version(), c.version) << c.name;
            EXPECT_EQ(d.PageCount(), 1) << c.name;
        } else {
            EXPECT_EQ(d.PageCount(), 0) << c.name;
            EXPECT_EQ(d.ObjCount(), 0) << c.name;
        }
    }
}

TEST(DocumentLoad, LeadingJunkBeforeHeader) {
    // Offsets counted from the header: the first attempt repairs or fails,
    // the retry on the cut source reads the table.
    const std::string pdf = std::string(500, 'J') + "\n" + vpltest::MinimalPdf();
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(pdf, u""), lrOkay);
    EXPECT_EQ(d.PageCount(), 1);
    EXPECT_EQ(d.PageTree()->GetPage(1)->IndObjNum(), 3);

    // Beyond the first 1024 bytes the header check itself needs the retry.
    const std::string far = std::string(3000, 'J') + "\n" + vpltest::MinimalPdf();
    TPDFDocument d2;
    ASSERT_EQ(d2.LoadFromString(far, u""), lrOkay);
    EXPECT_EQ(d2.PageCount(), 1);
}

TEST(DocumentLoad, IncrementalUpdateReplacesOrFreesObject) {
    auto base = [] {
        PdfBuilder b = vpltest::MinimalBody();
        b.Obj(5, "(old)");
        return b;
    };
    {
        PdfBuilder b = base();
        const int64_t old = b.Table("/Root 1 0 R");
        b.Obj(5, "(new)");
        b.StartXRef(b.Update({{5, 'n'}}, "/Size 6 /Root 1 0 R /Prev " + std::to_string(old)));
        TPDFDocument d;
        ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
        EXPECT_EQ(ValueText(d, 5), "(new)");
    }
    {
        PdfBuilder b = base();
        const int64_t old = b.Table("/Root 1 0 R");
        b.StartXRef(b.Update({{5, 'f'}}, "/Size 6 /Root 1 0 R /Prev " + std::to_string(old)));
        TPDFDocument d;
        ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
        EXPECT_EQ(ValueText(d, 5), "(old)");  // a free entry does not hide the older one
    }
}

TEST(DocumentLoad, TableOfZerosIsRepaired) {
    PdfBuilder b = vpltest::MinimalBody();
    b.Obj(4, "(a)").Obj(5, "(b)").Obj(6, "(c)");
    const int64_t at = static_cast<int64_t>(b.data.size());
    b.Raw("xref\n0 7\n" + PdfBuilder::Entry(0, 65535, 'f'));
    for (int i = 1; i < 7; ++i) b.Raw(PdfBuilder::Entry(0, 0, 'n'));
    b.Raw("trailer\n<< /Size 7 /Root 1 0 R >>\n");
    b.StartXRef(at);
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
    EXPECT_TRUE(d.Repaired());
    EXPECT_EQ(d.PageCount(), 1);
    EXPECT_EQ(ValueText(d, 6), "(c)");
}

TEST(DocumentLoad, RepairKeepsTheLastCopyOfAnObject) {
    PdfBuilder b = vpltest::MinimalBody();
    b.Obj(5, "(first)");
    b.Obj(5, "(second)");
    b.Raw("trailer\n<< /Root 1 0 R >>\n");  // no usable table at all
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
    EXPECT_TRUE(d.Repaired());
    EXPECT_EQ(ValueText(d, 5), "(second)");
}

// Object stream 10 holding objects 3 (the page) and 7.
std::string ObjectStreamBody(std::string& Index) {
    const std::string o3 = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";
    const std::string o7 = "(in stream)";
    Index = "3 0 7 " + std::to_string(o3.size() + 1) + " ";
    return Index + o3 + " " + o7;
}

TEST(DocumentLoad, ObjectStreamsThroughXRefStream) {
    std::string index;
    const std::string body = ObjectStreamBody(index);
    PdfBuilder b("%PDF-1.5\n");
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    const std::string packed = FlateCompress(body);
    b.Stream(10, "/Type /ObjStm /N 2 /First " + std::to_string(index.size()) + " /Filter /FlateDecode",
             packed);
    const int64_t xs = b.XRefStream(
        11,
        {{0, 0, 255}, {1, (uint64_t)b.offsets[1], 0}, {1, (uint64_t)b.offsets[2], 0}, {2, 10, 0},
         {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {2, 10, 1}, {0, 0, 0}, {0, 0, 0},
         {1, (uint64_t)b.offsets[10], 0}, {1, (uint64_t)b.data.size(), 0}},
        {1, 4, 2}, "/Size 12 /Root 1 0 R");
    b.StartXRef(xs);
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
    EXPECT_FALSE(d.Repaired());
    EXPECT_EQ(d.PageCount(), 1);
    EXPECT_EQ(ValueText(d, 7), "(in stream)");
    TPDFIndObj* io7 = d.FindObj(7, 0);
    EXPECT_TRUE(io7->Compact());
    EXPECT_FALSE(io7->DecodeError());
    // The trailer is the stream's dictionary without its table keys.
    EXPECT_EQ(d.Trailer()->FindValueByKeyName("W", false), nullptr);
    EXPECT_NE(d.Trailer()->FindValueByKeyName("Root", false), nullptr);

    // Damage the cross-reference stream: the raw scan must still find the
    // objects inside the object stream.
    std::string damaged = b.data;
    damaged.replace(damaged.find("/Type /XRef"), 11, "/Type /XRex");
    damaged += "trailer\n<< /Root 1 0 R >>\n";
    TPDFDocument d2;
    ASSERT_EQ(d2.LoadFromString(damaged, u""), lrOkay);
    EXPECT_TRUE(d2.Repaired());
    EXPECT_EQ(d2.PageCount(), 1);
    EXPECT_EQ(ValueText(d2, 7), "(in stream)");
}

TEST(DocumentLoad, MissingPagesAndEncryption) {
    {
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog >>");
        b.StartXRef(b.Table("/Root 1 0 R"));
        TPDFDocument d;
        // No page tree anywhere: the document opens without pages, and says so.
        EXPECT_EQ(d.LoadFromString(b.data, u""), lrOkay);
        EXPECT_TRUE(d.NoPagesDict());
        EXPECT_EQ(d.PageCount(), 0);
    }
    {
        PdfBuilder b = vpltest::MinimalBody();
        b.Obj(4, "<< /Filter /Standard /V 1 /R 2 /O <00> /U <00> /P -4 >>");
        b.StartXRef(b.Table("/Root 1 0 R /Encrypt 4 0 R"));
        TPDFDocument d;
        EXPECT_EQ(d.LoadFromString(b.data, u""), lrWrongPassword);
        EXPECT_TRUE(d.NoPagesDict());
        EXPECT_EQ(d.PageCount(), 0);
    }
}

TEST(DocumentLoad, Linearized) {
    PdfBuilder b;
    b.Obj(4, "<< /Linearized 1 /L 1000 >>");
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Obj(3, "<< /Type /Page /Parent 2 0 R >>");
    b.StartXRef(b.Table("/Root 1 0 R"));
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
    EXPECT_TRUE(d.Linearized());
    EXPECT_EQ(ValueText(d, 4), "<<\n>>\n");
}

TEST(DocumentLoad, ShiftedNumbering) {
    // A table that numbers its objects from 2 while the file writes them from 1.
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Obj(3, "<< /Type /Page /Parent 2 0 R >>");
    const int64_t at = static_cast<int64_t>(b.data.size());
    b.Raw("xref\n2 3\n");
    for (int n = 1; n <= 3; ++n) b.Raw(PdfBuilder::Entry(b.offsets[n], 0, 'n'));
    b.Raw("trailer\n<< /Size 4 /Root 1 0 R >>\n");
    b.StartXRef(at);
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
    EXPECT_FALSE(d.Repaired());
    EXPECT_EQ(d.PageCount(), 1);
}

TEST(IndObj, OffsetTolerance) {
    struct Case {
        const char* name;
        int64_t shift;  // added to the recorded offset of object 12
        int mode;
        bool ok;
    } cases[] = {
        {"exact, mode 2", 0, 2, true},
        {"one byte too far, mode 2", 1, 2, true},
        {"one byte too far, mode 0", 1, 0, true},
        {"four bytes early, mode 2", -4, 2, true},
        {"five bytes too far, mode 2", 5, 2, true},
        // Further off, the raw scan finds the header.
        {"far off, mode 2", 40, 2, true},
        {"far off, mode 0", 40, 0, true},
        {"beyond the file", 1 << 20, 2, true},
    };
    for (const auto& c : cases) {
        PdfBuilder b = vpltest::MinimalBody();
        b.Raw("% padding line here\n");
        b.Obj(12, "(twelve)");
        b.offsets[12] += c.shift;
        b.StartXRef(b.Table("/Root 1 0 R"));
        TPDFDocument d;
        d.SetDecodeMode(c.mode);
        ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay) << c.name;
        TPDFIndObj* io = d.FindObj(12, 0);
        ASSERT_NE(io, nullptr) << c.name;
        EXPECT_EQ(io->GetObj()->Output(), c.ok ? "(twelve)" : "null") << c.name;
        EXPECT_EQ(io->DecodeError(), !c.ok) << c.name;
    }
}

TEST(IndObj, StreamDataLocation) {
    const std::string data = "0123456789ABCDEFGHIJ";
    struct Case {
        const char* name;
        std::string dict;
        int mode;
        std::string expected;
    } cases[] = {
        {"right length", "<< /Length 20 >>", 2, data},
        {"too short, keyword first", "<< /Length 10 >>", 2, data},
        {"too long, keyword first", "<< /Length 30 >>", 2, data},
        {"no length", "<< >>", 2, data},
        {"indirect length", "<< /Length 9 0 R >>", 2, data},
        {"right length, length first", "<< /Length 20 >>", 0, data},
        {"too short, length first", "<< /Length 10 >>", 0, data + "\n"},
    };
    for (const auto& c : cases) {
        PdfBuilder b = vpltest::MinimalBody();
        b.Obj(8, c.dict + "\nstream\r\n" + data + "\nendstream");
        b.Obj(9, "20");
        b.StartXRef(b.Table("/Root 1 0 R"));
        TPDFDocument d;
        d.SetDecodeMode(c.mode);
        ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay) << c.name;
        auto* s = ObjAs<TPDFStream>(d.FindObj(8, 0)->GetObj());
        ASSERT_NE(s, nullptr) << c.name;
        EXPECT_EQ(s->Stream(), c.expected) << c.name;
        EXPECT_FALSE(s->HasChanged()) << c.name;
    }
    // Mode 3: dictionaries without data.
    PdfBuilder b = vpltest::MinimalBody();
    b.Obj(8, "<< /Length 20 >>\nstream\n" + data + "\nendstream");
    b.StartXRef(b.Table("/Root 1 0 R"));
    TPDFDocument d;
    d.SetDecodeMode(3);
    ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
    EXPECT_NE(ObjAs<TPDFDictionary>(d.FindObj(8, 0)->GetObj()), nullptr);
}

TEST(IndObj, HeaderReading) {
    struct Case {
        std::string text;
        int num, gen;
        std::string keyword;
    } cases[] = {
        {"12 0 obj\n<<", 12, 0, "obj"},
        {"12 0 obj<</A 1>>", 12, 0, "obj"},
        {"\n\n7 3 obj (x)", 7, 3, "obj"},
        {"5 0 objx ", 5, 0, "objx"},
        {"5 0 obj", 5, 0, ""},
    };
    for (const auto& c : cases) {
        const TPDFObjHeader h = ReadObjHeader(c.text, 0);
        EXPECT_EQ(h.ObjNum, c.num) << c.text;
        EXPECT_EQ(h.GenNum, c.gen) << c.text;
        EXPECT_EQ(std::string(h.Keyword), c.keyword) << c.text;
    }
}

TEST(IndObj, OutputOfAStream) {
    PdfBuilder b = vpltest::MinimalBody();
    b.Stream(8, "", "Hello");
    b.StartXRef(b.Table("/Root 1 0 R"));
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
    EXPECT_EQ(d.FindObj(8, 0)->Output(),
              "8 0 obj\n<<\n/Length 5\n>>\nstream\nHello\nendstream\nendobj\n");
    EXPECT_EQ(d.FindObj(1, 0)->Output(),
              "1 0 obj\n<<\n/Type /Catalog\n/Pages 2 0 R\n>>\nendobj\n");
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(DocumentLoad, FileThatCannotBeOpenedRaises) {
    TPDFDocument d;
    EXPECT_ANY_THROW(d.LoadFromFile(u"/nonexistent/folder/file.pdf", u""));
}

TEST(DocumentLoad, LargeNumbersAndPositions) {
    PdfBuilder b = vpltest::MinimalBody();
    const int64_t at = b.Table("/Root 1 0 R");
    // An update naming object 2147483646 at an offset beyond 4 GiB.
    const int64_t top = static_cast<int64_t>(b.data.size());
    b.Raw("xref\n2147483646 1\n" + PdfBuilder::Entry(5000000000LL, 0, 'n') +
          "trailer\n<< /Size 2147483647 /Root 1 0 R /Prev " + std::to_string(at) + " >>\n");
    b.StartXRef(top);
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
    EXPECT_FALSE(d.Repaired());
    TPDFIndObj* io = d.FindObj(2147483646, 0);
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(io->FPosition, 5000000000LL);
    EXPECT_EQ(io->GetObj()->Output(), "null");
    EXPECT_TRUE(io->DecodeError());
    EXPECT_EQ(d.ObjCount(), 5);  // three objects, the engine layer, the far one
}

TEST(IndObj, RecodeAndSpool) {
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(vpltest::MinimalPdf(), u""), lrOkay);
    TPDFIndObj* io = d.FindObj(1, 0);
    io->GetObj();
    io->Recode();
    EXPECT_TRUE(io->Recoded());
    EXPECT_FALSE(io->Decoded());
    EXPECT_EQ(io->GetObj()->Output(), "<<\n/Type /Catalog\n/Pages 2 0 R\n>>\n");

    // Long texts go to the temporary file while it is open.
    vpltest::TempDir tmp;
    const std::string name = (tmp / "spool.tmp").string();
    ASSERT_TRUE(d.SetTempFileName(std::u16string(name.begin(), name.end())));
    ASSERT_TRUE(d.OpenTempFile());
    TPDFIndObj* big = d.AddIndObj(d.Structure()->NewString(std::string(3000, 'x'), smLiteral), true);
    big->Recode();
    EXPECT_TRUE(big->FSpooled);
    EXPECT_EQ(ObjAs<TPDFString>(big->GetObj())->AsString(), std::string(3000, 'x'));
    d.StoreData(77, "seventy-seven");
    EXPECT_EQ(d.GetData(77), "seventy-seven");
    EXPECT_EQ(d.GetData(big->ObjNum()).size(), big->Source().size());  // found again from the start
    d.CloseTempFile();
    EXPECT_EQ(d.GetData(77), "");
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(DocumentLoad, ObjectsTheTableOmitsAreRecoveredByTheirHeaders) {
    // The table lists the page tree and one array; the 3000 objects the
    // array names are in the file but not in the table (a cut table).
    vpltest::PdfBuilder b = vpltest::MinimalBody();
    std::string refs;
    for (int n = 10; n < 3010; ++n) refs += std::to_string(n) + " 0 R ";
    b.Obj(4, "[" + refs + "]");
    b.Obj(6, "(six)");  // the table runs to 6, with 5 free
    const std::map<int, int64_t> listed = b.offsets;
    for (int n = 10; n < 3010; ++n) b.Obj(n, "(v" + std::to_string(n) + ")");
    b.Obj(5, "(deleted)");  // listed free: stays deleted
    b.offsets = listed;
    b.StartXRef(b.Table("/Root 1 0 R"));
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
    EXPECT_FALSE(d.Repaired());
    auto* arr = ObjAs<TPDFArray>(d.FindObj(4, 0)->GetObj());
    ASSERT_NE(arr, nullptr);
    for (int32_t i = 0; i < arr->Count(); ++i) {
        auto* s = ObjAs<TPDFString>(ObjAs<TPDFIndRef>(arr->GetItem(i))->Obj());
        ASSERT_NE(s, nullptr) << i;
        EXPECT_EQ(s->AsString(), "v" + std::to_string(10 + i));
    }
    EXPECT_TRUE(d.Repaired());  // the table was incomplete: saving writes a new one
    for (int n = 10; n < 3010; n += 499) EXPECT_NE(d.FindObj(n, 0), nullptr) << n;
    TPDFIndRef* five = d.Structure()->NewIndirectRef(5, 0);
    EXPECT_EQ(five->Obj(), nullptr);
    // New objects take numbers above every recovered one.
    EXPECT_GE(d.CreateNewObject(), 3010);
    const std::string saved = d.SaveToString();
    TPDFDocument again;
    ASSERT_EQ(again.LoadFromString(saved, u""), lrOkay);
    EXPECT_FALSE(again.Repaired());
    EXPECT_NE(again.FindObj(3009, 0), nullptr);
}

}  // namespace
}  // namespace velmo
