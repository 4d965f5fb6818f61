// SHA-1 over two byte ranges of every corpus file, as a signer computes it
// over the parts of a file around its signature, against sha1sum of the same
// ranges cut out with dd.
#include <gtest/gtest.h>

#include <string>

#include "core/Digests.h"
#include "core/FileHelpers.h"
#include "platform/files/WideFile.h"
#include "tests/support/Hex.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

TEST(corpus, sha1_ranges) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("sha1sum");
    VPL_REQUIRE_TOOL("dd");
    int checked = 0;
    std::vector<std::string> failures;
    for (const auto& pdf : vpltest::CorpusPdfs()) {
        std::error_code ec;
        int64_t size = int64_t(std::filesystem::file_size(pdf, ec));
        if (ec)
            continue;
        // A gap in the middle, as around a signature's contents.
        int64_t len1 = size / 3;
        int64_t start2 = size / 2 + (size > 10 ? 7 : 0);
        int64_t len2 = size - start2;
        std::string ours;
        vpltest::ChildResult child = vpltest::RunIsolated(
            [&](std::string& report) {
                TVelmoPDFWideFileStream s(FileSystemNameToWide(pdf.string()),
                                          fmOpenRead | fmShareDenyWrite);
                report = vpltest::ToHex(SHA1OfStreamRanges(s, len1, start2, len2));
                return 0;
            },
            60);
        if (child.outcome != vpltest::ChildOutcome::Ok) {
            failures.push_back(pdf.string() + ": did not finish cleanly");
            continue;
        }
        std::string script =
            "{ dd if=\"$1\" bs=65536 iflag=count_bytes count=" + std::to_string(len1) +
            " status=none; dd if=\"$1\" bs=65536 iflag=skip_bytes,count_bytes skip=" +
            std::to_string(start2) + " count=" + std::to_string(len2) +
            " status=none; } | sha1sum";
        vpltest::CommandResult r = vpltest::RunCommand({"sh", "-c", script, "sh", pdf.string()}, 60);
        if (r.exitCode != 0) {
            failures.push_back(pdf.string() + ": dd/sha1sum failed");
            continue;
        }
        std::string expected = r.out.substr(0, 40);
        if (child.report != expected)
            failures.push_back(pdf.string() + ": " + child.report + " != " + expected);
        ++checked;
    }
    for (const auto& f : failures)
        ADD_FAILURE() << f;
    EXPECT_GT(checked, 0);
    std::cout << "checked " << checked << " files\n";
}
