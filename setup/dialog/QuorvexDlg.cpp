// Start-up, port view, frame (About box, minimised icon, help text) and tear-down of the
// main dialog.
#include "setup/dialog/QuorvexDlg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

constexpr int kPathBuf = 255;  // program path and system directory, with the terminating zero

// Copies src into dst (size bytes) and appends tail; cut short when it does not fit.
void JoinPath(char* dst, size_t size, const char* src, const char* tail) {
  std::snprintf(dst, size, "%s%s", src, tail);
}

}  // namespace

CQuorvexDlg::CQuorvexDlg(const QuorvexSeams& s, int ac, const char* const* av)
    : fw::CDialog(IDD_QUORVEX_DIALOG), QuorvexProgram(s, ac, av, *this) {
  m_hIcon = seams.process->LoadIcon(IDR_MAINFRAME);
}

CQuorvexDlg::~CQuorvexDlg() = default;

void CQuorvexDlg::DoDataExchange(fw::CDataExchange* pDX) {
  fw::DDX_LBString(pDX, IDC_PRINTER_LIST, m_strPrinter);
}

// Shows the first three parts of a file's version in box id (through szMsgBuf); nothing
// when the file has no version record.
static void ShowFileVersion(CQuorvexDlg& dlg, const char* path, int id) {
  platform::FileVersionApi& versions = *dlg.seams.versions;
  uint32_t size = versions.GetFileVersionInfoSize(path);
  void* block = size ? malloc(size) : nullptr;
  uint32_t ms = 0, ls = 0;
  bool ok = block && versions.GetFileVersionInfo(path, size, block) &&
            versions.QueryFileVersion(block, &ms, &ls);
  free(block);
  if (!ok) return;
  QuorvexState& st = dlg.st;
  std::snprintf(st.szMsgBuf, sizeof st.szMsgBuf, "%x.%x.%x", ms >> 16, ms & 0xFFFF, ls >> 16);
  dlg.Controls().SetText(id, st.szMsgBuf);
}

namespace {

// The hidden line-settings boxes that the port view sets.
void FillLineSettingBoxes(platform::DialogControls& c) {
  for (const char* t : {"9600", "19200", "38400"}) c.CbAddString(IDC_BAUDRATE, t);
  for (const char* t : {"N", "E", "O"}) c.CbAddString(IDC_PARITY, t);
  c.CbAddString(IDC_DATABITS, "8");
  for (const char* t : {"1", "2"}) c.CbAddString(IDC_STOPBITS, t);
}

// The About entry of the system menu, the icons, and the COM list with a drop-down 60
// pixels taller than the template's.
void SetUpFrame(CQuorvexDlg& dlg) {
  platform::DialogControls& c = dlg.Controls();
  char about[kTextSize];
  if (dlg.seams.process->LoadString(IDS_ABOUTBOX, about, sizeof about) > 0)
    c.AppendSystemMenu(IDM_ABOUTBOX, about);
  c.SetIcon(dlg.m_hIcon, true);
  c.SetIcon(dlg.m_hIcon, false);
  for (int i = 0; i < kPortCount; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "COM%d", i + 1);
    c.CbInsertString(IDC_COMPORT, i, name);
  }
  c.CbGrowDropDown(IDC_COMPORT, 60);
  c.CbSetCurSel(IDC_COMPORT, 0);
}

// The driver's, the program's and the library's versions (the library beside the program
// file); the program's path into program.
void ShowVersions(CQuorvexDlg& dlg, char (&program)[kPathBuf]) {
  char sysDir[kPathBuf] = "";
  dlg.seams.process->GetSystemDirectory(sysDir, sizeof sysDir);
  char path[kTextSize];
  JoinPath(path, sizeof path, sysDir, "\\drivers\\Sarnovek.sys");
  ShowFileVersion(dlg, path, IDC_VERSION_DRIVER);

  dlg.seams.process->GetModuleFileName(program, sizeof program);
  ShowFileVersion(dlg, program, IDC_VERSION_QUORVEX);

  char dir[kPathBuf];
  std::snprintf(dir, sizeof dir, "%s", program);
  for (const char* name : {"QUORVEX.EXE", "quorvex.exe", "Quorvex.exe"}) {
    if (char* at = std::strstr(dir, name)) {
      *at = '\0';
      break;
    }
  }
  JoinPath(path, sizeof path, dir, "Mendalix.dll");
  ShowFileVersion(dlg, path, IDC_VERSION_MENDALIX);
}

// Settings and help file names: the program path with its extension replaced.
void NameFiles(QuorvexState& st, const char* program) {
  char stem[kPathBuf];
  std::snprintf(stem, sizeof stem, "%s", program);
  char* ext = std::strstr(stem, ".EXE");
  if (!ext) ext = std::strstr(stem, ".exe");
  if (ext) *ext = '\0';
  JoinPath(st.szIniPath, sizeof st.szIniPath, stem, ".ini");
  // The help file's path is quoted: a program under "C:\Program Files" would otherwise open
  // "C:\Program" in Notepad.
  std::snprintf(st.szHelpCmd, sizeof st.szHelpCmd, "notepad.exe \"%s.txt\"", stem);
}

// The library by its bare name, its calls bound by name. The current directory is taken
// out of the search order first, so that a library planted there is never loaded: naming
// the program's own folder (first in the order anyway) puts it in the current directory's
// place. An empty name would do the same on Windows, but not everywhere the program runs.
bool LoadLibraryBesideProgram(CQuorvexDlg& dlg, const char* program) {
  QuorvexState& st = dlg.st;
  platform::ModuleApi& modules = *dlg.seams.modules;
  char programDir[kPathBuf];
  std::snprintf(programDir, sizeof programDir, "%s", program);
  char* cut = nullptr;
  for (char* at = programDir; *at; ++at)
    if (*at == '\\' || *at == '/') cut = at;
  // A folder at a drive's root keeps its backslash: "C:" alone names that drive's current
  // directory, the very place the search must not look.
  if (cut && (cut == programDir || cut[-1] == ':')) ++cut;
  *(cut ? cut : programDir) = '\0';
  modules.SetDllDirectory(programDir);
  st.hInstCtrl = modules.LoadLibrary("Mendalix.dll");
  if (!st.hInstCtrl) {
    dlg.MessageBox("Mendalix.dll  not found");
    return false;
  }
  st.BT_OnConnect = reinterpret_cast<BT_OnConnect_t>(modules.GetProcAddress(st.hInstCtrl, "BT_OnConnect"));
  st.BT_OnQuery = reinterpret_cast<BT_OnQuery_t>(modules.GetProcAddress(st.hInstCtrl, "BT_OnQuery"));
  st.BT_OnReset = reinterpret_cast<BT_OnReset_t>(modules.GetProcAddress(st.hInstCtrl, "BT_OnReset"));
  return true;
}

// The port switch "/QCOMn" (any case), also when it is the only argument.
void ApplyPortSwitch(CQuorvexDlg& dlg, const char* first) {
  if (!first || std::strlen(first) != 6 || first[5] < '1' || first[5] > '4') return;
  char head[6];
  for (int i = 0; i < 5; ++i)
    head[i] = (first[i] >= 'a' && first[i] <= 'z') ? static_cast<char>(first[i] - 32) : first[i];
  head[5] = '\0';
  if (std::strcmp(head, "/QCOM") != 0) return;
  dlg.st.BT_SelPort = first[5] - '1';
  dlg.Controls().CbSetCurSel(IDC_COMPORT, dlg.st.BT_SelPort);
  dlg.ShowPortSetting();
}

}  // namespace

bool CQuorvexDlg::OnInitDialog() {
  FillLineSettingBoxes(Controls());
  fw::CDialog::OnInitDialog();  // base initialisation, with the data exchange
  SetUpFrame(*this);
  char program[kPathBuf] = "";
  ShowVersions(*this, program);
  NameFiles(st, program);
  WrtIniPathReg();   // the driver writes query results into the file named here
  ReloadSettings();  // the stored connect mode applied to the radios

  // "/d" enables the developer controls; then the port view.
  const char* first = Arg(0);
  if (first && std::strcmp(first, "/d") == 0) {
    for (int id : {IDC_MANUAL, IDC_HOST_RESET, IDC_CONNECT, IDC_ENTER_DATA_MODE,
                   IDC_END_DATA_MODE, IDC_DISCONNECT})
      Controls().Enable(id, true);
  }
  ShowPortSetting();

  if (!LoadLibraryBesideProgram(*this, program)) return false;
  ApplyPortSwitch(*this, first);
  StartMonitor();
  RdPlaySoundReg();
  RdAutoRunReg();
  st.bSwitchesRead = true;
  return true;
}

void CQuorvexDlg::ShowPortSetting() {
  platform::DialogControls& c = Controls();
  const PortSetting& r = st.settings.Port[st.BT_SelPort];

  c.CbSetCurSel(IDC_COMPORT, st.BT_SelPort);

  c.LbResetContent(IDC_HOST_LIST);
  c.LbInsertString(IDC_HOST_LIST, 0, r.SelHost);

  const char* v = std::strstr(r.HostVrsn, "_v");
  c.SetText(IDC_VERSION_DONGLE, v ? v + 2 : r.HostVrsn);

  c.LbResetContent(IDC_PRINTER_LIST);
  bool selected = false;
  int k = 0;
  for (; k < kQueryPrtMax; ++k) {
    c.LbInsertString(IDC_PRINTER_LIST, k, r.QueryPrt[k]);
    if (std::strcmp(r.QueryPrt[k], "NONE") == 0) break;
    if (std::strcmp(r.QueryPrt[k], r.Selprt) == 0) {
      c.LbSetCurSel(IDC_PRINTER_LIST, k);
      selected = true;
    }
  }
  if (!selected) c.LbSetCurSel(IDC_PRINTER_LIST, k);  // the "NONE" line, or none at all (7)

  auto firstInside = [&](std::initializer_list<const char*> entries) {
    int i = 0;
    for (const char* e : entries) {
      if (std::strstr(st.szBaudrate, e)) return i;
      ++i;
    }
    return i;  // past the last entry: no selection
  };
  c.CbSetCurSel(IDC_BAUDRATE, firstInside({"9600", "19200", "38400"}));
  c.CbSetCurSel(IDC_PARITY, firstInside({"N", "E", "O"}));
  c.CbSetCurSel(IDC_DATABITS, 0);
  size_t n = std::strlen(st.szBaudrate);
  c.CbSetCurSel(IDC_STOPBITS, n ? st.szBaudrate[n - 1] - '1' : -1);
}

void CQuorvexDlg::OnShowHelpText() { seams.process->WinExec(st.szHelpCmd, 3 /* SW_SHOWMAXIMIZED */); }

bool CQuorvexDlg::OnSysCommand(uintptr_t id, intptr_t, intptr_t* result) {
  if ((id & 0xFFF0) != IDM_ABOUTBOX) return false;
  CAboutDlg about;
  about.DoModal();
  *result = 0;
  return true;
}

bool CQuorvexDlg::OnPaint(uintptr_t, intptr_t, intptr_t* result) {
  platform::DialogControls& c = Controls();
  if (!c.IsIconic()) return false;
  int w = 0, h = 0, cx = 0, cy = 0;
  c.GetClientSize(&w, &h);
  c.GetIconMetrics(&cx, &cy);
  c.PaintIcon(m_hIcon, (w - cx + 1) / 2, (h - cy + 1) / 2);
  *result = 0;
  return true;
}

bool CQuorvexDlg::OnQueryDragIcon(uintptr_t, intptr_t, intptr_t* result) {
  *result = reinterpret_cast<intptr_t>(m_hIcon);
  return true;
}

bool CQuorvexDlg::OnDestroyMsg(uintptr_t, intptr_t, intptr_t*) {
  OnDestroy();
  return false;  // the frame's own destroy handling follows
}
