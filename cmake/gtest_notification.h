// GoogleTest's Notification (used only by its own thread helper) for the win32 thread model,
// whose runtime has no std::mutex or std::condition_variable; force-included into every
// GoogleTest build with GTEST_HAS_NOTIFICATION_ set, so that gtest-port.h skips its own.
#pragma once
#include <atomic>
#include <chrono>
#include <thread>

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing
