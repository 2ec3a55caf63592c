// btctl print-test and health under Wine, with the simulated driver: a receipt printed on a
// linked COM1 and found whole on the printer's roll, the printer's paper running low and out
// and its cover opened (run_printer_story.sh's scenario, its events fired by the story), the
// port held by another program, the link dropped, and command lines that are wrong.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "tests/wine/simulator/simulator_client.h"

using namespace simtest;

namespace {

std::string BtctlPath() {
  char self[MAX_PATH] = {0};
  std::string path(self, GetModuleFileNameA(nullptr, self, sizeof self));
  return "\"" + path.substr(0, path.rfind('\\') + 1) + "btctl.exe\"";
}

// btctl ARGS: its exit status; what it printed, both streams, in *out.
int Btctl(const std::string& args, std::string* out) {
  int code = RunProgram(BtctlPath() + " " + args, 20000, out);
  for (size_t at; (at = out->find('\r')) != std::string::npos;) out->erase(at, 1);
  printf("btctl %s -> %d\n%s", args.c_str(), code, out->c_str());
  return code;
}

sarno_roll Roll() {
  static sarno_roll r;
  Device d(0);
  DWORD got = 0;
  uint32_t com = 0;
  memset(&r, 0, sizeof r);
  memcpy(&r, &com, sizeof com);
  EXPECT_TRUE(DeviceIoControl(d.handle(), IOCTL_SARNO_ROLL, &r, sizeof r, &r, sizeof r, &got, nullptr));
  return r;
}

size_t Lines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

}  // namespace

TEST(BtctlPrinter, AReceiptIsPrintedOnlyWhereThePrinterCanAndHealthSaysWhy) {
  std::ofstream ini(PublishSettingsPath("Quorvex.ini"), std::ios::binary);
  ini << "BT_SelPort: COM1\r\nBT_Baudrate: 19200N81\r\n";
  for (int com = 1; com <= 4; ++com) {
    ini << "\r\nBT_Port: COM" << com << "\r\n\t BT_SelHost:  NONE\r\n\t BT_Selprt:   "
        << (com == 1 ? "0080372A0001" : "NONE") << "\r\n\t BT_QueryPrt: NONE\r\n\t BT_HostVrsn: NONE\r\n";
    for (int r = 1; r <= 4; ++r) ini << "\t BT_Reserve" << r << ": NONE\r\n";
  }
  ini << "\r\nBT_Connect: AUTO\r\n";
  ini.close();
  Device control(0);
  uint32_t word = 0xDEAD;
  ASSERT_TRUE(control.Request(IOCTL_SARNO_PCON, "0080372A0001", &word));
  ASSERT_EQ(0u, word);

  std::string out;
  ASSERT_EQ(0, Btctl("print-test COM1", &out));
  unsigned bytes = 0, ms = 0;
  ASSERT_EQ(2, sscanf(out.c_str(), "COM1: test receipt printed on 0080372A0001 (%u bytes, confirmed in %u ms)",
                      &bytes, &ms)) << out;
  sarno_roll r = Roll();
  EXPECT_EQ(bytes, r.total);
  ASSERT_EQ(bytes, r.len);
  std::string roll(reinterpret_cast<char*>(r.bytes), r.len);
  EXPECT_EQ(0u, roll.find("\x1b@\x1b" "a\x01\x1b" "E\x01TEST RECEIPT\n")) << "begins with [init]";
  EXPECT_EQ(roll.size() - 6, roll.find("\x1b" "d\x03\x1dV", 0)) << "ends with [feed 3][cut]";
  EXPECT_NE(std::string::npos, roll.find("Printer:  0080372A0001\n"));
  // The driver's version from its file in the real drivers folder, on 64-bit Windows too.
  EXPECT_NE(std::string::npos, roll.find("Driver:   Sarnovek.sys 1.")) << roll;
  EXPECT_NE(std::string::npos, roll.find(" !\"#$%&'()*+,-./0123456789:;<=>?@ABC"));
  EXPECT_EQ(std::string::npos, roll.find("\x10\x04")) << "no status request on the roll";

  EXPECT_EQ(0, Btctl("health COM1 --json", &out));
  EXPECT_NE(std::string::npos, out.find("\"online\":true,")) << out;
  EXPECT_NE(std::string::npos, out.find("\"firmware\":\"1.02\",")) << out;
  EXPECT_NE(std::string::npos, out.find("\"maker\":\"unsupported\",")) << out;
  EXPECT_NE(std::string::npos, out.find("\"can_print\":true}")) << out;

  // Another program holds the port: nothing sent, and its handle keeps working.
  HANDLE held = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_EQ(2, Btctl("print-test COM1", &out));
  EXPECT_EQ("COM1 is in use by another program; nothing was sent\n", out);
  DCB dcb = {};
  dcb.DCBlength = sizeof dcb;
  EXPECT_TRUE(GetCommState(held, &dcb));
  CloseHandle(held);

  // Wrong command lines: one line each, exit status 2.
  for (const char* args : {"print-test COM9", "print-test", "health COM1 --json extra"}) {
    EXPECT_EQ(2, Btctl(args, &out));
    EXPECT_EQ(1u, Lines(out)) << args;
  }

  ASSERT_EQ(1, FireNextEvent()) << "paper near its end; run through run_printer_story.sh";
  EXPECT_EQ(0, Btctl("health COM1", &out)) << "paper near its end is a warning";
  EXPECT_NE(std::string::npos, out.find("COM1: can print (warning: paper near its end)"));
  ASSERT_EQ(1, FireNextEvent()) << "paper out";
  EXPECT_EQ(1, Btctl("print-test COM1", &out));
  EXPECT_EQ("COM1: paper out; nothing was sent\n", out);
  EXPECT_EQ(1, Btctl("health COM1 --json", &out));
  EXPECT_NE(std::string::npos, out.find("\"online\":false,\"online_ms\":")) << out;
  EXPECT_NE(std::string::npos, out.find("\"paper\":\"out\"")) << out;
  ASSERT_EQ(2, FireNextEvent()) << "paper loaded, cover open";
  EXPECT_EQ(1, Btctl("health COM1 --json", &out));
  EXPECT_NE(std::string::npos, out.find("\"paper\":\"ok\",")) << out;
  EXPECT_NE(std::string::npos, out.find("\"cover\":\"open\",")) << out;
  EXPECT_EQ(bytes, Roll().total) << "nothing more was printed";

  // The link dropped: no answer within 3 s, nothing printed.
  ASSERT_TRUE(control.Request(IOCTL_SARNO_PCON, "NULL", &word));
  uint32_t start = NowMs();
  EXPECT_EQ(1, Btctl("print-test COM1", &out));
  EXPECT_LT(NowMs() - start, ScaledMs(3000));
  EXPECT_NE(std::string::npos, out.find("no answer from the printer on COM1")) << out;
  EXPECT_EQ(2, Btctl("health COM1 --json", &out));
  EXPECT_NE(std::string::npos, out.find("{\"port\":\"COM1\",\"printer\":\"0080372A0001\",\"asked\":false"));
  EXPECT_EQ(bytes, Roll().total);
}
