// Reads the resolution of the first image directory of a TIFF structure, as
// carried by the Exif segment of a camera JPEG. Every offset and count is
// checked against the bytes given; anything malformed gives False.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmo {

struct TExifResolution {
    double XRes = 0;
    double YRes = 0;
    int32_t Unit = 0;  // ResolutionUnit tag: 1 none, 2 inch, 3 cm; 0 when absent
};

// True when Data starts with a valid TIFF header whose first directory can be
// read; Res then holds what that directory says (0 for absent entries).
bool ReadTIFFResolution(std::string_view Data, TExifResolution& Res);

}  // namespace velmo
