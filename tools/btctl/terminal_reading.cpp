#include "tools/btctl/terminal_reading.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "protocol/driver_protocol.h"

namespace {

constexpr uint32_t kRegBinary = 3;

void Problem(TerminalReading* t, const char* format, ...) {
  if (t->problemCount >= kMaxProblems) return;
  va_list args;
  va_start(args, format);
  vsnprintf(t->problems[t->problemCount++], kProblemSize, format, args);
  va_end(args);
}

const char* TypeName(uint32_t type) {
  switch (type) {
    case 0: return "REG_NONE";
    case platform::kRegSz: return "REG_SZ";
    case 2: return "REG_EXPAND_SZ";
    case kRegBinary: return "REG_BINARY";
    case platform::kRegDword: return "REG_DWORD";
    case 7: return "REG_MULTI_SZ";
    case 11: return "REG_QWORD";
    default: return "a value of another type";
  }
}

// A missing value is no fault: the driver has published nothing for the port yet. The
// program reads the value as 4 bytes whatever its type; here anything but a 4-byte number
// is reported, since its bytes would mean nothing.
void ReadState(platform::RegistryApi& reg, platform::RegKey key, int index, TerminalReading* t) {
  char name[32];
  snprintf(name, sizeof name, SARNO_CONNECT_STATE_VALUE, index + 1);
  uint32_t type = 0, value = LINK_STATE_NONE, cb = sizeof value;
  long rc = reg.QueryValue(key, name, &type, &value, &cb);
  if (rc == platform::kErrorFileNotFound) {
    t->state[index] = LINK_STATE_NONE;
    t->stateRead[index] = true;
  } else if (rc == platform::kErrorSuccess && cb == 4 &&
             (type == platform::kRegDword || type == kRegBinary)) {
    t->state[index] = value;
    t->stateRead[index] = true;
  } else if (rc == platform::kErrorSuccess || rc == platform::kErrorMoreData) {
    Problem(t, "the driver's value %s is %s of %u bytes, not a 4-byte number", name,
            TypeName(type), static_cast<unsigned>(cb));
  } else {
    Problem(t, "cannot read the driver's value %s (error %ld)", name, rc);
  }
}

void ReadIniPath(platform::RegistryApi& reg, platform::RegKey key, TerminalReading* t) {
  char value[kReadingPathSize] = {};
  uint32_t type = 0, cb = sizeof value - 1;   // the stored text need not end with a zero
  long rc = reg.QueryValue(key, SARNO_INI_PATH_VALUE, &type, value, &cb);
  if (rc == platform::kErrorFileNotFound) {
    Problem(t, "the driver's key has no BTiniPath value (the setup program publishes it at "
               "every start); give the settings file with --ini PATH");
    return;
  }
  if (rc == platform::kErrorMoreData) {
    Problem(t, "the driver's value BTiniPath is longer than %d characters", kReadingPathSize - 1);
    return;
  }
  if (rc != platform::kErrorSuccess) {
    Problem(t, "cannot read the driver's value BTiniPath (error %ld)", rc);
    return;
  }
  if (type != platform::kRegSz) {
    Problem(t, "the driver's value BTiniPath is %s, not a text", TypeName(type));
    return;
  }
  value[cb < sizeof value ? cb : sizeof value - 1] = '\0';
  const char* path = strncmp(value, "\\??\\", 4) == 0 ? value + 4 : value;
  if (!*path) {
    Problem(t, "the driver's value BTiniPath names no file");
    return;
  }
  CopyField(t->iniPath, sizeof t->iniPath, path);
}

// The reader fills every field that its line gives, and a line it cannot match leaves the
// field as it was: starting from empty fields, an empty field afterwards is a line that is
// missing or damaged.
const char* DamagedLine(const PortSetting& p) {
  if (!p.SelHost[0]) return "BT_SelHost";
  if (!p.Selprt[0]) return "BT_Selprt";
  for (int k = 0; k < p.QueryPrtCount && k < kQueryPrtMax; ++k)
    if (!p.QueryPrt[k][0]) return "BT_QueryPrt";
  if (!p.HostVrsn[0]) return "BT_HostVrsn";
  if (!p.Reserve1[0] || !p.Reserve2[0] || !p.Reserve3[0] || !p.Reserve4[0]) return "BT_Reserve";
  return nullptr;
}

void ReadSettingsFile(TerminalReading* t, bool named) {
  Settings s;   // every text field empty
  char shown[kReadingPathSize];
  Printable(t->iniPath, shown, sizeof shown);
  if (!LoadSetting(s, t->iniPath)) {
    Problem(t, "cannot read the settings file %s%s", shown, named ? " named by BTiniPath" : "");
    return;
  }
  for (int i = 0; i < kPortCount; ++i) {
    if (const char* line = DamagedLine(s.Port[i])) {
      Problem(t, "the settings file %s is damaged: the %s line of COM%d is missing or malformed",
              shown, line, i + 1);
      return;
    }
  }
  t->settings = s;
  t->settingsRead = true;
}

}  // namespace

void ReadTerminal(platform::RegistryApi& reg, const char* iniPath, TerminalReading* t) {
  *t = TerminalReading();
  for (uint32_t& s : t->state) s = LINK_STATE_NONE;
  platform::RegKey key = nullptr;
  long rc = reg.OpenKey(platform::HKeyLocalMachine(), SARNO_PARAMETERS_KEY, &key);
  if (rc != platform::kErrorSuccess) {
    Problem(t, "cannot open the driver's registry key HKLM\\%s (error %ld)", SARNO_PARAMETERS_KEY,
            rc);
  } else {
    for (int i = 0; i < kPortCount; ++i) ReadState(reg, key, i, t);
    if (!iniPath) ReadIniPath(reg, key, t);
    reg.CloseKey(key);
  }
  if (iniPath) CopyField(t->iniPath, sizeof t->iniPath, iniPath);
  if (t->iniPath[0]) ReadSettingsFile(t, !iniPath);
}

bool IsBound(const PortSetting& port) {
  return port.Selprt[0] && strcmp(port.Selprt, "NONE") != 0 && strcmp(port.Selprt, "NULL") != 0;
}

const char* Printable(const char* text, char* out, size_t size) {
  if (!size) return out;
  size_t n = 0;
  for (; text[n] && n + 1 < size; ++n)
    out[n] = (text[n] >= 0x20 && text[n] < 0x7F) ? text[n] : '?';
  out[n] = '\0';
  return out;
}
