// The Windows clock: Sleep and GetTickCount, widened so that it never wraps back.
#include <windows.h>

#include "platform/clock.h"

namespace platform {
namespace {

class Win32Clock : public Clock {
 public:
  void Sleep(uint32_t ms) override { ::Sleep(ms); }
  uint64_t NowMs() override {
    // GetTickCount wraps after 49.7 days; count the wraps so that the clock stays monotonic.
    DWORD now = GetTickCount();
    LONG prev = InterlockedExchange(&last_, static_cast<LONG>(now));
    if (now < static_cast<DWORD>(prev)) InterlockedIncrement(&wraps_);
    return (static_cast<uint64_t>(static_cast<DWORD>(wraps_)) << 32) | now;
  }

 private:
  volatile LONG last_ = 0;
  volatile LONG wraps_ = 0;
};

// Built before any code runs (no guarded local static: the library stays free of the
// runtime's exception support).
Win32Clock theClock;

}  // namespace

Clock& SystemClock() { return theClock; }

}  // namespace platform
