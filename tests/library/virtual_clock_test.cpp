// The test clock that the library's and the setup program's tests run on.
#include "tests/support/virtual_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/test_threads.h"

using platform::VirtualClock;

TEST(VirtualClock, AutoModeSleepsAddUpWithoutWaiting) {
  VirtualClock clock(VirtualClock::Mode::Auto, 1000);
  auto realStart = std::chrono::steady_clock::now();
  clock.Sleep(300);
  EXPECT_EQ(clock.NowMs(), 1300u);
  clock.Sleep(2000);
  EXPECT_EQ(clock.NowMs(), 3300u);
  EXPECT_EQ(clock.SleptMs(), 2300u);
  EXPECT_EQ(clock.SleepCalls(), 2u);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::milliseconds(500));
}

TEST(VirtualClock, ManualModeHoldsASleeperUntilTheTestAdvancesToItsDeadline) {
  VirtualClock clock(VirtualClock::Mode::Manual);
  std::atomic<bool> woke{false};
  platform::test::Thread sleeper([&] {
    clock.Sleep(300);
    woke = true;
  });
  ASSERT_TRUE(clock.WaitForSleepers(1));
  clock.Advance(299);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(woke);
  clock.Advance(1);
  sleeper.join();
  EXPECT_TRUE(woke);
  EXPECT_EQ(clock.NowMs(), 300u);
  EXPECT_EQ(clock.Sleepers(), 0);
  EXPECT_EQ(clock.SafetyExpiries(), 0);
}

TEST(VirtualClock, AdvanceToNextDeadlineWakesTheEarliestSleeperFirst) {
  VirtualClock clock(VirtualClock::Mode::Manual);
  std::atomic<int> order{0};
  std::atomic<int> shortDone{0}, longDone{0};
  platform::test::Thread a([&] { clock.Sleep(500); longDone = ++order; });
  platform::test::Thread b([&] { clock.Sleep(200); shortDone = ++order; });
  ASSERT_TRUE(clock.WaitForSleepers(2));
  ASSERT_TRUE(clock.AdvanceToNextDeadline());
  b.join();
  EXPECT_EQ(clock.NowMs(), 200u);
  EXPECT_EQ(shortDone, 1);
  ASSERT_TRUE(clock.WaitForSleepers(1));
  ASSERT_TRUE(clock.AdvanceToNextDeadline());
  a.join();
  EXPECT_EQ(clock.NowMs(), 500u);
  EXPECT_EQ(longDone, 2);
  EXPECT_FALSE(clock.AdvanceToNextDeadline());
}

TEST(VirtualClock, ABrokenTestThatNeverAdvancesIsReleasedByTheSafetyLimit) {
  VirtualClock clock(VirtualClock::Mode::Manual, 0, 50);
  clock.Sleep(10000);                      // nobody advances
  EXPECT_EQ(clock.SafetyExpiries(), 1);
  EXPECT_EQ(clock.NowMs(), 10000u);        // still at least the time asked for
  EXPECT_FALSE(clock.WaitForSleepers(1, 1000));   // also bounded by the 50 ms limit
}

TEST(VirtualClock, SwitchingToAutoReleasesBlockedSleepers) {
  VirtualClock clock(VirtualClock::Mode::Manual);
  platform::test::Thread sleeper([&] { clock.Sleep(700); });
  ASSERT_TRUE(clock.WaitForSleepers(1));
  clock.SetMode(VirtualClock::Mode::Auto);
  sleeper.join();
  EXPECT_EQ(clock.NowMs(), 700u);
  clock.Sleep(5);
  EXPECT_EQ(clock.NowMs(), 705u);
}
