// Ending a long-running btctl cleanly: Ctrl-C, Ctrl-Break, the console window closing or the
// user logging off (SIGINT, SIGTERM, SIGHUP on the host) set a flag that the command looks
// at between library calls, so that no call is cut half-way and the library is unloaded.
// The service's stop control sets the same flag. Both also signal one event that the watch
// waits on between passes, so that it sleeps whole seconds and still stops at once.
#pragma once
#include <atomic>
#include <cstdint>

// Installs the console's handlers; returns the flag they set.
const std::atomic<int>& StopRequested();
// Says the command has finished and unloaded the library. Windows ends a process whose
// console closes once its handler returns, so that handler waits (a few seconds at most)
// for this before it returns.
void StopHandled();

// The flag without the console's handlers (a service has no console and must outlive a
// user's log-off).
const std::atomic<int>& StopFlag();
// Sets the stop flag and wakes the waiter.
void RequestStop();
// Wakes the waiter with TryNowFlag set: the ports that are down are tried at once.
void RequestTryNow();
std::atomic<int>& TryNowFlag();
// Waits at most ms, returning early once a stop or a nudge is signalled.
void WaitForStopOrNudge(uint32_t ms);
