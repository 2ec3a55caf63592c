// Windows threads: CreateThread at normal priority with the default stack.
#include <windows.h>

#include <cstdlib>

#include "platform/thread.h"

namespace platform {
namespace {

// How long Start waits for its thread to run before it takes other measures.
constexpr DWORD kStartLimitMs = 2000;

struct StartPack {
  void (*fn)(void*);
  void* arg;
  HANDLE running;   // set by the new thread once it runs this module's code
};

DWORD WINAPI ThreadEntry(LPVOID p) {
  auto* pack = static_cast<StartPack*>(p);
  void (*fn)(void*) = pack->fn;
  void* arg = pack->arg;
  SetEvent(pack->running);   // the pack is the starter's from here on
  fn(arg);
  return 0;
}

// Keeps this module (the library that links the adapter) loaded for good.
void PinThisModule() {
  HMODULE self = NULL;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCSTR>(&ThreadEntry), &self);
}

// kernel32's InterlockedExchange as a function (the headers make the name an intrinsic).
using ExchangeFn = LONG(WINAPI*)(LONG volatile*, LONG);
ExchangeFn systemExchange = nullptr;

class Win32Threads : public ThreadApi {
 public:
  ThreadHandle Start(void (*fn)(void*), void* arg) override {
    // Looked up here, in the starting thread: a look-up takes the loader lock, which an
    // unloading library holds while it waits for its thread's flag.
    if (!systemExchange && sizeof(void*) == 4) {
      HMODULE kernel = GetModuleHandleA("kernel32.dll");
      systemExchange = kernel ? reinterpret_cast<ExchangeFn>(
                                    reinterpret_cast<void*>(GetProcAddress(kernel, "InterlockedExchange")))
                              : nullptr;
    }
    auto* pack = static_cast<StartPack*>(malloc(sizeof(StartPack)));
    if (!pack) return nullptr;
    pack->fn = fn;
    pack->arg = arg;
    pack->running = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!pack->running) {
      free(pack);
      return nullptr;
    }
    HANDLE h = CreateThread(NULL, 0, ThreadEntry, pack, 0, NULL);
    if (!h) {
      CloseHandle(pack->running);
      free(pack);
      return nullptr;
    }
    // A new thread waits for the loader lock before it runs anything of ours. Once it runs,
    // its module is safe to unload as soon as the thread says it is done.
    if (WaitForSingleObject(pack->running, kStartLimitMs) == WAIT_OBJECT_0) {
      CloseHandle(pack->running);
      free(pack);
    } else {
      // It has not run yet (the caller holds the loader lock, or the system is swamped) and
      // will, some time later, in this module: keep the module loaded for good, and the
      // pack and its event for the thread to find.
      PinThisModule();
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
  void KeepModuleLoaded() override { PinThisModule(); }
  void* HoldThisModule() override {
    HMODULE self = NULL;
    return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCSTR>(&ThreadEntry), &self)
               ? self
               : nullptr;
  }
  void ReleaseModule(void* module) override {
    if (module) FreeLibrary(static_cast<HMODULE>(module));
  }
  void ReleaseModuleAndExit(void* module, uint32_t code) override {
    if (module) FreeLibraryAndExitThread(static_cast<HMODULE>(module), code);
    ExitThread(code);
  }

  // The flag's 0 is stored by kernel32's InterlockedExchange, called with ExitThread as its
  // return address and ExitThread's own frame beneath: the exchange "returns" into
  // ExitThread(0), and no instruction of this module runs after the store. 64-bit kernel32
  // has no such export (and its calls take registers and an aligned stack): there the store
  // and ExitThread follow each other, a few instructions apart. The library comes here only
  // when it could take no reference on itself, which 64-bit Windows always grants.
  void ClearAndExit(std::atomic<int32_t>& flag) override {
    static_assert(sizeof(flag) == sizeof(LONG), "the flag is one LONG");
    void* exchange = reinterpret_cast<void*>(systemExchange);
    if (!exchange || sizeof(void*) != 4) {
      flag.store(0);
      ExitThread(0);
    }
#ifdef __i386__
    void* exitThread = reinterpret_cast<void*>(&ExitThread);
    __asm__ volatile(
        "pushl $0\n\t"   // ExitThread's exit code
        "pushl $0\n\t"   // ExitThread's return address, never used
        "pushl $0\n\t"   // InterlockedExchange's value
        "pushl %0\n\t"   // InterlockedExchange's target: the flag
        "pushl %1\n\t"   // InterlockedExchange's return address: ExitThread
        "jmp *%2\n\t"
        :
        : "r"(&flag), "r"(exitThread), "r"(exchange)
        : "memory");
#endif
    __builtin_unreachable();
  }
};

// Built before any code runs (no guarded local static: the library stays free of the
// runtime's exception support).
Win32Threads theThreads;

}  // namespace

ThreadApi& SystemThreads() { return theThreads; }

}  // namespace platform
