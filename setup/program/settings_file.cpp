// The program's side of the settings file: the connect mode the reader found, and what the
// writer takes from the window (the printer chosen in the list and the connect mode).
#include <cstring>

#include "setup/program/quorvex_program.h"

void QuorvexProgram::ApplyStoredMode(bool fileRead) {
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

void QuorvexProgram::OnSaveSetting() {
  Settings& s = st.settings;
  s.SavePrinterChosen = s.BT_SelPort >= 0 && s.BT_SelPort < kPortCount;
  if (s.SavePrinterChosen) {
    view.ChosenPrinter(s.ChosenPrinter, sizeof s.ChosenPrinter);
    s.ChosenPrinter[sizeof s.ChosenPrinter - 1] = '\0';
  }
  s.SaveManual = !view.AutoModeChosen();
  if (!::OnSaveSetting(s, st.szIniPath)) view.MessageBox(" FAILED to Save Setting");
}

bool QuorvexProgram::ReloadSettings() {
  bool read = LoadSetting(st.settings, st.szIniPath);
  ApplyStoredMode(read);
  CopyField(st.szBaudrate, st.settings.BT_Baudrate);
  // Every workflow indexes the four records with the port; a file can hold anything.
  if (st.BT_SelPort < 0 || st.BT_SelPort >= kPortCount) st.BT_SelPort = 0;
  PublishSelHostLeads();
  return read;
}
