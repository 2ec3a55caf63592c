// The registry in which the driver publishes its values: the system's on Windows. On the
// host, the simulated driver plug-in named by MENDALIX_DEVICES keeps its key in its own
// memory and lends it out, so that btctl sees what the host library's driver publishes.
#pragma once
#include "platform/registry.h"

platform::RegistryApi& DriverRegistry();
