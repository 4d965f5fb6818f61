// The message queue and its loops, timers, hooks, input, activation, focus
// and capture.
#include <algorithm>
#include <unordered_map>
#include <unistd.h>
#include <sys/syscall.h>

#include "platform/ui/WindowInternal.h"

namespace velmo {

using namespace ui;

namespace {

constexpr size_t kMaxPosted = 1u << 20;   // posted messages waiting
constexpr size_t kMaxTimers = 1u << 16;
constexpr size_t kMaxHooks = 1024;
constexpr int kMaxHookDepth = 64;         // hooks calling back into hooked calls
constexpr int kMaxNestedLoops = 64;

int NestedLoops = 0;

bool Matches(const MSG& M, HWND Wnd, UINT First, UINT Last) {
    if (First != 0 || Last != 0) {
        if (First <= Last ? (M.message < First || M.message > Last) : (M.message < First && M.message > Last))
            return false;
    }
    if (Wnd == reinterpret_cast<HWND>(intptr_t(-1))) return M.hwnd == nullptr;
    if (Wnd && M.hwnd != Wnd && !IsChild(Wnd, M.hwnd)) return false;
    return true;
}

bool Due(uint32_t DueTick, uint32_t Now) { return int32_t(Now - DueTick) >= 0; }

std::optional<uint32_t> NextTimerDue() {
    std::optional<uint32_t> Next;
    uint32_t Now = State().Host->Now();
    for (const TTimer& T : State().Timers) {
        if (!Next || int32_t(T.Due - *Next) < 0) Next = T.Due;
    }
    if (Next && Due(*Next, Now)) return Now;
    return Next;
}

struct TDrop {
    std::vector<std::u16string> Files;
    POINT Point;
};
std::unordered_map<uintptr_t, TDrop>& Drops() {
    static auto* M = new std::unordered_map<uintptr_t, TDrop>;
    return *M;
}

HDROP MakeDrop(const std::vector<std::u16string>& Files, POINT P) {
    static uintptr_t Next = 0x5D000000;
    if (Drops().size() >= 1024) return nullptr;  // drops nobody finished
    Next += 16;
    Drops()[Next] = {Files, P};
    return reinterpret_cast<HDROP>(Next);
}

LPARAM PointParam(POINT P) { return MAKELPARAM(P.x, P.y); }

void PostInput(HWND Wnd, UINT Msg, WPARAM W, LPARAM L, POINT Screen) {
    MSG M;
    M.hwnd = Wnd;
    M.message = Msg;
    M.wParam = W;
    M.lParam = L;
    M.time = State().Host->Now();
    M.pt = Screen;
    State().Input.push_back(M);
}

WPARAM ButtonBit(int Button) { return Button == 1 ? MK_RBUTTON : Button == 2 ? MK_MBUTTON : MK_LBUTTON; }

void MouseEvent(const THostEvent& E) {
    TState& S = State();
    POINT P{int16_t(std::clamp(E.Screen.x, -32768, 32767)), int16_t(std::clamp(E.Screen.y, -32768, 32767))};
    if (E.Kind == THostEventKind::MouseDown) S.MouseButtons |= ButtonBit(E.Button);
    if (E.Kind == THostEventKind::MouseUp) S.MouseButtons &= ~ButtonBit(E.Button);
    HWND Target = S.Capture;
    LRESULT Hit = HTCLIENT;
    if (!Target || !Find(Target)) {
        Target = WindowFromPoint(P);
        if (!Target) return;
        Hit = Deliver(Target, WM_NCHITTEST, 0, PointParam(P));
        if (!Find(Target)) return;
    }
    UINT Base;
    switch (E.Kind) {
    case THostEventKind::MouseMove: Base = WM_MOUSEMOVE; break;
    case THostEventKind::MouseDown:
        Base = E.Button == 1 ? WM_RBUTTONDOWN : E.Button == 2 ? WM_MBUTTONDOWN : WM_LBUTTONDOWN;
        break;
    case THostEventKind::MouseUp: Base = E.Button == 1 ? WM_RBUTTONUP : E.Button == 2 ? WM_MBUTTONUP : WM_LBUTTONUP; break;
    default: Base = WM_MOUSEWHEEL; break;
    }
    if (Base == WM_MOUSEWHEEL) {
        HWND To = S.Focus ? S.Focus : Target;
        PostInput(To, WM_MOUSEWHEEL, MAKEWPARAM(int(S.MouseButtons), E.WheelDelta), PointParam(P), P);
        return;
    }
    bool Down = Base == WM_LBUTTONDOWN || Base == WM_RBUTTONDOWN || Base == WM_MBUTTONDOWN;
    if (Down) {
        // A click activates the top-level window under it, unless the
        // window answers WM_MOUSEACTIVATE otherwise.
        HWND Root = GetAncestor(Target, GA_ROOT);
        if (Root && Root != S.Active) {
            LRESULT Ma = Deliver(Target, WM_MOUSEACTIVATE, WPARAM(Root), MAKELPARAM(int(Hit), int(Base)));
            if ((Ma == MA_ACTIVATE || Ma == MA_ACTIVATEANDEAT || Ma == 0) && Find(Root)) ActivateWindow(Root, true);
            if (Ma == MA_ACTIVATEANDEAT || Ma == MA_NOACTIVATEANDEAT) return;
            if (!Find(Target)) return;
        }
        // A second press close in time and place is a double click where
        // the class asks for them.
        TWindow* W = Find(Target);
        uint32_t Now = S.Host->Now();
        if (W && (W->Class->Info.style & CS_DBLCLKS) && S.LastDownWnd == Target && S.LastDownMsg == Base &&
            Now - S.LastDownTime <= 500 && std::abs(P.x - S.LastDownPoint.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
            std::abs(P.y - S.LastDownPoint.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2) {
            Base += 2;  // WM_xBUTTONDBLCLK
            S.LastDownWnd = nullptr;
        } else {
            S.LastDownWnd = Target;
            S.LastDownMsg = Base;
            S.LastDownTime = Now;
            S.LastDownPoint = P;
        }
    }
    if (Hit == HTCLIENT) {
        POINT C = P;
        ScreenToClient(Target, &C);
        PostInput(Target, Base, S.MouseButtons, MAKELPARAM(C.x, C.y), P);
    } else {
        PostInput(Target, Base - WM_MOUSEMOVE + WM_NCMOUSEMOVE, WPARAM(Hit), PointParam(P), P);
    }
}

void KeyEvent(const THostEvent& E) {
    TState& S = State();
    HWND To = S.Focus ? S.Focus : S.Active;
    if (!To) return;
    bool Sys = E.Alt || !S.Focus;
    UINT Msg = E.Kind == THostEventKind::KeyDown ? (Sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (Sys ? WM_SYSKEYUP : WM_KEYUP);
    LPARAM L = 1 | (E.Alt ? (1 << 29) : 0) | (E.Kind == THostEventKind::KeyUp ? LPARAM(0xC0000000u) : 0);
    PostInput(To, Msg, E.VirtualKey, L, {});
}

void HostEvent(const THostEvent& E) {
    TState& S = State();
    switch (E.Kind) {
    case THostEventKind::MouseMove:
    case THostEventKind::MouseDown:
    case THostEventKind::MouseUp:
    case THostEventKind::MouseWheel: MouseEvent(E); break;
    case THostEventKind::KeyDown:
    case THostEventKind::KeyUp: KeyEvent(E); break;
    case THostEventKind::Text: {
        HWND To = S.Focus ? S.Focus : S.Active;
        if (!To) break;
        if (ImeCommit(To, E.Text)) break;
        for (char16_t C : E.Text) PostInput(To, WM_CHAR, WPARAM(C), 1, {});
        break;
    }
    case THostEventKind::Composition: ImeCompose(S.Focus ? S.Focus : S.Active, E.Text, E.Cursor); break;
    case THostEventKind::CaptureLost:
        S.MouseButtons = 0;
        if (S.Capture) ReleaseCapture();
        break;
    case THostEventKind::Drop: {
        HWND To = WindowFromPoint(E.Screen);
        for (int D = 0; To && D < 1000; ++D) {
            TWindow* W = Find(To);
            if (!W) break;
            if (W->ExStyle & WS_EX_ACCEPTFILES) break;
            To = W->Parent;
        }
        if (!To || !Find(To) || E.Files.empty()) break;
        POINT P = E.Screen;
        ScreenToClient(To, &P);
        HDROP Drop = MakeDrop(E.Files, P);
        if (Drop && !PostMessageW(To, WM_DROPFILES, WPARAM(Drop), 0)) DragFinish(Drop);
        break;
    }
    case THostEventKind::Quit: {
        std::vector<HWND> Targets;
        for (HWND H : S.TopLevel) {
            TWindow* W = Find(H);
            if (W && (W->Style & WS_VISIBLE) && !W->Owner) Targets.push_back(H);
        }
        for (HWND H : Targets) PostMessageW(H, WM_CLOSE, 0, 0);
        break;
    }
    }
}

// Host events wait as they came; each gets its window only when the queue
// reaches it, so a capture taken by an earlier message decides where the
// later ones go.
void PumpHost() {
    TState& S = State();
    THostEvent E;
    for (int N = 0; N < 4096 && S.RawInput.size() < (1u << 16) && S.Host->PollEvent(E); ++N)
        S.RawInput.push_back(std::move(E));
}

bool MatchingInput(HWND Wnd, UINT First, UINT Last) {
    for (const MSG& M : State().Input)
        if (Find(M.hwnd) && Matches(M, Wnd, First, Last)) return true;
    return false;
}

// The message the queue gives next, in the platform's order.
bool TakeMessage(MSG* Out, HWND Wnd, UINT First, UINT Last, UINT Remove) {
    TState& S = State();
    AnswerCrossSends();
    PumpHost();
    {
        std::lock_guard<std::mutex> G(S.PostLock);
        for (auto It = S.Posted.begin(); It != S.Posted.end(); ++It) {
            if (!Matches(*It, Wnd, First, Last)) continue;
            *Out = *It;
            if (Remove & PM_REMOVE) S.Posted.erase(It);
            return true;
        }
    }
    while (!S.RawInput.empty() && !MatchingInput(Wnd, First, Last)) {
        THostEvent E = std::move(S.RawInput.front());
        S.RawInput.pop_front();
        HostEvent(E);
    }
    for (auto It = S.Input.begin(); It != S.Input.end(); ++It) {
        if (!Find(It->hwnd)) continue;
        if (!Matches(*It, Wnd, First, Last)) continue;
        *Out = *It;
        if (Remove & PM_REMOVE) S.Input.erase(It);
        return true;
    }
    {
        // The quit comes once posted messages and input are through.
        std::lock_guard<std::mutex> G(S.PostLock);
        if (S.QuitPosted && (First == 0 && Last == 0 ? true : (WM_QUIT >= First && WM_QUIT <= Last))) {
            *Out = MSG();
            Out->message = WM_QUIT;
            Out->wParam = WPARAM(S.QuitCode);
            Out->time = S.Host->Now();
            if (Remove & PM_REMOVE) S.QuitPosted = false;
            return true;
        }
    }
    if ((First == 0 && Last == 0) || (WM_PAINT >= First && WM_PAINT <= Last)) {
        if (HWND P = WindowToPaint(Wnd == reinterpret_cast<HWND>(intptr_t(-1)) ? nullptr : Wnd)) {
            *Out = MSG();
            Out->hwnd = P;
            Out->message = WM_PAINT;
            Out->time = S.Host->Now();
            return true;
        }
    }
    // Input for windows that died meanwhile is dropped.
    S.Input.erase(std::remove_if(S.Input.begin(), S.Input.end(), [](const MSG& M) { return !Find(M.hwnd); }),
                  S.Input.end());
    uint32_t Now = S.Host->Now();
    TTimer* Best = nullptr;
    for (TTimer& T : S.Timers) {
        if (!Due(T.Due, Now)) continue;
        MSG Probe;
        Probe.hwnd = T.Wnd;
        Probe.message = WM_TIMER;
        if (!Matches(Probe, Wnd, First, Last)) continue;
        if (!Best || int32_t(T.Due - Best->Due) < 0) Best = &T;
    }
    if (Best) {
        *Out = MSG();
        Out->hwnd = Best->Wnd;
        Out->message = WM_TIMER;
        Out->wParam = Best->Id;
        Out->lParam = reinterpret_cast<LPARAM>(Best->Proc);
        Out->time = Now;
        if (Remove & PM_REMOVE) Best->Due = Now + Best->Elapse;
        return true;
    }
    return false;
}

}  // namespace

namespace ui {

void AnswerCrossSends() {
    TState& S = State();
    for (int N = 0; N < 4096; ++N) {
        std::shared_ptr<TCrossSend> Call;
        {
            std::lock_guard<std::mutex> G(S.PostLock);
            if (S.Sent.empty()) return;
            Call = S.Sent.front();
            S.Sent.pop_front();
        }
        ++S.SendDepth;
        LRESULT R = Find(Call->Wnd) ? Deliver(Call->Wnd, Call->Msg, Call->W, Call->L) : 0;
        --S.SendDepth;
        {
            std::lock_guard<std::mutex> G(S.PostLock);
            Call->Result = R;
            Call->Done = true;
        }
        S.SendDone.notify_all();
    }
}

void ForgetWindowMessages(HWND Wnd) {
    TState& S = State();
    S.Timers.erase(std::remove_if(S.Timers.begin(), S.Timers.end(), [&](const TTimer& T) { return T.Wnd == Wnd; }),
                   S.Timers.end());
    S.Input.erase(std::remove_if(S.Input.begin(), S.Input.end(), [&](const MSG& M) { return M.hwnd == Wnd; }),
                  S.Input.end());
    std::lock_guard<std::mutex> G(S.PostLock);
    S.Posted.erase(std::remove_if(S.Posted.begin(), S.Posted.end(), [&](const MSG& M) { return M.hwnd == Wnd; }),
                   S.Posted.end());
}

LRESULT CallHooks(int Kind, int Code, WPARAM W, LPARAM L) {
    TState& S = State();
    if (S.HookDepth >= kMaxHookDepth) return 0;
    for (size_t I = S.Hooks.size(); I-- > 0;) {
        if (S.Hooks[I].Kind != Kind || !S.Hooks[I].Alive) continue;
        ++S.HookDepth;
        LRESULT R = S.Hooks[I].Proc(Code, W, L);
        if (--S.HookDepth == 0)
            S.Hooks.erase(std::remove_if(S.Hooks.begin(), S.Hooks.end(), [](const THook& H) { return !H.Alive; }),
                          S.Hooks.end());
        return R;
    }
    return 0;
}

bool ActivateWindow(HWND Wnd, bool Mouse) {
    TState& S = State();
    TWindow* W = Find(Wnd);
    if (!W) return false;
    Wnd = GetAncestor(Wnd, GA_ROOT);
    if (Wnd == S.Active) return true;
    HWND Old = S.Active;
    CBTACTIVATESTRUCT Cbt{Mouse ? TRUE : FALSE, Old};
    if (CallHooks(WH_CBT, HCBT_ACTIVATE, WPARAM(Wnd), reinterpret_cast<LPARAM>(&Cbt)) != 0) return false;
    if (!Find(Wnd)) return false;
    if (Old && Find(Old)) {
        Deliver(Old, WM_NCACTIVATE, FALSE, LPARAM(Wnd));
        Deliver(Old, WM_ACTIVATE, WA_INACTIVE, LPARAM(Wnd));
        if (S.Focus && Find(Old) && (S.Focus == Old || IsChild(Old, S.Focus))) {
            HWND F = S.Focus;
            S.Focus = nullptr;
            Deliver(F, WM_KILLFOCUS, WPARAM(Wnd), 0);
        }
    }
    if (!Find(Wnd)) return false;
    if (!Old) Deliver(Wnd, WM_ACTIVATEAPP, TRUE, 0);
    if (!(W = Find(Wnd))) return false;
    S.Active = Wnd;
    std::vector<HWND>& Top = S.TopLevel;
    Top.erase(std::remove(Top.begin(), Top.end(), Wnd), Top.end());
    Top.insert(Top.begin(), Wnd);
    S.Host->TopLevelActivated(Wnd);
    Deliver(Wnd, WM_NCACTIVATE, TRUE, LPARAM(Old));
    if (!Find(Wnd) || S.Active != Wnd) return false;
    Deliver(Wnd, WM_ACTIVATE, Mouse ? WA_CLICKACTIVE : WA_ACTIVE, LPARAM(Old));
    return Find(Wnd) != nullptr;
}

void ReleaseCaptureOf(HWND Wnd) {
    if (State().Capture == Wnd) ReleaseCapture();
}

void PostInputMessage(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) { PostInput(Wnd, Msg, W, L, {}); }

}  // namespace ui

// ---------------------------------------------------------------------------
void SetWindowHost(std::shared_ptr<IWindowHost> Host) {
    if (Host) State().Host = std::move(Host);
}

IWindowHost& WindowHost() { return *State().Host; }

BOOL PostMessageW(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    TState& S = State();
    if (OnUiThread() && Wnd && !Find(Wnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> G(S.PostLock);
        if (S.Posted.size() >= kMaxPosted) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        MSG M;
        M.hwnd = Wnd;
        M.message = Msg;
        M.wParam = W;
        M.lParam = L;
        M.time = S.Host->Now();
        S.Posted.push_back(M);
    }
    S.Host->Wake();
    return TRUE;
}

BOOL PostThreadMessageW(DWORD ThreadId, UINT Msg, WPARAM W, LPARAM L) {
    (void)ThreadId;  // one user-interface thread owns the only queue
    return PostMessageW(nullptr, Msg, W, L);
}

void PostQuitMessage(int ExitCode) {
    TState& S = State();
    {
        std::lock_guard<std::mutex> G(S.PostLock);
        S.QuitPosted = true;
        S.QuitCode = ExitCode;
    }
    S.Host->Wake();
}

BOOL PeekMessageW(MSG* Msg, HWND Wnd, UINT First, UINT Last, UINT Remove) {
    ClaimUiThread();
    if (!Msg || !OnUiThread()) return FALSE;
    TState& S = State();
    if (TakeMessage(Msg, Wnd, First, Last, Remove)) {
        if (Remove & PM_REMOVE) S.Current = *Msg;
        return TRUE;
    }
    // A caller spinning on PeekMessage reaches its timers too.
    PresentDirty();
    S.Host->Idle(NextTimerDue());
    if (TakeMessage(Msg, Wnd, First, Last, Remove)) {
        if (Remove & PM_REMOVE) S.Current = *Msg;
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageW(MSG* Msg, HWND Wnd, UINT First, UINT Last) {
    ClaimUiThread();
    if (!Msg || !OnUiThread()) return -1;
    TState& S = State();
    for (;;) {
        if (TakeMessage(Msg, Wnd, First, Last, PM_REMOVE)) {
            S.Current = *Msg;
            return Msg->message == WM_QUIT ? FALSE : TRUE;
        }
        PresentDirty();
        if (!S.Host->Wait(NextTimerDue())) return -1;
    }
}

BOOL WaitMessage() {
    TState& S = State();
    return S.Host->Wait(NextTimerDue()) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* Msg) {
    // Characters come from the host as text, so key messages translate to
    // nothing here.
    return Msg && (Msg->message == WM_KEYDOWN || Msg->message == WM_SYSKEYDOWN) ? TRUE : FALSE;
}

LRESULT DispatchMessageW(const MSG* Msg) {
    if (!Msg) return 0;
    TState& S = State();
    if (Msg->message == WM_TIMER && Msg->lParam) {
        // Only a procedure still set for that timer is called.
        TIMERPROC P = reinterpret_cast<TIMERPROC>(Msg->lParam);
        bool Live = std::any_of(S.Timers.begin(), S.Timers.end(), [&](const TTimer& T) {
            return T.Wnd == Msg->hwnd && T.Id == Msg->wParam && T.Proc == P;
        });
        if (!Live) return 0;
        P(Msg->hwnd, WM_TIMER, Msg->wParam, S.Host->Now());
        return 0;
    }
    if (!Msg->hwnd) return 0;
    if (!Find(Msg->hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (Msg->message == WM_TIMER) {
        bool Live = std::any_of(S.Timers.begin(), S.Timers.end(),
                                [&](const TTimer& T) { return T.Wnd == Msg->hwnd && T.Id == Msg->wParam; });
        if (!Live) return 0;
    }
    if (Msg->message == WM_PAINT) {
        LRESULT R = Deliver(Msg->hwnd, WM_PAINT, Msg->wParam, Msg->lParam);
        AfterPaintMessage(Msg->hwnd);
        return R;
    }
    return Deliver(Msg->hwnd, Msg->message, Msg->wParam, Msg->lParam);
}

DWORD GetQueueStatus(UINT Flags) {
    TState& S = State();
    PumpHost();
    UINT Have = 0;
    {
        std::lock_guard<std::mutex> G(S.PostLock);
        if (!S.Posted.empty() || S.QuitPosted) Have |= QS_POSTMESSAGE;
        if (!S.Sent.empty()) Have |= QS_SENDMESSAGE;
    }
    for (const THostEvent& E : S.RawInput) {
        if (E.Kind == THostEventKind::KeyDown || E.Kind == THostEventKind::KeyUp || E.Kind == THostEventKind::Text ||
            E.Kind == THostEventKind::Composition)
            Have |= QS_KEY;
        else if (E.Kind == THostEventKind::MouseMove)
            Have |= QS_MOUSEMOVE;
        else if (E.Kind != THostEventKind::Quit && E.Kind != THostEventKind::CaptureLost)
            Have |= QS_MOUSEBUTTON;
    }
    for (const MSG& M : S.Input) {
        if (M.message >= WM_KEYFIRST && M.message <= WM_KEYLAST) Have |= QS_KEY;
        else if (M.message == WM_MOUSEMOVE || M.message == WM_NCMOUSEMOVE) Have |= QS_MOUSEMOVE;
        else Have |= QS_MOUSEBUTTON;
    }
    uint32_t Now = S.Host->Now();
    for (const TTimer& T : S.Timers)
        if (Due(T.Due, Now)) Have |= QS_TIMER;
    Have &= Flags;
    return DWORD(Have) << 16 | Have;
}

BOOL InSendMessage() { return State().SendDepth > 0 ? TRUE : FALSE; }
DWORD GetMessageTime() { return State().Current.time; }
DWORD GetMessagePos() { return DWORD(MAKELPARAM(State().Current.pt.x, State().Current.pt.y)); }
DWORD GetTickCount() { return State().Host->Now(); }
DWORD GetCurrentThreadId() { return DWORD(::syscall(SYS_gettid)); }

BOOL CallMsgFilterW(MSG* Msg, int Code) {
    if (!Msg) return FALSE;
    return CallHooks(WH_MSGFILTER, Code, 0, reinterpret_cast<LPARAM>(Msg)) ? TRUE : FALSE;
}

bool RunNestedLoop(int Code, const std::function<bool(MSG&)>& Handle) {
    ClaimUiThread();
    if (!OnUiThread() || NestedLoops >= kMaxNestedLoops) return false;
    ++NestedLoops;
    bool Result = false;
    for (;;) {
        MSG M;
        BOOL Got = GetMessageW(&M, nullptr, 0, 0);
        if (Got == -1) break;
        if (Got == FALSE) {
            // The quit belongs to the outer loops as well.
            PostQuitMessage(int(M.wParam));
            break;
        }
        if (CallMsgFilterW(&M, Code)) continue;
        if (!Handle(M)) {
            Result = true;
            break;
        }
    }
    --NestedLoops;
    return Result;
}

// ---------------------------------------------------------------------------
UINT_PTR SetTimer(HWND Wnd, UINT_PTR Id, UINT Elapse, TIMERPROC Proc) {
    ClaimUiThread();
    TState& S = State();
    if (Wnd && !Find(Wnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Elapse = std::clamp(Elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    uint32_t Now = S.Host->Now();
    if (Wnd) {
        for (TTimer& T : S.Timers) {
            if (T.Wnd == Wnd && T.Id == Id) {
                T.Elapse = Elapse;
                T.Due = Now + Elapse;
                T.Proc = Proc;
                return Id ? Id : 1;
            }
        }
    } else {
        // A timer without a window gets a fresh identifier unless it names
        // one of its own.
        auto It = std::find_if(S.Timers.begin(), S.Timers.end(),
                               [&](const TTimer& T) { return !T.Wnd && Id && T.Id == Id; });
        if (It != S.Timers.end()) {
            It->Elapse = Elapse;
            It->Due = Now + Elapse;
            It->Proc = Proc;
            return Id;
        }
        do {
            Id = S.NextTimerId++;
            if (S.NextTimerId == 0) S.NextTimerId = 1;
        } while (std::any_of(S.Timers.begin(), S.Timers.end(), [&](const TTimer& T) { return !T.Wnd && T.Id == Id; }));
    }
    if (S.Timers.size() >= kMaxTimers) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    S.Timers.push_back({Wnd, Id, Elapse, Now + Elapse, Proc});
    return Wnd ? (Id ? Id : 1) : Id;
}

BOOL KillTimer(HWND Wnd, UINT_PTR Id) {
    TState& S = State();
    auto It = std::find_if(S.Timers.begin(), S.Timers.end(), [&](const TTimer& T) { return T.Wnd == Wnd && T.Id == Id; });
    if (It == S.Timers.end()) return FALSE;
    S.Timers.erase(It);
    return TRUE;
}

// ---------------------------------------------------------------------------
HHOOK SetWindowsHookExW(int Kind, HOOKPROC Proc, HINSTANCE, DWORD) {
    ClaimUiThread();
    TState& S = State();
    if ((Kind != WH_CBT && Kind != WH_MSGFILTER) || !Proc) {
        SetLastError(ERROR_INVALID_FILTER_PROC);
        return nullptr;
    }
    if (S.Hooks.size() >= kMaxHooks) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    THook H;
    H.Handle = reinterpret_cast<HHOOK>(uintptr_t(S.NextHook++) << 4);
    H.Kind = Kind;
    H.Proc = Proc;
    S.Hooks.push_back(H);
    return H.Handle;
}

BOOL UnhookWindowsHookEx(HHOOK Hook) {
    TState& S = State();
    for (THook& H : S.Hooks) {
        if (H.Handle == Hook && H.Alive) {
            H.Alive = false;
            if (S.HookDepth == 0)
                S.Hooks.erase(std::remove_if(S.Hooks.begin(), S.Hooks.end(), [](const THook& X) { return !X.Alive; }),
                              S.Hooks.end());
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_HOOK_HANDLE);
    return FALSE;
}

LRESULT CallNextHookEx(HHOOK Hook, int Code, WPARAM W, LPARAM L) {
    TState& S = State();
    if (S.HookDepth >= kMaxHookDepth) return 0;
    auto It = std::find_if(S.Hooks.begin(), S.Hooks.end(), [&](const THook& H) { return H.Handle == Hook; });
    if (It == S.Hooks.end()) return 0;
    int Kind = It->Kind;
    for (size_t I = size_t(It - S.Hooks.begin()); I-- > 0;) {
        if (S.Hooks[I].Kind != Kind || !S.Hooks[I].Alive) continue;
        ++S.HookDepth;
        LRESULT R = S.Hooks[I].Proc(Code, W, L);
        --S.HookDepth;
        return R;
    }
    return 0;
}

// ---------------------------------------------------------------------------
void DragAcceptFiles(HWND Wnd, BOOL Accept) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    if (Accept) W->ExStyle |= WS_EX_ACCEPTFILES;
    else W->ExStyle &= ~WS_EX_ACCEPTFILES;
}

UINT DragQueryFileW(HDROP Drop, UINT Index, LPWSTR Buffer, UINT Size) {
    auto It = Drops().find(uintptr_t(Drop));
    if (It == Drops().end()) return 0;
    const auto& Files = It->second.Files;
    if (Index == 0xFFFFFFFFu) return UINT(Files.size());
    if (Index >= Files.size()) return 0;
    const std::u16string& Name = Files[Index];
    if (!Buffer) return UINT(Name.size());
    if (Size == 0) return 0;
    size_t N = std::min(Name.size(), size_t(Size) - 1);
    std::copy_n(Name.data(), N, Buffer);
    Buffer[N] = 0;
    return UINT(N);
}

BOOL DragQueryPoint(HDROP Drop, POINT* Point) {
    auto It = Drops().find(uintptr_t(Drop));
    if (It == Drops().end() || !Point) return FALSE;
    *Point = It->second.Point;
    return TRUE;
}

void DragFinish(HDROP Drop) { Drops().erase(uintptr_t(Drop)); }

HWND GetActiveWindow() { return State().Active; }

HWND SetActiveWindow(HWND Wnd) {
    HWND Old = State().Active;
    TWindow* W = Find(Wnd);
    if (!W || (W->Style & WS_CHILD)) return nullptr;
    if (!ActivateWindow(Wnd, false)) return nullptr;
    return Old;
}

HWND GetForegroundWindow() { return State().Active; }
BOOL SetForegroundWindow(HWND Wnd) { return SetActiveWindow(Wnd) || GetActiveWindow() == Wnd ? TRUE : FALSE; }

HWND GetFocus() { return State().Focus; }

HWND SetFocus(HWND Wnd) {
    TState& S = State();
    HWND Old = S.Focus;
    if (Wnd) {
        TWindow* W = Find(Wnd);
        if (!W || (W->Style & WS_DISABLED)) return nullptr;
        if (Wnd == Old) return Old;
        if (CallHooks(WH_CBT, HCBT_SETFOCUS, WPARAM(Wnd), LPARAM(Old)) != 0) return nullptr;
        if (!Find(Wnd)) return nullptr;
        HWND Root = GetAncestor(Wnd, GA_ROOT);
        if (Root != S.Active && !ActivateWindow(Root, false)) return nullptr;
        if (!Find(Wnd)) return nullptr;
        if (S.Focus == Wnd) return Old;  // activation gave it the focus
        Old = S.Focus;
    } else if (!Old) {
        return nullptr;
    } else if (CallHooks(WH_CBT, HCBT_SETFOCUS, 0, LPARAM(Old)) != 0) {
        return nullptr;
    }
    S.Focus = Wnd;
    if (Old && Find(Old)) Deliver(Old, WM_KILLFOCUS, WPARAM(Wnd), 0);
    if (Wnd && Find(Wnd) && S.Focus == Wnd) Deliver(Wnd, WM_SETFOCUS, WPARAM(Old), 0);
    return Old;
}

HWND GetCapture() { return State().Capture; }

HWND SetCapture(HWND Wnd) {
    TState& S = State();
    HWND Old = S.Capture;
    if (!Find(Wnd)) return Old;
    S.Capture = Wnd;
    if (Old && Old != Wnd && Find(Old)) Deliver(Old, WM_CAPTURECHANGED, 0, LPARAM(Wnd));
    return Old;
}

BOOL ReleaseCapture() {
    TState& S = State();
    HWND Old = S.Capture;
    S.Capture = nullptr;
    if (Old && Find(Old)) Deliver(Old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

BOOL TrackMouseEvent(TRACKMOUSEEVENT* Event) {
    if (!Event || Event->cbSize < sizeof(TRACKMOUSEEVENT)) return FALSE;
    if (Event->dwFlags & TME_CANCEL) return TRUE;
    return Find(Event->hwndTrack) ? TRUE : FALSE;
}

}  // namespace velmo
