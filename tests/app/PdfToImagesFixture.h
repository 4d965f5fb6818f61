// The three-page PDF the PDF-to-images tests convert: an A4 page, an A4 page
// turned by /Rotate 90 and a Letter page, each with coloured bars, a
// diagonal and a frame, so a page drawn sideways or shifted shows. With
// Turned false the second page has no /Rotate (the same pages upright).
#pragma once

#include <string>

#include "tests/support/TestSupport.h"

namespace vpltest {

inline std::string ThreePagePdf(bool Turned = true) {
    auto Stream = [](const std::string& Ops) {
        return "<< /Length " + std::to_string(Ops.size()) + " >>\nstream\n" + Ops +
               "\nendstream";
    };
    auto Page = [](const std::string& Box, const std::string& Extra, int Contents) {
        return "<< /Type /Page /Parent 2 0 R /MediaBox [" + Box + "]" + Extra +
               " /Contents " + std::to_string(Contents) + " 0 R >>";
    };
    const std::string Bars =
        "0.8 0.1 0.1 rg 40 600 200 150 re f\n"
        "0.1 0.6 0.2 rg 300 400 180 260 re f\n"
        "0.1 0.2 0.8 rg 60 80 420 120 re f\n"
        "0 0 0 RG 6 w 20 20 m 500 720 l S\n"
        "0.5 g 2 w 10 10 560 760 re S\n";
    return PdfFromObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>",
        Page("0 0 595.28 841.89", "", 6),
        Page("0 0 595.28 841.89", Turned ? " /Rotate 90" : "", 7),
        Page("0 0 612 792", "", 8),
        Stream(Bars),
        Stream("0.9 0.7 0.1 rg 100 100 300 500 re f\n" + Bars),
        Stream(Bars + "0.6 0.2 0.7 rg 420 640 150 120 re f\n"),
    });
}

}  // namespace vpltest
