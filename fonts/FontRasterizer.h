// The base of every glyph rasterizer: the object that draws the glyphs of one
// analysed font of an existing document on a generic canvas.
//
// Outline rasterizers only add contours to the canvas's current path (moves,
// lines, curves, ClosePath, or DrawShape of a shape holding only these). They
// never begin, fill, stroke or clip: the renderer paints once per text show.
#pragma once

#include <cstdint>
#include <string>

#include "core/Encodings.h"
#include "core/GenericCanvas.h"
#include "core/Objects.h"
#include "core/XForm.h"

namespace velmo {

class TPDFFontRasterizer {
public:
    TPDFFontRasterizer() = default;
    TPDFFontRasterizer(const TPDFFontRasterizer&) = delete;
    TPDFFontRasterizer& operator=(const TPDFFontRasterizer&) = delete;
    virtual ~TPDFFontRasterizer() = default;

    // Resolves references met while the font data is read; unassigned, a
    // reference resolves through itself.
    TPDFFindObjectEvent FOnFindObject;
    // Called around reading the decoded data of a stream reached through a
    // reference, when assigned.
    TPDFCryptStreamEvent FOnDecrypt;
    TPDFCryptStreamEvent FOnEncrypt;
    // Text rendering mode of the string being drawn; the outline
    // rasterizers draw the same outline whatever it is.
    int32_t RenderingMode = 0;

    // Draws glyph CharName with its origin at (RX, RY) of glyph space
    // (thousandths of the text space unit), mapped to the canvas by Mat.
    // True when the glyph was found and drawn. A Mat that maps a point to
    // infinity or NaN raises EMathError before anything reaches the canvas.
    virtual bool RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas,
                                const TPDFXForm& Mat, const std::string& CharName,
                                TPDFEncodingVector Enc) = 0;
    // Draws the glyph the name "GID:<Glyph>" stands for. Composite fonts
    // draw by number: rasterizers that index their glyphs override this and
    // skip the name; the base builds it.
    virtual bool RenderGlyphToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas,
                                     const TPDFXForm& Mat, uint32_t Glyph, TPDFEncodingVector Enc) {
        return RenderToCanvas(RX, RY, Canvas, Mat, "GID:" + std::to_string(Glyph), Enc);
    }
    // Drawing by number. The renderer resolves the glyph of each code of a
    // font once and keeps the answer, so that showing text does no string
    // work per glyph. ResolveGlyph gives what glyph name CharName stands for
    // in this rasterizer: kNoGlyph when drawing it draws nothing, kByName
    // when the rasterizer draws by name only (the renderer then keeps
    // calling RenderToCanvas), else a number RenderResolvedGlyph draws.
    // ResolveGlyphId does the same for the glyph RenderGlyphToCanvas draws
    // for Glyph. Drawing a resolved number draws exactly what drawing the
    // name (or the glyph) draws.
    static constexpr int32_t kNoGlyph = -1;
    static constexpr int32_t kByName = -2;
    virtual int32_t ResolveGlyph(const std::string& CharName) {
        (void)CharName;
        return kByName;
    }
    virtual int32_t ResolveGlyphId(uint32_t Glyph) {
        (void)Glyph;
        return kByName;
    }
    virtual void RenderResolvedGlyph(double RX, double RY, TPDFGenericCanvas* Canvas,
                                     const TPDFXForm& Mat, int32_t Resolved) {
        (void)RX, (void)RY, (void)Canvas, (void)Mat, (void)Resolved;
    }
    // The factor between the font's glyph units and thousandths of an em.
    virtual double FontMatrixScaling() = 0;
    // Called once before a string when the renderer draws system fonts
    // directly through the canvas; the base does nothing.
    virtual void SetupDirectFont(TPDFGenericCanvas* Canvas) {}
    // Frees what SetupDirectFont made, before the canvas it was made for
    // goes away; the base has nothing to free.
    virtual void ReleaseDirectFont() {}
};

}  // namespace velmo
