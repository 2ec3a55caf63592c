#include "library/port_map.h"

#include <cstring>

#include "library/driver_requests.h"

namespace {

const char* const kDeviceNames[SARNO_DEVICE_COUNT] = {
    SARNO_DEVICE_PREFIX "0", SARNO_DEVICE_PREFIX "1",
    SARNO_DEVICE_PREFIX "2", SARNO_DEVICE_PREFIX "3"};
static_assert(SARNO_DEVICE_COUNT == 4, "a name for every device number");

bool Answers(MendalixState& st, platform::DeviceHandle h, uint32_t* index) {
  return MyGetComIndx(st, h, index) && *index < static_cast<uint32_t>(kPortCount);
}

// A device that has gone: the reader may be inside a read on it, so the reader closes it
// once that read has returned; any other handle closes at once.
void Retire(MendalixState& st, platform::DeviceHandle h) {
  if (st.ReaderRunning != 0 && st.ReaderDevice.load() == h) {
    st.ReaderDevice.store(nullptr);   // before the hand-over: the reader then reads no more of it
    for (auto& slot : st.ReaderRetired) {
      platform::DeviceHandle none = nullptr;
      if (slot.compare_exchange_strong(none, h)) return;
    }
    return;   // no slot free: left open rather than closed under the reader
  }
  st.dev.Close(h);
}

void Drop(MendalixState& st, int port) {
  MendalixState::ControlDevice& d = st.Devices[PortDevice(st, port)];
  const platform::DeviceHandle h = d.handle;
  d = MendalixState::ControlDevice();
  Retire(st, h);
}

// With a look under way a device for a port still held is wanted only when the held one no
// longer answers; at start-up a later device always takes the port, and the earlier one,
// told "MON_ON" like every device, stays open.
bool Map(MendalixState& st, int n, platform::DeviceHandle h, bool atStartUp) {
  uint32_t index = 255;
  if (!MyGetComIndx(st, h, &index) || index >= static_cast<uint32_t>(kPortCount)) {
    st.dev.Close(h);
    return false;
  }
  const int port = static_cast<int>(index);
  const int earlier = PortDevice(st, port);
  if (earlier >= 0 && !atStartUp) {
    uint32_t heldIndex = 255;
    if (Answers(st, st.Devices[earlier].handle, &heldIndex)) {
      st.dev.Close(h);
      return false;
    }
    Drop(st, port);
  } else if (earlier >= 0) {
    st.Devices[earlier].port = -1;
  }
  st.Devices[n] = {h, port};
  st.PortSeen[port] = true;
  return true;
}

// The COM index the device was mapped to, or -1.
int OpenAndMap(MendalixState& st, int n, bool atStartUp) {
  st.hCtrlDevice = st.dev.Open(kDeviceNames[n]);
  if (st.hCtrlDevice == platform::InvalidDevice()) return -1;
  if (!Map(st, n, st.hCtrlDevice, atStartUp)) {
    st.hCtrlDevice = platform::InvalidDevice();   // closed: never send to it again
    return -1;
  }
  CopyField(st.m_sPrt, "MON_ON");
  MyMONITOR(st);   // the driver's answer changes nothing here
  return st.Devices[n].port;
}

}  // namespace

int PortDevice(const MendalixState& st, int port) {
  for (int n = 0; n < SARNO_DEVICE_COUNT; ++n)
    if (st.Devices[n].handle && st.Devices[n].port == port) return n;
  return -1;
}

platform::DeviceHandle ComPortMapHandle(const MendalixState& st, int port) {
  const int n = PortDevice(st, port);
  return n >= 0 ? st.Devices[n].handle : nullptr;
}

const char* ComPortMapName(const MendalixState& st, int port) {
  const int n = PortDevice(st, port);
  return n >= 0 ? kDeviceNames[n] : "";
}

bool OpenAndMapDevice(MendalixState& st, int n) { return OpenAndMap(st, n, true) >= 0; }

bool LookAgainForDevices(MendalixState& st, int port) {
  st.LookedThisCall = true;
  const bool named = port >= 0 && port < kPortCount;
  uint32_t index = 255;
  // The port is free for a device found anew when it had none or its device was dropped.
  bool freed = named && !ComPortMapHandle(st, port);
  if (named && !freed && !Answers(st, ComPortMapHandle(st, port), &index)) {
    Drop(st, port);
    freed = true;
  }

  char text[kTextSize];
  CopyField(text, st.m_sPrt);
  bool opened = false;
  for (int n = 0; n < SARNO_DEVICE_COUNT; ++n)
    if (!st.Devices[n].handle && OpenAndMap(st, n, false) == port && named) opened = true;
  CopyField(st.m_sPrt, text);

  // A reader left without a device reads its port's device again once it is back.
  const platform::DeviceHandle readerPortDevice = ComPortMapHandle(st, st.ReaderPort);
  if (st.ReaderRunning != 0 && !st.ReaderDevice.load() && readerPortDevice)
    st.ReaderDevice.store(readerPortDevice);
  const platform::DeviceHandle known = named ? ComPortMapHandle(st, port) : nullptr;
  st.hCtrlDevice = known ? known : platform::InvalidDevice();
  return freed && opened;
}
