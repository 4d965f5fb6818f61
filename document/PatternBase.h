// What the page tree needs of a tiling pattern made from a metafile brush:
// its name, the pattern object written last, the brush bitmap and the
// colours it is drawn with. The renderer's TPDFPattern derives from it and
// writes one pattern object per colour; the page tree registers each as
// name + "_" + the colour's index.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Objects.h"
#include "core/Structure.h"
#include "platform/gdi/Bitmap.h"

namespace velmo {

class TPDFPatternBase : public TObject {
public:
    TPDFPatternBase(TPDFStructure* AStructure, std::string AName)
        : FName(std::move(AName)), FStructure(AStructure) {}
    ~TPDFPatternBase() override = default;
    TPDFPatternBase(const TPDFPatternBase&) = delete;
    TPDFPatternBase& operator=(const TPDFPatternBase&) = delete;

    // Writes a pattern object of Bitmap drawn in Color (black pixels in
    // Color, white ones white) and makes FIndRef refer to it.
    virtual bool NewPatternBitMap(const TBitmap& Bitmap, TColor Color) = 0;

    const std::string& Name() const { return FName; }
    TPDFIndRef* IndRef() const { return FIndRef; }
    const std::vector<TColor>& Colors() const { return FColors; }
    std::vector<TColor>& Colors() { return FColors; }
    TBitmap* Bitmap() const { return FBitmap.get(); }
    void SetBitmap(std::unique_ptr<TBitmap> Value) { FBitmap = std::move(Value); }
    int32_t Handle() const { return FHandle; }
    void SetHandle(int32_t Value) { FHandle = Value; }

protected:
    std::string FName;
    TPDFStructure* FStructure;  // not owned
    TPDFIndRef* FIndRef = nullptr;
    std::unique_ptr<TBitmap> FBitmap;
    int32_t FHandle = 0;
    std::vector<TColor> FColors;  // in order of first use
};

}  // namespace velmo
