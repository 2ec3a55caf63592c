#include "library/mendalix_app.h"

#include "library/driver_requests.h"
#include "library/port_map.h"

CMendalixApp::CMendalixApp(MendalixState& st) : st_(st) {
  CopyField(st.szIniName, "Quorvex.ini");
  for (int n = 0; n < SARNO_DEVICE_COUNT; ++n) OpenAndMapDevice(st, n);
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
  const platform::DeviceHandle readerDevice = st.ReaderDevice.load();
  if (readerInside) {
    if (readerDevice) MyStopMonitor(st, readerDevice);
    for (uint32_t waited = 0; st.ReaderRunning != 0 && waited < kUnloadReaderLimitMs;
         waited += kUnloadPollMs)
      st.clock.Sleep(kUnloadPollMs);
    readerInside = st.ReaderRunning != 0;
    // A read that completes later runs the reader on in this library's code: keep it.
    if (readerInside) st.threads.KeepModuleLoaded();
  }

  // A reader that never came back keeps its device: closing a handle under a read could let
  // it read whatever reuses the handle.
  auto close = [&](MendalixState::ControlDevice& d) {
    if (!d.handle || (readerInside && d.handle == readerDevice)) return;
    st.dev.Close(d.handle);
    d = MendalixState::ControlDevice();
  };
  // By port first, as the port map lists them; then those whose port a later device took.
  for (int port = 0; port < kPortCount; ++port)
    if (const int n = PortDevice(st, port); n >= 0) close(st.Devices[n]);
  for (MendalixState::ControlDevice& d : st.Devices) close(d);
  // Devices that went while the reader read them: closed by the reader, or here once it
  // has left.
  if (!readerInside) {
    for (auto& slot : st.ReaderRetired)
      if (platform::DeviceHandle h = slot.exchange(nullptr)) st.dev.Close(h);
  }
  return 0;
}
