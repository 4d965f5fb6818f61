#include "codecs/InlineImage.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstring>

#include "core/Flate.h"

namespace velmo {

namespace {

bool IsWhite(unsigned char C) {
    return C == 0 || C == 9 || C == 10 || C == 12 || C == 13 || C == 32;
}

// Reads the content with 1-based positions; the byte after the end reads
// as 0.
struct TInlineText {
    std::string_view S;
    int64_t Len;
    explicit TInlineText(std::string_view Text) : S(Text), Len(int64_t(Text.size())) {}
    unsigned char At(int64_t P) const {
        return P >= 1 && P <= Len ? (unsigned char)S[size_t(P - 1)] : 0;
    }
    std::string_view Slice(int64_t From, int64_t To) const {
        From = std::max<int64_t>(From, 1);
        To = std::min(To, Len);
        if (To < From) return {};
        return S.substr(size_t(From - 1), size_t(To - From + 1));
    }
};

std::string ReadInlineToken(const TInlineText& T, int64_t& Pos) {
    const int64_t Len = T.Len;
    if (Pos >= Len) return {};
    while (Pos <= Len && IsWhite(T.At(Pos))) ++Pos;
    if (Pos > Len) return {};
    if (Pos == Len) {
        ++Pos;
        return std::string(T.Slice(Len, Len));
    }
    const int64_t Start = Pos;
    const unsigned char C = T.At(Pos);
    if (C == '(') {
        int Depth = 0;
        while (Pos <= Len) {
            const unsigned char B = T.At(Pos);
            if (B == '\\') {
                Pos += 2;
                continue;
            }
            if (B == '(') ++Depth;
            if (B == ')' && --Depth == 0) {
                ++Pos;
                return std::string(T.Slice(Start, Pos - 1));
            }
            ++Pos;
        }
        Pos = Len;
        return std::string(T.Slice(Start, Len));
    }
    if (C == '<') {
        int64_t J = Pos + 1;
        while (J <= Len - 2 && T.At(J) != '>') ++J;
        if (T.At(J) == '>')
            while (J + 1 <= Len && T.At(J + 1) == '>') ++J;
        J = std::min(J, Len);
        Pos = J + 1;
        return std::string(T.Slice(Start, J));
    }
    if (C == '[' || C == ']' || C == '\'') {
        ++Pos;
        return std::string(1, char(C));
    }
    ++Pos;
    while (Pos <= Len) {
        const unsigned char B = T.At(Pos);
        if (IsWhite(B) || B == '(' || B == '/' || B == '<' || B == '[' || B == ']') break;
        ++Pos;
    }
    const std::string Token(T.Slice(Start, Pos - 1));
    if (Pos >= Len) Pos = Len + 1;
    return Token;
}

std::string ExpandInlineAbbreviation(const std::string& Token) {
    static constexpr std::pair<std::string_view, std::string_view> Table[] = {
        {"/G", "/DeviceGray"},       {"/RGB", "/DeviceRGB"},      {"/CMYK", "/DeviceCMYK"},
        {"/I", "/Indexed"},          {"/AHx", "/ASCIIHexDecode"}, {"/A85", "/ASCII85Decode"},
        {"/LZW", "/LZWDecode"},      {"/Fl", "/FlateDecode"},     {"/RL", "/RunLengthDecode"},
        {"/CCF", "/CCITTFaxDecode"}, {"/DCT", "/DCTDecode"}};
    for (const auto& [Short, Full] : Table)
        if (Token == Short) return std::string(Full);
    return Token;
}

std::string Trim(std::string_view S) {
    size_t B = 0, E = S.size();
    while (B < E && IsWhite((unsigned char)S[B])) ++B;
    while (E > B && IsWhite((unsigned char)S[E - 1])) --E;
    return std::string(S.substr(B, E - B));
}

// The text of an array whose "[" was just read: every token followed by a
// space, up to and including the first "]".
std::string ReadArrayText(const TInlineText& T, int64_t& Pos, bool Expand) {
    std::string Text = "[ ";
    for (;;) {
        std::string Token = ReadInlineToken(T, Pos);
        if (Token.empty()) break;
        Text += Expand ? ExpandInlineAbbreviation(Token) : Token;
        Text += ' ';
        if (Token == "]") break;
    }
    return Trim(Text);
}

int32_t InlineInteger(const std::string& Token) {
    int32_t V = 0;
    const char* B = Token.data();
    const char* E = B + Token.size();
    if (B != E && *B == '+') ++B;
    const auto R = std::from_chars(B, E, V);
    if (R.ec != std::errc() || R.ptr != E) return 0;
    return V;
}

TPDFObject* Resolve(TPDFObject* O, const TPDFFindObjectEvent& OnFindObject) {
    if (auto* Ref = ObjAs<TPDFIndRef>(O)) return OnFindObject ? OnFindObject(Ref) : Ref->Obj();
    return O;
}

// An inline indexed space named in the resources.
struct TIndexedResource {
    bool Found = false;
    std::string Base;
    std::string Hival;
    std::string Lookup;
};

std::string ResolveInlineColorSpace(const std::string& Name,
                                    const TPDFFindObjectEvent& OnFindObject,
                                    TPDFDictionary* Resources, TIndexedResource& Indexed) {
    static constexpr std::string_view DeviceNames = "/DeviceGray/DeviceRGB/DeviceCMYK/Indexed";
    if (DeviceNames.find(Name) != std::string_view::npos) return Name.substr(1);
    if (Resources == nullptr) return {};
    auto* Spaces = ObjAs<TPDFDictionary>(
        Resolve(Resources->FindValueByKeyName("ColorSpace", false), OnFindObject));
    if (Spaces == nullptr) return "/DeviceRGB";
    auto* Entry =
        ObjAs<TPDFArray>(Resolve(Spaces->FindValueByKeyName(Name.substr(1), false), OnFindObject));
    if (Entry == nullptr || Entry->Count() < 2) return "/DeviceRGB";
    auto* Family = ObjAs<TPDFName>(Entry->GetItem(0));
    if (Family == nullptr) return "/DeviceRGB";
    std::string Space = Family->Name();
    if (Space == "CalRGB") Space = "DeviceRGB";
    if (Space != "Indexed") return Space;
    Indexed.Found = true;
    TPDFObject* Base = Resolve(Entry->GetItem(1), OnFindObject);
    if (auto* N = ObjAs<TPDFName>(Base)) {
        Indexed.Base = N->Name();
    } else if (auto* A = ObjAs<TPDFArray>(Base); A != nullptr && A->Count() > 0) {
        if (auto* First = ObjAs<TPDFName>(Resolve(A->GetItem(0), OnFindObject)))
            Indexed.Base = First->Name();
    }
    int64_t Hival = 255;
    if (auto* N = ObjAs<TPDFNumeric>(
            Resolve(Entry->Count() > 2 ? Entry->GetItem(2) : nullptr, OnFindObject)))
        Hival = N->AsInteger();
    Indexed.Hival = std::to_string(Hival);
    TPDFObject* Lookup = Resolve(Entry->Count() > 3 ? Entry->GetItem(3) : nullptr, OnFindObject);
    if (auto* S = ObjAs<TPDFString>(Lookup))
        Indexed.Lookup = S->AsString();
    else if (auto* St = ObjAs<TPDFStream>(Lookup))
        Indexed.Lookup = St->Stream();
    // A palette has at most 256 entries: a larger hival does not make the
    // lookup grow beyond that.
    const int64_t Entries = std::clamp<int64_t>(Hival + 1, 0, 256);
    size_t Want = 0;
    if (Indexed.Base == "DeviceRGB" || Indexed.Base == "CalRGB")
        Want = size_t(Entries) * 3;
    else if (Indexed.Base == "DeviceCMYK")
        Want = size_t(Entries) * 4;
    if (Indexed.Lookup.size() < Want) Indexed.Lookup.resize(Want, '\0');
    return "Indexed";
}

// Bytes of an image without filter: 64-bit, never negative, never more
// than the content holds.
int64_t ExpectedSize(const TPDFInlineImage& Img, bool CountICC, int64_t Len) {
    // Width × depth fits 62 bits; the products after it are done in 128.
    const int64_t Row =
        (int64_t(std::max(Img.Width, 0)) * std::max(Img.BitsPerComponent, 0) + 7) / 8;
    __int128 Size = __int128(Row) * std::max(Img.Height, 0);
    const std::string& CS = Img.ColorSpace;
    if (CS == "RGB" || CS == "DeviceRGB" || (CountICC && CS == "ICCBased"))
        Size *= 3;
    else if (CS == "CMYK" || CS == "DeviceCMYK")
        Size *= 4;
    return Size > Len ? Len : int64_t(Size);
}

bool IsInlineImageEnd(const TInlineText& T, int64_t P) {
    if (!IsWhite(T.At(P))) return false;
    if (P <= T.Len - 10) {
        for (int64_t I = P + 1; I <= P + 10; ++I) {
            const unsigned char B = T.At(I);
            if (!((B >= 32 && B <= 122) || IsWhite(B))) return false;
        }
    }
    return true;
}

// The next "EI" candidate at or after Pos (its "E"), or 0.
int64_t NextCandidate(const TInlineText& T, int64_t Pos) {
    for (; Pos <= T.Len - 1; ++Pos) {
        // Skip quickly to the next "E".
        const void* E = std::memchr(T.S.data() + (Pos - 1), 'E', size_t(T.Len - Pos + 1));
        if (E == nullptr) return 0;
        Pos = int64_t(static_cast<const char*>(E) - T.S.data()) + 1;
        if (Pos > T.Len - 1) return 0;
        if (T.At(Pos + 1) == 'I' && IsInlineImageEnd(T, Pos + 2)) return Pos;
    }
    return 0;
}

// The generic end search. True unless it starts too close to the end.
bool SearchEnd(const TInlineText& T, int64_t Start, int64_t& Pos, int64_t& ImageEnd) {
    if (Start >= T.Len - 2) return false;
    if (const int64_t C = NextCandidate(T, Start)) {
        ImageEnd = C - 1;
        Pos = C;
    } else {
        ImageEnd = T.Len - 2;
        Pos = T.Len - 1;
    }
    return true;
}

// Reads tokens up to and including "EI"; false when the text ends first.
bool SkipToEI(const TInlineText& T, int64_t& Pos) {
    for (;;) {
        const std::string Token = ReadInlineToken(T, Pos);
        if (Token.empty()) return false;
        if (Token == "EI") return true;
    }
}

// Inflates a growing prefix of the data and counts what it gives, without
// starting again for every prefix: the length after feeding a prefix is the
// length a one-shot inflate of that prefix gives. With RunLength the count
// is that of the run-length decoding of the inflated bytes.
class TIncrementalLength {
public:
    explicit TIncrementalLength(bool RunLength) : FRunLength(RunLength) {}
    ~TIncrementalLength() {
        if (FStarted) inflateEnd(&FZ);
    }
    TIncrementalLength(const TIncrementalLength&) = delete;
    TIncrementalLength& operator=(const TIncrementalLength&) = delete;

    // Feeds more compressed bytes; returns the decoded length so far.
    uint64_t Feed(std::string_view More) {
        if (FDone || More.empty()) return FCount;
        if (!FStarted) {
            FStarted = true;
            if (inflateInit(&FZ) != Z_OK) {
                FDone = true;
                return FCount;
            }
        }
        FZ.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(More.data()));
        FZ.avail_in = uInt(More.size());
        unsigned char Out[16384];
        while (!FDone) {
            FZ.next_out = Out;
            FZ.avail_out = sizeof Out;
            const int Ret = inflate(&FZ, Z_NO_FLUSH);
            const size_t Made = sizeof Out - FZ.avail_out;
            Count(Out, Made);
            if (Ret == Z_STREAM_END || (Ret != Z_OK && Ret != Z_BUF_ERROR)) FDone = true;
            if (FInflated >= kMaxDecodedSize) FDone = true;
            if (FZ.avail_in == 0 && FZ.avail_out > 0) break;
            if (Ret == Z_BUF_ERROR && Made == 0) break;
        }
        return FCount;
    }
    uint64_t Length() const { return FCount; }

private:
    void Count(const unsigned char* P, size_t N) {
        const size_t Room = kMaxDecodedSize - std::min<uint64_t>(FInflated, kMaxDecodedSize);
        N = std::min(N, Room);
        FInflated += N;
        if (!FRunLength) {
            FCount = FInflated;
            return;
        }
        for (size_t I = 0; I < N && !FRunEnded;) {
            if (FLiteral > 0) {
                const size_t Take = std::min<size_t>(FLiteral, N - I);
                FCount += Take;
                FLiteral -= Take;
                I += Take;
            } else if (FRepeat > 0) {
                FCount += FRepeat;
                FRepeat = 0;
                ++I;
            } else {
                const unsigned L = P[I++];
                if (L < 128)
                    FLiteral = L + 1;
                else if (L == 128)
                    FRunEnded = true;
                else
                    FRepeat = 257 - L;
            }
        }
        FCount = std::min<uint64_t>(FCount, kMaxDecodedSize);
    }

    bool FRunLength;
    z_stream FZ{};
    bool FStarted = false;
    bool FDone = false;
    uint64_t FInflated = 0;
    uint64_t FCount = 0;
    size_t FLiteral = 0;
    size_t FRepeat = 0;
    bool FRunEnded = false;
};

// Rules for Flate data: the first candidate whose inflated data is (nearly)
// as long as expected ends the image.
bool SearchFlateEnd(const TInlineText& T, int64_t P0, int64_t Expected, bool RunLength,
                    int64_t& Pos, int64_t& ImageEnd) {
    TIncrementalLength Decoded(RunLength);
    int64_t Fed = P0;  // last byte fed
    int64_t From = P0;
    bool AnyCandidate = false;
    if (From >= T.Len - 2) return false;
    for (;;) {
        const int64_t C = NextCandidate(T, From);
        if (C == 0) break;
        AnyCandidate = true;
        // The data up to and including the candidate's "EI".
        if (C + 1 > Fed) {
            Decoded.Feed(T.Slice(Fed + 1, C + 1));
            Fed = C + 1;
        }
        if (Expected - int64_t(std::min<uint64_t>(Decoded.Length(), INT64_MAX / 2)) < 4) {
            ImageEnd = C - 1;
            Pos = C;
            return true;
        }
        From = C + 1;
    }
    if (!AnyCandidate) return SearchEnd(T, std::max(From, T.Len - 2), Pos, ImageEnd);
    ImageEnd = T.Len - 2;
    Pos = T.Len - 1;
    return true;
}

}  // namespace

std::string InlineLiteralString(std::string_view Bytes) {
    std::string S = "(";
    for (char C : Bytes) {
        switch (C) {
            case '\b':
                S += "\\b";
                break;
            case '\t':
                S += "\\t";
                break;
            case '\n':
                S += "\\n";
                break;
            case '\f':
                S += "\\f";
                break;
            case '\r':
                S += "\\r";
                break;
            case '(':
                S += "\\(";
                break;
            case ')':
                S += "\\)";
                break;
            case '\\':
                S += "\\\\";
                break;
            default:
                S += C;
        }
    }
    S += ')';
    return S;
}

std::string NormalizeInlineColorSpace(std::string_view Text) {
    // The lookup of an indexed space starts at its string; only the text
    // before it is normalised, so the palette bytes stay as they are.
    size_t Cut = Text.size();
    if (Text.substr(0, 1) == "[") {
        const size_t Lit = Text.find_first_of("(<");
        if (Lit != std::string_view::npos) Cut = Lit;
    }
    std::string Head(Text.substr(0, Cut));
    auto ReplaceAll = [&](std::string_view From, std::string_view To) {
        std::string Out;
        size_t I = 0;
        for (;;) {
            const size_t J = Head.find(From, I);
            if (J == std::string::npos) break;
            Out.append(Head, I, J - I);
            Out += To;
            I = J + From.size();
        }
        Out.append(Head, I, std::string::npos);
        Head = std::move(Out);
    };
    ReplaceAll("/G", "/DeviceGray");
    ReplaceAll("/RGB", "/DeviceRGB");
    ReplaceAll("/CMYK", "/DeviceCMYK");
    ReplaceAll("/I ", "/Indexed ");
    Head.erase(std::remove(Head.begin(), Head.end(), '/'), Head.end());
    Head.append(Text.substr(Cut));
    return Head;
}

bool ParseInlineImage(std::string_view Content, int64_t& Pos, TPDFInlineImage& Img,
                      const TPDFFindObjectEvent& OnFindObject, TPDFDictionary* Resources) {
    Img.Width = 0;
    Img.Height = 0;
    Img.BitsPerComponent = 0;
    Img.ColorSpace.clear();
    Img.ColorSpaceObj = nullptr;
    Img.ImageData.clear();
    Img.ImageMask = false;
    Img.Decode.clear();
    Img.DecodeParms.clear();
    Img.Filter.clear();
    Img.IndexedLookup.clear();
    const TInlineText T(Content);
    const int64_t Len = T.Len;
    if (Pos < 1) Pos = 1;
    TIndexedResource Indexed;
    bool SawID = false;
    for (;;) {
        const std::string Key = ReadInlineToken(T, Pos);
        if (Key.empty()) break;
        if (Key == "ID") {
            SawID = true;
            break;
        }
        if (Key == "/W" || Key == "/Width") {
            Img.Width = InlineInteger(ReadInlineToken(T, Pos));
        } else if (Key == "/H" || Key == "/Height") {
            Img.Height = InlineInteger(ReadInlineToken(T, Pos));
        } else if (Key == "/BPC" || Key == "/BitsPerComponent") {
            Img.BitsPerComponent = InlineInteger(ReadInlineToken(T, Pos));
        } else if (Key == "/IM" || Key == "/ImageMask") {
            Img.ImageMask = ReadInlineToken(T, Pos) == "true";
            if (Img.ImageMask) Img.ColorSpace = "/DeviceGray";
        } else if (Key == "/CS" || Key == "/ColorSpace") {
            const std::string V = ReadInlineToken(T, Pos);
            Img.ColorSpace = V == "[" ? ReadArrayText(T, Pos, true) : ExpandInlineAbbreviation(V);
            if (!Img.ColorSpace.empty() && Img.ColorSpace[0] == '/') {
                Indexed = TIndexedResource{};
                Img.ColorSpace =
                    ResolveInlineColorSpace(Img.ColorSpace, OnFindObject, Resources, Indexed);
            }
        } else if (Key == "/D" || Key == "/Decode") {
            const std::string V = ReadInlineToken(T, Pos);
            Img.Decode = V == "[" ? ReadArrayText(T, Pos, false) : V;
        } else if (Key == "/DP" || Key == "/DecodeParms") {
            const std::string V = ReadInlineToken(T, Pos);
            Img.DecodeParms = V == "[" ? ReadArrayText(T, Pos, false) : "[ " + Trim(V) + " ]";
        } else if (Key == "/F" || Key == "/Filter") {
            const std::string V = ReadInlineToken(T, Pos);
            Img.Filter = V == "[" ? ReadArrayText(T, Pos, true) : ExpandInlineAbbreviation(V);
        }
    }
    if (Img.BitsPerComponent == 0 && Img.ColorSpace == "/DeviceGray") Img.BitsPerComponent = 1;
    if (!SawID) {
        Pos = Len + 1;
        return false;
    }
    const int64_t P0 = Pos;
    int64_t ImageEnd = P0;
    bool Found = false;
    bool Done = false;
    if (Img.Filter == "/DCTDecode") {
        if (T.At(P0 + 1) == 0xFF && T.At(P0 + 2) == 0xD8) {
            int64_t Q = P0 + 3;
            bool Eoi = false;
            // Moves Q to the next 0xFF followed by a non-zero byte.
            auto ToNextMarker = [&] {
                while (Q <= Len - 1 && !(T.At(Q) == 0xFF && T.At(Q + 1) != 0)) ++Q;
            };
            while (Q <= Len - 2) {
                const unsigned char M1 = T.At(Q), M2 = T.At(Q + 1);
                Q += 2;
                if (M1 != 0xFF) break;
                if (M2 == 0xD9) {
                    Eoi = true;
                    break;
                }
                if (M2 >= 0xD0 && M2 <= 0xD7) {
                    ToNextMarker();
                    continue;
                }
                Q += (int64_t(T.At(Q)) << 8) | T.At(Q + 1);
                if (M2 == 0xDA) ToNextMarker();
            }
            if (Eoi) {
                ImageEnd = Q;
                Pos = Q;
                if (!SkipToEI(T, Pos)) {
                    Pos = Len + 1;
                    return false;
                }
                Found = Done = true;
            }
        }
    } else if (Img.Filter == "/ASCII85Decode" ||
               Img.Filter.compare(0, 16, "[ /ASCII85Decode") == 0) {
        int64_t J = P0 + 1;
        while (J <= Len - 2 && !(T.At(J) == '~' && T.At(J + 1) == '>')) ++J;
        if (J <= Len - 2) {
            ImageEnd = J + 1;
            Pos = J + 2;
        } else {
            ImageEnd = P0;
        }
        SkipToEI(T, Pos);
        Found = Done = true;
    } else if (Img.Filter == "/RunLengthDecode" || Img.Filter == "[ /RunLengthDecode ]") {
        // Run-length data carries its own end (the length byte 128): the runs
        // are walked to it, so "EI" inside a literal run is data. Without the
        // end mark the generic search below decides.
        int64_t J = P0 + 1;
        while (J <= Len && T.At(J) != 128) J += T.At(J) < 128 ? int64_t(T.At(J)) + 2 : 2;
        if (J <= Len) {
            ImageEnd = J;
            Pos = J + 1;
            if (!SkipToEI(T, Pos)) {
                Pos = Len + 1;
                return false;
            }
            Found = Done = true;
        }
    } else if (Img.Filter.empty()) {
        int64_t Q = P0 + ExpectedSize(Img, false, Len);
        while (Q + 1 <= Len && !(T.At(Q) == 'E' && T.At(Q + 1) == 'I')) ++Q;
        if (Q + 1 > Len) {
            Pos = Len + 1;
            return false;
        }
        ImageEnd = Q - 1;
        Pos = Q;
        Found = Done = true;
    } else if (Img.Filter == "/FlateDecode" || Img.Filter == "[ /FlateDecode /RunLengthDecode ]") {
        const bool RunLength = Img.Filter != "/FlateDecode";
        Found = SearchFlateEnd(T, P0, ExpectedSize(Img, !RunLength, Len), RunLength, Pos, ImageEnd);
        Done = true;
    }
    if (!Done) Found = SearchEnd(T, P0, Pos, ImageEnd);
    if (!Found) {
        Pos = Len + 1;
        return false;
    }
    Img.ImageStart = P0 + 1;
    Img.ImageEnd = ImageEnd;
    Img.ImageData = std::string(T.Slice(Img.ImageStart, ImageEnd));
    if (Indexed.Found && Img.ColorSpace == "Indexed") {
        Img.IndexedLookup = Indexed.Lookup;
        Img.ColorSpace = "[ /Indexed /" + Indexed.Base + " " + Indexed.Hival + " " +
                         InlineLiteralString(Indexed.Lookup) + " ]";
    }
    return true;
}

}  // namespace velmo
