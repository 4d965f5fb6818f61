#include "document/ByteScan.h"

namespace velmo::bytescan {

int64_t ToInt64Def(std::string_view S, int64_t Default) {
    size_t i = 0;
    while (i < S.size() && static_cast<unsigned char>(S[i]) <= 0x20) ++i;
    bool neg = false;
    if (i < S.size() && (S[i] == '-' || S[i] == '+')) {
        neg = S[i] == '-';
        ++i;
    }
    if (i >= S.size()) return Default;
    uint64_t v = 0;
    const uint64_t limit = neg ? (uint64_t{1} << 63) : (uint64_t{1} << 63) - 1;
    for (; i < S.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(S[i]);
        if (!IsDigit(c)) return Default;
        const uint64_t d = c - '0';
        if (v > (limit - d) / 10) return Default;
        v = v * 10 + d;
    }
    if (neg) return v == (uint64_t{1} << 63) ? INT64_MIN : -static_cast<int64_t>(v);
    return static_cast<int64_t>(v);
}

std::string_view Trim(std::string_view S) {
    size_t b = 0, e = S.size();
    while (b < e && static_cast<unsigned char>(S[b]) <= 0x20) ++b;
    while (e > b && static_cast<unsigned char>(S[e - 1]) <= 0x20) --e;
    return S.substr(b, e - b);
}

}  // namespace velmo::bytescan
