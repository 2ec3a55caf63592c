// The reader over bytes already in memory, for callers that hold the file's content
// themselves (the reader's fuzzer hands each input over as an exact-size copy).
#pragma once
#include <cstddef>

#include "settings/settings.h"

// Reads data[0..len) into s exactly as LoadSetting reads a file that it could open.
void LoadSettingFromBuffer(Settings& s, const char* data, size_t len);
