#include "render/ImageList.h"

#include <cmath>

namespace velmo {

void TPDFImageList::AddImage(const TPDFImageListItem& Item) {
    FImages.push_back(Item);
    FImages.back().ImageID = -1;
}

const TPDFImageListItem* TPDFImageList::Item(int32_t ImageIndex) const {
    if (ImageIndex < 1 || ImageIndex > ImageCount()) return nullptr;
    return &FImages[size_t(ImageIndex - 1)];
}

TPDFImageListItemType TPDFImageList::ImageType(int32_t ImageIndex) const {
    const TPDFImageListItem* I = Item(ImageIndex);
    return I ? I->ImageType : nitUnknown;
}

int32_t TPDFImageList::ImagePixelWidth(int32_t ImageIndex) const {
    const TPDFImageListItem* I = Item(ImageIndex);
    return I ? I->PixelWidth : 0;
}

int32_t TPDFImageList::ImagePixelHeight(int32_t ImageIndex) const {
    const TPDFImageListItem* I = Item(ImageIndex);
    return I ? I->PixelHeight : 0;
}

int32_t TPDFImageList::ImageBitsPerPixel(int32_t ImageIndex) const {
    const TPDFImageListItem* I = Item(ImageIndex);
    return I ? I->BitsPerPixel : 0;
}

int32_t TPDFImageList::ImageColorSpaceType(int32_t ImageIndex) const {
    const TPDFImageListItem* I = Item(ImageIndex);
    return I ? I->ColorSpaceType : 0;
}

int32_t TPDFImageList::ImageID(int32_t ImageIndex) const {
    const TPDFImageListItem* I = Item(ImageIndex);
    return I ? I->ImageID : 0;
}

TPDFIndRef* TPDFImageList::ImageRef(int32_t ImageIndex) const {
    const TPDFImageListItem* I = Item(ImageIndex);
    return I ? I->ImageRef : nullptr;
}

void TPDFImageList::SetImageID(int32_t ImageIndex, int32_t ImageID) {
    if (ImageIndex < 1 || ImageIndex > ImageCount()) return;
    FImages[size_t(ImageIndex - 1)].ImageID = ImageID;
}

double TPDFImageList::ImageCorner(int32_t ImageIndex, TPDFImageListItemCorner Corner,
                                  bool Horizontal) const {
    const TPDFImageListItem* I = Item(ImageIndex);
    if (!I || Corner > icBottomRight) return 0;
    const TPDFImageListPoint& P = I->Corners[Corner];
    return Horizontal ? P.X : P.Y;
}

std::string TPDFImageList::FormatDesc(int32_t ImageIndex, int32_t Options) const {
    const TPDFImageListItem* I = Item(ImageIndex);
    if (!I) return std::string();
    return Options == 1 ? I->FormatDesc1 : I->FormatDesc0;
}

namespace {

// Pixels per metre of Pixels samples shown over Length points; 0 when the
// figure is not a usable 32-bit value.
int64_t PixelsPerMetre(int32_t Pixels, double Length) {
    if (!(Length > 0)) return 0;
    // Ties go to the even neighbour (the default rounding mode).
    const double V = std::nearbyint(Pixels / (Length / 72) * 1000 / 25.4);
    if (!std::isfinite(V) || V < INT32_MIN || V > INT32_MAX) return 0;
    return int64_t(V);
}

void PutLE32(std::string& S, size_t At, int64_t V) {
    const uint32_t U = uint32_t(int32_t(V));
    for (int K = 0; K < 4; ++K) S[At + size_t(K)] = char((U >> (8 * K)) & 0xFF);
}

}  // namespace

std::string TPDFImageList::ImageData(int32_t ImageIndex) const {
    const TPDFImageListItem* I = Item(ImageIndex);
    if (!I) return std::string();
    std::string Data = I->ImageData;
    if (I->ImageType != nitBMP || Data.size() < 2 || Data[0] != 'B' || Data[1] != 'M') return Data;
    const TPDFImageListPoint& TL = I->Corners[icTopLeft];
    const TPDFImageListPoint& TR = I->Corners[icTopRight];
    const TPDFImageListPoint& BL = I->Corners[icBottomLeft];
    const double W = std::hypot(TR.X - TL.X, TR.Y - TL.Y);
    const double H = std::hypot(BL.X - TL.X, BL.Y - TL.Y);
    const int64_t X = PixelsPerMetre(I->PixelWidth, W);
    const int64_t Y = PixelsPerMetre(I->PixelHeight, H);
    // The header's pixels-per-metre fields sit at 38 and 42.
    if (X != 0 && Y != 0 && Data.size() >= 46) {
        PutLE32(Data, 38, X);
        PutLE32(Data, 42, Y);
    }
    return Data;
}

}  // namespace velmo
