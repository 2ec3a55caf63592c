// Run-time loading and binding: SetDllDirectoryA, LoadLibraryA, GetProcAddress, FreeLibrary.
#include "platform/win32/windows_names.h"

#include "platform/module.h"

namespace platform {

namespace {

class Win32Modules : public ModuleApi {
 public:
  bool SetDllDirectory(const char* path) override {
    // Looked up at run time: systems before XP SP1 lack the call, and then have nothing
    // to switch off.
    using Fn = BOOL(WINAPI*)(LPCSTR);
    HMODULE k32 = GetModuleHandleA("kernel32.dll");
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(k32, "SetDllDirectoryA")));
    return fn && fn(path);
  }
  ModuleHandle LoadLibrary(const char* name) override { return ::LoadLibraryA(name); }
  void* GetProcAddress(ModuleHandle h, const char* name) override {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(h), name));
  }
  void FreeLibrary(ModuleHandle h) override { ::FreeLibrary(static_cast<HMODULE>(h)); }
};

// Built before any code runs (no guarded local static, which would bring in the
// runtime's exception support).
Win32Modules theModules;

}  // namespace

ModuleApi& SystemModules() { return theModules; }

}  // namespace platform
