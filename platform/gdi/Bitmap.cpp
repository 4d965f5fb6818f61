#include "platform/gdi/Bitmap.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <unordered_map>

#include "platform/files/FileStream.h"
#include "platform/files/WideFile.h"
#include "platform/gdi/DC.h"

namespace velmo {

namespace {

int64_t StrideOf(int64_t Width, int Bits) { return ((Width * Bits + 31) / 32) * 4; }

inline uint8_t IndexAt(const uint8_t* Row, int X, int Bits) {
    switch (Bits) {
        case 1:
            return (Row[X >> 3] >> (7 - (X & 7))) & 1;
        case 4:
            return (Row[X >> 1] >> ((X & 1) ? 0 : 4)) & 15;
        default:
            return Row[X];
    }
}

inline void SetIndexAt(uint8_t* Row, int X, int Bits, uint8_t V) {
    switch (Bits) {
        case 1: {
            uint8_t bit = uint8_t(0x80 >> (X & 7));
            Row[X >> 3] = (V & 1) ? (Row[X >> 3] | bit) : (Row[X >> 3] & ~bit);
            break;
        }
        case 4:
            if (X & 1)
                Row[X >> 1] = uint8_t((Row[X >> 1] & 0xF0) | (V & 15));
            else
                Row[X >> 1] = uint8_t((Row[X >> 1] & 0x0F) | ((V & 15) << 4));
            break;
        default:
            Row[X] = V;
    }
}

bool IsPaletteFormat(TPixelFormat F) { return F == pf1bit || F == pf4bit || F == pf8bit; }

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void PutLe16(std::string& s, uint16_t v) {
    s += char(v & 0xFF);
    s += char(v >> 8);
}
void PutLe32(std::string& s, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        s += char((v >> (8 * k)) & 0xFF);
}

[[noreturn]] void Invalid() { throw EInvalidGraphic("Bitmap image is not valid"); }

// One colour channel described by a bit mask of a 16- or 32-bit pixel.
struct TChannel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit TChannel(uint32_t m) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            bits = std::bit_width(m >> shift);
        }
    }
    // The channel's value widened to 8 bits by repeating its bits (so 5 bits
    // 0x1F give 0xFF), or cut to its top 8 bits.
    uint8_t Get(uint32_t px) const {
        if (!mask)
            return 0;
        uint32_t v = (px & mask) >> shift;
        if (bits >= 8)
            return uint8_t(v >> (bits - 8));
        int pos = 8 - bits;
        uint32_t out = v << pos;
        while (pos > 0) {
            pos -= bits;
            out |= pos >= 0 ? v << pos : v >> -pos;
        }
        return uint8_t(out);
    }
};

}  // namespace

TBitmap::TBitmap() : FCanvas(std::make_unique<TCanvas>()) {
    FCanvas->FBitmap = this;
    Allocate(0, 0, pf24bit);
}

TBitmap::TBitmap(int Width, int Height, TPixelFormat Format)
    : FCanvas(std::make_unique<TCanvas>()) {
    FCanvas->FBitmap = this;
    Allocate(Width, Height, Format);
}

TBitmap::TBitmap(const TBitmap& Other) : FCanvas(std::make_unique<TCanvas>()) {
    FCanvas->FBitmap = this;
    Assign(Other);
}

TBitmap& TBitmap::operator=(const TBitmap& Other) {
    Assign(Other);
    return *this;
}

TBitmap::TBitmap(TBitmap&& Other) : FCanvas(std::make_unique<TCanvas>()) {
    FCanvas->FBitmap = this;
    TakeFrom(Other);
    Other.Allocate(0, 0, FPixelFormat);
}

TBitmap& TBitmap::operator=(TBitmap&& Other) {
    if (&Other == this)
        return *this;
    TakeFrom(Other);
    Other.Allocate(0, 0, FPixelFormat);
    return *this;
}

TBitmap::~TBitmap() {
    // The canvas's device context holds the bitmap object: it goes first.
    FCanvas.reset();
    if (FHandle) DetachBitmapObject(FHandle);
}

HGDIOBJ TBitmap::Handle() {
    if (!FHandle) FHandle = AttachBitmapObject(*this);
    return FHandle;
}

void TBitmap::Assign(const TBitmap& Source) {
    if (&Source == this)
        return;
    FWidth = Source.FWidth;
    FHeight = Source.FHeight;
    FPixelFormat = Source.FPixelFormat;
    FStride = Source.FStride;
    FPixels = Source.FPixels;
    FPalette = Source.FPalette;
}

void TBitmap::TakeFrom(TBitmap& Source) {
    FWidth = Source.FWidth;
    FHeight = Source.FHeight;
    FPixelFormat = Source.FPixelFormat;
    FStride = Source.FStride;
    FPixels.swap(Source.FPixels);
    FPalette.swap(Source.FPalette);
}

void TBitmap::Allocate(int Width, int Height, TPixelFormat Format) {
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);
    if (int64_t(Width) * Height > MaxPixels)
        throw EOutOfResources("Out of system resources");
    int64_t stride = StrideOf(Width, velmo::BitsPerPixel(Format));
    std::vector<uint8_t> pixels(size_t(stride * Height), 0);
    FPixels.swap(pixels);
    FWidth = Width;
    FHeight = Height;
    FStride = size_t(stride);
    FPixelFormat = Format;
    FPalette = DefaultPalette(Format);
}

void TBitmap::SetSize(int Width, int Height) {
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);
    if (Width == FWidth && Height == FHeight)
        return;
    if (int64_t(Width) * Height > MaxPixels)
        throw EOutOfResources("Out of system resources");
    const int bits = BitsPerPixel();
    const int64_t stride = StrideOf(Width, bits);
    std::vector<uint8_t> pixels(size_t(stride * Height), 0);
    const int keepW = std::min(Width, FWidth);
    const int keepH = std::min(Height, FHeight);
    const size_t keepBytes = size_t((int64_t(keepW) * bits + 7) / 8);
    for (int y = 0; y < keepH && keepBytes > 0; ++y) {
        uint8_t* dst = pixels.data() + size_t(y) * size_t(stride);
        std::memcpy(dst, ScanLine(y), keepBytes);
        // Bits of pixels beyond the kept width in the last byte become zero.
        int spare = int(keepBytes * 8 - size_t(keepW) * size_t(bits));
        if (spare > 0)
            dst[keepBytes - 1] &= uint8_t(0xFF << spare);
    }
    FPixels.swap(pixels);
    FWidth = Width;
    FHeight = Height;
    FStride = size_t(stride);
}

uint8_t* TBitmap::ScanLine(int Row) {
    if (Row < 0 || Row >= FHeight)
        return nullptr;
    return FPixels.data() + size_t(Row) * FStride;
}

const uint8_t* TBitmap::ScanLine(int Row) const {
    if (Row < 0 || Row >= FHeight)
        return nullptr;
    return FPixels.data() + size_t(Row) * FStride;
}

void TBitmap::SetPalette(std::vector<TRGBQuad> Palette) {
    if (!IsPaletteFormat(FPixelFormat))
        return;
    size_t max = size_t(1) << BitsPerPixel();
    if (Palette.size() > max)
        Palette.resize(max);
    FPalette = std::move(Palette);
}

std::vector<TRGBQuad> TBitmap::DefaultPalette(TPixelFormat Format) {
    std::vector<TRGBQuad> p;
    switch (Format) {
        case pf1bit:
            p = {RGBQuad(0, 0, 0), RGBQuad(255, 255, 255)};
            break;
        case pf4bit:
            p = {RGBQuad(0, 0, 0),       RGBQuad(128, 0, 0),   RGBQuad(0, 128, 0),
                 RGBQuad(128, 128, 0),   RGBQuad(0, 0, 128),   RGBQuad(128, 0, 128),
                 RGBQuad(0, 128, 128),   RGBQuad(192, 192, 192), RGBQuad(128, 128, 128),
                 RGBQuad(255, 0, 0),     RGBQuad(0, 255, 0),   RGBQuad(255, 255, 0),
                 RGBQuad(0, 0, 255),     RGBQuad(255, 0, 255), RGBQuad(0, 255, 255),
                 RGBQuad(255, 255, 255)};
            break;
        case pf8bit:
            for (int r = 0; r < 6; ++r)
                for (int g = 0; g < 6; ++g)
                    for (int b = 0; b < 6; ++b)
                        p.push_back(RGBQuad(uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)));
            for (int k = 1; k <= 24; ++k) {
                uint8_t v = uint8_t(k * 255 / 25);
                p.push_back(RGBQuad(v, v, v));
            }
            while (p.size() < 256)
                p.push_back(RGBQuad(0, 0, 0));
            break;
        default:
            break;
    }
    return p;
}

uint8_t TBitmap::NearestIndex(uint8_t R, uint8_t G, uint8_t B) const {
    int best = 0;
    int64_t bestDist = INT64_MAX;
    for (size_t i = 0; i < FPalette.size(); ++i) {
        int dr = int(FPalette[i].rgbRed) - R;
        int dg = int(FPalette[i].rgbGreen) - G;
        int db = int(FPalette[i].rgbBlue) - B;
        int64_t d = int64_t(dr) * dr + int64_t(dg) * dg + int64_t(db) * db;
        if (d < bestDist) {
            bestDist = d;
            best = int(i);
            if (d == 0)
                break;
        }
    }
    return uint8_t(best);
}

TColor TBitmap::GetPixel(int X, int Y) const {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return -1;
    const uint8_t* row = ScanLine(Y);
    switch (FPixelFormat) {
        case pf24bit:
            return RGB(row[3 * X + 2], row[3 * X + 1], row[3 * X]);
        case pf32bit:
            return RGB(row[4 * X + 2], row[4 * X + 1], row[4 * X]);
        default: {
            uint8_t i = IndexAt(row, X, BitsPerPixel());
            if (i >= FPalette.size())
                return clBlack;
            const TRGBQuad& q = FPalette[i];
            return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
    }
}

uint8_t TBitmap::GetPixelIndex(int X, int Y) const {
    if (!IsPaletteFormat(FPixelFormat) || X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return 0;
    return IndexAt(ScanLine(Y), X, BitsPerPixel());
}

void TBitmap::SetPixel(int X, int Y, TColor Color) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return;
    uint8_t* row = ScanLine(Y);
    uint8_t r = GetRValue(Color), g = GetGValue(Color), b = GetBValue(Color);
    switch (FPixelFormat) {
        case pf24bit:
            row[3 * X] = b, row[3 * X + 1] = g, row[3 * X + 2] = r;
            break;
        case pf32bit:
            row[4 * X] = b, row[4 * X + 1] = g, row[4 * X + 2] = r;
            break;
        default:
            SetIndexAt(row, X, BitsPerPixel(), NearestIndex(r, g, b));
    }
}

void TBitmap::SetPixelFormat(TPixelFormat Format) {
    if (Format == FPixelFormat)
        return;
    TBitmap target(FWidth, FHeight, Format);
    const int srcBits = BitsPerPixel();
    const int dstBits = target.BitsPerPixel();
    const bool srcPal = IsPaletteFormat(FPixelFormat);
    const bool dstPal = IsPaletteFormat(Format);
    // A palette that fits the new format is kept, and with it the indices.
    const bool keepIndices = srcPal && dstPal && FPalette.size() <= (size_t(1) << dstBits);
    if (keepIndices)
        target.FPalette = FPalette;
    std::unordered_map<uint32_t, uint8_t> nearest;
    for (int y = 0; y < FHeight; ++y) {
        const uint8_t* src = ScanLine(y);
        uint8_t* dst = target.ScanLine(y);
        for (int x = 0; x < FWidth; ++x) {
            uint8_t r, g, b, a = 255;
            int index = -1;
            if (srcPal) {
                index = IndexAt(src, x, srcBits);
                TRGBQuad q = size_t(index) < FPalette.size() ? FPalette[size_t(index)] : TRGBQuad{};
                r = q.rgbRed, g = q.rgbGreen, b = q.rgbBlue;
            } else {
                int n = srcBits / 8;
                b = src[n * x], g = src[n * x + 1], r = src[n * x + 2];
                if (n == 4)
                    a = src[4 * x + 3];
            }
            if (dstPal) {
                uint8_t v;
                if (keepIndices && index < (1 << dstBits)) {
                    v = uint8_t(index);
                } else {
                    uint32_t key = uint32_t(r) << 16 | uint32_t(g) << 8 | b;
                    auto it = nearest.find(key);
                    if (it == nearest.end())
                        it = nearest.emplace(key, target.NearestIndex(r, g, b)).first;
                    v = it->second;
                }
                SetIndexAt(dst, x, dstBits, v);
            } else {
                int n = dstBits / 8;
                dst[n * x] = b, dst[n * x + 1] = g, dst[n * x + 2] = r;
                if (n == 4)
                    dst[4 * x + 3] = a;
            }
        }
    }
    FPixels.swap(target.FPixels);
    FPalette.swap(target.FPalette);
    FStride = target.FStride;
    FPixelFormat = Format;
}

void TBitmap::LoadFromStream(TStream& Stream) {
    const int64_t start = Stream.Position();
    const int64_t size = Stream.Size();
    if (start < 0 || size < start)
        Invalid();
    const int64_t avail = size - start;
    auto readAt = [&](int64_t offset, void* buf, int64_t n) {
        if (offset < 0 || n < 0 || offset > avail || n > avail - offset)
            Invalid();
        Stream.Seek(start + offset, soBeginning);
        Stream.ReadBuffer(buf, n);
    };

    uint8_t fh[18];
    readAt(0, fh, 18);
    if (fh[0] != 'B' || fh[1] != 'M')
        Invalid();
    const uint32_t offBits = Le32(fh + 10);
    const uint32_t headerSize = Le32(fh + 14);

    int64_t width, height;
    int bits;
    uint32_t compression = 0, clrUsed = 0, sizeImage = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    bool topDown = false;
    int paletteEntrySize = 4;
    int64_t afterHeader;
    if (headerSize == 12) {
        uint8_t h[8];
        readAt(18, h, 8);
        width = Le16(h);
        height = Le16(h + 2);
        bits = Le16(h + 6);
        paletteEntrySize = 3;
        afterHeader = 14 + 12;
    } else if (headerSize >= 40 && headerSize <= 1024) {
        uint8_t h[124] = {};
        readAt(18, h, std::min<int64_t>(headerSize, 124) - 4);
        width = int32_t(Le32(h));
        height = int32_t(Le32(h + 4));
        bits = Le16(h + 10);
        compression = Le32(h + 12);
        sizeImage = Le32(h + 16);
        clrUsed = Le32(h + 28);
        afterHeader = 14 + int64_t(headerSize);
        if (headerSize >= 52)
            masks[0] = Le32(h + 36), masks[1] = Le32(h + 40), masks[2] = Le32(h + 44);
        if (headerSize >= 56)
            masks[3] = Le32(h + 48);
        if (headerSize == 40 && (compression == 3 || compression == 6)) {
            // The masks follow a plain info header.
            int n = compression == 6 ? 4 : 3;
            uint8_t m[16];
            readAt(afterHeader, m, 4 * n);
            for (int k = 0; k < n; ++k)
                masks[k] = Le32(m + 4 * k);
            afterHeader += 4 * n;
        }
        if (height < 0) {
            topDown = true;
            height = -height;
        }
    } else {
        Invalid();
    }
    if (width < 0 || height < 0 || width * height > MaxPixels)
        Invalid();
    const bool rle = compression == 1 || compression == 2;
    const bool fields = compression == 3 || compression == 6;
    if (compression != 0 && !rle && !fields)
        Invalid();
    if ((compression == 1 && bits != 8) || (compression == 2 && bits != 4) ||
        (fields && bits != 16 && bits != 32) || (rle && topDown))
        Invalid();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        Invalid();
    if (bits == 16 && !fields)
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F, masks[3] = 0;

    // Colour table.
    std::vector<TRGBQuad> palette;
    int64_t paletteEnd = afterHeader;
    if (bits <= 8) {
        uint32_t count = clrUsed == 0 ? (1u << bits) : std::min<uint32_t>(clrUsed, 1u << bits);
        std::vector<uint8_t> raw(size_t(count) * size_t(paletteEntrySize));
        readAt(afterHeader, raw.data(), int64_t(raw.size()));
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = raw.data() + size_t(i) * size_t(paletteEntrySize);
            palette.push_back(TRGBQuad{e[0], e[1], e[2], 0});
        }
        paletteEnd = afterHeader + int64_t(clrUsed == 0 ? count : clrUsed) * paletteEntrySize;
    }
    const int64_t dataOffset = offBits != 0 ? int64_t(offBits) : paletteEnd;
    if (dataOffset > avail)
        Invalid();

    TPixelFormat format;
    switch (bits) {
        case 1:
            format = pf1bit;
            break;
        case 4:
            format = pf4bit;
            break;
        case 8:
            format = pf8bit;
            break;
        case 16:
            format = masks[3] ? pf32bit : pf24bit;
            break;
        case 24:
            format = pf24bit;
            break;
        default:
            format = pf32bit;
    }
    const int64_t srcStride = StrideOf(width, bits);
    TBitmap result(int(width), int(height), format);
    if (bits <= 8)
        result.FPalette = palette;
    if (width == 0 || height == 0) {
        TakeFrom(result);
        return;
    }

    if (rle) {
        // Run-length data: decoded into the rows, bottom row first; runs that
        // leave the bitmap are clipped.
        int64_t n = avail - dataOffset;
        if (sizeImage != 0)
            n = std::min<int64_t>(n, sizeImage);
        std::vector<uint8_t> data(static_cast<size_t>(n));
        readAt(dataOffset, data.data(), n);
        int64_t x = 0, y = 0;
        size_t p = 0;
        auto put = [&](uint8_t v) {
            if (x < width && y < height)
                SetIndexAt(result.ScanLine(int(height - 1 - y)), int(x), bits, v);
            ++x;
        };
        while (p + 1 < data.size() && y < height) {
            uint8_t count = data[p], value = data[p + 1];
            p += 2;
            if (count > 0) {
                for (int k = 0; k < count; ++k)
                    put(bits == 8 ? value : uint8_t((k & 1) ? (value & 15) : (value >> 4)));
            } else if (value == 0) {
                x = 0, ++y;
            } else if (value == 1) {
                break;
            } else if (value == 2) {
                if (p + 1 >= data.size())
                    break;
                x += data[p], y += data[p + 1];
                p += 2;
            } else {
                size_t bytes = bits == 8 ? value : (size_t(value) + 1) / 2;
                if (p + bytes > data.size())
                    bytes = data.size() - p;
                for (int k = 0; k < value && size_t(bits == 8 ? k : k / 2) < bytes; ++k) {
                    uint8_t b = data[p + size_t(bits == 8 ? k : k / 2)];
                    put(bits == 8 ? b : uint8_t((k & 1) ? (b & 15) : (b >> 4)));
                }
                p += (bytes + 1) & ~size_t(1);  // runs end on a word boundary
            }
        }
        TakeFrom(result);
        return;
    }

    if (srcStride * height > avail - dataOffset)
        Invalid();
    std::vector<uint8_t> data(size_t(srcStride * height));
    readAt(dataOffset, data.data(), int64_t(data.size()));
    for (int64_t row = 0; row < height; ++row) {
        const uint8_t* src = data.data() + size_t(row * srcStride);
        uint8_t* dst = result.ScanLine(int(topDown ? row : height - 1 - row));
        if (bits == 16 || fields) {
            TChannel r(masks[0]), g(masks[1]), b(masks[2]), a(masks[3]);
            int n = result.BitsPerPixel() / 8;
            for (int64_t x = 0; x < width; ++x) {
                uint32_t px = bits == 16 ? Le16(src + 2 * x) : Le32(src + 4 * x);
                dst[n * x] = b.Get(px), dst[n * x + 1] = g.Get(px), dst[n * x + 2] = r.Get(px);
                if (n == 4)
                    dst[4 * x + 3] = a.Get(px);
            }
        } else {
            std::memcpy(dst, src, size_t(srcStride));
        }
    }
    TakeFrom(result);
}

void TBitmap::SaveToStream(TStream& Stream) const {
    const int bits = BitsPerPixel();
    std::vector<TRGBQuad> palette;
    if (IsPaletteFormat(FPixelFormat))
        palette = FPalette.empty() ? DefaultPalette(FPixelFormat) : FPalette;
    const uint32_t imageSize = uint32_t(FStride * size_t(FHeight));
    const uint32_t offBits = 14 + 40 + 4 * uint32_t(palette.size());
    std::string head;
    head.reserve(offBits);
    head += "BM";
    PutLe32(head, offBits + imageSize);
    PutLe32(head, 0);
    PutLe32(head, offBits);
    PutLe32(head, 40);
    PutLe32(head, uint32_t(FWidth));
    PutLe32(head, uint32_t(FHeight));
    PutLe16(head, 1);
    PutLe16(head, uint16_t(bits));
    PutLe32(head, 0);  // uncompressed
    PutLe32(head, imageSize);
    PutLe32(head, 0);
    PutLe32(head, 0);
    PutLe32(head, uint32_t(palette.size()));
    PutLe32(head, 0);
    for (const TRGBQuad& q : palette) {
        head += char(q.rgbBlue);
        head += char(q.rgbGreen);
        head += char(q.rgbRed);
        head += char(0);
    }
    Stream.WriteBuffer(head);
    for (int y = FHeight - 1; y >= 0; --y)
        Stream.WriteBuffer(ScanLine(y), int64_t(FStride));
}

void TBitmap::LoadFromFile(const std::u16string& FileName) {
    int h = CreateFileW(FileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL);
    if (h == -1)
        throw EFCreateError("Error");
    THandleStream stream(h, true);
    LoadFromStream(stream);
}

void TBitmap::SaveToFile(const std::u16string& FileName) const {
    WriteFileReplacing(FileName, [&](TStream& s) { SaveToStream(s); });
}

}  // namespace velmo
