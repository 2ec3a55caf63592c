// Safe replacement of a small file: the new content goes to a temporary file beside the
// target, and only a complete temporary file replaces the target, so a failure half-way
// leaves the old file intact. The target keeps its name, its place and, where the platform
// allows, its attributes, permissions and owner.
#pragma once
#include <cstddef>

namespace platform {

// Writes bytes to target through a temporary file of a name nobody else uses, created in
// the target's folder (GetTempFileNameA on Windows, mkstemp on the host), so that no file
// of someone else's is ever written or removed. On Windows the replace is ReplaceFileA,
// which keeps the target's attributes and security, retried a few times while another
// process holds the target. When no temporary file can be created beside the target (a
// folder that takes no new files), or the target never lets itself be replaced, the bytes
// are written in place, as a plain save would. A temporary file that cannot be written
// whole fails the save and leaves the target untouched.
// Returns true when the target holds the bytes.
bool WriteFileReplacing(const char* target, const void* bytes, size_t len);

}  // namespace platform
