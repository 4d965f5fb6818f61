// Wraps bytes that are already encoded (the CCITT data of a PDF image) in a
// minimal little-endian TIFF of one strip and one bit per pixel, without
// re-encoding them, so that a TIFF decoder can read them or a caller can
// hand them out as a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codecs/TIFFTypes.h"
#include "platform/files/Stream.h"

namespace velmo {

class TPDFTIFFMaker {
public:
    TPDFTIFFMaker() = default;

    // Writes the whole file into FStream at absolute positions from 0.
    // Nothing is checked: sizes, kind and strip length go out as given.
    void WriteTIFFToStream(TStream& FStream);
    // The same bytes as a string.
    std::string WriteTIFFToString();

    std::string Source;  // the encoded strip, written unchanged
    int32_t Width = 0;
    int32_t Height = 0;
    TTIFFCompression Compression = ttUnknown;
    // Photometric interpretation 1 (black is zero) instead of 0.
    bool Reversed = false;
    int32_t HorizontalDPI = 96;
    int32_t VerticalDPI = 96;
    // Only for the two Group 3 kinds: every coded line starts on a byte.
    bool EncodedByteAlign = false;

    // The entries of the last write, in file order.
    const std::vector<TTIFFEntry>& Tags() const { return FTags; }

private:
    std::vector<TTIFFEntry> FTags;
    void AddTag(uint16_t Tag, uint16_t TagType, uint32_t Value);
};

// BitCount div 8 + 1 bytes of $FF (the division truncating towards zero):
// as a Group 4 strip every bit is a vertical-mode code, so it reads as a
// white image of any size. A count below -15 gives an empty string.
std::string MakeAllOnesString(int32_t BitCount);

}  // namespace velmo
