// The service manager's side of btctl service: installing and controlling QuorvexLinkWatch,
// and, in the service's own process, ServiceMain with its control handler around the watch.
// Every call here exists on Windows XP SP3.
#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

#include "tools/btctl/library_binding.h"
#include "tools/btctl/program_trust.h"
#include "tools/btctl/safe_files.h"
#include "tools/btctl/service_command.h"
#include "tools/btctl/stop_request.h"

namespace {

const char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quorvex";
const char kDescription[] =
    "Connects bound receipt printers again when their links drop, with nobody logged on; "
    "reports to the Event Log (source Quorvex).";
constexpr DWORD kStartWaitMs = 30000;   // the library's start-up under a slow machine
constexpr DWORD kStopWaitMs = 10000;   // without a checkpoint that grows
constexpr DWORD kStopLimitMs = 180000;  // however long the service says it still needs
constexpr DWORD kStopPulseMs = 1000;
constexpr DWORD kSetupCloseMs = 5000;   // a setup program asked to close, before it is ended    // a stopping service tells the manager this often
constexpr DWORD kPollMs = 50;
constexpr int kCsidlCommonAppData = 0x23;

// Closes a service manager handle when it goes.
struct Handle {
  SC_HANDLE h = nullptr;
  ~Handle() {
    if (h) CloseServiceHandle(h);
  }
};

long OpenOurService(DWORD access, Handle* manager, Handle* svc) {
  manager->h = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager->h) return static_cast<long>(GetLastError());
  svc->h = OpenServiceA(manager->h, kServiceName, access);
  return svc->h ? 0 : static_cast<long>(GetLastError());
}

// Waits for the service to leave pending; true when it reached want. A service that keeps
// telling the manager (its checkpoint grows within its wait hint) is waited for up to
// kStopLimitMs; one that stays silent, limitMs. *checkpoint: the highest one seen.
bool WaitFor(SC_HANDLE svc, DWORD want, DWORD limitMs, SERVICE_STATUS* status,
             DWORD* checkpoint = nullptr) {
  DWORD lastCheckpoint = 0, sinceCheckpoint = 0;
  for (DWORD waited = 0;; waited += kPollMs, sinceCheckpoint += kPollMs) {
    if (!QueryServiceStatus(svc, status)) return false;
    if (status->dwCurrentState == want) return true;
    if (status->dwCurrentState != SERVICE_START_PENDING &&
        status->dwCurrentState != SERVICE_STOP_PENDING)
      return false;
    if (status->dwCheckPoint > lastCheckpoint) {
      lastCheckpoint = status->dwCheckPoint;
      sinceCheckpoint = 0;
      if (checkpoint) *checkpoint = lastCheckpoint;
    }
    const DWORD silentLimit = status->dwWaitHint > limitMs ? status->dwWaitHint : limitMs;
    if (sinceCheckpoint >= silentLimit || waited >= kStopLimitMs) return false;
    Sleep(kPollMs);
  }
}

// The service's process, once it shows STOPPED, still unloads the library: waits, within
// limitMs, for it to end, so that its files are free.
void WaitForProcessEnd(DWORD pid, DWORD limitMs) {
  if (!pid) return;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return;
  WaitForSingleObject(process, limitMs);
  CloseHandle(process);
}

DWORD ServicePid(SC_HANDLE svc) {
  SERVICE_STATUS_PROCESS s;
  DWORD needed = 0;
  if (!QueryServiceStatusEx(svc, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s), sizeof s, &needed))
    return 0;
  return s.dwCurrentState == SERVICE_STOPPED ? 0 : s.dwProcessId;
}

// True when process pid runs the program at path.
bool Runs(DWORD pid, const char* path) {
  HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (modules == INVALID_HANDLE_VALUE) return false;
  MODULEENTRY32 first;
  first.dwSize = sizeof first;
  bool runs = Module32First(modules, &first) && lstrcmpiA(first.szExePath, path) == 0;
  CloseHandle(modules);
  return runs;
}

long AddEventSourceKey(const char* program) {
  HKEY key;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  rc = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                      reinterpret_cast<const BYTE*>(program), static_cast<DWORD>(strlen(program) + 1));
  if (rc == ERROR_SUCCESS)
    rc = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                        sizeof types);
  RegCloseKey(key);
  return rc;
}

// ---- in the service's process ----

class EventLogSink : public EventSink {
 public:
  HANDLE source = nullptr;
  void Report(EventKind kind, EventId id, const char* const* strings, int count) override {
    if (!source) return;
    WORD type = kind == EventKind::Error     ? EVENTLOG_ERROR_TYPE
                : kind == EventKind::Warning ? EVENTLOG_WARNING_TYPE
                                             : EVENTLOG_INFORMATION_TYPE;
    ReportEventA(source, type, 0, id, nullptr, static_cast<WORD>(count), 0,
                 const_cast<const char**>(strings), nullptr);
  }
};

const char* runDll = nullptr;
WatchSetup* runSetup = nullptr;
EventLogSink runEvents;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
CRITICAL_SECTION statusLock;
SERVICE_STATUS status;

HANDLE stoppedEvent = nullptr;   // set once STOPPED is reported: the stop pulse ends
// When the library call under way began (GetTickCount), 0 when none is.
volatile LONG callSince = 0;

void Report(DWORD state, DWORD exitCode = 0, DWORD waitHint = 0) {
  EnterCriticalSection(&statusLock);
  if (status.dwCurrentState == SERVICE_STOPPED && state != SERVICE_STOPPED) {
    LeaveCriticalSection(&statusLock);   // a late pulse after the end
    return;
  }
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING
                                  ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN |
                                        SERVICE_ACCEPT_POWEREVENT
                                  : 0;
  status.dwWin32ExitCode = exitCode ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
  status.dwServiceSpecificExitCode = exitCode;
  status.dwWaitHint = waitHint;
  status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : status.dwCheckPoint + 1;
  SetServiceStatus(statusHandle, &status);
  LeaveCriticalSection(&statusLock);
}

// The watch stops once the library call under way has returned, and a connect that fails
// takes its pauses and the driver's time, often longer than a stop may. Meanwhile the
// manager is told once a second, each time with a new checkpoint, that the stop goes on: the
// wait hint covers the next second and the time to STOPPED after the call.
DWORD StopWaitHint() {
  return callSince != 0 ? 2 * kStopPulseMs + kServiceStopWaitMs : kServiceStopWaitMs;
}

DWORD WINAPI StopPulse(LPVOID) {
  while (WaitForSingleObject(stoppedEvent, kStopPulseMs) == WAIT_TIMEOUT)
    Report(SERVICE_STOP_PENDING, 0, StopWaitHint());
  return 0;
}

void OnCall(bool underWay) {
  LONG now = static_cast<LONG>(GetTickCount());
  InterlockedExchange(&callSince, underWay ? (now ? now : 1) : 0);
}

DWORD WINAPI OnControl(DWORD control, DWORD eventType, LPVOID, LPVOID) {
  static bool stopping = false;
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING, 0, StopWaitHint());
      RequestStop();
      if (!stopping) {   // controls come one at a time, on the dispatcher's thread
        stopping = true;
        HANDLE pulse = CreateThread(nullptr, 0, StopPulse, nullptr, 0, nullptr);
        if (pulse) CloseHandle(pulse);
      }
      return NO_ERROR;
    case SERVICE_CONTROL_POWEREVENT:
      // Back from sleep: links the dongle lost while asleep are tried now, not in a minute.
      if (eventType == PBT_APMRESUMEAUTOMATIC || eventType == PBT_APMRESUMESUSPEND) RequestTryNow();
      return NO_ERROR;
    case kControlTryNow:
      RequestTryNow();
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void OnWatchStarted() {
  Report(SERVICE_RUNNING);
  const char* strings[] = {runSetup->logPath ? runSetup->logPath : "(none)",
                           runSetup->metricsPath ? runSetup->metricsPath : "(none)"};
  runEvents.Report(EventKind::Information, kEventServiceStarted, strings, 2);
}

// Stopped once the watch has ended: the library's unload that follows takes two seconds,
// longer than a stop may.
void OnWatchEnded() {
  const char* strings[] = {runSetup->logPath ? runSetup->logPath : "(none)"};
  runEvents.Report(EventKind::Information, kEventServiceStopped, strings, 1);
  Report(SERVICE_STOPPED);
  SetEvent(stoppedEvent);
}

void WINAPI ServiceMainProc(DWORD, LPSTR*) {
  statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, OnControl, nullptr);
  if (!statusHandle) return;
  Report(SERVICE_START_PENDING, 0, kStartWaitMs);
  // A service starts in the system folder; relative paths mean the program's own folder.
  char folder[MAX_PATH] = "";
  DWORD n = GetModuleFileNameA(nullptr, folder, sizeof folder);
  if (n > 0 && n < sizeof folder) {
    if (char* slash = strrchr(folder, '\\')) *slash = '\0';
    SetCurrentDirectoryA(folder);
  }
  runEvents.source = RegisterEventSourceA(nullptr, kEventSource);
  // What runs as the system must be what the administrators put there: the program, the
  // library beside it and their folder. The library's own copy of the settings lives in the
  // service's folder, which only administrators and the service may write, never in the
  // install folder's file nor in a folder any user could have made first.
  static char callFolder[MAX_PATH];
  char reason[600] = "", refused[700];
  const char* why = "";
  if (ProgramSafeToRun(folder, reason, sizeof reason) &&
      service::DataFolder(callFolder, sizeof callFolder, &why, runSetup->logPath,
                          runSetup->metricsPath) != 0)
    snprintf(reason, sizeof reason, "its folder %s %s", callFolder, why);
  if (reason[0]) {
    snprintf(refused, sizeof refused, "the service does not start: %s", reason);
    const char* strings[] = {refused};
    runEvents.Report(EventKind::Error, kEventUnreadable, strings, 1);
    Report(SERVICE_STOPPED, ERROR_ACCESS_DENIED);
    SetEvent(stoppedEvent);
    if (runEvents.source) DeregisterEventSource(runEvents.source);
    return;
  }
  runSetup->libraryFolder = callFolder;
  runSetup->events = &runEvents;
  runSetup->started = OnWatchStarted;
  runSetup->ended = OnWatchEnded;
  runSetup->calling = OnCall;
  FILE* err = tmpfile();
  int exitStatus = RunWatchSetup(runDll, *runSetup, err ? err : stderr);
  if (exitStatus != 0) {   // it never ran: say why, in the log the operators read
    char text[600] = "";
    if (err) {
      rewind(err);
      text[fread(text, 1, sizeof text - 1, err)] = '\0';
    }
    const char* strings[] = {text};
    runEvents.Report(EventKind::Error, kEventUnreadable, strings, 1);
    Report(SERVICE_STOPPED, static_cast<DWORD>(exitStatus));
    SetEvent(stoppedEvent);
  }
  if (err) fclose(err);
  if (runEvents.source) DeregisterEventSource(runEvents.source);
}

// The Quorvex folder under the common application-data folder.
long FindDataFolder(char* out, size_t size, const char** why) {
  // SHGetFolderPathA is looked up, so that btctl imports nothing from the shell; the
  // environment names the same folder where it cannot be had.
  char base[MAX_PATH] = "";
  using GetFolder = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
  HMODULE shell = static_cast<HMODULE>(LoadSystemLibrary("shell32.dll"));
  GetFolder get = shell ? reinterpret_cast<GetFolder>(reinterpret_cast<void*>(GetProcAddress(shell, "SHGetFolderPathA"))) : nullptr;
  if (!get || get(nullptr, kCsidlCommonAppData, nullptr, 0, base) != S_OK) {
    if (!GetEnvironmentVariableA("ProgramData", base, sizeof base) &&
        GetEnvironmentVariableA("ALLUSERSPROFILE", base, sizeof base))
      strncat(base, "\\Application Data", sizeof base - strlen(base) - 1);
  }
  if (shell) FreeLibrary(shell);
  snprintf(out, size, "%s\\Quorvex", base);
  if (!base[0]) {
    *why = "cannot be found";
    return ERROR_PATH_NOT_FOUND;
  }
  return 0;
}

}  // namespace

namespace service {

bool ProgramTrusted(const char* program, char* why, size_t size) {
  char folder[MAX_PATH];
  snprintf(folder, sizeof folder, "%s", program);
  if (char* slash = strrchr(folder, '\\')) *slash = '\0';
  return ProgramSafeToRun(folder, why, size);
}

long ProgramPath(char* out, size_t size) {
  DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
  return n > 0 && n < size ? 0 : ERROR_FILENAME_EXCED_RANGE;
}

long DataFolder(char* out, size_t size, const char** why, const char* log, const char* metrics) {
  long rc = FindDataFolder(out, size, why);
  if (rc) return rc;
  // The files the service writes there: its log and the one before, its metrics, the
  // library's copy of the settings, each by its default name and by the one it was given.
  const char* logName = log && strrchr(log, '\\') ? strrchr(log, '\\') + 1 : kLogName;
  const char* metricsName = metrics && strrchr(metrics, '\\') ? strrchr(metrics, '\\') + 1 : kMetricsName;
  char olderLog[MAX_PATH];
  snprintf(olderLog, sizeof olderLog, "%s.1", logName);
  const char* const own[] = {kLogName, "LinkWatch.log.1", kMetricsName, "Quorvex.ini",
                             logName, olderLog, metricsName, nullptr};
  return MakeServiceFolder(out, own, why) ? 0 : ERROR_ACCESS_DENIED;
}

long FolderAccess(char* folder, size_t folderSize, char* sddl, size_t size) {
  const char* why = "";
  long rc = FindDataFolder(folder, folderSize, &why);
  if (rc) return rc;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetFileSecurityA(folder, what, nullptr, 0, &needed);
  if (!needed) return static_cast<long>(GetLastError());
  PSECURITY_DESCRIPTOR sd = LocalAlloc(LMEM_FIXED, needed);
  char* text = nullptr;
  if (sd && GetFileSecurityA(folder, what, sd, needed, &needed) &&
      ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, what, &text, nullptr)) {
    snprintf(sddl, size, "%s", text);
    LocalFree(text);
  } else {
    rc = static_cast<long>(GetLastError());
  }
  if (sd) LocalFree(sd);
  return rc;
}

long Install(const char* commandLine, const char* program) {
  Handle manager, svc;
  manager.h = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
  if (!manager.h) return static_cast<long>(GetLastError());
  svc.h = CreateServiceA(manager.h, kServiceName, kServiceDisplayName, SERVICE_ALL_ACCESS,
                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                         commandLine, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (!svc.h && GetLastError() == ERROR_SERVICE_EXISTS) {   // an upgrade: the new command line
    svc.h = OpenServiceA(manager.h, kServiceName, SERVICE_ALL_ACCESS);
    if (svc.h && !ChangeServiceConfigA(svc.h, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                       SERVICE_ERROR_NORMAL, commandLine, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, kServiceDisplayName))
      return static_cast<long>(GetLastError());
  }
  if (!svc.h) return static_cast<long>(GetLastError());
  SERVICE_DESCRIPTIONA description = {const_cast<char*>(kDescription)};
  ChangeServiceConfig2A(svc.h, SERVICE_CONFIG_DESCRIPTION, &description);
  // A watch that crashes comes back a minute later; the count starts over after a day.
  SC_ACTION restart[3] = {{SC_ACTION_RESTART, kFailureRestartMs},
                          {SC_ACTION_RESTART, kFailureRestartMs},
                          {SC_ACTION_RESTART, kFailureRestartMs}};
  SERVICE_FAILURE_ACTIONSA failure = {24 * 3600, nullptr, nullptr, 3, restart};
  ChangeServiceConfig2A(svc.h, SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
  return AddEventSourceKey(program);
}

long Uninstall() {
  Handle manager, svc;
  long rc = OpenOurService(SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE, &manager, &svc);
  if (rc == 0) {
    uint32_t tookMs = 0, checkpoint = 0;
    Stop(&tookMs, &checkpoint);   // in whatever state it is; its process ends too
    if (!DeleteService(svc.h)) rc = static_cast<long>(GetLastError());
    CloseServiceHandle(svc.h);
    svc.h = nullptr;
    // The service goes once its process has ended (the library's unload after the stop):
    // until then btctl.exe is in use and an uninstaller could not remove it.
    for (DWORD waited = 0; rc == 0 && waited < kStopWaitMs; waited += kPollMs) {
      SC_HANDLE still = OpenServiceA(manager.h, kServiceName, SERVICE_QUERY_STATUS);
      if (!still) break;
      CloseServiceHandle(still);
      Sleep(kPollMs);
    }
  }
  if (rc == ERROR_SERVICE_DOES_NOT_EXIST) rc = 0;   // gone already: the event source still goes
  LONG keyRc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEventSourceKey);
  if (rc == 0 && keyRc != ERROR_SUCCESS && keyRc != ERROR_FILE_NOT_FOUND) rc = keyRc;
  return rc;
}

long Start() {
  Handle manager, svc;
  long rc = OpenOurService(SERVICE_START | SERVICE_QUERY_STATUS, &manager, &svc);
  if (rc) return rc;
  if (!StartServiceA(svc.h, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
    return static_cast<long>(GetLastError());
  SERVICE_STATUS s;
  if (WaitFor(svc.h, SERVICE_RUNNING, kStartWaitMs, &s)) return 0;
  return s.dwWin32ExitCode ? static_cast<long>(s.dwWin32ExitCode) : ERROR_SERVICE_REQUEST_TIMEOUT;
}

long Stop(uint32_t* tookMs, uint32_t* checkpoint) {
  Handle manager, svc;
  long rc = OpenOurService(SERVICE_STOP | SERVICE_QUERY_STATUS, &manager, &svc);
  if (rc) return rc;
  SERVICE_STATUS s;
  // A service still starting takes no stop: it is let come up (or fail) first.
  if (QueryServiceStatus(svc.h, &s) && s.dwCurrentState == SERVICE_START_PENDING)
    WaitFor(svc.h, SERVICE_RUNNING, kStartWaitMs, &s);
  DWORD pid = ServicePid(svc.h);
  DWORD from = GetTickCount(), highest = 0;
  if (!ControlService(svc.h, SERVICE_CONTROL_STOP, &s) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE &&
      GetLastError() != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)   // stopping already, or starting
    return static_cast<long>(GetLastError());
  bool stopped = WaitFor(svc.h, SERVICE_STOPPED, kStopWaitMs, &s, &highest);
  if (checkpoint) *checkpoint = highest;
  *tookMs = GetTickCount() - from;
  if (stopped) WaitForProcessEnd(pid, kStopWaitMs);
  return stopped ? 0 : ERROR_SERVICE_REQUEST_TIMEOUT;
}

BOOL CALLBACK AskToClose(HWND window, LPARAM pid) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(pid) && !GetWindow(window, GW_OWNER))
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return TRUE;
}

// Ends every other process whose program is folder's name: asked first (its windows get
// what Esc sends) and given graceMs when ask, then ended. Counts into *left those that are
// still there.
int EndPrograms(const char* folder, const char* name, bool ask, DWORD graceMs, int* left) {
  char program[MAX_PATH];
  snprintf(program, sizeof program, "%s\\%s", folder, name);
  HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (all == INVALID_HANDLE_VALUE) return 0;
  int ended = 0;
  PROCESSENTRY32 p;
  p.dwSize = sizeof p;
  for (BOOL more = Process32First(all, &p); more; more = Process32Next(all, &p)) {
    if (p.th32ProcessID == GetCurrentProcessId() || lstrcmpiA(p.szExeFile, name) != 0 ||
        !Runs(p.th32ProcessID, program))
      continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.th32ProcessID);
    if (!process) {
      ++*left;
      continue;
    }
    if (ask) EnumWindows(AskToClose, static_cast<LPARAM>(p.th32ProcessID));
    bool gone = ask && WaitForSingleObject(process, graceMs) == WAIT_OBJECT_0;
    if (!gone) gone = TerminateProcess(process, 1) && WaitForSingleObject(process, kStopWaitMs) == WAIT_OBJECT_0;
    if (gone)
      ++ended;
    else
      ++*left;
    CloseHandle(process);
  }
  CloseHandle(all);
  return ended;
}

int EndConsoleWatches(const char* folder, int* left) {
  return EndPrograms(folder, "btctl.exe", false, 0, left);
}

int EndSetupPrograms(const char* folder, int* left) {
  return EndPrograms(folder, "Quorvex.exe", true, kSetupCloseMs, left);
}

long SendTryNow() {
  Handle manager, svc;
  long rc = OpenOurService(SERVICE_USER_DEFINED_CONTROL, &manager, &svc);
  if (rc) return rc;
  SERVICE_STATUS s;
  return ControlService(svc.h, kControlTryNow, &s) ? 0 : static_cast<long>(GetLastError());
}

long Query(char* state, size_t size) {
  Handle manager, svc;
  long rc = OpenOurService(SERVICE_QUERY_STATUS, &manager, &svc);
  if (rc == ERROR_SERVICE_DOES_NOT_EXIST) {
    snprintf(state, size, "NOT INSTALLED");
    return 0;
  }
  SERVICE_STATUS s;
  if (rc == 0 && !QueryServiceStatus(svc.h, &s)) rc = static_cast<long>(GetLastError());
  if (rc) return rc;
  static const char* const kNames[] = {"?", "STOPPED", "START_PENDING", "STOP_PENDING", "RUNNING",
                                       "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
  snprintf(state, size, "%s", s.dwCurrentState < 8 ? kNames[s.dwCurrentState] : "?");
  return 0;
}

long Run(const char* dll, WatchSetup& setup) {
  InitializeCriticalSection(&statusLock);
  stoppedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  runDll = dll;
  runSetup = &setup;
  char name[sizeof kServiceName];
  memcpy(name, kServiceName, sizeof name);
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMainProc}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : static_cast<long>(GetLastError());
}

const char* ErrorText(long code, char* out, size_t size) {
  int n = snprintf(out, size, "error %ld", code);
  if (n > 0 && static_cast<size_t>(n) + 3 < size &&
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, out + n + 2, static_cast<DWORD>(size - n - 2), nullptr)) {
    out[n] = ':';
    out[n + 1] = ' ';
    for (char* p = out; *p; ++p)
      if (*p == '\r' || *p == '\n') *p = *(p + 1) ? ' ' : '\0';
  }
  return out;
}

}  // namespace service
