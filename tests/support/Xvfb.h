// A private X server for tests that show real windows: Xvfb on a free
// display (1280x1024x24, black root, no window manager), driven with xdotool and
// photographed with ImageMagick's import. Screens and grabs are kept under
// the build tree's test-artifacts/ folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace vpltest {

// Folder for what a test leaves to look at: test-artifacts/<suite>.<test>
// in the build tree, made on demand.
std::filesystem::path ArtifactDir();

// An image read back from a grab: 8-bit RGB, rows top down.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    uint32_t Pixel(int x, int y) const;  // 0xRRGGBB
};

class Xvfb {
public:
    // The tools the harness needs; the first missing one, or empty.
    static std::string MissingTool();

    // Starts the server and points DISPLAY of this process at it, with no
    // session bus (a bus launched onto the private display would outlive
    // it); the old values come back on destruction. Error() says why when
    // the server did not start.
    Xvfb();
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool Running() const { return pid_ > 0 && !display_.empty(); }
    const std::string& Error() const { return error_; }
    const std::string& Display() const { return display_; }

    // xdotool with these arguments on this display.
    CommandResult Xdotool(const std::vector<std::string>& args, double timeoutSeconds = 30);
    // X window ids whose name matches (xdotool search --name), waiting up
    // to timeoutSeconds for one to appear.
    std::vector<std::string> FindWindows(const std::string& name, double timeoutSeconds = 10);
    struct Geometry {
        int x = 0, y = 0, width = 0, height = 0;
    };
    std::optional<Geometry> WindowGeometry(const std::string& windowId);
    // Grabs the window (or "root") into artifactPng and reads it back.
    std::optional<RgbImage> Grab(const std::string& windowId, const std::filesystem::path& artifactPng);

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string error_;
    std::optional<std::string> oldDisplay_;
    std::optional<std::string> oldBus_;
};

}  // namespace vpltest

// Skips the current test with a message when a tool of the harness is
// missing.
#define VPL_REQUIRE_XVFB_TOOLS()                                                    \
    do {                                                                            \
        std::string missing_ = ::vpltest::Xvfb::MissingTool();                      \
        if (!missing_.empty())                                                      \
            GTEST_SKIP() << "tool '" << missing_ << "' is not installed";           \
    } while (0)
