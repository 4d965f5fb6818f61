// The "combobox" class: a simple combo (edit above a list), a drop-down
// combo (edit with a button and a "ComboLBox" popup list) and a drop-down
// list (a selection field with the button and popup). The selection is the
// list's and stays apart from what is typed into the edit; choosing an item
// copies its text into the edit. Dropping and closing send CBN_DROPDOWN and
// CBN_CLOSEUP; a new choice CBN_SELCHANGE.
#include <algorithm>

#include "platform/ui/ControlsInternal.h"

namespace velmo::ui {

namespace {

constexpr int kEditId = 1001;
constexpr int kListId = 1000;
constexpr int kMaxDropItems = 8;

struct TCombo {
    HWND Edit = nullptr;
    HWND List = nullptr;
    bool Dropped = false;
    bool Pressed = false;  // the button is held
    bool Focused = false;
    bool Tracking = false;  // mouse capture while dropped
    int FieldHeight = 0;
    int DropHeight = 0;
    int SelectionAtDrop = -1;
    HFONT Font = nullptr;
    bool Echo = false;  // the edit is being given an item's text
};

DWORD Kind(HWND Wnd) { return StyleOf(Wnd) & 3; }

RECT ButtonRect(HWND Wnd, const TCombo& C) {
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    if (Kind(Wnd) == CBS_SIMPLE) return {};
    int W = GetSystemMetrics(SM_CXVSCROLL);
    int H = std::min<int>(C.FieldHeight, Rc.bottom - Rc.top);
    return {std::max<int>(Rc.left, Rc.right - W - 2), Rc.top + 2, Rc.right - 2, Rc.top + H - 2};
}

RECT FieldRect(HWND Wnd, const TCombo& C) {
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    RECT F{Rc.left + 3, Rc.top + 3, Rc.right - 3, Rc.top + C.FieldHeight - 3};
    if (Kind(Wnd) != CBS_SIMPLE) F.right = ButtonRect(Wnd, C).left - 1;
    if (F.right < F.left) F.right = F.left;
    return F;
}

int Current(const TCombo& C) { return C.List ? int(SendMessageW(C.List, LB_GETCURSEL, 0, 0)) : -1; }

std::u16string ItemText(const TCombo& C, int I) {
    if (!C.List || I < 0) return {};
    LRESULT N = SendMessageW(C.List, LB_GETTEXTLEN, WPARAM(I), 0);
    if (N < 0) return {};
    std::u16string S(size_t(N) + 1, u'\0');
    SendMessageW(C.List, LB_GETTEXT, WPARAM(I), reinterpret_cast<LPARAM>(S.data()));
    S.resize(size_t(N));
    return S;
}

// Shows the chosen item in the edit (when there is one) and the field.
void ShowChoice(HWND Wnd, TCombo& C) {
    int I = Current(C);
    if (C.Edit) {
        std::u16string T = ItemText(C, I);
        // The edit's own change notifications are not the user's typing.
        C.Echo = true;
        HWND Edit = C.Edit;
        SetWindowTextW(Edit, T.c_str());
        SendMessageW(Edit, EM_SETSEL, 0, -1);
        if (ControlState<TCombo>(Wnd) == &C) C.Echo = false;
    }
    InvalidateRect(Wnd, nullptr, TRUE);
}

void Close(HWND Wnd, TCombo& C, bool Accept) {
    if (!C.Dropped) return;
    C.Dropped = false;
    C.Pressed = false;
    if (C.Tracking) {
        C.Tracking = false;
        if (GetCapture() == Wnd) ReleaseCapture();
    }
    if (!Accept) SendMessageW(C.List, LB_SETCURSEL, WPARAM(C.SelectionAtDrop), 0);
    ShowWindow(C.List, SW_HIDE);
    NotifyParent(Wnd, Accept ? CBN_SELENDOK : CBN_SELENDCANCEL);
    if (!IsWindow(Wnd)) return;
    NotifyParent(Wnd, CBN_CLOSEUP);
    if (!IsWindow(Wnd)) return;
    InvalidateRect(Wnd, nullptr, TRUE);
    if (Accept && Current(C) != C.SelectionAtDrop) {
        ShowChoice(Wnd, C);
        if (IsWindow(Wnd)) NotifyParent(Wnd, CBN_SELCHANGE);
    }
}

void Drop(HWND Wnd, TCombo& C) {
    if (C.Dropped || Kind(Wnd) == CBS_SIMPLE || !C.List) return;
    NotifyParent(Wnd, CBN_DROPDOWN);
    if (!IsWindow(Wnd)) return;
    C.Dropped = true;
    C.SelectionAtDrop = Current(C);
    RECT Wr;
    GetWindowRect(Wnd, &Wr);
    int Count = int(SendMessageW(C.List, LB_GETCOUNT, 0, 0));
    int ItemH = int(SendMessageW(C.List, LB_GETITEMHEIGHT, 0, 0));
    int Rows = std::clamp(Count, 1, kMaxDropItems);
    int H = Rows * std::max(1, ItemH) + 2;
    if (C.DropHeight > C.FieldHeight) H = std::min(H, C.DropHeight - C.FieldHeight);
    H = std::max(H, ItemH + 2);
    int Y = Wr.bottom;
    if (Y + H > GetSystemMetrics(SM_CYSCREEN)) Y = Wr.top - H;
    SetWindowPos(C.List, HWND_TOPMOST, Wr.left, Y, Wr.right - Wr.left, H,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    int Sel = Current(C);
    if (Sel >= 0) SendMessageW(C.List, LB_SETTOPINDEX, WPARAM(std::max(0, Sel - Rows + 1)), 0);
    if (C.Edit && GetFocus() != C.Edit)
        SetFocus(C.Edit);
    else if (!C.Edit && GetFocus() != Wnd)
        SetFocus(Wnd);
    SetCapture(Wnd);
    C.Tracking = true;
    InvalidateRect(Wnd, nullptr, TRUE);
}

void DrawArrow(HDC Dc, const RECT& B, bool Enabled) {
    int Cx = (B.left + B.right) / 2, Cy = (B.top + B.bottom) / 2 - 1;
    HBRUSH Ink = GetSysColorBrush(Enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    for (int Row = 0; Row < 4; ++Row) {
        RECT R{Cx - 3 + Row, Cy + Row, Cx + 4 - Row, Cy + Row + 1};
        FillRect(Dc, &R, Ink);
    }
}

void PaintCombo(HWND Wnd, HDC Dc, TCombo& C) {
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    bool Enabled = IsWindowEnabled(Wnd);
    if (Kind(Wnd) == CBS_SIMPLE) {
        FillRect(Dc, &Rc, ControlBrush(Wnd, Dc, WM_CTLCOLORSTATIC));
        return;
    }
    HBRUSH Brush = ControlBrush(Wnd, Dc, C.Edit ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC);
    RECT Field{Rc.left, Rc.top, Rc.right, Rc.top + C.FieldHeight};
    FillRect(Dc, &Field, GetSysColorBrush(Enabled ? COLOR_WINDOW : COLOR_BTNFACE));
    RECT Edge = Field;
    DrawEdge(Dc, &Edge, EDGE_SUNKEN, BF_RECT);
    RECT B = ButtonRect(Wnd, C);
    FillRect(Dc, &B, GetSysColorBrush(COLOR_BTNFACE));
    RECT Be = B;
    DrawEdge(Dc, &Be, C.Pressed || C.Dropped ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    DrawArrow(Dc, B, Enabled);
    if (C.Edit) return;
    RECT F = FieldRect(Wnd, C);
    int Sel = Current(C);
    bool Focus = C.Focused && !C.Dropped;
    FillRect(Dc, &F, Focus ? GetSysColorBrush(COLOR_HIGHLIGHT) : Brush);
    if (StyleOf(Wnd) & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) {
        DRAWITEMSTRUCT D;
        D.CtlType = ODT_COMBOBOX;
        D.CtlID = UINT(GetDlgCtrlID(Wnd));
        D.itemID = UINT(Sel);
        D.itemAction = ODA_DRAWENTIRE;
        D.itemState = ODS_COMBOBOXEDIT | (Focus ? ODS_SELECTED | ODS_FOCUS : 0) |
                      (Enabled ? 0 : ODS_DISABLED);
        D.hwndItem = Wnd;
        D.hDC = Dc;
        D.rcItem = F;
        D.itemData = Sel >= 0 ? ULONG_PTR(SendMessageW(C.List, LB_GETITEMDATA, WPARAM(Sel), 0)) : 0;
        SendMessageW(GetParent(Wnd), WM_DRAWITEM, WPARAM(D.CtlID), reinterpret_cast<LPARAM>(&D));
        return;
    }
    std::u16string T = ItemText(C, Sel);
    HGDIOBJ OldFont = SelectObject(Dc, C.Font ? C.Font : DefaultControlFont());
    int OldMode = SetBkMode(Dc, TRANSPARENT);
    if (Focus) SetTextColor(Dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    RECT Tr = F;
    Tr.left += 2;
    DrawTextW(Dc, T.c_str(), int(T.size()), &Tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (Focus) DrawFocusRect(Dc, &F);
    SetBkMode(Dc, OldMode);
    SelectObject(Dc, OldFont);
}

void Layout(HWND Wnd, TCombo& C) {
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    RECT F = FieldRect(Wnd, C);
    if (C.Edit) MoveWindow(C.Edit, F.left, F.top, F.right - F.left, F.bottom - F.top, TRUE);
    if (C.List && Kind(Wnd) == CBS_SIMPLE)
        MoveWindow(C.List, 0, C.FieldHeight, Rc.right - Rc.left,
                   std::max<int>(0, Rc.bottom - C.FieldHeight), TRUE);
}

// Moves the selection of a closed combo (keys on a drop-down list).
void Step(HWND Wnd, TCombo& C, int To) {
    int Count = int(SendMessageW(C.List, LB_GETCOUNT, 0, 0));
    if (Count <= 0) return;
    To = std::clamp(To, 0, Count - 1);
    if (To == Current(C)) return;
    SendMessageW(C.List, LB_SETCURSEL, WPARAM(To), 0);
    if (C.Dropped) return;
    ShowChoice(Wnd, C);
    if (IsWindow(Wnd)) NotifyParent(Wnd, CBN_SELCHANGE);
}

}  // namespace

LRESULT ComboListProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    // A drop-down list never takes the focus or activation from the combo box.
    if (Msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
    return ListBoxProc(Wnd, Msg, W, L);
}

LRESULT ComboBoxProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_NCCREATE) {
        AttachState<TCombo>(Wnd);
        // Scroll bar styles are for the list: the field never shows one.
        LONG_PTR Style = GetWindowLongPtrW(Wnd, GWL_STYLE);
        if (Style & (WS_VSCROLL | WS_HSCROLL))
            SetWindowLongPtrW(Wnd, GWL_STYLE, Style & ~LONG_PTR(WS_VSCROLL | WS_HSCROLL));
        return DefWindowProcW(Wnd, Msg, W, L);
    }
    TCombo* C = ControlState<TCombo>(Wnd);
    if (Msg == WM_NCDESTROY) {
        if (C && C->List && IsWindow(C->List) && Kind(Wnd) != CBS_SIMPLE) DestroyWindow(C->List);
        DetachState<TCombo>(Wnd);
        return DefWindowProcW(Wnd, Msg, W, L);
    }
    if (!C) return DefWindowProcW(Wnd, Msg, W, L);
    if (auto R = PaintMessage(Wnd, Msg, W, [&](HDC Dc) { PaintCombo(Wnd, Dc, *C); })) return *R;
    switch (Msg) {
        case WM_CREATE: {
            auto* Cs = reinterpret_cast<const CREATESTRUCTW*>(L);
            DWORD Style = Cs ? DWORD(Cs->style) : StyleOf(Wnd);
            HDC Dc = GetDC(Wnd);
            HGDIOBJ Old = SelectObject(Dc, DefaultControlFont());
            C->FieldHeight = LineHeight(Dc) + 8;
            SelectObject(Dc, Old);
            ReleaseDC(Wnd, Dc);
            C->DropHeight = Cs ? Cs->cy : 0;
            DWORD K = Style & 3;
            DWORD ListStyle = WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_COMBOBOX;
            if (Style & CBS_SORT) ListStyle |= LBS_SORT;
            if (Style & CBS_OWNERDRAWFIXED) ListStyle |= LBS_OWNERDRAWFIXED;
            if (Style & CBS_OWNERDRAWVARIABLE) ListStyle |= LBS_OWNERDRAWVARIABLE;
            if (Style & CBS_HASSTRINGS) ListStyle |= LBS_HASSTRINGS;
            if (K == CBS_SIMPLE) {
                C->List = CreateWindowExW(
                    0, u"ComboLBox", nullptr, ListStyle | WS_CHILD | WS_VISIBLE, 0, C->FieldHeight,
                    10, 10, Wnd, reinterpret_cast<HMENU>(intptr_t(kListId)), nullptr, Wnd);
            } else {
                C->List =
                    CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, u"ComboLBox", nullptr,
                                    ListStyle | WS_POPUP, 0, 0, 10, 10, Wnd, nullptr, nullptr, Wnd);
            }
            if (!C->List) return -1;
            if (K != CBS_DROPDOWNLIST) {
                DWORD EditStyle = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_NOHIDESEL;
                C->Edit =
                    CreateWindowExW(0, u"Edit", nullptr, EditStyle, 0, 0, 10, 10, Wnd,
                                    reinterpret_cast<HMENU>(intptr_t(kEditId)), nullptr, nullptr);
                if (!C->Edit) return -1;
            }
            // A drop-down combo box is as high as its field; the height asked
            // for is the room of the dropped list.
            if (K != CBS_SIMPLE && Cs)
                SetWindowPos(Wnd, nullptr, 0, 0, Cs->cx, C->FieldHeight,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            Layout(Wnd, *C);
            return 0;
        }
        case WM_SIZE:
            Layout(Wnd, *C);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_SETFONT:
            C->Font = reinterpret_cast<HFONT>(W);
            if (C->Edit) SendMessageW(C->Edit, WM_SETFONT, W, L);
            if (C->List) SendMessageW(C->List, WM_SETFONT, W, L);
            if (L) InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(C->Font);
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSTATIC:
            // The inner controls' colours are the parent's to give.
            return GetParent(Wnd) ? SendMessageW(GetParent(Wnd), Msg, W, L) : 0;
        case WM_SETFOCUS:
            if (C->Edit) {
                SetFocus(C->Edit);
                return 0;
            }
            C->Focused = true;
            InvalidateRect(Wnd, nullptr, TRUE);
            NotifyParent(Wnd, CBN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS: {
            HWND To = reinterpret_cast<HWND>(W);
            if (To && (To == C->Edit || To == Wnd)) return 0;
            Close(Wnd, *C, false);
            if (!IsWindow(Wnd)) return 0;
            C->Focused = false;
            InvalidateRect(Wnd, nullptr, TRUE);
            if (!C->Edit) NotifyParent(Wnd, CBN_KILLFOCUS);
            return 0;
        }
        case WM_COMMAND: {
            HWND From = reinterpret_cast<HWND>(L);
            WORD Code = HIWORD(W);
            if (From && From == C->Edit) {
                switch (Code) {
                    case EN_SETFOCUS:
                        C->Focused = true;
                        NotifyParent(Wnd, CBN_SETFOCUS);
                        break;
                    case EN_KILLFOCUS: {
                        HWND Now = GetFocus();
                        if (Now == Wnd || Now == C->List) break;
                        Close(Wnd, *C, false);
                        C->Focused = false;
                        if (IsWindow(Wnd)) NotifyParent(Wnd, CBN_KILLFOCUS);
                        break;
                    }
                    case EN_UPDATE:
                        if (!C->Echo) NotifyParent(Wnd, CBN_EDITUPDATE);
                        break;
                    case EN_CHANGE:
                        if (!C->Echo) NotifyParent(Wnd, CBN_EDITCHANGE);
                        break;
                    default:
                        break;
                }
                return 0;
            }
            if (From && From == C->List) {
                if (Code == LBN_SELCHANGE && Kind(Wnd) == CBS_SIMPLE) {
                    ShowChoice(Wnd, *C);
                    if (IsWindow(Wnd)) NotifyParent(Wnd, CBN_SELCHANGE);
                } else if (Code == LBN_DBLCLK) {
                    NotifyParent(Wnd, CBN_DBLCLK);
                }
                return 0;
            }
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            POINT P{GET_X_LPARAM(L), GET_Y_LPARAM(L)};
            if (C->Dropped) {
                POINT S = P;
                ClientToScreen(Wnd, &S);
                RECT Lr;
                GetWindowRect(C->List, &Lr);
                if (RectHolds(Lr, S)) {
                    ScreenToClient(C->List, &S);
                    SendMessageW(C->List, LB_SETCURSEL,
                                 WPARAM(LOWORD(SendMessageW(C->List, LB_ITEMFROMPOINT, 0,
                                                            MAKELPARAM(S.x, S.y)))),
                                 0);
                    return 0;
                }
                Close(Wnd, *C, false);  // a press outside the list closes it
                return 0;
            }
            if (Kind(Wnd) == CBS_SIMPLE) return 0;
            RECT B = ButtonRect(Wnd, *C);
            if (RectHolds(B, P) || Kind(Wnd) == CBS_DROPDOWNLIST) {
                if (!C->Edit && GetFocus() != Wnd) SetFocus(Wnd);
                if (!IsWindow(Wnd)) return 0;
                C->Pressed = true;
                Drop(Wnd, *C);
            }
            return 0;
        }
        case WM_MOUSEMOVE:
            if (C->Dropped) {
                POINT S{GET_X_LPARAM(L), GET_Y_LPARAM(L)};
                ClientToScreen(Wnd, &S);
                RECT Lr;
                GetWindowRect(C->List, &Lr);
                if (RectHolds(Lr, S)) {
                    ScreenToClient(C->List, &S);
                    LRESULT Hit = SendMessageW(C->List, LB_ITEMFROMPOINT, 0, MAKELPARAM(S.x, S.y));
                    if (!HIWORD(Hit) && LOWORD(Hit) != Current(*C))
                        SendMessageW(C->List, LB_SETCURSEL, WPARAM(LOWORD(Hit)), 0);
                }
            }
            return 0;
        case WM_LBUTTONUP:
            if (C->Dropped) {
                C->Pressed = false;
                POINT S{GET_X_LPARAM(L), GET_Y_LPARAM(L)};
                ClientToScreen(Wnd, &S);
                RECT Lr;
                GetWindowRect(C->List, &Lr);
                // A release over the list chooses; the release that follows the
                // press on the button leaves the list open.
                if (RectHolds(Lr, S))
                    Close(Wnd, *C, true);
                else
                    InvalidateRect(Wnd, nullptr, TRUE);
            }
            return 0;
        case WM_CAPTURECHANGED:
            if (C->Tracking) {
                C->Tracking = false;
                Close(Wnd, *C, false);
            }
            return 0;
        case WM_MOUSEWHEEL:
            if (!C->Dropped)
                Step(Wnd, *C, Current(*C) + (int16_t(HIWORD(W)) > 0 ? -1 : 1));
            else
                SendMessageW(C->List, Msg, W, L);
            return 0;
        case WM_KEYDOWN: {
            int Cur = Current(*C);
            int Count = int(SendMessageW(C->List, LB_GETCOUNT, 0, 0));
            switch (W) {
                case VK_F4:
                    if (C->Dropped)
                        Close(Wnd, *C, true);
                    else
                        Drop(Wnd, *C);
                    return 0;
                case VK_RETURN:
                    if (C->Dropped) Close(Wnd, *C, true);
                    return 0;
                case VK_ESCAPE:
                    if (C->Dropped) Close(Wnd, *C, false);
                    return 0;
                case VK_UP:
                    Step(Wnd, *C, Cur - 1);
                    return 0;
                case VK_DOWN:
                    Step(Wnd, *C, Cur + 1);
                    return 0;
                case VK_HOME:
                    Step(Wnd, *C, 0);
                    return 0;
                case VK_END:
                    Step(Wnd, *C, Count - 1);
                    return 0;
                default:
                    return 0;
            }
        }
        case WM_SYSKEYDOWN:
            if (W == VK_DOWN || W == VK_UP) {
                if (C->Dropped)
                    Close(Wnd, *C, true);
                else
                    Drop(Wnd, *C);
                return 0;
            }
            return DefWindowProcW(Wnd, Msg, W, L);
        case WM_SETTEXT:
            if (C->Edit) return SendMessageW(C->Edit, Msg, W, L);
            if (L) {
                LRESULT I = SendMessageW(C->List, LB_FINDSTRINGEXACT, WPARAM(-1), L);
                if (I < 0) return CB_ERR;
                SendMessageW(C->List, LB_SETCURSEL, WPARAM(I), 0);
                InvalidateRect(Wnd, nullptr, TRUE);
            }
            return TRUE;
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH: {
            if (C->Edit) return SendMessageW(C->Edit, Msg, W, L);
            std::u16string T = ItemText(*C, Current(*C));
            if (Msg == WM_GETTEXTLENGTH) return LRESULT(T.size());
            auto* Buf = reinterpret_cast<LPWSTR>(L);
            if (!Buf || W == 0) return 0;
            size_t N = std::min(T.size(), size_t(W) - 1);
            std::copy_n(T.data(), N, Buf);
            Buf[N] = 0;
            return LRESULT(N);
        }
        case WM_ENABLE:
            if (C->Edit) EnableWindow(C->Edit, W != 0);
            if (C->List) EnableWindow(C->List, W != 0);
            InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        case CB_ADDSTRING:
            return SendMessageW(C->List, LB_ADDSTRING, W, L);
        case CB_INSERTSTRING:
            return SendMessageW(C->List, LB_INSERTSTRING, W, L);
        case CB_DELETESTRING: {
            LRESULT R = SendMessageW(C->List, LB_DELETESTRING, W, L);
            InvalidateRect(Wnd, nullptr, TRUE);
            return R;
        }
        case CB_RESETCONTENT:
            SendMessageW(C->List, LB_RESETCONTENT, 0, 0);
            InvalidateRect(Wnd, nullptr, TRUE);
            return CB_OKAY;
        case CB_GETCOUNT:
            return SendMessageW(C->List, LB_GETCOUNT, 0, 0);
        case CB_GETCURSEL:
            return Current(*C);
        case CB_SETCURSEL: {
            LRESULT R = SendMessageW(C->List, LB_SETCURSEL, W, 0);
            ShowChoice(Wnd, *C);
            return R;
        }
        case CB_SELECTSTRING: {
            LRESULT I = SendMessageW(C->List, LB_FINDSTRING, W, L);
            if (I >= 0) {
                SendMessageW(C->List, LB_SETCURSEL, WPARAM(I), 0);
                ShowChoice(Wnd, *C);
            }
            return I;
        }
        case CB_FINDSTRING:
            return SendMessageW(C->List, LB_FINDSTRING, W, L);
        case CB_FINDSTRINGEXACT:
            return SendMessageW(C->List, LB_FINDSTRINGEXACT, W, L);
        case CB_GETLBTEXT:
            return SendMessageW(C->List, LB_GETTEXT, W, L);
        case CB_GETLBTEXTLEN:
            return SendMessageW(C->List, LB_GETTEXTLEN, W, L);
        case CB_GETITEMDATA:
            return SendMessageW(C->List, LB_GETITEMDATA, W, L);
        case CB_SETITEMDATA:
            return SendMessageW(C->List, LB_SETITEMDATA, W, L);
        case CB_GETITEMHEIGHT:
            if (intptr_t(W) == -1) return C->FieldHeight;
            return SendMessageW(C->List, LB_GETITEMHEIGHT, W, L);
        case CB_SETITEMHEIGHT:
            if (intptr_t(W) == -1) {
                if (L <= 0 || L > 255) return CB_ERR;
                C->FieldHeight = int(L) + 6;
                Layout(Wnd, *C);
                return 0;
            }
            return SendMessageW(C->List, LB_SETITEMHEIGHT, W, L);
        case CB_SHOWDROPDOWN:
            if (W)
                Drop(Wnd, *C);
            else
                Close(Wnd, *C, false);
            return TRUE;
        case CB_GETDROPPEDSTATE:
            return C->Dropped;
        case CB_GETDROPPEDCONTROLRECT:
            if (!L) return CB_ERR;
            if (C->Dropped)
                GetWindowRect(C->List, reinterpret_cast<RECT*>(L));
            else {
                RECT* R = reinterpret_cast<RECT*>(L);
                GetWindowRect(Wnd, R);
                R->bottom = R->top + std::max(C->DropHeight, C->FieldHeight);
            }
            return TRUE;
        case CB_LIMITTEXT:
            if (!C->Edit) return CB_ERR;
            SendMessageW(C->Edit, EM_LIMITTEXT, W, 0);
            return TRUE;
        case CB_GETEDITSEL:
            return C->Edit ? SendMessageW(C->Edit, EM_GETSEL, W, L) : CB_ERR;
        case CB_SETEDITSEL:
            if (!C->Edit) return CB_ERR;
            SendMessageW(C->Edit, EM_SETSEL, WPARAM(int16_t(LOWORD(uintptr_t(L)))),
                         LPARAM(int16_t(HIWORD(uintptr_t(L)))));
            return TRUE;
        case CB_GETCOMBOBOXINFO: {
            auto* I = reinterpret_cast<COMBOBOXINFO*>(L);
            if (!I) return FALSE;
            I->rcItem = FieldRect(Wnd, *C);
            I->rcButton = ButtonRect(Wnd, *C);
            I->stateButton = Kind(Wnd) == CBS_SIMPLE ? STATE_SYSTEM_INVISIBLE
                                                     : (C->Pressed ? STATE_SYSTEM_PRESSED : 0);
            I->hwndCombo = Wnd;
            I->hwndItem = C->Edit;
            I->hwndList = C->List;
            return TRUE;
        }
        default:
            return DefWindowProcW(Wnd, Msg, W, L);
    }
}

}  // namespace velmo::ui
