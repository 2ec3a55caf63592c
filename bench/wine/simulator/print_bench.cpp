// The time from `btctl print-test COM1` to the printer's confirmed print, under Wine with the
// simulated driver: five runs on a linked COM1, each from the program's start to its exit
// after the confirmation, and the part btctl itself reports (its receipt's first byte to the
// confirmation). Prints the medians.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/wine/simulator/simulator_client.h"

using namespace simtest;

namespace {

uint32_t Median(std::vector<uint32_t> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main() {
  PublishSettingsPath("Quorvex.ini");
  Device control(0);
  uint32_t word = 0xDEAD;
  if (!control.Request(IOCTL_SARNO_PCON, "0080372A0011", &word) || word != 0) {
    printf("print-test to confirmed print: not measured (COM1 did not connect: 0x%X)\n", word);
    return 1;
  }
  char self[MAX_PATH] = {0};
  std::string btctl(self, GetModuleFileNameA(nullptr, self, sizeof self));
  btctl = "\"" + btctl.substr(0, btctl.rfind('\\') + 1) + "btctl.exe\" print-test COM1";
  std::vector<uint32_t> whole, confirmed;
  std::string runs;
  for (int i = 0; i < 5; ++i) {
    std::string out;
    uint32_t start = NowMs();
    int code = RunProgram(btctl, 30000, &out);
    uint32_t took = NowMs() - start;
    unsigned bytes = 0, ms = 0;
    size_t at = out.find("(");
    if (code != 0 || at == std::string::npos ||
        sscanf(out.c_str() + at, "(%u bytes, confirmed in %u ms)", &bytes, &ms) != 2) {
      printf("print-test to confirmed print: run %d failed (exit %d): %s\n", i + 1, code, out.c_str());
      return 1;
    }
    whole.push_back(took);
    confirmed.push_back(ms);
    runs += (i ? ", " : "") + std::to_string(took);
  }
  printf("print-test to confirmed print: median %u ms from start to exit (runs %s ms), "
         "median %u ms from the receipt to its confirmation\n",
         Median(whole), runs.c_str(), Median(confirmed));
  return 0;
}
