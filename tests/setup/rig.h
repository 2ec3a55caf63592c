// The setup program's test rig: the main dialog on headless controls built from the program's
// table of controls, with everything outside the program faked (registry, library and its
// calls, paths, serial ports, sounds, threads that never run, a clock that never waits).
// Tests act as the user and read what the user would see. Two ways in:
//   rig::DialogRig  start-up, port view, messages, switches, exit: the library's calls are
//                   only recorded; version records and paths come from the test doubles.
//   wf::Rig         query, connect and monitor: the library's calls answer as the driver
//                   would and write the query findings into the settings file as it does.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_version.h"
#include "platform/host/memory_registry.h"
#include "platform/module.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "setup/dialog/QuorvexDlg.h"
#include "tests/support/fake_comm.h"
#include "tests/support/fake_modules.h"
#include "tests/support/fake_process.h"
#include "tests/support/fake_sound.h"
#include "tests/support/fake_versions.h"
#include "tests/support/headless_dialog.h"
#include "tests/support/virtual_clock.h"

namespace setup_rig {

// One port's block of the settings file.
struct IniPort {
  std::string host = "NONE";
  std::string selprt = "NONE";
  std::string version = "NONE";
  std::vector<std::string> printers;  // "NONE" ends the list in the file
};

// The settings file as the program and the driver write it.
struct Ini {
  int selPort = 1;  // COM number
  std::string baud = "19200N81";
  IniPort port[4];
  std::string mode = "AUTO";
};
std::string FormatIni(const Ini& ini);

// Stories keep the monitor out of the way unless they test it.
class ParkedThreads : public platform::ThreadApi {
 public:
  int starts = 0;
  platform::ThreadHandle Start(void (*)(void*), void*) override {
    ++starts;
    return reinterpret_cast<platform::ThreadHandle>(0x7E57);
  }
  bool Join(platform::ThreadHandle, uint32_t) override { return true; }
  void Release(platform::ThreadHandle) override {}
};

// The fake library's entry points (BT_OnQuery, BT_OnConnect, BT_OnReset; null for any other
// name); each hands its call to the sink the rig in use has set.
using LibrarySink = int32_t (*)(const char* fn, const char* port, const char* text);
void SetLibrarySink(LibrarySink sink);
void* FakeLibraryEntry(const char* name);

// What both rigs fake the same way: a fresh directory for the program and its settings file
// (removed with the rig), the registry, serial ports, sounds, threads that never run and a
// clock that never waits.
struct SharedFakes {
  SharedFakes();
  ~SharedFakes();
  std::string dir;
  platform::MemoryRegistry registry;
  platform::FakeComm comm;
  platform::FakeSound sound;
  platform::VirtualClock clock{platform::VirtualClock::Mode::Auto};
  ParkedThreads threads;
};

// Builds the dialog on the seams and controls with these arguments (kept in args and argv
// for the dialog's life), ready for its start-up.
std::unique_ptr<CQuorvexDlg> MakeDialog(const QuorvexSeams& seams, platform::DialogControls* ui,
                                        std::vector<std::string> args,
                                        std::vector<std::string>& argStore,
                                        std::vector<const char*>& argv);

}  // namespace setup_rig

namespace rig {

// The library's calls as the program made them, "BT_OnQuery(COM2,NONE)".
std::vector<std::string>& LibraryCalls();

using setup_rig::ParkedThreads;
using PortFile = setup_rig::IniPort;

class DialogRig : public setup_rig::SharedFakes {
 public:
  // A fresh directory holds the program; the library is beside it unless told otherwise.
  DialogRig();

  // The program's place; "<dir>" in path stands for the rig's directory.
  void ProgramAt(const std::string& path);
  void WithoutLibrary();
  // Writes the settings file beside the program: selected port (0-3), baud, ports, mode.
  void WriteSettings(int selPort, const std::string& baud, const PortFile ports[4],
                     const std::string& mode);
  std::string ReadSettings();  // "" when there is none
  bool SettingsExist();

  // Runs the dialog's start-up with these arguments; returns what OnInitDialog returned.
  bool Start(std::vector<std::string> args = {});
  CQuorvexDlg& Dlg() { return *dlg_; }
  QuorvexState& St() { return dlg_->st; }

  // The user.
  void Click(int id);              // push buttons; radios are checked first as the user does
  void ChooseCom(int index);       // picks COMn from the list of the port box
  void TypeCom(const std::string& text);
  void ChoosePrinter(int index);
  void PressEnter() { Dlg().DispatchCommand(IDOK, fw::kBnClicked); }
  void PressEsc() { Dlg().DispatchCommand(IDCANCEL, fw::kBnClicked); }
  void Close();                    // the window is destroyed (WM_DESTROY)
  // Lets every state label ask for its colours until none changes its text; returns the
  // rounds it took.
  int PaintLabels();
  uint32_t LabelColour(int id);

  platform::HeadlessDialog ui;
  platform::FakeModules modules;
  platform::FakeVersions versions;
  platform::FakeProcess process;

 private:
  std::vector<std::string> args_;
  std::vector<const char*> argv_;
  std::unique_ptr<CQuorvexDlg> dlg_;
  std::string iniPath_;
};

// Registry paths the program uses, as the tests name them.
extern const char* const kParams;
extern const char* const kRun;

}  // namespace rig

namespace wf {

using setup_rig::FormatIni;
using setup_rig::Ini;
using setup_rig::IniPort;
using setup_rig::ParkedThreads;

// The library's calls as the program makes them.
struct LibCall {
  std::string fn;  // "BT_OnQuery" or "BT_OnConnect"
  std::string port;
  std::string text;
};

// The headless controls, logging status lines and boxes in the order the user meets them:
// a line as its text, a box as "box: " and its text.
struct SeenDialog : platform::HeadlessDialog {
  using HeadlessDialog::HeadlessDialog;
  std::vector<std::string> seen;
  int LbInsertString(int id, int index, const char* text) override {
    if (id == IDC_STATUS_LIST) seen.push_back(text);
    return HeadlessDialog::LbInsertString(id, index, text);
  }
  void MessageBox(const char* text) override {
    seen.push_back(std::string("box: ") + text);
    HeadlessDialog::MessageBox(text);
  }
};

class Rig : public setup_rig::SharedFakes,
            public platform::ModuleApi,
            public platform::ProcessApi,
            public platform::FileVersionApi {
 public:
  // ini: the file beside the program at start, or none.
  explicit Rig(const Ini* ini, bool withLibrary = true);
  ~Rig() override;

  // Runs the dialog's start-up; the serial ports of ports with a terminal dongle in the
  // file exist.
  void Start(std::vector<std::string> args = {});

  // The driver's side. A query of COMn returns status and, like the driver, writes host,
  // version and printers into the port's block of the file first.
  void DriverQueryFinds(int port, uint32_t status, const std::string& host,
                        const std::string& version, std::vector<std::string> printers);
  // The word a connect of COMn answers; 0 unless set.
  void DriverConnectAnswers(int port, uint32_t status);
  // Runs while a library call is under way (the dialog's thread is blocked in it).
  std::function<void(const LibCall&)> duringCall;

  // The user.
  void ChoosePort(int port);                     // from the port box's list
  void ChoosePrinter(const std::string& address);  // in the printer address list
  void Click(int id);
  void Pump();  // the dialog handles what was posted to it

  // What the user sees.
  std::vector<std::string> Status() { return controls.Entries(IDC_STATUS_LIST); }
  std::vector<std::string> Boxes() { return controls.boxes; }
  std::vector<std::string> Seen() { return controls.seen; }  // lines and boxes, in order
  std::string Caption(int id) { return controls.Text(id); }
  bool Enabled(int id) { return controls.At(id).enabled; }
  std::string SelectedPort();  // text of the port box's selection
  std::vector<std::string> PrinterList() { return controls.Entries(IDC_PRINTER_LIST); }
  std::string SelectedPrinter();
  std::string ReadIni();
  void WriteIni(const Ini& ini);
  void ForgetSeen();  // clears status lines, boxes, the log and library calls seen so far

  std::vector<LibCall> calls;
  std::string iniPath;

  SeenDialog controls;
  std::unique_ptr<CQuorvexDlg> dlg;
  QuorvexSeams seams;

  // ModuleApi
  bool SetDllDirectory(const char*) override { return true; }
  platform::ModuleHandle LoadLibrary(const char* name) override;
  void* GetProcAddress(platform::ModuleHandle h, const char* name) override;
  void FreeLibrary(platform::ModuleHandle) override {
    if (onFree) onFree();
    ++frees;
  }
  // ProcessApi
  size_t GetModuleFileName(char* out, size_t size) override;
  size_t GetSystemDirectory(char* out, size_t size) override;
  unsigned WinExec(const char*, int) override { return 33; }
  size_t LoadString(int id, char* out, size_t size) override;
  void* LoadIcon(int) override { return reinterpret_cast<void*>(0x1C0); }
  void ExitProcess(unsigned) override { ++processExits; }  // returns here
  // FileVersionApi: no file has a version record here.
  uint32_t GetFileVersionInfoSize(const char*) override { return 0; }
  bool GetFileVersionInfo(const char*, uint32_t, void*) override { return false; }
  bool QueryFileVersion(const void*, uint32_t*, uint32_t*) override { return false; }

  int frees = 0;
  int processExits = 0;
  std::function<void()> onFree;  // runs as the library is released
  std::string missingCall;       // a call the library does not export

  // The fake library's calls reach the rig in use through this.
  static Rig* current;
  int32_t OnLibraryCall(const char* fn, const char* port, const char* text);

 private:
  struct QueryAnswer {
    bool set = false;
    uint32_t status = 0;
    std::string host, version;
    std::vector<std::string> printers;
  };
  QueryAnswer query_[5];
  uint32_t connect_[5] = {};
  bool withLibrary_;
  std::vector<std::string> argStore_;
  std::vector<const char*> argv_;
};

}  // namespace wf
