#include "tools/btctl/service_command.h"

#include <cstdio>
#include <cstring>

namespace {

const char kServiceUsage[] =
    "usage: btctl service install [--log FILE] [--metrics FILE] [--ini PATH]\n"
    "       btctl service uninstall | start | stop | status | retry\n"
    "The service QuorvexLinkWatch runs btctl watch --reconnect with nobody logged on: it\n"
    "starts with the system, as LocalSystem, and connects bound printers again when their\n"
    "links drop. Its changes go to the Event Log (source Quorvex), its lines to the log file\n"
    "(default LinkWatch.log) and its metrics to a Prometheus text file (default\n"
    "quorvex_links.prom), both in the Quorvex folder of the common application data.\n"
    "  retry   the ports that are down are tried at once, not at the end of their back-off\n"
    "  release FOLDER   stops the service and ends every console watch run from FOLDER, so\n"
    "          that the files there can be replaced (the installer does this)\n"
    "Exit status: 0 when done (status: running), 1 when status finds it not running,\n"
    "2 when it could not be done.\n";

bool Append(char* out, size_t size, const char* a, const char* b = "", const char* c = "") {
  size_t len = strlen(out);
  int n = snprintf(out + len, size - len, "%s%s%s", a, b, c);
  return n >= 0 && static_cast<size_t>(n) < size - len;
}

bool Quoted(char* out, size_t size, const char* option, const char* path) {
  if (strchr(path, '"')) return false;
  return Append(out, size, option, "\"", path) && Append(out, size, "\"");
}

int Failed(const char* what, long code) {
  char text[200];
  fprintf(stderr, "btctl service: %s: %s\n", what, service::ErrorText(code, text, sizeof text));
  return 2;
}

int Install(int argc, char** argv) {
  WatchSetup setup;
  for (int i = 0; i < argc; ++i) {
    const char** field = strcmp(argv[i], "--log") == 0       ? &setup.logPath
                         : strcmp(argv[i], "--metrics") == 0 ? &setup.metricsPath
                         : strcmp(argv[i], "--ini") == 0     ? &setup.options.iniPath
                                                             : nullptr;
    if (!field || i + 1 >= argc) {
      fprintf(stderr, "btctl service install: unexpected %s\n%s", argv[i], kServiceUsage);
      return 2;
    }
    *field = argv[++i];
  }
  char program[260], folder[260], log[300], metrics[300], line[1200];
  long rc = service::ProgramPath(program, sizeof program);
  if (rc) return Failed("cannot find this program's path", rc);
  char why[600];
  if (!service::ProgramTrusted(program, why, sizeof why)) {
    fprintf(stderr, "btctl service install: refused: %s\n", why);
    return 2;
  }
  if (!setup.logPath || !setup.metricsPath) {
    const char* why = "";
    rc = service::DataFolder(folder, sizeof folder, &why);
    if (rc) {
      fprintf(stderr, "btctl service: the service's folder %s %s\n", folder, why);
      return 2;
    }
    snprintf(log, sizeof log, "%s\\%s", folder, kLogName);
    snprintf(metrics, sizeof metrics, "%s\\%s", folder, kMetricsName);
    if (!setup.logPath) setup.logPath = log;
    if (!setup.metricsPath) setup.metricsPath = metrics;
  }
  if (!ServiceCommandLine(program, setup, line, sizeof line)) {
    fprintf(stderr, "btctl service: a path holds a quote or is too long\n");
    return 2;
  }
  rc = service::Install(line, program);
  if (rc) return Failed("cannot install the service", rc);
  printf("installed %s: %s\n", kServiceName, line);
  return 0;
}

}  // namespace

bool ServiceCommandLine(const char* program, const WatchSetup& setup, char* out, size_t size) {
  if (!size) return false;
  out[0] = '\0';
  return Quoted(out, size, "", program) && Append(out, size, " service run --reconnect") &&
         (!setup.logPath || Quoted(out, size, " --log ", setup.logPath)) &&
         (!setup.metricsPath || Quoted(out, size, " --metrics ", setup.metricsPath)) &&
         (!setup.options.iniPath || Quoted(out, size, " --ini ", setup.options.iniPath));
}

int ServiceMain(const char* dll, int argc, char** argv) {
  const char* verb = argc > 0 ? argv[0] : "";
  if (strcmp(verb, "--help") == 0) {
    fputs(kServiceUsage, stdout);
    return 0;
  }
  if (strcmp(verb, "install") == 0) return Install(argc - 1, argv + 1);
  if (strcmp(verb, "run") == 0) {
    WatchSetup setup;
    int status = ParseWatchOptions(argc - 1, argv + 1, &setup);
    if (status >= 0) return status;
    setup.console = false;
    long rc = service::Run(dll, setup);
    return rc ? Failed("run is for the service manager to start", rc) : 0;
  }
  struct Verb {
    const char* word;
    long (*call)();
    const char* done;
  };
  const Verb verbs[] = {{"uninstall", service::Uninstall, "uninstalled"},
                        {"start", service::Start, "started"},
                        {"retry", service::SendTryNow, "asked to try the ports that are down"}};
  for (const Verb& v : verbs) {
    if (strcmp(verb, v.word) != 0 || argc != 1) continue;
    long rc = v.call();
    if (rc) return Failed(v.word, rc);
    printf("%s %s\n", kServiceName, v.done);
    return 0;
  }
  if (strcmp(verb, "stop") == 0 && argc == 1) {
    uint32_t tookMs = 0, checkpoint = 0;
    long rc = service::Stop(&tookMs, &checkpoint);
    if (rc) return Failed("stop", rc);
    printf("%s stopped in %u ms (last checkpoint while stopping: %u)\n", kServiceName,
           static_cast<unsigned>(tookMs), static_cast<unsigned>(checkpoint));
    return 0;
  }
  if (strcmp(verb, "release") == 0 && argc == 2) {
    // Every program of the folder goes, whatever fails on the way, so that as many files as
    // can be are free; the status says whether all are.
    uint32_t tookMs = 0, checkpoint = 0;
    char state[32] = "";
    int status = 0;
    if (service::Query(state, sizeof state) == 0 && strcmp(state, "NOT INSTALLED") != 0 &&
        strcmp(state, "STOPPED") != 0) {
      long rc = service::Stop(&tookMs, &checkpoint);
      if (rc)
        status = Failed("the service did not stop", rc);
      else
        printf("%s stopped in %u ms\n", kServiceName, static_cast<unsigned>(tookMs));
    }
    int left = 0;
    printf("console watches ended: %d\n", service::EndConsoleWatches(argv[1], &left));
    printf("setup programs ended: %d\n", service::EndSetupPrograms(argv[1], &left));
    if (left) {
      fprintf(stderr, "btctl service release: %d program(s) of %s did not end\n", left, argv[1]);
      status = 2;
    }
    return status;
  }
  if (strcmp(verb, "status") == 0 && argc == 1) {
    char state[32];
    long rc = service::Query(state, sizeof state);
    if (rc) return Failed("status", rc);
    printf("%s: %s\n", kServiceName, state);
    char folder[260], sddl[512];
    if (service::FolderAccess(folder, sizeof folder, sddl, sizeof sddl) == 0)
      printf("folder %s: %s\n", folder, sddl);
    return strcmp(state, "RUNNING") == 0 ? 0 : 1;
  }
  fprintf(stderr, "btctl service: unexpected %s\n%s", verb, kServiceUsage);
  return 2;
}
