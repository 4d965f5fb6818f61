#include "fonts/Type3Rasterizer.h"

#include <cmath>
#include <unordered_map>

#include "core/StringHelpers.h"

namespace velmo {

namespace {

constexpr bool IsWhite(char C) {
    return C == 0 || C == 9 || C == 10 || C == 12 || C == 13 || C == 32;
}

constexpr bool EndsToken(char C) {
    return IsWhite(C) || C == '(' || C == '/' || C == '<' || C == '[' || C == ']';
}

bool Singular(const TPDFXForm& M) {
    const double Det = M.eM11 * M.eM22 - M.eM12 * M.eM21;
    return !std::isfinite(Det) || Det == 0;
}

bool Finite(const TPDFXForm& M) {
    return std::isfinite(M.eM11) && std::isfinite(M.eM12) && std::isfinite(M.eM21) &&
           std::isfinite(M.eM22) && std::isfinite(M.eDx) && std::isfinite(M.eDy);
}

// The next token of a procedure from Pos; false at the end of the text.
// Strings run to their balancing parenthesis (a backslash escapes the next
// byte), hexadecimal strings to the next '>', and "[", "]" and "'" stand
// alone; any other token runs to white space or a delimiter.
bool NextToken(std::string_view Text, size_t& Pos, std::string_view& Tok) {
    const size_t Len = Text.size();
    while (Pos < Len && IsWhite(Text[Pos])) ++Pos;
    if (Pos >= Len) return false;
    const size_t Start = Pos;
    const char C = Text[Pos++];
    if (C == '(') {
        int Depth = 1;
        while (Pos < Len && Depth > 0) {
            const char D = Text[Pos++];
            if (D == '\\') {
                if (Pos < Len) ++Pos;
            } else if (D == '(') {
                ++Depth;
            } else if (D == ')') {
                --Depth;
            }
        }
    } else if (C == '<') {
        const size_t Close = Text.find('>', Pos);
        Pos = Close == std::string_view::npos ? Len : Close + 1;
    } else if (C != '[' && C != ']' && C != '\'') {
        while (Pos < Len && !EndsToken(Text[Pos])) ++Pos;
    }
    Tok = Text.substr(Start, Pos - Start);
    return true;
}

// Where reading goes on after an inline image that is not decoded: after the
// first EI that stands between white space (or at the end of the text).
size_t SkipInlineImage(std::string_view Text, size_t Pos) {
    const size_t Len = Text.size();
    while (Pos + 1 < Len) {
        const size_t E = Text.find("EI", Pos);
        if (E == std::string_view::npos) break;
        if (E > 0 && IsWhite(Text[E - 1]) && (E + 2 >= Len || IsWhite(Text[E + 2]))) return E + 2;
        Pos = E + 1;
    }
    return Len;
}

const std::string kEmpty;

}  // namespace

TPDFType3InlineImageParser& Type3InlineImageParser() {
    static TPDFType3InlineImageParser Parser;
    return Parser;
}

TPDFType3Rasterizer::~TPDFType3Rasterizer() = default;

TPDFObject* TPDFType3Rasterizer::FindObject(TPDFIndRef* Ref) const {
    if (!Ref) return nullptr;
    return FOnFindObject ? FOnFindObject(Ref) : Ref->Obj();
}

void TPDFType3Rasterizer::LoadFromPDFDict(TPDFDictionary* Dict) {
    FDict = Dict;
    FontMatrix = IdentityXForm;
    FCharNames.clear();
    FCharProcs.clear();
    FInlineImages.clear();
    if (!Dict) return;

    auto Resolve = [this](TPDFObject* O) -> TPDFObject* {
        if (auto* Ref = ObjAs<TPDFIndRef>(O)) return FindObject(Ref);
        return O;
    };

    if (auto* A = ObjAs<TPDFArray>(Resolve(Dict->FindValueByKeyName("FontMatrix", false)))) {
        if (A->GetCount() == 6) {
            double* Values[6] = {&FontMatrix.eM11, &FontMatrix.eM12, &FontMatrix.eM21,
                                 &FontMatrix.eM22, &FontMatrix.eDx,  &FontMatrix.eDy};
            for (int32_t I = 0; I < 6; ++I) {
                const auto* N = ObjAs<TPDFNumeric>(A->GetItem(I));
                if (N && std::isfinite(N->AsDouble())) *Values[I] = N->AsDouble();
            }
        }
    }

    auto* Procs = ObjAs<TPDFDictionary>(Resolve(Dict->FindValueByKeyName("CharProcs", false)));
    if (!Procs) return;
    // A stream named by several glyphs is decoded once.
    std::unordered_map<const TPDFStream*, size_t> Decoded;
    for (const TPDFEntry& E : Procs->GetEntries()) {
        if (!E.Key) continue;
        size_t Index = FCharProcs.size();
        auto* Ref = ObjAs<TPDFIndRef>(E.Value);
        auto* S = Ref ? ObjAs<TPDFStream>(FindObject(Ref)) : nullptr;
        if (S) {
            auto [It, Fresh] = Decoded.try_emplace(S, Index);
            if (Fresh) {
                if (FOnDecrypt) FOnDecrypt(S, Ref);
                FCharProcs.push_back(FOnFindObject ? S->GetDecodedStreamWithLookup(FOnFindObject)
                                                   : S->GetDecodedStream());
                if (FOnEncrypt) FOnEncrypt(S, Ref);
            } else {
                Index = It->second;
            }
        } else {
            FCharProcs.emplace_back();
        }
        // The first of two equal names is the one that counts.
        FCharNames.try_emplace(E.Key->Name(), Index);
    }
}

const std::string& TPDFType3Rasterizer::GetCharProc(std::string_view CharName) const {
    auto It = FCharNames.find(CharName);
    return It == FCharNames.end() ? kEmpty : FCharProcs[It->second];
}

bool TPDFType3Rasterizer::HasGlyph(std::string_view CharName) const {
    return FCharNames.find(CharName) != FCharNames.end();
}

bool TPDFType3Rasterizer::RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas,
                                         const TPDFXForm& Mat, const std::string& CharName,
                                         TPDFEncodingVector) {
    auto It = FCharNames.find(CharName);
    if (It == FCharNames.end()) return false;
    if (FDepth >= kMaxDepth) return false;
    struct TDepth {
        int& D;
        explicit TDepth(int& AD) : D(AD) { ++D; }
        ~TDepth() { --D; }
    } Guard(FDepth);

    TPDFXForm M;
    MultiplyXForm(M, TPDFXForm{1, 0, 0, 1, RX, RY}, Mat);
    const std::string_view Text = FCharProcs[It->second];
    // First without the canvas: a point or matrix that is not finite raises
    // here, before the canvas has seen anything.
    RunProcedure(CharName, Text, M, nullptr);
    if (Canvas) {
        Canvas->BeginPath();
        RunProcedure(CharName, Text, M, Canvas);
    }
    return true;
}

const TPDFType3Rasterizer::TInlineImageEntry& TPDFType3Rasterizer::InlineImage(
    const std::string& CharName, std::string_view Text, size_t Pos) {
    auto Found = FInlineImages.find({CharName, Pos});
    if (Found != FInlineImages.end()) return Found->second;
    if (FInlineImages.size() >= kMaxInlineImages) {
        // Past the cap images are passed over, and only this entry is kept.
        FOverflowImage.Decoder.reset();
        FOverflowImage.End = SkipInlineImage(Text, Pos);
        return FOverflowImage;
    }
    // Made whole before it is kept, so that a parser that raises leaves no
    // entry behind.
    TInlineImageEntry Entry;
    if (const TPDFType3InlineImageParser& Parse = Type3InlineImageParser()) {
        size_t End = Pos;
        auto Decoder = Parse(Text, End);
        // Reading must move forward and stay inside the text.
        if (Decoder && End > Pos && End <= Text.size()) {
            Entry.Decoder = std::move(Decoder);
            Entry.End = End;
        }
    }
    if (!Entry.Decoder) Entry.End = SkipInlineImage(Text, Pos);
    return FInlineImages.emplace(std::make_pair(CharName, Pos), std::move(Entry)).first->second;
}

void TPDFType3Rasterizer::RunProcedure(const std::string& CharName, std::string_view Text,
                                       const TPDFXForm& Start, TPDFGenericCanvas* Canvas) {
    if (!Finite(Start)) throw EInvalidOp("Type 3 glyph matrix is not finite");
    TPDFXForm M = Start;
    bool Degenerate = Singular(M);
    std::vector<std::string_view> Stack;
    auto Pop = [&Stack]() -> double {
        if (Stack.empty()) return 0.0;
        const std::string_view T = Stack.back();
        Stack.pop_back();
        return ParseNumber(T);
    };
    auto Map = [&M](double X, double Y) {
        TPDFDoublePoint P{X, Y};
        TransformPoint(M, P, P);
        return P;
    };

    size_t Pos = 0;
    std::string_view Tok;
    while (NextToken(Text, Pos, Tok)) {
        if (Tok == "m" || Tok == "l") {
            const double Y = Pop();
            const double X = Pop();
            if (Degenerate) continue;
            const TPDFDoublePoint P = Map(X, Y);
            if (!Canvas) continue;
            if (Tok == "m")
                Canvas->MoveTo(P.X, P.Y);
            else
                Canvas->AddLineToPath(P.X, P.Y);
        } else if (Tok == "c") {
            double V[6];
            for (int I = 5; I >= 0; --I) V[I] = Pop();
            if (Degenerate) continue;
            const TPDFDoublePoint A = Map(V[0], V[1]);
            const TPDFDoublePoint B = Map(V[2], V[3]);
            const TPDFDoublePoint E = Map(V[4], V[5]);
            if (Canvas) Canvas->AddBezierToPath(A.X, A.Y, B.X, B.Y, E.X, E.Y);
        } else if (Tok == "h") {
            if (Canvas && !Degenerate) Canvas->ClosePath();
        } else if (Tok == "f") {
            if (Canvas && !Degenerate) Canvas->FillPath();
        } else if (Tok == "cm") {
            TPDFXForm T;
            T.eDy = Pop();
            T.eDx = Pop();
            T.eM22 = Pop();
            T.eM21 = Pop();
            T.eM12 = Pop();
            T.eM11 = Pop();
            if (Degenerate) continue;
            MultiplyXForm(M, T, M);
            Degenerate = Singular(M);
        } else if (Tok == "BI") {
            const TInlineImageEntry& Image = InlineImage(CharName, Text, Pos);
            Pos = Image.End;
            if (Canvas && !Degenerate && Image.Decoder) Image.Decoder->Draw(Canvas, M, FFillColor);
        } else {
            if (Stack.size() >= kMaxOperands)
                Stack.erase(Stack.begin(), Stack.begin() + kMaxOperands / 2);
            Stack.push_back(Tok);
        }
    }
}

}  // namespace velmo
