#include <gtest/gtest.h>

#include "core/Digests.h"
#include "document/Document.h"
#include "document/PageTree.h"
#include "tests/document/DocTestSupport.h"
#include "tests/document/PdfBuilder.h"

namespace velmo {
namespace {

using vpltest::LoadText;
using vpltest::PdfBuilder;

// A flat tree of N pages (objects 3 .. N+2), each with content "page k".
std::unique_ptr<TPDFDocument> FlatDoc(int N, const std::string& RootExtra = "") {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int k = 0; k < N; ++k) kids += std::to_string(3 + k) + " 0 R ";
    b.Obj(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(N) + " " + RootExtra + " >>");
    for (int k = 0; k < N; ++k)
        b.Obj(3 + k, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(3 + N + k) + " 0 R >>");
    for (int k = 0; k < N; ++k) b.Stream(3 + N + k, "", "page " + std::to_string(k + 1));
    b.StartXRef(b.Table("/Root 1 0 R"));
    return LoadText(b.data);
}

// The object numbers of the pages in order, through a fresh page walk.
std::vector<int> Order(TPDFDocument& d) {
    d.PageTree()->ForgetPages();
    std::vector<int> out;
    for (int n = 1; n <= d.PageCount(); ++n) {
        TPDFDictionary* p = d.PageTree()->GetPage(n);
        out.push_back(p ? p->IndObjNum() : -1);
    }
    return out;
}

// Decoded content of all layers of page n.
std::string ContentOf(TPDFDocument& d, int n) {
    TPDFDictionary* p = d.PageTree()->GetPage(n);
    TPDFObject* c = p->FindValueByKeyName("Contents", true);
    std::string out;
    auto add = [&](TPDFObject* o) {
        if (auto* r = ObjAs<TPDFIndRef>(o)) o = r->Obj();
        if (auto* s = ObjAs<TPDFStream>(o)) out += s->GetDecodedStream() + "|";
    };
    if (auto* a = ObjAs<TPDFArray>(c))
        for (TPDFObject* it : a->LiveItems()) add(it);
    else add(c);
    return out;
}

TEST(PageEdit, NewPagesAppendAndInsertKeepTheCache) {
    auto d = FlatDoc(3);
    TPDFPageTree& t = *d->PageTree();
    // Walk every page once so that they are cached.
    for (int n = 1; n <= 3; ++n) t.GetPage(n);
    t.NewPages(2, 1, 100, 200);
    EXPECT_EQ(t.Page(), 2);
    EXPECT_EQ(d->PageCount(), 4);
    // The former page 2 is page 3, also through the cache.
    EXPECT_EQ(t.GetPage(3)->IndObjNum(), 4);
    t.SetPage(3);
    EXPECT_EQ(t.ThisPage()->IndObjNum(), 4);
    t.NewPages(5, 3, 595, 842);
    EXPECT_EQ(d->PageCount(), 7);
    t.SetPage(7);
    EXPECT_EQ(t.ThisPage()->FindValueByKeyName("MediaBox", false)->Output(), "[ 0 0 595 842 ]");
    EXPECT_EQ(t.PageWidth(), 595);
    EXPECT_EQ(t.LayerCount(), 1);
    EXPECT_TRUE(t.VelmoPDFLayer());
    auto* kids = t.KidsArray();
    EXPECT_EQ(kids->Count(), 7);
    EXPECT_EQ(Order(*d)[0], 3);
    EXPECT_EQ(Order(*d)[2], 4);
}

TEST(PageEdit, MoveHideDeleteAndCounts) {
    {
        auto d = FlatDoc(4);
        d->PageTree()->MovePage(1, 4);
        EXPECT_EQ(Order(*d), (std::vector<int>{4, 5, 6, 3}));
        EXPECT_EQ(d->PageCount(), 4);
        d->PageTree()->MovePage(4, 2);
        EXPECT_EQ(Order(*d), (std::vector<int>{4, 3, 5, 6}));
    }
    {
        // Moving the only page keeps it.
        auto d = FlatDoc(1);
        d->PageTree()->MovePage(1, 1);
        EXPECT_EQ(Order(*d), (std::vector<int>{3}));
    }
    {
        auto d = FlatDoc(4);
        d->PageTree()->DeletePages(2, 2);
        EXPECT_EQ(Order(*d), (std::vector<int>{3, 6}));
        EXPECT_EQ(d->PageTree()->KidsArray()->Output(), "[ 3 0 R 6 0 R ]");
        // The deleted pages' content is blank; the others keep theirs.
        EXPECT_EQ(ContentOf(*d, 1), "page 1||");  // with its engine layer
        EXPECT_EQ(ContentOf(*d, 2), "page 4|");
        EXPECT_EQ(ObjAs<TPDFStream>(d->FindObj(8, 0)->GetObj())->GetDecodedStream(), "");
    }
    {
        auto d = FlatDoc(3);
        d->PageTree()->SetPage(2);
        d->PageTree()->HidePage();
        EXPECT_EQ(Order(*d), (std::vector<int>{3, 5}));
        EXPECT_TRUE(d->FindObj(4, 0));
    }
}

TEST(PageEdit, MovedPageKeepsInheritedAttributes) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 >>");
    b.Obj(3, "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 /MediaBox [0 0 200 300] >>");
    b.Obj(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    b.Obj(5, "<< /Type /Page /Parent 3 0 R >>");
    b.Obj(6, "<< /Type /Page /Parent 3 0 R >>");
    b.StartXRef(b.Table("/Root 1 0 R"));
    auto d = LoadText(b.data);
    d->PageTree()->MovePage(1, 3);
    EXPECT_EQ(Order(*d), (std::vector<int>{6, 4, 5}));
    auto* node3 = ObjAs<TPDFDictionary>(d->FindObj(3, 0)->GetObj());
    EXPECT_EQ(node3->FindValueByKeyName("Count", false)->Output(), "1");
    d->PageTree()->SetPage(3);
    EXPECT_EQ(d->PageTree()->PageWidth(), 200);
    EXPECT_EQ(d->PageTree()->ThisPage()->FindValueByKeyName("Parent", false)->Output(), "2 0 R");
}

TEST(PageEdit, ClonesShareTheFirstLayerAndDeletingOneKeepsTheOriginal) {
    TPDFDocument d;
    d.CreateBlank();
    TPDFPageTree& t = *d.PageTree();
    t.NewPages(2, 1, 300, 300);
    t.SetPage(1);
    t.SetContent("1 0 0 rg");
    t.SetPage(2);
    t.SetContent("0 1 0 rg");
    t.ClonePages(1, 2, 2);
    EXPECT_EQ(d.PageCount(), 6);
    EXPECT_EQ(t.Page(), 3);
    for (int n = 3; n <= 6; ++n) {
        t.SetPage(n);
        EXPECT_EQ(t.LayerCount(), 2) << n;
        t.SetLayer(1);
        EXPECT_EQ(t.ExtractContent(), n % 2 ? "1 0 0 rg" : "0 1 0 rg") << n;
    }
    // Deleting a clone leaves the shared first layer alone.
    t.DeletePages(3, 1);
    t.ForgetPages();
    EXPECT_EQ(d.PageCount(), 5);
    t.SetPage(1);
    t.SetLayer(1);
    EXPECT_EQ(t.ExtractContent(), "1 0 0 rg");
    t.SetPage(4);
    t.SetLayer(1);
    EXPECT_EQ(t.ExtractContent(), "1 0 0 rg");
}

TEST(PageEdit, BalancedTreeOfTwentyFivePages) {
    auto d = FlatDoc(25);
    const std::vector<int> before = Order(*d);
    d->PageTree()->SetPage(7);
    d->BalancePageTree();
    EXPECT_EQ(d->PageTree()->Page(), 7);
    EXPECT_EQ(Order(*d), before);
    TPDFArray* kids = d->PageTree()->KidsArray();
    ASSERT_TRUE(kids);
    ASSERT_EQ(kids->Count(), 3);
    std::vector<int> counts;
    for (TPDFObject* k : kids->LiveItems())
        counts.push_back(ObjAs<TPDFDictionary>(ObjAs<TPDFIndRef>(k)->Obj())->IntValue("Count", -1));
    EXPECT_EQ(counts, (std::vector<int>{10, 10, 5}));
}

TEST(PageEdit, RemoveUnsharedResourcesKeepsWhatKeptPagesReach) {
    // Page 3 (kept) draws form 8, which uses image 9; page 4 (deleted) uses
    // image 9 directly and image 10 alone, and annotation appearance 11 is
    // reached by page 3 only.
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    b.Obj(3, "<< /Type /Page /Parent 2 0 R /Resources << /XObject << /F 8 0 R >> >> "
             "/Annots [ << /Subtype /Square /AP << /N 11 0 R >> >> ] >>");
    b.Obj(4, "<< /Type /Page /Parent 2 0 R /Resources << /XObject << /I 9 0 R /J 10 0 R /K 11 0 R >> >> >>");
    b.Stream(8, "/Type /XObject /Subtype /Form /Resources << /XObject << /Im 9 0 R >> >>", "/Im Do");
    b.Stream(9, "/Type /XObject /Subtype /Image /Width 1 /Height 1", "A");
    b.Stream(10, "/Type /XObject /Subtype /Image /Width 1 /Height 1", "B");
    b.Stream(11, "/Type /XObject /Subtype /Form", "0 0 m");
    b.StartXRef(b.Table("/Root 1 0 R"));
    auto d = LoadText(b.data);
    d->PageTree()->DeletePages(2, 1);
    auto data = [&](int n) { return ObjAs<TPDFStream>(d->FindObj(n, 0)->GetObj())->GetDecodedStream(); };
    EXPECT_EQ(data(9), "A");
    EXPECT_EQ(data(11), "0 0 m");
    EXPECT_EQ(data(10), "123");
    EXPECT_EQ(data(8), "/Im Do");
}

TEST(PageBoxes, SizeBoxesRotationAndUserUnit) {
    {
        auto d = FlatDoc(1, "/MediaBox [0 0 595 842]");
        TPDFPageTree& t = *d->PageTree();
        EXPECT_EQ(t.PageWidth(), 595);
        EXPECT_EQ(t.PageHeight(), 842);
        EXPECT_EQ(t.HasPageBox("MediaBox"), 0);  // inherited as a direct array
        // Inherited through a reference: 2.
    }
    {
        auto d = FlatDoc(1);
        TPDFPageTree& t = *d->PageTree();
        EXPECT_EQ(t.PageWidth(), 612);
        EXPECT_EQ(t.ThisPage()->FindValueByKeyName("MediaBox", false)->Output(), "[ 0 0 612 792 ]");
        EXPECT_EQ(t.HasPageBox("MediaBox"), 1);
        t.SetPageWidth(300);
        EXPECT_EQ(t.ThisPage()->FindValueByKeyName("MediaBox", false)->Output(), "[ 0 0 300 792 ]");
        EXPECT_EQ(t.ThisPage()->FindValueByKeyName("CropBox", false)->Output(), "[ 0 0 300 792 ]");
        t.SetCropBox(10, 700, 200, 100);
        EXPECT_EQ(t.ThisPage()->FindValueByKeyName("CropBox", false)->Output(), "[ 10 600 210 700 ]");
        EXPECT_EQ(t.PageBoxProperties("TrimBox", pdWidth), 200);  // falls back to the crop box
        EXPECT_EQ(t.PageBoxProperties("MediaBox", pdWidth), 300);
        t.SetPageBoxProperties("TrimBox", 5, 50, 20, 30);
        EXPECT_EQ(t.PageBoxProperties("TrimBox", pdBottom), 20);
        EXPECT_EQ(t.RemovePageBox("TrimBox"), 1);
        EXPECT_EQ(t.RemovePageBox("TrimBox"), 0);
        EXPECT_FALSE(d->RotatePage(45));
        EXPECT_TRUE(d->RotatePage(-90));
        EXPECT_EQ(d->PageRotation(), -90);
        EXPECT_EQ(t.UserUnit(), 1.0);
        t.SetUserUnit(2.5);
        EXPECT_EQ(t.UserUnit(), 2.5);
    }
    {
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox 4 0 R >>");
        b.Obj(3, "<< /Type /Page /Parent 2 0 R /CropBox [612 792 0 0] >>");
        b.Obj(4, "[0 0 400 500]");
        b.StartXRef(b.Table("/Root 1 0 R"));
        auto d = LoadText(b.data);
        TPDFPageTree& t = *d->PageTree();
        EXPECT_EQ(t.HasPageBox("MediaBox"), 2);
        EXPECT_EQ(t.PageWidth(), 400);
        EXPECT_EQ(t.PageBoxProperties("CropBox", pdWidth), 612);
        EXPECT_EQ(t.PageBoxProperties("CropBox", pdTop), 792);
    }
}

TEST(PageBoxes, LGIDictionaries) {
    TPDFDocument d;
    d.CreateBlank();
    TPDFPageTree& t = *d.PageTree();
    EXPECT_FALSE(t.AddLGIDict("[ 1 2 ]"));
    EXPECT_EQ(t.GetLGIDictCount(), 0);
    EXPECT_TRUE(t.AddLGIDict("<< /Type /LGI /A 1 >>"));
    EXPECT_TRUE(t.AddLGIDict("<< /Type /LGI /A 2 >>"));
    EXPECT_EQ(t.GetLGIDictCount(), 2);
    EXPECT_NE(t.GetLGIDictContent(1).find("/A 2"), std::string::npos);
    EXPECT_TRUE(t.DeleteLGIDict(0));
    EXPECT_TRUE(t.DeleteLGIDict(0));
    EXPECT_EQ(t.ThisPage()->FindIndexByKeyName("LGIDict"), -1);
    EXPECT_FALSE(t.DeleteLGIDict(0));
}

TEST(PageResources, RegistrationInheritanceAndNames) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources << /XObject << /X1 9 0 R >> >> "
             "/MediaBox [0 0 10 20] >>");
    b.Obj(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Count 1 >>");
    b.Obj(4, "<< /Type /Page /Parent 3 0 R >>");
    b.Obj(5, "<< /Type /OCG /Name (Layer1) >>");
    b.StartXRef(b.Table("/Root 1 0 R"));
    auto d = LoadText(b.data);
    TPDFPageTree& t = *d->PageTree();
    TPDFStructure& s = *d->Structure();
    t.UseXObject("X2", s.NewIndirectRef(7, 0));
    t.UseXObject("X2", s.NewIndirectRef(7, 0));
    t.UseXObject("X1", s.NewIndirectRef(8, 0));
    // Added to the grandparent's dictionary; the page has none of its own.
    EXPECT_EQ(t.ThisPage()->FindIndexByKeyName("Resources"), -1);
    auto* root = ObjAs<TPDFDictionary>(d->FindObj(2, 0)->GetObj());
    EXPECT_EQ(root->FindValueByKeyName("Resources", false)->Output(),
              "<<\n/XObject <<\n/X2 7 0 R\n/X1 8 0 R\n>>\n>>\n");
    const std::string name = t.UseOCG(s.NewIndirectRef(5, 0));
    EXPECT_EQ(name, "VelmoPDFOCG" + MD5DigestToHex(MD5OfString("Layer15 0 R")).substr(0, 8));

    t.CloneResources(true);
    for (const char* k : {"MediaBox", "CropBox", "BleedBox", "TrimBox", "ArtBox"})
        EXPECT_EQ(t.ThisPage()->FindValueByKeyName(k, false)->Output(), "[ 0 0 10 20 ]") << k;
    EXPECT_EQ(t.ThisPage()->FindValueByKeyName("Rotate", false)->Output(), "0");
    EXPECT_TRUE(ObjAs<TPDFDictionary>(t.ThisPage()->FindValueByKeyName("Resources", false)));
}

// An image resource bound to an existing object.
class TestImage : public TPDFImageBase {
public:
    TestImage(TPDFStructure* S, std::string Name, TPDFIndRef* Ref) : TPDFImageBase(S, std::move(Name), nullptr) {
        FIndRef = Ref;
    }
    bool NewImageFromStream(TStream&, int32_t) override { return false; }
    bool NewImageDirectFromString(const std::string&, int32_t, int32_t, int32_t, const std::u16string&,
                                  const std::u16string&, const std::u16string&, bool) override {
        return false;
    }
    void Populate(int32_t, int32_t, int32_t, int32_t) override {}
};

TEST(PageResources, ImagesFieldsAndFonts) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Obj(3, "<< /Type /Page /Parent 2 0 R /Resources << /XObject << /Fm0 4 0 R >> >> /Annots 7 0 R >>");
    b.Stream(4, "/Subtype /Form /Resources << /XObject << /Im0 5 0 R >> >>", "/Im0 Do");
    b.Stream(5, "/Subtype /Image", "a");
    b.Stream(6, "/Subtype /Image", "b");
    b.Obj(7, "[ 8 0 R ]");
    b.Obj(8, "<< /FT /Tx >>");
    b.StartXRef(b.Table("/Root 1 0 R"));
    auto d = LoadText(b.data);
    TPDFPageTree& t = *d->PageTree();
    TPDFStructure& s = *d->Structure();
    TestImage original(&s, "Im9", s.NewIndirectRef(5, 0));
    TestImage replacement(&s, "New", s.NewIndirectRef(6, 0));
    EXPECT_TRUE(t.ReplaceImage(&original, &replacement));
    EXPECT_EQ(replacement.Name(), "Im0");
    auto* form = ObjAs<TPDFStream>(d->FindObj(4, 0)->GetObj());
    EXPECT_NE(form->FDictionary->Output().find("/Im0 6 0 R"), std::string::npos);
    // The new image is registered on the page itself too.
    EXPECT_NE(t.Resources()->Output().find("/Im0 6 0 R"), std::string::npos);
    EXPECT_FALSE(t.ReplaceImage(&original, &replacement));

    t.UseFont("F1", s.NewIndirectRef(10, 0));
    t.UseFont("F1", s.NewIndirectRef(10, 0));
    t.UseFont("F2", s.NewIndirectRef(11, 0));
    t.UseFont("F1", s.NewIndirectRef(12, 0));
    EXPECT_EQ(t.Resources()->FindValueByKeyName("Font", false)->Output(), "<<\n/F2 11 0 R\n/F1 12 0 R\n>>\n");

    auto* annots = ObjAs<TPDFArray>(d->FindObj(7, 0)->GetObj());
    t.UseField(s.NewIndirectRef(8, 0));
    EXPECT_EQ(annots->Count(), 1);
    t.UseField(s.NewIndirectRef(9, 0));
    EXPECT_EQ(annots->Output(), "[ 8 0 R 9 0 R ]");
    t.ReleaseField(s.NewIndirectRef(8, 0), nullptr);
    EXPECT_EQ(annots->Output(), "[ 9 0 R ]");
}

TEST(PageResources, ColourSpaceReport) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Obj(3, "<< /Type /Page /Parent 2 0 R /Resources << /ColorSpace << /CS0 [/Separation /Spot1 "
             "/DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0.5 1 0] /N 1 >>] >> "
             "/XObject << /Im0 4 0 R >> >> >>");
    b.Stream(4, "/Subtype /Image /ColorSpace /DeviceGray", "x");
    b.StartXRef(b.Table("/Root 1 0 R"));
    auto d = LoadText(b.data);
    EXPECT_EQ(d->PageTree()->FindColorSpaces(0),
              "Resource,\\\"CS0\\\",Separation,\\\"Spot1\\\",DeviceCMYK,0,0.5,1,0\r\n"
              "XObject,\\\"Im0\\\",Image,,\\\"DeviceGray\\\",-1,-1,-1,-1\r\n");
}

}  // namespace
}  // namespace velmo
