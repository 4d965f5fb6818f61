// The images of one page as an image-list render meets them: for each image
// its kind of data, pixel size, colour model, data and the device corners
// where it lands. The renderer's image drawer fills the list; callers read
// it afterwards by a 1-based index.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Objects.h"
#include "document/PageServices.h"

namespace velmo {

// Kind of bytes an image item carries.
enum TPDFImageListItemType : uint8_t { nitUnknown, nitJPEG, nitBMP, nitTIFF, nitPNG };

enum TPDFImageListItemCorner : uint8_t { icTopLeft, icTopRight, icBottomLeft, icBottomRight };

struct TPDFImageListPoint {
    double X = 0, Y = 0;
};

struct TPDFImageListItem {
    TPDFImageListItemType ImageType = nitUnknown;
    int32_t PixelWidth = 0, PixelHeight = 0;
    int32_t BitsPerPixel = 0;                     // bits per component times components
    int32_t ColorSpaceType = 0;                   // 1 grey or stencil, 2 RGB, 3 CMYK
    std::string ImageData;                        // JPEG, TIFF or PNG as stored, or a BMP file
    std::array<TPDFImageListPoint, 4> Corners{};  // by TPDFImageListItemCorner
    TPDFIndRef* ImageRef = nullptr;               // nil for inline images; not owned
    int32_t ImageID = -1;
    std::string FormatDesc0, FormatDesc1;
};

class TPDFImageList : public TPDFImageListBase {
public:
    // Appends a copy of Item; its ImageID starts at -1.
    void AddImage(const TPDFImageListItem& Item);
    int32_t ImageCount() const { return int32_t(FImages.size()); }

    // Indexes are 1-based; outside 1 .. ImageCount the getters give 0, an
    // empty string or nil and SetImageID does nothing.
    TPDFImageListItemType ImageType(int32_t ImageIndex) const;
    int32_t ImagePixelWidth(int32_t ImageIndex) const;
    int32_t ImagePixelHeight(int32_t ImageIndex) const;
    int32_t ImageBitsPerPixel(int32_t ImageIndex) const;
    int32_t ImageColorSpaceType(int32_t ImageIndex) const;
    int32_t ImageID(int32_t ImageIndex) const;
    TPDFIndRef* ImageRef(int32_t ImageIndex) const;
    void SetImageID(int32_t ImageIndex, int32_t ImageID);
    // The corner's X when Horizontal, else its Y.
    double ImageCorner(int32_t ImageIndex, TPDFImageListItemCorner Corner, bool Horizontal) const;
    // FormatDesc1 for Options 1, else FormatDesc0.
    std::string FormatDesc(int32_t ImageIndex, int32_t Options) const;
    // A copy of the item's data; a BMP copy carries the resolution the image
    // is shown at (pixels per metre from its pixel size and the corners'
    // distances taken as points). The stored item is not changed.
    std::string ImageData(int32_t ImageIndex) const;

private:
    const TPDFImageListItem* Item(int32_t ImageIndex) const;
    std::vector<TPDFImageListItem> FImages;
};

}  // namespace velmo
