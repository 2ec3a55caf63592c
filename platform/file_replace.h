// Safe replacement of a small file: the new content goes to a temporary file beside the
// target, and only a complete temporary file replaces the target, so a failure half-way
// leaves the old file intact. The target keeps its name and place.
#pragma once
#include <cstddef>

namespace platform {

// Writes bytes to target through "<target>.tmp". On Windows the replace is MoveFileExA with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH, retried a few times while another
// process holds the target; when it still cannot replace, the bytes are written in place.
// Returns true when the target holds the bytes.
bool WriteFileReplacing(const char* target, const void* bytes, size_t len);

}  // namespace platform
