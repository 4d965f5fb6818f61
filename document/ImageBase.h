// What the document and its page tree need of an image resource. The image
// objects themselves are built by the content writer's TPDFImage, which
// derives from this class and installs its factory here; the document names
// each image, hands it the file and keeps it, and the page tree registers its
// object (and what the image collected) in page resources.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Objects.h"
#include "core/Structure.h"
#include "platform/files/Stream.h"

namespace velmo {

enum TPDFImageType : uint8_t {
    itUnknown,
    itJPEG,
    itBMP,
    itTIFF,
    itPNG,
    itWMF,
    itEMF,
    itGIF
};

class TPDFImageBase : public TObject {
public:
    TPDFImageBase(TPDFStructure* AStructure, std::string AName,
                  std::vector<TObject*>* AIncludedFonts)
        : FStructure(AStructure), FName(std::move(AName)), FIncludedFonts(AIncludedFonts) {}
    ~TPDFImageBase() override = default;
    TPDFImageBase(const TPDFImageBase&) = delete;
    TPDFImageBase& operator=(const TPDFImageBase&) = delete;

    // ---- Fields ----
    std::string FImageData;  // the source bytes, kept only when FNeedData
    TPDFStructure* FStructure;
    std::string FName;
    TPDFIndRef* FIndRef = nullptr;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    TPDFDictionary* FImageDictionary = nullptr;
    TPDFDictionary* FPageDict = nullptr;
    TPDFImageType FImageType = itUnknown;
    int32_t FCompress = 0;
    bool FCompressFonts = false;
    int32_t FEMFImageType = 0;
    bool FRecompressImage = false;
    bool FNeedData = false;
    int32_t FHDPI = 0;
    int32_t FVDPI = 0;
    int32_t FDPIUnits = 0;  // 0 unknown, 1 aspect ratio only, 2 per inch, 3 per cm
    uint32_t FFillColor = 0xFFFFFF;
    std::vector<TObject*>* FIncludedFonts;  // the document's, not owned
    std::vector<std::unique_ptr<TObject>> FIncludedBitmaps;
    std::vector<std::unique_ptr<TObject>> FIncludedGS;
    std::vector<std::unique_ptr<TObject>> FIncludedPatterns;
    bool FContains16Bit = false;
    std::string FColorSpace;
    std::string FNoEmbedFontList;
    bool FForceInline = false;

    // ---- Properties ----
    const std::string& Name() const { return FName; }
    TPDFIndRef* IndRef() const { return FIndRef; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    TPDFImageType ImageType() const { return FImageType; }
    void SetImageType(TPDFImageType Value) { FImageType = Value; }
    bool Contains16Bit() const { return FContains16Bit; }
    void SetName(std::string_view NewName) { FName.assign(NewName); }

    // ---- Building (the content writer's image implements these) ----
    // Recognises the image file in InStream and builds its object; True when
    // an object was built.
    virtual bool NewImageFromStream(TStream& InStream, int32_t Options) = 0;
    // An image object from raw sample data and the given dictionary values.
    virtual bool NewImageDirectFromString(const std::string& Source, int32_t Width,
                                          int32_t Height, int32_t BitsPerComponent,
                                          const std::u16string& ColorSpace,
                                          const std::u16string& Filter,
                                          const std::u16string& Decode, bool Interpolate) = 0;
    // Binds the image to an image object that already exists.
    virtual void Populate(int32_t ObjNum, int32_t GenNum, int32_t ImWidth, int32_t ImHeight) = 0;
};

// Installed once by the content writer's library; without it the document
// makes no images.
using TPDFImageFactory = std::function<std::unique_ptr<TPDFImageBase>(
    TPDFStructure* AStructure, std::string AName, std::vector<TObject*>* AIncludedFonts)>;
TPDFImageFactory& ImageFactory();

}  // namespace velmo
