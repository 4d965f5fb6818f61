// The file choosers: the desktop portal over sd-bus, zenity or kdialog as
// a child process, or a dialog of our own.
#include "platform/ui/FileChoosers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/files/WideFile.h"
#include "platform/text/Utf8.h"
#include "platform/ui/WindowInternal.h"

extern char** environ;

namespace velmo {

namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kChooserInterface = "org.freedesktop.portal.FileChooser";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
// Calls that the portal answers at once (the chooser itself answers
// through a signal later) wait at most this long.
constexpr uint64_t kCallTimeoutUs = 10'000'000;
// The most a chooser may hand back.
constexpr size_t kMaxFiles = 100'000;
constexpr size_t kMaxOutput = 16u << 20;

std::string Utf8(std::u16string_view S) { return Utf16ToUtf8(S); }

// Serves the thread's windows while a chooser outside the layer is open.
// False once a WM_QUIT came; it is posted again for the outer loops.
bool ServeWindows() {
    MSG M;
    for (int I = 0; I < 1000 && PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE); ++I) {
        if (M.message == WM_QUIT) {
            PostQuitMessage(int(M.wParam));
            return false;
        }
        if (CallMsgFilterW(&M, MSGF_DIALOGBOX)) continue;
        TranslateMessage(&M);
        DispatchMessageW(&M);
    }
    return true;
}

// The owner's top-level window stays disabled while its chooser is open.
class TOwnerDisabled {
public:
    explicit TOwnerDisabled(HWND Owner) : FOwner(Owner ? GetAncestor(Owner, GA_ROOT) : nullptr) {
        if (FOwner && IsWindow(FOwner) && IsWindowEnabled(FOwner)) {
            EnableWindow(FOwner, FALSE);
            FDisabled = true;
        }
    }
    ~TOwnerDisabled() {
        if (FDisabled && IsWindow(FOwner)) EnableWindow(FOwner, TRUE);
    }

private:
    HWND FOwner;
    bool FDisabled = false;
};

std::u16string StartFolder(const TFileChooserRequest& Q) {
    std::u16string F = Q.InitialFolder.empty() ? GetFullPathNameW(u".") : GetFullPathNameW(Q.InitialFolder);
    while (F.size() > 1 && F.back() == u'/') F.pop_back();
    return F;
}

std::u16string JoinPath(const std::u16string& Folder, const std::u16string& Name) {
    if (Folder.empty() || Folder.back() == u'/') return Folder + Name;
    return Folder + u"/" + Name;
}

// ---------------------------------------------------------------------------
// The desktop portal.

struct TBusDeleter {
    void operator()(sd_bus* B) const { sd_bus_flush_close_unref(B); }
};
using TBusPtr = std::unique_ptr<sd_bus, TBusDeleter>;

struct TMessagePtr {
    sd_bus_message* M = nullptr;
    ~TMessagePtr() { sd_bus_message_unref(M); }
};

struct TErrorHolder {
    sd_bus_error E = SD_BUS_ERROR_NULL;
    ~TErrorHolder() { sd_bus_error_free(&E); }
};

bool PortalOffered(sd_bus* Bus) {
    {
        TErrorHolder Err;
        TMessagePtr Reply;
        int Has = 0;
        if (sd_bus_call_method(Bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", &Err.E, &Reply.M, "s", kPortalName) >= 0 &&
            sd_bus_message_read(Reply.M, "b", &Has) >= 0 && Has)
            return true;
    }
    // A portal the bus starts on first use.
    TErrorHolder Err;
    TMessagePtr Reply;
    if (sd_bus_call_method(Bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "ListActivatableNames", &Err.E, &Reply.M, "") < 0)
        return false;
    char** Names = nullptr;
    if (sd_bus_message_read_strv(Reply.M, &Names) < 0 || !Names) return false;
    bool Found = false;
    for (char** N = Names; *N; ++N) {
        if (std::strcmp(*N, kPortalName) == 0) Found = true;
        free(*N);
    }
    free(Names);
    return Found;
}

int AppendFilter(sd_bus_message* M, const TFileFilter& F) {
    int R;
    if ((R = sd_bus_message_open_container(M, 'r', "sa(us)")) < 0) return R;
    if ((R = sd_bus_message_append(M, "s", Utf8(F.Name).c_str())) < 0) return R;
    if ((R = sd_bus_message_open_container(M, 'a', "(us)")) < 0) return R;
    for (const auto& P : F.Patterns)
        if ((R = sd_bus_message_append(M, "(us)", uint32_t(0), Utf8(P).c_str())) < 0) return R;
    if ((R = sd_bus_message_close_container(M)) < 0) return R;
    return sd_bus_message_close_container(M);
}

int AppendRequest(sd_bus_message* M, const TFileChooserRequest& Q, const std::string& Token,
                  const std::u16string& Folder) {
    int R;
    if ((R = sd_bus_message_append(M, "ss", "", Utf8(Q.Title).c_str())) < 0) return R;
    if ((R = sd_bus_message_open_container(M, 'a', "{sv}")) < 0) return R;
    if ((R = sd_bus_message_append(M, "{sv}", "handle_token", "s", Token.c_str())) < 0) return R;
    if ((R = sd_bus_message_append(M, "{sv}", "modal", "b", 1)) < 0) return R;
    if (Q.Kind != TFileChooserKind::Save) {
        bool Folders = Q.Kind == TFileChooserKind::Folder;
        if ((R = sd_bus_message_append(M, "{sv}", "directory", "b", int(Folders))) < 0) return R;
        if ((R = sd_bus_message_append(M, "{sv}", "multiple", "b", int(Q.Multiple && !Folders))) < 0) return R;
    }
    if (!Q.Filters.empty() && Q.Kind != TFileChooserKind::Folder) {
        if ((R = sd_bus_message_open_container(M, 'e', "sv")) < 0) return R;
        if ((R = sd_bus_message_append(M, "s", "filters")) < 0) return R;
        if ((R = sd_bus_message_open_container(M, 'v', "a(sa(us))")) < 0) return R;
        if ((R = sd_bus_message_open_container(M, 'a', "(sa(us))")) < 0) return R;
        for (const auto& F : Q.Filters)
            if ((R = AppendFilter(M, F)) < 0) return R;
        for (int I = 0; I < 3; ++I)
            if ((R = sd_bus_message_close_container(M)) < 0) return R;
        if (Q.FilterIndex >= 0 && size_t(Q.FilterIndex) < Q.Filters.size()) {
            if ((R = sd_bus_message_open_container(M, 'e', "sv")) < 0) return R;
            if ((R = sd_bus_message_append(M, "s", "current_filter")) < 0) return R;
            if ((R = sd_bus_message_open_container(M, 'v', "(sa(us))")) < 0) return R;
            if ((R = AppendFilter(M, Q.Filters[size_t(Q.FilterIndex)])) < 0) return R;
            for (int I = 0; I < 2; ++I)
                if ((R = sd_bus_message_close_container(M)) < 0) return R;
        }
    }
    if (!Folder.empty()) {
        // A byte string ending in a zero: names need not be UTF-8.
        std::string Bytes = WideToFileSystemName(Folder);
        if ((R = sd_bus_message_open_container(M, 'e', "sv")) < 0) return R;
        if ((R = sd_bus_message_append(M, "s", "current_folder")) < 0) return R;
        if ((R = sd_bus_message_open_container(M, 'v', "ay")) < 0) return R;
        if ((R = sd_bus_message_append_array(M, 'y', Bytes.c_str(), Bytes.size() + 1)) < 0) return R;
        for (int I = 0; I < 2; ++I)
            if ((R = sd_bus_message_close_container(M)) < 0) return R;
    }
    if (Q.Kind == TFileChooserKind::Save && !Q.FileName.empty())
        if ((R = sd_bus_message_append(M, "{sv}", "current_name", "s", Utf8(Q.FileName).c_str())) < 0) return R;
    return sd_bus_message_close_container(M);
}

struct TPortalWait {
    bool Done = false;
    uint32_t Code = 2;
    std::vector<std::string> Uris;
    std::string Filter;
};

int OnResponse(sd_bus_message* M, void* Data, sd_bus_error*) {
    auto* W = static_cast<TPortalWait*>(Data);
    W->Done = true;
    uint32_t Code = 2;
    if (sd_bus_message_read(M, "u", &Code) < 0) return 0;
    W->Code = Code;
    if (sd_bus_message_enter_container(M, 'a', "{sv}") <= 0) return 0;
    while (sd_bus_message_enter_container(M, 'e', "sv") > 0) {
        const char* Key = nullptr;
        if (sd_bus_message_read(M, "s", &Key) < 0 || !Key) break;
        std::string Name = Key;
        if (Name == "uris" && sd_bus_message_enter_container(M, 'v', "as") > 0) {
            char** List = nullptr;
            if (sd_bus_message_read_strv(M, &List) >= 0 && List) {
                for (char** U = List; *U; ++U) {
                    if (W->Uris.size() < kMaxFiles) W->Uris.emplace_back(*U);
                    free(*U);
                }
                free(List);
            }
            sd_bus_message_exit_container(M);
        } else if (Name == "current_filter" && sd_bus_message_enter_container(M, 'v', "(sa(us))") > 0) {
            const char* F = nullptr;
            if (sd_bus_message_enter_container(M, 'r', "sa(us)") > 0) {
                if (sd_bus_message_read(M, "s", &F) >= 0 && F) W->Filter = F;
                sd_bus_message_skip(M, "a(us)");
                sd_bus_message_exit_container(M);
            }
            sd_bus_message_exit_container(M);
        } else {
            sd_bus_message_skip(M, "v");
        }
        sd_bus_message_exit_container(M);
    }
    return 0;
}

// Empty when the session bus or its portal is not there, or the portal
// refused the request: the next road is taken then.
std::optional<TFileChooserResult> ViaPortal(const TFileChooserRequest& Q) {
    sd_bus* Raw = nullptr;
    if (sd_bus_open_user(&Raw) < 0 || !Raw) return std::nullopt;
    TBusPtr Bus(Raw);
    sd_bus_set_method_call_timeout(Bus.get(), kCallTimeoutUs);
    if (!PortalOffered(Bus.get())) return std::nullopt;
    const char* Unique = nullptr;
    if (sd_bus_get_unique_name(Bus.get(), &Unique) < 0 || !Unique) return std::nullopt;
    // The request object's path is known before the call, so the answer
    // cannot come before we listen for it.
    std::string Sender = Unique[0] == ':' ? Unique + 1 : Unique;
    std::replace(Sender.begin(), Sender.end(), '.', '_');
    static std::atomic<unsigned> Counter{0};
    std::string Token = "velmo" + std::to_string(getpid()) + "_" + std::to_string(++Counter);
    std::string Path = std::string(kPortalPath) + "/request/" + Sender + "/" + Token;
    TPortalWait Wait;
    sd_bus_slot* Slot = nullptr;
    if (sd_bus_match_signal(Bus.get(), &Slot, nullptr, Path.c_str(), kRequestInterface, "Response", OnResponse,
                            &Wait) < 0)
        return std::nullopt;
    std::unique_ptr<sd_bus_slot, sd_bus_slot* (*)(sd_bus_slot*)> SlotHold(Slot, sd_bus_slot_unref);

    TMessagePtr Call;
    const char* Method = Q.Kind == TFileChooserKind::Save ? "SaveFile" : "OpenFile";
    if (sd_bus_message_new_method_call(Bus.get(), &Call.M, kPortalName, kPortalPath, kChooserInterface, Method) < 0)
        return std::nullopt;
    if (AppendRequest(Call.M, Q, Token, StartFolder(Q)) < 0) return std::nullopt;
    TErrorHolder Err;
    TMessagePtr Reply;
    if (sd_bus_call(Bus.get(), Call.M, 0, &Err.E, &Reply.M) < 0) return std::nullopt;
    const char* Handle = nullptr;
    if (sd_bus_message_read(Reply.M, "o", &Handle) < 0 || !Handle) return std::nullopt;
    std::string HandlePath = Handle;
    sd_bus_slot* Other = nullptr;
    std::unique_ptr<sd_bus_slot, sd_bus_slot* (*)(sd_bus_slot*)> OtherHold(nullptr, sd_bus_slot_unref);
    if (HandlePath != Path) {
        // An older portal chose the path itself.
        if (sd_bus_match_signal(Bus.get(), &Other, nullptr, HandlePath.c_str(), kRequestInterface, "Response",
                                OnResponse, &Wait) >= 0)
            OtherHold.reset(Other);
    }

    TFileChooserResult Out;
    Out.Road = TFileChooserRoad::Portal;
    TOwnerDisabled Modal(Q.Owner);
    while (!Wait.Done) {
        int R = sd_bus_process(Bus.get(), nullptr);
        if (R < 0) break;
        if (R > 0) continue;
        if (!ServeWindows() || Wait.Done || sd_bus_wait(Bus.get(), 20'000) < 0) break;
    }
    if (!Wait.Done) {
        // Ended from our side (WM_QUIT) or the bus went away: the portal
        // closes its chooser, and it counts as a cancel.
        sd_bus_call_method(Bus.get(), kPortalName, HandlePath.c_str(), kRequestInterface, "Close", nullptr, nullptr,
                           "");
        return Out;
    }
    if (Wait.Code != 0) return Out;
    for (const std::string& U : Wait.Uris) {
        std::u16string P = FileUriToPath(U);
        if (!P.empty()) Out.Files.push_back(P);
    }
    for (size_t I = 0; I < Q.Filters.size(); ++I)
        if (!Wait.Filter.empty() && Utf8(Q.Filters[I].Name) == Wait.Filter) Out.FilterIndex = int(I);
    Out.Accepted = !Out.Files.empty();
    return Out;
}

// ---------------------------------------------------------------------------
// zenity and kdialog.

std::string FindOnPath(const char* Name) {
    const char* Path = getenv("PATH");
    if (!Path) return {};
    std::string_view Rest = Path;
    while (true) {
        size_t Colon = Rest.find(':');
        std::string Dir(Rest.substr(0, Colon));
        if (!Dir.empty()) {
            std::string Full = Dir + "/" + Name;
            struct stat St;
            if (stat(Full.c_str(), &St) == 0 && S_ISREG(St.st_mode) && access(Full.c_str(), X_OK) == 0) return Full;
        }
        if (Colon == std::string_view::npos) return {};
        Rest.remove_prefix(Colon + 1);
    }
}

// Runs the program with its standard output read into Out while the
// windows are served. The exit status, or -1 when it could not run or a
// WM_QUIT ended the wait (the child is ended then).
int RunChild(const std::string& Program, const std::vector<std::string>& Args, std::string& Out) {
    int Pipe[2];
    if (pipe2(Pipe, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&Actions, Pipe[1], 1);
    std::vector<char*> Argv;
    Argv.push_back(const_cast<char*>(Program.c_str()));
    for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    pid_t Pid = -1;
    int Spawned = posix_spawn(&Pid, Program.c_str(), &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    close(Pipe[1]);
    if (Spawned != 0) {
        close(Pipe[0]);
        return -1;
    }
    bool Open = true, Quit = false;
    int Status = 0;
    bool Reaped = false;
    while (Open || !Reaped) {
        if (Open) {
            pollfd P{Pipe[0], POLLIN, 0};
            if (poll(&P, 1, 20) > 0) {
                char Buf[4096];
                ssize_t N = read(Pipe[0], Buf, sizeof Buf);
                if (N > 0) {
                    if (Out.size() < kMaxOutput) Out.append(Buf, size_t(N));
                } else if (N == 0 || (errno != EINTR && errno != EAGAIN)) {
                    Open = false;
                }
            }
        } else {
            usleep(5000);
        }
        if (!Reaped) {
            pid_t R = waitpid(Pid, &Status, WNOHANG);
            if (R == Pid || (R < 0 && errno != EINTR)) Reaped = true;
        }
        if (!ServeWindows()) {
            Quit = true;
            break;
        }
    }
    close(Pipe[0]);
    if (Quit) {
        if (!Reaped) {
            kill(Pid, SIGTERM);
            waitpid(Pid, &Status, 0);
        }
        return -1;
    }
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

std::vector<std::u16string> OutputLines(const std::string& Out) {
    std::vector<std::u16string> Lines;
    size_t Start = 0;
    while (Start < Out.size() && Lines.size() < kMaxFiles) {
        size_t End = Out.find('\n', Start);
        if (End == std::string::npos) End = Out.size();
        if (End > Start) Lines.push_back(FileSystemNameToWide(Out.substr(Start, End - Start)));
        Start = End + 1;
    }
    return Lines;
}

std::string JoinPatterns(const TFileFilter& F) {
    std::string S;
    for (const auto& P : F.Patterns) S += (S.empty() ? "" : " ") + Utf8(P);
    return S;
}

// The filters with the one to show first in front.
std::vector<const TFileFilter*> FiltersInOrder(const TFileChooserRequest& Q) {
    std::vector<const TFileFilter*> L;
    if (Q.FilterIndex >= 0 && size_t(Q.FilterIndex) < Q.Filters.size()) L.push_back(&Q.Filters[size_t(Q.FilterIndex)]);
    for (size_t I = 0; I < Q.Filters.size(); ++I)
        if (int(I) != Q.FilterIndex) L.push_back(&Q.Filters[I]);
    return L;
}

std::optional<TFileChooserResult> ViaZenity(const TFileChooserRequest& Q) {
    std::string Program = FindOnPath("zenity");
    if (Program.empty()) return std::nullopt;
    std::vector<std::string> Args{"--file-selection"};
    if (!Q.Title.empty()) Args.push_back("--title=" + Utf8(Q.Title));
    if (Q.Kind == TFileChooserKind::Save) Args.push_back("--save");
    if (Q.Kind == TFileChooserKind::Folder) Args.push_back("--directory");
    if (Q.Multiple && Q.Kind == TFileChooserKind::Open) {
        Args.push_back("--multiple");
        Args.push_back("--separator=\n");
    }
    std::u16string Start = StartFolder(Q) + u"/";
    if (Q.Kind == TFileChooserKind::Save) Start += Q.FileName;
    Args.push_back("--filename=" + WideToFileSystemName(Start));
    if (Q.Kind != TFileChooserKind::Folder)
        for (const TFileFilter* F : FiltersInOrder(Q)) Args.push_back("--file-filter=" + Utf8(F->Name) + " | " + JoinPatterns(*F));
    std::string Out;
    TFileChooserResult R;
    R.Road = TFileChooserRoad::Zenity;
    TOwnerDisabled Modal(Q.Owner);
    int Status = RunChild(Program, Args, Out);
    if (Status != 0) return R;
    R.Files = OutputLines(Out);
    R.Accepted = !R.Files.empty();
    return R;
}

std::optional<TFileChooserResult> ViaKdialog(const TFileChooserRequest& Q) {
    std::string Program = FindOnPath("kdialog");
    if (Program.empty()) return std::nullopt;
    std::vector<std::string> Args;
    std::u16string Start = StartFolder(Q);
    std::string Filter;
    for (const TFileFilter* F : FiltersInOrder(Q)) Filter += (Filter.empty() ? "" : "\n") + JoinPatterns(*F) + "|" + Utf8(F->Name);
    switch (Q.Kind) {
    case TFileChooserKind::Open:
        Args = {"--getopenfilename", WideToFileSystemName(Start)};
        if (!Filter.empty()) Args.push_back(Filter);
        if (Q.Multiple) Args.insert(Args.end(), {"--multiple", "--separate-output"});
        break;
    case TFileChooserKind::Save:
        Args = {"--getsavefilename", WideToFileSystemName(JoinPath(Start, Q.FileName))};
        if (!Filter.empty()) Args.push_back(Filter);
        break;
    case TFileChooserKind::Folder: Args = {"--getexistingdirectory", WideToFileSystemName(Start)}; break;
    }
    if (!Q.Title.empty()) Args.insert(Args.end(), {"--title", Utf8(Q.Title)});
    std::string Out;
    TFileChooserResult R;
    R.Road = TFileChooserRoad::Kdialog;
    TOwnerDisabled Modal(Q.Owner);
    if (RunChild(Program, Args, Out) != 0) return R;
    R.Files = OutputLines(Out);
    R.Accepted = !R.Files.empty();
    return R;
}

}  // namespace

static TFileDialogProc& FileDialogProc() {
    static TFileDialogProc P;
    return P;
}

TFileDialogProc SetFileDialogProc(TFileDialogProc Proc) {
    TFileDialogProc Old = std::move(FileDialogProc());
    FileDialogProc() = std::move(Proc);
    return Old ? Old : TFileDialogProc(&ShowDesktopFileChooser);
}

TFileChooserResult ShowFileChooser(const TFileChooserRequest& Request) {
    // A copy: the handler may replace itself while it runs.
    TFileDialogProc Proc = FileDialogProc();
    return Proc ? Proc(Request) : ShowDesktopFileChooser(Request);
}

TFileChooserResult ShowDesktopFileChooser(const TFileChooserRequest& Request) {
    if (auto R = ViaPortal(Request)) return *R;
    if (auto R = ViaZenity(Request)) return *R;
    if (auto R = ViaKdialog(Request)) return *R;
    return ShowOwnFileChooser(Request);
}

std::vector<TFileFilter> ParseFileFilter(std::u16string_view Filter) {
    std::vector<TFileFilter> Out;
    std::vector<std::u16string_view> Parts;
    size_t Start = 0;
    while (Start <= Filter.size()) {
        size_t Bar = Filter.find(u'|', Start);
        if (Bar == std::u16string_view::npos) Bar = Filter.size();
        Parts.push_back(Filter.substr(Start, Bar - Start));
        Start = Bar + 1;
    }
    for (size_t I = 0; I + 1 < Parts.size(); I += 2) {
        TFileFilter F;
        F.Name = Parts[I];
        std::u16string_view P = Parts[I + 1];
        size_t S = 0;
        while (S <= P.size()) {
            size_t Semi = P.find(u';', S);
            if (Semi == std::u16string_view::npos) Semi = P.size();
            std::u16string_view One = P.substr(S, Semi - S);
            while (!One.empty() && One.front() == u' ') One.remove_prefix(1);
            while (!One.empty() && One.back() == u' ') One.remove_suffix(1);
            if (!One.empty()) F.Patterns.emplace_back(One);
            S = Semi + 1;
        }
        if (!F.Patterns.empty()) Out.push_back(std::move(F));
    }
    return Out;
}

std::u16string FileUriToPath(std::string_view Uri) {
    constexpr std::string_view Scheme = "file://";
    if (Uri.size() < Scheme.size()) return {};
    for (size_t I = 0; I < Scheme.size(); ++I)
        if (char(std::tolower(static_cast<unsigned char>(Uri[I]))) != Scheme[I]) return {};
    Uri.remove_prefix(Scheme.size());
    // An authority (host) may stand before the path; a local file has none
    // or "localhost".
    size_t Slash = Uri.find('/');
    if (Slash == std::string_view::npos) return {};
    std::string_view Host = Uri.substr(0, Slash);
    if (!Host.empty() && Host != "localhost") return {};
    Uri.remove_prefix(Slash);
    std::string Bytes;
    auto Hex = [](char C) -> int {
        if (C >= '0' && C <= '9') return C - '0';
        if (C >= 'a' && C <= 'f') return C - 'a' + 10;
        if (C >= 'A' && C <= 'F') return C - 'A' + 10;
        return -1;
    };
    for (size_t I = 0; I < Uri.size(); ++I) {
        char C = Uri[I];
        if (C == '?' || C == '#') break;
        if (C != '%') {
            Bytes += C;
            continue;
        }
        if (I + 2 >= Uri.size()) return {};
        int Hi = Hex(Uri[I + 1]), Lo = Hex(Uri[I + 2]);
        if (Hi < 0 || Lo < 0) return {};
        char B = char(Hi * 16 + Lo);
        if (B == 0) return {};  // no name holds a zero byte
        Bytes += B;
        I += 2;
    }
    return FileSystemNameToWide(Bytes);
}

}  // namespace velmo
