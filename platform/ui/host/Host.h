// What the window layer needs of the system that shows its windows: time,
// input events, waiting, and the top-level windows' life on screen. The SDL
// host shows them; the Null host keeps everything in memory for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <vector>

#include "platform/gdi/Bitmap.h"
#include "platform/gdi/Graphics.h"
#include "platform/ui/Messages.h"

namespace velmo {

enum class THostEventKind {
    MouseMove,
    MouseDown,
    MouseUp,
    MouseWheel,
    KeyDown,
    KeyUp,
    Text,          // committed text, one WM_CHAR per UTF-16 unit
    CaptureLost,   // the system took the pointer or focus away
    Quit,          // the user asked the program to end
    Drop,          // files dropped at the pointer position (Screen)
    // Input method and clipboard.
    Composition,   // text being composed (Text, Cursor); empty text ends it
};

struct THostEvent {
    THostEventKind Kind = THostEventKind::MouseMove;
    POINT Screen;              // pointer position in screen coordinates
    int Button = 0;            // 0 left, 1 right, 2 middle
    int WheelDelta = 0;        // multiples of 120
    uint32_t VirtualKey = 0;   // VK_ code for key events
    bool Alt = false;
    bool Shift = false;
    bool Control = false;
    std::u16string Text;
    std::vector<std::u16string> Files;  // Drop: full names in drop order
    int Cursor = 0;            // Composition: caret in UTF-16 units
};

class IWindowHost {
public:
    virtual ~IWindowHost() = default;
    // Milliseconds of the host's clock.
    virtual uint32_t Now() = 0;
    virtual int ScreenWidth() = 0;
    virtual int ScreenHeight() = 0;
    // Takes the next pending input event, if any.
    virtual bool PollEvent(THostEvent& Event) = 0;
    // Waits for an event, a Wake call or the tick Deadline (when given).
    // False when nothing can ever come (only the Null host says so).
    virtual bool Wait(std::optional<uint32_t> Deadline) = 0;
    // Called from any thread after a post, so that Wait returns.
    virtual void Wake() = 0;
    // A queue check found nothing: the caller is spinning.
    virtual void Idle(std::optional<uint32_t> NextTimer) { (void)NextTimer; }

    // The top-level windows: shown, hidden, moved and renamed.
    virtual void TopLevelShown(HWND Wnd, const RECT& Rect) { (void)Wnd, (void)Rect; }
    virtual void TopLevelHidden(HWND Wnd) { (void)Wnd; }
    virtual void TopLevelMoved(HWND Wnd, const RECT& Rect) { (void)Wnd, (void)Rect; }
    virtual void TopLevelTitle(HWND Wnd, const std::u16string& Title) { (void)Wnd, (void)Title; }
    virtual void TopLevelActivated(HWND Wnd) { (void)Wnd; }
    // A top-level window's shape changed (window coordinates; empty: its
    // whole rectangle again).
    virtual void TopLevelShape(HWND Wnd, const std::vector<RECT>& Shape) { (void)Wnd, (void)Shape; }
    virtual void TopLevelDestroyed(HWND Wnd) { (void)Wnd; }
    // The parts of a top-level window's framebuffer (window coordinates)
    // that changed since the last call.
    virtual void Present(HWND Wnd, const TBitmap& Frame, const std::vector<RECT>& Dirty) {
        (void)Wnd, (void)Frame, (void)Dirty;
    }

    // Input method and clipboard.
    // Where the caret is (screen coordinates), so the input method's
    // candidate list opens beside it.
    virtual void TextInputRect(HWND TopLevel, const RECT& Screen) { (void)TopLevel, (void)Screen; }
    virtual void SetClipboardText(const std::u16string& Text) { (void)Text; }
    virtual std::optional<std::u16string> ClipboardText() { return std::nullopt; }
};

// The host the layer uses; a Null host until one is set. Setting a host is
// done on the user-interface thread while no message call runs.
void SetWindowHost(std::shared_ptr<IWindowHost> Host);
IWindowHost& WindowHost();

}  // namespace velmo
