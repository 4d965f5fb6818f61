// Pages written as EPS through the renderer with the image library
// installed: what reaches the writer for colours, image objects, inline
// images and CMYK images.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "codecs/CodecServices.h"
#include "core/ASCII85.h"
#include "core/Flate.h"
#include "core/Structure.h"
#include "fonts/FontCollection.h"
#include "render/Renderer.h"

namespace velmo {
namespace {

// A page of Content whose objects are found by number.
struct TEPSPage {
    TPDFStructure S;
    TPDFDictionary* Page = nullptr;
    std::map<int32_t, TPDFObject*> Objects;

    TEPSPage(const std::string& Content, const std::string& Resources) {
        Page = S.NewDictionary();
        Page->Add("Type", S.NewName("Page"));
        Page->Add("MediaBox", S.NewDoubleArray({0, 0, 100, 100}));
        Page->Add("Contents", S.NewStream(Content, false));
        Page->Add("Resources", S.Decode(Resources));
    }
    void Add(int32_t Num, const std::string& Dict, const std::string& Data) {
        Objects[Num] = S.NewStreamWithDict(Data, ObjAs<TPDFDictionary>(S.Decode(Dict)));
    }
    // The EPS text of the page.
    std::string Render() {
        InstallCodecServices();
        TPDFFontCollection Fonts;
        TPDFRenderer R(&Fonts);
        R.SetPageDict(Page);
        R.OnFindObject = [this](TPDFIndRef* Ref) -> TPDFObject* {
            auto It = Objects.find(Ref->ObjNum);
            return It == Objects.end() ? nullptr : It->second;
        };
        R.SetDestination(rdEPS);
        R.Render();
        EXPECT_EQ(R.ErrorDesc(), "");
        return R.EPS()->Text();
    }
};

size_t Count(const std::string& Text, const std::string& S) {
    size_t N = 0;
    for (size_t P = Text.find(S); P != std::string::npos; P = Text.find(S, P + 1)) ++N;
    return N;
}

// The data items of the file, decoded.
std::vector<std::string> DataItems(const std::string& Text) {
    std::vector<std::string> Items;
    const std::string Mark = "/ReusableStreamDecode filter\r\n";
    for (size_t P = Text.find(Mark); P != std::string::npos; P = Text.find(Mark, P + 1)) {
        const size_t Start = P + Mark.size();
        const size_t End = Text.find("~>", Start);
        Items.push_back(FlateDecompress(DecodeASCII85(Text.substr(Start, End + 2 - Start))));
    }
    return Items;
}

TEST(EPSImages, FirstColourOfThePage) {
    struct Case {
        const char* Content;
        const char* Written;  // colour line expected, or "" for none
    };
    const Case Cases[] = {
        {"0 1 0 rg 0 0 10 10 re f", "0 1 0 setrgbcolor\r\nf\r\n"},
        {"0 g 0 0 10 10 re f", ""},
    };
    for (const Case& C : Cases) {
        TEPSPage P(C.Content, "<< >>");
        const std::string Text = P.Render();
        if (*C.Written)
            EXPECT_NE(Text.find(C.Written), std::string::npos) << Text;
        else
            EXPECT_EQ(Count(Text, "setgray"), 0u) << Text;
    }
}

TEST(EPSImages, ImageObjectWrittenOnceAndPaintedAtEveryDraw) {
    TEPSPage P("q 50 0 0 50 0 0 cm /Im Do Q q 20 0 0 20 60 60 cm /Im Do Q "
               "q 10 0 0 10 0 80 cm /Fm Do Q",
               "<< /XObject << /Im 7 0 R /Fm 8 0 R >> >>");
    P.Add(7, "<< /Type /XObject /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceRGB "
             "/BitsPerComponent 8 >>",
          std::string("\xFF\x00\x00\x00\x00\xFF", 6));
    P.Add(8, "<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << /Im 7 0 R >> >> >>",
          "/Im Do");
    const std::string Text = P.Render();
    EXPECT_EQ(DataItems(Text), std::vector<std::string>{std::string("\xFF\x00\x00\x00\x00\xFF", 6)});
    EXPECT_EQ(Count(Text, "datastreamfor7.0.R resetfile"), 3u);
    EXPECT_EQ(Count(Text, "ImageDataDictionaryfor7.0.R image"), 3u);
}

TEST(EPSImages, InlineImagesAreWrittenAtEveryDraw) {
    // Two forms whose inline images sit at the same position of their
    // contents but hold different samples: each is written with its own.
    TEPSPage P("q 10 0 0 10 0 0 cm /F1 Do Q q 10 0 0 10 20 0 cm /F2 Do Q /F1 Do",
               "<< /XObject << /F1 7 0 R /F2 8 0 R >> >>");
    const std::string Form = "<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] >>";
    P.Add(7, Form, std::string("BI /W 2 /H 1 /CS /G /BPC 8 ID \x10\x20 EI", 35));
    P.Add(8, Form, std::string("BI /W 2 /H 1 /CS /G /BPC 8 ID \x30\x40 EI", 35));
    const std::string Text = P.Render();
    const auto Items = DataItems(Text);
    ASSERT_EQ(Items.size(), 3u) << Text;
    // Grey samples reach the writer as an RGB bitmap.
    EXPECT_EQ(Items[0], std::string("\x10\x10\x10\x20\x20\x20"));
    EXPECT_EQ(Items[1], std::string("\x30\x30\x30\x40\x40\x40"));
    EXPECT_EQ(Items[2], Items[0]);
}

TEST(EPSImages, CMYKImageConvertedByTheDecoderIsWrittenAsRGB) {
    TEPSPage P("q 10 0 0 10 0 0 cm /Im Do Q", "<< /XObject << /Im 7 0 R >> >>");
    P.Add(7, "<< /Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceCMYK "
             "/BitsPerComponent 8 >>",
          std::string("\x00\x00\x00\x00", 4));
    const std::string Text = P.Render();
    EXPECT_EQ(Count(Text, "/DeviceCMYK setcolorspace"), 0u);
    EXPECT_EQ(Count(Text, "/DeviceRGB setcolorspace"), 1u);
    EXPECT_EQ(DataItems(Text), std::vector<std::string>{std::string("\xFF\xFF\xFF")});
}

TEST(EPSImages, StencilPaintsInTheFillColour) {
    TEPSPage P("0 0 1 rg q 10 0 0 10 0 0 cm /St Do Q 1 0 0 rg q 10 0 0 10 20 0 cm /St Do Q",
               "<< /XObject << /St 7 0 R >> >>");
    P.Add(7, "<< /Type /XObject /Subtype /Image /Width 8 /Height 1 /ImageMask true "
             "/BitsPerComponent 1 >>",
          std::string("\x0F"));
    const std::string Text = P.Render();
    const size_t Blue = Text.find("0 0 1 setrgbcolor");
    const size_t First = Text.find("ImageDataDictionaryfor7.0.R imagemask");
    const size_t Red = Text.find("1 0 0 setrgbcolor");
    const size_t Second = Text.rfind("ImageDataDictionaryfor7.0.R imagemask");
    ASSERT_NE(Blue, std::string::npos) << Text;
    ASSERT_NE(Red, std::string::npos) << Text;
    EXPECT_LT(Blue, First);
    EXPECT_LT(First, Red);
    EXPECT_LT(Red, Second);
    // Samples 0 paint in the page's stencil: they are the 1 bits written.
    EXPECT_EQ(DataItems(Text), std::vector<std::string>{std::string("\xF0")});
}

}  // namespace
}  // namespace velmo
