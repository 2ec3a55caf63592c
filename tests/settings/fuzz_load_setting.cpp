// Fuzzes the settings reader. Each input is an exact-size heap copy, so that a read one byte
// past its end is seen by AddressSanitizer. Besides not crashing, every input must leave
// sound settings behind, and the file the writer makes of them must read back to itself.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "settings/settings.h"
#include "settings/settings_buffer.h"

namespace {

void CheckSound(const Settings& s) {
  if (s.BT_SelPort < 0 || s.BT_SelPort >= kPortCount) std::abort();
  if (!std::memchr(s.BT_Baudrate, '\0', kBaudSize)) std::abort();
  if (!std::memchr(s.BT_Connect, '\0', kFieldSize)) std::abort();
  for (const PortSetting& p : s.Port) {
    if (p.QueryPrtCount < 0 || p.QueryPrtCount > kQueryPrtMax) std::abort();
    for (const char* f : {p.SelHost, p.Selprt, p.HostVrsn, p.Reserve1, p.Reserve2, p.Reserve3,
                          p.Reserve4, p.QueryPrt[0], p.QueryPrt[1], p.QueryPrt[2], p.QueryPrt[3],
                          p.QueryPrt[4], p.QueryPrt[5], p.QueryPrt[6]}) {
      if (!std::memchr(f, '\0', kFieldSize)) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> copy(new char[size ? size : 1]);
  if (size) std::memcpy(copy.get(), data, size);

  Settings s;
  LoadSettingFromBuffer(s, copy.get(), size);
  CheckSound(s);

  // Whatever was read, the writer's file is one the reader takes back exactly.
  char first[4096];
  size_t n = FormatSettings(s, first, sizeof first);
  if (n == 0) std::abort();
  std::unique_ptr<char[]> written(new char[n]);
  std::memcpy(written.get(), first, n);
  Settings back;
  LoadSettingFromBuffer(back, written.get(), n);
  CheckSound(back);
  char second[4096];
  size_t m = FormatSettings(back, second, sizeof second);
  if (m != n || std::memcmp(first, second, n) != 0) std::abort();
  return 0;
}
