// User-mode helpers of the simulated driver's Wine tests.
#include "tests/wine/simulator/simulator_client.h"

#include "tests/wine/wine_time_scale.h"

#include <cstdio>
#include <cstring>

namespace simtest {

Device::Device(int number) {
  char name[20];
  snprintf(name, sizeof name, "%s%d", SARNO_DEVICE_PREFIX, number);
  handle_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

Device::~Device() {
  if (open()) CloseHandle(handle_);
}

bool Device::Request(uint32_t code, const std::string& in, uint32_t* word) const {
  char buf[256] = {0};
  DWORD got = 0;
  size_t n = in.size() < sizeof buf ? in.size() : sizeof buf;
  memcpy(buf, in.data(), n);
  BOOL ok = DeviceIoControl(handle_, code, buf, (DWORD)n, buf, 4, &got, nullptr);
  if (word) memcpy(word, buf, 4);
  return ok != FALSE;
}

bool Device::Diagnostics(sarno_diagnostics* out) const {
  DWORD got = 0;
  memset(out, 0, sizeof *out);
  return DeviceIoControl(handle_, IOCTL_SARNO_DIAGNOSTICS, nullptr, 0, out, sizeof *out, &got,
                         nullptr) &&
         got == sizeof *out && out->size == sizeof *out;
}

sarno_diagnostics Diagnostics() {
  sarno_diagnostics d;
  memset(&d, 0, sizeof d);
  for (int n = 0; n < SARNO_DEVICE_COUNT; ++n) {
    Device dev(n);
    if (dev.open() && dev.Diagnostics(&d)) break;
  }
  return d;
}

int FireNextEvent() {
  HANDLE h = CreateFileA(SARNO_SIM_DEVICE, GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  sarno_next_event r;
  DWORD got = 0;
  BOOL ok = DeviceIoControl(h, IOCTL_SARNO_NEXT_EVENT, nullptr, 0, &r, sizeof r, &got, nullptr);
  CloseHandle(h);
  return ok && got >= sizeof r ? static_cast<int>(r.fired) : -1;
}

std::vector<sarno_timing> Requests(const sarno_diagnostics& d, uint32_t code, uint32_t from) {
  std::vector<sarno_timing> out;
  uint32_t kept = d.timing_count < SARNO_TIMING_SIZE ? d.timing_count : SARNO_TIMING_SIZE;
  uint32_t first = d.timing_count - kept;
  for (uint32_t i = 0; i < kept; ++i) {
    if (first + i >= from && d.timing[i].code == code) out.push_back(d.timing[i]);
  }
  return out;
}

static HKEY OpenParameters(REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SARNO_PARAMETERS_KEY, 0, access, &key) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

bool ReadDword(const char* name, uint32_t* value) {
  HKEY key = OpenParameters(KEY_QUERY_VALUE);
  if (!key) return false;
  DWORD type = 0, size = sizeof *value;
  LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && type == REG_DWORD && size == 4;
}

bool ReadText(const char* name, std::string* value) {
  HKEY key = OpenParameters(KEY_QUERY_VALUE);
  if (!key) return false;
  char buf[512] = {0};
  DWORD type = 0, size = sizeof buf - 1;
  LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || type != REG_SZ) return false;
  buf[size < sizeof buf ? size : sizeof buf - 1] = '\0';
  *value = buf;
  return true;
}

bool WriteText(const char* name, const std::string& value) {
  HKEY key = OpenParameters(KEY_SET_VALUE);
  if (!key) return false;
  LONG r = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          (DWORD)value.size() + 1);
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

bool WaitDword(const char* name, uint32_t want, DWORD ms) {
  uint32_t start = NowMs(), value = 0;
  while (!ReadDword(name, &value) || value != want) {
    if (NowMs() - start > ScaledMs(ms)) return false;
    Sleep(20);
  }
  return true;
}

std::string PublishSettingsPath(const char* file) {
  char dir[MAX_PATH] = {0};
  GetCurrentDirectoryA(sizeof dir, dir);
  std::string path = std::string(dir) + "\\" + file;
  std::string value = "\\??\\" + path;
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, SARNO_PARAMETERS_KEY, &key) == ERROR_SUCCESS) {
    RegSetValueExA(key, SARNO_INI_PATH_VALUE, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(value.c_str()), (DWORD)value.size());
    RegCloseKey(key);
  }
  return path;
}

static bool WaitState(SC_HANDLE svc, DWORD want, DWORD wait_ms) {
  uint32_t start = NowMs();
  SERVICE_STATUS st;
  while (QueryServiceStatus(svc, &st)) {
    if (st.dwCurrentState == want) return true;
    if (NowMs() - start > ScaledMs(wait_ms)) return false;
    Sleep(50);
  }
  return false;
}

static bool Control(bool start, DWORD wait_ms) {
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!scm) return false;
  SC_HANDLE svc = OpenServiceA(scm, "Sarnovek", SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
  bool ok = false;
  if (svc) {
    SERVICE_STATUS st;
    if (start) {
      StartServiceA(svc, 0, nullptr);
      ok = WaitState(svc, SERVICE_RUNNING, wait_ms);
    } else {
      ControlService(svc, SERVICE_CONTROL_STOP, &st);
      ok = WaitState(svc, SERVICE_STOPPED, wait_ms);
    }
    CloseServiceHandle(svc);
  }
  CloseServiceHandle(scm);
  return ok;
}

bool StopDriver(DWORD wait_ms) { return Control(false, wait_ms); }
bool StartDriver(DWORD wait_ms) { return Control(true, wait_ms); }

std::string ReadFileText(const std::string& path) {
  std::string text;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  fclose(f);
  return text;
}

std::vector<std::string> SettingsBlock(const std::string& text, int com) {
  std::vector<std::string> lines, block;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    pos = end + 1;
  }
  int seen = 0;
  for (const std::string& line : lines) {
    if (line.rfind("BT_Port:", 0) == 0) ++seen;
    else if (seen == com && (line.empty() || line.rfind("BT_", 0) == 0)) break;
    if (seen == com) block.push_back(line);
  }
  return block;
}

int RunProgram(const std::string& command_line, DWORD wait_ms, std::string* output) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &sa, 0)) return -1;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end;
  si.hStdError = write_end;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi;
  std::string cmd = command_line;
  BOOL started = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &si, &pi);
  CloseHandle(write_end);
  if (!started) {
    CloseHandle(read_end);
    return -1;
  }
  std::string text;
  uint32_t start = NowMs();
  DWORD code = (DWORD)-1;
  for (;;) {
    DWORD avail = 0;
    while (PeekNamedPipe(read_end, nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
      char buf[512];
      DWORD got = 0;
      if (!ReadFile(read_end, buf, avail < sizeof buf ? avail : sizeof buf, &got, nullptr) || !got)
        break;
      text.append(buf, got);
    }
    if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0) {
      GetExitCodeProcess(pi.hProcess, &code);
      break;
    }
    if (NowMs() - start > ScaledMs(wait_ms)) {
      TerminateProcess(pi.hProcess, 99);
      WaitForSingleObject(pi.hProcess, 5000);
      code = (DWORD)-1;
      break;
    }
  }
  DWORD got = 0;
  char buf[512];
  while (PeekNamedPipe(read_end, nullptr, 0, nullptr, &got, nullptr) && got > 0 &&
         ReadFile(read_end, buf, got < sizeof buf ? got : sizeof buf, &got, nullptr) && got)
    text.append(buf, got);
  CloseHandle(read_end);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (output) *output = text;
  return (int)code;
}

uint32_t NowMs() { return (uint32_t)GetTickCount(); }

bool WaitQueued(uint32_t want, DWORD ms) {
  uint32_t start = NowMs();
  while (NowMs() - start < ScaledMs(ms)) {
    if (Diagnostics().reads_queued == want) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace simtest
