#include "codecs/JPEGImage.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "render/ColorManager.h"

namespace velmo {

namespace {

// A hostile progressive file can hold an endless run of tiny scans; a real
// one has a few dozen.
constexpr int MaxScans = 1000;
// libjpeg's whole-image buffers (the coefficients of a progressive file)
// are refused above this.
constexpr long MaxCodecMemory = 512L << 20;
// Colours at most in an 8-bit colour decode.
constexpr int QuantizedColors = 236;
// Distinct CMYK values remembered while converting one picture.
constexpr size_t MaxCMYKMemo = size_t(1) << 20;

struct TJpegError {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    // The data ran out (the codec goes on with empty blocks), and the
    // output row it had reached then.
    bool DataEnded;
    JDIMENSION EndScanline;
};

void ErrorExit(j_common_ptr Info) {
    auto* E = reinterpret_cast<TJpegError*>(Info->err);
    Info->err->format_message(Info, E->Message);
    std::longjmp(E->Jump, 1);
}
// Warnings are not shown; those that say the data ended (the file did, or
// the scan met the end-of-image marker) are noted.
void NoteMessage(j_common_ptr Info, int Level) {
    auto* E = reinterpret_cast<TJpegError*>(Info->err);
    if (Level >= 0 || !Info->is_decompressor || E->DataEnded) return;
    const auto* D = reinterpret_cast<j_decompress_ptr>(Info);
    const int Code = Info->err->msg_code;
    // A marker inside the scan ends it for good unless restart markers let
    // the decoder pick up again.
    if (Code == JWRN_JPEG_EOF ||
        (Code == JWRN_HIT_MARKER && (D->unread_marker == JPEG_EOI || D->restart_interval == 0))) {
        E->DataEnded = true;
        E->EndScanline = D->output_scanline;
    }
}
void IgnoreOutput(j_common_ptr) {}
void ResetError(j_common_ptr Info) {
    Info->err->num_warnings = 0;
    Info->err->msg_code = 0;
}

// One codec context of an operation; destroyed on every path out.
struct TJpegSession {
    jpeg_decompress_struct D{};
    jpeg_compress_struct C{};
    TJpegError Error{};
    jpeg_progress_mgr Progress{};
    bool DCreated = false;
    bool CCreated = false;
    unsigned char* OutBuffer = nullptr;
    unsigned long OutSize = 0;
    // Progress of the owner.
    TPDFJPEGImage* Owner = nullptr;
    const TJPEGProgressEvent* Event = nullptr;
    std::chrono::steady_clock::time_point LastTick{};
    bool Ticked = false;
    int LastPercent = -1;
    int LastRow = 0;

    TJpegSession() {
        jpeg_std_error(&Error.Pub);
        Error.Pub.error_exit = ErrorExit;
        Error.Pub.emit_message = NoteMessage;
        Error.Pub.output_message = IgnoreOutput;
        Error.Pub.reset_error_mgr = ResetError;
        Error.Message[0] = 0;
        Error.DataEnded = false;
        Error.EndScanline = 0;
    }
    ~TJpegSession() {
        if (DCreated) jpeg_destroy_decompress(&D);
        if (CCreated) jpeg_destroy_compress(&C);
        std::free(OutBuffer);
    }
    TJpegSession(const TJpegSession&) = delete;
    TJpegSession& operator=(const TJpegSession&) = delete;

    [[noreturn]] void Raise() const {
        throw EJPEGError(std::string("JPEG error: ") +
                         (Error.Message[0] ? Error.Message : "codec failure"));
    }
};

void ProgressMonitor(j_common_ptr Info) {
    auto* S = static_cast<TJpegSession*>(Info->client_data);
    if (Info->is_decompressor && S->D.input_scan_number > MaxScans) {
        std::snprintf(S->Error.Message, sizeof S->Error.Message, "more than %d scans", MaxScans);
        std::longjmp(S->Error.Jump, 1);
    }
    if (S->Event == nullptr || !*S->Event) return;
    const auto Now = std::chrono::steady_clock::now();
    if (!S->Ticked) {
        S->Ticked = true;
        S->LastTick = Now;
        return;
    }
    if (Now - S->LastTick < std::chrono::milliseconds(500)) return;
    S->LastTick = Now;
    const jpeg_progress_mgr* P = Info->progress;
    if (P->pass_limit <= 0 || P->total_passes <= 0) return;
    const int Percent = int((double(P->pass_counter) / P->pass_limit + P->completed_passes) * 100 /
                            P->total_passes);
    if (Percent == S->LastPercent) return;
    S->LastPercent = Percent;
    RECT Band{};
    if (Info->is_decompressor) {
        const int Row = int(S->D.output_scanline);
        Band.right = int(S->D.output_width);
        Band.top = Row < S->LastRow ? 0 : S->LastRow;
        Band.bottom = Row < S->LastRow ? int(S->D.output_height) : Row;
        S->LastRow = Row;
    }
    // The handler is the caller's code: an exception it raises must not
    // cross the C library, so it is dropped here.
    try {
        (*S->Event)(psRunning, Percent, Band.bottom - Band.top > 3, Band);
    } catch (...) {
    }
}

// Runs Body under the codec's fatal-error jump. Body keeps only trivially
// destructible locals: a fatal error leaves it through longjmp. Returns
// false after a fatal error.
template <class F>
bool Guarded(TJpegSession& S, F& Body) {
    if (setjmp(S.Error.Jump)) return false;
    Body();
    return true;
}

void CreateDecoder(TJpegSession& S, const std::string& Data) {
    S.D.err = &S.Error.Pub;
    jpeg_create_decompress(&S.D);
    S.D.client_data = &S;
    S.DCreated = true;
    S.D.mem->max_memory_to_use = MaxCodecMemory;
    S.Progress.progress_monitor = ProgressMonitor;
    S.D.progress = &S.Progress;
    jpeg_mem_src(&S.D, reinterpret_cast<const unsigned char*>(Data.data()),
                 static_cast<unsigned long>(Data.size()));
}

}  // namespace

TPDFJPEGImage::TPDFJPEGImage()
    : FImage(std::make_shared<TJPEGData>()), FColorManager(new TPDFSimpleColorManager()) {}

TPDFJPEGImage::~TPDFJPEGImage() {
    if (!FExternalColorManager) delete FColorManager;
}

void TPDFJPEGImage::Changed() {
    if (OnChange) OnChange();
}

void TPDFJPEGImage::ResetJPEGData() { FImage = std::make_shared<TJPEGData>(); }

void TPDFJPEGImage::DropBitmap() { FBitmap.reset(); }

void TPDFJPEGImage::SetScale(TJPEGScale Value) {
    if (Value == FScale) return;
    FScale = Value;
    DropBitmap();
}

std::string_view TPDFJPEGImage::Data() const {
    if (!FImage->FData) return {};
    return FImage->FData->Bytes();
}

void TPDFJPEGImage::Assign(const TPDFJPEGImage& Source) {
    if (&Source == this) return;
    FImage = Source.FImage;
    // A stale picture of the old data must not outlive it.
    if (Source.FBitmap)
        FBitmap = std::make_unique<TBitmap>(*Source.FBitmap);
    else
        FBitmap.reset();
    FInverted = Source.FInverted;
    FProgressiveEncoding = Source.FProgressiveEncoding;
    FNeedRecalc = true;
    Changed();
}

void TPDFJPEGImage::Assign(const TBitmap& Source) {
    ResetJPEGData();
    FBitmap = std::make_unique<TBitmap>(Source);
    FNeedRecalc = true;
    Changed();
}

void TPDFJPEGImage::AssignTo(TBitmap& Dest) { Dest.Assign(DecodedBitmap()); }

void TPDFJPEGImage::LoadFromStream(TStream& Stream) {
    const int64_t Size = Stream.Size() - Stream.Position();
    LoadJPEGData(std::max<int64_t>(Size, 0), Stream);
}

void TPDFJPEGImage::LoadFromBytes(std::string_view Bytes) {
    TStringStream S{std::string(Bytes)};
    LoadJPEGData(int64_t(Bytes.size()), S);
}

void TPDFJPEGImage::ReadData(TStream& Stream) {
    uint8_t Count[4];
    Stream.ReadBuffer(Count, 4);
    const uint32_t Size = uint32_t(Count[0]) | (uint32_t(Count[1]) << 8) |
                          (uint32_t(Count[2]) << 16) | (uint32_t(Count[3]) << 24);
    LoadJPEGData(Size, Stream);
}

void TPDFJPEGImage::WriteData(TStream& Stream) {
    const std::string_view D = Data();
    const uint32_t Size = uint32_t(D.size());
    const uint8_t Count[4] = {uint8_t(Size), uint8_t(Size >> 8), uint8_t(Size >> 16),
                              uint8_t(Size >> 24)};
    Stream.WriteBuffer(Count, 4);
    if (Size > 0) Stream.WriteBuffer(D);
}

void TPDFJPEGImage::SaveToStream(TStream& Stream) {
    JPEGNeeded();
    const std::string_view D = Data();
    if (!D.empty()) Stream.WriteBuffer(D);
}

void TPDFJPEGImage::SaveBitmapToStream(TStream& Stream) {
    TBitmap B;
    AssignTo(B);
    TCanvasLock Lock(B.Canvas());
    B.SaveToStream(Stream);
}

void TPDFJPEGImage::LoadJPEGData(int64_t Size, TStream& Stream) {
    ResetJPEGData();
    DropBitmap();
    // The count is checked against what the stream holds before any memory
    // is taken for it.
    const int64_t Left = Stream.Size() - Stream.Position();
    if (Size < 0 || Size > Left) throw EReadError("Stream read error");
    auto Data = std::make_unique<TMemoryStream>();
    Data->SetSize(Size);
    if (Size > 0) Stream.ReadBuffer(Data->Memory(), Size);
    FImage->FData = std::move(Data);
    if (Size > 0) {
        TJpegSession S;
        const std::string& Bytes = FImage->FData->Bytes();
        int W = 0, H = 0;
        bool Grey = false, Multi = false;
        auto Body = [&] {
            CreateDecoder(S, Bytes);
            jpeg_read_header(&S.D, TRUE);
            W = int(std::min<JDIMENSION>(S.D.image_width, INT32_MAX));
            H = int(std::min<JDIMENSION>(S.D.image_height, INT32_MAX));
            Grey = S.D.jpeg_color_space == JCS_GRAYSCALE;
            Multi = jpeg_has_multiple_scans(&S.D);
        };
        if (!Guarded(S, Body)) S.Raise();
        FImage->FWidth = W;
        FImage->FHeight = H;
        FImage->FGrayscale = Grey;
        FProgressiveEncoding = Multi;
    }
    FNeedRecalc = true;
    FPaletteModified = true;
    Changed();
}

TBitmap& TPDFJPEGImage::DecodedBitmap() {
    if (!FBitmap) Decode();
    return *FBitmap;
}

void TPDFJPEGImage::Decode() {
    FBitmap = std::make_unique<TBitmap>();
    if (!FImage->FData || FImage->FData->Size() == 0) return;
    TBitmap& Bmp = *FBitmap;
    TJpegSession S;
    S.Owner = this;
    S.Event = &OnProgress;
    const std::string& Bytes = FImage->FData->Bytes();
    bool Cmyk = false;
    bool Quantized = false;
    bool TooLarge = false;
    bool PaletteGiven = false;
    // Rows of the CMYK output before conversion.
    std::vector<uint8_t> CmykRows;
    std::vector<JSAMPROW> Rows;
    std::vector<TRGBQuad> Palette;
    auto Body = [&] {
        CreateDecoder(S, Bytes);
        jpeg_save_markers(&S.D, JPEG_APP0 + 14, 256);
        jpeg_read_header(&S.D, TRUE);
        if (int64_t(S.D.image_width) * int64_t(S.D.image_height) > TBitmap::MaxPixels) {
            TooLarge = true;
            return;
        }
        S.D.scale_num = 1;
        S.D.scale_denom = 1u << unsigned(FScale);
        S.D.do_block_smoothing = FSmoothing ? TRUE : FALSE;
        const bool SourceCmyk =
            S.D.jpeg_color_space == JCS_CMYK || S.D.jpeg_color_space == JCS_YCCK;
        if (FGrayScale && !SourceCmyk) S.D.out_color_space = JCS_GRAYSCALE;
        const bool Grey = S.D.out_color_space == JCS_GRAYSCALE;
        Cmyk = S.D.out_color_space == JCS_CMYK;
        // Grey output keeps its 256 levels; only a colour 8-bit decode is
        // quantized. The colour map is then in red, green, blue order.
        if (FPixelFormat == jf8Bit && !Grey && !Cmyk) {
            Quantized = true;
            S.D.out_color_space = JCS_RGB;
            S.D.quantize_colors = TRUE;
            S.D.desired_number_of_colors = QuantizedColors;
        } else if (!Grey && !Cmyk) {
            S.D.out_color_space = JCS_EXT_BGR;
        }
        if (FPerformance == jpBestSpeed) {
            S.D.dct_method = JDCT_IFAST;
            S.D.two_pass_quantize = FALSE;
            S.D.dither_mode = JDITHER_ORDERED;
        }
        if (OnProgress) OnProgress(psStarting, 0, false, RECT{});
        if (!FTempPal.empty()) {
            if (Quantized) {
                const int N = int(std::min<size_t>(FTempPal.size(), 256));
                JSAMPARRAY Map = S.D.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&S.D),
                                                       JPOOL_IMAGE, JDIMENSION(N), 3);
                for (int I = 0; I < N; ++I) {
                    Map[0][I] = FTempPal[size_t(I)].rgbRed;
                    Map[1][I] = FTempPal[size_t(I)].rgbGreen;
                    Map[2][I] = FTempPal[size_t(I)].rgbBlue;
                }
                S.D.colormap = Map;
                S.D.actual_number_of_colors = N;
                Palette.assign(FTempPal.begin(), FTempPal.begin() + N);
                PaletteGiven = true;
            } else {
                FTempPal.clear();
            }
        }
        jpeg_start_decompress(&S.D);
        const int W = int(S.D.output_width), H = int(S.D.output_height);
        Bmp.SetPixelFormat(Quantized || Grey ? pf8bit : pf24bit);
        Bmp.SetSize(W, H);
        if (Quantized && !PaletteGiven) {
            const int N = S.D.actual_number_of_colors;
            Palette.resize(size_t(N));
            for (int I = 0; I < N; ++I)
                Palette[size_t(I)] =
                    RGBQuad(S.D.colormap[0][I], S.D.colormap[1][I], S.D.colormap[2][I]);
            FPaletteModified = true;
        } else if (Grey) {
            Palette.resize(256);
            for (int I = 0; I < 256; ++I) {
                const uint8_t V = FInverted ? uint8_t(~I) : uint8_t(I);
                Palette[size_t(I)] = RGBQuad(V, V, V);
            }
            FPaletteModified = true;
        }
        if (!Palette.empty()) Bmp.SetPalette(Palette);
        const int Band = std::max(1, S.D.rec_outbuf_height);
        Rows.resize(size_t(Band));
        if (Cmyk) CmykRows.resize(size_t(W) * 4 * size_t(Band));
        // Once the data of a single-scan file has ended every later block
        // is empty: a few block rows on (upsampling reaches into the next
        // row of blocks) every row comes out the same, so the rest of a tall
        // picture is that row again rather than seconds of decoding nothing.
        // Dithered output differs from row to row and is decoded in full.
        const bool CanRepeat = !jpeg_has_multiple_scans(&S.D) && !Quantized;
        const JDIMENSION Settle = JDIMENSION(3 * S.D.max_v_samp_factor * DCTSIZE + Band);
        bool Ended = false;
        while (S.D.output_scanline < S.D.output_height) {
            const int Y = int(S.D.output_scanline);
            if (CanRepeat && S.Error.DataEnded && Y > 0 &&
                S.D.output_scanline >= S.Error.EndScanline + Settle) {
                const size_t RowBytes = Bmp.BytesPerScanLine();
                for (int Rest = Y; Rest < H; ++Rest)
                    std::memcpy(Bmp.ScanLine(Rest), Bmp.ScanLine(Y - 1), RowBytes);
                Ended = true;
                break;
            }
            const int N = std::min(Band, H - Y);
            for (int I = 0; I < N; ++I)
                Rows[size_t(I)] =
                    Cmyk ? CmykRows.data() + size_t(I) * size_t(W) * 4 : Bmp.ScanLine(Y + I);
            const JDIMENSION Got = jpeg_read_scanlines(&S.D, Rows.data(), JDIMENSION(N));
            if (Got == 0) break;
            if (Cmyk) {
                ConvertCMYKRows(CmykRows.data(), int(Got), W, Y);
            }
        }
        // Finishing checks that every row was read.
        if (Ended)
            jpeg_abort_decompress(&S.D);
        else
            jpeg_finish_decompress(&S.D);
    };
    std::exception_ptr Pending;
    bool Ok = false;
    try {
        Ok = Guarded(S, Body);
    } catch (...) {
        Pending = std::current_exception();
    }
    if (OnProgress) OnProgress(psEnding, Ok && !Pending ? 100 : 0, false, RECT{});
    if (Pending) std::rethrow_exception(Pending);
    if (TooLarge) {
        // Nothing was decoded: every later request raises again.
        FBitmap.reset();
        throw EJPEGError("JPEG error: image too large");
    }
    if (!Ok) S.Raise();
    FScaledWidth = Bmp.Width();
    FScaledHeight = Bmp.Height();
    FNeedRecalc = false;
    if (FPaletteModified) {
        FPaletteModified = false;
        Changed();
    }
}

void TPDFJPEGImage::ConvertCMYKRows(const uint8_t* Samples, int Count, int Width, int FirstRow) {
    // By default a stored byte b means ink 1 − b / 255 (CMYK JPEG files
    // store inverted samples); after InvertCMYK it means b / 255.
    auto& Memo = FCMYKMemo;
    for (int R = 0; R < Count; ++R) {
        const uint8_t* In = Samples + size_t(R) * size_t(Width) * 4;
        uint8_t* Out = FBitmap->ScanLine(FirstRow + R);
        for (int X = 0; X < Width; ++X, In += 4, Out += 3) {
            const uint32_t Key = uint32_t(In[0]) | (uint32_t(In[1]) << 8) |
                                 (uint32_t(In[2]) << 16) | (uint32_t(In[3]) << 24);
            auto It = Memo.find(Key);
            uint32_t Bgr;
            if (It != Memo.end()) {
                Bgr = It->second;
            } else {
                auto Ink = [&](uint8_t B) { return FInverted ? B / 255.0 : 1 - B / 255.0; };
                TPDFCMYKColor C{Ink(In[0]), Ink(In[1]), Ink(In[2]), Ink(In[3])};
                const TPDFRGBColor Rgb = FColorManager->CMYK2RGB(C);
                auto Byte = [](double V) {
                    return uint32_t(std::clamp(std::nearbyint(V * 255), 0.0, 255.0));
                };
                Bgr = Byte(Rgb.Blue) | (Byte(Rgb.Green) << 8) | (Byte(Rgb.Red) << 16);
                if (Memo.size() < MaxCMYKMemo) Memo.emplace(Key, Bgr);
            }
            Out[0] = uint8_t(Bgr);
            Out[1] = uint8_t(Bgr >> 8);
            Out[2] = uint8_t(Bgr >> 16);
        }
    }
}

void TPDFJPEGImage::JPEGNeeded() {
    if (!FImage->FData) Compress();
}

void TPDFJPEGImage::Compress() {
    if (FImage->FData) ResetJPEGData();
    FImage->FData = std::make_unique<TMemoryStream>();
    if (!FBitmap || FBitmap->Width() == 0 || FBitmap->Height() == 0) return;
    TBitmap Temp(*FBitmap);
    Temp.SetPixelFormat(pf24bit);
    TJpegSession S;
    S.Owner = this;
    S.Event = &OnProgress;
    const int W = Temp.Width(), H = Temp.Height();
    FImage->FWidth = W;
    FImage->FHeight = H;
    if (FGrayScale) FImage->FGrayscale = true;
    auto Body = [&] {
        S.C.err = &S.Error.Pub;
        jpeg_create_compress(&S.C);
        S.C.client_data = &S;
        S.CCreated = true;
        S.Progress.progress_monitor = ProgressMonitor;
        S.C.progress = &S.Progress;
        jpeg_mem_dest(&S.C, &S.OutBuffer, &S.OutSize);
        S.C.image_width = JDIMENSION(W);
        S.C.image_height = JDIMENSION(H);
        S.C.input_components = 3;
        S.C.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&S.C);
        S.C.density_unit = 1;
        S.C.X_density = uint16_t(FDPI & 0xFFFF);
        S.C.Y_density = uint16_t(FDPI & 0xFFFF);
        jpeg_set_quality(&S.C, FQuality, TRUE);
        if (FGrayScale) jpeg_set_colorspace(&S.C, JCS_GRAYSCALE);
        if (OnProgress) OnProgress(psStarting, 0, false, RECT{});
        jpeg_start_compress(&S.C, TRUE);
        while (S.C.next_scanline < S.C.image_height) {
            JSAMPROW Row = Temp.ScanLine(int(S.C.next_scanline));
            jpeg_write_scanlines(&S.C, &Row, 1);
        }
        jpeg_finish_compress(&S.C);
    };
    if (!Guarded(S, Body)) {
        ResetJPEGData();
        S.Raise();
    }
    if (OnProgress) OnProgress(psEnding, 100, false, RECT{});
    FImage->FData->WriteBuffer(S.OutBuffer, int64_t(S.OutSize));
    FImage->FData->SetPosition(0);
}

void TPDFJPEGImage::InvertCMYK() {
    if (FInverted) return;
    DropBitmap();
    FInverted = true;
    FCMYKMemo.clear();
    DecodedBitmap();
}

void TPDFJPEGImage::SetColorManager(TPDFColorManager* Value) {
    if (Value == nullptr) return;
    if (!FExternalColorManager) delete FColorManager;
    FColorManager = Value;
    FExternalColorManager = true;
    FCMYKMemo.clear();
}

void TPDFJPEGImage::SetCompressionQuality(int Value) { FQuality = std::clamp(Value, 1, 100); }

bool TPDFJPEGImage::Grayscale() const { return FGrayScale || FImage->FGrayscale; }

void TPDFJPEGImage::SetGrayscale(bool Value) {
    if (Value == FGrayScale) return;
    // Only a decoded picture is dropped: an assigned bitmap is the image
    // itself until it is encoded.
    if (FImage->FData) DropBitmap();
    FGrayScale = Value;
    FPaletteModified = true;
    Changed();
}

void TPDFJPEGImage::SetPixelFormat(TJPEGPixelFormat Value) {
    if (Value == FPixelFormat) return;
    // Only a decoded picture is dropped: an assigned bitmap is the image
    // itself until it is encoded.
    if (FImage->FData) DropBitmap();
    FPixelFormat = Value;
    FPaletteModified = true;
    Changed();
}

void TPDFJPEGImage::Draw(TCanvas& ACanvas, const RECT& Rect) {
    TBitmap& B = DecodedBitmap();
    TCanvasLock Lock(B.Canvas());
    ACanvas.CopyRect(Rect, B.Canvas(), RECT{0, 0, B.Width(), B.Height()});
}

bool TPDFJPEGImage::Equals(const TPDFJPEGImage& Other) const {
    if (FImage->FData && Other.FImage->FData) return Data() == Other.Data();
    return FImage == Other.FImage;
}

bool TPDFJPEGImage::Empty() const {
    if (FImage->FData) return false;
    return !FBitmap || FBitmap->Empty();
}

int TPDFJPEGImage::Width() {
    if (FBitmap) return FBitmap->Width();
    return FImage->FWidth;
}

int TPDFJPEGImage::Height() {
    if (FBitmap) return FBitmap->Height();
    return FImage->FHeight;
}

}  // namespace velmo
