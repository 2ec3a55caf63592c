// Saves a full settings file over an older one, cut off after every possible number of
// bytes (the disk fills up: a file size limit), and counts how often the file that stays
// is the old one whole, the new one whole, or anything else (lost or mixed). Also checks
// that no temporary file is left behind. Prints one line; exits non-zero on any loss.
#include <dirent.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include "settings/settings.h"

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The old file: one printer on COM1. The new one: seven printers on every port.
Settings Filled(int printers) {
  Settings s;
  CopyField(s.BT_Baudrate, "115200N81");
  for (int i = 0; i < kPortCount; ++i) {
    PortSetting& p = s.Port[i];
    std::snprintf(p.SelHost, sizeof p.SelHost, "0010A4C0000%d", i + 1);
    for (int k = 0; k < printers && k < kQueryPrtMax; ++k)
      std::snprintf(p.QueryPrt[k], sizeof p.QueryPrt[k], "0080372A00%d%d", i + 1, k);
    CopyField(p.Selprt, p.QueryPrt[0][0] ? p.QueryPrt[0] : "NONE");
  }
  return s;
}

// Files in dir other than the settings file: temporary files a save left behind.
int Leftovers(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (dirent* e = readdir(d))
      n += std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..") &&
           std::strcmp(e->d_name, "Quorvex.ini");
    closedir(d);
  }
  return n;
}

}  // namespace

int main() {
  char dir[] = "/tmp/interrupted-save-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string path = std::string(dir) + "/Quorvex.ini";

  Settings oldSettings = Filled(1), newSettings = Filled(kQueryPrtMax);
  if (!OnSaveSetting(oldSettings, path.c_str())) return 1;
  const std::string oldBytes = Read(path);
  if (!OnSaveSetting(newSettings, path.c_str())) return 1;
  const std::string newBytes = Read(path);

  std::signal(SIGXFSZ, SIG_IGN);   // a write past the limit fails instead of ending us
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  int cuts = 0, keptOld = 0, completed = 0, lost = 0, failuresReported = 0, leftovers = 0;
  for (size_t cut = 0; cut <= newBytes.size(); ++cut) {
    Write(path, oldBytes);
    struct rlimit small = saved;
    small.rlim_cur = cut;
    setrlimit(RLIMIT_FSIZE, &small);
    bool ok = OnSaveSetting(newSettings, path.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);

    ++cuts;
    std::string now = Read(path);
    if (now == oldBytes) {
      ++keptOld;
      if (!ok) ++failuresReported;
    } else if (now == newBytes && ok) {
      ++completed;
    } else {
      ++lost;
    }
    leftovers += Leftovers(dir);
  }
  std::printf("interrupted saves: %d cut points (0 to %zu bytes), %d kept the old file whole "
              "(%d reported as failed), %d completed, %d lost or mixed, %d temporary files left\n",
              cuts, newBytes.size(), keptOld, failuresReported, completed, lost, leftovers);
  unlink(path.c_str());
  rmdir(dir);
  return lost || leftovers || failuresReported != keptOld ? 1 : 0;
}
