// The HTML5 canvas page: head, drawing commands and tail, byte for byte.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "render/Picasso.h"

namespace velmo {
namespace {

const std::string Head =
    "<!DOCTYPE html><html><head><script type=\"text/javascript\">\r\n"
    "function KorbexPDFLibraryDraw() {\r\n"
    "  var canvas = document.getElementById(\"VPLCanvas\");\r\n"
    "  if (canvas.getContext) {\r\n"
    "    var ctx = canvas.getContext(\"2d\");\r\n";

std::string Tail(const std::string& Width, const std::string& Height) {
    return "  }\r\n"
           "}\r\n"
           "</script>\r\n"
           "</head><body onload=\"KorbexPDFLibraryDraw()\">\r\n"
           "<canvas id=\"VPLCanvas\" width=\"" +
           Width + "\" height=\"" + Height +
           "\"></canvas>\r\n"
           "</body></html>";
}

// The commands written between the head and the end of the stream.
std::string Commands(const TMemoryStream& S) {
    const std::string& B = S.Bytes();
    if (B.compare(0, Head.size(), Head) != 0) return "<no head>";
    return B.substr(Head.size());
}

void Rectangle(TPDFPicasso& P) {
    P.BeginPath();
    P.MoveTo(10, 20);
    P.AddLineToPath(110, 20);
    P.AddLineToPath(110, 70);
    P.AddLineToPath(10, 70);
    P.ClosePath();
}

const std::string RectanglePath =
    "ctx.beginPath();ctx.moveTo(10,20);ctx.lineTo(110,20);ctx.lineTo(110,70);"
    "ctx.lineTo(10,70);ctx.closePath();";

// A stream that takes no bytes, as a full disk would.
class TRefusingStream : public TMemoryStream {
public:
    int64_t Write(const void*, int64_t) override { return 0; }
};

TEST(HTML5Canvas, ByteExact) {
    {
        SCOPED_TRACE("empty page: head, then the tail at once");
        TMemoryStream S;
        TPDFPicasso P;
        P.UseHTML5Model(&S);
        EXPECT_EQ(P.Model(), pmHTML5);
        EXPECT_EQ(S.Bytes(), Head);
        P.FinishHTML5(612, 792);
        EXPECT_EQ(S.Bytes(),
                  "<!DOCTYPE html><html><head><script type=\"text/javascript\">\r\n"
                  "function KorbexPDFLibraryDraw() {\r\n"
                  "  var canvas = document.getElementById(\"VPLCanvas\");\r\n"
                  "  if (canvas.getContext) {\r\n"
                  "    var ctx = canvas.getContext(\"2d\");\r\n"
                  "  }\r\n"
                  "}\r\n"
                  "</script>\r\n"
                  "</head><body onload=\"KorbexPDFLibraryDraw()\">\r\n"
                  "<canvas id=\"VPLCanvas\" width=\"612\" height=\"792\"></canvas>\r\n"
                  "</body></html>");
    }
    {
        SCOPED_TRACE("black rectangle, then the tail with its size");
        TMemoryStream S;
        TPDFPicasso P;
        P.UseHTML5Model(&S);
        P.SetFillColor(0, 0, 0);
        Rectangle(P);
        P.FillPath();
        P.FinishHTML5(2480, 3508);
        EXPECT_EQ(Commands(S),
                  "ctx.beginPath();ctx.moveTo(10,20);ctx.lineTo(110,20);ctx.lineTo(110,70);"
                  "ctx.lineTo(10,70);ctx.closePath();ctx.fillStyle = \"#000000\";ctx.fill();" +
                      Tail("2480", "3508"));
    }
    {
        SCOPED_TRACE("curves: the quadratic control point goes out unchanged");
        TMemoryStream S;
        TPDFPicasso P;
        P.UseHTML5Model(&S);
        P.BeginPath();
        P.MoveTo(0, 0);
        P.AddQBezierToPath(3, 3, 6, 0);
        P.AddBezierToPath(7.5, 1.25, 8, 2, 9.0625, 3);
        EXPECT_EQ(Commands(S),
                  "ctx.beginPath();ctx.moveTo(0,0);ctx.quadraticCurveTo(3,3,6,0);"
                  "ctx.bezierCurveTo(7.5,1.25,8,2,9.062,3);");
    }
    {
        SCOPED_TRACE("colours; fill-and-stroke writes only the fill pair");
        TMemoryStream S;
        TPDFPicasso P;
        P.UseHTML5Model(&S);
        P.SetFillColor(255, 0, 0);
        P.SetStrokeColor(10, 171, 205);
        Rectangle(P);
        P.StrokeAndFillPath();
        Rectangle(P);
        P.StrokePath();
        EXPECT_EQ(Commands(S), RectanglePath + "ctx.fillStyle = \"#FF0000\";ctx.fill();" +
                                   RectanglePath + "ctx.strokeStyle = \"#0AABCD\";ctx.stroke();");
    }
    {
        SCOPED_TRACE("width, dash, clip and images write nothing");
        TMemoryStream S;
        TPDFPicasso P;
        P.UseHTML5Model(&S);
        P.SetLineWidth(3);
        P.SetLineDash({3, 1}, 0);
        P.SetLineDashDouble({2, 2}, 1);
        P.SetLineCapStyle(1);
        P.SetLineJoinStyle(2);
        P.SetFillAlpha(0.5);
        P.SetFillMode(pfAlternate);
        P.SetClippingPath(pfWinding);
        P.NullPath();
        P.SaveState();
        P.RestoreState();
        TBitmap BM(2, 2, pf24bit);
        P.DrawImage(0, 0, 10, 10, BM);
        P.DrawImagePoints(0, 0, 10, 0, 0, 10, BM);
        double ULX = 0, ULY = 0, URX = 10, URY = 0, LLX = 0, LLY = 10;
        P.DrawBitmap(&BM, ULX, ULY, URX, URY, LLX, LLY);
        TMemoryStream Image;
        Image.WriteBuffer(std::string_view("BM\0\0", 4));
        P.DrawAnyImage(0, 0, 10, 10, Image, 1, false);
        P.DrawAnyImagePoints(0, 0, 10, 0, 0, 10, Image);
        EXPECT_EQ(Commands(S), "");
    }
}

TEST(HTML5Canvas, Numbers) {
    struct TCase {
        double Value;
        const char* Text;
    };
    const TCase Cases[] = {
        {72, "72"},
        {12.5, "12.5"},
        {0.1234, "0.123"},
        {0.0004, "0"},
        {-0.0004, "0"},
        {-12.5, "-12.5"},
        {0, "0"},
        {2.0625, "2.062"},           // 2062.5: ties go to the even neighbour
        {0.1875, "0.188"},           // 187.5: the even neighbour is above
        {1e15, "1000000000000000"},  // never an exponent
        {1234567.25, "1234567.25"},
    };
    for (const TCase& C : Cases) EXPECT_EQ(TPDFPicasso::HTML5Number(C.Value), C.Text) << C.Value;
}

TEST(HTML5Canvas, Colours) {
    struct TCase {
        uint32_t Color;  // 0x00BBGGRR
        const char* Text;
    };
    const TCase Cases[] = {
        {0x000000FF, "FF0000"}, {0x00CDAB0A, "0AABCD"}, {0x00000000, "000000"},
        {0x00FFFFFF, "FFFFFF"}, {0xFF123456, "563412"},  // a high byte is not a colour
    };
    for (const TCase& C : Cases)
        EXPECT_EQ(TPDFPicasso::HTML5HexColor(int32_t(C.Color)), C.Text) << std::hex << C.Color;
}

TEST(HTML5Canvas, TargetsAndFaults) {
    {
        SCOPED_TRACE("no target: every operation writes nothing and nothing breaks");
        TPDFPicasso P;
        P.UseHTML5Model(nullptr);
        EXPECT_EQ(P.Model(), pmHTML5);
        Rectangle(P);
        P.FillPath();
        P.FinishHTML5(10, 10);
    }
    {
        SCOPED_TRACE("a target that refuses bytes raises to the caller");
        TRefusingStream S;
        TPDFPicasso P;
        EXPECT_THROW(P.UseHTML5Model(&S), EWriteError);
    }
    {
        SCOPED_TRACE("a non-finite coordinate writes no number and paints nothing");
        TMemoryStream S;
        TPDFPicasso P;
        P.UseHTML5Model(&S);
        const double NaN = std::numeric_limits<double>::quiet_NaN();
        const double Inf = std::numeric_limits<double>::infinity();
        P.BeginPath();
        P.MoveTo(NaN, 20);
        P.AddLineToPath(110, Inf);
        P.AddBezierToPath(1, 2, NaN, 4, 5, 6);
        P.AddQBezierToPath(1, Inf, 3, 4);
        P.FillPath();
        const std::string C = Commands(S);
        EXPECT_EQ(C.find("fill"), std::string::npos) << C;
        EXPECT_EQ(C.find("nan"), std::string::npos) << C;
        EXPECT_EQ(C.find("inf"), std::string::npos) << C;
        // The next path paints again.
        Rectangle(P);
        P.FillPath();
        EXPECT_NE(S.Bytes().find(RectanglePath + "ctx.fillStyle = \"#000000\";ctx.fill();"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace velmo
