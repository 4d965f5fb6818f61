#include "core/Objects.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/Structure.h"

namespace velmo {
namespace {

// ---- Output, byte for byte ------------------------------------------------

TEST(ObjectOutput, ExamplesByteForByte) {
    TPDFStructure S;

    auto* Page = S.NewDictionary();
    Page->Add("Type", S.NewName("Page"));
    Page->Add("Parent", S.NewIndirectRef(3, 0));
    Page->Add("MediaBox", S.NewIntArray({0, 0, 612, 792}));

    auto* Res = S.NewDictionary();
    auto* Fonts = S.NewDictionary();
    Fonts->Add("F1", S.NewIndirectRef(7, 0));
    Res->Add("Font", Fonts);
    Res->Add("ProcSet", S.NewArray({S.NewName("PDF"), S.NewName("Text")}));
    auto* WithRes = S.NewDictionary();
    WithRes->Add("Resources", Res);
    WithRes->Add("Contents", S.NewIndirectRef(9, 0));

    auto* Hello = S.NewStreamWithDict("Hello", S.NewDictionary());
    Hello->Dictionary()->Add("Length", S.NewNumeric(5));

    auto* Str = S.NewString("a(b)c\r\n", smLiteral);
    auto* Hex = S.NewString(std::string("\x00\xAB\x7F", 3), smHex);

    const struct {
        const char* What;
        const TPDFObject* Obj;
        std::string Want;
    } Cases[] = {
        {"page", Page, "<<\n/Type /Page\n/Parent 3 0 R\n/MediaBox [ 0 0 612 792 ]\n>>\n"},
        {"nested", WithRes,
         "<<\n/Resources <<\n/Font <<\n/F1 7 0 R\n>>\n/ProcSet [ /PDF /Text ]\n>>\n"
         "/Contents 9 0 R\n>>\n"},
        {"stream", Hello, "<<\n/Length 5\n>>\nstream\nHello\nendstream"},
        {"name escapes", S.NewName("A B#"), "/A#20B#23"},
        {"name high byte", S.NewName("\xE9"), "/#E9"},
        {"name delimiters", S.NewName("a/()%[]{}<>\x7F"), "/a#2F#28#29#25#5B#5D#7B#7D#3C#3E#7F"},
        {"empty name", S.NewName(""), "/"},
        {"literal", Str, "(a\\(b\\)c\\r\\n)"},
        {"literal kept bytes", S.NewString(std::string("\x00\x0B\xFF\b\t\f\\", 7), smLiteral),
         std::string("(\x00\x0B\xFF\\b\\t\\f\\\\)", 13)},
        {"hex", Hex, "<00AB7F>"},
        {"empty hex", S.NewString("", smHex), "<>"},
        {"ref array", S.NewArray({S.NewIndirectRef(5, 0)}), "[ 5 0 R ]"},
        {"empty array", S.NewArray(), "[ ]"},
        {"empty dict", S.NewDictionary(), "<<\n>>\n"},
        {"null", S.NewNull(), "null"},
        {"true", S.NewBoolean(true), "true"},
        {"false", S.NewBoolean(false), "false"},
        {"ref", S.NewIndirectRef(12, 3), "12 3 R"},
    };
    for (const auto& C : Cases) EXPECT_EQ(C.Obj->Output(), C.Want) << C.What;
}

TEST(ObjectOutput, NumbersAtTheStorePrecision) {
    TPDFStructure S;
    const struct {
        double Value;
        const char* Want;
    } Cases[] = {
        {100, "100"},
        {0.25, "0.25"},
        {-0.25, "-0.25"},
        {1.0 / 3, "0.3333"},
        {2.00004, "2"},
        {-0.00001, "0"},
        {1234567.891, "1234567.891"},
        {-0.0, "0"},
        {0.00005, "0"},  // half to even
        {-7, "-7"},
        {1e9, "1000000000"},
    };
    for (const auto& C : Cases) EXPECT_EQ(S.NewNumeric(C.Value)->Output(), C.Want) << C.Value;
    S.PDFPrecNum = 2;
    EXPECT_EQ(S.NewNumeric(1.0 / 3)->Output(), "0.33");
    S.PDFPrecNum = 0;
    EXPECT_EQ(S.NewNumeric(2.5)->Output(), "2");
    EXPECT_EQ(S.NewNumeric(3.5)->Output(), "4");
}

TEST(ObjectOutput, DictionaryWithoutOldFormat) {
    TPDFStructure S;
    S.OldFormat = false;
    auto* Empty = S.NewDictionary();
    auto* One = S.NewDictionary();
    One->Add("Type", S.NewName("Page"));
    auto* Two = S.NewDictionary();
    Two->Add("A", S.NewNumeric(1));
    Two->Add("B", S.NewNumeric(2));
    EXPECT_EQ(Empty->Output(), "<< >>\n");
    EXPECT_EQ(One->Output(), "<< /Type /Page >>\n");
    EXPECT_EQ(Two->Output(), "<<\n/A 1\n/B 2\n>>\n");
}

TEST(ObjectOutput, LongArrayWrapsAfterEightyBytes) {
    TPDFStructure S;
    auto* A = S.NewArray();
    for (int I = 0; I < 45; ++I) A->Add(S.NewNumeric(100));
    // "[ " plus twenty "100 " is 82 bytes: the break follows the 20th item;
    // then 21 items make 84 bytes past the mark, the next break.
    std::string Want = "[ ";
    for (int I = 0; I < 20; ++I) Want += "100 ";
    Want += "\n";
    for (int I = 0; I < 21; ++I) Want += "100 ";
    Want += "\n";
    for (int I = 0; I < 4; ++I) Want += "100 ";
    Want += "]";
    EXPECT_EQ(A->Output(), Want);
}

TEST(ObjectOutput, NestedContainersInArraysAndNilItems) {
    TPDFStructure S;
    auto* D = S.NewDictionary();
    D->Add("K", S.NewNumeric(1));
    auto* A = S.NewArray({D, S.NewNumeric(2), nullptr, S.NewNumeric(3)});
    // The dictionary ends in a line break, so no space follows it; a nil item
    // writes nothing but still gets its space.
    EXPECT_EQ(A->Output(), "[ <<\n/K 1\n>>\n2  3 ]");
}

TEST(ObjectOutput, CyclesAreCutNotFollowed) {
    TPDFStructure S;
    auto* D = S.NewDictionary();
    auto* A = S.NewArray();
    D->Add("A", A);
    D->Add("B", S.NewNumeric(1));
    A->Add(D);
    D->GetEntry(1).Value->SetChanged(false);
    EXPECT_EQ(D->Output(), "<<\n% bug \n/B 1\n>>\n");
    D->SetChanged(false);
    A->SetChanged(false);
    EXPECT_FALSE(D->HasChanged());  // the walk terminates
    D->ShiftIndRef(1);
    D->Purge();  // terminates; both stay, each holds the other
    EXPECT_EQ(S.GetObject(0), D);
}

// ---- Numbers, strings, names ---------------------------------------------

TEST(ObjectKinds, AsIntegerRoundsHalfToEven) {
    TPDFStructure S;
    const struct {
        double V;
        int32_t Want;
    } Cases[] = {{2.5, 2}, {3.5, 4},      {-2.5, -2}, {1.4999, 1}, {4294967297.0, 1},
                 {NAN, 0}, {INFINITY, 0}, {1e300, 0}, {-1e19, 0}};
    for (const auto& C : Cases) EXPECT_EQ(S.NewNumeric(C.V)->AsInteger(), C.Want) << C.V;
}

TEST(ObjectKinds, ChangedFlags) {
    TPDFStructure S;
    auto* B = S.NewBoolean(false);
    EXPECT_FALSE(B->HasChanged());
    B->SetTo(true);
    EXPECT_FALSE(B->HasChanged());  // booleans keep their flag
    EXPECT_TRUE(S.NewNumeric(1)->HasChanged());
    EXPECT_TRUE(S.NewName("X")->HasChanged());
    EXPECT_TRUE(S.NewString("x", smHex)->HasChanged());
    EXPECT_FALSE(S.NewIndirectRef(1, 0)->HasChanged());
    EXPECT_FALSE(S.NewDictionary()->HasChanged());
    EXPECT_FALSE(S.NewArray()->HasChanged());
    EXPECT_TRUE(S.NewArray({S.NewNull()})->HasChanged());

    auto* Dict = ObjAs<TPDFDictionary>(S.Decode("<< /A [ 1 << /B 2 >> ] /C 3 >>"));
    ASSERT_TRUE(Dict);
    EXPECT_FALSE(Dict->HasChanged());
    auto* Inner =
        ObjAs<TPDFDictionary>(ObjAs<TPDFArray>(Dict->FindValueByKeyName("A", false))->GetItem(1));
    ObjAs<TPDFNumeric>(Inner->FindValueByKeyName("B", false))->SetTo(5);
    EXPECT_TRUE(Dict->HasChanged());  // seen through the array and the dictionary

    auto* R = S.NewIndirectRef(1, 0);
    R->ShiftIndRef(4);
    EXPECT_EQ(R->ObjNum, 5);
    EXPECT_FALSE(R->HasChanged());
    R->CopyRef(nullptr);
    EXPECT_FALSE(R->HasChanged());
}

TEST(ObjectKinds, ReferencesResolveThroughTheStoreEvent) {
    TPDFStructure S;
    auto* R = S.NewIndirectRef(7, 0);
    EXPECT_EQ(R->Obj(), nullptr);  // no handler
    auto* Target = S.NewNumeric(42);
    int Calls = 0;
    S.OnIndObjLookup = [&](TObject* Sender, int32_t Num, int32_t Gen, TPDFObject*& Obj) {
        ++Calls;
        EXPECT_EQ(ObjAs<TPDFIndRef>(static_cast<TPDFObject*>(Sender))->ObjNum, Num);
        Obj = Num == 7 && Gen == 0 ? Target : nullptr;
    };
    EXPECT_EQ(R->Obj(), Target);
    EXPECT_EQ(R->Obj(), Target);
    EXPECT_EQ(Calls, 2);  // nothing cached

    auto* D = S.NewDictionary();
    D->Add("X", R);
    D->Add("Y", S.NewIndirectRef(8, 0));
    EXPECT_EQ(D->FindValueByKeyName("X", true), Target);
    EXPECT_EQ(D->FindValueByKeyName("X", false), R);
    EXPECT_EQ(D->FindValueByKeyName("Y", true), nullptr);
    EXPECT_NE(D->FindValueByKeyName("Y", false), nullptr);
    EXPECT_EQ(D->IntValue("X", -1), 42);
    EXPECT_EQ(D->IntValue("Y", -1), -1);
}

TEST(ObjectKinds, TextStrings) {
    TPDFStructure S;
    auto* Latin = S.NewTextString(u"Caf\u00e9");
    EXPECT_EQ(Latin->AsString(), "Caf\xE9");  // PDFDocEncoding
    EXPECT_EQ(Latin->StringMode, smLiteral);
    EXPECT_TRUE(Latin->HasChanged());
    auto* Wide = S.NewString("", smHex);
    Wide->SetToTextString(u"\u4E2D");
    EXPECT_EQ(Wide->AsString(), "\xFE\xFF\x4E\x2D");
    EXPECT_EQ(Wide->StringMode, smLiteral);
    EXPECT_EQ(Wide->AsTextString(), u"\u4E2D");
    EXPECT_EQ(Latin->AsTextString(), u"Caf\u00e9");
}

// ---- Dictionary -----------------------------------------------------------

TEST(Dictionary, AddReplacesInPlaceAndKeepsOldValueInStore) {
    TPDFStructure S;
    auto* D = S.NewDictionary();
    auto* Old = S.NewName("Page");
    D->Add("Type", Old);
    D->Add("Count", S.NewNumeric(1));
    auto* New = S.NewName("Pages");
    D->Add("Type", New);
    ASSERT_EQ(D->Count(), 2);
    EXPECT_EQ(D->GetEntry(0).Value, New);
    EXPECT_EQ(D->GetEntry(0).Key->Name(), "Type");
    EXPECT_EQ(D->FindValueByKeyName("type", false), nullptr);  // case-sensitive
    EXPECT_EQ(D->FindIndexByKeyName("Count"), 1);
    EXPECT_EQ(D->GetEntry(2).Key, nullptr);
    EXPECT_EQ(D->GetEntry(-1).Value, nullptr);
    bool Found = false;
    for (int I = 0; I < S.ObjectCount(); ++I) Found |= S.GetObject(I) == Old;
    EXPECT_TRUE(Found);
    D->Add("Self", D);  // refused
    EXPECT_EQ(D->FindIndexByKeyName("Self"), -1);
    EXPECT_EQ(D->DictType(), "Pages");
}

TEST(Dictionary, ValueAccessors) {
    TPDFStructure S;
    auto* D = ObjAs<TPDFDictionary>(
        S.Decode("<< /N /Nm /S (str) /A [1 2] /I 2.5 /R 3.5 /T 5 0 R /B true >>"));
    ASSERT_TRUE(D);
    EXPECT_EQ(D->StringValue("N"), "Nm");
    EXPECT_EQ(D->StringValue("S"), "str");
    EXPECT_EQ(D->StringValue("A"), "[ 1 2 ]");
    EXPECT_EQ(D->StringValue("B"), "");
    EXPECT_EQ(D->StringValue("Missing"), "");
    EXPECT_EQ(D->IntValue("I", -1), 2);
    EXPECT_EQ(D->IntValue("R", -1), 4);
    EXPECT_EQ(D->IntValue("B", -1), -1);
    EXPECT_EQ(D->DictType(), "");
}

TEST(Dictionary, RenameKeySharedCommonNameSeenEverywhere) {
    TPDFStructure S;
    auto* D1 = S.NewDictionary();
    auto* D2 = S.NewDictionary();
    D1->Add("Type", S.NewName("A"));
    D2->Add("Type", S.NewName("B"));
    EXPECT_EQ(D1->GetEntry(0).Key, D2->GetEntry(0).Key);
    D1->RenameKey("Type", "Kind");
    EXPECT_EQ(D2->GetEntry(0).Key->Name(), "Kind");
    EXPECT_NE(D2->FindValueByKeyName("Kind", false), nullptr);
    EXPECT_TRUE(D1->HasChanged());
    // The next "Type" key is a fresh common name.
    D1->Add("Type", S.NewName("C"));
    EXPECT_EQ(D1->Count(), 2);
    EXPECT_EQ(D1->GetEntry(1).Key->Name(), "Type");
}

TEST(Dictionary, LargeDictionaryLookupStaysCorrectAcrossEdits) {
    TPDFStructure S;
    auto* D = S.NewDictionary();
    for (int I = 0; I < 100; ++I) D->Add("K" + std::to_string(I), S.NewNumeric(I));
    EXPECT_EQ(D->FindIndexByKeyName("K57"), 57);
    D->DeleteEntryByKeyName("K10");
    EXPECT_EQ(D->FindIndexByKeyName("K57"), 56);
    EXPECT_EQ(D->FindIndexByKeyName("K10"), -1);
    D->RenameKey("K20", "Z");
    EXPECT_EQ(D->FindIndexByKeyName("Z"), 19);
    EXPECT_EQ(D->FindIndexByKeyName("K20"), -1);
    D->Add("K30", S.NewNumeric(-1));  // replace in place
    EXPECT_EQ(D->IntValue("K30", 0), -1);
    EXPECT_EQ(D->FindIndexByKeyName("K30"), 29);
    D->Add("New", S.NewNull());
    EXPECT_EQ(D->FindIndexByKeyName("New"), 99);
    // Renaming a key elsewhere to a text present here keeps the first match.
    auto* Other = S.NewDictionary();
    Other->Add("X", S.NewNull());
    Other->GetEntry(0).Key->SetTo("K50");
    EXPECT_EQ(D->FindIndexByKeyName("K50"), 49);
}

TEST(Dictionary, PurgeKeyDeleteClearAndAssign) {
    TPDFStructure S;
    auto* D = ObjAs<TPDFDictionary>(S.Decode("<< /A << /X 1 >> /B 2 /Type /T >>"));
    ASSERT_TRUE(D);
    D->SetChanged(false);
    int32_t Before = S.ObjectCount();
    D->PurgeKey("A");
    EXPECT_EQ(D->Count(), 2);
    EXPECT_TRUE(D->HasChanged());
    EXPECT_EQ(S.ObjectCount(), Before);  // detached, still in the store
    D->PurgeKey("Nope");
    D->DeleteEntryByKeyName("B");
    EXPECT_EQ(D->Count(), 1);

    auto* E = S.NewDictionary();
    E->Add("P", S.NewNumeric(1));
    E->Add("Type", S.NewName("Q"));
    D->AddDict(E);  // Type is present, P is added
    EXPECT_EQ(D->Output(), "<<\n/Type /T\n/P 1\n>>\n");
    auto* F = S.NewDictionary();
    F->Assign(D);
    EXPECT_EQ(F->Output(), D->Output());
    EXPECT_EQ(F->GetEntry(0).Value, D->GetEntry(0).Value);  // shared objects

    TPDFStructure Other;
    auto* G = Other.NewDictionary();
    G->Assign(D);  // through text
    EXPECT_EQ(G->Output(), D->Output());
    EXPECT_EQ(G->GetEntry(0).Value->Owner(), &Other);
    auto* H = Other.NewDictionary();
    H->Add("Z", Other.NewNull());
    H->AddDict(D);
    EXPECT_EQ(H->Output(), "<<\n/Z null\n/Type /T\n/P 1\n>>\n");

    D->Clear();
    EXPECT_EQ(D->Count(), 0);
    F->SetChanged(false);
    F->RemoveKeys();
    EXPECT_EQ(F->Count(), 0);
    EXPECT_FALSE(F->HasChanged());
}

// ---- Array ----------------------------------------------------------------

TEST(Array, SpareSlotsInsertDeleteMove) {
    TPDFStructure S;
    auto* A = S.NewIntArray({1, 2, 3});
    auto* X = S.NewNumeric(9);
    A->Insert(3, X);  // appends
    EXPECT_EQ(A->Output(), "[ 1 2 3 9 ]");
    A->Insert(5, X);  // beyond Count: nothing
    A->Insert(-1, X);
    EXPECT_EQ(A->Count(), 4);
    int32_t Cap = A->Capacity();
    A->Delete(1);
    EXPECT_EQ(A->Capacity(), Cap);
    EXPECT_EQ(A->Reserved, 1);
    EXPECT_EQ(A->Output(), "[ 1 3 9 ]");
    A->Add(S.NewNumeric(4));  // reuses the spare slot
    EXPECT_EQ(A->Capacity(), Cap);
    EXPECT_EQ(A->Reserved, 0);
    A->Move(0, 3);
    EXPECT_EQ(A->Output(), "[ 3 9 4 1 ]");
    A->Move(3, 0);
    EXPECT_EQ(A->Output(), "[ 1 3 9 4 ]");
    A->Move(0, 4);  // invalid
    EXPECT_EQ(A->Output(), "[ 1 3 9 4 ]");
    A->Insert(1, S.NewNumeric(7));
    EXPECT_EQ(A->Output(), "[ 1 7 3 9 4 ]");
    A->ReserveItems(10);
    EXPECT_EQ(A->Reserved, 10);
    EXPECT_EQ(A->Count(), 5);
    A->Replace(0, S.NewNumeric(0));
    A->ReplaceNoKill(4, S.NewNumeric(5));
    A->Replace(5, X);
    EXPECT_EQ(A->Output(), "[ 0 7 3 9 5 ]");
    EXPECT_EQ(A->GetItem(5), nullptr);
    EXPECT_EQ(A->GetItem(-1), nullptr);
    A->Clear();
    EXPECT_EQ(A->Count(), 0);
    EXPECT_EQ(A->Reserved, 0);
    EXPECT_TRUE(A->AllItemsNumeric());
}

TEST(Array, MatchingByOutputAndIdentity) {
    TPDFStructure S;
    auto* R5 = S.NewIndirectRef(5, 0);
    auto* A = S.NewArray({S.NewIndirectRef(4, 0), R5, S.NewIndirectRef(5, 0)});
    auto* Probe = S.NewIndirectRef(5, 0);
    EXPECT_EQ(A->ItemIndexMatch(Probe), 1);
    EXPECT_TRUE(A->HasMatchingChild("4 0 R"));
    EXPECT_FALSE(A->HasMatchingChild("4 1 R"));
    EXPECT_FALSE(A->AllItemsNumeric());
    A->DeleteObj(Probe, false);  // not identical to any item
    EXPECT_EQ(A->Count(), 3);
    A->DeleteObj(Probe, true);  // deletes one item only
    EXPECT_EQ(A->Output(), "[ 4 0 R 5 0 R ]");
    EXPECT_NE(A->GetItem(1), R5);
    A->DeleteObj(nullptr, true);
    EXPECT_TRUE(A->HasChild(A->GetItem(1)));
    EXPECT_FALSE(A->HasChild(R5));
}

// ---- Stream ---------------------------------------------------------------

TEST(Stream, SetStreamMaintainsLength) {
    TPDFStructure S;
    auto* Str = S.NewStreamWithDict("", S.NewDictionary());
    Str->Dictionary()->Add("Length", S.NewIndirectRef(9, 0));
    Str->SetStream("abc");
    EXPECT_EQ(Str->Output(), "<<\n/Length 3\n>>\nstream\nabc\nendstream");
    auto* Len = Str->Dictionary()->FindValueByKeyName("Length", false);
    Str->SetStream("abcd");
    EXPECT_EQ(Str->Dictionary()->FindValueByKeyName("Length", false), Len);  // in place
    EXPECT_EQ(ObjAs<TPDFNumeric>(Len)->AsInteger(), 4);
    EXPECT_TRUE(Str->HasChanged());
}

TEST(Stream, PurgedStreamKeepsNoDanglingDictionary) {
    TPDFStructure S;
    auto* Holder = S.NewArray();
    auto* Str = S.NewStreamWithDict("x", S.NewDictionary());
    Str->Dictionary()->Add("Length", S.NewNumeric(1));
    Holder->Add(Str);
    Str->Purge();  // held by the array: the stream stays and so does its dictionary
    EXPECT_EQ(Str->Output(), "<<\n/Length 1\n>>\nstream\nx\nendstream");
    auto* Free = S.NewStreamWithDict("y", S.NewDictionary());
    int32_t Count = S.ObjectCount();
    Free->Purge();
    EXPECT_EQ(S.ObjectCount(), Count - 1);  // the stream goes, its dictionary stays
}

TEST(Stream, SetDictFreesTheOldDictionaryWhenNothingElseHoldsIt) {
    TPDFStructure S;
    auto* Str = S.NewStreamWithDict("", S.NewDictionary());
    int32_t Count = S.ObjectCount();
    Str->SetDict(S.NewDictionary());
    EXPECT_EQ(S.ObjectCount(), Count);  // one freed, one made
    auto* Shared = S.NewDictionary();
    auto* Holder = S.NewArray({Shared});
    Str->SetDict(Shared);
    Str->SetDict(S.NewDictionary());
    EXPECT_EQ(Holder->GetItem(0)->Output(), "<<\n>>\n");  // still alive
}

TEST(Stream, CreateFullIsFreedByItsCreator) {
    TPDFStructure S;
    auto* Dict = S.NewDictionary();
    {
        TPDFStream Local(&S, "data", Dict);
        EXPECT_EQ(Local.Output(), "<<\n>>\nstream\ndata\nendstream");
        EXPECT_EQ(Dict->HolderCount(), 1u);
    }
    EXPECT_EQ(Dict->HolderCount(), 0u);
    TPDFString Loose(nullptr);  // a string outside any store
    Loose.SetTo("(x)");
    EXPECT_EQ(Loose.Output(), "(\\(x\\))");
}

}  // namespace
}  // namespace velmo
