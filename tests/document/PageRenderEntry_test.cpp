#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Objects.h"
#include "document/Document.h"
#include "document/PageServices.h"
#include "document/PageTree.h"
#include "platform/files/Stream.h"
#include "platform/ui/Messages.h"
#include "tests/document/DocTestSupport.h"
#include "tests/document/PdfBuilder.h"

namespace velmo {
namespace {

using vpltest::LoadText;
using vpltest::PdfBuilder;

// What the fake renderers saw, shared by every renderer a call makes.
struct RenderLog {
    int Made = 0;
    int Freed = 0;
    int Settings = 0;
    int Clears = 0;
    std::vector<TPDFDictionary*> Pages;  // one per Render
    std::vector<TPDFRenderDest> Destinations;
    std::vector<double> DPIs;
    std::vector<int32_t> CropTypes;
    TPrinterBBoxArray LastClip;
    TPDFPrintOptions LastPrint;
    TPDFProgressTarget Progress;
    std::unique_ptr<TObject> NextTextList;
    TObject* LastFunnel = nullptr;
};

// Draws a 2 x 2 white page into its bitmap and reports the page it drew.
class FakeRenderer : public TPDFRendererBase {
public:
    FakeRenderer(TPDFFontCollectionBase* Fonts, RenderLog* Log)
        : TPDFRendererBase(Fonts), Log(Log) {
        ++Log->Made;
    }
    ~FakeRenderer() override { ++Log->Freed; }
    void Render() override {
        Log->Pages.push_back(FPageDict);
        Log->Destinations.push_back(FDestination);
        Log->DPIs.push_back(FDPI);
        Log->CropTypes.push_back(FCropType);
        Log->LastClip = FClipBBoxArray;
        Log->LastPrint = FPrintOptions;
        FBitmap = TBitmap(2, 2, pf24bit);
        FErrorDesc = FPageDict ? "" : "no page";
        if (FDestination == rdEMFPlus && FEMFPlusTarget) FEMFPlusTarget->WriteBuffer("EMF+");
    }
    void ClearCachedResources() override { ++Log->Clears; }
    void SetGDIPlusSettings(const TGDIPlusSettings*) override { ++Log->Settings; }
    TPDFProgressTarget ProgressTarget() const override { return Log->Progress; }
    void SetTextFunnel(TObject* Funnel) override { Log->LastFunnel = Funnel; }
    std::unique_ptr<TObject> FunnelTextList() override { return std::move(Log->NextTextList); }
    std::u16string FunnelCSV() override { return u"csv"; }
    std::u16string FunnelRawText() override { return u"raw"; }
    std::u16string FunnelTextLines() override { return u"lines"; }
    void SaveEPSToStream(TStream& Target) override { Target.WriteBuffer("%!PS-Adobe-3.0 EPSF"); }
    RenderLog* Log;
};

// A document of Pages pages; the fake renderer is installed for the
// fixture's life and the factories are put back afterwards.
class PageRenderEntry : public ::testing::Test {
protected:
    void SetUp() override {
        Saved = PageServiceFactories();
        SavedHooks = PageWriterHooks();
        PageServiceFactories().NewRenderer = [this](TPDFFontCollectionBase* Fonts) {
            return std::make_unique<FakeRenderer>(Fonts, &Log);
        };
        Dir = std::filesystem::temp_directory_path() /
              ("vpl_render_entry_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
    }
    void TearDown() override {
        PageServiceFactories() = Saved;
        PageWriterHooks() = SavedHooks;
        std::filesystem::remove_all(Dir);
    }
    void Load(int Pages, const std::string& Contents = "") {
        PdfBuilder b;
        b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
        std::string kids;
        for (int i = 0; i < Pages; ++i) kids += std::to_string(10 + i) + " 0 R ";
        b.Obj(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(Pages) + " >>");
        for (int i = 0; i < Pages; ++i)
            b.Obj(10 + i,
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] " + Contents + " >>");
        b.StartXRef(b.Table("/Root 1 0 R"));
        Doc = LoadText(b.data);
        Tree = Doc->PageTree();
    }
    // Page numbers of the pages rendered, in order (0: no page).
    std::vector<int> RenderedPages() {
        std::vector<int> out;
        for (TPDFDictionary* d : Log.Pages) {
            int n = 0;
            for (int p = 1; p <= Tree->PageCount(); ++p)
                if (Tree->GetPage(p) == d) n = p;
            out.push_back(n);
        }
        return out;
    }
    std::u16string U(const std::filesystem::path& P) {
        std::string s = P.string();
        return std::u16string(s.begin(), s.end());
    }
    static std::string ReadFile(const std::filesystem::path& P) {
        std::ifstream in(P, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static uint32_t Le32(const std::string& S, size_t At) {
        return uint32_t(uint8_t(S[At])) | uint32_t(uint8_t(S[At + 1])) << 8 |
               uint32_t(uint8_t(S[At + 2])) << 16 | uint32_t(uint8_t(S[At + 3])) << 24;
    }

    TPDFPageServiceFactories Saved;
    TPDFPageWriterHooks SavedHooks;
    RenderLog Log;
    std::unique_ptr<TPDFDocument> Doc;
    TPDFPageTree* Tree = nullptr;
    std::filesystem::path Dir;
    std::string Error;
    TVPLOCGStateList NoOCG;
};

TEST_F(PageRenderEntry, FileNamesPerPage) {
    struct Case {
        std::u16string Name;
        int32_t Page;
        std::u16string Want;
    };
    const Case cases[] = {
        {u"out/page_.jpg", 7, u"out/page_0007.jpg"},
        {u"out/p%p-%p.png", 1, u"out/p0001-0001.png"},
        {u"out/p%p-%p.png", 12345, u"out/p12345-12345.png"},
        // The extension comes from the file-name part only.
        {u"out/x.jpg/page", 3, u"out/x.jpg/page0003"},
        {u"out/page", 2, u"out/page0002"},
        {u"out/a.jpg.jpg", 1, u"out/a.jpg0001.jpg"},
        {u".png", 1, u"0001.png"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PageFileName(c.Name, c.Page), c.Want)
            << std::string(c.Name.begin(), c.Name.end());
}

TEST_F(PageRenderEntry, FilesForARangeOfPages) {
    Load(3);
    // JPEG without an installed writer: one empty file per page.
    ASSERT_TRUE(Tree->RenderPageToFile(72, 1, 3, 1, 80, U(Dir / "page_.jpg"), nullptr, false, 0,
                                       Error, NoOCG));
    for (const char* f : {"page_0001.jpg", "page_0002.jpg", "page_0003.jpg"}) {
        ASSERT_TRUE(std::filesystem::exists(Dir / f)) << f;
        EXPECT_EQ(std::filesystem::file_size(Dir / f), 0u) << f;
    }
    EXPECT_EQ(RenderedPages(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Log.Made, 1);  // one renderer for all pages
    EXPECT_EQ(Log.Freed, 1);
    EXPECT_EQ(Log.Clears, 3);
    EXPECT_EQ(Log.Settings, 1);
    EXPECT_EQ(Log.CropTypes, (std::vector<int32_t>{2, 2, 2}));

    // PNG with "%p": real files.
    ASSERT_TRUE(Tree->RenderPageToFile(72, 1, 3, 5, 0, U(Dir / "p%p-%p.png"), nullptr, false, 0,
                                       Error, NoOCG));
    for (const char* f : {"p0001-0001.png", "p0002-0002.png", "p0003-0003.png"})
        EXPECT_EQ(ReadFile(Dir / f).substr(1, 3), "PNG") << f;

    // A folder named like an image file is left alone.
    std::filesystem::create_directories(Dir / "x.jpg");
    ASSERT_TRUE(Tree->RenderPageToFile(72, 2, 2, 11, 0, U(Dir / "x.jpg" / "page"), nullptr, false,
                                       0, Error, NoOCG));
    EXPECT_TRUE(std::filesystem::exists(Dir / "x.jpg" / "page0002"));

    // End before start: nothing.
    Log.Pages.clear();
    ASSERT_TRUE(Tree->RenderPageToFile(72, 3, 2, 5, 0, U(Dir / "none_.png"), nullptr, false, 0,
                                       Error, NoOCG));
    EXPECT_TRUE(Log.Pages.empty());
    EXPECT_FALSE(std::filesystem::exists(Dir / "none_0003.png"));
}

TEST_F(PageRenderEntry, UnknownOptionLeavesEmptyFilesAndHooksWrite) {
    Load(2);
    ASSERT_TRUE(Tree->RenderPageToFile(72, 1, 2, 11, 0, U(Dir / "e_.bin"), nullptr, false, 0, Error,
                                       NoOCG));
    EXPECT_EQ(std::filesystem::file_size(Dir / "e_0001.bin"), 0u);
    EXPECT_EQ(std::filesystem::file_size(Dir / "e_0002.bin"), 0u);
    EXPECT_EQ(Log.Destinations.back(), rdBitmap);

    // Installed writers get the bitmap, the quality and the rounded DPI.
    int quality = 0, dpi = 0;
    PageWriterHooks().WriteJPEG = [&](const TBitmap& B, TStream& T, int32_t Q, int32_t D) {
        quality = Q;
        dpi = D;
        T.WriteBuffer("JPEG" + std::to_string(B.Width()));
    };
    ASSERT_TRUE(Tree->RenderPageToFile(150.6, 1, 1, 1, 85, U(Dir / "j_.jpg"), nullptr, false, 0,
                                       Error, NoOCG));
    EXPECT_EQ(ReadFile(Dir / "j_0001.jpg"), "JPEG2");
    EXPECT_EQ(quality, 85);
    EXPECT_EQ(dpi, 151);

    // EPS and EMF+ go through the renderer.
    ASSERT_TRUE(
        Tree->RenderPageToFile(72, 1, 1, 4, 0, U(Dir / "v_.eps"), nullptr, false, 0, Error, NoOCG));
    EXPECT_EQ(Log.Destinations.back(), rdEPS);
    EXPECT_EQ(ReadFile(Dir / "v_0001.eps"), "%!PS-Adobe-3.0 EPSF");
    ASSERT_TRUE(
        Tree->RenderPageToFile(72, 1, 1, 8, 0, U(Dir / "v_.emf"), nullptr, false, 0, Error, NoOCG));
    EXPECT_EQ(Log.Destinations.back(), rdEMFPlus);
    EXPECT_EQ(ReadFile(Dir / "v_0001.emf"), "EMF+");

    // A folder that does not exist raises after the earlier pages.
    Log.Pages.clear();
    EXPECT_THROW(Tree->RenderPageToFile(72, 1, 2, 0, 0, U(Dir / "missing" / "b_.bmp"), nullptr,
                                        false, 0, Error, NoOCG),
                 EFCreateError);
    EXPECT_TRUE(Log.Pages.empty());
    EXPECT_EQ(Log.Made, Log.Freed);
}

TEST_F(PageRenderEntry, BMPResolutionPatchedWhereTheBitmapBegan) {
    Load(1);
    struct Case {
        double DPI;
        uint32_t Want;
    };
    for (const Case c : {Case{72, 2834}, Case{96, 3779}}) {
        // The caller's stream already holds other bytes: the patch lands in
        // the bitmap's header, not at absolute offsets 38 and 42.
        const std::string prefix(50, 'P');
        TMemoryStream s;
        s.WriteBuffer(prefix);
        ASSERT_TRUE(Tree->RenderPageToStream(c.DPI, 1, 0, 0, nullptr, s, Error, 1, NoOCG));
        const std::string& out = s.Bytes();
        ASSERT_GT(out.size(), prefix.size() + 54);
        EXPECT_EQ(out.substr(0, prefix.size()), prefix);
        EXPECT_EQ(out.substr(prefix.size(), 2), "BM");
        EXPECT_EQ(Le32(out, prefix.size() + 38), c.Want);
        EXPECT_EQ(Le32(out, prefix.size() + 42), c.Want);
        EXPECT_EQ(s.Position(), int64_t(out.size()));
        EXPECT_EQ(Log.CropTypes.back(), 1);

        // A file starts at 0.
        ASSERT_TRUE(Tree->RenderPageToFile(c.DPI, 1, 1, 0, 0, U(Dir / "b_.bmp"), nullptr, false, 0,
                                           Error, NoOCG));
        const std::string file = ReadFile(Dir / "b_0001.bmp");
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(Le32(file, 38), c.Want);
        EXPECT_EQ(Le32(file, 42), c.Want);
    }
    // Fewer than 48 bytes after the start: untouched.
    for (size_t len : {size_t(47), size_t(48)}) {
        TStringStream s(std::string(7, 'x') + std::string(len, '\0'));
        PatchBMPResolution(s, 7, 72);
        const std::string& out = s.DataString();
        EXPECT_EQ(out.size(), 7 + len);
        EXPECT_EQ(Le32(out, 7 + 38), len == 48 ? 2834u : 0u);
        EXPECT_EQ(out.substr(0, 7), "xxxxxxx");
    }
    // Non-finite resolutions write 0 instead of an undefined conversion.
    TStringStream s(std::string(60, '\x11'));
    PatchBMPResolution(s, 0, std::numeric_limits<double>::infinity());
    EXPECT_EQ(Le32(s.DataString(), 38), 0u);
}

TEST_F(PageRenderEntry, PrinterPageSelectionsAndProgress) {
    Load(5);
    struct Case {
        std::u16string Ranges;
        std::vector<int> Want;
    };
    const Case cases[] = {
        {u"All", {1, 2, 3, 4, 5}},
        {u"Odd", {1, 3, 5}},
        {u"Even", {2, 4}},
        {u"Odd2-5", {3, 5}},
        {u"Even1-5", {2, 4}},
        {u"5,1-2,2", {5, 1, 2, 2}},
        {u"odd", {}},
        {u"3-9", {3, 4, 5}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Tree->PrintPageList(c.Ranges), std::vector<int32_t>(c.Want.begin(), c.Want.end()))
            << std::string(c.Ranges.begin(), c.Ranges.end());
    }

    struct Printer : TVPLPrinterBase {
        int NewPages = 0;
        int32_t GetDPI() override { return 300; }
        void NewPage() override { ++NewPages; }
    } printer;
    std::vector<std::pair<WPARAM, LPARAM>> progress;
    HWND wnd = reinterpret_cast<HWND>(uintptr_t(0x5151));
    RegisterWindowMessageHandler(wnd, [&](HWND, UINT Msg, WPARAM W, LPARAM L) -> LRESULT {
        EXPECT_EQ(Msg, 0x8123u);
        progress.push_back({W, L});
        return 0;
    });
    Log.Progress = {wnd, 0x8123, 7};

    ASSERT_TRUE(Tree->RenderPageToPrinter(&printer, u"Even", 17, nullptr, NoOCG));
    EXPECT_EQ(RenderedPages(), (std::vector<int>{2, 4}));
    EXPECT_EQ(printer.NewPages, 1);
    EXPECT_EQ(Log.DPIs.back(), 300);
    EXPECT_EQ(Log.Destinations.back(), rdPrinter);
    EXPECT_EQ(Log.LastPrint.PageScaling, psFitToPaper);
    EXPECT_TRUE(Log.LastPrint.AutoRotateCenter);
    EXPECT_EQ(progress, (std::vector<std::pair<WPARAM, LPARAM>>{{7, 1050}, {7, 50}, {7, 100}}));

    Log.Pages.clear();
    progress.clear();
    ASSERT_TRUE(Tree->RenderPageToPrinter(&printer, u"Odd2-5", 2, nullptr, NoOCG, u"lib.so"));
    EXPECT_EQ(RenderedPages(), (std::vector<int>{3, 5}));
    EXPECT_EQ(Log.Destinations.back(), rdKPLRPrinter);
    EXPECT_EQ(Log.LastPrint.PageScaling, psShrinkLargePages);
    EXPECT_FALSE(Log.LastPrint.AutoRotateCenter);

    // The start-end form; scaling values other than 1 and 2 give none.
    Log.Pages.clear();
    ASSERT_TRUE(Tree->RenderPageToPrinter(&printer, 2, 4, 3, nullptr, NoOCG));
    EXPECT_EQ(RenderedPages(), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(Log.LastPrint.PageScaling, psNone);
    UnregisterWindowMessageHandler(wnd);
    EXPECT_EQ(Log.Made, Log.Freed);
}

TEST_F(PageRenderEntry, DeviceContextClipAndKeptRenderer) {
    Load(2);
    HDC dc = reinterpret_cast<HDC>(uintptr_t(0x77));
    ASSERT_TRUE(Tree->RenderPageToDC(96, 1, 0, nullptr, dc, Error, 3, 5, 6, true, NoOCG,
                                     "10 10 100 50 0 0"));
    ASSERT_EQ(Log.LastClip.size(), 1u);
    EXPECT_EQ(Log.LastClip[0].Left, 10);
    EXPECT_EQ(Log.LastClip[0].Top, 10);
    EXPECT_EQ(Log.LastClip[0].Right, 110);
    EXPECT_EQ(Log.LastClip[0].Bottom, 60);
    EXPECT_EQ(Log.Destinations.back(), rdDeviceContext);
    EXPECT_EQ(Log.CropTypes.back(), 3);

    ASSERT_TRUE(Tree->RenderPageToDC(96, 1, 0, nullptr, dc, Error, 2, 0, 0, true, NoOCG,
                                     "  1 2 3 4   5 6 7 8 9"));
    EXPECT_EQ(Log.LastClip.size(), 2u);
    const size_t renders = Log.Pages.size();
    EXPECT_THROW(
        Tree->RenderPageToDC(96, 1, 0, nullptr, dc, Error, 2, 0, 0, true, NoOCG, "1 2 x 4"),
        std::invalid_argument);
    EXPECT_THROW(Tree->RenderPageToDC(96, 1, 0, nullptr, dc, Error, 2, 0, 0, true, NoOCG,
                                      "1 2 3 99999999999"),
                 std::invalid_argument);
    EXPECT_EQ(Log.Pages.size(), renders);
    EXPECT_EQ(Log.Made, Log.Freed);

    // The kept renderer: set up when unset, reused for the same page and
    // resolution, left alone otherwise.
    FakeRenderer kept(Tree->RRenderFontCol(), &Log);
    kept.FDPI = -1;
    Tree->FRenderer = &kept;
    const int made = Log.Made;
    ASSERT_TRUE(Tree->RenderPageToKPLRDC(72, 2, 0, nullptr, u"lib.so", dc, Error, 2, 0, 0, true,
                                         NoOCG, ""));
    EXPECT_EQ(Log.Made, made);
    EXPECT_EQ(kept.FDPI, 72);
    EXPECT_EQ(kept.FDestination, rdKPLR);
    EXPECT_EQ(kept.FPageDict, Tree->GetPage(2));
    const int settings = Log.Settings;
    ASSERT_TRUE(Tree->RenderPageToKPLRDC(72, 2, 0, nullptr, u"lib.so", dc, Error, 2, 4, 4, false,
                                         NoOCG, "0 0 5 5"));
    EXPECT_EQ(Log.Made, made);
    EXPECT_EQ(Log.Settings, settings);
    EXPECT_EQ(kept.FKPLROffsetX, 4);
    EXPECT_EQ(kept.FClipBBoxArray.size(), 1u);
    ASSERT_TRUE(Tree->RenderPageToKPLRDC(150, 2, 0, nullptr, u"lib.so", dc, Error, 2, 0, 0, true,
                                         NoOCG, ""));
    EXPECT_EQ(Log.Made, made + 1);
    EXPECT_EQ(kept.FDPI, 72);
    Tree->FRenderer = nullptr;
}

TEST_F(PageRenderEntry, WithoutAnInstalledRendererNothingIsDrawn) {
    PageServiceFactories().NewRenderer = nullptr;
    Load(1);
    TMemoryStream s;
    ASSERT_TRUE(Tree->RenderPageToStream(72, 1, 5, 0, nullptr, s, Error, 2, NoOCG));
    EXPECT_EQ(Error, "No renderer installed");
}

TEST_F(PageRenderEntry, TextEntryPointsAgainstTheTextServices) {
    Load(1);
    EXPECT_EQ(Tree->GetTextList(2, nullptr), nullptr);
    TObject funnel;
    Log.NextTextList = std::make_unique<TObject>();
    TObject* expected = Log.NextTextList.get();
    TObject* list = Tree->GetTextList(3, &funnel);
    EXPECT_EQ(list, expected);
    EXPECT_TRUE(Doc->IsTextList(list));
    EXPECT_EQ(Log.LastFunnel, &funnel);
    EXPECT_EQ(Log.Destinations.back(), rdTextFunnel);

    EXPECT_EQ(Tree->ExtractText(5, nullptr), u"csv");
    EXPECT_EQ(Tree->ExtractText(7, nullptr), u"lines");
    EXPECT_EQ(Tree->ExtractText(8, nullptr), u"raw");
    // Without the text library the extractor finds nothing.
    EXPECT_EQ(Tree->ExtractText(0, nullptr), u"");

    // Three layers, layer 1 selected: still 1 after reading them all.
    Tree->SetContent("0 0 m");
    Tree->NewLayer();
    Tree->SetContent("1 1 l");
    Tree->NewLayer();
    Tree->SetContent("S");
    Tree->SetLayer(1);
    std::string seen;
    PageServiceFactories().NewExtractor = [&](TPDFDictionary*, TPDFFontCollectionBase*) {
        struct Recorder : TPDFExtractorBase {
            std::string* Seen;
            std::u16string ExtractTextW(std::string_view S, int32_t Options) override {
                *Seen = std::string(S) + "|" + std::to_string(Options);
                return u"text";
            }
        };
        auto r = std::make_unique<Recorder>();
        r->Seen = &seen;
        return r;
    };
    EXPECT_EQ(Tree->ExtractText(1, nullptr), u"text");
    EXPECT_EQ(Tree->Layer(), 1);
    EXPECT_NE(seen.find("0 0 m"), std::string::npos);
    EXPECT_NE(seen.find("1 1 l"), std::string::npos);
    EXPECT_EQ(seen.substr(seen.size() - 2), "|0");

    // Splitting without the text library keeps all content in the graphics
    // layer and selects the (empty) text layer.
    Tree->SplitPageText(0);
    ASSERT_EQ(Tree->LayerCount(), 2);
    EXPECT_EQ(Tree->Layer(), 2);
    Tree->SetLayer(1);
    const std::string graphics = Tree->ExtractContent();
    EXPECT_NE(graphics.find("0 0 m"), std::string::npos);
    EXPECT_NE(graphics.find("S"), std::string::npos);

    // The image list joins the document's lists.
    TPDFImageListBase* images = Tree->GetImageList();
    EXPECT_TRUE(Doc->IsImageList(images));
    EXPECT_EQ(Log.Destinations.back(), rdImageList);
    EXPECT_EQ(Log.DPIs.back(), 72);
    EXPECT_EQ(Log.Made, Log.Freed);
}

}  // namespace
}  // namespace velmo
