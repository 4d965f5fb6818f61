// Start-up counting, the table of live handles and the module registration of
// the facade.
#include <atomic>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/gdiplus/Internal.h"

namespace velmo::gdiplus {

namespace {

std::atomic<int64_t> StartCount{0};
std::atomic<GpULONG_PTR> NextToken{1};

struct TLiveTable {
    std::mutex Lock;
    std::unordered_map<const void*, TGpKind> Objects;
};

TLiveTable& Live() {
    static TLiveTable* Table = new TLiveTable;  // outlives static destructors
    return *Table;
}

// Notification hooks handed out when the caller runs the library without a
// background thread; there is no thread to notify, so they only hand out
// tokens.
TGPStatus HookProc(GpULONG_PTR* Token) {
    if (Token == nullptr) return gsInvalidParameter;
    *Token = NextToken++;
    return gsOk;
}
void UnhookProc(GpULONG_PTR) {}

}  // namespace

bool Started() { return StartCount.load() > 0; }

bool AddLive(const void* Object, TGpKind Kind) {
    if (Object == nullptr) return false;
    TLiveTable& T = Live();
    std::lock_guard<std::mutex> Guard(T.Lock);
    try {
        return T.Objects.emplace(Object, Kind).second;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool RemoveLive(const void* Object, TGpKind Kind) {
    if (Object == nullptr) return false;
    TLiveTable& T = Live();
    std::lock_guard<std::mutex> Guard(T.Lock);
    auto It = T.Objects.find(Object);
    if (It == T.Objects.end() || It->second != Kind) return false;
    T.Objects.erase(It);
    return true;
}

bool IsLive(const void* Object, TGpKind Kind) {
    if (Object == nullptr) return false;
    TLiveTable& T = Live();
    std::lock_guard<std::mutex> Guard(T.Lock);
    auto It = T.Objects.find(Object);
    return It != T.Objects.end() && It->second == Kind;
}

TGPStatus GdiplusStartup(GpULONG_PTR* Token, const GdiplusStartupInput* Input,
                         TGdiplusStartupOutput* Output) {
    if (Token == nullptr || Input == nullptr) return gsInvalidParameter;
    if (Input->GdiplusVersion != 1) return gsUnsupportedGdiplusVersion;
    if (Input->SuppressBackgroundThread != 0) {
        if (Output == nullptr) return gsInvalidParameter;
        Output->NotificationHook = HookProc;
        Output->NotificationUnhook = UnhookProc;
    }
    *Token = NextToken++;
    ++StartCount;
    return gsOk;
}

void GdiplusShutdown(GpULONG_PTR Token) {
    if (Token == 0) return;
    int64_t Count = StartCount.load();
    while (Count > 0 && !StartCount.compare_exchange_weak(Count, Count - 1)) {
    }
}

}  // namespace velmo::gdiplus

namespace velmo {

TModuleExports GdiPlusExports() {
    TModuleExports Exports;
#define VPL_GDIPLUS_EXPORT(Name, Result, Params) \
    Exports.push_back({#Name, reinterpret_cast<FARPROC>(&gdiplus::Name)});
    VPL_GDIPLUS_ENTRY_POINTS(VPL_GDIPLUS_EXPORT)
#undef VPL_GDIPLUS_EXPORT
    return Exports;
}

void RegisterGdiPlusModule() { RegisterBuiltInModule(u"gdiplus.dll", GdiPlusExports()); }

}  // namespace velmo
