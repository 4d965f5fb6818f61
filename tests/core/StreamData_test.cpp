// Stream data setters and the filter chain over the stream dictionary.
#include <gtest/gtest.h>

#include "core/ASCII85.h"
#include "core/Flate.h"
#include "core/Objects.h"
#include "core/Structure.h"
#include "tests/core/CodecTestHelpers.h"
#include "tests/core/PDFFixture.h"

using namespace velmo;
using namespace vpltest;

namespace {

std::string HexText(const std::string& s) {
    std::string h = Hex(s);
    h.erase(std::remove(h.begin(), h.end(), ' '), h.end());
    return h + ">";
}

// Rows of 5 bytes with PNG tag Up, and what they decode to.
const std::string kPredicted = Bytes({2, 1, 2, 3, 4, 5, 2, 1, 1, 1, 1, 1});
const std::string kUnpredicted = Bytes({1, 2, 3, 4, 5, 2, 3, 4, 5, 6});

}  // namespace

TEST(StreamData, FilterChain) {
    struct Case {
        const char* name;
        std::string dict;  // stream dictionary
        std::string data;  // stored data
        std::string expected;
    };
    const std::string flat = FlateCompress(kPredicted);
    const std::vector<Case> cases = {
        {"no filter", "<< /Length 3 >>", "abc", "abc"},
        {"ascii85 then flate", "<< /Filter [/ASCII85Decode /FlateDecode] >>",
         EncodeASCII85(FlateCompress("hello")), "hello"},
        {"abbreviations", "<< /Filter [/A85 /Fl] >>", EncodeASCII85(FlateCompress("hi")), "hi"},
        {"parms array pairs by position",
         "<< /Filter [/ASCIIHexDecode /FlateDecode] /DecodeParms [null << /Predictor 12 "
         "/Columns 5 >>] >>",
         HexText(flat), kUnpredicted},
        {"single parms dictionary serves the first filter",
         "<< /Filter [/ASCIIHexDecode /FlateDecode] /DecodeParms << /Predictor 12 /Columns 5 >> "
         ">>",
         HexText(flat), kPredicted},
        {"DP abbreviation", "<< /Filter /FlateDecode /DP << /Predictor 12 /Columns 4 >> >>",
         FlateCompress(Bytes({0, 1, 2, 3, 4, 2, 1, 1, 1, 1})), Bytes({1, 2, 3, 4, 2, 3, 4, 5})},
        {"referenced parms item is followed", "<< /Filter [/AHx /Fl] /DecodeParms [null 9 0 R] >>",
         HexText(flat), kUnpredicted},
        {"referenced parms dictionary", "<< /Filter /Fl /DecodeParms 9 0 R >>", flat, kUnpredicted},
        {"referenced parms value",
         "<< /Filter /Fl /DecodeParms << /Predictor 8 0 R /Columns 5 >> >>", flat, kUnpredicted},
        {"referenced filter name", "<< /Filter 10 0 R >>", FlateCompress("x"), "x"},
        {"referenced filter array and item", "<< /Filter 11 0 R >>",
         EncodeASCII85(FlateCompress("y")), "y"},
        {"run length", "<< /Filter /RunLengthDecode >>",
         Bytes({0x02, 0x41, 0x42, 0x43, 0xFD, 0x5A, 0x80, 0x41}), "ABCZZZZ"},
        {"unknown filter passed over", "<< /Filter [/FlateDecode /DCTDecode] >>",
         FlateCompress("\xFF\xD8jpeg"), "\xFF\xD8jpeg"},
        {"filter of another kind", "<< /Filter 5 >>", "raw", "raw"},
        {"non-name items skipped", "<< /Filter [1 /AHx (x)] >>", "4142>", "AB"},
        {"lzw default early change", "<< /Filter /LZWDecode >>",
         Bytes({0x80, 0x0B, 0x60, 0x50, 0x22, 0x0C, 0x0C, 0x85, 0x01}),
         "\x2D\x2D\x2D\x2D\x2D\x41\x2D\x2D\x2D\x42"},
        {"lzw with png predictor", "<< /Filter /LZW /DecodeParms << /Predictor 12 /Columns 5 >> >>",
         LzwLiterals(kPredicted), kUnpredicted},
        {"lzw with tiff predictor",
         "<< /Filter /LZW /DecodeParms << /Predictor 2 /Colors 3 /Columns 2 >> >>",
         LzwLiterals(Bytes({0x10, 0x20, 0x30, 1, 1, 1})),
         Bytes({0x10, 0x20, 0x30, 0x11, 0x21, 0x31})},
    };
    for (const auto& c : cases) {
        PDFFixture f;
        f.Put(8, "12");
        f.Put(9, "<< /Predictor 12 /Columns 5 >>");
        f.Put(10, "/FlateDecode");
        f.Put(11, "[/ASCII85Decode 10 0 R]");
        TPDFStream* st = f.S.NewStreamWithDict(c.data, f.Dict(c.dict));
        EXPECT_EQ(Hex(st->GetDecodedStream()), Hex(c.expected)) << c.name;
        EXPECT_EQ(st->Stream(), c.data) << c.name;
        EXPECT_FALSE(st->HasChanged()) << c.name;
    }
}

TEST(StreamData, EarlyChangeParameter) {
    // Codes that switch to 10 bits right after entry 510: they decode only
    // with early change on.
    CodeWriter w;
    std::string expected;
    w.Put(256, 9);
    for (int i = 0; i < 254; ++i) {
        w.Put('a' + i % 26, 9);
        expected += static_cast<char>('a' + i % 26);
    }
    w.Put('Z', 10);
    expected += 'Z';
    w.Put(257, 10);
    const std::string sample = w.Finish();
    for (const auto& [value, on] : std::vector<std::pair<std::string, bool>>{
             {"1", true}, {"0", false}, {"2", false}, {"(x)", true}}) {
        PDFFixture f;
        TPDFStream* st = f.S.NewStreamWithDict(
            sample,
            f.Dict("<< /Filter /LZWDecode /DecodeParms << /EarlyChange " + value + " >> >>"));
        EXPECT_EQ(st->GetDecodedStream() == expected, on) << value;
    }
    PDFFixture f;
    EXPECT_EQ(f.S.NewStreamWithDict(sample, f.Dict("<< /Filter /LZW >>"))->GetDecodedStream(),
              expected);
}

TEST(StreamData, CallerResolverIsUsedForFilterEntries) {
    PDFFixture f;  // the store knows no objects here
    f.Objects.clear();
    TPDFStructure other;
    TPDFObject* name = other.Decode("/FlateDecode");
    TPDFObject* parms = other.Decode("<< /Predictor 12 /Columns 5 >>");
    TPDFStream* st = f.S.NewStreamWithDict(FlateCompress(kPredicted),
                                           f.Dict("<< /Filter 3 0 R /DecodeParms 4 0 R >>"));
    int calls = 0;
    TPDFFindObjectEvent lookup = [&](TPDFIndRef* Ref) -> TPDFObject* {
        ++calls;
        return Ref->ObjNum == 3 ? name : Ref->ObjNum == 4 ? parms : nullptr;
    };
    EXPECT_EQ(st->GetDecodedStreamWithLookup(lookup), kUnpredicted);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(st->GetDecodedStream(), FlateCompress(kPredicted));  // unresolved: undecoded
}

TEST(StreamData, Setters) {
    PDFFixture f;
    TPDFStream* st = f.S.NewStreamWithDict("", f.Dict("<< /Length 7 0 R /Filter /LZWDecode >>"));
    st->SetStream("abcd");
    auto* len = ObjAs<TPDFNumeric>(st->Dictionary()->FindValueByKeyName("Length", false));
    ASSERT_NE(len, nullptr);
    EXPECT_EQ(len->AsInteger(), 4);
    EXPECT_EQ(st->Dictionary()->StringValue("Filter"), "LZWDecode");  // untouched
    EXPECT_TRUE(st->HasChanged());

    st->SetTo("hello hello hello", true);
    EXPECT_EQ(st->Dictionary()->StringValue("Filter"), "FlateDecode");
    EXPECT_EQ(st->GetDecodedStream(), "hello hello hello");
    EXPECT_EQ(st->Dictionary()->IntValue("Length", -1), int(st->Stream().size()));

    st->SetTo("plain", false);
    EXPECT_LT(st->Dictionary()->FindIndexByKeyName("Filter"), 0);
    EXPECT_EQ(st->GetDecodedStream(), "plain");

    st->SetToTextString(u"\u20ACuro", true);
    EXPECT_EQ(st->GetDecodedTextStream(), u"\u20ACuro");

    // DecodeParms stays in place in both cases.
    TPDFStream* p = f.S.NewStreamWithDict("", f.Dict("<< /DecodeParms << /Predictor 12 >> >>"));
    p->SetTo("x", true);
    EXPECT_GE(p->Dictionary()->FindIndexByKeyName("DecodeParms"), 0);
}

TEST(StreamData, ReadFromStream) {
    PDFFixture f;
    TPDFStream* st = f.S.NewStreamWithDict("old", f.Dict("<< /Filter /ASCIIHexDecode >>"));
    TMemoryStream empty;
    st->ReadFromStream(empty, true);
    EXPECT_EQ(st->Stream(), "");
    EXPECT_EQ(st->Dictionary()->IntValue("Length", -1), 0);
    EXPECT_EQ(st->Dictionary()->StringValue("Filter"), "ASCIIHexDecode");

    TStringStream src(std::string(5000, 'q'));
    src.Seek(0, soEnd);  // read from position 0 whatever the position
    st->ReadFromStream(src, true);
    EXPECT_EQ(st->Dictionary()->StringValue("Filter"), "FlateDecode");
    EXPECT_EQ(st->GetDecodedStream(), std::string(5000, 'q'));
    EXPECT_EQ(st->Dictionary()->IntValue("Length", -1), int(st->Stream().size()));

    st->ReadFromStream(src, false);
    EXPECT_LT(st->Dictionary()->FindIndexByKeyName("Filter"), 0);
    EXPECT_EQ(st->Stream(), std::string(5000, 'q'));
}
