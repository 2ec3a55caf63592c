// Stand-ins for the workflows until setup/workflows.cpp exists (the build then drops this
// file): no port is probed and the library is never called.
#include "setup/QuorvexDlg.h"

void CQuorvexDlg::SetComTimeouts(void*, uint32_t) {}
int CQuorvexDlg::OnOpencom() { return 0; }
void CQuorvexDlg::OnClosecom() {}
void CQuorvexDlg::OnQuery() {}
void CQuorvexDlg::OnConnectPrinter() {
  EnableMainButtons(false);
  OnAuto();
  EnableMainButtons(true);
}
void CQuorvexDlg::OnAuto() {
  Controls().CheckRadioButton(IDC_AUTO, IDC_MANUAL, IDC_AUTO);
  if (st.bFirstLoad) {
    st.bFirstLoad = 0;
    return;
  }
  AutoConnect();
}
void CQuorvexDlg::AutoConnect() {}
