// Passwords through the public class, on files encrypted by qpdf.
#include <gtest/gtest.h>

#include "api/VelmoPDF.h"
#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"
#include "tests/document/PdfBuilder.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

TEST(oracle, api_load_password) {
    VPL_REQUIRE_TOOL("qpdf");
    vpltest::TempDir dir;
    vpltest::WriteFile(dir / "plain.pdf", vpltest::MinimalPdf());
    const auto enc = dir / "enc.pdf";
    auto r = vpltest::RunCommand({"qpdf", "--encrypt", "user", "owner", "128", "--use-aes=y", "--",
                                  (dir / "plain.pdf").string(), enc.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::u16string name = FileSystemNameToWide(enc.string());
    const std::string bytes = vpltest::ReadFile(enc);

    TVelmoPDF lib;
    const int32_t blank = lib.SelectedDocument();
    // A file reports every failure as 401, a string tells the password apart.
    EXPECT_EQ(lib.LoadFromFile(name, u"wrong"), 0);
    EXPECT_EQ(lib.LastErrorCode(), 401);
    EXPECT_EQ(lib.LoadFromString(bytes, u"wrong"), 0);
    EXPECT_EQ(lib.LastErrorCode(), 404);
    TStringStream in(bytes);
    EXPECT_EQ(lib.LoadFromStream(in, u""), 0);
    EXPECT_EQ(lib.LastErrorCode(), 404);
    EXPECT_EQ(lib.SelectedDocument(), blank);
    EXPECT_EQ(lib.DocumentCount(), 1);

    for (const char16_t* pw : {u"user", u"owner"}) {
        EXPECT_EQ(lib.LoadFromFile(name, pw), 1);
        EXPECT_EQ(lib.LastErrorCode(), 0);
        EXPECT_EQ(lib.PageCount(), 1);
    }
}

}  // namespace
}  // namespace velmo
