#include "setup/dialog/QuorvexApp.h"

bool CQuorvexApp::InitInstance() {
  CQuorvexDlg dlg(seams_, argc_, argv_);
  dlg.DoModal();
  return false;  // no message loop of our own: the process ends
}
