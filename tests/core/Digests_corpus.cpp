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
    struct Ranges {
        std::filesystem::path pdf;
        int64_t len1, start2, len2;
    };
    std::vector<Ranges> files;
    for (const auto& pdf : vpltest::CorpusPdfs()) {
        std::error_code ec;
        int64_t size = int64_t(std::filesystem::file_size(pdf, ec));
        if (ec)
            continue;
        // A gap in the middle, as around a signature's contents.
        const int64_t start2 = size / 2 + (size > 10 ? 7 : 0);
        files.push_back({pdf, size / 3, start2, size - start2});
    }
    const std::vector<vpltest::ChildResult> ours = vpltest::RunIsolatedBatch(
        files.size(),
        [&](size_t i, std::string& report) {
            const Ranges& f = files[i];
            TVelmoPDFWideFileStream s(FileSystemNameToWide(f.pdf.string()),
                                      fmOpenRead | fmShareDenyWrite);
            report = vpltest::ToHex(SHA1OfStreamRanges(s, f.len1, f.start2, f.len2));
            return 0;
        },
        60);
    for (size_t i = 0; i < files.size(); ++i) {
        const Ranges& f = files[i];
        const vpltest::ChildResult& child = ours[i];
        if (child.outcome != vpltest::ChildOutcome::Ok) {
            failures.push_back(f.pdf.string() + ": did not finish cleanly");
            continue;
        }
        std::string script =
            "{ dd if=\"$1\" bs=65536 iflag=count_bytes count=" + std::to_string(f.len1) +
            " status=none; dd if=\"$1\" bs=65536 iflag=skip_bytes,count_bytes skip=" +
            std::to_string(f.start2) + " count=" + std::to_string(f.len2) +
            " status=none; } | sha1sum";
        vpltest::CommandResult r =
            vpltest::RunCommand({"sh", "-c", script, "sh", f.pdf.string()}, 60);
        if (r.exitCode != 0) {
            failures.push_back(f.pdf.string() + ": dd/sha1sum failed");
            continue;
        }
        std::string expected = r.out.substr(0, 40);
        if (child.report != expected)
            failures.push_back(f.pdf.string() + ": " + child.report + " != " + expected);
        ++checked;
    }
    for (const auto& f : failures)
        ADD_FAILURE() << f;
    EXPECT_GT(checked, 0);
    std::cout << "checked " << checked << " files\n";
}
