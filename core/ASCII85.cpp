#include "core/ASCII85.h"

#include <algorithm>
#include <cstdint>

#include "core/Flate.h"

namespace velmo {

std::string DecodeASCII85(std::string_view data) {
    // The data ends at the first '~', the start of the "~>" end mark; a '~'
    // is no digit, and whatever follows the mark is not part of the data.
    std::size_t end = data.find('~');
    if (end == std::string_view::npos) end = data.size();
    std::string out;
    out.reserve(std::min<std::size_t>(data.size() / 5 * 4 + 4, kMaxDecodedSize));
    std::uint64_t value = 0;
    int count = 0;
    auto flushGroup = [&](int bytes) {
        if (value > 0xFFFFFFFFull) value = 0;
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    };
    for (std::size_t i = 0; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(data[i]);
        if (c == 'z') {
            // Five '!' characters: four zero bytes when they fill a group.
            for (int k = 0; k < 5; ++k) {
                value = value * 85;
                if (++count == 5) {
                    flushGroup(4);
                    value = 0;
                    count = 0;
                }
            }
            continue;
        }
        if (c < '!' || c > 'u') continue;
        value = value * 85 + (c - 33);
        if (++count == 5) {
            flushGroup(4);
            value = 0;
            count = 0;
        }
        if (out.size() >= kMaxDecodedSize) break;
    }
    if (count >= 2) {
        // Pad the final group with 'u' and keep count - 1 bytes.
        for (int k = count; k < 5; ++k) value = value * 85 + 84;
        if (value >= 0xFFFFFFFFull) value = 0;
        flushGroup(count - 1);
    }
    return out;
}

std::string EncodeASCII85(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 5 + text.size() / 35 + 8);
    std::size_t lineStart = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += 4) {
        const std::size_t n = std::min<std::size_t>(4, text.size() - pos);
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            v = (v << 8) | (i < n ? static_cast<unsigned char>(text[pos + i]) : 0u);
        if (n == 4 && v == 0) {
            out += 'z';
        } else {
            char digits[5];
            for (int i = 4; i >= 0; --i) {
                digits[i] = static_cast<char>(v % 85 + 33);
                v /= 85;
            }
            out.append(digits, n + 1);
        }
        if (out.size() - lineStart > 70) {
            out += "\r\n";
            lineStart = out.size();
        }
    }
    out += "~>";
    return out;
}

void EncodeASCII85Stream(TStream& Source, TStream& Dest) {
    std::string bytes;
    Source.Seek(0, soBeginning);
    char buf[65536];
    for (;;) {
        std::int64_t n = Source.Read(buf, sizeof buf);
        if (n <= 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    Dest.WriteBuffer(EncodeASCII85(bytes));
}

}  // namespace velmo
