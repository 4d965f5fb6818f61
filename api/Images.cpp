// Images of the selected document: adding, selecting, describing, drawing,
// masks and decoding, their data and the image lists of pages.
#include <algorithm>
#include <cmath>
#include <exception>

#include "api/VelmoPDF.h"
#include "render/ImageList.h"
#include "content/Image.h"
#include "content/Painter.h"
#include "core/FileHelpers.h"
#include "core/StringHelpers.h"
#include "document/ImageBase.h"
#include "document/PageTree.h"
#include "platform/files/Stream.h"

namespace velmo {

namespace {

constexpr uint16_t fmOpenReadShareDenyWrite = 0x0020;

}  // namespace

bool FitImagePlacement(int32_t W, int32_t H, int32_t HDPI, int32_t VDPI, double L, double T,
                       double BoxW, double BoxH, int32_t HAlign, int32_t VAlign, int32_t Rotate,
                       TVPLImagePlacement& Out) {
    if (HAlign < 0 || HAlign > 2 || VAlign < 0 || VAlign > 2 || Rotate < 0 || Rotate > 3)
        return false;
    double w = W, h = H;
    if (HDPI != VDPI && HDPI != 0 && VDPI != 0)
        w = std::nearbyint(w * static_cast<double>(VDPI) / HDPI);
    // An empty image has no scale to fit by.
    if (w <= 0 || h <= 0) return false;
    const bool quarter = Rotate == 1 || Rotate == 2;
    const double cx = quarter ? h : w, cy = quarter ? w : h;
    const double g = std::min(BoxW / cx, BoxH / cy);
    if (!std::isfinite(g)) return false;
    if (HAlign == 1) L += (BoxW - cx * g) / 2;
    if (HAlign == 2) L = L + BoxW - cx * g;
    if (VAlign == 1) T -= (BoxH - cy * g) / 2;
    if (VAlign == 2) T = T - BoxH + cy * g;
    const double dw = w * g, dh = h * g;
    Out = TVPLImagePlacement{};
    Out.Width = dw;
    Out.Height = dh;
    switch (Rotate) {
        case 0:
            Out.Left = L;
            Out.TopOrBottom = T;
            break;
        case 1:
            Out.Rotated = true;
            Out.Left = L + dh;
            Out.TopOrBottom = T - dw;
            Out.Angle = 90;
            break;
        case 2:
            Out.Rotated = true;
            Out.Left = L;
            Out.TopOrBottom = T;
            Out.Angle = -90;
            break;
        default:
            Out.Rotated = true;
            Out.Left = L + dw;
            Out.TopOrBottom = T;
            Out.Angle = 180;
            break;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Adding images

TPDFImageBase* TVelmoPDF::ImportImage(TStream& InStream, int32_t Options) {
    return FSelDoc->NewImageFromStream(InStream, Options, FSelDoc->FCompressImages);
}

int32_t TVelmoPDF::AddImage(TStream& InStream, int32_t Options) {
    TPDFImageBase* img = ImportImage(InStream, Options);
    if (img == nullptr) return 0;
    if (img->Contains16Bit() && FSelDoc->Version() < "1.5") FSelDoc->SetVersion("1.5");
    FSelImage = img;
    return ObjectToID(img, TVPLIDKind::idImage, FSelDoc);
}

int32_t TVelmoPDF::AddImageFromFile(const std::u16string& FileName, int32_t Options) {
    if (!FileExistsWide(FileName)) return 0;
    try {
        TVelmoPDFWideFileStream in(FileName, fmOpenReadShareDenyWrite);
        return AddImage(in, Options);
    } catch (...) {
        return 0;
    }
}

int32_t TVelmoPDF::AddImageFromStream(TStream& InStream, int32_t Options) {
    InStream.SetPosition(0);
    return AddImage(InStream, Options);
}

int32_t TVelmoPDF::AddImageFromString(const std::string& Source, int32_t Options) {
    TStringStream in(Source);
    return AddImageFromStream(in, Options);
}

int32_t TVelmoPDF::AddImageFromFileOffset(const std::u16string& FileName, int32_t Offset,
                                          int32_t DataLength, int32_t Options) {
    if (Offset < 0 || DataLength < 0) return 0;
    try {
        TVelmoPDFWideFileStream in(FileName, fmOpenReadShareDenyWrite);
        // A range past the end of the file cannot be read; it is refused
        // before anything of that size is allocated.
        const int64_t size = in.Size();
        if (int64_t(Offset) + DataLength > size) return 0;
        const int64_t n = DataLength;
        std::string data(static_cast<size_t>(n), '\0');
        in.SetPosition(Offset);
        in.ReadBuffer(data.data(), n);
        TStringStream part(std::move(data));
        return AddImage(part, Options);
    } catch (...) {
        return 0;
    }
}

int32_t TVelmoPDF::AddImageDirectFromString(const std::string& Source, int32_t Width,
                                            int32_t Height, int32_t BitsPerComponent,
                                            const std::u16string& ColorSpace,
                                            const std::u16string& Filter,
                                            const std::u16string& Decode, int32_t Interpolate) {
    TPDFImageBase* img = FSelDoc->NewImageDirectFromString(
        Source, Width, Height, BitsPerComponent, ColorSpace, Filter, Decode, Interpolate != 0);
    if (img == nullptr) return 0;
    FSelImage = img;
    return ObjectToID(img, TVPLIDKind::idImage, FSelDoc);
}

// ---------------------------------------------------------------------------
// Selecting and describing

int32_t TVelmoPDF::ImageCount() {
    FLastErrorCode = 0;
    return static_cast<int32_t>(FSelDoc->FImages.size());
}

int32_t TVelmoPDF::GetImageID(int32_t Index) {
    FLastErrorCode = 0;
    if (Index < 1 || Index > static_cast<int32_t>(FSelDoc->FImages.size())) return 0;
    auto* img =
        dynamic_cast<TPDFImageBase*>(FSelDoc->FImages[static_cast<size_t>(Index - 1)].get());
    return ObjectToID(img, TVPLIDKind::idImage, FSelDoc);
}

int32_t TVelmoPDF::SelectImage(int32_t ImageID) {
    TPDFImageBase* img = FindDocImage(ImageID);
    if (img == nullptr) return 0;
    FSelImage = img;
    return 1;
}

int32_t TVelmoPDF::SelectedImage() { return ObjectToID(FSelImage, TVPLIDKind::idImage, FSelDoc); }

int32_t TVelmoPDF::ImageWidth() {
    FLastErrorCode = 0;
    return FSelImage ? FSelImage->FWidth : 0;
}

int32_t TVelmoPDF::ImageHeight() {
    FLastErrorCode = 0;
    return FSelImage ? FSelImage->FHeight : 0;
}

int32_t TVelmoPDF::ImageType() {
    FLastErrorCode = 0;
    return FSelImage ? static_cast<int32_t>(FSelImage->FImageType) : 0;
}

int32_t TVelmoPDF::ImageFillColor() {
    FLastErrorCode = 0;
    return FSelImage ? static_cast<int32_t>(FSelImage->FFillColor) : 0;
}

int32_t TVelmoPDF::ImageHorizontalResolution() { return FSelImage ? FSelImage->FHDPI : 0; }

int32_t TVelmoPDF::ImageVerticalResolution() { return FSelImage ? FSelImage->FVDPI : 0; }

int32_t TVelmoPDF::ImageResolutionUnits() { return FSelImage ? FSelImage->FDPIUnits : 0; }

int32_t TVelmoPDF::SetImageResolution(int32_t Horizontal, int32_t Vertical, int32_t Units) {
    if (FSelImage == nullptr) return 0;
    FSelImage->FHDPI = Horizontal;
    FSelImage->FVDPI = Vertical;
    FSelImage->FDPIUnits = Units;
    return 1;
}

int32_t TVelmoPDF::GetImagePageCount(const std::u16string& FileName) {
    if (!FileExistsWide(FileName)) return 0;
    try {
        TVelmoPDFWideFileStream in(FileName, fmOpenReadShareDenyWrite);
        TPDFImage counter(FSelDoc->Structure(), std::string(), nullptr);
        return counter.CountImagePages(in);
    } catch (...) {
        return 0;
    }
}

int32_t TVelmoPDF::GetImagePageCountFromString(const std::string& Source) {
    TStringStream in(Source);
    TPDFImage counter(FSelDoc->Structure(), std::string(), nullptr);
    return counter.CountImagePages(in);
}

// ---------------------------------------------------------------------------
// Drawing

// The selected image entered in the selected page's resources and the
// page's content writer; nil when there is no image or no writer.
TPDFPainter* TVelmoPDF::PrepareImageDraw() {
    TPDFImage* img = SelImage();
    TPDFPainter* p = Painter();
    if (img == nullptr || p == nullptr) return nullptr;
    FSelDoc->PageTree()->UseImage(img);
    return p;
}

int32_t TVelmoPDF::DrawImage(double Left, double Top, double Width, double Height) {
    TPDFPainter* p = PrepareImageDraw();
    if (p == nullptr) return 0;
    p->DrawImage(SelImage(), XToPoints(Left), YToPoints(Top), UnitsToPoints(Width),
                 UnitsToPoints(Height));
    return 1;
}

int32_t TVelmoPDF::DrawScaledImage(double Left, double Top, double Scale) {
    TPDFPainter* p = PrepareImageDraw();
    if (p == nullptr) return 0;
    p->DrawImage(SelImage(), XToPoints(Left), YToPoints(Top), Scale * FSelImage->FWidth,
                 Scale * FSelImage->FHeight);
    return 1;
}

int32_t TVelmoPDF::DrawRotatedImage(double Left, double Bottom, double Width, double Height,
                                    double Angle) {
    TPDFPainter* p = PrepareImageDraw();
    if (p == nullptr) return 0;
    p->DrawRotatedImage(SelImage(), XToPoints(Left), YToPoints(Bottom), UnitsToPoints(Width),
                        UnitsToPoints(Height), Angle);
    return 1;
}

int32_t TVelmoPDF::DrawImageMatrix(double M11, double M12, double M21, double M22, double MDX,
                                   double MDY) {
    TPDFPainter* p = PrepareImageDraw();
    if (p == nullptr) return 0;
    p->DrawImageMatrix(SelImage(), M11, M12, M21, M22, MDX, MDY);
    return 1;
}

int32_t TVelmoPDF::FitImage(double Left, double Top, double Width, double Height, int32_t HAlign,
                            int32_t VAlign, int32_t Rotate) {
    if (FSelImage == nullptr) return 0;
    TVPLImagePlacement place;
    if (!FitImagePlacement(FSelImage->FWidth, FSelImage->FHeight, FSelImage->FHDPI,
                           FSelImage->FVDPI, XToPoints(Left), YToPoints(Top), UnitsToPoints(Width),
                           UnitsToPoints(Height), HAlign, VAlign, Rotate, place))
        return 0;
    TPDFPainter* p = PrepareImageDraw();
    if (p == nullptr) return 0;
    if (place.Rotated)
        p->DrawRotatedImage(SelImage(), place.Left, place.TopOrBottom, place.Width, place.Height,
                            place.Angle);
    else
        p->DrawImage(SelImage(), place.Left, place.TopOrBottom, place.Width, place.Height);
    return 1;
}

// ---------------------------------------------------------------------------
// Masks and decoding

int32_t TVelmoPDF::SetImageMask(double FromRed, double FromGreen, double FromBlue, double ToRed,
                                double ToGreen, double ToBlue) {
    TPDFImage* img = SelImage();
    if (img == nullptr) return 0;
    img->SetImageMask(FromRed, FromGreen, FromBlue, ToRed, ToGreen, ToBlue);
    return 1;
}

int32_t TVelmoPDF::SetImageMaskCMYK(double FromC, double FromM, double FromY, double FromK,
                                    double ToC, double ToM, double ToY, double ToK) {
    TPDFImage* img = SelImage();
    if (img == nullptr) return 0;
    img->SetImageMaskCMYK(FromC, FromM, FromY, FromK, ToC, ToM, ToY, ToK);
    return 1;
}

int32_t TVelmoPDF::SetImageAsMask(int32_t MaskType) {
    TPDFImage* img = SelImage();
    if (img == nullptr || (MaskType != 1 && MaskType != 2)) return 0;
    return img->SetImageAsMask(static_cast<TPDFImage::TPDFMaskType>(MaskType)) ? 1 : 0;
}

int32_t TVelmoPDF::SetImageMaskFromImage(int32_t ImageID) {
    TPDFImage* img = SelImage();
    auto* mask = dynamic_cast<TPDFImage*>(FindDocImage(ImageID));
    if (img == nullptr || mask == nullptr || mask->IndRef() == nullptr) return 0;
    return img->SetImageMaskFromImage(mask->IndRef()->ObjNum, mask->IndRef()->GenNum,
                                      mask->GetMaskType())
               ? 1
               : 0;
}

int32_t TVelmoPDF::ReverseImage(int32_t Reset) {
    TPDFImage* img = SelImage();
    if (img == nullptr) return 0;
    return img->Reverse(Reset == 1) ? 1 : 0;
}

// Optional content groups are not handed out by this library yet, so no ID
// names one.
int32_t TVelmoPDF::SetImageOptional(int32_t OptionalContentGroupID) { return 0; }

int32_t TVelmoPDF::ClearImage(int32_t ImageID) {
    auto* img = dynamic_cast<TPDFImage*>(FindDocImage(ImageID));
    if (img == nullptr) return 0;
    img->ClearImage();
    return 1;
}

int32_t TVelmoPDF::ReplaceImage(int32_t OriginalImageID, int32_t NewImageID) {
    TPDFImageBase* a = FindDocImage(OriginalImageID);
    TPDFImageBase* b = FindDocImage(NewImageID);
    if (a == nullptr || b == nullptr) return 0;
    return FSelDoc->PageTree()->ReplaceImage(a, b) ? 1 : 0;
}

int32_t TVelmoPDF::ReleaseImage(int32_t ImageID) {
    TPDFImageBase* img = FindDocImage(ImageID);
    if (img == nullptr) return 0;
    if (FSelImage == img) FSelImage = nullptr;
    ForgetObject(img);
    auto& list = FSelDoc->FImages;
    list.erase(
        std::remove_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == img; }),
        list.end());
    return 1;
}

int32_t TVelmoPDF::CompressImages(int32_t Compress) {
    if (Compress != 0 && Compress != 1) return 0;
    FSelDoc->FCompressImages = Compress;
    return 1;
}

// ---------------------------------------------------------------------------
// Image data

int32_t TVelmoPDF::SaveImageToFile(const std::u16string& FileName) {
    TPDFImage* img = SelImage();
    if (img == nullptr) return 0;
    try {
        return img->SaveToFile(FileName) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int32_t TVelmoPDF::SaveImageToStream(TStream& OutStream) {
    TPDFImage* img = SelImage();
    if (img == nullptr || img->ImageData().empty()) return 0;
    return img->SaveToStream(OutStream) ? 1 : 0;
}

std::string TVelmoPDF::SaveImageToString() {
    TPDFImage* img = SelImage();
    return img ? img->ImageData() : std::string();
}

// ---------------------------------------------------------------------------
// Images found in the document and on pages

int32_t TVelmoPDF::SetFindImagesMode(int32_t NewFindImagesMode) {
    if (NewFindImagesMode < 1 || NewFindImagesMode > 4) return 0;
    FFindImagesMode = NewFindImagesMode;
    return 1;
}

int32_t TVelmoPDF::FindImages() {
    switch (FFindImagesMode) {
        case 1:
            return FSelDoc->FindImagesMode1(false);
        case 2:
            return FSelDoc->FindImagesMode2(false);
        case 3:
            return FSelDoc->FindImagesMode1(true);
        case 4:
            return FSelDoc->FindImagesMode2(true);
        default:
            return 0;
    }
}

// Page image lists: the images a render of the selected page meets, with
// their data and where they land.

TPDFImageList* TVelmoPDF::FindImageList(int32_t ID) const {
    auto* List = static_cast<TPDFImageList*>(IDToObject(ID, TVPLIDKind::idImageList));
    if (List == nullptr || !FSelDoc->IsImageList(List)) return nullptr;
    return List;
}

int32_t TVelmoPDF::GetPageImageList(int32_t Options) {
    TPDFPageTree* Tree = FSelDoc->PageTree();
    if (Tree == nullptr) return 0;
    TPDFImageListBase* List = Tree->GetImageList();
    return List ? ObjectToID(List, TVPLIDKind::idImageList, FSelDoc) : 0;
}

int32_t TVelmoPDF::GetImageListCount(int32_t ImageListID) {
    TPDFImageList* List = FindImageList(ImageListID);
    return List ? List->ImageCount() : 0;
}

int32_t TVelmoPDF::GetImageListItemIntProperty(int32_t ImageListID, int32_t ImageIndex,
                                               int32_t PropertyID) {
    TPDFImageList* List = FindImageList(ImageListID);
    if (List == nullptr) return 0;
    // A new image object of the document over the item's stream; its ID.
    auto NewImage = [&]() -> int32_t {
        TPDFIndRef* Ref = List->ImageRef(ImageIndex);
        if (Ref == nullptr) return 0;
        auto* Stream = ObjAs<TPDFStream>(Ref->Obj());
        if (Stream == nullptr) return 0;
        const int32_t Before = FSelDoc->ImageCount();
        FSelDoc->AddImageFromStream(Stream, Ref->ObjNum, Ref->GenNum, false);
        if (FSelDoc->ImageCount() == Before) return 0;
        return ObjectToID(FSelDoc->Image(FSelDoc->ImageCount() - 1), TVPLIDKind::idImage, FSelDoc);
    };
    switch (PropertyID) {
        case 400:
            return int32_t(List->ImageType(ImageIndex)) & 0x7F;
        case 401:
            return List->ImagePixelWidth(ImageIndex);
        case 402:
            return List->ImagePixelHeight(ImageIndex);
        case 403:
            return List->ImageBitsPerPixel(ImageIndex);
        case 404:
            return List->ImageColorSpaceType(ImageIndex);
        case 405:
            return NewImage();
        case 406: {
            const int32_t Stored = List->ImageID(ImageIndex);
            // A stored ID stays valid only while its image lives.
            if (Stored != -1 && Stored != 0 && IDToObject(Stored, TVPLIDKind::idImage) != nullptr)
                return Stored;
            const int32_t ID = NewImage();
            if (ID != 0) List->SetImageID(ImageIndex, ID);
            return ID;
        }
        case 407: {
            TPDFIndRef* Ref = List->ImageRef(ImageIndex);
            return Ref ? Ref->ObjNum : 0;
        }
        default:
            return 0;
    }
}

double TVelmoPDF::GetImageListItemDblProperty(int32_t ImageListID, int32_t ImageIndex,
                                              int32_t PropertyID) {
    TPDFImageList* List = FindImageList(ImageListID);
    if (List == nullptr || PropertyID < 501 || PropertyID > 508) return 0;
    static constexpr TPDFImageListItemCorner Corners[4] = {icTopLeft, icTopRight, icBottomRight,
                                                          icBottomLeft};
    const TPDFImageListItemCorner Corner = Corners[(PropertyID - 501) / 2];
    const bool Horizontal = (PropertyID - 501) % 2 == 0;
    const double V = List->ImageCorner(ImageIndex, Corner, Horizontal) * FSelDoc->FScale;
    const int32_t Origin = FSelDoc->FOrigin;
    if (Horizontal) return (Origin == 2 || Origin == 3) ? PageWidth() - V : V;
    return (Origin == 1 || Origin == 2) ? PageHeight() - V : V;
}

std::string TVelmoPDF::GetImageListItemDataToString(int32_t ImageListID, int32_t ImageIndex,
                                                    int32_t Options) {
    TPDFImageList* List = FindImageList(ImageListID);
    return List ? List->ImageData(ImageIndex) : std::string();
}

int32_t TVelmoPDF::SaveImageListItemDataToFile(int32_t ImageListID, int32_t ImageIndex,
                                               int32_t Options,
                                               const std::u16string& ImageFileName) {
    const std::string Data = GetImageListItemDataToString(ImageListID, ImageIndex, Options);
    if (Data.empty()) return 0;
    try {
        auto File = CreateWideFileStream(ImageFileName, 0xFF00);
        File->WriteBuffer(Data.data(), int64_t(Data.size()));
    } catch (const std::exception&) {
        return 0;
    }
    return 1;
}

std::u16string TVelmoPDF::GetImageListItemFormatDesc(int32_t ImageListID, int32_t ImageIndex,
                                                     int32_t Options) {
    TPDFImageList* List = FindImageList(ImageListID);
    if (List == nullptr) return {};
    return AnsiBytesToWide(List->FormatDesc(ImageIndex, Options));
}

int32_t TVelmoPDF::ReleaseImageList(int32_t ImageListID) {
    TPDFImageList* List = FindImageList(ImageListID);
    if (List == nullptr) return 0;
    ForgetObject(List);
    return FSelDoc->ReleaseImageList(List) ? 1 : 0;
}

}  // namespace velmo
