#include "document/OptionalContent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Structure.h"
#include "document/Document.h"
#include "tests/document/DocTestSupport.h"
#include "tests/document/PdfBuilder.h"

namespace velmo {
namespace {

using vpltest::LoadText;
using vpltest::PdfBuilder;

// A one-page file whose catalog carries the given /OCProperties (text) and
// the extra objects (number, body) that it refers to.
std::unique_ptr<TPDFDocument> WithOCProperties(
    const std::string& Props, const std::vector<std::pair<int, std::string>>& Objs) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R /OCProperties " + Props + " >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
    for (const auto& [n, body] : Objs) b.Obj(n, body);
    b.StartXRef(b.Table("/Root 1 0 R"));
    return LoadText(b.data);
}

TPDFDictionary* Props(TPDFDocument& D) {
    return ObjAs<TPDFDictionary>(D.GetRootDict()->FindValueByKeyName("OCProperties", true));
}
TPDFDictionary* DefaultConfig(TPDFDocument& D) {
    return ObjAs<TPDFDictionary>(Props(D)->FindValueByKeyName("D", true));
}
std::string Out(TPDFDictionary* D, const char* Key) {
    TPDFObject* O = D->FindValueByKeyName(Key, true);
    return O ? O->Output() : "(none)";
}
std::string Compact(std::string S) {
    std::string R;
    for (char C : S)
        if (C != ' ' && C != '\n' && C != '\r') R += C;
    return R;
}

TEST(OptionalContent, NewOCGBuildsPropertiesOrderAndAutoStates) {
    TPDFDocument d;
    ASSERT_TRUE(d.CreateBlank());
    TPDFIndRef* g = d.NewOCG(u"Layer \u00e9");
    ASSERT_NE(g, nullptr);
    TPDFDictionary* props = Props(d);
    ASSERT_NE(props, nullptr);
    // OCProperties is an indirect object of its own.
    auto* propsRef = ObjAs<TPDFIndRef>(d.GetRootDict()->FindValueByKeyName("OCProperties", false));
    ASSERT_NE(propsRef, nullptr);

    const std::string G = std::to_string(g->ObjNum) + "0R";
    EXPECT_EQ(Compact(Out(props, "OCGs")), "[" + G + "]");
    TPDFDictionary* cfg = DefaultConfig(d);
    ASSERT_NE(cfg, nullptr);
    EXPECT_FALSE(cfg->IsIndirect());
    EXPECT_EQ(Compact(Out(cfg, "Order")), "[" + G + "]");
    EXPECT_EQ(Compact(Out(cfg, "AS")), "[<</Event/View/Category[/View]/OCGs[" + G +
                                           "]>><</Event/Print/Category[/Print]/OCGs[" + G + "]>>]");
    EXPECT_EQ(Out(cfg, "ON"), "(none)");
    EXPECT_EQ(Out(cfg, "OFF"), "(none)");

    auto* group = ObjAs<TPDFDictionary>(g->Obj());
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(Compact(Out(group, "Type")), "/OCG");
    EXPECT_EQ(d.OCGName(g), u"Layer \u00e9");
    EXPECT_TRUE(d.GetOCGVisible(g));
    EXPECT_TRUE(d.GetOCGPrintable(g));
    EXPECT_EQ(d.OCGCount(), 1);
    EXPECT_EQ(d.OCGRef(1)->ObjNum, g->ObjNum);
    EXPECT_EQ(d.OCGRef(2), nullptr);

    // A second group joins the same arrays.
    TPDFIndRef* h = d.NewOCG(u"Second");
    EXPECT_EQ(d.OCGCount(), 2);
    EXPECT_EQ(d.GetOptionalContentConfigOrderCount(1), 2);
    EXPECT_EQ(d.GetOptionalContentConfigOrderItemLabel(1, 2), u"Second");
    EXPECT_EQ(d.GetOptionalContentConfigOrderItemOCG(1, 2)->ObjNum, h->ObjNum);
}

TEST(OptionalContent, VisibilityPrintingAndTheStateLists) {
    TPDFDocument d;
    ASSERT_TRUE(d.CreateBlank());
    TPDFIndRef* a = d.NewOCG(u"A");
    TPDFIndRef* b = d.NewOCG(u"B");

    ASSERT_TRUE(d.SetOCGVisible(b, false));
    TPDFDictionary* cfg = DefaultConfig(d);
    const std::string B = std::to_string(b->ObjNum) + "0R";
    EXPECT_EQ(Compact(Out(cfg, "OFF")), "[" + B + "]");
    EXPECT_EQ(Compact(Out(cfg, "ON")), "[]");
    EXPECT_EQ(Compact(Out(ObjAs<TPDFDictionary>(b->Obj()), "Usage")),
              "<</View<</ViewState/OFF>>>>");
    EXPECT_FALSE(d.GetOCGVisible(b));
    EXPECT_TRUE(d.GetOCGVisible(a));

    TVPLOCGStateList view = d.GetViewOCGList();
    ASSERT_EQ(view.size(), 2u);
    EXPECT_EQ(view[0].OCGIndRef->ObjNum, a->ObjNum);
    EXPECT_TRUE(view[0].Show);
    EXPECT_EQ(view[1].OCGIndRef->ObjNum, b->ObjNum);
    EXPECT_FALSE(view[1].Show);
    for (const TVPLOCGState& s : d.GetPrintOCGList()) EXPECT_TRUE(s.Show);

    // Visible again: back in ON and in the view auto state.
    ASSERT_TRUE(d.SetOCGVisible(b, true));
    EXPECT_TRUE(d.GetOCGVisible(b));
    EXPECT_EQ(Compact(Out(cfg, "OFF")), "[]");

    // Printing: 0 hides, 2 removes the group's own setting.
    EXPECT_TRUE(d.SetOCGPrintable(a, 0));
    EXPECT_FALSE(d.GetOCGPrintable(a));
    EXPECT_FALSE(d.GetPrintOCGList()[0].Show);
    EXPECT_TRUE(d.SetOCGPrintable(a, 2));
    EXPECT_TRUE(d.GetOCGPrintable(a));

    // Nil groups: setters refuse, getters see a visible, printable group.
    EXPECT_FALSE(d.SetOCGVisible(nullptr, false));
    EXPECT_TRUE(d.GetOCGVisible(nullptr));
    EXPECT_TRUE(d.GetOCGPrintable(nullptr));
    EXPECT_FALSE(d.SetOCGName(nullptr, u"x"));

    // Two groups of the same name: the auto state of one shows the other.
    TPDFIndRef* twin = d.NewOCG(u"A");
    ASSERT_TRUE(d.SetOCGVisible(twin, false));
    EXPECT_TRUE(d.GetOCGVisible(twin));

    // Deleting keeps the group in /Order.
    EXPECT_TRUE(d.DeleteOCG(a));
    EXPECT_EQ(d.OCGCount(), 2);
    EXPECT_EQ(d.GetOptionalContentConfigOrderCount(1), 3);
}

TEST(OptionalContent, ViewListOfALoadedFileWithAnOffGroup) {
    // Group 5 is OFF in the default configuration; the third /OCGs element
    // is no reference; /D has no /AS yet.
    auto d = WithOCProperties(
        "<< /OCGs [4 0 R 5 0 R 7] /D << /OFF [5 0 R] /Order [4 0 R 5 0 R] >> >>",
        {{4, "<< /Type /OCG /Name (Shown) >>"}, {5, "<< /Type /OCG /Name (Hidden) >>"}});
    TVPLOCGStateList list = d->GetViewOCGList();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].OCGIndRef->ObjNum, 4);
    EXPECT_TRUE(list[0].Show);
    EXPECT_EQ(list[1].OCGIndRef->ObjNum, 5);
    EXPECT_FALSE(list[1].Show);
    EXPECT_EQ(list[2].OCGIndRef, nullptr);
    EXPECT_TRUE(list[2].Show);
    // Reading the view state added an empty /AS.
    EXPECT_EQ(Compact(Out(DefaultConfig(*d), "AS")), "[]");

    // The renderer's rule over the same list: group 5 hides, 4 and unknown
    // groups show, the nil entry matches nothing.
    TPDFStructure& s = *d->Structure();
    EXPECT_TRUE(OCGShown(s.NewIndirectRef(4, 0), list));
    EXPECT_FALSE(OCGShown(s.NewIndirectRef(5, 0), list));
    EXPECT_TRUE(OCGShown(s.NewIndirectRef(5, 1), list));
    EXPECT_TRUE(OCGShown(s.NewIndirectRef(99, 0), list));

    // BaseState /OFF: only groups in /ON are visible.
    auto off =
        WithOCProperties("<< /OCGs [4 0 R 5 0 R] /D << /BaseState /OFF /ON [4 0 R] >> >>",
                         {{4, "<< /Type /OCG /Name (A) >>"}, {5, "<< /Type /OCG /Name (B) >>"}});
    TVPLOCGStateList l2 = off->GetViewOCGList();
    ASSERT_EQ(l2.size(), 2u);
    EXPECT_TRUE(l2[0].Show);
    EXPECT_FALSE(l2[1].Show);
}

TEST(OptionalContent, MembershipPolicies) {
    // Groups 4 (shown) and 5 (hidden by the list).
    auto d =
        WithOCProperties("<< /OCGs [4 0 R 5 0 R] /D << /OFF [5 0 R] >> >>",
                         {{4, "<< /Type /OCG /Name (A) >>"}, {5, "<< /Type /OCG /Name (B) >>"}});
    TVPLOCGStateList list = d->GetViewOCGList();
    struct Case {
        const char* OCMD;
        bool Visible;
    };
    const Case cases[] = {
        {"<< /Type /OCMD /OCGs [] /P /AllOn >>", true},
        {"<< /Type /OCMD /OCGs [] /P /AllOff >>", true},
        {"<< /Type /OCMD /OCGs [] /P /AnyOn >>", false},
        {"<< /Type /OCMD /OCGs [] /P /AnyOff >>", false},
        {"<< /Type /OCMD /OCGs [] >>", false},
        {"<< /Type /OCMD /OCGs [4 0 R 5 0 R] /P /AnyOff >>", true},
        {"<< /Type /OCMD /OCGs [4 0 R 5 0 R] /P /AllOn >>", false},
        {"<< /Type /OCMD /OCGs [4 0 R 5 0 R] >>", true},
        {"<< /Type /OCMD /OCGs 5 0 R /P /AllOff >>", true},
        {"<< /Type /OCMD /OCGs 4 0 R /P /Sometimes >>", false},
        // References to no dictionary do not count.
        {"<< /Type /OCMD /OCGs [77 0 R 5 0 R] /P /AllOff >>", true},
    };
    for (const Case& c : cases) {
        auto* ocmd = ObjAs<TPDFDictionary>(d->Structure()->Decode(c.OCMD));
        ASSERT_NE(ocmd, nullptr) << c.OCMD;
        EXPECT_EQ(OCMDVisible(ocmd, list), c.Visible) << c.OCMD;
    }
}

TEST(OptionalContent, ConfigurationsStatesAndLocks) {
    auto none = WithOCProperties("null", {});
    EXPECT_EQ(none->GetOptionalContentConfigCount(), 0);

    auto d = WithOCProperties(
        "<< /OCGs [4 0 R] /D << /Order [] >> /Configs [<< /BaseState /OFF /OFF [4 0 R] >> 6 0 R] "
        ">>",
        {{4, "<< /Type /OCG /Name (G) >>"}, {6, "<< /BaseState /Unchanged /ON [4 0 R] >>"}});
    EXPECT_EQ(d->GetOptionalContentConfigCount(), 3);
    EXPECT_NE(d->GetOptionalContentConfigDict(3), nullptr);
    EXPECT_EQ(d->GetOptionalContentConfigDict(4), nullptr);
    EXPECT_EQ(d->GetOptionalContentConfigDict(0), nullptr);
    TPDFIndRef* g = d->OCGRef(1);
    EXPECT_EQ(d->GetOptionalContentConfigState(1, g), 1);
    EXPECT_EQ(d->GetOptionalContentConfigState(2, g), 2);
    EXPECT_EQ(d->GetOptionalContentConfigState(3, g), 1);
    EXPECT_EQ(d->GetOptionalContentConfigState(4, g), 0);

    // Base state OFF: 1 puts the group in ON and out of OFF, 2 out of both.
    TPDFDictionary* alt = d->GetOptionalContentConfigDict(2);
    EXPECT_TRUE(d->SetOptionalContentConfigState(2, g, 1));
    EXPECT_EQ(Compact(Out(alt, "ON")), "[40R]");
    EXPECT_EQ(Compact(Out(alt, "OFF")), "[]");
    EXPECT_TRUE(d->SetOptionalContentConfigState(2, g, 2));
    EXPECT_EQ(Compact(Out(alt, "ON")), "[]");
    EXPECT_EQ(d->GetOptionalContentConfigState(2, g), 2);
    EXPECT_FALSE(d->SetOptionalContentConfigState(2, g, 3));
    EXPECT_TRUE(d->SetOptionalContentConfigState(3, g, 3));

    EXPECT_TRUE(d->SetOptionalContentConfigLocked(1, g, true));
    EXPECT_TRUE(d->SetOptionalContentConfigLocked(1, g, true));
    EXPECT_EQ(Compact(Out(d->GetOptionalContentConfigDict(1), "Locked")), "[40R]");
    EXPECT_TRUE(d->GetOptionalContentConfigLocked(1, g));
    EXPECT_TRUE(d->SetOptionalContentConfigLocked(1, g, false));
    EXPECT_FALSE(d->GetOptionalContentConfigLocked(1, g));
}

TEST(OptionalContent, OrderItemsNestLabelsAndSurviveCycles) {
    // [A [(L) B C] D] and an array that contains itself.
    auto d = WithOCProperties(
        "<< /OCGs [4 0 R 5 0 R 6 0 R 7 0 R] /D << /Order [4 0 R [(L) 5 0 R 6 0 R] 7 0 R 8 0 R 3.5] "
        ">> >>",
        {{4, "<< /Type /OCG /Name (A) >>"},
         {5, "<< /Type /OCG /Name (B) >>"},
         {6, "<< /Type /OCG /Name (C) >>"},
         {7, "<< /Type /OCG /Name (D) >>"},
         {8, "[8 0 R (not first) 4 0 R]"}});
    struct Want {
        int Type, Level;
        std::u16string Label;
    };
    const Want want[] = {{1, 1, u"A"}, {2, 2, u"L"}, {1, 3, u"B"}, {1, 3, u"C"},
                         {1, 1, u"D"}, {0, 2, u""},  {1, 2, u"A"}, {0, 1, u""}};
    ASSERT_EQ(d->GetOptionalContentConfigOrderCount(1), 8);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(d->GetOptionalContentConfigOrderItemType(1, i + 1), want[i].Type);
        EXPECT_EQ(d->GetOptionalContentConfigOrderItemLevel(1, i + 1), want[i].Level);
        EXPECT_EQ(d->GetOptionalContentConfigOrderItemLabel(1, i + 1), want[i].Label);
    }
    EXPECT_EQ(d->GetOptionalContentConfigOrderItemOCG(1, 2), nullptr);
    EXPECT_EQ(d->GetOptionalContentConfigOrderItemOCG(1, 3)->ObjNum, 5);
    EXPECT_EQ(d->GetOptionalContentConfigOrderItemType(1, 9), 0);
    EXPECT_EQ(d->GetOptionalContentConfigOrderItemLevel(1, 0), 0);
}

}  // namespace
}  // namespace velmo
