#include "tests/support/virtual_clock.h"

#include <chrono>

namespace platform {

VirtualClock::VirtualClock(Mode mode, uint64_t startMs, uint32_t safetyLimitMs)
    : mode_(mode), now_(startMs), safetyLimitMs_(safetyLimitMs) {}

void VirtualClock::Sleep(uint32_t ms) {
  std::unique_lock<test::Mutex> lk(m_);
  sleptMs_ += ms;
  ++sleepCalls_;
  const uint64_t deadline = now_ + ms;
  if (mode_ == Mode::Auto || ms == 0) {
    if (now_ < deadline) now_ = deadline;
    cv_.notify_all();   // a manual WaitForSleepers may be watching the time move
    return;
  }
  int slot = -1;
  if (tracked_ < kMaxTracked) {
    slot = tracked_++;
    deadlines_[slot] = deadline;
  }
  ++sleepers_;
  cv_.notify_all();     // wakes WaitForSleepers
  const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(safetyLimitMs_);
  bool reached = cv_.wait_until(lk, limit, [&] { return now_ >= deadline || mode_ == Mode::Auto; });
  if (!reached) {
    ++safetyExpiries_;
    if (now_ < deadline) now_ = deadline;
  }
  --sleepers_;
  if (slot >= 0) {
    // Remove our deadline; the order of the others does not matter.
    for (int i = 0; i < tracked_; ++i) {
      if (deadlines_[i] == deadline) {
        deadlines_[i] = deadlines_[--tracked_];
        break;
      }
    }
  }
  cv_.notify_all();
}

uint64_t VirtualClock::NowMs() {
  std::lock_guard<test::Mutex> lk(m_);
  return now_;
}

void VirtualClock::Advance(uint32_t ms) {
  std::lock_guard<test::Mutex> lk(m_);
  now_ += ms;
  cv_.notify_all();
}

bool VirtualClock::AdvanceToNextDeadline() {
  std::lock_guard<test::Mutex> lk(m_);
  if (tracked_ == 0) return false;
  uint64_t next = deadlines_[0];
  for (int i = 1; i < tracked_; ++i)
    if (deadlines_[i] < next) next = deadlines_[i];
  if (now_ < next) now_ = next;
  cv_.notify_all();
  return true;
}

void VirtualClock::SetMode(Mode mode) {
  std::lock_guard<test::Mutex> lk(m_);
  mode_ = mode;
  if (mode == Mode::Auto) {
    for (int i = 0; i < tracked_; ++i)
      if (now_ < deadlines_[i]) now_ = deadlines_[i];
  }
  cv_.notify_all();
}

VirtualClock::Mode VirtualClock::GetMode() {
  std::lock_guard<test::Mutex> lk(m_);
  return mode_;
}

int VirtualClock::Sleepers() {
  std::lock_guard<test::Mutex> lk(m_);
  return sleepers_;
}

bool VirtualClock::WaitForSleepers(int n, uint32_t realMs) {
  std::unique_lock<test::Mutex> lk(m_);
  if (realMs > safetyLimitMs_) realMs = safetyLimitMs_;
  return cv_.wait_for(lk, std::chrono::milliseconds(realMs), [&] { return sleepers_ >= n; });
}

int VirtualClock::SafetyExpiries() {
  std::lock_guard<test::Mutex> lk(m_);
  return safetyExpiries_;
}

uint64_t VirtualClock::SleptMs() {
  std::lock_guard<test::Mutex> lk(m_);
  return sleptMs_;
}

uint64_t VirtualClock::SleepCalls() {
  std::lock_guard<test::Mutex> lk(m_);
  return sleepCalls_;
}

}  // namespace platform
