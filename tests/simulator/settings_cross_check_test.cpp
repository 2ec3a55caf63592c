// The simulated driver's findings against the deliverables' own settings reader and writer:
// two independent writers of one format have to agree byte for byte.
#include <cstdio>
#include <fstream>
#include <string>

#include "settings/settings.h"
#include "simulator/model/sim_settings_file.h"
#include "tests/simulator/model_world.h"

namespace {

std::string TempPath(const char* name) {
  return std::string(::testing::TempDir()) + name;
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << data;
}

TEST(SimulatorSettingsCrossCheck, TheDefaultFileIsWhatTheLibrarysWriterMakesFromDefaults) {
  Settings s;
  std::string missing = TempPath("sim_cross_missing.ini");
  std::remove(missing.c_str());
  ASSERT_FALSE(LoadSetting(s, missing.c_str()));  // defaults applied
  char theirs[SIM_FILE_SIZE];
  size_t theirLen = FormatSettings(s, theirs, sizeof theirs);
  char ours[SIM_FILE_SIZE];
  size_t ourLen = sim_default_settings(ours, sizeof ours);
  ASSERT_GT(theirLen, 0u);
  EXPECT_EQ(std::string(theirs, theirLen), std::string(ours, ourLen));
}

TEST(SimulatorSettingsCrossCheck, TheProgramReadsBackWhatAQueryFound) {
  ModelWorld w(
      "device 0 COM3\ndongle COM3 0015000000F3 HD_v4.10\n"
      "printer COM3 0080376F0001 accepts\nprinter COM3 0080376F0002 refuses\n");
  // The program's file: COM1 bound to a printer, MANUAL.
  Settings before;
  LoadSetting(before, "/nonexistent/sim_cross.ini");
  CopyField(before.Port[0].SelHost, "0010A4C0FFEE");
  CopyField(before.Port[0].Selprt, "0080372A0001");
  CopyField(before.Port[0].QueryPrt[0], "0080372A0001");
  CopyField(before.Port[0].QueryPrt[1], "NONE");
  before.BT_SelPort = 2;
  char text[SIM_FILE_SIZE];
  size_t len = FormatSettings(before, text, sizeof text);
  ASSERT_GT(len, 0u);
  w.files[w.settingsPath] = std::string(text, len);

  ASSERT_EQ(LINK_OK, w.Query(0));
  std::string path = TempPath("sim_cross_query.ini");
  WriteFile(path, w.files[w.settingsPath]);
  Settings after;
  ASSERT_TRUE(LoadSetting(after, path.c_str()));
  EXPECT_EQ(2, after.BT_SelPort);
  EXPECT_STREQ("0015000000F3", after.Port[2].SelHost);
  EXPECT_EQ(2, after.Port[2].QueryPrtCount);
  EXPECT_STREQ("0080376F0001", after.Port[2].QueryPrt[0]);
  EXPECT_STREQ("0080376F0002", after.Port[2].QueryPrt[1]);
  EXPECT_STREQ("HD_v4.10", after.Port[2].HostVrsn);
  EXPECT_STREQ("0080372A0001", after.Port[0].Selprt);  // the other port's binding survived
  EXPECT_EQ(1, after.Port[0].QueryPrtCount);

  // And the library's writer, given what it read, writes the very same file again.
  char again[SIM_FILE_SIZE];
  size_t againLen = FormatSettings(after, again, sizeof again);
  EXPECT_EQ(w.files[w.settingsPath], std::string(again, againLen));
  std::remove(path.c_str());
}

}  // namespace
