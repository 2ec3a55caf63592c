#include "tools/btctl/status_command.h"

#include <cstring>

#include "tools/btctl/metrics.h"
#include "tools/btctl/json_text.h"
#include "tools/btctl/result_text.h"
#include "tools/btctl/terminal_reading.h"

namespace {

bool IsNone(const char* text) { return strcmp(text, "NONE") == 0; }

// The link column: the label, and for a link that is down the program's words for why.
void LinkText(const TerminalReading& t, int i, char* out, size_t size) {
  uint32_t s = t.state[i];
  if (!t.stateRead[i])
    snprintf(out, size, "unreadable");
  else if (s == 0 || s == LINK_STATE_NONE)
    snprintf(out, size, "%s", StateLabel(s));
  else
    snprintf(out, size, "%s: %s (0x%X)", StateLabel(s), LinkWords(s), static_cast<unsigned>(s));
}

void PrintTable(const TerminalReading& t, FILE* out) {
  char a[kFieldSize], b[kFieldSize], c[kFieldSize], link[96], path[kReadingPathSize];
  fprintf(out, "Settings file: %s\n", Printable(t.iniPath, path, sizeof path));
  fprintf(out, "%-4s  %-12s  %-8s  %-12s  %-12s  %s\n", "PORT", "DONGLE", "VERSION", "BOUND",
          "LINK", "FOUND BY THE LAST QUERY");
  for (int i = 0; i < kPortCount; ++i) {
    const PortSetting& p = t.settings.Port[i];
    LinkText(t, i, link, sizeof link);
    fprintf(out, "COM%d  %-12s  %-8s  %-12s  %-12s ", i + 1, Printable(p.SelHost, a, sizeof a),
            Printable(p.HostVrsn, b, sizeof b), Printable(p.Selprt, c, sizeof c), link);
    if (p.QueryPrtCount == 0) fprintf(out, " NONE");
    for (int k = 0; k < p.QueryPrtCount && k < kQueryPrtMax; ++k)
      fprintf(out, " %s", Printable(p.QueryPrt[k], a, sizeof a));
    fprintf(out, "\n");
  }
}

// "NONE" in the file is JSON's null.
void JsonField(FILE* out, const char* name, const char* text) {
  fprintf(out, ",\"%s\":", name);
  if (IsNone(text))
    fprintf(out, "null");
  else
    JsonText(out, text);
}

void PrintJson(const TerminalReading& t, FILE* out) {
  fprintf(out, "[\n");
  for (int i = 0; i < kPortCount; ++i) {
    const PortSetting& p = t.settings.Port[i];
    uint32_t s = t.state[i];
    fprintf(out, "{\"port\":\"COM%d\"", i + 1);
    JsonField(out, "dongle", p.SelHost);
    JsonField(out, "version", p.HostVrsn);
    JsonField(out, "bound", p.Selprt);
    fprintf(out, ",\"found\":[");
    for (int k = 0; k < p.QueryPrtCount && k < kQueryPrtMax; ++k) {
      if (k) fputc(',', out);
      JsonText(out, p.QueryPrt[k]);
    }
    if (!t.stateRead[i])
      fprintf(out, "],\"state\":null,\"link\":\"unreadable\",\"meaning\":null}");
    else if (s == LINK_STATE_NONE)
      fprintf(out, "],\"state\":255,\"link\":\"None\",\"meaning\":null}");
    else
      fprintf(out, "],\"state\":%u,\"link\":\"%s\",\"meaning\":\"%s\"}", static_cast<unsigned>(s),
              StateLabel(s), LinkWords(s));
    fprintf(out, "%s\n", i + 1 < kPortCount ? "," : "");
  }
  fprintf(out, "]\n");
}

int ExitStatus(const TerminalReading& t) {
  if (t.problemCount) return 2;
  for (int i = 0; i < kPortCount; ++i)
    if (IsBound(t.settings.Port[i]) && t.state[i] != 0) return 1;
  return 0;
}

}  // namespace

int RunStatus(platform::RegistryApi& registry, const char* iniPath, bool json, FILE* out,
              FILE* err) {
  TerminalReading t;
  ReadTerminal(registry, iniPath, &t);
  for (int i = 0; i < t.problemCount; ++i) fprintf(err, "btctl: %s\n", t.problems[i]);
  if (t.settingsRead) json ? PrintJson(t, out) : PrintTable(t, out);
  fflush(out);
  return ExitStatus(t);
}

int RunStatusPrometheus(platform::RegistryApi& registry, const char* iniPath, uint64_t unixSeconds,
                        FILE* out, FILE* err) {
  TerminalReading t;
  ReadTerminal(registry, iniPath, &t);
  for (int i = 0; i < t.problemCount; ++i) fprintf(err, "btctl: %s\n", t.problems[i]);
  const char* bound[kPortCount];
  for (int i = 0; i < kPortCount; ++i)
    bound[i] = t.settingsRead && IsBound(t.settings.Port[i]) ? t.settings.Port[i].Selprt : "NONE";
  char text[kMetricsSize];
  fwrite(text, 1, FormatMetrics(t, bound, nullptr, unixSeconds, text, sizeof text), out);
  fflush(out);
  return ExitStatus(t);
}
