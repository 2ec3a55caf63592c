// The host has no printer-dongle driver: no control device ever opens.
#include "platform/device.h"

namespace platform {
namespace {

class NoDevices : public DeviceApi {
 public:
  DeviceHandle Open(const char*) override { return InvalidDevice(); }
  int Control(DeviceHandle, uint32_t, const void*, uint32_t, void*, uint32_t,
              uint32_t* returned) override {
    if (returned) *returned = 0;
    return 0;
  }
  int Read(DeviceHandle, void*, uint32_t, uint32_t* got) override {
    if (got) *got = 0;
    return 0;
  }
  void Close(DeviceHandle) override {}
};

}  // namespace

DeviceApi& SystemDevices() {
  // Never destroyed: a library's unload may still use it after the statics have gone.
  static NoDevices* devices = new NoDevices;
  return *devices;
}

}  // namespace platform
