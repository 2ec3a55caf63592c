// Windows threads: CreateThread at normal priority with the default stack, running at once.
#include <windows.h>

#include <cstdlib>

#include "platform/thread.h"

namespace platform {
namespace {

struct StartPack {
  void (*fn)(void*);
  void* arg;
};

DWORD WINAPI ThreadEntry(LPVOID p) {
  StartPack pack = *static_cast<StartPack*>(p);
  free(p);
  pack.fn(pack.arg);
  return 0;
}

class Win32Threads : public ThreadApi {
 public:
  ThreadHandle Start(void (*fn)(void*), void* arg) override {
    auto* pack = static_cast<StartPack*>(malloc(sizeof(StartPack)));
    if (!pack) return nullptr;
    pack->fn = fn;
    pack->arg = arg;
    HANDLE h = CreateThread(NULL, 0, ThreadEntry, pack, 0, NULL);
    if (!h) {
      free(pack);
      return nullptr;
    }
    return h;
  }
  bool Join(ThreadHandle t, uint32_t ms) override {
    return !t || WaitForSingleObject(static_cast<HANDLE>(t), ms) == WAIT_OBJECT_0;
  }
  void Release(ThreadHandle t) override {
    if (t) CloseHandle(static_cast<HANDLE>(t));
  }
  void ExitCurrent(uint32_t code) override { ExitThread(code); }
};

// Built before any code runs (no guarded local static: the library stays free of the
// runtime's exception support).
Win32Threads theThreads;

}  // namespace

ThreadApi& SystemThreads() { return theThreads; }

}  // namespace platform
