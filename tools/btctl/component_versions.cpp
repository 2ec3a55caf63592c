#include "tools/btctl/component_versions.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include <cstdlib>

namespace {

// "NAME a.b.c.d" from the file's version record (GetFileVersionInfoSizeA, GetFileVersionInfoA,
// VerQueryValueA), or "NAME (no version record)".
void FileVersion(const char* path, const char* name, char* out, size_t size) {
  DWORD ignored = 0;
  DWORD n = GetFileVersionInfoSizeA(path, &ignored);
  void* data = n ? malloc(n) : nullptr;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (data && GetFileVersionInfoA(path, 0, n, data) &&
      VerQueryValueA(data, "\\", reinterpret_cast<void**>(&info), &len) && info &&
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
  n = GetSystemDirectoryA(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) path[0] = '\0';
  strncat(path, "\\drivers\\Sarnovek.sys", sizeof path - strlen(path) - 1);
  FileVersion(path, "Sarnovek.sys", driver, size);
}

#else

void ComponentVersions(char* library, char* driver, size_t size) {
  snprintf(library, size, "libMendalix.so (host build)");
  snprintf(driver, size, "simulated driver (host build)");
}

#endif
