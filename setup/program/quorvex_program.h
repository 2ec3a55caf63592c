// The setup program without its dialog: the program-wide state, the start-up's library
// binding, the query and connect workflows, the switches, the settings file's use and the
// connection-state monitor. It knows no dialog-framework type; it shows what happens through
// a SetupView, which the dialog (dialog/QuorvexDlg.h) implements.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "library/include/Mendalix.h"
#include "platform/clock.h"
#include "platform/file_version.h"
#include "platform/module.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/thread.h"
#include "protocol/driver_protocol.h"
#include "settings/settings.h"

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

// What the program shows and asks of its window.
class SetupView {
 public:
  virtual ~SetupView() = default;
  virtual void AppendStatusLine(const char* text, bool dropOldest) = 0;
  virtual void MessageBox(const char* text) = 0;
  virtual void ShowPortSetting() = 0;                 // the selected port's records
  virtual void EnableMainButtons(bool enable) = 0;
  virtual void SetQueryCaption(const char* text) = 0;
  virtual void SelectPort(int index) = 0;             // the port box's selection, 0-3
  virtual void ShowConnectMode(bool autoMode) = 0;
  virtual void ShowPlaySound(bool on) = 0;
  virtual void ShowAutoRun(bool on) = 0;
  virtual bool AutoModeChosen() = 0;
  virtual bool PlaySoundChosen() = 0;
  virtual bool AutoRunChosen() = 0;
  // The printer list's selected entry, or "NONE" when none is selected (always terminated).
  virtual void ChosenPrinter(char* out, size_t size) = 0;
  // From the monitor thread: a line is queued (ThreadMsg), then the labels are stale.
  virtual void PostMonitorNews() = 0;
};

class QuorvexProgram {
 public:
  // args: the program's arguments without the program name (the standard split).
  QuorvexProgram(const QuorvexSeams& seams, int argc, const char* const* argv, SetupView& view);

  const char* Arg(int i) const { return i < argc ? argv[i] : nullptr; }

  static int FormatLinkResult(uint32_t flags, int port, char* out, size_t size);
  void AddStatusLine(const char* text);
  void MakeComPortName();
  // LoadSetting over szIniPath, the stored connect mode applied, keeping the port view's
  // baud copy in step.
  bool ReloadSettings();
  // fileRead: what LoadSetting returned.
  void ApplyStoredMode(bool fileRead);
  // Saves with the printer chosen in the list and the connect mode; a box on failure.
  void OnSaveSetting();
  // The user chose port index sel (0-3) in the port box.
  void ChoosePort(int sel);
  void OnManual();
  void OnThreadMsg();
  void OnOpencomClicked();  // the hidden "OpenCom" button: OnOpencom, result unused
  // Tear-down: switches written, monitor stopped, library released.
  void Shutdown();

  // Switches and the registry (switches.cpp).
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
  // StopMonitor runs in Shutdown after the stop flag is set and the 1200 ms sleep, before
  // the library is released, and waits until the thread has ended, about 10 s at most;
  // false when it is still running then.
  void StartMonitor();
  bool StopMonitor();
  static void MonitorConnectState(void* param);  // param: this program
  void PublishSelHostLeads();  // after every LoadSetting on the program's thread

  QuorvexSeams seams;
  QuorvexState st;
  int argc;
  const char* const* argv;
  SetupView& view;
};
