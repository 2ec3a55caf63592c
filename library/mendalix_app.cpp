#include "library/mendalix_app.h"

#include <cstdio>
#include <initializer_list>

#include "library/driver_requests.h"
#include "protocol/driver_protocol.h"

namespace {

// A device that reports no usable COM index is left out of the map and closed: the map has
// only the four ports, and nothing could ever reach the device again.
bool MapDevice(MendalixState& st, const char* name, platform::DeviceHandle h) {
  uint32_t index = 255;
  if (!MyGetComIndx(st, h, &index) || index >= static_cast<uint32_t>(kPortCount)) {
    st.dev.Close(h);
    return false;
  }
  // A later device reporting the same port takes the entry. The earlier one has been told
  // "MON_ON" and, like every device, stays open for the library's lifetime.
  platform::DeviceHandle earlier = st.ComPortMapHandle[index];
  if (earlier && earlier != h) {
    int k = 0;
    while (k < kPortCount && st.ReplacedHandle[k]) ++k;   // four devices leave a slot free
    if (k < kPortCount) st.ReplacedHandle[k] = earlier;
  }
  CopyField(st.ComPortMapName[index], name);
  st.ComPortMapHandle[index] = h;
  return true;
}

}  // namespace

CMendalixApp::CMendalixApp(MendalixState& st) : st_(st) {
  CopyField(st.szIniName, "Quorvex.ini");
  for (int n = 0; n < SARNO_DEVICE_COUNT; ++n) {
    char name[kDeviceNameSize];
    snprintf(name, sizeof(name), "%s%d", SARNO_DEVICE_PREFIX, n);
    st.hCtrlDevice = st.dev.Open(name);
    if (st.hCtrlDevice == platform::InvalidDevice()) continue;
    if (!MapDevice(st, name, st.hCtrlDevice)) {
      st.hCtrlDevice = platform::InvalidDevice();   // closed: never send to it again
      continue;
    }
    CopyField(st.m_sPrt, "MON_ON");
    MyMONITOR(st);   // the driver's answer changes nothing here
  }
  LoadSetting(st.settings, st.szIniName);
}

int CMendalixApp::ExitInstance(bool processEnding) {
  MendalixState& st = st_;
  st.StopThread = 1;
  st.clock.Sleep(kUnloadWaitMs);

  // A reader still blocked in its read would run on in code that is about to go away: end
  // the read on the reader's own device and see it leave. At unload the loader lock is held
  // and a thread's end needs it, so this polls the flag the reader clears as its last act.
  bool readerInside = st.ReaderRunning != 0 && !processEnding;
  if (readerInside) {
    MyStopMonitor(st, st.ReaderDevice);
    for (uint32_t waited = 0; st.ReaderRunning != 0 && waited < kUnloadReaderLimitMs;
         waited += kUnloadPollMs)
      st.clock.Sleep(kUnloadPollMs);
    readerInside = st.ReaderRunning != 0;
    // A read that completes later runs the reader on in this library's code: keep it.
    if (readerInside) st.threads.KeepModuleLoaded();
  }

  for (platform::DeviceHandle* handles : {st.ComPortMapHandle, st.ReplacedHandle}) {
    for (int i = 0; i < kPortCount; ++i) {
      platform::DeviceHandle h = handles[i];
      if (!h) continue;
      // A reader that never came back keeps its device: closing a handle under a read
      // could let it read whatever reuses the handle.
      if (readerInside && h == st.ReaderDevice) continue;
      st.dev.Close(h);
      handles[i] = nullptr;
    }
  }
  return 0;
}
