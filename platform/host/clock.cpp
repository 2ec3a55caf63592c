// The host's real clock: steady_clock time and real sleeps.
#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace platform {
namespace {

class HostClock : public Clock {
 public:
  void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  uint64_t NowMs() override {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
};

}  // namespace

Clock& SystemClock() {
  // Never destroyed: a library's unload may still use it after the statics have gone.
  static HostClock* clock = new HostClock;
  return *clock;
}

}  // namespace platform
