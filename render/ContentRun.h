// The interpretation of one content: scanner, operand and state stacks,
// and the operators, as one record per RenderContent call. The libraries
// that draw text, images, XObjects and patterns work on it through the
// renderer's hooks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/StringHelpers.h"
#include "platform/ui/Messages.h"
#include "render/Renderer.h"

namespace velmo {

struct TPDFRenderer::TContentRun {
    static constexpr bool IsWhite(char C) {
        return C == 0 || C == 9 || C == 10 || C == 12 || C == 13 || C == 32;
    }

    static constexpr bool EndsRegular(char C) {
        return IsWhite(C) || C == '(' || C == '/' || C == '<' || C == '[' || C == ']' || C == '%';
    }

    enum TOp : uint8_t {
        opNone,
        op_q,
        op_Q,
        op_cm,
        op_w,
        op_J,
        op_j,
        op_M,
        op_d,
        op_ri,
        op_gs,
        op_m,
        op_l,
        op_c,
        op_v,
        op_y,
        op_re,
        op_h,
        op_S,
        op_s,
        op_f,
        op_F,
        op_fstar,
        op_B,
        op_Bstar,
        op_b,
        op_bstar,
        op_n,
        op_W,
        op_Wstar,
        op_sh,
        op_BT,
        op_ET,
        op_Tc,
        op_Tw,
        op_Tz,
        op_TL,
        op_Ts,
        op_Tr,
        op_Tf,
        op_Td,
        op_TD,
        op_Tm,
        op_Tstar,
        op_Tj,
        op_TJ,
        op_quote,
        op_dquote,
        op_d1,
        op_CS,
        op_cs,
        op_G,
        op_RG,
        op_K,
        op_g,
        op_rg,
        op_k,
        op_SC,
        op_sc,
        op_SCN,
        op_scn,
        op_BI,
        op_Do,
        op_BMC,
        op_BDC,
        op_EMC,
        op_array
    };

    static bool FiniteXForm(const TPDFXForm& M) {
        return std::isfinite(M.eM11) && std::isfinite(M.eM12) && std::isfinite(M.eM21) &&
               std::isfinite(M.eM22) && std::isfinite(M.eDx) && std::isfinite(M.eDy);
    }

    // The product A × B, or false when it is not finite.
    static bool SafeMul(const TPDFXForm& A, const TPDFXForm& B, TPDFXForm& R) {
        TPDFXForm T;
        T.eM11 = A.eM11 * B.eM11 + A.eM12 * B.eM21;
        T.eM12 = A.eM11 * B.eM12 + A.eM12 * B.eM22;
        T.eM21 = A.eM21 * B.eM11 + A.eM22 * B.eM21;
        T.eM22 = A.eM21 * B.eM12 + A.eM22 * B.eM22;
        T.eDx = A.eDx * B.eM11 + A.eDy * B.eM21 + B.eDx;
        T.eDy = A.eDx * B.eM12 + A.eDy * B.eM22 + B.eDy;
        if (!FiniteXForm(T)) return false;
        R = T;
        return true;
    }

    static bool Singular(const TPDFXForm& M) {
        const double Det = M.eM11 * M.eM22 - M.eM12 * M.eM21;
        return !std::isfinite(Det) || Det == 0;
    }

    static double Clamp01(double V) { return V < 0 ? 0 : (V > 1 ? 1 : V); }

    static std::string RGBText(TColor C) {
        std::string S;
        TPDFRenderer::AppendNumber(S, (C & 0xFF) / 255.0);
        TPDFRenderer::AppendNumber(S, ((C >> 8) & 0xFF) / 255.0);
        TPDFRenderer::AppendNumber(S, ((C >> 16) & 0xFF) / 255.0);
        S += "setrgbcolor";
        return S;
    }

    // Operator names to operators.
    static const std::unordered_map<std::string_view, TOp>& OpTable();

    TPDFRenderer& R;
    std::string Content;
    std::string_view Text;
    size_t Pos = 0;  // 0-based
    TPDFDictionary* Resources = nullptr;
    std::vector<std::string_view> Operands;
    std::vector<TPDFGraphicsState> States;
    static constexpr size_t kMaxOperands = 1 << 16;
    static constexpr size_t kMaxStateDepth = 4096;
    size_t IgnoredSaves = 0;
    TPDFGraphicsState GS;
    bool Visible = true;
    bool PathStarted = false;
    // A point of the current path did not map to finite device numbers.
    bool PathInvalid = false;
    int32_t ArrayCount = 0;
    bool UncolouredGlyph = false;
    std::vector<bool> Marked;  // visibility to restore at each EMC
    bool EPS = false;
    bool Library = false;
    // Soft masks of the default model in force, each with the state depth
    // it was set at (it ends when the state below that depth is restored).
    struct TMaskInForce {
        size_t Depth = 0;
        std::vector<uint8_t> Coverage;
        // Imaged: drawing under it is left out and placed as an image.
        bool Imaged = false;
        // The resources and the content position of the gs that set it.
        const void* Key = nullptr;
        size_t Pos = 0;
    };
    std::vector<TMaskInForce> Masks;
    // Ends the masks set at Depth or deeper.
    void EndMasks(size_t Depth) {
        while (!Masks.empty() && Masks.back().Depth >= Depth) {
            TMaskInForce M = std::move(Masks.back());
            Masks.pop_back();
            R.EndSoftMask(M.Imaged, M.Coverage, M.Key, M.Pos);
        }
    }
    // An image with a soft mask of its own ignores the graphics state's: the
    // layers of the masks in force here are laid on before it is drawn and
    // begun again, with the same coverage, for what follows.
    template <class TDraw>
    void WithoutStateMasks(TDraw&& Draw) {
        if (Masks.empty() || !R.Picasso) {
            Draw();
            return;
        }
        std::vector<TMaskInForce> Suspended = Masks;
        EndMasks(0);
        Draw();
        for (TMaskInForce& M : Suspended) {
            if (!R.Picasso->BeginMaskLayer(R.MaxX(), R.MaxY())) break;
            Masks.push_back(std::move(M));
        }
    }
    // The default space of this content: patterns chosen here map from it.
    TPDFXForm PatternBase = IdentityXForm;
    // The colour space naming the pattern being looked up (with the
    // components of an uncoloured cell on the operand stack).
    std::string_view PatternCS;

    explicit TContentRun(TPDFRenderer& AR) : R(AR) {
        Operands.reserve(100);
        States.reserve(100);
        EPS = R.FDestination == rdEPS;
        Library = R.FDestination == rdKPLR || R.FDestination == rdKPLRBitmap ||
                  R.FDestination == rdKPLRMemory;
        R.FLiveRuns.push_back(this);
    }
    ~TContentRun() { std::erase(R.FLiveRuns, this); }
    TContentRun(const TContentRun&) = delete;
    TContentRun& operator=(const TContentRun&) = delete;

    TPDFRenderCanvas* Dev() { return R.Device(); }

    // ---- First pass of two-pass printing -----------------------------------

    // Device bounds of the current path's points.
    double PathMinX = 0, PathMinY = 0, PathMaxX = 0, PathMaxY = 0;
    bool PathBoxEmpty = true;
    void GrowPathBox(double X, double Y) {
        if (PathBoxEmpty) {
            PathMinX = PathMaxX = X;
            PathMinY = PathMaxY = Y;
            PathBoxEmpty = false;
            return;
        }
        PathMinX = std::min(PathMinX, X);
        PathMaxX = std::max(PathMaxX, X);
        PathMinY = std::min(PathMinY, Y);
        PathMaxY = std::max(PathMaxY, Y);
    }
    // Elements are checked against the region list: the printer's first
    // pass, or drawing under a soft mask that is placed as an image.
    bool RegionPass() const { return R.FDestination == rdKPLRPrinter || R.FImagedMasks > 0; }
    static bool PatternSpace(const std::string& CS) { return CS.rfind("Pattern", 0) == 0; }
    // What a plain device reproduces: normal blending, no soft mask, and on
    // each side painted an opaque colour that is no pattern.
    bool PlainPaint(bool Fill, bool Stroke) const {
        if (GS.BlendMode != bmNormal || GS.Softmask || !Masks.empty()) return false;
        if (Fill && (GS.FillAlpha < 1 || GS.FillPattern != nullptr || PatternSpace(GS.FillColorSpace)))
            return false;
        if (Stroke && (GS.StrokeAlpha < 1 || GS.StrokePattern != nullptr ||
                       PatternSpace(GS.StrokeColorSpace)))
            return false;
        return true;
    }
    bool PlainImage(bool Stencil) const {
        return !Stencil && GS.FillAlpha >= 1 && GS.BlendMode == bmNormal && !GS.Softmask &&
               Masks.empty();
    }
    // The device bounds of the unit square under the current matrix.
    void UnitSquareBounds(double& L, double& T, double& Rt, double& B) const {
        const TPDFXForm& M = R.CanvasMat;
        const double Xs[4] = {M.eDx, M.eM11 + M.eDx, M.eM21 + M.eDx, M.eM11 + M.eM21 + M.eDx};
        const double Ys[4] = {M.eDy, M.eM12 + M.eDy, M.eM22 + M.eDy, M.eM12 + M.eM22 + M.eDy};
        L = *std::min_element(Xs, Xs + 4);
        Rt = *std::max_element(Xs, Xs + 4);
        T = *std::min_element(Ys, Ys + 4);
        B = *std::max_element(Ys, Ys + 4);
    }
    // Whether the inline image at Pos is a stencil mask (/IM or /ImageMask
    // true before its data).
    bool InlineStencil() const {
        const size_t End = std::min(Text.size(), Pos + 4096);
        std::string_view Head = Text.substr(Pos, End - Pos);
        const size_t Id = Head.find("ID");
        if (Id != std::string_view::npos) Head = Head.substr(0, Id);
        for (std::string_view Key : {std::string_view("/ImageMask"), std::string_view("/IM")}) {
            const size_t K = Head.find(Key);
            if (K == std::string_view::npos) continue;
            size_t P = K + Key.size();
            while (P < Head.size() && IsWhite(Head[P])) ++P;
            if (Head.substr(P, 4) == "true") return true;
        }
        return false;
    }

    // ---- Scanner -------------------------------------------------------

    // Every token up to the content's last byte; comments (from '%' to the
    // end of the line) are skipped. An empty token ends the content.
    std::string_view NextToken() {
        const size_t Len = Text.size();
        for (;;) {
            while (Pos < Len && IsWhite(Text[Pos])) ++Pos;
            if (Pos < Len && Text[Pos] == '%') {
                while (Pos < Len && Text[Pos] != '\r' && Text[Pos] != '\n') ++Pos;
                continue;
            }
            break;
        }
        if (Pos >= Len) return {};
        const size_t Start = Pos;
        const char C = Text[Pos];
        if (C == '(') {
            int32_t Depth = 0;
            while (Pos < Len) {
                const char D = Text[Pos++];
                if (D == '\\') {
                    if (Pos < Len) ++Pos;
                } else if (D == '(') {
                    ++Depth;
                } else if (D == ')') {
                    if (--Depth == 0) break;
                }
            }
        } else if (C == '<' && Pos + 1 < Len && Text[Pos + 1] == '<') {
            Pos += 2;
            while (Pos < Len && !(Text[Pos] == '>' && Pos + 1 < Len && Text[Pos + 1] == '>')) ++Pos;
            Pos = std::min(Len, Pos + 2);
        } else if (C == '<') {
            while (Pos < Len && Text[Pos] != '>') ++Pos;
            if (Pos < Len) ++Pos;
        } else if (C == '\'' || C == '[' || C == ']') {
            ++Pos;
        } else {
            ++Pos;
            while (Pos < Len && !EndsRegular(Text[Pos])) ++Pos;
        }
        return Text.substr(Start, Pos - Start);
    }

    // ---- Operands ------------------------------------------------------

    void Push(std::string_view T) {
        if (T.empty()) return;
        // Operators take their operands from the top; a content that piles
        // up more than any operator takes loses its oldest half instead of
        // growing without bound.
        if (Operands.size() >= kMaxOperands)
            Operands.erase(Operands.begin(), Operands.begin() + kMaxOperands / 2);
        Operands.push_back(T);
    }
    double PopNumber() {
        if (Operands.empty()) return 0;
        double V = 0;
        ParseNumberInto(Operands.back(), V);
        Operands.pop_back();
        return V;
    }
    std::string_view PopString() {
        if (Operands.empty()) return {};
        std::string_view V = Operands.back();
        Operands.pop_back();
        return V;
    }

    TPDFObject* Resolve(TPDFObject* O) {
        if (auto* Ref = ObjAs<TPDFIndRef>(O)) return R.FindObject(Ref);
        return O;
    }
    TPDFDictionary* SubDict(TPDFDictionary* D, std::string_view Key) {
        if (D == nullptr) return nullptr;
        return ObjAs<TPDFDictionary>(Resolve(D->FindValueByKeyName(Key, false)));
    }

    // ---- Graphics state ------------------------------------------------

    // Cairo and the renderer library keep their own state stack.
    static constexpr size_t kMaxColorSpaceObjects = 4096;

    bool OwnStateStack() const {
        return Library || R.FDestination == rdCairo || R.FDestination == rdCairoBitmap;
    }

    void SaveGraphicsState() {
        // Beyond the depth limit a q is counted, not saved, and so is its Q.
        if (States.size() >= kMaxStateDepth) {
            ++IgnoredSaves;
            return;
        }
        if (EPS)
            R.FEPS->PSSaveGraphicsState();
        else if (OwnStateStack() && R.Picasso)
            R.Picasso->SaveState();
        else if (Dev())
            GS.ClipRegion = Dev()->SaveClip();
        States.push_back(GS);
    }

    // Reselect: the state's font becomes current again (a Type 3 glyph's
    // caller puts its own font back instead).
    void RestoreGraphicsState(bool Reselect = true) {
        if (IgnoredSaves > 0) {
            --IgnoredSaves;
            return;
        }
        if (!States.empty()) {
            GS = std::move(States.back());
            States.pop_back();
        }
        if (EPS) {
            R.FEPS->PSRestoreGraphicsState();
            return;
        }
        if (OwnStateStack()) {
            // A cairo mask layer holds a state of its own above the one
            // being restored: it ends first.
            if (!Masks.empty()) EndMasks(States.size() + 1);
            if (R.Picasso) R.Picasso->RestoreState();
        } else if (Dev()) {
            Dev()->RestoreClip(GS.ClipRegion);
        }
        if (!Masks.empty()) EndMasks(States.size() + 1);
        R.CanvasMat = GS.CTM;
        if (Dev()) Dev()->SetCurrentXForm(R.CanvasMat);
        if (Reselect) R.SelectFont(*this);
    }

    // ---- Paths ---------------------------------------------------------

    bool ToDevice(double X, double Y, double& DX, double& DY) {
        if (Library) {
            DX = X;
            DY = Y;
            return true;
        }
        const TPDFXForm& M = R.CanvasMat;
        DX = X * M.eM11 + Y * M.eM21 + M.eDx;
        DY = X * M.eM12 + Y * M.eM22 + M.eDy;
        if (!std::isfinite(DX) || !std::isfinite(DY)) {
            PathInvalid = true;
            return false;
        }
        GrowPathBox(DX, DY);
        return true;
    }

    void StartPath() {
        if (PathStarted) return;
        PathStarted = true;
        PathBoxEmpty = true;
        if (EPS)
            R.FEPS->PSNewPath();
        else if (!GS.Degenerate)
            Dev()->BeginPath();
    }

    void MoveTo(double X, double Y) {
        StartPath();
        if (EPS) {
            R.FEPS->PSMoveTo(X, Y);
            return;
        }
        double DX, DY;
        if (GS.Degenerate || !ToDevice(X, Y, DX, DY)) return;
        Dev()->MoveTo(DX, DY);
        GS.XPos = DX;
        GS.YPos = DY;
    }

    void LineTo(double X, double Y) {
        if (EPS) {
            R.FEPS->PSLineTo(X, Y);
            return;
        }
        double DX, DY;
        if (GS.Degenerate || !ToDevice(X, Y, DX, DY)) return;
        if (DX == GS.XPos && DY == GS.YPos) {
            // A zero-length segment still paints a dot.
            Dev()->AddLineToPath(DX - GS.LineWidth * 0.01, DY - GS.LineWidth * 0.01);
        } else {
            Dev()->AddLineToPath(DX, DY);
        }
        GS.XPos = DX;
        GS.YPos = DY;
    }

    void CurveTo(double X1, double Y1, double X2, double Y2, double X3, double Y3) {
        double P[6];
        if (!ToDevice(X1, Y1, P[0], P[1]) || !ToDevice(X2, Y2, P[2], P[3]) ||
            !ToDevice(X3, Y3, P[4], P[5]))
            return;
        Dev()->AddBezierToPath(P[0], P[1], P[2], P[3], P[4], P[5]);
        GS.XPos = P[4];
        GS.YPos = P[5];
    }

    void ClosePath() {
        if (EPS)
            R.FEPS->PSClosePath();
        else if (!GS.Degenerate)
            Dev()->ClosePath();
    }

    void ApplyStrokeState() {
        TPDFRenderCanvas* D = Dev();
        D->SetStrokeAlpha(GS.StrokeAlpha);
        D->SetStrokeColor(uint32_t(GS.StrokeColor));
        D->SetLineWidth(GS.LineWidth);
        TGPDashArray Dash;
        Dash.reserve(GS.DashArray.size());
        for (double V : GS.DashArray) Dash.push_back(float(V));
        D->SetLineDash(Dash, GS.DashPhase);
        D->SetLineJoinStyle(GS.LineJoin);
        D->SetLineCapStyle(GS.LineCap);
        D->SetMiterLimit(GS.MiterLimit);
        if (Library) {
            ApplyLibraryPaintState(true);
        } else if (GS.StrokePattern != nullptr) {
            TPDFXForm M = GS.StrokePatternBase;
            SafeMul(GS.StrokePattern->FMatrix, GS.StrokePatternBase, M);
            D->SetStrokePattern(GS.StrokePattern, M);
        }
    }

    void ApplyFillState(TPDFFillMode Mode) {
        TPDFRenderCanvas* D = Dev();
        D->SetFillAlpha(GS.FillAlpha);
        D->SetFillMode(Mode);
        D->SetFillColor(uint32_t(GS.FillColor));
        if (Library) {
            ApplyLibraryPaintState(false);
        } else if (GS.FillPattern != nullptr) {
            TPDFXForm M = GS.FillPatternBase;
            SafeMul(GS.FillPattern->FMatrix, GS.FillPatternBase, M);
            D->SetFillPattern(GS.FillPattern, M, false);
        }
    }

    // Before a stencil mask is drawn: the device gets the fill paint, so a
    // pattern fill reaches the stencil and a colour set since the last fill
    // replaces a pattern left there.
    void PrepareStencilPaint() {
        if (EPS || Library || Dev() == nullptr) return;
        ApplyFillState(pfWinding);
    }

    // The renderer library also receives the blend mode and the pattern
    // (after the colour, which clears it), placed by the current matrix.
    void ApplyLibraryPaintState(bool Stroke) {
        if (!R.Picasso) return;
        R.Picasso->SetBlendMode(GS.BlendMode);
        const TVPLPattern* Pattern = Stroke ? GS.StrokePattern : GS.FillPattern;
        if (Pattern == nullptr) return;
        R.Picasso->SetCurrentXForm(R.CanvasMat);
        if (Stroke)
            R.Picasso->SetStrokePattern(Pattern);
        else
            R.Picasso->SetFillPattern(Pattern);
    }
    // The renderer library's binding and handle while drawing through it.
    TKorbexPDFLibraryKPLR* LibraryDLL() const {
        return Library && R.Picasso ? R.Picasso->RendererDLL() : nullptr;
    }

    void Paint(TOp Op) {
        const bool Stroke = Op == op_S || Op == op_s || Op == op_B || Op == op_Bstar ||
                            Op == op_b || Op == op_bstar;
        const bool Fill = Op != op_S && Op != op_s;
        const bool EvenOdd = Op == op_fstar || Op == op_Bstar || Op == op_bstar;
        const bool Close = Op == op_s || Op == op_b || Op == op_bstar;
        if (EPS) {
            if (Close && (Op == op_b || Op == op_bstar)) R.FEPS->PSClosePath();
            const bool Draw = Visible && !GS.Degenerate;
            if (Fill) {
                R.FEPS->PSSetColor(GS.FillColorEPS);
                if (Draw) R.FEPS->PSFill(EvenOdd);
            }
            if (Stroke) {
                R.FEPS->PSSetColor(GS.StrokeColorEPS);
                if (Op == op_s) R.FEPS->PSClosePath();
                if (Draw) R.FEPS->PSStroke();
            }
            PathStarted = false;
            PathInvalid = false;
            return;
        }
        TPDFRenderCanvas* D = Dev();
        if (GS.Degenerate) {
            // Nothing was begun on the canvas under this matrix.
            PathStarted = false;
            PathInvalid = false;
            return;
        }
        double Pad = 0;
        if (Stroke) {
            const TPDFXForm& M = R.CanvasMat;
            Pad = std::max(1.0, GS.LineWidth * std::sqrt(std::fabs(M.eM11 * M.eM22 - M.eM12 * M.eM21)));
        }
        if (!Visible || PathInvalid) {
            D->NullPath();
        } else if (RegionPass() && !PathBoxEmpty &&
                   R.PrinterPassSkips(PathMinX - Pad, PathMinY - Pad, PathMaxX + Pad,
                                      PathMaxY + Pad, PlainPaint(Fill, Stroke))) {
            // Left to the renderer library's pass.
            D->NullPath();
        } else {
            if (Stroke) ApplyStrokeState();
            if (Fill) ApplyFillState(EvenOdd ? pfAlternate : pfWinding);
            if (Close) D->ClosePath();
            if (Stroke && Fill)
                D->StrokeAndFillPath();
            else if (Stroke)
                D->StrokePath();
            else
                D->FillPath();
        }
        PathStarted = false;
        PathInvalid = false;
    }

    void Clip(bool EvenOdd) {
        if (EPS) {
            R.FEPS->PSClip(EvenOdd);
        } else if (!GS.Degenerate && !PathInvalid) {
            Dev()->SetClippingPath(EvenOdd ? pfAlternate : pfWinding);
        }
    }

    void EndPath() {
        if (!EPS && !GS.Degenerate) Dev()->NullPath();
        PathStarted = false;
        PathInvalid = false;
    }

    // ---- Colour --------------------------------------------------------

    void ResolveColorSpace(std::string_view ResName, std::string& Designation) {
        Designation.clear();
        if (ResName == "/DeviceRGB" || ResName == "/DeviceGray" || ResName == "/DeviceCMYK" ||
            ResName == "/Pattern") {
            Designation = std::string(ResName.substr(1));
            return;
        }
        TPDFDictionary* CSD = SubDict(Resources, "ColorSpace");
        TPDFObject* V = nullptr;
        if (CSD != nullptr && !ResName.empty())
            V = Resolve(CSD->FindValueByKeyName(ResName.substr(1), false));
        if (auto* N = ObjAs<TPDFName>(V)) {
            if (N->FValue == "DeviceRGB" || N->FValue == "DeviceGray" || N->FValue == "DeviceCMYK")
                Designation = N->FValue;
        } else if (auto* A = ObjAs<TPDFArray>(V)) {
            auto* Fam = ObjAs<TPDFName>(Resolve(A->GetItem(0)));
            const std::string F = Fam ? Fam->FValue : std::string();
            const bool Built = F == "Separation" || F == "DeviceN" || F == "Lab" || F == "Indexed";
            // Every use builds its own object, up to a bound: past it, a
            // resource used again shares the object last built for it, so
            // a content repeating one cs cannot exhaust memory.
            if (Built && R.FSeparationColors.size() + R.FDeviceNColors.size() +
                                 R.FLabColors.size() + R.FIndexedColors.size() >=
                             kMaxColorSpaceObjects) {
                auto It = R.FColorSpaceByArray.find(A);
                if (It != R.FColorSpaceByArray.end()) {
                    Designation = It->second;
                    return;
                }
            }
            if (F == "Separation") {
                auto CS = std::make_unique<TPDFSeparationColorSpace>(R.FColorManager.get());
                CS->FOnFindObject = R.OnFindObject;
                CS->LoadFromArray(A, ResName);
                Designation = "Separation" + std::to_string(R.ObjectToID(CS.get()));
                R.FSeparationColors.push_back(std::move(CS));
            } else if (F == "DeviceN") {
                auto CS = std::make_unique<TPDFDeviceNColorSpace>(R.FColorManager.get());
                CS->FOnFindObject = R.OnFindObject;
                CS->LoadFromArray(A, ResName);
                Designation = "DeviceN" + std::to_string(R.ObjectToID(CS.get()));
                R.FDeviceNColors.push_back(std::move(CS));
            } else if (F == "Lab") {
                auto CS = std::make_unique<TPDFLabColorSpace>();
                CS->FOnFindObject = R.OnFindObject;
                CS->LoadFromArray(A);
                Designation = "Lab" + std::to_string(R.ObjectToID(CS.get()));
                R.FLabColors.push_back(std::move(CS));
            } else if (F == "Indexed") {
                auto CS = std::make_unique<TPDFIndexedColorSpace>();
                CS->FOnFindObject = R.OnFindObject;
                CS->LoadFromArray(A);
                Designation = "Indexed" + std::to_string(R.ObjectToID(CS.get()));
                R.FIndexedColors.push_back(std::move(CS));
            } else if (F == "CalGray") {
                Designation = "DeviceGray";
            } else if (F == "Pattern") {
                Designation = "Pattern";
                if (auto* Base = ObjAs<TPDFName>(Resolve(A->GetItem(1))))
                    Designation += "[" + Base->FValue + "]";
            } else if (F == "ICCBased") {
                if (auto* S = ObjAs<TPDFStream>(Resolve(A->GetItem(1))); S && S->FDictionary) {
                    if (auto* Alt = ObjAs<TPDFName>(
                            Resolve(S->FDictionary->FindValueByKeyName("Alternate", false))))
                        Designation = Alt->FValue;
                    else if (auto* N = ObjAs<TPDFNumeric>(
                                 Resolve(S->FDictionary->FindValueByKeyName("N", false)))) {
                        if (N->FValue == 1) Designation = "DeviceGray";
                        if (N->FValue == 3) Designation = "DeviceRGB";
                        if (N->FValue == 4) Designation = "DeviceCMYK";
                    }
                }
            }
        }
        if (Designation.empty()) Designation = "DeviceRGB";
        if (auto* A = ObjAs<TPDFArray>(V)) {
            const char C = Designation[0];
            if (C == 'S' || C == 'L' || C == 'I' || (C == 'D' && Designation[6] == 'N'))
                R.FColorSpaceByArray[A] = Designation;
        }
    }

    template <class T>
    T* ColorObject(std::string_view Designation, size_t PrefixLen,
                   std::vector<std::unique_ptr<T>>& List) {
        int32_t ID = 0;
        const std::string_view Digits = Designation.substr(PrefixLen);
        for (char C : Digits) {
            if (C < '0' || C > '9' || ID > 0x0FFFFFFF) return nullptr;
            ID = ID * 10 + (C - '0');
        }
        const void* O = R.IDToObject(ID);
        for (auto& P : List)
            if (P.get() == O) return P.get();
        return nullptr;
    }

    // The fill (Fill true) or stroke colour from the operands, in the
    // current designation.
    void SetColorFromOperands(bool Fill) {
        if (UncolouredGlyph) return;
        std::string_view CS = Fill ? GS.FillColorSpace : GS.StrokeColorSpace;
        TColor& Color = Fill ? GS.FillColor : GS.StrokeColor;
        std::string& EPSText = Fill ? GS.FillColorEPS : GS.StrokeColorEPS;
        if (Fill) {
            GS.FillPattern = nullptr;
            GS.AlternateFillCS.clear();
        } else {
            GS.StrokePattern = nullptr;
        }
        TPDFColorManager* CM = R.FColorManager.get();
        auto StartsWith = [&](std::string_view P) { return CS.substr(0, P.size()) == P; };
        if (CS == "DeviceRGB") {
            TPDFRGBColor C;
            C.Blue = Clamp01(PopNumber());
            C.Green = Clamp01(PopNumber());
            C.Red = Clamp01(PopNumber());
            Color = CM->RGB2Color(C);
            EPSText.clear();
            AppendNumber(EPSText, C.Red);
            AppendNumber(EPSText, C.Green);
            AppendNumber(EPSText, C.Blue);
            EPSText += "setrgbcolor";
        } else if (CS == "DeviceCMYK") {
            TPDFCMYKColor C;
            C.Black = PopNumber();
            C.Yellow = PopNumber();
            C.Magenta = PopNumber();
            C.Cyan = PopNumber();
            TPDFCMYKColor In = C;
            TPDFRGBColor RGB = CM->CMYK2RGB(In);
            Color = CM->RGB2Color(RGB);
            EPSText.clear();
            AppendNumber(EPSText, C.Cyan);
            AppendNumber(EPSText, C.Magenta);
            AppendNumber(EPSText, C.Yellow);
            AppendNumber(EPSText, C.Black);
            EPSText += "setcmykcolor";
            if (Fill) GS.FillColorCMYK = C;
        } else if (CS == "DeviceGray") {
            const double G = Clamp01(PopNumber());
            Color = TColor(std::nearbyint(G * 255)) * 0x010101;
            EPSText.clear();
            AppendNumber(EPSText, G);
            EPSText += "setgray";
        } else if (StartsWith("Separation")) {
            auto* S = ColorObject(CS, 10, R.FSeparationColors);
            if (S == nullptr) return;
            S->GetColor(PopNumber(), false);
            Color = S->FResultColor;
            EPSText = S->FResultName;
            if (Fill) {
                GS.AlternateFillCS = S->FAlternate;
                if (S->FAlternate == "DeviceCMYK") GS.FillColorCMYK = S->FCMYKColor;
            }
        } else if (StartsWith("DeviceN")) {
            auto* S = ColorObject(CS, 7, R.FDeviceNColors);
            if (S == nullptr) return;
            const int32_t N = std::clamp(S->FComponentCount, 0, 32);
            double T[32] = {};
            for (int32_t I = N - 1; I >= 0; --I) T[I] = PopNumber();
            S->GetColor(std::span<const double>(T, size_t(N)), false);
            Color = S->FResultColor;
            EPSText = S->FResultName;
        } else if (StartsWith("Indexed")) {
            auto* S = ColorObject(CS, 7, R.FIndexedColors);
            if (S == nullptr) return;
            const double V = PopNumber();
            const int64_t I = std::isfinite(V) ? int64_t(std::clamp(V, -1e15, 1e15)) : 0;
            Color = S->GetColor(uint8_t(I & 0xFF), CM);
            // EPS output gets the device colour, not the previous colour.
            EPSText = RGBText(Color);
        } else if (StartsWith("Lab")) {
            auto* S = ColorObject(CS, 3, R.FLabColors);
            if (S == nullptr) return;
            TPDFLabColor C;
            C.b = PopNumber();
            C.a = PopNumber();
            C.L = PopNumber();
            Color = S->GetColor(C, CM);
            EPSText = RGBText(Color);
        } else if (StartsWith("Pattern")) {
            const size_t Colon = CS.find(':');
            PatternCS = CS;
            const TVPLPattern* Pat = Colon == std::string_view::npos
                                         ? nullptr
                                         : R.FindPattern(*this, CS.substr(Colon + 1));
            PatternCS = {};
            (Fill ? GS.FillPattern : GS.StrokePattern) = Pat;
            (Fill ? GS.FillPatternBase : GS.StrokePatternBase) = PatternBase;
            if (Pat == nullptr) {
                // A pattern that cannot be found paints white.
                Color = 0xFFFFFF;
            } else if (Pat->FPDFPatternType == ptTiling && (Fill || Library)) {
                R.RenderPatternTile(*this, Pat, CS.substr(Colon + 1));
            }
        }
    }

    // Count numbers of A (references resolved) into Out; false when A has
    // fewer items or one of them is not a finite number.
    bool Numbers(TPDFArray* A, size_t Count, double* Out) {
        if (A == nullptr || size_t(A->GetCount()) < Count) return false;
        for (size_t I = 0; I < Count; ++I) {
            auto* N = ObjAs<TPDFNumeric>(Resolve(A->GetItem(int32_t(I))));
            if (N == nullptr || !std::isfinite(N->AsDouble())) return false;
            Out[I] = N->AsDouble();
        }
        return true;
    }

    // ---- Optional content ------------------------------------------------

    // Whether an XObject or soft-mask group with this stream dictionary is
    // drawn by its /OC entry (only an indirect reference to a group or
    // membership dictionary counts).
    bool StreamVisible(TPDFDictionary* Dict) {
        auto* OCRef = ObjAs<TPDFIndRef>(Dict->FindValueByKeyName("OC", false));
        if (OCRef == nullptr) return true;
        auto* OC = ObjAs<TPDFDictionary>(R.FindObject(OCRef));
        if (OC == nullptr) return true;
        const std::string Type = OC->StringValue("Type");
        if (Type == "OCG") return ShowOf(OCRef, Visible, true);
        if (Type == "OCMD") return OCMDVisible(OC);
        return true;
    }

    bool ShowOf(const TPDFIndRef* Ref, bool Current, bool Last) {
        bool V = Current;
        for (const TVPLOCGState& E : R.FOCGStateList) {
            if (E.OCGIndRef == nullptr) continue;
            if (E.OCGIndRef->ObjNum == Ref->ObjNum && E.OCGIndRef->GenNum == Ref->GenNum)
                V = Last ? E.Show : (V && E.Show);
        }
        return V;
    }

    bool OCMDVisible(TPDFDictionary* OCMD) {
        std::vector<TPDFIndRef*> Groups;
        TPDFObject* G = OCMD->FindValueByKeyName("OCGs", false);
        if (auto* Ref = ObjAs<TPDFIndRef>(G)) {
            if (ObjAs<TPDFDictionary>(R.FindObject(Ref))) Groups.push_back(Ref);
        } else if (auto* A = ObjAs<TPDFArray>(Resolve(G))) {
            for (TPDFObject* It : A->LiveItems())
                if (auto* Ref = ObjAs<TPDFIndRef>(It);
                    Ref && ObjAs<TPDFDictionary>(R.FindObject(Ref)))
                    Groups.push_back(Ref);
        }
        std::string Policy = "AnyOn";
        if (auto* P = ObjAs<TPDFName>(Resolve(OCMD->FindValueByKeyName("P", false))))
            Policy = P->FValue;
        size_t On = 0, Off = 0;
        for (TPDFIndRef* Ref : Groups) (ShowOf(Ref, true, false) ? On : Off)++;
        if (Policy == "AllOn") return Off == 0;
        if (Policy == "AnyOn") return On > 0;
        if (Policy == "AllOff") return On == 0;
        if (Policy == "AnyOff") return Off > 0;
        return false;
    }

    void BeginMarkedContent(std::string_view Tag, std::string_view Properties) {
        Marked.push_back(Visible);
        if (Tag != "/OC" || Properties.size() < 2 || Properties[0] != '/') return;
        TPDFDictionary* Props = SubDict(Resources, "Properties");
        if (Props == nullptr) return;
        auto* Ref = ObjAs<TPDFIndRef>(Props->FindValueByKeyName(Properties.substr(1), false));
        if (Ref == nullptr) return;
        auto* D = ObjAs<TPDFDictionary>(R.FindObject(Ref));
        if (D == nullptr) return;
        const std::string Type = D->StringValue("Type");
        if (Type == "OCG")
            Visible = ShowOf(Ref, Visible, false);
        else if (Type == "OCMD")
            Visible = OCMDVisible(D);
    }

    void EndMarkedContent() {
        if (Marked.empty()) {
            Visible = true;
            return;
        }
        Visible = Marked.back();
        Marked.pop_back();
    }

    // ---- Text (drawn by the text library) -------------------------------

    void ShowTextOperands() {
        if (R.FDestination == rdTextFunnel)
            R.ShowTextToFunnel(*this);
        else
            R.ShowText(*this);
    }

    void NextLine() {
        TPDFXForm T{1, 0, 0, 1, 0, -GS.TextLeading};
        SafeMul(T, GS.TLM, GS.TLM);
        GS.TM = GS.TLM;
    }

    // ---- Inline images ----------------------------------------------------

    // Skips the image data to the first EI that stands between white space
    // (or at the end), so the data is never scanned as operators.
    void SkipInlineImage() {
        const size_t Len = Text.size();
        size_t P = Pos;
        while (P + 1 < Len) {
            if (Text[P] == 'E' && Text[P + 1] == 'I' && P > 0 && IsWhite(Text[P - 1]) &&
                (P + 2 >= Len || IsWhite(Text[P + 2]))) {
                Pos = P + 2;
                Operands.clear();
                return;
            }
            ++P;
        }
        Pos = Len;
        Operands.clear();
    }

    // ---- Dispatch ----------------------------------------------------------

    void Execute(TOp Op) {
        switch (Op) {
            case op_q:
                SaveGraphicsState();
                break;
            case op_Q:
                RestoreGraphicsState();
                break;
            case op_cm: {
                TPDFXForm M;
                M.eDy = PopNumber();
                M.eDx = PopNumber();
                M.eM22 = PopNumber();
                M.eM21 = PopNumber();
                M.eM12 = PopNumber();
                M.eM11 = PopNumber();
                TPDFXForm P;
                // A matrix that cannot be drawn through stops painting
                // until the state is restored; it never reaches the canvas.
                if (Singular(M) || !SafeMul(M, R.CanvasMat, P)) {
                    GS.Degenerate = true;
                    break;
                }
                if (EPS) {
                    R.FEPS->PSConcat(M);
                }
                R.CanvasMat = P;
                GS.CTM = P;
                if (!EPS && Dev()) Dev()->SetCurrentXForm(P);
                break;
            }
            case op_w: {
                const double W = PopNumber();
                if (EPS) {
                    R.FEPS->PSSetLineWidth(W);
                } else {
                    // 0 stays 0: the thinnest line the device shows.
                    GS.LineWidth = W > 1000 ? 1 : W;
                }
                break;
            }
            case op_J:
            case op_j: {
                const double V = PopNumber();
                const int32_t I = int32_t(std::clamp(std::nearbyint(V), -1e6, 1e6));
                if (EPS)
                    Op == op_J ? R.FEPS->PSSetLineCap(I) : R.FEPS->PSSetLineJoin(I);
                else
                    (Op == op_J ? GS.LineCap : GS.LineJoin) = I;
                break;
            }
            case op_M: {
                const double V = PopNumber();
                if (EPS)
                    R.FEPS->PSSetMiterLimit(V);
                else
                    GS.MiterLimit = V;
                break;
            }
            case op_d: {
                GS.DashPhase = PopNumber();
                const int32_t N = std::min<int32_t>(ArrayCount, int32_t(Operands.size()));
                GS.DashArray.assign(size_t(std::max(N, 0)), 0);
                for (int32_t I = N - 1; I >= 0; --I) GS.DashArray[size_t(I)] = PopNumber();
                if (Library && R.Picasso) R.Picasso->SetLineDashDouble(GS.DashArray, GS.DashPhase);
                break;
            }
            case op_ri:
                PopString();
                break;
            case op_gs:
                R.SetExtGState(*this, PopString());
                break;
            case op_Do:
                R.DrawXObject(*this, PopString());
                break;
            case op_m: {
                const double Y = PopNumber(), X = PopNumber();
                MoveTo(X, Y);
                break;
            }
            case op_l: {
                const double Y = PopNumber(), X = PopNumber();
                LineTo(X, Y);
                break;
            }
            case op_c: {
                const double Y3 = PopNumber(), X3 = PopNumber(), Y2 = PopNumber(), X2 = PopNumber(),
                             Y1 = PopNumber(), X1 = PopNumber();
                if (EPS)
                    R.FEPS->PSCurveTo(X1, Y1, X2, Y2, X3, Y3);
                else if (!GS.Degenerate)
                    CurveTo(X1, Y1, X2, Y2, X3, Y3);
                break;
            }
            case op_v: {
                const double Y3 = PopNumber(), X3 = PopNumber(), Y2 = PopNumber(), X2 = PopNumber();
                if (EPS) {
                    R.FEPS->PSCurveToV(X2, Y2, X3, Y3);
                } else if (!GS.Degenerate) {
                    double P[4];
                    if (!ToDevice(X2, Y2, P[0], P[1]) || !ToDevice(X3, Y3, P[2], P[3])) break;
                    Dev()->AddBezierToPath(GS.XPos, GS.YPos, P[0], P[1], P[2], P[3]);
                    GS.XPos = P[2];
                    GS.YPos = P[3];
                }
                break;
            }
            case op_y: {
                const double Y3 = PopNumber(), X3 = PopNumber(), Y1 = PopNumber(), X1 = PopNumber();
                if (EPS)
                    R.FEPS->PSCurveToY(X1, Y1, X3, Y3);
                else if (!GS.Degenerate)
                    CurveTo(X1, Y1, X3, Y3, X3, Y3);
                break;
            }
            case op_re: {
                const double H = PopNumber(), W = PopNumber(), Y = PopNumber(), X = PopNumber();
                StartPath();
                if (EPS) {
                    R.FEPS->PSMoveTo(X, Y);
                    R.FEPS->PSLineTo(X + W, Y);
                    R.FEPS->PSLineTo(X + W, Y + H);
                    R.FEPS->PSLineTo(X, Y + H);
                    R.FEPS->PSClosePath();
                    break;
                }
                if (GS.Degenerate) break;
                double P[8];
                if (!ToDevice(X, Y, P[0], P[1]) || !ToDevice(X + W, Y, P[2], P[3]) ||
                    !ToDevice(X + W, Y + H, P[4], P[5]) || !ToDevice(X, Y + H, P[6], P[7]))
                    break;
                TPDFRenderCanvas* D = Dev();
                D->MoveTo(P[0], P[1]);
                D->AddLineToPath(P[2], P[3]);
                D->AddLineToPath(P[4], P[5]);
                D->AddLineToPath(P[6], P[7]);
                D->ClosePath();
                GS.XPos = P[0];
                GS.YPos = P[1];
                break;
            }
            case op_h:
                ClosePath();
                break;
            case op_S:
            case op_s:
            case op_f:
            case op_F:
            case op_fstar:
            case op_B:
            case op_Bstar:
            case op_b:
            case op_bstar:
                Paint(Op == op_F ? op_f : Op);
                break;
            case op_n:
                EndPath();
                break;
            case op_W:
            case op_Wstar:
                Clip(Op == op_Wstar);
                break;
            case op_sh: {
                // The shading paints the clip in user space; the fill
                // colour and pattern stay as they were.
                const std::string_view Name = PopString();
                if (EPS || GS.Degenerate || !Visible) break;
                const TVPLPattern* Pat = R.FindPattern(*this, Name);
                if (Pat == nullptr) break;
                if (RegionPass()) {
                    // A shading is never plain: its area goes to the second pass.
                    double L, T, Rt, B;
                    R.PrinterAreaBounds(L, T, Rt, B);
                    R.PrinterPassSkips(L, T, Rt, B, false);
                    break;
                }
                ApplyFillState(pfWinding);
                if (Library) {
                    // The library paints the shading from its current
                    // pattern, placed by the current matrix.
                    if (R.Picasso) {
                        R.Picasso->SetCurrentXForm(R.CanvasMat);
                        R.Picasso->SetFillPattern(Pat);
                        R.Picasso->DrawShading();
                    }
                } else {
                    Dev()->SetFillPattern(Pat, R.CanvasMat, true);
                    Dev()->FillClippingPath();
                    Dev()->SetFillColor(uint32_t(GS.FillColor));
                }
                break;
            }
            case op_BT:
                GS.TM = GS.TLM = IdentityXForm;
                if (TKorbexPDFLibraryKPLR* L = LibraryDLL())
                    L->KPLR_clear_text_clip(R.Picasso->RendererHandle());
                break;
            case op_ET:
                if (TKorbexPDFLibraryKPLR* L = LibraryDLL(); L && GS.TextRenderingMode >= 4)
                    L->KPLR_set_text_clip(R.Picasso->RendererHandle());
                break;
            case op_Tc:
                GS.CharSpacing = PopNumber();
                break;
            case op_Tw:
                GS.WordSpacing = PopNumber();
                break;
            case op_Tz:
                GS.TextScaling = PopNumber();
                break;
            case op_TL:
                GS.TextLeading = PopNumber();
                break;
            case op_Ts:
                GS.TextRise = PopNumber();
                break;
            case op_Tr:
                GS.TextRenderingMode = int32_t(std::clamp(std::nearbyint(PopNumber()), -1e6, 1e6));
                break;
            case op_Tf:
                GS.TextSize = PopNumber();
                GS.TextFont = std::string(PopString());
                R.SelectFont(*this);
                break;
            case op_Td:
            case op_TD: {
                const double TY = PopNumber(), TX = PopNumber();
                if (Op == op_TD) GS.TextLeading = -TY;
                SafeMul(TPDFXForm{1, 0, 0, 1, TX, TY}, GS.TLM, GS.TLM);
                GS.TM = GS.TLM;
                break;
            }
            case op_Tm: {
                TPDFXForm M;
                M.eDy = PopNumber();
                M.eDx = PopNumber();
                M.eM22 = PopNumber();
                M.eM21 = PopNumber();
                M.eM12 = PopNumber();
                M.eM11 = PopNumber();
                GS.TM = GS.TLM = M;
                break;
            }
            case op_Tstar:
                NextLine();
                break;
            case op_Tj:
                ArrayCount = 1;
                ShowTextOperands();
                break;
            case op_TJ:
                if (ArrayCount > 0) ShowTextOperands();
                break;
            case op_quote:
                NextLine();
                ArrayCount = 1;
                ShowTextOperands();
                break;
            case op_dquote: {
                NextLine();
                const std::string_view S = PopString();
                GS.CharSpacing = PopNumber();
                GS.WordSpacing = PopNumber();
                Push(S);
                ArrayCount = 1;
                ShowTextOperands();
                break;
            }
            case op_d1:
                UncolouredGlyph = true;
                break;
            case op_CS:
            case op_cs: {
                const std::string_view Name = PopString();
                ResolveColorSpace(Name, Op == op_CS ? GS.StrokeColorSpace : GS.FillColorSpace);
                break;
            }
            case op_G:
            case op_g:
            case op_RG:
            case op_rg:
            case op_K:
            case op_k: {
                const bool Fill = Op == op_g || Op == op_rg || Op == op_k;
                std::string& CS = Fill ? GS.FillColorSpace : GS.StrokeColorSpace;
                CS = (Op == op_G || Op == op_g)     ? "DeviceGray"
                     : (Op == op_RG || Op == op_rg) ? "DeviceRGB"
                                                    : "DeviceCMYK";
                SetColorFromOperands(Fill);
                break;
            }
            case op_SC:
            case op_sc:
                SetColorFromOperands(Op == op_sc);
                break;
            case op_SCN:
            case op_scn: {
                const bool Fill = Op == op_scn;
                std::string& CS = Fill ? GS.FillColorSpace : GS.StrokeColorSpace;
                if (CS.compare(0, 7, "Pattern") == 0) {
                    const size_t Colon = CS.find(':');
                    if (Colon != std::string::npos) CS.resize(Colon);
                    CS += ":";
                    CS += PopString();
                }
                SetColorFromOperands(Fill);
                break;
            }
            case op_BI: {
                if (RegionPass() && Visible && !GS.Degenerate) {
                    double L, T, Rt, B;
                    UnitSquareBounds(L, T, Rt, B);
                    if (R.PrinterPassSkips(L, T, Rt, B, PlainImage(InlineStencil()))) {
                        SkipInlineImage();
                        break;
                    }
                }
                size_t P = Pos;
                if (EPS) R.FImageFillColorEPS = GS.FillColorEPS;
                if (Visible && InlineStencil()) PrepareStencilPaint();
                if (InlineImageDrawer() &&
                    InlineImageDrawer()(R, Text, P, Resources, Visible ? R.Picasso.get() : nullptr,
                                        R.CanvasMat, GS.FillColor) &&
                    P > Pos) {
                    Pos = P;
                    Operands.clear();
                } else {
                    SkipInlineImage();
                }
                break;
            }
            case op_BMC:
                BeginMarkedContent(PopString(), {});
                break;
            case op_BDC: {
                const std::string_view Props = PopString();
                BeginMarkedContent(PopString(), Props);
                break;
            }
            case op_EMC:
                EndMarkedContent();
                break;
            case op_array: {
                ArrayCount = 0;
                for (;;) {
                    const std::string_view T = NextToken();
                    if (T.empty() || T == "]") break;
                    Push(T);
                    ++ArrayCount;
                }
                break;
            }
            case opNone:
                break;
        }
    }

    void Progress(int32_t& Last) {
        const size_t Len = Text.size();
        int32_t P = 0;
        if (Len == 0)
            P = 0;
        else if (Pos < Len && Pos < 21474837)
            P = int32_t(Pos * 100 / Len);
        else
            P = 100;
        if (P <= Last) return;
        Last = P;
        const TGDIPlusSettings& S = R.FGDIPlusSettings;
        if (S.ProgressWindow != nullptr)
            SendMessageW(S.ProgressWindow, UINT(S.ProgressMessage), WPARAM(S.ProgressData),
                         LPARAM(P + 2000));
    }

    void Loop() {
        const auto& Table = OpTable();
        int32_t Last = -1;
        for (;;) {
            const std::string_view T = NextToken();
            Progress(Last);
            if (T.empty()) break;
            auto It = Table.find(T);
            if (It == Table.end())
                Push(T);
            else
                Execute(It->second);
        }
    }
};

}  // namespace velmo
