// A model with an environment that keeps everything in memory: the settings files by path,
// the published states in order, and the devices whose reads became ready.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "simulator/model/sim_model.h"

// Published link states in order: (COM index, state).
using States = std::vector<std::pair<int, uint32_t>>;

struct ModelWorld {
  sim_scenario scenario{};
  sim_model model{};
  std::map<std::string, std::string> files;
  std::string settingsPath = "C:\\Shop\\Quorvex.ini";
  bool pathKnown = true;
  bool failWrites = false;
  States states;  // (COM index, state) as published
  std::vector<int> readyDevices;

  // Parses text (the test fails on a parse error) and starts the model at time 0.
  explicit ModelWorld(const std::string& text, uint64_t startMs = 0) {
    sim_parse_error err{};
    int line = sim_parse_scenario(&scenario, text.data(), text.size(), &err);
    EXPECT_EQ(0, line) << err.message;
    sim_env env{};
    env.context = this;
    env.state_changed = [](void* c, int com, uint32_t s) {
      static_cast<ModelWorld*>(c)->states.emplace_back(com, s);
    };
    env.read_ready = [](void* c, int d) { static_cast<ModelWorld*>(c)->readyDevices.push_back(d); };
    env.settings_path = [](void* c, char* out, size_t size) -> int {
      auto* w = static_cast<ModelWorld*>(c);
      if (!w->pathKnown) return 0;
      sim_copy(out, size, w->settingsPath.c_str(), w->settingsPath.size());
      return 1;
    };
    env.read_file = [](void* c, const char* path, char* buf, size_t size, size_t* len) -> int {
      auto* w = static_cast<ModelWorld*>(c);
      auto it = w->files.find(path);
      if (it == w->files.end()) return SIM_FILE_MISSING;
      if (it->second.size() > size) return SIM_FILE_TOO_BIG;
      it->second.copy(buf, it->second.size());
      *len = it->second.size();
      return SIM_FILE_OK;
    };
    env.write_file = [](void* c, const char* path, const char* data, size_t len) -> int {
      auto* w = static_cast<ModelWorld*>(c);
      if (w->failWrites) return SIM_FILE_ERROR;
      w->files[path] = std::string(data, len);
      return SIM_FILE_OK;
    };
    sim_init(&model, &scenario, &env, startMs);
  }

  // A request with a text input and a result word out; returns the word (or 0xDEAD when the
  // request did not complete).
  uint32_t Word(int device, uint32_t code, const std::string& text) {
    uint32_t word = 0xDEAD, returned = 0;
    int st = sim_request(&model, device, code, text.data(), static_cast<uint32_t>(text.size()),
                         &word, sizeof word, &returned);
    if (st != SIM_DONE || returned != 4) return 0xDEAD;
    return word;
  }
  uint32_t Connect(int device, const std::string& address) {
    return Word(device, IOCTL_SARNO_PCON, address);
  }
  uint32_t Query(int device) { return Word(device, IOCTL_SARNO_PINQ, "NONE"); }
  uint32_t Reset(int device) { return Word(device, IOCTL_SARNO_RESET, "NONE"); }
  uint32_t ComIndex(int device) {
    uint32_t v = 255, returned = 0;
    int st = sim_request(&model, device, IOCTL_SARNO_GET_COM_INDX, &v, 4, &v, 4, &returned);
    return st == SIM_DONE && returned == 4 ? v : 0xDEAD;
  }
  int Monitor(int device, const std::string& text) {
    char buf[SIM_COMMAND_SIZE] = {};
    text.copy(buf, sizeof buf - 1);
    uint32_t returned = 0;
    int st = sim_request(&model, device, IOCTL_SARNO_MONITOR, buf,
                         static_cast<uint32_t>(text.size()), buf, sizeof buf, &returned);
    return st == SIM_DONE && returned == text.size() ? 1 : 0;
  }
  void StopMonitor(int device) {
    uint32_t v = 0, returned = 0;
    sim_request(&model, device, IOCTL_SARNO_STOP_MONITOR, &v, 4, &v, 4, &returned);
  }
  // A read: "pending" when it has to wait, else the text it returned.
  std::string Read(int device) {
    char buf[255];
    uint32_t got = 0;
    if (sim_read(&model, device, buf, sizeof buf, &got) != SIM_READ_DONE) return "pending";
    return std::string(buf, got);
  }
  std::string TakeRead(int device) {
    char buf[255];
    uint32_t got = 0;
    if (sim_take_read(&model, device, buf, sizeof buf, &got) != SIM_READ_DONE) return "pending";
    return std::string(buf, got);
  }
};
