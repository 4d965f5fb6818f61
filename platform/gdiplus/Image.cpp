// Images: loading and saving through streams and files, dispose, size,
// resolution and format queries, frames, encoders, property items and
// bitmaps made from memory, DIBs, bitmap objects and graphics.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/files/FileStream.h"
#include "platform/files/WideFile.h"
#include "platform/gdiplus/ImageCodecs.h"

namespace velmo::gdiplus {

namespace {

// A property value above this many bytes is refused.
constexpr uint32_t MaxPropertyBytes = uint32_t(16) << 20;

GpBitmap* LiveBitmap(GpImage* Image) {
    if (!IsLive(Image, TGpKind::Image)) return nullptr;
    return dynamic_cast<GpBitmap*>(Image);
}

// The bytes of Stream from its current position to its end.
TGPStatus ReadStream(GpIStream* Stream, std::string& Out) {
    char Buffer[65536];
    for (;;) {
        uint32_t Done = 0;
        const HRESULT R = Stream->Read(Buffer, sizeof Buffer, &Done);
        if (FAILED(R)) return gsGenericError;
        Done = std::min<uint32_t>(Done, sizeof Buffer);
        if (int64_t(Out.size()) + Done > MaxEncodedBytes) return gsOutOfMemory;
        Out.append(Buffer, Done);
        if (Done == 0) break;
    }
    return gsOk;
}

TGPStatus ReadFileBytes(const GpWCHAR* FileName, std::string& Out) {
    const THandle H = CreateFileW(FileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (H == INVALID_HANDLE_VALUE) return gsFileNotFound;
    TGPStatus S = gsOk;
    char Buffer[65536];
    for (;;) {
        uint32_t Done = 0;
        if (!ReadFile(H, Buffer, sizeof Buffer, &Done)) {
            S = gsWin32Error;
            break;
        }
        if (Done == 0) break;
        if (int64_t(Out.size()) + Done > MaxEncodedBytes) {
            S = gsOutOfMemory;
            break;
        }
        Out.append(Buffer, Done);
    }
    CloseHandle(H);
    return S;
}

TGPStatus LoadBytes(std::string&& Bytes, bool UseIcm, GpImage** Image) {
    std::shared_ptr<const std::string> Data = std::make_shared<const std::string>(std::move(Bytes));
    auto B = std::make_unique<GpBitmap>();
    const TGPStatus S = DecodeImage(Data, UseIcm, *B);
    if (S != gsOk) return S;
    if (!AddLive(static_cast<GpImage*>(B.get()), TGpKind::Image)) return gsOutOfMemory;
    *Image = B.release();
    return gsOk;
}

TGPStatus LoadFromStream(GpIStream* Stream, GpImage** Image, bool UseIcm) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (Stream == nullptr || Image == nullptr) return gsInvalidParameter;
    *Image = nullptr;
    try {
        std::string Bytes;
        const TGPStatus S = ReadStream(Stream, Bytes);
        if (S != gsOk) return S;
        return LoadBytes(std::move(Bytes), UseIcm, Image);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
}

TGPStatus Encode(GpImage* Image, const CLSID* Encoder, const EncoderParameters* Params,
                 std::string& Out) {
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Encoder == nullptr) return gsInvalidParameter;
    return EncodeImage(*B, *Encoder, Params, Out);
}

// Frames are counted in pages; a time dimension is for animations, which
// none of the formats here carry.
TGPStatus CheckDimension(const TGUID* DimensionID) {
    if (DimensionID == nullptr) return gsInvalidParameter;
    return *DimensionID == FrameDimensionPage ? gsOk : gsInvalidParameter;
}

size_t PropertyBytes(const std::vector<TGpProperty>& List) {
    size_t N = List.size() * sizeof(PropertyItem);
    for (const TGpProperty& P : List) N += P.Value.size();
    return N;
}

void PutProperty(const TGpProperty& P, PropertyItem& Item, uint8_t* Value) {
    Item.id = P.Id;
    Item.type = P.Type;
    Item.length = uint32_t(P.Value.size());
    Item.value = P.Value.empty() ? nullptr : Value;
    if (!P.Value.empty()) std::memcpy(Value, P.Value.data(), P.Value.size());
}

}  // namespace

TGPStatus GdipLoadImageFromStream(GpIStream* Stream, GpImage** Image) {
    return LoadFromStream(Stream, Image, false);
}

TGPStatus GdipLoadImageFromStreamICM(GpIStream* Stream, GpImage** Image) {
    return LoadFromStream(Stream, Image, true);
}

TGPStatus GdipSaveImageToStream(GpImage* Image, GpIStream* Stream, const CLSID* Encoder,
                                const EncoderParameters* Params) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (Stream == nullptr) return gsInvalidParameter;
    try {
        std::string Bytes;
        const TGPStatus S = Encode(Image, Encoder, Params, Bytes);
        if (S != gsOk) return S;
        size_t Pos = 0;
        while (Pos < Bytes.size()) {
            const uint32_t Chunk = uint32_t(std::min<size_t>(Bytes.size() - Pos, 1u << 30));
            uint32_t Done = 0;
            if (FAILED(Stream->Write(Bytes.data() + Pos, Chunk, &Done)) || Done == 0 ||
                Done > Chunk)
                return gsWin32Error;
            Pos += Done;
        }
        return gsOk;
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
}

TGPStatus GdipLoadImageFromFile(const GpWCHAR* FileName, GpImage** Image) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (FileName == nullptr || Image == nullptr) return gsInvalidParameter;
    *Image = nullptr;
    try {
        std::string Bytes;
        const TGPStatus S = ReadFileBytes(FileName, Bytes);
        if (S != gsOk) return S;
        return LoadBytes(std::move(Bytes), false, Image);
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
}

TGPStatus GdipSaveImageToFile(GpImage* Image, const GpWCHAR* FileName, const CLSID* Encoder,
                              const EncoderParameters* Params) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (FileName == nullptr || *FileName == 0) return gsInvalidParameter;
    try {
        std::string Bytes;
        const TGPStatus S = Encode(Image, Encoder, Params, Bytes);
        if (S != gsOk) return S;
        // Through a temporary file: a failed save leaves an old file whole.
        WriteFileReplacing(FileName, [&Bytes](TStream& Out) { Out.WriteBuffer(Bytes); });
        return gsOk;
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    } catch (const std::exception&) {
        return gsWin32Error;
    }
}

TGPStatus GdipDisposeImage(GpImage* Image) {
    if (!Started()) return gsGdiplusNotInitialized;
    return DisposeLiveImage(Image) ? gsOk : gsInvalidParameter;
}

TGPStatus GdipGetImageDimension(GpImage* Image, GpREAL* Width, GpREAL* Height) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Width == nullptr || Height == nullptr) return gsInvalidParameter;
    *Width = GpREAL(B->Width);
    *Height = GpREAL(B->Height);
    return gsOk;
}

TGPStatus GdipGetImageWidth(GpImage* Image, uint32_t* Width) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Width == nullptr) return gsInvalidParameter;
    *Width = uint32_t(B->Width);
    return gsOk;
}

TGPStatus GdipGetImageHeight(GpImage* Image, uint32_t* Height) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Height == nullptr) return gsInvalidParameter;
    *Height = uint32_t(B->Height);
    return gsOk;
}

TGPStatus GdipGetImageHorizontalResolution(GpImage* Image, GpREAL* Resolution) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Resolution == nullptr) return gsInvalidParameter;
    *Resolution = B->DpiX;
    return gsOk;
}

TGPStatus GdipGetImageVerticalResolution(GpImage* Image, GpREAL* Resolution) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Resolution == nullptr) return gsInvalidParameter;
    *Resolution = B->DpiY;
    return gsOk;
}

TGPStatus GdipGetImagePixelFormat(GpImage* Image, GpPixelFormat* Format) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Format == nullptr) return gsInvalidParameter;
    *Format = B->Format;
    return gsOk;
}

TGPStatus GdipImageGetFrameDimensionsCount(GpImage* Image, uint32_t* Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (LiveBitmap(Image) == nullptr || Count == nullptr) return gsInvalidParameter;
    *Count = 1;
    return gsOk;
}

TGPStatus GdipImageGetFrameDimensionsList(GpImage* Image, TGUID* DimensionIDs, uint32_t Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (LiveBitmap(Image) == nullptr || DimensionIDs == nullptr || Count != 1)
        return gsInvalidParameter;
    DimensionIDs[0] = FrameDimensionPage;
    return gsOk;
}

TGPStatus GdipImageGetFrameCount(GpImage* Image, const TGUID* DimensionID, uint32_t* Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Count == nullptr || CheckDimension(DimensionID) != gsOk)
        return gsInvalidParameter;
    *Count = B->Frames ? B->Frames->FrameCount() : 1;
    return gsOk;
}

TGPStatus GdipImageSelectActiveFrame(GpImage* Image, const TGUID* DimensionID,
                                     uint32_t FrameIndex) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || CheckDimension(DimensionID) != gsOk) return gsInvalidParameter;
    const uint32_t Count = B->Frames ? B->Frames->FrameCount() : 1;
    if (FrameIndex >= Count) return gsInvalidParameter;
    if (FrameIndex == B->ActiveFrame) return gsOk;
    if (!B->Frames) return gsInvalidParameter;
    try {
        const TGPStatus S = B->Frames->DecodeFrame(FrameIndex, *B);
        if (S != gsOk) return S;
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    B->ActiveFrame = FrameIndex;
    return gsOk;
}

TGPStatus GdipGetImageEncodersSize(uint32_t* NumEncoders, uint32_t* Size) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (NumEncoders == nullptr || Size == nullptr) return gsInvalidParameter;
    return EncodersSize(*NumEncoders, *Size);
}

TGPStatus GdipGetImageEncoders(uint32_t NumEncoders, uint32_t Size, ImageCodecInfo* Encoders) {
    if (!Started()) return gsGdiplusNotInitialized;
    return FillEncoders(NumEncoders, Size, Encoders);
}

TGPStatus GdipGetEncoderParameterListSize(GpImage* Image, const CLSID* Encoder, uint32_t* Size) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (LiveBitmap(Image) == nullptr || Encoder == nullptr || Size == nullptr)
        return gsInvalidParameter;
    return ParameterListSize(*Encoder, *Size);
}

TGPStatus GdipGetEncoderParameterList(GpImage* Image, const CLSID* Encoder, uint32_t Size,
                                      EncoderParameters* Buffer) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (LiveBitmap(Image) == nullptr || Encoder == nullptr) return gsInvalidParameter;
    return FillParameterList(*Encoder, Size, Buffer);
}

TGPStatus GdipGetPropertyItem(GpImage* Image, GpPROPID Id, uint32_t Size, PropertyItem* Buffer) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Buffer == nullptr) return gsInvalidParameter;
    for (const TGpProperty& P : B->Properties) {
        if (P.Id != Id) continue;
        if (Size < sizeof(PropertyItem) + P.Value.size()) return gsInsufficientBuffer;
        PropertyItem Item;
        PutProperty(P, Item, reinterpret_cast<uint8_t*>(Buffer) + sizeof(PropertyItem));
        std::memcpy(static_cast<void*>(Buffer), &Item, sizeof Item);
        return gsOk;
    }
    return gsPropertyNotFound;
}

TGPStatus GdipSetPropertyItem(GpImage* Image, const PropertyItem* Item) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Item == nullptr) return gsInvalidParameter;
    if (Item->length > MaxPropertyBytes || (Item->length > 0 && Item->value == nullptr))
        return gsInvalidParameter;
    try {
        TGpProperty P;
        P.Id = Item->id;
        P.Type = Item->type;
        P.Value.assign(static_cast<const char*>(Item->value), Item->length);
        for (TGpProperty& Old : B->Properties)
            if (Old.Id == P.Id) {
                Old = std::move(P);
                return gsOk;
            }
        B->Properties.push_back(std::move(P));
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    return gsOk;
}

TGPStatus GdipGetPropertyCount(GpImage* Image, uint32_t* Count) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Count == nullptr) return gsInvalidParameter;
    *Count = uint32_t(B->Properties.size());
    return gsOk;
}

TGPStatus GdipGetAllPropertyItems(GpImage* Image, uint32_t TotalSize, uint32_t Count,
                                  PropertyItem* Items) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(Image);
    if (B == nullptr || Items == nullptr) return gsInvalidParameter;
    if (Count != B->Properties.size()) return gsInvalidParameter;
    if (TotalSize < PropertyBytes(B->Properties)) return gsInsufficientBuffer;
    // The items first, then their values in the same order.
    uint8_t* Value = reinterpret_cast<uint8_t*>(Items) + Count * sizeof(PropertyItem);
    for (uint32_t I = 0; I < Count; ++I) {
        const TGpProperty& P = B->Properties[I];
        PropertyItem Item;
        PutProperty(P, Item, Value);
        std::memcpy(static_cast<void*>(&Items[I]), &Item, sizeof Item);
        Value += P.Value.size();
    }
    return gsOk;
}

TGPStatus GdipCreateBitmapFromGraphics(int32_t Width, int32_t Height, GpGraphics* Target,
                                       GpBitmap** Bitmap) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (Bitmap == nullptr) return gsInvalidParameter;
    GpREAL DpiX = 96, DpiY = 96;
    if (!GraphicsResolution(Target, DpiX, DpiY)) return gsInvalidParameter;
    TGPStatus S;
    GpBitmap* B = NewBitmap(Width, Height, PixelFormat32bppPARGB, S);
    if (B == nullptr) return S;
    B->DpiX = DpiX;
    B->DpiY = DpiY;
    *Bitmap = B;
    return gsOk;
}

TGPStatus GdipCreateBitmapFromScan0(int32_t Width, int32_t Height, int32_t Stride,
                                    GpPixelFormat Format, uint8_t* Scan0, GpBitmap** Bitmap) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (Bitmap == nullptr) return gsInvalidParameter;
    if (Scan0 == nullptr) {
        TGPStatus S;
        GpBitmap* B = NewBitmap(Width, Height, Format, S);
        if (B == nullptr) return S;
        *Bitmap = B;
        return gsOk;
    }
    const int Bits = StoreBits(Format);
    if (Width <= 0 || Height <= 0 || Bits == 0) return gsInvalidParameter;
    if (int64_t(Width) * Height > GpBitmap::MaxPixels) return gsOutOfMemory;
    // Caller memory: rows of at least the pixels' bytes, on 4-byte steps.
    const int64_t RowBytes = (int64_t(Width) * Bits + 7) / 8;
    if (Stride % 4 != 0 || std::abs(int64_t(Stride)) < RowBytes) return gsInvalidParameter;
    auto B = std::make_unique<GpBitmap>();
    // A zeroed store gives the palette of indexed formats, then the pixels
    // move to the caller's memory.
    TGPStatus S = AllocatePixels(*B, 1, 1, Format);
    if (S != gsOk) return S;
    B->Owned.clear();
    B->Owned.shrink_to_fit();
    B->Width = Width;
    B->Height = Height;
    B->Stride = Stride;
    B->Scan0 = Scan0;
    if (!AddLive(static_cast<GpImage*>(B.get()), TGpKind::Image)) return gsOutOfMemory;
    *Bitmap = B.release();
    return gsOk;
}

TGPStatus GdipCreateBitmapFromGdiDib(const GpBITMAPINFO* Info, void* Bits, GpBitmap** Bitmap) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (Info == nullptr || Bits == nullptr || Bitmap == nullptr) return gsInvalidParameter;
    const GpBITMAPINFOHEADER& H = Info->bmiHeader;
    if (H.biSize < 40 || H.biWidth <= 0 || H.biHeight == 0 || H.biHeight == INT32_MIN)
        return gsInvalidParameter;
    const int64_t Height = std::abs(int64_t(H.biHeight));
    if (int64_t(H.biWidth) * Height > GpBitmap::MaxPixels) return gsOutOfMemory;
    const int BitCount = H.biBitCount;
    if (BitCount != 1 && BitCount != 4 && BitCount != 8 && BitCount != 16 && BitCount != 24 &&
        BitCount != 32)
        return gsInvalidParameter;
    // The pixel data's size: whole rows for plain and bit-field data, the
    // header's size for run-length data.
    int64_t DataBytes;
    if (H.biCompression == 0 || H.biCompression == 3) {
        DataBytes = ((int64_t(H.biWidth) * BitCount + 31) / 32) * 4 * Height;
    } else if ((H.biCompression == 1 && BitCount == 8) || (H.biCompression == 2 && BitCount == 4)) {
        if (H.biSizeImage == 0) return gsInvalidParameter;
        DataBytes = H.biSizeImage;
    } else {
        return gsInvalidParameter;
    }
    // The colour table (or the three masks of bit-field data) follows the
    // header the caller gave.
    size_t TableBytes = 0;
    if (BitCount <= 8)
        TableBytes = 4 * size_t(H.biClrUsed != 0 ? std::min<uint32_t>(H.biClrUsed, 1u << BitCount)
                                                 : 1u << BitCount);
    else if (H.biCompression == 3)
        TableBytes = 12;
    try {
        // The DIB becomes a BMP file that the platform bitmap reads, with all
        // its checks.
        std::string File(14, '\0');
        const uint32_t HeaderBytes = 40;
        const uint64_t Offset = 14 + HeaderBytes + TableBytes;
        const uint64_t Total = Offset + uint64_t(DataBytes);
        if (Total > uint64_t(MaxEncodedBytes)) return gsOutOfMemory;
        File[0] = 'B';
        File[1] = 'M';
        for (int I = 0; I < 4; ++I) {
            File[2 + size_t(I)] = char(Total >> (8 * I));
            File[10 + size_t(I)] = char(Offset >> (8 * I));
        }
        GpBITMAPINFOHEADER Copy = H;
        Copy.biSize = HeaderBytes;
        Copy.biClrUsed = BitCount <= 8 ? uint32_t(TableBytes / 4) : 0;
        File.append(reinterpret_cast<const char*>(&Copy), HeaderBytes);
        File.append(reinterpret_cast<const char*>(Info->bmiColors), TableBytes);
        File.append(static_cast<const char*>(Bits), size_t(DataBytes));
        auto B = std::make_unique<GpBitmap>();
        TGPStatus S = DecodeBmp(File, *B);
        if (S != gsOk) return S == gsOutOfMemory ? S : gsInvalidParameter;
        B->RawFormat = ImageFormatMemoryBMP;
        if (!AddLive(static_cast<GpImage*>(B.get()), TGpKind::Image)) return gsOutOfMemory;
        *Bitmap = B.release();
        return gsOk;
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
}

TGPStatus GdipCreateBitmapFromHBITMAP(HBITMAP Bitmap, GpHPALETTE, GpBitmap** Result) {
    if (!Started()) return gsGdiplusNotInitialized;
    if (Result == nullptr) return gsInvalidParameter;
    try {
        TBitmap Copy;
        if (Bitmap == nullptr || !GetBitmapObject(Bitmap, Copy) || Copy.Empty())
            return gsInvalidParameter;
        auto B = std::make_unique<GpBitmap>();
        TGPStatus S = FromPlatformBitmap(Copy, false, *B);
        if (S != gsOk) return S;
        if (!AddLive(static_cast<GpImage*>(B.get()), TGpKind::Image)) return gsOutOfMemory;
        *Result = B.release();
        return gsOk;
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
}

TGPStatus GdipBitmapSetResolution(GpBitmap* Bitmap, GpREAL XDpi, GpREAL YDpi) {
    if (!Started()) return gsGdiplusNotInitialized;
    GpBitmap* B = LiveBitmap(static_cast<GpImage*>(Bitmap));
    if (B == nullptr || !std::isfinite(XDpi) || !std::isfinite(YDpi) || XDpi <= 0 || YDpi <= 0)
        return gsInvalidParameter;
    B->DpiX = XDpi;
    B->DpiY = YDpi;
    return gsOk;
}

}  // namespace velmo::gdiplus
