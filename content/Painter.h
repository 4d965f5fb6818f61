// The content writer: turns drawing calls into PDF content-stream operators
// for one content stream at a time. State that content needs (colours, line
// style, text state) is held as ready-made lines with a flag each and written
// only when an operation needs it and it changed since it was last written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Objects.h"
#include "core/StringList.h"
#include "document/PageServices.h"

namespace velmo {

class TPDFFont;
class TPDFImage;

enum TPDFAlignment : uint8_t {
    paLeft,
    paCenter,
    paRight,
    paJustified,
    paForceJustified,
    paLastJustified
};
enum TPDFUnderlineStyle : uint8_t { usNone, usSingle, usDouble, usStrikeout, usOver };
enum TPDFHighlightStyle : uint8_t { hsNone, hsSquare, hsRounded };

// Fonts and layout of HTML-formatted text.
struct THTMLSettings {
    TPDFFont* NormalFont = nullptr;
    TPDFFont* BoldFont = nullptr;
    TPDFFont* ItalicFont = nullptr;
    TPDFFont* BoldItalicFont = nullptr;
    double Top = 0;
    double Left = 0;
    double Width = 0;
    double TextSpacing = 0;
    std::vector<std::string> EquivalentTags;
};

// A page captured as a form XObject, placed by DrawXObject.
class TPDFCapturedPage : public TObject {
public:
    TPDFIndRef* XObject = nullptr;
    std::string XObjectName;
    double OriginalWidth = 0;
    double OriginalHeight = 0;
    double XOffset = 0;
    double YOffset = 0;

    // Makes the form a transparency group of colour space CS.
    void SetTransparencyGroup(std::string_view CS, bool IsolateFlag, bool KnockoutFlag);
};

// The page tree holds its painter through TPDFPainterBase, whose content
// buffer, change event, precision and parent this class uses as its own.
class TPDFPainter : public TPDFPainterBase {
public:
    explicit TPDFPainter(TObject* Parent);
    ~TPDFPainter() override = default;
    TPDFPainter(const TPDFPainter&) = delete;
    TPDFPainter& operator=(const TPDFPainter&) = delete;

    // ---- Fields ----
    std::string& FSourceStream = FContent;  // the content written so far
    TPDFFont* FSelFont = nullptr;
    double FTextSize = 0;
    TPDFAlignment FTextAlign = paLeft;
    int32_t FMetaTextAlign = 0;
    int32_t FFillMode = 1;
    int32_t FTextAngle = 0;
    double FTextSpacing = 0;
    TPDFUnderlineStyle FTextUnderline = usNone;
    TPDFHighlightStyle FTextHighlight = hsNone;
    double FTextWordSpacing = 0;
    double FTextCharSpacing = 0;
    double FTextScaling = 100;
    double FTextRise = 0;
    THTMLSettings FHTMLSettings;
    double FLastX = 0;
    double FLastY = 0;
    bool FUseKerning = false;
    bool FUpdating = false;
    double LastX = 0;
    double LastY = 0;
    TVelmoPDFStringList Path;
    bool RipePath = false;
    int32_t LineCap = 0;
    int32_t LineJoin = 0;
    double LineWidth = 1;
    double MiterLimit = 10;
    std::string FontLine;
    std::string FontColorLine;
    std::string FillColorLine;
    std::string LineColorLine;
    std::string LineWidthLine;
    std::string LineDashLine;
    std::string FontScalingLine;
    std::string FontRiseLine;
    std::string FontSpacingLine;
    std::string HighlightColorLine;
    std::string UnderlineColorLine;
    std::string UnderlineCustomDash;
    double UnderlineDashOn = 0;
    double UnderlineDashOff = 0;
    double FUnderlineWidth = 0;
    double FUnderlineDistance = 0;
    int32_t TextMode = 0;
    bool TextModeChanged = true, FontChanged = true, FontColorChanged = true,
         FillColorChanged = true, LineColorChanged = true, LineWidthChanged = true,
         LineDashChanged = true, FontScalingChanged = true, FontRiseChanged = true,
         FontSpacingChanged = true, TextAlignChanged = true;
    std::string HexColorLine;

    // ---- Properties ----
    std::string Source() { return GetSource(); }
    void SetOnChange(TNotifyEvent Value) { OnChange = std::move(Value); }
    TObject* Parent() const { return FParent; }
    TPDFFont* SelFont() const { return FSelFont; }
    const std::string& FillColor() const { return FillColorLine; }
    const std::string& LineColor() const { return LineColorLine; }
    const std::string& TextColor() const { return FontColorLine; }
    const std::string& TheLineWidthLine() const { return LineWidthLine; }
    const std::string& LineDash() const { return LineDashLine; }
    const std::string& HighlightColor() const { return HighlightColorLine; }
    const std::string& UnderlineColor() const { return UnderlineColorLine; }
    const std::string& TextUnderlineCustomDash() const { return UnderlineCustomDash; }
    TPDFAlignment TextAlign() const { return FTextAlign; }
    void SetTextAlign(TPDFAlignment Value) { FTextAlign = Value; }
    int32_t MetaTextAlign() const { return FMetaTextAlign; }
    void SetMetaTextAlign(int32_t Value) { FMetaTextAlign = Value; }
    int32_t FillMode() const { return FFillMode; }
    void SetFillMode(int32_t Value) { FFillMode = Value; }
    int32_t TextAngle() const { return FTextAngle; }
    void SetTextAngle(int32_t Value) { FTextAngle = Value; }
    double TextSize() const { return FTextSize; }
    void SetTextSize(double Value) { FTextSize = Value; }
    TPDFHighlightStyle TextHighlight() const { return FTextHighlight; }
    void SetTextHighlight(TPDFHighlightStyle Value) { FTextHighlight = Value; }
    TPDFUnderlineStyle TextUnderline() const { return FTextUnderline; }
    void SetTextUnderline(TPDFUnderlineStyle Value) { FTextUnderline = Value; }
    bool UseKerning() const { return FUseKerning; }
    void SetUseKerning(bool Value) { FUseKerning = Value; }
    void SetParent(TObject* Value) { FParent = Value; }
    double TextCharSpacing() const { return FTextCharSpacing; }
    double TextWordSpacing() const { return FTextWordSpacing; }
    double TextScaling() const { return FTextScaling; }
    double TextRise() const { return FTextRise; }
    double TextSpacing() const { return FTextSpacing; }
    double TextUnderlineDashOn() const { return UnderlineDashOn; }
    double TextUnderlineDashOff() const { return UnderlineDashOff; }
    double UnderlineWidth() const { return FUnderlineWidth; }
    double UnderlineDistance() const { return FUnderlineDistance; }

    // ---- Core ----
    // Appends S and then, when C is not 0, the byte C; nothing at all when S
    // is empty.
    void Add(std::string_view S, char C);
    void AddNumber(double Value);
    std::string NumberText(double Value) const;
    // The content with a line feed appended unless it already ends in one.
    std::string GetSource() const override;
    // Replaces the content; a non-empty S not ending in a space gets one.
    void SetSource(std::string_view S) override;
    void Clear() override;
    void Reset();
    void ChangeAll();
    void Changed();
    void BeginUpdate();
    void EndUpdate();
    void SaveState();
    void LoadState();
    void SetGS(std::string_view GSName);
    void Scale(double AScale);
    void Rotate(double XOffset, double YOffset, double Angle);

    // ---- Paths ----
    void StartPath(double StartX, double StartY);
    void MovePath(double StartX, double StartY);
    void AddLineToPath(double EndX, double EndY);
    void AddCurveToPath(double CtAX, double CtAY, double CtBX, double CtBY, double EndX,
                        double EndY);
    void AddArcToPath(double CenterX, double CenterY, double TotalAngle);
    void AddBoxToPath(double Left, double Top, double Width, double Height);
    void ClosePath();
    void AbortPath();
    void DrawPath(bool Fill, bool Outline);
    void DrawPathEvenOdd(bool Fill, bool Outline);
    void SetClippingPath();
    void SetClippingPathEvenOdd();

    // ---- Shapes ----
    void DrawLine(double StartX, double StartY, double EndX, double EndY);
    void Rectangle(double Left, double Top, double Width, double Height, bool Fill, bool Outline);
    void RotatedRectangle(double Left, double Bottom, double Width, double Height, double Angle,
                          bool Fill, bool Outline);
    void RoundedRectangle(double Left, double Top, double Width, double Height, double Radius,
                          bool Fill, bool Outline);
    void RoundedRect(double Left, double Top, double Width, double Height, double Radius1,
                     double Radius2, bool Fill, bool Outline);
    void RoundedRotatedRectangle(double Left, double Bottom, double Width, double Height,
                                 double Radius, double Angle, bool Fill, bool Outline);
    void Circle(double XPos, double YPos, double Radius, bool Fill, bool Outline);
    void Ellipse(double XPos, double YPos, double Width, double Height, bool Fill, bool Outline);
    void Arc(double XPos, double YPos, double Radius, double StartAngle, double EndAngle, bool Pie,
             bool Fill, bool Outline, bool Close);
    void EllipticArc(double XPos, double YPos, double Width, double Height, double StartAngle,
                     double EndAngle, bool Pie, bool Fill, bool Outline, bool Close);

    // ---- Colours and line styles ----
    void SetFillColor(double Red, double Green, double Blue);
    void SetFillColor(double C, double M, double Y, double K);
    void SetFillColor(std::string_view AFillColor);
    void SetFillColor(std::string_view CS, double Tint);
    void SetLineColor(double Red, double Green, double Blue);
    void SetLineColor(double C, double M, double Y, double K);
    void SetLineColor(std::string_view ALineColor);
    void SetLineColor(std::string_view CS, double Tint);
    void SetFillShader(std::string_view CS);
    void SetLineShader(std::string_view CS);
    void SetTextShader(std::string_view CS);
    void SetFillPattern(std::string_view CS);
    void SetLineWidth(double Width);
    void SetLineCap(int32_t ALineCap);
    void SetLineJoin(int32_t ALineJoin);
    void SetMiterLimit(double NewMiterLimit);
    void SetLineDash(double DashOn, double DashOff);
    void SetLineDash(std::string_view ALineDash);
    bool SetLineDashEx(std::string_view DashValues);
    void SetCustomLineDash(std::string_view DashArray);
    double GetLineWidth() const { return LineWidth; }
    int32_t LineWidthThou() const;
    void HideLineProperties();

    // ---- Images and forms ----
    void DrawImage(TPDFImage* Image, double Left, double Top, double Width, double Height);
    void DrawImageMatrix(TPDFImage* Image, double eM11, double eM12, double eM21, double eM22,
                         double eDx, double eDy);
    void DrawRotatedImage(TPDFImage* Image, double Left, double Bottom, double Width,
                          double Height, double Angle);
    void DrawShearedImage(TPDFImage* Image, double Left, double Top, double Width, double Height,
                          double ShearX, double ShearY);
    void DrawXObject(TPDFCapturedPage* CP, double Left, double Top, double Width, double Height);
    void DrawXObjectAngle(std::string_view XObjectRef, double Left, double Bottom, double Width,
                          double Height, double OriginalWidth, double OriginalHeight,
                          double Angle);
    void DrawXObjectMatrix(std::string_view XObjectRef, double eM11, double eM12, double eM21,
                           double eM22, double eDx, double eDy, double OriginalWidth,
                           double OriginalHeight);
    void DrawPSXObject(std::string_view PSName);

private:
    // Appends Line and a line feed to Out when Flag is set and Line is not
    // empty, then clears Flag.
    static void TakeLine(std::string& Out, const std::string& Line, bool& Flag);
    // The flagged graphics lines in the order line colour, fill colour, line
    // width, line dash; clears the four flags.
    void TakeGraphicsLines(std::string& Out);
    void BuildWidthLine();
    // Line colour, fill colour and width always, the dash when flagged.
    void TakeRoundedLines(std::string& Out);
    // The rounded rectangle with lower-left corner (Left, Bottom), corner
    // radii rx and ry, rotated by Angle degrees about that corner.
    void RoundedPath(double Left, double Bottom, double Width, double Height, double rx, double ry,
                     double Angle, bool Fill, bool Outline);
    void ArcSegment(double CX, double CY, double X1, double Y1, double X4, double Y4,
                    double YScale);
    // An arc from angle Start over Sweep degrees in segments of at most 90,
    // Offset giving the point of an angle relative to (CX, CY); painted.
    using TArcOffset = std::function<void(double Angle, double& X, double& Y)>;
    void SweepArc(double CX, double CY, const TArcOffset& Offset, double Start, double Sweep,
                  double YScale, bool Pie, bool Fill, bool Outline, bool Close);
    std::string RotationText(double Angle, double X, double Y) const;
    // "q" and, for a stencil mask, the pending fill colour line.
    std::string ImagePrologue(TPDFImage* Image) const;
    void WritePath(std::string& Out);
    void PaintPath(bool Fill, bool Outline, bool EvenOdd);
    // Writes Text in one piece, then Changed.
    void Emit(const std::string& Text);
};

// The paint operator for the four combinations of fill and outline.
std::string_view PaintOperator(bool Fill, bool Outline, bool EvenOdd);

}  // namespace velmo
