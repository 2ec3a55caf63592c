// What the settings reader and writer ask of the dialog: the connect mode and the printer
// chosen in the list.
#include <cstring>

#include "setup/QuorvexDlg.h"

void CQuorvexDlg::ApplyConnectMode(const char* mode) {
  if (!st.bFirstLoad) return;  // the stored mode counts only until it has been applied
  if (std::strcmp(mode, "AUTO") == 0)
    OnAuto();
  else
    OnManual();
}

void CQuorvexDlg::ApplyDefaultMode() { OnManual(); }

void CQuorvexDlg::SelectedPrinter(char* out, size_t size) {
  platform::DialogControls& c = Controls();
  int sel = c.LbGetCurSel(IDC_PRINTER_LIST);
  if (sel < 0) {
    CopyField(out, size, "NONE");
    return;
  }
  c.LbGetText(IDC_PRINTER_LIST, sel, out, size);
}

bool CQuorvexDlg::AutoModeSelected() { return Controls().IsDlgButtonChecked(IDC_AUTO); }

void CQuorvexDlg::ReportSaveFailed() { MessageBox(" FAILED to Save Setting"); }
