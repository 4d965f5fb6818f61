// The colour spaces that need more than a formula: CIE Lab, Separation,
// DeviceN and Indexed. Each is loaded once from its colour-space array and
// then asked for device colours (0x00BBGGRR) and, for Separation and DeviceN,
// the PostScript text that sets the same colour.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Objects.h"
#include "render/ColorManager.h"
#include "render/Functions.h"

namespace velmo {

// One tint per colorant.
using TPDFDeviceNColor = std::vector<double>;

// The family a colour-space value names: a name, or the first item of an
// array when that is a name; empty otherwise. ICC-based spaces are reduced
// to their /Alternate name, else to the device family of /N 1, 3 or 4, else
// stay "ICCBased".
std::string ColorSpaceFamily(TPDFObject* Space, const TPDFFindObjectEvent& OnFindObject);

class TPDFLabColorSpace {
public:
    TPDFWhitePoint FWhitePoint;  // as read; conversion uses D65 regardless
    TPDFLabRange FLabRange;
    TPDFFindObjectEvent FOnFindObject;

    // Reads [/Lab << /WhitePoint [...] /Range [...] >>].
    void LoadFromArray(TPDFArray* Source);
    // Converts relative to D65 through the manager, which keeps the D65 white
    // and this space's range afterwards.
    TColor GetColor(TPDFLabColor Input, TPDFColorManager* ColorManager);
    double ScaleA(int32_t Input, double MaxInput) const;
    double ScaleB(int32_t Input, double MaxInput) const;
};

// What Separation and DeviceN share: the alternate family, the tint
// transform and its loading.
class TPDFTintColorSpace {
public:
    explicit TPDFTintColorSpace(TPDFColorManager* ColorManager) : FColorManager(ColorManager) {}
    virtual ~TPDFTintColorSpace() = default;
    TPDFTintColorSpace(const TPDFTintColorSpace&) = delete;
    TPDFTintColorSpace& operator=(const TPDFTintColorSpace&) = delete;

    std::string FAlternate;
    std::unique_ptr<TPDFFunction> FTintTransform;
    std::string FResName;
    TColor FResultColor = 0;
    std::string FResultName;
    TPDFColorManager* FColorManager;  // not owned
    TPDFFindObjectEvent FOnFindObject;
    TPDFCryptStreamEvent FOnDecrypt;
    TPDFCryptStreamEvent FOnEncrypt;

    const std::string& Alternate() const { return FAlternate; }
    TPDFFunction* TintTransform() const { return FTintTransform.get(); }
    TColor ResultColor() const { return FResultColor; }
    const std::string& ResultName() const { return FResultName; }

protected:
    TPDFObject* Resolve(TPDFObject* O) const;
    // Items 2 and 3 of the array: the alternate family and the transform.
    void LoadAlternateAndTransform(TPDFArray* Source);
    // How the transform's outputs become a colour.
    enum TTintCase : uint8_t { tcNone, tcCMYK, tcRGB, tcLab, tcGray };
    TTintCase TintCase() const;
    // Runs the transform on Input into FOutputs.
    void RunTransform(std::span<const double> Input);
    // The RGB case: outputs clamped into [0, 1] in place, then the colour.
    TColor ClampedRGBColor();

    std::vector<double> FOutputs;
};

class TPDFSeparationColorSpace : public TPDFTintColorSpace {
public:
    using TPDFTintColorSpace::TPDFTintColorSpace;

    TPDFCMYKColor FCMYKColor;
    TPDFRGBColor FRGBColor;
    std::string FSeparationName;

    // Reads [/Separation name alternate tintTransform].
    void LoadFromArray(TPDFArray* Source, std::string_view AResName);
    // The colour of one tint in FResultColor and, unless Fast, its
    // PostScript text in FResultName. Function faults raise
    // EPDFFunctionError.
    void GetColor(double Input, bool Fast);
};

class TPDFDeviceNColorSpace : public TPDFTintColorSpace {
public:
    using TPDFTintColorSpace::TPDFTintColorSpace;

    std::string FColorNames;  // "[" name "," name … "]"
    int32_t FComponentCount = 0;

    // Most single-input results the cache holds before it starts again.
    static constexpr size_t kCacheLimit = 1001;

    // Reads [/DeviceN [names] alternate tintTransform attributes?].
    void LoadFromArray(TPDFArray* Source, std::string_view AResName);
    // The colour in FResultColor and, unless Fast, the PostScript text in
    // FResultName. Results of at most one input are cached by the input
    // rounded to thousandths. Function faults raise EPDFFunctionError.
    void GetColor(std::span<const double> Input, bool Fast);

    size_t CacheCount() const { return FCache.size(); }

private:
    struct TCacheEntry {
        TColor Color = 0;
        bool HasName = false;  // Fast calls store no text
        std::string Name;
    };
    void Compute(std::span<const double> Input, bool Fast);

    std::string FColorNamesText;  // FColorNames as a PostScript string
    std::unordered_map<int64_t, TCacheEntry> FCache;
};

class TPDFIndexedColorSpace {
public:
    std::string FBaseColorSpace;  // family of the base, as named
    int32_t FHiVal = 0;
    std::string FColorTable;  // the lookup bytes
    TPDFFindObjectEvent FOnFindObject;

    // Reads [/Indexed base hival lookup].
    void LoadFromArray(TPDFArray* Source);
    // The colour of index Input (clamped to HiVal); white where the base or
    // the table has no colour for it.
    TColor GetColor(uint8_t Input, TPDFColorManager* ColorManager);

    // The base family the entries are read in ("DeviceRGB", "DeviceCMYK",
    // "DeviceGray", "Lab"), empty when the base has no lookup conversion.
    const std::string& EntryFamily() const { return FEntryFamily; }

private:
    std::string FEntryFamily;
    int32_t FEntrySize = 0;
    TPDFLabColorSpace FLab;  // a Lab base's range
};

}  // namespace velmo
