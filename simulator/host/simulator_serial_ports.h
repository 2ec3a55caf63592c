// The serial ports COM1..COM4 of the simulated driver as the setup program opens them: a
// port exists when the scenario plugs a terminal dongle into it, and admits one opener.
// An unplug fails every call on the handles opened before it.
// Line settings and time-outs are kept per port as written, so a test can read them back.
#pragma once
#include <mutex>

#include "platform/comm.h"
#include "platform/serial_line.h"
#include "simulator/host/simulator_devices.h"

namespace simulator {

class SimulatorSerialPorts : public platform::CommApi, public platform::SerialLineApi {
 public:
  explicit SimulatorSerialPorts(SimulatorDevices& devices) : devices_(devices) {}

  platform::CommHandle Open(const char* name) override;
  int GetState(platform::CommHandle h, platform::CommState* state) override;
  int SetState(platform::CommHandle h, const platform::CommState& state) override;
  int GetTimeouts(platform::CommHandle h, platform::CommTimeouts* timeouts) override;
  int SetTimeouts(platform::CommHandle h, const platform::CommTimeouts& timeouts) override;
  void Close(platform::CommHandle h) override;

  // SerialLineApi: the data path to the printer at the end of the port's link, honouring
  // the time-outs set on the port as a serial driver does: a write waits out its time-out
  // while the link is down, a read waits for the printer's answer until its time-out.
  platform::CommHandle OpenLine(const char* name, platform::LineOpen* result) override;
  int SetLineTimeouts(platform::CommHandle h, const platform::CommTimeouts& t) override {
    return SetTimeouts(h, t);
  }
  int PurgeLine(platform::CommHandle h) override;
  int WriteLine(platform::CommHandle h, const void* data, uint32_t len, uint32_t* written) override;
  int ReadLine(platform::CommHandle h, void* buf, uint32_t len, uint32_t* got) override;
  void CloseLine(platform::CommHandle h) override { Close(h); }

  // What was last written to the port (index 0..3).
  platform::CommState State(int comIndex);
  platform::CommTimeouts Timeouts(int comIndex);

 private:
  // -1 for a handle that is not open or whose port was unplugged since
  int IndexOf(platform::CommHandle h, uint32_t* ticket = nullptr);

  SimulatorDevices& devices_;
  std::mutex mu_;
  platform::CommState state_[SIM_PORT_COUNT];
  platform::CommTimeouts timeouts_[SIM_PORT_COUNT];
};

}  // namespace simulator
