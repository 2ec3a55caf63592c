// An application calling the exported functions: what reaches the driver, when, and what
// comes back; what the settings file shows afterwards.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "library_harness.h"
#include "protocol/driver_protocol.h"
#include "platform/test_threads.h"

#ifndef _WIN32
#include <unistd.h>
#endif


namespace {

// COM2 and COM1 served by devices 0 and 1; COM3 and COM4 without a device.
using Calls = LibraryWith<1, 0>;

TEST_F(Calls, AQueryOnCom2GoesToTheDeviceServingCom2AndReturnsTheDriversWord) {
  driver.QueueWords({LINK_HOST_DONGLE_FAILED});
  EXPECT_EQ(CallQuery(*st, "COM2", "NONE"), 0x10);
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].device, 0);
  EXPECT_EQ(reqs[0].code, IOCTL_SARNO_PINQ);
  EXPECT_EQ(reqs[0].input, "NONE");
  EXPECT_EQ(reqs[0].outLen, 4u);
  EXPECT_EQ(st->settings.BT_SelPort, 1);
  EXPECT_EQ(st->hCtrlDevice, FakeDriver::HandleOf(0));

  // "COM1:" names COM1, served by device 1. A reset that the driver fails is no success; a
  // device that still answers keeps its handle.
  driver.QueueWords({FakeDriver::kNoWrite});
  EXPECT_EQ(CallReset(*st, "COM1:", "RESET"), 0x10);
  reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[1].device, 1);
  EXPECT_EQ(reqs[1].code, IOCTL_SARNO_RESET);
  EXPECT_EQ(reqs[2].code, IOCTL_SARNO_GET_COM_INDX);
  EXPECT_EQ(ComPortMapHandle(*st, 0), FakeDriver::HandleOf(1));
  EXPECT_EQ(st->settings.BT_SelPort, 0);
  EXPECT_EQ(st->DllEntered, 0);
  EXPECT_FALSE(FileExists("Quorvex.ini"));   // only a port without a device writes the file
}

// The program saved the file after this process loaded the library: a port without a
// device resets its own block of the file as it is now, and leaves every other byte.
TEST_F(Calls, APortWithoutADeviceReturns2AndResetsOnlyItsBlockOfTheFileAsItIsNow) {
  const std::string head =
      "BT_SelPort: COM1\r\nBT_Baudrate: 9600N81\r\n"
      "\r\nBT_Port: COM1\r\n\t BT_SelHost:  00:11:22:33:44:55\r\n\t BT_Selprt:   AA:BB:CC:DD:EE:01\r\n"
      "\t BT_QueryPrt: AA:BB:CC:DD:EE:01\r\n\t BT_QueryPrt: NONE\r\n\t BT_HostVrsn: BTH_v2.1\r\n"
      "\t BT_Reserve1: NONE\r\n\t BT_Reserve2: NONE\r\n\t BT_Reserve3: NONE\r\n\t BT_Reserve4: NONE\r\n"
      "\r\nBT_Port: COM2\r\n\t BT_SelHost:  NONE\r\n\t BT_Selprt:   NONE\r\n\t BT_QueryPrt: NONE\r\n"
      "\t BT_HostVrsn: NONE\r\n\t BT_Reserve1: NONE\r\n\t BT_Reserve2: NONE\r\n\t BT_Reserve3: NONE\r\n"
      "\t BT_Reserve4: NONE\r\n"
      "\r\nBT_Port: COM3\r\n";
  const std::string tail =
      "\t BT_Reserve1: NONE\r\n\t BT_Reserve2: NONE\r\n\t BT_Reserve3: NONE\r\n\t BT_Reserve4: NONE\r\n"
      "\r\nBT_Port: COM4\r\n\t BT_SelHost:  NONE\r\n\t BT_Selprt:   NONE\r\n\t BT_QueryPrt: NONE\r\n"
      "\t BT_HostVrsn: NONE\r\n\t BT_Reserve1: NONE\r\n\t BT_Reserve2: NONE\r\n\t BT_Reserve3: NONE\r\n"
      "\t BT_Reserve4: NONE\r\n"
      "\r\nBT_Connect: MANUAL\r\n";
  WriteFile("Quorvex.ini", head +
                               "\t BT_SelHost:  11:22:33:44:55:66\r\n\t BT_Selprt:   AA:BB:CC:DD:EE:02\r\n"
                               "\t BT_QueryPrt: AA:BB:CC:DD:EE:02\r\n\t BT_QueryPrt: AA:BB:CC:DD:EE:03\r\n"
                               "\t BT_QueryPrt: NONE\r\n\t BT_HostVrsn: BTH_v2.1\r\n" + tail);
  // What this process read at load, long ago.
  CopyField(st->settings.Port[1].Selprt, "AA:BB:CC:DD:EE:09");

  EXPECT_EQ(CallQuery(*st, "COM3", "NONE"), 2);
  EXPECT_TRUE(CallRequests().empty());
  EXPECT_EQ(st->DllEntered, 0);
  EXPECT_EQ(ReadFile("Quorvex.ini"),
            head + "\t BT_SelHost:  NONE\r\n\t BT_Selprt:   NONE\r\n\t BT_QueryPrt: NONE\r\n"
                   "\t BT_HostVrsn: NONE\r\n" + tail);
  // Read back at once: memory agrees with the file.
  EXPECT_STREQ(st->settings.Port[2].SelHost, "NONE");
  EXPECT_EQ(st->settings.Port[2].QueryPrtCount, 0);
  EXPECT_STREQ(st->settings.Port[0].Selprt, "AA:BB:CC:DD:EE:01");
  EXPECT_STREQ(st->settings.Port[1].Selprt, "NONE");

  // Without a file the block is written with the rest of a fresh file, COM4 selected.
  std::remove("Quorvex.ini");
  EXPECT_EQ(CallConnect(*st, "COM4", "AA:BB:CC:DD:EE:01"), 2);
  EXPECT_EQ(ReadFile("Quorvex.ini").rfind("BT_SelPort: COM4\r\nBT_Baudrate: 19200N81\r\n", 0), 0u);
  // Each call looks for the port's device again, opening only the numbers not held open.
  const size_t opens = driver.Opened().size();
  EXPECT_EQ(CallMonitor(*st, "COM4", "MON_ON"), 2);
  EXPECT_EQ(driver.Opened().size(), opens + 2);
  EXPECT_TRUE(CallRequests().empty());
  EXPECT_EQ(threads.started, 0);
#ifndef _WIN32
  // A file that is there but cannot be opened (another program holding it, under Windows;
  // here a link that leads round in a circle) is someone's file: it stays as it is.
  std::remove("Quorvex.ini");
  ASSERT_EQ(symlink("Quorvex.ini", "Quorvex.ini"), 0);
  EXPECT_EQ(CallQuery(*st, "COM3", "NONE"), 2);
  EXPECT_TRUE(std::filesystem::is_symlink("Quorvex.ini"));
#endif
}

// A shop application keeps the library loaded, monitoring, while COM1's dongle is pulled
// out and plugged back: failures read as failures, the file stays as it is, and the link
// comes back in the same process.
TEST_F(Calls, AnUnpluggedDongleAnswers0x10AndIsFoundAgainOncePluggedBack) {
  ASSERT_EQ(CallMonitor(*st, "COM1", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(1));   // COM1's device
  ASSERT_EQ(CallConnect(*st, "COM1", "AA:01"), 0);
  WriteFile("Quorvex.ini", "BT_SelPort: COM2\r\n");
  const size_t before = CallRequests().size();

  driver.Unplug(1);
  EXPECT_EQ(CallConnect(*st, "COM1", "AA:01"), 0x10);
  EXPECT_EQ(CallQuery(*st, "COM1", "NONE"), 0x10);
  EXPECT_EQ(CallReset(*st, "COM1", "NONE"), 0x10);
  EXPECT_EQ(ReadFile("Quorvex.ini"), "BT_SelPort: COM2\r\n");
  // The connect that failed, and one look: is the device still there?
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), before + 2);
  EXPECT_EQ(reqs[before].code, IOCTL_SARNO_PCON);
  EXPECT_EQ(reqs[before + 1].code, IOCTL_SARNO_GET_COM_INDX);
  EXPECT_EQ(CallQuery(*st, "COM2", "NONE"), 0);   // COM2 keeps its device
  EXPECT_EQ(ComPortMapHandle(*st, 1), FakeDriver::HandleOf(0));

  driver.Plug(1);
  EXPECT_EQ(CallConnect(*st, "COM1", "AA:01"), 0);
  EXPECT_EQ(ComPortMapHandle(*st, 0), FakeDriver::HandleOf(1, 1));
  auto mon = driver.RequestsWithCode(IOCTL_SARNO_MONITOR);
  EXPECT_EQ(mon.back().input, "MON_ON");   // switched to monitoring as at load
  EXPECT_EQ(mon.back().device, 1);
  EXPECT_EQ(driver.RequestsWithCode(IOCTL_SARNO_PCON).back().input, "AA:01");
  ASSERT_TRUE(driver.WaitForPendingRead(1));   // the reader reads the device plugged back
  EXPECT_EQ(driver.UsesOfClosedHandles(), 0);
  EXPECT_EQ(driver.Closed(), std::vector<int>{1});   // the gone handle, once
  EXPECT_EQ(ReadFile("Quorvex.ini"), "BT_SelPort: COM2\r\n");
}

// Handles as Wine gives them: a device closed and opened again comes back under the same
// value. The dongle of COM1 is pulled out and plugged back while the application makes no
// call: its next query, reset or drop goes to the device found anew and gives its word; a
// request that fails there too is a failure.
class CallsOnReusedHandles : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    driver.ReuseLowestFreeHandle();
    driver.AddDevice(0, 1);
    driver.AddDevice(1, 0);
    Load();
  }
};

TEST_F(CallsOnReusedHandles, ADongleBackUnderItsOldHandleValueAnswersTheNextRequest) {
  ASSERT_EQ(CallConnect(*st, "COM1", "AA:01"), 0);
  const platform::DeviceHandle before = ComPortMapHandle(*st, 0);
  auto away = [&] {
    driver.Unplug(1);
    driver.Plug(1);
  };
  away();
  EXPECT_EQ(CallQuery(*st, "COM1", "NONE"), 0);
  EXPECT_EQ(ComPortMapHandle(*st, 0), before);   // another device, the same value
  away();
  driver.QueueWords({FakeDriver::kNoWrite});
  EXPECT_EQ(CallReset(*st, "COM1", "NONE"), 0x10);
  EXPECT_EQ(driver.RequestsWithCode(IOCTL_SARNO_RESET).size(), 2u);   // the gone one, the new one
  away();
  driver.QueueWords({LINK_DISCONNECTED});
  EXPECT_EQ(CallConnect(*st, "COM1", "NULL"), 4);
  EXPECT_EQ(driver.UsesOfClosedHandles(), 0);
}

TEST_F(Calls, ConnectWaits300MsThenRetriesOnceOnAFailureWord) {
  uint64_t t0 = clock.NowMs();
  driver.QueueWords({LINK_PRINTER_CONN_FAILED, LINK_ANSWER_BACK_FAILED});
  EXPECT_EQ(CallConnect(*st, "COM1", "AA:BB:CC:DD:EE:01"), 0x40);   // the last word
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 2u);
  for (auto& r : reqs) {
    EXPECT_EQ(r.code, IOCTL_SARNO_PCON);
    EXPECT_EQ(r.device, 1);
    EXPECT_EQ(r.input, "AA:BB:CC:DD:EE:01");
  }
  EXPECT_EQ(reqs[0].atMs - t0, 300u);
  EXPECT_EQ(reqs[1].atMs - reqs[0].atMs, 300u);
}

TEST_F(Calls, ConnectThatSucceedsAtOnceSendsOneRequest) {
  uint64_t t0 = clock.NowMs();
  EXPECT_EQ(CallConnect(*st, "COM2", "AA:BB:CC:DD:EE:02"), 0);
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].atMs - t0, 300u);
  EXPECT_EQ(clock.NowMs() - t0, 300u);
}

TEST_F(Calls, ConnectWithTheTextNullDropsTheLinkWithExactlyOneRequest) {
  uint64_t t0 = clock.NowMs();
  driver.QueueWords({LINK_DISCONNECTED, LINK_DISCONNECTED});
  EXPECT_EQ(CallConnect(*st, "COM2", "NULL"), 4);
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].input, "NULL");
  EXPECT_EQ(reqs[0].atMs - t0, 300u);
  // Only the exact text counts: "NULL:" retries.
  EXPECT_EQ(CallConnect(*st, "COM2", "NULL:"), 0);
  EXPECT_EQ(CallRequests().size(), 3u);   // the second word 4, then a retry that gets 0
}

TEST_F(Calls, VariantArgumentsAreNarrowedByTheirLowBytes) {
  BstrVariant port(u"COM2");
  BstrVariant address(u"AA:\u4E42B");   // a unit above 0xFF keeps only its low byte 0x42
  EXPECT_EQ(CallQuery(*st, &port.v, &address.v), 0);
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].device, 0);   // COM2
  EXPECT_EQ(reqs[0].input, "AA:BB");
  EXPECT_EQ(st->settings.BT_SelPort, 1);
  // Only the whole type word 8 makes a VARIANT: a narrow text may begin with the byte 8.
  char narrow[16] = "\bOM1";
  EXPECT_EQ(CallQuery(*st, narrow, "NONE"), 0);
  EXPECT_EQ(CallRequests().back().device, 1);   // COM1
}

TEST_F(Calls, BTlongReturns3ForAnyArgument) {
  int32_t v = 12345;
  EXPECT_EQ(CallLong(&v), 3);
  EXPECT_EQ(v, 12345);
  EXPECT_EQ(CallLong(nullptr), 3);
  EXPECT_TRUE(CallRequests().empty());
}

// Arguments that do not hold what they should never write past a buffer, never crash, and
// give a defined result.
TEST_F(Calls, PortTextsThatNameNoPortReturn2AndTouchNoSettings) {
  CopyField(st->settings.Port[0].SelHost, "00:11:22:33:44:55");
  st->settings.BT_SelPort = 1;
  BstrVariant nullBstr(u"");
  nullBstr.v.bstrVal = nullptr;
  for (const void* port : {static_cast<const void*>(nullptr), static_cast<const void*>("CO"),
                           static_cast<const void*>("COM"), static_cast<const void*>("COM0"),
                           static_cast<const void*>("COM5"), static_cast<const void*>(""),
                           static_cast<const void*>("LPTx"),
                           static_cast<const void*>(&nullBstr.v)}) {
    EXPECT_EQ(CallQuery(*st, port, "NONE"), 2);
    EXPECT_EQ(st->DllEntered, 0);
  }
  EXPECT_TRUE(CallRequests().empty());
  EXPECT_FALSE(FileExists("Quorvex.ini"));
  EXPECT_EQ(st->settings.BT_SelPort, 1);
  EXPECT_STREQ(st->settings.Port[0].SelHost, "00:11:22:33:44:55");
}

TEST_F(Calls, OverlongTextsAreCutTo255AndMissingTextsReadAsEmpty) {
  std::string longAddress(300, 'A');
  EXPECT_EQ(CallConnect(*st, "COM1", longAddress.c_str()), 0);
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].inLen, 255u);
  EXPECT_EQ(reqs[0].input, std::string(255, 'A'));

  std::string longPort = "COM2" + std::string(400, ':');
  EXPECT_EQ(CallQuery(*st, longPort.c_str(), nullptr), 0);
  reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[1].device, 0);
  EXPECT_EQ(reqs[1].inLen, 0u);

  std::u16string longBstr = u"COM1" + std::u16string(600, u'x');
  BstrVariant port(longBstr);
  BstrVariant text(std::u16string(600, u'y'));
  EXPECT_EQ(CallReset(*st, &port.v, &text.v), 0);
  reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[2].input, std::string(255, 'y'));
}

TEST_F(Calls, ASecondVariantThatHoldsNoBstrReadsAsEmpty) {
  BstrVariant port(u"COM1");
  TextVariant number{};
  number.vt = 3;   // VT_I4: its value is not a text pointer
  number.bstrVal = reinterpret_cast<const uint16_t*>(0x1);
  EXPECT_EQ(CallReset(*st, &port.v, &number), 0);
  BstrVariant nullText(u"");
  nullText.v.bstrVal = nullptr;
  EXPECT_EQ(CallReset(*st, &port.v, &nullText.v), 0);
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].inLen, 0u);
  EXPECT_EQ(reqs[1].inLen, 0u);
}

TEST_F(Calls, CallsFromTwoThreadsNeverOverlapAndTheSecondStartsAsTheFirstReturns) {
  // Each query is held inside the driver for a while; DllEntered is seen set meanwhile.
  std::atomic<int> busySeen{0};
  std::chrono::steady_clock::time_point firstReturned, secondArrived;
  std::atomic<bool> firstInside{false};
  driver.SetDuringControl([&](const DriverRequest& r) {
    if (st->DllEntered == 1) ++busySeen;
    if (r.input == "first") {
      firstInside = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } else {
      secondArrived = std::chrono::steady_clock::now();
    }
  });
  uint64_t t0 = clock.NowMs();
  platform::test::Thread a([&] {
    CallQuery(*st, "COM1", "first");
    firstReturned = std::chrono::steady_clock::now();
  });
  while (!firstInside) std::this_thread::yield();
  platform::test::Thread b([&] { CallQuery(*st, "COM2", "second"); });
  a.join();
  b.join();

  EXPECT_EQ(driver.MaxConcurrentControls(), 1);
  EXPECT_EQ(busySeen, 2);
  auto reqs = CallRequests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].input, "first");
  EXPECT_EQ(reqs[1].input, "second");
  EXPECT_EQ(reqs[1].device, 0);   // the second call's own port, not the first's
  // No polling pause: the waiting call went on without sleeping, within a few ms of real time.
  EXPECT_EQ(clock.NowMs(), t0);
  EXPECT_EQ(clock.SleepCalls(), 0u);
  EXPECT_LT(secondArrived - firstReturned, std::chrono::milliseconds(40));
  EXPECT_EQ(st->DllEntered, 0);
}

}  // namespace
