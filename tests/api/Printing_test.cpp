// Printing through the public class and the printing classes, on printers
// registered inside the program (their jobs go only to files or previews):
// preview geometry, custom printer settings written into the device mode,
// the print options word, status requests, annotations on the printed page,
// bins and media types, and a job printed to a file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "api/VelmoPDF.h"
#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "platform/print/Print.h"
#include "platform/print/Printer.h"
#include "render/Printing.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

// A 600-DPI US Letter printer without margins, and a small 72-DPI one for
// pictures that are quick to check.
constexpr const char* kLetter = "vpl-letter-600";
constexpr const char* kSmall = "vpl-small-72";

void RegisterPrinters() {
    static const bool Done = [] {
        TLocalPrinterInfo Letter;
        Letter.Name = kLetter;
        Letter.Bins = {{7, "Auto", "Automatic"}, {4, "Manual", "Manual Feed"},
                       {258, "Tray9", "Tray 9 with a name longer than 24 bytes"}};
        Letter.MediaTypes = {{1, "Plain", "Plain Paper"}, {257, "Cardstock", "Card Stock"}};
        RegisterLocalPrinter(Letter);
        TLocalPrinterInfo Small;
        Small.Name = kSmall;
        Small.Caps.DPIX = Small.Caps.DPIY = 72;
        Small.Caps.PhysicalWidth = Small.Caps.HorzRes = 200;
        Small.Caps.PhysicalHeight = Small.Caps.VertRes = 200;
        RegisterLocalPrinter(Small);
        return true;
    }();
    (void)Done;
}

std::string StreamObject(const std::string& Dict, const std::string& Data) {
    return "<< " + Dict + " /Length " + std::to_string(Data.size()) + " >>\nstream\n" + Data +
           "\nendstream";
}

TEST(Printing, PreviewOfALetterPageAt600DPI) {
    RegisterPrinters();
    TPrinter P;
    P.SetPrinter(kLetter, "WINSPOOL", "", nullptr);
    TVPLPrinterJob Job(&P, u"", false);
    EXPECT_EQ(Job.FullPageWidth(), 5100);
    EXPECT_EQ(Job.FullPageHeight(), 6600);
    EXPECT_EQ(Job.GetDPI(), 600);
    Job.SetupPreview(1000);
    ASSERT_NE(Job.PreviewBitmap(), nullptr);
    EXPECT_EQ(Job.PreviewBitmap()->Width(), 772);
    EXPECT_EQ(Job.PreviewBitmap()->Height(), 1000);
    EXPECT_DOUBLE_EQ(Job.PreviewScale(), 1000.0 / 6600);
    EXPECT_EQ(Job.FullPageHeight(), 1000);
    // Previewing prints nothing: the job counts as printing throughout.
    EXPECT_TRUE(Job.Printing());
    // Without a printer every operation is a no-op.
    TVPLPrinterJob None(nullptr, u"", true);
    None.BeginDoc();
    EXPECT_EQ(None.Canvas(), nullptr);
    EXPECT_EQ(None.PageWidth(), 0);
    EXPECT_FALSE(None.Printing());
}

TEST(Printing, CustomPrinterSettingsReachTheDeviceMode) {
    RegisterPrinters();
    TPDFCustomPrinter C(u"vpl-letter-600");
    // Accepted, refused and unknown settings.
    EXPECT_TRUE(C.Setup(1, 0));
    EXPECT_FALSE(C.Setup(5, 4801));
    EXPECT_TRUE(C.Setup(5, 600));
    EXPECT_FALSE(C.Setup(12, 1));
    EXPECT_FALSE(C.Setup(0, 1));
    EXPECT_FALSE(C.Setup(6, 3));
    EXPECT_TRUE(C.Setup(7, 2));
    EXPECT_EQ(C.Fields, DM_PAPERSIZE | DM_PRINTQUALITY | DM_DUPLEX);

    TPrinter P;
    P.SetPrinter(kLetter, "WINSPOOL", "", nullptr);
    C.SetPrinter(P, std::string(219, '\x11'));  // wrong length: ignored
    ASSERT_NE(P.DevMode(), nullptr);
    const TDevMode& DM = *P.DevMode();
    EXPECT_EQ(DM.DeviceName(), kLetter);
    // Paper size 0 was stored but is not written.
    EXPECT_EQ(DM.Get16(TDevMode::oPaperSize), 1);
    EXPECT_EQ(DM.Get16(TDevMode::oPrintQuality), 600);
    EXPECT_EQ(DM.Get16(TDevMode::oYResolution), 600);
    EXPECT_NE(DM.Fields() & DM_YRESOLUTION, 0u);
    EXPECT_EQ(DM.Get16(TDevMode::oDuplex), 2);

    // A record of the right length replaces the whole device mode first.
    TDevMode Other = TDevMode::ForPrinter("other", 300, 9);
    TPDFCustomPrinter Q(u"vpl-letter-600");
    ASSERT_TRUE(Q.Setup(5, 2));  // medium quality
    Q.SetPrinter(P, Other.Bytes());
    EXPECT_EQ(P.DevMode()->DeviceName(), "other");
    EXPECT_EQ(P.DevMode()->Get16(TDevMode::oPaperSize), 9);
    EXPECT_EQ(P.DevMode()->Get16(TDevMode::oPrintQuality), -3);

    // The job options of a device mode.
    const auto Options = DevModeJobOptions(kLetter, *P.DevMode());
    auto Has = [&](const std::string& K, const std::string& V) {
        for (const auto& [Key, Value] : Options)
            if (Key == K && Value == V) return true;
        return false;
    };
    EXPECT_TRUE(Has("media", "iso_a4_210x297mm"));
    EXPECT_TRUE(Has("print-quality", "4"));
    EXPECT_TRUE(Has("sides", "one-sided"));
    EXPECT_TRUE(Has("orientation-requested", "3"));
}

TEST(Printing, OptionsWordStatusAndPrintMode) {
    TVelmoPDF Lib;
    EXPECT_EQ(Lib.PrintOptions(1, -1, u"First"), (450 << 8) + 49);
    EXPECT_EQ(Lib.PrintOptions(2, 0, u"Second"), (451 << 8) + 2);
    EXPECT_EQ(Lib.PrintOptions(0x13, 1, u"Third"), (452 << 8) + 3 + 16);
    // Status tracking is off: job queries answer 0.
    EXPECT_EQ(Lib.RequestPrinterStatus(301), 0);
    EXPECT_EQ(Lib.RequestPrinterStatus(102), 0);
    EXPECT_EQ(Lib.RequestPrinterStatus(103), 1);
    EXPECT_EQ(Lib.RequestPrinterStatus(102), 1);
    EXPECT_EQ(Lib.RequestPrinterStatus(105), 1);
    EXPECT_EQ(Lib.RequestPrinterStatus(104), 1);
    EXPECT_EQ(Lib.RequestPrinterStatus(105), 0);
    // Tracked, but no job: 0.
    EXPECT_EQ(Lib.RequestPrinterStatus(200), 0);
    EXPECT_EQ(Lib.RequestPrinterStatus(999), 0);
    EXPECT_EQ(Lib.PrintMode(0), 0);
    EXPECT_EQ(Lib.PrintMode(2), 2);
    EXPECT_EQ(Lib.PrintMode(-1), 2);
    // Unknown printers change nothing.
    EXPECT_EQ(Lib.PrintDocument(u"no such printer", 1, 1, 0), 0);
    EXPECT_EQ(Lib.NewCustomPrinter(u"no such printer"), u"");
    EXPECT_EQ(Lib.SetupCustomPrinter(u"VPLPrinter00000000", 1, 1), 0);
}

TEST(Printing, AnnotationsPrintWhenPrintIsSetAndHiddenIsClear) {
    RegisterPrinters();
    // Hidden 2, Print 4, NoView 32: every combination.
    for (int Combo = 0; Combo < 8; ++Combo) {
        const int Flags = ((Combo & 1) ? 2 : 0) | ((Combo & 2) ? 4 : 0) | ((Combo & 4) ? 32 : 0);
        const std::string Pdf = vpltest::PdfFromObjects({
            "<< /Type /Catalog /Pages 2 0 R >>",
            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [4 0 R] >>",
            "<< /Type /Annot /Subtype /Square /Rect [50 50 150 150] /F " + std::to_string(Flags) +
                " /AP << /N 5 0 R >> >>",
            StreamObject("/Type /XObject /Subtype /Form /BBox [0 0 100 100]", "0 0 100 100 re f"),
        });
        TVelmoPDF Lib;
        ASSERT_NE(Lib.LoadFromString(Pdf, u""), 0);
        const std::string Bmp = Lib.GetPrintPreviewBitmapToString(u"vpl-small-72", 1, 0, 200, 0);
        ASSERT_FALSE(Bmp.empty()) << Flags;
        TStringStream S(Bmp);
        TBitmap B;
        B.LoadFromStream(S);
        ASSERT_EQ(B.Width(), 200);
        const bool Printed = (Flags & 2) == 0 && (Flags & 4) != 0;
        EXPECT_EQ(B.GetPixel(100, 100), Printed ? clBlack : clWhite) << "flags " << Flags;
        EXPECT_EQ(B.GetPixel(20, 20), clWhite);
    }
}

TEST(Printing, BinsMediaTypesAndDeviceModeBytes) {
    RegisterPrinters();
    TVelmoPDF Lib;
    EXPECT_EQ(Lib.GetPrinterBins(u"vpl-letter-600"),
              u"7,\"Automatic\"\r\n4,\"Manual Feed\"\r\n258,\"Tray 9 with a name longe\"\r\n");
    EXPECT_EQ(Lib.GetPrinterMediaTypes(u"vpl-letter-600"),
              u"1,\"Plain Paper\"\r\n257,\"Card Stock\"\r\n");
    const std::string DM = Lib.GetPrinterDevModeToString(u"vpl-letter-600");
    ASSERT_EQ(DM.size(), 220u);
    EXPECT_EQ(uint8_t(DM[68]) | (uint8_t(DM[69]) << 8), 220);
    // A custom printer applies its settings to the device mode it reports.
    const std::u16string Custom = Lib.NewCustomPrinter(u"vpl-letter-600");
    ASSERT_EQ(Custom.rfind(u"VPLPrinter", 0), 0u);
    ASSERT_EQ(Custom.size(), 18u);
    EXPECT_EQ(Lib.SetupCustomPrinter(Custom, 4, 3), 1);
    EXPECT_EQ(Lib.SetupCustomPrinter(Custom, 4, 0), 0);
    const std::string CustomDM = Lib.GetPrinterDevModeToString(Custom);
    ASSERT_EQ(CustomDM.size(), 220u);
    EXPECT_EQ(uint8_t(CustomDM[86]), 3);  // copies
    // Both names are listed; the local printers are known to the lists.
    const std::u16string Names = Lib.GetLatestPrinterNames();
    EXPECT_NE(Names.find(u"\"vpl-letter-600\""), std::u16string::npos);
    EXPECT_NE(Names.find(u"\"vpl-small-72\""), std::u16string::npos);
}

TEST(Printing, JobToAFileHoldsEveryPrintedPage) {
    RegisterPrinters();
    const std::string Content = "0 0 0 rg 10 10 50 50 re f";
    const std::string Pdf = vpltest::PdfFromObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 6 0 R >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 6 0 R >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 6 0 R >>",
        StreamObject("", Content),
    });
    TVelmoPDF Lib;
    ASSERT_NE(Lib.LoadFromString(Pdf, u""), 0);
    vpltest::TempDir Dir;
    const std::string Out = (Dir / "job.pdf").string();
    ASSERT_EQ(Lib.PrintPagesToFile(u"vpl-small-72", u"1,3", 0,
                                   std::u16string(Out.begin(), Out.end())),
              1);
    const std::string Written = vpltest::ReadFile(Out);
    ASSERT_EQ(Written.rfind("%PDF-", 0), 0u);
    size_t Pages = 0;
    for (size_t P = Written.find("/Type /Page"); P != std::string::npos;
         P = Written.find("/Type /Page", P + 1))
        if (Written.compare(P, 12, "/Type /Pages") != 0) ++Pages;
    EXPECT_EQ(Pages, 2u);
    // The file name is used for that job only.
    EXPECT_TRUE(Lib.FPrintToFile.empty());
}


TEST(Printing, BandsOfTheRendererBufferReachThePaperAndNoPassThrough) {
    RegisterPrinters();
    TPrinter P;
    P.SetPrinter(kSmall, "WINSPOOL", "", nullptr);
    HDC Dc = P.Handle();
    ASSERT_NE(Dc, nullptr);
    TBitmap* Page = PrinterDCPage(Dc);
    ASSERT_NE(Page, nullptr);
    // The printers take no JPEG or PNG data as it is.
    EXPECT_FALSE(PrinterAcceptsJPEG(Dc));
    EXPECT_FALSE(PrinterAcceptsPNG(Dc));
    // A bottom-up 4 × 3 buffer: row r from the bottom has blue = 10 r,
    // green = column.
    std::vector<uint8_t> Buffer(4 * 3 * 3);
    for (int R = 0; R < 3; ++R)
        for (int C = 0; C < 4; ++C) {
            Buffer[size_t(R * 12 + C * 3)] = uint8_t(10 * R);
            Buffer[size_t(R * 12 + C * 3 + 1)] = uint8_t(C);
            Buffer[size_t(R * 12 + C * 3 + 2)] = 200;
        }
    // The band (1, 0, 2 × 2) lands at (50 + 1, 60 + 0); a band reaching
    // past the buffer is cut to it.
    PrintRendererBand(Dc, Buffer.data(), 4, 3, 1, 0, 2, 2, 50, 60, 0);
    EXPECT_EQ(Page->GetPixel(51, 60), RGB(200, 1, 20));  // top row = buffer row 2
    EXPECT_EQ(Page->GetPixel(52, 61), RGB(200, 2, 10));
    EXPECT_EQ(Page->GetPixel(50, 60), clWhite);
    EXPECT_EQ(Page->GetPixel(53, 60), clWhite);
    PrintRendererBand(Dc, Buffer.data(), 4, 3, 2, 1, 100, 100, 0, 0, 0);
    EXPECT_EQ(Page->GetPixel(2, 1), RGB(200, 2, 10));
    EXPECT_EQ(Page->GetPixel(3, 2), RGB(200, 3, 0));
    EXPECT_EQ(Page->GetPixel(4, 1), clWhite);
    PrintRendererBand(Dc, Buffer.data(), 4, 3, -10, -10, 5, 5, 0, 0, 0);  // nothing inside
}

}  // namespace
}  // namespace velmo
