// The simulated driver as a plug-in for the host build of the library. With MENDALIX_DEVICES
// naming this shared object and SARNOVEK_SCENARIO a scenario file, the host library (and so
// the host btctl) talks to that scenario's control devices instead of finding none:
//
//   MENDALIX_DEVICES=build/host/bin/libsarnovek_host.so \
//   SARNOVEK_SCENARIO=simulator/scenarios/default.txt build/host/bin/btctl query COM1
//
// The driver's registry key lives in this process's memory; MendalixRegistryApi lends it to
// btctl's status and watch, and MendalixSerialLine lends the serial ports to print-test and
// health. Its "BTiniPath" names Quorvex.ini in the current directory, the file the library
// itself reads, so that a query's findings land where the library and btctl look for them.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "protocol/driver_protocol.h"
#include "platform/host/memory_registry.h"
#include "simulator/host/simulator_devices.h"
#include "simulator/host/simulator_serial_ports.h"

namespace {

void PublishSettingsPath(platform::RegistryApi& registry) {
  char dir[1024];
  if (!getcwd(dir, sizeof dir)) return;
  std::string value = std::string("\\??\\") + dir + "/Quorvex.ini";
  platform::RegKey key = nullptr;
  if (registry.CreateKey(platform::HKeyLocalMachine(), SARNO_PARAMETERS_KEY, &key) != platform::kErrorSuccess)
    return;
  registry.SetValue(key, SARNO_INI_PATH_VALUE, platform::kRegSz, value.c_str(),
                    static_cast<uint32_t>(value.size()));
  registry.CloseKey(key);
}

// One key for the process, made at the first use by the library or by btctl.
platform::MemoryRegistry& DriverKey() {
  static platform::MemoryRegistry* registry = [] {
    auto* r = new platform::MemoryRegistry();   // never destroyed, like the devices
    PublishSettingsPath(*r);
    return r;
  }();
  return *registry;
}

simulator::SimulatorDevices* Devices();

}  // namespace

extern "C" __attribute__((visibility("default"))) void* MendalixRegistryApi() {
  return static_cast<platform::RegistryApi*>(&DriverKey());
}

namespace {

// The scenario's devices, made at the first use by the library or by btctl; null when the
// scenario cannot be loaded (said once on stderr).
simulator::SimulatorDevices* Devices() {
  static simulator::SimulatorDevices* devices = []() -> simulator::SimulatorDevices* {
    const char* path = std::getenv("SARNOVEK_SCENARIO");
    if (!path || !*path) {
      std::fprintf(stderr, "sarnovek_host: SARNOVEK_SCENARIO names no scenario file\n");
      return nullptr;
    }
    // Kept for the life of the process (never destroyed): the library closes its devices
    // when it unloads, which may come after this object's static destructors would run.
    auto* scenario = new sim_scenario();
    std::string error;
    if (!simulator::LoadScenarioFile(path, scenario, &error)) {
      std::fprintf(stderr, "sarnovek_host: %s: %s\n", path, error.c_str());
      delete scenario;
      return nullptr;
    }
    auto* d = new simulator::SimulatorDevices(*scenario, DriverKey(), platform::SystemClock());
    // Like the driver's timer, a ticker lets the scenario's timed events happen while nobody
    // uses the devices (a printer leaving range while btctl only watches the states).
    std::thread([d] {
      for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        d->Tick();
      }
    }).detach();
    return d;
  }();
  return devices;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void* MendalixDeviceApi() {
  simulator::SimulatorDevices* devices = Devices();
  return devices ? static_cast<platform::DeviceApi*>(devices) : nullptr;
}

// The serial ports of the same devices, for btctl's print-test and health.
extern "C" __attribute__((visibility("default"))) void* MendalixSerialLine() {
  static simulator::SimulatorSerialPorts* ports =
      Devices() ? new simulator::SimulatorSerialPorts(*Devices()) : nullptr;
  return ports ? static_cast<platform::SerialLineApi*>(ports) : nullptr;
}
