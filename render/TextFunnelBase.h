// The sink of a text-extraction render pass. The renderer owns one funnel and
// hands it every shown text run and, when asked, every image drawn. The
// collecting funnel lives in the forms library, above this one; it derives
// from this base and installs a factory at start-up. Without the factory the
// base serves: it keeps the options but drops every run and image.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/Objects.h"
#include "core/XForm.h"

namespace velmo {

// Colour of a text run as the renderer reports it.
struct TPDFTextColor {
    // "#RRGGBB" in upper-case hex, or "CCMMYYKK" without "#" for CMYK text
    // when the funnel's OutputCMYK is set.
    std::string HexColor;
    // The same colour as components from 0 to 1 (three or four).
    std::vector<double> Color;
};

// An image drawn on the page, reported when the funnel needs images.
struct TPDFTextFunnelImage {
    std::string XObjectName;         // resource name with its leading "/"
    std::string XObjectObjRef;       // the image object's reference as text
    TPDFDoublePoint P1, P2, P3, P4;  // corners in page space
};

class TPDFTextFunnelBase : public TObject {
public:
    // Options the renderer reads while it feeds the funnel.
    bool FSplitWords = false;
    bool FSplitOnDoubleSpace = false;
    bool FIgnoreDescenders = false;
    bool FOutputNonAscii = false;
    bool FOutputCMYK = false;
    // The renderer reports images only when this is set.
    bool FNeedImages = false;
    // Whether the next run may join earlier text; SetNextMatch sets it.
    bool FMatch = true;

    bool SplitWords() const { return FSplitWords; }
    bool SplitOnDoubleSpace() const { return FSplitOnDoubleSpace; }
    bool IgnoreDescenders() const { return FIgnoreDescenders; }
    bool OutputNonAscii() const { return FOutputNonAscii; }
    bool OutputCMYK() const { return FOutputCMYK; }
    bool NeedImages() const { return FNeedImages; }
    void SetNeedImages() { FNeedImages = true; }

    // Empties the collected text and images; options stay. Called when a
    // text-extraction pass begins.
    virtual void Clear() {}
    // One text run. Matrix maps the run's text space to page space; X, Y are
    // the run's origin in text space (Y the lower edge of its box: descent
    // plus rise), Width and Height its extent there, FontSize the font size.
    // Offsets holds the text-space x of the start of each character, at least
    // one per character of Text.
    virtual void AddText(const TPDFXForm& Matrix, std::u16string_view Text,
                         const TPDFTextColor& Color, std::string_view FontName, double FontSize,
                         double X, double Y, double Width, double Height,
                         std::span<const double> Offsets) {}
    virtual void AddImage(const TPDFTextFunnelImage& Image) {}
    // False where a new run must not join the text before it.
    virtual void SetNextMatch(bool Match) { FMatch = Match; }
};

// Installed once at start-up by the forms library.
using TPDFTextFunnelFactory = std::function<std::unique_ptr<TPDFTextFunnelBase>()>;
TPDFTextFunnelFactory& TextFunnelFactory();

// A new funnel from the installed factory; the base when none is installed.
std::unique_ptr<TPDFTextFunnelBase> NewTextFunnel();

}  // namespace velmo
