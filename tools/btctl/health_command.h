// btctl health COM<n> [--json]: what the printer at the end of the port's link says of
// itself: online or offline, its paper (ok, near its end, out), its cover, an error, and its
// firmware, maker and model (or "unsupported" when it does not tell), each with the time
// its answer took.
#pragma once
#include "tools/btctl/printer_talk.h"

// Exit status: 0 the printer can print (paper near its end is a warning, not a fault);
// 1 it cannot, or did not answer; 2 it could not be asked (a wrong port name, no such port,
// the port held by another program, or a link that takes nothing). With json the report
// is one JSON object, also when the printer could not be asked.
int RunHealth(const char* port, bool json, const PrinterSeams& seams);
