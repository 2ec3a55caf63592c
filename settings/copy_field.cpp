#include <cstring>

#include "settings/settings.h"

void CopyField(char* dst, size_t size, const char* src) {
  if (!dst || size == 0) return;
  size_t n = 0;
  if (src) {
    const void* end = std::memchr(src, '\0', size - 1);
    n = end ? static_cast<size_t>(static_cast<const char*>(end) - src) : size - 1;
  }
  if (n > 0) std::memmove(dst, src, n);
  dst[n] = '\0';
}

void ResetPortToNone(PortSetting& p) {
  CopyField(p.SelHost, "NONE");
  CopyField(p.Selprt, "NONE");
  CopyField(p.QueryPrt[0], "NONE");
  CopyField(p.HostVrsn, "NONE");
}
