// Loading code modules by name. A module is either one of the modules built
// into this program, registered by name with a table of its exports, or a
// shared object opened with dlopen.
//
// Names: a bare name (no '/') is looked up among the in-process modules
// first, comparing ASCII letters without case and treating a trailing ".dll"
// as optional ("GdiPlus" and "gdiplus.DLL" are the same module); when no
// in-process module has that name it goes to dlopen, which searches the
// library path. A name with a folder is a file and goes to dlopen directly.
// Names are UTF-16 and become UTF-8 at the system call.
//
// Handles are opaque numbers, never reused and never dereferenced: a handle
// whose module was unloaded, or one that never came from here, is simply not
// found (GetProcAddress gives nullptr, FreeLibrary false).
//
// Built-in modules: a library that provides one (the GDI+ facade provides
// "gdiplus.dll") registers it with RegisterBuiltInModule from an init
// function that its user calls before loading the module. A self-registering
// static object would not do: the linker drops objects of a static library
// that nothing references, and the module would silently be missing.
//
// All functions may be called from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmo {

using HMODULE = struct TModuleTag*;
// An exported function; callers cast it to its real type.
using FARPROC = void (*)();

struct TModuleExport {
    std::string Name;
    FARPROC Proc = nullptr;
};
using TModuleExports = std::vector<TModuleExport>;

// Loads a module, or counts one more load of a module already loaded (the
// same handle comes back). nullptr when it cannot be found or opened.
HMODULE LoadLibraryW(const std::u16string& Name);
// The handle of a module loaded through LoadLibraryW and not yet freed,
// without counting a load; nullptr otherwise. A shared object is found by any
// name dlopen resolves to it.
HMODULE GetModuleHandleW(const std::u16string& Name);
// The export Name of a loaded module; nullptr when absent, when the handle is
// not a loaded module, or when Name is an ordinal (a value below 0x10000).
FARPROC GetProcAddress(HMODULE Module, const char* Name);
// Counts one load off; the module is unloaded when no load is left. False for
// nullptr and for handles that are not a loaded module.
bool FreeLibrary(HMODULE Module);

// Adds an in-process module under a bare name. A name listed twice in the
// exports keeps its first entry; entries without a function are left out.
// False, changing nothing, when the name is empty, holds a folder or a NUL,
// or a module of that name is already registered.
bool RegisterModule(std::u16string_view Name, const TModuleExports& Exports);
// Removes an in-process module. If it was loaded it is unloaded at once, all
// loads together, and its handle goes stale. False when no module of that
// name is registered.
bool UnregisterModule(std::u16string_view Name);
// Registers a module that the program itself provides. Calling it again is
// harmless: a module already registered under that name is kept as it is,
// so a test that put its own table in that place keeps it.
void RegisterBuiltInModule(std::u16string_view Name, const TModuleExports& Exports);

}  // namespace velmo
