// The setup program's main dialog: the framework layer over the program (program/).
//
// One CQuorvexDlg per process (tests make as many as they like), built on the seams in
// QuorvexSeams, so that the same code runs on a real window under Windows and on the
// headless dialog of the host tests.
//
// Map of setup/ (calls go down the list; the program reaches the dialog only via SetupView):
//   win32/main.cpp       entry: builds the Windows seams, runs CQuorvexApp (dialog/QuorvexApp.*)
//   The dialog layer (dialog/): the only files that know the framework and the controls.
//   QuorvexApp.cpp       runs CQuorvexDlg modally through framework/ (afxdialog.*: message
//                        map routing, data exchange; win32_modal/host_modal: the window loop)
//   QuorvexDlg.h/.cpp    CQuorvexDlg: start-up (OnInitDialog as named steps), port view,
//                        frame (About, icon, help); it is the program's SetupView
//   controls.cpp         message map, handlers that read controls, the SetupView methods
//   The program layer (program/): no framework type; reports through SetupView only.
//   quorvex_program.h    QuorvexProgram, its state (QuorvexState), seams, SetupView
//   program.cpp          status list length, result texts, port name, tear-down
//   workflows.cpp        port probe, query and connect through the library, with reloads
//   settings_file.cpp    the stored connect mode after a load, the choices before a save
//   switches.cpp         the PlaySound and AutoRun switches and the BTiniPath store
//   monitor.cpp/.h       the connection-state thread; posts its news through the view
//   res/                 resources, the table of the main dialog's controls, the help text
// Below all of them: settings/ (the file), protocol/ (the driver's words), platform/ (seams).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/dialog_controls.h"
#include "setup/framework/afxdialog.h"
#include "setup/program/quorvex_program.h"
#include "setup/res/resource.h"

// The dialog: message map, data exchange, the frame, and the view the program reports to.
class CQuorvexDlg : public fw::CDialog, public SetupView, public QuorvexProgram {
 public:
  CQuorvexDlg(const QuorvexSeams& seams, int argc, const char* const* argv);
  ~CQuorvexDlg() override;

  // Framework overrides.
  void DoDataExchange(fw::CDataExchange* pDX) override;
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  // Window messages.
  bool OnSysCommand(uintptr_t id, intptr_t lParam, intptr_t* result);
  bool OnPaint(uintptr_t, intptr_t, intptr_t* result);
  bool OnQueryDragIcon(uintptr_t, intptr_t, intptr_t* result);
  bool OnDestroyMsg(uintptr_t, intptr_t, intptr_t* result);  // WM_DESTROY: runs OnDestroy
  bool OnCtlColor(uintptr_t, intptr_t lParam, intptr_t* result);  // lParam: fw::CtlColor*
  void OnDestroy() { Shutdown(); }

  void OnShowHelpText();

  // Control handlers that read the controls.
  void OnSelchangeComPort();
  void OnEditchangeComPort();
  void OnSelchangePrinter();
  void OnStateLabels();

  // SetupView.
  void AppendStatusLine(const char* text, bool dropOldest) override;
  void MessageBox(const char* text) override { Controls().MessageBox(text); }
  void ShowPortSetting() override;
  void EnableMainButtons(bool enable) override;
  void SetQueryCaption(const char* text) override { Controls().SetText(IDC_QUERY, text); }
  void SelectPort(int index) override { Controls().CbSetCurSel(IDC_COMPORT, index); }
  void ShowConnectMode(bool autoMode) override;
  void ShowPlaySound(bool on) override;
  void ShowAutoRun(bool on) override;
  bool AutoModeChosen() override { return Controls().IsDlgButtonChecked(IDC_AUTO); }
  bool PlaySoundChosen() override { return Controls().IsDlgButtonChecked(IDC_PLAYSOUND_ON); }
  bool AutoRunChosen() override { return Controls().IsDlgButtonChecked(IDC_AUTORUN_ON); }
  void ChosenPrinter(char* out, size_t size) override;
  void PostMonitorNews() override;

  char m_strPrinter[fw::kLbTextSize] = {};
  void* m_hIcon = nullptr;

 protected:
  bool RouteCommand(int id, int code) override;
  bool RouteMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, intptr_t* result) override;
};

class CAboutDlg : public fw::CDialog {
 public:
  CAboutDlg() : fw::CDialog(IDD_ABOUTBOX) {}

 protected:
  bool RouteCommand(int, int) override { return false; }
  bool RouteMessage(uint32_t, uintptr_t, intptr_t, intptr_t*) override { return false; }
};
