// The JPEG picture: header reading without decoding, encoding settings as
// they land in the file, grey and 8-bit decodes, CMYK conversion, the
// streamed form, and damaged or oversized data raising instead of crashing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "codecs/CodecServices.h"
#include "codecs/JPEGImage.h"
#include "document/PageServices.h"
#include "render/ColorManager.h"

using namespace velmo;

namespace {

// A colourful test picture: gradients and a few blocks of flat colour.
TBitmap MakePicture(int W, int H) {
    TBitmap B(W, H, pf24bit);
    for (int Y = 0; Y < H; ++Y) {
        uint8_t* P = B.ScanLine(Y);
        for (int X = 0; X < W; ++X) {
            P[3 * X] = uint8_t(X * 255 / std::max(1, W - 1));
            P[3 * X + 1] = uint8_t(Y * 255 / std::max(1, H - 1));
            P[3 * X + 2] = uint8_t((X + Y) * 255 / std::max(1, W + H - 2));
        }
    }
    return B;
}

std::string Encode(const TBitmap& B, int Quality, int DPI, bool Grey = false) {
    TPDFJPEGImage J;
    J.Assign(B);
    J.SetCompressionQuality(Quality);
    J.SetDPI(DPI);
    J.SetGrayscale(Grey);
    TStringStream Out;
    J.SaveToStream(Out);
    return Out.DataString();
}

// Offset of the first marker FF Code after the start, or npos.
size_t FindMarker(const std::string& J, uint8_t Code) {
    size_t P = 2;
    while (P + 4 <= J.size() && uint8_t(J[P]) == 0xFF) {
        if (uint8_t(J[P + 1]) == Code) return P;
        if (uint8_t(J[P + 1]) == 0xDA) break;
        P += 2 + ((uint8_t(J[P + 2]) << 8) | uint8_t(J[P + 3]));
    }
    return std::string::npos;
}

// A CMYK JPEG made with libjpeg (no Adobe marker: samples as given).
std::string EncodeCMYK(int W, int H, const std::vector<uint8_t>& Samples) {
    jpeg_compress_struct C{};
    jpeg_error_mgr E{};
    C.err = jpeg_std_error(&E);
    jpeg_create_compress(&C);
    unsigned char* Buf = nullptr;
    unsigned long Size = 0;
    jpeg_mem_dest(&C, &Buf, &Size);
    C.image_width = JDIMENSION(W);
    C.image_height = JDIMENSION(H);
    C.input_components = 4;
    C.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&C);
    jpeg_set_quality(&C, 100, TRUE);
    for (int I = 0; I < 4; ++I) C.comp_info[I].h_samp_factor = C.comp_info[I].v_samp_factor = 1;
    jpeg_start_compress(&C, TRUE);
    while (C.next_scanline < C.image_height) {
        JSAMPROW Row =
            const_cast<uint8_t*>(Samples.data()) + size_t(C.next_scanline) * size_t(W) * 4;
        jpeg_write_scanlines(&C, &Row, 1);
    }
    jpeg_finish_compress(&C);
    std::string Out(reinterpret_cast<char*>(Buf), Size);
    std::free(Buf);
    jpeg_destroy_compress(&C);
    return Out;
}

// The raw CMYK samples libjpeg decodes from a file.
std::vector<uint8_t> DecodeRawCMYK(const std::string& J) {
    jpeg_decompress_struct D{};
    jpeg_error_mgr E{};
    D.err = jpeg_std_error(&E);
    jpeg_create_decompress(&D);
    jpeg_mem_src(&D, reinterpret_cast<const unsigned char*>(J.data()), J.size());
    jpeg_read_header(&D, TRUE);
    D.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&D);
    std::vector<uint8_t> Out(size_t(D.output_width) * D.output_height * 4);
    while (D.output_scanline < D.output_height) {
        JSAMPROW Row = Out.data() + size_t(D.output_scanline) * D.output_width * 4;
        jpeg_read_scanlines(&D, &Row, 1);
    }
    jpeg_finish_decompress(&D);
    jpeg_destroy_decompress(&D);
    return Out;
}

}  // namespace

TEST(JPEGImage, HeaderSizeAndUnchangedResave) {
    const std::string Data = Encode(MakePicture(37, 21), 90, 96);
    TPDFJPEGImage J;
    J.LoadFromBytes(Data);
    EXPECT_EQ(J.Width(), 37);
    EXPECT_EQ(J.Height(), 21);
    EXPECT_FALSE(J.HasBitmap());
    EXPECT_FALSE(J.Empty());
    EXPECT_FALSE(J.ProgressiveEncoding());
    TStringStream Out;
    J.SaveToStream(Out);
    EXPECT_EQ(Out.DataString(), Data);
    // A decode keeps the bytes: saving again is still the loaded file.
    EXPECT_EQ(J.DecodedBitmap().Width(), 37);
    TStringStream Again;
    J.SaveToStream(Again);
    EXPECT_EQ(Again.DataString(), Data);
}

TEST(JPEGImage, EncodingSettingsInTheFile) {
    const struct {
        int Quality, DPI;
        bool Grey;
        int WantQuality;
    } cases[] = {{75, 150, false, 75}, {50, 72, false, 50},   {75, 300, true, 75},
                 {0, 96, false, 1},    {250, 96, false, 100}, {90, 70000, false, 90}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "q" << c.Quality << " dpi " << c.DPI << (c.Grey ? " grey" : ""));
        TPDFJPEGImage J;
        J.Assign(MakePicture(40, 24));
        J.SetCompressionQuality(c.Quality);
        EXPECT_EQ(J.CompressionQuality(), c.WantQuality);
        J.SetDPI(c.DPI);
        J.SetGrayscale(c.Grey);
        TStringStream Out;
        J.SaveToStream(Out);
        const std::string& D = Out.DataString();
        ASSERT_GT(D.size(), 100u);
        ASSERT_EQ(D.substr(0, 2), "\xFF\xD8");
        const size_t App0 = FindMarker(D, 0xE0);
        ASSERT_NE(App0, std::string::npos);
        EXPECT_EQ(D.substr(App0 + 4, 5), std::string("JFIF\0", 5));
        EXPECT_EQ(uint8_t(D[App0 + 11]), 1);  // dots per inch
        const int Density = c.DPI & 0xFFFF;
        EXPECT_EQ((uint8_t(D[App0 + 12]) << 8) | uint8_t(D[App0 + 13]), Density);
        EXPECT_EQ((uint8_t(D[App0 + 14]) << 8) | uint8_t(D[App0 + 15]), Density);
        // Baseline: SOF0, never progressive.
        const size_t Sof = FindMarker(D, 0xC0);
        ASSERT_NE(Sof, std::string::npos);
        EXPECT_EQ(FindMarker(D, 0xC2), std::string::npos);
        EXPECT_EQ(uint8_t(D[Sof + 9]), c.Grey ? 1 : 3);
        EXPECT_EQ(J.Grayscale(), c.Grey);
        TPDFJPEGImage Back;
        Back.LoadFromBytes(D);
        EXPECT_EQ(Back.Grayscale(), c.Grey);
        EXPECT_EQ(Back.Width(), 40);
    }
}

TEST(JPEGImage, DecodedFormats) {
    const std::string Colour = Encode(MakePicture(64, 48), 95, 96);
    const std::string Grey = Encode(MakePicture(64, 48), 95, 96, true);
    {
        // Colour at 24 bits: close to the source.
        TPDFJPEGImage J;
        J.LoadFromBytes(Colour);
        TBitmap& B = J.DecodedBitmap();
        EXPECT_EQ(B.PixelFormat(), pf24bit);
        const TBitmap Src = MakePicture(64, 48);
        double Err = 0;
        for (int Y = 0; Y < 48; ++Y)
            for (int X = 0; X < 64 * 3; ++X) Err += std::abs(B.ScanLine(Y)[X] - Src.ScanLine(Y)[X]);
        EXPECT_LT(Err / (64 * 48 * 3), 4.0);
    }
    {
        // A grey file keeps 256 levels; the inverted read reverses the
        // palette, not the indices.
        TPDFJPEGImage J;
        J.LoadFromBytes(Grey);
        J.SetPixelFormat(jf8Bit);
        TBitmap& B = J.DecodedBitmap();
        EXPECT_EQ(B.PixelFormat(), pf8bit);
        ASSERT_EQ(B.Palette().size(), 256u);
        for (int I = 0; I < 256; ++I)
            EXPECT_EQ(B.Palette()[size_t(I)], RGBQuad(uint8_t(I), uint8_t(I), uint8_t(I)));
        std::set<uint8_t> Levels;
        for (int Y = 0; Y < 48; ++Y)
            for (int X = 0; X < 64; ++X) Levels.insert(B.ScanLine(Y)[X]);
        EXPECT_GT(Levels.size(), 100u);
        const uint8_t First = B.ScanLine(5)[7];
        J.InvertCMYK();
        EXPECT_TRUE(J.Inverted());
        EXPECT_EQ(J.DecodedBitmap().ScanLine(5)[7], First);
        EXPECT_EQ(J.DecodedBitmap().Palette()[0], RGBQuad(255, 255, 255));
    }
    {
        // Colour at 8 bits: quantized to at most 236 colours.
        TPDFJPEGImage J;
        J.LoadFromBytes(Colour);
        J.SetPixelFormat(jf8Bit);
        TBitmap& B = J.DecodedBitmap();
        EXPECT_EQ(B.PixelFormat(), pf8bit);
        EXPECT_LE(B.Palette().size(), 236u);
        EXPECT_GT(B.Palette().size(), 16u);
    }
    {
        // A palette handed in becomes the colour map of an 8-bit decode.
        TPDFJPEGImage J;
        J.LoadFromBytes(Colour);
        J.SetPixelFormat(jf8Bit);
        J.SetTempPalette({RGBQuad(0, 0, 0), RGBQuad(255, 255, 255), RGBQuad(255, 0, 0)});
        TBitmap& B = J.DecodedBitmap();
        EXPECT_EQ(B.PixelFormat(), pf8bit);
        ASSERT_EQ(B.Palette().size(), 3u);
        EXPECT_EQ(B.Palette()[2], RGBQuad(255, 0, 0));
        for (int Y = 0; Y < 48; ++Y)
            for (int X = 0; X < 64; ++X) EXPECT_LT(B.ScanLine(Y)[X], 3);
    }
    {
        // Decoding colour as grey.
        TPDFJPEGImage J;
        J.LoadFromBytes(Colour);
        J.SetGrayscale(true);
        EXPECT_EQ(J.DecodedBitmap().PixelFormat(), pf8bit);
    }
}

TEST(JPEGImage, CMYKThroughTheColourManager) {
    const int W = 16, H = 8;
    std::vector<uint8_t> Samples(size_t(W) * H * 4);
    for (size_t I = 0; I < Samples.size(); ++I) Samples[I] = uint8_t((I * 37) % 256);
    const std::string Data = EncodeCMYK(W, H, Samples);
    const std::vector<uint8_t> Raw = DecodeRawCMYK(Data);
    TPDFSimpleColorManager Manager;
    for (const bool Invert : {false, true}) {
        SCOPED_TRACE(Invert ? "inverted" : "as stored");
        TPDFJPEGImage J;
        J.LoadFromBytes(Data);
        if (Invert) J.InvertCMYK();
        TBitmap& B = J.DecodedBitmap();
        ASSERT_EQ(B.PixelFormat(), pf24bit);
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) {
                const uint8_t* S = &Raw[(size_t(Y) * W + X) * 4];
                auto Ink = [&](uint8_t V) { return Invert ? V / 255.0 : 1 - V / 255.0; };
                TPDFCMYKColor C{Ink(S[0]), Ink(S[1]), Ink(S[2]), Ink(S[3])};
                const TPDFRGBColor R = Manager.CMYK2RGB(C);
                const uint8_t* P = B.ScanLine(Y) + 3 * X;
                EXPECT_EQ(P[0], uint8_t(std::nearbyint(std::clamp(R.Blue, 0.0, 1.0) * 255)));
                EXPECT_EQ(P[1], uint8_t(std::nearbyint(std::clamp(R.Green, 0.0, 1.0) * 255)));
                EXPECT_EQ(P[2], uint8_t(std::nearbyint(std::clamp(R.Red, 0.0, 1.0) * 255)));
            }
    }
}

TEST(JPEGImage, StreamedForm) {
    TPDFJPEGImage Empty;
    TStringStream Zero{std::string(4, '\0')};
    Empty.ReadData(Zero);
    EXPECT_TRUE(Empty.Data().empty());
    TStringStream Written;
    Empty.WriteData(Written);
    EXPECT_EQ(Written.DataString(), std::string(4, '\0'));

    const std::string Data = Encode(MakePicture(9, 9), 80, 96);
    TPDFJPEGImage J;
    J.LoadFromBytes(Data);
    TStringStream Form;
    J.WriteData(Form);
    ASSERT_EQ(Form.DataString().size(), Data.size() + 4);
    Form.SetPosition(0);
    TPDFJPEGImage K;
    K.ReadData(Form);
    EXPECT_EQ(K.Data(), Data);
    EXPECT_EQ(K.Width(), 9);
    EXPECT_TRUE(J.Equals(K));

    // A count beyond the stream is a read error, with nothing allocated for it.
    TStringStream Short{std::string("\xFF\xFF\xFF\x7F\xFF\xD8", 6)};
    EXPECT_THROW(K.ReadData(Short), EReadError);
}

TEST(JPEGImage, AssignSharesAndCopies) {
    const std::string Data = Encode(MakePicture(12, 10), 80, 96);
    TPDFJPEGImage A;
    A.LoadFromBytes(Data);
    A.DecodedBitmap();
    TPDFJPEGImage B;
    B.Assign(A);
    EXPECT_TRUE(B.Equals(A));
    EXPECT_TRUE(B.HasBitmap());
    TBitmap Copy;
    B.AssignTo(Copy);
    EXPECT_EQ(Copy.Width(), 12);
    // A bitmap source: bytes made on demand, empty data without a bitmap.
    TPDFJPEGImage C;
    EXPECT_TRUE(C.Empty());
    C.Assign(TBitmap());
    TStringStream None;
    C.SaveToStream(None);
    EXPECT_TRUE(None.DataString().empty());
    TStringStream Bmp;
    A.SaveBitmapToStream(Bmp);
    EXPECT_EQ(Bmp.DataString().substr(0, 2), "BM");
}

TEST(JPEGImage, DamagedDataRaises) {
    const std::string Good = Encode(MakePicture(128, 128), 80, 96);
    const size_t Sof = FindMarker(Good, 0xC0);
    ASSERT_NE(Sof, std::string::npos);
    std::string Huge = Good;  // 65500 × 65500 claimed
    Huge[Sof + 5] = char(0xFF);
    Huge[Sof + 6] = char(0xDC);
    Huge[Sof + 7] = char(0xFF);
    Huge[Sof + 8] = char(0xDC);
    const struct {
        const char* Name;
        std::string Data;
        bool HeaderFails;
    } cases[] = {
        {"not a JPEG", "hello, world", true},
        {"start marker only", "\xFF\xD8", true},
        {"header cut", Good.substr(0, Sof + 6), true},
        {"beyond the pixel cap", Huge, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPDFJPEGImage J;
        if (c.HeaderFails) {
            EXPECT_THROW(J.LoadFromBytes(c.Data), EJPEGError);
            continue;
        }
        J.LoadFromBytes(c.Data);
        EXPECT_THROW(J.DecodedBitmap(), EJPEGError);
        EXPECT_THROW(J.DecodedBitmap(), EJPEGError);
    }
    // Scan data cut short decodes what is there (codec warnings are ignored).
    TPDFJPEGImage Cut;
    Cut.LoadFromBytes(Good.substr(0, Good.size() / 2));
    EXPECT_EQ(Cut.DecodedBitmap().Width(), 128);
}

TEST(JPEGImage, PageWriterInstalled) {
    const TPDFPageWriterHooks Saved = PageWriterHooks();
    InstallCodecServices();
    ASSERT_TRUE(bool(PageWriterHooks().WriteJPEG));
    TStringStream Out;
    PageWriterHooks().WriteJPEG(MakePicture(30, 20), Out, 75, 150);
    PageWriterHooks() = Saved;
    const std::string& D = Out.DataString();
    const size_t App0 = FindMarker(D, 0xE0);
    ASSERT_NE(App0, std::string::npos);
    EXPECT_EQ(D.substr(App0 + 11, 5), std::string("\x01\x00\x96\x00\x96", 5));
    TPDFJPEGImage J;
    J.LoadFromBytes(D);
    EXPECT_EQ(J.Width(), 30);
    EXPECT_EQ(J.Height(), 20);
}

TEST(JPEGImage, ProgressStagesAndChanges) {
    const std::string Data = Encode(MakePicture(20, 20), 80, 96);
    TPDFJPEGImage J;
    std::vector<std::pair<TProgressStage, int>> Events;
    int Changes = 0;
    J.OnProgress = [&](TProgressStage Stage, int Percent, bool, const RECT&) {
        Events.emplace_back(Stage, Percent);
    };
    J.OnChange = [&] { ++Changes; };
    J.LoadFromBytes(Data);
    EXPECT_EQ(Changes, 1);
    J.DecodedBitmap();
    ASSERT_GE(Events.size(), 2u);
    EXPECT_EQ(Events.front(), std::make_pair(psStarting, 0));
    EXPECT_EQ(Events.back(), std::make_pair(psEnding, 100));
    // A failed decode ends at 0 %: a frame whose quantization table was
    // never defined fails once decoding starts.
    Events.clear();
    const std::string NoTables(
        "\xFF\xD8\xFF\xC0\x00\x0B\x08\x00\x02\x00\x02\x01\x01\x11\x00"
        "\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\x00\xFF\xD9",
        29);
    TPDFJPEGImage K;
    K.OnProgress = J.OnProgress;
    K.LoadFromBytes(NoTables);
    EXPECT_EQ(K.Width(), 2);
    EXPECT_THROW(K.DecodedBitmap(), EJPEGError);
    ASSERT_FALSE(Events.empty());
    EXPECT_EQ(Events.back(), std::make_pair(psEnding, 0));
}
