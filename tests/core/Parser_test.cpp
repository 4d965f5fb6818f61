#include "core/Parser.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/Structure.h"

namespace velmo {
namespace {

// One row per source text: the object's kind tag (or '-' when nothing is read,
// which Decode turns into a fresh null with length 0), its output, and the
// number of bytes consumed.
struct ParseCase {
    std::string Source;
    char Kind;
    std::string Output;
    int64_t Length;
};

TEST(Parser, EdgeCases) {
    const ParseCase Cases[] = {
        {"<</Type/Page/Parent 3 0 R/MediaBox[0 0 612 792]>>", 'D',
         "<<\n/Type /Page\n/Parent 3 0 R\n/MediaBox [ 0 0 612 792 ]\n>>\n", 49},
        {"<< /A 1 /A 2 >>", 'D', "<<\n/A 2\n>>\n", 15},
        {"<< /A >>", 'D', "<<\n>>\n", 8},
        // "2" stands where a key belongs: it is passed over.
        {"<< /A 1 2 >>", 'D', "<<\n/A 1\n>>\n", 12},
        // Stray values where keys belong lose nothing after them.
        {"<<<>/Encrypt 6 0 R>>", 'D', "<<\n/Encrypt 6 0 R\n>>\n", 20},
        {"<< /X 1 0 R 0 (s) [1] /Pages 2 0 R >>", 'D', "<<\n/X 1 0 R\n/Pages 2 0 R\n>>\n", 37},
        {"<< /A 1", 'D', "<<\n/A 1\n>>\n", 7},  // unterminated: what was read
        {"[1 2", 'A', "[ 1 2 ]", 4},
        {"[1 R]", 'A', "[ 1 ]", 3},  // stops at R, no closing bracket taken
        {"1 0 R", 'I', "1 0 R", 5},
        {"1 0 RG", 'I', "1 0 R", 5},
        {"1 0 obj", 'n', "1", 1},
        {"1.0 0 R", 'n', "1", 3},
        {"12 0 R", 'I', "12 0 R", 6},
        {"  % comment\r\n 7", 'n', "7", 15},
        {".5", 'n', "0.5", 2},
        {"5.", 'n', "5", 2},
        {"-.5", 'n', "-0.5", 3},
        {"1.2.3", 'n', "1.2", 3},
        {"1E3", 'n', "1000", 3},
        {"1.5E-2", 'n', "0.015", 6},
        {"1e3", 'n', "1", 1},
        {"1E999", 'n', "", 5},  // finite, however large
        {"+5", '-', "null", 0},
        {"-", 'n', "0", 1},
        {"123456789012", 'n', "123456789012", 12},
        {"(a(b)", '-', "null", 0},
        {"(a\\(b)", 's', "(a\\(b)", 6},
        {"(a(b)c)", 's', "(a\\(b\\)c)", 7},
        {"(\\101)", 's', "(A)", 6},
        {"(\\0053)", 's',
         std::string("(\x05"
                     "3)"),
         7},
        {"(\\q)", 's', "(\\\\q)", 4},
        {"(a\r\nb\rc\nd)", 's', "(a\\nb\\nc\\nd)", 10},
        {"(a\\\r\nb\\\nc)", 's', "(abc)", 10},
        {"<41 42 4>", 's', "<414240>", 9},
        {"<>", 's', "<>", 2},
        {"<4x1g>", 's', "<41>", 6},
        {"<414", 's', "<41>", 4},  // no '>': to the end, last byte excluded
        {"/A#20B", 'N', "/A#20B", 6},
        {"/A#2", 'N', "/A#232", 4},
        {"/A}", 'N', "/A#7D", 3},
        {"/A/B", 'N', "/A", 2},
        {"/", '-', "null", 0},
        {"true", 'B', "true", 4},
        {"true]", 'B', "true", 4},
        {"truex", '-', "null", 0},
        {"null", '0', "null", 4},
        {"false/", 'B', "false", 5},
        {"endobj", '-', "null", 0},
        {"}", '-', "null", 0},
        {"", '-', "null", 0},
    };
    for (const auto& C : Cases) {
        TPDFStructure S;
        int64_t Length = -1;
        TPDFObject* O = S.DecodeWithLength(C.Source, Length, 1);
        ASSERT_NE(O, nullptr) << C.Source;
        EXPECT_EQ(O->SpyType, C.Kind == '-' ? TPDFNull::Tag : C.Kind) << C.Source;
        if (!C.Output.empty()) {
            EXPECT_EQ(O->Output(), C.Output) << C.Source;
        }
        EXPECT_EQ(Length, C.Length) << C.Source;
        EXPECT_FALSE(O->HasChanged()) << C.Source;
    }
}

TEST(Parser, HugeExponentStaysFinite) {
    TPDFStructure S;
    auto* N = ObjAs<TPDFNumeric>(S.Decode("1E999"));
    ASSERT_TRUE(N);
    EXPECT_TRUE(std::isfinite(N->AsDouble()));
    EXPECT_GT(N->AsDouble(), 1e300);
    EXPECT_EQ(ObjAs<TPDFNumeric>(S.Decode("-1E-999"))->AsDouble(), 0.0);
    EXPECT_EQ(ObjAs<TPDFNumeric>(S.Decode("1E0"))->AsDouble(), 1.0);
    EXPECT_EQ(ObjAs<TPDFNumeric>(S.Decode("2E"))->AsDouble(), 2.0);
}

TEST(Parser, ReferencesKeepTheirNumbers) {
    TPDFStructure S;
    auto* R = ObjAs<TPDFIndRef>(S.Decode("4294967297 2 R"));
    ASSERT_TRUE(R);
    EXPECT_EQ(R->ObjNum, INT32_MAX);  // beyond the 32-bit range names no object
    EXPECT_EQ(R->GenNum, 2);
    auto* R2 = ObjAs<TPDFIndRef>(S.Decode("7 1.9 R"));
    ASSERT_TRUE(R2);
    EXPECT_EQ(R2->GenNum, 1);
}

TEST(Parser, StartPositionAndLength) {
    TPDFStructure S;
    std::string Text = "1 0 obj\n<< /Length 5 >>\nstream\nHello";
    int64_t Length = 0;
    TPDFObject* O = S.DecodeWithLength(Text, Length, 8);
    ASSERT_EQ(O->SpyType, TPDFDictionary::Tag);
    EXPECT_EQ(Length, 16);  // from the line break to ">>"
    EXPECT_EQ(Text.substr(7 + Length, 7), "\nstream");
    int32_t Short = -1;
    S.DecodeWithLength(Text, Short, 100);
    EXPECT_EQ(Short, 0);
    S.DecodeWithLength(Text, Short, 0);
    EXPECT_EQ(Short, 0);
}

TEST(Parser, TopLevelValueIsTheFirstObjectOfTheStore) {
    TPDFStructure S;
    TPDFObject* O = S.Decode("[ << /A [ 1 ] >> 2 ]");
    EXPECT_EQ(S.GetObject(0), O);
    EXPECT_EQ(S.GetObject(1)->SpyType, TPDFDictionary::Tag);
}

TEST(Parser, RepeatedKeyReplacesInPlace) {
    TPDFStructure S;
    auto* D = ObjAs<TPDFDictionary>(S.Decode("<< /A 1 /B 2 /A 3 >>"));
    ASSERT_TRUE(D);
    EXPECT_EQ(D->Output(), "<<\n/A 3\n/B 2\n>>\n");
}

TEST(Parser, ReferenceArraysReserveTheirSlots) {
    TPDFStructure S;
    auto* A = ObjAs<TPDFArray>(S.Decode("[1 0 R 2 0 R 3 0 R 4 0 R]"));
    ASSERT_TRUE(A);
    EXPECT_EQ(A->Count(), 4);
    EXPECT_EQ(A->Capacity(), 4);  // one item, then three reserved and filled
    EXPECT_EQ(A->Reserved, 0);
}

TEST(Parser, DeepNestingFailsWithoutOverflow) {
    for (const char* Open : {"[", "<<"}) {
        TPDFStructure S;
        std::string Deep;
        for (int I = 0; I < 1000000; ++I) Deep += Open;
        int64_t Length = -1;
        TPDFObject* O = S.DecodeWithLength(Deep, Length, 1);
        EXPECT_EQ(O->SpyType, TPDFNull::Tag) << Open;
        EXPECT_EQ(Length, 0) << Open;
    }
    // Nesting within the limit parses.
    TPDFStructure S;
    std::string Ok(kMaxObjectDepth, '[');
    Ok += std::string(kMaxObjectDepth, ']');
    int64_t Length = 0;
    EXPECT_EQ(S.DecodeWithLength(Ok, Length, 1)->SpyType, TPDFArray::Tag);
    EXPECT_EQ(Length, 2 * kMaxObjectDepth);
}

TEST(Parser, HugeDictionariesAndStringsStayLinear) {
    TPDFStructure S;
    std::string Text = "<<";
    for (int I = 0; I < 100000; ++I)
        Text += "/K" + std::to_string(I) + " " + std::to_string(I) + " ";
    Text += "/K5 -1 >>";
    auto* D = ObjAs<TPDFDictionary>(S.Decode(Text));
    ASSERT_TRUE(D);
    EXPECT_EQ(D->Count(), 100000);
    EXPECT_EQ(D->IntValue("K5", 0), -1);
    EXPECT_EQ(D->FindIndexByKeyName("K99999"), 99999);

    std::string Open(1000000, '(');
    int64_t Length = -1;
    EXPECT_EQ(S.DecodeWithLength(Open, Length, 1)->SpyType, TPDFNull::Tag);
    EXPECT_EQ(Length, 0);
    std::string Refs = "[1 0 R";
    Refs += std::string(1000000, ' ');
    EXPECT_EQ(ObjAs<TPDFArray>(S.Decode(Refs))->Count(), 1);
}

TEST(Parser, DecodeString) {
    const struct {
        std::string Source, Want;
    } Cases[] = {
        {"(\\18x)", std::string("\x10x")},
        {"(\\8)", "8"},
        {"(\\5)", std::string("\x05")},
        {"(\\101)", "A"},
        {"(\\777)", std::string("\xFF")},
        {"(\\400)", std::string("\x00", 1)},
        {"(a\rb)", "a\rb"},  // CR kept as it stands
        {"(a\\\r\nb\\\nc)", "abc"},
        {"(\\b\\t\\n\\f\\r\\(\\)\\\\)", "\b\t\n\f\r()\\"},
        {"(\\q)", "q"},
        {"(ab\\)", "ab"},
        {"[x]", "x"},
        {"(", ""},
        {"", ""},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(TPDFStructure::DecodeString(C.Source), C.Want) << C.Source;
}

TEST(Parser, DecodeHex) {
    const struct {
        std::string Source, Want;
    } Cases[] = {
        {"<4142>", "AB"},
        {"4142", ""},
        {"<41 4>", std::string("A@")},
        {"<GZ41>", std::string("\x00"
                               "A",
                               2)},
        {"<ag>", std::string("\x00", 1)},
        {"<>", ""},
        {"<", ""},
        {"<6a>", "j"},
    };
    for (const auto& C : Cases) EXPECT_EQ(TPDFStructure::DecodeHex(C.Source), C.Want) << C.Source;
    EXPECT_EQ(DecodeHexString("<41>"), "A");
}

TEST(Parser, OctalEscapeGroups) {
    EXPECT_TRUE(IsOctalEscapeText("7"));
    EXPECT_FALSE(IsOctalEscapeText("8"));
    EXPECT_TRUE(IsOctalEscapeText("77"));
    EXPECT_FALSE(IsOctalEscapeText("78"));
    EXPECT_TRUE(IsOctalEscapeText("777"));
    EXPECT_FALSE(IsOctalEscapeText("778"));
    EXPECT_FALSE(IsOctalEscapeText("7a"));
    EXPECT_FALSE(IsOctalEscapeText(""));
}

TEST(Parser, KillWhitespaceOneTokenPerLine) {
    std::string Out = TPDFStructure::KillWhitespace(
        "  << /Type /Page\n% note\n /Kids [ 1 0 R ] /S (a b) /H <41 42> >> stream\nraw  data");
    EXPECT_EQ(Out,
              "<<\n/Type\n/Page\n/Kids\n[\n1\n0\nR\n]\n/S\n(a b)\n/H\n<4142>\n>>\n"
              "stream\nraw  data\n");
}

}  // namespace
}  // namespace velmo
