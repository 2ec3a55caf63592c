#include "tools/btctl/health_command.h"

#include <cstring>

#include "protocol/escpos.h"
#include "tools/btctl/json_text.h"
#include "tools/btctl/terminal_reading.h"

namespace {

const char* const kInfoNames[3] = {"firmware", "maker", "model"};
const uint8_t kInfoN[3] = {ESCPOS_INFO_FIRMWARE, ESCPOS_INFO_MAKER, ESCPOS_INFO_MODEL};

struct Report {
  char port[16] = "";
  char printer[kFieldSize] = "";
  const char* failure = nullptr;  // why the printer could not be asked, or did not answer
  int status = 0;                 // the exit status
  PrinterStatus st;
  bool infoAsked = false;
  Answer info[3] = {Answer::kSilent, Answer::kSilent, Answer::kSilent};
  char infoText[3][kInfoSize] = {};
  size_t infoLen[3] = {};
  uint32_t infoMs[3] = {};
};

const char* Paper(const PrinterStatus& st) {
  return st.PaperEnd() ? "out" : st.NearEnd() ? "near-end" : "ok";
}

void Ask(const PrinterSeams& s, int com, Report* r) {
  PrinterTalk talk(s);  // closes the port on every way out
  switch (talk.Open(com)) {
    case platform::LineOpen::kInUse:
      r->failure = "the port is in use by another program";
      r->status = 2;
      return;
    case platform::LineOpen::kNoSuchPort:
      r->failure = "no such serial port (no terminal dongle in it, or the driver is not running)";
      r->status = 2;
      return;
    default:
      break;
  }
  talk.AskStatus(&r->st);
  for (Answer a : r->st.answer) {
    if (a == Answer::kNotSent) {
      r->failure = "the port took nothing: its link is down";
      r->status = 2;
      return;
    }
    if (a == Answer::kStopped) {
      r->failure = "stopped";
      r->status = 1;
      return;
    }
  }
  if (!r->st.Answered()) {
    r->failure = "no answer from the printer";
    r->status = 1;
    return;
  }
  r->status = r->st.CanPrint() ? 0 : 1;
  // A stopped printer drops what is not a real-time request: its information waits.
  if (!r->st.CanPrint()) return;
  r->infoAsked = true;
  for (int k = 0; k < 3; ++k) {
    r->info[k] = talk.AskInfo(kInfoN[k], r->infoText[k], &r->infoLen[k], &r->infoMs[k]);
    if (r->info[k] == Answer::kStopped) return;
  }
}

// The information text as a terminal shows it: bytes outside printable ASCII as '?'.
const char* InfoShown(const Report& r, int k, char* out, size_t size) {
  if (!r.infoAsked) return "not asked (the printer cannot print)";
  if (r.info[k] != Answer::kAnswered) return "unsupported";
  return Printable(r.infoText[k], out, size);
}

void PrintText(const Report& r, FILE* out) {
  if (r.failure) {
    fprintf(out, "%s: %s%s\n", r.port, r.failure,
            r.status == 2 ? "; the printer was not asked" : "");
    return;
  }
  fprintf(out, "%s: printer %s\n", r.port, r.printer[0] ? r.printer : "(not bound in the settings file)");
  const PrinterStatus& st = r.st;
  fprintf(out, "  %-9s %-28s %5u ms\n", "online", st.Offline() ? "no (offline)" : "yes",
          static_cast<unsigned>(st.ms[0]));
  fprintf(out, "  %-9s %-28s %5u ms\n", "paper",
          st.PaperEnd() ? "out" : st.NearEnd() ? "near its end" : "ok",
          static_cast<unsigned>(st.ms[2]));
  fprintf(out, "  %-9s %-28s %5u ms\n", "cover", st.CoverOpen() ? "open" : "closed",
          static_cast<unsigned>(st.ms[1]));
  fprintf(out, "  %-9s %-28s %5u ms\n", "error", st.Error() ? "yes" : "none",
          static_cast<unsigned>(st.ms[1]));
  for (int k = 0; k < 3; ++k) {
    char shown[kInfoSize];
    fprintf(out, "  %-9s %-28s", kInfoNames[k], InfoShown(r, k, shown, sizeof shown));
    if (r.infoAsked) fprintf(out, " %5u ms", static_cast<unsigned>(r.infoMs[k]));
    fprintf(out, "\n");
  }
  if (r.status == 0)
    fprintf(out, "%s: can print%s\n", r.port, st.NearEnd() ? " (warning: paper near its end)" : "");
  else
    fprintf(out, "%s: cannot print\n", r.port);
}

void PrintJson(const Report& r, FILE* out) {
  fprintf(out, "{\"port\":\"%s\",\"printer\":", r.port);
  if (r.printer[0]) JsonText(out, r.printer); else fprintf(out, "null");
  fprintf(out, ",\"asked\":%s", r.status == 2 ? "false" : "true");
  fprintf(out, ",\"answered\":%s", r.failure ? "false" : "true");
  if (r.failure) {
    fprintf(out, ",\"problem\":");
    JsonText(out, r.failure);
  }
  if (!r.failure) {
    const PrinterStatus& st = r.st;
    fprintf(out, ",\"online\":%s,\"online_ms\":%u", st.Offline() ? "false" : "true",
            static_cast<unsigned>(st.ms[0]));
    fprintf(out, ",\"paper\":\"%s\",\"paper_ms\":%u", Paper(st), static_cast<unsigned>(st.ms[2]));
    fprintf(out, ",\"cover\":\"%s\",\"error\":%s,\"cover_ms\":%u", st.CoverOpen() ? "open" : "closed",
            st.Error() ? "true" : "false", static_cast<unsigned>(st.ms[1]));
    for (int k = 0; k < 3; ++k) {
      fprintf(out, ",\"%s\":", kInfoNames[k]);
      if (!r.infoAsked)
        fprintf(out, "null");
      else if (r.info[k] != Answer::kAnswered)
        fprintf(out, "\"unsupported\"");
      else
        JsonBytes(out, reinterpret_cast<const unsigned char*>(r.infoText[k]), r.infoLen[k]);
      if (r.infoAsked) fprintf(out, ",\"%s_ms\":%u", kInfoNames[k], static_cast<unsigned>(r.infoMs[k]));
    }
  }
  fprintf(out, ",\"can_print\":%s}\n", r.status == 0 ? "true" : "false");
}

}  // namespace

int RunHealth(const char* portName, bool json, const PrinterSeams& s) {
  static Report r;  // one per run; kept off the stack
  r = Report();
  const int com = PrinterPortIndex(portName);
  if (com < 0) {
    char shown[kFieldSize];
    fprintf(s.err, "btctl health: %s is no port; PORT is COM1 to COM4\n",
            Printable(portName ? portName : "", shown, sizeof shown));
    return 2;
  }
  snprintf(r.port, sizeof r.port, "COM%d", com + 1);
  BoundPrinter(s.registry, com, r.printer, sizeof r.printer);
  Ask(s, com, &r);
  if (json) {
    PrintJson(r, s.out);
    if (r.failure) fprintf(s.err, "%s: %s\n", r.port, r.failure);
  } else {
    PrintText(r, r.failure ? s.err : s.out);
  }
  fflush(s.out);
  return r.status;
}
