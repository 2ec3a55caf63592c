// btctl watch --reconnect under Wine, with the real library and the simulated driver: COM1's
// bound printer is carried out of range and comes back (run_watch_story.sh's scenario and
// times); COM2's printer is in range, found by a query, but not bound.
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

int Env(const char* name) { return getenv(name) ? atoi(getenv(name)) : 0; }

// "2026-12-07 14:03:22.417 text": milliseconds of the day.
int StampMs(const std::string& line) {
  int h = 0, m = 0, s = 0, ms = 0;
  if (sscanf(line.c_str(), "%*d-%*d-%*d %d:%d:%d.%d", &h, &m, &s, &ms) != 4) return -1;
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

}  // namespace

TEST(BtctlWatch, APrinterLeavingAndReturningIsReconnectedWithAGrowingBackOff) {
  const int leaveS = Env("WATCH_LEAVE_S"), backS = Env("WATCH_BACK_S"), forS = Env("WATCH_FOR_S");
  ASSERT_GT(leaveS, 0) << "run through run_watch_story.sh";
  std::ofstream(PublishSettingsPath("Quorvex.ini"), std::ios::binary)
      << "BT_SelPort: COM1\r\nBT_Baudrate: 19200N81\r\n"
      << Block(1, "0010A4C0FFEE", "0080372A0001", "0080372A0001")
      << Block(2, "0010A4C0BEEF", "NONE", "0080372A0003") << Block(3, "NONE", "NONE", "NONE")
      << Block(4, "NONE", "NONE", "NONE") << "\r\nBT_Connect: AUTO\r\n";
  char self[MAX_PATH] = {0};
  std::string btctl(self, GetModuleFileNameA(nullptr, self, sizeof self));
  btctl = btctl.substr(0, btctl.rfind('\\') + 1) + "btctl.exe";
  uint32_t from = Diagnostics().timing_count;

  std::string out;
  ASSERT_EQ(0, RunProgram("\"" + btctl + "\" watch --reconnect --for " + std::to_string(forS),
                          (forS + 30) * 1000, &out)) << out;
  printf("%s", out.c_str());

  // The drop, the failed tries with growing gaps, the reconnect.
  std::istringstream lines(out);
  bool dropped = false, reconnected = false;
  std::vector<int> failed;
  int lastGapS = 0;
  for (std::string l; std::getline(lines, l);) {
    dropped = dropped || l.find("COM1: Disconnect Ok (DisConected, state 0x4)") != std::string::npos;
    if (!dropped || reconnected || l.find("COM1: try ") == std::string::npos) continue;
    size_t at = l.find("next try in ");
    if (l.find("= 0x20: COM1: Printer Dongle Connection Failed....") != std::string::npos &&
        at != std::string::npos) {
      failed.push_back(StampMs(l));
      lastGapS = atoi(l.c_str() + at + 12);
    }
    reconnected = l.find("= 0x0: COM1: Connect Ok") != std::string::npos;
  }
  EXPECT_TRUE(dropped);
  EXPECT_TRUE(reconnected);
  ASSERT_GE(failed.size(), 3u);
  for (size_t i = 2; i < failed.size(); ++i)
    EXPECT_GT(failed[i] - failed[i - 1], failed[i - 1] - failed[i - 2] + 500) << "try " << i + 1;

  // The driver's side: the reconnect within the back-off step after the printer's return,
  // COM1 connected at the end, and not one request to COM2's device (device 1).
  sarno_diagnostics d = Diagnostics();
  uint32_t reconnectMs = 0;
  for (const sarno_timing& t : Requests(d, IOCTL_SARNO_PCON, from))
    if (!reconnectMs && t.result == 0 && t.at_ms >= backS * 1000u) reconnectMs = t.at_ms;
  ASSERT_NE(0u, reconnectMs);
  EXPECT_LE(reconnectMs - backS * 1000u, lastGapS * 1000u + ScaledMs(1000));
  for (uint32_t code : {IOCTL_SARNO_PCON, IOCTL_SARNO_RESET, IOCTL_SARNO_PINQ})
    for (const sarno_timing& t : Requests(d, code, from)) EXPECT_EQ(0u, t.device) << std::hex << code;
  uint32_t state = 255;
  EXPECT_TRUE(ReadDword("COM1ConnectState", &state));
  EXPECT_EQ(0u, state);

  // status agrees: every bound port is connected.
  EXPECT_EQ(0, RunProgram("\"" + btctl + "\" status --json", 20000, &out)) << out;
  printf("%s", out.c_str());
}
