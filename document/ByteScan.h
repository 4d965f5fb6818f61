// Byte-level helpers of the document loader: searches and number readings
// over the loaded file, always clipped to the data that is there.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmo::bytescan {

inline constexpr size_t npos = std::string_view::npos;

// Whitespace of PDF syntax: 00, 09, 0A, 0C, 0D, 20.
inline bool IsWhite(unsigned char c) {
    return c == 0x00 || c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// The bytes [Pos, Pos + Count) of Data, clipped to Data; a negative Pos
// reads from 0.
inline std::string_view Slice(std::string_view Data, int64_t Pos, int64_t Count) {
    if (Pos < 0) Pos = 0;
    if (Count <= 0 || static_cast<uint64_t>(Pos) >= Data.size()) return {};
    const uint64_t left = Data.size() - static_cast<uint64_t>(Pos);
    const uint64_t n = static_cast<uint64_t>(Count) < left ? static_cast<uint64_t>(Count) : left;
    return Data.substr(static_cast<size_t>(Pos), static_cast<size_t>(n));
}

// Decimal integer text: leading blanks (bytes up to 0x20), an optional sign,
// digits, nothing after them. Overflow or bad text gives Default.
int64_t ToInt64Def(std::string_view S, int64_t Default);
inline int32_t ToInt32Def(std::string_view S, int32_t Default) {
    const int64_t v = ToInt64Def(S, INT64_MIN);
    if (v == INT64_MIN || v < INT32_MIN || v > INT32_MAX) return Default;
    return static_cast<int32_t>(v);
}

// Removes bytes up to 0x20 at both ends.
std::string_view Trim(std::string_view S);

}  // namespace velmo::bytescan
