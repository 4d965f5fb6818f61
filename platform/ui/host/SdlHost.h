// The host that shows the layer's top-level windows on a real screen through
// SDL: one borderless SDL window per visible top-level window, painted from
// its framebuffer in software, so it works under a bare X server too.
#pragma once

#include <string>

namespace velmo {

// Starts SDL's video and makes the SDL host the window layer's host. Empty
// on success; SDL's own message when video cannot start (the Null host
// stays in place then).
std::string StartSdlHost();

}  // namespace velmo
