// Fuzzes what the simulated driver takes from outside: scenario text, and the settings file
// that it rewrites after a query. Each run gets an exact-size copy, so that any read past
// the input shows.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "simulator/model/sim_model.h"
#include "simulator/model/sim_settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> copy(data, data + size);
  static sim_scenario scenario;
  sim_parse_scenario(&scenario, copy.data(), copy.size(), nullptr);

  static char out[SIM_FILE_SIZE];
  sim_findings f{};
  f.host = "0010A4C0FFEE";
  f.version = "HD_v2.31";
  f.count = size > 0 ? data[0] % (SIM_QUERY_MAX + 1) : 0;
  for (int i = 0; i < f.count; ++i) f.printers[i] = "0080372A0001";
  int port = size > 1 ? data[1] % SIM_PORT_COUNT : 0;
  size_t len = sim_write_findings(copy.data(), copy.size(), port, &f, out, sizeof out);
  if (len > sizeof out) __builtin_trap();
  // The result has the port's block: rewriting it again changes nothing.
  if (len > 0) {
    static char again[SIM_FILE_SIZE];
    size_t len2 = sim_write_findings(out, len, port, &f, again, sizeof again);
    if (len2 != 0 && (len2 != len || std::memcmp(out, again, len) != 0)) __builtin_trap();
  }
  return 0;
}
