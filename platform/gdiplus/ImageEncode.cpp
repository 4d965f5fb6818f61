// Image encoders of the facade: the codec records GdipGetImageEncoders
// lists, the parameter list of each encoder, and the BMP, PNG and JPEG
// writers (TIFF lives with its reader).
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
#include <zlib.h>

#include "platform/gdiplus/ImageCodecs.h"

namespace velmo::gdiplus {

const CLSID EncoderBmp = {
    0x557CF400, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const CLSID EncoderJpeg = {
    0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const CLSID EncoderTiff = {
    0x557CF405, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const CLSID EncoderPng = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

namespace {

struct TEncoderEntry {
    const CLSID* Clsid;
    const TGUID* Format;
    std::u16string_view Name, Description, Extensions, Mime;
};

const TEncoderEntry Encoders[] = {
    {&EncoderBmp, &ImageFormatBMP, u"BMP encoder", u"BMP", u"*.BMP;*.DIB;*.RLE", u"image/bmp"},
    {&EncoderJpeg, &ImageFormatJPEG, u"JPEG encoder", u"JPEG", u"*.JPG;*.JPEG;*.JPE;*.JFIF",
     u"image/jpeg"},
    {&EncoderPng, &ImageFormatPNG, u"PNG encoder", u"PNG", u"*.PNG", u"image/png"},
    {&EncoderTiff, &ImageFormatTIFF, u"TIFF encoder", u"TIFF", u"*.TIF;*.TIFF", u"image/tiff"},
};
constexpr uint32_t EncoderCount = sizeof Encoders / sizeof Encoders[0];

// Flags of a codec record: an encoder, of raster images, built in.
constexpr uint32_t CodecFlags = 0x0001 | 0x0004 | 0x00010000;

size_t StringsSize(const TEncoderEntry& E) {
    return (E.Name.size() + E.Description.size() + E.Extensions.size() + E.Mime.size() + 4) *
           sizeof(GpWCHAR);
}

// The values each encoder takes.
constexpr uint32_t TiffCompressions[] = {EncoderValueCompressionLZW, EncoderValueCompressionCCITT3,
                                         EncoderValueCompressionRle, EncoderValueCompressionCCITT4,
                                         EncoderValueCompressionNone};
constexpr uint32_t TiffDepths[] = {1, 8, 24, 32};
constexpr uint32_t JpegQualityRange[] = {0, 100};

struct TParamInfo {
    const TGUID* Guid;
    uint32_t Type;
    uint32_t NumberOfValues;
    const uint32_t* Values;
    uint32_t ValueCount;  // 32-bit words of Values
};

const TParamInfo TiffParams[] = {
    {&EncoderCompression, EncoderParameterValueTypeLong, 5, TiffCompressions, 5},
    {&EncoderColorDepth, EncoderParameterValueTypeLong, 4, TiffDepths, 4},
};
const TParamInfo JpegParams[] = {
    {&EncoderQuality, EncoderParameterValueTypeLongRange, 1, JpegQualityRange, 2},
};

bool ParamInfos(const CLSID& Encoder, const TParamInfo*& Infos, size_t& Count) {
    if (Encoder == EncoderTiff) {
        Infos = TiffParams;
        Count = std::size(TiffParams);
    } else if (Encoder == EncoderJpeg) {
        Infos = JpegParams;
        Count = std::size(JpegParams);
    } else if (Encoder == EncoderBmp || Encoder == EncoderPng) {
        Infos = nullptr;
        Count = 0;
    } else {
        return false;
    }
    return true;
}

size_t ParamListBytes(const TParamInfo* Infos, size_t Count) {
    size_t Size = offsetof(EncoderParameters, Parameter) + Count * sizeof(EncoderParameter);
    for (size_t I = 0; I < Count; ++I) Size += Infos[I].ValueCount * sizeof(uint32_t);
    return std::max(Size, sizeof(EncoderParameters));
}

// A parameter's single long value; false when it is not one.
bool OneLong(const EncoderParameter& P, uint32_t& Value) {
    if (P.Type != EncoderParameterValueTypeLong || P.NumberOfValues != 1 || P.Value == nullptr)
        return false;
    std::memcpy(&Value, P.Value, sizeof Value);
    return true;
}

void PutBE32(std::string& S, size_t At, uint32_t V) {
    S[At] = char(V >> 24);
    S[At + 1] = char(V >> 16);
    S[At + 2] = char(V >> 8);
    S[At + 3] = char(V);
}

uint32_t PixelsPerMetre(GpREAL Dpi) {
    const double V = std::nearbyint(double(Dpi) / 0.0254);
    return V > 0 && V < 1e9 ? uint32_t(V) : 0;
}

// ---------------------------------------------------------------- BMP

TGPStatus EncodeBmp(const GpBitmap& Source, std::string& Out) {
    TPixelFormat Format;
    switch (Source.Format) {
        case PixelFormat1bppIndexed:
            Format = pf1bit;
            break;
        case PixelFormat4bppIndexed:
            Format = pf4bit;
            break;
        case PixelFormat8bppIndexed:
            Format = pf8bit;
            break;
        case PixelFormat32bppARGB:
        case PixelFormat32bppPARGB:
            Format = pf32bit;
            break;
        default:
            Format = pf24bit;
    }
    TBitmap Bm(Source.Width, Source.Height, Format);
    if (StoreBits(Source.Format) <= 8) {
        std::vector<TRGBQuad> Pal;
        for (GpARGB C : Source.Palette)
            Pal.push_back(RGBQuad(uint8_t(C >> 16), uint8_t(C >> 8), uint8_t(C)));
        Bm.SetPalette(std::move(Pal));
        const size_t RowBytes = size_t((int64_t(Source.Width) * StoreBits(Source.Format) + 7) / 8);
        for (int Y = 0; Y < Source.Height; ++Y)
            std::memcpy(Bm.ScanLine(Y), Source.Row(Y), RowBytes);
    } else {
        std::vector<uint8_t> Bgra(size_t(Source.Width) * 4);
        for (int Y = 0; Y < Source.Height; ++Y) {
            ReadRowBGRA(Source, Y, Bgra.data());
            uint8_t* Row = Bm.ScanLine(Y);
            if (Format == pf32bit) {
                std::memcpy(Row, Bgra.data(), Bgra.size());
            } else {
                for (int X = 0; X < Source.Width; ++X)
                    std::memcpy(Row + X * 3, Bgra.data() + X * 4, 3);
            }
        }
    }
    TStringStream S;
    Bm.SaveToStream(S);
    std::string Bytes = S.DataString();
    if (Bytes.size() < 54) return gsGenericError;
    // The writer leaves the resolution out; the image keeps its own.
    const uint32_t Px = PixelsPerMetre(Source.DpiX), Py = PixelsPerMetre(Source.DpiY);
    for (int I = 0; I < 4; ++I) {
        Bytes[38 + size_t(I)] = char(Px >> (8 * I));
        Bytes[42 + size_t(I)] = char(Py >> (8 * I));
    }
    Out = std::move(Bytes);
    return gsOk;
}

// ---------------------------------------------------------------- PNG

cairo_status_t PngWrite(void* Closure, const unsigned char* Data, unsigned int Length) {
    auto* Out = static_cast<std::string*>(Closure);
    try {
        Out->append(reinterpret_cast<const char*>(Data), Length);
    } catch (const std::bad_alloc&) {
        return CAIRO_STATUS_NO_MEMORY;
    }
    return CAIRO_STATUS_SUCCESS;
}

TGPStatus EncodePng(const GpBitmap& Source, std::string& Out) {
    const bool Alpha = HasAlpha(Source.Format);
    cairo_surface_t* Surface = cairo_image_surface_create(
        Alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, Source.Width, Source.Height);
    if (cairo_surface_status(Surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(Surface);
        return gsOutOfMemory;
    }
    cairo_surface_flush(Surface);
    uint8_t* Data = cairo_image_surface_get_data(Surface);
    const int Stride = cairo_image_surface_get_stride(Surface);
    for (int Y = 0; Y < Source.Height; ++Y)
        ReadRowPARGB(Source, Y, reinterpret_cast<uint32_t*>(Data + int64_t(Stride) * Y));
    cairo_surface_mark_dirty(Surface);
    std::string Bytes;
    const cairo_status_t S = cairo_surface_write_to_png_stream(Surface, PngWrite, &Bytes);
    cairo_surface_destroy(Surface);
    if (S != CAIRO_STATUS_SUCCESS)
        return S == CAIRO_STATUS_NO_MEMORY ? gsOutOfMemory : gsGenericError;
    // The resolution goes into a pHYs chunk right after the header chunk
    // (signature 8 bytes, IHDR 25).
    constexpr size_t AfterHeader = 33;
    if (Bytes.size() < AfterHeader) return gsGenericError;
    std::string Phys(21, '\0');
    PutBE32(Phys, 0, 9);
    Phys.replace(4, 4, "pHYs");
    PutBE32(Phys, 8, PixelsPerMetre(Source.DpiX));
    PutBE32(Phys, 12, PixelsPerMetre(Source.DpiY));
    Phys[16] = 1;  // metres
    PutBE32(Phys, 17, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(Phys.data() + 4), 13)));
    Bytes.insert(AfterHeader, Phys);
    Out = std::move(Bytes);
    return gsOk;
}

// ---------------------------------------------------------------- JPEG

struct TJpegError {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
};

void JpegErrorExit(j_common_ptr Info) {
    std::longjmp(reinterpret_cast<TJpegError*>(Info->err)->Jump, 1);
}
void JpegSilent(j_common_ptr, int) {}
void JpegNoOutput(j_common_ptr) {}

struct TJpegEncode {
    jpeg_compress_struct Info{};
    TJpegError Error{};
    volatile bool Created = false;
    unsigned char* Buffer = nullptr;
    unsigned long Size = 0;
    std::vector<uint8_t> Bgra, Bgr;
};

// Only trivially destructible locals: libjpeg leaves through longjmp.
bool RunJpegEncode(TJpegEncode& E, const GpBitmap& Source, int Quality) {
    E.Info.err = jpeg_std_error(&E.Error.Pub);
    E.Error.Pub.error_exit = JpegErrorExit;
    E.Error.Pub.emit_message = JpegSilent;
    E.Error.Pub.output_message = JpegNoOutput;
    if (setjmp(E.Error.Jump)) return false;
    jpeg_create_compress(&E.Info);
    E.Created = true;
    jpeg_mem_dest(&E.Info, &E.Buffer, &E.Size);
    E.Info.image_width = JDIMENSION(Source.Width);
    E.Info.image_height = JDIMENSION(Source.Height);
    E.Info.input_components = 3;
    E.Info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&E.Info);
    jpeg_set_quality(&E.Info, Quality, TRUE);
    E.Info.write_JFIF_header = TRUE;
    E.Info.density_unit = 1;
    E.Info.X_density = uint16_t(std::clamp(std::lround(Source.DpiX), 1L, 65535L));
    E.Info.Y_density = uint16_t(std::clamp(std::lround(Source.DpiY), 1L, 65535L));
    jpeg_start_compress(&E.Info, TRUE);
    E.Bgra.resize(size_t(Source.Width) * 4);
    E.Bgr.resize(size_t(Source.Width) * 3);
    while (E.Info.next_scanline < E.Info.image_height) {
        ReadRowBGRA(Source, int(E.Info.next_scanline), E.Bgra.data());
        for (int X = 0; X < Source.Width; ++X)
            std::memcpy(&E.Bgr[size_t(X) * 3], &E.Bgra[size_t(X) * 4], 3);
        JSAMPROW Row = E.Bgr.data();
        jpeg_write_scanlines(&E.Info, &Row, 1);
    }
    jpeg_finish_compress(&E.Info);
    return true;
}

TGPStatus EncodeJpeg(const GpBitmap& Source, int Quality, std::string& Out) {
    auto E = std::make_unique<TJpegEncode>();
    bool Ok = false;
    TGPStatus Status = gsGenericError;
    try {
        Ok = RunJpegEncode(*E, Source, Quality);
        if (Ok) Out.assign(reinterpret_cast<const char*>(E->Buffer), E->Size);
    } catch (const std::bad_alloc&) {
        Ok = false;
        Status = gsOutOfMemory;
    }
    if (E->Created) jpeg_destroy_compress(&E->Info);
    std::free(E->Buffer);
    return Ok ? gsOk : Status;
}

}  // namespace

TGPStatus EncodeImage(const GpBitmap& Source, const CLSID& Encoder, const EncoderParameters* Params,
                      std::string& Out) {
    const TParamInfo* Infos;
    size_t InfoCount;
    if (!ParamInfos(Encoder, Infos, InfoCount)) return gsFileNotFound;
    if (Source.Width <= 0 || Source.Height <= 0 || Source.Scan0 == nullptr)
        return gsInvalidParameter;
    uint32_t Quality = 75, Compression = EncoderValueCompressionLZW, Depth = 0;
    const uint32_t Count = Params != nullptr ? Params->Count : 0;
    for (uint32_t I = 0; I < Count; ++I) {
        const EncoderParameter& P = Params->Parameter[I];
        uint32_t V = 0;
        if (Encoder == EncoderJpeg && P.Guid == EncoderQuality && OneLong(P, V) && V <= 100)
            Quality = V;
        else if (Encoder == EncoderTiff && P.Guid == EncoderCompression && OneLong(P, V))
            Compression = V;
        else if (Encoder == EncoderTiff && P.Guid == EncoderColorDepth && OneLong(P, V))
            Depth = V;
        else
            return gsInvalidParameter;
    }
    try {
        if (Encoder == EncoderBmp) return EncodeBmp(Source, Out);
        if (Encoder == EncoderPng) return EncodePng(Source, Out);
        if (Encoder == EncoderJpeg) return EncodeJpeg(Source, int(Quality), Out);
        return EncodeTiff(Source, Compression, Depth, Out);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    } catch (const std::exception&) {
        return gsGenericError;
    }
}

TGPStatus EncodersSize(uint32_t& Count, uint32_t& Size) {
    size_t Total = EncoderCount * sizeof(ImageCodecInfo);
    for (const TEncoderEntry& E : Encoders) Total += StringsSize(E);
    Count = EncoderCount;
    Size = uint32_t(Total);
    return gsOk;
}

TGPStatus FillEncoders(uint32_t Count, uint32_t Size, ImageCodecInfo* Out) {
    uint32_t N, Need;
    EncodersSize(N, Need);
    if (Out == nullptr || Count != N) return gsInvalidParameter;
    if (Size < Need) return gsInsufficientBuffer;
    // Strings follow the records in the caller's buffer.
    auto* Text =
        reinterpret_cast<GpWCHAR*>(reinterpret_cast<uint8_t*>(Out) + N * sizeof(ImageCodecInfo));
    auto Put = [&Text](std::u16string_view S) {
        const GpWCHAR* Start = Text;
        std::memcpy(Text, S.data(), S.size() * sizeof(GpWCHAR));
        Text += S.size();
        *Text++ = 0;
        return Start;
    };
    for (uint32_t I = 0; I < N; ++I) {
        const TEncoderEntry& E = Encoders[I];
        ImageCodecInfo Info;
        Info.Clsid = *E.Clsid;
        Info.FormatID = *E.Format;
        Info.CodecName = Put(E.Name);
        Info.DllName = nullptr;
        Info.FormatDescription = Put(E.Description);
        Info.FilenameExtension = Put(E.Extensions);
        Info.MimeType = Put(E.Mime);
        Info.Flags = CodecFlags;
        Info.Version = 1;
        std::memcpy(static_cast<void*>(&Out[I]), &Info, sizeof Info);
    }
    return gsOk;
}

TGPStatus ParameterListSize(const CLSID& Encoder, uint32_t& Size) {
    const TParamInfo* Infos;
    size_t Count;
    if (!ParamInfos(Encoder, Infos, Count)) return gsFileNotFound;
    Size = uint32_t(ParamListBytes(Infos, Count));
    return gsOk;
}

TGPStatus FillParameterList(const CLSID& Encoder, uint32_t Size, EncoderParameters* Out) {
    const TParamInfo* Infos;
    size_t Count;
    if (!ParamInfos(Encoder, Infos, Count)) return gsFileNotFound;
    if (Out == nullptr) return gsInvalidParameter;
    if (Size < ParamListBytes(Infos, Count)) return gsInsufficientBuffer;
    auto* Base = reinterpret_cast<uint8_t*>(Out);
    Out->Count = uint32_t(Count);
    // Values follow the parameter records.
    auto* Values = reinterpret_cast<uint32_t*>(Base + offsetof(EncoderParameters, Parameter) +
                                               Count * sizeof(EncoderParameter));
    for (size_t I = 0; I < Count; ++I) {
        EncoderParameter P;
        P.Guid = *Infos[I].Guid;
        P.NumberOfValues = Infos[I].NumberOfValues;
        P.Type = Infos[I].Type;
        P.Value = Values;
        std::memcpy(Values, Infos[I].Values, Infos[I].ValueCount * sizeof(uint32_t));
        Values += Infos[I].ValueCount;
        std::memcpy(static_cast<void*>(Base + offsetof(EncoderParameters, Parameter) +
                                       I * sizeof(EncoderParameter)),
                    &P, sizeof P);
    }
    return gsOk;
}

}  // namespace velmo::gdiplus
