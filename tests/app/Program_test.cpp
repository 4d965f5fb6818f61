// The conversion tool's program as a user starts it.
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

TEST(App, NoDisplayExitsWithMessage) {
    // Neither an X nor a Wayland display: the program says so and stops
    // before making any window.
    vpltest::CommandResult R = vpltest::RunCommand(
        {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", VPL_CONVERT_PROGRAM}, 10);
    EXPECT_FALSE(R.timedOut);
    EXPECT_EQ(R.exitCode, 2) << R.err;
    EXPECT_NE(R.err.find("velmo-convert: no display found; the conversion tool needs a graphical "
                         "session (DISPLAY is not set)."),
              std::string::npos)
        << R.err;
    EXPECT_EQ(R.out, "");
}

}  // namespace
