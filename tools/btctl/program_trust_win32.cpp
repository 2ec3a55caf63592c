// Reading a file's owner and access entries for program_trust.h's decision: GetFileSecurityA,
// then the owner and each entry of the access list as SID strings. Every call exists on
// Windows XP SP3.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>

#include "tools/btctl/program_trust.h"

namespace {

void SidText(PSID sid, char* out, size_t size) {
  char* text = nullptr;
  if (sid && ConvertSidToStringSidA(sid, &text)) {
    snprintf(out, size, "%s", text);
    LocalFree(text);
  } else {
    snprintf(out, size, "(unreadable)");
  }
}

bool ReadAccessList(const char* path, AccessList* list) {
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetFileSecurityA(path, what, nullptr, 0, &needed);
  if (!needed) return false;
  PSECURITY_DESCRIPTOR sd = LocalAlloc(LMEM_FIXED, needed);
  PSID owner = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  PACL dacl = nullptr;
  bool ok = sd && GetFileSecurityA(path, what, sd, needed, &needed) &&
            GetSecurityDescriptorOwner(sd, &owner, &defaulted) &&
            GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
  if (ok) {
    SidText(owner, list->owner, sizeof list->owner);
    list->hasDacl = present && dacl;
    for (DWORD i = 0; list->hasDacl && i < dacl->AceCount; ++i) {
      ACE_HEADER* ace = nullptr;
      if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) continue;
      BYTE type = ace->AceType;
      bool plain = type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE ||
                   type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_ACE_TYPE;
      bool object = type == ACCESS_ALLOWED_OBJECT_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
                    type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE ||
                    type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
      if (!plain && !object) continue;   // audit and alarm entries grant nothing
      if (list->count >= kMaxAccessEntries) {
        list->truncated = true;
        break;
      }
      AccessEntry& e = list->entries[list->count++];
      e.allow = type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
                type == ACCESS_ALLOWED_OBJECT_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE;
      e.flags = ace->AceFlags;
      BYTE* body = reinterpret_cast<BYTE*>(ace) + sizeof(ACE_HEADER);
      memcpy(&e.mask, body, sizeof e.mask);
      BYTE* sid = body + sizeof(DWORD);
      if (object) {   // the object entry's flags say which of its two GUIDs are there
        DWORD objectFlags;
        memcpy(&objectFlags, sid, sizeof objectFlags);
        sid += sizeof(DWORD) + ((objectFlags & ACE_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0) +
               ((objectFlags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0);
      }
      SidText(sid, e.sid, sizeof e.sid);
    }
  }
  if (sd) LocalFree(sd);
  return ok;
}

// The caller's own account, when it is a member of the administrators: what it owns only an
// administrator can change.
void SelfWhenAdministrator(char* out, size_t size) {
  out[0] = '\0';
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  BOOL member = FALSE;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                0, 0, 0, 0, &admins))
    return;
  bool admin = CheckTokenMembership(nullptr, admins, &member) && member;
  FreeSid(admins);
  HANDLE token = nullptr;
  if (!admin || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
  union {
    TOKEN_USER user;
    BYTE bytes[256];
  } info;
  DWORD n = 0;
  if (GetTokenInformation(token, TokenUser, &info, sizeof info, &n)) SidText(info.user.User.Sid, out, size);
  CloseHandle(token);
}

}  // namespace

bool OnlyAdministratorsCanWrite(const char* path) {
  char self[kSidTextSize], who[kSidTextSize];
  SelfWhenAdministrator(self, sizeof self);
  static AccessList list;
  list = AccessList();
  return ReadAccessList(path, &list) && OnlyAdministratorsWrite(list, self, who, sizeof who);
}

bool ProgramSafeToRun(const char* folder, char* why, size_t whySize) {
  char self[kSidTextSize];
  SelfWhenAdministrator(self, sizeof self);
  const char* const names[] = {"", "\\btctl.exe", "\\Mendalix.dll"};
  for (const char* name : names) {
    char path[MAX_PATH], who[kSidTextSize];
    snprintf(path, sizeof path, "%s%s", folder, name);
    static AccessList list;   // large; this runs on one thread at a time
    list = AccessList();
    if (!ReadAccessList(path, &list)) {
      snprintf(why, whySize, "the access list of %s cannot be read (error %lu)", path,
               static_cast<unsigned long>(GetLastError()));
      return false;
    }
    if (!OnlyAdministratorsWrite(list, self, who, sizeof who)) {
      snprintf(why, whySize,
               "%s can be changed by %s, not only by the administrators and the system; give "
               "the folder %s the access list of the service's data folder (the installer does "
               "it), or install into Program Files",
               path, who, folder);
      return false;
    }
  }
  return true;
}
