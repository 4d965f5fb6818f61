// The TrueType target's work, apart from the other targets: it needs the
// fonts library.
//
// An input is a font file or a collection. Its first and second faces are
// parsed, a fixed set of glyph names is looked up (plain and symbolic), the
// name table, CFF data and widths are read, the directory is shifted, and
// the outlines of up to 300 glyphs are drawn on a canvas that only counts.
#include <algorithm>
#include <memory>
#include <string>

#include "fonts/TrueTypeRasterizer.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

namespace {

constexpr int32_t kMaxGlyphs = 300;

class TCountingCanvas : public TPDFGenericCanvas {
public:
    size_t Calls = 0;
    void MoveTo(double, double) override { ++Calls; }
    void AddLineToPath(double, double) override { ++Calls; }
    void AddBezierToPath(double, double, double, double, double, double) override { ++Calls; }
    void AddQBezierToPath(double, double, double, double) override { ++Calls; }
    void ClosePath() override { ++Calls; }
};

void Face(const std::shared_ptr<const std::string>& Data, uint32_t Index, bool Symbolic) {
    TPDFTrueTypeRasterizer2 R;
    R.Parser().LoadFromBuffer(Data, Index);
    R.SetFlags(Symbolic ? 4 : 0);
    TCountingCanvas Canvas;
    const TPDFXForm Mat{0.012, 0, 0, -0.012, 100, 700};
    for (const char* Name :
         {"A", "a", "space", "Euro", "U+0041", "U+20AC", "PS:A", "PS:.notdef", "GID:1", "GID:x",
          "CID:65", "CID:300", "uni20AC", "a12", "Ucircumflex", "nosuchglyph", ""}) {
        double X = 10, Y = 20;
        R.RenderToCanvas(X, Y, &Canvas, Mat, Name, peStandard);
    }
    const int32_t Count = std::min(R.Parser().GlyphCount(), kMaxGlyphs);
    for (int32_t G = 0; G < Count; ++G) {
        double X = 0, Y = 0;
        R.RenderToCanvas(X, Y, &Canvas, Mat, "GID:" + std::to_string(G), peStandard);
    }
    TPDFCharsetNames Names;
    for (int I = 0; I < 256; ++I) Names[size_t(I)] = "CID:" + std::to_string(I);
    Names[65] = "A";
    Names[66] = "uni0042";
    std::array<double, 256> Widths{};
    R.GetWidths(Names, Widths);
    TPDFTrueTypeParser& P = R.Parser();
    P.ReadNameTable();
    (void)P.GetCFFData();
    for (const auto& Rec : P.cmapTable().encodingRecords) {
        (void)Rec.GlyphOfCode(0x41);
        (void)Rec.GlyphOfLowByte(0x41);
    }
}

}  // namespace

void TrueTypeParser(std::string_view Data) {
    const auto Buffer = std::make_shared<const std::string>(Data);
    const bool Symbolic = !Data.empty() && (Data.back() & 1);
    Face(Buffer, 0, Symbolic);
    TPDFTrueTypeParser P;
    P.LoadTablesFromBuffer(Buffer);
    if (P.ttcfTable().offsets.size() > 1) Face(Buffer, 1, !Symbolic);
    std::string Copy(Data);
    TPDFTrueTypeParser Shift;
    Shift.ShiftTableOffsets(Copy, 12);
}

}  // namespace velmo::fuzz
