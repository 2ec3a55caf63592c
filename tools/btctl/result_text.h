// What a result word of the library means, as btctl prints it.
#pragma once
#include <cstdint>
#include <cstdio>

// The meaning of each link status flag in word, one line each ("  0x010 terminal dongle
// failed"); for 0 the success line. Unlisted bits are named as such.
void PrintLinkFlags(FILE* out, uint32_t word);
// The meaning of a monitor result: 2 no driver, non-zero accepted, 0 refused.
void PrintMonitorResult(FILE* out, uint32_t word);
