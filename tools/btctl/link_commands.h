// The command lines of btctl status and btctl watch, and what they are wired to in a real
// process: the driver's registry, the system clock, the library loaded by name, Ctrl-C.
#pragma once

// args: what follows the command word. Both return the command's exit status.
int StatusMain(int argc, char** argv);
int WatchMain(const char* dll, int argc, char** argv);

#include <cstdio>

#include "tools/btctl/event_log.h"
#include "tools/btctl/watch_command.h"

// A watch as the console or the service starts it.
struct WatchSetup {
  WatchOptions options;
  const char* logPath = nullptr;       // --log FILE
  const char* metricsPath = nullptr;   // --metrics FILE
  bool console = true;                 // lines on stdout, Ctrl-C ends it
  EventSink* events = nullptr;         // the service's Event Log
  // The current directory of the library's calls (see MakeLibraryCallFolder); null: the
  // watch makes its own.
  const char* libraryFolder = nullptr;
  // Called once the library is loaded and the files open, just before the watch starts.
  void (*started)() = nullptr;
  // Called once the watch has ended, before the library is unloaded (which takes seconds).
  void (*ended)() = nullptr;
  // Called as a library call begins (true) and once it has returned (false).
  void (*calling)(bool underWay) = nullptr;
};

// Reads watch's options (--reconnect, --for, --ini, --log, --metrics) into setup. Returns
// -1 when they were read, else the exit status to end with (--help, a wrong option).
int ParseWatchOptions(int argc, char** argv, WatchSetup* setup);
// Loads the library (with reconnect), opens the log and metrics files, and runs the watch
// until it ends or is stopped; what fails is a line on err. Returns the exit status.
int RunWatchSetup(const char* dll, const WatchSetup& setup, FILE* err);
// The wall clock in seconds since 1970.
uint64_t UnixSeconds();
