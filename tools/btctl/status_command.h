// btctl status: which printer is bound to which port and whether its link is up, in one look.
#pragma once
#include <cstdint>
#include <cstdio>

#include "platform/registry.h"

// Prints the four ports (terminal dongle and version, bound printer, the printers of the last
// query, the driver's link state with the setup program's words for it) as a table, or with
// json as a JSON array of one object per port. iniPath overrides the settings file that
// "BTiniPath" names. Whatever could not be read is one line on err.
// Returns 0 when every bound port is connected, 1 when one is not, 2 when the settings or a
// registry value could not be read (no table when the settings file could not be).
int RunStatus(platform::RegistryApi& registry, const char* iniPath, bool json, FILE* out,
              FILE* err);

// The same reading in the Prometheus text format (metrics.h, without the watch's counters),
// stamped with unixSeconds. The exit status is status's.
int RunStatusPrometheus(platform::RegistryApi& registry, const char* iniPath, uint64_t unixSeconds,
                        FILE* out, FILE* err);
