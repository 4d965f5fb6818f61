#include "render/Picasso.h"

namespace velmo {

GpBrush* TPDFPicasso::CreatePatternBrush(const TVPLPattern*) { return {}; }

}  // namespace velmo
