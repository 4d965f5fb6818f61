// The image decoder's JBIG2 and JPEG 2000 stages: codec rasters become the
// image's pixels in its colour space, globals come from the referenced
// stream, and undecodable data draws no image.
#include <gtest/gtest.h>
#include <openjpeg.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codecs/ImageDecoder.h"
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
