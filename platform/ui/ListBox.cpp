// The "listbox" class: strings (or owner data) in one column, single or
// multiple selection, LBS_NOTIFY notifications, owner drawing (fixed height,
// or each item measured as it is added)
// and vertical scrolling by messages and the wheel. "ComboLBox" is the
// same list serving a combo box: it tells the combo box, not its parent.
#include <algorithm>

#include "platform/ui/ControlsInternal.h"

namespace velmo::ui {

namespace {

struct TItem {
    std::u16string Text;
    ULONG_PTR Data = 0;
    bool Selected = false;
    int Height = 0;  // its own height in a variable owner-drawn list; 0: the list's
};

struct TListBox {
    std::vector<TItem> Items;
    int Current = -1;  // the selection of a single-selection list
    int Caret = 0;     // the focus item
    int Top = 0;
    int ItemHeight = 0;
    HFONT Font = nullptr;
    bool Focused = false;
    bool Tracking = false;
    HWND Combo = nullptr;  // the combo box a "ComboLBox" serves
    bool Syncing = false;  // the scroll bar is being updated
    // Created with WS_VSCROLL: the bar comes and goes with the need to
    // scroll (which clears and sets the style), so the wish is kept here.
    bool WantsBar = false;
};

constexpr size_t kMaxItems = 1u << 24;

DWORD Style(HWND Wnd) { return StyleOf(Wnd); }
bool MultiSel(HWND Wnd) { return Style(Wnd) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL); }
bool OwnerDraw(HWND Wnd) { return Style(Wnd) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE); }
bool HasStrings(HWND Wnd) { return !OwnerDraw(Wnd) || (Style(Wnd) & LBS_HASSTRINGS); }

void Notify(HWND Wnd, TListBox& B, WORD Code) {
    if (B.Combo) {
        SendMessageW(B.Combo, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Wnd), Code),
                     reinterpret_cast<LPARAM>(Wnd));
        return;
    }
    if (Style(Wnd) & LBS_NOTIFY) NotifyParent(Wnd, Code);
}

int ItemHeightOf(HWND Wnd, TListBox& B) {
    if (B.ItemHeight > 0) return B.ItemHeight;
    HDC Dc = GetDC(Wnd);
    HGDIOBJ Old = SelectObject(Dc, B.Font ? B.Font : DefaultControlFont());
    B.ItemHeight = std::max(1, LineHeight(Dc));
    SelectObject(Dc, Old);
    ReleaseDC(Wnd, Dc);
    return B.ItemHeight;
}

bool Variable(HWND Wnd) { return Style(Wnd) & LBS_OWNERDRAWVARIABLE; }

int HeightOf(HWND Wnd, TListBox& B, int I) {
    if (I >= 0 && I < int(B.Items.size()) && B.Items[size_t(I)].Height > 0) return B.Items[size_t(I)].Height;
    return ItemHeightOf(Wnd, B);
}

int ClientHeight(HWND Wnd) {
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    return int(Rc.bottom - Rc.top);
}

// Whole items shown from Top down (at least one).
int VisibleCount(HWND Wnd, TListBox& B) {
    if (!Variable(Wnd)) return std::max(1, ClientHeight(Wnd) / ItemHeightOf(Wnd, B));
    int Room = ClientHeight(Wnd), N = 0;
    for (int I = B.Top; I < int(B.Items.size()) && (Room -= HeightOf(Wnd, B, I)) >= 0; ++I) ++N;
    return std::max(1, N);
}

// The highest top item that still fills the list to its last item.
int MaxTop(HWND Wnd, TListBox& B) {
    int Count = int(B.Items.size());
    if (!Variable(Wnd)) return std::max(0, Count - std::max(1, ClientHeight(Wnd) / ItemHeightOf(Wnd, B)));
    int Room = ClientHeight(Wnd), Top = Count;
    while (Top > 0 && Room - HeightOf(Wnd, B, Top - 1) >= 0) Room -= HeightOf(Wnd, B, --Top);
    return std::min(Top, std::max(0, Count - 1));
}

// The vertical scroll bar shows the items, the page and the top item.
void SyncScrollBar(HWND Wnd, TListBox& B) {
    if (!B.WantsBar || B.Syncing) return;
    B.Syncing = true;
    SCROLLINFO Si;
    Si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS |
               ((Style(Wnd) & LBS_DISABLENOSCROLL) ? SIF_DISABLENOSCROLL : 0);
    Si.nMin = 0;
    Si.nMax = std::max(0, int(B.Items.size()) - 1);
    Si.nPage = UINT(VisibleCount(Wnd, B));
    Si.nPos = B.Top;
    HWND Self = Wnd;
    SetScrollInfo(Wnd, SB_VERT, &Si, TRUE);
    if (ControlState<TListBox>(Self) == &B) B.Syncing = false;
}

// Sets the top item (kept in range) and the scroll bar.
void SetTop(HWND Wnd, TListBox& B, int Top) {
    Top = std::clamp(Top, 0, MaxTop(Wnd, B));
    if (Top != B.Top) {
        B.Top = Top;
        InvalidateRect(Wnd, nullptr, TRUE);
    }
    SyncScrollBar(Wnd, B);
}

void ShowItem(HWND Wnd, TListBox& B, int I) {
    if (I < 0) return;
    if (I < B.Top)
        SetTop(Wnd, B, I);
    else if (I >= B.Top + VisibleCount(Wnd, B)) {
        // The lowest top that shows the item whole.
        int Top = I, Room = ClientHeight(Wnd) - HeightOf(Wnd, B, I);
        while (Top > 0 && Room - HeightOf(Wnd, B, Top - 1) >= 0) Room -= HeightOf(Wnd, B, --Top);
        SetTop(Wnd, B, Top);
    }
}

RECT ItemRect(HWND Wnd, TListBox& B, int I) {
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    if (!Variable(Wnd)) {
        int H = ItemHeightOf(Wnd, B);
        return {Rc.left, Rc.top + (I - B.Top) * H, Rc.right, Rc.top + (I - B.Top + 1) * H};
    }
    long Y = Rc.top;
    for (int K = B.Top; K < I; ++K) Y += HeightOf(Wnd, B, K);
    for (int K = I; K < B.Top; ++K) Y -= HeightOf(Wnd, B, K);
    Y = std::clamp(Y, -0x3FFFFFFFL, 0x3FFFFFFFL);
    return {Rc.left, LONG(Y), Rc.right, LONG(Y + HeightOf(Wnd, B, I))};
}

int ItemAt(HWND Wnd, TListBox& B, POINT P) {
    if (P.y < 0) return -1;
    if (Variable(Wnd)) {
        int Y = 0;
        for (int I = B.Top; I < int(B.Items.size()); ++I) {
            Y += HeightOf(Wnd, B, I);
            if (P.y < Y) return I;
        }
        return -1;
    }
    int H = ItemHeightOf(Wnd, B);
    int I = B.Top + P.y / H;
    return I < int(B.Items.size()) ? I : -1;
}

bool IsSelected(HWND Wnd, const TListBox& B, int I) {
    if (MultiSel(Wnd)) return I >= 0 && I < int(B.Items.size()) && B.Items[size_t(I)].Selected;
    return I == B.Current;
}

// Selects one item in a single-selection list; −1 clears.
void Select(HWND Wnd, TListBox& B, int I) {
    if (I < -1 || I >= int(B.Items.size())) I = -1;
    B.Current = I;
    if (I >= 0) B.Caret = I;
    ShowItem(Wnd, B, I);
    InvalidateRect(Wnd, nullptr, TRUE);
}

void PaintList(HWND Wnd, HDC Dc, TListBox& B) {
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    HBRUSH Brush = ControlBrush(Wnd, Dc, WM_CTLCOLORLISTBOX);
    FillRect(Dc, &Rc, Brush);
    HGDIOBJ OldFont = SelectObject(Dc, B.Font ? B.Font : DefaultControlFont());
    int OldMode = SetBkMode(Dc, TRANSPARENT);
    COLORREF Ink = GetTextColor(Dc);
    bool Enabled = IsWindowEnabled(Wnd);
    int Vis = VisibleCount(Wnd, B) + 1;
    for (int I = B.Top; I < int(B.Items.size()) && I < B.Top + Vis; ++I) {
        RECT R = ItemRect(Wnd, B, I);
        bool Sel = IsSelected(Wnd, B, I);
        bool Foc = B.Focused && I == B.Caret;
        if (OwnerDraw(Wnd)) {
            DRAWITEMSTRUCT D;
            D.CtlType = B.Combo ? ODT_COMBOBOX : ODT_LISTBOX;
            D.CtlID = UINT(GetDlgCtrlID(B.Combo ? B.Combo : Wnd));
            D.itemID = UINT(I);
            D.itemAction = ODA_DRAWENTIRE;
            D.itemState =
                (Sel ? ODS_SELECTED : 0) | (Foc ? ODS_FOCUS : 0) | (Enabled ? 0 : ODS_DISABLED);
            D.hwndItem = B.Combo ? B.Combo : Wnd;
            D.hDC = Dc;
            D.rcItem = R;
            D.itemData = B.Items[size_t(I)].Data;
            HWND Owner = B.Combo ? GetParent(B.Combo) : GetParent(Wnd);
            SendMessageW(Owner, WM_DRAWITEM, WPARAM(D.CtlID), reinterpret_cast<LPARAM>(&D));
            continue;
        }
        if (Sel) {
            FillRect(Dc, &R, GetSysColorBrush(COLOR_HIGHLIGHT));
            SetTextColor(Dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        }
        RECT T = R;
        T.left += 2;
        const std::u16string& S = B.Items[size_t(I)].Text;
        DrawTextW(Dc, S.c_str(), int(S.size()), &T,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX |
                      ((Style(Wnd) & LBS_USETABSTOPS) ? DT_EXPANDTABS : 0));
        SetTextColor(Dc, Ink);
        if (Foc && MultiSel(Wnd)) DrawFocusRect(Dc, &R);
    }
    SetBkMode(Dc, OldMode);
    SelectObject(Dc, OldFont);
}

int Compare(const std::u16string& A, const std::u16string& B) {
    std::u16string Fa = Fold(A), Fb = Fold(B);
    return Fa < Fb ? -1 : Fa == Fb ? 0 : 1;
}

LRESULT Insert(HWND Wnd, TListBox& B, int At, LPARAM L, bool Sorted) {
    if (B.Items.size() >= kMaxItems) return LB_ERRSPACE;
    TItem It;
    if (HasStrings(Wnd)) {
        if (L && !IS_INTRESOURCE(reinterpret_cast<const void*>(L)))
            It.Text = FromWide(reinterpret_cast<LPCWSTR>(L));
    } else {
        It.Data = ULONG_PTR(L);
    }
    if (Sorted && HasStrings(Wnd)) {
        At = 0;
        while (At < int(B.Items.size()) && Compare(B.Items[size_t(At)].Text, It.Text) <= 0) ++At;
    } else if (At < 0 || At > int(B.Items.size())) {
        if (At != -1) return LB_ERR;
        At = int(B.Items.size());
    }
    if (Variable(Wnd)) {
        // Each item of a variable list is measured by the owner as it comes.
        MEASUREITEMSTRUCT M;
        M.CtlType = B.Combo ? ODT_COMBOBOX : ODT_LISTBOX;
        M.CtlID = UINT(GetDlgCtrlID(B.Combo ? B.Combo : Wnd));
        M.itemID = UINT(At);
        M.itemHeight = UINT(ItemHeightOf(Wnd, B));
        M.itemData = HasStrings(Wnd) ? ULONG_PTR(0) : It.Data;
        HWND Owner = B.Combo ? GetParent(B.Combo) : GetParent(Wnd);
        if (Owner) SendMessageW(Owner, WM_MEASUREITEM, WPARAM(M.CtlID), reinterpret_cast<LPARAM>(&M));
        if (!IsWindow(Wnd) || ControlState<TListBox>(Wnd) != &B) return LB_ERR;
        It.Height = int(std::clamp<UINT>(M.itemHeight, 1, 255));
        At = std::min(At, int(B.Items.size()));
    }
    B.Items.insert(B.Items.begin() + At, std::move(It));
    if (B.Current >= At) ++B.Current;
    InvalidateRect(Wnd, nullptr, TRUE);
    SetTop(Wnd, B, B.Top);
    return At;
}

LRESULT Find(const TListBox& B, int After, LPCWSTR Text, bool Exact) {
    if (!Text || B.Items.empty()) return LB_ERR;
    std::u16string Key = Fold(FromWide(Text));
    int N = int(B.Items.size());
    int Start = After < 0 || After >= N ? 0 : After + 1;
    for (int K = 0; K < N; ++K) {
        int I = (Start + K) % N;
        std::u16string F = Fold(B.Items[size_t(I)].Text);
        if (Exact ? F == Key : F.compare(0, Key.size(), Key) == 0) return I;
    }
    return LB_ERR;
}

void Move(HWND Wnd, TListBox& B, int To) {
    if (B.Items.empty()) return;
    To = std::clamp(To, 0, int(B.Items.size()) - 1);
    if (MultiSel(Wnd)) {
        B.Caret = To;
        ShowItem(Wnd, B, To);
        InvalidateRect(Wnd, nullptr, TRUE);
        return;
    }
    if (To == B.Current) return;
    Select(Wnd, B, To);
    Notify(Wnd, B, LBN_SELCHANGE);
}

}  // namespace

LRESULT ListBoxProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_NCCREATE) {
        AttachState<TListBox>(Wnd);
        return DefWindowProcW(Wnd, Msg, W, L);
    }
    TListBox* B = ControlState<TListBox>(Wnd);
    if (Msg == WM_NCDESTROY) {
        DetachState<TListBox>(Wnd);
        return DefWindowProcW(Wnd, Msg, W, L);
    }
    if (!B) return DefWindowProcW(Wnd, Msg, W, L);
    if (auto R = PaintMessage(Wnd, Msg, W, [&](HDC Dc) { PaintList(Wnd, Dc, *B); })) return *R;
    int Count = int(B->Items.size());
    switch (Msg) {
        case WM_CREATE: {
            auto* Cs = reinterpret_cast<const CREATESTRUCTW*>(L);
            B->WantsBar = (Cs ? DWORD(Cs->style) : Style(Wnd)) & WS_VSCROLL;
            // A combo box passes itself as the creation parameter of its list.
            if (Cs && Cs->lpCreateParams && GetClassNameString(Wnd) == u"ComboLBox")
                B->Combo = reinterpret_cast<HWND>(Cs->lpCreateParams);
            if (OwnerDraw(Wnd) && !Variable(Wnd)) {
                MEASUREITEMSTRUCT M;
                M.CtlType = B->Combo ? ODT_COMBOBOX : ODT_LISTBOX;
                M.CtlID = UINT(GetDlgCtrlID(B->Combo ? B->Combo : Wnd));
                M.itemHeight = UINT(ItemHeightOf(Wnd, *B));
                HWND Owner = B->Combo ? GetParent(B->Combo) : GetParent(Wnd);
                if (Owner)
                    SendMessageW(Owner, WM_MEASUREITEM, WPARAM(M.CtlID),
                                 reinterpret_cast<LPARAM>(&M));
                if (M.itemHeight > 0 && M.itemHeight < 32768) B->ItemHeight = int(M.itemHeight);
            }
            return 0;
        }
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_SETFONT:
            B->Font = reinterpret_cast<HFONT>(W);
            if (!OwnerDraw(Wnd)) B->ItemHeight = 0;
            if (L) InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(B->Font);
        case WM_SETFOCUS:
            B->Focused = true;
            InvalidateRect(Wnd, nullptr, TRUE);
            Notify(Wnd, *B, LBN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            B->Focused = false;
            InvalidateRect(Wnd, nullptr, TRUE);
            Notify(Wnd, *B, LBN_KILLFOCUS);
            return 0;
        case WM_SIZE:
            SetTop(Wnd, *B, B->Top);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            if (!B->Combo && GetFocus() != Wnd) SetFocus(Wnd);
            if (!(B = ControlState<TListBox>(Wnd))) return 0;
            int I = ItemAt(Wnd, *B, {GET_X_LPARAM(L), GET_Y_LPARAM(L)});
            if (Msg == WM_LBUTTONDBLCLK) {
                if (I >= 0) Notify(Wnd, *B, LBN_DBLCLK);
                return 0;
            }
            if (I < 0 || (Style(Wnd) & LBS_NOSEL)) return 0;
            if (MultiSel(Wnd)) {
                B->Items[size_t(I)].Selected = !B->Items[size_t(I)].Selected;
                B->Caret = I;
                InvalidateRect(Wnd, nullptr, TRUE);
                Notify(Wnd, *B, LBN_SELCHANGE);
                return 0;
            }
            B->Tracking = true;
            SetCapture(Wnd);
            if (I != B->Current) {
                Select(Wnd, *B, I);
                Notify(Wnd, *B, LBN_SELCHANGE);
            }
            return 0;
        }
        case WM_MOUSEMOVE:
            if (B->Tracking && !MultiSel(Wnd)) {
                int I = ItemAt(Wnd, *B, {GET_X_LPARAM(L), GET_Y_LPARAM(L)});
                if (I >= 0 && I != B->Current) {
                    Select(Wnd, *B, I);
                    Notify(Wnd, *B, LBN_SELCHANGE);
                }
            }
            return 0;
        case WM_LBUTTONUP:
            if (B->Tracking) {
                B->Tracking = false;
                if (GetCapture() == Wnd) ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED:
            B->Tracking = false;
            return 0;
        case WM_MOUSEWHEEL:
            SetTop(Wnd, *B, B->Top - int16_t(HIWORD(W)) / 120 * 3);
            return 0;
        case WM_VSCROLL: {
            int Page = VisibleCount(Wnd, *B);
            switch (LOWORD(W)) {
                case SB_LINEUP:
                    SetTop(Wnd, *B, B->Top - 1);
                    break;
                case SB_LINEDOWN:
                    SetTop(Wnd, *B, B->Top + 1);
                    break;
                case SB_PAGEUP:
                    SetTop(Wnd, *B, B->Top - Page);
                    break;
                case SB_PAGEDOWN:
                    SetTop(Wnd, *B, B->Top + Page);
                    break;
                case SB_THUMBTRACK:
                case SB_THUMBPOSITION:
                    SetTop(Wnd, *B, int(HIWORD(W)));
                    break;
                case SB_TOP:
                    SetTop(Wnd, *B, 0);
                    break;
                case SB_BOTTOM:
                    SetTop(Wnd, *B, Count);
                    break;
                default:
                    break;
            }
            return 0;
        }
        case WM_KEYDOWN: {
            int At = MultiSel(Wnd) ? B->Caret : (B->Current < 0 ? B->Caret - 1 : B->Current);
            int Page = VisibleCount(Wnd, *B);
            switch (W) {
                case VK_UP:
                    Move(Wnd, *B, At - 1);
                    break;
                case VK_DOWN:
                    Move(Wnd, *B, At + 1);
                    break;
                case VK_PRIOR:
                    Move(Wnd, *B, At - Page + 1);
                    break;
                case VK_NEXT:
                    Move(Wnd, *B, At + Page - 1);
                    break;
                case VK_HOME:
                    Move(Wnd, *B, 0);
                    break;
                case VK_END:
                    Move(Wnd, *B, Count - 1);
                    break;
                case VK_SPACE:
                    if (MultiSel(Wnd) && B->Caret < Count) {
                        B->Items[size_t(B->Caret)].Selected = !B->Items[size_t(B->Caret)].Selected;
                        InvalidateRect(Wnd, nullptr, TRUE);
                        Notify(Wnd, *B, LBN_SELCHANGE);
                    }
                    break;
                default:
                    break;
            }
            return 0;
        }
        case LB_ADDSTRING:
            return Insert(Wnd, *B, -1, L, Style(Wnd) & LBS_SORT);
        case LB_INSERTSTRING:
            return Insert(Wnd, *B, int(intptr_t(W)), L, false);
        case LB_DELETESTRING: {
            int I = int(intptr_t(W));
            if (I < 0 || I >= Count) return LB_ERR;
            B->Items.erase(B->Items.begin() + I);
            if (B->Current == I)
                B->Current = -1;
            else if (B->Current > I)
                --B->Current;
            if (B->Caret >= int(B->Items.size())) B->Caret = std::max(0, int(B->Items.size()) - 1);
            SetTop(Wnd, *B, B->Top);
            InvalidateRect(Wnd, nullptr, TRUE);
            return LRESULT(B->Items.size());
        }
        case LB_RESETCONTENT:
            B->Items.clear();
            B->Current = -1;
            B->Caret = 0;
            B->Top = 0;
            InvalidateRect(Wnd, nullptr, TRUE);
            SyncScrollBar(Wnd, *B);
            return 0;
        case LB_GETCOUNT:
            return Count;
        case LB_SETCURSEL: {
            if (MultiSel(Wnd)) return LB_ERR;
            int I = int(intptr_t(W));
            Select(Wnd, *B, I);
            return I >= 0 && I < Count ? I : LB_ERR;
        }
        case LB_GETCURSEL:
            return MultiSel(Wnd) ? B->Caret : B->Current;
        case LB_GETSEL: {
            int I = int(intptr_t(W));
            if (I < 0 || I >= Count) return LB_ERR;
            return IsSelected(Wnd, *B, I) ? 1 : 0;
        }
        case LB_SETSEL: {
            if (!MultiSel(Wnd)) return LB_ERR;
            int I = int(L);
            if (I == -1) {
                for (auto& It : B->Items) It.Selected = W != 0;
            } else {
                if (I < 0 || I >= Count) return LB_ERR;
                B->Items[size_t(I)].Selected = W != 0;
                B->Caret = I;
            }
            InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        }
        case LB_GETSELCOUNT: {
            if (!MultiSel(Wnd)) return LB_ERR;
            return std::count_if(B->Items.begin(), B->Items.end(),
                                 [](const TItem& It) { return It.Selected; });
        }
        case LB_GETSELITEMS: {
            if (!MultiSel(Wnd) || !L) return LB_ERR;
            int* Out = reinterpret_cast<int*>(L);
            int N = 0;
            for (int I = 0; I < Count && N < int(W); ++I)
                if (B->Items[size_t(I)].Selected) Out[N++] = I;
            return N;
        }
        case LB_GETTEXT: {
            int I = int(intptr_t(W));
            if (I < 0 || I >= Count || !L) return LB_ERR;
            if (!HasStrings(Wnd)) {
                *reinterpret_cast<ULONG_PTR*>(L) = B->Items[size_t(I)].Data;
                return sizeof(ULONG_PTR);
            }
            const std::u16string& S = B->Items[size_t(I)].Text;
            auto* Buf = reinterpret_cast<char16_t*>(L);
            std::copy(S.begin(), S.end(), Buf);
            Buf[S.size()] = 0;
            return LRESULT(S.size());
        }
        case LB_GETTEXTLEN: {
            int I = int(intptr_t(W));
            if (I < 0 || I >= Count) return LB_ERR;
            return HasStrings(Wnd) ? LRESULT(B->Items[size_t(I)].Text.size())
                                   : LRESULT(sizeof(ULONG_PTR));
        }
        case LB_FINDSTRING:
            return Find(*B, int(intptr_t(W)), reinterpret_cast<LPCWSTR>(L), false);
        case LB_FINDSTRINGEXACT:
            return Find(*B, int(intptr_t(W)), reinterpret_cast<LPCWSTR>(L), true);
        case LB_SELECTSTRING: {
            LRESULT I = Find(*B, int(intptr_t(W)), reinterpret_cast<LPCWSTR>(L), false);
            if (I >= 0 && !MultiSel(Wnd)) Select(Wnd, *B, int(I));
            return I;
        }
        case LB_GETTOPINDEX:
            return B->Top;
        case LB_SETTOPINDEX:
            if (int(intptr_t(W)) < 0 || int(intptr_t(W)) >= std::max(1, Count)) return LB_ERR;
            SetTop(Wnd, *B, int(intptr_t(W)));
            return 0;
        case LB_GETITEMRECT: {
            int I = int(intptr_t(W));
            if (I < 0 || I >= std::max(1, Count) || !L) return LB_ERR;
            *reinterpret_cast<RECT*>(L) = ItemRect(Wnd, *B, I);
            return 0;
        }
        case LB_GETITEMDATA: {
            int I = int(intptr_t(W));
            if (I < 0 || I >= Count) return LB_ERR;
            return LRESULT(B->Items[size_t(I)].Data);
        }
        case LB_SETITEMDATA: {
            int I = int(intptr_t(W));
            if (I < 0 || I >= Count) return LB_ERR;
            B->Items[size_t(I)].Data = ULONG_PTR(L);
            return 0;
        }
        case LB_SETCARETINDEX: {
            int I = int(intptr_t(W));
            if (I < 0 || I >= Count) return LB_ERR;
            B->Caret = I;
            ShowItem(Wnd, *B, I);
            InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        }
        case LB_GETCARETINDEX:
            return B->Caret;
        case LB_SETITEMHEIGHT:
            if (LOWORD(L) == 0 || LOWORD(L) > 255) return LB_ERR;
            if (Variable(Wnd)) {
                int I = int(intptr_t(W));
                if (I < 0 || I >= Count) return LB_ERR;
                B->Items[size_t(I)].Height = LOWORD(L);
            } else {
                B->ItemHeight = LOWORD(L);
            }
            InvalidateRect(Wnd, nullptr, TRUE);
            SetTop(Wnd, *B, B->Top);
            return 0;
        case LB_GETITEMHEIGHT:
            if (Variable(Wnd) && Count > 0) {
                int I = int(intptr_t(W));
                if (I < 0 || I >= Count) return LB_ERR;
                return HeightOf(Wnd, *B, I);
            }
            return ItemHeightOf(Wnd, *B);
        case LB_ITEMFROMPOINT: {
            RECT Rc;
            GetClientRect(Wnd, &Rc);
            POINT P{GET_X_LPARAM(L), GET_Y_LPARAM(L)};
            int I = ItemAt(Wnd, *B, P);
            bool Outside = !RectHolds(Rc, P) || I < 0;
            if (I < 0) I = std::max(0, Count - 1);
            return MAKELPARAM(I, Outside ? 1 : 0);
        }
        default:
            return DefWindowProcW(Wnd, Msg, W, L);
    }
}

}  // namespace velmo::ui
