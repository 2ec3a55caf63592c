// Scenario text as people write it, and as they get it wrong.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "simulator/model/sim_model.h"

namespace {

struct Parsed {
  int line;
  std::string message;
  sim_scenario s;
};

Parsed Parse(const std::string& text) {
  Parsed p{};
  sim_parse_error err{};
  p.line = sim_parse_scenario(&p.s, text.data(), text.size(), &err);
  p.message = err.message;
  EXPECT_EQ(p.line, err.line);
  return p;
}

std::string ReadScenarioFile(const char* name) {
  std::string path = std::string(SIM_SCENARIO_DIR) + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  EXPECT_NE(nullptr, f) << path;
  std::string text;
  if (!f) return text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  return text;
}

TEST(SimulatorScenario, TheDefaultWorldHasTwoDonglesThreePrintersOneFlakyAndALinkDrop) {
  Parsed p = Parse(ReadScenarioFile("default.txt"));
  ASSERT_EQ(0, p.line) << p.message;
  EXPECT_TRUE(p.s.port[0].has_dongle);
  EXPECT_TRUE(p.s.port[1].has_dongle);
  EXPECT_FALSE(p.s.port[2].has_dongle);
  EXPECT_EQ(3, p.s.port[0].printer_count + p.s.port[1].printer_count);
  EXPECT_EQ(SIM_REFUSES_FIRST, p.s.port[0].printers[1].behaviour);
  ASSERT_EQ(1, p.s.event_count);
  EXPECT_EQ(SIM_EVENT_DROP, p.s.events[0].kind);
  EXPECT_EQ(120000u, p.s.events[0].at_ms);
}

TEST(SimulatorScenario, EveryShippedScenarioParses) {
  for (const char* name : {"default.txt", "swapped_devices.txt", "every_behaviour.txt",
                           "crowded.txt", "slow_requests.txt", "no_devices.txt", "unplug.txt"}) {
    Parsed p = Parse(ReadScenarioFile(name));
    EXPECT_EQ(0, p.line) << name << ": " << p.message;
  }
}

TEST(SimulatorScenario, CommentsBlankLinesAndWindowsLineEndsAreWelcome) {
  Parsed p = Parse(
      "# a world\r\n\r\n   \t\r\n"
      "device 2 COM4   # the last port\r\n"
      "dongle\tCOM4\t0013000000D4\tHD_v2.00 fails\r\n"
      "device 1 index 77\r\n"
      "busy query 250");  // no line end at the end
  ASSERT_EQ(0, p.line) << p.message;
  EXPECT_TRUE(p.s.device_present[2]);
  EXPECT_EQ(3u, p.s.device_index[2]);
  EXPECT_EQ(77u, p.s.device_index[1]);
  EXPECT_TRUE(p.s.port[3].dongle_fails);
  EXPECT_STREQ("0013000000D4", p.s.port[3].dongle_address);
  EXPECT_STREQ("HD_v2.00", p.s.port[3].dongle_version);
  EXPECT_EQ(250u, p.s.busy_ms[2]);

  Parsed bare = Parse("dongle COM2 fails\n");
  ASSERT_EQ(0, bare.line);
  EXPECT_STREQ("NONE", bare.s.port[1].dongle_address);
}

TEST(SimulatorScenario, EventsAreKeptInTimeOrderWithTiesInFileOrder) {
  Parsed p = Parse(
      "dongle COM1 0010A4C0FFEE HD_v2.31\n"
      "printer COM1 0080372A0001 accepts\n"
      "at 30 drop COM1\n"
      "at 10 leave COM1 0080372A0001\n"
      "at 10000ms return COM1 0080372A0001\n"
      "at 0 drop COM1\n");
  ASSERT_EQ(0, p.line) << p.message;
  ASSERT_EQ(4, p.s.event_count);
  EXPECT_EQ(0u, p.s.events[0].at_ms);
  EXPECT_EQ(SIM_EVENT_LEAVE, p.s.events[1].kind);
  EXPECT_EQ(SIM_EVENT_RETURN, p.s.events[2].kind);
  EXPECT_EQ(30000u, p.s.events[3].at_ms);
}

TEST(SimulatorScenario, TheFirstBadLineIsNamedWithItsNumber) {
  const std::string ok = "dongle COM1 0010A4C0FFEE HD_v2.31\nprinter COM1 0080372A0001 accepts\n";
  struct Case {
    const char* text;
    const char* why;
  } cases[] = {
      {"teleport COM1\n", "unknown statement"},
      {"device 4 COM1\n", "device number"},
      {"device 0 COM1\ndevice 0 COM2\n", "twice"},
      {"device 0 COM5\n", "device <n>"},
      {"device 0 COM1 extra\n", "device <n>"},
      {"dongle COM2 1010A4C0FFEE HD_v2.31\n", "begin with 0"},
      {"dongle COM2 0010A4C0FFEE HD2.31\n", "_v"},
      {"dongle COM1 0010A4C0FFEE HD_v2.31\n", "twice"},
      {"dongle COM2 0010A4C0FFEE0123456789012345678901234567 HD_v2\n", "longer than 39"},
      {"dongle COM2 0010A4C0FFEE HD_v2 fails now\n", "dongle COM<k>"},
      {"printer COM2 0080372A0001 accepts\n", "without a dongle"},
      {"printer COM1 0080372A0002 sulks\n", "behaviour"},
      {"printer COM1 NONE accepts\n", "NONE and NULL"},
      {"printer COM1 0080372A0001 accepts\n", "twice"},
      {"at 5 leave COM1 0080372AFFFF\n", "names no printer"},
      {"at 5 drop COM3\n", "without a dongle"},
      {"at 4294968 drop COM1\n", "at <seconds>"},
      {"at -5 drop COM1\n", "at <seconds>"},
      {"at 5 explode COM1\n", "at <seconds>"},
      {"at 5 unplug COM3\n", "without a dongle"},
      {"at 5 plug COM1\n", "plug without an unplug"},
      {"at 5 unplug COM1\nat 9 unplug COM1\n", "unplug of a port that is unplugged"},
      {"at 9 unplug COM1\nat 9 plug COM1\nat 5 plug COM1\n", "plug without an unplug"},
      {"at 9 unplug COM1\nat 20 plug COM1\nat 10 unplug COM1\n", "unplugged"},
      {"busy connect 60001\n", "busy time"},
      {"busy dance 10\n", "busy connect"},
      {"device 0 COM1 a b c d e f g h\n", "too many words"},
      {"paper COM1 0080372A0009 out\n", "no printer line"},
      {"paper COM1 0080372A0001 wet\n", "ok|near-end|out"},
      {"cover COM1 0080372A0001 ajar\n", "open|closed"},
      {"info COM1 0080372A0001 colour red\n", "firmware|maker|model"},
      {"info COM1 0080372A0001 model 0123456789012345678901234567890123\n", "longer than 31"},
      {"at 5 paper-out COM1 0080372AFFFF\n", "names no printer"},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(ok + c.text);
    int lines = 3;
    for (const char* t = c.text; *t; ++t) lines += (*t == '\n' && t[1] != '\0') ? 1 : 0;
    EXPECT_EQ(lines, p.line) << c.text;
    EXPECT_NE(std::string::npos, p.message.find(c.why)) << c.text << " -> " << p.message;
  }
}

TEST(SimulatorScenario, OverlongLinesControlCharactersAndTooManyThingsAreRefused) {
  EXPECT_EQ(2, Parse("# fine\n" + std::string(256, 'x') + "\n").line);
  EXPECT_EQ(0, Parse("#" + std::string(254, 'x') + "\r\n").line);  // 255 is the limit
  EXPECT_EQ(1, Parse(std::string("device 0 COM1\0 junk\n", 20)).line);
  EXPECT_EQ(1, Parse("device 0 \x1b COM1\n").line);

  std::string many = "dongle COM1 0010A4C0FFEE HD_v2.31\n";
  for (int i = 0; i < SIM_PRINTERS_PER_PORT; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "printer COM1 00803700%04d accepts\n", i);
    many += line;
  }
  EXPECT_EQ(0, Parse(many).line);
  EXPECT_EQ(SIM_PRINTERS_PER_PORT + 2, Parse(many + "printer COM1 0080FFFF0000 accepts\n").line);

  std::string events = "dongle COM1 0010A4C0FFEE HD_v2.31\n";
  for (int i = 0; i < SIM_EVENT_MAX; ++i) events += "at 1 drop COM1\n";
  EXPECT_EQ(0, Parse(events).line);
  EXPECT_EQ(SIM_EVENT_MAX + 2, Parse(events + "at 1 drop COM1\n").line);
}

TEST(SimulatorScenario, AFailedParseLeavesNoHalfScenarioBehind) {
  // Nothing before the bad line may be used: the shell must refuse the whole file.
  Parsed p = Parse("device 0 COM1\ndongle COM1 0010A4C0FFEE HD_v2.31\nnonsense\n");
  EXPECT_EQ(3, p.line);
  EXPECT_FALSE(p.s.device_present[0]);
  EXPECT_FALSE(p.s.port[0].has_dongle);
  sim_parse_error err{};
  sim_scenario s{};
  EXPECT_EQ(0, sim_parse_scenario(&s, nullptr, 100, &err));  // no text: an empty world
  EXPECT_FALSE(s.device_present[0]);
  EXPECT_EQ(0, sim_parse_scenario(&s, "device 0 COM1\n", 0, nullptr));  // bounded by len
  EXPECT_FALSE(s.device_present[0]);
}

}  // namespace
