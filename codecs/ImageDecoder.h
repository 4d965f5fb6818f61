// The image decoder: one PDF image (an image XObject or an inline image) to
// a platform bitmap with its mask, to native bytes for extraction, or to a
// component raster for the external renderer library.
//
// The filtered samples are unpacked into 1-bit grey or 24-bit blue-green-red
// rasters kept in memory; PNG is written only where bytes leave the decoder
// (NativeImageData). Every raster stays within TBitmap::MaxPixels; an image
// beyond it is a load failure.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "codecs/InlineImage.h"
#include "core/Objects.h"
#include "core/XForm.h"
#include "platform/files/Stream.h"
#include "platform/gdi/Bitmap.h"
#include "render/ColorManager.h"
#include "render/ImageList.h"
#include "render/Renderer.h"

namespace velmo {

class TPDFPicasso;
class TPDFLabColorSpace;
class TPDFSeparationColorSpace;
class TPDFDeviceNColorSpace;

enum TPDFImageDecodeMode : uint8_t { dmToBitmap, dmToNative, dmToKPLR };
enum TPDFMaskType : uint8_t { mtNone, mtStencil, mtExplicit, mtSoft, mtColorKey };

// The renderer keeps decoders of image XObjects in its image cache.
class TPDFImageDecoder : public TObject, public TPDFImageDecoderBase {
public:
    TPDFImageDecoder();
    ~TPDFImageDecoder() override;
    TPDFImageDecoder(const TPDFImageDecoder&) = delete;
    TPDFImageDecoder& operator=(const TPDFImageDecoder&) = delete;

    // Frees a private manager and uses the given one without owning it.
    void SetColorManager(TPDFColorManager* NewColorManager);
    TPDFColorManager* ColorManager() const { return FColorManager; }

    // Reads the image dictionary, the masks and the filters of Source and
    // decodes the image. Failures set LoadException.
    void LoadFromPDFStream(TPDFStream* Source);
    // The same for an inline image cut out of a content stream.
    void LoadFromInlineImage(const TPDFInlineImage& Img, TPDFStructure* ParentStructure);

    // Draws the unit square of the image through Mat; FillColor paints
    // stencil masks. Nothing is drawn without a valid image.
    void Draw(TPDFPicasso& Picasso, const TPDFXForm& Mat, TColor FillColor);

    // The bitmap as a BMP file; empty without a bitmap.
    std::string BitmapAsString() const;
    std::string ImageData() const { return BitmapAsString(); }
    // The encoded bytes for callers that store the image: the JPEG bytes of
    // a DCT image in native mode, else a PNG of the bitmap (with the mask as
    // alpha when there is one), else the BMP bytes.
    std::string NativeImageData();
    // The pixel at the centre of the dictionary's size; 0 without a bitmap.
    TColor GetCenterColor() const;
    TPDFObject* FindObject(TPDFIndRef* IndRef) const;

    // Key form (Options other than 1) or readable form (Options 1) of an
    // image dictionary; nil Source means the loaded stream's dictionary.
    std::string GetFormatDesc(TPDFDictionary* Source, int Options, bool Child);
    std::string ColorSpaceDesc(TPDFObject* O, int32_t& CompCount);
    std::string ColorSpaceDesc(TPDFObject* O) {
        int32_t N = 1;
        return ColorSpaceDesc(O, N);
    }

    // Bytes of every raster and encoded form the decoder keeps.
    int64_t ImageDataSize() const override;

    // Replaces the bitmap with one a codec stage produced.
    void SetBitmap(std::unique_ptr<TBitmap> Bitmap) { FBitmap = std::move(Bitmap); }
    // An 8-bit bitmap of palette indexes of an Indexed image with 8 bits per
    // component becomes a 24-bit bitmap of the image's size through the
    // lookup (indexes above hival take hival's colour; a negative hival or a
    // short lookup gives black). Other bitmaps are left. A failure sets
    // LoadException.
    void ExpandIndexedBitmap();

    // Edits a two-entry-palette PNG in place: "Reset" writes the saved
    // entries back, "Swap" exchanges the two entries, "SetTrans" paints the
    // non-black entry in Color and makes the black one transparent.
    void PatchPNGPalette(TMemoryStream& Stream, std::string_view Operation, TColor Color);

    // The colour-key range passed to the back end (both 0 unless the image
    // has a colour key on a supported space).
    void ColorKeyRange(TColor& Low, TColor& High);

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    const std::string& ColorSpace() const { return FColorSpace; }
    TBitmap* Bitmap() const { return FBitmap.get(); }
    TBitmap* MaskBitmap() const { return FMaskBitmap.get(); }
    TPDFMaskType MaskType() const { return FMaskType; }
    TPDFImageListItemType NativeType() const { return FNativeType; }
    int32_t BitsPerComponent() const { return FBitsPerComponent; }
    bool LoadException() const { return FLoadException; }
    bool DrawException() const { return FDrawException; }
    bool ValidImage() const { return FValidImage; }
    const std::string& Filter() const { return FFilter; }
    const std::string& Decode() const { return FDecode; }
    const std::string& DecodeParms() const { return FDecodeParms; }
    const std::string& IndexedBaseColorSpace() const { return FIndexedBaseColorSpace; }
    int32_t IndexedHival() const { return FIndexedHival; }
    const std::string& IndexedData() const { return FIndexedData; }
    const std::vector<double>& MaskColor() const { return FMaskColor; }
    const std::string& MaskDecode() const { return FMaskDecode; }
    // The last image filter met ("DCTDecode", ...) and its parameters as
    // key=value texts.
    const std::string& ImageFilter() const { return FImageFilter; }
    const std::vector<std::string>& ImageFilterParms() const { return FImageFilterParms; }
    // The data after the stream filters (emptied once made into a raster).
    const std::string& FilteredData() const { return FImageData; }
    const std::string& LoadError() const { return FLoadError; }

    bool FChildMask = false;
    TPDFImageDecodeMode FDecodeMode = dmToBitmap;
    bool FIsImageExtraction = false;
    // The device pixels the image covers where it is first drawn (0:
    // unknown). A plain JPEG far larger than that is decoded at the largest
    // of the codec's reduced scales that still covers it.
    double FHorizontalSize = 0;
    double FVerticalSize = 0;
    // False when the bitmap was decoded at a reduced scale too small to
    // cover Width x Height device pixels: such a draw needs a new decode.
    bool CoversDrawnSize(double Width, double Height) const;
    // The reduction (1, 2, 4 or 8) that still gives a Width x Height raster
    // a sample for every device pixel of the first draw.
    int32_t ReductionFor(int64_t Width, int64_t Height) const;
    bool FRenderToEPS = false;
    // Set by a stage that leaves C, M, Y, K bytes in a 32-bit bitmap; every
    // other 32-bit bitmap holds B, G, R, A.
    bool FCMYKBitmap = false;
    bool BitmapIsCMYK() const {
        return FCMYKBitmap && FBitmap && FBitmap->PixelFormat() == pf32bit;
    }
    bool FInterpolate = true;
    bool FIsInlineImage = false;
    TPDFFindObjectEvent FOnFindObject;
    TPDFCryptStreamEvent FOnDecrypt;
    TPDFCryptStreamEvent FOnEncrypt;
    int64_t TokPos = 0;
    TColor OldFillColor = 0;
    // One-entry cache of the last ICC profile (zlib bytes, object number),
    // passed in and out by the renderer.
    std::string LastFICCProfile;
    int32_t LastFICCProfileIndObj = 0;
    bool IgnoreICCProfiles = false;
    // Pixel cap of every raster this decoder makes (tests lower it).
    int64_t FMaxPixels = TBitmap::MaxPixels;

    // ---- Component-raster mode (built elsewhere) ----
    // The renderer library's back end of dmToKPLR mode (not owned).
    TPDFPicasso* KPLRPicasso = nullptr;
    // The image's and mask's rasters, palette and the state the finishing
    // step works on (codecs/ImageDecoderKPLR.h).
    std::shared_ptr<struct TKPLRImageState> FKPLR;
    // In dmToKPLR mode, after the stream filters: the filtered data becomes
    // the main raster (DCT data through the JPEG picture when DCT is true),
    // which is then finished with the mask already loaded.
    void BuildKPLRRaster(bool DCT);
    // The main raster, taken over by a parent decoder as its mask.
    std::unique_ptr<class TKPLImage> TakeKPLRMainImage();
    void SetKPLRMaskImage(std::unique_ptr<class TKPLImage> Mask);
    TKPLImage* KPLRMainImage() const;
    TKPLImage* KPLRMaskImage() const;
    // Bytes of both rasters.
    int64_t KPLRDataSize() const;
    // The dmToKPLR branch of Draw: the finished raster to the back end.
    void DrawKPLR(TPDFPicasso& Picasso, TColor FillColor);
    // ---- end of component-raster mode ----

private:
    void ReadImageDictionary(TPDFDictionary* D, const std::string& StoredData);
    void LoadMask(TPDFObject* Entry, bool Soft);
    std::string ReadColorSpace(TPDFObject* O);
    std::string ReadColorSpaceObject(TPDFObject* O, bool AsBase);
    void DecodeImageFilters(TPDFObject* FilterObj, TPDFObject* ParmsObj);
    void DecodeSamplesToBitmap();
    void DecodeDCT();
    // Fax, JBIG2 and JPEG 2000 data become plain samples of the image's colour
    // space in FImageData; false when the codec gave no image.
    bool DecodeCodecToSamples();
    bool DecodeJBIG2ToSamples();
    bool DecodeCCITTToSamples();
    bool DecodeJPXToSamples();
    void BuildIndexedPalette(std::array<uint8_t, 768>& Palette);
    void ConvertLabBitmap();
    void ConvertSeparationBitmap();
    void ApplyICCProfile();
    void MakeColorKeyMask();
    int32_t ComponentCount() const;
    bool FitsCap(int64_t W, int64_t H) const;
    void CMYKToBGR(const uint8_t* CMYK, uint8_t* BGR);
    void DeviceNToBGR(const uint8_t* Samples, int32_t N, uint8_t* BGR);
    // The image and its mask brought to one size for drawing or storing.
    bool FitImageAndMask(TBitmap& Image, TBitmap& Mask);
    std::unique_ptr<TBitmap> ComposeWithMask(bool ForDraw, TColor FillColor);
    TPDFObject* Resolve(TPDFObject* O) const;

    TPDFStream* FSource = nullptr;
    TPDFStructure* FParentStructure = nullptr;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    std::string FColorSpace;
    std::unique_ptr<TBitmap> FBitmap;
    std::string FFilter;
    int32_t FBitsPerComponent = 0;
    std::string FIndexedBaseColorSpace;
    int32_t FIndexedBaseComponents = 0;
    std::string FIndexedData;
    int32_t FIndexedHival = -1;
    std::string FImageData;
    std::string FDecodeParms;
    std::string FDecode;
    bool FValidImage = false;
    // The reduction of a JPEG decoded below its size (1 = full size).
    int32_t FReduction = 1;
    std::unique_ptr<TBitmap> FMaskBitmap;
    std::string FMaskDecode;
    std::vector<double> FMaskColor;
    std::string FMaskFormatDesc0;
    std::string FMaskFormatDesc1;
    std::unique_ptr<TPDFColorManager> FPrivateColorManager;
    TPDFColorManager* FColorManager = nullptr;
    TPDFMaskType FMaskType = mtNone;
    TPDFImageListItemType FNativeType = nitUnknown;
    std::unique_ptr<TMemoryStream> FImageStream;
    std::string FICCProfile;
    std::unique_ptr<TPDFLabColorSpace> FLabColorSpace;
    std::unique_ptr<TPDFSeparationColorSpace> FSeparationColorSpace;
    std::unique_ptr<TPDFDeviceNColorSpace> FDeviceNColorSpace;
    std::array<uint8_t, 6> FOriginalPNGPalette{};
    bool FLoadException = false;
    bool FDrawException = false;
    std::string FLoadError;
    std::string FImageFilter;
    std::vector<std::string> FImageFilterParms;
    TPDFIndRef* FJBIG2Globals = nullptr;
    // A private store for inline images' parsed entries.
    std::unique_ptr<TPDFStructure> FInlineStore;
    // Exact colour memo of CMYK and DeviceN samples (packed sample bytes).
    std::unordered_map<uint64_t, uint32_t> FColorMemo;
    std::unordered_map<std::string, TColor> FDeviceNMemo;
};

// Lets the renderer draw image XObjects through this decoder (once, at
// start-up).
void InstallImageDrawer();
// Lets the Type 3 rasterizer read and draw the inline images of glyph
// procedures through this decoder (once, at start-up).
void InstallType3InlineImageParser();

}  // namespace velmo
