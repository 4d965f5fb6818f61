// Decoder of JBIG2 bi-level streams in the embedded organisation (the
// JBIG2Decode filter of PDF images), with an optional stream of global
// segments. Page 1 is decoded into a raster of one byte per pixel: 1 for a
// set (black) pixel, 0 otherwise.
//
// Inside, bitmaps are packed one bit per pixel. The input is untrusted: reads
// past the end give zeros, every bitmap and the sum of all bitmaps of one
// stream are capped in pixels, and a region or dictionary whose decoder runs
// more than a few bytes past the end of its data stops. A stopped or capped
// stream ends as a truncated one does: the page keeps what was composed.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace velmo {

using TJBIG2ByteArray = std::vector<uint8_t>;

// Largest bitmap (pixels) and largest sum of the bitmaps of one stream.
constexpr int64_t JBIG2MaxBitmapPixels = int64_t(1) << 28;
constexpr int64_t JBIG2MaxStreamPixels = int64_t(1) << 31;

class TVPLJBIG2Decoder {
public:
    bool LoadFromByteArray(const TJBIG2ByteArray& ImageData, const TJBIG2ByteArray& GlobalData);
    bool LoadFromByteArray(const TJBIG2ByteArray& ImageData);
    bool LoadFromBytes(std::string_view ImageData, std::string_view GlobalData = {});
    // Data receives Width bytes: the row, true; zeros and false outside.
    bool GetScanline(int32_t Row, TJBIG2ByteArray& Data) const;
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }

private:
    std::vector<uint8_t> FPacked;  // rows of (width + 7) / 8 bytes, MSB first
    int32_t FWidth = 0;
    int32_t FHeight = 0;
};

// The MQ arithmetic decoder and the integer procedures, open for tests.
namespace jbig2 {

class TArithmeticDecoder {
public:
    TArithmeticDecoder(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
    void Start(size_t Pos);
    // Context entries hold state index * 2 + the more probable symbol.
    int DecodeBit(uint8_t& Cx);
    // Integer decoding with 512 contexts; false for the out-of-band value.
    bool DecodeInt(std::vector<uint8_t>& Stats, int32_t& Value);
    // Symbol identifiers of CodeLen bits with 2^(CodeLen + 1) contexts.
    uint32_t DecodeIAID(std::vector<uint8_t>& Stats, int CodeLen);
    // Bytes of fill taken at a marker or beyond the end of the data.
    size_t PastEnd() const { return FPastEnd; }
    // Position just after the bytes read so far.
    size_t Position() const { return FPos; }

private:
    void ByteIn();
    uint8_t ByteAt(size_t I) {
        if (I < FSize) return FData[I];
        return 0xFF;
    }
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
    size_t FPastEnd = 0;
    uint32_t FCHigh = 0, FCLow = 0, FA = 0;
    int FCt = 0;
};

}  // namespace jbig2

}  // namespace velmo
