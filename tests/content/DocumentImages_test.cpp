// The document's images through the content writer's image class, the page
// tree's painter, the image search of a document, and the document's XMP
// metadata.
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "content/Image.h"
#include "content/Painter.h"
#include "document/Document.h"
#include "document/FontBase.h"
#include "document/PageTree.h"
#include "document/XMP.h"
#include "platform/files/Stream.h"
#include "tests/content/ImageFixtures.h"

using namespace velmo;
using namespace vpltest;

namespace {

struct TBlank {
    TPDFDocument Doc;
    TBlank() {
        InstallContentServices();
        Doc.CreateBlank();
    }
    TPDFImageBase* Add(const std::string& File, int32_t Options = 0) {
        TStringStream in(File);
        return Doc.NewImageFromStream(in, Options, 0);
    }
};

const std::string kJpeg = Jpeg(JFIF(1, 72, 72), Frame(0xC0, 64, 48, 3));

}  // namespace

TEST(DocumentImages, NewImagesAndTheirList) {
    TBlank b;
    TPDFImageBase* a = b.Add(kJpeg);
    TPDFImageBase* c = b.Add(Png(2, 8, 4, 4));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(c, nullptr);
    const std::regex name("VelmoPDFIm[0-9a-f]{8}");
    EXPECT_TRUE(std::regex_match(a->FName, name)) << a->FName;
    EXPECT_TRUE(std::regex_match(c->FName, name)) << c->FName;
    EXPECT_NE(a->FName, c->FName);
    EXPECT_EQ(b.Doc.ImageCount(), 2);
    // A refused file changes nothing.
    EXPECT_EQ(b.Add(Png(2, 8, 4, 4), 8), nullptr);
    EXPECT_EQ(b.Add("not an image"), nullptr);
    EXPECT_EQ(b.Doc.ImageCount(), 2);
    EXPECT_EQ(b.Doc.Image(0), a);
    EXPECT_EQ(b.Doc.Image(2), nullptr);
    EXPECT_EQ(b.Doc.Image(-1), nullptr);
    EXPECT_TRUE(b.Doc.IsImage(a));
    EXPECT_TRUE(b.Doc.ReleaseImage(a));
    EXPECT_FALSE(b.Doc.ReleaseImage(a));
    EXPECT_FALSE(b.Doc.IsImage(a));
    EXPECT_EQ(b.Doc.ImageCount(), 1);
    EXPECT_FALSE(b.Doc.IsImageList(c));
    EXPECT_FALSE(b.Doc.ReleaseTextList(c));
    // Raw data.
    TPDFImageBase* raw = b.Doc.NewImageDirectFromString(std::string(12, '\x7f'), 2, 2, 8,
                                                        u"/DeviceRGB", u"", u"", false);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(b.Doc.ImageCount(), 2);
}

TEST(DocumentImages, PageTreePainterWritesTheLayer) {
    TBlank b;
    auto* painter = dynamic_cast<TPDFPainter*>(b.Doc.PageTree()->Painter());
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->PDFPrecNum, 4);
    auto* img = static_cast<TPDFImage*>(b.Add(kJpeg));
    ASSERT_NE(img, nullptr);
    painter->DrawImage(img, 0, 48, 64, 48);
    const std::string expected = "q\n64 0 0 48 0 0 cm\n/" + img->FName + " Do\nQ\n";
    EXPECT_EQ(painter->GetSource(), expected);
    // The layer takes what was drawn when the page tree flushes the writer
    // (page change, save, reading the layer).
    b.Doc.PageTree()->FlushPainter();
    TPDFDictionary* page = b.Doc.PageTree()->ThisPage();
    ASSERT_NE(page, nullptr);
    TPDFObject* contents = page->FindValueByKeyName("Contents", true);
    TPDFStream* layer = ObjAs<TPDFStream>(contents);
    if (auto* arr = ObjAs<TPDFArray>(contents))
        if (auto* ref = ObjAs<TPDFIndRef>(arr->GetItem(arr->Count() - 1)))
            layer = ObjAs<TPDFStream>(ref->Obj());
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->GetDecodedStream(), expected);
}

TEST(DocumentImages, FindingImages) {
    TBlank b;
    TPDFStructure* s = b.Doc.Structure();
    auto* img = static_cast<TPDFImage*>(b.Add(kJpeg));
    auto* only = static_cast<TPDFImage*>(b.Add(Png(0, 8, 2, 2)));  // used by no page
    ASSERT_TRUE(img && only);
    TPDFDictionary* page = b.Doc.PageTree()->GetPage(1);
    auto* res = ObjAs<TPDFDictionary>(page->FindValueByKeyName("Resources", true));
    ASSERT_NE(res, nullptr);
    // The image directly, and again through a form that also holds itself.
    TPDFStream* form = s->NewStream("q Q", false);
    TPDFIndRef* formRef = b.Doc.NewObjRef(form);
    form->Dictionary()->Add("Subtype", s->NewName("Form"));
    TPDFDictionary* formRes = s->NewDictionary();
    TPDFDictionary* formX = s->NewDictionary();
    formX->Add("Im1", s->NewIndirectRef(img->FIndRef->ObjNum, 0));
    formX->Add("Self", s->NewIndirectRef(formRef->ObjNum, 0));
    formRes->Add("XObject", formX);
    form->Dictionary()->Add("Resources", formRes);
    TPDFDictionary* x = s->NewDictionary();
    x->Add(img->FName, s->NewIndirectRef(img->FIndRef->ObjNum, 0));
    x->Add("Fm1", s->NewIndirectRef(formRef->ObjNum, 0));
    res->Add("XObject", x);
    // An annotation whose appearance holds the gray image.
    TPDFStream* ap = s->NewStream("", false);
    TPDFDictionary* apRes = s->NewDictionary();
    TPDFDictionary* apX = s->NewDictionary();
    apX->Add("G", s->NewIndirectRef(only->FIndRef->ObjNum, 0));
    apRes->Add("XObject", apX);
    ap->Dictionary()->Add("Resources", apRes);
    TPDFDictionary* apDict = s->NewDictionary();
    apDict->Add("N", b.Doc.NewObjRef(ap));
    TPDFDictionary* annot = s->NewDictionary();
    annot->Add("AP", apDict);
    page->Add("Annots", s->NewArray({b.Doc.NewObjRef(annot)}));

    const int32_t before = b.Doc.ImageCount();
    EXPECT_EQ(b.Doc.FindImagesMode1(false), 2);
    EXPECT_EQ(b.Doc.ImageCount(), before + 2);
    auto* found = b.Doc.Image(before);
    EXPECT_EQ(found->FImageType, itJPEG);
    EXPECT_EQ(found->FWidth, 64);
    EXPECT_EQ(found->FImageData, kJpeg);
    EXPECT_EQ(found->FImageDictionary, img->FImageDictionary);
    // Every image XObject of the document, once per call.
    page->PurgeKey("Annots");
    EXPECT_EQ(b.Doc.FindImagesMode2(true), 2);
    EXPECT_EQ(b.Doc.FindImagesMode2(true), 2);
    EXPECT_EQ(b.Doc.Image(b.Doc.ImageCount() - 1)->FImageType, itBMP);
}

TEST(DocumentXMP, MetadataAndPDFAMode) {
    TBlank b;
    EXPECT_EQ(b.Doc.GetMetadata(), "");
    EXPECT_EQ(b.Doc.GetXMPInformation(u"dc:title", u";"), u"");
    EXPECT_TRUE(b.Doc.SetXMPInformation(u"dc:subject", u"birds", u";"));
    EXPECT_FALSE(b.Doc.SetXMPInformation(u"dc:title", u"x", u";"));
    EXPECT_EQ(b.Doc.GetXMPInformation(u"dc:subject", u";"), u"birds");
    EXPECT_FALSE(b.Doc.SetPDFAMode(1));
    EXPECT_TRUE(b.Doc.SetPDFAMode(2));
    EXPECT_EQ(b.Doc.PDFAMode(), 2);
    // Info entries are mirrored into the packet.
    b.Doc.SetInfo("ModDate", u"D:20240102030405Z", smString);
    b.Doc.SetInfo("Title", u"Birds", smString);
    b.Doc.SetInfo("dc:subject", u"birds", smString);
    b.Doc.SetInfo("Custom", u"x", smString);
    EXPECT_EQ(b.Doc.GetInfo("ModDate"), u"D:20240102030405Z");
    EXPECT_EQ(b.Doc.GetInfo("dc:subject"), u"");
    EXPECT_EQ(b.Doc.XMP->Title(), u"Birds");
    b.Doc.StoreXMP();
    auto* meta = ObjAs<TPDFStream>(b.Doc.GetRootDict()->FindValueByKeyName("Metadata", true));
    ASSERT_NE(meta, nullptr);
    EXPECT_EQ(meta->Dictionary()->StringValue("Type"), "Metadata");
    EXPECT_EQ(meta->Dictionary()->StringValue("Subtype"), "XML");
    EXPECT_EQ(meta->Dictionary()->FindValueByKeyName("Filter", false), nullptr);
    const std::string packet = meta->GetDecodedStream();
    EXPECT_NE(packet.find("<xmp:ModifyDate>2024-01-02T03:04:05Z</xmp:ModifyDate>"),
              std::string::npos);
    EXPECT_NE(packet.find("<pdfaid:part>1</pdfaid:part>"), std::string::npos);
    EXPECT_EQ(packet.find("<?xml"), std::string::npos);
    // The object was rebuilt from the stored packet.
    EXPECT_EQ(b.Doc.XMP->DCSubject(), u"birds");
    EXPECT_EQ(b.Doc.XMP->PDFAID(), u"1B");
    // Without the object, the stream is the metadata.
    b.Doc.XMP.reset();
    EXPECT_EQ(b.Doc.GetMetadata(), packet);
}

namespace {
struct TCountingFont : TPDFFontBase {
    int* Updates;
    explicit TCountingFont(int* U) : Updates(U) {}
    void UpdateSubset() override { ++*Updates; }
};
}  // namespace

TEST(DocumentFonts, ListAndSubsets) {
    TBlank b;
    int updates = 0;
    auto font = std::make_unique<TCountingFont>(&updates);
    font->FName = "VelmoPDFF00000001";
    font->FIndRef = b.Doc.Structure()->NewIndirectRef(7, 0);
    TPDFFontBase* f = font.get();
    b.Doc.FFonts.push_back(std::move(font));
    EXPECT_EQ(b.Doc.FontCount(), 1);
    EXPECT_TRUE(b.Doc.IsFont(f));
    EXPECT_FALSE(b.Doc.IsFont(nullptr));
    EXPECT_TRUE(b.Doc.FontExists(7, 0));
    EXPECT_FALSE(b.Doc.FontExists(7, 1));
    b.Doc.UpdateFontSubsets();
    EXPECT_EQ(updates, 1);
    // The no-embed list reaches every new image.
    b.Doc.SetNoEmbedFontList({"Arial", "Symbol"});
    TStringStream in(kJpeg);
    TPDFImageBase* img = b.Doc.NewImageFromStream(in, 0, 0);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->FNoEmbedFontList,
              "<VPLNoEmbedFont>Arial</VPLNoEmbedFont><VPLNoEmbedFont>Symbol</VPLNoEmbedFont>");
    b.Doc.ClearNoEmbedFontList();
    EXPECT_TRUE(b.Doc.FNoEmbedFontList.empty());
}
