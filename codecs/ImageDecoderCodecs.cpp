// The fax, JBIG2 and JPEG 2000 stages of the image decoder: each codec's raster
// is turned into plain samples of the image's colour space, so that colour
// conversion, Decode arrays, masks and the component-raster mode treat them
// like any other sampled image.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "codecs/CCITTDecoder.h"
#include "codecs/ImageDecoder.h"
#include "codecs/JBIG2Decoder.h"
#include "codecs/Jpeg2000Bitmap.h"
#include "codecs/TIFFMaker.h"
#include "core/Objects.h"
#include "core/Structure.h"
#include "platform/gdiplus/ImageCodecs.h"
#include "render/ColorSpaces.h"

namespace velmo {

bool TPDFImageDecoder::DecodeCodecToSamples() {
    try {
        if (FImageFilter == "CCITTFaxDecode") return DecodeCCITTToSamples();
        return FImageFilter == "JBIG2Decode" ? DecodeJBIG2ToSamples() : DecodeJPXToSamples();
    } catch (const std::exception& E) {
        FLoadError = E.what();
        return false;
    }
}

namespace {

// The fax data wrapped in a one-strip TIFF as the image list hands it out
// (no resolution).
std::string FaxWrapper(const TCCITTParams& P, std::string Strip, TTIFFCompression Compression,
                       bool Reversed) {
    TPDFTIFFMaker M;
    M.Source = std::move(Strip);
    M.Width = P.Columns;
    M.Height = P.Rows;
    M.Compression = Compression;
    M.EncodedByteAlign = P.EncodedByteAlign;
    M.Reversed = Reversed;
    M.HorizontalDPI = M.VerticalDPI = 0;
    return M.WriteTIFFToString();
}

TTIFFCompression FaxCompression(int32_t K) {
    return K < 0 ? ttCCITT4 : K == 0 ? ttCCITT31d : ttCCITT32d;
}

// Data our decoder gave up on, read through the facade's TIFF decoder from
// its one-strip wrapper: the raster (1 = black in the coding's sense) when
// that decoder takes the whole image, else false.
bool DecodeFaxThroughTIFF(const TCCITTParams& P, std::string_view Data, TCCITTByteArray& Raster) {
    auto File = std::make_shared<const std::string>(
        FaxWrapper(P, std::string(Data), FaxCompression(P.K), false));
    GpBitmap Decoded;
    if (gdiplus::DecodeTiff(File, false, Decoded) != gsOk) return false;
    if (Decoded.Width != P.Columns || Decoded.Height != P.Rows) return false;
    const size_t RowBytes = (size_t(P.Columns) + 7) / 8;
    TCCITTByteArray Out(RowBytes * size_t(P.Rows), 0);
    std::vector<uint8_t> Row(size_t(P.Columns) * 4);
    for (int32_t Y = 0; Y < P.Rows; ++Y) {
        gdiplus::ReadRowBGRA(Decoded, Y, Row.data());
        uint8_t* Dst = Out.data() + size_t(Y) * RowBytes;
        for (int32_t X = 0; X < P.Columns; ++X)
            if (Row[size_t(X) * 4] < 128) Dst[X >> 3] |= uint8_t(0x80 >> (X & 7));
    }
    Raster = std::move(Out);
    return true;
}

}  // namespace

bool TPDFImageDecoder::DecodeCCITTToSamples() {
    TCCITTParams P;
    P.Rows = FHeight;
    int64_t Columns = 1728;
    for (const std::string& KV : FImageFilterParms) {
        const size_t Eq = KV.find('=');
        if (Eq == std::string::npos) continue;
        const std::string Key = KV.substr(0, Eq), Value = KV.substr(Eq + 1);
        if (Key == "K") P.K = int32_t(std::strtol(Value.c_str(), nullptr, 10));
        else if (Key == "Columns") Columns = std::strtoll(Value.c_str(), nullptr, 10);
        else if (Key == "EncodedByteAlign") P.EncodedByteAlign = Value == "true";
        else if (Key == "BlackIs1") P.BlackIs1 = Value == "true";
    }
    if (!FitsCap(FWidth, FHeight)) {
        FLoadError = "image too large";
        FLoadException = FWidth > 0 && FHeight > 0;
        return false;
    }
    // The decoder writes rows of /Columns, which may differ from /Width: it
    // gets its own buffer, capped like every raster.
    if (Columns < 1 || Columns > CCITTMaxWidth || !FitsCap(Columns, FHeight)) {
        FLoadError = "fax columns out of range";
        return false;
    }
    P.Columns = int32_t(Columns);
    // A stencil listed as an image is drawn into a bitmap; other images keep
    // their fax data in native mode.
    if (FIsImageExtraction && FMaskType == mtStencil && FDecodeMode == dmToNative) FDecodeMode = dmToBitmap;
    TCCITTByteArray Raster;
    std::string Message;
    const bool Decoded = DecodeCCITTFax(P, FImageData, Raster, &Message);
    // Group 4 with byte-aligned rows has no TIFF form: TIFF readers cannot
    // take it, so what our decoder gave stands (the rows before a fault).
    const bool Aligned4 = P.K < 0 && P.EncodedByteAlign;
    if (!Decoded && !Aligned4) DecodeFaxThroughTIFF(P, FImageData, Raster);
    if (FDecodeMode == dmToNative) {
        // The TIFF is black where the samples are 0, unless BlackIs1, a
        // Decode of 1 0 or a stencil turns it.
        const bool Reversed = P.BlackIs1 != (FDecode.rfind("[ 1 0", 0) == 0) != (FMaskType == mtStencil);
        std::string File = Aligned4 ? FaxWrapper(P, std::string(Raster.begin(), Raster.end()), ttNone, Reversed)
                                    : FaxWrapper(P, FImageData, FaxCompression(P.K), Reversed);
        FNativeType = nitTIFF;
        FImageStream = std::make_unique<TMemoryStream>();
        FImageStream->Write(File.data(), int64_t(File.size()));
    }
    if (Raster.empty()) {
        FLoadError = "fax data could not be decoded";
        return false;
    }
    // Fax data carry one bit per pixel whatever /BitsPerComponent says. The
    // samples are 0 for black unless BlackIs1; the raster is cut or
    // extended with white to /Width.
    const int64_t SrcRow = (Columns + 7) / 8, RowBytes = (int64_t(FWidth) + 7) / 8;
    const uint8_t White = P.BlackIs1 ? 0 : 1;
    std::string Samples(size_t(RowBytes * FHeight), White ? '\xFF' : '\0');
    const int64_t W = std::min<int64_t>(FWidth, Columns);
    for (int64_t Y = 0; Y < FHeight; ++Y) {
        const uint8_t* Src = Raster.data() + Y * SrcRow;
        uint8_t* Dst = reinterpret_cast<uint8_t*>(Samples.data()) + Y * RowBytes;
        for (int64_t X = 0; X < W; ++X)
            if ((Src[X >> 3] >> (7 - (X & 7))) & 1) Dst[X >> 3] ^= uint8_t(0x80 >> (X & 7));
    }
    FImageData = std::move(Samples);
    FBitsPerComponent = 1;
    if (FMaskType != mtStencil && FColorSpace.empty()) FColorSpace = "DeviceGray";
    return true;
}

bool TPDFImageDecoder::DecodeJBIG2ToSamples() {
    std::string Globals;
    if (FJBIG2Globals) {
        if (auto* S = dynamic_cast<TPDFStream*>(FindObject(FJBIG2Globals)))
            Globals = S->GetDecodedStreamWithLookup(FOnFindObject);
    }
    TVPLJBIG2Decoder D;
    if (!D.LoadFromBytes(FImageData, Globals)) {
        FLoadError = "JBIG2 data could not be decoded";
        return false;
    }
    if (!FitsCap(FWidth, FHeight)) {
        FLoadError = "image too large";
        FLoadException = FWidth > 0 && FHeight > 0;
        return false;
    }
    // A set JBIG2 pixel is black: sample 0, which a grey image shows black
    // and a stencil mask paints. The page is cut or extended with white to
    // the dictionary's size.
    const int64_t RowBytes = (int64_t(FWidth) + 7) / 8;
    std::string Samples(size_t(RowBytes * FHeight), '\xFF');
    TJBIG2ByteArray Row;
    const int32_t W = std::min(FWidth, D.Width());
    for (int32_t Y = 0; Y < std::min(FHeight, D.Height()); ++Y) {
        uint8_t* Dst = reinterpret_cast<uint8_t*>(Samples.data()) + Y * RowBytes;
        if (!D.GetScanline(Y, Row)) continue;
        for (int32_t X = 0; X < W; ++X)
            if (Row[size_t(X)] != 0) Dst[X >> 3] &= uint8_t(~(0x80 >> (X & 7)));
    }
    FImageData = std::move(Samples);
    FBitsPerComponent = 1;
    if (FMaskType != mtStencil && FColorSpace.empty()) FColorSpace = "DeviceGray";
    return true;
}

bool TPDFImageDecoder::DecodeJPXToSamples() {
    const bool CMYKAlternate =
        (FColorSpace == "Separation" && FSeparationColorSpace &&
         FSeparationColorSpace->Alternate() == "DeviceCMYK") ||
        (FColorSpace == "DeviceN" && FDeviceNColorSpace && FDeviceNColorSpace->Alternate() == "DeviceCMYK");
    const bool CMYK = FColorSpace == "DeviceCMYK" ||
                      (FColorSpace == "Indexed" && FIndexedBaseColorSpace == "DeviceCMYK") || CMYKAlternate;
    TJpeg2000Bitmap J;
    J.SetCMYK(CMYK);
    J.SetPixelCap(std::min<int64_t>(FMaxPixels, TBitmap::MaxPixels));
    J.LoadFromBytes(FImageData);
    if (J.Failed()) {
        // The placeholder of undecodable data is no picture of the image.
        FLoadError = "JPEG 2000 data could not be decoded";
        return false;
    }
    const int W = J.Width(), H = J.Height();
    if (!FitsCap(W, H)) {
        FLoadError = "image too large";
        return false;
    }
    const TPixelFormat F = J.PixelFormat();
    const int N = F == pf24bit ? 3 : F == pf32bit ? 4 : 1;
    // The samples in the order of the colour space: red, green, blue from
    // the pixel's bytes 2, 1, 0; C, M, Y, K from its bytes 3 down to 0 (a
    // 4-component image without CMYK is RGB plus opacity, which is dropped).
    const bool FourInks = N == 4 && CMYK;
    const int OutN = N == 1 ? 1 : FourInks ? 4 : 3;
    std::string Samples(size_t(int64_t(W) * H * OutN), '\0');
    uint8_t* Dst = reinterpret_cast<uint8_t*>(Samples.data());
    for (int Y = 0; Y < H; ++Y) {
        const uint8_t* P = J.ScanLine(Y);
        for (int X = 0; X < W; ++X, P += N) {
            if (N == 1) {
                *Dst++ = P[0];
            } else if (FourInks) {
                for (int C = 3; C >= 0; --C) *Dst++ = P[C];
            } else {
                *Dst++ = P[2];
                *Dst++ = P[1];
                *Dst++ = P[0];
            }
        }
    }
    // The image's own colours stand when the dictionary names no colour
    // space, or one of another component count.
    const bool Matches = ((FColorSpace == "Indexed" || FColorSpace == "Separation") && OutN == 1) ||
                         (!FColorSpace.empty() && ComponentCount() == OutN);
    if (!Matches) {
        FColorSpace = OutN == 1 ? "DeviceGray" : OutN == 3 ? "DeviceRGB" : "DeviceCMYK";
        FICCProfile.clear();
    }
    FWidth = W;
    FHeight = H;
    FBitsPerComponent = 8;
    // Decode arrays do not apply to JPEG 2000 samples.
    FDecode.clear();
    FImageData = std::move(Samples);
    return true;
}

}  // namespace velmo
