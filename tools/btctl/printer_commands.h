// The command lines of btctl print-test and btctl health, and what they are wired to in a
// real process: the serial ports, the system clock, the driver's registry, Ctrl-C.
#pragma once

// args: what follows the command word. Both return the command's exit status.
int PrintTestMain(int argc, char** argv);
int HealthMain(int argc, char** argv);
