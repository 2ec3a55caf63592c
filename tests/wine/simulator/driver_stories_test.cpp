// The simulated driver as a user-mode program meets it under Wine: its control devices,
// its serial ports, its requests and pending reads, the settings file and the registry.
// Runs with scenarios/two_ports.txt installed (device 0 serves COM2, device 1 COM1).
#include <gtest/gtest.h>

#include <atomic>

#include "platform/test_threads.h"
#include "tests/wine/simulator/simulator_client.h"

using namespace simtest;

namespace {

const char kCom2Printer[] = "0080372A0001";     // accepts
const char kCom2Refuser[] = "0080372A0003";     // always refuses

// A read of a control device on its own thread, as the library's reader thread does it.
struct PendingRead {
  explicit PendingRead(HANDLE h) : thread([this, h] {
    DWORD got = 0;
    ok = ReadFile(h, buf, 255, &got, nullptr) != FALSE;
    error = ok ? 0 : GetLastError();
    bytes = got;
    done = true;
  }) {}
  ~PendingRead() { if (thread.joinable()) thread.join(); }
  bool WaitDone(DWORD ms) {
    uint32_t start = NowMs();
    while (!done && NowMs() - start < ScaledMs(ms)) Sleep(10);
    return done;
  }
  std::string text() const { return std::string(buf, bytes); }
  char buf[256] = {0};
  std::atomic<bool> done{false};
  bool ok = false;
  DWORD error = 0, bytes = 0;
  platform::test::Thread thread;
};


}  // namespace

TEST(DriverStart, DevicesReportTheirPortsAndOnlyDonglePortsOpen) {
  // The library's start-up: open each device, ask which COM port it serves.
  Device d0(0), d1(1), d2(2);
  ASSERT_TRUE(d0.open()) << "no \\\\.\\Sarno0: is the driver running?";
  ASSERT_TRUE(d1.open());
  EXPECT_FALSE(d2.open()) << "the scenario has no device 2";
  uint32_t index = 255;
  ASSERT_TRUE(d0.Request(IOCTL_SARNO_GET_COM_INDX, std::string(4, '\xff'), &index));
  EXPECT_EQ(1u, index);
  ASSERT_TRUE(d1.Request(IOCTL_SARNO_GET_COM_INDX, std::string(4, '\xff'), &index));
  EXPECT_EQ(0u, index);

  // No state yet for any port.
  for (int com = 1; com <= 4; ++com) {
    char name[32];
    snprintf(name, sizeof name, "COM%dConnectState", com);
    uint32_t state = 0;
    EXPECT_TRUE(ReadDword(name, &state)) << name;
    EXPECT_EQ(255u, state) << name;
  }

  // The setup program's probe: open the port, set 38400 8N1 with RTS on and its time-outs.
  for (const char* port : {"COM1", "COM2"}) {
    HANDLE h = CreateFileA(port, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << port << " has a dongle, so it must open";
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(h, &dcb)) << port;
    dcb.BaudRate = 38400;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    EXPECT_TRUE(SetCommState(h, &dcb)) << port;
    COMMTIMEOUTS to;
    ASSERT_TRUE(GetCommTimeouts(h, &to));
    to.ReadIntervalTimeout = 0;
    to.ReadTotalTimeoutMultiplier = 0;
    to.ReadTotalTimeoutConstant = 6000;
    to.WriteTotalTimeoutMultiplier = 0;
    to.WriteTotalTimeoutConstant = 1000;
    EXPECT_TRUE(SetCommTimeouts(h, &to));
    DCB again;
    memset(&again, 0, sizeof again);
    again.DCBlength = sizeof again;
    COMMTIMEOUTS to_again;
    ASSERT_TRUE(GetCommState(h, &again));
    ASSERT_TRUE(GetCommTimeouts(h, &to_again));
    EXPECT_EQ(38400u, again.BaudRate) << port << " keeps what was set";
    EXPECT_EQ(8, again.ByteSize);
    EXPECT_EQ(6000u, to_again.ReadTotalTimeoutConstant);
    EXPECT_EQ(1000u, to_again.WriteTotalTimeoutConstant);

    // A second opener while the port is held gets no use of it.
    HANDLE second = CreateFileA(port, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (second != INVALID_HANDLE_VALUE) {
      DCB other;
      memset(&other, 0, sizeof other);
      other.DCBlength = sizeof other;
      EXPECT_FALSE(GetCommState(second, &other)) << port << " serves one opener";
      CloseHandle(second);
    }
    CloseHandle(h);
  }
  for (const char* port : {"COM3", "COM4"}) {
    HANDLE h = CreateFileA(port, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h) << port << " has no dongle, so it must not open";
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  // Closed again, the port opens for the next program.
  HANDLE h = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  DCB dcb;
  memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  EXPECT_TRUE(GetCommState(h, &dcb));
  CloseHandle(h);
}

TEST(DriverStart, TheDriverFileCarriesAVersionRecord) {
  char path[MAX_PATH];
  GetSystemDirectoryA(path, sizeof path);
  strncat(path, "\\drivers\\Sarnovek.sys", sizeof path - strlen(path) - 1);
  DWORD ignored = 0, size = GetFileVersionInfoSizeA(path, &ignored);
  ASSERT_GT(size, 0u) << path;
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len));
  EXPECT_EQ(0x00010002u, info->dwFileVersionMS);
  EXPECT_EQ(0x00030000u, info->dwFileVersionLS);
}

TEST(DriverRequests, ConnectsAnswerByThePrintersBehaviourAndPublishTheState) {
  Device com2(0);
  ASSERT_TRUE(com2.open());
  uint32_t word = 0xdead, state = 0;
  ASSERT_TRUE(com2.Request(IOCTL_SARNO_PCON, kCom2Printer, &word));
  EXPECT_EQ(0u, word);
  ASSERT_TRUE(ReadDword("COM2ConnectState", &state));
  EXPECT_EQ(0u, state);

  ASSERT_TRUE(com2.Request(IOCTL_SARNO_PCON, kCom2Refuser, &word));
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, word);
  ASSERT_TRUE(ReadDword("COM2ConnectState", &state));
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, state);
  ASSERT_TRUE(ReadDword("COM1ConnectState", &state));
  EXPECT_EQ(255u, state) << "COM1 was not touched";

  // The driver saw both, in order, with the results it gave.
  sarno_diagnostics d = Diagnostics();
  std::vector<sarno_timing> pcon = Requests(d, IOCTL_SARNO_PCON, 0);
  ASSERT_GE(pcon.size(), 2u);
  EXPECT_EQ(0u, pcon[pcon.size() - 2].result);
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, pcon.back().result);
  EXPECT_EQ(0u, pcon.back().device);

  // A code the driver does not know fails the request.
  DWORD got = 0;
  char buf[4] = {0};
  EXPECT_FALSE(DeviceIoControl(com2.handle(), SARNO_CTL_CODE(0x858u), buf, 4, buf, 4, &got, nullptr));
}

TEST(DriverRequests, AQueryWritesThePortsBlockOfTheFileNamedByBTiniPath) {
  std::string path = PublishSettingsPath("Quorvex.ini");
  DeleteFileA(path.c_str());
  Device com2(0);
  ASSERT_TRUE(com2.open());
  uint32_t word = 0xdead;
  ASSERT_TRUE(com2.Request(IOCTL_SARNO_PINQ, "NONE", &word));
  EXPECT_EQ(0u, word);

  std::string text = ReadFileText(path);
  ASSERT_FALSE(text.empty()) << "the driver wrote no " << path;
  EXPECT_NE(std::string::npos, text.find("\r\n")) << "lines end with CR LF";
  std::vector<std::string> block = SettingsBlock(text, 2);
  ASSERT_GE(block.size(), 7u) << text;
  EXPECT_EQ("BT_Port: COM2", block[0]);
  EXPECT_EQ("\t BT_SelHost:  0010A4C00002", block[1]);
  EXPECT_EQ("\t BT_QueryPrt: 0080372A0001", block[3]);
  EXPECT_EQ("\t BT_QueryPrt: 0080372A0002", block[4]);
  EXPECT_EQ("\t BT_QueryPrt: 0080372A0003", block[5]);
  EXPECT_EQ("\t BT_QueryPrt: NONE", block[6]);
  EXPECT_EQ("\t BT_HostVrsn: HD_v2.40", block[7]);
  std::vector<std::string> com1 = SettingsBlock(text, 1);
  ASSERT_GE(com1.size(), 2u);
  EXPECT_EQ("\t BT_SelHost:  NONE", com1[1]) << "only the queried port's block changes";
  // No temporary file is left beside it.
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((path + ".new~").c_str()));
}

TEST(DriverRequests, TwoRequestsAtOnceCountAsAnOverlapOneAfterTheOtherDoNot) {
  Device com2(0), com1(1);
  ASSERT_TRUE(com2.open() && com1.open());
  uint32_t before = Diagnostics().overlaps;
  uint32_t word = 0;
  ASSERT_TRUE(com2.Request(IOCTL_SARNO_RESET, "NONE", &word));
  ASSERT_TRUE(com1.Request(IOCTL_SARNO_RESET, "NONE", &word));
  EXPECT_EQ(before, Diagnostics().overlaps);

  // Each request stays in progress for 150 ms; the second arrives meanwhile.
  uint32_t start = NowMs();
  platform::test::Thread other([&] {
    uint32_t w = 0;
    com1.Request(IOCTL_SARNO_RESET, "NONE", &w);
  });
  Sleep(30);
  ASSERT_TRUE(com2.Request(IOCTL_SARNO_RESET, "NONE", &word));
  other.join();
  EXPECT_EQ(before + 1, Diagnostics().overlaps);
  EXPECT_LT(NowMs() - start, 1000u) << "held requests must not block each other";
}

TEST(DriverReads, AReadWaitsForMonitorTextAndAStopEndsIt) {
  Device com2(0);
  ASSERT_TRUE(com2.open());
  uint32_t word = 0;
  ASSERT_TRUE(com2.Request(IOCTL_SARNO_MONITOR, "MON_ON", &word));
  ASSERT_TRUE(com2.Request(IOCTL_SARNO_PCON, kCom2Printer, &word));
  // Take the text that change gave (if it was one); a read that finds none is stopped.
  {
    PendingRead drain(com2.handle());
    if (!drain.WaitDone(300)) {
      ASSERT_TRUE(com2.Request(IOCTL_SARNO_STOP_MONITOR, "xxxx", &word));
      ASSERT_TRUE(drain.WaitDone(2000));
    }
  }
  {
    PendingRead read(com2.handle());
    ASSERT_TRUE(WaitQueued(1, 2000)) << "the read should wait in the driver";
    EXPECT_FALSE(read.done);
    // A link change on COM2 gives monitor text.
    Device other(0);
    ASSERT_TRUE(other.Request(IOCTL_SARNO_PCON, kCom2Refuser, &word));
    ASSERT_TRUE(read.WaitDone(2000));
    EXPECT_TRUE(read.ok);
    EXPECT_NE(std::string::npos, read.text().find("COM2")) << read.text();
  }
  {
    PendingRead read(com2.handle());
    ASSERT_TRUE(WaitQueued(1, 2000));
    Device other(0);
    ASSERT_TRUE(other.Request(IOCTL_SARNO_STOP_MONITOR, "xxxx", &word));
    ASSERT_TRUE(read.WaitDone(2000)) << "the stop request must end the pending read";
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(0u, read.bytes);
  }
  EXPECT_TRUE(WaitQueued(0, 1000));
  ASSERT_TRUE(com2.Request(IOCTL_SARNO_MONITOR, "MON_OFF", &word));
}

TEST(DriverReads, ACancelledReadLeavesTheDriverConsistent) {
  Device com1(1);
  ASSERT_TRUE(com1.open());
  uint32_t word = 0;
  uint32_t cancelled = Diagnostics().reads_cancelled;
  {
    PendingRead read(com1.handle());
    ASSERT_TRUE(WaitQueued(1, 2000));
    ASSERT_TRUE(CancelIoEx(com1.handle(), nullptr));
    ASSERT_TRUE(read.WaitDone(2000));
    EXPECT_FALSE(read.ok);
    EXPECT_EQ((DWORD)ERROR_OPERATION_ABORTED, read.error);
  }
  EXPECT_TRUE(WaitQueued(0, 1000));
  EXPECT_EQ(cancelled + 1, Diagnostics().reads_cancelled);
  // The cancelled read is forgotten: the next read waits and a stop ends exactly it.
  PendingRead read(com1.handle());
  ASSERT_TRUE(WaitQueued(1, 2000));
  Sleep(50);
  EXPECT_FALSE(read.done);
  ASSERT_TRUE(com1.Request(IOCTL_SARNO_STOP_MONITOR, "xxxx", &word));
  ASSERT_TRUE(read.WaitDone(2000));
  EXPECT_TRUE(read.ok);
}

// Run on its own: it stops the driver.
TEST(DriverStop, StoppingTheDriverEndsAPendingReadAndItStartsAgain) {
  Device com1(1);
  ASSERT_TRUE(com1.open());
  uint32_t word = 0, state = 0;
  ASSERT_TRUE(Device(0).Request(IOCTL_SARNO_PCON, kCom2Printer, &word));
  ASSERT_TRUE(ReadDword("COM2ConnectState", &state));
  ASSERT_EQ(0u, state);
  PendingRead read(com1.handle());
  ASSERT_TRUE(WaitQueued(1, 2000));
  uint32_t start = NowMs();
  ASSERT_TRUE(StopDriver(10000)) << "the driver did not stop";
  ASSERT_TRUE(read.WaitDone(5000)) << "the unload must end the pending read";
  EXPECT_FALSE(read.ok);
  EXPECT_LT(NowMs() - start, 5000u);
  EXPECT_FALSE(Device(0).open()) << "the devices go with the driver";
  ASSERT_TRUE(ReadDword("COM2ConnectState", &state));
  EXPECT_EQ(255u, state) << "a stopped driver leaves no port looking connected";

  ASSERT_TRUE(StartDriver(10000));
  Device again(0);
  ASSERT_TRUE(again.open());
  uint32_t index = 255;
  ASSERT_TRUE(again.Request(IOCTL_SARNO_GET_COM_INDX, std::string(4, '\xff'), &index));
  EXPECT_EQ(1u, index);
  EXPECT_EQ(0u, Diagnostics().reads_queued);
}

// Run last: it restarts the driver with a world of its own, then with the usual one again.
TEST(DriverUnplug, APulledOutDongleTakesItsDeviceAndPortAndComesBackAsNewOnes) {
  std::string usual;
  ASSERT_TRUE(ReadText("ScenarioFile", &usual));
  char dir[MAX_PATH] = {0};
  GetCurrentDirectoryA(sizeof dir, dir);
  std::string file = std::string(dir) + "\\unplug.txt";
  DWORD out = ScaledMs(1500), back = out + ScaledMs(2500);
  char text[400];
  snprintf(text, sizeof text,
           "device 0 COM2\ndevice 1 COM1\ndongle COM1 0010A4C00001 HD_v2.31\n"
           "dongle COM2 0010A4C00002 HD_v2.40\nprinter COM1 0080372A0011 accepts\n"
           "busy reset 60000\nat %lums unplug COM1\nat %lums plug COM1\n",
           (unsigned long)out, (unsigned long)back);
  FILE* f = fopen(file.c_str(), "wb");
  ASSERT_NE(nullptr, f);
  fputs(text, f);
  fclose(f);
  ASSERT_TRUE(WriteText("ScenarioFile", file));
  ASSERT_TRUE(StopDriver(10000) && StartDriver(10000));
  {
    Device com1(1), held(1), com2(0);
    HANDLE serial = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(com1.open() && held.open() && com2.open() && serial != INVALID_HANDLE_VALUE);
    uint32_t word = 0xdead;
    ASSERT_TRUE(com1.Request(IOCTL_SARNO_PCON, "0080372A0011", &word));
    EXPECT_EQ(0u, word);
    PendingRead read(com1.handle()), serialRead(serial);  // no time-outs: it waits for bytes
    DWORD resetError = 0;
    platform::test::Thread reset([&] {  // in progress for a minute
      uint32_t w = 0;
      resetError = held.Request(IOCTL_SARNO_RESET, "NONE", &w) ? 0 : GetLastError();
    });

    ASSERT_TRUE(WaitDword("COM1ConnectState", 4, 10000)) << "pulled out: the link is down";
    ASSERT_TRUE(read.WaitDone(2000)) << "the waiting read ends";
    EXPECT_EQ((DWORD)ERROR_OPERATION_ABORTED, read.error);
    ASSERT_TRUE(serialRead.WaitDone(2000)) << "so does one on the serial port";
    EXPECT_EQ((DWORD)ERROR_OPERATION_ABORTED, serialRead.error);
    reset.join();
    EXPECT_EQ((DWORD)ERROR_OPERATION_ABORTED, resetError) << "so does the request in progress";
    EXPECT_FALSE(com1.Request(IOCTL_SARNO_PCON, "0080372A0011", &word));
    EXPECT_EQ((DWORD)ERROR_BAD_COMMAND, GetLastError());
    char buf[8];
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(com1.handle(), buf, sizeof buf, &got, nullptr));
    EXPECT_EQ((DWORD)ERROR_BAD_COMMAND, GetLastError());
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    EXPECT_FALSE(GetCommState(serial, &dcb));
    EXPECT_EQ((DWORD)ERROR_BAD_COMMAND, GetLastError());
    EXPECT_FALSE(Device(1).open());
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    uint32_t index = 255;
    EXPECT_TRUE(com2.Request(IOCTL_SARNO_GET_COM_INDX, std::string(4, '\xff'), &index));
    EXPECT_EQ(1u, index) << "COM2 keeps its dongle";

    ASSERT_TRUE(WaitDword("COM1ConnectState", 255, 15000)) << "plugged back, with no link";
    EXPECT_FALSE(com1.Request(IOCTL_SARNO_PCON, "0080372A0011", &word)) << "an old handle stays dead";
    Device again(1);
    ASSERT_TRUE(again.open());
    ASSERT_TRUE(again.Request(IOCTL_SARNO_PCON, "0080372A0011", &word));
    EXPECT_EQ(0u, word);
    HANDLE serialAgain = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, serialAgain) << "the port is free for a new opener";
    EXPECT_TRUE(GetCommState(serialAgain, &dcb));
    CloseHandle(serial);
    if (serialAgain != INVALID_HANDLE_VALUE) CloseHandle(serialAgain);
  }
  ASSERT_TRUE(WriteText("ScenarioFile", usual));
  ASSERT_TRUE(StopDriver(10000) && StartDriver(10000));
}
