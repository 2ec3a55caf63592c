#include "tests/setup/rig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "setup/res/dialog_table.h"
#include "simulator/model/sim_settings_file.h"

namespace setup_rig {

std::string FormatIni(const Ini& ini) {
  std::ostringstream o;
  o << "BT_SelPort: COM" << ini.selPort << "\r\n";
  o << "BT_Baudrate: " << ini.baud << "\r\n";
  for (int n = 0; n < 4; ++n) {
    const IniPort& p = ini.port[n];
    o << "\r\nBT_Port: COM" << n + 1 << "\r\n";
    o << "\t BT_SelHost:  " << p.host << "\r\n";
    o << "\t BT_Selprt:   " << p.selprt << "\r\n";
    size_t k = 0;
    for (; k < p.printers.size() && k < 7; ++k) o << "\t BT_QueryPrt: " << p.printers[k] << "\r\n";
    if (k < 7) o << "\t BT_QueryPrt: NONE\r\n";
    o << "\t BT_HostVrsn: " << p.version << "\r\n";
    for (int r = 1; r <= 4; ++r) o << "\t BT_Reserve" << r << ": NONE\r\n";
  }
  o << "\r\nBT_Connect: " << ini.mode << "\r\n";
  return o.str();
}

namespace {
LibrarySink g_sink = nullptr;

int32_t Hand(const char* fn, const void* port, const void* text) {
  return g_sink ? g_sink(fn, static_cast<const char*>(port), static_cast<const char*>(text)) : 0;
}
int MENDALIX_API FakeQuery(const void* port, const void* text) {
  return Hand("BT_OnQuery", port, text);
}
int MENDALIX_API FakeConnect(const void* port, const void* text) {
  return Hand("BT_OnConnect", port, text);
}
int MENDALIX_API FakeReset(const void* port, const void* text) {
  return Hand("BT_OnReset", port, text);
}
}  // namespace

void SetLibrarySink(LibrarySink sink) { g_sink = sink; }

void* FakeLibraryEntry(const char* name) {
  if (std::strcmp(name, "BT_OnQuery") == 0) return reinterpret_cast<void*>(&FakeQuery);
  if (std::strcmp(name, "BT_OnConnect") == 0) return reinterpret_cast<void*>(&FakeConnect);
  if (std::strcmp(name, "BT_OnReset") == 0) return reinterpret_cast<void*>(&FakeReset);
  return nullptr;
}

SharedFakes::SharedFakes() {
  static std::atomic<int> serial{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::filesystem::path d = std::filesystem::temp_directory_path() /
                            ("quorvex-dlg-" + std::to_string(stamp) + "-" + std::to_string(++serial));
  std::filesystem::create_directories(d);
  dir = d.string();
}

SharedFakes::~SharedFakes() {
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

std::unique_ptr<CQuorvexDlg> MakeDialog(const QuorvexSeams& seams, platform::DialogControls* ui,
                                        std::vector<std::string> args,
                                        std::vector<std::string>& argStore,
                                        std::vector<const char*>& argv) {
  argStore = std::move(args);
  argv.clear();
  for (const std::string& a : argStore) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  auto dlg = std::make_unique<CQuorvexDlg>(seams, static_cast<int>(argStore.size()), argv.data());
  dlg->AttachControls(ui);
  return dlg;
}

}  // namespace setup_rig

namespace rig {

const char* const kParams = "System\\CurrentControlSet\\Services\\Sarnovek\\Parameters";
const char* const kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::vector<std::string>& LibraryCalls() {
  static std::vector<std::string> calls;
  return calls;
}

namespace {
int32_t Record(const char* fn, const char* port, const char* text) {
  LibraryCalls().push_back(std::string(fn) + "(" + port + "," + text + ")");
  return 0;
}
}  // namespace

DialogRig::DialogRig()
    : ui(quorvex_res::kMainDialogControls, quorvex_res::kMainDialogControlCount) {
  ProgramAt("<dir>/Quorvex.exe");
  process.strings[IDS_ABOUTBOX] = "關於 Quorvex(&A)...";
  modules.Provide("Mendalix.dll", {{"BT_OnQuery", setup_rig::FakeLibraryEntry("BT_OnQuery")},
                                   {"BT_OnConnect", setup_rig::FakeLibraryEntry("BT_OnConnect")},
                                   {"BT_OnReset", setup_rig::FakeLibraryEntry("BT_OnReset")}});
  setup_rig::SetLibrarySink(&Record);
  LibraryCalls().clear();
  // Every system has its Run key.
  platform::RegKey run = nullptr;
  registry.CreateKey(platform::HKeyLocalMachine(), kRun, &run);
  registry.CloseKey(run);
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
  QuorvexSeams seams;
  seams.registry = &registry;
  seams.modules = &modules;
  seams.versions = &versions;
  seams.process = &process;
  seams.clock = &clock;
  seams.threads = &threads;
  seams.comm = &comm;
  seams.sound = &sound;
  dlg_ = setup_rig::MakeDialog(seams, &ui, std::move(args), args_, argv_);
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

namespace wf {

Rig* Rig::current = nullptr;

namespace {

int32_t ToCurrentRig(const char* fn, const char* port, const char* text) {
  return Rig::current->OnLibraryCall(fn, port, text);
}

int PortOf(const char* name) {
  return (name && std::strlen(name) >= 4 && name[3] >= '1' && name[3] <= '4') ? name[3] - '0' : 0;
}

}  // namespace

Rig::Rig(const Ini* ini, bool withLibrary)
    : controls(quorvex_res::kMainDialogControls, quorvex_res::kMainDialogControlCount),
      withLibrary_(withLibrary) {
  current = this;
  setup_rig::SetLibrarySink(&ToCurrentRig);
  iniPath = dir + "/Quorvex.ini";
  if (ini) {
    WriteIni(*ini);
    for (int n = 1; n <= 4; ++n) comm.SetPresent(n, ini->port[n - 1].host != "NONE");
  }
  seams.registry = &registry;
  seams.modules = this;
  seams.versions = this;
  seams.process = this;
  seams.clock = &clock;
  seams.threads = &threads;
  seams.comm = &comm;
  seams.sound = &sound;
}

Rig::~Rig() {
  if (current == this) current = nullptr;
}

void Rig::Start(std::vector<std::string> args) {
  dlg = setup_rig::MakeDialog(seams, &controls, std::move(args), argStore_, argv_);
  dlg->OnInitDialog();
}

void Rig::DriverQueryFinds(int port, uint32_t status, const std::string& host,
                           const std::string& version, std::vector<std::string> printers) {
  QueryAnswer& a = query_[port];
  a.set = true;
  a.status = status;
  a.host = host;
  a.version = version;
  a.printers = std::move(printers);
}

void Rig::DriverConnectAnswers(int port, uint32_t status) { connect_[port] = status; }

int32_t Rig::OnLibraryCall(const char* fn, const char* port, const char* text) {
  LibCall call{fn, port ? port : "", text ? text : ""};
  calls.push_back(call);
  // A serial port is never held open across a library call: the library and the driver
  // need it.
  for (int n = 1; n <= 4; ++n) EXPECT_FALSE(comm.IsOpen(n)) << "COM" << n << " held during " << fn;
  if (duringCall) duringCall(call);
  int n = PortOf(port);
  if (call.fn == "BT_OnQuery") {
    const QueryAnswer& a = query_[n];
    if (!a.set) return 0;
    sim_findings f{};
    f.host = a.host.c_str();
    f.version = a.version.c_str();
    f.count = static_cast<int>(a.printers.size());
    for (int k = 0; k < f.count && k < SIM_QUERY_MAX; ++k) f.printers[k] = a.printers[k].c_str();
    std::string in = ReadIni();
    std::vector<char> out(16384);
    size_t len = sim_write_findings(in.data(), in.size(), n - 1, &f, out.data(), out.size());
    EXPECT_GT(len, 0u) << "the driver could not write its findings";
    std::ofstream(iniPath, std::ios::binary).write(out.data(), static_cast<std::streamsize>(len));
    return static_cast<int32_t>(a.status);
  }
  if (call.fn == "BT_OnConnect") return static_cast<int32_t>(connect_[n]);
  return 0;
}

void Rig::ChoosePort(int port) {
  controls.CbSetCurSel(IDC_COMPORT, port - 1);
  dlg->DispatchCommand(IDC_COMPORT, fw::kCbnSelChange);
}

void Rig::ChoosePrinter(const std::string& address) {
  std::vector<std::string> entries = PrinterList();
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i] == address) {
      controls.LbSetCurSel(IDC_PRINTER_LIST, static_cast<int>(i));
      dlg->DispatchCommand(IDC_PRINTER_LIST, fw::kLbnSelChange);
      return;
    }
  ADD_FAILURE() << address << " is not in the printer list";
}

void Rig::Click(int id) { dlg->DispatchCommand(id, fw::kBnClicked); }

void Rig::Pump() {
  for (int id : controls.TakePosted()) dlg->DispatchCommand(id, 0);
}

std::string Rig::SelectedPort() {
  int sel = controls.Selection(IDC_COMPORT);
  std::vector<std::string> e = controls.Entries(IDC_COMPORT);
  return sel >= 0 && sel < static_cast<int>(e.size()) ? e[sel] : "";
}

std::string Rig::SelectedPrinter() {
  int sel = controls.Selection(IDC_PRINTER_LIST);
  std::vector<std::string> e = PrinterList();
  return sel >= 0 && sel < static_cast<int>(e.size()) ? e[sel] : "";
}

std::string Rig::ReadIni() {
  std::ifstream f(iniPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void Rig::WriteIni(const Ini& ini) {
  std::ofstream(iniPath, std::ios::binary) << FormatIni(ini);
}

void Rig::ForgetSeen() {
  controls.LbResetContent(IDC_STATUS_LIST);
  controls.boxes.clear();
  controls.seen.clear();
  calls.clear();
}

platform::ModuleHandle Rig::LoadLibrary(const char* name) {
  if (!withLibrary_ || std::strcmp(name, "Mendalix.dll") != 0) return nullptr;
  return reinterpret_cast<platform::ModuleHandle>(0x10000000);
}

void* Rig::GetProcAddress(platform::ModuleHandle, const char* name) {
  if (missingCall == name) return nullptr;
  return setup_rig::FakeLibraryEntry(name);
}

size_t Rig::GetModuleFileName(char* out, size_t size) {
  return static_cast<size_t>(std::snprintf(out, size, "%s/Quorvex.exe", dir.c_str()));
}

size_t Rig::GetSystemDirectory(char* out, size_t size) {
  return static_cast<size_t>(std::snprintf(out, size, "%s/system32", dir.c_str()));
}

size_t Rig::LoadString(int, char* out, size_t size) {
  return static_cast<size_t>(std::snprintf(out, size, "About Quorvex(&A)..."));
}

}  // namespace wf
