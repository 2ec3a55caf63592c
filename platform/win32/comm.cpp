// Serial ports through the Win32 file and comm-state calls.
#include "platform/comm.h"

#include <windows.h>

#include <cstddef>
#include <cstring>

namespace platform {
namespace {

static_assert(sizeof(DCB) <= sizeof(CommState::raw), "CommState::raw must hold a DCB");

// The line settings the program sets, either way between a DCB and a CommState.
template <typename From, typename To>
void CopyLineSettings(const From& f, To& t) {
  t.BaudRate = f.BaudRate;
  t.ByteSize = f.ByteSize;
  t.Parity = f.Parity;
  t.StopBits = f.StopBits;
  t.fRtsControl = f.fRtsControl;
}

// CommTimeouts is COMMTIMEOUTS field for field: five DWORDs in the same order.
static_assert(sizeof(CommTimeouts) == sizeof(COMMTIMEOUTS) &&
                  offsetof(COMMTIMEOUTS, WriteTotalTimeoutConstant) ==
                      offsetof(CommTimeouts, WriteTotalTimeoutConstant),
              "CommTimeouts must mirror COMMTIMEOUTS");

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
    CopyLineSettings(dcb, *state);
    return ok ? 1 : 0;
  }
  int SetState(CommHandle h, const CommState& state) override {
    DCB dcb;
    std::memcpy(&dcb, state.raw, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    CopyLineSettings(state, dcb);
    return SetCommState(static_cast<HANDLE>(h), &dcb) ? 1 : 0;
  }
  int GetTimeouts(CommHandle h, CommTimeouts* t) override {
    COMMTIMEOUTS ct;
    std::memset(&ct, 0, sizeof ct);
    BOOL ok = GetCommTimeouts(static_cast<HANDLE>(h), &ct);
    std::memcpy(static_cast<void*>(t), &ct, sizeof ct);
    return ok ? 1 : 0;
  }
  int SetTimeouts(CommHandle h, const CommTimeouts& t) override {
    COMMTIMEOUTS ct;
    std::memcpy(&ct, &t, sizeof ct);
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
