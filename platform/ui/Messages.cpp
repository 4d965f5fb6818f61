#include "platform/ui/Messages.h"

#include <mutex>
#include <unordered_map>
#include <utility>

namespace velmo {

namespace {

struct THandlerTable {
    std::mutex Lock;
    std::unordered_map<HWND, TWindowMessageHandler> Handlers;
};

THandlerTable& Table() {
    static THandlerTable T;
    return T;
}

}  // namespace

void RegisterWindowMessageHandler(HWND Wnd, TWindowMessageHandler Handler) {
    THandlerTable& T = Table();
    std::lock_guard<std::mutex> G(T.Lock);
    if (Handler)
        T.Handlers[Wnd] = std::move(Handler);
    else
        T.Handlers.erase(Wnd);
}

void UnregisterWindowMessageHandler(HWND Wnd) { RegisterWindowMessageHandler(Wnd, nullptr); }

namespace ui {

bool CallRegisteredHandler(HWND Wnd, UINT Msg, WPARAM W, LPARAM L, LRESULT& Result) {
    TWindowMessageHandler H;
    {
        // The handler runs outside the lock, so that it may send or register.
        THandlerTable& T = Table();
        std::lock_guard<std::mutex> G(T.Lock);
        auto It = T.Handlers.find(Wnd);
        if (It == T.Handlers.end()) return false;
        H = It->second;
    }
    Result = H(Wnd, Msg, W, L);
    return true;
}

}  // namespace ui

}  // namespace velmo
