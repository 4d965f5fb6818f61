#include "core/Structure.h"

#include <gtest/gtest.h>

#include "core/StringList.h"

namespace velmo {
namespace {

TEST(Structure, ListGrowsInSteps) {
    TPDFStructure S;
    EXPECT_EQ(S.Capacity(), 0);
    S.NewNull();
    EXPECT_EQ(S.Capacity(), 1000);
    EXPECT_EQ(S.Reserved(), 999);
    for (int I = 1; I < 901; ++I) S.NewNull();
    EXPECT_EQ(S.Capacity(), 1000);
    S.NewNull();  // the 902nd
    EXPECT_EQ(S.Capacity(), 1901);
    EXPECT_EQ(S.ObjectCount(), 902);
    EXPECT_EQ(S.GetObject(902), nullptr);
    EXPECT_EQ(S.GetObject(-1), nullptr);
}

TEST(Structure, CommonNamesAreShared) {
    TPDFStructure S;
    auto* T1 = S.NewCommonName("Type");
    auto* T2 = S.NewCommonName("Type");
    EXPECT_EQ(T1, T2);
    EXPECT_TRUE(T1->FCommon);
    auto* F1 = S.NewCommonName("Foo");
    auto* F2 = S.NewCommonName("Foo");
    EXPECT_NE(F1, F2);
    EXPECT_TRUE(F1->FCommon && F2->FCommon);
    EXPECT_TRUE(IsCommonNameText("VelmoPDF"));
    EXPECT_TRUE(IsCommonNameText("Type][Subtype"));  // the bracketed test
    EXPECT_FALSE(IsCommonNameText("type"));
    EXPECT_FALSE(IsCommonNameText(""));
}

TEST(Structure, CommonNameFindsTheFirstParsedName) {
    TPDFStructure S;
    S.NewNull();
    auto* D = ObjAs<TPDFDictionary>(S.Decode("<< /Type /Pages /Pages /X >>"));
    ASSERT_TRUE(D);
    auto* Parsed = D->GetEntry(0).Value;  // the value /Pages, made before the key /Pages
    auto* Common = S.NewCommonName("Pages");
    EXPECT_EQ(Common, Parsed);
    EXPECT_TRUE(Common->FCommon);
    EXPECT_FALSE(Common->HasChanged());
    EXPECT_EQ(S.FindName("Pages"), Parsed);

    // Renaming moves the shared name away: the next look-up finds the key.
    static_cast<TPDFName*>(Parsed)->SetTo("Gone");
    EXPECT_EQ(S.NewCommonName("Pages"), D->GetEntry(1).Key);
    // A name renamed to a common text counts from its position in the list.
    TPDFStructure S2;
    auto* A = S2.NewName("A");
    auto* Later = S2.NewCommonName("Font");
    A->SetTo("Font");
    EXPECT_EQ(S2.NewCommonName("Font"), A);
    EXPECT_NE(A, Later);
}

TEST(Structure, RemoveObjectRules) {
    TPDFStructure S;
    auto* Outer = S.NewDictionary();
    auto* Inner = S.NewDictionary();
    auto* V = S.NewNumeric(1);
    Inner->Add("K", V);
    Outer->Add("In", Inner);
    int32_t Count = S.ObjectCount();
    S.RemoveObject(Inner);  // held: nothing
    EXPECT_EQ(S.ObjectCount(), Count);
    S.RemoveObject(Inner->GetEntry(0).Key);  // common name: nothing
    EXPECT_EQ(S.ObjectCount(), Count);
    auto* Free = S.NewDictionary();
    Free->Add("K", V);
    S.RemoveObject(Free);                   // free-standing: freed, its entries stay
    EXPECT_EQ(S.ObjectCount(), Count + 1);  // the new key name K
    EXPECT_EQ(Inner->GetEntry(0).Value, V);
    EXPECT_EQ(V->HolderCount(), 1u);

    TPDFStructure Other;
    auto* Foreign = Other.NewNull();
    S.RemoveObject(Foreign);  // not in this store
    EXPECT_EQ(Other.ObjectCount(), 1);
    S.RemoveObject(nullptr);

    // Order is kept after removals in the middle of the list.
    auto* A = S.NewNumeric(10);
    auto* B = S.NewNumeric(11);
    auto* C = S.NewNumeric(12);
    int32_t IndexA = S.ObjectCount() - 3;
    S.RemoveObject(B);
    EXPECT_EQ(S.GetObject(IndexA), A);
    EXPECT_EQ(S.GetObject(IndexA + 1), C);
    EXPECT_EQ(S.GetObject(IndexA + 2), nullptr);
    S.RemoveObject(C);
    S.RemoveObject(A);
    EXPECT_EQ(S.ObjectCount(), IndexA);
}

TEST(Structure, ContainerEditsDetachChildrenIntoTheStore) {
    TPDFStructure S;
    auto* D = ObjAs<TPDFDictionary>(S.Decode("<< /A [ 1 2 ] /B << /C 3 >> /D 4 >>"));
    ASSERT_TRUE(D);
    int32_t Count = S.ObjectCount();
    auto* A = ObjAs<TPDFArray>(D->FindValueByKeyName("A", false));
    A->Delete(0);
    A->Replace(0, S.NewNumeric(5));
    EXPECT_EQ(S.ObjectCount(), Count + 1);
    D->PurgeKey("B");
    D->PurgeKey("A");
    EXPECT_EQ(S.ObjectCount(), Count + 1);  // purged values were still held
    D->Purge();                             // free-standing: the dictionary itself goes
    EXPECT_EQ(S.ObjectCount(), Count);
    for (int I = 0; I < S.ObjectCount(); ++I) EXPECT_NE(S.GetObject(I), D);
}

TEST(Structure, ClearResetsSettingsAndKeepsEvents) {
    TPDFStructure S;
    S.PDFPrecNum = 8;
    S.PDFPrecision = "0.00000000";
    S.OldFormat = false;
    int Calls = 0;
    S.OnNewIndObj = [&](TObject*, TPDFObject*, int32_t& N, int32_t& G) {
        ++Calls;
        N = 1;
        G = 0;
    };
    auto* T = S.NewCommonName("Type");
    S.NewArray({S.NewNull()});
    S.Clear();
    EXPECT_EQ(S.ObjectCount(), 0);
    EXPECT_EQ(S.PDFPrecNum, 4);
    EXPECT_EQ(S.PDFPrecision, "0.0000");
    EXPECT_TRUE(S.OldFormat);
    ASSERT_TRUE(S.OnNewIndObj);
    (void)T;
    EXPECT_EQ(S.NewCommonName("Type")->Name(), "Type");  // no stale shared name
}

TEST(Structure, ShiftIndRef) {
    TPDFStructure S;
    auto* A = ObjAs<TPDFArray>(S.Decode("[ 1 0 R 2 5 R ]"));
    A->SetChanged(false);
    S.ShiftIndRef(10, true);
    EXPECT_EQ(A->Output(), "[ 11 0 R 12 0 R ]");
    EXPECT_FALSE(A->HasChanged());
    A->ShiftIndRef(1);
    EXPECT_EQ(A->Output(), "[ 12 0 R 13 0 R ]");
    EXPECT_TRUE(A->HasChanged());
}

TEST(Structure, AnObjectIsEnteredOnce) {
    TPDFStructure S;
    auto* N = S.NewNull();
    S.AddObject(N);  // already entered: a second entry would free it twice
    S.AddObject(nullptr);
    EXPECT_EQ(S.ObjectCount(), 1);
}

TEST(Structure, ReplaceIndRefRenumbersFromAList) {
    TPDFStructure S;
    auto* A = ObjAs<TPDFArray>(S.Decode("[ 4 0 R 9 2 R 7 0 R ]"));
    TVelmoPDFStringList Added;
    Added.Add("7 0 R");
    Added.Add("9 2 R");
    S.ReplaceIndRef(Added, 100);
    EXPECT_EQ(A->Output(), "[ 0 0 R 101 0 R 100 0 R ]");
}

TEST(Structure, FactoriesSetUpTheirObjects) {
    TPDFStructure S;
    EXPECT_EQ(S.NewDoubleArray({1.5, -2})->Output(), "[ 1.5 -2 ]");
    EXPECT_EQ(S.NewIntArray({})->Output(), "[ ]");
    EXPECT_FALSE(S.NewIntArray({})->HasChanged());
    auto* N = S.NewNull();
    EXPECT_EQ(S.NewArray({N, N})->Output(), "[ null null ]");
    EXPECT_EQ(N->HolderCount(), 2u);
    auto* Dict = S.NewDictionary();
    auto* Str = S.NewStreamWithDict("raw", Dict);
    EXPECT_EQ(Str->Dictionary(), Dict);
    EXPECT_FALSE(Str->HasChanged());
    EXPECT_EQ(Str->Output(), "<<\n>>\nstream\nraw\nendstream");

    auto* Hello = S.NewStream("Hello", false);
    EXPECT_EQ(Hello->Output(), "<<\n/Length 5\n>>\nstream\nHello\nendstream");
    EXPECT_TRUE(Hello->HasChanged());
    const uint8_t Bytes[] = {1, 2};
    EXPECT_EQ(S.NewStream(std::span<const uint8_t>(Bytes), false)->Stream(),
              std::string("\x01\x02"));
    auto* Packed = S.NewStream(std::string(1000, 'a'), true);
    EXPECT_EQ(Packed->Dictionary()->DictType(), "");
    EXPECT_EQ(Packed->GetDecodedStream(), std::string(1000, 'a'));
    EXPECT_EQ(S.NewTextStream(u"Hi", false)->Stream(), "Hi");
}

TEST(Structure, ManyEditsInALargeStoreStayFast) {
    // Removal is by holder count, not by a scan of the store: ten thousand
    // edits in a store of a million objects must be quick even under the
    // sanitizers.
    TPDFStructure S;
    auto* Root = S.NewDictionary();
    auto* Kids = S.NewArray();
    Root->Add("Kids", Kids);
    for (int I = 0; I < 200000; ++I) {
        auto* D = S.NewDictionary();
        D->Add("K", S.NewNumeric(I));
        D->Add("V", S.NewArray({S.NewNumeric(I)}));
        Kids->Add(D);
    }
    for (int I = 0; I < 10000; ++I) {
        auto* D = ObjAs<TPDFDictionary>(Kids->GetItem(I));
        D->PurgeKey("V");
    }
    for (int I = 0; I < 10000; ++I) Kids->Delete(Kids->Count() - 1);
    EXPECT_EQ(Kids->Count(), 190000);
    EXPECT_GE(S.ObjectCount(), 1000000);
}

}  // namespace
}  // namespace velmo
