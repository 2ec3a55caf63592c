// The Windows lock: a CRITICAL_SECTION in the Lock's own storage.
#include <windows.h>

#include "platform/thread.h"

namespace platform {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "Lock storage too small for a CRITICAL_SECTION");

static CRITICAL_SECTION* AsSection(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

Lock::Lock() { InitializeCriticalSection(AsSection(storage_)); }
Lock::~Lock() { DeleteCriticalSection(AsSection(storage_)); }
void Lock::Acquire() { EnterCriticalSection(AsSection(storage_)); }
void Lock::Release() { LeaveCriticalSection(AsSection(storage_)); }

}  // namespace platform
