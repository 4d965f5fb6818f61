// The drawing surface of a bitmap. Code that draws into a bitmap or reads
// its pixels while other code may hold it keeps its canvas locked meanwhile;
// the lock is recursive, so one thread may take it several times.
#pragma once

#include <atomic>
#include <mutex>

namespace velmo {

class TCanvas {
public:
    TCanvas() = default;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;
    virtual ~TCanvas() = default;

    void Lock() {
        FMutex.lock();
        ++FLockCount;
    }
    bool TryLock() {
        if (!FMutex.try_lock())
            return false;
        ++FLockCount;
        return true;
    }
    void Unlock() {
        --FLockCount;
        FMutex.unlock();
    }
    // Number of Lock calls not yet undone (by every thread).
    int LockCount() const { return FLockCount.load(); }

private:
    std::recursive_mutex FMutex;
    std::atomic<int> FLockCount{0};
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
