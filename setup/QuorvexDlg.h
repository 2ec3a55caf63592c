// The setup program's main dialog and the program-wide state it works on.
//
// One CQuorvexDlg per process (tests make as many as they like), built on the seams in
// QuorvexSeams, so that the same code runs on a real window under Windows and on the
// headless dialog of the host tests.
//
// Map of setup/ (calls go down this list, never up):
//   win32/main.cpp      entry: builds the Windows seams, runs CQuorvexApp (QuorvexApp.*)
//   QuorvexApp.cpp      runs CQuorvexDlg modally through framework/ (afxdialog.*: message
//                       map routing, data exchange; win32_modal/host_modal: the window loop)
//   controls.cpp        message map and control handlers: status list, result messages,
//                       state labels, EXIT/Esc; handlers call the workflows and switches
//   QuorvexDlg.cpp      start-up (OnInitDialog as named steps), port view, frame, tear-down
//   workflows.cpp       port probe, query and connect: library calls through st's entry
//                       points, settings reloads, status lines and boxes
//   settings_dialog.cpp the stored connect mode after a load; the dialog's choices before a
//                       save (settings/ is plain data and calls nothing here)
//   switches.cpp        the PlaySound and AutoRun switches and the BTiniPath store
//   monitor.cpp         the connection-state thread: reads the driver's registry values and
//                       posts ThreadMsg / state-label commands back to the dialog's thread
// Below all of them: settings/ (the file), protocol/ (the driver's words), platform/ (seams).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "library/include/Mendalix.h"
#include "platform/clock.h"
#include "platform/dialog_controls.h"
#include "platform/file_version.h"
#include "platform/module.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/thread.h"
#include "protocol/driver_protocol.h"
#include "settings/settings.h"
#include "setup/framework/afxdialog.h"
#include "setup/res/resource.h"

namespace platform {
class CommApi;   // platform/comm.h: the serial port probe (workflows)
class SoundApi;  // platform/sound.h: PlaySoundA (monitor)
}  // namespace platform

constexpr int kTextSize = 256;        // commands, paths and messages
constexpr int kStatusLineMax = 100;   // the list keeps kStatusLineMax + 1 lines

// The platform's registry place for programs started at logon.
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Everything outside the program that the dialog reaches. Pointers stay owned by the caller.
struct QuorvexSeams {
  platform::RegistryApi* registry = nullptr;
  platform::ModuleApi* modules = nullptr;
  platform::FileVersionApi* versions = nullptr;
  platform::ProcessApi* process = nullptr;
  platform::Clock* clock = nullptr;
  platform::ThreadApi* threads = nullptr;
  platform::CommApi* comm = nullptr;
  platform::SoundApi* sound = nullptr;
};

// One state change of a port, handed from the monitor thread to the dialog with its command.
struct MonitorMessage {
  char text[kTextSize];
};

// The program-wide state, with the names the program has always used.
struct QuorvexState {
  Settings settings;                        // the four PortSetting records, BT_SelPort, baud text
  char szIniPath[kTextSize] = "";
  char szHelpCmd[kTextSize] = "notepad.exe ";
  platform::ModuleHandle hInstCtrl = nullptr;
  BT_OnConnect_t BT_OnConnect = nullptr;
  BT_OnQuery_t BT_OnQuery = nullptr;
  BT_OnReset_t BT_OnReset = nullptr;
  int32_t& BT_SelPort;                     // lives in settings, which the reader sets
  char szComPort[16] = "COM1";
  char szMsgBuf[kTextSize] = "";
  void* hComPort = reinterpret_cast<void*>(-1);  // platform::InvalidComm() while closed
  int32_t bSettingChanged = 0;
  int32_t bQueried = 0;
  int32_t bFirstLoad = 1;
  std::atomic<int32_t> bPlaySound{0};      // read by the monitor thread
  int32_t bAutoRun = 0;
  char szBaudrate[kBaudSize] = "19200N81";  // the copy the port view shows; set with settings'
  int32_t nStatusLines = 0;                 // lines added to the status list, stops at 101
  std::atomic<uint32_t> ConnectState[kPortCount] = {{LINK_STATE_NONE}, {LINK_STATE_NONE}, {LINK_STATE_NONE}, {LINK_STATE_NONE}};
  std::atomic<int32_t> bMonitorStop{0};
  // The monitor's message hand-off: a ring of lines, written by the monitor, taken by the
  // dialog's ThreadMsg command in order, so that every change keeps its own line.
  static constexpr int kMonitorQueue = 32;
  MonitorMessage MonitorMsg[kMonitorQueue] = {};
  std::atomic<uint32_t> MonitorMsgHead{0};  // next to write (monitor)
  std::atomic<uint32_t> MonitorMsgTail{0};  // next to take (dialog)
  char szMonitorMsg[kTextSize] = "";        // the newest line the dialog took
  // Monitor side: queues a line for the next ThreadMsg command; false when the dialog has
  // fallen kMonitorQueue lines behind (the line is then dropped).
  bool PushMonitorMessage(const char* text);
  // Dialog side: moves the oldest queued line into szMonitorMsg; false when none is queued
  // (szMonitorMsg then keeps the last line taken).
  bool TakeMonitorMessage();
  bool bSwitchesRead = false;               // RdPlaySoundReg/RdAutoRunReg ran at start-up
  bool bMonitorStarted = false;
  // First character of each port's SelHost (port n in byte n-1), stored by the dialog's
  // thread after every settings load (PublishSelHostLeads), so that the monitor never reads
  // a record that a reload is rewriting.
  std::atomic<uint32_t> SelHostLeads{0};
  platform::ThreadHandle hMonitorThread = nullptr;

  QuorvexState() : BT_SelPort(settings.BT_SelPort) {}
  QuorvexState(const QuorvexState&) = delete;
  QuorvexState& operator=(const QuorvexState&) = delete;
};

class CQuorvexDlg : public fw::CDialog {
 public:
  // args: the program's arguments without the program name (the standard split).
  CQuorvexDlg(const QuorvexSeams& seams, int argc, const char* const* argv);
  ~CQuorvexDlg() override;

  QuorvexState& State() { return st; }

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
  void OnDestroy();

  // Start-up pieces and the port view.
  int GetFileVersionWords(const char* path, uint32_t* ms, uint32_t* ls);
  void MakeComPortName();
  void ShowPortSetting();
  // LoadSetting over szIniPath, the stored connect mode applied, keeping the port view's
  // baud copy in step.
  bool ReloadSettings();
  void OnShowHelpText();

  // Controls, status list and result messages.
  static int FormatLinkResult(uint32_t flags, int port, char* out, size_t size);
  void AddStatusLine(const char* text);
  void EnableMainButtons(bool enable);
  void OnSelchangeComPort();
  void OnEditchangeComPort();
  void OnSelchangePrinter();
  void OnManual();
  void OnThreadMsg();
  void OnStateLabels();
  void OnOpencomClicked();  // the hidden "OpenCom" button: OnOpencom, result unused

  // The settings file (settings_dialog.cpp). fileRead: what LoadSetting returned.
  void ApplyStoredMode(bool fileRead);
  // Saves with the printer chosen in the list and the connect mode; a box on failure.
  void OnSaveSetting();

  // Switches and the registry.
  void RdPlaySoundReg();
  void RdAutoRunReg();
  void WrtPlaySoundReg();
  void WrtAutoRunReg();
  void WrtIniPathReg();
  void OnPlaySoundOn();
  void OnPlaySoundOff();
  void OnAutoRunOn();
  void OnAutoRunOff();

  // Workflows (workflows.cpp).
  // A workflow needs a call the library did not give: a status line and a box that say
  // whether the library or only that call is missing.
  void ReportMissingCall(const char* name);
  void SetComTimeouts(void* port, uint32_t readTotalTimeoutConstant);
  int OnOpencom();
  void OnClosecom();
  void OnQuery();
  void OnConnectPrinter();
  void OnAuto();
  void AutoConnect();

  // Connection-state monitor (monitor.cpp). StartMonitor runs at the end of the start-up;
  // StopMonitor runs in OnDestroy after the stop flag is set and the 1200 ms sleep, before
  // the library is released, and waits until the thread has ended.
  void StartMonitor();
  void StopMonitor();
  static void MonitorConnectState(void* param);  // param: this dialog
  void PublishSelHostLeads();  // after every LoadSetting on the dialog's thread

  char m_strPrinter[fw::kLbTextSize] = {};
  void* m_hIcon = nullptr;

 protected:
  bool RouteCommand(int id, int code) override;
  bool RouteMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, intptr_t* result) override;

 public:
  QuorvexSeams seams;
  QuorvexState st;
  int argc;
  const char* const* argv;
  const char* Arg(int i) const { return i < argc ? argv[i] : nullptr; }
  void MessageBox(const char* text) { Controls().MessageBox(text); }
};

class CAboutDlg : public fw::CDialog {
 public:
  CAboutDlg() : fw::CDialog(IDD_ABOUTBOX) {}

 protected:
  bool RouteCommand(int, int) override { return false; }
  bool RouteMessage(uint32_t, uintptr_t, intptr_t, intptr_t*) override { return false; }
};
