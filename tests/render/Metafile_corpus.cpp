// Page 1 of every tenth corpus file (by sorted name) written as EMF, WMF
// and EMF+, each file in a child process with 60 s: every metafile passes
// the validator. Failures are listed; a crash, hang or sanitizer report
// fails the test.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "document/Document.h"
#include "document/PageTree.h"
#include "platform/files/Stream.h"
#include "platform/metafile/MetafileReader.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace velmo;

constexpr double kFileTimeout = 60;
constexpr double kDPI = 72;

// 0 when every format of page 1 was written and passes the validator (or
// the file does not load: that is the loader's concern, reported apart).
int WriteFirstPage(const std::filesystem::path& File, std::string& Report) {
    vpltest::InstallPageRenderServices();
    TPDFDocument Doc;
    if (Doc.LoadFromFile(File.u16string(), u"") != lrOkay || Doc.PageCount() < 1) {
        Report = "unloadable";
        return 0;
    }
    int Bad = 0;
    for (const auto& [Options, Name] : {std::pair{3, "EMF"}, {2, "WMF"}, {8, "EMF+"}}) {
        TMemoryStream Out;
        std::string Error;
        if (!Doc.PageTree()->RenderPageToStream(kDPI, 1, Options, 0, nullptr, Out, Error, 1,
                                                Doc.GetViewOCGList())) {
            Report += std::string(Name) + ": not written (" + Error + "); ";
            ++Bad;
            continue;
        }
        std::string Why;
        if (!metafile::ValidateMetafile(Out.Bytes(), &Why)) {
            Report += std::string(Name) + ": " + Why + "; ";
            ++Bad;
        }
    }
    return Bad ? 1 : 0;
}

TEST(corpus, metafile_pages) {
    VPL_REQUIRE_CORPUS();
    const auto All = vpltest::CorpusPdfs();
    std::vector<std::string> Failures, Unloadable;
    int Checked = 0;
    for (size_t I = 0; I < All.size(); I += 10) {
        const auto& File = All[I];
        const std::string Rel = std::filesystem::relative(File, vpltest::CorpusDir()).string();
        const vpltest::ChildResult Child = vpltest::RunIsolated(
            [&](std::string& Report) { return WriteFirstPage(File, Report); }, kFileTimeout);
        ++Checked;
        switch (Child.outcome) {
            case vpltest::ChildOutcome::Ok:
                if (Child.report == "unloadable") Unloadable.push_back(Rel);
                break;
            case vpltest::ChildOutcome::Failed:
                Failures.push_back(Rel + ": " + Child.report);
                break;
            case vpltest::ChildOutcome::Crashed:
                Failures.push_back(Rel + ": crashed (exit " + std::to_string(Child.exitCode) + ")\n" +
                                   Child.report.substr(0, 2000));
                break;
            case vpltest::ChildOutcome::TimedOut:
                Failures.push_back(Rel + ": timed out after 60 s");
                break;
        }
    }
    std::string List;
    for (const std::string& F : Failures) List += "  " + F + "\n";
    std::cout << Checked << " files, " << Unloadable.size() << " not loadable, "
              << Failures.size() << " failed\n"
              << List;
    EXPECT_TRUE(Failures.empty()) << List;
}

}  // namespace
