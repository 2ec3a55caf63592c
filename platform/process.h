// The running program's own path, the system directory, starting another program and
// ending this one (GetModuleFileNameA of the application's instance, GetSystemDirectoryA,
// WinExec, ExitProcess).
#pragma once
#include <cstddef>

namespace platform {

class ProcessApi {
 public:
  virtual ~ProcessApi() = default;
  // Both copy at most size - 1 characters and terminate; they return the length written.
  virtual size_t GetModuleFileName(char* out, size_t size) = 0;
  // The system folder whose drivers\ the system itself loads: for a 32-bit process on
  // 64-bit Windows, which the system redirects to SysWOW64, its Sysnative alias.
  virtual size_t GetSystemDirectory(char* out, size_t size) = 0;
  // WinExec(cmd, show); the platform's result (> 31 on success).
  virtual unsigned WinExec(const char* cmd, int show) = 0;
  // Resources of the program file: a string (empty when absent) and an icon (LoadIconA).
  virtual size_t LoadString(int id, char* out, size_t size) = 0;
  virtual void* LoadIcon(int id) = 0;
  // ExitProcess(code): ends the whole process, every thread with it. Does not return; a
  // test's fake may, so a caller returns at once after it.
  virtual void ExitProcess(unsigned code) = 0;
};

// The Win32 adapter (win32 flavour only; host tests use the fakes in tests/support/).
ProcessApi& SystemProcess();

}  // namespace platform
