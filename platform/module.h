// Loading a library at run time and binding its calls by name (LoadLibraryA, GetProcAddress,
// FreeLibrary), and the library search path (SetDllDirectoryA).
#pragma once

namespace platform {

using ModuleHandle = void*;  // an HMODULE

class ModuleApi {
 public:
  virtual ~ModuleApi() = default;
  // SetDllDirectoryA(path): "" takes the current directory out of the search order.
  virtual bool SetDllDirectory(const char* path) = 0;
  virtual ModuleHandle LoadLibrary(const char* name) = 0;           // null on failure
  virtual void* GetProcAddress(ModuleHandle h, const char* name) = 0;  // null when absent
  virtual void FreeLibrary(ModuleHandle h) = 0;
};

// The Win32 adapter (win32 flavour only; host tests use the fakes in tests/support/).
ModuleApi& SystemModules();

}  // namespace platform
