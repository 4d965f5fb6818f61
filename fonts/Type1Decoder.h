// Type 1 and CFF font programs: loading (PFB segments, PFA text, PDF font
// streams, bare CFF data and OpenType fonts with CFF outlines), the two
// charstring interpreters, and the drawing of glyph outlines.
//
// Loading works in place: the program's bytes are held once, shared, and the
// portions, subroutines and charstrings are slices of them (of the decrypted
// private part for Type 1). Both interpreters write one typed operation list
// that a single replay turns into a shape, built once per glyph.
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
#include "core/Structure.h"
#include "fonts/FontRasterizer.h"

namespace velmo {

class TPDFType1Decoder : public TPDFFontRasterizer {
public:
    // Nesting of subroutine and accent interpretations: Type 1 programs
    // allow 20 levels, Type 2 charstrings 10.
    static constexpr int kType1Depth = 20;
    static constexpr int kType2Depth = 10;
    // Operators executed per glyph, so that subroutines calling others many
    // times each cannot hang a render within the nesting limit.
    static constexpr int64_t kOperatorBudget = 100000;

    // One step of a glyph's outline or hints.
    enum TOpKind : uint8_t {
        okHsbw,
        okSbw,
        okRMoveTo,
        okRLineTo,
        okRRCurveTo,
        okClosePath,
        okEndChar,
        okFlex,
        okT2Flex,
        okSeac,
        okSetCurrentPoint,
        okHStem,
        okVStem,
        okHStem3,
        okVStem3,
        okDotSection,
        okHintMask,
        okCntrMask,
        okUnknown,
    };
    struct TOp {
        TOpKind Kind;
        const char* Label;  // a note the replay ignores ("rr", "vh1"...), or null
        uint32_t First;     // index of the first number in Args
        uint32_t Count;
        int32_t Code;       // the operator code of okUnknown
    };
    struct TOpList {
        std::vector<TOp> Ops;
        std::vector<double> Args;
        void Clear() {
            Ops.clear();
            Args.clear();
        }
        void Add(TOpKind Kind, std::initializer_list<double> A, const char* Label = nullptr);
        void Add(TOpKind Kind, const double* A, size_t N, const char* Label = nullptr);
    };

    TPDFType1Decoder();
    ~TPDFType1Decoder() override;

    // ---- Type 1 loading ----
    // PFB segments, or a program without them (PFA or the decoded data of a
    // font stream): clear text through "eexec" and its separator, the
    // encrypted part (binary, or hexadecimal text) up to the zeros before
    // cleartomark, the rest.
    bool LoadPFBFromString(std::string Source);
    bool LoadPFBFromFile(const std::string& FileName);
    // The decoded data of a font stream split by its Length1, Length2 and
    // Length3, each bounded by the data; lengths that do not split the
    // program at "eexec" give way to finding the portions in the data.
    bool LoadFontFileData(std::string Data, int64_t Length1, int64_t Length2, int64_t Length3);
    bool LoadPFBFromPDFStream(TPDFStream* Stream);
    // The font dictionary of the clear text: FontBBox, Encoding, FontMatrix.
    bool DecodeFontDict();
    // Subrs, lenIV and CharStrings of the encrypted part.
    bool DecodeEncryptedPortion();
    // The encrypted part decrypted, its four leading bytes dropped.
    std::string DecryptedEncryptionPortion() const;

    // ---- CFF loading ----
    // Bare CFF data, or an OpenType font whose "CFF " table is read. False
    // for an OpenType font without that table.
    bool LoadCFFFromString(std::string Data);
    bool LoadCFFFromPDFStream(TPDFStream* Stream);
    // The next CFF load treats the font as CID-keyed.
    void ForceCIDFont() { FForceCIDFont = true; }

    // ---- Glyphs ----
    bool RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas, const TPDFXForm& Mat,
                        const std::string& CharName, TPDFEncodingVector Enc) override;
    int32_t ResolveGlyph(const std::string& CharName) override;
    int32_t ResolveGlyphId(uint32_t Glyph) override;
    void RenderResolvedGlyph(double RX, double RY, TPDFGenericCanvas* Canvas, const TPDFXForm& Mat,
                             int32_t Resolved) override;
    double FontMatrixScaling() override { return FFontMatrixScaling; }

    // Fills the operation list with glyph Name's steps. False when the glyph
    // has no charstring data.
    bool DecodeCharstring(const std::string& Name);
    // The operation list of the last decoded glyph, as text entries:
    // "hsbw(100,0)", "rrcurveto(1,2,3,4,5,6) rr".
    std::vector<std::string> CharStack() const;
    const TOpList& Operations() const { return FOps; }
    // The outline of glyph Name in glyph space, built once; null when the
    // font has no such glyph.
    const TPDFGenericShape* GlyphShape(const std::string& Name);
    // The glyph index Name resolves to, -1 when none. Resolved once.
    int32_t GlyphIndexOf(const std::string& Name);

    // ---- What the load found ----
    const TPDFCharsetNames& GetEncoding() const { return FEncoding; }
    int32_t CharStringCount() const { return int32_t(FCharStringNames.size()); }
    std::string GetCharStringName(int32_t Index) const;
    std::string_view CharStringData(int32_t Index) const;
    TPDFDictionary* FontDict() const { return FFontDict; }
    TPDFArray* FontBBox() const { return FFontBBox; }
    std::string_view ClearTextPortion() const { return FClearText; }
    std::string_view EncryptedPortion() const { return FEncrypted; }
    std::string_view FixedContentPortion() const { return FFixedContent; }
    int32_t LenIV() const { return FLenIV; }
    int32_t CharStringType() const { return FCharStringType; }
    bool IsCIDFont() const { return FIsCIDFont; }
    const std::string& RDName() const { return FRD; }
    const std::string& NDName() const { return FND; }
    const std::string& NPName() const { return FNP; }
    // Type 1: subroutine by number; CFF: local subroutine by index. Empty
    // when there is none.
    std::string_view Subr(int32_t Number) const;
    size_t SubrCount() const {
        return FCharStringType == 2 ? FSubrs.size() : FSubrsByNumber.size();
    }
    size_t GlobalSubrCount() const { return FGlobalSubrs.size(); }
    const std::vector<uint8_t>& FDSelect() const { return FCIDSelect; }
    // The local subroutines of each Font DICT of a CID-keyed font.
    const std::vector<std::vector<std::string_view>>& CIDSubrs() const { return FCIDSubrs; }

    // The text of one CFF DICT as the load parses it ("<< /FontBBox [ 0 1 2
    // 3 ] >>"); Private selects the Private DICT's operators.
    std::string CffDictText(std::string_view Dict, bool Private) const;
    // The string of a SID: the standard strings, then the String INDEX.
    std::string CffString(int32_t SID) const;

private:
    struct TToken {
        std::string_view Text;
        uint8_t Kind;  // 0 plain, 1 executable word, 2 raw data
    };
    struct TType1Run;
    struct TType2Run;
    struct TGlyph {
        TPDFGenericShape Shape;
        bool Ok = false;
    };

    void ResetGlyphs();
    const std::string& Keep(std::string Data);
    bool SplitProgram(std::string_view Data);
    void SetEncrypted(std::string_view Part);
    std::vector<TToken> Tokenize(std::string_view Portion, bool ReadPrivate);
    std::string DecryptCharstring(std::string_view Data) const;
    std::string_view CharStringOf(int32_t Index) const;
    void RunType1(std::string_view Plain, TType1Run& R);
    void RunType2(std::string_view Data, TType2Run& R, bool TopLevel);
    bool Type1Seac(TType1Run& R, double Asb, double Adx, double Ady, int Bchar, int Achar);
    bool DecodeType1Charstring(int32_t Index);
    bool DecodeType2Charstring(int32_t Index);
    // The outline of the glyph of charstring Index, built once.
    const TPDFGenericShape* GlyphShapeAt(int32_t Index);
    void DrawShape(const TPDFGenericShape& Shape, double RX, double RY, TPDFGenericCanvas* Canvas,
                   const TPDFXForm& Mat) const;
    bool Replay(TPDFGenericShape& Shape, double Scale) const;
    void ResolveNames();
    bool LoadCff(std::string_view Cff);
    void SetFontMatrix(TPDFArray* M);

    std::unique_ptr<TPDFStructure> FStructure;
    TPDFDictionary* FFontDict = nullptr;
    TPDFArray* FFontBBox = nullptr;
    // Every byte buffer the slices below point into; deque: never moves.
    std::deque<std::shared_ptr<const std::string>> FBuffers;
    std::string_view FClearText, FEncrypted, FFixedContent;
    // Type 1: the Subrs by number; CFF: local subroutines by index.
    std::unordered_map<int32_t, std::string_view> FSubrsByNumber;
    std::vector<std::string_view> FSubrs;
    std::vector<std::string_view> FGlobalSubrs;
    std::vector<std::vector<std::string_view>> FCIDSubrs;
    std::vector<uint8_t> FCIDSelect;
    // A Font DICT's FontMatrix relative to the first one's, per Font DICT.
    std::vector<double> FCIDScale;
    std::vector<std::string> FCharStringNames;
    std::vector<std::string_view> FCharStringValues;
    std::vector<std::string> FStrings;  // CFF String INDEX
    std::string FRD = "RD", FND = "ND", FNP = "NP";
    int32_t FCharStringType = 1;
    TPDFCharsetNames FEncoding;
    double FFontMatrixScaling = 1.0;
    // The font matrix from glyph units to thousandths of an em.
    TPDFXForm FGlyphMatrix = IdentityXForm;
    bool FIsCIDFont = false;
    bool FForceCIDFont = false;
    int32_t FLenIV = 4;
    int32_t FFDSel = -1;
    uint32_t FRandom = 0x2545F491;

    TOpList FOps;
    // Glyph names resolved to indexes, and the glyphs built, by index (-1:
    // the name that resolves to none).
    bool FNamesIndexed = false;
    std::unordered_map<std::string, int32_t> FNameIndex;
    std::unordered_map<std::string, int32_t> FResolved;
    std::unordered_map<int32_t, TGlyph> FGlyphs;
};

// Installs the decoder as the font analysis's loader of Type 1 and CFF
// programs.
void InstallType1ProgramLoader();

}  // namespace velmo
