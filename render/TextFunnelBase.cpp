#include "render/TextFunnelBase.h"

namespace velmo {

TPDFTextFunnelFactory& TextFunnelFactory() {
    static TPDFTextFunnelFactory Factory;
    return Factory;
}

std::unique_ptr<TPDFTextFunnelBase> NewTextFunnel() {
    if (const TPDFTextFunnelFactory& F = TextFunnelFactory()) {
        if (auto Funnel = F()) return Funnel;
    }
    return std::make_unique<TPDFTextFunnelBase>();
}

}  // namespace velmo
