// The file versions a test receipt names: the library beside btctl and the driver in the
// system's drivers folder, as "Mendalix.dll 1.0.0.4".
#pragma once
#include <cstddef>

void ComponentVersions(char* library, char* driver, size_t size);
