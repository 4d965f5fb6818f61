#include "platform/ui/components/Menus.h"

#include <algorithm>
#include <set>

#include "platform/fonts/DCText.h"
#include "platform/ui/Menus.h"
#include "platform/ui/components/Forms.h"

namespace velmo::vcl {

namespace {

// Command numbers in use; a new item takes the lowest free one.
std::set<UINT>& UsedCommands() {
    static std::set<UINT> S;
    return S;
}

UINT AllocateCommand() {
    UINT Id = 1;
    for (UINT U : UsedCommands()) {
        if (U != Id) break;
        ++Id;
    }
    if (Id > 0xFFFF) return 0;
    UsedCommands().insert(Id);
    return Id;
}

std::set<TMenu*>& LiveMenus() {
    static std::set<TMenu*> S;
    return S;
}

std::u16string StripHotkey(const std::u16string& S) {
    std::u16string R;
    for (size_t I = 0; I < S.size(); ++I) {
        if (S[I] == u'&') {
            if (I + 1 < S.size() && S[I + 1] == u'&') R.push_back(u'&'), ++I;
            continue;
        }
        R.push_back(S[I]);
    }
    return R;
}

}  // namespace

// --- TMenuItem ----------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), FCommand(AllocateCommand()) {}

TMenuItem::~TMenuItem() {
    MarkDestroying();
    Clear();
    if (FParent) FParent->Remove(this);
    if (FCommand) UsedCommands().erase(FCommand);
}

void TMenuItem::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        StrProp<TMenuItem>("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption),
        BoolProp<TMenuItem>("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked),
        BoolProp<TMenuItem>("Default", &TMenuItem::Default, &TMenuItem::SetDefault),
        BoolProp<TMenuItem>("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled),
        IntProp<TMenuItem, int>("GroupIndex", &TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex),
        StrProp<TMenuItem>("Hint", &TMenuItem::Hint, &TMenuItem::SetHint),
        IntProp<TMenuItem, int>("ImageIndex", &TMenuItem::ImageIndex, &TMenuItem::SetImageIndex),
        BoolProp<TMenuItem>("RadioItem", &TMenuItem::RadioItem, &TMenuItem::SetRadioItem),
        IntProp<TMenuItem, TShortCut>("ShortCut", &TMenuItem::ShortCut, &TMenuItem::SetShortCut),
        BoolProp<TMenuItem>("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible),
    };
    TComponent::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TMenuItem::SetChecked(bool V) {
    FChecked = V;
    // A checked radio item unchecks the others of its group.
    if (V && FRadioItem && FParent)
        for (TMenuItem* I : FParent->FItems)
            if (I != this && I->FRadioItem && I->FGroupIndex == FGroupIndex) I->FChecked = false;
}

TMenuItem* TMenuItem::Items(int Index) const {
    if (Index < 0 || Index >= int(FItems.size())) return nullptr;
    return FItems[size_t(Index)];
}

int TMenuItem::MenuIndex() const { return FParent ? FParent->IndexOf(this) : -1; }

int TMenuItem::IndexOf(const TMenuItem* Item) const {
    auto It = std::find(FItems.begin(), FItems.end(), Item);
    return It == FItems.end() ? -1 : int(It - FItems.begin());
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem* Item) {
    if (!Item || Item == this) return;
    for (const TMenuItem* P = this; P; P = P->FParent)
        if (P == Item) throw std::runtime_error("A menu item cannot contain itself");
    if (Item->FParent) Item->FParent->Remove(Item);
    Index = std::clamp(Index, 0, Count());
    FItems.insert(FItems.begin() + Index, Item);
    Item->FParent = this;
}

void TMenuItem::Remove(TMenuItem* Item) {
    auto It = std::find(FItems.begin(), FItems.end(), Item);
    if (It == FItems.end()) return;
    FItems.erase(It);
    Item->FParent = nullptr;
}

void TMenuItem::Delete(int Index) {
    TMenuItem* I = Items(Index);
    if (!I) return;
    Remove(I);
    delete I;
}

void TMenuItem::Clear() {
    while (!FItems.empty()) Delete(Count() - 1);
}

TMenuItem* TMenuItem::Find(const std::u16string& Caption) const {
    const std::u16string Want = StripHotkey(Caption);
    for (TMenuItem* I : FItems)
        if (SameTextWide(StripHotkey(I->FCaption), Want)) return I;
    return nullptr;
}

TMenu* TMenuItem::GetParentMenu() const {
    const TMenuItem* R = this;
    while (R->FParent) R = R->FParent;
    return R->FMenu;
}

void TMenuItem::Click() {
    if (FEnabled && OnClick) OnClick(this);
}

void TMenuItem::DrawItem(TCanvas& Canvas, RECT Rect, bool Selected) {
    if (OnDrawItem) {
        OnDrawItem(this, Canvas, Rect, Selected);
        return;
    }
    Canvas.Brush().Color = Selected ? clHighlight : clMenu;
    Canvas.Brush().Style = bsSolid;
    Canvas.FillRect(Rect);
    HDC Dc = Canvas.Handle();
    if (!Dc) return;
    if (IsLine()) {
        RECT L{Rect.left + 2, (Rect.top + Rect.bottom) / 2 - 1, Rect.right - 2,
               (Rect.top + Rect.bottom) / 2 + 1};
        DrawEdge(Dc, &L, EDGE_ETCHED, BF_TOP);
        return;
    }
    Canvas.Font().SetColor(!FEnabled ? clGrayText : Selected ? clHighlightText : clMenuText);
    Canvas.Brush().Style = bsClear;
    HDC T = Canvas.TextHandle();
    RECT R{Rect.left + 20, Rect.top, Rect.right - 4, Rect.bottom};
    DrawTextW(T, FCaption.c_str(), int(FCaption.size()), &R,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_EXPANDTABS);
    if (TMenu* M = GetParentMenu(); M && M->Images() && FImageIndex >= 0)
        M->Images()->Draw(Dc, Rect.left + 2,
                          Rect.top + (Rect.bottom - Rect.top - M->Images()->Height()) / 2,
                          FImageIndex);
}

void TMenuItem::MeasureItem(TCanvas& Canvas, int& Width, int& Height) {
    if (OnMeasureItem) {
        OnMeasureItem(this, Canvas, Width, Height);
        return;
    }
    if (IsLine()) {
        Height = 8;
        return;
    }
    SIZE S = Canvas.TextExtent(StripHotkey(FCaption));
    Width = std::max(Width, int(S.cx) + 32);
    Height = std::max(Height, int(S.cy) + 6);
}

// --- TMenu ------------------------------------------------------------------------------------

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), FItems(new TMenuItem(nullptr)) {
    FItems->FMenu = this;
    LiveMenus().insert(this);
}

TMenu::~TMenu() {
    MarkDestroying();
    LiveMenus().erase(this);
    if (FHandle) {
        // A form showing this menu as its bar lets go of it first.
        if (auto* F = dynamic_cast<TCustomForm*>(Owner());
            F && F->HandleAllocated() && GetMenu(F->Handle()) == FHandle)
            velmo::SetMenu(F->Handle(), nullptr);
        DestroyMenu(FHandle);
    }
    delete FItems;
}

TMenuItem* FindMenuItemOfData(ULONG_PTR ItemData) {
    for (TMenu* M : LiveMenus())
        if (TMenuItem* I = M->FindItem(ItemData)) return I;
    return nullptr;
}

HMENU TMenu::Handle() {
    if (!FHandle) {
        FHandle = IsBar() ? CreateMenu() : CreatePopupMenu();
        if (FHandle) Fill(FHandle, FItems, 0);
    }
    return FHandle;
}

void TMenu::RebuildHandle() {
    if (!FHandle) return;
    HMENU Old = FHandle;
    FHandle = nullptr;
    Handle();
    if (auto* F = dynamic_cast<TCustomForm*>(Owner());
        F && F->HandleAllocated() && GetMenu(F->Handle()) == Old)
        velmo::SetMenu(F->Handle(), FHandle);
    DestroyMenu(Old);
}

void TMenu::Fill(HMENU Menu, TMenuItem* Parent, int Depth) {
    if (Depth > 32) return;
    for (TMenuItem* I : Parent->FItems) {
        if (!I->Visible()) continue;
        UINT Flags = I->IsLine() ? MF_SEPARATOR : MF_STRING;
        if (!I->Enabled()) Flags |= MF_GRAYED;
        if (I->Checked()) Flags |= MF_CHECKED;
        if (I->Default()) Flags |= MF_DEFAULT;
        const bool Owned = FOwnerDraw && !(IsBar() && Depth == 0);
        if (Owned) Flags |= MF_OWNERDRAW;
        // An owner-drawn item carries its object's address as its data.
        const std::u16string Caption = I->Caption();
        LPCWSTR Text = Owned ? reinterpret_cast<LPCWSTR>(I) : Caption.c_str();
        if (I->Count() > 0) {
            HMENU Sub = CreatePopupMenu();
            if (!Sub) continue;
            Fill(Sub, I, Depth + 1);
            AppendMenuW(Menu, Flags | MF_POPUP, reinterpret_cast<UINT_PTR>(Sub), Text);
        } else {
            AppendMenuW(Menu, Flags, I->Command(), Text);
        }
    }
}

void TMenu::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        ObjProp<TMenu, TImageList>("Images", &TMenu::Images, &TMenu::SetImages),
        BoolProp<TMenu>("OwnerDraw", &TMenu::OwnerDraw, &TMenu::SetOwnerDraw),
    };
    TComponent::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TMenu::SetImages(TImageList* V) {
    if (FImages) FImages->RemoveFreeNotification(this);
    FImages = V;
    if (V) V->FreeNotification(this);
}

void TMenu::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FImages) FImages = nullptr;
}

namespace {
template <class Pred>
TMenuItem* Search(TMenuItem* Root, const Pred& P, int Depth = 0) {
    if (!Root || Depth > 64) return nullptr;
    for (int I = 0; I < Root->Count(); ++I) {
        TMenuItem* C = Root->Items(I);
        if (P(C)) return C;
        if (TMenuItem* F = Search(C, P, Depth + 1)) return F;
    }
    return nullptr;
}
}  // namespace

TMenuItem* TMenu::FindItem(UINT Value, TFindItemKind Kind) const {
    switch (Kind) {
        case fkCommand:
            return Value ? Search(FItems, [Value](TMenuItem* I) { return I->Command() == Value; })
                         : nullptr;
        case fkShortCut:
            return Value ? Search(FItems, [Value](TMenuItem* I) { return I->ShortCut() == Value; })
                         : nullptr;
        case fkHandle:
            return nullptr;
    }
    return nullptr;
}

TMenuItem* TMenu::FindItem(ULONG_PTR ItemData) const {
    if (!ItemData) return nullptr;
    return Search(FItems,
                  [ItemData](TMenuItem* I) { return reinterpret_cast<ULONG_PTR>(I) == ItemData; });
}

bool TMenu::DispatchCommand(UINT Command) {
    TMenuItem* I = FindItem(Command, fkCommand);
    if (!I) return false;
    I->Click();
    return true;
}

bool TMenu::IsShortCut(uint16_t Key, TShiftState Shift) {
    TMenuItem* I = FindItem(ShortCut(Key, Shift), fkShortCut);
    if (!I || !I->Enabled()) return false;
    I->Click();
    return true;
}

void TPopupMenu::Popup(int X, int Y) {
    if (OnPopup) OnPopup(this);
    // The items may have changed since the last time: a fresh menu.
    RebuildHandle();
    HMENU M = Handle();
    if (!M) return;
    UINT Align = Alignment == paRight    ? TPM_RIGHTALIGN
                 : Alignment == paCenter ? TPM_CENTERALIGN
                                         : TPM_LEFTALIGN;
    UINT Id = UINT(TrackPopupMenu(M, Align | TPM_RIGHTBUTTON | TPM_RETURNCMD, X, Y, 0,
                                  Application()->Handle(), nullptr));
    if (Id) DispatchCommand(Id);
}

}  // namespace velmo::vcl
