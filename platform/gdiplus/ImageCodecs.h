// The facade's image codecs: decoders of BMP, PNG, JPEG and TIFF data into
// bitmaps, the encoders that write bitmaps back, and the colour management
// of loads with ICM.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/gdi/Bitmap.h"
#include "platform/gdiplus/Internal.h"

namespace velmo::gdiplus {

// Encoded input above this many bytes is refused (OutOfMemory).
constexpr int64_t MaxEncodedBytes = int64_t(1) << 30;
// An embedded colour profile above this many bytes (inflated) is ignored.
constexpr size_t MaxProfileBytes = size_t(16) << 20;

// Decodes Data (a whole file) into Target, which must be empty: size,
// format, pixels, palette, resolution, raw format and, for multi-page files,
// the frame source. With UseIcm an embedded RGB colour profile converts the
// pixels to sRGB. gsUnknownImageFormat when the data is none of the formats,
// another status when it is one of them but cannot be decoded.
TGPStatus DecodeImage(const std::shared_ptr<const std::string>& Data, bool UseIcm,
                      GpBitmap& Target);

// The four format decoders behind DecodeImage.
TGPStatus DecodeBmp(std::string_view Data, GpBitmap& Target);
TGPStatus DecodePng(std::string_view Data, bool UseIcm, GpBitmap& Target);
TGPStatus DecodeJpeg(std::string_view Data, bool UseIcm, GpBitmap& Target);
TGPStatus DecodeTiff(const std::shared_ptr<const std::string>& Data, bool UseIcm, GpBitmap& Target);

// Converts the pixels of a 24- or 32-bit bitmap from the colour space of an
// ICC profile to sRGB. Profiles that are not RGB, or that cannot be read,
// leave the pixels as they are.
void ApplyProfile(GpBitmap& Bitmap, std::string_view Profile);

// Copies a platform bitmap into Target (own pixels; the platform formats map
// to 1, 4 and 8 bpp indexed, 24bppRGB, and 32bppRGB or 32bppARGB as
// Alpha32 says).
TGPStatus FromPlatformBitmap(const TBitmap& Source, bool Alpha32, GpBitmap& Target);

// Encoders. The class ids of the four encoders.
extern const CLSID EncoderBmp;
extern const CLSID EncoderJpeg;
extern const CLSID EncoderPng;
extern const CLSID EncoderTiff;

// Encodes Source with the encoder Encoder and its parameters (nullptr: the
// defaults) into Out. gsFileNotFound for an unknown encoder (as the
// platform reports it), gsInvalidParameter for a parameter the encoder does
// not take or a value out of its range.
TGPStatus EncodeImage(const GpBitmap& Source, const CLSID& Encoder, const EncoderParameters* Params,
                      std::string& Out);
TGPStatus EncodeTiff(const GpBitmap& Source, uint32_t Compression, uint32_t Depth,
                     std::string& Out);

// Row Y of a bitmap as unpremultiplied B, G, R, A bytes.
void ReadRowBGRA(const GpBitmap& Bitmap, int Y, uint8_t* Out);
// Whether the store format carries alpha.
bool HasAlpha(GpPixelFormat Format);

// The list of encoders and the parameter lists.
TGPStatus EncodersSize(uint32_t& Count, uint32_t& Size);
TGPStatus FillEncoders(uint32_t Count, uint32_t Size, ImageCodecInfo* Out);
TGPStatus ParameterListSize(const CLSID& Encoder, uint32_t& Size);
TGPStatus FillParameterList(const CLSID& Encoder, uint32_t Size, EncoderParameters* Out);

}  // namespace velmo::gdiplus
