// The printer region list of the two-pass printer destination and the
// renderer library's second pass over it.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/gdiplus/GdiPlusFlat.h"
#include "render/Printing.h"
#include "render/Renderer.h"

namespace velmo {

namespace {

int64_t Area(const TKPLRPrinterBBox& B) {
    return int64_t(B.Right - B.Left) * int64_t(B.Bottom - B.Top);
}

TKPLRPrinterBBox UnionOf(const TPrinterBBoxArray& L) {
    TKPLRPrinterBBox U = L.front();
    for (const TKPLRPrinterBBox& B : L) {
        U.Left = std::min(U.Left, B.Left);
        U.Top = std::min(U.Top, B.Top);
        U.Right = std::max(U.Right, B.Right);
        U.Bottom = std::max(U.Bottom, B.Bottom);
    }
    return U;
}

}  // namespace

bool TPDFRenderer::AdjustBBox(double* Left, double* Top, double* Right, double* Bottom) const {
    double L = std::min(*Left, *Right), R = std::max(*Left, *Right);
    double T = std::min(*Top, *Bottom), B = std::max(*Top, *Bottom);
    if (!std::isfinite(L) || !std::isfinite(R) || !std::isfinite(T) || !std::isfinite(B))
        return false;
    if (R - L <= 0 || B - T <= 0) return false;
    L = std::floor(L);
    R = std::ceil(R);
    T = std::floor(T);
    B = std::ceil(B);
    if (R - L <= 0 || B - T <= 0 || R < 0) return false;
    R = std::min(R, double(FMaxX));
    L = std::max(L, 0.0);
    if (L > FMaxX) return false;
    T = std::max(T, 0.0);
    if (T > FMaxY || B < 0) return false;
    B = std::min(B, double(FMaxY));
    *Left = L;
    *Top = T;
    *Right = R;
    *Bottom = B;
    return R - L > 0 && B - T > 0;
}

bool TPDFRenderer::IsBBoxInPrinterArray(double Left, double Top, double Right,
                                        double Bottom) const {
    if (!AdjustBBox(&Left, &Top, &Right, &Bottom)) return true;
    for (const TKPLRPrinterBBox& R : FPrinterBBoxArray)
        if (R.Left <= Left && R.Right >= Right && R.Top <= Top && R.Bottom >= Bottom) return true;
    return false;
}

void TPDFRenderer::InsertPrinterRegion(const TKPLRPrinterBBox& N) {
    TPrinterBBoxArray New;
    New.reserve(FPrinterBBoxArray.size() + 4);
    New.push_back(N);
    for (const TKPLRPrinterBBox& B : FPrinterBBoxArray) {
        const TKPLRPrinterBBox I{std::max(N.Left, B.Left), std::max(N.Top, B.Top),
                                 std::min(N.Right, B.Right), std::min(N.Bottom, B.Bottom)};
        if (int64_t(I.Bottom) - I.Top < 1 || int64_t(I.Right) - I.Left < 1) {
            New.push_back(B);
            continue;
        }
        if (B.Top < I.Top && I.Top - B.Top - 1 > 0) New.push_back({B.Left, B.Top, B.Right, I.Top - 1});
        if (B.Left < I.Left && I.Left - B.Left - 1 > 0)
            New.push_back({B.Left, I.Top, I.Left - 1, I.Bottom});
        if (I.Right < B.Right && B.Right - I.Right - 1 > 0)
            New.push_back({I.Right + 1, I.Top, B.Right, I.Bottom});
        if (I.Bottom < B.Bottom && B.Bottom - I.Bottom - 1 > 0)
            New.push_back({B.Left, I.Bottom + 1, B.Right, B.Bottom});
    }
    FPrinterBBoxArray = std::move(New);
    // Cutting can multiply the regions; beyond the cap one region, their
    // union, stands for them all (the second pass then paints a little more
    // than needed, instead of merging for ever).
    if (FPrinterBBoxArray.size() > kMaxPrinterRegions)
        FPrinterBBoxArray = TPrinterBBoxArray{UnionOf(FPrinterBBoxArray)};
}

void TPDFRenderer::AddToPrinterBBoxArray(double Left, double Top, double Right, double Bottom) {
    if (!AdjustBBox(&Left, &Top, &Right, &Bottom)) return;
    InsertPrinterRegion({int32_t(Left), int32_t(Top), int32_t(Right), int32_t(Bottom)});
    // Merging: rounds while the previous one merged, at most C² of them.
    const size_t C = FPrinterBBoxArray.size();
    const size_t MaxRounds = std::max<size_t>(1, C * C);
    bool Merged = true;
    for (size_t Round = 0; Round < MaxRounds && Merged; ++Round) {
        Merged = false;
        auto& L = FPrinterBBoxArray;
        for (size_t A = L.size(); A-- > 0 && !Merged;) {
            for (size_t J = A; J-- > 0;) {
                const TKPLRPrinterBBox U{std::min(L[A].Left, L[J].Left), std::min(L[A].Top, L[J].Top),
                                         std::max(L[A].Right, L[J].Right),
                                         std::max(L[A].Bottom, L[J].Bottom)};
                const int64_t UA = Area(U);
                if (UA <= 0 || double(Area(L[J]) + Area(L[A])) / double(UA) <= 0.8) continue;
                L.erase(L.begin() + std::ptrdiff_t(A));
                L.erase(L.begin() + std::ptrdiff_t(J));
                InsertPrinterRegion(U);
                Merged = true;
                break;
            }
        }
    }
}

bool TPDFRenderer::PrinterPassSkips(double Left, double Top, double Right, double Bottom,
                                    bool Plain) {
    // Under a soft mask placed as an image, nothing reaches the device.
    if (FImagedMasks > 0) return true;
    if (FDestination != rdKPLRPrinter) return false;
    if (IsBBoxInPrinterArray(Left, Top, Right, Bottom)) return true;
    if (Plain) return false;
    AddToPrinterBBoxArray(Left, Top, Right, Bottom);
    return true;
}

void TPDFRenderer::PrinterAreaBounds(double& Left, double& Top, double& Right, double& Bottom) {
    // Without GDI+ bounds the element may cover the whole page.
    Left = 0;
    Top = 0;
    Right = FMaxX;
    Bottom = FMaxY;
    if (Picasso && Picasso->Model() == pmGDIPlus && Picasso->Graphics() != nullptr) {
        GpRectF R{};
        if (Picasso->GDIPlus()->GdipGetVisibleClipBounds(Picasso->Graphics(), &R) == gsOk) {
            Left = R.X;
            Top = R.Y;
            Right = double(R.X) + R.Width;
            Bottom = double(R.Y) + R.Height;
        }
    }
}

void TPDFRenderer::PrinterSecondPass(TCanvas* Target, double PageHeight) {
    if (FPrinterBBoxArray.empty() || Target == nullptr) return;
    const TKPLRPrinterBBox U = UnionOf(FPrinterBBoxArray);
    const int64_t W = std::llabs(int64_t(U.Right) - U.Left);
    const int64_t H = std::llabs(int64_t(U.Bottom) - U.Top);
    if (W < 1 || H < 1) return;
    // A library that cannot be bound draws nothing: the buffer would hold
    // no picture, so nothing is copied onto the paper.
    {
        TKorbexPDFLibraryKPLR Probe;
        if (!Probe.Attach(FKPLRFileName)) return;
    }
    std::vector<uint8_t> Buffer(size_t(W) * size_t(H) * 3, 0xFF);

    // The pass renders as rdKPLRMemory into the buffer; everything it
    // changes is put back on every path.
    struct TRestore {
        TPDFRenderer& R;
        TPDFRenderDest Dest;
        TPrinterBBoxArray Clip;
        void* Target;
        int32_t MW, MH, MB, OX, OY;
        bool Erase;
        TPDFXForm Mat;
        ~TRestore() {
            R.FDestination = Dest;
            R.FClipBBoxArray = std::move(Clip);
            R.FKPLRMemoryTarget = Target;
            R.FKPLRMemoryWidth = MW;
            R.FKPLRMemoryHeight = MH;
            R.FKPLRMemoryBitsPerPixel = MB;
            R.FKPLROffsetX = OX;
            R.FKPLROffsetY = OY;
            R.FKPLRErasePage = Erase;
            R.CanvasMat = Mat;
        }
    } Restore{*this,           FDestination,      FClipBBoxArray,     FKPLRMemoryTarget,
              FKPLRMemoryWidth, FKPLRMemoryHeight, FKPLRMemoryBitsPerPixel, FKPLROffsetX,
              FKPLROffsetY,    FKPLRErasePage,    CanvasMat};

    ClearCachedResources();
    FDestination = rdKPLRMemory;
    FKPLRMemoryTarget = Buffer.data();
    FKPLRMemoryWidth = int32_t(W);
    FKPLRMemoryHeight = int32_t(H);
    FKPLRMemoryBitsPerPixel = 24;
    FKPLRErasePage = false;
    FKPLROffsetX = U.Left;
    FKPLROffsetY = U.Top;
    // The library clips to the regions, in the buffer's pixels.
    FClipBBoxArray.clear();
    for (const TKPLRPrinterBBox& B : FPrinterBBoxArray)
        FClipBBoxArray.push_back({B.Left - U.Left, B.Top - U.Top, B.Right - U.Left, B.Bottom - U.Top});
    // The page starts again from its starting matrix, whatever the first
    // pass left in force.
    CanvasMat = StartMatrix;
    RenderDevice(nullptr, int32_t(W), int32_t(H), PageHeight);

    HDC Dc = Target->Handle();
    for (const TKPLRPrinterBBox& B : FPrinterBBoxArray)
        PrintRendererBand(Dc, Buffer.data(), int32_t(W), int32_t(H), B.Left - U.Left, B.Top - U.Top,
                          B.Right - B.Left, B.Bottom - B.Top, U.Left, U.Top,
                          FGDIPlusSettings.PrintMode);
}

}  // namespace velmo
