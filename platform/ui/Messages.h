// Window messages sent synchronously.
//
// A handle of the window layer (Window.h) reaches its window's procedure.
// Any other handle may have a handler registered by whoever owns it (the
// progress messages of headless renders use this); a message to a handle
// with neither is dropped and answers 0.
#pragma once

#include <cstdint>
#include <functional>

namespace velmo {

using HWND = struct HWND__*;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

using TWindowMessageHandler = std::function<LRESULT(HWND Wnd, UINT Msg, WPARAM W, LPARAM L)>;

// Replaces the handler of Wnd (an empty handler removes it). Thread-safe.
void RegisterWindowMessageHandler(HWND Wnd, TWindowMessageHandler Handler);
void UnregisterWindowMessageHandler(HWND Wnd);

// Calls the window's procedure (on the user-interface thread, waiting for it
// when called from another thread) or the handler of Wnd on the calling
// thread, and returns its answer; 0 when Wnd has neither. A procedure or
// handler may itself send messages.
LRESULT SendMessageW(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);

}  // namespace velmo
