#include "tools/btctl/printer_commands.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "tools/btctl/component_versions.h"
#include "tools/btctl/driver_registry.h"
#include "tools/btctl/health_command.h"
#include "tools/btctl/print_test_command.h"
#include "tools/btctl/printer_line.h"
#include "tools/btctl/stop_request.h"

namespace {

const char kPrintTestUsage[] =
    "usage: btctl print-test PORT\n"
    "Prints a short test receipt on the printer at the end of PORT's link (COM1 to COM4):\n"
    "asks the printer's status first and sends nothing when it cannot print; then the\n"
    "receipt (port, bound printer, date and time, versions, every printable character), feed\n"
    "and cut, and asks the printer to confirm that it printed it all.\n"
    "Exit status: 0 printed and confirmed, 1 the printer did not answer, cannot print or did\n"
    "not confirm, 2 the port cannot be used (no such port, in use by another program).\n";

const char kHealthUsage[] =
    "usage: btctl health PORT [--json]\n"
    "Asks the printer at the end of PORT's link (COM1 to COM4) whether it is online, its\n"
    "paper (ok, near its end, out), its cover and errors, and its firmware, maker and model,\n"
    "with the time each answer took.\n"
    "  --json   one JSON object\n"
    "Exit status: 0 the printer can print (paper near its end is only a warning), 1 it\n"
    "cannot or did not answer, 2 it could not be asked.\n";

void LocalTime(char* out, size_t size) {
  time_t now = time(nullptr);
  const tm* t = localtime(&now);
  if (!t || strftime(out, size, "%Y-%m-%d %H:%M:%S", t) == 0) snprintf(out, size, "unknown");
}

int Run(int argc, char** argv, bool health) {
  const char* usage = health ? kHealthUsage : kPrintTestUsage;
  const char* port = nullptr;
  bool json = false;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--help") == 0) {
      fputs(usage, stdout);
      return 0;
    }
    if (health && strcmp(argv[i], "--json") == 0 && !json) {
      json = true;
    } else if (!port && strncmp(argv[i], "--", 2) != 0) {
      port = argv[i];
    } else {
      fprintf(stderr, "btctl %s: unexpected %.40s (try --help)\n", health ? "health" : "print-test",
              argv[i]);
      return 2;
    }
  }
  if (!port) {
    fprintf(stderr, "btctl %s: which port? PORT is COM1 to COM4 (try --help)\n",
            health ? "health" : "print-test");
    return 2;
  }
  PrinterSeams seams{PrinterLine(), platform::SystemClock(), DriverRegistry(), StopRequested(),
                     stdout, stderr, ComponentVersions, LocalTime};
  int status = health ? RunHealth(port, json, seams) : RunPrintTest(port, seams);
  StopHandled();
  return status;
}

}  // namespace

int PrintTestMain(int argc, char** argv) { return Run(argc, argv, false); }
int HealthMain(int argc, char** argv) { return Run(argc, argv, true); }
