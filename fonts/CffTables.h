// Data tables of the Compact Font Format that a font program refers to by
// number instead of spelling out.
#pragma once

#include <array>
#include <cstdint>

namespace velmo {

// The strings SIDs 0 to 390 name.
extern const std::array<const char*, 391> kCffStandardStrings;
// The SID of each code of the predefined standard encoding (0: none).
extern const std::array<uint16_t, 256> kCffStandardEncoding;
// The SID of each glyph of the predefined expert and expert subset
// charsets, glyph 0 (.notdef) first.
extern const std::array<uint16_t, 166> kCffExpertCharset;
extern const std::array<uint16_t, 87> kCffExpertSubsetCharset;

}  // namespace velmo
