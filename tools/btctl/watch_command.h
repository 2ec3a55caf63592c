// btctl watch: the four links as they change, and with reconnect, links that come back by
// themselves after a printer was switched off or carried out of range.
//
// Once a second it reads the driver's four states and the settings file, and prints one
// timestamped line per change in the setup program's words. With reconnect, a bound port
// whose link is down is connected again with the library's BT_OnConnect(port, printer):
// at once, then after 1, 2, 4 ... up to 60 s between tries while it keeps failing; the
// back-off starts over once the driver shows the link up. A port without a bound printer is
// never touched; a port that has no control device is tried again after the longest step,
// 60 s, since its dongle may be plugged in later.
// A settings file that changes is read again, so a binding made in the setup program is
// followed.
//
// All time comes from the clock seam, so a test runs the loop on a virtual clock. The stop
// flag is looked at between library calls and while waiting, never during a call. Given a
// wait seam (the service's stop event), the loop sleeps until its next pass or try, about
// once a second when nothing changes, and a stop or a nudge to try now cuts the wait short.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "platform/clock.h"
#include "platform/registry.h"
#include "tools/btctl/terminal_reading.h"

constexpr uint32_t kWatchPassMs = 1000;      // one look at the states a second
constexpr uint32_t kFirstRetryGapMs = 1000;  // after the first failed try
constexpr uint32_t kMaxRetryGapMs = 60000;   // the back-off stops growing here
constexpr uint32_t kStopLookMs = 200;        // the stop flag is seen within this

// What a watch reports besides its lines, to the log file, the metrics file and the Event
// Log. Called on the watch's thread; nowMs is the clock seam's time.
class WatchObserver {
 public:
  virtual ~WatchObserver() = default;
  // Each line as written, its time stamp first, without the line end.
  virtual void OnLine(const char* line) { (void)line; }
  // The driver's state for port (0 for COM1) changed; triesBefore counts the watch's tries
  // since the link was last up (a reconnect when to is 0).
  virtual void OnLinkChange(uint64_t nowMs, int port, uint32_t from, uint32_t to,
                            const char* bound, int triesBefore) {
    (void)nowMs, (void)port, (void)from, (void)to, (void)bound, (void)triesBefore;
  }
  virtual void OnTry(uint64_t nowMs, int port, uint32_t word) { (void)nowMs, (void)port, (void)word; }
  // A new set of faults reading the settings file or the driver's values (count 0: none now).
  virtual void OnProblems(uint64_t nowMs, const TerminalReading& reading) {
    (void)nowMs, (void)reading;
  }
  // After each pass: what was read, and each port's bound printer ("NONE" when none).
  virtual void OnPass(uint64_t nowMs, const TerminalReading& reading,
                      const char* const bound[kPortCount]) {
    (void)nowMs, (void)reading, (void)bound;
  }
};

constexpr int kMaxWatchObservers = 3;

struct WatchOptions {
  bool reconnect = false;
  uint32_t forSeconds = 0;        // 0: until stopped
  const char* iniPath = nullptr;  // null: the file "BTiniPath" names
};

struct WatchSeams {
  platform::RegistryApi& registry;
  platform::Clock& clock;
  // The library's BT_OnConnect with plain texts; needed only with reconnect.
  std::function<int32_t(const char* port, const char* address)> connect;
  const std::atomic<int>& stop;   // non-zero: end once the call under way has returned
  FILE* out;
  // Writes the time at the start of each line; null gives seconds since the start, "+12.300".
  void (*stamp)(uint64_t nowMs, uint64_t startMs, char* out, size_t size) = nullptr;
  // Waits at most ms, and less when woken by a stop or a nudge; null: the clock's sleeps,
  // kStopLookMs at a time, so that the stop flag is seen.
  std::function<void(uint32_t ms)> wait = nullptr;
  // Set by a nudge (resume from sleep, the service's own control): the ports that are down
  // are tried at once instead of at the end of their back-off. The watch clears it.
  std::atomic<int>* tryNow = nullptr;
  WatchObserver* observers[kMaxWatchObservers] = {};   // out may be null when one takes the lines
};

// Runs until forSeconds have passed or the stop flag is set. Returns 0.
int RunWatch(const WatchOptions& options, const WatchSeams& seams);
