#include "library/port_map.h"

#include <cstdio>
#include <cstring>

#include "library/driver_requests.h"

namespace {

bool Answers(MendalixState& st, platform::DeviceHandle h, uint32_t* index) {
  return MyGetComIndx(st, h, index) && *index < static_cast<uint32_t>(kPortCount);
}

void Hold(MendalixState& st, int n, platform::DeviceHandle h) {
  if (n >= 0 && n < SARNO_DEVICE_COUNT) st.DeviceHandleOf[n] = h;
}

void Unhold(MendalixState& st, platform::DeviceHandle h) {
  for (platform::DeviceHandle& held : st.DeviceHandleOf)
    if (held == h) held = nullptr;
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
  platform::DeviceHandle h = st.ComPortMapHandle[port];
  st.ComPortMapName[port][0] = '\0';
  st.ComPortMapHandle[port] = nullptr;
  Unhold(st, h);
  Retire(st, h);
}

// With a look under way a device for a port still held is wanted only when the held one no
// longer answers; at start-up a later device always takes the entry.
bool Map(MendalixState& st, int n, const char* name, platform::DeviceHandle h, bool atStartUp) {
  uint32_t index = 255;
  if (!MyGetComIndx(st, h, &index) || index >= static_cast<uint32_t>(kPortCount)) {
    st.dev.Close(h);
    return false;
  }
  platform::DeviceHandle earlier = st.ComPortMapHandle[index];
  if (earlier && earlier != h) {
    uint32_t heldIndex = 255;
    if (!atStartUp) {
      if (Answers(st, earlier, &heldIndex)) {
        st.dev.Close(h);
        return false;
      }
      Drop(st, static_cast<int>(index));
    } else {
      // The earlier one has been told "MON_ON" and, like every device, stays open.
      int k = 0;
      while (k < kPortCount && st.ReplacedHandle[k]) ++k;   // four devices leave a slot free
      if (k < kPortCount) st.ReplacedHandle[k] = earlier;
    }
  }
  CopyField(st.ComPortMapName[index], name);
  st.ComPortMapHandle[index] = h;
  st.PortSeen[index] = true;
  Hold(st, n, h);
  return true;
}

// The COM index the device was mapped to, or -1.
int OpenAndMap(MendalixState& st, int n, bool atStartUp) {
  char name[kDeviceNameSize];
  snprintf(name, sizeof(name), "%s%d", SARNO_DEVICE_PREFIX, n);
  st.hCtrlDevice = st.dev.Open(name);
  if (st.hCtrlDevice == platform::InvalidDevice()) return -1;
  if (!Map(st, n, name, st.hCtrlDevice, atStartUp)) {
    st.hCtrlDevice = platform::InvalidDevice();   // closed: never send to it again
    return -1;
  }
  CopyField(st.m_sPrt, "MON_ON");
  MyMONITOR(st);   // the driver's answer changes nothing here
  for (int port = 0; port < kPortCount; ++port)
    if (st.ComPortMapHandle[port] == st.hCtrlDevice) return port;
  return -1;
}

}  // namespace

bool OpenAndMapDevice(MendalixState& st, int n) { return OpenAndMap(st, n, true) >= 0; }

bool LookAgainForDevices(MendalixState& st, int port) {
  st.LookedThisCall = true;
  const bool named = port >= 0 && port < kPortCount;
  uint32_t index = 255;
  // The port is free for a device found anew when it had none or its device was dropped.
  bool freed = named && !st.ComPortMapHandle[port];
  if (named && !freed && !Answers(st, st.ComPortMapHandle[port], &index)) {
    Drop(st, port);
    freed = true;
  }

  char text[kTextSize];
  CopyField(text, st.m_sPrt);
  bool opened = false;
  for (int n = 0; n < SARNO_DEVICE_COUNT; ++n)
    if (!st.DeviceHandleOf[n] && OpenAndMap(st, n, false) == port && named) opened = true;
  CopyField(st.m_sPrt, text);

  // A reader left without a device reads its port's device again once it is back.
  if (st.ReaderRunning != 0 && !st.ReaderDevice.load() && st.ComPortMapHandle[st.ReaderPort])
    st.ReaderDevice.store(st.ComPortMapHandle[st.ReaderPort]);
  const bool known = named && st.ComPortMapHandle[port];
  st.hCtrlDevice = known ? st.ComPortMapHandle[port] : platform::InvalidDevice();
  return freed && opened;
}
