#include "simulator/host/simulator_serial_ports.h"

#include <cstdint>

namespace simulator {
namespace {

constexpr uintptr_t kHandleBase = 0xC0A0;

int PortOfName(const char* name) {
  // "COM1".."COM4", also in the "\\.\COM1" spelling
  if (!name) return -1;
  if (name[0] == '\\' && name[1] == '\\' && name[2] == '.' && name[3] == '\\') name += 4;
  if (name[0] != 'C' || name[1] != 'O' || name[2] != 'M') return -1;
  if (name[3] < '1' || name[3] > '4' || name[4] != '\0') return -1;
  return name[3] - '1';
}

}  // namespace

platform::CommHandle SimulatorSerialPorts::Open(const char* name) {
  int port = PortOfName(name);
  if (port < 0 || !devices_.OpenSerialPort(port)) return platform::InvalidComm();
  return reinterpret_cast<platform::CommHandle>(kHandleBase + static_cast<uintptr_t>(port));
}

int SimulatorSerialPorts::IndexOf(platform::CommHandle h) {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v < kHandleBase || v >= kHandleBase + SIM_PORT_COUNT) return -1;
  int port = static_cast<int>(v - kHandleBase);
  return devices_.SerialPortOpen(port) ? port : -1;
}

int SimulatorSerialPorts::GetState(platform::CommHandle h, platform::CommState* state) {
  int port = IndexOf(h);
  if (port < 0 || !state) return 0;
  std::lock_guard<std::mutex> lock(mu_);
  *state = state_[port];
  return 1;
}

int SimulatorSerialPorts::SetState(platform::CommHandle h, const platform::CommState& state) {
  int port = IndexOf(h);
  if (port < 0) return 0;
  std::lock_guard<std::mutex> lock(mu_);
  state_[port] = state;
  return 1;
}

int SimulatorSerialPorts::GetTimeouts(platform::CommHandle h, platform::CommTimeouts* timeouts) {
  int port = IndexOf(h);
  if (port < 0 || !timeouts) return 0;
  std::lock_guard<std::mutex> lock(mu_);
  *timeouts = timeouts_[port];
  return 1;
}

int SimulatorSerialPorts::SetTimeouts(platform::CommHandle h,
                                      const platform::CommTimeouts& timeouts) {
  int port = IndexOf(h);
  if (port < 0) return 0;
  std::lock_guard<std::mutex> lock(mu_);
  timeouts_[port] = timeouts;
  return 1;
}

void SimulatorSerialPorts::Close(platform::CommHandle h) {
  int port = IndexOf(h);
  if (port >= 0) devices_.CloseSerialPort(port);
}

platform::CommState SimulatorSerialPorts::State(int comIndex) {
  std::lock_guard<std::mutex> lock(mu_);
  return comIndex >= 0 && comIndex < SIM_PORT_COUNT ? state_[comIndex] : platform::CommState{};
}

platform::CommTimeouts SimulatorSerialPorts::Timeouts(int comIndex) {
  std::lock_guard<std::mutex> lock(mu_);
  return comIndex >= 0 && comIndex < SIM_PORT_COUNT ? timeouts_[comIndex]
                                                     : platform::CommTimeouts{};
}

}  // namespace simulator
