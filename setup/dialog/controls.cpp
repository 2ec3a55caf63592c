// The main dialog's message map and its control handlers: port and printer choice, connect
// mode, status list, result messages, state labels, EXIT and cancel.
#include <cstring>
#include <initializer_list>

#include "setup/dialog/QuorvexDlg.h"

using Dlg = CQuorvexDlg;
using fw::kBnClicked;
using fw::kCbnEditChange;
using fw::kCbnSelChange;
using fw::kLbnSelChange;
using fw::OnCommand;
using fw::OnMessage;

// The message map, in the order of the table of controls. The developer buttons (Connect,
// data mode, Disconnect, host reset, test, baud rate) have no handler: a click does nothing.
static const fw::MessageMapEntry<Dlg> kMessageMap[] = {
    OnMessage<Dlg>(fw::kWmSysCommand, &Dlg::OnSysCommand),
    OnMessage<Dlg>(fw::kWmPaint, &Dlg::OnPaint),
    OnMessage<Dlg>(fw::kWmQueryDragIcon, &Dlg::OnQueryDragIcon),
    OnMessage<Dlg>(fw::kWmDestroy, &Dlg::OnDestroyMsg),
    OnMessage<Dlg>(fw::kWmCtlColorStatic, &Dlg::OnCtlColor),
    OnCommand<Dlg>(IDC_SAVESETTING, kBnClicked, &Dlg::OnSaveSetting),
    OnCommand<Dlg>(IDC_PRINTER_LIST, kLbnSelChange, &Dlg::OnSelchangePrinter),
    OnCommand<Dlg>(IDC_QUERY, kBnClicked, &Dlg::OnQuery),
    OnCommand<Dlg>(IDC_OPENCOM, kBnClicked, &Dlg::OnOpencomClicked),
    OnCommand<Dlg>(IDC_CLOSECOM, kBnClicked, &Dlg::OnClosecom),
    OnCommand<Dlg>(IDC_COMPORT, kCbnSelChange, &Dlg::OnSelchangeComPort),
    OnCommand<Dlg>(IDC_COMPORT, kCbnEditChange, &Dlg::OnEditchangeComPort),
    OnCommand<Dlg>(IDC_AUTO, kBnClicked, &Dlg::OnAuto),
    OnCommand<Dlg>(IDC_MANUAL, kBnClicked, &Dlg::OnManual),
    OnCommand<Dlg>(IDC_HELPTEXT, kBnClicked, &Dlg::OnShowHelpText),
    OnCommand<Dlg>(IDC_CONNECT_PRINTER, kBnClicked, &Dlg::OnConnectPrinter),
    OnCommand<Dlg>(IDC_STATE_COM1, kBnClicked, &Dlg::OnStateLabels),
    OnCommand<Dlg>(IDC_THREADMSG, kBnClicked, &Dlg::OnThreadMsg),
    OnCommand<Dlg>(IDC_PLAYSOUND_ON, kBnClicked, &Dlg::OnPlaySoundOn),
    OnCommand<Dlg>(IDC_PLAYSOUND_OFF, kBnClicked, &Dlg::OnPlaySoundOff),
    OnCommand<Dlg>(IDC_AUTORUN_ON, kBnClicked, &Dlg::OnAutoRunOn),
    OnCommand<Dlg>(IDC_AUTORUN_OFF, kBnClicked, &Dlg::OnAutoRunOff),
};

bool CQuorvexDlg::RouteCommand(int id, int code) {
  return RouteCommandIn(this, kMessageMap, id, code);
}

bool CQuorvexDlg::RouteMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam,
                               intptr_t* result) {
  return RouteMessageIn(this, kMessageMap, msg, wParam, lParam, result);
}

void CQuorvexDlg::EnableMainButtons(bool enable) {
  for (int id : {IDC_AUTO, IDC_QUERY, IDOK, IDC_CONNECT_PRINTER}) Controls().Enable(id, enable);
}

void CQuorvexDlg::OnSelchangeComPort() { ChoosePort(Controls().CbGetCurSel(IDC_COMPORT)); }

void CQuorvexDlg::OnEditchangeComPort() {
  platform::DialogControls& c = Controls();
  int sel = c.CbGetCurSel(IDC_COMPORT);
  c.CbShowDropDown(IDC_COMPORT, false);
  // Typed text that names no entry leaves the port, and the text being typed, alone.
  if (sel < 0 || sel >= kPortCount) return;
  st.BT_SelPort = sel;
  MakeComPortName();
  ShowPortSetting();
}

void CQuorvexDlg::OnSelchangePrinter() {
  st.bSettingChanged = 1;
  platform::DialogControls& c = Controls();
  int sel = c.LbGetCurSel(IDC_PRINTER_LIST);
  if (sel < 0) return;
  char text[kFieldSize];
  c.LbGetText(IDC_PRINTER_LIST, sel, text, sizeof text);
  CopyField(st.settings.Port[st.BT_SelPort].Selprt, text);
}

void CQuorvexDlg::AppendStatusLine(const char* text, bool dropOldest) {
  platform::DialogControls& c = Controls();
  int at = c.LbInsertString(IDC_STATUS_LIST, -1, text);
  c.LbSetCurSel(IDC_STATUS_LIST, at);
  if (dropOldest) c.LbDeleteString(IDC_STATUS_LIST, 0);
}

void CQuorvexDlg::ShowConnectMode(bool autoMode) {
  Controls().CheckRadioButton(IDC_AUTO, IDC_MANUAL, autoMode ? IDC_AUTO : IDC_MANUAL);
}

void CQuorvexDlg::ShowPlaySound(bool on) {
  Controls().CheckRadioButton(IDC_PLAYSOUND_ON, IDC_PLAYSOUND_OFF,
                              on ? IDC_PLAYSOUND_ON : IDC_PLAYSOUND_OFF);
}

void CQuorvexDlg::ShowAutoRun(bool on) {
  Controls().CheckRadioButton(IDC_AUTORUN_ON, IDC_AUTORUN_OFF,
                              on ? IDC_AUTORUN_ON : IDC_AUTORUN_OFF);
}

void CQuorvexDlg::ChosenPrinter(char* out, size_t size) {
  platform::DialogControls& c = Controls();
  int sel = c.LbGetCurSel(IDC_PRINTER_LIST);
  if (sel < 0)
    CopyField(out, size, "NONE");
  else
    c.LbGetText(IDC_PRINTER_LIST, sel, out, size);
}

void CQuorvexDlg::PostMonitorNews() {
  Controls().PostCommand(IDC_THREADMSG);
  Controls().PostCommand(IDC_STATE_COM1);
}

void CQuorvexDlg::OnStateLabels() {
  for (int id = IDC_STATE_COM1; id <= IDC_STATE_COM4; ++id) Controls().SetText(id, "");
}

bool CQuorvexDlg::OnCtlColor(uintptr_t, intptr_t lParam, intptr_t* result) {
  auto* cc = reinterpret_cast<fw::CtlColor*>(lParam);
  if (!cc || cc->id < IDC_STATE_COM1 || cc->id > IDC_STATE_COM4) return false;
  uint32_t state = st.ConnectState[cc->id - IDC_STATE_COM1];
  const char* text = "DisConected";
  uint32_t colour = 0x6464FF;
  if (state == 0) {
    text = "Conected";
    colour = 0x64FF00;
  } else if (state == LINK_STATE_NONE) {
    text = "None";
    colour = 0xC8C8C8;
  }
  // Setting a label's text repaints it, which asks for its colours again: set the text only
  // when it differs, so that painting settles.
  char shown[32];
  Controls().GetText(cc->id, shown, sizeof shown);
  if (std::strcmp(shown, text) != 0) Controls().SetText(cc->id, text);
  cc->setBkColor = true;
  cc->bkColor = colour;
  *result = 0;
  return true;
}


void CQuorvexDlg::OnOK() {
  if (st.bSettingChanged || st.bQueried) {
    st.bSettingChanged = 0;
    st.bQueried = 0;
    OnSaveSetting();
  }
  OnClosecom();
  fw::CDialog::OnOK();
}

void CQuorvexDlg::OnCancel() {
  OnClosecom();
  fw::CDialog::OnCancel();
}
