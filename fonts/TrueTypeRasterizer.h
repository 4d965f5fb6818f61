// Glyphs of TrueType fonts (embedded programs and installed fonts) drawn as
// outlines from the glyf data of a TrueType parser.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Glyphs.h"
#include "fonts/FontRasterizer.h"
#include "fonts/TrueTypeParser.h"

namespace velmo {

// The installed font whose data LoadFromFont reads. The platform layer
// implements it; the calls have the meaning of the platform's font-data call
// on a device context holding the font.
class TPDFInstalledFont {
public:
    static constexpr uint32_t kFontDataError = 0xFFFFFFFF;

    virtual ~TPDFInstalledFont() = default;
    // Size of the whole collection file that holds the font; 0 or
    // kFontDataError when the font is not part of a collection.
    virtual uint32_t CollectionSize() = 0;
    // Size of the font's own data: its file from the face's table directory
    // to the end; 0 or kFontDataError when it has none.
    virtual uint32_t FaceDataSize() = 0;
    // The font's own data, FaceDataSize bytes.
    virtual std::shared_ptr<const std::string> FaceData() = 0;
    // The font's face already parsed with TableOffset and shared read-only
    // with other readers; nullptr when the font keeps no parsed faces (the
    // reader then parses FaceData itself).
    virtual std::shared_ptr<const TPDFTrueTypeParser> ParsedFace(uint32_t TableOffset) {
        (void)TableOffset;
        return nullptr;
    }
    // Selects the installed font of another family name.
    virtual void SetName(const std::u16string& Name) = 0;
};

class TPDFTrueTypeRasterizer2 : public TPDFFontRasterizer {
public:
    // Limits on the expansion of composite glyphs: nesting depth, and per
    // glyph drawn the components and points taken in.
    static constexpr int kMaxCompositeDepth = 16;
    static constexpr int32_t kMaxGlyphComponents = 1024;
    static constexpr int64_t kMaxGlyphPoints = 262144;

    TPDFTrueTypeRasterizer2();

    // Draws glyph CharName (looked up as below) with its origin at (RX, RY)
    // of glyph space, 1000 units per em, mapped by Mat. False only when the
    // font has no glyphs; a name that resolves to no glyph draws nothing and
    // is True. RX, RY and Enc are only read.
    bool RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas, const TPDFXForm& Mat,
                        const std::string& CharName, TPDFEncodingVector Enc) override;
    // The same for glyph index Glyph, without a name.
    bool RenderGlyphToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas,
                             const TPDFXForm& Mat, uint32_t Glyph, TPDFEncodingVector Enc) override;
    int32_t ResolveGlyph(const std::string& CharName) override;
    int32_t ResolveGlyphId(uint32_t Glyph) override;
    void RenderResolvedGlyph(double RX, double RY, TPDFGenericCanvas* Canvas, const TPDFXForm& Mat,
                             int32_t Resolved) override;
    double FontMatrixScaling() override { return 1.0; }

    // Symbolic: bit 3 (value 4) of the font descriptor's flags.
    void SetFlags(int32_t Flags) { FSymbolic = (Flags & 4) != 0; }
    bool Symbolic() const { return FSymbolic; }
    bool IsZapfDingbats = false;

    // The font's tables. Load it before the first glyph is asked for. After
    // LoadFromFont the parser may be a face shared with other rasterizers:
    // the writable one is then this rasterizer's own copy of it.
    TPDFTrueTypeParser& Parser();
    const TPDFTrueTypeParser& Parser() const { return *FParser; }

    // Reads the data of the installed font given with SetFont into the
    // parser. Data of 100 MiB or more is refused after one retry with the
    // font named "Arial"; without a font nothing is read.
    void SetFont(std::unique_ptr<TPDFInstalledFont> Font) { FFont = std::move(Font); }
    TPDFInstalledFont* Font() const { return FFont.get(); }
    void LoadFromFont();
    // Set by LoadFromFont: the installed font's data holds a "CFF " table;
    // its data is then kept in FontData (else FontData is empty).
    bool HasCFFTable() const { return FHasCFFTable; }
    const std::shared_ptr<const std::string>& FontData() const { return FFontData; }

    // Widths of the 256 codes from their glyph names: a post name's glyph,
    // else the glyph the lookup order resolves; a name without a glyph
    // keeps its width.
    void GetWidths(const TPDFCharsetNames& CharSet, std::array<double, 256>& Widths);

    // The glyph index a name resolves to, -1 when none. Resolved once per
    // name. Lookup order: "U+XXXX", "PS:name", "GID:n"; for symbolic fonts
    // the byte code of the number after the fourth character in the (3,0),
    // (1,0) and (3,1) subtables; the Unicode value of the glyph name in
    // (3,1) (else the last platform 0 subtable); the Mac OS Roman code of a
    // standard name in a 256-code (1,0) subtable; the post name; "uniXXXX"
    // and the Dingbats names "a1".."a206".
    int32_t GlyphIndexOf(std::string_view CharName);
    // The outline of glyph Index in glyph space (1000 units per em), built
    // once; nullptr for an index outside the font.
    const TPDFGenericShape* GlyphShape(int32_t Index);

private:
    int32_t Lookup(std::string_view Name) const;
    int32_t PostGlyph(std::string_view Name) const;
    int32_t UnicodeGlyph(uint32_t Code, bool PostFallBack) const;
    struct TBuild;
    void AddSimple(const TPDFTTglyfTable& G, const TPDFXForm& M, TBuild& B);
    void AddComposite(const TPDFTTglyfTable& G, const TPDFXForm& M, int Depth, TBuild& B);
    void EmitOutline(TPDFGenericShape& S);

    struct TNameHash {
        using is_transparent = void;
        size_t operator()(std::string_view S) const { return std::hash<std::string_view>{}(S); }
    };

    bool FSymbolic = false;
    // The parser read: FOwnParser, or a parsed face shared read-only with
    // other rasterizers (nothing here writes to it).
    std::shared_ptr<const TPDFTrueTypeParser> FParser;
    std::shared_ptr<TPDFTrueTypeParser> FOwnParser;
    std::unordered_map<std::string, int32_t, TNameHash, std::equal_to<>> FNameIndex;
    // The built outlines: one slot per glyph index, the shapes themselves
    // kept in a deque so that the pointers handed out stay valid.
    std::vector<const TPDFGenericShape*> FCharShapes;
    std::deque<TPDFGenericShape> FShapeStore;
    // Scratch space for building outlines, reused from glyph to glyph: the
    // decoded glyph per composite depth, then the glyph's contours mapped to
    // glyph space (points, on-curve flags, last point of each contour).
    std::vector<TPDFTTglyfTable> FGlyphScratch;
    std::vector<TPDFDoublePoint> FOutline;
    std::vector<uint8_t> FOnCurve;
    std::vector<size_t> FContourEnds;
    // The outline's commands and points before they go to the shape.
    std::vector<TPDFGenericShapeCommandType> FBuildTypes;
    std::vector<TPDFDoublePoint> FBuildPoints;
    std::unique_ptr<TPDFInstalledFont> FFont;
    bool FHasCFFTable = false;
    std::shared_ptr<const std::string> FFontData;
};

// The Unicode value of a Dingbats glyph name "a1".."a206", 0 when the name
// is not one of them.
uint16_t DingbatsNameToUnicode(std::string_view Name);

}  // namespace velmo
