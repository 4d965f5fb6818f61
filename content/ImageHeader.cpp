// Recognition of image files by their first bytes and the JPEG header scan.
// Kept apart from the image objects so that it builds on its own (the fuzz
// target links only this file and the Exif reader).
#include <algorithm>
#include <cmath>

#include "codecs/ExifReader.h"
#include "content/Image.h"

namespace velmo {

namespace {

uint32_t U16BE(std::string_view D, size_t P) {
    return uint32_t(uint8_t(D[P])) << 8 | uint8_t(D[P + 1]);
}
uint32_t U16LE(std::string_view D, size_t P) {
    return uint32_t(uint8_t(D[P])) | uint32_t(uint8_t(D[P + 1])) << 8;
}
uint32_t U32LE(std::string_view D, size_t P) {
    return U16LE(D, P) | U16LE(D, P + 2) << 16;
}

// Densities from a TIFF directory are rationals; keep them in a sane range.
int32_t DensityValue(double V) {
    if (!(V > 0)) return 0;
    return int32_t(std::nearbyint(std::min(V, 1.0e6)));
}

}  // namespace

// ---- Recognition ----------------------------------------------------------------------

TPDFImageType DetectImageType(std::string_view D) {
    const size_t n = D.size();
    if (n >= 22 && U32LE(D, 0) == 0x9AC6CDD7u) {
        uint32_t x = 0;
        for (size_t i = 0; i < 10; ++i) x ^= U16LE(D, i * 2);
        if (x == U16LE(D, 20)) return itWMF;
    }
    if (n >= 100 && U32LE(D, 0) == 1 && U32LE(D, 40) == 0x464D4520u) return itEMF;
    if (n >= 14 && U16LE(D, 0) == 0x4D42 && U16LE(D, 6) == 0 && U16LE(D, 8) == 0) return itBMP;
    if (n >= 2 && uint8_t(D[0]) == 0xFF && uint8_t(D[1]) == 0xD8) return itJPEG;
    if (n >= 2 && ((D[0] == 'I' && D[1] == 'I') || (D[0] == 'M' && D[1] == 'M'))) return itTIFF;
    if (n >= 8 && D.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8)) return itPNG;
    if (n >= 6 && (D.substr(0, 6) == "GIF87a" || D.substr(0, 6) == "GIF89a")) return itGIF;
    return itUnknown;
}

TJPEGHeaderInfo ReadJPEGHeader(std::string_view D) {
    TJPEGHeaderInfo info;
    const size_t n = D.size();
    if (n < 3 || uint8_t(D[0]) != 0xFF || uint8_t(D[1]) != 0xD8 || uint8_t(D[2]) != 0xFF)
        return info;
    size_t p = 3;
    int last = 0xFF;
    auto byte = [&](int& b) {
        if (p >= n) return false;
        b = uint8_t(D[p++]);
        return true;
    };
    auto word = [&](uint32_t& w) {
        if (p + 2 > n) return false;
        w = U16BE(D, p);
        p += 2;
        return true;
    };
    while (last == 0xFF) {
        int code = 0;
        if (!byte(code)) break;
        if (code == 0xFF) continue;  // fill byte
        if (code == 0xE0 || code == 0xE1) {
            uint32_t len = 0;
            if (!word(len) || len < 2) break;  // a length below 2 would move backwards
            const size_t segEnd = p + (len - 2);
            if (p + 5 > n) break;
            const std::string_view tag = D.substr(p, 5);
            p += 5;
            if (code == 0xE0 && tag == std::string_view("JFIF\0", 5)) {
                uint32_t hd = 0, vd = 0;
                int units = 0;
                p += 2;
                if (!byte(units) || !word(hd) || !word(vd)) break;
                info.Units = units;
                info.HDensity = int32_t(hd);
                info.VDensity = int32_t(vd);
            } else if (code == 0xE1 && tag == std::string_view("Exif\0", 5)) {
                ++p;
                if (p <= n) {
                    // A broken directory is ignored: the image stays usable.
                    TExifResolution res;
                    if (ReadTIFFResolution(D.substr(p, std::min<size_t>(len - 2, n - p)), res) &&
                        info.Units == 0) {
                        info.Units = 1;
                        info.HDensity = DensityValue(res.XRes);
                        info.VDensity = DensityValue(res.YRes);
                    }
                }
            }
            p = segEnd;
            if (!byte(last)) break;
        } else if (code >= 0xC0 && code <= 0xC3) {
            uint32_t len = 0, h = 0, w = 0;
            int prec = 0, comps = 0;
            if (!word(len) || !byte(prec) || !word(h) || !word(w) || !byte(comps)) break;
            info.FrameMarker = code;
            info.Precision = prec;
            info.Height = int32_t(h);
            info.Width = int32_t(w);
            info.Components = comps;
            break;
        } else if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            if (!byte(last)) break;
        } else {
            uint32_t len = 0;
            if (!word(len) || len < 2) break;
            p += len - 2;
            if (!byte(last)) break;
        }
    }
    return info;
}

bool JPEGCarriedAsDCT(const TJPEGHeaderInfo& Info) {
    if (Info.Width == 0 || Info.Height == 0) return false;
    if (Info.FrameMarker == 0xC3 || Info.Precision != 8) return false;
    return Info.Components == 1 || Info.Components == 3 || Info.Components == 4;
}

}  // namespace velmo
