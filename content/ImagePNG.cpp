// The PNG road of the image object: the colour image, its soft mask from the
// alpha channel, and the ICC profile, as the Options value selects.
#include <string>

#include "content/Image.h"
#include "core/PNG.h"
#include "core/StringHelpers.h"
#include "core/Structure.h"

namespace velmo {

namespace {

// Options 0 to 7 are defined; what each builds.
bool BuildsAlphaImage(int32_t O) { return O == 1 || O == 2 || O == 4 || O == 5 || O == 6; }
bool AlphaOnly(int32_t O) { return O == 1 || O == 4; }

}  // namespace

bool TPDFImage::NewImageFromPNGStream(TStream& InStream, int32_t Options) {
    if (Options < 0) Options = 0;
    // No object is defined for larger values: report failure, build nothing.
    if (Options > 7) return false;
    TPNGReader reader;
    reader.SetDownSampleImage(Options == 3 || Options == 5);
    reader.SetDownSampleAlpha(Options == 2 || Options == 4 || Options == 5);
    InStream.Seek(0, soBeginning);
    reader.LoadFromStream(InStream);
    if (reader.Width() == 0 || reader.Height() == 0 || reader.ImageData().empty()) return false;
    if (AlphaOnly(Options) && reader.AlphaData().empty()) return false;
    return NewImageFromPNG(reader, Options);
}

int32_t TPDFImage::CountPNGPages(TStream& InStream) {
    TPNGReader reader;
    reader.SetSkipImageData(true);
    InStream.Seek(0, soBeginning);
    reader.LoadFromStream(InStream);
    return reader.Width() != 0 && reader.Height() != 0 ? 1 : 0;
}

bool TPDFImage::NewImageFromPNG(TPNGReader& Reader, int32_t Options) {
    if (Options < 0) Options = 0;
    if (Options > 7) return false;
    if (!FStructure || !FStructure->OnNewIndObj) return false;
    if (Reader.Width() == 0 || Reader.Height() == 0 || Reader.ImageData().empty()) return false;
    if (Reader.Width() > uint32_t(INT32_MAX) || Reader.Height() > uint32_t(INT32_MAX)) return false;
    if (AlphaOnly(Options) && Reader.AlphaData().empty()) return false;
    TPDFStructure* s = FStructure;

    if (FNeedData) FImageData = Reader.ImageData();
    FImageType = itPNG;
    FWidth = int32_t(Reader.Width());
    FHeight = int32_t(Reader.Height());
    FHDPI = int32_t(std::min<uint32_t>(Reader.HorizontalDPI(), INT32_MAX));
    FVDPI = int32_t(std::min<uint32_t>(Reader.VerticalDPI(), INT32_MAX));
    FDPIUnits = 2;
    const bool image16 = Reader.ImageBitDepth() == 16;
    const bool alpha16 = Reader.AlphaBitDepth() == 16;
    FContains16Bit =
        ((Options == 0 || Options == 2 || Options == 6 || Options == 7) && image16) ||
        ((Options == 1 || Options == 6) && alpha16);

    TPDFIndRef* alphaRef = nullptr;
    if (BuildsAlphaImage(Options) && !Reader.AlphaData().empty()) {
        TPDFStream* alpha = s->NewStream(Reader.AlphaData(), false);
        TPDFDictionary* d = alpha->Dictionary();
        AddImageHeader(d, FWidth, FHeight);
        d->Add("ColorSpace", s->NewName("DeviceGray"));
        d->Add("BitsPerComponent", s->NewNumeric(Reader.AlphaBitDepth()));
        d->Add("Filter", s->NewCommonName("FlateDecode"));
        alphaRef = Register(alpha);
        if (!alphaRef) return false;
        if (AlphaOnly(Options)) {
            FImageDictionary = d;
            FIndRef = alphaRef;
            return true;
        }
    }

    const uint8_t type = Reader.ColorType();
    std::string cs;
    switch (type) {
        case 0:
        case 4:
            cs = "/DeviceGray";
            break;
        case 2:
        case 6:
            cs = "/DeviceRGB";
            break;
        case 3:
            cs = "[ /Indexed " + Reader.MakePDFPalette() + " ]";
            break;
        default:
            return false;
    }
    if (Options == 7 && !Reader.ICCData().empty()) {
        TPDFStream* icc = s->NewStream(Reader.ICCData(), false);
        const bool gray = type == 0 || type == 4;
        icc->Dictionary()->Add("N", s->NewNumeric(gray ? 1 : 3));
        icc->Dictionary()->Add("Filter", s->NewCommonName("FlateDecode"));
        TPDFIndRef* iccRef = Register(icc);
        if (!iccRef) return false;
        const std::string based = "[ /ICCBased " + iccRef->Output() + "]";
        if (type == 3)
            cs = StringReplaceA(cs, "/DeviceRGB", based);
        else
            cs = based;
    }
    TPDFStream* image = s->NewStream(Reader.ImageData(), false);
    TPDFDictionary* d = image->Dictionary();
    AddImageHeader(d, FWidth, FHeight);
    d->Add("ColorSpace", s->Decode(cs));
    d->Add("BitsPerComponent", s->NewNumeric(Reader.ImageBitDepth()));
    d->Add("Filter", s->NewCommonName("FlateDecode"));
    if (Reader.EmbeddedPredictor()) {
        std::string parms = "<< /Predictor 15 ";
        if (type == 0) parms += "/Colors 1 ";
        if (type == 2) parms += "/Colors 3 ";
        parms += "/BitsPerComponent " + IntToStrA(int32_t(Reader.ImageBitDepth())) +
                 " /Columns " + IntToStrA(FWidth) + " >>";
        d->Add("DecodeParms", s->Decode(parms));
    }
    if (alphaRef) d->Add("SMask", alphaRef);
    FImageDictionary = d;
    FIndRef = Register(image);
    return FIndRef != nullptr;
}

}  // namespace velmo
