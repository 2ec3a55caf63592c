// The program's own path and resources, the system directory and WinExec.
#include "platform/win32/windows_names.h"

#include "platform/process.h"

#include <cstring>

namespace platform {

namespace {

size_t Terminated(char* out, size_t size, DWORD n) {
  if (size == 0) return 0;
  if (n >= size) n = static_cast<DWORD>(size - 1);  // cut short
  out[n] = '\0';
  return n;
}

// True in a 32-bit process on 64-bit Windows. IsWow64Process is looked up at run time, so
// that systems without it still load the program; they have no 64-bit side.
bool RunsUnderWow64() {
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return fn && fn(GetCurrentProcess(), &wow64) && wow64;
}

// The system folder path (n characters, "C:\Windows\SysWOW64" as such a process sees it)
// made "C:\Windows\Sysnative", the alias through which it reaches the real one, when that
// alias exists (Vista on) and fits; otherwise left as it is. Returns the length.
size_t NativeSystemDirectory(char* out, size_t size, size_t n) {
  static const char kAlias[] = "Sysnative";
  char* slash = strrchr(out, '\\');
  if (!slash || static_cast<size_t>(slash + 1 - out) + sizeof kAlias > size) return n;
  char keep[MAX_PATH];
  const size_t tail = strlen(slash + 1);
  if (tail >= sizeof keep) return n;
  memcpy(keep, slash + 1, tail + 1);
  memcpy(slash + 1, kAlias, sizeof kAlias);
  if (GetFileAttributesA(out) != INVALID_FILE_ATTRIBUTES) return strlen(out);
  memcpy(slash + 1, keep, tail + 1);
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
    n = static_cast<UINT>(Terminated(out, size, n));
    return n && RunsUnderWow64() ? NativeSystemDirectory(out, size, n) : n;
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
