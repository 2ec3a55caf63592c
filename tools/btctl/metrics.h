// The links in the Prometheus text format, for the monitoring a shop's fleet already has
// (an exporter's text-file collector reads the file the service keeps):
//   quorvex_link_up{port,printer}            1 when the bound printer's link is up, else 0
//   quorvex_link_state{port}                 the driver's status word (255: none published)
//   quorvex_reconnect_tries_total{port}      connects tried by this watch
//   quorvex_link_changes_total{port}         changes of the state this watch saw
//   quorvex_watch_last_pass_timestamp_seconds
// Each with its HELP and TYPE lines. Label values are printable ASCII, escaped as the format
// asks, whatever the settings file holds.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tools/btctl/watch_command.h"

constexpr size_t kMetricsSize = 4096;

struct LinkCounters {
  uint64_t tries[kPortCount] = {};
  uint64_t changes[kPortCount] = {};
};

// Writes the metrics of one reading to out (always terminated). bound names each port's
// printer ("NONE": not bound, no link_up line). counters null: the counters are left out
// (a one-off reading has none). Returns the length written.
size_t FormatMetrics(const TerminalReading& reading, const char* const bound[kPortCount],
                     const LinkCounters* counters, uint64_t unixSeconds, char* out, size_t size);

// The metrics file of a watch: replaced whole after each pass.
class MetricsFile : public WatchObserver {
 public:
  // unixSeconds: the wall clock, for the last-pass time.
  MetricsFile(const char* path, uint64_t (*unixSeconds)());
  void OnLinkChange(uint64_t, int port, uint32_t, uint32_t, const char*, int) override;
  void OnTry(uint64_t, int port, uint32_t) override;
  void OnPass(uint64_t, const TerminalReading& reading, const char* const bound[kPortCount]) override;
  // Passes whose file could not be replaced.
  int failures = 0;

 private:
  char path_[260];
  uint64_t (*unixSeconds_)();
  LinkCounters counters_;
};
