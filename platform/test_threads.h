// Threads, locks and condition variables for the test programs and the host stand-ins, in
// both flavours. The host has the standard ones. The Windows compilers run with the win32
// thread model, whose runtime has no std::thread, std::mutex or std::condition_variable (the
// deliverables must not pull in a POSIX-threads runtime), so there these are thin classes
// over CreateThread, CRITICAL_SECTION and CONDITION_VARIABLE (platform/win32/test_threads.cpp),
// with the members the tests use. Never used by the deliverables: CONDITION_VARIABLE needs
// Windows Vista.
#pragma once
#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform::test {
using Mutex = std::mutex;
using CondVar = std::condition_variable;
using Thread = std::thread;
}  // namespace platform::test

#else
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>   // std::lock_guard, std::unique_lock

namespace platform::test {

class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock();
  void unlock();
  void* native() { return storage_; }

 private:
  alignas(8) unsigned char storage_[64];
};

class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;
  void notify_one();
  void notify_all();
  void wait(std::unique_lock<Mutex>& lk) { WaitMs(lk, 0xFFFFFFFFu); }
  template <class Pred>
  void wait(std::unique_lock<Mutex>& lk, Pred pred) {
    while (!pred()) wait(lk);
  }
  template <class Clock, class Duration, class Pred>
  bool wait_until(std::unique_lock<Mutex>& lk, const std::chrono::time_point<Clock, Duration>& t,
                  Pred pred) {
    while (!pred()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
      if (left <= 0) return pred();
      WaitMs(lk, left < 0x7FFFFFFF ? static_cast<uint32_t>(left) : 0x7FFFFFFFu);
    }
    return true;
  }
  template <class Rep, class Period, class Pred>
  bool wait_for(std::unique_lock<Mutex>& lk, const std::chrono::duration<Rep, Period>& d,
                Pred pred) {
    return wait_until(lk, std::chrono::steady_clock::now() + d, pred);
  }

 private:
  void WaitMs(std::unique_lock<Mutex>& lk, uint32_t ms);
  void* cv_ = nullptr;   // a CONDITION_VARIABLE: one pointer, all zero to begin with
};

class Thread {
 public:
  Thread() = default;
  template <class Fn>
  explicit Thread(Fn fn) : handle_(Start(new std::function<void()>(std::move(fn)))) {}
  Thread(Thread&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Thread& operator=(Thread&& other) noexcept;
  ~Thread();   // ends the program when still joinable, as std::thread does
  bool joinable() const { return handle_ != nullptr; }
  void join();

 private:
  static void* Start(std::function<void()>* fn);
  void* handle_ = nullptr;
};

}  // namespace platform::test
#endif
