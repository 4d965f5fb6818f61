// LZW decoder of the LZWDecode filter, also used by the TIFF and GIF readers
// (which choose their own fill order, code size and early-change rule).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Flate.h"

namespace velmo {

// Predictor parameters of the LZW decoder; the same record as Flate's.
using TPDFLZWParms = TPDFFlateParms;

enum TPDFLZWFillOrder {
    foBottom,  // codes packed least significant bit first
    foTop      // codes packed most significant bit first
};

class TPDFLZWDecompressor {
public:
    static constexpr std::uint32_t kTableSize = 4096;

    TPDFLZWDecompressor() = default;

    TPDFLZWFillOrder FillOrder() const { return FFillOrder; }
    void SetFillOrder(TPDFLZWFillOrder value) { FFillOrder = value; }
    bool EarlyChange() const { return FEarlyChange; }
    void SetEarlyChange(bool value) { FEarlyChange = value; }
    std::uint32_t InitialCodeSize() const { return FInitialCodeSize; }
    // Sizes from 2 to 12 bits decode; any other size makes Decompress return
    // the empty string.
    void SetInitialCodeSize(std::uint32_t value) { FInitialCodeSize = value; }

    // Decoding stops before an entry that would take the output past this
    // many bytes (image readers know how many they need).
    void SetMaxOutput(std::size_t value) { FMaxOutput = value < kMaxDecodedSize ? value : kMaxDecodedSize; }

    // Decoding without predictor.
    std::string Decompress(std::string_view input);
    // Decoding, then the predictor of `parms` undone: TIFF predictor 2 and the
    // PNG predictors, as for Flate. Bytes after the last whole row stay as
    // decoded. A component size of 0 counts as 8 bits. Parameters that give
    // no valid row layout give the empty string.
    std::string Decompress(std::string_view input, const TPDFLZWParms& parms);

private:
    // One table entry: the entry it extends, its last byte, its first byte and
    // its length. An entry's bytes are found by walking the prefixes back.
    struct Entry {
        std::uint16_t prefix = 0;
        std::uint8_t last = 0;
        std::uint8_t first = 0;
        std::uint32_t length = 0;
    };

    void InitTable();
    void SetCodeSize(std::uint32_t size);
    std::uint32_t ReadCode();
    bool AppendEntry(std::uint32_t code);
    bool AppendExtended(std::uint32_t code);
    void AddEntry(std::uint32_t prefix, std::uint8_t last);
    bool Reserve(std::size_t extra);

    TPDFLZWFillOrder FFillOrder = foTop;
    bool FEarlyChange = false;
    std::uint32_t FInitialCodeSize = 9;
    std::uint32_t FCodeSize = 9;
    std::string_view FInput;    // the input; bytes past its end read as zeros
    std::size_t FInputPos = 0;  // 0-based byte position of the next code
    std::uint32_t FBitPos = 0;
    std::uint32_t FBitMask = 0;
    std::uint32_t FEOICode = 0;
    std::uint32_t FClearCode = 0;
    std::uint32_t FNextCode = 0;
    bool FTableFull = false;
    std::string FOutput;
    std::size_t FOutputLen = 0;
    std::vector<Entry> FDictionary;
    std::uint32_t FChangeCode = 0;
    std::size_t FMaxOutput = kMaxDecodedSize;
};

}  // namespace velmo
