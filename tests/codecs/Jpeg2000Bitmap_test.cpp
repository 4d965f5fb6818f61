#include "codecs/Jpeg2000Bitmap.h"

#include <gtest/gtest.h>
#include <openjpeg.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/files/Stream.h"
#include "platform/gdi/PictureFormats.h"

using namespace velmo;

namespace {

struct TComp {
    int W, H, DX = 1, DY = 1, Prec = 8;
    bool Signed = false;
    std::vector<int> Samples;  // W × H, rows from the top
};

// The JP2 writer goes back to fill in the codestream box's length, so the
// sink keeps a position.
struct TSink {
    std::string Bytes;
    size_t Pos = 0;
};

OPJ_SIZE_T Append(void* Buffer, OPJ_SIZE_T Count, void* User) {
    auto* S = static_cast<TSink*>(User);
    if (S->Bytes.size() < S->Pos + Count) S->Bytes.resize(S->Pos + Count);
    std::memcpy(S->Bytes.data() + S->Pos, Buffer, Count);
    S->Pos += Count;
    return Count;
}

OPJ_OFF_T SkipSink(OPJ_OFF_T Count, void* User) {
    auto* S = static_cast<TSink*>(User);
    S->Pos = size_t(OPJ_OFF_T(S->Pos) + Count);
    return Count;
}

OPJ_BOOL SeekSink(OPJ_OFF_T Offset, void* User) {
    static_cast<TSink*>(User)->Pos = size_t(Offset);
    return OPJ_TRUE;
}

// A lossless codestream (or JP2 file) of the given components, one
// resolution level so that tiny images encode.
std::string Encode(const std::vector<TComp>& Comps, int Width, int Height,
                   OPJ_COLOR_SPACE Space = OPJ_CLRSPC_GRAY, bool JP2 = false) {
    std::vector<opj_image_cmptparm_t> P(Comps.size());
    for (size_t I = 0; I < Comps.size(); ++I) {
        std::memset(&P[I], 0, sizeof P[I]);
        P[I].dx = OPJ_UINT32(Comps[I].DX);
        P[I].dy = OPJ_UINT32(Comps[I].DY);
        P[I].w = OPJ_UINT32(Comps[I].W);
        P[I].h = OPJ_UINT32(Comps[I].H);
        P[I].prec = OPJ_UINT32(Comps[I].Prec);
        P[I].sgnd = Comps[I].Signed;
    }
    opj_image_t* Image = opj_image_create(OPJ_UINT32(P.size()), P.data(), Space);
    Image->x1 = OPJ_UINT32(Width);
    Image->y1 = OPJ_UINT32(Height);
    for (size_t I = 0; I < Comps.size(); ++I)
        for (size_t S = 0; S < Comps[I].Samples.size(); ++S) Image->comps[I].data[S] = Comps[I].Samples[S];
    opj_cparameters_t Params;
    opj_set_default_encoder_parameters(&Params);
    Params.numresolution = 1;
    Params.tcp_mct = 0;
    TSink Out;
    opj_codec_t* Codec = opj_create_compress(JP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_stream_t* S = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
    opj_stream_set_user_data(S, &Out, nullptr);
    opj_stream_set_write_function(S, Append);
    opj_stream_set_skip_function(S, SkipSink);
    opj_stream_set_seek_function(S, SeekSink);
    const bool Ok = opj_setup_encoder(Codec, &Params, Image) && opj_start_compress(Codec, Image, S) &&
                    opj_encode(Codec, S) && opj_end_compress(Codec, S);
    opj_stream_destroy(S);
    opj_destroy_codec(Codec);
    opj_image_destroy(Image);
    EXPECT_TRUE(Ok);
    return Out.Bytes;
}

TComp Ramp(int W, int H, int Prec, int Step) {
    TComp C{W, H, 1, 1, 8, false, {}};
    C.Prec = Prec;
    const int Max = (1 << Prec) - 1;
    for (int I = 0; I < W * H; ++I) C.Samples.push_back((I * Step) % (Max + 1));
    return C;
}

TMemoryStream StreamOf(const std::string& Bytes) {
    TMemoryStream S;
    S.WriteBuffer(Bytes);
    S.SetPosition(0);
    return S;
}

std::string Saved(const TJpeg2000Bitmap& B) {
    TMemoryStream S;
    B.SaveToStream(S);
    std::string Out(size_t(S.Size()), '\0');
    S.SetPosition(0);
    S.ReadBuffer(Out.data(), int64_t(Out.size()));
    return Out;
}

}  // namespace

TEST(Jpeg2000Bitmap, OtherDataIsUnknownAndNothingIsRead) {
    for (const std::string& Data : {std::string("GIF89a.."), std::string("\xFF\x4F\xFF\x52", 4),
                                   std::string("\x00\x00\x00\x0C\x6A\x50\x20", 7), std::string()}) {
        TMemoryStream S = StreamOf("xx" + Data);
        S.SetPosition(2);
        TJpeg2000Bitmap B;
        try {
            B.LoadFromStream(S);
            ADD_FAILURE() << "no error";
        } catch (const EJpeg2000Error& E) {
            EXPECT_STREQ(E.what(), "Unknown JPEG 2000 file type");
        }
        EXPECT_EQ(S.Position(), 2);
    }
}

TEST(Jpeg2000Bitmap, StreamStopsRightAfterTheData) {
    TComp C = Ramp(5, 3, 8, 17);
    for (bool JP2 : {false, true}) {
        const std::string Coded = Encode({C}, 5, 3, OPJ_CLRSPC_GRAY, JP2);
        TMemoryStream S = StreamOf("ab" + Coded + "TRAILING BYTES");
        S.SetPosition(2);
        TJpeg2000Bitmap B;
        B.LoadFromStream(S);
        EXPECT_FALSE(B.Failed());
        EXPECT_EQ(S.Position(), int64_t(2 + Coded.size())) << JP2;
        ASSERT_EQ(B.PixelFormat(), pf8bit);
        EXPECT_EQ(B.Palette().size(), 256u);
        EXPECT_EQ(B.Palette()[200], RGBQuad(200, 200, 200));
        for (int Y = 0; Y < 3; ++Y)
            for (int X = 0; X < 5; ++X) EXPECT_EQ(B.ScanLine(Y)[X], C.Samples[Y * 5 + X]);
    }
}

TEST(Jpeg2000Bitmap, LengthFromBoxesAndMarkers) {
    const std::string J2K = Encode({Ramp(4, 4, 8, 3)}, 4, 4);
    const std::string Sig("\x00\x00\x00\x0C\x6A\x50\x20\x20\x0D\x0A\x87\x0A", 12);
    auto Box = [](const std::string& Type, const std::string& Body) {
        const uint32_t L = uint32_t(8 + Body.size());
        return std::string{char(L >> 24), char(L >> 16), char(L >> 8), char(L)} + Type + Body;
    };
    const std::string XL = std::string("\x00\x00\x00\x01", 4) + "jp2c" + std::string(4, '\0') +
                           std::string{0, 0, 0, char(16 + J2K.size())} + J2K;
    const std::string ToEnd = std::string(4, '\0') + "jp2c" + J2K;
    struct {
        const char* Name;
        std::string Data;
        size_t Expected;
    } Cases[] = {
        {"codestream", J2K + "junk", J2K.size()},
        {"codestream cut", J2K.substr(0, J2K.size() - 3), J2K.size() - 3},
        {"jp2c box", Sig + Box("jp2c", J2K) + "junk", Sig.size() + 8 + J2K.size()},
        {"extended length", Sig + XL + "junk", Sig.size() + XL.size()},
        {"length 0 runs to the end", Sig + ToEnd, Sig.size() + ToEnd.size()},
        {"no jp2c box", Sig + Box("free", "abc"), Sig.size() + 11},
        {"box longer than data", Sig + Box("jp2c", J2K).substr(0, 20), Sig.size() + 20},
    };
    for (const auto& C : Cases) EXPECT_EQ(TJpeg2000Bitmap::JPEG2000Length(C.Data), C.Expected) << C.Name;
}

TEST(Jpeg2000Bitmap, PrecisionsScaleToBytes) {
    TComp Twelve{3, 1, 1, 1, 8, false, {}};
    Twelve.Prec = 12;
    Twelve.Samples = {4095, 2048, 0};
    TComp Four{3, 1, 1, 1, 8, false, {}};
    Four.Prec = 4;
    Four.Samples = {15, 7, 1};
    TComp Signed8{3, 1, 1, 1, 8, false, {}};
    Signed8.Signed = true;
    Signed8.Samples = {-128, 0, 127};
    struct {
        TComp C;
        std::vector<int> Want;
    } Cases[] = {{Twelve, {255, 127, 0}}, {Four, {255, 119, 17}}, {Signed8, {0, 128, 255}}};
    for (const auto& Case : Cases) {
        TJpeg2000Bitmap B;
        B.LoadFromBytes(Encode({Case.C}, 3, 1));
        ASSERT_FALSE(B.Failed());
        for (int X = 0; X < 3; ++X) EXPECT_EQ(B.ScanLine(0)[X], Case.Want[X]) << Case.C.Prec << " " << X;
    }
}

TEST(Jpeg2000Bitmap, RawCodestreamComponentsGoInReverseOrder) {
    // Without a channel definition the bytes are count − index − 1, so a
    // three-component codestream is red, green, blue.
    TComp R{2, 1, 1, 1, 8, false, {10, 11}}, G{2, 1, 1, 1, 8, false, {20, 21}}, Bl{2, 1, 1, 1, 8, false, {30, 31}};
    TComp A{2, 1, 1, 1, 8, false, {40, 41}};
    TJpeg2000Bitmap B;
    B.LoadFromBytes(Encode({R, G, Bl}, 2, 1, OPJ_CLRSPC_SRGB));
    ASSERT_EQ(B.PixelFormat(), pf24bit);
    EXPECT_EQ(B.ChannelTypes(), std::vector<int>({0, 0, 0}));
    const uint8_t* P = B.ScanLine(0);
    EXPECT_EQ(P[3], 31);
    EXPECT_EQ(P[4], 21);
    EXPECT_EQ(P[5], 11);

    B.LoadFromBytes(Encode({R, G, Bl, A}, 2, 1, OPJ_CLRSPC_SRGB));
    ASSERT_EQ(B.PixelFormat(), pf32bit);
    EXPECT_TRUE(B.HasAlpha());
    EXPECT_EQ(std::vector<int>(B.ScanLine(0), B.ScanLine(0) + 4), std::vector<int>({40, 30, 20, 10}));
    B.SetCMYK(true);
    B.LoadFromBytes(Encode({R, G, Bl, A}, 2, 1, OPJ_CLRSPC_CMYK));
    EXPECT_EQ(B.PixelFormat(), pf32bit);
    EXPECT_FALSE(B.HasAlpha());
}

TEST(Jpeg2000Bitmap, TwoComponentsUseTheFirstAsGrey) {
    // The reversed order would put the first component into byte 1 of a
    // one-byte pixel, over its neighbour; it is the grey value.
    TComp Grey{3, 2, 1, 1, 8, false, {1, 2, 3, 4, 5, 6}};
    TComp Alpha{3, 2, 1, 1, 8, false, {9, 9, 9, 9, 9, 9}};
    TJpeg2000Bitmap B;
    B.LoadFromBytes(Encode({Grey, Alpha}, 3, 2));
    ASSERT_EQ(B.PixelFormat(), pf8bit);
    EXPECT_EQ(std::vector<int>(B.ScanLine(1), B.ScanLine(1) + 3), std::vector<int>({4, 5, 6}));
}

TEST(Jpeg2000Bitmap, SubsampledComponentsFillTheirCells) {
    TComp Y{5, 3, 1, 1, 8, false, {}};
    for (int I = 0; I < 15; ++I) Y.Samples.push_back(100 + I);
    TComp Cb{3, 2, 2, 2, 8, false, {1, 2, 3, 4, 5, 6}};
    TComp Cr{3, 2, 2, 2, 8, false, {7, 8, 9, 10, 11, 12}};
    TJpeg2000Bitmap B;
    B.LoadFromBytes(Encode({Y, Cb, Cr}, 5, 3, OPJ_CLRSPC_SRGB));
    ASSERT_FALSE(B.Failed());
    ASSERT_EQ(B.Width(), 5);
    ASSERT_EQ(B.Height(), 3);
    // Component 1 goes to byte 1, component 2 to byte 0, each sample over
    // a 2 × 2 cell clipped at the right and bottom edges.
    const int WantCb[3][5] = {{1, 1, 2, 2, 3}, {1, 1, 2, 2, 3}, {4, 4, 5, 5, 6}};
    for (int Row = 0; Row < 3; ++Row)
        for (int X = 0; X < 5; ++X) {
            EXPECT_EQ(B.ScanLine(Row)[X * 3 + 1], WantCb[Row][X]) << Row << "," << X;
            EXPECT_EQ(B.ScanLine(Row)[X * 3 + 0], WantCb[Row][X] + 6) << Row << "," << X;
            EXPECT_EQ(B.ScanLine(Row)[X * 3 + 2], 100 + Row * 5 + X);
        }
}

TEST(Jpeg2000Bitmap, UndecodableDataGivesAFailedPlaceholder) {
    const std::string Good = Encode({Ramp(8, 8, 8, 5)}, 8, 8);
    std::string BadBody = Good;
    // Keep SOC and SIZ's marker, break the rest of the header.
    for (size_t I = 6; I < BadBody.size(); ++I) BadBody[I] = char(0xFF);
    const std::string Cases[] = {std::string("\xFF\x4F\xFF\x51", 4), BadBody, Good.substr(0, 30)};
    TJpeg2000Bitmap B;
    for (const std::string& Data : Cases) {
        B.LoadFromBytes(Good);
        ASSERT_FALSE(B.Failed());
        B.LoadFromBytes(Data);
        EXPECT_TRUE(B.Failed());
        EXPECT_EQ(B.Width(), 1);
        EXPECT_EQ(B.Height(), 1);
        EXPECT_EQ(B.PixelFormat(), pf8bit);
        EXPECT_EQ(B.GetPixel(0, 0), TColor(0));
    }
}

TEST(Jpeg2000Bitmap, HeaderBeyondThePixelCapIsNotDecoded) {
    const std::string Coded = Encode({Ramp(64, 64, 8, 1)}, 64, 64);
    TJpeg2000Bitmap B;
    B.SetPixelCap(64 * 64 - 1);
    B.LoadFromBytes(Coded);
    EXPECT_TRUE(B.Failed());
    B.SetPixelCap(64 * 64);
    B.LoadFromBytes(Coded);
    EXPECT_FALSE(B.Failed());
    EXPECT_EQ(B.Width(), 64);
}

TEST(Jpeg2000Bitmap, TargetRates) {
    EXPECT_NEAR(TJpeg2000Bitmap::TargetRate(4000, 4000, 3, 80, false), 12.25, 0.01);
    EXPECT_NEAR(TJpeg2000Bitmap::TargetRate(4000, 4000, 3, 100, false), 2.25, 0.01);
    EXPECT_EQ(TJpeg2000Bitmap::TargetRate(4000, 4000, 3, 80, true), 0.0f);
    // The fixed overhead lowers the ratio of small pictures.
    EXPECT_LT(TJpeg2000Bitmap::TargetRate(20, 20, 4, 80, false), 12.25 * 0.5);
}

TEST(Jpeg2000Bitmap, SavedFilesCarryTheirChannelsAndReload) {
    struct {
        TPixelFormat Format;
        int Components;
        std::vector<int> Types;
    } Cases[] = {{pf8bit, 3, {1, 2, 3}}, {pf24bit, 3, {1, 2, 3}}, {pf32bit, 4, {1, 2, 3, 7}}};
    for (const auto& Case : Cases) {
        TJpeg2000Bitmap B;
        B.SetSize(37, 21);
        B.SetPixelFormat(Case.Format);
        for (int Y = 0; Y < 21; ++Y)
            for (int X = 0; X < 37; ++X) {
                if (Case.Format == pf8bit)
                    B.ScanLine(Y)[X] = uint8_t(X * 7 + Y);
                else
                    for (int C = 0; C < Case.Components; ++C)
                        B.ScanLine(Y)[X * Case.Components + C] = uint8_t(X * 5 + Y * 3 + C * 40);
            }
        B.SetLosslessCompression(true);
        const std::string File = Saved(B);
        // ihdr's component count and the cdef box's entries.
        const size_t Ihdr = File.find("ihdr");
        ASSERT_NE(Ihdr, std::string::npos);
        EXPECT_EQ(int(uint8_t(File[Ihdr + 13])), Case.Components);
        const size_t Cdef = File.find("cdef");
        ASSERT_NE(Cdef, std::string::npos);
        std::string WantCdef{0, char(Case.Components)};
        const int Asoc[4] = {1, 2, 3, 0};
        for (int C = 0; C < Case.Components; ++C)
            WantCdef += std::string{0, char(C), 0, char(C == 3), 0, char(Asoc[C])};
        EXPECT_EQ(File.substr(Cdef + 4, WantCdef.size()), WantCdef);

        TJpeg2000Bitmap Back;
        EXPECT_EQ(Back.LoadFromBytes(File + "tail"), File.size());
        ASSERT_FALSE(Back.Failed());
        EXPECT_EQ(Back.ChannelTypes(), Case.Types);
        TBitmap Want(B);
        if (Case.Format == pf8bit) Want.SetPixelFormat(pf24bit);
        ASSERT_EQ(Back.PixelFormat(), Want.PixelFormat());
        for (int Y = 0; Y < 21; ++Y)
            EXPECT_EQ(0, std::memcmp(Back.ScanLine(Y), Want.ScanLine(Y), size_t(37 * Case.Components))) << Y;
    }
}

TEST(Jpeg2000Bitmap, SavingNothingRaises) {
    TJpeg2000Bitmap B;
    try {
        Saved(B);
        ADD_FAILURE();
    } catch (const EJpeg2000Error& E) {
        EXPECT_STREQ(E.what(), "Failed to create JPEG 2000 image struct for saving");
    }
}

TEST(Jpeg2000Bitmap, RegisteredPictureFormats) {
    RegisterJpeg2000Formats();
    for (const char* Ext : {"jp2", "J2K", ".jpc"}) {
        auto F = FindPictureFormat(Ext);
        ASSERT_TRUE(F.has_value()) << Ext;
        EXPECT_EQ(F->Description, "JPEG 2000 Image");
    }
    // Saving and loading through the registry.
    TBitmap Source(9, 9, pf24bit);
    Source.SetPixel(4, 4, TColor(0x00336699));
    TMemoryStream S;
    FindPictureFormat("jp2")->Save(Source, S);
    S.SetPosition(0);
    TBitmap Loaded;
    FindPictureFormat("jp2")->Load(S, Loaded);
    EXPECT_EQ(Loaded.Width(), 9);
    UnregisterJpeg2000Formats();
    EXPECT_FALSE(FindPictureFormat("jp2").has_value());
    RegisterJpeg2000Formats();
}
