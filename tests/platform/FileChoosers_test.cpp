// The three roads of the file choosers: a fake desktop portal on a private
// session bus, a fake zenity on PATH, and our own dialog driven by keys.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/files/WideFile.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FileChoosers.h"
#include "tests/platform/WindowFixture.h"
#include "tests/support/TestSupport.h"

namespace velmo::uitest {
namespace {

namespace fs = std::filesystem;

class Dialogs : public WindowTest {};

using TEnv = vpltest::ScopedEnv;

// A session bus of the test's own: dbus-daemon started here and ended at
// the end of the scope.
class TPrivateBus {
public:
    TPrivateBus() {
        int Pipe[2];
        if (pipe(Pipe) != 0) return;
        Pid = fork();
        if (Pid == 0) {
            dup2(Pipe[1], 1);
            int Null = open("/dev/null", O_WRONLY);
            if (Null >= 0) dup2(Null, 2);
            close(Pipe[0]);
            execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(Pipe[1]);
        std::string Line;
        auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < Until) {
            pollfd P{Pipe[0], POLLIN, 0};
            if (poll(&P, 1, 100) <= 0) continue;
            char Buf[256];
            ssize_t N = read(Pipe[0], Buf, sizeof Buf);
            if (N <= 0) break;
            Line.append(Buf, size_t(N));
        }
        close(Pipe[0]);
        if (Line.find('\n') != std::string::npos) Address = Line.substr(0, Line.find('\n'));
    }
    ~TPrivateBus() {
        if (Pid > 0) {
            kill(Pid, SIGTERM);
            waitpid(Pid, nullptr, 0);
        }
    }
    std::string Address;
    pid_t Pid = -1;
};

// What the fake portal was asked.
struct TPortalRequest {
    std::string Method, Title, Token, Sender, CurrentFilter, Folder, CurrentName;
    int Multiple = -1, Directory = -1, Modal = -1;
    std::vector<std::pair<std::string, std::vector<std::string>>> Filters;
};

// A file-chooser portal on its own connection and thread: it records each
// request and answers on the request object with the given code and URIs.
class TFakePortal {
public:
    TFakePortal(const std::string& Address, uint32_t Code, std::vector<std::string> Uris, std::string Filter)
        : FCode(Code), FUris(std::move(Uris)), FFilter(std::move(Filter)) {
        FThread = std::thread([this, Address] { Run(Address); });
        auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!FReady && !FFailed && std::chrono::steady_clock::now() < Until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~TFakePortal() {
        FStop = true;
        FThread.join();
    }
    bool Ready() const { return FReady; }
    std::vector<TPortalRequest> Requests() {
        std::lock_guard<std::mutex> G(FLock);
        return FRequests;
    }

private:
    void Run(const std::string& Address) {
        sd_bus* B = nullptr;
        if (sd_bus_new(&B) < 0 || sd_bus_set_address(B, Address.c_str()) < 0 || sd_bus_set_bus_client(B, 1) < 0 ||
            sd_bus_start(B) < 0 || sd_bus_request_name(B, "org.freedesktop.portal.Desktop", 0) < 0 ||
            sd_bus_add_object(B, nullptr, "/org/freedesktop/portal/desktop", &TFakePortal::OnCall, this) < 0) {
            FFailed = true;
            sd_bus_flush_close_unref(B);
            return;
        }
        FReady = true;
        while (!FStop) {
            int R = sd_bus_process(B, nullptr);
            if (R < 0) break;
            if (R == 0) sd_bus_wait(B, 20'000);
        }
        sd_bus_flush_close_unref(B);
    }

    static int OnCall(sd_bus_message* M, void* Self, sd_bus_error*) {
        if (!sd_bus_message_is_method_call(M, "org.freedesktop.portal.FileChooser", nullptr)) return 0;
        return static_cast<TFakePortal*>(Self)->Answer(M);
    }

    int Answer(sd_bus_message* M) {
        TPortalRequest Q;
        Q.Method = sd_bus_message_get_member(M);
        Q.Sender = sd_bus_message_get_sender(M);
        const char* Parent = nullptr;
        const char* Title = nullptr;
        sd_bus_message_read(M, "ss", &Parent, &Title);
        Q.Title = Title ? Title : "";
        sd_bus_message_enter_container(M, 'a', "{sv}");
        while (sd_bus_message_enter_container(M, 'e', "sv") > 0) {
            const char* K = nullptr;
            sd_bus_message_read(M, "s", &K);
            std::string Key = K ? K : "";
            auto Text = [&](std::string& Out) {
                const char* S = nullptr;
                sd_bus_message_enter_container(M, 'v', "s");
                sd_bus_message_read(M, "s", &S);
                Out = S ? S : "";
                sd_bus_message_exit_container(M);
            };
            auto Flag = [&](int& Out) {
                sd_bus_message_enter_container(M, 'v', "b");
                sd_bus_message_read(M, "b", &Out);
                sd_bus_message_exit_container(M);
            };
            if (Key == "handle_token") {
                Text(Q.Token);
            } else if (Key == "current_name") {
                Text(Q.CurrentName);
            } else if (Key == "multiple") {
                Flag(Q.Multiple);
            } else if (Key == "directory") {
                Flag(Q.Directory);
            } else if (Key == "modal") {
                Flag(Q.Modal);
            } else if (Key == "filters") {
                sd_bus_message_enter_container(M, 'v', "a(sa(us))");
                sd_bus_message_enter_container(M, 'a', "(sa(us))");
                while (sd_bus_message_enter_container(M, 'r', "sa(us)") > 0) {
                    const char* Name = nullptr;
                    sd_bus_message_read(M, "s", &Name);
                    std::vector<std::string> Globs;
                    sd_bus_message_enter_container(M, 'a', "(us)");
                    uint32_t Kind = 0;
                    const char* Glob = nullptr;
                    while (sd_bus_message_read(M, "(us)", &Kind, &Glob) > 0) Globs.push_back(Glob);
                    sd_bus_message_exit_container(M);
                    sd_bus_message_exit_container(M);
                    Q.Filters.push_back({Name, Globs});
                }
                sd_bus_message_exit_container(M);
                sd_bus_message_exit_container(M);
            } else if (Key == "current_filter") {
                const char* Name = nullptr;
                sd_bus_message_enter_container(M, 'v', "(sa(us))");
                sd_bus_message_enter_container(M, 'r', "sa(us)");
                sd_bus_message_read(M, "s", &Name);
                Q.CurrentFilter = Name ? Name : "";
                sd_bus_message_skip(M, "a(us)");
                sd_bus_message_exit_container(M);
                sd_bus_message_exit_container(M);
            } else if (Key == "current_folder") {
                const void* Bytes = nullptr;
                size_t Size = 0;
                sd_bus_message_enter_container(M, 'v', "ay");
                sd_bus_message_read_array(M, 'y', &Bytes, &Size);
                if (Size > 0) Q.Folder.assign(static_cast<const char*>(Bytes), Size - 1);  // less its zero
                sd_bus_message_exit_container(M);
            } else {
                sd_bus_message_skip(M, "v");
            }
            sd_bus_message_exit_container(M);
        }
        std::string Sender = Q.Sender.substr(1);
        for (char& C : Sender)
            if (C == '.') C = '_';
        std::string Path = "/org/freedesktop/portal/desktop/request/" + Sender + "/" + Q.Token;
        {
            std::lock_guard<std::mutex> G(FLock);
            FRequests.push_back(Q);
        }
        sd_bus_reply_method_return(M, "o", Path.c_str());
        // The chooser stays open a little, as a person takes time to choose.
        sd_bus_flush(sd_bus_message_get_bus(M));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sd_bus* B = sd_bus_message_get_bus(M);
        sd_bus_message* S = nullptr;
        sd_bus_message_new_signal(B, &S, Path.c_str(), "org.freedesktop.portal.Request", "Response");
        sd_bus_message_append(S, "u", FCode);
        sd_bus_message_open_container(S, 'a', "{sv}");
        sd_bus_message_open_container(S, 'e', "sv");
        sd_bus_message_append(S, "s", "uris");
        sd_bus_message_open_container(S, 'v', "as");
        std::vector<char*> List;
        for (auto& U : FUris) List.push_back(U.data());
        List.push_back(nullptr);
        sd_bus_message_append_strv(S, List.data());
        sd_bus_message_close_container(S);
        sd_bus_message_close_container(S);
        if (!FFilter.empty()) {
            sd_bus_message_open_container(S, 'e', "sv");
            sd_bus_message_append(S, "s", "current_filter");
            sd_bus_message_open_container(S, 'v', "(sa(us))");
            sd_bus_message_append(S, "(sa(us))", FFilter.c_str(), 1, 0, "*.pdf");
            sd_bus_message_close_container(S);
            sd_bus_message_close_container(S);
        }
        sd_bus_message_close_container(S);
        sd_bus_send(B, S, nullptr);
        sd_bus_message_unref(S);
        return 1;
    }

    uint32_t FCode;
    std::vector<std::string> FUris;
    std::string FFilter;
    std::thread FThread;
    std::atomic<bool> FReady{false}, FFailed{false}, FStop{false};
    std::mutex FLock;
    std::vector<TPortalRequest> FRequests;
};

struct TServed {
    int Messages = 0;
    bool OwnerDisabledMeanwhile = false;
    HWND Owner = nullptr;
};
TServed& Served() {
    static TServed S;
    return S;
}

LRESULT OwnerProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_USER) {
        ++Served().Messages;
        Served().OwnerDisabledMeanwhile = !IsWindowEnabled(Served().Owner);
        return 0;
    }
    return DefWindowProcW(Wnd, Msg, W, L);
}

TFileChooserRequest OpenRequest(const std::u16string& Folder, HWND Owner) {
    TFileChooserRequest Q;
    Q.Kind = TFileChooserKind::Open;
    Q.Owner = Owner;
    Q.Title = u"Pick 图片";
    Q.InitialFolder = Folder;
    Q.Filters = ParseFileFilter(u"PDF files (*.pdf)|*.pdf|Images|*.png;*.jpg");
    Q.FilterIndex = 1;
    Q.Multiple = true;
    return Q;
}

TEST_F(Dialogs, FileChooserRoads) {
    vpltest::TempDir Tmp;
    std::u16string Folder = FileSystemNameToWide(Tmp.path().string());
    WNDCLASSEXW C;
    C.lpfnWndProc = OwnerProc;
    C.lpszClassName = u"ChooserOwner";
    RegisterClassExW(&C);
    HWND Owner = CreateWindowExW(0, u"ChooserOwner", u"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(Owner, nullptr);
    Served() = TServed();
    Served().Owner = Owner;
    // The private bus starts before PATH is narrowed to the fake tools.
    std::optional<TPrivateBus> Bus;
    if (vpltest::HaveTool("dbus-daemon")) Bus.emplace();
    fs::create_directories(Tmp.path() / "empty-runtime");
    fs::create_directories(Tmp.path() / "bin");
    // No user bus through the runtime folder; only what each road sets.
    TEnv Runtime("XDG_RUNTIME_DIR", (Tmp.path() / "empty-runtime").string());
    TEnv NoTools("PATH", (Tmp.path() / "bin").string());

    // --- The portal on a private session bus. ---
    if (!Bus) {
        ADD_FAILURE() << "dbus-daemon (package dbus) is not installed";
    } else {
        ASSERT_FALSE(Bus->Address.empty()) << "dbus-daemon gave no address";
        TEnv Session("DBUS_SESSION_BUS_ADDRESS", Bus->Address);
        {
            TFakePortal Portal(Bus->Address, 0,
                               {"file:///srv/a/%E5%9B%BE%E7%89%87%20one.pdf", "file://localhost/srv/r%C3%A9sum%C3%A9.png"},
                               "Images");
            ASSERT_TRUE(Portal.Ready());
            PostMessageW(Owner, WM_USER, 0, 0);
            TFileChooserResult R = ShowFileChooser(OpenRequest(Folder, Owner));
            EXPECT_EQ(R.Road, TFileChooserRoad::Portal);
            EXPECT_TRUE(R.Accepted);
            EXPECT_EQ(R.Files, (std::vector<std::u16string>{u"/srv/a/图片 one.pdf", u"/srv/résumé.png"}));
            EXPECT_EQ(R.FilterIndex, 1);
            auto Requests = Portal.Requests();
            ASSERT_EQ(Requests.size(), 1u);
            const TPortalRequest& Q = Requests[0];
            EXPECT_EQ(Q.Method, "OpenFile");
            EXPECT_EQ(Q.Title, "Pick 图片");
            EXPECT_FALSE(Q.Token.empty());
            EXPECT_EQ(Q.Multiple, 1);
            EXPECT_EQ(Q.Directory, 0);
            EXPECT_EQ(Q.Modal, 1);
            using Filters = std::vector<std::pair<std::string, std::vector<std::string>>>;
            EXPECT_EQ(Q.Filters, (Filters{{"PDF files (*.pdf)", {"*.pdf"}}, {"Images", {"*.png", "*.jpg"}}}));
            EXPECT_EQ(Q.CurrentFilter, "Images");
            EXPECT_EQ(Q.Folder, Tmp.path().string());
            EXPECT_GE(Served().Messages, 1);  // the owner's queue was served while waiting
            EXPECT_TRUE(Served().OwnerDisabledMeanwhile);
            EXPECT_TRUE(IsWindowEnabled(Owner));
        }
        {
            // Folder mode asks for folders, one only; a cancel is a cancel.
            TFakePortal Portal(Bus->Address, 1, {"file:///srv/ignored"}, "");
            ASSERT_TRUE(Portal.Ready());
            TFileChooserRequest Q = OpenRequest(Folder, Owner);
            Q.Kind = TFileChooserKind::Folder;
            TFileChooserResult R = ShowFileChooser(Q);
            EXPECT_EQ(R.Road, TFileChooserRoad::Portal);
            EXPECT_FALSE(R.Accepted);
            EXPECT_TRUE(R.Files.empty());
            auto Requests = Portal.Requests();
            ASSERT_EQ(Requests.size(), 1u);
            EXPECT_EQ(Requests[0].Directory, 1);
            EXPECT_EQ(Requests[0].Multiple, 0);
            EXPECT_TRUE(Requests[0].Filters.empty());
        }
        {
            // A save proposes the name.
            TFakePortal Portal(Bus->Address, 0, {"file:///srv/out%2Fdir/x.pdf"}, "");
            ASSERT_TRUE(Portal.Ready());
            TFileChooserRequest Q = OpenRequest(Folder, Owner);
            Q.Kind = TFileChooserKind::Save;
            Q.FileName = u"报告.pdf";
            TFileChooserResult R = ShowFileChooser(Q);
            EXPECT_EQ(R.Files, (std::vector<std::u16string>{u"/srv/out/dir/x.pdf"}));
            auto Requests = Portal.Requests();
            ASSERT_EQ(Requests.size(), 1u);
            EXPECT_EQ(Requests[0].Method, "SaveFile");
            EXPECT_EQ(Requests[0].CurrentName, "报告.pdf");
            EXPECT_EQ(Requests[0].Multiple, -1);
        }
    }

    // --- No bus, a zenity on PATH. ---
    TEnv NoSession("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    fs::path ArgsFile = Tmp.path() / "zenity-args";
    fs::path Zenity = Tmp.path() / "bin" / "zenity";
    auto FakeZenity = [&](int Exit) {
        vpltest::WriteFile(Zenity, "#!/bin/sh\n"
                                   "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" + ArgsFile.string() + "'\n"
                                   "printf '%s\\n' '/srv/图片.pdf' '/srv/two.png'\n"
                                   "exit " + std::to_string(Exit) + "\n");
        chmod(Zenity.c_str(), 0755);
    };
    FakeZenity(0);
    Served().Messages = 0;
    PostMessageW(Owner, WM_USER, 0, 0);
    TFileChooserResult R = ShowFileChooser(OpenRequest(Folder, Owner));
    EXPECT_EQ(R.Road, TFileChooserRoad::Zenity);
    EXPECT_TRUE(R.Accepted);
    EXPECT_EQ(R.Files, (std::vector<std::u16string>{u"/srv/图片.pdf", u"/srv/two.png"}));
    EXPECT_EQ(Served().Messages, 1);
    EXPECT_TRUE(Served().OwnerDisabledMeanwhile);
    std::vector<std::string> Args;
    std::string Raw = vpltest::ReadFile(ArgsFile);
    for (size_t S = 0, E; (E = Raw.find('\0', S)) != std::string::npos; S = E + 1) Args.push_back(Raw.substr(S, E - S));
    EXPECT_EQ(Args, (std::vector<std::string>{"--file-selection", "--title=Pick 图片", "--multiple", "--separator=\n",
                                              "--filename=" + Tmp.path().string() + "/",
                                              "--file-filter=Images | *.png *.jpg",
                                              "--file-filter=PDF files (*.pdf) | *.pdf"}));
    FakeZenity(1);
    R = ShowFileChooser(OpenRequest(Folder, Owner));
    EXPECT_EQ(R.Road, TFileChooserRoad::Zenity);
    EXPECT_FALSE(R.Accepted);
    EXPECT_TRUE(R.Files.empty());
    fs::remove(Zenity);

    // --- Neither: our own dialog; typed text and Enter give the name. ---
    WNDCLASSEXW Probe;
    if (!GetClassInfoExW(nullptr, u"edit", &Probe) || !GetClassInfoExW(nullptr, u"listbox", &Probe) ||
        !GetClassInfoExW(nullptr, u"button", &Probe)) {
        GTEST_SKIP() << "the edit, list box and button controls are not built yet";
    }
    fs::create_directories(Tmp.path() / "sub");
    for (const char* Name : {"a.pdf", "b.png", "c.jpg", "d.txt"}) vpltest::WriteFile(Tmp.path() / Name, "x");
    // What the dialog shows, seen from the modal loop's handler: a dialog
    // box of the skinnable kind, listing the folders and the files of the
    // chosen filter ("Images").
    struct TSeen {
        std::u16string Class;
        DWORD Style = 0;
        std::vector<std::u16string> Listed;
        bool OwnerEnabled = true;
    };
    static TSeen Seen;
    Seen = TSeen();
    SetModalHandler([Owner](HWND Dlg) {
        if (!Seen.Class.empty()) return;
        Seen.Class = GetClassNameString(Dlg);
        Seen.Style = DWORD(GetWindowLongPtrW(Dlg, GWL_STYLE));
        Seen.OwnerEnabled = IsWindowEnabled(Owner);
        for (HWND K = GetWindow(Dlg, GW_CHILD); K; K = GetWindow(K, GW_HWNDNEXT)) {
            if (GetClassNameString(K) != u"ListBox") continue;
            int N = int(SendMessageW(K, LB_GETCOUNT, 0, 0));
            for (int I = 0; I < N; ++I) {
                char16_t Buf[260] = {};
                if (SendMessageW(K, LB_GETTEXTLEN, I, 0) < 259) SendMessageW(K, LB_GETTEXT, I, LPARAM(Buf));
                Seen.Listed.push_back(Buf);
            }
        }
    });
    TFileChooserRequest Save = OpenRequest(Folder, Owner);
    Save.Kind = TFileChooserKind::Save;
    Save.Multiple = false;
    Host->Text(u"report.pdf");
    Host->KeyDown(VK_RETURN);
    R = ShowFileChooser(Save);
    SetModalHandler(nullptr);
    EXPECT_EQ(R.Road, TFileChooserRoad::Own);
    EXPECT_TRUE(R.Accepted);
    EXPECT_EQ(R.Files, (std::vector<std::u16string>{Folder + u"/report.pdf"}));
    EXPECT_EQ(R.FilterIndex, 1);
    EXPECT_TRUE(IsWindowEnabled(Owner));
    EXPECT_EQ(Seen.Class, u"#32770");
    EXPECT_EQ(Seen.Style & (DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU),
              DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    EXPECT_FALSE(Seen.OwnerEnabled);
    EXPECT_EQ(Seen.Listed, (std::vector<std::u16string>{u"../", u"bin/", u"empty-runtime/", u"sub/", u"b.png",
                                                         u"c.jpg"}));
    // A typed folder name opens the folder; the next name is taken there.
    Host->Text(u"sub");
    Host->KeyDown(VK_RETURN);
    Host->Text(u"图片.pdf");
    Host->KeyDown(VK_RETURN);
    R = ShowFileChooser(Save);
    EXPECT_TRUE(R.Accepted);
    EXPECT_EQ(R.Files, (std::vector<std::u16string>{Folder + u"/sub/图片.pdf"}));
    Host->KeyDown(VK_ESCAPE);
    R = ShowFileChooser(Save);
    EXPECT_EQ(R.Road, TFileChooserRoad::Own);
    EXPECT_FALSE(R.Accepted);
}

TEST(FileChooserText, UrisAndFilters) {
    const std::pair<const char*, std::u16string> Uris[] = {
        {"file:///tmp/a%20b.pdf", u"/tmp/a b.pdf"},
        {"FILE:///tmp/%e5%9b%be.pdf", u"/tmp/图.pdf"},
        {"file://localhost/x?query#frag", u"/x"},
        {"file://otherhost/x", u""},   // not a local file
        {"https://example.org/x", u""},
        {"file:///tmp/%E5%9", u""},    // cut escape
        {"file:///tmp/%zz", u""},
        {"file:///tmp/a%00b", u""},    // no name holds a zero byte
        {"file:", u""},
    };
    for (const auto& [Uri, Path] : Uris) EXPECT_EQ(FileUriToPath(Uri), Path) << Uri;

    auto F = ParseFileFilter(u"Text (*.txt)|*.txt; *.log|No patterns||All|*.*|Dangling");
    ASSERT_EQ(F.size(), 2u);
    EXPECT_EQ(F[0].Name, u"Text (*.txt)");
    EXPECT_EQ(F[0].Patterns, (std::vector<std::u16string>{u"*.txt", u"*.log"}));
    EXPECT_EQ(F[1].Name, u"All");
    EXPECT_TRUE(ParseFileFilter(u"").empty());
}

}  // namespace
}  // namespace velmo::uitest
