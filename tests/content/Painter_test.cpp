// Content writer: the exact bytes of paths, shapes, colours, line styles and
// image placement, and the pending-line flags between operations.
#include <cmath>
#include <functional>
#include <limits>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "content/Image.h"
#include "content/Painter.h"
#include "core/Structure.h"

using namespace velmo;

namespace {

struct TPainterCase {
    const char* Name;
    std::function<void(TPDFPainter&)> Setup;  // what happens before (bytes not compared)
    std::function<void(TPDFPainter&)> Act;    // the bytes this appends are compared
    std::string Expected;
};

std::string Appended(TPDFPainter& P, const std::function<void(TPDFPainter&)>& Act) {
    const size_t before = P.FSourceStream.size();
    Act(P);
    return P.FSourceStream.substr(before);
}

// An image of the given kind; a stencil mask when Stencil is set.
struct TImageFixture {
    TPDFStructure S;
    TPDFImage Image{&S, "VelmoPDFIm0000abcd", nullptr};
    explicit TImageFixture(bool Stencil = false, TPDFImageType Type = itJPEG) {
        Image.FImageType = Type;
        Image.FImageDictionary = S.NewDictionary();
        if (Stencil) Image.FImageDictionary->Add("ImageMask", S.NewBoolean(true));
        else Image.FImageDictionary->Add("ColorSpace", S.NewName("DeviceRGB"));
    }
};

TImageFixture& Plain() {
    static TImageFixture f;
    return f;
}
TImageFixture& Stencil() {
    static TImageFixture f(true);
    return f;
}
TImageFixture& Emf() {
    static TImageFixture f(false, itEMF);
    return f;
}

const auto kNothing = [](TPDFPainter&) {};
const auto kQuiet = [](TPDFPainter& P) { P.HideLineProperties(); };

const std::string kCircleUnit =
    "-1 0 m\n"
    "-1 -0.5523 -0.5523 -1 0 -1 c\n"
    "0.5523 -1 1 -0.5523 1 0 c\n"
    "1 0.5523 0.5523 1 0 1 c\n"
    "-0.5523 1 -1 0.5523 -1 0 c\n";

}  // namespace

TEST(Painter, ExactBytes) {
    const TPainterCase cases[] = {
        // Core
        {"add empty with terminator", kNothing, [](TPDFPainter& P) { P.Add("", '\n'); }, ""},
        {"add q", kNothing, [](TPDFPainter& P) { P.Add("q", '\n'); }, "q\n"},
        {"add without terminator", kNothing, [](TPDFPainter& P) { P.Add("x", 0); }, "x"},
        {"scale", kNothing, [](TPDFPainter& P) { P.Scale(2); }, "2 0 0 2 0 0 cm\n"},
        {"scale before precision is set",
         [](TPDFPainter& P) { P.PDFPrecNum = 0; }, [](TPDFPainter& P) { P.Scale(0.4); },
         "0 0 0 0 0 0 cm\n"},
        {"rotate", kNothing, [](TPDFPainter& P) { P.Rotate(10, 20, 90); },
         "0 1 -1 0  10 20 \ncm\n"},
        {"graphics state", kNothing, [](TPDFPainter& P) { P.SetGS("GS1"); }, "/GS1 gs\n"},
        {"restore rewrites every line", kQuiet,
         [](TPDFPainter& P) {
             P.SaveState();
             P.LoadState();
             P.Rectangle(10, 100, 50, 20, true, false);
         },
         "q\nQ\n0 0 0 RG\n1 1 1 rg\n1 w\n[] 0 d\n10 80 50 20 re\nf\n"},
        // Paths and shapes
        {"line", kQuiet, [](TPDFPainter& P) { P.DrawLine(0, 0, 100, 50); }, "0 0 m 100 50 l S\n"},
        {"first rectangle", kNothing,
         [](TPDFPainter& P) { P.Rectangle(10, 100, 50, 20, true, false); },
         "0 0 0 RG\n1 1 1 rg\n1 w\n[] 0 d\n10 80 50 20 re\nf\n"},
        {"repeated rectangle", [](TPDFPainter& P) { P.Rectangle(10, 100, 50, 20, true, false); },
         [](TPDFPainter& P) { P.Rectangle(10, 100, 50, 20, true, false); },
         "10 80 50 20 re\nf\n"},
        {"rectangle fill and outline", kQuiet,
         [](TPDFPainter& P) { P.Rectangle(0, 10, 10, 10, true, true); }, "0 0 10 10 re\nB\n"},
        {"rectangle neither", kQuiet,
         [](TPDFPainter& P) { P.Rectangle(0, 10, 10, 10, false, false); }, "0 0 10 10 re\nn\n"},
        {"circle outline", kQuiet, [](TPDFPainter& P) { P.Circle(0, 0, 1, false, true); },
         kCircleUnit + "S\n"},
        {"circle fill only after a line colour change",
         [](TPDFPainter& P) {
             P.HideLineProperties();
             P.SetLineColor(1, 0, 0);
             P.SetFillColor(0, 1, 0);
         },
         [](TPDFPainter& P) { P.Circle(0, 0, 1, true, false); }, "0 1 0 rg\n" + kCircleUnit + "f\n"},
        {"ellipse", kQuiet, [](TPDFPainter& P) { P.Ellipse(0, 0, 2, 2, false, true); },
         kCircleUnit + "S\n"},
        {"rotated rectangle", kQuiet,
         [](TPDFPainter& P) { P.RotatedRectangle(0, 0, 10, 5, 90, true, false); },
         "0 0 m\n-5 0 l\n-5 10 l\n0 10 l\nh\nf\n"},
        {"rounded rectangle writes colours and width always", kQuiet,
         [](TPDFPainter& P) { P.RoundedRectangle(0, 10, 10, 10, 0, true, false); },
         "0 0 0 RG\n1 1 1 rg\n1 w\n0 0 m\n0 0 0 0 0 0 c\n10 0 l\n10 0 10 0 10 0 c\n10 10 l\n"
         "10 10 10 10 10 10 c\n0 10 l\n0 10 0 10 0 10 c\n0 0 l\nf\n"},
        {"rounded rect limits its radius", kQuiet,
         [](TPDFPainter& P) {
             P.RoundedRect(0, 10, 40, 10, 100, 0, false, true);
         },
         "0 0 0 RG\n1 1 1 rg\n1 w\n0 0 m\n0 0 8.9543 0 20 0 c\n20 0 l\n31.0457 0 40 0 40 0 c\n"
         "40 10 l\n40 10 31.0457 10 20 10 c\n20 10 l\n8.9543 10 0 10 0 10 c\n0 0 l\nS\n"},
        {"rounded rotated rectangle", kQuiet,
         [](TPDFPainter& P) { P.RoundedRotatedRectangle(0, 0, 10, 5, 0, 90, false, true); },
         "0 0 0 RG\n1 1 1 rg\n1 w\n0 0 m\n0 0 0 0 0 0 c\n0 10 l\n0 10 0 10 0 10 c\n-5 10 l\n"
         "-5 10 -5 10 -5 10 c\n-5 0 l\n-5 0 -5 0 -5 0 c\n0 0 l\nS\n"},
        {"arc quarter", kQuiet,
         [](TPDFPainter& P) { P.Arc(0, 0, 10, 0, 90, false, false, true, false); },
         "0 10 m\n5.5228 10 10 5.5228 10 0 c\nS\n"},
        {"arc wraps past 360", kQuiet,
         [](TPDFPainter& P) { P.Arc(0, 0, 10, 270, 90, false, false, true, false); },
         "-10 0 m\n-10 5.5228 -5.5228 10 0 10 c\n5.5228 10 10 5.5228 10 0 c\nS\n"},
        {"pie closes", kQuiet,
         [](TPDFPainter& P) { P.Arc(0, 0, 10, 0, 90, true, true, false, false); },
         "0 0 m\n0 10 l\n5.5228 10 10 5.5228 10 0 c\nh\nf\n"},
        {"elliptic arc", kQuiet,
         [](TPDFPainter& P) { P.EllipticArc(0, 0, 20, 10, 0, 90, false, false, true, false); },
         "10 0 m\n10 2.7614 5.5228 5 0 5 c\nS\n"},
        {"box in a path keeps its top", kNothing,
         [](TPDFPainter& P) {
             P.StartPath(0, 0);
             P.Path.Clear();
             P.AddBoxToPath(10, 100, 50, 20);
             P.HideLineProperties();
             P.DrawPath(false, false);
         },
         "10 100 50 20 re\nn\n"},
        {"line before a start", kQuiet,
         [](TPDFPainter& P) {
             P.ClosePath();
             P.AbortPath();
             P.AddLineToPath(5, 5);
             P.MovePath(1, 1);
             P.DrawPath(true, true);
         },
         "5 5 l\n1 1 m\nB\n"},
        {"even-odd", kQuiet,
         [](TPDFPainter& P) {
             P.StartPath(0, 0);
             P.AddLineToPath(1, 0);
             P.ClosePath();
             P.DrawPathEvenOdd(true, false);
         },
         "0 0 m\n1 0 l\nh\nf*\n"},
        {"clip", kNothing,
         [](TPDFPainter& P) {
             P.StartPath(0, 0);
             P.AddLineToPath(1, 0);
             P.SetClippingPath();
             P.StartPath(0, 0);
             P.SetClippingPathEvenOdd();
             P.SetClippingPath();
         },
         "0 0 m\n1 0 l\nW n\n0 0 m\nW* n\n"},
        {"curve and arc in a path", kQuiet,
         [](TPDFPainter& P) {
             P.StartPath(0, 10);
             P.AddArcToPath(0, 0, 90);
             P.AddCurveToPath(1, 2, 3, 4, 5, 6);
             P.DrawPath(false, true);
         },
         "0 10 m\n5.5228 10 10 5.5228 10 0 c\n1 2 3 4 5 6 c\nS\n"},
        // Colours and line styles
        {"rgb fill limited", kQuiet,
         [](TPDFPainter& P) {
             P.SetFillColor(1.5, -0.2, 0.5);
             P.Rectangle(0, 1, 1, 1, true, false);
         },
         "1 0 0.5 rg\n0 0 1 1 re\nf\n"},
        {"cmyk and tints", kQuiet,
         [](TPDFPainter& P) {
             P.SetFillColor(0, 0, 0, 1);
             P.SetLineColor("CS0", 0.25);
             P.Rectangle(0, 1, 1, 1, true, true);
             P.SetFillColor("CS0", 0.25);
             P.SetLineColor(0, 0, 1);
             P.Rectangle(0, 1, 1, 1, true, true);
         },
         "/CS0 CS 0.25 SCN\n0 0 0 1 k\n0 0 1 1 re\nB\n0 0 1 RG\n/CS0 cs 0.25 scn\n0 0 1 1 re\nB\n"},
        {"line shader", kQuiet,
         [](TPDFPainter& P) {
             P.SetLineShader("Sh1");
             P.Rectangle(0, 1, 1, 1, true, true);
         },
         "/Pattern CS /Sh1 SCN\n0 0 1 1 re\nB\n"},
        {"width, cap and dash", kQuiet,
         [](TPDFPainter& P) {
             P.SetLineWidth(-2);
             P.DrawLine(0, 0, 1, 1);
             P.SetLineCap(1);
             P.SetLineDash(3, 0.05);
             P.DrawLine(0, 0, 1, 1);
             P.SetLineDash(3, 2);
             P.DrawLine(0, 0, 1, 1);
             P.SetCustomLineDash("[6 2] 1");
             P.DrawLine(0, 0, 1, 1);
         },
         "10 M 2 w 0 J 0 j\n0 0 m 1 1 l S\n10 M 2 w 1 J 0 j\n[] 0 d\n0 0 m 1 1 l S\n"
         "[ 3 2 ] 0 d\n0 0 m 1 1 l S\n[6 2] 1 d\n0 0 m 1 1 l S\n"},
        {"dash text", kQuiet,
         [](TPDFPainter& P) {
             EXPECT_TRUE(P.SetLineDashEx("3 2"));
             P.DrawLine(0, 0, 1, 1);
             EXPECT_FALSE(P.SetLineDashEx("3 x"));
             P.DrawLine(0, 0, 1, 1);
             // A value that closes the array early would smuggle operators in.
             EXPECT_FALSE(P.SetLineDashEx("3 ] 0 d Q q [ 1"));
             P.DrawLine(0, 0, 1, 1);
             EXPECT_TRUE(P.SetLineDashEx(""));
             P.DrawLine(0, 0, 1, 1);
         },
         "[ 3 2] 0 d\n0 0 m 1 1 l S\n0 0 m 1 1 l S\n0 0 m 1 1 l S\n[] 0 d\n0 0 m 1 1 l S\n"},
        {"hidden line properties", [](TPDFPainter& P) { P.SetLineColor(1, 0, 0); },
         [](TPDFPainter& P) {
             P.HideLineProperties();
             P.StartPath(0, 0);
             P.DrawPath(true, true);
         },
         "0 0 m\nB\n"},
        // Images and forms
        {"image over the page", kNothing,
         [](TPDFPainter& P) { P.DrawImage(&Plain().Image, 0, 480, 640, 480); },
         "q\n640 0 0 480 0 0 cm\n/VelmoPDFIm0000abcd Do\nQ\n"},
        {"image in a box", kNothing,
         [](TPDFPainter& P) { P.DrawImage(&Plain().Image, 10, 100, 50, 20); },
         "q\n50 0 0 20 10 80 cm\n/VelmoPDFIm0000abcd Do\nQ\n"},
        {"metafile form in wide and tall boxes", kNothing,
         [](TPDFPainter& P) {
             P.DrawImage(&Emf().Image, 0, 100, 300, 100);
             P.DrawImage(&Emf().Image, 0, 300, 100, 300);
         },
         "q\n100 0 0 100 0 0 cm\n/VelmoPDFIm0000abcd Do\nQ\n"
         "q\n100 0 0 100 0 0 cm\n/VelmoPDFIm0000abcd Do\nQ\n"},
        {"stencil takes the fill colour each time", kQuiet,
         [](TPDFPainter& P) {
             P.SetFillColor(1, 0, 0);
             P.DrawImage(&Stencil().Image, 0, 1, 1, 1);
             P.DrawImage(&Stencil().Image, 0, 1, 1, 1);
             P.Rectangle(0, 1, 1, 1, true, false);
             P.DrawImage(&Stencil().Image, 0, 1, 1, 1);
         },
         "q\n1 0 0 rg\n1 0 0 1 0 0 cm\n/VelmoPDFIm0000abcd Do\nQ\n"
         "q\n1 0 0 rg\n1 0 0 1 0 0 cm\n/VelmoPDFIm0000abcd Do\nQ\n"
         "1 0 0 rg\n0 0 1 1 re\nf\n"
         "q\n1 0 0 1 0 0 cm\n/VelmoPDFIm0000abcd Do\nQ\n"},
        {"image matrix", kNothing,
         [](TPDFPainter& P) { P.DrawImageMatrix(&Plain().Image, 1, 2, 3, 4, 5, 6); },
         "q\n1 2 3 4 5 6 cm\n/VelmoPDFIm0000abcd Do\nQ\n"},
        {"rotated image", kNothing,
         [](TPDFPainter& P) { P.DrawRotatedImage(&Plain().Image, 10, 20, 30, 40, 90); },
         "q\n0 1 -1 0  10 20 cm\n30 0 0 40 0 0 cm\n/VelmoPDFIm0000abcd Do\nQ\n"},
        {"sheared image", kNothing,
         [](TPDFPainter& P) { P.DrawShearedImage(&Stencil().Image, 1, 10, 4, 5, 0.5, 0.25); },
         "q\n1 -0.5 -0.25 1 1 5 cm\n4 0 0 5 0 0 cm\n/VelmoPDFIm0000abcd Do\nQ\n"},
        {"captured page", kNothing,
         [](TPDFPainter& P) {
             TPDFCapturedPage cp;
             cp.XObjectName = "VelmoPDFXO00000001";
             cp.OriginalWidth = 612;
             cp.OriginalHeight = 792;
             P.DrawXObject(&cp, 0, 396, 306, 396);
         },
         "q\n5 0 0 5 0 0 cm\n0.1 0 0 0.1 0 0 cm\n/VelmoPDFXO00000001 Do\nQ\n"},
        {"form at an angle", kNothing,
         [](TPDFPainter& P) { P.DrawXObjectAngle("F1", 1, 2, 100, 50, 200, 100, 0); },
         "q\n1 0 0 1  1 2 cm\n5 0 0 5 0 0 cm\n0.1 0 0 0.1 0 0 cm\n/F1 Do\nQ\n"},
        {"form by matrix", kNothing,
         [](TPDFPainter& P) { P.DrawXObjectMatrix("F1", 1, 0, 0, 1, 0, 0, 4, 8); },
         "q\n1 0 0 1 0 0 cm\n0.25 0 0 0.125 0 0 cm\n/F1 Do\nQ\n"},
        {"no image, no group", kNothing,
         [](TPDFPainter& P) {
             P.DrawImage(nullptr, 0, 1, 1, 1);
             P.DrawImageMatrix(nullptr, 1, 0, 0, 1, 0, 0);
             P.DrawRotatedImage(nullptr, 0, 0, 1, 1, 0);
             P.DrawShearedImage(nullptr, 0, 1, 1, 1, 0, 0);
             P.DrawXObject(nullptr, 0, 1, 1, 1);
         },
         ""},
        {"postscript form", kNothing, [](TPDFPainter& P) { P.DrawPSXObject("PS1"); },
         "/PS1 Do\n"},
    };
    for (const TPainterCase& c : cases) {
        TPDFPainter p(nullptr);
        p.PDFPrecNum = 4;
        c.Setup(p);
        EXPECT_EQ(Appended(p, c.Act), c.Expected) << c.Name;
    }
}

// Every operand is plain number text: no "nan", no "inf", no exponent.
TEST(Painter, OperandsAreAlwaysNumbers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    TPDFPainter p(nullptr);
    p.PDFPrecNum = 4;
    p.Rectangle(nan, 1e300, inf, 1e-300, true, false);
    p.SetFillColor(nan, inf, -inf);
    p.SetLineColor("CS0", nan);
    p.SetLineWidth(nan);
    p.SetLineDash(nan, 3);
    p.Circle(1e200, -1e200, nan, true, true);
    p.DrawRotatedImage(&Plain().Image, 1e30, 2, 3, 4, nan);
    p.Scale(-inf);
    const std::string text = p.GetSource();
    const std::regex number("-?[0-9]+(\\.[0-9]+)?");
    const std::regex other("[A-Za-z*]+|/[A-Za-z0-9]+|\\[|\\]|\\[\\]");
    std::istringstream tokens(text);
    for (std::string t; tokens >> t;)
        EXPECT_TRUE(std::regex_match(t, number) || std::regex_match(t, other)) << t;
    EXPECT_NE(text.find("0 1 0 rg"), std::string::npos);
    EXPECT_NE(text.find("[] 0 d"), std::string::npos);
}

TEST(Painter, SourceText) {
    TPDFPainter p(nullptr);
    EXPECT_EQ(p.GetSource(), "\n");
    p.SetSource("BT");
    EXPECT_EQ(p.GetSource(), "BT \n");
    p.SetSource("a ");
    EXPECT_EQ(p.GetSource(), "a \n");
    p.SetSource("");
    EXPECT_EQ(p.GetSource(), "\n");
    p.Add("q", '\n');
    EXPECT_EQ(p.GetSource(), "q\n");
}

TEST(Painter, ChangeNotification) {
    TPDFPainter p(nullptr);
    p.PDFPrecNum = 4;
    int fired = 0;
    p.SetOnChange([&](TObject* Sender) {
        EXPECT_EQ(Sender, &p);
        ++fired;
    });
    p.Rotate(10, 20, 90);
    p.SetGS("GS1");
    EXPECT_EQ(fired, 0);
    p.Scale(2);
    EXPECT_EQ(fired, 1);
    p.BeginUpdate();
    p.BeginUpdate();
    p.Rectangle(0, 1, 1, 1, true, false);
    p.SaveState();
    EXPECT_EQ(fired, 1);
    p.EndUpdate();
    EXPECT_FALSE(p.FUpdating);
    EXPECT_EQ(fired, 2);
    p.Rectangle(0, 1, 1, 1, true, false);
    EXPECT_EQ(fired, 3);
    // Painting without a path fires nothing but still marks the text colour.
    p.FontColorChanged = false;
    p.DrawPath(true, false);
    p.SetClippingPath();
    EXPECT_EQ(fired, 3);
    EXPECT_TRUE(p.FontColorChanged);
}

TEST(Painter, Flags) {
    TPDFPainter p(nullptr);
    p.PDFPrecNum = 4;
    // A fill-only circle after a line colour change leaves the line flag set.
    p.HideLineProperties();
    p.SetLineColor(1, 0, 0);
    p.Circle(0, 0, 1, true, false);
    EXPECT_TRUE(p.LineColorChanged);
    EXPECT_FALSE(p.FillColorChanged);
    // Fill pattern leaves the text colour flag alone; fill shader sets it.
    p.FontColorChanged = false;
    p.SetFillPattern("P1");
    EXPECT_FALSE(p.FontColorChanged);
    EXPECT_EQ(p.FillColorLine, "/Pattern cs /P1 scn");
    p.SetFillShader("P1");
    EXPECT_TRUE(p.FontColorChanged);
    // The rounded rectangle clears only the dash flag.
    p.ChangeAll();
    p.RoundedRectangle(0, 10, 10, 10, 2, true, true);
    EXPECT_TRUE(p.LineColorChanged && p.FillColorChanged && p.LineWidthChanged);
    EXPECT_FALSE(p.LineDashChanged);
    // Text shader: text and underline lines, text and fill flags.
    p.FillColorChanged = false;
    p.SetTextShader("Sh2");
    EXPECT_EQ(p.FontColorLine, "/Pattern cs /Sh2 scn");
    EXPECT_EQ(p.UnderlineColorLine, "/Pattern cs /Sh2 scn");
    EXPECT_TRUE(p.FillColorChanged);
    p.SetLineWidth(0.0015);
    EXPECT_EQ(p.LineWidthThou(), 2);
    p.SetLineWidth(0.0025);
    EXPECT_EQ(p.LineWidthThou(), 2);
}

TEST(Painter, ClearKeepsPendingPathAndResetsState) {
    TPDFPainter p(nullptr);
    p.PDFPrecNum = 4;
    p.SetLineWidth(3);
    p.SetFillColor(1, 0, 0);
    p.FTextScaling = 50;
    p.StartPath(1, 2);
    p.Add("junk", '\n');
    p.Clear();
    EXPECT_EQ(p.GetSource(), "\n");
    EXPECT_EQ(p.FillColorLine, "1 1 1 rg");
    EXPECT_EQ(p.LineWidthLine, "1 w");  // the bare line, whatever the width is
    EXPECT_EQ(p.LineWidth, 3);
    EXPECT_EQ(p.FTextScaling, 100);
    p.DrawPath(false, true);
    EXPECT_EQ(p.GetSource(), "0 0 0 RG\n1 1 1 rg\n1 w\n[] 0 d\n1 2 m\nS\n");
}

TEST(Painter, DegenerateArcsAddNoCurve) {
    TPDFPainter p(nullptr);
    p.PDFPrecNum = 4;
    p.HideLineProperties();
    p.Arc(0, 0, 10, 45, 45, false, false, true, false);
    EXPECT_EQ(p.FSourceStream, "7.0711 7.0711 m\nS\n");
    p.FSourceStream.clear();
    p.StartPath(0, 0);
    p.AddArcToPath(0, 0, 90);  // current point is the centre
    p.StartPath(0, 10);
    p.AddArcToPath(0, 0, 0);  // no sweep
    p.AddArcToPath(0, 0, std::numeric_limits<double>::quiet_NaN());
    p.DrawPath(false, true);
    EXPECT_EQ(p.FSourceStream, "0 10 m\nS\n");
    // A full ellipse: equal angles give four curves.
    p.FSourceStream.clear();
    p.EllipticArc(0, 0, 20, 10, 30, 30, false, false, true, false);
    size_t curves = 0;
    for (size_t i = p.FSourceStream.find(" c\n"); i != std::string::npos;
         i = p.FSourceStream.find(" c\n", i + 1))
        ++curves;
    EXPECT_EQ(curves, 4u);
    // An enormous sweep still ends.
    p.StartPath(0, 10);
    p.AddArcToPath(0, 0, 1e12);
    EXPECT_LE(p.Path.Count(), 1001);
}

TEST(Painter, TransparencyGroup) {
    TPDFStructure s;
    TPDFStream* form = s.NewStreamWithDict("", s.NewDictionary());
    TPDFDictionary* group = s.NewDictionary();
    group->Add("S", s.NewName("Other"));
    group->Add("Extra", s.NewNumeric(7));
    form->Dictionary()->Add("Group", group);
    s.OnIndObjLookup = [&](TObject*, int32_t ObjNum, int32_t, TPDFObject*& Obj) {
        Obj = ObjNum == 5 ? form : nullptr;
    };
    TPDFCapturedPage cp;
    cp.XObject = s.NewIndirectRef(5, 0);
    cp.SetTransparencyGroup("DeviceRGB", true, false);
    EXPECT_EQ(group->Output(),
              "<<\n/S /Transparency\n/Extra 7\n/Type /Group\n/CS /DeviceRGB\n/I true\n/K "
              "false\n>>\n");
    // A form without a group gets a new one; a dangling reference does nothing.
    form->Dictionary()->PurgeKey("Group");
    cp.SetTransparencyGroup("DeviceGray", false, true);
    auto* made = ObjAs<TPDFDictionary>(form->Dictionary()->FindValueByKeyName("Group", false));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->StringValue("CS"), "DeviceGray");
    cp.XObject = s.NewIndirectRef(6, 0);
    cp.SetTransparencyGroup("DeviceGray", false, true);
}
