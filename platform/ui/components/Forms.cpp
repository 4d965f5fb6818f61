#include "platform/ui/components/Forms.h"

#include <algorithm>

#include "platform/fonts/DCText.h"
#include "platform/text/Utf8.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Menus.h"
#include "platform/ui/components/Menus.h"

namespace velmo::vcl {

namespace {

constexpr UINT_PTR HintShowTimer = 1;
constexpr UINT_PTR HintHideTimer = 2;

void ParentOfStored(TComponent* Child, TComponent* Parent) {
    auto* C = dynamic_cast<TControl*>(Child);
    auto* P = dynamic_cast<TWinControl*>(Parent);
    if (C && P) C->SetParent(P);
}

void ApplicationExceptionHandler(std::exception_ptr Error) {
    Application()->HandleException(Error);
}

// An error text (UTF-8) as UTF-16; malformed bytes become U+FFFD.
std::u16string FromUtf8Lossy(const std::string& S) {
    std::u16string R;
    size_t I = 0;
    while (I < S.size()) {
        unsigned char C = static_cast<unsigned char>(S[I]);
        int N = C < 0x80 ? 0 : (C >> 5) == 6 ? 1 : (C >> 4) == 14 ? 2 : (C >> 3) == 30 ? 3 : -1;
        char32_t Cp = N == 0 ? C : N == 1 ? (C & 0x1F) : N == 2 ? (C & 0x0F) : (C & 0x07);
        bool Ok = N >= 0 && I + size_t(N) < S.size();
        for (int K = 1; Ok && K <= N; ++K) {
            unsigned char D = static_cast<unsigned char>(S[I + size_t(K)]);
            if ((D >> 6) != 2) Ok = false;
            Cp = (Cp << 6) | (D & 0x3F);
        }
        if (!Ok || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF)) {
            R.push_back(u'\uFFFD');
            ++I;
            continue;
        }
        if (Cp >= 0x10000) {
            Cp -= 0x10000;
            R.push_back(char16_t(0xD800 + (Cp >> 10)));
            R.push_back(char16_t(0xDC00 + (Cp & 0x3FF)));
        } else {
            R.push_back(char16_t(Cp));
        }
        I += size_t(N) + 1;
    }
    return R;
}

}  // namespace

TApplication* Application() {
    static TApplication* A = [] {
        SetStoredParentSetter(&ParentOfStored);
        SetControlExceptionHandler(&ApplicationExceptionHandler);
        return new TApplication(nullptr);
    }();
    return A;
}

TScreen* Screen() {
    static TScreen* S = new TScreen(nullptr);
    return S;
}

// --- TCustomPanel -------------------------------------------------------------------------

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
    FColor = clBtnFace;
    FWidth = 185, FHeight = 41;
}

void TCustomPanel::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        EnumProp<TCustomPanel, TAlignment>("Alignment",
                                           {"taLeftJustify", "taRightJustify", "taCenter"},
                                           &TCustomPanel::Alignment, &TCustomPanel::SetAlignment),
        EnumProp<TCustomPanel, TBevelCut>("BevelOuter", {"bvNone", "bvLowered", "bvRaised"},
                                          &TCustomPanel::BevelOuter, &TCustomPanel::SetBevelOuter),
        BoolProp<TCustomPanel>("Transparent", &TCustomPanel::Transparent,
                               &TCustomPanel::SetTransparent),
    };
    TCustomControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TCustomPanel::SetBevelOuter(TBevelCut V) {
    FBevelOuter = V;
    Realign();
    Invalidate();
}
void TCustomPanel::SetAlignment(TAlignment V) {
    FAlignment = V;
    Invalidate();
}
void TCustomPanel::SetTransparent(bool V) {
    FTransparent = V;
    Invalidate();
}

void TCustomPanel::AdjustClientRect(RECT& R) const {
    if (FBevelOuter != bvNone) {
        R.left += 1, R.top += 1, R.right -= 1, R.bottom -= 1;
    }
}

void TCustomPanel::Paint() {
    RECT R = ClientRect();
    HDC Dc = FCanvas->Handle();
    if (!Dc) return;
    if (!FTransparent) {
        FCanvas->Brush().Color = FColor;
        FCanvas->Brush().Style = bsSolid;
        FCanvas->FillRect(R);
    }
    if (FBevelOuter != bvNone) {
        RECT E = R;
        DrawEdge(Dc, &E, FBevelOuter == bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
    }
    if (!FText.empty()) {
        FCanvas->Brush().Style = bsClear;
        HDC T = FCanvas->TextHandle();
        UINT Flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS |
                     (FAlignment == taCenter         ? DT_CENTER
                      : FAlignment == taRightJustify ? DT_RIGHT
                                                     : DT_LEFT);
        RECT Tr = R;
        DrawTextW(T, FText.c_str(), int(FText.size()), &Tr, Flags);
    }
}

// --- TCustomForm -----------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner)
    : TWinControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {
    Application();  // the stored-form and error plumbing is in place
    FColor = clBtnFace;
    FVisible = false;
    FWidth = 320, FHeight = 240;
    Screen()->FForms.push_back(this);
}

TCustomForm::~TCustomForm() {
    if (FCreated && OnDestroy) {
        try {
            OnDestroy(this);
        } catch (...) {
            HandleControlException(std::current_exception());
        }
    }
    auto& L = Screen()->FForms;
    L.erase(std::remove(L.begin(), L.end(), this), L.end());
    if (Application()->MainForm() == this) Application()->SetMainForm(nullptr);
    // Owned components and child controls go while the form is still a form.
    MarkDestroying();
    DestroyComponents();
    while (ControlCount()) {
        TControl* C = Controls(ControlCount() - 1);
        RemoveControl(C);
        delete C;
    }
}

void TCustomForm::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        BoolProp<TCustomForm>("AutoScroll", &TCustomForm::AutoScroll, &TCustomForm::SetAutoScroll),
        EnumProp<TCustomForm, TFormBorderStyle>(
            "BorderStyle",
            {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
            &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle),
        IntProp<TCustomForm, int>("ClientHeight", &TCustomForm::ClientHeight,
                                  &TCustomForm::SetClientHeight),
        IntProp<TCustomForm, int>("ClientWidth", &TCustomForm::ClientWidth,
                                  &TCustomForm::SetClientWidth),
        ObjProp<TCustomForm, TMainMenu>("Menu", &TCustomForm::Menu, &TCustomForm::SetMenu),
        EnumProp<TCustomForm, TPosition>("Position", {"poDesigned", "poScreenCenter"},
                                         &TCustomForm::Position, &TCustomForm::SetPosition),
    };
    TWinControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TCustomForm::ReadStoredForm(const std::vector<TStoredComponent>& Table) {
    ReadStoredComponents(*this, Table);
    DoCreate();
}

void TCustomForm::InitializeHandle() {
    TWinControl::InitializeHandle();
    if (FMenu) velmo::SetMenu(FHandle, FMenu->Handle());
}

void TCustomForm::DoCreate() {
    FCreated = true;
    if (OnCreate) OnCreate(this);
}

void TCustomForm::CreateParams(TCreateParams& P) {
    TWinControl::CreateParams(P);
    P.Style &= ~DWORD(WS_CHILD | WS_VISIBLE | WS_TABSTOP);
    P.Style |= WS_CLIPCHILDREN;
    switch (FBorderStyle) {
        case bsNone:
            P.Style |= WS_POPUP;
            break;
        case bsSingle:
        case bsToolWindow:
            P.Style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
            break;
        case bsDialog:
            P.Style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
            P.ExStyle |= WS_EX_DLGMODALFRAME;
            break;
        default:
            P.Style |= WS_OVERLAPPEDWINDOW;
            break;
    }
    P.WndParent = nullptr;
}

void TCustomForm::SetBorderStyle(TFormBorderStyle V) {
    if (V == FBorderStyle) return;
    int Cw = ClientWidth(), Ch = ClientHeight();
    FBorderStyle = V;
    SetClientSize(Cw, Ch);
    if (HandleAllocated()) RecreateWnd();
}

int TCustomForm::ClientWidth() const {
    if (FHandle) return TWinControl::ClientWidth();
    TCreateParams P;
    const_cast<TCustomForm*>(this)->CreateParamsNoParent(P);
    RECT R{0, 0, 0, 0};
    AdjustWindowRectEx(&R, P.Style, FMenu != nullptr, P.ExStyle);
    return std::max(0, FWidth - (R.right - R.left));
}

int TCustomForm::ClientHeight() const {
    if (FHandle) return TWinControl::ClientHeight();
    TCreateParams P;
    const_cast<TCustomForm*>(this)->CreateParamsNoParent(P);
    RECT R{0, 0, 0, 0};
    AdjustWindowRectEx(&R, P.Style, FMenu != nullptr, P.ExStyle);
    return std::max(0, FHeight - (R.bottom - R.top));
}

void TCustomForm::SetClientSize(int W, int H) {
    SetBounds(FLeft, FTop, FWidth - ClientWidth() + W, FHeight - ClientHeight() + H);
}

bool TCustomForm::Showing() const { return FHandle && IsWindowVisible(FHandle); }

void TCustomForm::Show() {
    FVisible = true;
    HWND H = Handle();
    if (FPosition == poScreenCenter) {
        int X = (Screen()->Width() - FWidth) / 2, Y = (Screen()->Height() - FHeight) / 2;
        SetBounds(std::max(0, X), std::max(0, Y), FWidth, FHeight);
    }
    ShowWindow(H, SW_SHOW);
    if (OnShow) OnShow(this);
}

void TCustomForm::Close() {
    TCloseAction Action = Application()->MainForm() == this ? caFree : caHide;
    if (OnClose) OnClose(this, Action);
    if (Action == caNone) return;
    if (Application()->MainForm() == this) {
        Application()->Terminate();
        if (FHandle) ShowWindow(FHandle, SW_HIDE);
        FVisible = false;
        return;
    }
    if (Action == caHide || Action == caMinimize) {
        if (FHandle) ShowWindow(FHandle, Action == caHide ? SW_HIDE : SW_MINIMIZE);
        if (Action == caHide) FVisible = false;
    } else if (Action == caFree) {
        Release();
    }
}

void TCustomForm::Release() {
    if (FHandle) PostMessageW(FHandle, CM_RELEASE, 0, 0);
}

void TCustomForm::SetMenu(TMainMenu* V) {
    if (V == FMenu) return;
    if (FMenu) FMenu->RemoveFreeNotification(this);
    FMenu = V;
    if (V) V->FreeNotification(this);
    if (FHandle) velmo::SetMenu(FHandle, V ? V->Handle() : nullptr);
    Perform(CM_MENUCHANGED, 0, 0);
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
    TWinControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FMenu) FMenu = nullptr;
}

void TCustomForm::PaintWindow(HDC Dc) {
    if (!OnPaint) return;
    FCanvas->SetHandle(Dc);
    FCanvas->Font().Assign(*FFont);
    try {
        OnPaint(this);
    } catch (...) {
        FCanvas->SetHandle(nullptr);
        throw;
    }
    FCanvas->SetHandle(nullptr);
}

void TCustomForm::WndProc(TMessage& M) {
    switch (M.Msg) {
        case WM_CLOSE:
            Close();
            return;
        case CM_RELEASE:
            delete this;
            return;
        case WM_COMMAND:
            // A menu command (no control window in lParam).
            if (M.LParam == 0 && FMenu && FMenu->DispatchCommand(LOWORD(M.WParam))) return;
            break;
        case WM_MEASUREITEM:
            if (M.LParam && reinterpret_cast<TMeasureItemStruct*>(M.LParam)->CtlType == ODT_MENU) {
                auto* Mi = reinterpret_cast<TMeasureItemStruct*>(M.LParam);
                if (TMenuItem* I = FindOwnerDrawItem(Mi->itemData, Mi->itemID)) {
                    int W = int(Mi->itemWidth), H = int(Mi->itemHeight);
                    I->MeasureItem(*FCanvas, W, H);
                    Mi->itemWidth = UINT(std::max(0, W));
                    Mi->itemHeight = UINT(std::max(0, H));
                    M.Result = 1;
                    return;
                }
            }
            break;
        case WM_DRAWITEM:
            if (M.LParam && reinterpret_cast<TDrawItemStruct*>(M.LParam)->CtlType == ODT_MENU) {
                auto* Di = reinterpret_cast<TDrawItemStruct*>(M.LParam);
                if (TMenuItem* I = FindOwnerDrawItem(Di->itemData, Di->itemID)) {
                    TCanvas C;
                    C.SetHandle(Di->hDC);
                    C.Font().Assign(*FFont);
                    I->DrawItem(C, Di->rcItem, (Di->itemState & ODS_SELECTED) != 0);
                    C.SetHandle(nullptr);
                    M.Result = 1;
                    return;
                }
            }
            break;
        default:
            break;
    }
    TWinControl::WndProc(M);
}

TMenuItem* TCustomForm::FindOwnerDrawItem(ULONG_PTR Data, UINT Id) const {
    for (TComponent* C : ComponentList())
        if (auto* Menu = dynamic_cast<TMenu*>(C)) {
            if (TMenuItem* I = Menu->FindItem(Data)) return I;
            if (TMenuItem* I = Menu->FindItem(Id, fkCommand)) return I;
        }
    return nullptr;
}

void TCustomForm::CreateParamsNoParent(TCreateParams& P) {
    P.Style = 0;
    P.ExStyle = 0;
    TCreateParams Q;
    Q.Style = 0;
    // The frame styles alone decide the frame size.
    switch (FBorderStyle) {
        case bsNone:
            P.Style = WS_POPUP;
            break;
        case bsSingle:
        case bsToolWindow:
            P.Style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
            break;
        case bsDialog:
            P.Style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
            P.ExStyle = WS_EX_DLGMODALFRAME;
            break;
        default:
            P.Style = WS_OVERLAPPEDWINDOW;
            break;
    }
}

// --- THintWindow ---------------------------------------------------------------------------------

THintWindow::THintWindow(TComponent* AOwner) : TCustomControl(AOwner) {
    FColor = clInfoBk;
    FVisible = false;
    FFont->SetColor(clInfoText);
}

void THintWindow::CreateParams(TCreateParams& P) {
    TCustomControl::CreateParams(P);
    P.Style = WS_POPUP | WS_BORDER;
    P.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    P.WndParent = nullptr;
}

RECT THintWindow::CalcHintRect(int MaxWidth, const std::u16string& Text) {
    RECT R{0, 0, std::max(1, MaxWidth), 0};
    HDC Dc = FCanvas->TextHandle();
    if (Dc)
        DrawTextW(Dc, Text.c_str(), int(Text.size()), &R,
                  DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    R.right += 6;
    R.bottom += 2;
    return R;
}

void THintWindow::ActivateHint(RECT Rect, const std::u16string& Text) {
    FText = Text;
    FVisible = true;
    HWND H = Handle();
    SetWindowTextW(H, Text.c_str());
    SetWindowPos(H, HWND_TOPMOST, Rect.left, Rect.top, Rect.right - Rect.left,
                 Rect.bottom - Rect.top, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    InvalidateRect(H, nullptr, TRUE);
}

void THintWindow::Paint() {
    RECT R = ClientRect();
    FCanvas->Brush().Color = FColor;
    FCanvas->Brush().Style = bsSolid;
    FCanvas->FillRect(R);
    R.left += 2, R.top += 1;
    FCanvas->Brush().Style = bsClear;
    if (HDC Dc = FCanvas->TextHandle())
        DrawTextW(Dc, FText.c_str(), int(FText.size()), &R, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}

// --- TTimer
// ---------------------------------------------------------------------------------------

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {}

TTimer::~TTimer() {
    if (FWindow && IsWindow(FWindow)) {
        KillTimer(FWindow, 1);
        SetWindowLongPtrW(FWindow, GWL_USERDATA, 0);
        DestroyWindow(FWindow);
    }
}

void TTimer::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        BoolProp<TTimer>("Enabled", &TTimer::Enabled, &TTimer::SetEnabled),
        IntProp<TTimer, int>("Interval", &TTimer::Interval, &TTimer::SetInterval),
    };
    TComponent::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

LRESULT TTimer::TimerWndProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_TIMER) {
        auto* T = reinterpret_cast<TTimer*>(GetWindowLongPtrW(Wnd, GWL_USERDATA));
        if (T && T->FOnTimer) {
            try {
                TNotifyEvent E = T->FOnTimer;  // the handler may free the timer
                E(T);
            } catch (...) {
                HandleControlException(std::current_exception());
            }
        }
        return 0;
    }
    return DefWindowProcW(Wnd, Msg, W, L);
}

void TTimer::UpdateTimer() {
    if (FWindow && IsWindow(FWindow)) KillTimer(FWindow, 1);
    if (!FEnabled || FInterval <= 0 || !FOnTimer) return;
    if (!FWindow || !IsWindow(FWindow)) {
        static const bool Registered = [] {
            WNDCLASSEXW C;
            C.lpfnWndProc = &TTimer::TimerWndProc;
            C.lpszClassName = u"TPUtilWindow";
            C.hInstance = GetModuleHandleW(nullptr);
            return RegisterClassExW(&C) != 0;
        }();
        (void)Registered;
        FWindow = CreateWindowExW(WS_EX_TOOLWINDOW, u"TPUtilWindow", u"", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!FWindow) return;
        SetWindowLongPtrW(FWindow, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    SetTimer(FWindow, 1, UINT(FInterval), nullptr);
}

void TTimer::SetEnabled(bool V) {
    if (V == FEnabled) return;
    FEnabled = V;
    UpdateTimer();
}

void TTimer::SetInterval(int V) {
    if (V == FInterval) return;
    FInterval = V;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent E) {
    FOnTimer = std::move(E);
    UpdateTimer();
}

// --- TApplication
// ------------------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() {
    if (FHandle && IsWindow(FHandle)) DestroyWindow(FHandle);
}

void TApplication::Initialize() { Handle(); }

LRESULT TApplication::AppWndProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    TApplication* A = Application();
    switch (Msg) {
        case WM_GETICON:
            return reinterpret_cast<LRESULT>(A->FIcon.Handle());
        case WM_MEASUREITEM:
            // Owner-drawn items of the popup menus this window owns.
            if (auto* Mi = reinterpret_cast<MEASUREITEMSTRUCT*>(L); Mi && Mi->CtlType == ODT_MENU)
                if (TMenuItem* I = FindMenuItemOfData(Mi->itemData)) {
                    TCanvas C;
                    int Wd = int(Mi->itemWidth), Ht = int(Mi->itemHeight);
                    I->MeasureItem(C, Wd, Ht);
                    Mi->itemWidth = UINT(std::max(0, Wd));
                    Mi->itemHeight = UINT(std::max(0, Ht));
                    return 1;
                }
            break;
        case WM_DRAWITEM:
            if (auto* Di = reinterpret_cast<DRAWITEMSTRUCT*>(L); Di && Di->CtlType == ODT_MENU)
                if (TMenuItem* I = FindMenuItemOfData(Di->itemData)) {
                    TCanvas C;
                    C.SetHandle(Di->hDC);
                    I->DrawItem(C, Di->rcItem, (Di->itemState & ODS_SELECTED) != 0);
                    C.SetHandle(nullptr);
                    return 1;
                }
            break;
        case WM_TIMER:
            if (W == HintShowTimer || W == HintHideTimer) {
                A->HintTimerExpired(W);
                return 0;
            }
            break;
        case WM_CLOSE:
            if (A->FMainForm) A->FMainForm->Close();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(Wnd, Msg, W, L);
}

HWND TApplication::Handle() {
    if (FHandle && IsWindow(FHandle)) return FHandle;
    static const bool Registered = [] {
        WNDCLASSEXW C;
        C.lpfnWndProc = &TApplication::AppWndProc;
        C.lpszClassName = u"TApplication";
        C.hInstance = GetModuleHandleW(nullptr);
        return RegisterClassExW(&C) != 0;
    }();
    (void)Registered;
    FHandle = CreateWindowExW(0, u"TApplication", FTitle.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    return FHandle;
}

void TApplication::Run() {
    FTerminated = false;
    if (FMainForm) FMainForm->Show();
    while (!FTerminated && HandleMessage()) {
    }
}

bool TApplication::ProcessMessage(MSG& Msg) {
    if (Msg.message == WM_QUIT) {
        FTerminated = true;
        return false;
    }
    HintMouseMessage(Msg);
    TranslateMessage(&Msg);
    DispatchMessageW(&Msg);
    return true;
}

bool TApplication::HandleMessage() {
    MSG Msg;
    BOOL R = GetMessageW(&Msg, nullptr, 0, 0);
    if (R == 0) {
        FTerminated = true;
        return false;
    }
    if (R < 0) return false;  // nothing can ever arrive
    return ProcessMessage(Msg);
}

void TApplication::ProcessMessages() {
    MSG Msg;
    while (PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!ProcessMessage(Msg)) {
            PostQuitMessage(int(Msg.wParam));  // the outer loop ends too
            break;
        }
    }
}

void TApplication::Terminate() {
    if (!FTerminated) PostQuitMessage(0);
    FTerminated = true;
}

void TApplication::HandleException(std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const EAbort&) {
        return;
    } catch (...) {
    }
    if (OnException) {
        OnException(this, Error);
        return;
    }
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& E) {
        ShowException(E.what());
    } catch (...) {
        ShowException("Unknown error");
    }
}

void TApplication::ShowException(const std::string& Message) {
    std::u16string Text = FromUtf8Lossy(Message);
    if (!Text.empty() && Text.back() > u'.') Text += u'.';
    MessageBoxW(FMainForm && FMainForm->HandleAllocated() ? FMainForm->Handle() : Handle(),
                Text.c_str(), FTitle.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    if (AComponent == FMainForm) FMainForm = nullptr;
    if (AComponent == FHint) FHint = nullptr;
    if (AComponent == FHintControl) {
        FHintControl = nullptr;
        if (FHandle && IsWindow(FHandle)) KillTimer(FHandle, HintShowTimer);
    }
}

void TApplication::CancelHint() {
    if (FHandle && IsWindow(FHandle)) {
        KillTimer(FHandle, HintShowTimer);
        KillTimer(FHandle, HintHideTimer);
    }
    if (FHint && FHint->HandleAllocated()) FHint->ReleaseHandle();
    if (FHintControl) RemoveFreeNotification(FHintControl);
    FHintControl = nullptr;
    FHintShown = false;
}

void TApplication::HintMouseMessage(const MSG& Msg) {
    if (Msg.message != WM_MOUSEMOVE || !ShowHint) return;
    TControl* Target = FindControl(Msg.hwnd);
    if (auto* W = dynamic_cast<TWinControl*>(Target))
        if (TControl* G =
                W->ControlAtPos(POINT{GET_X_LPARAM(Msg.lParam), GET_Y_LPARAM(Msg.lParam)}))
            Target = G;
    if (Target == FHintControl) return;
    const bool WasShown = FHintShown;
    CancelHint();
    if (!Target || !Target->ShowHint() || Target->Hint().empty()) return;
    FHintControl = Target;
    FreeNotification(Target);  // a control freed meanwhile clears it
    SetTimer(Handle(), HintShowTimer, UINT(WasShown ? HintShortPause : HintPause), nullptr);
}

void TApplication::HintTimerExpired(UINT_PTR Id) {
    KillTimer(Handle(), Id);
    if (Id == HintHideTimer) {
        if (FHint && FHint->HandleAllocated()) FHint->ReleaseHandle();
        FHintShown = false;
        return;
    }
    if (!FHintControl) return;
    if (!FHint) FHint = new THintWindow(this);
    POINT P;
    DWORD Pos = GetMessagePos();
    P.x = GET_X_LPARAM(LPARAM(Pos)), P.y = GET_Y_LPARAM(LPARAM(Pos));
    RECT R = FHint->CalcHintRect(300, FHintControl->Hint());
    R.left += P.x, R.right += P.x, R.top += P.y + 20, R.bottom += P.y + 20;
    FHint->ActivateHint(R, FHintControl->Hint());
    FHintShown = true;
    SetTimer(Handle(), HintHideTimer, UINT(HintHidePause), nullptr);
}

TCustomForm* TScreen::Forms(int Index) const {
    if (Index < 0 || Index >= int(FForms.size())) return nullptr;
    return FForms[size_t(Index)];
}

TCustomForm* TScreen::ActiveForm() const {
    HWND A = GetActiveWindow();
    for (TCustomForm* F : FForms)
        if (F->HandleAllocated() && F->Handle() == A) return F;
    return nullptr;
}

}  // namespace velmo::vcl
