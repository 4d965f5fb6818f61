// The soft mask of a graphics-state parameter dictionary: which kind of
// mask (alpha or luminosity), the backdrop components and the transfer
// function, read once from the /SMask dictionary. Every destination uses
// it; the renderer library calls its transfer back while it draws.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/Objects.h"
#include "render/ColorManager.h"
#include "render/Functions.h"
#include "render/LibraryBindings.h"

namespace velmo {

enum TVPLSoftmaskType : uint8_t { ptAlpha, ptLuminosity };

class TVPLSoftmask : public TKPLRSoftmaskFunction {
public:
    explicit TVPLSoftmask(TPDFColorManager* ColorManager) : FColorManager(ColorManager) {}

    TPDFDictionary* SourceDict() const { return FSource; }
    TPDFColorManager* ColorManager() const { return FColorManager; }
    TVPLSoftmaskType SoftmaskType() const { return FSoftmaskType; }
    TPDFFunction* PDFFunction() const { return FPDFFunction.get(); }
    TPDFFindObjectEvent OnFindObject;

    void Populate(TPDFDictionary* Source);
    int32_t GetBCLength() const { return int32_t(FBCArray.size()); }
    // Component Index of the backdrop; 0 outside the array.
    double GetBCArray(int32_t Index) const;
    // The transfer function of Input[0]; the identity without one. A
    // function fault raises EPDFFunctionError.
    double GetFunctionValue(std::span<const double> Input);
    // The same for the renderer library's call-back, which cannot take an
    // exception: a function fault or a value that is not finite gives the
    // input back.
    double GetFunctionValue(const std::vector<double>& FunctionInput) const override;

private:
    TPDFObject* Resolve(TPDFObject* O) const;

    TPDFDictionary* FSource = nullptr;
    TPDFColorManager* FColorManager;
    TVPLSoftmaskType FSoftmaskType = ptAlpha;
    std::unique_ptr<TPDFFunction> FPDFFunction;
    std::vector<double> FBCArray;
};

// The opacity (0 … 255) of what was drawn the same way over white
// (OnWhite) and over black (OnBlack): a pixel of opacity a differs between
// the two by (1 - a) · 255.
inline int AlphaOverBackdrops(TColor OnWhite, TColor OnBlack) {
    int Diff = 0;
    for (int Shift = 0; Shift <= 16; Shift += 8)
        Diff += int((OnWhite >> Shift) & 0xFF) - int((OnBlack >> Shift) & 0xFF);
    const int A = 255 - (Diff + 1) / 3;
    return A < 0 ? 0 : (A > 255 ? 255 : A);
}

}  // namespace velmo
