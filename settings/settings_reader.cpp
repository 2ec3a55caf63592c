// LoadSetting: the settings file into memory, line by line in file order. Lines are known by
// position only; a line whose fixed text does not match leaves its field as it was, and the
// reads after it may fall out of step, as the file's format has always allowed.
#include <cstdio>
#include <cstring>

#include "settings/format_scanner.h"
#include "settings/settings.h"
#include "settings/settings_buffer.h"

namespace {

using settings_text::FormatScanner;

constexpr size_t kTokenSize = 20;  // key and value texts of the head and "BT_Port:" lines

bool IsNone(const char* field) { return std::strncmp(field, "NONE", kFieldSize) == 0; }

// "COM3" selects index 2: only the last character counts. A value that names no port of
// COM1..COM4 leaves the selection as it was, and the selection is never left outside 0..3.
void TakeSelPort(Settings& s, const char* value) {
  size_t n = std::strlen(value);
  if (n > 0) {
    int index = static_cast<unsigned char>(value[n - 1]) - '1';
    if (index >= 0 && index < kPortCount) s.BT_SelPort = index;
  }
  if (s.BT_SelPort < 0 || s.BT_SelPort >= kPortCount) s.BT_SelPort = 0;
}

void ReadPort(FormatScanner& in, PortSetting& p) {
  char key[kTokenSize] = "";
  char value[kTokenSize] = "";
  in.Scan("%s %s\n", key, value);  // "BT_Port: COMn", taken by position
  in.Scan("\t BT_SelHost:  %s\n", p.SelHost);
  in.Scan("\t BT_Selprt:   %s\n", p.Selprt);
  p.QueryPrtCount = 0;
  for (int k = 0; k < kQueryPrtMax; ++k) {
    in.Scan("\t BT_QueryPrt: %s\n", p.QueryPrt[k]);
    if (IsNone(p.QueryPrt[k])) break;
    ++p.QueryPrtCount;
  }
  in.Scan("\t BT_HostVrsn: %s\n", p.HostVrsn);
  in.Scan("\t BT_Reserve1: %s\n", p.Reserve1);
  in.Scan("\t BT_Reserve2: %s\n", p.Reserve2);
  in.Scan("\t BT_Reserve3: %s\n", p.Reserve3);
  in.Scan("\t BT_Reserve4: %s\n", p.Reserve4);
}

void ReadSettings(FormatScanner& in, Settings& s) {
  char key[kTokenSize] = "";
  char value[kTokenSize] = "";
  if (in.Scan("%s %s\n", key, value) == 2) {
    TakeSelPort(s, value);
  } else {
    TakeSelPort(s, "");
  }
  value[0] = '\0';
  if (in.Scan("%s %s\n", key, value) == 2) CopyField(s.BT_Baudrate, value);
  for (PortSetting& p : s.Port) ReadPort(in, p);

  // A file without a readable mode gives the empty text, which the program takes as Manual.
  char mode[kFieldSize] = "";
  in.Scan("BT_Connect: %s\n", mode);
  CopyField(s.BT_Connect, mode);
}

// The file could not be opened (or read): only these fields change.
void ApplyDefaults(Settings& s) {
  s.BT_SelPort = 0;
  CopyField(s.BT_Baudrate, "19200N81");
  for (PortSetting& p : s.Port) ResetPortToNone(p);
}

}  // namespace

void LoadSettingFromBuffer(Settings& s, const char* data, size_t len) {
  FormatScanner in(data, len);
  ReadSettings(in, s);
}

bool LoadSetting(Settings& s, const char* path) {
  FILE* file = path ? std::fopen(path, "rb") : nullptr;
  if (!file) {
    ApplyDefaults(s);
    return false;
  }
  bool read = false;
  {
    FormatScanner in(file);
    if (!in.ReadFailed()) {
      ReadSettings(in, s);
      read = true;
    }
  }
  std::fclose(file);
  if (!read) ApplyDefaults(s);
  return read;
}
