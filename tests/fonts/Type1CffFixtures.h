// Font programs for the Type 1 and CFF outline checks: the URW base fonts
// (clear text, binary encrypted part, no PFB headers) in every other form
// a Type 1 program reaches the decoder in (PFA text, PFB
// segments, PDF font stream data with Length1/2/3, binary or with a
// hexadecimal encrypted part), CID-keyed CFF programs built with fontTools,
// and FreeType's outlines in the recording canvas's terms.
#pragma once

// FreeType is on the include path of the oracle and corpus tests only; the
// unit tests use the program builders alone.
#if __has_include(<ft2build.h>)
#define VPL_TEST_FREETYPE 1
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#endif

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fonts/RecordingCanvas.h"

namespace velmo::test {

// The files of a Debian package with the given extension, as dpkg lists them.
inline std::vector<std::string> PackageFiles(const char* Package, const char* Ext) {
    std::vector<std::string> Files;
    const std::string Command = std::string("dpkg -L ") + Package + " 2>/dev/null";
    FILE* P = popen(Command.c_str(), "r");
    if (!P) return Files;
    char Line[4096];
    const size_t N = std::char_traits<char>::length(Ext);
    while (std::fgets(Line, sizeof Line, P)) {
        std::string S = Line;
        while (!S.empty() && (S.back() == '\n' || S.back() == '\r')) S.pop_back();
        if (S.size() > N && S.compare(S.size() - N, N, Ext) == 0) Files.push_back(S);
    }
    pclose(P);
    return Files;
}

inline std::shared_ptr<const std::string> ReadBytes(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    if (!In) return nullptr;
    return std::make_shared<const std::string>(std::istreambuf_iterator<char>(In),
                                               std::istreambuf_iterator<char>());
}

// The three portions of a Type 1 program: clear text through "eexec" and
// its line end, the encrypted part as binary bytes, and the rest (the
// zeros and cleartomark).
struct TType1Portions {
    std::string Clear, Encrypted, Trailer;
};

inline int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

// Splits a Type 1 program without PFB headers: clear text, the encrypted
// part (hexadecimal text when its first four bytes are hex digits, binary
// otherwise), the rest. The encrypted part ends where the 512 zeros before
// cleartomark begin; zeros beyond those belong to the encrypted data.
// False when the program lacks "eexec" or cleartomark.
inline bool SplitType1(std::string_view Pfa, TType1Portions& Out) {
    const size_t Eexec = Pfa.find("eexec");
    const size_t Mark = Pfa.rfind("cleartomark");
    if (Eexec == std::string_view::npos || Mark == std::string_view::npos || Mark < Eexec)
        return false;
    size_t Start = Eexec + 5;
    if (Pfa.substr(Start, 2) == "\r\n")
        Start += 2;
    else if (Start < Pfa.size() && (Pfa[Start] == '\r' || Pfa[Start] == '\n'))
        ++Start;
    bool Hex = Start + 4 <= Pfa.size();
    for (size_t K = Start; Hex && K < Start + 4; ++K) Hex = HexValue(Pfa[K]) >= 0;
    // Back from cleartomark over the zeros and white space.
    size_t End = Mark;
    size_t Zeros = 0;
    while (End > Start) {
        const char C = Pfa[End - 1];
        if (C == '0')
            ++Zeros;
        else if (C != '\r' && C != '\n' && C != ' ' && C != '\t')
            break;
        --End;
    }
    // Give back the zeros beyond 512 (and the white space between them).
    while (Zeros > 512 && End < Mark) {
        if (Pfa[End] == '0') --Zeros;
        ++End;
    }
    Out.Clear = std::string(Pfa.substr(0, Start));
    Out.Trailer = std::string(Pfa.substr(End));
    Out.Encrypted.clear();
    if (!Hex) {
        Out.Encrypted = std::string(Pfa.substr(Start, End - Start));
        return !Out.Encrypted.empty();
    }
    int High = -1;
    for (size_t K = Start; K < End; ++K) {
        const int V = HexValue(Pfa[K]);
        if (V < 0) continue;
        if (High < 0) {
            High = V;
        } else {
            Out.Encrypted.push_back(char(High << 4 | V));
            High = -1;
        }
    }
    return !Out.Encrypted.empty();
}

// eexec decryption, for checking that the split kept the whole encrypted part.
inline std::string EexecDecrypt(std::string_view Data) {
    uint16_t R = 55665;
    std::string Out;
    Out.reserve(Data.size());
    for (char Ch : Data) {
        const auto C = uint8_t(Ch);
        Out.push_back(char(C ^ (R >> 8)));
        R = uint16_t((C + R) * 52845u + 22719u);
    }
    return Out;
}

inline std::string HexLines(std::string_view Data) {
    static const char Digits[] = "0123456789abcdef";
    std::string Out;
    for (size_t K = 0; K < Data.size(); ++K) {
        Out.push_back(Digits[uint8_t(Data[K]) >> 4]);
        Out.push_back(Digits[uint8_t(Data[K]) & 15]);
        if (K % 32 == 31) Out.push_back('\n');
    }
    if (Out.empty() || Out.back() != '\n') Out.push_back('\n');
    return Out;
}

// A PFB file: segments of type 1 (text) and 2 (binary), then the end mark.
// With Split, the encrypted part is written as two binary segments.
inline std::string MakePfb(const TType1Portions& P, bool Split = false) {
    std::string Out;
    auto Segment = [&](int Type, std::string_view Bytes) {
        const auto N = uint32_t(Bytes.size());
        Out += char(0x80);
        Out += char(Type);
        for (int K = 0; K < 4; ++K) Out += char(N >> (8 * K) & 0xFF);
        Out += Bytes;
    };
    Segment(1, P.Clear);
    const std::string_view E = P.Encrypted;
    if (Split) {
        Segment(2, E.substr(0, E.size() / 3));
        Segment(2, E.substr(E.size() / 3));
    } else {
        Segment(2, E);
    }
    Segment(1, P.Trailer);
    Out += char(0x80);
    Out += char(3);
    return Out;
}

inline std::string MakePfa(const TType1Portions& P) {
    return P.Clear + HexLines(P.Encrypted) + P.Trailer;
}

// The decoded data of a PDF /FontFile stream and its Length1/2/3: the
// clear text, the encrypted part (binary, or hexadecimal text), the rest.
struct TFontFileStream {
    std::string Data;
    size_t Length1 = 0, Length2 = 0, Length3 = 0;
};

inline TFontFileStream MakeFontFileStream(const TType1Portions& P, bool HexEncrypted) {
    TFontFileStream S;
    const std::string Encrypted = HexEncrypted ? HexLines(P.Encrypted) : P.Encrypted;
    S.Data = P.Clear + Encrypted + P.Trailer;
    S.Length1 = P.Clear.size();
    S.Length2 = Encrypted.size();
    S.Length3 = P.Trailer.size();
    return S;
}

// eexec and charstring encryption (R 55665 and 4330), after Lead zero bytes.
inline std::string Type1Encrypt(std::string_view Plain, uint16_t R, int Lead = 4) {
    std::string Out;
    auto Put = [&](uint8_t P) {
        const auto C = uint8_t(P ^ (R >> 8));
        R = uint16_t((C + R) * 52845u + 22719u);
        Out.push_back(char(C));
    };
    for (int K = 0; K < Lead; ++K) Put(0);
    for (char P : Plain) Put(uint8_t(P));
    return Out;
}

// A Type 1 charstring from text: integers and operator names.
inline std::string Type1Charstring(std::string_view Text) {
    static const std::pair<const char*, std::vector<uint8_t>> Ops[] = {
        {"hsbw", {13}},     {"rlineto", {5}},
        {"rmoveto", {21}},  {"hlineto", {6}},
        {"vlineto", {7}},   {"rrcurveto", {8}},
        {"closepath", {9}}, {"callsubr", {10}},
        {"return", {11}},   {"endchar", {14}},
        {"seac", {12, 6}},  {"callothersubr", {12, 16}},
        {"pop", {12, 17}},  {"setcurrentpoint", {12, 33}}};
    std::string Out;
    size_t At = 0;
    while (At < Text.size()) {
        while (At < Text.size() && Text[At] == ' ') ++At;
        size_t End = Text.find(' ', At);
        if (End == std::string_view::npos) End = Text.size();
        const std::string_view Token = Text.substr(At, End - At);
        At = End;
        if (Token.empty()) continue;
        bool Op = false;
        for (const auto& [Name, Bytes] : Ops)
            if (Token == Name) {
                Out.append(Bytes.begin(), Bytes.end());
                Op = true;
            }
        if (Op) continue;
        const int V = std::stoi(std::string(Token));
        if (V >= -107 && V <= 107) {
            Out.push_back(char(V + 139));
        } else if (V >= 108 && V <= 1131) {
            Out.push_back(char(247 + ((V - 108) >> 8)));
            Out.push_back(char((V - 108) & 255));
        } else if (V <= -108 && V >= -1131) {
            Out.push_back(char(251 + ((-V - 108) >> 8)));
            Out.push_back(char((-V - 108) & 255));
        } else {
            Out.push_back(char(255));
            for (int K = 3; K >= 0; --K) Out.push_back(char(uint32_t(V) >> (8 * K) & 255));
        }
    }
    return Out;
}

// A Type 1 program made in the test: glyphs (name, charstring text) and
// Subrs, standard encoding, FontMatrix 0.001.
inline TType1Portions MakeType1Program(
    const std::vector<std::pair<std::string, std::string>>& Glyphs,
    const std::vector<std::string>& Subrs) {
    TType1Portions P;
    P.Clear =
        "%!PS-AdobeFont-1.0: BuiltTest 001.000\n11 dict begin\n/FontName /BuiltTest def\n"
        "/Encoding StandardEncoding def\n/PaintType 0 def\n/FontType 1 def\n"
        "/FontMatrix [0.001 0 0 0.001 0 0] readonly def\n/FontBBox {0 -100 1000 900} readonly "
        "def\ncurrentdict end\ncurrentfile eexec\n";
    std::string Private =
        "dup /Private 8 dict dup begin\n/RD{string currentfile exch readstring pop}executeonly "
        "def\n/ND{noaccess def}executeonly def\n/NP{noaccess put}executeonly def\n/lenIV 4 "
        "def\n/password 5839 def\n/MinFeature{16 16} def\n/BlueValues [] def\n/Subrs " +
        std::to_string(Subrs.size()) + " array\n";
    for (size_t K = 0; K < Subrs.size(); ++K) {
        const std::string C = Type1Encrypt(Type1Charstring(Subrs[K]), 4330);
        Private +=
            "dup " + std::to_string(K) + " " + std::to_string(C.size()) + " RD " + C + " NP\n";
    }
    Private += "ND\n2 index /CharStrings " + std::to_string(Glyphs.size()) + " dict dup begin\n";
    for (const auto& [Name, Text] : Glyphs) {
        const std::string C = Type1Encrypt(Type1Charstring(Text), 4330);
        Private += "/" + Name + " " + std::to_string(C.size()) + " RD " + C + " ND\n";
    }
    Private +=
        "end\nend\nreadonly put\nnoaccess put\ndup/FontName get exch definefont pop\n"
        "mark currentfile closefile\n";
    P.Encrypted = Type1Encrypt(Private, 55665);
    for (int K = 0; K < 8; ++K) P.Trailer += std::string(64, '0') + "\n";
    P.Trailer += "cleartomark\n";
    return P;
}

// The usual first four Subrs (flex and hint replacement).
inline std::vector<std::string> StandardSubrs() {
    return {"3 0 callothersubr pop pop setcurrentpoint return", "0 1 callothersubr return",
            "0 2 callothersubr return", "return"};
}

// Glyphs that the URW programs do not hold: accented characters built by
// seac (the accent's side bearing equal to the seac operand, and not) and
// a flex of seven rmoveto points. In the peers' renders the accent of
// Aacute starts 300 units right of the origin (base side bearing 100 plus
// adx 200), and that of Acircumflex at 330 (the accent moved by its own
// side bearing 30 less the seac operand 0).
inline std::vector<std::pair<std::string, std::string>> SeacFlexGlyphs() {
    return {
        {".notdef", "0 500 hsbw endchar"},
        {"A",
         "100 600 hsbw 0 0 rmoveto 400 0 rlineto 0 400 rlineto -400 0 rlineto closepath "
         "endchar"},
        {"acute",
         "30 300 hsbw 0 500 rmoveto 100 0 rlineto 0 100 rlineto -100 0 rlineto "
         "closepath endchar"},
        {"Aacute", "100 600 hsbw 30 200 0 65 194 seac"},
        {"Acircumflex", "100 600 hsbw 0 200 0 65 194 seac"},
        {"F",
         "50 600 hsbw 0 0 rmoveto 1 callsubr 100 0 rmoveto 2 callsubr 50 20 rmoveto "
         "2 callsubr 50 0 rmoveto 2 callsubr 50 -20 rmoveto 2 callsubr 50 20 rmoveto "
         "2 callsubr 50 0 rmoveto 2 callsubr 50 -20 rmoveto 2 callsubr 50 450 0 0 callsubr "
         "0 300 rlineto closepath endchar"},
    };
}

// The fontTools script that writes a CID-keyed CFF program: ROS, two Font
// DICTs each with local subroutines of its own, a global subroutine,
// FDSelect in the format given (0 or 3), CIDs 1..300 in one run so the
// charset takes format 2, and ten more CIDs past a gap. Glyphs 0..149 use
// Font DICT 0, the others Font DICT 1; each glyph has stems, a hint mask,
// lines, a curve, a call of its Font DICT's subroutine (CID parity picks
// which) and of the global one, and an explicit width.
inline const char* CidCffScript() {
    return R"PY(
import io, sys
from fontTools.ttLib import TTFont
fmt = int(sys.argv[1])
cids = [0] + list(range(1, 301)) + list(range(1000, 1010))
order = [".notdef"] + ["cid%05d" % c for c in cids[1:]]
def glyph(gid, cid):
    fd = 0 if gid < 150 else 1
    if cid == 0:
        return fd, "500 endchar"
    w = 300 + cid % 400
    x, y = 20 + cid % 50, -10 - cid % 30
    ops = [f"{w} 10 50 100 40 hstem 30 60 200 70 vstemhm",
           f"hintmask 10110000 {x} {y} rmoveto 200 hlineto {cid % 90 + 10} vlineto -200 hlineto",
           f"{x + 5} 300 rmoveto 40 30 50 {cid % 70} 60 -20 rrcurveto",
           f"{cid % 2 - 107} callsubr -107 callgsubr endchar"]
    return fd, " ".join(ops)
subrs = [["100 0 rmoveto 50 80 rlineto -100 0 rlineto return", "10 10 rlineto return"],
         ["0 -150 rmoveto 120 0 rlineto 0 60 rlineto return", "-30 5 rlineto return"]]
x = io.StringIO()
x.write('<?xml version="1.0" encoding="UTF-8"?>\n<ttFont sfntVersion="OTTO">\n<GlyphOrder>\n')
for i, n in enumerate(order):
    x.write(f'<GlyphID id="{i}" name="{n}"/>\n')
x.write('</GlyphOrder>\n<CFF>\n<major value="1"/><minor value="0"/>\n<CFFFont name="BuiltCID">\n')
x.write('<ROS Registry="Adobe" Order="Identity" Supplement="0"/>\n')
x.write('<CIDFontVersion value="0"/><CIDFontRevision value="0"/><CIDFontType value="0"/>\n')
x.write('<CIDCount value="1010"/><FontBBox value="-100 -200 1000 900"/>\n')
x.write('<FontMatrix value="0.001 0 0 0.001 0 0"/>\n<FDArray>\n')
for k in range(2):
    x.write(f'<FontDict index="{k}"><FontName value="BuiltCID-FD{k}"/>\n')
    x.write('<FontMatrix value="1 0 0 1 0 0"/>\n')
    x.write(f'<Private><defaultWidthX value="{500 + 100 * k}"/><nominalWidthX value="{100 * k}"/>\n<Subrs>\n')
    for i, s in enumerate(subrs[k]):
        x.write(f'<CharString index="{i}">{s}</CharString>\n')
    x.write('</Subrs>\n</Private></FontDict>\n')
x.write(f'</FDArray>\n<FDSelect format="{fmt}"/>\n<CharStrings>\n')
for gid, cid in enumerate(cids):
    fd, cs = glyph(gid, cid)
    x.write(f'<CharString name="{order[gid]}" fdSelectIndex="{fd}">{cs}</CharString>\n')
x.write('</CharStrings>\n</CFFFont>\n')
x.write('<GlobalSubrs><CharString index="0">0 -40 rlineto 40 0 rlineto return</CharString></GlobalSubrs>\n')
x.write('</CFF>\n</ttFont>\n')
font = TTFont()
font.importXML(io.StringIO(x.getvalue()))
open(sys.argv[2], "wb").write(font["CFF "].compile(font))
)PY";
}

// Runs the script above for one FDSelect format in Folder; the program's
// bytes, or nullptr when python3 or fontTools failed.
inline std::shared_ptr<const std::string> BuildCidCff(const std::filesystem::path& Folder,
                                                      int FDSelectFormat) {
    const auto Script = Folder / "make_cid_cff.py";
    {
        std::ofstream Out(Script, std::ios::binary);
        Out << CidCffScript();
    }
    const auto Output = Folder / ("cid" + std::to_string(FDSelectFormat) + ".cff");
    const std::string Command = "/usr/bin/python3 '" + Script.string() + "' " +
                                std::to_string(FDSelectFormat) + " '" + Output.string() + "'";
    if (std::system(Command.c_str()) != 0) return nullptr;
    return ReadBytes(Output.string());
}

// Offsets of the charset and FDSelect of a CFF program's first Top DICT and
// the format bytes there; -1 where absent. Checks that the built fonts
// have the structure the test means to cover.
struct TCffLayout {
    int CharsetFormat = -1, FDSelectFormat = -1, FontDicts = -1;
    bool Ros = false;
};

inline TCffLayout ReadCffLayout(std::string_view D) {
    TCffLayout L;
    auto Card = [&](size_t At, int Size) -> uint64_t {
        uint64_t V = 0;
        for (int K = 0; K < Size; ++K) V = V << 8 | (At + K < D.size() ? uint8_t(D[At + K]) : 0);
        return V;
    };
    // An INDEX at At: its items' start and end offsets; At moves past it.
    auto Index = [&](size_t& At, std::vector<std::pair<size_t, size_t>>& Items) {
        const auto Count = size_t(Card(At, 2));
        if (Count == 0) {
            At += 2;
            return;
        }
        const int OffSize = int(Card(At + 2, 1));
        const size_t Offsets = At + 3, Data = Offsets + (Count + 1) * size_t(OffSize) - 1;
        for (size_t K = 0; K < Count; ++K)
            Items.emplace_back(Data + Card(Offsets + K * size_t(OffSize), OffSize),
                               Data + Card(Offsets + (K + 1) * size_t(OffSize), OffSize));
        At = Data + Card(Offsets + Count * size_t(OffSize), OffSize);
    };
    size_t At = Card(2, 1);
    std::vector<std::pair<size_t, size_t>> Names, Tops;
    Index(At, Names);
    Index(At, Tops);
    if (Tops.empty()) return L;
    // Integer operands of the Top DICT's operators.
    std::vector<int64_t> Stack;
    int64_t Charset = -1, FDSelect = -1, FDArray = -1;
    for (size_t P = Tops[0].first; P < Tops[0].second && P < D.size();) {
        const int B = uint8_t(D[P]);
        if (B >= 32 && B <= 246) {
            Stack.push_back(B - 139), P += 1;
        } else if (B >= 247 && B <= 250) {
            Stack.push_back((B - 247) * 256 + int(Card(P + 1, 1)) + 108), P += 2;
        } else if (B >= 251 && B <= 254) {
            Stack.push_back(-(B - 251) * 256 - int(Card(P + 1, 1)) - 108), P += 2;
        } else if (B == 28) {
            Stack.push_back(int16_t(Card(P + 1, 2))), P += 3;
        } else if (B == 29) {
            Stack.push_back(int32_t(Card(P + 1, 4))), P += 5;
        } else if (B == 30) {
            ++P;
            while (P < D.size() && (uint8_t(D[P]) & 15) != 15 && (uint8_t(D[P]) >> 4) != 15) ++P;
            ++P;
            Stack.push_back(0);
        } else {
            const int Op = B == 12 ? 1200 + int(Card(P + 1, 1)) : B;
            P += B == 12 ? 2 : 1;
            if (Op == 15 && !Stack.empty()) Charset = Stack.back();
            if (Op == 1237 && !Stack.empty()) FDSelect = Stack.back();
            if (Op == 1236 && !Stack.empty()) FDArray = Stack.back();
            if (Op == 1230) L.Ros = true;
            Stack.clear();
        }
    }
    if (Charset > 2 && size_t(Charset) < D.size()) L.CharsetFormat = uint8_t(D[size_t(Charset)]);
    if (FDSelect > 0 && size_t(FDSelect) < D.size())
        L.FDSelectFormat = uint8_t(D[size_t(FDSelect)]);
    if (FDArray > 0) L.FontDicts = int(Card(size_t(FDArray), 2));
    return L;
}

#ifdef VPL_TEST_FREETYPE
// FreeType's outline in the recording canvas's terms, at Scale × font units,
// its explicit closing line to the contour's start turned into Z.
struct TFreeTypeOutline {
    std::vector<TRecordedCall> Calls;
    double Scale = 1;
    double StartX = 0, StartY = 0;
    bool Open = false;

    void Close() {
        if (!Open) return;
        if (!Calls.empty() && Calls.back().Op == 'L' && Calls.back().P[0] == StartX &&
            Calls.back().P[1] == StartY)
            Calls.pop_back();
        Calls.push_back({'Z', {}});
        Open = false;
    }
    double V(FT_Pos P) const { return double(P) * Scale; }

    static int Move(const FT_Vector* To, void* User) {
        auto* D = static_cast<TFreeTypeOutline*>(User);
        D->Close();
        D->StartX = D->V(To->x);
        D->StartY = D->V(To->y);
        D->Calls.push_back({'M', {D->StartX, D->StartY}});
        D->Open = true;
        return 0;
    }
    static int Line(const FT_Vector* To, void* User) {
        auto* D = static_cast<TFreeTypeOutline*>(User);
        D->Calls.push_back({'L', {D->V(To->x), D->V(To->y)}});
        return 0;
    }
    static int Conic(const FT_Vector* C, const FT_Vector* To, void* User) {
        auto* D = static_cast<TFreeTypeOutline*>(User);
        D->Calls.push_back({'Q', {D->V(C->x), D->V(C->y), D->V(To->x), D->V(To->y)}});
        return 0;
    }
    static int Cubic(const FT_Vector* A, const FT_Vector* B, const FT_Vector* To, void* User) {
        auto* D = static_cast<TFreeTypeOutline*>(User);
        D->Calls.push_back(
            {'C', {D->V(A->x), D->V(A->y), D->V(B->x), D->V(B->y), D->V(To->x), D->V(To->y)}});
        return 0;
    }
};

// Glyph Index of Face unscaled and unhinted, decomposed. False when
// FreeType cannot load it. Type 1 and CFF outlines are in whole font units
// (FreeType's 16.16 loader rounds to them), Scale maps them to thousandths.
inline bool FreeTypeOutline(FT_Face Face, FT_UInt Index, double Scale, TFreeTypeOutline& Out) {
    if (FT_Load_Glyph(Face, Index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP))
        return false;
    static const FT_Outline_Funcs Funcs{TFreeTypeOutline::Move,
                                        TFreeTypeOutline::Line,
                                        TFreeTypeOutline::Conic,
                                        TFreeTypeOutline::Cubic,
                                        0,
                                        0};
    Out = {};
    Out.Scale = Scale;
    if (FT_Outline_Decompose(&Face->glyph->outline, &Funcs, &Out)) return false;
    Out.Close();
    return true;
}

#endif

// Drops a trailing line back to a contour's start before each Z and empty
// move-only contours, so two builders that close differently compare.
inline std::vector<TRecordedCall> NormalisedOutline(const std::vector<TRecordedCall>& In) {
    std::vector<TRecordedCall> Out;
    size_t Start = 0;
    auto Finish = [&](bool WithZ) {
        // Out[Start] is the contour's move.
        if (Out.size() == Start + 1) {
            Out.pop_back();  // a move with nothing drawn
            return;
        }
        if (Out.size() > Start + 1 && Out.back().Op == 'L' &&
            std::fabs(Out.back().P[0] - Out[Start].P[0]) <= 0.01 &&
            std::fabs(Out.back().P[1] - Out[Start].P[1]) <= 0.01)
            Out.pop_back();
        if (Out.size() > Start + 1 && WithZ) Out.push_back({'Z', {}});
        (void)WithZ;
    };
    bool Open = false;
    for (const TRecordedCall& C : In) {
        if (C.Op == '!') continue;
        if (C.Op == 'M') {
            if (Open) Finish(true);
            Start = Out.size();
            Out.push_back(C);
            Open = true;
        } else if (C.Op == 'Z') {
            if (Open) Finish(true);
            Open = false;
        } else {
            Out.push_back(C);
        }
    }
    if (Open) Finish(true);
    return Out;
}

// True when the outlines agree call for call within Tolerance.
inline bool SameOutline(const std::vector<TRecordedCall>& A, const std::vector<TRecordedCall>& B,
                        double Tolerance = 0.01) {
    if (A.size() != B.size()) return false;
    for (size_t K = 0; K < A.size(); ++K) {
        if (A[K].Op != B[K].Op || A[K].P.size() != B[K].P.size()) return false;
        for (size_t J = 0; J < A[K].P.size(); ++J)
            if (!(std::fabs(A[K].P[J] - B[K].P[J]) <= Tolerance)) return false;
    }
    return true;
}

inline std::string OutlineText(const std::vector<TRecordedCall>& Calls, size_t Max = 400) {
    TRecordingCanvas T;
    T.Calls = Calls;
    return T.Text().substr(0, Max);
}

}  // namespace velmo::test
