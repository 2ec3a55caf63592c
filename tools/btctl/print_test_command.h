// btctl print-test COM<n>: does the printer at the end of the port's link print? Asks its
// status first and sends nothing to a printer that cannot print; then a short test receipt
// (the port, the bound printer, date and time, the versions, every printable character),
// feed and cut, and the print confirmation request; success only once the printer says it
// printed everything.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tools/btctl/printer_talk.h"

// The test receipt's ESC/POS bytes into out; returns their count (the whole receipt fits
// kReceiptSize).
constexpr size_t kReceiptSize = 768;
size_t BuildTestReceipt(const char* port, const char* printer, const char* when,
                        const char* library, const char* driver, uint8_t* out, size_t size);

// Exit status: 0 printed and confirmed; 1 the printer did not answer, cannot print (paper
// out, cover open, offline) or did not confirm; 2 the port could not be used (no such port,
// held by another program, a wrong port name). Each outcome is one line.
int RunPrintTest(const char* port, const PrinterSeams& seams);
