// The pixel store of the facade's bitmaps.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/gdiplus/Internal.h"

namespace velmo::gdiplus {

int StoreBits(GpPixelFormat Format) {
    switch (Format) {
        case PixelFormat1bppIndexed:
            return 1;
        case PixelFormat4bppIndexed:
            return 4;
        case PixelFormat8bppIndexed:
            return 8;
        case PixelFormat24bppRGB:
            return 24;
        case PixelFormat32bppRGB:
        case PixelFormat32bppARGB:
        case PixelFormat32bppPARGB:
            return 32;
        default:
            return 0;
    }
}

TGPStatus AllocatePixels(GpBitmap& Bitmap, int Width, int Height, GpPixelFormat Format) {
    const int Bits = StoreBits(Format);
    if (Width <= 0 || Height <= 0 || Bits == 0) return gsInvalidParameter;
    if (int64_t(Width) * Height > GpBitmap::MaxPixels) return gsOutOfMemory;
    const int64_t Stride = ((int64_t(Width) * Bits + 31) / 32) * 4;
    std::vector<uint8_t> Pixels;
    std::vector<GpARGB> Palette;
    try {
        Pixels.assign(size_t(Stride * Height), 0);
        if (Bits <= 8) {
            const int N = 1 << Bits;
            Palette.resize(size_t(N));
            for (int I = 0; I < N; ++I) {
                const uint32_t V = uint32_t(I * 255 / (N - 1));
                Palette[size_t(I)] = 0xFF000000u | (V << 16) | (V << 8) | V;
            }
        }
    } catch (const std::bad_alloc&) {
        return gsOutOfMemory;
    }
    Bitmap.Owned = std::move(Pixels);
    Bitmap.Palette = std::move(Palette);
    Bitmap.Width = Width;
    Bitmap.Height = Height;
    Bitmap.Format = Format;
    Bitmap.Stride = Stride;
    Bitmap.Scan0 = Bitmap.Owned.data();
    return gsOk;
}

GpBitmap* NewBitmap(int Width, int Height, GpPixelFormat Format, TGPStatus& Status) {
    GpBitmap* B = new (std::nothrow) GpBitmap;
    if (B == nullptr) {
        Status = gsOutOfMemory;
        return nullptr;
    }
    Status = AllocatePixels(*B, Width, Height, Format);
    if (Status == gsOk && !AddLive(static_cast<GpImage*>(B), TGpKind::Image)) Status = gsOutOfMemory;
    if (Status != gsOk) {
        delete B;
        return nullptr;
    }
    return B;
}

GpBitmap* CloneBitmap(const GpBitmap& Source, TGPStatus& Status) {
    GpBitmap* B = NewBitmap(Source.Width, Source.Height, Source.Format, Status);
    if (B == nullptr) return nullptr;
    const size_t RowBytes = size_t((int64_t(Source.Width) * StoreBits(Source.Format) + 7) / 8);
    for (int Y = 0; Y < Source.Height; ++Y) std::memcpy(B->Row(Y), Source.Row(Y), RowBytes);
    try {
        B->Palette = Source.Palette;
        B->Properties = Source.Properties;
    } catch (const std::bad_alloc&) {
        DisposeLiveImage(B);
        Status = gsOutOfMemory;
        return nullptr;
    }
    B->DpiX = Source.DpiX;
    B->DpiY = Source.DpiY;
    B->RawFormat = Source.RawFormat;
    B->ActiveFrame = Source.ActiveFrame;
    B->Frames = Source.Frames;
    return B;
}

bool DisposeLiveImage(GpImage* Image) {
    if (!RemoveLive(Image, TGpKind::Image)) return false;
    delete Image;
    return true;
}

namespace {

inline uint32_t Premultiply(uint32_t A, uint32_t R, uint32_t G, uint32_t B) {
    if (A == 255) return 0xFF000000u | (R << 16) | (G << 8) | B;
    if (A == 0) return 0;
    R = (R * A + 127) / 255;
    G = (G * A + 127) / 255;
    B = (B * A + 127) / 255;
    return (A << 24) | (R << 16) | (G << 8) | B;
}

inline void Unpremultiply(uint32_t P, uint32_t& A, uint32_t& R, uint32_t& G, uint32_t& B) {
    A = P >> 24;
    R = (P >> 16) & 0xFF;
    G = (P >> 8) & 0xFF;
    B = P & 0xFF;
    if (A == 0) {
        R = G = B = 0;
    } else if (A != 255) {
        R = std::min<uint32_t>(255, (R * 255 + A / 2) / A);
        G = std::min<uint32_t>(255, (G * 255 + A / 2) / A);
        B = std::min<uint32_t>(255, (B * 255 + A / 2) / A);
    }
}

uint32_t IndexAt(const uint8_t* Row, int X, int Bits) {
    switch (Bits) {
        case 1:
            return (Row[X >> 3] >> (7 - (X & 7))) & 1;
        case 4:
            return (Row[X >> 1] >> ((X & 1) ? 0 : 4)) & 0x0F;
        default:
            return Row[X];
    }
}

void SetIndexAt(uint8_t* Row, int X, int Bits, uint32_t Index) {
    switch (Bits) {
        case 1: {
            const uint8_t Mask = uint8_t(0x80 >> (X & 7));
            Row[X >> 3] = uint8_t(Index ? (Row[X >> 3] | Mask) : (Row[X >> 3] & ~Mask));
            break;
        }
        case 4: {
            uint8_t& Byte = Row[X >> 1];
            Byte = (X & 1) ? uint8_t((Byte & 0xF0) | (Index & 0x0F))
                           : uint8_t((Byte & 0x0F) | ((Index & 0x0F) << 4));
            break;
        }
        default:
            Row[X] = uint8_t(Index);
    }
}

uint32_t NearestEntry(const std::vector<GpARGB>& Palette, uint32_t A, uint32_t R, uint32_t G,
                      uint32_t B) {
    uint32_t Best = 0;
    int64_t BestDistance = INT64_MAX;
    for (size_t I = 0; I < Palette.size(); ++I) {
        const GpARGB E = Palette[I];
        const int64_t DA = int64_t(E >> 24) - A, DR = int64_t((E >> 16) & 0xFF) - R,
                      DG = int64_t((E >> 8) & 0xFF) - G, DB = int64_t(E & 0xFF) - B;
        const int64_t D = DA * DA + DR * DR + DG * DG + DB * DB;
        if (D < BestDistance) {
            BestDistance = D;
            Best = uint32_t(I);
            if (D == 0) break;
        }
    }
    return Best;
}

}  // namespace

void ReadRowPARGB(const GpBitmap& Bitmap, int Y, uint32_t* Out) {
    const uint8_t* Row = Bitmap.Row(Y);
    const int W = Bitmap.Width;
    switch (Bitmap.Format) {
        case PixelFormat24bppRGB:
            for (int X = 0; X < W; ++X, Row += 3)
                Out[X] = 0xFF000000u | (uint32_t(Row[2]) << 16) | (uint32_t(Row[1]) << 8) | Row[0];
            return;
        case PixelFormat32bppRGB:
            for (int X = 0; X < W; ++X, Row += 4)
                Out[X] = 0xFF000000u | (uint32_t(Row[2]) << 16) | (uint32_t(Row[1]) << 8) | Row[0];
            return;
        case PixelFormat32bppARGB:
            for (int X = 0; X < W; ++X, Row += 4) Out[X] = Premultiply(Row[3], Row[2], Row[1], Row[0]);
            return;
        case PixelFormat32bppPARGB:
            std::memcpy(Out, Row, size_t(W) * 4);
            return;
        default: {
            const int Bits = StoreBits(Bitmap.Format);
            for (int X = 0; X < W; ++X) {
                const uint32_t I = IndexAt(Row, X, Bits);
                const GpARGB E = I < Bitmap.Palette.size() ? Bitmap.Palette[I] : 0xFF000000u;
                Out[X] = Premultiply(E >> 24, (E >> 16) & 0xFF, (E >> 8) & 0xFF, E & 0xFF);
            }
        }
    }
}

void WriteRowPARGB(GpBitmap& Bitmap, int Y, const uint32_t* In) {
    uint8_t* Row = Bitmap.Row(Y);
    const int W = Bitmap.Width;
    uint32_t A, R, G, B;
    switch (Bitmap.Format) {
        case PixelFormat24bppRGB:
        case PixelFormat32bppRGB: {
            const int Step = Bitmap.Format == PixelFormat24bppRGB ? 3 : 4;
            // Colours without alpha are composed over black, as premultiplied
            // values already are.
            for (int X = 0; X < W; ++X, Row += Step) {
                Row[0] = uint8_t(In[X]);
                Row[1] = uint8_t(In[X] >> 8);
                Row[2] = uint8_t(In[X] >> 16);
            }
            return;
        }
        case PixelFormat32bppARGB:
            for (int X = 0; X < W; ++X, Row += 4) {
                Unpremultiply(In[X], A, R, G, B);
                Row[0] = uint8_t(B);
                Row[1] = uint8_t(G);
                Row[2] = uint8_t(R);
                Row[3] = uint8_t(A);
            }
            return;
        case PixelFormat32bppPARGB:
            std::memcpy(Row, In, size_t(W) * 4);
            return;
        default: {
            const int Bits = StoreBits(Bitmap.Format);
            for (int X = 0; X < W; ++X) {
                Unpremultiply(In[X], A, R, G, B);
                SetIndexAt(Row, X, Bits, NearestEntry(Bitmap.Palette, A, R, G, B));
            }
        }
    }
}

}  // namespace velmo::gdiplus
