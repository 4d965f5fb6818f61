// Text showing: Tf selects the font of the collection, Tj, TJ, ' and "
// collect every glyph outline of one show into one path that is painted
// once by the rendering mode, and a text-extraction pass turns the shown
// codes into runs for the text funnel.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/FontConst.h"
#include "core/Structure.h"
#include "fonts/FontCollection.h"
#include "fonts/TrueTypeRasterizer.h"
#include "fonts/Type3Rasterizer.h"
#include "platform/text/AnsiCodePage.h"
#include "render/ContentRun.h"

namespace velmo {

namespace {

// Receives glyph outlines in device space and hands them to the device
// canvas; a point that is not finite drops the rest of the show's path.
class TGlyphDeviceCanvas : public TPDFGenericCanvas {
public:
    explicit TGlyphDeviceCanvas(TPDFRenderCanvas* Device) : FDevice(Device) {}
    bool Invalid = false;

    void BeginPath() override {}
    void MoveTo(double X, double Y) override {
        if (!Finite(X, Y)) return;
        FDevice->MoveTo(X, Y);
        FX = X;
        FY = Y;
    }
    void AddLineToPath(double X, double Y) override {
        if (!Finite(X, Y)) return;
        FDevice->AddLineToPath(X, Y);
        FX = X;
        FY = Y;
    }
    void AddBezierToPath(double X1, double Y1, double X2, double Y2, double X3,
                         double Y3) override {
        if (!Finite(X1, Y1) || !Finite(X2, Y2) || !Finite(X3, Y3)) return;
        FDevice->AddBezierToPath(X1, Y1, X2, Y2, X3, Y3);
        FX = X3;
        FY = Y3;
    }
    void AddQBezierToPath(double QX, double QY, double X, double Y) override {
        // The cubic with the same curve: control points two thirds of the
        // way from each end towards the quadratic's control point.
        AddBezierToPath(FX + 2.0 / 3 * (QX - FX), FY + 2.0 / 3 * (QY - FY), X + 2.0 / 3 * (QX - X),
                        Y + 2.0 / 3 * (QY - Y), X, Y);
    }
    void ClosePath() override {
        if (!Invalid) FDevice->ClosePath();
    }
    // Device bounds of the points received.
    double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
    bool Empty = true;
    void StrokePath() override {}
    void FillPath() override {}
    void StrokeAndFillPath() override {}

private:
    bool Finite(double X, double Y) {
        if (Invalid || !std::isfinite(X) || !std::isfinite(Y)) {
            Invalid = true;
            return false;
        }
        if (Empty) {
            MinX = MaxX = X;
            MinY = MaxY = Y;
            Empty = false;
        } else {
            MinX = std::min(MinX, X);
            MaxX = std::max(MaxX, X);
            MinY = std::min(MinY, Y);
            MaxY = std::max(MaxY, Y);
        }
        return true;
    }
    TPDFRenderCanvas* FDevice;
    double FX = 0, FY = 0;
};

// Glyph outlines in the user space of the EPS writer, whose own transform
// already holds the content's matrices. The outlines build the writer's path
// through its canvas side; the show is painted once when it ends.
class TGlyphEPSCanvas : public TPDFGenericCanvas {
public:
    explicit TGlyphEPSCanvas(TPDFEPSExport* EPS) : FEPS(EPS) {}
    void BeginPath() override {}
    void MoveTo(double X, double Y) override { FEPS->MoveTo(X, Y); }
    void AddLineToPath(double X, double Y) override { FEPS->AddLineToPath(X, Y); }
    void AddBezierToPath(double X1, double Y1, double X2, double Y2, double X3,
                         double Y3) override {
        FEPS->AddBezierToPath(X1, Y1, X2, Y2, X3, Y3);
    }
    void AddQBezierToPath(double QX, double QY, double X, double Y) override {
        FEPS->AddQBezierToPath(QX, QY, X, Y);
    }
    void ClosePath() override { FEPS->ClosePath(); }
    void StrokePath() override {}
    void FillPath() override {}
    void StrokeAndFillPath() override {}

private:
    TPDFEPSExport* FEPS;
};

// The bytes of a string operand: literal strings unescaped, hex strings
// decoded, and a hex string holding UTF-16BE text (FE FF first) turned into
// the system code page.
std::string OperandBytes(std::string_view Token) {
    if (Token.empty()) return {};
    if (Token[0] == '(') return TPDFStructure::DecodeString(Token);
    if (Token[0] != '<') return {};
    std::string B = TPDFStructure::DecodeHex(Token);
    if (B.size() >= 3 && uint8_t(B[0]) == 0xFE && uint8_t(B[1]) == 0xFF) {
        std::u16string W;
        W.reserve((B.size() - 2) / 2);
        for (size_t I = 2; I + 1 < B.size(); I += 2)
            W.push_back(char16_t(uint8_t(B[I]) << 8 | uint8_t(B[I + 1])));
        B = WideToAnsi(W);
    }
    return B;
}

bool IsStringOperand(std::string_view Token) {
    return !Token.empty() && (Token[0] == '(' || Token[0] == '<');
}

// The Adobe character collection's Unicode-ordered glyph of CID, or -1 when
// the table holds none (and for every CID past its end).
int32_t AdobeCIDEntry(uint32_t CID) {
    return CID < uint32_t(kCIDUnicodeCount) ? CIDUnicodeTable[CID] : -1;
}

bool FiniteNumber(double V) { return std::isfinite(V); }

// The operands of the show operator, in order; they leave the stack
// whatever happens to the show.
std::vector<std::string_view> TakeShowOperands(TPDFRenderer::TContentRun& Run) {
    const int32_t Count = std::min<int32_t>(Run.ArrayCount, int32_t(Run.Operands.size()));
    std::vector<std::string_view> Ops(Run.Operands.end() - Count, Run.Operands.end());
    Run.Operands.resize(Run.Operands.size() - size_t(Count));
    Run.ArrayCount = 0;
    return Ops;
}

// The text a ToUnicode map gives for Code (an identity map gives the code
// as one unit); empty when the map has nothing for it.
std::u16string MappedText(const TKorbexPDFLibraryCMap& Map, uint32_t Code) {
    std::array<uint16_t, 4> Units;
    std::u16string T;
    if (Map.GetValue(Code, Units) < 0) return T;
    if (Units[0] == 0 && Units[1] == 0 && Units[2] == 0 && Units[3] == 0)
        return std::u16string(1, char16_t(Code));
    for (uint16_t U : Units)
        if (U != 0) T.push_back(char16_t(U));
    return T;
}

// The first UTF-16 unit a ToUnicode map gives for Code (an identity map
// gives the code itself); false when the map has nothing for it.
bool FirstUnit(const TKorbexPDFLibraryCMap& Map, uint32_t Code, uint32_t& Unit) {
    std::array<uint16_t, 4> Units;
    const int N = Map.GetValue(Code, Units);
    if (N < 0) return false;
    const bool Identity = Units[0] == 0 && Units[1] == 0 && Units[2] == 0 && Units[3] == 0;
    Unit = Identity ? Code : Units[0];
    return true;
}

}  // namespace

TPDFFontCollection* TPDFRenderer::Fonts() const {
    return dynamic_cast<TPDFFontCollection*>(FFontCol);
}

void TPDFRenderer::SelectFont(TContentRun& Run) {
    TPDFFontCollection* Col = Fonts();
    if (Col == nullptr) return;
    const std::string& Name = Run.GS.TextFont;
    if (Name.size() > 2 && Name.compare(Name.size() - 2, 2, " R") == 0) {
        // Set through a graphics-state dictionary: the font's reference.
        int32_t Num = 0, Gen = 0;
        if (std::sscanf(Name.c_str(), "%d %d", &Num, &Gen) == 2 && Num > 0) {
            TPDFIndRef Ref(FStructure);
            Ref.ObjNum = Num;
            Ref.GenNum = Gen;
            Col->GetFontData(&Ref);
        }
        return;
    }
    if (Run.Resources == nullptr || Name.size() < 2 || Name[0] != '/') return;
    TPDFDictionary* FontDict = Run.SubDict(Run.Resources, "Font");
    if (FontDict == nullptr) return;
    TPDFObject* Entry = FontDict->FindValueByKeyName(std::string_view(Name).substr(1), false);
    if (auto* Ref = ObjAs<TPDFIndRef>(Entry)) {
        Col->GetFontData(Ref);
    } else if (auto* D = ObjAs<TPDFDictionary>(Entry)) {
        // A font given as a dictionary has no number to find it again by:
        // its entry is kept for the render, not analysed at every Tf.
        auto It = FDirectFonts.find(D);
        if (It != FDirectFonts.end()) {
            Col->SetFoundFontData(It->second);
        } else {
            Col->GetFontDataFromDict(D);
            FDirectFonts.emplace(D, Col->FoundFontData());
        }
    }
}

// Draws one Type 3 glyph by interpreting its procedure at (GX, GY) of the
// scaled text space.
void TPDFRenderer::ShowType3Glyph(TContentRun& Run, TPDFType3Rasterizer& Type3,
                                  TPDFFontCollectionData* Font, const std::string& GlyphName,
                                  double GX, double GY) {
    const std::string& Proc = Type3.GetCharProc(GlyphName);
    TPDFDictionary* FontDict = Type3.Type3FontDict();
    if (Proc.empty() || FontDict == nullptr) return;
    Run.SaveGraphicsState();
    ParentResources = Run.Resources;
    const TPDFXForm Saved = CanvasMat;
    TPDFXForm At;
    if (TContentRun::SafeMul({1, 0, 0, 1, GX, GY}, CanvasMat, At)) {
        CanvasMat = At;
        FInitialState = Run.GS;
        FUseInitialState = true;
        struct TBack {
            TPDFRenderer& R;
            TContentRun& Run;
            TPDFXForm M;
            TPDFFontCollectionData* Font;
            ~TBack() {
                R.FUseInitialState = false;
                Run.RestoreGraphicsState(false);
                R.CanvasMat = M;
                // The procedure may have selected another font.
                if (TPDFFontCollection* Col = R.Fonts()) Col->SetFoundFontData(Font);
            }
        } Back{*this, Run, Saved, Font};
        RenderContent(FontDict, Proc, nullptr);
        return;
    }
    Run.RestoreGraphicsState(false);
}

void TPDFRenderer::ShowText(TContentRun& Run) {
    const std::vector<std::string_view> Ops = TakeShowOperands(Run);

    TPDFFontCollection* Col = Fonts();
    TPDFFontCollectionData* F = Col ? Col->FoundFontData() : nullptr;
    TPDFGraphicsState& GS = Run.GS;
    const double Tfs = GS.TextSize;
    if (F == nullptr || Tfs == 0 || !FiniteNumber(Tfs)) return;

    const bool Vertical = F->CIDEncoding.size() >= 2 &&
                          F->CIDEncoding.compare(F->CIDEncoding.size() - 2, 2, "-V") == 0;
    auto* Type3 = dynamic_cast<TPDFType3Rasterizer*>(F->Rasterizer.get());
    TPDFFontRasterizer* Ras = F->Rasterizer.get();
    const bool EPSOut = Run.EPS;
    // The renderer library receives the glyph outlines in device space too.
    const bool OnDevice = !EPSOut && Device() != nullptr;
    const bool Draw = Run.Visible && !GS.Degenerate && Ras != nullptr;

    if (OnDevice) Device()->BeginPath();
    if (EPSOut) FEPS->PSNewPath();
    if (Ras != nullptr) {
        Ras->RenderingMode = GS.TextRenderingMode;
        if (FGDIPlusSettings.DirectFonts && Picasso && Picasso->Model() == pmGDIPlus)
            Ras->SetupDirectFont(Picasso.get());
    }
    double M = Ras != nullptr ? Ras->FontMatrixScaling() : 1;
    if (!FiniteNumber(M)) M = 0;
    if (OnDevice) {
        Run.ApplyFillState(pfUnknown);
        Run.ApplyStrokeState();
    }

    const double I = Type3 ? 1 : 1000;
    const double Th = GS.TextScaling;
    const double Tc = GS.CharSpacing, Tw = GS.WordSpacing, Ts = GS.TextRise;
    const double T3M11 = Type3 ? Type3->FontMatrix.eM11 : 1;

    // Glyph space to device (or, for EPS, to the writer's user space).
    const TPDFXForm SavedCanvas = CanvasMat;
    struct TRestore {
        TPDFXForm& Target;
        TPDFXForm Value;
        ~TRestore() { Target = Value; }
    } Restore{CanvasMat, SavedCanvas};
    TPDFXForm Mat = EPSOut ? GS.TM : IdentityXForm;
    bool MatOk = true;
    if (!EPSOut) MatOk = TContentRun::SafeMul(GS.TM, CanvasMat, Mat);
    if (Type3 && MatOk) MatOk = TContentRun::SafeMul(Type3->FontMatrix, Mat, Mat);
    if (MatOk) MatOk = TContentRun::SafeMul({Tfs / I * Th / 100, 0, 0, Tfs / I, 0, 0}, Mat, Mat);
    if (!EPSOut) CanvasMat = Mat;

    TGlyphDeviceCanvas DevCanvas(OnDevice ? Device() : nullptr);
    TGlyphEPSCanvas EPSCanvas(FEPS.get());
    TPDFGenericCanvas* Canvas = EPSOut ? static_cast<TPDFGenericCanvas*>(&EPSCanvas)
                                       : static_cast<TPDFGenericCanvas*>(&DevCanvas);
    // Type 3 procedures draw on the device; the EPS writer takes outlines.
    const bool CanDraw = Draw && MatOk && (OnDevice || (EPSOut && !Type3));

    auto DrawGlyph = [&](const std::string& GlyphName, double GX, double GY) {
        if (!CanDraw) return;
        if (Type3) {
            ShowType3Glyph(Run, *Type3, F, GlyphName, GX, GY);
            return;
        }
        try {
            Ras->RenderToCanvas(GX, GY, Canvas, Mat, GlyphName, F->Enc);
        } catch (const EMathError&) {
            // A glyph that maps outside finite numbers leaves no outline.
        }
    };

    // Composite fonts draw by glyph number (never Type 3), resolved once
    // per font and number.
    auto DrawGlyphId = [&](uint32_t Glyph, double GX, double GY) {
        if (!CanDraw) return;
        if (Type3) {
            DrawGlyph("GID:" + std::to_string(Glyph), GX, GY);
            return;
        }
        try {
            int32_t Resolved = TPDFFontRasterizer::kByName;
            if (Glyph <= 0xFFFF) {
                if (F->ResolvedGlyphIds.empty())
                    F->ResolvedGlyphIds.assign(0x10000, TPDFFontCollectionData::kUnresolved);
                int32_t& Memo = F->ResolvedGlyphIds[Glyph];
                if (Memo == TPDFFontCollectionData::kUnresolved) Memo = Ras->ResolveGlyphId(Glyph);
                Resolved = Memo;
            }
            if (Resolved == TPDFFontRasterizer::kByName)
                Ras->RenderGlyphToCanvas(GX, GY, Canvas, Mat, Glyph, F->Enc);
            else if (Resolved != TPDFFontRasterizer::kNoGlyph)
                Ras->RenderResolvedGlyph(GX, GY, Canvas, Mat, Resolved);
        } catch (const EMathError&) {
        }
    };

    if (CanDraw) F->CheckResolvedGlyphs();
    double X = 0, Y = 0;
    const bool SubstituteSkipsNotdef = (F->SubType == "Type1" || F->SubType == "TrueType") &&
                                       !F->Embedded &&
                                       dynamic_cast<TPDFTrueTypeRasterizer2*>(Ras) != nullptr;
    // Simple fonts draw the glyph of each code, resolved once per font and
    // code; the substitute face skips ".notdef" but advances.
    auto DrawCode = [&](unsigned char B, double GX, double GY) {
        if (!CanDraw) return;
        const std::string& Name = F->Encoding[B];
        if (Type3) {
            DrawGlyph(Name, GX, GY);
            return;
        }
        try {
            int32_t& Memo = F->ResolvedGlyphs[B];
            if (Memo == TPDFFontCollectionData::kUnresolved) {
                F->NotdefCodes[B] = Name == ".notdef";
                Memo = Ras->ResolveGlyph(Name);
            }
            if (SubstituteSkipsNotdef && F->NotdefCodes[B]) return;
            if (Memo == TPDFFontRasterizer::kByName)
                Ras->RenderToCanvas(GX, GY, Canvas, Mat, Name, F->Enc);
            else if (Memo != TPDFFontRasterizer::kNoGlyph)
                Ras->RenderResolvedGlyph(GX, GY, Canvas, Mat, Memo);
        } catch (const EMathError&) {
            // A glyph that maps outside finite numbers leaves no outline.
        }
    };
    const bool IsCIDFontType0 = F->SubType == "CIDFontType0";
    const bool IsCIDFont = IsCIDFontType0 || F->SubType == "CIDFontType2";
    TCMapCodeList Codes;
    for (std::string_view Op : Ops) {
        if (!IsStringOperand(Op)) {
            double N = 0;
            ParseNumberInto(Op, N);
            if (!FiniteNumber(N) || M == 0) continue;
            double E = std::fabs(Th) * (N * I / 1000 / M) / 100;
            if (Type3) E = T3M11 != 0 ? Th * (N * I / 1000 / M) / 100 / T3M11 : 0;
            (Vertical ? Y : X) -= E;
            continue;
        }
        const std::string Bytes = OperandBytes(Op);
        if (!F->IsComposite) {
            for (unsigned char B : Bytes) {
                double W = F->Widths[B];
                if (Ras != nullptr && M != 0 && M != 1) W = W / M * Th / 100;
                if (M != 0) {
                    // Type 3 widths are in glyph space: both spacings are
                    // taken there through the font matrix.
                    double Sp = Tc * I / Tfs / M;
                    double Wp = B == 32 ? I * Tw / Tfs / M : 0;
                    if (Type3) {
                        Sp = T3M11 != 0 ? Sp / T3M11 : 0;
                        Wp = T3M11 != 0 ? Wp / T3M11 : 0;
                    }
                    W += Sp + Wp;
                } else {
                    W = Tc * I / Tfs + W;
                    if (B == 32) W += I * Tw / Tfs;
                }
                DrawCode(B, X, Ts * I / Tfs);
                if (FiniteNumber(W)) X += W;
            }
            continue;
        }
        // Composite fonts: codes by the encoding CMap.
        Col->GetCodeList(Bytes, Codes);
        for (uint32_t C : Codes) {
            uint32_t Key = C;
            bool Mapped = false;
            uint32_t Unit = 0;
            if (F->ToUnicodeMap && !F->Embedded && FirstUnit(*F->ToUnicodeMap, C, Unit)) {
                Key = Unit;
                Mapped = true;
            }
            if (!Mapped) {
                if (F->HasOwnCIDToGIDMap && F->EncodingBuiltIn) {
                    Mapped = true;
                } else if ((C != 32 || !F->SingleByteCMap) && F->GIDToCIDMap != -1) {
                    const int V = Col->ResourceCMapGetValue(F->GIDToCIDMap, Key);
                    if (V != -1) Key = uint32_t(V);
                }
            }
            uint32_t Glyph = Key;
            if (!F->ToUnicodeMap || F->Embedded) {
                if (!Mapped && C == 32 && F->SingleByteCMap) {
                    Glyph = 32;
                } else if (F->CIDToGIDMap != nullptr) {
                    uint16_t G = 0;
                    F->CIDToGIDMap->Lookup(uint16_t(Key), G);
                    Glyph = Key <= 0xFFFF && G != 0 ? G : Key;
                } else if (!F->AdobeGIDType0 || F->Embedded) {
                    Glyph = Key;
                } else {
                    const int32_t Entry = AdobeCIDEntry(Key);
                    Glyph = Entry == -1                    ? Key
                            : IsCIDFontType0 ? uint32_t(Entry)
                                                           : uint32_t(std::max(Entry - 2, 0));
                }
            }
            // Width and spacing.
            double W = I, S = 0;
            if (F->CIDWidths) {
                const uint32_t WidthKey = (F->ToUnicodeMap && !F->Embedded) ? C : Key;
                std::optional<int32_t> Found = F->CIDWidths->Width(WidthKey);
                if (!Found && IsCIDFont && F->GIDToCIDMap != -1) {
                    const int V =
                        Col->ResourceCMapGetValue(F->GIDToCIDMap, F->ToUnicodeMap ? C : Key);
                    if (V >= 0) Found = F->CIDWidths->Width(uint32_t(V));
                }
                if (!Found) Found = F->CIDWidths->Default();
                if (Found) {
                    S = Tc * I / Tfs;
                    if (C == 32 && F->SingleByteCMap) S += I * Tw / Tfs;
                    W = *Found + S;
                }
            }
            if (Vertical)
                DrawGlyphId(Glyph, X - W / 2, Y - F->DW2_v);
            else
                DrawGlyphId(Glyph, X, Ts * I / Tfs);
            if (Vertical) {
                if (FiniteNumber(S)) Y += F->DW2_w1 + S;
            } else if (FiniteNumber(W)) {
                X += W;
            }
        }
    }

    // The text matrix moves by the advance.
    const double MF = M == 0 ? 1 : M;
    const double TX = Th * (MF * (Tfs * X) / I) / 100, TY = Th * (MF * (Y * Tfs) / I) / 100;
    if (FiniteNumber(TX) && FiniteNumber(TY))
        TContentRun::SafeMul({1, 0, 0, 1, TX, TY}, GS.TM, GS.TM);
    CanvasMat = SavedCanvas;

    // One paint for the whole show.
    const int32_t Mode = GS.TextRenderingMode;
    const bool Fill = Mode == 0 || Mode == 2 || Mode == 4 || Mode == 6;
    const bool Stroke = Mode == 1 || Mode == 2 || Mode == 5 || Mode == 6;
    const bool Clip = Mode >= 4 && Mode <= 7;
    if (EPSOut) {
        if (Fill) {
            FEPS->PSSetColor(GS.FillColorEPS);
            FEPS->PSFill(false);
        }
        if (Stroke) {
            FEPS->PSSetColor(GS.StrokeColorEPS);
            FEPS->PSStroke();
        }
        return;
    }
    if (!OnDevice) return;
    TPDFRenderCanvas* D = Device();
    if (GS.Degenerate || DevCanvas.Invalid || !Run.Visible) {
        D->NullPath();
        return;
    }
    if (Run.Library) {
        PaintLibraryText(Run, Type3 != nullptr, CanvasMat);
        return;
    }
    if (Run.RegionPass() && !DevCanvas.Empty && (Fill || Stroke)) {
        double Pad = 0;
        if (Stroke) {
            const TPDFXForm& M = CanvasMat;
            Pad = std::max(1.0, GS.LineWidth * std::sqrt(std::fabs(M.eM11 * M.eM22 - M.eM12 * M.eM21)));
        }
        if (PrinterPassSkips(DevCanvas.MinX - Pad, DevCanvas.MinY - Pad, DevCanvas.MaxX + Pad,
                             DevCanvas.MaxY + Pad, Run.PlainPaint(Fill, Stroke))) {
            // Left to the renderer library's pass; a clipping mode still clips.
            if (Clip) D->SetClippingPath(pfWinding);
            D->NullPath();
            return;
        }
    }
    if (Stroke) Run.ApplyStrokeState();
    if (Fill) Run.ApplyFillState(pfWinding);
    if (Clip) D->SetClippingPath(pfWinding);
    if (Fill && Stroke)
        D->StrokeAndFillPath();
    else if (Stroke)
        D->StrokePath();
    else if (Fill)
        D->FillPath();
    else
        D->NullPath();
}

// The paint of one text show through the renderer library: the outlines
// are in device space, so the library draws them under the identity; the
// clip modes add them to the library's text clip, applied at ET.
void TPDFRenderer::PaintLibraryText(TContentRun& Run, bool Type3, const TPDFXForm& TextMatrix) {
    TPDFGraphicsState& GS = Run.GS;
    TPDFRenderCanvas* D = Device();
    const int32_t Mode = GS.TextRenderingMode;
    const TPDFXForm SavedCanvas = CanvasMat;
    const double SavedWidth = GS.LineWidth;
    CanvasMat = IdentityXForm;
    if (Picasso) Picasso->SetCurrentXForm(IdentityXForm);
    if (Mode > 3) {
        if (TKorbexPDFLibraryKPLR* L = Run.LibraryDLL())
            L->KPLR_add_to_text_clip(Picasso->RendererHandle());
    }
    const bool Fill = Mode == 0 || Mode == 2 || Mode == 4 || Mode == 6;
    const bool Stroke = Mode == 1 || Mode == 2 || Mode == 5 || Mode == 6;
    if (Type3 || (!Fill && !Stroke)) {
        D->NullPath();
    } else {
        if (Stroke) {
            // The width in device units: the length of (0, width) under the
            // text matrix.
            const double X = SavedWidth * TextMatrix.eM21, Y = SavedWidth * TextMatrix.eM22;
            const double W = std::sqrt(X * X + Y * Y);
            GS.LineWidth = FiniteNumber(W) ? W : SavedWidth;
            Run.ApplyStrokeState();
        }
        if (Fill) Run.ApplyFillState(pfWinding);
        if (Fill && Stroke)
            D->StrokeAndFillPath();
        else if (Stroke)
            D->StrokePath();
        else
            D->FillPath();
    }
    GS.LineWidth = SavedWidth;
    CanvasMat = SavedCanvas;
    if (Picasso) Picasso->SetCurrentXForm(CanvasMat);
}

// ---- Text extraction -------------------------------------------------------

void TPDFRenderer::GetFunnelTextColor(const TPDFGraphicsState& GS, TPDFTextColor& Color) const {
    Color.Color.clear();
    char B[16];
    if (FFunnel && FFunnel->OutputCMYK() &&
        (GS.FillColorSpace == "DeviceCMYK" || GS.AlternateFillCS == "DeviceCMYK")) {
        const double C[4] = {GS.FillColorCMYK.Cyan, GS.FillColorCMYK.Magenta,
                             GS.FillColorCMYK.Yellow, GS.FillColorCMYK.Black};
        Color.HexColor.clear();
        for (double V : C) {
            const double Clamped = std::isfinite(V) ? std::clamp(V, 0.0, 1.0) : 0;
            std::snprintf(B, sizeof B, "%02X", unsigned(std::lround(Clamped * 255)));
            Color.HexColor += B;
            Color.Color.push_back(Clamped);
        }
        return;
    }
    const TColor F = GS.FillColor;
    const unsigned R = F & 0xFF, G = (F >> 8) & 0xFF, Bl = (F >> 16) & 0xFF;
    std::snprintf(B, sizeof B, "#%02X%02X%02X", R, G, Bl);
    Color.HexColor = B;
    Color.Color = {R / 255.0, G / 255.0, Bl / 255.0};
}

void TPDFRenderer::ShowTextToFunnel(TContentRun& Run) {
    const std::vector<std::string_view> Ops = TakeShowOperands(Run);

    TPDFFontCollection* Col = Fonts();
    TPDFFontCollectionData* F = Col ? Col->FoundFontData() : nullptr;
    TPDFGraphicsState& GS = Run.GS;
    const double Tfs = GS.TextSize;
    if (F == nullptr || Tfs == 0 || !FiniteNumber(Tfs) || FFunnel == nullptr) return;
    TPDFTextFunnelBase& Funnel = *FFunnel;

    const bool Vertical = F->CIDEncoding.size() >= 2 &&
                          F->CIDEncoding.compare(F->CIDEncoding.size() - 2, 2, "-V") == 0;
    auto* Type3 = dynamic_cast<TPDFType3Rasterizer*>(F->Rasterizer.get());
    if (F->Rasterizer) F->Rasterizer->RenderingMode = GS.TextRenderingMode;
    const double I = Type3 ? 1 : 1000;
    const double Th = GS.TextScaling, Tc = GS.CharSpacing, Tw = GS.WordSpacing, Ts = GS.TextRise;
    const double T3M11 = Type3 ? Type3->FontMatrix.eM11 : 1;

    // The run matrix: scaled text space to page space.
    TPDFXForm Mat;
    bool MatOk = TContentRun::SafeMul(GS.TM, CanvasMat, Mat);
    if (Type3 && MatOk) MatOk = TContentRun::SafeMul(Type3->FontMatrix, Mat, Mat);
    if (MatOk) MatOk = TContentRun::SafeMul({Tfs / I * Th / 100, 0, 0, Tfs / I, 0, 0}, Mat, Mat);

    // Height and baseline offset of the runs, in text units.
    double Ascent = F->Ascent, Descent = -std::fabs(F->Descent);
    auto FromBounds = [&](bool WithType3) {
        const double K = WithType3 && Type3 ? T3M11 : 1;
        Ascent = F->Bound.Top * Tfs * Mat.eM11 / 1.5 * K;
        Descent = -std::fabs(F->Bound.Bottom * Tfs * Mat.eM11) / 2 * K;
    };
    if (Ascent == 0 && Descent == 0) {
        FromBounds(true);
        if (Ascent == 0 && Descent == 0) {
            Ascent = 2.5 * Tfs;
            Descent = -std::fabs(Tfs / 2);
        }
    }
    if (Ascent - Descent > 1500) {
        const double K = 1000 / (Ascent - Descent);
        Ascent *= K;
        Descent *= K;
    }
    if (Ascent <= 20) FromBounds(false);
    if (Funnel.IgnoreDescenders()) Descent = 0;
    const double Height = Ascent - Descent;
    const double Offset = Descent + Ts * I / std::fabs(Tfs);
    double FontHeight = 0;
    {
        const double H = Type3 ? Height : I;
        FontHeight = std::hypot(H * Mat.eM21, H * Mat.eM22);
        if (!FiniteNumber(FontHeight)) FontHeight = 0;
    }
    const bool Usable = MatOk && FiniteNumber(Height) && FiniteNumber(Offset);

    double X = 0, Y = 0, S = 0, K = 0;
    std::u16string RunText;
    std::vector<double> Positions;
    TPDFTextColor Color;
    auto Emit = [&](std::u16string_view Text, double At, double Width,
                    const std::vector<double>& Pos) {
        if (!Usable || Text.empty() || !FiniteNumber(At) || !FiniteNumber(Width)) return;
        GetFunnelTextColor(GS, Color);
        std::vector<double> P = Pos;
        if (P.size() < Text.size()) P.resize(Text.size(), P.empty() ? At : P.back());
        Funnel.AddText(Mat, Text, Color, F->FontName, FontHeight, At, Offset, Width, Height, P);
    };
    auto EmitRun = [&](double Width) {
        Emit(RunText, S, Width, Positions);
        RunText.clear();
        Positions.clear();
    };
    auto Append = [&](const std::u16string& T, double L) {
        for (size_t Kx = 0; Kx < T.size(); ++Kx)
            Positions.push_back(X + L * double(Kx) / double(T.size()));
        RunText += T;
    };
    const std::u16string Space = u" ";
    TCMapCodeList Codes;

    for (std::string_view Op : Ops) {
        if (!IsStringOperand(Op)) {
            double N = 0;
            ParseNumberInto(Op, N);
            if (!FiniteNumber(N)) continue;
            if (!RunText.empty()) {
                EmitRun(X - S - K);
                Funnel.SetNextMatch(true);
            }
            double E = std::fabs(Th) * (N * I / 1000) / 100;
            if (Type3) E = T3M11 != 0 ? Th * (N * I / 1000) / 100 / T3M11 : 0;
            (Vertical ? Y : X) -= E;
            S = X;
            continue;
        }
        const std::string Bytes = OperandBytes(Op);
        if (!F->IsComposite) {
            for (unsigned char B : Bytes) {
                const double L = F->Widths[B];
                K = Tc * I / Tfs + (B == 32 ? Tw * I / Tfs : 0);
                if (Type3) {
                    K = (Tc - 1) * L * I / Tfs;
                    if (B == 32) K = K * Tw * I / Tfs;
                }
                std::u16string T;
                if (F->ToUnicodeMap) T = MappedText(*F->ToUnicodeMap, B);
                if (T.empty()) T = Col->GetWideMap(B);
                if (T == Space && B != 32) K += Tw * I / std::fabs(Tfs);
                const bool IsSpace = T == Space;
                bool Ruled = true;
                if (Funnel.SplitOnDoubleSpace() && IsSpace && !RunText.empty() &&
                    RunText.back() == u' ') {
                    if (RunText != Space) EmitRun(X - S);
                    RunText.clear();
                    Positions.clear();
                    Funnel.SetNextMatch(false);
                } else if (IsSpace && (Tw > 1 || Tc > 1)) {
                    if (!RunText.empty()) {
                        EmitRun(X - S);
                        Funnel.SetNextMatch(true);
                    } else {
                        Funnel.SetNextMatch(false);
                    }
                } else if (IsSpace && !RunText.empty() && Funnel.SplitWords()) {
                    EmitRun(X - S);
                    Funnel.SetNextMatch(!Funnel.SplitWords());
                } else if (IsSpace && RunText.empty() && Funnel.SplitWords()) {
                    Funnel.SetNextMatch(!Funnel.SplitWords());
                } else {
                    Ruled = false;
                    if (std::fabs(Tc) > 1) {
                        const std::vector<double> Zero(T.size(), 0);
                        Emit(T, X, L, Zero);
                        RunText.clear();
                        Positions.clear();
                        S = X + L + K;
                        Funnel.SetNextMatch(true);
                    } else if (Tw <= 1 || !IsSpace) {
                        Append(T, L);
                    }
                }
                if (Ruled) S = X + L + K;
                if (FiniteNumber(L + K)) X += L + K;
            }
            continue;
        }
        // Composite fonts.
        Col->GetCodeList(Bytes, Codes);
        for (uint32_t C : Codes) {
            const uint32_t Read = C;
            std::u16string T;
            if (F->ToUnicodeMap) {
                T = MappedText(*F->ToUnicodeMap, C);
            } else if (F->GIDToCIDMap != -1) {
                const int V = Col->ResourceCMapGetValue(F->GIDToCIDMap, C);
                if (V != -1) C = uint32_t(V);
            }
            if (!F->ToUnicodeMap && F->GIDToCIDMap == -1 && F->CIDToGIDMap != nullptr &&
                C <= 0xFFFF) {
                uint16_t V = 0;
                if (F->CIDToGIDMap->Lookup(uint16_t(C), V) && V != 0) T = Col->GetWideMap(V);
            }
            if (T.empty() && F->AdobeGIDType0) {
                // Past the end of the collection's table a CID gives no
                // character of it.
                const int32_t Entry = AdobeCIDEntry(C);
                if (Entry != -1) {
                    const int32_t U = F->SubType == "CIDFontType0" ? Entry : Entry - 2;
                    if (U > 0 && U <= 0xFFFF) T = std::u16string(1, char16_t(U));
                }
            }
            if (T.empty()) T = Col->GetWideMap(C);
            // Width and spacing.
            double W = I;
            K = 0;
            if (F->CIDWidths) {
                const uint32_t WidthKey = (F->Embedded || !F->ToUnicodeMap) ? C : Read;
                std::optional<int32_t> Found = F->CIDWidths->Width(WidthKey);
                if (!Found && (F->SubType == "CIDFontType2" || F->SubType == "CIDFontType0") &&
                    F->GIDToCIDMap != -1) {
                    const int V = Col->ResourceCMapGetValue(F->GIDToCIDMap, WidthKey);
                    if (V >= 0) Found = F->CIDWidths->Width(uint32_t(V));
                }
                if (!Found) Found = F->CIDWidths->Default();
                W = Found ? *Found : I;
                K = Tc * I / Tfs + (Read == 32 && F->SingleByteCMap ? Tw * I / Tfs : 0);
                if (Type3) K *= W;
            }
            const double L = F->CIDWidths ? W + K : I;
            if (!F->CIDWidths) K = 0;
            // Space folding.
            if (T.size() == 1) {
                const char16_t U = T[0];
                if (U == 0xA0 || U == 0x1680 || (U >= 0x2000 && U <= 0x200A) || U == 0x202F ||
                    U == 0x205F || U == 0x3000)
                    T = Space;
            }
            if (T.empty() || (!Funnel.OutputNonAscii() && T.size() == 1 && T[0] < u' ')) T = Space;
            const bool IsSpace = T == Space;
            if (Funnel.SplitOnDoubleSpace() && IsSpace && !RunText.empty() &&
                RunText.back() == u' ') {
                if (RunText != Space) EmitRun(X - S);
                RunText.clear();
                Positions.clear();
                Funnel.SetNextMatch(false);
                S = X + L;
            } else if (IsSpace && !RunText.empty() && Funnel.SplitWords()) {
                EmitRun(X - S);
                Funnel.SetNextMatch(!Funnel.SplitWords());
                S = X + L;
            } else if (IsSpace && RunText.empty() && Funnel.SplitWords()) {
                Funnel.SetNextMatch(!Funnel.SplitWords());
                S = X + L;
            } else if (std::fabs(Tc) > 1 || (Tw > 1 && IsSpace)) {
                // The pending run keeps its text: it goes out first, then the
                // character alone at its own place and advance.
                if (!RunText.empty()) {
                    EmitRun(X - S);
                    Funnel.SetNextMatch(true);
                }
                if (!IsSpace)
                    Funnel.SetNextMatch(true);
                else
                    Funnel.SetNextMatch(!Funnel.SplitWords());
                Emit(T, X, L - K, std::vector<double>(T.size(), X));
                Funnel.SetNextMatch(!Funnel.SplitWords());
                S = X + L;
            } else {
                Append(T, L);
            }
            if (Vertical) {
                if (FiniteNumber(F->DW2_w1 + K)) Y += F->DW2_w1 + K;
            } else if (FiniteNumber(L)) {
                X += L;
            }
        }
    }
    if (!RunText.empty() && !(RunText == Space && Funnel.SplitWords())) EmitRun(X - S - K);
    RunText.clear();
    const double TX = Th * (Tfs * X / I) / 100, TY = Y * Tfs / I * Th / 100;
    if (FiniteNumber(TX) && FiniteNumber(TY))
        TContentRun::SafeMul({1, 0, 0, 1, TX, TY}, GS.TM, GS.TM);
}

}  // namespace velmo
