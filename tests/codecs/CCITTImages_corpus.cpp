// Every fax-coded image of the corpus decodes without fault, and its bits
// equal libtiff's decode of the one-strip wrapper of the same data (the
// wrapper the image decoder falls back to). Files are chosen cheaply by the
// filter's name in their bytes; qpdf writes out each file's fax streams
// (ccitt_streams.py), and each image is decoded in a child process with a
// time limit.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/CCITTDecoder.h"
#include "codecs/TIFFMaker.h"
#include "tests/support/TestSupport.h"

using namespace velmo;
namespace fs = std::filesystem;

namespace {

struct TFaxStream {
    int File = 0;
    std::string Object;
    TCCITTParams Params;
    int32_t Height = 0;
    std::string DataPath;
};

// The rows libtiff decodes from a wrapper file; false when it refuses one.
bool DecodeLibtiff(const std::string& Path, int32_t Width, int32_t Height, TCCITTByteArray& Out) {
    TIFF* T = TIFFOpen(Path.c_str(), "r");
    if (!T) return false;
    const size_t RowBytes = size_t((Width + 7) / 8);
    std::vector<uint8_t> Row(size_t(TIFFScanlineSize(T)) + RowBytes);
    bool Ok = true;
    for (int32_t Y = 0; Y < Height && Ok; ++Y) {
        Ok = TIFFReadScanline(T, Row.data(), uint32_t(Y), 0) >= 0;
        Out.insert(Out.end(), Row.begin(), Row.begin() + std::ptrdiff_t(RowBytes));
    }
    TIFFClose(T);
    return Ok;
}

// Report: "same", "listed <why>" or "DIFFERS <where>".
int CheckStream(const TFaxStream& S, const fs::path& Work, std::string& Report) {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    const std::string Data = vpltest::ReadFile(S.DataPath);
    TCCITTParams P = S.Params;
    if (P.Rows <= 0) P.Rows = S.Height;
    TCCITTByteArray Ours;
    std::string Message;
    const bool Ok = DecodeCCITTFax(P, Data, Ours, &Message);
    if (P.K < 0 && P.EncodedByteAlign) {
        Report = std::string("listed byte-aligned Group 4 (no TIFF form), ours ") +
                 (Ok ? "decoded" : "failed");
        return 0;
    }
    TPDFTIFFMaker M;
    M.Source = Data;
    M.Width = P.Columns;
    M.Height = P.Rows;
    M.Compression = P.K < 0 ? ttCCITT4 : P.K == 0 ? ttCCITT31d : ttCCITT32d;
    M.EncodedByteAlign = P.EncodedByteAlign;
    M.HorizontalDPI = M.VerticalDPI = 0;
    const std::string Path =
        (Work / ("wrap-" + std::to_string(S.File) + "-" + S.Object + ".tif")).string();
    vpltest::WriteFile(Path, M.WriteTIFFToString());
    TCCITTByteArray Peer;
    const bool PeerOk = DecodeLibtiff(Path, P.Columns, P.Rows, Peer);
    std::remove(Path.c_str());
    if (!PeerOk) {
        Report = std::string("listed libtiff refuses it, ours ") + (Ok ? "decoded" : "failed");
        return 0;
    }
    if (Peer == Ours) {
        Report = Ok ? "same" : "same (ours reports failure: " + Message + ")";
        return 0;
    }
    size_t At = 0;
    while (At < Ours.size() && At < Peer.size() && Ours[At] == Peer[At]) ++At;
    const size_t RowBytes = size_t((P.Columns + 7) / 8);
    Report = "DIFFERS at row " + std::to_string(At / RowBytes) + " of " + std::to_string(P.Rows) +
             (Ok ? "" : " (ours failed" + (Message.empty() ? "" : ": " + Message) + ")");
    return 4;
}

bool NamesFaxFilter(const fs::path& File) {
    const std::string Bytes = vpltest::ReadFile(File);
    return Bytes.find("CCITTFax") != std::string::npos || Bytes.find("/CCF") != std::string::npos;
}

}  // namespace

TEST(corpus, ccitt_images) {
    VPL_REQUIRE_CORPUS();
    VPL_REQUIRE_TOOL("qpdf");
    std::vector<fs::path> Files;
    for (const fs::path& F : vpltest::CorpusPdfs())
        if (NamesFaxFilter(F)) Files.push_back(F);
    if (Files.empty()) GTEST_SKIP() << "no corpus file names the fax filter";
    vpltest::TempDir Work;
    std::vector<std::string> Argv = {
        "/usr/bin/python3",
        (vpltest::SourceDir() / "tests" / "codecs" / "ccitt_streams.py").string(),
        Work.path().string()};
    for (const fs::path& F : Files) Argv.push_back(F.string());
    const auto R = vpltest::RunCommand(Argv, 900);
    ASSERT_EQ(R.exitCode, 0) << R.err;

    std::ifstream Manifest(Work / "manifest.txt");
    std::string Line;
    int Same = 0, Listed = 0;
    std::vector<std::string> Failures;
    while (std::getline(Manifest, Line)) {
        std::istringstream In(Line);
        TFaxStream S;
        std::string First;
        In >> First;
        if (First == "skip" || First == "unreadable") {
            std::cout << "listed: " << Line << "\n";
            ++Listed;
            continue;
        }
        S.File = std::stoi(First);
        int Align = 0, BlackIs1 = 0;
        In >> S.Object >> S.Params.K >> S.Params.Columns >> S.Params.Rows >> Align >> BlackIs1 >>
            S.Height >> S.DataPath;
        S.Params.EncodedByteAlign = Align != 0;
        S.Params.BlackIs1 = BlackIs1 != 0;
        const std::string Name = Files.at(size_t(S.File)).filename().string() + " obj " + S.Object +
                                 " K " + std::to_string(S.Params.K);
        const auto C = vpltest::RunIsolated(
            [&](std::string& Rep) { return CheckStream(S, Work.path(), Rep); }, 60);
        if (C.outcome == vpltest::ChildOutcome::Ok && C.report.rfind("same", 0) == 0) {
            ++Same;
            if (C.report != "same") std::cout << Name << ": " << C.report << "\n";
        } else if (C.outcome == vpltest::ChildOutcome::Ok) {
            ++Listed;
            std::cout << Name << ": " << C.report << "\n";
        } else {
            Failures.push_back(Name + ": " +
                               (C.outcome == vpltest::ChildOutcome::TimedOut  ? "timed out"
                                : C.outcome == vpltest::ChildOutcome::Crashed ? "crashed"
                                                                              : "differs") +
                               " " + C.report);
        }
    }
    std::cout << "ccitt_images: " << Files.size() << " files, " << Same
              << " images equal to libtiff, " << Listed << " listed, " << Failures.size()
              << " failing\n";
    EXPECT_GT(Same, 0);
    for (const std::string& F : Failures) ADD_FAILURE() << F;
}
