// The serial ports COM1..COM4 as the setup program probes them: open, line settings,
// time-outs, close.
//
// Contract: Open is CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ |
// FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL) and returns InvalidComm() when the port
// does not exist or another program holds it (a serial port admits one opener). GetState and
// SetState are GetCommState/SetCommState, GetTimeouts and SetTimeouts their time-out twins;
// they return non-zero on success. A CommState read by GetState carries the whole device
// control block, so SetState writes back every field the caller did not change as it was read.
// Calls come from the dialog's thread only.
#pragma once
#include <cstdint>

namespace platform {

using CommHandle = void*;  // a HANDLE on Windows
inline CommHandle InvalidComm() { return reinterpret_cast<CommHandle>(-1); }

constexpr uint8_t kNoParity = 0;           // NOPARITY
constexpr uint8_t kOneStopBit = 0;         // ONESTOPBIT
constexpr uint32_t kRtsControlEnable = 1;  // RTS_CONTROL_ENABLE

// The fields of a device control block (DCB) that the program sets; the rest of the block
// travels untouched in raw.
struct CommState {
  uint32_t BaudRate = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;
  uint8_t StopBits = 0;
  uint32_t fRtsControl = 0;
  alignas(4) unsigned char raw[32] = {};  // the block as read; the adapter's business
};

// COMMTIMEOUTS, field for field, in milliseconds.
struct CommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

class CommApi {
 public:
  virtual ~CommApi() = default;
  virtual CommHandle Open(const char* name) = 0;
  virtual int GetState(CommHandle h, CommState* state) = 0;
  virtual int SetState(CommHandle h, const CommState& state) = 0;
  virtual int GetTimeouts(CommHandle h, CommTimeouts* timeouts) = 0;
  virtual int SetTimeouts(CommHandle h, const CommTimeouts& timeouts) = 0;
  virtual void Close(CommHandle h) = 0;  // CloseHandle
};

// The platform's serial ports (the Win32 adapter; on the host a fake with no ports).
CommApi& SystemComm();

}  // namespace platform
