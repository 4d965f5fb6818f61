// The device canvas as the installed-font rasterizer sees it when it draws
// glyphs directly as text.
#pragma once

#include "core/GDIPlusBinding.h"
#include "core/XForm.h"

namespace velmo {

// What the device canvas offers for drawing installed fonts directly: the
// render library implements it on its GDI+ canvas.
class TPDFDirectFontCanvas {
public:
    virtual ~TPDFDirectFontCanvas() = default;
    // The canvas's GDI+ binding while it draws through GDI+, else nullptr.
    virtual TKVPLGDIPlus* DirectFontGDIPlus() = 0;
    // Draws one character with a GDI+ font at the origin of TextMatrix.
    virtual void DrawDirectString(GpFont* Font, char16_t UnicodeChar,
                                  const TPDFXForm& TextMatrix) = 0;
};

}  // namespace velmo
