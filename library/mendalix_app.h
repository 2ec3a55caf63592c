// The library's application object: its construction is the start-up when a process loads
// the library, ExitInstance the shutdown when it unloads.
#pragma once
#include "library/mendalix_state.h"

class CMendalixApp {
 public:
  // Start-up: finds the control devices, builds the port map, switches monitoring on for
  // every device and loads the settings file.
  explicit CMendalixApp(MendalixState& st);
  // Shutdown: ends the monitor reader, makes sure it has left the library's code, closes
  // the devices. Returns 0. Safe under the Windows loader lock: it never waits on a thread.
  // processEnding: the whole process ends and its other threads are already gone.
  int ExitInstance(bool processEnding = false);

 private:
  MendalixState& st_;
};
