// The program's entry: the platform's seams, the arguments, and the application object.
#include "platform/win32/windows_names.h"

#include <cstdlib>

#include "platform/comm.h"
#include "platform/sound.h"
#include "setup/dialog/QuorvexApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  QuorvexSeams seams;
  seams.registry = &platform::SystemRegistry();
  seams.modules = &platform::SystemModules();
  seams.versions = &platform::SystemFileVersions();
  seams.process = &platform::SystemProcess();
  seams.clock = &platform::SystemClock();
  seams.threads = &platform::SystemThreads();
  seams.comm = &platform::SystemComm();
  seams.sound = &platform::SystemSound();
  // The runtime's standard split of the command line; the program name is not an argument.
  CQuorvexApp app(seams, __argc - 1, __argv + 1);
  app.InitInstance();
  return 0;
}
