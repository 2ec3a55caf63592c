// The four command steps the exported calls run on hCtrlDevice with the text in m_sPrt.
#pragma once
#include <cstdint>

#include "library/mendalix_state.h"

// Connect, query and reset return the driver's result word; it starts at 0, so a request
// the driver fails without writing one yields 0.
uint32_t ConnectStep(MendalixState& st);
uint32_t QueryStep(MendalixState& st);
uint32_t ResetStep(MendalixState& st);
// Starts monitoring when m_sPrt holds "MON_ON" anywhere, otherwise stops it; returns the
// success value of the monitor request.
int MonitorStep(MendalixState& st);
