#include "tools/btctl/watch_command.h"

#include <cinttypes>
#include <cstdarg>
#include <cstring>

#include "tools/btctl/result_text.h"
#include "tools/btctl/terminal_reading.h"

namespace {

constexpr int32_t kNoControlDevice = 2;   // the library's answer for a port without a device

struct PortWatch {
  uint32_t seen = LINK_STATE_NONE;      // the state last reported; like the program, none at first
  char bound[kFieldSize] = "NONE";
  bool down = false;             // bound and down: tries are due
  uint64_t nextTryMs = 0;
  uint32_t gapMs = 0;            // 0 until a try has failed
  int tries = 0;                 // since the link was last up
  void StartOver() {
    down = false;
    gapMs = 0;
    tries = 0;
  }
};

class Watcher {
 public:
  Watcher(const WatchOptions& o, const WatchSeams& s) : o_(o), s_(s) {}

  int Run() {
    start_ = s_.clock.NowMs();
    Line("watching the links of COM1 to COM4 once a second%s",
         o_.reconnect ? "; bound ports that are down are connected again" : "");
    const uint64_t end = o_.forSeconds ? start_ + o_.forSeconds * 1000ull : UINT64_MAX;
    uint64_t nextPass = start_;
    for (;;) {
      if (Stopping()) {
        Line("watch stopped");
        return 0;
      }
      uint64_t now = s_.clock.NowMs();
      if (now >= end) {
        Line("watch ended after %u s", static_cast<unsigned>(o_.forSeconds));
        return 0;
      }
      if (now >= nextPass) {
        Pass(now);
        nextPass += kWatchPassMs;
        if (nextPass <= now) nextPass = now + kWatchPassMs;  // a slow pass skips a look
      }
      uint64_t wake = nextPass < end ? nextPass : end;
      for (int i = 0; i < kPortCount && !Stopping(); ++i) {
        if (port_[i].down && s_.clock.NowMs() >= port_[i].nextTryMs) Try(i);
        if (port_[i].down && port_[i].nextTryMs < wake) wake = port_[i].nextTryMs;
      }
      now = s_.clock.NowMs();
      if (wake > now && !Stopping()) {
        uint64_t ms = wake - now;
        if (s_.wait)
          s_.wait(static_cast<uint32_t>(ms < kWatchPassMs ? ms : kWatchPassMs));
        else
          s_.clock.Sleep(static_cast<uint32_t>(ms < kStopLookMs ? ms : kStopLookMs));
      }
      if (s_.tryNow && s_.tryNow->exchange(0)) {
        now = s_.clock.NowMs();
        for (PortWatch& p : port_)
          if (p.down) p.nextTryMs = now;
      }
    }
  }

 private:
  bool Stopping() const { return s_.stop.load() != 0; }

  void Line(const char* format, ...) {
    char stamp[40], text[512];
    uint64_t now = s_.clock.NowMs();
    if (s_.stamp) {
      s_.stamp(now, start_, stamp, sizeof stamp);
    } else {
      uint64_t ms = now - start_;
      snprintf(stamp, sizeof stamp, "+%" PRIu64 ".%03u", ms / 1000, static_cast<unsigned>(ms % 1000));
    }
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (s_.out) {
      fprintf(s_.out, "%s %s\n", stamp, text);
      fflush(s_.out);
    }
    char line[sizeof stamp + sizeof text + 1];
    snprintf(line, sizeof line, "%s %s", stamp, text);
    for (WatchObserver* o : s_.observers)
      if (o) o->OnLine(line);
  }

  // Each new set of faults is reported once, not once a second.
  void ReportProblems() {
    char all[sizeof reported_] = "";
    for (int i = 0; i < reading_.problemCount; ++i) {
      strncat(all, reading_.problems[i], sizeof all - strlen(all) - 1);
      strncat(all, "\n", sizeof all - strlen(all) - 1);
    }
    if (strcmp(all, reported_) == 0) return;
    for (int i = 0; i < reading_.problemCount; ++i) Line("%s", reading_.problems[i]);
    if (!all[0]) Line("the settings file and the driver's values read without a fault again");
    memcpy(reported_, all, sizeof all);
    for (WatchObserver* o : s_.observers)
      if (o) o->OnProblems(s_.clock.NowMs(), reading_);
  }

  void TakeBindings(const Settings& settings) {
    bool changed = !bindingsShown_;
    for (int i = 0; i < kPortCount; ++i) {
      const char* b = IsBound(settings.Port[i]) ? settings.Port[i].Selprt : "NONE";
      if (strcmp(b, port_[i].bound) == 0) continue;
      CopyField(port_[i].bound, sizeof port_[i].bound, b);
      port_[i].StartOver();
      changed = true;
    }
    if (!changed) return;
    bindingsShown_ = true;
    char list[200] = "", shown[kFieldSize], item[64];
    for (int i = 0; i < kPortCount; ++i) {
      if (strcmp(port_[i].bound, "NONE") == 0) continue;
      snprintf(item, sizeof item, "%sCOM%d to %s", list[0] ? ", " : "", i + 1,
               Printable(port_[i].bound, shown, sizeof shown));
      strncat(list, item, sizeof list - strlen(list) - 1);
    }
    char path[kReadingPathSize];
    Line("settings %s: %s%s", Printable(reading_.iniPath, path, sizeof path),
         list[0] ? "bound " : "no port bound", list);
  }

  void Pass(uint64_t now) {
    ReadTerminal(s_.registry, o_.iniPath, &reading_);
    ReportProblems();
    if (reading_.settingsRead) TakeBindings(reading_.settings);   // else the last ones hold
    for (int i = 0; i < kPortCount; ++i) {
      if (!reading_.stateRead[i]) continue;   // unknown: neither a change nor a reason to try
      PortWatch& p = port_[i];
      uint32_t v = reading_.state[i];
      if (v != p.seen) {
        Line("COM%d: %s (%s, state 0x%X)", i + 1, LinkWords(v), StateLabel(v),
             static_cast<unsigned>(v));
        for (WatchObserver* o : s_.observers)
          if (o) o->OnLinkChange(now, i, p.seen, v, p.bound, p.tries);
        p.seen = v;
      }
      if (v == 0) {
        p.StartOver();
      } else if (o_.reconnect && strcmp(p.bound, "NONE") != 0 && !p.down) {
        p.down = true;
        p.nextTryMs = now;   // the first try at once
      }
    }
    const char* bound[kPortCount];
    for (int i = 0; i < kPortCount; ++i) bound[i] = port_[i].bound;
    for (WatchObserver* o : s_.observers)
      if (o) o->OnPass(now, reading_, bound);
  }

  void Try(int i) {
    PortWatch& p = port_[i];
    char port[8], shown[kFieldSize];
    snprintf(port, sizeof port, "COM%d", i + 1);
    Printable(p.bound, shown, sizeof shown);
    ++p.tries;
    uint32_t word = static_cast<uint32_t>(s_.connect(port, p.bound));
    // Whatever the answer, only the driver's state showing the link up ends the tries. A port
    // without a control device waits the longest step at once: its dongle may yet be
    // plugged in, and nothing else will change before it is.
    if (word == static_cast<uint32_t>(kNoControlDevice))
      p.gapMs = kMaxRetryGapMs;
    else
      p.gapMs = p.gapMs == 0 ? kFirstRetryGapMs
                             : (p.gapMs >= kMaxRetryGapMs / 2 ? kMaxRetryGapMs : p.gapMs * 2);
    p.nextTryMs = s_.clock.NowMs() + p.gapMs;
    for (WatchObserver* o : s_.observers)
      if (o) o->OnTry(s_.clock.NowMs(), i, word);
    if (word == 0) {
      Line("%s: try %d: BT_OnConnect(%s, %s) = 0x0: %s: Connect Ok", port, p.tries, port, shown,
           port);
    } else if (word == static_cast<uint32_t>(kNoControlDevice)) {
      Line("%s: try %d: BT_OnConnect(%s, %s) = 0x2: %s: %s; the port has no control device, "
           "next try in %u s",
           port, p.tries, port, shown, port, LinkWords(word), static_cast<unsigned>(p.gapMs / 1000));
    } else {
      Line("%s: try %d: BT_OnConnect(%s, %s) = 0x%X: %s: %s; next try in %u s", port, p.tries,
           port, shown, static_cast<unsigned>(word), port, LinkWords(word),
           static_cast<unsigned>(p.gapMs / 1000));
    }
  }

  const WatchOptions& o_;
  const WatchSeams& s_;
  uint64_t start_ = 0;
  PortWatch port_[kPortCount];
  TerminalReading reading_;
  char reported_[kMaxProblems * kProblemSize] = "";
  bool bindingsShown_ = false;
};

}  // namespace

int RunWatch(const WatchOptions& options, const WatchSeams& seams) {
  Watcher w(options, seams);
  return w.Run();
}
