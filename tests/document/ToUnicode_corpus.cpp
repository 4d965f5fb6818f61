// Every /ToUnicode stream of every corpus PDF parses through the CMap parser
// without an exception escaping.
#include <gtest/gtest.h>

#include <unordered_set>

#include "core/CMap.h"
#include "document/Document.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

int ParseToUnicodeStreams(const std::filesystem::path& file, std::string& report) {
    TPDFDocument d;
    if (d.LoadFromFile(file.u16string(), u"") != lrOkay) {
        report = "0 0";
        return 0;
    }
    int parsed = 0, escaped = 0;
    std::unordered_set<const TPDFObject*> seen;
    for (int32_t i = 0; i < d.ObjCount(); ++i) {
        TPDFObject* v = d.IndObj(i)->GetObj();
        TPDFDictionary* dict = ObjAs<TPDFDictionary>(v);
        if (auto* s = ObjAs<TPDFStream>(v)) dict = s->Dictionary();
        if (!dict) continue;
        auto* cmap = ObjAs<TPDFStream>(dict->FindValueByKeyName("ToUnicode", true));
        if (!cmap || !seen.insert(cmap).second) continue;
        try {
            ParseCMapString("ToUnicode", cmap->GetDecodedStream());
            ++parsed;
        } catch (const std::exception& e) {
            ++escaped;
            report += std::string("exception: ") + e.what() + "\n";
        } catch (...) {
            ++escaped;
            report += "exception\n";
        }
    }
    report = std::to_string(parsed) + " " + std::to_string(escaped) + "\n" + report;
    return escaped == 0 ? 0 : 1;
}

TEST(corpus, tounicode) {
    VPL_REQUIRE_CORPUS();
    int total = 0;
    const auto files = vpltest::CorpusPdfs();
    const auto results = vpltest::RunIsolatedBatch(
        files.size(),
        [&](size_t i, std::string& report) { return ParseToUnicodeStreams(files[i], report); }, 60);
    for (size_t i = 0; i < files.size(); ++i) {
        const auto& file = files[i];
        const vpltest::ChildResult& r = results[i];
        if (r.outcome != vpltest::ChildOutcome::Ok) {
            ADD_FAILURE() << file << ": " << r.report.substr(0, 1000);
            continue;
        }
        total += std::atoi(r.report.c_str());
    }
    std::cout << total << " ToUnicode streams parsed\n";
}

}  // namespace
}  // namespace velmo
