// Serial ports through the Win32 file and comm-state calls.
#include "platform/comm.h"

#include <windows.h>

#include <cstring>

namespace platform {
namespace {

static_assert(sizeof(DCB) <= sizeof(CommState::raw), "CommState::raw must hold a DCB");

class Win32Comm : public CommApi {
 public:
  CommHandle Open(const char* name) override {
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    return h == INVALID_HANDLE_VALUE ? InvalidComm() : static_cast<CommHandle>(h);
  }
  int GetState(CommHandle h, CommState* state) override {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    BOOL ok = GetCommState(static_cast<HANDLE>(h), &dcb);
    std::memcpy(state->raw, &dcb, sizeof dcb);
    state->BaudRate = dcb.BaudRate;
    state->ByteSize = dcb.ByteSize;
    state->Parity = dcb.Parity;
    state->StopBits = dcb.StopBits;
    state->fRtsControl = dcb.fRtsControl;
    return ok ? 1 : 0;
  }
  int SetState(CommHandle h, const CommState& state) override {
    DCB dcb;
    std::memcpy(&dcb, state.raw, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = state.BaudRate;
    dcb.ByteSize = state.ByteSize;
    dcb.Parity = state.Parity;
    dcb.StopBits = state.StopBits;
    dcb.fRtsControl = state.fRtsControl;
    return SetCommState(static_cast<HANDLE>(h), &dcb) ? 1 : 0;
  }
  int GetTimeouts(CommHandle h, CommTimeouts* t) override {
    COMMTIMEOUTS ct;
    std::memset(&ct, 0, sizeof ct);
    BOOL ok = GetCommTimeouts(static_cast<HANDLE>(h), &ct);
    t->ReadIntervalTimeout = ct.ReadIntervalTimeout;
    t->ReadTotalTimeoutMultiplier = ct.ReadTotalTimeoutMultiplier;
    t->ReadTotalTimeoutConstant = ct.ReadTotalTimeoutConstant;
    t->WriteTotalTimeoutMultiplier = ct.WriteTotalTimeoutMultiplier;
    t->WriteTotalTimeoutConstant = ct.WriteTotalTimeoutConstant;
    return ok ? 1 : 0;
  }
  int SetTimeouts(CommHandle h, const CommTimeouts& t) override {
    COMMTIMEOUTS ct;
    ct.ReadIntervalTimeout = t.ReadIntervalTimeout;
    ct.ReadTotalTimeoutMultiplier = t.ReadTotalTimeoutMultiplier;
    ct.ReadTotalTimeoutConstant = t.ReadTotalTimeoutConstant;
    ct.WriteTotalTimeoutMultiplier = t.WriteTotalTimeoutMultiplier;
    ct.WriteTotalTimeoutConstant = t.WriteTotalTimeoutConstant;
    return SetCommTimeouts(static_cast<HANDLE>(h), &ct) ? 1 : 0;
  }
  void Close(CommHandle h) override { CloseHandle(static_cast<HANDLE>(h)); }
};

// Built before any code runs (no guarded local static, which would bring in the
// runtime's exception support).
Win32Comm theComm;

}  // namespace

CommApi& SystemComm() { return theComm; }

}  // namespace platform
