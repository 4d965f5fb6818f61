// The conversion tool's imaging layer: the input is decoded by its content,
// scaled down and encoded again as PNG and JPEG.
#include <algorithm>
#include <exception>
#include <string>
#include <string_view>

#include "app/imaging/Imaging.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

void AppImaging(std::string_view Data) {
    TImagingImage image;
    try {
        image.LoadFromBytes(std::string(Data));
    } catch (...) {
        return;
    }
    // Large pictures are decoded only: scaling them is slow, not risky.
    if (int64_t(image.Width()) * image.Height() > (int64_t(1) << 20)) return;
    // Sizes the encoders refuse (JPEG sides above 65,500) raise, as they may.
    try {
        image.Scale(std::max(1, image.Width() / 3), std::max(1, image.Height() / 2 + 1));
        image.SetSaveFormat(TImageFormat::PNG);
        (void)image.Encode();
        image.SetSaveFormat(TImageFormat::JPEG);
        (void)image.Encode();
    } catch (const std::exception&) {
    }
}

VPL_FUZZ_TARGET(app_imaging, AppImaging);

}  // namespace velmo::fuzz
