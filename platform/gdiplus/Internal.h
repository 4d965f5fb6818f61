// What the parts of the GDI+ facade share: the start-up count, the table of
// live handles, and the image objects with their pixel store.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus/GdiPlusFlat.h"

namespace velmo::gdiplus {

// True between a GdiplusStartup and its matching GdiplusShutdown. Every
// entry point but those two returns gsGdiplusNotInitialized otherwise.
bool Started();

// Kinds of handles. A handle is live from its creation until its deletion;
// every entry point looks its handles up, so a stale, foreign or
// double-deleted handle, or one of another kind, gives a status instead of
// touching freed memory.
enum class TGpKind { Graphics, Region, Path, Brush, Pen, Matrix, Image, ImageAttributes, Font };

// Adds an object to the live table; false (and nothing added) when the
// table cannot grow.
bool AddLive(const void* Object, TGpKind Kind);
// Removes it; false when it was not live as that kind.
bool RemoveLive(const void* Object, TGpKind Kind);
bool IsLive(const void* Object, TGpKind Kind);

// Images. Bitmaps hold their pixels in one of the formats below, rows top
// first; Stride may be negative (a bottom-up store, Scan0 then points at the
// top row). Pixels of a bitmap made from caller memory stay in that memory.
//
// Supported store formats: PixelFormat1bppIndexed, 4bppIndexed, 8bppIndexed
// (indices into Palette, leftmost pixel in the high bits), 24bppRGB (B, G, R),
// 32bppRGB (B, G, R, unused), 32bppARGB (B, G, R, A, not premultiplied) and
// 32bppPARGB (premultiplied).
struct TGpProperty {
    GpPROPID Id = 0;
    uint16_t Type = 0;
    std::string Value;
};

// Decodes frame N of a multi-frame source into a bitmap; set by the decoder
// that made the image.
class TGpFrameSource {
public:
    virtual ~TGpFrameSource() = default;
    virtual uint32_t FrameCount() const = 0;
    // gsOk and the frame's pixels, size, format and resolution in Target.
    virtual TGPStatus DecodeFrame(uint32_t Index, GpBitmap& Target) = 0;
};

}  // namespace velmo::gdiplus

namespace velmo {

struct GpImage {
    virtual ~GpImage() = default;
    bool IsMetafile = false;
};

struct GpBitmap : GpImage {
    // Width × height above this is refused (OutOfMemory / InvalidParameter).
    static constexpr int64_t MaxPixels = int64_t(1) << 28;

    int Width = 0;
    int Height = 0;
    GpPixelFormat Format = PixelFormat32bppARGB;
    int64_t Stride = 0;
    uint8_t* Scan0 = nullptr;
    // The pixels when they are the bitmap's own (Scan0 points into them).
    std::vector<uint8_t> Owned;
    std::vector<GpARGB> Palette;
    GpREAL DpiX = 96;
    GpREAL DpiY = 96;
    TGUID RawFormat = ImageFormatMemoryBMP;
    uint32_t ActiveFrame = 0;
    std::shared_ptr<gdiplus::TGpFrameSource> Frames;
    std::vector<gdiplus::TGpProperty> Properties;

    uint8_t* Row(int Y) { return Scan0 + Stride * Y; }
    const uint8_t* Row(int Y) const { return Scan0 + Stride * Y; }
};

}  // namespace velmo

namespace velmo::gdiplus {

// Bits per pixel of a store format; 0 for a format the store does not hold.
int StoreBits(GpPixelFormat Format);
// Gives Bitmap its own zeroed pixels of the given size and format (palette
// formats get a grey ramp palette). gsInvalidParameter for a size ≤ 0 or a
// format the store does not hold, gsOutOfMemory above MaxPixels or when
// memory runs out.
TGPStatus AllocatePixels(GpBitmap& Bitmap, int Width, int Height, GpPixelFormat Format);
// A new bitmap of its own pixels, registered as a live image; nullptr and the
// status in Status on failure.
GpBitmap* NewBitmap(int Width, int Height, GpPixelFormat Format, TGPStatus& Status);
// A deep copy with its own pixels (frames source shared, properties copied),
// registered as a live image.
GpBitmap* CloneBitmap(const GpBitmap& Source, TGPStatus& Status);
// Frees a live image; false when Image is not one.
bool DisposeLiveImage(GpImage* Image);

// Reads row Y as premultiplied ARGB (pixman a8r8g8b8, native endian).
void ReadRowPARGB(const GpBitmap& Bitmap, int Y, uint32_t* Out);
// Writes premultiplied ARGB into row Y, converting to the store format
// (indexed formats take the nearest palette entry).
void WriteRowPARGB(GpBitmap& Bitmap, int Y, const uint32_t* In);

// The resolution of a graphics' target (96 DPI when it has none); false when
// Graphics is not live. Provided by the graphics part of the facade.
bool GraphicsResolution(GpGraphics* Graphics, GpREAL& DpiX, GpREAL& DpiY);

}  // namespace velmo::gdiplus
