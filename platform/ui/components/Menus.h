// Menu components: items in a tree with captions, commands, shortcuts,
// images and owner drawing; the form's main menu and popup menus.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/components/Controls.h"

namespace velmo::vcl {

class TMenu;
class TImageList;

enum TFindItemKind { fkCommand, fkHandle, fkShortCut };
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
constexpr TShortCut ShortCut(uint16_t Key, TShiftState Shift) {
    return TShortCut((Key & 0xFF) | ((Shift & ssShift) ? scShift : 0) |
                     ((Shift & ssCtrl) ? scCtrl : 0) | ((Shift & ssAlt) ? scAlt : 0));
}

using TMenuDrawItemEvent =
    std::function<void(TObject* Sender, TCanvas& Canvas, RECT Rect, bool Selected)>;
using TMenuMeasureItemEvent =
    std::function<void(TObject* Sender, TCanvas& Canvas, int& Width, int& Height)>;

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;
    const char* ClassName() const override { return "TMenuItem"; }
    void ListProperties(TPropList& Out) const override;

    std::u16string Caption() const { return FCaption; }
    void SetCaption(const std::u16string& V) { FCaption = V; }
    bool Checked() const { return FChecked; }
    void SetChecked(bool V);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool V) { FEnabled = V; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool V) { FVisible = V; }
    bool Default() const { return FDefault; }
    void SetDefault(bool V) { FDefault = V; }
    bool RadioItem() const { return FRadioItem; }
    void SetRadioItem(bool V) { FRadioItem = V; }
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int V) { FGroupIndex = V; }
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int V) { FImageIndex = V; }
    TShortCut ShortCut() const { return FShortCut; }
    void SetShortCut(TShortCut V) { FShortCut = V; }
    std::u16string Hint() const { return FHint; }
    void SetHint(const std::u16string& V) { FHint = V; }
    bool IsLine() const { return FCaption == u"-"; }
    // The command number sent with WM_COMMAND (unique among live items).
    UINT Command() const { return FCommand; }

    int Count() const { return int(FItems.size()); }
    TMenuItem* Items(int Index) const;
    TMenuItem* Parent() const { return FParent; }
    int MenuIndex() const;
    void Add(TMenuItem* Item);
    void Insert(int Index, TMenuItem* Item);
    // Takes the item out (it is not destroyed).
    void Remove(TMenuItem* Item);
    // Takes item Index out and destroys it.
    void Delete(int Index);
    void Clear();
    int IndexOf(const TMenuItem* Item) const;
    // The child whose caption, "&" markers aside, is Caption.
    TMenuItem* Find(const std::u16string& Caption) const;
    TMenu* GetParentMenu() const;

    virtual void Click();
    // Owner drawing: the events when set, a plain look otherwise.
    virtual void DrawItem(TCanvas& Canvas, RECT Rect, bool Selected);
    virtual void MeasureItem(TCanvas& Canvas, int& Width, int& Height);

    TNotifyEvent OnClick;
    TMenuDrawItemEvent OnDrawItem;
    TMenuMeasureItemEvent OnMeasureItem;

private:
    friend class TMenu;
    std::u16string FCaption;
    bool FChecked = false, FEnabled = true, FVisible = true, FDefault = false, FRadioItem = false;
    int FGroupIndex = 0;
    int FImageIndex = -1;
    TShortCut FShortCut = 0;
    std::u16string FHint;
    UINT FCommand = 0;
    std::vector<TMenuItem*> FItems;
    TMenuItem* FParent = nullptr;
    TMenu* FMenu = nullptr;  // set on the root item only
};

class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* AOwner);
    ~TMenu() override;
    const char* ClassName() const override { return "TMenu"; }
    void ListProperties(TPropList& Out) const override;

    TMenuItem* Items() const { return FItems; }
    TImageList* Images() const { return FImages; }
    void SetImages(TImageList* V);
    bool OwnerDraw() const { return FOwnerDraw; }
    void SetOwnerDraw(bool V) { FOwnerDraw = V; }
    // The item with that command number or shortcut (fkHandle: none here).
    TMenuItem* FindItem(UINT Value, TFindItemKind Kind) const;
    // The item whose address an owner-drawn record carries, or null.
    TMenuItem* FindItem(ULONG_PTR ItemData) const;
    // Clicks the item of a command; false when there is none.
    bool DispatchCommand(UINT Command);
    // Clicks the enabled item of a shortcut; false when there is none.
    bool IsShortCut(uint16_t Key, TShiftState Shift);
    // The window layer's menu made from the items (on first use; a change
    // of the items after that needs RebuildHandle).
    HMENU Handle();
    void RebuildHandle();
    bool HandleAllocated() const { return FHandle != nullptr; }

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
    virtual bool IsBar() const { return false; }

private:
    void Fill(HMENU Menu, TMenuItem* Parent, int Depth);
    HMENU FHandle = nullptr;
    TMenuItem* FItems = nullptr;
    TImageList* FImages = nullptr;
    bool FOwnerDraw = false;
};

class TMainMenu : public TMenu {
public:
    using TMenu::TMenu;
    const char* ClassName() const override { return "TMainMenu"; }

protected:
    bool IsBar() const override { return true; }
};

enum TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public TMenu {
public:
    using TMenu::TMenu;
    const char* ClassName() const override { return "TPopupMenu"; }
    // Shows the menu at a screen point (the window layer's popup menu,
    // owned by the application window) and clicks the chosen item.
    virtual void Popup(int X, int Y);
    TPopupAlignment Alignment = paLeft;
    bool AutoPopup = true;
    TComponent* PopupComponent = nullptr;
    TNotifyEvent OnPopup;
};

// The item of any live menu whose address an owner-drawn record carries.
TMenuItem* FindMenuItemOfData(ULONG_PTR ItemData);

}  // namespace velmo::vcl
