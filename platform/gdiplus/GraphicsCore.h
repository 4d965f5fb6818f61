// The objects behind the facade's drawing handles (graphics, paths, pens,
// brushes, matrices, regions, image attributes) and the device interface
// through which a graphics draws.
//
// Coordinates: world coordinates go through the world transform and the
// page-unit scale into device coordinates, in which pixel (i, j) has its
// centre at (i, j) (the library's default pixel offset). The raster device
// adds half a pixel when rasterising, unless the graphics' pixel offset mode
// puts centres at half-integers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus/Internal.h"

namespace velmo::gdiplus {

// An affine matrix in the row-vector convention:
// (x, y) -> (x·M11 + y·M21 + Dx, x·M12 + y·M22 + Dy).
struct TGpXForm {
    double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;

    double Det() const { return M11 * M22 - M12 * M21; }
    bool Finite() const;
    // Singular or not finite: refused by every call that takes a matrix.
    bool Invertible() const;
    TGpXForm Inverse() const;  // only for invertible matrices
    void Apply(double X, double Y, double& OutX, double& OutY) const {
        OutX = X * M11 + Y * M21 + Dx;
        OutY = X * M12 + Y * M22 + Dy;
    }
    TGpXForm Linear() const { return {M11, M12, M21, M22, 0, 0}; }
};

// A followed by B.
TGpXForm Multiply(const TGpXForm& A, const TGpXForm& B);

// A path in device coordinates: X, Y pairs and the library's point types.
struct TDevicePath {
    std::vector<double> XY;
    std::vector<uint8_t> Types;
    GpFillMode Fill = FillModeAlternate;
};

}  // namespace velmo::gdiplus

namespace velmo {

struct GpMatrix {
    gdiplus::TGpXForm X;
};

struct GpPath {
    std::vector<GpPointF> Points;
    std::vector<uint8_t> Types;
    GpFillMode Fill = FillModeAlternate;
    // The next point starts a new figure.
    bool StartFigure = true;
};

// Infinite, empty, or the intersection of the filled areas of its items.
struct GpRegion {
    bool Infinite = true;
    bool Empty = false;
    std::vector<gdiplus::TDevicePath> Items;
};

enum class TGpBrushKind { Solid, LineGradient, Texture };

struct TGpStop {
    GpARGB Color = 0;
    double Position = 0;
};

struct GpBrush {
    TGpBrushKind Kind = TGpBrushKind::Solid;
    GpARGB Color = 0;
    // Line gradient: colour bands perpendicular to Point1 → Point2 in brush
    // space, Stops ascending from 0 to 1.
    GpPointF Point1, Point2;
    std::vector<TGpStop> Stops;
    GpWrapMode Wrap = WrapModeTile;
    // Brush space to world space.
    gdiplus::TGpXForm Transform;
    // Texture: a copy of the image area, premultiplied ARGB, rows top first.
    int TextureWidth = 0, TextureHeight = 0;
    std::vector<uint32_t> Texture;
};
struct GpSolidFill : GpBrush {};
struct GpLineGradient : GpBrush {};
struct GpTexture : GpBrush {};

struct GpPen {
    GpARGB Color = 0;
    // A pen made from a brush paints with its own copy of it.
    std::shared_ptr<const GpBrush> Brush;
    double Width = 1;
    GpUnit Unit = UnitWorld;
    // In pen widths; empty for a solid line.
    std::vector<double> Dashes;
    double DashOffset = 0;
    GpLineJoin Join = LineJoinMiter;
    GpLineCap StartCap = LineCapFlat, EndCap = LineCapFlat;
    GpDashCap DashCap = DashCapFlat;
    double MiterLimit = 10;
    gdiplus::TGpXForm Transform;
};

struct GpImageAttributes {
    bool KeyEnabled = false;
    GpARGB KeyLow = 0, KeyHigh = 0;
    bool MatrixEnabled = false;
    GpColorMatrix Matrix;
};

}  // namespace velmo

namespace velmo::gdiplus {

// What a drawing operation paints with.
// How the pixels of an image source are stored: premultiplied ARGB words,
// opaque blue-green-red bytes, or opaque words whose top byte is unused.
enum class TGpImageBits { PARGB32, BGR24, XRGB32 };

struct TGpSource {
    const GpBrush* Brush = nullptr;  // null: Color
    GpARGB Color = 0;
    // An image: premultiplied ARGB pixels, drawn with ImageToDevice mapping
    // image pixel space onto device space. Rows are ImageStride bytes apart
    // (0: ImageWidth * 4); ImageBits says how a pixel is stored, so that a
    // bitmap's own rows are read in place rather than copied.
    const void* Image = nullptr;
    int ImageWidth = 0, ImageHeight = 0;
    int ImageStride = 0;
    TGpImageBits ImageBits = TGpImageBits::PARGB32;
    TGpXForm ImageToDevice;
    // Brush space (world space for brushes) to device space.
    TGpXForm WorldToDevice;
};

// How a stroke is drawn: the pen, and the matrix that maps pen space to
// device space (its translation unused).
struct TGpStroke {
    const GpPen* Pen = nullptr;
    TGpXForm PenToDevice;
};

// The state an operation is drawn under.
struct TGpDrawState {
    bool AntiAlias = false;
    bool HalfPixelCentres = false;
    GpInterpolationMode Interpolation = InterpolationModeBilinear;
    bool SourceCopy = false;
    const GpRegion* Clip = nullptr;
};

// A drawing target. The raster devices draw at once into their pixels; a
// recording device may keep the operations instead.
class TGpDevice {
public:
    virtual ~TGpDevice() = default;
    virtual void Resolution(double& DpiX, double& DpiY) = 0;
    // The size of the target in pixels; false when the target is gone.
    virtual bool Size(int& Width, int& Height) = 0;
    // The bounds of the device's own clip (a DC's clip region) within the
    // target; false when the target is gone.
    virtual bool ClipBox(int& X0, int& Y0, int& X1, int& Y1) = 0;
    // Fills Path (or strokes it, when Stroke is given) with Source.
    virtual TGPStatus Paint(const TGpDrawState& State, const TDevicePath& Path,
                            const TGpStroke* Stroke, const TGpSource& Source) = 0;
    // Sets every pixel within the clip to Color.
    virtual TGPStatus Clear(const TGpDrawState& State, GpARGB Color) = 0;
};

// A recording DC (one with a recorder, DC.h) gets the device of the
// recording hook when one is installed; any other DC a raster device.
std::unique_ptr<TGpDevice> NewDcDevice(HDC Dc);
// The raster device of a DC, recorder or not.
std::unique_ptr<TGpDevice> NewRasterDcDevice(HDC Dc);
// Bitmap must be a live 24bppRGB, 32bppRGB, 32bppARGB or 32bppPARGB image.
std::unique_ptr<TGpDevice> NewBitmapDevice(GpBitmap* Bitmap);

// A metafile being recorded: graphics made on it draw through NewDevice;
// Finish ends the recording and returns the metafile's bytes (devices made
// earlier then draw nothing).
class TGpRecording {
public:
    virtual ~TGpRecording() = default;
    virtual std::unique_ptr<TGpDevice> NewDevice() = 0;
    virtual std::string Finish() = 0;
};

// Installed by the metafile layer: the device of a recording DC (null for a
// DC that does not record), and a new EMF+ recording of a frame of Width ×
// Height pixels.
using TDcDeviceHook = std::unique_ptr<TGpDevice> (*)(HDC Dc);
using TGpRecordingFactory = std::unique_ptr<TGpRecording> (*)(int Width, int Height);
void SetRecordingHooks(TDcDeviceHook DcDevice, TGpRecordingFactory Recording);
TGpRecordingFactory RecordingFactory();

// Times a cairo context was found in an error state after an operation
// (a fault of the facade: its inputs are checked before they reach cairo).
int64_t CairoFaults();

}  // namespace velmo::gdiplus
