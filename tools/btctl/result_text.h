// What a result word of the library means, as btctl prints it; and a link state in the
// setup program's own words, so that a technician reads the same texts in both.
#pragma once
#include <cstdint>
#include <cstdio>

// The meaning of each link status flag in word, one line each ("  0x010 terminal dongle
// failed"); for 0 the success line. Unlisted bits are named as such.
void PrintLinkFlags(FILE* out, uint32_t word);
// The meaning of a monitor result: 2 no driver, 0x10 its device gone, other non-zero
// accepted, 0 refused.
void PrintMonitorResult(FILE* out, uint32_t word);

// Whether one call did what was asked, as btctl's exit status: 0 yes, 1 no. A link call
// did when its word is 0; a drop (connect with "NULL" or "NONE") also when the word says
// only "disconnected", which is how the driver answers it; monitor when the word is non-zero
// and neither 2 nor 0x10 (the port without a control device, or whose device went away);
// long when it answered 3.
int CallExitStatus(const char* command, const char* text, uint32_t word);

// The setup program's words for a link status word, as its status lines give them after
// "COM<n>: ": "Connect Ok", "Disconnect Ok", "Terminal Dongle Failed....", ... (the highest
// listed bit wins; 255, the published "no state", reads as an answer-back failure there).
const char* LinkWords(uint32_t word);
// The text of a port's state label in the setup program: "Conected" for 0, "None" for 255
// (no state), "DisConected" for anything else.
const char* StateLabel(uint32_t state);
