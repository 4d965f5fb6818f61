// Input-method composition as the layer hands it to the focus window:
// WM_IME_STARTCOMPOSITION, WM_IME_COMPOSITION with GCS_COMPSTR while the
// user composes, WM_IME_COMPOSITION with GCS_RESULTSTR for the committed
// text, then WM_IME_ENDCOMPOSITION. The strings are read with
// ImmGetCompositionStringW while the message is being handled.
#pragma once

#include <string>

#include "platform/ui/Window.h"

namespace velmo {

using HIMC = struct HIMC__*;
constexpr DWORD GCS_COMPSTR = 0x0008;
constexpr DWORD GCS_CURSORPOS = 0x0080;
constexpr DWORD GCS_RESULTSTR = 0x0800;

HIMC ImmGetContext(HWND Wnd);
BOOL ImmReleaseContext(HWND Wnd, HIMC Context);
// Copies the string (bytes, no terminator) and returns its size in bytes;
// with a null Buffer or a zero size returns the size only; a negative
// value for an unknown index.
long ImmGetCompositionStringW(HIMC Context, DWORD Index, void* Buffer, DWORD Size);

// Delivers composition to the focus window: the text being composed (an
// empty text ends the composition without committing), or the committed
// text, which ends it.
void ImeSetComposition(const std::u16string& Text);
void ImeCommit(const std::u16string& Text);

}  // namespace velmo
