// Rendering operations of the public class: page ranges and numbers, file
// names, failures of the file and of the page writers, the settings tables,
// the back-end choice and the page image lists.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "api/VelmoPDF.h"
#include "codecs/TIFFReader.h"
#include "document/PageServices.h"
#include "platform/files/WideFile.h"
#include "render/Picasso.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

namespace fs = std::filesystem;

std::u16string Wide(const fs::path& p) { return FileSystemNameToWide(p.string()); }

// A document of Pages pages, each 20 × 10 points, loaded and selected;
// with BrokenLast the last page draws a form that draws itself, which the
// renderer reports.
void LoadPages(TVelmoPDF& Lib, int Pages, bool BrokenLast = false) {
    std::vector<std::string> Objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string Kids;
    const int Form = 3 + 2 * Pages;
    for (int P = 0; P < Pages; ++P) {
        const int Page = 3 + 2 * P;
        const bool Broken = BrokenLast && P == Pages - 1;
        const std::string Content = Broken ? "/X Do" : "0 0 1 rg 0 0 5 5 re f";
        Kids += std::to_string(Page) + " 0 R ";
        Objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 20 10] /Contents " +
                          std::to_string(Page + 1) + " 0 R" +
                          (Broken ? " /Resources << /XObject << /X " + std::to_string(Form) +
                                        " 0 R >> >>"
                                  : "") +
                          " >>");
        Objects.push_back("<< /Length " + std::to_string(Content.size()) + " >>\nstream\n" +
                          Content + "\nendstream");
    }
    Objects[1] = "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Pages) + " >>";
    if (BrokenLast)
        Objects.push_back("<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Length 5 >>\n"
                          "stream\n/X Do\nendstream");
    ASSERT_NE(Lib.LoadFromString(vpltest::PdfFromObjects(Objects), u""), 0);
}

std::vector<std::string> Listing(const fs::path& Dir) {
    std::vector<std::string> Names;
    for (const auto& E : fs::recursive_directory_iterator(Dir))
        if (E.is_regular_file()) Names.push_back(fs::relative(E.path(), Dir).string());
    std::sort(Names.begin(), Names.end());
    return Names;
}

TEST(RenderOperations, DocumentPageRangesAndNames) {
    struct TCase {
        const char* Name;
        int32_t Start, End;
        const char* FileName;  // below the test folder
        std::vector<std::string> Files;
    };
    const TCase Cases[] = {
        {"reversed range", 5, 2, "p.bmp", {"p0002.bmp", "p0003.bmp", "p0004.bmp", "p0005.bmp"}},
        {"end beyond the last page", 5, 99, "p.bmp", {"p0005.bmp", "p0006.bmp"}},
        {"start below 1", -3, 1, "p.bmp", {"p0001.bmp"}},
        {"no extension", 1, 1, "page", {"page0001"}},
        {"dot in a folder name", 2, 2, "x.jpg/page", {"x.jpg/page0002"}},
        {"number placeholder", 3, 3, "a%pb.bmp", {"a0003b.bmp"}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        vpltest::TempDir Dir;
        fs::create_directories(Dir.path() / "x.jpg");
        TVelmoPDF Lib;
        LoadPages(Lib, 6);
        Lib.SelectPage(4);
        EXPECT_EQ(Lib.RenderDocumentToFile(72, C.Start, C.End, 0, Wide(Dir / C.FileName)), 1);
        EXPECT_EQ(Lib.SelectedPage(), 4);
        EXPECT_EQ(Listing(Dir.path()), C.Files);
    }
}

TEST(RenderOperations, DocumentFileThatCannotBeCreatedRaises) {
    vpltest::TempDir Dir;
    TVelmoPDF Lib;
    LoadPages(Lib, 2);
    Lib.SelectPage(2);
    EXPECT_THROW(Lib.RenderDocumentToFile(72, 1, 2, 5, Wide(Dir / "missing" / "p.png")),
                 std::exception);
    EXPECT_EQ(Lib.SelectedPage(), 2);
}

TEST(RenderOperations, UnknownFormatLeavesEmptyFiles) {
    vpltest::TempDir Dir;
    TVelmoPDF Lib;
    LoadPages(Lib, 2);
    EXPECT_EQ(Lib.RenderDocumentToFile(72, 1, 2, 11, Wide(Dir / "p.x")), 1);
    ASSERT_EQ(Listing(Dir.path()), (std::vector<std::string>{"p0001.x", "p0002.x"}));
    EXPECT_EQ(fs::file_size(Dir / "p0001.x"), 0u);
}

TEST(RenderOperations, RefusedPageIsAFailureNamingThePage) {
    // A page writer that refuses its page (an encoder error, a size the
    // format cannot hold) must not leave a result of success behind.
    vpltest::TempDir Dir;
    TVelmoPDF Lib;  // installs the real writers first
    LoadPages(Lib, 3);
    TPDFPageWriterHooks& Hooks = PageWriterHooks();
    const auto Saved = Hooks.WriteGIF;
    Hooks.WriteGIF = [](const TBitmap&, TStream&) { throw std::runtime_error("too wide"); };
    const int32_t Result = Lib.RenderDocumentToFile(72, 1, 3, 6, Wide(Dir / "p.gif"));
    const std::u16string Error = Lib.LastRenderError();
    TMemoryStream Memory;
    const int32_t StreamResult = Lib.RenderPageToStream(72, 2, 6, Memory);
    Hooks.WriteGIF = Saved;
    EXPECT_EQ(Result, 0);
    EXPECT_NE(Error.find(u"Page 1"), std::u16string::npos);
    EXPECT_NE(Error.find(u"too wide"), std::u16string::npos);
    EXPECT_EQ(StreamResult, 0);
    EXPECT_NE(Lib.LastRenderError(), u"");
}

TEST(RenderOperations, SinglePages) {
    vpltest::TempDir Dir;
    TVelmoPDF Lib;
    LoadPages(Lib, 3, true);
    Lib.SelectPage(2);
    // Page 0 renders page 1; a folder that does not exist gives 2.
    EXPECT_EQ(Lib.RenderPageToFile(72, 0, 0, Wide(Dir / "one.bmp")), 1);
    EXPECT_EQ(Lib.RenderPageToFile(72, 1, 0, Wide(Dir / "no" / "one.bmp")), 2);
    EXPECT_EQ(Lib.SelectedPage(), 2);
    const std::string BMP = vpltest::ReadFile(Dir / "one.bmp");
    ASSERT_GT(BMP.size(), 54u);
    EXPECT_EQ(BMP.substr(0, 2), "BM");
    // 20 × 10 points at 144 DPI (72 × scale 2).
    Lib.SetRenderScale(2);
    const std::string Scaled = Lib.RenderPageToString(72, 1, 0);
    ASSERT_GT(Scaled.size(), 26u);
    EXPECT_EQ(uint8_t(Scaled[18]), 40);
    EXPECT_EQ(uint8_t(Scaled[22]), 20);
    // A page beyond the last renders the last one, whose broken content is
    // reported and still drawn as far as it goes.
    EXPECT_EQ(Lib.RenderPageToString(72, 99, 5).substr(1, 3), "PNG");
    EXPECT_NE(Lib.LastRenderError(), u"");
    EXPECT_EQ(Lib.RenderPageToString(72, 1, 5).substr(1, 3), "PNG");
    EXPECT_EQ(Lib.LastRenderError(), u"");
}

TEST(RenderOperations, MultipageTIFF) {
    // Pages 3, 1, 1 of pages marked by their widths; each page of the file
    // is the page the single-page road writes.
    vpltest::TempDir Dir;
    TVelmoPDF Lib;
    LoadPages(Lib, 3);
    for (const int32_t Mode : {0, 1}) {
        SCOPED_TRACE(Mode);
        const fs::path File = Dir / ("m" + std::to_string(Mode) + ".tif");
        ASSERT_EQ(Lib.RenderAsMultipageTIFFToFile(72, u"3,1,1", Mode, 0, Wide(File)), 1);
        TPDFTIFF Reader;
        Reader.LoadFromString(vpltest::ReadFile(File), -1);
        EXPECT_EQ(Reader.PageCount(), 3);
    }
    // Other image or output options, or no page, give 0.
    EXPECT_EQ(Lib.RenderAsMultipageTIFFToFile(72, u"1", 2, 0, Wide(Dir / "x.tif")), 0);
    EXPECT_EQ(Lib.RenderAsMultipageTIFFToFile(72, u"1", 0, 1, Wide(Dir / "x.tif")), 0);
    EXPECT_EQ(Lib.RenderAsMultipageTIFFToFile(72, u"", 0, 0, Wide(Dir / "x.tif")), 0);
    EXPECT_THROW(Lib.RenderAsMultipageTIFFToFile(72, u"1", 0, 0, Wide(Dir / "no" / "x.tif")),
                 std::exception);
}

TEST(RenderOperations, MemoryNeedsTheRendererLibrary) {
    TVelmoPDF Lib;
    LoadPages(Lib, 1);
    std::vector<uint8_t> Buffer(20 * 10 * 4, 0xAB);
    EXPECT_EQ(Lib.RenderPageToMemory(72, 1, Buffer.data(), 20, 10, 8), 0);
    EXPECT_EQ(Lib.RenderPageToMemory(72, 1, Buffer.data(), 20, 10, 32), 0);
    EXPECT_EQ(Buffer, std::vector<uint8_t>(20 * 10 * 4, 0xAB));
}

TEST(RenderOperations, Settings) {
    TVelmoPDF Lib;
    EXPECT_EQ(Lib.SetJPEGQuality(0), 1);
    EXPECT_EQ(Lib.FJPEGQuality, 1);
    EXPECT_EQ(Lib.SetJPEGQuality(250), 1);
    EXPECT_EQ(Lib.FJPEGQuality, 100);
    EXPECT_EQ(Lib.SetPNGTransparencyColor(255, 0, 0), 1);
    EXPECT_TRUE(Lib.HasPNGTransparency);
    EXPECT_EQ(Lib.PNGTransparencyColor, 0x0000FFu);
    EXPECT_EQ(Lib.SetPNGTransparencyColor(0x1FF, 0x102, 3), 1);
    EXPECT_EQ(Lib.PNGTransparencyColor, 0x0302FFu);
    EXPECT_EQ(Lib.SetRenderCropType(0), 0);
    EXPECT_EQ(Lib.SetRenderCropType(6), 0);
    EXPECT_EQ(Lib.FRenderCropType, 2);
    EXPECT_EQ(Lib.SetRenderCropType(5), 1);
    EXPECT_EQ(Lib.FRenderCropType, 5);
    EXPECT_EQ(Lib.SetRenderDCErasePage(7), 1);
    EXPECT_TRUE(Lib.FRenderDCErasePage);
    EXPECT_EQ(Lib.SetGDIPlusFileName(u"/no/such/library.so"), 0);

    // Back ends: anything but 1, 2 and 3 selects the default one.
    EXPECT_EQ(Lib.SelectRenderer(2), 2);
    EXPECT_EQ(Lib.SelectedRenderer(), 2);
    EXPECT_EQ(Lib.SelectRenderer(3), 3);
    EXPECT_EQ(Lib.SelectedRenderer(), 3);
    EXPECT_EQ(Lib.SelectRenderer(4), 0);
    EXPECT_EQ(Lib.SelectedRenderer(), 1);
    EXPECT_EQ(Lib.SetCairoFileName(u""), 0);
    EXPECT_EQ(Lib.SetKPLRFileName(u"/no/such/renderer.so"), 0);
    EXPECT_TRUE(Lib.FKPLRFileName.empty());
}

TEST(RenderOperations, OptionTables) {
    struct TCase {
        bool Render;  // SetRenderOptions, else SetGDIPlusOptions
        int32_t ID, Value, Result;
    };
    const TCase Cases[] = {
        {false, 0, 1, 1},    {false, 0, 2, 0},    {false, 5, 255, 1}, {false, 5, 256, 0},
        {false, 7, 2, 1},    {false, 7, 3, 0},    {false, 9, 10, 1},  {false, 9, 11, 0},
        {false, 10, 0, 0},   {false, 10, 4, 1},   {false, 11, 7, 1},  {false, 11, 8, 0},
        {false, 12, 4, 1},   {false, 12, 5, 0},   {false, 13, 0, 0},  {true, 1, 0, 1},
        {true, 2, 1, 1},     {true, 3, 2, 0},     {true, 6, 1234, 0}, {true, 7, 99, 0},
        {true, 8, -5, 0},    {true, 9, 1, 1},     {true, 9, 2, 0},    {true, 10, 1, 1},
        {true, 11, 1, 0},    {true, 0, 1, 0},
    };
    TVelmoPDF Lib;
    for (const TCase& C : Cases) {
        SCOPED_TRACE(testing::Message() << (C.Render ? "render " : "drawing ") << C.ID << "="
                                        << C.Value);
        EXPECT_EQ(C.Render ? Lib.SetRenderOptions(C.ID, C.Value)
                           : Lib.SetGDIPlusOptions(C.ID, C.Value),
                  C.Result);
    }
    const TGDIPlusSettings& S = *Lib.FGDIPlusSettings;
    EXPECT_TRUE(S.UseGDIPlus);
    EXPECT_EQ(S.MonoThreshold, 255);
    EXPECT_EQ(S.SmoothingMode, 4);
    EXPECT_FALSE(S.RenderFormFields);
    // The progress target is stored although the setter reports 0.
    EXPECT_EQ(reinterpret_cast<intptr_t>(S.ProgressWindow), 1234);
    EXPECT_EQ(S.ProgressMessage, 99);
    EXPECT_EQ(S.ProgressData, -5);
    EXPECT_EQ(S.PathCombineMode, cmCombinePaths);
    EXPECT_TRUE(S.DirectFonts);
}

TEST(RenderOperations, KeptRenderer) {
    TVelmoPDF Lib;
    LoadPages(Lib, 1);
    EXPECT_EQ(Lib.CreateRenderer(), 1);
    EXPECT_EQ(Lib.CreateRenderer(), 1);  // the first is freed
    EXPECT_EQ(Lib.DestroyRenderer(), 1);
    EXPECT_EQ(Lib.DestroyRenderer(), 1);
}

TEST(RenderOperations, PageImageList) {
    // A page with a 3 × 2 grey image drawn 30 × 20 points at (10, 5).
    const std::string Image = "<< /Type /XObject /Subtype /Image /Width 3 /Height 2 "
                              "/ColorSpace /DeviceGray /BitsPerComponent 8 /Length 6 >>\n"
                              "stream\n\x10\x20\x30\x40\x50\x60\nendstream";
    const std::string Content = "q 30 0 0 20 10 5 cm /Im Do Q";
    const std::string Pdf = vpltest::PdfFromObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 50] /Contents 4 0 R "
        "/Resources << /XObject << /Im 5 0 R >> >> >>",
        "<< /Length " + std::to_string(Content.size()) + " >>\nstream\n" + Content +
            "\nendstream",
        Image,
    });
    TVelmoPDF Lib;
    ASSERT_NE(Lib.LoadFromString(Pdf, u""), 0);
    const int32_t List = Lib.GetPageImageList(0);
    ASSERT_NE(List, 0);
    ASSERT_EQ(Lib.GetImageListCount(List), 1);
    EXPECT_EQ(Lib.GetImageListItemIntProperty(List, 1, 401), 3);
    EXPECT_EQ(Lib.GetImageListItemIntProperty(List, 1, 402), 2);
    EXPECT_EQ(Lib.GetImageListItemIntProperty(List, 1, 407), 5);
    EXPECT_EQ(Lib.GetImageListItemIntProperty(List, 1, 999), 0);
    EXPECT_EQ(Lib.GetImageListItemDblProperty(List, 1, 509), 0);
    EXPECT_FALSE(Lib.GetImageListItemDataToString(List, 1, 0).empty());
    EXPECT_FALSE(Lib.GetImageListItemFormatDesc(List, 1, 0).empty());
    // 406 makes the image object once and then gives the same ID.
    const int32_t ImageID = Lib.GetImageListItemIntProperty(List, 1, 406);
    EXPECT_NE(ImageID, 0);
    EXPECT_EQ(Lib.GetImageListItemIntProperty(List, 1, 406), ImageID);
    EXPECT_NE(Lib.GetImageListItemIntProperty(List, 1, 405), ImageID);
    vpltest::TempDir Dir;
    EXPECT_EQ(Lib.SaveImageListItemDataToFile(List, 1, 0, Wide(Dir / "i.bin")), 1);
    EXPECT_EQ(Lib.SaveImageListItemDataToFile(List, 2, 0, Wide(Dir / "j.bin")), 0);
    // A released list's ID names nothing any more.
    EXPECT_EQ(Lib.ReleaseImageList(List), 1);
    EXPECT_EQ(Lib.ReleaseImageList(List), 0);
    EXPECT_EQ(Lib.GetImageListCount(List), 0);
    EXPECT_EQ(Lib.GetImageListItemIntProperty(List, 1, 401), 0);
}

}  // namespace
}  // namespace velmo
