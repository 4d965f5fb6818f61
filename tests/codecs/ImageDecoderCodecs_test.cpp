// The image decoder's JBIG2 and JPEG 2000 stages: codec rasters become the
// image's pixels in its colour space, globals come from the referenced
// stream, and undecodable data draws no image.
#include <gtest/gtest.h>
#include <openjpeg.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codecs/CCITTDecoder.h"
#include "codecs/ImageDecoder.h"
#include "codecs/TIFFMaker.h"
#include "platform/gdiplus/ImageCodecs.h"
#include "core/Structure.h"
#include "tests/codecs/JBIG2Fixtures.h"

using namespace velmo;
using namespace jbig2test;

namespace {

struct TStore {
    TPDFStructure S;
    std::vector<std::unique_ptr<TPDFStream>> Streams;
    TPDFStream* Stream(const std::string& Dict, std::string Data, int32_t Num = 0) {
        auto* D = ObjAs<TPDFDictionary>(S.Decode(Dict));
        Streams.push_back(std::make_unique<TPDFStream>(&S, std::move(Data), D));
        Streams.back()->FIndObjNum = Num;
        return Streams.back().get();
    }
};

const int8_t AT0[8] = {3, -1, -3, -1, 2, -2, -2, -2};

struct TSink {
    std::string Bytes;
    size_t Pos = 0;
};
OPJ_SIZE_T SinkWrite(void* B, OPJ_SIZE_T N, void* U) {
    auto* S = static_cast<TSink*>(U);
    if (S->Bytes.size() < S->Pos + N) S->Bytes.resize(S->Pos + N);
    std::memcpy(S->Bytes.data() + S->Pos, B, N);
    S->Pos += N;
    return N;
}
OPJ_OFF_T SinkSkip(OPJ_OFF_T N, void* U) {
    static_cast<TSink*>(U)->Pos += size_t(N);
    return N;
}
OPJ_BOOL SinkSeek(OPJ_OFF_T N, void* U) {
    static_cast<TSink*>(U)->Pos = size_t(N);
    return OPJ_TRUE;
}

// A lossless raw codestream of 8-bit components of W x H.
std::string Codestream(int W, int H, const std::vector<std::vector<int>>& Comps) {
    std::vector<opj_image_cmptparm_t> P(Comps.size());
    for (auto& C : P) {
        std::memset(&C, 0, sizeof C);
        C.dx = C.dy = 1;
        C.w = OPJ_UINT32(W);
        C.h = OPJ_UINT32(H);
        C.prec = 8;
    }
    opj_image_t* Im = opj_image_create(OPJ_UINT32(P.size()), P.data(), Comps.size() == 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY);
    Im->x1 = OPJ_UINT32(W);
    Im->y1 = OPJ_UINT32(H);
    for (size_t C = 0; C < Comps.size(); ++C)
        for (size_t I = 0; I < Comps[C].size(); ++I) Im->comps[C].data[I] = Comps[C][I];
    opj_cparameters_t Par;
    opj_set_default_encoder_parameters(&Par);
    Par.numresolution = 1;
    Par.tcp_mct = 0;
    TSink Out;
    opj_codec_t* Codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_stream_t* S = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
    opj_stream_set_user_data(S, &Out, nullptr);
    opj_stream_set_write_function(S, SinkWrite);
    opj_stream_set_skip_function(S, SinkSkip);
    opj_stream_set_seek_function(S, SinkSeek);
    EXPECT_TRUE(opj_setup_encoder(Codec, &Par, Im) && opj_start_compress(Codec, Im, S) && opj_encode(Codec, S) &&
                opj_end_compress(Codec, S));
    opj_stream_destroy(S);
    opj_destroy_codec(Codec);
    opj_image_destroy(Im);
    return Out.Bytes;
}

}  // namespace

TEST(ImageDecoderCodecs, JBIG2PagesWithGlobalsBecomeGreyPixels) {
    TStore St;
    TPicture P = RandomPicture(12, 5, 3);
    // The page information lives in the globals stream (object 7).
    TPDFStream* Globals = St.Stream("<< >>", Segment(0, 48, {}, PageInfo(12, 5)), 7);
    const std::string Data = Segment(1, 38, {}, GenericRegionData(P, 0, 0, 0, false, AT0));
    for (bool Stencil : {false, true}) {
        SCOPED_TRACE(Stencil ? "stencil" : "grey");
        TPDFImageDecoder Dec;
        Dec.FOnFindObject = [&](TPDFIndRef* R) -> TPDFObject* { return R->ObjNum == 7 ? Globals : nullptr; };
        // The dictionary is one column wider than the page: white there.
        Dec.LoadFromPDFStream(St.Stream(std::string("<< /Width 13 /Height 5 ") +
                                            (Stencil ? "/ImageMask true " : "/ColorSpace /DeviceGray ") +
                                            "/BitsPerComponent 1 /Filter /JBIG2Decode "
                                            "/DecodeParms << /JBIG2Globals 7 0 R >> >>",
                                        Data));
        ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
        ASSERT_NE(Dec.Bitmap(), nullptr);
        ASSERT_EQ(Dec.Bitmap()->Width(), 13);
        for (int Y = 0; Y < 5; ++Y)
            for (int X = 0; X < 13; ++X) {
                const bool Black = X < 12 && P.Get(X, Y);
                const TColor C = Dec.Bitmap()->GetPixel(X, Y) & 0xFFFFFF;
                // A stencil's raster is white where it paints: at the
                // set JBIG2 pixels.
                EXPECT_EQ(C, Black != Stencil ? 0u : 0xFFFFFFu) << X << "," << Y;
            }
    }
}

TEST(ImageDecoderCodecs, JPEG2000SamplesTakeTheImageColours) {
    TStore St;
    const std::vector<int> R = {10, 200, 30, 40, 50, 60}, G = {70, 80, 90, 100, 110, 120},
                           B = {130, 140, 150, 160, 170, 180};
    struct {
        const char* Space;
        std::string Data;
        bool Rgb;
    } Cases[] = {{"", Codestream(3, 2, {R, G, B}), true},
                 {"/ColorSpace /DeviceRGB", Codestream(3, 2, {R, G, B}), true},
                 {"/ColorSpace /DeviceGray", Codestream(3, 2, {R}), false},
                 // A grey codestream under an RGB dictionary keeps its own colours.
                 {"/ColorSpace /DeviceRGB", Codestream(3, 2, {R}), false}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Space);
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(St.Stream(std::string("<< /Width 3 /Height 2 /BitsPerComponent 8 /Filter /JPXDecode ") +
                                            C.Space + " >>",
                                        C.Data));
        ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
        for (int I = 0; I < 6; ++I) {
            const TColor Px = Dec.Bitmap()->GetPixel(I % 3, I / 3);
            const int Red = int(Px & 0xFF), Green = int((Px >> 8) & 0xFF), Blue = int((Px >> 16) & 0xFF);
            EXPECT_EQ(Red, R[size_t(I)]);
            EXPECT_EQ(Green, C.Rgb ? G[size_t(I)] : R[size_t(I)]);
            EXPECT_EQ(Blue, C.Rgb ? B[size_t(I)] : R[size_t(I)]);
        }
    }
    // A codestream the codec cannot decode draws nothing (no 1 x 1 black).
    TPDFImageDecoder Bad;
    std::string Broken = Codestream(3, 2, {R});
    Broken.resize(Broken.size() / 2);
    Broken += std::string(8, '\x7F');
    Bad.LoadFromPDFStream(St.Stream("<< /Width 3 /Height 2 /BitsPerComponent 8 /Filter /JPXDecode >>", Broken));
    EXPECT_FALSE(Bad.ValidImage());
}

TEST(ImageDecoderCodecs, FaxRowsOfColumnsAreCutOrExtendedToTheWidth) {
    TStore St;
    // Group 4, 10 columns: a black row (horizontal mode, white 0, black 10)
    // and the same row again (two vertical codes).
    const std::string G4("\x26\xA1\x30", 3);
    for (int Width : {8, 12}) {
        for (int Bpc : {1, 8}) {
            SCOPED_TRACE("width " + std::to_string(Width) + " bpc " + std::to_string(Bpc));
            TPDFImageDecoder Dec;
            Dec.LoadFromPDFStream(St.Stream("<< /Width " + std::to_string(Width) + " /Height 2 /ColorSpace /DeviceGray "
                                            "/BitsPerComponent " + std::to_string(Bpc) +
                                                " /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 10 >> >>",
                                            G4));
            ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
            ASSERT_EQ(Dec.Bitmap()->Width(), Width);
            for (int Y = 0; Y < 2; ++Y)
                for (int X = 0; X < Width; ++X)
                    EXPECT_EQ(Dec.Bitmap()->GetPixel(X, Y) & 0xFFFFFF, X < 10 ? 0u : 0xFFFFFFu) << X << "," << Y;
        }
    }
    // Data that end before the last row keep the rows before them; columns
    // beyond the cap draw nothing.
    TPDFImageDecoder Short;
    Short.LoadFromPDFStream(St.Stream("<< /Width 10 /Height 4 /ColorSpace /DeviceGray /BitsPerComponent 1 "
                                      "/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 10 >> >>",
                                      G4 + std::string("\x00\x10\x01", 3)));
    ASSERT_TRUE(Short.ValidImage());
    EXPECT_EQ(Short.Bitmap()->GetPixel(3, 1) & 0xFFFFFF, 0u);
    EXPECT_EQ(Short.Bitmap()->GetPixel(3, 3) & 0xFFFFFF, 0xFFFFFFu);
    TPDFImageDecoder Huge;
    Huge.LoadFromPDFStream(St.Stream("<< /Width 10 /Height 4 /ColorSpace /DeviceGray /BitsPerComponent 1 "
                                     "/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 4000000000 >> >>",
                                     G4));
    EXPECT_FALSE(Huge.ValidImage());
}

namespace {

// Coded data from strings of '0' and '1' (other characters ignored).
std::string FaxBits(std::string_view S) {
    std::string Bits;
    for (char C : S)
        if (C == '0' || C == '1') Bits += C;
    std::string Out((Bits.size() + 7) / 8, '\0');
    for (size_t I = 0; I < Bits.size(); ++I)
        if (Bits[I] == '1') Out[I / 8] = char(Out[I / 8] | (0x80 >> (I % 8)));
    return Out;
}

// Rows of 8 pixels with pixels 2 to 4 black (0x38): one-dimensional (white 2,
// black 3, white 3); Group 4 first against white, then against itself.
const char* const Fax38OneD = "0111 10 1000";
const char* const Fax38G4First = "001 0111 10 1";
const char* const Fax38G4Again = "1 1 1";
const char* const FaxEOL = "000000000001";

std::string FaxDict(const std::string& Extra, const std::string& Parms, int Height = 2) {
    return "<< /Width 8 /Height " + std::to_string(Height) + " /BitsPerComponent 1 " + Extra +
           " /Filter /CCITTFaxDecode /DecodeParms << /Columns 8 " + Parms + " >> >>";
}

// Black pixels of a decoded bitmap row as a byte (most significant bit first).
uint8_t BlackBits(const TBitmap& B, int Y) {
    uint8_t V = 0;
    for (int X = 0; X < 8; ++X)
        if ((B.GetPixel(X, Y) & 0xFFFFFF) == 0) V = uint8_t(V | (0x80 >> X));
    return V;
}

}  // namespace

TEST(ImageDecoderCodecs, FaxFaultsKeepWhatCanBeRead) {
    TStore St;
    auto Aligned = [](std::initializer_list<const char*> Rows) {
        std::string Out;
        for (const char* R : Rows) Out += FaxBits(R);
        return Out;
    };
    struct {
        const char* Name;
        std::string Parms, Data;
        TCCITTByteArray Rows;
    } Cases[] = {
        // Our decoder stops at the short row; the TIFF decoder reads on.
        {"1-D row cut short by an EOL", "/K 0",
         FaxBits(std::string(FaxEOL) + Fax38OneD + FaxEOL + "0111 10" + FaxEOL + Fax38OneD + FaxEOL + Fax38OneD),
         {0x38, 0x38, 0x38, 0x38}},
        // An extension code is bad data to ours; the TIFF decoder keeps
        // the rows before it.
        {"Group 4 extension code", "/K -1",
         FaxBits(std::string(Fax38G4First) + Fax38G4Again + "0000001" + Fax38G4Again),
         {0x38, 0x38, 0, 0}},
        // No TIFF form: the rows before the fault stay.
        {"byte-aligned Group 4 extension code", "/K -1 /EncodedByteAlign true",
         Aligned({Fax38G4First, Fax38G4Again, "0000001 111 1"}),
         {0x38, 0x38, 0, 0}},
        {"byte-aligned Group 4 ending early", "/K -1 /EncodedByteAlign true",
         Aligned({Fax38G4First, Fax38G4Again, "000000000001 000000000001"}),
         {0x38, 0x38, 0, 0}},
        // A two-dimensional fault ends this image only, with its rows.
        {"2-D Group 3 EOL in a black run", "/K 1",
         FaxBits(std::string(FaxEOL) + "1" + Fax38OneD + FaxEOL + "0" + "001 0111" + FaxEOL),
         {0x38, 0, 0, 0}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(St.Stream(FaxDict("/ColorSpace /DeviceGray", C.Parms, 4), C.Data));
        ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
        EXPECT_FALSE(Dec.LoadException());
        for (int Y = 0; Y < 4; ++Y) EXPECT_EQ(BlackBits(*Dec.Bitmap(), Y), C.Rows[size_t(Y)]) << "row " << Y;
    }
}

TEST(ImageDecoderCodecs, FaxNativeFormIsTheTIFFWrapper) {
    TStore St;
    const std::string OneD = FaxBits(std::string(FaxEOL) + Fax38OneD + FaxEOL + Fax38OneD);
    const std::string G4 = FaxBits(std::string(Fax38G4First) + Fax38G4Again);
    const std::string G4Aligned = FaxBits(Fax38G4First) + FaxBits(Fax38G4Again);
    const std::string TwoD = FaxBits(std::string(FaxEOL) + "1" + Fax38OneD + FaxEOL + "0" + Fax38G4Again);
    struct {
        const char* Name;
        std::string Extra, Parms, Data;
        TTIFFCompression Compression;
        bool Reversed;
    } Cases[] = {
        {"K 0", "", "/K 0", OneD, ttCCITT31d, false},
        {"K 1, BlackIs1", "", "/K 1 /BlackIs1 true", TwoD, ttCCITT32d, true},
        {"K -1, Decode 1 0", "/Decode [1 0]", "/K -1", G4, ttCCITT4, true},
        {"K -1, BlackIs1 and Decode 1 0", "/Decode [1 0]", "/K -1 /BlackIs1 true", G4, ttCCITT4, false},
        // TIFF has no byte-aligned Group 4: the decoded rows go uncompressed.
        {"K -1 byte-aligned", "", "/K -1 /EncodedByteAlign true", G4Aligned, ttNone, false},
        {"K -1 byte-aligned, BlackIs1", "", "/K -1 /EncodedByteAlign true /BlackIs1 true", G4Aligned, ttNone, true},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPDFImageDecoder Dec;
        Dec.FDecodeMode = dmToNative;
        Dec.LoadFromPDFStream(St.Stream(FaxDict("/ColorSpace /DeviceGray " + C.Extra, C.Parms), C.Data));
        ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
        EXPECT_EQ(Dec.NativeType(), nitTIFF);
        TPDFTIFFMaker M;
        M.Source = C.Compression == ttNone ? std::string("\x38\x38", 2) : C.Data;
        M.Width = 8;
        M.Height = 2;
        M.Compression = C.Compression;
        M.Reversed = C.Reversed;
        M.HorizontalDPI = M.VerticalDPI = 0;
        const std::string File = Dec.NativeImageData();
        EXPECT_EQ(File, M.WriteTIFFToString());
        // The file shows the image: black at pixels 2 to 4 unless reversed.
        GpBitmap Read;
        ASSERT_EQ(gdiplus::DecodeTiff(std::make_shared<const std::string>(File), false, Read), gsOk);
        std::vector<uint8_t> Row(32);
        for (int Y = 0; Y < 2; ++Y) {
            gdiplus::ReadRowBGRA(Read, Y, Row.data());
            for (int X = 0; X < 8; ++X)
                EXPECT_EQ(Row[size_t(X) * 4] < 128, (X >= 2 && X <= 4) != C.Reversed) << X << "," << Y;
        }
    }
    // A stencil listed as an image is a bitmap, not the fax data.
    TPDFImageDecoder Stencil;
    Stencil.FDecodeMode = dmToNative;
    Stencil.FIsImageExtraction = true;
    Stencil.LoadFromPDFStream(St.Stream(FaxDict("/ImageMask true", "/K -1"), G4));
    ASSERT_TRUE(Stencil.ValidImage());
    EXPECT_NE(Stencil.NativeType(), nitTIFF);
}

TEST(ImageDecoderCodecs, FaxSamplesFollowBlackIs1AndDecode) {
    TStore St;
    const std::string G4 = FaxBits(std::string(Fax38G4First) + Fax38G4Again);
    const TColor Black = 0, White = 0xFFFFFF, Red = 0x0000FF, Blue = 0xFF0000;
    const std::string Indexed = "/ColorSpace [/Indexed /DeviceRGB 1 <FF00000000FF>]";
    struct {
        std::string Extra, Parms;
        TColor Coded, Other;  // pixels 2 to 4 (coded black) and the rest
    } Cases[] = {
        {"/ColorSpace /DeviceGray", "", Black, White},
        {"/ColorSpace /DeviceGray", "/BlackIs1 true", White, Black},
        {"/ColorSpace /DeviceGray /Decode [1 0]", "", White, Black},
        {"/ColorSpace /DeviceGray /Decode [1 0]", "/BlackIs1 true", Black, White},
        {Indexed, "", Red, Blue},
        {Indexed, "/BlackIs1 true", Blue, Red},
        // A stencil's raster is white where it paints.
        {"/ImageMask true", "", White, Black},
        {"/ImageMask true /Decode [1 0]", "", Black, White},
        {"/ImageMask true", "/BlackIs1 true", Black, White},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Extra + " " + C.Parms);
        TPDFImageDecoder Dec;
        Dec.LoadFromPDFStream(St.Stream(FaxDict(C.Extra, "/K -1 " + C.Parms), G4));
        ASSERT_TRUE(Dec.ValidImage()) << Dec.LoadError();
        for (int Y = 0; Y < 2; ++Y)
            for (int X = 0; X < 8; ++X)
                EXPECT_EQ(Dec.Bitmap()->GetPixel(X, Y) & 0xFFFFFF, X >= 2 && X <= 4 ? C.Coded : C.Other)
                    << X << "," << Y;
    }
}
