#include "tools/btctl/program_trust.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kInheritOnly = 0x08;

const char* const kTrusted[] = {
    "S-1-5-18",       // the system account (LocalSystem)
    "S-1-5-32-544",   // the administrators
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",   // TrustedInstaller
};

bool Trusted(const char* sid, const char* self) {
  for (const char* t : kTrusted)
    if (strcmp(sid, t) == 0) return true;
  return self && self[0] && strcmp(sid, self) == 0;
}

bool Untrusted(const char* what, char* who, size_t size) {
  snprintf(who, size, "%s", what);
  return false;
}

}  // namespace

bool OnlyAdministratorsWrite(const AccessList& list, const char* self, char* who, size_t whoSize) {
  if (!list.hasDacl) return Untrusted("everyone", who, whoSize);
  if (list.truncated) return Untrusted("(more access entries than are read)", who, whoSize);
  if (!Trusted(list.owner, self)) return Untrusted(list.owner[0] ? list.owner : "(no owner)", who, whoSize);
  for (int i = 0; i < list.count && i < kMaxAccessEntries; ++i) {
    const AccessEntry& e = list.entries[i];
    if (!e.allow || (e.flags & kInheritOnly) || !(e.mask & kWriteRights)) continue;
    if (!Trusted(e.sid, self)) return Untrusted(e.sid, who, whoSize);
  }
  if (whoSize) who[0] = '\0';
  return true;
}
