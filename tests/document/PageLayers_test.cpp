#include <gtest/gtest.h>

#include "core/Flate.h"
#include "document/Document.h"
#include "document/PageTree.h"
#include "tests/document/DocTestSupport.h"
#include "tests/document/PdfBuilder.h"

namespace velmo {
namespace {

using vpltest::LoadText;
using vpltest::PdfBuilder;

// One page whose content is the streams given (dictionary entries, data).
std::unique_ptr<TPDFDocument> PageWithLayers(
    const std::vector<std::pair<std::string, std::string>>& Layers) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    std::string refs;
    for (size_t i = 0; i < Layers.size(); ++i) refs += std::to_string(4 + i) + " 0 R ";
    b.Obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [" + refs + "] >>");
    for (size_t i = 0; i < Layers.size(); ++i)
        b.Stream(static_cast<int>(4 + i), Layers[i].first, Layers[i].second);
    b.StartXRef(b.Table("/Root 1 0 R"));
    return LoadText(b.data);
}

// A drawing operation of the content writer: its content becomes Text,
// then the change event; returns the content the layer is to hold.
std::string Draw(TPDFPageTree& T, const std::string& Text) {
    T.Painter()->SetSource(Text);
    if (T.Painter()->OnChange) T.Painter()->OnChange(T.Painter());
    return T.Painter()->GetSource();
}

TEST(PageLayers, SelectionAddsEngineLayerAndMarkerTest) {
    auto d = PageWithLayers({{"", "1 0 0 RG"}});
    TPDFPageTree& t = *d->PageTree();
    EXPECT_EQ(t.LayerCount(), 2);
    EXPECT_EQ(t.Layer(), 2);
    EXPECT_TRUE(t.VelmoPDFLayer());
    t.SetLayer(1);
    EXPECT_FALSE(t.VelmoPDFLayer());
    EXPECT_EQ(t.ExtractContent(), "1 0 0 RG");
    t.SetLayer(9);
    EXPECT_EQ(t.Layer(), 2);
}

TEST(PageLayers, EngineLayerSizeRuleAtItsEdge) {
    for (const size_t size : {size_t{500000}, size_t{500001}}) {
        auto d = PageWithLayers({{"/LC /uZTN", std::string(size, ' ')}});
        EXPECT_EQ(d->PageTree()->LayerCount(), size == 500000 ? 1 : 2) << size;
        // After combining, the size rule no longer applies on this tree.
        d->PageTree()->CombineLayers();
        d->PageTree()->SetLayer(1);
        d->PageTree()->SetContent(std::string(size, ' '));
        d->PageTree()->SetPage(1);
        EXPECT_EQ(d->PageTree()->LayerCount(), 1) << size;
    }
}

TEST(PageLayers, CombineMoveDeleteAndCompress) {
    {
        auto d = PageWithLayers({{"/LC /uZTN", "1 0 0 RG"}, {"/LC /uZTN", "0 0 m 10 10 l S"}});
        TPDFPageTree& t = *d->PageTree();
        ASSERT_EQ(t.LayerCount(), 2);
        EXPECT_TRUE(t.CombineLayers());
        EXPECT_EQ(t.LayerCount(), 1);
        t.SetLayer(1);
        EXPECT_EQ(t.ExtractContent(), "q\n 1 0 0 RG 0 0 m 10 10 l S\nQ\n");
        EXPECT_TRUE(t.VelmoPDFLayer());
        EXPECT_EQ(t.ThisPage()->FindValueByKeyName("Contents", true)->Output(), "[ 4 0 R ]");
    }
    {
        auto d = PageWithLayers({{"", "A"}, {"/LC /uZTN", "B"}});
        TPDFPageTree& t = *d->PageTree();
        ASSERT_EQ(t.LayerCount(), 2);
        EXPECT_TRUE(t.MoveLayer(2, 1));
        EXPECT_EQ(t.LayerCount(), 3);
        t.SetLayer(1);
        EXPECT_EQ(t.ExtractContent(), "B");
        EXPECT_FALSE(t.MoveLayer(0, 1));
        // Deleting layer 3 of 3 selects layer 2; drawing goes into layer 2.
        t.SetLayer(3);
        EXPECT_TRUE(t.DeleteLayer());
        EXPECT_EQ(t.LayerCount(), 2);
        EXPECT_EQ(t.Layer(), 2);
        EXPECT_EQ(t.Painter()->GetSource(), "A \n");
        EXPECT_EQ(t.ExtractContent(), Draw(t, "A 0 g"));
    }
    {
        const std::string packed = FlateCompress("0 0 m");
        auto d = PageWithLayers({{"/Filter [ /FlateDecode ]", packed}, {"/Filter /ASCIIHexDecode", "41 42>"}});
        TPDFPageTree& t = *d->PageTree();
        t.Compress();
        t.SetLayer(1);
        EXPECT_EQ(t.ExtractContent(), "0 0 m");
        auto* s4 = ObjAs<TPDFStream>(d->FindObj(4, 0)->GetObj());
        EXPECT_EQ(s4->FDictionary->FindValueByKeyName("Filter", false)->Output(), "[ /FlateDecode ]");
        EXPECT_EQ(s4->FStream, packed);
        auto* s5 = ObjAs<TPDFStream>(d->FindObj(5, 0)->GetObj());
        EXPECT_EQ(s5->FDictionary->FindValueByKeyName("Filter", false)->Output(), "/FlateDecode");
        EXPECT_EQ(s5->GetDecodedStream(), "AB");
    }
}

TEST(PageLayers, DrawingRespectsCanDraw) {
    // An unsupported filter and damaged Flate data: neither layer is
    // overwritten by the next drawing.
    auto d = PageWithLayers({{"/Filter /ASCIIHexDecode", "41 42>"},
                             {"/Filter /FlateDecode", "not a zlib stream at all"},
                             {"/LC /uZTN", ""}});
    TPDFPageTree& t = *d->PageTree();
    for (int layer : {1, 2}) {
        t.SetLayer(layer);
        EXPECT_FALSE(t.CanDraw()) << layer;
        Draw(t, "1 g");
        t.FlushPainter();
    }
    EXPECT_EQ(ObjAs<TPDFStream>(d->FindObj(4, 0)->GetObj())->FStream, "41 42>");
    EXPECT_EQ(ObjAs<TPDFStream>(d->FindObj(5, 0)->GetObj())->FStream, "not a zlib stream at all");
    const std::string saved = d->SaveToString();
    EXPECT_NE(saved.find("not a zlib stream at all"), std::string::npos);
    EXPECT_EQ(saved.find("1 g"), std::string::npos);
}

TEST(PageLayers, PainterFlushesOnPageChangeSaveAndRead) {
    TPDFDocument d;
    d.CreateBlank();
    TPDFPageTree& t = *d.PageTree();
    t.NewPages(2, 1, 612, 792);
    t.SetPage(1);
    Draw(t, "0 0 m");
    const std::string two = Draw(t, "0 0 m 1 1 l");
    // Not yet in the layer: the writer holds it until a flush.
    TPDFStream* layer = t.FPageContent.back();
    EXPECT_EQ(layer->FStream, "");
    EXPECT_EQ(t.ExtractContent(), two);
    const std::string three = Draw(t, "0 0 m 1 1 l S");
    t.SetPage(2);
    EXPECT_EQ(layer->GetDecodedStream(), three);
    Draw(t, "2 2 m");
    const std::string saved = d.SaveToString();
    EXPECT_NE(saved.find("2 2 m"), std::string::npos);
    EXPECT_NE(saved.find(three), std::string::npos);
}

TEST(PageLayers, RemoveSharedLayersGivesEachPageItsOwnStream) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    b.Obj(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>");
    b.Obj(4, "<< /Type /Page /Parent 2 0 R /Contents [5 0 R] >>");
    b.Stream(5, "", "BT ET");
    b.StartXRef(b.Table("/Root 1 0 R"));
    auto d = LoadText(b.data);
    EXPECT_TRUE(d->RemoveSharedLayers());
    auto first = [&](int page) {
        auto* p = ObjAs<TPDFDictionary>(d->FindObj(page, 0)->GetObj());
        TPDFObject* c = p->FindValueByKeyName("Contents", false);
        if (auto* a = ObjAs<TPDFArray>(c)) c = a->GetItem(0);
        return ObjAs<TPDFIndRef>(c);
    };
    ASSERT_TRUE(first(3) && first(4));
    EXPECT_NE(first(3)->ObjNum, 5);
    EXPECT_NE(first(4)->ObjNum, 5);
    EXPECT_NE(first(3)->ObjNum, first(4)->ObjNum);
    EXPECT_EQ(ObjAs<TPDFStream>(first(3)->Obj())->GetDecodedStream(), "BT ET");
    EXPECT_EQ(ObjAs<TPDFStream>(first(4)->Obj())->GetDecodedStream(), "BT ET");
    EXPECT_FALSE(d->RemoveSharedLayers());
}

TEST(PageLayers, TransparencyGroup) {
    TPDFDocument d;
    d.CreateBlank();
    d.PageTree()->SetPageTransparencyGroup("DeviceRGB", true, false);
    EXPECT_EQ(d.PageTree()->ThisPage()->FindValueByKeyName("Group", false)->Output(),
              "<<\n/Type /Group\n/S /Transparency\n/CS /DeviceRGB\n/I true\n/K false\n>>\n");
}

}  // namespace
}  // namespace velmo
