// A serial port as a program that talks to the device at its far end uses it: opened alone,
// its time-outs set, stale input thrown away, bytes written and read, closed again.
//
// Contract: OpenLine is CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL,
// OPEN_EXISTING, 0, NULL); on failure it returns InvalidComm() and says in *result whether
// another program holds the port or there is no such port. SetLineTimeouts is
// SetCommTimeouts, PurgeLine PurgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR), WriteLine and
// ReadLine are WriteFile and ReadFile (they end as the time-outs say: a write that could
// not go out reports fewer bytes written, a read that found nothing reports 0 bytes got).
// They return non-zero on success. One thread uses a handle at a time.
#pragma once
#include <cstdint>

#include "platform/comm.h"

namespace platform {

enum class LineOpen { kOpened, kInUse, kNoSuchPort };

class SerialLineApi {
 public:
  virtual ~SerialLineApi() = default;
  virtual CommHandle OpenLine(const char* name, LineOpen* result) = 0;
  virtual int SetLineTimeouts(CommHandle h, const CommTimeouts& timeouts) = 0;
  virtual int PurgeLine(CommHandle h) = 0;
  virtual int WriteLine(CommHandle h, const void* data, uint32_t len, uint32_t* written) = 0;
  virtual int ReadLine(CommHandle h, void* buf, uint32_t len, uint32_t* got) = 0;
  virtual void CloseLine(CommHandle h) = 0;
};

// The Win32 adapter (win32 flavour only; on the host the simulated driver's ports serve).
SerialLineApi& SystemSerialLine();

}  // namespace platform
