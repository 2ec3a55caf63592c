#include "tools/btctl/component_versions.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include "platform/win32/windows_names.h"

#include <cstdlib>

#include "platform/process.h"
#include "tools/btctl/library_binding.h"

namespace {

// version.dll's three calls, from the system folder's copy (library_binding.h says why).
struct VersionCalls {
  DWORD(WINAPI* size)(LPCSTR, LPDWORD) = nullptr;
  BOOL(WINAPI* info)(LPCSTR, DWORD, DWORD, LPVOID) = nullptr;
  BOOL(WINAPI* query)(LPCVOID, LPCSTR, LPVOID*, PUINT) = nullptr;
  VersionCalls() {
    HMODULE dll = static_cast<HMODULE>(LoadSystemLibrary("version.dll"));
    if (!dll) return;
    Bind(dll, "GetFileVersionInfoSizeA", &size);
    Bind(dll, "GetFileVersionInfoA", &info);
    Bind(dll, "VerQueryValueA", &query);
  }
  template <typename F>
  static void Bind(HMODULE dll, const char* name, F* out) {
    *out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  }
};

// "NAME a.b.c.d" from the file's version record (GetFileVersionInfoSizeA, GetFileVersionInfoA,
// VerQueryValueA), or "NAME (no version record)".
void FileVersion(const char* path, const char* name, char* out, size_t size) {
  static const VersionCalls v;
  DWORD ignored = 0;
  DWORD n = v.size && v.info && v.query ? v.size(path, &ignored) : 0;
  void* data = n ? malloc(n) : nullptr;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (data && v.info(path, 0, n, data) &&
      v.query(data, "\\", reinterpret_cast<void**>(&info), &len) && info &&
      len >= sizeof(VS_FIXEDFILEINFO)) {
    snprintf(out, size, "%s %u.%u.%u.%u", name, static_cast<unsigned>(HIWORD(info->dwFileVersionMS)),
             static_cast<unsigned>(LOWORD(info->dwFileVersionMS)),
             static_cast<unsigned>(HIWORD(info->dwFileVersionLS)),
             static_cast<unsigned>(LOWORD(info->dwFileVersionLS)));
  } else {
    snprintf(out, size, "%s (no version record)", name);
  }
  free(data);
}

}  // namespace

void ComponentVersions(char* library, char* driver, size_t size) {
  char path[MAX_PATH + 32] = "";
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    char* slash = strrchr(path, '\\');
    if (slash) slash[1] = '\0';
  } else {
    path[0] = '\0';
  }
  strncat(path, "Mendalix.dll", sizeof path - strlen(path) - 1);
  FileVersion(path, "Mendalix.dll", library, size);
  // The real drivers folder, also from a 32-bit btctl on 64-bit Windows.
  platform::SystemProcess().GetSystemDirectory(path, MAX_PATH);
  strncat(path, "\\drivers\\Sarnovek.sys", sizeof path - strlen(path) - 1);
  FileVersion(path, "Sarnovek.sys", driver, size);
}

#else

void ComponentVersions(char* library, char* driver, size_t size) {
  snprintf(library, size, "libMendalix.so (host build)");
  snprintf(driver, size, "simulated driver (host build)");
}

#endif
