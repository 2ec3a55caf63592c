// Fuzzes what the simulated driver takes from outside: scenario text, the settings file
// that it rewrites after a query, and the bytes a program writes to a printer (and the roll
// they leave, rendered as text). Each run gets an exact-size copy, so that any read past
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
  // The same bytes written to a linked printer, in two writes cut where data[0] says.
  static sim_model model;
  static sim_scenario world;
  static const char kWorld[] =
      "device 0 COM1\ndongle COM1 0010A4C0FFEE HD_v2.31\nprinter COM1 0080372A0001 accepts\n"
      "info COM1 0080372A0001 model RX-80\n";
  if (sim_parse_scenario(&world, kWorld, sizeof kWorld - 1, nullptr) != 0) __builtin_trap();
  sim_init(&model, &world, nullptr, 0);
  uint32_t word = 0, got = 0;
  sim_request(&model, 0, IOCTL_SARNO_PCON, "0080372A0001", 12, &word, 4, &got);
  size_t cut = size > 0 ? data[0] % (size + 1) : 0;
  if (sim_serial_write(&model, 0, copy.data(), static_cast<uint32_t>(cut)) != cut ||
      sim_serial_write(&model, 0, copy.data() + cut, static_cast<uint32_t>(size - cut)) != size - cut)
    __builtin_trap();
  static unsigned char answers[SIM_ANSWER_SIZE + 1];
  if (sim_serial_read(&model, 0, answers, sizeof answers) > SIM_ANSWER_SIZE) __builtin_trap();
  uint32_t roll_len = 0;
  const unsigned char* roll = sim_roll(&model, 0, &roll_len, nullptr);
  static char text[97];
  size_t shown = sim_render_roll(roll, roll_len, text, sizeof text);
  if (shown >= sizeof text || text[shown] != '\0') __builtin_trap();
  return 0;
}
