// The service manager's side of btctl service: installing and controlling QuorvexLinkWatch,
// and, in the service's own process, ServiceMain with its control handler around the watch.
// Every call here exists on Windows XP SP3.
#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

#include "tools/btctl/safe_files.h"
#include "tools/btctl/service_command.h"
#include "tools/btctl/stop_request.h"

namespace {

const char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quorvex";
const char kDescription[] =
    "Connects bound receipt printers again when their links drop, with nobody logged on; "
    "reports to the Event Log (source Quorvex).";
constexpr DWORD kStartWaitMs = 30000;   // the library's start-up under a slow machine
constexpr DWORD kStopWaitMs = 10000;
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

// Waits, within limitMs, for the service to leave pending; true when it reached want.
bool WaitFor(SC_HANDLE svc, DWORD want, DWORD limitMs, SERVICE_STATUS* status) {
  for (DWORD waited = 0;; waited += kPollMs) {
    if (!QueryServiceStatus(svc, status)) return false;
    if (status->dwCurrentState == want) return true;
    if (status->dwCurrentState != SERVICE_START_PENDING &&
        status->dwCurrentState != SERVICE_STOP_PENDING)
      return false;
    if (waited >= limitMs) return false;
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

void Report(DWORD state, DWORD exitCode = 0, DWORD waitHint = 0) {
  EnterCriticalSection(&statusLock);
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

DWORD WINAPI OnControl(DWORD control, DWORD eventType, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING, 0, kServiceStopWaitMs);
      RequestStop();
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
}

void WINAPI ServiceMainProc(DWORD, LPSTR*) {
  statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, OnControl, nullptr);
  if (!statusHandle) return;
  Report(SERVICE_START_PENDING, 0, kStartWaitMs);
  // A service starts in the system folder; relative paths mean the program's own folder.
  char folder[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, folder, sizeof folder);
  if (n > 0 && n < sizeof folder) {
    if (char* slash = strrchr(folder, '\\')) *slash = '\0';
    SetCurrentDirectoryA(folder);
  }
  // The library's own copy of the settings lives in the service's folder, which only
  // administrators and the service may write, never in the install folder's file.
  static char callFolder[MAX_PATH];
  const char* why = "";
  if (service::DataFolder(callFolder, sizeof callFolder, &why) == 0) runSetup->libraryFolder = callFolder;
  runEvents.source = RegisterEventSourceA(nullptr, kEventSource);
  runSetup->events = &runEvents;
  runSetup->started = OnWatchStarted;
  runSetup->ended = OnWatchEnded;
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
  HMODULE shell = LoadLibraryA("shell32.dll");
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

long ProgramPath(char* out, size_t size) {
  DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
  return n > 0 && n < size ? 0 : ERROR_FILENAME_EXCED_RANGE;
}

long DataFolder(char* out, size_t size, const char** why) {
  long rc = FindDataFolder(out, size, why);
  if (rc) return rc;
  return MakeServiceFolder(out, why) ? 0 : ERROR_ACCESS_DENIED;
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
    SERVICE_STATUS s;
    DWORD pid = ServicePid(svc.h);
    if (ControlService(svc.h, SERVICE_CONTROL_STOP, &s)) WaitFor(svc.h, SERVICE_STOPPED, kStopWaitMs, &s);
    WaitForProcessEnd(pid, kStopWaitMs);
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

long Stop(uint32_t* tookMs) {
  Handle manager, svc;
  long rc = OpenOurService(SERVICE_STOP | SERVICE_QUERY_STATUS, &manager, &svc);
  if (rc) return rc;
  SERVICE_STATUS s;
  DWORD pid = ServicePid(svc.h);
  DWORD from = GetTickCount();
  if (!ControlService(svc.h, SERVICE_CONTROL_STOP, &s) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
    return static_cast<long>(GetLastError());
  bool stopped = WaitFor(svc.h, SERVICE_STOPPED, kStopWaitMs, &s);
  *tookMs = GetTickCount() - from;
  if (stopped) WaitForProcessEnd(pid, kStopWaitMs);
  return stopped ? 0 : ERROR_SERVICE_REQUEST_TIMEOUT;
}

int EndConsoleWatches(const char* folder) {
  char program[MAX_PATH];
  snprintf(program, sizeof program, "%s\\btctl.exe", folder);
  HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (all == INVALID_HANDLE_VALUE) return 0;
  int ended = 0;
  PROCESSENTRY32 p;
  p.dwSize = sizeof p;
  for (BOOL more = Process32First(all, &p); more; more = Process32Next(all, &p)) {
    if (p.th32ProcessID == GetCurrentProcessId() || lstrcmpiA(p.szExeFile, "btctl.exe") != 0 ||
        !Runs(p.th32ProcessID, program))
      continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.th32ProcessID);
    if (!process) continue;
    if (TerminateProcess(process, 1) && WaitForSingleObject(process, kStopWaitMs) == WAIT_OBJECT_0) ++ended;
    CloseHandle(process);
  }
  CloseHandle(all);
  return ended;
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
