// Connecting every port to the printer bound to it in one run: the conflict check, the save
// before the run, the port loop with its lines and boxes, and the connect mode at start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/setup/rig.h"

namespace wf {
namespace {

using ::testing::ElementsAre;
using Op = platform::FakeComm::Op;

const char kFailedOpenFirst[] =
    "1 FAILED to open COM: No BT_Host or port already opened by other program";

// Four dongles. COM1 is bound to a printer, COM2 was queried but nothing is bound, COM3
// and COM4 have never found a printer.
Ini FourPorts() {
  Ini ini;
  for (int n = 0; n < 4; ++n) {
    ini.port[n].host = "0012F3A40B0" + std::to_string(n + 1);
    ini.port[n].version = "BTH_v1.02";
  }
  ini.port[0].printers = {"0019A5000001"};
  ini.port[0].selprt = "0019A5000001";
  ini.port[1].printers = {"0019A5000002", "0019A5000003"};
  return ini;
}

TEST(ConnectPrinter, ARunOverFourPortsConnectsDropsAndSkipsWithItsLines) {
  Ini ini = FourPorts();
  Rig rig(&ini);
  rig.Start();
  rig.DriverConnectAnswers(2, 0x4);  // the drop's word is not looked at
  bool buttonsEnabledDuringCall = false;
  rig.duringCall = [&](const LibCall&) {
    buttonsEnabledDuringCall |= rig.Enabled(IDC_CONNECT_PRINTER) || rig.Enabled(fw::kIdOk);
  };
  rig.Click(IDC_CONNECT_PRINTER);

  EXPECT_THAT(rig.Seen(),
              ElementsAre("init COM1", "COM1: connect printer: 0019A5000001", "COM1: Connect Ok",
                          "init COM2", "  Disconnect Printer", "init COM3", "  No Printer",
                          "init COM4", "  No Printer", "Auto Connect Completed."));
  ASSERT_EQ(rig.calls.size(), 2u);
  EXPECT_EQ(rig.calls[0].fn, "BT_OnConnect");
  EXPECT_EQ(rig.calls[0].port, "COM1");
  EXPECT_EQ(rig.calls[0].text, "0019A5000001");
  EXPECT_EQ(rig.calls[1].port, "COM2");
  EXPECT_EQ(rig.calls[1].text, "NONE");
  EXPECT_FALSE(buttonsEnabledDuringCall);
  EXPECT_TRUE(rig.Enabled(IDC_CONNECT_PRINTER));
  EXPECT_TRUE(rig.Enabled(fw::kIdOk));

  // Only the selected port's probe and the bound port's probe opened a port.
  std::vector<int> opened;
  for (const auto& c : rig.comm.Calls())
    if (c.op == Op::kOpen) opened.push_back(c.port);
  EXPECT_THAT(opened, ElementsAre(1, 1));

  // The dialog ends on the port the file names, and EXIT will save the run's bindings.
  EXPECT_EQ(rig.SelectedPort(), "COM1");
  EXPECT_EQ(rig.dlg->st.bSettingChanged, 1);
}

TEST(ConnectPrinter, AFailedConnectShowsItsBoxBeforeTheNextPortsAreHandled) {
  Ini ini = FourPorts();
  ini.port[0].selprt = "NONE";
  ini.port[0].printers.clear();
  for (int n = 1; n < 4; ++n) {
    ini.port[n].printers = {"0019A500000" + std::to_string(n + 1)};
    ini.port[n].selprt = ini.port[n].printers[0];
  }
  Rig rig(&ini);
  rig.Start();
  rig.DriverConnectAnswers(2, 0x20);
  size_t callsWhenBoxShown = 0;
  rig.controls.onBox = [&](const std::string&) {
    callsWhenBoxShown = rig.calls.size();
    rig.ChoosePort(1);  // the user plays with the port box while the box is open
  };
  rig.Click(IDC_CONNECT_PRINTER);

  EXPECT_EQ(callsWhenBoxShown, 1u);
  EXPECT_THAT(rig.Seen(),
              ElementsAre("init COM1", "  No Printer", "init COM2",
                          "COM2: connect printer: 0019A5000002",
                          "COM2: Printer Dongle Connection Failed....",
                          "box: COM2: Printer Dongle Connection Failed....", "init COM3",
                          "COM3: connect printer: 0019A5000003", "COM3: Connect Ok", "init COM4",
                          "COM4: connect printer: 0019A5000004", "COM4: Connect Ok",
                          "Auto Connect Completed."));
  ASSERT_EQ(rig.calls.size(), 3u);
  EXPECT_EQ(rig.calls[1].port, "COM3");
  EXPECT_EQ(rig.calls[2].port, "COM4");
}

TEST(ConnectPrinter, APortThatCannotBeOpenedInTheRunIsSkippedWithABox) {
  Ini ini = FourPorts();
  ini.port[2].printers = {"0019A5000007"};
  ini.port[2].selprt = "0019A5000007";
  Rig rig(&ini);
  rig.Start();
  rig.comm.SetHeldByOther(3, true);
  rig.Click(IDC_CONNECT_PRINTER);

  ASSERT_EQ(rig.calls.size(), 2u);  // COM1's connect and COM2's drop; nothing for COM3
  EXPECT_THAT(rig.Seen(),
              ElementsAre("init COM1", "COM1: connect printer: 0019A5000001", "COM1: Connect Ok",
                          "init COM2", "  Disconnect Printer", "init COM3",
                          "box: 2 FAILED to open COM3: No BT_Host or port already opened by "
                          "other program",
                          "init COM4", "  No Printer", "Auto Connect Completed."));
}

TEST(ConnectPrinter, TheSelectedPortThatCannotBeOpenedStopsBeforeTheSave) {
  Ini ini = FourPorts();
  Rig rig(&ini);
  rig.Start();
  rig.ChoosePort(2);
  rig.ChoosePrinter("0019A5000003");
  const std::string fileBefore = rig.ReadIni();
  rig.comm.SetHeldByOther(2, true);
  rig.Click(IDC_CONNECT_PRINTER);

  EXPECT_THAT(rig.Seen(), ElementsAre(std::string("box: ") + kFailedOpenFirst));
  EXPECT_TRUE(rig.calls.empty());
  EXPECT_EQ(rig.ReadIni(), fileBefore);
  EXPECT_EQ(rig.dlg->st.bSettingChanged, 1);
  EXPECT_TRUE(rig.Enabled(IDC_CONNECT_PRINTER));
  EXPECT_TRUE(rig.Enabled(IDC_QUERY));
}

TEST(ConnectPrinter, TwoPortsNamingOnePrinterConnectNothingButTheChoiceIsSaved) {
  Ini ini = FourPorts();
  ini.port[2].printers = {"0019A5000001", "0019A5000005"};
  Rig rig(&ini);
  rig.Start();
  rig.ChoosePort(3);
  rig.ChoosePrinter("0019A5000001");  // the printer COM1 already has
  rig.Click(IDC_CONNECT_PRINTER);

  const char kConflict[] = "Error:  COM1, COM3  select the same printer\n";
  EXPECT_THAT(rig.Seen(), ElementsAre(kConflict, std::string("box: ") + kConflict));
  EXPECT_TRUE(rig.calls.empty());
  EXPECT_TRUE(rig.Enabled(IDC_CONNECT_PRINTER));
  EXPECT_TRUE(rig.Enabled(fw::kIdOk));
  EXPECT_TRUE(rig.Enabled(IDC_AUTO));
  // The save before the check stands.
  EXPECT_NE(rig.ReadIni().find("BT_Port: COM3\r\n\t BT_SelHost:  0012F3A40B03\r\n"
                               "\t BT_Selprt:   0019A5000001\r\n"),
            std::string::npos)
      << rig.ReadIni();
  EXPECT_EQ(rig.dlg->st.bSettingChanged, 0);
}

TEST(ConnectPrinter, TheSameTextInOtherCaseIsNotAConflictButOnCom4TheExactTextIs) {
  Ini ini = FourPorts();
  ini.port[3].printers = {"0019a5000001", "0019A5000001"};
  ini.port[3].selprt = "0019a5000001";
  Rig rig(&ini);
  rig.Start();
  rig.Click(IDC_CONNECT_PRINTER);
  EXPECT_TRUE(rig.Boxes().empty());
  ASSERT_EQ(rig.calls.size(), 3u);
  EXPECT_EQ(rig.calls[2].text, "0019a5000001");
  rig.ForgetSeen();
  rig.ChoosePort(4);
  rig.ChoosePrinter("0019A5000001");
  rig.Click(IDC_CONNECT_PRINTER);
  EXPECT_EQ(rig.Seen().front(), "Error:  COM1, COM4  select the same printer\n");
}

TEST(ConnectPrinter, WithManualStoredTheFirstPressOnlySelectsAuto) {
  Ini ini = FourPorts();
  ini.mode = "MANUAL";
  Rig rig(&ini);
  rig.Start();
  EXPECT_TRUE(rig.controls.IsDlgButtonChecked(IDC_MANUAL));

  rig.Click(IDC_CONNECT_PRINTER);
  EXPECT_TRUE(rig.controls.IsDlgButtonChecked(IDC_AUTO));
  EXPECT_FALSE(rig.controls.IsDlgButtonChecked(IDC_MANUAL));
  EXPECT_TRUE(rig.Status().empty());
  EXPECT_TRUE(rig.calls.empty());
  EXPECT_TRUE(rig.Enabled(IDC_CONNECT_PRINTER));

  rig.Click(IDC_CONNECT_PRINTER);
  EXPECT_EQ(rig.Status().front(), "init COM1");
  EXPECT_EQ(rig.Status().back(), "Auto Connect Completed.");
  EXPECT_EQ(rig.calls.size(), 2u);
  // The save at the start of the run wrote the mode the radios now show.
  EXPECT_NE(rig.ReadIni().find("BT_Connect: AUTO"), std::string::npos);
}

TEST(ConnectPrinter, WithoutTheLibraryOrItsConnectTheUserIsToldWhichAndNoPortIsTouched) {
  Ini ini = FourPorts();
  Rig rig(&ini, /*withLibrary=*/false);
  rig.Start();
  rig.ForgetSeen();
  rig.Click(IDC_CONNECT_PRINTER);
  EXPECT_THAT(rig.Seen(), ElementsAre("Mendalix.dll  not found", "box: Mendalix.dll  not found"));
  EXPECT_TRUE(rig.Enabled(IDC_CONNECT_PRINTER));
  Rig loaded(&ini);  // the library without its connect call
  loaded.missingCall = "BT_OnConnect";
  loaded.Start();
  loaded.Click(IDC_CONNECT_PRINTER);
  EXPECT_THAT(loaded.Boxes(), ElementsAre("Mendalix.dll: BT_OnConnect not found"));
}

}  // namespace
}  // namespace wf
