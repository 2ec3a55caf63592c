#include "tests/support/fake_versions.h"

#include <cstring>

namespace platform {

namespace {
// The block a caller reads a record into: a mark, then the record.
constexpr uint32_t kMark = 0x56455253;  // "VERS"
struct Block {
  uint32_t mark;
  uint32_t hasRoot;
  uint32_t ms, ls;
};
}  // namespace

void FakeVersions::Give(const std::string& path, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  files_[path] = {true, (a << 16) | (b & 0xFFFF), (c << 16) | (d & 0xFFFF)};
}

void FakeVersions::GiveWithoutRoot(const std::string& path) { files_[path] = {false, 0, 0}; }

uint32_t FakeVersions::GetFileVersionInfoSize(const char* path) {
  return files_.count(path) ? sizeof(Block) + 100 : 0;
}

bool FakeVersions::GetFileVersionInfo(const char* path, uint32_t size, void* data) {
  auto it = files_.find(path);
  if (it == files_.end() || size < sizeof(Block)) return false;
  Block b{kMark, it->second.hasRoot, it->second.ms, it->second.ls};
  std::memcpy(data, &b, sizeof b);
  ++liveBlocks;
  return true;
}

bool FakeVersions::QueryFileVersion(const void* data, uint32_t* ms, uint32_t* ls) {
  Block b;
  std::memcpy(&b, data, sizeof b);
  if (b.mark != kMark || !b.hasRoot) return false;
  *ms = b.ms;
  *ls = b.ls;
  return true;
}

}  // namespace platform
