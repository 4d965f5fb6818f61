// The resolution of a TIFF structure's first directory, and the malformed
// structures that must give False without reading outside the data.
#include <string>

#include <gtest/gtest.h>

#include "codecs/ExifReader.h"

using namespace velmo;

namespace {

std::string Le16(uint32_t v) { return {char(v & 0xFF), char(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
std::string Be16(uint32_t v) { return {char(v >> 8), char(v & 0xFF)}; }
std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }

// Little-endian: X as a rational at an offset, Y as a SHORT, unit as SHORT.
std::string LittleTiff(uint32_t XNum, uint32_t XDen, uint32_t RationalOffset = 50) {
    std::string t = "II" + Le16(42) + Le32(8) + Le16(3);
    t += Le16(282) + Le16(5) + Le32(1) + Le32(RationalOffset);
    t += Le16(283) + Le16(3) + Le32(1) + Le16(150) + Le16(0);
    t += Le16(296) + Le16(3) + Le32(1) + Le16(2) + Le16(0);
    t += Le32(0);
    t.resize(50, '\0');
    return t + Le32(XNum) + Le32(XDen);
}

}  // namespace

TEST(ExifReader, Resolution) {
    const struct {
        const char* Name;
        std::string Data;
        bool Ok;
        double X, Y;
        int Unit;
    } cases[] = {
        {"little-endian", LittleTiff(600, 2), true, 300, 150, 2},
        {"big-endian rationals",
         "MM" + Be16(42) + Be32(8) + Be16(1) + Be16(283) + Be16(5) + Be32(1) + Be32(26) + Be32(0) +
             Be32(72) + Be32(1),
         true, 0, 72, 0},
        {"zero denominator ignored", LittleTiff(600, 0), true, 0, 150, 2},
        {"rational outside the data ignored", LittleTiff(600, 2, 0xFFFFFFF0u), true, 0, 150, 2},
        {"directory outside the data", "II" + Le16(42) + Le32(0xFFFFFFF0u), false, 0, 0, 0},
        {"directory cut short", "II" + Le16(42) + Le32(8) + Le16(40) + std::string(20, '\0'),
         false, 0, 0, 0},
        {"wrong magic", "II" + Le16(43) + Le32(8) + Le16(0), false, 0, 0, 0},
        {"not a TIFF", "JFIF....", false, 0, 0, 0},
        {"too short", "II*", false, 0, 0, 0},
        {"no entries", "II" + Le16(42) + Le32(8) + Le16(0), true, 0, 0, 0},
    };
    for (const auto& c : cases) {
        TExifResolution r;
        EXPECT_EQ(ReadTIFFResolution(c.Data, r), c.Ok) << c.Name;
        EXPECT_EQ(r.XRes, c.X) << c.Name;
        EXPECT_EQ(r.YRes, c.Y) << c.Name;
        EXPECT_EQ(r.Unit, c.Unit) << c.Name;
    }
}
