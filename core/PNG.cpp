#include "core/PNG.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "core/FileHelpers.h"
#include "core/Flate.h"
#include "platform/files/FileStream.h"

namespace velmo {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void PutBe32(std::string& s, uint32_t v) {
    for (int k = 3; k >= 0; --k)
        s += char((v >> (8 * k)) & 0xFF);
}

// Inflates a zlib stream, stopping once Limit bytes came out. A damaged or
// truncated stream gives what could be inflated before the damage.
std::string InflateAtMost(std::string_view Data, size_t Limit) {
    std::string out;
    if (Data.empty() || Limit == 0)
        return out;
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return out;
    out.resize(std::min<size_t>(Limit, std::max<size_t>(Data.size() * 4, 1 << 16)));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    size_t inLeft = Data.size();
    size_t produced = 0;
    for (;;) {
        if (z.avail_in == 0 && inLeft > 0) {
            z.avail_in = uInt(std::min<size_t>(inLeft, 1u << 30));
            inLeft -= z.avail_in;
        }
        if (produced == out.size()) {
            if (out.size() >= Limit)
                break;
            out.resize(std::min(Limit, out.size() * 2));
        }
        z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        z.avail_out = uInt(std::min<size_t>(out.size() - produced, 1u << 30));
        uInt before = z.avail_out;
        int r = inflate(&z, Z_NO_FLUSH);
        produced += before - z.avail_out;
        if (r == Z_STREAM_END || (r != Z_OK && r != Z_BUF_ERROR))
            break;
        if (r == Z_BUF_ERROR && z.avail_in == 0 && inLeft == 0)
            break;  // input used up before the end: truncated
    }
    inflateEnd(&z);
    out.resize(produced);
    return out;
}

struct TPass {
    uint32_t row0, col0, rowStep, colStep;
};
constexpr TPass kAdam7[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                             {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};

uint64_t PassCount(uint64_t size, uint32_t start, uint32_t step) {
    return size > start ? (size - start + step - 1) / step : 0;
}

// Layout of the samples of one image.
struct TLayout {
    uint32_t width = 0, height = 0, depth = 0;
    int channels = 0;    // samples per pixel in the file
    int components = 0;  // colour samples written to the image data
    bool alpha = false;
    bool interlaced = false;
    uint64_t imageRowBytes = 0;  // ceil(components × width × depth / 8)
    uint64_t alphaRowBytes = 0;  // width × depth / 8
    uint64_t filteredSize = 0;   // filter byte + row, over every pass

    bool Init(uint32_t w, uint32_t h, uint32_t d, uint8_t colorType, bool interlace) {
        static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
        static constexpr int kComponents[7] = {1, 0, 3, 1, 1, 0, 3};
        if (colorType > 6 || kChannels[colorType] == 0)
            return false;
        // Depths the PNG format allows for each colour type.
        bool ok = false;
        switch (colorType) {
            case 0:
                ok = d == 1 || d == 2 || d == 4 || d == 8 || d == 16;
                break;
            case 3:
                ok = d == 1 || d == 2 || d == 4 || d == 8;
                break;
            default:
                ok = d == 8 || d == 16;
        }
        if (!ok || w == 0 || h == 0 || uint64_t(w) * h > TPNGReader::MaxPixels)
            return false;
        width = w, height = h, depth = d;
        channels = kChannels[colorType];
        components = kComponents[colorType];
        alpha = colorType == 4 || colorType == 6;
        interlaced = interlace;
        imageRowBytes = (uint64_t(components) * w * d + 7) / 8;
        alphaRowBytes = alpha ? uint64_t(w) * d / 8 : 0;
        filteredSize = 0;
        ForEachPass([&](const TPass&, uint64_t cols, uint64_t rows) {
            filteredSize += rows * (1 + RowBytes(cols));
        });
        return true;
    }
    uint64_t RowBytes(uint64_t cols) const { return (uint64_t(channels) * cols * depth + 7) / 8; }
    int FilterBpp() const { return depth == 16 ? channels * 2 : depth == 8 ? channels : 1; }
    template <class F>
    void ForEachPass(F f) const {
        static constexpr TPass kWhole = {0, 0, 1, 1};
        for (int p = 0; p < (interlaced ? 7 : 1); ++p) {
            const TPass& pass = interlaced ? kAdam7[p] : kWhole;
            uint64_t cols = PassCount(width, pass.col0, pass.colStep);
            uint64_t rows = PassCount(height, pass.row0, pass.rowStep);
            if (cols > 0 && rows > 0)
                f(pass, cols, rows);
        }
    }
};

// Undoes one row's filter in place; Prev is the previous row of the pass
// (zeros for its first row). Unknown filter types leave the row as it is.
void Unfilter(uint8_t Filter, uint8_t* Row, const uint8_t* Prev, size_t N, int Bpp) {
    switch (Filter) {
        case 1:
            for (size_t i = size_t(Bpp); i < N; ++i)
                Row[i] = uint8_t(Row[i] + Row[i - size_t(Bpp)]);
            break;
        case 2:
            for (size_t i = 0; i < N; ++i)
                Row[i] = uint8_t(Row[i] + Prev[i]);
            break;
        case 3:
            for (size_t i = 0; i < N; ++i) {
                unsigned left = i >= size_t(Bpp) ? Row[i - size_t(Bpp)] : 0;
                Row[i] = uint8_t(Row[i] + ((left + Prev[i]) >> 1));
            }
            break;
        case 4:
            for (size_t i = 0; i < N; ++i) {
                uint8_t left = i >= size_t(Bpp) ? Row[i - size_t(Bpp)] : 0;
                uint8_t upLeft = i >= size_t(Bpp) ? Prev[i - size_t(Bpp)] : 0;
                Row[i] = uint8_t(Row[i] + PaethPredictor(left, Prev[i], upLeft));
            }
            break;
        default:
            break;
    }
}

// Unfilters the inflated rows of every pass and hands each row to Emit
// (pass, row index within the pass, pass columns, unfiltered bytes). Rows
// the data does not hold come as bytes 255.
template <class F>
void ForEachRow(const TLayout& L, std::string_view Inflated, F Emit) {
    size_t pos = 0;
    L.ForEachPass([&](const TPass& pass, uint64_t cols, uint64_t rows) {
        const size_t n = size_t(L.RowBytes(cols));
        std::vector<uint8_t> prev(n, 0), cur(n);
        for (uint64_t r = 0; r < rows; ++r) {
            uint8_t filter = 0;
            if (pos + 1 + n <= Inflated.size()) {
                filter = uint8_t(Inflated[pos]);
                std::memcpy(cur.data(), Inflated.data() + pos + 1, n);
            } else {
                std::fill(cur.begin(), cur.end(), 0xFF);
            }
            pos += 1 + n;
            Unfilter(filter, cur.data(), prev.data(), n, L.FilterBpp());
            Emit(pass, r, cols, cur.data());
            cur.swap(prev);
        }
    });
}

// Sample I of a row of Depth-bit samples (Depth below 8).
inline uint8_t SubByteSample(const uint8_t* Row, uint64_t I, uint32_t Depth) {
    uint64_t bit = I * Depth;
    return uint8_t((Row[bit >> 3] >> (8 - Depth - (bit & 7))) & ((1u << Depth) - 1));
}

inline void PutSubByteSample(uint8_t* Row, uint64_t I, uint32_t Depth, uint8_t V) {
    uint64_t bit = I * Depth;
    int shift = int(8 - Depth - (bit & 7));
    uint8_t mask = uint8_t(((1u << Depth) - 1) << shift);
    Row[bit >> 3] = uint8_t((Row[bit >> 3] & ~mask) | ((V << shift) & mask));
}

// Every second byte (the high byte of each 16-bit sample).
std::string HighBytes(const std::string& S) {
    std::string out(S.size() / 2, '\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = S[2 * i];
    return out;
}

}  // namespace

void TPNGReader::LoadFromFile(const std::u16string& FileName) {
    try {
        TVelmoPDFWideFileStream s(FileName, fmOpenRead | fmShareDenyWrite);
        LoadFromStream(s);
    } catch (...) {
    }
}

void TPNGReader::LoadFromStream(TStream& InStream) {
    uint8_t sig[8];
    if (InStream.Read(sig, 8) != 8 || std::memcmp(sig, kSignature, 8) != 0)
        return;
    const int64_t streamSize = InStream.Size();
    bool first = true;
    bool haveIDAT = false;
    for (;;) {
        const int64_t lengthPos = InStream.Position();
        uint8_t head[8];
        if (InStream.Read(head, 4) != 4 || InStream.Read(head + 4, 4) != 4)
            break;
        const uint32_t length = Be32(head);
        const std::string_view type(reinterpret_cast<char*>(head + 4), 4);
        if (first && type != "IHDR")
            break;
        first = false;
        if (type == "IEND")
            break;
        const int64_t dataPos = InStream.Position();
        const int64_t remaining = std::max<int64_t>(streamSize - dataPos, 0);
        const bool known = type == "IHDR" || type == "PLTE" || type == "tRNS" ||
                           type == "IDAT" || type == "pHYs" || type == "iCCP";
        if (!known) {
            if (int64_t(length) > remaining)
                break;
            InStream.Seek(int64_t(length), soCurrent);
        } else {
            // Never more than the stream holds, whatever the length claims.
            std::string data(size_t(std::min<int64_t>(length, remaining)), '\0');
            data.resize(size_t(std::max<int64_t>(InStream.Read(data.data(), int64_t(data.size())), 0)));
            const auto* d = reinterpret_cast<const uint8_t*>(data.data());
            if (type == "IHDR") {
                uint8_t h[13] = {};
                std::memcpy(h, d, std::min<size_t>(data.size(), 13));
                FWidth = Be32(h);
                FHeight = Be32(h + 4);
                FSourceBitDepth = h[8];
                FColorType = h[9];
                FCompressionMethod = h[10];
                FFilterMethod = h[11];
                FInterlaceMethod = h[12];
            } else if (type == "PLTE") {
                FPalettePosition = dataPos;
                FPaletteData = data;
                FPaletteSize = int(data.size() / 3);
            } else if (type == "tRNS") {
                FTransparencyPosition = lengthPos;
                FTransparencyData = data;
                // Palette entries that tRNS does not list are opaque.
                if (FTransparencyData.size() < 256)
                    FTransparencyData.resize(256, char(0xFF));
            } else if (type == "IDAT") {
                if (!haveIDAT)
                    FFirstDataPosition = lengthPos;
                haveIDAT = true;
                if (!FSkipImageData)
                    FSourceData += data;
            } else if (type == "pHYs") {
                if (data.size() >= 9) {
                    uint64_t x = Be32(d), y = Be32(d + 4);
                    if (x == 0 || y == 0) {
                        FHorizontalDPI = FVerticalDPI = 96;
                    } else if (d[8] == 1) {
                        FHorizontalDPI = uint32_t(x * 254 / 10000);
                        FVerticalDPI = uint32_t(y * 254 / 10000);
                    } else {
                        FVerticalDPI = uint32_t(y * 96 / x);
                        FHorizontalDPI = 96;
                    }
                }
            } else if (type == "iCCP") {
                size_t zero = data.find('\0');
                if (zero == std::string::npos) {
                    FICCData.clear();
                } else if (zero < 80) {
                    // Name, zero byte, compression method 0, then the zlib stream.
                    if (data.size() >= zero + 2 && data[zero + 1] == '\0')
                        FICCData = data.substr(zero + 2);
                    else
                        FICCData.clear();
                } else {
                    FICCData = data;
                }
            }
            if (data.size() < length)
                break;
        }
        uint8_t crc[4];
        if (InStream.Read(crc, 4) != 4)
            break;
    }
    if (FWidth != 0 && FHeight != 0 && FCompressionMethod == 0 && FFilterMethod == 0 &&
        !FSkipImageData && !FSourceData.empty())
        DecodeImageData();
}

void TPNGReader::DecodeImageData() {
    TLayout L;
    // A colour type and depth the format does not allow, or an image over
    // the pixel cap, gives no image data.
    if (!L.Init(FWidth, FHeight, FSourceBitDepth, FColorType, FInterlaceMethod == 1))
        return;
    // zlib never inflates more than 1032 bytes per input byte. Rows beyond
    // what the data can hold are filled in, but a header that claims far more
    // than that (a few hundred bytes announcing gigabytes) is refused rather
    // than filled. The allowance counts pixels, since filling costs work per
    // pixel and a byte holds up to eight of them: the share of the image the
    // data cannot reach may be at most kFillPixels.
    constexpr uint64_t kMaxInflateRatio = 1032;
    constexpr uint64_t kFillPixels = uint64_t(4) << 20;
    const uint64_t held = uint64_t(FSourceData.size()) * kMaxInflateRatio;
    if (L.filteredSize > held &&
        (L.filteredSize - held) * (uint64_t(L.width) * L.height) > L.filteredSize * kFillPixels)
        return;
    const bool palette = FColorType == 3;
    const bool paletteAlpha = palette && L.depth == 8 && FTransparencyPosition != 0;
    FEmbeddedPredictor =
        !L.alpha && !L.interlaced && !(FDownSampleImage && L.depth == 16);

    std::string image, alpha, indices;
    if (FEmbeddedPredictor) {
        FImageBitDepth = L.depth;
        FImageData = FSourceData;
        if (!paletteAlpha)
            return;
    }
    const std::string inflated = InflateAtMost(FSourceData, size_t(L.filteredSize));
    if (!FEmbeddedPredictor) {
        image.assign(size_t(L.imageRowBytes * L.height), '\0');
        alpha.assign(size_t(L.alphaRowBytes * L.height), '\0');
        FImageBitDepth = FAlphaBitDepth = L.depth;
    } else {
        indices.assign(size_t(uint64_t(L.width) * L.height), '\0');
    }
    const int sampleBytes = L.depth == 16 ? 2 : 1;
    ForEachRow(L, inflated, [&](const TPass& pass, uint64_t r, uint64_t cols, const uint8_t* row) {
        const uint64_t y = pass.row0 + r * pass.rowStep;
        if (FEmbeddedPredictor) {  // only the palette indices are needed
            for (uint64_t i = 0; i < cols; ++i)
                indices[size_t(y * L.width + pass.col0 + i * pass.colStep)] = char(row[i]);
            return;
        }
        auto* out = reinterpret_cast<uint8_t*>(image.data() + y * L.imageRowBytes);
        auto* aout = reinterpret_cast<uint8_t*>(alpha.data() + y * L.alphaRowBytes);
        for (uint64_t i = 0; i < cols; ++i) {
            const uint64_t x = pass.col0 + i * pass.colStep;
            if (L.depth < 8) {
                PutSubByteSample(out, x, L.depth, SubByteSample(row, i, L.depth));
                continue;
            }
            const uint8_t* px = row + i * uint64_t(L.channels) * sampleBytes;
            std::memcpy(out + x * uint64_t(L.components) * sampleBytes, px,
                        size_t(L.components * sampleBytes));
            if (L.alpha)
                std::memcpy(aout + x * sampleBytes, px + (L.channels - 1) * sampleBytes,
                            size_t(sampleBytes));
        }
    });
    if (!FEmbeddedPredictor) {
        if (FDownSampleImage && L.depth == 16) {
            image = HighBytes(image);
            FImageBitDepth = 8;
        }
        if (FDownSampleAlpha && L.depth == 16 && L.alpha) {
            alpha = HighBytes(alpha);
            FAlphaBitDepth = 8;
        }
        FImageData = FlateCompress(image);
        FAlphaData = L.alpha ? FlateCompress(alpha) : std::string();
        if (palette)
            indices = image;  // depth 8: one index per byte
    }
    if (paletteAlpha && FAlphaData.empty()) {
        std::string a(indices.size(), '\0');
        for (size_t i = 0; i < indices.size(); ++i)
            a[i] = FTransparencyData[uint8_t(indices[i])];
        FAlphaBitDepth = 8;
        FAlphaData = FlateCompress(a);
    }
}

std::string TPNGReader::MakePDFPalette() const {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s = "/DeviceRGB " + std::to_string(FPaletteSize - 1) + "<";
    s.reserve(s.size() + FPaletteData.size() * 2 + 1);
    for (unsigned char b : FPaletteData) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    s += '>';
    return s;
}

std::unique_ptr<TBitmap> TPNGReader::SaveToBitmap() const {
    // Grey and palette images may also come with 1, 2 or 4 bits a sample.
    const uint32_t depth = FImageBitDepth;
    if (depth != 8 && !((depth == 1 || depth == 2 || depth == 4) && (FColorType == 0 || FColorType == 3)))
        return nullptr;
    TLayout L;
    if (!L.Init(FWidth, FHeight, depth, FColorType, false))
        return nullptr;
    const uint64_t rowBytes = L.imageRowBytes;
    std::string image;
    if (FEmbeddedPredictor) {
        image.assign(size_t(rowBytes * FHeight), '\0');
        std::string inflated = InflateAtMost(FImageData, size_t(L.filteredSize));
        ForEachRow(L, inflated, [&](const TPass&, uint64_t r, uint64_t, const uint8_t* row) {
            std::memcpy(image.data() + r * rowBytes, row, size_t(rowBytes));
        });
    } else {
        image = InflateAtMost(FImageData, size_t(rowBytes * FHeight));
        image.resize(size_t(rowBytes * FHeight), '\0');
    }
    const bool withAlpha = !FAlphaData.empty() && FAlphaBitDepth == 8;
    std::string alpha;
    if (withAlpha) {
        alpha = InflateAtMost(FAlphaData, size_t(uint64_t(FWidth) * FHeight));
        alpha.resize(size_t(uint64_t(FWidth) * FHeight), '\0');
    }
    auto bitmap = std::make_unique<TBitmap>(int(FWidth), int(FHeight), withAlpha ? pf32bit : pf24bit);
    const int n = withAlpha ? 4 : 3;
    const auto* pal = reinterpret_cast<const uint8_t*>(FPaletteData.data());
    for (uint32_t y = 0; y < FHeight; ++y) {
        const auto* src = reinterpret_cast<const uint8_t*>(image.data() + y * rowBytes);
        uint8_t* dst = bitmap->ScanLine(int(y));
        for (uint32_t x = 0; x < FWidth; ++x) {
            uint8_t r, g, b;
            if (L.components == 3) {
                r = src[3 * x], g = src[3 * x + 1], b = src[3 * x + 2];
            } else if (depth < 8) {
                const uint8_t v = SubByteSample(src, x, depth);
                size_t i = v;
                bool inside = FColorType == 3 && i < size_t(FPaletteSize);
                if (FColorType == 3)
                    r = inside ? pal[3 * i] : 0, g = inside ? pal[3 * i + 1] : 0,
                    b = inside ? pal[3 * i + 2] : 0;
                else
                    r = g = b = uint8_t(v * 255 / ((1u << depth) - 1));
            } else if (FColorType == 3) {
                size_t i = src[x];
                bool inside = i < size_t(FPaletteSize);
                r = inside ? pal[3 * i] : 0, g = inside ? pal[3 * i + 1] : 0,
                b = inside ? pal[3 * i + 2] : 0;
            } else {
                r = g = b = src[x];
            }
            dst[n * x] = b, dst[n * x + 1] = g, dst[n * x + 2] = r;
            if (withAlpha)
                dst[4 * x + 3] = uint8_t(alpha[uint64_t(y) * FWidth + x]);
        }
    }
    return bitmap;
}

TPNGWriter::TPNGWriter(const TBitmap& FromBitmap) {
    if (FromBitmap.PixelFormat() == pf24bit) {
        FBitmap = &FromBitmap;
    } else {
        FOwnedBitmap = std::make_unique<TBitmap>(FromBitmap);
        FOwnedBitmap->SetPixelFormat(pf24bit);
        FBitmap = FOwnedBitmap.get();
    }
}

void TPNGWriter::SetTransparencyColor(TColor Color) {
    FHasTransparencyColor = true;
    FTransparencyColor = Color;
}

void TPNGWriter::AddColorProfile(std::string_view ProfileData) {
    FCompressedColorProfileData = FlateCompress(ProfileData);
}

void TPNGWriter::SetAlphaChannel(const TBitmap* Mask, bool Reverse) {
    if (!Mask || Mask->Width() <= 0 || Mask->Height() <= 0)
        return;
    TBitmap copy(*Mask);
    copy.SetPixelFormat(pf24bit);
    FMask.assign(size_t(copy.Height()), std::string());
    for (int y = 0; y < copy.Height(); ++y) {
        const uint8_t* row = copy.ScanLine(y);
        std::string& m = FMask[size_t(y)];
        m.resize(size_t(copy.Width()));
        for (int x = 0; x < copy.Width(); ++x)
            m[size_t(x)] = char(Reverse ? 255 - row[3 * x] : row[3 * x]);
    }
    FHasMask = true;
}

void TPNGWriter::SaveToStream(TStream& Stream) {
    auto chunk = [&](const char* type, std::string_view data) {
        std::string c;
        c.reserve(data.size() + 12);
        PutBe32(c, uint32_t(data.size()));
        c.append(type, 4);
        c.append(data);
        // The CRC covers the type and the data.
        uLong crc = crc32(0L, Z_NULL, 0);
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(c.data() + 4), c.size() - 4);
        PutBe32(c, uint32_t(crc));
        Stream.WriteBuffer(c);
    };
    const TBitmap& bm = *FBitmap;
    const uint32_t w = uint32_t(bm.Width()), h = uint32_t(bm.Height());
    Stream.WriteBuffer(kSignature, 8);

    std::string ihdr;
    PutBe32(ihdr, w);
    PutBe32(ihdr, h);
    ihdr += char(8);
    ihdr += char(FHasMask ? 6 : 2);
    ihdr.append(3, '\0');
    chunk("IHDR", ihdr);

    if (FDPI <= 0)
        FDPI = 96;
    const uint32_t ppm = uint32_t(int64_t(FDPI) * 10000 / 254 + 1);
    std::string phys;
    PutBe32(phys, ppm);
    PutBe32(phys, ppm);
    phys += char(1);
    chunk("pHYs", phys);

    if (FHasTransparencyColor) {
        const char trns[6] = {0, char(GetRValue(FTransparencyColor)), 0,
                              char(GetGValue(FTransparencyColor)), 0,
                              char(GetBValue(FTransparencyColor))};
        chunk("tRNS", std::string_view(trns, 6));
    }
    if (!FCompressedColorProfileData.empty()) {
        std::string iccp = "VPLProfile";
        iccp.append(2, '\0');
        iccp += FCompressedColorProfileData;
        chunk("iCCP", iccp);
    }

    const int n = FHasMask ? 4 : 3;
    // Each row: filter type 0, then the samples written in place.
    const size_t rowBytes = 1 + size_t(w) * size_t(n);
    std::string raw(size_t(h) * rowBytes, '\0');
    const uint64_t maskRows = FMask.size();
    for (uint32_t y = 0; y < h; ++y) {
        char* out = raw.data() + size_t(y) * rowBytes + 1;
        const uint8_t* row = bm.ScanLine(int(y));
        const std::string* m = nullptr;
        if (FHasMask)
            m = &FMask[h > 1 ? size_t((maskRows - 1) * y / (h - 1)) : 0];
        if (!m) {
            for (uint32_t x = 0; x < w; ++x, out += 3, row += 3) {
                out[0] = char(row[2]);
                out[1] = char(row[1]);
                out[2] = char(row[0]);
            }
            continue;
        }
        const uint64_t cols = m->size();
        for (uint32_t x = 0; x < w; ++x, out += 4, row += 3) {
            out[0] = char(row[2]);
            out[1] = char(row[1]);
            out[2] = char(row[0]);
            out[3] = (*m)[w > 1 ? size_t((cols - 1) * x / (w - 1)) : 0];
        }
    }
    chunk("IDAT", FlateCompress(raw));
    chunk("IEND", std::string_view());
}

void TPNGWriter::SaveToFile(const std::u16string& FileName) {
    WriteFileReplacing(FileName, [&](TStream& s) { SaveToStream(s); });
}

}  // namespace velmo
