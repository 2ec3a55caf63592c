#include "tools/btctl/event_log.h"

#include <cstdio>
#include <cstring>

#include "tools/btctl/result_text.h"

void EventLogWatch::EndWindow(uint64_t nowMs, int port) {
  Window& w = window_[port];
  if (w.startMs == 0 || nowMs - w.startMs < kEventWindowMs) return;
  if (w.held) {
    char name[16], count[12], words[96];
    snprintf(name, sizeof name, "COM%d", port + 1);
    snprintf(count, sizeof count, "%d", w.held);
    snprintf(words, sizeof words, "%s (%s, state 0x%X)", LinkWords(w.state), StateLabel(w.state),
             static_cast<unsigned>(w.state));
    const char* strings[] = {name, count, words};
    sink_.Report(EventKind::Warning, kEventFlapSummary, strings, 3);
  }
  w = Window();
}

void EventLogWatch::OnLinkChange(uint64_t nowMs, int port, uint32_t from, uint32_t to,
                                 const char* bound, int triesBefore) {
  EndWindow(nowMs, port);
  Window& w = window_[port];
  w.state = to;   // for a summary
  // News is a link going up or down, or the first look finding it down; a down link whose
  // reason changes (a failed try) is not.
  if ((from == 0) == (to == 0) && (from != LINK_STATE_NONE || to == LINK_STATE_NONE)) return;
  if (w.startMs == 0) w.startMs = nowMs ? nowMs : 1;
  if (w.logged >= kEventsPerMinute) {
    ++w.held;
    return;
  }
  ++w.logged;
  char name[16], printer[kFieldSize], words[96], tries[12];
  snprintf(name, sizeof name, "COM%d", port + 1);
  Printable(bound, printer, sizeof printer);
  snprintf(words, sizeof words, "%s (%s, state 0x%X)", LinkWords(to), StateLabel(to),
           static_cast<unsigned>(to));
  snprintf(tries, sizeof tries, "%d", triesBefore);
  const char* strings[] = {name, printer, words, tries};
  if (to == 0 && triesBefore > 0)
    sink_.Report(EventKind::Information, kEventReconnected, strings, 4);
  else if (to == 0)
    sink_.Report(EventKind::Information, kEventLinkUp, strings, 3);
  else
    sink_.Report(EventKind::Warning, kEventLinkDown, strings, 3);
}

void EventLogWatch::OnProblems(uint64_t, const TerminalReading& t) {
  if (t.problemCount == 0) {
    if (problemsLogged_) sink_.Report(EventKind::Information, kEventReadableAgain, nullptr, 0);
    problemsLogged_ = false;
    return;
  }
  char all[kMaxProblems * (kProblemSize + 2)] = "";
  for (int i = 0; i < t.problemCount; ++i) {
    if (i) strncat(all, "\r\n", sizeof all - strlen(all) - 1);
    strncat(all, t.problems[i], sizeof all - strlen(all) - 1);
  }
  const char* strings[] = {all};
  sink_.Report(EventKind::Error, kEventUnreadable, strings, 1);
  problemsLogged_ = true;
}

void EventLogWatch::OnPass(uint64_t nowMs, const TerminalReading&, const char* const*) {
  for (int i = 0; i < kPortCount; ++i) EndWindow(nowMs, i);
}
