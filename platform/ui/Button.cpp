// The "button" class: push, default, check, three-state and radio buttons,
// group boxes and owner-drawn buttons. A press is one BN_CLICKED: a mouse
// press and release inside the button, or space down and up while it has
// the focus; a release outside, a lost capture or a lost focus cancels it.
#include <algorithm>

#include "platform/ui/ControlsInternal.h"

namespace velmo::ui {

namespace {

struct TButton {
    LRESULT Check = BST_UNCHECKED;
    bool Pushed = false;     // drawn pressed
    bool Tracking = false;   // a mouse press in progress
    bool SpaceDown = false;  // a space press in progress
    bool Focused = false;
    HFONT Font = nullptr;
    TControlImage Image;
};

DWORD TypeOf(HWND Wnd) { return StyleOf(Wnd) & BS_TYPEMASK; }

bool IsCheckLike(DWORD T) {
    return T == BS_CHECKBOX || T == BS_AUTOCHECKBOX || T == BS_3STATE || T == BS_AUTO3STATE ||
           T == BS_RADIOBUTTON || T == BS_AUTORADIOBUTTON;
}
bool IsRadio(DWORD T) { return T == BS_RADIOBUTTON || T == BS_AUTORADIOBUTTON; }

void Repaint(HWND Wnd) { InvalidateRect(Wnd, nullptr, TRUE); }

void SetPushed(HWND Wnd, TButton& B, bool Pushed) {
    if (B.Pushed == Pushed) return;
    B.Pushed = Pushed;
    if (StyleOf(Wnd) & BS_NOTIFY) NotifyParent(Wnd, Pushed ? BN_HILITE : BN_UNHILITE);
    Repaint(Wnd);
}

// The radio buttons of Wnd's group: from the WS_GROUP sibling at or before
// it up to the next WS_GROUP sibling.
std::vector<HWND> RadioGroup(HWND Wnd) {
    std::vector<HWND> Group;
    HWND Parent = GetParent(Wnd);
    if (!Parent) return Group;
    std::vector<HWND> All;
    for (HWND H = GetWindow(Parent, GW_CHILD); H && All.size() < 100000;
         H = GetWindow(H, GW_HWNDNEXT))
        All.push_back(H);
    auto It = std::find(All.begin(), All.end(), Wnd);
    if (It == All.end()) return Group;
    size_t Start = size_t(It - All.begin());
    while (Start > 0 && !(StyleOf(All[Start]) & WS_GROUP)) --Start;
    for (size_t I = Start; I < All.size(); ++I) {
        if (I > Start && (StyleOf(All[I]) & WS_GROUP)) break;
        Group.push_back(All[I]);
    }
    return Group;
}

void Click(HWND Wnd) {
    TButton* B = ControlState<TButton>(Wnd);
    if (!B) return;
    switch (TypeOf(Wnd)) {
        case BS_AUTOCHECKBOX:
            SendMessageW(Wnd, BM_SETCHECK, B->Check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED,
                         0);
            break;
        case BS_AUTO3STATE:
            SendMessageW(Wnd, BM_SETCHECK, WPARAM((B->Check + 1) % 3), 0);
            break;
        case BS_AUTORADIOBUTTON:
            for (HWND H : RadioGroup(Wnd))
                if (H != Wnd && GetClassNameString(H) == u"Button" &&
                    TypeOf(H) == BS_AUTORADIOBUTTON)
                    SendMessageW(H, BM_SETCHECK, BST_UNCHECKED, 0);
            SendMessageW(Wnd, BM_SETCHECK, BST_CHECKED, 0);
            break;
        default:
            break;
    }
    if (IsWindow(Wnd)) NotifyParent(Wnd, BN_CLICKED);
}

UINT ColorMessageOf(DWORD Type) {
    return (Type == BS_PUSHBUTTON || Type == BS_DEFPUSHBUTTON || Type == BS_OWNERDRAW ||
            Type == BS_PUSHBOX)
               ? WM_CTLCOLORBTN
               : WM_CTLCOLORSTATIC;
}

void PaintButton(HWND Wnd, HDC Dc, TButton& B) {
    DWORD Style = StyleOf(Wnd);
    DWORD Type = Style & BS_TYPEMASK;
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    bool Enabled = IsWindowEnabled(Wnd);
    if (Type == BS_OWNERDRAW) {
        DRAWITEMSTRUCT D;
        D.CtlType = ODT_BUTTON;
        D.CtlID = UINT(GetDlgCtrlID(Wnd));
        D.itemAction = ODA_DRAWENTIRE;
        D.itemState = (B.Pushed ? ODS_SELECTED : 0) | (B.Focused ? ODS_FOCUS : 0) |
                      (Enabled ? 0 : ODS_DISABLED);
        D.hwndItem = Wnd;
        D.hDC = Dc;
        D.rcItem = Rc;
        ControlBrush(Wnd, Dc, WM_CTLCOLORBTN);
        SendMessageW(GetParent(Wnd), WM_DRAWITEM, WPARAM(D.CtlID), reinterpret_cast<LPARAM>(&D));
        return;
    }
    HBRUSH Brush = ControlBrush(Wnd, Dc, ColorMessageOf(Type));
    HGDIOBJ OldFont = SelectObject(Dc, B.Font ? B.Font : DefaultControlFont());
    std::u16string Text = GetWindowTextString(Wnd);
    int OldMode = SetBkMode(Dc, TRANSPARENT);
    UINT Prefix = 0;
    if (Type == BS_GROUPBOX) {
        FillRect(Dc, &Rc, Brush);
        int H = LineHeight(Dc);
        RECT Frame = Rc;
        Frame.top += H / 2;
        DrawEdge(Dc, &Frame, EDGE_ETCHED, BF_RECT);
        if (!Text.empty()) {
            RECT T{Rc.left + 8, Rc.top, Rc.right - 8, Rc.top + H};
            RECT M = T;
            DrawTextW(Dc, Text.c_str(), int(Text.size()), &M, DT_SINGLELINE | DT_CALCRECT | Prefix);
            T.right = std::min(T.right, M.right + 2);
            T.left -= 2;
            FillRect(Dc, &T, Brush);
            T.left += 2;
            DrawTextW(Dc, Text.c_str(), int(Text.size()), &T,
                      DT_SINGLELINE | DT_LEFT | DT_TOP | Prefix);
        }
    } else if (IsCheckLike(Type) && !(Style & BS_PUSHLIKE)) {
        FillRect(Dc, &Rc, Brush);
        const int Box = 13;
        int Top = Rc.top + (Rc.bottom - Rc.top - Box) / 2;
        bool LeftText = Style & BS_LEFTTEXT;
        RECT Mark = LeftText ? RECT{Rc.right - Box, Top, Rc.right, Top + Box}
                             : RECT{Rc.left, Top, Rc.left + Box, Top + Box};
        RECT Inner = Mark;
        DrawEdge(Dc, &Inner, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
        FillRect(Dc, &Inner, GetSysColorBrush(B.Pushed || !Enabled ? COLOR_BTNFACE : COLOR_WINDOW));
        if (B.Check != BST_UNCHECKED) {
            RECT Dot = Inner;
            int In = IsRadio(Type) ? 3 : 2;
            Dot.left += In, Dot.top += In, Dot.right -= In, Dot.bottom -= In;
            FillRect(Dc, &Dot,
                     GetSysColorBrush(B.Check == BST_INDETERMINATE || !Enabled ? COLOR_GRAYTEXT
                                                                               : COLOR_WINDOWTEXT));
        }
        RECT T = Rc;
        if (LeftText)
            T.right = Mark.left - 3;
        else
            T.left = Mark.right + 3;
        RECT M = T;
        DrawTextW(Dc, Text.c_str(), int(Text.size()), &M, DT_SINGLELINE | DT_CALCRECT | Prefix);
        DrawTextW(Dc, Text.c_str(), int(Text.size()), &T,
                  DT_SINGLELINE | DT_VCENTER | (LeftText ? DT_RIGHT : DT_LEFT) | Prefix);
        if (B.Focused && !Text.empty()) {
            int H = M.bottom - M.top;
            RECT F{T.left - 1, T.top + (T.bottom - T.top - H) / 2 - 1,
                   T.left + (M.right - M.left) + 1, T.top + (T.bottom - T.top - H) / 2 + H + 1};
            DrawFocusRect(Dc, &F);
        }
    } else {
        bool Down = B.Pushed || (IsCheckLike(Type) && B.Check == BST_CHECKED);
        FillRect(Dc, &Rc, Brush);
        RECT Face = Rc;
        if (Type == BS_DEFPUSHBUTTON) {
            FrameRect(Dc, &Face, GetSysColorBrush(COLOR_WINDOWFRAME));
            Face.left += 1, Face.top += 1, Face.right -= 1, Face.bottom -= 1;
        }
        DrawEdge(Dc, &Face, Down ? EDGE_SUNKEN : EDGE_RAISED,
                 BF_RECT | BF_ADJUST | (Style & BS_FLAT ? BF_FLAT : 0));
        // The parent's brush is for what lies around the face.
        FillRect(Dc, &Face, GetSysColorBrush(COLOR_BTNFACE));
        RECT T = Face;
        if (Down) MoveRect(T, 1, 1);
        DWORD H = Style & BS_CENTER, V = Style & BS_VCENTER;
        UINT Format = Prefix | (H == BS_LEFT ? DT_LEFT : H == BS_RIGHT ? DT_RIGHT : DT_CENTER);
        if ((Style & (BS_ICON | BS_BITMAP)) && B.Image.Handle) {
            // An image button shows its image in place of the caption,
            // placed by the same alignment styles.
            SIZE Sz = ControlImageSize(B.Image);
            int X = H == BS_LEFT ? T.left + 2 : H == BS_RIGHT ? T.right - 2 - Sz.cx : (T.left + T.right - Sz.cx) / 2;
            int Y = V == BS_TOP ? T.top + 2 : V == BS_BOTTOM ? T.bottom - 2 - Sz.cy : (T.top + T.bottom - Sz.cy) / 2;
            DrawControlImage(Dc, B.Image, X, Y);
        } else if (Style & BS_MULTILINE) {
            // Several lines are placed as a block.
            RECT M = T;
            DrawTextW(Dc, Text.c_str(), int(Text.size()), &M, Format | DT_WORDBREAK | DT_CALCRECT);
            int Room = (T.bottom - T.top) - (M.bottom - M.top);
            if (V == BS_BOTTOM)
                T.top += Room;
            else if (V != BS_TOP)
                T.top += Room / 2;
            DrawTextW(Dc, Text.c_str(), int(Text.size()), &T, Format | DT_WORDBREAK);
        } else {
            Format |= DT_SINGLELINE | (V == BS_TOP      ? DT_TOP
                                       : V == BS_BOTTOM ? DT_BOTTOM
                                                        : DT_VCENTER);
            DrawTextW(Dc, Text.c_str(), int(Text.size()), &T, Format);
        }
        if (B.Focused) {
            RECT F = Face;
            F.left += 2, F.top += 2, F.right -= 2, F.bottom -= 2;
            DrawFocusRect(Dc, &F);
        }
    }
    SetBkMode(Dc, OldMode);
    SelectObject(Dc, OldFont);
}

}  // namespace

LRESULT ButtonProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_NCCREATE) {
        AttachState<TButton>(Wnd);
        return DefWindowProcW(Wnd, Msg, W, L);
    }
    TButton* B = ControlState<TButton>(Wnd);
    if (Msg == WM_NCDESTROY) {
        DetachState<TButton>(Wnd);
        return DefWindowProcW(Wnd, Msg, W, L);
    }
    if (!B) return DefWindowProcW(Wnd, Msg, W, L);
    DWORD Type = TypeOf(Wnd);
    switch (Msg) {
        case WM_NCHITTEST:
            if (Type == BS_GROUPBOX) return HTTRANSPARENT;
            return DefWindowProcW(Wnd, Msg, W, L);
        case WM_GETDLGCODE:
            switch (Type) {
                case BS_DEFPUSHBUTTON:
                    return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
                case BS_PUSHBUTTON:
                case BS_PUSHBOX:
                case BS_OWNERDRAW:
                    return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
                case BS_RADIOBUTTON:
                case BS_AUTORADIOBUTTON:
                    return DLGC_BUTTON | DLGC_RADIOBUTTON;
                case BS_GROUPBOX:
                    return DLGC_STATIC;
                default:
                    return DLGC_BUTTON;
            }
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            TPaintScope P(Wnd, W);
            if (IsWindowVisible(Wnd) || W) PaintButton(Wnd, P.Dc(), *B);
            return 0;
        }
        case WM_PRINTCLIENT:
            if (W) PaintButton(Wnd, reinterpret_cast<HDC>(W), *B);
            return 0;
        case WM_SETFONT:
            B->Font = reinterpret_cast<HFONT>(W);
            if (L) Repaint(Wnd);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(B->Font);
        case WM_SETTEXT: {
            LRESULT R = DefWindowProcW(Wnd, Msg, W, L);
            Repaint(Wnd);
            return R;
        }
        case WM_ENABLE:
            Repaint(Wnd);
            return 0;
        case WM_SETFOCUS:
            B->Focused = true;
            Repaint(Wnd);
            if (StyleOf(Wnd) & BS_NOTIFY) NotifyParent(Wnd, BN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            B->Focused = false;
            if (B->Tracking && GetCapture() == Wnd) ReleaseCapture();
            if (!(B = ControlState<TButton>(Wnd))) return 0;
            if (B->SpaceDown) {
                B->SpaceDown = false;
                SetPushed(Wnd, *B, false);  // may notify: B is not used after this
            }
            Repaint(Wnd);
            if (StyleOf(Wnd) & BS_NOTIFY) NotifyParent(Wnd, BN_KILLFOCUS);
            return 0;
        case WM_LBUTTONDBLCLK:
            if (Type == BS_RADIOBUTTON || Type == BS_AUTORADIOBUTTON || Type == BS_OWNERDRAW ||
                (StyleOf(Wnd) & BS_NOTIFY)) {
                NotifyParent(Wnd, BN_DOUBLECLICKED);
                return 0;
            }
            [[fallthrough]];
        case WM_LBUTTONDOWN:
            if (Type == BS_GROUPBOX) return 0;
            if (GetFocus() != Wnd) SetFocus(Wnd);
            if (!IsWindow(Wnd) || !(B = ControlState<TButton>(Wnd))) return 0;
            SetCapture(Wnd);
            B->Tracking = true;
            SetPushed(Wnd, *B, true);
            return 0;
        case WM_MOUSEMOVE:
            if (B->Tracking) {
                RECT Rc;
                GetClientRect(Wnd, &Rc);
                POINT P{GET_X_LPARAM(L), GET_Y_LPARAM(L)};
                SetPushed(Wnd, *B, RectHolds(Rc, P));
            }
            return 0;
        case WM_LBUTTONUP: {
            // Only a press this button saw ends in a click: a subclass that
            // took the press does its own clicking.
            if (!B->Tracking) return 0;
            RECT Rc;
            GetClientRect(Wnd, &Rc);
            POINT P{GET_X_LPARAM(L), GET_Y_LPARAM(L)};
            bool Inside = RectHolds(Rc, P);
            B->Tracking = false;
            SetPushed(Wnd, *B, false);
            if (GetCapture() == Wnd) ReleaseCapture();
            if (Inside && IsWindow(Wnd)) Click(Wnd);
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (B->Tracking) {
                B->Tracking = false;
                SetPushed(Wnd, *B, false);
            }
            return 0;
        case WM_KEYDOWN:
            if (W == VK_SPACE && Type != BS_GROUPBOX) {
                // Auto-repeat presses count once.
                if (!B->SpaceDown) {
                    B->SpaceDown = true;
                    SetPushed(Wnd, *B, true);
                }
                return 0;
            }
            return DefWindowProcW(Wnd, Msg, W, L);
        case WM_KEYUP:
            if (W == VK_SPACE) {
                if (!B->SpaceDown) return 0;
                B->SpaceDown = false;
                bool WasPushed = B->Pushed;
                SetPushed(Wnd, *B, false);
                if (WasPushed) Click(Wnd);
                return 0;
            }
            return DefWindowProcW(Wnd, Msg, W, L);
        case WM_CHAR:
            if (W == u' ') return 0;
            return DefWindowProcW(Wnd, Msg, W, L);
        case BM_GETCHECK:
            return IsCheckLike(Type) ? B->Check : BST_UNCHECKED;
        case BM_SETCHECK: {
            LRESULT V = LRESULT(W);
            if (V == BST_INDETERMINATE && !(Type == BS_3STATE || Type == BS_AUTO3STATE))
                V = BST_CHECKED;
            if (V != BST_UNCHECKED && V != BST_CHECKED && V != BST_INDETERMINATE) V = BST_UNCHECKED;
            if (!IsCheckLike(Type)) return 0;
            if (B->Check != V) {
                B->Check = V;
                Repaint(Wnd);
            }
            // A checked radio button is the one its group is reached by Tab.
            if (IsRadio(Type)) {
                LONG_PTR S = GetWindowLongPtrW(Wnd, GWL_STYLE);
                LONG_PTR N = V == BST_CHECKED ? (S | WS_TABSTOP) : (S & ~LONG_PTR(WS_TABSTOP));
                if (N != S) SetWindowLongPtrW(Wnd, GWL_STYLE, N);
            }
            return 0;
        }
        case BM_GETSTATE:
            return (IsCheckLike(Type) ? B->Check : 0) | (B->Pushed ? BST_PUSHED : 0) |
                   (B->Focused ? BST_FOCUS : 0);
        case BM_SETSTATE:
            SetPushed(Wnd, *B, W != 0);
            return 0;
        case BM_SETSTYLE: {
            LONG_PTR S = GetWindowLongPtrW(Wnd, GWL_STYLE);
            S = (S & ~LONG_PTR(0xFFFF)) | LONG_PTR(W & 0xFFFF);
            SetWindowLongPtrW(Wnd, GWL_STYLE, S);
            if (L) Repaint(Wnd);
            return 0;
        }
        case BM_CLICK:
            if (IsWindowEnabled(Wnd)) Click(Wnd);
            return 0;
        case BM_GETIMAGE:
            return B->Image.Type == UINT(W) ? reinterpret_cast<LRESULT>(B->Image.Handle) : 0;
        case BM_SETIMAGE: {
            if (W != IMAGE_BITMAP && W != IMAGE_ICON) return 0;
            HANDLE Old = B->Image.Handle;
            B->Image = {reinterpret_cast<HANDLE>(L), UINT(W)};
            Repaint(Wnd);
            return reinterpret_cast<LRESULT>(Old);
        }
        default:
            return DefWindowProcW(Wnd, Msg, W, L);
    }
}

}  // namespace velmo::ui
