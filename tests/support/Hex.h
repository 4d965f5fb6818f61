// Hexadecimal text of byte strings, for test vectors.
#pragma once

#include <string>
#include <string_view>

namespace vpltest {

inline std::string ToHex(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    return s;
}

template <class Array>
std::string ToHex(const Array& a) {
    return ToHex(std::string_view(reinterpret_cast<const char*>(a.data()), a.size()));
}

// Pairs of hexadecimal digits; spaces are skipped.
inline std::string FromHex(std::string_view hex) {
    auto val = [](char c) {
        return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    };
    std::string out;
    int hi = -1;
    for (char c : hex) {
        if (c == ' ' || c == '\n')
            continue;
        if (hi < 0) {
            hi = val(c);
        } else {
            out += char(hi * 16 + val(c));
            hi = -1;
        }
    }
    return out;
}

}  // namespace vpltest
