// The engine's JPEG picture: the coded bytes of one image, decoded on demand
// into a platform bitmap, and a bitmap encoded into JPEG bytes. The codec is
// libjpeg (version 62 API); its RGB order is the bitmap's (blue first), both
// ways.
//
// The coded bytes are shared between images assigned from each other. A
// fatal codec error (bad data, unsupported feature) raises EJPEGError after
// the codec context is destroyed; warnings are ignored. A header whose pixel
// count exceeds TBitmap::MaxPixels is refused before decoding.
//
// There is no clipboard on this platform, so the picture offers no clipboard
// operations.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdi/Canvas.h"

namespace velmo {

class TPDFColorManager;

// A fatal codec error, or data that cannot be a JPEG image.
class EJPEGError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TJPEGPixelFormat { jf24Bit, jf8Bit };
enum TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum TProgressStage { psStarting, psRunning, psEnding };

// The coded data that several images may share.
struct TJPEGData {
    // The complete JPEG file; null while nothing was loaded or encoded.
    std::unique_ptr<TMemoryStream> FData;
    int FHeight = 0;
    int FWidth = 0;
    // Single-component data (grey header, or encoded as grey).
    bool FGrayscale = false;
};

// Stage, percentage, whether to redraw, and the band of rows decoded since
// the last event.
using TJPEGProgressEvent =
    std::function<void(TProgressStage Stage, int PercentDone, bool RedrawNow, const RECT& Band)>;

class TPDFJPEGImage {
public:
    TPDFJPEGImage();
    ~TPDFJPEGImage();
    TPDFJPEGImage(const TPDFJPEGImage&) = delete;
    TPDFJPEGImage& operator=(const TPDFJPEGImage&) = delete;

    // Shares Source's coded data; a decoded bitmap of Source is copied.
    void Assign(const TPDFJPEGImage& Source);
    // Takes a copy of the bitmap; the JPEG bytes are made when needed.
    void Assign(const TBitmap& Source);
    void LoadFromBitmap(const TBitmap& Source) { Assign(Source); }
    // Dest receives a copy of the decoded bitmap (decoding first).
    void AssignTo(TBitmap& Dest);

    // The bytes from the stream's position to its end.
    void LoadFromStream(TStream& Stream);
    // The same from bytes held by the caller.
    void LoadFromBytes(std::string_view Bytes);
    // A 32-bit little-endian byte count and that many JPEG bytes.
    void ReadData(TStream& Stream);
    void WriteData(TStream& Stream);
    // Encodes first when there are no JPEG bytes; then writes them all.
    void SaveToStream(TStream& Stream);
    // The decoded picture as a BMP file.
    void SaveBitmapToStream(TStream& Stream);

    // Encodes when there are no JPEG bytes.
    void JPEGNeeded();
    // Encodes the bitmap into new JPEG bytes: baseline JFIF, density in
    // dots per inch, the quality's tables.
    void Compress();
    // CMYK and grey samples are read as ink = b / 255 instead of 1 − b / 255
    // from now on (cannot be undone); decodes again at once.
    void InvertCMYK();

    // The decoded bitmap, decoding on demand.
    TBitmap& DecodedBitmap();
    bool HasBitmap() const { return FBitmap != nullptr; }
    // The coded bytes (empty when none).
    std::string_view Data() const;

    void Draw(TCanvas& ACanvas, const RECT& Rect);
    bool Equals(const TPDFJPEGImage& Other) const;
    bool Empty() const;
    int Width();
    int Height();

    int CompressionQuality() const { return FQuality; }
    // Clamped into 1..100.
    void SetCompressionQuality(int Value);
    int DPI() const { return FDPI; }
    void SetDPI(int Value) { FDPI = Value; }
    bool Grayscale() const;
    void SetGrayscale(bool Value);
    TJPEGPixelFormat PixelFormat() const { return FPixelFormat; }
    void SetPixelFormat(TJPEGPixelFormat Value);
    TJPEGPerformance Performance() const { return FPerformance; }
    void SetPerformance(TJPEGPerformance Value) { FPerformance = Value; }
    // Decoding at 1/2, 1/4 or 1/8 of the size (the codec scales while it
    // decodes); a change drops the decoded bitmap.
    TJPEGScale Scale() const { return FScale; }
    void SetScale(TJPEGScale Value);
    bool Smoothing() const { return FSmoothing; }
    void SetSmoothing(bool Value) { FSmoothing = Value; }
    bool ProgressiveEncoding() const { return FProgressiveEncoding; }
    bool Inverted() const { return FInverted; }
    TPDFColorManager* ColorManager() const { return FColorManager; }
    // Null is ignored; the given manager is not owned.
    void SetColorManager(TPDFColorManager* Value);
    // A palette for 8-bit decoding (its colours become the codec's colour
    // map); empty for none.
    void SetTempPalette(std::vector<TRGBQuad> Palette) { FTempPal = std::move(Palette); }

    TJPEGProgressEvent OnProgress;
    // Fired when the picture changes.
    std::function<void()> OnChange;

private:
    void LoadJPEGData(int64_t Size, TStream& Stream);
    void ResetJPEGData();
    void DropBitmap();
    void Changed();
    void Decode();
    // Count rows of CMYK samples (4 bytes a pixel) into the bitmap's rows
    // from FirstRow on, as blue, green, red through the colour manager.
    void ConvertCMYKRows(const uint8_t* Samples, int Count, int Width, int FirstRow);

    std::shared_ptr<TJPEGData> FImage;
    std::unique_ptr<TBitmap> FBitmap;
    int FScaledWidth = 0;
    int FScaledHeight = 0;
    std::vector<TRGBQuad> FTempPal;
    bool FSmoothing = true;
    bool FGrayScale = false;
    TJPEGPixelFormat FPixelFormat = jf24Bit;
    int FQuality = 90;
    int FDPI = 96;
    bool FProgressiveEncoding = false;
    TJPEGPerformance FPerformance = jpBestQuality;
    TJPEGScale FScale = jsFullSize;
    bool FNeedRecalc = true;
    bool FInverted = false;
    TPDFColorManager* FColorManager = nullptr;
    bool FExternalColorManager = false;
    bool FPaletteModified = false;
    // Converted CMYK values of the current manager and inversion.
    std::unordered_map<uint32_t, uint32_t> FCMYKMemo;
};

}  // namespace velmo
