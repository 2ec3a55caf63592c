// OnSaveSetting: the settings in memory as the file's lines, CR LF at every line end, built
// in memory and handed whole to the safe file replacement, so that a save that fails
// half-way leaves the previous file, and the bindings in memory, as they were.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/file_replace.h"
#include "settings/format_scanner.h"
#include "settings/settings.h"

namespace {

// Appends formatted text to a fixed buffer; once something does not fit, it stays failed.
class TextOut {
 public:
  TextOut(char* out, size_t size) : out_(out), size_(size), ok_(out != nullptr && size > 0) {}

  __attribute__((format(printf, 2, 3))) void Line(const char* format, ...) {
    if (!ok_) return;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(out_ + len_, size_ - len_, format, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= size_ - len_) {
      ok_ = false;
      return;
    }
    len_ += static_cast<size_t>(n);
  }

  size_t Length() const { return ok_ ? len_ : 0; }

 private:
  char* out_;
  size_t size_;
  size_t len_ = 0;
  bool ok_;
};

// A value as the file must hold it: one token, never empty. Memory may hold what the reader
// never gives (an empty field, a blank, no terminator within the field); the file gets the
// text up to the first white space, at most what the field holds besides its terminator,
// and "NONE" for nothing, so that it reads back in step.
struct Token {
  char text[kFieldSize];
  Token(const char* field, size_t size) {
    size_t n = 0;
    while (n + 1 < size && n + 1 < sizeof text && field[n] != '\0' &&
           !settings_text::IsSpace(static_cast<unsigned char>(field[n]))) {
      text[n] = field[n];
      ++n;
    }
    text[n] = '\0';
    if (n == 0) CopyField(text, "NONE");
  }
  template <size_t N>
  explicit Token(const char (&field)[N]) : Token(field, N) {}
  bool IsNone() const { return std::strcmp(text, "NONE") == 0; }
};

// picked: the binding the dialog gives this port, or null to write the port's own.
void WritePort(TextOut& out, int n, const PortSetting& p, const char* picked) {
  out.Line("\r\nBT_Port: COM%d\r\n", n);
  out.Line("\t BT_SelHost:  %s\r\n", Token(p.SelHost).text);
  const Token bound = picked ? Token(picked, kFieldSize) : Token(p.Selprt);
  out.Line("\t BT_Selprt:   %s\r\n", bound.text);
  for (int k = 0; k < kQueryPrtMax; ++k) {
    Token entry(p.QueryPrt[k]);
    out.Line("\t BT_QueryPrt: %s\r\n", entry.text);
    if (entry.IsNone()) break;
  }
  out.Line("\t BT_HostVrsn: %s\r\n", Token(p.HostVrsn).text);
  out.Line("\t BT_Reserve1: %s\r\n", "NONE");
  out.Line("\t BT_Reserve2: %s\r\n", "NONE");
  out.Line("\t BT_Reserve3: %s\r\n", "NONE");
  out.Line("\t BT_Reserve4: %s\r\n", "NONE");
}

// A selection outside COM1..COM4 names no block that could take the chosen printer.
bool PrinterChosen(const Settings& s) {
  return s.SavePrinterChosen && s.BT_SelPort >= 0 && s.BT_SelPort < kPortCount;
}

// The largest file: two head lines, four blocks of twelve full-width lines and the mode
// line stay well under this.
constexpr size_t kFileMax = 4096;

}  // namespace

size_t FormatSettings(const Settings& s, char* out, size_t size) {
  TextOut text(out, size);
  // A selection outside COM1..COM4 is written as COM1, so that the file stays readable.
  const bool valid = s.BT_SelPort >= 0 && s.BT_SelPort < kPortCount;
  const char* chosen = PrinterChosen(s) ? s.ChosenPrinter : nullptr;
  text.Line("BT_SelPort: COM%d\r\n", (valid ? s.BT_SelPort : 0) + 1);
  text.Line("BT_Baudrate: %s\r\n", Token(s.BT_Baudrate).text);
  for (int i = 0; i < kPortCount; ++i)
    WritePort(text, i + 1, s.Port[i], i == s.BT_SelPort ? chosen : nullptr);
  text.Line("\r\nBT_Connect: %s\r\n", s.SaveManual ? "MANUAL" : "AUTO");
  return text.Length();
}

bool OnSaveSetting(Settings& s, const char* path) {
  char bytes[kFileMax];
  size_t len = FormatSettings(s, bytes, sizeof bytes);
  bool saved = len > 0 && path && platform::WriteFileReplacing(path, bytes, len);
  // The chosen printer becomes the port's binding only once the file holds it: after a
  // failed save memory keeps the binding the file still has.
  if (saved && PrinterChosen(s)) CopyField(s.Port[s.BT_SelPort].Selprt, s.ChosenPrinter);
  s.SaveManual = s.SavePrinterChosen = false;
  return saved;
}
