#include "simulator/host/simulator_devices.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace simulator {

bool ParseScenario(const std::string& text, sim_scenario* out, std::string* error) {
  sim_parse_error err;
  if (sim_parse_scenario(out, text.data(), text.size(), &err) == 0) return true;
  if (error) *error = "line " + std::to_string(err.line) + ": " + err.message;
  return false;
}

bool LoadScenarioFile(const std::string& path, sim_scenario* out, std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  std::stringstream text;
  text << f.rdbuf();
  return ParseScenario(text.str(), out, error);
}

SimulatorDevices::SimulatorDevices(const sim_scenario& scenario, platform::RegistryApi& registry,
                                   platform::Clock& clock)
    : registry_(registry), clock_(clock) {
  sim_env env{};
  env.context = this;
  env.state_changed = &SimulatorDevices::OnStateChanged;
  env.read_ready = &SimulatorDevices::OnReadReady;
  env.settings_path = &SimulatorDevices::OnSettingsPath;
  env.read_file = &SimulatorDevices::OnReadFile;
  env.write_file = &SimulatorDevices::OnWriteFile;
  std::lock_guard<std::mutex> lock(mu_);
  sim_init(&model_, &scenario, &env, clock_.NowMs());
  // Like the driver at its start: the states of an earlier run are replaced by "no state".
  sim_publish_states(&model_);
}

SimulatorDevices::~SimulatorDevices() {
  // Readers still blocked would touch a dead object: end their reads and let them leave.
  std::unique_lock<std::mutex> lock(mu_);
  for (auto& entry : handles_) entry.second.open = false;
  readable_.notify_all();
  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  readable_.wait_until(lock, limit, [this] {
    for (auto& entry : handles_) {
      if (entry.second.readers > 0) return false;
    }
    return true;
  });
}

// ---- environment of the model (called under mu_) ----------------------------------------

void SimulatorDevices::OnStateChanged(void* ctx, int comIndex, uint32_t state) {
  auto* self = static_cast<SimulatorDevices*>(ctx);
  platform::RegKey key = nullptr;
  if (self->registry_.CreateKey(platform::HKeyLocalMachine(), SARNO_PARAMETERS_KEY, &key) !=
      platform::kErrorSuccess) {
    return;
  }
  char name[32];
  std::snprintf(name, sizeof name, SARNO_CONNECT_STATE_VALUE, comIndex + 1);
  self->registry_.SetValue(key, name, platform::kRegDword, &state, sizeof state);
  self->registry_.CloseKey(key);
}

void SimulatorDevices::OnReadReady(void* ctx, int) {
  static_cast<SimulatorDevices*>(ctx)->readable_.notify_all();
}

int SimulatorDevices::OnSettingsPath(void* ctx, char* out, size_t size) {
  auto* self = static_cast<SimulatorDevices*>(ctx);
  platform::RegKey key = nullptr;
  if (size == 0) return 0;
  out[0] = '\0';
  if (self->registry_.OpenKey(platform::HKeyLocalMachine(), SARNO_PARAMETERS_KEY, &key) !=
      platform::kErrorSuccess) {
    return 0;
  }
  char value[SIM_PATH_SIZE + 8] = {};
  uint32_t type = 0;
  uint32_t cb = sizeof value - 1;  // the stored text need not carry its terminating zero
  long rc = self->registry_.QueryValue(key, SARNO_INI_PATH_VALUE, &type, value, &cb);
  self->registry_.CloseKey(key);
  if (rc != platform::kErrorSuccess || type != platform::kRegSz) return 0;
  value[cb < sizeof value ? cb : sizeof value - 1] = '\0';
  const char* path = value;
  if (std::strncmp(path, "\\??\\", 4) == 0) path += 4;  // the NT prefix means nothing here
  sim_copy(out, size, path, std::strlen(path));
  return out[0] != '\0';
}

int SimulatorDevices::OnReadFile(void*, const char* path, char* buf, size_t size, size_t* len) {
  *len = 0;
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return errno == ENOENT ? SIM_FILE_MISSING : SIM_FILE_ERROR;
  size_t n = std::fread(buf, 1, size, f);
  bool more = n == size && std::fgetc(f) != EOF;
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return SIM_FILE_ERROR;
  if (more) return SIM_FILE_TOO_BIG;
  *len = n;
  return SIM_FILE_OK;
}

int SimulatorDevices::OnWriteFile(void*, const char* path, const char* data, size_t len) {
  // Replace the file whole, so that a reader never sees it half written.
  std::string temp = std::string(path) + ".sim-new";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return SIM_FILE_ERROR;
  bool ok = std::fwrite(data, 1, len, f) == len;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(temp.c_str(), path) != 0) {
    std::remove(temp.c_str());
    return SIM_FILE_ERROR;
  }
  return SIM_FILE_OK;
}

// ---- control devices ----------------------------------------------------------------------

SimulatorDevices::Handle* SimulatorDevices::Find(platform::DeviceHandle h) {
  auto it = handles_.find(reinterpret_cast<uintptr_t>(h));
  if (it == handles_.end() || !it->second.open || Removed(it->second)) return nullptr;
  return &it->second;
}

bool SimulatorDevices::Removed(const Handle& handle) {
  return handle.unplugs != sim_device_unplugs(&model_, handle.device);
}

void SimulatorDevices::TickLocked() { sim_tick(&model_, clock_.NowMs()); }

platform::DeviceHandle SimulatorDevices::Open(const char* name) {
  static const char kPrefix[] = SARNO_DEVICE_PREFIX;
  const size_t prefixLen = sizeof kPrefix - 1;
  if (!name || std::strncmp(name, kPrefix, prefixLen) != 0) return platform::InvalidDevice();
  const char digit = name[prefixLen];
  if (digit < '0' || digit > '9' || name[prefixLen + 1] != '\0') return platform::InvalidDevice();
  std::lock_guard<std::mutex> lock(mu_);
  TickLocked();
  if (!sim_device_exists(&model_, digit - '0')) return platform::InvalidDevice();
  uintptr_t id = nextHandle_;
  nextHandle_ += 4;
  handles_[id] = Handle{digit - '0', true, 0, sim_device_unplugs(&model_, digit - '0')};
  return reinterpret_cast<platform::DeviceHandle>(id);
}

int SimulatorDevices::Control(platform::DeviceHandle h, uint32_t code, const void* in,
                              uint32_t inLen, void* out, uint32_t outLen, uint32_t* returned) {
  if (returned) *returned = 0;
  int device;
  uint32_t busy;
  {
    std::lock_guard<std::mutex> lock(mu_);
    TickLocked();
    Handle* handle = Find(h);
    if (!handle) return 0;
    device = handle->device;
    sim_enter(&model_);
    busy = sim_busy_ms(&model_, code);
  }
  // The request is in progress here; a second one arriving now counts as an overlap.
  if (busy > 0) clock_.Sleep(busy);
  int status;
  {
    std::lock_guard<std::mutex> lock(mu_);
    TickLocked();
    status = sim_request(&model_, device, code, in, inLen, out, outLen, returned);
    sim_leave(&model_);
  }
  readable_.notify_all();
  return status == SIM_DONE ? 1 : 0;
}

int SimulatorDevices::Read(platform::DeviceHandle h, void* buf, uint32_t len, uint32_t* got) {
  if (got) *got = 0;
  std::unique_lock<std::mutex> lock(mu_);
  TickLocked();
  Handle* handle = Find(h);
  if (!handle) return 0;
  const int device = handle->device;
  uint32_t n = 0;
  if (sim_read(&model_, device, buf, len, &n) == SIM_READ_DONE) {
    if (got) *got = n;
    return 1;
  }
  ++handle->readers;
  const uintptr_t id = reinterpret_cast<uintptr_t>(h);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readSafetyMs_);
  int result = 0;
  for (;;) {
    if (sim_take_read(&model_, device, buf, len, &n) == SIM_READ_DONE) {
      if (got) *got = n;
      result = 1;
      break;
    }
    if (Removed(handles_[id])) break;  // unplugged: the model has forgotten the read
    if (!handles_[id].open || std::chrono::steady_clock::now() >= deadline) {
      sim_cancel_read(&model_, device);  // closed or timed out: the read fails
      break;
    }
    // Short slices, so that timed events fire while the reader waits for them.
    readable_.wait_for(lock, std::chrono::milliseconds(20));
    TickLocked();
  }
  Handle& self = handles_[id];
  if (--self.readers == 0 && !self.open) handles_.erase(id);
  readable_.notify_all();  // the destructor may wait for the last reader
  return result;
}

void SimulatorDevices::Close(platform::DeviceHandle h) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = handles_.find(reinterpret_cast<uintptr_t>(h));
  if (it == handles_.end()) return;
  it->second.open = false;
  if (it->second.readers == 0) handles_.erase(it);
  readable_.notify_all();
}

// ---- serial ports -------------------------------------------------------------------------

bool SimulatorDevices::OpenSerialPort(int comIndex, uint32_t* ticket) {
  std::lock_guard<std::mutex> lock(mu_);
  TickLocked();
  if (!sim_port_exists(&model_, comIndex)) return false;
  const uint32_t now = sim_port_unplugs(&model_, comIndex);
  // an opener from before an unplug holds nothing any more
  if (serialOpen_[comIndex] && serialTicket_[comIndex] == now) return false;
  serialOpen_[comIndex] = true;
  serialTicket_[comIndex] = now;
  if (ticket) *ticket = now;
  return true;
}

void SimulatorDevices::CloseSerialPort(int comIndex, uint32_t ticket) {
  std::lock_guard<std::mutex> lock(mu_);
  if (comIndex >= 0 && comIndex < SIM_PORT_COUNT && serialTicket_[comIndex] == ticket)
    serialOpen_[comIndex] = false;
}

void SimulatorDevices::CloseSerialPort(int comIndex) {
  std::lock_guard<std::mutex> lock(mu_);
  if (comIndex >= 0 && comIndex < SIM_PORT_COUNT) serialOpen_[comIndex] = false;
}

bool SimulatorDevices::SerialPortOpen(int comIndex, uint32_t ticket) {
  std::lock_guard<std::mutex> lock(mu_);
  TickLocked();
  return sim_port_exists(&model_, comIndex) && serialOpen_[comIndex] &&
         serialTicket_[comIndex] == ticket && sim_port_unplugs(&model_, comIndex) == ticket;
}

bool SimulatorDevices::SerialPortOpen(int comIndex) {
  std::lock_guard<std::mutex> lock(mu_);
  TickLocked();
  return sim_port_exists(&model_, comIndex) && serialOpen_[comIndex] &&
         serialTicket_[comIndex] == sim_port_unplugs(&model_, comIndex);
}

uint32_t SimulatorDevices::SerialWrite(int comIndex, const void* data, uint32_t len) {
  std::lock_guard<std::mutex> lock(mu_);
  TickLocked();
  return sim_serial_write(&model_, comIndex, data, len);
}

uint32_t SimulatorDevices::SerialRead(int comIndex, void* buf, uint32_t len) {
  std::lock_guard<std::mutex> lock(mu_);
  TickLocked();
  return sim_serial_read(&model_, comIndex, buf, len);
}

void SimulatorDevices::SerialPurge(int comIndex) {
  std::lock_guard<std::mutex> lock(mu_);
  sim_serial_purge(&model_, comIndex);
}

std::string SimulatorDevices::Roll(int comIndex, bool rendered) {
  std::lock_guard<std::mutex> lock(mu_);
  uint32_t len = 0;
  const unsigned char* bytes = sim_roll(&model_, comIndex, &len, nullptr);
  if (!bytes) return std::string();
  if (!rendered) return std::string(reinterpret_cast<const char*>(bytes), len);
  std::string text(len * 6 + 1, '\0');  // a byte takes at most six characters ("[0x1b]")
  text.resize(sim_render_roll(bytes, len, &text[0], text.size()));
  return text;
}

// ---- time and observation -----------------------------------------------------------------

void SimulatorDevices::Tick() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    TickLocked();
  }
  readable_.notify_all();
}

int SimulatorDevices::FireNextEvent() {
  int fired;
  {
    std::lock_guard<std::mutex> lock(mu_);
    fired = sim_fire_next(&model_, clock_.NowMs());
  }
  readable_.notify_all();
  return fired;
}

void SimulatorDevices::SetReadSafetyMs(uint32_t ms) {
  std::lock_guard<std::mutex> lock(mu_);
  readSafetyMs_ = ms;
}

uint32_t SimulatorDevices::LinkState(int comIndex) {
  std::lock_guard<std::mutex> lock(mu_);
  return sim_link_state(&model_, comIndex);
}

sim_stats SimulatorDevices::Stats() {
  std::lock_guard<std::mutex> lock(mu_);
  return model_.stats;
}

std::vector<sim_log_entry> SimulatorDevices::Log() {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<sim_log_entry> log;
  for (uint32_t i = 0; i < sim_log_length(&model_); ++i) log.push_back(*sim_log_at(&model_, i));
  return log;
}

int SimulatorDevices::ReadsPending(int device) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!sim_device_exists(&model_, device)) return 0;
  return model_.device[device].reads_pending;
}

int SimulatorDevices::OpenHandles() {
  std::lock_guard<std::mutex> lock(mu_);
  int n = 0;
  for (auto& entry : handles_) n += entry.second.open ? 1 : 0;
  return n;
}

}  // namespace simulator
