// Safe replacement on the host: "<target>.tmp" in the same folder, then rename, which
// replaces the target in one step or not at all.
#include "platform/file_replace.h"

#include <cstdio>

namespace platform {

bool WriteFileReplacing(const char* target, const void* bytes, size_t len) {
  if (!target || (!bytes && len > 0)) return false;
  char tmp[4096];
  int n = std::snprintf(tmp, sizeof tmp, "%s.tmp", target);
  if (n < 0 || static_cast<size_t>(n) >= sizeof tmp) return false;

  // A temporary path that cannot be created (a folder not writable, or something else in
  // the way) fails the save before the target is touched.
  FILE* file = std::fopen(tmp, "wb");
  if (!file) return false;
  bool ok = len == 0 || std::fwrite(bytes, 1, len, file) == len;
  ok = std::fflush(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  if (ok && std::rename(tmp, target) == 0) return true;
  std::remove(tmp);
  return false;
}

}  // namespace platform
