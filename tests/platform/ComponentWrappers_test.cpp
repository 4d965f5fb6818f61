// The component wrappers over the real controls of the window layer: each
// wrapper's properties and the control's own state agree whichever side
// changes them, user input reaches the wrapper's events once, and a stored
// form carries its properties and embedded binary data into the controls.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/TabControl.h"
#include "platform/ui/components/Forms.h"
#include "platform/ui/components/StdCtrls.h"
#include "resources/Resources.h"
#include "tests/platform/WindowFixture.h"

namespace velmo::vcl {
namespace {

using uitest::WindowTest;

class ComponentWrappers : public WindowTest {
protected:
    // A left click at a point of a control's client area.
    void ClickAt(TWinControl* C, int X, int Y) {
        POINT P{X, Y};
        ClientToScreen(C->Handle(), &P);
        Host->Advance(1000);  // never a double click
        Host->MouseDown(P.x, P.y);
        Host->MouseUp(P.x, P.y);
        Application()->ProcessMessages();
    }
    void ClickCentre(TWinControl* C) {
        RECT R;
        GetClientRect(C->Handle(), &R);
        ClickAt(C, R.right / 2, R.bottom / 2);
    }
};

std::u16string ListText(HWND Wnd, UINT Get, UINT Index) {
    char16_t Buf[256] = {};
    SendMessageW(Wnd, Get, Index, reinterpret_cast<LPARAM>(Buf));
    return Buf;
}

// The strings a list control holds, read through its own messages.
std::vector<std::u16string> WindowItems(HWND Wnd, bool Combo) {
    std::vector<std::u16string> Out;
    const int N = int(SendMessageW(Wnd, Combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
    for (int I = 0; I < N; ++I) Out.push_back(ListText(Wnd, Combo ? CB_GETLBTEXT : LB_GETTEXT, UINT(I)));
    return Out;
}

TEST_F(ComponentWrappers, ButtonEditCheckBoxLabelBothWays) {
    TForm Form(nullptr);
    Form.SetBounds(100, 100, 500, 400);
    auto* Button = new TButton(&Form);
    Button->SetParent(&Form);
    Button->SetBounds(10, 10, 90, 25);
    Button->SetCaption(u"&Convert");
    auto* Edit = new TEdit(&Form);
    Edit->SetParent(&Form);
    Edit->SetBounds(10, 50, 150, 21);
    auto* Check = new TCheckBox(&Form);
    Check->SetParent(&Form);
    Check->SetBounds(10, 90, 150, 17);
    Check->SetCaption(u"Keep folders");
    Check->SetChecked(true);  // before the window exists
    auto* Label = new TLabel(&Form);
    Label->SetParent(&Form);
    Label->SetBounds(10, 130, 10, 10);
    std::vector<std::string> Events;
    Button->OnClick = [&](TObject*) { Events.push_back("button"); };
    Edit->OnChange = [&](TObject*) { Events.push_back("edit " + std::to_string(Edit->Text().size())); };
    Check->OnClick = [&](TObject*) { Events.push_back(Check->Checked() ? "checked" : "unchecked"); };
    Form.Show();
    Application()->ProcessMessages();

    // --- Caption and text: the wrapper's value is the window's, both ways ----------------------
    EXPECT_EQ(GetWindowTextString(Button->Handle()), u"&Convert");
    Button->SetCaption(u"图片转换");
    EXPECT_EQ(GetWindowTextString(Button->Handle()), u"图片转换");
    SetWindowTextW(Button->Handle(), u"Direct");
    EXPECT_EQ(Button->Caption(), u"Direct");
    // Setting the wrapper back to what it held before reaches the window.
    Button->SetCaption(u"图片转换");
    EXPECT_EQ(GetWindowTextString(Button->Handle()), u"图片转换");
    Edit->SetTextProp(u"a.pdf");
    EXPECT_EQ(GetWindowTextString(Edit->Handle()), u"a.pdf");
    SetWindowTextW(Edit->Handle(), u"b.pdf");
    EXPECT_EQ(Edit->Text(), u"b.pdf");
    Edit->SetTextProp(u"a.pdf");
    EXPECT_EQ(GetWindowTextString(Edit->Handle()), u"a.pdf");
    Events.clear();

    // --- Clicks: one OnClick per click, none for a press released outside ----------------------
    ClickCentre(Button);
    EXPECT_EQ(Events, std::vector<std::string>{"button"});
    Events.clear();
    RECT Br;
    GetWindowRect(Button->Handle(), &Br);
    Host->Advance(1000);
    Host->MouseDown(Br.left + 5, Br.top + 5);
    Host->MouseMove(Br.right + 50, Br.top + 5);
    Host->MouseUp(Br.right + 50, Br.top + 5);
    Application()->ProcessMessages();
    EXPECT_TRUE(Events.empty());
    SendMessageW(Button->Handle(), BM_CLICK, 0, 0);
    Application()->ProcessMessages();
    EXPECT_EQ(Events, std::vector<std::string>{"button"});
    Events.clear();

    // --- Check box: Checked and BM_GETCHECK agree both ways; a click toggles once --------------
    EXPECT_EQ(SendMessageW(Check->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    ClickCentre(Check);
    EXPECT_FALSE(Check->Checked());
    EXPECT_EQ(SendMessageW(Check->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    ClickCentre(Check);
    EXPECT_TRUE(Check->Checked());
    EXPECT_EQ(Events, (std::vector<std::string>{"unchecked", "checked"}));
    Events.clear();
    Check->SetChecked(false);
    EXPECT_EQ(SendMessageW(Check->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendMessageW(Check->Handle(), BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_TRUE(Check->Checked());
    ClickCentre(Check);  // toggles from what the control shows
    EXPECT_FALSE(Check->Checked());
    EXPECT_EQ(SendMessageW(Check->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    // The state survives a new window.
    Check->SetChecked(true);
    Check->RecreateWnd();
    EXPECT_EQ(SendMessageW(Check->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    Events.clear();

    // --- Typing into the edit: OnChange per change, Text follows -------------------------------
    ClickCentre(Edit);
    ASSERT_EQ(GetFocus(), Edit->Handle());
    SendMessageW(Edit->Handle(), EM_SETSEL, 0, -1);
    Host->Text(u"图片");
    Application()->ProcessMessages();
    EXPECT_EQ(Edit->Text(), u"图片");
    EXPECT_EQ(Events, (std::vector<std::string>{"edit 1", "edit 2"}));
    // A program's change is a change too, and the text survives a new window.
    Events.clear();
    Edit->SetTextProp(u"c.pdf");
    EXPECT_EQ(Events, std::vector<std::string>{"edit 5"});
    Edit->RecreateWnd();
    EXPECT_EQ(GetWindowTextString(Edit->Handle()), u"c.pdf");

    // --- A label paints its caption inside its bounds and sizes itself to it -------------------
    Label->SetCaption(u"Pages: 12");
    const int Short = Label->Width();
    Label->SetCaption(u"Pages: 12 of 1200, 图片");
    EXPECT_GT(Label->Width(), Short);
    EXPECT_EQ(Label->Caption(), u"Pages: 12 of 1200, 图片");
    Form.Repaint();
    Application()->ProcessMessages();
    const TBitmap* Frame = GetWindowFramebuffer(Form.Handle());
    ASSERT_NE(Frame, nullptr);
    POINT Origin{0, 0};
    ClientToScreen(Form.Handle(), &Origin);
    RECT Fr;
    GetWindowRect(Form.Handle(), &Fr);
    const int Ox = Origin.x - Fr.left + Label->Left(), Oy = Origin.y - Fr.top + Label->Top();
    const COLORREF Face = ColorToRGB(Form.Color());
    int Inside = 0, Around = 0;
    for (int Y = Oy - 6; Y < Oy + Label->Height() + 6; ++Y)
        for (int X = Ox - 6; X < Ox + Label->Width() + 6; ++X) {
            const bool Ink = (COLORREF(Frame->GetPixel(X, Y)) & 0xFFFFFF) != Face;
            const bool In = X >= Ox && X < Ox + Label->Width() && Y >= Oy && Y < Oy + Label->Height();
            (In ? Inside : Around) += Ink;
        }
    EXPECT_GT(Inside, 40);
    EXPECT_EQ(Around, 0);
    // The parent's new window too: what was set on the old windows stays.
    SendMessageW(Check->Handle(), BM_SETCHECK, BST_UNCHECKED, 0);
    SetWindowTextW(Button->Handle(), u"Direct");
    Form.RecreateWnd();
    Application()->ProcessMessages();
    EXPECT_EQ(SendMessageW(Check->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(GetWindowTextString(Button->Handle()), u"Direct");
}

TEST_F(ComponentWrappers, ListsCombosAndPagesBothWays) {
    TForm Form(nullptr);
    Form.SetBounds(100, 100, 600, 500);
    auto* List = new TListBox(&Form);
    List->SetParent(&Form);
    List->SetBounds(10, 10, 150, 120);
    auto* Combo = new TComboBox(&Form);
    Combo->SetParent(&Form);
    Combo->SetBounds(200, 10, 150, 21);
    Combo->SetStyle(csDropDownList);
    auto* Pages = new TPageControl(&Form);
    Pages->SetParent(&Form);
    Pages->SetBounds(10, 200, 400, 200);
    std::vector<TTabSheet*> Sheets;
    for (const char16_t* Name : {u"PDF to images", u"Image tools", u"Images to PDF"}) {
        auto* S = new TTabSheet(&Form);
        S->SetPageControl(Pages);
        S->SetCaption(Name);
        Sheets.push_back(S);
    }
    Pages->SetActivePageIndex(0);
    std::vector<std::string> Events;
    List->OnClick = [&](TObject*) { Events.push_back("list " + std::to_string(List->ItemIndex())); };
    Combo->OnChange = [&](TObject*) { Events.push_back("combo " + std::to_string(Combo->ItemIndex())); };
    Pages->OnChange = [&](TObject*) { Events.push_back("page " + std::to_string(Pages->ActivePageIndex())); };
    for (const char16_t* S : {u"b.jpg", u"a.jpg", u"图片.png"}) List->AddItem(S);
    for (const char16_t* S : {u"72", u"150", u"300"}) Combo->AddItem(S);
    List->SetItemIndex(1);
    Combo->SetItemIndex(2);
    Form.Show();
    Application()->ProcessMessages();

    // --- Items and selection reach the controls when their windows come ------------------------
    EXPECT_EQ(WindowItems(List->Handle(), false), (std::vector<std::u16string>{u"b.jpg", u"a.jpg", u"图片.png"}));
    EXPECT_EQ(WindowItems(Combo->Handle(), true), (std::vector<std::u16string>{u"72", u"150", u"300"}));
    EXPECT_EQ(SendMessageW(List->Handle(), LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessageW(Combo->Handle(), CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Combo->Text(), u"300");
    // ... and later edits too.
    List->InsertItem(0, u"first.tif");
    List->DeleteItem(2);
    EXPECT_EQ(WindowItems(List->Handle(), false),
              (std::vector<std::u16string>{u"first.tif", u"b.jpg", u"图片.png"}));
    EXPECT_EQ(List->ItemCount(), 3);
    // The control's own changes are the wrapper's.
    SendMessageW(List->Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"added.bmp"));
    EXPECT_EQ(List->ItemCount(), 4);
    EXPECT_EQ(List->Item(3), u"added.bmp");
    SendMessageW(List->Handle(), LB_SETCURSEL, 3, 0);
    EXPECT_EQ(List->ItemIndex(), 3);
    SendMessageW(Combo->Handle(), CB_SETCURSEL, 0, 0);
    EXPECT_EQ(Combo->ItemIndex(), 0);
    EXPECT_EQ(Combo->Text(), u"72");
    // A new window keeps items and selection.
    List->RecreateWnd();
    EXPECT_EQ(WindowItems(List->Handle(), false),
              (std::vector<std::u16string>{u"first.tif", u"b.jpg", u"图片.png", u"added.bmp"}));
    EXPECT_EQ(SendMessageW(List->Handle(), LB_GETCURSEL, 0, 0), 3);
    EXPECT_TRUE(Events.empty());  // nothing the program did is a user's change

    // --- A click on an item: ItemIndex follows, OnClick once ------------------------------------
    RECT Item;
    ASSERT_NE(SendMessageW(List->Handle(), LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&Item)), LB_ERR);
    ClickAt(List, Item.left + 5, (Item.top + Item.bottom) / 2);
    EXPECT_EQ(List->ItemIndex(), 2);
    EXPECT_EQ(List->Item(List->ItemIndex()), u"图片.png");
    EXPECT_EQ(Events, std::vector<std::string>{"list 2"});
    Events.clear();

    // --- The combo box's selection by keyboard: OnChange once per move --------------------------
    Combo->SetFocus();
    Host->KeyDown(VK_DOWN);
    Host->KeyUp(VK_DOWN);
    Application()->ProcessMessages();
    EXPECT_EQ(Combo->ItemIndex(), 1);
    EXPECT_EQ(Combo->Text(), u"150");
    EXPECT_EQ(Events, std::vector<std::string>{"combo 1"});
    Events.clear();

    // --- A sorted list: indexes name the same strings on both sides -----------------------------
    auto* Sorted = new TListBox(&Form);
    Sorted->SetParent(&Form);
    Sorted->SetBounds(200, 60, 150, 120);
    Sorted->SetSorted(true);
    for (const char16_t* S : {u"m", u"z", u"a"}) Sorted->AddItem(S);
    Sorted->HandleNeeded();
    Sorted->AddItem(u"k");
    EXPECT_EQ(WindowItems(Sorted->Handle(), false), (std::vector<std::u16string>{u"a", u"k", u"m", u"z"}));
    for (int I = 0; I < Sorted->ItemCount(); ++I)
        EXPECT_EQ(Sorted->Item(I), ListText(Sorted->Handle(), LB_GETTEXT, UINT(I)));
    Sorted->SetItemIndex(1);
    EXPECT_EQ(ListText(Sorted->Handle(), LB_GETTEXT, UINT(SendMessageW(Sorted->Handle(), LB_GETCURSEL, 0, 0))),
              u"k");

    // --- Pages: tabs follow the sheets, a tab click changes the page once -----------------------
    HWND Tabs = Pages->Handle();
    EXPECT_EQ(SendMessageW(Tabs, TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(Tabs, TCM_GETCURSEL, 0, 0), 0);
    Pages->SetActivePageIndex(1);
    EXPECT_EQ(SendMessageW(Tabs, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(Events.empty());
    RECT Tab;
    ASSERT_TRUE(SendMessageW(Tabs, TCM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&Tab)));
    ClickAt(Pages, (Tab.left + Tab.right) / 2, (Tab.top + Tab.bottom) / 2);
    EXPECT_EQ(Pages->ActivePageIndex(), 2);
    EXPECT_EQ(Pages->ActivePage(), Sheets[2]);
    EXPECT_TRUE(Sheets[2]->Visible());
    EXPECT_FALSE(Sheets[1]->Visible());
    EXPECT_EQ(SendMessageW(Tabs, TCM_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Events, std::vector<std::string>{"page 2"});
    // A hidden sheet's tab goes; the others keep their order.
    Sheets[0]->SetTabVisible(false);
    EXPECT_EQ(SendMessageW(Tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(Tabs, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Pages->ActivePageIndex(), 2);

    // --- The form's new window: every control comes back as its old window left it --------------
    Combo->SetItemIndex(2);
    const std::vector<std::u16string> Before = List->Items();
    Form.RecreateWnd();
    Application()->ProcessMessages();
    EXPECT_EQ(WindowItems(List->Handle(), false), Before);
    EXPECT_EQ(SendMessageW(List->Handle(), LB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessageW(Combo->Handle(), CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Combo->Text(), u"300");
    EXPECT_EQ(SendMessageW(Pages->Handle(), TCM_GETCURSEL, 0, 0), 1);
}

// A component holding a binary property, the way the skin component holds
// its packed skin.
struct TBlobHolder : TComponent {
    using TComponent::TComponent;
    const char* ClassName() const override { return "TBlobHolder"; }
    std::vector<uint8_t> Data;
    int Reads = 0;
    bool ReadWhileLoading = false;
    void DefineProperties(TFiler& Filer) override {
        Filer.DefineBinaryProperty(
            "Blob",
            [this](TByteReader& R) {
                ++Reads;
                ReadWhileLoading = Loading();
                Data.resize(R.Size());
                Data.resize(R.Read(Data.data(), Data.size()));
            },
            !Data.empty());
    }
};

TEST_F(ComponentWrappers, StoredFormCarriesPropertiesAndEmbeddedData) {
    const std::string_view Embedded = Resources::Get(Resources::kSRGBProfile);
    ASSERT_GT(Embedded.size(), 100u);
    const std::span<const uint8_t> Bytes(reinterpret_cast<const uint8_t*>(Embedded.data()), Embedded.size());
    auto Make = [](auto* Dummy) {
        using T = std::remove_pointer_t<decltype(Dummy)>;
        return [](TComponent* Root) -> TComponent* { return new T(Root); };
    };
    TForm Form(nullptr);
    std::vector<TStoredComponent> Table = {
        {{}, u"Form_main", {}, {{"Caption", u"OrvekanPDF"}, {"ClientWidth", u"500"}, {"ClientHeight", u"300"}}, {}, {}},
        {Make((TBlobHolder*)nullptr), u"Skin", {}, {}, {{"Blob", Bytes}}, {}},
        {Make((TBlobHolder*)nullptr), u"NoData", {}, {}, {}, {}},
        {Make((TButton*)nullptr), u"btn5", u"Form_main", {{"Caption", u"开始"}, {"Left", u"10"}, {"Top", u"10"}}, {}, {}},
        {Make((TEdit*)nullptr), u"edt2", u"Form_main", {{"Text", u"C:\\out"}, {"Top", u"50"}}, {}, {}},
        {Make((TCheckBox*)nullptr), u"chk1", u"Form_main", {{"Checked", u"True"}, {"Top", u"90"}}, {}, {}},
    };
    int Clicks = 0;
    Table[5].Assign = [&](TComponent* C) { static_cast<TCheckBox*>(C)->OnClick = [&](TObject*) { ++Clicks; }; };
    Form.ReadStoredForm(Table);

    // The embedded bytes reached DefineProperties whole, while loading.
    auto* Skin = dynamic_cast<TBlobHolder*>(Form.FindComponent(u"Skin"));
    ASSERT_NE(Skin, nullptr);
    EXPECT_EQ(Skin->Reads, 1);
    EXPECT_TRUE(Skin->ReadWhileLoading);
    EXPECT_FALSE(Skin->Loading());
    ASSERT_EQ(Skin->Data.size(), Bytes.size());
    EXPECT_TRUE(std::equal(Skin->Data.begin(), Skin->Data.end(), Bytes.begin()));
    auto* NoData = dynamic_cast<TBlobHolder*>(Form.FindComponent(u"NoData"));
    ASSERT_NE(NoData, nullptr);
    EXPECT_EQ(NoData->Reads, 0);

    // The stored properties are the controls' state once their windows exist.
    Form.Show();
    Application()->ProcessMessages();
    auto* Btn = dynamic_cast<TButton*>(Form.FindComponent(u"btn5"));
    auto* Edt = dynamic_cast<TEdit*>(Form.FindComponent(u"edt2"));
    auto* Chk = dynamic_cast<TCheckBox*>(Form.FindComponent(u"chk1"));
    ASSERT_TRUE(Btn && Edt && Chk);
    EXPECT_EQ(GetWindowTextString(Form.Handle()), u"OrvekanPDF");
    EXPECT_EQ(GetWindowTextString(Btn->Handle()), u"开始");
    EXPECT_EQ(GetWindowTextString(Edt->Handle()), u"C:\\out");
    EXPECT_EQ(SendMessageW(Chk->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(GetParent(Btn->Handle()), Form.Handle());
    EXPECT_EQ(Clicks, 0);  // set while loading: no click
}

}  // namespace
}  // namespace velmo::vcl
