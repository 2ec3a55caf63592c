#include "tools/btctl/log_file.h"

#include <cstdio>
#include <cstring>

bool LogFile::Open(const char* path, const char** why) {
  if (strlen(path) + 3 > sizeof path_) {
    *why = "is too long a path";
    return false;
  }
  snprintf(path_, sizeof path_, "%s", path);
  file_ = OpenToAppend(path_, &size_, why);
  return file_ != nullptr;
}

void LogFile::OnLine(const char* line) {
  if (!file_) return;
  char text[1024];
  int n = snprintf(text, sizeof text, "%s\r\n", line);
  size_t len = n < 0 ? 0 : (static_cast<size_t>(n) < sizeof text ? n : sizeof text - 1);
  if (size_ > 0 && size_ + len > cap_) {
    CloseFile(file_);
    file_ = nullptr;
    char older[kLogPathSize + 2];
    snprintf(older, sizeof older, "%s.1", path_);
    // A reader holding the file open may keep it from moving: it grows on for now, and the
    // next line tries again.
    MoveOver(path_, older);
    const char* why = "";
    if (!(file_ = OpenToAppend(path_, &size_, &why))) return;   // replaced by a link: no more lines
  }
  if (AppendTo(file_, text, len)) size_ += len;
}
