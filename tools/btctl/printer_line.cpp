#include "tools/btctl/printer_line.h"

#ifdef _WIN32

platform::SerialLineApi* PrinterLine() { return &platform::SystemSerialLine(); }

#else
#include <dlfcn.h>

#include <cstdlib>

platform::SerialLineApi* PrinterLine() {
  if (const char* plugin = std::getenv("MENDALIX_DEVICES")) {
    if (void* so = dlopen(plugin, RTLD_NOW | RTLD_LOCAL)) {
      using Provider = void* (*)();
      if (auto provide = reinterpret_cast<Provider>(dlsym(so, "MendalixSerialLine")))
        return static_cast<platform::SerialLineApi*>(provide());
    }
  }
  return nullptr;
}
#endif
