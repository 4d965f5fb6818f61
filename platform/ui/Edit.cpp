// The "edit" class: single- and multi-line text with a caret, a selection,
// keyboard and mouse editing, the clipboard, one level of undo, a length
// limit, read-only and password modes, and input-method composition shown
// and committed at the caret. Positions never fall inside a surrogate pair
// or a CR LF pair. Every change sends EN_UPDATE, then EN_CHANGE, once.
#include <algorithm>

#include "platform/ui/ControlsInternal.h"
#include "platform/ui/TextInput.h"

namespace velmo::ui {

namespace {

constexpr size_t kDefaultLimit = 0x7FFFFFFE;
constexpr int kMargin = 2;

struct TEdit {
    std::u16string Text;
    size_t Caret = 0;
    size_t Anchor = 0;
    std::u16string UndoText;
    size_t UndoCaret = 0;
    size_t UndoAnchor = 0;
    bool CanUndo = false;
    size_t Limit = kDefaultLimit;
    bool Modified = false;
    char16_t Password = 0;
    HFONT Font = nullptr;
    int ScrollX = 0;
    size_t TopLine = 0;
    bool WantsBar = false;  // a multi-line edit created with WS_VSCROLL
    bool Syncing = false;
    std::u16string Composing;
    bool Focused = false;
    bool Tracking = false;
    bool Shift = false;
    bool Control = false;
    char16_t PendingHigh = 0;  // a high surrogate waiting for its low half
    // The character a key already acted on: the layer's hosts send editing
    // keys as key presses only, but a host that also sends the character
    // must not get the action twice.
    char16_t SkipChar = 0;
};

struct TLine {
    size_t Start = 0;
    size_t End = 0;     // before the line break
    bool Soft = false;  // wrapped: the next line starts at End
};

bool Multi(HWND Wnd) { return StyleOf(Wnd) & ES_MULTILINE; }
bool ReadOnly(HWND Wnd) { return StyleOf(Wnd) & ES_READONLY; }
// A multi-line edit that does not scroll sideways wraps its lines at words.
bool Wraps(HWND Wnd) { return (StyleOf(Wnd) & (ES_MULTILINE | ES_AUTOHSCROLL)) == ES_MULTILINE; }

std::vector<TLine> HardLines(const std::u16string& T, bool MultiLine) {
    std::vector<TLine> Out;
    if (!MultiLine) return {{0, T.size()}};
    size_t Start = 0;
    for (size_t I = 0; I < T.size(); ++I) {
        if (T[I] == u'\n' || (T[I] == u'\r' && I + 1 < T.size() && T[I + 1] == u'\n')) {
            Out.push_back({Start, I});
            if (T[I] == u'\r') ++I;
            Start = I + 1;
        }
    }
    Out.push_back({Start, T.size()});
    return Out;
}

size_t LineOf(const std::vector<TLine>& Lines, size_t Pos) {
    for (size_t I = 0; I < Lines.size(); ++I)
        if (Pos < Lines[I].End || (Pos == Lines[I].End && !Lines[I].Soft)) return I;
    return Lines.size() - 1;
}

// What is shown for a piece of text: the password character once per
// character in password mode.
std::u16string Shown(const TEdit& E, std::u16string_view S) {
    if (!E.Password) return std::u16string(S);
    std::u16string Out;
    for (size_t I = 0; I < S.size(); ++I) {
        if (S[I] >= 0xDC00 && S[I] <= 0xDFFF && I > 0 && S[I - 1] >= 0xD800 && S[I - 1] <= 0xDBFF)
            continue;
        Out.push_back(E.Password);
    }
    return Out;
}

class TMeasure {
public:
    explicit TMeasure(HWND Wnd, const TEdit& E) : Wnd_(Wnd), Dc_(GetDC(Wnd)) {
        Old_ = SelectObject(Dc_, E.Font ? E.Font : DefaultControlFont());
    }
    ~TMeasure() {
        SelectObject(Dc_, Old_);
        ReleaseDC(Wnd_, Dc_);
    }
    HDC Dc() const { return Dc_; }

private:
    HWND Wnd_;
    HDC Dc_;
    HGDIOBJ Old_;
};

RECT TextArea(HWND Wnd) {
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    Rc.left += kMargin;
    Rc.right -= kMargin;
    Rc.top += 1;
    if (Rc.right < Rc.left) Rc.right = Rc.left;
    return Rc;
}

// Lines as shown: the hard lines, each broken at the last space that lets
// it fit the text area when the edit wraps. A word wider than the area is
// broken between characters (never inside a surrogate pair); every line
// holds at least one character, so breaking always ends.
std::vector<TLine> LinesOf(HWND Wnd, const TEdit& E) {
    std::vector<TLine> Hard = HardLines(E.Text, Multi(Wnd));
    if (!Wraps(Wnd)) return Hard;
    TMeasure M(Wnd, E);
    RECT A = TextArea(Wnd);
    const int Room = std::max<int>(1, A.right - A.left);
    const std::u16string& T = E.Text;
    auto Width = [&](size_t From, size_t To) { return TextWidth(M.Dc(), Shown(E, std::u16string_view(T).substr(From, To - From))); };
    std::vector<TLine> Out;
    for (const TLine& H : Hard) {
        size_t Start = H.Start;
        while (true) {
            // Whole words (with the spaces after them) while they fit.
            size_t End = Start, Fits = Start;
            int Used = 0;
            while (End < H.End) {
                size_t WordEnd = End;
                while (WordEnd < H.End && T[WordEnd] != u' ' && T[WordEnd] != u'\t') ++WordEnd;
                int Word = Width(End, WordEnd);
                if (Used + Word > Room) break;
                size_t SpaceEnd = WordEnd;
                while (SpaceEnd < H.End && (T[SpaceEnd] == u' ' || T[SpaceEnd] == u'\t')) ++SpaceEnd;
                Used += Word + Width(WordEnd, SpaceEnd);
                End = SpaceEnd;
                Fits = End;
            }
            if (Fits >= H.End) {
                Out.push_back({Start, H.End});
                break;
            }
            if (Fits == Start) {
                // The first word alone is too wide: as many characters as fit.
                size_t P = NextBoundary(T, Start);
                int Acc = Width(Start, P);
                while (P < H.End) {
                    size_t Next = NextBoundary(T, P);
                    Acc += Width(P, Next);
                    if (Acc > Room) break;
                    P = Next;
                }
                Fits = std::min(P, H.End);
            }
            Out.push_back({Start, Fits, true});
            Start = Fits;
        }
    }
    return Out;
}

int LineX(HWND Wnd, HDC Dc, const TEdit& E, const TLine& L) {
    RECT A = TextArea(Wnd);
    DWORD Align = StyleOf(Wnd) & 3;
    int X = A.left - E.ScrollX;
    if (Align == ES_CENTER || Align == ES_RIGHT) {
        int W =
            TextWidth(Dc, Shown(E, std::u16string_view(E.Text).substr(L.Start, L.End - L.Start)));
        int Room = (A.right - A.left) - W;
        if (Room > 0) X += Align == ES_CENTER ? Room / 2 : Room;
    }
    return X;
}

POINT PosOf(HWND Wnd, HDC Dc, const TEdit& E, size_t Pos) {
    auto Lines = LinesOf(Wnd, E);
    size_t Li = LineOf(Lines, Pos);
    const TLine& L = Lines[Li];
    int H = LineHeight(Dc);
    RECT A = TextArea(Wnd);
    int X = LineX(Wnd, Dc, E, L) +
            TextWidth(Dc, Shown(E, std::u16string_view(E.Text).substr(L.Start, Pos - L.Start)));
    int Y = A.top + (int(Li) - int(E.TopLine)) * H;
    return {X, Y};
}

size_t PosFromPoint(HWND Wnd, HDC Dc, const TEdit& E, POINT P) {
    auto Lines = LinesOf(Wnd, E);
    int H = LineHeight(Dc);
    RECT A = TextArea(Wnd);
    long Li = long(E.TopLine) + (P.y < A.top ? -1 : (P.y - A.top) / H);
    Li = std::clamp(Li, 0L, long(Lines.size()) - 1);
    const TLine& L = Lines[size_t(Li)];
    int X0 = LineX(Wnd, Dc, E, L);
    size_t Best = L.Start;
    int Prev = X0;
    for (size_t I = L.Start; I < L.End;) {
        size_t Next = NextBoundary(E.Text, I);
        if (Next > L.End) Next = L.End;
        int X = X0 + TextWidth(
                         Dc, Shown(E, std::u16string_view(E.Text).substr(L.Start, Next - L.Start)));
        if (P.x < (Prev + X) / 2) return I;
        Best = Next;
        Prev = X;
        I = Next;
    }
    return Best;
}

void Notify(HWND Wnd, WORD Code) { NotifyParent(Wnd, Code); }

int VisibleLines(HWND Wnd, TEdit& E) {
    TMeasure M(Wnd, E);
    RECT A = TextArea(Wnd);
    return std::max(1, int(A.bottom - A.top) / std::max(1, LineHeight(M.Dc())));
}

// The vertical scroll bar of a multi-line edit: lines, page, first line.
void SyncScrollBar(HWND Wnd, TEdit& E) {
    if (!E.WantsBar || E.Syncing) return;
    E.Syncing = true;
    SCROLLINFO Si;
    Si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    Si.nMax = int(std::min<size_t>(LinesOf(Wnd, E).size(), 0x7FFFFFFF)) - 1;
    Si.nPage = UINT(VisibleLines(Wnd, E));
    Si.nPos = int(std::min<size_t>(E.TopLine, 0x7FFFFFFF));
    SetScrollInfo(Wnd, SB_VERT, &Si, TRUE);
    if (ControlState<TEdit>(Wnd) == &E) E.Syncing = false;
}

void KeepCaretVisible(HWND Wnd, TEdit& E) {
    TMeasure M(Wnd, E);
    RECT A = TextArea(Wnd);
    int H = LineHeight(M.Dc());
    if (Multi(Wnd)) {
        auto Lines = LinesOf(Wnd, E);
        size_t Li = LineOf(Lines, E.Caret);
        size_t Visible = size_t(std::max(1, int(A.bottom - A.top) / std::max(1, H)));
        if (Li < E.TopLine)
            E.TopLine = Li;
        else if (Li >= E.TopLine + Visible)
            E.TopLine = Li + 1 - Visible;
    }
    // The caret stands after the text being composed.
    int Composed = TextWidth(M.Dc(), E.Composing);
    POINT P = PosOf(Wnd, M.Dc(), E, E.Caret);
    P.x += Composed;
    int Width = A.right - A.left;
    if (Wraps(Wnd))
        E.ScrollX = 0;  // wrapped lines never scroll sideways
    else if (P.x < A.left)
        E.ScrollX = std::max(0, E.ScrollX - (A.left - P.x) - Width / 4);
    else if (P.x >= A.right)
        E.ScrollX += P.x - A.right + 1 + Width / 4;
    if (E.ScrollX < 0) E.ScrollX = 0;
    // The system caret follows, so the input method opens beside it.
    if (E.Focused) {
        P = PosOf(Wnd, M.Dc(), E, E.Caret);
        SetCaretPos(P.x + Composed, P.y);
    }
    SyncScrollBar(Wnd, E);
}

void Changed(HWND Wnd, TEdit& E) {
    E.Modified = true;
    KeepCaretVisible(Wnd, E);
    InvalidateRect(Wnd, nullptr, TRUE);
    Notify(Wnd, EN_UPDATE);
    if (IsWindow(Wnd)) Notify(Wnd, EN_CHANGE);
}

void Moved(HWND Wnd, TEdit& E) {
    KeepCaretVisible(Wnd, E);
    InvalidateRect(Wnd, nullptr, TRUE);
}

// Text as this edit takes it: one line for a single-line edit, the case
// and digit rules applied.
std::u16string Accepted(HWND Wnd, std::u16string S, bool Typed) {
    DWORD Style = StyleOf(Wnd);
    if (!(Style & ES_MULTILINE)) {
        size_t Br = S.find_first_of(u"\r\n");
        if (Br != std::u16string::npos) S.resize(Br);
    }
    if (Style & ES_UPPERCASE)
        for (auto& C : S)
            if (C >= u'a' && C <= u'z') C = char16_t(C - 32);
    if (Style & ES_LOWERCASE)
        for (auto& C : S)
            if (C >= u'A' && C <= u'Z') C = char16_t(C + 32);
    if ((Style & ES_NUMBER) && Typed)
        S.erase(std::remove_if(S.begin(), S.end(), [](char16_t C) { return C < u'0' || C > u'9'; }),
                S.end());
    return S;
}

// Replaces the selection; false when nothing changed.
bool Replace(HWND Wnd, TEdit& E, std::u16string S, bool Undoable, bool Typed = false) {
    S = Accepted(Wnd, std::move(S), Typed);
    size_t A = std::min(E.Caret, E.Anchor), B = std::max(E.Caret, E.Anchor);
    size_t Room = E.Limit > E.Text.size() - (B - A) ? E.Limit - (E.Text.size() - (B - A)) : 0;
    bool Cut = false;
    if (S.size() > Room) {
        size_t Keep = SnapBoundary(S, Room);
        S.resize(Keep);
        Cut = true;
    }
    if (S.empty() && A == B) {
        if (Cut) Notify(Wnd, EN_MAXTEXT);
        return false;
    }
    if (Undoable) {
        E.UndoText = E.Text;
        E.UndoCaret = E.Caret;
        E.UndoAnchor = E.Anchor;
        E.CanUndo = true;
    }
    E.Text.replace(A, B - A, S);
    E.Caret = E.Anchor = A + S.size();
    Changed(Wnd, E);
    if (Cut && IsWindow(Wnd)) Notify(Wnd, EN_MAXTEXT);
    return true;
}

void Undo(HWND Wnd, TEdit& E) {
    if (!E.CanUndo) return;
    // Undo of an undo redoes.
    std::swap(E.Text, E.UndoText);
    std::swap(E.Caret, E.UndoCaret);
    std::swap(E.Anchor, E.UndoAnchor);
    E.Caret = SnapBoundary(E.Text, E.Caret);
    E.Anchor = SnapBoundary(E.Text, E.Anchor);
    Changed(Wnd, E);
}

std::u16string Selection(const TEdit& E) {
    size_t A = std::min(E.Caret, E.Anchor), B = std::max(E.Caret, E.Anchor);
    return E.Text.substr(A, B - A);
}

void Copy(HWND Wnd, const TEdit& E) {
    if (E.Password || E.Caret == E.Anchor) return;
    PutClipboardText(Wnd, Selection(E));
}

bool IsWordChar(char16_t C) { return C != u' ' && C != u'\t' && C != u'\r' && C != u'\n'; }

size_t WordLeft(const std::u16string& T, size_t P) {
    while (P > 0 && !IsWordChar(T[P - 1])) P = PrevBoundary(T, P);
    while (P > 0 && IsWordChar(T[P - 1])) P = PrevBoundary(T, P);
    return P;
}

size_t WordRight(const std::u16string& T, size_t P) {
    while (P < T.size() && IsWordChar(T[P])) P = NextBoundary(T, P);
    while (P < T.size() && !IsWordChar(T[P])) P = NextBoundary(T, P);
    return P;
}

void MoveCaret(HWND Wnd, TEdit& E, size_t To, bool Extend) {
    E.Caret = SnapBoundary(E.Text, To);
    if (!Extend) E.Anchor = E.Caret;
    Moved(Wnd, E);
}

// The combo box an edit is the text field of, if any.
HWND ComboOf(HWND Wnd) {
    HWND P = GetParent(Wnd);
    return P && GetClassNameString(P) == u"ComboBox" ? P : nullptr;
}

// Keys that belong to the combo box around the edit: the arrows and F4
// walk or drop its list, Enter and Esc close a dropped list.
bool ComboKey(HWND Wnd, UINT Msg, UINT Vk) {
    HWND Combo = ComboOf(Wnd);
    if (!Combo) return false;
    bool Dropped = SendMessageW(Combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
    bool Take = Vk == VK_UP || Vk == VK_DOWN || (Msg == WM_KEYDOWN && Vk == VK_F4) ||
                (Dropped && (Vk == VK_RETURN || Vk == VK_ESCAPE));
    if (!Take) return false;
    SendMessageW(Combo, Msg, Vk, 0);
    return true;
}

void CharAction(HWND Wnd, TEdit& E, char16_t C);

// Keys that edit: Backspace, Enter and Tab of a multi-line edit, and the
// Ctrl shortcuts, acting as their characters do.
bool EditingKey(HWND Wnd, TEdit& E, UINT Vk) {
    char16_t C = 0;
    if (Vk == VK_BACK)
        C = 0x08;
    else if (Vk == VK_RETURN && Multi(Wnd))
        C = u'\r';
    else if (Vk == VK_TAB && Multi(Wnd) && !E.Control)
        C = u'\t';
    else if (E.Control && (Vk == 'A' || Vk == 'C' || Vk == 'V' || Vk == 'X' || Vk == 'Z'))
        C = char16_t(Vk - 'A' + 1);
    if (!C) return false;
    CharAction(Wnd, E, C);
    if (ControlState<TEdit>(Wnd) == &E) E.SkipChar = C;
    return true;
}

void KeyDown(HWND Wnd, TEdit& E, UINT Vk) {
    E.SkipChar = 0;
    if (EditingKey(Wnd, E, Vk)) return;
    bool Extend = E.Shift;
    auto Lines = LinesOf(Wnd, E);
    size_t Li = LineOf(Lines, E.Caret);
    switch (Vk) {
        case VK_SHIFT:
            E.Shift = true;
            return;
        case VK_CONTROL:
            E.Control = true;
            return;
        case VK_LEFT:
            if (!Extend && E.Caret != E.Anchor)
                MoveCaret(Wnd, E, std::min(E.Caret, E.Anchor), false);
            else
                MoveCaret(Wnd, E,
                          E.Control ? WordLeft(E.Text, E.Caret) : PrevBoundary(E.Text, E.Caret),
                          Extend);
            return;
        case VK_RIGHT:
            if (!Extend && E.Caret != E.Anchor)
                MoveCaret(Wnd, E, std::max(E.Caret, E.Anchor), false);
            else
                MoveCaret(Wnd, E,
                          E.Control ? WordRight(E.Text, E.Caret) : NextBoundary(E.Text, E.Caret),
                          Extend);
            return;
        case VK_HOME:
            MoveCaret(Wnd, E, E.Control ? 0 : Lines[Li].Start, Extend);
            return;
        case VK_END:
            MoveCaret(Wnd, E, E.Control ? E.Text.size() : Lines[Li].End, Extend);
            return;
        case VK_UP:
        case VK_DOWN: {
            if (!Multi(Wnd)) {
                MoveCaret(
                    Wnd, E,
                    Vk == VK_UP ? PrevBoundary(E.Text, E.Caret) : NextBoundary(E.Text, E.Caret),
                    Extend);
                return;
            }
            if ((Vk == VK_UP && Li == 0) || (Vk == VK_DOWN && Li + 1 >= Lines.size())) return;
            TMeasure M(Wnd, E);
            POINT P = PosOf(Wnd, M.Dc(), E, E.Caret);
            P.y += (Vk == VK_UP ? -1 : 1) * LineHeight(M.Dc()) + 1;
            MoveCaret(Wnd, E, PosFromPoint(Wnd, M.Dc(), E, P), Extend);
            return;
        }
        case VK_DELETE:
            if (ReadOnly(Wnd)) return;
            if (E.Shift) {  // Shift+Delete cuts
                Copy(Wnd, E);
                Replace(Wnd, E, u"", true);
                return;
            }
            if (E.Caret == E.Anchor) E.Caret = NextBoundary(E.Text, E.Caret);
            Replace(Wnd, E, u"", true);
            return;
        case VK_INSERT:
            if (E.Control)
                Copy(Wnd, E);
            else if (E.Shift && !ReadOnly(Wnd))
                if (auto T = TakeClipboardText(Wnd)) Replace(Wnd, E, *T, true);
            return;
        default:
            return;
    }
}

void CharAction(HWND Wnd, TEdit& E, char16_t C) {
    // Control characters: the editing shortcuts.
    switch (C) {
        case 0x01:
            E.Anchor = 0, E.Caret = E.Text.size();
            Moved(Wnd, E);
            return;
        case 0x03:
            Copy(Wnd, E);
            return;
        case 0x16:
            if (!ReadOnly(Wnd))
                if (auto T = TakeClipboardText(Wnd)) Replace(Wnd, E, *T, true);
            return;
        case 0x18:
            if (ReadOnly(Wnd) || E.Password) return;
            Copy(Wnd, E);
            Replace(Wnd, E, u"", true);
            return;
        case 0x1A:
            Undo(Wnd, E);
            return;
        default:
            break;
    }
    if (ReadOnly(Wnd)) return;
    if (C == 0x08) {
        if (E.Caret == E.Anchor)
            E.Caret = E.Control ? WordLeft(E.Text, E.Caret) : PrevBoundary(E.Text, E.Caret);
        Replace(Wnd, E, u"", true);
        return;
    }
    if (C == u'\r' || C == u'\n') {
        if (Multi(Wnd)) Replace(Wnd, E, u"\r\n", true, true);
        return;
    }
    if (C == u'\t') {
        if (Multi(Wnd)) Replace(Wnd, E, u"\t", true, true);
        return;
    }
    if (C < 0x20 || C == 0x7F) return;
    // The halves of a pair arrive one by one; they go in together.
    if (C >= 0xD800 && C <= 0xDBFF) {
        E.PendingHigh = C;
        return;
    }
    if (C >= 0xDC00 && C <= 0xDFFF) {
        if (!E.PendingHigh) return;
        std::u16string Pair{E.PendingHigh, C};
        E.PendingHigh = 0;
        Replace(Wnd, E, Pair, true, true);
        return;
    }
    E.PendingHigh = 0;
    Replace(Wnd, E, std::u16string(1, C), true, true);
}

void Char(HWND Wnd, TEdit& E, char16_t C) {
    if (E.SkipChar && C == E.SkipChar) {
        E.SkipChar = 0;
        return;
    }
    E.SkipChar = 0;
    CharAction(Wnd, E, C);
}

void PaintEdit(HWND Wnd, HDC Dc, TEdit& E) {
    RECT Rc;
    GetClientRect(Wnd, &Rc);
    bool Enabled = IsWindowEnabled(Wnd);
    UINT Kind = (ReadOnly(Wnd) || !Enabled) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
    HBRUSH Brush = ControlBrush(Wnd, Dc, Kind);
    if (Kind == WM_CTLCOLORSTATIC && !Enabled) SetTextColor(Dc, GetSysColor(COLOR_GRAYTEXT));
    FillRect(Dc, &Rc, Brush);
    HGDIOBJ OldFont = SelectObject(Dc, E.Font ? E.Font : DefaultControlFont());
    int OldMode = SetBkMode(Dc, TRANSPARENT);
    COLORREF Ink = GetTextColor(Dc);
    RECT A = TextArea(Wnd);
    int H = LineHeight(Dc);
    auto Lines = LinesOf(Wnd, E);
    size_t SelA = std::min(E.Caret, E.Anchor), SelB = std::max(E.Caret, E.Anchor);
    bool ShowSel = SelA != SelB && (E.Focused || (StyleOf(Wnd) & ES_NOHIDESEL));
    SaveDC(Dc);
    IntersectClipRect(Dc, Rc.left + 1, Rc.top, Rc.right - 1, Rc.bottom);
    for (size_t Li = E.TopLine; Li < Lines.size(); ++Li) {
        int Y = A.top + int(Li - E.TopLine) * H;
        if (Y >= Rc.bottom) break;
        const TLine& L = Lines[Li];
        std::u16string_view Whole = std::u16string_view(E.Text).substr(L.Start, L.End - L.Start);
        int X0 = LineX(Wnd, Dc, E, L);
        std::u16string Before, Comp, After;
        // The composition shows at the caret, inside the text.
        if (!E.Composing.empty() && E.Caret >= L.Start && E.Caret <= L.End) {
            Before = Shown(E, Whole.substr(0, E.Caret - L.Start));
            Comp = E.Composing;
            After = Shown(E, Whole.substr(E.Caret - L.Start));
        } else {
            Before = Shown(E, Whole);
        }
        std::u16string All = Before + Comp + After;
        ExtTextOutW(Dc, X0, Y, 0, nullptr, All.c_str(), UINT(All.size()), nullptr);
        if (!Comp.empty()) {
            int Cx = X0 + TextWidth(Dc, Before);
            RECT U{Cx, Y + H - 1, Cx + TextWidth(Dc, Comp), Y + H};
            HBRUSH UB = CreateSolidBrush(Ink);
            FillRect(Dc, &U, UB);
            DeleteObject(UB);
        }
        if (ShowSel && SelA <= L.End && SelB >= L.Start && Comp.empty()) {
            size_t From = std::max(SelA, L.Start), To = std::min(SelB, L.End);
            int Sx = X0 + TextWidth(Dc, Shown(E, Whole.substr(0, From - L.Start)));
            int Ex = X0 + TextWidth(Dc, Shown(E, Whole.substr(0, To - L.Start)));
            if (SelB > L.End && Li + 1 < Lines.size()) Ex += 4;  // the line break is selected too
            RECT S{Sx, Y, Ex, Y + H};
            FillRect(Dc, &S, GetSysColorBrush(COLOR_HIGHLIGHT));
            SetTextColor(Dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            std::u16string Part = Shown(E, Whole.substr(From - L.Start, To - From));
            ExtTextOutW(Dc, Sx, Y, 0, nullptr, Part.c_str(), UINT(Part.size()), nullptr);
            SetTextColor(Dc, Ink);
        }
    }
    if (E.Focused) {
        POINT P = PosOf(Wnd, Dc, E, E.Caret);
        if (!E.Composing.empty()) P.x += TextWidth(Dc, E.Composing);
        RECT C{P.x, P.y, P.x + 1, P.y + H};
        HBRUSH CB = CreateSolidBrush(Ink);
        FillRect(Dc, &C, CB);
        DeleteObject(CB);
    }
    RestoreDC(Dc, -1);
    SetBkMode(Dc, OldMode);
    SelectObject(Dc, OldFont);
}

void SetText(HWND Wnd, TEdit& E, const std::u16string& S) {
    E.Text = Multi(Wnd) ? S : Accepted(Wnd, S, false);
    if (E.Text.size() > E.Limit) E.Text.resize(SnapBoundary(E.Text, E.Limit));
    E.Caret = E.Anchor = 0;
    E.ScrollX = 0;
    E.TopLine = 0;
    E.CanUndo = false;
    E.Modified = false;
    InvalidateRect(Wnd, nullptr, TRUE);
}

}  // namespace

LRESULT EditProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_NCCREATE) {
        TEdit* E = AttachState<TEdit>(Wnd);
        auto* Cs = reinterpret_cast<const CREATESTRUCTW*>(L);
        if (Cs && (Cs->style & ES_PASSWORD)) E->Password = u'*';
        return DefWindowProcW(Wnd, Msg, W, L);
    }
    TEdit* E = ControlState<TEdit>(Wnd);
    if (Msg == WM_NCDESTROY) {
        DetachState<TEdit>(Wnd);
        return DefWindowProcW(Wnd, Msg, W, L);
    }
    if (!E) return DefWindowProcW(Wnd, Msg, W, L);
    if (auto R = PaintMessage(Wnd, Msg, W, [&](HDC Dc) { PaintEdit(Wnd, Dc, *E); })) return *R;
    switch (Msg) {
        case WM_CREATE: {
            auto* Cs = reinterpret_cast<const CREATESTRUCTW*>(L);
            E->WantsBar = Cs && (Cs->style & ES_MULTILINE) && (Cs->style & WS_VSCROLL);
            if (Cs && Cs->lpszName && !IS_INTRESOURCE(Cs->lpszName))
                SetText(Wnd, *E, FromWide(Cs->lpszName));
            SyncScrollBar(Wnd, *E);
            return 0;
        }
        case WM_GETDLGCODE: {
            LRESULT R = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
            if (Multi(Wnd)) R |= DLGC_WANTALLKEYS;
            if (HWND Combo = ComboOf(Wnd); Combo && SendMessageW(Combo, CB_GETDROPPEDSTATE, 0, 0))
                return R | DLGC_WANTALLKEYS;  // Enter and Esc close the list
            // Enter and Esc belong to the dialog unless a multi-line edit wants Enter.
            auto* M = reinterpret_cast<const MSG*>(L);
            if (M && M->message == WM_KEYDOWN &&
                (M->wParam == VK_ESCAPE || M->wParam == VK_TAB ||
                 (M->wParam == VK_RETURN && !(StyleOf(Wnd) & ES_WANTRETURN))))
                R &= ~DLGC_WANTALLKEYS;
            return R;
        }
        case WM_SETFONT:
            E->Font = reinterpret_cast<HFONT>(W);
            if (L) InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(E->Font);
        case WM_SETTEXT:
            SetText(Wnd, *E, FromWide(reinterpret_cast<LPCWSTR>(L)));
            Notify(Wnd, EN_UPDATE);
            if (IsWindow(Wnd)) Notify(Wnd, EN_CHANGE);
            return TRUE;
        case WM_GETTEXT: {
            auto* Buf = reinterpret_cast<LPWSTR>(L);
            if (!Buf || W == 0) return 0;
            size_t N = std::min(E->Text.size(), size_t(W) - 1);
            std::copy_n(E->Text.data(), N, Buf);
            Buf[N] = 0;
            return LRESULT(N);
        }
        case WM_GETTEXTLENGTH:
            return LRESULT(E->Text.size());
        case WM_ENABLE:
            InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        case WM_SIZE:
            // The view stays where it is; only the bar learns the new page.
            SyncScrollBar(Wnd, *E);
            return 0;
        case WM_SETFOCUS:
            E->Focused = true;
            E->Shift = E->Control = false;
            {
                TMeasure M(Wnd, *E);
                CreateCaret(Wnd, nullptr, 1, LineHeight(M.Dc()));
            }
            KeepCaretVisible(Wnd, *E);
            InvalidateRect(Wnd, nullptr, TRUE);
            Notify(Wnd, EN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            E->Focused = false;
            E->Tracking = false;
            E->Composing.clear();
            DestroyCaret();
            InvalidateRect(Wnd, nullptr, TRUE);
            Notify(Wnd, EN_KILLFOCUS);
            return 0;
        case WM_KEYDOWN:
            if (ComboKey(Wnd, Msg, UINT(W))) return 0;
            KeyDown(Wnd, *E, UINT(W));
            return 0;
        case WM_SYSKEYDOWN:
            if (ComboKey(Wnd, Msg, UINT(W))) return 0;
            return DefWindowProcW(Wnd, Msg, W, L);
        case WM_KEYUP:
            if (W == VK_SHIFT) E->Shift = false;
            if (W == VK_CONTROL) E->Control = false;
            return 0;
        case WM_CHAR:
            Char(Wnd, *E, char16_t(W));
            return 0;
        case WM_IME_CHAR:
            Char(Wnd, *E, char16_t(W));
            return 0;
        case WM_IME_STARTCOMPOSITION:
            E->Composing.clear();
            return 0;
        case WM_IME_COMPOSITION: {
            HIMC C = ImmGetContext(Wnd);
            auto Read = [&](DWORD Which) {
                long Bytes = ImmGetCompositionStringW(C, Which, nullptr, 0);
                std::u16string S;
                if (Bytes > 0) {
                    S.resize(size_t(Bytes) / sizeof(char16_t));
                    ImmGetCompositionStringW(C, Which, S.data(), DWORD(Bytes));
                }
                return S;
            };
            if (DWORD(L) & GCS_RESULTSTR) {
                std::u16string R = Read(GCS_RESULTSTR);
                E->Composing.clear();
                if (!ReadOnly(Wnd) && !R.empty()) Replace(Wnd, *E, R, true, true);
                // The parent may have destroyed the edit on EN_CHANGE.
                if (!(E = ControlState<TEdit>(Wnd))) return 0;
            }
            if (DWORD(L) & GCS_COMPSTR) {
                E->Composing = ReadOnly(Wnd) ? std::u16string() : Read(GCS_COMPSTR);
                KeepCaretVisible(Wnd, *E);
                InvalidateRect(Wnd, nullptr, TRUE);
            }
            ImmReleaseContext(Wnd, C);
            return 0;
        }
        case WM_IME_ENDCOMPOSITION:
            E->Composing.clear();
            InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        case WM_LBUTTONDOWN: {
            if (GetFocus() != Wnd) SetFocus(Wnd);
            if (!(E = ControlState<TEdit>(Wnd))) return 0;
            TMeasure M(Wnd, *E);
            size_t P = PosFromPoint(Wnd, M.Dc(), *E, {GET_X_LPARAM(L), GET_Y_LPARAM(L)});
            E->Caret = P;
            if (!(W & MK_SHIFT)) E->Anchor = P;
            E->Tracking = true;
            SetCapture(Wnd);
            InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        }
        case WM_LBUTTONDBLCLK: {
            TMeasure M(Wnd, *E);
            size_t P = PosFromPoint(Wnd, M.Dc(), *E, {GET_X_LPARAM(L), GET_Y_LPARAM(L)});
            E->Anchor = WordLeft(E->Text, NextBoundary(E->Text, P));
            size_t End = P;
            while (End < E->Text.size() && IsWordChar(E->Text[End]))
                End = NextBoundary(E->Text, End);
            E->Caret = End;
            InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        }
        case WM_MOUSEMOVE:
            if (E->Tracking) {
                TMeasure M(Wnd, *E);
                E->Caret = PosFromPoint(Wnd, M.Dc(), *E, {GET_X_LPARAM(L), GET_Y_LPARAM(L)});
                Moved(Wnd, *E);
            }
            return 0;
        case WM_LBUTTONUP:
            if (E->Tracking) {
                E->Tracking = false;
                if (GetCapture() == Wnd) ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED:
            E->Tracking = false;
            return 0;
        case WM_MOUSEWHEEL:
            if (Multi(Wnd)) {
                int Steps = -int16_t(HIWORD(W)) / 120 * 3;
                return SendMessageW(Wnd, EM_LINESCROLL, 0, Steps);
            }
            return 0;
        case WM_VSCROLL: {
            if (!Multi(Wnd)) return 0;
            WORD Code = LOWORD(W);
            long D = Code == SB_LINEUP     ? -1
                     : Code == SB_LINEDOWN ? 1
                     : Code == SB_PAGEUP   ? -10
                     : Code == SB_PAGEDOWN ? 10
                                           : 0;
            if (Code == SB_THUMBTRACK || Code == SB_THUMBPOSITION)
                D = long(HIWORD(W)) - long(E->TopLine);
            if (Code == SB_TOP) D = -long(E->TopLine);
            if (Code == SB_BOTTOM) D = 1L << 20;
            SendMessageW(Wnd, EM_LINESCROLL, 0, D);
            return 0;
        }
        case WM_CUT:
            if (ReadOnly(Wnd) || E->Password) return 0;
            Copy(Wnd, *E);
            Replace(Wnd, *E, u"", true);
            return 0;
        case WM_COPY:
            Copy(Wnd, *E);
            return 0;
        case WM_PASTE:
            if (!ReadOnly(Wnd))
                if (auto T = TakeClipboardText(Wnd)) Replace(Wnd, *E, *T, true);
            return 0;
        case WM_CLEAR:
            if (!ReadOnly(Wnd)) Replace(Wnd, *E, u"", true);
            return 0;
        case WM_UNDO:
        case EM_UNDO:
            Undo(Wnd, *E);
            return E->CanUndo;
        case EM_CANUNDO:
            return E->CanUndo;
        case EM_EMPTYUNDOBUFFER:
            E->CanUndo = false;
            E->UndoText.clear();
            return 0;
        case EM_GETSEL: {
            DWORD A = DWORD(std::min(E->Caret, E->Anchor)),
                  B = DWORD(std::max(E->Caret, E->Anchor));
            if (W) *reinterpret_cast<DWORD*>(W) = A;
            if (L) *reinterpret_cast<DWORD*>(L) = B;
            return LRESULT(
                MAKELPARAM(int(std::min<DWORD>(A, 0xFFFF)), int(std::min<DWORD>(B, 0xFFFF))) &
                0xFFFFFFFF);
        }
        case EM_SETSEL: {
            long A = long(intptr_t(W)), B = long(L);
            if (A < 0) {  // no selection: the caret stays
                E->Anchor = E->Caret;
            } else {
                size_t N = E->Text.size();
                size_t Sa = size_t(A) > N ? N : size_t(A);
                size_t Sb = B < 0 || size_t(B) > N ? N : size_t(B);
                E->Anchor = SnapBoundary(E->Text, Sa);
                E->Caret = SnapBoundary(E->Text, Sb);
            }
            Moved(Wnd, *E);
            return 0;
        }
        case EM_REPLACESEL:
            if (L) Replace(Wnd, *E, FromWide(reinterpret_cast<LPCWSTR>(L)), W != 0);
            return 0;
        case EM_GETLINECOUNT:
            return LRESULT(LinesOf(Wnd, *E).size());
        case EM_LINEINDEX: {
            auto Lines = LinesOf(Wnd, *E);
            size_t Li = intptr_t(W) < 0 ? LineOf(Lines, E->Caret) : size_t(W);
            return Li < Lines.size() ? LRESULT(Lines[Li].Start) : -1;
        }
        case EM_LINELENGTH: {
            auto Lines = LinesOf(Wnd, *E);
            if (intptr_t(W) < 0) return 0;
            size_t Li = LineOf(Lines, std::min(size_t(W), E->Text.size()));
            return LRESULT(Lines[Li].End - Lines[Li].Start);
        }
        case EM_LINEFROMCHAR: {
            auto Lines = LinesOf(Wnd, *E);
            size_t P = intptr_t(W) < 0 ? E->Caret : std::min(size_t(W), E->Text.size());
            return LRESULT(LineOf(Lines, P));
        }
        case EM_GETLINE: {
            auto Lines = LinesOf(Wnd, *E);
            auto* Buf = reinterpret_cast<char16_t*>(L);
            size_t Li = Multi(Wnd) ? size_t(W) : 0;
            if (!Buf || Li >= Lines.size()) return 0;
            size_t Max = *reinterpret_cast<WORD*>(Buf);
            size_t N = std::min(Max, Lines[Li].End - Lines[Li].Start);
            std::copy_n(E->Text.data() + Lines[Li].Start, N, Buf);
            return LRESULT(N);
        }
        case EM_LIMITTEXT:
            E->Limit = W == 0 ? kDefaultLimit : size_t(W);
            return 0;
        case EM_GETLIMITTEXT:
            return LRESULT(E->Limit);
        case EM_GETMODIFY:
            return E->Modified;
        case EM_SETMODIFY:
            E->Modified = W != 0;
            return 0;
        case EM_SETPASSWORDCHAR:
            E->Password = char16_t(W);
            InvalidateRect(Wnd, nullptr, TRUE);
            return 0;
        case EM_GETPASSWORDCHAR:
            return E->Password;
        case EM_SETREADONLY: {
            LONG_PTR S = GetWindowLongPtrW(Wnd, GWL_STYLE);
            SetWindowLongPtrW(Wnd, GWL_STYLE, W ? (S | ES_READONLY) : (S & ~LONG_PTR(ES_READONLY)));
            InvalidateRect(Wnd, nullptr, TRUE);
            return TRUE;
        }
        case EM_GETFIRSTVISIBLELINE:
            return Multi(Wnd) ? LRESULT(E->TopLine) : 0;
        case EM_LINESCROLL: {
            if (!Multi(Wnd)) return FALSE;
            // The last page ends with the last line, as the scroll bar has it.
            long Count = long(LinesOf(Wnd, *E).size());
            long Top = std::clamp(long(E->TopLine) + long(L), 0L,
                                  std::max(0L, Count - VisibleLines(Wnd, *E)));
            if (size_t(Top) != E->TopLine) {
                E->TopLine = size_t(Top);
                InvalidateRect(Wnd, nullptr, TRUE);
                SyncScrollBar(Wnd, *E);
                Notify(Wnd, EN_VSCROLL);
            }
            return TRUE;
        }
        case EM_SCROLLCARET:
            KeepCaretVisible(Wnd, *E);
            InvalidateRect(Wnd, nullptr, TRUE);
            return TRUE;
        case EM_POSFROMCHAR: {
            TMeasure M(Wnd, *E);
            POINT P = PosOf(Wnd, M.Dc(), *E, std::min(size_t(W), E->Text.size()));
            return MAKELPARAM(P.x, P.y);
        }
        case EM_CHARFROMPOS: {
            TMeasure M(Wnd, *E);
            size_t P = PosFromPoint(Wnd, M.Dc(), *E, {GET_X_LPARAM(L), GET_Y_LPARAM(L)});
            size_t Li = LineOf(LinesOf(Wnd, *E), P);
            return MAKELPARAM(int(std::min<size_t>(P, 0xFFFF)), int(std::min<size_t>(Li, 0xFFFF)));
        }
        case EM_GETRECT:
            if (L) *reinterpret_cast<RECT*>(L) = TextArea(Wnd);
            return 0;
        default:
            return DefWindowProcW(Wnd, Msg, W, L);
    }
}

}  // namespace velmo::ui
