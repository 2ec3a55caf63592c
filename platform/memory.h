// Whether this process may read memory it was handed. The library's calls take automation
// VARIANTs whose form the first bytes decide, so a narrow text that merely starts like one
// would otherwise have a stray pointer followed.
#pragma once
#include <cstddef>

namespace platform {

// How many bytes from p on, up to `want`, can be read now: 0 for a null pointer, fewer than
// `want` where unmapped, inaccessible or guard pages begin. The host build trusts its
// callers and answers `want` for any non-null pointer.
size_t ReadableBytes(const void* p, size_t want);

}  // namespace platform
