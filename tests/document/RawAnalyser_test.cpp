#include "document/RawAnalyser.h"

#include <gtest/gtest.h>

namespace velmo {
namespace {

TEST(RawAnalyser, ReportListsCandidatesAndHeaders) {
    // 15 bytes of padding, then two objects.
    std::string data = "%PDF-1.4\n%xyz\n\n1 0 obj\n<< >>\nendobj\n";
    data += "2 0 obj\n(hello)\nendobj\ntrailer\n<< /Root 1 0 R >>\n";
    TVPLRawAnalyser a;
    a.LoadFromStream(data);
    ASSERT_EQ(a.ObjectCount(), 2);
    EXPECT_EQ(a.GetObjNum(0), 1);
    EXPECT_EQ(a.GetLocation(0), 15);
    EXPECT_EQ(a.GetObjNum(1), 2);
    EXPECT_EQ(a.GetLocation(1), static_cast<int64_t>(data.find("2 0 obj")));
    size_t os = 0;
    for (char c : data) os += c == 'o';
    const std::string expected = std::to_string(os) + " \"o\" characters in the file\r\n" +
                                 "Object (1 0 obj) found at 15\r\n" + "Object (2 0 obj) found at " +
                                 std::to_string(data.find("2 0 obj")) + "\r\n" +
                                 "2 \"obj\" tokens in the file\r\n";
    EXPECT_EQ(a.Debug(), expected);
    EXPECT_EQ(a.Trailer(), "<< /Root 1 0 R >>");
    EXPECT_EQ(a.GetObjNum(2), 0);
    EXPECT_EQ(a.GetLocation(-1), 0);
}

struct HeaderCase {
    const char* name;
    std::string data;
    int count;
    int num;
    int gen;
    int64_t location;
};

TEST(RawAnalyser, HeaderPatterns) {
    const std::string block(2040, ' ');
    const HeaderCase cases[] = {
        {"after line feed", "xx\n12 0 obj\n", 1, 12, 0, 3},
        {"endobj is no header", "x 1 0 obj\nendobj\n", 1, 1, 0, 2},
        {"several spaces", "x 7    3 obj", 1, 7, 3, 2},
        {"line break between", "x 7\r\n3\tobj", 1, 7, 3, 2},
        {"at file start", "1 0 obj\n", 0, 0, 0, 0},
        {"across blocks", block + "\n44 0 obj\n", 1, 44, 0, 2041},
        {"no space before obj", "x 1 0obj\n", 0, 0, 0, 0},
        {"letters before number", "x a1 0 obj", 0, 0, 0, 0},
        {"window cut at the end", "x 1 0 ob", 0, 0, 0, 0},
        {"overlong number", "x 99999999999 0 obj", 1, 0, 0, 2},
    };
    for (const auto& c : cases) {
        TVPLRawAnalyser a;
        a.LoadFromStream(c.data);
        EXPECT_EQ(a.ObjectCount(), c.count) << c.name;
        if (c.count > 0) {
            EXPECT_EQ(a.GetObjNum(0), c.num) << c.name;
            EXPECT_EQ(a.GetGenNum(0), c.gen) << c.name;
            EXPECT_EQ(a.GetLocation(0), c.location) << c.name;
        }
    }
}

TEST(RawAnalyser, DuplicatesStayInFileOrder) {
    TVPLRawAnalyser a;
    a.LoadFromStream("x\n5 0 obj 1 endobj\n5 0 obj 2 endobj\n");
    ASSERT_EQ(a.ObjectCount(), 2);
    EXPECT_LT(a.GetLocation(0), a.GetLocation(1));
}

TEST(RawAnalyser, Trailer) {
    struct Case {
        const char* name;
        std::string data;
        std::string trailer;
    } cases[] = {
        {"last trailer wins", "trailer << /A 1 >> trailer\n<< /B 2 >>", "<< /B 2 >>"},
        {"nested dictionary", "trailer << /A << /B 1 >> /C 2 >>", "<< /A << /B 1 >>"},
        {"no trailer keyword", "1 0 obj << /Type /XRef >> endobj", ""},
        {"no dictionary", "trailer\n", ""},
        {"unclosed", "trailer << /A 1" + std::string(3000, ' ') + ">>", ""},
    };
    for (const auto& c : cases) {
        TVPLRawAnalyser a;
        a.LoadFromStream(c.data);
        EXPECT_EQ(a.Trailer(), c.trailer) << c.name;
    }
}

}  // namespace
}  // namespace velmo
