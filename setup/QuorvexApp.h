// The application object: runs the main dialog modally and then lets the process end.
#pragma once
#include "setup/QuorvexDlg.h"
#include "setup/framework/afxapp.h"

class CQuorvexApp : public fw::CWinApp {
 public:
  CQuorvexApp(const QuorvexSeams& seams, int argc, const char* const* argv)
      : seams_(seams), argc_(argc), argv_(argv) {}
  bool InitInstance() override;

 private:
  QuorvexSeams seams_;
  int argc_;
  const char* const* argv_;
};
