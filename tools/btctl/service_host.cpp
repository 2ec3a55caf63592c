// The host has no service manager: every verb says so.
#include <cstdio>

#include "tools/btctl/service_command.h"

namespace service {
namespace {
constexpr long kNotSupported = 50;   // ERROR_NOT_SUPPORTED
}  // namespace

long ProgramPath(char*, size_t) { return kNotSupported; }
bool ProgramTrusted(const char*, char*, size_t) { return true; }
long DataFolder(char* out, size_t size, const char** why, const char*, const char*) {
  snprintf(out, size, "(none)");
  *why = "exists only on Windows";
  return kNotSupported;
}
long FolderAccess(char*, size_t, char*, size_t) { return kNotSupported; }
long Install(const char*, const char*) { return kNotSupported; }
long Uninstall() { return kNotSupported; }
long Start() { return kNotSupported; }
long Stop(uint32_t*, uint32_t*) { return kNotSupported; }
int EndConsoleWatches(const char*, int*) { return 0; }
int EndSetupPrograms(const char*, int*) { return 0; }
long SendTryNow() { return kNotSupported; }
long Query(char*, size_t) { return kNotSupported; }
long Run(const char*, WatchSetup&) { return kNotSupported; }
const char* ErrorText(long, char* out, size_t size) {
  snprintf(out, size, "services exist only on Windows");
  return out;
}
}  // namespace service
