// Composition strings of the input method and their delivery.
#include "platform/ui/Ime.h"

#include <algorithm>
#include <cstring>

namespace velmo {

namespace {

struct TComposition {
    bool Active = false;
    std::u16string Composing;
    std::u16string Result;
};

TComposition& Comp() {
    static TComposition C;
    return C;
}

HIMC TheContext() { return reinterpret_cast<HIMC>(uintptr_t(0x1C0)); }

HWND Target() {
    HWND F = GetFocus();
    return F ? F : GetActiveWindow();
}

}  // namespace

HIMC ImmGetContext(HWND Wnd) { return IsWindow(Wnd) ? TheContext() : nullptr; }
BOOL ImmReleaseContext(HWND Wnd, HIMC Context) { return IsWindow(Wnd) && Context == TheContext(); }

long ImmGetCompositionStringW(HIMC Context, DWORD Index, void* Buffer, DWORD Size) {
    if (Context != TheContext()) return -1;
    const std::u16string* S = nullptr;
    long Cursor = 0;
    switch (Index) {
    case GCS_COMPSTR: S = &Comp().Composing; break;
    case GCS_RESULTSTR: S = &Comp().Result; break;
    case GCS_CURSORPOS: Cursor = long(Comp().Composing.size()); return Cursor;
    default: return -1;
    }
    long Bytes = long(S->size() * sizeof(char16_t));
    if (!Buffer || Size == 0) return Bytes;
    size_t Units = std::min(S->size(), size_t(Size) / sizeof(char16_t));
    std::memcpy(Buffer, S->data(), Units * sizeof(char16_t));
    return long(Units * sizeof(char16_t));
}

void ImeSetComposition(const std::u16string& Text) {
    HWND To = Target();
    if (!To) return;
    TComposition& C = Comp();
    if (Text.empty()) {
        if (!C.Active) return;
        C.Composing.clear();
        SendMessageW(To, WM_IME_COMPOSITION, 0, LPARAM(GCS_COMPSTR));
        C.Active = false;
        SendMessageW(To, WM_IME_ENDCOMPOSITION, 0, 0);
        return;
    }
    if (!C.Active) {
        C.Active = true;
        SendMessageW(To, WM_IME_STARTCOMPOSITION, 0, 0);
    }
    C.Composing = Text;
    SendMessageW(To, WM_IME_COMPOSITION, Text.empty() ? 0 : WPARAM(Text.back()), LPARAM(GCS_COMPSTR | GCS_CURSORPOS));
}

void ImeCommit(const std::u16string& Text) {
    HWND To = Target();
    if (!To) return;
    TComposition& C = Comp();
    if (!C.Active) {
        C.Active = true;
        SendMessageW(To, WM_IME_STARTCOMPOSITION, 0, 0);
    }
    C.Composing.clear();
    C.Result = Text;
    SendMessageW(To, WM_IME_COMPOSITION, Text.empty() ? 0 : WPARAM(Text.front()), LPARAM(GCS_RESULTSTR));
    C.Result.clear();
    C.Active = false;
    if (IsWindow(To)) SendMessageW(To, WM_IME_ENDCOMPOSITION, 0, 0);
}

}  // namespace velmo
