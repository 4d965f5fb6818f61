// Decoder of CCITT fax data (the CCITTFaxDecode filter of PDF images):
// one-dimensional Group 3 (modified Huffman), two-dimensional Group 3 (EOL
// and a tag bit before each line) and Group 4 with its uncompressed mode.
//
// The output raster holds one bit per pixel, most significant bit first,
// 1 = black, in rows of (width + 7) div 8 bytes; decoding sets the bits of
// black pixels and never clears one. The input is untrusted: reads past the
// end give zero bits (which no valid code ends in, so every loop stops), runs
// and positions are clipped to the width, and a row claiming more colour
// changes than it has pixels ends decoding.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmo {

using TCCITTByteArray = std::vector<uint8_t>;
using TCCITTIntegerArray = std::vector<int32_t>;

// Raised for bad data, with the fixed texts of the decoder.
class ECCITTError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Largest raster the decoder fills (bytes), and largest width (pixels).
constexpr int64_t CCITTMaxRasterBytes = int64_t(1) << 28;
constexpr int32_t CCITTMaxWidth = 1 << 24;

class TVPLCCITTDecoder {
public:
    // AFillOrder 1: most significant bit first; 2: the bits of every byte
    // reversed. AAlign: every coded line starts on a byte boundary. AFillBits:
    // zero bits may precede each EOL so that it ends on a byte boundary.
    // CCITT data carry one bit per pixel whatever BitsPerComponent says: the
    // value is stored, but every decode gives AHeight rows, no more.
    TVPLCCITTDecoder(int32_t AWidth, int32_t AHeight, int32_t AFillOrder, bool AAlign,
                     bool AFillBits, int32_t BitsPerComponent);

    // Each decode starts at bit 0 of CompData and fills Buffer, which the
    // caller prepares all zero; a buffer shorter than height rows is
    // extended with zero bytes first. A width outside 1 to CCITTMaxWidth, a
    // negative height or a raster above CCITTMaxRasterBytes decodes nothing
    // (false, or ECCITTError for the two-dimensional Group 3 form).

    // Group 3 one-dimensional (K = 0). True when every row was decoded.
    bool DecodeT41D(TCCITTByteArray& Buffer, std::string_view CompData);
    // Group 3 two-dimensional (K > 0). Raises ECCITTError for bad data; the
    // rows decoded before the fault stay in Buffer.
    void DecodeT42D(TCCITTByteArray& Buffer, std::string_view CompData);
    // Group 4 (K < 0). False when a code ends decoding before the last row
    // (the rows before it kept), or when the data are bad (the whole buffer
    // zeroed).
    bool DecodeT6(TCCITTByteArray& Buffer, std::string_view CompData);

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    // Bad Group 4 data zero only the rows from the faulty one on, not the
    // whole buffer.
    bool KeepRowsOnFault = false;
    // Bits of the data read by the last decode (embedded users such as
    // JBIG2 find where the next coded block starts).
    int64_t BitsRead() const { return BitPosition(); }

private:
    int32_t FBitPointer = 0;
    int64_t FBytePointer = 0;
    std::string_view FCompData;
    std::string FReversed;  // the data bit-reversed, for fill order 2
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FBitsPerComponent = 1;
    bool FEncodedByteAlign = false;
    int32_t FFillOrder = 1;
    bool FFillBits = false;
    bool FEOLIs8Bit = false;
    int32_t ChangingElemSize = 0;
    TCCITTIntegerArray PrevChangingElems;
    TCCITTIntegerArray CurrChangingElems;
    int32_t LastChangingElement = 0;
    // Entries used on the coding line.
    int32_t FCurrCount = 0;

    void Start(TCCITTByteArray& Buffer, std::string_view CompData);
    bool SizeIsSound() const;
    uint32_t PeekBits(int N);
    uint32_t ReadBits(int N);
    void SkipBits(int N);
    void AlignToByte();
    int64_t BitPosition() const { return FBytePointer * 8 + FBitPointer; }
    void SetBitPosition(int64_t Pos);

    // One run of make-up codes and a terminating code. False when an EOL
    // stands where the run's first code should be (left unread).
    bool ReadRun(bool White, int32_t& Run);
    // A one-dimensional line into Row; true when it met an EOL in a white
    // run. Records the changing elements when Record is set; raises when
    // the row claims more of them than it has pixels.
    bool DecodeOneDLine(uint8_t* Row, bool Record);
    // One two-dimensional line against the reference line: 0 when it
    // reached the width, else why it stopped (too many changes, or a code
    // that is no mode).
    int DecodeTwoDLine(uint8_t* Row, bool GroupFour);
    void FindB1B2(int32_t A0, bool White, int32_t& B1, int32_t& B2);
    // Appends a changing element of the coding line; false when the row
    // claims more than it can hold.
    bool AddChange(int32_t Pos);
    // The coding line becomes the reference line, closed by two entries of
    // the width so that b1 and b2 always exist.
    void SwapLines();
    void ResetReference();
    int ReadEOL(bool First);
    void SetBlack(uint8_t* Row, int32_t From, int32_t To);
};

// The CCITTFaxDecode parameters of a PDF image, for the image decoder.
struct TCCITTParams {
    int32_t K = 0;
    int32_t Columns = 1728;
    int32_t Rows = 0;
    bool EncodedByteAlign = false;
    // The decoder always writes 1 for black; BlackIs1 only tells the caller
    // which palette the raster needs.
    bool BlackIs1 = false;
    // Group 4 decoding always stops at the end-of-block code; the flag is
    // carried for the caller.
    bool EndOfBlock = true;
};

// Decodes Data with the coding the sign of K selects into Buffer (Rows rows
// of (Columns + 7) div 8 bytes, sized here). Returns the one-dimensional or
// Group 4 result; the two-dimensional Group 3 form returns true with the
// rows decoded before a fault, whose text goes to *Message. Every coding
// keeps the rows decoded before a fault.
bool DecodeCCITTFax(const TCCITTParams& Params, std::string_view Data, TCCITTByteArray& Buffer,
                    std::string* Message = nullptr);

}  // namespace velmo
