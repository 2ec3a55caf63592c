// The driver's control devices through the file and device calls, synchronous.
#include <windows.h>

#include "platform/device.h"

namespace platform {
namespace {

class Win32Devices : public DeviceApi {
 public:
  DeviceHandle Open(const char* name) override {
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    return h == INVALID_HANDLE_VALUE ? InvalidDevice() : static_cast<DeviceHandle>(h);
  }
  int Control(DeviceHandle h, uint32_t code, const void* in, uint32_t inLen, void* out,
              uint32_t outLen, uint32_t* returned) override {
    DWORD got = 0;
    BOOL ok = DeviceIoControl(static_cast<HANDLE>(h), code, const_cast<void*>(in), inLen, out,
                              outLen, &got, NULL);
    if (returned) *returned = got;
    return ok ? 1 : 0;
  }
  int Read(DeviceHandle h, void* buf, uint32_t len, uint32_t* got) override {
    DWORD n = 0;
    BOOL ok = ReadFile(static_cast<HANDLE>(h), buf, len, &n, NULL);
    if (got) *got = n;
    return ok ? 1 : 0;
  }
  void Close(DeviceHandle h) override { CloseHandle(static_cast<HANDLE>(h)); }
};

// Built before any code runs (no guarded local static: the library stays free of the
// runtime's exception support).
Win32Devices theDevices;

}  // namespace

DeviceApi& SystemDevices() { return theDevices; }

}  // namespace platform
