#include "codecs/KPLImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velmo {

namespace {

void PutLE16(std::string& S, uint32_t V) {
    S.push_back(char(V & 0xFF));
    S.push_back(char((V >> 8) & 0xFF));
}
void PutLE32(std::string& S, uint32_t V) {
    PutLE16(S, V & 0xFFFF);
    PutLE16(S, V >> 16);
}

}  // namespace

bool TKPLImage::ValidDepth(int Bits) {
    return Bits == 1 || Bits == 2 || Bits == 4 || Bits == 8 || Bits == 16;
}

int64_t TKPLImage::RowBytes(int Width, int Components, int Bits) {
    if (Width <= 0 || Components <= 0 || !ValidDepth(Bits)) return -1;
    return (int64_t(Width) * Components * Bits + 7) / 8;
}

TKPLImage::TKPLImage(int InitWidth, int InitHeight, int InitComponents, int InitBitsPerComponent) {
    const int64_t Row = RowBytes(InitWidth, InitComponents, InitBitsPerComponent);
    if (InitHeight > 0 && Row > 0 && Row <= INT32_MAX && Row * InitHeight <= MaxSamplesBytes)
        Reset(InitWidth, InitHeight, InitComponents, InitBitsPerComponent);
    else
        Reset(1, 1, 1, 8);
}

void TKPLImage::Reset(int Width, int Height, int Components, int Bits) {
    FWidth = Width;
    FHeight = Height;
    FComponents = Components;
    FBitsPerComponent = Bits;
    FStride = int(RowBytes(Width, Components, Bits));
    FImageData.assign(size_t(FStride) * size_t(Height), 0);
}

uint8_t* TKPLImage::GetRowPointer(int Row) {
    if (Row < 0 || Row >= FHeight) return nullptr;
    return FImageData.data() + size_t(Row) * size_t(FStride);
}

const uint8_t* TKPLImage::GetRowPointer(int Row) const {
    if (Row < 0 || Row >= FHeight) return nullptr;
    return FImageData.data() + size_t(Row) * size_t(FStride);
}

void TKPLImage::SetFromPointer(const void* Source) {
    if (Source != nullptr && !FImageData.empty())
        std::memcpy(FImageData.data(), Source, FImageData.size());
}

namespace {

// Sample I of a row at the given depth.
inline int ReadSample(const uint8_t* Row, size_t I, int Bits) {
    switch (Bits) {
        case 8:
            return Row[I];
        case 16:
            return (Row[2 * I] << 8) | Row[2 * I + 1];
        default: {
            const size_t Bit = I * size_t(Bits);
            const int Shift = 8 - Bits - int(Bit & 7);
            return (Row[Bit >> 3] >> Shift) & ((1 << Bits) - 1);
        }
    }
}

// Writes sample I of a row; below 8 bits the sample's bits are replaced.
inline void WriteSample(uint8_t* Row, size_t I, int Bits, int Value) {
    switch (Bits) {
        case 8:
            Row[I] = uint8_t(Value);
            break;
        case 16:
            Row[2 * I] = uint8_t((Value >> 8) & 0xFF);
            Row[2 * I + 1] = uint8_t(Value & 0xFF);
            break;
        default: {
            const size_t Bit = I * size_t(Bits);
            const int Shift = 8 - Bits - int(Bit & 7);
            const int Mask = ((1 << Bits) - 1) << Shift;
            uint8_t& B = Row[Bit >> 3];
            B = uint8_t((B & ~Mask) | ((Value << Shift) & Mask));
        }
    }
}

}  // namespace

void TKPLImage::GetRowValues(int Row, TKPLImageIntegerArray& RowValues) const {
    RowValues.clear();
    const uint8_t* P = GetRowPointer(Row);
    if (P == nullptr) return;
    const size_t N = size_t(FWidth) * size_t(FComponents);
    RowValues.resize(N);
    for (size_t I = 0; I < N; ++I) RowValues[I] = ReadSample(P, I, FBitsPerComponent);
}

void TKPLImage::SetRowValues(int Row, const TKPLImageIntegerArray& RowValues) {
    uint8_t* P = GetRowPointer(Row);
    const size_t N = size_t(FWidth) * size_t(FComponents);
    if (P == nullptr || RowValues.size() != N) return;
    if (FBitsPerComponent < 8) std::memset(P, 0, size_t(FStride));
    const int Mask = FBitsPerComponent == 16 ? 0xFFFF : (1 << FBitsPerComponent) - 1;
    for (size_t I = 0; I < N; ++I) WriteSample(P, I, FBitsPerComponent, RowValues[I] & Mask);
}

void TKPLImage::SetValue(int X, int Y, int Component, int NewValue) {
    if (X < 0 || Y < 0 || Component < 0 || X >= FWidth || Y >= FHeight || Component >= FComponents)
        return;
    if (NewValue < 0 || int64_t(NewValue) >= (int64_t(1) << FBitsPerComponent)) return;
    WriteSample(GetRowPointer(Y), size_t(X) * size_t(FComponents) + size_t(Component),
                FBitsPerComponent, NewValue);
}

int TKPLImage::GetValue(int X, int Y, int Component) const {
    if (X < 0 || Y < 0 || Component < 0 || X >= FWidth || Y >= FHeight || Component >= FComponents)
        return 0;
    return ReadSample(GetRowPointer(Y), size_t(X) * size_t(FComponents) + size_t(Component),
                      FBitsPerComponent);
}

void TKPLImage::SetBitsPerComponent(int NewBitsPerComponent, bool Rescale) {
    if (NewBitsPerComponent == FBitsPerComponent || !ValidDepth(NewBitsPerComponent)) return;
    TKPLImage Out(FWidth, FHeight, FComponents, NewBitsPerComponent);
    if (Out.FWidth != FWidth || Out.FHeight != FHeight || Out.FComponents != FComponents) return;
    const int OldMax = (1 << FBitsPerComponent) - 1;
    const int NewMax = (1 << NewBitsPerComponent) - 1;
    // One table per old value: at most 65536 entries, built once.
    std::vector<int32_t> Map(size_t(OldMax) + 1);
    for (int V = 0; V <= OldMax; ++V) {
        if (Rescale)
            Map[size_t(V)] = int32_t(std::nearbyint(double(V) / OldMax * NewMax));
        else
            Map[size_t(V)] = std::min(V, NewMax);
    }
    const size_t N = size_t(FWidth) * size_t(FComponents);
    for (int Y = 0; Y < FHeight; ++Y) {
        const uint8_t* Src = GetRowPointer(Y);
        uint8_t* Dst = Out.GetRowPointer(Y);
        for (size_t I = 0; I < N; ++I)
            WriteSample(Dst, I, NewBitsPerComponent,
                        Map[size_t(ReadSample(Src, I, FBitsPerComponent))]);
    }
    *this = std::move(Out);
}

void TKPLImage::ApplyPalette(const TKPLImageByteArray& Palette) {
    if (Palette.size() % 3 != 0) return;
    const size_t Entries = Palette.size() / 3;
    TKPLImage Out(FWidth, FHeight, 3, 8);
    if (Out.FWidth != FWidth || Out.FHeight != FHeight) return;
    for (int Y = 0; Y < FHeight; ++Y) {
        const uint8_t* Src = GetRowPointer(Y);
        uint8_t* Dst = Out.GetRowPointer(Y);
        for (int X = 0; X < FWidth; ++X) {
            const size_t V = size_t(ReadSample(Src, size_t(X), FBitsPerComponent));
            if (V < Entries) std::memcpy(Dst + size_t(X) * 3, Palette.data() + V * 3, 3);
        }
    }
    *this = std::move(Out);
}

void TKPLImage::AddComponentFromImage(const TKPLImage& Other) {
    if (Other.FBitsPerComponent != FBitsPerComponent || Other.FWidth != FWidth ||
        Other.FHeight != FHeight || Other.FComponents != 1)
        return;
    TKPLImage Out(FWidth, FHeight, FComponents + 1, FBitsPerComponent);
    if (Out.FComponents != FComponents + 1 || Out.FWidth != FWidth) return;
    const size_t C = size_t(FComponents);
    if (FBitsPerComponent == 8) {
        for (int Y = 0; Y < FHeight; ++Y) {
            const uint8_t* Src = GetRowPointer(Y);
            const uint8_t* Add = Other.GetRowPointer(Y);
            uint8_t* Dst = Out.GetRowPointer(Y);
            for (int X = 0; X < FWidth; ++X) {
                std::memcpy(Dst, Src, C);
                Dst[C] = Add[X];
                Dst += C + 1;
                Src += C;
            }
        }
    } else {
        TKPLImageIntegerArray Row, AddRow, OutRow(size_t(FWidth) * (C + 1));
        for (int Y = 0; Y < FHeight; ++Y) {
            GetRowValues(Y, Row);
            Other.GetRowValues(Y, AddRow);
            for (size_t X = 0; X < size_t(FWidth); ++X) {
                for (size_t K = 0; K < C; ++K) OutRow[X * (C + 1) + K] = Row[X * C + K];
                OutRow[X * (C + 1) + C] = AddRow[X];
            }
            Out.SetRowValues(Y, OutRow);
        }
    }
    *this = std::move(Out);
}

void TKPLImage::Invert() {
    if (FBitsPerComponent == 1) {
        for (uint8_t& B : FImageData) B = uint8_t(~B);
        return;
    }
    const int Max = (1 << FBitsPerComponent) - 1;
    const size_t N = size_t(FWidth) * size_t(FComponents);
    for (int Y = 0; Y < FHeight; ++Y) {
        uint8_t* P = GetRowPointer(Y);
        for (size_t I = 0; I < N; ++I)
            WriteSample(P, I, FBitsPerComponent, Max - ReadSample(P, I, FBitsPerComponent));
    }
}

void TKPLImage::FlipVertical() {
    for (int I = 0; I < FHeight / 2; ++I)
        std::swap_ranges(GetRowPointer(I), GetRowPointer(I) + FStride,
                         GetRowPointer(FHeight - 1 - I));
}

void TKPLImage::SetSizeScale(int NewWidth, int NewHeight, TKPLImageTransformMethod) {
    if (NewWidth <= 0 || NewHeight <= 0) return;
    TKPLImage Out(NewWidth, NewHeight, FComponents, FBitsPerComponent);
    if (Out.FWidth != NewWidth || Out.FHeight != NewHeight) return;
    const size_t C = size_t(FComponents);
    std::vector<int> Column(static_cast<size_t>(NewWidth));
    for (int X = 0; X < NewWidth; ++X) Column[size_t(X)] = int(int64_t(X) * FWidth / NewWidth);
    int LastSource = -1;
    for (int Y = 0; Y < NewHeight; ++Y) {
        const int SourceRow = int(int64_t(Y) * FHeight / NewHeight);
        uint8_t* Dst = Out.GetRowPointer(Y);
        if (SourceRow == LastSource) {
            // Consecutive target rows from one source row: copy the row made.
            std::memcpy(Dst, Out.GetRowPointer(Y - 1), size_t(Out.FStride));
            continue;
        }
        LastSource = SourceRow;
        const uint8_t* Src = GetRowPointer(SourceRow);
        if (FBitsPerComponent >= 8) {
            const size_t Px = C * size_t(FBitsPerComponent / 8);
            for (int X = 0; X < NewWidth; ++X)
                std::memcpy(Dst + size_t(X) * Px, Src + size_t(Column[size_t(X)]) * Px, Px);
        } else {
            for (int X = 0; X < NewWidth; ++X)
                for (size_t K = 0; K < C; ++K)
                    WriteSample(
                        Dst, size_t(X) * C + K, FBitsPerComponent,
                        ReadSample(Src, size_t(Column[size_t(X)]) * C + K, FBitsPerComponent));
        }
    }
    *this = std::move(Out);
}

void TKPLImage::SetSizeTruncatePad(int NewWidth, int NewHeight) {
    if (NewWidth <= 0 || NewHeight <= 0) return;
    TKPLImage Out(NewWidth, NewHeight, FComponents, FBitsPerComponent);
    if (Out.FWidth != NewWidth || Out.FHeight != NewHeight) return;
    const size_t Keep = size_t(std::min(FStride, Out.FStride));
    for (int Y = 0; Y < std::min(FHeight, NewHeight); ++Y)
        std::memcpy(Out.GetRowPointer(Y), GetRowPointer(Y), Keep);
    *this = std::move(Out);
}

void TKPLImage::GenerateBitmap(TStream& OutStream, TKPLImageBitmapFormat BitmapFormat) const {
    int Bits = 0;
    if (FBitsPerComponent != 8) return;
    switch (BitmapFormat) {
        case bf24BitRGB:
        case bf24BitBGR:
            if (FComponents == 3) Bits = 24;
            break;
        case bf8BitGray:
            if (FComponents == 1) Bits = 8;
            break;
        case bf32BitRGBA:
            if (FComponents == 4) Bits = 32;
            break;
        case bf1BitGray:
            break;
    }
    if (Bits == 0) return;
    const int64_t Padded = (int64_t(FStride) + 3) / 4 * 4;
    const int64_t ImageSize = Padded * FHeight;
    const uint32_t Offset = Bits == 24 ? 54 : Bits == 8 ? 1078 : 122;
    if (ImageSize + Offset > UINT32_MAX) return;
    std::string H;
    H += "BM";
    PutLE32(H, uint32_t(Offset + ImageSize));
    PutLE16(H, 0);
    PutLE16(H, 0);
    PutLE32(H, Offset);
    PutLE32(H, Bits == 32 ? 108 : 40);
    PutLE32(H, uint32_t(FWidth));
    PutLE32(H, uint32_t(FHeight));
    PutLE16(H, 1);
    PutLE16(H, uint32_t(Bits));
    PutLE32(H, Bits == 32 ? 3 : 0);
    PutLE32(H, uint32_t(ImageSize));
    PutLE32(H, 2835);
    PutLE32(H, 2835);
    PutLE32(H, Bits == 8 ? 256 : 0);
    PutLE32(H, 0);
    if (Bits == 32) {
        PutLE32(H, 0x00FF0000);
        PutLE32(H, 0x0000FF00);
        PutLE32(H, 0x000000FF);
        PutLE32(H, 0xFF000000);
        PutLE32(H, 0x57696E20);
        H.append(48, '\0');
    }
    if (Bits == 8) {
        for (int I = 0; I < 256; ++I) {
            H.push_back(char(I));
            H.push_back(char(I));
            H.push_back(char(I));
            H.push_back('\0');
        }
    }
    OutStream.WriteBuffer(H);
    std::string Row(size_t(Padded), '\0');
    for (int Y = FHeight - 1; Y >= 0; --Y) {
        const uint8_t* Src = GetRowPointer(Y);
        std::memcpy(Row.data(), Src, size_t(FStride));
        if (BitmapFormat == bf24BitRGB || BitmapFormat == bf32BitRGBA) {
            const size_t Px = BitmapFormat == bf24BitRGB ? 3 : 4;
            for (size_t X = 0; X < size_t(FWidth); ++X) std::swap(Row[X * Px], Row[X * Px + 2]);
        }
        OutStream.WriteBuffer(Row);
    }
}

}  // namespace velmo
