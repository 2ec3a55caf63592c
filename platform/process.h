// The running program's own path, the system directory, and starting another program
// (GetModuleFileNameA of the application's instance, GetSystemDirectoryA, WinExec).
#pragma once
#include <cstddef>

namespace platform {

class ProcessApi {
 public:
  virtual ~ProcessApi() = default;
  // Both copy at most size - 1 characters and terminate; they return the length written.
  virtual size_t GetModuleFileName(char* out, size_t size) = 0;
  virtual size_t GetSystemDirectory(char* out, size_t size) = 0;
  // WinExec(cmd, show); the platform's result (> 31 on success).
  virtual unsigned WinExec(const char* cmd, int show) = 0;
  // Resources of the program file: a string (empty when absent) and an icon (LoadIconA).
  virtual size_t LoadString(int id, char* out, size_t size) = 0;
  virtual void* LoadIcon(int id) = 0;
};

// The Win32 adapter (win32 flavour only; host tests use the fakes in tests/support/).
ProcessApi& SystemProcess();

}  // namespace platform
