// The registry through the ANSI calls: RegOpenKeyA, RegCreateKeyA, RegQueryValueExA,
// RegSetValueExA, RegCloseKey.
#include <windows.h>

#include "platform/registry.h"

namespace platform {

namespace {

class Win32Registry : public RegistryApi {
 public:
  long OpenKey(RegKey root, const char* subKey, RegKey* out) override {
    HKEY k = nullptr;
    long r = RegOpenKeyA(static_cast<HKEY>(root), subKey, &k);
    *out = k;
    return r;
  }
  long CreateKey(RegKey root, const char* subKey, RegKey* out) override {
    HKEY k = nullptr;
    long r = RegCreateKeyA(static_cast<HKEY>(root), subKey, &k);
    *out = k;
    return r;
  }
  long QueryValue(RegKey key, const char* name, uint32_t* type, void* data,
                  uint32_t* cb) override {
    DWORD t = type ? *type : 0;
    DWORD n = cb ? *cb : 0;
    long r = RegQueryValueExA(static_cast<HKEY>(key), name, nullptr, type ? &t : nullptr,
                              static_cast<BYTE*>(data), cb ? &n : nullptr);
    if (type) *type = t;
    if (cb) *cb = n;
    return r;
  }
  long SetValue(RegKey key, const char* name, uint32_t type, const void* data,
                uint32_t cb) override {
    return RegSetValueExA(static_cast<HKEY>(key), name, 0, type,
                          static_cast<const BYTE*>(data), cb);
  }
  long CloseKey(RegKey key) override { return RegCloseKey(static_cast<HKEY>(key)); }
};

// Built before any code runs (no guarded local static, which would bring in the
// runtime's exception support).
Win32Registry theRegistry;

}  // namespace

RegistryApi& SystemRegistry() { return theRegistry; }

}  // namespace platform
