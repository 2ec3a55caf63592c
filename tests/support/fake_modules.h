// A module loader for host tests: libraries are registered by name with their calls, and the
// loader records what was asked of it. A name that is not registered fails to load.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/module.h"

namespace platform {

class FakeModules : public ModuleApi {
 public:
  // Registers (or replaces) a library; procs maps call names to function addresses.
  void Provide(const std::string& name, std::map<std::string, void*> procs);
  void Withdraw(const std::string& name);

  bool SetDllDirectory(const char* path) override;
  ModuleHandle LoadLibrary(const char* name) override;
  void* GetProcAddress(ModuleHandle h, const char* name) override;
  void FreeLibrary(ModuleHandle h) override;

  // What happened, in order: "SetDllDirectory(<path>)", "LoadLibrary(<name>)",
  // "GetProcAddress(<name>)", "FreeLibrary(<name>)".
  std::vector<std::string> calls;
  int Loaded() const { return loaded_; }  // loads not yet freed

 private:
  std::map<std::string, std::map<std::string, void*>> libraries_;
  std::map<ModuleHandle, std::string> handles_;
  uintptr_t next_ = 0x10000000;
  int loaded_ = 0;
};

}  // namespace platform
