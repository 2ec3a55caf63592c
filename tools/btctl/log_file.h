// The watch's lines in a file, for a watch nobody looks at (the service, or a console watch
// with --log FILE): the same lines as the console shows, capped in size. When the next line
// would take the file past its cap, the file becomes FILE.1 (replacing the one before) and a
// new FILE starts, so that at most twice the cap is ever kept.
#pragma once
#include <cstdint>

#include "tools/btctl/safe_files.h"
#include "tools/btctl/watch_command.h"

constexpr uint64_t kLogCapBytes = 1024 * 1024;
constexpr int kLogPathSize = 260;

class LogFile : public WatchObserver {
 public:
  explicit LogFile(uint64_t capBytes = kLogCapBytes) : cap_(capBytes) {}
  ~LogFile() override { CloseFile(file_); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // False, with the reason in *why, when the file cannot be opened safely (see safe_files.h).
  bool Open(const char* path, const char** why);
  void OnLine(const char* line) override;

 private:
  uint64_t cap_;
  uint64_t size_ = 0;
  char path_[kLogPathSize] = "";
  SafeFile* file_ = nullptr;
};
