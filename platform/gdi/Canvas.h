// The drawing surface of a bitmap. Code that draws into a bitmap or reads
// its pixels while other code may hold it keeps its canvas locked meanwhile;
// the lock is recursive, so one thread may take it several times.
//
// Handle is a memory device context (DC.h) that draws into the bitmap
// itself, with the canvas's pen and brush selected: drawing calls made on it
// (paths, fills, blits) change the bitmap's pixels.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/gdi/Graphics.h"

namespace velmo {

class TBitmap;

enum TPenStyle { psSolid, psClear };
enum TBrushStyle { bsSolid, bsClear };

// A width of 0 or 1 draws one-pixel lines.
struct TPen {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
};

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
};

class TCanvas {
public:
    TCanvas() = default;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;
    virtual ~TCanvas();

    TPen& Pen() { return FPen; }
    TBrush& Brush() { return FBrush; }

    // The device context, made on first use; the pen and brush set since
    // the last call are selected into it. Null when it cannot be made.
    HDC Handle();
    // Fills Rect (right and bottom excluded) with the brush.
    void FillRect(const RECT& Rect);
    // Copies Source's Src rectangle onto Dest, stretching when their sizes
    // differ.
    void CopyRect(const RECT& Dest, TCanvas& Source, const RECT& Src);

    void Lock() {
        FMutex.lock();
        ++FLockCount;
    }
    bool TryLock() {
        if (!FMutex.try_lock()) return false;
        ++FLockCount;
        return true;
    }
    void Unlock() {
        --FLockCount;
        FMutex.unlock();
    }
    // Number of Lock calls not yet undone (by every thread).
    int LockCount() const { return FLockCount.load(); }

    // Draws on a device context owned by someone else (a window DC during
    // a paint) instead of the canvas's own; null gives it back, with the
    // objects the canvas selected into it replaced by the ones it found.
    void SetHandle(HDC Dc);

private:
    friend class TBitmap;

    std::recursive_mutex FMutex;
    std::atomic<int> FLockCount{0};
    TPen FPen;
    TBrush FBrush;
    TBitmap* FBitmap = nullptr;  // the bitmap drawn on, when there is one
    HDC FDc = nullptr;
    bool FForeignDc = false;  // FDc belongs to the caller of SetHandle
    HGDIOBJ FPenObject = nullptr;
    HGDIOBJ FBrushObject = nullptr;
    TPen FRealisedPen;
    TBrush FRealisedBrush;
    HGDIOBJ FDefaultPen = nullptr, FDefaultBrush = nullptr, FDefaultBitmap = nullptr;
};

// Holds a canvas locked for its lifetime, released on every path.
class TCanvasLock {
public:
    explicit TCanvasLock(TCanvas& Canvas) : FCanvas(Canvas) { FCanvas.Lock(); }
    ~TCanvasLock() { FCanvas.Unlock(); }
    TCanvasLock(const TCanvasLock&) = delete;
    TCanvasLock& operator=(const TCanvasLock&) = delete;

private:
    TCanvas& FCanvas;
};

}  // namespace velmo
