// The inline-image target: the input is content text just after BI. Every
// image found is checked (its bytes lie inside the text, the position never
// moves back) and decoded with a small pixel cap: by the image decoder into
// a bitmap and into a component raster, a DCT image also through the JPEG
// picture, and the samples of any other into a component raster that goes
// through the raster's transforms and its BMP output.
#include <cstdlib>
#include <string>
#include <string_view>

#include "codecs/ImageDecoder.h"
#include "codecs/InlineImage.h"
#include "codecs/JPEGImage.h"
#include "codecs/KPLImage.h"
#include "core/Flate.h"
#include "core/Structure.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

namespace {

// Pixels decoded at most per image.
constexpr int64_t MaxFuzzPixels = 1 << 16;

void Require(bool Condition) {
    if (!Condition) std::abort();
}

int Components(const std::string& ColorSpace) {
    if (ColorSpace == "DeviceRGB" || ColorSpace == "RGB") return 3;
    if (ColorSpace == "DeviceCMYK" || ColorSpace == "CMYK") return 4;
    return 1;
}

void DecodeJPEG(const std::string& Data) {
    try {
        TPDFJPEGImage J;
        J.LoadFromBytes(Data);
        if (int64_t(J.Width()) * J.Height() > MaxFuzzPixels) return;
        J.DecodedBitmap();
        J.InvertCMYK();
        TStringStream Out;
        J.SaveToStream(Out);
    } catch (const EJPEGError&) {
    } catch (const EReadError&) {
    }
}

void DecodeSamples(const TPDFInlineImage& Img) {
    if (Img.Width <= 0 || Img.Height <= 0 || int64_t(Img.Width) * Img.Height > MaxFuzzPixels)
        return;
    std::string Samples = Img.ImageData;
    if (Img.Filter == "/FlateDecode") Samples = FlateDecompress(Samples);
    TKPLImage R(Img.Width, Img.Height, Components(Img.ColorSpace), Img.BitsPerComponent);
    if (int64_t(Samples.size()) >= R.DataSizeBytes()) R.SetFromPointer(Samples.data());
    R.Invert();
    if (R.Components() == 1 && !Img.IndexedLookup.empty()) {
        std::string Palette = Img.IndexedLookup;
        Palette.resize(Palette.size() / 3 * 3);
        R.ApplyPalette(TKPLImageByteArray(Palette.begin(), Palette.end()));
    }
    R.SetBitsPerComponent(8, true);
    if (R.Components() == 3) {
        TKPLImage Alpha(R.Width(), R.Height(), 1, 8);
        R.AddComponentFromImage(Alpha);
    }
    R.SetSizeScale(1 + R.Width() / 3, 1 + R.Height() * 2 % 97, tmNearestNeighbour);
    R.FlipVertical();
    TStringStream Out;
    R.GenerateBitmap(Out, R.Components() == 4   ? bf32BitRGBA
                          : R.Components() == 3 ? bf24BitRGB
                                                : bf8BitGray);
}

}  // namespace

void InlineImage(std::string_view Data) {
    TPDFStructure S;
    auto* Res = S.NewDictionary();
    auto* Spaces = S.NewDictionary();
    Res->Add("ColorSpace", Spaces);
    Spaces->Add("P", S.NewArray({S.NewName("Indexed"), S.NewName("DeviceRGB"), S.NewNumeric(3),
                                 S.NewString(std::string("\x00\xFF/(\\\n)", 7), smLiteral)}));
    Spaces->Add("Q",
                S.NewArray({S.NewName("Indexed"), S.NewArray({S.NewName("DeviceCMYK")}),
                            S.NewNumeric(300), S.NewStreamWithDict("abcd", S.NewDictionary())}));
    Spaces->Add("C", S.NewArray({S.NewName("CalRGB"), S.NewDictionary()}));
    const std::string Content(Data);
    const int64_t Len = int64_t(Content.size());
    int64_t Pos = 1;
    // Several images in a row, as content may hold them.
    for (int Round = 0; Round < 8 && Pos <= Len; ++Round) {
        const int64_t Start = Pos;
        TPDFInlineImage Img;
        const bool Ok = ParseInlineImage(Content, Pos, Img, nullptr, Round % 2 ? nullptr : Res);
        Require(Pos >= Start && Pos <= Len + 1);
        if (!Ok) break;
        Require(Img.ImageStart >= 1);
        if (!Img.ImageData.empty()) {
            Require(Img.ImageEnd <= Len);
            Require(Content.compare(size_t(Img.ImageStart - 1), Img.ImageData.size(),
                                    Img.ImageData) == 0);
        }
        NormalizeInlineColorSpace(Img.ColorSpace);
        if (Img.Filter == "/DCTDecode")
            DecodeJPEG(Img.ImageData);
        else
            DecodeSamples(Img);
        // The image decoder, to bitmaps and to component rasters.
        for (const TPDFImageDecodeMode Mode : {dmToBitmap, dmToKPLR}) {
            TPDFImageDecoder D;
            D.FDecodeMode = Mode;
            D.FMaxPixels = MaxFuzzPixels;
            D.LoadFromInlineImage(Img, &S);
            D.ImageDataSize();
        }
        // The next image starts after the next BI.
        const size_t Next = Content.find("BI", size_t(std::min(Pos, Len)));
        if (Next == std::string::npos) break;
        Pos = int64_t(Next) + 3;
    }
}

VPL_FUZZ_TARGET(inline_image, InlineImage);

}  // namespace velmo::fuzz
