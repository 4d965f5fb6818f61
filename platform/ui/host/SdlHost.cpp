#include "platform/ui/host/SdlHost.h"

#include <SDL.h>
#include <SDL_shape.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <unordered_map>

#include "platform/files/WideFile.h"
#include "platform/ui/Window.h"
#include "platform/ui/host/Host.h"

namespace velmo {

namespace {

// Virtual-key codes of the keys SDL names (letters and digits are their
// upper-case characters).
uint32_t VirtualKeyOf(SDL_Keycode K) {
    if (K >= SDLK_a && K <= SDLK_z) return uint32_t('A' + (K - SDLK_a));
    if (K >= SDLK_0 && K <= SDLK_9) return uint32_t('0' + (K - SDLK_0));
    if (K >= SDLK_F1 && K <= SDLK_F12) return 0x70 + uint32_t(K - SDLK_F1);
    switch (K) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return 0x20;
    case SDLK_PAGEUP: return 0x21;
    case SDLK_PAGEDOWN: return 0x22;
    case SDLK_END: return 0x23;
    case SDLK_HOME: return 0x24;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_INSERT: return 0x2D;
    case SDLK_DELETE: return 0x2E;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    default: return 0;
    }
}

std::u16string Wide(const char* Utf8) { return Utf8 ? FileSystemNameToWide(Utf8) : std::u16string(); }

// UTF-16 units in the first Chars code points of a UTF-8 text.
int UnitsOfChars(const char* Utf8, int Chars) {
    std::u16string W = Wide(Utf8);
    int Units = 0;
    for (int C = 0; C < Chars && Units < int(W.size()); ++C)
        Units += (W[Units] >= 0xD800 && W[Units] < 0xDC00 && Units + 1 < int(W.size())) ? 2 : 1;
    return Units;
}

class TSdlHost : public IWindowHost {
public:
    ~TSdlHost() override {
        for (auto& [Wnd, Top] : Tops)
            if (Top.Window) SDL_DestroyWindow(Top.Window);
        Tops.clear();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    std::string Start() {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // A text-input program: no screen saver inhibition, no quit on the
        // last window's close request (the layer decides).
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        // The window surface is the system's own framebuffer, filled in
        // software: no GL driver behind it, on a bare X server too.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return SDL_GetError();
        WakeEvent = SDL_RegisterEvents(1);
        SDL_StartTextInput();
        return {};
    }

    uint32_t Now() override { return SDL_GetTicks(); }

    int ScreenWidth() override {
        SDL_DisplayMode M;
        return SDL_GetDesktopDisplayMode(0, &M) == 0 ? M.w : 1280;
    }
    int ScreenHeight() override {
        SDL_DisplayMode M;
        return SDL_GetDesktopDisplayMode(0, &M) == 0 ? M.h : 1024;
    }

    bool PollEvent(THostEvent& Event) override {
        SDL_Event E;
        while (Pending.empty() && SDL_PollEvent(&E)) Translate(E);
        if (Pending.empty()) return false;
        Event = std::move(Pending.front());
        Pending.pop_front();
        return true;
    }

    bool Wait(std::optional<uint32_t> Deadline) override {
        if (!Pending.empty()) return true;
        SDL_Event E;
        int Got;
        if (Deadline) {
            int32_t Left = int32_t(*Deadline - SDL_GetTicks());
            if (Left <= 0) return true;
            Got = SDL_WaitEventTimeout(&E, Left);
        } else {
            Got = SDL_WaitEventTimeout(&E, -1);  // until something comes
        }
        if (Got) Translate(E);
        return true;
    }

    void Wake() override {
        SDL_Event E;
        SDL_zero(E);
        E.type = WakeEvent;
        SDL_PushEvent(&E);
    }

    void TopLevelShown(HWND Wnd, const RECT& Rect) override {
        TTop& T = Tops[Wnd];
        T.Rect = Rect;
        if (!T.Window && !Create(Wnd, T)) return;
        SDL_SetWindowPosition(T.Window, Rect.left, Rect.top);
        SDL_SetWindowSize(T.Window, Width(Rect), Height(Rect));
        SDL_ShowWindow(T.Window);
        T.Visible = true;
    }

    void TopLevelHidden(HWND Wnd) override {
        auto It = Tops.find(Wnd);
        if (It == Tops.end() || !It->second.Window) return;
        SDL_HideWindow(It->second.Window);
        It->second.Visible = false;
    }

    void TopLevelMoved(HWND Wnd, const RECT& Rect) override {
        auto It = Tops.find(Wnd);
        if (It == Tops.end()) return;
        It->second.Rect = Rect;
        if (!It->second.Window) return;
        SDL_SetWindowPosition(It->second.Window, Rect.left, Rect.top);
        SDL_SetWindowSize(It->second.Window, Width(Rect), Height(Rect));
        if (It->second.Shaped) ApplyShape(It->second);
    }

    void TopLevelTitle(HWND Wnd, const std::u16string& Title) override {
        TTop& T = Tops[Wnd];
        T.Title = WideToFileSystemName(Title);
        if (T.Window) SDL_SetWindowTitle(T.Window, T.Title.c_str());
    }

    void TopLevelActivated(HWND Wnd) override {
        auto It = Tops.find(Wnd);
        if (It != Tops.end() && It->second.Window && It->second.Visible && !It->second.Popup)
            SDL_RaiseWindow(It->second.Window);
    }

    void TopLevelShape(HWND Wnd, const std::vector<RECT>& Shape) override {
        TTop& T = Tops[Wnd];
        T.Shape = Shape;
        if (!T.Window) return;
        if (!Shape.empty() && !T.Shaped) {
            // Only a window made shaped can take a shape: it is made again.
            bool WasVisible = T.Visible;
            SDL_DestroyWindow(T.Window);
            T.Window = nullptr;
            T.Surface = nullptr;
            if (!Create(Wnd, T)) return;
            if (WasVisible) SDL_ShowWindow(T.Window);
            // The new window starts blank: it gets the whole picture.
            if (const TBitmap* Frame = GetWindowFramebuffer(Wnd))
                Present(Wnd, *Frame, {RECT{0, 0, Frame->Width(), Frame->Height()}});
            return;
        }
        if (T.Shaped) ApplyShape(T);
    }

    void TopLevelDestroyed(HWND Wnd) override {
        auto It = Tops.find(Wnd);
        if (It == Tops.end()) return;
        if (It->second.Window) SDL_DestroyWindow(It->second.Window);
        Tops.erase(It);
    }

    void Present(HWND Wnd, const TBitmap& Frame, const std::vector<RECT>& Dirty) override {
        auto It = Tops.find(Wnd);
        if (It == Tops.end() || !It->second.Window || Frame.BitsPerPixel() != 32) return;
        TTop& Top = It->second;
        SDL_Surface* S = SDL_GetWindowSurface(Top.Window);
        if (!S) return;
        // A surface made anew (first show, resize) starts blank: it gets
        // the whole picture, not only what changed.
        std::vector<RECT> Whole;
        if (S != Top.Surface || S->w != Top.SurfaceWidth || S->h != Top.SurfaceHeight) {
            Whole.push_back(RECT{0, 0, Frame.Width(), Frame.Height()});
            Top.Surface = S;
            Top.SurfaceWidth = S->w;
            Top.SurfaceHeight = S->h;
        }
        std::vector<SDL_Rect> Rects;
        for (const RECT& D : Whole.empty() ? Dirty : Whole) {
            int L = std::max<int>(D.left, 0), T = std::max<int>(D.top, 0);
            int R = std::min({int(D.right), Frame.Width(), S->w}), B = std::min({int(D.bottom), Frame.Height(), S->h});
            if (L >= R || T >= B) continue;
            uint8_t* To = static_cast<uint8_t*>(S->pixels) + size_t(T) * S->pitch + size_t(L) * S->format->BytesPerPixel;
            SDL_ConvertPixels(R - L, B - T, SDL_PIXELFORMAT_ARGB8888, Frame.ScanLine(T) + size_t(L) * 4,
                              int(Frame.BytesPerScanLine()), S->format->format, To, S->pitch);
            Rects.push_back(SDL_Rect{L, T, R - L, B - T});
        }
        if (!Rects.empty()) SDL_UpdateWindowSurfaceRects(Top.Window, Rects.data(), int(Rects.size()));
    }

    void TextInputRect(HWND TopLevel, const RECT& Screen) override {
        auto It = Tops.find(TopLevel);
        if (It == Tops.end()) return;
        SDL_Rect R{Screen.left - It->second.Rect.left, Screen.top - It->second.Rect.top, Width(Screen),
                   Height(Screen)};
        SDL_SetTextInputRect(&R);
    }

    void SetClipboardText(const std::u16string& Text) override {
        SDL_SetClipboardText(WideToFileSystemName(Text).c_str());
    }

    std::optional<std::u16string> ClipboardText() override {
        if (!SDL_HasClipboardText()) return std::nullopt;
        char* T = SDL_GetClipboardText();
        std::u16string W = Wide(T);
        SDL_free(T);
        return W;
    }

private:
    struct TTop {
        SDL_Window* Window = nullptr;
        RECT Rect;
        std::string Title;
        std::vector<RECT> Shape;
        bool Visible = false;
        bool Shaped = false;
        bool Popup = false;
        SDL_Surface* Surface = nullptr;  // the surface last painted
        int SurfaceWidth = 0;
        int SurfaceHeight = 0;
    };

    static int Width(const RECT& R) { return std::max<int>(1, R.right - R.left); }
    static int Height(const RECT& R) { return std::max<int>(1, R.bottom - R.top); }

    bool Create(HWND Wnd, TTop& T) {
        LONG_PTR Style = GetWindowLongPtrW(Wnd, GWL_STYLE);
        LONG_PTR ExStyle = GetWindowLongPtrW(Wnd, GWL_EXSTYLE);
        Uint32 Flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
        // Captionless popups (menus, lists, tips) stay out of the task bar
        // and out of a window manager's hands.
        T.Popup = (Style & WS_POPUP) && (Style & WS_CAPTION) != WS_CAPTION;
        if (T.Popup) Flags |= (ExStyle & WS_EX_TOOLWINDOW) ? SDL_WINDOW_TOOLTIP : SDL_WINDOW_POPUP_MENU;
        const char* Title = T.Title.c_str();
        if (!T.Shape.empty()) {
            T.Window = SDL_CreateShapedWindow(Title, T.Rect.left, T.Rect.top, Width(T.Rect), Height(T.Rect), Flags);
            T.Shaped = T.Window != nullptr;
        }
        if (!T.Window) T.Window = SDL_CreateWindow(Title, T.Rect.left, T.Rect.top, Width(T.Rect), Height(T.Rect), Flags);
        if (!T.Window) return false;
        SDL_SetWindowData(T.Window, "velmo.hwnd", Wnd);
        SDL_SetWindowHitTest(T.Window, &TSdlHost::HitTest, this);
        if (T.Shaped) {
            ApplyShape(T);
            SDL_SetWindowPosition(T.Window, T.Rect.left, T.Rect.top);
        }
        return true;
    }

    void ApplyShape(TTop& T) {
        int W = Width(T.Rect), H = Height(T.Rect);
        SDL_Surface* Mask = SDL_CreateRGBSurfaceWithFormat(0, W, H, 32, SDL_PIXELFORMAT_ARGB8888);
        if (!Mask) return;
        SDL_FillRect(Mask, nullptr, T.Shape.empty() ? 0xFFFFFFFFu : 0);
        for (const RECT& R : T.Shape) {
            SDL_Rect S{R.left, R.top, R.right - R.left, R.bottom - R.top};
            SDL_FillRect(Mask, &S, 0xFFFFFFFFu);
        }
        SDL_WindowShapeMode Mode;
        Mode.mode = ShapeModeBinarizeAlpha;
        Mode.parameters.binarizationCutoff = 128;
        SDL_SetWindowShape(T.Window, Mask, &Mode);
        SDL_FreeSurface(Mask);
    }

    HWND WndOf(Uint32 WindowId) {
        SDL_Window* W = SDL_GetWindowFromID(WindowId);
        return W ? static_cast<HWND>(SDL_GetWindowData(W, "velmo.hwnd")) : nullptr;
    }

    POINT ScreenOf(Uint32 WindowId, int X, int Y) {
        SDL_Window* W = SDL_GetWindowFromID(WindowId);
        int Wx = 0, Wy = 0;
        if (W) SDL_GetWindowPosition(W, &Wx, &Wy);
        return POINT{Wx + X, Wy + Y};
    }

    // Border answers of the window's own hit test become SDL's resize
    // codes; everything else, the caption included, reaches the layer.
    static SDL_HitTestResult HitTest(SDL_Window* Win, const SDL_Point* Area, void* Data) {
        (void)Data;
        HWND Wnd = static_cast<HWND>(SDL_GetWindowData(Win, "velmo.hwnd"));
        if (!Wnd || !IsWindow(Wnd)) return SDL_HITTEST_NORMAL;
        int X = 0, Y = 0;
        SDL_GetWindowPosition(Win, &X, &Y);
        LRESULT Hit = SendMessageW(Wnd, WM_NCHITTEST, 0, MAKELPARAM(X + Area->x, Y + Area->y));
        switch (Hit) {
        case HTLEFT: return SDL_HITTEST_RESIZE_LEFT;
        case HTRIGHT: return SDL_HITTEST_RESIZE_RIGHT;
        case HTTOP: return SDL_HITTEST_RESIZE_TOP;
        case HTBOTTOM: return SDL_HITTEST_RESIZE_BOTTOM;
        case HTTOPLEFT: return SDL_HITTEST_RESIZE_TOPLEFT;
        case HTTOPRIGHT: return SDL_HITTEST_RESIZE_TOPRIGHT;
        case HTBOTTOMLEFT: return SDL_HITTEST_RESIZE_BOTTOMLEFT;
        case HTBOTTOMRIGHT: return SDL_HITTEST_RESIZE_BOTTOMRIGHT;
        default: return SDL_HITTEST_NORMAL;
        }
    }

    void Push(THostEvent E) {
        if (Pending.size() < (1u << 16)) Pending.push_back(std::move(E));
    }

    void Translate(const SDL_Event& E) {
        THostEvent H;
        switch (E.type) {
        case SDL_MOUSEMOTION:
            if (E.motion.which == SDL_TOUCH_MOUSEID) return;
            H.Kind = THostEventKind::MouseMove;
            H.Screen = ScreenOf(E.motion.windowID, E.motion.x, E.motion.y);
            return Push(H);
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (E.button.button != SDL_BUTTON_LEFT && E.button.button != SDL_BUTTON_RIGHT &&
                E.button.button != SDL_BUTTON_MIDDLE)
                return;
            H.Kind = E.type == SDL_MOUSEBUTTONDOWN ? THostEventKind::MouseDown : THostEventKind::MouseUp;
            H.Screen = ScreenOf(E.button.windowID, E.button.x, E.button.y);
            H.Button = E.button.button == SDL_BUTTON_LEFT ? 0 : E.button.button == SDL_BUTTON_RIGHT ? 1 : 2;
            return Push(H);
        case SDL_MOUSEWHEEL: {
            int X = 0, Y = 0;
            SDL_GetGlobalMouseState(&X, &Y);
            H.Kind = THostEventKind::MouseWheel;
            H.Screen = {X, Y};
            int Dy = E.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -E.wheel.y : E.wheel.y;
            H.WheelDelta = std::clamp(Dy, -273, 273) * 120;
            return Push(H);
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            H.Kind = E.type == SDL_KEYDOWN ? THostEventKind::KeyDown : THostEventKind::KeyUp;
            H.VirtualKey = VirtualKeyOf(E.key.keysym.sym);
            if (!H.VirtualKey) return;
            H.Alt = (E.key.keysym.mod & KMOD_ALT) != 0;
            H.Shift = (E.key.keysym.mod & KMOD_SHIFT) != 0;
            H.Control = (E.key.keysym.mod & KMOD_CTRL) != 0;
            return Push(H);
        case SDL_TEXTINPUT:
            H.Kind = THostEventKind::Text;
            H.Text = Wide(E.text.text);
            if (H.Text.empty()) return;
            return Push(H);
        case SDL_TEXTEDITING:
            H.Kind = THostEventKind::Composition;
            H.Text = Wide(E.edit.text);
            H.Cursor = UnitsOfChars(E.edit.text, E.edit.start);
            return Push(H);
        case SDL_DROPBEGIN: Dropped.clear(); return;
        case SDL_DROPFILE:
            if (Dropped.size() < 65536) Dropped.push_back(Wide(E.drop.file));
            SDL_free(E.drop.file);
            return;
        case SDL_DROPTEXT: SDL_free(E.drop.file); return;
        case SDL_DROPCOMPLETE: {
            // Drops carry no position: they land where the pointer is now.
            if (Dropped.empty()) return;
            int X = 0, Y = 0;
            SDL_GetGlobalMouseState(&X, &Y);
            H.Kind = THostEventKind::Drop;
            H.Screen = {X, Y};
            H.Files = std::move(Dropped);
            Dropped.clear();
            return Push(H);
        }
        case SDL_QUIT: H.Kind = THostEventKind::Quit; return Push(H);
        case SDL_WINDOWEVENT:
            switch (E.window.event) {
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                // Shown again by the system: the picture is put back whole.
                if (HWND Wnd = WndOf(E.window.windowID))
                    if (const TBitmap* Frame = GetWindowFramebuffer(Wnd))
                        Present(Wnd, *Frame, {RECT{0, 0, Frame->Width(), Frame->Height()}});
                return;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                // Focus passing to another of our windows (a drop-down list
                // or a menu just shown) keeps the capture that opened it.
                if (SDL_Window* Now = SDL_GetKeyboardFocus(); Now && SDL_GetWindowData(Now, "velmo.hwnd")) return;
                H.Kind = THostEventKind::CaptureLost;
                return Push(H);
            case SDL_WINDOWEVENT_CLOSE:
                if (HWND Wnd = WndOf(E.window.windowID)) PostMessageW(Wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
                return;
            default: return;
            }
        default: return;  // the wake-up event and everything unused
        }
    }

    std::unordered_map<HWND, TTop> Tops;
    std::deque<THostEvent> Pending;
    std::vector<std::u16string> Dropped;
    Uint32 WakeEvent = SDL_USEREVENT;
};

}  // namespace

std::string StartSdlHost() {
    auto Host = std::make_shared<TSdlHost>();
    std::string Error = Host->Start();
    if (!Error.empty()) return Error;
    SetWindowHost(std::move(Host));
    return {};
}

}  // namespace velmo
