#include "fake_driver.h"

#include <chrono>
#include <cstring>

#include "protocol/driver_protocol.h"

platform::DeviceHandle FakeDriver::HandleOf(int device, int plugs) {
  return reinterpret_cast<platform::DeviceHandle>(static_cast<uintptr_t>(0x5A00 + 16 * plugs + device));
}

int FakeDriver::DeviceOf(platform::DeviceHandle h) {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  return (v >= 0x5A00 && v < 0x5E00 && (v & 15) < 4) ? static_cast<int>(v & 15) : -1;
}

const FakeDriver::OpenHandle* FakeDriver::Find(platform::DeviceHandle h) {
  for (const OpenHandle& o : open_)
    if (o.h == h) return &o;
  return nullptr;
}

int FakeDriver::Number(platform::DeviceHandle h) {
  const OpenHandle* o = Find(h);
  return o ? o->device : DeviceOf(h);
}

bool FakeDriver::Live(platform::DeviceHandle h) {
  const OpenHandle* o = Find(h);
  if (!o) ++usedClosed_;
  return o && dev_[o->device].present && o->plugs == dev_[o->device].plugs;
}

void FakeDriver::Unplug(int device) {
  std::lock_guard<platform::test::Mutex> lk(m_);
  dev_[device].present = false;
  ++dev_[device].plugs;
  cv_.notify_all();
}

void FakeDriver::Plug(int device) {
  std::lock_guard<platform::test::Mutex> lk(m_);
  dev_[device].present = true;
}

int FakeDriver::UsesOfClosedHandles() {
  std::lock_guard<platform::test::Mutex> lk(m_);
  return usedClosed_;
}

void FakeDriver::AddDevice(int device, uint32_t comIndex, bool comIndexOk) {
  std::lock_guard<platform::test::Mutex> lk(m_);
  dev_[device].present = true;
  dev_[device].comIndex = comIndex;
  dev_[device].comIndexOk = comIndexOk;
}

void FakeDriver::QueueWords(std::initializer_list<uint32_t> words) {
  std::lock_guard<platform::test::Mutex> lk(m_);
  for (uint32_t w : words) words_.push_back(w);
}

std::vector<DriverRequest> FakeDriver::Requests() {
  std::lock_guard<platform::test::Mutex> lk(m_);
  return requests_;
}

std::vector<DriverRequest> FakeDriver::RequestsWithCode(uint32_t code) {
  std::vector<DriverRequest> out;
  for (auto& r : Requests())
    if (r.code == code) out.push_back(r);
  return out;
}

std::vector<std::string> FakeDriver::Opened() {
  std::lock_guard<platform::test::Mutex> lk(m_);
  return opened_;
}

std::vector<int> FakeDriver::Closed() {
  std::lock_guard<platform::test::Mutex> lk(m_);
  return closed_;
}

int FakeDriver::ReadsStarted() {
  std::lock_guard<platform::test::Mutex> lk(m_);
  return readsStarted_;
}

int FakeDriver::ReadsPendingNow() {
  std::lock_guard<platform::test::Mutex> lk(m_);
  int n = 0;
  for (auto& d : dev_) n += d.pendingReads;
  return n;
}

int FakeDriver::MaxConcurrentControls() {
  std::lock_guard<platform::test::Mutex> lk(m_);
  return maxInControl_;
}

bool FakeDriver::WaitForPendingRead(int device, int timeoutMs) {
  std::unique_lock<platform::test::Mutex> lk(m_);
  return cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                      [&] { return dev_[device].pendingReads > 0; });
}

void FakeDriver::CompleteRead(int device, const std::string& text) {
  std::lock_guard<platform::test::Mutex> lk(m_);
  dev_[device].completion = text;
  ++dev_[device].releases;
  cv_.notify_all();
}

platform::DeviceHandle FakeDriver::Open(const char* name) {
  std::lock_guard<platform::test::Mutex> lk(m_);
  opened_.push_back(name);
  const size_t prefix = strlen(SARNO_DEVICE_PREFIX);
  if (strncmp(name, SARNO_DEVICE_PREFIX, prefix) != 0 || strlen(name) != prefix + 1)
    return platform::InvalidDevice();
  int n = name[prefix] - '0';
  if (n < 0 || n > 3 || !dev_[n].present) return platform::InvalidDevice();
  platform::DeviceHandle h = HandleOf(n, dev_[n].plugs);
  for (uintptr_t v = 0x6000; reuse_; v += 4) {
    h = reinterpret_cast<platform::DeviceHandle>(v);
    if (!Find(h)) break;
  }
  open_.push_back({h, n, dev_[n].plugs});
  return h;
}

int FakeDriver::Control(platform::DeviceHandle h, uint32_t code, const void* in, uint32_t inLen,
                        void* out, uint32_t outLen, uint32_t* returned) {
  DriverRequest req{-1, code,
                    in ? std::string(static_cast<const char*>(in), inLen) : std::string(),
                    inLen, outLen, clock_.NowMs()};
  {
    std::lock_guard<platform::test::Mutex> lk(m_);
    req.device = Number(h);
    requests_.push_back(req);
    if (++inControl_ > maxInControl_) maxInControl_ = inControl_;
  }
  if (during_) during_(req);
  std::lock_guard<platform::test::Mutex> lk(m_);
  --inControl_;
  if (returned) *returned = 0;
  if (!Live(h)) return 0;
  Device& d = dev_[req.device];
  switch (code) {
    case IOCTL_SARNO_GET_COM_INDX:
      if (!d.comIndexOk) return 0;
      if (d.comIndex != 255 && out && outLen >= 4) memcpy(out, &d.comIndex, 4);
      if (returned) *returned = 4;
      return 1;
    case IOCTL_SARNO_PCON:
    case IOCTL_SARNO_PINQ:
    case IOCTL_SARNO_RESET: {
      uint32_t w = 0;
      if (!words_.empty()) {
        w = words_.front();
        words_.pop_front();
      }
      if (w == kNoWrite) return 0;
      if (out && outLen >= 4) memcpy(out, &w, 4);
      if (returned) *returned = 4;
      return 1;
    }
    case IOCTL_SARNO_STOP_MONITOR:
      if (!stopIgnored_ && d.pendingReads > 0) {
        d.completion.clear();
        ++d.releases;
        cv_.notify_all();
      }
      return 1;
    case IOCTL_SARNO_MONITOR:
      if (returned) *returned = inLen;
      return monitorOk_ ? 1 : 0;
    default:
      return 0;
  }
}

int FakeDriver::Read(platform::DeviceHandle h, void* buf, uint32_t len, uint32_t* got) {
  std::unique_lock<platform::test::Mutex> lk(m_);
  const int n = Number(h);
  ++readsStarted_;
  cv_.notify_all();
  if (got) *got = 0;
  if (!Live(h) || readsFail_) return 0;
  Device& d = dev_[n];
  const int plugs = d.plugs;
  ++d.pendingReads;
  cv_.notify_all();
  // Bounded, so that a broken test cannot hang on a read nobody completes.
  bool done = cv_.wait_for(lk, std::chrono::seconds(10),
                           [&] { return d.releases > 0 || d.plugs != plugs; });
  --d.pendingReads;
  if (!done || d.plugs != plugs) return 0;
  --d.releases;
  uint32_t k = static_cast<uint32_t>(d.completion.size());
  if (k > len) k = len;
  memcpy(buf, d.completion.data(), k);
  if (got) *got = k;
  return 1;
}

void FakeDriver::Close(platform::DeviceHandle h) {
  int n;
  {
    std::lock_guard<platform::test::Mutex> lk(m_);
    n = Number(h);
  }
  if (duringClose_) duringClose_(n);
  std::lock_guard<platform::test::Mutex> lk(m_);
  closed_.push_back(n);
  const OpenHandle* o = Find(h);
  if (!o) {
    ++usedClosed_;
    return;
  }
  if (o->plugs == dev_[n].plugs && dev_[n].pendingReads > 0) ++closedUnderRead_;
  open_.erase(open_.begin() + (o - open_.data()));
}

int FakeDriver::ClosedUnderPendingRead() {
  std::lock_guard<platform::test::Mutex> lk(m_);
  return closedUnderRead_;
}
