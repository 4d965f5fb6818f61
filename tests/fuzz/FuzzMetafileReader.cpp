// The metafile reader's target: the input is validated as whatever it
// looks like, its records enumerated as EMF, EMF+ and WMF, played back into
// a small bitmap and, as an EMF, converted to WMF.
#include <string>
#include <string_view>

#include "platform/gdi/Bitmap.h"
#include "platform/metafile/MetafileReader.h"
#include "platform/metafile/MetafileRecords.h"
#include "platform/metafile/MetafileReplay.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

void MetafileReader(std::string_view Data) {
    using namespace velmo::metafile;
    (void)ValidateMetafile(Data);
    TMetafileInfo Info;
    (void)ReadMetafileInfo(Data, Info);
    EnumerateEmf(Data, [](const TEmfRecord&) { return true; });
    EnumerateWmf(Data, [](const TWmfRecord&) { return true; });
    EnumerateEmfPlus(Data, [](const TEmfPlusRecord&) { return true; });
    TBitmap B(64, 64, pf24bit);
    (void)ReplayEmf(Data, B);
    (void)ReplayWmf(Data, B);
    (void)ReplayEmfPlus(Data, B);
    const std::string Wmf = EmfToWmf(Data, 64, 64);
    if (!Wmf.empty()) (void)ValidateWmf(Wmf);
}

VPL_FUZZ_TARGET(metafile_reader, MetafileReader);

}  // namespace velmo::fuzz
