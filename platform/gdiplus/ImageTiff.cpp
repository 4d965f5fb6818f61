// TIFF files of the facade through libtiff: every page a frame, any
// compression libtiff reads, and the writer of the TIFF encoder. Every
// handle gets its own error handlers (nothing is printed, errors become
// statuses) and a cap on libtiff's single allocations.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/gdiplus/ImageCodecs.h"

namespace velmo::gdiplus {

namespace {

// libtiff's largest single allocation for one handle (a strip, a tile, the
// tables of a directory).
constexpr tmsize_t MaxTiffAlloc = tmsize_t(256) << 20;
// Pages beyond this are not counted.
constexpr tdir_t MaxTiffPages = 65535;

struct TTiffIo {
    const uint8_t* In = nullptr;  // reading: the file
    std::string* Out = nullptr;   // writing: the file being made
    uint64_t Size = 0;
    uint64_t Pos = 0;
    bool Failed = false;  // libtiff reported an error
};

int TiffError(TIFF*, void* User, const char*, const char*, va_list) {
    if (User != nullptr) static_cast<TTiffIo*>(User)->Failed = true;
    return 1;  // handled: the process-wide handler stays quiet
}

int TiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

tmsize_t TiffRead(thandle_t H, void* Buffer, tmsize_t Count) {
    auto* Io = static_cast<TTiffIo*>(H);
    if (Io->In == nullptr || Count < 0 || Io->Pos >= Io->Size) return 0;
    const uint64_t N = std::min<uint64_t>(uint64_t(Count), Io->Size - Io->Pos);
    std::memcpy(Buffer, Io->In + Io->Pos, size_t(N));
    Io->Pos += N;
    return tmsize_t(N);
}

tmsize_t TiffWrite(thandle_t H, void* Buffer, tmsize_t Count) {
    auto* Io = static_cast<TTiffIo*>(H);
    if (Io->Out == nullptr || Count < 0) return -1;
    try {
        const uint64_t End = Io->Pos + uint64_t(Count);
        if (End > uint64_t(MaxEncodedBytes)) return -1;
        if (Io->Out->size() < End) Io->Out->resize(size_t(End));
        std::memcpy(Io->Out->data() + Io->Pos, Buffer, size_t(Count));
        Io->Pos = End;
        Io->Size = std::max<uint64_t>(Io->Size, End);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return Count;
}

toff_t TiffSeek(thandle_t H, toff_t Offset, int Whence) {
    auto* Io = static_cast<TTiffIo*>(H);
    uint64_t Base = 0;
    if (Whence == SEEK_CUR)
        Base = Io->Pos;
    else if (Whence == SEEK_END)
        Base = Io->Size;
    const uint64_t P = Base + Offset;
    if (P < Base || P > uint64_t(MaxEncodedBytes)) return toff_t(-1);
    Io->Pos = P;
    return P;
}

int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t H) { return static_cast<TTiffIo*>(H)->Size; }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

TIFF* OpenTiff(TTiffIo& Io, const char* Mode) {
    TIFFOpenOptions* Options = TIFFOpenOptionsAlloc();
    if (Options == nullptr) return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(Options, MaxTiffAlloc);
    TIFFOpenOptionsSetErrorHandlerExtR(Options, TiffError, &Io);
    TIFFOpenOptionsSetWarningHandlerExtR(Options, TiffWarning, &Io);
    TIFF* T = TIFFClientOpenExt("image", Mode, &Io, TiffRead, TiffWrite, TiffSeek, TiffClose,
                                TiffSize, TiffMap, TiffUnmap, Options);
    TIFFOpenOptionsFree(Options);
    return T;
}

GpREAL TiffDpi(float Value, uint16_t Unit) {
    double D = Value;
    if (Unit == RESUNIT_CENTIMETER) D *= 2.54;
    if (Unit == RESUNIT_NONE || !std::isfinite(D) || D < 1 || D > 1e6) return 96;
    return GpREAL(D);
}

// The rows of a one-bit strip image (stored top first, or bottom first when
// BottomUp) into a one-bit store (index 0 black, 1 white).
TGPStatus ReadBilevelRows(TIFF* T, bool MinIsWhite, bool BottomUp, uint32_t W, uint32_t H,
                          GpBitmap& Target) {
    const tmsize_t Line = TIFFScanlineSize(T);
    const size_t RowBytes = (size_t(W) + 7) / 8;
    if (Line <= 0 || size_t(Line) < RowBytes) return gsGenericError;
    std::vector<uint8_t> Buffer;
    try {
        Buffer.resize(size_t(Line));
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    TGPStatus S = AllocatePixels(Target, int(W), int(H), PixelFormat1bppIndexed);
    if (S != gsOk) return S;
    // Bits past the width stay clear.
    const uint8_t LastMask = uint8_t(0xFF << ((8 - W % 8) % 8));
    for (uint32_t Y = 0; Y < H; ++Y) {
        if (TIFFReadScanline(T, Buffer.data(), Y, 0) < 0) return gsGenericError;
        uint8_t* Row = Target.Row(int(BottomUp ? H - 1 - Y : Y));
        for (size_t I = 0; I < RowBytes; ++I) Row[I] = MinIsWhite ? uint8_t(~Buffer[I]) : Buffer[I];
        Row[RowBytes - 1] &= LastMask;
    }
    return gsOk;
}

// Any image libtiff can give as RGBA, into a store of Format.
TGPStatus ReadRgbaRows(TIFF* T, uint32_t W, uint32_t H, GpPixelFormat Format, GpBitmap& Target) {
    std::vector<uint32_t> Raster;
    try {
        Raster.resize(size_t(W) * H);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    if (!TIFFReadRGBAImageOriented(T, W, H, Raster.data(), ORIENTATION_TOPLEFT, 1))
        return gsGenericError;
    TGPStatus S = AllocatePixels(Target, int(W), int(H), Format);
    if (S != gsOk) return S;
    std::vector<uint32_t> Row(W);
    for (uint32_t Y = 0; Y < H; ++Y) {
        const uint32_t* Src = Raster.data() + size_t(Y) * W;
        // libtiff gives R in the low byte and alpha premultiplied.
        for (uint32_t X = 0; X < W; ++X) {
            const uint32_t P = Src[X];
            Row[X] = (P & 0xFF00FF00u) | ((P & 0xFF) << 16) | ((P >> 16) & 0xFF);
        }
        WriteRowPARGB(Target, int(Y), Row.data());
    }
    return gsOk;
}

// Decodes the current directory of T into Target.
TGPStatus DecodeDirectory(TIFF* T, bool UseIcm, GpBitmap& Target) {
    uint32_t W = 0, H = 0;
    if (!TIFFGetField(T, TIFFTAG_IMAGEWIDTH, &W) || !TIFFGetField(T, TIFFTAG_IMAGELENGTH, &H))
        return gsGenericError;
    if (W == 0 || H == 0 || W > INT32_MAX || H > INT32_MAX) return gsGenericError;
    if (int64_t(W) * H > GpBitmap::MaxPixels) return gsOutOfMemory;
    char Message[1024];
    if (!TIFFRGBAImageOK(T, Message)) return gsGenericError;
    uint16_t Bps = 1, Spp = 1, Photometric = 0, ExtraCount = 0, Unit = RESUNIT_INCH;
    uint16_t* ExtraTypes = nullptr;
    TIFFGetFieldDefaulted(T, TIFFTAG_BITSPERSAMPLE, &Bps);
    TIFFGetFieldDefaulted(T, TIFFTAG_SAMPLESPERPIXEL, &Spp);
    TIFFGetFieldDefaulted(T, TIFFTAG_EXTRASAMPLES, &ExtraCount, &ExtraTypes);
    // Without the tag one channel is read as min-is-black, as libtiff's RGBA
    // reader does.
    if (!TIFFGetField(T, TIFFTAG_PHOTOMETRIC, &Photometric) && Spp == 1)
        Photometric = PHOTOMETRIC_MINISBLACK;
    const bool Bilevel =
        Bps == 1 && Spp == 1 &&
        (Photometric == PHOTOMETRIC_MINISWHITE || Photometric == PHOTOMETRIC_MINISBLACK);
    bool Alpha = false;
    for (uint16_t I = 0; I < ExtraCount && ExtraTypes != nullptr; ++I)
        if (ExtraTypes[I] == EXTRASAMPLE_ASSOCALPHA || ExtraTypes[I] == EXTRASAMPLE_UNASSALPHA)
            Alpha = true;

    const GpPixelFormat Format = Bilevel ? PixelFormat1bppIndexed
                                 : Alpha ? PixelFormat32bppARGB
                                         : PixelFormat24bppRGB;
    uint16_t Orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(T, TIFFTAG_ORIENTATION, &Orientation);
    TGPStatus S;
    if (Bilevel && !TIFFIsTiled(T) &&
        (Orientation == ORIENTATION_TOPLEFT || Orientation == ORIENTATION_BOTLEFT)) {
        // Fax pages compress thousands of times over: their bits go straight
        // into the one-bit store, without a 32-bit copy of the page.
        S = ReadBilevelRows(T, Photometric == PHOTOMETRIC_MINISWHITE,
                            Orientation == ORIENTATION_BOTLEFT, W, H, Target);
    } else {
        S = ReadRgbaRows(T, W, H, Format, Target);
    }
    if (S != gsOk) return S;
    float Xr = 0, Yr = 0;
    TIFFGetFieldDefaulted(T, TIFFTAG_RESOLUTIONUNIT, &Unit);
    Target.DpiX = TIFFGetField(T, TIFFTAG_XRESOLUTION, &Xr) ? TiffDpi(Xr, Unit) : 96;
    Target.DpiY = TIFFGetField(T, TIFFTAG_YRESOLUTION, &Yr) ? TiffDpi(Yr, Unit) : Target.DpiX;
    Target.RawFormat = ImageFormatTIFF;
    uint32_t ProfileLength = 0;
    void* Profile = nullptr;
    if (UseIcm && TIFFGetField(T, TIFFTAG_ICCPROFILE, &ProfileLength, &Profile) &&
        Profile != nullptr)
        ApplyProfile(Target, std::string_view(static_cast<const char*>(Profile), ProfileLength));
    return gsOk;
}

class TTiffFrames : public TGpFrameSource {
public:
    TTiffFrames(std::shared_ptr<const std::string> Data, uint32_t Count, bool UseIcm)
        : FData(std::move(Data)), FCount(Count), FUseIcm(UseIcm) {}

    uint32_t FrameCount() const override { return FCount; }

    TGPStatus DecodeFrame(uint32_t Index, GpBitmap& Target) override {
        if (Index >= FCount) return gsInvalidParameter;
        TTiffIo Io;
        Io.In = reinterpret_cast<const uint8_t*>(FData->data());
        Io.Size = FData->size();
        TIFF* T = OpenTiff(Io, "rm");
        if (T == nullptr) return gsGenericError;
        TGPStatus S = gsGenericError;
        GpBitmap Frame;
        if (TIFFSetDirectory(T, tdir_t(Index))) S = DecodeDirectory(T, FUseIcm, Frame);
        TIFFClose(T);
        if (S != gsOk) return S;
        // Only the pixels and what describes them change; the image keeps
        // its properties and frame source.
        Target.Owned = std::move(Frame.Owned);
        Target.Scan0 = Frame.Scan0;
        Target.Stride = Frame.Stride;
        Target.Width = Frame.Width;
        Target.Height = Frame.Height;
        Target.Format = Frame.Format;
        Target.Palette = std::move(Frame.Palette);
        Target.DpiX = Frame.DpiX;
        Target.DpiY = Frame.DpiY;
        return gsOk;
    }

private:
    std::shared_ptr<const std::string> FData;
    uint32_t FCount;
    bool FUseIcm;
};

}  // namespace

TGPStatus DecodeTiff(const std::shared_ptr<const std::string>& Data, bool UseIcm,
                     GpBitmap& Target) {
    TTiffIo Io;
    Io.In = reinterpret_cast<const uint8_t*>(Data->data());
    Io.Size = Data->size();
    TIFF* T = OpenTiff(Io, "rm");
    if (T == nullptr) return gsGenericError;
    TGPStatus S = DecodeDirectory(T, UseIcm, Target);
    tdir_t Pages = 1;
    if (S == gsOk) Pages = std::clamp<tdir_t>(TIFFNumberOfDirectories(T), 1, MaxTiffPages);
    TIFFClose(T);
    if (S != gsOk) return S;
    if (Pages > 1) {
        try {
            Target.Frames = std::make_shared<TTiffFrames>(Data, uint32_t(Pages), UseIcm);
        } catch (const std::bad_alloc&) {
            return gsOutOfMemory;
        }
    }
    return gsOk;
}

TGPStatus EncodeTiff(const GpBitmap& Source, uint32_t Compression, uint32_t Depth,
                     std::string& Out) {
    uint16_t Scheme;
    switch (Compression) {
        case EncoderValueCompressionLZW:
            Scheme = COMPRESSION_LZW;
            break;
        case EncoderValueCompressionCCITT3:
            Scheme = COMPRESSION_CCITTFAX3;
            break;
        case EncoderValueCompressionCCITT4:
            Scheme = COMPRESSION_CCITTFAX4;
            break;
        case EncoderValueCompressionRle:
            Scheme = COMPRESSION_CCITTRLE;
            break;
        case EncoderValueCompressionNone:
            Scheme = COMPRESSION_NONE;
            break;
        default:
            return gsInvalidParameter;
    }
    const bool Fax = Scheme == COMPRESSION_CCITTFAX3 || Scheme == COMPRESSION_CCITTFAX4 ||
                     Scheme == COMPRESSION_CCITTRLE;
    if (Depth == 0) {
        // The source's own depth, or 1 bit for the fax schemes.
        const int Bits = StoreBits(Source.Format);
        Depth = Fax || Bits == 1 ? 1 : Bits <= 8 ? 8 : HasAlpha(Source.Format) ? 32 : 24;
    }
    if (Depth != 1 && Depth != 8 && Depth != 24 && Depth != 32) return gsInvalidParameter;
    if (Fax && Depth != 1) return gsInvalidParameter;
    const bool Indexed8 = Depth == 8 && (Source.Format == PixelFormat8bppIndexed ||
                                         Source.Format == PixelFormat4bppIndexed);

    std::string Bytes;
    TTiffIo Io;
    Io.Out = &Bytes;
    TIFF* T = OpenTiff(Io, "w");
    if (T == nullptr) return gsGenericError;
    const uint32_t W = uint32_t(Source.Width), H = uint32_t(Source.Height);
    TIFFSetField(T, TIFFTAG_IMAGEWIDTH, W);
    TIFFSetField(T, TIFFTAG_IMAGELENGTH, H);
    TIFFSetField(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(T, TIFFTAG_COMPRESSION, Scheme);
    TIFFSetField(T, TIFFTAG_XRESOLUTION, double(Source.DpiX));
    TIFFSetField(T, TIFFTAG_YRESOLUTION, double(Source.DpiY));
    TIFFSetField(T, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    uint16_t Spp = 1, Bps = 8;
    if (Depth == 1) {
        Bps = 1;
        TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    } else if (Depth == 8 && Indexed8) {
        TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        std::vector<uint16_t> R(256, 0), G(256, 0), B(256, 0);
        for (size_t I = 0; I < Source.Palette.size() && I < 256; ++I) {
            R[I] = uint16_t(((Source.Palette[I] >> 16) & 0xFF) * 257);
            G[I] = uint16_t(((Source.Palette[I] >> 8) & 0xFF) * 257);
            B[I] = uint16_t((Source.Palette[I] & 0xFF) * 257);
        }
        TIFFSetField(T, TIFFTAG_COLORMAP, R.data(), G.data(), B.data());
    } else if (Depth == 8) {
        TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    } else {
        Spp = Depth == 32 ? 4 : 3;
        TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        if (Depth == 32) {
            const uint16_t Extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(T, TIFFTAG_EXTRASAMPLES, 1, &Extra);
        }
    }
    TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, Bps);
    TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, Spp);
    if (Scheme == COMPRESSION_LZW && Depth >= 8 && !Indexed8)
        TIFFSetField(T, TIFFTAG_PREDICTOR, PREDICTOR_NONE);
    TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(T, 0));

    bool Ok = !Io.Failed;
    try {
        std::vector<uint8_t> Bgra(size_t(W) * 4);
        std::vector<uint8_t> Line(size_t(W) * 4 + 8);
        for (uint32_t Y = 0; Y < H && Ok; ++Y) {
            std::fill(Line.begin(), Line.end(), 0);
            if (Indexed8) {
                for (uint32_t X = 0; X < W; ++X) {
                    const uint8_t* Row = Source.Row(int(Y));
                    Line[X] = Source.Format == PixelFormat8bppIndexed
                                  ? Row[X]
                                  : uint8_t((Row[X >> 1] >> ((X & 1) ? 0 : 4)) & 0x0F);
                }
            } else {
                ReadRowBGRA(Source, int(Y), Bgra.data());
                for (uint32_t X = 0; X < W; ++X) {
                    const uint32_t B = Bgra[X * 4], G = Bgra[X * 4 + 1], R = Bgra[X * 4 + 2],
                                   A = Bgra[X * 4 + 3];
                    const uint32_t Luma1000 = 299 * R + 587 * G + 114 * B;
                    switch (Depth) {
                        case 1:
                            // Min-is-white: a set bit is black.
                            if (Luma1000 < 128000) Line[X >> 3] |= uint8_t(0x80 >> (X & 7));
                            break;
                        case 8:
                            Line[X] = uint8_t((Luma1000 + 500) / 1000);
                            break;
                        default:
                            Line[X * Spp] = uint8_t(R);
                            Line[X * Spp + 1] = uint8_t(G);
                            Line[X * Spp + 2] = uint8_t(B);
                            if (Spp == 4) Line[X * 4 + 3] = uint8_t(A);
                    }
                }
            }
            if (TIFFWriteScanline(T, Line.data(), Y, 0) < 0 || Io.Failed) Ok = false;
        }
    } catch (const std::bad_alloc&) {
        Ok = false;
    }
    if (Ok && !TIFFWriteDirectory(T)) Ok = false;
    TIFFClose(T);
    if (!Ok || Io.Failed) return gsGenericError;
    Out = std::move(Bytes);
    return gsOk;
}

}  // namespace velmo::gdiplus
