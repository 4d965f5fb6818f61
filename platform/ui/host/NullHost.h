// A host without a screen: a 1280 x 1024 desktop, input injected by tests,
// and a virtual clock that waiting advances to the next due timer, so
// timer tests never sleep.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/ui/host/Host.h"

namespace velmo {

class TNullHost : public IWindowHost {
public:
    uint32_t Now() override;
    int ScreenWidth() override { return 1280; }
    int ScreenHeight() override { return 1024; }
    bool PollEvent(THostEvent& Event) override;
    // Advances the clock to Deadline; without one, waits up to RealWaitMs
    // of real time for a post from another thread and answers whether one
    // came.
    bool Wait(std::optional<uint32_t> Deadline) override;
    void Wake() override;
    // A spinning caller reaches the next due timer at once.
    void Idle(std::optional<uint32_t> NextTimer) override;

    void TopLevelShown(HWND Wnd, const RECT& Rect) override;
    void TopLevelHidden(HWND Wnd) override;
    void TopLevelMoved(HWND Wnd, const RECT& Rect) override;
    void TopLevelTitle(HWND Wnd, const std::u16string& Title) override;
    void TopLevelActivated(HWND Wnd) override;
    void TopLevelShape(HWND Wnd, const std::vector<RECT>& Shape) override;
    void TopLevelDestroyed(HWND Wnd) override;
    void Present(HWND Wnd, const TBitmap& Frame, const std::vector<RECT>& Dirty) override;
    void TextInputRect(HWND TopLevel, const RECT& Screen) override;
    void SetClipboardText(const std::u16string& Text) override;
    std::optional<std::u16string> ClipboardText() override;

    // Test side.
    void Inject(const THostEvent& Event);
    void MouseMove(int X, int Y);
    void MouseDown(int X, int Y, int Button = 0);
    void MouseUp(int X, int Y, int Button = 0);
    void KeyDown(uint32_t Vk, bool Alt = false);
    void KeyUp(uint32_t Vk, bool Alt = false);
    void Text(const std::u16string& Text);
    void LoseCapture();
    void Drop(int X, int Y, std::vector<std::u16string> Files);
    void Quit();
    void Compose(const std::u16string& Text, int Cursor);
    void Advance(uint32_t Ms);
    void SetNow(uint32_t Tick);

    // What the layer told the host, in order ("shown", "hidden", "moved",
    // "title", "activated", "destroyed", "present" with the dirty box,
    // "caret" with the caret rectangle on screen).
    struct TCall {
        std::string What;
        HWND Wnd = nullptr;
        RECT Rect;
        std::u16string Title;
    };
    std::vector<TCall> Calls() const;
    void ClearCalls();

    uint32_t RealWaitMs = 2000;

private:
    mutable std::mutex Lock;
    std::condition_variable Woken;
    bool WakePending = false;
    uint32_t Clock = 1000;
    std::deque<THostEvent> Events;
    std::vector<TCall> Log;
    std::optional<std::u16string> Clipboard;
};

}  // namespace velmo
