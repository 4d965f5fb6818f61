// The tab control: items, layout of the tab strip on any side, the display
// area inside the frame, selection by mouse and keyboard with a veto, and
// a plain look.
#include "platform/ui/TabControl.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "platform/fonts/DCText.h"
#include "platform/ui/ControlsInternal.h"
#include "platform/ui/WindowInternal.h"

namespace velmo {

using namespace ui;

namespace {

// Room left around the strip so the raised selected tab fits.
constexpr int kMargin = 2;
// What the frame and its padding take on each side of the display area.
constexpr int kFrameInset = 4;
constexpr int kImageSize = 16;
constexpr int kMaxItems = 10000;
constexpr int kMaxText = 4096;

struct TItem {
    std::u16string Text;
    int Image = -1;
    LPARAM Param = 0;
    DWORD State = 0;
    RECT Rect;
};

struct TTab {
    std::vector<TItem> Items;
    int Sel = -1;
    int Focus = -1;
    HFONT Font = nullptr;
    HANDLE ImageList = nullptr;
    int FixedWidth = 0;
    int FixedHeight = 0;
    int PadX = 6;
    int PadY = 3;
    int MinWidth = -1;  // -1: the default minimum
    int Rows = 0;
    int Strip = 0;  // thickness of the strip across its side
    // A single line of tabs too long for its side scrolls: First is the
    // tab at the start, and two arrows at the end of the strip move it.
    bool Overflow = false;
    int First = 0;
    int MaxFirst = 0;
    RECT Arrows{};  // both arrows; the left half scrolls back
};

std::map<HWND, std::unique_ptr<TTab>>& Tabs() {
    static auto* M = new std::map<HWND, std::unique_ptr<TTab>>;
    return *M;
}

TTab* TabOf(HWND Wnd) {
    if (!Find(Wnd)) return nullptr;
    auto& P = Tabs()[Wnd];
    if (!P) P = std::make_unique<TTab>();
    return P.get();
}

enum class TSide { Top, Bottom, Left, Right };

TSide SideOf(DWORD Style) {
    bool Bottom = Style & TCS_BOTTOM, Vertical = Style & TCS_VERTICAL;
    if (Vertical) return Bottom ? TSide::Right : TSide::Left;
    return Bottom ? TSide::Bottom : TSide::Top;
}

// Places every tab; tabs run along their side and wrap into rows when the
// control is multi-line (vertical strips always are).
void Layout(HWND Wnd, TTab& T) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    int Cw = W->Client.right - W->Client.left, Ch = W->Client.bottom - W->Client.top;
    TSide Side = SideOf(W->Style);
    bool Across = Side == TSide::Left || Side == TSide::Right;
    HDC Dc = CreateCompatibleDC(nullptr);
    HGDIOBJ Old = Dc ? SelectObject(Dc, T.Font ? T.Font : DefaultControlFont()) : nullptr;
    int Height = T.FixedHeight;
    if (Height <= 0) {
        TEXTMETRICW Tm;
        int Text = (Dc && GetTextMetricsW(Dc, &Tm) && Tm.tmHeight > 0) ? Tm.tmHeight : 13;
        if (T.ImageList) Text = std::max(Text, kImageSize);
        Height = Text + 2 * T.PadY;
    }
    int MinWidth = T.MinWidth >= 0 ? T.MinWidth : 2 * T.PadX + 12;
    int Avail = (Across ? Ch : Cw) - 2 * kMargin;
    bool Wrap = (W->Style & TCS_MULTILINE) || Across;
    int Pos = 0, Row = 0;
    std::vector<std::pair<int, int>> Places;  // row, start along the strip
    std::vector<int> Lengths;
    for (TItem& It : T.Items) {
        int Len;
        if ((W->Style & TCS_FIXEDWIDTH) && T.FixedWidth > 0) {
            Len = T.FixedWidth;
        } else {
            SIZE Sz;
            if (!Dc || !GetTextExtentPoint32W(Dc, It.Text.data(), int(It.Text.size()), &Sz)) Sz.cx = 0;
            Len = Sz.cx + 2 * T.PadX;
            if (T.ImageList && It.Image >= 0) Len += kImageSize + T.PadX;
        }
        Len = std::max(Len, MinWidth);
        if (Wrap && Pos > 0 && Pos + Len > Avail) {
            ++Row;
            Pos = 0;
        }
        Places.push_back({Row, Pos});
        Lengths.push_back(Len);
        Pos += Len;
    }
    if (Dc) {
        if (Old) SelectObject(Dc, Old);
        DeleteDC(Dc);
    }
    T.Rows = T.Items.empty() ? 0 : Row + 1;
    T.Strip = T.Items.empty() ? 0 : kMargin + T.Rows * Height;
    T.Overflow = !Wrap && !T.Items.empty() && Pos > Avail;
    int Shift = 0;
    if (T.Overflow) {
        // The arrows take a square each at the far end of the strip.
        const int Arrow = Height;
        int Room = std::max(1, Avail - 2 * Arrow);
        int Last = int(T.Items.size()) - 1;
        T.MaxFirst = Last;
        while (T.MaxFirst > 0 && Pos - Places[size_t(T.MaxFirst - 1)].second <= Room) --T.MaxFirst;
        T.First = std::clamp(T.First, 0, T.MaxFirst);
        Shift = Places[size_t(T.First)].second;
        int Y = Side == TSide::Bottom ? Ch - kMargin - Height : kMargin;
        T.Arrows = {Cw - kMargin - 2 * Arrow, Y, Cw - kMargin, Y + Height};
    } else {
        T.First = T.MaxFirst = 0;
        T.Arrows = {};
    }
    for (size_t I = 0; I < T.Items.size(); ++I) {
        auto [R, Start] = Places[I];
        int A = kMargin + Start - Shift, B = A + Lengths[I];
        RECT& Rc = T.Items[I].Rect;
        switch (Side) {
        case TSide::Top: Rc = {A, kMargin + R * Height, B, kMargin + (R + 1) * Height}; break;
        case TSide::Bottom: Rc = {A, Ch - kMargin - (R + 1) * Height, B, Ch - kMargin - R * Height}; break;
        case TSide::Left: Rc = {kMargin + R * Height, A, kMargin + (R + 1) * Height, B}; break;
        case TSide::Right: Rc = {Cw - kMargin - (R + 1) * Height, A, Cw - kMargin - R * Height, B}; break;
        }
    }
}

TTab* LaidOut(HWND Wnd) {
    TTab* T = TabOf(Wnd);
    if (T) Layout(Wnd, *T);
    return T;
}

// The frame around the display area: the client rectangle less the strip.
RECT DisplayFrame(HWND Wnd, const TTab& T, RECT R) {
    TWindow* W = Find(Wnd);
    if (!W) return R;
    switch (SideOf(W->Style)) {
    case TSide::Top: R.top += T.Strip; break;
    case TSide::Bottom: R.bottom -= T.Strip; break;
    case TSide::Left: R.left += T.Strip; break;
    case TSide::Right: R.right -= T.Strip; break;
    }
    return R;
}

// Window rectangle <-> display rectangle. Without items only the frame
// is taken off (or added).
void AdjustRect(HWND Wnd, TTab& T, BOOL Larger, RECT* R) {
    if (!R) return;
    TWindow* W = Find(Wnd);
    if (!W) return;
    int S = Larger ? -1 : 1;
    R->left += S * kFrameInset;
    R->top += S * kFrameInset;
    R->right -= S * kFrameInset;
    R->bottom -= S * kFrameInset;
    switch (SideOf(W->Style)) {
    case TSide::Top: R->top += S * T.Strip; break;
    case TSide::Bottom: R->bottom -= S * T.Strip; break;
    case TSide::Left: R->left += S * T.Strip; break;
    case TSide::Right: R->right -= S * T.Strip; break;
    }
}

bool InArrows(const TTab& T, POINT P) {
    return T.Overflow && P.x >= T.Arrows.left && P.x < T.Arrows.right && P.y >= T.Arrows.top && P.y < T.Arrows.bottom;
}

int HitTestItem(const TTab& T, POINT P) {
    if (InArrows(T, P) || (T.Overflow && P.x < kMargin)) return -1;
    for (size_t I = 0; I < T.Items.size(); ++I) {
        const RECT& R = T.Items[I].Rect;
        if (P.x >= R.left && P.x < R.right && P.y >= R.top && P.y < R.bottom) return int(I);
    }
    return -1;
}

LRESULT Notify(HWND Wnd, UINT Code) {
    HWND Parent = GetParent(Wnd);
    if (!Parent) return 0;
    NMHDR N;
    N.hwndFrom = Wnd;
    N.idFrom = UINT_PTR(GetDlgCtrlID(Wnd));
    N.code = Code;
    return SendMessageW(Parent, WM_NOTIFY, WPARAM(N.idFrom), LPARAM(&N));
}

// Scrolls a long single line of tabs so tab I shows whole, if it can.
void Reveal(HWND Wnd, TTab& T, int I) {
    Layout(Wnd, T);
    if (!T.Overflow || I < 0 || I >= int(T.Items.size())) return;
    if (I < T.First) {
        T.First = I;
    } else {
        for (int K = 0; K < int(T.Items.size()) && T.First < T.MaxFirst && T.Items[size_t(I)].Rect.right > T.Arrows.left;
             ++K) {
            ++T.First;
            Layout(Wnd, T);
        }
    }
    Layout(Wnd, T);
    InvalidateRect(Wnd, nullptr, TRUE);
}

// A selection the user makes: the parent may refuse it.
void SelectByUser(HWND Wnd, int Index) {
    TTab* T = TabOf(Wnd);
    if (!T || Index < 0 || Index >= int(T->Items.size()) || Index == T->Sel) return;
    if (Notify(Wnd, TCN_SELCHANGING) != 0) return;
    if (!(T = TabOf(Wnd)) || Index >= int(T->Items.size())) return;
    T->Sel = T->Focus = Index;
    Reveal(Wnd, *T, Index);
    InvalidateRect(Wnd, nullptr, TRUE);
    Notify(Wnd, TCN_SELCHANGE);
}

void FillSys(HDC Dc, RECT R, int Color) {
    if (R.right > R.left && R.bottom > R.top) FillRect(Dc, &R, GetSysColorBrush(Color));
}

void Paint(HWND Wnd, HDC Dc) {
    TTab* T = LaidOut(Wnd);
    TWindow* W = Find(Wnd);
    if (!T || !W) return;
    RECT Client;
    GetClientRect(Wnd, &Client);
    FillSys(Dc, Client, COLOR_BTNFACE);
    bool Buttons = W->Style & TCS_BUTTONS;
    TSide Side = SideOf(W->Style);
    if (!Buttons) {
        RECT Frame = DisplayFrame(Wnd, *T, Client);
        DrawEdge(Dc, &Frame, EDGE_RAISED, BF_RECT);
    }
    // Without WM_SETFONT the labels are in the controls' message font.
    HGDIOBJ OldFont = SelectObject(Dc, T->Font ? T->Font : DefaultControlFont());
    SetBkMode(Dc, TRANSPARENT);
    bool Enabled = !(W->Style & WS_DISABLED);
    SetTextColor(Dc, GetSysColor(Enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    // The selected tab last, raised over its neighbours and joined to the frame.
    std::vector<int> Order;
    for (int I = 0; I < int(T->Items.size()); ++I)
        if (I != T->Sel) Order.push_back(I);
    if (T->Sel >= 0 && T->Sel < int(T->Items.size())) Order.push_back(T->Sel);
    for (int I : Order) {
        const TItem& It = T->Items[I];
        RECT R = It.Rect;
        bool Sel = I == T->Sel;
        UINT Edges = BF_RECT;
        if (Buttons) {
            FillSys(Dc, R, COLOR_BTNFACE);
            RECT E = R;
            DrawEdge(Dc, &E, Sel ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
        } else {
            if (Sel) {
                R.left -= kMargin, R.right += kMargin, R.top -= kMargin, R.bottom += kMargin;
            }
            switch (Side) {
            case TSide::Top: Edges = BF_LEFT | BF_TOP | BF_RIGHT; if (Sel) R.bottom += 1; break;
            case TSide::Bottom: Edges = BF_LEFT | BF_BOTTOM | BF_RIGHT; if (Sel) R.top -= 1; break;
            case TSide::Left: Edges = BF_LEFT | BF_TOP | BF_BOTTOM; if (Sel) R.right += 1; break;
            case TSide::Right: Edges = BF_RIGHT | BF_TOP | BF_BOTTOM; if (Sel) R.left -= 1; break;
            }
            FillSys(Dc, R, COLOR_BTNFACE);
            RECT E = R;
            DrawEdge(Dc, &E, EDGE_RAISED, Edges);
        }
        RECT Text = It.Rect;
        if (!It.Text.empty())
            DrawTextW(Dc, It.Text.data(), int(It.Text.size()), &Text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (Sel && GetFocus() == Wnd) {
            RECT F = It.Rect;
            F.left += 2, F.top += 2, F.right -= 2, F.bottom -= 2;
            DrawFocusRect(Dc, &F);
        }
    }
    if (T->Overflow) {
        // The arrows cover the tabs running under them.
        for (int Half = 0; Half < 2; ++Half) {
            int Wd = (T->Arrows.right - T->Arrows.left) / 2;
            RECT B{T->Arrows.left + Half * Wd, T->Arrows.top, T->Arrows.left + (Half + 1) * Wd, T->Arrows.bottom};
            FillSys(Dc, B, COLOR_BTNFACE);
            RECT E = B;
            DrawEdge(Dc, &E, EDGE_RAISED, BF_RECT);
            bool Live = Half == 0 ? T->First > 0 : T->First < T->MaxFirst;
            HBRUSH Ink = GetSysColorBrush(Live && Enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
            int Cx = (B.left + B.right) / 2, Cy = (B.top + B.bottom) / 2;
            for (int K = 0; K < 4; ++K) {  // a small triangle pointing out
                int X = Half == 0 ? Cx - 2 + K : Cx + 1 - K;
                RECT Col{X, Cy - K, X + 1, Cy + K + 1};
                FillRect(Dc, &Col, Ink);
            }
        }
    }
    if (OldFont) SelectObject(Dc, OldFont);
}

}  // namespace

namespace ui {

LRESULT TabControlProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (!Find(Wnd)) return 0;
    switch (Msg) {
    case WM_NCDESTROY: Tabs().erase(Wnd); return DefWindowProcW(Wnd, Msg, W, L);
    case WM_PAINT:
    case WM_PRINTCLIENT: {
        if (Msg == WM_PRINTCLIENT || W) {
            if (W) Paint(Wnd, reinterpret_cast<HDC>(W));
            return 0;
        }
        PAINTSTRUCT Ps;
        if (HDC Dc = BeginPaint(Wnd, &Ps)) Paint(Wnd, Dc);
        EndPaint(Wnd, &Ps);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_SIZE:
    case WM_STYLECHANGED: InvalidateRect(Wnd, nullptr, TRUE); return DefWindowProcW(Wnd, Msg, W, L);
    case WM_SETFONT: {
        if (TTab* T = TabOf(Wnd)) T->Font = reinterpret_cast<HFONT>(W);
        if (L) InvalidateRect(Wnd, nullptr, TRUE);
        return 0;
    }
    case WM_GETFONT: {
        TTab* T = TabOf(Wnd);
        return T ? reinterpret_cast<LRESULT>(T->Font) : 0;
    }
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(Wnd, nullptr, FALSE); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        TTab* T = LaidOut(Wnd);
        if (!T) return 0;
        POINT P{GET_X_LPARAM(L), GET_Y_LPARAM(L)};
        if (InArrows(*T, P)) {
            bool Back = P.x < (T->Arrows.left + T->Arrows.right) / 2;
            int First = std::clamp(T->First + (Back ? -1 : 1), 0, T->MaxFirst);
            if (First != T->First) {
                T->First = First;
                Layout(Wnd, *T);
                InvalidateRect(Wnd, nullptr, TRUE);
            }
            return 0;
        }
        int I = HitTestItem(*T, P);
        if (I < 0) return 0;
        TWindow* Win = Find(Wnd);
        if (Win && (Win->Style & TCS_FOCUSONBUTTONDOWN) && !(Win->Style & TCS_FOCUSNEVER)) SetFocus(Wnd);
        SelectByUser(Wnd, I);
        return 0;
    }
    case WM_KEYDOWN: {
        TTab* T = TabOf(Wnd);
        if (!T) return 0;
        int Step = (W == VK_LEFT || W == VK_UP) ? -1 : (W == VK_RIGHT || W == VK_DOWN) ? 1 : 0;
        if (Step && !T->Items.empty()) SelectByUser(Wnd, std::clamp(T->Sel + Step, 0, int(T->Items.size()) - 1));
        return 0;
    }
    case TCM_GETITEMCOUNT: {
        TTab* T = TabOf(Wnd);
        return T ? LRESULT(T->Items.size()) : 0;
    }
    case TCM_INSERTITEMW: {
        TTab* T = TabOf(Wnd);
        auto* Item = reinterpret_cast<const TCITEMW*>(L);
        if (!T || !Item || int(W) < 0 || T->Items.size() >= size_t(kMaxItems)) return -1;
        int At = std::min(int(W), int(T->Items.size()));
        TItem It;
        if ((Item->mask & TCIF_TEXT) && Item->pszText) {
            It.Text = Item->pszText;
            if (It.Text.size() > size_t(kMaxText)) It.Text.resize(kMaxText);
        }
        if (Item->mask & TCIF_IMAGE) It.Image = Item->iImage;
        if (Item->mask & TCIF_PARAM) It.Param = Item->lParam;
        if (Item->mask & TCIF_STATE) It.State = Item->dwState & Item->dwStateMask;
        T->Items.insert(T->Items.begin() + At, It);
        if (T->Sel >= At) ++T->Sel;
        if (T->Focus >= At) ++T->Focus;
        // The first tab of an empty control becomes the selected one.
        if (T->Items.size() == 1) T->Sel = T->Focus = 0;
        InvalidateRect(Wnd, nullptr, TRUE);
        return At;
    }
    case TCM_SETITEMW:
    case TCM_GETITEMW: {
        TTab* T = TabOf(Wnd);
        auto* Item = reinterpret_cast<TCITEMW*>(L);
        int I = int(W);
        if (!T || !Item || I < 0 || I >= int(T->Items.size())) return FALSE;
        TItem& It = T->Items[I];
        if (Msg == TCM_SETITEMW) {
            if ((Item->mask & TCIF_TEXT) && Item->pszText) {
                It.Text = Item->pszText;
                if (It.Text.size() > size_t(kMaxText)) It.Text.resize(kMaxText);
            }
            if (Item->mask & TCIF_IMAGE) It.Image = Item->iImage;
            if (Item->mask & TCIF_PARAM) It.Param = Item->lParam;
            if (Item->mask & TCIF_STATE) It.State = (It.State & ~Item->dwStateMask) | (Item->dwState & Item->dwStateMask);
            InvalidateRect(Wnd, nullptr, TRUE);
            return TRUE;
        }
        if ((Item->mask & TCIF_TEXT) && Item->pszText && Item->cchTextMax > 0) {
            size_t N = std::min(It.Text.size(), size_t(Item->cchTextMax) - 1);
            std::copy_n(It.Text.data(), N, Item->pszText);
            Item->pszText[N] = 0;
        }
        if (Item->mask & TCIF_IMAGE) Item->iImage = It.Image;
        if (Item->mask & TCIF_PARAM) Item->lParam = It.Param;
        if (Item->mask & TCIF_STATE) Item->dwState = It.State & Item->dwStateMask;
        return TRUE;
    }
    case TCM_DELETEITEM: {
        TTab* T = TabOf(Wnd);
        int I = int(W);
        if (!T || I < 0 || I >= int(T->Items.size())) return FALSE;
        T->Items.erase(T->Items.begin() + I);
        T->Sel = T->Sel == I ? -1 : T->Sel > I ? T->Sel - 1 : T->Sel;
        T->Focus = T->Focus == I ? -1 : T->Focus > I ? T->Focus - 1 : T->Focus;
        InvalidateRect(Wnd, nullptr, TRUE);
        return TRUE;
    }
    case TCM_DELETEALLITEMS: {
        TTab* T = TabOf(Wnd);
        if (!T) return FALSE;
        T->Items.clear();
        T->Sel = T->Focus = -1;
        InvalidateRect(Wnd, nullptr, TRUE);
        return TRUE;
    }
    case TCM_GETCURSEL: {
        TTab* T = TabOf(Wnd);
        return T ? T->Sel : -1;
    }
    case TCM_SETCURSEL: {
        TTab* T = TabOf(Wnd);
        int I = int(W);
        if (!T || I < -1 || I >= int(T->Items.size())) return -1;
        int Old = T->Sel;
        T->Sel = T->Focus = I;
        Reveal(Wnd, *T, I);
        return Old;
    }
    case TCM_GETCURFOCUS: {
        TTab* T = TabOf(Wnd);
        return !T ? -1 : T->Focus >= 0 ? T->Focus : T->Sel;
    }
    case TCM_SETCURFOCUS: {
        TTab* T = TabOf(Wnd);
        TWindow* Win = Find(Wnd);
        if (!T || !Win || int(W) < 0 || int(W) >= int(T->Items.size())) return 0;
        if (Win->Style & TCS_BUTTONS) {
            T->Focus = int(W);
            InvalidateRect(Wnd, nullptr, FALSE);
        } else {
            SelectByUser(Wnd, int(W));
        }
        return 0;
    }
    case TCM_GETITEMRECT: {
        TTab* T = LaidOut(Wnd);
        auto* R = reinterpret_cast<RECT*>(L);
        int I = int(W);
        if (!T || !R || I < 0 || I >= int(T->Items.size())) return FALSE;
        *R = T->Items[I].Rect;
        return TRUE;
    }
    case TCM_HITTEST: {
        TTab* T = LaidOut(Wnd);
        auto* Info = reinterpret_cast<TCHITTESTINFO*>(L);
        if (!T || !Info) return -1;
        int I = HitTestItem(*T, Info->pt);
        Info->flags = I < 0 ? TCHT_NOWHERE : TCHT_ONITEM;
        return I;
    }
    case TCM_ADJUSTRECT: {
        TTab* T = LaidOut(Wnd);
        if (T) AdjustRect(Wnd, *T, BOOL(W), reinterpret_cast<RECT*>(L));
        return 0;
    }
    case TCM_SETITEMSIZE: {
        TTab* T = LaidOut(Wnd);
        if (!T) return 0;
        int OldW = T->FixedWidth, OldH = T->Items.empty() ? T->FixedHeight : T->Items[0].Rect.bottom - T->Items[0].Rect.top;
        T->FixedWidth = std::clamp(int(GET_X_LPARAM(L)), 0, 0x7FFF);
        if (GET_Y_LPARAM(L) > 0) T->FixedHeight = std::min(int(GET_Y_LPARAM(L)), 0x7FFF);
        InvalidateRect(Wnd, nullptr, TRUE);
        return MAKELPARAM(OldW, OldH);
    }
    case TCM_SETPADDING: {
        TTab* T = TabOf(Wnd);
        if (T) {
            T->PadX = std::clamp(int(GET_X_LPARAM(L)), 0, 1000);
            T->PadY = std::clamp(int(GET_Y_LPARAM(L)), 0, 1000);
        }
        return 0;
    }
    case TCM_SETMINTABWIDTH: {
        TTab* T = TabOf(Wnd);
        if (!T) return 0;
        int Old = T->MinWidth;
        T->MinWidth = std::clamp(int(L), -1, 0x7FFF);
        return Old;
    }
    case TCM_GETROWCOUNT: {
        TTab* T = LaidOut(Wnd);
        return T ? T->Rows : 0;
    }
    case TCM_GETIMAGELIST: {
        TTab* T = TabOf(Wnd);
        return T ? reinterpret_cast<LRESULT>(T->ImageList) : 0;
    }
    case TCM_SETIMAGELIST: {
        TTab* T = TabOf(Wnd);
        if (!T) return 0;
        HANDLE Old = T->ImageList;
        T->ImageList = reinterpret_cast<HANDLE>(L);
        InvalidateRect(Wnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(Old);
    }
    default: return DefWindowProcW(Wnd, Msg, W, L);
    }
}

}  // namespace ui

}  // namespace velmo
