// Images on the device canvas for each drawing model, the stream
// conversions the canvas offers through GDI+, and the COM stream through
// which GDI+ reads the caller's streams.
//
// Every GDI+ image and image-attributes object made here is released before
// the call returns, whatever path the call takes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/PNG.h"
#include "platform/gdiplus/ImageCodecs.h"
#include "render/Picasso.h"

namespace velmo {

namespace {

// Calls of the optional libraries: a missing export is skipped rather than
// called.
#define VPL_CAIRO(Name, ...) \
    if (FCairoDLL && FCairoDLL->Name) FCairoDLL->Name(__VA_ARGS__)
#define VPL_KPLR(Name, ...) \
    if (FRendererDLL && FRendererDLL->Name) FRendererDLL->Name(__VA_ARGS__)

bool Finite(double V) { return std::isfinite(V); }

// Device coordinates for GDI calls: nearest integer, ties to even, kept well
// inside the integer range.
int32_t RoundCoord(double V) {
    if (!Finite(V)) return 0;
    return static_cast<int32_t>(std::nearbyint(std::clamp(V, -1073741824.0, 1073741824.0)));
}

GpREAL Single(double V) { return static_cast<GpREAL>(V); }

// An image loaded through the binding, disposed when the holder goes.
class TGdipImage {
public:
    explicit TGdipImage(TKVPLGDIPlus* GDIPlus) : FGDIPlus(GDIPlus) {}
    ~TGdipImage() { Reset(); }
    TGdipImage(const TGdipImage&) = delete;
    TGdipImage& operator=(const TGdipImage&) = delete;

    // Loads Stream from its current position; false when GDI+ cannot.
    bool Load(TStream& Stream, bool UseICM = false) {
        Reset();
        if (FGDIPlus == nullptr || FGDIPlus->GDIPlusStatus != gpReady) return false;
        auto* Adapter = new TImageBytesStreamAdapter(Stream);
        GpImage* Image = nullptr;
        const TGPStatus S = UseICM ? FGDIPlus->GdipLoadImageFromStreamICM(Adapter, &Image)
                                   : FGDIPlus->GdipLoadImageFromStream(Adapter, &Image);
        Adapter->Release();
        if (S != gsOk) {
            if (Image != nullptr) FGDIPlus->GdipDisposeImage(Image);
            return false;
        }
        FImage = Image;
        return FImage != nullptr;
    }
    bool LoadFile(const std::u16string& FileName) {
        Reset();
        if (FGDIPlus == nullptr || FGDIPlus->GDIPlusStatus != gpReady) return false;
        GpImage* Image = nullptr;
        const TGPStatus S = FGDIPlus->GdipLoadImageFromFile(FileName.c_str(), &Image);
        if (S != gsOk) {
            if (Image != nullptr) FGDIPlus->GdipDisposeImage(Image);
            return false;
        }
        FImage = Image;
        return FImage != nullptr;
    }
    void Reset() {
        if (FImage != nullptr) FGDIPlus->GdipDisposeImage(FImage);
        FImage = nullptr;
    }
    GpImage* Get() const { return FImage; }

private:
    TKVPLGDIPlus* FGDIPlus;
    GpImage* FImage = nullptr;
};

// Image attributes, disposed when the holder goes.
class TGdipAttributes {
public:
    explicit TGdipAttributes(TKVPLGDIPlus* GDIPlus) : FGDIPlus(GDIPlus) {
        if (FGDIPlus->GdipCreateImageAttributes(&FAttributes) != gsOk) FAttributes = nullptr;
    }
    ~TGdipAttributes() {
        if (FAttributes != nullptr) FGDIPlus->GdipDisposeImageAttributes(FAttributes);
    }
    TGdipAttributes(const TGdipAttributes&) = delete;
    TGdipAttributes& operator=(const TGdipAttributes&) = delete;
    GpImageAttributes* Get() const { return FAttributes; }

private:
    TKVPLGDIPlus* FGDIPlus;
    GpImageAttributes* FAttributes = nullptr;
};

// The first two bytes of a stream, read from its start; the stream is left
// at its start. Missing bytes read as 0.
void FirstTwoBytes(TStream& Stream, uint8_t Bytes[2]) {
    Bytes[0] = Bytes[1] = 0;
    Stream.Seek(0, soBeginning);
    Stream.Read(Bytes, 2);
    Stream.Seek(0, soBeginning);
}

// The whole of a stream from its start, refused above the facade's limit
// of encoded input.
bool ReadWholeStream(TStream& Stream, std::string& Out) {
    const int64_t Size = Stream.GetSize();
    if (Size <= 0 || Size > gdiplus::MaxEncodedBytes) return false;
    Out.assign(size_t(Size), '\0');
    Stream.Seek(0, soBeginning);
    const int64_t Got = Stream.Read(Out.data(), Size);
    Stream.Seek(0, soBeginning);
    if (Got <= 0) return false;
    Out.resize(size_t(Got));
    return true;
}

// A JPEG decoded by the facade's decoder into a 24-bit bitmap.
std::unique_ptr<TBitmap> DecodeJpegToBitmap(TStream& Stream) {
    std::string Bytes;
    if (!ReadWholeStream(Stream, Bytes)) return nullptr;
    GpBitmap Decoded;
    if (gdiplus::DecodeJpeg(Bytes, false, Decoded) != gsOk) return nullptr;
    if (Decoded.Width <= 0 || Decoded.Height <= 0) return nullptr;
    auto BM = std::make_unique<TBitmap>(Decoded.Width, Decoded.Height, pf24bit);
    std::vector<uint8_t> Row(size_t(Decoded.Width) * 4);
    for (int Y = 0; Y < Decoded.Height; ++Y) {
        gdiplus::ReadRowBGRA(Decoded, Y, Row.data());
        uint8_t* Out = BM->ScanLine(Y);
        for (int X = 0; X < Decoded.Width; ++X) {
            Out[X * 3] = Row[size_t(X) * 4];
            Out[X * 3 + 1] = Row[size_t(X) * 4 + 1];
            Out[X * 3 + 2] = Row[size_t(X) * 4 + 2];
        }
    }
    return BM;
}

std::unique_ptr<TMemoryStream> BitmapAsPNG(const TBitmap& BM) {
    auto Out = std::make_unique<TMemoryStream>();
    TPNGWriter Writer(BM);
    Writer.SaveToStream(*Out);
    Out->Seek(0, soBeginning);
    return Out;
}


}  // namespace

// ---------------------------------------------------------------------------
// The COM stream with byte access

const TGUID TImageBytesStreamAdapter::IID_ByteAccess = {
    0x025D1823, 0x6C7D, 0x447B, {0xBB, 0xDB, 0xA3, 0xCB, 0xC3, 0xDF, 0xA2, 0xFC}};

HRESULT TImageBytesStreamAdapter::QueryInterface(const TGUID& Iid, void** Object) {
    if (Object != nullptr && Iid == IID_ByteAccess) {
        AddRef();
        *Object = this;
        return S_OK;
    }
    return IStream::QueryInterface(Iid, Object);
}

HRESULT TImageBytesStreamAdapter::CountBytes(uint64_t* pcb) {
    if (pcb == nullptr) return E_POINTER;
    uint64_t Size = 0;
    const HRESULT R = Stat(&Size);
    if (FAILED(R)) return R;
    *pcb = Size;
    return S_OK;
}

HRESULT TImageBytesStreamAdapter::LockBytes(uint32_t cb, uint64_t ulOffset, void** ppvBytes) {
    if (ppvBytes == nullptr) return E_POINTER;
    *ppvBytes = nullptr;
    uint64_t Size = 0;
    if (FAILED(Stat(&Size)) || ulOffset > Size || cb > Size - ulOffset) return E_INVALIDARG;
    std::string Bytes(cb, '\0');
    try {
        if (Stream().Seek(int64_t(ulOffset), soBeginning) != int64_t(ulOffset))
            return STG_E_SEEKERROR;
        Stream().ReadBuffer(Bytes.data(), cb);
    } catch (const std::exception&) {
        return STG_E_READFAULT;
    }
    LockedBytes.push_back(std::move(Bytes));
    *ppvBytes = LockedBytes.back().data();
    return S_OK;
}

HRESULT TImageBytesStreamAdapter::UnlockBytes(void* pvBytes, uint32_t, uint64_t) {
    if (pvBytes == nullptr) return S_OK;
    for (std::string& Entry : LockedBytes)
        if (!Entry.empty() && Entry.data() == pvBytes) {
            std::string().swap(Entry);
            break;
        }
    return S_OK;
}

// ---------------------------------------------------------------------------
// Images

void TPDFPicasso::DrawBitmap(TBitmap* BM, double& ULX, double& ULY, double& URX, double& URY,
                             double& LLX, double& LLY) {
    if (FModel != pmGDIPlus || BM == nullptr) return;
    DrawImagePoints(ULX, ULY, URX, URY, LLX, LLY, *BM);
}

void TPDFPicasso::DrawImage(double Left, double Top, double Width, double Height, TBitmap& BM) {
    switch (FModel) {
        case pmGDI: {
            if (FCanvas == nullptr || BM.Empty()) return;
            if (!Finite(Left) || !Finite(Top) || !Finite(Width) || !Finite(Height)) return;
            const RECT Dest{RoundCoord(Left), RoundCoord(Top), RoundCoord(Left + Width),
                            RoundCoord(Top + Height)};
            const RECT Src{0, 0, BM.Width(), BM.Height()};
            TCanvasLock Lock(*FCanvas);
            FCanvas->CopyRect(Dest, BM.Canvas(), Src);
            break;
        }
        case pmGDIPlus: {
            if (FGraphics == nullptr) return;
            TMemoryStream Bmp;
            try {
                BM.SaveToStream(Bmp);
            } catch (const std::exception&) {
                return;
            }
            Bmp.Seek(0, soBeginning);
            TGdipImage Image(FGDIPlus.get());
            if (!Image.Load(Bmp)) return;
            FGDIPlus->GdipDrawImageRect(FGraphics, Image.Get(), Single(Left), Single(Top),
                                        Single(Width), Single(Height));
            break;
        }
        default:
            break;
    }
}

void TPDFPicasso::DrawAnyImage(double Left, double Top, double Width, double Height,
                               TStream& Stream, int32_t Page, bool UseICM) {
    if (FModel != pmGDIPlus || FGraphics == nullptr) return;
    TGdipImage Image(FGDIPlus.get());
    if (!Image.Load(Stream, UseICM)) return;
    // A page the image does not have draws nothing rather than the first.
    if (Page >= 2 && FGDIPlus->SelectImagePage(Image.Get(), uint32_t(Page)) != gsOk) return;
    FGDIPlus->GdipDrawImageRect(FGraphics, Image.Get(), Single(Left), Single(Top), Single(Width),
                                Single(Height));
}

void TPDFPicasso::DrawImagePoints(double ULX, double ULY, double URX, double URY, double LLX,
                                  double LLY, TBitmap& BM) {
    if (FModel != pmGDIPlus || FGraphics == nullptr) return;
    const GpPointF Points[3] = {
        {Single(ULX), Single(ULY)}, {Single(URX), Single(URY)}, {Single(LLX), Single(LLY)}};
    // Blue-green-red rows are GDI+'s 24-bit layout: the back end reads the
    // bitmap's own rows. Other formats go through their BMP form.
    if (BM.PixelFormat() == pf24bit && !BM.Empty() && FGDIPlus != nullptr) {
        GpBitmap* Bitmap = nullptr;
        if (FGDIPlus->GdipCreateBitmapFromScan0(BM.Width(), BM.Height(),
                                                int32_t(BM.BytesPerScanLine()), PixelFormat24bppRGB,
                                                BM.ScanLine(0), &Bitmap) != gsOk ||
            Bitmap == nullptr)
            return;
        SetGDIPlusImageMode();
        FGDIPlus->GdipDrawImagePoints(FGraphics, reinterpret_cast<GpImage*>(Bitmap), Points, 3);
        SetGDIPlusTextMode();
        FGDIPlus->GdipDisposeImage(reinterpret_cast<GpImage*>(Bitmap));
        return;
    }
    TMemoryStream Bmp;
    try {
        BM.SaveToStream(Bmp);
    } catch (const std::exception&) {
        return;
    }
    Bmp.Seek(0, soBeginning);
    TGdipImage Image(FGDIPlus.get());
    if (!Image.Load(Bmp)) return;
    SetGDIPlusImageMode();
    FGDIPlus->GdipDrawImagePoints(FGraphics, Image.Get(), Points, 3);
    SetGDIPlusTextMode();
}

void TPDFPicasso::DrawImagePointsAlpha(double ULX, double ULY, double URX, double URY, double LLX,
                                       double LLY, TBitmap& BM) {
    if (FModel != pmGDIPlus || FGraphics == nullptr || FGDIPlus == nullptr) return;
    if (BM.Empty() || BM.PixelFormat() != pf32bit) return;
    GpBitmap* Bitmap = nullptr;
    // The rows are the bitmap's own, top first; GDI+ reads them in place.
    if (FGDIPlus->GdipCreateBitmapFromScan0(BM.Width(), BM.Height(), int32_t(BM.BytesPerScanLine()),
                                            PixelFormat32bppARGB, BM.ScanLine(0),
                                            &Bitmap) != gsOk ||
        Bitmap == nullptr)
        return;
    const GpPointF Points[3] = {
        {Single(ULX), Single(ULY)}, {Single(URX), Single(URY)}, {Single(LLX), Single(LLY)}};
    SetGDIPlusImageMode();
    FGDIPlus->GdipDrawImagePoints(FGraphics, reinterpret_cast<GpImage*>(Bitmap), Points, 3);
    SetGDIPlusTextMode();
    FGDIPlus->GdipDisposeImage(reinterpret_cast<GpImage*>(Bitmap));
}

void TPDFPicasso::DrawAnyImagePoints(double ULX, double ULY, double URX, double URY, double LLX,
                                     double LLY, TStream& Stream) {
    switch (FModel) {
        case pmCairo: {
            if (!FCairoDLL || FCairoHandle == nullptr ||
                FCairoDLL->cairo_image_surface_create_from_png_stream == nullptr)
                return;
            // A singular or non-finite transform would put the context into
            // its error state, and the rest of the page would vanish.
            const TPDFXForm& T = FCurrentXForm;
            const double Det = T.eM11 * T.eM22 - T.eM12 * T.eM21;
            if (!Finite(T.eM11) || !Finite(T.eM12) || !Finite(T.eM21) || !Finite(T.eM22) ||
                !Finite(T.eDx) || !Finite(T.eDy) || !Finite(Det) || Det == 0)
                return;
            std::unique_ptr<TMemoryStream> Converted = CairoConvertImage(Stream);
            TStream& Source = Converted ? static_cast<TStream&>(*Converted) : Stream;
            cairo_surface_t* Surface =
                FCairoDLL->cairo_image_surface_create_from_png_stream(CairoStreamReader, &Source);
            Converted.reset();
            if (Surface == nullptr) return;
            cairo_status_t Status = CAIRO_STATUS_READ_ERROR;
            if (FCairoDLL->cairo_surface_status) Status = FCairoDLL->cairo_surface_status(Surface);
            if (Status != CAIRO_STATUS_NO_MEMORY && Status != CAIRO_STATUS_READ_ERROR &&
                FCairoDLL->cairo_image_surface_get_width &&
                FCairoDLL->cairo_image_surface_get_height) {
                const int W = FCairoDLL->cairo_image_surface_get_width(Surface);
                const int H = FCairoDLL->cairo_image_surface_get_height(Surface);
                if (W > 0 && H > 0) {
                    const cairo_matrix_t Current{T.eM11, T.eM12, T.eM21, T.eM22, T.eDx, T.eDy};
                    // The pixel grid (rows downward) onto the unit square (y
                    // upward).
                    const cairo_matrix_t Unit{1.0 / W, 0, 0, -1.0 / H, 0, 1};
                    VPL_CAIRO(cairo_set_matrix, FCairoHandle, &Current);
                    VPL_CAIRO(cairo_transform, FCairoHandle, &Unit);
                    VPL_CAIRO(cairo_set_operator, FCairoHandle,
                              TCairoDLL::GetBlendMode(FBlendMode));
                    VPL_CAIRO(cairo_set_source_surface, FCairoHandle, Surface, 0, 0);
                    VPL_CAIRO(cairo_paint_with_alpha, FCairoHandle, FFillAlpha);
                    VPL_CAIRO(cairo_identity_matrix, FCairoHandle);
                }
            }
            VPL_CAIRO(cairo_surface_destroy, Surface);
            break;
        }
        case pmKPLR: {
            if (!FRendererDLL) return;
            std::unique_ptr<TBitmap> BM = KPLRConvertImage(Stream);
            if (!BM || BM->Empty()) return;
            int32_t Format = -1, RowLength = 0;
            KPLRImageLayout(*BM, Format, RowLength);
            std::vector<uint8_t> Buffer;
            if (RowLength > 0) {
                Buffer.resize(size_t(RowLength) * size_t(BM->Height()));
                for (int Y = 0; Y < BM->Height(); ++Y)
                    std::memcpy(Buffer.data() + size_t(Y) * size_t(RowLength), BM->ScanLine(Y),
                                size_t(RowLength));
            }
            KPLRPrepare();
            VPL_KPLR(KPLR_set_operator, FRendererHandle,
                     TKorbexPDFLibraryKPLR::GetBlendMode(FBlendMode));
            VPL_KPLR(KPLR_set_fill_alpha, FRendererHandle, FFillAlpha);
            if (RowLength > 0) {
                VPL_KPLR(KPLR_draw_image, FRendererHandle, Buffer.data(), BM->Width(), BM->Height(),
                         RowLength, Format, 1, -1, -1);
            }
            break;
        }
        case pmGDIPlus: {
            if (FGraphics == nullptr) return;
            if (FImagePrintMode == pmOptimizeImages) {
                // Axis-aligned JPEG and BMP images go to the printer as they
                // are, when it takes them.
                const bool Aligned = std::nearbyint(ULX * 10) == std::nearbyint(LLX * 10) &&
                                     std::nearbyint(ULY * 10) == std::nearbyint(URY * 10);
                uint8_t Head[2];
                FirstTwoBytes(Stream, Head);
                const bool Direct =
                    (Head[0] == 0xFF && Head[1] == 0xD8) || (Head[0] == 'B' && Head[1] == 'M');
                if (Aligned && Direct) {
                    std::unique_ptr<TBitmap> BM = KPLRConvertImage(Stream);
                    if (BM && BM->PixelFormat() == pf24bit) {
                        HDC DC = GetDeviceContext();
                        if (DC == nullptr && FCanvas != nullptr) DC = FCanvas->Handle();
                        if (PrintBitmapPassThrough(DC, *BM, RoundCoord(ULX), RoundCoord(ULY),
                                                   RoundCoord(URX - ULX), RoundCoord(LLY - ULY),
                                                   FSettings.PrintMode))
                            return;
                    }
                }
            }
            // The image starts at the stream's start, wherever the tests
            // above or the caller left the position.
            Stream.Seek(0, soBeginning);
            TGdipImage Image(FGDIPlus.get());
            if (!Image.Load(Stream)) return;
            const GpPointF Points[3] = {
                {Single(ULX), Single(ULY)}, {Single(URX), Single(URY)}, {Single(LLX), Single(LLY)}};
            SetGDIPlusImageMode();
            FGDIPlus->GdipDrawImagePoints(FGraphics, Image.Get(), Points, 3);
            SetGDIPlusTextMode();
            break;
        }
        default:
            break;
    }
}

void TPDFPicasso::DrawAnyImagePointsChroma(double ULX, double ULY, double URX, double URY,
                                           double LLX, double LLY, TStream& Stream, int32_t Width,
                                           int32_t Height, uint32_t Min, uint32_t Max) {
    if (FModel != pmGDIPlus || FGraphics == nullptr) return;
    TGdipImage Image(FGDIPlus.get());
    if (!Image.Load(Stream)) return;
    TGdipAttributes Attributes(FGDIPlus.get());
    if (Attributes.Get() == nullptr) return;
    FGDIPlus->GdipSetImageAttributesColorKeys(Attributes.Get(), ColorAdjustTypeBitmap, 1, Min, Max);
    const GpPointF Points[3] = {
        {Single(ULX), Single(ULY)}, {Single(URX), Single(URY)}, {Single(LLX), Single(LLY)}};
    SetGDIPlusImageMode();
    FGDIPlus->GdipDrawImagePointsRect(FGraphics, Image.Get(), Points, 3, 0, 0, GpREAL(Width),
                                      GpREAL(Height), UnitPixel, Attributes.Get(), nullptr,
                                      nullptr);
    SetGDIPlusTextMode();
}

void TPDFPicasso::DrawTransparentImage(double ULX, double ULY, double URX, double URY, double LLX,
                                       double LLY, TStream& Stream, double Transparency) {
    if (FModel != pmGDIPlus || FGraphics == nullptr) return;
    TGdipImage Image(FGDIPlus.get());
    if (!Image.Load(Stream)) return;
    uint32_t W = 0, H = 0;
    if (FGDIPlus->GdipGetImageWidth(Image.Get(), &W) != gsOk ||
        FGDIPlus->GdipGetImageHeight(Image.Get(), &H) != gsOk || W == 0 || H == 0)
        return;
    TGdipAttributes Attributes(FGDIPlus.get());
    if (Attributes.Get() == nullptr) return;
    // The alpha scale is an opacity: outside 0 … 1 it is clamped, NaN is 0.
    if (!(Transparency >= 0)) Transparency = 0;
    if (Transparency > 1) Transparency = 1;
    GpColorMatrix Matrix;
    for (int I = 0; I < 5; ++I) Matrix.m[I][I] = 1;
    Matrix.m[3][3] = Single(Transparency);
    FGDIPlus->GdipSetImageAttributesColorMatrix(Attributes.Get(), ColorAdjustTypeBitmap, 1, &Matrix,
                                                nullptr, ColorMatrixFlagsDefault);
    const GpPointF Points[3] = {
        {Single(ULX), Single(ULY)}, {Single(URX), Single(URY)}, {Single(LLX), Single(LLY)}};
    SetGDIPlusImageMode();
    FGDIPlus->GdipDrawImagePointsRect(FGraphics, Image.Get(), Points, 3, 0, 0, GpREAL(W), GpREAL(H),
                                      UnitPixel, Attributes.Get(), nullptr, nullptr);
    SetGDIPlusTextMode();
}

void TPDFPicasso::DrawAnyImageFast(int32_t Left, int32_t Top, int32_t Width, int32_t Height,
                                   TStream& Stream) {
    if (FModel != pmGDIPlus || FGraphics == nullptr) return;
    TGdipImage Image(FGDIPlus.get());
    if (!Image.Load(Stream)) return;
    FGDIPlus->GdipDrawImageRectI(FGraphics, Image.Get(), Left, Top, Width, Height);
}

std::array<TPDFDoublePoint, 4> TPDFPicasso::ComputeAlignedImagePoints(
    double IW, double IH, double BoxLeft, double BoxTop, double BoxWidth, double BoxHeight,
    const TPDFPicassoImageAlign& Alignment) {
    double A = 1;
    bool Rotated = false;
    if (Alignment.RotateMatchAspec != raNone &&
        ((IW > IH && BoxWidth < BoxHeight) || (IW < IH && BoxWidth > BoxHeight))) {
        std::swap(IW, IH);
        Rotated = true;
    }
    if (Alignment.ShrinkLargeImages && (IW > BoxWidth || IH > BoxHeight))
        A = std::min(BoxWidth / IW, BoxHeight / IH);
    if (Alignment.ExpandSmallImages && A == 1 && IW < BoxWidth && IH < BoxHeight)
        A = std::min(BoxWidth / IW, BoxHeight / IH);
    TPDFPicassoHorzAlign HAlign = Alignment.HorizontalAlignment;
    TPDFPicassoVertAlign VAlign = Alignment.VerticalAlignment;
    if (!Alignment.ExpandSmallImages && IW < BoxWidth && IH < BoxHeight) {
        HAlign = Alignment.SmallHorizontalAlignment;
        VAlign = Alignment.SmallVerticalAlignment;
    }
    IW *= A;
    IH *= A;
    double Dx = 0, Dy = 0;
    if (HAlign == haRight)
        Dx = BoxWidth - IW;
    else if (HAlign == haCenter)
        Dx = (BoxWidth - IW) / 2;
    if (VAlign == vaBottom)
        Dy = BoxHeight - IH;
    else if (VAlign == vaCenter)
        Dy = (BoxHeight - IH) / 2;
    const double L = BoxLeft + Dx, T = BoxTop + Dy, R = L + IW, B = T + IH;
    if (Rotated && Alignment.RotateMatchAspec == raClockwise)
        return {{{R, T}, {R, B}, {L, B}, {L, T}}};
    if (Rotated && Alignment.RotateMatchAspec == raAntiClockwise)
        return {{{L, B}, {L, T}, {R, T}, {R, B}}};
    return {{{L, T}, {R, T}, {R, B}, {L, B}}};
}

void TPDFPicasso::DrawAnyImageAlign(double Left, double Top, double Width, double Height,
                                    double HDPI, double VDPI,
                                    const TPDFPicassoImageAlign& Alignment, TStream& Stream) {
    if (FModel != pmGDIPlus || FGraphics == nullptr) return;
    if (!(HDPI > 0) || !(VDPI > 0) || !Finite(HDPI) || !Finite(VDPI)) return;
    TGdipImage Image(FGDIPlus.get());
    if (!Image.Load(Stream)) return;
    GpREAL PW = 0, PH = 0, XRes = 0, YRes = 0;
    if (FGDIPlus->GdipGetImageDimension(Image.Get(), &PW, &PH) != gsOk ||
        FGDIPlus->GdipGetImageHorizontalResolution(Image.Get(), &XRes) != gsOk ||
        FGDIPlus->GdipGetImageVerticalResolution(Image.Get(), &YRes) != gsOk)
        return;
    if (!(PW > 0) || !(PH > 0) || !(XRes > 0) || !(YRes > 0)) return;
    const std::array<TPDFDoublePoint, 4> C =
        ComputeAlignedImagePoints(double(PW) / XRes, double(PH) / YRes, Left / HDPI, Top / VDPI,
                                  Width / HDPI, Height / VDPI, Alignment);
    const GpPointF Points[3] = {{Single(C[0].X * HDPI), Single(C[0].Y * VDPI)},
                                {Single(C[1].X * HDPI), Single(C[1].Y * VDPI)},
                                {Single(C[3].X * HDPI), Single(C[3].Y * VDPI)}};
    FGDIPlus->GdipDrawImagePoints(FGraphics, Image.Get(), Points, 3);
}

void TPDFPicasso::DrawDirectImage(const void* Source, int32_t RowLength, int32_t Width,
                                  int32_t Height, int32_t Format, bool Interpolate, int32_t Min,
                                  int32_t Max) {
    if (FModel != pmKPLR || !FRendererDLL) return;
    KPLRPrepare();
    VPL_KPLR(KPLR_set_operator, FRendererHandle, TKorbexPDFLibraryKPLR::GetBlendMode(FBlendMode));
    VPL_KPLR(KPLR_set_fill_alpha, FRendererHandle, FFillAlpha);
    if (RowLength > 0 && Source != nullptr) {
        VPL_KPLR(KPLR_draw_image, FRendererHandle, static_cast<const uint8_t*>(Source), Width,
                 Height, RowLength, Format, Interpolate ? 1 : 0, Min, Max);
    }
}

void TPDFPicasso::DrawDirectImageWithPalette(const void* Source, int32_t RowLength, int32_t Width,
                                             int32_t Height, int32_t Format, const void* Palette,
                                             bool Interpolate, int32_t Min, int32_t Max) {
    if (FModel != pmKPLR || !FRendererDLL) return;
    KPLRPrepare();
    VPL_KPLR(KPLR_set_operator, FRendererHandle, TKorbexPDFLibraryKPLR::GetBlendMode(FBlendMode));
    VPL_KPLR(KPLR_set_fill_alpha, FRendererHandle, FFillAlpha);
    if (RowLength > 0 && Source != nullptr) {
        VPL_KPLR(KPLR_draw_palette_image, FRendererHandle, static_cast<const uint8_t*>(Source),
                 Width, Height, RowLength, Format, Interpolate ? 1 : 0,
                 static_cast<const uint8_t*>(Palette), Min, Max);
    }
}

void TPDFPicasso::DrawStencilImage(const void* Source, int32_t RowLength, int32_t Width,
                                   int32_t Height, int32_t, const void* Palette, bool Interpolate) {
    if (FModel != pmKPLR || !FRendererDLL) return;
    KPLRPrepare();
    if (RowLength < 1 || Source == nullptr) return;
    SaveState();
    // The mask becomes the clip, and the unit square is filled through it.
    VPL_KPLR(KPLR_set_image_clip, FRendererHandle, static_cast<const uint8_t*>(Source), Width,
             Height, RowLength, Interpolate ? 1 : 0, static_cast<const uint8_t*>(Palette));
    BeginPath();
    MoveTo(0, 0);
    AddLineToPath(1, 0);
    AddLineToPath(1, 1);
    AddLineToPath(0, 1);
    ClosePath();
    FillPath();
    RestoreState();
}

void TPDFPicasso::DrawDirectString(GpFont* Font, char16_t UnicodeChar, const TPDFXForm& TM) {
    if (FModel != pmGDIPlus || FGraphics == nullptr || Font == nullptr) return;
    // The font draws with y growing downwards from its baseline; the text
    // matrix maps the glyph space, y growing upwards, onto the canvas.
    const double M[6] = {TM.eM11, TM.eM12, -TM.eM21, -TM.eM22, TM.eDx, TM.eDy};
    for (double V : M)
        if (!std::isfinite(V) || std::fabs(V) > 3.0e38) return;
    GpSolidFill* Brush = nullptr;
    if (FGDIPlus->GdipCreateSolidFill(FillARGB(), &Brush) != gsOk || Brush == nullptr) return;
    GpMatrix* Matrix = nullptr;
    if (FGDIPlus->GdipCreateMatrix2(GpREAL(M[0]), GpREAL(M[1]), GpREAL(M[2]), GpREAL(M[3]),
                                    GpREAL(M[4]), GpREAL(M[5]), &Matrix) == gsOk &&
        Matrix != nullptr) {
        const uint16_t Text = static_cast<uint16_t>(UnicodeChar);
        const GpPointF Position{0, 0};
        FGDIPlus->GdipDrawDriverString(FGraphics, &Text, 1, Font, reinterpret_cast<GpBrush*>(Brush),
                                       &Position, 1, Matrix);
        FGDIPlus->GdipDeleteMatrix(Matrix);
    }
    FGDIPlus->GdipDeleteBrush(reinterpret_cast<GpBrush*>(Brush));
}

// ---------------------------------------------------------------------------
// Conversions

bool TPDFPicasso::ConvertStream(TStream& InputStream, TStream& OutputStream, const TGUID& Encoder) {
    if (!FGDIPlus || FGDIPlus->GDIPlusStatus != gpReady) return false;
    TGdipImage Image(FGDIPlus.get());
    if (!Image.Load(InputStream)) return false;
    GpPixelFormat Format = 0;
    FGDIPlus->GdipGetImagePixelFormat(Image.Get(), &Format);
    auto* Out = new TImageBytesStreamAdapter(OutputStream);
    const TGPStatus S = FGDIPlus->GdipSaveImageToStream(Image.Get(), Out, &Encoder, nullptr);
    Out->Release();
    return S == gsOk;
}

bool TPDFPicasso::ConvertStreamToG4(TStream& InputStream, TStream& OutputStream) {
    if (!FGDIPlus || FGDIPlus->GDIPlusStatus != gpReady) return false;
    CLSID Tiff;
    if (!FGDIPlus->GetEncoderClsid(u"image/tiff", Tiff)) return false;
    TGdipImage Image(FGDIPlus.get());
    if (!Image.Load(InputStream)) return false;
    // The encoder's own parameter list is read as the library expects of a
    // caller; its content is not needed.
    uint32_t ListSize = 0;
    if (FGDIPlus->GdipGetEncoderParameterListSize(Image.Get(), &Tiff, &ListSize) == gsOk &&
        ListSize >= sizeof(EncoderParameters) && ListSize <= (1u << 20)) {
        std::vector<uint64_t> List((ListSize + 7) / 8);
        FGDIPlus->GdipGetEncoderParameterList(Image.Get(), &Tiff, ListSize,
                                              reinterpret_cast<EncoderParameters*>(List.data()));
    }
    struct {
        EncoderParameters Head;
        EncoderParameter More[1];
    } Params;
    uint32_t Compression = EncoderValueCompressionCCITT4, Depth = 1;
    Params.Head.Count = 2;
    Params.Head.Parameter[0] =
        EncoderParameter{EncoderCompression, 1, EncoderParameterValueTypeLong, &Compression};
    Params.More[0] = EncoderParameter{EncoderColorDepth, 1, EncoderParameterValueTypeLong, &Depth};
    auto* Out = new TImageBytesStreamAdapter(OutputStream);
    const TGPStatus S = FGDIPlus->GdipSaveImageToStream(Image.Get(), Out, &Tiff, &Params.Head);
    Out->Release();
    return S == gsOk;
}

bool TPDFPicasso::ConvertFile(const std::u16string& InputFile, const std::u16string& OutputFile,
                              const TGUID& Encoder) {
    if (!FGDIPlus || FGDIPlus->GDIPlusStatus != gpReady) return false;
    TGdipImage Image(FGDIPlus.get());
    if (!Image.LoadFile(InputFile)) return false;
    return FGDIPlus->GdipSaveImageToFile(Image.Get(), OutputFile.c_str(), &Encoder, nullptr) ==
           gsOk;
}

std::unique_ptr<TMemoryStream> TPDFPicasso::CairoConvertImage(TStream& Stream) {
    try {
        uint8_t Head[2];
        FirstTwoBytes(Stream, Head);
        if (Head[0] == 'B' && Head[1] == 'M') {
            TBitmap BM;
            BM.LoadFromStream(Stream);
            Stream.Seek(0, soBeginning);
            if (BM.Empty()) return nullptr;
            return BitmapAsPNG(BM);
        }
        if (Head[0] == 0xFF && Head[1] == 0xD8) {
            std::unique_ptr<TBitmap> BM = DecodeJpegToBitmap(Stream);
            if (!BM) return nullptr;
            return BitmapAsPNG(*BM);
        }
    } catch (const std::exception&) {
        Stream.Seek(0, soBeginning);
    }
    return nullptr;
}

std::unique_ptr<TBitmap> TPDFPicasso::KPLRConvertImage(TStream& Stream) {
    try {
        uint8_t Head[2];
        FirstTwoBytes(Stream, Head);
        if (Head[0] == 'B' && Head[1] == 'M') {
            auto BM = std::make_unique<TBitmap>();
            BM->LoadFromStream(Stream);
            if (BM->Empty()) return nullptr;
            return BM;
        }
        if (Head[0] == 0x89 && Head[1] == 0x50) {
            TPNGReader Reader;
            Reader.LoadFromStream(Stream);
            std::unique_ptr<TBitmap> BM = Reader.SaveToBitmap();
            if (BM && BM->Empty()) return nullptr;
            return BM;
        }
        if (!FGDIPlus) SetupPrivateGDIPlus();
        if (!FGDIPlus) return nullptr;
        TMemoryStream Bmp;
        if (!ConvertStream(Stream, Bmp, FBMPEncoderGUID)) return nullptr;
        Bmp.Seek(0, soBeginning);
        auto BM = std::make_unique<TBitmap>();
        BM->LoadFromStream(Bmp);
        if (BM->Empty()) return nullptr;
        return BM;
    } catch (const std::exception&) {
        return nullptr;
    }
}

void TPDFPicasso::KPLRImageLayout(const TBitmap& BM, int32_t& Format, int32_t& RowLength) {
    const int64_t W = BM.Width();
    switch (BM.PixelFormat()) {
        case pf1bit:
            Format = 3;
            RowLength = int32_t((W + 7) / 8);
            break;
        case pf8bit:
            Format = 2;
            RowLength = int32_t(W);
            break;
        case pf24bit:
            Format = 1;
            RowLength = int32_t(W * 3);
            break;
        case pf32bit:
            Format = 0;
            RowLength = int32_t(W * 4);
            break;
        default:
            Format = -1;
            RowLength = 0;
            break;
    }
}

}  // namespace velmo
