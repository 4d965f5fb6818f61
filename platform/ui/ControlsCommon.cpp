// Shared pieces of the standard controls and their class registration.
#include <algorithm>

#include "platform/ui/ControlsInternal.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/TextInput.h"
#include "platform/ui/WindowInternal.h"

namespace velmo {

namespace ui {

DWORD StyleOf(HWND Wnd) { return DWORD(GetWindowLongPtrW(Wnd, GWL_STYLE)); }

void NotifyParent(HWND Ctl, WORD Code) {
    HWND Parent = GetParent(Ctl);
    if (!Parent) return;
    SendMessageW(Parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Ctl), Code),
                 reinterpret_cast<LPARAM>(Ctl));
}

HBRUSH ControlBrush(HWND Ctl, HDC Dc, UINT CtlColorMsg) {
    bool Window = CtlColorMsg == WM_CTLCOLOREDIT || CtlColorMsg == WM_CTLCOLORLISTBOX;
    bool Disabled = !IsWindowEnabled(Ctl);
    SetTextColor(Dc, GetSysColor(Disabled && CtlColorMsg != WM_CTLCOLOREDIT ? COLOR_GRAYTEXT
                                 : Window                                   ? COLOR_WINDOWTEXT
                                                                            : COLOR_BTNTEXT));
    SetBkColor(Dc, GetSysColor(Window ? COLOR_WINDOW : COLOR_BTNFACE));
    HWND Parent = GetParent(Ctl);
    HBRUSH B = nullptr;
    if (Parent)
        B = reinterpret_cast<HBRUSH>(SendMessageW(Parent, CtlColorMsg, reinterpret_cast<WPARAM>(Dc),
                                                  reinterpret_cast<LPARAM>(Ctl)));
    if (!B) B = GetSysColorBrush(Window ? COLOR_WINDOW : COLOR_BTNFACE);
    return B;
}

HFONT DefaultControlFont() {
    static HFONT Font = [] {
        NONCLIENTMETRICSW M;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof M, &M, 0);
        return CreateFontIndirectW(M.lfMessageFont);
    }();
    return Font;
}

TPaintScope::TPaintScope(HWND Wnd, WPARAM W) : Wnd_(Wnd) {
    if (W) {
        Dc_ = reinterpret_cast<HDC>(W);
    } else {
        Dc_ = BeginPaint(Wnd, &Ps_);
        Began_ = true;
    }
}

TPaintScope::~TPaintScope() {
    if (Began_) EndPaint(Wnd_, &Ps_);
}

SIZE ControlImageSize(const TControlImage& Image) {
    if (!Image.Handle) return {0, 0};
    if (Image.Type == IMAGE_ICON) {
        TBitmap Colour, Mask;
        bool Alpha = false;
        if (!GetIconImages(static_cast<HICON>(Image.Handle), Colour, Mask, Alpha)) return {0, 0};
        return {Colour.Width(), Colour.Height()};
    }
    TBitmap B;
    if (!GetBitmapObject(static_cast<HBITMAP>(Image.Handle), B)) return {0, 0};
    return {B.Width(), B.Height()};
}

void DrawControlImage(HDC Dc, const TControlImage& Image, int X, int Y) {
    if (!Image.Handle) return;
    if (Image.Type == IMAGE_ICON) {
        DrawIconEx(Dc, X, Y, static_cast<HICON>(Image.Handle), 0, 0, 0, nullptr, DI_NORMAL);
        return;
    }
    // Drawn from a copy: the bitmap may be selected into a DC of its owner.
    TBitmap B;
    if (!GetBitmapObject(static_cast<HBITMAP>(Image.Handle), B)) return;
    HBITMAP Copy = CreateBitmapObject(B);
    HDC Mem = Copy ? CreateCompatibleDC(Dc) : nullptr;
    if (Mem) {
        HGDIOBJ Old = SelectObject(Mem, Copy);
        BitBlt(Dc, X, Y, B.Width(), B.Height(), Mem, 0, 0, SRCCOPY);
        SelectObject(Mem, Old);
        DeleteDC(Mem);
    }
    if (Copy) DeleteObject(Copy);
}

int TextWidth(HDC Dc, std::u16string_view S) {
    if (S.empty()) return 0;
    SIZE Sz;
    GetTextExtentPoint32W(Dc, S.data(), int(S.size()), &Sz);
    return Sz.cx;
}

int LineHeight(HDC Dc) {
    TEXTMETRICW M;
    if (!GetTextMetricsW(Dc, &M) || M.tmHeight <= 0) return 16;
    return M.tmHeight;
}

static bool IsHigh(char16_t C) { return C >= 0xD800 && C <= 0xDBFF; }
static bool IsLow(char16_t C) { return C >= 0xDC00 && C <= 0xDFFF; }

size_t PrevBoundary(const std::u16string& S, size_t Pos) {
    Pos = std::min(Pos, S.size());
    if (Pos == 0) return 0;
    --Pos;
    if (Pos > 0 && IsLow(S[Pos]) && IsHigh(S[Pos - 1])) --Pos;
    // A line break of two units is one step.
    if (Pos > 0 && S[Pos] == u'\n' && S[Pos - 1] == u'\r') --Pos;
    return Pos;
}

size_t NextBoundary(const std::u16string& S, size_t Pos) {
    if (Pos >= S.size()) return S.size();
    if (IsHigh(S[Pos]) && Pos + 1 < S.size() && IsLow(S[Pos + 1])) return Pos + 2;
    if (S[Pos] == u'\r' && Pos + 1 < S.size() && S[Pos + 1] == u'\n') return Pos + 2;
    return Pos + 1;
}

size_t SnapBoundary(const std::u16string& S, size_t Pos) {
    Pos = std::min(Pos, S.size());
    if (Pos > 0 && Pos < S.size() && IsLow(S[Pos]) && IsHigh(S[Pos - 1])) --Pos;
    if (Pos > 0 && Pos < S.size() && S[Pos] == u'\n' && S[Pos - 1] == u'\r') --Pos;
    return Pos;
}

void PutClipboardText(HWND Owner, const std::u16string& Text) {
    if (!OpenClipboard(Owner)) return;
    EmptyClipboard();
    HGLOBAL Mem = GlobalAlloc(GMEM_MOVEABLE, (Text.size() + 1) * sizeof(char16_t));
    if (auto* P = static_cast<char16_t*>(Mem ? GlobalLock(Mem) : nullptr)) {
        std::copy(Text.begin(), Text.end(), P);
        P[Text.size()] = 0;
        GlobalUnlock(Mem);
        if (!SetClipboardData(CF_UNICODETEXT, Mem)) GlobalFree(Mem);
    } else if (Mem) {
        GlobalFree(Mem);
    }
    CloseClipboard();
}

std::optional<std::u16string> TakeClipboardText(HWND Owner) {
    if (!OpenClipboard(Owner)) return std::nullopt;
    std::optional<std::u16string> Out;
    HANDLE Mem = GetClipboardData(CF_UNICODETEXT);
    if (auto* P = static_cast<const char16_t*>(Mem ? GlobalLock(Mem) : nullptr)) {
        size_t Units = GlobalSize(Mem) / sizeof(char16_t);
        Out = std::u16string(P, std::find(P, P + Units, u'\0'));
        GlobalUnlock(Mem);
    }
    CloseClipboard();
    return Out;
}

}  // namespace ui

void RegisterControlClasses() {
    static bool Done = false;
    if (Done) return;
    Done = true;
    struct TEntry {
        const char16_t* Name;
        WNDPROC Proc;
        UINT Style;
    };
    const TEntry Entries[] = {
        {u"Button", ui::ButtonProc, CS_DBLCLKS | CS_PARENTDC},
        {u"Static", ui::StaticProc, CS_DBLCLKS | CS_PARENTDC},
        {u"Edit", ui::EditProc, CS_DBLCLKS | CS_PARENTDC},
        {u"ListBox", ui::ListBoxProc, CS_DBLCLKS | CS_PARENTDC},
        {u"ComboBox", ui::ComboBoxProc, CS_DBLCLKS | CS_PARENTDC},
        {u"ComboLBox", ui::ComboListProc, CS_DBLCLKS | CS_SAVEBITS},
    };
    for (const TEntry& E : Entries) {
        WNDCLASSEXW C;
        C.lpfnWndProc = E.Proc;
        C.lpszClassName = E.Name;
        C.style = E.Style | CS_GLOBALCLASS;
        C.cbWndExtra = ui::kControlExtra;
        if (!RegisterClassExW(&C)) continue;
        auto It = ui::State().Classes.find(ui::Fold(E.Name));
        if (It != ui::State().Classes.end()) It->second->System = true;
    }
    // Dialog boxes: the class exists already; their procedure is the
    // dialog manager's.
    auto It = ui::State().Classes.find(ui::Fold(u"#32770"));
    if (It != ui::State().Classes.end()) {
        It->second->Info.lpfnWndProc = ui::DialogClassProc;
        It->second->Info.cbWndExtra = DLGWINDOWEXTRA;
    }
}

BOOL GetComboBoxInfo(HWND Combo, COMBOBOXINFO* Info) {
    if (!Info || Info->cbSize != sizeof(COMBOBOXINFO) || !IsWindow(Combo)) return FALSE;
    return SendMessageW(Combo, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(Info)) ? TRUE
                                                                                      : FALSE;
}

}  // namespace velmo
