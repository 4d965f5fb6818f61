// Recording targets: a DC that records EMF (its DC calls and the GDI+
// facade drawn on it both become records), and the facade's EMF+
// recordings. Opaque solid fills and strokes become path records;
// translucent, gradient and texture paint and images are rasterised at the
// metafile's resolution and placed as bitmaps (EMR_ALPHABLEND or
// EMR_STRETCHDIBITS, EMF+ image draws).
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/gdi/DC.h"
#include "platform/metafile/MetafileRecords.h"

namespace velmo::metafile {

// Installs the recording devices into the GDI+ facade; safe to call often.
void InstallMetafileRecording();

class TEmfRecorder : public TDcRecorder {
public:
    TEmfRecorder(int Width, int Height);

    void PathPainted(const std::vector<TDcPathPoint>& Path, int What, int FillMode,
                     const TDcPenInfo& Pen, const TDcBrushInfo& Brush) override;
    void PixelsChanged(const TBitmap& Bitmap, const RECT& Area) override;
    void ClipChanged(const std::vector<RECT>* Rects) override;

    // Records of the GDI+ device drawing on the recording DC.
    // Clip: figures of each clip item (all intersected), in device pixels,
    // with their fill modes; Figures the path to paint.
    struct TFigurePath {
        std::vector<TDcPathPoint> Points;
        int FillMode = ALTERNATE;
    };
    void VectorPaint(const std::vector<TFigurePath>& Clip, const TFigurePath& Path, bool Fill,
                     COLORREF Color, uint32_t PenStyle, uint32_t PenWidth);
    void PlaceBitmap(int X, int Y, int W, int H, const std::vector<uint32_t>& PARGB);

    // Ends the recording; later calls record nothing.
    std::string Finish();
    int Width() const { return FEmf.Width(); }
    int Height() const { return FEmf.Height(); }

private:
    void PathRecords(const std::vector<TDcPathPoint>& Path);
    void UsePen(uint32_t Style, uint32_t Width, COLORREF Color, bool Geometric);
    void UseBrush(bool Hollow, COLORREF Color);
    void UseFillMode(int Mode);

    std::mutex FLock;
    TEmfWriter FEmf;
    bool FFinished = false;
    // The selected pen and brush (0: a stock object) and their attributes.
    uint32_t FPen = 0, FBrush = 0;
    uint32_t FPenStyle = 0xFFFFFFFF, FPenWidth = 0;
    COLORREF FPenColor = 0, FBrushColor = 0;
    bool FBrushHollow = false, FPenNull = false, FHasBrush = false, FHasPen = false;
    int FFillMode = 0;
};

// A recording DC: a memory DC over a white Width × Height bitmap whose
// drawing is recorded as EMF. The DC is freed with this object.
class TEmfRecordingDc {
public:
    TEmfRecordingDc(int Width, int Height);
    ~TEmfRecordingDc();
    TEmfRecordingDc(const TEmfRecordingDc&) = delete;
    TEmfRecordingDc& operator=(const TEmfRecordingDc&) = delete;

    HDC Dc() const { return FDc; }
    TBitmap& Bitmap() { return *FBitmap; }
    // The EMF of what was drawn; the DC records nothing afterwards.
    std::string Finish();

private:
    std::unique_ptr<TBitmap> FBitmap;
    std::shared_ptr<TEmfRecorder> FRecorder;
    HDC FDc = nullptr;
    HBITMAP FObject = nullptr;
    HGDIOBJ FOld = nullptr;
};

}  // namespace velmo::metafile
