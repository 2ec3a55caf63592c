// Switching link monitoring on and off: the reader thread, the requests, the waits.
#include <chrono>
#include <thread>

#include "library_harness.h"
#include "protocol/driver_protocol.h"

namespace {

// COM1 served by device 0, COM2 by device 1.
using Monitor = LibraryWith<0, 1>;

TEST_F(Monitor, StartReadsCom1sDeviceAndStopEndsTheReadAndTheReader) {
  EXPECT_EQ(CallMonitor(*st, "COM1", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(0));
  EXPECT_EQ(threads.started, 1);
  EXPECT_EQ(threads.moduleRefs, 1);   // the reader holds the library while it runs
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].code, IOCTL_SARNO_MONITOR);
  EXPECT_EQ(reqs[0].input, "MON_ON");

  // Monitor text arrives and the reader reads on.
  driver.CompleteRead(0, "LINK COM1 UP");
  ASSERT_TRUE(driver.WaitForPendingRead(0));

  EXPECT_EQ(CallMonitor(*st, "COM1", "MON_OFF"), 1);
  reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[1].code, IOCTL_SARNO_STOP_MONITOR);
  EXPECT_EQ(reqs[1].device, 0);
  EXPECT_EQ(reqs[1].inLen, 4u);
  EXPECT_EQ(reqs[2].code, IOCTL_SARNO_MONITOR);
  EXPECT_EQ(reqs[2].input, "MON_OFF");
  EXPECT_EQ(st->ReadPending, 0);
  EXPECT_TRUE(threads.WaitForExits(1));
  EXPECT_EQ(st->ReaderRunning, 0);
  EXPECT_EQ(driver.ReadsPendingNow(), 0);
  EXPECT_EQ(threads.exitsReleasing, 1);   // and lets it go as it ends
  EXPECT_EQ(threads.moduleRefs, 0);
}

TEST_F(Monitor, AStartAfterAStopReallyMonitorsAgain) {
  ASSERT_EQ(CallMonitor(*st, "COM1", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(0));
  ASSERT_EQ(CallMonitor(*st, "COM1", "NONE"), 1);
  ASSERT_TRUE(threads.WaitForExits(1));
  int readsBefore = driver.ReadsStarted();

  ASSERT_EQ(CallMonitor(*st, "COM1", "please MON_ON now"), 1);   // "MON_ON" anywhere
  ASSERT_TRUE(driver.WaitForPendingRead(0));
  EXPECT_EQ(st->StopThread, 0);
  EXPECT_EQ(threads.started, 2);
  EXPECT_GT(driver.ReadsStarted(), readsBefore);
  ASSERT_EQ(CallMonitor(*st, "COM1", ""), 1);
  EXPECT_TRUE(threads.WaitForExits(2));
}

TEST_F(Monitor, ASecondStartKeepsTheOneReader) {
  ASSERT_EQ(CallMonitor(*st, "COM1", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(0));
  ASSERT_EQ(CallMonitor(*st, "COM2", "MON_ON"), 1);
  EXPECT_EQ(threads.started, 1);
  EXPECT_EQ(driver.RequestsWithCode(IOCTL_SARNO_MONITOR).size(), 2u + 2u);   // start-up's two
  ASSERT_EQ(CallMonitor(*st, "COM1", "MON_"), 1);   // "MON_" alone stops
  EXPECT_TRUE(threads.WaitForExits(1));
}

TEST_F(Monitor, AStopFromAnotherPortStillReachesTheDeviceTheReaderReads) {
  ASSERT_EQ(CallMonitor(*st, "COM2", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(0));   // COM1's device, whichever port started it
  uint64_t before = clock.NowMs();
  ASSERT_EQ(CallMonitor(*st, "COM2", "MON_OFF"), 1);
  auto stops = driver.RequestsWithCode(IOCTL_SARNO_STOP_MONITOR);
  ASSERT_EQ(stops.size(), 2u);
  EXPECT_EQ(stops[0].device, 1);   // the call's port
  EXPECT_EQ(stops[1].device, 0);   // the reader's
  EXPECT_TRUE(threads.WaitForExits(1));
  EXPECT_LE(clock.NowMs() - before, 2000u);
}

TEST_F(Monitor, AStopWithNoReadPendingReturnsWithoutSleeping) {
  uint64_t before = clock.NowMs();
  driver.SetMonitorOk(false);
  EXPECT_EQ(CallMonitor(*st, "COM2", "MON_OFF"), 0);   // the driver refused the command
  EXPECT_EQ(clock.NowMs(), before);
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].code, IOCTL_SARNO_STOP_MONITOR);
  EXPECT_EQ(reqs[0].device, 1);
  EXPECT_EQ(reqs[1].code, IOCTL_SARNO_MONITOR);
}

TEST_F(Monitor, AStopTheDriverIgnoresWaitsNoLongerThanItsLimit) {
  ASSERT_EQ(CallMonitor(*st, "COM1", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(0));
  driver.SetStopIgnored(true);
  uint64_t before = clock.NowMs();
  EXPECT_EQ(CallMonitor(*st, "COM1", "MON_OFF"), 1);
  EXPECT_EQ(clock.NowMs() - before, 2000u);   // ten looks, 200 ms apart
  EXPECT_EQ(st->DllEntered, 0);
  driver.CompleteRead(0, "");
  EXPECT_TRUE(threads.WaitForExits(1));
}

// The reader holds the library: a stop must end it whatever the port's device, or no
// FreeLibrary unloads the library again. COM1's dongle is pulled out under the reader and a
// query drops its device; then a stop on a port that never had one.
TEST_F(Monitor, AStopEndsTheReaderAlsoOnAPortWithoutADevice) {
  ASSERT_EQ(CallMonitor(*st, "COM1", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(0));
  driver.Unplug(0);
  ASSERT_EQ(CallQuery(*st, "COM1", "NONE"), 0x10);
  EXPECT_EQ(CallMonitor(*st, "COM1", "MON_OFF"), 0x10);   // the answer stays the port's
  EXPECT_TRUE(threads.WaitForExits(1));
  EXPECT_EQ(threads.moduleRefs, 0);

  ASSERT_EQ(CallMonitor(*st, "COM2", "MON_ON"), 1);   // reads COM2's device now
  ASSERT_TRUE(driver.WaitForPendingRead(1));
  EXPECT_EQ(CallMonitor(*st, "COM3", "MON_OFF"), 2);
  EXPECT_TRUE(threads.WaitForExits(2));
  EXPECT_EQ(threads.moduleRefs, 0);
  EXPECT_EQ(driver.ReadsPendingNow(), 0);
}

TEST_F(Monitor, AReaderWhoseReadsFailPacesItself) {
  driver.SetReadsFail(true);
  ASSERT_EQ(CallMonitor(*st, "COM1", "MON_ON"), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  int reads = driver.ReadsStarted();
  // Each failed read is followed by a 200 ms pause (20 ms of real time on this clock).
  EXPECT_GE(reads, 1);
  EXPECT_LE(reads, 10);
  EXPECT_GE(clock.SleptMs(), 200u * (reads - 1));
  ASSERT_EQ(CallMonitor(*st, "COM1", "NONE"), 1);
  EXPECT_TRUE(threads.WaitForExits(1));
}

TEST_F(Monitor, AReaderThatCannotStartLeavesNoRunningFlagBehind) {
  threads.failStarts = true;
  EXPECT_EQ(CallMonitor(*st, "COM1", "MON_ON"), 1);   // the command still reaches the driver
  EXPECT_EQ(st->ReaderRunning, 0);
  EXPECT_EQ(threads.moduleRefs, 0);
  threads.failStarts = false;
  EXPECT_EQ(CallMonitor(*st, "COM1", "MON_ON"), 1);
  EXPECT_TRUE(driver.WaitForPendingRead(0));
  EXPECT_EQ(threads.started, 1);
}

// Without a device for COM1 the reader reads the device of the port that started it.
class MonitorWithoutCom1 : public LibraryTest {};

TEST_F(MonitorWithoutCom1, TheReaderReadsTheStartingPortsDevice) {
  driver.AddDevice(2, 1);   // COM2 only
  Load();
  ASSERT_EQ(CallMonitor(*st, "COM2", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(2));
  ASSERT_EQ(CallMonitor(*st, "COM2", "MON_OFF"), 1);
  EXPECT_EQ(driver.RequestsWithCode(IOCTL_SARNO_STOP_MONITOR).size(), 1u);
  EXPECT_TRUE(threads.WaitForExits(1));
}

}  // namespace

// The platform's own threads: the reader really ends itself (ExitThread on Windows), and the
// library sees it leave by its flag alone.
class MonitorOnSystemThreads : public ::testing::Test {
 protected:
  PacedClock clock;
  FakeDriver driver{clock};
};

bool WaitUntilReaderLeft(MendalixState& st) {
  for (int i = 0; i < 2500 && st.ReaderRunning != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return st.ReaderRunning == 0;
}

TEST_F(MonitorOnSystemThreads, TheReaderEndsItselfOnStopAndAgainAtUnload) {
  driver.AddDevice(0, 0);
  MendalixState st(driver, clock, platform::SystemThreads());
  CMendalixApp app(st);
  ASSERT_EQ(CallMonitor(st, "COM1", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(0));
  ASSERT_EQ(CallMonitor(st, "COM1", "MON_OFF"), 1);
  EXPECT_TRUE(WaitUntilReaderLeft(st));

  ASSERT_EQ(CallMonitor(st, "COM1", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(0));
  app.ExitInstance();   // with the read still pending
  EXPECT_EQ(st.ReaderRunning, 0);
  EXPECT_EQ(driver.ClosedUnderPendingRead(), 0);
  EXPECT_EQ(driver.Closed(), std::vector<int>{0});
}
