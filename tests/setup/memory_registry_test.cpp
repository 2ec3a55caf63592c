// The in-memory registry answers as the platform does for the cases the program's switches
// depend on (counts measured under Wine's RegQueryValueExA).
#include <gtest/gtest.h>

#include <cstring>

#include "platform/host/memory_registry.h"
#include "platform/test_threads.h"

using platform::HKeyLocalMachine;
using platform::MemoryRegistry;
using platform::RegKey;

TEST(MemoryRegistry, QueriesGiveThePlatformsCounts) {
  MemoryRegistry reg;
  RegKey k = nullptr;
  ASSERT_EQ(reg.CreateKey(HKeyLocalMachine(), "Software\\Probe", &k), 0);

  // A missing value leaves count, type and data alone.
  uint32_t value = 7, cb = 4, type = 0;
  EXPECT_EQ(reg.QueryValue(k, "Missing", &type, &value, &cb), platform::kErrorFileNotFound);
  EXPECT_EQ(cb, 4u);
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(type, 0u);

  // A zero-byte string reads back as zero bytes.
  EXPECT_EQ(reg.SetValue(k, "Empty", platform::kRegSz, "", 0), 0);
  char buf[256];
  cb = 255;
  EXPECT_EQ(reg.QueryValue(k, "Empty", &type, buf, &cb), 0);
  EXPECT_EQ(cb, 0u);
  EXPECT_EQ(type, platform::kRegSz);

  // A string stored without its zero gets one when there is room, and it is counted.
  EXPECT_EQ(reg.SetValue(k, "Str", platform::kRegSz, "abc", 3), 0);
  std::memset(buf, 'x', sizeof buf);
  cb = 255;
  EXPECT_EQ(reg.QueryValue(k, "Str", &type, buf, &cb), 0);
  EXPECT_EQ(cb, 4u);
  EXPECT_STREQ(buf, "abc");
  cb = 2;
  EXPECT_EQ(reg.QueryValue(k, "Str", &type, buf, &cb), platform::kErrorMoreData);
  EXPECT_EQ(cb, 4u);

  // Names and keys ignore case.
  RegKey again = nullptr;
  ASSERT_EQ(reg.OpenKey(HKeyLocalMachine(), "SOFTWARE\\probe", &again), 0);
  cb = 255;
  EXPECT_EQ(reg.QueryValue(again, "STR", nullptr, buf, &cb), 0);
  EXPECT_EQ(reg.CloseKey(again), 0);
  EXPECT_EQ(reg.CloseKey(k), 0);
  EXPECT_EQ(reg.OpenHandles(), 0);
}

TEST(MemoryRegistry, OpeningNeverCreatesAndDeniedCreationChangesNothing) {
  MemoryRegistry reg;
  RegKey k = nullptr;
  EXPECT_EQ(reg.OpenKey(HKeyLocalMachine(), "A\\B", &k), platform::kErrorFileNotFound);
  EXPECT_FALSE(reg.HasKey("A\\B"));
  reg.DenyCreate(true);
  EXPECT_EQ(reg.CreateKey(HKeyLocalMachine(), "A\\B", &k), platform::kErrorAccessDenied);
  EXPECT_FALSE(reg.HasKey("A"));
  reg.DenyCreate(false);
  ASSERT_EQ(reg.CreateKey(HKeyLocalMachine(), "A\\B", &k), 0);
  EXPECT_TRUE(reg.HasKey("A"));  // the keys above are created too
  reg.CloseKey(k);
}

TEST(MemoryRegistry, ReadersAndAWriterOnTwoThreadsSeeWholeValues) {
  MemoryRegistry reg;
  reg.PutDword("P", "V", 0);
  platform::test::Thread writer([&] {
    RegKey k = nullptr;
    reg.CreateKey(HKeyLocalMachine(), "P", &k);
    for (uint32_t i = 0; i < 20000; ++i) {
      uint32_t v = (i & 1) ? 0xFFFFFFFFu : 0u;
      reg.SetValue(k, "V", platform::kRegDword, &v, 4);
    }
    reg.CloseKey(k);
  });
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    RegKey k = nullptr;
    if (reg.OpenKey(HKeyLocalMachine(), "P", &k) != 0) continue;
    uint32_t v = 1, cb = 4;
    reg.QueryValue(k, "V", nullptr, &v, &cb);
    torn += (v != 0 && v != 0xFFFFFFFFu);
    reg.CloseKey(k);
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(reg.OpenHandles(), 0);
}
