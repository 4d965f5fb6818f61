// The image decoder: dictionary, colour space, masks, filter chain, sample
// unpacking, the DCT stage and the native forms.
#include "codecs/ImageDecoder.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <mutex>

#include "codecs/JPEGImage.h"
#include "core/ASCII85.h"
#include "core/Filters.h"
#include "core/Flate.h"
#include "core/LZW.h"
#include "core/PNG.h"
#include "core/Structure.h"
#include "render/ColorSpaces.h"
#include "render/Picasso.h"

namespace velmo {

namespace {

bool StartsWith(std::string_view S, std::string_view P) { return S.substr(0, P.size()) == P; }

std::string Trim(std::string_view S) {
    size_t B = 0, E = S.size();
    while (B < E && static_cast<unsigned char>(S[B]) <= ' ') ++B;
    while (E > B && static_cast<unsigned char>(S[E - 1]) <= ' ') --E;
    return std::string(S.substr(B, E - B));
}

void ReplaceAll(std::string& S, std::string_view From, std::string_view To) {
    size_t P = 0;
    while ((P = S.find(From, P)) != std::string::npos) {
        S.replace(P, From.size(), To);
        P += To.size();
    }
}

uint8_t RoundByte(double V) {
    if (!(V > 0)) return 0;
    if (V >= 1) return 255;
    return static_cast<uint8_t>(std::nearbyint(V * 255));
}

// Sample k (counted along the row) scaled to 8 bits; raw values for Raw.
uint8_t SampleAt(const uint8_t* Row, int64_t K, int32_t Bpc, bool Raw) {
    switch (Bpc) {
        case 1: {
            const int V = (Row[K >> 3] >> (7 - (K & 7))) & 1;
            return Raw ? uint8_t(V) : uint8_t(V ? 255 : 0);
        }
        case 2: {
            const int V = (Row[K >> 2] >> (6 - 2 * (K & 3))) & 3;
            return Raw ? uint8_t(V) : uint8_t(V * 255 / 3);
        }
        case 4: {
            const int V = (K & 1) ? (Row[K >> 1] & 15) : (Row[K >> 1] >> 4);
            return Raw ? uint8_t(V) : uint8_t(V * 255 / 15);
        }
        case 8:
            return Row[K];
        case 16:
            return Row[2 * K];
        default:
            return 0;
    }
}

bool SupportedBpc(int32_t Bpc) { return Bpc == 1 || Bpc == 2 || Bpc == 4 || Bpc == 8 || Bpc == 16; }

void PutBGR(uint8_t* P, TColor C) {
    P[0] = uint8_t((C >> 16) & 0xFF);
    P[1] = uint8_t((C >> 8) & 0xFF);
    P[2] = uint8_t(C & 0xFF);
}

// The grey value of a mask pixel (its blue byte, or the palette entry's).
uint8_t MaskValue(const TBitmap& M, int X, int Y) {
    if (M.PixelFormat() == pf24bit || M.PixelFormat() == pf32bit) {
        const uint8_t* Row = M.ScanLine(Y);
        return Row[X * (M.PixelFormat() == pf24bit ? 3 : 4)];
    }
    const TColor C = M.GetPixel(X, Y);
    return uint8_t((C >> 16) & 0xFF);
}

// Nearest-neighbour stretch to W x H as a new 24-bit bitmap.
std::unique_ptr<TBitmap> Stretch(const TBitmap& Src, int W, int H) {
    auto Out = std::make_unique<TBitmap>(W, H, pf24bit);
    TBitmap Copy;
    const TBitmap* S = &Src;
    if (Src.PixelFormat() != pf24bit) {
        Copy.Assign(Src);
        Copy.SetPixelFormat(pf24bit);
        S = &Copy;
    }
    const int SW = S->Width(), SH = S->Height();
    std::vector<int> XMap(static_cast<size_t>(W));
    for (int X = 0; X < W; ++X) XMap[size_t(X)] = int(int64_t(X) * SW / W);
    for (int Y = 0; Y < H; ++Y) {
        const uint8_t* SRow = S->ScanLine(int(int64_t(Y) * SH / H));
        uint8_t* DRow = Out->ScanLine(Y);
        for (int X = 0; X < W; ++X) std::memcpy(DRow + 3 * X, SRow + 3 * XMap[size_t(X)], 3);
    }
    return Out;
}

// CRC-32 of PNG chunks.
uint32_t Crc32(std::string_view Data) {
    static const auto Table = [] {
        std::array<uint32_t, 256> T{};
        for (uint32_t N = 0; N < 256; ++N) {
            uint32_t C = N;
            for (int K = 0; K < 8; ++K) C = (C & 1) ? 0xEDB88320u ^ (C >> 1) : C >> 1;
            T[N] = C;
        }
        return T;
    }();
    uint32_t C = 0xFFFFFFFFu;
    for (unsigned char B : Data) C = Table[(C ^ B) & 0xFF] ^ (C >> 8);
    return C ^ 0xFFFFFFFFu;
}

}  // namespace

TPDFImageDecoder::TPDFImageDecoder()
    : FBitmap(std::make_unique<TBitmap>()),
      FPrivateColorManager(std::make_unique<TPDFSimpleColorManager>()) {
    FColorManager = FPrivateColorManager.get();
}

TPDFImageDecoder::~TPDFImageDecoder() = default;

void TPDFImageDecoder::SetColorManager(TPDFColorManager* NewColorManager) {
    FPrivateColorManager.reset();
    FColorManager = NewColorManager;
}

TPDFObject* TPDFImageDecoder::FindObject(TPDFIndRef* IndRef) const {
    if (!IndRef) return nullptr;
    return FOnFindObject ? FOnFindObject(IndRef) : IndRef->Obj();
}

TPDFObject* TPDFImageDecoder::Resolve(TPDFObject* O) const {
    if (auto* R = ObjAs<TPDFIndRef>(O)) return FindObject(R);
    return O;
}

bool TPDFImageDecoder::FitsCap(int64_t W, int64_t H) const {
    if (W <= 0 || H <= 0) return false;
    const int64_t Cap = std::min<int64_t>(FMaxPixels, TBitmap::MaxPixels);
    return W <= Cap && H <= Cap / W;
}

// ---------------------------------------------------------------------------
// Loading

void TPDFImageDecoder::LoadFromPDFStream(TPDFStream* Source) {
    FSource = Source;
    if (!Source) return;
    FParentStructure = Source->Owner();
    if (!Source->Dictionary()) return;
    try {
        ReadImageDictionary(Source->Dictionary(), Source->Stream());
    } catch (const std::exception& E) {
        FLoadException = true;
        FValidImage = false;
        FLoadError = E.what();
    }
}

void TPDFImageDecoder::ReadImageDictionary(TPDFDictionary* D, const std::string& StoredData) {
    auto Value = [&](std::string_view Key) { return Resolve(D->FindValueByKeyName(Key, false)); };
    auto Int = [&](std::string_view Key) {
        auto* N = ObjAs<TPDFNumeric>(Value(Key));
        return N ? N->AsInteger() : 0;
    };
    FWidth = Int("Width");
    FHeight = Int("Height");
    TPDFObject* DecodeObj = Value("Decode");
    FDecode = ObjAs<TPDFArray>(DecodeObj) ? DecodeObj->Output() : std::string();
    TPDFObject* ParmsObj = Value("DecodeParms");
    if (ObjAs<TPDFDictionary>(ParmsObj))
        FDecodeParms = "[ " + ParmsObj->Output() + " ]";
    else if (ObjAs<TPDFArray>(ParmsObj))
        FDecodeParms = ParmsObj->Output();
    else
        FDecodeParms.clear();
    FColorSpace = ReadColorSpace(Value("ColorSpace"));
    FBitsPerComponent = Int("BitsPerComponent");
    auto* IM = ObjAs<TPDFBoolean>(D->FindValueByKeyName("ImageMask", false));
    if (IM && IM->AsBoolean()) {
        if (FBitsPerComponent == 0) FBitsPerComponent = 1;
        if (FChildMask) {
            FColorSpace = "DeviceGray";
            FDecode = StartsWith(FDecode, "[ 1 0") ? std::string() : std::string("[ 1 0 ]");
        } else {
            FMaskType = mtStencil;
        }
    }
    TPDFObject* FilterObj = Value("Filter");
    FFilter = FilterObj ? FilterObj->Output() : std::string();
    FImageData = StoredData;
    if (auto* B = ObjAs<TPDFBoolean>(Value("Interpolate"))) FInterpolate = B->AsBoolean();
    if (!FChildMask) {
        if (FMaskType == mtNone) LoadMask(D->FindValueByKeyName("SMask", false), true);
        if (FMaskType == mtNone) LoadMask(D->FindValueByKeyName("Mask", false), false);
    }
    DecodeImageFilters(FilterObj, ParmsObj);
}

void TPDFImageDecoder::LoadMask(TPDFObject* Entry, bool Soft) {
    auto* Ref = ObjAs<TPDFIndRef>(Entry);
    TPDFObject* O = Resolve(Entry);
    if (auto* S = ObjAs<TPDFStream>(O)) {
        TPDFImageDecoder Child;
        Child.FOnFindObject = FOnFindObject;
        if (Soft) {
            Child.FOnDecrypt = FOnDecrypt;
            Child.FOnEncrypt = FOnEncrypt;
        }
        Child.FChildMask = true;
        Child.FMaxPixels = FMaxPixels;
        Child.IgnoreICCProfiles = IgnoreICCProfiles;
        Child.SetColorManager(FColorManager);
        if (Soft && Ref && FOnDecrypt) FOnDecrypt(S, Ref);
        Child.LoadFromPDFStream(S);
        if (Soft && Ref && FOnEncrypt) FOnEncrypt(S, Ref);
        if (Child.FBitmap && !Child.FBitmap->Empty()) {
            FMaskBitmap = std::move(Child.FBitmap);
            FMaskDecode = Child.FDecode;
            FMaskType = Soft ? mtSoft : mtExplicit;
        }
        FMaskFormatDesc0 = Child.GetFormatDesc(S->Dictionary(), 0, true);
        FMaskFormatDesc1 = Child.GetFormatDesc(S->Dictionary(), 1, true);
        return;
    }
    auto* A = ObjAs<TPDFArray>(O);
    if (Soft || !A) return;
    FMaskColor.assign(size_t(A->Count()), 0.0);
    for (int32_t I = 0; I < A->Count(); ++I)
        if (auto* N = ObjAs<TPDFNumeric>(Resolve(A->GetItem(I))))
            FMaskColor[size_t(I)] = N->AsDouble();
    for (size_t I = 0; 2 * I + 1 < FMaskColor.size(); ++I)
        if (FMaskColor[2 * I] > FMaskColor[2 * I + 1])
            std::swap(FMaskColor[2 * I], FMaskColor[2 * I + 1]);
    FMaskType = mtColorKey;
}

void TPDFImageDecoder::LoadFromInlineImage(const TPDFInlineImage& Img,
                                           TPDFStructure* ParentStructure) {
    FParentStructure = ParentStructure;
    FWidth = Img.Width;
    FHeight = Img.Height;
    FBitsPerComponent = Img.BitsPerComponent;
    FImageData = Img.ImageData;
    FDecodeParms = Img.DecodeParms;
    FDecode = Img.Decode;
    FIsInlineImage = true;
    try {
        FInlineStore = std::make_unique<TPDFStructure>();
        if (ParentStructure) FInlineStore->OnIndObjLookup = ParentStructure->OnIndObjLookup;
        if (Img.ImageMask) FMaskType = mtStencil;
        if (Img.ColorSpaceObj) {
            FColorSpace = ReadColorSpace(Img.ColorSpaceObj);
        } else {
            // Only the text before an indexed lookup is normalised: the
            // lookup's bytes are data and stay as they are.
            std::string Text = Trim(Img.ColorSpace);
            std::string Head = Text, Lookup;
            const bool IsArray = StartsWith(Text, "[");
            if (IsArray) {
                const size_t L = Text.find_first_of("<(");
                if (L != std::string::npos) {
                    const size_t E = Text.rfind(']');
                    Head = Text.substr(0, L);
                    Lookup =
                        Text.substr(L, (E != std::string::npos && E > L ? E : Text.size()) - L);
                    Lookup = Trim(Lookup);
                }
            }
            ReplaceAll(Head, "/G", "/DeviceGray");
            ReplaceAll(Head, "/RGB", "/DeviceRGB");
            ReplaceAll(Head, "/CMYK", "/DeviceCMYK");
            ReplaceAll(Head, "/I ", "/Indexed ");
            Head.erase(std::remove(Head.begin(), Head.end(), '/'), Head.end());
            Head = Trim(Head);
            if (StartsWith(Head, "[ Indexed") || StartsWith(Head, "[Indexed")) {
                std::string Rest = Trim(Head.substr(Head.find("Indexed") + 7));
                if (!Rest.empty() && Rest.back() == ']')
                    Rest = Trim(Rest.substr(0, Rest.size() - 1));
                const size_t Sp = Rest.find(' ');
                FIndexedBaseColorSpace = Rest.substr(0, Sp);
                std::string Hival =
                    Sp == std::string::npos ? std::string() : Trim(Rest.substr(Sp + 1));
                const size_t Sp2 = Hival.find(' ');
                if (Lookup.empty() && Sp2 != std::string::npos)
                    Lookup = Trim(Hival.substr(Sp2 + 1));
                Hival = Hival.substr(0, Sp2);
                FIndexedHival = 0;
                for (char C : Hival) {
                    if (C < '0' || C > '9') {
                        FIndexedHival = 0;
                        break;
                    }
                    FIndexedHival = std::min(FIndexedHival * 10 + (C - '0'), 1 << 20);
                }
                if (!Img.IndexedLookup.empty())
                    FIndexedData = Img.IndexedLookup;
                else if (StartsWith(Lookup, "<"))
                    FIndexedData = TPDFStructure::DecodeHex(Lookup);
                else if (StartsWith(Lookup, "("))
                    FIndexedData = TPDFStructure::DecodeString(Lookup);
                else
                    FIndexedData = Lookup;
                FColorSpace = "Indexed";
            } else if (IsArray) {
                FColorSpace = ReadColorSpace(FInlineStore->Decode(Text));
            } else {
                FColorSpace = Head;
            }
        }
        TPDFObject* FilterObj =
            Trim(Img.Filter).empty() ? nullptr : FInlineStore->Decode(Img.Filter);
        FFilter = Img.Filter;
        TPDFObject* ParmsObj =
            Trim(Img.DecodeParms).empty() ? nullptr : FInlineStore->Decode(Img.DecodeParms);
        DecodeImageFilters(FilterObj, ParmsObj);
    } catch (const std::exception& E) {
        FLoadException = true;
        FValidImage = false;
        FLoadError = E.what();
    }
}

// ---------------------------------------------------------------------------
// Colour spaces

std::string TPDFImageDecoder::ReadColorSpace(TPDFObject* O) {
    return ReadColorSpaceObject(O, false);
}

std::string TPDFImageDecoder::ReadColorSpaceObject(TPDFObject* O, bool AsBase) {
    if (auto* N = ObjAs<TPDFName>(O)) return N->Name();
    auto* A = ObjAs<TPDFArray>(O);
    if (!A || A->Count() < 1) return std::string();
    auto* First = ObjAs<TPDFName>(Resolve(A->GetItem(0)));
    if (!First) return std::string();
    const std::string& F = First->Name();
    if (F == "DeviceGray" || F == "CalGray") return "DeviceGray";
    if (F == "DeviceRGB" || F == "CalRGB") return "DeviceRGB";
    if (F == "DeviceCMYK") return "DeviceCMYK";
    if (F == "Indexed") {
        if (AsBase) return std::string();  // an Indexed base of an Indexed space
        TPDFObject* Base = Resolve(A->GetItem(1));
        FIndexedBaseColorSpace = ReadColorSpaceObject(Base, true);
        if (FIndexedBaseColorSpace == "DeviceN") {
            auto* BA = ObjAs<TPDFArray>(Base);
            if (BA && BA->Count() > 1)
                if (auto* Names = ObjAs<TPDFArray>(Resolve(BA->GetItem(1))))
                    FIndexedBaseComponents = Names->Count();
        }
        auto* H = ObjAs<TPDFNumeric>(Resolve(A->GetItem(2)));
        FIndexedHival = H ? H->AsInteger() : -1;
        TPDFObject* LookupEntry = A->GetItem(3);
        auto* Ref = ObjAs<TPDFIndRef>(LookupEntry);
        TPDFObject* L = Resolve(LookupEntry);
        if (auto* S = ObjAs<TPDFString>(L)) {
            FIndexedData = S->AsString();
        } else if (auto* St = ObjAs<TPDFStream>(L)) {
            if (Ref && FOnDecrypt) FOnDecrypt(St, Ref);
            FIndexedData = St->GetDecodedStreamWithLookup(FOnFindObject);
            if (Ref && FOnEncrypt) FOnEncrypt(St, Ref);
        }
        return "Indexed";
    }
    if (F == "DeviceN") {
        FDeviceNColorSpace = std::make_unique<TPDFDeviceNColorSpace>(FColorManager);
        FDeviceNColorSpace->FOnFindObject = FOnFindObject;
        FDeviceNColorSpace->LoadFromArray(A, "");
        return "DeviceN";
    }
    if (F == "Lab") {
        FLabColorSpace = std::make_unique<TPDFLabColorSpace>();
        FLabColorSpace->FOnFindObject = FOnFindObject;
        FLabColorSpace->LoadFromArray(A);
        return "Lab";
    }
    if (F == "Separation") {
        FSeparationColorSpace = std::make_unique<TPDFSeparationColorSpace>(FColorManager);
        FSeparationColorSpace->FOnFindObject = FOnFindObject;
        FSeparationColorSpace->LoadFromArray(A, "");
        return "Separation";
    }
    if (F == "ICCBased" && A->Count() >= 2) {
        TPDFObject* P = Resolve(A->GetItem(1));
        auto* S = ObjAs<TPDFStream>(P);
        if (!S || !S->Dictionary()) return std::string();
        if (!AsBase) {
            const int32_t Num = S->IndObjNum();
            if (Num != 0 && Num == LastFICCProfileIndObj) {
                FICCProfile = LastFICCProfile;
            } else {
                FICCProfile = FlateCompress(S->GetDecodedStreamWithLookup(FOnFindObject));
                LastFICCProfile = FICCProfile;
                LastFICCProfileIndObj = Num;
            }
        }
        if (auto* Alt =
                ObjAs<TPDFName>(Resolve(S->Dictionary()->FindValueByKeyName("Alternate", false))))
            return Alt->Name();
        auto* N = ObjAs<TPDFNumeric>(Resolve(S->Dictionary()->FindValueByKeyName("N", false)));
        const int32_t NV = N ? N->AsInteger() : 0;
        if (NV == 1) return "DeviceGray";
        if (NV == 3) return "DeviceRGB";
        if (NV == 4) return "DeviceCMYK";
        return std::string();
    }
    return std::string();
}

int32_t TPDFImageDecoder::ComponentCount() const {
    if (FColorSpace == "DeviceRGB" || FColorSpace == "CalRGB" || FColorSpace == "Lab" ||
        FColorSpace == "ICCBased")
        return 3;
    if (FColorSpace == "DeviceCMYK") return 4;
    if (FColorSpace == "DeviceN" && FDeviceNColorSpace)
        return std::max<int32_t>(1, FDeviceNColorSpace->FComponentCount);
    return 1;
}

// ---------------------------------------------------------------------------
// The filter chain

void TPDFImageDecoder::DecodeImageFilters(TPDFObject* FilterObj, TPDFObject* ParmsObj) {
    if (FFilter.find('[') == std::string::npos) FFilter = "[ " + Trim(FFilter) + " ]";
    std::vector<TPDFObject*> Filters;
    if (auto* FA = ObjAs<TPDFArray>(FilterObj)) {
        for (TPDFObject* It : FA->LiveItems()) Filters.push_back(Resolve(It));
    } else if (FilterObj) {
        Filters.push_back(FilterObj);
    }
    std::vector<TPDFDictionary*> Parms(Filters.size(), nullptr);
    if (auto* PD = ObjAs<TPDFDictionary>(ParmsObj)) {
        if (!Parms.empty()) Parms[0] = PD;
    } else if (auto* PA = ObjAs<TPDFArray>(ParmsObj)) {
        for (size_t I = 0; I < Parms.size() && I < size_t(PA->Count()); ++I)
            Parms[I] = ObjAs<TPDFDictionary>(Resolve(PA->GetItem(int32_t(I))));
    }
    auto ParmInt = [&](TPDFDictionary* P, std::string_view Key, int Default) {
        if (!P) return Default;
        auto* N = ObjAs<TPDFNumeric>(Resolve(P->FindValueByKeyName(Key, false)));
        return N ? int(N->AsInteger()) : Default;
    };
    auto PredictorParms = [&](TPDFDictionary* P) {
        TPDFFlateParms R;
        R.Predictor = ParmInt(P, "Predictor", 1);
        R.Colors = ParmInt(P, "Colors", 1);
        R.BitsPerComponent = ParmInt(P, "BitsPerComponent", 8);
        R.Columns = ParmInt(P, "Columns", 1);
        R.ColorSpace = FColorSpace;
        return R;
    };
    auto ParmList = [&](TPDFDictionary* P) {
        std::vector<std::string> L;
        if (!P) return L;
        for (const TPDFEntry& E : P->GetEntries()) {
            auto* K = ObjAs<TPDFName>(E.Key);
            if (!K) continue;
            TPDFObject* V = Resolve(E.Value);
            L.push_back(K->Name() + "=" + (V ? V->Output() : std::string()));
        }
        return L;
    };
    // The bytes of the samples the dictionary describes: the last stage of
    // the chain sizes its output buffer by them at once.
    size_t SampleBytes = 0;
    if (FWidth > 0 && FHeight > 0 && SupportedBpc(FBitsPerComponent) && FitsCap(FWidth, FHeight))
        SampleBytes = size_t((int64_t(FWidth) * ComponentCount() * FBitsPerComponent + 7) / 8) *
                      size_t(FHeight);
    for (size_t I = 0; I < Filters.size(); ++I) {
        auto* N = ObjAs<TPDFName>(Filters[I]);
        if (!N) continue;
        const std::string& F = N->Name();
        TPDFDictionary* P = Parms[I];
        const size_t Hint = I + 1 == Filters.size() ? SampleBytes : 0;
        if (F == "LZWDecode" || F == "LZW") {
            TPDFLZWDecompressor D;
            D.SetFillOrder(foTop);
            D.SetInitialCodeSize(9);
            D.SetEarlyChange(ParmInt(P, "EarlyChange", 1) == 1);
            if (ParmInt(P, "Predictor", 0) < 1)
                FImageData = D.Decompress(FImageData);
            else
                FImageData = D.Decompress(FImageData, PredictorParms(P));
        } else if (F == "RunLengthDecode" || F == "RL") {
            FImageData = DecodeRunLength(FImageData);
        } else if (F == "FlateDecode" || F == "Fl") {
            if (!P || P->Count() == 0) {
                FImageData = FlateDecompress(FImageData, Hint);
            } else {
                // PNG predictors add a tag byte to every row.
                const TPDFFlateParms FP = PredictorParms(P);
                const size_t RowTags = FP.Predictor >= 10 && Hint > 0 ? size_t(FHeight) : 0;
                FImageData = FP.Predictor < 2
                                 ? FlateDecompress(FImageData, Hint)
                                 : FlateDecompressWithPredictor(FImageData, FP, Hint + RowTags);
            }
        } else if (F == "ASCIIHexDecode" || F == "AHx") {
            FImageData = DecodeASCIIHex(FImageData);
        } else if (F == "ASCII85Decode" || F == "A85") {
            FImageData = DecodeASCII85(FImageData);
        } else if (F == "DCTDecode" || F == "DCT" || F == "JPEGDecode") {
            FImageFilter = "DCTDecode";
            FImageFilterParms = ParmList(P);
        } else if (F == "CCITTFaxDecode" || F == "CCF") {
            FImageFilter = "CCITTFaxDecode";
            FImageFilterParms = ParmList(P);
        } else if (F == "JBIG2Decode") {
            FImageFilter = "JBIG2Decode";
            FImageFilterParms.clear();
            if (P) FJBIG2Globals = ObjAs<TPDFIndRef>(P->FindValueByKeyName("JBIG2Globals", false));
        } else if (F == "JPXDecode") {
            FImageFilter = "JPXDecode";
            FImageFilterParms = ParmList(P);
        }
    }
    const bool CodecSamples = FImageFilter == "JBIG2Decode" || FImageFilter == "JPXDecode" ||
                              FImageFilter == "CCITTFaxDecode";
    if (CodecSamples && !DecodeCodecToSamples()) {
        FValidImage = false;
        FImageData.clear();
        return;
    }
    // ---- Component-raster mode dispatch (built elsewhere) ----
    if (FDecodeMode == dmToKPLR) {
        if (FImageFilter.empty() || CodecSamples)
            BuildKPLRRaster(false);
        else if (FImageFilter == "DCTDecode")
            BuildKPLRRaster(true);
        return;
    }
    // ---- end of component-raster mode dispatch ----
    if (FImageFilter.empty() || CodecSamples) {
        DecodeSamplesToBitmap();
    } else if (FImageFilter == "DCTDecode") {
        DecodeDCT();
    }
}

// ---------------------------------------------------------------------------
// Sample unpacking

void TPDFImageDecoder::CMYKToBGR(const uint8_t* CMYK, uint8_t* BGR) {
    const uint64_t Key = uint64_t(CMYK[0]) | uint64_t(CMYK[1]) << 8 | uint64_t(CMYK[2]) << 16 |
                         uint64_t(CMYK[3]) << 24;
    auto It = FColorMemo.find(Key);
    if (It == FColorMemo.end()) {
        TPDFCMYKColor C{CMYK[0] / 255.0, CMYK[1] / 255.0, CMYK[2] / 255.0, CMYK[3] / 255.0};
        const TPDFRGBColor R = FColorManager->CMYK2RGB(C);
        const uint32_t V = uint32_t(RoundByte(R.Blue)) | uint32_t(RoundByte(R.Green)) << 8 |
                           uint32_t(RoundByte(R.Red)) << 16;
        It = FColorMemo.emplace(Key, V).first;
    }
    BGR[0] = uint8_t(It->second);
    BGR[1] = uint8_t(It->second >> 8);
    BGR[2] = uint8_t(It->second >> 16);
}

void TPDFImageDecoder::DeviceNToBGR(const uint8_t* Samples, int32_t N, uint8_t* BGR) {
    std::string Key(reinterpret_cast<const char*>(Samples), size_t(N));
    auto It = FDeviceNMemo.find(Key);
    if (It == FDeviceNMemo.end()) {
        std::vector<double> In(static_cast<size_t>(N));
        for (int32_t I = 0; I < N; ++I) In[size_t(I)] = Samples[I] / 255.0;
        FDeviceNColorSpace->GetColor(In, true);
        It = FDeviceNMemo.emplace(std::move(Key), FDeviceNColorSpace->FResultColor).first;
    }
    PutBGR(BGR, It->second);
}

void TPDFImageDecoder::BuildIndexedPalette(std::array<uint8_t, 768>& Palette) {
    Palette.fill(0);
    const std::string& B = FIndexedBaseColorSpace;
    const std::string& L = FIndexedData;
    for (int V = 0; V < 256; ++V) {
        const int64_t Idx = std::min<int64_t>(V, FIndexedHival);
        if (Idx < 0) continue;
        uint8_t* P = &Palette[size_t(3 * V)];
        auto Has = [&](int64_t Off, int64_t Len) { return Off + Len <= int64_t(L.size()); };
        auto At = [&](int64_t Off) { return uint8_t(L[size_t(Off)]); };
        if (B == "DeviceRGB" || B == "CalRGB" || B == "ICCBased" || B == "Lab" || B.empty()) {
            if (!Has(3 * Idx, 3)) continue;
            P[0] = At(3 * Idx + 2);
            P[1] = At(3 * Idx + 1);
            P[2] = At(3 * Idx);
        } else if (B == "DeviceGray" || B == "CalGray") {
            if (!Has(Idx, 1)) continue;
            P[0] = P[1] = P[2] = At(Idx);
        } else if (B == "DeviceCMYK") {
            if (!Has(4 * Idx, 4)) continue;
            const uint8_t C[4] = {At(4 * Idx), At(4 * Idx + 1), At(4 * Idx + 2), At(4 * Idx + 3)};
            CMYKToBGR(C, P);
        } else if (B == "DeviceN" && FDeviceNColorSpace) {
            const int32_t N = std::max<int32_t>(1, FDeviceNColorSpace->FComponentCount);
            if (!Has(N * Idx, N)) continue;
            DeviceNToBGR(reinterpret_cast<const uint8_t*>(L.data()) + N * Idx, N, P);
        } else if (B == "Separation" && FSeparationColorSpace) {
            if (!Has(Idx, 1)) continue;
            FSeparationColorSpace->GetColor(At(Idx) / 255.0, true);
            PutBGR(P, FSeparationColorSpace->FResultColor);
        }
    }
    if (B == "Lab" && FLabColorSpace) {
        // The palette holds L, a, b bytes (red, green, blue positions).
        TPDFLabColor Zero;
        FLabColorSpace->GetColor(Zero, FColorManager);
        for (int V = 0; V < 256; ++V) {
            uint8_t* P = &Palette[size_t(3 * V)];
            TPDFLabColor C{P[2] * 100.0 / 255.0, FLabColorSpace->ScaleA(P[1], 255),
                           FLabColorSpace->ScaleB(P[0], 255)};
            const TPDFRGBColor R = FColorManager->Lab2RGB(C);
            P[0] = RoundByte(R.Blue);
            P[1] = RoundByte(R.Green);
            P[2] = RoundByte(R.Red);
        }
    }
}

namespace {

// One transform from an embedded profile to sRGB, shared by every image that
// carries the same profile bytes.
struct TICCTransform {
    cmsHTRANSFORM Transform = nullptr;
    bool Gray = false;
    bool Cmyk = false;
    ~TICCTransform() {
        if (Transform) cmsDeleteTransform(Transform);
    }
};

constexpr size_t kMaxProfileBytes = size_t(8) << 20;
constexpr size_t kMaxCachedTransforms = 64;

// The transform of a zlib-compressed profile; null when the profile cannot
// be read or is not a grey, RGB or CMYK profile.
std::shared_ptr<TICCTransform> TransformFor(const std::string& Compressed) {
    static std::mutex Lock;
    static std::unordered_map<std::string, std::shared_ptr<TICCTransform>> Cache;
    {
        std::lock_guard<std::mutex> G(Lock);
        auto It = Cache.find(Compressed);
        if (It != Cache.end()) return It->second;
    }
    std::shared_ptr<TICCTransform> Result;
    const std::string Profile = FlateDecompress(Compressed);
    if (Profile.size() >= 132 && Profile.size() <= kMaxProfileBytes) {
        cmsHPROFILE In = cmsOpenProfileFromMem(Profile.data(), cmsUInt32Number(Profile.size()));
        if (In) {
            const cmsColorSpaceSignature Sig = cmsGetColorSpace(In);
            if (Sig == cmsSigRgbData || Sig == cmsSigGrayData || Sig == cmsSigCmykData) {
                cmsHPROFILE Out = cmsCreate_sRGBProfile();
                const bool Gray = Sig == cmsSigGrayData;
                const bool Cmyk = Sig == cmsSigCmykData;
                const cmsUInt32Number InType = Gray ? TYPE_GRAY_8 : Cmyk ? TYPE_CMYK_8 : TYPE_BGR_8;
                cmsHTRANSFORM T = Out ? cmsCreateTransform(In, InType, Out, TYPE_BGR_8,
                                                           INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE)
                                      : nullptr;
                if (T) {
                    Result = std::make_shared<TICCTransform>();
                    Result->Transform = T;
                    Result->Gray = Gray;
                    Result->Cmyk = Cmyk;
                }
                if (Out) cmsCloseProfile(Out);
            }
            cmsCloseProfile(In);
        }
    }
    std::lock_guard<std::mutex> G(Lock);
    if (Cache.size() >= kMaxCachedTransforms) Cache.clear();
    Cache.emplace(Compressed, Result);
    return Result;
}

}  // namespace

void TPDFImageDecoder::DecodeSamplesToBitmap() {
    FValidImage = true;
    if (FWidth <= 0 || FHeight <= 0) {
        FValidImage = false;
        return;
    }
    if (!FitsCap(FWidth, FHeight)) {
        FValidImage = false;
        FLoadException = true;
        FLoadError = "image too large";
        return;
    }
    bool Invert = StartsWith(FDecode, "[ 1 0");
    const bool Stencil = FMaskType == mtStencil;
    if (Stencil) Invert = !Invert;
    const int32_t N = ComponentCount();
    const int32_t Bpc = FBitsPerComponent;
    const int64_t W = FWidth, H = FHeight;
    int64_t RowBytes;
    switch (Bpc) {
        case 1:
            RowBytes = (N * W + 7) / 8;
            break;
        case 2:
            RowBytes = (N * W + 3) / 4;
            break;
        case 4:
            RowBytes = (N * W + 1) / 2;
            break;
        case 8:
            RowBytes = N * W;
            break;
        case 16:
            RowBytes = 2 * N * W;
            break;
        default:
            RowBytes = W;
            break;
    }
    const int64_t Available = int64_t(FImageData.size());
    std::vector<uint8_t> Row(size_t(RowBytes) + 2, 0);
    auto LoadRow = [&](int64_t Y) {
        const int64_t Off = Y * RowBytes;
        const int64_t Take = std::clamp<int64_t>(Available - Off, 0, RowBytes);
        if (Take > 0) std::memcpy(Row.data(), FImageData.data() + Off, size_t(Take));
        std::fill(Row.begin() + Take, Row.end(), 0);
    };
    // A whole row of 8-bit samples is read where it lies; a short one is
    // completed with zeros first.
    auto RowOf = [&](int64_t Y) -> const uint8_t* {
        if ((Y + 1) * RowBytes <= Available)
            return reinterpret_cast<const uint8_t*>(FImageData.data()) + Y * RowBytes;
        LoadRow(Y);
        return Row.data();
    };
    const bool Gray = FColorSpace == "DeviceGray" || FColorSpace == "CalGray";
    try {
        if (Gray && Bpc == 1 && !Stencil) {
            FBitmap = std::make_unique<TBitmap>(FWidth, FHeight, pf1bit);
            FBitmap->SetPalette({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
            for (int64_t Y = 0; Y < H; ++Y) {
                LoadRow(Y);
                uint8_t* Dst = FBitmap->ScanLine(int(Y));
                for (int64_t I = 0; I < RowBytes; ++I)
                    Dst[I] = Invert ? uint8_t(~Row[size_t(I)]) : Row[size_t(I)];
            }
            FDecode = "[ 0 1 ]";
            FImageData.clear();
            return;
        }
        // A plain grey or RGB picture drawn far smaller than its samples is
        // kept at a reduced size that still covers its device pixels.
        const bool Reducible = Bpc == 8 && !Stencil && FMaskType == mtNone && !FMaskBitmap &&
                               !FChildMask && FDecodeMode == dmToBitmap && !FIsImageExtraction &&
                               FICCProfile.empty() &&
                               (FColorSpace == "DeviceGray" || FColorSpace == "CalGray" ||
                                FColorSpace == "DeviceRGB" || FColorSpace == "CalRGB");
        const int32_t Reduction = Reducible ? ReductionFor(W, H) : 1;
        FReduction = Reduction;
        if (Reduction == 1) FBitmap = std::make_unique<TBitmap>(FWidth, FHeight, pf24bit);
        const bool Supported = SupportedBpc(Bpc);
        if (Reduction > 1) {
            // Each device pixel's block of R x R samples is averaged while
            // the rows are unpacked; the full-size raster is never made.
            const int64_t R = Reduction;
            const int64_t OW = (W + R - 1) / R, OH = (H + R - 1) / R;
            const int Ch = Gray ? 1 : 3;
            const int Shift = R == 8 ? 3 : R == 4 ? 2 : 1;
            FBitmap = std::make_unique<TBitmap>(int(OW), int(OH), pf24bit);
            std::vector<uint32_t> Sum(size_t(OW) * size_t(Ch));
            for (int64_t OY = 0; OY < OH; ++OY) {
                std::fill(Sum.begin(), Sum.end(), 0);
                const int64_t Y0 = OY * R, Y1 = std::min(H, Y0 + R);
                for (int64_t Y = Y0; Y < Y1; ++Y) {
                    const uint8_t* Src = RowOf(Y);
                    for (int64_t X = 0; X < W; ++X)
                        for (int C = 0; C < Ch; ++C)
                            Sum[size_t((X >> Shift) * Ch + C)] += Src[X * Ch + C];
                }
                uint8_t* Dst = FBitmap->ScanLine(int(OY));
                for (int64_t OX = 0; OX < OW; ++OX, Dst += 3) {
                    const uint32_t Count =
                        uint32_t((Y1 - Y0) * (std::min(W, (OX + 1) * R) - OX * R));
                    auto Avg = [&](int C) {
                        return uint8_t((Sum[size_t(OX * Ch + C)] + Count / 2) / Count);
                    };
                    if (Gray)
                        Dst[0] = Dst[1] = Dst[2] = uint8_t(Avg(0) ^ (Invert ? 0xFF : 0));
                    else
                        Dst[0] = Avg(2), Dst[1] = Avg(1), Dst[2] = Avg(0);
                }
            }
            FDecode = Gray ? "[ 0 1 ]" : "[ 0 1 0 1 0 1 ]";
        } else if ((Gray || FColorSpace == "Separation" || Stencil) && Bpc == 8) {
            const uint8_t Flip = Invert ? 0xFF : 0;
            for (int64_t Y = 0; Y < H; ++Y) {
                const uint8_t* Src = RowOf(Y);
                uint8_t* Dst = FBitmap->ScanLine(int(Y));
                for (int64_t X = 0; X < W; ++X, Dst += 3)
                    Dst[0] = Dst[1] = Dst[2] = uint8_t(Src[X * N] ^ Flip);
            }
            FDecode = "[ 0 1 ]";
        } else if (Gray || FColorSpace == "Separation" || Stencil) {
            for (int64_t Y = 0; Y < H && Supported; ++Y) {
                LoadRow(Y);
                uint8_t* Dst = FBitmap->ScanLine(int(Y));
                for (int64_t X = 0; X < W; ++X) {
                    uint8_t V = SampleAt(Row.data(), X * N, Bpc, false);
                    if (Invert) V = uint8_t(255 - V);
                    Dst[3 * X] = Dst[3 * X + 1] = Dst[3 * X + 2] = V;
                }
            }
            FDecode = "[ 0 1 ]";
        } else if ((FColorSpace == "DeviceRGB" || FColorSpace == "CalRGB" ||
                    FColorSpace == "Lab") &&
                   Bpc == 8) {
            for (int64_t Y = 0; Y < H; ++Y) {
                const uint8_t* Src = RowOf(Y);
                uint8_t* Dst = FBitmap->ScanLine(int(Y));
                for (int64_t X = 0; X < W; ++X, Src += 3, Dst += 3) {
                    Dst[0] = Src[2];
                    Dst[1] = Src[1];
                    Dst[2] = Src[0];
                }
            }
            FDecode = "[ 0 1 0 1 0 1 ]";
        } else if (FColorSpace == "DeviceRGB" || FColorSpace == "CalRGB" || FColorSpace == "Lab") {
            for (int64_t Y = 0; Y < H && Supported; ++Y) {
                LoadRow(Y);
                uint8_t* Dst = FBitmap->ScanLine(int(Y));
                for (int64_t X = 0; X < W; ++X)
                    for (int C = 0; C < 3; ++C)
                        Dst[3 * X + 2 - C] = SampleAt(Row.data(), 3 * X + C, Bpc, false);
            }
            FDecode = "[ 0 1 0 1 0 1 ]";
        } else if (FColorSpace == "DeviceN" && FDeviceNColorSpace) {
            std::vector<uint8_t> Px(static_cast<size_t>(N));
            for (int64_t Y = 0; Y < H && Supported; ++Y) {
                LoadRow(Y);
                uint8_t* Dst = FBitmap->ScanLine(int(Y));
                for (int64_t X = 0; X < W; ++X) {
                    for (int32_t C = 0; C < N; ++C)
                        Px[size_t(C)] = SampleAt(Row.data(), X * N + C, Bpc, false);
                    DeviceNToBGR(Px.data(), N, Dst + 3 * X);
                }
            }
        } else if (FColorSpace == "DeviceCMYK" && !FICCProfile.empty() && !IgnoreICCProfiles &&
                   TransformFor(FICCProfile) && TransformFor(FICCProfile)->Cmyk) {
            // Inks through the embedded CMYK profile.
            const std::shared_ptr<TICCTransform> T = TransformFor(FICCProfile);
            std::vector<uint8_t> Inks(size_t(W) * 4);
            for (int64_t Y = 0; Y < H && Supported; ++Y) {
                LoadRow(Y);
                for (int64_t K = 0; K < 4 * W; ++K)
                    Inks[size_t(K)] = SampleAt(Row.data(), K, Bpc, false);
                cmsDoTransform(T->Transform, Inks.data(), FBitmap->ScanLine(int(Y)),
                               cmsUInt32Number(W));
            }
            FICCProfile.clear();
        } else if (FColorSpace == "DeviceCMYK") {
            for (int64_t Y = 0; Y < H && Supported; ++Y) {
                LoadRow(Y);
                uint8_t* Dst = FBitmap->ScanLine(int(Y));
                for (int64_t X = 0; X < W; ++X) {
                    const uint8_t Px[4] = {SampleAt(Row.data(), 4 * X, Bpc, false),
                                           SampleAt(Row.data(), 4 * X + 1, Bpc, false),
                                           SampleAt(Row.data(), 4 * X + 2, Bpc, false),
                                           SampleAt(Row.data(), 4 * X + 3, Bpc, false)};
                    CMYKToBGR(Px, Dst + 3 * X);
                }
            }
        } else if (FColorSpace == "Indexed") {
            std::array<uint8_t, 768> Palette;
            BuildIndexedPalette(Palette);
            const bool Key = FMaskType == mtColorKey && FMaskColor.size() >= 2;
            if (Key) FMaskBitmap = std::make_unique<TBitmap>(FWidth, FHeight, pf24bit);
            const bool Readable = Bpc == 1 || Bpc == 2 || Bpc == 4 || Bpc == 8;
            for (int64_t Y = 0; Y < H && Readable; ++Y) {
                LoadRow(Y);
                uint8_t* Dst = FBitmap->ScanLine(int(Y));
                uint8_t* M = Key ? FMaskBitmap->ScanLine(int(Y)) : nullptr;
                for (int64_t X = 0; X < W; ++X) {
                    const uint8_t V = SampleAt(Row.data(), X, Bpc, true);
                    std::memcpy(Dst + 3 * X, &Palette[size_t(3 * V)], 3);
                    if (M) {
                        const uint8_t A = (FMaskColor[0] <= V && V <= FMaskColor[1]) ? 0 : 255;
                        M[3 * X] = M[3 * X + 1] = M[3 * X + 2] = A;
                    }
                }
            }
            if (Key) {
                FMaskType = mtExplicit;
                FMaskDecode.clear();
            }
        }
        if (!FICCProfile.empty()) ApplyICCProfile();
        if (FColorSpace == "Lab") ConvertLabBitmap();
        if (FColorSpace == "Separation") ConvertSeparationBitmap();
    } catch (const std::exception& E) {
        FBitmap = std::make_unique<TBitmap>();
        FValidImage = false;
        FLoadException = true;
        FLoadError = E.what();
        return;
    }
    FImageData.clear();
    const bool Masked = FMaskBitmap != nullptr || FMaskType == mtStencil;
    if (FDecodeMode != dmToNative && !FChildMask && !Masked) FNativeType = nitPNG;
    if (FIsImageExtraction && Masked) {
        FDecodeMode = dmToNative;
        FNativeType = nitPNG;
    }
}

void TPDFImageDecoder::ExpandIndexedBitmap() {
    if (!FBitmap || FBitmap->Empty() || FBitmap->PixelFormat() != pf8bit ||
        FColorSpace != "Indexed" || FBitsPerComponent != 8)
        return;
    if (!FitsCap(FWidth, FHeight)) {
        FLoadException = true;
        FLoadError = "image too large";
        return;
    }
    std::array<uint8_t, 768> Palette;
    BuildIndexedPalette(Palette);
    std::unique_ptr<TBitmap> Out;
    try {
        Out = std::make_unique<TBitmap>(FWidth, FHeight, pf24bit);
    } catch (const std::exception& E) {
        FLoadException = true;
        FLoadError = E.what();
        return;
    }
    // A stage bitmap smaller than the image leaves the rest black.
    const int W = std::min(FWidth, FBitmap->Width());
    const int H = std::min(FHeight, FBitmap->Height());
    for (int Y = 0; Y < FHeight; ++Y) {
        uint8_t* Dst = Out->ScanLine(Y);
        std::memset(Dst, 0, size_t(FWidth) * 3);
        if (Y >= H) continue;
        const uint8_t* Src = FBitmap->ScanLine(Y);
        for (int X = 0; X < W; ++X) std::memcpy(Dst + 3 * X, &Palette[size_t(3 * Src[X])], 3);
    }
    FBitmap = std::move(Out);
}

void TPDFImageDecoder::ConvertLabBitmap() {
    if (!FLabColorSpace || !FBitmap || FBitmap->Empty()) return;
    FBitmap->SetPixelFormat(pf24bit);
    std::array<double, 256> LT, AT, BT;
    for (int I = 0; I < 256; ++I) {
        LT[size_t(I)] = I * 100.0 / 255;
        AT[size_t(I)] = FLabColorSpace->ScaleA(I, 255);
        BT[size_t(I)] = FLabColorSpace->ScaleB(I, 255);
    }
    TPDFLabColor Zero;
    FLabColorSpace->GetColor(Zero, FColorManager);
    std::unordered_map<uint32_t, uint32_t> Memo;
    for (int Y = 0; Y < FBitmap->Height(); ++Y) {
        uint8_t* P = FBitmap->ScanLine(Y);
        for (int X = 0; X < FBitmap->Width(); ++X, P += 3) {
            const uint32_t K = uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16;
            auto It = Memo.find(K);
            if (It == Memo.end()) {
                TPDFLabColor C{LT[P[2]], AT[P[1]], BT[P[0]]};
                const TPDFRGBColor R = FColorManager->Lab2RGB(C);
                It = Memo.emplace(K, uint32_t(RoundByte(R.Blue)) |
                                         uint32_t(RoundByte(R.Green)) << 8 |
                                         uint32_t(RoundByte(R.Red)) << 16)
                         .first;
            }
            P[0] = uint8_t(It->second);
            P[1] = uint8_t(It->second >> 8);
            P[2] = uint8_t(It->second >> 16);
        }
    }
}

void TPDFImageDecoder::ConvertSeparationBitmap() {
    if (!FSeparationColorSpace || !FBitmap || FBitmap->Empty()) return;
    FBitmap->SetPixelFormat(pf24bit);
    std::array<uint8_t, 768> Table;
    for (int I = 0; I < 256; ++I) {
        FSeparationColorSpace->GetColor(I / 255.0, true);
        PutBGR(&Table[size_t(3 * I)], FSeparationColorSpace->FResultColor);
    }
    for (int Y = 0; Y < FBitmap->Height(); ++Y) {
        uint8_t* P = FBitmap->ScanLine(Y);
        for (int X = 0; X < FBitmap->Width(); ++X, P += 3)
            std::memcpy(P, &Table[size_t(3 * P[0])], 3);
    }
}

void TPDFImageDecoder::ApplyICCProfile() {
    // A profile that does not describe the samples (a CMYK profile is used
    // while the inks are unpacked, other spaces have no counterpart) is
    // ignored.
    const std::string Profile = std::move(FICCProfile);
    FICCProfile.clear();
    if (IgnoreICCProfiles || !FBitmap || FBitmap->Empty() || FBitmap->PixelFormat() != pf24bit)
        return;
    const bool GraySamples = FColorSpace == "DeviceGray";
    const bool RGBSamples = FColorSpace == "DeviceRGB";
    if (!GraySamples && !RGBSamples) return;
    std::shared_ptr<TICCTransform> T = TransformFor(Profile);
    if (!T || T->Cmyk || T->Gray != GraySamples) return;
    const int W = FBitmap->Width();
    std::vector<uint8_t> Grey(T->Gray ? static_cast<size_t>(W) : 0);
    for (int Y = 0; Y < FBitmap->Height(); ++Y) {
        uint8_t* Row = FBitmap->ScanLine(Y);
        if (T->Gray) {
            for (int X = 0; X < W; ++X) Grey[size_t(X)] = Row[3 * X];
            cmsDoTransform(T->Transform, Grey.data(), Row, cmsUInt32Number(W));
        } else {
            cmsDoTransform(T->Transform, Row, Row, cmsUInt32Number(W));
        }
    }
}

// ---------------------------------------------------------------------------
// The DCT stage

void TPDFImageDecoder::DecodeDCT() {
    FValidImage = true;
    if (FImageData.size() >= 4 && uint8_t(FImageData[0]) == 0x0A &&
        uint8_t(FImageData[1]) == 0xFF && uint8_t(FImageData[2]) == 0xD8)
        FImageData.erase(0, 1);
    const bool Masked = FMaskBitmap != nullptr || FMaskType == mtStencil;
    if (FIsImageExtraction && (FColorSpace != "DeviceRGB" || Masked)) FDecodeMode = dmToBitmap;
    if (FDecodeMode == dmToNative) {
        FNativeType = nitJPEG;
        FImageStream = std::make_unique<TMemoryStream>();
        FImageStream->Write(FImageData.data(), int64_t(FImageData.size()));
        FImageData.clear();
        return;
    }
    if (!FitsCap(FWidth, FHeight)) {
        FValidImage = false;
        FLoadException = FWidth > 0 && FHeight > 0;
        FLoadError = "image too large";
        return;
    }
    bool Invert =
        FColorSpace == "DeviceCMYK" && (FDecode.empty() || FDecode == "[ 0 1 0 1 0 1 0 1 ]");
    if (FColorSpace == "Separation" && FSeparationColorSpace &&
        FSeparationColorSpace->Alternate() == "DeviceCMYK" && FDecode == "[ 1 0 ]")
        Invert = true;
    try {
        TPDFJPEGImage J;
        J.SetColorManager(FColorManager);
        J.LoadFromBytes(FImageData);
        if (!FitsCap(J.Width(), J.Height())) throw std::runtime_error("JPEG too large");
        if (Invert) J.InvertCMYK();
        // A plain picture drawn far smaller than its samples (a page scan
        // on a screen-resolution page) is decoded at a reduced scale that
        // still has a sample for every device pixel it covers.
        FReduction = 1;
        const bool Plain = !Masked && FMaskType == mtNone && FDecodeMode == dmToBitmap &&
                           !FIsImageExtraction && J.Width() == FWidth && J.Height() == FHeight;
        if (Plain) {
            FReduction = ReductionFor(FWidth, FHeight);
            J.SetScale(FReduction == 8   ? jsEighth
                       : FReduction == 4 ? jsQuarter
                       : FReduction == 2 ? jsHalf
                                         : jsFullSize);
        }
        // The decoded rows are taken over, not copied.
        TBitmap Decoded(std::move(J.DecodedBitmap()));
        if (Decoded.PixelFormat() != pf24bit) Decoded.SetPixelFormat(pf24bit);
        const int TargetW = (FWidth + FReduction - 1) / FReduction;
        const int TargetH = (FHeight + FReduction - 1) / FReduction;
        if (Decoded.Width() != TargetW || Decoded.Height() != TargetH)
            FBitmap = Stretch(Decoded, FWidth, FHeight);
        else
            FBitmap = std::make_unique<TBitmap>(std::move(Decoded));
        if (FColorSpace == "Lab") ConvertLabBitmap();
        if (FColorSpace == "Separation") ConvertSeparationBitmap();
        if (FColorSpace == "DeviceN" && FDeviceNColorSpace) {
            for (int Y = 0; Y < FBitmap->Height(); ++Y) {
                uint8_t* P = FBitmap->ScanLine(Y);
                for (int X = 0; X < FBitmap->Width(); ++X, P += 3) {
                    std::vector<double> In(
                        size_t(std::max<int32_t>(1, FDeviceNColorSpace->FComponentCount)), 0.0);
                    In[0] = P[0] / 255.0;
                    FDeviceNColorSpace->GetColor(In, true);
                    PutBGR(P, FDeviceNColorSpace->FResultColor);
                }
            }
        }
        if (!FICCProfile.empty()) ApplyICCProfile();
    } catch (const std::exception& E) {
        FBitmap = std::make_unique<TBitmap>();
        FValidImage = false;
        FLoadError = E.what();
        return;
    }
    FImageData.clear();
    if (FIsImageExtraction && Masked) {
        FDecodeMode = dmToNative;
        FNativeType = nitPNG;
    }
}

int32_t TPDFImageDecoder::ReductionFor(int64_t Width, int64_t Height) const {
    int32_t R = 1;
    if (!(FHorizontalSize > 0) || !(FVerticalSize > 0)) return R;
    while (R < 8 && (Width + 2 * R - 1) / (2 * R) >= FHorizontalSize &&
           (Height + 2 * R - 1) / (2 * R) >= FVerticalSize)
        R *= 2;
    return R;
}

bool TPDFImageDecoder::CoversDrawnSize(double Width, double Height) const {
    if (FReduction <= 1 || !FBitmap) return true;
    return FBitmap->Width() >= Width && FBitmap->Height() >= Height;
}

// ---------------------------------------------------------------------------
// Masks and drawing

bool TPDFImageDecoder::FitImageAndMask(TBitmap& Image, TBitmap& Mask) {
    const int TW = std::max(Image.Width(), Mask.Width());
    const int TH = std::max(Image.Height(), Mask.Height());
    if (!FitsCap(TW, TH)) return false;
    if (Image.Width() != TW || Image.Height() != TH) {
        if (Image.Width() == 1 && Image.Height() == 1) {
            const TColor C = Image.GetPixel(0, 0);
            TBitmap One(TW, TH, pf24bit);
            for (int Y = 0; Y < TH; ++Y) {
                uint8_t* P = One.ScanLine(Y);
                for (int X = 0; X < TW; ++X) PutBGR(P + 3 * X, C);
            }
            Image.Assign(One);
        } else {
            Image.Assign(*Stretch(Image, TW, TH));
        }
    }
    if (Mask.Width() != TW || Mask.Height() != TH) Mask.Assign(*Stretch(Mask, TW, TH));
    return true;
}

std::unique_ptr<TBitmap> TPDFImageDecoder::ComposeWithMask(bool ForDraw, TColor FillColor) {
    if (!FBitmap || FBitmap->Empty()) return nullptr;
    // The kept raster is read where it is; a copy is made only to change
    // its format or to fit it to its mask.
    TBitmap Converted;
    const TBitmap* Kept = FBitmap.get();
    if (FBitmap->PixelFormat() != pf24bit) {
        Converted.Assign(*FBitmap);
        Converted.SetPixelFormat(pf24bit);
        Kept = &Converted;
    }
    const TBitmap& Image = *Kept;
    std::unique_ptr<TBitmap> Out;
    if (FMaskType == mtStencil) {
        // Painted where the stencil is white, in the fill colour.
        Out = std::make_unique<TBitmap>(Image.Width(), Image.Height(), pf32bit);
        for (int Y = 0; Y < Image.Height(); ++Y) {
            const uint8_t* S = Image.ScanLine(Y);
            uint8_t* D = Out->ScanLine(Y);
            for (int X = 0; X < Image.Width(); ++X) {
                PutBGR(D + 4 * X, ForDraw ? FillColor : 0);
                D[4 * X + 3] = S[3 * X];
            }
        }
        return Out;
    }
    if (FMaskBitmap && !FMaskBitmap->Empty()) {
        TBitmap FitImage, FitMask;
        const TBitmap* Pixels = &Image;
        const TBitmap* Mask = FMaskBitmap.get();
        if (Image.Width() != Mask->Width() || Image.Height() != Mask->Height()) {
            FitImage.Assign(Image);
            FitMask.Assign(*Mask);
            if (!FitImageAndMask(FitImage, FitMask)) return nullptr;
            Pixels = &FitImage;
            Mask = &FitMask;
        }
        const bool Reverse = StartsWith(FMaskDecode, "[ 1 0");
        Out = std::make_unique<TBitmap>(Pixels->Width(), Pixels->Height(), pf32bit);
        for (int Y = 0; Y < Pixels->Height(); ++Y) {
            const uint8_t* S = Pixels->ScanLine(Y);
            uint8_t* D = Out->ScanLine(Y);
            for (int X = 0; X < Pixels->Width(); ++X) {
                std::memcpy(D + 4 * X, S + 3 * X, 3);
                const uint8_t A = MaskValue(*Mask, X, Y);
                D[4 * X + 3] = Reverse ? uint8_t(255 - A) : A;
            }
        }
        return Out;
    }
    if (FMaskType == mtColorKey) {
        TColor Low = 0, High = 0;
        ColorKeyRange(Low, High);
        Out = std::make_unique<TBitmap>(Image.Width(), Image.Height(), pf32bit);
        for (int Y = 0; Y < Image.Height(); ++Y) {
            const uint8_t* S = Image.ScanLine(Y);
            uint8_t* D = Out->ScanLine(Y);
            for (int X = 0; X < Image.Width(); ++X) {
                std::memcpy(D + 4 * X, S + 3 * X, 3);
                bool In = true;
                // The key colours are in the back end's colour-key order,
                // blue in the low byte, as the pixels' bytes are.
                for (int C = 0; C < 3; ++C) {
                    const int Shift = 8 * C;
                    const uint8_t V = S[3 * X + C];
                    In = In && V >= ((Low >> Shift) & 0xFF) && V <= ((High >> Shift) & 0xFF);
                }
                D[4 * X + 3] = (In && (Low != 0 || High != 0)) ? 0 : 255;
            }
        }
        return Out;
    }
    return std::make_unique<TBitmap>(Image);
}

void TPDFImageDecoder::ColorKeyRange(TColor& Low, TColor& High) {
    Low = High = 0;
    if (FMaskType != mtColorKey) return;
    const auto& K = FMaskColor;
    auto V = [&](size_t I) { return K[I] / 255.0; };
    if (FColorSpace == "DeviceCMYK" && K.size() == 8) {
        const bool Inv = StartsWith(FDecode, "[ 1 0");
        auto Conv = [&](size_t O) {
            TPDFCMYKColor C{V(O), V(O + 2), V(O + 4), V(O + 6)};
            if (Inv) C = {1 - C.Cyan, 1 - C.Magenta, 1 - C.Yellow, 1 - C.Black};
            TPDFRGBColor R = FColorManager->CMYK2RGB(C);
            return FColorManager->RGB2Color(R);
        };
        Low = Conv(0);
        High = Conv(1);
    } else if (FColorSpace == "DeviceRGB" && K.size() == 6) {
        TPDFRGBColor L{V(4), V(2), V(0)}, H{V(5), V(3), V(1)};
        Low = FColorManager->RGB2Color(L);
        High = FColorManager->RGB2Color(H);
    } else if (FColorSpace == "DeviceBGR" && K.size() == 6) {
        TPDFRGBColor L{V(0), V(2), V(4)}, H{V(1), V(3), V(5)};
        Low = FColorManager->RGB2Color(L);
        High = FColorManager->RGB2Color(H);
    } else if (FColorSpace == "DeviceGray" && K.size() == 2) {
        TPDFRGBColor L{V(0), V(0), V(0)}, H{V(1), V(1), V(1)};
        Low = FColorManager->RGB2Color(L);
        High = FColorManager->RGB2Color(H);
    }
}

void TPDFImageDecoder::Draw(TPDFPicasso& Picasso, const TPDFXForm& Mat, TColor FillColor) {
    if (!FValidImage) return;
    TPDFDoublePoint UL, UR, LL;
    TransformPoint(Mat, {0, 1}, UL);
    TransformPoint(Mat, {1, 1}, UR);
    TransformPoint(Mat, {0, 0}, LL);
    // An unmasked 24-bit image is drawn from its own rows.
    const bool Plain =
        FMaskType != mtStencil && FMaskType != mtColorKey && (!FMaskBitmap || FMaskBitmap->Empty());
    if (Plain && FBitmap && !FBitmap->Empty() && FBitmap->PixelFormat() == pf24bit) {
        Picasso.DrawImagePoints(UL.X, UL.Y, UR.X, UR.Y, LL.X, LL.Y, *FBitmap);
        return;
    }
    std::unique_ptr<TBitmap> Img;
    try {
        Img = ComposeWithMask(true, FillColor);
    } catch (const std::exception&) {
        FDrawException = true;
        return;
    }
    if (!Img) {
        FDrawException = FBitmap && !FBitmap->Empty();
        return;
    }
    // A stencil under a pattern fill shows the pattern through the stencil.
    if (FMaskType == mtStencil && Picasso.FillPattern() != nullptr &&
        Picasso.DrawStencilWithFillPattern(UL.X, UL.Y, UR.X, UR.Y, LL.X, LL.Y, *Img))
        return;
    if (Img->PixelFormat() == pf32bit)
        Picasso.DrawImagePointsAlpha(UL.X, UL.Y, UR.X, UR.Y, LL.X, LL.Y, *Img);
    else
        Picasso.DrawImagePoints(UL.X, UL.Y, UR.X, UR.Y, LL.X, LL.Y, *Img);
}

// ---------------------------------------------------------------------------
// Accessors and native forms

std::string TPDFImageDecoder::BitmapAsString() const {
    if (!FBitmap || FBitmap->Empty()) return std::string();
    TMemoryStream S;
    FBitmap->SaveToStream(S);
    return S.Bytes();
}

std::string TPDFImageDecoder::NativeImageData() {
    if (FImageStream) return FImageStream->Bytes();
    if (FNativeType == nitPNG && FBitmap && !FBitmap->Empty()) {
        auto S = std::make_unique<TMemoryStream>();
        TBitmap Image(*FBitmap);
        if (Image.PixelFormat() != pf24bit) Image.SetPixelFormat(pf24bit);
        TBitmap Mask;
        const bool HasMask = FMaskBitmap && !FMaskBitmap->Empty();
        if (HasMask) {
            Mask.Assign(*FMaskBitmap);
            if (!FitImageAndMask(Image, Mask)) return BitmapAsString();
        }
        TPNGWriter W(Image);
        if (HasMask) W.SetAlphaChannel(&Mask, StartsWith(FMaskDecode, "[ 1 0"));
        W.SaveToStream(*S);
        FImageStream = std::move(S);
        if (!FRenderToEPS && FDecodeMode != dmToNative) {
            // The PNG now stands for the raster in the caller's hands.
        }
        return FImageStream->Bytes();
    }
    return BitmapAsString();
}

TColor TPDFImageDecoder::GetCenterColor() const {
    if (!FBitmap || FBitmap->Empty()) return 0;
    const TColor C = FBitmap->GetPixel(FWidth / 2, FHeight / 2);
    return C < 0 ? 0 : C;
}

int64_t TPDFImageDecoder::ImageDataSize() const {
    int64_t N = 0;
    if (FImageStream) N += FImageStream->Size();
    if (FBitmap) N += int64_t(FBitmap->BytesPerScanLine()) * FBitmap->Height();
    if (FMaskBitmap) N += int64_t(FMaskBitmap->BytesPerScanLine()) * FMaskBitmap->Height();
    N += int64_t(FImageData.size());
    return N;
}

void TPDFImageDecoder::PatchPNGPalette(TMemoryStream& Stream, std::string_view Operation,
                                       TColor Color) {
    TPNGReader R;
    R.SetSkipImageData(true);
    Stream.Seek(0, soBeginning);
    try {
        R.LoadFromStream(Stream);
    } catch (const std::exception&) {
        return;
    }
    const int64_t Pos = R.PalettePosition();
    if (Pos <= 0 || R.PaletteSize() != 2 || Pos + 6 > Stream.Size()) return;
    char* M = Stream.Memory();
    uint8_t* P = reinterpret_cast<uint8_t*>(M + Pos);
    if (Operation == "Reset") {
        std::memcpy(P, FOriginalPNGPalette.data(), 6);
    } else if (Operation == "Swap") {
        std::memcpy(FOriginalPNGPalette.data() + 3, P, 3);
        std::memcpy(FOriginalPNGPalette.data(), P + 3, 3);
        std::memcpy(P, FOriginalPNGPalette.data(), 6);
    } else if (Operation == "SetTrans") {
        std::memcpy(FOriginalPNGPalette.data(), P, 6);
        const uint8_t Col[3] = {uint8_t(Color & 0xFF), uint8_t((Color >> 8) & 0xFF),
                                uint8_t((Color >> 16) & 0xFF)};
        std::string Alpha;
        if (P[0] == 0 && P[1] == 0 && P[2] == 0) {
            std::memcpy(P + 3, Col, 3);
            Alpha = std::string("\x00\xFF", 2);
        } else {
            std::memcpy(P, Col, 3);
            Alpha = std::string("\xFF\x00", 2);
        }
        std::string Chunk("\x00\x00\x00\x02tRNS", 8);
        Chunk += Alpha;
        const uint32_t Crc = Crc32(std::string_view(Chunk).substr(4));
        for (int S = 24; S >= 0; S -= 8) Chunk.push_back(char((Crc >> S) & 0xFF));
        std::string Bytes = Stream.Bytes();
        const int64_t T = R.TransparencyPosition();
        if (T > 0 && T + 14 <= int64_t(Bytes.size())) {
            Bytes.replace(size_t(T), 14, Chunk);
        } else {
            const int64_t D = R.FirstDataPosition();
            if (D <= 0 || D > int64_t(Bytes.size())) return;
            Bytes.insert(size_t(D), Chunk);
        }
        Stream.Clear();
        Stream.Write(Bytes.data(), int64_t(Bytes.size()));
    }
    Stream.Seek(0, soBeginning);
}

// ---------------------------------------------------------------------------
// Format descriptions

std::string TPDFImageDecoder::ColorSpaceDesc(TPDFObject* O, int32_t& CompCount) {
    CompCount = 1;
    O = Resolve(O);
    auto Family = [&](const std::string& F) -> std::string {
        if (F == "DeviceGray" || F == "CalGray") return "Gray";
        if (F == "DeviceRGB" || F == "CalRGB") {
            CompCount = 3;
            return "RGB";
        }
        if (F == "DeviceCMYK") {
            CompCount = 4;
            return "CMYK";
        }
        return std::string();
    };
    if (auto* N = ObjAs<TPDFName>(O)) {
        std::string D = Family(N->Name());
        return D.empty() ? N->Name() : D;
    }
    auto* A = ObjAs<TPDFArray>(O);
    if (!A || A->Count() < 1) return std::string();
    auto* First = ObjAs<TPDFName>(Resolve(A->GetItem(0)));
    if (!First) return std::string();
    const std::string& F = First->Name();
    std::string D = Family(F);
    if (!D.empty()) return D;
    if (F == "Indexed") {
        int32_t Dummy = 1;
        return "Indexed[" + ColorSpaceDesc(A->GetItem(1), Dummy) + "]";
    }
    if (F == "ICCBased") {
        std::string Inner;
        auto* S = ObjAs<TPDFStream>(Resolve(A->GetItem(1)));
        if (S && S->Dictionary()) {
            if (auto* Alt = ObjAs<TPDFName>(
                    Resolve(S->Dictionary()->FindValueByKeyName("Alternate", false)))) {
                int32_t Dummy = 1;
                Inner = Family(Alt->Name());
                CompCount = 1;
                (void)Dummy;
            }
            if (Inner.empty()) {
                auto* N =
                    ObjAs<TPDFNumeric>(Resolve(S->Dictionary()->FindValueByKeyName("N", false)));
                const int32_t NV = N ? N->AsInteger() : 0;
                Inner = NV == 1 ? "Gray" : NV == 3 ? "RGB" : NV == 4 ? "CMYK" : "";
            }
        }
        CompCount = 1;
        return "ICC[" + Inner + "]";
    }
    if (F == "DeviceN") {
        TPDFDeviceNColorSpace T(FColorManager);
        T.FOnFindObject = FOnFindObject;
        try {
            T.LoadFromArray(A, "");
        } catch (const std::exception&) {
        }
        return "DeviceN[" + std::to_string(T.FComponentCount) + "]";
    }
    if (F == "Lab") return "Lab";
    if (F == "Separation") {
        TPDFSeparationColorSpace T(FColorManager);
        T.FOnFindObject = FOnFindObject;
        try {
            T.LoadFromArray(A, "");
        } catch (const std::exception&) {
        }
        return T.Alternate() == "DeviceCMYK" ? "Separation[CMYK]" : "Separation[Unknown]";
    }
    return std::string();
}

std::string TPDFImageDecoder::GetFormatDesc(TPDFDictionary* Source, int Options, bool Child) {
    if (!Source && FSource) Source = FSource->Dictionary();
    if (!Source) return std::string();
    auto Value = [&](std::string_view Key) {
        return Resolve(Source->FindValueByKeyName(Key, false));
    };
    auto Int = [&](std::string_view Key) {
        auto* N = ObjAs<TPDFNumeric>(Value(Key));
        return N ? N->AsInteger() : 0;
    };
    const int32_t W = Int("Width"), H = Int("Height");
    int32_t Bpc = Int("BitsPerComponent");
    TPDFObject* Dec = Value("Decode");
    const bool Inverse = ObjAs<TPDFArray>(Dec) && StartsWith(Dec->Output(), "[ 1 0");
    int32_t Count = 1;
    const std::string CS = ColorSpaceDesc(Value("ColorSpace"), Count);
    enum { None, Stencil, Soft, Explicit } Kind = None;
    if (!Child) {
        auto* IM = ObjAs<TPDFBoolean>(Source->FindValueByKeyName("ImageMask", false));
        if (IM && IM->AsBoolean()) {
            Kind = Stencil;
            if (Bpc == 0) Bpc = 1;
        } else if (ObjAs<TPDFStream>(Value("SMask"))) {
            Kind = Soft;
        } else if (ObjAs<TPDFStream>(Value("Mask"))) {
            Kind = Explicit;
        }
    }
    TPDFObject* FO = Value("Filter");
    const std::string Wrapped = "[ " + (FO ? FO->Output() : std::string()) + " ]";
    std::string Filter = "Unknown";
    if (Wrapped == "[  ]")
        Filter = "Uncompressed";
    else if (Wrapped == "[ /FlateDecode ]")
        Filter = "Flate";
    else if (Wrapped == "[ /DCTDecode ]")
        Filter = "JPEG";
    else if (Wrapped == "[ /JPXDecode ]")
        Filter = "JPEG2000";
    else if (Wrapped == "[ /CCITTFaxDecode ]")
        Filter = "CCITT";
    else if (Wrapped == "[ /JBIG2Decode ]")
        Filter = "JBIG2";
    std::string R;
    if (Options != 1) {
        const std::string B = std::to_string(Bpc);
        if (Child)
            R = "MW:" + std::to_string(W) + ";MH:" + std::to_string(H) + ";MBPC:" + B +
                ";MC:" + Filter + ";";
        else
            R = "W:" + std::to_string(W) + ";H:" + std::to_string(H) + ";BPC:" + B + ";CS:" + CS +
                ";C:" + Filter + ";";
        if (Kind == Stencil) R += "M:Stencil;";
        if (Kind == Soft) R += "M:Soft;" + FMaskFormatDesc0;
        if (Kind == Explicit) R += "M:Explicit;" + FMaskFormatDesc0;
    } else {
        R = std::to_string(W) + "x" + std::to_string(H) + " " +
            std::to_string(int64_t(FBitsPerComponent) * Count) + "-bit " + Filter + " ";
        if (!Child) {
            R += CS;
            if (Inverse) R += "Inverse ";
        }
        if (Kind == Soft) R += " SoftMask " + FMaskFormatDesc1;
        if (Kind == Explicit) R += " ExplicitMask " + FMaskFormatDesc1;
    }
    return R;
}

}  // namespace velmo
