#include "render/SoftMask.h"

#include <cmath>
#include <exception>

namespace velmo {

TPDFObject* TVPLSoftmask::Resolve(TPDFObject* O) const {
    auto* Ref = ObjAs<TPDFIndRef>(O);
    if (Ref == nullptr) return O;
    return OnFindObject ? OnFindObject(Ref) : Ref->Obj();
}

void TVPLSoftmask::Populate(TPDFDictionary* Source) {
    FSource = Source;
    FSoftmaskType = ptAlpha;
    FBCArray.clear();
    FPDFFunction.reset();
    if (Source == nullptr) return;
    if (auto* S = ObjAs<TPDFName>(Resolve(Source->FindValueByKeyName("S", false))))
        FSoftmaskType = S->FValue == "Luminosity" ? ptLuminosity : ptAlpha;
    if (FSoftmaskType == ptLuminosity) {
        if (auto* BC = ObjAs<TPDFArray>(Resolve(Source->FindValueByKeyName("BC", false)))) {
            // A backdrop has at most a handful of components.
            const int32_t N = std::min<int32_t>(BC->GetCount(), 32);
            FBCArray.assign(size_t(std::max(N, 0)), 0);
            for (int32_t I = 0; I < N; ++I)
                if (auto* V = ObjAs<TPDFNumeric>(Resolve(BC->GetItem(I)));
                    V && std::isfinite(V->AsDouble()))
                    FBCArray[size_t(I)] = V->AsDouble();
        }
    }
    TPDFObject* TR = Resolve(Source->FindValueByKeyName("TR", false));
    if (ObjAs<TPDFDictionary>(TR) || ObjAs<TPDFStream>(TR)) {
        auto F = TPDFFunction::FunctionFactory(TR, OnFindObject);
        if (F && F->InputValueCount() == 1 && F->OutputValueCount() == 1)
            FPDFFunction = std::move(F);
    }
}

double TVPLSoftmask::GetBCArray(int32_t Index) const {
    return Index >= 0 && Index < GetBCLength() ? FBCArray[size_t(Index)] : 0;
}

double TVPLSoftmask::GetFunctionValue(std::span<const double> Input) {
    const double X = Input.empty() ? 0 : Input[0];
    if (!FPDFFunction) return X;
    double Y = 0;
    FPDFFunction->RunFunction(std::span<const double>(&X, 1), std::span<double>(&Y, 1));
    return Y;
}

double TVPLSoftmask::GetFunctionValue(const std::vector<double>& FunctionInput) const {
    const double X = FunctionInput.empty() ? 0 : FunctionInput[0];
    if (!FPDFFunction) return X;
    double Y = 0;
    try {
        FPDFFunction->RunFunction(std::span<const double>(&X, 1), std::span<double>(&Y, 1));
    } catch (const std::exception&) {
        return X;
    }
    return std::isfinite(Y) ? Y : X;
}

}  // namespace velmo
