// Version records: GetFileVersionInfoSizeA, GetFileVersionInfoA, VerQueryValueA of the root.
#include "platform/win32/windows_names.h"

#include "platform/file_version.h"

namespace platform {

namespace {

class Win32FileVersions : public FileVersionApi {
 public:
  uint32_t GetFileVersionInfoSize(const char* path) override {
    DWORD ignored = 0;
    return ::GetFileVersionInfoSizeA(path, &ignored);
  }
  bool GetFileVersionInfo(const char* path, uint32_t size, void* data) override {
    return ::GetFileVersionInfoA(path, 0, size, data) != 0;
  }
  bool QueryFileVersion(const void* data, uint32_t* ms, uint32_t* ls) override {
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(data, "\\", reinterpret_cast<void**>(&info), &len) || !info ||
        len < sizeof(VS_FIXEDFILEINFO))
      return false;
    *ms = info->dwFileVersionMS;
    *ls = info->dwFileVersionLS;
    return true;
  }
};

// Built before any code runs (no guarded local static, which would bring in the
// runtime's exception support).
Win32FileVersions theVersions;

}  // namespace

FileVersionApi& SystemFileVersions() { return theVersions; }

}  // namespace platform
