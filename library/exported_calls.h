// The exported calls as plain functions over one state: the argument check and the five
// calls. The exports themselves (exports.cpp) only bind these to the process's state.
#pragma once
#include <cstddef>
#include <cstdint>

#include "library/mendalix_state.h"

constexpr uint16_t kVtBstr = 8;   // VT_BSTR

// An automation VARIANT as the calls read it: the type at offset 0, the BSTR at offset 8;
// its value part holds two pointers at most (a record), so it is 16 bytes in all in a
// 32-bit process and 24 in a 64-bit one.
struct TextVariant {
  uint16_t vt;
  uint16_t reserved1, reserved2, reserved3;
  union {
    const uint16_t* bstrVal;
    unsigned char pad[2 * sizeof(void*)];
  };
};
static_assert(offsetof(TextVariant, bstrVal) == 8 && sizeof(TextVariant) == 8 + 2 * sizeof(void*),
              "VARIANT layout");

// Result of a call whose port has no control device, or whose port text names no port.
constexpr int32_t kNoDriver = 2;
// Result of a request the driver failed, and of a port whose device has gone.
constexpr int32_t kDongleFailed = 0x10;

// Inside the call lock: takes both texts (narrow or VARIANT form, decided on the port
// argument), selects the port and its device, looking for devices again when the port has
// none. Returns 0; 0x10 for a port whose device has gone; 2 for a port that never had a
// control device (that port's block of the file is reset and the file reread) or for a port
// text naming no port (nothing else changes).
int32_t BT_ChkInputParam(MendalixState& st, const void* port, const void* text);

// The calls, one at a time: each waits for the running one, checks its arguments and, on a
// port with a control device, sends its request. Query, connect and reset return the
// driver's result word, or 0x10 when the driver failed the request and no device of the
// port answers it; monitor the success value of its request.
int32_t CallQuery(MendalixState& st, const void* port, const void* text);
int32_t CallConnect(MendalixState& st, const void* port, const void* text);
int32_t CallMonitor(MendalixState& st, const void* port, const void* text);
int32_t CallReset(MendalixState& st, const void* port, const void* text);
int32_t CallLong(const int32_t* value);
