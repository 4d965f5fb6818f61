#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace vpltest {

fs::path SourceDir() { return fs::path(VPL_SOURCE_DIR); }

fs::path CorpusDir() {
    fs::path dir;
    if (const char* env = std::getenv("CORPUS_DIR"); env && *env)
        dir = env;
    else
        dir = SourceDir() / ".." / "shared" / "corpus";
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return {};
    return fs::weakly_canonical(dir, ec);
}

std::vector<fs::path> CorpusPdfs() {
    std::vector<fs::path> files;
    fs::path dir = CorpusDir();
    if (dir.empty())
        return files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (ext == ".pdf")
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string PdfFromObjects(const std::vector<std::string>& bodies, const std::string& version) {
    std::string pdf = "%PDF-" + version + "\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < bodies.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

bool HaveTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::stringstream ss(path);
    std::string dir;
    while (std::getline(ss, dir, ':')) {
        if (dir.empty())
            continue;
        fs::path candidate = fs::path(dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

namespace {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Reads the given pipes until both close or the deadline passes.
// Returns false on time-out.
bool DrainPipes(int fdOut, int fdErr, std::string& out, std::string& err, double deadline,
                int fdIn = -1, const std::string* input = nullptr) {
    size_t written = 0;
    char buf[65536];
    while (fdOut >= 0 || fdErr >= 0 || fdIn >= 0) {
        double left = deadline - Now();
        if (left <= 0)
            return false;
        pollfd fds[3];
        int n = 0;
        if (fdOut >= 0) fds[n++] = {fdOut, POLLIN, 0};
        if (fdErr >= 0) fds[n++] = {fdErr, POLLIN, 0};
        if (fdIn >= 0) fds[n++] = {fdIn, POLLOUT, 0};
        int r = ::poll(fds, n, int(std::min(left, 1.0) * 1000) + 1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents)
                continue;
            int fd = fds[i].fd;
            if (fd == fdIn) {
                ssize_t w = ::write(fd, input->data() + written, input->size() - written);
                if (w > 0)
                    written += size_t(w);
                if (w < 0 || written >= input->size()) {
                    ::close(fdIn);
                    fdIn = -1;
                }
                continue;
            }
            ssize_t got = ::read(fd, buf, sizeof buf);
            if (got > 0) {
                (fd == fdOut ? out : err).append(buf, size_t(got));
            } else if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
                ::close(fd);
                if (fd == fdOut) fdOut = -1;
                else fdErr = -1;
            }
        }
    }
    return true;
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, double timeoutSeconds,
                         const std::string& input) {
    CommandResult result;
    if (argv.empty())
        return result;
    int outPipe[2], errPipe[2], inPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0 ||
        ::pipe2(inPipe, O_CLOEXEC) != 0)
        return result;
    // posix_spawn shares the memory of this process until the exec instead
    // of copying its page tables: a sanitized test process is large, and the
    // corpus tests start thousands of tools.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    // The tools start with the default SIGPIPE action whatever this process
    // set (it ignores the signal so that a tool that stops reading does not
    // end the test).
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ::close(inPipe[0]);
    if (spawned != 0) {
        // As a shell reports a command it cannot run.
        for (int fd : {outPipe[0], errPipe[0], inPipe[1]})
            ::close(fd);
        result.exitCode = 127;
        return result;
    }
    ::signal(SIGPIPE, SIG_IGN);
    if (input.empty()) {
        ::close(inPipe[1]);
        inPipe[1] = -1;
    }
    double deadline = Now() + timeoutSeconds;
    bool finished = DrainPipes(outPipe[0], errPipe[0], result.out, result.err, deadline,
                               inPipe[1], &input);
    if (!finished) {
        ::kill(pid, SIGKILL);
        result.timedOut = true;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!finished) {
        // Pipes may still be open after the kill.
        for (int fd : {outPipe[0], errPipe[0], inPipe[1]})
            if (fd >= 0) ::close(fd);
    }
    if (!result.timedOut && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

ChildResult RunIsolated(const std::function<int(std::string& report)>& fn,
                        double timeoutSeconds) {
    ChildResult result;
    int reportPipe[2];
    if (::pipe2(reportPipe, O_CLOEXEC) != 0)
        return result;
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(reportPipe[0]);
        std::string report;
        int code = 1;
        try {
            code = fn(report);
            if (code == 1)
                code = 2;  // 1 is the sanitizers' exit status
        } catch (const std::exception& e) {
            report += std::string("exception escaped: ") + e.what();
            code = 3;
        } catch (...) {
            report += "unknown exception escaped";
            code = 3;
        }
        size_t done = 0;
        while (done < report.size()) {
            ssize_t w = ::write(reportPipe[1], report.data() + done, report.size() - done);
            if (w <= 0)
                break;
            done += size_t(w);
        }
        ::_exit(code & 0xff);
    }
    ::close(reportPipe[1]);
    std::string err;
    bool finished = DrainPipes(reportPipe[0], -1, result.report, err, Now() + timeoutSeconds);
    if (!finished) {
        ::kill(pid, SIGKILL);
        ::close(reportPipe[0]);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!finished) {
        result.outcome = ChildOutcome::TimedOut;
    } else if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
        // The sanitizers exit with status 1 after their report: that is a crash.
        result.outcome = result.exitCode == 0   ? ChildOutcome::Ok
                         : result.exitCode == 1 ? ChildOutcome::Crashed
                                                : ChildOutcome::Failed;
    } else {
        result.outcome = ChildOutcome::Crashed;
    }
    return result;
}

namespace {

// Frames a batch child writes on its report pipe: 'S' and the item number
// when it starts an item, 'E', the item number, its exit code and the
// report when it finished it.
void WriteAll(int Fd, const char* Data, size_t Size) {
    size_t done = 0;
    while (done < Size) {
        ssize_t w = ::write(Fd, Data + done, Size - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return;
        done += size_t(w);
    }
}

void WriteFrame(int Fd, char Tag, uint64_t Item, int32_t Code = 0,
                const std::string& Report = std::string()) {
    std::string frame(1, Tag);
    frame.append(reinterpret_cast<const char*>(&Item), sizeof Item);
    if (Tag == 'E') {
        const uint64_t size = Report.size();
        frame.append(reinterpret_cast<const char*>(&Code), sizeof Code);
        frame.append(reinterpret_cast<const char*>(&size), sizeof size);
        frame += Report;
    }
    WriteAll(Fd, frame.data(), frame.size());
}

// Takes the complete frames off the front of Buffer.
template <typename OnStart, typename OnEnd>
void ParseFrames(std::string& Buffer, OnStart Start, OnEnd End) {
    size_t at = 0;
    constexpr size_t head = 1 + sizeof(uint64_t);
    constexpr size_t endHead = head + sizeof(int32_t) + sizeof(uint64_t);
    while (Buffer.size() - at >= head) {
        uint64_t item = 0;
        std::memcpy(&item, Buffer.data() + at + 1, sizeof item);
        if (Buffer[at] == 'S') {
            Start(size_t(item));
            at += head;
            continue;
        }
        if (Buffer.size() - at < endHead)
            break;
        int32_t code = 0;
        uint64_t size = 0;
        std::memcpy(&code, Buffer.data() + at + head, sizeof code);
        std::memcpy(&size, Buffer.data() + at + head + sizeof code, sizeof size);
        if (Buffer.size() - at - endHead < size)
            break;
        End(size_t(item), int(code), Buffer.substr(at + endHead, size_t(size)));
        at += endHead + size_t(size);
    }
    Buffer.erase(0, at);
}

}  // namespace

std::vector<ChildResult> RunIsolatedBatch(size_t count,
                                          const std::function<int(size_t, std::string&)>& fn,
                                          double timeoutSeconds, size_t itemsPerChild) {
    std::vector<ChildResult> results(count);
    if (itemsPerChild == 0)
        itemsPerChild = count;
    size_t next = 0;  // first item the next child starts with
    while (next < count) {
        const size_t first = next;
        const size_t last = std::min(count, first + itemsPerChild);
        int reportPipe[2];
        if (::pipe2(reportPipe, O_CLOEXEC) != 0) {
            for (size_t i = first; i < count; ++i)
                results[i].report = "cannot make a pipe";
            return results;
        }
        std::fflush(nullptr);
        pid_t pid = ::fork();
        if (pid < 0) {
            ::close(reportPipe[0]);
            ::close(reportPipe[1]);
            for (size_t i = first; i < count; ++i)
                results[i].report = "cannot start a child";
            return results;
        }
        if (pid == 0) {
            ::close(reportPipe[0]);
            for (size_t i = first; i < last; ++i) {
                WriteFrame(reportPipe[1], 'S', i);
                std::string report;
                int code = 1;
                try {
                    code = fn(i, report);
                    if (code == 1)
                        code = 2;  // 1 is the sanitizers' exit status
                } catch (const std::exception& e) {
                    report += std::string("exception escaped: ") + e.what();
                    code = 3;
                } catch (...) {
                    report += "unknown exception escaped";
                    code = 3;
                }
                WriteFrame(reportPipe[1], 'E', i, code & 0xff, report);
            }
            ::_exit(0);
        }
        ::close(reportPipe[1]);
        const int fd = reportPipe[0];
        std::string buffer;
        bool running = false;  // an item has started and not finished
        size_t current = first;
        double deadline = Now() + timeoutSeconds;
        bool timedOut = false, closed = false;
        char buf[65536];
        while (!closed) {
            const double left = deadline - Now();
            if (left <= 0) {
                timedOut = true;
                break;
            }
            pollfd pfd{fd, POLLIN, 0};
            const int r = ::poll(&pfd, 1, int(std::min(left, 1.0) * 1000) + 1);
            if (r < 0 && errno != EINTR)
                break;
            if (r <= 0)
                continue;
            const ssize_t got = ::read(fd, buf, sizeof buf);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got <= 0) {
                closed = true;
                break;
            }
            buffer.append(buf, size_t(got));
            ParseFrames(
                buffer,
                [&](size_t item) {
                    running = true;
                    current = item;
                    deadline = Now() + timeoutSeconds;  // the limit holds per item
                },
                [&](size_t item, int code, std::string report) {
                    running = false;
                    ChildResult& res = results[item];
                    res.exitCode = code;
                    res.outcome = code == 0 ? ChildOutcome::Ok : ChildOutcome::Failed;
                    res.report = std::move(report);
                    current = item + 1;
                    next = item + 1;
                    deadline = Now() + timeoutSeconds;
                });
        }
        if (timedOut)
            ::kill(pid, SIGKILL);
        ::close(fd);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (next >= last)
            continue;  // every item of this child finished
        // The child ended inside an item, or before it started the next one:
        // that item takes the blame, so the next child always gets further.
        if (!running)
            current = next;
        ChildResult& res = results[current];
        res.report.clear();
        if (timedOut) {
            res.outcome = ChildOutcome::TimedOut;
        } else if (WIFEXITED(status)) {
            res.exitCode = WEXITSTATUS(status);
            // The sanitizers exit with status 1 after their report.
            res.outcome = res.exitCode == 1 ? ChildOutcome::Crashed : ChildOutcome::Failed;
        } else {
            res.outcome = ChildOutcome::Crashed;
        }
        next = current + 1;
    }
    return results;
}

QpdfPageList QpdfPages(const fs::path& file, const std::string& password) {
    QpdfPageList q;
    std::vector<std::string> argv{"qpdf", "--show-pages"};
    if (!password.empty()) argv.push_back("--password=" + password);
    argv.push_back(file.string());
    const CommandResult r = RunCommand(argv, 120);
    q.exitCode = r.exitCode;
    q.needsPassword = r.exitCode == 2 && r.err.find("invalid password") != std::string::npos;
    if (r.exitCode != 0 && r.exitCode != 3) return q;
    q.pages = 0;
    size_t at = 0;
    while (at < r.out.size()) {
        size_t end = r.out.find('\n', at);
        if (end == std::string::npos) end = r.out.size();
        const std::string_view line(r.out.data() + at, end - at);
        if (line.rfind("page ", 0) == 0) {
            ++q.pages;
            const size_t colon = line.find(": ");
            q.objects.push_back(colon == std::string_view::npos
                                    ? -1
                                    : std::atoi(std::string(line.substr(colon + 2)).c_str()));
        }
        at = end + 1;
    }
    return q;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const fs::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    out.write(data.data(), std::streamsize(data.size()));
}

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate =
            fs::temp_directory_path() / ("vpltest-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* Name, const std::optional<std::string>& Value) : name_(Name) {
    if (const char* Old = std::getenv(Name)) old_ = Old;
    if (Value)
        ::setenv(Name, Value->c_str(), 1);
    else
        ::unsetenv(Name);
}

ScopedEnv::~ScopedEnv() {
    if (old_)
        ::setenv(name_, old_->c_str(), 1);
    else
        ::unsetenv(name_);
}

}  // namespace vpltest
