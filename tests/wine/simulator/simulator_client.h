// What the Wine tests of the simulated driver do from user mode: open its control devices
// the way the library does, send requests, read its diagnostics and the Parameters key,
// and stop or start its service. Windows only.
#ifndef TESTS_WINE_SIMULATOR_SIMULATOR_CLIENT_H
#define TESTS_WINE_SIMULATOR_SIMULATOR_CLIENT_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "simulator/driver/sarno_diagnostics.h"
#include "tests/wine/wine_time_scale.h"

namespace simtest {

// An open control device ("\\.\Sarno<n>", the library's access and share flags).
class Device {
 public:
  explicit Device(int number);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  bool open() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE handle() const { return handle_; }
  // One request with a 4-byte output word; returns DeviceIoControl's success value.
  bool Request(uint32_t code, const std::string& in, uint32_t* word) const;
  bool Diagnostics(sarno_diagnostics* out) const;

 private:
  HANDLE handle_;
};

// The driver's diagnostics through device 0 (or the first that opens).
sarno_diagnostics Diagnostics();
// Fires the scenario's next timed event now (from then on only this fires them): the count
// fired, 0 when none was left, -1 when the driver's own device does not answer.
int FireNextEvent();
// The requests with this code since entry `from` of the timing log.
std::vector<sarno_timing> Requests(const sarno_diagnostics& d, uint32_t code, uint32_t from);

// The Parameters key.
bool ReadDword(const char* name, uint32_t* value);
bool ReadText(const char* name, std::string* value);
bool WriteText(const char* name, const std::string& value);
// Waits up to ms for a REG_DWORD value to read `want`; true when it did.
bool WaitDword(const char* name, uint32_t want, DWORD ms);
// Stores "\??\" + the full path of `file` in the current directory as "BTiniPath", the
// byte count without the terminating zero, as the setup program does. Returns the path.
std::string PublishSettingsPath(const char* file);

// The driver's service: stop (bounded wait), start (bounded wait); true when it got there.
bool StopDriver(DWORD wait_ms);
bool StartDriver(DWORD wait_ms);

std::string ReadFileText(const std::string& path);
// The lines of block `com` (1..4) of a settings file, from its "BT_Port:" line on.
std::vector<std::string> SettingsBlock(const std::string& text, int com);

// Runs a program and waits at most wait_ms; returns its exit code, or -1 when it had to be
// killed or could not start. Its output goes to *output when given.
int RunProgram(const std::string& command_line, DWORD wait_ms, std::string* output);

// Milliseconds of a monotonic clock.
uint32_t NowMs();

// Waits up to ms for the driver to hold exactly `want` pending reads; true when it did.
bool WaitQueued(uint32_t want, DWORD ms);

}  // namespace simtest

#endif
