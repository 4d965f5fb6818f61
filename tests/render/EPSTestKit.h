// EPS pages for the EPS oracle and corpus tests: a page written through the
// page tree's EPS option, Ghostscript's verdict on the file, and the box the
// file declares.
#pragma once

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "document/Document.h"
#include "document/PageTree.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace vpltest {

// Page (1-based) of Doc as EPS (page-file option 4) into Target; false with
// the reason when nothing was written. Error then holds the renderer's text.
inline bool WritePageEPS(velmo::TPDFDocument& Doc, int Page, const std::filesystem::path& Target,
                         std::string& Error) {
    Error.clear();
    velmo::TPDFPageTree* Tree = Doc.PageTree();
    if (!Tree || Page < 1 || Page > Doc.PageCount()) {
        Error = "no page " + std::to_string(Page);
        return false;
    }
    TempDir Tmp;
    const std::u16string Name = (Tmp.path() / "page-%p.eps").u16string();
    std::string RenderError;
    if (!Tree->RenderPageToFile(72, Page, Page, 4, 80, Name, nullptr, false, 0, RenderError,
                                Doc.GetViewOCGList())) {
        Error = RenderError.empty() ? "RenderPageToFile failed" : RenderError;
        return false;
    }
    char Num[16];
    std::snprintf(Num, sizeof Num, "%.4d", Page);
    const auto Written = Tmp.path() / ("page-" + std::string(Num) + ".eps");
    std::error_code Ec;
    std::filesystem::copy_file(Written, Target,
                               std::filesystem::copy_options::overwrite_existing, Ec);
    if (Ec) {
        Error = "no EPS file written";
        return false;
    }
    Error = RenderError;
    return true;
}

// The four numbers of the %%BoundingBox line; false without one.
inline bool EPSBoundingBox(const std::string& EPS, long Box[4]) {
    const size_t P = EPS.find("%%BoundingBox: ");
    if (P == std::string::npos) return false;
    return std::sscanf(EPS.c_str() + P + 15, "%ld %ld %ld %ld", &Box[0], &Box[1], &Box[2],
                       &Box[3]) == 4;
}

// Ghostscript interprets the file: empty when it ran to the end without an
// error, else what went wrong.
inline std::string GhostscriptProblem(const std::filesystem::path& EPS, double Timeout = 120) {
    const CommandResult R = RunCommand({"gs", "-q", "-dSAFER", "-dNOPAUSE", "-dBATCH",
                                        "-sDEVICE=nullpage", EPS.string()},
                                       Timeout);
    if (R.timedOut) return "gs timed out";
    const std::string Out = R.out + R.err;
    if (R.exitCode != 0) return "gs exit " + std::to_string(R.exitCode) + ": " + Out.substr(0, 300);
    if (Out.find("Error") != std::string::npos || Out.find("error") != std::string::npos)
        return "gs reported: " + Out.substr(0, 300);
    return {};
}

// Ghostscript's picture of the file cropped to its box at 72 dpi.
inline bool GhostscriptRaster(const std::filesystem::path& EPS, TRgbRaster& Out,
                              std::string& Error) {
    const auto Png = EPS.parent_path() / (EPS.stem().string() + "-gs.png");
    const CommandResult R =
        RunCommand({"gs", "-q", "-dSAFER", "-dNOPAUSE", "-dBATCH", "-dEPSCrop", "-sDEVICE=png16m",
                    "-r72", "-sOutputFile=" + Png.string(), EPS.string()});
    if (R.exitCode != 0) {
        Error = "gs exit " + std::to_string(R.exitCode) + ": " + R.err.substr(0, 300);
        return false;
    }
    return ReadPngRaster(Png, Out, &Error);
}

}  // namespace vpltest
