// The application object of the dialog stand-in: the flavour's entry point constructs it and
// runs InitInstance; a false result ends the process without a message loop of its own.
#pragma once

namespace fw {

class CWinApp {
 public:
  virtual ~CWinApp() = default;
  virtual bool InitInstance() = 0;
};

}  // namespace fw
