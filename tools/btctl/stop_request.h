// Ending a long-running btctl cleanly: Ctrl-C, Ctrl-Break, the console window closing or the
// user logging off (SIGINT, SIGTERM, SIGHUP on the host) set a flag that the command looks
// at between library calls, so that no call is cut half-way and the library is unloaded.
#pragma once
#include <atomic>

// Installs the handlers; returns the flag they set.
const std::atomic<int>& StopRequested();
// Says the command has finished and unloaded the library. Windows ends a process whose
// console closes once its handler returns, so that handler waits (a few seconds at most)
// for this before it returns.
void StopHandled();
