#include "tests/setup/rig_common.h"

#include <sstream>

namespace setup_rig {

std::string FormatIni(const Ini& ini) {
  std::ostringstream o;
  o << "BT_SelPort: COM" << ini.selPort << "\r\n";
  o << "BT_Baudrate: " << ini.baud << "\r\n";
  for (int n = 0; n < 4; ++n) {
    const IniPort& p = ini.port[n];
    o << "\r\nBT_Port: COM" << n + 1 << "\r\n";
    o << "\t BT_SelHost:  " << p.host << "\r\n";
    o << "\t BT_Selprt:   " << p.selprt << "\r\n";
    size_t k = 0;
    for (; k < p.printers.size() && k < 7; ++k) o << "\t BT_QueryPrt: " << p.printers[k] << "\r\n";
    if (k < 7) o << "\t BT_QueryPrt: NONE\r\n";
    o << "\t BT_HostVrsn: " << p.version << "\r\n";
    for (int r = 1; r <= 4; ++r) o << "\t BT_Reserve" << r << ": NONE\r\n";
  }
  o << "\r\nBT_Connect: " << ini.mode << "\r\n";
  return o.str();
}

}  // namespace setup_rig
