// The simulated driver on the host: the control devices "\\.\Sarno<n>" of a scenario, served
// by the portable model, and the serial ports COM1..COM4 that its terminal dongles provide.
//
// Connection states go to the registry as the driver publishes them (HKLM, the driver's
// Parameters key, "COM<n>ConnectState", REG_DWORD); the settings file path comes from its
// "BTiniPath" value ("\??\" stripped). Time comes from a platform::Clock; timed events fire
// whenever the devices are used, while a read is blocked, and on Tick().
//
// A scenario's "unplug" removes a port's control devices and serial port as a pulled-out USB
// dongle's go: their open handles fail every call from then on (a blocked Read returns
// failed), and they cannot be opened until "plug" brings them back under the same names.
//
// Thread safe: a reader thread may sit in Read while another thread sends requests.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/registry.h"
#include "simulator/model/sim_model.h"

namespace simulator {

// Parses scenario text; on failure returns false with "line N: why" in *error.
bool ParseScenario(const std::string& text, sim_scenario* out, std::string* error);
// Reads and parses a scenario file.
bool LoadScenarioFile(const std::string& path, sim_scenario* out, std::string* error);

class SimulatorDevices : public platform::DeviceApi {
 public:
  SimulatorDevices(const sim_scenario& scenario, platform::RegistryApi& registry,
                   platform::Clock& clock);
  ~SimulatorDevices() override;
  SimulatorDevices(const SimulatorDevices&) = delete;
  SimulatorDevices& operator=(const SimulatorDevices&) = delete;

  // DeviceApi
  platform::DeviceHandle Open(const char* name) override;
  int Control(platform::DeviceHandle h, uint32_t code, const void* in, uint32_t inLen,
              void* out, uint32_t outLen, uint32_t* returned) override;
  int Read(platform::DeviceHandle h, void* buf, uint32_t len, uint32_t* got) override;
  void Close(platform::DeviceHandle h) override;

  // The serial port of COM index 0..3: exists when its terminal dongle is plugged in and
  // admits one opener at a time. An opener gets the port's unplug count as its ticket; once
  // the dongle was pulled out the ticket is dead (even after a plug), and the port is free
  // for a new opener as soon as the dongle is back.
  bool OpenSerialPort(int comIndex, uint32_t* ticket = nullptr);
  void CloseSerialPort(int comIndex, uint32_t ticket);
  void CloseSerialPort(int comIndex);  // whichever opener holds it
  bool SerialPortOpen(int comIndex, uint32_t ticket);
  bool SerialPortOpen(int comIndex);

  // The serial data path (see sim_serial_write): bytes to the printer at the end of the
  // port's link, its answers back, the roll it printed. SerialWrite returns the bytes the
  // port took (0 while the link is down), SerialRead the answer bytes it gave.
  uint32_t SerialWrite(int comIndex, const void* data, uint32_t len);
  uint32_t SerialRead(int comIndex, void* buf, uint32_t len);
  void SerialPurge(int comIndex);
  // The raw bytes on the port's roll, and with rendered the same as text with tags.
  std::string Roll(int comIndex, bool rendered = false);
  platform::Clock& clock() { return clock_; }

  // Fires the events whose time has come by the clock.
  void Tick();
  // Fires the next timed event now (sim_fire_next); how many fired, 0 when none was left.
  int FireNextEvent();

  // A Read with nothing to return fails after this much real time (default 30 s), so that a
  // lost stop request shows as a failed read rather than a hung test.
  void SetReadSafetyMs(uint32_t ms);

  // What the model saw, for tests.
  uint32_t LinkState(int comIndex);
  sim_stats Stats();
  std::vector<sim_log_entry> Log();
  int ReadsPending(int device);   // reads blocked in Read right now
  int OpenHandles();

 private:
  struct Handle {
    int device;
    bool open;
    int readers;       // threads inside Read on this handle
    uint32_t unplugs;  // the device's unplug count when opened: a later one removed it
  };

  static void OnStateChanged(void* ctx, int comIndex, uint32_t state);
  static void OnReadReady(void* ctx, int device);
  static int OnSettingsPath(void* ctx, char* out, size_t size);
  static int OnReadFile(void* ctx, const char* path, char* buf, size_t size, size_t* len);
  static int OnWriteFile(void* ctx, const char* path, const char* data, size_t len);

  Handle* Find(platform::DeviceHandle h);  // under mu_; null for a closed or removed one
  bool Removed(const Handle& handle);      // under mu_: its device was unplugged since
  void TickLocked();

  platform::RegistryApi& registry_;
  platform::Clock& clock_;
  std::mutex mu_;
  std::condition_variable readable_;
  sim_model model_;  // large (the settings buffers): lives inside this object
  std::map<uintptr_t, Handle> handles_;
  uintptr_t nextHandle_ = 0x5A10;
  bool serialOpen_[SIM_PORT_COUNT] = {};
  uint32_t serialTicket_[SIM_PORT_COUNT] = {};  // the unplug count its opener got
  uint32_t readSafetyMs_ = 30000;
};

}  // namespace simulator
