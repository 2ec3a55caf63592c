// What both rigs of the setup program share: the settings file as a test writes it, and
// threads that never run (stories keep the monitor out of the way unless they test it).
#pragma once
#include <string>
#include <vector>

#include "platform/thread.h"

namespace setup_rig {

// One port's block of the settings file.
struct IniPort {
  std::string host = "NONE";
  std::string selprt = "NONE";
  std::string version = "NONE";
  std::vector<std::string> printers;  // "NONE" ends the list in the file
};

// The settings file as the program and the driver write it.
struct Ini {
  int selPort = 1;  // COM number
  std::string baud = "19200N81";
  IniPort port[4];
  std::string mode = "AUTO";
};
std::string FormatIni(const Ini& ini);

class ParkedThreads : public platform::ThreadApi {
 public:
  int starts = 0;
  platform::ThreadHandle Start(void (*)(void*), void*) override {
    ++starts;
    return reinterpret_cast<platform::ThreadHandle>(0x7E57);
  }
  bool Join(platform::ThreadHandle, uint32_t) override { return true; }
  void Release(platform::ThreadHandle) override {}
};

}  // namespace setup_rig
