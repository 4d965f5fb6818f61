#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "core/Unicode.h"
#include "platform/ui/Icons.h"
#include "platform/ui/host/NullHost.h"
#include "tests/app/MainWindowLayout.h"

namespace velmo::app {
namespace {

using namespace velmo::vcl;

TEST(MainWindow, BuildsFromItsStoredFormOnWelcomePage) {
    SetWindowHost(std::make_shared<TNullHost>());
    {
        TForm_main Form(nullptr);
        Form.Show();
        EXPECT_EQ(Form.pgc1->ActivePageIndex(), 0);
        EXPECT_EQ(Form.ClientWidth(), 713);
        EXPECT_EQ(Form.ClientHeight(), 474);
        EXPECT_EQ(Form.cbb1->ItemIndex(), 1);
        EXPECT_EQ(Form.edt7->Text(), u"100");
        EXPECT_EQ(Form.btn13->Left(), 154);
        EXPECT_EQ(Form.dp1->Parent(), Form.ts2);
    }
    SetWindowHost(std::make_shared<TNullHost>());
}

// A shown main window on a Null host; the host is put back afterwards.
struct TShownForm {
    std::shared_ptr<TNullHost> Host = std::make_shared<TNullHost>();
    std::unique_ptr<TForm_main> Form;
    TShownForm() {
        SetWindowHost(Host);
        Form = std::make_unique<TForm_main>(nullptr);
        Form->Show();
        Run();
    }
    ~TShownForm() {
        Form.reset();
        SetWindowHost(std::make_shared<TNullHost>());
    }
    void Run() { Application()->ProcessMessages(); }
    // The screen point at the middle of a control.
    static POINT Middle(const TControl& C) {
        return C.Parent()->ClientToScreen(POINT{C.Left() + C.Width() / 2, C.Top() + C.Height() / 2});
    }
    void Click(const TControl& C) {
        const POINT P = Middle(C);
        Host->MouseMove(P.x, P.y);
        Host->MouseDown(P.x, P.y);
        Host->MouseUp(P.x, P.y);
        Run();
    }
};

// Left, top, right and bottom within the parent.
std::vector<int> Box(const TControl& C) {
    const RECT R = C.BoundsRect();
    return {int(R.left), int(R.top), int(R.right), int(R.bottom)};
}

TEST(MainWindow, LayoutPagesAndCredit) {
    TShownForm W;
    TForm_main& F = *W.Form;

    // Client 713 x 474, the whole window centred on the 1280 x 1024 screen.
    EXPECT_EQ(F.ClientWidth(), layout::ClientWidth);
    EXPECT_EQ(F.ClientHeight(), layout::ClientHeight);
    RECT Wr;
    ASSERT_TRUE(GetWindowRect(F.Handle(), &Wr));
    EXPECT_EQ(Wr.left, (1280 - (Wr.right - Wr.left)) / 2);
    EXPECT_EQ(Wr.top, (1024 - (Wr.bottom - Wr.top)) / 2);
    // Sizeable frame with system menu, minimise and maximise.
    const auto Style = DWORD(GetWindowLongPtrW(F.Handle(), GWL_STYLE));
    for (DWORD Bit : {DWORD(WS_THICKFRAME), DWORD(WS_SYSMENU), DWORD(WS_MINIMIZEBOX),
                      DWORD(WS_MAXIMIZEBOX), DWORD(WS_CAPTION)})
        EXPECT_EQ(Style & Bit, Bit) << std::hex << Bit;

    // Aligned controls: the strip on top, the pages under it.
    EXPECT_EQ(Box(*F.pnl1), (std::vector<int>{0, 0, layout::ClientWidth, layout::StripHeight}));
    EXPECT_EQ(Box(*F.pgc1), (std::vector<int>{0, layout::StripHeight, layout::ClientWidth,
                                              layout::ClientHeight}));
    EXPECT_EQ(F.lst1->Top(), 0);
    EXPECT_EQ(F.lst1->Height(), layout::ListHeight);
    EXPECT_EQ(F.lst1->Width(), F.ts4->ClientWidth());
    EXPECT_EQ(Box(*F.dp1), (std::vector<int>{0, 0, F.ts2->ClientWidth(), F.ts2->ClientHeight()}));

    for (const layout::TPlacedControl& P : layout::Controls()) {
        SCOPED_TRACE(WideToUTF8(P.Name));
        auto* C = dynamic_cast<TControl*>(F.FindComponent(P.Name));
        ASSERT_NE(C, nullptr);
        ASSERT_NE(C->Parent(), nullptr);
        EXPECT_EQ(C->Parent()->Name(), P.Parent);
        EXPECT_EQ(C->Left(), P.Left);
        EXPECT_EQ(C->Top(), P.Top);
        if (P.Width >= 0) {
            EXPECT_EQ(C->Width(), P.Width);
            EXPECT_EQ(C->Height(), P.Height);
        } else {
            // Sized by its text once the form is read: never cut to the
            // default label size.
            auto* L = dynamic_cast<TLabel*>(C);
            ASSERT_NE(L, nullptr);
            const int Em = -L->Font()->Height();
            EXPECT_GE(L->Width(), int(L->Caption().size()) * Em / 2);
            EXPECT_GE(L->Height(), Em);
        }
    }

    // The fonts and colours of the styled labels.
    struct TFontCase {
        TLabel* Label;
        const char16_t* Name;
        int Height;
        TColor Color;
    };
    for (const TFontCase& K : {TFontCase{F.lbl1, u"微软雅黑", -29, clOlive},
                               TFontCase{F.lbl2, u"宋体", -21, clGreen},
                               TFontCase{F.lbl5, u"宋体", -21, clGreen},
                               TFontCase{F.lbl8, u"宋体", -19, clNavy},
                               TFontCase{F.lbl11, u"宋体", -16, clGreen},
                               TFontCase{F.lbl19, u"宋体", -16, clGreen},
                               TFontCase{F.lbl21, u"宋体", -16, clNavy}}) {
        SCOPED_TRACE(WideToUTF8(K.Label->Name()));
        EXPECT_EQ(K.Label->Font()->Name(), K.Name);
        EXPECT_EQ(K.Label->Font()->Height(), K.Height);
        EXPECT_EQ(K.Label->Font()->Color(), K.Color);
        EXPECT_TRUE(K.Label->Font()->Style() & fsBold);
    }
    EXPECT_EQ(F.Font()->Name(), u"宋体");
    EXPECT_EQ(F.Font()->Height(), -16);

    // The pages are painted in the face colour, not left unpainted.
    const TBitmap* Frame = GetWindowFramebuffer(F.Handle());
    ASSERT_NE(Frame, nullptr);
    const POINT Blank = F.ts1->ClientToScreen(POINT{F.ts1->ClientWidth() - 20, F.ts1->ClientHeight() - 20});
    EXPECT_EQ(COLORREF(Frame->GetPixel(Blank.x - Wr.left, Blank.y - Wr.top)), GetSysColor(COLOR_BTNFACE));

    // The welcome page at start, tabs hidden: the pages fill the control
    // save its border, no tab row above them.
    EXPECT_EQ(F.pgc1->ActivePageIndex(), 0);
    for (TTabSheet* S : {F.ts1, F.ts2, F.ts3, F.ts4}) {
        EXPECT_FALSE(S->TabVisible());
        EXPECT_LE(S->Top(), 4);
        EXPECT_GE(S->Height(), F.pgc1->Height() - 8);
    }
    // The strip's buttons switch pages; none leads back to the welcome page.
    const std::vector<std::pair<TButton*, int>> Switches = {
        {F.btn2, 2}, {F.btn3, 3}, {F.btn1, 1}, {F.btn3, 3}};
    for (const auto& [Button, Page] : Switches) {
        W.Click(*Button);
        EXPECT_EQ(F.pgc1->ActivePageIndex(), Page);
    }

    // The credit line: hand cursor; yellow while the pointer is over it,
    // green once it leaves, the first time too.
    EXPECT_EQ(F.lbl21->Cursor(), crHandPoint);
    EXPECT_EQ(F.lbl21->Font()->Color(), clNavy);
    const POINT Credit = TShownForm::Middle(*F.lbl21);
    W.Host->MouseMove(Credit.x, Credit.y);
    W.Run();
    EXPECT_EQ(F.lbl21->Font()->Color(), clYellow);
    // To the strip between the buttons and the credit line.
    const POINT Away = F.pnl1->ClientToScreen(POINT{442, 60});
    W.Host->MouseMove(Away.x, Away.y);
    W.Run();
    EXPECT_EQ(F.lbl21->Font()->Color(), clGreen);

    // A click on it opens the project's README once, without waiting.
    std::vector<std::vector<std::string>> Started;
    TShellLauncher Previous = SetShellLauncher(
        [&](const std::vector<std::string>& Argv, const std::string&) {
            Started.push_back(Argv);
            return true;
        });
    W.Click(*F.lbl21);
    SetShellLauncher(Previous);
    ASSERT_EQ(Started.size(), 1u);
    ASSERT_EQ(Started[0].size(), 2u);
    EXPECT_EQ(Started[0][0], "xdg-open");
    EXPECT_TRUE(Started[0][1].ends_with("/README.md")) << Started[0][1];
}

TEST(MainWindow, DropOnPdfPage) {
    TShownForm W;
    TForm_main& F = *W.Form;
    // Records the drop and hands it on to the form's own handler.
    std::vector<std::vector<std::u16string>> Drops;
    std::vector<TObject*> Senders;
    F.dp1->OnDragFile = [&](TObject* Sender, const std::vector<std::u16string>& Files) {
        Senders.push_back(Sender);
        Drops.push_back(Files);
        F.dp1DragFile(Sender, Files);
    };
    const std::u16string Long = u"/tmp/" + std::u16string(310, u'l') + u".jpg";
    ASSERT_GT(Long.size(), 300u);
    const std::vector<std::u16string> Files = {u"/tmp/first photo.jpg", Long, u"/tmp/三.jpg"};

    W.Click(*F.btn1);
    ASSERT_EQ(F.pgc1->ActivePageIndex(), 1);
    // Over the panel itself, away from its controls.
    const POINT Over = F.dp1->ClientToScreen(POINT{20, 20});
    W.Host->Drop(Over.x, Over.y, Files);
    W.Run();
    ASSERT_EQ(Drops.size(), 1u);
    EXPECT_EQ(Senders[0], F.dp1);
    EXPECT_EQ(Drops[0], Files);
    EXPECT_EQ(F.dp1->FileList(), Files);
    // The page takes the first name as the PDF and derives the folder.
    EXPECT_EQ(F.edt1->Text(), u"/tmp/first photo.jpg");
    EXPECT_EQ(F.edt2->Text(), u"/tmp/first photo");

    // With the images-to-PDF page shown the panel is hidden: the drop at the
    // same place reaches nothing.
    W.Click(*F.btn3);
    ASSERT_EQ(F.pgc1->ActivePageIndex(), 3);
    W.Host->Drop(Over.x, Over.y, Files);
    W.Run();
    EXPECT_EQ(Drops.size(), 1u);
}

TEST(MainWindow, ProgramIconIsOurs) {
    SetWindowHost(std::make_shared<TNullHost>());
    HICON Icon = MakeProgramIcon();
    ASSERT_NE(Icon, nullptr);
    TBitmap Colour, Mask;
    bool Alpha = true;
    ASSERT_TRUE(GetIconImages(Icon, Colour, Mask, Alpha));
    EXPECT_EQ(Colour.Width(), 32);
    EXPECT_EQ(Colour.Height(), 32);
    // Transparent at the corners, the sheet opaque in the middle.
    EXPECT_NE(Mask.GetPixel(0, 0), 0);
    EXPECT_EQ(Mask.GetPixel(16, 20), 0);
    // The application's hidden window hands it out.
    Application()->Icon().SetHandle(Icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(Application()->Handle(), WM_GETICON, ICON_BIG, 0)),
              Icon);
    Application()->Icon().SetHandle(nullptr);
}

}  // namespace
}  // namespace velmo::app
