// The monitor reader thread and its start and stop.
#pragma once
#include "library/mendalix_state.h"

// Thread body: reads monitor text from st.ReaderDevice until StopThread is set.
void ReadCom(void* state);

// Starts the reader unless one runs already; a start after a stop clears StopThread.
void StartReader(MendalixState& st);

// Tells the reader to end and completes its pending read: the stop-monitor request goes to
// the call's device and, when that is another one, to the device the reader reads.
void SignalReaderStop(MendalixState& st);

// Waits, bounded, while the reader is inside its read.
void WaitReadNotPending(MendalixState& st);
