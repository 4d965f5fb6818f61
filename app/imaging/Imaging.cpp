#include "app/imaging/Imaging.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/Utilities.h"
#include "codecs/GIFDecoder.h"
#include "codecs/GIFWriter.h"
#include "codecs/JPEGImage.h"
#include "core/PNG.h"
#include "platform/files/FileStream.h"
#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"

namespace velmo {

TImageFormat DetectImageFormat(std::string_view B) {
    if (B.size() >= 3 && uint8_t(B[0]) == 0xFF && uint8_t(B[1]) == 0xD8 && uint8_t(B[2]) == 0xFF)
        return TImageFormat::JPEG;
    if (B.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8)) return TImageFormat::PNG;
    if (B.substr(0, 6) == "GIF87a" || B.substr(0, 6) == "GIF89a") return TImageFormat::GIF;
    if (B.substr(0, 2) == "BM") return TImageFormat::BMP;
    return TImageFormat::Unknown;
}

namespace {

// One output sample of a pass: the first source index and its weights.
struct TTaps {
    int First = 0;
    std::vector<float> Weights;
};

// Shrinking averages the source area each output sample covers; enlarging
// interpolates linearly between the two nearest source samples (centres
// aligned, edges held).
std::vector<TTaps> MakeTaps(int Src, int Dst) {
    std::vector<TTaps> taps(static_cast<size_t>(Dst));
    const double scale = double(Src) / Dst;
    for (int i = 0; i < Dst; ++i) {
        TTaps& t = taps[size_t(i)];
        if (Dst <= Src) {
            const double a = i * scale, b = (i + 1) * scale;
            const int first = int(std::floor(a));
            const int last = std::min(Src, int(std::ceil(b)));
            t.First = first;
            for (int s = first; s < last; ++s) {
                const double cover = std::min<double>(b, s + 1) - std::max<double>(a, s);
                t.Weights.push_back(float(std::max(0.0, cover) / scale));
            }
        } else {
            double x = (i + 0.5) * scale - 0.5;
            x = std::clamp(x, 0.0, double(Src - 1));
            const int x0 = int(std::floor(x));
            const double f = x - x0;
            t.First = x0;
            if (x0 + 1 < Src && f > 0) {
                t.Weights = {float(1 - f), float(f)};
            } else {
                t.Weights = {1.0f};
            }
        }
    }
    return taps;
}

// A float image of C channels per pixel, row after row.
struct TPlane {
    int W = 0, H = 0, C = 0;
    std::vector<float> P;
    float* At(int X, int Y) { return P.data() + (size_t(Y) * size_t(W) + size_t(X)) * size_t(C); }
};

TPlane Horizontal(TPlane& S, int W) {
    TPlane D{W, S.H, S.C, std::vector<float>(size_t(W) * size_t(S.H) * size_t(S.C))};
    const auto taps = MakeTaps(S.W, W);
    for (int y = 0; y < S.H; ++y)
        for (int x = 0; x < W; ++x) {
            float* out = D.At(x, y);
            const TTaps& t = taps[size_t(x)];
            for (size_t k = 0; k < t.Weights.size(); ++k) {
                const float* in = S.At(t.First + int(k), y);
                for (int c = 0; c < S.C; ++c) out[c] += t.Weights[k] * in[c];
            }
        }
    return D;
}

TPlane Vertical(TPlane& S, int H) {
    TPlane D{S.W, H, S.C, std::vector<float>(size_t(S.W) * size_t(H) * size_t(S.C))};
    const auto taps = MakeTaps(S.H, H);
    for (int y = 0; y < H; ++y) {
        const TTaps& t = taps[size_t(y)];
        for (size_t k = 0; k < t.Weights.size(); ++k) {
            const float w = t.Weights[k];
            const float* in = S.At(0, t.First + int(k));
            float* out = D.At(0, y);
            for (size_t i = 0, n = size_t(S.W) * size_t(S.C); i < n; ++i) out[i] += w * in[i];
        }
    }
    return D;
}

uint8_t ToByte(float V) { return uint8_t(std::clamp(std::lround(V), 0L, 255L)); }

}  // namespace

TBitmap ScaleBitmap(const TBitmap& Source, int Width, int Height) {
    if (Width < 1 || Height < 1 || Width > 65535 || Height > 65535)
        throw EImagingError("Invalid image size");
    if (Source.Empty()) throw EImagingError("Empty image");
    if (int64_t(Width) * Height > TBitmap::MaxPixels) throw EImagingError("Image too large");
    TBitmap converted;
    const TBitmap* src = &Source;
    if (Source.PixelFormat() != pf24bit && Source.PixelFormat() != pf32bit) {
        converted.Assign(Source);
        converted.SetPixelFormat(pf24bit);
        src = &converted;
    }
    const bool alpha = src->PixelFormat() == pf32bit;
    const int C = alpha ? 4 : 3;
    const int SW = src->Width(), SH = src->Height();
    // The pass that makes the smaller intermediate image goes first.
    const bool horizontalFirst = int64_t(Width) * SH <= int64_t(SW) * Height;
    const int64_t middle = horizontalFirst ? int64_t(Width) * SH : int64_t(SW) * Height;
    if (middle > TBitmap::MaxPixels || int64_t(SW) * SH > TBitmap::MaxPixels)
        throw EImagingError("Image too large");

    TPlane plane{SW, SH, C, std::vector<float>(size_t(SW) * size_t(SH) * size_t(C))};
    for (int y = 0; y < SH; ++y) {
        const uint8_t* row = src->ScanLine(y);
        for (int x = 0; x < SW; ++x) {
            float* p = plane.At(x, y);
            const uint8_t* s = row + size_t(x) * size_t(C);
            if (alpha) {
                const float a = s[3] / 255.0f;
                p[0] = s[0] * a, p[1] = s[1] * a, p[2] = s[2] * a, p[3] = s[3];
            } else {
                p[0] = s[0], p[1] = s[1], p[2] = s[2];
            }
        }
    }
    TPlane out;
    if (horizontalFirst) {
        TPlane mid = Horizontal(plane, Width);
        plane = TPlane();
        out = Vertical(mid, Height);
    } else {
        TPlane mid = Vertical(plane, Height);
        plane = TPlane();
        out = Horizontal(mid, Width);
    }
    TBitmap result(Width, Height, alpha ? pf32bit : pf24bit);
    for (int y = 0; y < Height; ++y) {
        uint8_t* row = result.ScanLine(y);
        for (int x = 0; x < Width; ++x) {
            const float* p = out.At(x, y);
            uint8_t* d = row + size_t(x) * size_t(C);
            if (alpha) {
                const float a = p[3];
                const float k = a > 0 ? 255.0f / a : 0.0f;
                d[0] = ToByte(p[0] * k), d[1] = ToByte(p[1] * k), d[2] = ToByte(p[2] * k);
                d[3] = ToByte(a);
            } else {
                d[0] = ToByte(p[0]), d[1] = ToByte(p[1]), d[2] = ToByte(p[2]);
            }
        }
    }
    return result;
}

namespace {

std::string ReadWholeFile(const std::u16string& FileName) {
    const THandle h = CreateFileW(FileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (h == INVALID_HANDLE_VALUE) throw EImagingError("Cannot open the image file");
    THandleStream s(h, true);
    const int64_t size = s.Size();
    if (size < 0 || size > (int64_t(1) << 31)) throw EImagingError("Image file too large");
    std::string bytes(size_t(size), '\0');
    s.ReadBuffer(bytes.data(), size);
    return bytes;
}

TBitmap Decode(const std::string& Bytes, TImageFormat Format) {
    TBitmap bm;
    switch (Format) {
        case TImageFormat::JPEG: {
            TPDFJPEGImage jpeg;
            jpeg.LoadFromBytes(Bytes);
            bm.Assign(jpeg.DecodedBitmap());
            break;
        }
        case TImageFormat::PNG: {
            TPNGReader reader;
            reader.SetDownSampleImage(true);
            reader.SetDownSampleAlpha(true);
            TStringStream s(Bytes);
            reader.LoadFromStream(s);
            std::unique_ptr<TBitmap> decoded = reader.SaveToBitmap();
            if (!decoded) throw EImagingError("Unsupported or damaged PNG image");
            bm = std::move(*decoded);
            break;
        }
        case TImageFormat::GIF: {
            TPDFGIFDecoder gif;
            gif.LoadFromString(Bytes);
            if (gif.ImageBlocks().empty()) throw EImagingError("Damaged GIF image");
            gif.SaveToBitmap(bm);
            break;
        }
        case TImageFormat::BMP: {
            TStringStream s(Bytes);
            bm.LoadFromStream(s);
            break;
        }
        default:
            throw EImagingError("Unknown image format");
    }
    if (bm.Empty()) throw EImagingError("Empty image");
    if (bm.PixelFormat() != pf24bit && bm.PixelFormat() != pf32bit) bm.SetPixelFormat(pf24bit);
    // Only PNG carries alpha; elsewhere the fourth byte means nothing.
    if (Format != TImageFormat::PNG && bm.PixelFormat() == pf32bit) bm.SetPixelFormat(pf24bit);
    return bm;
}

TBitmap As24(const TBitmap& B) {
    TBitmap c;
    c.Assign(B);
    c.SetPixelFormat(pf24bit);
    return c;
}

}  // namespace

void TImagingImage::LoadFromBytes(std::string Bytes) {
    const TImageFormat f = DetectImageFormat(Bytes);
    TBitmap bm = Decode(Bytes, f);
    FBitmap = std::move(bm);
    FLoadedBytes = std::move(Bytes);
    FLoadedFormat = FSaveFormat = f;
    FModified = false;
}

void TImagingImage::LoadFromFile(const std::u16string& FileName) {
    LoadFromBytes(ReadWholeFile(FileName));
}

void TImagingImage::Scale(int NewWidth, int NewHeight) {
    FBitmap = ScaleBitmap(FBitmap, NewWidth, NewHeight);
    FModified = true;
}

std::string TImagingImage::Encode() const {
    if (FBitmap.Empty()) throw EImagingError("Empty image");
    if (!FModified && FSaveFormat == FLoadedFormat) return FLoadedBytes;
    TMemoryStream out;
    switch (FSaveFormat) {
        case TImageFormat::BMP: {
            if (FBitmap.PixelFormat() == pf24bit)
                FBitmap.SaveToStream(out);
            else
                As24(FBitmap).SaveToStream(out);
            break;
        }
        case TImageFormat::PNG: {
            TPNGWriter writer(FBitmap);
            TBitmap mask;
            if (FBitmap.PixelFormat() == pf32bit) {
                bool opaque = true;
                mask = TBitmap(FBitmap.Width(), FBitmap.Height(), pf24bit);
                for (int y = 0; y < FBitmap.Height(); ++y) {
                    const uint8_t* s = FBitmap.ScanLine(y);
                    uint8_t* m = mask.ScanLine(y);
                    for (int x = 0; x < FBitmap.Width(); ++x) {
                        const uint8_t a = s[4 * x + 3];
                        opaque = opaque && a == 255;
                        m[3 * x] = m[3 * x + 1] = m[3 * x + 2] = a;
                    }
                }
                if (!opaque) writer.SetAlphaChannel(&mask, false);
            }
            writer.SaveToStream(out);
            break;
        }
        case TImageFormat::JPEG: {
            TPDFJPEGImage jpeg;
            if (FBitmap.PixelFormat() == pf24bit)
                jpeg.Assign(FBitmap);
            else
                jpeg.Assign(As24(FBitmap));
            jpeg.SetCompressionQuality(DefaultJPEGQuality);
            jpeg.SaveToStream(out);
            break;
        }
        case TImageFormat::GIF: {
            TPDFGIFWriter gif;
            gif.Assign(FBitmap);
            gif.SaveToStream(out);
            break;
        }
        default:
            throw EImagingError("Unknown image format");
    }
    return out.Bytes();
}

void TImagingImage::SaveToFile(const std::u16string& FileName) const {
    const std::string bytes = Encode();
    WriteFileReplacing(FileName, [&](TStream& s) { s.WriteBuffer(bytes); });
}

void GetImageSize(const std::u16string& FileName, int& Width, int& Height) {
    TImagingImage image;
    image.LoadFromFile(FileName);
    Width = image.Width();
    Height = image.Height();
}

void ResizeImageFile(const std::u16string& Source, const std::u16string& Dest, int NewWidth,
                     int NewHeight) {
    TImagingImage image;
    image.LoadFromFile(Source);
    image.Scale(NewWidth, NewHeight);
    image.SaveToFile(Dest);
}

void ConvertImageFile(const std::u16string& Source, const std::u16string& Dest) {
    TImagingImage image;
    image.LoadFromFile(Source);
    const size_t dot = Dest.find_last_of(u'.');
    const size_t slash = Dest.find_last_of(u'/');
    std::u16string ext;
    if (dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash))
        ext = LowerAscii(Dest.substr(dot));
    if (ext == u".bmp")
        image.SetSaveFormat(TImageFormat::BMP);
    else if (ext == u".png")
        image.SetSaveFormat(TImageFormat::PNG);
    else if (ext == u".jpg")
        image.SetSaveFormat(TImageFormat::JPEG);
    else if (ext == u".gif")
        image.SetSaveFormat(TImageFormat::GIF);
    image.SaveToFile(Dest);
}

void RecompressJPEGFile(const std::u16string& FileName, int Quality) {
    const std::string bytes = ReadWholeFile(FileName);
    TPDFJPEGImage source;
    source.LoadFromBytes(bytes);
    TBitmap decoded;
    decoded.Assign(source.DecodedBitmap());
    TPDFJPEGImage target;
    target.Assign(decoded);
    // The quality is taken as one byte; the codec keeps it within 1..100.
    target.SetCompressionQuality(Quality & 0xFF);
    TMemoryStream out;
    target.SaveToStream(out);
    WriteFileReplacing(FileName, [&](TStream& s) { s.WriteBuffer(out.Bytes()); });
}

}  // namespace velmo
