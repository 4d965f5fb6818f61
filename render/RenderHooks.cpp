// The renderer's hooks that the renderer library's binding provides; until
// it does, a library destination renders no tiling cell and no soft mask.
#include "render/ContentRun.h"
#include "render/LibraryFamilyHooks.h"

namespace velmo {

bool RenderLibraryPatternTile(TPDFRenderer& Renderer, TPDFRenderer::TContentRun& Run,
                              TVPLPattern& Pattern, TPDFStream* Cell, TPDFIndRef* CellRef) {
    return false;
}

void RenderSoftMaskGroup(TPDFRenderer& Renderer, TPDFRenderer::TContentRun& Run,
                         TVPLSoftmask& Softmask) {}

void ClearLibrarySoftMask(TPDFRenderer& Renderer) {}

}  // namespace velmo
