#include "tests/setup/dialog_rig.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "setup/res/dialog_table.h"

namespace rig {

const char* const kParams = "System\\CurrentControlSet\\Services\\Sarnovek\\Parameters";
const char* const kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::vector<std::string>& LibraryCalls() {
  static std::vector<std::string> calls;
  return calls;
}

namespace {
int Record(const char* fn, const void* port, const void* text) {
  LibraryCalls().push_back(std::string(fn) + "(" + static_cast<const char*>(port) + "," +
                           static_cast<const char*>(text) + ")");
  return 0;
}
int MENDALIX_API FakeQuery(const void* port, const void* text) {
  return Record("BT_OnQuery", port, text);
}
int MENDALIX_API FakeConnect(const void* port, const void* text) {
  return Record("BT_OnConnect", port, text);
}
int MENDALIX_API FakeReset(const void* port, const void* text) {
  return Record("BT_OnReset", port, text);
}
}  // namespace

DialogRig::DialogRig()
    : ui(quorvex_res::kMainDialogControls, quorvex_res::kMainDialogControlCount),
      clock(platform::VirtualClock::Mode::Auto) {
  static std::atomic<int> serial{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::filesystem::path d = std::filesystem::temp_directory_path() /
                            ("quorvex-dlg-" + std::to_string(stamp) + "-" + std::to_string(++serial));
  std::filesystem::create_directories(d);
  dir = d.string();
  ProgramAt("<dir>/Quorvex.exe");
  process.strings[IDS_ABOUTBOX] = "關於 Quorvex(&A)...";
  modules.Provide("Mendalix.dll", {{"BT_OnQuery", reinterpret_cast<void*>(&FakeQuery)},
                                   {"BT_OnConnect", reinterpret_cast<void*>(&FakeConnect)},
                                   {"BT_OnReset", reinterpret_cast<void*>(&FakeReset)}});
  LibraryCalls().clear();
  // Every system has its Run key.
  platform::RegKey run = nullptr;
  registry.CreateKey(platform::HKeyLocalMachine(), kRun, &run);
  registry.CloseKey(run);
}

DialogRig::~DialogRig() {
  dlg_.reset();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

void DialogRig::ProgramAt(const std::string& path) {
  std::string p = path;
  size_t at = p.find("<dir>");
  if (at != std::string::npos) p.replace(at, 5, dir);
  process.modulePath = p;
  size_t dot = p.find(".exe");
  iniPath_ = (dot == std::string::npos ? p : p.substr(0, dot)) + ".ini";
}

void DialogRig::WithoutLibrary() { modules.Withdraw("Mendalix.dll"); }

void DialogRig::WriteSettings(int selPort, const std::string& baud, const PortFile ports[4],
                              const std::string& mode) {
  setup_rig::Ini ini;
  ini.selPort = selPort + 1;
  ini.baud = baud;
  for (int n = 0; n < 4; ++n) ini.port[n] = ports[n];
  ini.mode = mode;
  std::ofstream(iniPath_, std::ios::binary) << setup_rig::FormatIni(ini);
}

std::string DialogRig::ReadSettings() {
  std::ifstream in(iniPath_, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool DialogRig::SettingsExist() { return std::filesystem::exists(iniPath_); }

bool DialogRig::Start(std::vector<std::string> args) {
  args_ = std::move(args);
  argv_.clear();
  for (auto& a : args_) argv_.push_back(a.c_str());
  QuorvexSeams seams;
  seams.registry = &registry;
  seams.modules = &modules;
  seams.versions = &versions;
  seams.process = &process;
  seams.clock = &clock;
  seams.threads = &threads;
  seams.comm = &comm;
  seams.sound = &sound;
  dlg_ = std::make_unique<CQuorvexDlg>(seams, static_cast<int>(argv_.size()), argv_.data());
  dlg_->AttachControls(&ui);
  return dlg_->OnInitDialog();
}

void DialogRig::Click(int id) {
  if (ui.At(id).row.kind == platform::ControlKind::AutoRadio) ui.ClickRadio(id);
  Dlg().DispatchCommand(id, fw::kBnClicked);
}

void DialogRig::ChooseCom(int index) {
  ui.CbSetCurSel(IDC_COMPORT, index);
  Dlg().DispatchCommand(IDC_COMPORT, fw::kCbnSelChange);
}

void DialogRig::TypeCom(const std::string& text) {
  ui.TypeComboText(IDC_COMPORT, text);
  Dlg().DispatchCommand(IDC_COMPORT, fw::kCbnEditChange);
}

void DialogRig::ChoosePrinter(int index) {
  ui.LbSetCurSel(IDC_PRINTER_LIST, index);
  Dlg().DispatchCommand(IDC_PRINTER_LIST, fw::kLbnSelChange);
}

void DialogRig::Close() {
  intptr_t r = 0;
  Dlg().DispatchMessage(fw::kWmDestroy, 0, 0, &r);
}

int DialogRig::PaintLabels() {
  for (int round = 1; round <= 10; ++round) {
    bool changed = false;
    for (int id = IDC_STATE_COM1; id <= IDC_STATE_COM4; ++id) {
      std::string before = ui.Text(id);
      fw::CtlColor cc;
      cc.id = id;
      intptr_t r = 0;
      Dlg().DispatchMessage(fw::kWmCtlColorStatic, 0, reinterpret_cast<intptr_t>(&cc), &r);
      changed |= ui.Text(id) != before;
    }
    if (!changed) return round;
  }
  return -1;
}

uint32_t DialogRig::LabelColour(int id) {
  fw::CtlColor cc;
  cc.id = id;
  intptr_t r = 0;
  Dlg().DispatchMessage(fw::kWmCtlColorStatic, 0, reinterpret_cast<intptr_t>(&cc), &r);
  return cc.setBkColor ? cc.bkColor : 0xFFFFFFFF;
}

}  // namespace rig
