// One image resource of a document: recognises an image file by its first
// bytes and builds the image XObject that page content draws by name, and
// edits that object afterwards (masks, inversion, gray conversion).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document/ImageBase.h"
#include "platform/files/Stream.h"

namespace velmo {

class TPNGReader;

// What the JPEG header scan found.
struct TJPEGHeaderInfo {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Components = 3;
    int32_t HDensity = 0;
    int32_t VDensity = 0;
    int32_t Units = -1;
    // The start-of-frame marker (C0 to C3) and its sample precision; 0 when
    // no frame was found.
    int32_t FrameMarker = 0;
    int32_t Precision = 0;
};

// The kind of an image file from its first bytes.
TPDFImageType DetectImageType(std::string_view Data);
// Scans a JPEG file's markers up to its first frame header. The scan ends at
// the end of the data and never moves backwards.
TJPEGHeaderInfo ReadJPEGHeader(std::string_view Data);
// True when the frame is one the PDF DCT filter decodes: a Huffman frame of
// baseline, extended or progressive kind with 8-bit samples and 1, 3 or 4
// components. Lossless frames and 12-bit samples are not.
bool JPEGCarriedAsDCT(const TJPEGHeaderInfo& Info);

class TPDFImage : public TPDFImageBase {
public:
    enum TPDFMaskType : uint8_t { mtUnknown, mtStencilMask, mtSoftMask };

    TPDFImage(TPDFStructure* AStructure, std::string AName,
              std::vector<TObject*>* AIncludedFonts);

    // ---- Building ----
    bool NewImageFromStream(TStream& InStream, int32_t Options) override;
    bool NewImageDirectFromString(const std::string& Source, int32_t Width, int32_t Height,
                                  int32_t BitsPerComponent, const std::u16string& ColorSpace,
                                  const std::u16string& Filter, const std::u16string& Decode,
                                  bool Interpolate) override;
    // The stream is left positioned at its start.
    static TPDFImageType DetectImageType(TStream& InStream);
    static TJPEGHeaderInfo ReadJPEGHeader(TStream& InStream);
    // Builds the DCT image from the whole stream; with SkipDPI the
    // resolution fields are left as they are.
    bool NewImageFromJPEG(TStream& InStream, bool SkipDPI);
    // The same from the file's bytes, which move into the image object.
    bool NewImageFromJPEGData(std::string Data, bool SkipDPI);
    bool NewImageFromPNG(TPNGReader& Reader, int32_t Options);
    int32_t CountImagePages(TStream& InStream);

    // ---- Masks and edits ----
    TPDFMaskType GetMaskType() const;
    void SetImageMask(double FromRed, double FromGreen, double FromBlue, double ToRed,
                      double ToGreen, double ToBlue);
    void SetImageMaskCMYK(double FromC, double FromM, double FromY, double FromK, double ToC,
                          double ToM, double ToY, double ToK);
    bool SetImageAsMask(TPDFMaskType MaskType);
    bool SetImageMaskFromImage(int32_t ObjNum, int32_t GenNum, TPDFMaskType MaskType);
    void ClearImageMask();
    void ConvertToGray();
    bool Reverse(bool Reset);
    void Populate(int32_t ObjNum, int32_t GenNum, int32_t ImWidth, int32_t ImHeight) override;
    bool SaveToFile(const std::u16string& FileName);
    bool SaveToStream(TStream& OutStream);
    void SetOCG(TPDFIndRef* IndRef);
    void DeleteOCG();
    TPDFDictionary* GetMeasureDict();
    TPDFDictionary* GetPtDataDict();
    void ClearImage();

    // ---- Properties ----
    const std::string& ImageData() const { return FImageData; }
    void SetImageData(std::string Value) { FImageData = std::move(Value); }
    int32_t HorizontalDPI() const { return FHDPI; }
    int32_t VerticalDPI() const { return FVDPI; }
    int32_t DPIUnits() const { return FDPIUnits; }
    TPDFDictionary* PageDict() const { return FPageDict; }

private:
    // The PNG road: the reader loads the stream with the reductions that
    // Options asks for, then NewImageFromPNG builds.
    bool NewImageFromPNGStream(TStream& InStream, int32_t Options);
    static int32_t CountPNGPages(TStream& InStream);
    // /Type /XObject, /Subtype /Image, /Width and /Height of an image.
    void AddImageHeader(TPDFDictionary* D, int32_t Width, int32_t Height) const;
    // Registers Obj as a new indirect object and returns a reference to it;
    // nil when the structure has no new-object event.
    TPDFIndRef* Register(TPDFObject* Obj);
    // The stream the image's reference stands for, or nil.
    TPDFStream* ImageStream() const;
    // Bits per component (0 when absent) and the colour-space name (for an
    // array, its second item's name; empty otherwise).
    void ReadFormat(int32_t& Bits, std::string& CSName) const;
};

// Makes the document's image factory and the page tree's painter factory
// build the content writer's classes.
void InstallContentServices();

}  // namespace velmo
