// The connection-state monitor: once a second it reads the state the driver publishes for
// each port with a known terminal dongle and reports every change to the dialog.
//
// The thread body is MonitorConnectState (a QuorvexProgram member, started by StartMonitor);
// the pieces below are its loop and one polling pass, apart so that a pass can be run and
// measured on its own.
#pragma once

class QuorvexProgram;

// One polling pass over COM1..COM4. For each port whose SelHost begins with '0' it opens the
// driver's Parameters key, reads "COM<n>ConnectState" and, when the value differs from the
// last one seen, stores it, queues the port's result line for the ThreadMsg command, posts
// ThreadMsg and then the state-label command, and plays the connect or disconnect sound when
// sounds are on. Opens the key at most four times and allocates nothing. Returns the number
// of changes reported.
int MonitorPass(QuorvexProgram& dlg);

// The thread's loop: sleep 1000 ms, leave when the stop flag is set, poll, again.
void RunMonitor(QuorvexProgram& dlg);

