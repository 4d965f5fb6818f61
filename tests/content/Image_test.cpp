// Image objects from JPEG and PNG files, type recognition, the JPEG header
// scan, and the mask and edit operations on built images.
#include <string>

#include <gtest/gtest.h>

#include "content/Image.h"
#include "content/Painter.h"
#include "core/Flate.h"
#include "core/Structure.h"
#include "platform/files/Stream.h"
#include "tests/content/ImageFixtures.h"
#include "tests/support/Hex.h"
#include "tests/support/TestSupport.h"

using namespace velmo;
using namespace vpltest;

namespace {

struct TBuilt {
    TRegistry R;
    std::unique_ptr<TPDFImage> Image;
    bool Ok = false;
    TPDFDictionary* Dict() const { return Image->FImageDictionary; }
    std::string DictText() const { return Dict() ? Dict()->Output() : ""; }
    TPDFStream* Stream() const { return ObjAs<TPDFStream>(Image->FIndRef->Obj()); }
};

std::unique_ptr<TBuilt> Build(const std::string& File, int32_t Options = 0) {
    auto b = std::make_unique<TBuilt>();
    b->Image = std::make_unique<TPDFImage>(&b->R.S, "VelmoPDFIm00000001", nullptr);
    TStringStream in(File);
    b->Ok = b->Image->NewImageFromStream(in, Options);
    return b;
}

std::string Name(TPDFDictionary* D, const char* Key) {
    auto* n = ObjAs<TPDFName>(D->FindValueByKeyName(Key, true));
    return n ? n->Name() : "";
}

int Num(TPDFDictionary* D, const char* Key) {
    auto* n = ObjAs<TPDFNumeric>(D->FindValueByKeyName(Key, true));
    return n ? n->AsInteger() : -1;
}

}  // namespace

TEST(ImageType, Recognition) {
    const std::string wmfHead = [] {
        std::string h(22, '\0');
        const uint16_t w[10] = {0xCDD7, 0x9AC6, 0, 0, 0, 100, 100, 96, 0, 0};
        uint16_t x = 0;
        for (int i = 0; i < 10; ++i) {
            h[i * 2] = char(w[i] & 0xFF);
            h[i * 2 + 1] = char(w[i] >> 8);
            x ^= w[i];
        }
        h[20] = char(x & 0xFF);
        h[21] = char(x >> 8);
        return h;
    }();
    std::string badWmf = wmfHead;
    badWmf[21] ^= 1;
    std::string emf(100, '\0');
    emf[0] = 1;
    emf.replace(40, 4, " EMF");
    const struct {
        std::string Data;
        TPDFImageType Type;
    } cases[] = {
        {wmfHead, itWMF},
        {badWmf, itUnknown},
        {emf, itEMF},
        {std::string("BM\0\0\0\0\0\0\0\0\0\0\0\0", 14), itBMP},
        {std::string("BM\0\0\0\0\1\0\0\0\0\0\0\0", 14), itUnknown},
        {std::string("\xFF\xD8", 2), itJPEG},
        {"II", itTIFF},
        {"MMxyz", itTIFF},
        {std::string("\x89PNG\r\n\x1a\n", 8), itPNG},
        {std::string("\x89PNG\r\n\x1a", 7), itUnknown},
        {"GIF89a", itGIF},
        {"GIF87", itUnknown},
        {"", itUnknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DetectImageType(c.Data), c.Type) << ToHex(c.Data);
        TStringStream s(c.Data);
        EXPECT_EQ(TPDFImage::DetectImageType(s), c.Type);
        EXPECT_EQ(s.Position(), 0);
    }
}

TEST(JPEGHeader, Scan) {
    const std::string ffRun(5, char(0xFF));
    const struct {
        const char* Name;
        std::string Data;
        int W, H, Comps, HD, VD, Units;
        bool Carried;
    } cases[] = {
        {"baseline with JFIF per inch", Jpeg(JFIF(1, 300, 300), Frame(0xC0, 640, 480, 3)), 640,
         480, 3, 300, 300, 1, true},
        {"extended", Jpeg("", Frame(0xC1, 8, 9, 3)), 8, 9, 3, 0, 0, -1, true},
        {"progressive", Jpeg(JFIF(2, 50, 60), Frame(0xC2, 10, 20, 1)), 10, 20, 1, 50, 60, 2, true},
        {"Exif alone gives no unit", Jpeg(Exif(200), Frame(0xC0, 4, 4, 3)), 4, 4, 3, 0, 0, -1,
         true},
        {"JFIF aspect ratio then Exif", Jpeg(JFIF(0, 1, 1) + Exif(180), Frame(0xC0, 4, 4, 3)), 4,
         4, 3, 180, 180, 1, true},
        {"malformed Exif ignored", Jpeg(JFIF(0, 1, 1) + Exif(180, true), Frame(0xC0, 4, 4, 3)), 4,
         4, 3, 1, 1, 0, true},
        {"Exif segment cut short", SOI() + JFIF(0, 1, 1) + Exif(180).substr(0, 20), 0, 0, 3, 1, 1,
         0, false},
        {"fill bytes and a restart marker",
         SOI() + ffRun + std::string("\xFF\xD0", 2) + Frame(0xC0, 3, 5, 4), 3, 5, 4, 0, 0, -1,
         true},
        {"other segments skipped",
         SOI() + Segment(0xDB, std::string(65, '\0')) + Segment(0xFE, "comment") +
             Frame(0xC0, 7, 7, 3),
         7, 7, 3, 0, 0, -1, true},
        {"arithmetic frame has no size", Jpeg("", Frame(0xC9, 640, 480, 3)), 0, 0, 3, 0, 0, -1,
         false},
        {"lossless refused", Jpeg("", Frame(0xC3, 64, 64, 1)), 64, 64, 1, 0, 0, -1, false},
        {"12-bit refused", Jpeg("", Frame(0xC1, 64, 64, 1, 12)), 64, 64, 1, 0, 0, -1, false},
        {"two components refused", Jpeg("", Frame(0xC0, 64, 64, 2)), 64, 64, 2, 0, 0, -1, false},
        {"zero size", Jpeg("", Frame(0xC0, 0, 64, 3)), 0, 64, 3, 0, 0, -1, false},
        {"ends in a run of fill bytes", SOI() + ffRun, 0, 0, 3, 0, 0, -1, false},
        {"ends after a marker without length", SOI() + std::string("\xFF\xD0", 2), 0, 0, 3, 0, 0,
         -1, false},
        {"ends inside a length", SOI() + std::string("\xFF\xDB\x00", 3), 0, 0, 3, 0, 0, -1, false},
        {"length below two", SOI() + std::string("\xFF\xDB\x00\x00\xFF\xDB\x00\x01", 8), 0, 0, 3,
         0, 0, -1, false},
        {"frame cut short", SOI() + Frame(0xC0, 640, 480, 3).substr(0, 7), 0, 0, 3, 0, 0, -1,
         false},
        {"no third FF", std::string("\xFF\xD8\x00\xFF\xC0", 5), 0, 0, 3, 0, 0, -1, false},
    };
    for (const auto& c : cases) {
        const TJPEGHeaderInfo i = ReadJPEGHeader(c.Data);
        EXPECT_EQ(i.Width, c.W) << c.Name;
        EXPECT_EQ(i.Height, c.H) << c.Name;
        EXPECT_EQ(i.Components, c.Comps) << c.Name;
        EXPECT_EQ(i.HDensity, c.HD) << c.Name;
        EXPECT_EQ(i.VDensity, c.VD) << c.Name;
        EXPECT_EQ(i.Units, c.Units) << c.Name;
        EXPECT_EQ(JPEGCarriedAsDCT(i), c.Carried) << c.Name;
        auto b = Build(c.Data);
        EXPECT_EQ(b->Ok, c.Carried) << c.Name;
        EXPECT_EQ(b->Image->FIndRef != nullptr, c.Carried) << c.Name;
        EXPECT_TRUE(b->R.Objects.empty() || c.Carried) << c.Name;
    }
}

TEST(JPEGImage, StreamHoldsTheFileUnchanged) {
    const std::string file = Jpeg(JFIF(1, 300, 300), Frame(0xC0, 640, 480, 3));
    auto b = Build(file);
    ASSERT_TRUE(b->Ok);
    EXPECT_EQ(b->Image->FImageType, itJPEG);
    EXPECT_EQ(b->Image->FWidth, 640);
    EXPECT_EQ(b->Image->FHeight, 480);
    EXPECT_EQ(b->Image->FDPIUnits, 2);
    EXPECT_EQ(b->Image->FHDPI, 300);
    EXPECT_EQ(b->Image->FVDPI, 300);
    EXPECT_EQ(b->Image->FColorSpace, "DeviceRGB");
    EXPECT_EQ(b->Stream()->Stream(), file);
    EXPECT_EQ(b->DictText(),
              "<<\n/Length " + std::to_string(file.size()) + "\n/Type /XObject\n/Subtype /Image\n/Width 640\n/Height 480\n"
              "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n/Filter /DCTDecode\n>>\n");
    EXPECT_TRUE(b->Image->FImageData.empty());  // kept only on request
    EXPECT_EQ(b->Image->GetMaskType(), TPDFImage::mtUnknown);

    auto cmyk = Build(Jpeg("", Frame(0xC2, 5, 5, 4)));
    ASSERT_TRUE(cmyk->Ok);
    EXPECT_EQ(Name(cmyk->Dict(), "ColorSpace"), "DeviceCMYK");
    EXPECT_EQ(cmyk->Dict()->FindValueByKeyName("Decode", false)->Output(), "[ 1 0 1 0 1 0 1 0 ]");
    EXPECT_EQ(cmyk->Image->FDPIUnits, 0);
    auto gray = Build(Jpeg("", Frame(0xC0, 5, 5, 1)));
    ASSERT_TRUE(gray->Ok);
    EXPECT_EQ(Name(gray->Dict(), "ColorSpace"), "DeviceGray");
    EXPECT_EQ(gray->Dict()->FindValueByKeyName("Decode", false), nullptr);

    // Without a new-object event nothing is read or built.
    TPDFStructure bare;
    TPDFImage img(&bare, "X", nullptr);
    TStringStream in(file);
    EXPECT_FALSE(img.NewImageFromStream(in, 0));

    // The source bytes are kept when asked for; SkipDPI keeps the resolution.
    TRegistry r;
    TPDFImage keep(&r.S, "K", nullptr);
    keep.FNeedData = true;
    keep.FHDPI = 11;
    TStringStream in2(file);
    ASSERT_TRUE(keep.NewImageFromJPEG(in2, true));
    EXPECT_EQ(keep.FImageData, file);
    EXPECT_EQ(keep.FHDPI, 11);
    TStringStream out;
    EXPECT_TRUE(keep.SaveToStream(out));
    EXPECT_EQ(out.DataString(), file);
    TStringStream none;
    EXPECT_FALSE(b->Image->SaveToStream(none));
}

TEST(ImageCount, Pages) {
    TPDFImage img(nullptr, "X", nullptr);
    const struct {
        std::string Data;
        int32_t Pages;
    } cases[] = {
        {Jpeg("", Frame(0xC0, 5, 5, 3)), 1},
        {Jpeg("", Frame(0xC9, 5, 5, 3)), 0},
        {Png(2, 8, 3, 2), 1},
        {std::string("\x89PNG\r\n\x1a\n", 8), 0},
        {"GIF89a", 1},
        {"nothing", 0},
    };
    for (const auto& c : cases) {
        TStringStream s(c.Data);
        EXPECT_EQ(img.CountImagePages(s), c.Pages) << ToHex(c.Data.substr(0, 8));
    }
}

// What each Options value builds from a PNG with alpha (colour type 6).
TEST(PNGImage, OptionsTable) {
    const struct {
        int32_t Options;
        uint8_t Depth;
        bool Ok;
        const char* ColorSpace;  // of the image object
        int Bits;                // of the image object
        int AlphaBits;           // of the soft mask, 0 when none
        bool Has16;
    } cases[] = {
        {0, 8, true, "DeviceRGB", 8, 0, false},
        {0, 16, true, "DeviceRGB", 16, 0, true},
        {-5, 16, true, "DeviceRGB", 16, 0, true},
        {1, 8, true, "DeviceGray", 8, 0, false},
        {1, 16, true, "DeviceGray", 16, 0, true},
        {2, 16, true, "DeviceRGB", 16, 8, true},
        {3, 16, true, "DeviceRGB", 8, 0, false},
        {4, 16, true, "DeviceGray", 8, 0, false},
        {5, 16, true, "DeviceRGB", 8, 8, false},
        {6, 16, true, "DeviceRGB", 16, 16, true},
        {6, 8, true, "DeviceRGB", 8, 8, false},
        {7, 8, true, "DeviceRGB", 8, 0, false},
        {8, 8, false, "", 0, 0, false},
        {100, 16, false, "", 0, 0, false},
    };
    for (const auto& c : cases) {
        auto b = Build(Png(6, c.Depth, 3, 2), c.Options);
        const std::string label = "Options " + std::to_string(c.Options) + " depth " +
                                  std::to_string(c.Depth);
        ASSERT_EQ(b->Ok, c.Ok) << label;
        if (!c.Ok) {
            EXPECT_TRUE(b->R.Objects.empty()) << label;
            continue;
        }
        EXPECT_EQ(b->Image->FImageType, itPNG);
        EXPECT_EQ(b->Image->FWidth, 3);
        EXPECT_EQ(b->Image->FHeight, 2);
        EXPECT_EQ(b->Image->FDPIUnits, 2);
        EXPECT_EQ(Name(b->Dict(), "ColorSpace"), c.ColorSpace) << label;
        EXPECT_EQ(Num(b->Dict(), "BitsPerComponent"), c.Bits) << label;
        EXPECT_EQ(Name(b->Dict(), "Filter"), "FlateDecode");
        EXPECT_EQ(b->Image->FContains16Bit, c.Has16) << label;
        auto* smask = ObjAs<TPDFStream>(b->Dict()->FindValueByKeyName("SMask", true));
        EXPECT_EQ(smask != nullptr, c.AlphaBits != 0) << label;
        if (smask) {
            EXPECT_EQ(Num(smask->Dictionary(), "BitsPerComponent"), c.AlphaBits) << label;
            EXPECT_EQ(Name(smask->Dictionary(), "ColorSpace"), "DeviceGray");
        }
    }
}

TEST(PNGImage, ColourTypes) {
    // Options 1 and 4 need alpha data.
    EXPECT_FALSE(Build(Png(2, 8, 3, 2), 1)->Ok);
    EXPECT_FALSE(Build(Png(0, 8, 3, 2), 4)->Ok);
    const struct {
        uint8_t Type, Depth;
        const char* Space;
    } cases[] = {
        {0, 8, "/DeviceGray"},  {0, 16, "/DeviceGray"}, {0, 1, "/DeviceGray"},
        {2, 8, "/DeviceRGB"},   {2, 16, "/DeviceRGB"},  {4, 8, "/DeviceGray"},
        {4, 16, "/DeviceGray"}, {6, 8, "/DeviceRGB"},
        {3, 8, "[ /Indexed /DeviceRGB 3 <000000FF000000FF000000FF> ]"},
    };
    for (const auto& c : cases) {
        auto b = Build(Png(c.Type, c.Depth, 5, 4), 0);
        ASSERT_TRUE(b->Ok) << int(c.Type) << "/" << int(c.Depth);
        EXPECT_EQ(b->Dict()->FindValueByKeyName("ColorSpace", false)->Output(), c.Space);
        EXPECT_EQ(b->Image->GetMaskType(),
                  c.Type == 0 || c.Type == 4 ? TPDFImage::mtSoftMask : TPDFImage::mtUnknown);
        // The samples decode to the image size.
        const int channels = c.Type == 2 || c.Type == 6 ? 3 : 1;
        std::string data = FlateDecompress(b->Stream()->Stream());
        auto* parms = ObjAs<TPDFDictionary>(b->Dict()->FindValueByKeyName("DecodeParms", true));
        const size_t row = (5 * channels * c.Depth + 7) / 8;
        EXPECT_EQ(data.size(), parms ? 4 * (row + 1) : 4 * row) << int(c.Type) << "/" << int(c.Depth);
    }
}

TEST(PNGImage, ICCProfile) {
    const std::string profile = Deflate(std::string(128, 'p'));
    const std::string iccp = PngChunk("iCCP", std::string("sRGB\0\0", 6) + profile);
    auto rgb = Build(Png(2, 8, 3, 2, iccp), 7);
    ASSERT_TRUE(rgb->Ok);
    auto* cs = ObjAs<TPDFArray>(rgb->Dict()->FindValueByKeyName("ColorSpace", false));
    ASSERT_NE(cs, nullptr);
    EXPECT_EQ(ObjAs<TPDFName>(cs->GetItem(0))->Name(), "ICCBased");
    auto* icc = ObjAs<TPDFStream>(ObjAs<TPDFIndRef>(cs->GetItem(1))->Obj());
    ASSERT_NE(icc, nullptr);
    EXPECT_EQ(Num(icc->Dictionary(), "N"), 3);
    EXPECT_EQ(FlateDecompress(icc->Stream()), std::string(128, 'p'));
    auto pal = Build(Png(3, 8, 3, 2, iccp), 7);
    ASSERT_TRUE(pal->Ok);
    EXPECT_EQ(pal->Dict()->FindValueByKeyName("ColorSpace", false)->Output(),
              "[ /Indexed [ /ICCBased 1 0 R ] 3 <000000FF000000FF000000FF> ]");
    auto gray = Build(Png(0, 8, 3, 2, iccp), 7);
    auto* gcs = ObjAs<TPDFArray>(gray->Dict()->FindValueByKeyName("ColorSpace", false));
    ASSERT_NE(gcs, nullptr);
    EXPECT_EQ(Num(ObjAs<TPDFStream>(ObjAs<TPDFIndRef>(gcs->GetItem(1))->Obj())->Dictionary(), "N"),
              1);
    // Without Options 7 the profile is left out.
    auto plain = Build(Png(2, 8, 3, 2, iccp), 0);
    EXPECT_EQ(Name(plain->Dict(), "ColorSpace"), "DeviceRGB");
}

TEST(ImageEdits, MaskTypes) {
    TRegistry r;
    TPDFImage img(&r.S, "X", nullptr);
    EXPECT_EQ(img.GetMaskType(), TPDFImage::mtUnknown);
    img.FImageDictionary = r.S.NewDictionary();
    TPDFDictionary* d = img.FImageDictionary;
    d->Add("ImageMask", r.S.NewBoolean(true));
    EXPECT_EQ(img.GetMaskType(), TPDFImage::mtStencilMask);
    d->Add("BitsPerComponent", r.S.NewNumeric(1));
    d->Add("Decode", r.S.NewIntArray({1, 0}));
    EXPECT_EQ(img.GetMaskType(), TPDFImage::mtStencilMask);
    d->Add("Decode", r.S.NewDoubleArray({0, 0.5}));
    EXPECT_EQ(img.GetMaskType(), TPDFImage::mtUnknown);
    d->PurgeKey("Decode");
    d->Add("ColorSpace", r.S.NewName("DeviceGray"));
    EXPECT_EQ(img.GetMaskType(), TPDFImage::mtUnknown);
    d->Add("ImageMask", r.S.NewBoolean(false));
    EXPECT_EQ(img.GetMaskType(), TPDFImage::mtSoftMask);
    d->Add("SMask", r.S.NewIndirectRef(9, 0));
    EXPECT_EQ(img.GetMaskType(), TPDFImage::mtUnknown);
}

TEST(ImageEdits, ColourKeyMasks) {
    const struct {
        int Bits;
        const char* Space;
        const char* Mask;  // empty: none added
    } cases[] = {
        {8, "DeviceRGB", "[ 255 255 255 255 255 255 ]"},
        {1, "DeviceGray", "[ 1 1 ]"},
        {8, "DeviceGray", "[ 255 255 ]"},
        {4, "DeviceRGB", ""},
        {8, "DeviceCMYK", ""},
    };
    for (const auto& c : cases) {
        TRegistry r;
        TPDFImage img(&r.S, "X", nullptr);
        img.FImageDictionary = r.S.NewDictionary();
        img.FImageDictionary->Add("BitsPerComponent", r.S.NewNumeric(c.Bits));
        img.FImageDictionary->Add("ColorSpace", r.S.NewName(c.Space));
        img.SetImageMask(1, 1, 1, 1, 1, 1.5);
        TPDFObject* m = img.FImageDictionary->FindValueByKeyName("Mask", false);
        EXPECT_EQ(m ? m->Output() : "", c.Mask) << c.Space << c.Bits;
    }
    TRegistry r;
    TPDFImage img(&r.S, "X", nullptr);
    img.FImageDictionary = r.S.NewDictionary();
    img.FImageDictionary->Add("ColorSpace", r.S.Decode("[ /Indexed /DeviceRGB 1 <000000FFFFFF> ]"));
    img.FImageDictionary->Add("BitsPerComponent", r.S.NewNumeric(8));
    img.SetImageMask(0.5, 0, 0, 1, 0, -1);
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("Mask", false)->Output(),
              "[ 128 255 0 0 0 0 ]");
    img.SetImageMaskCMYK(0, 0.2, 0.4, 1, 1, 1, 1, 2);
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("Mask", false)->Output(),
              "[ 0 255 51 255 102 255 255 255 ]");
    EXPECT_FALSE(img.SetImageMaskFromImage(3, 0, TPDFImage::mtUnknown));
    EXPECT_TRUE(img.SetImageMaskFromImage(3, 0, TPDFImage::mtSoftMask));
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("SMask", false)->Output(), "3 0 R");
    img.ClearImageMask();
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("SMask", false), nullptr);
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("Mask", false), nullptr);
}

TEST(ImageEdits, AsMaskGrayAndReverse) {
    // A 1-bit gray image becomes a stencil mask; an 8-bit one cannot.
    TRegistry r;
    TPDFImage img(&r.S, "X", nullptr);
    TPDFStream* s = r.S.NewStream(std::string(2, '\xAA'), false);
    img.FIndRef = nullptr;
    img.FImageDictionary = s->Dictionary();
    img.FImageDictionary->Add("ColorSpace", r.S.NewName("DeviceGray"));
    img.FImageDictionary->Add("BitsPerComponent", r.S.NewNumeric(1));
    img.FImageDictionary->Add("Mask", r.S.NewIntArray({1, 1}));
    EXPECT_TRUE(img.SetImageAsMask(TPDFImage::mtStencilMask));
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("ColorSpace", false), nullptr);
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("Mask", false), nullptr);
    EXPECT_EQ(img.GetMaskType(), TPDFImage::mtStencilMask);
    img.FImageDictionary->Add("BitsPerComponent", r.S.NewNumeric(8));
    EXPECT_FALSE(img.SetImageAsMask(TPDFImage::mtStencilMask));

    // An RGB image as a soft mask is converted to gray first.
    TRegistry r2;
    TPDFImage rgb(&r2.S, "Y", nullptr);
    TPDFStream* rs = r2.S.NewStream(std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12), true);
    rs->Dictionary()->Add("ColorSpace", r2.S.NewName("DeviceRGB"));
    rs->Dictionary()->Add("BitsPerComponent", r2.S.NewNumeric(8));
    int32_t on = 0, gn = 0;
    r2.S.OnNewIndObj(nullptr, rs, on, gn);
    rgb.Populate(on, gn, 4, 1);
    EXPECT_EQ(rgb.FImageDictionary, rs->Dictionary());
    EXPECT_TRUE(rgb.SetImageAsMask(TPDFImage::mtSoftMask));
    EXPECT_EQ(Name(rs->Dictionary(), "ColorSpace"), "DeviceGray");
    EXPECT_EQ(Name(rs->Dictionary(), "Filter"), "FlateDecode");
    EXPECT_EQ(FlateDecompress(rs->Stream()), std::string("\x4C\x96\x1D\xFF", 4));
    EXPECT_EQ(rgb.GetMaskType(), TPDFImage::mtSoftMask);

    // Inverting through the decode array.
    TRegistry r3;
    TPDFImage inv(&r3.S, "Z", nullptr);
    inv.FImageDictionary = r3.S.NewDictionary();
    inv.FImageDictionary->Add("ColorSpace", r3.S.NewName("DeviceRGB"));
    auto decode = [&] {
        TPDFObject* o = inv.FImageDictionary->FindValueByKeyName("Decode", false);
        return o ? o->Output() : "";
    };
    EXPECT_TRUE(inv.Reverse(false));
    EXPECT_EQ(decode(), "[ 1 0 1 0 1 0 ]");
    EXPECT_TRUE(inv.Reverse(false));
    EXPECT_EQ(decode(), "[ 0 1 0 1 0 1 ]");
    EXPECT_TRUE(inv.Reverse(true));
    EXPECT_EQ(decode(), "");
    inv.FImageDictionary->Add("Decode", r3.S.NewDoubleArray({0, 0.5, 0, 1, 0, 1}));
    EXPECT_FALSE(inv.Reverse(false));
    EXPECT_EQ(decode(), "[ 0 0.5 0 1 0 1 ]");
    inv.FImageDictionary->Add("Decode", r3.S.NewIntArray({1, 0, 0, 1, 1, 0}));
    EXPECT_FALSE(inv.Reverse(false));
    inv.FImageDictionary->Add("ImageMask", r3.S.NewBoolean(true));
    inv.FImageDictionary->Add("Decode", r3.S.NewIntArray({1, 0}));
    EXPECT_TRUE(inv.Reverse(false));
    EXPECT_EQ(decode(), "[ 0 1 ]");
    inv.FImageDictionary->Add("ColorSpace", r3.S.NewName("Lab"));
    inv.FImageDictionary->PurgeKey("Decode");
    EXPECT_FALSE(inv.Reverse(false));
}

TEST(ImageEdits, DictionariesAndClearing) {
    auto b = Build(Png(2, 8, 3, 2), 0);
    ASSERT_TRUE(b->Ok);
    TPDFImage& img = *b->Image;
    TPDFDictionary* pt = img.GetPtDataDict();
    EXPECT_EQ(img.GetPtDataDict(), pt);
    EXPECT_EQ(Name(pt, "Type"), "PtData");
    EXPECT_EQ(Name(pt, "Subtype"), "Cloud");
    EXPECT_EQ(Name(img.FImageDictionary, "Type"), "XObject");
    EXPECT_EQ(Name(img.FImageDictionary, "Subtype"), "Image");
    TPDFDictionary* m = img.GetMeasureDict();
    EXPECT_EQ(img.GetMeasureDict(), m);
    EXPECT_EQ(m->Count(), 0);
    img.SetOCG(b->R.S.NewIndirectRef(7, 0));
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("OC", false)->Output(), "7 0 R");
    img.DeleteOCG();
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("OC", false), nullptr);
    img.ClearImage();
    EXPECT_EQ(img.FWidth, 1);
    EXPECT_EQ(b->Stream()->Stream(), std::string(3, '\0'));
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("Filter", false), nullptr);
    EXPECT_EQ(img.FImageDictionary->FindValueByKeyName("Mask", false)->Output(),
              "[ 0 0 0 0 0 0 ]");
    // Binding to a number that is no stream gives an unregistered dictionary.
    const size_t before = b->R.Objects.size();
    img.Populate(999, 0, 5, 6);
    ASSERT_NE(img.FImageDictionary, nullptr);
    EXPECT_EQ(b->R.Objects.size(), before);
    EXPECT_EQ(img.FWidth, 5);
}

TEST(ImageEdits, SaveToFile) {
    TempDir dir;
    TPDFImage img(nullptr, "X", nullptr);
    const std::u16string name = (dir / "empty.bin").u16string();
    EXPECT_TRUE(img.SaveToFile(name));
    EXPECT_EQ(ReadFile(dir / "empty.bin"), "");
    img.FImageData = "bytes";
    EXPECT_TRUE(img.SaveToFile((dir / "b.bin").u16string()));
    EXPECT_EQ(ReadFile(dir / "b.bin"), "bytes");
    EXPECT_FALSE(img.SaveToFile((dir / "no/such/x.bin").u16string()));
}

TEST(ImageDirect, FromString) {
    TRegistry r;
    TPDFImage img(&r.S, "VelmoPDFIm00000002", nullptr);
    ASSERT_TRUE(img.NewImageDirectFromString("abcd", 16, 2, 1, u"/DeviceGray", u"CCITTFaxDecodeT4",
                                             u"[ 1 0 ]", true));
    EXPECT_EQ(img.FImageDictionary->Output(),
              "<<\n/Length 4\n/Type /XObject\n/Subtype /Image\n/Width 16\n/Height 2\n"
              "/Name /VelmoPDFIm00000002\n/Filter /CCITTFaxDecode\n/DecodeParms <<\n/K 0\n"
              "/Columns 16\n>>\n/Interpolate true\n/ColorSpace /DeviceGray\n"
              "/BitsPerComponent 1\n/Decode [ 1 0 ]\n>>\n");
    EXPECT_EQ(img.FWidth, 16);
}

TEST(ImageCount, BitmapFiles) {
    // A 1 x 1 24-bit BMP loads; one with a broken header does not.
    std::string bmp = std::string("BM", 2) + std::string(4, '\0') + std::string(4, '\0') +
                      std::string("\x36\0\0\0", 4);
    std::string info(40, '\0');
    info[0] = 40;
    info[4] = 1;
    info[8] = 1;
    info[12] = 1;
    info[14] = 24;
    bmp += info + std::string("\x10\x20\x30\0", 4);
    bmp[2] = char(bmp.size());
    TPDFImage img(nullptr, "X", nullptr);
    TStringStream good(bmp);
    EXPECT_EQ(img.CountImagePages(good), 1);
    std::string broken = bmp;
    broken[14] = 7;  // no such header size
    TStringStream bad(broken);
    EXPECT_EQ(img.CountImagePages(bad), 0);
}
