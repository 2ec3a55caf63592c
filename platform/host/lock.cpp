// The host lock: a std::mutex built in the Lock's own storage.
#include <mutex>
#include <new>

#include "platform/thread.h"

namespace platform {

static_assert(sizeof(std::mutex) <= 64, "Lock storage too small for std::mutex");

static std::mutex& AsMutex(unsigned char* storage) {
  return *std::launder(reinterpret_cast<std::mutex*>(storage));
}

Lock::Lock() { new (storage_) std::mutex(); }
Lock::~Lock() { AsMutex(storage_).~mutex(); }
void Lock::Acquire() { AsMutex(storage_).lock(); }
void Lock::Release() { AsMutex(storage_).unlock(); }

}  // namespace platform
