#include "tools/btctl/print_test_command.h"

#include <cstring>
#include <initializer_list>

#include "protocol/escpos.h"
#include "tools/btctl/terminal_reading.h"

namespace {

struct Bytes {
  uint8_t* out;
  size_t size;
  size_t len = 0;
  void Put(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes)
      if (len < size) out[len++] = b;
  }
  void Text(const char* text) {
    for (; *text; ++text)
      if (len < size) out[len++] = static_cast<uint8_t>(*text);
  }
  void Line(const char* label, const char* value) {
    Text(label);
    Text(value);
    Put({ESCPOS_LF});
  }
};

// Why a printer that answered cannot print, in a technician's words.
const char* WhyNotPrinting(const PrinterStatus& st) {
  if (st.PaperEnd()) return "paper out";
  if (st.CoverOpen()) return "cover open";
  if (st.Error()) return "the printer reports an error";
  return "the printer is offline";
}

}  // namespace

size_t BuildTestReceipt(const char* port, const char* printer, const char* when,
                        const char* library, const char* driver, uint8_t* out, size_t size) {
  Bytes b{out, size};
  b.Put({ESCPOS_ESC, ESCPOS_INIT_BYTE});
  b.Put({ESCPOS_ESC, ESCPOS_ALIGN_BYTE, 1, ESCPOS_ESC, ESCPOS_BOLD_BYTE, 1});
  b.Line("TEST RECEIPT", "");
  b.Put({ESCPOS_ESC, ESCPOS_BOLD_BYTE, 0});
  b.Line("Wireless printer link", "");
  b.Put({ESCPOS_ESC, ESCPOS_ALIGN_BYTE, 0});
  b.Line("Port:     ", port);
  b.Line("Printer:  ", printer);
  b.Line("Date:     ", when);
  b.Line("Library:  ", library);
  b.Line("Driver:   ", driver);
  b.Put({ESCPOS_LF});
  for (uint8_t c = 0x20; c < 0x7F; ++c) b.Put({c});
  b.Put({ESCPOS_LF});
  b.Put({ESCPOS_ESC, ESCPOS_FEED_BYTE, 3});
  b.Put({ESCPOS_GS, ESCPOS_CUT_BYTE, 0});
  return b.len;
}

int RunPrintTest(const char* portName, const PrinterSeams& s) {
  const int com = PrinterPortIndex(portName);
  char shown[kFieldSize];
  if (com < 0) {
    fprintf(s.err, "btctl print-test: %s is no port; PORT is COM1 to COM4\n",
            Printable(portName ? portName : "", shown, sizeof shown));
    return 2;
  }
  char port[16];
  snprintf(port, sizeof port, "COM%d", com + 1);
  char printer[kFieldSize];
  BoundPrinter(s.registry, com, printer, sizeof printer);

  PrinterTalk talk(s);  // closes the port on every way out
  switch (talk.Open(com)) {
    case platform::LineOpen::kInUse:
      fprintf(s.err, "%s is in use by another program; nothing was sent\n", port);
      return 2;
    case platform::LineOpen::kNoSuchPort:
      fprintf(s.err, "%s: no such serial port (no terminal dongle in it, or the driver is not "
                     "running); nothing was sent\n", port);
      return 2;
    default:
      break;
  }
  PrinterStatus st;
  talk.AskStatus(&st);
  for (Answer a : st.answer) {
    if (a == Answer::kStopped) {
      fprintf(s.err, "%s: stopped; nothing was sent\n", port);
      return 1;
    }
    if (a == Answer::kNotSent) {
      fprintf(s.err, "no answer from the printer on %s (the port took nothing: its link is "
                     "down); nothing was sent\n", port);
      return 1;
    }
  }
  if (!st.Answered()) {
    fprintf(s.err, "no answer from the printer on %s; nothing was sent\n", port);
    return 1;
  }
  if (!st.CanPrint()) {
    fprintf(s.err, "%s: %s; nothing was sent\n", port, WhyNotPrinting(st));
    return 1;
  }

  char when[64] = "", library[96] = "", driver[96] = "";
  s.now(when, sizeof when);
  s.versions(library, driver, sizeof library);
  uint8_t receipt[kReceiptSize];
  const size_t len = BuildTestReceipt(port, printer[0] ? printer : "not bound", when, library,
                                      driver, receipt, sizeof receipt);
  const uint64_t start = s.clock.NowMs();
  uint32_t sent = 0;
  bool whole = talk.Send(receipt, static_cast<uint32_t>(len), &sent);
  // The request's four bytes tell this run's confirmation from an old one's.
  const uint32_t tag = static_cast<uint32_t>(start % 1000);
  const uint8_t id[4] = {'T', static_cast<uint8_t>('0' + tag / 100 % 10),
                         static_cast<uint8_t>('0' + tag / 10 % 10),
                         static_cast<uint8_t>('0' + tag % 10)};
  uint32_t ms = 0;
  Answer confirmed = whole ? talk.Confirm(id, &ms) : Answer::kNotSent;
  talk.Close();
  if (confirmed == Answer::kAnswered) {
    fprintf(s.out, "%s: test receipt printed on %s (%u bytes, confirmed in %u ms)\n", port,
            printer[0] ? printer : "a printer not bound in the settings file",
            static_cast<unsigned>(sent), static_cast<unsigned>(s.clock.NowMs() - start));
    fflush(s.out);
    return 0;
  }
  fprintf(s.err, "%s: sent %u bytes, but the printer did not confirm that it printed them%s\n",
          port, static_cast<unsigned>(sent),
          confirmed == Answer::kStopped ? " (stopped before it answered)" : "");
  return 1;
}
