// Timed runs against the simulated driver under Wine, compared in one run:
//   - a raw DeviceIoControl printer inquiry on COM2's control device, against BT_OnQuery
//     through the library on the same port (the library's cost per call, as a ratio);
//   - the library's load (its start-up with four control devices) and unload.
// Prints one line per figure. Needs the driver running with four_devices.txt.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "library/include/Mendalix.h"
#include "simulator/driver/sarno_diagnostics.h"

namespace {

double NowUs() {
  static LARGE_INTEGER freq = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return (double)c.QuadPart * 1e6 / (double)freq.QuadPart;
}

struct Figures {
  double median, mean, min;
};

Figures Summarise(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  double sum = 0;
  for (double v : us) sum += v;
  return {us[us.size() / 2], sum / (double)us.size(), us.front()};
}

void Print(const char* what, const Figures& f) {
  printf("%-34s median %9.1f us  mean %9.1f us  min %9.1f us\n", what, f.median, f.mean, f.min);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 200;
  if (rounds < 5) rounds = 5;
  // The driver writes each query's findings into the file named by BTiniPath.
  char dir[MAX_PATH] = {0};
  GetCurrentDirectoryA(sizeof dir, dir);
  char value[MAX_PATH + 8];
  snprintf(value, sizeof value, "\\??\\%s\\Quorvex.ini", dir);
  HKEY key;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, SARNO_PARAMETERS_KEY, &key) == ERROR_SUCCESS) {
    RegSetValueExA(key, SARNO_INI_PATH_VALUE, 0, REG_SZ, (const BYTE*)value, (DWORD)strlen(value));
    RegCloseKey(key);
  }

  HANDLE dev = CreateFileA(SARNO_DEVICE_PREFIX "1", GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (dev == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "no control device 1: is the driver running with four_devices.txt?\n");
    return 1;
  }

  // Load and unload with four devices.
  std::vector<double> load, unload;
  HMODULE lib = nullptr;
  for (int i = 0; i < 3; ++i) {
    double t0 = NowUs();
    lib = LoadLibraryA("Mendalix.dll");
    double t1 = NowUs();
    if (!lib) {
      fprintf(stderr, "Mendalix.dll not found\n");
      return 1;
    }
    load.push_back(t1 - t0);
    if (i == 2) break;  // keep the last one for the calls
    FreeLibrary(lib);
    unload.push_back(NowUs() - t1);
  }
  BT_OnQuery_t query = reinterpret_cast<BT_OnQuery_t>(reinterpret_cast<void*>(GetProcAddress(lib, "BT_OnQuery")));
  if (!query) return 1;

  // Raw round trip and library call on the same device, interleaved so that both see the
  // same machine load.
  std::vector<double> raw, through;
  for (int i = 0; i < rounds; ++i) {
    char buf[256] = "NONE";
    DWORD got = 0;
    double t0 = NowUs();
    DeviceIoControl(dev, IOCTL_SARNO_PINQ, buf, 4, buf, 4, &got, nullptr);
    double t1 = NowUs();
    query("COM2", "NONE");
    double t2 = NowUs();
    raw.push_back(t1 - t0);
    through.push_back(t2 - t1);
  }
  FreeLibrary(lib);
  CloseHandle(dev);

  Figures r = Summarise(raw), l = Summarise(through);
  printf("rounds: %d\n", rounds);
  Print("raw DeviceIoControl 0x10012150", r);
  Print("BT_OnQuery(\"COM2\", \"NONE\")", l);
  printf("%-34s %.2f (median), %.2f (mean)\n", "ratio library / raw", l.median / r.median,
         l.mean / r.mean);
  Print("library load, four devices", Summarise(load));
  Print("library unload", Summarise(unload));
  return 0;
}
