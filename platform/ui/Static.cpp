// The "static" class: text, filled and framed rectangles, etched lines and
// images. Transparent to the mouse unless SS_NOTIFY.
#include "platform/ui/ControlsInternal.h"

namespace velmo::ui {

namespace {

struct TStatic {
    HFONT Font = nullptr;
    TControlImage Image;
};

void PaintStatic(HWND Wnd, HDC Dc, TStatic& S) {
    DWORD Style = StyleOf(Wnd);
    DWORD Type = Style & SS_TYPEMASK;
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    if (Type == SS_OWNERDRAW) {
        DRAWITEMSTRUCT D;
        D.CtlType = ODT_STATIC;
        D.CtlID = UINT(GetDlgCtrlID(Wnd));
        D.itemAction = ODA_DRAWENTIRE;
        D.itemState = IsWindowEnabled(Wnd) ? 0 : ODS_DISABLED;
        D.hwndItem = Wnd;
        D.hDC = Dc;
        D.rcItem = Rc;
        SendMessageW(GetParent(Wnd), WM_DRAWITEM, WPARAM(D.CtlID), reinterpret_cast<LPARAM>(&D));
        return;
    }
    HBRUSH Brush = ControlBrush(Wnd, Dc, WM_CTLCOLORSTATIC);
    switch (Type) {
        case SS_BLACKRECT:
            FillRect(Dc, &Rc, GetSysColorBrush(COLOR_WINDOWFRAME));
            return;
        case SS_GRAYRECT:
            FillRect(Dc, &Rc, GetSysColorBrush(COLOR_BTNSHADOW));
            return;
        case SS_WHITERECT:
            FillRect(Dc, &Rc, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
            return;
        case SS_BLACKFRAME:
            FrameRect(Dc, &Rc, GetSysColorBrush(COLOR_WINDOWFRAME));
            return;
        case SS_GRAYFRAME:
            FrameRect(Dc, &Rc, GetSysColorBrush(COLOR_BTNSHADOW));
            return;
        case SS_WHITEFRAME:
            FrameRect(Dc, &Rc, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
            return;
        case SS_ETCHEDHORZ: {
            RECT R = Rc;
            DrawEdge(Dc, &R, EDGE_ETCHED, BF_TOP);
            return;
        }
        case SS_ETCHEDVERT: {
            RECT R = Rc;
            DrawEdge(Dc, &R, EDGE_ETCHED, BF_LEFT);
            return;
        }
        case SS_ETCHEDFRAME: {
            RECT R = Rc;
            DrawEdge(Dc, &R, EDGE_ETCHED, BF_RECT);
            return;
        }
        default:
            break;
    }
    FillRect(Dc, &Rc, Brush);
    if (Type == SS_ICON || Type == SS_BITMAP) {
        // At the top left, or centred with SS_CENTERIMAGE.
        SIZE Sz = ControlImageSize(S.Image);
        int X = Rc.left, Y = Rc.top;
        if (Style & SS_CENTERIMAGE) X = (Rc.right - Sz.cx) / 2, Y = (Rc.bottom - Sz.cy) / 2;
        DrawControlImage(Dc, S.Image, X, Y);
        return;
    }
    std::u16string Text = GetWindowTextString(Wnd);
    HGDIOBJ OldFont = SelectObject(Dc, S.Font ? S.Font : DefaultControlFont());
    int OldMode = SetBkMode(Dc, TRANSPARENT);
    UINT Format = Type == SS_CENTER ? DT_CENTER : Type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
    if (Type == SS_SIMPLE || Type == SS_LEFTNOWORDWRAP)
        Format |= DT_SINGLELINE;
    else
        Format |= DT_WORDBREAK | DT_EXPANDTABS;
    if (Style & SS_NOPREFIX) Format |= DT_NOPREFIX;
    if (Style & SS_ENDELLIPSIS) Format |= DT_END_ELLIPSIS;
    if (Style & SS_CENTERIMAGE) Format = (Format & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
    DrawTextW(Dc, Text.c_str(), int(Text.size()), &Rc, Format);
    SetBkMode(Dc, OldMode);
    SelectObject(Dc, OldFont);
}

}  // namespace

LRESULT StaticProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_NCCREATE) {
        AttachState<TStatic>(Wnd);
        return DefWindowProcW(Wnd, Msg, W, L);
    }
    TStatic* S = ControlState<TStatic>(Wnd);
    if (Msg == WM_NCDESTROY) {
        DetachState<TStatic>(Wnd);
        return DefWindowProcW(Wnd, Msg, W, L);
    }
    if (!S) return DefWindowProcW(Wnd, Msg, W, L);
    if (auto R = PaintMessage(Wnd, Msg, W, [&](HDC Dc) { PaintStatic(Wnd, Dc, *S); })) return *R;
    switch (Msg) {
        case WM_NCHITTEST:
            return (StyleOf(Wnd) & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        case WM_SETFONT:
            S->Font = reinterpret_cast<HFONT>(W);
            if (L) InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(S->Font);
        case WM_SETTEXT: {
            LRESULT R = DefWindowProcW(Wnd, Msg, W, L);
            InvalidateRect(Wnd, nullptr, TRUE);
            return R;
        }
        case WM_ENABLE:
            InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        case WM_LBUTTONDOWN:
            if (StyleOf(Wnd) & SS_NOTIFY) NotifyParent(Wnd, STN_CLICKED);
            return 0;
        case WM_LBUTTONDBLCLK:
            if (StyleOf(Wnd) & SS_NOTIFY) NotifyParent(Wnd, STN_DBLCLK);
            return 0;
        case WM_CREATE: {
            // An icon static made with "#number" as its text shows that
            // predefined icon, as item tables name them.
            auto* Cs = reinterpret_cast<const CREATESTRUCTW*>(L);
            if ((StyleOf(Wnd) & SS_TYPEMASK) == SS_ICON && Cs && Cs->lpszName && !IS_INTRESOURCE(Cs->lpszName) &&
                Cs->lpszName[0] == u'#') {
                unsigned Id = 0;
                int Digits = 0;
                for (const char16_t* P = Cs->lpszName + 1; *P >= u'0' && *P <= u'9' && Digits < 6; ++P, ++Digits)
                    Id = Id * 10 + unsigned(*P - u'0');
                if (Digits > 0 && Id <= 0xFFFF)
                    if (HICON Icon = LoadIconW(nullptr, MAKEINTRESOURCEW(WORD(Id))))
                        S->Image = {Icon, IMAGE_ICON};
            }
            return 0;
        }
        case STM_SETICON:
        case STM_SETIMAGE: {
            if (Msg == STM_SETIMAGE && W != IMAGE_BITMAP && W != IMAGE_ICON) return 0;
            HANDLE Old = S->Image.Handle;
            S->Image = Msg == STM_SETICON ? TControlImage{reinterpret_cast<HANDLE>(W), IMAGE_ICON}
                                          : TControlImage{reinterpret_cast<HANDLE>(L), UINT(W)};
            InvalidateRect(Wnd, nullptr, TRUE);
            return reinterpret_cast<LRESULT>(Old);
        }
        case STM_GETICON:
            return S->Image.Type == IMAGE_ICON ? reinterpret_cast<LRESULT>(S->Image.Handle) : 0;
        case STM_GETIMAGE:
            return S->Image.Type == UINT(W) ? reinterpret_cast<LRESULT>(S->Image.Handle) : 0;
        default:
            return DefWindowProcW(Wnd, Msg, W, L);
    }
}

}  // namespace velmo::ui
