// The image-decoder target: the input holds up to four parts separated by
// NUL bytes: an image dictionary's text, its stored data, and a second
// stream (dictionary text and data) that is object 5 for /SMask 5 0 R or
// /Mask 5 0 R. An input starting with "BI" is an inline image instead: the
// parts are then width, height, bits, colour-space text, filter text and
// data. Each image is decoded with a small pixel cap and its stored forms
// and descriptions are made.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/ImageDecoder.h"
#include "core/Structure.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

namespace {

constexpr int64_t MaxFuzzPixels = 1 << 16;

std::vector<std::string> Split(std::string_view Data, size_t Max) {
    std::vector<std::string> Parts;
    while (Parts.size() + 1 < Max) {
        const size_t P = Data.find('\0');
        if (P == std::string_view::npos) break;
        Parts.emplace_back(Data.substr(0, P));
        Data.remove_prefix(P + 1);
    }
    Parts.emplace_back(Data);
    while (Parts.size() < Max) Parts.emplace_back();
    return Parts;
}

int32_t SmallInt(const std::string& S) {
    int32_t V = 0;
    for (char C : S) {
        if (C < '0' || C > '9') break;
        V = std::min(V * 10 + (C - '0'), 1 << 20);
    }
    return V;
}

void Exercise(TPDFImageDecoder& Dec) {
    Dec.ImageDataSize();
    Dec.GetCenterColor();
    Dec.GetFormatDesc(nullptr, 0, false);
    Dec.GetFormatDesc(nullptr, 1, false);
    TColor L = 0, H = 0;
    Dec.ColorKeyRange(L, H);
    Dec.NativeImageData();
}

}  // namespace

void ImageDecoder(std::string_view Data) {
    if (Data.substr(0, 2) == "BI") {
        const auto P = Split(Data.substr(2), 6);
        TPDFInlineImage I;
        I.Width = SmallInt(P[0]);
        I.Height = SmallInt(P[1]);
        I.BitsPerComponent = SmallInt(P[2]);
        I.ColorSpace = P[3];
        I.Filter = P[4];
        I.ImageData = P[5];
        TPDFImageDecoder Dec;
        Dec.FMaxPixels = MaxFuzzPixels;
        Dec.LoadFromInlineImage(I, nullptr);
        Exercise(Dec);
        return;
    }
    const auto P = Split(Data, 4);
    TPDFStructure S;
    auto* D = ObjAs<TPDFDictionary>(S.Decode(P[0]));
    if (!D) return;
    TPDFStream Image(&S, P[1], D);
    std::unique_ptr<TPDFStream> Mask;
    if (auto* MD = ObjAs<TPDFDictionary>(S.Decode(P[2]))) {
        Mask = std::make_unique<TPDFStream>(&S, P[3], MD);
        Mask->FIndObjNum = 5;
    }
    for (const TPDFImageDecodeMode Mode : {dmToBitmap, dmToNative}) {
        TPDFImageDecoder Dec;
        Dec.FMaxPixels = MaxFuzzPixels;
        Dec.FDecodeMode = Mode;
        Dec.FIsImageExtraction = Mode == dmToNative;
        Dec.FOnFindObject = [&](TPDFIndRef* R) -> TPDFObject* {
            return R->ObjNum == 5 ? Mask.get() : nullptr;
        };
        Dec.LoadFromPDFStream(&Image);
        Exercise(Dec);
    }
}

VPL_FUZZ_TARGET(image_decoder, ImageDecoder);

}  // namespace velmo::fuzz
