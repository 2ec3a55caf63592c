// The registry, in the Win32 API's own terms (RegOpenKeyA, RegCreateKeyA, RegQueryValueExA,
// RegSetValueExA, RegCloseKey). Results are Win32 error codes: 0 (ERROR_SUCCESS) or not.
//
// Contract: a QueryValue on a missing value returns non-zero and leaves *cb as the platform
// leaves it (the host registry follows what Wine does); data longer than *cb gives
// ERROR_MORE_DATA (234) with *cb set to the size needed. Safe to call from any thread.
#pragma once
#include <cstdint>

namespace platform {

using RegKey = void*;  // an HKEY
inline RegKey HKeyLocalMachine() { return reinterpret_cast<RegKey>(static_cast<intptr_t>(0x80000002)); }

constexpr uint32_t kRegSz = 1;      // REG_SZ
constexpr uint32_t kRegDword = 4;   // REG_DWORD
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorMoreData = 234;

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;
  virtual long OpenKey(RegKey root, const char* subKey, RegKey* out) = 0;    // never creates
  virtual long CreateKey(RegKey root, const char* subKey, RegKey* out) = 0;  // opens or creates
  virtual long QueryValue(RegKey key, const char* name, uint32_t* type, void* data,
                          uint32_t* cb) = 0;
  virtual long SetValue(RegKey key, const char* name, uint32_t type, const void* data,
                        uint32_t cb) = 0;
  virtual long CloseKey(RegKey key) = 0;
};

// The platform's registry (the Win32 adapter; on the host one in-memory registry per process).
RegistryApi& SystemRegistry();

}  // namespace platform
