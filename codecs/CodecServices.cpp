#include "codecs/CodecServices.h"

#include "codecs/ImageDecoder.h"
#include "codecs/JPEGImage.h"
#include "document/PageServices.h"

namespace velmo {

void InstallCodecServices() {
    PageWriterHooks().WriteJPEG = [](const TBitmap& Bitmap, TStream& Target, int32_t Quality,
                                     int32_t DPI) {
        TPDFJPEGImage J;
        J.Assign(Bitmap);
        J.SetCompressionQuality(Quality);
        J.SetDPI(DPI);
        J.SaveToStream(Target);
    };
    InstallImageDrawer();
    InstallType3InlineImageParser();
}

}  // namespace velmo
