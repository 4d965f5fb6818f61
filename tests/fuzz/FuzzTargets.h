// The work of each fuzz target over one input, shared by the libFuzzer
// entry points (tests/fuzz/*_fuzz.cpp) and by the unit test that replays the
// kept fixtures in the ordinary sanitizer build.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace velmo::fuzz {

// One target: its name (the folder of its seeds and fixtures) and its work.
using TFuzzFunction = void (*)(std::string_view Data);

// The object-syntax parser: one object from the start, then every object in
// turn, the string and hex-string decoders and the token rewriter; every
// result is written back out.
void ObjectParser(std::string_view Data);
// A document loaded from memory without password, every page looked up,
// every content stream of each page decoded, saved into memory and the saved
// text loaded again.
void DocumentLoad(std::string_view Data);
// The filter chain of a stream whose dictionary is built from the first
// bytes of the input (filter form, /DecodeParms values); the rest is the
// stream's data.
enum TFuzzFilter { ffFlate, ffLZW, ffASCII85, ffASCIIHex, ffRunLength };
void Filter(TFuzzFilter Kind, std::string_view Data);
// The PNG reader with its palette text and its bitmap.
void PNGReader(std::string_view Data);
// The CMap text parser, look-ups over the parsed ranges and the binary form
// written and read back.
void CMapParser(std::string_view Data);
// The XMP packet reader, a property change and the packet written again.
void XMPReader(std::string_view Data);
// Image-type recognition, the JPEG header scan and the Exif reader.
void ImageHeader(std::string_view Data);
// PDF functions from a run of numbered objects or from a raw PostScript
// calculator program, evaluated at the ends and middle of their domains
// (FuzzPDFFunctions.cpp).
void PDFFunctions(std::string_view Data);
// A TrueType font or collection: faces parsed, glyph names looked up,
// outlines of up to 300 glyphs drawn (FuzzTrueType.cpp).
void TrueTypeParser(std::string_view Data);
// An image file loaded through the GDI+ facade (with colour management when
// the last byte is odd); its first 8 frames read row by row, drawn and saved
// as PNG and G4 TIFF (FuzzGdiplusImages.cpp).
void GdiplusImages(std::string_view Data);

// Targets kept in a file of their own register their work by name, so that
// adding one touches no shared list: the work file says
//   VPL_FUZZ_TARGET(name, Function)
// and tests/fuzz/targets/name.cmake names the work file and its libraries.
// The libFuzzer entry point (FuzzEntry.cpp) and the replay test find it here.
struct TFuzzTarget {
    const char* Name;
    TFuzzFunction Run;
};
std::vector<TFuzzTarget>& RegisteredTargets();
struct TFuzzRegistration {
    TFuzzRegistration(const char* Name, TFuzzFunction Run) {
        RegisteredTargets().push_back({Name, Run});
    }
};
#define VPL_FUZZ_TARGET(NAME, FUNCTION) \
    static const ::velmo::fuzz::TFuzzRegistration VplFuzzRegistration_##NAME{#NAME, FUNCTION}

}  // namespace velmo::fuzz
