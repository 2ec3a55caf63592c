// The version record of a file (GetFileVersionInfoSizeA, GetFileVersionInfoA, VerQueryValueA).
#pragma once
#include <cstdint>

namespace platform {

class FileVersionApi {
 public:
  virtual ~FileVersionApi() = default;
  // Size of the file's version record; 0 when the file is missing or has none.
  virtual uint32_t GetFileVersionInfoSize(const char* path) = 0;
  // Reads the record into data (size bytes); false on failure.
  virtual bool GetFileVersionInfo(const char* path, uint32_t size, void* data) = 0;
  // VerQueryValueA(data, "\\"): the fixed file version words; false when there is no root block.
  virtual bool QueryFileVersion(const void* data, uint32_t* ms, uint32_t* ls) = 0;
};

// The Win32 adapter (win32 flavour only; host tests use the fakes in tests/support/).
FileVersionApi& SystemFileVersions();

}  // namespace platform
