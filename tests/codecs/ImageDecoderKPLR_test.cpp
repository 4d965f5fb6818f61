// The component-raster mode: builders, the finishing step per colour space
// and mask, and the calls that reach the renderer library's back end
// (recorded here in place of the library).
#include "codecs/ImageDecoderKPLR.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "codecs/JPEGImage.h"
#include "core/Structure.h"
#include "render/ColorManager.h"
#include "render/ColorSpaces.h"

using namespace velmo;

namespace {

struct TCall {
    std::string Kind;  // "direct", "palette", "stencil"
    int32_t Format = -1, RowLength = 0, Width = 0, Height = 0, Min = 0, Max = 0;
    std::vector<uint8_t> Data, Palette;
};

class TRecordingTarget : public TKPLRImageTarget {
public:
    std::vector<TCall> Calls;
    bool Pattern = false;
    size_t PaletteBytes = 0;

    void DrawDirectImage(const void* Source, int32_t RowLength, int32_t Width, int32_t Height,
                         int32_t Format, bool, int32_t Min, int32_t Max) override {
        Record("direct", Source, RowLength, Width, Height, Format, nullptr, Min, Max);
    }
    void DrawDirectImageWithPalette(const void* Source, int32_t RowLength, int32_t Width,
                                    int32_t Height, int32_t Format, const void* Palette, bool,
                                    int32_t Min, int32_t Max) override {
        Record("palette", Source, RowLength, Width, Height, Format, Palette, Min, Max);
    }
    void DrawStencilImage(const void* Source, int32_t RowLength, int32_t Width, int32_t Height,
                          int32_t Format, const void* Palette, bool) override {
        Record("stencil", Source, RowLength, Width, Height, Format, Palette, 0, 0);
    }
    bool FillPatternActive() const override { return Pattern; }

private:
    void Record(const char* Kind, const void* Source, int32_t RowLength, int32_t Width,
                int32_t Height, int32_t Format, const void* Palette, int32_t Min, int32_t Max) {
        TCall C{Kind, Format, RowLength, Width, Height, Min, Max, {}, {}};
        const auto* S = static_cast<const uint8_t*>(Source);
        C.Data.assign(S, S + size_t(RowLength) * size_t(Height));
        if (Palette != nullptr) {
            const auto* P = static_cast<const uint8_t*>(Palette);
            C.Palette.assign(P, P + PaletteBytes);
        }
        Calls.push_back(std::move(C));
    }
};

std::vector<uint8_t> V(std::initializer_list<int> L) {
    std::vector<uint8_t> R;
    for (int I : L) R.push_back(uint8_t(I));
    return R;
}

std::string S(std::initializer_list<int> L) {
    std::string R;
    for (int I : L) R += char(I);
    return R;
}

// Builds, finishes and draws; the one recorded call (or none).
struct TRun {
    TKPLRImageState State;
    TRecordingTarget Target;
    void Go(TColor Fill = 0) {
        if (!State.MainImage) BuildKPLRImage(State);
        FinishKPLRImage(State);
        Target.PaletteBytes = State.Palette.size();
        DrawKPLRImage(State, Target, Fill);
    }
};

}  // namespace

TEST(ImageDecoderKPLR, ShapesReachingTheBackEnd) {
    TPDFSimpleColorManager Manager;
    // Black ink through the manager's conversion, as blue, green, red.
    TPDFCMYKColor Black{0, 0, 0, 1};
    const TPDFRGBColor K = Manager.CMYK2RGB(Black);
    auto Byte = [](double V) { return int(std::nearbyint(std::clamp(V, 0.0, 1.0) * 255)); };
    const struct {
        const char* Name;
        std::string ColorSpace;
        int W, H, BPC;
        std::string Data, Decode;
        std::string Kind;
        int Format;
        std::vector<uint8_t> Want;
    } cases[] = {
        {"RGB arrives blue, green, red", "DeviceRGB", 2, 1, 8, S({10, 20, 30, 40, 50, 60}), "",
         "direct", 1, V({30, 20, 10, 60, 50, 40})},
        {"RGB at 4 bits rescaled", "DeviceRGB", 1, 1, 4, S({0xF0, 0x80}), "", "direct", 1,
         V({136, 0, 255})},
        {"1-bit grey inverted", "DeviceGray", 3, 1, 1, S({0xA0}), "", "direct", 3, V({0x5F})},
        {"1-bit grey with decode [1 0] twice inverted", "DeviceGray", 3, 1, 1, S({0xA0}), "[ 1 0 ]",
         "direct", 3, V({0xA0})},
        {"8-bit grey", "DeviceGray", 2, 1, 8, S({7, 200}), "", "direct", 2, V({7, 200})},
        {"8-bit grey with decode [1 0]", "DeviceGray", 2, 1, 8, S({7, 200}), "[1 0]", "direct", 2,
         V({7, 200})},
        {"8-bit grey with decode [ 1 0 ]", "DeviceGray", 2, 1, 8, S({7, 200}), "[ 1 0 ]", "direct",
         2, V({248, 55})},
        {"2-bit grey to 8 bits", "DeviceGray", 4, 1, 2, S({0x1B}), "", "direct", 2,
         V({0, 85, 170, 255})},
        {"CMYK to BGR", "DeviceCMYK", 2, 1, 8, S({0, 0, 0, 0, 0, 0, 0, 255}), "", "direct", 1,
         V({255, 255, 255, Byte(K.Blue), Byte(K.Green), Byte(K.Red)})},
        {"short data leaves zeros", "DeviceRGB", 2, 1, 8, S({1, 2}), "", "direct", 1,
         V({0, 0, 0, 0, 0, 0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TRun R;
        R.State.ColorSpace = c.ColorSpace;
        R.State.Width = c.W;
        R.State.Height = c.H;
        R.State.BitsPerComponent = c.BPC;
        R.State.ImageData = c.Data;
        R.State.Decode = c.Decode;
        R.State.ColorManager = &Manager;
        R.Go();
        EXPECT_TRUE(R.State.ImageData.empty());
        ASSERT_EQ(R.Target.Calls.size(), 1u);
        const TCall& Call = R.Target.Calls[0];
        EXPECT_EQ(Call.Kind, c.Kind);
        EXPECT_EQ(Call.Format, c.Format);
        EXPECT_EQ(Call.Width, c.W);
        EXPECT_EQ(Call.Min, -1);
        EXPECT_EQ(Call.Max, -1);
        EXPECT_EQ(Call.Data, c.Want);
    }
}

TEST(ImageDecoderKPLR, IndexedAndMasks) {
    const std::string Lookup = S({255, 0, 0, 0, 128, 255});
    {
        // Without a mask: indices with a BGRA palette.
        TRun R;
        R.State.ColorSpace = "Indexed";
        R.State.IndexedBase = "DeviceRGB";
        R.State.IndexedHival = 1;
        R.State.IndexedLookup = Lookup;
        R.State.Width = 3;
        R.State.Height = 1;
        R.State.BitsPerComponent = 8;
        R.State.ImageData = S({1, 0, 1});
        R.Go();
        ASSERT_EQ(R.Target.Calls.size(), 1u);
        EXPECT_EQ(R.Target.Calls[0].Kind, "palette");
        EXPECT_EQ(R.Target.Calls[0].Format, 4);
        EXPECT_EQ(R.Target.Calls[0].Data, V({1, 0, 1}));
        ASSERT_EQ(R.Target.Calls[0].Palette.size(), 1024u);
        EXPECT_EQ(std::vector<uint8_t>(R.Target.Calls[0].Palette.begin(),
                                       R.Target.Calls[0].Palette.begin() + 12),
                  V({0, 0, 255, 255, 255, 128, 0, 255, 0, 0, 0, 0}));
    }
    {
        // 1-bit indices keep their depth: format 5.
        TRun R;
        R.State.ColorSpace = "Indexed";
        R.State.IndexedBase = "DeviceRGB";
        R.State.IndexedHival = 1;
        R.State.IndexedLookup = Lookup;
        R.State.Width = 8;
        R.State.Height = 1;
        R.State.BitsPerComponent = 1;
        R.State.ImageData = S({0x0F});
        R.Go();
        ASSERT_EQ(R.Target.Calls.size(), 1u);
        EXPECT_EQ(R.Target.Calls[0].Format, 5);
        EXPECT_EQ(R.Target.Calls[0].Data, V({0x0F}));
    }
    {
        // With a soft mask: colours, and the mask as alpha (format 0).
        TRun R;
        R.State.ColorSpace = "Indexed";
        R.State.IndexedBase = "DeviceRGB";
        R.State.IndexedHival = 1;
        R.State.IndexedLookup = Lookup;
        R.State.MaskType = kmSoft;
        R.State.Width = 2;
        R.State.Height = 1;
        R.State.BitsPerComponent = 8;
        R.State.ImageData = S({1, 0});
        R.State.MaskImage = std::make_unique<TKPLImage>(2, 1, 1, 8);
        R.State.MaskImage->SetRowValues(0, {77, 99});
        R.Go();
        ASSERT_EQ(R.Target.Calls.size(), 1u);
        EXPECT_EQ(R.Target.Calls[0].Format, 0);
        EXPECT_EQ(R.Target.Calls[0].Data, V({0, 128, 255, 77, 255, 0, 0, 99}));
        EXPECT_EQ(R.State.MaskImage, nullptr);
    }
    {
        // A narrow 1-bit image with a soft mask is fitted into 6000 × 6000
        // and the mask scaled to it.
        TRun R;
        R.State.ColorSpace = "DeviceGray";
        R.State.MaskType = kmSoft;
        R.State.Width = 100;
        R.State.Height = 8000;
        R.State.BitsPerComponent = 1;
        R.State.ImageData = std::string(13 * 8000, '\xF0');
        R.State.MaskImage = std::make_unique<TKPLImage>(10, 10, 1, 1);
        R.Go();
        ASSERT_EQ(R.Target.Calls.size(), 1u);
        EXPECT_EQ(R.Target.Calls[0].Format, 0);
        EXPECT_EQ(R.Target.Calls[0].Width, 75);
        EXPECT_EQ(R.Target.Calls[0].Height, 6000);
        // Black and white from the bits (not inverted under a soft mask);
        // the 1-bit mask is inverted: all opaque.
        EXPECT_EQ(std::vector<uint8_t>(R.Target.Calls[0].Data.begin(),
                                       R.Target.Calls[0].Data.begin() + 8),
                  V({255, 255, 255, 255, 255, 255, 255, 255}));
    }
    for (const bool Pattern : {false, true}) {
        // A stencil takes the fill colour; with a fill pattern it is drawn
        // as a stencil.
        SCOPED_TRACE(Pattern ? "pattern" : "colour");
        TRun R;
        R.Target.Pattern = Pattern;
        R.State.ColorSpace = "DeviceGray";
        R.State.MaskType = kmStencil;
        R.State.Width = 8;
        R.State.Height = 1;
        R.State.BitsPerComponent = 1;
        R.State.ImageData = S({0x3C});
        R.Go(RGB(255, 0, 0));
        ASSERT_EQ(R.Target.Calls.size(), 1u);
        EXPECT_EQ(R.Target.Calls[0].Kind, Pattern ? "stencil" : "palette");
        EXPECT_EQ(R.Target.Calls[0].Format, 5);
        EXPECT_EQ(R.Target.Calls[0].Palette, V({0, 0, 255, 255, 0, 0, 255, 0}));
    }
    {
        // Colour-key ranges go with the direct calls.
        TRun R;
        R.State.ColorSpace = "DeviceRGB";
        R.State.MaskType = kmColorKey;
        R.State.KeyMin = 0x010203;
        R.State.KeyMax = 0x040506;
        R.State.Width = 1;
        R.State.Height = 1;
        R.State.BitsPerComponent = 8;
        R.State.ImageData = S({1, 2, 3});
        R.Go();
        ASSERT_EQ(R.Target.Calls.size(), 1u);
        EXPECT_EQ(R.Target.Calls[0].Min, 0x010203);
        EXPECT_EQ(R.Target.Calls[0].Max, 0x040506);
    }
}

TEST(ImageDecoderKPLR, LabAndIndexedBases) {
    TPDFStructure Doc;
    TPDFSimpleColorManager Manager;
    TPDFLabColorSpace Lab;
    auto* D = Doc.NewDictionary();
    D->Add("WhitePoint",
           Doc.NewArray({Doc.NewNumeric(0.9505), Doc.NewNumeric(1), Doc.NewNumeric(1.089)}));
    Lab.LoadFromArray(Doc.NewArray({Doc.NewName("Lab"), D}));
    {
        TRun R;
        R.State.ColorSpace = "Lab";
        R.State.LabSpace = &Lab;
        R.State.ColorManager = &Manager;
        R.State.Width = 1;
        R.State.Height = 1;
        R.State.BitsPerComponent = 8;
        R.State.ImageData = S({255, 128, 128});
        R.Go();
        ASSERT_EQ(R.Target.Calls.size(), 1u);
        EXPECT_EQ(R.Target.Calls[0].Format, 1);
        for (uint8_t B : R.Target.Calls[0].Data) EXPECT_GE(B, 250);
    }
    const struct {
        const char* Base;
        std::string Lookup;
        std::vector<uint8_t> Want;  // blue, green, red of index 1
    } cases[] = {
        {"DeviceGray", S({0, 90}), V({90, 90, 90})},
        {"CalRGB", S({0, 0, 0, 10, 20, 30}), V({30, 20, 10})},
        {"DeviceCMYK", S({0, 0, 0, 255, 0, 0, 0, 0}), V({255, 255, 255})},
        {"Lab", S({0, 0, 0, 255, 128, 128}), V({255, 255, 255})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Base);
        TRun R;
        R.State.ColorSpace = "Indexed";
        R.State.IndexedBase = c.Base;
        R.State.IndexedHival = 1;
        R.State.IndexedLookup = c.Lookup;
        R.State.LabSpace = &Lab;
        R.State.ColorManager = &Manager;
        R.State.Width = 1;
        R.State.Height = 1;
        R.State.BitsPerComponent = 8;
        R.State.ImageData = S({1});
        R.Go();
        ASSERT_EQ(R.Target.Calls.size(), 1u);
        EXPECT_EQ(R.Target.Calls[0].Format, 1);
        const auto& Got = R.Target.Calls[0].Data;
        ASSERT_EQ(Got.size(), 3u);
        for (int K = 0; K < 3; ++K) EXPECT_NEAR(Got[size_t(K)], c.Want[size_t(K)], 3) << K;
    }
}

TEST(ImageDecoderKPLR, DCTAndFitting) {
    TBitmap B(16, 8, pf24bit);
    for (int Y = 0; Y < 8; ++Y)
        for (int X = 0; X < 48; ++X) B.ScanLine(Y)[X] = uint8_t(X * 5);
    for (const bool Grey : {false, true}) {
        SCOPED_TRACE(Grey ? "grey" : "colour");
        TPDFJPEGImage J;
        J.Assign(B);
        J.SetGrayscale(Grey);
        TStringStream Out;
        J.SaveToStream(Out);
        TKPLRImageState St;
        St.ColorSpace = Grey ? "DeviceGray" : "DeviceRGB";
        St.ImageData = "\n" + Out.DataString();  // a leading line feed is dropped
        DecodeDCTToKPLR(St);
        ASSERT_NE(St.MainImage, nullptr);
        EXPECT_EQ(St.MainImage->Width(), 16);
        EXPECT_EQ(St.MainImage->Components(), Grey ? 1 : 3);
        EXPECT_EQ(St.ColorSpace, Grey ? "DeviceGray" : "DeviceBGR");
        TRecordingTarget T;
        FinishKPLRImage(St);
        DrawKPLRImage(St, T, 0);
        ASSERT_EQ(T.Calls.size(), 1u);
        EXPECT_EQ(T.Calls[0].Format, Grey ? 2 : 1);
    }
    TKPLRImageState Bad;
    Bad.ImageData = "not a JPEG";
    EXPECT_THROW(DecodeDCTToKPLR(Bad), EJPEGError);
    EXPECT_EQ(Bad.MainImage, nullptr);

    const struct {
        int W, H, WantW, WantH;
    } fits[] = {{100, 8000, 75, 6000},
                {8000, 100, 6000, 75},
                {6000, 6000, 6000, 6000},
                {7000, 7000, 6000, 6000},
                {12001, 1, 6000, 1}};
    for (const auto& f : fits) {
        TKPLImage I(f.W, f.H, 1, 1);
        FitKPLRImage(6000, 6000, I);
        EXPECT_EQ(I.Width(), f.WantW);
        EXPECT_EQ(I.Height(), f.WantH);
    }
}
