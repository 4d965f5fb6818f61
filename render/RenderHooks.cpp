// The renderer's hooks for extended graphics states and patterns. The
// libraries that draw them replace these bodies; until then the operators
// take their operands and draw nothing, and no pattern is found (which
// paints white).
#include "render/ContentRun.h"

namespace velmo {

void TPDFRenderer::SetExtGState(TContentRun& Run, std::string_view Name) {}

const TVPLPattern* TPDFRenderer::FindPattern(TContentRun& Run, std::string_view Name) {
    return nullptr;
}

void TPDFRenderer::RenderPatternTile(TContentRun& Run, const TVPLPattern* Pattern,
                                     std::string_view Name) {}

}  // namespace velmo
