#include "tests/support/fake_process.h"
#include "tests/support/copy_out.h"

#include <algorithm>
#include <cstdint>

namespace platform {

size_t FakeProcess::GetModuleFileName(char* out, size_t size) { return CopyOut(modulePath, out, size); }
size_t FakeProcess::GetSystemDirectory(char* out, size_t size) { return CopyOut(systemDirectory, out, size); }

unsigned FakeProcess::WinExec(const char* cmd, int show) {
  started.emplace_back(cmd, show);
  return 33;
}

size_t FakeProcess::LoadString(int id, char* out, size_t size) {
  auto it = strings.find(id);
  return CopyOut(it == strings.end() ? std::string() : it->second, out, size);
}

void* FakeProcess::LoadIcon(int id) { return reinterpret_cast<void*>(static_cast<uintptr_t>(0x7700 + id)); }

}  // namespace platform
