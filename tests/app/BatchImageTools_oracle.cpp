// The batch image tools driven through the window's handlers on the null
// host, their results read by ImageMagick: converted files identify reads,
// scaled pixels close to its -resize, re-encoding qualities read back, and
// every final total equal to the sizes of the files written.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "app/imaging/Imaging.h"
#include "platform/files/WideFile.h"
#include "platform/ui/host/NullHost.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace velmo::app {
namespace {

std::u16string W(const fs::path& p) { return FileSystemNameToWide(p.string()); }

void Magick(const std::vector<std::string>& argv) {
    std::vector<std::string> a = {"convert"};
    a.insert(a.end(), argv.begin(), argv.end());
    const auto r = vpltest::RunCommand(a);
    ASSERT_EQ(r.exitCode, 0) << r.err;
}

std::string Identify(const std::string& format, const fs::path& p) {
    const auto r = vpltest::RunCommand({"identify", "-format", format, p.string()});
    EXPECT_EQ(r.exitCode, 0) << p << ": " << r.err;
    return r.out;
}

std::u16string DoneWith(uint64_t total) {
    return u"进度：转换完成！生成文件总大小为：" + FormatFileSize(total);
}

// A photo-like picture of the given size: soft noise, or for a few pixels a
// gradient that changes as much from pixel to pixel as a photo does.
void MakeImage(const fs::path& p, int w, int h) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    if (w < 10 || h < 10)
        Magick({"-size", size, "gradient:#5070a0-#a08060", "-depth", "8", p.string()});
    else
        Magick({"-seed", "7", "-size", size, "plasma:fractal", "-blur", "0x2", "-depth", "8",
                p.string()});
}

double MeanDifference(const fs::path& a, const fs::path& b) {
    TImagingImage x, y;
    x.LoadFromFile(W(a));
    y.LoadFromFile(W(b));
    EXPECT_EQ(x.Width(), y.Width());
    EXPECT_EQ(x.Height(), y.Height());
    if (x.Width() != y.Width() || x.Height() != y.Height()) return 255;
    TBitmap p, q;
    p.Assign(x.Bitmap());
    q.Assign(y.Bitmap());
    p.SetPixelFormat(pf24bit);
    q.SetPixelFormat(pf24bit);
    double sum = 0;
    for (int r = 0; r < p.Height(); ++r)
        for (int i = 0; i < p.Width() * 3; ++i)
            sum += std::abs(int(p.ScanLine(r)[i]) - int(q.ScanLine(r)[i]));
    return sum / (double(p.Width()) * p.Height() * 3);
}

// The main window on a fresh null host, shown on the batch page.
struct FormOnNullHost {
    FormOnNullHost() {
        SetWindowHost(std::make_shared<TNullHost>());
        Form = std::make_unique<TForm_main>(nullptr);
        Form->Show();
        Form->btn2Click(nullptr);
    }
    ~FormOnNullHost() {
        Form.reset();
        SetWindowHost(std::make_shared<TNullHost>());
    }
    std::unique_ptr<TForm_main> Form;
};

TEST(oracle, app_batch_image_tools) {
    VPL_REQUIRE_TOOL("convert");
    VPL_REQUIRE_TOOL("identify");
    FormOnNullHost window;
    TForm_main* Form = window.Form.get();
    vpltest::TempDir Dir;

    // ---- convert to JPEG, deleting the converted sources ----
    const fs::path conv = Dir / "convert";
    fs::create_directories(conv / "sub");
    MakeImage(conv / "a.png", 64, 48);
    MakeImage(conv / "b.jpeg", 40, 30);
    MakeImage(conv / "c.JPG", 30, 40);
    MakeImage(conv / "d.bmp", 33, 21);
    MakeImage(conv / "e.gif", 25, 25);
    vpltest::WriteFile(conv / "f.png", "\x89PNG\r\n\x1a\n not an image");
    MakeImage(conv / "sub" / "x.png", 20, 20);
    MakeImage(conv / "sub" / "y.gif", 20, 20);
    const std::string cBytes = vpltest::ReadFile(conv / "c.JPG");
    const std::string fBytes = vpltest::ReadFile(conv / "f.png");
    const std::string subX = vpltest::ReadFile(conv / "sub" / "x.png");

    Form->edt3->SetText(W(conv));
    Form->chk1->SetChecked(true);
    Form->btn8Click(nullptr);

    std::map<std::string, std::string> sizes;  // name -> "JPEG w h"
    for (const auto& e : fs::directory_iterator(conv))
        if (e.is_regular_file()) sizes[e.path().filename().string()];
    const std::map<std::string, std::string> expected = {{"a.jpg", "JPEG 64 48"},
                                                         {"b.jpg", "JPEG 40 30"},
                                                         {"c.JPG", "JPEG 30 40"},
                                                         {"d.jpg", "JPEG 33 21"},
                                                         {"e.jpg", "JPEG 25 25"},
                                                         {"f.png", ""}};
    ASSERT_EQ(sizes.size(), expected.size());
    uint64_t written = 0;
    for (const auto& [name, want] : expected) {
        ASSERT_TRUE(fs::exists(conv / name)) << name;
        if (want.empty()) continue;
        EXPECT_EQ(Identify("%m %w %h", conv / name), want) << name;
        written += fs::file_size(conv / name);
    }
    // An unchanged JPEG is rewritten as its own bytes, in place: no second
    // copy under ".jpg" beside it.
    EXPECT_EQ(vpltest::ReadFile(conv / "c.JPG"), cBytes);
    EXPECT_EQ(vpltest::ReadFile(conv / "f.png"), fBytes);
    EXPECT_EQ(vpltest::ReadFile(conv / "sub" / "x.png"), subX);
    EXPECT_TRUE(fs::exists(conv / "sub" / "y.gif"));
    EXPECT_FALSE(fs::exists(conv / "sub" / "x.jpg"));
    EXPECT_EQ(Form->lbl11->Caption(), DoneWith(written));

    // ---- scale to a width, against ImageMagick's -resize ----
    struct ScaleCase {
        int w, h, width, outW, outH;
        const char* name;
    };
    const ScaleCase scales[] = {{1000, 750, 800, 800, 600, "big.png"},
                                {3, 2, 2, 2, 1, "wide.png"},
                                {2, 3, 1, 1, 2, "tall.png"},
                                {400, 300, 160, 160, 120, "photo.jpg"}};
    for (const auto& c : scales) {
        SCOPED_TRACE(c.name);
        const fs::path folder = Dir / (std::string("scale-") + c.name);
        fs::create_directories(folder);
        MakeImage(folder / c.name, c.w, c.h);
        const fs::path ref = Dir / (std::string("ref-") + c.name + ".png");
        Magick({(folder / c.name).string(), "-resize",
                std::to_string(c.outW) + "x" + std::to_string(c.outH) + "!", ref.string()});
        Form->edt4->SetText(W(folder));
        const std::string width = std::to_string(c.width);
        Form->edt6->SetText(std::u16string(width.begin(), width.end()));
        Form->btn10Click(nullptr);
        const std::string format = std::string(c.name).ends_with(".png") ? "PNG" : "JPEG";
        EXPECT_EQ(Identify("%m %w %h", folder / c.name),
                  format + " " + std::to_string(c.outW) + " " + std::to_string(c.outH));
        EXPECT_LE(MeanDifference(folder / c.name, ref), 3.0);
        EXPECT_EQ(Form->lbl13->Caption(), DoneWith(fs::file_size(folder / c.name)));
    }

    // ---- re-encode at a quality ----
    const fs::path quality = Dir / "quality";
    fs::create_directories(quality);
    MakeImage(Dir / "q-source.jpg", 120, 90);
    const std::pair<std::u16string, int> table[] = {
        {u"75.9", 75}, {u"0", 1}, {u"256", 1}, {u"150", 100}, {u"100", 100}};
    for (const auto& [text, used] : table) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        fs::copy_file(Dir / "q-source.jpg", quality / "q.jpg",
                      fs::copy_options::overwrite_existing);
        fs::copy_file(Dir / "q-source.jpg", quality / "r.jpeg",
                      fs::copy_options::overwrite_existing);
        Form->edt5->SetText(W(quality));
        Form->edt7->SetText(text);
        Form->btn12Click(nullptr);
        EXPECT_EQ(Identify("%Q", quality / "q.jpg"), std::to_string(used));
        EXPECT_EQ(Identify("%Q", quality / "r.jpeg"), std::to_string(used));
        EXPECT_EQ(Identify("%w %h", quality / "q.jpg"), "120 90");
        EXPECT_EQ(Form->lbl15->Caption(),
                  DoneWith(fs::file_size(quality / "q.jpg") + fs::file_size(quality / "r.jpeg")));
    }
}

}  // namespace
}  // namespace velmo::app
