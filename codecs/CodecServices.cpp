#include "codecs/CodecServices.h"

#include "codecs/GIFWriter.h"
#include "codecs/ImageDecoder.h"
#include "codecs/JPEGImage.h"
#include "codecs/TIFFWriters.h"
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
    PageWriterHooks().WriteGIF = [](const TBitmap& Bitmap, TStream& Target) {
        SaveBitmapAsGIF(Bitmap, Target);
    };
    PageWriterHooks().WriteTIFF = SaveBitmapAsTIFF;
    PageWriterHooks().WriteG4TIFF = SaveBitmapAsG4TIFF;
    InstallImageDrawer();
    InstallType3InlineImageParser();
}

}  // namespace velmo
