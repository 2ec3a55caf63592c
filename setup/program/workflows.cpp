// The two things a user does with the program: query the printers in range of a port's
// terminal dongle, and connect every port to the printer bound to it. Both first probe the
// selected serial port to learn whether it can be opened at all, then hand the work to the
// library and reload the settings file, where the findings arrive.
#include <cstdio>
#include <cstring>

#include "platform/comm.h"
#include "setup/program/quorvex_program.h"

namespace {

constexpr const char* kQueryOpenFailed =
    "3 FAILED to open COM: No BT_Host or port already opened by other program";
constexpr const char* kConnectOpenFailed =
    "1 FAILED to open COM: No BT_Host or port already opened by other program";
constexpr const char* kPortOpenFailed =
    "2 FAILED to open COM%d: No BT_Host or port already opened by other program";
// Shown when the library is not loaded and a workflow would need it: the same words the
// start-up uses, so the user recognises the cause.
constexpr const char* kNoLibrary = "Mendalix.dll  not found";
constexpr const char* kNone = "NONE";
// The status word of a query that made no call: the library's own "no driver installed".
// It carries no terminal dongle failure, so the report says what the file holds.
constexpr uint32_t kNoCallStatus = LINK_NO_DRIVER;

constexpr uint32_t kProbeBaudRate = 38400;
constexpr uint32_t kProbeReadTotalMs = 6000;
constexpr uint32_t kProbeWriteTotalMs = 1000;

bool IsNone(const char* text) { return std::strcmp(text, kNone) == 0; }

// The error naming the first two ports bound to one printer, into out; false when none are.
bool FindSharedPrinter(const Settings& s, char (&out)[kTextSize]) {
  for (int i = 0; i + 1 < kPortCount; ++i) {
    CopyField(out, s.Port[i].Selprt);
    if (IsNone(out)) continue;
    for (int j = i + 1; j < kPortCount; ++j) {
      if (std::strcmp(out, s.Port[j].Selprt) != 0) continue;
      std::snprintf(out, sizeof out, "Error:  COM%d, COM%d  select the same printer\n", i + 1,
                    j + 1);
      return true;
    }
  }
  return false;
}

}  // namespace

void QuorvexProgram::ReportMissingCall(const char* name) {
  // A library that loaded but lacks the call is named as such, not as missing.
  if (st.hInstCtrl)
    std::snprintf(st.szMsgBuf, sizeof st.szMsgBuf, "Mendalix.dll: %s not found", name);
  else
    CopyField(st.szMsgBuf, kNoLibrary);
  AddStatusLine(st.szMsgBuf);
  view.MessageBox(st.szMsgBuf);
}

void QuorvexProgram::SetComTimeouts(void* port, uint32_t readTotalTimeoutConstant) {
  // Every field is set below, so the write does not depend on the read succeeding.
  platform::CommTimeouts t{};
  seams.comm->GetTimeouts(port, &t);
  t.ReadIntervalTimeout = 0;
  t.ReadTotalTimeoutMultiplier = 0;
  t.ReadTotalTimeoutConstant = readTotalTimeoutConstant;
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = kProbeWriteTotalMs;
  seams.comm->SetTimeouts(port, t);
}

int QuorvexProgram::OnOpencom() {
  if (st.hComPort != platform::InvalidComm()) return 1;
  MakeComPortName();
  st.hComPort = seams.comm->Open(st.szComPort);
  if (st.hComPort == platform::InvalidComm()) return 0;

  // Only what was read goes back, changed in the five line settings; a block that could
  // not be read is not written.
  platform::CommState dcb;
  if (seams.comm->GetState(st.hComPort, &dcb)) {
    dcb.BaudRate = kProbeBaudRate;
    dcb.ByteSize = 8;
    dcb.Parity = platform::kNoParity;
    dcb.StopBits = platform::kOneStopBit;
    dcb.fRtsControl = platform::kRtsControlEnable;
    seams.comm->SetState(st.hComPort, dcb);
  }
  SetComTimeouts(st.hComPort, kProbeReadTotalMs);
  return 1;
}

void QuorvexProgram::OnClosecom() {
  if (st.hComPort == platform::InvalidComm()) return;
  seams.comm->Close(st.hComPort);
  st.hComPort = platform::InvalidComm();
}

void QuorvexProgram::OnQuery() {
  if (st.hComPort == platform::InvalidComm() && !OnOpencom()) {
    view.MessageBox(kQueryOpenFailed);
    return;
  }
  OnClosecom();  // the port is never held across a library call

  view.EnableMainButtons(false);
  view.SetQueryCaption("Waiting....");
  const int32_t queried = st.BT_SelPort;
  st.bQueried = 1;
  MakeComPortName();

  // Without the call the user is told why; the reload and the report still follow, from
  // what the file holds.
  uint32_t status = kNoCallStatus;
  if (st.BT_OnQuery)
    status = static_cast<uint32_t>(st.BT_OnQuery(st.szComPort, kNone));
  else
    ReportMissingCall("BT_OnQuery");
  if (status == 0) {
    FormatLinkResult(0, st.BT_SelPort + 1, st.szMsgBuf, sizeof st.szMsgBuf);
    AddStatusLine(st.szMsgBuf);
    view.MessageBox(st.szMsgBuf);
  }

  // The driver has written what it found into the port's block of the settings file; the
  // reload is the only way it reaches the dialog. The reload also takes the file's
  // BT_SelPort, but the dialog stays on the port it queried.
  ReloadSettings();  // also publishes the monitor's SelHost leads
  st.BT_SelPort = queried;
  MakeComPortName();

  const PortSetting& port = st.settings.Port[st.BT_SelPort];
  if (status & LINK_HOST_DONGLE_FAILED) {
    std::snprintf(st.szMsgBuf, sizeof st.szMsgBuf, "COM%d: Terminal Dongle Failed....",
                  st.BT_SelPort + 1);
    view.MessageBox(st.szMsgBuf);
  } else if (!IsNone(port.QueryPrt[0])) {
    std::snprintf(st.szMsgBuf, sizeof st.szMsgBuf, "Query:  %s Found printer", st.szComPort);
    AddStatusLine(st.szMsgBuf);
  } else {
    std::snprintf(st.szMsgBuf, sizeof st.szMsgBuf, "Query:  %s No Printer", st.szComPort);
    AddStatusLine(st.szMsgBuf);
    view.MessageBox("OnQuery:  No Printer !! ");
  }

  view.SetQueryCaption("Query Printer");
  view.ShowPortSetting();
  view.EnableMainButtons(true);
}

void QuorvexProgram::OnConnectPrinter() {
  view.EnableMainButtons(false);
  OnAuto();
  view.EnableMainButtons(true);
}

void QuorvexProgram::OnAuto() {
  view.ShowConnectMode(true);
  if (st.bFirstLoad) {
    // The first Auto after start-up only applies the mode; the program never connects on
    // its own.
    st.bFirstLoad = 0;
    return;
  }
  AutoConnect();
}

void QuorvexProgram::AutoConnect() {
  if (st.hComPort == platform::InvalidComm() && !OnOpencom()) {
    view.MessageBox(kConnectOpenFailed);
    return;
  }
  OnClosecom();

  if (st.bSettingChanged) {
    st.bSettingChanged = 0;
    OnSaveSetting();  // also takes the printer list's selection as the port's Selprt
  }

  // Two ports bound to one printer would fight over its link: refuse before connecting any.
  char pinBuf[kTextSize];
  if (FindSharedPrinter(st.settings, pinBuf)) {
    AddStatusLine(pinBuf);
    view.MessageBox(pinBuf);
    return;
  }

  if (!st.BT_OnConnect) {
    ReportMissingCall("BT_OnConnect");
    return;
  }

  view.EnableMainButtons(false);
  for (int n = 1; n <= kPortCount; ++n) {
    std::snprintf(st.szMsgBuf, sizeof st.szMsgBuf, "init COM%d", n);
    AddStatusLine(st.szMsgBuf);
    // The port comes from the loop, not from the port box, so a choice made while a box of
    // an earlier port was open does not redirect the run.
    st.BT_SelPort = n - 1;
    MakeComPortName();
    view.SelectPort(n - 1);

    const PortSetting& port = st.settings.Port[n - 1];
    if (!IsNone(port.Selprt)) {
      ChoosePort(n - 1);  // as the user choosing it in the port box
      if (!OnOpencom()) {
        std::snprintf(st.szMsgBuf, sizeof st.szMsgBuf, kPortOpenFailed, n);
        view.MessageBox(st.szMsgBuf);
        continue;
      }
      OnClosecom();
      CopyField(pinBuf, port.Selprt);
      MakeComPortName();
      const uint32_t status = static_cast<uint32_t>(st.BT_OnConnect(st.szComPort, pinBuf));
      std::snprintf(st.szMsgBuf, sizeof st.szMsgBuf, "COM%d: connect printer: %s", n, pinBuf);
      AddStatusLine(st.szMsgBuf);
      FormatLinkResult(status, n, st.szMsgBuf, sizeof st.szMsgBuf);
      AddStatusLine(st.szMsgBuf);
      if (status != 0) view.MessageBox(st.szMsgBuf);
    } else if (!IsNone(port.QueryPrt[0])) {
      // Printers were found but none is bound: drop whatever link the port still has.
      MakeComPortName();
      st.BT_OnConnect(st.szComPort, kNone);
      AddStatusLine("  Disconnect Printer");
    } else {
      AddStatusLine("  No Printer");
    }
  }
  AddStatusLine("Auto Connect Completed.");

  ReloadSettings();  // the dialog ends on the port the file names
  view.ShowPortSetting();
  view.EnableMainButtons(true);
}
