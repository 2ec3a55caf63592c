// Copies a host-side text into a caller's fixed buffer the way the Win32 calls do: cut to
// fit, always terminated; returns the characters copied.
#pragma once
#include <algorithm>
#include <cstddef>
#include <string>

namespace platform {

inline size_t CopyOut(const std::string& s, char* out, size_t size) {
  if (size == 0) return 0;
  size_t n = std::min(s.size(), size - 1);
  s.copy(out, n);
  out[n] = '\0';
  return n;
}

}  // namespace platform
