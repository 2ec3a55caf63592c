// Host threads: std::thread, handed out as a small record the caller joins or releases.
#include <dlfcn.h>
#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/thread.h"

namespace platform {
namespace {

struct HostThread {
  std::thread t;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  bool released = false;   // the owner forgot it while it ran: the thread frees it at its end
};

// Marks the thread ended on every way out, also through ExitCurrent's unwinding.
struct EndMark {
  HostThread* ht;
  ~EndMark() {
    bool freeIt;
    {
      std::lock_guard<std::mutex> lk(ht->m);
      ht->done = true;
      freeIt = ht->released;
      ht->cv.notify_all();
    }
    if (freeIt) delete ht;
  }
};

class HostThreads : public ThreadApi {
 public:
  ThreadHandle Start(void (*fn)(void*), void* arg) override {
    auto* ht = new HostThread;
    try {
      ht->t = std::thread([ht, fn, arg] {
        EndMark mark{ht};
        fn(arg);
      });
    } catch (...) {
      delete ht;
      return nullptr;
    }
    return ht;
  }

  bool Join(ThreadHandle t, uint32_t ms) override {
    auto* ht = static_cast<HostThread*>(t);
    if (!ht) return true;
    std::unique_lock<std::mutex> lk(ht->m);
    return ht->cv.wait_for(lk, std::chrono::milliseconds(ms), [&] { return ht->done; });
  }

  void Release(ThreadHandle t) override {
    auto* ht = static_cast<HostThread*>(t);
    if (!ht) return;
    {
      std::lock_guard<std::mutex> lk(ht->m);
      if (!ht->done) {
        ht->released = true;
        ht->t.detach();
        return;
      }
    }
    ht->t.join();
    delete ht;
  }

  void ExitCurrent(uint32_t code) override {
    pthread_exit(reinterpret_cast<void*>(static_cast<uintptr_t>(code)));
  }

  // The shared object that holds this code is opened once more, never to be unloaded.
  void KeepModuleLoaded() override {
    Dl_info self;
    if (dladdr(reinterpret_cast<void*>(&SystemThreads), &self) && self.dli_fname)
      dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }
};

}  // namespace

ThreadApi& SystemThreads() {
  // Never destroyed: a library's unload may still use it after the statics have gone.
  static HostThreads* threads = new HostThreads;
  return *threads;
}

}  // namespace platform
