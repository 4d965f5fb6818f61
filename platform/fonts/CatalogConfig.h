// The fontconfig configuration behind the font catalogue and the font
// resolution: the system's configuration plus the engine's alias rules.
#pragma once

#include <fontconfig/fontconfig.h>

namespace velmo::platform {

// A new configuration with the system's fonts and rules and the built-in
// alias rules loaded on top; nullptr when fontconfig cannot be initialised.
// The caller owns it.
FcConfig* NewCatalogConfig();

}  // namespace velmo::platform
