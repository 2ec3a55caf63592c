// What the settings tests share: a scratch folder per test, whole-file reads and writes,
// the golden files, and a dialog that records what the reader and writer asked of it.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace settings_test {

inline std::string ReadBytes(const std::string& path) {
  std::string bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "<missing>";
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
  std::fclose(f);
  return bytes;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
}

inline bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

// A file of the test data folder (golden/, bad/).
inline std::string DataFile(const std::string& name) {
  return std::string(SETTINGS_TEST_DATA_DIR) + "/" + name;
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    static int counter = 0;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("settings_test_" + std::to_string(stamp) + "_" + std::to_string(++counter));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The setup program's dialog as the reader and writer see it: what it is asked and told
// around LoadSetting and OnSaveSetting, played as the program plays it.
class FakeDialog {
 public:
  std::vector<std::string> modes_applied;
  int default_modes = 0;
  int save_failures = 0;
  int printer_asks = 0;
  std::string selected_printer = "NONE";
  bool auto_selected = false;

  // The program's choices for the next save, as it fills them in.
  void Choose(Settings& s) {
    s.SavePrinterChosen = s.BT_SelPort >= 0 && s.BT_SelPort < kPortCount;
    if (s.SavePrinterChosen) {
      ++printer_asks;
      CopyField(s.ChosenPrinter, selected_printer.c_str());
    }
    s.SaveManual = !auto_selected;
  }
};

inline bool LoadSetting(Settings& s, const char* path, FakeDialog* dialog) {
  bool read = ::LoadSetting(s, path);
  if (read)
    dialog->modes_applied.push_back(s.BT_Connect);
  else
    ++dialog->default_modes;
  return read;
}

inline bool OnSaveSetting(Settings& s, const char* path, FakeDialog* dialog) {
  dialog->Choose(s);
  bool saved = ::OnSaveSetting(s, path);
  if (!saved) ++dialog->save_failures;
  return saved;
}

inline size_t FormatSettings(const Settings& s, FakeDialog* dialog, char* out, size_t size) {
  Settings chosen = s;
  if (dialog) dialog->Choose(chosen);
  return ::FormatSettings(chosen, out, size);
}

inline std::string Format(const Settings& s, FakeDialog* dialog = nullptr) {
  char bytes[8192];
  size_t n = FormatSettings(s, dialog, bytes, sizeof bytes);
  return std::string(bytes, n);
}

// Every text ends inside its field, and the counters and index are in range: what any
// input, however bad, must leave behind.
inline void ExpectSound(const Settings& s) {
  EXPECT_GE(s.BT_SelPort, 0);
  EXPECT_LT(s.BT_SelPort, kPortCount);
  EXPECT_NE(std::memchr(s.BT_Baudrate, '\0', sizeof s.BT_Baudrate), nullptr);
  for (const PortSetting& p : s.Port) {
    EXPECT_GE(p.QueryPrtCount, 0);
    EXPECT_LE(p.QueryPrtCount, kQueryPrtMax);
    for (const char* f : {p.SelHost, p.Selprt, p.HostVrsn, p.Reserve1, p.Reserve2, p.Reserve3,
                          p.Reserve4}) {
      EXPECT_NE(std::memchr(f, '\0', kFieldSize), nullptr);
    }
    for (const auto& q : p.QueryPrt) EXPECT_NE(std::memchr(q, '\0', kFieldSize), nullptr);
  }
}

}  // namespace settings_test
