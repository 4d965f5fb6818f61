// UTF-16 to UTF-8 for the names handed to system libraries (font
// configuration, the print system), which take UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace velmo {

// A lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view S);

}  // namespace velmo
