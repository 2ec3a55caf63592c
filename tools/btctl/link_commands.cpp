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
#include "tools/btctl/log_file.h"
#include "tools/btctl/metrics.h"
#include "tools/btctl/status_command.h"
#include "tools/btctl/stop_request.h"
#include "tools/btctl/watch_command.h"

namespace {

const char kStatusUsage[] =
    "usage: btctl status [--json | --prometheus] [--ini PATH]\n"
    "For COM1 to COM4: the terminal dongle's address and version, the bound printer, the\n"
    "printers found by the last query, and the link state the driver publishes\n"
    "(\"Conected\", \"None\", or \"DisConected\" with the setup program's words for why).\n"
    "  --json       one JSON object per port, in an array, for scripts\n"
    "  --prometheus the links in the Prometheus text format (link up, link state)\n"
    "  --ini PATH   the settings file to read (default: the one the driver's BTiniPath names)\n"
    "Exit status: 0 when every bound port is connected, 1 when one is not, 2 when the\n"
    "settings file or the driver's registry values cannot be read (one line says which).\n";

const char kWatchUsage[] =
    "usage: btctl [--dll PATH] watch [--reconnect] [--for SECONDS] [--ini PATH] [--log FILE]\n"
    "                                [--metrics FILE]\n"
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
    "  --log FILE   the lines also go to FILE; past 1 MB it becomes FILE.1 and FILE starts\n"
    "               again. A FILE that is a link is not followed\n"
    "  --metrics FILE  after each look, FILE is replaced whole by the links' metrics in the\n"
    "               Prometheus text format (as btctl status --prometheus, with counters)\n"
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

uint64_t UnixSeconds() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return static_cast<uint64_t>(now.tv_sec);
}

int StatusMain(int argc, char** argv) {
  bool json = false, prometheus = false;
  const char* ini = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--help") == 0) return Usage(kStatusUsage, stdout, 0);
    if (strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (strcmp(argv[i], "--prometheus") == 0) {
      prometheus = true;
    } else if (strcmp(argv[i], "--ini") == 0 && i + 1 < argc) {
      ini = argv[++i];
    } else {
      fprintf(stderr, "btctl status: unexpected %s\n", argv[i]);
      return Usage(kStatusUsage, stderr, 2);
    }
  }
  if (prometheus) return RunStatusPrometheus(DriverRegistry(), ini, UnixSeconds(), stdout, stderr);
  return RunStatus(DriverRegistry(), ini, json, stdout, stderr);
}

int ParseWatchOptions(int argc, char** argv, WatchSetup* setup) {
  WatchOptions& options = setup->options;
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
    } else if (strcmp(argv[i], "--log") == 0 && i + 1 < argc) {
      setup->logPath = argv[++i];
    } else if (strcmp(argv[i], "--metrics") == 0 && i + 1 < argc) {
      setup->metricsPath = argv[++i];
    } else {
      fprintf(stderr, "btctl watch: unexpected %s\n", argv[i]);
      return Usage(kWatchUsage, stderr, 2);
    }
  }
  return -1;
}

int RunWatchSetup(const char* dll, const WatchSetup& setup, FILE* err) {
  LogFile log;
  const char* why = "";
  if (setup.logPath && !log.Open(setup.logPath, &why)) {
    fprintf(err, "btctl: the log file %s %s\n", setup.logPath, why);
    return 2;
  }
  MetricsFile metrics(setup.metricsPath ? setup.metricsPath : "", UnixSeconds);
  struct : EventSink {
    void Report(EventKind, EventId, const char* const*, int) override {}
  } noEvents;
  EventLogWatch events(setup.events ? *setup.events : noEvents);

  void* lib = nullptr;
  BT_OnConnect_t connect = nullptr;
  if (setup.options.reconnect) {
    lib = LoadLibraryByName(dll, &why);
    if (!lib) {
      fprintf(err, "btctl: cannot load %s: %s\n", dll, why ? why : "");
      return 2;
    }
    connect = reinterpret_cast<BT_OnConnect_t>(BindExport(lib, "BT_OnConnect"));
    if (!connect) {
      fprintf(err, "btctl: %s has no export BT_OnConnect\n", dll);
      UnloadLibrary(lib);
      return 2;
    }
  }
  // Without a folder of its own the calls would run in the current one, which may hold the
  // settings file the watch must only read.
  char folder[1024] = "";
  if (connect && setup.libraryFolder) {
    snprintf(folder, sizeof folder, "%s", setup.libraryFolder);
  } else if (connect && !MakeLibraryCallFolder(folder, sizeof folder)) {
    fprintf(err, "btctl: no folder of its own for the library's calls\n");
    UnloadLibrary(lib);
    return 2;
  }
  WatchSeams seams{DriverRegistry(),
                   platform::SystemClock(),
                   [connect, &folder, &setup](const char* port, const char* address) -> int32_t {
                     if (!connect) return 2;
                     LibraryCallFolder in(folder);
                     if (setup.calling) setup.calling(true);
                     int32_t word = connect(port, address);
                     if (setup.calling) setup.calling(false);
                     return word;
                   },
                   setup.console ? StopRequested() : StopFlag(),
                   setup.console ? stdout : nullptr,
                   LocalStamp,
                   WaitForStopOrNudge,
                   &TryNowFlag()};
  int n = 0;
  if (setup.logPath) seams.observers[n++] = &log;
  if (setup.metricsPath) seams.observers[n++] = &metrics;
  if (setup.events) seams.observers[n++] = &events;
  if (setup.started) setup.started();
  int status = RunWatch(setup.options, seams);
  if (setup.ended) setup.ended();
  if (lib) UnloadLibrary(lib);
  StopHandled();
  return status;
}

int WatchMain(const char* dll, int argc, char** argv) {
  WatchSetup setup;
  int status = ParseWatchOptions(argc, argv, &setup);
  return status >= 0 ? status : RunWatchSetup(dll, setup, stderr);
}
