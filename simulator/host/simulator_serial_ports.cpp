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

// A handle names the port and the opener's ticket, so that one opened before the dongle
// was unplugged stays dead after it is back.
platform::CommHandle SimulatorSerialPorts::Open(const char* name) {
  int port = PortOfName(name);
  uint32_t ticket = 0;
  if (port < 0 || !devices_.OpenSerialPort(port, &ticket)) return platform::InvalidComm();
  return reinterpret_cast<platform::CommHandle>(kHandleBase + static_cast<uintptr_t>(port) +
                                                SIM_PORT_COUNT * static_cast<uintptr_t>(ticket));
}

int SimulatorSerialPorts::IndexOf(platform::CommHandle h, uint32_t* ticket) {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v < kHandleBase || h == platform::InvalidComm()) return -1;
  int port = static_cast<int>((v - kHandleBase) % SIM_PORT_COUNT);
  uint32_t t = static_cast<uint32_t>((v - kHandleBase) / SIM_PORT_COUNT);
  if (ticket) *ticket = t;
  return devices_.SerialPortOpen(port, t) ? port : -1;
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
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v < kHandleBase || h == platform::InvalidComm()) return;
  // also a handle of a removed port: it no longer holds the port that came back
  devices_.CloseSerialPort(static_cast<int>((v - kHandleBase) % SIM_PORT_COUNT),
                           static_cast<uint32_t>((v - kHandleBase) / SIM_PORT_COUNT));
}

namespace {

sim_timeouts ModelTimeouts(const platform::CommTimeouts& t) {
  return sim_timeouts{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                      t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                      t.WriteTotalTimeoutConstant};
}

// "Forever" still ends on the host, so that a test that forgot its time-outs fails.
constexpr uint32_t kSafetyMs = 30000;
constexpr uint32_t kSliceMs = 10;

}  // namespace

platform::CommHandle SimulatorSerialPorts::OpenLine(const char* name, platform::LineOpen* result) {
  platform::CommHandle h = Open(name);
  int port = PortOfName(name);
  if (h != platform::InvalidComm())
    *result = platform::LineOpen::kOpened;
  else
    *result = port >= 0 && devices_.SerialPortOpen(port) ? platform::LineOpen::kInUse
                                                         : platform::LineOpen::kNoSuchPort;
  return h;
}

int SimulatorSerialPorts::WriteLine(platform::CommHandle h, const void* data, uint32_t len,
                                    uint32_t* written) {
  if (written) *written = 0;
  int port = IndexOf(h);
  if (port < 0) return 0;
  sim_timeouts t = ModelTimeouts(Timeouts(port));
  uint32_t wait = sim_write_wait_ms(&t, len);
  if (wait > kSafetyMs) wait = kSafetyMs;
  platform::Clock& clock = devices_.clock();
  const uint64_t start = clock.NowMs();
  for (;;) {
    uint32_t n = devices_.SerialWrite(port, data, len);
    if (n > 0 || len == 0) {
      if (written) *written = n;
      return 1;
    }
    uint64_t waited = clock.NowMs() - start;
    if (waited >= wait) return 1;  // timed out: nothing written, as a serial driver says
    clock.Sleep(static_cast<uint32_t>(wait - waited < kSliceMs ? wait - waited : kSliceMs));
  }
}

int SimulatorSerialPorts::ReadLine(platform::CommHandle h, void* buf, uint32_t len, uint32_t* got) {
  if (got) *got = 0;
  int port = IndexOf(h);
  if (port < 0) return 0;
  sim_timeouts t = ModelTimeouts(Timeouts(port));
  uint32_t wait = sim_read_wait_ms(&t, len);
  if (wait > kSafetyMs) wait = kSafetyMs;
  platform::Clock& clock = devices_.clock();
  const uint64_t start = clock.NowMs();
  uint32_t have = 0;
  for (;;) {
    have += devices_.SerialRead(port, static_cast<unsigned char*>(buf) + have, len - have);
    if (sim_read_ends(&t, have, len)) break;
    uint64_t waited = clock.NowMs() - start;
    if (waited >= wait) break;
    clock.Sleep(static_cast<uint32_t>(wait - waited < kSliceMs ? wait - waited : kSliceMs));
  }
  if (got) *got = have;
  return 1;
}

int SimulatorSerialPorts::PurgeLine(platform::CommHandle h) {
  int port = IndexOf(h);
  if (port < 0) return 0;
  devices_.SerialPurge(port);
  return 1;
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
