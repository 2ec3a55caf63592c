#include "tests/support/fake_comm.h"

#include <cstring>

namespace platform {

namespace {
// Handles are the port number over a base that no real pointer near zero takes.
constexpr uintptr_t kHandleBase = 0xC0700;

int PortFromName(const char* name) {
  if (!name || std::strncmp(name, "COM", 3) != 0) return 0;
  if (name[3] < '1' || name[3] > '4' || name[4] != '\0') return 0;
  return name[3] - '0';
}
}  // namespace

FakeComm::FakeComm() {
  // A block as a port driver might hand it out: 9600 7E2, no RTS, and other fields set so
  // that a test can see they survive a write-back.
  deviceState.BaudRate = 9600;
  deviceState.ByteSize = 7;
  deviceState.Parity = 2;
  deviceState.StopBits = 2;
  deviceState.fRtsControl = 0;
  for (size_t i = 0; i < sizeof deviceState.raw; ++i)
    deviceState.raw[i] = static_cast<unsigned char>(0xA0 + i);
  deviceTimeouts.ReadIntervalTimeout = 50;
  deviceTimeouts.ReadTotalTimeoutMultiplier = 10;
  deviceTimeouts.ReadTotalTimeoutConstant = 100;
  deviceTimeouts.WriteTotalTimeoutMultiplier = 10;
  deviceTimeouts.WriteTotalTimeoutConstant = 100;
}

void FakeComm::SetPresent(int port, bool present) {
  if (port >= 1 && port <= 4) present_[port] = present;
}

void FakeComm::SetHeldByOther(int port, bool held) {
  if (port >= 1 && port <= 4) held_[port] = held;
}

int FakeComm::CountOf(Op op) const {
  int n = 0;
  for (const Call& c : calls_) n += c.op == op;
  return n;
}

bool FakeComm::IsOpen(int port) const { return port >= 1 && port <= 4 && open_[port]; }

int FakeComm::PortOf(CommHandle h) const {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v <= kHandleBase || v > kHandleBase + 4) return 0;
  int port = static_cast<int>(v - kHandleBase);
  return open_[port] ? port : 0;
}

void FakeComm::Record(Op op, int port, const CommState* s, const CommTimeouts* t) {
  Call c{op, port, s ? *s : CommState{}, t ? *t : CommTimeouts{}};
  calls_.push_back(c);
}

CommHandle FakeComm::Open(const char* name) {
  int port = PortFromName(name);
  Record(Op::kOpen, port);
  if (port == 0 || !present_[port] || held_[port] || open_[port]) return InvalidComm();
  if (openGate && !openGate(port)) return InvalidComm();
  open_[port] = true;
  return reinterpret_cast<CommHandle>(kHandleBase + port);
}

int FakeComm::GetState(CommHandle h, CommState* state) {
  int port = PortOf(h);
  Record(Op::kGetState, port);
  if (!port) return 0;
  *state = deviceState;
  return 1;
}

int FakeComm::SetState(CommHandle h, const CommState& state) {
  int port = PortOf(h);
  Record(Op::kSetState, port, &state);
  if (!port) return 0;
  deviceState = state;
  return 1;
}

int FakeComm::GetTimeouts(CommHandle h, CommTimeouts* timeouts) {
  int port = PortOf(h);
  Record(Op::kGetTimeouts, port);
  if (!port || timeoutsUnreadable) return 0;
  *timeouts = deviceTimeouts;
  return 1;
}

int FakeComm::SetTimeouts(CommHandle h, const CommTimeouts& timeouts) {
  int port = PortOf(h);
  Record(Op::kSetTimeouts, port, nullptr, &timeouts);
  if (!port) return 0;
  deviceTimeouts = timeouts;
  return 1;
}

void FakeComm::Close(CommHandle h) {
  int port = PortOf(h);
  Record(Op::kClose, port);
  if (port) open_[port] = false;
}

CommApi& SystemComm() {
  // The host has no serial ports of its own.
  static FakeComm comm;
  return comm;
}

}  // namespace platform
