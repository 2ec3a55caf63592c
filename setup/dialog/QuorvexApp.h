// The application: runs the main dialog modally and then lets the process end.
#pragma once
#include "setup/dialog/QuorvexDlg.h"

class CQuorvexApp {
 public:
  CQuorvexApp(const QuorvexSeams& seams, int argc, const char* const* argv)
      : seams_(seams), argc_(argc), argv_(argv) {}
  // Always false: the program has no message loop of its own.
  bool InitInstance();

 private:
  QuorvexSeams seams_;
  int argc_;
  const char* const* argv_;
};
