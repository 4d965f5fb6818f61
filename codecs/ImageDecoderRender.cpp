// The image branch of the renderer's Do: image XObjects are decoded once per
// document object and kept in the renderer's image cache, then drawn on the
// device canvas through the current device matrix. Inline images are read
// from the content, decoded and drawn the same way. An image-list render
// lists the images instead of drawing them; text extraction skips them.
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "codecs/ImageDecoder.h"
#include "core/Parser.h"
#include "fonts/Type3Rasterizer.h"
#include "render/ImageList.h"
#include "render/Picasso.h"

namespace velmo {

namespace {

// The mode images are decoded in for the renderer's destination: an image
// list keeps images in their stored encoding where it can.
TPDFImageDecodeMode ModeFor(const TPDFRenderer& R) {
    return R.FDestination == rdImageList ? dmToNative : dmToBitmap;
}

void Prepare(TPDFImageDecoder& Dec, TPDFRenderer& R, const TPDFFindObjectEvent& Find) {
    Dec.SetColorManager(R.ColorManager());
    Dec.FOnFindObject = Find;
    Dec.FDecodeMode = ModeFor(R);
    Dec.FIsImageExtraction = R.FDestination == rdImageList;
    Dec.FRenderToEPS = R.FDestination == rdEPS;
}

// The image into the EPS writer, painted in the unit square of the writer's
// current transformation. The mask handed on is white where the image
// shows; a stencil goes as the image itself.
void WriteEPSImage(TPDFRenderer& R, TPDFImageDecoder& Dec, const std::string& Name, bool Reusable) {
    TPDFEPSExport* EPS = R.EPS();
    TBitmap* BM = Dec.Bitmap();
    if (!EPS || !Dec.ValidImage() || !BM || BM->Empty()) return;
    const bool Stencil = Dec.MaskType() == mtStencil;
    TBitmap Mask;
    const TBitmap* MaskArg = nullptr;
    if (!Stencil && Dec.MaskBitmap() && !Dec.MaskBitmap()->Empty()) {
        Mask.Assign(*Dec.MaskBitmap());
        Mask.SetPixelFormat(pf24bit);
        if (Dec.MaskDecode().rfind("[ 1 0", 0) == 0)
            for (int Y = 0; Y < Mask.Height(); ++Y) {
                uint8_t* Row = Mask.ScanLine(Y);
                for (size_t I = 0; I < size_t(Mask.Width()) * 3; ++I) Row[I] = uint8_t(255 - Row[I]);
            }
        MaskArg = &Mask;
    }
    // A stencil paints in the fill colour of where it is drawn.
    if (Stencil) EPS->PSSetColor(R.FImageFillColorEPS);
    EPS->PSImageFromBitmap(*BM, MaskArg, Name, Stencil, Dec.BitmapIsCMYK(), Reusable);
}

// The EPS name of an image object: its reference with dots for spaces.
std::string EPSName(const TPDFIndRef* Ref) {
    return std::to_string(Ref->ObjNum) + "." + std::to_string(Ref->GenNum) + ".R";
}

// The image as an item of the renderer's image list: its stored bytes where
// the colour model is grey, RGB (or for inline images CMYK) or a stencil, a
// BMP of the converted pixels for every other space.
void ListImage(TPDFRenderer& R, TPDFImageDecoder& Dec, const TPDFXForm& Mat, TPDFIndRef* Ref,
               bool Inline) {
    auto* List = dynamic_cast<TPDFImageList*>(R.FImageList);
    if (!List) return;
    TPDFImageListItem Item;
    const TPDFImageListItemType Native = Dec.NativeType();
    Item.ImageType = Native == nitTIFF || Native == nitJPEG || Native == nitPNG ? Native : nitBMP;
    Item.PixelWidth = Dec.Width();
    Item.PixelHeight = Dec.Height();
    const int32_t Bpc = Dec.BitsPerComponent();
    const std::string& Space = Dec.ColorSpace();
    const bool Masked = Dec.MaskType() != mtNone;
    bool AsBitmap = false;
    if (Space == "DeviceGray") {
        Item.ColorSpaceType = 1;
        Item.BitsPerPixel = Bpc;
    } else if (Space == "DeviceRGB" || (!Inline && Space == "Indexed" && Masked)) {
        Item.ColorSpaceType = 2;
        Item.BitsPerPixel = 3 * Bpc;
    } else if (Inline && Space == "DeviceCMYK") {
        Item.ColorSpaceType = 3;
        Item.BitsPerPixel = 4 * Bpc;
    } else if (Space.empty() && Bpc == 1) {
        Item.ColorSpaceType = 1;
        Item.BitsPerPixel = Bpc;
    } else {
        Item.ColorSpaceType = 2;
        Item.BitsPerPixel = 3 * Bpc;
        AsBitmap = true;
    }
    if (AsBitmap) {
        Item.ImageType = nitBMP;
        Item.ImageData = Dec.BitmapAsString();
    } else {
        Item.ImageData = Dec.NativeImageData();
    }
    TPDFDoublePoint P;
    const std::array<TPDFDoublePoint, 4> Unit = {TPDFDoublePoint{0, 1}, TPDFDoublePoint{1, 1},
                                                 TPDFDoublePoint{0, 0}, TPDFDoublePoint{1, 0}};
    for (size_t K = 0; K < Unit.size(); ++K) {
        TransformPoint(Mat, Unit[K], P);
        Item.Corners[K] = {P.X, P.Y};
    }
    if (!Inline) {
        Item.ImageRef = Ref;
        Item.FormatDesc0 = Dec.GetFormatDesc(nullptr, 0, false);
        Item.FormatDesc1 = Dec.GetFormatDesc(nullptr, 1, false);
    }
    List->AddImage(Item);
}

// An inline image of a Type 3 glyph procedure, decoded once and drawn on
// the device canvas whenever the glyph is.
class TGlyphInlineImage : public TPDFType3InlineImage {
public:
    explicit TGlyphInlineImage(const TPDFInlineImage& Img) {
        FDecoder.LoadFromInlineImage(Img, nullptr);
    }
    void Draw(TPDFGenericCanvas* Canvas, const TPDFXForm& Mat, TColor FillColor) override {
        // Only the device canvas draws rasters; an image that failed to
        // load draws nothing.
        if (auto* Picasso = dynamic_cast<TPDFPicasso*>(Canvas))
            FDecoder.Draw(*Picasso, Mat, FillColor);
    }

private:
    TPDFImageDecoder FDecoder;
};

}  // namespace

void InstallType3InlineImageParser() {
    Type3InlineImageParser() = [](std::string_view Text,
                                  size_t& Pos) -> std::unique_ptr<TPDFType3InlineImage> {
        TPDFInlineImage Img;
        int64_t P = int64_t(Pos) + 1;
        // A glyph procedure has no resources of its own to look names up in.
        if (!ParseInlineImage(Text, P, Img, nullptr, nullptr)) return nullptr;
        if (P - 1 <= int64_t(Pos) || P - 1 > int64_t(Text.size())) return nullptr;
        size_t End = size_t(P - 1);
        // The reader may stop at the E of EI: the procedure goes on after it.
        if (Text.substr(End, 2) == "EI" &&
            (End + 2 == Text.size() || IsPDFWhitespace(Text[End + 2]) ||
             IsPDFDelimiter(Text[End + 2])))
            End += 2;
        Pos = End;
        return std::make_unique<TGlyphInlineImage>(Img);
    };
}

void InstallImageDrawer() {
    ImageXObjectDrawer() = [](TPDFRenderer& R, TPDFStream* Image, TPDFIndRef* Ref,
                              TPDFPicasso* Picasso, const TPDFXForm& Mat, TColor FillColor) {
        // Text extraction never decodes images.
        if (!Image || !Picasso || R.FDestination == rdTextFunnel) return;
        const bool Listing = R.FDestination == rdImageList;
        const bool EPS = R.FDestination == rdEPS;
        // An image object the EPS document holds already is painted again.
        if (EPS && Ref && R.EPS() && R.EPS()->HasImage(EPSName(Ref))) {
            if (R.EPS()->IsStencilImage(EPSName(Ref))) R.EPS()->PSSetColor(R.FImageFillColorEPS);
            R.EPS()->PSRepaintImage(EPSName(Ref));
            return;
        }
        const TPDFStructure* Owner = Image->Owner();
        const TPDFImageDecodeMode Mode = ModeFor(R);
        // The device pixels the image's sides cover here.
        TPDFDoublePoint UL, UR, LL;
        TransformPoint(Mat, {0, 1}, UL);
        TransformPoint(Mat, {1, 1}, UR);
        TransformPoint(Mat, {0, 0}, LL);
        double DrawnW = std::hypot(UR.X - UL.X, UR.Y - UL.Y);
        double DrawnH = std::hypot(LL.X - UL.X, LL.Y - UL.Y);
        // EPS has no device: the image is written at its own size.
        if (!std::isfinite(DrawnW) || !std::isfinite(DrawnH) || EPS) DrawnW = DrawnH = 0;
        if (Ref) {
            if (auto* Cached = dynamic_cast<TPDFImageDecoder*>(
                    R.FindCachedImage(Owner, Ref->ObjNum, Ref->GenNum, Mode))) {
                if (Listing) {
                    ListImage(R, *Cached, Mat, Ref, false);
                    return;
                }
                if (EPS && Cached->CoversDrawnSize(1e9, 1e9)) {
                    WriteEPSImage(R, *Cached, EPSName(Ref), true);
                    return;
                }
                if (Cached->CoversDrawnSize(DrawnW, DrawnH)) {
                    Cached->Draw(*Picasso, Mat, FillColor);
                    return;
                }
                // Decoded smaller than this draw needs: decoded again below.
                auto& Col = R.ImageCollection();
                Col.erase(std::remove_if(
                              Col.begin(), Col.end(),
                              [Cached](const TPDFDecodedImage& E) { return E.ID.get() == Cached; }),
                          Col.end());
            }
        }
        auto Dec = std::make_unique<TPDFImageDecoder>();
        Prepare(*Dec, R, [&R](TPDFIndRef* X) { return R.FindObject(X); });
        if (!Listing) {
            Dec->FHorizontalSize = DrawnW;
            Dec->FVerticalSize = DrawnH;
        }
        Dec->LoadFromPDFStream(Image);
        // A failed load is not kept: the next Do of the object tries again.
        if (Dec->LoadException()) return;
        if (Listing)
            ListImage(R, *Dec, Mat, Ref, false);
        else if (EPS)
            WriteEPSImage(R, *Dec, Ref ? EPSName(Ref) : std::string("Image"), Ref != nullptr);
        else
            Dec->Draw(*Picasso, Mat, FillColor);
        if (!Ref) return;
        TPDFDecodedImage Entry;
        Entry.Structure = Owner;
        Entry.Hash = int64_t(uint64_t(uint32_t(Ref->ObjNum)) << 32) + Ref->GenNum;
        Entry.DecodeMode = Mode;
        Entry.ID = std::move(Dec);
        // The bound is checked before an image joins: a full cache (more
        // than 100 images or 100 MB) is emptied, then the new one kept.
        R.TrimImageCache();
        R.ImageCollection().push_back(std::move(Entry));
    };
    InlineImageDrawer() = [](TPDFRenderer& R, std::string_view Content, size_t& Pos,
                             TPDFDictionary* Resources, TPDFPicasso* Picasso, const TPDFXForm& Mat,
                             TColor FillColor) {
        TPDFInlineImage Img;
        const size_t Start = Pos;
        int64_t P = int64_t(Pos) + 1;
        const TPDFFindObjectEvent Find = [&R](TPDFIndRef* X) { return R.FindObject(X); };
        if (!ParseInlineImage(Content, P, Img, Find, Resources)) return false;
        Pos = size_t(std::clamp<int64_t>(P - 1, int64_t(Pos), int64_t(Content.size())));
        if (!Picasso || R.FDestination == rdTextFunnel) return true;
        TPDFImageDecoder Dec;
        Prepare(Dec, R, Find);
        Dec.LoadFromInlineImage(Img, nullptr);
        if (Dec.LoadException()) return true;
        if (R.FDestination == rdImageList)
            ListImage(R, Dec, Mat, nullptr, true);
        else if (R.FDestination == rdEPS)
            // Scan positions repeat across nested contents: an inline image
            // is written whole wherever it is drawn.
            WriteEPSImage(R, Dec, "Inline" + std::to_string(Start), false);
        else
            Dec.Draw(*Picasso, Mat, FillColor);
        return true;
    };
}

}  // namespace velmo
