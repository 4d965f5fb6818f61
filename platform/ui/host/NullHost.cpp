#include "platform/ui/host/NullHost.h"

#include <algorithm>
#include <chrono>

namespace velmo {

uint32_t TNullHost::Now() {
    std::lock_guard<std::mutex> G(Lock);
    return Clock;
}

bool TNullHost::PollEvent(THostEvent& Event) {
    std::lock_guard<std::mutex> G(Lock);
    if (Events.empty()) return false;
    Event = std::move(Events.front());
    Events.pop_front();
    return true;
}

bool TNullHost::Wait(std::optional<uint32_t> Deadline) {
    std::unique_lock<std::mutex> G(Lock);
    if (!Events.empty() || WakePending) {
        WakePending = false;
        return true;
    }
    if (Deadline) {
        // Tick values wrap; a deadline "before" the clock is already due.
        if (int32_t(*Deadline - Clock) > 0) Clock = *Deadline;
        return true;
    }
    bool Came = Woken.wait_for(G, std::chrono::milliseconds(RealWaitMs),
                               [&] { return WakePending || !Events.empty(); });
    WakePending = false;
    return Came;
}

void TNullHost::Wake() {
    {
        std::lock_guard<std::mutex> G(Lock);
        WakePending = true;
    }
    Woken.notify_all();
}

void TNullHost::Idle(std::optional<uint32_t> NextTimer) {
    std::lock_guard<std::mutex> G(Lock);
    if (NextTimer && int32_t(*NextTimer - Clock) > 0) Clock = *NextTimer;
}

void TNullHost::TopLevelShown(HWND Wnd, const RECT& Rect) {
    std::lock_guard<std::mutex> G(Lock);
    Log.push_back({"shown", Wnd, Rect, {}});
}
void TNullHost::TopLevelHidden(HWND Wnd) {
    std::lock_guard<std::mutex> G(Lock);
    Log.push_back({"hidden", Wnd, {}, {}});
}
void TNullHost::TopLevelMoved(HWND Wnd, const RECT& Rect) {
    std::lock_guard<std::mutex> G(Lock);
    Log.push_back({"moved", Wnd, Rect, {}});
}
void TNullHost::TopLevelTitle(HWND Wnd, const std::u16string& Title) {
    std::lock_guard<std::mutex> G(Lock);
    Log.push_back({"title", Wnd, {}, Title});
}
void TNullHost::TopLevelActivated(HWND Wnd) {
    std::lock_guard<std::mutex> G(Lock);
    Log.push_back({"activated", Wnd, {}, {}});
}
void TNullHost::TopLevelShape(HWND Wnd, const std::vector<RECT>& Shape) {
    std::lock_guard<std::mutex> G(Lock);
    RECT Box = Shape.empty() ? RECT{} : Shape.front();
    for (const RECT& R : Shape) {
        Box.left = std::min(Box.left, R.left);
        Box.top = std::min(Box.top, R.top);
        Box.right = std::max(Box.right, R.right);
        Box.bottom = std::max(Box.bottom, R.bottom);
    }
    Log.push_back({"shape", Wnd, Box, {}});
}

void TNullHost::TopLevelDestroyed(HWND Wnd) {
    std::lock_guard<std::mutex> G(Lock);
    Log.push_back({"destroyed", Wnd, {}, {}});
}

void TNullHost::Present(HWND Wnd, const TBitmap&, const std::vector<RECT>& Dirty) {
    std::lock_guard<std::mutex> G(Lock);
    RECT Box = Dirty.empty() ? RECT{} : Dirty.front();
    for (const RECT& R : Dirty) {
        Box.left = std::min(Box.left, R.left);
        Box.top = std::min(Box.top, R.top);
        Box.right = std::max(Box.right, R.right);
        Box.bottom = std::max(Box.bottom, R.bottom);
    }
    Log.push_back({"present", Wnd, Box, {}});
}

void TNullHost::TextInputRect(HWND TopLevel, const RECT& Screen) {
    std::lock_guard<std::mutex> G(Lock);
    Log.push_back({"caret", TopLevel, Screen, {}});
}
void TNullHost::SetClipboardText(const std::u16string& Text) {
    std::lock_guard<std::mutex> G(Lock);
    Clipboard = Text;
}
std::optional<std::u16string> TNullHost::ClipboardText() {
    std::lock_guard<std::mutex> G(Lock);
    return Clipboard;
}

void TNullHost::Inject(const THostEvent& Event) {
    {
        std::lock_guard<std::mutex> G(Lock);
        Events.push_back(Event);
    }
    Woken.notify_all();
}

void TNullHost::MouseMove(int X, int Y) {
    THostEvent E;
    E.Kind = THostEventKind::MouseMove;
    E.Screen = {X, Y};
    Inject(E);
}
void TNullHost::MouseDown(int X, int Y, int Button) {
    THostEvent E;
    E.Kind = THostEventKind::MouseDown;
    E.Screen = {X, Y};
    E.Button = Button;
    Inject(E);
}
void TNullHost::MouseUp(int X, int Y, int Button) {
    THostEvent E;
    E.Kind = THostEventKind::MouseUp;
    E.Screen = {X, Y};
    E.Button = Button;
    Inject(E);
}
void TNullHost::KeyDown(uint32_t Vk, bool Alt) {
    THostEvent E;
    E.Kind = THostEventKind::KeyDown;
    E.VirtualKey = Vk;
    E.Alt = Alt;
    Inject(E);
}
void TNullHost::KeyUp(uint32_t Vk, bool Alt) {
    THostEvent E;
    E.Kind = THostEventKind::KeyUp;
    E.VirtualKey = Vk;
    E.Alt = Alt;
    Inject(E);
}
void TNullHost::Text(const std::u16string& Text) {
    THostEvent E;
    E.Kind = THostEventKind::Text;
    E.Text = Text;
    Inject(E);
}
void TNullHost::LoseCapture() {
    THostEvent E;
    E.Kind = THostEventKind::CaptureLost;
    Inject(E);
}
void TNullHost::Drop(int X, int Y, std::vector<std::u16string> Files) {
    THostEvent E;
    E.Kind = THostEventKind::Drop;
    E.Screen = {X, Y};
    E.Files = std::move(Files);
    Inject(E);
}

void TNullHost::Quit() {
    THostEvent E;
    E.Kind = THostEventKind::Quit;
    Inject(E);
}
void TNullHost::Compose(const std::u16string& Text, int Cursor) {
    THostEvent E;
    E.Kind = THostEventKind::Composition;
    E.Text = Text;
    E.Cursor = Cursor;
    Inject(E);
}
void TNullHost::Advance(uint32_t Ms) {
    std::lock_guard<std::mutex> G(Lock);
    Clock += Ms;
}
void TNullHost::SetNow(uint32_t Tick) {
    std::lock_guard<std::mutex> G(Lock);
    Clock = Tick;
}

std::vector<TNullHost::TCall> TNullHost::Calls() const {
    std::lock_guard<std::mutex> G(Lock);
    return Log;
}
void TNullHost::ClearCalls() {
    std::lock_guard<std::mutex> G(Lock);
    Log.clear();
}

}  // namespace velmo
