#include "tools/btctl/printer_talk.h"

#include <cstring>

#include "protocol/escpos.h"
#include "tools/btctl/terminal_reading.h"

namespace {

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;
constexpr uint8_t kStatusN[3] = {ESCPOS_STATUS_PRINTER, ESCPOS_STATUS_OFFLINE, ESCPOS_STATUS_PAPER};

}  // namespace

bool PrinterStatus::Answered() const {
  for (Answer a : answer)
    if (a != Answer::kAnswered) return false;
  return true;
}

int PrinterPortIndex(const char* name) {
  if (!name || std::strncmp(name, "COM", 3) != 0) return -1;
  if (name[3] < '1' || name[3] > '4' || name[4] != '\0') return -1;
  return name[3] - '1';
}

void BoundPrinter(platform::RegistryApi& registry, int comIndex, char* out, size_t size) {
  static TerminalReading t;  // large (the settings); one command reads it once
  t = TerminalReading();
  ReadTerminal(registry, nullptr, &t);
  out[0] = '\0';
  if (t.settingsRead && comIndex >= 0 && comIndex < kPortCount && IsBound(t.settings.Port[comIndex]))
    Printable(t.settings.Port[comIndex].Selprt, out, size);
}

platform::LineOpen PrinterTalk::Open(int comIndex) {
  Close();
  if (!s_.line) return platform::LineOpen::kNoSuchPort;
  char name[24];
  std::snprintf(name, sizeof name, "\\\\.\\COM%d", comIndex + 1);
  platform::LineOpen result = platform::LineOpen::kNoSuchPort;
  h_ = s_.line->OpenLine(name, &result);
  if (h_ == platform::InvalidComm()) return result == platform::LineOpen::kOpened
                                                ? platform::LineOpen::kNoSuchPort
                                                : result;
  // A read returns as soon as a byte is there, or after one slice; a write the link does
  // not take ends after kWriteWaitMs.
  platform::CommTimeouts t;
  t.ReadIntervalTimeout = kMaxDword;
  t.ReadTotalTimeoutMultiplier = kMaxDword;
  t.ReadTotalTimeoutConstant = kReadSliceMs;
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = kWriteWaitMs;
  s_.line->SetLineTimeouts(h_, t);
  s_.line->PurgeLine(h_);
  return platform::LineOpen::kOpened;
}

void PrinterTalk::Close() {
  if (h_ != platform::InvalidComm() && s_.line) s_.line->CloseLine(h_);
  h_ = platform::InvalidComm();
}

bool PrinterTalk::Send(const void* data, uint32_t len, uint32_t* sent) {
  uint32_t n = 0;
  if (h_ == platform::InvalidComm() || !s_.line->WriteLine(h_, data, len, &n)) n = 0;
  if (n > len) n = len;
  *sent = n;
  return n == len;
}

template <typename Find>
Answer PrinterTalk::Await(uint32_t waitMs, uint32_t* ms, Find find) {
  const uint64_t start = s_.clock.NowMs();
  for (;;) {
    if (find(buf_, have_)) {
      *ms = static_cast<uint32_t>(s_.clock.NowMs() - start);
      return Answer::kAnswered;
    }
    uint64_t waited = s_.clock.NowMs() - start;
    *ms = static_cast<uint32_t>(waited);
    if (s_.stop.load()) return Answer::kStopped;
    if (waited >= waitMs) return Answer::kSilent;
    if (have_ == sizeof buf_) {
      // A line full of bytes that are no answer: keep the tail, where an answer may begin.
      std::memmove(buf_, buf_ + sizeof buf_ - 64, 64);
      have_ = 64;
    }
    uint32_t got = 0;
    const uint64_t before = s_.clock.NowMs();
    if (!s_.line->ReadLine(h_, buf_ + have_, static_cast<uint32_t>(sizeof buf_ - have_), &got))
      got = 0;
    if (got > sizeof buf_ - have_) got = 0;
    have_ += got;
    // A read that came back empty at once (its time-outs ignored) still costs one slice.
    if (got == 0 && s_.clock.NowMs() == before) s_.clock.Sleep(kReadSliceMs);
  }
}

Answer PrinterTalk::Ask(const uint8_t* request, uint32_t len, uint32_t* ms) {
  *ms = 0;
  have_ = 0;  // what came before the question answers nothing of it
  uint32_t sent = 0;
  if (s_.stop.load()) return Answer::kStopped;
  if (!Send(request, len, &sent)) return Answer::kNotSent;
  return Answer::kSilent;
}

void PrinterTalk::AskStatus(PrinterStatus* st) {
  for (int k = 0; k < 3; ++k) {
    const uint8_t request[3] = {ESCPOS_DLE, ESCPOS_EOT, kStatusN[k]};
    uint8_t value = 0;
    Answer a = Ask(request, sizeof request, &st->ms[k]);
    if (a == Answer::kSilent) {
      a = Await(kAnswerMs, &st->ms[k], [&value](unsigned char* b, size_t& n) {
        for (size_t i = 0; i < n; ++i) {
          if (!ESCPOS_IS_STATUS(b[i])) continue;
          value = b[i];
          std::memmove(b, b + i + 1, n - i - 1);
          n -= i + 1;
          return true;
        }
        return false;
      });
    }
    st->answer[k] = a;
    st->byte[k] = value;
    if (a != Answer::kAnswered) return;
  }
}

Answer PrinterTalk::AskInfo(uint8_t n, char (&text)[kInfoSize], size_t* len, uint32_t* ms) {
  const uint8_t request[3] = {ESCPOS_GS, ESCPOS_INFO_BYTE, n};
  *len = 0;
  text[0] = '\0';
  Answer a = Ask(request, sizeof request, ms);
  if (a != Answer::kSilent) return a;
  return Await(kAnswerMs, ms, [&](unsigned char* b, size_t& have) {
    for (size_t i = 0; i < have; ++i) {
      if (b[i] != ESCPOS_INFO_HEADER) continue;
      for (size_t j = i + 1; j < have && j - i - 1 <= ESCPOS_INFO_TEXT_MAX; ++j) {
        if (b[j] != 0) continue;
        *len = j - i - 1;
        std::memcpy(text, b + i + 1, *len);
        text[*len] = '\0';
        std::memmove(b, b + j + 1, have - j - 1);
        have -= j + 1;
        return true;
      }
    }
    return false;
  });
}

Answer PrinterTalk::Confirm(const uint8_t (&id)[4], uint32_t* ms) {
  const uint8_t request[ESCPOS_PROCESS_ID_SIZE] = {
      ESCPOS_GS, ESCPOS_PAREN_BYTE, ESCPOS_PROCESS_ID_BYTE, 6, 0, ESCPOS_PROCESS_ID_FN,
      ESCPOS_PROCESS_ID_FN, id[0], id[1], id[2], id[3]};
  Answer a = Ask(request, sizeof request, ms);
  if (a != Answer::kSilent) return a;
  const uint8_t expect[ESCPOS_PROCESS_ID_ANSWER_SIZE] = {
      ESCPOS_PROCESS_ID_ANSWER_0, ESCPOS_PROCESS_ID_ANSWER_1, id[0], id[1], id[2], id[3], 0};
  return Await(kConfirmMs, ms, [&expect](unsigned char* b, size_t& have) {
    for (size_t i = 0; i + sizeof expect <= have; ++i) {
      if (std::memcmp(b + i, expect, sizeof expect) != 0) continue;
      have = 0;
      return true;
    }
    return false;
  });
}
