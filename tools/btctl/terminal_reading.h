// What btctl knows of the terminal's four printer links, read only the way any application
// may: the connection states the driver publishes in its Parameters key, and the settings
// file whose path the setup program gave the driver in "BTiniPath".
//
// Nothing read is trusted: a value of the wrong type or size, a path that names no file and
// a damaged settings file each become one line in `problems` saying which and why.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/registry.h"
#include "protocol/link_status.h"
#include "settings/settings.h"

constexpr int kReadingPathSize = 256;
constexpr int kProblemSize = 320;
constexpr int kMaxProblems = 6;

struct TerminalReading {
  char iniPath[kReadingPathSize] = {};   // the settings file read, or tried
  bool settingsRead = false;             // settings holds that file's content
  Settings settings;
  bool stateRead[kPortCount] = {};       // false: the value could not be read (see problems)
  uint32_t state[kPortCount] = {};       // LINK_STATE_NONE when the driver published none
  int problemCount = 0;
  char problems[kMaxProblems][kProblemSize] = {};
};

// Reads the four "COM<n>ConnectState" values and the settings file: iniPath when given,
// else the one "BTiniPath" names (its "\??\" prefix removed).
void ReadTerminal(platform::RegistryApi& registry, const char* iniPath, TerminalReading* out);

// A port is bound when its printer field names a printer ("NONE" is none; "NULL" would make
// a connect drop the link, so it counts as none too).
bool IsBound(const PortSetting& port);

// A text from the file or the registry as it may be shown on a terminal: every byte that
// is not printable ASCII becomes '?'. Returns out.
const char* Printable(const char* text, char* out, size_t size);
