// A serial port for talking to the printer at its far end: the Win32 file and comm calls.
#include "platform/serial_line.h"

#include <windows.h>

#include <cstring>

namespace platform {
namespace {

class Win32SerialLine : public SerialLineApi {
 public:
  CommHandle OpenLine(const char* name, LineOpen* result) override {
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    DWORD error = GetLastError();
    if (h != INVALID_HANDLE_VALUE) {
      // Where the platform lets a second opener in and the port's driver refuses it each
      // request instead, the port is as much in use as a refused open says.
      COMMTIMEOUTS ct;
      if (GetCommTimeouts(h, &ct) || GetLastError() != ERROR_ACCESS_DENIED) {
        *result = LineOpen::kOpened;
        return static_cast<CommHandle>(h);
      }
      CloseHandle(h);
      error = ERROR_ACCESS_DENIED;
    }
    *result = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                  ? LineOpen::kInUse
                  : LineOpen::kNoSuchPort;
    return InvalidComm();
  }
  int SetLineTimeouts(CommHandle h, const CommTimeouts& t) override {
    COMMTIMEOUTS ct;
    static_assert(sizeof ct == sizeof t, "CommTimeouts mirrors COMMTIMEOUTS");
    std::memcpy(&ct, &t, sizeof ct);
    return SetCommTimeouts(static_cast<HANDLE>(h), &ct) ? 1 : 0;
  }
  int PurgeLine(CommHandle h) override {
    return PurgeComm(static_cast<HANDLE>(h), PURGE_RXCLEAR | PURGE_TXCLEAR) ? 1 : 0;
  }
  int WriteLine(CommHandle h, const void* data, uint32_t len, uint32_t* written) override {
    DWORD n = 0;
    BOOL ok = WriteFile(static_cast<HANDLE>(h), data, len, &n, nullptr);
    *written = n;
    return ok ? 1 : 0;
  }
  int ReadLine(CommHandle h, void* buf, uint32_t len, uint32_t* got) override {
    DWORD n = 0;
    BOOL ok = ReadFile(static_cast<HANDLE>(h), buf, len, &n, nullptr);
    *got = n;
    return ok ? 1 : 0;
  }
  void CloseLine(CommHandle h) override { CloseHandle(static_cast<HANDLE>(h)); }
};

// Built before any code runs (no guarded local static).
Win32SerialLine theLine;

}  // namespace

SerialLineApi& SystemSerialLine() { return theLine; }

}  // namespace platform
