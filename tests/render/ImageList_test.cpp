// The page image list: 1-based access with neutral values outside the list,
// caller identifiers, and BMP data carrying the resolution the image is
// shown at.
#include "render/ImageList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/Structure.h"

using namespace velmo;

namespace {

// A BMP file header and info header (54 bytes) with zero resolution fields.
std::string BmpHeader() {
    std::string B(54, '\0');
    B[0] = 'B';
    B[1] = 'M';
    return B;
}

uint32_t LE32(const std::string& S, size_t At) {
    return uint32_t(uint8_t(S[At])) | uint32_t(uint8_t(S[At + 1])) << 8 |
           uint32_t(uint8_t(S[At + 2])) << 16 | uint32_t(uint8_t(S[At + 3])) << 24;
}

TPDFImageListItem Shown(TPDFImageListItemType Type, int32_t W, int32_t H, double Left,
                        double Bottom, double Width, double Height, std::string Data) {
    TPDFImageListItem I;
    I.ImageType = Type;
    I.PixelWidth = W;
    I.PixelHeight = H;
    I.ImageData = std::move(Data);
    I.Corners[icTopLeft] = {Left, Bottom + Height};
    I.Corners[icTopRight] = {Left + Width, Bottom + Height};
    I.Corners[icBottomLeft] = {Left, Bottom};
    I.Corners[icBottomRight] = {Left + Width, Bottom};
    return I;
}

}  // namespace

TEST(ImageList, ResolutionOfBmpData) {
    struct TCase {
        const char* Name;
        int32_t W, H;
        double Width, Height;  // shown size in points
        uint32_t X, Y;         // pixels per metre written, 0 0 when unchanged
    };
    const TCase Cases[] = {
        {"300 pixels over 72 points is 300 dpi", 300, 300, 72, 72, 11811, 11811},
        {"72 dpi across, 144 dpi down", 72, 288, 72, 144, 2835, 5669},
        {"no width: unchanged", 300, 300, 0, 72, 0, 0},
        {"no height: unchanged", 300, 300, 72, 0, 0, 0},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TPDFImageList L;
        L.AddImage(Shown(nitBMP, C.W, C.H, 10, 20, C.Width, C.Height, BmpHeader()));
        const std::string D = L.ImageData(1);
        ASSERT_EQ(D.size(), 54u);
        EXPECT_EQ(LE32(D, 38), C.X);
        EXPECT_EQ(LE32(D, 42), C.Y);
    }

    // A rotated image: distances, not extents, count.
    TPDFImageList L;
    TPDFImageListItem I = Shown(nitBMP, 300, 300, 0, 0, 72, 72, BmpHeader());
    I.Corners[icTopLeft] = {0, 0};
    I.Corners[icTopRight] = {0, 72};
    I.Corners[icBottomLeft] = {72, 0};
    L.AddImage(I);
    EXPECT_EQ(LE32(L.ImageData(1), 38), 11811u);
}

TEST(ImageList, DataOtherThanBmpComesBackAsStored) {
    const std::string Jpeg("\xFF\xD8\xFF\xE0" + std::string(60, 'j'), 64);
    const std::string NotBmp = "BX" + std::string(60, '\0');
    const std::string ShortBmp = "BM" + std::string(20, '\0');
    TPDFImageList L;
    L.AddImage(Shown(nitJPEG, 300, 300, 0, 0, 72, 72, Jpeg));
    L.AddImage(Shown(nitBMP, 300, 300, 0, 0, 72, 72, NotBmp));
    L.AddImage(Shown(nitBMP, 300, 300, 0, 0, 72, 72, ShortBmp));
    L.AddImage(Shown(nitPNG, 300, 300, 0, 0, 72, 72, BmpHeader()));  // not marked BMP
    EXPECT_EQ(L.ImageData(1), Jpeg);
    EXPECT_EQ(L.ImageData(2), NotBmp);
    EXPECT_EQ(L.ImageData(3), ShortBmp);
    EXPECT_EQ(L.ImageData(4), BmpHeader());
}

TEST(ImageList, IndexesAreOneBasedWithNeutralValuesOutside) {
    TPDFImageList L;
    TPDFStructure S;
    TPDFIndRef Ref(&S);
    TPDFImageListItem I = Shown(nitJPEG, 4, 3, 1, 2, 8, 6, "data");
    I.BitsPerPixel = 24;
    I.ColorSpaceType = 2;
    I.ImageRef = &Ref;
    I.ImageID = 77;  // replaced on adding
    I.FormatDesc0 = "key";
    I.FormatDesc1 = "readable";
    L.AddImage(I);
    ASSERT_EQ(L.ImageCount(), 1);
    EXPECT_EQ(L.ImageID(1), -1);
    EXPECT_EQ(L.ImageType(1), nitJPEG);
    EXPECT_EQ(L.ImagePixelWidth(1), 4);
    EXPECT_EQ(L.ImagePixelHeight(1), 3);
    EXPECT_EQ(L.ImageBitsPerPixel(1), 24);
    EXPECT_EQ(L.ImageColorSpaceType(1), 2);
    EXPECT_EQ(L.ImageRef(1), &Ref);
    EXPECT_EQ(L.FormatDesc(1, 1), "readable");
    EXPECT_EQ(L.FormatDesc(1, 0), "key");
    EXPECT_EQ(L.FormatDesc(1, 2), "key");
    EXPECT_DOUBLE_EQ(L.ImageCorner(1, icTopLeft, true), 1);
    EXPECT_DOUBLE_EQ(L.ImageCorner(1, icTopLeft, false), 8);
    EXPECT_DOUBLE_EQ(L.ImageCorner(1, icBottomRight, true), 9);
    EXPECT_DOUBLE_EQ(L.ImageCorner(1, icBottomRight, false), 2);
    L.SetImageID(1, 5);
    EXPECT_EQ(L.ImageID(1), 5);

    for (int32_t Bad : {0, 2, -1}) {
        SCOPED_TRACE(Bad);
        EXPECT_EQ(L.ImageData(Bad), "");
        EXPECT_EQ(L.ImageType(Bad), nitUnknown);
        EXPECT_EQ(L.ImagePixelWidth(Bad), 0);
        EXPECT_EQ(L.ImagePixelHeight(Bad), 0);
        EXPECT_EQ(L.ImageBitsPerPixel(Bad), 0);
        EXPECT_EQ(L.ImageColorSpaceType(Bad), 0);
        EXPECT_EQ(L.ImageID(Bad), 0);
        EXPECT_EQ(L.ImageRef(Bad), nullptr);
        EXPECT_EQ(L.FormatDesc(Bad, 1), "");
        EXPECT_EQ(L.ImageCorner(Bad, icTopRight, true), 0);
        L.SetImageID(Bad, 9);
    }
    EXPECT_EQ(L.ImageID(1), 5);
}
