// The image-header target's work, apart from the other targets: it needs
// only the image-type recognition and the Exif reader.
#include "codecs/ExifReader.h"
#include "content/Image.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

void ImageHeader(std::string_view Data) {
    volatile int Sink = DetectImageType(Data);
    const TJPEGHeaderInfo Info = ReadJPEGHeader(Data);
    Sink = Sink + Info.Width + Info.Height + JPEGCarriedAsDCT(Info);
    TExifResolution Res;
    Sink = Sink + ReadTIFFResolution(Data, Res);
    (void)Sink;
}

}  // namespace velmo::fuzz
