#include "platform/ui/components/StdCtrls.h"

#include <algorithm>

#include "platform/ui/Controls.h"
#include "platform/ui/FileChoosers.h"

namespace velmo::vcl {

namespace {
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr DWORD BS_3STATE = 0x0005;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_READONLY = 0x0800;
constexpr DWORD CBS_AUTOHSCROLL = 0x0040;
constexpr DWORD LBS_NOTIFY = 0x0001;
constexpr DWORD LBS_SORT = 0x0002;
constexpr DWORD LBS_NOINTEGRALHEIGHT = 0x0100;

}  // namespace

// --- TItemsControl ----------------------------------------------------------------------

namespace {
// The order a sorted list keeps: letters compared without their case.
bool SortsBefore(const std::u16string& A, const std::u16string& B) {
    auto Fold = [](char16_t C) { return C >= u'A' && C <= u'Z' ? char16_t(C + 32) : C; };
    return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(),
                                        [&](char16_t X, char16_t Y) { return Fold(X) < Fold(Y); });
}

std::u16string ListString(HWND Wnd, UINT Length, UINT Text, int Index) {
    const LRESULT N = SendMessageW(Wnd, Length, WPARAM(Index), 0);
    if (N <= 0) return {};
    std::u16string S(size_t(N) + 1, u'\0');
    SendMessageW(Wnd, Text, WPARAM(Index), reinterpret_cast<LPARAM>(S.data()));
    S.resize(std::char_traits<char16_t>::length(S.c_str()));
    return S;
}
}  // namespace

int TItemsControl::ItemCount() const {
    if (!FHandle) return int(FItems.size());
    const LRESULT N = SendMessageW(FHandle, ListMessages().Count, 0, 0);
    return N > 0 ? int(N) : 0;
}

std::u16string TItemsControl::Item(int Index) const {
    if (Index < 0 || Index >= ItemCount()) return {};
    if (FHandle) return ListString(FHandle, ListMessages().TextLength, ListMessages().Text, Index);
    return FItems[size_t(Index)];
}

const std::vector<std::u16string>& TItemsControl::Items() const {
    Sync();
    return FItems;
}

void TItemsControl::AddItem(const std::u16string& S) { InsertItem(ItemCount(), S); }

void TItemsControl::InsertItem(int Index, const std::u16string& S) {
    const TListMessages& M = ListMessages();
    Index = std::clamp(Index, 0, ItemCount());
    if (FHandle) {
        // A sorted window places the string itself.
        SendMessageW(FHandle, SortsItems() ? M.Add : M.Insert, SortsItems() ? 0 : WPARAM(Index),
                     reinterpret_cast<LPARAM>(S.c_str()));
        return;
    }
    if (SortsItems()) Index = int(std::upper_bound(FItems.begin(), FItems.end(), S, SortsBefore) - FItems.begin());
    FItems.insert(FItems.begin() + Index, S);
}

void TItemsControl::DeleteItem(int Index) {
    if (Index < 0 || Index >= ItemCount()) return;
    if (FHandle) {
        SendMessageW(FHandle, ListMessages().Delete, WPARAM(Index), 0);
        return;
    }
    FItems.erase(FItems.begin() + Index);
    if (FItemIndex >= int(FItems.size())) FItemIndex = -1;
}

void TItemsControl::ExchangeItems(int A, int B) {
    Sync();
    if (A < 0 || B < 0 || A >= int(FItems.size()) || B >= int(FItems.size())) return;
    int Sel = ItemIndex();
    std::swap(FItems[size_t(A)], FItems[size_t(B)]);
    Refill();
    SetItemIndex(Sel == A ? B : Sel == B ? A : Sel);
}

void TItemsControl::ClearItems() {
    FItems.clear();
    FItemIndex = -1;
    if (FHandle) SendMessageW(FHandle, ListMessages().Reset, 0, 0);
}

int TItemsControl::ItemIndex() const {
    if (!FHandle) return FItemIndex;
    const LRESULT Sel = SendMessageW(FHandle, ListMessages().GetSel, 0, 0);
    return Sel >= 0 && Sel < ItemCount() ? int(Sel) : -1;
}

void TItemsControl::SetItemIndex(int V) {
    if (V < -1 || V >= ItemCount()) V = -1;
    FItemIndex = V;
    if (FHandle) SendMessageW(FHandle, ListMessages().SetSel, WPARAM(V), 0);
}

void TItemsControl::Sync() const {
    if (!FHandle) return;
    const TListMessages& M = ListMessages();
    const int N = ItemCount();
    std::vector<std::u16string> Now;
    Now.reserve(size_t(N));
    for (int I = 0; I < N; ++I) Now.push_back(ListString(FHandle, M.TextLength, M.Text, I));
    FItems = std::move(Now);
    FItemIndex = ItemIndex();
}

void TItemsControl::Refill() {
    if (!FHandle) return;
    const TListMessages& M = ListMessages();
    SendMessageW(FHandle, M.Reset, 0, 0);
    for (const auto& S : FItems) SendMessageW(FHandle, M.Add, 0, reinterpret_cast<LPARAM>(S.c_str()));
    if (FItemIndex >= 0) SendMessageW(FHandle, M.SetSel, WPARAM(FItemIndex), 0);
}

void TItemsControl::InitializeHandle() { Refill(); }

void TItemsControl::WndProc(TMessage& M) {
    // A new window gets the list and selection this one had, however this
    // one goes.
    if (M.Msg == WM_DESTROY && ListAlive()) Sync();
    TWinControl::WndProc(M);
}

// --- TButton -----------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) {
    FTabStop = true;
    FColor = clBtnFace;
    FWidth = 75, FHeight = 25;
}

void TButton::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        BoolProp<TButton>("Cancel", &TButton::Cancel, &TButton::SetCancel),
        BoolProp<TButton>("Default", &TButton::Default, &TButton::SetDefault),
        IntProp<TButton, int>("ModalResult", &TButton::ModalResult, &TButton::SetModalResult),
    };
    TWinControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TButton::CreateParams(TCreateParams& P) {
    TWinControl::CreateParams(P);
    P.BaseClass = u"button";
    if (FDefault) P.Style |= BS_DEFPUSHBUTTON;
}

void TButton::SetDefault(bool V) {
    if (V == FDefault) return;
    FDefault = V;
    if (FHandle) RecreateWnd();
}

void TButton::WndProc(TMessage& M) {
    if (M.Msg == CN_COMMAND && HIWORD(M.WParam) == BN_CLICKED) {
        Click();
        return;
    }
    TWinControl::WndProc(M);
}

// --- TCustomCheckBox ------------------------------------------------------------------------

TCustomCheckBox::TCustomCheckBox(TComponent* AOwner) : TWinControl(AOwner) {
    FTabStop = true;
    FColor = clBtnFace;
    FWidth = 97, FHeight = 17;
}

void TCustomCheckBox::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        BoolProp<TCustomCheckBox>("Checked", &TCustomCheckBox::Checked,
                                  &TCustomCheckBox::SetChecked),
        EnumProp<TCustomCheckBox, TCheckBoxState>("State", {"cbUnchecked", "cbChecked", "cbGrayed"},
                                                  &TCustomCheckBox::State,
                                                  &TCustomCheckBox::SetState),
    };
    TWinControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TCustomCheckBox::CreateParams(TCreateParams& P) {
    TWinControl::CreateParams(P);
    P.BaseClass = u"button";
    P.Style |= BS_3STATE;
}

void TCustomCheckBox::InitializeHandle() { SendMessageW(FHandle, BM_SETCHECK, WPARAM(FState), 0); }

TCheckBoxState TCustomCheckBox::State() const {
    if (!FHandle) return FState;
    const LRESULT S = SendMessageW(FHandle, BM_GETCHECK, 0, 0);
    return S >= cbUnchecked && S <= cbGrayed ? TCheckBoxState(S) : FState;
}

void TCustomCheckBox::SetState(TCheckBoxState V) {
    if (V == State()) {
        FState = V;
        return;
    }
    FState = V;
    if (FHandle) SendMessageW(FHandle, BM_SETCHECK, WPARAM(V), 0);
    if (!Loading()) Click();
}

void TCustomCheckBox::WndProc(TMessage& M) {
    if (M.Msg == WM_DESTROY) FState = State();
    if (M.Msg == CN_COMMAND && HIWORD(M.WParam) == BN_CLICKED) {
        SetState(State() == cbChecked ? cbUnchecked : cbChecked);
        return;
    }
    TWinControl::WndProc(M);
}

// --- TCustomLabel ------------------------------------------------------------------------------

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
    FColor = clBtnFace;
    FParentColor = true;
    FWidth = 65, FHeight = 17;
}

void TCustomLabel::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        EnumProp<TCustomLabel, TAlignment>("Alignment",
                                           {"taLeftJustify", "taRightJustify", "taCenter"},
                                           &TCustomLabel::Alignment, &TCustomLabel::SetAlignment),
        BoolProp<TCustomLabel>("AutoSize", &TCustomLabel::AutoSize, &TCustomLabel::SetAutoSize),
        BoolProp<TCustomLabel>("Transparent", &TCustomLabel::Transparent,
                               &TCustomLabel::SetTransparent),
    };
    TGraphicControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TCustomLabel::SetAutoSize(bool V) {
    FAutoSize = V;
    AdjustBounds();
}
void TCustomLabel::SetTransparent(bool V) {
    FTransparent = V;
    Invalidate();
}
void TCustomLabel::SetAlignment(TAlignment V) {
    FAlignment = V;
    Invalidate();
}

UINT TCustomLabel::TextFlags() const {
    UINT F = DT_EXPANDTABS | DT_NOCLIP;
    F |= FAlignment == taCenter ? DT_CENTER : FAlignment == taRightJustify ? DT_RIGHT : DT_LEFT;
    return F;
}

void TCustomLabel::AdjustBounds() {
    if (!FAutoSize || Loading()) return;
    TCanvas C;
    velmo::TBitmap B(1, 1, pf24bit);
    HDC Dc = CreateCompatibleDC(nullptr);
    if (!Dc) return;
    HGDIOBJ Old = SelectObject(Dc, FFont->Handle());
    RECT R{0, 0, 0, 0};
    std::u16string T = FText.empty() ? u" " : FText;
    DrawTextW(Dc, T.c_str(), int(T.size()), &R, TextFlags() | DT_CALCRECT);
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    SetBounds(FLeft, FTop, R.right - R.left, R.bottom - R.top);
}

void TCustomLabel::WndProc(TMessage& M) {
    TGraphicControl::WndProc(M);
    if (M.Msg == CM_TEXTCHANGED || M.Msg == CM_FONTCHANGED) AdjustBounds();
}

void TCustomLabel::Paint() {
    RECT R = ClientRect();
    if (!FTransparent) {
        FCanvas->Brush().Color = FColor;
        FCanvas->Brush().Style = bsSolid;
        FCanvas->FillRect(R);
    }
    FCanvas->Brush().Style = bsClear;
    HDC Dc = FCanvas->TextHandle();
    if (!Dc) return;
    if (!FEnabled) SetTextColor(Dc, ColorToRGB(clGrayText));
    DrawTextW(Dc, FText.c_str(), int(FText.size()), &R, TextFlags());
}

// --- TCustomEdit
// ----------------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
    FTabStop = true;
    FWidth = 121, FHeight = 21;
}

void TCustomEdit::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        IntProp<TCustomEdit, int>("MaxLength", &TCustomEdit::MaxLength, &TCustomEdit::SetMaxLength),
        BoolProp<TCustomEdit>("ReadOnly", &TCustomEdit::ReadOnly, &TCustomEdit::SetReadOnly),
        StrProp<TControl>("Text", &TControl::Text, &TControl::SetTextProp),
    };
    TWinControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TCustomEdit::CreateParams(TCreateParams& P) {
    TWinControl::CreateParams(P);
    P.BaseClass = u"edit";
    P.Style |= ES_AUTOHSCROLL;
    if (FReadOnly) P.Style |= ES_READONLY;
    P.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::InitializeHandle() {
    if (FMaxLength) SendMessageW(FHandle, EM_LIMITTEXT, WPARAM(FMaxLength), 0);
}

void TCustomEdit::SetReadOnly(bool V) {
    FReadOnly = V;
    if (FHandle) SendMessageW(FHandle, EM_SETREADONLY, V ? 1 : 0, 0);
}

void TCustomEdit::SetMaxLength(int V) {
    FMaxLength = std::max(0, V);
    if (FHandle) SendMessageW(FHandle, EM_LIMITTEXT, WPARAM(FMaxLength), 0);
}

void TCustomEdit::WndProc(TMessage& M) {
    if (M.Msg == CN_COMMAND && HIWORD(M.WParam) == EN_CHANGE) {
        if (FHandle) FText = GetWindowTextString(FHandle);
        if (OnChange) OnChange(this);
        return;
    }
    TWinControl::WndProc(M);
}

// --- TCustomComboBox
// --------------------------------------------------------------------------------

TCustomComboBox::TCustomComboBox(TComponent* AOwner) : TItemsControl(AOwner) {
    FTabStop = true;
    FWidth = 145, FHeight = 21;
}

void TCustomComboBox::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        IntProp<TItemsControl, int>("ItemIndex", &TItemsControl::ItemIndex,
                                    &TItemsControl::SetItemIndex),
        EnumProp<TCustomComboBox, TComboBoxStyle>(
            "Style", {"csDropDown", "csSimple", "csDropDownList"}, &TCustomComboBox::Style,
            &TCustomComboBox::SetStyle),
        StrProp<TControl>("Text", &TControl::Text, &TControl::SetTextProp),
    };
    TItemsControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TCustomComboBox::CreateParams(TCreateParams& P) {
    TItemsControl::CreateParams(P);
    P.BaseClass = u"combobox";
    P.Style |= WS_VSCROLL | CBS_AUTOHSCROLL |
               DWORD(FStyle == csDropDown ? 2
                     : FStyle == csSimple ? 1
                                          : 3);
}

void TCustomComboBox::SetStyle(TComboBoxStyle V) {
    if (V == FStyle) return;
    FStyle = V;
    if (FHandle) RecreateWnd();
}

bool TCustomComboBox::ListAlive() const {
    // The drop-down list is a popup of the form's and goes with the form
    // before the combo box hears of its own end.
    COMBOBOXINFO Info;
    return FHandle && GetComboBoxInfo(FHandle, &Info) && IsWindow(Info.hwndList);
}

const TItemsControl::TListMessages& TCustomComboBox::ListMessages() const {
    static const TListMessages M{CB_ADDSTRING,  velmo::CB_INSERTSTRING, velmo::CB_DELETESTRING,
                                 CB_RESETCONTENT, CB_GETCURSEL,         CB_SETCURSEL,
                                 velmo::CB_GETCOUNT, velmo::CB_GETLBTEXT, velmo::CB_GETLBTEXTLEN};
    return M;
}

void TCustomComboBox::WndProc(TMessage& M) {
    if (M.Msg == CN_COMMAND) {
        switch (HIWORD(M.WParam)) {
            case CBN_SELCHANGE:
                if (FHandle) FItemIndex = int(SendMessageW(FHandle, CB_GETCURSEL, 0, 0));
                if (OnSelect) OnSelect(this);
                if (OnChange) OnChange(this);
                return;
            case CBN_EDITCHANGE:
                if (OnChange) OnChange(this);
                return;
            case CBN_DROPDOWN:
                if (OnDropDown) OnDropDown(this);
                return;
            case CBN_CLOSEUP:
                if (OnCloseUp) OnCloseUp(this);
                return;
            default:
                break;
        }
    }
    TItemsControl::WndProc(M);
}

// --- TCustomListBox
// ------------------------------------------------------------------------------------

TCustomListBox::TCustomListBox(TComponent* AOwner) : TItemsControl(AOwner) {
    FTabStop = true;
    FWidth = 121, FHeight = 97;
}

void TCustomListBox::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        IntProp<TItemsControl, int>("ItemIndex", &TItemsControl::ItemIndex,
                                    &TItemsControl::SetItemIndex),
        BoolProp<TCustomListBox>("Sorted", &TCustomListBox::Sorted, &TCustomListBox::SetSorted),
    };
    TItemsControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TCustomListBox::CreateParams(TCreateParams& P) {
    TItemsControl::CreateParams(P);
    P.BaseClass = u"listbox";
    P.Style |= WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | (FSorted ? LBS_SORT : 0);
    P.ExStyle |= WS_EX_CLIENTEDGE;
}

const TItemsControl::TListMessages& TCustomListBox::ListMessages() const {
    static const TListMessages M{LB_ADDSTRING,  velmo::LB_INSERTSTRING, velmo::LB_DELETESTRING,
                                 LB_RESETCONTENT, LB_GETCURSEL,         LB_SETCURSEL,
                                 velmo::LB_GETCOUNT, velmo::LB_GETTEXT, velmo::LB_GETTEXTLEN};
    return M;
}

void TCustomListBox::SetSorted(bool V) {
    if (V == FSorted) return;
    Sync();
    FSorted = V;
    if (V) std::stable_sort(FItems.begin(), FItems.end(), SortsBefore);
    if (FHandle) RecreateWnd();
}

void TCustomListBox::WndProc(TMessage& M) {
    if (M.Msg == CN_COMMAND && HIWORD(M.WParam) == LBN_SELCHANGE) {
        if (FHandle) FItemIndex = int(SendMessageW(FHandle, LB_GETCURSEL, 0, 0));
        Click();
        return;
    }
    TItemsControl::WndProc(M);
}

// --- TCustomGroupBox
// ----------------------------------------------------------------------------------

TCustomGroupBox::TCustomGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
    FColor = clBtnFace;
    FWidth = 185, FHeight = 105;
}

void TCustomGroupBox::AdjustClientRect(RECT& R) const {
    int H = FFont->Height() < 0 ? -FFont->Height() : FFont->Height();
    R.left += 2, R.right -= 2, R.bottom -= 2;
    R.top += std::max(H, 2) + 2;
}

void TCustomGroupBox::Paint() {
    RECT R = ClientRect();
    FCanvas->Brush().Color = FColor;
    FCanvas->Brush().Style = bsSolid;
    FCanvas->FillRect(R);
    HDC Dc = FCanvas->TextHandle();
    if (!Dc) return;
    int H = FFont->Height() < 0 ? -FFont->Height() : FFont->Height();
    RECT Frame{0, H / 2, R.right, R.bottom};
    DrawEdge(Dc, &Frame, EDGE_ETCHED, BF_RECT);
    if (!FText.empty()) {
        RECT T{8, 0, R.right - 8, H + 2};
        FCanvas->Brush().Style = bsSolid;
        Dc = FCanvas->TextHandle();
        DrawTextW(Dc, FText.c_str(), int(FText.size()), &T, DT_LEFT | DT_SINGLELINE | DT_CALCRECT);
        DrawTextW(Dc, FText.c_str(), int(FText.size()), &T, DT_LEFT | DT_SINGLELINE);
    }
}

// --- TTabSheet / TPageControl
// -------------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
    FColor = clBtnFace;
    FAlign = alClient;
}

TTabSheet::~TTabSheet() {
    if (FPageControl) FPageControl->RemovePage(this);
}

void TTabSheet::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        BoolProp<TTabSheet>("TabVisible", &TTabSheet::TabVisible, &TTabSheet::SetTabVisible),
    };
    TWinControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TTabSheet::SetPageControl(TPageControl* V) {
    if (V == FPageControl) return;
    if (FPageControl) FPageControl->RemovePage(this);
    SetParent(V);
    if (V) V->InsertPage(this);
}

void TTabSheet::SetTabVisible(bool V) {
    if (V == FTabVisible) return;
    FTabVisible = V;
    if (FPageControl) {
        FPageControl->UpdateTabs();
        FPageControl->Realign();
    }
}

int TTabSheet::PageIndex() const {
    if (!FPageControl) return -1;
    auto& P = FPageControl->FPages;
    auto It = std::find(P.begin(), P.end(), this);
    return It == P.end() ? -1 : int(It - P.begin());
}

TPageControl::TPageControl(TComponent* AOwner) : TCustomTabControl(AOwner) {
    FTabStop = true;
    FColor = clBtnFace;
    FWidth = 289, FHeight = 193;
}

TPageControl::~TPageControl() {
    for (TTabSheet* P : FPages) P->FPageControl = nullptr;
}

void TPageControl::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        IntProp<TPageControl, int>("ActivePageIndex", &TPageControl::ActivePageIndex,
                                   &TPageControl::SetActivePageIndex),
        EnumProp<TPageControl, TTabStyle>("Style", {"tsTabs", "tsButtons", "tsFlatButtons"},
                                          &TPageControl::Style, &TPageControl::SetStyle),
    };
    TCustomTabControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TPageControl::CreateParams(TCreateParams& P) {
    TCustomTabControl::CreateParams(P);
    P.BaseClass = u"SysTabControl32";
    P.Style |= WS_CLIPCHILDREN;
}

void TPageControl::InitializeHandle() {
    UpdateTabs();
    Realign();
}

TTabSheet* TPageControl::Pages(int Index) const {
    if (Index < 0 || Index >= int(FPages.size())) return nullptr;
    return FPages[size_t(Index)];
}

void TPageControl::InsertPage(TTabSheet* P) {
    FPages.push_back(P);
    P->FPageControl = this;
    P->SetVisible(P == FActivePage);
    UpdateTabs();
}

void TPageControl::RemovePage(TTabSheet* P) {
    FPages.erase(std::remove(FPages.begin(), FPages.end(), P), FPages.end());
    P->FPageControl = nullptr;
    if (FActivePage == P) FActivePage = nullptr;
    UpdateTabs();
}

int TPageControl::ActivePageIndex() const { return FActivePage ? FActivePage->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int V) { SetActivePage(Pages(V)); }

void TPageControl::SetActivePage(TTabSheet* V) {
    if (V && V->FPageControl != this) return;
    if (V == FActivePage) return;
    FActivePage = V;
    for (TTabSheet* P : FPages) P->SetVisible(P == V);
    Realign();
    if (FHandle && V && V->FTabVisible) {
        int Tab = 0;
        for (TTabSheet* P : FPages) {
            if (P == V) break;
            if (P->FTabVisible) ++Tab;
        }
        SendMessageW(FHandle, TCM_SETCURSEL, WPARAM(Tab), 0);
    }
}

void TPageControl::UpdateTabs() {
    if (!FHandle) return;
    SendMessageW(FHandle, TCM_DELETEALLITEMS, 0, 0);
    int Tab = 0, Active = -1;
    for (TTabSheet* P : FPages) {
        if (!P->FTabVisible) continue;
        if (P == FActivePage) Active = Tab;
        std::u16string Text = P->Caption();
        TTabItemW Item;
        Item.mask = TCIF_TEXT;
        Item.pszText = Text.data();
        SendMessageW(FHandle, TCM_INSERTITEMW, WPARAM(Tab++), reinterpret_cast<LPARAM>(&Item));
    }
    // The tabs made anew still show the active page.
    if (Active >= 0) SendMessageW(FHandle, TCM_SETCURSEL, WPARAM(Active), 0);
}

void TPageControl::AdjustClientRect(RECT& R) const {
    if (FHandle) SendMessageW(FHandle, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&R));
}

void TPageControl::WndProc(TMessage& M) {
    // The skinning layer's own message shares CN_NOTIFY's number and carries
    // no notification header.
    if (M.Msg == CN_NOTIFY && M.LParam && M.LParam != SkinMessageMark) {
        const auto* H = reinterpret_cast<const NMHDR*>(M.LParam);
        if (H->code == TCN_SELCHANGE && FHandle) {
            int Tab = int(SendMessageW(FHandle, TCM_FIRST + 11, 0, 0));  // TCM_GETCURSEL
            for (TTabSheet* P : FPages)
                if (P->FTabVisible && Tab-- == 0) {
                    SetActivePage(P);
                    break;
                }
            if (OnChange) OnChange(this);
            return;
        }
    }
    TCustomTabControl::WndProc(M);
}

// --- File dialogs ----------------------------------------------------------------------------

void TOpenDialog::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        StrProp<TOpenDialog>("DefaultExt", &TOpenDialog::DefaultExt, &TOpenDialog::SetDefaultExt),
        StrProp<TOpenDialog>("FileName", &TOpenDialog::FileName, &TOpenDialog::SetFileName),
        StrProp<TOpenDialog>("Filter", &TOpenDialog::Filter, &TOpenDialog::SetFilter),
        IntProp<TOpenDialog, int>("FilterIndex", &TOpenDialog::FilterIndex,
                                  &TOpenDialog::SetFilterIndex),
        StrProp<TOpenDialog>("InitialDir", &TOpenDialog::InitialDir, &TOpenDialog::SetInitialDir),
        StrProp<TOpenDialog>("Title", &TOpenDialog::Title, &TOpenDialog::SetTitle),
    };
    TComponent::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

bool TOpenDialog::Execute() { return Run(false); }

bool TOpenDialog::Run(bool Save) {
    TFileChooserRequest Q;
    Q.Kind = Save ? TFileChooserKind::Save : TFileChooserKind::Open;
    TCustomForm* Main = Application()->MainForm();
    Q.Owner = Main && Main->HandleAllocated() ? Main->Handle() : nullptr;
    Q.Title = FTitle;
    Q.InitialFolder = FInitialDir;
    Q.FileName = FFileName;
    Q.Filters = ParseFileFilter(FFilter);
    Q.FilterIndex = std::max(0, FFilterIndex - 1);
    Q.Multiple = !Save && (Options & ofAllowMultiSelect);
    TFileChooserResult A = ShowFileChooser(Q);
    if (!A.Accepted || A.Files.empty()) return false;
    FFiles = A.Files;
    FFileName = A.Files.front();
    if (A.FilterIndex >= 0) FFilterIndex = A.FilterIndex + 1;
    // A saved name without an extension takes the default one.
    size_t Slash = FFileName.find_last_of(u'/');
    size_t Base = Slash == std::u16string::npos ? 0 : Slash + 1;
    if (Save && !FDefaultExt.empty() && FFileName.find(u'.', Base) == std::u16string::npos)
        FFileName += u"." + FDefaultExt;
    return true;
}

}  // namespace velmo::vcl
