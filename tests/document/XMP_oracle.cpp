// The XMP packet as written is well-formed XML for xmllint.
#include <string>

#include <gtest/gtest.h>

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
