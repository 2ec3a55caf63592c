#include "platform/host/memory_registry.h"

#include <cctype>
#include <cstring>

namespace platform {

std::string MemoryRegistry::Lower(const std::string& s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string MemoryRegistry::PathOf(RegKey root, const char* subKey) {
  std::string base;
  if (root != HKeyLocalMachine()) {
    auto it = handles_.find(root);
    if (it == handles_.end()) return std::string();
    base = it->second;
  }
  std::string sub = subKey ? subKey : "";
  if (base.empty()) return Lower(sub);
  return sub.empty() ? base : base + "\\" + Lower(sub);
}

long MemoryRegistry::Open(RegKey root, const char* subKey, RegKey* out, bool create) {
  std::lock_guard<test::Mutex> guard(lock_);
  if (root != HKeyLocalMachine() && !handles_.count(root)) return 6;  // ERROR_INVALID_HANDLE
  if (create && denyCreate_) return kErrorAccessDenied;
  std::string path = PathOf(root, subKey);
  if (!keys_.count(path)) {
    if (!create) return kErrorFileNotFound;
    // Creating a key creates the keys above it.
    for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
      keys_[path.substr(0, at)];
    keys_[path];
  }
  RegKey h = reinterpret_cast<RegKey>(nextHandle_);
  nextHandle_ += 4;
  handles_[h] = path;
  *out = h;
  return kErrorSuccess;
}

long MemoryRegistry::OpenKey(RegKey root, const char* subKey, RegKey* out) {
  return Open(root, subKey, out, false);
}

long MemoryRegistry::CreateKey(RegKey root, const char* subKey, RegKey* out) {
  return Open(root, subKey, out, true);
}

long MemoryRegistry::QueryValue(RegKey key, const char* name, uint32_t* type, void* data,
                                uint32_t* cb) {
  std::lock_guard<test::Mutex> guard(lock_);
  auto h = handles_.find(key);
  if (h == handles_.end()) return 6;
  Key& k = keys_[h->second];
  auto it = k.values.find(Lower(name ? name : ""));
  if (it == k.values.end()) return kErrorFileNotFound;
  const Value& v = it->second;
  if (type) *type = v.type;
  uint32_t len = static_cast<uint32_t>(v.bytes.size());
  bool isString = v.type == kRegSz || v.type == 2 /* REG_EXPAND_SZ */;
  bool addZero = isString && len > 0 && v.bytes.back() != 0;
  uint32_t needed = len + (addZero ? 1 : 0);
  if (!cb) return data ? 87 /* ERROR_INVALID_PARAMETER */ : kErrorSuccess;
  if (!data) {
    *cb = needed;
    return kErrorSuccess;
  }
  if (*cb < len) {
    *cb = needed;
    return kErrorMoreData;
  }
  if (len) std::memcpy(data, v.bytes.data(), len);
  if (addZero && *cb > len) {
    static_cast<unsigned char*>(data)[len] = 0;
    *cb = needed;
  } else {
    *cb = len;
  }
  return kErrorSuccess;
}

long MemoryRegistry::SetValue(RegKey key, const char* name, uint32_t type, const void* data,
                              uint32_t cb) {
  std::lock_guard<test::Mutex> guard(lock_);
  auto h = handles_.find(key);
  if (h == handles_.end()) return 6;
  Value v{type, {}};
  if (cb) {
    const auto* p = static_cast<const unsigned char*>(data);
    v.bytes.assign(p, p + cb);
  }
  keys_[h->second].values[Lower(name ? name : "")] = v;
  return kErrorSuccess;
}

long MemoryRegistry::CloseKey(RegKey key) {
  std::lock_guard<test::Mutex> guard(lock_);
  return handles_.erase(key) ? kErrorSuccess : 6;
}

void MemoryRegistry::DenyCreate(bool deny) {
  std::lock_guard<test::Mutex> guard(lock_);
  denyCreate_ = deny;
}

void MemoryRegistry::Put(const std::string& key, const std::string& name, uint32_t type,
                         const void* data, uint32_t cb) {
  std::lock_guard<test::Mutex> guard(lock_);
  std::string path = Lower(key);
  for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
    keys_[path.substr(0, at)];
  Value v{type, {}};
  const auto* p = static_cast<const unsigned char*>(data);
  if (cb) v.bytes.assign(p, p + cb);
  keys_[path].values[Lower(name)] = v;
}

void MemoryRegistry::PutDword(const std::string& key, const std::string& name, uint32_t value) {
  Put(key, name, kRegDword, &value, 4);
}

void MemoryRegistry::PutString(const std::string& key, const std::string& name,
                               const std::string& text) {
  Put(key, name, kRegSz, text.data(), static_cast<uint32_t>(text.size()));
}

void MemoryRegistry::Remove(const std::string& key, const std::string& name) {
  std::lock_guard<test::Mutex> guard(lock_);
  auto it = keys_.find(Lower(key));
  if (it != keys_.end()) it->second.values.erase(Lower(name));
}

void MemoryRegistry::RemoveKey(const std::string& key) {
  std::lock_guard<test::Mutex> guard(lock_);
  std::string path = Lower(key);
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (it->first == path || it->first.compare(0, path.size() + 1, path + "\\") == 0)
      it = keys_.erase(it);
    else
      ++it;
  }
}

bool MemoryRegistry::HasKey(const std::string& key) {
  std::lock_guard<test::Mutex> guard(lock_);
  return keys_.count(Lower(key)) != 0;
}

bool MemoryRegistry::Get(const std::string& key, const std::string& name, uint32_t* type,
                         std::vector<unsigned char>* bytes) {
  std::lock_guard<test::Mutex> guard(lock_);
  auto k = keys_.find(Lower(key));
  if (k == keys_.end()) return false;
  auto v = k->second.values.find(Lower(name));
  if (v == k->second.values.end()) return false;
  if (type) *type = v->second.type;
  if (bytes) *bytes = v->second.bytes;
  return true;
}

int MemoryRegistry::OpenHandles() {
  std::lock_guard<test::Mutex> guard(lock_);
  return static_cast<int>(handles_.size());
}

RegistryApi& SystemRegistry() {
  static MemoryRegistry registry;
  return registry;
}

}  // namespace platform
