// The conversion tool's window on a real X server: the program as a user
// starts it, and the window in this process on the SDL host, driven with
// xdotool and photographed.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "core/Unicode.h"
#include "platform/ui/host/NullHost.h"
#include "platform/ui/host/SdlHost.h"
#include "tests/app/MainWindowLayout.h"
#include "tests/support/Xvfb.h"

extern char** environ;

namespace velmo::app {
namespace {

using namespace velmo::vcl;

constexpr int ScreenW = 1280, ScreenH = 1024;

// The window layer's frame around the client area of a sizeable window.
RECT FrameAround(int ClientW, int ClientH) {
    RECT R{0, 0, ClientW, ClientH};
    AdjustWindowRectEx(&R, WS_OVERLAPPEDWINDOW, FALSE, 0);
    return R;
}

// Runs the window's messages for up to Seconds, or until Done says so.
template <class F>
bool RunMessagesUntil(double Seconds, F Done) {
    const auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    while (!Done()) {
        if (std::chrono::steady_clock::now() >= Until) return false;
        Application()->ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
void RunMessagesFor(double Seconds) {
    RunMessagesUntil(Seconds, [] { return false; });
}

// The exit status of a child, waiting up to Seconds; -1 when it did not end.
int WaitExit(pid_t Pid, double Seconds) {
    const auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    for (;;) {
        int Status = 0;
        if (waitpid(Pid, &Status, WNOHANG) == Pid)
            return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
        if (std::chrono::steady_clock::now() >= Until) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool Within(const RECT& R, int X, int Y) {
    return X >= R.left && X < R.right && Y >= R.top && Y < R.bottom;
}

struct TNullHostAfter {
    ~TNullHostAfter() { SetWindowHost(std::make_shared<TNullHost>()); }
};

TEST(oracle, app_main_window_xvfb) {
    VPL_REQUIRE_XVFB_TOOLS();
    vpltest::Xvfb X;
    ASSERT_TRUE(X.Running()) << X.Error();
    const RECT Frame = FrameAround(layout::ClientWidth, layout::ClientHeight);
    const int OuterW = Frame.right - Frame.left, OuterH = Frame.bottom - Frame.top;

    // ---- the program, as started by a user ----
    {
        const char* Argv[] = {VPL_CONVERT_PROGRAM, nullptr};
        pid_t Pid = -1;
        ASSERT_EQ(posix_spawn(&Pid, VPL_CONVERT_PROGRAM, nullptr, nullptr, const_cast<char**>(Argv),
                              environ),
                  0);
        vpltest::CommandResult Found = X.Xdotool({"search", "--sync", "--name", "OrvekanPDF"}, 20);
        std::istringstream Ids(Found.out);
        std::string Id;
        Ids >> Id;
        if (Found.exitCode != 0 || Id.empty()) {
            kill(Pid, SIGKILL);
            WaitExit(Pid, 5);
            FAIL() << "the program's window did not appear within 20 s";
        }
        auto G = X.WindowGeometry(Id);
        ASSERT_TRUE(G);
        EXPECT_EQ(G->width, OuterW);
        EXPECT_EQ(G->height, OuterH);
        EXPECT_EQ(G->x, (ScreenW - OuterW) / 2);
        EXPECT_EQ(G->y, (ScreenH - OuterH) / 2);
        X.Grab(Id, vpltest::ArtifactDir() / "program.png");
        // Alt+F4 with the pointer over the window ends the program well.
        X.Xdotool({"mousemove", "--sync", std::to_string(G->x + OuterW / 2),
                   std::to_string(G->y + OuterH / 2)});
        EXPECT_EQ(X.Xdotool({"key", "alt+F4"}).exitCode, 0);
        const int Status = WaitExit(Pid, 10);
        if (Status < 0) kill(Pid, SIGKILL), WaitExit(Pid, 5);
        EXPECT_EQ(Status, 0);
    }

    // ---- the window in this process ----
    TNullHostAfter Restore;
    ASSERT_EQ(StartSdlHost(), "") << "SDL video did not start";
    TShellLauncher Launcher = SetShellLauncher(
        [](const std::vector<std::string>&, const std::string&) { return true; });
    struct TLauncherBack {
        TShellLauncher Old;
        ~TLauncherBack() { SetShellLauncher(Old); }
    } LauncherBack{Launcher};

    auto Form = std::make_unique<TForm_main>(nullptr);
    TForm_main& F = *Form;
    F.Show();
    RunMessagesFor(1.0);
    std::vector<std::string> Ids = X.FindWindows("OrvekanPDF", 20);
    ASSERT_EQ(Ids.size(), 1u);
    const std::string Id = Ids[0];
    RECT Wr;
    ASSERT_TRUE(GetWindowRect(F.Handle(), &Wr));
    EXPECT_EQ(Wr.right - Wr.left, OuterW);
    EXPECT_EQ(Wr.bottom - Wr.top, OuterH);

    // Each control's rectangle within its parent, as the window layer has it.
    for (const layout::TPlacedControl& P : layout::Controls()) {
        SCOPED_TRACE(WideToUTF8(P.Name));
        auto* C = dynamic_cast<TControl*>(F.FindComponent(P.Name));
        ASSERT_NE(C, nullptr);
        if (auto* Wc = dynamic_cast<TWinControl*>(C)) {
            RECT R;
            ASSERT_TRUE(GetWindowRect(Wc->Handle(), &R));
            MapWindowPoints(nullptr, GetParent(Wc->Handle()), reinterpret_cast<POINT*>(&R), 2);
            EXPECT_EQ(R.left, P.Left);
            EXPECT_EQ(R.top, P.Top);
            EXPECT_EQ(R.right - R.left, P.Width);
            EXPECT_EQ(R.bottom - R.top, P.Height);
        } else {
            EXPECT_EQ(C->Left(), P.Left);
            EXPECT_EQ(C->Top(), P.Top);
            if (P.Width >= 0) {
                EXPECT_EQ(C->Width(), P.Width);
                EXPECT_EQ(C->Height(), P.Height);
            }
        }
    }

    // A control's rectangle in the grab's coordinates.
    auto InGrab = [&](HWND Wnd) {
        RECT R;
        GetWindowRect(Wnd, &R);
        return RECT{R.left - Wr.left, R.top - Wr.top, R.right - Wr.left, R.bottom - Wr.top};
    };
    const uint32_t Face = [] {
        COLORREF C = GetSysColor(COLOR_BTNFACE);
        return uint32_t(GetRValue(C)) << 16 | uint32_t(GetGValue(C)) << 8 | GetBValue(C);
    }();
    const uint32_t Window = [] {
        COLORREF C = GetSysColor(COLOR_WINDOW);
        return uint32_t(GetRValue(C)) << 16 | uint32_t(GetGValue(C)) << 8 | GetBValue(C);
    }();
    // Just inside each corner of the buttons and edits the page shows: the
    // face colour of a button, the window colour of an edit.
    auto Probe = [&](const vpltest::RgbImage& Shot, int Page) {
        for (const layout::TPlacedControl& P : layout::Controls()) {
            if (P.Page != Page && P.Page != -1) continue;
            auto* C = dynamic_cast<TWinControl*>(F.FindComponent(P.Name));
            uint32_t Want;
            if (dynamic_cast<TButton*>(C))
                Want = Face;
            else if (dynamic_cast<TEdit*>(C))
                Want = Window;
            else
                continue;
            const RECT R = InGrab(C->Handle());
            const POINT Corners[] = {{R.left + 3, R.top + 3},
                                     {R.right - 4, R.top + 3},
                                     {R.left + 3, R.bottom - 4},
                                     {R.right - 4, R.bottom - 4}};
            for (POINT Pt : Corners)
                EXPECT_EQ(Shot.Pixel(Pt.x, Pt.y), Want)
                    << WideToUTF8(P.Name) << " at " << Pt.x << "," << Pt.y << " on page " << Page;
        }
    };

    auto Shot = X.Grab(Id, vpltest::ArtifactDir() / "page0.png");
    ASSERT_TRUE(Shot);
    ASSERT_EQ(Shot->width, OuterW);
    ASSERT_EQ(Shot->height, OuterH);
    EXPECT_EQ(F.pgc1->ActivePageIndex(), 0);
    Probe(*Shot, 0);

    // The strip's buttons, clicked on the server, switch the pages; the
    // picture changes only inside the page control and on the strip's
    // buttons, where the focus moves.
    const RECT Pages = InGrab(F.pgc1->Handle());
    const TButton* Strip[] = {F.btn1, F.btn2, F.btn3};
    for (int Page = 1; Page <= 3; ++Page) {
        SCOPED_TRACE("page " + std::to_string(Page));
        RECT B;
        GetWindowRect(const_cast<TButton*>(Strip[Page - 1])->Handle(), &B);
        ASSERT_EQ(X.Xdotool({"mousemove", "--sync", std::to_string((B.left + B.right) / 2),
                             std::to_string((B.top + B.bottom) / 2)})
                      .exitCode,
                  0);
        ASSERT_EQ(X.Xdotool({"click", "1"}).exitCode, 0);
        EXPECT_TRUE(RunMessagesUntil(5.0, [&] { return F.pgc1->ActivePageIndex() == Page; }));
        RunMessagesFor(0.5);
        auto Next = X.Grab(Id, vpltest::ArtifactDir() / ("page" + std::to_string(Page) + ".png"));
        ASSERT_TRUE(Next);
        int Outside = 0, Inside = 0;
        for (int Y = 0; Y < Next->height; ++Y)
            for (int Xp = 0; Xp < Next->width; ++Xp) {
                if (Next->Pixel(Xp, Y) == Shot->Pixel(Xp, Y)) continue;
                bool OnButton = false;
                for (const TButton* Sb : Strip) {
                    const RECT Br = InGrab(const_cast<TButton*>(Sb)->Handle());
                    OnButton = OnButton || Within(Br, Xp, Y);
                }
                if (Within(Pages, Xp, Y))
                    ++Inside;
                else if (!OnButton && Outside++ < 5)
                    ADD_FAILURE() << "changed outside the pages at " << Xp << "," << Y;
            }
        EXPECT_GT(Inside, 0);
        Probe(*Next, Page);
        Shot = std::move(Next);
    }

    // Files dropped from the desktop with the pointer over the PDF page's
    // panel reach its handler once, in the desktop's order.
    std::vector<std::vector<std::u16string>> Drops;
    F.dp1->OnDragFile = [&](TObject*, const std::vector<std::u16string>& Files) {
        Drops.push_back(Files);
    };
    RECT B;
    GetWindowRect(F.btn1->Handle(), &B);
    X.Xdotool({"mousemove", "--sync", std::to_string((B.left + B.right) / 2),
               std::to_string((B.top + B.bottom) / 2)});
    X.Xdotool({"click", "1"});
    ASSERT_TRUE(RunMessagesUntil(5.0, [&] { return F.pgc1->ActivePageIndex() == 1; }));
    const POINT Over = F.dp1->ClientToScreen(POINT{24, 24});
    ASSERT_EQ(X.Xdotool({"mousemove", "--sync", std::to_string(Over.x), std::to_string(Over.y)})
                  .exitCode,
              0);
    RunMessagesFor(0.3);
    const std::vector<std::string> Names = {"/tmp/a photo.jpg", "/tmp/" + std::string(300, 'b') + ".jpg",
                                            "/tmp/第三.jpg"};
    SDL_Event E{};
    E.type = SDL_DROPBEGIN;
    ASSERT_EQ(SDL_PushEvent(&E), 1);
    for (const std::string& N : Names) {
        E = SDL_Event{};
        E.type = SDL_DROPFILE;
        E.drop.file = SDL_strdup(N.c_str());
        ASSERT_EQ(SDL_PushEvent(&E), 1);
    }
    E = SDL_Event{};
    E.type = SDL_DROPCOMPLETE;
    ASSERT_EQ(SDL_PushEvent(&E), 1);
    EXPECT_TRUE(RunMessagesUntil(5.0, [&] { return !Drops.empty(); }));
    RunMessagesFor(0.3);
    ASSERT_EQ(Drops.size(), 1u);
    ASSERT_EQ(Drops[0].size(), Names.size());
    for (size_t I = 0; I < Names.size(); ++I) EXPECT_EQ(WideToUTF8(Drops[0][I]), Names[I]);

    Form.reset();
}

}  // namespace
}  // namespace velmo::app
