#include "library_harness.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
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
    std::lock_guard<std::mutex> lk(m_);
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

void LibraryTest::SetUp() {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
  oldDir_ = cwd;
  char tmpl[] = "/tmp/mendalix_test_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  dir_ = tmpl;
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  st.reset(new MendalixState(driver, clock, threads));
}

void LibraryTest::TearDown() {
  if (app && !unloaded_) Unload();
  app.reset();
  ASSERT_EQ(chdir(oldDir_.c_str()), 0);
  std::string cmd = "rm -rf '" + dir_ + "'";
  (void)system(cmd.c_str());
}

void LibraryTest::Load() { app.reset(new CMendalixApp(*st)); }

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

bool LibraryTest::FileExists(const std::string& name) {
  struct stat sb;
  return stat(name.c_str(), &sb) == 0;
}

BstrVariant::BstrVariant(std::u16string text) : units(std::move(text)) {
  v.vt = kVtBstr;
  v.bstrVal = reinterpret_cast<const uint16_t*>(units.c_str());
}
