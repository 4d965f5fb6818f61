// Page and save operations of the public class over the document engine's
// page tree and writer.
#include <gtest/gtest.h>

#include <filesystem>

#include "api/VelmoPDF.h"
#include "document/FontBase.h"
#include "document/PageTree.h"
#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

std::u16string Wide(const std::filesystem::path& p) { return FileSystemNameToWide(p.string()); }

// A library object whose selected document has Pages pages, each marked by
// its width (100 + page number) so that order can be read back.
void MakePages(TVelmoPDF& Lib, int32_t Pages) {
    if (Pages > 1) ASSERT_EQ(Lib.NewPages(Pages - 1), Pages);
    for (int32_t p = 1; p <= Pages; ++p) {
        ASSERT_EQ(Lib.SelectPage(p), 1);
        ASSERT_EQ(Lib.SetPageDimensions(100 + p, 200), 1);
    }
}

std::vector<int> PageMarks(TVelmoPDF& Lib) {
    std::vector<int> marks;
    for (int32_t p = 1; p <= Lib.PageCount(); ++p) {
        Lib.SelectPage(p);
        marks.push_back(static_cast<int>(Lib.PageWidth()) - 100);
    }
    return marks;
}

TEST(VelmoPDFPages, DeletePages) {
    struct Case {
        int32_t pages, start, count, result;
        std::vector<int> left;
    };
    const Case cases[] = {
        {5, 1, 5, 1, {5}},    // the last page always survives
        {5, 2, 100, 1, {1}},  // the count is cut at the end
        {5, 2, 2, 3, {1, 4, 5}},
        {5, 5, 1, 4, {1, 2, 3, 4}},
        {1, 1, 1, 0, {1}},  // a one-page document is never emptied
        {5, 0, 1, 0, {1, 2, 3, 4, 5}},
        {5, 6, 1, 0, {1, 2, 3, 4, 5}},
        {5, 1, 0, 0, {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        TVelmoPDF lib;
        MakePages(lib, c.pages);
        EXPECT_EQ(lib.DeletePages(c.start, c.count), c.result) << c.start << "," << c.count;
        EXPECT_EQ(PageMarks(lib), c.left) << c.start << "," << c.count;
    }
}

TEST(VelmoPDFPages, AddingPages) {
    TVelmoPDF lib;
    EXPECT_EQ(lib.NewPages(0), 0);
    EXPECT_EQ(lib.NewPages(100000), 0);
    EXPECT_EQ(lib.InsertPages(1, 0), 0);
    EXPECT_EQ(lib.InsertPages(1, 10000), 0);
    EXPECT_EQ(lib.PageCount(), 1);
    ASSERT_EQ(lib.SetPageDimensions(300, 400), 1);
    EXPECT_EQ(lib.NewPage(), 2);
    EXPECT_EQ(lib.SelectedPage(), 2);
    EXPECT_DOUBLE_EQ(lib.PageWidth(), 300);  // the selected page's size
    EXPECT_DOUBLE_EQ(lib.PageHeight(), 400);
    EXPECT_EQ(lib.NewPages(3), 5);
    EXPECT_EQ(lib.InsertPages(1, 2), 7);
    EXPECT_EQ(lib.PageCount(), 7);
    EXPECT_EQ(lib.PageRotation(), 0);
}

TEST(VelmoPDFPages, MoveHideAndClone) {
    TVelmoPDF lib;
    MakePages(lib, 3);
    lib.SelectPage(1);
    EXPECT_EQ(lib.MovePage(1), 0);  // its own number
    EXPECT_EQ(lib.MovePage(4), 0);
    EXPECT_EQ(lib.MovePage(3), 1);
    EXPECT_EQ(PageMarks(lib), (std::vector<int>{2, 3, 1}));
    lib.SelectPage(3);
    EXPECT_EQ(lib.HidePage(), 1);
    EXPECT_EQ(lib.SelectedPage(), 2);
    EXPECT_EQ(PageMarks(lib), (std::vector<int>{2, 3}));
    EXPECT_EQ(lib.ClonePages(2, 1, 1), 0);
    EXPECT_EQ(lib.ClonePages(1, 3, 1), 0);
    TVelmoPDF single;
    EXPECT_EQ(single.HidePage(), 0);
}

TEST(VelmoPDFPages, SizesAndUnits) {
    TVelmoPDF lib;
    EXPECT_EQ(lib.SetMeasurementUnits(1), 1);
    EXPECT_EQ(lib.SetPageDimensions(210, 297), 1);
    EXPECT_NEAR(lib.PageWidth(), 210, 1e-9);
    EXPECT_NEAR(lib.FSelDoc->PageTree()->PageWidth(), 595.2755905511812, 1e-9);
    // Paper names set points whatever the units.
    EXPECT_EQ(lib.SetPageSize(u"a4 landscape"), 1);
    EXPECT_NEAR(lib.FSelDoc->PageTree()->PageWidth(), 841.8897637795276, 1e-9);
    EXPECT_NEAR(lib.FSelDoc->PageTree()->PageHeight(), 595.2755905511812, 1e-9);
    EXPECT_EQ(lib.SetPageSize(u"A11"), 0);
    EXPECT_NEAR(lib.FSelDoc->PageTree()->PageWidth(), 841.8897637795276, 1e-9);
    lib.SetMeasurementUnits(0);
    EXPECT_EQ(lib.SetPageDimensions(0, 0), 1);  // zero sizes are accepted
    EXPECT_EQ(lib.SetPageDimensions(500, 700), 1);

    EXPECT_DOUBLE_EQ(lib.GetPageUserUnit(), 1.0);
    EXPECT_EQ(lib.SetPageUserUnit(0.5), 0);
    EXPECT_EQ(lib.SetPageUserUnit(75000), 0);
    EXPECT_EQ(lib.SetPageUserUnit(2), 1);
    EXPECT_DOUBLE_EQ(lib.GetPageUserUnit(), 2.0);
}

TEST(VelmoPDFPages, BoxesFollowTheOrigin) {
    TVelmoPDF lib;
    ASSERT_EQ(lib.SetPageDimensions(500, 700), 1);
    EXPECT_EQ(lib.SetPageBox(6, 0, 0, 1, 1), 0);
    EXPECT_EQ(lib.SetPageBox(2, 50, 650, 400, 600), 1);  // top 650 from the bottom
    EXPECT_DOUBLE_EQ(lib.GetPageBox(2, 1), 650);
    EXPECT_DOUBLE_EQ(lib.GetPageBox(2, 2), 400);
    lib.SetOrigin(1);
    EXPECT_DOUBLE_EQ(lib.GetPageBox(2, 1), 50);   // 50 below the page's top edge
    EXPECT_DOUBLE_EQ(lib.GetPageBox(2, 3), 600);  // heights are never mirrored
    lib.SetOrigin(3);
    EXPECT_DOUBLE_EQ(lib.GetPageBox(2, 0), 450);
    EXPECT_EQ(lib.GetPageBox(0, 0), 0);
    EXPECT_EQ(lib.GetPageBox(2, 6), 0);
    EXPECT_EQ(lib.HasPageBox(4), 0);
    EXPECT_EQ(lib.HasPageBox(9), 0);
    EXPECT_EQ(lib.RemovePageBox(1), 0);  // the media box stays
    EXPECT_EQ(lib.RemovePageBox(2), 1);
    EXPECT_EQ(lib.SetPageTransparencyGroup(3, 0, 0), 0);
    EXPECT_EQ(lib.SetPageTransparencyGroup(1, 1, 0), 1);
    EXPECT_EQ(lib.BalancePageTree(1), 0);
    EXPECT_EQ(lib.SetPageThumbnail(), 0);  // no image selected
}

TEST(VelmoPDFSave, SaveAndReload) {
    TVelmoPDF lib;
    ASSERT_EQ(lib.SetPageDimensions(300, 400), 1);
    ASSERT_EQ(lib.NewPage(), 2);
    const std::string bytes = lib.SaveToString();
    EXPECT_EQ(lib.LastErrorCode(), 0);
    ASSERT_EQ(bytes.compare(0, 5, "%PDF-"), 0);
    ASSERT_EQ(lib.LoadFromString(bytes, u""), 1);
    EXPECT_EQ(lib.PageCount(), 2);
    EXPECT_DOUBLE_EQ(lib.PageWidth(), 300);

    // The stream gets the bytes at its current position.
    TStringStream out(std::string("head"));
    out.Seek(0, soEnd);
    EXPECT_EQ(lib.SaveToStream(out), 1);
    EXPECT_EQ(out.DataString().compare(0, 9, "head%PDF-"), 0);
    EXPECT_EQ(out.Position(), out.Size());
}

TEST(VelmoPDFSave, ModificationDate) {
    TVelmoPDF lib;
    lib.FSelDoc->SetRawInfo("ModDate", "D:20000101000000Z", smString);
    lib.SaveToString();
    EXPECT_NE(lib.FSelDoc->GetRawInfo("ModDate"), "D:20000101000000Z");  // dated now
    lib.FSelDoc->SetRawInfo("ModDate", "D:20000101000000Z", smString);
    lib.FSelDoc->FUserModDate = true;
    lib.SaveToString();
    EXPECT_EQ(lib.FSelDoc->GetRawInfo("ModDate"), "D:20000101000000Z");
}

TEST(VelmoPDFSave, FailedSaveKeepsTheOldFile) {
    vpltest::TempDir dir;
    TVelmoPDF lib;
    const auto target = dir / "out.pdf";
    ASSERT_EQ(lib.SaveToFile(Wide(target)), 1);
    EXPECT_EQ(lib.LastErrorCode(), 0);
    const std::string first = vpltest::ReadFile(target);
    ASSERT_EQ(first.compare(0, 5, "%PDF-"), 0);
    EXPECT_EQ(lib.SaveToFile(Wide(dir / "no" / "such" / "folder.pdf")), 0);
    EXPECT_EQ(lib.LastErrorCode(), 0);  // no code for a failed save
    EXPECT_EQ(lib.SaveToFile(u""), 0);
    if (::geteuid() != 0) {
        // A folder that cannot be written: the save fails, the file stays.
        std::filesystem::permissions(
            dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        lib.NewPage();
        EXPECT_EQ(lib.SaveToFile(Wide(target)), 0);
        std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
        EXPECT_EQ(vpltest::ReadFile(target), first);
    }
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(VelmoPDFPages, SelectFontNeedsAFontOfTheSelectedDocument) {
    TVelmoPDF lib;
    auto font = std::make_unique<TPDFFontBase>();
    font->FName = "F1";
    TPDFFontBase* f = font.get();
    lib.FSelDoc->FFonts.push_back(std::move(font));
    const int32_t id = lib.ObjectToID(f, TVPLIDKind::idFont, lib.FSelDoc);
    EXPECT_EQ(lib.SelectedFont(), 0);
    EXPECT_EQ(lib.SelectFont(id), 1);
    EXPECT_EQ(lib.SelectedFont(), id);
    EXPECT_EQ(lib.SelectFont(lib.SelectedDocument()), 0);  // not a font
    const int32_t first = lib.SelectedDocument();
    lib.NewDocument();
    EXPECT_EQ(lib.SelectFont(id), 0);  // a font of another document
    lib.SelectDocument(first);
    EXPECT_EQ(lib.SelectedFont(), id);  // its first font comes back
    lib.SaveToString();
    EXPECT_EQ(lib.SelectedFont(), 0);  // every save drops the selection
}

}  // namespace
}  // namespace velmo
