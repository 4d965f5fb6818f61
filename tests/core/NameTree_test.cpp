// Name trees and page-tree balancing.
#include "core/NameTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "core/Structure.h"
#include "tests/core/PDFFixture.h"

using namespace velmo;
using namespace vpltest;

namespace {

std::string Keys(const TPDFNameTree& t) {
    std::string out;
    for (int32_t i = 1; i <= t.KeyCount(); ++i) out += t.KeyName(i) + ",";
    return out;
}

}  // namespace

TEST(NameTree, SingleNode) {
    PDFFixture f;
    TPDFDictionary* root = f.S.NewDictionary();
    TPDFNameTree t(&f.S, root);
    EXPECT_TRUE(t.SingleNode());
    ASSERT_EQ(t.Arrays.size(), 1u);
    t.AddKey("b", f.Ref(2));
    t.AddKey("a", f.Ref(1));
    EXPECT_EQ(root->Output(), "<<\n/Names [ (a) 1 0 R (b) 2 0 R ]\n>>\n");

    PDFFixture g;
    TPDFDictionary* r2 = g.Dict("<< /Names [(a) 1 0 R (c) 3 0 R] >>");
    TPDFNameTree t2(&g.S, r2);
    t2.AddKey("b", g.Ref(2));
    t2.AddKey("d", g.Ref(4));
    EXPECT_EQ(Keys(t2), "a,b,c,d,");
    EXPECT_EQ(t2.FindKey("b")->ObjNum, 2);
    EXPECT_EQ(t2.FindKey("d")->ObjNum, 4);
    EXPECT_EQ(t2.FindKey("zz"), nullptr);
    EXPECT_EQ(t2.KeyName(0), "");
    EXPECT_EQ(t2.KeyName(5), "");
    EXPECT_EQ(t2.KeyCount(), 4);
}

TEST(NameTree, DirectValuesAndDuplicates) {
    PDFFixture f;
    TPDFNameTree t(&f.S, f.Dict("<< /Names [(a) << /D 1 >> (b) 5 0 R (b) 6 0 R 7 (x)] >>"));
    EXPECT_TRUE(t.HasKey("a"));
    EXPECT_EQ(t.FindKey("a"), nullptr);  // a direct value never matches
    EXPECT_FALSE(t.DeleteKey("a"));
    EXPECT_EQ(t.FindKey("b")->ObjNum, 6);  // the last pair wins
    EXPECT_TRUE(t.HasKey(""));             // a key that is not a string
    EXPECT_EQ(t.KeyCount(), 3);
    EXPECT_TRUE(t.DeleteKey("b"));
    EXPECT_EQ(t.FindKey("b")->ObjNum, 5);
}

TEST(NameTree, KidsCycleTerminates) {
    PDFFixture f;
    f.Put(2, "<< /Kids [3 0 R 2 0 R] >>");
    f.Put(3, "<< /Kids [2 0 R 4 0 R] >>");
    f.Put(4, "<< /Names [(k) 9 0 R] /Limits [(k) (k)] >>");
    TPDFNameTree t(&f.S, f.Get(2));
    EXPECT_EQ(t.Arrays.size(), 1u);
    EXPECT_EQ(t.FindKey("k")->ObjNum, 9);
}

TEST(NameTree, DeleteKeepsRawLimitBytes) {
    PDFFixture f;
    f.Put(2, "<< /Kids [3 0 R 4 0 R] >>");
    f.Put(3, "<< /Names [<41AD> 10 0 R <419F> 11 0 R (B) 12 0 R] /Limits [<41AD> (B)] >>");
    f.Put(4, "<< /Names [(C) 13 0 R] /Limits [(C) (C)] >>");
    TPDFNameTree t(&f.S, f.Get(2));
    ASSERT_TRUE(t.DeleteKey("B"));
    auto* limits = ObjAs<TPDFArray>(f.Get(3)->FindValueByKeyName("Limits", false));
    ASSERT_EQ(limits->Count(), 2);
    EXPECT_EQ(ObjAs<TPDFString>(limits->GetItem(0))->AsString(), "A\xAD");
    EXPECT_EQ(ObjAs<TPDFString>(limits->GetItem(1))->AsString(), "A\x9F");
}

TEST(NameTree, EmptiedKidIsPrunedAndNotFilledAgain) {
    PDFFixture f;
    f.Put(2, "<< /Kids [3 0 R 4 0 R] >>");
    f.Put(3, "<< /Names [(a) 10 0 R] /Limits [(a) (a)] >>");
    f.Put(4, "<< /Names [(m) 11 0 R] /Limits [(m) (m)] >>");
    TPDFNameTree t(&f.S, f.Get(2));
    ASSERT_TRUE(t.DeleteKey("m"));
    auto* kids = ObjAs<TPDFArray>(f.Get(2)->FindValueByKeyName("Kids", false));
    EXPECT_EQ(kids->Count(), 1);
    t.AddKey("z", f.Ref(12));
    // The new pair went into the leaf that is still in the tree.
    TPDFNameTree fresh(&f.S, f.Get(2));
    EXPECT_EQ(fresh.FindKey("z")->ObjNum, 12);
    EXPECT_EQ(Keys(fresh), "a,z,");
}

TEST(NameTree, RandomEditsKeepKeysAndLimits) {
    PDFFixture f;
    // A two-level tree of four leaves with keys k000..k399 in steps of 4.
    std::string kids;
    for (int leaf = 0; leaf < 4; ++leaf) {
        std::string names;
        char lo[8], hi[8];
        for (int i = 0; i < 25; ++i) {
            char key[8];
            std::snprintf(key, sizeof key, "k%03d", (leaf * 25 + i) * 4);
            names += std::string("(") + key + ") 1 0 R ";
        }
        std::snprintf(lo, sizeof lo, "k%03d", leaf * 100);
        std::snprintf(hi, sizeof hi, "k%03d", leaf * 100 + 96);
        f.Put(10 + leaf, "<< /Names [" + names + "] /Limits [(" + lo + ") (" + hi + ")] >>");
        kids += std::to_string(10 + leaf) + " 0 R ";
    }
    f.Put(2, "<< /Kids [" + kids + "] >>");
    f.Put(1, "<< /Type /Filespec >>");
    TPDFNameTree t(&f.S, f.Get(2));
    std::map<std::string, int> live;
    for (int i = 0; i < 100; ++i) {
        char key[8];
        std::snprintf(key, sizeof key, "k%03d", i * 4);
        live[key] = 1;
    }
    std::mt19937 rng(1234);
    for (int step = 0; step < 1000; ++step) {
        char key[8];
        std::snprintf(key, sizeof key, "k%03d", int(rng() % 420));
        if (rng() % 2 && !live.count(key)) {
            t.AddKey(key, f.Ref(100 + step));
            live[key] = 100 + step;
        } else if (live.count(key)) {
            ASSERT_TRUE(t.DeleteKey(key)) << key;
            live.erase(key);
        } else {
            EXPECT_FALSE(t.DeleteKey(key)) << key;
        }
    }
    // Every live key is findable from a fresh reading of the tree, no other
    // key is there, and each leaf's /Limits are its first and last key.
    TPDFNameTree fresh(&f.S, f.Get(2));
    for (const auto& [key, num] : live) {
        TPDFIndRef* r = fresh.FindKey(key);
        ASSERT_NE(r, nullptr) << key;
        EXPECT_EQ(r->ObjNum, num) << key;
    }
    EXPECT_EQ(fresh.KeyCount(), int(live.size()));
    for (size_t l = 0; l < fresh.Arrays.size(); ++l) {
        TPDFArray* a = fresh.Arrays[l];
        if (a->Count() == 0) continue;
        std::vector<std::string> keys;
        for (int32_t i = 0; i < a->Count(); i += 2)
            keys.push_back(ObjAs<TPDFString>(a->GetItem(i))->AsString());
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
        auto* limits = ObjAs<TPDFArray>(fresh.Dicts[l]->FindValueByKeyName("Limits", true));
        ASSERT_NE(limits, nullptr);
        ASSERT_EQ(limits->Count(), 2);
        EXPECT_EQ(ObjAs<TPDFString>(limits->GetItem(0))->AsString(), keys.front());
        EXPECT_EQ(ObjAs<TPDFString>(limits->GetItem(1))->AsString(), keys.back());
    }
}

TEST(TreeBalancer, TwentyFivePagesFanOutTen) {
    PDFFixture f;
    f.Put(1, "<< /Type /Pages /MediaBox [0 0 612 792] /Rotate 90 /Resources 2 0 R /Count 25 >>");
    f.Put(2, "<< /ProcSet [/PDF] >>");
    std::vector<TPDFIndRef*> refs;
    for (int i = 0; i < 25; ++i) {
        f.Put(10 + i, i == 3 ? "<< /Type /Page /Parent 1 0 R /MediaBox [0 0 100 100] >>"
                             : "<< /Type /Page /Parent 1 0 R >>");
        refs.push_back(f.Ref(10 + i));
    }
    TKPLTreeBalancer b;
    b.Structure = &f.S;
    b.OnNewIndObj = f.S.OnNewIndObj;
    b.OnIndObjLookup = f.S.OnIndObjLookup;
    TPDFIndRef* root = b.Balance(refs, 10);
    ASSERT_NE(root, nullptr);
    TPDFDictionary* r = f.Get(root->ObjNum);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->IntValue("Count", 0), 25);
    EXPECT_EQ(r->DictType(), "Pages");
    auto* kids = ObjAs<TPDFArray>(r->FindValueByKeyName("Kids", false));
    ASSERT_EQ(kids->Count(), 3);
    const int expected[3] = {10, 10, 5};
    for (int k = 0; k < 3; ++k) {
        TPDFDictionary* node = f.Get(ObjAs<TPDFIndRef>(kids->GetItem(k))->ObjNum);
        EXPECT_EQ(node->IntValue("Count", 0), expected[k]);
        EXPECT_EQ(ObjAs<TPDFArray>(node->FindValueByKeyName("Kids", false))->Count(), expected[k]);
        EXPECT_EQ(ObjAs<TPDFIndRef>(node->FindValueByKeyName("Parent", false))->ObjNum,
                  root->ObjNum);
        EXPECT_EQ(node->GetEntry(0).Key->Name(), "Kids");
        EXPECT_EQ(node->GetEntry(1).Key->Name(), "Count");
        EXPECT_EQ(node->GetEntry(2).Key->Name(), "Type");
        EXPECT_EQ(node->GetEntry(3).Key->Name(), "Parent");
    }
    for (int i = 0; i < 25; ++i) {
        TPDFDictionary* page = f.Get(10 + i);
        EXPECT_EQ(page->IntValue("Rotate", -1), 90);
        auto* box = ObjAs<TPDFArray>(page->FindValueByKeyName("MediaBox", false));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->Output(), i == 3 ? "[ 0 0 100 100 ]" : "[ 0 0 612 792 ]");
        EXPECT_NE(ObjAs<TPDFDictionary>(page->FindValueByKeyName("Resources", true)), nullptr);
        auto* parent = ObjAs<TPDFIndRef>(page->FindValueByKeyName("Parent", false));
        EXPECT_EQ(f.Get(parent->ObjNum)->IntValue("Count", 0), i < 20 ? 10 : 5);
    }
}

TEST(TreeBalancer, SinglePageEmptyListAndParentCycle) {
    PDFFixture f;
    f.Put(1, "<< /Type /Pages /Parent 2 0 R >>");
    f.Put(2, "<< /Type /Pages /Parent 1 0 R /Rotate 180 >>");
    f.Put(3, "<< /Type /Page /Parent 1 0 R >>");
    f.Put(4, "<< /Type /Page /Parent 4 0 R >>");
    TKPLTreeBalancer b;
    b.Structure = &f.S;
    b.OnNewIndObj = f.S.OnNewIndObj;
    b.OnIndObjLookup = f.S.OnIndObjLookup;
    EXPECT_EQ(b.Balance({}, 10), nullptr);
    EXPECT_EQ(TKPLTreeBalancer::FindInheritedValue(f.Get(4), "MediaBox"), nullptr);
    TPDFIndRef* root = b.Balance({f.Ref(3), f.Ref(4)}, 10);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(f.Get(root->ObjNum)->IntValue("Count", 0), 2);
    EXPECT_EQ(f.Get(3)->IntValue("Rotate", -1), 180);

    TPDFIndRef* one = b.Balance({f.Ref(3)}, 10);
    EXPECT_EQ(f.Get(one->ObjNum)->IntValue("Count", 0), 1);
    // A fan-out below 2 still ends.
    TPDFIndRef* fan1 = b.Balance({f.Ref(3), f.Ref(4), f.Ref(3)}, 1);
    ASSERT_NE(fan1, nullptr);
    EXPECT_EQ(f.Get(fan1->ObjNum)->IntValue("Count", 0), 3);
}
