// Glyphs of Type 3 fonts: the font matrix, the decoded procedure of every
// glyph, and a small interpreter that draws a procedure's filled paths and
// inline images on a canvas.
//
// The renderer draws Type 3 glyphs itself: it takes the procedure text from
// GetCharProc, sets FillColor, prefixes FontMatrix to its text matrix and
// runs the procedure through its own content interpreter with
// Type3FontDict as the holder of the glyph resources. RenderToCanvas is the
// rasterizer's own simpler drawing, which begins its path and fills where
// the procedure says "f".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fonts/FontRasterizer.h"
#include "platform/gdi/Graphics.h"

namespace velmo {

// One decoded inline image of a glyph procedure, drawn on a canvas through
// a matrix that maps the unit square; an image mask takes FillColor.
class TPDFType3InlineImage {
public:
    virtual ~TPDFType3InlineImage() = default;
    virtual void Draw(TPDFGenericCanvas* Canvas, const TPDFXForm& Mat, TColor FillColor) = 0;
};

// Parses the inline image whose dictionary starts at Pos of Text (just after
// "BI") through ID, its data and EI, and makes its decoder. On success Pos
// is the position after the image; nullptr when the image does not parse.
using TPDFType3InlineImageParser =
    std::function<std::unique_ptr<TPDFType3InlineImage>(std::string_view Text, size_t& Pos)>;

// Installed once at start-up by the image codecs. While it is empty, inline
// images are passed over unread.
TPDFType3InlineImageParser& Type3InlineImageParser();

class TPDFType3Rasterizer : public TPDFFontRasterizer {
public:
    // Operands piling up past this many lose their oldest half.
    static constexpr size_t kMaxOperands = 65536;
    // Drawings of this rasterizer nested deeper than this (an image decoder
    // or a canvas that draws the same font again) draw nothing.
    static constexpr int kMaxDepth = 8;
    // Inline images kept per font; those met after are passed over.
    static constexpr size_t kMaxInlineImages = 65536;

    TPDFType3Rasterizer() = default;
    ~TPDFType3Rasterizer() override;

    // Reads /FontMatrix (exactly six items; an item that is not a finite
    // number keeps the identity value) and the decoded procedure of each
    // entry of /CharProcs. A value that is not a reference to a stream is an
    // empty procedure; names sharing one stream share its decoded text.
    // Loading again starts afresh.
    void LoadFromPDFDict(TPDFDictionary* Dict);

    // The decoded procedure of glyph CharName (exact, case-sensitive), empty
    // when the font has no such glyph.
    const std::string& GetCharProc(std::string_view CharName) const;
    bool HasGlyph(std::string_view CharName) const;
    size_t GlyphCount() const { return FCharNames.size(); }

    // False, drawing nothing, when the font has no glyph CharName. Otherwise
    // True: begins a path and runs the procedure with the origin at (RX, RY)
    // of glyph space, mapped by Mat. Only m, l, c, h, f, cm and inline
    // images act; every other token is an operand, and an operator pops the
    // operands it needs (0 for each that is missing). Where the matrix
    // becomes singular the rest of the procedure draws nothing. A point or a
    // matrix that is not finite raises EMathError before anything reaches
    // the canvas. RX, RY and Enc are only read.
    bool RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas, const TPDFXForm& Mat,
                        const std::string& CharName, TPDFEncodingVector Enc) override;
    double FontMatrixScaling() override { return 1.0; }

    TPDFDictionary* Type3FontDict() const { return FDict; }
    TColor FillColor() const { return FFillColor; }
    void SetFillColor(TColor Value) { FFillColor = Value; }

    // The font's /FontMatrix, identity until loaded.
    TPDFXForm FontMatrix = IdentityXForm;

    // Inline images met so far, one per glyph name and position of its BI
    // in the procedure, so that each image of a procedure is parsed once
    // and drawn once per drawing of the glyph.
    size_t InlineImageCount() const { return FInlineImages.size(); }

private:
    struct TInlineImageEntry {
        std::unique_ptr<TPDFType3InlineImage> Decoder;  // nullptr: did not parse
        size_t End = 0;                                 // where reading goes on
    };
    struct TNameHash {
        using is_transparent = void;
        size_t operator()(std::string_view S) const { return std::hash<std::string_view>{}(S); }
    };

    TPDFObject* FindObject(TPDFIndRef* Ref) const;
    // Runs the procedure; with Canvas nullptr it only computes, so that every
    // point is known to be finite before the canvas sees one.
    void RunProcedure(const std::string& CharName, std::string_view Text, const TPDFXForm& Start,
                      TPDFGenericCanvas* Canvas);
    // The image at Pos (just after BI): parsed once, then taken from the
    // cache. Returns it (nullptr when it does not parse) and where reading
    // goes on.
    const TInlineImageEntry& InlineImage(const std::string& CharName, std::string_view Text,
                                         size_t Pos);

    TPDFDictionary* FDict = nullptr;  // not owned
    TColor FFillColor = 0;
    // Glyph name to the index of its procedure in FCharProcs.
    std::unordered_map<std::string, size_t, TNameHash, std::equal_to<>> FCharNames;
    std::vector<std::string> FCharProcs;
    std::map<std::pair<std::string, size_t>, TInlineImageEntry> FInlineImages;
    TInlineImageEntry FOverflowImage;
    int FDepth = 0;
};

}  // namespace velmo
