// btctl service: the watch with reconnect as a Windows service, QuorvexLinkWatch, so that
// printer links are kept up with nobody logged on and no window open.
//
//   btctl service install [--log FILE] [--metrics FILE] [--ini PATH]
//   btctl service uninstall | start | stop | status | retry
//   btctl service release FOLDER   (the installer: the service and console watches let go)
//   btctl service run ...   (what the service manager starts; not for a console)
//
// The service runs in its own process, starts with the system, as LocalSystem. Its log and
// metrics go by default to a folder under the common application-data folder that only
// administrators and the system may write. Its Event Log source is "Quorvex".
#pragma once
#include <cstddef>
#include <cstdint>

#include "tools/btctl/link_commands.h"

constexpr char kServiceName[] = "QuorvexLinkWatch";
constexpr char kServiceDisplayName[] = "Quorvex printer link watch";
constexpr char kEventSource[] = "Quorvex";
constexpr char kLogName[] = "LinkWatch.log";
constexpr char kMetricsName[] = "quorvex_links.prom";
// The service's own control: try the ports that are down now (btctl service retry sends it).
constexpr uint32_t kControlTryNow = 128;
constexpr uint32_t kServiceStopWaitMs = 2000;   // a stop control to STOPPED
constexpr uint32_t kFailureRestartMs = 60000;

// args: what follows "service". Returns the exit status.
int ServiceMain(const char* dll, int argc, char** argv);

// The service's command line: the program's path quoted (an unquoted path with spaces lets
// a planted C:\Program.exe run as LocalSystem), then "service run" and the options, each
// path quoted. False when a path holds a quote or the line does not fit.
bool ServiceCommandLine(const char* program, const WatchSetup& setup, char* out, size_t size);

// The service manager's side: service_win32.cpp; on the host there is none.
namespace service {
// This program's path, and the service's folder under the common application-data folder,
// made (or made safe) as safe_files.h's MakeServiceFolder says. 0, or a Win32 error.
long ProgramPath(char* out, size_t size);
// True when only administrators and the system can change program, the library beside it
// and their folder (program_trust.h); otherwise *why says which can be changed, by whom, and
// what to do.
bool ProgramTrusted(const char* program, char* why, size_t size);
// log and metrics: the service's files, when given, whose names stay in that folder too.
long DataFolder(char* out, size_t size, const char** why, const char* log = nullptr,
                const char* metrics = nullptr);
// That folder's owner and access list, in the security descriptor language ("O:BAD:P(...)").
long FolderAccess(char* folder, size_t folderSize, char* sddl, size_t size);
// Creates the service (or updates an existing one's command line) and the event source.
long Install(const char* commandLine, const char* program);
// Stops the service, deletes it and removes the event source.
long Uninstall();
long Start();
// Stops the service whatever it is doing: a start under way is waited for, a stop under way
// is followed. *tookMs: from the stop control to the service showing STOPPED; *checkpoint:
// the last checkpoint it showed while stopping. Returns once its process has ended too
// (within seconds), so that its files are free; ERROR_SERVICE_REQUEST_TIMEOUT when it did not
// stop.
long Stop(uint32_t* tookMs, uint32_t* checkpoint);
// Ends every other btctl whose program is folder's btctl.exe (a console watch started at
// log-on by an earlier version); returns how many ended, and adds those that did not to *left.
int EndConsoleWatches(const char* folder, int* left);
// Asks every setup program run from folder (Quorvex.exe, started at log-on by its AutoRun
// entry) to close as its Esc does, and ends it when it has not after a few seconds. Returns
// how many ended, and adds those that did not to *left.
int EndSetupPrograms(const char* folder, int* left);
long SendTryNow();
// The service's state in the service manager's words ("RUNNING", "STOPPED", ...).
long Query(char* state, size_t size);
// Hands this process to the service manager, which runs the watch of setup in it.
long Run(const char* dll, WatchSetup& setup);
// What a Win32 error means, one line.
const char* ErrorText(long code, char* out, size_t size);
}  // namespace service
