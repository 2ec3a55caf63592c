// What the user reads: result messages for link status words, the status list, the busy
// switch and the four port-state labels.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/setup/rig.h"

using rig::DialogRig;

namespace {
std::string Message(uint32_t flags, int port) {
  char buf[64];
  int n = CQuorvexDlg::FormatLinkResult(flags, port, buf, sizeof buf);
  EXPECT_EQ(n, static_cast<int>(std::strlen(buf)));
  return buf;
}
}  // namespace

TEST(ResultMessages, TheHighestListedBitWins) {
  EXPECT_EQ(Message(0, 1), "COM1: Connect Ok");
  EXPECT_EQ(Message(0x2, 2), "COM2: No Driver Installed....");
  EXPECT_EQ(Message(0x6, 2), "COM2: Disconnect Ok");
  EXPECT_EQ(Message(0x14, 3), "COM3: Terminal Dongle Failed....");
  EXPECT_EQ(Message(0x30, 3), "COM3: Printer Dongle Connection Failed....");
  EXPECT_EQ(Message(0x60, 4), "COM4: XK printer Answer Back Failed....");
  EXPECT_EQ(Message(0x104, 4), "COM4: MainBoard Not Support....");
  EXPECT_EQ(Message(0xFFFFFFFF, 1), "COM1: MainBoard Not Support....");
  // 255, the "no state" value, holds 0x2..0x40 but not 0x100.
  EXPECT_EQ(Message(255, 2), "COM2: XK printer Answer Back Failed....");
  for (uint32_t unlisted : {0x1u, 0x8u, 0x80u, 0x200u, 0x80000000u})
    EXPECT_EQ(Message(unlisted, 1), "COM1: Unknow Fail....") << unlisted;
}

TEST(ResultMessages, ASmallBufferIsCutAndStaysTerminated) {
  char buf[8];
  int n = CQuorvexDlg::FormatLinkResult(0x20, 1, buf, sizeof buf);
  EXPECT_EQ(n, 7);
  EXPECT_STREQ(buf, "COM1: P");
}

TEST(StatusList, KeepsTheNewest101LinesInArrivalOrderWithTheLastSelected) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  // Lines arrive in an order a sorted add would change.
  for (int i = 0; i < 101; ++i) r.Dlg().AddStatusLine(("line " + std::to_string(200 - i)).c_str());
  auto lines = r.ui.Entries(IDC_STATUS_LIST);
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines.front(), "line 200");
  EXPECT_EQ(lines.back(), "line 100");
  EXPECT_EQ(r.ui.Selection(IDC_STATUS_LIST), 100);

  r.Dlg().AddStatusLine("line 102nd");
  lines = r.ui.Entries(IDC_STATUS_LIST);
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines.front(), "line 199");
  EXPECT_EQ(lines.back(), "line 102nd");
  EXPECT_EQ(r.ui.Selection(IDC_STATUS_LIST), 100);
  for (int i = 0; i < 500; ++i) r.Dlg().AddStatusLine("more");
  EXPECT_EQ(r.ui.LbGetCount(IDC_STATUS_LIST), 101);
  EXPECT_EQ(r.St().nStatusLines, 101);
}

TEST(StatusList, MonitorLinesArriveOneCommandEach) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  // Two changes in one pass, taken by the dialog only afterwards: each keeps its line.
  EXPECT_TRUE(r.St().PushMonitorMessage("COM1: Connect Ok"));
  EXPECT_TRUE(r.St().PushMonitorMessage("COM2: Disconnect Ok"));
  r.Click(IDC_THREADMSG);
  r.Click(IDC_THREADMSG);
  r.Click(IDC_THREADMSG);  // a stray command with nothing queued adds nothing
  EXPECT_EQ(r.ui.Entries(IDC_STATUS_LIST),
            (std::vector<std::string>{"COM1: Connect Ok", "COM2: Disconnect Ok"}));
}

TEST(BusySwitch, LocksAndFreesTheFourMainControls) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  r.Dlg().EnableMainButtons(false);
  for (int id : {IDC_AUTO, IDC_QUERY, IDOK, IDC_CONNECT_PRINTER}) EXPECT_FALSE(r.ui.At(id).enabled) << id;
  EXPECT_TRUE(r.ui.At(IDC_COMPORT).enabled);
  r.Dlg().EnableMainButtons(true);
  for (int id : {IDC_AUTO, IDC_QUERY, IDOK, IDC_CONNECT_PRINTER}) EXPECT_TRUE(r.ui.At(id).enabled) << id;
  EXPECT_FALSE(r.ui.At(IDC_AUTO).visible);  // enabled, still hidden
}

TEST(StateLabels, TextsAndColoursFollowTheLastKnownStatesAndPaintingSettles) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  // The template says "COM1".."COM4"; the first paint turns them to "None".
  EXPECT_EQ(r.ui.Text(IDC_STATE_COM1), "COM1");
  EXPECT_EQ(r.PaintLabels(), 2);
  for (int id = IDC_STATE_COM1; id <= IDC_STATE_COM4; ++id) {
    EXPECT_EQ(r.ui.Text(id), "None");
    EXPECT_EQ(r.LabelColour(id), 0xC8C8C8u);
  }

  // The monitor records COM1 connected and COM3 disconnected and posts its label command.
  r.St().ConnectState[0] = 0;
  r.St().ConnectState[2] = 4;
  r.Click(IDC_STATE_COM1);
  for (int id = IDC_STATE_COM1; id <= IDC_STATE_COM4; ++id) EXPECT_EQ(r.ui.Text(id), "");
  int sets = r.ui.At(IDC_STATE_COM2).textSets;
  EXPECT_EQ(r.PaintLabels(), 2);
  EXPECT_EQ(r.ui.Text(IDC_STATE_COM1), "Conected");
  EXPECT_EQ(r.LabelColour(IDC_STATE_COM1), 0x64FF00u);
  EXPECT_EQ(r.ui.Text(IDC_STATE_COM2), "None");
  EXPECT_EQ(r.ui.Text(IDC_STATE_COM3), "DisConected");
  EXPECT_EQ(r.LabelColour(IDC_STATE_COM3), 0x6464FFu);

  // A label that already reads right is not set again, so it does not repaint forever.
  EXPECT_EQ(r.ui.At(IDC_STATE_COM2).textSets, sets + 1);
  for (int i = 0; i < 5; ++i) r.LabelColour(IDC_STATE_COM2);
  EXPECT_EQ(r.ui.At(IDC_STATE_COM2).textSets, sets + 1);

  // Other statics keep the standard colours.
  fw::CtlColor other;
  other.id = IDC_LOGO;
  intptr_t res = 0;
  EXPECT_FALSE(r.Dlg().DispatchMessage(fw::kWmCtlColorStatic, 0, reinterpret_cast<intptr_t>(&other), &res));
  EXPECT_FALSE(other.setBkColor);
}

TEST(Controls, ButtonsWithoutAnActionDoNothing) {
  DialogRig r;
  ASSERT_TRUE(r.Start({"/d"}));
  auto linesBefore = r.ui.Entries(IDC_STATUS_LIST);
  for (int id : {IDC_CONNECT, IDC_ENTER_DATA_MODE, IDC_END_DATA_MODE, IDC_DISCONNECT,
                 IDC_HOST_RESET, IDC_MYTEST, IDC_CHANGE_BAUDRATE})
    r.Click(id);
  EXPECT_EQ(r.ui.Entries(IDC_STATUS_LIST), linesBefore);
  EXPECT_TRUE(r.ui.boxes.empty());
  EXPECT_TRUE(rig::LibraryCalls().empty());
  EXPECT_FALSE(r.ui.ended);
}
