// What a query leaves in the settings file, byte for byte.
#include <string>

#include "tests/simulator/model_world.h"

namespace {

const char kScenario[] =
    "device 0 COM1\n"
    "device 1 COM2\n"
    "device 3 COM4\n"
    "dongle COM1 0010A4C0FFEE HD_v2.31\n"
    "dongle COM2 0010A4C0BEEF XB_v1.07\n"
    "dongle COM4 0013000000D4 HD_v2.00\n"
    "printer COM1 0080372A0001 accepts\n"
    "printer COM1 0080372A0002 refuses-first\n"
    "printer COM2 0080372A0003 accepts\n"
    "printer COM4 0080374D0001 accepts\n"
    "printer COM4 0080374D0002 accepts\n"
    "printer COM4 0080374D0003 accepts\n"
    "printer COM4 0080374D0004 accepts\n"
    "printer COM4 0080374D0005 accepts\n"
    "printer COM4 0080374D0006 accepts\n"
    "printer COM4 0080374D0007 accepts\n"
    "printer COM4 0080374D0008 accepts\n"
    "at 5 leave COM1 0080372A0001\n";

std::string Block(int n, const std::string& host, const std::string& bound,
                  const std::string& list, const std::string& version,
                  const std::string& reserve1 = "NONE") {
  return "\r\nBT_Port: COM" + std::to_string(n) + "\r\n" +
         "\t BT_SelHost:  " + host + "\r\n" +
         "\t BT_Selprt:   " + bound + "\r\n" + list +
         "\t BT_HostVrsn: " + version + "\r\n" +
         "\t BT_Reserve1: " + reserve1 + "\r\n"
         "\t BT_Reserve2: NONE\r\n"
         "\t BT_Reserve3: NONE\r\n"
         "\t BT_Reserve4: NONE\r\n";
}

std::string List(std::initializer_list<const char*> entries) {
  std::string s;
  for (const char* e : entries) s += std::string("\t BT_QueryPrt: ") + e + "\r\n";
  return s;
}

const std::string kNone = List({"NONE"});

std::string Head(const std::string& port = "COM1") {
  return "BT_SelPort: " + port + "\r\nBT_Baudrate: 19200N81\r\n";
}

const std::string kTail = "\r\nBT_Connect: AUTO\r\n";

// Three empty blocks, then COM4's dongle with the first seven of its eight printers.
std::string FileWithCom4sSevenPrinters() {
  return Head() + Block(1, "NONE", "NONE", kNone, "NONE") + Block(2, "NONE", "NONE", kNone, "NONE") +
         Block(3, "NONE", "NONE", kNone, "NONE") +
         Block(4, "0013000000D4", "NONE",
               List({"0080374D0001", "0080374D0002", "0080374D0003", "0080374D0004",
                     "0080374D0005", "0080374D0006", "0080374D0007"}),
               "HD_v2.00") +
         kTail;
}

TEST(SimulatorQueryFindings, AFirstQueryCreatesTheFileFromDefaults) {
  ModelWorld w(kScenario);
  EXPECT_EQ(LINK_OK, w.Query(1));  // COM2
  ASSERT_EQ(1u, w.files.count(w.settingsPath));
  EXPECT_EQ(Head() + Block(1, "NONE", "NONE", kNone, "NONE") +
                Block(2, "0010A4C0BEEF", "NONE", List({"0080372A0003", "NONE"}), "XB_v1.07") +
                Block(3, "NONE", "NONE", kNone, "NONE") + Block(4, "NONE", "NONE", kNone, "NONE") +
                kTail,
            w.files[w.settingsPath]);
  EXPECT_EQ(1u, w.model.stats.settings_writes);
}

TEST(SimulatorQueryFindings, AQueryRewritesOnlyItsPortAndKeepsEveryOtherLine) {
  ModelWorld w(kScenario);
  // A file the program saved: COM3 selected, a bound printer on COM1 and COM2, an old list
  // on COM2 longer than what is in range now, a reserve value, MANUAL mode.
  const std::string before =
      Head("COM3") + Block(1, "0010A4C0FFEE", "0080372A0001", List({"0080372A0001", "NONE"}), "HD_v2.31") +
      Block(2, "0010A4C0BEEF", "0080372A0003",
            List({"00803700AAAA", "00803700BBBB", "0080372A0003", "NONE"}), "XB_v1.00", "KEEPME") +
      Block(3, "NONE", "NONE", kNone, "NONE") + Block(4, "NONE", "NONE", kNone, "NONE") +
      "\r\nBT_Connect: MANUAL\r\n";
  w.files[w.settingsPath] = before;
  EXPECT_EQ(LINK_OK, w.Query(1));
  EXPECT_EQ(Head("COM3") +
                Block(1, "0010A4C0FFEE", "0080372A0001", List({"0080372A0001", "NONE"}), "HD_v2.31") +
                Block(2, "0010A4C0BEEF", "0080372A0003", List({"0080372A0003", "NONE"}), "XB_v1.07",
                      "KEEPME") +
                Block(3, "NONE", "NONE", kNone, "NONE") + Block(4, "NONE", "NONE", kNone, "NONE") +
                "\r\nBT_Connect: MANUAL\r\n",
            w.files[w.settingsPath]);

  // Querying COM1 after a printer left range lists only the one still there.
  sim_tick(&w.model, 5000);
  EXPECT_EQ(LINK_OK, w.Query(0));
  EXPECT_NE(std::string::npos,
            w.files[w.settingsPath].find("\t BT_Selprt:   0080372A0001\r\n"
                                         "\t BT_QueryPrt: 0080372A0002\r\n"
                                         "\t BT_QueryPrt: NONE\r\n"
                                         "\t BT_HostVrsn: HD_v2.31\r\n"));
}

TEST(SimulatorQueryFindings, SevenPrintersFillTheListWithoutAClosingNone) {
  ModelWorld w(kScenario);
  EXPECT_EQ(LINK_OK, w.Query(3));  // COM4 has eight in range
  EXPECT_EQ(FileWithCom4sSevenPrinters(), w.files[w.settingsPath]);
  // Querying again gives the same file: the full list is replaced, not extended.
  std::string once = w.files[w.settingsPath];
  EXPECT_EQ(LINK_OK, w.Query(3));
  EXPECT_EQ(once, w.files[w.settingsPath]);
}

TEST(SimulatorQueryFindings, BlocksAreTakenByPositionAsTheReaderTakesThem) {
  ModelWorld w(kScenario);
  // The "BT_Port:" texts are wrong, but the second block is still COM2's for the reader.
  std::string file = Head() + Block(7, "NONE", "NONE", kNone, "NONE") +
                     Block(7, "NONE", "NONE", kNone, "NONE") + kTail;
  w.files[w.settingsPath] = file;
  EXPECT_EQ(LINK_OK, w.Query(1));
  EXPECT_EQ(Head() + Block(7, "NONE", "NONE", kNone, "NONE") +
                Block(7, "0010A4C0BEEF", "NONE", List({"0080372A0003", "NONE"}), "XB_v1.07") +
                kTail,
            w.files[w.settingsPath]);
}

TEST(SimulatorQueryFindings, MissingBlocksAreAddedBeforeTheConnectLine) {
  ModelWorld w(kScenario);
  w.files[w.settingsPath] = Head() + Block(1, "NONE", "NONE", kNone, "NONE") + kTail;
  EXPECT_EQ(LINK_OK, w.Query(3));
  EXPECT_EQ(FileWithCom4sSevenPrinters(), w.files[w.settingsPath]);
}

TEST(SimulatorQueryFindings, LinesOfAnotherEditorKeepTheirOwnLineEnds) {
  ModelWorld w(kScenario);
  w.files[w.settingsPath] =
      "BT_SelPort: COM2\nBT_Baudrate: 9600N81\n\nBT_Port: COM1\n"
      "\t BT_SelHost:  NONE\n\t BT_Selprt:   NONE\n\t BT_QueryPrt: NONE\n\t BT_HostVrsn: NONE\n"
      "\t BT_Reserve1: NONE\n\nBT_Connect: AUTO";  // no line end at the very end
  EXPECT_EQ(LINK_OK, w.Query(0));
  EXPECT_EQ("BT_SelPort: COM2\nBT_Baudrate: 9600N81\n\nBT_Port: COM1\n"
            "\t BT_SelHost:  0010A4C0FFEE\r\n\t BT_Selprt:   NONE\n"
            "\t BT_QueryPrt: 0080372A0001\r\n\t BT_QueryPrt: 0080372A0002\r\n"
            "\t BT_QueryPrt: NONE\r\n\t BT_HostVrsn: HD_v2.31\r\n"
            "\t BT_Reserve1: NONE\n\nBT_Connect: AUTO",
            w.files[w.settingsPath]);
}

TEST(SimulatorQueryFindings, ABlockMissingItsLinesGetsThemInTheReadersOrder) {
  ModelWorld w(kScenario);
  w.files[w.settingsPath] = Head() + "\r\nBT_Port: COM1\r\n\t BT_Reserve1: NONE\r\n" + kTail;
  EXPECT_EQ(LINK_OK, w.Query(0));
  EXPECT_EQ(Head() + "\r\nBT_Port: COM1\r\n\t BT_SelHost:  0010A4C0FFEE\r\n"
                     "\t BT_Selprt:   NONE\r\n\t BT_QueryPrt: 0080372A0001\r\n"
                     "\t BT_QueryPrt: 0080372A0002\r\n\t BT_QueryPrt: NONE\r\n"
                     "\t BT_HostVrsn: HD_v2.31\r\n\t BT_Reserve1: NONE\r\n" + kTail,
            w.files[w.settingsPath]);
}

TEST(SimulatorQueryFindings, AFileThatIsNoSettingsFileGetsTheBlocksAppended) {
  ModelWorld w(kScenario);
  std::string junk("\x01\x02garbage\0with nul", 17);
  w.files[w.settingsPath] = junk;
  EXPECT_EQ(LINK_OK, w.Query(0));
  EXPECT_EQ(junk + "\r\n" + Block(1, "0010A4C0FFEE", "NONE",
                                  List({"0080372A0001", "0080372A0002", "NONE"}), "HD_v2.31"),
            w.files[w.settingsPath]);
}

TEST(SimulatorQueryFindings, AFileTooBigOrNoPathLeavesTheFileAloneAndIsCounted) {
  ModelWorld w(kScenario);
  std::string big(SIM_FILE_SIZE + 1, 'x');
  w.files[w.settingsPath] = big;
  EXPECT_EQ(LINK_OK, w.Query(0));  // the dongle did its search; only the record is lost
  EXPECT_EQ(big, w.files[w.settingsPath]);
  EXPECT_EQ(1u, w.model.stats.settings_failures);

  // A file that fits but whose rewrite would not fit the buffer stays as it is too.
  std::string nearlyFull = Head() + "\r\nBT_Port: COM1\r\n" + std::string(SIM_FILE_SIZE - 60, '#');
  w.files[w.settingsPath] = nearlyFull;
  EXPECT_EQ(LINK_OK, w.Query(0));
  EXPECT_EQ(nearlyFull, w.files[w.settingsPath]);
  EXPECT_EQ(2u, w.model.stats.settings_failures);

  w.pathKnown = false;  // the program never published "BTiniPath"
  EXPECT_EQ(LINK_OK, w.Query(0));
  w.pathKnown = true;
  w.failWrites = true;
  w.files.clear();
  EXPECT_EQ(LINK_OK, w.Query(0));
  EXPECT_TRUE(w.files.empty());
  EXPECT_EQ(4u, w.model.stats.settings_failures);
  EXPECT_EQ(0u, w.model.stats.settings_writes);
}

}  // namespace
