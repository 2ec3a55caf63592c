// The PlaySound and AutoRun switches: what a start shows for what the registry holds, what
// the radios change, and what closing stores.
#include <gtest/gtest.h>

#include "tests/setup/rig.h"

using rig::DialogRig;

namespace {

struct Shown {
  bool soundOn, soundOff, runOn, runOff;
};

Shown Radios(DialogRig& r) {
  return {r.ui.IsDlgButtonChecked(IDC_PLAYSOUND_ON), r.ui.IsDlgButtonChecked(IDC_PLAYSOUND_OFF),
          r.ui.IsDlgButtonChecked(IDC_AUTORUN_ON), r.ui.IsDlgButtonChecked(IDC_AUTORUN_OFF)};
}

std::vector<unsigned char> Stored(DialogRig& r, const char* key, const char* name, uint32_t* type) {
  std::vector<unsigned char> bytes;
  if (!r.registry.Get(key, name, type, &bytes)) ADD_FAILURE() << name << " not stored";
  return bytes;
}

}  // namespace

TEST(PlaySound, StoredValuesShowAsOnOrOffAndAreWrittenBackAsZeroOrOne) {
  struct Case {
    uint32_t stored;
    bool on;
    unsigned char written;
  } cases[] = {{0, false, 0}, {1, true, 1}, {7, true, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    DialogRig r;
    r.registry.PutDword(rig::kParams, "PlaySound", c.stored);
    ASSERT_TRUE(r.Start());
    EXPECT_EQ(Radios(r).soundOn, c.on);
    EXPECT_EQ(Radios(r).soundOff, !c.on);
    EXPECT_EQ(static_cast<uint32_t>(r.St().bPlaySound), c.stored);  // copied unchanged
    r.Close();
    uint32_t type = 0;
    auto bytes = Stored(r, rig::kParams, "PlaySound", &type);
    EXPECT_EQ(type, platform::kRegDword);
    EXPECT_EQ(bytes, (std::vector<unsigned char>{c.written, 0, 0, 0}));
  }
}

TEST(PlaySound, AFirstStartWithoutTheValuePlaysSounds) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  EXPECT_TRUE(Radios(r).soundOn);
  EXPECT_EQ(r.St().bPlaySound, 1);
}

TEST(PlaySound, TheRadiosChangeOnlyMemoryUntilTheDialogCloses) {
  DialogRig r;
  r.registry.PutDword(rig::kParams, "PlaySound", 1);
  ASSERT_TRUE(r.Start());
  r.Click(IDC_PLAYSOUND_OFF);
  EXPECT_EQ(r.St().bPlaySound, 0);  // the monitor's next sound is silenced
  EXPECT_EQ(Stored(r, rig::kParams, "PlaySound", nullptr)[0], 1);
  r.Click(IDC_PLAYSOUND_ON);
  EXPECT_EQ(r.St().bPlaySound, 1);
  r.Click(IDC_PLAYSOUND_OFF);
  r.Close();
  EXPECT_EQ(Stored(r, rig::kParams, "PlaySound", nullptr)[0], 0);
}

TEST(AutoRun, EntriesShowAsOnOrOffAndClosingStoresThisProgramOrNothing) {
  DialogRig r;
  r.registry.PutString(rig::kRun, "Quorvex", "C:\\Other\\Thing.exe");
  ASSERT_TRUE(r.Start());
  EXPECT_TRUE(Radios(r).runOn);
  EXPECT_EQ(r.St().bAutoRun, 1);
  r.Close();
  uint32_t type = 0;
  auto bytes = Stored(r, rig::kRun, "Quorvex", &type);
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), r.dir + "/Quorvex.exe");  // no zero stored
}

TEST(AutoRun, AZeroByteEntryShowsOffAndIsWrittenAgainAsZeroBytes) {
  DialogRig r;
  r.registry.PutString(rig::kRun, "Quorvex", "");
  ASSERT_TRUE(r.Start());
  EXPECT_TRUE(Radios(r).runOff);
  EXPECT_FALSE(Radios(r).runOn);
  EXPECT_EQ(r.St().bAutoRun, 0);
  r.Close();
  uint32_t type = 0;
  EXPECT_TRUE(Stored(r, rig::kRun, "Quorvex", &type).empty());
  EXPECT_EQ(type, platform::kRegSz);
}

TEST(AutoRun, AFirstStartWithoutTheEntryShowsOff) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  EXPECT_TRUE(Radios(r).runOff);
  EXPECT_EQ(r.St().bAutoRun, 0);
}

TEST(AutoRun, OnThenOffBeforeClosingStoresTheEmptyString) {
  DialogRig r;
  ASSERT_TRUE(r.Start());
  r.Click(IDC_AUTORUN_ON);
  EXPECT_EQ(r.St().bAutoRun, 1);
  r.Click(IDC_AUTORUN_OFF);
  EXPECT_EQ(r.St().bAutoRun, 0);
  EXPECT_FALSE(r.registry.Get(rig::kRun, "Quorvex", nullptr, nullptr));  // a click writes nothing
  r.Close();
  EXPECT_TRUE(Stored(r, rig::kRun, "Quorvex", nullptr).empty());
}

TEST(AutoRun, AnEntryLongerThanTheBufferShowsOn) {
  DialogRig r;
  r.registry.PutString(rig::kRun, "Quorvex", std::string(400, 'x'));
  ASSERT_TRUE(r.Start());
  EXPECT_TRUE(Radios(r).runOn);
}

TEST(Switches, KeysThatCannotBeOpenedLeaveTheStartingCounts) {
  // No Parameters key and no Run key; creation refused, so not even BTiniPath makes one.
  DialogRig r;
  r.registry.RemoveKey(rig::kRun);
  r.registry.DenyCreate(true);
  ASSERT_TRUE(r.Start());
  // PlaySound follows the current switch (0 at start): Off. AutoRun shows On.
  EXPECT_TRUE(Radios(r).soundOff);
  EXPECT_TRUE(Radios(r).runOn);
}

TEST(Switches, WithoutTheRightToCreateKeysClosingShowsBothMessagesAndStoresNothing) {
  DialogRig r;
  r.registry.PutDword(rig::kParams, "PlaySound", 1);
  r.registry.PutString(rig::kRun, "Quorvex", "");
  ASSERT_TRUE(r.Start());
  r.registry.DenyCreate(true);
  r.Click(IDC_PLAYSOUND_OFF);
  r.Click(IDC_AUTORUN_ON);
  r.Close();
  EXPECT_EQ(r.ui.boxes, (std::vector<std::string>{"OnInitDialog: open registry failed: Sarnovek\\Parameters",
                                                  "WrtAutoRunReg: open AutoRun failed: "}));
  EXPECT_EQ(Stored(r, rig::kParams, "PlaySound", nullptr)[0], 1);
  EXPECT_TRUE(Stored(r, rig::kRun, "Quorvex", nullptr).empty());
  EXPECT_EQ(r.registry.OpenHandles(), 0);
}

TEST(Switches, EveryStartPublishesTheSettingsPathWithoutATerminatingZero) {
  DialogRig r;
  r.ProgramAt("C:\\Shop\\Quorvex.exe");
  r.registry.PutString(rig::kParams, "BTiniPath", "\\??\\C:\\Old\\Quorvex.ini");
  ASSERT_TRUE(r.Start());
  uint32_t type = 0;
  auto bytes = Stored(r, rig::kParams, "BTiniPath", &type);
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "\\??\\C:\\Shop\\Quorvex.ini");
}
