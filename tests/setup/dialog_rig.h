// The main dialog on the headless controls built from the program's table of controls, with
// everything outside the program faked: registry, library loader (with fake BT_OnQuery and
// BT_OnConnect), version records, paths, serial ports, sounds, threads that never run and a
// clock that never waits. Tests act as the user and read what the user would see.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_comm.h"
#include "tests/support/fake_modules.h"
#include "tests/support/fake_process.h"
#include "tests/support/fake_sound.h"
#include "tests/support/fake_versions.h"
#include "tests/support/headless_dialog.h"
#include "platform/host/memory_registry.h"
#include "tests/support/virtual_clock.h"
#include "setup/dialog/QuorvexDlg.h"
#include "tests/setup/rig_common.h"

namespace rig {

// The library's calls as the program made them, "BT_OnQuery(COM2,NONE)".
std::vector<std::string>& LibraryCalls();

using setup_rig::ParkedThreads;
using PortFile = setup_rig::IniPort;

class DialogRig {
 public:
  // A fresh directory holds the program; the library is beside it unless told otherwise.
  DialogRig();
  ~DialogRig();

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
  platform::MemoryRegistry registry;
  platform::FakeModules modules;
  platform::FakeVersions versions;
  platform::FakeProcess process;
  platform::VirtualClock clock;
  ParkedThreads threads;
  platform::FakeComm comm;
  platform::FakeSound sound;
  std::string dir;

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
