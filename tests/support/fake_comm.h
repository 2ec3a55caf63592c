// Serial ports for host tests: COM1..COM4 that exist or not and may be held by another
// program, with a record of every call the program made on them.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/comm.h"

namespace platform {

class FakeComm : public CommApi {
 public:
  enum class Op { kOpen, kGetState, kSetState, kGetTimeouts, kSetTimeouts, kClose };
  struct Call {
    Op op;
    int port;             // 1..4, 0 for a name that is no port
    CommState state;      // kSetState: what was written
    CommTimeouts timeouts;  // kSetTimeouts: what was written
  };

  FakeComm();

  // A port exists when a terminal dongle is plugged in; by default none does.
  void SetPresent(int port, bool present);
  // Another program has the port open, so an open fails like on a real serial port.
  void SetHeldByOther(int port, bool held);
  // Called before each open with the port number; returning false fails the open. Lets a
  // test tie the ports to a simulated dongle or to what the driver is doing at that moment.
  std::function<bool(int port)> openGate;

  // What GetState and GetTimeouts report, as the port's driver would have them.
  CommState deviceState;
  CommTimeouts deviceTimeouts;
  bool timeoutsUnreadable = false;  // GetTimeouts fails

  const std::vector<Call>& Calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  int CountOf(Op op) const;
  bool IsOpen(int port) const;

  CommHandle Open(const char* name) override;
  int GetState(CommHandle h, CommState* state) override;
  int SetState(CommHandle h, const CommState& state) override;
  int GetTimeouts(CommHandle h, CommTimeouts* timeouts) override;
  int SetTimeouts(CommHandle h, const CommTimeouts& timeouts) override;
  void Close(CommHandle h) override;

 private:
  int PortOf(CommHandle h) const;
  void Record(Op op, int port, const CommState* s = nullptr, const CommTimeouts* t = nullptr);

  bool present_[5] = {};
  bool held_[5] = {};
  bool open_[5] = {};
  std::vector<Call> calls_;
};

}  // namespace platform
