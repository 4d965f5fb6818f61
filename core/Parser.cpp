// The object-syntax parser: PDF object text held in memory becomes objects of
// one store. It never raises to its caller and returns what it could read.
#include "core/Parser.h"

#include <cfloat>
#include <cmath>
#include <stdexcept>

#include "core/StringHelpers.h"
#include "core/Structure.h"

namespace velmo {

namespace {

struct ParseTooDeep : std::runtime_error {
    ParseTooDeep() : std::runtime_error("objects nested too deeply") {}
};

int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    return -1;
}

// Integer part of a value as an object or generation number: truncated,
// limited to the 32-bit range (a number beyond it names no object).
int32_t TruncToInt32(double V) {
    if (!std::isfinite(V)) return 0;
    V = std::trunc(V);
    if (V > 2147483647.0) return INT32_MAX;
    if (V < -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(V);
}

// Value of a short token made of an optional '-' and decimal digits, as the
// integer conversion reads it: text without digits gives 0.
double ShortIntegerValue(std::string_view T) {
    size_t I = 0;
    bool Neg = false;
    if (I < T.size() && T[I] == '-') {
        Neg = true;
        ++I;
    }
    if (I == T.size()) return 0;
    int64_t V = 0;
    for (; I < T.size(); ++I) {
        if (!IsDecimalDigit(T[I])) return 0;
        V = V * 10 + (T[I] - '0');
    }
    return static_cast<double>(Neg ? -V : V);
}

// Unescapes the text between the outer parentheses of a literal string.
std::string UnescapeLiteral(std::string_view T) {
    std::string Out;
    if (T.find_first_of("\\\r") == std::string_view::npos) {
        Out.assign(T);
        return Out;
    }
    Out.reserve(T.size());
    size_t N = T.size();
    size_t I = 0;
    while (I < N) {
        char C = T[I];
        if (C == '\r') {
            Out.push_back('\n');
            ++I;
            if (I < N && T[I] == '\n') ++I;
            continue;
        }
        if (C != '\\' || I + 1 >= N) {
            Out.push_back(C);
            ++I;
            continue;
        }
        char E = T[I + 1];
        if (IsDecimalDigit(E)) {
            int V = E - '0';
            size_t J = I + 2;
            for (int K = 0; K < 2 && J < N && IsDecimalDigit(T[J]); ++K, ++J)
                V = V * 8 + (T[J] - '0');
            Out.push_back(static_cast<char>(V & 0xFF));
            I = J;
            continue;
        }
        switch (E) {
            case '\n':
                I += 2;
                continue;
            case '\r':
                I += 2;
                if (I < N && T[I] == '\n') ++I;
                continue;
            case 'n':
                Out.push_back('\n');
                break;
            case 'r':
                Out.push_back('\r');
                break;
            case 't':
                Out.push_back('\t');
                break;
            case 'b':
                Out.push_back('\b');
                break;
            case 'f':
                Out.push_back('\f');
                break;
            case '(':
            case ')':
            case '\\':
                Out.push_back(E);
                break;
            default:
                Out.push_back('\\');
                Out.push_back(E);
                break;
        }
        I += 2;
    }
    return Out;
}

class Parser {
public:
    Parser(TPDFStructure& AStore, std::string_view ASource, size_t AStart)
        : S(AStore), Src(ASource), N(ASource.size()), P(AStart) {}

    TPDFStructure& S;
    std::string_view Src;
    size_t N;
    size_t P;  // 0-based position
    int Depth = 0;

    void SkipWhitespace() {
        for (;;) {
            size_t Start = P;
            while (P + 1 < N && IsPDFWhitespace(Src[P])) ++P;
            while (P + 1 < N && Src[P] == '%') {
                while (P < N && Src[P] != '\r' && Src[P] != '\n') ++P;
            }
            if (P == Start) return;
        }
    }

    bool KeywordAt(std::string_view Word) const {
        if (Src.compare(P, Word.size(), Word) != 0) return false;
        size_t After = P + Word.size();
        return After == N || IsPDFWhitespace(Src[After]) || IsPDFDelimiter(Src[After]);
    }

    TPDFObject* ParseObject() {
        if (P >= N) return nullptr;
        char C = Src[P];
        size_t Left = N - P;
        if (C == '<' && Left >= 4 && Src[P + 1] == '<') return ParseDictionary();
        if (C == '[' && Left >= 2) return ParseArray();
        if (C == 't' && KeywordAt("true")) return Keyword(4, S.NewBoolean(true));
        if (C == 'f' && KeywordAt("false")) return Keyword(5, S.NewBoolean(false));
        if (C == 'n' && KeywordAt("null")) return Keyword(4, S.NewNull());
        if (C == '-' || C == '.' || IsDecimalDigit(C)) return ParseNumberOrRef();
        if (C == '(' && Left >= 2) return ParseLiteral();
        if (C == '<' && Left >= 2) return ParseHex();
        if (C == '/' && Left >= 2) return ParseName();
        return nullptr;
    }

    TPDFObject* Keyword(size_t Len, TPDFObject* O) {
        P += Len;
        O->SetChanged(false);
        return O;
    }

    struct DepthGuard {
        int& D;
        explicit DepthGuard(int& ADepth) : D(ADepth) {
            if (++D > kMaxObjectDepth) throw ParseTooDeep();
        }
        ~DepthGuard() { --D; }
    };

    TPDFObject* ParseDictionary() {
        DepthGuard G(Depth);
        P += 2;
        TPDFDictionary* D = S.NewDictionary();
        for (;;) {
            SkipWhitespace();
            TPDFObject* Key = ParseObject();
            // An object where a key belongs (a damaged writer's stray value)
            // is passed over, so the entries after it are not lost.
            while (Key && Key->SpyType != TPDFName::Tag) {
                SkipWhitespace();
                Key = ParseObject();
            }
            SkipWhitespace();
            TPDFObject* Value = Key ? ParseObject() : nullptr;
            if (Key && Value) D->SetEntry({static_cast<TPDFName*>(Key), Value});
            if (!Value) break;
        }
        if (P + 1 < N && Src[P] == '>' && Src[P + 1] == '>') P += 2;
        D->SetChanged(false);
        return D;
    }

    TPDFObject* ParseArray() {
        DepthGuard G(Depth);
        P += 1;
        TPDFArray* A = S.NewArray();
        bool First = true;
        for (;;) {
            SkipWhitespace();
            TPDFObject* V = ParseObject();
            if (!V) break;
            A->Add(V);
            if (First) {
                First = false;
                if (V->SpyType == TPDFIndRef::Tag && P < N && Src[P] != ']')
                    A->ReserveItems(CountRefsAhead());
            }
        }
        if (P < N && Src[P] == ']') ++P;
        A->SetChanged(false);
        return A;
    }

    // 'R' bytes from the position to the first ']': the slots an array of
    // references will need. Only a sizing hint, so the look is bounded.
    int32_t CountRefsAhead() const {
        constexpr size_t kWindow = 64 * 1024;
        size_t End = std::min(N, P + kWindow);
        int32_t Count = 0;
        for (size_t I = P; I < End && Src[I] != ']'; ++I)
            if (Src[I] == 'R') ++Count;
        return Count;
    }

    TPDFObject* ParseNumberOrRef() {
        size_t Start = P;
        size_t I = Start + 1;
        bool Dot = Src[Start] == '.';
        bool HasE = false;
        while (I < N) {
            char C = Src[I];
            if (IsDecimalDigit(C)) {
                ++I;
            } else if (C == 'E') {
                HasE = true;
                ++I;
            } else if (C == '.' && !Dot) {
                Dot = true;
                ++I;
            } else {
                break;
            }
        }
        if (HasE) {
            // With an exponent the token also takes '-' and further points.
            I = Start + 1;
            while (I < N) {
                char C = Src[I];
                if (IsDecimalDigit(C) || C == 'E' || C == '-' || C == '.') {
                    if (C == '.') Dot = true;
                    ++I;
                } else {
                    break;
                }
            }
        }
        std::string_view T = Src.substr(Start, I - Start);
        double Value;
        if (HasE) {
            size_t EPos = T.find('E');
            Value = ParseNumber(T.substr(0, EPos));
            int32_t Exp = StrToIntDefA(T.substr(EPos + 1), 0);
            if (Exp != 0 && Value != 0) {
                Value *= std::pow(10.0, static_cast<double>(Exp));
                if (!std::isfinite(Value)) Value = std::copysign(DBL_MAX, Value);
            }
        } else if (Dot) {
            Value = ParseNumber(T);
        } else if (T.size() < 9) {
            Value = ShortIntegerValue(T);
        } else {
            Value = ParseNumber(T);
        }
        P = I;
        if (!Dot) {
            // "n g R": look ahead for a generation number and the R.
            size_t After = P;
            SkipWhitespace();
            if (P < N && IsDecimalDigit(Src[P])) {
                size_t J = P;
                bool Dot2 = false;
                while (J < N && (IsDecimalDigit(Src[J]) || (Src[J] == '.' && !Dot2))) {
                    if (Src[J] == '.') Dot2 = true;
                    ++J;
                }
                std::string_view T2 = Src.substr(P, J - P);
                P = J;
                SkipWhitespace();
                if (P < N && Src[P] == 'R') {
                    double Gen = Dot2 ? ParseNumber(T2) : StrToIntDefA(T2, 0);
                    ++P;
                    TPDFIndRef* R = S.NewIndirectRef(TruncToInt32(Value), TruncToInt32(Gen));
                    R->SetChanged(false);
                    return R;
                }
            }
            P = After;
        }
        TPDFNumeric* Num = S.NewNumeric(Value);
        Num->SetChanged(false);
        return Num;
    }

    TPDFObject* ParseLiteral() {
        size_t I = P + 1;
        int64_t Nesting = 1;
        while (I < N) {
            char C = Src[I];
            if (C == '\\') {
                if (N - I - 1 >= 2) {
                    char E = Src[I + 1];
                    if (E == '(' || E == ')' || E == '\\') {
                        I += 2;
                        continue;
                    }
                }
            } else if (C == '(') {
                ++Nesting;
            } else if (C == ')') {
                if (--Nesting == 0) break;
            }
            ++I;
        }
        if (Nesting > 0) return nullptr;
        std::string_view Inner = Src.substr(P + 1, I - P - 1);
        P = I + 1;
        TPDFString* Str = S.NewString({}, smLiteral);
        Str->FValue = UnescapeLiteral(Inner);
        Str->SetChanged(false);
        return Str;
    }

    TPDFObject* ParseHex() {
        size_t Close = Src.find('>', P + 1);
        std::string_view Text;
        if (Close == std::string_view::npos) {
            Text = Src.substr(P + 1, N - 1 - (P + 1));
            P = N;
        } else {
            Text = Src.substr(P + 1, Close - P - 1);
            P = Close + 1;
        }
        std::string Bytes;
        Bytes.reserve(Text.size() / 2 + 1);
        int High = -1;
        for (char C : Text) {
            int V = HexValue(C);
            if (V < 0) continue;
            if (High < 0) {
                High = V;
            } else {
                Bytes.push_back(static_cast<char>(High * 16 + V));
                High = -1;
            }
        }
        if (High >= 0) Bytes.push_back(static_cast<char>(High * 16));
        TPDFString* Str = S.NewString({}, smHex);
        Str->FValue = std::move(Bytes);
        Str->SetChanged(false);
        return Str;
    }

    TPDFObject* ParseName() {
        size_t I = P + 1;
        while (I < N && !IsPDFWhitespace(Src[I]) && !IsPDFDelimiter(Src[I])) ++I;
        std::string_view Text = Src.substr(P + 1, I - P - 1);
        P = I;
        TPDFName* Name;
        if (Text.find('#') == std::string_view::npos) {
            Name = S.NewName(Text);
        } else {
            std::string Value;
            Value.reserve(Text.size());
            for (size_t K = 0; K < Text.size(); ++K) {
                if (Text[K] == '#' && K + 2 < Text.size() && IsHexDigit(Text[K + 1]) &&
                    IsHexDigit(Text[K + 2])) {
                    Value.push_back(
                        static_cast<char>(HexValue(Text[K + 1]) * 16 + HexValue(Text[K + 2])));
                    K += 2;
                } else {
                    Value.push_back(Text[K]);
                }
            }
            Name = S.NewName(Value);
        }
        Name->SetChanged(false);
        return Name;
    }
};

}  // namespace

bool IsOctalEscapeText(std::string_view Group) {
    if (Group.empty() || Group.size() > 3) return false;
    int V = 0;
    for (char C : Group) {
        if (!IsDecimalDigit(C)) return false;
        V = V * 10 + (C - '0');
    }
    static constexpr int kMax[] = {0, 7, 77, 777};
    return V <= kMax[Group.size()];
}

std::string DecodeHexString(std::string_view Source) {
    std::string Out;
    if (Source.size() < 2 || Source.front() != '<' || Source.back() != '>') return Out;
    std::string_view T = Source.substr(1, Source.size() - 2);
    Out.reserve(T.size() / 2 + 1);
    int Pending = -2;  // -2: no first digit yet; -1: first digit not hexadecimal
    for (char C : T) {
        bool Letter = (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z');
        if (!Letter && !IsDecimalDigit(C)) continue;
        int V = HexValue(C);
        if (Pending == -2) {
            Pending = V;  // -1 when the letter is no hexadecimal digit
        } else {
            Out.push_back(Pending >= 0 && V >= 0 ? static_cast<char>(Pending * 16 + V) : '\0');
            Pending = -2;
        }
    }
    if (Pending != -2) Out.push_back(Pending >= 0 ? static_cast<char>(Pending * 16) : '\0');
    return Out;
}

// ---------------------------------------------------------------------------
// TPDFStructure entry points

TPDFObject* TPDFStructure::Decode(std::string_view Source) {
    int64_t Length;
    return DecodeWithLength(Source, Length, 1);
}

TPDFObject* TPDFStructure::DecodeWithLength(std::string_view Source, int64_t& ObjectLength,
                                            int64_t StartPos) {
    ObjectLength = 0;
    if (Source.empty() || StartPos < 1 || static_cast<uint64_t>(StartPos) > Source.size())
        return NewNull();
    Parser Pr(*this, Source, static_cast<size_t>(StartPos - 1));
    TPDFObject* Result = nullptr;
    try {
        Pr.SkipWhitespace();
        Result = Pr.ParseObject();
    } catch (...) {
        Result = nullptr;
    }
    if (!Result) return NewNull();
    ObjectLength = static_cast<int64_t>(Pr.P) - (StartPos - 1);
    return Result;
}

TPDFObject* TPDFStructure::DecodeWithLength(std::string_view Source, int32_t& ObjectLength,
                                            int64_t StartPos) {
    int64_t Length;
    TPDFObject* Result = DecodeWithLength(Source, Length, StartPos);
    ObjectLength = Length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(Length);
    return Result;
}

std::string TPDFStructure::DecodeString(std::string_view Source) {
    std::string Out;
    if (Source.size() < 2) return Out;
    std::string_view T = Source.substr(1, Source.size() - 2);
    size_t N = T.size();
    Out.reserve(N);
    size_t I = 0;
    while (I < N) {
        char C = T[I];
        if (C != '\\') {
            Out.push_back(C);
            ++I;
            continue;
        }
        if (I + 1 >= N) {  // a trailing backslash is dropped
            ++I;
            continue;
        }
        char E = T[I + 1];
        switch (E) {
            case 'b':
                Out.push_back('\b');
                I += 2;
                continue;
            case 't':
                Out.push_back('\t');
                I += 2;
                continue;
            case 'n':
                Out.push_back('\n');
                I += 2;
                continue;
            case 'f':
                Out.push_back('\f');
                I += 2;
                continue;
            case 'r':
                Out.push_back('\r');
                I += 2;
                continue;
            case '(':
            case ')':
            case '\\':
                Out.push_back(E);
                I += 2;
                continue;
            case '\r':
                I += 2;
                if (I < N && T[I] == '\n') ++I;
                continue;
            case '\n':
                I += 2;
                continue;
            default:
                break;
        }
        if (IsDecimalDigit(E)) {
            bool Done = false;
            for (size_t Len = 3; Len >= 1 && !Done; --Len) {
                if (I + 1 + Len > N) continue;
                std::string_view G = T.substr(I + 1, Len);
                if (!IsOctalEscapeText(G)) continue;
                int V = 0;
                for (char D : G) V = V * 8 + (D - '0');
                Out.push_back(static_cast<char>(V & 0xFF));
                I += 1 + Len;
                Done = true;
            }
            if (Done) continue;
        }
        ++I;  // the backslash is dropped; the next byte is read normally
    }
    return Out;
}

std::string TPDFStructure::DecodeHex(std::string_view Source) { return DecodeHexString(Source); }

std::string TPDFStructure::KillWhitespace(std::string_view OrigS) {
    std::string S(OrigS);
    S.push_back('\n');
    size_t N = S.size();
    std::string Out;
    Out.reserve(N + N / 4);
    auto NewLine = [&] {
        if (!Out.empty() && Out.back() != '\n') Out.push_back('\n');
    };
    int DictDepth = 0;
    size_t I = 0;
    while (I < N) {
        char C = S[I];
        if (IsPDFWhitespace(C)) {
            while (I < N && IsPDFWhitespace(S[I])) ++I;
            NewLine();
            continue;
        }
        if (C == '%') {
            size_t End = I;
            while (End < N && S[End] != '\r' && S[End] != '\n') ++End;
            if (DictDepth > 0 && (Out.empty() || Out.back() == '\n')) {
                I = End;  // a comment that starts a line inside a dictionary
            } else {
                Out.append(S, I, End - I);
                I = End;
            }
            continue;
        }
        if (C == '<' && I + 1 < N && S[I + 1] == '<') {
            NewLine();
            Out.append("<<\n");
            ++DictDepth;
            I += 2;
            continue;
        }
        if (C == '>' && I + 1 < N && S[I + 1] == '>') {
            Out.append(Out.empty() || Out.back() != '\n' ? "\n>>\n" : ">>\n");
            if (DictDepth > 0) --DictDepth;
            I += 2;
            continue;
        }
        if (C == '[' || C == ']') {
            NewLine();
            Out.push_back(C);
            Out.push_back('\n');
            ++I;
            continue;
        }
        if (C == '/') {
            NewLine();
            size_t End = I + 1;
            while (End < N && !IsPDFWhitespace(S[End]) && !IsPDFDelimiter(S[End])) ++End;
            Out.append(S, I, End - I);
            Out.push_back('\n');
            I = End;
            continue;
        }
        if (C == '(') {
            NewLine();
            size_t End = I + 1;
            int64_t Nesting = 1;
            while (End < N && Nesting > 0) {
                if (S[End] == '\\' && End + 1 < N) {
                    End += 2;
                    continue;
                }
                if (S[End] == '(') ++Nesting;
                if (S[End] == ')') --Nesting;
                ++End;
            }
            Out.append(S, I, End - I);
            Out.push_back('\n');
            I = End;
            continue;
        }
        if (C == '<') {
            size_t End = S.find('>', I + 1);
            End = End == std::string::npos ? N : End + 1;
            for (size_t K = I; K < End; ++K)
                if (S[K] != ' ' && S[K] != '\r' && S[K] != '\n') Out.push_back(S[K]);
            I = End;
            continue;
        }
        // A regular token: a number, a keyword or stray bytes.
        size_t End = I + 1;
        while (End < N && !IsPDFWhitespace(S[End]) && !IsPDFDelimiter(S[End])) ++End;
        std::string_view Token(S.data() + I, End - I);
        if (DictDepth == 0 && Token.starts_with("stream")) {
            Out.append(S, I, std::string::npos);
            break;
        }
        Out.append(Token);
        I = End;
    }
    size_t Lead = 0;
    while (Lead < Out.size() && IsPDFWhitespace(Out[Lead])) ++Lead;
    Out.erase(0, Lead);
    return Out;
}

}  // namespace velmo
