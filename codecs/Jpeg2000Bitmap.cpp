#include "codecs/Jpeg2000Bitmap.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/PictureFormats.h"

namespace velmo {

namespace {

constexpr uint8_t JP2Signature[8] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
constexpr uint8_t CodestreamStart[4] = {0xFF, 0x4F, 0xFF, 0x51};

uint32_t BE32(const uint8_t* P) {
    return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
}
uint16_t BE16(const uint8_t* P) { return uint16_t(P[0] << 8 | P[1]); }

// One box header at Pos: its type and the offsets of its contents and of
// its end. False when the header does not fit or the length is impossible.
struct TBox {
    uint32_t Type = 0;
    size_t Contents = 0;
    size_t End = 0;
};

bool ReadBox(const uint8_t* Data, size_t Size, size_t Pos, TBox& Box) {
    if (Pos > Size || Size - Pos < 8) return false;
    uint64_t Length = BE32(Data + Pos);
    Box.Type = BE32(Data + Pos + 4);
    size_t Header = 8;
    if (Length == 1) {
        if (Size - Pos < 16) return false;
        Length = uint64_t(BE32(Data + Pos + 8)) << 32 | BE32(Data + Pos + 12);
        Header = 16;
    } else if (Length == 0) {
        Length = Size - Pos;  // the box runs to the end of the data
    }
    if (Length < Header || Length > Size - Pos) return false;
    Box.Contents = Pos + Header;
    Box.End = Pos + size_t(Length);
    return true;
}

constexpr uint32_t BoxType(const char (&S)[5]) {
    return uint32_t(uint8_t(S[0])) << 24 | uint32_t(uint8_t(S[1])) << 16 |
           uint32_t(uint8_t(S[2])) << 8 | uint8_t(S[3]);
}

// The top-level boxes of a JP2 file up to the end of its codestream box,
// and whether its header box holds a channel definition.
struct TJP2Layout {
    size_t End = 0;
    bool Complete = false;
    bool HasCdef = false;
};

TJP2Layout WalkJP2(const uint8_t* Data, size_t Size) {
    TJP2Layout L;
    L.End = Size;
    size_t Pos = 0;
    TBox Box;
    while (ReadBox(Data, Size, Pos, Box)) {
        if (Box.Type == BoxType("jp2h")) {
            size_t Sub = Box.Contents;
            TBox Inner;
            while (Sub < Box.End && ReadBox(Data, Box.End, Sub, Inner)) {
                if (Inner.Type == BoxType("cdef")) L.HasCdef = true;
                Sub = Inner.End;
            }
        } else if (Box.Type == BoxType("jp2c")) {
            L.End = Box.End;
            L.Complete = true;
            return L;
        }
        Pos = Box.End;
    }
    return L;
}

// Marker segments and tile-parts of a codestream up to its EOC marker.
size_t WalkCodestream(const uint8_t* Data, size_t Size) {
    if (Size < 4 || BE16(Data) != 0xFF4F) return Size;
    size_t Pos = 2;
    for (;;) {
        if (Size - Pos < 2) return Size;
        const uint16_t Marker = BE16(Data + Pos);
        if (Marker == 0xFFD9) return Pos + 2;
        if (Size - Pos < 4 || (Marker >> 8) != 0xFF) return Size;
        const uint16_t Length = BE16(Data + Pos + 2);
        if (Length < 2 || Size - Pos - 2 < Length) return Size;
        if (Marker == 0xFF90) {
            if (Length != 10) return Size;
            const uint32_t Psot = BE32(Data + Pos + 6);
            // A tile-part of length 0 runs to the end of the codestream.
            if (Psot == 0) return Size;
            if (Psot < 12 || Psot > Size - Pos) return Size;
            Pos += Psot;
        } else {
            Pos += 2 + size_t(Length);
        }
    }
}

// The codec's view of the bytes: reads, skips and seeks within the buffer.
struct TSource {
    const uint8_t* Data;
    size_t Size;
    size_t Pos;
};

OPJ_SIZE_T SourceRead(void* Buffer, OPJ_SIZE_T Count, void* User) {
    auto* S = static_cast<TSource*>(User);
    if (S->Pos >= S->Size) return OPJ_SIZE_T(-1);
    const size_t N = std::min<size_t>(Count, S->Size - S->Pos);
    std::memcpy(Buffer, S->Data + S->Pos, N);
    S->Pos += N;
    return N;
}

OPJ_OFF_T SourceSkip(OPJ_OFF_T Count, void* User) {
    auto* S = static_cast<TSource*>(User);
    if (Count < 0) {
        if (uint64_t(-Count) > S->Pos) return -1;
        S->Pos -= size_t(-Count);
        return Count;
    }
    const size_t N = std::min<uint64_t>(uint64_t(Count), S->Size - std::min(S->Pos, S->Size));
    S->Pos += N;
    return OPJ_OFF_T(N);
}

OPJ_BOOL SourceSeek(OPJ_OFF_T Offset, void* User) {
    auto* S = static_cast<TSource*>(User);
    if (Offset < 0 || uint64_t(Offset) > S->Size) return OPJ_FALSE;
    S->Pos = size_t(Offset);
    return OPJ_TRUE;
}

OPJ_SIZE_T SinkWrite(void* Buffer, OPJ_SIZE_T Count, void* User) {
    static_cast<std::string*>(User)->append(static_cast<const char*>(Buffer), Count);
    return Count;
}

void Quiet(const char*, void*) {}

struct TCodecDeleter {
    void operator()(opj_codec_t* C) const { opj_destroy_codec(C); }
};
struct TStreamDeleter {
    void operator()(opj_stream_t* S) const { opj_stream_destroy(S); }
};
struct TImageDeleter {
    void operator()(opj_image_t* I) const { opj_image_destroy(I); }
};
using TCodecPtr = std::unique_ptr<opj_codec_t, TCodecDeleter>;
using TStreamPtr = std::unique_ptr<opj_stream_t, TStreamDeleter>;
using TImagePtr = std::unique_ptr<opj_image_t, TImageDeleter>;

void SilenceCodec(opj_codec_t* Codec) {
    opj_set_info_handler(Codec, Quiet, nullptr);
    opj_set_warning_handler(Codec, Quiet, nullptr);
    opj_set_error_handler(Codec, Quiet, nullptr);
}

int64_t CeilDiv(int64_t A, int64_t B) { return (A + B - 1) / B; }

// The header's image is within the cap: its area, and the samples of all
// components together (at most four per pixel of the cap).
bool HeaderFits(const opj_image_t* Image, int64_t Cap) {
    if (!Image || Image->numcomps == 0 || !Image->comps) return false;
    if (Image->x1 <= Image->x0 || Image->y1 <= Image->y0) return false;
    const int64_t W = int64_t(Image->x1) - Image->x0;
    const int64_t H = int64_t(Image->y1) - Image->y0;
    if (W > Cap || H > Cap || W * H > Cap) return false;
    int64_t Samples = 0;
    for (OPJ_UINT32 C = 0; C < Image->numcomps; ++C) {
        const opj_image_comp_t& Comp = Image->comps[C];
        if (Comp.dx == 0 || Comp.dy == 0) return false;
        if (Comp.prec == 0 || Comp.prec > 31) return false;
        Samples += CeilDiv(W, Comp.dx) * CeilDiv(H, Comp.dy);
        if (Samples > Cap * 4) return false;
    }
    return true;
}

// Byte of the pixel that a component of the given channel type fills, or -1
// for none.
int BytePosition(int Type, int Index, int Count, bool Grey, bool YCbCr) {
    switch (Type) {
        case 0: return Count - Index - 1;
        case 1: return 2;
        case 2: return 1;
        case 3: return 0;
        case 4: return Grey ? 0 : YCbCr ? 2 : -1;
        case 5: return 1;
        case 6: return 0;
        case 7: return 3;
        default: return -1;
    }
}

uint8_t ClampByte(double V) {
    V = std::nearbyint(V);
    return uint8_t(V < 0 ? 0 : V > 255 ? 255 : V);
}

struct TFormatRegistrar {
    TFormatRegistrar() { RegisterJpeg2000Formats(); }
    ~TFormatRegistrar() { UnregisterJpeg2000Formats(); }
};
const TFormatRegistrar Registrar;

}  // namespace

TJpeg2000Bitmap::TJpeg2000Bitmap() = default;

void TJpeg2000Bitmap::SetCompressionQuality(int Value) { FQuality = std::clamp(Value, 1, 100); }

void TJpeg2000Bitmap::SetPixelCap(int64_t Cap) {
    FPixelCap = std::clamp<int64_t>(Cap, 1, TBitmap::MaxPixels);
}

size_t TJpeg2000Bitmap::JPEG2000Length(std::string_view Bytes) {
    const auto* P = reinterpret_cast<const uint8_t*>(Bytes.data());
    if (Bytes.size() >= 8 && std::memcmp(P, JP2Signature, 8) == 0)
        return WalkJP2(P, Bytes.size()).End;
    if (Bytes.size() >= 4 && std::memcmp(P, CodestreamStart, 4) == 0)
        return WalkCodestream(P, Bytes.size());
    return Bytes.size();
}

void TJpeg2000Bitmap::MakePlaceholder() {
    TBitmap Grey(1, 1, pf8bit);
    std::vector<TRGBQuad> Ramp(256);
    for (int I = 0; I < 256; ++I) Ramp[I] = RGBQuad(uint8_t(I), uint8_t(I), uint8_t(I));
    Grey.SetPalette(std::move(Ramp));
    Assign(Grey);
}

void TJpeg2000Bitmap::LoadFromStream(TStream& Stream) {
    uint8_t Head[8] = {};
    const int64_t Start = Stream.Position();
    const int64_t Peeked = Stream.Read(Head, 8);
    Stream.SetPosition(Start);
    const bool IsJP2 = Peeked == 8 && std::memcmp(Head, JP2Signature, 8) == 0;
    const bool IsJ2K = Peeked >= 4 && std::memcmp(Head, CodestreamStart, 4) == 0;
    if (!IsJP2 && !IsJ2K) throw EJpeg2000Error("Unknown JPEG 2000 file type");

    std::string Bytes;
    char Chunk[65536];
    for (;;) {
        const int64_t N = Stream.Read(Chunk, sizeof Chunk);
        if (N <= 0) break;
        Bytes.append(Chunk, size_t(N));
    }
    const size_t Consumed = LoadFromBytes(Bytes);
    Stream.SetPosition(Start + int64_t(Consumed));
}

size_t TJpeg2000Bitmap::LoadFromBytes(std::string_view Bytes) {
    const auto* Data = reinterpret_cast<const uint8_t*>(Bytes.data());
    const size_t Size = Bytes.size();
    const bool IsJP2 = Size >= 8 && std::memcmp(Data, JP2Signature, 8) == 0;
    const bool IsJ2K = !IsJP2 && Size >= 4 && std::memcmp(Data, CodestreamStart, 4) == 0;
    if (!IsJP2 && !IsJ2K) throw EJpeg2000Error("Unknown JPEG 2000 file type");

    TJP2Layout Layout;
    size_t Consumed = Size;
    if (IsJP2) {
        Layout = WalkJP2(Data, Size);
        Consumed = Layout.End;
    } else {
        Consumed = WalkCodestream(Data, Size);
    }

    FFailed = false;
    FAlpha = false;
    FChannelTypes.clear();

    // The codec sees only the JPEG 2000 data, not what follows it.
    TSource Source{Data, Consumed, 0};
    TImagePtr Image;
    {
        TCodecPtr Codec(opj_create_decompress(IsJP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
        TStreamPtr In(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
        if (Codec && In) {
            SilenceCodec(Codec.get());
            opj_stream_set_user_data(In.get(), &Source, nullptr);
            opj_stream_set_user_data_length(In.get(), Consumed);
            opj_stream_set_read_function(In.get(), SourceRead);
            opj_stream_set_skip_function(In.get(), SourceSkip);
            opj_stream_set_seek_function(In.get(), SourceSeek);
            opj_dparameters_t Params;
            opj_set_default_decoder_parameters(&Params);
            opj_image_t* Raw = nullptr;
            if (opj_setup_decoder(Codec.get(), &Params) &&
                opj_codec_set_threads(Codec.get(), 1) && opj_read_header(In.get(), Codec.get(), &Raw)) {
                Image.reset(Raw);
                if (!HeaderFits(Image.get(), FPixelCap) || !opj_decode(Codec.get(), In.get(), Image.get()) ||
                    !opj_end_decompress(Codec.get(), In.get()))
                    Image.reset();
            } else if (Raw) {
                opj_image_destroy(Raw);
            }
        }
    }

    // The decoded image must still agree with itself before its samples
    // are read: a palette or channel definition may have changed the
    // components.
    if (Image && !HeaderFits(Image.get(), FPixelCap)) Image.reset();
    if (Image) {
        for (OPJ_UINT32 C = 0; C < Image->numcomps && Image; ++C) {
            const opj_image_comp_t& Comp = Image->comps[C];
            if (!Comp.data || Comp.w == 0 || Comp.h == 0 || Comp.prec == 0 || Comp.prec > 31)
                Image.reset();
        }
    }
    if (!Image) {
        MakePlaceholder();
        FFailed = true;
        return Consumed;
    }

    const int N = int(Image->numcomps);
    const bool YCbCr = Image->color_space == OPJ_CLRSPC_SYCC;
    TPixelFormat Format = N == 3 ? pf24bit : N == 4 ? pf32bit : pf8bit;
    const int PixelBytes = N == 3 ? 3 : N == 4 ? 4 : 1;
    const int Used = PixelBytes == 1 ? 1 : N;

    // Channel types: the codec has already put colour channels into the
    // order of their association and flagged opacity, so a file with a
    // channel definition gets its types by position in its colour space.
    FChannelTypes.assign(size_t(N), 0);
    if (IsJP2 && Layout.HasCdef) {
        int ColourIndex = 0;
        for (int C = 0; C < N; ++C) {
            if (Image->comps[C].alpha) {
                FChannelTypes[C] = 7;
                continue;
            }
            const int I = ColourIndex++;
            switch (Image->color_space) {
                case OPJ_CLRSPC_SRGB: FChannelTypes[C] = I < 3 ? 1 + I : 0; break;
                case OPJ_CLRSPC_GRAY: FChannelTypes[C] = I == 0 ? 4 : 0; break;
                case OPJ_CLRSPC_SYCC: FChannelTypes[C] = I < 3 ? 4 + I : 0; break;
                default: break;
            }
        }
    }

    const int Width = int(Image->x1 - Image->x0);
    const int Height = int(Image->y1 - Image->y0);
    TBitmap Out(Width, Height, Format);
    if (Format == pf8bit) {
        std::vector<TRGBQuad> Ramp(256);
        for (int I = 0; I < 256; ++I) Ramp[I] = RGBQuad(uint8_t(I), uint8_t(I), uint8_t(I));
        Out.SetPalette(std::move(Ramp));
    }

    for (int C = 0; C < Used; ++C) {
        const opj_image_comp_t& Comp = Image->comps[C];
        // With one byte per pixel the first component is the grey value
        // whatever its type; a type whose byte lies beyond the pixel (an
        // opacity channel of a three-component image) is dropped.
        int Byte = PixelBytes == 1 ? 0 : BytePosition(FChannelTypes[C], C, N, false, YCbCr);
        if (Byte < 0 || Byte >= PixelBytes) continue;
        const int64_t Max = (int64_t(1) << Comp.prec) - 1;
        const int64_t Offset = Comp.sgnd ? int64_t(1) << (Comp.prec - 1) : 0;
        const int DX = int(Comp.dx), DY = int(Comp.dy);
        const int64_t CW = Comp.w, CH = Comp.h;
        for (int64_t Row = 0; Row < CH; ++Row) {
            const int64_t Y0 = Row * DY;
            if (Y0 >= Height) break;
            const OPJ_INT32* Src = Comp.data + Row * CW;
            uint8_t* Line = Out.ScanLine(int(Y0));
            for (int64_t Col = 0; Col < CW; ++Col) {
                const int64_t X0 = Col * DX;
                if (X0 >= Width) break;
                const int64_t S = int64_t(Src[Col]) + Offset;
                uint8_t V;
                if (Comp.prec == 8) {
                    V = uint8_t(S & 0xFF);
                } else {
                    const int64_t Scaled = S * 255 / Max;
                    V = uint8_t(std::clamp<int64_t>(Scaled, 0, 255));
                }
                const int64_t X1 = std::min<int64_t>(X0 + DX, Width);
                for (int64_t X = X0; X < X1; ++X) Line[X * PixelBytes + Byte] = V;
            }
            for (int64_t Y = Y0 + 1; Y < std::min<int64_t>(Y0 + DY, Height); ++Y) {
                uint8_t* Copy = Out.ScanLine(int(Y));
                for (int64_t X = 0; X < Width; ++X) Copy[X * PixelBytes + Byte] = Line[X * PixelBytes + Byte];
            }
        }
    }

    if (YCbCr && PixelBytes >= 3) {
        for (int Y = 0; Y < Height; ++Y) {
            uint8_t* P = Out.ScanLine(Y);
            for (int X = 0; X < Width; ++X, P += PixelBytes) {
                const double L = P[2], Cb = P[1] - 128.0, Cr = P[0] - 128.0;
                P[2] = ClampByte(L + 1.402 * Cr);
                P[1] = ClampByte(L - 0.34414 * Cb - 0.71414 * Cr);
                P[0] = ClampByte(L + 1.772 * Cb);
            }
        }
    }

    Image.reset();
    Assign(Out);
    FAlpha = Format == pf32bit && !FUseCMYK;
    return Consumed;
}

float TJpeg2000Bitmap::TargetRate(int Width, int Height, int Components, int Quality, bool Lossless) {
    if (Lossless) return 0.0f;
    const float Q = float(115 - std::clamp(Quality, 1, 100));
    const float K = 100.0f / (Q * Q);
    const float X = float(Width) * float(Height) * float(Components);
    const float D = X * K + 550.0f + 142.0f * float(Components - 1);
    return X / D;
}

void TJpeg2000Bitmap::SaveToStream(TStream& Stream) const {
    const TBitmap* Source = this;
    std::unique_ptr<TBitmap> Temp;
    if (PixelFormat() != pf24bit && PixelFormat() != pf32bit) {
        Temp = std::make_unique<TBitmap>(*this);
        Temp->SetPixelFormat(pf24bit);
        Source = Temp.get();
    }
    const int N = Source->PixelFormat() == pf24bit ? 3 : 4;
    const int W = Source->Width(), H = Source->Height();

    opj_image_cmptparm_t Parms[4];
    std::memset(Parms, 0, sizeof Parms);
    for (int C = 0; C < N; ++C) {
        Parms[C].dx = Parms[C].dy = 1;
        Parms[C].w = OPJ_UINT32(std::max(W, 0));
        Parms[C].h = OPJ_UINT32(std::max(H, 0));
        Parms[C].prec = 8;
        Parms[C].sgnd = 0;
    }
    TImagePtr Image;
    if (W > 0 && H > 0) Image.reset(opj_image_create(OPJ_UINT32(N), Parms, OPJ_CLRSPC_SRGB));
    if (!Image) throw EJpeg2000Error("Failed to create JPEG 2000 image struct for saving");
    Image->x0 = Image->y0 = 0;
    Image->x1 = OPJ_UINT32(W);
    Image->y1 = OPJ_UINT32(H);
    if (N == 4) Image->comps[3].alpha = 1;

    opj_cparameters_t Params;
    opj_set_default_encoder_parameters(&Params);
    Params.cp_disto_alloc = 1;
    Params.tcp_numlayers = 1;
    Params.tcp_rates[0] = TargetRate(W, H, N, FQuality, FLossless);
    // Six resolution levels where the picture is large enough; a small one
    // keeps as many as its shorter side allows.
    int Levels = 6;
    while (Levels > 1 && (int64_t(1) << (Levels - 1)) > std::min(W, H)) --Levels;
    Params.numresolution = Levels;

    static constexpr int ByteOf[4] = {2, 1, 0, 3};
    for (int C = 0; C < N; ++C) {
        OPJ_INT32* Dst = Image->comps[C].data;
        for (int Y = 0; Y < H; ++Y) {
            const uint8_t* P = Source->ScanLine(Y);
            for (int X = 0; X < W; ++X) *Dst++ = P[X * N + ByteOf[C]];
        }
    }

    std::string Codestream;
    {
        TCodecPtr Codec(opj_create_compress(OPJ_CODEC_J2K));
        TStreamPtr Out(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
        bool Ok = Codec && Out;
        if (Ok) {
            SilenceCodec(Codec.get());
            opj_stream_set_user_data(Out.get(), &Codestream, nullptr);
            opj_stream_set_write_function(Out.get(), SinkWrite);
            Ok = opj_setup_encoder(Codec.get(), &Params, Image.get()) &&
                 opj_start_compress(Codec.get(), Image.get(), Out.get()) &&
                 opj_encode(Codec.get(), Out.get()) && opj_end_compress(Codec.get(), Out.get());
        }
        if (!Ok) throw EJpeg2000Error("JPEG 2000 image encoding failed");
    }

    std::string File;
    auto Put32 = [&](uint32_t V) {
        const char B[4] = {char(V >> 24), char(V >> 16), char(V >> 8), char(V)};
        File.append(B, 4);
    };
    auto Put16 = [&](uint16_t V) {
        File.push_back(char(V >> 8));
        File.push_back(char(V));
    };
    auto PutType = [&](const char* T) { File.append(T, 4); };
    File.append(reinterpret_cast<const char*>(JP2Signature), 8);
    File.append("\r\n\x87\n", 4);
    Put32(20);
    PutType("ftyp");
    PutType("jp2 ");
    Put32(0);
    PutType("jp2 ");
    const uint32_t CdefLength = 8 + 2 + 6 * uint32_t(N);
    Put32(8 + 22 + 15 + CdefLength);
    PutType("jp2h");
    Put32(22);
    PutType("ihdr");
    Put32(uint32_t(H));
    Put32(uint32_t(W));
    Put16(uint16_t(N));
    File.push_back(7);  // 8 bits, unsigned
    File.push_back(7);  // wavelet compression
    File.push_back(0);  // colour space known
    File.push_back(0);  // no intellectual property box
    Put32(15);
    PutType("colr");
    File.push_back(1);  // enumerated colour space
    File.push_back(0);
    File.push_back(0);
    Put32(16);  // sRGB
    // Channel definition: red, green, blue and opacity, in component order.
    static constexpr int Types[4] = {1, 2, 3, 7};
    Put32(CdefLength);
    PutType("cdef");
    Put16(uint16_t(N));
    for (int C = 0; C < N; ++C) {
        const int T = Types[C];
        Put16(uint16_t(C));
        Put16(T == 7 ? 1 : 0);
        Put16(T == 7 ? 0 : uint16_t(T == 1 || T == 4 ? 1 : T == 2 || T == 5 ? 2 : 3));
    }
    Put32(uint32_t(8 + Codestream.size()));
    PutType("jp2c");
    File += Codestream;
    Stream.WriteBuffer(File);
}

void RegisterJpeg2000Formats() {
    static const char* const Extensions[] = {"jp2", "j2k", "jpc"};
    for (const char* Ext : Extensions) {
        TPictureFormat F;
        F.Extension = Ext;
        F.Description = "JPEG 2000 Image";
        F.Load = [](TStream& S, TBitmap& B) {
            TJpeg2000Bitmap J;
            J.LoadFromStream(S);
            B.Assign(J);
        };
        F.Save = [](const TBitmap& B, TStream& S) {
            TJpeg2000Bitmap J;
            J.Assign(B);
            J.SaveToStream(S);
        };
        RegisterFileFormat(std::move(F));
    }
}

void UnregisterJpeg2000Formats() {
    for (const char* Ext : {"jp2", "j2k", "jpc"}) UnregisterFileFormat(Ext);
}

}  // namespace velmo
