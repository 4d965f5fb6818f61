// Wrappers of the standard controls ("button", "edit", "combobox",
// "listbox", the tab control) and the controls drawn by the layer itself
// (labels, group boxes), with the page control and its sheets and the file
// dialogs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/components/Forms.h"

namespace velmo::vcl {

// Notification codes and messages of the standard controls.
constexpr WORD BN_CLICKED = 0;
constexpr WORD EN_CHANGE = 0x0300;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD CBN_EDITCHANGE = 5;
constexpr WORD CBN_DROPDOWN = 7;
constexpr WORD CBN_CLOSEUP = 8;
constexpr WORD LBN_SELCHANGE = 1;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_SETREADONLY = 0x00CF;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT TCM_FIRST = 0x1300;
constexpr UINT TCM_DELETEALLITEMS = TCM_FIRST + 9;
constexpr UINT TCM_SETCURSEL = TCM_FIRST + 12;
constexpr UINT TCM_ADJUSTRECT = TCM_FIRST + 40;
constexpr UINT TCM_INSERTITEMW = TCM_FIRST + 62;
constexpr UINT TCN_SELCHANGE = UINT(-551);
constexpr UINT TCIF_TEXT = 0x0001;
struct TTabItemW {
    UINT mask = 0;
    DWORD dwState = 0;
    DWORD dwStateMask = 0;
    LPWSTR pszText = nullptr;
    int cchTextMax = 0;
    int iImage = -1;
    LPARAM lParam = 0;
};

// A list of strings of a list control. Once the window exists the
// window's list and selection are the control's, whoever changed them; the
// control keeps them while it has no window.
class TItemsControl : public TWinControl {
public:
    using TWinControl::TWinControl;
    int ItemCount() const;
    std::u16string Item(int Index) const;
    void AddItem(const std::u16string& S);
    void InsertItem(int Index, const std::u16string& S);
    void DeleteItem(int Index);
    void ExchangeItems(int A, int B);
    void ClearItems();
    const std::vector<std::u16string>& Items() const;
    int ItemIndex() const;
    void SetItemIndex(int V);

protected:
    // The list messages of the control's window.
    struct TListMessages {
        UINT Add, Insert, Delete, Reset, GetSel, SetSel, Count, Text, TextLength;
    };
    virtual const TListMessages& ListMessages() const = 0;
    // Whether the window keeps its strings sorted.
    virtual bool SortsItems() const { return false; }
    // Whether the window can still tell its strings (a part of it may go
    // before the window itself).
    virtual bool ListAlive() const { return true; }
    void InitializeHandle() override;
    void WndProc(TMessage& Message) override;
    void Refill();
    // Reads the window's list and selection into the kept ones.
    void Sync() const;
    mutable std::vector<std::u16string> FItems;
    mutable int FItemIndex = -1;
};

class TButton : public TWinControl {
public:
    explicit TButton(TComponent* AOwner);
    const char* ClassName() const override { return "TButton"; }
    void ListProperties(TPropList& Out) const override;
    bool Default() const { return FDefault; }
    void SetDefault(bool V);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool V) { FCancel = V; }
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int V) { FModalResult = V; }
    void WndProc(TMessage& Message) override;

protected:
    void CreateParams(TCreateParams& Params) override;
    bool FDefault = false, FCancel = false;
    int FModalResult = 0;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCustomCheckBox : public TWinControl {
public:
    explicit TCustomCheckBox(TComponent* AOwner);
    const char* ClassName() const override { return "TCustomCheckBox"; }
    void ListProperties(TPropList& Out) const override;
    bool Checked() const { return State() == cbChecked; }
    void SetChecked(bool V) { SetState(V ? cbChecked : cbUnchecked); }
    // The window's check state once the window exists.
    TCheckBoxState State() const;
    void SetState(TCheckBoxState V);
    void WndProc(TMessage& Message) override;

protected:
    void CreateParams(TCreateParams& Params) override;
    void InitializeHandle() override;
    TCheckBoxState FState = cbUnchecked;
};

class TCheckBox : public TCustomCheckBox {
public:
    using TCustomCheckBox::TCustomCheckBox;
    const char* ClassName() const override { return "TCheckBox"; }
};

class TCustomLabel : public TGraphicControl {
public:
    explicit TCustomLabel(TComponent* AOwner);
    const char* ClassName() const override { return "TCustomLabel"; }
    void ListProperties(TPropList& Out) const override;
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool V);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool V);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment V);
    void WndProc(TMessage& Message) override;

protected:
    void Paint() override;
    bool ClicksOnMouseUp() const override { return true; }
    void AdjustBounds();
    UINT TextFlags() const;
    // A label read from a stored form takes its text's size once loaded.
    void Loaded() override {
        TGraphicControl::Loaded();
        AdjustBounds();
    }
    bool FAutoSize = true;
    bool FTransparent = false;
    TAlignment FAlignment = taLeftJustify;
};

class TLabel : public TCustomLabel {
public:
    using TCustomLabel::TCustomLabel;
    const char* ClassName() const override { return "TLabel"; }
};

class TCustomEdit : public TWinControl {
public:
    explicit TCustomEdit(TComponent* AOwner);
    const char* ClassName() const override { return "TCustomEdit"; }
    void ListProperties(TPropList& Out) const override;
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool V);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int V);
    TNotifyEvent OnChange;
    void WndProc(TMessage& Message) override;

protected:
    void CreateParams(TCreateParams& Params) override;
    void InitializeHandle() override;
    bool FReadOnly = false;
    int FMaxLength = 0;
};

class TEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
    const char* ClassName() const override { return "TEdit"; }
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };

class TCustomComboBox : public TItemsControl {
public:
    explicit TCustomComboBox(TComponent* AOwner);
    const char* ClassName() const override { return "TCustomComboBox"; }
    void ListProperties(TPropList& Out) const override;
    TComboBoxStyle Style() const { return FStyle; }
    void SetStyle(TComboBoxStyle V);
    TNotifyEvent OnChange, OnSelect, OnDropDown, OnCloseUp;
    void WndProc(TMessage& Message) override;

protected:
    void CreateParams(TCreateParams& Params) override;
    const TListMessages& ListMessages() const override;
    bool ListAlive() const override;
    TComboBoxStyle FStyle = csDropDown;
};

class TComboBox : public TCustomComboBox {
public:
    using TCustomComboBox::TCustomComboBox;
    const char* ClassName() const override { return "TComboBox"; }
};

class TCustomListBox : public TItemsControl {
public:
    explicit TCustomListBox(TComponent* AOwner);
    const char* ClassName() const override { return "TCustomListBox"; }
    void ListProperties(TPropList& Out) const override;
    bool Sorted() const { return FSorted; }
    void SetSorted(bool V);
    void WndProc(TMessage& Message) override;

protected:
    void CreateParams(TCreateParams& Params) override;
    const TListMessages& ListMessages() const override;
    bool SortsItems() const override { return FSorted; }
    bool FSorted = false;
};

class TListBox : public TCustomListBox {
public:
    using TCustomListBox::TCustomListBox;
    const char* ClassName() const override { return "TListBox"; }
};

class TCustomGroupBox : public TCustomControl {
public:
    explicit TCustomGroupBox(TComponent* AOwner);
    const char* ClassName() const override { return "TCustomGroupBox"; }
    void AdjustClientRect(RECT& Rect) const override;

protected:
    void Paint() override;
};

class TGroupBox : public TCustomGroupBox {
public:
    using TCustomGroupBox::TCustomGroupBox;
    const char* ClassName() const override { return "TGroupBox"; }
};

class TPageControl;

class TTabSheet : public TWinControl {
public:
    explicit TTabSheet(TComponent* AOwner);
    ~TTabSheet() override;
    const char* ClassName() const override { return "TTabSheet"; }
    void ListProperties(TPropList& Out) const override;
    TPageControl* PageControl() const { return FPageControl; }
    void SetPageControl(TPageControl* V);
    bool TabVisible() const { return FTabVisible; }
    void SetTabVisible(bool V);
    int PageIndex() const;

protected:
    // The page fills its area with its colour.
    bool PaintsItself() const override { return true; }

private:
    friend class TPageControl;
    TPageControl* FPageControl = nullptr;
    bool FTabVisible = true;
};

enum TTabStyle { tsTabs, tsButtons, tsFlatButtons };

class TCustomTabControl : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TCustomTabControl"; }
};

class TPageControl : public TCustomTabControl {
public:
    explicit TPageControl(TComponent* AOwner);
    ~TPageControl() override;
    const char* ClassName() const override { return "TPageControl"; }
    void ListProperties(TPropList& Out) const override;
    int PageCount() const { return int(FPages.size()); }
    TTabSheet* Pages(int Index) const;
    TTabSheet* ActivePage() const { return FActivePage; }
    void SetActivePage(TTabSheet* V);
    int ActivePageIndex() const;
    void SetActivePageIndex(int V);
    TTabStyle Style() const { return FStyle; }
    void SetStyle(TTabStyle V) { FStyle = V; }
    // The area of the pages: the tab control's display rectangle.
    void AdjustClientRect(RECT& Rect) const override;
    TNotifyEvent OnChange;
    void WndProc(TMessage& Message) override;

protected:
    void CreateParams(TCreateParams& Params) override;
    void InitializeHandle() override;

private:
    friend class TTabSheet;
    void InsertPage(TTabSheet* P);
    void RemovePage(TTabSheet* P);
    void UpdateTabs();
    std::vector<TTabSheet*> FPages;
    TTabSheet* FActivePage = nullptr;
    TTabStyle FStyle = tsTabs;
};

// --- File dialogs -----------------------------------------------------------------------
enum TOpenOption : uint32_t { ofOverwritePrompt = 1, ofAllowMultiSelect = 2, ofFileMustExist = 4 };

class TOpenDialog : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TOpenDialog"; }
    void ListProperties(TPropList& Out) const override;
    // Runs the desktop's file chooser; false for a cancel.
    virtual bool Execute();
    std::u16string Filter() const { return FFilter; }
    void SetFilter(const std::u16string& V) { FFilter = V; }
    int FilterIndex() const { return FFilterIndex; }
    void SetFilterIndex(int V) { FFilterIndex = V; }
    std::u16string FileName() const { return FFileName; }
    void SetFileName(const std::u16string& V) { FFileName = V; }
    std::u16string InitialDir() const { return FInitialDir; }
    void SetInitialDir(const std::u16string& V) { FInitialDir = V; }
    std::u16string Title() const { return FTitle; }
    void SetTitle(const std::u16string& V) { FTitle = V; }
    std::u16string DefaultExt() const { return FDefaultExt; }
    void SetDefaultExt(const std::u16string& V) { FDefaultExt = V; }
    uint32_t Options = 0;
    const std::vector<std::u16string>& Files() const { return FFiles; }

protected:
    bool Run(bool Save);
    std::u16string FFilter, FFileName, FInitialDir, FTitle, FDefaultExt;
    int FFilterIndex = 1;
    std::vector<std::u16string> FFiles;
};

class TSaveDialog : public TOpenDialog {
public:
    using TOpenDialog::TOpenDialog;
    const char* ClassName() const override { return "TSaveDialog"; }
    bool Execute() override { return Run(true); }
};

}  // namespace velmo::vcl
