// The component layer: handler chains on controls, stored-form loading,
// properties by name, controls found from their windows, mouse enter and
// leave, errors escaping handlers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/text/Utf8.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FileChoosers.h"
#include "platform/ui/Menus.h"
#include "platform/ui/components/Forms.h"
#include "platform/ui/components/Menus.h"
#include "platform/ui/components/StdCtrls.h"
#include "tests/platform/WindowFixture.h"

namespace velmo::vcl {
namespace {

using uitest::WindowTest;

std::vector<std::string>& Log() {
    static std::vector<std::string> L;
    return L;
}

// A party that chains itself into a control's WindowProc and takes itself
// off by putting back the value it saved.
struct TChainHook {
    std::string Name;
    TControl* Control = nullptr;
    TWndMethod Old;
    void Proc(TMessage& M) {
        if (M.Msg == WM_USER || M.Msg == CM_RECREATEWND) Log().push_back(Name);
        Old(M);
    }
    void Install() {
        Old = Control->WindowProc();
        Control->SetWindowProc(WndMethod<&TChainHook::Proc>(this));
    }
    void Remove() { Control->SetWindowProc(Old); }
};

class Components : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Log().clear();
    }
};

TEST_F(Components, ChainsLoadingProperties) {
    // --- Two hooks taken off in either order ----------------------------------------
    struct TOrder {
        bool FirstInstalledGoesFirst;
    };
    for (TOrder Order : {TOrder{true}, TOrder{false}}) {
        SCOPED_TRACE(Order.FirstInstalledGoesFirst ? "A off first" : "B off first");
        auto Form = std::make_unique<TForm>(nullptr);
        auto* Panel = new TPanel(Form.get());
        Panel->SetParent(Form.get());
        Panel->SetBounds(0, 0, 50, 50);
        int Entered = 0;
        Panel->OnMouseEnter = [&](TObject*) { ++Entered; };
        auto A = std::make_unique<TChainHook>(TChainHook{"A", Panel, {}});
        auto B = std::make_unique<TChainHook>(TChainHook{"B", Panel, {}});
        A->Install();
        B->Install();
        SendMessageW(Panel->Handle(), WM_USER, 0, 0);
        EXPECT_EQ(Log(), (std::vector<std::string>{"B", "A"}));

        std::unique_ptr<TChainHook>& First = Order.FirstInstalledGoesFirst ? A : B;
        std::unique_ptr<TChainHook>& Second = Order.FirstInstalledGoesFirst ? B : A;
        const std::string Live = Second->Name;
        First->Remove();
        First.reset();  // a call into it now would be a use after free
        Log().clear();
        SendMessageW(Panel->Handle(), WM_USER, 0, 0);
        Panel->Perform(WM_USER, 0, 0);
        EXPECT_EQ(Log(), (std::vector<std::string>{Live, Live}));

        Second->Remove();
        Second.reset();
        Log().clear();
        SendMessageW(Panel->Handle(), WM_USER, 0, 0);
        Panel->Perform(CM_MOUSEENTER, 0, 0);
        EXPECT_TRUE(Log().empty());
        EXPECT_EQ(Entered, 1);  // the control's own handling is still at the end
    }

    // --- Stored form: binary properties, Loaded order, OnCreate -------------------------
    struct TRecorder : TComponent {
        using TComponent::TComponent;
        std::vector<uint8_t> Data;
        int FLevel = 0;
        bool SetWhileLoading = false;
        const char* ClassName() const override { return "TRecorder"; }
        int Level() const { return FLevel; }
        void SetLevel(int V) {
            FLevel = V;
            SetWhileLoading = Loading();
        }
        void ListProperties(TPropList& Out) const override {
            static const std::vector<TPropInfo> Props = {
                IntProp<TRecorder, int>("Level", &TRecorder::Level, &TRecorder::SetLevel)};
            TComponent::ListProperties(Out);
            for (const auto& P : Props) Out.push_back(&P);
        }
        void DefineProperties(TFiler& Filer) override {
            Filer.DefineBinaryProperty(
                "SkinStream",
                [this](TByteReader& R) {
                    Data.resize(R.Size());
                    R.Read(Data.data(), Data.size());
                    Log().push_back("define " + NarrowAscii(Name()));
                },
                !Data.empty());
        }
        void Loaded() override {
            TComponent::Loaded();
            Log().push_back("loaded " + NarrowAscii(Name()) +
                            (Data.empty() ? " empty" : " with data"));
        }
    };
    struct TStoredForm : TForm {
        using TForm::TForm;
        void Loaded() override {
            TForm::Loaded();
            Log().push_back("loaded form");
        }
    };
    static const uint8_t Skin1[] = {1, 2, 3};
    static const uint8_t Skin2[] = {9};
    Log().clear();
    {
        TStoredForm Form(nullptr);
        Form.OnCreate = [](TObject*) { Log().push_back("create"); };
        auto MakeRecorder = [](TComponent* Root) -> TComponent* { return new TRecorder(Root); };
        std::vector<TStoredComponent> Table = {
            {{},
             u"Form_main",
             {},
             {{"Caption", u"OrvekanPDF图片转换工具"}, {"ClientWidth", u"713"}},
             {},
             {}},
            {MakeRecorder, u"Skin1", {}, {{"Level", u"5"}}, {{"SkinStream", Skin1}}, {}},
            {[](TComponent* Root) -> TComponent* { return new TPanel(Root); },
             u"pnl1",
             u"Form_main",
             {{"Align", u"alTop"}, {"Height", u"69"}},
             {},
             {}},
            {MakeRecorder, u"Skin2", {}, {}, {{"SkinStream", Skin2}}, {}},
        };
        Form.ReadStoredForm(Table);
        EXPECT_EQ(Log(), (std::vector<std::string>{"define Skin1", "define Skin2", "loaded form",
                                                   "loaded Skin1 with data",
                                                   "loaded Skin2 with data", "create"}));
        auto* R1 = dynamic_cast<TRecorder*>(Form.FindComponent(u"skin1"));
        ASSERT_NE(R1, nullptr);
        EXPECT_EQ(R1->Level(), 5);
        EXPECT_TRUE(R1->SetWhileLoading);
        EXPECT_FALSE(R1->Loading());
        EXPECT_EQ(R1->Data, (std::vector<uint8_t>{1, 2, 3}));
        auto* Pnl = dynamic_cast<TPanel*>(Form.FindComponent(u"pnl1"));
        ASSERT_NE(Pnl, nullptr);
        EXPECT_EQ(Pnl->Parent(), &Form);
        EXPECT_EQ(Form.ClientWidth(), 713);
        EXPECT_EQ(Pnl->Width(), 713);  // aligned to the top edge
        EXPECT_EQ(Form.Caption(), u"OrvekanPDF图片转换工具");
    }

    // --- Properties by name: every kind, round trip and neutral answers ------------------
    TForm Form(nullptr);
    auto* Panel = new TPanel(&Form);
    Panel->SetParent(&Form);
    struct TCase {
        const char* Name;
        std::u16string Text;
        TTypeKind Kind;
        const char* Expect;  // integer as text, enumeration value name or UTF-8 string
    };
    const TCase Cases[] = {
        {"Tag", u"42", TTypeKind::tkInteger, "42"},
        {"left", u"-7", TTypeKind::tkInteger, "-7"},
        {"Color", u"16711680", TTypeKind::tkInteger, "16711680"},
        {"Align", u"alClient", TTypeKind::tkEnumeration, "alClient"},
        {"Visible", u"false", TTypeKind::tkEnumeration, "False"},
        {"BevelOuter", u"bvNone", TTypeKind::tkEnumeration, "bvNone"},
        {"Caption", u"图片 & more", TTypeKind::tkUString, "图片 & more"},
        {"Hint", u"", TTypeKind::tkUString, ""},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        EXPECT_TRUE(SetPropByName(Panel, C.Name, C.Text));
        switch (C.Kind) {
            case TTypeKind::tkInteger:
                EXPECT_EQ(std::to_string(GetOrdPropByName(Panel, C.Name)), C.Expect);
                break;
            case TTypeKind::tkEnumeration:
                EXPECT_EQ(GetEnumPropByName(Panel, C.Name), C.Expect);
                break;
            default:
                EXPECT_EQ(Utf16ToUtf8(GetWideStrPropByName(Panel, C.Name)), C.Expect);
                break;
        }
    }
    EXPECT_EQ(Panel->Tag(), 42);
    EXPECT_EQ(Panel->Align(), alClient);
    EXPECT_FALSE(Panel->Visible());
    EXPECT_EQ(GetObjectPropByName<TFont>(Panel, "Font"), Panel->Font());
    EXPECT_EQ(GetObjectPropByName<TMenu>(Panel, "Font"), nullptr);  // wrong class
    SetPropByName(Panel->Font(), "Name", u"微软雅黑");
    EXPECT_EQ(Panel->Font()->Name(), u"微软雅黑");

    // Missing properties, wrong kinds, bad text: neutral answers, nothing written.
    EXPECT_EQ(GetOrdPropByName(Panel, "NoSuch"), -1);
    EXPECT_EQ(GetOrdPropByName(Panel, "Caption"), -1);
    EXPECT_EQ(GetOrdPropByName(nullptr, "Tag"), -1);
    EXPECT_EQ(GetEnumPropByName(Panel, "Tag"), "");
    EXPECT_EQ(GetWideStrPropByName(Panel, "Tag"), u"");
    EXPECT_EQ(GetObjectPropByName<TFont>(Panel, "Caption"), nullptr);
    EXPECT_FALSE(SetPropByName(Panel, "NoSuch", u"1"));
    EXPECT_FALSE(SetPropByName(nullptr, "Tag", u"1"));
    EXPECT_FALSE(SetPropByName(Panel, "Tag", u"12abc"));
    EXPECT_FALSE(SetPropByName(Panel, "Tag", u""));
    EXPECT_FALSE(SetPropByName(Panel, "Align", u"alNowhere"));
    EXPECT_FALSE(SetPropByName(Panel, "Font", u"x"));
    EXPECT_EQ(Panel->Tag(), 42);
    EXPECT_EQ(Panel->Align(), alClient);
    // The form's own properties come from its class and its bases.
    EXPECT_TRUE(SetPropByName(&Form, "AutoScroll", u"False"));
    EXPECT_EQ(GetEnumPropByName(&Form, "AutoScroll"), "False");

    // --- Any control's window yields the control ----------------------------------------
    Panel->SetVisible(true);
    auto* Inner = new TCustomControl(&Form);
    Inner->SetParent(Panel);
    Inner->SetBounds(5, 5, 20, 20);
    Form.Show();
    char Expected[64];
    std::snprintf(Expected, sizeof Expected, "ControlOfs%.8X%.8X",
                  unsigned(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))),
                  unsigned(GetCurrentThreadId()));
    EXPECT_EQ(ControlAtomString(), Widen(Expected));
    EXPECT_EQ(GlobalFindAtomW(ControlAtomString().c_str()), ControlAtom());
    for (TWinControl* C : std::initializer_list<TWinControl*>{&Form, Panel, Inner}) {
        SCOPED_TRACE(C->ClassName());
        HWND H = C->Handle();
        ASSERT_NE(H, nullptr);
        EXPECT_EQ(FindControl(H), C);
        EXPECT_EQ(GetPropW(H, MAKEINTATOM(ControlAtom())), C);
        EXPECT_EQ(GetClassNameString(H), Widen(C->ClassName()));
    }
    EXPECT_EQ(FindControl(GetDesktopWindow()), nullptr);
    EXPECT_EQ(FindControl(nullptr), nullptr);

    // A recreated window yields the control too, and the chain stays on.
    TChainHook Hook{"hook", Panel, {}};
    Hook.Install();
    HWND Old = Panel->Handle();
    Log().clear();
    Panel->RecreateWnd();
    EXPECT_EQ(Log(), std::vector<std::string>{"hook"});
    EXPECT_FALSE(IsWindow(Old));
    EXPECT_EQ(FindControl(Panel->Handle()), Panel);
    EXPECT_EQ(FindControl(Inner->Handle()), Inner);
    EXPECT_EQ(GetParent(Inner->Handle()), Panel->Handle());
    Hook.Remove();
}

}  // namespace
}  // namespace velmo::vcl

namespace velmo::vcl {
namespace {

TEST_F(Components, LabelHoverPagesAndErrors) {
    TForm Form(nullptr);
    Form.SetBounds(100, 100, 400, 300);
    auto* Label = new TLabel(&Form);
    Label->SetParent(&Form);
    Label->SetAutoSize(false);
    Label->SetBounds(20, 20, 100, 20);
    std::vector<std::string> Events;
    Label->OnMouseEnter = [&](TObject*) {
        Events.push_back("enter");
        Label->Font()->SetColor(clYellow);
    };
    Label->OnMouseLeave = [&](TObject*) {
        Events.push_back("leave");
        Label->Font()->SetColor(clGreen);
    };
    Label->OnClick = [&](TObject*) { Events.push_back("click"); };
    Form.Show();
    Application()->ProcessMessages();
    POINT Origin = Form.ClientToScreen(POINT{0, 0});
    Host->MouseMove(Origin.x + 200, Origin.y + 200);
    Application()->ProcessMessages();
    Host->MouseMove(Origin.x + 30, Origin.y + 25);
    Application()->ProcessMessages();
    Host->MouseDown(Origin.x + 30, Origin.y + 25);
    Host->MouseUp(Origin.x + 31, Origin.y + 26);
    Application()->ProcessMessages();
    Host->MouseMove(Origin.x + 200, Origin.y + 200);
    Application()->ProcessMessages();
    EXPECT_EQ(Events, (std::vector<std::string>{"enter", "click", "leave"}));
    EXPECT_EQ(Label->Font()->Color(), clGreen);

    // With every tab hidden the sheets fill the tab control's display area.
    auto* Pages = new TPageControl(&Form);
    Pages->SetParent(&Form);
    Pages->SetBounds(0, 60, 300, 200);
    std::vector<TTabSheet*> Sheets;
    for (int I = 0; I < 4; ++I) {
        auto* S = new TTabSheet(&Form);
        S->SetPageControl(Pages);
        S->SetTabVisible(false);
        Sheets.push_back(S);
    }
    Pages->SetActivePageIndex(3);
    Pages->SetActivePageIndex(0);  // the window shows the first page whatever was stored
    EXPECT_EQ(Pages->ActivePageIndex(), 0);
    RECT Display;
    GetClientRect(Pages->Handle(), &Display);
    SendMessageW(Pages->Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&Display));
    EXPECT_TRUE(Sheets[0]->Visible());
    EXPECT_FALSE(Sheets[3]->Visible());
    RECT B = Sheets[0]->BoundsRect();
    EXPECT_EQ(B.left, Display.left);
    EXPECT_EQ(B.top, Display.top);
    EXPECT_EQ(B.right, Display.right);
    EXPECT_EQ(B.bottom, Display.bottom);
    // The skinning layer's message with CN_NOTIFY's number is no header.
    EXPECT_EQ(Pages->Perform(CN_NOTIFY, 0, SkinMessageMark), 0);

    // Errors escaping handlers: a message box with the text; a silent abort.
    int BoxCount = 0;
    std::u16string BoxText;
    TModalHandler Previous = SetModalHandler([&](HWND Box) {
        ++BoxCount;
        BoxText = GetWindowTextString(GetDlgItem(Box, IDC_MESSAGEBOX_TEXT));
        PostMessageW(Box, WM_COMMAND, IDOK, 0);
    });
    auto* Button = new TButton(&Form);
    Button->SetParent(&Form);
    Button->OnClick = [](TObject*) { throw std::runtime_error("disk full"); };
    SendMessageW(Form.Handle(), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Button->Handle()));
    EXPECT_EQ(BoxCount, 1);
    EXPECT_EQ(BoxText, u"disk full.");
    Button->OnClick = [](TObject*) { Abort(); };
    SendMessageW(Form.Handle(), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Button->Handle()));
    EXPECT_EQ(BoxCount, 1);
    SetModalHandler(Previous);

    // The hidden application window answers WM_GETICON with the program icon.
    Application()->Icon().SetHandle(reinterpret_cast<HICON>(uintptr_t(0x1234)));
    EXPECT_EQ(GetClassNameString(Application()->Handle()), u"TApplication");
    EXPECT_EQ(SendMessageW(Application()->Handle(), WM_GETICON, ICON_BIG, 0), 0x1234);
    Application()->Icon().ReleaseHandle();
}

}  // namespace
}  // namespace velmo::vcl

namespace velmo::vcl {
namespace {

// Runs the application's loop until Done or nothing can come any more.
template <class F>
void RunUntil(const F& Done, int Limit = 10000) {
    for (int I = 0; I < Limit && !Done(); ++I)
        if (!Application()->HandleMessage()) break;
}

TEST_F(Components, TimersHintsAndNestedClicks) {
    // A timer fires at its interval on the host's clock and stops when disabled.
    {
        TTimer Timer(nullptr);
        std::vector<uint32_t> Ticks;
        Timer.SetInterval(100);
        const uint32_t Start = GetTickCount();
        Timer.SetOnTimer([&](TObject*) {
            Ticks.push_back(GetTickCount() - Start);
            if (Ticks.size() == 3) Timer.SetEnabled(false);
        });
        RunUntil([&] { return Ticks.size() >= 3; });
        ASSERT_EQ(Ticks.size(), 3u);
        for (size_t I = 0; I < 3; ++I) EXPECT_GE(Ticks[I], 100 * (I + 1));
        RunUntil([] { return false; }, 20);
        EXPECT_EQ(Ticks.size(), 3u);
    }

    // A click arriving while a click handler lets messages run is handled
    // at once, nested inside the first.
    TForm Form(nullptr);
    Form.SetBounds(50, 50, 300, 200);
    auto* Panel = new TPanel(&Form);
    Panel->SetParent(&Form);
    Panel->SetBounds(10, 10, 100, 40);
    Panel->SetHint(u"提示");
    Panel->SetShowHint(true);
    Form.Show();
    Application()->ProcessMessages();
    POINT P = Panel->ClientToScreen(POINT{20, 20});
    std::vector<std::string> Events;
    int Depth = 0;
    Panel->OnClick = [&](TObject*) {
        int N = ++Depth;
        Events.push_back("start " + std::to_string(N));
        if (N == 1) {
            Host->MouseDown(P.x, P.y);
            Host->MouseUp(P.x, P.y);
            Application()->ProcessMessages();
        }
        Events.push_back("end " + std::to_string(N));
    };
    Host->MouseMove(P.x, P.y);
    Host->MouseDown(P.x, P.y);
    Host->MouseUp(P.x, P.y);
    Application()->ProcessMessages();
    EXPECT_EQ(Events, (std::vector<std::string>{"start 1", "start 2", "end 2", "end 1"}));

    // The hint shows after the pause over the control and goes after the
    // hide pause.
    Application()->CancelHint();
    Host->MouseMove(P.x + 200, P.y + 100);
    Application()->ProcessMessages();
    const uint32_t Moved = GetTickCount();
    Host->MouseMove(P.x + 1, P.y);
    RunUntil([] {
        return Application()->HintWindow() && Application()->HintWindow()->HandleAllocated();
    });
    ASSERT_NE(Application()->HintWindow(), nullptr);
    HWND Hint = Application()->HintWindow()->Handle();
    EXPECT_TRUE(IsWindowVisible(Hint));
    EXPECT_GE(GetTickCount() - Moved, uint32_t(Application()->HintPause));
    EXPECT_EQ(GetWindowTextString(Hint), u"提示");
    EXPECT_EQ(GetClassNameString(Hint), u"THintWindow");
    const uint32_t Shown = GetTickCount();
    RunUntil([&] { return !IsWindow(Hint); });
    EXPECT_FALSE(IsWindow(Hint));
    EXPECT_GE(GetTickCount() - Shown, uint32_t(Application()->HintHidePause));

    // A control freed while its hint is pending leaves nothing behind.
    Host->MouseMove(P.x + 200, P.y + 100);
    Application()->ProcessMessages();
    Host->MouseMove(P.x + 2, P.y);
    Application()->ProcessMessages();
    EXPECT_EQ(Application()->HintControl(), Panel);
    delete Panel;
    EXPECT_EQ(Application()->HintControl(), nullptr);
    RunUntil([] { return false; }, 20);
}

TEST_F(Components, MenusOwnerDrawAndCommands) {
    TForm Form(nullptr);
    auto* Main = new TMainMenu(&Form);
    Main->SetOwnerDraw(true);
    Form.SetMenu(Main);
    auto* File = new TMenuItem(&Form);
    File->SetCaption(u"&File");
    Main->Items()->Add(File);
    std::vector<std::string> Clicks;
    auto* Open = new TMenuItem(&Form);
    Open->SetCaption(u"&Open...");
    Open->SetShortCut(ShortCut('O', ssCtrl));
    Open->OnClick = [&](TObject*) { Clicks.push_back("open"); };
    File->Add(Open);
    auto* Off = new TMenuItem(&Form);
    Off->SetCaption(u"Disabled");
    Off->SetEnabled(false);
    Off->OnClick = [&](TObject*) { Clicks.push_back("disabled"); };
    File->Add(Off);

    // Lookups by caption (markers aside), command and shortcut.
    EXPECT_EQ(Main->Items()->Find(u"file"), File);
    EXPECT_EQ(File->Find(u"Open..."), Open);
    EXPECT_EQ(Main->FindItem(Open->Command(), fkCommand), Open);
    EXPECT_EQ(Main->FindItem(ShortCut('O', ssCtrl), fkShortCut), Open);
    EXPECT_EQ(Main->FindItem(0, fkCommand), nullptr);
    EXPECT_NE(Open->Command(), Off->Command());

    // Menu commands reach the item; a disabled item does nothing.
    SendMessageW(Form.Handle(), WM_COMMAND, Open->Command(), 0);
    SendMessageW(Form.Handle(), WM_COMMAND, Off->Command(), 0);
    EXPECT_TRUE(Main->IsShortCut('O', ssCtrl));
    EXPECT_FALSE(Main->IsShortCut('O', ssAlt));
    EXPECT_EQ(Clicks, (std::vector<std::string>{"open", "open"}));

    // Owner drawing: measure, then draw with the selection state.
    std::vector<std::string> Drawn;
    Open->OnMeasureItem = [&](TObject*, TCanvas&, int& W, int& H) {
        Drawn.push_back("measure");
        W = 120, H = 22;
    };
    Open->OnDrawItem = [&](TObject* Sender, TCanvas& Canvas, RECT R, bool Selected) {
        EXPECT_EQ(Sender, Open);
        EXPECT_NE(Canvas.Handle(), nullptr);
        Drawn.push_back(std::string("draw ") + (Selected ? "selected " : "plain ") +
                        std::to_string(R.right));
    };
    TMeasureItemStruct Mi;
    Mi.CtlType = ODT_MENU;
    Mi.itemID = Open->Command();
    Mi.itemData = reinterpret_cast<ULONG_PTR>(Open);
    EXPECT_EQ(SendMessageW(Form.Handle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&Mi)), 1);
    EXPECT_EQ(Mi.itemWidth, 120u);
    EXPECT_EQ(Mi.itemHeight, 22u);
    HDC Dc = GetDC(Form.Handle());
    TDrawItemStruct Di;
    Di.CtlType = ODT_MENU;
    Di.itemID = Open->Command();
    Di.itemData = reinterpret_cast<ULONG_PTR>(Open);
    Di.itemState = ODS_SELECTED;
    Di.hDC = Dc;
    Di.rcItem = {0, 0, 120, 22};
    SendMessageW(Form.Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&Di));
    Di.itemState = 0;
    SendMessageW(Form.Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&Di));
    // A plain item without events draws itself; a record naming no item is left alone.
    Di.itemData = reinterpret_cast<ULONG_PTR>(Off);
    Di.itemID = Off->Command();
    EXPECT_EQ(SendMessageW(Form.Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&Di)), 1);
    Di.itemData = 12345;
    Di.itemID = 0xFFFF;
    EXPECT_EQ(SendMessageW(Form.Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&Di)), 0);
    ReleaseDC(Form.Handle(), Dc);
    EXPECT_EQ(Drawn, (std::vector<std::string>{"measure", "draw selected 120", "draw plain 120"}));

    // Radio items of one group exclude each other.
    auto* R1 = new TMenuItem(&Form);
    auto* R2 = new TMenuItem(&Form);
    for (TMenuItem* R : {R1, R2}) {
        R->SetRadioItem(true);
        R->SetGroupIndex(1);
        File->Add(R);
    }
    R1->SetChecked(true);
    R2->SetChecked(true);
    EXPECT_FALSE(R1->Checked());
    EXPECT_TRUE(R2->Checked());

    // A popup runs its tracker and clicks the chosen item.
    auto* Popup = new TPopupMenu(&Form);
    std::vector<std::string> PopupEvents;
    for (const char16_t* Caption : {u"One", u"Two"}) {
        auto* I = new TMenuItem(&Form);
        I->SetCaption(Caption);
        I->OnClick = [&PopupEvents, I](TObject*) {
            PopupEvents.push_back(NarrowAscii(I->Caption()));
        };
        Popup->Items()->Add(I);
    }
    Popup->OnPopup = [&](TObject*) { PopupEvents.push_back("popup"); };
    Form.Show();  // keys go to the active window
    Host->KeyDown(VK_DOWN);
    Host->KeyDown(VK_DOWN);
    Host->KeyDown(VK_RETURN);
    Popup->Popup(10, 10);
    Host->KeyDown(VK_ESCAPE);
    Popup->Popup(10, 10);
    EXPECT_EQ(PopupEvents, (std::vector<std::string>{"popup", "Two", "popup"}));

    // Owner-drawn popup items are measured before they are drawn, through
    // the application's window.
    std::vector<std::string> PopupDrawn;
    Popup->SetOwnerDraw(true);
    TMenuItem* Two = Popup->Items()->Items(1);
    Two->OnMeasureItem = [&](TObject*, TCanvas&, int& W, int& H) {
        PopupDrawn.push_back("measure");
        W = 80, H = 20;
    };
    Two->OnDrawItem = [&](TObject*, TCanvas&, RECT, bool) { PopupDrawn.push_back("draw"); };
    Host->KeyDown(VK_ESCAPE);
    Popup->Popup(10, 10);
    ASSERT_FALSE(PopupDrawn.empty());
    EXPECT_EQ(PopupDrawn.front(), "measure");
    EXPECT_NE(std::find(PopupDrawn.begin(), PopupDrawn.end(), "draw"), PopupDrawn.end());

    // Freed items give their commands back; the menu forgets a freed image list.
    UINT Freed = Off->Command();
    delete Off;
    EXPECT_EQ(Main->FindItem(Freed, fkCommand), nullptr);
    auto* Again = new TMenuItem(&Form);
    EXPECT_EQ(Again->Command(), Freed);
    auto* Images = new TImageList(&Form);
    Main->SetImages(Images);
    delete Images;
    EXPECT_EQ(Main->Images(), nullptr);
    delete Main;
    EXPECT_EQ(Form.Menu(), nullptr);
}

}  // namespace
}  // namespace velmo::vcl

namespace velmo::vcl {
namespace {

// The dialog components go through the replaceable file dialog handler: the
// one-based FilterIndex is the chooser's zero-based index, both ways; a
// cancel leaves the names alone; a save takes the default extension.
TEST_F(Components, FileDialogsThroughTheHandler) {
    std::vector<TFileChooserRequest> Seen;
    TFileChooserResult Answer;
    TFileDialogProc Old = SetFileDialogProc([&](const TFileChooserRequest& Q) {
        Seen.push_back(Q);
        return Answer;
    });
    EXPECT_TRUE(Old) << "the default handler is handed back";
    struct TCase {
        const char* Name;
        bool Save;
        int FilterIndex;   // set before
        int AnswerFilter;  // the chooser's answer, -1: unknown
        bool Accept;
        std::u16string Picked;
        int WantRequestIndex;
        int WantFilterIndex;
        std::u16string WantName;
    };
    const TCase Cases[] = {
        {"first filter", false, 1, 0, true, u"/d/a.pdf", 0, 1, u"/d/a.pdf"},
        {"second filter, answer third", false, 2, 2, true, u"/d/b.pdf", 1, 3, u"/d/b.pdf"},
        {"unknown answer keeps it", false, 2, -1, true, u"/d/c.pdf", 1, 2, u"/d/c.pdf"},
        {"zero is the first", false, 0, -1, true, u"/d/d.pdf", 0, 0, u"/d/d.pdf"},
        {"cancel", false, 2, 0, false, u"", 1, 2, u"/d/start.pdf"},
        {"save takes the extension", true, 1, 0, true, u"/d/out", 0, 1, u"/d/out.pdf"},
    };
    for (const TCase& C : Cases) {
        Seen.clear();
        std::unique_ptr<TOpenDialog> D(C.Save ? new TSaveDialog(nullptr) : new TOpenDialog(nullptr));
        D->SetFilter(u"PDF files|*.pdf|Images|*.png;*.jpg|All|*.*");
        D->SetFilterIndex(C.FilterIndex);
        D->SetFileName(u"/d/start.pdf");
        D->SetDefaultExt(u"pdf");
        D->SetTitle(u"Pick");
        Answer = TFileChooserResult();
        Answer.Accepted = C.Accept;
        if (C.Accept) Answer.Files = {C.Picked};
        Answer.FilterIndex = C.AnswerFilter;
        EXPECT_EQ(D->Execute(), C.Accept) << C.Name;
        ASSERT_EQ(Seen.size(), 1u) << C.Name;
        EXPECT_EQ(Seen[0].Kind, C.Save ? TFileChooserKind::Save : TFileChooserKind::Open) << C.Name;
        EXPECT_EQ(Seen[0].FilterIndex, C.WantRequestIndex) << C.Name;
        EXPECT_EQ(Seen[0].Filters.size(), 3u) << C.Name;
        EXPECT_EQ(Seen[0].Title, u"Pick") << C.Name;
        EXPECT_EQ(D->FilterIndex(), C.WantFilterIndex) << C.Name;
        EXPECT_EQ(D->FileName(), C.WantName) << C.Name;
    }
    SetFileDialogProc(nullptr);
}

}  // namespace
}  // namespace velmo::vcl
