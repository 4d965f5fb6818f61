#include "app/Utilities.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

#include "core/Unicode.h"
#include "platform/files/WideFile.h"

extern char** environ;

namespace velmo {

namespace {

char16_t LowerChar(char16_t C) { return C >= u'A' && C <= u'Z' ? char16_t(C + 32) : C; }

size_t FindFrom(std::u16string_view S, std::u16string_view Pattern, size_t From = 0) {
    if (Pattern.empty()) return std::u16string_view::npos;
    return S.find(Pattern, From);
}

std::u16string Ascii(std::string_view S) { return std::u16string(S.begin(), S.end()); }

}  // namespace

std::u16string LowerAscii(std::u16string_view S) {
    std::u16string R(S);
    for (auto& C : R) C = LowerChar(C);
    return R;
}

void TextBetween(std::u16string_view S, std::u16string_view StartMark, std::u16string_view EndMark,
                 std::u16string& Between, std::u16string& Rest) {
    const size_t p = FindFrom(S, StartMark);
    if (p == std::u16string_view::npos) {
        Between.clear();
        Rest = std::u16string(S);
        return;
    }
    const std::u16string_view T = S.substr(p + StartMark.size());
    const size_t q = FindFrom(T, EndMark);
    if (q == std::u16string_view::npos) {
        Between.clear();
        // The end mark's length counted from position 1 (0-based: length - 1).
        const size_t from = EndMark.empty() ? 0 : EndMark.size() - 1;
        Rest = from < T.size() ? std::u16string(T.substr(from)) : std::u16string();
        return;
    }
    Between = std::u16string(T.substr(0, q));
    Rest = std::u16string(T.substr(q + EndMark.size()));
}

std::u16string StrReplace(std::u16string_view S, std::u16string_view OldPattern,
                          std::u16string_view NewPattern, bool ReplaceAll, bool IgnoreCase) {
    if (OldPattern.empty()) return std::u16string(S);
    const std::u16string foldedS = IgnoreCase ? LowerAscii(S) : std::u16string();
    const std::u16string foldedP = IgnoreCase ? LowerAscii(OldPattern) : std::u16string();
    const std::u16string_view hay = IgnoreCase ? std::u16string_view(foldedS) : S;
    const std::u16string_view needle = IgnoreCase ? std::u16string_view(foldedP) : OldPattern;
    std::u16string R;
    size_t from = 0;
    while (from <= S.size()) {
        const size_t p = hay.find(needle, from);
        if (p == std::u16string_view::npos) break;
        R.append(S.substr(from, p - from));
        R.append(NewPattern);
        from = p + needle.size();
        if (!ReplaceAll) break;
    }
    if (from < S.size()) R.append(S.substr(from));
    return R;
}

int FieldCount(std::u16string_view S, char16_t Ch) {
    return 1 + int(std::count(S.begin(), S.end(), Ch));
}

Fqenfenjiestr SplitByChar(std::u16string_view S, char16_t Ch) {
    Fqenfenjiestr R;
    if (S.empty()) return R;
    size_t start = 0;
    for (;;) {
        const size_t p = S.find(Ch, start);
        if (p == std::u16string_view::npos) {
            R.emplace_back(S.substr(start));
            return R;
        }
        R.emplace_back(S.substr(start, p - start));
        start = p + 1;
    }
}

std::u16string AppendExtIfMissing(std::u16string_view FileName, std::u16string_view Ext) {
    if (!Ext.empty() && LowerAscii(FileName).find(LowerAscii(Ext)) != std::u16string::npos)
        return std::u16string(FileName);
    return std::u16string(FileName) + std::u16string(Ext);
}

int64_t RoundHalfUp(double X) {
    if (std::isnan(X)) return 0;
    // 2^63 is exact in a double; anything at or beyond it saturates.
    if (X >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    if (X <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    const double whole = std::trunc(X);
    int64_t R = int64_t(whole);
    if (X - whole >= 0.5) ++R;
    return R;
}

uint64_t FileSizeOf(const std::u16string& FileName) {
    if (FileName.empty()) return 0;
    TWin32FindDataW data;
    TFindHandle h = FindFirstFileW(FileName, data);
    if (h == INVALID_FIND_HANDLE) return 0;
    FindClose(h);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    return data.nFileSize < 0 ? 0 : uint64_t(data.nFileSize);
}

std::u16string FormatFileSize(uint64_t Size) {
    constexpr uint64_t KB = 1024, MB = KB * 1024, GB = MB * 1024;
    if (Size <= KB) return Ascii(std::to_string(Size)) + u" B";
    long double q;
    const char16_t* unit;
    if (Size <= MB) {
        q = static_cast<long double>(Size) / KB;
        unit = u" KB";
    } else if (Size <= GB) {
        q = static_cast<long double>(Size) / MB;
        unit = u" MB";
    } else {
        q = static_cast<long double>(Size) / GB;
        unit = u" GB";
    }
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, q, std::chars_format::fixed, 2);
    return Ascii(std::string_view(buf, size_t(res.ptr - buf))) + unit;
}

bool MakeFolder(const std::u16string& Path) {
    if (Path.empty()) throw EInOutError(3, "Unable to create directory");
    std::u16string P = Path;
    while (P.size() > 1 && P.back() == u'/') P.pop_back();
    if (P == u"/") return true;
    const uint32_t attr = GetFileAttributesW(P);
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) return true;
    const size_t slash = P.find_last_of(u'/');
    if (slash != std::u16string::npos) {
        std::u16string parent = P.substr(0, slash);
        if (parent.empty()) parent = u"/";
        // A parent made only of separators ("//a") is the root as well.
        if (parent.find_first_not_of(u'/') != std::u16string::npos && parent != P &&
            !MakeFolder(parent))
            return false;
    }
    if (CreateDirectoryW(P)) return true;
    // Someone else may have made it meanwhile.
    const uint32_t after = GetFileAttributesW(P);
    return after != INVALID_FILE_ATTRIBUTES && (after & FILE_ATTRIBUTE_DIRECTORY);
}

int ForEachFile(const std::u16string& Folder, const std::u16string& Filter,
                const TFoundFileProc& Proc) {
    if (Folder.empty()) return 0;
    std::u16string Base = Folder;
    if (Base.back() == u'/') Base.pop_back();
    const std::u16string filter = LowerAscii(Filter);
    const bool all = filter.find(u"*.*") != std::u16string::npos;

    // The names are taken first and sorted, so every machine hands them over
    // in the same order.
    std::vector<std::u16string> names;
    TWin32FindDataW data;
    TFindHandle h = FindFirstFileW(Base + u"/*", data);
    if (h == INVALID_FIND_HANDLE) return 0;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (data.cFileName == u"." || data.cFileName == u"..") continue;
        names.push_back(data.cFileName);
    } while (FindNextFileW(h, data));
    FindClose(h);
    std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
        const std::u16string la = LowerAscii(a), lb = LowerAscii(b);
        return la != lb ? la < lb : a < b;
    });

    int Count = 0;
    bool Stop = false;
    for (const auto& name : names) {
        if (Stop) break;
        const size_t dot = name.find_last_of(u'.');
        const std::u16string ext =
            dot == std::u16string::npos ? std::u16string() : LowerAscii(name.substr(dot));
        if (!all && (ext.empty() || filter.find(ext) == std::u16string::npos)) continue;
        try {
            if (Proc) Proc(Base + u"/" + name, false, Stop);
            ++Count;
        } catch (...) {
            // A file the callback cannot handle does not stop the walk.
        }
    }
    return Count;
}

namespace {

std::mutex GShellMutex;
TFolderPicker GFolderPicker;
TShellLauncher GShellLauncher;

bool SpawnDetached(const std::vector<std::string>& Argv, const std::string& WorkDir) {
    if (Argv.empty()) return false;
    std::vector<char*> args;
    for (const auto& a : Argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!WorkDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, WorkDir.c_str());
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, Argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    // The caller never waits; a detached reaper collects the exit status so
    // that no zombie stays behind.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace

TFolderPicker SetFolderPicker(TFolderPicker Picker) {
    std::lock_guard<std::mutex> lock(GShellMutex);
    std::swap(GFolderPicker, Picker);
    return Picker;
}

std::u16string PickFolder() {
    TFolderPicker picker;
    {
        std::lock_guard<std::mutex> lock(GShellMutex);
        picker = GFolderPicker;
    }
    std::optional<std::u16string> chosen;
    if (picker) chosen = picker();
    if (!chosen) throw EAbort();
    return *chosen;
}

TShellLauncher SetShellLauncher(TShellLauncher Launcher) {
    std::lock_guard<std::mutex> lock(GShellMutex);
    std::swap(GShellLauncher, Launcher);
    return Launcher;
}

bool OpenWithShell(const std::u16string& FileName, const std::u16string& Parameters, int ShowCmd) {
    if (FileName.empty()) return false;
    TShellLauncher launcher;
    {
        std::lock_guard<std::mutex> lock(GShellMutex);
        launcher = GShellLauncher;
    }
    if (!launcher) launcher = SpawnDetached;
    std::string workDir;
    const size_t slash = FileName.find_last_of(u'/');
    // A web address has no working folder of its own.
    if (slash != std::u16string::npos && FileName.find(u"://") == std::u16string::npos)
        workDir =
            WideToFileSystemName(slash == 0 ? std::u16string(u"/") : FileName.substr(0, slash));
    try {
        return launcher({"xdg-open", WideToFileSystemName(FileName)}, workDir);
    } catch (...) {
        return false;
    }
}

}  // namespace velmo
