// Querying the printers in range of a port's terminal dongle: the port probe, the library
// call, the findings the driver leaves in the settings file, and what the user is told.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "tests/setup/rig.h"

namespace wf {
namespace {

using ::testing::ElementsAre;
using Op = platform::FakeComm::Op;

const char* const kMainButtons[] = {"Auto", "Query", "EXIT", "Connect Printer"};
const int kMainButtonIds[] = {IDC_AUTO, IDC_QUERY, fw::kIdOk, IDC_CONNECT_PRINTER};

// COM1 and COM2 have terminal dongles; nothing has been queried yet.
Ini TwoDongles() {
  Ini ini;
  ini.selPort = 1;
  ini.port[0].host = "0012F3A40B01";
  ini.port[0].version = "BTH_v1.02";
  ini.port[1].host = "0012F3A40B02";
  ini.port[1].version = "BTH_v1.02";
  return ini;
}

TEST(QueryPrinter, FoundPrintersOnCom2AreListedAndTheUserIsToldSo) {
  Ini ini = TwoDongles();
  Rig rig(&ini);
  rig.Start();
  rig.ChoosePort(2);
  rig.DriverQueryFinds(2, 0, "0012F3A40B02", "BTH_v2.10", {"0019A5000001", "0019A5000002"});

  // While the driver searches, the user sees the button say so and cannot start anything.
  std::string captionDuring;
  bool anyEnabledDuring = false;
  rig.duringCall = [&](const LibCall&) {
    captionDuring = rig.Caption(IDC_QUERY);
    for (int id : kMainButtonIds) anyEnabledDuring |= rig.Enabled(id);
  };
  rig.Click(IDC_QUERY);

  ASSERT_EQ(rig.calls.size(), 1u);
  EXPECT_EQ(rig.calls[0].fn, "BT_OnQuery");
  EXPECT_EQ(rig.calls[0].port, "COM2");
  EXPECT_EQ(rig.calls[0].text, "NONE");
  EXPECT_EQ(captionDuring, "Waiting....");
  EXPECT_FALSE(anyEnabledDuring);

  EXPECT_THAT(rig.Seen(), ElementsAre("COM2: Connect Ok", "box: COM2: Connect Ok",
                                      "Query:  COM2 Found printer"));
  EXPECT_EQ(rig.Caption(IDC_QUERY), "Query Printer");
  for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(rig.Enabled(kMainButtonIds[i])) << kMainButtons[i];

  // The findings came through the file: the list, the dongle and its version.
  EXPECT_EQ(rig.SelectedPort(), "COM2");
  EXPECT_THAT(rig.PrinterList(), ElementsAre("0019A5000001", "0019A5000002", "NONE"));
  EXPECT_EQ(rig.controls.Entries(IDC_HOST_LIST), std::vector<std::string>{"0012F3A40B02"});
  EXPECT_EQ(rig.Caption(IDC_VERSION_DONGLE), "2.10");

  // The user picks the second printer and leaves with EXIT: the binding is in the file.
  rig.ChoosePrinter("0019A5000002");
  rig.Click(fw::kIdOk);
  EXPECT_NE(rig.ReadIni().find("BT_Port: COM2\r\n\t BT_SelHost:  0012F3A40B02\r\n"
                               "\t BT_Selprt:   0019A5000002\r\n"),
            std::string::npos)
      << rig.ReadIni();
}

TEST(QueryPrinter, TheProbeSetsTheLineAndTimeOutsKeepsTheRestAndClosesBeforeTheCall) {
  Ini ini = TwoDongles();
  Rig rig(&ini);
  rig.Start();
  const platform::CommState before = rig.comm.deviceState;
  rig.DriverQueryFinds(1, 0, "0012F3A40B01", "BTH_v1.02", {"0019A5000001"});
  rig.Click(IDC_QUERY);

  std::vector<Op> ops;
  for (const auto& c : rig.comm.Calls()) ops.push_back(c.op);
  EXPECT_THAT(ops, ElementsAre(Op::kOpen, Op::kGetState, Op::kSetState, Op::kGetTimeouts,
                               Op::kSetTimeouts, Op::kClose));
  const auto& set = rig.comm.Calls()[2].state;
  EXPECT_EQ(set.BaudRate, 38400u);
  EXPECT_EQ(set.ByteSize, 8);
  EXPECT_EQ(set.Parity, platform::kNoParity);
  EXPECT_EQ(set.StopBits, platform::kOneStopBit);
  EXPECT_EQ(set.fRtsControl, platform::kRtsControlEnable);
  EXPECT_EQ(0, std::memcmp(set.raw, before.raw, sizeof set.raw)) << "other DCB fields changed";
  const auto& t = rig.comm.Calls()[4].timeouts;
  EXPECT_EQ(t.ReadIntervalTimeout, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 6000u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
  EXPECT_FALSE(rig.comm.IsOpen(1));
  rig.comm.timeoutsUnreadable = true;  // written all the same: every field is set
  rig.Click(IDC_QUERY);
  EXPECT_EQ(rig.comm.CountOf(Op::kSetTimeouts), 2);
}

TEST(QueryPrinter, ATerminalDongleFailureIsOneBoxEvenWhenTheFileListsPrinters) {
  Ini ini = TwoDongles();
  ini.port[1].printers = {"0019A5000009"};  // from an earlier query
  Rig rig(&ini);
  rig.Start();
  rig.ChoosePort(2);
  rig.DriverQueryFinds(2, 0x14, "0012F3A40B02", "BTH_v1.02", {"0019A5000001"});
  rig.Click(IDC_QUERY);

  EXPECT_THAT(rig.Seen(), ElementsAre("box: COM2: Terminal Dongle Failed...."));
  EXPECT_EQ(rig.Caption(IDC_QUERY), "Query Printer");
  EXPECT_TRUE(rig.Enabled(IDC_QUERY));
}

TEST(QueryPrinter, NoPrinterInRangeIsALineAndABox) {
  Ini ini = TwoDongles();
  Rig rig(&ini);
  rig.Start();
  rig.ChoosePort(2);
  rig.DriverQueryFinds(2, 0, "0012F3A40B02", "BTH_v1.02", {});
  rig.Click(IDC_QUERY);
  EXPECT_THAT(rig.Seen(), ElementsAre("COM2: Connect Ok", "box: COM2: Connect Ok",
                                      "Query:  COM2 No Printer", "box: OnQuery:  No Printer !! "));
  EXPECT_THAT(rig.PrinterList(), ElementsAre("NONE"));

  // Another failure word is not reported itself; the file decides what is said.
  rig.ForgetSeen();
  rig.DriverQueryFinds(2, 0x20, "0012F3A40B02", "BTH_v1.02", {});
  rig.Click(IDC_QUERY);
  EXPECT_THAT(rig.Seen(), ElementsAre("Query:  COM2 No Printer", "box: OnQuery:  No Printer !! "));
}

TEST(QueryPrinter, APortHeldByAnotherProgramStopsBeforeAnythingChanges) {
  Ini ini = TwoDongles();
  Rig rig(&ini);
  rig.Start();
  rig.ChoosePort(2);
  rig.comm.SetHeldByOther(2, true);
  rig.Click(IDC_QUERY);

  EXPECT_TRUE(rig.calls.empty());
  EXPECT_THAT(rig.Seen(), ElementsAre("box: 3 FAILED to open COM: No BT_Host or port already "
                                      "opened by other program"));
  EXPECT_EQ(rig.Caption(IDC_QUERY), "Query Printer");
  EXPECT_TRUE(rig.Enabled(IDC_QUERY));
  EXPECT_EQ(rig.dlg->st.bQueried, 0);

  // A port with no dongle at all fails the same way.
  rig.ForgetSeen();
  rig.ChoosePort(4);
  rig.Click(IDC_QUERY);
  EXPECT_TRUE(rig.calls.empty());
  EXPECT_EQ(rig.Boxes().size(), 1u);
}

TEST(QueryPrinter, TheDialogStaysOnTheQueriedPortWhateverTheFileSelects) {
  Ini ini = TwoDongles();
  ini.selPort = 1;
  ini.port[2].host = "0012F3A40B03";
  Rig rig(&ini);
  rig.comm.SetPresent(3, true);
  rig.Start();
  rig.ChoosePort(3);
  rig.DriverQueryFinds(3, 0, "0012F3A40B03", "BTH_v1.02", {"0019A5000003"});
  rig.Click(IDC_QUERY);

  // The file still says COM1, the driver having kept that line.
  EXPECT_NE(rig.ReadIni().find("BT_SelPort: COM1"), std::string::npos);
  EXPECT_EQ(rig.SelectedPort(), "COM3");
  EXPECT_EQ(rig.dlg->st.BT_SelPort, 2);
  EXPECT_THAT(rig.PrinterList(), ElementsAre("0019A5000003", "NONE"));
  EXPECT_THAT(rig.Status(), ElementsAre("COM3: Connect Ok", "Query:  COM3 Found printer"));
}

TEST(QueryPrinter, APortLeftOpenByOpenComIsNotOpenedAgainAndIsClosedBeforeTheCall) {
  Ini ini = TwoDongles();
  Rig rig(&ini);
  rig.Start();
  rig.Click(IDC_OPENCOM);
  EXPECT_TRUE(rig.comm.IsOpen(1));
  rig.DriverQueryFinds(1, 0, "0012F3A40B01", "BTH_v1.02", {"0019A5000001"});
  rig.Click(IDC_QUERY);  // the rig checks that no port is open during the call
  EXPECT_EQ(rig.comm.CountOf(Op::kOpen), 1);
  EXPECT_FALSE(rig.comm.IsOpen(1));
  EXPECT_EQ(rig.calls.size(), 1u);

  // CloseCom on a closed port does nothing.
  rig.Click(IDC_CLOSECOM);
  EXPECT_EQ(rig.comm.CountOf(Op::kClose), 1);
}

// No call is made; the query goes on from the file, and EXIT saves after it alone.
TEST(QueryPrinter, WithoutTheLibraryTheUserIsToldAndTheQueryGoesOnFromTheFile) {
  Ini ini = TwoDongles();
  Rig rig(&ini, /*withLibrary=*/false);
  rig.Start();
  EXPECT_THAT(rig.Boxes(), ElementsAre("Mendalix.dll  not found"));
  rig.ForgetSeen();
  ini.port[0].printers = {"0019A5000001"};
  ini.mode = "MANUAL";
  rig.WriteIni(ini);
  rig.Click(IDC_QUERY);

  EXPECT_THAT(rig.Seen(), ElementsAre("Mendalix.dll  not found", "box: Mendalix.dll  not found",
                                      "Query:  COM1 Found printer"));
  EXPECT_THAT(rig.PrinterList(), ElementsAre("0019A5000001", "NONE"));
  EXPECT_EQ(rig.Caption(IDC_QUERY), "Query Printer");
  EXPECT_TRUE(rig.Enabled(IDC_QUERY));
  rig.Click(fw::kIdOk);
  EXPECT_NE(rig.ReadIni().find("BT_Connect: AUTO"), std::string::npos);
}

}  // namespace
}  // namespace wf
