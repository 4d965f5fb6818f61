// Every stream of the corpus whose filters are all ours decodes to the bytes
// qpdf gives for it. qpdf lists each file's streams with their raw and
// filtered data (qpdf_streams.py); each file is then checked in a child
// process with a time limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <sstream>

#include "core/Flate.h"
#include "core/Objects.h"
#include "core/Structure.h"
#include "tests/core/PDFFixture.h"
#include "tests/support/TestSupport.h"

using namespace velmo;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBatch = 24;

// True when the ASCII85 text holds a five-digit group above 2^32 - 1: the
// format gives such a group no value, and decoders differ on it.
bool HasOverflowingASCII85Group(std::string_view data) {
    std::uint64_t v = 0;
    int n = 0;
    for (unsigned char c : data) {
        if (c == '~') break;
        if (c == 'z' && n == 0) continue;
        if (c < '!' || c > 'u') continue;
        v = v * 85 + (c - 33);
        if (++n == 5) {
            if (v > 0xFFFFFFFFull) return true;
            v = 0;
            n = 0;
        }
    }
    return false;
}

// True when a predictor of the stream's parameters describes no valid row
// layout (zero or absurd /Colors, /Columns, /BitsPerComponent): the engine
// refuses such data, where qpdf may still produce bytes.
bool PredictorRefused(TPDFDictionary* dict) {
    TPDFObject* parms = dict->FindValueByKeyName("DecodeParms", true);
    if (!parms) parms = dict->FindValueByKeyName("DP", true);
    std::vector<TPDFDictionary*> list;
    if (auto* d = ObjAs<TPDFDictionary>(parms)) list.push_back(d);
    if (auto* a = ObjAs<TPDFArray>(parms))
        for (TPDFObject* item : a->LiveItems()) {
            if (auto* r = ObjAs<TPDFIndRef>(item)) item = r->Obj();
            if (auto* d = ObjAs<TPDFDictionary>(item)) list.push_back(d);
        }
    for (TPDFDictionary* d : list) {
        std::string out;
        if (d->IntValue("Predictor", 1) >= 2 &&
            !UndoPredictor("", d->IntValue("Predictor", 1), d->IntValue("Colors", 1),
                           d->IntValue("BitsPerComponent", 8), d->IntValue("Columns", 1), true,
                           out))
            return true;
    }
    return false;
}

struct FileTally {
    int compared = 0;
    int listed = 0;
};

// Checks one file's manifest. Report lines: "listed ..." for streams qpdf
// itself could not decode or whose data the format leaves undefined,
// "MISMATCH ..." for real differences, and a last line "tally C L".
int CheckFile(const fs::path& dir, std::string& report) {
    std::ifstream manifest(dir / "manifest.txt", std::ios::binary);
    vpltest::PDFFixture f;
    struct StreamRec {
        std::string head, dict;
    };
    std::vector<StreamRec> streams;
    std::string head, body;
    while (std::getline(manifest, head) && std::getline(manifest, body)) {
        if (head.rfind("O ", 0) == 0) {
            f.Put(std::stoi(head.substr(2)), body);
        } else if (head.rfind("S ", 0) == 0) {
            streams.push_back({head, body});
        }
    }
    FileTally t;
    bool failed = false;
    for (const auto& s : streams) {
        std::istringstream hs(s.head);
        std::string tag, num, gen, status, rawPath, fltPath;
        hs >> tag >> num >> gen >> status >> rawPath >> fltPath;
        if (status != "ok") {
            ++t.listed;
            report += "listed: obj " + num + " qpdf cannot decode " + s.dict.substr(0, 120) + "\n";
            continue;
        }
        const std::string raw = vpltest::ReadFile(rawPath);
        const std::string want = vpltest::ReadFile(fltPath);
        auto* dict = ObjAs<TPDFDictionary>(f.S.Decode(s.dict));
        if (!dict) dict = f.S.NewDictionary();
        TPDFStream* stream = f.S.NewStreamWithDict(raw, dict);
        const std::string got = stream->GetDecodedStream();
        if (got == want) {
            ++t.compared;
            continue;
        }
        const bool a85 = s.dict.find("/A85") != std::string::npos ||
                         s.dict.find("/ASCII85Decode") != std::string::npos;
        if (a85 && HasOverflowingASCII85Group(raw)) {
            ++t.listed;
            report += "listed: obj " + num + " ASCII85 group beyond 2^32-1\n";
            continue;
        }
        if (got.empty() && PredictorRefused(dict)) {
            ++t.listed;
            report += "listed: obj " + num + " predictor parameters refused " +
                      s.dict.substr(0, 160) + "\n";
            continue;
        }
        std::size_t at = 0;
        while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
        report += "MISMATCH obj " + num + ": ours " + std::to_string(got.size()) + " bytes, qpdf " +
                  std::to_string(want.size()) + ", first difference at " + std::to_string(at) +
                  " " + s.dict.substr(0, 200) + "\n";
        failed = true;
    }
    report += "tally " + std::to_string(t.compared) + " " + std::to_string(t.listed) + "\n";
    return failed ? 4 : 0;
}

}  // namespace

TEST(corpus, stream_decode) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("qpdf");
    VPL_REQUIRE_TOOL("python3");
    const auto pdfs = vpltest::CorpusPdfs();
    const fs::path lister = vpltest::SourceDir() / "tests" / "core" / "qpdf_streams.py";
    int compared = 0, listed = 0, unreadable = 0;
    std::vector<std::string> failures;
    for (std::size_t start = 0; start < pdfs.size(); start += kBatch) {
        const std::size_t end = std::min(pdfs.size(), start + kBatch);
        vpltest::TempDir work;
        std::vector<std::string> argv = {"python3", lister.string(), work.path().string()};
        for (std::size_t i = start; i < end; ++i) argv.push_back(pdfs[i].string());
        vpltest::RunCommand(argv, 600);
        // The files qpdf read are checked in turn by one child.
        std::vector<std::size_t> readable;
        for (std::size_t i = start; i < end; ++i) {
            if (fs::exists(work / std::to_string(i - start) / "manifest.txt")) {
                readable.push_back(i);
                continue;
            }
            ++unreadable;
            std::cout << "listed: qpdf cannot read " << pdfs[i].filename().string() << "\n";
        }
        const std::vector<vpltest::ChildResult> checks = vpltest::RunIsolatedBatch(
            readable.size(),
            [&](std::size_t k, std::string& rep) {
                return CheckFile(work / std::to_string(readable[k] - start), rep);
            },
            120);
        for (std::size_t k = 0; k < readable.size(); ++k) {
            const std::size_t i = readable[k];
            const vpltest::ChildResult& r = checks[k];
            std::istringstream lines(r.report);
            std::string line;
            while (std::getline(lines, line)) {
                if (line.rfind("tally ", 0) == 0) {
                    std::istringstream ts(line.substr(6));
                    int c = 0, l = 0;
                    ts >> c >> l;
                    compared += c;
                    listed += l;
                } else if (line.rfind("listed:", 0) == 0) {
                    std::cout << pdfs[i].filename().string() << " " << line << "\n";
                }
            }
            if (r.outcome != vpltest::ChildOutcome::Ok)
                failures.push_back(pdfs[i].string() + " (" +
                                   (r.outcome == vpltest::ChildOutcome::TimedOut  ? "timed out"
                                    : r.outcome == vpltest::ChildOutcome::Crashed ? "crashed"
                                                                                  : "differs") +
                                   "):\n" + r.report);
        }
        fs::remove_all(work.path());
    }
    std::cout << "stream_decode: " << compared << " streams identical to qpdf, " << listed
              << " listed, " << unreadable << " files qpdf cannot read, " << failures.size()
              << " files failing\n";
    EXPECT_GT(compared, 0);
    for (const auto& f : failures) ADD_FAILURE() << f;
}
