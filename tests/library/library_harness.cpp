#include "library_harness.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

void PacedClock::Sleep(uint32_t ms) {
  VirtualClock::Sleep(ms);
  std::this_thread::sleep_for(std::chrono::microseconds(ms * 100));   // 1/10 of the time
}

platform::ThreadHandle CountedThreads::Start(void (*fn)(void*), void* arg) {
  if (failStarts) return nullptr;
  platform::ThreadHandle t = platform::SystemThreads().Start(fn, arg);
  if (t) {
    ++started;
    std::lock_guard<platform::test::Mutex> lk(m_);
    all_.push_back(t);
  }
  // The caller's handle is one we keep; its Release is a no-op so that we can join later.
  return t;
}

bool CountedThreads::Join(platform::ThreadHandle t, uint32_t ms) {
  return platform::SystemThreads().Join(t, ms);
}

void CountedThreads::Release(platform::ThreadHandle) {}

void CountedThreads::ExitCurrent(uint32_t) { ++exited; }

void* CountedThreads::HoldThisModule() {
  ++moduleRefs;
  return this;
}

void CountedThreads::ReleaseModule(void* module) {
  if (module == this) --moduleRefs;
}

void CountedThreads::ReleaseModuleAndExit(void* module, uint32_t code) {
  ++exitsReleasing;
  ReleaseModule(module);
  ExitCurrent(code);
}

bool CountedThreads::WaitForExits(int n, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 2) {
    if (exited >= n) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return exited >= n;
}

CountedThreads::~CountedThreads() {
  for (auto t : all_) {
    platform::SystemThreads().Join(t, 10000);
    platform::SystemThreads().Release(t);
  }
}

namespace fs = std::filesystem;

void LibraryTest::SetUp() {
  oldDir_ = fs::current_path().string();
  std::random_device rd;
  fs::path dir;
  do {
    dir = fs::temp_directory_path() / ("mendalix_test_" + std::to_string(rd()));
  } while (!fs::create_directory(dir));
  dir_ = dir.string();
  fs::current_path(dir);
  st.reset(new MendalixState(driver, clock, threads));
}

void LibraryTest::TearDown() {
  if (app && !unloaded_) Unload();
  app.reset();
  fs::current_path(oldDir_);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void LibraryTest::Load() {
  app.reset(new CMendalixApp(*st));
  startupRequests_ = driver.Requests().size();
}

std::vector<DriverRequest> LibraryTest::CallRequests() {
  auto all = driver.Requests();
  return std::vector<DriverRequest>(all.begin() + startupRequests_, all.end());
}

void LibraryTest::Unload() {
  unloaded_ = true;
  app->ExitInstance();
}

std::string LibraryTest::ReadFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void LibraryTest::WriteFile(const std::string& name, const std::string& text) {
  std::ofstream f(name, std::ios::binary);
  f << text;
}

bool LibraryTest::FileExists(const std::string& name) { return fs::exists(name); }

BstrVariant::BstrVariant(std::u16string text) : units(std::move(text)) {
  v.vt = kVtBstr;
  v.bstrVal = reinterpret_cast<const uint16_t*>(units.c_str());
}
