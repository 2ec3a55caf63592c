// Safe replacement of the settings file: a save that cannot complete must leave the file
// that was there before exactly as it was.
#include "platform/file_replace.h"

#include <string>

#include "settings_test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace settings_test {
namespace {

class SafeSave : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("Quorvex.ini");
    old_ = ReadBytes(DataFile("golden/seven_printers.ini"));
    WriteBytes(path_, old_);
    ASSERT_TRUE(LoadSetting(s_, DataFile("golden/defaults.ini").c_str()));
  }
  // What the folder holds besides the settings file (Wine's ReplaceFile leaves an "rf"
  // file of its own when it cannot move a held file aside).
  std::vector<std::string> Beside() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.File("")))
      if (e.path().filename() != "Quorvex.ini" && e.path().filename().string().rfind("rf", 0))
        names.push_back(e.path().filename().string());
    return names;
  }
  ScratchDir dir_;
  std::string path_;
  std::string old_;
  Settings s_;
};

TEST_F(SafeSave, AReplacedFileHoldsTheNewBytesAndNoTemporaryIsLeft) {
  ASSERT_TRUE(OnSaveSetting(s_, path_.c_str()));
  EXPECT_EQ(ReadBytes(path_), ReadBytes(DataFile("golden/defaults.ini")));
  EXPECT_TRUE(Beside().empty());

  // Someone else's "Quorvex.ini.tmp" is neither used nor removed; the file keeps its mode.
  WriteBytes(path_ + ".tmp", "someone else's");
#ifndef _WIN32
  chmod(path_.c_str(), 0640);
#endif
  ASSERT_TRUE(platform::WriteFileReplacing(path_.c_str(), old_.data(), old_.size()));
  EXPECT_EQ(ReadBytes(path_), old_);
  EXPECT_EQ(ReadBytes(path_ + ".tmp"), "someone else's");
  EXPECT_EQ(Beside(), std::vector<std::string>{"Quorvex.ini.tmp"});
#ifndef _WIN32
  struct stat st;
  EXPECT_TRUE(stat(path_.c_str(), &st) == 0 && (st.st_mode & 07777) == 0640);
#endif
}

#ifndef _WIN32
// The disk fills up half-way through the save (here: a file size limit): the old file
// stays whole and the partial temporary file is removed.
TEST_F(SafeSave, ADiskThatFillsHalfWayKeepsTheOldFile) {
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool saved_ok = OnSaveSetting(s_, path_.c_str());
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(saved_ok);
  EXPECT_EQ(ReadBytes(path_), old_);
  EXPECT_TRUE(Beside().empty());
}

// A writable file in a folder that takes no new files (read-only to the saver; root saves
// as nobody): no temporary file can be made, so the bytes go in place.
TEST_F(SafeSave, AFolderThatTakesNoNewFilesHasTheFileWrittenInPlace) {
  const std::string folder = dir_.File("");
  ASSERT_EQ(chmod(path_.c_str(), 0666) | chmod(folder.c_str(), 0555), 0);
  const bool root = geteuid() == 0;
  ASSERT_TRUE(!root || seteuid(65534) == 0);
  bool saved_ok = OnSaveSetting(s_, path_.c_str());
  ASSERT_TRUE((!root || seteuid(0) == 0) && chmod(folder.c_str(), 0755) == 0);
  EXPECT_TRUE(saved_ok);
  EXPECT_EQ(ReadBytes(path_), ReadBytes(DataFile("golden/defaults.ini")));
}
#else
// Another process keeps the file open for reading and writing but not for deletion: the
// file cannot be replaced, so after a few tries the bytes go in place.
TEST_F(SafeSave, AFileHeldOpenByAnotherIsWrittenInPlace) {
  HANDLE holder = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  bool saved_ok = OnSaveSetting(s_, path_.c_str());
  CloseHandle(holder);
  EXPECT_TRUE(saved_ok);
  EXPECT_EQ(ReadBytes(path_), ReadBytes(DataFile("golden/defaults.ini")));
  EXPECT_TRUE(Beside().empty());
}

// Held with no sharing at all: neither replacing nor writing in place is possible; the
// save fails, the old bytes stay and the temporary file goes.
TEST_F(SafeSave, AFileLockedByAnotherFailsTheSaveAndKeepsTheOldFile) {
  HANDLE holder = CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  FakeDialog dialog;
  bool saved_ok = OnSaveSetting(s_, path_.c_str(), &dialog);
  CloseHandle(holder);
  EXPECT_FALSE(saved_ok);
  EXPECT_EQ(dialog.save_failures, 1);
  EXPECT_EQ(ReadBytes(path_), old_);
  EXPECT_TRUE(Beside().empty());
}
#endif

}  // namespace
}  // namespace settings_test
