// Safe replacement on the host: a temporary file of a unique name (mkstemp) in the same
// folder, given the target's permissions and owner, then a rename, which replaces the
// target in one step or not at all.
#include "platform/file_replace.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform {
namespace {

bool WriteAll(int fd, const void* bytes, size_t len) {
  const char* p = static_cast<const char*>(bytes);
  while (len > 0) {
    ssize_t n = write(fd, p, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteInPlace(const char* target, const void* bytes, size_t len) {
  int fd = open(target, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes, len);
  return close(fd) == 0 && ok;
}

// The new file takes the old one's permissions and, where the user may give it, its
// owner; a first save gets what a plain create would give.
void TakeIdentity(int fd, const char* target) {
  struct stat old;
  if (stat(target, &old) != 0) {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    return;
  }
  fchmod(fd, old.st_mode & 07777);
  if (fchown(fd, old.st_uid, old.st_gid) != 0) {
    // Only a privileged user may give a file away; the file stays the saver's.
  }
}

}  // namespace

bool WriteFileReplacing(const char* target, const void* bytes, size_t len) {
  if (!target || (!bytes && len > 0)) return false;
  char tmp[4096];
  int n = std::snprintf(tmp, sizeof tmp, "%s.XXXXXX", target);
  if (n < 0 || static_cast<size_t>(n) >= sizeof tmp) return false;

  // A folder that takes no new files still lets a writable file be written in place.
  int fd = mkstemp(tmp);
  if (fd < 0) return WriteInPlace(target, bytes, len);
  TakeIdentity(fd, target);
  bool ok = WriteAll(fd, bytes, len);
  ok = close(fd) == 0 && ok;
  if (ok && std::rename(tmp, target) == 0) return true;
  unlink(tmp);
  return false;
}

}  // namespace platform
