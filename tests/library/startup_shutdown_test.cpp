// Loading and unloading the library: which devices it finds, what it tells them, what it
// leaves behind.
#include <cstring>

#include "library_harness.h"
#include "protocol/driver_protocol.h"

using ::testing::ElementsAre;

namespace {

const char kSavedFile[] =
    "BT_SelPort: COM3\r\nBT_Baudrate: 9600N81\r\n"
    "\r\nBT_Port: COM1\r\n\t BT_SelHost:  00:11:22:33:44:55\r\n\t BT_Selprt:   AA:BB:CC:DD:EE:01\r\n"
    "\t BT_QueryPrt: AA:BB:CC:DD:EE:01\r\n\t BT_QueryPrt: NONE\r\n\t BT_HostVrsn: BTH_v2.1\r\n"
    "\t BT_Reserve1: NONE\r\n\t BT_Reserve2: NONE\r\n\t BT_Reserve3: NONE\r\n\t BT_Reserve4: NONE\r\n"
    "\r\nBT_Port: COM2\r\n\t BT_SelHost:  NONE\r\n\t BT_Selprt:   NONE\r\n\t BT_QueryPrt: NONE\r\n"
    "\t BT_HostVrsn: NONE\r\n\t BT_Reserve1: NONE\r\n\t BT_Reserve2: NONE\r\n\t BT_Reserve3: NONE\r\n"
    "\t BT_Reserve4: NONE\r\n"
    "\r\nBT_Port: COM3\r\n\t BT_SelHost:  NONE\r\n\t BT_Selprt:   NONE\r\n\t BT_QueryPrt: NONE\r\n"
    "\t BT_HostVrsn: NONE\r\n\t BT_Reserve1: NONE\r\n\t BT_Reserve2: NONE\r\n\t BT_Reserve3: NONE\r\n"
    "\t BT_Reserve4: NONE\r\n"
    "\r\nBT_Port: COM4\r\n\t BT_SelHost:  NONE\r\n\t BT_Selprt:   NONE\r\n\t BT_QueryPrt: NONE\r\n"
    "\t BT_HostVrsn: NONE\r\n\t BT_Reserve1: NONE\r\n\t BT_Reserve2: NONE\r\n\t BT_Reserve3: NONE\r\n"
    "\t BT_Reserve4: NONE\r\n"
    "\r\nBT_Connect: MANUAL\r\n";

class StartUp : public LibraryTest {};

TEST_F(StartUp, TwoDevicesServingCom2AndCom1AreMappedByPortAndSwitchedToMonitoring) {
  WriteFile("Quorvex.ini", kSavedFile);
  driver.AddDevice(0, 1);   // device 0 serves COM2
  driver.AddDevice(1, 0);   // device 1 serves COM1
  Load();

  EXPECT_THAT(driver.Opened(), ElementsAre("\\\\.\\Sarno0", "\\\\.\\Sarno1", "\\\\.\\Sarno2",
                                           "\\\\.\\Sarno3"));
  EXPECT_STREQ(ComPortMapName(*st, 0), "\\\\.\\Sarno1");
  EXPECT_STREQ(ComPortMapName(*st, 1), "\\\\.\\Sarno0");
  EXPECT_STREQ(ComPortMapName(*st, 2), "");
  EXPECT_STREQ(ComPortMapName(*st, 3), "");
  EXPECT_EQ(ComPortMapHandle(*st, 0), FakeDriver::HandleOf(1));
  EXPECT_EQ(ComPortMapHandle(*st, 1), FakeDriver::HandleOf(0));
  EXPECT_EQ(ComPortMapHandle(*st, 2), nullptr);

  // Per device, in order: the COM-index question (4 bytes preset to 255), then "MON_ON".
  auto reqs = driver.Requests();
  ASSERT_EQ(reqs.size(), 4u);
  for (int n = 0; n < 2; ++n) {
    const DriverRequest& ask = reqs[2 * n];
    EXPECT_EQ(ask.device, n);
    EXPECT_EQ(ask.code, IOCTL_SARNO_GET_COM_INDX);
    ASSERT_EQ(ask.inLen, 4u);
    uint32_t preset;
    memcpy(&preset, ask.input.data(), 4);
    EXPECT_EQ(preset, 255u);
    EXPECT_EQ(ask.outLen, 4u);
    const DriverRequest& mon = reqs[2 * n + 1];
    EXPECT_EQ(mon.device, n);
    EXPECT_EQ(mon.code, IOCTL_SARNO_MONITOR);
    EXPECT_EQ(mon.input, "MON_ON");   // without its NUL
  }
  EXPECT_STREQ(st->m_sPrt, "MON_ON");
  EXPECT_STREQ(st->szIniName, "Quorvex.ini");

  // The settings file was read.
  EXPECT_EQ(st->settings.BT_SelPort, 2);
  EXPECT_STREQ(st->settings.BT_Baudrate, "9600N81");
  EXPECT_STREQ(st->settings.Port[0].SelHost, "00:11:22:33:44:55");
  EXPECT_EQ(st->settings.Port[0].QueryPrtCount, 1);
  EXPECT_TRUE(driver.Closed().empty());
}

TEST_F(StartUp, WithNoDriverTheLibraryStillLoadsAndEveryPortReportsNoDriver) {
  Load();
  for (int i = 0; i < kPortCount; ++i) EXPECT_STREQ(ComPortMapName(*st, i), "");
  EXPECT_TRUE(driver.Requests().empty());
  // No file: the defaults.
  EXPECT_EQ(st->settings.BT_SelPort, 0);
  EXPECT_STREQ(st->settings.BT_Baudrate, "19200N81");
  EXPECT_STREQ(st->settings.Port[3].HostVrsn, "NONE");
  EXPECT_FALSE(FileExists("Quorvex.ini"));

  for (const char* port : {"COM1", "COM2", "COM3", "COM4"}) {
    EXPECT_EQ(CallQuery(*st, port, "NONE"), 2) << port;
    EXPECT_EQ(CallConnect(*st, port, "AA:BB"), 2) << port;
    EXPECT_EQ(CallReset(*st, port, "NONE"), 2) << port;
    EXPECT_EQ(CallMonitor(*st, port, "MON_ON"), 2) << port;
  }
  EXPECT_TRUE(driver.Requests().empty());   // calls never open a device themselves
  EXPECT_EQ(st->DllEntered, 0);
}

TEST_F(StartUp, ADeviceThatNamesNoPortIsLeftOutAndClosed) {
  driver.AddDevice(0, 4);                     // one past COM4
  driver.AddDevice(1, 255, /*ok=*/false);     // the request fails
  driver.AddDevice(2, 255);                   // the driver leaves the preset 255
  driver.AddDevice(3, 3);
  Load();
  EXPECT_STREQ(ComPortMapName(*st, 3), "\\\\.\\Sarno3");
  for (int i = 0; i < 3; ++i) EXPECT_STREQ(ComPortMapName(*st, i), "") << i;
  EXPECT_THAT(driver.Closed(), ElementsAre(0, 1, 2));
  // Only the mapped device was switched to monitoring.
  auto mon = driver.RequestsWithCode(IOCTL_SARNO_MONITOR);
  ASSERT_EQ(mon.size(), 1u);
  EXPECT_EQ(mon[0].device, 3);
  EXPECT_EQ(CallQuery(*st, "COM1", "NONE"), 2);
}

TEST_F(StartUp, ALaterDeviceForTheSamePortTakesTheEntryAndTheEarlierStaysOpenUntilUnload) {
  driver.AddDevice(0, 2);
  driver.AddDevice(2, 2);
  Load();
  EXPECT_STREQ(ComPortMapName(*st, 2), "\\\\.\\Sarno2");
  EXPECT_EQ(ComPortMapHandle(*st, 2), FakeDriver::HandleOf(2));
  EXPECT_EQ(driver.RequestsWithCode(IOCTL_SARNO_MONITOR).size(), 2u);   // both are monitoring
  EXPECT_TRUE(driver.Closed().empty());
  Unload();
  EXPECT_THAT(driver.Closed(), ElementsAre(2, 0));   // each handle closed exactly once
}

class Shutdown : public LibraryTest {};

TEST_F(Shutdown, WithoutMonitoringItStillWaitsTwoSecondsThenClosesEveryHandle) {
  driver.AddDevice(0, 1);
  driver.AddDevice(1, 0);
  Load();
  uint64_t before = clock.NowMs();
  uint64_t closedAt = 0;
  driver.SetDuringClose([&](int) { closedAt = clock.NowMs(); });
  Unload();
  EXPECT_EQ(closedAt - before, 2000u);
  EXPECT_EQ(st->StopThread, 1);
  EXPECT_THAT(driver.Closed(), ElementsAre(1, 0));   // by port: COM1's device first
  EXPECT_TRUE(driver.RequestsWithCode(IOCTL_SARNO_STOP_MONITOR).empty());
}

TEST_F(Shutdown, AReaderStillInsideItsReadIsEndedAndHasLeftBeforeTheHandlesClose) {
  driver.AddDevice(0, 0);
  driver.AddDevice(1, 1);
  Load();
  ASSERT_EQ(CallMonitor(*st, "COM2", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(0));   // the reader reads COM1's device

  bool readerGoneAtClose = true;
  driver.SetDuringClose([&](int) { readerGoneAtClose &= (st->ReaderRunning == 0); });
  Unload();

  auto stops = driver.RequestsWithCode(IOCTL_SARNO_STOP_MONITOR);
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0].device, 0);
  EXPECT_GE(stops[0].atMs, 2000u);   // only after the 2000 ms wait
  EXPECT_TRUE(readerGoneAtClose);
  EXPECT_EQ(driver.ClosedUnderPendingRead(), 0);
  EXPECT_EQ(threads.exited, 1);
  EXPECT_EQ(threads.pins, 0);   // the library may go
  EXPECT_THAT(driver.Closed(), ElementsAre(0, 1));
}

TEST_F(Shutdown, AReaderThatNeverComesBackKeepsItsDeviceAndTheWaitEnds) {
  driver.AddDevice(0, 0);
  driver.AddDevice(1, 1);
  Load();
  ASSERT_EQ(CallMonitor(*st, "COM1", "MON_ON"), 1);
  ASSERT_TRUE(driver.WaitForPendingRead(0));
  driver.SetStopIgnored(true);
  uint64_t before = clock.NowMs();
  Unload();
  EXPECT_LE(clock.NowMs() - before, 2000u + 2000u + 10u);
  EXPECT_THAT(driver.Closed(), ElementsAre(1));   // not the device under the read
  EXPECT_EQ(driver.ClosedUnderPendingRead(), 0);
  EXPECT_EQ(threads.pins, 1);   // the library stays for the read's late completion
  driver.CompleteRead(0, "");                     // let the reader go for the test's end
  EXPECT_TRUE(threads.WaitForExits(1));
}

}  // namespace
