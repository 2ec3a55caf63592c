// What the service runs as the system: the decision over the access entries read from the
// program's folder and files, with lists as Windows shows them (Wine keeps access lists but
// does not enforce them, so the decision is tested here).
#include <gtest/gtest.h>

#include <cstring>

#include "tools/btctl/program_trust.h"

namespace {

constexpr uint32_t kFull = 0x1f01ff, kReadExecute = 0x1200a9, kModify = 0x1301bf;
constexpr uint8_t kInheritOnly = 0x08;

AccessList List(const char* owner, std::initializer_list<AccessEntry> entries) {
  AccessList l;
  strcpy(l.owner, owner);
  for (const AccessEntry& e : entries) l.entries[l.count++] = e;
  return l;
}

AccessEntry Allow(const char* sid, uint32_t mask, uint8_t flags = 0) {
  AccessEntry e;
  e.mask = mask;
  e.flags = flags;
  strcpy(e.sid, sid);
  return e;
}

std::string Who(const AccessList& l, const char* self = nullptr) {
  char who[kSidTextSize] = "unset";
  return OnlyAdministratorsWrite(l, self, who, sizeof who) ? "" : who;
}

}  // namespace

TEST(ProgramTrust, OnlyAdministratorsAndTheSystemMayWrite) {
  // The service's data folder's list, which the installer gives the install folder.
  EXPECT_EQ("", Who(List("S-1-5-32-544", {Allow("S-1-5-18", kFull), Allow("S-1-5-32-544", kFull),
                                          Allow("S-1-5-32-545", kReadExecute)})));
  // Program Files: the installer account too, and the creator-owner entry passed on only.
  EXPECT_EQ("", Who(List("S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                         {Allow("S-1-5-18", kFull), Allow("S-1-3-0", 0x10000000, kInheritOnly | 0x3),
                          Allow("S-1-5-32-545", kReadExecute)})));
  // A folder made under a drive's root: the authenticated users may change it.
  EXPECT_EQ("S-1-5-11", Who(List("S-1-5-32-544", {Allow("S-1-5-32-544", kFull),
                                                   Allow("S-1-5-11", kModify)})));
  // Users may only add files to the folder: a DLL dropped beside btctl.exe.
  EXPECT_EQ("S-1-5-32-545", Who(List("S-1-5-18", {Allow("S-1-5-18", kFull),
                                                   Allow("S-1-5-32-545", kReadExecute | 0x2)})));
  // Or change its access list.
  EXPECT_EQ("S-1-1-0", Who(List("S-1-5-18", {Allow("S-1-1-0", 0x40000)})));
}

TEST(ProgramTrust, AnOwnerOrAMissingListIsAWriterToo) {
  const char* user = "S-1-5-21-1-2-3-1001";
  EXPECT_EQ(user, Who(List(user, {Allow("S-1-5-32-544", kFull)})));
  // The installing administrator's own account counts as an administrator.
  EXPECT_EQ("", Who(List(user, {Allow(user, kFull)}), user));
  AccessList none = List("S-1-5-32-544", {});
  none.hasDacl = false;
  EXPECT_EQ("everyone", Who(none));
  AccessList many = List("S-1-5-32-544", {});
  many.truncated = true;
  EXPECT_NE("", Who(many));
}
