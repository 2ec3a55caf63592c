#include "tests/setup_workflows/workflow_rig.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "setup/res/dialog_table.h"
#include "simulator/model/sim_settings_file.h"

namespace wf {

Rig* Rig::current = nullptr;

namespace {

int MENDALIX_API FakeOnQuery(const void* port, const void* text) {
  return Rig::current->OnLibraryCall("BT_OnQuery", static_cast<const char*>(port), static_cast<const char*>(text));
}
int MENDALIX_API FakeOnConnect(const void* port, const void* text) {
  return Rig::current->OnLibraryCall("BT_OnConnect", static_cast<const char*>(port), static_cast<const char*>(text));
}
int MENDALIX_API FakeOnReset(const void* port, const void* text) {
  return Rig::current->OnLibraryCall("BT_OnReset", static_cast<const char*>(port), static_cast<const char*>(text));
}

int PortOf(const char* name) {
  return (name && std::strlen(name) >= 4 && name[3] >= '1' && name[3] <= '4') ? name[3] - '0' : 0;
}

}  // namespace

Rig::Rig(const Ini* ini, bool withLibrary)
    : clock(platform::VirtualClock::Mode::Auto),
      controls(quorvex_res::kMainDialogControls,
               static_cast<int>(std::size(quorvex_res::kMainDialogControls))),
      withLibrary_(withLibrary) {
  current = this;
  std::string tmpl = testing::TempDir() + "/wfrigXXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) ADD_FAILURE() << "no temporary directory";
  dir = buf.data();
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
  seams.threads = &parked;
  seams.comm = &comm;
  seams.sound = &sound;
}

Rig::~Rig() {
  std::remove(iniPath.c_str());
  std::remove((iniPath + ".tmp").c_str());
  rmdir(dir.c_str());
  if (current == this) current = nullptr;
}

void Rig::Start(std::vector<std::string> args) {
  argStore_ = std::move(args);
  argv_.clear();
  for (const std::string& a : argStore_) argv_.push_back(a.c_str());
  argv_.push_back(nullptr);
  dlg = std::make_unique<CQuorvexDlg>(seams, static_cast<int>(argStore_.size()), argv_.data());
  dlg->AttachControls(&controls);
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
  if (std::strcmp(name, "BT_OnQuery") == 0) return reinterpret_cast<void*>(&FakeOnQuery);
  if (std::strcmp(name, "BT_OnConnect") == 0) return reinterpret_cast<void*>(&FakeOnConnect);
  if (std::strcmp(name, "BT_OnReset") == 0) return reinterpret_cast<void*>(&FakeOnReset);
  return nullptr;
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
