// A clock for tests: time moves only when the test (or a sleeper, in auto mode) moves it.
//
// Auto mode: Sleep(ms) adds ms to the clock and returns at once, so fixed pauses cost nothing
// and a sequence of sleeps can be read back as timestamps.
// Manual mode: Sleep(ms) blocks until Advance has moved the clock to the sleeper's deadline.
// Tests use this to hold a thread at a known point and to watch what happens in between.
//
// Every blocking wait (a manual Sleep, WaitForSleepers) is also bounded by a real-time safety
// limit, so a broken test fails instead of hanging; a Sleep cut short that way moves the
// clock to its own deadline (keeping the Clock contract) and counts one SafetyExpiries().
// All members are safe to call from any thread.
#pragma once
#include <cstdint>

#include "platform/clock.h"
#include "platform/test_threads.h"

namespace platform {

class VirtualClock : public Clock {
 public:
  enum class Mode { Auto, Manual };

  explicit VirtualClock(Mode mode = Mode::Auto, uint64_t startMs = 0,
                        uint32_t safetyLimitMs = 10000);

  void Sleep(uint32_t ms) override;
  uint64_t NowMs() override;

  // Moves the clock forward by ms and wakes every sleeper whose deadline has come.
  void Advance(uint32_t ms);
  // Moves the clock to the earliest deadline of a blocked sleeper; false when none sleeps.
  bool AdvanceToNextDeadline();
  // Switching to Auto releases every blocked sleeper (the clock moves to the latest deadline).
  void SetMode(Mode mode);
  Mode GetMode();

  // Threads blocked in Sleep right now (manual mode).
  int Sleepers();
  // Waits in real time, at most realMs (and never past the safety limit), until at least n
  // threads are blocked in Sleep. True when they are.
  bool WaitForSleepers(int n, uint32_t realMs = 5000);

  // Sleeps that ended by the safety limit rather than by Advance.
  int SafetyExpiries();
  // Sum of all ms ever asked of Sleep, and the number of Sleep calls.
  uint64_t SleptMs();
  uint64_t SleepCalls();

 private:
  test::Mutex m_;
  test::CondVar cv_;
  Mode mode_;
  uint64_t now_;
  uint32_t safetyLimitMs_;
  int sleepers_ = 0;
  int safetyExpiries_ = 0;
  uint64_t sleptMs_ = 0;
  uint64_t sleepCalls_ = 0;
  // Deadlines of blocked sleepers, for AdvanceToNextDeadline and SetMode(Auto).
  static constexpr int kMaxTracked = 64;
  uint64_t deadlines_[kMaxTracked] = {};
  int tracked_ = 0;
};

}  // namespace platform
