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
  ScratchDir dir_;
  std::string path_;
  std::string old_;
  Settings s_;
};

TEST_F(SafeSave, AReplacedFileHoldsTheNewBytesAndNoTemporaryIsLeft) {
  ASSERT_TRUE(OnSaveSetting(s_, path_.c_str()));
  EXPECT_EQ(ReadBytes(path_), ReadBytes(DataFile("golden/defaults.ini")));
  EXPECT_FALSE(Exists(path_ + ".tmp"));

  // A stale temporary file from an interrupted save does not stand in the way.
  WriteBytes(path_ + ".tmp", "half a file");
  ASSERT_TRUE(platform::WriteFileReplacing(path_.c_str(), old_.data(), old_.size()));
  EXPECT_EQ(ReadBytes(path_), old_);
  EXPECT_FALSE(Exists(path_ + ".tmp"));
}

TEST_F(SafeSave, ATemporaryPathTakenByAFolderFailsTheSaveAndKeepsTheOldFile) {
  std::filesystem::create_directory(path_ + ".tmp");
  FakeDialog dialog;
  EXPECT_FALSE(OnSaveSetting(s_, path_.c_str(), &dialog));
  EXPECT_EQ(dialog.save_failures, 1);
  EXPECT_EQ(ReadBytes(path_), old_);
  EXPECT_TRUE(std::filesystem::is_directory(path_ + ".tmp"));  // not ours to remove
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
  EXPECT_FALSE(Exists(path_ + ".tmp"));
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
  EXPECT_FALSE(Exists(path_ + ".tmp"));
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
  EXPECT_FALSE(Exists(path_ + ".tmp"));
}
#endif

}  // namespace
}  // namespace settings_test
