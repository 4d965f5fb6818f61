// The EPS writer of rdEPS: a drawing surface that turns every operation into
// one line of PostScript, kept in a buffer until the page is done and then
// saved as an Encapsulated PostScript file. It receives user-space
// coordinates and complete PostScript colour operations; images arrive as
// bitmaps and are written as ASCII85 Flate data once per document.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/GenericCanvas.h"
#include "core/XForm.h"
#include "platform/files/Stream.h"

namespace velmo {

class TBitmap;

enum TPDFEPSFillMode : uint8_t { epsFillModeNonZeroWinding, epsFillModeEvenOdd };
enum TPDFEPSLineCap : uint8_t { epsLineCapButt, epsLineCapRound, epsLineCapSquare };
enum TPDFEPSLineJoin : uint8_t { epsLineJoinMiter, epsLineJoinRound, epsLineJoinBevel };

class TPDFEPSExport : public TPDFGenericCanvas {
public:
    TPDFEPSExport() = default;
    ~TPDFEPSExport() override = default;

    // ---- Document ----
    // Empties the buffer and the image names and writes the header with the
    // rounded box. The colour starts as PostScript's own initial colour.
    virtual void StartDocument(double Left, double Bottom, double Right, double Top);
    // The custom-colour comments and the end-of-file line.
    virtual void FinishDocument();
    // Every line followed by CR LF.
    virtual void SaveToStream(TStream& Target) const;
    void SaveToFile(const std::string& FileName) const;

    // ---- Generic canvas (paths of glyph outlines and other drawers) ----
    void BeginPath() override;
    void MoveTo(double NewX, double NewY) override;
    void AddLineToPath(double EndX, double EndY) override;
    void AddBezierToPath(double CtAX, double CtAY, double CtBX, double CtBY, double EndX,
                         double EndY) override;
    void AddQBezierToPath(double QX, double QY, double EndX, double EndY) override;
    void ClosePath() override;
    void StrokePath() override;
    void FillPath() override;
    void StrokeAndFillPath() override;
    // Images go through PSImageFromBitmap.
    void DrawBitmap(TBitmap*, double&, double&, double&, double&, double&, double&) override {}

    // ---- PostScript operations ----
    virtual void PSNewPath();
    virtual void PSMoveTo(double X, double Y);
    virtual void PSLineTo(double X, double Y);
    virtual void PSCurveTo(double X1, double Y1, double X2, double Y2, double X3, double Y3);
    virtual void PSCurveToV(double X2, double Y2, double X3, double Y3);
    virtual void PSCurveToY(double X1, double Y1, double X3, double Y3);
    virtual void PSClosePath();
    virtual void PSStroke();
    virtual void PSFill(bool EvenOdd);
    virtual void PSClip(bool EvenOdd);
    virtual void PSSaveGraphicsState();
    virtual void PSRestoreGraphicsState();
    virtual void PSConcat(const TPDFXForm& M);
    // ColorText is a whole colour operation; it is written only when it
    // differs from the last one written.
    virtual void PSSetColor(const std::string& ColorText);
    virtual void PSSetLineWidth(double Width);
    virtual void PSSetLineCap(int32_t Cap);
    virtual void PSSetLineJoin(int32_t Join);
    virtual void PSSetMiterLimit(double Limit);

    // Paints BM in the unit square of the current transformation. Mask, when
    // given, is dithered at twice its size into a 1-bit mask (white shows the
    // image). IsMask: BM is a stencil, painted in the current colour where it
    // is light, the rest left untouched. CMYK: a 32-bit BM holds C, M, Y,
    // K bytes (as the image decoder marks it); other 32-bit bitmaps are B, G,
    // R, A and are written as RGB. A Reusable name (an image object's
    // reference) has its data and dictionaries written once per document and
    // is only reset and painted again later; inline images are written at
    // every draw.
    virtual void PSImageFromBitmap(const TBitmap& BM, const TBitmap* Mask,
                                   const std::string& ResName, bool IsMask, bool CMYK = false,
                                   bool Reusable = true);

    // Paints an image this document holds already; false when it has none
    // of that name.
    bool PSRepaintImage(const std::string& ResName);

    // ---- Read access ----
    const std::vector<std::string>& Lines() const { return FBuffer; }
    // The whole document as SaveToStream writes it.
    std::string Text() const;
    const std::string& LastColor() const { return FLastColor; }
    bool HasImage(const std::string& ResName) const { return FImages.count(ResName) != 0; }
    bool IsStencilImage(const std::string& ResName) const {
        auto It = FImages.find(ResName);
        return It != FImages.end() && It->second.Stencil;
    }

    // PostScript numbers: at most four decimals, no exponent, one space after.
    static std::string FormatPSNumber(double V);
    static std::string FormatPSInteger(int64_t N);

protected:
    // Appends one line, dropping a single trailing space.
    void EmitLine(std::string Text);

private:
    struct TImageEntry {
        bool Masked = false;
        bool Stencil = false;  // painted with imagemask in the current colour
        std::string Space;  // the colour-space line the image is painted in
    };
    // Writes the data and dictionaries; the colour-space line.
    std::string WriteImageData(const TBitmap& BM, const TBitmap* Mask, const std::string& ResName,
                               bool IsMask, bool CMYK);
    void PaintImage(const std::string& ResName, const TImageEntry& Entry);
    void EmitData(const std::string& Bytes);

    std::vector<std::string> FBuffer;
    // Images written in this document by name.
    std::unordered_map<std::string, TImageEntry> FImages;
    std::vector<std::string> FCustomColors;
    std::vector<std::string> FColorStack;
    std::string FLastColor = "0 setgray";
    double FX = 0, FY = 0;
};

}  // namespace velmo
