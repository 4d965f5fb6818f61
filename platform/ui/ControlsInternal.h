// Helpers the control procedures share: their per-window state, the
// notification to the parent, colours and fonts for painting.
#pragma once

#include <optional>
#include <string>

#include "platform/fonts/DCText.h"
#include "platform/ui/Controls.h"
#include "platform/ui/WindowInternal.h"

namespace velmo::ui {

// Each control keeps its state object in the first pointer of its window
// extra bytes; the object lives from WM_NCCREATE to WM_NCDESTROY.
constexpr int kControlExtra = int(sizeof(void*)) * 2;

template <class T>
T* ControlState(HWND Wnd) {
    return reinterpret_cast<T*>(GetWindowLongPtrW(Wnd, 0));
}
template <class T>
T* AttachState(HWND Wnd) {
    auto* S = new T();
    SetWindowLongPtrW(Wnd, 0, reinterpret_cast<LONG_PTR>(S));
    return S;
}
template <class T>
void DetachState(HWND Wnd) {
    delete ControlState<T>(Wnd);
    SetWindowLongPtrW(Wnd, 0, 0);
}

DWORD StyleOf(HWND Wnd);
inline bool RectHolds(const RECT& R, POINT P) {
    return P.x >= R.left && P.x < R.right && P.y >= R.top && P.y < R.bottom;
}
inline void MoveRect(RECT& R, int Dx, int Dy) {
    R.left += Dx, R.right += Dx, R.top += Dy, R.bottom += Dy;
}
// WM_COMMAND (id, code) to the parent, the control as lParam.
void NotifyParent(HWND Ctl, WORD Code);
// The parent's WM_CTLCOLOR* answer, the control's default colours set in
// the DC first; a parent answering 0 gets the default brush of the kind.
HBRUSH ControlBrush(HWND Ctl, HDC Dc, UINT CtlColorMsg);
// The control's font (WM_SETFONT), else the layer's message font.
HFONT DefaultControlFont();

// A DC to paint in for WM_PAINT: the one in wParam, or BeginPaint's.
class TPaintScope {
public:
    TPaintScope(HWND Wnd, WPARAM W);
    ~TPaintScope();
    HDC Dc() const { return Dc_; }
    TPaintScope(const TPaintScope&) = delete;
    TPaintScope& operator=(const TPaintScope&) = delete;

private:
    HWND Wnd_;
    HDC Dc_ = nullptr;
    bool Began_ = false;
    PAINTSTRUCT Ps_;
};

// An image a button or static shows (BM_SETIMAGE, STM_SETIMAGE): an icon
// or a bitmap. Its size is 0 x 0 for a dead handle.
struct TControlImage {
    HANDLE Handle = nullptr;
    UINT Type = IMAGE_BITMAP;
};
SIZE ControlImageSize(const TControlImage& Image);
// Draws the image at its own size, its top left corner at (X, Y).
void DrawControlImage(HDC Dc, const TControlImage& Image, int X, int Y);

// The painting messages the controls answer alike: no separate erase,
// WM_PAINT into the DC in wParam or BeginPaint's, WM_PRINTCLIENT into the
// given DC. Paint(HDC) draws; empty for any other message.
template <class TPaint>
std::optional<LRESULT> PaintMessage(HWND Wnd, UINT Msg, WPARAM W, TPaint&& Paint) {
    switch (Msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            TPaintScope P(Wnd, W);
            Paint(P.Dc());
            return 0;
        }
        case WM_PRINTCLIENT:
            if (W) Paint(reinterpret_cast<HDC>(W));
            return 0;
        default:
            return std::nullopt;
    }
}

// Text width of S in the DC's font.
int TextWidth(HDC Dc, std::u16string_view S);
int LineHeight(HDC Dc);

// Unit boundaries that never split a surrogate pair.
size_t PrevBoundary(const std::u16string& S, size_t Pos);
size_t NextBoundary(const std::u16string& S, size_t Pos);
size_t SnapBoundary(const std::u16string& S, size_t Pos);

// Text through the layer's clipboard.
void PutClipboardText(HWND Owner, const std::u16string& Text);
std::optional<std::u16string> TakeClipboardText(HWND Owner);

LRESULT ButtonProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
LRESULT StaticProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
LRESULT EditProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
LRESULT ListBoxProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
LRESULT ComboBoxProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
LRESULT ComboListProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
LRESULT DialogClassProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);

}  // namespace velmo::ui
