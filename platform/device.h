// The control devices of the printer-dongle driver, as the library reaches them.
//
// Contract: every call is synchronous and may block (a Read blocks until the driver has
// text for it or completes it, for instance after IOCTL_SARNO_STOP_MONITOR). Calls on one
// handle may come from two threads at once: the monitor reader inside Read, and a caller
// sending a request. Implementations must be safe for that.
#pragma once
#include <cstdint>

namespace platform {

using DeviceHandle = void*;                              // a HANDLE on Windows
inline DeviceHandle InvalidDevice() { return reinterpret_cast<DeviceHandle>(-1); }

class DeviceApi {
 public:
  virtual ~DeviceApi() = default;
  // CreateFileA(name, GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE,
  //             FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL).
  // Returns InvalidDevice() when the device cannot be opened.
  virtual DeviceHandle Open(const char* name) = 0;
  // DeviceIoControl, synchronous. Returns the request's success value (non-zero = the
  // driver completed it); *returned receives the output byte count when not null.
  virtual int Control(DeviceHandle h, uint32_t code, const void* in, uint32_t inLen,
                      void* out, uint32_t outLen, uint32_t* returned) = 0;
  // ReadFile, synchronous. Returns non-zero on success; *got receives the byte count.
  virtual int Read(DeviceHandle h, void* buf, uint32_t len, uint32_t* got) = 0;
  // CloseHandle.
  virtual void Close(DeviceHandle h) = 0;
};

// The real devices of this platform (the driver's on Windows; none on the host).
DeviceApi& SystemDevices();

}  // namespace platform
