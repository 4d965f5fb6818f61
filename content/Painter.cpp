#include "content/Painter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "content/Image.h"
#include "core/StringHelpers.h"
#include "core/Structure.h"

namespace velmo {

namespace {

// Bezier control distance of a quarter circle of radius 1.
const double kQuarter = 4.0L * (std::sqrt(2.0L) - 1.0L) / 3.0L;
constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr double kSweepEpsilon = 1e-6;

// A colour component limited to 0..1; not-a-number counts as 0.
double Unit(double V) {
    if (!(V > 0)) return 0;
    return V > 1 ? 1 : V;
}

}  // namespace

std::string_view PaintOperator(bool Fill, bool Outline, bool EvenOdd) {
    if (Fill && Outline) return EvenOdd ? "B*" : "B";
    if (Fill) return EvenOdd ? "f*" : "f";
    if (Outline) return "S";
    return "n";
}

// ---- TPDFCapturedPage ---------------------------------------------------------

void TPDFCapturedPage::SetTransparencyGroup(std::string_view CS, bool IsolateFlag,
                                            bool KnockoutFlag) {
    if (!XObject) return;
    auto* form = ObjAs<TPDFStream>(XObject->Obj());
    if (!form || !form->Dictionary()) return;
    TPDFStructure* s = form->Owner();
    TPDFDictionary* dict = form->Dictionary();
    auto* group = ObjAs<TPDFDictionary>(dict->FindValueByKeyName("Group", true));
    if (!group) {
        group = s->NewDictionary();
        dict->Add("Group", group);
    }
    group->Add("Type", s->NewCommonName("Group"));
    group->Add("S", s->NewName("Transparency"));
    group->Add("CS", s->NewName(CS));
    group->Add("I", s->NewBoolean(IsolateFlag));
    group->Add("K", s->NewBoolean(KnockoutFlag));
}

// ---- Core ---------------------------------------------------------------------

TPDFPainter::TPDFPainter(TObject* Parent) : TPDFPainterBase(Parent) {
    // Until the owner stores its precision every number is an integer.
    PDFPrecNum = 0;
    Clear();
    Path.Clear();
    RipePath = false;
    LineCap = 0;
    LineJoin = 0;
    LineWidth = 1;
    MiterLimit = 10;
    FUseKerning = false;
}

void TPDFPainter::Add(std::string_view S, char C) {
    if (S.empty()) return;
    FSourceStream.append(S);
    if (C != 0) FSourceStream.push_back(C);
}

void TPDFPainter::AddNumber(double Value) {
    FSourceStream += FormatNumber(Value, PDFPrecNum);
    FSourceStream.push_back(' ');
}

std::string TPDFPainter::NumberText(double Value) const {
    std::string s = FormatNumber(Value, PDFPrecNum);
    s.push_back(' ');
    return s;
}

std::string TPDFPainter::GetSource() const {
    std::string s = FSourceStream;
    if (s.empty() || s.back() != '\n') s.push_back('\n');
    return s;
}

void TPDFPainter::SetSource(std::string_view S) {
    FSourceStream.clear();
    if (S.empty()) return;
    FSourceStream.assign(S);
    if (FSourceStream.back() != ' ') FSourceStream.push_back(' ');
}

void TPDFPainter::Reset() {
    FontColorLine = "0 0 0 rg";
    FillColorLine = "1 1 1 rg";
    LineColorLine = "0 0 0 RG";
    LineWidthLine = "1 w";
    LineDashLine = "[] 0 d";
    FTextScaling = 100;
    FontScalingLine = "100 Tz";
    FTextRise = 0;
    FontRiseLine = "0 Ts";
    FTextCharSpacing = 0;
    FTextWordSpacing = 0;
    FontSpacingLine = "0 Tw 0 Tc";
    HighlightColorLine = "0.5 0.5 0.5 rg";
    UnderlineColorLine = "0 0 0 RG";
    UnderlineDashOn = 0;
    UnderlineDashOff = 0;
    TextMode = 0;
    FTextAlign = paLeft;
    FTextSpacing = 0;
    FTextUnderline = usNone;
    FTextHighlight = hsNone;
    FMetaTextAlign = 0;
    FTextAngle = 0;
    FFillMode = 1;
}

void TPDFPainter::Clear() {
    Reset();
    FSelFont = nullptr;
    FTextSize = 0;
    FSourceStream.clear();
    ChangeAll();
    FUpdating = false;
    Changed();
}

void TPDFPainter::ChangeAll() {
    TextModeChanged = FontChanged = FontColorChanged = FillColorChanged = LineColorChanged =
        LineWidthChanged = LineDashChanged = FontScalingChanged = FontRiseChanged =
            FontSpacingChanged = TextAlignChanged = true;
}

void TPDFPainter::Changed() {
    if (OnChange && !FUpdating) OnChange(this);
}

void TPDFPainter::BeginUpdate() { FUpdating = true; }

void TPDFPainter::EndUpdate() {
    FUpdating = false;
    if (OnChange) OnChange(this);
}

void TPDFPainter::SaveState() {
    Add("q", '\n');
    Changed();
}

void TPDFPainter::LoadState() {
    Add("Q", '\n');
    ChangeAll();
    Changed();
}

void TPDFPainter::SetGS(std::string_view GSName) {
    std::string line = "/";
    line += GSName;
    line += " gs";
    Add(line, '\n');
}

void TPDFPainter::Scale(double AScale) {
    AddNumber(AScale);
    AddNumber(0);
    AddNumber(0);
    AddNumber(AScale);
    AddNumber(0);
    AddNumber(0);
    Add("cm", '\n');
    Changed();
}

std::string TPDFPainter::RotationText(double Angle, double X, double Y) const {
    const double c = std::cos(Angle * kDegToRad);
    const double s = std::sin(Angle * kDegToRad);
    return NumberText(c) + NumberText(s) + NumberText(-s) + NumberText(c) + " " + NumberText(X) +
           NumberText(Y);
}

void TPDFPainter::Rotate(double XOffset, double YOffset, double Angle) {
    Add(RotationText(Angle, XOffset, YOffset), '\n');
    Add("cm", '\n');
}

void TPDFPainter::TakeLine(std::string& Out, const std::string& Line, bool& Flag) {
    if (Flag && !Line.empty()) {
        Out += Line;
        Out.push_back('\n');
    }
    Flag = false;
}

void TPDFPainter::TakeGraphicsLines(std::string& Out) {
    TakeLine(Out, LineColorLine, LineColorChanged);
    TakeLine(Out, FillColorLine, FillColorChanged);
    TakeLine(Out, LineWidthLine, LineWidthChanged);
    TakeLine(Out, LineDashLine, LineDashChanged);
}

void TPDFPainter::Emit(const std::string& Text) {
    if (!Text.empty()) FSourceStream += Text;
    Changed();
}

// ---- Paths ----------------------------------------------------------------------

void TPDFPainter::StartPath(double StartX, double StartY) {
    Path.Clear();
    RipePath = true;
    LastX = StartX;
    LastY = StartY;
    Path.Add(NumberText(StartX) + NumberText(StartY) + "m");
}

void TPDFPainter::MovePath(double StartX, double StartY) {
    RipePath = true;
    LastX = StartX;
    LastY = StartY;
    Path.Add(NumberText(StartX) + NumberText(StartY) + "m");
}

void TPDFPainter::AddLineToPath(double EndX, double EndY) {
    Path.Add(NumberText(EndX) + NumberText(EndY) + "l");
    LastX = EndX;
    LastY = EndY;
}

void TPDFPainter::AddCurveToPath(double CtAX, double CtAY, double CtBX, double CtBY, double EndX,
                                 double EndY) {
    Path.Add(NumberText(CtAX) + NumberText(CtAY) + NumberText(CtBX) + NumberText(CtBY) +
             NumberText(EndX) + NumberText(EndY) + "c");
    LastX = EndX;
    LastY = EndY;
}

void TPDFPainter::AddBoxToPath(double Left, double Top, double Width, double Height) {
    Path.Add(NumberText(Left) + NumberText(Top) + NumberText(Width) + NumberText(Height) + "re");
    LastX = Left;
    LastY = Top;
}

void TPDFPainter::ClosePath() {
    if (RipePath) Path.Add("h");
}

void TPDFPainter::AbortPath() {
    if (RipePath) Path.Add("n");
}

// One cubic of a circular arc about (CX, CY) from offset (X1, Y1) to offset
// (X4, Y4), with every y scaled by YScale about the centre. Arcs of no
// extent have no curve (the formula would divide by zero).
void TPDFPainter::ArcSegment(double CX, double CY, double X1, double Y1, double X4, double Y4,
                             double YScale) {
    const double cross = X1 * Y4 - Y1 * X4;
    if (!std::isfinite(cross) || std::fabs(cross) < 1e-12) return;
    const double q1 = X1 * X1 + Y1 * Y1;
    const double q2 = q1 + X1 * X4 + Y1 * Y4;
    const double root = std::sqrt(std::max(0.0, 2 * q1 * q2));
    const double k2 = 4.0 / 3.0 * (root - q2) / cross;
    const double ax = CX + X1 - k2 * Y1, ay = Y1 + k2 * X1;
    const double bx = CX + X4 + k2 * Y4, by = Y4 - k2 * X4;
    AddCurveToPath(ax, CY + ay * YScale, bx, CY + by * YScale, CX + X4, CY + Y4 * YScale);
}

void TPDFPainter::AddArcToPath(double CenterX, double CenterY, double TotalAngle) {
    const double dx = LastX - CenterX, dy = LastY - CenterY;
    const double r = std::hypot(dx, dy);
    if (!(r > 0) || !std::isfinite(r) || !std::isfinite(TotalAngle)) return;
    double b = std::asin(std::clamp(dx / r, -1.0, 1.0)) / kDegToRad;
    if (dy < 0) b = 180 - b;
    double remaining = TotalAngle;
    // A sweep of many turns still ends: each step covers 90 degrees, and the
    // count of steps is bounded by what a caller can mean (four full turns
    // would already retrace the circle).
    int steps = 0;
    while (std::fabs(remaining) >= kSweepEpsilon && steps < 1000) {
        const double seg = std::clamp(remaining, -90.0, 90.0);
        const double a1 = b * kDegToRad, a4 = (b + seg) * kDegToRad;
        ArcSegment(CenterX, CenterY, r * std::sin(a1), r * std::cos(a1), r * std::sin(a4),
                   r * std::cos(a4), 1);
        remaining -= seg;
        b += seg;
        ++steps;
    }
}

void TPDFPainter::WritePath(std::string& Out) {
    for (int32_t i = 0; i < Path.Count(); ++i) {
        Out += Path.Get(i);
        Out.push_back('\n');
    }
    Path.Clear();
}

void TPDFPainter::PaintPath(bool Fill, bool Outline, bool EvenOdd) {
    if (RipePath) {
        std::string out;
        TakeGraphicsLines(out);
        WritePath(out);
        out += PaintOperator(Fill, Outline, EvenOdd);
        out.push_back('\n');
        Emit(out);
        RipePath = false;
    }
    FontColorChanged = true;
}

void TPDFPainter::DrawPath(bool Fill, bool Outline) { PaintPath(Fill, Outline, false); }

void TPDFPainter::DrawPathEvenOdd(bool Fill, bool Outline) { PaintPath(Fill, Outline, true); }

void TPDFPainter::SetClippingPath() {
    if (!RipePath) return;
    std::string out;
    WritePath(out);
    out += "W n\n";
    Emit(out);
    RipePath = false;
}

void TPDFPainter::SetClippingPathEvenOdd() {
    if (!RipePath) return;
    std::string out;
    WritePath(out);
    out += "W* n\n";
    Emit(out);
    RipePath = false;
}

// ---- Shapes ---------------------------------------------------------------------

void TPDFPainter::DrawLine(double StartX, double StartY, double EndX, double EndY) {
    std::string out;
    TakeLine(out, LineColorLine, LineColorChanged);
    TakeLine(out, LineWidthLine, LineWidthChanged);
    TakeLine(out, LineDashLine, LineDashChanged);
    out += NumberText(StartX) + NumberText(StartY) + "m " + NumberText(EndX) + NumberText(EndY) +
           "l S\n";
    Emit(out);
}

void TPDFPainter::Rectangle(double Left, double Top, double Width, double Height, bool Fill,
                            bool Outline) {
    std::string out;
    TakeGraphicsLines(out);
    out += NumberText(Left) + NumberText(Top - Height) + NumberText(Width) + NumberText(Height) +
           "re\n";
    out += PaintOperator(Fill, Outline, false);
    out.push_back('\n');
    Emit(out);
    FontColorChanged = true;
}

void TPDFPainter::RotatedRectangle(double Left, double Bottom, double Width, double Height,
                                   double Angle, bool Fill, bool Outline) {
    const double s = std::sin(Angle * kDegToRad), c = std::cos(Angle * kDegToRad);
    std::string out;
    TakeGraphicsLines(out);
    const double x2 = Left - s * Height, y2 = Bottom + c * Height;
    out += NumberText(Left) + NumberText(Bottom) + "m\n";
    out += NumberText(x2) + NumberText(y2) + "l\n";
    out += NumberText(x2 + c * Width) + NumberText(y2 + s * Width) + "l\n";
    out += NumberText(Left + c * Width) + NumberText(Bottom + s * Width) + "l\n";
    out += "h\n";
    out += PaintOperator(Fill, Outline, false);
    out.push_back('\n');
    Emit(out);
    FontColorChanged = true;
}

namespace {

struct TPt {
    double X, Y;
};

// The nine points of a rounded rectangle with corners (L, B) and (R, T):
// one move, then four curves and four lines in the order written.
struct TRoundedPath {
    // Each item is one line: 1 point (m or l) or 3 points (c).
    std::vector<std::vector<TPt>> Items;
};

TRoundedPath RoundedPoints(double L, double B, double R, double T, double rx, double ry) {
    const double kx = kQuarter * rx, ky = kQuarter * ry;
    TRoundedPath p;
    p.Items = {
        {{L, B + ry}},
        {{L, B + ry - ky}, {L + rx - kx, B}, {L + rx, B}},
        {{R - rx, B}},
        {{R - rx + kx, B}, {R, B + ry - ky}, {R, B + ry}},
        {{R, T - ry}},
        {{R, T - ry + ky}, {R - rx + kx, T}, {R - rx, T}},
        {{L + rx, T}},
        {{L + rx - kx, T}, {L, T - ry + ky}, {L, T - ry}},
        {{L, B + ry}},
    };
    return p;
}

}  // namespace

void TPDFPainter::TakeRoundedLines(std::string& Out) {
    // Colours and width are written whether or not they changed; their
    // flags stay as they are.
    bool always = true;
    TakeLine(Out, LineColorLine, always);
    always = true;
    TakeLine(Out, FillColorLine, always);
    always = true;
    TakeLine(Out, LineWidthLine, always);
    TakeLine(Out, LineDashLine, LineDashChanged);
}

void TPDFPainter::RoundedPath(double Left, double Bottom, double Width, double Height, double rx,
                              double ry, double Angle, bool Fill, bool Outline) {
    const double s = std::sin(Angle * kDegToRad), c = std::cos(Angle * kDegToRad);
    std::string out;
    TakeRoundedLines(out);
    const TRoundedPath p = RoundedPoints(0, 0, Width, Height, rx, ry);
    for (size_t i = 0; i < p.Items.size(); ++i) {
        for (const TPt& pt : p.Items[i])
            out += NumberText(Left + pt.X * c - pt.Y * s) + NumberText(Bottom + pt.X * s + pt.Y * c);
        out += i == 0 ? "m\n" : (p.Items[i].size() == 3 ? "c\n" : "l\n");
    }
    out += PaintOperator(Fill, Outline, false);
    out.push_back('\n');
    Emit(out);
    FontColorChanged = true;
}

void TPDFPainter::RoundedRect(double Left, double Top, double Width, double Height,
                              double Radius1, double Radius2, bool Fill, bool Outline) {
    RoundedPath(Left, Top - Height, Width, Height, std::min(Radius1, Width / 2),
                std::min(Radius2, Height / 2), 0, Fill, Outline);
}

void TPDFPainter::RoundedRectangle(double Left, double Top, double Width, double Height,
                                   double Radius, bool Fill, bool Outline) {
    // The radius is not limited here, unlike RoundedRect.
    RoundedPath(Left, Top - Height, Width, Height, Radius, Radius, 0, Fill, Outline);
}

void TPDFPainter::RoundedRotatedRectangle(double Left, double Bottom, double Width,
                                          double Height, double Radius, double Angle, bool Fill,
                                          bool Outline) {
    RoundedPath(Left, Bottom, Width, Height, Radius, Radius, Angle, Fill, Outline);
    LineColorChanged = FillColorChanged = LineWidthChanged = false;
}

namespace {

std::string EllipseText(const TPDFPainter& P, double X, double Y, double rx, double ry) {
    const double ax = kQuarter * rx, ay = kQuarter * ry;
    auto n = [&P](double v) { return P.NumberText(v); };
    std::string out;
    out += n(X - rx) + n(Y) + "m\n";
    out += n(X - rx) + n(Y - ay) + n(X - ax) + n(Y - ry) + n(X) + n(Y - ry) + "c\n";
    out += n(X + ax) + n(Y - ry) + n(X + rx) + n(Y - ay) + n(X + rx) + n(Y) + "c\n";
    out += n(X + rx) + n(Y + ay) + n(X + ax) + n(Y + ry) + n(X) + n(Y + ry) + "c\n";
    out += n(X - ax) + n(Y + ry) + n(X - rx) + n(Y + ay) + n(X - rx) + n(Y) + "c\n";
    return out;
}

}  // namespace

void TPDFPainter::Circle(double XPos, double YPos, double Radius, bool Fill, bool Outline) {
    std::string out;
    if (Outline) {
        TakeLine(out, LineColorLine, LineColorChanged);
    }
    if (Fill) TakeLine(out, FillColorLine, FillColorChanged);
    if (Outline) {
        TakeLine(out, LineWidthLine, LineWidthChanged);
        TakeLine(out, LineDashLine, LineDashChanged);
    }
    out += EllipseText(*this, XPos, YPos, Radius, Radius);
    out += PaintOperator(Fill, Outline, false);
    out.push_back('\n');
    Emit(out);
    if (Fill) FontColorChanged = true;
}

void TPDFPainter::Ellipse(double XPos, double YPos, double Width, double Height, bool Fill,
                          bool Outline) {
    std::string out;
    TakeGraphicsLines(out);
    out += EllipseText(*this, XPos, YPos, Width / 2, Height / 2);
    out += PaintOperator(Fill, Outline, false);
    out.push_back('\n');
    Emit(out);
    FontColorChanged = true;
}

void TPDFPainter::SweepArc(double CX, double CY, const TArcOffset& Offset, double Start,
                           double Sweep, double YScale, bool Pie, bool Fill, bool Outline,
                           bool Close) {
    double x, y;
    Offset(Start, x, y);
    if (Pie) {
        StartPath(CX, CY);
        AddLineToPath(CX + x, CY + y * YScale);
    } else {
        StartPath(CX + x, CY + y * YScale);
    }
    if (!std::isfinite(Sweep)) Sweep = 0;
    double a = Start;
    int steps = 0;
    do {
        const double seg = std::min(90.0, Sweep);
        double x1, y1, x4, y4;
        Offset(a, x1, y1);
        Offset(a + seg, x4, y4);
        ArcSegment(CX, CY, x1, y1, x4, y4, YScale);
        Sweep -= seg;
        a += seg;
    } while (Sweep > kSweepEpsilon && ++steps < 1000);
    if (Pie || Close) ClosePath();
    DrawPath(Fill, Outline);
    FontColorChanged = true;
}

void TPDFPainter::Arc(double XPos, double YPos, double Radius, double StartAngle,
                      double EndAngle, bool Pie, bool Fill, bool Outline, bool Close) {
    // Angles run clockwise from the positive y axis.
    auto offset = [Radius](double a, double& x, double& y) {
        x = Radius * std::cos((90 - a) * kDegToRad);
        y = Radius * std::sin((90 - a) * kDegToRad);
    };
    const double sweep =
        StartAngle > EndAngle ? EndAngle + (360 - StartAngle) : EndAngle - StartAngle;
    SweepArc(XPos, YPos, offset, StartAngle, sweep, 1, Pie, Fill, Outline, Close);
}

void TPDFPainter::EllipticArc(double XPos, double YPos, double Width, double Height,
                              double StartAngle, double EndAngle, bool Pie, bool Fill,
                              bool Outline, bool Close) {
    // The circle of radius Width / 2, every y scaled by Height / Width;
    // angles run counter-clockwise from the positive x axis.
    const double r = Width / 2;
    auto offset = [r](double a, double& x, double& y) {
        x = r * std::cos(a * kDegToRad);
        y = r * std::sin(a * kDegToRad);
    };
    if (StartAngle >= EndAngle) EndAngle += 360;
    SweepArc(XPos, YPos, offset, StartAngle, std::fabs(EndAngle - StartAngle),
             Width != 0 ? Height / Width : 0, Pie, Fill, Outline, Close);
}

// ---- Colours and line styles ------------------------------------------------------

void TPDFPainter::SetFillColor(double Red, double Green, double Blue) {
    FillColorLine = NumberText(Unit(Red)) + NumberText(Unit(Green)) + NumberText(Unit(Blue)) + "rg";
    FillColorChanged = FontColorChanged = true;
}

void TPDFPainter::SetFillColor(double C, double M, double Y, double K) {
    FillColorLine =
        NumberText(Unit(C)) + NumberText(Unit(M)) + NumberText(Unit(Y)) + NumberText(Unit(K)) + "k";
    FillColorChanged = FontColorChanged = true;
}

void TPDFPainter::SetFillColor(std::string_view AFillColor) {
    FillColorLine.assign(AFillColor);
    FillColorChanged = FontColorChanged = true;
}

void TPDFPainter::SetFillColor(std::string_view CS, double Tint) {
    FillColorLine = "/" + std::string(CS) + " cs " + NumberText(Tint) + "scn";
    FillColorChanged = FontColorChanged = true;
}

void TPDFPainter::SetLineColor(double Red, double Green, double Blue) {
    LineColorLine = NumberText(Unit(Red)) + NumberText(Unit(Green)) + NumberText(Unit(Blue)) + "RG";
    LineColorChanged = true;
}

void TPDFPainter::SetLineColor(double C, double M, double Y, double K) {
    LineColorLine =
        NumberText(Unit(C)) + NumberText(Unit(M)) + NumberText(Unit(Y)) + NumberText(Unit(K)) + "K";
    LineColorChanged = true;
}

void TPDFPainter::SetLineColor(std::string_view ALineColor) {
    LineColorLine.assign(ALineColor);
    LineColorChanged = true;
}

void TPDFPainter::SetLineColor(std::string_view CS, double Tint) {
    LineColorLine = "/" + std::string(CS) + " CS " + NumberText(Tint) + "SCN";
    LineColorChanged = true;
}

void TPDFPainter::SetFillShader(std::string_view CS) {
    FillColorLine = "/Pattern cs /" + std::string(CS) + " scn";
    FillColorChanged = FontColorChanged = true;
}

void TPDFPainter::SetLineShader(std::string_view CS) {
    LineColorLine = "/Pattern CS /" + std::string(CS) + " SCN";
    LineColorChanged = true;
}

void TPDFPainter::SetTextShader(std::string_view CS) {
    FontColorLine = "/Pattern cs /" + std::string(CS) + " scn";
    UnderlineColorLine = FontColorLine;
    FontColorChanged = FillColorChanged = true;
}

void TPDFPainter::SetFillPattern(std::string_view CS) {
    FillColorLine = "/Pattern cs /" + std::string(CS) + " scn";
    FillColorChanged = true;
}

void TPDFPainter::BuildWidthLine() {
    LineWidthLine = NumberText(MiterLimit) + "M " + NumberText(LineWidth) + "w " +
                    IntToStrA(LineCap) + " J " + IntToStrA(LineJoin) + " j";
    LineWidthChanged = true;
}

void TPDFPainter::SetLineWidth(double Width) {
    LineWidth = std::fabs(Width);
    BuildWidthLine();
}

void TPDFPainter::SetLineCap(int32_t ALineCap) {
    LineCap = ALineCap;
    BuildWidthLine();
}

void TPDFPainter::SetLineJoin(int32_t ALineJoin) {
    LineJoin = ALineJoin;
    BuildWidthLine();
}

void TPDFPainter::SetMiterLimit(double NewMiterLimit) {
    MiterLimit = NewMiterLimit;
    BuildWidthLine();
}

void TPDFPainter::SetLineDash(double DashOn, double DashOff) {
    // Not-a-number lengths count as too short: the line is solid.
    if (!(DashOn >= 0.1) || !(DashOff >= 0.1))
        LineDashLine = "[] 0 d";
    else
        LineDashLine = "[ " + NumberText(DashOn) + NumberText(DashOff) + "] 0 d";
    if (!UnderlineCustomDash.empty()) LineDashLine = UnderlineCustomDash;
    LineDashChanged = true;
}

void TPDFPainter::SetLineDash(std::string_view ALineDash) {
    LineDashLine.assign(ALineDash);
    LineDashChanged = true;
}

bool TPDFPainter::SetLineDashEx(std::string_view DashValues) {
    if (DashValues.empty()) {
        LineDashLine = "[] 0 d";
        LineDashChanged = true;
        return true;
    }
    const std::string text = "[ " + std::string(DashValues) + " ]";
    TPDFStructure temp;
    int64_t used = 0;
    TPDFObject* obj = temp.DecodeWithLength(text, used, 1);
    auto* arr = ObjAs<TPDFArray>(obj);
    // The whole text must be the one array: a value that closes the bracket
    // early would otherwise carry operators of its own into the content.
    bool whole = used > 0;
    for (size_t i = size_t(std::max<int64_t>(used, 0)); whole && i < text.size(); ++i)
        if (!std::isspace(static_cast<unsigned char>(text[i]))) whole = false;
    if (!arr || !whole || !arr->AllItemsNumeric()) return false;
    LineDashLine = "[ " + std::string(DashValues) + "] 0 d";
    LineDashChanged = true;
    return true;
}

void TPDFPainter::SetCustomLineDash(std::string_view DashArray) {
    LineDashLine = std::string(DashArray) + " d";
    LineDashChanged = true;
}

int32_t TPDFPainter::LineWidthThou() const {
    const double v = std::nearbyint(LineWidth * 1000);
    if (!std::isfinite(v) || v > 2147483647.0 || v < -2147483648.0) return 0;
    return static_cast<int32_t>(v);
}

void TPDFPainter::HideLineProperties() {
    FillColorChanged = LineColorChanged = LineWidthChanged = LineDashChanged = false;
}

// ---- Images and forms ----------------------------------------------------------------

std::string TPDFPainter::ImagePrologue(TPDFImage* Image) const {
    std::string out = "q\n";
    if (Image && FillColorChanged && !FillColorLine.empty() &&
        Image->GetMaskType() == TPDFImage::mtStencilMask) {
        out += FillColorLine;
        out.push_back('\n');
    }
    return out;
}

namespace {
std::string NameDo(std::string_view Name) {
    std::string s = "/";
    s += Name;
    s += " Do\n";
    return s;
}
}  // namespace

void TPDFPainter::DrawImage(TPDFImage* Image, double Left, double Top, double Width,
                            double Height) {
    if (!Image) return;
    // The whole group is composed before anything is appended, so that the
    // content never holds a "q" without its "Q".
    std::string out = ImagePrologue(Image);
    if (Image->FImageType == itEMF) {
        const double m = std::min(Width, Height);
        out += NumberText(m) + NumberText(0) + NumberText(0) + NumberText(m) + NumberText(Left) +
               NumberText(Top - Height) + "cm\n";
    } else {
        out += NumberText(Width) + NumberText(0) + NumberText(0) + NumberText(Height) +
               NumberText(Left) + NumberText(Top - Height) + "cm\n";
    }
    out += NameDo(Image->FName);
    out += "Q\n";
    Emit(out);
}

void TPDFPainter::DrawImageMatrix(TPDFImage* Image, double eM11, double eM12, double eM21,
                                  double eM22, double eDx, double eDy) {
    if (!Image) return;
    std::string out = ImagePrologue(Image);
    out += NumberText(eM11) + NumberText(eM12) + NumberText(eM21) + NumberText(eM22) +
           NumberText(eDx) + NumberText(eDy) + "cm\n";
    out += NameDo(Image->FName);
    out += "Q\n";
    Emit(out);
}

void TPDFPainter::DrawRotatedImage(TPDFImage* Image, double Left, double Bottom, double Width,
                                   double Height, double Angle) {
    if (!Image) return;
    std::string out = ImagePrologue(Image);
    out += RotationText(Angle, Left, Bottom) + "cm\n";
    if (Image->FImageType == itEMF) {
        const double m = std::min(Width, Height);
        out += NumberText(m) + NumberText(0) + NumberText(0) + NumberText(m) + NumberText(0) +
               NumberText(0) + "cm\n";
    } else {
        out += NumberText(Width) + NumberText(0) + NumberText(0) + NumberText(Height) +
               NumberText(0) + NumberText(0) + "cm\n";
    }
    out += NameDo(Image->FName);
    out += "Q\n";
    Emit(out);
}

void TPDFPainter::DrawShearedImage(TPDFImage* Image, double Left, double Top, double Width,
                                   double Height, double ShearX, double ShearY) {
    if (!Image) return;
    std::string out = "q\n";
    out += NumberText(1) + NumberText(-ShearX) + NumberText(-ShearY) + NumberText(1) +
           NumberText(Left) + NumberText(Top - Height) + "cm\n";
    out += NumberText(Width) + NumberText(0) + NumberText(0) + NumberText(Height) + NumberText(0) +
           NumberText(0) + "cm\n";
    out += NameDo(Image->FName);
    out += "Q\n";
    Emit(out);
}

void TPDFPainter::DrawXObject(TPDFCapturedPage* CP, double Left, double Top, double Width,
                              double Height) {
    if (!CP) return;
    const double a = Width / CP->OriginalWidth, c = Height / CP->OriginalHeight;
    std::string out = "q\n";
    out += NumberText(10 * a) + NumberText(0) + NumberText(0) + NumberText(10 * c) +
           NumberText(Left - a * CP->XOffset) + NumberText(Top - Height - c * CP->YOffset) +
           "cm\n";
    out += NumberText(0.1) + NumberText(0) + NumberText(0) + NumberText(0.1) + NumberText(0) +
           NumberText(0) + "cm\n";
    out += NameDo(CP->XObjectName);
    out += "Q\n";
    Emit(out);
}

void TPDFPainter::DrawXObjectAngle(std::string_view XObjectRef, double Left, double Bottom,
                                   double Width, double Height, double OriginalWidth,
                                   double OriginalHeight, double Angle) {
    std::string out = "q\n";
    out += RotationText(Angle, Left, Bottom) + "cm\n";
    out += NumberText(Width * 10 / OriginalWidth) + NumberText(0) + NumberText(0) +
           NumberText(Height * 10 / OriginalHeight) + NumberText(0) + NumberText(0) + "cm\n";
    out += NumberText(0.1) + NumberText(0) + NumberText(0) + NumberText(0.1) + NumberText(0) +
           NumberText(0) + "cm\n";
    out += NameDo(XObjectRef);
    out += "Q\n";
    Emit(out);
}

void TPDFPainter::DrawXObjectMatrix(std::string_view XObjectRef, double eM11, double eM12,
                                    double eM21, double eM22, double eDx, double eDy,
                                    double OriginalWidth, double OriginalHeight) {
    std::string out = "q\n";
    out += NumberText(eM11) + NumberText(eM12) + NumberText(eM21) + NumberText(eM22) +
           NumberText(eDx) + NumberText(eDy) + "cm\n";
    out += NumberText(1 / OriginalWidth) + NumberText(0) + NumberText(0) +
           NumberText(1 / OriginalHeight) + NumberText(0) + NumberText(0) + "cm\n";
    out += NameDo(XObjectRef);
    out += "Q\n";
    Emit(out);
}

void TPDFPainter::DrawPSXObject(std::string_view PSName) {
    Emit(NameDo(PSName));
}

}  // namespace velmo
