#include "document/PageTree.h"

#include <gtest/gtest.h>

#include "document/Document.h"
#include "tests/document/PdfBuilder.h"

namespace velmo {
namespace {

using vpltest::PdfBuilder;

// Catalog 1, root 2 with Count and Kids as given; the caller adds the rest.
PdfBuilder TreeBody(const std::string& kids, const std::string& count) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + count + " >>");
    return b;
}

std::string Page(int parent) {
    return "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R /MediaBox [0 0 612 792] >>";
}

std::unique_ptr<TPDFDocument> Load(PdfBuilder& b) {
    b.StartXRef(b.Table("/Root 1 0 R"));
    auto d = std::make_unique<TPDFDocument>();
    EXPECT_EQ(d->LoadFromString(b.data, u""), lrOkay);
    return d;
}

int PageNum(TPDFDocument& d, int n) {
    TPDFDictionary* p = d.PageTree()->GetPage(n);
    return p ? p->IndObjNum() : -1;
}

TEST(PageTree, FlatAndNestedTrees) {
    {
        PdfBuilder b = TreeBody("3 0 R 4 0 R 5 0 R", "3");
        b.Obj(3, Page(2)).Obj(4, Page(2)).Obj(5, Page(2));
        auto d = Load(b);
        EXPECT_EQ(d->PageCount(), 3);
        EXPECT_EQ(PageNum(*d, 1), 3);
        EXPECT_EQ(PageNum(*d, 3), 5);
        EXPECT_EQ(PageNum(*d, 4), -1);
        EXPECT_EQ(PageNum(*d, 0), -1);
    }
    {
        // 2 -> [6 (pages: 3, 4), 5, 7 (pages: 8 (pages: 9))]
        PdfBuilder b = TreeBody("6 0 R 5 0 R 7 0 R", "4");
        b.Obj(3, Page(6)).Obj(4, Page(6)).Obj(5, Page(2));
        b.Obj(6, "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R 4 0 R] /Count 2 >>");
        b.Obj(7, "<< /Parent 2 0 R /Kids [8 0 R] /Count 1 >>");  // no /Type: a pages node
        b.Obj(8, "<< /Type /Pages /Parent 7 0 R /Kids [9 0 R] /Count 1 >>");
        b.Obj(9, Page(8));
        auto d = Load(b);
        EXPECT_EQ(d->PageCount(), 4);
        const int expected[] = {3, 4, 5, 9};
        for (int n = 1; n <= 4; ++n) EXPECT_EQ(PageNum(*d, n), expected[n - 1]) << n;
        // Page order walks and page numbers from references.
        TPDFDictionary* p = d->FirstPage();
        std::vector<int> order;
        for (int guard = 0; p && guard < 10; ++guard, p = d->NextPage(p)) order.push_back(p->IndObjNum());
        // Node 7 had no /Type; loading named it, so the order walk goes on.
        EXPECT_EQ(order, (std::vector<int>{3, 4, 5, 9}));
        TPDFIndRef* r9 = d->Structure()->NewIndirectRef(9, 0);
        EXPECT_EQ(d->GetPageFromRef(r9), 3);
        EXPECT_EQ(d->FindPage(r9), 4);
        EXPECT_EQ(d->PageTree()->FindPage(r9), 4);
        TPDFIndRef* r3 = d->Structure()->NewIndirectRef(3, 0);
        EXPECT_EQ(d->GetPageFromRef(r3), 0);
    }
}

TEST(PageTree, DamagedTreesEndWalks) {
    // A /Kids cycle: node 6 lists itself. Loading drops the repeat and
    // counts the one page there is.
    {
        PdfBuilder b = TreeBody("6 0 R", "5");
        b.Obj(6, "<< /Type /Pages /Parent 2 0 R /Kids [6 0 R 3 0 R] /Count 5 >>");
        b.Obj(3, Page(6));
        auto d = Load(b);
        EXPECT_EQ(d->PageCount(), 1);
        EXPECT_EQ(PageNum(*d, 1), 3);
        EXPECT_EQ(PageNum(*d, 5), -1);
        ASSERT_NE(d->FirstPage(), nullptr);
        EXPECT_EQ(d->FirstPage()->IndObjNum(), 3);
    }
    // The same cycle made after loading: the walk ends with no page.
    {
        PdfBuilder b = TreeBody("6 0 R", "1");
        b.Obj(6, "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R] /Count 1 >>");
        b.Obj(3, Page(6));
        auto d = Load(b);
        auto* node = ObjAs<TPDFDictionary>(d->FindObj(6, 0)->GetObj());
        auto* kids = ObjAs<TPDFArray>(node->FindValueByKeyName("Kids", true));
        kids->Insert(0, d->Structure()->NewIndirectRef(6, 0));
        node->Add("Count", d->Structure()->NewNumeric(5));
        d->PageTree()->SetPageCount(5);
        d->PageTree()->ForgetPages();
        EXPECT_EQ(PageNum(*d, 5), -1);
        EXPECT_EQ(d->FirstPage(), nullptr);
    }
    // The flat shortcut meets the root itself among the kids.
    {
        PdfBuilder b = TreeBody("2 0 R", "1");
        auto d = Load(b);
        EXPECT_EQ(PageNum(*d, 1), -1);
        EXPECT_EQ(d->PageTree()->ThisPage(), nullptr);
    }
    // A /Parent cycle.
    {
        PdfBuilder b = TreeBody("3 0 R 4 0 R", "2");
        b.Obj(3, "<< /Type /Page /Parent 5 0 R >>");
        b.Obj(4, Page(2));
        b.Obj(5, "<< /Type /Pages /Parent 5 0 R /Kids [3 0 R] >>");
        auto d = Load(b);
        TPDFIndRef* r3 = d->Structure()->NewIndirectRef(3, 0);
        EXPECT_LE(d->GetPageFromRef(r3), 1);  // ends despite the cycle
        EXPECT_EQ(d->NextPage(ObjAs<TPDFDictionary>(r3->Obj())), nullptr);
        EXPECT_EQ(d->GetPageInheritedValue(ObjAs<TPDFDictionary>(r3->Obj()), "Rotate"), nullptr);
    }
    // A huge /Count is corrected to the pages there are.
    {
        PdfBuilder b = TreeBody("3 0 R", "2147483647");
        b.Obj(3, Page(2));
        auto d = Load(b);
        EXPECT_EQ(d->PageCount(), 1);
        EXPECT_EQ(PageNum(*d, 1), 3);
        EXPECT_EQ(PageNum(*d, 2000000000), -1);
    }
    // Kids that are not pages are dropped by the load; met later by a walk
    // (a tree changed after loading), a missing kid becomes a blank page and
    // a non-reference kid is skipped.
    {
        PdfBuilder b = TreeBody("42 (junk) 3 0 R 40 0 R", "2");
        b.Obj(3, Page(2));
        auto d = Load(b);
        EXPECT_EQ(d->PageCount(), 1);
        TPDFArray* kids = d->PageTree()->KidsArray();
        kids->Add(d->Structure()->NewNumeric(42));
        kids->Add(d->Structure()->NewIndirectRef(40, 0));
        d->PageTree()->SetPageCount(2);
        d->PageTree()->ForgetPages();
        TPDFDictionary* p = d->PageTree()->GetPage(2);
        ASSERT_NE(p, nullptr);
        EXPECT_NE(p->IndObjNum(), 40);
        EXPECT_EQ(p->Output().find("/MediaBox [ 0 0 612 792 ]") != std::string::npos, true);
    }
}

TEST(PageTree, KnownPagesCache) {
    PdfBuilder b = TreeBody("6 0 R", "3");
    b.Obj(6, "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
    b.Obj(3, Page(6)).Obj(4, Page(6)).Obj(5, Page(6));
    auto d = Load(b);
    TPDFPageTree* t = d->PageTree();
    t->SetPage(2);
    EXPECT_EQ(t->ThisPage()->IndObjNum(), 4);
    // Change the tree behind the cache: page 2 still comes from the cache,
    // the last page always from a walk.
    auto* kids = ObjAs<TPDFArray>(d->FindObj(6, 0)->GetObj()->Owner()->NewArray());
    (void)kids;
    auto* node = ObjAs<TPDFDictionary>(d->FindObj(6, 0)->GetObj());
    auto* k = ObjAs<TPDFArray>(node->FindValueByKeyName("Kids", false));
    k->Move(0, 2);  // [4 5 3]
    t->SetPage(2);
    EXPECT_EQ(t->ThisPage()->IndObjNum(), 4);
    t->SetPage(3);
    EXPECT_EQ(t->ThisPage()->IndObjNum(), 3);
    t->ForgetPages();
    t->SetPage(2);
    EXPECT_EQ(t->ThisPage()->IndObjNum(), 5);
    // A bad page number selects the current page again.
    t->SetPage(99);
    EXPECT_EQ(t->Page(), 2);
}

TEST(PageTree, ContentLayers) {
    PdfBuilder b = TreeBody("3 0 R 4 0 R 5 0 R", "3");
    b.Obj(3, Page(2));  // no /Contents
    b.Obj(4, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R >>");
    b.Obj(5, "<< /Type /Page /Parent 2 0 R /Contents [7 0 R] >>");
    b.Stream(6, "", "0 0 m 1 1 l S");
    b.Stream(7, "/LC /uZTN", std::string(500000, ' '));
    auto d = Load(b);
    TPDFPageTree* t = d->PageTree();

    // Page 1: an empty engine layer was made.
    t->SetPage(1);
    auto* c1 = ObjAs<TPDFArray>(t->ThisPage()->FindValueByKeyName("Contents", false));
    ASSERT_NE(c1, nullptr);
    EXPECT_EQ(c1->Count(), 1);
    EXPECT_TRUE(t->CanDraw());
    EXPECT_EQ(t->Layer(), 1);

    // Page 2: the stream reference becomes an array, and an engine layer follows.
    t->SetPage(2);
    auto* c2 = ObjAs<TPDFArray>(t->ThisPage()->FindValueByKeyName("Contents", false));
    ASSERT_NE(c2, nullptr);
    EXPECT_EQ(c2->Count(), 2);
    EXPECT_EQ(t->Layer(), 2);
    EXPECT_EQ(t->Painter()->GetSource(), "\n");

    // Page 3: an engine layer of exactly 500000 bytes is reused.
    t->SetPage(3);
    auto* c3 = ObjAs<TPDFArray>(t->ThisPage()->FindValueByKeyName("Contents", false));
    EXPECT_EQ(c3->Count(), 1);
    EXPECT_EQ(t->Painter()->GetSource().size(), 500001u);
    // Writing through the painter lands in the layer.
    t->Painter()->SetSource("1 0 0 RG");
    t->PainterChange(nullptr);
    t->FlushPainter();
    EXPECT_EQ(t->FPageContent.back()->Stream(), "1 0 0 RG \n");

    // One byte more and a new layer is appended.
    PdfBuilder b2 = TreeBody("3 0 R", "1");
    b2.Obj(3, "<< /Type /Page /Parent 2 0 R /Contents [7 0 R] >>");
    b2.Stream(7, "/LC /uZTN", std::string(500001, ' '));
    auto d2 = Load(b2);
    auto* c = ObjAs<TPDFArray>(d2->PageTree()->ThisPage()->FindValueByKeyName("Contents", false));
    EXPECT_EQ(c->Count(), 2);
}

TEST(DocumentTable, ObjectNumbering) {
    PdfBuilder b = TreeBody("3 0 R", "1");
    b.Obj(3, Page(2));
    b.Obj(12, "(twelve)");
    auto d = Load(b);
    const int32_t before = d->MaxObjNum();
    TPDFIndRef* r = d->NewObjRef(d->Structure()->NewDictionary());
    EXPECT_EQ(r->ObjNum, before);  // one above the highest present
    EXPECT_EQ(ObjAs<TPDFNumeric>(d->Trailer()->FindValueByKeyName("Size", false))->AsInteger(),
              before + 1);
    EXPECT_NE(d->FindObj(12, 3), nullptr);  // the generation is not compared
    EXPECT_EQ(d->FindObj(11, 0), nullptr);
    EXPECT_FALSE(d->GetObjectDecodeError(999));
}

TEST(DocumentTable, Diagnostics) {
    PdfBuilder b = vpltest::MinimalBody();
    b.Obj(5, "(five)");
    auto d = Load(b);
    const std::u16string s = d->IndObjSummary();
    // Object 5 is not parsed; object 1 was parsed by the load; object 6, the
    // engine layer of page 1, was made in memory.
    EXPECT_NE(s.find(u"5 ------- --------  ------- \r\n"), std::u16string::npos);
    EXPECT_NE(s.find(u"1 Decoded --------  ------- <<"), std::u16string::npos);
    EXPECT_NE(s.find(u"6 Decoded Decrypted ------- <<"), std::u16string::npos);
    EXPECT_EQ(d->IndObjects().substr(0, 18), "1 0 obj\r\n2 0 obj\r\n");
}

TEST(DocumentTable, InfoDictionary) {
    TPDFDocument d;
    ASSERT_EQ(d.LoadFromString(vpltest::MinimalPdf(), u""), lrOkay);
    const int32_t count = d.ObjCount();
    EXPECT_EQ(d.GetInfo("Title"), u"");
    EXPECT_EQ(d.ObjCount(), count + 1);  // an empty Info dictionary was added
    d.SetInfo("Title", u"Report", smString);
    EXPECT_EQ(d.GetRawInfo("Title"), "Report");
    d.SetInfo("dc:subject", u"x", smString);
    EXPECT_EQ(d.GetRawInfo("dc:subject"), "");
}

TEST(DocumentTable, CreateBlankLayout) {
    TPDFDocument d;
    ASSERT_TRUE(d.CreateBlank());
    EXPECT_EQ(d.Version(), "1.4");
    ASSERT_EQ(d.ObjCount(), 4);
    EXPECT_EQ(d.IndObjects(), "1 0 obj\r\n2 0 obj\r\n3 0 obj\r\n4 0 obj\r\n");
    EXPECT_EQ(d.FindObj(1, 0)->Output(),
              "1 0 obj\n<<\n/Type /Pages\n/Count 1\n/Kids [ 2 0 R ]\n>>\nendobj\n");
    EXPECT_EQ(d.FindObj(2, 0)->Output(),
              "2 0 obj\n<<\n/Type /Page\n/Parent 1 0 R\n/MediaBox [ 0 0 612 792 ]\n"
              "/CropBox [ 0 0 612 792 ]\n/Resources <<\n/ProcSet [ /PDF /Text /ImageB /ImageC "
              "/ImageI ]\n>>\n>>\nendobj\n");
    EXPECT_EQ(d.FindObj(3, 0)->Output(),
              "3 0 obj\n<<\n/Type /Catalog\n/Pages 1 0 R\n>>\nendobj\n");
    EXPECT_EQ(d.FindObj(4, 0)->Output(), "4 0 obj\n<<\n>>\nendobj\n");
    const std::string trailer = d.Trailer()->Output();
    EXPECT_EQ(trailer.rfind("<<\n/Size 5\n/Root 3 0 R\n/Info 4 0 R\n/ID [ <", 0), 0u) << trailer;
    auto* id = ObjAs<TPDFArray>(d.Trailer()->FindValueByKeyName("ID", false));
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(id->Count(), 2);
    EXPECT_EQ(ObjAs<TPDFString>(id->GetItem(0))->AsString().size(), 16u);
    EXPECT_EQ(id->GetItem(0), id->GetItem(1));
    EXPECT_EQ(d.PageCount(), 1);
    EXPECT_EQ(d.PageTree()->Page(), 1);
    EXPECT_EQ(d.PDFAMode(), 0);
    // Drawing on the blank page makes its layer an object.
    ASSERT_TRUE(d.PageTree()->CanDraw());
    d.PageTree()->Painter()->SetSource("0 0 m");
    d.PageTree()->PainterChange(nullptr);
    d.PageTree()->FlushPainter();
    EXPECT_EQ(d.ObjCount(), 5);
    EXPECT_EQ(d.FindObj(2, 0)->GetObj()->Output().find("/Contents [ 5 0 R ]") != std::string::npos,
              true);
    EXPECT_EQ(d.FindObj(5, 0)->Output(),
              "5 0 obj\n<<\n/Length 7\n/LC /uZTN\n>>\nstream\n0 0 m \n\nendstream\nendobj\n");
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

// A chain of Depth nested pages nodes above one page.
std::unique_ptr<TPDFDocument> DeepTree(int Depth) {
    vpltest::PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    for (int i = 0; i < Depth; ++i)
        b.Obj(2 + i, "<< /Type /Pages /Kids [" + std::to_string(3 + i) + " 0 R] /Count 1 >>");
    b.Obj(2 + Depth, "<< /Type /Page /Parent " + std::to_string(1 + Depth) + " 0 R >>");
    b.StartXRef(b.Table("/Root 1 0 R"));
    auto d = std::make_unique<TPDFDocument>();
    EXPECT_EQ(d->LoadFromString(b.data, u""), lrOkay);
    return d;
}

TEST(PageTree, DeepTreesWithoutRecursion) {
    auto shallow = DeepTree(100);
    EXPECT_EQ(PageNum(*shallow, 1), 102);
    EXPECT_EQ(shallow->FirstPage()->IndObjNum(), 102);
    auto deep = DeepTree(20000);  // deeper than any walk follows
    EXPECT_EQ(PageNum(*deep, 1), -1);
}

}  // namespace
}  // namespace velmo
