#include "app/imaging/Imaging.h"

#include <algorithm>
#include <cmath>
#include <memory>
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

// Out (Taps.size() pixels of C floats) := In filtered along the row.
void FilterRow(const float* In, float* Out, const std::vector<TTaps>& Taps, int C) {
    for (size_t x = 0; x < Taps.size(); ++x) {
        float* out = Out + x * size_t(C);
        for (int c = 0; c < C; ++c) out[c] = 0;
        const TTaps& t = Taps[x];
        for (size_t k = 0; k < t.Weights.size(); ++k) {
            const float* in = In + (size_t(t.First) + k) * size_t(C);
            for (int c = 0; c < C; ++c) out[c] += t.Weights[k] * in[c];
        }
    }
}

// Out (N floats) := the rows Row(First + k) weighted by the taps of one
// output row.
template <class RowOf>
void FilterColumn(const RowOf& Row, const TTaps& T, size_t N, float* Out) {
    std::fill(Out, Out + N, 0.0f);
    for (size_t k = 0; k < T.Weights.size(); ++k) {
        const float w = T.Weights[k];
        const float* in = Row(T.First + int(k));
        for (size_t i = 0; i < N; ++i) Out[i] += w * in[i];
    }
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
    // The pass that makes the smaller intermediate image goes first; only
    // that image is held in floats, the source and result are read and
    // written row by row.
    const bool horizontalFirst = int64_t(Width) * SH <= int64_t(SW) * Height;
    const int64_t middle = horizontalFirst ? int64_t(Width) * SH : int64_t(SW) * Height;
    if (middle > MaxIntermediatePixels) throw EImagingError("Image too large");
    const int MW = horizontalFirst ? Width : SW;
    const size_t midRow = size_t(MW) * size_t(C);
    // Every element is written before it is read: no zeroing.
    const std::unique_ptr<float[]> mid(new float[size_t(middle) * size_t(C)]);
    std::vector<float> srcBuf(size_t(SW) * size_t(C)), outBuf(size_t(Width) * size_t(C));
    const auto sourceRow = [&](int y) {
        const uint8_t* row = src->ScanLine(y);
        for (int x = 0; x < SW; ++x) {
            float* p = srcBuf.data() + size_t(x) * size_t(C);
            const uint8_t* s = row + size_t(x) * size_t(C);
            if (alpha) {
                const float a = s[3] / 255.0f;
                p[0] = s[0] * a, p[1] = s[1] * a, p[2] = s[2] * a, p[3] = s[3];
            } else {
                p[0] = s[0], p[1] = s[1], p[2] = s[2];
            }
        }
        return static_cast<const float*>(srcBuf.data());
    };
    const auto midRowAt = [&](int y) {
        return static_cast<const float*>(mid.get() + size_t(y) * midRow);
    };
    const auto hTaps = MakeTaps(SW, Width);
    const auto vTaps = MakeTaps(SH, Height);

    TBitmap result(Width, Height, alpha ? pf32bit : pf24bit);
    const auto writeRow = [&](int y, const float* p) {
        uint8_t* row = result.ScanLine(y);
        for (int x = 0; x < Width; ++x, p += C) {
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
    };
    if (horizontalFirst) {
        for (int y = 0; y < SH; ++y)
            FilterRow(sourceRow(y), mid.get() + size_t(y) * midRow, hTaps, C);
        for (int y = 0; y < Height; ++y) {
            FilterColumn(midRowAt, vTaps[size_t(y)], midRow, outBuf.data());
            writeRow(y, outBuf.data());
        }
    } else {
        for (int y = 0; y < Height; ++y)
            FilterColumn(sourceRow, vTaps[size_t(y)], midRow, mid.get() + size_t(y) * midRow);
        for (int y = 0; y < Height; ++y) {
            FilterRow(midRowAt(y), outBuf.data(), hTaps, C);
            writeRow(y, outBuf.data());
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
            bm = std::move(jpeg.DecodedBitmap());  // the image dies here
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

void ScaleWICImage(TImagingImage& Image, int NewWidth, int NewHeight) {
    Image.Scale(NewWidth, NewHeight);
}

void ResizeImageFile(const std::u16string& Source, const std::u16string& Dest, int NewWidth,
                     int NewHeight) {
    TImagingImage image;
    image.LoadFromFile(Source);
    ScaleWICImage(image, NewWidth, NewHeight);
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
