// Safe replacement on Windows: "<target>.tmp" in the same folder, flushed, then moved over
// the target with MoveFileExA. Another process that holds the target open makes the move
// fail for a moment, so it is retried; when it never succeeds the bytes are written in
// place, which is what a plain save would have done.
#include "platform/file_replace.h"

#include <windows.h>

#include <cstdio>

namespace platform {
namespace {

constexpr int kMoveAttempts = 5;
constexpr DWORD kMovePauseMs = 50;

// Writes the whole file, letting others share it as share says; *created tells whether the
// file was opened at all, so that a caller removes only a file of its own.
bool WriteWhole(const char* path, const void* bytes, size_t len, DWORD share, bool* created) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  *created = h != INVALID_HANDLE_VALUE;
  if (!*created) return false;
  const char* p = static_cast<const char*>(bytes);
  bool ok = true;
  while (ok && len > 0) {
    DWORD chunk = len > 0x10000 ? 0x10000 : static_cast<DWORD>(len);
    DWORD written = 0;
    ok = WriteFile(h, p, chunk, &written, nullptr) && written == chunk;
    p += written;
    len -= written;
  }
  if (ok) ok = FlushFileBuffers(h) != 0;
  return CloseHandle(h) && ok;
}

bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

}  // namespace

bool WriteFileReplacing(const char* target, const void* bytes, size_t len) {
  if (!target || (!bytes && len > 0)) return false;
  char tmp[MAX_PATH + 8];
  int n = std::snprintf(tmp, sizeof tmp, "%s.tmp", target);
  if (n < 0 || static_cast<size_t>(n) >= sizeof tmp) return false;

  // Nothing is touched until the temporary file is complete on disk.
  bool created = false;
  if (!WriteWhole(tmp, bytes, len, 0, &created)) {
    if (created) DeleteFileA(tmp);
    return false;
  }
  for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
    if (MoveFileExA(tmp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    if (!HeldByAnother(GetLastError())) break;
    Sleep(kMovePauseMs);
  }
  // In place, beside whoever holds the target open.
  bool ok = WriteWhole(target, bytes, len, FILE_SHARE_READ | FILE_SHARE_WRITE, &created);
  DeleteFileA(tmp);
  return ok;
}

}  // namespace platform
