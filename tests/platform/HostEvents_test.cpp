// Dropped files and typed text from the host.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velmo::uitest
