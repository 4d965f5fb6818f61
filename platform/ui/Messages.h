// Window messages sent synchronously to handlers registered by window handle.
//
// The window layer registers one handler per window it creates; until then
// (and in headless tests) whoever owns a handle registers its own handler.
// A message to a handle without a handler is dropped and answers 0.
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

// Calls the handler of Wnd on the calling thread and returns its answer; 0
// when Wnd has none. A handler may itself send messages.
LRESULT SendMessageW(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);

}  // namespace velmo
