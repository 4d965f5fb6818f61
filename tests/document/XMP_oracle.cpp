// The XMP packet as written is well-formed XML for xmllint, alone and in a
// saved file.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "document/Document.h"
#include "document/XMP.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

TEST(oracle, xmp_packet_xmllint) {
    VPL_REQUIRE_TOOL("xmllint");
    TKorbexPDFLibraryXMP x;
    x.SetTitle(u"A & B");
    x.SetModDate(u"D:20240102030405Z");
    x.SetPDFAID(u"1B");
    vpltest::TempDir dir;
    vpltest::WriteFile(dir / "p.xmp", x.SaveToString());
    auto r = vpltest::RunCommand({"xmllint", "--noout", (dir / "p.xmp").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

namespace {

// The object number after Key's "N 0 R" in qpdf's print of Object.
int RefAfter(const std::string& Object, const std::string& Key) {
    const size_t at = Object.find("/" + Key + " ");
    if (at == std::string::npos) return 0;
    return std::atoi(Object.c_str() + at + Key.size() + 2);
}

std::string QpdfShow(const std::string& Pdf, const std::string& Obj, bool Data = false) {
    std::vector<std::string> argv = {"qpdf", "--show-object=" + Obj};
    if (Data) argv.push_back("--filtered-stream-data");
    argv.push_back(Pdf);
    auto r = vpltest::RunCommand(argv);
    EXPECT_EQ(r.exitCode, 0) << Obj << r.err;
    return r.out;
}

// The text between Open and Close in S.
std::string Between(const std::string& S, const std::string& Open, const std::string& Close) {
    const size_t a = S.find(Open);
    if (a == std::string::npos) return {};
    const size_t b = S.find(Close, a + Open.size());
    return b == std::string::npos ? std::string() : S.substr(a + Open.size(), b - a - Open.size());
}

}  // namespace

// The packet of a saved file, read back with qpdf: well-formed, no XML
// declaration, and its modification date is the one in /Info.
TEST(oracle, xmp_saved_file) {
    VPL_REQUIRE_TOOL("xmllint");
    VPL_REQUIRE_TOOL("qpdf");
    vpltest::TempDir dir;
    TPDFDocument doc;
    ASSERT_TRUE(doc.CreateBlank());
    doc.SetInfo("Title", u"A & B <C>", smString);
    doc.SetInfo("ModDate", u"D:20240102030405+01'00'", smString);
    const std::string pdf = (dir / "saved.pdf").string();
    ASSERT_TRUE(doc.SaveToFile((dir / "saved.pdf").u16string()));

    const std::string trailer = QpdfShow(pdf, "trailer");
    const std::string root = QpdfShow(pdf, std::to_string(RefAfter(trailer, "Root")));
    const int meta = RefAfter(root, "Metadata");
    ASSERT_GT(meta, 0) << root;
    const std::string packet = QpdfShow(pdf, std::to_string(meta), true);
    EXPECT_EQ(packet.find("<?xml "), std::string::npos) << packet;
    vpltest::WriteFile(dir / "p.xmp", packet);
    auto lint = vpltest::RunCommand({"xmllint", "--noout", (dir / "p.xmp").string()});
    EXPECT_EQ(lint.exitCode, 0) << lint.err;

    const std::string info = QpdfShow(pdf, std::to_string(RefAfter(trailer, "Info")));
    const std::string modDate = Between(info, "/ModDate (", ")");
    EXPECT_EQ(modDate, "D:20240102030405+01'00'") << info;
    std::string modify = Between(packet, "<xmp:ModifyDate>", "</xmp:ModifyDate>");
    if (modify.empty()) modify = Between(packet, "xmp:ModifyDate=\"", "\"");
    EXPECT_EQ(modify, "2024-01-02T03:04:05+01:00") << packet;
}
