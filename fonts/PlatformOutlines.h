// Glyphs of installed fonts drawn from the platform's glyph outlines, and the
// installed-font data that LoadFromFont reads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "core/GDIPlusBinding.h"
#include "fonts/DirectFontCanvas.h"
#include "fonts/FontRasterizer.h"
#include "fonts/TrueTypeRasterizer.h"
#include "platform/fonts/PlatformFonts.h"

namespace velmo {

struct TDPoint {
    double X = 0;
    double Y = 0;
};
// A straight segment from the current point.
struct TFontLine {
    TDPoint EndPoint;
};
// A cubic Bézier segment from the current point.
struct TFontSpline {
    TDPoint ControlA, ControlB, EndPoint;
};
using TFontCurveItem = std::variant<TFontLine, TFontSpline>;

// One glyph outline: part k starts at StartPoints[k] and holds its segments
// in drawing order. Parts are not closed by a segment; consumers close them.
class TFontCurveCollection {
public:
    std::vector<TDPoint> StartPoints;
    std::vector<std::vector<TFontCurveItem>> Parts;

    void Clear();
    void NewPart(double StartX, double StartY);
    // Both append to the last part; without a part they add nothing.
    void AddLine(double EndX, double EndY);
    void AddCurve(double CtAX, double CtAY, double CtBX, double CtBY, double EndX, double EndY);
};

// Turns characters of an installed font into curve collections, in pixels
// of the font's em with y growing upwards and the origin at (0, 0).
class TTTFToVectorConverter {
public:
    // The font is "Arial" at 28 points; PixelsPerInch is the screen's.
    TTTFToVectorConverter();

    // The font's attributes; Size is in points here and becomes
    // round(Size × PixelsPerInch / 72) pixels per em.
    platform::TPlatformFont& Font() { return FFont; }
    void SetFont(const platform::TPlatformFont& Font) { FFont = Font; }
    int PixelsPerInch = 96;
    // A face to read outlines from instead of opening the font per call; the
    // caller keeps it alive and matches it to Font.
    platform::TOutlineFace* OutlineFace = nullptr;

    TFontCurveCollection& CurveCollection() { return FCurveCollection; }
    // The advance of the last character asked for, in pixels.
    int32_t CharWidth() const { return FCharWidth; }

    // Appends the outline of character CharCode (a UTF-16 unit) to the
    // collection, which it does not clear first. A character without an
    // outline, or a font that is not installed, adds nothing.
    void GetCharacterGlyphs(int32_t CharCode);
    void Clear() { FCurveCollection.Clear(); }

    // Appends the outline held in native glyph-outline records (the layout of
    // platform::GetGlyphOutlineW) to Curves: lines as they are, each
    // quadratic spline record as cubics whose controls are (2B + S) / 3 and
    // (2B + E) / 3 with ends at the midpoints of consecutive controls, and
    // cubic records as they are. Every read is bounded by Size; nothing is
    // added when the first contour is not a polygon.
    static void AddNativeOutline(const uint8_t* Data, size_t Size, TFontCurveCollection& Curves);

private:
    platform::TPlatformFont FFont;
    TFontCurveCollection FCurveCollection;
    int32_t FCharWidth = 0;
};

// Draws the glyphs of an installed font by character code: the number of a
// "CID:" or "GID:" name is the character. Outlines are read from one face
// per rasterizer, scaled so that the em is 1000 pixels (glyph space), and
// kept per character.
class TPDFSimpleTrueTypeRasterizer : public TPDFFontRasterizer {
public:
    // ScreenDPI below 1 counts as 96 for the size (750 points).
    explicit TPDFSimpleTrueTypeRasterizer(int ScreenDPI = platform::ScreenPixelsPerInch());
    ~TPDFSimpleTrueTypeRasterizer() override;

    // The installed font to draw with: the font collection sets its family,
    // style and character set; its size is the rasterizer's own.
    platform::TPlatformFont& Font() { return FFont; }

    // Draws the glyph with its origin at (RX, RY) of glyph space mapped by
    // Mat. True when the name gives a character code above 0. With a
    // direct font and a canvas that draws them, the character is drawn as
    // text; otherwise its outline is added to the canvas's path.
    bool RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas, const TPDFXForm& Mat,
                        const std::string& CharName, TPDFEncodingVector Enc) override;
    // The same for character code Glyph, without a name.
    bool RenderGlyphToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas,
                             const TPDFXForm& Mat, uint32_t Glyph, TPDFEncodingVector Enc) override;
    // Names and glyphs resolve to their character codes.
    int32_t ResolveGlyph(const std::string& CharName) override;
    int32_t ResolveGlyphId(uint32_t Glyph) override;
    void RenderResolvedGlyph(double RX, double RY, TPDFGenericCanvas* Canvas, const TPDFXForm& Mat,
                             int32_t Resolved) override;
    double FontMatrixScaling() override { return 1.0; }
    // On a canvas that draws through GDI+, makes the GDI+ font of the
    // installed font (replacing and releasing an earlier one). Without one,
    // DirectFontHandle stays 0 and outlines are drawn.
    void SetupDirectFont(TPDFGenericCanvas* Canvas) override;

    int ScreenDPI() const { return FScreenDPI; }
    // The converter's font size in points: 72000 / ScreenDPI rounded, ties
    // to even.
    int OutlineFontSize() const;
    // The character code a glyph name stands for: the decimal number after
    // "CID:" or "GID:", 0 for other names or a part that is not a number.
    static uint32_t CharCodeOf(const std::string& CharName);

    GpFont* DirectFontHandle = nullptr;
    TKVPLGDIPlus* DirectFontGDIPlus = nullptr;
    HDC DirectFontDC = nullptr;
    void ReleaseDirectFont() override;

private:
    const TFontCurveCollection& Outline(uint32_t Code);

    platform::TPlatformFont FFont;
    int FScreenDPI = 96;
    // The face the outlines come from, opened for FFaceFont.
    std::unique_ptr<platform::TOutlineFace> FFace;
    platform::TPlatformFont FFaceFont;
    bool FFaceTried = false;
    std::unordered_map<uint32_t, TFontCurveCollection> FOutlines;
    HFONT FDirectFontObject = nullptr;
};

// The installed font LoadFromFont reads, over a memory DC holding it: the
// platform's font-data call for the sizes, the shared face data of the face
// cache for the bytes, and the face parsed once per process.
class TPDFPlatformInstalledFont : public TPDFInstalledFont {
public:
    explicit TPDFPlatformInstalledFont(const platform::TPlatformFont& Font);
    ~TPDFPlatformInstalledFont() override;
    uint32_t CollectionSize() override;
    uint32_t FaceDataSize() override;
    std::shared_ptr<const std::string> FaceData() override;
    // From the process-wide cache of parsed installed faces.
    std::shared_ptr<const TPDFTrueTypeParser> ParsedFace(uint32_t TableOffset) override;
    void SetName(const std::u16string& Name) override;

private:
    void Select();
    platform::TPlatformFont FFont;
    HDC FDC = nullptr;
    HFONT FObject = nullptr;
};

// The font object of Font at Pixels per em.
HFONT CreatePlatformFontObject(const platform::TPlatformFont& Font, int Pixels);

}  // namespace velmo
