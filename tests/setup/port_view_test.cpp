// Choosing ports and printers: what the port view shows for a port's settings, and what the
// choices change.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/setup/rig.h"

using rig::DialogRig;
using rig::PortFile;

namespace {
const std::vector<std::string> kSeven = {"0001", "0002", "0003", "0004", "0005", "0006", "0007"};
}

TEST(PortView, PrinterListSelectionFollowsTheBoundPrinter) {
  struct Case {
    std::vector<std::string> printers;
    std::string selprt;
    std::vector<std::string> lines;
    int selected;
  } cases[] = {
      {kSeven, "0005", kSeven, 4},
      {kSeven, "0009", kSeven, -1},            // seven addresses, no match: no selection
      {kSeven, "NONE", kSeven, -1},
      {{"0001", "0002"}, "0009", {"0001", "0002", "NONE"}, 2},  // no match: the NONE line
      {{"0001", "0002"}, "0002", {"0001", "0002", "NONE"}, 1},
      {{}, "0002", {"NONE"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selprt + " of " + std::to_string(c.printers.size()));
    DialogRig r;
    PortFile ports[4];
    ports[0] = {"00HOST", c.selprt, "V_v2", c.printers};
    r.WriteSettings(0, "19200N81", ports, "AUTO");
    ASSERT_TRUE(r.Start());
    EXPECT_EQ(r.ui.Entries(IDC_PRINTER_LIST), c.lines);
    EXPECT_EQ(r.ui.Selection(IDC_PRINTER_LIST), c.selected);
  }
}

TEST(PortView, LineSettingsBoxesFollowTheBaudText) {
  struct Case {
    const char* baud;
    int rate, parity, stop;
  } cases[] = {
      {"19200N81", 1, 0, 0},
      {"38400E82", 2, 1, 1},
      {"9600O81", 0, 2, 0},
      {"57600X81", -1, -1, 0},  // nothing known: no selection
      {"19200N8", 1, 0, -1},  // last character '8': past the two stop-bit entries
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baud);
    DialogRig r;
    PortFile ports[4];
    r.WriteSettings(0, c.baud, ports, "AUTO");
    ASSERT_TRUE(r.Start());
    EXPECT_STREQ(r.St().szBaudrate, c.baud);
    EXPECT_EQ(r.ui.Selection(IDC_BAUDRATE), c.rate);
    EXPECT_EQ(r.ui.Selection(IDC_PARITY), c.parity);
    EXPECT_EQ(r.ui.Selection(IDC_DATABITS), 0);
    EXPECT_EQ(r.ui.Selection(IDC_STOPBITS), c.stop);
    EXPECT_EQ(r.ui.Entries(IDC_BAUDRATE), (std::vector<std::string>{"9600", "19200", "38400"}));
    EXPECT_EQ(r.ui.Entries(IDC_PARITY), (std::vector<std::string>{"N", "E", "O"}));
    EXPECT_EQ(r.ui.Entries(IDC_STOPBITS), (std::vector<std::string>{"1", "2"}));
    EXPECT_FALSE(r.ui.At(IDC_BAUDRATE).visible);
  }
}

TEST(PortView, ChoosingPortsAndPrintersBindsAndMarksTheChange) {
  DialogRig r;
  PortFile ports[4];
  ports[0] = {"0011", "NONE", "A_v1", {"00P1", "00P2"}};
  ports[2] = {"0033", "00P9", "C_v3", {"00P8", "00P9"}};
  r.WriteSettings(0, "19200N81", ports, "AUTO");
  ASSERT_TRUE(r.Start());
  EXPECT_EQ(r.St().bSettingChanged, 0);

  // From the list: the port switches, the view follows, and it counts as a change.
  r.ChooseCom(2);
  EXPECT_EQ(r.St().BT_SelPort, 2);
  EXPECT_STREQ(r.St().szComPort, "COM3");
  EXPECT_EQ(r.ui.Entries(IDC_HOST_LIST), std::vector<std::string>{"0033"});
  EXPECT_EQ(r.ui.Text(IDC_VERSION_DONGLE), "3");
  EXPECT_EQ(r.ui.Selection(IDC_PRINTER_LIST), 1);
  EXPECT_EQ(r.St().bSettingChanged, 1);

  // Binding a printer of COM3, then unbinding it with the NONE line.
  r.ChoosePrinter(0);
  EXPECT_STREQ(r.St().settings.Port[2].Selprt, "00P8");
  r.ChoosePrinter(2);
  EXPECT_STREQ(r.St().settings.Port[2].Selprt, "NONE");
  EXPECT_STREQ(r.St().settings.Port[0].Selprt, "NONE");  // other ports untouched
}

TEST(PortView, TypingInThePortBoxSwitchesWithoutMarkingAChange) {
  DialogRig r;
  PortFile ports[4];
  ports[1] = {"0022", "NONE", "B_v2", {"00Q1"}};
  r.WriteSettings(0, "19200N81", ports, "AUTO");
  ASSERT_TRUE(r.Start());
  r.ui.At(IDC_COMPORT).droppedDown = true;

  r.TypeCom("com2");
  EXPECT_EQ(r.St().BT_SelPort, 1);
  EXPECT_STREQ(r.St().szComPort, "COM2");
  EXPECT_EQ(r.ui.Entries(IDC_HOST_LIST), std::vector<std::string>{"0022"});
  EXPECT_FALSE(r.ui.At(IDC_COMPORT).droppedDown);
  EXPECT_EQ(r.St().bSettingChanged, 0);

  // Text that names no entry: the port stays a valid one and the typed text is left alone.
  r.TypeCom("COM9");
  EXPECT_EQ(r.St().BT_SelPort, 1);
  EXPECT_EQ(r.ui.Text(IDC_COMPORT), "COM9");
  r.TypeCom("");
  EXPECT_EQ(r.St().BT_SelPort, 1);
  EXPECT_STREQ(r.St().szComPort, "COM2");
}

TEST(PortView, PortNamesHaveNoColon) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  for (int p = 0; p < 4; ++p) {
    r.St().BT_SelPort = p;
    r.Dlg().MakeComPortName();
    EXPECT_EQ(std::string(r.St().szComPort), "COM" + std::to_string(p + 1));
  }
}

TEST(PortView, ASettingsFileNamingAPortOutOfRangeStillLeavesAValidPort) {
  DialogRig r;
  PortFile ports[4];
  r.WriteSettings(0, "19200N81", ports, "AUTO");
  std::string file = r.ReadSettings();
  file.replace(file.find("COM1"), 4, "COM9");
  {
    std::FILE* f = std::fopen((r.dir + "/Quorvex.ini").c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  ASSERT_TRUE(r.Start());
  EXPECT_GE(r.St().BT_SelPort, 0);
  EXPECT_LE(r.St().BT_SelPort, 3);
}
