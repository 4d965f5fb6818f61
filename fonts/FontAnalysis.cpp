// The analysis of one font dictionary of an existing document into one entry
// of the collection: its kind, the glyph name of each one-byte code, widths,
// metrics, Unicode mapping, the CID machinery of composite fonts and the
// rasterizer that draws it (an embedded program, an installed face standing
// in for it, or the built-in Dingbats font).
#include <cmath>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "core/CMap.h"
#include "core/Glyphs.h"
#include "core/Structure.h"
#include "fonts/FontCollection.h"
#include "fonts/FontSubstitution.h"
#include "fonts/PlatformOutlines.h"
#include "fonts/TrueTypeRasterizer.h"
#include "fonts/Type3Rasterizer.h"

namespace velmo {

namespace {

// Ascent and descent (thousandths) of the standard fonts, by row.
constexpr int32_t kStandardAscent[15] = {0,   629, 626, 626, 629, 718, 718, 718,
                                         718, 683, 676, 683, 699, 699, 699};
constexpr int32_t kStandardDescent[15] = {0,    -157, -142, -142, -157, -207, -207, -207,
                                          -207, -217, -205, -205, -205, -205, -205};

// Rounded to the nearest integer, halves to even; values past the 32-bit
// range are clamped and NaN counts as 0.
int32_t RoundHalfEven(double V) {
    if (!std::isfinite(V)) return V > 0 ? INT32_MAX : (V < 0 ? INT32_MIN : 0);
    return int32_t(std::clamp(std::nearbyint(V), -2147483648.0, 2147483647.0));
}

bool NumberOf(TPDFObject* O, double& V) {
    auto* N = ObjAs<TPDFNumeric>(O);
    if (N == nullptr || !std::isfinite(N->AsDouble())) return false;
    V = N->AsDouble();
    return true;
}

bool EndsWith(std::string_view S, std::string_view T) {
    return S.size() >= T.size() && S.substr(S.size() - T.size()) == T;
}

TPDFEncodingVector EncodingByName(std::string_view Name) {
    if (Name == "MacRomanEncoding") return peMacRoman;
    if (Name == "WinAnsiEncoding") return peWinAnsi;
    if (Name == "PDFDocEncoding") return pePDFDoc;
    if (Name == "MacExpertEncoding") return peMacExpertEncoding;
    return peStandard;
}

}  // namespace

TPDFProgramFormat SniffFontProgram(std::string_view Data) {
    auto Starts = [&](std::string_view P) { return Data.substr(0, P.size()) == P; };
    if (Starts(std::string_view("\0\1\0\0", 4)) || Starts("true")) return TPDFProgramFormat::TrueType;
    if (Starts("OTTO")) return TPDFProgramFormat::OpenTypeCFF;
    if (Starts("%!") || Starts("\x80\x01") ||
        Data.substr(0, 100).find("!PS-AdobeFont") != std::string_view::npos)
        return TPDFProgramFormat::Type1;
    // A CFF header: major version 1, minor version, header size, offset size
    // 1 to 4.
    if (Data.size() >= 4 && Data[0] == 1 && uint8_t(Data[2]) >= 4 && Data[3] >= 1 && Data[3] <= 4)
        return TPDFProgramFormat::CFF;
    return TPDFProgramFormat::Unknown;
}

namespace {

// The working state of one analysis.
struct TAnalysis {
    TPDFFontCollection& C;
    std::string BaseFont = "Arial";
    std::string EncName;
    TPDFEncodingVector BaseEncoding = peStandard;
    TPDFArray* Differences = nullptr;
    TPDFArray* SymbolicDifferences = nullptr;  // kept for the Unicode step
    TPDFCharsetNames CharSet;
    std::array<double, 256> Widths{};
    double MissingWidth = 0;
    int32_t Flags = 0;
    double Ascent = 0, Descent = 0, CapHeight = 0;
    double Left = 0, Bottom = 0, Right = 0, Top = 0;
    int32_t FirstChar = 0, LastChar = 0;
    int32_t StandardFont = 0;
    std::unique_ptr<TPDFFontRasterizer> Rasterizer;
    bool Embedded = false, Subsetted = false, EncodingBuiltIn = false, AdobeGIDType0 = false;
    bool SymbolicTrueType = false;
    TPDFFontCollectionData::TProgram Program = TPDFFontCollectionData::fpNone;
    // Composite state.
    int32_t CMapId = -1;
    int32_t DW = 1000, DW2v = 880, DW2w1 = -1000;
    std::string CIDEnc, CSI, Panose;
    const TVPLWordPairList* CIDTable = nullptr;  // shared table, not owned
    std::unique_ptr<TVPLWordPairList> OwnCIDTable;
    std::unique_ptr<TPDFCIDWidths> CIDWidths;
    std::string SubType;
    TPDFDictionary* FD = nullptr;

    explicit TAnalysis(TPDFFontCollection& AC) : C(AC) {
        GetEncodingGlyphNames(peStandard, CharSet);
    }

    TPDFObject* Resolve(TPDFObject* O) const { return C.FindObject(O); }
    TPDFObject* Value(TPDFDictionary* D, std::string_view Key) const {
        return D ? Resolve(D->FindValueByKeyName(Key, false)) : nullptr;
    }

    // A stream's decoded data, with the decryption hooks around it when it
    // was reached through a reference.
    std::string ReadStream(TPDFStream* S, TPDFIndRef* Ref, bool WithLookup = false) const {
        if (Ref && C.FOnDecrypt) C.FOnDecrypt(S, Ref);
        std::string Data;
        try {
            Data = WithLookup && C.FOnFindObject ? S->GetDecodedStreamWithLookup(C.FOnFindObject)
                                                 : S->GetDecodedStream();
        } catch (...) {
            if (Ref && C.FOnEncrypt) C.FOnEncrypt(S, Ref);
            throw;
        }
        if (Ref && C.FOnEncrypt) C.FOnEncrypt(S, Ref);
        return Data;
    }

    // Bounds from an array of exactly four items; non-numbers keep theirs.
    void ReadBounds(TPDFObject* O) {
        auto* A = ObjAs<TPDFArray>(O);
        if (A == nullptr || A->GetCount() != 4) return;
        double* Into[4] = {&Left, &Bottom, &Right, &Top};
        for (int32_t I = 0; I < 4; ++I) {
            double V;
            if (NumberOf(Resolve(A->GetItem(I)), V)) *Into[I] = V;
        }
    }

    // A metric of the descriptor: rounded, or in thousandths when it lies
    // between -1 and 1.
    bool Metric(std::string_view Key, double& Out) const {
        double V;
        if (!NumberOf(Value(FD, Key), V)) return false;
        const int32_t R = RoundHalfEven(V);
        Out = (R >= -1 && R <= 1) ? V * 1000 : R;
        return true;
    }

    void ReadDescriptorMetrics(bool CapHeightCorrection) {
        Metric("Ascent", Ascent);
        Metric("Descent", Descent);
        if (CapHeightCorrection) Metric("CapHeight", CapHeight);
        ReadBounds(Value(FD, "FontBBox"));
        if (CapHeightCorrection && (Ascent < Descent || (Ascent == 0 && Descent == 0))) {
            Ascent = CapHeight - Ascent;
            Descent = -Descent;
        }
        double F;
        if (NumberOf(Value(FD, "Flags"), F)) Flags = RoundHalfEven(F);
    }

    // A Type 1 or CFF program through the installed loader; null (the font
    // then gets an installed face) when none is installed or it fails.
    std::unique_ptr<TPDFFontRasterizer> LoadProgram(TPDFProgramKind Kind, const std::string& Data,
                                                    TPDFDictionary* StreamDict,
                                                    TPDFCharsetNames& Encoding) const {
        const TPDFProgramLoader& Load = Type1ProgramLoader();
        if (!Load || Data.empty()) return nullptr;
        Encoding = CharSet;
        return Load(Kind, Data, StreamDict, C.FOnFindObject, Encoding);
    }

    // The installed face named by the font's BaseFont and flags, through a
    // TrueType rasterizer; a CFF-flavoured face goes to the CFF decoder.
    void SubstituteSystemFont() {
        auto T = std::make_unique<TPDFTrueTypeRasterizer2>();
        T->IsZapfDingbats = BaseFont == "ZapfDingbats";
        if (T->IsZapfDingbats) {
            // The installed "Symbol" face holds none of these glyphs: the
            // built-in Dingbats program draws them, as for the standard font.
            T->Parser().LoadFromString(GetDingbatsFontData());
            if (Differences) {
                ApplyDifferences(CharSet, Differences);
                Differences = nullptr;
            }
            T->GetWidths(CharSet, Widths);
            Rasterizer = std::move(T);
            return;
        }
        platform::TPlatformFont Font;
        MatchSystemFont(Font, BaseFont, Flags);
        T->SetFont(std::make_unique<TPDFPlatformInstalledFont>(Font));
        T->LoadFromFont();
        if (T->HasCFFTable() && T->FontData()) {
            TPDFCharsetNames Unused;
            if (auto D = LoadProgram(TPDFProgramKind::CFF, *T->FontData(), nullptr, Unused)) {
                Rasterizer = std::move(D);
                return;
            }
        }
        if (Differences) {
            ApplyDifferences(CharSet, Differences);
            Differences = nullptr;
        }
        T->GetWidths(CharSet, Widths);
        Rasterizer = std::move(T);
    }

    void AnalyseTrueType(TPDFDictionary* D) {
        (void)D;
        if (FD == nullptr) return;
        ReadDescriptorMetrics(true);
        std::string Data;
        TPDFObject* FF = FD->FindValueByKeyName("FontFile2", false);
        if (auto* S = ObjAs<TPDFStream>(Resolve(FF)); S && C.FInstallFonts) {
            Data = ReadStream(S, ObjAs<TPDFIndRef>(FF), true);
            Embedded = true;
        }
        if (!Data.empty() && C.FInstallFonts) {
            // The program is read as what its bytes are, whatever the key.
            const TPDFProgramFormat Format = SniffFontProgram(Data);
            if (Format == TPDFProgramFormat::Type1) {
                TPDFCharsetNames Own;
                Program = TPDFFontCollectionData::fpType1;
                Rasterizer = LoadProgram(TPDFProgramKind::Type1, Data, nullptr, Own);
                if (Rasterizer && (EncName.empty() || (Flags & 4) != 0)) CharSet = Own;
            } else if (Format == TPDFProgramFormat::CFF) {
                TPDFCharsetNames Unused;
                Program = TPDFFontCollectionData::fpCFF;
                Rasterizer = LoadProgram(TPDFProgramKind::CFF, Data, nullptr, Unused);
            } else {
                UseTrueTypeProgram(Data);
            }
        }
        if (Data.empty()) CompositeNonEmbeddedTrueType();
    }

    // A TrueType program (or an OpenType font with CFF outlines, which goes
    // to the CFF decoder).
    void UseTrueTypeProgram(const std::string& Data) {
        auto T = std::make_unique<TPDFTrueTypeRasterizer2>();
        T->Parser().LoadFromString(Data);
        Program = TPDFFontCollectionData::fpTrueType;
        if (T->Parser().GetCFFDataPosition() < 1) {
            T->SetFlags(Flags);
            if (T->Symbolic()) {
                SymbolicTrueType = true;
                for (int I = 0; I < 256; ++I) CharSet[size_t(I)] = "CID:" + std::to_string(I);
                SymbolicDifferences = Differences;
                // The names of the differences are kept only for text
                // extraction; drawing goes by code.
                if (!C.FUsingTextFunnel) Differences = nullptr;
            }
            Rasterizer = std::move(T);
        } else {
            TPDFCharsetNames Unused;
            Program = TPDFFontCollectionData::fpCFF;
            Rasterizer = LoadProgram(TPDFProgramKind::CFF, Data, nullptr, Unused);
        }
    }

    void AnalyseType1(TPDFDictionary* D) {
        if (FD != nullptr) {
            ReadDescriptorMetrics(false);
            for (const char* Key : {"FontFile", "FontFile3"}) {
                TPDFObject* FF = FD->FindValueByKeyName(Key, false);
                auto* S = ObjAs<TPDFStream>(Resolve(FF));
                if (S == nullptr) continue;
                Embedded = true;
                Program =
                    Key[8] == '3' ? TPDFFontCollectionData::fpCFF : TPDFFontCollectionData::fpType1;
                if (!C.FInstallFonts) continue;
                const std::string Data = ReadStream(S, ObjAs<TPDFIndRef>(FF));
                // The program is read as what its bytes are, whatever the
                // key and the stream's Subtype say: a TrueType program goes
                // to the TrueType rasterizer.
                TPDFProgramKind Kind =
                    Key[8] == '3' ? TPDFProgramKind::CFF : TPDFProgramKind::Type1;
                switch (SniffFontProgram(Data)) {
                    case TPDFProgramFormat::TrueType:
                        UseTrueTypeProgram(Data);
                        continue;
                    case TPDFProgramFormat::Type1:
                        Kind = TPDFProgramKind::Type1;
                        break;
                    case TPDFProgramFormat::CFF:
                    case TPDFProgramFormat::OpenTypeCFF:
                        Kind = TPDFProgramKind::CFF;
                        break;
                    case TPDFProgramFormat::Unknown:
                        break;
                }
                Program = Kind == TPDFProgramKind::CFF ? TPDFFontCollectionData::fpCFF
                                                       : TPDFFontCollectionData::fpType1;
                TPDFCharsetNames Own;
                auto P = LoadProgram(Kind, Data, S->FDictionary, Own);
                if (!P) continue;
                if (EncName.empty()) CharSet = Own;
                Rasterizer = std::move(P);
            }
            if (!Rasterizer) CompositeNonEmbeddedType1();
            return;
        }
        (void)D;
        // A standard font: the row of its name.
        std::string N = BaseFont;
        if (EndsWith(N, "MT")) N.resize(N.size() - 2);
        if (const size_t P = N.find("MT-"); P != std::string::npos) N.erase(P, 3);
        StandardFont = StandardFontRow(N);
        if (StandardFont >= 1 && StandardFont <= 14) {
            Ascent = kStandardAscent[StandardFont];
            Descent = kStandardDescent[StandardFont];
        }
        if (StandardFont == 13) {
            BaseEncoding = peSymbol;
            GetEncodingUnicodeNames(peSymbol, CharSet);
        }
        if (!C.FInstallFonts || StandardFont == 0) return;
        auto T = std::make_unique<TPDFTrueTypeRasterizer2>();
        if (StandardFont == 14) {
            BaseFont = "KRBDingbats";
            T->IsZapfDingbats = true;
            T->Parser().LoadFromString(GetDingbatsFontData());
        } else {
            BaseFont = StandardFontName(StandardFont);
            platform::TPlatformFont Font;
            MatchSystemFont(Font, BaseFont, Flags);
            T->SetFont(std::make_unique<TPDFPlatformInstalledFont>(Font));
            T->LoadFromFont();
        }
        Rasterizer = std::move(T);
    }

    // ---- Composite steps ----------------------------------------------------

    void ReadCIDData(TPDFDictionary* D, TPDFDictionary* Parent) {
        if (auto* Info = ObjAs<TPDFDictionary>(Value(D, "CIDSystemInfo"))) {
            auto Text = [&](std::string_view Key) -> std::string {
                TPDFObject* O = Value(Info, Key);
                if (auto* S = ObjAs<TPDFString>(O)) return S->FValue;
                return {};
            };
            CSI = Text("Registry") + "-" + Text("Ordering") + "-";
            double Sup;
            if (NumberOf(Value(Info, "Supplement"), Sup)) CSI += std::to_string(RoundHalfEven(Sup));
        }
        if (Parent != nullptr) {
            TPDFObject* E = Parent->FindValueByKeyName("Encoding", false);
            TPDFObject* Enc = Resolve(E);
            if (auto* N = ObjAs<TPDFName>(Enc)) {
                CIDEnc = N->FValue;
            } else if (auto* S = ObjAs<TPDFStream>(Enc)) {
                const std::string Text = ReadStream(S, ObjAs<TPDFIndRef>(E));
                if (auto* Name = ObjAs<TPDFName>(Value(S->FDictionary, "CMapName")))
                    CIDEnc = Name->FValue;
                if (!CIDEnc.empty()) {
                    CMapId = C.CMaps().ResourcesAddCMapFromString(CIDEnc, Text);
                    EncodingBuiltIn = true;
                }
            }
        }
        if (!CIDEnc.empty()) CMapId = C.CMaps().GetCMAP(CIDEnc);
        if (auto* Style = ObjAs<TPDFDictionary>(Value(FD, "Style")))
            if (auto* P = ObjAs<TPDFString>(Value(Style, "Panose"))) Panose = P->FValue;
        if (Parent != nullptr) {
            auto* Desc = ObjAs<TPDFArray>(Value(Parent, "DescendantFonts"));
            if (Desc && Desc->GetCount() == 1 && ObjAs<TPDFDictionary>(Resolve(Desc->GetItem(0)))) {
                DW = 1000;
                double V;
                if (NumberOf(Value(D, "DW"), V)) DW = RoundHalfEven(V);
            }
        }
    }

    bool IsCID() const { return SubType == "CIDFontType0" || SubType == "CIDFontType2"; }

    void SelectTable(int& Charset) {
        TCIDTableChoice Choice = SelectCIDToUnicodeTable(C.CMaps(), CIDEnc, CSI);
        CMapId = Choice.CMapId;
        CIDTable = Choice.Table;
        Charset = Choice.CharSet;
    }

    void SetupCJK(int Charset, const std::string& Face) {
        auto R = std::make_unique<TPDFSimpleTrueTypeRasterizer>();
        SetupCJKSystemFont(R->Font(), BaseFont, Charset, Face);
        Rasterizer = std::move(R);
    }

    // The four CourierStd names to their installed Courier.
    void CourierRenames() {
        if (BaseFont == "CourierStd-Bold")
            BaseFont = "Courier,Bold";
        else if (BaseFont == "CourierStd-BoldOblique")
            BaseFont = "Courier,BoldItalic";
        else if (BaseFont == "CourierStd-Oblique")
            BaseFont = "Courier,Italic";
        else if (BaseFont == "CourierStd")
            BaseFont = "Courier";
    }

    void CompositeNonEmbeddedTrueType() {
        if (!IsCID() || CIDEnc.empty() || !C.FInstallFonts) return;
        int Charset = 0;
        SelectTable(Charset);
        const std::string Face = ChooseCJKFace(BaseFont, Panose, Flags, true, Charset);
        SetupCJK(Charset, Face);
        if (SubType == "CIDFontType2" && CSI == "Adobe-Identity-0") {
            AdobeGIDType0 = true;
            CourierRenames();
            std::string_view Bare = BaseFont;
            if (Bare.size() > 7 && Bare[6] == '+') Bare.remove_prefix(7);
            if (Bare.substr(0, 8) == "DFKaiShu") BaseFont = "DFKai-SB";
            SelectTable(Charset);
            SetupCJK(Charset, BaseFont);
        }
    }

    void CompositeNonEmbeddedType1() {
        if (!IsCID() || !C.FInstallFonts) return;
        int Charset = 0;
        if (!CIDEnc.empty()) {
            SelectTable(Charset);
            SetupCJK(Charset, ChooseCJKFace(BaseFont, Panose, Flags, false, Charset));
        }
        if (SubType == "CIDFontType0" && CSI == "Adobe-Identity-0") {
            AdobeGIDType0 = true;
            CourierRenames();
            SelectTable(Charset);
            SetupCJK(Charset, BaseFont);
        }
    }

    // W: ranges of CIDs and their widths, never one item per CID.
    void ParseW(TPDFArray* W) {
        CIDWidths = std::make_unique<TPDFCIDWidths>();
        CIDWidths->AddDefault(DW);
        if (W == nullptr) return;
        const int32_t Count = W->GetCount();
        int32_t I = 0;
        while (I < Count - 1) {
            double FirstV;
            if (!NumberOf(Resolve(W->GetItem(I)), FirstV)) break;
            // CIDs outside 0 … 65535 do not exist: ranges are cut to them.
            const int64_t First = RoundHalfEven(FirstV);
            TPDFObject* Next = Resolve(W->GetItem(I + 1));
            double LastV;
            if (NumberOf(Next, LastV)) {
                double WV;
                if (I + 2 >= Count || !NumberOf(W->GetItem(I + 2), WV)) break;
                const int64_t Lo = std::max<int64_t>(First, 0);
                const int64_t Last = std::min<int64_t>(RoundHalfEven(LastV), 65535);
                if (Lo <= 65535 && Last >= Lo)
                    CIDWidths->AddRange(uint32_t(Lo), uint32_t(Last), RoundHalfEven(WV));
                I += 3;
            } else if (auto* A = ObjAs<TPDFArray>(Next)) {
                const int32_t N = A->GetCount();
                const int32_t Skip = First < 0 ? int32_t(std::min<int64_t>(-First, N)) : 0;
                for (int32_t K = Skip; K < N && First + K <= 65535; ++K) {
                    double V;
                    if (NumberOf(A->GetItem(K), V))
                        CIDWidths->AddRange(uint32_t(First + K), uint32_t(First + K),
                                            RoundHalfEven(V));
                }
                I += 2;
            } else {
                // Neither a last CID nor a list of widths: the rest cannot
                // be read in step.
                break;
            }
        }
    }

    void ReadDW2(TPDFDictionary* D) {
        auto* A = ObjAs<TPDFArray>(Value(D, "DW2"));
        double V, W1;
        if (A && A->GetCount() == 2 && NumberOf(Resolve(A->GetItem(0)), V) &&
            NumberOf(Resolve(A->GetItem(1)), W1)) {
            DW2v = RoundHalfEven(V);
            DW2w1 = RoundHalfEven(W1);
        }
    }

    void CIDWidthsAndTables(TPDFDictionary* D) {
        if (SubType == "CIDFontType2") {
            ParseW(ObjAs<TPDFArray>(Value(D, "W")));
            ReadDW2(D);
            TPDFObject* M = D->FindValueByKeyName("CIDToGIDMap", false);
            TPDFObject* MV = Resolve(M);
            if (auto* S = ObjAs<TPDFStream>(MV)) {
                const std::string Data = ReadStream(S, ObjAs<TPDFIndRef>(M));
                auto Table = std::make_unique<TVPLWordPairList>();
                for (size_t K = 0; K + 1 < Data.size() && K / 2 <= 0xFFFF; K += 2)
                    Table->Add(uint16_t(K / 2),
                               uint16_t(uint8_t(Data[K]) << 8 | uint8_t(Data[K + 1])));
                Table->Sort();
                OwnCIDTable = std::move(Table);
            } else if (auto* N = ObjAs<TPDFName>(MV)) {
                if (CIDEnc.empty()) CIDEnc = N->FValue;
            }
        } else if (SubType == "CIDFontType0") {
            if (BaseFont.rfind("HeiseiKakuGo-W5", 0) == 0) {
                // The built-in table of this face holds no widths: every CID
                // takes DW.
                CIDWidths = std::make_unique<TPDFCIDWidths>();
                CIDWidths->AddDefault(DW);
            } else {
                ParseW(ObjAs<TPDFArray>(Value(D, "W")));
            }
            ReadDW2(D);
        }
    }

    // The entry of a simple font or of a descendant.
    std::unique_ptr<TPDFFontCollectionData> MakeEntry(int32_t ObjNum) {
        auto E = std::make_unique<TPDFFontCollectionData>();
        E->ObjNum = ObjNum;
        E->Widths = Widths;
        E->DW2_v = DW2v;
        E->DW2_w1 = DW2w1;
        E->FontName = BaseFont;
        E->Rasterizer = std::move(Rasterizer);
        E->Encoding = CharSet;
        E->CIDWidths = std::move(CIDWidths);
        E->Ascent = Ascent;
        E->Descent = Descent;
        E->Bound = {RoundHalfEven(Left), RoundHalfEven(Top), RoundHalfEven(Right),
                    RoundHalfEven(Bottom)};
        E->FirstChar = FirstChar;
        E->LastChar = LastChar;
        if (OwnCIDTable)
            E->SetOwnCIDToGIDMap(std::move(OwnCIDTable));
        else
            E->CIDToGIDMap = CIDTable;
        E->EncodingBuiltIn = EncodingBuiltIn;
        E->AdobeGIDType0 = AdobeGIDType0;
        E->GIDToCIDMap = CMapId;
        E->CIDEncoding = CIDEnc;
        E->CIDSystemInfo = CSI;
        E->Panose = Panose;
        E->Embedded = Embedded;
        E->Subsetted = Subsetted;
        E->SubType = SubType;
        E->Enc = BaseEncoding;
        E->Program = Program;
        return E;
    }
};

}  // namespace

TPDFProgramLoader& Type1ProgramLoader() {
    static TPDFProgramLoader Loader;
    return Loader;
}

void TPDFFontCollection::AnalyseFont(TPDFObject* RefOrDict, TPDFDictionary* ParentDict) {
    const size_t Before = FFontData.size();
    const int32_t ObjNum = [&] {
        const TPDFIndRef* Ref = ObjAs<TPDFIndRef>(RefOrDict);
        return Ref ? Ref->ObjNum : 0;
    }();
    try {
        AnalyseFontEntry(RefOrDict, ParentDict);
    } catch (const std::exception& Error) {
        // A filter or a program loader failed: the font is drawn with the
        // installed face its name suggests, and still gets exactly one
        // entry.
        FFontData.resize(std::max(Before, FMapped));
        FAnalysisErrors.push_back({ObjNum, Error.what()});
        std::string Name = "Arial";
        if (auto* D = ObjAs<TPDFDictionary>(FindObject(RefOrDict)))
            if (auto* N = ObjAs<TPDFName>(FindObject(D->FindValueByKeyName("BaseFont", false))))
                Name = N->FValue;
        auto E = std::make_unique<TPDFFontCollectionData>();
        E->ObjNum = ObjNum;
        E->FontName = Name;
        if (FInstallFonts) {
            try {
                TAnalysis A(*this);
                A.BaseFont = Name;
                A.SubstituteSystemFont();
                E->Rasterizer = std::move(A.Rasterizer);
                E->Widths = A.Widths;
            } catch (const std::exception&) {
                E->Rasterizer.reset();
            }
        }
        E->DisplayCSW = GlyphNamesToUnicode(E->Encoding);
        AddFontData(std::move(E));
    }
    if (FFontData.size() == Before) {
        auto E = std::make_unique<TPDFFontCollectionData>();
        E->ObjNum = ObjNum;
        E->FontName = "Arial";
        E->DisplayCSW = GlyphNamesToUnicode(E->Encoding);
        AddFontData(std::move(E));
    }
}

void TPDFFontCollection::AnalyseFontEntry(TPDFObject* RefOrDict, TPDFDictionary* ParentDict) {
    TAnalysis A(*this);
    const TPDFIndRef* Ref = ObjAs<TPDFIndRef>(RefOrDict);
    const int32_t ObjNum = Ref ? Ref->ObjNum : 0;
    auto* D = ObjAs<TPDFDictionary>(FindObject(RefOrDict));
    TPDFObject* ToUnicode = nullptr;
    TPDFObject* ToUnicodeEntry = nullptr;
    bool Composite = false;

    if (D != nullptr) {
        A.FD = ObjAs<TPDFDictionary>(A.Value(D, "FontDescriptor"));
        double MW;
        if (NumberOf(A.Value(A.FD, "MissingWidth"), MW)) A.MissingWidth = MW;
        A.Widths.fill(A.MissingWidth);
        if (auto* N = ObjAs<TPDFName>(A.Value(D, "BaseFont"))) A.BaseFont = N->FValue;
        A.Subsetted = A.BaseFont.size() > 7 && A.BaseFont[6] == '+';
        TPDFObject* Enc = A.Value(D, "Encoding");
        if (auto* N = ObjAs<TPDFName>(Enc)) {
            A.EncName = N->FValue;
            A.BaseEncoding = EncodingByName(A.EncName);
        } else if (auto* ED = ObjAs<TPDFDictionary>(Enc)) {
            if (auto* B = ObjAs<TPDFName>(A.Value(ED, "BaseEncoding"))) {
                A.EncName = B->FValue;
                A.BaseEncoding = EncodingByName(A.EncName);
            }
            A.Differences = ObjAs<TPDFArray>(A.Value(ED, "Differences"));
        }
        GetEncodingGlyphNames(A.BaseEncoding, A.CharSet);
        A.ReadBounds(A.Value(D, "FontBBox"));
        if (auto* N = ObjAs<TPDFName>(A.Value(D, "Subtype"))) A.SubType = N->FValue;
        if (A.IsCID()) A.ReadCIDData(D, ParentDict);

        const std::string& ST = A.SubType;
        if (ST == "Type1" || ST == "MMType1" || ST == "CIDFontType0") {
            A.AnalyseType1(D);
        } else if (ST == "TrueType" || ST == "CIDFontType2") {
            A.AnalyseTrueType(D);
        } else if (ST == "Type3") {
            if (FInstallFonts) {
                auto T = std::make_unique<TPDFType3Rasterizer>();
                T->FOnFindObject = FOnFindObject;
                T->FOnDecrypt = FOnDecrypt;
                T->FOnEncrypt = FOnEncrypt;
                T->LoadFromPDFDict(D);
                A.Rasterizer = std::move(T);
            }
        } else if (ST == "Type0") {
            Composite = true;
            auto* Desc = ObjAs<TPDFArray>(A.Value(D, "DescendantFonts"));
            TPDFDictionary* Child = nullptr;
            TPDFObject* Item = nullptr;
            if (Desc && Desc->GetCount() == 1) {
                Item = Desc->GetItem(0);
                Child = ObjAs<TPDFDictionary>(FindObject(Item));
            }
            // The descendant must be a CID font: a Type0 font again (or any
            // cycle back) is not followed, and nothing else appends for it.
            auto* ChildType = Child ? ObjAs<TPDFName>(A.Value(Child, "Subtype")) : nullptr;
            const bool CIDChild = ChildType && (ChildType->FValue == "CIDFontType0" ||
                                                ChildType->FValue == "CIDFontType2");
            const size_t Before = FFontData.size();
            if (CIDChild && ParentDict == nullptr) AnalyseFontEntry(Item, D);
            if (FFontData.size() == Before) {
                // A broken composite font: default values, no CMap, drawn
                // with the installed face of its name.
                if (FInstallFonts) A.SubstituteSystemFont();
                AddFontData(A.MakeEntry(ObjNum));
            }
        }
        if (!A.Rasterizer && FInstallFonts && ST != "Type0") A.SubstituteSystemFont();

        // Encoding and widths.
        if (ST != "Type0") {
            if (A.Differences) ApplyDifferences(A.CharSet, A.Differences);
            if (A.StandardFont > 0) GetStandardFontWidths(A.StandardFont, A.CharSet, A.Widths);
            if (!A.IsCID()) {
                double V;
                if (NumberOf(A.Value(D, "FirstChar"), V)) {
                    A.FirstChar = RoundHalfEven(V);
                    if (NumberOf(A.Value(D, "LastChar"), V)) {
                        A.LastChar = std::min(RoundHalfEven(V), 255);
                        if (auto* W = ObjAs<TPDFArray>(A.Value(D, "Widths"))) {
                            A.Widths.fill(A.MissingWidth);
                            const int32_t N = W->GetCount();
                            for (int32_t K = 0; K < N; ++K) {
                                const int64_t Code = int64_t(A.FirstChar) + K;
                                if (Code > A.LastChar) break;
                                if (Code < 0) continue;
                                double WV = 0;
                                NumberOf(A.Resolve(W->GetItem(K)), WV);
                                A.Widths[size_t(Code)] = WV;
                            }
                        }
                    }
                }
            } else {
                A.CIDWidthsAndTables(D);
            }
        }
        ToUnicodeEntry = D->FindValueByKeyName("ToUnicode", false);
        ToUnicode = A.Resolve(ToUnicodeEntry);
    }

    TPDFFontCollectionData* E = nullptr;
    if (A.SubType != "Type0") {
        E = AddFontData(A.MakeEntry(ObjNum));
    } else {
        E = FFontData.empty() ? nullptr : FFontData.back().get();
        if (E == nullptr) return;
        E->IsComposite = true;
        if (const TKorbexPDFLibraryCMap* M = FCMaps.CMap(E->GIDToCIDMap))
            E->SingleByteCMap = M->SingleByteCMap();
    }

    // Unicode.
    std::string TU;
    if (auto* S = ObjAs<TPDFStream>(ToUnicode))
        TU = A.ReadStream(S, ObjAs<TPDFIndRef>(ToUnicodeEntry));
    else if (auto* N = ObjAs<TPDFName>(ToUnicode))
        TU = N->FValue;
    const std::string Index = std::to_string(FFontData.size() - 1);
    if (Composite || A.SymbolicTrueType) {
        if (!TU.empty()) {
            if (ObjAs<TPDFStream>(ToUnicode)) {
                E->ToUnicodeMap = ParseCMapString(Index, TU);
            } else {
                E->ToUnicodeMap = std::make_unique<TKorbexPDFLibraryCMap>();
                E->ToUnicodeMap->SetIdentityMapping();
            }
            TPDFCMap Ranges;
            bool Single = false;
            ParseToUnicodeRanges(TU, Ranges, Single);
            E->DisplayCS2.Assign(std::move(Ranges));
            if (!E->SingleByteCMap) E->SingleByteCMap = Single;
            E->DisplayCSW = GlyphNamesToUnicode(E->Encoding);
            ApplyDisplayTable(E->DisplayCSW, E->DisplayCS2.Ranges());
        } else {
            if (A.SymbolicDifferences) {
                // The names of the differences give the text its Unicode
                // values; the glyphs are still drawn by code, so the
                // entry's names stay as they are.
                TPDFCharsetNames Names;
                GetEncodingGlyphNames(A.BaseEncoding, Names);
                ApplyDifferences(Names, A.SymbolicDifferences);
                E->DisplayCSW = GlyphNamesToUnicode(Names);
            } else {
                E->DisplayCSW = GlyphNamesToUnicode(E->Encoding);
            }
        }
    } else if (!TU.empty()) {
        E->ToUnicodeMap = ParseCMapString(Index, TU);
        TPDFCMap Ranges;
        bool Single = false;
        ParseToUnicodeRanges(TU, Ranges, Single);
        E->DisplayCS2.Assign(std::move(Ranges));
        E->SingleByteCMap = Single;
        E->DisplayCSW = GlyphNamesToUnicode(E->Encoding);
        ApplyDisplayTable(E->DisplayCSW, E->DisplayCS2.Ranges());
    } else {
        E->DisplayCSW = GlyphNamesToUnicode(E->Encoding);
    }
}

}  // namespace velmo
