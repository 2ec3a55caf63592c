// Time as the portable logic sees it: fixed sleeps and a millisecond clock.
//
// Contract: Sleep(ms) returns after at least ms milliseconds of this clock's time; NowMs is
// monotonic. The Win32 clock is Sleep and GetTickCount; tests use a virtual clock whose
// sleeps advance time without waiting, so that no test waits out the fixed pauses.
// Safe to call from any thread.
#pragma once
#include <cstdint>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(uint32_t ms) = 0;
  virtual uint64_t NowMs() = 0;
};

// The real clock of this platform (Sleep/GetTickCount on Windows, steady_clock on the host).
Clock& SystemClock();

}  // namespace platform
