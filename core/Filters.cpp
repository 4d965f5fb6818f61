#include "core/Filters.h"

#include <algorithm>

#include "core/Flate.h"

namespace velmo {

std::string DecodeRunLength(std::string_view data) {
    std::string out;
    if (data.empty()) return out;
    out.reserve(std::min<std::size_t>(std::max<std::size_t>(data.size() * 2, 4096),
                                      kMaxDecodedSize));
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
    auto digit = [](unsigned char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    auto isAlnum = [](unsigned char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    std::string out;
    out.reserve(data.size() / 2 + 1);
    int high = -2;  // -2: no pending digit; -1: pending non-hex letter
    bool pending = false;
    for (unsigned char c : data) {
        if (!isAlnum(c)) continue;
        const int d = digit(c);
        if (!pending) {
            high = d;
            pending = true;
        } else {
            out += (high < 0 || d < 0) ? '\0' : static_cast<char>(high << 4 | d);
            pending = false;
        }
    }
    if (pending) out += high < 0 ? '\0' : static_cast<char>(high << 4);
    return out;
}

}  // namespace velmo
