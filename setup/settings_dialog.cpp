// The program's side of the settings file: the connect mode the reader found, and what the
// writer takes from the dialog (the printer chosen in the list and the connect mode).
#include <cstring>

#include "setup/QuorvexDlg.h"

void CQuorvexDlg::ApplyStoredMode(bool fileRead) {
  if (!fileRead) {
    OnManual();  // no file: Manual
    return;
  }
  if (!st.bFirstLoad) return;  // the stored mode counts only until it has been applied
  if (std::strcmp(st.settings.BT_Connect, "AUTO") == 0)
    OnAuto();
  else
    OnManual();
}

void CQuorvexDlg::OnSaveSetting() {
  Settings& s = st.settings;
  platform::DialogControls& c = Controls();
  s.SavePrinterChosen = s.BT_SelPort >= 0 && s.BT_SelPort < kPortCount;
  if (s.SavePrinterChosen) {
    int sel = c.LbGetCurSel(IDC_PRINTER_LIST);
    if (sel < 0)
      CopyField(s.ChosenPrinter, "NONE");
    else
      c.LbGetText(IDC_PRINTER_LIST, sel, s.ChosenPrinter, sizeof s.ChosenPrinter);
    s.ChosenPrinter[sizeof s.ChosenPrinter - 1] = '\0';
  }
  s.SaveManual = !c.IsDlgButtonChecked(IDC_AUTO);
  if (!::OnSaveSetting(s, st.szIniPath)) MessageBox(" FAILED to Save Setting");
}
