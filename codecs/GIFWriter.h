// Rendered pages written as single-image GIF files: the page is reduced to at
// most 256 colours by an octree quantizer and LZW-compressed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"

namespace velmo {

class TPDFGIFWriter {
public:
    TPDFGIFWriter() = default;
    // Quantizes Bitmap (any pixel format; not changed) to at most 256
    // colours. Raises EPageWriterError (codecs/TIFFWriters.h) when a side
    // exceeds 65,535 pixels, which the GIF header cannot hold.
    void Assign(const TBitmap& Bitmap);
    // A "GIF87a" file with one image and a 256-entry local colour table.
    // Requires a prior Assign.
    void SaveToStream(TStream& Stream) const;
    void SaveToFile(const std::u16string& FileName) const;

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    // The 8-bit palette bitmap made by Assign (null before).
    const TBitmap* Bitmap() const { return FBitmap.get(); }

private:
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    std::unique_ptr<TBitmap> FBitmap;
};

// Assign + SaveToStream on a fresh writer: the page writer of GIF output.
// Raises EPageWriterError for a side above 65,535 pixels.
void SaveBitmapAsGIF(const TBitmap& Bitmap, TStream& Target);

}  // namespace velmo
