// The host: O_NOFOLLOW refuses a symbolic link, the link count a second name, rename
// replaces a name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/btctl/safe_files.h"

struct SafeFile {
  int fd;
};

SafeFile* OpenToAppend(const char* path, uint64_t* size, const char** why) {
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    *why = "cannot be opened, or is a link; not followed";
    return nullptr;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1) {
    close(fd);
    *why = "is a link or has another name; not followed";
    return nullptr;
  }
  *size = static_cast<uint64_t>(st.st_size);
  return new SafeFile{fd};
}

bool AppendTo(SafeFile* f, const void* bytes, size_t len) {
  return write(f->fd, bytes, len) == static_cast<ssize_t>(len);
}

void CloseFile(SafeFile* f) {
  if (!f) return;
  close(f->fd);
  delete f;
}

bool MoveOver(const char* from, const char* to) { return rename(from, to) == 0; }

bool ReplaceWhole(const char* path, const void* bytes, size_t len) {
  std::string temp = std::string(path) + ".XXXXXX";
  int fd = mkstemp(&temp[0]);
  if (fd < 0) return false;
  bool ok = write(fd, bytes, len) == static_cast<ssize_t>(len) && fsync(fd) == 0;
  fchmod(fd, 0644);
  ok = close(fd) == 0 && ok && MoveOver(temp.c_str(), path);
  if (!ok) unlink(temp.c_str());
  return ok;
}

bool MakeServiceFolder(const char* folder, const char* const*, const char** why) {
  if (mkdir(folder, 0755) != 0 && errno != EEXIST) {
    *why = "cannot be created";
    return false;
  }
  struct stat st {};
  if (lstat(folder, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
      chmod(folder, 0755) != 0) {
    *why = "is not a plain folder of ours";
    return false;
  }
  return true;
}
