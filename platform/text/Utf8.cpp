#include "platform/text/Utf8.h"

#include <cstdint>

namespace velmo {

std::string Utf16ToUtf8(std::u16string_view S) {
    std::string R;
    for (size_t I = 0; I < S.size(); ++I) {
        uint32_t C = S[I];
        if (C >= 0xD800 && C < 0xDC00 && I + 1 < S.size() && S[I + 1] >= 0xDC00 &&
            S[I + 1] < 0xE000) {
            C = 0x10000 + ((C - 0xD800) << 10) + (S[I + 1] - 0xDC00);
            ++I;
        } else if (C >= 0xD800 && C < 0xE000) {
            C = 0xFFFD;
        }
        if (C < 0x80) {
            R += char(C);
        } else if (C < 0x800) {
            R += char(0xC0 | (C >> 6));
            R += char(0x80 | (C & 0x3F));
        } else if (C < 0x10000) {
            R += char(0xE0 | (C >> 12));
            R += char(0x80 | ((C >> 6) & 0x3F));
            R += char(0x80 | (C & 0x3F));
        } else {
            R += char(0xF0 | (C >> 18));
            R += char(0x80 | ((C >> 12) & 0x3F));
            R += char(0x80 | ((C >> 6) & 0x3F));
            R += char(0x80 | (C & 0x3F));
        }
    }
    return R;
}

}  // namespace velmo
