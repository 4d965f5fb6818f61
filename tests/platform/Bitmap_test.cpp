#include "platform/gdi/Bitmap.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>

#include "platform/files/WideFile.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

const TPixelFormat kFormats[] = {pf1bit, pf4bit, pf8bit, pf24bit, pf32bit};

// A bitmap of random pixels; palette formats get a random palette of
// 2^bits entries.
TBitmap RandomBitmap(int w, int h, TPixelFormat f, std::mt19937& rng) {
    TBitmap bm(w, h, f);
    if (BitsPerPixel(f) <= 8) {
        std::vector<TRGBQuad> pal(size_t(1) << BitsPerPixel(f));
        for (auto& q : pal)
            q = RGBQuad(uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
        bm.SetPalette(pal);
    }
    const size_t used = (size_t(w) * size_t(BitsPerPixel(f)) + 7) / 8;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = bm.ScanLine(y);
        for (size_t i = 0; i < used; ++i)
            row[i] = uint8_t(rng());
        // Keep the bits past the last pixel clear, as the bitmap does.
        int spare = int(used * 8 - size_t(w) * size_t(BitsPerPixel(f)));
        if (spare > 0)
            row[used - 1] &= uint8_t(0xFF << spare);
    }
    return bm;
}

void ExpectSamePixels(const TBitmap& a, const TBitmap& b) {
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    ASSERT_EQ(a.PixelFormat(), b.PixelFormat());
    EXPECT_EQ(a.Palette(), b.Palette());
    const size_t used = (size_t(a.Width()) * size_t(a.BitsPerPixel()) + 7) / 8;
    for (int y = 0; y < a.Height(); ++y)
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(a.ScanLine(y)), used),
                  std::string(reinterpret_cast<const char*>(b.ScanLine(y)), used))
            << "row " << y;
}

std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Le16(uint16_t v) { return {char(v), char(v >> 8)}; }

// A BMP file from its parts: 40-byte header (or Header as given), colour
// table and pixel data.
std::string Bmp(int32_t w, int32_t h, int bits, uint32_t compression, const std::string& table,
                const std::string& pixels, uint32_t clrUsed = 0) {
    std::string info = Le32(40) + Le32(uint32_t(w)) + Le32(uint32_t(h)) + Le16(1) +
                       Le16(uint16_t(bits)) + Le32(compression) + Le32(uint32_t(pixels.size())) +
                       Le32(0) + Le32(0) + Le32(clrUsed) + Le32(0);
    uint32_t off = uint32_t(14 + info.size() + table.size());
    return "BM" + Le32(off + uint32_t(pixels.size())) + Le32(0) + Le32(off) + info + table + pixels;
}

TBitmap Load(const std::string& bytes) {
    TStringStream s(bytes);
    TBitmap bm;
    bm.LoadFromStream(s);
    return bm;
}

}  // namespace

TEST(Bitmap, BmpRoundTripEveryDepthAndNarrowWidth) {
    std::mt19937 rng(42);
    for (TPixelFormat f : kFormats)
        for (int w = 1; w <= 7; ++w)
            for (int h : {1, 3}) {
                SCOPED_TRACE(std::to_string(BitsPerPixel(f)) + " bits, " + std::to_string(w) + "x" +
                             std::to_string(h));
                TBitmap bm = RandomBitmap(w, h, f, rng);
                TStringStream s;
                bm.SaveToStream(s);
                // Header, table and padded rows, bottom-up.
                const std::string& file = s.DataString();
                EXPECT_EQ(file.substr(0, 2), "BM");
                size_t table = BitsPerPixel(f) <= 8 ? 4u << BitsPerPixel(f) : 0;
                EXPECT_EQ(file.size(), 54 + table + bm.BytesPerScanLine() * size_t(h));
                EXPECT_EQ(bm.BytesPerScanLine() % 4, 0u);
                s.Seek(0, soBeginning);
                TBitmap back;
                back.LoadFromStream(s);
                ExpectSamePixels(bm, back);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        ASSERT_EQ(bm.GetPixel(x, y), back.GetPixel(x, y));
            }
}

TEST(Bitmap, TopDownAndBottomUpRows) {
    // 2 × 2, 24 bits: rows of 6 bytes padded to 8.
    std::string top = std::string("\x01\x02\x03\x04\x05\x06\0\0", 8);
    std::string bottom = std::string("\x0a\x0b\x0c\x0d\x0e\x0f\0\0", 8);
    TBitmap up = Load(Bmp(2, 2, 24, 0, "", bottom + top));
    TBitmap down = Load(Bmp(2, -2, 24, 0, "", top + bottom));
    for (const TBitmap* bm : {&up, &down}) {
        EXPECT_EQ(bm->Height(), 2);
        EXPECT_EQ(bm->GetPixel(0, 0), RGB(3, 2, 1));
        EXPECT_EQ(bm->GetPixel(1, 1), RGB(0x0f, 0x0e, 0x0d));
    }
}

TEST(Bitmap, BitFieldsAndSixteenBits) {
    // 16 bits 5-6-5 with masks after the header: white, pure red, pure green.
    std::string masks = Le32(0xF800) + Le32(0x07E0) + Le32(0x001F);
    std::string px = Le16(0xFFFF) + Le16(0xF800) + Le16(0x07E0) + std::string(2, '\0');
    TBitmap bm = Load(Bmp(3, 1, 16, 3, masks, px));
    EXPECT_EQ(bm.PixelFormat(), pf24bit);
    EXPECT_EQ(bm.GetPixel(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(bm.GetPixel(1, 0), RGB(255, 0, 0));
    EXPECT_EQ(bm.GetPixel(2, 0), RGB(0, 255, 0));
    // 16 bits without masks: 5-5-5.
    TBitmap b555 = Load(Bmp(1, 1, 16, 0, "", Le16(0x7C00) + std::string(2, '\0')));
    EXPECT_EQ(b555.GetPixel(0, 0), RGB(255, 0, 0));
    // 32 bits with an alpha mask (masks of a plain header plus alpha).
    std::string m4 = Le32(0x0000FF00) + Le32(0x00FF0000) + Le32(0xFF000000) + Le32(0x000000FF);
    TBitmap b32 = Load(Bmp(1, 1, 32, 6, m4, Le32(0x11223380)));
    EXPECT_EQ(b32.PixelFormat(), pf32bit);
    EXPECT_EQ(b32.GetPixel(0, 0), RGB(0x33, 0x22, 0x11));
    EXPECT_EQ(b32.ScanLine(0)[3], 0x80);
}

TEST(Bitmap, RunLengthData) {
    std::string pal4;
    for (int i = 0; i < 16; ++i)
        pal4 += std::string{char(i), char(i), char(i), 0};
    // RLE8, 4 × 2: bottom row "run of 3 × 5, absolute 7", end of line, top
    // row a delta of (1, 0) then a run of 2 × 9, end of bitmap.
    std::string pal8;
    for (int i = 0; i < 256; ++i)
        pal8 += std::string{char(i), char(i), char(i), 0};
    std::string rle8 = std::string("\x03\x05\x00\x03\x07\x08\x09\x00\x00\x00\x00\x02\x01\x00\x02\x09\x00\x01", 18);
    TBitmap b8 = Load(Bmp(4, 2, 8, 1, pal8, rle8));
    EXPECT_EQ(b8.PixelFormat(), pf8bit);
    const uint8_t expect8[2][4] = {{0, 9, 9, 0}, {5, 5, 5, 7}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(b8.GetPixelIndex(x, y), expect8[y][x]) << x << "," << y;
    // RLE4, 5 × 1: a run of 3 alternating 1, 2; absolute 3 nibbles 4, 5, 6.
    std::string rle4 = std::string("\x03\x12\x00\x03\x45\x60\x00\x01", 8);
    TBitmap b4 = Load(Bmp(5, 1, 4, 2, pal4, rle4));
    const uint8_t expect4[5] = {1, 2, 1, 4, 5};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(b4.GetPixelIndex(x, 0), expect4[x]);
    // Runs that leave the bitmap are clipped, not written outside it.
    TBitmap clip = Load(Bmp(2, 1, 8, 1, pal8, std::string("\xff\x01\x00\x02\xff\xff\xff\x01", 8)));
    EXPECT_EQ(clip.GetPixelIndex(1, 0), 1);
}

TEST(Bitmap, CoreHeaderAndShortPalette) {
    // 12-byte header with a 3-byte colour table entry per colour.
    std::string core = Le32(12) + Le16(2) + Le16(1) + Le16(1) + Le16(1);
    std::string table = std::string("\x00\x00\xff\xff\x00\x00", 6);  // red, blue
    std::string px = std::string("\x40\0\0\0", 4);                 // pixel 0: 0, pixel 1: 1
    uint32_t off = uint32_t(14 + core.size() + table.size());
    TBitmap bm = Load("BM" + Le32(off + 4) + Le32(0) + Le32(off) + core + table + px);
    EXPECT_EQ(bm.PixelFormat(), pf1bit);
    EXPECT_EQ(bm.GetPixel(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(bm.GetPixel(1, 0), RGB(0, 0, 255));
    // biClrUsed smaller than the format's table; an index beyond it reads black.
    TBitmap shortPal = Load(Bmp(2, 1, 8, 0, std::string("\x10\x20\x30\0", 4), std::string("\0\x05\0\0", 4), 1));
    EXPECT_EQ(shortPal.Palette().size(), 1u);
    EXPECT_EQ(shortPal.GetPixel(0, 0), RGB(0x30, 0x20, 0x10));
    EXPECT_EQ(shortPal.GetPixel(1, 0), clBlack);
}

TEST(Bitmap, InvalidFilesRaiseAndLeaveTheBitmap) {
    std::string good = Bmp(1, 1, 24, 0, "", std::string(4, '\x7f'));
    std::vector<std::string> bad = {
        "",
        "BM",
        "XY" + good.substr(2),
        good.substr(0, good.size() - 1),               // pixel data cut short
        Bmp(100000, 100000, 24, 0, "", std::string(16, '\0')),  // header claims 30 GB
        Bmp(1, 1, 7, 0, "", std::string(4, '\0')),     // no such depth
        Bmp(1, 1, 24, 4, "", std::string(4, '\0')),    // embedded JPEG
        Bmp(1, -1, 8, 1, std::string(1024, '\0'), "\0\1"),  // top-down RLE
        Bmp(1, 1, 8, 0, std::string(100, '\0'), std::string(4, '\0'), 200),  // table beyond data
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        TBitmap bm(3, 2, pf8bit);
        TStringStream s(bad[i]);
        EXPECT_THROW(bm.LoadFromStream(s), EInvalidGraphic) << i;
        EXPECT_EQ(bm.Width(), 3);
        EXPECT_EQ(bm.PixelFormat(), pf8bit);
    }
    EXPECT_THROW(TBitmap(70000, 70000), EOutOfResources);
    TBitmap bm(2, 2);
    EXPECT_THROW(bm.SetSize(1 << 20, 1 << 20), EOutOfResources);
    EXPECT_EQ(bm.Width(), 2);
}

TEST(Bitmap, SizeFormatAndPixels) {
    TBitmap bm(3, 2, pf24bit);
    EXPECT_EQ(bm.BytesPerScanLine(), 12u);
    bm.SetPixel(0, 0, RGB(10, 20, 30));
    bm.SetPixel(2, 1, RGB(200, 100, 50));
    EXPECT_EQ(bm.GetPixel(0, 0), RGB(10, 20, 30));
    EXPECT_EQ(bm.GetPixel(3, 0), -1);
    EXPECT_EQ(bm.ScanLine(2), nullptr);
    bm.SetPixel(-1, 0, clWhite);  // ignored
    // Growing keeps the top-left pixels and adds black ones.
    bm.SetSize(5, 4);
    EXPECT_EQ(bm.GetPixel(0, 0), RGB(10, 20, 30));
    EXPECT_EQ(bm.GetPixel(2, 1), RGB(200, 100, 50));
    EXPECT_EQ(bm.GetPixel(4, 3), clBlack);
    bm.SetWidth(1);
    EXPECT_EQ(bm.Width(), 1);
    EXPECT_EQ(bm.GetPixel(0, 0), RGB(10, 20, 30));
    bm.SetHeight(0);
    EXPECT_TRUE(bm.Empty());

    // Shrinking a 1-bit bitmap clears the bits past the new width.
    TBitmap mono(8, 1, pf1bit);
    mono.ScanLine(0)[0] = 0xFF;
    mono.SetWidth(3);
    mono.SetWidth(8);
    EXPECT_EQ(mono.ScanLine(0)[0], 0xE0);

    // Conversions: to palette formats by nearest default colour, back to
    // colour exactly for palette colours; a fitting palette is kept.
    TBitmap c(2, 1, pf24bit);
    c.SetPixel(0, 0, RGB(250, 250, 250));
    c.SetPixel(1, 0, RGB(0, 0, 120));
    c.SetPixelFormat(pf1bit);
    EXPECT_EQ(c.GetPixel(0, 0), clWhite);
    EXPECT_EQ(c.GetPixel(1, 0), clBlack);
    c.SetPixelFormat(pf8bit);
    EXPECT_EQ(c.Palette().size(), 2u);  // kept, indices too
    EXPECT_EQ(c.GetPixel(0, 0), clWhite);
    c.SetPixelFormat(pf32bit);
    EXPECT_EQ(c.GetPixel(0, 0), clWhite);
    EXPECT_EQ(c.ScanLine(0)[3], 255);  // opaque
    c.SetPixelFormat(pf4bit);
    EXPECT_EQ(c.Palette(), TBitmap::DefaultPalette(pf4bit));
    EXPECT_EQ(c.GetPixel(1, 0), clBlack);
    EXPECT_EQ(TBitmap::DefaultPalette(pf8bit).size(), 256u);

    // Copies are deep.
    TBitmap copy(c);
    copy.SetPixel(0, 0, clBlack);
    EXPECT_EQ(c.GetPixel(0, 0), clWhite);
}

TEST(Bitmap, FilesAndCanvasLock) {
    vpltest::TempDir dir;
    std::u16string name = FileSystemNameToWide((dir / "b.bmp").string());
    TBitmap bm(5, 3, pf8bit);
    bm.SetPixel(4, 2, RGB(255, 0, 0));
    bm.SaveToFile(name);
    TBitmap back;
    back.LoadFromFile(name);
    EXPECT_EQ(back.GetPixel(4, 2), RGB(255, 0, 0));
    EXPECT_THROW(back.LoadFromFile(name + u"x"), EFCreateError);

    TCanvas& canvas = bm.Canvas();
    EXPECT_EQ(canvas.LockCount(), 0);
    {
        TCanvasLock outer(canvas);
        TCanvasLock inner(canvas);  // recursive on one thread
        EXPECT_EQ(canvas.LockCount(), 2);
        bool other = true;
        std::thread t([&] {
            other = canvas.TryLock();
            if (other)
                canvas.Unlock();
        });
        t.join();
        EXPECT_FALSE(other);  // held against other threads
    }
    EXPECT_EQ(canvas.LockCount(), 0);
    std::thread t([&] {
        EXPECT_TRUE(canvas.TryLock());
        canvas.Unlock();
    });
    t.join();
}

// Damaged BMP files give a bitmap or EInvalidGraphic, never a fault.
TEST(Bitmap, MutatedFilesAreHandled) {
    std::mt19937 rng(5);
    std::vector<std::string> seeds;
    for (TPixelFormat f : kFormats) {
        TStringStream s;
        RandomBitmap(5, 4, f, rng).SaveToStream(s);
        seeds.push_back(s.DataString());
    }
    std::string pal8;
    for (int i = 0; i < 256; ++i)
        pal8 += std::string{char(i), char(i), char(i), 0};
    seeds.push_back(Bmp(6, 3, 8, 1, pal8, std::string("\x04\x01\x00\x03\x01\x02\x03\x00\x00\x00\x00\x02\x02\x01\x00\x01", 16)));
    seeds.push_back(Bmp(3, 2, 16, 3, Le32(0xF800) + Le32(0x07E0) + Le32(0x1F), std::string(16, '\x5a')));
    int loaded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string f = seeds[size_t(i) % seeds.size()];
        switch (rng() % 3) {
            case 0:
                for (int k = 0; k < 1 + int(rng() % 3); ++k)
                    f[rng() % f.size()] = char(rng());
                break;
            case 1:
                f.resize(rng() % f.size());
                break;
            default: {  // header fields: offset, sizes, depth, compression, colours used
                static const size_t fields[] = {10, 14, 18, 22, 28, 30, 46};
                size_t at = fields[rng() % 7];
                if (at + 4 <= f.size())
                    f.replace(at, 4, Le32(rng() % 2 ? rng() : rng() % 300));
            }
        }
        TStringStream s(f);
        TBitmap bm;
        try {
            bm.LoadFromStream(s);
            ++loaded;
            for (int y = 0; y < bm.Height(); ++y)
                for (int x = 0; x < bm.Width(); ++x)
                    (void)bm.GetPixel(x, y);
        } catch (const EInvalidGraphic&) {
        }
    }
    EXPECT_GT(loaded, 100);
}
