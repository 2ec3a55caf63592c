#include "tools/btctl/library_binding.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <oleauto.h>

const char* const kDefaultLibrary = "Mendalix.dll";

void* LoadLibraryByName(const char* path, const char** why) {
  HMODULE h = LoadLibraryA(path);
  if (!h) *why = "LoadLibraryA failed";
  return h;
}

void* BindExport(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void UnloadLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

void* LoadSystemLibrary(const char* name) {
  char path[MAX_PATH];
  UINT n = GetSystemDirectoryA(path, MAX_PATH);
  if (n == 0 || n + strlen(name) + 2 > sizeof path) return nullptr;
  snprintf(path + n, sizeof path - n, "\\%s", name);
  return LoadLibraryA(path);
}

void LeaveCurrentFolderOutOfDllSearch() {
  // SetDllDirectoryA came with XP SP1: looked up.
  using SetDir = BOOL(WINAPI*)(LPCSTR);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  SetDir set = kernel ? reinterpret_cast<SetDir>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA"))) : nullptr;
  if (set) set("");
}

bool MakeLibraryCallFolder(char* out, unsigned size) {
  char temp[MAX_PATH];
  DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n >= sizeof temp) return false;
  int k = snprintf(out, size, "%sQuorvexWatch", temp);
  if (k <= 0 || static_cast<unsigned>(k) >= size) return false;
  return CreateDirectoryA(out, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

LibraryCallFolder::LibraryCallFolder(const char* folder) {
  if (!folder || !folder[0]) return;
  DWORD n = GetCurrentDirectoryA(sizeof saved_, saved_);
  switched_ = n > 0 && n < sizeof saved_ && SetCurrentDirectoryA(folder);
}

LibraryCallFolder::~LibraryCallFolder() {
  if (switched_) SetCurrentDirectoryA(saved_);
}

TextAsVariant::TextAsVariant(const char* text) {
  static_assert(sizeof(VARIANT) <= sizeof(storage_), "VARIANT storage");
  size_t n = strlen(text);
  WCHAR* wide = static_cast<WCHAR*>(calloc(n + 1, sizeof(WCHAR)));
  for (size_t i = 0; wide && i < n; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  VARIANT* v = reinterpret_cast<VARIANT*>(storage_);
  VariantInit(v);
  v->vt = VT_BSTR;
  v->bstrVal = wide ? SysAllocString(wide) : NULL;
  free(wide);
}

TextAsVariant::~TextAsVariant() { VariantClear(reinterpret_cast<VARIANT*>(storage_)); }

#else
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdint>
#include <string>

const char* const kDefaultLibrary = "libMendalix.so";

void* LoadLibraryByName(const char* path, const char** why) {
  void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!h && !strchr(path, '/')) {
    // As on Windows, a bare name is also looked for beside the program.
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n > 0) {
      self[n] = '\0';
      std::string dir(self);
      dir.erase(dir.find_last_of('/') + 1);
      h = dlopen((dir + path).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
  }
  if (!h) *why = dlerror();
  return h;
}

void* BindExport(void* library, const char* name) { return dlsym(library, name); }

void UnloadLibrary(void* library) { dlclose(library); }

void* LoadSystemLibrary(const char*) { return nullptr; }
void LeaveCurrentFolderOutOfDllSearch() {}

bool MakeLibraryCallFolder(char* out, unsigned size) {
  const char* temp = getenv("TMPDIR");
  int k = snprintf(out, size, "%s/QuorvexWatch-%u", temp && *temp ? temp : "/tmp",
                   static_cast<unsigned>(getuid()));
  if (k <= 0 || static_cast<unsigned>(k) >= size) return false;
  return mkdir(out, 0700) == 0 || errno == EEXIST;
}

LibraryCallFolder::LibraryCallFolder(const char* folder) {
  if (!folder || !folder[0]) return;
  switched_ = getcwd(saved_, sizeof saved_) && chdir(folder) == 0;
}

LibraryCallFolder::~LibraryCallFolder() {
  if (switched_ && chdir(saved_) != 0) switched_ = false;
}

// The same layout as on Windows: the type at offset 0, the BSTR at offset 8.
TextAsVariant::TextAsVariant(const char* text) {
  memset(storage_, 0, sizeof(storage_));
  size_t n = strlen(text);
  auto* wide = static_cast<uint16_t*>(calloc(n + 1, sizeof(uint16_t)));
  for (size_t i = 0; wide && i < n; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  uint16_t vt = 8;   // VT_BSTR
  memcpy(storage_, &vt, sizeof(vt));
  memcpy(storage_ + 8, &wide, sizeof(wide));
  owned_ = wide;
}

TextAsVariant::~TextAsVariant() { free(owned_); }
#endif
