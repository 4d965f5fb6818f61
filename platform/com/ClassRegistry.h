// The class registry of the platform: which class names (ProgIDs) resolve to
// an implementation in this process. Stand-ins for platform components
// register the names they serve; look-ups ignore ASCII case.
#pragma once

#include <string_view>

namespace velmo {

void RegisterProgID(std::u16string_view ProgID);
// True when ProgID was registered.
bool CLSIDFromProgID(std::u16string_view ProgID);

}  // namespace velmo
