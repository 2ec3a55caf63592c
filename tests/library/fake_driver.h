// A scriptable stand-in for the printer-dongle driver behind the device seam.
//
// It serves up to four control devices ("\\.\Sarno0".."3"), answers the COM-index request
// from a table, answers connect/query/reset with scripted result words, and holds every
// monitor read pending until the test releases it or a stop-monitor request reaches that
// device. Every request is recorded with the virtual time it arrived at.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/test_threads.h"

struct DriverRequest {
  int device;           // device number 0-3
  uint32_t code;
  std::string input;    // the bytes sent
  uint32_t inLen;
  uint32_t outLen;
  uint64_t atMs;        // virtual time on arrival
};

class FakeDriver : public platform::DeviceApi {
 public:
  explicit FakeDriver(platform::Clock& clock) : clock_(clock) {}

  // Script. comIndex: the answer to the COM-index request (255 = leave the preset).
  void AddDevice(int device, uint32_t comIndex, bool comIndexOk = true);
  // Result words for the next connect/query/reset requests on any device, in order; after
  // the queue runs dry the word is 0. A word of kNoWrite makes the request fail unwritten.
  static constexpr uint32_t kNoWrite = 0xFFFFFFFFu;
  void QueueWords(std::initializer_list<uint32_t> words);
  void SetMonitorOk(bool ok) { monitorOk_ = ok; }
  void SetReadsFail(bool fail) { readsFail_ = fail; }
  void SetStopIgnored(bool ignored) { stopIgnored_ = ignored; }
  // Runs inside every Control call before it answers (for observing the caller mid-call).
  void SetDuringControl(std::function<void(const DriverRequest&)> f) { during_ = std::move(f); }
  // The dongle of a device pulled out: its open handles fail every request and read (a
  // pending read completes with a failure) and it cannot be opened; plugged back, it opens
  // again, under new handles.
  void Unplug(int device);
  void Plug(int device);
  // Runs inside every Close call, with the device number.
  void SetDuringClose(std::function<void(int)> f) { duringClose_ = std::move(f); }
  // As Wine (and often Windows) does: an open takes the lowest handle value not in use, so
  // a device closed and opened again gets its old value back.
  void ReuseLowestFreeHandle() { reuse_ = true; }

  // Observation.
  std::vector<DriverRequest> Requests();
  std::vector<DriverRequest> RequestsWithCode(uint32_t code);
  std::vector<std::string> Opened();
  std::vector<int> Closed();
  int ReadsStarted();
  int ReadsPendingNow();
  int MaxConcurrentControls();
  int ClosedUnderPendingRead();
  // Requests and reads on a handle that was never opened or already closed.
  int UsesOfClosedHandles();
  // Waits in real time (bounded) until a read is pending on device.
  bool WaitForPendingRead(int device, int timeoutMs = 5000);
  // Completes one pending read on device with text.
  void CompleteRead(int device, const std::string& text);
  // The handle of device's open number `plugs` (how often it was plugged back before),
  // unless handles are reused.
  static platform::DeviceHandle HandleOf(int device, int plugs = 0);
  static int DeviceOf(platform::DeviceHandle h);

  platform::DeviceHandle Open(const char* name) override;
  int Control(platform::DeviceHandle h, uint32_t code, const void* in, uint32_t inLen, void* out,
              uint32_t outLen, uint32_t* returned) override;
  int Read(platform::DeviceHandle h, void* buf, uint32_t len, uint32_t* got) override;
  void Close(platform::DeviceHandle h) override;

 private:
  struct Device {
    bool present = false;
    uint32_t comIndex = 255;
    bool comIndexOk = true;
    int plugs = 0;             // the handles of earlier plugs are dead
    int pendingReads = 0;
    int releases = 0;          // completions waiting for a pending read
    std::string completion;
  };
  platform::Clock& clock_;
  platform::test::Mutex m_;
  platform::test::CondVar cv_;
  Device dev_[4];
  std::deque<uint32_t> words_;
  bool monitorOk_ = true;
  bool readsFail_ = false;
  bool stopIgnored_ = false;
  std::function<void(const DriverRequest&)> during_;
  std::function<void(int)> duringClose_;
  std::vector<DriverRequest> requests_;
  std::vector<std::string> opened_;
  std::vector<int> closed_;
  int readsStarted_ = 0;
  int inControl_ = 0;
  int maxInControl_ = 0;
  int closedUnderRead_ = 0;
  int usedClosed_ = 0;
  struct OpenHandle {
    platform::DeviceHandle h;
    int device, plugs;
  };
  std::vector<OpenHandle> open_;
  bool reuse_ = false;
  const OpenHandle* Find(platform::DeviceHandle h);   // under m_; null when not open
  int Number(platform::DeviceHandle h);                // under m_
  bool Live(platform::DeviceHandle h);                 // under m_
};
