// Writing the settings file: the exact bytes both deliverables put on disk, what the setup
// program's dialog adds, and what reaches the file when memory holds something odd.
#include <chrono>
#include <string>

#include "settings/settings_buffer.h"
#include "settings_test_support.h"

namespace settings_test {
namespace {

TEST(OnSaveSetting, AFullFileReadAndSavedByTheLibraryComesBackByteForByte) {
  ScratchDir dir;
  Settings s;
  ASSERT_TRUE(LoadSetting(s, DataFile("golden/seven_printers.ini").c_str()));
  ASSERT_TRUE(OnSaveSetting(s, dir.File("Quorvex.ini").c_str()));
  EXPECT_EQ(ReadBytes(dir.File("Quorvex.ini")), ReadBytes(DataFile("golden/seven_printers.ini")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("")), {}), 1);
}

TEST(OnSaveSetting, StartingWithoutAFileTheLibraryWritesTheDefaults) {
  ScratchDir dir;
  const std::string path = dir.File("Quorvex.ini");
  Settings s;
  EXPECT_FALSE(LoadSetting(s, path.c_str()));
  ASSERT_TRUE(OnSaveSetting(s, path.c_str()));
  EXPECT_EQ(ReadBytes(path), ReadBytes(DataFile("golden/defaults.ini")));

  // The library writes and reads back at once; the second round changes nothing.
  ASSERT_TRUE(LoadSetting(s, path.c_str()));
  ASSERT_TRUE(OnSaveSetting(s, path.c_str()));
  EXPECT_EQ(ReadBytes(path), ReadBytes(DataFile("golden/defaults.ini")));
}

// The program saves in Manual mode; a process with the library loaded then finds a port
// without a control device and rewrites the file: the mode becomes "AUTO" and the reserve
// values someone left in the file are written as "NONE".
TEST(OnSaveSetting, TheLibraryRewritesAProgramsManualFileAsAuto) {
  ScratchDir dir;
  const std::string path = dir.File("Quorvex.ini");

  Settings program;
  FakeDialog dialog;
  ASSERT_TRUE(LoadSetting(program, DataFile("golden/reserve_values.ini").c_str(), &dialog));
  dialog.auto_selected = false;
  dialog.selected_printer = "00:12:6F:00:D0:02";
  ASSERT_TRUE(OnSaveSetting(program, path.c_str(), &dialog));
  EXPECT_EQ(ReadBytes(path), ReadBytes(DataFile("golden/program_manual.ini")));
  EXPECT_EQ(dialog.save_failures, 0);

  Settings library;
  ASSERT_TRUE(LoadSetting(library, path.c_str()));
  ASSERT_TRUE(OnSaveSetting(library, path.c_str()));
  EXPECT_EQ(ReadBytes(path), ReadBytes(DataFile("golden/library_rewrite.ini")));
}

TEST(OnSaveSetting, TheProgramWritesItsListSelectionIntoTheSelectedPortOnly) {
  ScratchDir dir;
  Settings s;
  ASSERT_TRUE(LoadSetting(s, DataFile("golden/seven_printers.ini").c_str()));
  s.BT_SelPort = 3;
  FakeDialog dialog;
  dialog.selected_printer = "00:12:6F:00:C0:02";
  dialog.auto_selected = true;

  // A save that fails leaves the binding in memory as the file still has it.
  EXPECT_FALSE(OnSaveSetting(s, dir.File("no_such_folder/Quorvex.ini").c_str(), &dialog));
  EXPECT_STREQ(s.Port[3].Selprt, "NONE");

  ASSERT_TRUE(OnSaveSetting(s, dir.File("Quorvex.ini").c_str(), &dialog));
  std::string bytes = ReadBytes(dir.File("Quorvex.ini"));
  EXPECT_EQ(dialog.printer_asks, 2);
  EXPECT_STREQ(s.Port[3].Selprt, "00:12:6F:00:C0:02");
  EXPECT_STREQ(s.Port[0].Selprt, "00:12:6F:00:B0:01");
  EXPECT_STREQ(s.Port[2].Selprt, "NONE");
  EXPECT_NE(bytes.find("BT_Port: COM4\r\n\t BT_SelHost:  00:12:6F:07:08:09\r\n"
                       "\t BT_Selprt:   00:12:6F:00:C0:02\r\n"),
            std::string::npos);
  EXPECT_EQ(bytes.compare(0, 18, "BT_SelPort: COM4\r\n"), 0);
  EXPECT_NE(bytes.find("\r\nBT_Connect: AUTO\r\n"), std::string::npos);

  // Nothing selected in the list: the port's binding is dropped.
  dialog.selected_printer = "NONE";
  dialog.auto_selected = false;
  ASSERT_TRUE(OnSaveSetting(s, dir.File("Quorvex.ini").c_str(), &dialog));
  EXPECT_STREQ(s.Port[3].Selprt, "NONE");
  EXPECT_NE(ReadBytes(dir.File("Quorvex.ini")).find("\r\nBT_Connect: MANUAL\r\n"),
            std::string::npos);
}

TEST(OnSaveSetting, TheProgramIsToldWhenTheFileCannotBeWritten) {
  ScratchDir dir;
  const std::string path = dir.File("no_such_folder/Quorvex.ini");
  Settings s;
  FakeDialog dialog;
  EXPECT_FALSE(OnSaveSetting(s, path.c_str(), &dialog));
  EXPECT_EQ(dialog.save_failures, 1);
  EXPECT_FALSE(OnSaveSetting(s, path.c_str()));  // the library only returns false
  EXPECT_FALSE(OnSaveSetting(s, nullptr, &dialog));
  EXPECT_EQ(dialog.save_failures, 2);
}

TEST(OnSaveSetting, ASelectedPortOutOfRangeIsWrittenAsCom1AndTouchesNoBlock) {
  for (int bad : {-1, 4, 1000000}) {
    Settings s;
    ASSERT_TRUE(LoadSetting(s, DataFile("golden/seven_printers.ini").c_str()));
    s.BT_SelPort = bad;
    FakeDialog dialog;
    dialog.selected_printer = "00:12:6F:EE:EE:EE";
    std::string bytes = Format(s, &dialog);
    EXPECT_EQ(bytes.compare(0, 18, "BT_SelPort: COM1\r\n"), 0) << bad;
    EXPECT_EQ(dialog.printer_asks, 0) << bad;
    EXPECT_EQ(bytes.find("EE:EE:EE"), std::string::npos) << bad;
  }
}

// Memory the reader never fills this way (a caller's own texts, an unread record) must
// still give a file whose every value is one token that reads back in step.
TEST(OnSaveSetting, OddTextsInMemoryStillGiveAFileThatReadsBackInStep) {
  Settings s;  // never read: every field empty
  std::memset(s.Port[0].SelHost, 'Z', kFieldSize);  // no terminator inside the field
  CopyField(s.Port[1].HostVrsn, "BTH v2.40");       // a blank inside
  std::memset(s.BT_Baudrate, '9', kBaudSize);

  std::string bytes = Format(s);
  EXPECT_NE(bytes.find("\t BT_SelHost:  " + std::string(39, 'Z') + "\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("\t BT_HostVrsn: BTH\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("BT_Baudrate: " + std::string(15, '9') + "\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("BT_Port: COM3\r\n\t BT_SelHost:  NONE\r\n\t BT_Selprt:   NONE\r\n"
                       "\t BT_QueryPrt: NONE\r\n\t BT_HostVrsn: NONE\r\n"),
            std::string::npos);

  Settings back;
  LoadSettingFromBuffer(back, bytes.data(), bytes.size());
  EXPECT_EQ(Format(back), bytes);
  EXPECT_EQ(back.Port[2].QueryPrtCount, 0);
}

// Seven printers on every port and every text at its full width: the largest file there is
// still fits the writer's buffer and reads back to the same settings.
TEST(OnSaveSetting, TheLargestPossibleFileIsSavedWhole) {
  ScratchDir dir;
  Settings s;
  s.BT_SelPort = 3;
  CopyField(s.BT_Baudrate, std::string(15, 'B').c_str());
  for (int i = 0; i < kPortCount; ++i) {
    PortSetting& p = s.Port[i];
    const std::string full(39, static_cast<char>('a' + i));
    for (char* f : {p.SelHost, p.Selprt, p.HostVrsn}) CopyField(f, kFieldSize, full.c_str());
    for (int k = 0; k < kQueryPrtMax; ++k) {
      CopyField(p.QueryPrt[k], (std::to_string(k) + std::string(38, 'q')).c_str());
    }
  }
  FakeDialog dialog;
  dialog.selected_printer = std::string(60, 'S');  // the dialog's text is cut to the field too
  ASSERT_TRUE(OnSaveSetting(s, dir.File("Quorvex.ini").c_str(), &dialog));
  EXPECT_EQ(std::string(s.Port[3].Selprt), std::string(39, 'S'));

  Settings back;
  ASSERT_TRUE(LoadSetting(back, dir.File("Quorvex.ini").c_str()));
  EXPECT_EQ(Format(back), Format(s));
  EXPECT_EQ(back.Port[2].QueryPrtCount, 7);
  EXPECT_EQ(back.BT_SelPort, 3);
}

TEST(FormatSettings, ABufferTooSmallGivesNothing) {
  Settings s;
  std::string full = Format(s);
  ASSERT_GT(full.size(), 0u);
  char small[64];
  EXPECT_EQ(FormatSettings(s, nullptr, small, sizeof small), 0u);
  std::vector<char> exact(full.size() + 1);
  EXPECT_EQ(FormatSettings(s, nullptr, exact.data(), exact.size()), full.size());
}

// A port without a control device is reset in a file with one line doubled or missing
// anywhere: the reader then sees that port reset, and the other ports' printers and the
// connect mode as it saw them before, however far it had fallen out of step. A second reset
// finds nothing to do and leaves the file alone, its time included.
TEST(ResetPortInFile, TheReaderSeesThePortResetInAFileWithALineDoubledOrMissing) {
  ScratchDir dir;
  const std::string path = dir.File("Quorvex.ini");
  Settings s;
  s.SaveManual = true;
  for (int i = 0; i < kPortCount; ++i) {
    const std::string printer = "00:12:6F:00:D0:0" + std::to_string(i + 1);
    CopyField(s.Port[i].Selprt, printer.c_str());
    CopyField(s.Port[i].QueryPrt[0], printer.c_str());
  }
  const std::string good = Format(s);
  std::vector<std::string> lines;
  for (size_t at = 0, end; at < good.size(); at = end)
    lines.push_back(good.substr(at, (end = good.find('\n', at) + 1) - at));
  auto named = [](const char* field) { return std::string(*field ? field : "NONE"); };
  namespace fs = std::filesystem;
  const fs::file_time_type old =
      std::chrono::time_point_cast<std::chrono::seconds>(fs::file_time_type::clock::now() - std::chrono::hours(1));
  for (size_t i = 0; i < 2 * lines.size(); ++i) {
    std::string text;
    for (size_t j = 0; j < lines.size(); ++j)
      text += j != i / 2 ? lines[j] : i % 2 ? lines[j] + lines[j] : "";   // doubled or missing
    SCOPED_TRACE(text);
    WriteBytes(path, text);
    Settings before, after;
    LoadSetting(before, path.c_str());
    ASSERT_TRUE(ResetPortInFile(path.c_str(), 3));
    LoadSetting(after, path.c_str());
    EXPECT_EQ(named(after.Port[3].Selprt), "NONE");
    for (int p = 0; p < 3; ++p) EXPECT_EQ(named(after.Port[p].Selprt), named(before.Port[p].Selprt));
    EXPECT_EQ(std::string(after.BT_Connect) == "AUTO", std::string(before.BT_Connect) == "AUTO");
    fs::last_write_time(path, old);
    ASSERT_TRUE(ResetPortInFile(path.c_str(), 3));
    EXPECT_EQ(fs::last_write_time(path), old);
  }
}

TEST(CopyField, CutsToTheFieldAndAlwaysTerminates) {
  char field[8];
  std::memset(field, 'x', sizeof field);
  CopyField(field, "COM1");
  EXPECT_STREQ(field, "COM1");
  CopyField(field, "00:12:6F:00:A1:10");
  EXPECT_STREQ(field, "00:12:6");
  CopyField(field, nullptr);
  EXPECT_STREQ(field, "");
  CopyField(field, 0, "untouched");  // no room at all: nothing written
  EXPECT_STREQ(field, "");
}

}  // namespace
}  // namespace settings_test
