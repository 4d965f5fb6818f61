// Menu objects, the menu-bar strip, the system menu and the tracking loop of
// popups and the bar.
#include "platform/ui/Menus.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "platform/fonts/DCText.h"
#include "platform/ui/WindowInternal.h"

namespace velmo {

using namespace ui;

char16_t FoldMnemonic(char16_t C) { return C >= u'A' && C <= u'Z' ? char16_t(C + 32) : C; }

char16_t MnemonicOf(std::u16string_view Caption) {
    for (size_t I = 0; I + 1 < Caption.size(); ++I) {
        if (Caption[I] != u'&') continue;
        if (Caption[I + 1] == u'&') {
            ++I;
            continue;
        }
        return FoldMnemonic(Caption[I + 1]);
    }
    return 0;
}

namespace {

constexpr size_t kMaxMenus = 1u << 16;
constexpr size_t kMaxItems = 4096;   // items of one menu
constexpr size_t kMaxText = 4096;    // units of an item's text
constexpr int kMaxDepth = 32;        // submenu nesting followed by searches and tracking
constexpr int kFrame = 3;            // a popup's frame on each side
constexpr int kSeparatorHeight = 8;
constexpr int kBarPadding = 8;       // each side of a bar item's text

// Keys of menu navigation.
constexpr UINT kKeySpace = 0x20;
constexpr UINT kKeyLeft = 0x25;
constexpr UINT kKeyUp = 0x26;
constexpr UINT kKeyRight = 0x27;
constexpr UINT kKeyDown = 0x28;

struct TItem {
    UINT Type = MFT_STRING;
    UINT State = 0;
    UINT Id = 0;
    HMENU Sub = nullptr;
    ULONG_PTR Data = 0;
    std::u16string Text;
    HBITMAP Checked = nullptr;
    HBITMAP Unchecked = nullptr;
    HBITMAP Bitmap = nullptr;
    RECT Rect;  // last layout: popup client or bar window coordinates
};

struct TMenu {
    bool System = false;
    std::vector<TItem> Items;
    POINT Origin;  // screen position of the item rectangles' origin
    bool Laid = false;
};

struct TRegistry {
    std::unordered_map<uintptr_t, std::shared_ptr<TMenu>> ByHandle;
    uintptr_t Next = 0x004D0000;
    std::unordered_map<HWND, HMENU> SystemMenus;
};

TRegistry& Registry() {
    static auto* R = new TRegistry;
    return *R;
}

TMenu* FindMenu(HMENU H) {
    auto& M = Registry().ByHandle;
    auto It = M.find(uintptr_t(H));
    return It == M.end() ? nullptr : It->second.get();
}

HMENU NewMenu() {
    TRegistry& R = Registry();
    if (R.ByHandle.size() >= kMaxMenus) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    R.Next += 0x10;
    R.ByHandle[R.Next] = std::make_shared<TMenu>();
    return reinterpret_cast<HMENU>(R.Next);
}

bool BadMenu() {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return false;
}

std::u16string Bounded(LPCWSTR S) {
    if (!S) return {};
    size_t N = 0;
    while (N < kMaxText && S[N]) ++N;
    return std::u16string(S, N);
}

// A greyed item is disabled as well.
UINT NormalState(UINT S) {
    S &= MFS_GRAYED | MFS_CHECKED | MFS_HILITE | MFS_DEFAULT;
    if (S & MF_GRAYED) S |= MF_DISABLED;
    return S;
}

bool Enabled(const TItem& It) { return !(It.State & (MF_GRAYED | MF_DISABLED)); }
bool Separator(const TItem& It) { return (It.Type & MFT_SEPARATOR) != 0; }

// Whether Target is Start or lies below it through submenus.
bool Reaches(HMENU Start, HMENU Target, std::unordered_set<uintptr_t>& Seen, int Depth) {
    if (Start == Target) return true;
    TMenu* M = FindMenu(Start);
    if (!M || Depth > kMaxDepth || !Seen.insert(uintptr_t(Start)).second) return false;
    for (const TItem& It : M->Items)
        if (It.Sub && Reaches(It.Sub, Target, Seen, Depth + 1)) return true;
    return false;
}

// A submenu that would contain its own parent is refused, so walks over
// submenus always end.
bool AcceptableSub(HMENU Parent, HMENU Sub) {
    if (!Sub) return true;
    if (!FindMenu(Sub)) return false;
    std::unordered_set<uintptr_t> Seen;
    return !Reaches(Sub, Parent, Seen, 0);
}

struct TRef {
    HMENU Menu = nullptr;
    size_t Index = 0;
};

bool FindCommand(HMENU H, UINT Id, TRef& Out, std::unordered_set<uintptr_t>& Seen, int Depth) {
    TMenu* M = FindMenu(H);
    if (!M || Depth > kMaxDepth || !Seen.insert(uintptr_t(H)).second) return false;
    for (size_t I = 0; I < M->Items.size(); ++I) {
        const TItem& It = M->Items[I];
        if (It.Sub) {
            if (FindCommand(It.Sub, Id, Out, Seen, Depth + 1)) return true;
        } else if (It.Id == Id) {
            Out = {H, I};
            return true;
        }
    }
    // A submenu item answers to its own identifier when nothing below does.
    for (size_t I = 0; I < M->Items.size(); ++I)
        if (M->Items[I].Sub && M->Items[I].Id == Id) {
            Out = {H, I};
            return true;
        }
    return false;
}

bool Locate(HMENU H, UINT Item, bool ByPosition, TRef& Out) {
    TMenu* M = FindMenu(H);
    if (!M) return BadMenu();
    if (ByPosition) {
        if (Item >= M->Items.size()) return false;
        Out = {H, Item};
        return true;
    }
    std::unordered_set<uintptr_t> Seen;
    return FindCommand(H, Item, Out, Seen, 0);
}

TItem* ItemOf(const TRef& R) {
    TMenu* M = FindMenu(R.Menu);
    return M && R.Index < M->Items.size() ? &M->Items[R.Index] : nullptr;
}

bool ItemFromFlags(HMENU Menu, UINT Flags, UINT_PTR IdOrSub, LPCWSTR NewItem, TItem& It) {
    It.Type = Flags & (MF_BITMAP | MF_OWNERDRAW | MF_SEPARATOR | MF_MENUBREAK | MF_MENUBARBREAK | MF_RIGHTJUSTIFY);
    It.State = NormalState(Flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT));
    It.Id = UINT(IdOrSub);
    if (Flags & MF_POPUP) {
        HMENU Sub = reinterpret_cast<HMENU>(IdOrSub);
        if (!FindMenu(Sub) || !AcceptableSub(Menu, Sub)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        It.Sub = Sub;
    }
    if (Flags & MF_OWNERDRAW)
        It.Data = ULONG_PTR(NewItem);
    else if (Flags & MF_BITMAP)
        It.Bitmap = reinterpret_cast<HBITMAP>(const_cast<char16_t*>(NewItem));
    else if (!(Flags & MF_SEPARATOR))
        It.Text = Bounded(NewItem);
    return true;
}

bool ApplyInfo(HMENU Menu, TItem& It, const MENUITEMINFOW& I) {
    if ((I.fMask & MIIM_SUBMENU) && !AcceptableSub(Menu, I.hSubMenu)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (I.fMask & MIIM_FTYPE) It.Type = I.fType;
    if (I.fMask & MIIM_TYPE) {
        It.Type = I.fType;
        if (I.fType & MFT_BITMAP)
            It.Bitmap = reinterpret_cast<HBITMAP>(I.dwTypeData);
        else if (!(I.fType & (MFT_SEPARATOR | MFT_OWNERDRAW)))
            It.Text = Bounded(I.dwTypeData);
    }
    if (I.fMask & MIIM_STRING) It.Text = Bounded(I.dwTypeData);
    if (I.fMask & MIIM_STATE) It.State = NormalState(I.fState);
    if (I.fMask & MIIM_ID) It.Id = I.wID;
    if (I.fMask & MIIM_SUBMENU) It.Sub = I.hSubMenu;
    if (I.fMask & MIIM_DATA) It.Data = I.dwItemData;
    if (I.fMask & MIIM_CHECKMARKS) {
        It.Checked = I.hbmpChecked;
        It.Unchecked = I.hbmpUnchecked;
    }
    if (I.fMask & MIIM_BITMAP) It.Bitmap = I.hbmpItem;
    return true;
}

bool InsertAt(HMENU Menu, TItem It, UINT Item, bool ByPosition) {
    TMenu* M = FindMenu(Menu);
    if (!M) return BadMenu();
    size_t At = M->Items.size();
    HMENU Into = Menu;
    if (ByPosition) {
        At = std::min<size_t>(Item, M->Items.size());
    } else if (Item != 0xFFFFFFFFu) {
        TRef R;
        if (!Locate(Menu, Item, false, R)) return false;
        Into = R.Menu;
        At = R.Index;
    }
    TMenu* Target = FindMenu(Into);
    if (Into != Menu && It.Sub && !AcceptableSub(Into, It.Sub)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (Target->Items.size() >= kMaxItems) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    Target->Items.insert(Target->Items.begin() + std::ptrdiff_t(At), std::move(It));
    return true;
}

char16_t Mnemonic(const std::u16string& S) { return MnemonicOf(S); }
char16_t FoldChar(char16_t C) { return FoldMnemonic(C); }

// ---------------------------------------------------------------------------
// Layout and painting.

HFONT MenuFont() {
    static HFONT F = [] {
        NONCLIENTMETRICSW M;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof M, &M, 0);
        return CreateFontIndirectW(M.lfMenuFont);
    }();
    return F;
}

struct TMeasureDc {
    HDC Dc;
    HGDIOBJ Old = nullptr;
    TMeasureDc() : Dc(CreateCompatibleDC(nullptr)) {
        if (Dc) Old = SelectObject(Dc, MenuFont());
    }
    ~TMeasureDc() {
        if (!Dc) return;
        if (Old) SelectObject(Dc, Old);
        DeleteDC(Dc);
    }
};

SIZE TextSize(HDC Dc, const std::u16string& S) {
    RECT R{0, 0, 0, 0};
    if (S.empty() || !Dc) return {0, 0};
    DrawTextW(Dc, S.c_str(), int(S.size()), &R, DT_SINGLELINE | DT_CALCRECT);
    return {R.right - R.left, R.bottom - R.top};
}

int TextHeight() {
    TMeasureDc M;
    TEXTMETRICW Tm;
    if (!M.Dc || !GetTextMetricsW(M.Dc, &Tm)) return 13;
    return Tm.tmHeight;
}

std::pair<std::u16string, std::u16string> SplitAccel(const std::u16string& S) {
    size_t Tab = S.find(u'\t');
    if (Tab == std::u16string::npos) return {S, {}};
    return {S.substr(0, Tab), S.substr(Tab + 1)};
}

int CheckColumn() { return GetSystemMetrics(SM_CXMENUCHECK) + 4; }

// Asks the owner for an owner-drawn item's size.
SIZE MeasureOwnerDrawn(HWND Owner, const TItem& It) {
    MEASUREITEMSTRUCT Mi;
    Mi.CtlType = ODT_MENU;
    Mi.itemID = It.Id;
    Mi.itemHeight = UINT(TextHeight());
    Mi.itemData = It.Data;
    SendMessageW(Owner, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&Mi));
    return {int(std::min<UINT>(Mi.itemWidth, 4096)), int(std::min<UINT>(Mi.itemHeight, 1024))};
}

// Lays a popup's items out in columns (client coordinates) and returns the
// client size. Owner-drawn items are measured by the owner first.
SIZE LayoutPopup(HMENU Menu, HWND Owner) {
    TMenu* M = FindMenu(Menu);
    if (!M) return {0, 0};
    std::vector<SIZE> Sizes;
    std::vector<UINT> Types;
    TMeasureDc Dc;
    for (size_t I = 0; (M = FindMenu(Menu)) && I < M->Items.size(); ++I) {
        TItem It = M->Items[I];
        Types.push_back(It.Type);
        if (It.Type & MFT_OWNERDRAW) {
            Sizes.push_back(MeasureOwnerDrawn(Owner, It));
            continue;
        }
        if (Separator(It)) {
            Sizes.push_back({0, kSeparatorHeight});
            continue;
        }
        auto [Label, Accel] = SplitAccel(It.Text);
        SIZE L = TextSize(Dc.Dc, Label), A = TextSize(Dc.Dc, Accel);
        int W = CheckColumn() + L.cx + (Accel.empty() ? 0 : 12 + A.cx) + CheckColumn();
        int H = std::max<int>(GetSystemMetrics(SM_CYMENU), std::max(L.cy, A.cy) + 4);
        Sizes.push_back({W, H});
    }
    if (!(M = FindMenu(Menu))) return {0, 0};
    size_t N = std::min(Sizes.size(), M->Items.size());
    // Columns break before MFT_MENUBREAK / MFT_MENUBARBREAK items.
    int X = 0, Y = 0, Height = 0, Right = 0;
    size_t ColumnStart = 0;
    auto CloseColumn = [&](size_t End) {
        int Wd = 0;
        for (size_t I = ColumnStart; I < End; ++I) Wd = std::max<int>(Wd, Sizes[I].cx);
        for (size_t I = ColumnStart; I < End; ++I) {
            M->Items[I].Rect.left = X;
            M->Items[I].Rect.right = X + Wd;
        }
        X += Wd;
        Right = X;
    };
    for (size_t I = 0; I < N; ++I) {
        if (I > ColumnStart && (Types[I] & (MFT_MENUBREAK | MFT_MENUBARBREAK))) {
            CloseColumn(I);
            ColumnStart = I;
            Y = 0;
        }
        M->Items[I].Rect.top = Y;
        Y += Sizes[I].cy;
        M->Items[I].Rect.bottom = Y;
        Height = std::max(Height, Y);
    }
    CloseColumn(N);
    for (size_t I = N; I < M->Items.size(); ++I) M->Items[I].Rect = {};
    return {Right, Height};
}

// The menu strip of a window in window coordinates.
bool BarStrip(HWND Wnd, RECT& Strip) {
    TWindow* W = Find(Wnd);
    if (!W || !W->Menu || (W->Style & WS_CHILD)) return false;
    TFrameMetrics F = FrameMetricsOf(W->Style, W->ExStyle, true);
    int Wd = W->Rect.right - W->Rect.left;
    Strip = {F.Border, F.Border + F.Caption, Wd - F.Border, F.Border + F.Caption + F.Menu};
    return F.Menu > 0;
}

// Lays the bar's items out left to right in the strip (window coordinates).
void LayoutBar(HWND Wnd, HMENU Menu, const RECT& Strip) {
    std::vector<int> Widths;
    TMenu* M;
    TMeasureDc Dc;
    for (size_t I = 0; (M = FindMenu(Menu)) && I < M->Items.size(); ++I) {
        TItem It = M->Items[I];
        if (It.Type & MFT_OWNERDRAW) {
            Widths.push_back(MeasureOwnerDrawn(Wnd, It).cx);
        } else {
            Widths.push_back(TextSize(Dc.Dc, SplitAccel(It.Text).first).cx + 2 * kBarPadding);
        }
    }
    if (!(M = FindMenu(Menu))) return;
    int X = Strip.left;
    for (size_t I = 0; I < M->Items.size(); ++I) {
        int Wd = I < Widths.size() ? Widths[I] : 0;
        M->Items[I].Rect = {X, Strip.top, X + Wd, Strip.bottom};
        X += Wd;
    }
    RECT Wr;
    GetWindowRect(Wnd, &Wr);
    M->Origin = {Wr.left, Wr.top};
    M->Laid = true;
}

void Fill(HDC Dc, const RECT& R, int Color) { FillRect(Dc, &R, GetSysColorBrush(Color)); }

// The system check mark in the text colour on the item's background,
// centred in the cell at (X, Y).
void DrawCheck(HDC Dc, int X, int Y, int Cell, int TextColor, int BackColor) {
    static HBITMAP Mark = CreateBitmapObject(CheckMarkBitmap());
    HDC Src = CreateCompatibleDC(Dc);
    if (!Src) return;
    HGDIOBJ Old = SelectObject(Src, Mark);
    COLORREF OldText = SetTextColor(Dc, GetSysColor(TextColor));
    COLORREF OldBack = SetBkColor(Dc, GetSysColor(BackColor));
    int Off = (Cell - CheckMarkSize) / 2;
    BitBlt(Dc, X + Off, Y + Off, CheckMarkSize, CheckMarkSize, Src, 0, 0, SRCCOPY);
    SetTextColor(Dc, OldText);
    SetBkColor(Dc, OldBack);
    SelectObject(Src, Old);
    DeleteDC(Src);
}

// A small triangle pointing right.
void DrawArrow(HDC Dc, int X, int Y, int Color) {
    for (int I = 0; I < 4; ++I) Fill(Dc, {X + I, Y + I, X + I + 1, Y + 7 - I}, Color);
}

UINT OwnerDrawState(const TItem& It, bool Selected) {
    UINT S = Selected ? ODS_SELECTED : 0;
    if (It.State & MF_GRAYED) S |= ODS_GRAYED;
    if (It.State & MF_DISABLED) S |= ODS_DISABLED;
    if (It.State & MFS_CHECKED) S |= ODS_CHECKED;
    if (It.State & MFS_DEFAULT) S |= ODS_DEFAULT;
    return S;
}

void SendDrawItem(HWND Owner, HMENU Menu, const TItem& It, HDC Dc, const RECT& R, bool Selected) {
    DRAWITEMSTRUCT Di;
    Di.CtlType = ODT_MENU;
    Di.itemID = It.Id;
    Di.itemAction = ODA_DRAWENTIRE;
    Di.itemState = OwnerDrawState(It, Selected);
    Di.hwndItem = reinterpret_cast<HWND>(Menu);
    Di.hDC = Dc;
    Di.rcItem = R;
    Di.itemData = It.Data;
    int Saved = SaveDC(Dc);
    SendMessageW(Owner, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&Di));
    RestoreDC(Dc, Saved);
}

void DrawItemText(HDC Dc, const std::u16string& S, RECT R, UINT Format) {
    if (!S.empty()) DrawTextW(Dc, S.c_str(), int(S.size()), &R, Format | DT_SINGLELINE | DT_VCENTER);
}

void DrawPlainItem(HDC Dc, const TItem& It, const RECT& R, bool Selected, bool Bar) {
    Fill(Dc, R, Selected ? COLOR_HIGHLIGHT : COLOR_MENU);
    if (Separator(It)) {
        int Mid = (R.top + R.bottom) / 2;
        RECT Line{R.left + 1, Mid - 1, R.right - 1, Mid + 1};
        DrawEdge(Dc, &Line, EDGE_ETCHED, BF_TOP);
        return;
    }
    int Text = !Enabled(It) ? COLOR_GRAYTEXT : Selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT;
    SetBkMode(Dc, TRANSPARENT);
    SetTextColor(Dc, GetSysColor(Text));
    HGDIOBJ OldFont = SelectObject(Dc, MenuFont());
    auto [Label, Accel] = SplitAccel(It.Text);
    if (Bar) {
        DrawItemText(Dc, Label, R, DT_CENTER);
    } else {
        int Col = CheckColumn();
        if (It.State & MFS_CHECKED)
            DrawCheck(Dc, R.left, (R.top + R.bottom - Col) / 2, Col, Text, Selected ? COLOR_HIGHLIGHT : COLOR_MENU);
        DrawItemText(Dc, Label, {R.left + Col, R.top, R.right - Col, R.bottom}, DT_LEFT);
        DrawItemText(Dc, Accel, {R.left + Col, R.top, R.right - Col, R.bottom}, DT_RIGHT);
        if (It.Sub) DrawArrow(Dc, R.right - Col / 2 - 2, (R.top + R.bottom) / 2 - 3, Text);
    }
    if (OldFont) SelectObject(Dc, OldFont);
}

// ---------------------------------------------------------------------------
// Tracking.

struct TLevel {
    HMENU Menu = nullptr;
    HWND Wnd = nullptr;
    int Sel = -1;
};

struct TTracker {
    HWND Owner = nullptr;
    UINT Flags = 0;
    bool Notify = true;
    bool Popup = true;        // started by TrackPopupMenu (or the system menu)
    HWND BarWnd = nullptr;    // the window whose bar is tracked
    HMENU Bar = nullptr;
    int BarSel = -1;
    bool Dropped = false;     // the selected bar item shows its popup
    int PressedBar = -1;      // bar item pressed with the mouse
    std::vector<TLevel> Levels;
    bool Done = false;
    bool Chosen = false;
    UINT Cmd = 0;
    bool SysCmd = false;
    LPARAM CmdPoint = 0;
    HWND CaptureWnd = nullptr;
    std::optional<MSG> PassOn;  // a press that ended the menu, for its window
};

TTracker* Tracking = nullptr;

const TLevel* LevelOfWindow(HWND Wnd) {
    if (!Tracking) return nullptr;
    for (const TLevel& L : Tracking->Levels)
        if (L.Wnd == Wnd) return &L;
    return nullptr;
}

bool IsSystem(HMENU Menu) {
    TMenu* M = FindMenu(Menu);
    return M && M->System;
}

void SendSelect(TTracker& T, HMENU Menu, int Index) {
    TMenu* M = FindMenu(Menu);
    if (!M || Index < 0 || size_t(Index) >= M->Items.size()) return;
    const TItem& It = M->Items[size_t(Index)];
    UINT Flags = (It.Type | It.State | MF_HILITE | (It.Sub ? MF_POPUP : 0) | (M->System ? MF_SYSMENU : 0)) & 0xFFFF;
    WPARAM W = MAKEWPARAM(It.Sub ? Index : int(It.Id & 0xFFFF), int(Flags));
    SendMessageW(T.Owner, WM_MENUSELECT, W, reinterpret_cast<LPARAM>(Menu));
}

void RedrawBar(TTracker& T) {
    if (T.BarWnd && IsWindowVisible(T.BarWnd)) SendMessageW(T.BarWnd, WM_NCPAINT, 1, 0);
}

void CloseLevelsFrom(TTracker& T, size_t From) {
    while (T.Levels.size() > From) {
        HWND Wnd = T.Levels.back().Wnd;
        T.Levels.pop_back();
        if (Find(Wnd)) DestroyWindow(Wnd);
    }
}

RECT ScreenItemRect(HMENU Menu, int Index) {
    TMenu* M = FindMenu(Menu);
    if (!M || Index < 0 || size_t(Index) >= M->Items.size()) return {};
    RECT R = M->Items[size_t(Index)].Rect;
    return {R.left + M->Origin.x, R.top + M->Origin.y, R.right + M->Origin.x, R.bottom + M->Origin.y};
}

bool Overlap(const RECT& A, const RECT& B) {
    return A.left < B.right && B.left < A.right && A.top < B.bottom && B.top < A.bottom;
}

// A top-level popup's window rectangle at the point with the alignment
// flags, kept on the screen and clear of Exclude when it can be.
RECT PlaceTop(SIZE Sz, POINT At, UINT Flags, const RECT* Exclude) {
    int Sw = GetSystemMetrics(SM_CXSCREEN), Sh = GetSystemMetrics(SM_CYSCREEN);
    int X = At.x, Y = At.y;
    if (Flags & TPM_RIGHTALIGN) X -= Sz.cx;
    else if (Flags & TPM_CENTERALIGN) X -= Sz.cx / 2;
    if (Flags & TPM_BOTTOMALIGN) Y -= Sz.cy;
    else if (Flags & TPM_VCENTERALIGN) Y -= Sz.cy / 2;
    if (X + Sz.cx > Sw) X = Sw - Sz.cx;
    if (Y + Sz.cy > Sh) Y = At.y - Sz.cy >= 0 ? At.y - Sz.cy : Sh - Sz.cy;
    X = std::max(X, 0);
    Y = std::max(Y, 0);
    RECT R{X, Y, X + Sz.cx, Y + Sz.cy};
    if (Exclude && Overlap(R, *Exclude)) {
        if (Flags & TPM_VERTICAL) {
            if (Exclude->bottom + Sz.cy <= Sh) Y = Exclude->bottom;
            else if (Exclude->top - Sz.cy >= 0) Y = Exclude->top - Sz.cy;
        } else {
            if (Exclude->right + Sz.cx <= Sw) X = Exclude->right;
            else if (Exclude->left - Sz.cx >= 0) X = Exclude->left - Sz.cx;
        }
        R = {X, Y, X + Sz.cx, Y + Sz.cy};
    }
    return R;
}

// A submenu opens to the right of its item, or to the left of its parent
// when the screen ends.
RECT PlaceSub(SIZE Sz, const RECT& Item, HWND ParentWnd) {
    int Sw = GetSystemMetrics(SM_CXSCREEN), Sh = GetSystemMetrics(SM_CYSCREEN);
    RECT Pw{};
    GetWindowRect(ParentWnd, &Pw);
    int X = Pw.right - kFrame, Y = Item.top - kFrame;
    if (X + Sz.cx > Sw) X = std::max(0, Pw.left - Sz.cx + kFrame);
    if (Y + Sz.cy > Sh) Y = std::max(0, Sh - Sz.cy);
    return {X, Y, X + Sz.cx, Y + Sz.cy};
}

// Opens Menu as the next level: WM_INITMENUPOPUP, measuring, then the
// "#32768" window, shown without activation and painted at once.
bool OpenLevel(TTracker& T, HMENU Menu, int IndexInParent, const RECT* Anchor, POINT At, const RECT* Exclude) {
    if (T.Levels.size() >= size_t(kMaxDepth)) return false;
    if (T.Notify)
        SendMessageW(T.Owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(Menu),
                     MAKELPARAM(IndexInParent, IsSystem(Menu) ? 1 : 0));
    if (T.Done || !FindMenu(Menu) || !Find(T.Owner)) return false;
    SIZE C = LayoutPopup(Menu, T.Owner);
    if (T.Done || !FindMenu(Menu) || !Find(T.Owner)) return false;
    SIZE Sz{std::max<int>(C.cx, 8) + 2 * kFrame, C.cy + 2 * kFrame};
    RECT R = Anchor && !T.Levels.empty() ? PlaceSub(Sz, *Anchor, T.Levels.back().Wnd) : PlaceTop(Sz, At, T.Flags, Exclude);
    HWND Wnd = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_TOPMOST, u"#32768",
                               nullptr, WS_POPUP | WS_CLIPSIBLINGS | WS_BORDER, R.left, R.top, R.right - R.left,
                               R.bottom - R.top, T.Owner, nullptr, nullptr, nullptr);
    if (!Wnd) return false;
    if (T.Done || !FindMenu(Menu)) {
        DestroyWindow(Wnd);
        return false;
    }
    T.Levels.push_back({Menu, Wnd, -1});
    if (TMenu* M = FindMenu(Menu)) {
        POINT O{0, 0};
        ClientToScreen(Wnd, &O);
        M->Origin = O;
        M->Laid = true;
    }
    ShowWindow(Wnd, SW_SHOWNA);
    UpdateWindow(Wnd);
    return Find(Wnd) != nullptr;
}

void RedrawItem(const TLevel& L, int Index) {
    TMenu* M = FindMenu(L.Menu);
    if (!M || Index < 0 || size_t(Index) >= M->Items.size() || !Find(L.Wnd)) return;
    RECT R = M->Items[size_t(Index)].Rect;
    InvalidateRect(L.Wnd, &R, TRUE);
}

void Select(TTracker& T, size_t Level, int Index) {
    if (Level >= T.Levels.size() || T.Levels[Level].Sel == Index) return;
    CloseLevelsFrom(T, Level + 1);
    TLevel& L = T.Levels[Level];
    int Old = L.Sel;
    L.Sel = Index;
    RedrawItem(L, Old);
    RedrawItem(L, Index);
    UpdateWindow(L.Wnd);
    if (Index >= 0) SendSelect(T, T.Levels[Level].Menu, Index);
}

int FirstSelectable(HMENU Menu) {
    TMenu* M = FindMenu(Menu);
    if (!M) return -1;
    for (size_t I = 0; I < M->Items.size(); ++I)
        if (!Separator(M->Items[I])) return int(I);
    return -1;
}

const TItem* SelectedItem(const TTracker& T, size_t Level) {
    if (Level >= T.Levels.size()) return nullptr;
    TMenu* M = FindMenu(T.Levels[Level].Menu);
    int S = T.Levels[Level].Sel;
    return M && S >= 0 && size_t(S) < M->Items.size() ? &M->Items[size_t(S)] : nullptr;
}

// Opens the submenu of the selected item of Level, if it has an enabled one.
void OpenSelected(TTracker& T, size_t Level, bool SelectFirst) {
    const TItem* It = SelectedItem(T, Level);
    if (!It || !It->Sub || !Enabled(*It)) return;
    HMENU Sub = It->Sub;
    if (T.Levels.size() > Level + 1 && T.Levels[Level + 1].Menu == Sub) return;
    CloseLevelsFrom(T, Level + 1);
    RECT Anchor = ScreenItemRect(T.Levels[Level].Menu, T.Levels[Level].Sel);
    if (!OpenLevel(T, Sub, T.Levels[Level].Sel, &Anchor, {}, nullptr)) return;
    if (SelectFirst) Select(T, Level + 1, FirstSelectable(Sub));
}

void Choose(TTracker& T, HMENU Menu, const TItem& It, LPARAM Point) {
    if (It.Sub || Separator(It)) return;
    T.Done = true;
    if (!Enabled(It)) return;
    T.Chosen = true;
    T.Cmd = It.Id;
    T.SysCmd = IsSystem(Menu);
    T.CmdPoint = Point;
}

void DropBar(TTracker& T, bool SelectFirst) {
    TMenu* M = FindMenu(T.Bar);
    T.Dropped = true;
    if (!M || T.BarSel < 0 || size_t(T.BarSel) >= M->Items.size()) return;
    const TItem& It = M->Items[size_t(T.BarSel)];
    if (!It.Sub || !Enabled(It)) return;
    HMENU Sub = It.Sub;
    RECT R = ScreenItemRect(T.Bar, T.BarSel);
    if (!OpenLevel(T, Sub, T.BarSel, nullptr, {R.left, R.bottom}, &R)) return;
    if (SelectFirst) Select(T, 0, FirstSelectable(Sub));
}

void BarSelect(TTracker& T, int Index, bool Drop, bool SelectFirst) {
    CloseLevelsFrom(T, 0);
    T.Dropped = false;
    T.BarSel = Index;
    RedrawBar(T);
    if (Index < 0 || T.Done) return;
    SendSelect(T, T.Bar, Index);
    if (Drop && !T.Done) DropBar(T, SelectFirst);
}

int StepBar(const TTracker& T, int Dir) {
    int N = GetMenuItemCount(T.Bar);
    if (N <= 0) return -1;
    return ((T.BarSel < 0 ? 0 : T.BarSel) + Dir + N) % N;
}

// Which level's window holds the point (deepest first) and which item.
bool HitLevel(const TTracker& T, POINT Pt, size_t& Level, int& Index) {
    for (size_t L = T.Levels.size(); L-- > 0;) {
        RECT Wr;
        if (!GetWindowRect(T.Levels[L].Wnd, &Wr)) continue;
        if (Pt.x < Wr.left || Pt.x >= Wr.right || Pt.y < Wr.top || Pt.y >= Wr.bottom) continue;
        Level = L;
        Index = MenuItemFromPoint(nullptr, T.Levels[L].Menu, Pt);
        return true;
    }
    return false;
}

int HitBar(const TTracker& T, POINT Pt) {
    if (!T.BarWnd) return -1;
    return MenuItemFromPoint(T.BarWnd, T.Bar, Pt);
}

bool IsSeparatorAt(HMENU Menu, int Index) {
    TMenu* M = FindMenu(Menu);
    return !M || Index < 0 || size_t(Index) >= M->Items.size() || Separator(M->Items[size_t(Index)]);
}

void MouseMove(TTracker& T, POINT Pt) {
    size_t Lv;
    int Ix;
    if (HitLevel(T, Pt, Lv, Ix)) {
        if (IsSeparatorAt(T.Levels[Lv].Menu, Ix)) {
            // Over the frame or a separator only the deepest level lets go.
            if (Lv + 1 == T.Levels.size()) Select(T, Lv, -1);
            return;
        }
        Select(T, Lv, Ix);
        OpenSelected(T, Lv, false);
        return;
    }
    int B = HitBar(T, Pt);
    if (B >= 0 && B != T.BarSel && (T.Dropped || T.PressedBar >= 0)) {
        BarSelect(T, B, true, false);
        return;
    }
    if (!T.Levels.empty() && B < 0) {
        size_t Last = T.Levels.size() - 1;
        const TItem* It = SelectedItem(T, Last);
        if (It && !It->Sub) Select(T, Last, -1);
    }
}

void ButtonDown(TTracker& T, POINT Pt) {
    size_t Lv;
    int Ix;
    if (HitLevel(T, Pt, Lv, Ix)) {
        if (!IsSeparatorAt(T.Levels[Lv].Menu, Ix)) {
            Select(T, Lv, Ix);
            OpenSelected(T, Lv, false);
        }
        return;
    }
    int B = HitBar(T, Pt);
    if (B >= 0) {
        if (B == T.BarSel && T.Dropped) {
            T.Done = true;  // a second press on the open item closes the menu
            return;
        }
        BarSelect(T, B, true, false);
        T.PressedBar = B;
        return;
    }
    T.Done = true;  // a press outside every menu dismisses it
}

void ButtonUp(TTracker& T, POINT Pt) {
    LPARAM At = MAKELPARAM(Pt.x, Pt.y);
    size_t Lv;
    int Ix;
    if (HitLevel(T, Pt, Lv, Ix)) {
        TMenu* M = FindMenu(T.Levels[Lv].Menu);
        if (M && Ix >= 0 && size_t(Ix) < M->Items.size()) {
            TItem It = M->Items[size_t(Ix)];
            if (!It.Sub && !Separator(It)) Choose(T, T.Levels[Lv].Menu, It, At);
        }
        return;
    }
    int B = HitBar(T, Pt);
    TMenu* Bar = FindMenu(T.Bar);
    if (Bar && B >= 0 && B == T.BarSel && B == T.PressedBar && size_t(B) < Bar->Items.size() &&
        !Bar->Items[size_t(B)].Sub) {
        TItem It = Bar->Items[size_t(B)];
        Choose(T, T.Bar, It, At);
    }
    T.PressedBar = -1;
}

// Selects the next item (Dir +1) or the previous one (−1), skipping separators.
void Step(TTracker& T, size_t Level, int Dir) {
    TMenu* M = FindMenu(T.Levels[Level].Menu);
    if (!M || M->Items.empty()) return;
    int N = int(M->Items.size());
    int S = T.Levels[Level].Sel;
    int At = S < 0 ? (Dir > 0 ? -1 : N) : S;
    for (int K = 0; K < N; ++K) {
        At = ((At + Dir) % N + N) % N;
        if (!Separator(M->Items[size_t(At)])) {
            Select(T, Level, At);
            return;
        }
    }
}

void ChooseMnemonic(TTracker& T, char16_t Ch) {
    Ch = FoldChar(Ch);
    if (!Ch) return;
    if (!T.Levels.empty()) {
        size_t L = T.Levels.size() - 1;
        TMenu* M = FindMenu(T.Levels[L].Menu);
        if (!M) return;
        std::vector<int> Matches;
        for (size_t I = 0; I < M->Items.size(); ++I)
            if (!Separator(M->Items[I]) && Mnemonic(M->Items[I].Text) == Ch) Matches.push_back(int(I));
        if (Matches.empty()) return;
        if (Matches.size() > 1) {
            // Several items share the letter: each press moves to the next.
            int S = T.Levels[L].Sel;
            auto It = std::upper_bound(Matches.begin(), Matches.end(), S);
            Select(T, L, It == Matches.end() ? Matches.front() : *It);
            return;
        }
        Select(T, L, Matches.front());
        const TItem* It = SelectedItem(T, L);
        if (!It) return;
        if (It->Sub) {
            OpenSelected(T, L, true);
        } else {
            TItem Copy = *It;
            Choose(T, T.Levels[L].Menu, Copy, 0);
        }
        return;
    }
    TMenu* Bar = FindMenu(T.Bar);
    if (!Bar) return;
    for (size_t I = 0; I < Bar->Items.size(); ++I) {
        if (Mnemonic(Bar->Items[I].Text) != Ch) continue;
        TItem It = Bar->Items[I];
        BarSelect(T, int(I), true, true);
        if (!It.Sub) Choose(T, T.Bar, It, 0);
        return;
    }
}

void Key(TTracker& T, WPARAM Vk, UINT Msg) {
    size_t D = T.Levels.size();
    switch (Vk) {
    case kKeyUp:
    case kKeyDown:
        if (D > 0) Step(T, D - 1, Vk == kKeyDown ? 1 : -1);
        else if (T.BarWnd && T.BarSel >= 0) DropBar(T, true);
        return;
    case kKeyRight:
        if (D > 0) {
            const TItem* It = SelectedItem(T, D - 1);
            if (It && It->Sub && Enabled(*It)) {
                OpenSelected(T, D - 1, true);
                return;
            }
        }
        if (T.BarWnd) BarSelect(T, StepBar(T, 1), T.Dropped, true);
        return;
    case kKeyLeft:
        if (D > 1) CloseLevelsFrom(T, D - 1);
        else if (T.BarWnd) BarSelect(T, StepBar(T, -1), T.Dropped, true);
        return;
    case VK_RETURN: {
        if (D == 0) {
            TMenu* Bar = FindMenu(T.Bar);
            if (!Bar || T.BarSel < 0 || size_t(T.BarSel) >= Bar->Items.size()) return;
            TItem It = Bar->Items[size_t(T.BarSel)];
            if (It.Sub) DropBar(T, true);
            else Choose(T, T.Bar, It, 0);
            return;
        }
        const TItem* It = SelectedItem(T, D - 1);
        if (!It) {
            T.Done = true;
            return;
        }
        if (It->Sub) {
            OpenSelected(T, D - 1, true);
            return;
        }
        TItem Copy = *It;
        Choose(T, T.Levels[D - 1].Menu, Copy, 0);
        return;
    }
    case VK_ESCAPE:
        if (D > 1) {
            CloseLevelsFrom(T, D - 1);
        } else if (D == 1 && T.BarWnd) {
            CloseLevelsFrom(T, 0);
            T.Dropped = false;
        } else {
            T.Done = true;
        }
        return;
    case VK_MENU:
    case VK_F10: T.Done = true; return;
    default:
        // Alt with a letter or digit picks by mnemonic.
        if (Msg == WM_SYSKEYDOWN && ((Vk >= 'A' && Vk <= 'Z') || (Vk >= '0' && Vk <= '9')))
            ChooseMnemonic(T, char16_t(Vk));
        return;
    }
}

void HandleMessage(TTracker& T, MSG& M) {
    // While the menu holds the capture, input arrives as client messages
    // with the screen point in the message; a non-client message was posted
    // by someone and carries its screen point in lParam.
    bool NonClient = M.message >= WM_NCMOUSEMOVE && M.message <= WM_NCMBUTTONDBLCLK;
    POINT Pt = NonClient ? POINT{GET_X_LPARAM(M.lParam), GET_Y_LPARAM(M.lParam)} : M.pt;
    switch (M.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE: MouseMove(T, Pt); return;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDBLCLK:
        ButtonDown(T, Pt);
        // A posted press that ended the menu still reaches its window, so a
        // window drawing its own menu buttons can open the next one.
        if (T.Done && !T.Chosen && NonClient) T.PassOn = M;
        return;
    case WM_LBUTTONUP:
    case WM_NCLBUTTONUP: ButtonUp(T, Pt); return;
    case WM_RBUTTONUP:
    case WM_NCRBUTTONUP:
        if (T.Flags & TPM_RIGHTBUTTON) ButtonUp(T, Pt);
        return;
    case WM_MBUTTONUP:
    case WM_NCMBUTTONUP:
    case WM_MOUSEWHEEL:
    case WM_KEYUP:
    case WM_SYSKEYUP: return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: Key(T, M.wParam, M.message); return;
    case WM_CHAR:
    case WM_SYSCHAR: ChooseMnemonic(T, char16_t(M.wParam)); return;
    default:
        TranslateMessage(&M);
        DispatchMessageW(&M);
        return;
    }
}

bool StillValid(const TTracker& T) {
    if (T.Done || !Find(T.Owner)) return false;
    if (T.BarWnd) return FindMenu(T.Bar) != nullptr;
    return !T.Levels.empty() && FindMenu(T.Levels[0].Menu) && Find(T.Levels[0].Wnd);
}

void RunTracking(TTracker& T) {
    T.CaptureWnd = T.BarWnd ? T.BarWnd : T.Levels[0].Wnd;
    SetCapture(T.CaptureWnd);
    RunNestedLoop(MSGF_MENU, [&](MSG& M) {
        if (!StillValid(T)) return false;
        HandleMessage(T, M);
        return StillValid(T) && GetCapture() == T.CaptureWnd;
    });
}

// Closes what is open and tells the owner; the chosen command is posted.
void Finish(TTracker& T) {
    if (T.CaptureWnd && GetCapture() == T.CaptureWnd) ReleaseCapture();
    CloseLevelsFrom(T, 0);
    Tracking = nullptr;
    if (T.BarWnd && Find(T.BarWnd)) {
        T.BarSel = -1;
        if (IsWindowVisible(T.BarWnd)) SendMessageW(T.BarWnd, WM_NCPAINT, 1, 0);
    }
    if (!Find(T.Owner)) return;
    SendMessageW(T.Owner, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    if (T.Notify && Find(T.Owner)) SendMessageW(T.Owner, WM_EXITMENULOOP, T.Popup ? TRUE : FALSE, 0);
    if (T.Chosen && !(T.Flags & TPM_RETURNCMD) && Find(T.Owner))
        PostMessageW(T.Owner, T.SysCmd ? WM_SYSCOMMAND : WM_COMMAND, T.Cmd, T.SysCmd ? T.CmdPoint : 0);
    if (T.PassOn && Find(T.PassOn->hwnd))
        PostMessageW(T.PassOn->hwnd, T.PassOn->message, T.PassOn->wParam, T.PassOn->lParam);
}

void Begin(TTracker& T, HMENU Top) {
    Tracking = &T;
    if (!T.Notify) return;
    SendMessageW(T.Owner, WM_ENTERMENULOOP, T.Popup ? TRUE : FALSE, 0);
    if (Find(T.Owner)) SendMessageW(T.Owner, WM_INITMENU, reinterpret_cast<WPARAM>(Top), 0);
}

UINT TrackPopup(HMENU Menu, UINT Flags, POINT At, HWND Owner, const RECT* Exclude, bool SelectFirst, bool& Ok) {
    TTracker T;
    T.Owner = Owner;
    T.Flags = Flags;
    T.Notify = !(Flags & TPM_NONOTIFY);
    Begin(T, Menu);
    Ok = Find(Owner) && FindMenu(Menu) && OpenLevel(T, Menu, 0, nullptr, At, Exclude);
    if (Ok) {
        if (SelectFirst) Select(T, 0, FirstSelectable(Menu));
        if (StillValid(T)) RunTracking(T);
    }
    Finish(T);
    return T.Chosen ? T.Cmd : 0;
}

void RefreshSystemMenu(HWND Wnd, HMENU Menu) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    DWORD S = W->Style;
    bool Max = S & WS_MAXIMIZE, Min = S & WS_MINIMIZE;
    auto Set = [&](UINT Cmd, bool Grey) { EnableMenuItem(Menu, Cmd, MF_BYCOMMAND | (Grey ? MF_GRAYED : MF_ENABLED)); };
    Set(UINT(SC_RESTORE), !Max && !Min);
    Set(UINT(SC_MOVE), Max);
    Set(UINT(SC_SIZE), !(S & WS_THICKFRAME) || Max || Min);
    Set(UINT(SC_MINIMIZE), !(S & WS_MINIMIZEBOX) || Min);
    Set(UINT(SC_MAXIMIZE), !(S & WS_MAXIMIZEBOX) || Max);
    // Close follows the class; a program that greyed it keeps it greyed.
    if (W->Class->Info.style & CS_NOCLOSE) Set(UINT(SC_CLOSE), true);
}

HMENU BuildSystemMenu() {
    HMENU M = CreatePopupMenu();
    if (!M) return nullptr;
    FindMenu(M)->System = true;
    AppendMenuW(M, MF_STRING, SC_RESTORE, u"&Restore");
    AppendMenuW(M, MF_STRING, SC_MOVE, u"&Move");
    AppendMenuW(M, MF_STRING, SC_SIZE, u"&Size");
    AppendMenuW(M, MF_STRING, SC_MINIMIZE, u"Mi&nimize");
    AppendMenuW(M, MF_STRING, SC_MAXIMIZE, u"Ma&ximize");
    AppendMenuW(M, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(M, MF_STRING, SC_CLOSE, u"&Close\tAlt+F4");
    return M;
}

// The system menu below the window's icon, on its first item when opened
// from the keyboard.
void TrackSystemMenu(HWND Wnd, bool Keyboard) {
    HMENU Sys = GetSystemMenu(Wnd, FALSE);
    if (!Sys || Tracking) return;
    TWindow* W = Find(Wnd);
    if (!W) return;
    RECT Wr;
    GetWindowRect(Wnd, &Wr);
    TFrameMetrics F = FrameMetricsOf(W->Style, W->ExStyle, false);
    POINT P{Wr.left + F.Border, Wr.top + F.Border + F.Caption};
    bool Ok = false;
    TrackPopup(Sys, TPM_LEFTBUTTON, P, Wnd, nullptr, Keyboard, Ok);
}

void TrackBar(HWND Wnd, int Item, bool Drop, bool SelectFirst, bool Mouse) {
    TWindow* W = Find(Wnd);
    if (!W || Tracking) return;
    HMENU Bar = W->Menu;
    if (!FindMenu(Bar) || GetMenuItemCount(Bar) <= 0) return;
    TTracker T;
    T.Owner = Wnd;
    T.BarWnd = Wnd;
    T.Bar = Bar;
    T.Popup = false;
    Begin(T, Bar);
    if (StillValid(T)) {
        BarSelect(T, Item, Drop, SelectFirst);
        if (Mouse) T.PressedBar = Item;
        if (StillValid(T)) RunTracking(T);
    }
    Finish(T);
}

int BarMnemonic(HMENU Bar, char16_t Ch) {
    TMenu* M = FindMenu(Bar);
    if (!M) return -1;
    for (size_t I = 0; I < M->Items.size(); ++I)
        if (Mnemonic(M->Items[I].Text) == FoldChar(Ch)) return int(I);
    return -1;
}

// SC_KEYMENU: 0 (F10 or Alt alone) selects the bar's first item (nothing
// without a bar, so a stray Alt never pops a menu up); a space opens the
// system menu; a letter opens the bar item it is the mnemonic of.
void KeyMenu(HWND Wnd, char16_t Ch) {
    TWindow* W = Find(Wnd);
    if (!W || Tracking) return;
    bool HasBar = !(W->Style & WS_CHILD) && FindMenu(W->Menu) && GetMenuItemCount(W->Menu) > 0;
    if (Ch == u' ') {
        if (W->Style & WS_SYSMENU) TrackSystemMenu(Wnd, true);
        return;
    }
    if (!HasBar) return;
    if (Ch == 0) {
        TrackBar(Wnd, 0, false, false, false);
        return;
    }
    int I = BarMnemonic(W->Menu, Ch);
    if (I >= 0) TrackBar(Wnd, I, true, true, false);
}

bool AltAlone = false;
bool F10Down = false;

void SendKeyMenu(HWND Wnd, LPARAM Key) {
    HWND Root = GetAncestor(Wnd, GA_ROOT);
    if (Root) SendMessageW(Root, WM_SYSCOMMAND, SC_KEYMENU, Key);
}

}  // namespace

// ---------------------------------------------------------------------------
namespace ui {

LRESULT MenuWindowProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    switch (Msg) {
    case WM_NCPAINT: {
        HRGN Clip = reinterpret_cast<HRGN>(W);
        bool Whole = W == 0 || W == 1;
        HDC Dc = GetDCEx(Wnd, Whole ? nullptr : Clip, DCX_WINDOW | DCX_USESTYLE | (Whole ? 0 : DCX_INTERSECTRGN));
        if (!Dc) return 0;
        RECT R;
        GetWindowRect(Wnd, &R);
        R = {0, 0, R.right - R.left, R.bottom - R.top};
        Fill(Dc, {0, 0, R.right, kFrame}, COLOR_MENU);
        Fill(Dc, {0, R.bottom - kFrame, R.right, R.bottom}, COLOR_MENU);
        Fill(Dc, {0, 0, kFrame, R.bottom}, COLOR_MENU);
        Fill(Dc, {R.right - kFrame, 0, R.right, R.bottom}, COLOR_MENU);
        DrawEdge(Dc, &R, EDGE_RAISED, BF_RECT);
        ReleaseDC(Wnd, Dc);
        return 0;
    }
    case WM_ERASEBKGND: {
        RECT R;
        GetClientRect(Wnd, &R);
        Fill(reinterpret_cast<HDC>(W), R, COLOR_MENU);
        return 1;
    }
    case WM_PAINT:
    case WM_PRINTCLIENT: {
        PAINTSTRUCT Ps;
        HDC Dc = W ? reinterpret_cast<HDC>(W) : BeginPaint(Wnd, &Ps);
        if (!Dc) return 0;
        if (const TLevel* Lv = LevelOfWindow(Wnd)) {
            HMENU Menu = Lv->Menu;
            int Sel = Lv->Sel;
            HWND Owner = Tracking->Owner;
            TMenu* M = FindMenu(Menu);
            std::vector<TItem> Items = M ? M->Items : std::vector<TItem>();
            for (size_t I = 0; I < Items.size(); ++I) {
                const TItem& It = Items[I];
                bool Selected = int(I) == Sel;
                if (It.Type & MFT_OWNERDRAW) {
                    if (!Find(Owner) || !Find(Wnd)) break;
                    SendDrawItem(Owner, Menu, It, Dc, It.Rect, Selected);
                } else {
                    DrawPlainItem(Dc, It, It.Rect, Selected, false);
                }
            }
        }
        if (!W) EndPaint(Wnd, &Ps);
        return 0;
    }
    case WM_PRINT: {
        HDC Dc = reinterpret_cast<HDC>(W);
        if (!Dc) return 0;
        if (L & PRF_NONCLIENT) {
            // The frame as WM_NCPAINT paints it, into the caller's DC.
            RECT R;
            GetWindowRect(Wnd, &R);
            R = {0, 0, R.right - R.left, R.bottom - R.top};
            Fill(Dc, {0, 0, R.right, kFrame}, COLOR_MENU);
            Fill(Dc, {0, R.bottom - kFrame, R.right, R.bottom}, COLOR_MENU);
            Fill(Dc, {0, 0, kFrame, R.bottom}, COLOR_MENU);
            Fill(Dc, {R.right - kFrame, 0, R.right, R.bottom}, COLOR_MENU);
            DrawEdge(Dc, &R, EDGE_RAISED, BF_RECT);
        }
        return DefWindowProcW(Wnd, WM_PRINT, W, L & ~PRF_NONCLIENT);
    }
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    default: return DefWindowProcW(Wnd, Msg, W, L);
    }
}

void PaintMenuBar(HWND Wnd, HDC Dc, const RECT& Strip) {
    Fill(Dc, Strip, COLOR_MENU);
    TWindow* W = Find(Wnd);
    if (!W || !FindMenu(W->Menu)) return;
    HMENU Menu = W->Menu;
    LayoutBar(Wnd, Menu, Strip);
    TMenu* M = FindMenu(Menu);
    if (!M) return;
    std::vector<TItem> Items = M->Items;
    int Sel = Tracking && Tracking->BarWnd == Wnd ? Tracking->BarSel : -1;
    int Saved = SaveDC(Dc);
    IntersectClipRect(Dc, Strip.left, Strip.top, Strip.right, Strip.bottom);
    for (size_t I = 0; I < Items.size(); ++I) {
        const TItem& It = Items[I];
        if (It.Type & MFT_OWNERDRAW) {
            if (!Find(Wnd)) break;
            SendDrawItem(Wnd, Menu, It, Dc, It.Rect, int(I) == Sel);
        } else {
            DrawPlainItem(Dc, It, It.Rect, int(I) == Sel, true);
        }
    }
    RestoreDC(Dc, Saved);
}

bool MenuDefault(HWND Wnd, UINT Msg, WPARAM W, LPARAM L, LRESULT& Result) {
    Result = 0;
    switch (Msg) {
    case WM_SYSKEYDOWN:
        if (W == VK_MENU) {
            AltAlone = true;
            return false;
        }
        AltAlone = false;
        if (W == VK_F10) {
            F10Down = true;
            return true;
        }
        if ((L & (1 << 29)) && (W == kKeySpace || (W >= 'A' && W <= 'Z') || (W >= '0' && W <= '9'))) {
            SendKeyMenu(Wnd, W == kKeySpace ? LPARAM(u' ') : LPARAM(FoldChar(char16_t(W))));
            return true;
        }
        return false;
    case WM_KEYDOWN:
        AltAlone = false;
        if (W == VK_F10) F10Down = true;
        return false;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if ((W == VK_MENU && AltAlone) || (W == VK_F10 && F10Down)) {
            AltAlone = F10Down = false;
            SendKeyMenu(Wnd, 0);
            return true;
        }
        return false;
    case WM_SYSCHAR:
        SendKeyMenu(Wnd, LPARAM(W));
        return true;
    case WM_NCLBUTTONDOWN:
        if (LRESULT(W) != HTMENU && LRESULT(W) != HTSYSMENU) return false;
        SendMessageW(Wnd, WM_SYSCOMMAND, SC_MOUSEMENU | W, L);
        return true;
    case WM_SYSCOMMAND:
        if ((W & 0xFFF0) == SC_KEYMENU) {
            KeyMenu(Wnd, char16_t(L));
            return true;
        }
        if ((W & 0xFFF0) == SC_MOUSEMENU) {
            POINT P{GET_X_LPARAM(L), GET_Y_LPARAM(L)};
            if (LRESULT(W & 0xF) == HTSYSMENU) {
                TrackSystemMenu(Wnd, false);
            } else {
                int I = MenuItemFromPoint(Wnd, GetMenu(Wnd), P);
                if (I >= 0) TrackBar(Wnd, I, true, false, true);
            }
            return true;
        }
        return false;
    default: return false;
    }
}

HMENU ExistingSystemMenu(HWND Wnd) {
    auto& Map = Registry().SystemMenus;
    auto It = Map.find(Wnd);
    return It != Map.end() && FindMenu(It->second) ? It->second : nullptr;
}

void ForgetMenus(HWND Wnd) {
    TRegistry& R = Registry();
    auto It = R.SystemMenus.find(Wnd);
    if (It != R.SystemMenus.end()) {
        DestroyMenu(It->second);
        R.SystemMenus.erase(It);
    }
    if (Tracking && (Tracking->Owner == Wnd || Tracking->BarWnd == Wnd)) Tracking->Done = true;
    TWindow* W = Find(Wnd);
    if (W && !(W->Style & WS_CHILD) && W->Menu && FindMenu(W->Menu)) DestroyMenu(W->Menu);
}

}  // namespace ui

// ---------------------------------------------------------------------------

HMENU CreateMenu() { return NewMenu(); }
HMENU CreatePopupMenu() { return NewMenu(); }

BOOL DestroyMenu(HMENU Menu) {
    if (!FindMenu(Menu)) return BadMenu();
    // Submenus go with their menu; the walk visits each menu once.
    std::vector<HMENU> Order{Menu};
    std::unordered_set<uintptr_t> Seen{uintptr_t(Menu)};
    for (size_t I = 0; I < Order.size(); ++I) {
        TMenu* M = FindMenu(Order[I]);
        if (!M) continue;
        for (const TItem& It : M->Items)
            if (It.Sub && FindMenu(It.Sub) && Seen.insert(uintptr_t(It.Sub)).second) Order.push_back(It.Sub);
    }
    for (HMENU H : Order) Registry().ByHandle.erase(uintptr_t(H));
    return TRUE;
}

BOOL IsMenu(HMENU Menu) { return FindMenu(Menu) ? TRUE : FALSE; }

BOOL InsertMenuW(HMENU Menu, UINT Position, UINT Flags, UINT_PTR IdOrSub, LPCWSTR NewItem) {
    if (!FindMenu(Menu)) return BadMenu();
    TItem It;
    if (!ItemFromFlags(Menu, Flags, IdOrSub, NewItem, It)) return FALSE;
    bool ByPosition = Flags & MF_BYPOSITION;
    return InsertAt(Menu, std::move(It), ByPosition && Position == 0xFFFFFFFFu ? UINT(-1) : Position,
                    ByPosition)
               ? TRUE
               : FALSE;
}

BOOL AppendMenuW(HMENU Menu, UINT Flags, UINT_PTR IdOrSub, LPCWSTR NewItem) {
    return InsertMenuW(Menu, 0xFFFFFFFFu, (Flags & ~MF_BYPOSITION) | MF_BYPOSITION, IdOrSub, NewItem);
}

BOOL InsertMenuItemW(HMENU Menu, UINT Item, BOOL ByPosition, const MENUITEMINFOW* Info) {
    if (!FindMenu(Menu)) return BadMenu();
    if (!Info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    TItem It;
    if (!ApplyInfo(Menu, It, *Info)) return FALSE;
    return InsertAt(Menu, std::move(It), Item, ByPosition != FALSE) ? TRUE : FALSE;
}

BOOL SetMenuItemInfoW(HMENU Menu, UINT Item, BOOL ByPosition, const MENUITEMINFOW* Info) {
    TRef R;
    if (!Info || !Locate(Menu, Item, ByPosition != FALSE, R)) return FALSE;
    TItem Copy = *ItemOf(R);
    if (!ApplyInfo(R.Menu, Copy, *Info)) return FALSE;
    *ItemOf(R) = std::move(Copy);
    return TRUE;
}

BOOL GetMenuItemInfoW(HMENU Menu, UINT Item, BOOL ByPosition, MENUITEMINFOW* Info) {
    TRef R;
    if (!Info || !Locate(Menu, Item, ByPosition != FALSE, R)) return FALSE;
    const TItem& It = *ItemOf(R);
    auto CopyText = [&](const std::u16string& Text) {
        if (!Info->dwTypeData || Info->cch == 0) {
            Info->cch = UINT(Text.size());
            return;
        }
        size_t N = std::min<size_t>(Text.size(), Info->cch - 1);
        std::copy_n(Text.data(), N, Info->dwTypeData);
        Info->dwTypeData[N] = 0;
        Info->cch = UINT(N);
    };
    if (Info->fMask & (MIIM_TYPE | MIIM_FTYPE)) Info->fType = It.Type;
    if (Info->fMask & MIIM_TYPE) {
        if (It.Type & MFT_BITMAP) {
            Info->dwTypeData = reinterpret_cast<LPWSTR>(It.Bitmap);
            Info->cch = 0;
        } else if (It.Type & (MFT_SEPARATOR | MFT_OWNERDRAW)) {
            Info->cch = 0;
        } else {
            CopyText(It.Text);
        }
    }
    if (Info->fMask & MIIM_STRING) CopyText(It.Text);
    if (Info->fMask & MIIM_STATE) Info->fState = It.State;
    if (Info->fMask & MIIM_ID) Info->wID = It.Id;
    if (Info->fMask & MIIM_SUBMENU) Info->hSubMenu = It.Sub;
    if (Info->fMask & MIIM_DATA) Info->dwItemData = It.Data;
    if (Info->fMask & MIIM_CHECKMARKS) {
        Info->hbmpChecked = It.Checked;
        Info->hbmpUnchecked = It.Unchecked;
    }
    if (Info->fMask & MIIM_BITMAP) Info->hbmpItem = It.Bitmap;
    return TRUE;
}

namespace {
BOOL Remove(HMENU Menu, UINT Position, UINT Flags, bool DestroySub) {
    TRef R;
    if (!Locate(Menu, Position, (Flags & MF_BYPOSITION) != 0, R)) return FALSE;
    TMenu* M = FindMenu(R.Menu);
    HMENU Sub = M->Items[R.Index].Sub;
    M->Items.erase(M->Items.begin() + std::ptrdiff_t(R.Index));
    if (DestroySub && Sub && FindMenu(Sub)) DestroyMenu(Sub);
    return TRUE;
}
}  // namespace

BOOL RemoveMenu(HMENU Menu, UINT Position, UINT Flags) { return Remove(Menu, Position, Flags, false); }
BOOL DeleteMenu(HMENU Menu, UINT Position, UINT Flags) { return Remove(Menu, Position, Flags, true); }

int GetMenuItemCount(HMENU Menu) {
    TMenu* M = FindMenu(Menu);
    if (!M) {
        BadMenu();
        return -1;
    }
    return int(M->Items.size());
}

UINT GetMenuItemID(HMENU Menu, int Pos) {
    TMenu* M = FindMenu(Menu);
    if (!M || Pos < 0 || size_t(Pos) >= M->Items.size() || M->Items[size_t(Pos)].Sub) return 0xFFFFFFFFu;
    return M->Items[size_t(Pos)].Id;
}

HMENU GetSubMenu(HMENU Menu, int Pos) {
    TMenu* M = FindMenu(Menu);
    if (!M || Pos < 0 || size_t(Pos) >= M->Items.size()) return nullptr;
    HMENU Sub = M->Items[size_t(Pos)].Sub;
    return FindMenu(Sub) ? Sub : nullptr;
}

UINT GetMenuState(HMENU Menu, UINT Item, UINT Flags) {
    TRef R;
    if (!Locate(Menu, Item, (Flags & MF_BYPOSITION) != 0, R)) return 0xFFFFFFFFu;
    const TItem& It = *ItemOf(R);
    UINT S = It.Type | It.State;
    if (It.Sub) {
        // A submenu item: its item count in the high byte, its flags below.
        TMenu* Sub = FindMenu(It.Sub);
        S = (UINT(std::min<size_t>(Sub ? Sub->Items.size() : 0, 0xFF)) << 8) | ((S | MF_POPUP) & 0xFF);
    }
    return S;
}

int GetMenuStringW(HMENU Menu, UINT Item, LPWSTR Buffer, int Max, UINT Flags) {
    TRef R;
    if (!Locate(Menu, Item, (Flags & MF_BYPOSITION) != 0, R)) return 0;
    const std::u16string& Text = ItemOf(R)->Text;
    if (!Buffer) return int(Text.size());
    if (Max <= 0) return 0;
    size_t N = std::min<size_t>(Text.size(), size_t(Max) - 1);
    std::copy_n(Text.data(), N, Buffer);
    Buffer[N] = 0;
    return int(N);
}

DWORD CheckMenuItem(HMENU Menu, UINT Item, UINT Check) {
    TRef R;
    if (!Locate(Menu, Item, (Check & MF_BYPOSITION) != 0, R)) return 0xFFFFFFFFu;
    TItem& It = *ItemOf(R);
    DWORD Old = It.State & MF_CHECKED;
    It.State = (It.State & ~MF_CHECKED) | (Check & MF_CHECKED);
    return Old;
}

BOOL EnableMenuItem(HMENU Menu, UINT Item, UINT Enable) {
    TRef R;
    if (!Locate(Menu, Item, (Enable & MF_BYPOSITION) != 0, R)) return -1;
    TItem& It = *ItemOf(R);
    BOOL Old = BOOL(It.State & (MF_GRAYED | MF_DISABLED));
    It.State = NormalState((It.State & ~(MF_GRAYED | MF_DISABLED)) | (Enable & (MF_GRAYED | MF_DISABLED)));
    return Old;
}

BOOL GetMenuItemRect(HWND Wnd, HMENU Menu, UINT Item, RECT* Rect) {
    TMenu* M = FindMenu(Menu);
    if (!M || !Rect || Item >= M->Items.size()) return FALSE;
    if (TWindow* W = Find(Wnd); W && W->Menu == Menu) {
        RECT Strip;
        if (!BarStrip(Wnd, Strip)) return FALSE;
        LayoutBar(Wnd, Menu, Strip);
        if (!(M = FindMenu(Menu)) || Item >= M->Items.size()) return FALSE;
    }
    if (!M->Laid) return FALSE;
    *Rect = ScreenItemRect(Menu, int(Item));
    return TRUE;
}

int MenuItemFromPoint(HWND Wnd, HMENU Menu, POINT Screen) {
    TMenu* M = FindMenu(Menu);
    if (!M) return -1;
    if (TWindow* W = Find(Wnd); W && W->Menu == Menu) {
        // The bar follows the window wherever it is now.
        RECT Strip;
        if (BarStrip(Wnd, Strip)) LayoutBar(Wnd, Menu, Strip);
        if (!(M = FindMenu(Menu))) return -1;
    }
    if (!M->Laid) return -1;
    int X = Screen.x - M->Origin.x, Y = Screen.y - M->Origin.y;
    for (size_t I = 0; I < M->Items.size(); ++I) {
        const RECT& R = M->Items[I].Rect;
        if (X >= R.left && X < R.right && Y >= R.top && Y < R.bottom) return int(I);
    }
    return -1;
}

HMENU GetSystemMenu(HWND Wnd, BOOL Revert) {
    TWindow* W = Find(Wnd);
    if (!W) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto& Map = Registry().SystemMenus;
    auto It = Map.find(Wnd);
    if (Revert) {
        if (It != Map.end()) {
            if (FindMenu(It->second)) DestroyMenu(It->second);
            Map.erase(It);
        }
        return nullptr;
    }
    if (!(W->Style & WS_SYSMENU)) return nullptr;
    HMENU M = It != Map.end() && FindMenu(It->second) ? It->second : nullptr;
    if (!M) {
        M = BuildSystemMenu();
        if (!M) return nullptr;
        Map[Wnd] = M;
    }
    RefreshSystemMenu(Wnd, M);
    return M;
}

BOOL TrackPopupMenuEx(HMENU Menu, UINT Flags, int X, int Y, HWND Owner, const TPMPARAMS* Params) {
    ClaimUiThread();
    if (!FindMenu(Menu)) return BadMenu();
    if (!Find(Owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (Tracking || !OnUiThread()) return FALSE;
    // The system menu of a window shows its current state.
    for (const auto& [Wnd, Sys] : Registry().SystemMenus)
        if (Sys == Menu) RefreshSystemMenu(Wnd, Menu);
    bool Ok = false;
    UINT Cmd = TrackPopup(Menu, Flags, {X, Y}, Owner, Params ? &Params->rcExclude : nullptr, false, Ok);
    if (!Ok) return FALSE;
    return (Flags & TPM_RETURNCMD) ? BOOL(Cmd) : TRUE;
}

BOOL TrackPopupMenu(HMENU Menu, UINT Flags, int X, int Y, int, HWND Owner, const RECT*) {
    return TrackPopupMenuEx(Menu, Flags, X, Y, Owner, nullptr);
}

BOOL EndMenu() {
    if (!Tracking) return FALSE;
    Tracking->Done = true;
    // Wake the loop so it notices.
    PostMessageW(nullptr, WM_NULL, 0, 0);
    return TRUE;
}

HMENU GetMenu(HWND Wnd) {
    TWindow* W = Find(Wnd);
    return W && !(W->Style & WS_CHILD) ? W->Menu : nullptr;
}

BOOL SetMenu(HWND Wnd, HMENU Menu) {
    TWindow* W = Find(Wnd);
    if (!W || (W->Style & WS_CHILD)) return FALSE;
    if (Menu && !FindMenu(Menu)) return BadMenu();
    W->Menu = Menu;
    SetWindowPos(Wnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

BOOL DrawMenuBar(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (!W) return FALSE;
    if (W->Menu && IsWindowVisible(Wnd)) SendMessageW(Wnd, WM_NCPAINT, 1, 0);
    return TRUE;
}

}  // namespace velmo
