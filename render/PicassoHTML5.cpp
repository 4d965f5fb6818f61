#include "render/Picasso.h"

namespace velmo {

void TPDFPicasso::HTML5Write(const std::string&) {}

std::string TPDFPicasso::HTML5Number(double) { return {}; }

std::string TPDFPicasso::HTML5HexColor(int32_t) { return {}; }

}  // namespace velmo
