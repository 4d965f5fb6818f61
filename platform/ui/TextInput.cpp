// The caret, the input-method context and the clipboard.
#include "platform/ui/TextInput.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "platform/text/AnsiCodePage.h"
#include "platform/ui/WindowInternal.h"

namespace velmo {

using namespace ui;

namespace {

constexpr size_t kMaxBlock = size_t(1) << 30;   // one memory block
constexpr size_t kMaxBlocks = 1u << 16;         // blocks alive at once
constexpr size_t kMaxCompose = 1u << 16;        // units of composed text

struct TCaret {
    HWND Wnd = nullptr;
    POINT Pos;
    int Width = 1;
    int Height = 1;
};

struct TIme {
    HWND Target = nullptr;   // window the composition goes to
    bool Composing = false;
    std::u16string Composed;
    int Cursor = 0;
    std::u16string Result;
};

struct TBlock {
    std::unique_ptr<uint8_t[]> Data;
    size_t Size = 0;
    int Locks = 0;
};

struct TClipboard {
    HWND Owner = nullptr;
    bool Open = false;
    bool Emptied = false;  // the open session owns the contents
    HGLOBAL Unicode = nullptr;  // what SetClipboardData gave, or a copy read from the host
    HGLOBAL Ansi = nullptr;
};

TCaret& Caret() {
    static TCaret C;
    return C;
}
TIme& Ime() {
    static TIme I;
    return I;
}
TClipboard& Clip() {
    static TClipboard C;
    return C;
}
std::unordered_map<uintptr_t, TBlock>& Blocks() {
    static auto* M = new std::unordered_map<uintptr_t, TBlock>;
    return *M;
}

TBlock* FindBlock(HGLOBAL Mem) {
    auto It = Blocks().find(reinterpret_cast<uintptr_t>(Mem));
    return It == Blocks().end() ? nullptr : &It->second;
}

HWND TopOf(HWND Wnd) { return GetAncestor(Wnd, GA_ROOT); }

void TellHostCaret(HWND Wnd, RECT ClientRect) {
    if (!Find(Wnd)) return;
    POINT A{ClientRect.left, ClientRect.top}, B{ClientRect.right, ClientRect.bottom};
    ClientToScreen(Wnd, &A);
    ClientToScreen(Wnd, &B);
    State().Host->TextInputRect(TopOf(Wnd), RECT{A.x, A.y, B.x, B.y});
}

HGLOBAL BlockOfText(const std::u16string& Text) {
    HGLOBAL Mem = GlobalAlloc(GMEM_MOVEABLE, (Text.size() + 1) * sizeof(char16_t));
    if (void* P = GlobalLock(Mem)) {
        std::memcpy(P, Text.c_str(), (Text.size() + 1) * sizeof(char16_t));
        GlobalUnlock(Mem);
    }
    return Mem;
}

// The text of a block, up to its first null unit.
std::u16string TextOfBlock(HGLOBAL Mem, bool Ansi) {
    TBlock* B = FindBlock(Mem);
    if (!B) return {};
    if (Ansi) {
        const char* P = reinterpret_cast<const char*>(B->Data.get());
        return AnsiToWide(std::string_view(P, strnlen(P, B->Size)));
    }
    size_t Units = B->Size / sizeof(char16_t);
    std::u16string S(Units, u'\0');
    std::memcpy(S.data(), B->Data.get(), Units * sizeof(char16_t));
    S.resize(std::find(S.begin(), S.end(), u'\0') - S.begin());
    return S;
}

void DropContents() {
    TClipboard& C = Clip();
    if (C.Unicode) GlobalFree(C.Unicode);
    if (C.Ansi) GlobalFree(C.Ansi);
    C.Unicode = C.Ansi = nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
namespace ui {

bool ImeCompose(HWND To, const std::u16string& Text, int Cursor) {
    TIme& I = Ime();
    if (!To || !Find(To)) return false;
    if (Text.empty()) {
        // The composition was cancelled (or already committed).
        if (!I.Composing) return true;
        I.Composing = false;
        I.Composed.clear();
        I.Cursor = 0;
        PostInputMessage(I.Target, WM_IME_COMPOSITION, 0, 0);
        PostInputMessage(I.Target, WM_IME_ENDCOMPOSITION, 0, 0);
        return true;
    }
    if (!I.Composing || I.Target != To) {
        I.Composing = true;
        I.Target = To;
        PostInputMessage(To, WM_IME_STARTCOMPOSITION, 0, 0);
    }
    I.Composed = Text.substr(0, kMaxCompose);
    I.Cursor = std::clamp(Cursor, 0, int(I.Composed.size()));
    I.Result.clear();
    PostInputMessage(To, WM_IME_COMPOSITION, WPARAM(I.Composed.back()), GCS_COMPSTR | GCS_CURSORPOS);
    return true;
}

bool ImeCommit(HWND To, const std::u16string& Text) {
    TIme& I = Ime();
    if (!I.Composing || Text.empty()) return false;
    HWND Target = Find(I.Target) ? I.Target : To;
    I.Composing = false;
    I.Composed.clear();
    I.Cursor = 0;
    I.Result = Text.substr(0, kMaxCompose);
    PostInputMessage(Target, WM_IME_COMPOSITION, WPARAM(I.Result.front()), GCS_RESULTSTR);
    PostInputMessage(Target, WM_IME_ENDCOMPOSITION, 0, 0);
    return true;
}

LRESULT ImeDefault(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_IME_COMPOSITION && (L & GCS_RESULTSTR)) {
        // A window that leaves the result to the default gets it as
        // characters, one per UTF-16 unit.
        std::u16string Result = Ime().Result;
        for (char16_t C : Result) {
            if (!Find(Wnd)) break;
            SendMessageW(Wnd, WM_IME_CHAR, WPARAM(C), 1);
        }
        return 0;
    }
    if (Msg == WM_IME_CHAR) return SendMessageW(Wnd, WM_CHAR, W, L);
    return 0;
}

void ForgetTextInput(HWND Wnd) {
    if (Caret().Wnd == Wnd) Caret() = TCaret();
    if (Ime().Target == Wnd) Ime() = TIme();
    if (Clip().Owner == Wnd) Clip().Owner = nullptr;
}

}  // namespace ui

// ---------------------------------------------------------------------------
BOOL CreateCaret(HWND Wnd, HBITMAP Shape, int Width, int Height) {
    (void)Shape;
    if (!Find(Wnd)) return FALSE;
    TCaret& C = Caret();
    C.Wnd = Wnd;
    C.Pos = {};
    C.Width = std::clamp(Width, 1, 4096);
    C.Height = std::clamp(Height, 1, 4096);
    return TRUE;
}

BOOL DestroyCaret() {
    if (!Caret().Wnd) return FALSE;
    Caret() = TCaret();
    return TRUE;
}

BOOL SetCaretPos(int X, int Y) {
    TCaret& C = Caret();
    if (!C.Wnd || !Find(C.Wnd)) return FALSE;
    C.Pos = {std::clamp(X, -32768, 32767), std::clamp(Y, -32768, 32767)};
    TellHostCaret(C.Wnd, RECT{C.Pos.x, C.Pos.y, C.Pos.x + C.Width, C.Pos.y + C.Height});
    return TRUE;
}

BOOL GetCaretPos(POINT* Point) {
    if (!Point || !Caret().Wnd) return FALSE;
    *Point = Caret().Pos;
    return TRUE;
}

HIMC ImmGetContext(HWND Wnd) {
    // One context serves the one user-interface thread; its handle names
    // the window asking.
    return Find(Wnd) ? reinterpret_cast<HIMC>(Wnd) : nullptr;
}

BOOL ImmReleaseContext(HWND Wnd, HIMC Context) { return Find(Wnd) && Context ? TRUE : FALSE; }

LONG ImmGetCompositionStringW(HIMC Context, DWORD Index, void* Buffer, DWORD Size) {
    if (!Context) return IMM_ERROR_GENERAL;
    const TIme& I = Ime();
    if (Index == GCS_CURSORPOS) return I.Cursor;
    const std::u16string* S = Index == GCS_COMPSTR ? &I.Composed : Index == GCS_RESULTSTR ? &I.Result : nullptr;
    if (!S) return IMM_ERROR_NODATA;
    DWORD Bytes = DWORD(S->size() * sizeof(char16_t));
    if (Size == 0) return LONG(Bytes);
    if (!Buffer) return IMM_ERROR_GENERAL;
    DWORD N = std::min(Bytes, Size) & ~DWORD(1);
    std::memcpy(Buffer, S->data(), N);
    return LONG(N);
}

BOOL ImmSetCompositionWindow(HIMC Context, const COMPOSITIONFORM* Form) {
    HWND Wnd = reinterpret_cast<HWND>(Context);
    if (!Form || !Find(Wnd)) return FALSE;
    RECT R;
    if (Form->dwStyle & CFS_RECT)
        R = Form->rcArea;
    else
        R = RECT{Form->ptCurrentPos.x, Form->ptCurrentPos.y, Form->ptCurrentPos.x + 1,
                 Form->ptCurrentPos.y + (Caret().Wnd == Wnd ? Caret().Height : 1)};
    TellHostCaret(Wnd, R);
    return TRUE;
}

HGLOBAL GlobalAlloc(UINT Flags, size_t Bytes) {
    (void)Flags;  // blocks never move, and always start zeroed
    if (Bytes > kMaxBlock || Blocks().size() >= kMaxBlocks) return nullptr;
    static uintptr_t Next = 0x6B000000;
    TBlock B;
    B.Data.reset(new (std::nothrow) uint8_t[std::max<size_t>(Bytes, 1)]());
    if (!B.Data) return nullptr;
    B.Size = Bytes;
    Next += 16;
    Blocks()[Next] = std::move(B);
    return reinterpret_cast<HGLOBAL>(Next);
}

void* GlobalLock(HGLOBAL Mem) {
    TBlock* B = FindBlock(Mem);
    if (!B) return nullptr;
    ++B->Locks;
    return B->Data.get();
}

BOOL GlobalUnlock(HGLOBAL Mem) {
    TBlock* B = FindBlock(Mem);
    if (!B || B->Locks == 0) return FALSE;
    return --B->Locks > 0 ? TRUE : FALSE;
}

size_t GlobalSize(HGLOBAL Mem) {
    TBlock* B = FindBlock(Mem);
    return B ? B->Size : 0;
}

HGLOBAL GlobalFree(HGLOBAL Mem) {
    if (!Blocks().erase(reinterpret_cast<uintptr_t>(Mem))) return Mem;
    TClipboard& C = Clip();
    if (C.Unicode == Mem) C.Unicode = nullptr;
    if (C.Ansi == Mem) C.Ansi = nullptr;
    return nullptr;
}

BOOL OpenClipboard(HWND Owner) {
    TClipboard& C = Clip();
    if (C.Open || (Owner && !Find(Owner))) return FALSE;
    C.Open = true;
    C.Emptied = false;
    C.Owner = Owner;
    return TRUE;
}

BOOL CloseClipboard() {
    TClipboard& C = Clip();
    if (!C.Open) return FALSE;
    C.Open = false;
    if (C.Emptied) {
        // What this session put there goes to the host, where every
        // program sees it.
        std::u16string Text = C.Unicode ? TextOfBlock(C.Unicode, false) : C.Ansi ? TextOfBlock(C.Ansi, true) : u"";
        State().Host->SetClipboardText(Text);
    }
    DropContents();
    C.Emptied = false;
    return TRUE;
}

BOOL EmptyClipboard() {
    TClipboard& C = Clip();
    if (!C.Open) return FALSE;
    DropContents();
    C.Emptied = true;
    return TRUE;
}

HANDLE SetClipboardData(UINT Format, HANDLE Mem) {
    TClipboard& C = Clip();
    if (!C.Open || !C.Emptied || (Format != CF_UNICODETEXT && Format != CF_TEXT) || !FindBlock(Mem)) return nullptr;
    HGLOBAL& Slot = Format == CF_UNICODETEXT ? C.Unicode : C.Ansi;
    if (Slot && Slot != Mem) GlobalFree(Slot);
    Slot = Mem;
    return Mem;
}

HANDLE GetClipboardData(UINT Format) {
    TClipboard& C = Clip();
    if (!C.Open || (Format != CF_UNICODETEXT && Format != CF_TEXT)) return nullptr;
    if (C.Emptied) return Format == CF_UNICODETEXT ? C.Unicode : C.Ansi;
    // Each form is read once per session; blocks handed out stay valid
    // until the clipboard is closed.
    HGLOBAL& Slot = Format == CF_UNICODETEXT ? C.Unicode : C.Ansi;
    if (Slot) return Slot;
    std::optional<std::u16string> Text = State().Host->ClipboardText();
    if (!Text) return nullptr;
    if (Format == CF_UNICODETEXT) return C.Unicode = BlockOfText(*Text);
    std::string A = WideToAnsi(*Text);
    C.Ansi = GlobalAlloc(GMEM_MOVEABLE, A.size() + 1);
    if (void* P = GlobalLock(C.Ansi)) {
        std::memcpy(P, A.c_str(), A.size() + 1);
        GlobalUnlock(C.Ansi);
    }
    return C.Ansi;
}

BOOL IsClipboardFormatAvailable(UINT Format) {
    if (Format != CF_UNICODETEXT && Format != CF_TEXT) return FALSE;
    TClipboard& C = Clip();
    if (C.Open && C.Emptied) return C.Unicode || C.Ansi ? TRUE : FALSE;
    return State().Host->ClipboardText().has_value() ? TRUE : FALSE;
}

}  // namespace velmo
