// Functions of the renderer-library destinations that the pattern and
// soft-mask code of the default model calls but the library binding
// implements (render/RenderHooks.cpp holds their minimal bodies).
#pragma once

#include "render/Renderer.h"
#include "render/SoftMask.h"

namespace velmo {

// Renders Pattern's tiling cell (the stream Cell) into the library's pixel
// buffer of the pattern; false when that cannot be done (the caller then
// switches the pattern off).
bool RenderLibraryPatternTile(TPDFRenderer& Renderer, TPDFRenderer::TContentRun& Run,
                              TVPLPattern& Pattern, TPDFStream* Cell, TPDFIndRef* CellRef);

// The soft mask's group drawn into a library group that becomes the mask
// of what is drawn next (nothing while the content is not visible).
void RenderSoftMaskGroup(TPDFRenderer& Renderer, TPDFRenderer::TContentRun& Run,
                         TVPLSoftmask& Softmask);
// Removes the library's soft mask from the current drawing.
void ClearLibrarySoftMask(TPDFRenderer& Renderer);

}  // namespace velmo
