// The conversion tool's program as a user starts it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

TEST(App, NoDisplayExitsWithMessage) {
    // Neither an X nor a Wayland display, or an X display nobody serves:
    // the program says so (with SDL's reason when it tried) and stops
    // before making any window, never running on with an unseen one.
    struct TCase {
        std::vector<std::string> Env;
        bool SdlReason;
    };
    const TCase Cases[] = {
        {{"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"}, false},
        {{"-u", "WAYLAND_DISPLAY", "DISPLAY=:9731"}, true},
    };
    for (const TCase& C : Cases) {
        std::vector<std::string> Argv = {"env"};
        Argv.insert(Argv.end(), C.Env.begin(), C.Env.end());
        Argv.push_back(VPL_CONVERT_PROGRAM);
        vpltest::CommandResult R = vpltest::RunCommand(Argv, 10);
        SCOPED_TRACE(Argv[2]);
        EXPECT_FALSE(R.timedOut);
        EXPECT_EQ(R.exitCode, 2) << R.err;
        EXPECT_NE(R.err.find("velmo-convert: no display found; the conversion tool needs a "
                             "graphical session (DISPLAY is not set)."),
                  std::string::npos)
            << R.err;
        EXPECT_EQ(R.err.find("velmo-convert: SDL: ") != std::string::npos, C.SdlReason) << R.err;
        EXPECT_EQ(R.out, "");
    }
}

}  // namespace
