#include "tools/btctl/link_commands.h"

#include <sys/time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "library/include/Mendalix.h"
#include "tools/btctl/driver_registry.h"
#include "tools/btctl/library_binding.h"
#include "tools/btctl/status_command.h"
#include "tools/btctl/stop_request.h"
#include "tools/btctl/watch_command.h"

namespace {

const char kStatusUsage[] =
    "usage: btctl status [--json] [--ini PATH]\n"
    "For COM1 to COM4: the terminal dongle's address and version, the bound printer, the\n"
    "printers found by the last query, and the link state the driver publishes\n"
    "(\"Conected\", \"None\", or \"DisConected\" with the setup program's words for why).\n"
    "  --json       one JSON object per port, in an array, for scripts\n"
    "  --ini PATH   the settings file to read (default: the one the driver's BTiniPath names)\n"
    "Exit status: 0 when every bound port is connected, 1 when one is not, 2 when the\n"
    "settings file or the driver's registry values cannot be read (one line says which).\n";

const char kWatchUsage[] =
    "usage: btctl [--dll PATH] watch [--reconnect] [--for SECONDS] [--ini PATH]\n"
    "Once a second reads the four ports' link states and prints one timestamped line per\n"
    "change, in the setup program's words. Ends after --for SECONDS, on Ctrl-C or when the\n"
    "console closes.\n"
    "  --reconnect  a port with a bound printer whose link is down is connected again with\n"
    "               BT_OnConnect(port, printer): at once, then after 1, 2, 4 ... up to 60 s\n"
    "               between tries while it fails; once the link is up the back-off starts\n"
    "               over. Ports without a bound printer are never touched. Each try and its\n"
    "               result is one line.\n"
    "  --for SECONDS  stop after this long (default: run until stopped)\n"
    "  --ini PATH   the settings file to follow (default: the one BTiniPath names); it is\n"
    "               read again when it changes, so a new binding is followed\n"
    "Exit status: 0 when it ended, 2 for a wrong command line or a library that cannot be\n"
    "loaded.\n";

int Usage(const char* text, FILE* out, int status) {
  fputs(text, out);
  return status;
}

// The date and time of day, to the millisecond: lines of a watch left running for days.
void LocalStamp(uint64_t, uint64_t, char* out, size_t size) {
  // gettimeofday rather than std::chrono's system clock, whose runtime part would bring
  // exception support into btctl.exe; both read the same system time.
  timeval now{};
  gettimeofday(&now, nullptr);
  time_t secs = now.tv_sec;
  long ms = now.tv_usec / 1000;
  const tm* t = localtime(&secs);
  if (!t) {
    snprintf(out, size, "(time unknown)");
    return;
  }
  snprintf(out, size, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t->tm_year + 1900, t->tm_mon + 1,
           t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec, static_cast<int>(ms));
}

bool ParseSeconds(const char* text, uint32_t* out) {
  if (!*text || strlen(text) > 9) return false;
  for (const char* p = text; *p; ++p)
    if (*p < '0' || *p > '9') return false;
  *out = static_cast<uint32_t>(strtoul(text, nullptr, 10));
  return *out > 0;
}

}  // namespace

int StatusMain(int argc, char** argv) {
  bool json = false;
  const char* ini = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--help") == 0) return Usage(kStatusUsage, stdout, 0);
    if (strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (strcmp(argv[i], "--ini") == 0 && i + 1 < argc) {
      ini = argv[++i];
    } else {
      fprintf(stderr, "btctl status: unexpected %s\n", argv[i]);
      return Usage(kStatusUsage, stderr, 2);
    }
  }
  return RunStatus(DriverRegistry(), ini, json, stdout, stderr);
}

int WatchMain(const char* dll, int argc, char** argv) {
  WatchOptions options;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--help") == 0) return Usage(kWatchUsage, stdout, 0);
    if (strcmp(argv[i], "--reconnect") == 0) {
      options.reconnect = true;
    } else if (strcmp(argv[i], "--for") == 0 && i + 1 < argc) {
      if (!ParseSeconds(argv[++i], &options.forSeconds)) {
        fprintf(stderr, "btctl watch: --for takes a number of seconds from 1 to 999999999\n");
        return 2;
      }
    } else if (strcmp(argv[i], "--ini") == 0 && i + 1 < argc) {
      options.iniPath = argv[++i];
    } else {
      fprintf(stderr, "btctl watch: unexpected %s\n", argv[i]);
      return Usage(kWatchUsage, stderr, 2);
    }
  }

  void* lib = nullptr;
  BT_OnConnect_t connect = nullptr;
  if (options.reconnect) {
    const char* why = "";
    lib = LoadLibraryByName(dll, &why);
    if (!lib) {
      fprintf(stderr, "btctl: cannot load %s: %s\n", dll, why ? why : "");
      return 2;
    }
    connect = reinterpret_cast<BT_OnConnect_t>(BindExport(lib, "BT_OnConnect"));
    if (!connect) {
      fprintf(stderr, "btctl: %s has no export BT_OnConnect\n", dll);
      UnloadLibrary(lib);
      return 2;
    }
  }
  WatchSeams seams{DriverRegistry(),
                   platform::SystemClock(),
                   [connect](const char* port, const char* address) -> int32_t {
                     return connect ? connect(port, address) : 2;
                   },
                   StopRequested(),
                   stdout,
                   LocalStamp};
  int status = RunWatch(options, seams);
  if (lib) UnloadLibrary(lib);
  StopHandled();
  return status;
}
