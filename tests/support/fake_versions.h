// Version records for host tests: a file path either has fixed version words, has a record
// without a root block, or has none (a missing file).
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "platform/file_version.h"

namespace platform {

class FakeVersions : public FileVersionApi {
 public:
  // Gives path the version a.b.c.d (each part 16 bits).
  void Give(const std::string& path, uint32_t a, uint32_t b, uint32_t c, uint32_t d);
  void GiveWithoutRoot(const std::string& path);

  uint32_t GetFileVersionInfoSize(const char* path) override;
  bool GetFileVersionInfo(const char* path, uint32_t size, void* data) override;
  bool QueryFileVersion(const void* data, uint32_t* ms, uint32_t* ls) override;

  int liveBlocks = 0;  // records read into a caller's block; see QueryFileVersion

 private:
  struct Record {
    bool hasRoot;
    uint32_t ms, ls;
  };
  std::map<std::string, Record> files_;
};

}  // namespace platform
