// Leaving the program: EXIT and Enter save what changed; Esc and the close box do not.
#include <gtest/gtest.h>

#include "tests/setup/rig.h"

using rig::DialogRig;
using rig::PortFile;

namespace {
void StoredAuto(DialogRig& r) {
  PortFile ports[4];
  ports[1] = {"0022", "NONE", "B_v2", {"00Q1", "00Q2"}};
  r.WriteSettings(0, "19200N81", ports, "AUTO");
}
}  // namespace

TEST(Leaving, ExitWithoutChangesWritesNothing) {
  DialogRig r;
  StoredAuto(r);
  std::string before = r.ReadSettings();
  ASSERT_TRUE(r.Start());
  r.Click(IDOK);
  EXPECT_TRUE(r.ui.ended);
  EXPECT_EQ(r.ui.endResult, 1);
  EXPECT_EQ(r.ReadSettings(), before);
}

TEST(Leaving, ExitAfterChoosingAPortAndPrinterSavesThem) {
  DialogRig r;
  StoredAuto(r);
  ASSERT_TRUE(r.Start());
  r.ChooseCom(1);
  r.ChoosePrinter(1);
  r.PressEnter();
  std::string file = r.ReadSettings();
  EXPECT_NE(file.find("BT_SelPort: COM2"), std::string::npos);
  EXPECT_NE(file.find("BT_Selprt:   00Q2"), std::string::npos);
  EXPECT_NE(file.find("BT_Connect: AUTO"), std::string::npos);
  EXPECT_EQ(r.St().bSettingChanged, 0);
  // The data exchange took the list's selection.
  EXPECT_STREQ(r.Dlg().m_strPrinter, "00Q2");
}

TEST(Leaving, EscAfterChangesLeavesTheFileAsItWas) {
  DialogRig r;
  StoredAuto(r);
  std::string before = r.ReadSettings();
  ASSERT_TRUE(r.Start());
  r.ChooseCom(1);
  r.ChoosePrinter(0);
  r.PressEsc();
  EXPECT_TRUE(r.ui.ended);
  EXPECT_EQ(r.ui.endResult, 2);
  EXPECT_EQ(r.ReadSettings(), before);
  EXPECT_STREQ(r.Dlg().m_strPrinter, "");
}

TEST(Leaving, ChoosingManualCountsAsAChange) {
  DialogRig r;
  StoredAuto(r);
  ASSERT_TRUE(r.Start({"/d"}));
  r.Click(IDC_MANUAL);
  EXPECT_TRUE(r.ui.IsDlgButtonChecked(IDC_MANUAL));
  EXPECT_FALSE(r.ui.IsDlgButtonChecked(IDC_AUTO));
  r.PressEnter();
  EXPECT_NE(r.ReadSettings().find("BT_Connect: MANUAL"), std::string::npos);
}

TEST(Leaving, AFailedSaveShowsTheWritersMessageAndTheDialogStillCloses) {
  DialogRig r;
  r.ProgramAt("/nonexistent-dir/Quorvex.exe");
  ASSERT_TRUE(r.Start());  // no file: Manual, so EXIT saves
  r.PressEnter();
  EXPECT_EQ(r.ui.boxes, std::vector<std::string>{" FAILED to Save Setting"});
  EXPECT_TRUE(r.ui.ended);
}
