// The request routines: one driver request each, sent on hCtrlDevice with m_sPrt as input.
#pragma once
#include <cstdint>

#include "library/mendalix_state.h"

// Each returns the request's success value (non-zero = the driver completed it).
int MyPCON(MendalixState& st, uint32_t* resultWord);
int MyPINQ(MendalixState& st, uint32_t* resultWord);
int MyRESET(MendalixState& st, uint32_t* resultWord);
int MyMONITOR(MendalixState& st);
// Asks device h which COM index it serves; *comIndex is preset to 255 and holds the answer.
int MyGetComIndx(MendalixState& st, platform::DeviceHandle h, uint32_t* comIndex);
// Completes a read pending on device h.
int MyStopMonitor(MendalixState& st, platform::DeviceHandle h);
