// The renderer's hooks for patterns. The library that draws them replaces
// these bodies; until then no pattern is found (which paints white).
#include "render/ContentRun.h"

namespace velmo {

const TVPLPattern* TPDFRenderer::FindPattern(TContentRun& Run, std::string_view Name) {
    return PresetPattern(Name);
}

void TPDFRenderer::RenderPatternTile(TContentRun& Run, const TVPLPattern* Pattern,
                                     std::string_view Name) {
    if (Run.Library) RenderLibraryPatternTile(Run, Pattern, Name);
}

}  // namespace velmo
