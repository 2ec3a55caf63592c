// Whether the program a LocalSystem service runs can be changed by someone who is not an
// administrator: its folder, btctl.exe and Mendalix.dll must be writable only by the
// administrators and the system, or anyone who can write one of them runs code as the system.
// The decision is made here over the owner and access entries read from each file's security
// descriptor (in the security descriptor language's SID strings), so that it can be tested
// with lists; program_trust_win32.cpp reads them.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kMaxAccessEntries = 32;
constexpr size_t kSidTextSize = 192;

struct AccessEntry {
  bool allow = true;        // an access-allowed entry (of any kind); false: a deny entry
  uint8_t flags = 0;        // the entry's inheritance flags (0x08: it applies to children only)
  uint32_t mask = 0;        // the rights it grants
  char sid[kSidTextSize] = "";
};

struct AccessList {
  char owner[kSidTextSize] = "";
  bool hasDacl = true;      // false: no access list at all, everyone may do everything
  int count = 0;
  AccessEntry entries[kMaxAccessEntries];
  bool truncated = false;   // more entries than fit: not trusted
};

// The rights that change what a file holds or who may change it: write or append (for a
// folder: add a file or a folder), delete a child, delete, change the access list or the
// owner, and the generic and maximum rights that include them.
constexpr uint32_t kWriteRights = 0x2 | 0x4 | 0x40 | 0x10000 | 0x40000 | 0x80000 | 0x02000000 |
                                  0x10000000 | 0x40000000;

// True when only the system, the administrators, the system's installer account, or self
// (the caller's own account, given only when it is an administrator; may be null) can write
// what list guards: the owner is one of them (an owner may always change the access list)
// and every allow entry that applies to the object itself and grants a write right names one
// of them. Deny entries are not counted on. Otherwise *who names the first one that can
// write (an SID, "everyone" for a missing access list).
bool OnlyAdministratorsWrite(const AccessList& list, const char* self, char* who, size_t whoSize);

// Windows (program_trust_win32.cpp): reads the owner and access lists of folder,
// folder\btctl.exe and folder\Mendalix.dll and decides as above, with self the caller's
// account when it is an administrator. False with *why saying which file, who can write it
// and what to do.
bool ProgramSafeToRun(const char* folder, char* why, size_t whySize);
// The same decision for one file or folder; false also when its access list cannot be read.
bool OnlyAdministratorsCanWrite(const char* path);
