// Rendered pages written as TIFF files through the graphics platform's image
// encoders, and the joining of single-page TIFF files into one multipage file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"

namespace velmo {

struct TGDIPlusSettings;

// A page writer that could not produce its file (the encoder failed or the
// page's size cannot be written in the format). Target may hold a partial
// file; callers treat the page as failed.
class EPageWriterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The bitmap as an LZW-compressed RGB TIFF at Target's position. DPI > 0 is
// written as the resolution (per inch); DPI <= 0 keeps the bitmap's own.
// Nil Settings: the defaults. Raises EPageWriterError when the encoder fails.
void SaveBitmapAsTIFF(const TBitmap& Bitmap, TStream& Target, const TGDIPlusSettings* Settings,
                      double DPI);

// The bitmap as a 1-bit CCITT Group 4 TIFF (min-is-white). With
// Settings->MonoThreshold >= 1, a 24-bit pixel whose blue + green + red sum
// is below 3 × MonoThreshold is made black first (on a copy; Bitmap is not
// changed). Raises EPageWriterError when the encoder fails.
void SaveBitmapAsG4TIFF(const TBitmap& Bitmap, TStream& Target, const TGDIPlusSettings* Settings,
                        double DPI);

// Appends the complete TIFF file Source behind Target (a read-write stream):
// every file offset inside Source is moved by Target's old size, Source's
// bytes are copied to Target's end, and Target's last IFD is linked to
// Source's first. Source is modified. Returns false, leaving both streams
// as they were, when the joined file would exceed the 32-bit offsets of a
// classic TIFF (Target's size above 2^31 - 1 or the result above 2^32 - 1).
// Looping or out-of-range IFD chains end the walk at the last sound IFD.
bool AppendTIFFStream(TStream& Target, TMemoryStream& Source);

// Builds a multipage TIFF in Target page by page; remembers the last IFD
// written so that each page costs its own size, not the whole file's.
// Target should be empty (or hold only earlier pages added through this
// object).
class TMultipageTIFFWriter {
public:
    explicit TMultipageTIFFWriter(TStream& Target) : FTarget(Target) {}
    // Page is one complete TIFF file (from SaveBitmapAsTIFF or
    // SaveBitmapAsG4TIFF); the first page is copied whole, later ones are
    // appended as by AppendTIFFStream. Returns false, Target unchanged, when
    // the page is not a TIFF of the output's byte order or would push the
    // file past the classic TIFF offset limit.
    bool AddPage(TMemoryStream& Page);
    int32_t PageCount() const { return FPageCount; }

private:
    TStream& FTarget;
    uint32_t FLastIFD = 0;  // file position of the last IFD's next pointer
    bool FIntel = true;
    int32_t FPageCount = 0;
};

}  // namespace velmo
