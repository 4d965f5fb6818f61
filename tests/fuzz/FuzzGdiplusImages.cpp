// The GDI+ image target's work, apart from the other targets: it needs the
// facade and its codec libraries.
//
// An input is an image file (BMP, PNG, JPEG, TIFF or anything else), loaded
// from a stream; the lowest bit of its last byte asks for the load with
// colour management. A loaded image has its size, format and frame count
// read; each of its first 8 frames is selected, every row read, the frame
// drawn into a small bitmap, and saved as PNG and as G4 TIFF. Any status is
// an expected outcome.
//
// A few hundred bytes can describe a picture of tens of millions of pixels
// (run-length BMP rows that end early, fax pages, truncated JPEG scans): the
// decoders accept them up to their pixel cap. Every pass over such a picture
// is linear but slow under the fuzzing instrumentation, so a frame above
// kMaxWorkPixels is only measured and its first and last rows read; the load
// itself, which is where a hostile size must be caught, always runs.
#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/com/StreamAdapter.h"
#include "platform/files/Stream.h"
#include "platform/gdiplus/ImageCodecs.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

namespace {

using namespace velmo::gdiplus;

constexpr uint32_t kMaxFrames = 8;
constexpr int kCanvas = 64;
constexpr int64_t kMaxWorkPixels = int64_t(1) << 22;

volatile size_t gGdiplusSink = 0;

void StartOnce() {
    static std::once_flag Once;
    std::call_once(Once, [] {
        GpULONG_PTR Token = 0;
        GdiplusStartupInput Input;
        GdiplusStartup(&Token, &Input, nullptr);
    });
}

void Save(GpImage* Image, const CLSID& Encoder, const EncoderParameters* Params) {
    TStringStream Out{std::string()};
    TStreamAdapter A(Out);
    if (GdipSaveImageToStream(Image, &A, &Encoder, Params) == gsOk)
        gGdiplusSink = gGdiplusSink + size_t(Out.Size());
}

void Frame(GpImage* Image, GpBitmap* Canvas) {
    uint32_t W = 0, H = 0;
    GpPixelFormat Format = 0;
    GdipGetImageWidth(Image, &W);
    GdipGetImageHeight(Image, &H);
    GdipGetImagePixelFormat(Image, &Format);
    gGdiplusSink = gGdiplusSink + W + H + uint32_t(Format);

    auto* B = dynamic_cast<GpBitmap*>(Image);
    if (B == nullptr || B->Width <= 0 || B->Height <= 0) return;
    const bool Large = int64_t(B->Width) * B->Height > kMaxWorkPixels;
    std::vector<uint32_t> Row(size_t(B->Width));
    auto Read = [&](int Y) {
        ReadRowPARGB(*B, Y, Row.data());
        gGdiplusSink = gGdiplusSink + Row.front() + Row.back();
    };
    if (Large) {
        Read(0);
        Read(B->Height - 1);
        return;
    }
    for (int Y = 0; Y < B->Height; ++Y) Read(Y);

    if (Canvas != nullptr) {
        GpGraphics* G = nullptr;
        if (GdipGetImageGraphicsContext(Canvas, &G) == gsOk) {
            GdipGraphicsClear(G, 0xFFFFFFFFu);
            GdipDrawImageRectI(G, Image, 0, 0, kCanvas, kCanvas);
            GdipDeleteGraphics(G);
        }
    }

    Save(Image, EncoderPng, nullptr);
    uint32_t G4 = EncoderValueCompressionCCITT4;
    EncoderParameters Params;
    Params.Count = 1;
    Params.Parameter[0].Guid = EncoderCompression;
    Params.Parameter[0].NumberOfValues = 1;
    Params.Parameter[0].Type = EncoderParameterValueTypeLong;
    Params.Parameter[0].Value = &G4;
    Save(Image, EncoderTiff, &Params);
}

}  // namespace

void GdiplusImages(std::string_view Data) {
    StartOnce();
    const bool Icm = !Data.empty() && (Data.back() & 1);
    TStringStream In{std::string(Data)};
    TStreamAdapter A(In);
    GpImage* Image = nullptr;
    const TGPStatus S =
        Icm ? GdipLoadImageFromStreamICM(&A, &Image) : GdipLoadImageFromStream(&A, &Image);
    if (S != gsOk || Image == nullptr) return;

    GpBitmap* Canvas = nullptr;
    GdipCreateBitmapFromScan0(kCanvas, kCanvas, 0, PixelFormat32bppPARGB, nullptr, &Canvas);
    uint32_t Frames = 0;
    if (GdipImageGetFrameCount(Image, &FrameDimensionPage, &Frames) != gsOk) Frames = 1;
    for (uint32_t I = 0; I < std::min(Frames, kMaxFrames); ++I) {
        if (GdipImageSelectActiveFrame(Image, &FrameDimensionPage, I) != gsOk) continue;
        Frame(Image, Canvas);
    }
    if (Canvas != nullptr) GdipDisposeImage(Canvas);
    GdipDisposeImage(Image);
}

}  // namespace velmo::fuzz
