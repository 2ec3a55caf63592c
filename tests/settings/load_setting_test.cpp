// Reading the settings file: a full file as the driver and the program leave it, the file's
// absence, and every kind of damaged file a terminal has been seen to hold.
#include <string>

#include "settings/settings_buffer.h"
#include "settings_test_support.h"

namespace settings_test {
namespace {

const char* kSeven[] = {"00:12:6F:00:A1:10", "00:12:6F:00:A1:11", "00:12:6F:00:A1:12",
                        "00:12:6F:00:A1:13", "00:12:6F:00:A1:14", "00:12:6F:00:A1:15",
                        "00:12:6F:00:A1:16"};

void ExpectSevenPrinterFile(const Settings& s) {
  EXPECT_EQ(s.BT_SelPort, 1);
  EXPECT_STREQ(s.BT_Baudrate, "38400N81");

  EXPECT_STREQ(s.Port[0].SelHost, "00:12:6F:01:02:03");
  EXPECT_STREQ(s.Port[0].Selprt, "00:12:6F:00:B0:01");
  EXPECT_EQ(s.Port[0].QueryPrtCount, 1);
  EXPECT_STREQ(s.Port[0].QueryPrt[0], "00:12:6F:00:B0:01");
  EXPECT_STREQ(s.Port[0].QueryPrt[1], "NONE");
  EXPECT_STREQ(s.Port[0].HostVrsn, "BTH_v2.31");

  // Seven printers fill the list: no "NONE" line, and the count says seven.
  EXPECT_EQ(s.Port[1].QueryPrtCount, 7);
  for (int k = 0; k < 7; ++k) EXPECT_STREQ(s.Port[1].QueryPrt[k], kSeven[k]) << k;
  EXPECT_STREQ(s.Port[1].Selprt, kSeven[3]);
  EXPECT_STREQ(s.Port[1].HostVrsn, "BTH_v2.40");

  EXPECT_STREQ(s.Port[2].SelHost, "NONE");
  EXPECT_EQ(s.Port[2].QueryPrtCount, 0);
  EXPECT_STREQ(s.Port[2].QueryPrt[0], "NONE");

  EXPECT_STREQ(s.Port[3].SelHost, "00:12:6F:07:08:09");
  EXPECT_EQ(s.Port[3].QueryPrtCount, 2);
  EXPECT_STREQ(s.Port[3].QueryPrt[1], "00:12:6F:00:C0:02");
  EXPECT_STREQ(s.Port[3].QueryPrt[2], "NONE");
  EXPECT_STREQ(s.Port[3].HostVrsn, "BTH_v1.07");
  EXPECT_STREQ(s.Port[3].Reserve4, "NONE");
}

TEST(LoadSetting, AFullFileFillsEveryPortAndHandsTheProgramItsConnectMode) {
  Settings lib;
  EXPECT_TRUE(LoadSetting(lib, DataFile("golden/seven_printers.ini").c_str()));
  ExpectSevenPrinterFile(lib);

  Settings prog;
  FakeDialog dialog;
  EXPECT_TRUE(LoadSetting(prog, DataFile("golden/seven_printers.ini").c_str(), &dialog));
  ExpectSevenPrinterFile(prog);
  EXPECT_EQ(dialog.modes_applied, std::vector<std::string>{"AUTO"});
  EXPECT_EQ(dialog.default_modes, 0);

  FakeDialog manual;
  EXPECT_TRUE(LoadSetting(prog, DataFile("golden/program_manual.ini").c_str(), &manual));
  EXPECT_EQ(manual.modes_applied, std::vector<std::string>{"MANUAL"});
  EXPECT_EQ(prog.BT_SelPort, 2);
  EXPECT_STREQ(prog.BT_Baudrate, "9600E71");
}

TEST(LoadSetting, LineEndsOfEitherKindReadAlike) {
  Settings crlf, lf;
  ASSERT_TRUE(LoadSetting(crlf, DataFile("golden/seven_printers.ini").c_str()));
  ASSERT_TRUE(LoadSetting(lf, DataFile("golden/lf_only.ini").c_str()));
  ExpectSevenPrinterFile(lf);
  EXPECT_EQ(Format(crlf), Format(lf));
}

TEST(LoadSetting, ReserveValuesAreKeptInMemory) {
  Settings s;
  ASSERT_TRUE(LoadSetting(s, DataFile("golden/reserve_values.ini").c_str()));
  EXPECT_STREQ(s.Port[0].Reserve2, "SERVICE-42");
  EXPECT_STREQ(s.Port[1].Reserve2, "NONE");
}

TEST(LoadSetting, WithoutAFileOnlyTheListedFieldsTakeTheirDefaults) {
  ScratchDir dir;
  Settings s;
  ASSERT_TRUE(LoadSetting(s, DataFile("golden/seven_printers.ini").c_str()));

  FakeDialog dialog;
  EXPECT_FALSE(LoadSetting(s, dir.File("Quorvex.ini").c_str(), &dialog));
  EXPECT_EQ(dialog.default_modes, 1);
  EXPECT_TRUE(dialog.modes_applied.empty());

  EXPECT_EQ(s.BT_SelPort, 0);
  EXPECT_STREQ(s.BT_Baudrate, "19200N81");
  for (const PortSetting& p : s.Port) {
    EXPECT_STREQ(p.SelHost, "NONE");
    EXPECT_STREQ(p.Selprt, "NONE");
    EXPECT_STREQ(p.QueryPrt[0], "NONE");
    EXPECT_STREQ(p.HostVrsn, "NONE");
  }
  // The rest of the list and its count are left as the last read made them.
  EXPECT_STREQ(s.Port[1].QueryPrt[1], kSeven[1]);
  EXPECT_EQ(s.Port[1].QueryPrtCount, 7);
}

TEST(LoadSetting, AFolderWhereTheFileShouldBeCountsAsNoFile) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.File("Quorvex.ini"));
  Settings s;
  s.BT_SelPort = 3;
  FakeDialog dialog;
  EXPECT_FALSE(LoadSetting(s, dir.File("Quorvex.ini").c_str(), &dialog));
  EXPECT_EQ(dialog.default_modes, 1);
  EXPECT_EQ(s.BT_SelPort, 0);
  EXPECT_STREQ(s.Port[3].SelHost, "NONE");
}

// A file emptied or cut off while the driver rewrote it: what is there is taken, the rest
// stays as the previous read left it.
TEST(LoadSetting, AnEmptyOrCutOffFileLeavesWhatItDoesNotHold) {
  Settings s;
  ASSERT_TRUE(LoadSetting(s, DataFile("golden/seven_printers.ini").c_str()));
  FakeDialog dialog;
  EXPECT_TRUE(LoadSetting(s, DataFile("bad/empty.ini").c_str(), &dialog));
  ExpectSevenPrinterFile(s);
  // No mode line read: the program is handed the empty text, which is not "AUTO".
  EXPECT_EQ(dialog.modes_applied, std::vector<std::string>{""});

  Settings cut;
  CopyField(cut.Port[3].SelHost, "00:12:6F:FF:FF:FF");
  EXPECT_TRUE(LoadSetting(cut, DataFile("bad/truncated.ini").c_str()));
  EXPECT_EQ(cut.BT_SelPort, 1);
  EXPECT_STREQ(cut.Port[0].HostVrsn, "BTH_v2.31");
  EXPECT_STREQ(cut.Port[1].QueryPrt[1], kSeven[1]);
  EXPECT_STREQ(cut.Port[1].QueryPrt[2], "");
  EXPECT_STREQ(cut.Port[3].SelHost, "00:12:6F:FF:FF:FF");
  ExpectSound(cut);
}

TEST(LoadSetting, AFileWithoutItsModeLineGivesTheProgramNoAutoMode) {
  Settings s;
  FakeDialog dialog;
  EXPECT_TRUE(LoadSetting(s, DataFile("bad/no_connect_line.ini").c_str(), &dialog));
  EXPECT_STREQ(s.Port[3].HostVrsn, "BTH_v1.07");
  EXPECT_EQ(dialog.modes_applied, std::vector<std::string>{""});
}

// Blocks are taken by position: with one missing, the mode line is eaten as the fourth
// block's port line and the fourth port keeps what it had.
TEST(LoadSetting, AMissingBlockLeavesTheLastPortAsItWas) {
  Settings s;
  CopyField(s.Port[3].SelHost, "00:12:6F:AA:AA:AA");
  FakeDialog dialog;
  EXPECT_TRUE(LoadSetting(s, DataFile("bad/missing_block.ini").c_str(), &dialog));
  EXPECT_EQ(s.BT_SelPort, 3);
  EXPECT_STREQ(s.Port[2].SelHost, "00:12:6F:07:08:09");
  EXPECT_STREQ(s.Port[3].SelHost, "00:12:6F:AA:AA:AA");
  EXPECT_EQ(dialog.modes_applied, std::vector<std::string>{""});
}

// Lines out of order throw the reader out of step; it must still end soundly, and the next
// save must give a file that reads back exactly.
TEST(LoadSetting, KeysOutOfOrderFallOutOfStepButTheNextSaveIsClean) {
  Settings s;
  FakeDialog dialog;
  EXPECT_TRUE(LoadSetting(s, DataFile("bad/keys_out_of_order.ini").c_str(), &dialog));
  ExpectSound(s);
  EXPECT_STREQ(s.Port[0].SelHost, "");  // the mismatching line stopped that read
  EXPECT_STREQ(s.Port[1].SelHost, "00:12:6F:01:02:03");  // COM1's line, read for COM2
  EXPECT_EQ(dialog.modes_applied, std::vector<std::string>{""});

  std::string written = Format(s);
  Settings again;
  LoadSettingFromBuffer(again, written.data(), written.size());
  EXPECT_EQ(Format(again), written);
}

TEST(LoadSetting, ASelectedPortOutsideCom1ToCom4NeverGivesABadIndex) {
  Settings s;
  s.BT_SelPort = 2;
  ASSERT_TRUE(LoadSetting(s, DataFile("bad/selport_com9.ini").c_str()));
  EXPECT_EQ(s.BT_SelPort, 2);  // the earlier selection stands
  EXPECT_STREQ(s.Port[1].QueryPrt[6], kSeven[6]);  // and the rest reads in step

  s.BT_SelPort = 1;
  ASSERT_TRUE(LoadSetting(s, DataFile("bad/selport_no_digit.ini").c_str()));
  EXPECT_EQ(s.BT_SelPort, 1);

  s.BT_SelPort = -5;  // whatever memory held, the reader leaves a valid index
  ASSERT_TRUE(LoadSetting(s, DataFile("bad/selport_com9.ini").c_str()));
  EXPECT_EQ(s.BT_SelPort, 0);

  // Only the last character counts.
  const std::string head = "BT_SelPort: PORT_FOUR_IS_4\r\n";
  LoadSettingFromBuffer(s, head.data(), head.size());
  EXPECT_EQ(s.BT_SelPort, 3);
}

TEST(LoadSetting, OverlongTokensAreCutToTheirFieldAndTheNextLinesStayInStep) {
  Settings s;
  ASSERT_TRUE(LoadSetting(s, DataFile("bad/long_token.ini").c_str()));
  EXPECT_STREQ(s.BT_Baudrate, "115200N81-with-");  // 19 of the line's value, then 15
  EXPECT_EQ(std::string(s.Port[1].SelHost), "00:12:6F:04:05:06-" + std::string(21, 'X'));
  EXPECT_STREQ(s.Port[1].Selprt, kSeven[3]);
  EXPECT_EQ(s.Port[1].QueryPrtCount, 7);
  ExpectSound(s);
}

TEST(LoadSetting, HundredThousandCharacterLinesAreReadInStep) {
  ScratchDir dir;
  std::string golden = ReadBytes(DataFile("golden/seven_printers.ini"));
  std::string longValue = golden;
  longValue.replace(longValue.find("00:12:6F:01:02:03"), 17, std::string(100000, 'H'));
  std::string longGap = golden;
  longGap.replace(longGap.find("BT_Baudrate: "), 13, "BT_Baudrate:" + std::string(100000, ' '));
  std::string longKey = golden;
  longKey.replace(0, 11, std::string(100000, 'K'));

  Settings s;
  WriteBytes(dir.File("value.ini"), longValue);
  ASSERT_TRUE(LoadSetting(s, dir.File("value.ini").c_str()));
  EXPECT_EQ(std::string(s.Port[0].SelHost), std::string(39, 'H'));
  EXPECT_STREQ(s.Port[0].Selprt, "00:12:6F:00:B0:01");
  EXPECT_STREQ(s.Port[3].HostVrsn, "BTH_v1.07");

  Settings gap;
  WriteBytes(dir.File("gap.ini"), longGap);
  ASSERT_TRUE(LoadSetting(gap, dir.File("gap.ini").c_str()));
  ExpectSevenPrinterFile(gap);

  Settings key;
  WriteBytes(dir.File("key.ini"), longKey);
  ASSERT_TRUE(LoadSetting(key, dir.File("key.ini").c_str()));
  ExpectSevenPrinterFile(key);
}

// The reader takes a file in chunks; a key, a value or a line end split between two chunks
// must read as if it were whole. Leading blank lines shift the file across the first
// boundary one character at a time.
TEST(LoadSetting, AFileReadsTheSameWhereverItsChunksSplitIt) {
  ScratchDir dir;
  const std::string golden = ReadBytes(DataFile("golden/seven_printers.ini"));
  const size_t chunk = 16 * 1024;
  const std::string path = dir.File("shifted.ini");
  for (size_t pad = chunk - golden.size(); pad <= chunk; ++pad) {
    SCOPED_TRACE("split at file offset " + std::to_string(chunk - pad));
    std::string padded(pad, '\n');
    WriteBytes(path, padded + golden);
    Settings s;
    FakeDialog dialog;
    ASSERT_TRUE(LoadSetting(s, path.c_str(), &dialog));
    ExpectSevenPrinterFile(s);
    ASSERT_EQ(dialog.modes_applied, std::vector<std::string>{"AUTO"});
    if (HasFailure()) return;
  }
}

TEST(LoadSetting, BinaryJunkEndsSoundly) {
  Settings s;
  FakeDialog dialog;
  EXPECT_TRUE(LoadSetting(s, DataFile("bad/binary.ini").c_str(), &dialog));
  ExpectSound(s);
  ASSERT_EQ(dialog.modes_applied.size(), 1u);

  // Bytes that end a token early, the way NUL and control bytes do in a damaged file.
  const char junk[] = "BT_SelPort: CO\0M2\r\nBT_Baudrate: \x1a\x7f\xff\r\n";
  Settings t;
  LoadSettingFromBuffer(t, junk, sizeof junk - 1);
  ExpectSound(t);
  EXPECT_EQ(t.BT_SelPort, 0);  // the value reads as "CO", which names no port
  EXPECT_STREQ(t.BT_Baudrate, "\x1a\x7f\xff");
}

}  // namespace
}  // namespace settings_test
