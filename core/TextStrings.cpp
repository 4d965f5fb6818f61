#include "core/TextStrings.h"

#include <unordered_map>

#include "core/StringHelpers.h"
#include "core/Unicode.h"

namespace velmo {

namespace {

constexpr std::array<char16_t, 256> MakePDFDocTable() {
    std::array<char16_t, 256> T{};
    for (int I = 0; I < 256; ++I) T[I] = static_cast<char16_t>(I);
    T[0x16] = 0x0017;
    const char16_t Accents[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
    for (int I = 0; I < 8; ++I) T[0x18 + I] = Accents[I];
    T[0x7F] = 0xFFFD;
    const char16_t High[31] = {0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044,
                               0x2039, 0x203A, 0x2212, 0x2030, 0x201E, 0x201C, 0x201D, 0x2018,
                               0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141, 0x0152, 0x0160,
                               0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E};
    for (int I = 0; I < 31; ++I) T[0x80 + I] = High[I];
    T[0x9F] = 0xFFFD;
    T[0xA0] = 0x20AC;
    T[0xAD] = 0xFFFD;
    return T;
}

constexpr std::array<char16_t, 256> kPDFDoc = MakePDFDocTable();

constexpr std::array<unsigned char, 256> MakeWinAnsiToPDFDoc() {
    std::array<unsigned char, 256> T{};
    for (int I = 0; I < 256; ++I) T[I] = static_cast<unsigned char>(I);
    const unsigned char Pairs[][2] = {
        {0x1A, 0x9F}, {0x1F, 0x87}, {0x80, 0xA0}, {0x81, 0x8A}, {0x82, 0x91}, {0x83, 0x86},
        {0x84, 0x8C}, {0x85, 0x83}, {0x86, 0x81}, {0x87, 0x82}, {0x88, 0x1A}, {0x89, 0x8B},
        {0x8A, 0x97}, {0x8B, 0x88}, {0x8C, 0x96}, {0x8D, 0x93}, {0x8E, 0x99}, {0x8F, 0x94},
        {0x90, 0x95}, {0x91, 0x8F}, {0x92, 0x90}, {0x93, 0x8D}, {0x94, 0x8E}, {0x95, 0x80},
        {0x96, 0x85}, {0x97, 0x84}, {0x98, 0x1F}, {0x99, 0x92}, {0x9A, 0x9D}, {0x9B, 0x89},
        {0x9D, 0xAD}, {0x9F, 0x98}, {0xA0, 0x9A}, {0xAD, 0x9B}};
    for (const auto& P : Pairs) T[P[0]] = P[1];
    return T;
}

constexpr std::array<unsigned char, 256> kWinAnsiToPDFDoc = MakeWinAnsiToPDFDoc();

bool StartsFEFF(std::string_view S) {
    return S.size() >= 2 && static_cast<unsigned char>(S[0]) == 0xFE &&
           static_cast<unsigned char>(S[1]) == 0xFF;
}

std::u16string PDFDocToWide(std::string_view S) {
    std::u16string W(S.size(), u'\0');
    for (size_t I = 0; I < S.size(); ++I) W[I] = kPDFDoc[static_cast<unsigned char>(S[I])];
    return W;
}

// Big-endian units from Bytes; an odd last byte is a unit's high byte.
std::u16string BigEndianUnits(std::string_view Bytes) {
    std::u16string W((Bytes.size() + 1) / 2, u'\0');
    for (size_t I = 0; I < Bytes.size(); ++I) {
        const auto B = static_cast<unsigned char>(Bytes[I]);
        W[I / 2] = static_cast<char16_t>(W[I / 2] | (I % 2 == 0 ? B << 8 : B));
    }
    return W;
}

}  // namespace

const std::array<char16_t, 256>& PDFDocEncodingTable() { return kPDFDoc; }

int UnicodeToPDFDocEncoding(char16_t U) {
    if (kPDFDoc[U & 0xFF] == U) return U & 0xFF;
    // Characters whose code differs from their low byte: first code wins.
    static const std::unordered_map<char16_t, int> Reverse = [] {
        std::unordered_map<char16_t, int> R;
        for (int I = 0; I < 256; ++I) R.emplace(kPDFDoc[I], I);
        return R;
    }();
    auto It = Reverse.find(U);
    if (It != Reverse.end()) return It->second;
    return -1;
}

std::string WideStringToPDFTextString(std::u16string_view W, bool ForceUnicode) {
    const std::u16string_view Text = UnwrapTaggedWideView(W);
    if (Text.empty()) return std::string();
    if (!ForceUnicode) {
        std::string Out(Text.size(), '\0');
        bool AllMapped = true;
        for (size_t I = 0; I < Text.size() && AllMapped; ++I) {
            const int Code = UnicodeToPDFDocEncoding(Text[I]);
            if (Code < 0)
                AllMapped = false;
            else
                Out[I] = static_cast<char>(Code);
        }
        if (AllMapped) return Out;
    }
    std::u16string BE;
    UTF16ToUTF16(Text, BE, TUTF16Form::UTF16LE, TUTF16Form::UTF16BE, TBOMMode::Write,
                 TInvalidMode::Replace);
    // The units already hold big-endian order; write their bytes as they lie in memory.
    std::string Out(BE.size() * 2, '\0');
    for (size_t I = 0; I < BE.size(); ++I) {
        Out[2 * I] = static_cast<char>(BE[I] & 0xFF);
        Out[2 * I + 1] = static_cast<char>(BE[I] >> 8);
    }
    return Out;
}

std::u16string PDFTextStringToWideString(std::string_view S) {
    if (StartsFEFF(S)) {
        std::u16string Units = BigEndianUnits(S);
        // Units are in host order now; the little-endian source form reads them as they are.
        std::u16string W;
        UTF16ToUTF16(Units, W, TUTF16Form::UTF16LE, TUTF16Form::UTF16LE, TBOMMode::Drop,
                     TInvalidMode::Replace);
        return W;
    }
    if (S.size() >= 2 && static_cast<unsigned char>(S[0]) == 0xFF &&
        static_cast<unsigned char>(S[1]) == 0xFE) {
        std::u16string W((S.size() - 2) / 2, u'\0');
        for (size_t I = 0; I < W.size(); ++I)
            W[I] = static_cast<char16_t>(static_cast<unsigned char>(S[2 + 2 * I]) |
                                         (static_cast<unsigned char>(S[3 + 2 * I]) << 8));
        return W;
    }
    return PDFDocToWide(S);
}

std::u16string PDFTextStringToWideRaw(std::string_view S) {
    if (!StartsFEFF(S)) return PDFDocToWide(S);
    return BigEndianUnits(S.substr(2));
}

std::string PDFTextStringToUTF8(std::string_view S) {
    return WideToUTF8(PDFTextStringToWideRaw(S));
}

std::string WideStringToPDFDocEncoding(std::u16string_view W) {
    std::string Out(W.size(), '?');
    for (size_t I = 0; I < W.size(); ++I) {
        const int Code = UnicodeToPDFDocEncoding(W[I]);
        if (Code >= 0) Out[I] = static_cast<char>(Code);
    }
    return Out;
}

std::string WinAnsiToPDFDocEncoding(std::string_view S) {
    if (StartsFEFF(S)) return std::string(S);
    std::string Out(S.size(), '\0');
    for (size_t I = 0; I < S.size(); ++I)
        Out[I] = static_cast<char>(kWinAnsiToPDFDoc[static_cast<unsigned char>(S[I])]);
    return Out;
}

std::u16string ASCIIToWideString(std::string_view S) {
    std::u16string W(S.size(), u'\0');
    for (size_t I = 0; I < S.size(); ++I) {
        const auto B = static_cast<unsigned char>(S[I]);
        W[I] = B < 0x7F ? B : u'\xFFFD';
    }
    return W;
}

std::string WideStringToLatin1(std::u16string_view W) {
    std::string Out;
    Out.reserve(W.size());
    for (char16_t U : W)
        if (U <= 0xFF) Out += static_cast<char>(U);
    return Out;
}

}  // namespace velmo
