// The five exports, bound to the one library state of this process.
//
// Windows: the state is built when the loader attaches the library and torn down when it
// detaches (DllMain). Host: it is built at the first call, so that a test or a tool can first
// say which devices it serves, and torn down when the shared object unloads.
#include <new>

#include "library/exported_calls.h"
#include "library/include/Mendalix.h"
#include "library/mendalix_app.h"
#include "protocol/driver_protocol.h"

#ifndef _WIN32
#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#endif

// The public header names the driver's link status words itself, since it ships alone.
static_assert(MENDALIX_LINK_OK == LINK_OK && MENDALIX_LINK_NO_DRIVER == LINK_NO_DRIVER &&
                  MENDALIX_LINK_DISCONNECTED == LINK_DISCONNECTED &&
                  MENDALIX_LINK_HOST_DONGLE_FAILED == LINK_HOST_DONGLE_FAILED &&
                  MENDALIX_LINK_PRINTER_CONN_FAILED == LINK_PRINTER_CONN_FAILED &&
                  MENDALIX_LINK_ANSWER_BACK_FAILED == LINK_ANSWER_BACK_FAILED &&
                  MENDALIX_LINK_MAINBOARD_UNSUPPORTED == LINK_MAINBOARD_UNSUPPORTED,
              "Mendalix.h and protocol/link_status.h disagree");

// And the driver's registry names and published states, which applications read.
constexpr bool SameText(const char* a, const char* b) {
  return *a == *b && (*a == '\0' || SameText(a + 1, b + 1));
}
static_assert(MENDALIX_LINK_STATE_CONNECTED == LINK_OK &&
                  MENDALIX_LINK_STATE_NONE == LINK_STATE_NONE &&
                  SameText(MENDALIX_REG_KEY, SARNO_PARAMETERS_KEY) &&
                  SameText(MENDALIX_REG_INI_PATH, SARNO_INI_PATH_VALUE) &&
                  SameText(MENDALIX_REG_CONNECT_STATE, SARNO_CONNECT_STATE_VALUE) &&
                  SameText(MENDALIX_REG_PLAY_SOUND, SARNO_PLAY_SOUND_VALUE),
              "Mendalix.h and protocol/driver_protocol.h disagree");

namespace {

alignas(MendalixState) unsigned char stateStorage[sizeof(MendalixState)];
alignas(CMendalixApp) unsigned char appStorage[sizeof(CMendalixApp)];
MendalixState* theState = nullptr;
CMendalixApp* theApp = nullptr;

void StartProcessInstance(platform::DeviceApi& devices) {
  theState = new (stateStorage)
      MendalixState(devices, platform::SystemClock(), platform::SystemThreads());
  theApp = new (appStorage) CMendalixApp(*theState);
}

void EndProcessInstance(bool processEnding) {
  if (!theApp) return;
  theApp->ExitInstance(processEnding);
  theApp->~CMendalixApp();
  theState->~MendalixState();
  theApp = nullptr;
  theState = nullptr;
}

#ifdef _WIN32
MendalixState& State() { return *theState; }
#else
platform::DeviceApi* hostDevices = nullptr;
std::once_flag started;

platform::DeviceApi& HostDevices() {
  if (hostDevices) return *hostDevices;
  if (const char* module = getenv("MENDALIX_DEVICES")) {
    if (void* so = dlopen(module, RTLD_NOW | RTLD_LOCAL)) {
      using Provider = void* (*)();
      if (auto provide = reinterpret_cast<Provider>(dlsym(so, "MendalixDeviceApi")))
        if (void* api = provide()) return *static_cast<platform::DeviceApi*>(api);
    }
  }
  return platform::SystemDevices();
}

MendalixState& State() {
  std::call_once(started, [] { StartProcessInstance(HostDevices()); });
  return *theState;
}

__attribute__((destructor)) void UnloadLibrary() { EndProcessInstance(false); }
#endif

}  // namespace

extern "C" {

int MENDALIX_API BT_OnQuery(const void* port, const void* text) {
  return CallQuery(State(), port, text);
}
int MENDALIX_API BT_OnConnect(const void* port, const void* address) {
  return CallConnect(State(), port, address);
}
int MENDALIX_API BT_OnMonitor(const void* port, const void* command) {
  return CallMonitor(State(), port, command);
}
int MENDALIX_API BT_OnReset(const void* port, const void* text) {
  return CallReset(State(), port, text);
}
int MENDALIX_API BT_long(int* value) { return CallLong(value); }

#ifdef _WIN32
// Runs start-up when the loader attaches the library and shutdown when it detaches.
// reserved is non-null at detach when the whole process ends: its other threads are gone.
int __stdcall DllMain(void* instance, unsigned long reason, void* reserved) {
  (void)instance;
  const unsigned long kProcessDetach = 0, kProcessAttach = 1;
  if (reason == kProcessAttach) StartProcessInstance(platform::SystemDevices());
  if (reason == kProcessDetach) EndProcessInstance(reserved != nullptr);
  return 1;
}
#else
int MendalixHostUseDevices(void* deviceApi) {
  if (theState) return 0;
  hostDevices = static_cast<platform::DeviceApi*>(deviceApi);
  return 1;
}
#endif

}  // extern "C"
