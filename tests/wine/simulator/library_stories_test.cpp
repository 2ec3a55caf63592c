// The real library (Mendalix.dll) and btctl.exe against the real simulated driver under
// Wine: what the driver receives when an application calls the exports, and what comes
// back. Runs with scenarios/two_ports.txt (device 0 serves COM2, device 1 COM1; every
// connect, query and reset is in progress for 150 ms). Built both ways: the 64-bit program
// loads the 64-bit library beside it; btctl, 32-bit only, is run by the 32-bit program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <vector>

#include "library/include/Mendalix.h"
#include "platform/test_threads.h"
#include "settings/settings.h"
#include "tests/wine/simulator/simulator_client.h"

#include <oleauto.h>   // after <windows.h>, which simulator_client.h brings

using namespace simtest;

namespace {

template <typename Fn>
Fn Bind(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The library loaded by its bare name, as applications do; unloading runs its shutdown.
struct Library {
  Library() : module(LoadLibraryA("Mendalix.dll")) {
    if (!module) return;
    query = Bind<BT_OnQuery_t>(module, "BT_OnQuery");
    connect = Bind<BT_OnConnect_t>(module, "BT_OnConnect");
    monitor = Bind<BT_OnMonitor_t>(module, "BT_OnMonitor");
    reset = Bind<BT_OnReset_t>(module, "BT_OnReset");
  }
  ~Library() {
    if (module) FreeLibrary(module);
  }
  bool bound() const { return module && query && connect && monitor && reset; }
  HMODULE module;
  BT_OnQuery_t query = nullptr;
  BT_OnConnect_t connect = nullptr;
  BT_OnMonitor_t monitor = nullptr;
  BT_OnReset_t reset = nullptr;
};

constexpr bool kHasBtctl = sizeof(void*) == 4;   // btctl.exe is beside the 32-bit program

std::string Beside(const char* file) {
  char path[MAX_PATH] = {0};
  GetModuleFileNameA(nullptr, path, sizeof path);
  char* slash = strrchr(path, '\\');
  if (slash) slash[1] = '\0';
  return std::string(path) + file;
}


uint32_t State(const char* name) {
  uint32_t value = 255;
  ReadDword(name, &value);
  return value;
}

bool WaitState(const char* name, uint32_t want, DWORD ms) {
  for (uint32_t start = NowMs(); NowMs() - start < ScaledMs(ms); Sleep(100))
    if (State(name) == want) return true;
  return State(name) == want;
}

}  // namespace

TEST(LibraryQuery, AQueryOnCom2FillsCom2sBlockOfTheSettingsFile) {
  std::string path = PublishSettingsPath("Quorvex.ini");
  DeleteFileA(path.c_str());
  {
    Library lib;
    ASSERT_TRUE(lib.bound()) << "Mendalix.dll not found or not bound";
    uint32_t from = Diagnostics().timing_count;
    EXPECT_EQ(0, lib.query("COM2", "NONE"));
    std::vector<sarno_timing> pinq = Requests(Diagnostics(), IOCTL_SARNO_PINQ, from);
    ASSERT_EQ(1u, pinq.size());
    EXPECT_EQ(0u, pinq[0].device) << "COM2 is served by device 0";
  }
  std::vector<std::string> block = SettingsBlock(ReadFileText(path), 2);
  ASSERT_GE(block.size(), 8u);
  EXPECT_EQ("\t BT_SelHost:  0010A4C00002", block[1]);
  EXPECT_EQ("\t BT_QueryPrt: 0080372A0001", block[3]);
  EXPECT_EQ("\t BT_QueryPrt: NONE", block[6]);
  EXPECT_EQ("\t BT_HostVrsn: HD_v2.40", block[7]);

  // The automation form, the VARIANT of this process's bitness holding a BSTR.
  {
    Library lib;
    VARIANT port, text;
    VariantInit(&port);
    VariantInit(&text);
    port.vt = text.vt = VT_BSTR;
    port.bstrVal = SysAllocString(L"COM1");
    text.bstrVal = SysAllocString(L"NONE");
    uint32_t from = Diagnostics().timing_count;
    EXPECT_EQ(0, lib.query(&port, &text));
    std::vector<sarno_timing> pinq = Requests(Diagnostics(), IOCTL_SARNO_PINQ, from);
    ASSERT_EQ(1u, pinq.size());
    EXPECT_EQ(1u, pinq[0].device) << "COM1 is served by device 1";
    VariantClear(&port);
    VariantClear(&text);
  }

  // The same through btctl, as a technician would.
  std::string out;
  if (kHasBtctl) {
    EXPECT_EQ(0, RunProgram("\"" + Beside("btctl.exe") + "\" query COM2", 20000, &out)) << out;
  }
}

TEST(LibraryConnect, AnAcceptedConnectGivesZeroAndTheDriverPublishesConnected) {
  Library lib;
  ASSERT_TRUE(lib.bound());
  sarno_diagnostics before = Diagnostics();
  uint32_t from = before.timing_count;
  EXPECT_EQ(0, lib.connect("COM2", "0080372A0001"));
  sarno_diagnostics after = Diagnostics();
  std::vector<sarno_timing> pcon = Requests(after, IOCTL_SARNO_PCON, from);
  ASSERT_EQ(1u, pcon.size()) << "an accepted connect is sent once";
  EXPECT_GE(pcon[0].at_ms - before.now_ms, 280u) << "the library waits 300 ms first";
  uint32_t state = 255;
  ASSERT_TRUE(ReadDword("COM2ConnectState", &state));
  EXPECT_EQ(0u, state);
}

TEST(LibraryConnect, AConnectRefusedOnceIsRepeatedOnce300msLater) {
  Library lib;
  ASSERT_TRUE(lib.bound());
  uint32_t from = Diagnostics().timing_count;
  EXPECT_EQ(0, lib.connect("COM2", "0080372A0002")) << "the second attempt is accepted";
  std::vector<sarno_timing> pcon = Requests(Diagnostics(), IOCTL_SARNO_PCON, from);
  ASSERT_EQ(2u, pcon.size());
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, pcon[0].result);
  EXPECT_EQ(0u, pcon[1].result);
  // 300 ms pause after the first answer, which took the scenario's 150 ms.
  uint32_t gap = pcon[1].at_ms - pcon[0].at_ms;
  EXPECT_GE(gap, 420u);
  EXPECT_LE(gap, 900u);

  // A printer that always refuses: two attempts, the failure comes back.
  from = Diagnostics().timing_count;
  EXPECT_EQ((int)LINK_PRINTER_CONN_FAILED, lib.connect("COM2", "0080372A0003"));
  EXPECT_EQ(2u, Requests(Diagnostics(), IOCTL_SARNO_PCON, from).size());
  // "NULL" drops the link with exactly one request.
  from = Diagnostics().timing_count;
  lib.connect("COM2", "NULL");
  EXPECT_EQ(1u, Requests(Diagnostics(), IOCTL_SARNO_PCON, from).size());
}

TEST(LibraryMonitor, MonitorOnLeavesAReadPendingAndAStopEndsIt) {
  {
    Library lib;
    ASSERT_TRUE(lib.bound());
    EXPECT_NE(0, lib.monitor("COM1", "MON_ON"));
    ASSERT_TRUE(WaitQueued(1, 3000)) << "the reader thread should wait in the driver";
    uint32_t start = NowMs();
    EXPECT_NE(0, lib.monitor("COM1", "MON_OFF"));
    EXPECT_TRUE(WaitQueued(0, 1000)) << "the stop must end the pending read";
    EXPECT_LT(NowMs() - start, 2000u);
  }
  // btctl starts monitoring and ends; no read of it may stay behind.
  if (!kHasBtctl) return;
  std::string out;
  int code = RunProgram("\"" + Beside("btctl.exe") + "\" monitor COM1 MON_ON", 20000, &out);
  EXPECT_GE(code, 0) << "btctl monitor COM1 MON_ON did not end: " << out;
  EXPECT_TRUE(WaitQueued(0, 3000));
}

// The BOUND column of btctl status for COM<com>, blank read as "NONE".
std::string Bound(const std::string& status, int com) {
  size_t at = status.find("COM" + std::to_string(com) + "  ");
  std::string bound = at == std::string::npos ? "?" : status.substr(at + 30, 12);
  bound.erase(bound.find_last_not_of(' ') + 1);
  return bound.empty() ? "NONE" : bound;
}

// COM4 has no control device, so a call naming it resets its block of the settings file.
// With COM1's last line doubled the reader takes COM3's block for COM4: the reset must still
// read as one, in btctl status, and ports 1 to 3 as the reader saw them. A file another
// program holds open, sharing only its deletion, stays as it is.
TEST(LibraryNoDevice, APortWithoutADeviceReadsResetInADamagedFileAndLeavesAHeldFileAlone) {
  const std::string path = PublishSettingsPath("Quorvex.ini");
  std::string text = "BT_SelPort: COM1\r\nBT_Baudrate: 19200N81\r\n";
  const std::string last = "\t BT_Reserve4: NONE\r\n";
  for (char n = '1'; n <= '4'; ++n)
    text += std::string("\r\nBT_Port: COM") + n + "\r\n\t BT_SelHost:  0010A4C0000" + n + "\r\n\t BT_Selprt:   0080372A001" +
            n + "\r\n\t BT_QueryPrt: NONE\r\n\t BT_HostVrsn: HD_v2.31\r\n\t BT_Reserve1: NONE\r\n" +
            "\t BT_Reserve2: NONE\r\n\t BT_Reserve3: NONE\r\n" + last + (n == '1' ? last : "");
  std::ofstream(path, std::ios::binary) << text << "\r\nBT_Connect: MANUAL\r\n";
  Settings seen;
  ASSERT_TRUE(LoadSetting(seen, path.c_str()));
  ASSERT_STREQ("0080372A0013", seen.Port[3].Selprt);
  {
    Library lib;
    ASSERT_TRUE(lib.bound());
    EXPECT_EQ(2, lib.reset("COM4", "NONE"));
  }
  if (kHasBtctl) {
    std::string status;
    EXPECT_NE(2, RunProgram("\"" + Beside("btctl.exe") + "\" status", 20000, &status)) << status;   // read, not damaged
    EXPECT_EQ("NONE", Bound(status, 4)) << status;
    for (int com = 1; com <= 3; ++com)
      EXPECT_EQ(*seen.Port[com - 1].Selprt ? seen.Port[com - 1].Selprt : "NONE", Bound(status, com)) << status;
  }
  EXPECT_NE(std::string::npos, ReadFileText(path).find("BT_Connect: MANUAL"));

  // Held by a program that lets others delete it, but neither read nor write it.
  const std::string held = ReadFileText(path);
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  {
    Library lib;
    ASSERT_TRUE(lib.bound());
    EXPECT_EQ(2, lib.query("COM3", "NONE"));
  }
  CloseHandle(holder);
  EXPECT_EQ(held, ReadFileText(path));
}

TEST(LibraryThreads, FourThreadsCallingAtOnceNeverOverlapAtTheDriver) {
  Library lib;
  ASSERT_TRUE(lib.bound());
  sarno_diagnostics before = Diagnostics();
  std::vector<platform::test::Thread> threads;
  std::vector<int> results(4, -1);
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      const char* port = i % 2 ? "COM1" : "COM2";
      results[i] = i < 2 ? lib.query(port, "NONE") : lib.reset(port, "NONE");
    });
  }
  for (platform::test::Thread& t : threads) t.join();
  sarno_diagnostics after = Diagnostics();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(0, results[i]) << "call " << i;
  EXPECT_EQ(before.overlaps, after.overlaps) << "two requests were in progress at once";
  EXPECT_EQ(before.requests[2] + 2, after.requests[2]) << "queries";
  EXPECT_EQ(before.requests[1] + 2, after.requests[1]) << "resets";
}

// Run on its own (it takes 20 unloads of 2 s each).
// An application that unloads the library while monitoring leaves it loaded: the reader
// holds it until a stop ends the reader, and then it goes.
TEST(LibraryCycles, TwentyLoadMonitorUnloadCyclesLeaveNothingBehind) {
  for (int i = 0; i < 20; ++i) {
    {
      Library lib;
      ASSERT_TRUE(lib.bound()) << "cycle " << i;
      EXPECT_NE(0, lib.monitor("COM1", "MON_ON")) << "cycle " << i;
    }
    EXPECT_NE(nullptr, GetModuleHandleA("Mendalix.dll")) << "cycle " << i;
    Library lib;
    EXPECT_NE(0, lib.monitor("COM1", "MON_OFF")) << "cycle " << i;
  }
  for (uint32_t start = NowMs(); GetModuleHandleA("Mendalix.dll") && NowMs() - start < ScaledMs(5000);)
    Sleep(50);
  EXPECT_EQ(nullptr, GetModuleHandleA("Mendalix.dll")) << "the last reader's end lets it go";
  EXPECT_TRUE(WaitQueued(0, 3000)) << "reads of unloaded libraries stay in the driver";
  // Wait past any late completion: a reader thread left in unloaded code would crash us.
  Sleep(ScaledMs(1500));
  Device com1(1);
  ASSERT_TRUE(com1.open()) << "the driver is still there";
  uint32_t index = 255;
  EXPECT_TRUE(com1.Request(IOCTL_SARNO_GET_COM_INDX, std::string(4, '\xff'), &index));
  EXPECT_EQ(0u, index);
}

// Run on its own: it leaves the library loaded for good.
// An application that starts monitoring and unloads the library while the loader is busy
// (here: this thread holds the loader lock throughout, as code in a DllMain would) must not
// end up with the reader thread beginning in unloaded code once the loader is free: the
// library stays loaded instead, and its reader runs.
TEST(LibraryLoaderBusy, AReaderStartedWhileTheLoaderIsBusyNeverRunsInUnloadedCode) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  using LockFn = LONG(WINAPI*)(ULONG, ULONG*, ULONG_PTR*);
  using UnlockFn = LONG(WINAPI*)(ULONG, ULONG_PTR);
  auto lock = Bind<LockFn>(ntdll, "LdrLockLoaderLock");
  auto unlock = Bind<UnlockFn>(ntdll, "LdrUnlockLoaderLock");
  ASSERT_TRUE(lock && unlock);

  auto* lib = new Library;
  ASSERT_TRUE(lib->bound());
  ULONG_PTR cookie = 0;
  ASSERT_EQ(0, lock(0, nullptr, &cookie));
  uint32_t start = NowMs();
  EXPECT_NE(0, lib->monitor("COM1", "MON_ON"));
  uint32_t took = NowMs() - start;
  delete lib;   // FreeLibrary with the loader lock still held
  unlock(0, cookie);

  EXPECT_GE(took, 1900u) << "the start waits for its thread, bounded";
  EXPECT_LT(took, 5000u);
  EXPECT_NE(nullptr, GetModuleHandleA("Mendalix.dll")) << "the library must stay loaded";
  EXPECT_TRUE(WaitQueued(1, 3000)) << "its reader runs and waits in the driver";
  Sleep(ScaledMs(500));   // a reader begun in unloaded code would have crashed us by now
}

// Run on its own, with scenarios/dongle_away.txt: a shop application holds the library all
// day while COM1's dongle is pulled out and plugged back, then while the driver is stopped
// and started. Each call while the device is away answers 0x10 within its pauses and a
// second, the settings file stays as it was, and once the device is back the next connect
// of the same process links the printer; so does a query when no call was made meanwhile.
TEST(LibraryAway, ADongleOrDriverAwayAnswers0x10AndTheSameProcessLinksOnceItIsBack) {
  const std::string path = PublishSettingsPath("Quorvex.ini");
  std::ofstream(path, std::ios::binary) << "BT_SelPort: COM2\r\nBT_Baudrate: 19200N81\r\n"
                                           "\r\nBT_Connect: MANUAL\r\n";
  const std::string file = ReadFileText(path);
  const char* printer = "0080372A0011";
  Library lib;
  ASSERT_TRUE(lib.bound());
  ASSERT_EQ(0, lib.connect("COM1", printer)) << "before the dongle is pulled out";

  auto away = [&](const char* when) {
    uint32_t t[4] = {NowMs()};
    EXPECT_EQ(0x10, lib.connect("COM1", printer)) << when;
    t[1] = NowMs();
    EXPECT_EQ(0x10, lib.query("COM1", "NONE")) << when;
    t[2] = NowMs();
    EXPECT_EQ(0x10, lib.reset("COM1", "NONE")) << when;
    t[3] = NowMs();
    printf("%s: connect %u ms, query %u ms, reset %u ms\n", when, t[1] - t[0], t[2] - t[1], t[3] - t[2]);
    EXPECT_LE(t[1] - t[0], 300u + 300u + 1000u) << when;   // its two pauses
    EXPECT_LE(t[2] - t[1], 1000u) << when;
    EXPECT_LE(t[3] - t[2], 1000u) << when;
    EXPECT_EQ(file, ReadFileText(path)) << when;
  };
  ASSERT_EQ(1, FireNextEvent()) << "the dongle pulled out";
  ASSERT_TRUE(WaitState("COM1ConnectState", 4, 30000)) << "the dongle was not pulled out";
  away("unplugged");
  ASSERT_EQ(1, FireNextEvent()) << "the dongle plugged back";
  ASSERT_TRUE(WaitState("COM1ConnectState", 255, 30000)) << "the dongle was not plugged back";
  EXPECT_EQ(0, lib.connect("COM1", printer)) << "plugged back";
  EXPECT_EQ(0u, State("COM1ConnectState"));

  ASSERT_TRUE(StopDriver(ScaledMs(10000)));
  away("driver stopped");
  ASSERT_TRUE(StartDriver(ScaledMs(10000)));
  EXPECT_EQ(0, lib.connect("COM1", printer)) << "driver started again";
  EXPECT_EQ(0u, State("COM1ConnectState"));
  EXPECT_EQ(file, ReadFileText(path));

  // The started driver plays the scenario again. Away and back while the application makes
  // no call: the device comes back under the handle value it had (Wine reuses handles), and
  // the next call, a query, gives the driver's word. The same across a driver stop and start.
  ASSERT_EQ(1, FireNextEvent()) << "the dongle pulled out again";
  ASSERT_TRUE(WaitState("COM1ConnectState", 4, 30000)) << "the dongle was not pulled out again";
  ASSERT_EQ(1, FireNextEvent()) << "the dongle plugged back again";
  ASSERT_TRUE(WaitState("COM1ConnectState", 255, 30000)) << "the dongle was not plugged back again";
  EXPECT_EQ(0, lib.query("COM1", "NONE")) << "plugged back, no call between";
  ASSERT_TRUE(StopDriver(ScaledMs(10000)));
  ASSERT_TRUE(StartDriver(ScaledMs(10000)));
  EXPECT_EQ(0, lib.query("COM1", "NONE")) << "driver started again, no call between";
}

// After the story above, with the driver just started: monitoring on COM1, the dongle pulled
// out, a query that finds the device gone, then the stop. The stop ends the reader, which
// holds the library, so that the application's FreeLibrary unloads it and the driver, its
// devices closed, can be stopped.
TEST(LibraryAway, AStopAfterTheDongleWentLetsTheLibraryUnload) {
  auto* lib = new Library;
  ASSERT_TRUE(lib->bound());
  ASSERT_NE(0, lib->monitor("COM1", "MON_ON"));
  ASSERT_EQ(1, FireNextEvent()) << "the dongle pulled out";
  ASSERT_TRUE(WaitState("COM1ConnectState", 4, 30000)) << "the dongle was not pulled out";
  EXPECT_EQ(0x10, lib->query("COM1", "NONE"));
  EXPECT_EQ(0x10, lib->monitor("COM1", "MON_OFF"));
  const uint32_t start = NowMs();
  delete lib;   // FreeLibrary
  while (GetModuleHandleA("Mendalix.dll") && NowMs() - start < ScaledMs(3000)) Sleep(50);
  printf("the library was gone %u ms after FreeLibrary\n", NowMs() - start);
  EXPECT_EQ(nullptr, GetModuleHandleA("Mendalix.dll"));
  EXPECT_TRUE(StopDriver(ScaledMs(10000)));
  EXPECT_TRUE(StartDriver(ScaledMs(10000)));
}

// Run on its own, from the 32-bit program with STORY_PARTNER naming the 64-bit one: two
// applications of either bitness on one terminal, each with two threads querying its own
// port (this one COM1, the partner COM2, STORY_PORT) 50 times, at the same time, through the
// same driver and the same settings file (the current folder's, published as BTiniPath).
// Every call answers 0, each device (so each application) has one request in progress at a
// time, and the file afterwards holds both ports' findings.
TEST(LibraryBitness, ApplicationsOfBothBitnessesQueryTheirOwnPortsAtOnce) {
  char partner[MAX_PATH] = "", port[8] = "COM1";
  const bool first = GetEnvironmentVariableA("STORY_PARTNER", partner, sizeof partner) > 0;
  GetEnvironmentVariableA("STORY_PORT", port, sizeof port);
  const std::string path = PublishSettingsPath("Quorvex.ini");
  int partnerCode = -1;
  std::string partnerOut;
  platform::test::Thread partnerRun;
  std::vector<sarno_timing> seen;
  uint32_t lost = 0;
  std::atomic<bool> done{false};
  platform::test::Thread watcher;
  if (first) {
    DeleteFileA(path.c_str());
    SetEnvironmentVariableA("STORY_PARTNER", nullptr);
    SetEnvironmentVariableA("STORY_PORT", "COM2");
    partnerRun = platform::test::Thread([&] {
      partnerCode = RunProgram(std::string("\"") + partner +
                                   "\" --gtest_filter=LibraryBitness.*", ScaledMs(90000), &partnerOut);
    });
    // The driver keeps its last 64 requests: read them as they come.
    watcher = platform::test::Thread([&] {
      for (uint32_t next = Diagnostics().timing_count; !done; Sleep(200)) {
        sarno_diagnostics d = Diagnostics();
        uint32_t oldest = d.timing_count > SARNO_TIMING_SIZE ? d.timing_count - SARNO_TIMING_SIZE : 0;
        if (next < oldest) lost += oldest - next, next = oldest;
        for (; next < d.timing_count; ++next) seen.push_back(d.timing[next - oldest]);
      }
    });
  }
  if (Library lib; lib.bound()) {
    // Both start together: each says it is ready and waits for the other (bounded).
    HANDLE mine = CreateEventA(nullptr, TRUE, FALSE, first ? "StoryReady32" : "StoryReady64");
    HANDLE other = CreateEventA(nullptr, TRUE, FALSE, first ? "StoryReady64" : "StoryReady32");
    SetEvent(mine);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(other, ScaledMs(60000))) << "the other never came";
    std::atomic<int> wrong{0};
    std::vector<platform::test::Thread> threads;
    for (int t = 0; t < 2; ++t)
      threads.emplace_back([&] {
        for (int i = 0; i < 25; ++i)
          if (lib.query(port, "NONE") != 0) ++wrong;
      });
    for (platform::test::Thread& t : threads) t.join();
    EXPECT_EQ(0, wrong.load()) << port << ": queries that did not answer 0";
    CloseHandle(mine);
    CloseHandle(other);
  } else {
    ADD_FAILURE() << "Mendalix.dll not found or not bound";
  }
  if (!first) return;
  partnerRun.join();
  done = true;
  watcher.join();
  EXPECT_EQ(0, partnerCode) << partnerOut;
  EXPECT_EQ(0u, lost) << "requests that the watcher missed";
  // Per device, a query arrives only after the one before was answered (150 ms in progress).
  uint32_t queries[2] = {}, last[2] = {}, close = 0;
  for (const sarno_timing& t : seen) {
    if (t.code != IOCTL_SARNO_PINQ || t.device > 1) continue;
    if (queries[t.device]++ && t.at_ms - last[t.device] < 140) ++close;
    last[t.device] = t.at_ms;
  }
  EXPECT_EQ(50u, queries[0]) << "COM2's";
  EXPECT_EQ(50u, queries[1]) << "COM1's";
  EXPECT_EQ(0u, close) << "requests of one application in progress at once";
  const std::string file = ReadFileText(path);
  std::vector<std::string> com1 = SettingsBlock(file, 1), com2 = SettingsBlock(file, 2);
  ASSERT_GE(com1.size(), 8u) << file;
  ASSERT_GE(com2.size(), 8u) << file;
  EXPECT_EQ("\t BT_SelHost:  0010A4C00001", com1[1]);
  EXPECT_EQ("\t BT_QueryPrt: 0080372A0011", com1[3]);
  EXPECT_EQ("\t BT_SelHost:  0010A4C00002", com2[1]);
  EXPECT_EQ("\t BT_QueryPrt: 0080372A0001", com2[3]);
}
