// The images-to-PDF page's list: filling it from a folder, moving items,
// and naming the output file, through the window's handlers on the null
// host with a scripted folder picker and a scripted save dialog.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "platform/files/WideFile.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/host/NullHost.h"
#include "tests/support/TestSupport.h"

namespace velmo::app {
namespace {

namespace fs = std::filesystem;

std::u16string Wide(const fs::path& P) { return FileSystemNameToWide(P.string()); }

// The save dialog falls back to the layer's own chooser: no session bus,
// no desktop tools on PATH. The old environment comes back at the end.
class TOwnChooserOnly {
public:
    explicit TOwnChooserOnly(const fs::path& Empty) {
        for (const char* Name : {"PATH", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"}) {
            const char* Old = getenv(Name);
            FSaved.push_back({Name, Old ? std::optional<std::string>(Old) : std::nullopt});
        }
        setenv("PATH", Empty.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", Empty.c_str(), 1);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    ~TOwnChooserOnly() {
        for (const auto& [Name, Value] : FSaved) {
            if (Value) setenv(Name, Value->c_str(), 1);
            else unsetenv(Name);
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> FSaved;
};

// Answers the next chooser: types Name into its name box and presses the
// accepting button, or cancels it when Name is empty.
void AnswerNextChooser(std::optional<std::u16string> Name) {
    SetModalHandler([Name, Done = false](HWND Dlg) mutable {
        if (Done) return;
        Done = true;
        if (Name) {
            for (HWND K = GetWindow(Dlg, GW_CHILD); K; K = GetWindow(K, GW_HWNDNEXT))
                if (GetClassNameString(K) == u"Edit") {
                    SetWindowTextW(K, Name->c_str());
                    break;
                }
        }
        PostMessageW(Dlg, WM_COMMAND, MAKEWPARAM(Name ? IDOK : IDCANCEL, BN_CLICKED), 0);
    });
}

TEST(ImagesToPdfTool, ListAndReorder) {
    auto Host = std::make_shared<TNullHost>();
    Host->RealWaitMs = 20;
    SetWindowHost(Host);
    vpltest::TempDir Tmp;
    const fs::path Folder = Tmp / "pics";
    fs::create_directories(Folder / "x.jpg");  // a folder with an image's name
    vpltest::WriteFile(Folder / "a.jpg", std::string(1000, 'a'));
    vpltest::WriteFile(Folder / "b.JPEG", std::string(2000, 'b'));
    vpltest::WriteFile(Folder / "c.jpe", std::string(3000, 'c'));
    vpltest::WriteFile(Folder / "d.png", std::string(4000, 'd'));
    const std::u16string A = Wide(Folder / "a.jpg"), B = Wide(Folder / "b.JPEG"),
                         C = Wide(Folder / "c.jpe");

    std::optional<std::u16string> Picked;
    TFolderPicker OldPicker = SetFolderPicker([&] { return Picked; });
    {
        TForm_main Form(nullptr);
        Form.Show();
        const auto Items = [&] { return Form.lst1->Items(); };

        // Filling: the JPEG names in order, whole, with the total size.
        Picked = Wide(Folder) + u"/";
        Form.btn13Click(nullptr);
        EXPECT_EQ(Items(), (std::vector<std::u16string>{A, B, C}));
        EXPECT_EQ(Form.TotalSize, 6000u);
        EXPECT_EQ(Form.lbl19->Caption(), u"进度：当前目录下图片文件总大小为：5.86 KB");

        // Moves that change nothing, each with the selection it leaves.
        struct TNoMove {
            int Selected;
            bool Up;
        };
        for (TNoMove M : {TNoMove{-1, true}, TNoMove{-1, false}, TNoMove{0, true}, TNoMove{2, false}}) {
            Form.lst1->SetItemIndex(M.Selected);
            (M.Up ? Form.btn14 : Form.btn15)->Click();
            EXPECT_EQ(Items(), (std::vector<std::u16string>{A, B, C})) << M.Selected << M.Up;
            EXPECT_EQ(Form.lst1->ItemIndex(), M.Selected);
        }
        // Moves swap the neighbours and the selection follows the item.
        Form.lst1->SetItemIndex(0);
        Form.btn15->Click();
        EXPECT_EQ(Items(), (std::vector<std::u16string>{B, A, C}));
        EXPECT_EQ(Form.lst1->ItemIndex(), 1);
        Form.btn15->Click();
        EXPECT_EQ(Items(), (std::vector<std::u16string>{B, C, A}));
        EXPECT_EQ(Form.lst1->ItemIndex(), 2);
        Form.btn14->Click();
        Form.btn14->Click();
        EXPECT_EQ(Items(), (std::vector<std::u16string>{A, B, C}));
        EXPECT_EQ(Form.lst1->ItemIndex(), 0);

        // A cancelled pick: the list was cleared before the dialog, the
        // progress line keeps its text, and the action ends silently.
        Picked.reset();
        EXPECT_THROW(Form.btn13Click(nullptr), vcl::EAbort);
        EXPECT_TRUE(Items().empty());
        EXPECT_EQ(Form.lbl19->Caption(), u"进度：当前目录下图片文件总大小为：5.86 KB");

        // Naming the output file: ".pdf" added when missing, kept in any
        // case, nothing changed by a cancel.
        TOwnChooserOnly Sandbox(Tmp / "bare");
        fs::create_directories(Tmp / "bare");
        struct TSave {
            std::optional<std::u16string> Typed;
            std::u16string Edit;
        };
        const std::u16string Out = Wide(Folder / "out"), Upper = Wide(Folder / "OUT.PDF");
        for (const TSave& S : {TSave{Out, Out + u".pdf"}, TSave{Upper, Upper}, TSave{std::nullopt, Upper}}) {
            AnswerNextChooser(S.Typed);
            Form.btn16->Click();
            EXPECT_EQ(Form.edt8->Text(), S.Edit);
        }
        SetModalHandler(nullptr);
    }
    SetFolderPicker(OldPicker);
    SetWindowHost(std::make_shared<TNullHost>());
}

}  // namespace
}  // namespace velmo::app
