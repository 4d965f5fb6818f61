#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "document/Document.h"
#include "document/PageTree.h"
#include "tests/document/DocTestSupport.h"
#include "tests/document/PdfBuilder.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

using vpltest::LoadText;
using vpltest::PdfBuilder;

// The table rows of the last section of Text.
std::string TableOf(const std::string& Text) {
    const size_t x = Text.rfind("\nxref\n") + 1;
    const size_t t = Text.find("trailer", x);
    return Text.substr(x, t - x);
}

std::string Row(int64_t Offset, int Gen, char Type) { return PdfBuilder::Entry(Offset, Gen, Type); }

TEST(DocumentSave, BlankDocumentLayout) {
    TPDFDocument d;
    ASSERT_TRUE(d.CreateBlank());
    const std::string s = d.SaveToString();
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.substr(0, 15), std::string("%PDF-1.4\n%\x3F\x3F\x3F\x3F\n", 15));
    // Objects 1 to 4 in creation order, each where its row says.
    size_t prev = 0;
    for (int n = 1; n <= 4; ++n) {
        const size_t at = s.find("\n" + std::to_string(n) + " 0 obj\n");
        ASSERT_NE(at, std::string::npos) << n;
        EXPECT_GT(at, prev);
        prev = at;
        EXPECT_NE(TableOf(s).find(Row(static_cast<int64_t>(at + 1), 0, 'n')), std::string::npos) << n;
    }
    EXPECT_EQ(s.find("5 0 obj"), std::string::npos);
    const std::string table = TableOf(s);
    EXPECT_EQ(table.substr(0, 9), "xref\n0 5\n");
    EXPECT_EQ(table.size(), 9 + 5 * 20u);
    EXPECT_EQ(table.substr(9, 20), "0000000000 65535 f \n");
    const size_t tr = s.find("trailer\n");
    const std::string trailer = s.substr(tr);
    for (const char* k : {"/Size 5", "/Root 3 0 R", "/Info 4 0 R", "/ID"})
        EXPECT_NE(trailer.find(k), std::string::npos) << k;
    const size_t sx = s.find("startxref\n");
    EXPECT_EQ(s.substr(sx), "startxref\n" + std::to_string(s.rfind("xref\n0 5")) + "\n%%EOF\n");

    // What was saved loads again with its page.
    auto again = LoadText(s);
    EXPECT_EQ(again->PageCount(), 1);
}

TEST(DocumentSave, FullTableHasFreeRowsSizeAndNoPrev) {
    // Numbers 1, 2, 3 and 5: 4 is missing; the trailer's /Size is wrong and
    // an object stream holds object 6.
    PdfBuilder b = vpltest::MinimalBody();
    b.Obj(5, "(five)");
    const std::string inner = "6 0 (six)";
    b.Stream(7, "/Type /ObjStm /N 1 /First 4", inner);
    const uint64_t self = b.data.size();
    const int64_t x = b.XRefStream(8,
                                   {{0, 0, 65535}, {1, static_cast<uint64_t>(b.offsets[1]), 0},
                                    {1, static_cast<uint64_t>(b.offsets[2]), 0},
                                    {1, static_cast<uint64_t>(b.offsets[3]), 0},
                                    {0, 0, 0},
                                    {1, static_cast<uint64_t>(b.offsets[5]), 0},
                                    {2, 7, 0},
                                    {1, static_cast<uint64_t>(b.offsets[7]), 0},
                                    {1, self, 0}},
                                   {1, 4, 2}, "/Size 9 /Root 1 0 R");
    b.StartXRef(x);
    // Selecting page 1 at load gives it an engine layer: object 9.
    auto d = LoadText(b.data);
    const std::string s = d->SaveToString();
    const std::string table = TableOf(s);
    EXPECT_EQ(table.substr(0, 10), "xref\n0 10\n");
    auto row = [&](int n) { return table.substr(10 + 20 * static_cast<size_t>(n), 20); };
    // Free rows chain: 0 -> 4 -> 7 -> 0.
    EXPECT_EQ(row(0), Row(4, 65535, 'f'));
    EXPECT_EQ(row(4), Row(7, 0, 'f'));
    EXPECT_EQ(row(7), Row(0, 0, 'f'));
    EXPECT_EQ(row(6).substr(17, 1), "n");
    EXPECT_NE(s.find("6 0 obj\n(six)"), std::string::npos);
    const std::string trailer = s.substr(s.rfind("trailer"));
    EXPECT_NE(trailer.find("/Size 10"), std::string::npos);
    EXPECT_NE(s.find("8 0 obj\n<<\n/Type /XRef"), std::string::npos);
    for (const char* k : {"/W", "/Index", "/Prev", "/XRef"}) EXPECT_EQ(trailer.find(k), std::string::npos) << k;

    // An append sets /Prev; a full save after it does not carry it.
    d->GetInfoDict();
    const std::string upd = d->AppendToString(1, "");
    EXPECT_NE(upd.find("/Prev " + std::to_string(x)), std::string::npos);
    const std::string full = d->SaveToString();
    EXPECT_EQ(full.substr(full.rfind("trailer")).find("/Prev"), std::string::npos);
    auto again = LoadText(full);
    EXPECT_EQ(again->GetObjectSource(6), "(six)");
}

TEST(DocumentSave, AppendWritesChangedObjectsInSubsections) {
    // Page 3's content is an engine layer already (object 20), so selecting
    // it at load changes nothing.
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [20 0 R] >>");
    for (int n = 4; n <= 19; ++n) b.Obj(n, "<< /N " + std::to_string(n) + " >>");
    b.Stream(20, "/LC /uZTN", "0 0 m");
    const int64_t x = b.Table("/Root 1 0 R");
    b.StartXRef(x);
    struct Case {
        std::vector<int> changed;
        std::vector<std::string> heads;
    };
    const Case cases[] = {
        {{12}, {"0 1\n", "12 1\n"}},
        {{3, 4, 5}, {"0 1\n", "3 3\n"}},
        {{1, 2, 19}, {"0 3\n", "19 1\n"}},
    };
    for (const Case& c : cases) {
        auto d = LoadText(b.data);
        for (int n : c.changed) {
            auto* dict = ObjAs<TPDFDictionary>(d->FindObj(n, 0)->GetObj());
            ASSERT_TRUE(dict);
            dict->Add("X", d->Structure()->NewNumeric(1));
        }
        const std::string upd = d->AppendToString(1, "");
        ASSERT_FALSE(upd.empty());
        std::string expect = "xref\n";
        for (const std::string& h : c.heads) {
            expect += h;
            const int first = std::stoi(h);
            const int cnt = std::stoi(h.substr(h.find(' ')));
            for (int k = 0; k < cnt; ++k) {
                const int v = first + k;
                if (v == 0) {
                    expect += Row(0, 65535, 'f');
                } else {
                    const size_t at = upd.find(std::to_string(v) + " 0 obj\n");
                    ASSERT_NE(at, std::string::npos);
                    expect += Row(static_cast<int64_t>(b.data.size() + at), 0, 'n');
                }
            }
        }
        EXPECT_EQ(TableOf(upd), expect);
        EXPECT_NE(upd.find("/Prev " + std::to_string(x)), std::string::npos);
        // Mode 0: the source and the update; it loads with the change.
        const std::string whole = d->AppendToString(0, "");
        EXPECT_EQ(whole.substr(0, b.data.size()), b.data);
        auto again = LoadText(whole);
        EXPECT_NE(again->GetObjectSource(c.changed[0]).find("/X 1"), std::string::npos);
    }
    auto d = LoadText(b.data);
    EXPECT_EQ(d->AppendToString(3, ""), "");
    EXPECT_EQ(d->AppendToString(2, "PREFIX").substr(0, 6), "PREFIX");
    TPDFDocument blank;
    blank.CreateBlank();
    EXPECT_EQ(blank.AppendToString(0, ""), "");
}

TEST(DocumentSave, AppendFallsBackToFullSaveWhenOffsetsDoNotMatch) {
    // Leading junk: the file loads on the retry from "%PDF-", and its
    // offsets no longer match the file.
    const std::string junk = "JUNKJUNK" + vpltest::MinimalPdf();
    std::string shifted = junk;
    {
        auto d = LoadText(shifted);
        const std::string out = d->AppendToString(0, "");
        EXPECT_EQ(out.substr(0, 5), "%PDF-");
        EXPECT_EQ(out.find("/Prev"), std::string::npos);
        EXPECT_EQ(d->AppendToString(1, ""), "");
        auto again = LoadText(out);
        EXPECT_EQ(again->PageCount(), 1);

        vpltest::TempDir dir;
        const auto path = dir / "in.pdf";
        vpltest::WriteFile(path, junk);
        const std::string narrow = path.string();
        const std::u16string name(narrow.begin(), narrow.end());
        EXPECT_TRUE(d->AppendToFile(name));
        const std::string disk = vpltest::ReadFile(path);
        EXPECT_EQ(disk.substr(0, 5), "%PDF-");
        EXPECT_EQ(LoadText(disk)->PageCount(), 1);
    }
    // A table that had to be rebuilt by scanning.
    std::string broken = vpltest::MinimalPdf();
    broken.replace(broken.rfind("startxref\n") + 10, 1, "9");
    auto d = LoadText(broken);
    ASSERT_TRUE(d->Repaired());
    const std::string out = d->AppendToString(0, "");
    EXPECT_EQ(out.substr(0, 9), "%PDF-1.4\n");
    EXPECT_EQ(out.find("/Prev"), std::string::npos);
    EXPECT_EQ(LoadText(out)->PageCount(), 1);
}

TEST(DocumentSave, ObjectNumbersBeyondTheLimitFailInsteadOfHugeTables) {
    PdfBuilder b = vpltest::MinimalBody();
    const int64_t at = static_cast<int64_t>(b.data.size());
    b.Raw("2000000000 0 obj\n(far)\nendobj\n");
    const int64_t x = b.Table("/Root 1 0 R");
    b.Raw("xref\n2000000000 1\n" + PdfBuilder::Entry(at, 0, 'n') + "trailer\n<< /Size 2000000001 /Root 1 0 R /Prev " +
          std::to_string(x) + " >>\n");
    const int64_t x2 = static_cast<int64_t>(b.data.rfind("xref\n2000000000"));
    b.StartXRef(x2);
    auto d = LoadText(b.data);
    ASSERT_TRUE(d->FindObj(2000000000, 0));
    EXPECT_EQ(d->SaveToString(), "");
    EXPECT_EQ(d->AppendToString(0, ""), "");
}

TEST(DocumentSave, SaveToFileReplacesOnlyWhenComplete) {
    vpltest::TempDir dir;
    const auto path = dir / "out.pdf";
    vpltest::WriteFile(path, "old contents");
    auto wide = [](const std::filesystem::path& p) {
        const std::string s = p.string();
        return std::u16string(s.begin(), s.end());
    };
    TPDFDocument d;
    d.CreateBlank();
    EXPECT_TRUE(d.SaveToFile(wide(path)));
    EXPECT_EQ(vpltest::ReadFile(path), d.SaveToString());
    // A folder that does not exist: failure, nothing written.
    EXPECT_FALSE(d.SaveToFile(wide(dir / "missing" / "x.pdf")));
    // No temporary files are left beside the target.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(DocumentSave, CompressReportsProgressPerPage) {
    TPDFDocument d;
    d.CreateBlank();
    d.PageTree()->NewPages(2, 2, 100, 100);
    std::vector<int> seen;
    d.FOnProgress = [&](int p) { seen.push_back(p); };
    EXPECT_TRUE(d.Compress());
    EXPECT_EQ(seen, (std::vector<int>{33, 66, 100}));
}

TEST(DocumentReload, KeepsChangesPasswordAndRefusesWithoutTempFile) {
    vpltest::TempDir tmp;
    TPDFDocument d;
    ASSERT_TRUE(d.CreateBlank());
    d.PageTree()->SetContent("0 0 m 100 100 l S");
    d.SetInfo("Title", u"Before reload", smString);

    // Without a temporary file nothing happens and the document stays usable.
    EXPECT_FALSE(d.Reload());
    EXPECT_EQ(d.GetInfo("Title"), u"Before reload");

    const std::u16string name = (tmp / "reload.tmp").u16string();
    ASSERT_TRUE(d.SetTempFileName(name));
    ASSERT_TRUE(d.Reload());
    EXPECT_EQ(d.PageCount(), 1);
    EXPECT_EQ(d.GetInfo("Title"), u"Before reload");
    EXPECT_FALSE(d.HasTempFile());
    EXPECT_FALSE(std::filesystem::exists(tmp / "reload.tmp"));
    // The reloaded document saves like any loaded one.
    TPDFDocument again;
    ASSERT_EQ(again.LoadFromString(d.SaveToString(), u""), lrOkay);
    EXPECT_EQ(again.GetInfo("Title"), u"Before reload");
}

TEST(DocumentSave, LargeDocumentsKeepTheirOffsetsAcrossWritePieces) {
    // Several megabytes of streams: the file is written in pieces, and every
    // row of the table must still point at its object.
    TPDFDocument d;
    ASSERT_TRUE(d.CreateBlank());
    std::vector<std::pair<int32_t, std::string>> streams;
    for (int i = 0; i < 6; ++i) {
        std::string data(700000 + i * 1001, static_cast<char>('a' + i));
        data[i] = '\n';
        streams.emplace_back(d.NewStream("<< >>", data), data);
    }
    const std::string saved = d.SaveToString();
    ASSERT_GT(saved.size(), 4u << 20);
    TPDFDocument again;
    ASSERT_EQ(again.LoadFromString(saved, u""), lrOkay);
    EXPECT_FALSE(again.Repaired());
    for (const auto& [num, data] : streams) {
        auto* s = ObjAs<TPDFStream>(again.FindObj(num, 0)->GetObj());
        ASSERT_NE(s, nullptr) << num;
        EXPECT_EQ(s->FStream, data) << num;
    }
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(DocumentSave, AppendCarriesAnObjectALaterSectionFreed) {
    // The newest section frees object 5 while the older one still holds it:
    // the document reads it, so an appended update must list it again.
    vpltest::PdfBuilder b = vpltest::MinimalBody();
    b.Obj(5, "(old)");
    const int64_t old = b.Table("/Root 1 0 R");
    b.StartXRef(b.Update({{5, 'f'}}, "/Size 6 /Root 1 0 R /Prev " + std::to_string(old)));
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(b.data, u""), lrOkay);
    d.SetInfo("Title", u"T", smString);
    const std::string update = d.AppendToString(1, "");
    EXPECT_NE(update.find("5 0 obj\n(old)"), std::string::npos) << update;
    // An update to a file whose sections agree carries only what changed.
    vpltest::PdfBuilder plain = vpltest::MinimalBody();
    plain.Obj(5, "(old)");
    plain.StartXRef(plain.Table("/Root 1 0 R"));
    TPDFDocument p;
    ASSERT_EQ(p.LoadFromString(plain.data, u""), lrOkay);
    p.SetInfo("Title", u"T", smString);
    EXPECT_EQ(p.AppendToString(1, "").find("5 0 obj"), std::string::npos);
}

}  // namespace
}  // namespace velmo
