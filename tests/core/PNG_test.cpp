#include "core/PNG.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "core/Flate.h"
#include "platform/files/WideFile.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

std::string Be32(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string Chunk(const std::string& type, const std::string& data) {
    std::string td = type + data;
    return Be32(uint32_t(data.size())) + td +
           Be32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(td.data()), uInt(td.size()))));
}

const std::string kSig = "\x89PNG\r\n\x1a\n";

std::string Ihdr(uint32_t w, uint32_t h, int depth, int colorType, int interlace = 0) {
    return Chunk("IHDR", Be32(w) + Be32(h) + char(depth) + char(colorType) + std::string(2, '\0') +
                             char(interlace));
}

// A PNG of the given rows (each with its filter byte) and extra chunks.
std::string Png(const std::string& ihdr, const std::string& rows, const std::string& before = "",
                const std::string& after = "") {
    return kSig + ihdr + before + Chunk("IDAT", FlateCompress(rows)) + after + Chunk("IEND", "");
}

TPNGReader Read(const std::string& file, bool skip = false) {
    TPNGReader r;
    r.SetSkipImageData(skip);
    TStringStream s(file);
    r.LoadFromStream(s);
    return r;
}

uint32_t Be32At(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
           uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
}

}  // namespace

TEST(PNGReader, EmbeddedAndReencodedData) {
    // 2 × 2 RGB, rows with Sub and Up filters.
    std::string rows = std::string("\x01") + "\x10\x20\x30\x01\x01\x01" + std::string("\x02") +
                       "\x05\x05\x05\x05\x05\x05";
    TPNGReader r = Read(Png(Ihdr(2, 2, 8, 2), rows));
    EXPECT_TRUE(r.EmbeddedPredictor());
    EXPECT_EQ(r.ImageBitDepth(), 8u);
    EXPECT_EQ(FlateDecompress(r.ImageData()), rows);  // the file's own data
    EXPECT_TRUE(r.AlphaData().empty());
    std::unique_ptr<TBitmap> bm = r.SaveToBitmap();
    ASSERT_TRUE(bm);
    EXPECT_EQ(bm->PixelFormat(), pf24bit);
    EXPECT_EQ(bm->GetPixel(1, 0), RGB(0x11, 0x21, 0x31));
    EXPECT_EQ(bm->GetPixel(1, 1), RGB(0x16, 0x26, 0x36));

    // RGBA: RGB samples and a separate alpha of width × height bytes.
    std::string rgba = std::string("\0", 1) + "\x01\x02\x03\x80\x04\x05\x06\xff" +
                       std::string("\0\x07\x08\x09\x00\x0a\x0b\x0c\x40", 9);
    TPNGReader a = Read(Png(Ihdr(2, 2, 8, 6), rgba));
    EXPECT_FALSE(a.EmbeddedPredictor());
    EXPECT_EQ(FlateDecompress(a.ImageData()), "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c");
    EXPECT_EQ(FlateDecompress(a.AlphaData()), std::string("\x80\xff\x00\x40", 4));
    EXPECT_EQ(a.AlphaBitDepth(), 8u);
    bm = a.SaveToBitmap();
    ASSERT_TRUE(bm);
    EXPECT_EQ(bm->PixelFormat(), pf32bit);
    EXPECT_EQ(bm->ScanLine(0)[3], 0x80);
    EXPECT_EQ(bm->ScanLine(1)[7], 0x40);
}

TEST(PNGReader, PaletteTransparency) {
    // 3 × 1 palette image; tRNS lists only entry 0, as transparent.
    std::string plte("\x00\x00\x00\xff\x00\x00\x00\xff\x00", 9);
    std::string file = Png(Ihdr(3, 1, 8, 3), std::string("\0\0\1\2", 4),
                           Chunk("PLTE", std::string(plte.data(), 9)) + Chunk("tRNS", std::string("\0", 1)));
    TPNGReader r = Read(file);
    EXPECT_EQ(r.PaletteSize(), 3);
    EXPECT_EQ(r.PalettePosition(), int64_t(file.find("PLTE") + 4));
    EXPECT_EQ(r.TransparencyPosition(), int64_t(file.find("tRNS") - 4));
    EXPECT_EQ(r.MakePDFPalette(), "/DeviceRGB 2<000000FF000000FF00>");
    EXPECT_TRUE(r.EmbeddedPredictor());
    EXPECT_EQ(FlateDecompress(r.AlphaData()), std::string("\x00\xff\xff", 3));
    std::unique_ptr<TBitmap> bm = r.SaveToBitmap();
    ASSERT_TRUE(bm);
    EXPECT_EQ(bm->PixelFormat(), pf32bit);
    EXPECT_EQ(bm->GetPixel(1, 0), RGB(255, 0, 0));
    EXPECT_EQ(bm->ScanLine(0)[3], 0);
    EXPECT_EQ(bm->ScanLine(0)[7], 255);

    // Depth 4: no alpha channel from tRNS.
    std::string file4 = Png(Ihdr(3, 1, 4, 3), std::string("\0\x01\x20", 3),
                            Chunk("PLTE", std::string(plte.data(), 9)) + Chunk("tRNS", std::string("\0", 1)));
    TPNGReader r4 = Read(file4);
    EXPECT_TRUE(r4.AlphaData().empty());
    // Narrow palette images decode too, their samples unpacked, opaque.
    std::unique_ptr<TBitmap> bm4 = r4.SaveToBitmap();
    ASSERT_TRUE(bm4);
    EXPECT_EQ(bm4->GetPixel(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(bm4->GetPixel(1, 0), RGB(255, 0, 0));
    EXPECT_EQ(bm4->GetPixel(2, 0), RGB(0, 255, 0));
}

TEST(PNGReader, Resolution) {
    struct {
        uint32_t x, y;
        int unit;
        uint32_t h, v;
    } cases[] = {{3780, 3780, 1, 96, 96}, {2835, 2835, 1, 72, 72}, {2, 1, 0, 96, 48},
                 {0, 5000, 1, 96, 96},     {11812, 3780, 1, 300, 96},
                 {0xFFFFFFFF, 0xFFFFFFFF, 1, 109092169, 109092169}};
    for (const auto& c : cases) {
        std::string phys = Be32(c.x) + Be32(c.y) + char(c.unit);
        TPNGReader r = Read(Png(Ihdr(1, 1, 8, 0), std::string("\0\0", 2), Chunk("pHYs", phys)));
        EXPECT_EQ(r.HorizontalDPI(), c.h) << c.x;
        EXPECT_EQ(r.VerticalDPI(), c.v) << c.y;
    }
    EXPECT_EQ(Read(Png(Ihdr(1, 1, 8, 0), std::string("\0\0", 2))).HorizontalDPI(), 96u);
}

TEST(PNGReader, IccProfile) {
    std::string z = FlateCompress("profile bytes");
    struct {
        std::string data;
        std::string expected;
    } cases[] = {
        {"name" + std::string("\0\0", 2) + z, z},
        {"name" + std::string("\0\1", 2) + z, ""},  // compression method 1
        {"no zero byte at all", ""},
        {std::string(85, 'n') + std::string("\0\0", 2) + "zz", std::string(85, 'n') + std::string("\0\0", 2) + "zz"},
    };
    for (const auto& c : cases) {
        TPNGReader r = Read(Png(Ihdr(1, 1, 8, 0), std::string("\0\0", 2), Chunk("iCCP", c.data)));
        EXPECT_EQ(r.ICCData(), c.expected);
    }
}

TEST(PNGReader, ShortDataFillsRowsWith255) {
    // 2 × 3 grey, interlaced off; only the first row is present.
    TPNGReader r = Read(Png(Ihdr(2, 3, 8, 4), std::string("\0\x10\x20\x30\x40", 5)));
    EXPECT_EQ(FlateDecompress(r.ImageData()), std::string("\x10\x30\xff\xff\xff\xff", 6));
    EXPECT_EQ(FlateDecompress(r.AlphaData()), std::string("\x20\x40\xff\xff\xff\xff", 6));
}

TEST(PNGReader, InterlacedSmallImages) {
    // 3 × 3 grey at depth 2, Adam7: passes 1, 4 (none with 3 columns: 2, 3
    // start outside), 5, 6, 7 carry rows. Values = x + 3y mod 4.
    const uint32_t w = 3, h = 3;
    auto value = [](uint32_t x, uint32_t y) { return (x + 3 * y) % 4; };
    const int row0[7] = {0, 0, 4, 0, 2, 0, 1}, col0[7] = {0, 4, 0, 2, 0, 1, 0};
    const int rstep[7] = {8, 8, 8, 4, 4, 2, 2}, cstep[7] = {8, 8, 4, 4, 2, 2, 1};
    std::string rows;
    for (int p = 0; p < 7; ++p)
        for (uint32_t y = uint32_t(row0[p]); y < h; y += uint32_t(rstep[p])) {
            std::string row(1, '\0');
            int n = 0;
            uint8_t acc = 0;
            for (uint32_t x = uint32_t(col0[p]); x < w; x += uint32_t(cstep[p])) {
                acc = uint8_t(acc | (value(x, y) << (6 - 2 * (n % 4))));
                if (++n % 4 == 0)
                    row += char(acc), acc = 0;
            }
            if (n == 0)
                continue;
            if (n % 4)
                row += char(acc);
            rows += row;
        }
    TPNGReader r = Read(Png(Ihdr(w, h, 2, 0, 1), rows));
    EXPECT_FALSE(r.EmbeddedPredictor());
    std::string out = FlateDecompress(r.ImageData());
    ASSERT_EQ(out.size(), 3u);  // one byte per row
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            EXPECT_EQ((uint8_t(out[y]) >> (6 - 2 * x)) & 3, value(x, y)) << x << "," << y;
}

TEST(PNGReader, HostileHeadersAndChunks) {
    // Sizes the header claims are not trusted: nothing is allocated for them.
    TPNGReader big = Read(Png(Ihdr(100000, 100000, 8, 6), std::string(100, '\0')));
    EXPECT_EQ(big.Width(), 100000u);
    EXPECT_TRUE(big.ImageData().empty());
    EXPECT_TRUE(big.AlphaData().empty());
    EXPECT_FALSE(big.SaveToBitmap());
    TPNGReader wide = Read(Png(Ihdr(0x7FFFFFFF, 1, 16, 6), std::string(100, '\0')));
    EXPECT_TRUE(wide.ImageData().empty());
    // Under the pixel cap, but far more than the data could ever inflate to.
    TPNGReader claims = Read(Png(Ihdr(10000, 10000, 8, 6), std::string(100, '\0')));
    EXPECT_TRUE(claims.ImageData().empty());
    // The rows the data cannot reach are counted in pixels: millions of
    // narrow rows, or one-bit samples, are refused like wide deep rows.
    for (const std::string& ihdr : {Ihdr(3, 0x800003, 8, 4), Ihdr(16000, 16000, 1, 0, 1)}) {
        TPNGReader tall = Read(Png(ihdr, std::string(100, '\0')));
        EXPECT_TRUE(tall.ImageData().empty());
        EXPECT_FALSE(tall.SaveToBitmap());
    }
    // A short image whose data is cut still gets its missing rows filled.
    EXPECT_FALSE(Read(Png(Ihdr(1000, 1000, 8, 4), std::string(100, '\0'))).ImageData().empty());

    // Colour type and depth combinations the format does not allow.
    EXPECT_TRUE(Read(Png(Ihdr(2, 2, 4, 2), std::string(8, '\0'))).ImageData().empty());
    EXPECT_TRUE(Read(Png(Ihdr(2, 2, 3, 0), std::string(8, '\0'))).ImageData().empty());
    EXPECT_TRUE(Read(Png(Ihdr(2, 2, 8, 5), std::string(8, '\0'))).ImageData().empty());

    // A length beyond the stream: what is there is kept, then parsing stops.
    std::string z = FlateCompress(std::string("\0\x7f", 2));
    std::string cut = kSig + Ihdr(1, 1, 8, 0) + Be32(0xFFFFFFF0) + "IDAT" + z;
    TPNGReader c = Read(cut);
    EXPECT_EQ(FlateDecompress(c.ImageData()), std::string("\0\x7f", 2));
    // An unknown chunk that claims more than the stream holds stops parsing.
    TPNGReader u = Read(kSig + Ihdr(1, 1, 8, 0) + Be32(0xFFFFFFF0) + "abCD" + "xx" +
                        Chunk("IDAT", z));
    EXPECT_EQ(u.FirstDataPosition(), 0);

    // Not PNG, first chunk not IHDR, empty.
    EXPECT_EQ(Read("GIF89a...").Width(), 0u);
    EXPECT_EQ(Read(kSig + Chunk("PLTE", "abc") + Ihdr(1, 1, 8, 0)).PaletteSize(), 0);
    EXPECT_EQ(Read("").Width(), 0u);
    // Damaged compressed data gives rows of 255, not a fault.
    TPNGReader d = Read(kSig + Ihdr(2, 2, 8, 4) + Chunk("IDAT", "garbage!") + Chunk("IEND", ""));
    EXPECT_EQ(FlateDecompress(d.ImageData()), std::string(4, '\xff'));

    TPNGReader missing;
    missing.LoadFromFile(u"/nonexistent/folder/x.png");
    EXPECT_EQ(missing.Width(), 0u);
}

TEST(PNGReader, SkipImageDataKeepsPositions) {
    std::string file = Png(Ihdr(1, 1, 8, 0), std::string("\0\x42", 2), Chunk("tEXt", "k\0v"));
    TPNGReader r = Read(file, true);
    EXPECT_EQ(r.Width(), 1u);
    EXPECT_EQ(r.FirstDataPosition(), int64_t(file.find("IDAT") - 4));
    EXPECT_TRUE(r.ImageData().empty());
}

TEST(PNGReader, SixteenBitDownSampling) {
    std::string rows = std::string("\0", 1) + "\x12\x34\xab\xcd";  // grey+alpha, 1 pixel
    TPNGReader plain = Read(Png(Ihdr(1, 1, 16, 4), rows));
    EXPECT_EQ(FlateDecompress(plain.ImageData()), "\x12\x34");
    EXPECT_EQ(FlateDecompress(plain.AlphaData()), "\xab\xcd");
    EXPECT_FALSE(plain.SaveToBitmap());
    TPNGReader down;
    down.SetDownSampleImage(true);
    down.SetDownSampleAlpha(true);
    TStringStream s(Png(Ihdr(1, 1, 16, 4), rows));
    down.LoadFromStream(s);
    EXPECT_EQ(FlateDecompress(down.ImageData()), "\x12");
    EXPECT_EQ(FlateDecompress(down.AlphaData()), "\xab");
    EXPECT_EQ(down.ImageBitDepth(), 8u);
    EXPECT_EQ(down.AlphaBitDepth(), 8u);
}

TEST(PNGWriter, ChunksAndResolution) {
    TBitmap bm(2, 1, pf24bit);
    bm.SetPixel(0, 0, RGB(1, 2, 3));
    bm.SetPixel(1, 0, RGB(4, 5, 6));
    struct {
        int dpi;
        uint32_t ppm;
    } cases[] = {{0, 3780}, {96, 3780}, {72, 2835}, {300, 11812}};
    for (const auto& c : cases) {
        TPNGWriter w(bm);
        w.SetDPI(c.dpi);
        TStringStream out;
        w.SaveToStream(out);
        const std::string& f = out.DataString();
        size_t phys = f.find("pHYs");
        ASSERT_NE(phys, std::string::npos);
        EXPECT_EQ(Be32At(f, phys + 4), c.ppm) << c.dpi;
        EXPECT_EQ(Be32At(f, phys + 8), c.ppm);
        EXPECT_EQ(f[phys + 12], 1);
    }
    TPNGWriter w(bm);
    w.SetTransparencyColor(RGB(0x11, 0x22, 0x33));
    w.AddColorProfile("ICC");
    TStringStream out;
    w.SaveToStream(out);
    const std::string& f = out.DataString();
    EXPECT_EQ(f.substr(0, 8), kSig);
    // Chunk order and contents; every CRC covers type and data.
    std::vector<std::string> types;
    for (size_t at = 8; at + 12 <= f.size();) {
        uint32_t len = Be32At(f, at);
        std::string td = f.substr(at + 4, 4 + len);
        EXPECT_EQ(Be32At(f, at + 8 + len),
                  uint32_t(crc32(0, reinterpret_cast<const Bytef*>(td.data()), uInt(td.size()))));
        types.push_back(td.substr(0, 4));
        if (types.back() == "tRNS") {
            EXPECT_EQ(td.substr(4), std::string("\0\x11\0\x22\0\x33", 6));
        }
        if (types.back() == "iCCP") {
            EXPECT_EQ(td.substr(4, 12), std::string("VPLProfile\0\0", 12));
            EXPECT_EQ(FlateDecompress(td.substr(16)), "ICC");
        }
        at += 12 + len;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "pHYs", "tRNS", "iCCP", "IDAT", "IEND"}));
    // Read back: the same pixels, the profile, and DPI 96.
    TPNGReader r = Read(f);
    EXPECT_EQ(r.ColorType(), 2);
    EXPECT_EQ(r.HorizontalDPI(), 96u);
    EXPECT_EQ(FlateDecompress(r.ICCData()), "ICC");
    std::unique_ptr<TBitmap> back = r.SaveToBitmap();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetPixel(0, 0), RGB(1, 2, 3));
    EXPECT_EQ(back->GetPixel(1, 0), RGB(4, 5, 6));
}

TEST(PNGWriter, OtherFormatsAndMasks) {
    // A palette bitmap is written from a 24-bit copy; the source is kept.
    TBitmap pal(3, 2, pf4bit);
    pal.SetPixel(0, 0, RGB(255, 0, 0));
    pal.SetPixel(2, 1, RGB(0, 0, 255));
    TBitmap mask(3, 2, pf24bit);
    mask.SetPixel(0, 0, RGB(0, 0, 200));  // blue byte 200
    TPNGWriter w(pal);
    w.SetAlphaChannel(&mask, true);
    TStringStream out;
    w.SaveToStream(out);
    EXPECT_EQ(pal.PixelFormat(), pf4bit);
    TPNGReader r = Read(out.DataString());
    EXPECT_EQ(r.ColorType(), 6);
    std::unique_ptr<TBitmap> bm = r.SaveToBitmap();
    ASSERT_TRUE(bm);
    EXPECT_EQ(bm->GetPixel(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(bm->GetPixel(2, 1), RGB(0, 0, 255));
    EXPECT_EQ(bm->ScanLine(0)[3], 55);   // reversed: 255 - 200
    EXPECT_EQ(bm->ScanLine(1)[3], 255);  // 255 - 0

    // An empty mask adds nothing; an empty bitmap still makes a file.
    TBitmap empty;
    TPNGWriter e(pal);
    e.SetAlphaChannel(&empty, false);
    e.SetAlphaChannel(nullptr, false);
    TStringStream o2;
    e.SaveToStream(o2);
    EXPECT_EQ(Read(o2.DataString()).ColorType(), 2);
}

TEST(PNGWriter, SaveToFileReplaces) {
    vpltest::TempDir dir;
    std::filesystem::path p = dir / "page.png";
    vpltest::WriteFile(p, "old");
    TBitmap bm(4, 4, pf24bit);
    TPNGWriter w(bm);
    w.SaveToFile(FileSystemNameToWide(p.string()));
    TPNGReader r;
    r.LoadFromFile(FileSystemNameToWide(p.string()));
    EXPECT_EQ(r.Width(), 4u);
    // Only the file itself is left in the folder.
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        (void)e, ++n;
    EXPECT_EQ(n, 1);
}

// Damaged files: random bytes changed, chunks cut, lengths rewritten. Every
// one gives some result or none, never a fault (the sanitizers watch).
TEST(PNGReader, MutatedFilesAreHandled) {
    std::mt19937 rng(99);
    std::vector<std::string> seeds;
    for (int type : {0, 2, 3, 4, 6})
        for (int interlace : {0, 1}) {
            int depth = type == 3 ? 4 : 8;
            int channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
            size_t rowBytes = (size_t(channels) * 9 * size_t(depth) + 7) / 8;
            std::string rows;
            for (int y = 0; y < 7; ++y) {
                rows += char(y % 5);
                for (size_t i = 0; i < rowBytes; ++i)
                    rows += char(rng());
            }
            std::string before;
            if (type == 3)
                before = Chunk("PLTE", std::string(48, '\x40')) + Chunk("tRNS", "\x10\x20");
            seeds.push_back(Png(Ihdr(9, 7, depth, type, interlace), rows, before));
        }
    for (int i = 0; i < 3000; ++i) {
        std::string f = seeds[size_t(i) % seeds.size()];
        switch (rng() % 4) {
            case 0:  // flip bytes
                for (int k = 0; k < 1 + int(rng() % 4); ++k)
                    f[8 + rng() % (f.size() - 8)] = char(rng());
                break;
            case 1:  // cut
                f.resize(rng() % f.size());
                break;
            case 2: {  // rewrite the IHDR sizes
                size_t at = 16 + (rng() % 2) * 4;
                uint32_t v = rng() % 2 ? rng() : rng() % 64;
                f.replace(at, 4, Be32(v));
                break;
            }
            default: {  // change a header byte (depth, type, interlace)
                f[24 + rng() % 5] = char(rng() % 20);
                break;
            }
        }
        for (bool down : {false, true}) {
            TPNGReader r;
            r.SetDownSampleImage(down);
            r.SetDownSampleAlpha(down);
            TStringStream s(f);
            r.LoadFromStream(s);
            std::unique_ptr<TBitmap> bm = r.SaveToBitmap();
            if (bm) {
                ASSERT_EQ(uint32_t(bm->Width()), r.Width());
                ASSERT_EQ(uint32_t(bm->Height()), r.Height());
            }
            (void)r.MakePDFPalette();
        }
    }
}
