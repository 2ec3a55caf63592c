// The per-port printer settings and their file, "Quorvex.ini".
//
// One reader (LoadSetting) and one writer (OnSaveSetting) serve both deliverables. The
// library passes no dialog; the setup program passes a SettingsDialog, through which the
// reader applies the stored connect mode and the writer takes what only the dialog knows.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kPortCount = 4;
constexpr int kQueryPrtMax = 7;
constexpr int kFieldSize = 40;   // every address, version and reserve text: 39 + NUL
constexpr int kBaudSize = 16;    // the baud text: 15 + NUL

struct PortSetting {
  char SelHost[kFieldSize];                 // terminal dongle (host) address
  char Selprt[kFieldSize];                  // printer bound to the port; "NONE" = none
  char QueryPrt[kQueryPrtMax][kFieldSize];  // printers of the last query, ended by "NONE"
  int32_t QueryPrtCount;                    // entries before the first "NONE"; set by the reader
  char HostVrsn[kFieldSize];                // terminal dongle version text
  char Reserve1[kFieldSize];
  char Reserve2[kFieldSize];
  char Reserve3[kFieldSize];
  char Reserve4[kFieldSize];
};

struct Settings {
  int32_t BT_SelPort = 0;                   // selected port, 0-3 for COM1-COM4
  char BT_Baudrate[kBaudSize] = "19200N81"; // line settings text, never interpreted
  PortSetting Port[kPortCount] = {};
};

// What the setup program's dialog adds to reading and writing the file.
class SettingsDialog {
 public:
  virtual ~SettingsDialog() = default;
  // The reader found the file and read its "BT_Connect" value ("AUTO", "MANUAL", ...). The
  // dialog applies it only while its start-up mode flag is set.
  virtual void ApplyConnectMode(const char* mode) = 0;
  // The reader could not open the file: the dialog takes the Manual mode.
  virtual void ApplyDefaultMode() = 0;
  // The text of the selected entry of the printer list, or "NONE" when none is selected,
  // into out (size bytes, always terminated).
  virtual void SelectedPrinter(char* out, size_t size) = 0;
  // True when the Auto radio of the connect-mode pair is the one that is on.
  virtual bool AutoModeSelected() = 0;
  // The writer could not create the file: the dialog shows " FAILED to Save Setting".
  virtual void ReportSaveFailed() = 0;
};

// Reads path into s. Without a dialog this is the library's reader; with one, the program's.
// Returns true when the file was read (whatever it held), false when it could not be opened
// and the defaults were applied.
bool LoadSetting(Settings& s, const char* path, SettingsDialog* dialog = nullptr);

// Writes s to path. The library's writer (no dialog) always writes "AUTO"; the program's
// takes the selected printer of port BT_SelPort and the connect mode from the dialog, and
// the printer becomes that port's Selprt once the file is written. Returns true when the
// file was written; on false s is unchanged.
bool OnSaveSetting(Settings& s, const char* path, SettingsDialog* dialog = nullptr);

// The exact bytes the writer puts on disk for s (CR LF line ends), into out; returns the
// length, or 0 when out is too small. s is not changed. OnSaveSetting is this plus the safe
// file replacement.
size_t FormatSettings(const Settings& s, SettingsDialog* dialog, char* out, size_t size);

// Copies src into a fixed field of size bytes, cutting what does not fit; always terminates.
void CopyField(char* dst, size_t size, const char* src);
template <size_t N>
inline void CopyField(char (&dst)[N], const char* src) { CopyField(dst, N, src); }

// A port that knows nothing: host, printer, first query entry and version "NONE"; the
// other fields keep what they hold.
void ResetPortToNone(PortSetting& p);
