#include "platform/ui/components/Controls.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "platform/ui/Controls.h"

namespace velmo::vcl {

// --- Shared helpers ---------------------------------------------------------------------

namespace {

TExceptionHandler& ExceptionHandler() {
    static TExceptionHandler H = nullptr;
    return H;
}

// The control whose window is being made: its first messages bind it.
thread_local TWinControl* CreationControl = nullptr;

// Procedures under the window classes made for controls, by folded class
// name: what a control's unanswered messages go to.
std::map<std::u16string, WNDPROC>& BaseProcs() {
    static std::map<std::u16string, WNDPROC> M;
    return M;
}

std::u16string FoldName(std::u16string S) {
    for (auto& C : S)
        if (C >= u'A' && C <= u'Z') C = char16_t(C + 32);
    return S;
}

WNDPROC BaseProcOf(HWND Wnd) {
    auto It = BaseProcs().find(FoldName(GetClassNameString(Wnd)));
    return It == BaseProcs().end() || !It->second ? DefWindowProcW : It->second;
}

bool IsMouseMessage(UINT Msg) { return Msg >= WM_MOUSEFIRST && Msg <= WM_MBUTTONDBLCLK; }

// What a parent hears about a child: it goes back to the child's control as
// the CN_ message.
bool IsReflectedMessage(UINT Msg) {
    return Msg == WM_COMMAND || Msg == WM_NOTIFY || Msg == WM_HSCROLL || Msg == WM_VSCROLL ||
           IsCtlColorMessage(Msg) || Msg == WM_DRAWITEM || Msg == WM_MEASUREITEM;
}

}  // namespace

void SetControlExceptionHandler(TExceptionHandler Handler) { ExceptionHandler() = Handler; }

void HandleControlException(std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const EAbort&) {
        return;
    } catch (...) {
    }
    if (ExceptionHandler()) ExceptionHandler()(Error);
}

TShiftState MouseShift(WPARAM W) {
    TShiftState S = 0;
    if (W & MK_SHIFT) S |= ssShift;
    if (W & MK_CONTROL) S |= ssCtrl;
    if (W & MK_LBUTTON) S |= ssLeft;
    if (W & MK_RBUTTON) S |= ssRight;
    if (W & MK_MBUTTON) S |= ssMiddle;
    return S;
}

std::u16string ControlAtomString() {
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "ControlOfs%.8X%.8X",
                  unsigned(uint32_t(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)))),
                  unsigned(GetCurrentThreadId()));
    return Widen(Buf);
}

ATOM ControlAtom() {
    static thread_local ATOM A = 0;
    if (!A) {
        std::u16string S = ControlAtomString();
        A = GlobalAddAtomW(S.c_str());
    }
    return A;
}

TWinControl* FindControl(HWND Wnd) {
    if (!Wnd || !IsWindow(Wnd)) return nullptr;
    return static_cast<TWinControl*>(GetPropW(Wnd, MAKEINTATOM(ControlAtom())));
}

TWinControl* GetControlOfWindow(HWND Wnd) { return FindControl(Wnd); }

LRESULT ControlWindowProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    TWinControl* C = FindControl(Wnd);
    if (!C && CreationControl && !CreationControl->FHandle) {
        C = CreationControl;
        CreationControl = nullptr;
        C->FHandle = Wnd;
        SetPropW(Wnd, MAKEINTATOM(ControlAtom()), C);
    }
    if (!C) return CallWindowProcW(BaseProcOf(Wnd), Wnd, Msg, W, L);
    TMessage M{Msg, W, L, 0};
    C->MainWndProc(M);
    if (Msg == WM_NCDESTROY) {
        RemovePropW(Wnd, MAKEINTATOM(ControlAtom()));
        if (C->FHandle == Wnd) C->FHandle = nullptr;
    }
    return M.Result;
}

// --- TControl -----------------------------------------------------------------------------

struct TControl::TProcNode {
    TWndMethod Proc;
    TProcNode* Below = nullptr;
    bool Removed = false;
};

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), FFont(std::make_unique<TFont>()) {
    auto Base = std::make_unique<TProcNode>();
    Base->Proc = TWndMethod{&TControl::OwnThunk, this};
    FBase = FTopLink = Base.get();
    FNodes.push_back(std::move(Base));
    FFont->OnChange = [this](TObject*) { FontChanged(); };
}

TControl::~TControl() {
    if (FParent) FParent->RemoveControl(this);
    FFont->OnChange = nullptr;
}

void TControl::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        EnumProp<TControl, TAlign>("Align",
                                   {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"},
                                   &TControl::Align, &TControl::SetAlign),
        EnumProp<TControl, TBiDiMode>("BiDiMode", {"bdLeftToRight", "bdRightToLeft"},
                                      &TControl::BiDiMode, &TControl::SetBiDiMode),
        StrProp<TControl>("Caption", &TControl::Caption, &TControl::SetCaption),
        IntProp<TControl, TColor>("Color", &TControl::Color, &TControl::SetColor),
        IntProp<TControl, TCursor>("Cursor", &TControl::Cursor, &TControl::SetCursor),
        BoolProp<TControl>("Enabled", &TControl::Enabled, &TControl::SetEnabled),
        ObjProp<TControl, TFont>("Font", &TControl::Font, &TControl::SetFont),
        IntProp<TControl, int>("Height", &TControl::Height, &TControl::SetHeight),
        StrProp<TControl>("Hint", &TControl::Hint, &TControl::SetHint),
        IntProp<TControl, int>("Left", &TControl::Left, &TControl::SetLeft),
        BoolProp<TControl>("ParentColor", &TControl::ParentColor, &TControl::SetParentColor),
        BoolProp<TControl>("ParentFont", &TControl::ParentFont, &TControl::SetParentFont),
        BoolProp<TControl>("ShowHint", &TControl::ShowHint, &TControl::SetShowHint),
        StrProp<TControl>("Text", &TControl::Text, &TControl::SetTextProp),
        IntProp<TControl, int>("Top", &TControl::Top, &TControl::SetTop),
        BoolProp<TControl>("Visible", &TControl::Visible, &TControl::SetVisible),
        IntProp<TControl, int>("Width", &TControl::Width, &TControl::SetWidth),
    };
    TComponent::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TControl::OwnThunk(void* Data, TMessage& M) { static_cast<TControl*>(Data)->WndProc(M); }

void TControl::ChainThunk(void* Data, TMessage& M) {
    auto* N = static_cast<TProcNode*>(Data);
    while (N->Removed && N->Below) N = N->Below;
    N->Proc(M);
}

TWndMethod TControl::WindowProc() const { return TWndMethod{&TControl::ChainThunk, FTopLink}; }

void TControl::SetWindowProc(const TWndMethod& Method) {
    if (!Method) return;
    TProcNode* Target = nullptr;
    if (Method.Code == &TControl::ChainThunk) {
        for (auto& N : FNodes)
            if (N.get() == Method.Data) Target = N.get();
        if (!Target) return;  // a value read from another control
    } else if (Method == FBase->Proc) {
        Target = FBase;
    }
    if (!Target) {
        auto N = std::make_unique<TProcNode>();
        N->Proc = Method;
        N->Below = FTopLink;
        FTopLink = N.get();
        FNodes.push_back(std::move(N));
        return;
    }
    // A saved value comes back: take off only the link installed over it.
    while (Target->Removed && Target->Below) Target = Target->Below;
    if (Target == FTopLink) return;
    TProcNode* Above = nullptr;
    for (TProcNode* N = FTopLink; N; Above = N, N = N->Below) {
        if (N->Below != Target) continue;
        N->Removed = true;
        if (Above)
            Above->Below = Target;
        else
            FTopLink = Target;
        return;
    }
}

LRESULT TControl::Perform(UINT Msg, WPARAM W, LPARAM L) {
    TMessage M{Msg, W, L, 0};
    WindowProc()(M);
    return M.Result;
}

void TControl::WndProc(TMessage& M) {
    switch (M.Msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            TMouseButton B = M.Msg == WM_RBUTTONDOWN   ? mbRight
                             : M.Msg == WM_MBUTTONDOWN ? mbMiddle
                                                       : mbLeft;
            if (B == mbLeft && ClicksOnMouseUp()) FClicked = true;
            if (OnMouseDown)
                OnMouseDown(this, B, MouseShift(M.WParam), GET_X_LPARAM(M.LParam),
                            GET_Y_LPARAM(M.LParam));
            break;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            TMouseButton B = M.Msg == WM_RBUTTONUP   ? mbRight
                             : M.Msg == WM_MBUTTONUP ? mbMiddle
                                                     : mbLeft;
            int X = GET_X_LPARAM(M.LParam), Y = GET_Y_LPARAM(M.LParam);
            if (OnMouseUp) OnMouseUp(this, B, MouseShift(M.WParam), X, Y);
            if (B == mbLeft && FClicked) {
                FClicked = false;
                RECT R = ClientRect();
                if (X >= R.left && X < R.right && Y >= R.top && Y < R.bottom) Click();
            }
            break;
        }
        case WM_MOUSEMOVE:
            if (OnMouseMove)
                OnMouseMove(this, MouseShift(M.WParam), GET_X_LPARAM(M.LParam),
                            GET_Y_LPARAM(M.LParam));
            break;
        case CM_MOUSEENTER:
            FMouseInside = true;
            if (OnMouseEnter) OnMouseEnter(this);
            return;
        case CM_MOUSELEAVE:
            FMouseInside = false;
            if (OnMouseLeave) OnMouseLeave(this);
            return;
        case CM_ENABLEDCHANGED:
        case CM_TEXTCHANGED:
        case CM_COLORCHANGED:
        case CM_FONTCHANGED:
            Invalidate();
            break;
        default:
            break;
    }
    DefaultHandler(M);
}

void TControl::SetParent(TWinControl* Value) {
    if (FParent == Value) return;
    if (Value == this) return;
    if (FParent) FParent->RemoveControl(this);
    if (Value) Value->InsertControl(this);
}

void TControl::SetBounds(int L, int T, int W, int H) {
    W = std::clamp(W, 0, 32767);
    H = std::clamp(H, 0, 32767);
    if (L == FLeft && T == FTop && W == FWidth && H == FHeight) return;
    Invalidate();
    FLeft = L, FTop = T, FWidth = W, FHeight = H;
    Invalidate();
    if (FParent && FAlign != alNone) FParent->Realign();
}

void TControl::SetClientWidth(int V) { SetWidth(FWidth - ClientWidth() + V); }
void TControl::SetClientHeight(int V) { SetHeight(FHeight - ClientHeight() + V); }

void TControl::SetAlign(TAlign V) {
    if (V == FAlign) return;
    FAlign = V;
    if (FParent) FParent->Realign();
}

void TControl::SetVisible(bool V) {
    if (V == FVisible) return;
    if (!V) Invalidate();
    FVisible = V;
    Perform(CM_VISIBLECHANGED, V ? 1 : 0, 0);
    if (V) Invalidate();
    if (FParent && FAlign != alNone) FParent->Realign();
}

void TControl::SetEnabled(bool V) {
    if (V == FEnabled) return;
    FEnabled = V;
    Perform(CM_ENABLEDCHANGED, 0, 0);
}

bool TControl::Showing() const { return FVisible && FParent && FParent->Showing(); }

void TControl::SetText(const std::u16string& V) {
    if (V == FText && V == GetText()) return;
    FText = V;
    Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetColor(TColor V) {
    FParentColor = false;
    if (V == FColor) return;
    FColor = V;
    Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentColor(bool V) {
    FParentColor = V;
    if (V && FParent && FParent->Color() != FColor) {
        FColor = FParent->Color();
        Perform(CM_COLORCHANGED, 0, 0);
    }
}

void TControl::SetParentFont(bool V) {
    FParentFont = V;
    if (V && FParent) {
        FFont->Assign(*FParent->Font());
        FParentFont = true;
    }
}

void TControl::FontChanged() {
    FParentFont = false;
    Perform(CM_FONTCHANGED, 0, 0);
}

void TControl::Loaded() { TComponent::Loaded(); }

void TControl::Invalidate() {
    if (FVisible && FParent && FParent->HandleAllocated()) {
        RECT R = BoundsRect();
        InvalidateRect(FParent->FHandle, &R, TRUE);
    }
}

POINT TControl::ClientToScreen(POINT P) const {
    if (auto* W = dynamic_cast<const TWinControl*>(this); W && W->FHandle) {
        velmo::ClientToScreen(W->FHandle, &P);
        return P;
    }
    if (!FParent) return P;
    return FParent->ClientToScreen(POINT{P.x + FLeft, P.y + FTop});
}

POINT TControl::ScreenToClient(POINT P) const {
    if (auto* W = dynamic_cast<const TWinControl*>(this); W && W->FHandle) {
        velmo::ScreenToClient(W->FHandle, &P);
        return P;
    }
    if (!FParent) return P;
    POINT Q = FParent->ScreenToClient(P);
    return POINT{Q.x - FLeft, Q.y - FTop};
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

// --- TWinControl ----------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
    MarkDestroying();
    DestroyComponents();
    while (!FControls.empty()) {
        TControl* C = FControls.back();
        RemoveControl(C);
        delete C;
    }
    if (FHandle) {
        HWND H = FHandle;
        RemovePropW(H, MAKEINTATOM(ControlAtom()));
        FHandle = nullptr;
        DestroyWindow(H);
    }
    if (FBrushHandle) DeleteObject(FBrushHandle);
}

HBRUSH TWinControl::BrushHandle() {
    if (FBrushHandle && FBrushColor != FColor) {
        DeleteObject(FBrushHandle);
        FBrushHandle = nullptr;
    }
    if (!FBrushHandle) {
        FBrushHandle = CreateSolidBrush(ColorToRGB(FColor));
        FBrushColor = FColor;
    }
    return FBrushHandle;
}

void TWinControl::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        IntProp<TWinControl, int>("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder),
        BoolProp<TWinControl>("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop),
    };
    TControl::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

HWND TWinControl::Handle() {
    if (!FHandle) CreateHandle();
    return FHandle;
}

void TWinControl::CreateParams(TCreateParams& P) {
    P.Caption = FText;
    P.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (FVisible) P.Style |= WS_VISIBLE;
    if (FTabStop) P.Style |= WS_TABSTOP;
    if (!FEnabled) P.Style |= WS_DISABLED;
    P.X = FLeft, P.Y = FTop, P.Width = FWidth, P.Height = FHeight;
    P.WndParent = FParent ? FParent->Handle() : FParentWindow;
    P.WinClassName = Widen(ClassName());
}

void TWinControl::CreateHandle() {
    if (FHandle) return;
    if (FParent) FParent->Handle();
    if (FHandle) return;  // the parent's creation made this one too
    CreateWnd();
    // Visible windowed children get their windows now.
    for (TControl* C : std::vector<TControl*>(FControls))
        if (auto* W = dynamic_cast<TWinControl*>(C); W && W->FVisible && !W->FHandle)
            W->CreateHandle();
}

void TWinControl::CreateWnd() {
    TCreateParams P;
    CreateParams(P);
    if ((P.Style & WS_CHILD) && !P.WndParent)
        throw std::runtime_error("Control has no parent window");
    const std::u16string Key = FoldName(P.WinClassName);
    HINSTANCE Inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW Existing;
    if (!BaseProcs().count(Key) || !GetClassInfoExW(Inst, P.WinClassName.c_str(), &Existing)) {
        WNDCLASSEXW C;
        WNDPROC Base = DefWindowProcW;
        if (!P.BaseClass.empty()) {
            WNDCLASSEXW B;
            if (GetClassInfoExW(nullptr, P.BaseClass.c_str(), &B) && B.lpfnWndProc) {
                Base = B.lpfnWndProc;
                C.cbWndExtra = B.cbWndExtra;
                C.style = B.style;
                C.hCursor = B.hCursor;
                C.hbrBackground = B.hbrBackground;
            }
        }
        C.style |= P.ClassStyle;
        C.lpfnWndProc = ControlWindowProc;
        C.hInstance = Inst;
        C.lpszClassName = P.WinClassName.c_str();
        BaseProcs()[Key] = Base;
        if (!RegisterClassExW(&C) && !GetClassInfoExW(Inst, P.WinClassName.c_str(), &Existing))
            throw std::runtime_error("Cannot register the window class of " +
                                     std::string(ClassName()));
    }
    FDefWndProc = BaseProcs()[Key];
    CreateWindowHandle(P);
}

void TWinControl::CreateWindowHandle(const TCreateParams& P) {
    TWinControl* Saved = CreationControl;
    CreationControl = this;
    HWND H = CreateWindowExW(P.ExStyle, P.WinClassName.c_str(), P.Caption.c_str(), P.Style, P.X,
                             P.Y, P.Width, P.Height, P.WndParent, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    CreationControl = Saved;
    if (!H) {
        FHandle = nullptr;
        throw std::runtime_error("Error creating window of " + std::string(ClassName()));
    }
    if (!FHandle) {
        FHandle = H;
        SetPropW(H, MAKEINTATOM(ControlAtom()), this);
    }
    SendMessageW(H, WM_SETFONT, reinterpret_cast<WPARAM>(FFont->Handle()), 0);
    InitializeHandle();
}

std::u16string TWinControl::GetText() const { return FHandle ? GetWindowTextString(FHandle) : FText; }

void TWinControl::DestroyWnd() {
    if (!FHandle) return;
    HWND H = FHandle;
    DestroyWindow(H);
    FHandle = nullptr;
}

void TWinControl::DestroyHandle() {
    if (!FHandle) return;
    DestroyWnd();
}

void TWinControl::RecreateWnd() {
    if (FHandle) Perform(CM_RECREATEWND, 0, 0);
}

void TWinControl::SetParentWindow(HWND Wnd) {
    if (FParent || Wnd == FParentWindow) return;
    if (FHandle) {
        if (Wnd)
            velmo::SetParent(FHandle, Wnd);
        else
            DestroyHandle();
    }
    FParentWindow = Wnd;
}

void TWinControl::SetParent(TWinControl* Value) {
    if (Value == FParent) return;
    for (TWinControl* P = Value; P; P = P->FParent)
        if (P == this) throw std::runtime_error("A control cannot be its own parent");
    if (FHandle) {
        if (Value && Value->FHandle)
            velmo::SetParent(FHandle, Value->FHandle);
        else
            DestroyHandle();
    }
    TControl::SetParent(Value);
    if (Value && Value->FHandle && FVisible && !FHandle) CreateHandle();
}

TControl* TWinControl::Controls(int Index) const {
    if (Index < 0 || Index >= int(FControls.size())) return nullptr;
    return FControls[size_t(Index)];
}

void TWinControl::InsertControl(TControl* C) {
    if (!C || C->FParent == this) return;
    FControls.push_back(C);
    C->FParent = this;
    if (auto* W = dynamic_cast<TWinControl*>(C)) FTabList.push_back(W);
    if (C->FParentFont) C->FFont->Assign(*FFont), C->FParentFont = true;
    if (C->FParentColor) C->FColor = FColor;
    if (C->FAlign != alNone) Realign();
    C->Invalidate();
}

void TWinControl::ClearChildReferences(TControl* C) {
    if (FMouseControl == C) FMouseControl = nullptr;
    if (FCaptureControl == C) {
        FCaptureControl = nullptr;
        if (FHandle && GetCapture() == FHandle) ReleaseCapture();
    }
}

void TWinControl::RemoveControl(TControl* C) {
    if (!C || C->FParent != this) return;
    C->Invalidate();
    ClearChildReferences(C);
    FControls.erase(std::remove(FControls.begin(), FControls.end(), C), FControls.end());
    if (auto* W = dynamic_cast<TWinControl*>(C))
        FTabList.erase(std::remove(FTabList.begin(), FTabList.end(), W), FTabList.end());
    C->FParent = nullptr;
    if (C->FAlign != alNone) Realign();
}

TControl* TWinControl::ControlAtPos(POINT P) const {
    for (auto It = FControls.rbegin(); It != FControls.rend(); ++It) {
        TControl* C = *It;
        if (dynamic_cast<TWinControl*>(C) || !C->FVisible || !C->FEnabled) continue;
        if (P.x >= C->FLeft && P.x < C->FLeft + C->FWidth && P.y >= C->FTop &&
            P.y < C->FTop + C->FHeight)
            return C;
    }
    return nullptr;
}

void TWinControl::SetTabStop(bool V) {
    if (V == FTabStop) return;
    FTabStop = V;
    if (FHandle) {
        LONG_PTR S = GetWindowLongPtrW(FHandle, GWL_STYLE);
        SetWindowLongPtrW(FHandle, GWL_STYLE, V ? (S | WS_TABSTOP) : (S & ~LONG_PTR(WS_TABSTOP)));
    }
}

int TWinControl::TabOrder() const {
    if (!FParent) return -1;
    auto& L = FParent->FTabList;
    auto It = std::find(L.begin(), L.end(), this);
    return It == L.end() ? -1 : int(It - L.begin());
}

void TWinControl::SetTabOrder(int V) {
    if (!FParent) return;
    auto& L = FParent->FTabList;
    auto It = std::find(L.begin(), L.end(), this);
    if (It == L.end()) return;
    L.erase(It);
    V = std::clamp(V, 0, int(L.size()));
    L.insert(L.begin() + V, this);
}

std::vector<TWinControl*> TWinControl::TabOrderList() const { return FTabList; }

bool TWinControl::CanFocus() const {
    for (const TWinControl* C = this; C; C = C->FParent)
        if (!C->FVisible || !C->FEnabled) return false;
    return true;
}

bool TWinControl::Focused() const { return FHandle && GetFocus() == FHandle; }

void TWinControl::SetFocus() {
    if (!CanFocus()) throw std::runtime_error("Cannot focus a disabled or invisible window");
    velmo::SetFocus(Handle());
}

int TWinControl::ClientWidth() const {
    if (FHandle) {
        RECT R;
        GetClientRect(FHandle, &R);
        return R.right - R.left;
    }
    return FWidth;
}

int TWinControl::ClientHeight() const {
    if (FHandle) {
        RECT R;
        GetClientRect(FHandle, &R);
        return R.bottom - R.top;
    }
    return FHeight;
}

RECT TWinControl::ClientRect() const { return {0, 0, ClientWidth(), ClientHeight()}; }

void TWinControl::SetBounds(int L, int T, int W, int H) {
    W = std::clamp(W, 0, 32767);
    H = std::clamp(H, 0, 32767);
    if (L == FLeft && T == FTop && W == FWidth && H == FHeight) return;
    bool Sized = W != FWidth || H != FHeight;
    FLeft = L, FTop = T, FWidth = W, FHeight = H;
    if (FHandle) SetWindowPos(FHandle, nullptr, L, T, W, H, SWP_NOZORDER | SWP_NOACTIVATE);
    if (Sized) Realign();
    if (FParent && FAlign != alNone) FParent->Realign();
}

void TWinControl::Invalidate() {
    if (FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

void TWinControl::Update() {
    if (FHandle) UpdateWindow(FHandle);
}

bool TWinControl::Showing() const {
    if (FHandle) return IsWindowVisible(FHandle);
    return FVisible && FParent && FParent->Showing();
}

void TWinControl::Realign() {
    if (FRecreating) return;
    FRecreating = true;
    AlignControls();
    FRecreating = false;
}

void TWinControl::AlignControls() {
    RECT R = ClientRect();
    AdjustClientRect(R);
    for (TAlign Pass : {alTop, alBottom, alLeft, alRight, alClient})
        for (TControl* C : FControls) {
            if (!C->FVisible || C->FAlign != Pass) continue;
            int W = std::max<int>(0, R.right - R.left), H = std::max<int>(0, R.bottom - R.top);
            switch (Pass) {
                case alTop:
                    C->SetBounds(R.left, R.top, W, C->FHeight);
                    R.top += C->FHeight;
                    break;
                case alBottom:
                    C->SetBounds(R.left, R.bottom - C->FHeight, W, C->FHeight);
                    R.bottom -= C->FHeight;
                    break;
                case alLeft:
                    C->SetBounds(R.left, R.top, C->FWidth, H);
                    R.left += C->FWidth;
                    break;
                case alRight:
                    C->SetBounds(R.right - C->FWidth, R.top, C->FWidth, H);
                    R.right -= C->FWidth;
                    break;
                default:
                    C->SetBounds(R.left, R.top, W, H);
                    break;
            }
        }
}

void TWinControl::UpdateShowing() {
    if (FVisible && !FHandle && FParent && FParent->FHandle) CreateHandle();
    if (FHandle) ShowWindow(FHandle, FVisible ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::MainWndProc(TMessage& M) {
    try {
        WindowProc()(M);
    } catch (...) {
        HandleControlException(std::current_exception());
    }
}

bool TWinControl::HandleChildMouse(TMessage& M) {
    POINT P{GET_X_LPARAM(M.LParam), GET_Y_LPARAM(M.LParam)};
    TControl* Target = FCaptureControl;
    if (Target && Target->FParent != this) Target = FCaptureControl = nullptr;
    if (!Target) Target = ControlAtPos(P);
    if (!Target) return false;
    const bool Down = M.Msg == WM_LBUTTONDOWN || M.Msg == WM_RBUTTONDOWN ||
                      M.Msg == WM_MBUTTONDOWN || M.Msg == WM_LBUTTONDBLCLK;
    const bool Up = M.Msg == WM_LBUTTONUP || M.Msg == WM_RBUTTONUP || M.Msg == WM_MBUTTONUP;
    if (Down && FHandle) {
        FCaptureControl = Target;
        SetCapture(FHandle);
    }
    M.Result =
        Target->Perform(M.Msg, M.WParam, MAKELPARAM(P.x - Target->FLeft, P.y - Target->FTop));
    if (Up && !(M.WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) && FCaptureControl) {
        FCaptureControl = nullptr;
        if (FHandle && GetCapture() == FHandle) ReleaseCapture();
    }
    return true;
}

void TWinControl::TrackHover(TMessage& M) {
    if (M.Msg == WM_MOUSEMOVE) {
        POINT P{GET_X_LPARAM(M.LParam), GET_Y_LPARAM(M.LParam)};
        TControl* Hot = ControlAtPos(P);
        if (!Hot) Hot = this;
        if (Hot != FMouseControl) {
            TControl* Old = FMouseControl;
            FMouseControl = Hot;
            if (Old) Old->Perform(CM_MOUSELEAVE, 0, 0);
            Hot->Perform(CM_MOUSEENTER, 0, 0);
        }
        if (!FTrackingLeave && FHandle) {
            TRACKMOUSEEVENT T;
            T.dwFlags = TME_LEAVE;
            T.hwndTrack = FHandle;
            FTrackingLeave = TrackMouseEvent(&T) != FALSE;
        }
    } else if (M.Msg == WM_MOUSELEAVE) {
        FTrackingLeave = false;
        if (TControl* Old = FMouseControl) {
            FMouseControl = nullptr;
            Old->Perform(CM_MOUSELEAVE, 0, 0);
        }
    }
}

void TWinControl::ReflectNotification(TMessage& M) {
    HWND Child = nullptr;
    if (M.Msg == WM_COMMAND || M.Msg == WM_HSCROLL || M.Msg == WM_VSCROLL || IsCtlColorMessage(M.Msg))
        Child = reinterpret_cast<HWND>(M.LParam);
    switch (M.Msg) {
        case WM_NOTIFY:
            if (M.LParam) Child = reinterpret_cast<const NMHDR*>(M.LParam)->hwndFrom;
            break;
        case WM_DRAWITEM:
            if (M.LParam && reinterpret_cast<const TDrawItemStruct*>(M.LParam)->CtlType != ODT_MENU)
                Child = reinterpret_cast<const TDrawItemStruct*>(M.LParam)->hwndItem;
            break;
        case WM_MEASUREITEM:
            if (M.LParam &&
                reinterpret_cast<const TMeasureItemStruct*>(M.LParam)->CtlType != ODT_MENU &&
                FHandle)
                Child = GetDlgItem(
                    FHandle, int(reinterpret_cast<const TMeasureItemStruct*>(M.LParam)->CtlID));
            break;
        default:
            break;
    }
    TWinControl* C = Child && Child != FHandle ? FindControl(Child) : nullptr;
    if (C) {
        M.Result = C->Perform(CN_BASE + M.Msg, M.WParam, M.LParam);
        return;
    }
    TControl::WndProc(M);
}

void TWinControl::WndProc(TMessage& M) {
    if (IsMouseMessage(M.Msg) || M.Msg == WM_MOUSELEAVE) {
        TrackHover(M);
        if (M.Msg != WM_MOUSELEAVE && HandleChildMouse(M)) return;
    }
    if (IsReflectedMessage(M.Msg)) {
        ReflectNotification(M);
        return;
    }
    switch (M.Msg) {
        case WM_DESTROY:
            // A new window gets the text this one had, however this one goes.
            if (FHandle) FText = GetWindowTextString(FHandle);
            break;
        case WM_PAINT: {
            bool HasGraphic = std::any_of(FControls.begin(), FControls.end(), [](TControl* C) {
                return !dynamic_cast<TWinControl*>(C);
            });
            if (HasGraphic || PaintsItself()) {
                PaintHandler(M);
                return;
            }
            break;
        }
        case WM_ERASEBKGND:
            if (PaintsItself() && M.WParam) {
                RECT R = ClientRect();
                HBRUSH B = CreateSolidBrush(ColorToRGB(FColor));
                FillRect(reinterpret_cast<HDC>(M.WParam), &R, B);
                DeleteObject(B);
                M.Result = 1;
                return;
            }
            break;
        case WM_WINDOWPOSCHANGED:
            if (FHandle) {
                RECT R;
                GetWindowRect(FHandle, &R);
                if (HWND P = GetParent(FHandle))
                    MapWindowPoints(nullptr, P, reinterpret_cast<POINT*>(&R), 2);
                bool Sized = R.right - R.left != FWidth || R.bottom - R.top != FHeight;
                FLeft = R.left, FTop = R.top, FWidth = R.right - R.left, FHeight = R.bottom - R.top;
                if (Sized) Realign();
            }
            break;
        case WM_SETFOCUS:
            if (OnEnter) OnEnter(this);
            break;
        case WM_KILLFOCUS:
            if (OnExit) OnExit(this);
            break;
        case WM_KEYDOWN:
            if (OnKeyDown) {
                uint16_t Key = uint16_t(M.WParam);
                OnKeyDown(this, Key, 0);
                if (!Key) return;
                M.WParam = Key;
            }
            break;
        case WM_CHAR:
            if (OnKeyPress) {
                char16_t Key = char16_t(M.WParam);
                OnKeyPress(this, Key);
                if (!Key) return;
                M.WParam = Key;
            }
            break;
        case CM_RECREATEWND:
            if (FHandle) {
                DestroyHandle();
                CreateHandle();
            }
            return;
        case CM_VISIBLECHANGED:
            UpdateShowing();
            break;
        case CM_ENABLEDCHANGED:
            if (FHandle) EnableWindow(FHandle, FEnabled);
            break;
        case CM_TEXTCHANGED:
            if (FHandle) SetWindowTextW(FHandle, FText.c_str());
            break;
        case CM_FONTCHANGED:
            if (FHandle)
                SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont->Handle()), 1);
            for (TControl* C : FControls)
                if (C->FParentFont) {
                    C->FFont->Assign(*FFont);
                    C->FParentFont = true;
                }
            break;
        case CM_COLORCHANGED:
            for (TControl* C : FControls)
                if (C->FParentColor && C->FColor != FColor) {
                    C->FColor = FColor;
                    C->Perform(CM_COLORCHANGED, 0, 0);
                    C->FParentColor = true;
                }
            break;
        default:
            break;
    }
    TControl::WndProc(M);
}

void TWinControl::DefaultHandler(TMessage& M) {
    if (!FHandle) return;
    if (M.Msg >= CN_CTLCOLORMSGBOX && M.Msg <= CN_BASE + WM_CTLCOLORSTATIC) {
        HDC Dc = reinterpret_cast<HDC>(M.WParam);
        SetTextColor(Dc, ColorToRGB(FFont->Color()));
        SetBkColor(Dc, ColorToRGB(FColor));
        M.Result = reinterpret_cast<LRESULT>(BrushHandle());
        return;
    }
    M.Result = CallWindowProcW(FDefWndProc ? FDefWndProc : DefWindowProcW, FHandle, M.Msg, M.WParam,
                               M.LParam);
}

void TWinControl::PaintHandler(TMessage& M) {
    if (!FHandle) return;
    HDC Dc = reinterpret_cast<HDC>(M.WParam);
    PAINTSTRUCT Ps;
    bool Began = false;
    if (!Dc) {
        Dc = BeginPaint(FHandle, &Ps);
        Began = true;
        if (!Dc) return;
    }
    PaintWindow(Dc);
    PaintControls(Dc);
    if (Began) EndPaint(FHandle, &Ps);
}

void TWinControl::PaintWindow(HDC Dc) {
    TMessage M{WM_PAINT, reinterpret_cast<WPARAM>(Dc), 0, 0};
    DefaultHandler(M);
}

void TWinControl::PaintControls(HDC Dc) {
    for (TControl* C : std::vector<TControl*>(FControls)) {
        if (dynamic_cast<TWinControl*>(C) || !C->FVisible || C->FWidth <= 0 || C->FHeight <= 0)
            continue;
        int Saved = SaveDC(Dc);
        IntersectClipRect(Dc, C->FLeft, C->FTop, C->FLeft + C->FWidth, C->FTop + C->FHeight);
        POINT Org;
        GetViewportOrgEx(Dc, &Org);
        SetViewportOrgEx(Dc, Org.x + C->FLeft, Org.y + C->FTop, nullptr);
        C->Perform(WM_PAINT, reinterpret_cast<WPARAM>(Dc), 0);
        RestoreDC(Dc, Saved);
    }
}

// --- TGraphicControl -------------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::WndProc(TMessage& M) {
    if (M.Msg == WM_PAINT && M.WParam) {
        FCanvas->SetHandle(reinterpret_cast<HDC>(M.WParam));
        FCanvas->Font().Assign(*FFont);
        try {
            Paint();
        } catch (...) {
            FCanvas->SetHandle(nullptr);
            throw;
        }
        FCanvas->SetHandle(nullptr);
        M.Result = 0;
        return;
    }
    TControl::WndProc(M);
}

// --- TCustomControl --------------------------------------------------------------------------

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {}

TCustomControl::~TCustomControl() = default;

void TCustomControl::Paint() {}

void TCustomControl::PaintWindow(HDC Dc) {
    FCanvas->SetHandle(Dc);
    FCanvas->Font().Assign(*FFont);
    try {
        Paint();
    } catch (...) {
        FCanvas->SetHandle(nullptr);
        throw;
    }
    FCanvas->SetHandle(nullptr);
}

}  // namespace velmo::vcl
