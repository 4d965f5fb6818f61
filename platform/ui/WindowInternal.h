// State shared by the window layer's sources. Everything here belongs to the
// user-interface thread except the posted and sent queues, which other
// threads reach under PostLock.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <pixman.h>

#include "platform/gdi/Bitmap.h"
#include "platform/ui/Window.h"
#include "platform/ui/host/Host.h"

namespace velmo::ui {

// A set of pixels (update and visible regions).
class TRgn {
public:
    TRgn() { pixman_region32_init(&R); }
    TRgn(const RECT& Rc) {
        if (Rc.right > Rc.left && Rc.bottom > Rc.top)
            pixman_region32_init_rect(&R, Rc.left, Rc.top, unsigned(Rc.right - Rc.left), unsigned(Rc.bottom - Rc.top));
        else
            pixman_region32_init(&R);
    }
    TRgn(const TRgn& O) {
        pixman_region32_init(&R);
        pixman_region32_copy(&R, O.Mut());
    }
    TRgn& operator=(const TRgn& O) {
        if (this != &O) pixman_region32_copy(&R, O.Mut());
        return *this;
    }
    ~TRgn() { pixman_region32_fini(&R); }
    pixman_region32_t* Mut() const { return const_cast<pixman_region32_t*>(&R); }
    bool Empty() const { return !pixman_region32_not_empty(Mut()); }
    bool operator==(const TRgn& O) const { return pixman_region32_equal(Mut(), O.Mut()) != 0; }
    void Clear() { pixman_region32_clear(&R); }
    void Add(const TRgn& O) { pixman_region32_union(&R, &R, O.Mut()); }
    void Intersect(const TRgn& O) { pixman_region32_intersect(&R, &R, O.Mut()); }
    void Subtract(const TRgn& O) { pixman_region32_subtract(&R, &R, O.Mut()); }
    void Offset(int Dx, int Dy) { pixman_region32_translate(&R, Dx, Dy); }
    bool Contains(int X, int Y) const { return pixman_region32_contains_point(Mut(), X, Y, nullptr) != 0; }
    RECT Box() const {
        if (Empty()) return {};
        const pixman_box32_t* E = pixman_region32_extents(Mut());
        return {E->x1, E->y1, E->x2, E->y2};
    }
    std::vector<RECT> Rects() const {
        int N = 0;
        const pixman_box32_t* B = pixman_region32_rectangles(Mut(), &N);
        std::vector<RECT> Out;
        for (int I = 0; I < N; ++I) Out.push_back({B[I].x1, B[I].y1, B[I].x2, B[I].y2});
        return Out;
    }

private:
    pixman_region32_t R;
};

// Scroll-bar state of a window (ScrollBars.cpp).
struct TScrollBars;

struct TClass {
    std::u16string Name;
    std::u16string Key;  // folded name
    ATOM Atom = 0;
    WNDCLASSEXW Info;
    bool System = false;
    int Windows = 0;
};

struct TWindow {
    HWND Handle = nullptr;
    std::shared_ptr<TClass> Class;
    HWND Parent = nullptr;  // nullptr: a top-level window (child of the desktop)
    HWND Owner = nullptr;
    std::vector<HWND> Children;  // z-order, topmost first
    DWORD Style = 0;
    DWORD ExStyle = 0;
    RECT Rect;    // window rectangle in the parent's client coordinates
    RECT Client;  // client rectangle in the same coordinates
    std::u16string Text;
    HMENU Menu = nullptr;
    LONG_PTR Id = 0;
    LONG_PTR UserData = 0;
    std::vector<uint8_t> Extra;
    // The procedure chain, back() current: each link with the procedure it
    // was installed over (what its installer saved).
    struct TLink {
        WNDPROC Proc = nullptr;
        WNDPROC Prev = nullptr;
    };
    std::vector<TLink> Procs;
    std::vector<std::pair<WNDPROC, WNDPROC>> Unlinked;  // removed link -> procedure below
    std::map<std::u16string, HANDLE> Props;
    HICON IconBig = nullptr;
    HICON IconSmall = nullptr;
    RECT Normal;  // rectangle to restore from minimized or maximized
    bool NcActive = false;
    // Painting: the update region in window coordinates, and what is due.
    TRgn Update;
    // The window's shape (SetWindowRgn), window coordinates; none: its rectangle.
    std::optional<TRgn> Shape;
    bool EraseDue = false;
    bool NcPaintDue = false;
    // Top-level windows: the framebuffer every descendant paints into,
    // and what changed in it since it was last presented.
    std::unique_ptr<TBitmap> Frame;
    HBITMAP FrameObject = nullptr;
    TRgn Dirty;
    bool Destroying = false;
    bool Dead = false;
    // Scroll bars: the state of the window's two bars or of the control's
    // own, made on first use.
    std::shared_ptr<TScrollBars> Scroll;
};

struct THook {
    HHOOK Handle = nullptr;
    int Kind = 0;
    HOOKPROC Proc = nullptr;
    bool Alive = true;
};

struct TTimer {
    HWND Wnd = nullptr;
    UINT_PTR Id = 0;
    UINT Elapse = 0;
    uint32_t Due = 0;
    TIMERPROC Proc = nullptr;
};

struct TCrossSend {
    HWND Wnd = nullptr;
    UINT Msg = 0;
    WPARAM W = 0;
    LPARAM L = 0;
    LRESULT Result = 0;
    bool Done = false;
};

struct TState {
    // Windows.
    struct TSlot {
        uint64_t Gen = 0;
        std::shared_ptr<TWindow> Window;
    };
    std::vector<TSlot> Slots;
    std::deque<uint32_t> FreeSlots;
    size_t LiveWindows = 0;
    std::vector<HWND> TopLevel;  // z-order, topmost first
    std::unordered_map<std::u16string, std::shared_ptr<TClass>> Classes;

    // Activation, focus, capture.
    HWND Active = nullptr;
    HWND Focus = nullptr;
    HWND Capture = nullptr;

    // Hooks.
    std::vector<THook> Hooks;  // oldest first
    int HookDepth = 0;
    uint64_t NextHook = 1;

    // Timers.
    std::vector<TTimer> Timers;
    UINT_PTR NextTimerId = 1;

    // Queue (UI thread).
    std::deque<THostEvent> RawInput;  // host events not yet given a window
    std::deque<MSG> Input;            // input messages with their windows
    MSG Current;          // the message last retrieved
    int SendDepth = 0;    // nested sends being answered for other threads
    WPARAM MouseButtons = 0;
    uint32_t LastDownTime = 0;
    POINT LastDownPoint;
    HWND LastDownWnd = nullptr;
    UINT LastDownMsg = 0;

    // Posted and sent (any thread).
    std::mutex PostLock;
    std::condition_variable SendDone;
    std::deque<MSG> Posted;
    std::deque<std::shared_ptr<TCrossSend>> Sent;
    bool QuitPosted = false;
    int QuitCode = 0;

    std::optional<std::thread::id> UiThread;
    std::shared_ptr<IWindowHost> Host;
};

TState& State();
// Records the calling thread as the user-interface thread if none is yet.
void ClaimUiThread();
bool OnUiThread();

// The live window of a handle, or null (dead, destroyed or never made).
TWindow* Find(HWND Wnd);
std::shared_ptr<TWindow> Hold(HWND Wnd);

// Calls the window's current procedure.
LRESULT Deliver(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
// Runs the hooks of Kind, newest first; 0 when there is none.
LRESULT CallHooks(int Kind, int Code, WPARAM W, LPARAM L);

// Geometry helpers.
POINT ClientOrigin(const TWindow& W);      // client origin in screen coordinates
POINT WindowOrigin(const TWindow& W);      // window origin in screen coordinates
RECT ScreenRect(const TWindow& W);
std::vector<HWND>& SiblingList(const TWindow& W);
bool IsTopLevel(const TWindow& W);
bool Visible(const TWindow& W);  // the window and every ancestor are visible

// Activation and focus done by the layer (hooks consulted).
bool ActivateWindow(HWND Wnd, bool Mouse);
void ReleaseCaptureOf(HWND Wnd);
// Removes the window's timers and queued messages.
void ForgetWindowMessages(HWND Wnd);

// Sends messages that other threads are waiting on.
void AnswerCrossSends();
// Default handling of the move and size loops and caption buttons.
LRESULT NonClientButtonDown(HWND Wnd, WPARAM Hit, LPARAM L);
LRESULT HitTest(const TWindow& W, POINT Screen);

// Painting (Paint.cpp).
// Marks what a change of a window's place, size, visibility or order
// uncovers or covers for repainting.
void InvalidateAfterChange(HWND Wnd, const RECT& OldScreen, bool WasVisible);
// Releases the framebuffer and the window DCs of a dying window.
void ForgetPainting(HWND Wnd);
// A window that needs WM_PAINT and matches the filter, parents first.
HWND WindowToPaint(HWND Filter);
// A WM_PAINT that left its window invalid: validated, so loops go on.
void AfterPaintMessage(HWND Wnd);
// Hands the changed parts of every framebuffer to the host.
void PresentDirty();
RECT RootRect(const TWindow& W, bool Client);
bool DefaultPaint(HWND Wnd, UINT Msg, WPARAM W, LPARAM L, LRESULT& Result);
// Whether a screen point lies in the window's shape (true without one).
bool InShape(const TWindow& W, POINT Screen);

// Menus (Menus.cpp): the class procedure of "#32768" windows, the bar strip
// painted into a window DC (strip in window coordinates), the default
// handling of menu keys and clicks, and what dies with a window.
LRESULT MenuWindowProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
void PaintMenuBar(HWND Wnd, HDC Dc, const RECT& Strip);
bool MenuDefault(HWND Wnd, UINT Msg, WPARAM W, LPARAM L, LRESULT& Result);
void ForgetMenus(HWND Wnd);

// Painting kept across a resize: copies the valid source bits (rectangles
// of a WM_NCCALCSIZE answer, in the parent's client coordinates) to the
// valid destination, aligned as Align's WVR_ flags say, and takes them out
// of the update regions.
void CopyValidBits(HWND Wnd, const RECT& OldScreen, RECT Dest, RECT Source, LRESULT Align);

std::u16string Fold(std::u16string_view S);

// Scroll bars and tab controls (ScrollBars.cpp, TabControl.cpp).
// Paints the window's frame bars into a DC whose origin is the window's corner.
void PaintWindowScrollBars(const TWindow& W, HDC Dc);
// Runs a press on a window's bar (SB_HORZ or SB_VERT) at a screen point.
void TrackWindowScrollBar(HWND Wnd, int Bar, POINT Screen);
LRESULT ScrollBarControlProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
LRESULT TabControlProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
std::u16string FromWide(LPCWSTR S);

// Text input (TextInput.cpp).
// The host's composition for the window To; empty text cancels it.
bool ImeCompose(HWND To, const std::u16string& Text, int Cursor);
// Committed text ends a running composition as its result; false when
// none runs, so the text comes as plain characters.
bool ImeCommit(HWND To, const std::u16string& Text);
// Default answers of the input-method messages.
LRESULT ImeDefault(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
void ForgetTextInput(HWND Wnd);
// Queues an input message behind the input already queued. The state an
// input message reads is set when its host event is taken, and the queue
// takes the next host event only once the input before it is through.
void PostInputMessage(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);

// Caption buttons (NonClient.cpp, Paint.cpp, Menus.cpp). Whether a caption
// button (HTCLOSE, HTMAXBUTTON, HTMINBUTTON, HTHELP) of the window may be
// pressed; the button a press on the window is tracking while the pointer
// is over it (0: none); the window's system menu when it has been made,
// without making or refreshing it.
bool CaptionButtonEnabled(const TWindow& W, LRESULT Hit);
LRESULT PressedCaptionButton(HWND Wnd);
HMENU ExistingSystemMenu(HWND Wnd);

}  // namespace velmo::ui
