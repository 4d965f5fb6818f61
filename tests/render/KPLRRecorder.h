// A recording renderer library for the tests: every export logs its name
// and arguments into KLog; the page renderer and groups get fixed handles,
// and the shading and soft-mask callbacks are kept to be called back.
// Each test file that includes it has its own log.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/modules/Modules.h"
#include "render/LibraryBindings.h"

namespace velmo {
namespace {

// ---------------------------------------------------------------------------
// A recording renderer library: every export logs its name and arguments.

struct TKPLRLog {
    std::vector<std::string> Calls;
    // Callbacks the library was handed, to call them back as it would.
    KPLR_shading_func_t ShadingFunc = nullptr;
    void* ShadingData = nullptr;
    KPLR_softmask_func_t SoftmaskFunc = nullptr;
    void* SoftmaskData = nullptr;
    int GroupsMade = 0;
    bool RefuseGroups = false;
    std::string Joined(const std::string& From = {}) const {
        std::string S;
        bool On = From.empty();
        for (const std::string& C : Calls) {
            if (!On && C.rfind(From, 0) == 0) On = true;
            if (On) S += (S.empty() ? "" : " ") + C;
        }
        return S;
    }
};
TKPLRLog KLog;

// Handles the recording library hands out: the page renderer and groups.
int PageHandleObject = 0, GroupHandleObject = 0;
PKPLR_renderer_t const PageHandle = reinterpret_cast<PKPLR_renderer_t>(&PageHandleObject);
PKPLR_renderer_t const GroupHandle = reinterpret_cast<PKPLR_renderer_t>(&GroupHandleObject);

std::string Arg(double V) {
    char B[32];
    std::snprintf(B, sizeof B, "%g", V);
    return B;
}
std::string Arg(int32_t V) { return std::to_string(V); }
template <typename E>
    requires std::is_enum_v<E>
std::string Arg(E V) {
    return std::to_string(int(V));
}
std::string Arg(PKPLR_renderer_t H) {
    if (H == nullptr) return "0";
    return H == PageHandle ? "H" : "G";
}
std::string Arg(KPLR_shading_func_t) { return "fn"; }
std::string Arg(KPLR_softmask_func_t) { return "fn"; }
template <typename T>
std::string Arg(T* P) {
    return P == nullptr ? "0" : "p";
}

template <size_t N>
struct TName {
    char S[N];
    constexpr TName(const char (&In)[N]) { std::copy_n(In, N, S); }
};

template <typename F>
struct TRecorder;
template <typename R, typename... A>
struct TRecorder<R (*)(A...)> {
    template <TName Name>
    static R Call(A... Args) {
        std::string Line = Name.S;
        Line += "(";
        bool First = true;
        ((Line += (First ? "" : ",") + Arg(Args), First = false), ...);
        Line += ")";
        KLog.Calls.push_back(Line);
        return Result<Name>(Args...);
    }
    template <TName Name>
    static R Result(A... Args) {
        const std::string N = Name.S;
        ((void)Args, ...);
        if constexpr (std::is_same_v<R, void>) {
            return;
        } else if constexpr (std::is_same_v<R, PKPLR_renderer_t>) {
            if (N == "KPLR_renderer_group_create" || N == "KPLR_renderer_tile_create") {
                if (KLog.RefuseGroups) return nullptr;
                ++KLog.GroupsMade;
                return GroupHandle;
            }
            return PageHandle;
        } else if constexpr (std::is_same_v<R, KPLR_status_t>) {
            return KPLR_SUCCESS;
        } else {
            return R(1);
        }
    }
};

// The callbacks are kept by two hand-written entries.
void RecordShadingFunction(PKPLR_renderer_t Dr, int32_t SType, KPLR_shading_func_t Func,
                           void* Sh) {
    KLog.Calls.push_back("KPLR_shading_set_function(" + Arg(Dr) + "," + Arg(SType) + ",fn,p)");
    KLog.ShadingFunc = Func;
    KLog.ShadingData = Sh;
}
KPLR_status_t RecordSetSoftmask(PKPLR_renderer_t Dr, int32_t SType, KPLR_softmask_func_t Func,
                                void* Sm) {
    KLog.Calls.push_back("KPLR_renderer_set_softmask(" + Arg(Dr) + "," + Arg(SType) + ",fn,p)");
    KLog.SoftmaskFunc = Func;
    KLog.SoftmaskData = Sm;
    return KPLR_SUCCESS;
}

TModuleExports KPLRExports(const std::string& Without = {}) {
    TModuleExports E;
#define VPL_REC(Field, Export, Result, Params)                                             \
    if (std::string(Export) != Without)                                                    \
        E.push_back({Export, reinterpret_cast<FARPROC>(                                    \
                                 &TRecorder<TKorbexPDFLibraryKPLR::T##Field>::Call<Export>)});
    VPL_KPLR_ENTRY_POINTS(VPL_REC)
#undef VPL_REC
    for (TModuleExport& X : E) {
        if (X.Name == "KPLR_shading_set_function")
            X.Proc = reinterpret_cast<FARPROC>(&RecordShadingFunction);
        if (X.Name == "KPLR_renderer_set_softmask")
            X.Proc = reinterpret_cast<FARPROC>(&RecordSetSoftmask);
    }
    return E;
}

}  // namespace
}  // namespace velmo
