// The test programs' threads, locks and condition variables on Windows (platform/test_threads.h).
#include <windows.h>

#include <exception>

#include "platform/test_threads.h"

namespace platform::test {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "Mutex storage too small for a CRITICAL_SECTION");
static_assert(sizeof(CONDITION_VARIABLE) == sizeof(void*), "CondVar holds one pointer");

static CRITICAL_SECTION* Section(Mutex& m) { return static_cast<CRITICAL_SECTION*>(m.native()); }

Mutex::Mutex() { InitializeCriticalSection(Section(*this)); }
Mutex::~Mutex() { DeleteCriticalSection(Section(*this)); }
void Mutex::lock() { EnterCriticalSection(Section(*this)); }
void Mutex::unlock() { LeaveCriticalSection(Section(*this)); }

void CondVar::notify_one() { WakeConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&cv_)); }
void CondVar::notify_all() { WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&cv_)); }

void CondVar::WaitMs(std::unique_lock<Mutex>& lk, uint32_t ms) {
  SleepConditionVariableCS(reinterpret_cast<CONDITION_VARIABLE*>(&cv_), Section(*lk.mutex()),
                           ms == 0xFFFFFFFFu ? INFINITE : ms);
}

static DWORD WINAPI RunThread(LPVOID p) {
  auto* fn = static_cast<std::function<void()>*>(p);
  (*fn)();
  delete fn;
  return 0;
}

void* Thread::Start(std::function<void()>* fn) {
  HANDLE h = CreateThread(NULL, 0, RunThread, fn, 0, NULL);
  if (!h) {
    delete fn;
    std::terminate();   // std::thread throws here; no test expects a start to fail
  }
  return h;
}

Thread& Thread::operator=(Thread&& other) noexcept {
  if (joinable()) std::terminate();
  handle_ = other.handle_;
  other.handle_ = nullptr;
  return *this;
}

Thread::~Thread() {
  if (joinable()) std::terminate();
}

void Thread::join() {
  WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

}  // namespace platform::test
