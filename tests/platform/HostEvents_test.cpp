// Dropped files, typed and composed text and the clipboard from the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/ui/TextInput.h"
#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

class HostEvents : public WindowTest {};

struct TDropSeen {
    HWND Wnd = nullptr;
    std::vector<std::u16string> Names;
    std::vector<UINT> Lengths;
    POINT Point;
    int Count = 0;
    std::u16string Chars;
};
TDropSeen& Seen() {
    static TDropSeen S;
    return S;
}

LRESULT DropProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_DROPFILES) {
        HDROP Drop = reinterpret_cast<HDROP>(W);
        ++Seen().Count;
        Seen().Wnd = Wnd;
        UINT N = DragQueryFileW(Drop, 0xFFFFFFFFu, nullptr, 0);
        for (UINT I = 0; I < N; ++I) {
            UINT Len = DragQueryFileW(Drop, I, nullptr, 0);
            Seen().Lengths.push_back(Len);
            std::u16string Name(Len + 1, u'\0');
            EXPECT_EQ(DragQueryFileW(Drop, I, Name.data(), Len + 1), Len);
            Name.resize(Len);
            Seen().Names.push_back(Name);
        }
        DragQueryPoint(Drop, &Seen().Point);
        DragFinish(Drop);
        EXPECT_EQ(DragQueryFileW(Drop, 0xFFFFFFFFu, nullptr, 0), 0u);  // finished drops are gone
        return 0;
    }
    if (Msg == WM_CHAR) Seen().Chars += char16_t(W);
    return TracingProc(Wnd, Msg, W, L);
}

TEST_F(HostEvents, DropsReachTheAcceptingWindowWholeAndTextComesPerUnit) {
    WNDCLASSEXW C;
    C.lpfnWndProc = DropProc;
    C.lpszClassName = u"Dropping";
    ASSERT_NE(RegisterClassExW(&C), 0);
    Seen() = TDropSeen();
    HWND Top = CreateWindowExW(WS_EX_ACCEPTFILES, u"Dropping", nullptr, WS_POPUP | WS_VISIBLE, 100, 100, 300, 200,
                               nullptr, nullptr, nullptr, nullptr);
    HWND Panel = CreateWindowExW(0, u"Dropping", nullptr, WS_CHILD | WS_VISIBLE, 50, 50, 100, 100, Top, nullptr,
                                 nullptr, nullptr);
    HWND Other = CreateWindowExW(0, u"Dropping", nullptr, WS_POPUP | WS_VISIBLE, 600, 100, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_TRUE(Top && Panel && Other);
    Pump();

    // Three names, one far longer than 254 units, over a child of the
    // accepting window: once, at the accepting window, whole and in order.
    std::u16string Long = u"/tmp/" + std::u16string(300, u'\u56FE') + u".pdf";
    std::vector<std::u16string> Files = {u"/tmp/b.pdf", Long, u"/tmp/a.pdf"};
    Host->Drop(170, 180, Files);
    Pump();
    EXPECT_EQ(Seen().Count, 1);
    EXPECT_EQ(Seen().Wnd, Top);
    EXPECT_EQ(Seen().Names, Files);
    EXPECT_EQ(Seen().Lengths, (std::vector<UINT>{10, 309, 10}));
    EXPECT_EQ(Seen().Point.x, 70);
    EXPECT_EQ(Seen().Point.y, 80);

    // The deepest accepting window wins; a window that accepts nothing
    // gets nothing.
    DragAcceptFiles(Panel, TRUE);
    Seen() = TDropSeen();
    Host->Drop(170, 180, {u"/x"});
    Host->Drop(650, 150, {u"/y"});
    Pump();
    EXPECT_EQ(Seen().Count, 1);
    EXPECT_EQ(Seen().Wnd, Panel);
    EXPECT_EQ(Seen().Point.x, 20);

    // Typed text comes as one WM_CHAR per UTF-16 unit, to the focus.
    Seen() = TDropSeen();
    Host->Text(u"\u56FE\u7247\U0001F600");
    SetFocus(Panel);
    Pump();
    EXPECT_EQ(Seen().Chars, u"\u56FE\u7247\U0001F600");
    EXPECT_EQ(TraceOf({"WM_CHAR"}).size(), 4u);

    DestroyWindow(Top);
    DestroyWindow(Other);
    UnregisterClassW(u"Dropping", nullptr);
}


// What an input-method client sees: the composition messages with the text
// readable at each, and the characters the default procedure makes of the
// result.
std::vector<std::string>& ImeTrace() {
    static std::vector<std::string> T;
    return T;
}

std::string Narrow(const std::u16string& S) {
    std::string R;
    for (char16_t C : S) R += C < 0x80 ? std::string(1, char(C)) : "U+" + std::to_string(unsigned(C));
    return R;
}

std::u16string ReadComposition(HWND Wnd, DWORD Index) {
    HIMC Imc = ImmGetContext(Wnd);
    LONG Bytes = ImmGetCompositionStringW(Imc, Index, nullptr, 0);
    std::u16string S(size_t(std::max<LONG>(Bytes, 0)) / 2, u'\0');
    if (Bytes > 0) EXPECT_EQ(ImmGetCompositionStringW(Imc, Index, S.data(), DWORD(Bytes)), Bytes);
    ImmReleaseContext(Wnd, Imc);
    return S;
}

LRESULT ImeProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    switch (Msg) {
    case WM_IME_STARTCOMPOSITION: ImeTrace().push_back("start"); break;
    case WM_IME_ENDCOMPOSITION: ImeTrace().push_back("end"); break;
    case WM_IME_COMPOSITION:
        if (L & GCS_RESULTSTR) ImeTrace().push_back("result " + Narrow(ReadComposition(Wnd, GCS_RESULTSTR)));
        else if (L & GCS_COMPSTR)
            ImeTrace().push_back("compose " + Narrow(ReadComposition(Wnd, GCS_COMPSTR)) + " at " +
                                 std::to_string(ImmGetCompositionStringW(ImmGetContext(Wnd), GCS_CURSORPOS, nullptr, 0)));
        else ImeTrace().push_back("cancel");
        break;
    case WM_IME_CHAR: ImeTrace().push_back("ime-char " + Narrow(std::u16string(1, char16_t(W)))); break;
    case WM_CHAR: ImeTrace().push_back("char " + Narrow(std::u16string(1, char16_t(W)))); break;
    default: break;
    }
    return DefWindowProcW(Wnd, Msg, W, L);
}

TEST_F(HostEvents, DropImeClipboardOnNullHost) {
    WNDCLASSEXW C;
    C.lpfnWndProc = DropProc;
    C.lpszClassName = u"Dropping";
    ASSERT_NE(RegisterClassExW(&C), 0);
    C.lpfnWndProc = ImeProc;
    C.lpszClassName = u"Composing";
    ASSERT_NE(RegisterClassExW(&C), 0);

    // Three names, one over 300 units, dropped over a child of the
    // accepting window: once, there, whole and in order.
    Seen() = TDropSeen();
    HWND Top = CreateWindowExW(WS_EX_ACCEPTFILES, u"Dropping", nullptr, WS_POPUP | WS_VISIBLE, 100, 100, 300, 200,
                               nullptr, nullptr, nullptr, nullptr);
    HWND Child = CreateWindowExW(0, u"Dropping", nullptr, WS_CHILD | WS_VISIBLE, 10, 10, 80, 80, Top, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(Top && Child);
    Pump();
    std::u16string Long = u"/home/u/" + std::u16string(320, u'x') + u".pdf";
    std::vector<std::u16string> Files = {u"/home/u/one.pdf", Long, u"/home/u/three.png"};
    Host->Drop(130, 130, Files);
    Pump();
    EXPECT_EQ(Seen().Count, 1);
    EXPECT_EQ(Seen().Wnd, Top);
    EXPECT_EQ(Seen().Names, Files);
    DestroyWindow(Top);

    // Composing and committing "图片": the composition messages, the text
    // readable in each, then two characters; the caret rectangle reaches
    // the host on screen.
    ImeTrace().clear();
    HWND Edit = CreateWindowExW(0, u"Composing", nullptr, WS_POPUP | WS_VISIBLE, 200, 300, 200, 40, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_TRUE(Edit);
    Pump();
    ASSERT_EQ(GetFocus(), Edit);
    ASSERT_TRUE(CreateCaret(Edit, nullptr, 2, 16));
    Host->ClearCalls();
    ASSERT_TRUE(SetCaretPos(30, 5));
    bool CaretSeen = false;
    for (const auto& Call : Host->Calls())
        if (Call.What == "caret") {
            CaretSeen = true;
            EXPECT_EQ(Call.Wnd, Edit);
            EXPECT_EQ(Call.Rect.left, 230);
            EXPECT_EQ(Call.Rect.top, 305);
            EXPECT_EQ(Call.Rect.right, 232);
            EXPECT_EQ(Call.Rect.bottom, 321);
        }
    EXPECT_TRUE(CaretSeen);
    Host->Compose(u"tu", 2);
    Host->Compose(u"\u56FEpian", 5);
    Host->Compose(u"\u56FE\u7247", 2);
    Host->Text(u"\u56FE\u7247");
    Host->Text(u"a");  // plain typing after the commit
    Pump();
    EXPECT_EQ(ImeTrace(), (std::vector<std::string>{
                              "start", "compose tu at 2", "compose U+22270pian at 5",
                              "compose U+22270U+29255 at 2", "result U+22270U+29255", "ime-char U+22270",
                              "char U+22270", "ime-char U+29255", "char U+29255", "end", "char a"}));

    // A cancelled composition ends without a result or characters.
    ImeTrace().clear();
    Host->Compose(u"x", 1);
    Host->Compose(u"", 0);
    Pump();
    EXPECT_EQ(ImeTrace(), (std::vector<std::string>{"start", "compose x at 1", "cancel", "end"}));
    DestroyCaret();

    // Clipboard text round-trips through the host, both ways; the ANSI form
    // is made from the text on demand.
    ASSERT_TRUE(OpenClipboard(Edit));
    EXPECT_FALSE(OpenClipboard(Edit));  // one session at a time
    ASSERT_TRUE(EmptyClipboard());
    std::u16string Text = u"\u56FE\u7247 caf\u00E9";
    HGLOBAL Mem = GlobalAlloc(GMEM_MOVEABLE, (Text.size() + 1) * 2);
    std::memcpy(GlobalLock(Mem), Text.c_str(), (Text.size() + 1) * 2);
    GlobalUnlock(Mem);
    EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, Mem), Mem);
    EXPECT_EQ(SetClipboardData(2, GlobalAlloc(GHND, 4)), nullptr);  // no bitmaps
    ASSERT_TRUE(CloseClipboard());
    EXPECT_EQ(Host->ClipboardText(), Text);

    Host->SetClipboardText(u"from elsewhere \u00E9");
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE Got = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(Got, nullptr);
    const auto* Wide = static_cast<const char16_t*>(GlobalLock(Got));
    HANDLE Ansi = GetClipboardData(CF_TEXT);
    ASSERT_NE(Ansi, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(Ansi))), "from elsewhere \xE9");
    GlobalUnlock(Ansi);
    // Both forms stay readable until the clipboard is closed.
    EXPECT_EQ(std::u16string(Wide), u"from elsewhere \u00E9");
    EXPECT_EQ(GetClipboardData(CF_UNICODETEXT), Got);
    GlobalUnlock(Got);
    ASSERT_TRUE(CloseClipboard());
    EXPECT_EQ(Host->ClipboardText(), u"from elsewhere \u00E9");  // reading changes nothing
    EXPECT_FALSE(CloseClipboard());

    // A block that is not null-terminated gives its text up to its end.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL Short = GlobalAlloc(GMEM_MOVEABLE, 4);
    std::memcpy(GlobalLock(Short), u"ok", 4);
    GlobalUnlock(Short);
    SetClipboardData(CF_UNICODETEXT, Short);
    CloseClipboard();
    EXPECT_EQ(Host->ClipboardText(), u"ok");

    DestroyWindow(Edit);
    UnregisterClassW(u"Dropping", nullptr);
    UnregisterClassW(u"Composing", nullptr);
}

}  // namespace
}  // namespace velmo::uitest
