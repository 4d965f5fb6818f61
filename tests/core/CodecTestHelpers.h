// Byte-level helpers shared by the codec and stream tests.
#pragma once

#include <initializer_list>
#include <string>

namespace vpltest {

inline std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s += static_cast<char>(v);
    return s;
}

inline std::string Hex(const std::string& s) {
    static const char* d = "0123456789ABCDEF";
    std::string h;
    for (unsigned char c : s) {
        if (!h.empty()) h += ' ';
        h += d[c >> 4];
        h += d[c & 15];
    }
    return h;
}

// Packs codes most significant bit first, each with its own width.
class CodeWriter {
public:
    void Put(unsigned code, unsigned width) {
        for (unsigned b = width; b-- > 0;) {
            acc_ = (acc_ << 1) | ((code >> b) & 1u);
            if (++bits_ == 8) {
                out_ += static_cast<char>(acc_);
                acc_ = 0;
                bits_ = 0;
            }
        }
    }
    std::string Finish() {
        if (bits_) out_ += static_cast<char>(acc_ << (8 - bits_));
        bits_ = 0;
        return out_;
    }

private:
    std::string out_;
    unsigned acc_ = 0;
    unsigned bits_ = 0;
};

// LZW data of literal codes only, 9 bits wide: a clear code every 200 codes
// keeps the table far from the width change.
inline std::string LzwLiterals(const std::string& data) {
    CodeWriter w;
    w.Put(256, 9);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i && i % 200 == 0) w.Put(256, 9);
        w.Put(static_cast<unsigned char>(data[i]), 9);
    }
    w.Put(257, 9);
    return w.Finish();
}

}  // namespace vpltest
