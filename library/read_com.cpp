#include "library/read_com.h"

#include "library/driver_requests.h"
#include "library/port_map.h"

namespace {

// Devices a new look dropped while this reader may have been reading them.
void CloseRetired(MendalixState& st) {
  for (auto& slot : st.ReaderRetired)
    if (platform::DeviceHandle h = slot.exchange(nullptr)) st.dev.Close(h);
}

}  // namespace

void ReadCom(void* state) {
  MendalixState& st = *static_cast<MendalixState*>(state);
  platform::ThreadApi& threads = st.threads;
  void* module = st.ReaderModule;
  char buf[kTextSize];
  while (st.StopThread == 0) {
    platform::DeviceHandle h = st.ReaderDevice.load();
    int ok = 0;
    if (h) {
      st.ReadPending = 1;
      uint32_t got = 0;
      ok = st.dev.Read(h, buf, kTextSize - 1, &got);
      st.ReadPending = 0;
      if (ok && got > 0) {
        buf[got < kTextSize ? got : kTextSize - 1] = '\0';   // monitor text; nothing uses it
      }
    }
    CloseRetired(st);
    // A device that keeps failing, or none there, would otherwise turn this loop into a spin.
    if (!ok && st.StopThread == 0) st.clock.Sleep(kReadRetryPauseMs);
  }
  CloseRetired(st);
  if (module) {
    // The reference taken for this thread keeps the library, and the state in it, until
    // the thread has left: the flag may drop first.
    st.ReaderRunning = 0;
    threads.ReleaseModuleAndExit(module, 0);
    return;
  }
  // Without a reference (the host), the store and the thread's end are one step that runs
  // none of this code after it: once ReaderRunning reads 0 the library may go.
  threads.ClearAndExit(st.ReaderRunning);
}

void StartReader(MendalixState& st) {
  // A reader told to stop may still be on its way out; let it leave, so that one reader
  // runs afterwards, not none and not two.
  if (st.ReaderRunning != 0 && st.StopThread != 0) {
    for (uint32_t waited = 0; st.ReaderRunning != 0 && waited < kMonitorStopLimitMs;
         waited += kMonitorPollMs)
      st.clock.Sleep(kMonitorPollMs);
  }
  st.StopThread = 0;
  if (st.ReaderRunning != 0) return;   // the running reader goes on

  // The reader reads the device of COM1; without one, the device of the call's port.
  st.ReaderPort = ComPortMapHandle(st, 0) ? 0 : st.CallPort;
  st.ReaderDevice = ComPortMapHandle(st, st.ReaderPort);
  // The reader holds the library from before it exists until it has left.
  st.ReaderModule = st.threads.HoldThisModule();
  st.ReaderRunning = 1;
  platform::ThreadHandle t = st.threads.Start(ReadCom, &st);
  if (!t) {
    st.ReaderRunning = 0;
    st.threads.ReleaseModule(st.ReaderModule);
    st.ReaderModule = nullptr;
    return;
  }
  st.threads.Release(t);   // the library keeps no reference to the thread
}

void SignalReaderStop(MendalixState& st) {
  st.StopThread = 1;
  MyStopMonitor(st, st.hCtrlDevice);
  const platform::DeviceHandle reading = st.ReaderDevice.load();
  if (st.ReaderRunning != 0 && reading && reading != st.hCtrlDevice) MyStopMonitor(st, reading);
}

void WaitReadNotPending(MendalixState& st) {
  for (uint32_t waited = 0; st.ReadPending == 1 && waited < kMonitorStopLimitMs;
       waited += kMonitorPollMs)
    st.clock.Sleep(kMonitorPollMs);
}
