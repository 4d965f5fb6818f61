#include "core/LZW.h"

#include <algorithm>

namespace velmo {

void TPDFLZWDecompressor::SetCodeSize(std::uint32_t size) {
    FCodeSize = size;
    FBitMask = (1u << size) - 1;
    FChangeCode = FEarlyChange ? (1u << size) - 2 : (1u << size) - 1;
}

void TPDFLZWDecompressor::InitTable() {
    FInputPos = 0;
    FBitPos = 0;
    FOutput.assign(4096, '\0');
    FOutputLen = 0;
    SetCodeSize(FInitialCodeSize);
    FClearCode = 1u << (FInitialCodeSize - 1);
    FEOICode = FClearCode + 1;
    FNextCode = FClearCode + 2;
    FTableFull = false;
    FDictionary.assign(kTableSize, Entry{});
    for (std::uint32_t i = 0; i <= FClearCode + 1; ++i) {
        Entry& e = FDictionary[i];
        e.prefix = 0;
        e.last = e.first = static_cast<std::uint8_t>(i & 0xFF);
        e.length = 1;
    }
}

std::uint32_t TPDFLZWDecompressor::ReadCode() {
    // The input is read as if three zero bytes followed it: a code may take
    // its low bits from them, and the end tests below stop there.
    const std::size_t n = FInput.size();
    auto byteAt = [&](std::size_t p) -> std::uint32_t {
        return p < n ? static_cast<unsigned char>(FInput[p]) : 0u;
    };
    std::uint32_t code;
    if (FFillOrder == foTop) {
        if (FInputPos + 1 >= n + 2) return FEOICode;
        std::uint32_t v =
            byteAt(FInputPos) << 16 | byteAt(FInputPos + 1) << 8 | byteAt(FInputPos + 2);
        code = (v >> (24 - FBitPos - FCodeSize)) & FBitMask;
    } else {
        if (FInputPos + 1 >= n + 3) return FEOICode;
        std::uint32_t v =
            byteAt(FInputPos) | byteAt(FInputPos + 1) << 8 | byteAt(FInputPos + 2) << 16;
        code = (v >> FBitPos) & FBitMask;
    }
    FBitPos += FCodeSize;
    while (FBitPos > 7) {
        ++FInputPos;
        FBitPos -= 8;
    }
    return code;
}

bool TPDFLZWDecompressor::Reserve(std::size_t extra) {
    if (extra > FMaxOutput - FOutputLen) return false;
    if (FOutputLen + extra > FOutput.size())
        FOutput.resize(std::min(std::max(FOutput.size() * 2, FOutputLen + extra), FMaxOutput));
    return true;
}

bool TPDFLZWDecompressor::AppendEntry(std::uint32_t code) {
    const Entry& e = FDictionary[code];
    if (e.length == 0) return true;
    if (!Reserve(e.length)) return false;
    // Walk the prefixes back from the last byte; the walk is bounded by the
    // entry's recorded length whatever the table holds.
    char* dst = FOutput.data() + FOutputLen;
    std::uint32_t c = code;
    for (std::uint32_t i = e.length; i-- > 0;) {
        dst[i] = static_cast<char>(FDictionary[c].last);
        c = FDictionary[c].prefix;
    }
    FOutputLen += e.length;
    return true;
}

// The previous entry followed by its own first byte (the code being defined).
bool TPDFLZWDecompressor::AppendExtended(std::uint32_t prev) {
    const Entry& p = FDictionary[prev];
    if (p.length == 0) return true;
    if (!AppendEntry(prev)) return false;
    if (!Reserve(1)) return false;
    FOutput[FOutputLen++] = static_cast<char>(p.first);
    return true;
}

void TPDFLZWDecompressor::AddEntry(std::uint32_t prefix, std::uint8_t last) {
    if (FTableFull) return;
    const Entry& p = FDictionary[prefix];
    Entry e;
    e.prefix = static_cast<std::uint16_t>(prefix);
    e.last = last;
    e.first = p.length ? p.first : last;
    e.length = p.length + 1;
    FDictionary[FNextCode] = e;
    // Once the last slot is written the table is full until the next clear
    // code: a slot rewritten in terms of itself would grow by a byte per code.
    if (FNextCode == kTableSize - 1) FTableFull = true;
}

std::string TPDFLZWDecompressor::Decompress(std::string_view input) {
    if (FInitialCodeSize < 2 || FInitialCodeSize > 12) return {};
    FInput = input;
    InitTable();
    std::uint32_t code = ReadCode();
    if (code == FClearCode) code = ReadCode();
    if (code != FEOICode) {
        std::uint32_t prev = code;
        bool room = AppendEntry(code);
        while (room) {
            code = ReadCode();
            if (code == FEOICode) break;
            if (code == FClearCode) {
                SetCodeSize(FInitialCodeSize);
                FNextCode = FClearCode + 1;
                FTableFull = false;
                continue;  // the previous code stays
            }
            const bool defined = code < FNextCode || (FTableFull && code == kTableSize - 1);
            if (defined) {
                if (!AppendEntry(code)) break;
                const Entry& e = FDictionary[code];
                if (e.length != 0) {
                    if (FDictionary[prev].length == 0) {
                        // An empty previous entry gives a one-byte entry.
                        Entry one;
                        one.prefix = 0;
                        one.last = one.first = e.first;
                        one.length = 1;
                        if (!FTableFull) {
                            FDictionary[FNextCode] = one;
                            if (FNextCode == kTableSize - 1) FTableFull = true;
                        }
                    } else {
                        AddEntry(prev, e.first);
                    }
                }
            } else {
                const Entry& p = FDictionary[prev];
                if (!AppendExtended(prev)) break;
                if (p.length != 0)
                    AddEntry(prev, p.first);
                else if (!FTableFull)
                    FDictionary[FNextCode] = Entry{};
            }
            if (FNextCode == FChangeCode && FCodeSize < 12) SetCodeSize(FCodeSize + 1);
            if (FNextCode < kTableSize - 1) ++FNextCode;
            prev = code;
        }
    }
    FOutput.resize(FOutputLen);
    std::string result = std::move(FOutput);
    FOutput.clear();
    FOutputLen = 0;
    FInput = {};
    return result;
}

std::string TPDFLZWDecompressor::Decompress(std::string_view input, const TPDFLZWParms& parms) {
    std::string decoded = Decompress(input);
    if (parms.Predictor < 2) return decoded;
    std::string out;
    int bpc = parms.BitsPerComponent == 0 ? 8 : parms.BitsPerComponent;
    if (!UndoPredictor(decoded, parms.Predictor, parms.Colors, bpc, parms.Columns, false, out))
        return {};
    return out;
}

}  // namespace velmo
