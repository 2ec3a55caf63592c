// The application object of the dialog stand-in: the flavour's entry point constructs it and
// runs InitInstance; a false result ends the process without a message loop of its own.
#pragma once

namespace fw {

class CWinApp {
 public:
  virtual ~CWinApp() = default;
  virtual bool InitInstance() = 0;
};

// Hosting of embedded controls and three-dimensional control drawing: the platform's dialogs
// already draw that way, so these keep the start-up's shape without doing anything.
inline void AfxEnableControlContainer() {}
inline void Enable3dControls() {}

}  // namespace fw
