// The HTML5 model: a page whose script draws the canvas's paths with the 2D
// context of a canvas element. Only path construction and plain fill and
// stroke colours are written; everything else draws nothing in this model.
#include <string_view>

#include "core/StringHelpers.h"
#include "render/Picasso.h"

namespace velmo {

namespace {

constexpr std::string_view kHTML5Head =
    "<!DOCTYPE html><html><head><script type=\"text/javascript\">\r\n"
    "function KorbexPDFLibraryDraw() {\r\n"
    "  var canvas = document.getElementById(\"VPLCanvas\");\r\n"
    "  if (canvas.getContext) {\r\n"
    "    var ctx = canvas.getContext(\"2d\");\r\n";

}  // namespace

void TPDFPicasso::UseHTML5Model(TStream* Target) {
    FHTML5Target = Target;
    FModel = pmHTML5;
    HTML5Write(std::string(kHTML5Head));
}

void TPDFPicasso::FinishHTML5(int32_t Width, int32_t Height) {
    HTML5Write(
        "  }\r\n"
        "}\r\n"
        "</script>\r\n"
        "</head><body onload=\"KorbexPDFLibraryDraw()\">\r\n"
        "<canvas id=\"VPLCanvas\" width=\"" +
        IntToStrA(Width) + "\" height=\"" + IntToStrA(Height) +
        "\"></canvas>\r\n"
        "</body></html>");
}

// Every command is plain ASCII, so it is already in the ANSI code page.
// A failing target raises, and the caller sees that.
void TPDFPicasso::HTML5Write(const std::string& HTMLCommand) {
    if (FHTML5Target == nullptr || HTMLCommand.empty()) return;
    FHTML5Target->WriteBuffer(HTMLCommand);
}

// Three decimals are finer than any device pixel the page is drawn at.
std::string TPDFPicasso::HTML5Number(double Number) { return FormatNumber(Number, 3); }

// Canvas colours are 0x00BBGGRR; CSS wants red, green, blue.
std::string TPDFPicasso::HTML5HexColor(int32_t Value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto V = uint32_t(Value);
    std::string Out(6, '0');
    for (int I = 0; I < 3; ++I) {
        const uint32_t Byte = (V >> (8 * I)) & 0xFFu;
        Out[size_t(2 * I)] = kHex[Byte >> 4];
        Out[size_t(2 * I + 1)] = kHex[Byte & 0xFu];
    }
    return Out;
}

}  // namespace velmo
