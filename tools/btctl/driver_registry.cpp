#include "tools/btctl/driver_registry.h"

#ifdef _WIN32

platform::RegistryApi& DriverRegistry() { return platform::SystemRegistry(); }

#else
#include <dlfcn.h>

#include <cstdlib>

platform::RegistryApi& DriverRegistry() {
  // The same object the host library loads for its devices (dlopen hands out one copy).
  if (const char* plugin = std::getenv("MENDALIX_DEVICES")) {
    if (void* so = dlopen(plugin, RTLD_NOW | RTLD_LOCAL)) {
      using Provider = void* (*)();
      if (auto provide = reinterpret_cast<Provider>(dlsym(so, "MendalixRegistryApi")))
        if (void* registry = provide()) return *static_cast<platform::RegistryApi*>(registry);
    }
  }
  return platform::SystemRegistry();
}
#endif
