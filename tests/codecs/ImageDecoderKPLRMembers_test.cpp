// The image decoder in component-raster mode: image streams become
// finished rasters instead of bitmaps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecs/ImageDecoder.h"
#include "codecs/ImageDecoderKPLR.h"
#include "codecs/JPEGImage.h"
#include "core/Structure.h"

using namespace velmo;

namespace {

TPDFStream* ImageStream(TPDFStructure& S, int W, int H, int BPC, const char* ColorSpace,
                        std::string Data, const char* Filter = nullptr) {
    auto* D = S.NewDictionary();
    D->Add("Type", S.NewName("XObject"));
    D->Add("Subtype", S.NewName("Image"));
    D->Add("Width", S.NewNumeric(W));
    D->Add("Height", S.NewNumeric(H));
    D->Add("BitsPerComponent", S.NewNumeric(BPC));
    D->Add("ColorSpace", S.NewName(ColorSpace));
    if (Filter != nullptr) D->Add("Filter", S.NewName(Filter));
    return S.NewStreamWithDict(std::move(Data), D);
}

std::vector<uint8_t> Bytes(const TKPLImage* I) {
    if (I == nullptr) return {};
    return {I->GetDataPointer(), I->GetDataPointer() + I->DataSizeBytes()};
}

}  // namespace

TEST(ImageDecoderKPLRMode, StreamsBecomeRasters) {
    TPDFStructure S;
    TBitmap Pic(8, 8, pf24bit);
    for (int Y = 0; Y < 8; ++Y)
        for (int X = 0; X < 24; ++X) Pic.ScanLine(Y)[X] = uint8_t(X * 9 + Y);
    TPDFJPEGImage J;
    J.Assign(Pic);
    TStringStream JS;
    J.SaveToStream(JS);
    const struct {
        const char* Name;
        TPDFStream* Stream;
        int Components, Width;
        std::vector<uint8_t> Want;  // empty: not checked
    } cases[] = {
        {"RGB as blue, green, red",
         ImageStream(S, 2, 1, 8, "DeviceRGB", "\x01\x02\x03\x04\x05\x06"),
         3,
         2,
         {3, 2, 1, 6, 5, 4}},
        {"1-bit grey inverted", ImageStream(S, 8, 1, 1, "DeviceGray", "\x0F"), 1, 8, {0xF0}},
        {"DCT colour",
         ImageStream(S, 8, 8, 8, "DeviceRGB", JS.DataString(), "DCTDecode"),
         3,
         8,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPDFImageDecoder D;
        D.FDecodeMode = dmToKPLR;
        D.LoadFromPDFStream(c.Stream);
        EXPECT_FALSE(D.LoadException()) << D.LoadError();
        ASSERT_NE(D.KPLRMainImage(), nullptr);
        EXPECT_EQ(D.KPLRMainImage()->Components(), c.Components);
        EXPECT_EQ(D.KPLRMainImage()->Width(), c.Width);
        EXPECT_EQ(D.KPLRMainImage()->BitsPerComponent(), c.Components == 1 && c.Width == 8 ? 1 : 8);
        if (!c.Want.empty()) EXPECT_EQ(Bytes(D.KPLRMainImage()), c.Want);
        EXPECT_EQ(D.KPLRDataSize(), D.KPLRMainImage()->DataSizeBytes());
        EXPECT_EQ(D.Bitmap() == nullptr || D.Bitmap()->Empty(), true);
        // A parent takes the raster as its mask.
        TPDFImageDecoder Parent;
        Parent.SetKPLRMaskImage(D.TakeKPLRMainImage());
        EXPECT_EQ(D.KPLRMainImage(), nullptr);
        EXPECT_NE(Parent.KPLRMaskImage(), nullptr);
    }
    // Beyond the decoder's pixel cap: a load failure, no raster.
    TPDFImageDecoder Big;
    Big.FDecodeMode = dmToKPLR;
    Big.FMaxPixels = 100;
    Big.LoadFromPDFStream(ImageStream(S, 20, 20, 8, "DeviceGray", std::string(400, '\x10')));
    EXPECT_TRUE(Big.LoadException());
    EXPECT_EQ(Big.KPLRMainImage(), nullptr);
}
