// The port map: which control device serves which COM port. Built when the library loads,
// and looked for again when a port's device stops answering or a call names a port that
// has none, so that a dongle plugged back or a restarted driver is found without a reload.
#pragma once
#include "library/mendalix_state.h"

// The port map, read from the device records: the number of the device serving COM index
// port (-1: none), its handle (null: none) and its name ("": none).
int PortDevice(const MendalixState& st, int port);
platform::DeviceHandle ComPortMapHandle(const MendalixState& st, int port);
const char* ComPortMapName(const MendalixState& st, int port);

// The start-up's steps for device number n: open it (the handle stays in hCtrlDevice), ask
// its COM index and map it, then switch it to monitoring with "MON_ON" in m_sPrt. A later
// device reporting a port takes the entry; the earlier one stays open until the unload.
// False when the device is absent or names no port (it is then closed).
bool OpenAndMapDevice(MendalixState& st, int n);

// One new look, at most once per call (LookedThisCall): the device of COM index `port`
// (-1: none) is asked its COM index and dropped when it no longer answers; then every device
// number not held open gets the start-up's steps. A device that still answers keeps its
// handle and its port. The call's m_sPrt is kept; hCtrlDevice is left on the port's device,
// or invalid when the port has none.
// True when the port's device is one this look opened: the port had none, or its device was
// dropped, and a device opened now serves it. Handle values cannot tell this, since a handle
// closed and opened again usually comes back with the same value.
bool LookAgainForDevices(MendalixState& st, int port);
