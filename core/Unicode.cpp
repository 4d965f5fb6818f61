#include "core/Unicode.h"

#include <cstdint>

#include "core/StringHelpers.h"

namespace velmo {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;
constexpr uint32_t kBOM = 0xFEFF;

char16_t Swap(char16_t U) { return static_cast<char16_t>((U >> 8) | (U << 8)); }

bool IsBigEndian(TUTF16Form F) { return F == TUTF16Form::UTF16BE || F == TUTF16Form::UCS2BE; }
bool IsUCS2(TUTF16Form F) { return F == TUTF16Form::UCS2LE || F == TUTF16Form::UCS2BE; }
bool IsKnownForm(TUTF16Form F) {
    return F == TUTF16Form::UTF16LE || F == TUTF16Form::UTF16BE || F == TUTF16Form::UCS2LE ||
           F == TUTF16Form::UCS2BE;
}

bool IsValidCodePoint(uint32_t CP, uint32_t Max) {
    if (CP < 0xD800) return true;  // nearly all text
    if (CP == kReplacement || CP > Max) return false;
    if (CP >= 0xD800 && CP <= 0xDFFF) return false;
    if (CP >= 0xFDD0 && CP <= 0xFDEF) return false;
    return (CP & 0xFFFE) != 0xFFFE;
}

size_t InitialCapacity(size_t InputLength) { return InputLength + InputLength / 10 + 40; }

bool IsCont(unsigned char B) { return B >= 0x80 && B <= 0xBF; }

// Decodes UTF-8. Next() answers whether the sequence is well-formed; on a
// malformed one CP holds the lead byte (what the Pass mode writes).
class UTF8Decoder {
public:
    UTF8Decoder(std::string_view D, TInvalidMode Mode) : FData(D), FMode(Mode) {}
    bool AtEnd() const { return FPos >= FData.size(); }
    size_t Remaining() const { return FData.size() - FPos; }

    bool Next(uint32_t& CP) {
        const size_t N = FData.size();
        auto At = [&](size_t I) { return static_cast<unsigned char>(FData[I]); };
        const unsigned char B0 = At(FPos);
        const size_t Follow = N - FPos - 1;
        CP = B0;
        if (B0 < 0x80) {
            FPos += 1;
            return true;
        }
        if (B0 < 0xC2 || B0 > 0xF4) {
            FPos += 1;
            return false;
        }
        if (B0 <= 0xDF) {
            if (Follow < 1) return Fail(1);
            const unsigned char B1 = At(FPos + 1);
            if (!IsCont(B1)) return Fail(2);
            CP = ((B0 & 0x1Fu) << 6) | (B1 & 0x3Fu);
            FPos += 2;
            return true;
        }
        if (B0 <= 0xEF) {
            if (Follow < 2) return Fail(1);
            const unsigned char B1 = At(FPos + 1);
            const unsigned char Lo = B0 == 0xE0 ? 0xA0 : 0x80;
            const unsigned char Hi = B0 == 0xED ? 0x9F : 0xBF;
            // Skipping drops only the lead byte here, so the next byte is read again.
            if (B1 < Lo || B1 > Hi) return Fail(FMode == TInvalidMode::Skip ? 1 : 2);
            const unsigned char B2 = At(FPos + 2);
            if (!IsCont(B2)) return Fail(3);
            CP = ((B0 & 0x0Fu) << 12) | ((B1 & 0x3Fu) << 6) | (B2 & 0x3Fu);
            FPos += 3;
            return true;
        }
        if (Follow < 2) return Fail(1);
        if (Follow == 2) return Fail(2);
        const unsigned char B1 = At(FPos + 1);
        const unsigned char Lo = B0 == 0xF0 ? 0x90 : 0x80;
        const unsigned char Hi = B0 == 0xF4 ? 0x8F : 0xBF;
        if (B1 < Lo || B1 > Hi) return Fail(2);
        const unsigned char B2 = At(FPos + 2);
        if (!IsCont(B2)) return Fail(3);
        const unsigned char B3 = At(FPos + 3);
        if (!IsCont(B3)) return Fail(4);
        CP = ((B0 & 0x07u) << 18) | ((B1 & 0x3Fu) << 12) | ((B2 & 0x3Fu) << 6) | (B3 & 0x3Fu);
        FPos += 4;
        return true;
    }

private:
    bool Fail(size_t Consumed) {
        FPos += Consumed;
        return false;
    }
    std::string_view FData;
    TInvalidMode FMode;
    size_t FPos = 0;
};

class UTF16Decoder {
public:
    UTF16Decoder(std::u16string_view T, TUTF16Form Form)
        : FText(T), FSwap(IsBigEndian(Form)), FUCS2(IsUCS2(Form)) {}
    bool AtEnd() const { return FPos >= FText.size(); }
    size_t Remaining() const { return FText.size() - FPos; }

    bool Next(uint32_t& CP) {
        const char16_t U = Unit(FPos);
        CP = U;
        const bool Surrogate = U >= 0xD800 && U <= 0xDFFF;
        if (!Surrogate) {
            FPos += 1;
            return true;
        }
        if (FUCS2 || U >= 0xDC00 || FPos + 1 >= FText.size()) {
            FPos += 1;
            return false;
        }
        const char16_t Low = Unit(FPos + 1);
        FPos += 2;
        if (Low < 0xDC00 || Low > 0xDFFF) return false;
        CP = 0x10000 + ((uint32_t(U) - 0xD800) << 10) + (uint32_t(Low) - 0xDC00);
        return true;
    }

private:
    char16_t Unit(size_t I) const { return FSwap ? Swap(FText[I]) : FText[I]; }
    std::u16string_view FText;
    bool FSwap;
    bool FUCS2;
    size_t FPos = 0;
};

// Output written through an index into a string sized ahead, so that each
// character costs no more than a store. The string is grown only when a
// character would not fit, by twice the input still unread; Finish sets the
// final length.
template <typename StringT>
class OutBuffer {
public:
    explicit OutBuffer(StringT& Out) : FOut(Out) {}
    void Reserve(size_t N) { FOut.resize(N); }
    void Ensure(size_t Need, size_t Unread) {
        if (FLen + Need > FOut.size()) FOut.resize(FLen + Need + 2 * Unread + 20);
    }
    size_t Size() const { return FLen; }
    void Truncate(size_t N) { FLen = N; }
    void Finish() { FOut.resize(FLen); }

protected:
    StringT& FOut;
    size_t FLen = 0;
};

class UTF16Encoder : public OutBuffer<std::u16string> {
public:
    static constexpr size_t kMaxUnits = 2;
    UTF16Encoder(std::u16string& Out, TUTF16Form Form) : OutBuffer(Out), FSwap(IsBigEndian(Form)) {}
    // Room for kMaxUnits must have been ensured.
    void Put(uint32_t CP) {
        if (CP < 0x10000) {
            PutUnit(static_cast<char16_t>(CP));
        } else {
            CP -= 0x10000;
            PutUnit(static_cast<char16_t>(0xD800 + (CP >> 10)));
            PutUnit(static_cast<char16_t>(0xDC00 + (CP & 0x3FF)));
        }
    }
    void PutBOM() { Put(kBOM); }

private:
    void PutUnit(char16_t U) { FOut[FLen++] = FSwap ? Swap(U) : U; }
    bool FSwap;
};

class UTF8Encoder : public OutBuffer<std::string> {
public:
    static constexpr size_t kMaxUnits = 4;
    explicit UTF8Encoder(std::string& Out) : OutBuffer(Out) {}
    // Room for kMaxUnits must have been ensured.
    void Put(uint32_t CP) {
        char* P = FOut.data() + FLen;
        if (CP < 0x80) {
            P[0] = static_cast<char>(CP);
            FLen += 1;
        } else if (CP < 0x800) {
            P[0] = static_cast<char>(0xC0 | (CP >> 6));
            P[1] = static_cast<char>(0x80 | (CP & 0x3F));
            FLen += 2;
        } else if (CP < 0x10000) {
            P[0] = static_cast<char>(0xE0 | (CP >> 12));
            P[1] = static_cast<char>(0x80 | ((CP >> 6) & 0x3F));
            P[2] = static_cast<char>(0x80 | (CP & 0x3F));
            FLen += 3;
        } else {
            P[0] = static_cast<char>(0xF0 | (CP >> 18));
            P[1] = static_cast<char>(0x80 | ((CP >> 12) & 0x3F));
            P[2] = static_cast<char>(0x80 | ((CP >> 6) & 0x3F));
            P[3] = static_cast<char>(0x80 | (CP & 0x3F));
            FLen += 4;
        }
    }
    void PutBOM() { Put(kBOM); }
};

template <typename Decoder, typename Encoder>
bool Transcode(Decoder& Dec, Encoder& Enc, size_t InputLength, uint32_t MaxCodePoint, TBOMMode BOM,
               TInvalidMode Invalid) {
    struct Finisher {
        Encoder& E;
        ~Finisher() { E.Finish(); }
    } Finish{Enc};
    Enc.Reserve(InitialCapacity(InputLength));
    if (BOM == TBOMMode::Write) Enc.PutBOM();
    const size_t MarkSize = Enc.Size();
    while (!Dec.AtEnd()) {
        uint32_t CP;
        bool Ok = Dec.Next(CP);
        if (Ok && !IsValidCodePoint(CP, MaxCodePoint)) Ok = false;
        if (!Ok) {
            switch (Invalid) {
                case TInvalidMode::Fail:
                    Enc.Truncate(MarkSize);
                    return false;
                case TInvalidMode::Stop:
                    return false;
                case TInvalidMode::Skip:
                    continue;
                case TInvalidMode::Replace:
                    CP = kReplacement;
                    break;
                case TInvalidMode::Pass:
                    break;
            }
        } else if (CP == kBOM && BOM == TBOMMode::Drop && Enc.Size() == 0) {
            continue;
        }
        Enc.Ensure(Encoder::kMaxUnits, Dec.Remaining());
        Enc.Put(CP);
    }
    return true;
}

uint32_t MaxOf(TUTF16Form Target) { return IsUCS2(Target) ? 0xFFFF : 0x10FFFF; }

}  // namespace

bool UTF8ToUTF16(std::string_view Data, std::u16string& Dest, bool NoConvert, TUTF16Form Target,
                 TBOMMode BOM, TInvalidMode Invalid) {
    Dest.clear();
    if (NoConvert || !IsKnownForm(Target)) return false;
    UTF8Decoder Dec(Data, Invalid);
    UTF16Encoder Enc(Dest, Target);
    return Transcode(Dec, Enc, Data.size(), MaxOf(Target), BOM, Invalid);
}

bool UTF16ToUTF16(std::u16string_view Text, std::u16string& Dest, TUTF16Form Source,
                  TUTF16Form Target, TBOMMode BOM, TInvalidMode Invalid) {
    if (!IsKnownForm(Source) || !IsKnownForm(Target)) {
        Dest.clear();
        return false;
    }
    // Text may alias Dest: decode from a copy in that case.
    std::u16string Copy;
    const auto At = reinterpret_cast<uintptr_t>(Text.data());
    const auto Begin = reinterpret_cast<uintptr_t>(Dest.data());
    if (At >= Begin && At <= Begin + Dest.size() * sizeof(char16_t)) {
        Copy.assign(Text);
        Text = Copy;
    }
    Dest.clear();
    UTF16Decoder Dec(Text, Source);
    UTF16Encoder Enc(Dest, Target);
    return Transcode(Dec, Enc, Text.size(), MaxOf(Target), BOM, Invalid);
}

bool UTF16ToUTF8(std::u16string_view Text, std::string& Dest, TUTF16Form Source, TBOMMode BOM,
                 TInvalidMode Invalid, bool NoConvert) {
    Dest.clear();
    if (NoConvert || !IsKnownForm(Source)) return false;
    UTF16Decoder Dec(Text, Source);
    UTF8Encoder Enc(Dest);
    return Transcode(Dec, Enc, Text.size(), 0x10FFFF, BOM, Invalid);
}

std::u16string UTF8ToWide(std::string_view S) {
    std::u16string W;
    UTF8ToUTF16(S, W, false, TUTF16Form::UTF16LE, TBOMMode::Drop, TInvalidMode::Replace);
    return W;
}

std::u16string UTF8ToWideSkipInvalid(std::string_view S) {
    std::u16string W;
    UTF8ToUTF16(S, W, false, TUTF16Form::UTF16LE, TBOMMode::Drop, TInvalidMode::Skip);
    return W;
}

bool IsValidUTF8(std::string_view S) {
    std::u16string W;
    return UTF8ToUTF16(S, W, false, TUTF16Form::UTF16LE, TBOMMode::Drop, TInvalidMode::Fail);
}

std::string WideToUTF8(std::u16string_view W) {
    std::string S;
    UTF16ToUTF8(UnwrapTaggedWideView(W), S, TUTF16Form::UTF16LE, TBOMMode::Drop,
                TInvalidMode::Replace, false);
    return S;
}

std::u16string UnicodeBytesToWide(std::string_view S) {
    if (S.size() < 2 || static_cast<unsigned char>(S[0]) != 0xFE ||
        static_cast<unsigned char>(S[1]) != 0xFF)
        return UTF8ToWide(S);
    // The bytes keep their order in memory; the big-endian source form reads them.
    std::u16string Units((S.size() + 1) / 2, u'\0');
    for (size_t I = 0; I < S.size(); ++I) {
        const auto B = static_cast<unsigned char>(S[I]);
        if (I % 2 == 0)
            Units[I / 2] = static_cast<char16_t>(B);
        else
            Units[I / 2] = static_cast<char16_t>(Units[I / 2] | (B << 8));
    }
    std::u16string W;
    UTF16ToUTF16(Units, W, TUTF16Form::UTF16BE, TUTF16Form::UTF16LE, TBOMMode::Drop,
                 TInvalidMode::Replace);
    return W;
}

}  // namespace velmo
