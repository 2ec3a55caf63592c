// btctl: one call of the printer link library per run, for technicians and scripts.
//
//   btctl [--dll PATH] [--variant] query COM2 [TEXT]
//   btctl [--dll PATH] [--variant] connect COM1 ADDRESS
//   btctl [--dll PATH] [--variant] reset COM1 [TEXT]
//   btctl [--dll PATH] [--variant] monitor COM1 MON_ON
//   btctl [--dll PATH] long
//   btctl status [--json] [--ini PATH]                     the four ports at a glance
//   btctl [--dll PATH] watch [--reconnect] [--for SECONDS] the links as they change
//   btctl service install|uninstall|start|stop|status      the watch as a Windows service
//   btctl print-test COM1                                  a test receipt, confirmed printed
//   btctl health COM1 [--json]                             the printer's paper, cover, ...
//
// Exit status of a call: 0 when it did what was asked (a link call returned 0, a drop with
// NULL or NONE left the port disconnected, monitor was accepted, long answered), 1 when it
// did not, 2 when the library could not be loaded or the export bound (or the command line
// is wrong). status and watch say their own (--help).
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "library/include/Mendalix.h"
#include "tools/btctl/library_binding.h"
#include "tools/btctl/link_commands.h"
#include "tools/btctl/printer_commands.h"
#include "tools/btctl/result_text.h"
#include "tools/btctl/service_command.h"

namespace {

const char kUsage[] =
    "usage: btctl [--dll PATH] [--variant] COMMAND ARGS\n"
    "  query   PORT [TEXT]    BT_OnQuery: the printers in range (TEXT defaults to NONE)\n"
    "  connect PORT ADDRESS   BT_OnConnect: connect PORT to a printer;\n"
    "                         NULL (one request) or NONE (retried once) drops the link\n"
    "  reset   PORT [TEXT]    BT_OnReset (TEXT defaults to NONE)\n"
    "  monitor PORT COMMAND   BT_OnMonitor: MON_ON starts link monitoring, anything else stops it\n"
    "  long                   BT_long\n"
    "  status [--json] [--ini PATH]   the four ports: dongle, bound printer, link state\n"
    "  watch [--reconnect] [--for SECONDS]   the links as they change; with --reconnect,\n"
    "                         bound ports whose link is down are connected again\n"
    "  service install|uninstall|start|stop|status   the watch with reconnect as the\n"
    "                         Windows service QuorvexLinkWatch\n"
    "  print-test PORT        a test receipt on the printer of PORT's link, confirmed printed\n"
    "  health PORT [--json]   that printer's state: online, paper, cover, error, firmware\n"
    "  (btctl status, watch, service, print-test and health with --help say more)\n"
    "PORT is COM1 to COM4.\n"
    "  --dll PATH   the library to load (default: %s)\n"
    "  --variant    pass both texts as automation VARIANTs holding BSTRs\n"
    "Prints the result word in hex and what it means. Exit status: 0 when the call did what\n"
    "was asked (a result of 0; for a drop, 0x4 disconnected; monitor accepted; long answered\n"
    "3), 1 when it did not, 2 for a wrong command line or a library that cannot be loaded.\n";

struct Command {
  const char* word;
  const char* exportName;
  int minArgs, maxArgs;   // after the command word
};

const Command kCommands[] = {
    {"query", "BT_OnQuery", 1, 2},
    {"connect", "BT_OnConnect", 2, 2},
    {"reset", "BT_OnReset", 1, 2},
    {"monitor", "BT_OnMonitor", 2, 2},
    {"long", "BT_long", 0, 0},
};

int Usage(FILE* out, int status) {
  fprintf(out, kUsage, kDefaultLibrary);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  LeaveCurrentFolderOutOfDllSearch();
  const char* dll = kDefaultLibrary;
  bool variant = false;
  int i = 1;
  for (; i < argc && strncmp(argv[i], "--", 2) == 0; ++i) {
    if (strcmp(argv[i], "--help") == 0) return Usage(stdout, 0);
    if (strcmp(argv[i], "--variant") == 0) {
      variant = true;
    } else if (strcmp(argv[i], "--dll") == 0 && i + 1 < argc) {
      dll = argv[++i];
    } else {
      fprintf(stderr, "btctl: unknown option %s\n", argv[i]);
      return Usage(stderr, 2);
    }
  }
  if (i >= argc) return Usage(stderr, 2);
  if (strcmp(argv[i], "status") == 0) return StatusMain(argc - i - 1, argv + i + 1);
  if (strcmp(argv[i], "watch") == 0) return WatchMain(dll, argc - i - 1, argv + i + 1);
  if (strcmp(argv[i], "service") == 0) return ServiceMain(dll, argc - i - 1, argv + i + 1);
  if (strcmp(argv[i], "print-test") == 0) return PrintTestMain(argc - i - 1, argv + i + 1);
  if (strcmp(argv[i], "health") == 0) return HealthMain(argc - i - 1, argv + i + 1);

  const Command* cmd = nullptr;
  for (const Command& c : kCommands)
    if (strcmp(argv[i], c.word) == 0) cmd = &c;
  int nargs = argc - i - 1;
  if (!cmd || nargs < cmd->minArgs || nargs > cmd->maxArgs) {
    fprintf(stderr, "btctl: bad command line\n");
    return Usage(stderr, 2);
  }
  const char* port = nargs >= 1 ? argv[i + 1] : "";
  const char* text = nargs >= 2 ? argv[i + 2] : "NONE";

  // The library keeps its own copy of the settings in the current folder and resets a
  // port's block there when the port has no control device; run from the install folder,
  // that copy is the real settings file. So the calls run in a folder of btctl's own.
  char folder[1024] = "";
  if (!MakeLibraryCallFolder(folder, sizeof folder)) {
    fprintf(stderr, "btctl: no folder of its own for the library's calls\n");
    return 2;
  }
  const char* why = "";
  void* lib = LoadLibraryByName(dll, &why);
  if (!lib) {
    fprintf(stderr, "btctl: cannot load %s: %s\n", dll, why ? why : "");
    return 2;
  }
  void* fn = BindExport(lib, cmd->exportName);
  if (!fn) {
    fprintf(stderr, "btctl: %s has no export %s\n", dll, cmd->exportName);
    UnloadLibrary(lib);
    return 2;
  }

  int32_t result;
  LibraryCallFolder in(folder);
  if (strcmp(cmd->word, "long") == 0) {
    int value = 0;
    result = reinterpret_cast<BT_long_t>(fn)(&value);
    printf("%s = 0x%08X (%d)\n", cmd->exportName, static_cast<unsigned>(result), result);
  } else {
    using Call = int(MENDALIX_API*)(const void*, const void*);
    Call call = reinterpret_cast<Call>(fn);
    if (variant) {
      TextAsVariant vPort(port), vText(text);
      result = call(vPort.get(), vText.get());
    } else {
      result = call(port, text);
    }
    printf("%s(%s, %s)%s = 0x%08X\n", cmd->exportName, port, text, variant ? " [VARIANT]" : "",
           static_cast<unsigned>(result));
    if (strcmp(cmd->word, "monitor") == 0)
      PrintMonitorResult(stdout, static_cast<uint32_t>(result));
    else
      PrintLinkFlags(stdout, static_cast<uint32_t>(result));
  }
  fflush(stdout);
  UnloadLibrary(lib);
  return CallExitStatus(cmd->word, text, static_cast<uint32_t>(result));
}
