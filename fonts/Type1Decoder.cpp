#include "fonts/Type1Decoder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>

#include "core/Encodings.h"
#include "core/StringHelpers.h"
#include "fonts/CffTables.h"
#include "fonts/FontCollection.h"
#include "fonts/TrueTypeParser.h"

namespace velmo {

namespace {

double Finite(double V) { return std::isfinite(V) ? V : 0.0; }

bool IsWhite(uint8_t C) { return C == 0 || C == 9 || C == 10 || C == 12 || C == 13 || C == 32; }
bool IsDelim(uint8_t C) {
    return C == '%' || C == '(' || C == ')' || C == '/' || C == '<' || C == '>' || C == '[' ||
           C == ']' || C == '{' || C == '}';
}
bool IsHex(uint8_t C) {
    return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F');
}
int HexDigit(uint8_t C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

// Decimal text of a token; a token that is not a whole number gives Default.
int64_t TokenInt(std::string_view T, int64_t Default) {
    int64_t V = 0;
    const auto R = std::from_chars(T.data(), T.data() + T.size(), V);
    if (R.ec != std::errc() || R.ptr != T.data() + T.size()) {
        double D = 0;
        const auto R2 = std::from_chars(T.data(), T.data() + T.size(), D);
        if (R2.ec != std::errc() || R2.ptr != T.data() + T.size() || !std::isfinite(D))
            return Default;
        return int64_t(std::clamp(D, -1e15, 1e15));
    }
    return V;
}

// The Type 1 format's encryption: c1 52845, c2 22719 on a 16-bit key; the
// first Skip plain bytes are dropped.
std::string Decrypt(std::string_view Data, uint16_t R, size_t Skip) {
    std::string Out;
    if (Data.size() > Skip) Out.reserve(Data.size() - Skip);
    size_t K = 0;
    for (char Ch : Data) {
        const auto C = uint8_t(Ch);
        const auto P = uint8_t(C ^ (R >> 8));
        R = uint16_t((C + R) * 52845u + 22719u);
        if (K++ >= Skip) Out.push_back(char(P));
    }
    return Out;
}

bool ObjNumber(TPDFObject* O, double& V) {
    if (auto* N = ObjAs<TPDFNumeric>(O)) {
        V = Finite(N->AsDouble());
        return true;
    }
    return false;
}

const TPDFCharsetNames& StandardNames() {
    static const TPDFCharsetNames Names = [] {
        TPDFCharsetNames N;
        GetEncodingGlyphNames(peStandard, N);
        return N;
    }();
    return Names;
}

std::string Num(double V) { return FormatNumber(V, 6); }

uint32_t Card(std::string_view D, size_t At, int Size) {
    uint32_t V = 0;
    for (int K = 0; K < Size; ++K)
        V = V << 8 | (At + size_t(K) < D.size() ? uint8_t(D[At + size_t(K)]) : 0u);
    return V;
}

// A CFF INDEX at At: its items as slices of D; At moves past it. Every
// offset and length is bounded by the data.
// Items a load may read in all, so that a program of many Top DICTs or Font
// DICTs that all point at the same large INDEX cannot make the load run on.
constexpr size_t kLoadItemBudget = 4000000;

std::vector<std::string_view> ReadIndex(std::string_view D, size_t& At, size_t& Budget) {
    std::vector<std::string_view> Items;
    if (At + 2 > D.size()) {
        At = D.size();
        return Items;
    }
    size_t Count = Card(D, At, 2);
    if (Count == 0) {
        At += 2;
        return Items;
    }
    const int OffSize = int(Card(D, At + 2, 1));
    const size_t Offsets = At + 3;
    if (OffSize < 1 || OffSize > 4) {
        At = std::min(D.size(), Offsets);
        Count = Count > D.size() || Count > Budget ? 0 : Count;
        Budget -= Count;
        Items.assign(Count, std::string_view());
        return Items;
    }
    // No more items than the offset array that fits in the data.
    const size_t Room = D.size() > Offsets ? (D.size() - Offsets) / size_t(OffSize) : 0;
    if (Room == 0) {
        At = D.size();
        return Items;
    }
    Count = std::min(Count, Room - 1);
    if (Count > Budget) {
        At = D.size();
        return Items;
    }
    Budget -= Count;
    const size_t Base = Offsets + (Count + 1) * size_t(OffSize) - 1;
    Items.reserve(Count);
    for (size_t K = 0; K < Count; ++K) {
        const size_t A = Base + Card(D, Offsets + K * size_t(OffSize), OffSize);
        const size_t B = Base + Card(D, Offsets + (K + 1) * size_t(OffSize), OffSize);
        if (B <= A || A >= D.size())
            Items.emplace_back();
        else
            Items.push_back(D.substr(A, std::min(B, D.size()) - A));
    }
    At = std::min(D.size(), Base + Card(D, Offsets + Count * size_t(OffSize), OffSize));
    return Items;
}

int32_t Bias(size_t Count) { return Count < 1240 ? 107 : Count < 33900 ? 1131 : 32768; }

}  // namespace

// ---- Operation list ----

void TPDFType1Decoder::TOpList::Add(TOpKind Kind, const double* A, size_t N, const char* Label) {
    Ops.push_back({Kind, Label, uint32_t(Args.size()), uint32_t(N), 0});
    for (size_t K = 0; K < N; ++K) Args.push_back(Finite(A[K]));
}

void TPDFType1Decoder::TOpList::Add(TOpKind Kind, std::initializer_list<double> A,
                                    const char* Label) {
    Add(Kind, A.begin(), A.size(), Label);
}

std::vector<std::string> TPDFType1Decoder::CharStack() const {
    static const char* const Names[] = {
        "hsbw",   "sbw",  "rmoveto", "rlineto",         "rrcurveto", "closepath", "endchar",
        "flex",   "t2flex", "seac",  "setcurrentpoint", "hstem",     "vstem",     "hstem3",
        "vstem3", "dotsection", "hintmask", "cntrmask", "Unknown: "};
    std::vector<std::string> Out;
    Out.reserve(FOps.Ops.size());
    for (const TOp& Op : FOps.Ops) {
        std::string S = Names[Op.Kind];
        if (Op.Kind == okUnknown) S += std::to_string(Op.Code);
        if (Op.Count > 0 || Op.Kind == okHintMask || Op.Kind == okCntrMask) {
            S += '(';
            for (uint32_t K = 0; K < Op.Count; ++K) {
                if (K) S += ',';
                S += Num(FOps.Args[Op.First + K]);
            }
            S += ')';
        }
        if (Op.Label) {
            S += ' ';
            S += Op.Label;
        }
        Out.push_back(std::move(S));
    }
    return Out;
}

// ---- Life cycle ----

TPDFType1Decoder::TPDFType1Decoder() : FStructure(std::make_unique<TPDFStructure>()) {
    FFontDict = FStructure->NewDictionary();
    FEncoding = StandardNames();
}

TPDFType1Decoder::~TPDFType1Decoder() = default;

const std::string& TPDFType1Decoder::Keep(std::string Data) {
    FBuffers.push_back(std::make_shared<const std::string>(std::move(Data)));
    return *FBuffers.back();
}

void TPDFType1Decoder::ResetGlyphs() {
    FNamesIndexed = false;
    FNameIndex.clear();
    FResolved.clear();
    FGlyphs.clear();
    FOps.Clear();
}

std::string TPDFType1Decoder::GetCharStringName(int32_t Index) const {
    if (Index < 0 || size_t(Index) >= FCharStringNames.size()) return {};
    return FCharStringNames[size_t(Index)];
}

std::string_view TPDFType1Decoder::CharStringData(int32_t Index) const {
    if (Index < 0 || size_t(Index) >= FCharStringValues.size()) return {};
    return FCharStringValues[size_t(Index)];
}

std::string_view TPDFType1Decoder::Subr(int32_t Number) const {
    if (FCharStringType == 2)
        return Number >= 0 && size_t(Number) < FSubrs.size() ? FSubrs[size_t(Number)]
                                                               : std::string_view();
    const auto It = FSubrsByNumber.find(Number);
    return It == FSubrsByNumber.end() ? std::string_view() : It->second;
}

// ---- Type 1 loading ----

void TPDFType1Decoder::SetEncrypted(std::string_view Part) {
    // A hexadecimal part is recognised by its first four bytes.
    bool Hex = Part.size() >= 4;
    for (size_t K = 0; Hex && K < 4; ++K) Hex = IsHex(uint8_t(Part[K]));
    if (!Hex) {
        FEncrypted = Part;
        return;
    }
    std::string Bin;
    Bin.reserve(Part.size() / 2);
    int High = -1;
    for (char Ch : Part) {
        const int V = HexDigit(uint8_t(Ch));
        if (V < 0) {
            if (IsWhite(uint8_t(Ch))) continue;
            break;  // the hexadecimal text ends at the first other byte
        }
        if (High < 0) {
            High = V;
        } else {
            Bin.push_back(char(High << 4 | V));
            High = -1;
        }
    }
    FEncrypted = Keep(std::move(Bin));
}

bool TPDFType1Decoder::SplitProgram(std::string_view Data) {
    const size_t Eexec = Data.find("eexec");
    if (Eexec == std::string_view::npos) return false;
    size_t Start = Eexec + 5;
    if (Data.substr(Start, 2) == "\r\n")
        Start += 2;
    else if (Start < Data.size() && IsWhite(uint8_t(Data[Start])))
        ++Start;
    // In hexadecimal text any amount of white space may follow.
    size_t HexStart = Start;
    while (HexStart < Data.size() && IsWhite(uint8_t(Data[HexStart]))) ++HexStart;
    bool Hex = HexStart + 4 <= Data.size();
    for (size_t K = HexStart; Hex && K < HexStart + 4; ++K) Hex = IsHex(uint8_t(Data[K]));
    if (Hex) Start = HexStart;
    size_t End = Data.size();
    const size_t Mark = Data.rfind("cleartomark");
    if (Mark != std::string_view::npos && Mark > Start) {
        // Back over the zeros and white space; zeros beyond 512 belong to
        // the encrypted data.
        End = Mark;
        size_t Zeros = 0;
        while (End > Start) {
            const char C = Data[End - 1];
            if (C == '0')
                ++Zeros;
            else if (C != '\r' && C != '\n' && C != ' ' && C != '\t')
                break;
            --End;
        }
        while (Zeros > 512 && End < Mark) {
            if (Data[End] == '0') --Zeros;
            ++End;
        }
    }
    FClearText = Data.substr(0, Start);
    SetEncrypted(Data.substr(Start, End - Start));
    FFixedContent = Data.substr(End);
    return !FEncrypted.empty();
}

bool TPDFType1Decoder::LoadPFBFromString(std::string Source) {
    if (Source.empty()) return false;
    ResetGlyphs();
    const std::string_view D = Keep(std::move(Source));
    if (uint8_t(D[0]) != 128) return SplitProgram(D);
    size_t At = 0;
    int N = 0;
    int LastType = 0;
    std::string Joined;  // an encrypted part given in several binary segments
    auto Finish = [&]() {
        if (!Joined.empty()) SetEncrypted(Keep(std::move(Joined)));
    };
    for (;;) {
        if (At >= D.size() || uint8_t(D[At]) != 128 || At + 2 > D.size()) {
            Finish();
            return false;
        }
        const int Type = uint8_t(D[At + 1]);
        At += 2;
        if (Type == 3) {
            Finish();
            return true;
        }
        if (Type != 1 && Type != 2) {
            Finish();
            return false;
        }
        if (At + 4 > D.size()) {
            Finish();
            return false;
        }
        const uint32_t Len = uint32_t(uint8_t(D[At])) | uint32_t(uint8_t(D[At + 1])) << 8 |
                             uint32_t(uint8_t(D[At + 2])) << 16 | uint32_t(uint8_t(D[At + 3])) << 24;
        At += 4;
        // A segment length is bounded by the data that is there.
        const size_t Take = std::min<size_t>(Len, D.size() - At);
        const std::string_view Seg = D.substr(At, Take);
        if (N == 2 && Type == 2 && LastType == 2) {
            // Binary segments that follow each other all belong to the
            // encrypted part.
            if (Joined.empty()) Joined.assign(FEncrypted);
            Joined.append(Seg);
        } else if (N == 0) {
            FClearText = Seg;
            ++N;
        } else if (N == 1) {
            SetEncrypted(Seg);
            ++N;
        } else if (N == 2) {
            FFixedContent = Seg;
            ++N;
        }
        LastType = Type;
        At += Take;
        if (Take < Len) {
            Finish();
            return false;
        }
    }
}

bool TPDFType1Decoder::LoadPFBFromFile(const std::string& FileName) {
    std::ifstream In(FileName, std::ios::binary);
    if (!In) return false;
    std::string Data((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    return LoadPFBFromString(std::move(Data));
}

bool TPDFType1Decoder::LoadFontFileData(std::string Data, int64_t Length1, int64_t Length2,
                                        int64_t Length3) {
    if (Data.empty()) return false;
    if (uint8_t(Data[0]) == 128) return LoadPFBFromString(std::move(Data));
    ResetGlyphs();
    const std::string_view D = Keep(std::move(Data));
    // The lengths are used when the clear text they give ends with "eexec"
    // and its separator; otherwise the portions are found in the data.
    if (Length1 > 0 && Length2 > 0 && uint64_t(Length1) < D.size()) {
        const std::string_view Clear = D.substr(0, size_t(Length1));
        const size_t E = Clear.rfind("eexec");
        if (E != std::string_view::npos && Clear.size() - E <= 5 + 4) {
            const size_t L2 = std::min<uint64_t>(uint64_t(Length2), D.size() - Clear.size());
            FClearText = Clear;
            SetEncrypted(D.substr(Clear.size(), L2));
            const size_t Rest = Clear.size() + L2;
            FFixedContent = D.substr(Rest, std::min<uint64_t>(uint64_t(std::max<int64_t>(Length3, 0)),
                                                              D.size() - Rest));
            return !FEncrypted.empty();
        }
    }
    return SplitProgram(D);
}

bool TPDFType1Decoder::LoadPFBFromPDFStream(TPDFStream* Stream) {
    if (!Stream) return false;
    auto Length = [&](const char* Key) -> int64_t {
        TPDFObject* O = Stream->FDictionary ? Stream->FDictionary->FindValueByKeyName(Key, false)
                                            : nullptr;
        if (auto* R = ObjAs<TPDFIndRef>(O)) O = FOnFindObject ? FOnFindObject(R) : R->Obj();
        double V = 0;
        return ObjNumber(O, V) ? int64_t(std::clamp(V, -1e15, 1e15)) : 0;
    };
    return LoadFontFileData(Stream->GetDecodedStream(), Length("Length1"), Length("Length2"),
                            Length("Length3"));
}

// Cuts a portion into tokens. With ReadPrivate the Private dictionary's
// conventions are followed: the RD, ND and NP names defined there, the
// Subrs entries, and the raw data after RD words in CharStrings.
std::vector<TPDFType1Decoder::TToken> TPDFType1Decoder::Tokenize(std::string_view P,
                                                                  bool ReadPrivate) {
    std::vector<TToken> Out;
    size_t At = 0;
    const size_t N = P.size();
    bool InPrivate = false, PrivateDone = false;
    int Braces = 0;
    std::string_view LastName;
    int64_t SubrsLeft = -1;  // >= 0 while Subrs entries are read
    bool ExpectSubrsCount = false, InCharStrings = false;
    int64_t SubrNumber = -1;
    bool NextIsSubrNumber = false;
    auto Word = [&](std::string_view T, bool Exec, std::string_view Bare) {
        // A word equal to Bare, written as "Bare", "/Bare" or the word Bare.
        if (Exec) return T == Bare;
        return T == Bare || (T.size() == Bare.size() + 1 && T[0] == '/' && T.substr(1) == Bare);
    };
    auto IsRD = [&](const TToken& T) {
        if (T.Kind == 2) return false;
        const bool E = T.Kind == 1;
        return Word(T.Text, E, "-|") || Word(T.Text, E, "RD") || Word(T.Text, E, FRD);
    };
    auto IsND = [&](const TToken& T) {
        if (T.Kind == 2) return false;
        const bool E = T.Kind == 1;
        return Word(T.Text, E, "|-") || Word(T.Text, E, "ND") || Word(T.Text, E, FND);
    };
    auto EndsHere = [&](size_t K) { return K >= N || IsWhite(uint8_t(P[K])) || IsDelim(uint8_t(P[K])); };
    // The raw bytes after an RD word: one separator, then the previous
    // token's count, bounded by the data.
    auto TakeData = [&]() -> std::string_view {
        if (Out.size() < 2) return {};
        const int64_t Len = TokenInt(Out[Out.size() - 2].Text, -1);
        if (Len < 0) return {};
        const size_t From = std::min(N, At + 1);
        const size_t Take = std::min<uint64_t>(uint64_t(Len), N - From);
        At = From + Take;
        return P.substr(From, Take);
    };
    while (At < N) {
        const uint8_t C = uint8_t(P[At]);
        if (IsWhite(C)) {
            ++At;
            continue;
        }
        if (C == '%') {
            while (At < N && P[At] != '\r' && P[At] != '\n') ++At;
            continue;
        }
        TToken T{{}, 0};
        // The procedure names come first, with or without their "/": a
        // number-like name such as "-|" must not be read as a number.
        size_t Len = 0;
        const size_t Slash = C == '/' ? 1 : 0;
        for (std::string_view Cand : {std::string_view("-|"), std::string_view("|-"),
                                      std::string_view("|"), std::string_view(FRD),
                                      std::string_view(FND), std::string_view(FNP)}) {
            if (!Cand.empty() && P.substr(At + Slash, Cand.size()) == Cand &&
                EndsHere(At + Slash + Cand.size()) && Slash + Cand.size() > Len)
                Len = Slash + Cand.size();
        }
        if (Len > 0) {
            T.Text = P.substr(At, Len);
            At += Len;
        } else if (C == '[' || C == ']' || C == '{' || C == '}') {
            T.Text = P.substr(At, 1);
            ++At;
        } else if (C == '-' || C == '.' || (C >= '0' && C <= '9')) {
            const size_t S = At++;
            bool Dot = C == '.';
            while (At < N) {
                const uint8_t D = uint8_t(P[At]);
                if (D >= '0' && D <= '9') {
                    ++At;
                } else if (D == '.' && !Dot) {
                    Dot = true;
                    ++At;
                } else {
                    break;
                }
            }
            T.Text = P.substr(S, At - S);
        } else if (C == '(') {
            const size_t S = At++;
            int Depth = 1;
            while (At < N && Depth > 0) {
                const char D = P[At];
                if (D == '\\') {
                    At += 2;
                    continue;
                }
                if (D == '(') ++Depth;
                if (D == ')') --Depth;
                ++At;
            }
            if (Depth > 0) break;  // unbalanced: the rest is not read
            T.Text = P.substr(S, std::min(At, N) - S);
        } else if (C == '<' && At + 1 < N) {
            const size_t S = At;
            const size_t E = P.find('>', At + 1);
            At = E == std::string_view::npos ? N : E + 1;
            T.Text = P.substr(S, At - S);
        } else if (C == '/') {
            const size_t S = At++;
            while (At < N && !IsWhite(uint8_t(P[At])) && !IsDelim(uint8_t(P[At]))) ++At;
            T.Text = P.substr(S, At - S);
        } else if ((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z')) {
            const size_t S = At++;
            while (At < N && !IsWhite(uint8_t(P[At])) && !IsDelim(uint8_t(P[At]))) ++At;
            T.Text = P.substr(S, At - S);
            T.Kind = 1;
        } else {
            break;  // a byte the tokenizer cannot classify ends the list
        }
        if (!ReadPrivate) {
            Out.push_back(T);
            continue;
        }
        // Private conventions.
        if (!PrivateDone) {
            if (T.Kind == 0 && T.Text == "/Private") InPrivate = true;
            if (InPrivate) {
                if (T.Kind == 0 && !T.Text.empty() && T.Text[0] == '/') LastName = T.Text.substr(1);
                if (T.Text == "{") ++Braces;
                if (T.Text == "}") Braces = std::max(0, Braces - 1);
                if (Braces > 0 && T.Kind == 1 && !LastName.empty()) {
                    if (T.Text == "readstring") FRD = std::string(LastName);
                    if (T.Text == "def") FND = std::string(LastName);
                    if (T.Text == "put") {
                        FNP = std::string(LastName);
                        PrivateDone = true;
                    }
                }
            }
        }
        if (ExpectSubrsCount) {
            ExpectSubrsCount = false;
            SubrsLeft = std::max<int64_t>(0, TokenInt(T.Text, 0));
            Out.push_back(T);
            continue;
        }
        if (T.Kind == 0 && T.Text == "/Subrs") {
            ExpectSubrsCount = true;
            FSubrsByNumber.clear();
            Out.push_back(T);
            continue;
        }
        if (T.Kind == 0 && T.Text == "/CharStrings") {
            InCharStrings = true;
            SubrsLeft = -1;
            Out.push_back(T);
            continue;
        }
        if (SubrsLeft >= 0) {
            if (NextIsSubrNumber) {
                NextIsSubrNumber = false;
                SubrNumber = TokenInt(T.Text, -1);
            }
            if (T.Kind == 1 && T.Text == "dup") NextIsSubrNumber = true;
            if (IsRD(T)) {
                Out.push_back(T);
                const std::string_view Data = TakeData();
                const int64_t Num = SubrNumber >= 0 && SubrNumber <= INT32_MAX
                                        ? SubrNumber
                                        : int64_t(FSubrsByNumber.size());
                FSubrsByNumber[int32_t(Num)] = Data;
                SubrNumber = -1;
                if (int64_t(FSubrsByNumber.size()) >= SubrsLeft) SubrsLeft = -1;
                continue;
            }
            if (IsND(T)) SubrsLeft = -1;
            Out.push_back(T);
            continue;
        }
        if (InCharStrings && IsRD(T)) {
            Out.push_back(T);
            const std::string_view Data = TakeData();
            Out.push_back({Data, 2});
            continue;
        }
        Out.push_back(T);
    }
    return Out;
}

bool TPDFType1Decoder::DecodeFontDict() {
    FEncoding = StandardNames();
    const std::vector<TToken> T = Tokenize(FClearText, false);
    std::vector<std::string> W(T.size());
    for (size_t K = 0; K < T.size(); ++K)
        W[K] = T[K].Kind == 1 ? "/ps:" + std::string(T[K].Text) : std::string(T[K].Text);
    auto Exec = [&](size_t K, std::string_view Name) {
        return K < T.size() && T[K].Kind == 1 && T[K].Text == Name;
    };
    bool PendingBegin = false;
    for (size_t K = 0; K < T.size(); ++K) {
        if (Exec(K, "FontDirectory")) {
            // A test for an already defined font, up to the dictionary.
            size_t E = K;
            while (E < T.size() && !Exec(E, "dict")) W[E++].clear();
            K = E - 1;
            continue;
        }
        if (Exec(K, "readonly") || Exec(K, "def") || Exec(K, "currentdict") ||
            Exec(K, "currentfile") || Exec(K, "dup") || Exec(K, "put") ||
            Exec(K, "executeonly") || Exec(K, "noaccess")) {
            W[K].clear();
        } else if (Exec(K, "end")) {
            W[K] = ">>";
        } else if (T[K].Kind == 0 && T[K].Text == "{") {
            W[K] = "[";
        } else if (T[K].Kind == 0 && T[K].Text == "}") {
            W[K] = "]";
        } else if (Exec(K, "dict")) {
            W[K].clear();
            if (K > 0) W[K - 1].clear();
            PendingBegin = true;
        } else if (Exec(K, "begin") && PendingBegin) {
            W[K] = "<<";
            PendingBegin = false;
        } else if (T[K].Kind == 0 && T[K].Text == "/Encoding") {
            if (Exec(K + 1, "StandardEncoding")) {
                W[K + 1] = "/StandardEncoding";
                ++K;
            } else if (K + 2 < T.size() && Exec(K + 2, "array")) {
                // "dup code /name put" entries become pairs of a code and a
                // name; the array ends at the def or readonly after them.
                W[K + 1] = "[";
                size_t E = K + 2;
                int Depth = 0;
                for (; E < T.size(); ++E) {
                    if (T[E].Kind == 0 && T[E].Text == "{") ++Depth;
                    if (T[E].Kind == 0 && T[E].Text == "}") --Depth;
                    if (Depth <= 0 && (Exec(E, "dup") || Exec(E, "def") || Exec(E, "readonly")))
                        break;
                    W[E].clear();
                }
                for (; E < T.size(); ++E) {
                    if (Exec(E, "def") || Exec(E, "readonly")) {
                        W[E] = "]";
                        break;
                    }
                    if (Exec(E, "dup") || Exec(E, "put")) W[E].clear();
                }
                K = E;
            }
        }
    }
    std::string Text;
    for (const std::string& S : W)
        if (!S.empty()) {
            Text += S;
            Text += ' ';
        }
    auto* D = ObjAs<TPDFDictionary>(FStructure->Decode(Text));
    if (!D) return false;
    if (FFontDict && FFontDict != D) FStructure->RemoveObject(FFontDict);
    FFontDict = D;
    FFontBBox = ObjAs<TPDFArray>(D->FindValueByKeyName("FontBBox", false));
    if (auto* E = ObjAs<TPDFArray>(D->FindValueByKeyName("Encoding", false))) {
        // A program's own encoding: codes it does not name are .notdef.
        FEncoding.fill(".notdef");
        int64_t Code = 0;
        for (TPDFObject* O : E->LiveItems()) {
            double V;
            if (ObjNumber(O, V)) {
                Code = int64_t(std::clamp(V, -1.0, 1e9));
            } else if (auto* Nm = ObjAs<TPDFName>(O)) {
                if (Code >= 0 && Code <= 255) FEncoding[size_t(Code)] = Nm->Name();
            }
        }
    }
    if (auto* M = ObjAs<TPDFArray>(D->FindValueByKeyName("FontMatrix", false));
        M && M->Count() > 0) {
        double V;
        if (ObjNumber(M->GetItem(0), V) && V != 0) {
            FFontMatrixScaling = 1000 * V;
            SetFontMatrix(M);
        }
    }
    return true;
}

std::string TPDFType1Decoder::DecryptedEncryptionPortion() const {
    return Decrypt(FEncrypted, 55665, 4);
}

std::string TPDFType1Decoder::DecryptCharstring(std::string_view Data) const {
    // lenIV -1: the charstrings are stored without encryption.
    if (FLenIV < 0) return std::string(Data);
    return Decrypt(Data, 4330, size_t(FLenIV));
}

bool TPDFType1Decoder::DecodeEncryptedPortion() {
    ResetGlyphs();
    const std::string_view Plain = Keep(DecryptedEncryptionPortion());
    FSubrsByNumber.clear();
    const std::vector<TToken> T = Tokenize(Plain, true);
    FLenIV = 4;
    size_t CharStrings = T.size();
    for (size_t K = 0; K < T.size(); ++K) {
        if (T[K].Kind == 0 && T[K].Text == "/lenIV" && K + 1 < T.size()) {
            const int64_t V = TokenInt(T[K + 1].Text, 4);
            FLenIV = V < -1 || V > 65535 ? 4 : int32_t(V);
        }
        if (T[K].Kind == 0 && T[K].Text == "/CharStrings") {
            CharStrings = K;
            break;
        }
    }
    if (CharStrings == 0 || CharStrings >= T.size()) return false;
    FCharStringNames.clear();
    FCharStringValues.clear();
    FCharStringType = 1;
    int64_t Count = CharStrings + 1 < T.size() ? TokenInt(T[CharStrings + 1].Text, 0) : 0;
    auto IsRDToken = [&](const TToken& X) {
        if (X.Kind == 2) return false;
        const std::string_view S = X.Text;
        return S == "-|" || S == "/-|" || S == "RD" || S == "/RD" || S == FRD ||
               (S.size() == FRD.size() + 1 && S[0] == '/' && S.substr(1) == FRD);
    };
    for (size_t K = CharStrings + 1; Count > 0 && K + 2 < T.size(); ++K) {
        if (IsRDToken(T[K + 1]) && T[K + 2].Kind == 2 && K >= 1) {
            std::string_view Name = T[K - 1].Text;
            if (!Name.empty() && Name[0] == '/') Name.remove_prefix(1);
            FCharStringNames.emplace_back(Name);
            FCharStringValues.push_back(T[K + 2].Text);
            --Count;
            K += 2;
        }
    }
    return true;
}

// ---- CFF loading ----

std::string TPDFType1Decoder::CffString(int32_t SID) const {
    if (SID < 0) return {};
    if (SID < 391) return kCffStandardStrings[size_t(SID)];
    const size_t I = size_t(SID) - 391;
    return I < FStrings.size() ? FStrings[I] : std::string();
}

std::string TPDFType1Decoder::CffDictText(std::string_view D, bool Private) const {
    enum TKind { kSingle, kString, kArray, kPrivate };
    struct TEntry {
        int Op;
        const char* Key;
        TKind Kind;
    };
    static const TEntry Top[] = {
        {0, "version", kString},          {1, "Notice", kString},
        {2, "FullName", kString},         {3, "FamilyName", kString},
        {4, "Weight", kString},           {5, "FontBBox", kArray},
        {1200, "Copyright", kString},     {1201, "isFixedPitch", kSingle},
        {1202, "italicAngle", kSingle},   {1203, "UnderlinePosition", kSingle},
        {1204, "UnderlineThickness", kSingle}, {1205, "PaintType", kSingle},
        {1206, "CharstringType", kSingle}, {1207, "FontMatrix", kArray},
        {1208, "StrokeWidth", kSingle},   {1220, "SyntheticBase", kSingle},
        {1221, "PostScript", kString},    {1222, "BaseFontName", kString},
        {1223, "BaseFontBlend", kArray},  {1230, "ROS", kArray},
        {1231, "CIDFontVersion", kSingle}, {1232, "CIDFontRevision", kSingle},
        {1233, "CIDFontType", kSingle},   {1234, "CIDCount", kSingle},
        {1235, "UIDBase", kSingle},       {1236, "FDArray", kSingle},
        {1237, "FDSelect", kSingle},      {1238, "FontName", kString},
        {13, "UniqueID", kSingle},        {14, "XUID", kArray},
        {15, "charset", kSingle},         {16, "Encoding", kSingle},
        {17, "CharStrings", kSingle},     {18, "Private", kPrivate},
    };
    static const TEntry Priv[] = {
        {6, "BlueValues", kArray},       {7, "OtherBlues", kArray},
        {8, "FamilyBlues", kArray},      {9, "FamilyOtherBlues", kArray},
        {10, "StdHW", kSingle},          {11, "StdVW", kSingle},
        {1209, "BlueScale", kSingle},    {1210, "BlueShift", kSingle},
        {1211, "BlueFuzz", kSingle},     {1212, "StemSnapH", kArray},
        {1213, "StemSnapV", kArray},     {1214, "ForceBold", kSingle},
        {1217, "LanguageGroup", kSingle}, {1218, "ExpansionFactor", kSingle},
        {1219, "initialRandomSeed", kSingle}, {19, "Subrs", kSingle},
        {20, "defaultWidthX", kSingle},  {21, "nominalWidthX", kSingle},
    };
    std::vector<double> Ops;
    std::string Text = "<< ";
    size_t At = 0;
    const size_t N = D.size();
    auto Byte = [&](size_t K) -> int { return K < N ? uint8_t(D[K]) : 0; };
    while (At < N) {
        const int B0 = Byte(At);
        if (B0 <= 21) {
            int Op = B0;
            At += 1;
            if (B0 == 12) {
                Op = 1200 + Byte(At);
                At += 1;
            }
            const TEntry* E = nullptr;
            for (const TEntry& X : Private ? std::span<const TEntry>(Priv) : std::span<const TEntry>(Top))
                if (X.Op == Op) E = &X;
            if (E) {
                Text += '/';
                Text += E->Key;
                switch (E->Kind) {
                    case kSingle:
                        Text += ' ';
                        if (!Ops.empty()) Text += Num(Ops.back());
                        break;
                    case kString: {
                        std::string S = Ops.empty() ? std::string() : CffString(int32_t(
                                            std::clamp(Ops.back(), -1.0, 2147483647.0)));
                        Text += " (";
                        // Escaped so that the value reads back unchanged.
                        for (char Ch : S) {
                            if (Ch == '(' || Ch == ')' || Ch == '\\') Text += '\\';
                            Text += Ch;
                        }
                        Text += ')';
                        break;
                    }
                    case kArray:
                        Text += " [ ";
                        for (double V : Ops) Text += Num(V) + ' ';
                        Text += ']';
                        break;
                    case kPrivate: {
                        const double Off = Ops.size() >= 1 ? Ops.back() : 0;
                        const double Size = Ops.size() >= 2 ? Ops[Ops.size() - 2] : 0;
                        Text += " [ " + Num(Off) + ' ' + Num(Size) + " ]";
                        break;
                    }
                }
                Text += ' ';
            }
            // Every operator, known or not, takes the operands before it.
            Ops.clear();
            continue;
        }
        if (Ops.size() >= 48) Ops.erase(Ops.begin());  // the format's operand limit
        if (B0 == 28) {
            Ops.push_back(double(int16_t(Byte(At + 1) << 8 | Byte(At + 2))));
            At += 3;
        } else if (B0 == 29) {
            Ops.push_back(double(int32_t(uint32_t(Byte(At + 1)) << 24 | uint32_t(Byte(At + 2)) << 16 |
                                         uint32_t(Byte(At + 3)) << 8 | uint32_t(Byte(At + 4)))));
            At += 5;
        } else if (B0 == 30) {
            ++At;
            std::string S;
            bool Done = false;
            while (At < N && !Done) {
                const int B = Byte(At++);
                for (int Nib : {B >> 4, B & 15}) {
                    if (Nib <= 9)
                        S += char('0' + Nib);
                    else if (Nib == 10)
                        S += '.';
                    else if (Nib == 11)
                        S += 'E';
                    else if (Nib == 12)
                        S += "E-";
                    else if (Nib == 14)
                        S += '-';
                    else if (Nib == 15) {
                        Done = true;
                        break;
                    }
                }
                if (S.size() > 64) Done = true;
            }
            double V = 0;
            const auto R = std::from_chars(S.data(), S.data() + S.size(), V);
            Ops.push_back(R.ec == std::errc() ? Finite(V) : 0.0);
        } else if (B0 >= 32 && B0 <= 246) {
            Ops.push_back(B0 - 139);
            At += 1;
        } else if (B0 >= 247 && B0 <= 250) {
            Ops.push_back((B0 - 247) * 256 + Byte(At + 1) + 108);
            At += 2;
        } else if (B0 >= 251 && B0 <= 254) {
            Ops.push_back(-(B0 - 251) * 256 - Byte(At + 1) - 108);
            At += 2;
        } else {
            At += 1;  // 22 to 27, 31, 255: reserved
        }
    }
    Text += ">>";
    return Text;
}

bool TPDFType1Decoder::LoadCFFFromString(std::string Data) {
    ResetGlyphs();
    const std::string_view D = Keep(std::move(Data));
    std::string_view Cff = D;
    if (D.substr(0, 4) == "OTTO") {
        // The "CFF " table of the font's table directory, bounded by the data.
        TPDFTrueTypeParser P;
        P.LoadTablesFromBuffer(FBuffers.back());
        const int32_t T = P.FindTable("CFF ");
        if (T < 0) return false;
        const auto& E = P.TableDirectory()[size_t(T)];
        if (E.offset >= D.size()) return false;
        Cff = D.substr(E.offset, std::min<uint64_t>(E.length, D.size() - E.offset));
        if (Cff.substr(0, 4) == "OTTO") return false;
    }
    return LoadCff(Cff);
}

bool TPDFType1Decoder::LoadCFFFromPDFStream(TPDFStream* Stream) {
    if (!Stream) return false;
    return LoadCFFFromString(Stream->GetDecodedStream());
}

bool TPDFType1Decoder::LoadCff(std::string_view D) {
    FStructure->PDFPrecision = "0.00000000";
    FStructure->PDFPrecNum = 8;
    size_t Budget = kLoadItemBudget;
    size_t At = std::max<size_t>(4, Card(D, 2, 1));
    if (At > D.size()) At = D.size();
    ReadIndex(D, At, Budget);  // names
    std::vector<std::string_view> Tops = ReadIndex(D, At, Budget);
    // Each Top DICT replaces what the one before it set; of a large font set
    // only the last few are read.
    if (Tops.size() > 8) Tops.erase(Tops.begin(), Tops.end() - 8);
    const std::vector<std::string_view> Strings = ReadIndex(D, At, Budget);
    FStrings.assign(Strings.begin(), Strings.end());
    FGlobalSubrs = ReadIndex(D, At, Budget);
    auto Dict = [&](std::string_view Bytes, bool Private) {
        return ObjAs<TPDFDictionary>(FStructure->Decode(CffDictText(Bytes, Private)));
    };
    auto Number = [&](TPDFDictionary* Dc, const char* Key, int64_t& V) {
        double X;
        if (!ObjNumber(Dc->FindValueByKeyName(Key, false), X)) return false;
        V = int64_t(std::clamp(X, -1e12, 1e12));
        return true;
    };
    auto At0 = [&](int64_t Off) -> size_t {
        return Off < 0 || uint64_t(Off) >= D.size() ? D.size() : size_t(Off);
    };
    // The local subroutines of a DICT's Private entry.
    auto PrivateSubrs = [&](TPDFDictionary* Dc, std::vector<std::string_view>& Into) {
        auto* A = ObjAs<TPDFArray>(Dc->FindValueByKeyName("Private", false));
        double Off, Size;
        if (!A || A->Count() != 2 || !ObjNumber(A->GetItem(0), Off) ||
            !ObjNumber(A->GetItem(1), Size) || Size <= 0 || Off < 0 || Off >= double(D.size()))
            return false;
        const size_t O = size_t(Off);
        const size_t S = size_t(std::min(Size, double(D.size() - O)));
        auto* P = Dict(D.substr(O, S), true);
        if (!P) return false;
        int64_t Subrs;
        if (!Number(P, "Subrs", Subrs)) return false;
        size_t SA = At0(int64_t(O) + Subrs);
        Into = ReadIndex(D, SA, Budget);
        return true;
    };
    for (std::string_view TopBytes : Tops) {
        TPDFDictionary* T = Dict(TopBytes, false);
        if (!T) continue;
        FIsCIDFont = T->FindValueByKeyName("ROS", false) != nullptr || FForceCIDFont;
        bool TopMatrix = false;
        if (auto* M = ObjAs<TPDFArray>(T->FindValueByKeyName("FontMatrix", false));
            M && M->Count() > 0) {
            double V;
            if (ObjNumber(M->GetItem(0), V)) {
                FFontMatrixScaling = V == 0 ? 1.0 : 1000 * V;
                TopMatrix = true;
                if (V != 0) SetFontMatrix(M);
            }
        }
        std::vector<std::string_view> CharStrings;
        int64_t Off;
        if (Number(T, "CharStrings", Off)) {
            size_t CA = At0(Off);
            CharStrings = ReadIndex(D, CA, Budget);
        }
        const size_t NG = CharStrings.size();
        if (NG > 0) {
            int64_t Charset = 0;
            Number(T, "charset", Charset);
            FCharStringNames.clear();
            FCharStringValues.assign(CharStrings.begin(), CharStrings.end());
            std::vector<int32_t> Ids(NG, 0);
            if (Charset >= 0 && Charset < 3) {
                // Predefined charsets: glyph i has SID i, or the SID the
                // expert charsets list for it.
                for (size_t I = 0; I < NG; ++I) {
                    if (Charset == 1)
                        Ids[I] = I < kCffExpertCharset.size() ? kCffExpertCharset[I] : 0;
                    else if (Charset == 2)
                        Ids[I] = I < kCffExpertSubsetCharset.size() ? kCffExpertSubsetCharset[I] : 0;
                    else
                        Ids[I] = int32_t(std::min<size_t>(I, 0x7FFFFFFF));
                }
            } else {
                size_t P = At0(Charset);
                const int Format = P < D.size() ? uint8_t(D[P]) : -1;
                ++P;
                if (Format == 0) {
                    for (size_t I = 1; I < NG && P + 2 <= D.size(); ++I, P += 2)
                        Ids[I] = int32_t(Card(D, P, 2));
                } else if (Format == 1 || Format == 2) {
                    const int NSize = Format == 1 ? 1 : 2;
                    size_t I = 1;
                    while (I < NG && P + 2 + size_t(NSize) <= D.size()) {
                        const uint32_t First = Card(D, P, 2);
                        const uint32_t Left = Card(D, P + 2, NSize);
                        P += 2 + size_t(NSize);
                        for (uint32_t K = 0; K <= Left && I < NG; ++K) Ids[I++] = int32_t(First + K);
                    }
                }
            }
            FCharStringNames.reserve(NG);
            for (size_t I = 0; I < NG; ++I)
                FCharStringNames.push_back(FIsCIDFont && !(Charset >= 0 && Charset < 3)
                                               ? "CID:" + std::to_string(Ids[I])
                                               : CffString(Ids[I]));
            // The encoding.
            int64_t Enc = 0;
            Number(T, "Encoding", Enc);
            if (Enc == 0) {
                for (size_t C = 0; C < 256; ++C)
                    FEncoding[C] = kCffStandardEncoding[C] ? CffString(kCffStandardEncoding[C])
                                                           : std::string(".notdef");
            } else if (Enc >= 2) {
                FEncoding.fill(".notdef");
                size_t P = At0(Enc);
                const int Format = P < D.size() ? uint8_t(D[P]) : -1;
                ++P;
                auto Set = [&](uint32_t Code, size_t Glyph) {
                    if (Code <= 255 && Glyph < NG) FEncoding[Code] = FCharStringNames[Glyph];
                };
                if ((Format & 0x7F) == 0) {
                    const uint32_t Codes = Card(D, P, 1);
                    ++P;
                    for (uint32_t K = 0; K < Codes && P < D.size(); ++K, ++P)
                        Set(Card(D, P, 1), K + 1);
                } else if ((Format & 0x7F) == 1) {
                    const uint32_t Ranges = Card(D, P, 1);
                    ++P;
                    size_t G = 1;
                    for (uint32_t K = 0; K < Ranges && P + 2 <= D.size(); ++K, P += 2) {
                        const uint32_t First = Card(D, P, 1), Left = Card(D, P + 1, 1);
                        for (uint32_t J = 0; J <= Left; ++J) Set(First + J, G++);
                    }
                }
                if (Format >= 0 && (Format & 0x80) && (Format & 0x7F) <= 1) {
                    // Supplements: further codes for glyphs named by SID.
                    const uint32_t Sups = Card(D, P, 1);
                    ++P;
                    for (uint32_t K = 0; K < Sups && P + 3 <= D.size(); ++K, P += 3) {
                        const uint32_t Code = Card(D, P, 1);
                        const std::string Name = CffString(int32_t(Card(D, P + 1, 2)));
                        if (Code <= 255) FEncoding[Code] = Name;
                    }
                }
            }
        }
        FCharStringType = 2;
        if (FIsCIDFont) {
            FCIDSelect.clear();
            FCIDSubrs.clear();
            FCIDScale.clear();
            if (Number(T, "FDSelect", Off)) {
                size_t P = At0(Off);
                FCIDSelect.assign(FCharStringNames.size(), 0);
                const int Format = P < D.size() ? uint8_t(D[P]) : -1;
                ++P;
                if (Format == 0) {
                    for (size_t I = 0; I < FCIDSelect.size() && P < D.size(); ++I, ++P)
                        FCIDSelect[I] = uint8_t(D[P]);
                } else if (Format == 3) {
                    const uint32_t Ranges = Card(D, P, 2);
                    P += 2;
                    for (uint32_t K = 0; K < Ranges && P + 5 <= D.size(); ++K, P += 3) {
                        const uint32_t First = Card(D, P, 2), Fd = Card(D, P + 2, 1),
                                       Next = Card(D, P + 3, 2);
                        for (uint32_t G = First; G < Next && G < FCIDSelect.size(); ++G)
                            FCIDSelect[G] = uint8_t(Fd);
                    }
                }
            }
            if (Number(T, "FDArray", Off)) {
                size_t P = At0(Off);
                const std::vector<std::string_view> Fds = ReadIndex(D, P, Budget);
                FCIDSubrs.resize(Fds.size());
                FCIDScale.assign(Fds.size(), 1.0);
                double First = 0;
                for (size_t K = 0; K < Fds.size(); ++K) {
                    TPDFDictionary* F = Dict(Fds[K], false);
                    if (!F) continue;
                    PrivateSubrs(F, FCIDSubrs[K]);
                    if (auto* M = ObjAs<TPDFArray>(F->FindValueByKeyName("FontMatrix", false));
                        M && M->Count() > 0) {
                        double V;
                        if (ObjNumber(M->GetItem(0), V) && V != 0) {
                            if (First == 0) First = V;
                            FCIDScale[K] = V / First;
                        }
                    }
                }
                // The first Font DICT's matrix applies with the top one (in
                // place of it when the top DICT has none).
                if (First != 0) {
                    FFontMatrixScaling = TopMatrix ? FFontMatrixScaling * First : 1000 * First;
                    FGlyphMatrix = {FFontMatrixScaling, 0, 0, FFontMatrixScaling, 0, 0};
                }
            }
        }
        PrivateSubrs(T, FSubrs);
    }
    return true;
}

void TPDFType1Decoder::SetFontMatrix(TPDFArray* M) {
    double V[6] = {0.001, 0, 0, 0.001, 0, 0};
    for (int32_t K = 0; K < 6 && K < M->Count(); ++K)
        if (!ObjNumber(M->GetItem(K), V[K])) return;
    // Thousandths of an em: the matrix times 1000.
    FGlyphMatrix = {V[0] * 1000, V[1] * 1000, V[2] * 1000, V[3] * 1000, V[4] * 1000, V[5] * 1000};
}

// ---- Glyph look-up ----

void TPDFType1Decoder::ResolveNames() {
    if (FNamesIndexed) return;
    FNamesIndexed = true;
    FNameIndex.reserve(FCharStringNames.size());
    for (size_t I = 0; I < FCharStringNames.size(); ++I)
        FNameIndex.emplace(FCharStringNames[I], int32_t(I));
}

int32_t TPDFType1Decoder::GlyphIndexOf(const std::string& Name) {
    if (const auto It = FResolved.find(Name); It != FResolved.end()) return It->second;
    ResolveNames();
    int32_t Index = -1;
    if (const auto It = FNameIndex.find(Name); It != FNameIndex.end()) {
        Index = It->second;
    } else if (Name.rfind("GID:", 0) == 0 || Name.rfind("CID:", 0) == 0) {
        const std::string Cid = "CID:" + Name.substr(4);
        if (const auto C = FNameIndex.find(Cid); C != FNameIndex.end() && Name[0] == 'G') {
            Index = C->second;
        } else if (Name[0] == 'G' || !FIsCIDFont) {
            // A glyph index (for a CID of a font that is not CID-keyed, the
            // CID is the glyph index).
            const int64_t V = TokenInt(std::string_view(Name).substr(4), -1);
            if (V >= 0 && uint64_t(V) < FCharStringValues.size()) Index = int32_t(V);
        }
    }
    FResolved.emplace(Name, Index);
    return Index;
}

std::string_view TPDFType1Decoder::CharStringOf(int32_t Index) const {
    if (Index < 0 || size_t(Index) >= FCharStringValues.size()) return {};
    return FCharStringValues[size_t(Index)];
}

// ---- Type 1 interpreter ----

struct TPDFType1Decoder::TType1Run {
    std::vector<double> St;
    std::vector<double> PS;
    bool Flex = false;
    int FlexIndex = 0;
    double FlexPts[14] = {};
    int Depth = 0;
    int64_t Budget = kOperatorBudget;
    bool Stop = false;
    int KnownResults = 0;
};

bool TPDFType1Decoder::Type1Seac(TType1Run& R, double Asb, double Adx, double Ady, int Bchar,
                                 int Achar) {
    if (Bchar < 0 || Bchar > 255 || Achar < 0 || Achar > 255) return false;
    const std::string& BN = StandardNames()[size_t(Bchar)];
    const std::string& AN = StandardNames()[size_t(Achar)];
    ResolveNames();
    const auto B = FNameIndex.find(BN), A = FNameIndex.find(AN);
    if (BN.empty() || AN.empty() || B == FNameIndex.end() || A == FNameIndex.end()) return false;
    const std::string Base = DecryptCharstring(CharStringOf(B->second));
    const std::string Accent = DecryptCharstring(CharStringOf(A->second));
    R.St.clear();
    RunType1(Base, R);
    R.Stop = false;
    FOps.Add(okSeac, {Asb, Adx, Ady});
    R.St.clear();
    RunType1(Accent, R);
    R.Stop = true;
    return true;
}

void TPDFType1Decoder::RunType1(std::string_view Plain, TType1Run& R) {
    ++R.Depth;
    struct TLeave {
        int& D;
        ~TLeave() { --D; }
    } Leave{R.Depth};
    if (R.Depth >= kType1Depth) return;
    auto Push = [&](double V) {
        if (R.St.size() < 512) R.St.push_back(V);
    };
    // The top N operands, first pushed first; missing ones read as 0.
    auto Take = [&](size_t N, double* Out) {
        const size_t Have = std::min(N, R.St.size());
        for (size_t K = 0; K < N - Have; ++K) Out[K] = 0;
        for (size_t K = 0; K < Have; ++K) Out[N - Have + K] = R.St[R.St.size() - Have + K];
        R.St.resize(R.St.size() - Have);
    };
    const size_t N = Plain.size();
    size_t At = 0;
    auto B = [&](size_t K) -> int { return uint8_t(Plain[K]); };
    while (At < N && !R.Stop) {
        if (--R.Budget < 0) {
            R.Stop = true;
            return;
        }
        const int V = B(At);
        if (V >= 32) {
            if (V <= 246) {
                Push(V - 139);
                At += 1;
            } else if (V <= 250) {
                if (At + 1 >= N) return;
                Push((V - 247) * 256 + B(At + 1) + 108);
                At += 2;
            } else if (V <= 254) {
                if (At + 1 >= N) return;
                Push(-(V - 251) * 256 - B(At + 1) - 108);
                At += 2;
            } else {
                if (At + 4 >= N) return;
                Push(double(int32_t(uint32_t(B(At + 1)) << 24 | uint32_t(B(At + 2)) << 16 |
                                    uint32_t(B(At + 3)) << 8 | uint32_t(B(At + 4)))));
                At += 5;
            }
            continue;
        }
        At += 1;
        int Op = V;
        if (V == 12) {
            if (At >= N) return;
            Op = 1200 + B(At);
            At += 1;
        }
        double A[6];
        switch (Op) {
            case 1:
                Take(2, A);
                FOps.Add(okHStem, A, 2);
                R.St.clear();
                break;
            case 3:
                Take(2, A);
                FOps.Add(okVStem, A, 2);
                R.St.clear();
                break;
            case 4:
            case 21:
            case 22: {
                if (Op == 21) {
                    Take(2, A);
                } else {
                    Take(1, A);
                    A[1] = Op == 4 ? A[0] : 0;
                    if (Op == 4) A[0] = 0;
                }
                if (R.Flex && R.FlexIndex >= 0 && R.FlexIndex <= 6) {
                    R.FlexPts[2 * R.FlexIndex] = A[0];
                    R.FlexPts[2 * R.FlexIndex + 1] = A[1];
                } else {
                    FOps.Add(okRMoveTo, A, 2);
                }
                R.St.clear();
                break;
            }
            case 5:
                Take(2, A);
                FOps.Add(okRLineTo, A, 2);
                R.St.clear();
                break;
            case 6:
                Take(1, A);
                FOps.Add(okRLineTo, {A[0], 0});
                R.St.clear();
                break;
            case 7:
                Take(1, A);
                FOps.Add(okRLineTo, {0, A[0]});
                R.St.clear();
                break;
            case 8:
                Take(6, A);
                FOps.Add(okRRCurveTo, A, 6, "rr");
                R.St.clear();
                break;
            case 9:
                FOps.Add(okClosePath, {});
                R.St.clear();
                break;
            case 10: {
                Take(1, A);
                const std::string S = DecryptCharstring(Subr(int32_t(std::clamp(A[0], -1.0, 2e9))));
                RunType1(S, R);
                break;
            }
            case 11:
                return;
            case 1200:
                FOps.Add(okDotSection, {});
                R.St.clear();
                break;
            case 1201:
                FOps.Add(okVStem3, {});
                R.St.clear();
                break;
            case 1202:
                FOps.Add(okHStem3, {});
                R.St.clear();
                break;
            case 1206: {
                Take(5, A);
                R.St.clear();
                Type1Seac(R, A[0], A[1], A[2], int(std::clamp(A[3], -1.0, 256.0)),
                          int(std::clamp(A[4], -1.0, 256.0)));
                R.Stop = true;
                return;
            }
            case 1207:
                Take(4, A);
                FOps.Add(okSbw, A, 4);
                R.St.clear();
                break;
            case 1212:
                Take(2, A);
                Push(A[1] == 0 ? 0 : Finite(A[0] / A[1]));
                break;
            case 1216: {
                Take(2, A);
                const int Other = int(std::clamp(A[1], -1.0, 1e6));
                const size_t Count = size_t(std::clamp(A[0], 0.0, double(R.St.size())));
                if (Other == 0 && Count >= 3) {
                    double F[3];
                    Take(3, F);
                    if (R.Flex && R.FlexIndex == 7) FOps.Add(okFlex, R.FlexPts, 14);
                    R.Flex = false;
                    R.FlexIndex = 0;
                    R.PS.push_back(F[2]);
                    R.PS.push_back(F[1]);
                } else if (Other == 1) {
                    R.Flex = true;
                    R.FlexIndex = 0;
                    R.St.resize(R.St.size() - Count);
                } else if (Other == 2) {
                    ++R.FlexIndex;
                    R.St.resize(R.St.size() - Count);
                } else if (Other == 3) {
                    R.St.resize(R.St.size() - Count);
                    R.PS.push_back(3);
                } else {
                    // Othersubrs without a meaning here hand their arguments
                    // back to the pops that follow them.
                    R.KnownResults = int(Count);
                }
                break;
            }
            case 1217:
                if (R.KnownResults > 0) {
                    --R.KnownResults;
                } else if (!R.PS.empty()) {
                    Push(R.PS.back());
                    R.PS.pop_back();
                } else {
                    Push(0);
                }
                break;
            case 1233:
                Take(2, A);
                FOps.Add(okSetCurrentPoint, A, 2);
                R.St.clear();
                break;
            case 13:
                Take(2, A);
                FOps.Add(okHsbw, A, 2);
                R.St.clear();
                break;
            case 14:
                FOps.Add(okEndChar, {});
                R.St.clear();
                R.Stop = true;
                return;
            case 30:
                Take(4, A);
                FOps.Add(okRRCurveTo, {0, A[0], A[1], A[2], A[3], 0}, "vh");
                R.St.clear();
                break;
            case 31:
                Take(4, A);
                FOps.Add(okRRCurveTo, {A[0], 0, A[1], A[2], 0, A[3]}, "hv");
                R.St.clear();
                break;
            default:
                break;
        }
    }
}

bool TPDFType1Decoder::DecodeType1Charstring(int32_t Index) {
    FOps.Clear();
    const std::string Plain = DecryptCharstring(CharStringOf(Index));
    if (Plain.empty()) return false;
    TType1Run R;
    RunType1(Plain, R);
    return true;
}

// ---- Type 2 interpreter ----

struct TPDFType1Decoder::TType2Run {
    std::vector<double> St;
    double Transient[32] = {};
    bool WidthPending = true;
    int32_t HintCount = 0;
    int Depth = 0;
    int64_t Budget = kOperatorBudget;
    bool Ended = false;
};

void TPDFType1Decoder::RunType2(std::string_view Data, TType2Run& R, bool TopLevel) {
    if (R.Depth >= kType2Depth) return;
    ++R.Depth;
    struct TLeave {
        int& D;
        ~TLeave() { --D; }
    } Leave{R.Depth};
    auto& St = R.St;
    constexpr size_t kMaxStack = 96;
    auto Push = [&](double V) {
        if (St.size() < kMaxStack) St.push_back(Finite(V));
    };
    auto Pop = [&]() -> double {
        if (St.empty()) return 0;
        const double V = St.back();
        St.pop_back();
        return V;
    };
    auto Width = [&](bool Odd) {
        if (R.WidthPending && !St.empty() && (St.size() % 2 == 1) == Odd) St.erase(St.begin());
        R.WidthPending = false;
    };
    auto Stems = [&](TOpKind Kind) {
        Width(true);
        const size_t Pairs = St.size() / 2;
        FOps.Add(Kind, St.data() + (St.size() % 2), Pairs * 2);
        R.HintCount += int32_t(Pairs);
        St.clear();
    };
    const size_t N = Data.size();
    size_t At = 0;
    auto B = [&](size_t K) -> int { return K < N ? uint8_t(Data[K]) : 0; };
    while (At < N && !R.Ended) {
        if (--R.Budget < 0) {
            R.Ended = true;
            return;
        }
        const int V = B(At);
        if (V >= 32 || V == 28) {
            size_t Need = V == 28 ? 3 : V <= 246 ? 1 : V <= 254 ? 2 : 5;
            if (At + Need > N) {
                At += 1;  // a number cut short: only its first byte is passed over
                continue;
            }
            if (V == 28)
                Push(double(int16_t(B(At + 1) << 8 | B(At + 2))));
            else if (V <= 246)
                Push(V - 139);
            else if (V <= 250)
                Push((V - 247) * 256 + B(At + 1) + 108);
            else if (V <= 254)
                Push(-(V - 251) * 256 - B(At + 1) - 108);
            else
                Push(double(int32_t(uint32_t(B(At + 1)) << 24 | uint32_t(B(At + 2)) << 16 |
                                    uint32_t(B(At + 3)) << 8 | uint32_t(B(At + 4)))) /
                     65536.0);
            At += Need;
            continue;
        }
        At += 1;
        int Op = V;
        if (V == 12) {
            Op = 1200 + B(At);
            At += 1;
        }
        const size_t C = St.size();
        switch (Op) {
            case 1:
            case 18:
                Stems(okHStem);
                break;
            case 3:
            case 23:
                Stems(okVStem);
                break;
            case 19:
            case 20: {
                if (!St.empty()) Stems(okVStem);
                R.WidthPending = false;
                const size_t Bytes = (size_t(R.HintCount) + 7) / 8;
                std::vector<double> Bits;
                // The format allows 96 stem hints; more give no more bits.
                for (int32_t K = 0; K < std::min<int32_t>(R.HintCount, 96); ++K) {
                    const size_t Pos = At + size_t(K) / 8;
                    Bits.push_back(Pos < N && (B(Pos) >> (7 - K % 8) & 1) ? 1 : 0);
                }
                FOps.Add(Op == 19 ? okHintMask : okCntrMask, Bits.data(), Bits.size());
                At = std::min(N, At + Bytes);
                break;
            }
            case 21: {
                Width(true);
                const double Y = Pop(), X = Pop();
                FOps.Add(okRMoveTo, {X, Y});
                St.clear();
                break;
            }
            case 22:
            case 4: {
                Width(false);
                const double D = Pop();
                FOps.Add(okRMoveTo, {Op == 22 ? D : 0, Op == 4 ? D : 0});
                St.clear();
                break;
            }
            case 5:
                for (size_t K = 0; K + 1 < C; K += 2) FOps.Add(okRLineTo, {St[K], St[K + 1]});
                St.clear();
                break;
            case 6:
            case 7: {
                bool Horizontal = Op == 6;
                for (size_t K = 0; K < C; ++K) {
                    FOps.Add(okRLineTo, {Horizontal ? St[K] : 0, Horizontal ? 0 : St[K]});
                    Horizontal = !Horizontal;
                }
                St.clear();
                break;
            }
            case 8:
                for (size_t K = 0; K + 5 < C; K += 6) FOps.Add(okRRCurveTo, &St[K], 6, "rr");
                St.clear();
                break;
            case 24: {
                size_t K = 0;
                for (; K + 6 + 2 <= C; K += 6) FOps.Add(okRRCurveTo, &St[K], 6, "rr");
                if (K + 1 < C) FOps.Add(okRLineTo, &St[K], 2, "cl");
                St.clear();
                break;
            }
            case 25: {
                size_t K = 0;
                for (; K + 2 + 6 <= C; K += 2) FOps.Add(okRLineTo, &St[K], 2);
                if (K + 5 < C) FOps.Add(okRRCurveTo, &St[K], 6, "lc");
                St.clear();
                break;
            }
            case 26:
            case 27: {
                size_t K = 0;
                double First = 0;
                if (C % 2 == 1) First = St[K++];
                for (; K + 3 < C; K += 4) {
                    if (Op == 26)
                        FOps.Add(okRRCurveTo, {First, St[K], St[K + 1], St[K + 2], 0, St[K + 3]},
                                 "vv");
                    else
                        FOps.Add(okRRCurveTo, {St[K], First, St[K + 1], St[K + 2], St[K + 3], 0},
                                 "hh");
                    First = 0;
                }
                St.clear();
                break;
            }
            case 30:
            case 31: {
                static const char* const VH[] = {"vh1", "vh2", "vh3", "vh4", "vh5"};
                static const char* const HV[] = {"hv1", "hv2", "hv3", "hv4", "hv5"};
                bool Horizontal = Op == 31;
                size_t K = 0;
                int Curve = 0;
                while (K + 3 < C) {
                    const double Last = (C - K == 5) ? St[K + 4] : 0;
                    const char* Label = (Op == 30 ? VH : HV)[Curve < 4 ? Curve : 4];
                    if (Horizontal)
                        FOps.Add(okRRCurveTo, {St[K], 0, St[K + 1], St[K + 2], Last, St[K + 3]},
                                 Label);
                    else
                        FOps.Add(okRRCurveTo, {0, St[K], St[K + 1], St[K + 2], St[K + 3], Last},
                                 Label);
                    K += 4;
                    Horizontal = !Horizontal;
                    ++Curve;
                }
                St.clear();
                break;
            }
            case 10:
            case 29: {
                if (St.empty()) break;
                const std::vector<std::string_view>* List = &FGlobalSubrs;
                if (Op == 10)
                    List = FFDSel >= 0 ? (size_t(FFDSel) < FCIDSubrs.size() ? &FCIDSubrs[size_t(FFDSel)]
                                                                           : nullptr)
                                       : &FSubrs;
                const double Nr = Pop();
                if (!List) break;
                const double I = Nr + Bias(List->size());
                if (I >= 0 && I < double(List->size())) RunType2((*List)[size_t(I)], R, false);
                break;
            }
            case 11:
                return;
            case 14: {
                if (R.WidthPending && (C == 1 || C == 5)) St.erase(St.begin());
                R.WidthPending = false;
                if (St.size() >= 4) {
                    const double* A = &St[St.size() - 4];
                    const double Adx = A[0], Ady = A[1];
                    const int Bc = int(std::clamp(A[2], -1.0, 256.0));
                    const int Ac = int(std::clamp(A[3], -1.0, 256.0));
                    St.clear();
                    ResolveNames();
                    if (Bc >= 0 && Bc <= 255 && Ac >= 0 && Ac <= 255) {
                        const auto Bi = FNameIndex.find(StandardNames()[size_t(Bc)]);
                        const auto Ai = FNameIndex.find(StandardNames()[size_t(Ac)]);
                        if (Bi != FNameIndex.end() && Ai != FNameIndex.end()) {
                            const int32_t Sel = FFDSel;
                            auto Component = [&](int32_t G) {
                                TType2Run Sub;
                                Sub.Depth = R.Depth;
                                Sub.Budget = R.Budget;
                                FFDSel = G < int32_t(FCIDSelect.size()) ? FCIDSelect[size_t(G)] : -1;
                                RunType2(CharStringOf(G), Sub, true);
                                R.Budget = Sub.Budget;
                            };
                            Component(Bi->second);
                            FOps.Add(okSeac, {0, Adx, Ady});
                            Component(Ai->second);
                            FFDSel = Sel;
                        }
                    }
                }
                St.clear();
                FOps.Add(okEndChar, {});
                R.Ended = true;
                return;
            }
            case 1234:  // hflex
                if (C >= 7) {
                    const double* A = &St[C - 7];
                    FOps.Add(okT2Flex, {A[0], 0, A[1], A[2], A[3], 0, A[4], 0, A[5], -A[2], A[6],
                                        0, 50});
                }
                St.clear();
                break;
            case 1235:
                if (C >= 13) FOps.Add(okT2Flex, &St[C - 13], 13);
                St.clear();
                break;
            case 1236:
                if (C >= 9) {
                    const double* A = &St[C - 9];
                    FOps.Add(okT2Flex, {A[0], A[1], A[2], A[3], A[4], 0, A[5], 0, A[6], A[7], A[8],
                                        -(A[1] + A[3] + A[7]), 50});
                }
                St.clear();
                break;
            case 1237:
                if (C >= 11) {
                    const double* A = &St[C - 11];
                    double Dx = 0, Dy = 0;
                    for (int K = 0; K < 5; ++K) {
                        Dx += A[2 * K];
                        Dy += A[2 * K + 1];
                    }
                    double X6, Y6;
                    if (std::fabs(Dx) > std::fabs(Dy)) {
                        X6 = A[10];
                        Y6 = -Dy;
                    } else {
                        X6 = -Dx;
                        Y6 = A[10];
                    }
                    double F[13];
                    std::copy(A, A + 10, F);
                    F[10] = X6;
                    F[11] = Y6;
                    F[12] = 50;
                    FOps.Add(okT2Flex, F, 13);
                }
                St.clear();
                break;
            case 1203: {
                const double Y = Pop(), X = Pop();
                Push(X != 0 && Y != 0 ? 1 : 0);
                break;
            }
            case 1204: {
                const double Y = Pop(), X = Pop();
                Push(X != 0 || Y != 0 ? 1 : 0);
                break;
            }
            case 1205:
                Push(Pop() == 0 ? 1 : 0);
                break;
            case 1209:
                Push(std::fabs(Pop()));
                break;
            case 1210: {
                const double Y = Pop(), X = Pop();
                Push(X + Y);
                break;
            }
            case 1211: {
                const double Y = Pop(), X = Pop();
                Push(X - Y);
                break;
            }
            case 1212: {
                const double Y = Pop(), X = Pop();
                Push(Y == 0 ? 0 : X / Y);
                break;
            }
            case 1214:
                Push(-Pop());
                break;
            case 1215: {
                const double Y = Pop(), X = Pop();
                Push(X == Y ? 1 : 0);
                break;
            }
            case 1218:
                Pop();
                break;
            case 1220: {
                const double I = Pop(), X = Pop();
                if (I >= 0 && I < 32) R.Transient[size_t(I)] = X;
                break;
            }
            case 1221: {
                const double I = Pop();
                Push(I >= 0 && I < 32 ? R.Transient[size_t(I)] : 0);
                break;
            }
            case 1222: {
                const double V2 = Pop(), V1 = Pop(), S2 = Pop(), S1 = Pop();
                Push(V1 > V2 ? S2 : S1);
                break;
            }
            case 1223:
                FRandom ^= FRandom << 13;
                FRandom ^= FRandom >> 17;
                FRandom ^= FRandom << 5;
                Push(double((FRandom & 0xFFFF) + 1) / 65536.0);
                break;
            case 1224: {
                const double Y = Pop(), X = Pop();
                Push(X * Y);
                break;
            }
            case 1226: {
                const double X = Pop();
                Push(X < 0 ? 0 : std::sqrt(X));
                break;
            }
            case 1227:
                if (!St.empty()) Push(St.back());
                break;
            case 1228:
                if (St.size() >= 2) std::swap(St[St.size() - 1], St[St.size() - 2]);
                break;
            case 1229: {
                const double I = Pop();
                if (St.empty()) break;
                const size_t K = I < 0 ? 0 : size_t(std::min(I, 1e6));
                Push(K < St.size() ? St[St.size() - 1 - K] : 0);
                break;
            }
            case 1230: {
                const double J = Pop(), Nn = Pop();
                if (Nn <= 0 || Nn > double(St.size())) break;
                const size_t Cnt = size_t(Nn);
                const int64_t Shift = int64_t(std::fmod(std::trunc(J), double(Cnt)));
                const size_t Up = size_t((Shift % int64_t(Cnt) + int64_t(Cnt)) % int64_t(Cnt));
                std::rotate(St.end() - int64_t(Cnt), St.end() - int64_t(Up), St.end());
                break;
            }
            case 0:
            case 2:
            case 9:
            case 13:
            case 15:
            case 16:
            case 17:
                FOps.Ops.push_back({okUnknown, nullptr, uint32_t(FOps.Args.size()), 0, Op});
                St.clear();
                break;
            default:
                St.clear();
                break;
        }
    }
    (void)TopLevel;
}

bool TPDFType1Decoder::DecodeType2Charstring(int32_t Index) {
    FOps.Clear();
    FOps.Add(okHsbw, {0, 0});
    const std::string_view Data = CharStringOf(Index);
    FFDSel = Index >= 0 && size_t(Index) < FCIDSelect.size() ? FCIDSelect[size_t(Index)] : -1;
    if (Data.empty()) return false;
    TType2Run R;
    RunType2(Data, R, true);
    return true;
}

bool TPDFType1Decoder::DecodeCharstring(const std::string& Name) {
    const int32_t Index = GlyphIndexOf(Name);
    if (Index < 0) {
        FOps.Clear();
        return false;
    }
    return FCharStringType == 2 ? DecodeType2Charstring(Index) : DecodeType1Charstring(Index);
}

// ---- Replay ----

bool TPDFType1Decoder::Replay(TPDFGenericShape& S, double Scale) const {
    double X = 0, Y = 0, Sbx = 0, Sby = 0, Ox = 0, Oy = 0;
    bool InAccent = false, Open = false, Result = false;
    size_t LastFlex = SIZE_MAX;
    auto P = [&](double V) { return V * Scale; };
    auto Start = [&]() {
        if (!Open) {
            S.MoveTo(P(X), P(Y));
            Open = true;
        }
    };
    auto Close = [&]() {
        if (Open) S.ClosePath();
        Open = false;
    };
    auto Curve = [&](const double* A) {
        Start();
        const double X1 = X + A[0], Y1 = Y + A[1];
        const double X2 = X1 + A[2], Y2 = Y1 + A[3];
        X = X2 + A[4];
        Y = Y2 + A[5];
        S.AddBezierToPath(P(X1), P(Y1), P(X2), P(Y2), P(X), P(Y));
    };
    for (size_t K = 0; K < FOps.Ops.size(); ++K) {
        const TOp& Op = FOps.Ops[K];
        double A[14] = {};
        for (uint32_t J = 0; J < Op.Count && J < 14; ++J) A[J] = FOps.Args[Op.First + J];
        switch (Op.Kind) {
            case okHsbw:
            case okSbw: {
                const double Bx = A[0], By = Op.Kind == okSbw ? A[1] : 0;
                if (!InAccent) {
                    Sbx = Bx;
                    Sby = By;
                    X = Bx;
                    Y = By;
                } else {
                    X = Ox + Bx;
                    Y = Oy + By;
                }
                break;
            }
            case okRMoveTo:
                Close();
                X += A[0];
                Y += A[1];
                break;
            case okRLineTo:
                // A line that goes nowhere adds nothing to the outline.
                if (A[0] == 0 && A[1] == 0) break;
                Start();
                X += A[0];
                Y += A[1];
                S.AddLineToPath(P(X), P(Y));
                break;
            case okRRCurveTo:
                Curve(A);
                break;
            case okFlex: {
                // The reference point is not drawn: each curve's first
                // control point is relative to it.
                const double C1[6] = {A[0] + A[2], A[1] + A[3], A[4], A[5], A[6], A[7]};
                Curve(C1);
                Curve(A + 8);
                LastFlex = K;
                break;
            }
            case okT2Flex:
                Curve(A);
                Curve(A + 6);
                break;
            case okSetCurrentPoint:
                // After a flex the point is where the flex ended.
                if (LastFlex + 1 != K) {
                    X = A[0];
                    Y = A[1];
                }
                break;
            case okClosePath:
                Close();
                break;
            case okEndChar:
                Close();
                Result = true;
                break;
            case okSeac:
                // The accent's origin: the base's side bearing plus adx, less
                // the accent's side bearing given to seac; the accent's own
                // side bearing then applies from there.
                Close();
                InAccent = true;
                Ox = Sbx + A[1] - A[0];
                Oy = A[2];
                X = Ox;
                Y = Oy;
                break;
            default:
                break;
        }
    }
    Close();
    (void)Sby;
    return Result;
}

const TPDFGenericShape* TPDFType1Decoder::GlyphShape(const std::string& Name) {
    return GlyphShapeAt(GlyphIndexOf(Name));
}

const TPDFGenericShape* TPDFType1Decoder::GlyphShapeAt(int32_t Index) {
    if (Index < 0) return nullptr;
    auto [It, Added] = FGlyphs.try_emplace(Index);
    if (Added) {
        // Cached before it is built: a glyph that fails to decode stays as
        // far as it got and is not decoded again.
        if (FCharStringType == 2)
            DecodeType2Charstring(Index);
        else
            DecodeType1Charstring(Index);
        double Scale = 1;
        if (FCharStringType == 2 && FFDSel >= 0 && size_t(FFDSel) < FCIDScale.size())
            Scale = FCIDScale[size_t(FFDSel)];
        It->second.Ok = Replay(It->second.Shape, Scale);
    }
    return &It->second.Shape;
}

void TPDFType1Decoder::DrawShape(const TPDFGenericShape& Shape, double RX, double RY,
                                 TPDFGenericCanvas* Canvas, const TPDFXForm& Mat) const {
    // The whole font matrix applies, so that a slanted or condensed
    // program draws as it is meant to.
    TPDFXForm M = Mat;
    MultiplyXForm(M, FGlyphMatrix, M);
    MultiplyXForm(M, TPDFXForm{1, 0, 0, 1, RX, RY}, M);
    Canvas->DrawShape(Shape, M);
}

bool TPDFType1Decoder::RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas,
                                      const TPDFXForm& Mat, const std::string& CharName,
                                      TPDFEncodingVector) {
    const int32_t Index = GlyphIndexOf(CharName);
    if (Index < 0) return false;
    const bool Cached = FGlyphs.count(Index) != 0;
    const TPDFGenericShape* Shape = GlyphShapeAt(Index);
    if (Canvas && Shape) DrawShape(*Shape, RX, RY, Canvas, Mat);
    return Cached || FGlyphs[Index].Ok;
}

int32_t TPDFType1Decoder::ResolveGlyph(const std::string& CharName) {
    const int32_t Index = GlyphIndexOf(CharName);
    return Index >= 0 ? Index : kNoGlyph;
}

int32_t TPDFType1Decoder::ResolveGlyphId(uint32_t Glyph) {
    return ResolveGlyph("GID:" + std::to_string(Glyph));
}

void TPDFType1Decoder::RenderResolvedGlyph(double RX, double RY, TPDFGenericCanvas* Canvas,
                                           const TPDFXForm& Mat, int32_t Resolved) {
    const TPDFGenericShape* Shape = GlyphShapeAt(Resolved);
    if (Canvas && Shape) DrawShape(*Shape, RX, RY, Canvas, Mat);
}

// ---- The font analysis's loader ----

void InstallType1ProgramLoader() {
    Type1ProgramLoader() = [](TPDFProgramKind Kind, const std::string& Data,
                              TPDFDictionary* StreamDict, const TPDFFindObjectEvent& Find,
                              TPDFCharsetNames& Encoding) -> std::unique_ptr<TPDFFontRasterizer> {
        auto D = std::make_unique<TPDFType1Decoder>();
        D->FOnFindObject = Find;
        if (Kind == TPDFProgramKind::CFF) {
            if (!D->LoadCFFFromString(Data) || D->CharStringCount() == 0) return nullptr;
            Encoding = D->GetEncoding();
            return D;
        }
        bool Loaded;
        if (StreamDict) {
            auto Length = [&](const char* Key) -> int64_t {
                TPDFObject* O = StreamDict->FindValueByKeyName(Key, false);
                if (auto* R = ObjAs<TPDFIndRef>(O)) O = Find ? Find(R) : R->Obj();
                double V = 0;
                return ObjNumber(O, V) ? int64_t(std::clamp(V, -1e15, 1e15)) : 0;
            };
            Loaded = D->LoadFontFileData(Data, Length("Length1"), Length("Length2"),
                                         Length("Length3"));
        } else {
            Loaded = D->LoadPFBFromString(Data);
        }
        if (!Loaded && D->EncryptedPortion().empty()) return nullptr;
        D->DecodeFontDict();
        if (!D->DecodeEncryptedPortion() || D->CharStringCount() == 0) return nullptr;
        Encoding = D->GetEncoding();
        return D;
    };
}

}  // namespace velmo
