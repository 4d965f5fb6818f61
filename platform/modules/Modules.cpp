#include "platform/modules/Modules.h"

#include <dlfcn.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/files/WideFile.h"

namespace velmo {

namespace {

// The table key of an in-process module: ASCII folded to lower case, without
// a trailing ".dll".
std::u16string ModuleKey(std::u16string_view Name) {
    std::u16string Key(Name);
    for (char16_t& C : Key)
        if (C >= u'A' && C <= u'Z') C = static_cast<char16_t>(C + 32);
    constexpr std::u16string_view Suffix = u".dll";
    if (Key.size() > Suffix.size() && Key.ends_with(Suffix)) Key.resize(Key.size() - Suffix.size());
    return Key;
}

bool HasFolder(std::u16string_view Name) { return Name.find(u'/') != std::u16string_view::npos; }

// Empty names and names with a NUL (which the system call would cut short)
// name nothing.
bool Usable(std::u16string_view Name) {
    return !Name.empty() && Name.find(u'\0') == std::u16string_view::npos;
}

struct TInProcess {
    std::map<std::string, FARPROC, std::less<>> Exports;
    uintptr_t LoadedId = 0;  // 0 while not loaded
};

struct TLoaded {
    std::u16string Key;  // in-process module; empty for a shared object
    void* Dl = nullptr;  // shared object; one dlopen reference per load
    size_t Count = 0;
};

struct TTable {
    std::mutex Lock;
    std::unordered_map<std::u16string, TInProcess> InProcess;
    std::unordered_map<uintptr_t, TLoaded> Loaded;
    uintptr_t NextId = 1;
};

TTable& Table() {
    static TTable T;
    return T;
}

HMODULE ToHandle(uintptr_t Id) { return reinterpret_cast<HMODULE>(Id); }

uintptr_t ToId(HMODULE Module) { return reinterpret_cast<uintptr_t>(Module); }

// Caller holds the lock.
TLoaded* FindLoaded(TTable& T, HMODULE Module) {
    auto It = T.Loaded.find(ToId(Module));
    return It == T.Loaded.end() ? nullptr : &It->second;
}

// Caller holds the lock.
uintptr_t FindSharedObject(TTable& T, void* Dl) {
    for (auto& [Id, L] : T.Loaded)
        if (L.Key.empty() && L.Dl == Dl) return Id;
    return 0;
}

}  // namespace

HMODULE LoadLibraryW(const std::u16string& Name) {
    if (!Usable(Name)) return nullptr;
    TTable& T = Table();
    if (!HasFolder(Name)) {
        std::lock_guard<std::mutex> G(T.Lock);
        auto It = T.InProcess.find(ModuleKey(Name));
        if (It != T.InProcess.end()) {
            TInProcess& M = It->second;
            if (M.LoadedId == 0) {
                M.LoadedId = T.NextId++;
                T.Loaded[M.LoadedId] = TLoaded{It->first, nullptr, 0};
            }
            ++T.Loaded[M.LoadedId].Count;
            return ToHandle(M.LoadedId);
        }
    }
    // dlopen runs the constructors of the object, which may come back here:
    // the table is not locked meanwhile.
    void* Dl = dlopen(WideToFileSystemName(Name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (Dl == nullptr) return nullptr;
    std::lock_guard<std::mutex> G(T.Lock);
    uintptr_t Id = FindSharedObject(T, Dl);
    if (Id == 0) {
        Id = T.NextId++;
        T.Loaded[Id] = TLoaded{std::u16string(), Dl, 0};
    }
    ++T.Loaded[Id].Count;
    return ToHandle(Id);
}

HMODULE GetModuleHandleW(const std::u16string& Name) {
    if (!Usable(Name)) return nullptr;
    TTable& T = Table();
    if (!HasFolder(Name)) {
        std::lock_guard<std::mutex> G(T.Lock);
        auto It = T.InProcess.find(ModuleKey(Name));
        if (It != T.InProcess.end()) return ToHandle(It->second.LoadedId);
    }
    // Asks for the object only if it is in the process already; the reference
    // this takes is given back at once.
    void* Dl = dlopen(WideToFileSystemName(Name).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (Dl == nullptr) return nullptr;
    uintptr_t Id;
    {
        std::lock_guard<std::mutex> G(T.Lock);
        Id = FindSharedObject(T, Dl);
    }
    dlclose(Dl);
    return ToHandle(Id);
}

FARPROC GetProcAddress(HMODULE Module, const char* Name) {
    if (reinterpret_cast<uintptr_t>(Name) < 0x10000) return nullptr;
    TTable& T = Table();
    std::lock_guard<std::mutex> G(T.Lock);
    TLoaded* L = FindLoaded(T, Module);
    if (L == nullptr) return nullptr;
    if (L->Key.empty()) {
        // The reference of this load is held until FreeLibrary has taken the
        // record out under the lock, so the object stays mapped here.
        return reinterpret_cast<FARPROC>(dlsym(L->Dl, Name));
    }
    auto M = T.InProcess.find(L->Key);
    if (M == T.InProcess.end()) return nullptr;
    auto E = M->second.Exports.find(std::string_view(Name));
    return E == M->second.Exports.end() ? nullptr : E->second;
}

bool FreeLibrary(HMODULE Module) {
    TTable& T = Table();
    void* Dl = nullptr;
    {
        std::lock_guard<std::mutex> G(T.Lock);
        auto It = T.Loaded.find(ToId(Module));
        if (It == T.Loaded.end()) return false;
        TLoaded& L = It->second;
        Dl = L.Dl;
        if (--L.Count == 0) {
            if (!L.Key.empty()) {
                auto M = T.InProcess.find(L.Key);
                if (M != T.InProcess.end()) M->second.LoadedId = 0;
            }
            T.Loaded.erase(It);
        }
    }
    // Destructors of the object may come back here: done without the lock.
    if (Dl != nullptr) dlclose(Dl);
    return true;
}

bool RegisterModule(std::u16string_view Name, const TModuleExports& Exports) {
    if (!Usable(Name) || HasFolder(Name)) return false;
    std::u16string Key = ModuleKey(Name);
    TInProcess M;
    for (const TModuleExport& E : Exports)
        if (E.Proc != nullptr) M.Exports.emplace(E.Name, E.Proc);
    TTable& T = Table();
    std::lock_guard<std::mutex> G(T.Lock);
    return T.InProcess.emplace(std::move(Key), std::move(M)).second;
}

bool UnregisterModule(std::u16string_view Name) {
    if (!Usable(Name) || HasFolder(Name)) return false;
    TTable& T = Table();
    std::lock_guard<std::mutex> G(T.Lock);
    auto It = T.InProcess.find(ModuleKey(Name));
    if (It == T.InProcess.end()) return false;
    if (It->second.LoadedId != 0) T.Loaded.erase(It->second.LoadedId);
    T.InProcess.erase(It);
    return true;
}

void RegisterBuiltInModule(std::u16string_view Name, const TModuleExports& Exports) {
    RegisterModule(Name, Exports);
}

}  // namespace velmo
