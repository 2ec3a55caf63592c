// Starting the program: what the dialog shows after its initialisation, depending on the
// settings file, the program's place and name, the version records and the command line.
#include <gtest/gtest.h>

#include "setup/dialog/QuorvexApp.h"
#include "tests/setup/rig.h"

using rig::DialogRig;
using rig::PortFile;

namespace {

int g_aboutRuns = 0;
int CountAbout(fw::CDialog& d) {
  if (d.TemplateId() == IDD_ABOUTBOX) ++g_aboutRuns;
  return fw::kIdOk;
}

std::string RegText(DialogRig& r, const char* key, const char* name) {
  std::vector<unsigned char> bytes;
  uint32_t type = 0;
  if (!r.registry.Get(key, name, &type, &bytes)) return "<missing>";
  return std::string(bytes.begin(), bytes.end());
}

void TwoPortsFile(DialogRig& r, int selPort, const std::string& mode) {
  PortFile ports[4];
  ports[0] = {"0011AA", "00AB01", "HOST_v1.20", {"00AB01", "00AB02"}};
  ports[1] = {"0022BB", "NONE", "MK2_v3.4_v9", {"00CD01"}};
  r.WriteSettings(selPort, "38400E82", ports, mode);
}

}  // namespace

TEST(StartUp, WithASettingsFileShowsTheStoredPortAndItsPrinters) {
  DialogRig r;
  TwoPortsFile(r, 1, "AUTO");
  r.versions.Give(r.dir + "/Quorvex.exe", 3, 1, 5, 0);
  r.versions.Give(r.dir + "/Mendalix.dll", 3, 0, 7, 0);
  ASSERT_TRUE(r.Start());

  EXPECT_EQ(r.ui.Entries(IDC_COMPORT), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
  EXPECT_EQ(r.ui.Selection(IDC_COMPORT), 1);
  EXPECT_EQ(r.ui.Text(IDC_COMPORT), "COM2");
  EXPECT_EQ(r.ui.At(IDC_COMPORT).dropDownGrowth, 60);
  EXPECT_EQ(r.ui.Entries(IDC_HOST_LIST), std::vector<std::string>{"0022BB"});
  EXPECT_EQ(r.ui.Text(IDC_VERSION_DONGLE), "3.4_v9");  // after the first "_v" only
  EXPECT_EQ(r.ui.Entries(IDC_PRINTER_LIST), (std::vector<std::string>{"00CD01", "NONE"}));
  EXPECT_EQ(r.ui.Selection(IDC_PRINTER_LIST), 1);  // Selprt NONE: the NONE line
  EXPECT_EQ(r.ui.Text(IDC_VERSION_QUORVEX), "3.1.5");
  EXPECT_EQ(r.ui.Text(IDC_VERSION_MENDALIX), "3.0.7");
  EXPECT_EQ(r.ui.Text(IDC_VERSION_DRIVER), "");  // no driver installed

  // A stored AUTO sets the Auto radio and uses up the start-up flag; nothing is changed.
  EXPECT_TRUE(r.ui.IsDlgButtonChecked(IDC_AUTO));
  EXPECT_FALSE(r.ui.IsDlgButtonChecked(IDC_MANUAL));
  EXPECT_EQ(r.St().bFirstLoad, 0);
  EXPECT_EQ(r.St().bSettingChanged, 0);
  // The program never connects or queries on its own.
  EXPECT_TRUE(rig::LibraryCalls().empty());
  // The library is bound; the settings path is published for the driver.
  EXPECT_NE(r.St().BT_OnQuery, nullptr);
  EXPECT_NE(r.St().BT_OnConnect, nullptr);
  EXPECT_NE(r.St().BT_OnReset, nullptr);
  EXPECT_EQ(RegText(r, rig::kParams, "BTiniPath"), "\\??\\" + r.dir + "/Quorvex.ini");
  EXPECT_EQ(r.threads.starts, 1);
  EXPECT_EQ(r.registry.OpenHandles(), 0);
}

TEST(StartUp, WithoutASettingsFileShowsDefaultsInManualModeAndExitWritesTheFile) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  EXPECT_EQ(r.ui.Selection(IDC_COMPORT), 0);
  EXPECT_EQ(r.ui.Entries(IDC_HOST_LIST), std::vector<std::string>{"NONE"});
  EXPECT_EQ(r.ui.Entries(IDC_PRINTER_LIST), std::vector<std::string>{"NONE"});
  EXPECT_EQ(r.ui.Selection(IDC_PRINTER_LIST), 0);
  EXPECT_EQ(r.ui.Text(IDC_VERSION_DONGLE), "NONE");
  EXPECT_TRUE(r.ui.IsDlgButtonChecked(IDC_MANUAL));
  EXPECT_EQ(r.St().bSettingChanged, 1);  // the Manual handler ran
  EXPECT_EQ(r.St().bFirstLoad, 1);
  // Default line settings "19200N81".
  EXPECT_EQ(r.ui.Selection(IDC_BAUDRATE), 1);
  EXPECT_EQ(r.ui.Selection(IDC_PARITY), 0);
  EXPECT_EQ(r.ui.Selection(IDC_DATABITS), 0);
  EXPECT_EQ(r.ui.Selection(IDC_STOPBITS), 0);

  r.PressEnter();
  EXPECT_TRUE(r.ui.ended);
  EXPECT_EQ(r.ui.endResult, 1);
  ASSERT_TRUE(r.SettingsExist());
  std::string file = r.ReadSettings();
  EXPECT_NE(file.find("BT_SelPort: COM1"), std::string::npos);
  EXPECT_NE(file.find("BT_Connect: MANUAL"), std::string::npos);
}

TEST(StartUp, StoredManualModeSelectsManualAndCountsAsAChange) {
  DialogRig r;
  TwoPortsFile(r, 0, "MANUAL");
  ASSERT_TRUE(r.Start());
  EXPECT_TRUE(r.ui.IsDlgButtonChecked(IDC_MANUAL));
  EXPECT_EQ(r.St().bFirstLoad, 1);
  EXPECT_EQ(r.St().bSettingChanged, 1);
  // COM1's bound printer is selected in its list.
  EXPECT_EQ(r.ui.Entries(IDC_PRINTER_LIST), (std::vector<std::string>{"00AB01", "00AB02", "NONE"}));
  EXPECT_EQ(r.ui.Selection(IDC_PRINTER_LIST), 0);
  EXPECT_EQ(r.ui.Text(IDC_VERSION_DONGLE), "1.20");
  // "38400E82": 38400, E, 8, stop bits 2.
  EXPECT_EQ(r.ui.Selection(IDC_BAUDRATE), 2);
  EXPECT_EQ(r.ui.Selection(IDC_PARITY), 1);
  EXPECT_EQ(r.ui.Selection(IDC_STOPBITS), 1);
}

TEST(StartUp, ProgramPathsGiveTheSettingsHelpAndLibraryNames) {
  struct Case {
    const char* program;
    const char* ini;
    const char* helpCmd;
    const char* libraryVersion;  // box 1041 with a library of version 3.0.7 beside the program
  } cases[] = {
      {"C:\\Shop\\Quorvex.exe", "C:\\Shop\\Quorvex.ini", "notepad.exe \"C:\\Shop\\Quorvex.txt\"", "3.0.7"},
      // The first ".exe" anywhere in the path is cut.
      {"C:\\Tools.exe.d\\Quorvex.exe", "C:\\Tools.ini", "notepad.exe \"C:\\Tools.txt\"", "3.0.7"},
      {"C:\\Shop\\QUORVEX.EXE", "C:\\Shop\\QUORVEX.ini", "notepad.exe \"C:\\Shop\\QUORVEX.txt\"", "3.0.7"},
      // Another name: the library is looked for after the whole program path, and not found.
      {"C:\\Shop\\Setup.exe", "C:\\Shop\\Setup.ini", "notepad.exe \"C:\\Shop\\Setup.txt\"", ""},
      {"C:\\Program Files\\Quorvex\\Quorvex.exe", "C:\\Program Files\\Quorvex\\Quorvex.ini",
       "notepad.exe \"C:\\Program Files\\Quorvex\\Quorvex.txt\"", "3.0.7"},
      // No extension at all: the whole path gets ".ini".
      {"C:\\Shop\\quorvex", "C:\\Shop\\quorvex.ini", "notepad.exe \"C:\\Shop\\quorvex.txt\"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    DialogRig r;
    r.ProgramAt(c.program);
    std::string program = c.program;
    r.versions.Give(program.substr(0, program.rfind('\\') + 1) + "Mendalix.dll", 3, 0, 7, 0);
    r.versions.Give(c.program, 3, 1, 5, 0);
    ASSERT_TRUE(r.Start());
    EXPECT_STREQ(r.St().szIniPath, c.ini);
    EXPECT_STREQ(r.St().szHelpCmd, c.helpCmd);
    EXPECT_EQ(r.ui.Text(IDC_VERSION_MENDALIX), c.libraryVersion);
    EXPECT_EQ(r.ui.Text(IDC_VERSION_QUORVEX), "3.1.5");
    // The library itself is always loaded by its bare name.
    EXPECT_EQ(r.modules.calls[1], "LoadLibrary(Mendalix.dll)");
    EXPECT_NE(r.St().BT_OnQuery, nullptr);

    r.Click(IDC_HELPTEXT);
    ASSERT_EQ(r.process.started.size(), 1u);
    EXPECT_EQ(r.process.started[0].first, c.helpCmd);
    EXPECT_EQ(r.process.started[0].second, 3);  // maximised
  }
}

TEST(StartUp, VersionsShowThreePartsInHex) {
  DialogRig r;
  r.process.systemDirectory = "C:\\windows\\system32";
  r.versions.Give(r.dir + "/Quorvex.exe", 10, 0x1F, 0xABC, 7);
  r.versions.Give(r.dir + "/Mendalix.dll", 0, 0, 0, 9);
  r.versions.GiveWithoutRoot("C:\\windows\\system32\\drivers\\Sarnovek.sys");
  ASSERT_TRUE(r.Start());
  EXPECT_EQ(r.ui.Text(IDC_VERSION_QUORVEX), "a.1f.abc");
  EXPECT_EQ(r.ui.Text(IDC_VERSION_MENDALIX), "0.0.0");
  EXPECT_EQ(r.ui.Text(IDC_VERSION_DRIVER), "");  // a record without a root block
}

TEST(StartUp, TheDriverVersionComesFromTheSystemDriversDirectory) {
  DialogRig r;
  r.process.systemDirectory = "C:\\WINNT\\System32";
  r.versions.Give("C:\\WINNT\\System32\\drivers\\Sarnovek.sys", 2, 4, 0x10, 1);
  ASSERT_TRUE(r.Start());
  EXPECT_EQ(r.ui.Text(IDC_VERSION_DRIVER), "2.4.10");
}

TEST(StartUp, CommandLineSwitches) {
  PortFile ports[4];
  struct Case {
    std::vector<std::string> args;
    int port;           // selected afterwards
    bool developer;     // developer controls enabled
  } cases[] = {
      {{}, 2, false},
      {{"/d"}, 2, true},
      {{"/D"}, 2, false},                 // case-sensitive
      {{"/d", "/QCOM1"}, 2, true},        // a port switch in second place is ignored
      {{"/qcom3", "x"}, 2, false},        // the port switch ignores case
      {{"/QCOM4"}, 3, false},             // a lone port switch is taken too
      {{"/QCOM2", "more"}, 1, false},
      {{"/QCOM5"}, 2, false},
      {{"/QCOM0"}, 2, false},
      {{"/QCOMx"}, 2, false},
      {{"/QCOM12"}, 2, false},            // seven characters
      {{"/XCOM1"}, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args[0]);
    DialogRig r;
    r.WriteSettings(2, "19200N81", ports, "AUTO");
    ASSERT_TRUE(r.Start(c.args));
    EXPECT_EQ(r.St().BT_SelPort, c.port);
    EXPECT_EQ(r.ui.Selection(IDC_COMPORT), c.port);
    for (int id : {IDC_MANUAL, IDC_HOST_RESET, IDC_CONNECT, IDC_ENTER_DATA_MODE, IDC_END_DATA_MODE,
                   IDC_DISCONNECT}) {
      EXPECT_EQ(r.ui.At(id).enabled, c.developer) << id;
      EXPECT_FALSE(r.ui.At(id).visible) << id;  // they stay hidden
    }
  }
}

TEST(StartUp, WithoutTheLibraryOneBoxAndTheDialogStaysWithNothingBound) {
  DialogRig r;
  r.WithoutLibrary();
  r.registry.PutDword(rig::kParams, "PlaySound", 1);
  EXPECT_FALSE(r.Start({"/QCOM3", "x"}));
  EXPECT_EQ(r.ui.boxes, std::vector<std::string>{"Mendalix.dll  not found"});
  EXPECT_FALSE(r.ui.ended);
  EXPECT_EQ(r.St().BT_OnQuery, nullptr);
  EXPECT_EQ(r.St().BT_OnConnect, nullptr);
  EXPECT_EQ(r.St().BT_OnReset, nullptr);
  EXPECT_EQ(r.threads.starts, 0);        // no monitor
  EXPECT_EQ(r.St().BT_SelPort, 0);       // the port switch was not applied
  for (int id : {IDC_PLAYSOUND_ON, IDC_PLAYSOUND_OFF, IDC_AUTORUN_ON, IDC_AUTORUN_OFF})
    EXPECT_FALSE(r.ui.IsDlgButtonChecked(id));
  r.PaintLabels();
  for (int id = IDC_STATE_COM1; id <= IDC_STATE_COM4; ++id) EXPECT_EQ(r.ui.Text(id), "None");

  // The dialog stays usable: choosing a port still shows it.
  r.ChooseCom(3);
  EXPECT_EQ(r.ui.Text(IDC_COMPORT), "COM4");

  // Closing runs the tear-down, but the switches that were never read are not written
  // over: PlaySound keeps its stored On, and no AutoRun entry appears.
  r.Close();
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(r.registry.Get(rig::kParams, "PlaySound", nullptr, &bytes));
  EXPECT_EQ(bytes[0], 1);
  EXPECT_FALSE(r.registry.Get(rig::kRun, "Quorvex", nullptr, nullptr));
  EXPECT_EQ(r.modules.Loaded(), 0);
  EXPECT_EQ(r.ui.boxes.size(), 1u);
}

TEST(StartUp, AMissingCallLeavesOnlyThatEntryUnbound) {
  DialogRig r;
  r.modules.Provide("Mendalix.dll", {{"BT_OnQuery", reinterpret_cast<void*>(+[](const char*, const char*) -> int32_t { return 0; })}});
  ASSERT_TRUE(r.Start());
  EXPECT_NE(r.St().BT_OnQuery, nullptr);
  EXPECT_EQ(r.St().BT_OnConnect, nullptr);
  EXPECT_EQ(r.St().BT_OnReset, nullptr);
  EXPECT_TRUE(r.ui.boxes.empty());
}

TEST(StartUp, TheProgramsFolderTakesTheCurrentDirectorysPlaceBeforeTheLibraryIsLoadedAndBound) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  std::vector<std::string> expected = {"SetDllDirectory(" + r.dir + ")", "LoadLibrary(Mendalix.dll)",
                                       "GetProcAddress(BT_OnConnect)", "GetProcAddress(BT_OnQuery)",
                                       "GetProcAddress(BT_OnReset)"};
  EXPECT_EQ(r.modules.calls, expected);
  // At a drive's root the folder is C:\ and not C:, which names the current directory.
  DialogRig root;
  root.ProgramAt("C:\\Quorvex.exe");
  ASSERT_TRUE(root.Start());
  EXPECT_EQ(root.modules.calls[0], "SetDllDirectory(C:\\)");
}

TEST(StartUp, NoRightToChangeMachineSettingsShowsOneBoxAndStartUpGoesOn) {
  DialogRig r;
  r.registry.DenyCreate(true);
  ASSERT_TRUE(r.Start());
  EXPECT_EQ(r.ui.boxes, std::vector<std::string>{"OnInitDialog: open registry failed: Sarnovek\\Parameters"});
  EXPECT_FALSE(r.registry.HasKey(rig::kParams));
  EXPECT_NE(r.St().BT_OnQuery, nullptr);
}

TEST(Frame, SystemMenuAboutBoxIconsAndMinimisedPaint) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  ASSERT_EQ(r.ui.systemMenu.size(), 2u);
  EXPECT_EQ(r.ui.systemMenu[0].first, 0);  // separator
  EXPECT_EQ(r.ui.systemMenu[1], std::make_pair(16, std::string("關於 Quorvex(&A)...")));
  EXPECT_EQ(r.ui.bigIcon, r.process.LoadIcon(IDR_MAINFRAME));
  EXPECT_EQ(r.ui.smallIcon, r.ui.bigIcon);

  // Every system command 16..31 opens the About box; others go to the default handling.
  fw::ModalRunner previous = fw::SetModalRunner(&CountAbout);
  int before = g_aboutRuns;
  for (uintptr_t cmd = 16; cmd <= 31; ++cmd) {
    intptr_t res = -1;
    EXPECT_TRUE(r.Dlg().DispatchMessage(fw::kWmSysCommand, cmd, 0, &res));
  }
  EXPECT_EQ(g_aboutRuns, before + 16);
  intptr_t res = 0;
  EXPECT_FALSE(r.Dlg().DispatchMessage(fw::kWmSysCommand, 32, 0, &res));
  EXPECT_FALSE(r.Dlg().DispatchMessage(fw::kWmSysCommand, 0xF060 /* SC_CLOSE */, 0, &res));
  EXPECT_EQ(g_aboutRuns, before + 16);
  fw::SetModalRunner(previous);

  // Painting: default while the window is shown, the centred icon while minimised.
  EXPECT_FALSE(r.Dlg().DispatchMessage(fw::kWmPaint, 0, 0, &res));
  r.ui.iconic = true;
  r.ui.clientWidth = 160;
  r.ui.clientHeight = 31;
  EXPECT_TRUE(r.Dlg().DispatchMessage(fw::kWmPaint, 0, 0, &res));
  ASSERT_EQ(r.ui.paints.size(), 1u);
  EXPECT_EQ(r.ui.paints[0].x, (160 - 32 + 1) / 2);
  EXPECT_EQ(r.ui.paints[0].y, (31 - 32 + 1) / 2);
  EXPECT_TRUE(r.Dlg().DispatchMessage(fw::kWmQueryDragIcon, 0, 0, &res));
  EXPECT_EQ(reinterpret_cast<void*>(res), r.ui.bigIcon);
}

TEST(Frame, WithoutASystemMenuNothingIsAppended) {
  DialogRig r;
  r.ui.hasSystemMenu = false;
  ASSERT_TRUE(r.Start());
  EXPECT_TRUE(r.ui.systemMenu.empty());
}

TEST(TearDown, SwitchesAreWrittenThenTheMonitorStopsThenTheLibraryGoes) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  uint64_t sleptBefore = r.clock.SleptMs();
  r.Close();
  EXPECT_EQ(r.St().bMonitorStop, 1);
  EXPECT_GE(r.clock.SleptMs() - sleptBefore, 1200u);
  EXPECT_EQ(r.St().hInstCtrl, nullptr);
  EXPECT_EQ(r.St().BT_OnQuery, nullptr);
  EXPECT_EQ(r.modules.calls.back(), "FreeLibrary(Mendalix.dll)");
  EXPECT_TRUE(r.registry.Get(rig::kParams, "PlaySound", nullptr, nullptr));
  EXPECT_TRUE(r.registry.Get(rig::kRun, "Quorvex", nullptr, nullptr));
  EXPECT_EQ(r.registry.OpenHandles(), 0);
}

namespace {
int g_mainRuns = 0;
int CountMain(fw::CDialog& d) {
  if (d.TemplateId() == IDD_QUORVEX_DIALOG) ++g_mainRuns;
  return fw::kIdOk;
}
}  // namespace

TEST(Application, RunsTheMainDialogOnceAndLetsTheProcessEnd) {
  DialogRig r;
  QuorvexSeams seams;
  seams.registry = &r.registry;
  seams.modules = &r.modules;
  seams.versions = &r.versions;
  seams.process = &r.process;
  seams.clock = &r.clock;
  seams.threads = &r.threads;
  fw::ModalRunner previous = fw::SetModalRunner(&CountMain);
  CQuorvexApp app(seams, 0, nullptr);
  EXPECT_FALSE(app.InitInstance());
  fw::SetModalRunner(previous);
  EXPECT_EQ(g_mainRuns, 1);
}
