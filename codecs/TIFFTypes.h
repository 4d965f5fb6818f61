// Types shared by the TIFF reader and the TIFF writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmo {

enum TTIFFCompression {
    ttUnknown,
    ttCCITT4,
    ttNone,
    ttComp,
    ttCCITT31d,
    ttCCITT32d,
    ttPackbits,
    ttJPEG,
    ttDeflate
};

// One IFD entry: Offset holds the value itself when it fits in four bytes
// (a SHORT in its low 16 bits), else the file offset of the values.
struct TTIFFEntry {
    uint16_t Tag = 0;
    uint16_t TagType = 0;
    uint32_t Length = 0;
    uint32_t Offset = 0;
    std::string StringValue;
    std::vector<int32_t> IntegerValues;
    std::vector<double> DoubleValues;
};

}  // namespace velmo
