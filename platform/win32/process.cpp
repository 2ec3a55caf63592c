// The program's own path and resources, the system directory and WinExec.
#include "platform/win32/windows_names.h"

#include "platform/process.h"

namespace platform {

namespace {

size_t Terminated(char* out, size_t size, DWORD n) {
  if (size == 0) return 0;
  if (n >= size) n = static_cast<DWORD>(size - 1);  // cut short
  out[n] = '\0';
  return n;
}

class Win32Process : public ProcessApi {
 public:
  size_t GetModuleFileName(char* out, size_t size) override {
    return Terminated(out, size, ::GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size)));
  }
  size_t GetSystemDirectory(char* out, size_t size) override {
    UINT n = ::GetSystemDirectoryA(out, static_cast<UINT>(size));
    if (n >= size) n = 0;  // did not fit: nothing was written
    return Terminated(out, size, n);
  }
  unsigned WinExec(const char* cmd, int show) override { return ::WinExec(cmd, show); }
  // Resource strings are Unicode; the program's texts are UTF-8.
  size_t LoadString(int id, char* out, size_t size) override {
    if (size == 0) return 0;
    wchar_t wide[256];
    int n = ::LoadStringW(GetModuleHandleA(nullptr), id, wide, 256);
    int m = n > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, n, out, static_cast<int>(size) - 1,
                                        nullptr, nullptr)
                  : 0;
    out[m > 0 ? m : 0] = '\0';
    return m > 0 ? m : 0;
  }
  void* LoadIcon(int id) override { return ::LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)); }
  void ExitProcess(unsigned code) override { ::ExitProcess(code); }
};

// Built before any code runs (no guarded local static, which would bring in the
// runtime's exception support).
Win32Process theProcess;

}  // namespace

ProcessApi& SystemProcess() { return theProcess; }

}  // namespace platform
