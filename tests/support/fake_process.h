// The program's paths, resources and program starts for host tests.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/process.h"

namespace platform {

class FakeProcess : public ProcessApi {
 public:
  std::string modulePath = "C:\\Shop\\Quorvex.exe";
  std::string systemDirectory = "C:\\windows\\system32";
  std::map<int, std::string> strings;  // string resources by id
  std::vector<std::pair<std::string, int>> started;  // WinExec(cmd, show) calls

  size_t GetModuleFileName(char* out, size_t size) override;
  size_t GetSystemDirectory(char* out, size_t size) override;
  unsigned WinExec(const char* cmd, int show) override;
  size_t LoadString(int id, char* out, size_t size) override;
  void* LoadIcon(int id) override;  // a distinct token per id
  void ExitProcess(unsigned code) override { exitCodes.push_back(code); }
  std::vector<unsigned> exitCodes;  // ExitProcess calls, which return here
};

}  // namespace platform
