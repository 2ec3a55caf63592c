// The per-port printer settings and their file, "Quorvex.ini".
//
// One reader (LoadSetting) and one writer (OnSaveSetting) serve both deliverables, over
// plain data: the setup program applies the connect mode the reader found once LoadSetting
// returns, and fills in its connect mode and chosen printer before OnSaveSetting.
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
  // The file's "BT_Connect" text as last read ("AUTO", "MANUAL", ...; "" when the file has
  // no readable mode line). A file that could not be read leaves it as it was.
  char BT_Connect[kFieldSize] = "";
  // What the next save writes besides the records; the library leaves them as they are.
  bool SaveManual = false;                 // "BT_Connect: MANUAL" instead of "AUTO"
  bool SavePrinterChosen = false;          // ChosenPrinter becomes port BT_SelPort's Selprt
  char ChosenPrinter[kFieldSize] = "";
};

// Reads path into s. Returns true when the file was read (whatever it held), false when it
// could not be opened and the defaults were applied.
bool LoadSetting(Settings& s, const char* path);

// Writes s to path. With SavePrinterChosen and BT_SelPort in COM1..COM4, ChosenPrinter is
// written as that port's binding and becomes its Selprt once the file is written. The save
// choices count for this one save and are cleared. Returns true when the file was written;
// on false the records are unchanged.
bool OnSaveSetting(Settings& s, const char* path);

// The exact bytes the writer puts on disk for s (CR LF line ends), into out; returns the
// length, or 0 when out is too small. OnSaveSetting is this plus the safe file replacement.
size_t FormatSettings(const Settings& s, char* out, size_t size);

// Copies src into a fixed field of size bytes, cutting what does not fit; always terminates.
void CopyField(char* dst, size_t size, const char* src);
template <size_t N>
inline void CopyField(char (&dst)[N], const char* src) { CopyField(dst, N, src); }

// Resets port's block (0-3) in the file at path as the file holds it now: host, printer,
// first query entry and version become "NONE", the query entries after the first go, and
// every other byte stays. When the file has no such block, or the reader would not see the
// edit as that port reset and everything else unchanged (a damaged file), the file is
// written whole from what the reader sees, with that port reset and selected and the connect
// mode kept; a missing file is written from the defaults. A file that exists but cannot be
// opened or read (held by another program, access denied) is left alone. Nothing is written
// when the block is reset already and the reader sees it so. Returns true when the file holds it.
bool ResetPortInFile(const char* path, int port);

// A port that knows nothing: host, printer, first query entry and version "NONE"; the
// other fields keep what they hold.
void ResetPortToNone(PortSetting& p);
