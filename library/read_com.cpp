#include "library/read_com.h"

#include "library/driver_requests.h"

void ReadCom(void* state) {
  MendalixState& st = *static_cast<MendalixState*>(state);
  platform::ThreadApi& threads = st.threads;
  char buf[kTextSize];
  while (st.StopThread == 0) {
    st.ReadPending = 1;
    uint32_t got = 0;
    int ok = st.dev.Read(st.ReaderDevice, buf, kTextSize - 1, &got);
    st.ReadPending = 0;
    if (ok && got > 0) {
      buf[got < kTextSize ? got : kTextSize - 1] = '\0';   // monitor text; nothing uses it
    }
    // A device that keeps failing would otherwise turn this loop into a spin.
    if (!ok && st.StopThread == 0) st.clock.Sleep(kReadRetryPauseMs);
  }
  // Last act inside the library: once ReaderRunning reads 0 the shutdown may close the
  // devices and the library's code may go away, so the store and the thread's end are one
  // step that runs none of this code after it.
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
  st.ReaderDevice = st.ComPortMapHandle[0] ? st.ComPortMapHandle[0] : st.hCtrlDevice;
  st.ReaderRunning = 1;
  platform::ThreadHandle t = st.threads.Start(ReadCom, &st);
  if (!t) {
    st.ReaderRunning = 0;
    return;
  }
  st.threads.Release(t);   // the library keeps no reference to the thread
}

void SignalReaderStop(MendalixState& st) {
  st.StopThread = 1;
  MyStopMonitor(st, st.hCtrlDevice);
  if (st.ReaderRunning != 0 && st.ReaderDevice && st.ReaderDevice != st.hCtrlDevice)
    MyStopMonitor(st, st.ReaderDevice);
}

void WaitReadNotPending(MendalixState& st) {
  for (uint32_t waited = 0; st.ReadPending == 1 && waited < kMonitorStopLimitMs;
       waited += kMonitorPollMs)
    st.clock.Sleep(kMonitorPollMs);
}
