// Image decoders of the facade: format sniffing, BMP (through the platform
// bitmap), PNG (cairo, plus our own walk of the pHYs and iCCP chunks), JPEG
// (libjpeg) and colour management of ICM loads (lcms2).
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// libjpeg needs size_t and FILE declared before it.
#include <cairo.h>
#include <jpeglib.h>
// After jpeglib.h: the message codes.
#include <jerror.h>
#include <lcms2.h>
#include <zlib.h>

#include "platform/gdiplus/ImageCodecs.h"

namespace velmo::gdiplus {

namespace {

uint32_t BigEndian32(const uint8_t* P) {
    return (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | P[3];
}

uint32_t LittleEndian32(const uint8_t* P) {
    return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24);
}

const uint8_t* Bytes(std::string_view Data) {
    return reinterpret_cast<const uint8_t*>(Data.data());
}

bool StartsWith(std::string_view Data, std::string_view Prefix) {
    return Data.size() >= Prefix.size() && Data.substr(0, Prefix.size()) == Prefix;
}

// A resolution read from a file, or the screen's 96 DPI when the file gives
// none or an absurd one.
GpREAL SaneDpi(double Dpi) {
    if (!std::isfinite(Dpi) || Dpi < 1 || Dpi > 1e6) return 96;
    return GpREAL(Dpi);
}

}  // namespace

bool HasAlpha(GpPixelFormat Format) {
    return Format == PixelFormat32bppARGB || Format == PixelFormat32bppPARGB;
}

void ReadRowBGRA(const GpBitmap& Bitmap, int Y, uint8_t* Out) {
    std::vector<uint32_t> Row(size_t(Bitmap.Width));
    ReadRowPARGB(Bitmap, Y, Row.data());
    for (int X = 0; X < Bitmap.Width; ++X, Out += 4) {
        const uint32_t P = Row[size_t(X)];
        const uint32_t A = P >> 24;
        uint32_t R = (P >> 16) & 0xFF, G = (P >> 8) & 0xFF, B = P & 0xFF;
        if (A != 255 && A != 0) {
            R = std::min<uint32_t>(255, (R * 255 + A / 2) / A);
            G = std::min<uint32_t>(255, (G * 255 + A / 2) / A);
            B = std::min<uint32_t>(255, (B * 255 + A / 2) / A);
        }
        Out[0] = uint8_t(B);
        Out[1] = uint8_t(G);
        Out[2] = uint8_t(R);
        Out[3] = uint8_t(A);
    }
}

TGPStatus FromPlatformBitmap(const TBitmap& Source, bool Alpha32, GpBitmap& Target) {
    GpPixelFormat Format;
    switch (Source.PixelFormat()) {
        case pf1bit:
            Format = PixelFormat1bppIndexed;
            break;
        case pf4bit:
            Format = PixelFormat4bppIndexed;
            break;
        case pf8bit:
            Format = PixelFormat8bppIndexed;
            break;
        case pf24bit:
            Format = PixelFormat24bppRGB;
            break;
        default:
            Format = Alpha32 ? PixelFormat32bppARGB : PixelFormat32bppRGB;
    }
    TGPStatus S = AllocatePixels(Target, Source.Width(), Source.Height(), Format);
    if (S != gsOk) return S;
    const size_t RowBytes = size_t((int64_t(Source.Width()) * StoreBits(Format) + 7) / 8);
    for (int Y = 0; Y < Source.Height(); ++Y)
        std::memcpy(Target.Row(Y), Source.ScanLine(Y), RowBytes);
    if (StoreBits(Format) <= 8) {
        // Entries the file does not give stay black, as the platform reads
        // them.
        std::fill(Target.Palette.begin(), Target.Palette.end(), 0xFF000000u);
        const auto& Pal = Source.Palette();
        for (size_t I = 0; I < Pal.size() && I < Target.Palette.size(); ++I)
            Target.Palette[I] = 0xFF000000u | (uint32_t(Pal[I].rgbRed) << 16) |
                                (uint32_t(Pal[I].rgbGreen) << 8) | Pal[I].rgbBlue;
    }
    return gsOk;
}

// ---------------------------------------------------------------- BMP

TGPStatus DecodeBmp(std::string_view Data, GpBitmap& Target) {
    TBitmap Bm;
    try {
        TStringStream In{std::string(Data)};
        Bm.LoadFromStream(In);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    } catch (const std::exception&) {
        return gsGenericError;
    }
    if (Bm.Empty()) return gsGenericError;
    const uint8_t* P = Bytes(Data);
    const uint32_t HeaderSize = Data.size() >= 18 ? LittleEndian32(P + 14) : 0;
    bool Alpha = false;
    if (HeaderSize >= 40 && Data.size() >= 34) {
        const uint32_t Compression = LittleEndian32(P + 30);
        // The alpha mask follows the three colour masks, inside a long header
        // or after the short one with the alpha-bit-fields compression.
        if (Bm.PixelFormat() == pf32bit && (Compression == 3 || Compression == 6) &&
            (HeaderSize >= 56 || Compression == 6) && Data.size() >= 70)
            Alpha = LittleEndian32(P + 66) != 0;
    }
    TGPStatus S = FromPlatformBitmap(Bm, Alpha, Target);
    if (S != gsOk) return S;
    if (HeaderSize >= 40 && Data.size() >= 46) {
        Target.DpiX = SaneDpi(int32_t(LittleEndian32(P + 38)) * 0.0254);
        Target.DpiY = SaneDpi(int32_t(LittleEndian32(P + 42)) * 0.0254);
    }
    Target.RawFormat = ImageFormatBMP;
    return gsOk;
}

// ---------------------------------------------------------------- PNG

namespace {

// Inflates a zlib stream of at most Cap bytes; false on any error or when
// the result would be larger.
bool Inflate(std::string_view In, size_t Cap, std::string& Out) {
    z_stream Z{};
    if (inflateInit(&Z) != Z_OK) return false;
    Z.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(In.data()));
    Z.avail_in = uInt(std::min<size_t>(In.size(), UINT32_MAX));
    Out.clear();
    char Buffer[16384];
    int R = Z_OK;
    while (R == Z_OK) {
        Z.next_out = reinterpret_cast<Bytef*>(Buffer);
        Z.avail_out = sizeof Buffer;
        R = inflate(&Z, Z_NO_FLUSH);
        const size_t Got = sizeof Buffer - Z.avail_out;
        if (Out.size() + Got > Cap) {
            R = Z_MEM_ERROR;
            break;
        }
        Out.append(Buffer, Got);
        if (R == Z_BUF_ERROR && Z.avail_in == 0) break;
    }
    inflateEnd(&Z);
    return R == Z_STREAM_END;
}

struct TPngReadState {
    std::string_view Data;
    size_t Pos = 0;
};

cairo_status_t PngRead(void* Closure, unsigned char* Out, unsigned int Length) {
    auto* S = static_cast<TPngReadState*>(Closure);
    if (S->Data.size() - S->Pos < Length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(Out, S->Data.data() + S->Pos, Length);
    S->Pos += Length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

TGPStatus DecodePng(std::string_view Data, bool UseIcm, GpBitmap& Target) {
    // Our own walk of the chunks checks the size before cairo allocates and
    // picks up the resolution and the colour profile.
    const uint8_t* P = Bytes(Data);
    size_t Pos = 8;
    if (Data.size() < Pos + 8 + 13 + 4 || BigEndian32(P + Pos) != 13 ||
        std::memcmp(P + Pos + 4, "IHDR", 4) != 0)
        return gsGenericError;
    const uint32_t W = BigEndian32(P + Pos + 8), H = BigEndian32(P + Pos + 12);
    if (W == 0 || H == 0 || W > INT32_MAX || H > INT32_MAX) return gsGenericError;
    if (int64_t(W) * H > GpBitmap::MaxPixels) return gsOutOfMemory;
    double DpiX = 96, DpiY = 96;
    std::string_view Profile;
    while (Data.size() - Pos >= 12) {
        const uint32_t Length = BigEndian32(P + Pos);
        if (Length > Data.size() - Pos - 12) break;
        const std::string_view Type = Data.substr(Pos + 4, 4);
        const std::string_view Body = Data.substr(Pos + 8, Length);
        if (Type == "pHYs" && Length == 9 && Body[8] == 1) {
            DpiX = BigEndian32(Bytes(Body)) * 0.0254;
            DpiY = BigEndian32(Bytes(Body) + 4) * 0.0254;
        } else if (Type == "iCCP") {
            Profile = Body;
        } else if (Type == "IEND") {
            break;
        }
        Pos += size_t(Length) + 12;
    }

    TPngReadState Reader{Data, 0};
    cairo_surface_t* Surface = cairo_image_surface_create_from_png_stream(PngRead, &Reader);
    const cairo_status_t CS = cairo_surface_status(Surface);
    if (CS != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(Surface);
        return CS == CAIRO_STATUS_NO_MEMORY ? gsOutOfMemory : gsGenericError;
    }
    cairo_surface_flush(Surface);
    const cairo_format_t Fmt = cairo_image_surface_get_format(Surface);
    const int SW = cairo_image_surface_get_width(Surface),
              SH = cairo_image_surface_get_height(Surface);
    TGPStatus S = gsGenericError;
    if (Fmt == CAIRO_FORMAT_ARGB32 || Fmt == CAIRO_FORMAT_RGB24) {
        S = AllocatePixels(Target, SW, SH,
                           Fmt == CAIRO_FORMAT_ARGB32 ? PixelFormat32bppARGB : PixelFormat24bppRGB);
        if (S == gsOk) {
            const uint8_t* Src = cairo_image_surface_get_data(Surface);
            const int Stride = cairo_image_surface_get_stride(Surface);
            std::vector<uint32_t> Row(static_cast<size_t>(SW));
            for (int Y = 0; Y < SH; ++Y) {
                std::memcpy(Row.data(), Src + int64_t(Stride) * Y, size_t(SW) * 4);
                if (Fmt == CAIRO_FORMAT_RGB24)
                    for (uint32_t& V : Row) V |= 0xFF000000u;
                WriteRowPARGB(Target, Y, Row.data());
            }
        }
    }
    cairo_surface_destroy(Surface);
    if (S != gsOk) return S;
    Target.DpiX = SaneDpi(DpiX);
    Target.DpiY = SaneDpi(DpiY);
    Target.RawFormat = ImageFormatPNG;
    if (UseIcm && !Profile.empty()) {
        // Name (1 to 79 bytes), a zero, the compression method (0), then the
        // deflated profile.
        const size_t Zero = Profile.find('\0');
        if (Zero != std::string_view::npos && Zero >= 1 && Zero <= 79 &&
            Profile.size() > Zero + 2 && Profile[Zero + 1] == 0) {
            std::string Icc;
            if (Inflate(Profile.substr(Zero + 2), MaxProfileBytes, Icc)) ApplyProfile(Target, Icc);
        }
    }
    return gsOk;
}

// ---------------------------------------------------------------- JPEG

namespace {

struct TJpegError {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
    // The data ran out (libjpeg goes on with empty blocks), and the output
    // row it had reached then.
    bool DataEnded = false;
    JDIMENSION EndScanline = 0;
};

void JpegErrorExit(j_common_ptr Info) {
    std::longjmp(reinterpret_cast<TJpegError*>(Info->err)->Jump, 1);
}

// Warnings are not shown; those that say the data ended (the file did, or
// the scan reached the end-of-image marker) are noted.
void JpegMessage(j_common_ptr Info, int Level) {
    auto* E = reinterpret_cast<TJpegError*>(Info->err);
    if (Level >= 0 || !Info->is_decompressor || E->DataEnded) return;
    // A marker met inside the scan data ends it for good unless restart
    // markers let the decoder pick up again.
    const auto* D = reinterpret_cast<j_decompress_ptr>(Info);
    const int Code = Info->err->msg_code;
    if (Code == JWRN_JPEG_EOF ||
        (Code == JWRN_HIT_MARKER && (D->unread_marker == JPEG_EOI || D->restart_interval == 0))) {
        E->DataEnded = true;
        E->EndScanline = D->output_scanline;
    }
}

void JpegNoOutput(j_common_ptr) {}

// A hostile progressive file can hold an endless run of tiny scans; a real
// one has a few dozen.
constexpr int MaxJpegScans = 1000;
// libjpeg's whole-image buffers (the coefficients of a progressive file) are
// refused above this; a few hundred bytes can claim the largest picture.
constexpr long MaxJpegMemory = 256L << 20;
// Every 8 × 8 block of a complete scan takes at least two bits (a DC
// difference and an end of block), so a picture holds at most 256 pixels per
// byte of its file. Large pictures claiming over 16 times that are refused
// before their pixels are allocated: a few hundred bytes would otherwise
// fill most of a gigabyte with the repeat of one row. Cut files that keep a
// sixteenth of their smallest possible data still load.
constexpr int64_t MaxJpegPixelsPerByte = 256 * 16;
constexpr int64_t JpegPlausibilityFloor = int64_t(4096) * 4096;

void JpegProgress(j_common_ptr Info) {
    if (Info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(Info)->input_scan_number > MaxJpegScans)
        Info->err->error_exit(Info);
}

struct TJpegDecode {
    jpeg_decompress_struct Info{};
    TJpegError Error{};
    jpeg_progress_mgr Progress{};
    volatile bool Created = false;
    GpBitmap* Target = nullptr;
    std::vector<uint8_t> Row;
    std::string Icc;
    bool UseIcm = false;
    TGPStatus Status = gsGenericError;
};

// Only trivially destructible locals live here: libjpeg leaves it through
// longjmp on a fatal error.
bool RunJpegDecode(TJpegDecode& D, const uint8_t* Data, size_t Size) {
    D.Info.err = jpeg_std_error(&D.Error.Pub);
    D.Error.Pub.error_exit = JpegErrorExit;
    D.Error.Pub.emit_message = JpegMessage;
    D.Error.Pub.output_message = JpegNoOutput;
    if (setjmp(D.Error.Jump)) return false;
    jpeg_create_decompress(&D.Info);
    D.Created = true;
    D.Info.mem->max_memory_to_use = MaxJpegMemory;
    D.Progress.progress_monitor = JpegProgress;
    D.Info.progress = &D.Progress;
    jpeg_mem_src(&D.Info, Data, static_cast<unsigned long>(Size));
    if (D.UseIcm) jpeg_save_markers(&D.Info, JPEG_APP0 + 2, 0xFFFF);
    if (jpeg_read_header(&D.Info, TRUE) != JPEG_HEADER_OK) return false;
    const J_COLOR_SPACE In = D.Info.jpeg_color_space;
    if (D.Info.image_width == 0 || D.Info.image_height == 0 || D.Info.image_width > INT32_MAX ||
        D.Info.image_height > INT32_MAX)
        return false;
    const int64_t Pixels = int64_t(D.Info.image_width) * D.Info.image_height;
    if (Pixels > GpBitmap::MaxPixels ||
        (Pixels > JpegPlausibilityFloor && Pixels / MaxJpegPixelsPerByte > int64_t(Size))) {
        D.Status = gsOutOfMemory;
        return false;
    }
    const bool Cmyk = In == JCS_CMYK || In == JCS_YCCK;
    const bool Grey = In == JCS_GRAYSCALE;
    D.Info.out_color_space = Cmyk ? JCS_CMYK : Grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    if (D.UseIcm) {
        JOCTET* Profile = nullptr;
        unsigned int Length = 0;
        if (jpeg_read_icc_profile(&D.Info, &Profile, &Length) && Profile != nullptr) {
            if (Length <= MaxProfileBytes) D.Icc.assign(reinterpret_cast<char*>(Profile), Length);
        }
        std::free(Profile);
    }
    jpeg_start_decompress(&D.Info);
    const int W = int(D.Info.output_width), H = int(D.Info.output_height);
    D.Status = AllocatePixels(*D.Target, W, H, Grey ? PixelFormat8bppIndexed : PixelFormat24bppRGB);
    if (D.Status != gsOk) return false;
    D.Status = gsGenericError;
    if (Cmyk) D.Row.resize(size_t(W) * 4);
    // Adobe's files store CMYK inverted (255 is no ink).
    const bool Inverted = D.Info.saw_Adobe_marker;
    // Once the data of a single-scan file has ended every later block is
    // empty: a few block rows on (upsampling reaches into the next row of
    // blocks), every row comes out the same, and the rest of a tall picture
    // is that row again rather than seconds of decoding nothing.
    const bool Sequential = !jpeg_has_multiple_scans(&D.Info);
    const JDIMENSION Settle = JDIMENSION(3 * D.Info.max_v_samp_factor * DCTSIZE);
    bool Ended = false;
    while (D.Info.output_scanline < D.Info.output_height) {
        const int Y = int(D.Info.output_scanline);
        if (Sequential && D.Error.DataEnded && Y > 0 &&
            D.Info.output_scanline >= D.Error.EndScanline + Settle) {
            const size_t RowBytes = size_t((int64_t(W) * StoreBits(D.Target->Format) + 7) / 8);
            for (int Rest = Y; Rest < H; ++Rest)
                std::memcpy(D.Target->Row(Rest), D.Target->Row(Y - 1), RowBytes);
            Ended = true;
            break;
        }
        JSAMPROW Row = Cmyk ? D.Row.data() : D.Target->Row(Y);
        if (jpeg_read_scanlines(&D.Info, &Row, 1) != 1) return false;
        if (Cmyk) {
            uint8_t* Out = D.Target->Row(Y);
            for (int X = 0; X < W; ++X) {
                uint32_t C = D.Row[size_t(X) * 4], M = D.Row[size_t(X) * 4 + 1],
                         Ye = D.Row[size_t(X) * 4 + 2], K = D.Row[size_t(X) * 4 + 3];
                if (!Inverted) {
                    C = 255 - C;
                    M = 255 - M;
                    Ye = 255 - Ye;
                    K = 255 - K;
                }
                Out[X * 3] = uint8_t((Ye * K + 127) / 255);
                Out[X * 3 + 1] = uint8_t((M * K + 127) / 255);
                Out[X * 3 + 2] = uint8_t((C * K + 127) / 255);
            }
        }
    }
    // Finishing checks that every row was read.
    if (Ended)
        jpeg_abort_decompress(&D.Info);
    else
        jpeg_finish_decompress(&D.Info);
    double Dx = D.Info.X_density, Dy = D.Info.Y_density;
    if (D.Info.density_unit == 1 || D.Info.density_unit == 2) {
        if (D.Info.density_unit == 2) {
            Dx *= 2.54;
            Dy *= 2.54;
        }
        D.Target->DpiX = SaneDpi(Dx);
        D.Target->DpiY = SaneDpi(Dy);
    }
    D.Status = gsOk;
    return true;
}

}  // namespace

TGPStatus DecodeJpeg(std::string_view Data, bool UseIcm, GpBitmap& Target) {
    auto D = std::make_unique<TJpegDecode>();
    D->Target = &Target;
    D->UseIcm = UseIcm;
    bool Ok = false;
    try {
        Ok = RunJpegDecode(*D, Bytes(Data), Data.size());
    } catch (const std::bad_alloc&) {
        D->Status = gsOutOfMemory;
    }
    if (D->Created) jpeg_destroy_decompress(&D->Info);
    if (!Ok) return D->Status == gsOk ? gsGenericError : D->Status;
    Target.RawFormat = ImageFormatJPEG;
    if (!D->Icc.empty()) ApplyProfile(Target, D->Icc);
    return gsOk;
}

// ---------------------------------------------------------------- ICM

void ApplyProfile(GpBitmap& Bitmap, std::string_view Profile) {
    const int Bits = StoreBits(Bitmap.Format);
    if (Bits != 24 && Bits != 32) return;
    if (Profile.size() < 132 || Profile.size() > MaxProfileBytes) return;
    cmsHPROFILE In = cmsOpenProfileFromMem(Profile.data(), cmsUInt32Number(Profile.size()));
    if (In == nullptr) return;
    if (cmsGetColorSpace(In) != cmsSigRgbData) {
        cmsCloseProfile(In);
        return;
    }
    cmsHPROFILE Out = cmsCreate_sRGBProfile();
    const cmsUInt32Number Type = Bits == 24 ? TYPE_BGR_8 : TYPE_BGRA_8;
    cmsHTRANSFORM T = Out != nullptr ? cmsCreateTransform(In, Type, Out, Type, INTENT_PERCEPTUAL,
                                                          cmsFLAGS_COPY_ALPHA)
                                     : nullptr;
    if (T != nullptr) {
        for (int Y = 0; Y < Bitmap.Height; ++Y)
            cmsDoTransform(T, Bitmap.Row(Y), Bitmap.Row(Y), cmsUInt32Number(Bitmap.Width));
        cmsDeleteTransform(T);
    }
    if (Out != nullptr) cmsCloseProfile(Out);
    cmsCloseProfile(In);
}

// ---------------------------------------------------------------- sniffing

TGPStatus DecodeImage(const std::shared_ptr<const std::string>& Data, bool UseIcm,
                      GpBitmap& Target) {
    const std::string_view D = *Data;
    if (StartsWith(D, "BM")) return DecodeBmp(D, Target);
    if (StartsWith(D, "\x89PNG\r\n\x1A\n")) return DecodePng(D, UseIcm, Target);
    if (StartsWith(D, "\xFF\xD8\xFF")) return DecodeJpeg(D, UseIcm, Target);
    if (StartsWith(D, std::string_view("II*\0", 4)) ||
        StartsWith(D, std::string_view("MM\0*", 4)) ||
        StartsWith(D, std::string_view("II+\0", 4)) || StartsWith(D, std::string_view("MM\0+", 4)))
        return DecodeTiff(Data, UseIcm, Target);
    return gsUnknownImageFormat;
}

}  // namespace velmo::gdiplus
