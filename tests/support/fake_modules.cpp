#include "tests/support/fake_modules.h"

#include <cstdint>

namespace platform {

void FakeModules::Provide(const std::string& name, std::map<std::string, void*> procs) {
  libraries_[name] = std::move(procs);
}

void FakeModules::Withdraw(const std::string& name) { libraries_.erase(name); }

bool FakeModules::SetDllDirectory(const char* path) {
  calls.push_back(std::string("SetDllDirectory(") + path + ")");
  return true;
}

ModuleHandle FakeModules::LoadLibrary(const char* name) {
  calls.push_back(std::string("LoadLibrary(") + name + ")");
  if (!libraries_.count(name)) return nullptr;
  ModuleHandle h = reinterpret_cast<ModuleHandle>(next_);
  next_ += 0x10000;
  handles_[h] = name;
  ++loaded_;
  return h;
}

void* FakeModules::GetProcAddress(ModuleHandle h, const char* name) {
  calls.push_back(std::string("GetProcAddress(") + name + ")");
  auto lib = handles_.find(h);
  if (lib == handles_.end()) return nullptr;
  auto& procs = libraries_[lib->second];
  auto it = procs.find(name);
  return it == procs.end() ? nullptr : it->second;
}

void FakeModules::FreeLibrary(ModuleHandle h) {
  auto lib = handles_.find(h);
  calls.push_back("FreeLibrary(" + (lib == handles_.end() ? std::string("?") : lib->second) + ")");
  if (lib == handles_.end()) return;
  handles_.erase(lib);
  --loaded_;
}

}  // namespace platform
