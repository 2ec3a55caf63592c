// btctl watch --reconnect under Wine, with the real library and the simulated driver: COM1's
// bound printer is carried out of range and comes back, then COM1's dongle is pulled out and
// plugged back (run_watch_story.sh's scenario; the story fires each event once the watch has
// shown what comes before it: the link up, three failed tries); COM2's printer is in range, found by
// a query, but not bound; COM3's is bound, but the driver has no control device for COM3. The
// watch, then btctl's one-shot calls on COM3, run in the folder of the settings file, as ones
// started from the install folder do.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/wine/simulator/simulator_client.h"

using namespace simtest;

namespace {

std::string Block(int com, const char* host, const char* bound, const char* found) {
  std::string b = "\r\nBT_Port: COM" + std::to_string(com) + "\r\n\t BT_SelHost:  " + host +
                  "\r\n\t BT_Selprt:   " + bound + "\r\n\t BT_QueryPrt: " + found + "\r\n";
  if (std::string(found) != "NONE") b += "\t BT_QueryPrt: NONE\r\n";
  b += std::string("\t BT_HostVrsn: ") + (*host == '0' ? "HD_v2.31" : "NONE") + "\r\n";
  for (int r = 1; r <= 4; ++r) b += "\t BT_Reserve" + std::to_string(r) + ": NONE\r\n";
  return b;
}

const char kDrop[] = "COM1: Disconnect Ok (DisConected, state 0x4)";
const char kUp[] = "COM1: Connect Ok (Conected";

// The lines of the watch's log after its `drops`-th drop (0: from the start) holding `text`.
int LinesAfterDrop(const std::string& log, int drops, const char* text) {
  std::istringstream lines(ReadFileText(log));
  int seen = 0, n = 0;
  for (std::string l; std::getline(lines, l);) {
    seen += l.find(kDrop) != std::string::npos;
    n += seen == drops && l.find(text) != std::string::npos;
  }
  return n;
}

// Waits (bounded) until the log holds `count` such lines; true when it did.
bool WaitLog(const std::string& log, int drops, const char* text, int count) {
  for (uint32_t start = NowMs(); NowMs() - start < ScaledMs(60000); Sleep(100))
    if (LinesAfterDrop(log, drops, text) >= count) return true;
  return false;
}

// The watch in the background, its lines going to `log`; the story ends it.
HANDLE StartWatch(const std::string& btctl, const std::string& log) {
  std::string cmd = "\"" + btctl + "\" watch --reconnect --for " +
                    std::to_string(ScaledMs(600000) / 1000) + " --log \"" + log + "\"";
  STARTUPINFOA si;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

// "2026-12-07 14:03:22.417 text": milliseconds of the day.
int StampMs(const std::string& line) {
  int h = 0, m = 0, s = 0, ms = 0;
  if (sscanf(line.c_str(), "%*d-%*d-%*d %d:%d:%d.%d", &h, &m, &s, &ms) != 4) return -1;
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

}  // namespace

TEST(BtctlWatch, APrinterLeavingAndReturningIsReconnectedWithAGrowingBackOff) {
  std::ofstream(PublishSettingsPath("Quorvex.ini"), std::ios::binary)
      << "BT_SelPort: COM1\r\nBT_Baudrate: 19200N81\r\n"
      << Block(1, "0010A4C0FFEE", "0080372A0001", "0080372A0001")
      << Block(2, "0010A4C0BEEF", "NONE", "0080372A0003") << Block(3, "NONE", "0080372A0009", "NONE")
      << Block(4, "NONE", "NONE", "NONE") << "\r\nBT_Connect: AUTO\r\n";
  const std::string file = ReadFileText(PublishSettingsPath("Quorvex.ini"));
  char self[MAX_PATH] = {0};
  std::string btctl(self, GetModuleFileNameA(nullptr, self, sizeof self));
  btctl = btctl.substr(0, btctl.rfind('\\') + 1) + "btctl.exe";
  uint32_t from = Diagnostics().timing_count;

  // Linked: the printer leaves; three tries failed: it is back (backAt, on the driver's
  // clock); linked again: the dongle is pulled out; three tries failed: it is plugged back;
  // linked again: the watch is ended.
  char cwd[MAX_PATH] = {0};
  const std::string log = std::string(cwd, GetCurrentDirectoryA(sizeof cwd, cwd)) + "\\watch.log";
  DeleteFileA(log.c_str());
  HANDLE watch = StartWatch(btctl, log);
  ASSERT_NE(nullptr, watch);
  uint32_t backAt[2] = {0, 0};
  const char* failure[2] = {"= 0x20: COM1: Printer Dongle", "= 0x10: COM1: Terminal Dongle"};
  bool shown = WaitLog(log, 0, kUp, 1);
  for (int k = 0; k < 2 && shown; ++k) {
    EXPECT_EQ(1, FireNextEvent()) << (k ? "unplug" : "leave");
    shown = WaitLog(log, k + 1, failure[k], 3);
    backAt[k] = Diagnostics().now_ms;
    EXPECT_EQ(1, FireNextEvent()) << (k ? "plug" : "return");
    shown = shown && WaitLog(log, k + 1, kUp, 1);
  }
  TerminateProcess(watch, 0);
  WaitForSingleObject(watch, ScaledMs(10000));
  CloseHandle(watch);
  std::string out = ReadFileText(log);
  printf("%s", out.c_str());
  ASSERT_TRUE(shown) << "the watch did not show what the story waited for";

  // Each time (the printer out of range, then the dongle pulled out): the drop, the failed
  // tries with growing gaps, the reconnect.
  std::istringstream lines(out);
  struct Away {
    const char* failure;
    int drops;    // the drop line that starts it
    std::vector<int> failed;
    int lastGapS = 0;
    bool reconnected = false;
  } aways[] = {{"= 0x20: COM1: Printer Dongle Connection Failed....", 1},
               {"= 0x10: COM1: Terminal Dongle Failed....", 2}};
  int drops = 0;
  for (std::string l; std::getline(lines, l);) {
    drops += l.find("COM1: Disconnect Ok (DisConected, state 0x4)") != std::string::npos;
    for (Away& a : aways) {
      if (drops != a.drops || a.reconnected || l.find("COM1: try ") == std::string::npos) continue;
      size_t at = l.find("next try in ");
      if (l.find(a.failure) != std::string::npos && at != std::string::npos) {
        a.failed.push_back(StampMs(l));
        a.lastGapS = atoi(l.c_str() + at + 12);
      }
      a.reconnected = l.find("= 0x0: COM1: Connect Ok") != std::string::npos;
    }
  }
  EXPECT_EQ(2, drops);
  for (const Away& a : aways) {
    EXPECT_TRUE(a.reconnected) << a.failure;
    ASSERT_GE(a.failed.size(), 3u) << a.failure;
    for (size_t i = 2; i < a.failed.size(); ++i)
      EXPECT_GT(a.failed[i] - a.failed[i - 1], a.failed[i - 1] - a.failed[i - 2] + 500) << "try " << i + 1;
  }
  EXPECT_EQ(file, ReadFileText(PublishSettingsPath("Quorvex.ini"))) << "the watch changed its folder's file";

  // The driver's side: each reconnect within the back-off step after the printer's return
  // and the dongle's plug, COM1 connected at the end, and not one request to COM2's device
  // (device 1).
  sarno_diagnostics d = Diagnostics();
  for (int k = 0; k < 2; ++k) {
    uint32_t reconnectMs = 0;
    for (const sarno_timing& t : Requests(d, IOCTL_SARNO_PCON, from))
      if (!reconnectMs && t.result == 0 && t.at_ms >= backAt[k]) reconnectMs = t.at_ms;
    ASSERT_NE(0u, reconnectMs) << k;
    printf("linked again %u ms after %s; the last step was %d s\n", reconnectMs - backAt[k],
           k ? "the plug" : "the printer's return", aways[k].lastGapS);
    EXPECT_LE(reconnectMs - backAt[k], aways[k].lastGapS * 1000u + ScaledMs(1000)) << k;
  }
  for (uint32_t code : {IOCTL_SARNO_PCON, IOCTL_SARNO_RESET, IOCTL_SARNO_PINQ})
    for (const sarno_timing& t : Requests(d, code, from)) EXPECT_EQ(0u, t.device) << std::hex << code;
  uint32_t state = 255;
  EXPECT_TRUE(ReadDword("COM1ConnectState", &state));
  EXPECT_EQ(0u, state);
  // --for ends a watch by itself, with exit status 0.
  EXPECT_EQ(0, RunProgram("\"" + btctl + "\" watch --reconnect --for 2", 30000, &out)) << out;

  // The one-shot calls from the same folder name COM3, which has no control device: the
  // library's copy of the settings is btctl's own, so COM3 stays bound in this folder's file.
  for (const char* call : {"query COM3", "connect COM3 0080372A0009", "reset COM3",
                           "monitor COM3 MON_ON", "--variant query COM3 NONE"}) {
    RunProgram("\"" + btctl + "\" " + call, 20000, &out);
    EXPECT_EQ(file, ReadFileText(PublishSettingsPath("Quorvex.ini"))) << call << ": " << out;
  }

  // status agrees: COM1 is connected; COM3, bound without a control device, is not, and
  // keeps its binding.
  EXPECT_EQ(1, RunProgram("\"" + btctl + "\" status", 20000, &out)) << out;
  printf("%s", out.c_str());
  EXPECT_NE(std::string::npos, out.find("0080372A0001  Conected")) << out;
  EXPECT_NE(std::string::npos, out.find("0080372A0009")) << out;
}
