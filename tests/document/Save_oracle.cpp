// Saving encrypted documents: files encrypted by qpdf are loaded with their
// user password, changed, saved in full and appended to; qpdf reads the
// results with the same password and finds the change.
#include <gtest/gtest.h>

#include "document/Document.h"
#include "document/PageTree.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

TEST(oracle, save_encrypted_documents) {
    VPL_REQUIRE_TOOL("qpdf");
    vpltest::TempDir dir;
    const auto plain = dir / "plain.pdf";
    {
        TPDFDocument d;
        d.CreateBlank();
        d.PageTree()->SetContent("0 0 m 100 100 l S");
        ASSERT_TRUE(d.SaveToFile(plain.u16string()));
    }
    for (const char* bits : {"40", "128", "256"}) {
        const auto enc = dir / (std::string("enc") + bits + ".pdf");
        std::vector<std::string> args{"qpdf", "--allow-weak-crypto", "--encrypt", "user", "owner", bits};
        if (std::string(bits) == "128") args.push_back("--use-aes=n");
        args.insert(args.end(), {"--", plain.string(), enc.string()});
        ASSERT_EQ(vpltest::RunCommand(args).exitCode, 0) << bits;
        const auto saved = dir / (std::string("saved") + bits + ".pdf");
        {
            TPDFDocument d;
            ASSERT_EQ(d.LoadFromFile(enc.u16string(), u"user"), lrOkay) << bits;
            ASSERT_EQ(d.GetEncrypted(), peEncrypted);
            d.SetInfo("Title", u"Secret title", smString);
            ASSERT_TRUE(d.SaveToFile(saved.u16string()));
            ASSERT_TRUE(d.AppendToFile(enc.u16string()));
        }
        for (const auto& f : {saved, enc}) {
            const auto check = vpltest::RunCommand({"qpdf", "--password=user", "--check", f.string()});
            EXPECT_EQ(check.exitCode, 0) << bits << " " << f << check.out << check.err;
            const auto plainOut = dir / "decrypted.pdf";
            vpltest::RunCommand({"qpdf", "--password=user", "--decrypt", "--qdf", f.string(), plainOut.string()});
            const std::string text = vpltest::ReadFile(plainOut);
            EXPECT_NE(text.find("(Secret title)"), std::string::npos) << bits << " " << f;
            EXPECT_NE(text.find("0 0 m 100 100 l S"), std::string::npos) << bits << " " << f;
            TPDFDocument again;
            ASSERT_EQ(again.LoadFromFile(f.u16string(), u"user"), lrOkay);
            EXPECT_EQ(again.GetInfo("Title"), u"Secret title");
            again.PageTree()->SetLayer(1);
            EXPECT_EQ(again.PageTree()->ExtractContent(), "0 0 m 100 100 l S");
        }
    }
}

}  // namespace
}  // namespace velmo
