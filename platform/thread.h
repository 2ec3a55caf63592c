// Worker threads and the one lock the logic needs.
//
// Threads: Start runs fn(arg) on a new thread at normal priority with the default stack; the
// returned handle is only for Join/Release and may be ignored. On Windows it returns once the
// thread runs: a new thread first waits for the loader, so one started just before its
// library unloads would otherwise begin in unloaded code.
// ExitCurrent ends the calling thread with an exit code and does not return (AfxEndThread /
// ExitThread on Windows), so that a thread can leave without running more of a module's code.
// ClearAndExit stores 0 in a flag that another thread polls and ends the calling thread
// with code 0; on Windows the store is made by the system, which returns straight into
// ExitThread, so that no code of the calling module runs once the flag reads 0.
// HoldThisModule takes a reference on the module that holds this code, as LoadLibrary would
// (GetModuleHandleExA from an address inside it, on Windows), so that a thread it starts keeps
// the module loaded while it runs; ReleaseModuleAndExit drops that reference and ends the
// calling thread in one step (FreeLibraryAndExitThread), so the module can go only once the
// thread has left it. ReleaseModule drops a reference a thread never came to hold.
// KeepModuleLoaded pins the module that holds this code for the rest of the process
// (GetModuleHandleExA with GET_MODULE_HANDLE_EX_FLAG_PIN on Windows), for a thread that
// may still come to run in it after the module's unload.
#pragma once
#include <atomic>
#include <cstdint>

namespace platform {

using ThreadHandle = void*;

class ThreadApi {
 public:
  virtual ~ThreadApi() = default;
  virtual ThreadHandle Start(void (*fn)(void*), void* arg) = 0;   // null on failure
  // Waits up to ms for the thread to end; true when it has. Must not be called where the
  // platform forbids waiting for threads (a Windows DLL's detach, under the loader lock).
  virtual bool Join(ThreadHandle t, uint32_t ms) = 0;
  virtual void Release(ThreadHandle t) = 0;                      // forget the handle
  // Ends the calling thread (ExitThread on Windows). The system implementations do not
  // return; a test's fake may, so a caller returns at once after it.
  virtual void ExitCurrent(uint32_t code) { (void)code; }
  virtual void ClearAndExit(std::atomic<int32_t>& flag) {
    flag.store(0);
    ExitCurrent(0);
  }
  virtual void KeepModuleLoaded() {}
  // Null when no reference was taken (the host: its shared objects need none).
  virtual void* HoldThisModule() { return nullptr; }
  virtual void ReleaseModule(void* module) { (void)module; }
  // Like ExitCurrent, a test's fake may return; a caller returns at once after it.
  virtual void ReleaseModuleAndExit(void* module, uint32_t code) {
    ReleaseModule(module);
    ExitCurrent(code);
  }
};

ThreadApi& SystemThreads();

// A mutual-exclusion lock: CRITICAL_SECTION on Windows, std::mutex on the host.
// Not recursive. Waiting has no time limit.
class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void Acquire();
  void Release();

 private:
  alignas(8) unsigned char storage_[64];
};

class LockGuard {
 public:
  explicit LockGuard(Lock& l) : l_(l) { l_.Acquire(); }
  ~LockGuard() { l_.Release(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& l_;
};

}  // namespace platform
