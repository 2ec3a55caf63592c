// Safe replacement on Windows: a temporary file that GetTempFileNameA creates under a name
// nobody else uses, in the target's folder, written and flushed, then put in the target's
// place with ReplaceFileA, which keeps the target's attributes and security. Another
// process that holds the target open makes the replace fail for a moment, so it is retried;
// when it never succeeds, or when the folder takes no new file at all, the bytes are
// written in place, which is what a plain save would have done.
#include "platform/file_replace.h"

#include <windows.h>

#include <cstring>

namespace platform {
namespace {

constexpr int kReplaceAttempts = 5;
constexpr DWORD kReplacePauseMs = 50;

// Writes the whole of bytes into an opened file, ends the file there and closes it.
bool WriteWhole(HANDLE h, const void* bytes, size_t len) {
  if (h == INVALID_HANDLE_VALUE) return false;
  const char* p = static_cast<const char*>(bytes);
  bool ok = true;
  while (ok && len > 0) {
    DWORD chunk = len > 0x10000 ? 0x10000 : static_cast<DWORD>(len);
    DWORD written = 0;
    ok = WriteFile(h, p, chunk, &written, nullptr) && written == chunk;
    p += written;
    len -= written;
  }
  ok = ok && SetEndOfFile(h) && FlushFileBuffers(h);
  return CloseHandle(h) && ok;
}

// Beside whoever holds the file open; an existing file keeps its attributes and security.
bool WriteInPlace(const char* target, const void* bytes, size_t len) {
  return WriteWhole(CreateFileA(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                    bytes, len);
}

bool Replace(const char* target, const char* tmp) {
  const DWORD moveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  // A first save has no old file whose identity could be kept.
  if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES &&
      GetLastError() == ERROR_FILE_NOT_FOUND)
    return MoveFileExA(tmp, target, moveFlags) != 0;
  if (ReplaceFileA(target, tmp, nullptr, 0, nullptr, nullptr)) return true;
  DWORD error = GetLastError();
  // The old file has already left the target's name: only the move is left to do.
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
    return MoveFileExA(tmp, target, moveFlags) != 0;
  SetLastError(error);
  return false;
}

bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

}  // namespace

bool WriteFileReplacing(const char* target, const void* bytes, size_t len) {
  if (!target || (!bytes && len > 0)) return false;
  // The target's folder with its last separator ("." for a bare name).
  char folder[MAX_PATH] = ".";
  size_t cut = std::strlen(target);
  while (cut > 0 && target[cut - 1] != '\\' && target[cut - 1] != '/' && target[cut - 1] != ':')
    --cut;
  if (cut >= sizeof folder) return WriteInPlace(target, bytes, len);
  if (cut > 0) {
    std::memcpy(folder, target, cut);
    folder[cut] = '\0';
  }

  char tmp[MAX_PATH];
  if (!GetTempFileNameA(folder, "Qvx", 0, tmp)) return WriteInPlace(target, bytes, len);
  // Nothing of the target is touched until the temporary file is complete on disk.
  if (!WriteWhole(CreateFileA(tmp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr),
                  bytes, len)) {
    DeleteFileA(tmp);
    return false;
  }
  for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
    if (Replace(target, tmp)) return true;
    if (!HeldByAnother(GetLastError())) break;
    Sleep(kReplacePauseMs);
  }
  bool ok = WriteInPlace(target, bytes, len);
  DeleteFileA(tmp);
  return ok;
}

}  // namespace platform
