// The watch's changes as Windows Event Log entries (source "Quorvex", Application log), for
// the collectors a shop's operators already run. One entry per link going up or down (a
// down link whose reason changes is no new entry), of fixed IDs whose
// texts live in btctl.exe's message table (event_messages.mc). A port whose link flaps gives
// at most kEventsPerMinute link entries in a minute, then one summary at the minute's end.
#pragma once
#include <cstdint>

#include "tools/btctl/watch_command.h"

enum EventId : uint32_t {
  kEventServiceStarted = 1,
  kEventServiceStopped = 2,
  kEventLinkUp = 10,
  kEventLinkDown = 11,
  kEventReconnected = 12,
  kEventFlapSummary = 13,
  kEventUnreadable = 20,
  kEventReadableAgain = 21,
};

enum class EventKind { Information, Warning, Error };

// Where entries go: ReportEventA on Windows; tests keep them.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // strings: the entry's inserts, %1 to %count in its message.
  virtual void Report(EventKind kind, EventId id, const char* const* strings, int count) = 0;
};

constexpr int kEventsPerMinute = 3;
constexpr uint64_t kEventWindowMs = 60000;

class EventLogWatch : public WatchObserver {
 public:
  explicit EventLogWatch(EventSink& sink) : sink_(sink) {}
  void OnLinkChange(uint64_t nowMs, int port, uint32_t from, uint32_t to, const char* bound,
                    int triesBefore) override;
  void OnProblems(uint64_t nowMs, const TerminalReading& reading) override;
  void OnPass(uint64_t nowMs, const TerminalReading& reading,
              const char* const bound[kPortCount]) override;

 private:
  struct Window {
    uint64_t startMs = 0;
    int logged = 0;
    int held = 0;           // changes not logged one by one in this window
    uint32_t state = 0;     // the latest state, for the summary
  };
  // Ends a window that is over, with its summary when changes were held back.
  void EndWindow(uint64_t nowMs, int port);

  EventSink& sink_;
  Window window_[kPortCount];
  bool problemsLogged_ = false;
};
