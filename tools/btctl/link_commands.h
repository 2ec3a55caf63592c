// The command lines of btctl status and btctl watch, and what they are wired to in a real
// process: the driver's registry, the system clock, the library loaded by name, Ctrl-C.
#pragma once

// args: what follows the command word. Both return the command's exit status.
int StatusMain(int argc, char** argv);
int WatchMain(const char* dll, int argc, char** argv);
