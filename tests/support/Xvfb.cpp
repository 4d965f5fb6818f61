#include "tests/support/Xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

extern char** environ;

namespace vpltest {

namespace {

// Reads a binary PPM (P6, 8 bits) as ImageMagick writes it.
std::optional<RgbImage> ParsePpm(const std::string& data) {
    std::istringstream in(data);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    if (magic != "P6" || w <= 0 || h <= 0 || w > 16384 || h > 16384 || maxval != 255) return std::nullopt;
    in.get();
    size_t start = size_t(in.tellg());
    size_t need = size_t(w) * size_t(h) * 3;
    if (data.size() < start + need) return std::nullopt;
    RgbImage img;
    img.width = w;
    img.height = h;
    img.rgb.assign(data.begin() + long(start), data.begin() + long(start + need));
    return img;
}

}  // namespace

std::filesystem::path ArtifactDir() {
    std::filesystem::path dir = VPL_ARTIFACT_DIR;
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        dir /= std::string(info->test_suite_name()) + "." + info->name();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

uint32_t RgbImage::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

std::string Xvfb::MissingTool() {
    for (const char* tool : {"Xvfb", "xdotool", "import", "convert"})
        if (!HaveTool(tool)) return tool;
    return {};
}

Xvfb::Xvfb() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error_ = "pipe failed";
        return;
    }
    // The server writes its display number to the pipe once it listens.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> argv = {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                                     "-noreset", "-br"};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        error_ = "Xvfb did not start";
        return;
    }
    pid_ = pid;
    std::string number;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < until) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        char buf[32];
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        number.append(buf, size_t(n));
    }
    ::close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        error_ = "Xvfb gave no display number";
        return;
    }
    display_ = ":" + number;
    if (const char* old = std::getenv("DISPLAY")) oldDisplay_ = old;
    ::setenv("DISPLAY", display_.c_str(), 1);
    if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) oldBus_ = old;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

Xvfb::~Xvfb() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
    }
    if (!display_.empty()) {
        if (oldDisplay_)
            ::setenv("DISPLAY", oldDisplay_->c_str(), 1);
        else
            ::unsetenv("DISPLAY");
        if (oldBus_)
            ::setenv("DBUS_SESSION_BUS_ADDRESS", oldBus_->c_str(), 1);
        else
            ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
}

CommandResult Xvfb::Xdotool(const std::vector<std::string>& args, double timeoutSeconds) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, timeoutSeconds);
}

std::vector<std::string> Xvfb::FindWindows(const std::string& name, double timeoutSeconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    for (;;) {
        CommandResult r = Xdotool({"search", "--name", name}, 10);
        std::vector<std::string> ids;
        std::istringstream in(r.out);
        for (std::string id; in >> id;) ids.push_back(id);
        if (!ids.empty() || std::chrono::steady_clock::now() >= until) return ids;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::optional<Xvfb::Geometry> Xvfb::WindowGeometry(const std::string& windowId) {
    CommandResult r = Xdotool({"getwindowgeometry", "--shell", windowId}, 10);
    if (r.exitCode != 0) return std::nullopt;
    Geometry g;
    int found = 0;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X") g.x = value, ++found;
        if (key == "Y") g.y = value, ++found;
        if (key == "WIDTH") g.width = value, ++found;
        if (key == "HEIGHT") g.height = value, ++found;
    }
    if (found != 4) return std::nullopt;
    return g;
}

std::optional<RgbImage> Xvfb::Grab(const std::string& windowId, const std::filesystem::path& artifactPng) {
    CommandResult shot = RunCommand({"import", "-display", display_, "-window", windowId, artifactPng.string()}, 60);
    if (shot.exitCode != 0) return std::nullopt;
    CommandResult ppm = RunCommand({"convert", artifactPng.string(), "-depth", "8", "ppm:-"}, 60);
    if (ppm.exitCode != 0) return std::nullopt;
    return ParsePpm(ppm.out);
}

}  // namespace vpltest
