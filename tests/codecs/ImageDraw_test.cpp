// Image XObjects on rendered pages: the renderer's Do draws them through the
// image decoder (corners, masks), repeated images come from the cache, and a
// damaged image leaves the rest of the page.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "codecs/CodecServices.h"
#include "codecs/ImageDecoder.h"
#include "codecs/JPEGImage.h"
#include "core/Structure.h"
#include "document/Document.h"
#include "document/PageTree.h"
#include "render/ImageList.h"
#include "render/Picasso.h"
#include "render/Renderer.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace {

// One 20 x 20 point page; Objects from number 4 on, the page's XObject
// resources naming them.
std::string OnePage(const std::string& Content, const std::string& XObjects,
                    const std::vector<std::string>& Objects) {
    std::vector<std::string> Bodies = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 20 20] /Contents " +
            std::to_string(4 + Objects.size()) + " 0 R /Resources << /XObject << " + XObjects +
            " >> >> >>"};
    Bodies.insert(Bodies.end(), Objects.begin(), Objects.end());
    Bodies.push_back("<< /Length " + std::to_string(Content.size()) + " >>\nstream\n" + Content +
                     "\nendstream");
    return vpltest::PdfFromObjects(Bodies);
}

std::string ImageObject(const std::string& Dict, const std::string& Data) {
    return "<< /Type /XObject /Subtype /Image " + Dict + " /Length " + std::to_string(Data.size()) +
           " >>\nstream\n" + Data + "\nendstream";
}

bool Near(const uint8_t* P, int R, int G, int B) {
    return std::abs(P[0] - R) <= 8 && std::abs(P[1] - G) <= 8 && std::abs(P[2] - B) <= 8;
}

struct TServices {
    TServices() {
        velmo::InstallRendererServices();
        velmo::InstallCodecServices();
    }
};

}  // namespace

TEST(ImageDraw, PagesShowTheirImages) {
    static TServices Services;
    const std::string Quad =
        ImageObject("/Width 2 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8",
                    std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12));
    struct TCase {
        const char* Name;
        std::string Pdf;
        // x, y (device pixels, top row 0), r, g, b
        std::vector<std::array<int, 5>> Pixels;
    };
    const std::vector<TCase> Cases = {
        {"first row at the top",
         OnePage("q 20 0 0 20 0 0 cm /Im0 Do Q", "/Im0 4 0 R", {Quad}),
         {{5, 5, 255, 0, 0}, {15, 5, 0, 255, 0}, {5, 15, 0, 0, 255}, {15, 15, 255, 255, 255}}},
        {"the same image twice, from the cache",
         OnePage("q 10 0 0 10 0 0 cm /Im0 Do Q q 10 0 0 10 10 10 cm /Im0 Do Q", "/Im0 4 0 R",
                 {Quad}),
         {{2, 12, 255, 0, 0}, {17, 2, 0, 255, 0}, {7, 7, 255, 255, 255}}},
        {"stencil in the fill colour",
         OnePage("q 0 0 1 rg 20 0 0 20 0 0 cm /Im0 Do Q", "/Im0 4 0 R",
                 {ImageObject("/Width 2 /Height 1 /ImageMask true", std::string("\x40", 1))}),
         {{5, 10, 0, 0, 255}, {15, 10, 255, 255, 255}}},
        {"soft mask",
         OnePage("q 20 0 0 20 0 0 cm /Im0 Do Q", "/Im0 4 0 R",
                 {ImageObject("/Width 1 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
                              "/SMask 5 0 R",
                              std::string("\xFF\x00\x00", 3)),
                  ImageObject("/Width 2 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8",
                              std::string("\xFF\x00", 2))}),
         {{5, 10, 255, 0, 0}, {15, 10, 255, 255, 255}}},
        {"inline image",
         OnePage("q 20 0 0 20 0 0 cm BI /W 2 /H 1 /CS /RGB /BPC 8 ID " +
                     std::string("\xFF\x00\x00\x00\x00\xFF", 6) + " EI Q",
                 "", {}),
         {{5, 10, 255, 0, 0}, {15, 10, 0, 0, 255}}},
        {"inline image through ASCIIHex, then more content",
         OnePage("q 20 0 0 20 0 0 cm BI /W 1 /H 2 /CS /G /BPC 8 /F /AHx ID 00FF> EI Q 1 0 0 rg 15 "
                 "15 5 5 re f",
                 "", {}),
         {{5, 5, 0, 0, 0}, {5, 15, 255, 255, 255}, {17, 2, 255, 0, 0}}},
        {"a form that draws itself ends, the page goes on",
         OnePage("/Fm0 Do q 20 0 0 20 0 0 cm /Im0 Do Q", "/Fm0 4 0 R /Im0 5 0 R",
                 {"<< /Type /XObject /Subtype /Form /BBox [0 0 20 20] /Resources << /XObject << "
                  "/Fm0 4 0 "
                  "R >> >> /Length 7 >>\nstream\n/Fm0 Do\nendstream",
                  Quad}),
         {{5, 5, 255, 0, 0}, {15, 15, 255, 255, 255}}},
        {"two forms that draw each other end, the page goes on",
         OnePage("/Fm0 Do q 20 0 0 20 0 0 cm /Im0 Do Q", "/Fm0 4 0 R /Im0 5 0 R",
                 {"<< /Type /XObject /Subtype /Form /BBox [0 0 20 20] /Resources << /XObject << "
                  "/Fm1 6 0 R >> >> /Length 7 >>\nstream\n/Fm1 Do\nendstream",
                  Quad,
                  "<< /Type /XObject /Subtype /Form /BBox [0 0 20 20] /Resources << /XObject << "
                  "/Fm0 4 0 R >> >> /Length 7 >>\nstream\n/Fm0 Do\nendstream"}),
         {{5, 5, 255, 0, 0}, {15, 15, 255, 255, 255}}},
        {"a damaged image leaves the page",
         OnePage(
             "q 20 0 0 20 0 0 cm /Im0 Do Q 0 1 0 rg 0 0 5 5 re f", "/Im0 4 0 R",
             {ImageObject("/Width 9 /Height 9 /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter "
                          "/DCTDecode",
                          "not a jpeg")}),
         {{10, 5, 255, 255, 255}, {2, 18, 0, 255, 0}}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        vpltest::TempDir Dir;
        vpltest::WriteFile(Dir / "p.pdf", C.Pdf);
        vpltest::TRgbRaster R;
        std::string Error;
        ASSERT_TRUE(vpltest::RenderPageToRaster(Dir / "p.pdf", 1, 72, R, Error)) << Error;
        ASSERT_GE(R.width, 20);
        ASSERT_GE(R.height, 20);
        for (const auto& P : C.Pixels) {
            const uint8_t* Px = R.Pixel(P[0], P[1]);
            EXPECT_TRUE(Near(Px, P[2], P[3], P[4])) << P[0] << "," << P[1] << ": " << int(Px[0])
                                                    << " " << int(Px[1]) << " " << int(Px[2]);
        }
    }
}

// Each image object is decoded once per renderer; the cache is emptied when
// the 102nd image arrives, and a cached stencil takes each draw's fill colour.
TEST(ImageDraw, ImageCache) {
    static TServices Services;
    velmo::TPDFStructure S;
    velmo::TPDFRenderer R(nullptr);
    velmo::TPDFPicasso P;
    std::vector<std::unique_ptr<velmo::TPDFStream>> Streams;
    std::vector<std::unique_ptr<velmo::TPDFIndRef>> Refs;
    for (int I = 1; I <= 102; ++I) {
        auto* D = velmo::ObjAs<velmo::TPDFDictionary>(
            S.Decode("<< /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
                     "/BitsPerComponent 8 >>"));
        Streams.push_back(std::make_unique<velmo::TPDFStream>(&S, std::string(1, char(I)), D));
        Refs.push_back(std::make_unique<velmo::TPDFIndRef>(&S));
        Refs.back()->ObjNum = I;
        velmo::ImageXObjectDrawer()(R, Streams.back().get(), Refs.back().get(), &P,
                                    velmo::IdentityXForm, 0);
        if (I == 1) {
            // Drawn again: still one entry.
            velmo::ImageXObjectDrawer()(R, Streams.back().get(), Refs.back().get(), &P,
                                        velmo::IdentityXForm, 0);
        }
        const size_t Expected = I <= 101 ? size_t(I) : 1;
        ASSERT_EQ(R.ImageCollection().size(), Expected) << "image " << I;
    }
    EXPECT_NE(R.FindCachedImage(&S, 102, 0), nullptr);
    EXPECT_EQ(R.FindCachedImage(&S, 101, 0), nullptr);

    // A stencil drawn twice in different colours.
    vpltest::TempDir Dir;
    vpltest::WriteFile(
        Dir / "p.pdf",
        OnePage("q 1 0 0 rg 10 0 0 20 0 0 cm /Im0 Do Q q 0 0 1 rg 10 0 0 20 10 0 cm /Im0 Do Q",
                "/Im0 4 0 R",
                {ImageObject("/Width 1 /Height 1 /ImageMask true", std::string(1, '\0'))}));
    vpltest::TRgbRaster Out;
    std::string Error;
    ASSERT_TRUE(vpltest::RenderPageToRaster(Dir / "p.pdf", 1, 72, Out, Error)) << Error;
    EXPECT_TRUE(Near(Out.Pixel(5, 10), 255, 0, 0));
    EXPECT_TRUE(Near(Out.Pixel(15, 10), 0, 0, 255));
}

namespace {

std::string SmallJpeg() {
    velmo::TBitmap B;
    B.SetPixelFormat(velmo::pf24bit);
    B.SetSize(4, 2);
    for (int Y = 0; Y < 2; ++Y)
        for (int X = 0; X < 4; ++X) B.SetPixel(X, Y, X < 2 ? 0x0000FF : 0xFF0000);
    velmo::TPDFJPEGImage J;
    J.Assign(B);
    velmo::TMemoryStream S;
    J.SaveToStream(S);
    return S.Bytes();
}

}  // namespace

// An image-list render lists every image of the page in content order with
// its colour model and data, and the corners where it lands; inline CMYK
// keeps its model while CMYK image objects are listed as converted pixels.
TEST(ImageDraw, ImageListOfAPage) {
    static TServices Services;
    const std::string Jpeg = SmallJpeg();
    const std::string Content =
        "q 72 0 0 36 10 20 cm /Jpg Do Q "
        "q 10 0 0 10 0 0 cm /Gray Do Q "
        "q 10 0 0 10 0 0 cm /Cmyk Do Q "
        "q 10 0 0 10 0 0 cm /Stencil Do Q "
        "q 10 0 0 10 0 0 cm /Idx Do Q "
        "q 10 0 0 10 0 0 cm BI /W 1 /H 1 /CS /CMYK /BPC 8 ID " +
        std::string("\x00\xFF\x00\x00", 4) +
        " EI Q "
        "q 10 0 0 10 0 0 cm /Jpg Do Q";
    vpltest::TempDir Dir;
    vpltest::WriteFile(
        Dir / "p.pdf",
        OnePage(Content, "/Jpg 4 0 R /Gray 5 0 R /Cmyk 6 0 R /Stencil 7 0 R /Idx 8 0 R",
                {ImageObject("/Width 4 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
                             "/Filter /DCTDecode",
                             "\n" + Jpeg),
                 ImageObject("/Width 2 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8",
                             std::string("\x00\xFF", 2)),
                 ImageObject("/Width 1 /Height 1 /ColorSpace /DeviceCMYK /BitsPerComponent 8",
                             std::string("\xFF\x00\x00\x00", 4)),
                 ImageObject("/Width 8 /Height 1 /ImageMask true", std::string("\x0F", 1)),
                 ImageObject("/Width 1 /Height 1 /ColorSpace [/Indexed /DeviceRGB 0 <FF0000>] "
                             "/BitsPerComponent 8",
                             std::string(1, '\0'))}));
    velmo::TPDFDocument Doc;
    ASSERT_EQ(Doc.LoadFromFile((Dir / "p.pdf").u16string(), u""), velmo::lrOkay);
    velmo::TPDFPageTree* Tree = Doc.PageTree();
    Tree->SetPage(1);
    auto* List = dynamic_cast<velmo::TPDFImageList*>(Tree->GetImageList());
    ASSERT_NE(List, nullptr);
    EXPECT_TRUE(Doc.IsImageList(List));
    struct TRow {
        velmo::TPDFImageListItemType Type;
        int W, H, Bpp, Space;
        int RefObj;  // 0 for inline
    };
    const TRow Rows[] = {
        {velmo::nitJPEG, 4, 2, 24, 2, 4}, {velmo::nitBMP, 2, 1, 8, 1, 5},
        {velmo::nitBMP, 1, 1, 24, 2, 6},  {velmo::nitPNG, 8, 1, 1, 1, 7},
        {velmo::nitBMP, 1, 1, 24, 2, 8},  {velmo::nitBMP, 1, 1, 32, 3, 0},
        {velmo::nitJPEG, 4, 2, 24, 2, 4},
    };
    ASSERT_EQ(List->ImageCount(), int(std::size(Rows)));
    for (int I = 1; I <= List->ImageCount(); ++I) {
        SCOPED_TRACE(I);
        const TRow& R = Rows[I - 1];
        EXPECT_EQ(List->ImageType(I), R.Type);
        EXPECT_EQ(List->ImagePixelWidth(I), R.W);
        EXPECT_EQ(List->ImagePixelHeight(I), R.H);
        EXPECT_EQ(List->ImageBitsPerPixel(I), R.Bpp);
        EXPECT_EQ(List->ImageColorSpaceType(I), R.Space);
        EXPECT_EQ(List->ImageID(I), -1);
        if (R.RefObj) {
            ASSERT_NE(List->ImageRef(I), nullptr);
            EXPECT_EQ(List->ImageRef(I)->ObjNum, R.RefObj);
            EXPECT_FALSE(List->FormatDesc(I, 0).empty());
        } else {
            EXPECT_EQ(List->ImageRef(I), nullptr);
            EXPECT_EQ(List->FormatDesc(I, 0), "");
        }
        EXPECT_FALSE(List->ImageData(I).empty());
    }
    // The JPEG comes back as stored, without the line feed before it.
    EXPECT_EQ(List->ImageData(1), Jpeg);
    // Corners in page space: 72 x 36 points at (10, 20).
    EXPECT_DOUBLE_EQ(List->ImageCorner(1, velmo::icTopLeft, true), 10);
    EXPECT_DOUBLE_EQ(List->ImageCorner(1, velmo::icTopLeft, false), 56);
    EXPECT_DOUBLE_EQ(List->ImageCorner(1, velmo::icBottomRight, true), 82);
    EXPECT_DOUBLE_EQ(List->ImageCorner(1, velmo::icBottomRight, false), 20);
    // The CMYK object's BMP shows cyan and carries its shown resolution:
    // one pixel over 10 points.
    const std::string Bmp = List->ImageData(3);
    ASSERT_GE(Bmp.size(), 46u);
    EXPECT_EQ(Bmp.substr(0, 2), "BM");
    EXPECT_EQ(uint8_t(Bmp[38]) | uint8_t(Bmp[39]) << 8, 283);  // 7.2 dpi
}

// A renderer that drew an image and then lists it decodes it again for the
// list: the cached drawing decoder is not the listing one.
TEST(ImageDraw, CachedDecodersAreKeptPerDecodeMode) {
    static TServices Services;
    velmo::TPDFStructure S;
    velmo::TPDFRenderer R(nullptr);
    velmo::TPDFPicasso P;
    velmo::TPDFImageList List;
    R.FImageList = &List;
    const std::string Jpeg = SmallJpeg();
    auto* D = velmo::ObjAs<velmo::TPDFDictionary>(
        S.Decode("<< /Subtype /Image /Width 4 /Height 2 /ColorSpace /DeviceRGB "
                 "/BitsPerComponent 8 /Filter /DCTDecode >>"));
    velmo::TPDFStream Image(&S, Jpeg, D);
    velmo::TPDFIndRef Ref(&S);
    Ref.ObjNum = 9;
    R.FDestination = velmo::rdBitmap;
    velmo::ImageXObjectDrawer()(R, &Image, &Ref, &P, velmo::IdentityXForm, 0);
    ASSERT_EQ(R.ImageCollection().size(), 1u);
    R.FDestination = velmo::rdImageList;
    velmo::ImageXObjectDrawer()(R, &Image, &Ref, &P, velmo::IdentityXForm, 0);
    ASSERT_EQ(R.ImageCollection().size(), 2u);
    ASSERT_EQ(List.ImageCount(), 1);
    EXPECT_EQ(List.ImageType(1), velmo::nitJPEG);
    EXPECT_EQ(List.ImageData(1), Jpeg);
    // Listed again from the cache.
    velmo::ImageXObjectDrawer()(R, &Image, &Ref, &P, velmo::IdentityXForm, 0);
    EXPECT_EQ(R.ImageCollection().size(), 2u);
    EXPECT_EQ(List.ImageCount(), 2);
    EXPECT_EQ(List.ImageData(2), Jpeg);
    auto* Drawn = dynamic_cast<velmo::TPDFImageDecoder*>(R.FindCachedImage(&S, 9, 0, 0));
    ASSERT_NE(Drawn, nullptr);
    EXPECT_NE(Drawn->Bitmap(), nullptr);
    EXPECT_NE(Drawn->NativeType(), velmo::nitJPEG);
    // Text extraction decodes nothing.
    R.ClearCachedResources();
    R.FDestination = velmo::rdTextFunnel;
    velmo::ImageXObjectDrawer()(R, &Image, &Ref, &P, velmo::IdentityXForm, 0);
    EXPECT_TRUE(R.ImageCollection().empty());
}

namespace {

// A W x H JPEG of four quadrants.
std::string QuadrantJpeg(int W, int H) {
    velmo::TBitmap B(W, H, velmo::pf24bit);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            B.SetPixel(
                X, Y,
                X < W / 2 ? (Y < H / 2 ? 0x0000FF : 0x00FF00) : (Y < H / 2 ? 0xFF0000 : 0xFFFFFF));
    velmo::TPDFJPEGImage J;
    J.Assign(B);
    velmo::TMemoryStream S;
    J.SaveToStream(S);
    return S.Bytes();
}

}  // namespace

// A plain picture drawn far smaller than its samples keeps a raster of the
// largest reduction (1/2, 1/4, 1/8) that still covers its device pixels:
// JPEGs are decoded at that scale, 8-bit grey and RGB samples averaged in
// blocks. Masked, 16-bit and listed images keep their size, and a cached
// reduced image drawn larger later is decoded again.
TEST(ImageDraw, PicturesDrawnSmallKeepAReducedRaster) {
    static TServices Services;
    // 16 x 16 samples: in each 4 x 4 block every other sample is 0 and the
    // rest 8 x the block's number (red of RGB), so the means are known:
    // block 5, kept pixel (1, 1) of a quarter, has the mean 20.
    std::string Rgb, Grey;
    for (int Y = 0; Y < 16; ++Y)
        for (int X = 0; X < 16; ++X) {
            const int Block = (Y / 4) * 4 + X / 4;
            const int V = (X + Y) % 2 ? 8 * Block : 0;
            Rgb += char(V);
            Rgb += char(100);
            Rgb += char(255 - V);
            Grey += char(V);
        }
    struct TCase {
        const char* Name;
        std::string Dict;  // after /Subtype /Image
        std::string Data;
        double Drawn;  // device pixels of each side
        int Want;      // kept raster's width (and height)
        int Mean;      // red (grey) of the kept pixel (1, 1), -1: not checked
    };
    const std::vector<TCase> Cases = {
        {"RGB at a quarter", "/Width 16 /Height 16 /ColorSpace /DeviceRGB /BitsPerComponent 8", Rgb,
         4, 4, 20},
        {"RGB at a half", "/Width 16 /Height 16 /ColorSpace /DeviceRGB /BitsPerComponent 8", Rgb, 8,
         8, -1},
        {"RGB covering more than half",
         "/Width 16 /Height 16 /ColorSpace /DeviceRGB "
         "/BitsPerComponent 8",
         Rgb, 9, 16, -1},
        {"grey at a quarter", "/Width 16 /Height 16 /ColorSpace /DeviceGray /BitsPerComponent 8",
         Grey, 4, 4, 20},
        {"grey at most an eighth",
         "/Width 16 /Height 16 /ColorSpace /DeviceGray "
         "/BitsPerComponent 8",
         Grey, 1, 2, -1},
        {"grey decode 1 0",
         "/Width 16 /Height 16 /ColorSpace /DeviceGray /BitsPerComponent 8 "
         "/Decode [1 0]",
         Grey, 4, 4, 255 - 20},
        {"16-bit samples keep their size",
         "/Width 16 /Height 8 /ColorSpace /DeviceRGB "
         "/BitsPerComponent 16",
         Rgb, 2, 16, -1},
        {"a colour key keeps the size",
         "/Width 16 /Height 16 /ColorSpace /DeviceRGB "
         "/BitsPerComponent 8 /Mask [0 0 0 0 0 0]",
         Rgb, 4, 16, -1},
        {"JPEG at a quarter",
         "/Width 64 /Height 32 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
         "/Filter /DCTDecode",
         QuadrantJpeg(64, 32), 8, 16, -1},
        {"JPEG at full size",
         "/Width 64 /Height 32 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
         "/Filter /DCTDecode",
         QuadrantJpeg(64, 32), 40, 64, -1},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        velmo::TPDFStructure S;
        velmo::TPDFRenderer R(nullptr);
        velmo::TPDFPicasso P;
        auto* D =
            velmo::ObjAs<velmo::TPDFDictionary>(S.Decode("<< /Subtype /Image " + C.Dict + " >>"));
        ASSERT_NE(D, nullptr);
        velmo::TPDFStream Image(&S, C.Data, D);
        velmo::TPDFIndRef Ref(&S);
        Ref.ObjNum = 7;
        const velmo::TPDFXForm Mat{C.Drawn, 0, 0, C.Drawn, 0, 0};
        velmo::ImageXObjectDrawer()(R, &Image, &Ref, &P, Mat, 0);
        auto* Dec = dynamic_cast<velmo::TPDFImageDecoder*>(R.FindCachedImage(&S, 7, 0, 0));
        ASSERT_NE(Dec, nullptr);
        ASSERT_NE(Dec->Bitmap(), nullptr);
        EXPECT_EQ(Dec->Bitmap()->Width(), C.Want);
        if (C.Mean >= 0) {
            const velmo::TColor Px = Dec->Bitmap()->GetPixel(1, 1);
            EXPECT_NEAR(int(Px & 0xFF), C.Mean, 1) << std::hex << Px;
        }
    }
    // A reduced JPEG drawn larger later is decoded again at the size the
    // new draw needs; the cache keeps one entry for the object.
    velmo::TPDFStructure S;
    velmo::TPDFRenderer R(nullptr);
    velmo::TPDFPicasso P;
    auto* D = velmo::ObjAs<velmo::TPDFDictionary>(
        S.Decode("<< /Subtype /Image /Width 64 /Height 32 /ColorSpace /DeviceRGB "
                 "/BitsPerComponent 8 /Filter /DCTDecode >>"));
    velmo::TPDFStream Image(&S, QuadrantJpeg(64, 32), D);
    velmo::TPDFIndRef Ref(&S);
    Ref.ObjNum = 7;
    for (const auto& [Drawn, Want] :
         std::vector<std::pair<double, int>>{{8, 16}, {8, 16}, {50, 64}, {8, 64}}) {
        const velmo::TPDFXForm Mat{Drawn, 0, 0, Drawn, 0, 0};
        velmo::ImageXObjectDrawer()(R, &Image, &Ref, &P, Mat, 0);
        ASSERT_EQ(R.ImageCollection().size(), 1u);
        auto* Dec = dynamic_cast<velmo::TPDFImageDecoder*>(R.FindCachedImage(&S, 7, 0, 0));
        ASSERT_NE(Dec, nullptr);
        EXPECT_EQ(Dec->Bitmap()->Width(), Want) << Drawn;
    }
}
