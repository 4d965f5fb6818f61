// Dialog boxes: creation from item tables, the default dialog procedure,
// the dialog keys, modal loops and message boxes.
#include "platform/ui/Dialogs.h"

#include <algorithm>
#include <unordered_map>

#include "platform/ui/ControlsInternal.h"
#include "platform/ui/Menus.h"

namespace velmo {

namespace {

struct TDialogRun {
    bool Modal = false;
    bool Ended = false;
    INT_PTR Result = 0;
    int DefId = 0;
    HWND SavedFocus = nullptr;
};

std::unordered_map<HWND, TDialogRun>& Runs() {
    static std::unordered_map<HWND, TDialogRun> R;
    return R;
}

TDialogRun* RunOf(HWND Dlg) {
    auto It = Runs().find(Dlg);
    return It == Runs().end() ? nullptr : &It->second;
}

TModalHandler& Handler() {
    static TModalHandler H;
    return H;
}

std::vector<HWND> Controls(HWND Dlg) {
    std::vector<HWND> Out;
    for (HWND H = GetWindow(Dlg, GW_CHILD); H && Out.size() < 100000; H = GetWindow(H, GW_HWNDNEXT))
        Out.push_back(H);
    return Out;
}

DWORD Style(HWND W) { return DWORD(GetWindowLongPtrW(W, GWL_STYLE)); }
bool Usable(HWND W) { return IsWindowVisible(W) && IsWindowEnabled(W); }

// The control of Dlg that holds Wnd (Wnd itself or its ancestor).
HWND ControlOf(HWND Dlg, HWND Wnd) {
    for (int D = 0; Wnd && D < 1000; ++D) {
        HWND P = GetParent(Wnd);
        if (P == Dlg) return Wnd;
        Wnd = P;
    }
    return nullptr;
}

LRESULT DlgCode(HWND Ctl, MSG* Msg) {
    return Ctl ? SendMessageW(Ctl, WM_GETDLGCODE, Msg ? Msg->wParam : 0,
                              reinterpret_cast<LPARAM>(Msg))
               : 0;
}

void FocusControl(HWND Ctl) {
    if (!Ctl) return;
    SetFocus(Ctl);
    if (IsWindow(Ctl) && (DlgCode(Ctl, nullptr) & DLGC_HASSETSEL))
        SendMessageW(Ctl, EM_SETSEL, 0, -1);
}

bool IsPush(HWND Ctl) {
    return DlgCode(Ctl, nullptr) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
}

int DefaultId(HWND Dlg) {
    LRESULT R = SendMessageW(Dlg, DM_GETDEFID, 0, 0);
    return HIWORD(uintptr_t(R)) == DC_HASDEFID ? LOWORD(uintptr_t(R)) : IDOK;
}

void Command(HWND Dlg, int Id) {
    HWND Ctl = GetDlgItem(Dlg, Id);
    if (Ctl && !IsWindowEnabled(Ctl)) return;
    SendMessageW(Dlg, WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED), reinterpret_cast<LPARAM>(Ctl));
}

// Creates the dialog window and its items and sends WM_INITDIALOG.
HWND Build(const TDialogTemplate* T, HWND Owner, DLGPROC Proc, LPARAM Init, bool Modal) {
    if (!T) return nullptr;
    RECT Rc{0, 0, std::clamp(T->Width, 0, 16384), std::clamp(T->Height, 0, 16384)};
    DWORD Style = T->Style & ~WS_VISIBLE & ~DS_SETFOREGROUND;
    AdjustWindowRectEx(&Rc, Style, FALSE, T->ExStyle);
    int W = Rc.right - Rc.left, H = Rc.bottom - Rc.top;
    int X = 0, Y = 0;
    if (T->Position) {
        X = T->Position->x, Y = T->Position->y;
    } else {
        RECT Around{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (Owner && IsWindowVisible(Owner)) GetWindowRect(Owner, &Around);
        X = Around.left + (Around.right - Around.left - W) / 2;
        Y = Around.top + (Around.bottom - Around.top - H) / 2;
    }
    HWND Dlg = CreateWindowExW(T->ExStyle, u"#32770", T->Title.c_str(), Style, X, Y, W, H, Owner,
                               nullptr, nullptr, nullptr);
    if (!Dlg) return nullptr;
    TDialogRun Run;
    Run.Modal = Modal;
    Runs()[Dlg] = Run;
    SetWindowLongPtrW(Dlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(Proc));
    HFONT Font = ui::DefaultControlFont();
    HWND First = nullptr;
    for (const TDialogItem& It : T->Items) {
        HWND C =
            CreateWindowExW(It.ExStyle | WS_EX_NOPARENTNOTIFY, It.Class.c_str(), It.Text.c_str(),
                            (It.Style | WS_CHILD) & ~WS_POPUP, It.Rect.left, It.Rect.top,
                            It.Rect.right - It.Rect.left, It.Rect.bottom - It.Rect.top, Dlg,
                            reinterpret_cast<HMENU>(intptr_t(It.Id)), nullptr, nullptr);
        if (!IsWindow(Dlg)) return nullptr;
        if (!C) continue;
        SendMessageW(C, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
        if (!First && (It.Style & WS_TABSTOP)) First = C;
        if (TDialogRun* R = RunOf(Dlg); R && !R->DefId && GetClassNameString(C) == u"Button" &&
                                        (It.Style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            R->DefId = It.Id;
    }
    if (!First) First = GetNextDlgTabItem(Dlg, nullptr, FALSE);
    LRESULT Focus = SendMessageW(Dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(First), Init);
    if (!IsWindow(Dlg)) return nullptr;
    if (Focus && First) {
        if (TDialogRun* R = RunOf(Dlg)) R->SavedFocus = First;
    }
    if (T->Style & WS_VISIBLE) ShowWindow(Dlg, SW_SHOW);
    return Dlg;
}

INT_PTR RunModal(HWND Dlg, HWND Owner, int FilterCode) {
    HWND Root = Owner ? GetAncestor(Owner, GA_ROOT) : nullptr;
    bool Disabled = false;
    if (Root && IsWindowEnabled(Root)) {
        EnableWindow(Root, FALSE);
        Disabled = true;
    }
    if (TDialogRun* R = RunOf(Dlg); R && !R->Ended) ShowWindow(Dlg, SW_SHOW);
    INT_PTR Result = IDCANCEL;
    auto Ended = [&](INT_PTR Fallback, bool Force) {
        TDialogRun* Run = RunOf(Dlg);
        if (!Run || !IsWindow(Dlg)) return true;
        if (Force && !Run->Ended) Run->Ended = true, Run->Result = Fallback;
        if (Run->Ended) Result = Run->Result;
        return Run->Ended;
    };
    while (!Ended(0, false)) {
        // The handler scripts answers; it runs before each wait.
        if (TModalHandler H = Handler()) {
            H(Dlg);
            if (Ended(0, false)) break;
        }
        MSG M;
        BOOL Got = GetMessageW(&M, nullptr, 0, 0);
        if (Got == -1) {
            // Nothing can ever arrive: cancelled rather than waiting forever.
            Ended(IDCANCEL, true);
            break;
        }
        if (Got == FALSE) {
            // The quit belongs to the outer loops too.
            PostQuitMessage(int(M.wParam));
            Ended(IDCANCEL, true);
            break;
        }
        if (CallMsgFilterW(&M, FilterCode)) continue;
        if (!IsWindow(Dlg) || !IsDialogMessageW(Dlg, &M)) {
            TranslateMessage(&M);
            DispatchMessageW(&M);
        }
    }
    if (Disabled && IsWindow(Root)) EnableWindow(Root, TRUE);
    if (IsWindow(Dlg)) {
        ShowWindow(Dlg, SW_HIDE);
        if (Root && IsWindow(Root)) SetActiveWindow(Root);
        DestroyWindow(Dlg);
    }
    return Result;
}

}  // namespace

TModalHandler SetModalHandler(TModalHandler H) {
    TModalHandler Old = std::move(Handler());
    Handler() = std::move(H);
    return Old;
}

HWND GetNextDlgTabItem(HWND Dlg, HWND Ctl, BOOL Previous) {
    std::vector<HWND> All = Controls(Dlg);
    if (All.empty()) return nullptr;
    if (Previous) std::reverse(All.begin(), All.end());
    HWND Start = Ctl ? ControlOf(Dlg, Ctl) : nullptr;
    auto It = std::find(All.begin(), All.end(), Start);
    size_t From = It == All.end() ? All.size() - 1 : size_t(It - All.begin());
    for (size_t K = 1; K <= All.size(); ++K) {
        HWND H = All[(From + K) % All.size()];
        if (Usable(H) && (Style(H) & WS_TABSTOP)) return H;
    }
    return Start;
}

HWND GetNextDlgGroupItem(HWND Dlg, HWND Ctl, BOOL Previous) {
    std::vector<HWND> All = Controls(Dlg);
    HWND Start = ControlOf(Dlg, Ctl);
    auto It = std::find(All.begin(), All.end(), Start);
    if (It == All.end()) return nullptr;
    size_t At = size_t(It - All.begin());
    size_t First = At;
    while (First > 0 && !(Style(All[First]) & WS_GROUP)) --First;
    size_t Last = At;
    while (Last + 1 < All.size() && !(Style(All[Last + 1]) & WS_GROUP)) ++Last;
    size_t N = Last - First + 1;
    for (size_t K = 1; K <= N; ++K) {
        size_t I = Previous ? First + (At - First + N - K) % N : First + (At - First + K) % N;
        if (Usable(All[I])) return All[I];
    }
    return Start;
}

LRESULT DefDlgProcW(HWND Dlg, UINT Msg, WPARAM W, LPARAM L) {
    if (!IsWindow(Dlg)) return 0;
    auto Proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(Dlg, DWLP_DLGPROC));
    if (Proc) {
        SetWindowLongPtrW(Dlg, DWLP_MSGRESULT, 0);
        INT_PTR R = Proc(Dlg, Msg, W, L);
        if (!IsWindow(Dlg)) return R;
        if (R) {
            if (IsCtlColorMessage(Msg) || Msg == WM_INITDIALOG) return R;
            return GetWindowLongPtrW(Dlg, DWLP_MSGRESULT);
        }
    }
    TDialogRun* Run = RunOf(Dlg);
    switch (Msg) {
        case WM_INITDIALOG:
            return 0;
        case WM_ERASEBKGND: {
            HDC Dc = reinterpret_cast<HDC>(W);
            auto B = reinterpret_cast<HBRUSH>(
                SendMessageW(Dlg, WM_CTLCOLORDLG, W, reinterpret_cast<LPARAM>(Dlg)));
            if (!B) B = GetSysColorBrush(COLOR_BTNFACE);
            RECT Rc;
            GetClientRect(Dlg, &Rc);
            FillRect(Dc, &Rc, B);
            return 1;
        }
        case WM_CTLCOLORDLG:
            SetBkColor(reinterpret_cast<HDC>(W), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_CLOSE:
            PostMessageW(Dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(Dlg, IDCANCEL)));
            return 0;
        case WM_ACTIVATE:
            if (!Run) break;
            if (LOWORD(W) == WA_INACTIVE) {
                HWND F = GetFocus();
                if (F && IsChild(Dlg, F)) Run->SavedFocus = F;
            } else {
                HWND F = Run->SavedFocus && IsWindow(Run->SavedFocus)
                             ? Run->SavedFocus
                             : GetNextDlgTabItem(Dlg, nullptr, FALSE);
                if (F)
                    FocusControl(F);
                else
                    SetFocus(Dlg);
            }
            return 0;
        case WM_SETFOCUS: {
            if (!Run) break;
            HWND F = Run->SavedFocus && IsWindow(Run->SavedFocus)
                         ? Run->SavedFocus
                         : GetNextDlgTabItem(Dlg, nullptr, FALSE);
            if (F) FocusControl(F);
            return 0;
        }
        case WM_NEXTDLGCTL: {
            HWND To = L ? reinterpret_cast<HWND>(W) : GetNextDlgTabItem(Dlg, GetFocus(), W != 0);
            FocusControl(To);
            return 0;
        }
        case DM_GETDEFID:
            if (Run && Run->DefId) return LRESULT(MAKELPARAM(Run->DefId, DC_HASDEFID)) & 0xFFFFFFFF;
            return 0;
        case DM_SETDEFID: {
            if (!Run) return FALSE;
            int Old = Run->DefId;
            Run->DefId = int(W);
            if (HWND B = Old ? GetDlgItem(Dlg, Old) : nullptr;
                B && (DlgCode(B, nullptr) & DLGC_DEFPUSHBUTTON))
                SendMessageW(B, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
            if (HWND B = GetDlgItem(Dlg, int(W)); B && (DlgCode(B, nullptr) & DLGC_UNDEFPUSHBUTTON))
                SendMessageW(B, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
            return TRUE;
        }
        case WM_NCDESTROY: {
            LRESULT R = DefWindowProcW(Dlg, Msg, W, L);
            Runs().erase(Dlg);
            return R;
        }
        default:
            break;
    }
    return DefWindowProcW(Dlg, Msg, W, L);
}

namespace ui {
LRESULT DialogClassProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    return DefDlgProcW(Wnd, Msg, W, L);
}
}  // namespace ui

// Whether Shift is held, from the key messages the dialogs see (the layer
// keeps no key state of its own).
static bool& ShiftHeld() {
    static bool Held = false;
    return Held;
}

namespace {

// Acts on the control whose caption marks Key, searching from the one after
// From round to it: a push button is clicked, a check box or radio button
// gets the focus and is clicked, a static or group box gives the focus to
// the next control that takes it. False when no caption marks Key.
bool DoMnemonic(HWND Dlg, HWND From, char16_t Key) {
    Key = FoldMnemonic(Key);
    if (!Key) return false;
    std::vector<HWND> All;
    for (HWND H = GetWindow(Dlg, GW_CHILD); H && All.size() < 4096; H = GetWindow(H, GW_HWNDNEXT)) All.push_back(H);
    if (All.empty()) return false;
    size_t Start = 0;
    if (auto It = std::find(All.begin(), All.end(), From); It != All.end()) Start = size_t(It - All.begin()) + 1;
    for (size_t K = 0; K < All.size(); ++K) {
        size_t At = (Start + K) % All.size();
        HWND C = All[At];
        if (!Usable(C)) continue;
        LRESULT Code = DlgCode(C, nullptr);
        bool IsStatic = Code & DLGC_STATIC;
        if (!IsStatic && !(Code & DLGC_BUTTON)) continue;
        if (IsStatic && GetClassNameString(C) == u"Static" && (Style(C) & SS_NOPREFIX)) continue;
        if (MnemonicOf(GetWindowTextString(C)) != Key) continue;
        if (IsStatic) {
            // The label names the control after it.
            for (size_t N = At + 1; N < All.size(); ++N) {
                HWND Next = All[N];
                if (!Usable(Next) || (DlgCode(Next, nullptr) & DLGC_STATIC)) continue;
                FocusControl(Next);
                return true;
            }
            return true;
        }
        if (!(Code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) SetFocus(C);
        if (IsWindow(C)) SendMessageW(C, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

}  // namespace

BOOL IsDialogMessageW(HWND Dlg, MSG* Msg) {
    if (!Msg || !IsWindow(Dlg)) return FALSE;
    if (Msg->hwnd != Dlg && !IsChild(Dlg, Msg->hwnd)) return FALSE;
    if ((Msg->message == WM_KEYDOWN || Msg->message == WM_KEYUP) && Msg->wParam == VK_SHIFT)
        ShiftHeld() = Msg->message == WM_KEYDOWN;
    // Mnemonics: Alt with a letter or digit, or a plain character the
    // focused control has no use for.
    if (Msg->message == WM_SYSKEYDOWN || Msg->message == WM_SYSCHAR || Msg->message == WM_CHAR) {
        HWND Ctl = ControlOf(Dlg, Msg->hwnd);
        char16_t Key = 0;
        if (Msg->message == WM_SYSKEYDOWN) {
            WPARAM Vk = Msg->wParam;
            if ((Vk >= 'A' && Vk <= 'Z') || (Vk >= '0' && Vk <= '9')) Key = char16_t(Vk);
        } else if (Msg->wParam > u' ' && Msg->wParam < 0x10000) {
            LRESULT Code = Msg->hwnd != Dlg ? DlgCode(Msg->hwnd, Msg) : 0;
            if (Msg->message == WM_SYSCHAR || !(Code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)))
                Key = char16_t(Msg->wParam);
        }
        if (Key && DoMnemonic(Dlg, Ctl, Key)) return TRUE;
    }
    if (Msg->message != WM_KEYDOWN) {
        TranslateMessage(Msg);
        DispatchMessageW(Msg);
        return TRUE;
    }
    HWND Target = Msg->hwnd;
    LRESULT Code = Target != Dlg ? DlgCode(Target, Msg) : 0;
    bool Wants = Code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
    HWND Ctl = ControlOf(Dlg, Target);
    switch (Msg->wParam) {
        case VK_TAB:
            if (Wants || (Code & DLGC_WANTTAB)) break;
            FocusControl(GetNextDlgTabItem(Dlg, Ctl, ShiftHeld() ? TRUE : FALSE));
            return TRUE;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN: {
            if (Wants || (Code & DLGC_WANTARROWS) || !Ctl) break;
            HWND To = GetNextDlgGroupItem(Dlg, Ctl, Msg->wParam == VK_LEFT || Msg->wParam == VK_UP);
            if (!To || To == Ctl) return TRUE;
            SetFocus(To);
            // An automatic radio button reached by the arrows is chosen.
            if (IsWindow(To) && (DlgCode(To, nullptr) & DLGC_RADIOBUTTON) &&
                (Style(To) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                SendMessageW(To, BM_CLICK, 0, 0);
            return TRUE;
        }
        case VK_RETURN: {
            if (Wants) break;
            int Id = DefaultId(Dlg);
            if (Ctl && IsPush(Ctl)) Id = GetDlgCtrlID(Ctl);
            Command(Dlg, Id);
            return TRUE;
        }
        case VK_ESCAPE:
            if (Wants) break;
            Command(Dlg, IDCANCEL);
            return TRUE;
        default:
            break;
    }
    TranslateMessage(Msg);
    DispatchMessageW(Msg);
    return TRUE;
}

HWND CreateDialogIndirectParamW(HINSTANCE, const TDialogTemplate* Template, HWND Owner,
                                DLGPROC Proc, LPARAM Init) {
    return Build(Template, Owner, Proc, Init, false);
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE, const TDialogTemplate* Template, HWND Owner,
                                DLGPROC Proc, LPARAM Init) {
    if (!Template) return -1;
    TDialogTemplate T = *Template;
    T.Style &= ~WS_VISIBLE;
    HWND Dlg = Build(&T, Owner, Proc, Init, true);
    if (!Dlg) return -1;
    return RunModal(Dlg, Owner, MSGF_DIALOGBOX);
}

BOOL EndDialog(HWND Dlg, INT_PTR Result) {
    TDialogRun* R = RunOf(Dlg);
    if (!R) return FALSE;
    R->Ended = true;
    R->Result = Result;
    if (!R->Modal) ShowWindow(Dlg, SW_HIDE);
    return TRUE;
}

LRESULT SendDlgItemMessageW(HWND Dlg, int Id, UINT Msg, WPARAM W, LPARAM L) {
    HWND C = GetDlgItem(Dlg, Id);
    return C ? SendMessageW(C, Msg, W, L) : 0;
}

BOOL SetDlgItemTextW(HWND Dlg, int Id, LPCWSTR Text) {
    HWND C = GetDlgItem(Dlg, Id);
    return C ? SetWindowTextW(C, Text) : FALSE;
}

UINT GetDlgItemTextW(HWND Dlg, int Id, LPWSTR Buffer, int Max) {
    HWND C = GetDlgItem(Dlg, Id);
    if (!C) {
        if (Buffer && Max > 0) Buffer[0] = 0;
        return 0;
    }
    return UINT(GetWindowTextW(C, Buffer, Max));
}

BOOL CheckDlgButton(HWND Dlg, int Id, UINT Check) {
    HWND C = GetDlgItem(Dlg, Id);
    if (!C) return FALSE;
    SendMessageW(C, BM_SETCHECK, Check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND Dlg, int Id) {
    return UINT(SendDlgItemMessageW(Dlg, Id, BM_GETCHECK, 0, 0));
}

BOOL CheckRadioButton(HWND Dlg, int First, int Last, int Check) {
    for (int Id = First; Id <= Last && Id - First < 100000; ++Id)
        if (HWND C = GetDlgItem(Dlg, Id))
            SendMessageW(C, BM_SETCHECK, Id == Check ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}

// ---------------------------------------------------------------------------
// Message boxes.

int MessageBoxIconId(UINT Type) {
    switch (Type & MB_ICONMASK) {
        case MB_ICONHAND:
            return IDI_HAND;
        case MB_ICONQUESTION:
            return IDI_QUESTION;
        case MB_ICONEXCLAMATION:
            return IDI_EXCLAMATION;
        case MB_ICONASTERISK:
            return IDI_ASTERISK;
        default:
            return 0;
    }
}

namespace {

struct TBoxButtons {
    std::vector<std::pair<int, const char16_t*>> List;
};

TBoxButtons ButtonsOf(UINT Type) {
    switch (Type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {{{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}}};
        case MB_ABORTRETRYIGNORE:
            return {{{IDABORT, u"&Abort"}, {IDRETRY, u"&Retry"}, {IDIGNORE, u"&Ignore"}}};
        case MB_YESNOCANCEL:
            return {{{IDYES, u"&Yes"}, {IDNO, u"&No"}, {IDCANCEL, u"Cancel"}}};
        case MB_YESNO:
            return {{{IDYES, u"&Yes"}, {IDNO, u"&No"}}};
        case MB_RETRYCANCEL:
            return {{{IDRETRY, u"&Retry"}, {IDCANCEL, u"Cancel"}}};
        default:
            return {{{IDOK, u"OK"}}};
    }
}

INT_PTR MessageBoxProc(HWND Dlg, UINT Msg, WPARAM W, LPARAM) {
    switch (Msg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND: {
            int Id = LOWORD(W);
            HWND B = GetDlgItem(Dlg, Id);
            if (B && GetClassNameString(B) == u"Button") {
                EndDialog(Dlg, Id);
                return TRUE;
            }
            // Esc or the close box: Cancel when there is one; a box with only
            // OK answers OK; otherwise the box stays.
            if (Id == IDCANCEL) {
                if (GetDlgItem(Dlg, IDOK) && !GetDlgItem(Dlg, IDNO) && !GetDlgItem(Dlg, IDRETRY))
                    EndDialog(Dlg, IDOK);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

int MessageBoxW(HWND Owner, LPCWSTR Text, LPCWSTR Caption, UINT Type) {
    std::u16string Body = Text ? ui::FromWide(Text) : std::u16string();
    std::u16string Title = Caption ? ui::FromWide(Caption) : std::u16string(u"Error");
    TBoxButtons Buttons = ButtonsOf(Type);
    const int BtnW = 75, BtnH = 23, Gap = 6, Margin = 12, Icon = 32;
    int IconId = MessageBoxIconId(Type);
    // Measure the text.
    HDC Dc = CreateCompatibleDC(nullptr);
    RECT T{0, 0, 400, 0};
    if (Dc) {
        HGDIOBJ Old = SelectObject(Dc, ui::DefaultControlFont());
        DrawTextW(Dc, Body.c_str(), int(Body.size()), &T,
                  DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        SelectObject(Dc, Old);
        DeleteDC(Dc);
    }
    int TextW = std::clamp<int>(T.right - T.left, 40, 600),
        TextH = std::clamp<int>(T.bottom - T.top, 16, 600);
    int N = int(Buttons.List.size());
    int RowW = N * BtnW + (N - 1) * Gap;
    int BodyX = Margin + (IconId ? Icon + Margin : 0);
    int Width = std::max(BodyX + TextW + Margin, RowW + 2 * Margin);
    int BodyH = std::max(TextH, IconId ? Icon : 0);
    int Height = Margin + BodyH + Margin + BtnH + Margin;
    TDialogTemplate D;
    D.Title = Title;
    D.Width = Width;
    D.Height = Height;
    if (IconId) {
        // The icon static names its icon by number, as item tables do.
        std::string Digits = std::to_string(IconId);
        D.Items.push_back({u"Static",
                           u"#" + std::u16string(Digits.begin(), Digits.end()),
                           IDC_MESSAGEBOX_ICON,
                           WS_CHILD | WS_VISIBLE | SS_ICON,
                           {Margin, Margin, Margin + Icon, Margin + Icon}});
    }
    D.Items.push_back({u"Static",
                       Body,
                       IDC_MESSAGEBOX_TEXT,
                       WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                       {BodyX, Margin + (BodyH - TextH) / 2, BodyX + TextW,
                        Margin + (BodyH - TextH) / 2 + TextH}});
    int Default = std::clamp(int((Type & MB_DEFMASK) >> 8), 0, N - 1);
    int X = (Width - RowW) / 2, Y = Margin + BodyH + Margin;
    for (int I = 0; I < N; ++I) {
        DWORD S = WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                  (I == Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | (I == 0 ? WS_GROUP : 0);
        D.Items.push_back({u"Button",
                           Buttons.List[size_t(I)].second,
                           Buttons.List[size_t(I)].first,
                           S,
                           {X, Y, X + BtnW, Y + BtnH}});
        X += BtnW + Gap;
    }
    HWND Dlg = Build(&D, Owner, MessageBoxProc, 0, true);
    if (!Dlg) return 0;
    // The default button has the focus when the box shows.
    if (TDialogRun* R = RunOf(Dlg))
        R->SavedFocus = GetDlgItem(Dlg, Buttons.List[size_t(Default)].first);
    INT_PTR Result = RunModal(Dlg, Owner, MSGF_MESSAGEBOX);
    return int(Result);
}

}  // namespace velmo
