// Starting the SDL host where no screen can be reached.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/Window.h"
#include "platform/ui/host/NullHost.h"
#include "platform/ui/host/SdlHost.h"

namespace velmo {
namespace {

TEST(SdlHost, VideoFailureGivesSdlsMessageAndKeepsTheNullHost) {
    auto Null = std::make_shared<TNullHost>();
    SetWindowHost(Null);
    ::setenv("SDL_VIDEODRIVER", "x11", 1);
    ::setenv("DISPLAY", ":65000", 1);  // no server listens there
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);  // nothing launches a bus either
    std::string Error = StartSdlHost();
    EXPECT_FALSE(Error.empty());
    EXPECT_EQ(&WindowHost(), Null.get());
    Null->SetNow(4242);
    EXPECT_EQ(GetTickCount(), 4242u);
}

}  // namespace
}  // namespace velmo
