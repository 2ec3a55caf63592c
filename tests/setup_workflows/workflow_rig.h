// A started main dialog on the headless controls, with everything around it faked: the
// library's two calls (answering as the driver would, and writing the query findings into
// the settings file the way the driver does), the serial ports, the registry, sounds and a
// clock that never waits. Tests act as the user through the helpers and read what the user
// would see: status lines, message boxes, captions, selections, the settings file.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_version.h"
#include "tests/support/fake_comm.h"
#include "tests/support/fake_sound.h"
#include "tests/support/headless_dialog.h"
#include "platform/host/memory_registry.h"
#include "tests/support/virtual_clock.h"
#include "platform/module.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "setup/dialog/QuorvexDlg.h"
#include "tests/setup/rig_common.h"

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

class Rig : public platform::ModuleApi,
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
  std::string dir;
  std::string iniPath;

  platform::MemoryRegistry registry;
  platform::FakeComm comm;
  platform::FakeSound sound;
  platform::VirtualClock clock;
  ParkedThreads parked;
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
  // FileVersionApi: no file has a version record here.
  uint32_t GetFileVersionInfoSize(const char*) override { return 0; }
  bool GetFileVersionInfo(const char*, uint32_t, void*) override { return false; }
  bool QueryFileVersion(const void*, uint32_t*, uint32_t*) override { return false; }

  int frees = 0;
  std::function<void()> onFree;  // runs as the library is released
  std::string missingCall;       // a call the library does not export

  // The fake library's entry points reach the rig through this.
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
