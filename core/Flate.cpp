#include "core/Flate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

namespace velmo {

namespace {

// Largest row of predicted data accepted (16 MiB: four million 32-bit pixels
// across, far wider than any real image); a hostile /Columns must not make
// the zero padding of a few bytes' short row cost a quarter of a gigabyte.
constexpr std::uint64_t kMaxRowBytes = std::uint64_t(1) << 24;
constexpr int kMaxColors = 256;
constexpr int kMaxBitsPerComponent = 32;

// Grows a decode buffer geometrically, never beyond kMaxDecodedSize.
// Returns false when the buffer is already at the cap.
bool GrowBuffer(std::string& buf) {
    if (buf.size() >= kMaxDecodedSize) return false;
    std::size_t next = std::max<std::size_t>(buf.size() * 2, 8192);
    buf.resize(std::min(next, kMaxDecodedSize));
    return true;
}

// Hands zlib the input in pieces its 32-bit counters can hold.
struct ZInput {
    explicit ZInput(std::string_view data)
        : next(reinterpret_cast<const unsigned char*>(data.data())), remaining(data.size()) {}
    void Feed(z_stream& zs) {
        if (zs.avail_in != 0 || remaining == 0) return;
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(remaining, 1u << 30));
        zs.next_in = const_cast<unsigned char*>(next);
        zs.avail_in = chunk;
        next += chunk;
        remaining -= chunk;
    }
    const unsigned char* next;
    std::size_t remaining;
};

}  // namespace

int FlateLevelFromIndex(int index) {
    static constexpr int kLevels[4] = {0, 1, Z_DEFAULT_COMPRESSION, 9};
    if (index < 0 || index > 3) return Z_DEFAULT_COMPRESSION;
    return kLevels[index];
}

std::string FlateCompressLevel(std::string_view data, int level) {
    if (data.empty()) return {};
    z_stream zs{};
    if (deflateInit(&zs, FlateLevelFromIndex(level)) != Z_OK) return {};
    // deflateBound is exact enough that the buffer never has to grow; it is
    // still grown (doubling) should zlib ever need more. The buffer is left
    // uninitialised: zlib writes what is kept, and a page-sized image
    // compresses to a small part of its bound.
    std::size_t capacity =
        deflateBound(&zs, static_cast<uLong>(std::min<std::size_t>(data.size(), UINT32_MAX))) + 64;
    std::unique_ptr<char[]> buffer(new char[capacity]);
    std::size_t produced = 0;
    ZInput input(data);
    int ret = Z_OK;
    for (;;) {
        input.Feed(zs);
        if (produced == capacity) {
            std::unique_ptr<char[]> larger(new char[capacity * 2]);
            std::memcpy(larger.get(), buffer.get(), produced);
            buffer = std::move(larger);
            capacity *= 2;
        }
        std::size_t room = std::min<std::size_t>(capacity - produced, 1u << 30);
        zs.next_out = reinterpret_cast<unsigned char*>(buffer.get() + produced);
        zs.avail_out = static_cast<unsigned>(room);
        int flush = (input.remaining == 0) ? Z_FINISH : Z_NO_FLUSH;
        ret = deflate(&zs, flush);
        produced += room - zs.avail_out;
        if (ret == Z_STREAM_END) break;
        if (ret != Z_OK && ret != Z_BUF_ERROR) {
            deflateEnd(&zs);
            return {};
        }
    }
    deflateEnd(&zs);
    return std::string(buffer.get(), produced);
}

std::string FlateCompress(std::string_view data) { return FlateCompressLevel(data, 2); }

std::string FlateDecompress(std::string_view data, std::size_t sizeHint) {
    if (data.empty()) return {};
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return {};
    std::string out;
    // A first guess from the input size; the buffer then doubles, so a stream
    // that inflates to hundreds of times its size is copied only a few times.
    // A caller's hint is taken up to what deflate can expand the input to
    // (about 1032 to 1) and a bound that a claimed size cannot pass.
    constexpr std::size_t kMaxHint = std::size_t(256) << 20;
    const std::size_t reach = data.size() > kMaxHint / 1032 ? kMaxHint : data.size() * 1032 + 1024;
    const std::size_t hint = std::min({sizeHint, reach, kMaxHint}) + (sizeHint > 0 ? 1 : 0);
    out.resize(std::min<std::size_t>(std::max<std::size_t>({data.size() * 2, 8192, hint}),
                                     kMaxDecodedSize));
    std::size_t produced = 0;
    ZInput input(data);
    for (;;) {
        input.Feed(zs);
        if (produced == out.size() && !GrowBuffer(out)) break;
        std::size_t room = std::min<std::size_t>(out.size() - produced, 1u << 30);
        zs.next_out = reinterpret_cast<unsigned char*>(out.data() + produced);
        zs.avail_out = static_cast<unsigned>(room);
        int ret = inflate(&zs, Z_NO_FLUSH);
        std::size_t made = room - zs.avail_out;
        produced += made;
        if (ret == Z_STREAM_END) break;
        // Data error, preset dictionary or no memory: keep what came out.
        if (ret != Z_OK && ret != Z_BUF_ERROR) break;
        // Output space left over while the input is used up: the stream is
        // truncated; nothing more will come.
        if (zs.avail_out > 0 && zs.avail_in == 0 && input.remaining == 0) break;
        if (ret == Z_BUF_ERROR && made == 0 && zs.avail_out > 0) break;
    }
    inflateEnd(&zs);
    out.resize(produced);
    return out;
}

std::string FlateCompressStored(std::string_view data) {
    if (data.empty()) return {};
    if (data.size() >= 65536) return FlateCompressLevel(data, 0);
    const std::size_t n = data.size();
    std::string out;
    out.reserve(n + 11);
    out += '\x78';
    out += '\x01';
    out += '\x01';  // final stored block
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>((n >> 8) & 0xFF);
    out += static_cast<char>(~n & 0xFF);
    out += static_cast<char>((~n >> 8) & 0xFF);
    out.append(data);
    uLong sum = adler32(0L, Z_NULL, 0);
    sum = adler32(sum, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(n));
    out += static_cast<char>((sum >> 24) & 0xFF);
    out += static_cast<char>((sum >> 16) & 0xFF);
    out += static_cast<char>((sum >> 8) & 0xFF);
    out += static_cast<char>(sum & 0xFF);
    return out;
}

std::uint8_t PaethPredictor(std::uint8_t left, std::uint8_t above, std::uint8_t upperLeft) {
    int p = int(left) + int(above) - int(upperLeft);
    int pa = std::abs(p - int(left));
    int pb = std::abs(p - int(above));
    int pc = std::abs(p - int(upperLeft));
    if (pa <= pb && pa <= pc) return left;
    if (pb <= pc) return above;
    return upperLeft;
}

namespace {

// One row of TIFF predictor 2: each sample adds the decoded sample of the
// same component one pixel to the left, modulo 2^bpc. Only the first
// dataBytes of the row came from the stream; the rest is zero padding.
void UndoTiffRow(unsigned char* row, std::size_t rowBytes, int colors, int bpc,
                 std::uint64_t samples, std::size_t dataBytes) {
    if (bpc == 8) {
        for (std::size_t i = static_cast<std::size_t>(colors); i < rowBytes; ++i)
            row[i] = static_cast<unsigned char>(row[i] + row[i - colors]);
        return;
    }
    if (bpc == 16) {
        const std::size_t stride = static_cast<std::size_t>(colors) * 2;
        for (std::size_t i = stride; i + 1 < rowBytes; i += 2) {
            unsigned v = (unsigned(row[i]) << 8 | row[i + 1]) +
                         (unsigned(row[i - stride]) << 8 | row[i + 1 - stride]);
            row[i] = static_cast<unsigned char>(v >> 8);
            row[i + 1] = static_cast<unsigned char>(v);
        }
        return;
    }
    // Any other component size: samples packed most significant bit first.
    const std::uint64_t mask = (bpc >= 64) ? ~0ull : ((1ull << bpc) - 1);
    std::vector<std::uint64_t> running(static_cast<std::size_t>(colors), 0);
    auto getBits = [&](std::uint64_t bitPos) {
        std::uint64_t v = 0;
        for (int b = 0; b < bpc; ++b) {
            std::uint64_t p = bitPos + b;
            v = (v << 1) | ((row[p >> 3] >> (7 - (p & 7))) & 1u);
        }
        return v;
    };
    auto putBits = [&](std::uint64_t bitPos, std::uint64_t v) {
        for (int b = 0; b < bpc; ++b) {
            std::uint64_t p = bitPos + b;
            unsigned bit = (v >> (bpc - 1 - b)) & 1u;
            unsigned char m = static_cast<unsigned char>(0x80u >> (p & 7));
            if (bit)
                row[p >> 3] |= m;
            else
                row[p >> 3] &= static_cast<unsigned char>(~m);
        }
    };
    auto undo = [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t s = from; s < to; ++s) {
            std::size_t c = static_cast<std::size_t>(s % colors);
            std::uint64_t pos = s * bpc;
            std::uint64_t v = (getBits(pos) + running[c]) & mask;
            running[c] = v;
            putBits(pos, v);
        }
    };
    // In the zero padding every pixel repeats the one before it, so the
    // bits repeat with a period of whole pixels in whole bytes. Bit by bit,
    // a short last row padded to a huge width would take minutes: the
    // samples are undone up to one whole period past the data, and the
    // periods after it are copies.
    const std::uint64_t pixelBits = std::uint64_t(colors) * std::uint64_t(bpc);
    const std::uint64_t periodBits = std::lcm(pixelBits, std::uint64_t(8));
    const std::uint64_t samplesPerPeriod = periodBits / std::uint64_t(bpc);
    const std::uint64_t dataSamples = (std::uint64_t(dataBytes) * 8 + bpc - 1) / bpc;
    const std::uint64_t firstPadded =
        (dataSamples + samplesPerPeriod - 1) / samplesPerPeriod * samplesPerPeriod;
    const std::uint64_t wholePeriods = samples / samplesPerPeriod * samplesPerPeriod;
    if (firstPadded + samplesPerPeriod >= wholePeriods) {
        undo(0, samples);
        return;
    }
    undo(0, firstPadded + samplesPerPeriod);
    const std::size_t period = static_cast<std::size_t>(periodBits / 8);
    const std::size_t copyFrom = static_cast<std::size_t>(firstPadded * bpc / 8);
    const std::size_t copyEnd = static_cast<std::size_t>(wholePeriods * bpc / 8);
    for (std::size_t at = copyFrom + period; at < copyEnd; at += period)
        std::memcpy(row + at, row + copyFrom, std::min(period, copyEnd - at));
    undo(wholePeriods, samples);
}

}  // namespace

bool UndoPredictor(std::string_view data, int predictor, int colors, int bitsPerComponent,
                   int columns, bool padLastRow, std::string& out) {
    out.clear();
    if (predictor < 2) {
        out.assign(data);
        return true;
    }
    if (colors < 1 || colors > kMaxColors || bitsPerComponent < 1 ||
        bitsPerComponent > kMaxBitsPerComponent || columns < 1)
        return false;
    const std::uint64_t bitsPerPixel = std::uint64_t(colors) * std::uint64_t(bitsPerComponent);
    const std::uint64_t rowBytes64 = (bitsPerPixel * std::uint64_t(columns) + 7) / 8;
    if (rowBytes64 == 0 || rowBytes64 > kMaxRowBytes) return false;
    const std::size_t rowBytes = static_cast<std::size_t>(rowBytes64);
    const std::size_t len = data.size();
    const unsigned char* src = reinterpret_cast<const unsigned char*>(data.data());

    if (predictor >= 10) {
        // Bytes per complete pixel, rounded up (4-bit RGB: 2).
        const std::size_t bpp =
            static_cast<std::size_t>(std::max<std::uint64_t>(1, (bitsPerPixel + 7) / 8));
        const std::size_t inRow = rowBytes + 1;
        const std::size_t rows = (len + inRow - 1) / inRow;
        if (rows > kMaxDecodedSize / rowBytes) return false;
        out.assign(rows * rowBytes, '\0');
        unsigned char* dst = reinterpret_cast<unsigned char*>(out.data());
        for (std::size_t r = 0; r < rows; ++r) {
            const std::size_t start = r * inRow;
            const unsigned tag = src[start];
            const std::size_t avail = std::min(rowBytes, len - start - 1);
            unsigned char* cur = dst + r * rowBytes;
            std::memcpy(cur, src + start + 1, avail);  // the rest stays zero
            const unsigned char* up = r > 0 ? cur - rowBytes : nullptr;
            switch (tag) {
                case 1:
                    for (std::size_t i = bpp; i < rowBytes; ++i)
                        cur[i] = static_cast<unsigned char>(cur[i] + cur[i - bpp]);
                    break;
                case 2:
                    if (up)
                        for (std::size_t i = 0; i < rowBytes; ++i)
                            cur[i] = static_cast<unsigned char>(cur[i] + up[i]);
                    break;
                case 3:
                    for (std::size_t i = 0; i < rowBytes; ++i) {
                        unsigned left = i >= bpp ? cur[i - bpp] : 0;
                        unsigned above = up ? up[i] : 0;
                        cur[i] = static_cast<unsigned char>(cur[i] + ((left + above) >> 1));
                    }
                    break;
                case 4:
                    for (std::size_t i = 0; i < rowBytes; ++i) {
                        std::uint8_t left = i >= bpp ? cur[i - bpp] : 0;
                        std::uint8_t above = up ? up[i] : 0;
                        std::uint8_t ul = (up && i >= bpp) ? up[i - bpp] : 0;
                        cur[i] =
                            static_cast<unsigned char>(cur[i] + PaethPredictor(left, above, ul));
                    }
                    break;
                default:
                    break;  // 0 and unknown tags: the row as stored
            }
        }
        return true;
    }

    const std::size_t rows = padLastRow ? (len + rowBytes - 1) / rowBytes : len / rowBytes;
    if (rows > kMaxDecodedSize / rowBytes) return false;
    out.assign(data.substr(0, std::min(len, rows * rowBytes)));
    out.resize(rows * rowBytes, '\0');
    if (predictor == 2) {
        const std::uint64_t samples = std::uint64_t(columns) * std::uint64_t(colors);
        unsigned char* dst = reinterpret_cast<unsigned char*>(out.data());
        for (std::size_t r = 0; r < rows; ++r)
            UndoTiffRow(dst + r * rowBytes, rowBytes, colors, bitsPerComponent, samples,
                        std::min(rowBytes, len - std::min(len, r * rowBytes)));
    }
    if (!padLastRow && rows * rowBytes < len) out.append(data.substr(rows * rowBytes));
    return true;
}

std::string FlateDecompressWithPredictor(std::string_view data, const TPDFFlateParms& parms,
                                         std::size_t sizeHint) {
    std::string inflated = FlateDecompress(data, sizeHint);
    if (parms.Predictor < 2) return inflated;
    std::string out;
    if (!UndoPredictor(inflated, parms.Predictor, parms.Colors, parms.BitsPerComponent,
                       parms.Columns, true, out))
        return {};
    return out;
}

}  // namespace velmo
