// zlib layer of the engine: compression and inflation of byte strings, a
// stored-block writer, and the undoing of PNG and TIFF predictors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmo {

// Upper bound for the output of any decoder of stream data. A small hostile
// stream must not be able to claim more memory than this; decoding stops
// there and keeps what it produced.
inline constexpr std::size_t kMaxDecodedSize = std::size_t(1) << 30;

// Predictor parameters of the Flate and LZW decoders. Every field starts from
// zero or empty; the filter chain fills the four integers.
struct TPDFFlateParms {
    int Predictor = 0;
    int Colors = 0;
    int BitsPerComponent = 0;
    int Columns = 0;
    bool ExpandedTo8Bit = false;
    std::string ColorSpace;
};

// Compression level for table index 0..3: stored, fastest, default, best.
int FlateLevelFromIndex(int index);

// zlib stream of `data` at the default level; empty for empty input or on error.
std::string FlateCompress(std::string_view data);
// The same at the level of table index `level` (0 to 3); empty on error.
std::string FlateCompressLevel(std::string_view data, int level);
// Inflates a zlib stream. A damaged or truncated stream gives its readable
// beginning; a stream that cannot be started gives the empty string.
// `sizeHint`, when the caller knows how much should come out, sizes the
// buffer at once (within what the input can inflate to) instead of growing
// it by doubling; the result is the same.
std::string FlateDecompress(std::string_view data, std::size_t sizeHint = 0);
// A zlib stream of stored blocks, written without compressing.
std::string FlateCompressStored(std::string_view data);
// FlateDecompress, then the predictor of `parms` undone. Parameters that
// describe no valid row layout give the empty string.
std::string FlateDecompressWithPredictor(std::string_view data, const TPDFFlateParms& parms,
                                         std::size_t sizeHint = 0);
// The PNG Paeth predictor.
std::uint8_t PaethPredictor(std::uint8_t left, std::uint8_t above, std::uint8_t upperLeft);

// Undoes a PNG (10 and above) or TIFF (2) predictor over decoded rows.
// Predictor values below 2 return the data unchanged; 3 to 9 pass the rows
// through. With `padLastRow` a short last row is completed with zero bytes,
// otherwise the bytes after the last whole row stay as they are (TIFF only;
// a PNG row always carries its tag). Returns false, leaving `out` empty, for
// parameters that give no valid row layout (non-positive or oversized
// columns, colours or component size).
bool UndoPredictor(std::string_view data, int predictor, int colors, int bitsPerComponent,
                   int columns, bool padLastRow, std::string& out);

}  // namespace velmo
