#include "codecs/ExifReader.h"

#include <cmath>

namespace velmo {

namespace {

class TIFDCursor {
public:
    TIFDCursor(std::string_view D, bool Little) : Data(D), LE(Little) {}

    bool U16(uint64_t Pos, uint32_t& V) const {
        if (Pos + 2 > Data.size()) return false;
        const auto* p = reinterpret_cast<const unsigned char*>(Data.data() + Pos);
        V = LE ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1]);
        return true;
    }
    bool U32(uint64_t Pos, uint32_t& V) const {
        if (Pos + 4 > Data.size()) return false;
        const auto* p = reinterpret_cast<const unsigned char*>(Data.data() + Pos);
        V = LE ? (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                  uint32_t(p[3]) << 24)
               : (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 |
                  uint32_t(p[3]));
        return true;
    }

    // The numeric value of an entry whose value is one SHORT, LONG or
    // RATIONAL; False for other types or an unreadable value.
    bool EntryValue(uint64_t Entry, double& V) const {
        uint32_t type = 0, count = 0;
        if (!U16(Entry + 2, type) || !U32(Entry + 4, count) || count < 1) return false;
        uint32_t x = 0;
        switch (type) {
            case 3:  // SHORT, held in the entry
                if (!U16(Entry + 8, x)) return false;
                V = x;
                return true;
            case 4:  // LONG
                if (!U32(Entry + 8, x)) return false;
                V = x;
                return true;
            case 5: {  // RATIONAL, at an offset
                uint32_t off = 0, num = 0, den = 0;
                if (!U32(Entry + 8, off) || !U32(off, num) || !U32(uint64_t(off) + 4, den))
                    return false;
                if (den == 0) return false;
                V = double(num) / double(den);
                return std::isfinite(V);
            }
            default:
                return false;
        }
    }

private:
    std::string_view Data;
    bool LE;
};

}  // namespace

bool ReadTIFFResolution(std::string_view Data, TExifResolution& Res) {
    Res = TExifResolution{};
    if (Data.size() < 8) return false;
    bool le;
    if (Data[0] == 'I' && Data[1] == 'I')
        le = true;
    else if (Data[0] == 'M' && Data[1] == 'M')
        le = false;
    else
        return false;
    TIFDCursor c(Data, le);
    uint32_t magic = 0, ifd = 0, count = 0;
    if (!c.U16(2, magic) || magic != 42 || !c.U32(4, ifd)) return false;
    if (!c.U16(ifd, count)) return false;
    // A directory must fit in the data; its entries are read one by one.
    if (uint64_t(ifd) + 2 + uint64_t(count) * 12 > Data.size()) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t e = uint64_t(ifd) + 2 + uint64_t(i) * 12;
        uint32_t tag = 0;
        if (!c.U16(e, tag)) return false;
        double v = 0;
        switch (tag) {
            case 282:
                if (c.EntryValue(e, v)) Res.XRes = v;
                break;
            case 283:
                if (c.EntryValue(e, v)) Res.YRes = v;
                break;
            case 296:
                if (c.EntryValue(e, v) && v <= 65535) Res.Unit = int32_t(v);
                break;
            default:
                break;
        }
    }
    return true;
}

}  // namespace velmo
