// The Windows test programs' waits grow with WINE_TIME_SCALE, which the scripts set above 1
// when Wine itself runs under an emulator. Only limits of waiting scale, never a timing that
// a test checks as the system's behaviour.
#pragma once
#include <windows.h>

#include <stdlib.h>

inline DWORD ScaledMs(DWORD ms) {
  char v[16];
  DWORD n = GetEnvironmentVariableA("WINE_TIME_SCALE", v, sizeof v);
  long factor = (n > 0 && n < sizeof v) ? strtol(v, nullptr, 10) : 1;
  if (factor < 1 || factor > 100) factor = 1;
  return ms * static_cast<DWORD>(factor);
}
