#include "content/Image.h"

#include <algorithm>
#include <cmath>

#include "content/Painter.h"
#include "core/FileHelpers.h"
#include "core/StringHelpers.h"
#include "core/Structure.h"
#include "core/Unicode.h"
#include "document/PageServices.h"
#include "document/PageTree.h"
#include "platform/gdi/Bitmap.h"

namespace velmo {

namespace {

// Reads the whole stream from its start.
std::string ReadAll(TStream& S) {
    S.Seek(0, soBeginning);
    const int64_t size = S.Size();
    std::string data;
    if (size > 0) {
        data.resize(size_t(size));
        int64_t got = 0;
        while (got < size) {
            const int64_t n = S.Read(data.data() + got, size - got);
            if (n <= 0) break;
            got += n;
        }
        data.resize(size_t(got));
    }
    return data;
}

}  // namespace

// ---- TPDFImage --------------------------------------------------------------------------

TPDFImage::TPDFImage(TPDFStructure* AStructure, std::string AName,
                     std::vector<TObject*>* AIncludedFonts)
    : TPDFImageBase(AStructure, std::move(AName), AIncludedFonts) {}

void TPDFImage::AddImageHeader(TPDFDictionary* D, int32_t Width, int32_t Height) const {
    D->Add("Type", FStructure->NewCommonName("XObject"));
    D->Add("Subtype", FStructure->NewCommonName("Image"));
    D->Add("Width", FStructure->NewNumeric(Width));
    D->Add("Height", FStructure->NewNumeric(Height));
}

TPDFIndRef* TPDFImage::Register(TPDFObject* Obj) {
    if (!FStructure || !FStructure->OnNewIndObj) return nullptr;
    int32_t objNum = 0, genNum = 0;
    FStructure->OnNewIndObj(this, Obj, objNum, genNum);
    return FStructure->NewIndirectRef(objNum, genNum);
}

TPDFImageType TPDFImage::DetectImageType(TStream& InStream) {
    InStream.Seek(0, soBeginning);
    char head[100];
    int64_t got = 0;
    while (got < int64_t(sizeof head)) {
        const int64_t r = InStream.Read(head + got, int64_t(sizeof head) - got);
        if (r <= 0) break;
        got += r;
    }
    InStream.Seek(0, soBeginning);
    return velmo::DetectImageType(std::string_view(head, size_t(got)));
}

TJPEGHeaderInfo TPDFImage::ReadJPEGHeader(TStream& InStream) {
    return velmo::ReadJPEGHeader(ReadAll(InStream));
}

bool TPDFImage::NewImageFromJPEG(TStream& InStream, bool SkipDPI) {
    return NewImageFromJPEGData(ReadAll(InStream), SkipDPI);
}

bool TPDFImage::NewImageFromJPEGData(std::string Data, bool SkipDPI) {
    if (!FStructure || !FStructure->OnNewIndObj) return false;
    const TJPEGHeaderInfo info = velmo::ReadJPEGHeader(Data);
    if (!JPEGCarriedAsDCT(info)) return false;
    if (FNeedData) FImageData = Data;
    FImageType = itJPEG;
    if (!SkipDPI) {
        FDPIUnits = info.Units + 1;
        FHDPI = info.HDensity;
        FVDPI = info.VDensity;
    }
    FColorSpace = "DeviceRGB";
    if (info.Components == 1) FColorSpace = "DeviceGray";
    if (info.Components == 4) FColorSpace = "DeviceCMYK";
    FWidth = info.Width;
    FHeight = info.Height;
    TPDFStructure* s = FStructure;
    // The file's bytes move into the stream: the image holds them once.
    TPDFStream* stream = s->NewStream(std::move(Data), false);
    TPDFDictionary* d = stream->Dictionary();
    AddImageHeader(d, FWidth, FHeight);
    d->Add("ColorSpace", s->NewName(FColorSpace));
    if (info.Components == 4) d->Add("Decode", s->NewIntArray({1, 0, 1, 0, 1, 0, 1, 0}));
    d->Add("BitsPerComponent", s->NewNumeric(8));
    d->Add("Filter", s->NewName("DCTDecode"));
    FImageDictionary = d;
    FIndRef = Register(stream);
    return FIndRef != nullptr;
}

bool TPDFImage::NewImageFromStream(TStream& InStream, int32_t Options) {
    if (!FStructure || !FStructure->OnNewIndObj) return false;
    switch (DetectImageType(InStream)) {
        case itJPEG: {
            std::string data = ReadAll(InStream);
            const TJPEGHeaderInfo info = velmo::ReadJPEGHeader(data);
            if (!JPEGCarriedAsDCT(info)) return false;
            return NewImageFromJPEGData(std::move(data), false);
        }
        case itPNG:
            return NewImageFromPNGStream(InStream, Options);
        default:
            // BMP, GIF, TIFF and metafiles are built by readers of their own.
            return false;
    }
}

int32_t TPDFImage::CountImagePages(TStream& InStream) {
    switch (DetectImageType(InStream)) {
        case itJPEG: {
            const TJPEGHeaderInfo info = ReadJPEGHeader(InStream);
            return info.Width != 0 && info.Height != 0 ? 1 : 0;
        }
        case itGIF:
            return 1;
        case itBMP:
            try {
                TBitmap bitmap;
                InStream.Seek(0, soBeginning);
                bitmap.LoadFromStream(InStream);
                return 1;
            } catch (const std::exception&) {
                return 0;
            }
        case itPNG:
            return CountPNGPages(InStream);
        default:
            return 0;
    }
}

bool TPDFImage::NewImageDirectFromString(const std::string& Source, int32_t Width,
                                         int32_t Height, int32_t BitsPerComponent,
                                         const std::u16string& ColorSpace,
                                         const std::u16string& Filter,
                                         const std::u16string& Decode, bool Interpolate) {
    if (!FStructure || !FStructure->OnNewIndObj) return false;
    TPDFStructure* s = FStructure;
    TPDFStream* stream = s->NewStream(Source, false);
    TPDFDictionary* d = stream->Dictionary();
    AddImageHeader(d, Width, Height);
    d->Add("Name", s->NewName(FName));
    if (!Filter.empty()) {
        const std::string f = WideToUTF8(Filter);
        int32_t k = -1;
        bool blackIs1 = false;
        std::string name = f;
        if (f == "CCITTFaxDecodeT4") {
            name = "CCITTFaxDecode";
            k = 0;
        } else if (f == "CCITTFaxDecodeBlackIs1") {
            name = "CCITTFaxDecode";
            blackIs1 = true;
        } else if (f == "CCITTFaxDecodeBlackIs1T4") {
            name = "CCITTFaxDecode";
            k = 0;
            blackIs1 = true;
        }
        d->Add("Filter", s->NewName(name));
        if (name == "CCITTFaxDecode") {
            TPDFDictionary* parms = s->NewDictionary();
            parms->Add("K", s->NewNumeric(k));
            parms->Add("Columns", s->NewNumeric(Width));
            if (blackIs1) parms->Add("BlackIs1", s->NewBoolean(true));
            d->Add("DecodeParms", parms);
        }
    }
    d->Add("Interpolate", s->NewBoolean(Interpolate));
    if (!ColorSpace.empty()) d->Add("ColorSpace", s->Decode(WideToUTF8(ColorSpace)));
    d->Add("BitsPerComponent", s->NewNumeric(BitsPerComponent));
    if (!Decode.empty()) d->Add("Decode", s->Decode(WideToUTF8(Decode)));
    FWidth = Width;
    FHeight = Height;
    FImageDictionary = d;
    FIndRef = Register(stream);
    return FIndRef != nullptr;
}

// ---- Masks and edits ----------------------------------------------------------------

TPDFStream* TPDFImage::ImageStream() const {
    return FIndRef ? ObjAs<TPDFStream>(FIndRef->Obj()) : nullptr;
}

TPDFImage::TPDFMaskType TPDFImage::GetMaskType() const {
    if (!FImageDictionary) return mtUnknown;
    TPDFDictionary* d = FImageDictionary;
    const auto* im = ObjAs<TPDFBoolean>(d->FindValueByKeyName("ImageMask", true));
    const bool isMask = im && im->AsBoolean();
    const bool hasMask = d->FindValueByKeyName("Mask", false) || d->FindValueByKeyName("SMask", false);
    if (hasMask) return mtUnknown;
    TPDFObject* cs = d->FindValueByKeyName("ColorSpace", true);
    if (isMask) {
        TPDFObject* bpc = d->FindValueByKeyName("BitsPerComponent", true);
        const auto* bpcNum = ObjAs<TPDFNumeric>(bpc);
        const bool bitsOk = !bpc || (bpcNum && bpcNum->AsDouble() == 1);
        TPDFObject* dec = d->FindValueByKeyName("Decode", true);
        bool decodeOk = !dec;
        if (auto* a = ObjAs<TPDFArray>(dec)) {
            const std::string text = a->Output();
            decodeOk = text == "[ 0 1 ]" || text == "[ 1 0 ]";
        }
        if (bitsOk && decodeOk && !ObjAs<TPDFName>(cs)) return mtStencilMask;
        return mtUnknown;
    }
    const auto* csName = ObjAs<TPDFName>(cs);
    if (csName && csName->Name() == "DeviceGray") return mtSoftMask;
    return mtUnknown;
}

void TPDFImage::ReadFormat(int32_t& Bits, std::string& CSName) const {
    Bits = 0;
    CSName.clear();
    if (!FImageDictionary) return;
    if (auto* b = ObjAs<TPDFNumeric>(FImageDictionary->FindValueByKeyName("BitsPerComponent", true)))
        Bits = b->AsInteger();
    TPDFObject* cs = FImageDictionary->FindValueByKeyName("ColorSpace", true);
    if (auto* n = ObjAs<TPDFName>(cs))
        CSName = n->Name();
    else if (auto* a = ObjAs<TPDFArray>(cs))
        if (auto* n2 = ObjAs<TPDFName>(a->GetItem(1))) CSName = n2->Name();
}

namespace {

double Unit(double V) {
    if (!(V > 0)) return 0;
    return V > 1 ? 1 : V;
}

int32_t Byte255(double V) { return int32_t(std::nearbyint(Unit(V) * 255)); }

}  // namespace

void TPDFImage::SetImageMask(double FromRed, double FromGreen, double FromBlue, double ToRed,
                             double ToGreen, double ToBlue) {
    if (!FImageDictionary) return;
    int32_t bits = 0;
    std::string cs;
    ReadFormat(bits, cs);
    TPDFStructure* s = FStructure;
    if (bits == 1) {
        FImageDictionary->Add("Mask", s->NewIntArray({int32_t(std::nearbyint(Unit(FromRed))),
                                                      int32_t(std::nearbyint(Unit(ToRed)))}));
    } else if (bits == 8 && cs == "DeviceGray") {
        FImageDictionary->Add("Mask", s->NewIntArray({Byte255(FromRed), Byte255(ToRed)}));
    } else if (bits == 8 && cs == "DeviceRGB") {
        FImageDictionary->Add("Mask", s->NewIntArray({Byte255(FromRed), Byte255(ToRed),
                                                      Byte255(FromGreen), Byte255(ToGreen),
                                                      Byte255(FromBlue), Byte255(ToBlue)}));
    }
}

void TPDFImage::SetImageMaskCMYK(double FromC, double FromM, double FromY, double FromK,
                                 double ToC, double ToM, double ToY, double ToK) {
    if (!FImageDictionary) return;
    FImageDictionary->Add("Mask", FStructure->NewIntArray({Byte255(FromC), Byte255(ToC),
                                                           Byte255(FromM), Byte255(ToM),
                                                           Byte255(FromY), Byte255(ToY),
                                                           Byte255(FromK), Byte255(ToK)}));
}

bool TPDFImage::SetImageAsMask(TPDFMaskType MaskType) {
    if (!FImageDictionary) return false;
    TPDFDictionary* d = FImageDictionary;
    TPDFStructure* s = FStructure;
    int32_t bits = 0;
    std::string cs;
    ReadFormat(bits, cs);
    if (!ObjAs<TPDFName>(d->FindValueByKeyName("ColorSpace", true))) cs.clear();
    const auto* im = ObjAs<TPDFBoolean>(d->FindValueByKeyName("ImageMask", true));
    if (im && im->AsBoolean() && cs.empty() && bits == 1) {
        d->Add("ColorSpace", s->NewName("DeviceGray"));
        cs = "DeviceGray";
    }
    if (MaskType == mtStencilMask && cs == "DeviceGray" && bits == 1) {
        d->Add("ImageMask", s->NewBoolean(true));
        d->PurgeKey("ColorSpace");
        ClearImageMask();
        return true;
    }
    if (MaskType == mtSoftMask) {
        if (cs == "DeviceRGB") {
            ConvertToGray();
            ReadFormat(bits, cs);
        }
        if (cs == "DeviceGray") {
            d->Add("ImageMask", s->NewBoolean(false));
            ClearImageMask();
            return true;
        }
    }
    return false;
}

bool TPDFImage::SetImageMaskFromImage(int32_t ObjNum, int32_t GenNum, TPDFMaskType MaskType) {
    if (!FImageDictionary) return false;
    if (MaskType == mtStencilMask) {
        FImageDictionary->Add("Mask", FStructure->NewIndirectRef(ObjNum, GenNum));
        return true;
    }
    if (MaskType == mtSoftMask) {
        FImageDictionary->Add("SMask", FStructure->NewIndirectRef(ObjNum, GenNum));
        return true;
    }
    return false;
}

void TPDFImage::ClearImageMask() {
    if (!FImageDictionary) return;
    FImageDictionary->PurgeKey("Mask");
    FImageDictionary->PurgeKey("SMask");
}

void TPDFImage::ConvertToGray() {
    TPDFStream* stream = ImageStream();
    if (!stream || !stream->Dictionary()) return;
    TPDFDictionary* d = stream->Dictionary();
    auto* cs = ObjAs<TPDFName>(d->FindValueByKeyName("ColorSpace", true));
    if (!cs || cs->Name() != "DeviceRGB") return;
    const std::string data = stream->GetDecodedStream();
    if (data.empty()) return;
    // A name shared with other holders is replaced rather than renamed, so
    // that no other object changes its colour space with this one.
    if (cs->FCommon || cs->HolderCount() > 1)
        d->Add("ColorSpace", FStructure->NewName("DeviceGray"));
    else
        cs->SetTo("DeviceGray");
    std::string gray(data.size() / 3, '\0');
    for (size_t i = 0, o = 0; o < gray.size(); i += 3, ++o) {
        const double v = uint8_t(data[i]) * 0.2989 + uint8_t(data[i + 1]) * 0.587 +
                         uint8_t(data[i + 2]) * 0.114;
        gray[o] = char(uint8_t(std::min(255.0, std::nearbyint(v))));
    }
    stream->SetTo(std::move(gray), true);
}

bool TPDFImage::Reverse(bool Reset) {
    if (!FImageDictionary) return false;
    TPDFDictionary* d = FImageDictionary;
    if (Reset) {
        d->PurgeKey("Decode");
        return true;
    }
    std::string cs;
    if (auto* n = ObjAs<TPDFName>(d->FindValueByKeyName("ColorSpace", true))) cs = n->Name();
    auto* dec = ObjAs<TPDFArray>(d->FindValueByKeyName("Decode", true));
    if (!dec) {
        if (cs == "DeviceGray")
            d->Add("Decode", FStructure->NewIntArray({1, 0}));
        else if (cs == "DeviceRGB")
            d->Add("Decode", FStructure->NewIntArray({1, 0, 1, 0, 1, 0}));
        else if (cs == "DeviceCMYK")
            d->Add("Decode", FStructure->NewIntArray({1, 0, 1, 0, 1, 0, 1, 0}));
        else
            return false;
        return true;
    }
    const auto* im = ObjAs<TPDFBoolean>(d->FindValueByKeyName("ImageMask", true));
    if (im && im->AsBoolean()) cs = "DeviceGray";
    int32_t n = 0;
    if (cs == "DeviceGray") n = 1;
    else if (cs == "DeviceRGB") n = 3;
    else if (cs == "DeviceCMYK") n = 4;
    else return false;
    if (dec->Count() != 2 * n) return false;
    std::vector<TPDFNumeric*> items;
    for (int32_t i = 0; i < dec->Count(); ++i) {
        auto* num = ObjAs<TPDFNumeric>(dec->GetItem(i));
        if (!num || (num->AsDouble() != 0 && num->AsDouble() != 1)) return false;
        items.push_back(num);
    }
    const double first = items[0]->AsDouble();
    for (int32_t i = 0; i < n; ++i)
        if (items[2 * i]->AsDouble() != first || items[2 * i + 1]->AsDouble() != 1 - first)
            return false;
    for (int32_t i = 0; i < n; ++i) {
        items[2 * i]->SetTo(1 - first);
        items[2 * i + 1]->SetTo(first);
    }
    return true;
}

void TPDFImage::Populate(int32_t ObjNum, int32_t GenNum, int32_t ImWidth, int32_t ImHeight) {
    FIndRef = FStructure->NewIndirectRef(ObjNum, GenNum);
    FWidth = ImWidth;
    FHeight = ImHeight;
    if (auto* stream = ObjAs<TPDFStream>(FIndRef->Obj()))
        FImageDictionary = stream->Dictionary();
    else
        FImageDictionary = FStructure->NewStream(std::string(), false)->Dictionary();
}

bool TPDFImage::SaveToFile(const std::u16string& FileName) {
    try {
        auto f = CreateWideFileStream(FileName, fmCreate | fmShareDenyWrite);
        if (FImageData.empty()) return true;
        return f->Write(FImageData.data(), int64_t(FImageData.size())) ==
               int64_t(FImageData.size());
    } catch (const std::exception&) {
        return false;
    }
}

bool TPDFImage::SaveToStream(TStream& OutStream) {
    if (FImageData.empty()) return false;
    try {
        return OutStream.Write(FImageData.data(), int64_t(FImageData.size())) ==
               int64_t(FImageData.size());
    } catch (const std::exception&) {
        return false;
    }
}

void TPDFImage::SetOCG(TPDFIndRef* IndRef) {
    if (FImageDictionary && IndRef) FImageDictionary->Add("OC", IndRef);
}

void TPDFImage::DeleteOCG() {
    if (FImageDictionary) FImageDictionary->PurgeKey("OC");
}

TPDFDictionary* TPDFImage::GetMeasureDict() {
    if (!FImageDictionary) return nullptr;
    auto* m = ObjAs<TPDFDictionary>(FImageDictionary->FindValueByKeyName("Measure", true));
    if (!m) {
        m = FStructure->NewDictionary();
        FImageDictionary->Add("Measure", m);
    }
    return m;
}

TPDFDictionary* TPDFImage::GetPtDataDict() {
    if (!FImageDictionary) return nullptr;
    auto* m = ObjAs<TPDFDictionary>(FImageDictionary->FindValueByKeyName("PtData", true));
    if (!m) {
        m = FStructure->NewDictionary();
        m->Add("Type", FStructure->NewCommonName("PtData"));
        m->Add("Subtype", FStructure->NewCommonName("Cloud"));
        FImageDictionary->Add("PtData", m);
    }
    return m;
}

void TPDFImage::ClearImage() {
    TPDFStream* stream = ImageStream();
    if (!stream || !stream->Dictionary()) return;
    TPDFStructure* s = FStructure;
    stream->SetTo(std::string(3, '\0'), false);
    TPDFDictionary* d = stream->Dictionary();
    d->Add("Width", s->NewNumeric(1));
    d->Add("Height", s->NewNumeric(1));
    d->Add("ColorSpace", s->NewName("DeviceRGB"));
    d->Add("BitsPerComponent", s->NewNumeric(8));
    d->Add("ImageMask", s->NewBoolean(false));
    d->Add("Mask", s->NewIntArray({0, 0, 0, 0, 0, 0}));
    d->PurgeKey("Decode");
    d->PurgeKey("SMask");
    FWidth = 1;
    FHeight = 1;
}

// ---- Services --------------------------------------------------------------------------

void InstallContentServices() {
    PageServiceFactories().NewPainter = [](TPDFPageTree* Owner) -> std::unique_ptr<TPDFPainterBase> {
        return std::make_unique<TPDFPainter>(Owner);
    };
    ImageFactory() = [](TPDFStructure* AStructure, std::string AName,
                        std::vector<TObject*>* AIncludedFonts) -> std::unique_ptr<TPDFImageBase> {
        return std::make_unique<TPDFImage>(AStructure, std::move(AName), AIncludedFonts);
    };
}

}  // namespace velmo
