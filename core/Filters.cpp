#include "core/Filters.h"

#include <algorithm>
#include <array>

#include "core/Flate.h"

namespace velmo {

std::string DecodeRunLength(std::string_view data) {
    std::string out;
    if (data.empty()) return out;
    out.reserve(
        std::min<std::size_t>(std::max<std::size_t>(data.size() * 2, 4096), kMaxDecodedSize));
    const std::size_t n = data.size();
    std::size_t i = 0;
    while (i < n && out.size() < kMaxDecodedSize) {
        const unsigned len = static_cast<unsigned char>(data[i++]);
        if (len < 128) {
            const std::size_t count = std::min<std::size_t>(len + 1, n - i);
            out.append(data.substr(i, count));
            i += count;
        } else if (len == 128) {
            break;
        } else {
            if (i >= n) break;
            out.append(257 - len, data[i]);
            ++i;
        }
    }
    if (out.size() > kMaxDecodedSize) out.resize(kMaxDecodedSize);
    return out;
}

std::string DecodeASCIIHex(std::string_view data) {
    // Per byte: its hexadecimal value, kNotHex for the other letters and
    // digits (a pair holding one gives 00), kSkip for everything else.
    static constexpr unsigned char kNotHex = 16, kSkip = 255;
    static const auto table = [] {
        std::array<unsigned char, 256> t{};
        t.fill(kSkip);
        for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<unsigned char>(c - '0');
        for (int c = 'A'; c <= 'Z'; ++c) t[c] = t[c + 32] = kNotHex;
        for (int c = 0; c < 6; ++c) t['A' + c] = t['a' + c] = static_cast<unsigned char>(10 + c);
        return t;
    }();
    std::string out;
    out.resize(data.size() / 2 + 1);
    char* dst = out.data();
    unsigned high = 0;
    bool pending = false;
    for (unsigned char c : data) {
        if (c == '>') break;  // the end mark; what follows is not data
        const unsigned v = table[c];
        if (v == kSkip) continue;
        if (!pending) {
            high = v;
            pending = true;
        } else {
            *dst++ = (high == kNotHex || v == kNotHex) ? '\0' : static_cast<char>(high << 4 | v);
            pending = false;
        }
    }
    if (pending) *dst++ = high == kNotHex ? '\0' : static_cast<char>(high << 4);
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return out;
}

}  // namespace velmo
