// ReadableBytes from the process's page map (VirtualQuery): committed pages whose protection
// allows reading, region by region.
#include <windows.h>

#include "platform/memory.h"

namespace platform {

size_t ReadableBytes(const void* p, size_t want) {
  const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                         PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  const char* at = static_cast<const char*>(p);
  size_t got = 0;
  while (at && got < want) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(at, &info, sizeof info) != sizeof info) break;
    if (info.State != MEM_COMMIT || !(info.Protect & readable) || (info.Protect & PAGE_GUARD)) break;
    const char* end = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    got += static_cast<size_t>(end - at);
    at = end;
  }
  return got < want ? got : want;
}

}  // namespace platform
