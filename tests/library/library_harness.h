// What every library test stands on: a scratch working directory (the library reads and
// writes Quorvex.ini by bare name), a virtual clock, counted threads and the stand-in driver.
#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "fake_driver.h"
#include "library/exported_calls.h"
#include "library/mendalix_app.h"
#include "library/mendalix_state.h"
#include "library/port_map.h"
#include "tests/support/virtual_clock.h"

// Virtual time, plus a short real pause per sleep so that a polling loop gives the other
// threads of a test (the monitor reader) a chance to run.
class PacedClock : public platform::VirtualClock {
 public:
  PacedClock() : VirtualClock(Mode::Auto) {}
  void Sleep(uint32_t ms) override;
};

// Real threads that are counted; ExitCurrent only records, so the reader returns.
class CountedThreads : public platform::ThreadApi {
 public:
  platform::ThreadHandle Start(void (*fn)(void*), void* arg) override;
  bool Join(platform::ThreadHandle t, uint32_t ms) override;
  void Release(platform::ThreadHandle t) override;
  void ExitCurrent(uint32_t code) override;
  void KeepModuleLoaded() override { ++pins; }
  // The library's references as the platform would count them: taken, dropped, and dropped
  // by a thread as it ends itself.
  void* HoldThisModule() override;
  void ReleaseModule(void* module) override;
  void ReleaseModuleAndExit(void* module, uint32_t code) override;
  bool failStarts = false;
  std::atomic<int> pins{0};
  std::atomic<int> moduleRefs{0};   // held now
  std::atomic<int> exitsReleasing{0};
  std::atomic<int> started{0};
  std::atomic<int> exited{0};
  // Waits in real time until n threads have ended themselves.
  bool WaitForExits(int n, int timeoutMs = 5000);
  ~CountedThreads() override;   // joins every thread it started

 private:
  platform::test::Mutex m_;
  std::vector<platform::ThreadHandle> all_;
};

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the start-up (the library being loaded).
  void Load();
  // The requests the driver received since the start-up ended.
  std::vector<DriverRequest> CallRequests();
  // Runs the shutdown (the library being unloaded).
  void Unload();

  std::string ReadFile(const std::string& name);
  void WriteFile(const std::string& name, const std::string& text);
  bool FileExists(const std::string& name);

  PacedClock clock;
  FakeDriver driver{clock};
  std::unique_ptr<MendalixState> st;
  std::unique_ptr<CMendalixApp> app;
  CountedThreads threads;   // last: its end joins the readers while st and driver still live

 private:
  std::string oldDir_;
  std::string dir_;
  bool unloaded_ = false;
  size_t startupRequests_ = 0;
};

// The library loaded with devices 0, 1, ... serving the COM indexes given, in that order.
template <uint32_t... ComIndex>
class LibraryWith : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    int device = 0;
    (driver.AddDevice(device++, ComIndex), ...);
    Load();
  }
};

// A VARIANT holding a BSTR built from UTF-16 units.
struct BstrVariant {
  explicit BstrVariant(std::u16string text);
  std::u16string units;
  TextVariant v{};
};
