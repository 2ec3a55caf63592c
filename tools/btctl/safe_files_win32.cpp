// Windows: CreateFileA with FILE_FLAG_OPEN_REPARSE_POINT opens a link itself rather than its
// target, so that GetFileInformationByHandle can refuse it; MoveFileExA replaces a name.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>

#include "tools/btctl/program_trust.h"
#include "tools/btctl/safe_files.h"

namespace {

// Protected (no inherited entries): the system account and administrators full control,
// users read and list, each passed on to files and subfolders. Owner: the administrators.
const char kServiceFolderSddl[] =
    "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

bool IsLinkOrShared(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1;
}

bool Listed(const char* name, const char* const* names) {
  for (; names && *names; ++names)
    if (lstrcmpiA(name, *names) == 0) return true;
  return false;
}

bool PlainFile(const char* path) {
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool plain = GetFileInformationByHandle(h, &info) && !IsLinkOrShared(info) &&
               !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(h);
  return plain;
}

// Removes from folder whatever is not one of keep's plain files: a link goes as a link (its
// target stays), a folder only when empty or a link. False with *why when something stays.
bool Empty(const char* folder, const char* const* keep, const char** why) {
  char pattern[MAX_PATH], path[MAX_PATH];
  snprintf(pattern, sizeof pattern, "%s\\*", folder);
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return true;
  bool ok = true;
  do {
    const char* name = found.cFileName;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    snprintf(path, sizeof path, "%s\\%s", folder, name);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!RemoveDirectoryA(path)) ok = false;
    } else if (!Listed(name, keep) || !PlainFile(path)) {
      SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
      if (!DeleteFileA(path)) ok = false;
    }
  } while (FindNextFileA(find, &found));
  FindClose(find);
  if (!ok) *why = "holds what the service did not write, and it cannot be removed";
  return ok;
}

}  // namespace

struct SafeFile {
  HANDLE h;
};

SafeFile* OpenToAppend(const char* path, uint64_t* size, const char** why) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *why = "cannot be opened";
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info) || IsLinkOrShared(info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(h);
    *why = "is a link or has another name; not followed";
    return nullptr;
  }
  *size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  SetFilePointer(h, 0, nullptr, FILE_END);
  return new SafeFile{h};
}

bool AppendTo(SafeFile* f, const void* bytes, size_t len) {
  DWORD done = 0;
  return WriteFile(f->h, bytes, static_cast<DWORD>(len), &done, nullptr) && done == len;
}

void CloseFile(SafeFile* f) {
  if (!f) return;
  CloseHandle(f->h);
  delete f;
}

bool MoveOver(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool ReplaceWhole(const char* path, const void* bytes, size_t len) {
  char folder[MAX_PATH], temp[MAX_PATH];
  snprintf(folder, sizeof folder, "%s", path);
  char* slash = strrchr(folder, '\\');
  if (!slash) slash = strrchr(folder, '/');
  if (slash)
    *slash = '\0';
  else
    snprintf(folder, sizeof folder, ".");
  if (!GetTempFileNameA(folder, "qlw", 0, temp)) return false;
  HANDLE h = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  bool ok = h != INVALID_HANDLE_VALUE;
  if (ok) {
    DWORD done = 0;
    ok = WriteFile(h, bytes, static_cast<DWORD>(len), &done, nullptr) && done == len &&
         FlushFileBuffers(h);
    CloseHandle(h);
  }
  ok = ok && MoveOver(temp, path);
  if (!ok) DeleteFileA(temp);
  return ok;
}

bool MakeServiceFolder(const char* folder, const char* const* ownFiles, const char** why) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kServiceFolderSddl, SDDL_REVISION_1,
                                                            &sd, nullptr)) {
    *why = "its access list cannot be built";
    return false;
  }
  SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
  bool ok = CreateDirectoryA(folder, &sa) != 0;
  if (!ok && GetLastError() == ERROR_ALREADY_EXISTS) {
    // Someone may have made it first, to own it: it gets our owner and access list, unless it is a link.
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      *why = "is not a plain folder";
    } else {
      // What others could write there before is not the service's: all of it goes.
      const char* const* keep = OnlyAdministratorsCanWrite(folder) ? ownFiles : nullptr;
      ok = SetFileSecurityA(folder, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, sd);
      if (!ok)
        *why = "its owner and access list cannot be set";
      else
        ok = Empty(folder, keep, why);
    }
  } else if (!ok) {
    *why = "cannot be created";
  }
  LocalFree(sd);
  return ok;
}
