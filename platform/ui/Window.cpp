// Classes, atoms, windows, their fields, properties and procedures.
#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "platform/ui/WindowInternal.h"
#include "platform/ui/Controls.h"
#include "platform/ui/host/NullHost.h"

namespace velmo {

namespace ui {
bool CallRegisteredHandler(HWND Wnd, UINT Msg, WPARAM W, LPARAM L, LRESULT& Result);
}

using namespace ui;

namespace {

// Handles: slot in the low bits, generation above, generation never 0 so a
// small made-up handle value never names a window.
constexpr unsigned kSlotBits = 20;
constexpr uint32_t kMaxWindows = 1u << 16;
constexpr size_t kMaxText = 1u << 20;      // characters of a window text
constexpr size_t kMaxExtra = 1u << 16;     // bytes of window extra data
constexpr int kMaxCoordinate = 32767;

HWND MakeHandle(uint32_t Slot, uint64_t Gen) {
    return reinterpret_cast<HWND>(uintptr_t((Gen << kSlotBits) | Slot));
}

// The fixed module instance of the program.
HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(uintptr_t(0x00400000)); }

// Atoms of strings (class names, registered messages, properties), shared
// like the platform's global atom table.
struct TAtoms {
    std::unordered_map<std::u16string, ATOM> ByKey;
    std::unordered_map<ATOM, std::pair<std::u16string, int>> ByAtom;  // name, references
    ATOM Next = 0xC000;
};
TAtoms& Atoms() {
    static TAtoms A;
    return A;
}

ATOM AddAtom(const std::u16string& Name) {
    if (Name.empty() || Name.size() > 255) return 0;
    TAtoms& A = Atoms();
    std::u16string Key = Fold(Name);
    auto It = A.ByKey.find(Key);
    if (It != A.ByKey.end()) {
        ++A.ByAtom[It->second].second;
        return It->second;
    }
    if (A.ByAtom.size() >= 0x3FFF) return 0;
    while (A.ByAtom.count(A.Next)) A.Next = A.Next == 0xFFFF ? 0xC000 : ATOM(A.Next + 1);
    ATOM New = A.Next;
    A.Next = A.Next == 0xFFFF ? 0xC000 : ATOM(A.Next + 1);
    A.ByKey[Key] = New;
    A.ByAtom[New] = {Name, 1};
    return New;
}

std::optional<std::u16string> AtomName(ATOM Atom) {
    auto It = Atoms().ByAtom.find(Atom);
    if (It == Atoms().ByAtom.end()) return std::nullopt;
    return It->second.first;
}

// A class or property name given as a string or as an atom.
std::optional<std::u16string> NameOf(LPCWSTR Name) {
    if (!Name) return std::nullopt;
    if (IS_INTRESOURCE(Name)) return AtomName(ATOM(uintptr_t(Name)));
    return FromWide(Name);
}

// Object-bound procedure instances: a pool of real functions, each calling
// the method stored in its slot.
constexpr size_t kInstances = 4096;
struct TInstances {
    std::array<std::shared_ptr<TWndMethod>, kInstances> Methods;
    std::deque<size_t> Free;
    TInstances() {
        for (size_t I = 0; I < kInstances; ++I) Free.push_back(I);
    }
};
TInstances& Instances() {
    static TInstances T;
    return T;
}

LRESULT CallInstance(size_t Index, HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    std::shared_ptr<TWndMethod> M = Instances().Methods[Index];
    if (!M) return DefWindowProcW(Wnd, Msg, W, L);
    return (*M)(Wnd, Msg, W, L);
}

template <size_t N>
LRESULT InstanceThunk(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    return CallInstance(N, Wnd, Msg, W, L);
}

template <size_t... I>
std::array<WNDPROC, sizeof...(I)> MakeThunks(std::index_sequence<I...>) {
    return {&InstanceThunk<I>...};
}

const std::array<WNDPROC, kInstances>& Thunks() {
    static const std::array<WNDPROC, kInstances> T = MakeThunks(std::make_index_sequence<kInstances>());
    return T;
}

std::optional<size_t> InstanceIndex(WNDPROC P) {
    static const std::unordered_map<WNDPROC, size_t> Index = [] {
        std::unordered_map<WNDPROC, size_t> M;
        for (size_t I = 0; I < kInstances; ++I) M[Thunks()[I]] = I;
        return M;
    }();
    auto It = Index.find(P);
    if (It == Index.end()) return std::nullopt;
    return It->second;
}

void RegisterSystemClasses() {
    static bool Done = false;
    if (Done) return;
    Done = true;
    // Menu windows, dialog boxes and scroll bars are created by the layer's
    // menus and controls, which give them their procedures.
    for (const char16_t* Name : {u"#32768", u"#32770", u"ScrollBar"}) {
        WNDCLASSEXW C;
        C.lpfnWndProc = DefWindowProcW;
        C.lpszClassName = Name;
        C.style = CS_DBLCLKS | CS_GLOBALCLASS;
        RegisterClassExW(&C);
        State().Classes[Fold(Name)]->System = true;
    }
    // Standard controls and dialog boxes.
    RegisterControlClasses();
    // Scroll-bar and tab controls.
    State().Classes[Fold(u"ScrollBar")]->Info.lpfnWndProc = ScrollBarControlProc;
    WNDCLASSEXW Tab;
    Tab.lpfnWndProc = TabControlProc;
    Tab.lpszClassName = u"SysTabControl32";
    Tab.style = CS_DBLCLKS | CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
    RegisterClassExW(&Tab);
    State().Classes[Fold(u"SysTabControl32")]->System = true;
    // Menu windows paint and answer as menus from their creation on.
    State().Classes[Fold(u"#32768")]->Info.lpfnWndProc = MenuWindowProc;
}

std::shared_ptr<TClass> FindClass(LPCWSTR Name) {
    RegisterSystemClasses();
    auto N = NameOf(Name);
    if (!N) return nullptr;
    auto It = State().Classes.find(Fold(*N));
    return It == State().Classes.end() ? nullptr : It->second;
}

int ClampCoordinate(int V) { return std::clamp(V, -kMaxCoordinate - 1, kMaxCoordinate); }
int ClampSize(int V) { return std::clamp(V, 0, kMaxCoordinate); }

void SendMinMaxInfo(HWND Wnd, MINMAXINFO& Info) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    int Sw = GetSystemMetrics(SM_CXSCREEN), Sh = GetSystemMetrics(SM_CYSCREEN);
    TFrameMetrics F = FrameMetricsOf(W->Style, W->ExStyle, false);
    Info.ptMaxSize = {Sw + 2 * F.Border, Sh + 2 * F.Border};
    Info.ptMaxPosition = {-F.Border, -F.Border};
    Info.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
    Info.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    Deliver(Wnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&Info));
}

// Sends WM_NCCALCSIZE for the window's current rectangle and stores the
// client rectangle it answers.
void CalcClient(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    RECT R = W->Rect;
    Deliver(Wnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&R));
    if ((W = Find(Wnd))) {
        R.right = std::max(R.right, R.left);
        R.bottom = std::max(R.bottom, R.top);
        W->Client = R;
    }
}

void NotifyHostMoved(TWindow& W) {
    if (IsTopLevel(W) && (W.Style & WS_VISIBLE)) State().Host->TopLevelMoved(W.Handle, W.Rect);
}

void DestroyTree(HWND Wnd, std::vector<HWND>& Order) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    Order.push_back(Wnd);
    std::vector<HWND> Kids = W->Children;
    for (HWND C : Kids) DestroyTree(C, Order);
}

void FreeWindow(HWND Wnd) {
    TState& S = State();
    std::shared_ptr<TWindow> W = Hold(Wnd);
    if (!W) return;
    ForgetMenus(Wnd);
    ForgetPainting(Wnd);
    W->Dead = true;
    ForgetWindowMessages(Wnd);
    if (S.Active == Wnd) S.Active = nullptr;
    if (S.Focus == Wnd) S.Focus = nullptr;
    if (S.Capture == Wnd) S.Capture = nullptr;
    std::vector<HWND>& Sib = SiblingList(*W);
    Sib.erase(std::remove(Sib.begin(), Sib.end(), Wnd), Sib.end());
    // Owned windows left alive lose their owner.
    for (auto& Slot : S.Slots)
        if (Slot.Window && !Slot.Window->Dead && Slot.Window->Owner == Wnd) Slot.Window->Owner = nullptr;
    if (IsTopLevel(*W)) S.Host->TopLevelDestroyed(Wnd);
    W->Props.clear();
    --W->Class->Windows;
    uint32_t Slot = uint32_t(uintptr_t(Wnd) & ((1u << kSlotBits) - 1));
    S.Slots[Slot].Window.reset();
    S.FreeSlots.push_back(Slot);
    --S.LiveWindows;
}

// The next window to activate when Wnd goes away: its owner, else the
// topmost visible, enabled top-level window.
HWND NextActive(HWND Wnd) {
    TState& S = State();
    TWindow* W = Find(Wnd);
    if (W && W->Owner) {
        TWindow* O = Find(W->Owner);
        if (O && (O->Style & WS_VISIBLE) && !(O->Style & WS_DISABLED)) return W->Owner;
    }
    for (HWND T : S.TopLevel) {
        TWindow* C = Find(T);
        if (T != Wnd && C && !C->Destroying && (C->Style & WS_VISIBLE) && !(C->Style & WS_DISABLED))
            return T;
    }
    return nullptr;
}

void Deactivate(HWND Wnd) {
    TState& S = State();
    if (S.Active != Wnd) return;
    HWND Next = NextActive(Wnd);
    if (Next) {
        ActivateWindow(Next, false);
    }
    if (S.Active == Wnd) {
        // Nothing else to activate, or the hook vetoed: the window loses
        // activation alone.
        Deliver(Wnd, WM_NCACTIVATE, FALSE, 0);
        Deliver(Wnd, WM_ACTIVATE, WA_INACTIVE, 0);
        if (S.Active == Wnd) S.Active = nullptr;
        if (S.Focus && IsChild(Wnd, S.Focus)) S.Focus = nullptr;
        if (S.Focus == Wnd) S.Focus = nullptr;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
namespace ui {

TState& State() {
    static TState* S = [] {
        auto* N = new TState;
        N->Host = std::make_shared<TNullHost>();
        N->Slots.emplace_back();  // slot 0 is never used
        return N;
    }();
    return *S;
}

void ClaimUiThread() {
    TState& S = State();
    if (!S.UiThread) S.UiThread = std::this_thread::get_id();
}

bool OnUiThread() {
    TState& S = State();
    return !S.UiThread || *S.UiThread == std::this_thread::get_id();
}

TWindow* Find(HWND Wnd) {
    uintptr_t V = uintptr_t(Wnd);
    uint32_t Slot = uint32_t(V & ((1u << kSlotBits) - 1));
    uint64_t Gen = uint64_t(V) >> kSlotBits;
    TState& S = State();
    if (Gen == 0 || Slot == 0 || Slot >= S.Slots.size()) return nullptr;
    auto& E = S.Slots[Slot];
    if (E.Gen != Gen || !E.Window || E.Window->Dead) return nullptr;
    return E.Window.get();
}

std::shared_ptr<TWindow> Hold(HWND Wnd) {
    if (!Find(Wnd)) return nullptr;
    return State().Slots[uintptr_t(Wnd) & ((1u << kSlotBits) - 1)].Window;
}

LRESULT Deliver(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    std::shared_ptr<TWindow> Win = Hold(Wnd);
    if (!Win || Win->Procs.empty()) return 0;
    // The window object lives until the call returns, whatever the
    // procedure destroys.
    return CallWindowProcW(Win->Procs.back().Proc, Wnd, Msg, W, L);
}

POINT WindowOrigin(const TWindow& W) {
    POINT P{W.Rect.left, W.Rect.top};
    if (TWindow* Parent = Find(W.Parent)) {
        POINT O = ClientOrigin(*Parent);
        P.x += O.x - Parent->Client.left + Parent->Client.left;
        P.y += O.y - Parent->Client.top + Parent->Client.top;
    }
    return P;
}

POINT ClientOrigin(const TWindow& W) {
    POINT O{0, 0};
    if (TWindow* Parent = Find(W.Parent)) O = ClientOrigin(*Parent);
    return {O.x + W.Client.left, O.y + W.Client.top};
}

RECT ScreenRect(const TWindow& W) {
    POINT O{0, 0};
    if (TWindow* Parent = Find(W.Parent)) O = ClientOrigin(*Parent);
    return {W.Rect.left + O.x, W.Rect.top + O.y, W.Rect.right + O.x, W.Rect.bottom + O.y};
}

std::vector<HWND>& SiblingList(const TWindow& W) {
    if (TWindow* P = Find(W.Parent)) return P->Children;
    return State().TopLevel;
}

bool IsTopLevel(const TWindow& W) { return W.Parent == nullptr; }

bool Visible(const TWindow& W) {
    const TWindow* C = &W;
    for (int Depth = 0; C && Depth < 1000; ++Depth) {
        if (!(C->Style & WS_VISIBLE)) return false;
        if (!C->Parent) return true;
        C = Find(C->Parent);
    }
    return false;
}

std::u16string Fold(std::u16string_view S) {
    std::u16string R(S);
    for (auto& C : R)
        if (C >= u'A' && C <= u'Z') C = char16_t(C + 32);
    return R;
}

std::u16string FromWide(LPCWSTR S) {
    if (!S) return {};
    size_t N = 0;
    while (N < kMaxText && S[N]) ++N;
    return std::u16string(S, N);
}

}  // namespace ui

// ---------------------------------------------------------------------------

HINSTANCE GetModuleHandleW(LPCWSTR Name) { return Name ? nullptr : ModuleInstance(); }

ATOM GlobalAddAtomW(LPCWSTR Name) {
    if (!Name) return 0;
    if (IS_INTRESOURCE(Name)) return ATOM(uintptr_t(Name));
    return AddAtom(FromWide(Name));
}

ATOM GlobalFindAtomW(LPCWSTR Name) {
    if (!Name) return 0;
    if (IS_INTRESOURCE(Name)) return ATOM(uintptr_t(Name));
    auto It = Atoms().ByKey.find(Fold(FromWide(Name)));
    return It == Atoms().ByKey.end() ? 0 : It->second;
}

ATOM GlobalDeleteAtom(ATOM Atom) {
    TAtoms& A = Atoms();
    auto It = A.ByAtom.find(Atom);
    if (It == A.ByAtom.end()) return Atom;
    if (--It->second.second <= 0) {
        A.ByKey.erase(Fold(It->second.first));
        A.ByAtom.erase(It);
    }
    return 0;
}

UINT GlobalGetAtomNameW(ATOM Atom, LPWSTR Buffer, int Size) {
    auto N = AtomName(Atom);
    if (!N || !Buffer || Size <= 0) return 0;
    size_t Count = std::min(N->size(), size_t(Size - 1));
    std::copy_n(N->data(), Count, Buffer);
    Buffer[Count] = 0;
    return UINT(Count);
}

UINT RegisterWindowMessageW(LPCWSTR Name) {
    if (!Name || IS_INTRESOURCE(Name)) return 0;
    return AddAtom(FromWide(Name));
}

ATOM RegisterClassExW(const WNDCLASSEXW* Class) {
    if (!Class || !Class->lpszClassName || !Class->lpfnWndProc || Class->cbWndExtra < 0 ||
        size_t(Class->cbWndExtra) > kMaxExtra) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto Name = NameOf(Class->lpszClassName);
    if (!Name || Name->empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    TState& S = State();
    std::u16string Key = Fold(*Name);
    if (S.Classes.count(Key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto C = std::make_shared<TClass>();
    C->Name = *Name;
    C->Key = Key;
    C->Info = *Class;
    C->Info.lpszClassName = nullptr;  // the caller's string need not live
    C->Info.lpszMenuName = nullptr;
    C->Atom = AddAtom(*Name);
    S.Classes[Key] = C;
    return C->Atom;
}

BOOL UnregisterClassW(LPCWSTR ClassName, HINSTANCE) {
    auto C = FindClass(ClassName);
    if (!C || C->System) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (C->Windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    GlobalDeleteAtom(C->Atom);
    State().Classes.erase(C->Key);
    return TRUE;
}

BOOL GetClassInfoExW(HINSTANCE, LPCWSTR ClassName, WNDCLASSEXW* Out) {
    auto C = FindClass(ClassName);
    if (!C || !Out) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *Out = C->Info;
    Out->lpszClassName = ClassName;
    return TRUE;
}

std::u16string GetClassNameString(HWND Wnd) {
    TWindow* W = Find(Wnd);
    return W ? W->Class->Name : std::u16string();
}

int GetClassNameW(HWND Wnd, LPWSTR Buffer, int MaxCount) {
    TWindow* W = Find(Wnd);
    if (!W || !Buffer || MaxCount <= 0) return 0;
    size_t N = std::min(W->Class->Name.size(), size_t(MaxCount - 1));
    std::copy_n(W->Class->Name.data(), N, Buffer);
    Buffer[N] = 0;
    return int(N);
}

ULONG_PTR GetClassLongPtrW(HWND Wnd, int Index) {
    TWindow* W = Find(Wnd);
    if (!W) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const WNDCLASSEXW& I = W->Class->Info;
    switch (Index) {
    case GCL_STYLE: return I.style;
    case GCL_WNDPROC: return reinterpret_cast<ULONG_PTR>(I.lpfnWndProc);
    case GCL_CBCLSEXTRA: return ULONG_PTR(I.cbClsExtra);
    case GCL_CBWNDEXTRA: return ULONG_PTR(I.cbWndExtra);
    case GCL_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(I.hbrBackground);
    case GCW_ATOM: return W->Class->Atom;
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
    }
}

// ---------------------------------------------------------------------------
HWND CreateWindowExW(DWORD ExStyle, LPCWSTR ClassName, LPCWSTR WindowName, DWORD Style, int X, int Y,
                     int Width, int Height, HWND Parent, HMENU Menu, HINSTANCE Instance, void* Param) {
    ClaimUiThread();
    TState& S = State();
    if (!OnUiThread()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto Class = FindClass(ClassName);
    if (!Class) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (Parent == HWND_MESSAGE) Parent = nullptr;
    TWindow* ParentWin = Parent ? Find(Parent) : nullptr;
    if (Parent && !ParentWin) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if ((Style & WS_CHILD) && !ParentWin) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (S.LiveWindows >= kMaxWindows) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }

    // Default and clamped placement.
    if (X == CW_USEDEFAULT) {
        X = (Style & WS_CHILD) ? 0 : 100;
        if (!(Style & WS_CHILD)) Y = 100;
    }
    if (Y == CW_USEDEFAULT) Y = (Style & WS_CHILD) ? 0 : 100;
    if (Width == CW_USEDEFAULT) {
        Width = (Style & WS_CHILD) ? 0 : std::min(640, GetSystemMetrics(SM_CXSCREEN));
        Height = (Style & WS_CHILD) ? 0 : std::min(480, GetSystemMetrics(SM_CYSCREEN));
    }
    if (Height == CW_USEDEFAULT) Height = 0;
    X = ClampCoordinate(X);
    Y = ClampCoordinate(Y);
    Width = ClampSize(Width);
    Height = ClampSize(Height);

    uint32_t Slot;
    if (!S.FreeSlots.empty() && (S.FreeSlots.size() > 1024 || S.Slots.size() >= (1u << kSlotBits))) {
        Slot = S.FreeSlots.front();
        S.FreeSlots.pop_front();
    } else if (S.Slots.size() < (1u << kSlotBits)) {
        Slot = uint32_t(S.Slots.size());
        S.Slots.emplace_back();
    } else {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto Win = std::make_shared<TWindow>();
    TState::TSlot& E = S.Slots[Slot];
    ++E.Gen;
    E.Window = Win;
    ++S.LiveWindows;
    HWND Wnd = MakeHandle(Slot, E.Gen);
    Win->Handle = Wnd;
    Win->Class = Class;
    ++Class->Windows;
    Win->Style = Style & ~WS_VISIBLE;
    Win->ExStyle = ExStyle;
    if ((Style & WS_CHILD)) {
        Win->Parent = Parent;
        Win->Id = LONG_PTR(Menu);
    } else {
        // A top-level window's "parent" is its owner, always a top-level window.
        HWND O = Parent;
        for (int D = 0; O && D < 1000; ++D) {
            TWindow* OW = Find(O);
            if (!OW || !OW->Parent) break;
            O = OW->Parent;
        }
        Win->Owner = O;
        Win->Menu = Menu;
    }
    Win->Extra.assign(size_t(Class->Info.cbWndExtra), 0);
    Win->Procs.push_back({Class->Info.lpfnWndProc, nullptr});
    Win->Rect = {X, Y, X + Width, Y + Height};
    Win->Client = Win->Rect;
    Win->Normal = Win->Rect;
    std::u16string ClassText = Class->Name;
    std::u16string NameText = FromWide(WindowName);

    CREATESTRUCTW Cs;
    Cs.lpCreateParams = Param;
    Cs.hInstance = Instance ? Instance : ModuleInstance();
    Cs.hMenu = Menu;
    Cs.hwndParent = Parent;
    Cs.cx = Width;
    Cs.cy = Height;
    Cs.x = X;
    Cs.y = Y;
    Cs.style = LONG(Style);
    Cs.lpszName = WindowName ? NameText.c_str() : nullptr;
    Cs.lpszClass = ClassText.c_str();
    Cs.dwExStyle = ExStyle;

    // The creation hook may veto (no window, no message) or change the
    // placement.
    CBT_CREATEWNDW Cbt{&Cs, HWND_TOP};
    if (CallHooks(WH_CBT, HCBT_CREATEWND, WPARAM(Wnd), reinterpret_cast<LPARAM>(&Cbt)) != 0 || !Find(Wnd)) {
        if (Find(Wnd)) FreeWindow(Wnd);
        return nullptr;
    }
    if (Find(Parent) == nullptr && (Style & WS_CHILD)) {  // the hook destroyed the parent
        FreeWindow(Wnd);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Cs.x = ClampCoordinate(Cs.x);
    Cs.y = ClampCoordinate(Cs.y);
    Cs.cx = ClampSize(Cs.cx);
    Cs.cy = ClampSize(Cs.cy);
    Win->Rect = {Cs.x, Cs.y, Cs.x + Cs.cx, Cs.y + Cs.cy};
    Win->Client = Win->Rect;
    // A top-level window starts above the others; a child below its
    // siblings, so that children keep their creation order.
    if (Win->Parent) SiblingList(*Win).push_back(Wnd);
    else SiblingList(*Win).insert(SiblingList(*Win).begin(), Wnd);

    // Overlapped and sizable windows keep to their tracking limits.
    if (!(Style & (WS_CHILD | WS_POPUP)) || (Style & WS_THICKFRAME)) {
        MINMAXINFO Info;
        SendMinMaxInfo(Wnd, Info);
        if (TWindow* W = Find(Wnd)) {
            int Cx = std::clamp(int(W->Rect.right - W->Rect.left), 0, int(Info.ptMaxTrackSize.x));
            int Cy = std::clamp(int(W->Rect.bottom - W->Rect.top), 0, int(Info.ptMaxTrackSize.y));
            if ((Style & (WS_THICKFRAME | WS_CAPTION)) && !(Style & WS_CHILD)) {
                Cx = std::max(Cx, int(Info.ptMinTrackSize.x));
                Cy = std::max(Cy, int(Info.ptMinTrackSize.y));
            }
            W->Rect.right = W->Rect.left + Cx;
            W->Rect.bottom = W->Rect.top + Cy;
            W->Client = W->Rect;
            W->Normal = W->Rect;
            Cs.cx = Cx;
            Cs.cy = Cy;
        }
    }
    if (!Find(Wnd)) return nullptr;

    if (!Deliver(Wnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&Cs))) {
        if (Find(Wnd)) {
            Deliver(Wnd, WM_NCDESTROY, 0, 0);
            FreeWindow(Wnd);
        }
        return nullptr;
    }
    if (!Find(Wnd)) return nullptr;
    CalcClient(Wnd);
    if (!Find(Wnd)) return nullptr;
    if (Deliver(Wnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&Cs)) == -1) {
        if (Find(Wnd)) DestroyWindow(Wnd);
        if (Find(Wnd)) FreeWindow(Wnd);
        return nullptr;
    }
    TWindow* W = Find(Wnd);
    if (!W) return nullptr;
    Deliver(Wnd, WM_SIZE, SIZE_RESTORED,
            MAKELPARAM(W->Client.right - W->Client.left, W->Client.bottom - W->Client.top));
    if (!(W = Find(Wnd))) return nullptr;
    Deliver(Wnd, WM_MOVE, 0, MAKELPARAM(W->Client.left, W->Client.top));
    if (!(W = Find(Wnd))) return nullptr;
    if ((Style & WS_CHILD) && !(ExStyle & WS_EX_NOPARENTNOTIFY) && Find(Parent))
        Deliver(Parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, int(W->Id)), LPARAM(Wnd));
    if (!Find(Wnd)) return nullptr;
    if (Style & WS_MAXIMIZE) ShowWindow(Wnd, SW_SHOWMAXIMIZED);
    else if (Style & WS_VISIBLE) ShowWindow(Wnd, SW_SHOW);
    return Find(Wnd) ? Wnd : nullptr;
}

BOOL DestroyWindow(HWND Wnd) {
    TState& S = State();
    TWindow* W = Find(Wnd);
    if (!W) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!OnUiThread()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (W->Destroying) return TRUE;  // already on its way, from its own procedure or a hook
    if (CallHooks(WH_CBT, HCBT_DESTROYWND, WPARAM(Wnd), 0) != 0) return FALSE;
    if (!(W = Find(Wnd)) || W->Destroying) return TRUE;
    W->Destroying = true;

    if ((W->Style & WS_CHILD) && !(W->ExStyle & WS_EX_NOPARENTNOTIFY) && Find(W->Parent))
        Deliver(W->Parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, int(W->Id)), LPARAM(Wnd));

    // Owned windows go first.
    std::vector<HWND> Owned;
    for (auto& E : S.Slots)
        if (E.Window && !E.Window->Dead && E.Window->Owner == Wnd) Owned.push_back(E.Window->Handle);
    for (HWND O : Owned) DestroyWindow(O);

    if (!(W = Find(Wnd))) return TRUE;
    if (W->Style & WS_VISIBLE) {
        SetWindowPos(Wnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER |
                         (S.Active == Wnd ? 0 : SWP_NOACTIVATE));
    }
    if (!(W = Find(Wnd))) return TRUE;
    if (S.Active == Wnd) Deactivate(Wnd);
    if (S.Focus && (S.Focus == Wnd || IsChild(Wnd, S.Focus))) S.Focus = nullptr;
    if (S.Capture && (S.Capture == Wnd || IsChild(Wnd, S.Capture))) ReleaseCapture();

    std::vector<HWND> Order;
    DestroyTree(Wnd, Order);
    for (HWND H : Order)
        if (TWindow* C = Find(H)) C->Destroying = true;
    // WM_DESTROY parent first, WM_NCDESTROY children first.
    for (HWND H : Order) Deliver(H, WM_DESTROY, 0, 0);
    for (auto It = Order.rbegin(); It != Order.rend(); ++It) {
        Deliver(*It, WM_NCDESTROY, 0, 0);
        FreeWindow(*It);
    }
    return TRUE;
}

BOOL IsWindow(HWND Wnd) { return Find(Wnd) ? TRUE : FALSE; }

BOOL IsWindowVisible(HWND Wnd) {
    TWindow* W = Find(Wnd);
    return W && Visible(*W) ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND Wnd) {
    TWindow* W = Find(Wnd);
    return W && !(W->Style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL IsWindowUnicode(HWND) { return TRUE; }

BOOL IsChild(HWND Parent, HWND Wnd) {
    TWindow* W = Find(Wnd);
    for (int D = 0; W && W->Parent && D < 1000; ++D) {
        if (W->Parent == Parent) return TRUE;
        W = Find(W->Parent);
    }
    return FALSE;
}

BOOL IsIconic(HWND Wnd) {
    TWindow* W = Find(Wnd);
    return W && (W->Style & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL IsZoomed(HWND Wnd) {
    TWindow* W = Find(Wnd);
    return W && (W->Style & WS_MAXIMIZE) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND Wnd, BOOL Enable) {
    TWindow* W = Find(Wnd);
    if (!W) return FALSE;
    BOOL WasDisabled = (W->Style & WS_DISABLED) ? TRUE : FALSE;
    if (bool(Enable) == !WasDisabled) return WasDisabled;
    if (Enable) {
        W->Style &= ~WS_DISABLED;
    } else {
        W->Style |= WS_DISABLED;
        TState& S = State();
        if (S.Focus == Wnd || IsChild(Wnd, S.Focus)) SetFocus(nullptr);
        if (S.Capture == Wnd || IsChild(Wnd, S.Capture)) ReleaseCapture();
    }
    Deliver(Wnd, WM_ENABLE, Enable ? TRUE : FALSE, 0);
    return WasDisabled;
}

BOOL SetWindowPos(HWND Wnd, HWND InsertAfter, int X, int Y, int Cx, int Cy, UINT Flags) {
    TState& S = State();
    TWindow* W = Find(Wnd);
    if (!W) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    WINDOWPOS Pos{Wnd, InsertAfter, ClampCoordinate(X), ClampCoordinate(Y), ClampSize(Cx), ClampSize(Cy), Flags};
    if (Flags & SWP_NOMOVE) {
        Pos.x = W->Rect.left;
        Pos.y = W->Rect.top;
    }
    if (Flags & SWP_NOSIZE) {
        Pos.cx = W->Rect.right - W->Rect.left;
        Pos.cy = W->Rect.bottom - W->Rect.top;
    }
    bool WasVisible = W->Style & WS_VISIBLE;
    const RECT OldScreen = ScreenRect(*W);
    const std::vector<HWND> OldOrder = SiblingList(*W);
    if (WasVisible && (Flags & SWP_SHOWWINDOW)) Pos.flags &= ~SWP_SHOWWINDOW;
    if (!WasVisible && (Flags & SWP_HIDEWINDOW)) Pos.flags &= ~SWP_HIDEWINDOW;
    if (!(Flags & SWP_NOSENDCHANGING)) {
        Deliver(Wnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&Pos));
        if (!(W = Find(Wnd))) return FALSE;
        Pos.x = ClampCoordinate(Pos.x);
        Pos.y = ClampCoordinate(Pos.y);
        Pos.cx = ClampSize(Pos.cx);
        Pos.cy = ClampSize(Pos.cy);
    }
    RECT Old = W->Rect;
    RECT New{Pos.x, Pos.y, Pos.x + Pos.cx, Pos.y + Pos.cy};
    bool Moved = New.left != Old.left || New.top != Old.top;
    bool Sized = (New.right - New.left) != (Old.right - Old.left) || (New.bottom - New.top) != (Old.bottom - Old.top);
    if (!Moved) Pos.flags |= SWP_NOMOVE;
    if (!Sized) Pos.flags |= SWP_NOSIZE;
    bool KeepValid = false;
    RECT ValidDest{}, ValidSource{};
    LRESULT ValidAlign = 0;
    if (Sized || (Pos.flags & SWP_FRAMECHANGED)) {
        NCCALCSIZE_PARAMS P;
        P.rgrc[0] = New;
        P.rgrc[1] = Old;
        P.rgrc[2] = W->Client;
        P.lppos = &Pos;
        W->Rect = New;
        const LRESULT Answer = Deliver(Wnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&P));
        if (!(W = Find(Wnd))) return FALSE;
        if (Answer & WVR_VALIDRECTS) {
            KeepValid = true;
            ValidDest = P.rgrc[1];
            ValidSource = P.rgrc[2];
            ValidAlign = Answer;
        }
        RECT C = P.rgrc[0];
        C.right = std::max(C.right, C.left);
        C.bottom = std::max(C.bottom, C.top);
        W->Client = C;
    } else {
        int Dx = New.left - Old.left, Dy = New.top - Old.top;
        W->Rect = New;
        W->Client = {W->Client.left + Dx, W->Client.top + Dy, W->Client.right + Dx, W->Client.bottom + Dy};
    }
    if (!(Pos.flags & SWP_NOZORDER)) {
        std::vector<HWND>& Sib = SiblingList(*W);
        Sib.erase(std::remove(Sib.begin(), Sib.end(), Wnd), Sib.end());
        auto At = Sib.begin();
        if (Pos.hwndInsertAfter == HWND_BOTTOM) {
            At = Sib.end();
        } else if (Pos.hwndInsertAfter != HWND_TOP && Pos.hwndInsertAfter != HWND_TOPMOST &&
                   Pos.hwndInsertAfter != HWND_NOTOPMOST) {
            auto It = std::find(Sib.begin(), Sib.end(), Pos.hwndInsertAfter);
            At = It == Sib.end() ? Sib.begin() : It + 1;
        }
        if (Pos.hwndInsertAfter == HWND_TOPMOST) W->ExStyle |= WS_EX_TOPMOST;
        if (Pos.hwndInsertAfter == HWND_NOTOPMOST) W->ExStyle &= ~WS_EX_TOPMOST;
        Sib.insert(At, Wnd);
    }
    if (Pos.flags & SWP_SHOWWINDOW) W->Style |= WS_VISIBLE;
    if (Pos.flags & SWP_HIDEWINDOW) W->Style &= ~WS_VISIBLE;
    bool Restacked = SiblingList(*W) != OldOrder;
    if (!(Pos.flags & SWP_NOREDRAW) &&
        (Moved || Sized || Restacked || (Pos.flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW | SWP_FRAMECHANGED))))
        InvalidateAfterChange(Wnd, OldScreen, WasVisible);
    if (KeepValid && WasVisible && (W->Style & WS_VISIBLE) && !(Pos.flags & (SWP_NOCOPYBITS | SWP_NOREDRAW)))
        CopyValidBits(Wnd, OldScreen, ValidDest, ValidSource, ValidAlign);
    if (IsTopLevel(*W)) {
        if (Pos.flags & SWP_SHOWWINDOW) S.Host->TopLevelShown(Wnd, W->Rect);
        else if (Pos.flags & SWP_HIDEWINDOW) S.Host->TopLevelHidden(Wnd);
        else if (Moved || Sized) NotifyHostMoved(*W);
    }
    Deliver(Wnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&Pos));
    if (!(W = Find(Wnd))) return TRUE;
    if (Pos.flags & SWP_HIDEWINDOW) {
        if (S.Capture == Wnd || IsChild(Wnd, S.Capture)) ReleaseCapture();
        if (S.Active == Wnd && !W->Destroying) Deactivate(Wnd);
        if (S.Focus && (S.Focus == Wnd || IsChild(Wnd, S.Focus))) {
            if (IsTopLevel(*W)) SetFocus(nullptr);
            else SetFocus(W->Parent);
        }
    } else if (!(Pos.flags & SWP_NOACTIVATE) && IsTopLevel(*W) && (W->Style & WS_VISIBLE) &&
               ((Pos.flags & SWP_SHOWWINDOW) || !(Pos.flags & SWP_NOZORDER))) {
        ActivateWindow(Wnd, false);
    }
    return TRUE;
}

BOOL MoveWindow(HWND Wnd, int X, int Y, int Width, int Height, BOOL Repaint) {
    return SetWindowPos(Wnd, nullptr, X, Y, Width, Height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (Repaint ? 0 : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND Wnd) { return SetWindowPos(Wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

BOOL ShowWindow(HWND Wnd, int Cmd) {
    ClaimUiThread();
    TWindow* W = Find(Wnd);
    if (!W) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BOOL WasVisible = (W->Style & WS_VISIBLE) ? TRUE : FALSE;
    bool NoActivate = Cmd == SW_SHOWNA || Cmd == SW_SHOWNOACTIVATE || Cmd == SW_SHOWMINNOACTIVE ||
                      Cmd == SW_MINIMIZE || (W->Style & WS_CHILD);
    if (Cmd == SW_HIDE) {
        if (!WasVisible) return FALSE;
        Deliver(Wnd, WM_SHOWWINDOW, FALSE, 0);
        SetWindowPos(Wnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return WasVisible;
    }
    bool Minimize = Cmd == SW_MINIMIZE || Cmd == SW_SHOWMINIMIZED || Cmd == SW_SHOWMINNOACTIVE;
    bool Maximize = Cmd == SW_SHOWMAXIMIZED;
    bool Restore = Cmd == SW_RESTORE || Cmd == SW_SHOWNORMAL;
    if ((Minimize && !(W->Style & WS_MINIMIZE)) || (Maximize && !(W->Style & WS_MAXIMIZE)) ||
        (Restore && (W->Style & (WS_MINIMIZE | WS_MAXIMIZE)))) {
        if (CallHooks(WH_CBT, HCBT_MINMAX, WPARAM(Wnd), Cmd) != 0) return WasVisible;
        if (!(W = Find(Wnd))) return WasVisible;
        if (!(W->Style & (WS_MINIMIZE | WS_MAXIMIZE))) W->Normal = W->Rect;
        RECT Target = W->Normal;
        WPARAM SizeKind = SIZE_RESTORED;
        W->Style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
        if (Minimize) {
            W->Style |= WS_MINIMIZE;
            Target = {-32000, -32000, -32000 + GetSystemMetrics(SM_CXMINIMIZED),
                      -32000 + GetSystemMetrics(SM_CYMINIMIZED)};
            SizeKind = SIZE_MINIMIZED;
        } else if (Maximize) {
            MINMAXINFO Info;
            SendMinMaxInfo(Wnd, Info);
            if (!(W = Find(Wnd))) return WasVisible;
            W->Style |= WS_MAXIMIZE;
            Target = {Info.ptMaxPosition.x, Info.ptMaxPosition.y, Info.ptMaxPosition.x + Info.ptMaxSize.x,
                      Info.ptMaxPosition.y + Info.ptMaxSize.y};
            SizeKind = SIZE_MAXIMIZED;
        }
        if (!WasVisible) Deliver(Wnd, WM_SHOWWINDOW, TRUE, 0);
        if (!Find(Wnd)) return WasVisible;
        SetWindowPos(Wnd, nullptr, Target.left, Target.top, Target.right - Target.left, Target.bottom - Target.top,
                     SWP_SHOWWINDOW | SWP_FRAMECHANGED | (NoActivate ? SWP_NOACTIVATE : 0) |
                         ((W->Style & WS_CHILD) ? SWP_NOZORDER : 0));
        if ((W = Find(Wnd)))
            Deliver(Wnd, WM_SIZE, SizeKind,
                    MAKELPARAM(W->Client.right - W->Client.left, W->Client.bottom - W->Client.top));
        return WasVisible;
    }
    if (!WasVisible) {
        Deliver(Wnd, WM_SHOWWINDOW, TRUE, 0);
        if (!(W = Find(Wnd))) return FALSE;
        SetWindowPos(Wnd, HWND_TOP, 0, 0, 0, 0,
                     SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | (NoActivate ? SWP_NOACTIVATE : 0) |
                         ((W->Style & WS_CHILD) ? SWP_NOZORDER : 0));
    } else if (!NoActivate && IsTopLevel(*W)) {
        ActivateWindow(Wnd, false);
    }
    return WasVisible;
}

HWND GetParent(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (!W) return nullptr;
    return (W->Style & WS_CHILD) ? W->Parent : W->Owner;
}

HWND SetParent(HWND Wnd, HWND NewParent) {
    TWindow* W = Find(Wnd);
    if (!W || (NewParent && !Find(NewParent)) || NewParent == Wnd || (NewParent && IsChild(Wnd, NewParent))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HWND Old = W->Parent;
    std::vector<HWND>& OldSib = SiblingList(*W);
    OldSib.erase(std::remove(OldSib.begin(), OldSib.end(), Wnd), OldSib.end());
    W->Parent = NewParent;
    if (NewParent) W->Owner = nullptr;
    SiblingList(*W).insert(SiblingList(*W).begin(), Wnd);
    return Old ? Old : GetDesktopWindow();
}

HWND GetAncestor(HWND Wnd, UINT Flags) {
    TWindow* W = Find(Wnd);
    if (!W) return nullptr;
    if (Flags == GA_PARENT) return W->Parent ? W->Parent : GetDesktopWindow();
    HWND H = Wnd;
    for (int D = 0; D < 1000; ++D) {
        TWindow* C = Find(H);
        if (!C->Parent) break;
        H = C->Parent;
    }
    if (Flags == GA_ROOTOWNER) {
        for (int D = 0; D < 1000; ++D) {
            TWindow* C = Find(H);
            if (!C->Owner || !Find(C->Owner)) break;
            H = C->Owner;
        }
    }
    return H;
}

HWND GetWindow(HWND Wnd, UINT Cmd) {
    TWindow* W = Find(Wnd);
    if (!W) return nullptr;
    if (Cmd == GW_CHILD) return W->Children.empty() ? nullptr : W->Children.front();
    if (Cmd == GW_OWNER) return W->Owner;
    std::vector<HWND>& Sib = SiblingList(*W);
    auto It = std::find(Sib.begin(), Sib.end(), Wnd);
    switch (Cmd) {
    case GW_HWNDFIRST: return Sib.front();
    case GW_HWNDLAST: return Sib.back();
    case GW_HWNDNEXT: return It + 1 < Sib.end() ? *(It + 1) : nullptr;
    case GW_HWNDPREV: return It > Sib.begin() ? *(It - 1) : nullptr;
    default: return nullptr;
    }
}

HWND GetTopWindow(HWND Wnd) {
    if (!Wnd) return State().TopLevel.empty() ? nullptr : State().TopLevel.front();
    return GetWindow(Wnd, GW_CHILD);
}

// The desktop is not a window of the layer: it has no procedure. Its handle
// stands for "no parent" where the platform answers one.
HWND GetDesktopWindow() { return reinterpret_cast<HWND>(uintptr_t(0x10010)); }

HWND FindWindowW(LPCWSTR ClassName, LPCWSTR WindowName) {
    auto C = ClassName ? FindClass(ClassName) : nullptr;
    if (ClassName && !C) return nullptr;
    std::u16string Name = FromWide(WindowName);
    for (HWND H : State().TopLevel) {
        TWindow* W = Find(H);
        if (!W) continue;
        if (C && W->Class != C) continue;
        if (WindowName && W->Text != Name) continue;
        return H;
    }
    return nullptr;
}

namespace {
bool EnumTree(const std::vector<HWND>& List, BOOL (*Proc)(HWND, LPARAM), LPARAM Data, int Depth) {
    std::vector<HWND> Copy = List;
    for (HWND H : Copy) {
        if (!Find(H)) continue;
        if (!Proc(H, Data)) return false;
        TWindow* W = Find(H);
        if (W && Depth < 1000 && !EnumTree(W->Children, Proc, Data, Depth + 1)) return false;
    }
    return true;
}
}  // namespace

BOOL EnumChildWindows(HWND Parent, BOOL (*Proc)(HWND, LPARAM), LPARAM Data) {
    TWindow* W = Find(Parent);
    if (!W || !Proc) return FALSE;
    return EnumTree(W->Children, Proc, Data, 0) ? TRUE : FALSE;
}

BOOL EnumWindows(BOOL (*Proc)(HWND, LPARAM), LPARAM Data) {
    if (!Proc) return FALSE;
    std::vector<HWND> Copy = State().TopLevel;
    for (HWND H : Copy)
        if (Find(H) && !Proc(H, Data)) return FALSE;
    return TRUE;
}

BOOL GetWindowRect(HWND Wnd, RECT* Rect) {
    TWindow* W = Find(Wnd);
    if (!W || !Rect) return FALSE;
    *Rect = ScreenRect(*W);
    return TRUE;
}

BOOL GetClientRect(HWND Wnd, RECT* Rect) {
    TWindow* W = Find(Wnd);
    if (!W || !Rect) return FALSE;
    *Rect = {0, 0, W->Client.right - W->Client.left, W->Client.bottom - W->Client.top};
    return TRUE;
}

BOOL ClientToScreen(HWND Wnd, POINT* Point) {
    TWindow* W = Find(Wnd);
    if (!W || !Point) return FALSE;
    POINT O = ClientOrigin(*W);
    Point->x += O.x;
    Point->y += O.y;
    return TRUE;
}

BOOL ScreenToClient(HWND Wnd, POINT* Point) {
    TWindow* W = Find(Wnd);
    if (!W || !Point) return FALSE;
    POINT O = ClientOrigin(*W);
    Point->x -= O.x;
    Point->y -= O.y;
    return TRUE;
}

int MapWindowPoints(HWND From, HWND To, POINT* Points, UINT Count) {
    POINT A{0, 0}, B{0, 0};
    if (From && From != GetDesktopWindow()) {
        TWindow* W = Find(From);
        if (!W) return 0;
        A = ClientOrigin(*W);
    }
    if (To && To != GetDesktopWindow()) {
        TWindow* W = Find(To);
        if (!W) return 0;
        B = ClientOrigin(*W);
    }
    int Dx = A.x - B.x, Dy = A.y - B.y;
    for (UINT I = 0; Points && I < Count; ++I) {
        Points[I].x += Dx;
        Points[I].y += Dy;
    }
    return int(uint32_t(uint16_t(Dx)) | (uint32_t(uint16_t(Dy)) << 16));
}

namespace {
bool Contains(const RECT& R, POINT P) { return P.x >= R.left && P.x < R.right && P.y >= R.top && P.y < R.bottom; }

// The deepest visible, enabled window under the point whose hit test is not
// HTTRANSPARENT, searching List (topmost first).
HWND FindUnder(const std::vector<HWND>& List, POINT Screen, int Depth) {
    std::vector<HWND> Copy = List;
    for (HWND H : Copy) {
        TWindow* W = Find(H);
        if (!W || !(W->Style & WS_VISIBLE)) continue;
        if (!Contains(ScreenRect(*W), Screen) || !InShape(*W, Screen)) continue;
        if (W->Style & WS_DISABLED) {
            if (W->Style & WS_CHILD) continue;
            return H;  // a disabled top-level window still takes the point
        }
        RECT Client = W->Client;
        POINT O{0, 0};
        if (TWindow* P = Find(W->Parent)) O = ClientOrigin(*P);
        RECT ScreenClient{Client.left + O.x, Client.top + O.y, Client.right + O.x, Client.bottom + O.y};
        if (Depth < 100 && Contains(ScreenClient, Screen)) {
            if (HWND Child = FindUnder(W->Children, Screen, Depth + 1)) return Child;
        }
        if (!Find(H)) continue;
        LRESULT Hit = Deliver(H, WM_NCHITTEST, 0, MAKELPARAM(Screen.x, Screen.y));
        if (Hit == HTTRANSPARENT || !Find(H)) continue;
        return H;
    }
    return nullptr;
}
}  // namespace

HWND WindowFromPoint(POINT Point) { return FindUnder(State().TopLevel, Point, 0); }

HWND ChildWindowFromPoint(HWND Parent, POINT Point) {
    TWindow* W = Find(Parent);
    if (!W) return nullptr;
    POINT S = Point;
    ClientToScreen(Parent, &S);
    for (HWND H : W->Children) {
        TWindow* C = Find(H);
        if (C && Contains(ScreenRect(*C), S)) return H;
    }
    RECT R;
    GetClientRect(Parent, &R);
    return Contains(R, Point) ? Parent : nullptr;
}

BOOL GetWindowPlacement(HWND Wnd, WINDOWPLACEMENT* Placement) {
    TWindow* W = Find(Wnd);
    if (!W || !Placement) return FALSE;
    Placement->flags = 0;
    Placement->showCmd = !(W->Style & WS_VISIBLE)   ? SW_HIDE
                         : (W->Style & WS_MINIMIZE) ? SW_SHOWMINIMIZED
                         : (W->Style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED
                                                    : SW_SHOWNORMAL;
    Placement->rcNormalPosition = (W->Style & (WS_MINIMIZE | WS_MAXIMIZE)) ? W->Normal : W->Rect;
    return TRUE;
}

int GetDlgCtrlID(HWND Wnd) {
    TWindow* W = Find(Wnd);
    return W && (W->Style & WS_CHILD) ? int(W->Id) : 0;
}

HWND GetDlgItem(HWND Dialog, int Id) {
    TWindow* W = Find(Dialog);
    if (!W) return nullptr;
    for (HWND H : W->Children) {
        TWindow* C = Find(H);
        if (C && C->Id == Id) return H;
    }
    return nullptr;
}

// GetMenu, SetMenu and DrawMenuBar: Menus.cpp.

// ---------------------------------------------------------------------------
LONG_PTR GetWindowLongPtrW(HWND Wnd, int Index) {
    TWindow* W = Find(Wnd);
    if (!W) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (Index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(W->Procs.back().Proc);
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(ModuleInstance());
    case GWL_HWNDPARENT: return reinterpret_cast<LONG_PTR>(W->Parent ? W->Parent : W->Owner);
    case GWL_STYLE: return LONG_PTR(int32_t(W->Style));
    case GWL_EXSTYLE: return LONG_PTR(int32_t(W->ExStyle));
    case GWL_USERDATA: return W->UserData;
    case GWL_ID: return W->Id;
    default: break;
    }
    if (Index < 0 || size_t(Index) + sizeof(LONG_PTR) > W->Extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR V;
    std::memcpy(&V, W->Extra.data() + Index, sizeof V);
    return V;
}

namespace {
// Installs Proc as the window's procedure. Putting back what the current
// link saved removes that link; putting back what a lower link saved (an
// out-of-order restore) removes only that lower link, and calls through its
// procedure go on to the procedure below it. Anything else is a new link.
WNDPROC InstallProc(TWindow& W, WNDPROC Proc) {
    WNDPROC Current = W.Procs.back().Proc;
    auto DropAlias = [&](WNDPROC P) {
        W.Unlinked.erase(std::remove_if(W.Unlinked.begin(), W.Unlinked.end(),
                                        [&](const auto& A) { return A.first == P; }),
                         W.Unlinked.end());
    };
    for (size_t I = W.Procs.size(); I-- > 1;) {
        if (W.Procs[I].Prev != Proc) continue;
        WNDPROC Removed = W.Procs[I].Proc;
        W.Procs.erase(W.Procs.begin() + std::ptrdiff_t(I));
        DropAlias(Removed);
        W.Unlinked.emplace_back(Removed, Proc);
        return Removed;
    }
    DropAlias(Proc);
    W.Procs.push_back({Proc, Current});
    return Current;
}
}  // namespace

LONG_PTR SetWindowLongPtrW(HWND Wnd, int Index, LONG_PTR Value) {
    TWindow* W = Find(Wnd);
    if (!W) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR Old = 0;
    switch (Index) {
    case GWL_WNDPROC: {
        WNDPROC P = reinterpret_cast<WNDPROC>(Value);
        if (!P) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        return reinterpret_cast<LONG_PTR>(InstallProc(*W, P));
    }
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(ModuleInstance());
    case GWL_HWNDPARENT:
        if (W->Style & WS_CHILD) return reinterpret_cast<LONG_PTR>(SetParent(Wnd, reinterpret_cast<HWND>(Value)));
        Old = reinterpret_cast<LONG_PTR>(W->Owner);
        W->Owner = Find(reinterpret_cast<HWND>(Value)) ? GetAncestor(reinterpret_cast<HWND>(Value), GA_ROOT) : nullptr;
        if (W->Owner == Wnd) W->Owner = nullptr;
        return Old;
    case GWL_STYLE:
    case GWL_EXSTYLE: {
        STYLESTRUCT Ss;
        Ss.styleOld = Index == GWL_STYLE ? W->Style : W->ExStyle;
        Ss.styleNew = DWORD(Value);
        Deliver(Wnd, WM_STYLECHANGING, WPARAM(Index), reinterpret_cast<LPARAM>(&Ss));
        if (!(W = Find(Wnd))) return 0;
        if (Index == GWL_STYLE) {
            // WS_CHILD cannot be switched by a style change.
            W->Style = (Ss.styleNew & ~WS_CHILD) | (W->Style & WS_CHILD);
        } else {
            W->ExStyle = Ss.styleNew;
        }
        Deliver(Wnd, WM_STYLECHANGED, WPARAM(Index), reinterpret_cast<LPARAM>(&Ss));
        return LONG_PTR(int32_t(Ss.styleOld));
    }
    case GWL_USERDATA:
        Old = W->UserData;
        W->UserData = Value;
        return Old;
    case GWL_ID:
        Old = W->Id;
        W->Id = Value;
        return Old;
    default: break;
    }
    if (Index < 0 || size_t(Index) + sizeof(LONG_PTR) > W->Extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    std::memcpy(&Old, W->Extra.data() + Index, sizeof Old);
    std::memcpy(W->Extra.data() + Index, &Value, sizeof Value);
    return Old;
}

int GetWindowTextW(HWND Wnd, LPWSTR Buffer, int MaxCount) {
    if (!Buffer || MaxCount <= 0) return 0;
    Buffer[0] = 0;
    if (!Find(Wnd)) return 0;
    return int(SendMessageW(Wnd, WM_GETTEXT, WPARAM(MaxCount), reinterpret_cast<LPARAM>(Buffer)));
}

int GetWindowTextLengthW(HWND Wnd) { return int(SendMessageW(Wnd, WM_GETTEXTLENGTH, 0, 0)); }

BOOL SetWindowTextW(HWND Wnd, LPCWSTR Text) {
    if (!Find(Wnd)) return FALSE;
    return SendMessageW(Wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Text)) ? TRUE : FALSE;
}

std::u16string GetWindowTextString(HWND Wnd) {
    int N = GetWindowTextLengthW(Wnd);
    if (N <= 0) return {};
    std::u16string S(size_t(N) + 1, u'\0');
    int Got = GetWindowTextW(Wnd, S.data(), N + 1);
    S.resize(size_t(std::clamp(Got, 0, N)));
    return S;
}

// ---------------------------------------------------------------------------
namespace {
std::optional<std::u16string> PropKey(LPCWSTR Name) {
    if (!Name) return std::nullopt;
    if (IS_INTRESOURCE(Name)) {
        auto N = AtomName(ATOM(uintptr_t(Name)));
        if (!N) return std::u16string(u"#") + std::u16string(1, char16_t(uintptr_t(Name)));
        return Fold(*N);
    }
    return Fold(FromWide(Name));
}
}  // namespace

BOOL SetPropW(HWND Wnd, LPCWSTR Name, HANDLE Data) {
    TWindow* W = Find(Wnd);
    auto K = PropKey(Name);
    if (!W || !K || W->Props.size() >= 4096) return FALSE;
    W->Props[*K] = Data;
    return TRUE;
}

HANDLE GetPropW(HWND Wnd, LPCWSTR Name) {
    TWindow* W = Find(Wnd);
    auto K = PropKey(Name);
    if (!W || !K) return nullptr;
    auto It = W->Props.find(*K);
    return It == W->Props.end() ? nullptr : It->second;
}

HANDLE RemovePropW(HWND Wnd, LPCWSTR Name) {
    TWindow* W = Find(Wnd);
    auto K = PropKey(Name);
    if (!W || !K) return nullptr;
    auto It = W->Props.find(*K);
    if (It == W->Props.end()) return nullptr;
    HANDLE V = It->second;
    W->Props.erase(It);
    return V;
}

// ---------------------------------------------------------------------------
LRESULT CallWindowProcW(WNDPROC Proc, HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (TWindow* Win = Find(Wnd)) {
        // A link taken out of the chain passes on to the procedure below it.
        for (size_t Step = 0; Step <= Win->Unlinked.size(); ++Step) {
            auto It = std::find_if(Win->Unlinked.begin(), Win->Unlinked.end(),
                                   [&](const auto& P) { return P.first == Proc; });
            if (It == Win->Unlinked.end()) break;
            Proc = It->second;
        }
    }
    if (!Proc) return 0;
    return Proc(Wnd, Msg, W, L);
}

WNDPROC MakeObjectInstance(TWndMethod Method) {
    TInstances& T = Instances();
    if (!Method || T.Free.empty()) return nullptr;
    size_t I = T.Free.front();
    T.Free.pop_front();
    T.Methods[I] = std::make_shared<TWndMethod>(std::move(Method));
    return Thunks()[I];
}

void FreeObjectInstance(WNDPROC Instance) {
    auto I = InstanceIndex(Instance);
    if (!I) return;
    TInstances& T = Instances();
    if (!T.Methods[*I]) return;
    // A call running through the instance keeps its method until it returns.
    T.Methods[*I].reset();
    T.Free.push_back(*I);
}

LRESULT SendMessageW(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    LRESULT R = 0;
    // Made-up handles (generation 0) are never windows of the layer.
    bool LayerShaped = (uintptr_t(Wnd) >> kSlotBits) != 0;
    if (OnUiThread()) {
        if (Find(Wnd)) return Deliver(Wnd, Msg, W, L);
        if (CallRegisteredHandler(Wnd, Msg, W, L, R)) return R;
        if (LayerShaped) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (CallRegisteredHandler(Wnd, Msg, W, L, R) || !LayerShaped) return R;
    // Another thread: the user-interface thread answers in its next message
    // call (0 when the window is gone by then), and this thread waits.
    TState& S = State();
    auto Call = std::make_shared<TCrossSend>();
    Call->Wnd = Wnd;
    Call->Msg = Msg;
    Call->W = W;
    Call->L = L;
    {
        std::lock_guard<std::mutex> G(S.PostLock);
        S.Sent.push_back(Call);
    }
    S.Host->Wake();
    std::unique_lock<std::mutex> G(S.PostLock);
    S.SendDone.wait(G, [&] { return Call->Done; });
    return Call->Result;
}

}  // namespace velmo
