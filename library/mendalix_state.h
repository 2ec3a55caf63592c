// Everything the printer link library keeps between calls, in one object per process.
//
// The names are the library's own (hCtrlDevice, ComPortMapName, m_sPrt, DllEntered, ...).
// The platform is reached only through the three injected seams, so tests build as many
// states as they like over a stand-in driver and a virtual clock.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/thread.h"
#include "protocol/driver_protocol.h"
#include "settings/settings.h"

constexpr int kTextSize = 256;        // command and port texts: 255 + NUL
constexpr int kPathSize = 256;

// Fixed pauses of the library, in milliseconds.
constexpr uint32_t kConnectPauseMs = 300;    // before and between connect attempts
constexpr uint32_t kMonitorPollMs = 200;     // monitor stop's look at ReadPending
constexpr uint32_t kMonitorStopLimitMs = 2000;  // the monitor stop waits no longer than this
constexpr uint32_t kReadRetryPauseMs = 200;  // after a failed monitor read
constexpr uint32_t kUnloadWaitMs = 2000;     // shutdown's wait after setting StopThread
constexpr uint32_t kUnloadPollMs = 10;       // shutdown's look at the reader, once told to end
constexpr uint32_t kUnloadReaderLimitMs = 2000;

struct MendalixState {
  MendalixState(platform::DeviceApi& devices, platform::Clock& clock, platform::ThreadApi& threads)
      : dev(devices), clock(clock), threads(threads) {}
  MendalixState(const MendalixState&) = delete;
  MendalixState& operator=(const MendalixState&) = delete;

  platform::DeviceApi& dev;
  platform::Clock& clock;
  platform::ThreadApi& threads;

  platform::DeviceHandle hCtrlDevice = platform::InvalidDevice();  // target of the next request
  // What the library knows of each control device, by device number: the handle held open
  // for it (null: none, the one spelling of "no device"; a new look opens only the numbers
  // not held) and the COM index it serves (-1: none, as for a device whose port a later one
  // took at start-up, which stays open until the unload). The port map (ComPortMapName,
  // ComPortMapHandle) is read from these records: see port_map.h.
  struct ControlDevice {
    platform::DeviceHandle handle = nullptr;
    int port = -1;
  };
  ControlDevice Devices[SARNO_DEVICE_COUNT];
  // Per COM index: some device served the port since the load. Such a port without a device
  // has lost its dongle (0x10) rather than never had a driver (2), and keeps its settings.
  bool PortSeen[kPortCount] = {};
  bool LookedThisCall = false;           // one new look for devices per call at most
  int CallPort = 0;                      // COM index of the current call

  // Monitor flags, shared with the reader thread; each has one writer.
  std::atomic<int32_t> StopThread{0};    // set to end the reader
  std::atomic<int32_t> ReadPending{0};   // 1 while the reader is inside its read
  // 1 from the reader's start until its very last act before it ends itself, so that the
  // shutdown can see it has left without waiting on the thread (not allowed at unload).
  std::atomic<int32_t> ReaderRunning{0};
  // The device the reader reads; null while no device is there to read. A new look that
  // drops the reader's device hands it over in ReaderRetired for the reader to close once
  // its read has returned: the reader never reads a closed handle.
  std::atomic<platform::DeviceHandle> ReaderDevice{nullptr};
  std::atomic<platform::DeviceHandle> ReaderRetired[kPortCount] = {};
  int ReaderPort = 0;                    // COM index of the device the reader reads
  void* ReaderModule = nullptr;          // the reference on the library the reader holds

  char m_sPrt[kTextSize] = {};           // command buffer: the text of the current call
  char PortText[kTextSize] = {};         // the port argument of the current call, as text

  // 1 while an exported call runs (observable busy flag); CallLock makes the look and the
  // setting one step and lets a waiting call start as soon as the running one returns.
  std::atomic<int32_t> DllEntered{0};
  platform::Lock CallLock;

  Settings settings;
  char szIniName[kPathSize] = {};        // the settings file, by bare name: "Quorvex.ini"
};
