#include "tools/btctl/metrics.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tools/btctl/safe_files.h"

namespace {

// Appends to a fixed buffer; what does not fit is cut, and the text stays terminated.
struct Out {
  char* p;
  size_t size, len = 0;
  void operator()(const char* format, ...) {
    if (len + 1 >= size) return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(p + len, size - len, format, args);
    va_end(args);
    if (n > 0) len = len + n < size ? len + n : size - 1;
  }
};

void Header(Out& o, const char* name, const char* type, const char* help) {
  o("# HELP %s %s\n# TYPE %s %s\n", name, help, name, type);
}

// A label value: printable ASCII only (the file may hold anything), with the format's
// escapes for backslash and quote.
void Label(const char* text, char* out, size_t size) {
  size_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p && n + 2 < size; ++p) {
    if (*p == '\\' || *p == '"') out[n++] = '\\';
    out[n++] = (*p >= 0x20 && *p < 0x7F) ? static_cast<char>(*p) : '?';
  }
  out[n] = '\0';
}

}  // namespace

size_t FormatMetrics(const TerminalReading& t, const char* const bound[kPortCount],
                     const LinkCounters* counters, uint64_t unixSeconds, char* out, size_t size) {
  if (!size) return 0;
  out[0] = '\0';
  Out o{out, size};
  char printer[2 * kFieldSize];
  Header(o, "quorvex_link_up", "gauge", "Whether the port's bound printer is connected (1) or not (0).");
  for (int i = 0; i < kPortCount; ++i) {
    if (strcmp(bound[i], "NONE") == 0) continue;
    Label(bound[i], printer, sizeof printer);
    o("quorvex_link_up{port=\"COM%d\",printer=\"%s\"} %d\n", i + 1, printer,
      t.stateRead[i] && t.state[i] == 0 ? 1 : 0);
  }
  Header(o, "quorvex_link_state", "gauge",
         "The link status word the driver publishes for the port (0 connected, 255 none).");
  for (int i = 0; i < kPortCount; ++i)
    if (t.stateRead[i]) o("quorvex_link_state{port=\"COM%d\"} %u\n", i + 1, static_cast<unsigned>(t.state[i]));
  if (counters) {
    Header(o, "quorvex_reconnect_tries_total", "counter", "Connects the watch has tried for the port.");
    for (int i = 0; i < kPortCount; ++i)
      o("quorvex_reconnect_tries_total{port=\"COM%d\"} %" PRIu64 "\n", i + 1, counters->tries[i]);
    Header(o, "quorvex_link_changes_total", "counter", "Changes of the port's link state the watch has seen.");
    for (int i = 0; i < kPortCount; ++i)
      o("quorvex_link_changes_total{port=\"COM%d\"} %" PRIu64 "\n", i + 1, counters->changes[i]);
  }
  Header(o, "quorvex_watch_last_pass_timestamp_seconds", "gauge",
         "When the link states were last read, in seconds since 1970.");
  o("quorvex_watch_last_pass_timestamp_seconds %" PRIu64 "\n", unixSeconds);
  return o.len;
}

MetricsFile::MetricsFile(const char* path, uint64_t (*unixSeconds)()) : unixSeconds_(unixSeconds) {
  snprintf(path_, sizeof path_, "%s", path);
}

void MetricsFile::OnLinkChange(uint64_t, int port, uint32_t, uint32_t, const char*, int) {
  ++counters_.changes[port];
}

void MetricsFile::OnTry(uint64_t, int port, uint32_t) { ++counters_.tries[port]; }

void MetricsFile::OnPass(uint64_t, const TerminalReading& reading,
                         const char* const bound[kPortCount]) {
  char text[kMetricsSize];
  size_t len = FormatMetrics(reading, bound, &counters_, unixSeconds_(), text, sizeof text);
  if (!ReplaceWhole(path_, text, len)) ++failures;
}
