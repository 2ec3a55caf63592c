// The serial ports through which btctl talks to printers: the system's on Windows. On the
// host, the simulated driver plug-in named by MENDALIX_DEVICES lends its ports (null when
// there is none: then no port exists).
#pragma once
#include "platform/serial_line.h"

platform::SerialLineApi* PrinterLine();
