#include "platform/modules/Modules.h"

#include <glob.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/files/WideFile.h"

namespace velmo {
namespace {

int Answer() { return 42; }
int Other() { return 7; }

template <typename F>
FARPROC Proc(F* Function) {
    return reinterpret_cast<FARPROC>(Function);
}

int Call(FARPROC P) { return reinterpret_cast<int (*)()>(P)(); }

// Registers a module for one test and takes it away again, loaded or not.
struct TScopedModule {
    std::u16string Name;
    TScopedModule(std::u16string N, const TModuleExports& Exports) : Name(std::move(N)) {
        EXPECT_TRUE(RegisterModule(Name, Exports));
    }
    ~TScopedModule() { UnregisterModule(Name); }
};

const TModuleExports kAlphaExports = {{"Answer", Proc(&Answer)}, {"Other", Proc(&Other)}};

TEST(Modules, InProcessModuleFoundByBareNameInAnyCase) {
    TScopedModule M(u"VplTestAlpha.dll", kAlphaExports);
    const std::u16string Names[] = {u"VplTestAlpha.dll", u"vpltestalpha.dll", u"VPLTESTALPHA.DLL",
                                    u"vplTestAlpha"};
    HMODULE First = LoadLibraryW(Names[0]);
    ASSERT_NE(First, nullptr);
    for (const std::u16string& Name : Names) {
        HMODULE H = LoadLibraryW(Name);
        EXPECT_EQ(H, First) << std::string(Name.begin(), Name.end());
        EXPECT_EQ(GetModuleHandleW(Name), First);
        EXPECT_TRUE(FreeLibrary(H));
    }
    FARPROC A = GetProcAddress(First, "Answer");
    ASSERT_NE(A, nullptr);
    EXPECT_EQ(Call(A), 42);
    ASSERT_NE(GetProcAddress(First, "Other"), nullptr);
    EXPECT_EQ(Call(GetProcAddress(First, "Other")), 7);
    EXPECT_EQ(GetProcAddress(First, "answer"), nullptr);  // export names keep their case
    EXPECT_EQ(GetProcAddress(First, "Missing"), nullptr);
    EXPECT_EQ(GetProcAddress(First, ""), nullptr);
    // A name with a folder is a file, never the in-process module.
    EXPECT_EQ(LoadLibraryW(u"./VplTestAlpha.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleW(u"./VplTestAlpha.dll"), nullptr);
    // Another name, even one that differs only by a suffix other than ".dll".
    EXPECT_EQ(GetModuleHandleW(u"VplTestAlpha.so"), nullptr);
    EXPECT_TRUE(FreeLibrary(First));
}

TEST(Modules, LoadCountsAndModuleHandleThatDoesNotCount) {
    TScopedModule M(u"vpltestcount.dll", kAlphaExports);
    EXPECT_EQ(GetModuleHandleW(u"vpltestcount.dll"), nullptr);  // registered, not loaded
    HMODULE H = LoadLibraryW(u"vpltestcount.dll");
    ASSERT_NE(H, nullptr);
    EXPECT_EQ(LoadLibraryW(u"VPLTESTCOUNT"), H);
    for (int I = 0; I < 3; ++I) EXPECT_EQ(GetModuleHandleW(u"vpltestcount.dll"), H);

    EXPECT_TRUE(FreeLibrary(H));
    EXPECT_EQ(GetModuleHandleW(u"vpltestcount.dll"), H);  // one load left
    EXPECT_NE(GetProcAddress(H, "Answer"), nullptr);

    EXPECT_TRUE(FreeLibrary(H));
    EXPECT_EQ(GetModuleHandleW(u"vpltestcount.dll"), nullptr);
    EXPECT_EQ(GetProcAddress(H, "Answer"), nullptr);
    EXPECT_FALSE(FreeLibrary(H));  // the handle is stale now

    // Loading again gives a fresh handle; the stale one stays stale.
    HMODULE Again = LoadLibraryW(u"vpltestcount.dll");
    ASSERT_NE(Again, nullptr);
    EXPECT_NE(Again, H);
    EXPECT_FALSE(FreeLibrary(H));
    EXPECT_EQ(GetProcAddress(H, "Answer"), nullptr);
    EXPECT_TRUE(FreeLibrary(Again));
}

TEST(Modules, RegistrationRules) {
    // A table with one name missing, a duplicate and an empty entry.
    TModuleExports Reduced = kAlphaExports;
    Reduced.erase(Reduced.begin());
    Reduced.push_back({"Other", Proc(&Answer)});
    Reduced.push_back({"Empty", nullptr});
    {
        TScopedModule M(u"vpltestreduced", Reduced);
        EXPECT_FALSE(RegisterModule(u"VPLTESTREDUCED.dll", kAlphaExports));  // taken
        // A built-in registration of the same name keeps what a test put there.
        RegisterBuiltInModule(u"vpltestreduced.dll", kAlphaExports);
        HMODULE H = LoadLibraryW(u"vpltestreduced.dll");
        ASSERT_NE(H, nullptr);
        EXPECT_EQ(GetProcAddress(H, "Answer"), nullptr);
        ASSERT_NE(GetProcAddress(H, "Other"), nullptr);
        EXPECT_EQ(Call(GetProcAddress(H, "Other")), 7);  // the first entry holds
        EXPECT_EQ(GetProcAddress(H, "Empty"), nullptr);

        // Unregistering a loaded module ends all its loads.
        EXPECT_EQ(LoadLibraryW(u"vpltestreduced.dll"), H);
        EXPECT_TRUE(UnregisterModule(u"VplTestReduced"));
        EXPECT_EQ(GetProcAddress(H, "Other"), nullptr);
        EXPECT_EQ(GetModuleHandleW(u"vpltestreduced.dll"), nullptr);
        EXPECT_FALSE(FreeLibrary(H));
        EXPECT_EQ(LoadLibraryW(u"vpltestreduced.dll"), nullptr);  // nothing by that name now
        EXPECT_FALSE(UnregisterModule(u"vpltestreduced.dll"));

        // The built-in registration fills the place once it is free.
        RegisterBuiltInModule(u"vpltestreduced.dll", kAlphaExports);
        HMODULE B = LoadLibraryW(u"vpltestreduced");
        ASSERT_NE(B, nullptr);
        EXPECT_NE(GetProcAddress(B, "Answer"), nullptr);
        EXPECT_TRUE(FreeLibrary(B));
    }
    const std::u16string Bad[] = {u"", u"folder/module.dll", std::u16string(u"mod\0x", 5)};
    for (const std::u16string& Name : Bad) {
        EXPECT_FALSE(RegisterModule(Name, kAlphaExports));
        EXPECT_FALSE(UnregisterModule(Name));
    }
}

// The first existing file among the usual places of the system's zlib.
std::string SystemZlibPath() {
    for (const char* Pattern :
         {"/lib/x86_64-linux-gnu/libz.so.1", "/usr/lib/x86_64-linux-gnu/libz.so.1",
          "/lib/*/libz.so.1", "/usr/lib/*/libz.so.1", "/lib64/libz.so.1", "/usr/lib64/libz.so.1"}) {
        glob_t G{};
        std::string Found;
        if (glob(Pattern, 0, nullptr, &G) == 0 && G.gl_pathc > 0) Found = G.gl_pathv[0];
        globfree(&G);
        if (!Found.empty()) return Found;
    }
    return std::string();
}

TEST(Modules, SharedObjectByBareNameAndByPath) {
    const std::string Path = SystemZlibPath();
    if (Path.empty()) GTEST_SKIP() << "no libz.so.1 on this system";
    const std::u16string WidePath = FileSystemNameToWide(Path);

    HMODULE Bare = LoadLibraryW(u"libz.so.1");
    ASSERT_NE(Bare, nullptr);
    FARPROC V = GetProcAddress(Bare, "zlibVersion");
    ASSERT_NE(V, nullptr);
    const char* Version = reinterpret_cast<const char* (*)()>(V)();
    ASSERT_NE(Version, nullptr);
    EXPECT_EQ(Version[0], '1');
    EXPECT_EQ(GetProcAddress(Bare, "vplNoSuchFunction"), nullptr);

    // The same object by its path: the same module, counted twice.
    HMODULE ByPath = LoadLibraryW(WidePath);
    EXPECT_EQ(ByPath, Bare);
    EXPECT_EQ(GetModuleHandleW(WidePath), Bare);
    EXPECT_EQ(GetModuleHandleW(u"libz.so.1"), Bare);

    EXPECT_TRUE(FreeLibrary(ByPath));
    EXPECT_EQ(GetModuleHandleW(u"libz.so.1"), Bare);
    EXPECT_NE(GetProcAddress(Bare, "zlibVersion"), nullptr);
    EXPECT_TRUE(FreeLibrary(Bare));
    EXPECT_EQ(GetModuleHandleW(u"libz.so.1"), nullptr);
    EXPECT_EQ(GetProcAddress(Bare, "zlibVersion"), nullptr);
    EXPECT_FALSE(FreeLibrary(Bare));
}

TEST(Modules, SharedObjectNameWithNonAsciiCharacters) {
    const std::string Path = SystemZlibPath();
    if (Path.empty()) GTEST_SKIP() << "no libz.so.1 on this system";
    namespace fs = std::filesystem;
    const fs::path Dir = fs::temp_directory_path() / ("vpl-modules-" + std::to_string(getpid()));
    fs::create_directories(Dir);
    const std::string Link = (Dir / "z\xC3\xAD\xE2\x82\xAC.so").string();  // "zí€.so"
    std::error_code Ec;
    fs::create_symlink(Path, Link, Ec);
    if (Ec) {
        fs::remove_all(Dir);
        GTEST_SKIP() << "cannot make a link: " << Ec.message();
    }
    const std::u16string Wide = FileSystemNameToWide(Dir.string()) + u"/z\u00ED\u20AC.so";
    HMODULE H = LoadLibraryW(Wide);
    EXPECT_NE(H, nullptr);
    EXPECT_NE(GetProcAddress(H, "zlibVersion"), nullptr);
    EXPECT_TRUE(FreeLibrary(H));
    fs::remove_all(Dir);
}

TEST(Modules, MissingModulesGiveNull) {
    const std::u16string Names[] = {
        u"/nonexistent-vpl/libnothing.so",
        u"libvpl-no-such-module.so.7",
        u"vpl-no-such-module.dll",
        u"/tmp",  // a folder
        u"",
        std::u16string(u"libz.so.1\0/x", 12),  // a NUL would cut the name short
    };
    for (const std::u16string& Name : Names) {
        EXPECT_EQ(LoadLibraryW(Name), nullptr) << Name.size();
        EXPECT_EQ(GetModuleHandleW(Name), nullptr) << Name.size();
    }
}

TEST(Modules, NullStaleAndForeignHandles) {
    int Local = 0;
    const HMODULE Foreign[] = {nullptr, reinterpret_cast<HMODULE>(&Local),
                               reinterpret_cast<HMODULE>(~uintptr_t(0)),
                               reinterpret_cast<HMODULE>(uintptr_t(1) << 40)};
    for (HMODULE H : Foreign) {
        EXPECT_FALSE(FreeLibrary(H));
        EXPECT_EQ(GetProcAddress(H, "Answer"), nullptr);
    }
    TScopedModule M(u"vpltestnames", kAlphaExports);
    HMODULE H = LoadLibraryW(u"vpltestnames");
    ASSERT_NE(H, nullptr);
    EXPECT_EQ(GetProcAddress(H, nullptr), nullptr);
    EXPECT_EQ(GetProcAddress(H, reinterpret_cast<const char*>(uintptr_t(3))), nullptr);  // ordinal
    EXPECT_TRUE(FreeLibrary(H));
}

TEST(Modules, ConcurrentLoadsBalanceOut) {
    TScopedModule M(u"vpltestthreads", kAlphaExports);
    std::atomic<int> Failures{0};
    std::vector<std::thread> Threads;
    for (int T = 0; T < 4; ++T)
        Threads.emplace_back([&Failures] {
            for (int I = 0; I < 500; ++I) {
                HMODULE H = LoadLibraryW(u"vpltestthreads");
                FARPROC P = GetProcAddress(H, "Answer");
                if (H == nullptr || P == nullptr || Call(P) != 42 || !FreeLibrary(H)) ++Failures;
            }
        });
    for (std::thread& T : Threads) T.join();
    EXPECT_EQ(Failures.load(), 0);
    EXPECT_EQ(GetModuleHandleW(u"vpltestthreads"), nullptr);
}

}  // namespace
}  // namespace velmo
