#include "api/VelmoPDF.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "content/Image.h"
#include "document/ImageBase.h"
#include "document/PageTree.h"
#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"
#include "tests/content/ImageFixtures.h"
#include "tests/document/PdfBuilder.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

std::u16string Wide(const std::filesystem::path& p) { return FileSystemNameToWide(p.string()); }

// Reaches the progress arithmetic, which only long operations call.
class ProgressProbe : public TVelmoPDF {
public:
    using TVelmoPDF::ProgressDone;
    using TVelmoPDF::SubProgress;
};

std::string JpegBytes(uint16_t W, uint16_t H) {
    return vpltest::Jpeg("", vpltest::Frame(0xC0, W, H, 3));
}

TEST(VelmoPDF, FreshObjectHasOneSelectedBlankDocument) {
    TVelmoPDF lib;
    EXPECT_EQ(lib.DocumentCount(), 1);
    const int32_t id = lib.SelectedDocument();
    EXPECT_NE(id, 0);
    EXPECT_EQ(id & 0x78000000, 0x58000000);
    EXPECT_EQ(lib.SelectedDocument(), id);
    EXPECT_EQ(lib.GetDocumentID(1), id);
    EXPECT_EQ(lib.PageCount(), 1);
    EXPECT_EQ(lib.SelectedPage(), 1);
    EXPECT_DOUBLE_EQ(lib.PageWidth(), 612);
    EXPECT_DOUBLE_EQ(lib.PageHeight(), 792);
    EXPECT_EQ(lib.FSelDoc->Version(), "1.4");
    EXPECT_EQ(lib.FSelDoc->GetRawInfo("Producer"), VelmoPDFBanner);
    EXPECT_EQ(lib.FSelDoc->GetRawInfo("Creator"), VelmoPDFBanner);
    EXPECT_EQ(lib.FSelDoc->GetRawInfo("CreationDate").substr(0, 2), "D:");
    EXPECT_EQ(lib.FSelDoc->GetRawInfo("ModDate"), lib.FSelDoc->GetRawInfo("CreationDate"));
    EXPECT_EQ(lib.LibraryVersion(), u"11.14");
    EXPECT_EQ(lib.LibraryVersionEx(), u"11.14.1.0");
}

TEST(VelmoPDF, LastErrorCodeIsReadAndCleared) {
    TVelmoPDF lib;
    EXPECT_EQ(lib.LoadFromFile(u"/no/such/file.pdf", u""), 0);
    EXPECT_EQ(lib.LastErrorCode(), 401);
    EXPECT_EQ(lib.LastErrorCode(), 0);
    // A method that can fail with a code clears it on entry.
    lib.LoadFromString("not a pdf", u"");
    lib.LibraryVersion();
    EXPECT_EQ(lib.LastErrorCode(), 0);
    // Methods without codes leave it alone.
    lib.LoadFromString("not a pdf", u"");
    lib.DocumentCount();
    lib.SelectPage(1);
    EXPECT_EQ(lib.LastErrorCode(), 401);
}

TEST(VelmoPDF, IDLookUpsRefuseForeignAndForgedValues) {
    TVelmoPDF lib;
    const int32_t doc = lib.SelectedDocument();
    const auto count = static_cast<int32_t>(lib.FIntCasts.size());
    TObject other;
    const int32_t foreign = lib.ObjectToID(&other, TVPLIDKind::idFont);
    EXPECT_EQ(lib.ObjectToID(&other, TVPLIDKind::idFont), foreign);
    EXPECT_EQ(foreign, 0x58000000 + count);
    EXPECT_EQ(lib.ObjectToID(nullptr, TVPLIDKind::idFont), 0);
    for (int32_t id : {0, 0x58000000 + count + 1, doc & 0x07FFFFFF, doc | 0x20000000,
                       static_cast<int32_t>(static_cast<uint32_t>(doc) | 0x80000000u), foreign, -1})
        EXPECT_EQ(lib.SelectDocument(id), 0) << std::hex << id;
    EXPECT_EQ(lib.IDToObject(foreign, TVPLIDKind::idDocument), nullptr);
    EXPECT_EQ(lib.IDToObject(foreign, TVPLIDKind::idFont), &other);
    EXPECT_EQ(lib.SelectFont(foreign), 0);  // not a font of the selected document
    EXPECT_EQ(lib.SelectedDocument(), doc);
    EXPECT_EQ(lib.GetDocumentID(0), 0);
    EXPECT_EQ(lib.GetDocumentID(2), 0);
}

TEST(VelmoPDF, RemovedDocumentsLeaveStaleIDs) {
    TVelmoPDF lib;
    const int32_t first = lib.SelectedDocument();
    // Removing the only document makes a new blank one first.
    EXPECT_EQ(lib.RemoveDocument(first), 1);
    EXPECT_EQ(lib.DocumentCount(), 1);
    const int32_t second = lib.SelectedDocument();
    EXPECT_NE(second, first);
    EXPECT_NE(second, 0);
    // The old ID resolves to nothing, and keeps doing so while new documents
    // (possibly at the freed address) come and go.
    for (int i = 0; i < 8; ++i) {
        const int32_t id = lib.NewDocument();
        EXPECT_NE(id, first);
        EXPECT_EQ(lib.RemoveDocument(id), 1);
    }
    EXPECT_EQ(lib.SelectDocument(first), 0);
    EXPECT_EQ(lib.RemoveDocument(first), 0);
    EXPECT_EQ(lib.MergeDocument(first), 0);
    EXPECT_EQ(lib.SelectedDocument(), second);
    EXPECT_EQ(lib.MergeDocument(second), 0);  // its own ID
}

TEST(VelmoPDF, RemovingTheSelectedDocumentSelectsANeighbour) {
    TVelmoPDF lib;
    const int32_t a = lib.SelectedDocument();
    const int32_t b = lib.NewDocument();
    const int32_t c = lib.NewDocument();
    EXPECT_EQ(lib.DocumentCount(), 3);
    EXPECT_EQ(lib.SelectedDocument(), c);
    EXPECT_EQ(lib.RemoveDocument(c), 1);  // position 2: the previous one
    EXPECT_EQ(lib.SelectedDocument(), b);
    EXPECT_EQ(lib.SelectDocument(a), 1);
    EXPECT_EQ(lib.RemoveDocument(a), 1);  // position 0: the next one
    EXPECT_EQ(lib.SelectedDocument(), b);
    EXPECT_EQ(lib.DocumentCount(), 1);
    // Removing a document that is not selected keeps the selection.
    const int32_t d = lib.NewDocument();
    EXPECT_EQ(lib.SelectDocument(b), 1);
    EXPECT_EQ(lib.RemoveDocument(d), 1);
    EXPECT_EQ(lib.SelectedDocument(), b);
}

TEST(VelmoPDF, LoadingAddsAndSelectsOrKeepsTheSelection) {
    TVelmoPDF lib;
    const int32_t blank = lib.SelectedDocument();
    EXPECT_EQ(lib.LoadFromString("%PDF-1.4 garbage", u""), 0);
    EXPECT_EQ(lib.LastErrorCode(), 401);
    EXPECT_EQ(lib.SelectedDocument(), blank);
    EXPECT_EQ(lib.DocumentCount(), 1);

    EXPECT_EQ(lib.LoadFromString(vpltest::MinimalPdf(), u""), 1);
    EXPECT_EQ(lib.LastErrorCode(), 0);
    EXPECT_EQ(lib.DocumentCount(), 2);
    EXPECT_NE(lib.SelectedDocument(), blank);
    EXPECT_EQ(lib.PageCount(), 1);

    TStringStream in(vpltest::MinimalPdf());
    EXPECT_EQ(lib.LoadFromStream(in, u""), 1);
    EXPECT_EQ(lib.DocumentCount(), 3);

    vpltest::TempDir dir;
    vpltest::WriteFile(dir / "one.pdf", vpltest::MinimalPdf());
    EXPECT_EQ(lib.LoadFromFile(Wide(dir / "one.pdf"), u""), 1);
    EXPECT_EQ(lib.FSelDoc->SourceFileName, Wide(dir / "one.pdf"));
    vpltest::WriteFile(dir / "bad.pdf", "nothing");
    const int32_t before = lib.SelectedDocument();
    EXPECT_EQ(lib.LoadFromFile(Wide(dir / "bad.pdf"), u""), 0);
    EXPECT_EQ(lib.LastErrorCode(), 401);
    EXPECT_EQ(lib.SelectedDocument(), before);
}

TEST(VelmoPDF, DecodeModeGoesToLaterDocuments) {
    TVelmoPDF lib;
    EXPECT_EQ(lib.SetDecodeMode(0), 0);
    EXPECT_EQ(lib.SetDecodeMode(4), 0);
    EXPECT_EQ(lib.FDefaultDecodeMode, 2);
    EXPECT_EQ(lib.FSelDoc->DecodeMode(), 2);
    EXPECT_EQ(lib.SetDecodeMode(3), 1);
    lib.NewDocument();
    EXPECT_EQ(lib.FSelDoc->DecodeMode(), 3);
    ASSERT_EQ(lib.LoadFromString(vpltest::MinimalPdf(), u""), 1);
    EXPECT_EQ(lib.FSelDoc->DecodeMode(), 3);
}

TEST(VelmoPDF, UnitsAndOriginBelongToTheDocument) {
    TVelmoPDF lib;
    EXPECT_EQ(lib.SetMeasurementUnits(1), 1);
    EXPECT_NEAR(lib.PageWidth(), 215.9, 1e-9);
    EXPECT_NEAR(lib.UnitsToPoints(210), 595.2755905511812, 1e-9);
    EXPECT_EQ(lib.SetMeasurementUnits(2), 1);
    EXPECT_NEAR(lib.PageHeight(), 11, 1e-9);
    EXPECT_EQ(lib.SetMeasurementUnits(9), 1);  // points
    EXPECT_DOUBLE_EQ(lib.PageWidth(), 612);
    EXPECT_EQ(lib.SetScale(2), 1);
    EXPECT_DOUBLE_EQ(lib.UnitsToPoints(10), 20);
    EXPECT_EQ(lib.MultiplyScale(2), 1);
    EXPECT_DOUBLE_EQ(lib.UnitsToPoints(10), 40);
    EXPECT_EQ(lib.SetScale(0), 0);  // would divide by zero on every call
    EXPECT_EQ(lib.MultiplyScale(0), 0);
    EXPECT_DOUBLE_EQ(lib.UnitsToPoints(10), 40);
    lib.SetMeasurementUnits(0);

    struct Case {
        int32_t origin, stored;
        double x, y;  // points for X = 10, Y = 10
    };
    const Case cases[] = {{0, 0, 10, 10},  {1, 1, 10, 782}, {2, 2, 602, 782},
                          {3, 3, 602, 10}, {7, 0, 10, 10},  {-1, 0, 10, 10}};
    for (const Case& c : cases) {
        EXPECT_EQ(lib.SetOrigin(c.origin), 1);
        EXPECT_EQ(lib.GetOrigin(), c.stored);
        EXPECT_DOUBLE_EQ(lib.XToPoints(10), c.x) << c.origin;
        EXPECT_DOUBLE_EQ(lib.YToPoints(10), c.y) << c.origin;
        EXPECT_DOUBLE_EQ(lib.UnitsToPoints(10), 10);  // lengths are never mirrored
    }
    // Another document keeps its own settings.
    lib.SetOrigin(1);
    lib.SetMeasurementUnits(1);
    const int32_t first = lib.SelectedDocument();
    lib.NewDocument();
    EXPECT_EQ(lib.GetOrigin(), 0);
    EXPECT_DOUBLE_EQ(lib.PageWidth(), 612);
    lib.SelectDocument(first);
    EXPECT_EQ(lib.GetOrigin(), 1);
    EXPECT_NEAR(lib.PageWidth(), 215.9, 1e-9);
}

TEST(VelmoPDF, PrecisionSetsTheSerialiser) {
    TVelmoPDF lib;
    TPDFStructure* st = lib.FSelDoc->Structure();
    const std::string before = st->PDFPrecision;
    EXPECT_EQ(lib.SetPrecision(1), 0);
    EXPECT_EQ(lib.SetPrecision(9), 0);
    EXPECT_EQ(st->PDFPrecision, before);
    EXPECT_EQ(lib.SetPrecision(2), 1);
    EXPECT_EQ(st->PDFPrecision, "0.00");
    EXPECT_EQ(st->PDFPrecNum, 2);
    EXPECT_EQ(lib.SetPrecision(8), 1);
    EXPECT_EQ(st->PDFPrecision, "0.00000000");
}

TEST(VelmoPDF, TempPath) {
    TVelmoPDF lib;
    const std::u16string original = lib.GetTempPath();
    ASSERT_FALSE(original.empty());
    EXPECT_EQ(original.back(), u'/');
    EXPECT_EQ(lib.TestTempPath(), 1);
    EXPECT_EQ(lib.SetTempPath(u"/no/such/folder"), 0);
    EXPECT_EQ(lib.GetTempPath(), original);

    vpltest::TempDir dir;
    std::u16string given = Wide(dir.path());
    while (!given.empty() && given.back() == u'/') given.pop_back();
    EXPECT_EQ(lib.SetTempPath(given), 1);
    EXPECT_EQ(lib.GetTempPath(), given + u"/");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // the probe file is gone

    // A folder that cannot be written keeps the old value.
    if (::geteuid() != 0) {
        std::filesystem::create_directory(dir / "ro");
        std::filesystem::permissions(
            dir / "ro", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_EQ(lib.SetTempPath(Wide(dir / "ro")), 0);
        EXPECT_EQ(lib.GetTempPath(), given + u"/");
        std::filesystem::permissions(dir / "ro", std::filesystem::perms::owner_all);
    }
}

TEST(VelmoPDF, ProgressFiresOnChangeOnly) {
    ProgressProbe lib;
    std::vector<int32_t> seen;
    lib.SubProgress(50);  // no handler: nothing happens
    lib.SetOnProgress([&](int32_t p) { seen.push_back(p); });
    lib.SubProgress(0);  // equals the last value: no event
    lib.SubProgress(10);
    lib.SubProgress(10);
    // The second half of a two-step task, piece 2 of 4.
    lib.FSubProgressScale = 0.25;
    lib.FSubProgressOffset = 75;
    lib.FSubProgressPiece = 2;
    lib.FSubProgressCount = 4;
    lib.SubProgress(50);   // 25 + Round(87.5) div 4 = 25 + 88 div 4 = 47
    lib.SubProgress(100);  // 25 + 100 div 4 = 50
    lib.ProgressDone();
    lib.ProgressDone();  // fires whatever came before
    EXPECT_EQ(seen, (std::vector<int32_t>{10, 47, 50, 100, 100}));
}

TEST(VelmoPDF, StringListsByID) {
    TVelmoPDF lib;
    auto list = std::make_unique<TVelmoPDFStringList>();
    list->Add("one");
    list->Add("two");
    const int32_t id = lib.AddStringList(std::move(list));
    EXPECT_EQ(lib.GetStringListCount(id), 2);
    EXPECT_EQ(lib.GetStringListItem(id, 2), u"two");
    EXPECT_EQ(lib.GetStringListItem(id, 0), u"");
    EXPECT_EQ(lib.GetStringListItem(id, 3), u"");
    EXPECT_EQ(lib.GetStringListCount(lib.SelectedDocument()), 0);
    EXPECT_EQ(lib.ReleaseStringList(lib.SelectedDocument()), 0);
    EXPECT_EQ(lib.ReleaseStringList(id), 1);
    EXPECT_EQ(lib.ReleaseStringList(id), 0);
    EXPECT_EQ(lib.GetStringListCount(id), 0);
    EXPECT_TRUE(lib.FStringLists.empty());
}

TEST(VelmoPDF, ObjectMethodsOfTheSelectedDocument) {
    TVelmoPDF lib;
    const int32_t count = lib.GetObjectCount();
    EXPECT_GT(count, 0);
    const int32_t n = lib.CreateNewObject();
    EXPECT_GT(n, 0);
    EXPECT_EQ(lib.GetObjectCount(), count + 1);
    EXPECT_EQ(lib.SetObjectFromString(0, "1"), 0);
    EXPECT_EQ(lib.SetObjectFromString(lib.GetMaxObjectNumber() + 1, "1"), 0);
    EXPECT_EQ(lib.SetObjectFromString(n, "<< /A 1 >>"), 1);
    EXPECT_NE(lib.GetObjectToString(n).find("/A 1"), std::string::npos);
    EXPECT_EQ(lib.GetObjectDecodeError(n), 0);
    EXPECT_EQ(lib.CheckObjects(), 1);
}

TEST(VelmoPDF, PaperSizeNames) {
    struct Case {
        const char16_t* name;
        bool known;
        double w, h;
    };
    const double mm = 72 / 25.4;
    const Case cases[] = {
        {u"a4 landscape", true, 841.8897637795276, 595.2755905511812},
        {u"A4", true, 210 * mm, 297 * mm},
        {u"LEDGER", true, 1224, 792},
        {u"LEDGER LANDSCAPE", true, 1224, 792},
        {u"Letter", true, 612, 792},
        {u"landscape letter", true, 792, 612},
        {u"  LANDSCAPE DL ", true, 220 * mm, 110 * mm},
        {u"isob10", true, 31 * mm, 44 * mm},
        {u"C7", true, 81 * mm, 114 * mm},
        {u"A11", false, 0, 0},
        {u"C8", false, 0, 0},
        {u"A4X", false, 0, 0},
        {u"", false, 0, 0},
    };
    for (const Case& c : cases) {
        double w = 0, h = 0;
        EXPECT_EQ(PaperSizeByName(c.name, w, h), c.known);
        if (!c.known) continue;
        EXPECT_NEAR(w, c.w, 1e-9);
        EXPECT_NEAR(h, c.h, 1e-9);
    }
    TVelmoPDF lib;
    EXPECT_EQ(lib.SetPageSize(u"A11"), 0);
    EXPECT_DOUBLE_EQ(lib.PageWidth(), 612);
}

TEST(VelmoPDF, FitImagePlacements) {
    struct Case {
        int32_t w, h, hdpi, vdpi, halign, valign, rotate;
        bool ok;
        TVPLImagePlacement want;
    };
    // Box: left 0, top 100, 100 x 100 points.
    const Case cases[] = {
        {200, 100, 0, 0, 1, 1, 0, true, {false, 0, 75, 100, 50, 0}},
        {200, 100, 0, 0, 0, 0, 0, true, {false, 0, 100, 100, 50, 0}},
        {200, 100, 0, 0, 2, 2, 0, true, {false, 0, 50, 100, 50, 0}},
        {100, 200, 0, 0, 2, 0, 0, true, {false, 50, 100, 50, 100, 0}},
        {100, 200, 0, 0, 1, 1, 0, true, {false, 25, 100, 50, 100, 0}},
        // Quarter turns swap the extents.
        {200, 100, 0, 0, 0, 0, 1, true, {true, 50, 0, 100, 50, 90}},
        {200, 100, 0, 0, 0, 0, 2, true, {true, 0, 100, 100, 50, -90}},
        {200, 100, 0, 0, 0, 0, 3, true, {true, 100, 100, 100, 50, 180}},
        // Unequal resolutions rescale the width.
        {100, 100, 300, 150, 0, 0, 0, true, {false, 0, 100, 50, 100, 0}},
        {100, 100, 300, 0, 0, 0, 0, true, {false, 0, 100, 100, 100, 0}},
        {100, 100, 0, 0, 3, 0, 0, false, {}},
        {100, 100, 0, 0, 0, -1, 0, false, {}},
        {100, 100, 0, 0, 0, 0, 4, false, {}},
        {0, 100, 0, 0, 0, 0, 0, false, {}},
    };
    for (const Case& c : cases) {
        TVPLImagePlacement p;
        ASSERT_EQ(FitImagePlacement(c.w, c.h, c.hdpi, c.vdpi, 0, 100, 100, 100, c.halign, c.valign,
                                    c.rotate, p),
                  c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(p.Rotated, c.want.Rotated);
        EXPECT_DOUBLE_EQ(p.Left, c.want.Left) << c.w << "x" << c.h << " r" << c.rotate;
        EXPECT_DOUBLE_EQ(p.TopOrBottom, c.want.TopOrBottom) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(p.Width, c.want.Width);
        EXPECT_DOUBLE_EQ(p.Height, c.want.Height);
        EXPECT_DOUBLE_EQ(p.Angle, c.want.Angle);
    }
}

TEST(VelmoPDF, ImageSelectionAndStaleImageIDs) {
    TVelmoPDF lib;
    EXPECT_EQ(lib.AddImageFromFile(u"/no/such/image.jpg", 1), 0);
    EXPECT_EQ(lib.ImageWidth(), 0);
    EXPECT_EQ(lib.ImageHeight(), 0);
    EXPECT_EQ(lib.SelectedImage(), 0);
    EXPECT_EQ(lib.SetImageAsMask(1), 0);
    EXPECT_EQ(lib.SetImageResolution(1, 1, 1), 0);
    EXPECT_EQ(lib.FitImage(0, 0, 10, 10, 0, 0, 0), 0);
    EXPECT_EQ(lib.SaveImageToString(), "");
    EXPECT_EQ(lib.GetImageID(0), 0);
    EXPECT_EQ(lib.GetImageID(1), 0);

    const int32_t ida = lib.AddImageFromString(JpegBytes(800, 600), 0);
    ASSERT_NE(ida, 0);
    EXPECT_EQ(lib.SelectedImage(), ida);
    // Data that is no image leaves the selection as it was.
    EXPECT_EQ(lib.AddImageFromString("no image", 0), 0);
    EXPECT_EQ(lib.SelectedImage(), ida);
    const int32_t idb = lib.AddImageFromString(JpegBytes(20, 10), 0);
    ASSERT_NE(idb, 0);
    EXPECT_NE(idb, ida);
    EXPECT_EQ(lib.ImageWidth(), 20);
    EXPECT_EQ(lib.ImageCount(), 2);
    EXPECT_EQ(lib.GetImageID(1), ida);
    EXPECT_EQ(lib.GetImageID(lib.ImageCount()), idb);
    EXPECT_EQ(lib.SelectImage(ida), 1);
    EXPECT_EQ(lib.SelectedImage(), ida);
    EXPECT_EQ(lib.ImageWidth(), 800);
    EXPECT_EQ(lib.ImageHeight(), 600);
    EXPECT_EQ(lib.ImageType(), 1);
    EXPECT_EQ(lib.SetImageAsMask(3), 0);
    EXPECT_EQ(lib.SetImageResolution(300, 150, 2), 1);
    EXPECT_EQ(lib.ImageHorizontalResolution(), 300);
    EXPECT_EQ(lib.ImageVerticalResolution(), 150);
    EXPECT_EQ(lib.ImageResolutionUnits(), 2);
    EXPECT_EQ(lib.SelectImage(lib.SelectedDocument()), 0);  // not an image

    // An image of another document cannot be selected here.
    const int32_t first = lib.SelectedDocument();
    lib.NewDocument();
    EXPECT_EQ(lib.SelectedImage(), 0);
    EXPECT_EQ(lib.SelectImage(idb), 0);
    lib.SelectDocument(first);
    EXPECT_EQ(lib.SelectedImage(), lib.GetImageID(1));  // the first image comes back

    // A released image's ID is stale from then on.
    EXPECT_EQ(lib.ReleaseImage(ida), 1);
    EXPECT_EQ(lib.SelectedImage(), 0);
    EXPECT_EQ(lib.ReleaseImage(ida), 0);
    EXPECT_EQ(lib.SelectImage(ida), 0);
    EXPECT_EQ(lib.ClearImage(ida), 0);
    EXPECT_EQ(lib.ImageCount(), 1);
    EXPECT_EQ(lib.GetImageID(1), idb);
    const int32_t idc = lib.AddImageFromString(JpegBytes(5, 5), 0);
    ASSERT_NE(idc, 0);
    EXPECT_NE(idc, ida);

    // Removing the document makes its images' IDs stale as well.
    lib.NewDocument();
    EXPECT_EQ(lib.RemoveDocument(first), 1);
    EXPECT_EQ(lib.SelectImage(idb), 0);
    EXPECT_EQ(lib.IDToObject(idb, TVPLIDKind::idImage), nullptr);
}

TEST(VelmoPDF, AddingImagesFromFiles) {
    vpltest::TempDir dir;
    const std::string jpeg = JpegBytes(640, 480);
    vpltest::WriteFile(dir / "a.jpg", "0123456789" + jpeg + "tail");
    vpltest::WriteFile(dir / "b.jpg", jpeg);
    TVelmoPDF lib;
    const int32_t id = lib.AddImageFromFile(Wide(dir / "b.jpg"), 1);
    ASSERT_NE(id, 0);
    EXPECT_EQ(lib.ImageWidth(), 640);
    EXPECT_EQ(lib.ImageHeight(), 480);
    EXPECT_EQ(lib.FSelDoc->Image(0)->Name().rfind("VelmoPDFIm", 0), 0u);
    // A slice of a file, and lengths or offsets past its end.
    EXPECT_NE(
        lib.AddImageFromFileOffset(Wide(dir / "a.jpg"), 10, static_cast<int32_t>(jpeg.size()), 0),
        0);
    EXPECT_EQ(lib.ImageCount(), 2);
    EXPECT_EQ(lib.AddImageFromFileOffset(Wide(dir / "a.jpg"), 1 << 30, 10, 0), 0);
    EXPECT_EQ(lib.AddImageFromFileOffset(Wide(dir / "a.jpg"), 0, 1 << 30, 0), 0);
    EXPECT_EQ(lib.AddImageFromFileOffset(Wide(dir / "a.jpg"), -1, 10, 0), 0);
    EXPECT_EQ(lib.AddImageFromFileOffset(u"/no/such/file", 0, 10, 0), 0);
    EXPECT_EQ(lib.ImageCount(), 2);
    EXPECT_EQ(lib.FSelDoc->Version(), "1.4");

    // Sixteen-bit samples need version 1.5.
    const std::string png16 = vpltest::Png(2, 16, 2, 2);
    ASSERT_NE(lib.AddImageFromString(png16, 0), 0);
    EXPECT_EQ(lib.FSelDoc->Version(), "1.5");

    const int32_t raw =
        lib.AddImageDirectFromString(std::string(12, '\x7f'), 2, 2, 8, u"DeviceRGB", u"", u"", 0);
    ASSERT_NE(raw, 0);
    EXPECT_EQ(lib.SelectedImage(), raw);
    EXPECT_EQ(lib.ImageWidth(), 2);
}

TEST(VelmoPDF, ImageSettings) {
    TVelmoPDF lib;
    EXPECT_EQ(lib.CompressImages(2), 0);
    EXPECT_EQ(lib.CompressImages(1), 1);
    EXPECT_EQ(lib.FSelDoc->FCompressImages, 1);
    EXPECT_EQ(lib.SetFindImagesMode(0), 0);
    EXPECT_EQ(lib.SetFindImagesMode(5), 0);
    EXPECT_EQ(lib.SetFindImagesMode(4), 1);
    EXPECT_EQ(lib.FFindImagesMode, 4);
    EXPECT_EQ(lib.GetImageListItemDblProperty(lib.SelectedDocument(), 0, 509), 0);
    EXPECT_EQ(lib.GetImagePageCount(u"/no/such/file.tif"), 0);
    EXPECT_EQ(lib.GetImagePageCountFromString(vpltest::Jpeg("", vpltest::Frame(0xC0, 2, 2, 3))), 1);
}

}  // namespace
}  // namespace velmo
