// An in-memory registry for tests, with the byte counts Wine gives: a query of a missing
// value fails with ERROR_FILE_NOT_FOUND and leaves *cb and the buffer as they were; a string
// stored without its terminating zero reads back with one added when the buffer has room
// (counted in *cb), except a zero-byte string, which reads back as zero bytes.
// Thread safe. Keys are matched ignoring case; every opened key must be closed once.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/test_threads.h"

namespace platform {

class MemoryRegistry : public RegistryApi {
 public:
  long OpenKey(RegKey root, const char* subKey, RegKey* out) override;
  long CreateKey(RegKey root, const char* subKey, RegKey* out) override;
  long QueryValue(RegKey key, const char* name, uint32_t* type, void* data,
                  uint32_t* cb) override;
  long SetValue(RegKey key, const char* name, uint32_t type, const void* data,
                uint32_t cb) override;
  long CloseKey(RegKey key) override;

  // Without the right to change machine-wide settings: every CreateKey fails with
  // ERROR_ACCESS_DENIED and nothing is created.
  void DenyCreate(bool deny);

  // Test access, by full path below the root ("System\\...\\Parameters").
  void Put(const std::string& key, const std::string& name, uint32_t type, const void* data,
           uint32_t cb);
  void PutDword(const std::string& key, const std::string& name, uint32_t value);
  void PutString(const std::string& key, const std::string& name, const std::string& text);
  void Remove(const std::string& key, const std::string& name);
  void RemoveKey(const std::string& key);  // with the keys below it
  bool HasKey(const std::string& key);
  bool Get(const std::string& key, const std::string& name, uint32_t* type,
           std::vector<unsigned char>* bytes);
  int OpenHandles();  // keys opened and not closed yet

 private:
  struct Value {
    uint32_t type;
    std::vector<unsigned char> bytes;
  };
  struct Key {
    std::map<std::string, Value> values;  // by lower-case name
  };
  static std::string Lower(const std::string& s);
  std::string PathOf(RegKey root, const char* subKey);
  long Open(RegKey root, const char* subKey, RegKey* out, bool create);

  test::Mutex lock_;
  std::map<std::string, Key> keys_;       // by lower-case full path
  std::map<RegKey, std::string> handles_; // open handle -> key path
  uintptr_t nextHandle_ = 0x1000;
  bool denyCreate_ = false;
};

}  // namespace platform
