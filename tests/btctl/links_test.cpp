// btctl status and watch as a technician meets them: the simulated driver's twin publishing
// into the registry and writing query findings, the library's logic over it, the settings
// file in a scratch folder, and a virtual clock whose sleeps let the driver's time pass.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "library/exported_calls.h"
#include "library/mendalix_app.h"
#include "platform/host/memory_registry.h"
#include "tests/btctl/captured_output.h"
#include "tests/support/virtual_clock.h"
#include "simulator/host/simulator_devices.h"
#include "tools/btctl/event_log.h"
#include "tools/btctl/log_file.h"
#include "tools/btctl/metrics.h"
#include "tools/btctl/result_text.h"
#include "tools/btctl/status_command.h"
#include "tools/btctl/watch_command.h"

std::string ProgramLine(uint32_t word, int port);   // the setup program's words

namespace {
namespace fs = std::filesystem;

// Sleeps move the driver's time on (its timed events fire) and run the test's own events.
struct WorldClock : platform::VirtualClock {
  void Sleep(uint32_t ms) override {
    VirtualClock::Sleep(ms);
    if (devices) devices->Tick();
    for (auto e = events.begin(); e != events.end() && e->first <= NowMs(); e = events.erase(e))
      e->second();
  }
  simulator::SimulatorDevices* devices = nullptr;
  std::multimap<uint64_t, std::function<void()>> events;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

class Terminal : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_);
    fs::current_path(dir_);   // the library reads Quorvex.ini by bare name
  }
  void TearDown() override {
    if (app) app->ExitInstance();
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  // The driver with a scenario, "BTiniPath" as the setup program publishes it, the library
  // (loaded libraryAtMs into the driver's time).
  void Start(const std::string& scenario, uint32_t libraryAtMs = 0) {
    std::string error;
    ASSERT_TRUE(simulator::ParseScenario(scenario, &scenario_, &error)) << error;
    PutText("BTiniPath", "\\??\\" + ini);
    devices = std::make_unique<simulator::SimulatorDevices>(scenario_, registry, clock);
    clock.devices = devices.get();
    if (libraryAtMs) clock.Sleep(libraryAtMs);
    st = std::make_unique<MendalixState>(*devices, clock, platform::SystemThreads());
    app = std::make_unique<CMendalixApp>(*st);
  }
  // The setup program binds a printer to a port and saves.
  void Bind(int com, const char* printer) {
    Settings s;
    LoadSetting(s, ini.c_str());
    CopyField(s.Port[com - 1].Selprt, printer);
    ASSERT_TRUE(OnSaveSetting(s, ini.c_str()));
  }
  void PutText(const char* name, const std::string& text) {
    registry.PutString(SARNO_PARAMETERS_KEY, name, text);
  }
  // btctl status: its exit status; what it printed and said on stderr in out and err.
  int Status(bool json, const char* iniArg = nullptr) {
    FILE *o = tmpfile(), *e = tmpfile();
    int code = RunStatus(registry, iniArg, json, o, e);
    out = Text(o);
    err = Text(e);
    return code;
  }

  fs::path old_ = fs::current_path();
  fs::path dir_ = fs::temp_directory_path() / ("btctl_test_" + std::to_string(getpid()));
  std::string ini = (dir_ / "Quorvex.ini").string(), out, err;
  platform::MemoryRegistry registry;
  WorldClock clock;
  sim_scenario scenario_{};
  std::unique_ptr<simulator::SimulatorDevices> devices;
  std::unique_ptr<MendalixState> st;
  std::unique_ptr<CMendalixApp> app;
};

}  // namespace

TEST_F(Terminal, StatusAfterAQueryAndAConnectShowsEachPortThenTheDropThenNoSettings) {
  std::ifstream f(SIM_SCENARIO_DIR "/default.txt");
  Start(std::string(std::istreambuf_iterator<char>(f), {}));
  ASSERT_EQ(0, CallQuery(*st, "COM1", "NONE"));
  ASSERT_EQ(0, CallQuery(*st, "COM2", "NONE"));
  Bind(1, "0080372A0001");
  ASSERT_EQ(0, CallConnect(*st, "COM1", "0080372A0001"));

  EXPECT_EQ(0, Status(false));
  EXPECT_EQ("Settings file: " + ini + "\n"
            "PORT  DONGLE        VERSION   BOUND         LINK          FOUND BY THE LAST QUERY\n"
            "COM1  0010A4C0FFEE  HD_v2.31  0080372A0001  Conected      0080372A0001 0080372A0002\n"
            "COM2  0010A4C0BEEF  HD_v2.31  NONE          None          0080372A0003\n"
            "COM3  NONE          NONE      NONE          None          NONE\n"
            "COM4  NONE          NONE      NONE          None          NONE\n", out);
  EXPECT_EQ(0, Status(true));
  std::vector<std::string> json = Lines(out);
  ASSERT_EQ(6u, json.size());
  EXPECT_EQ("{\"port\":\"COM1\",\"dongle\":\"0010A4C0FFEE\",\"version\":\"HD_v2.31\",\"bound\":\"0080372A0001\","
            "\"found\":[\"0080372A0001\",\"0080372A0002\"],\"state\":0,\"link\":\"Conected\",\"meaning\":\"Connect Ok\"},",
            json[1]);
  EXPECT_EQ("{\"port\":\"COM3\",\"dongle\":null,\"version\":null,\"bound\":null,\"found\":[],\"state\":255,"
            "\"link\":\"None\",\"meaning\":null},", json[3]);

  // A port nobody bound may show a failure (a connect tried by hand): everything bound is up.
  registry.PutDword(SARNO_PARAMETERS_KEY, "COM3ConnectState", 0x20);
  EXPECT_EQ(0, Status(false));
  EXPECT_EQ(0, RunStatusPrometheus(registry, nullptr, 1796700000, tmpfile(), tmpfile()));
  registry.PutDword(SARNO_PARAMETERS_KEY, "COM3ConnectState", 255);

  clock.Sleep(120000);   // the scenario drops COM1's link two minutes in
  EXPECT_EQ(1, Status(false));
  EXPECT_NE(std::string::npos, out.find("0080372A0001  DisConected: Disconnect Ok (0x4)  0080372A0001"));
  EXPECT_EQ(1, Status(true));
  EXPECT_NE(std::string::npos, out.find("\"state\":4,\"link\":\"DisConected\",\"meaning\":\"Disconnect Ok\""));

  fs::remove(ini);
  EXPECT_EQ(2, Status(false));
  EXPECT_EQ("", out);
  EXPECT_EQ("btctl: cannot read the settings file " + ini + " named by BTiniPath\n", err);

  // The words are the setup program's own, for every kind of word.
  for (uint32_t word : {0x0u, 0x1u, 0x2u, 0x6u, 0x14u, 0x20u, 0x40u, 0x104u, 0xFFu})
    EXPECT_EQ(ProgramLine(word, 3), std::string("COM3: ") + LinkWords(word)) << word;
}

// One call's exit status: a drop answered "disconnected" and monitoring the driver took are
// what was asked; monitoring a port whose device went away (0x10) is not.
TEST(CallExit, SaysWhetherTheCallDidWhatWasAsked) {
  EXPECT_EQ(0, CallExitStatus("connect", "NULL", 0x4));
  EXPECT_EQ(1, CallExitStatus("connect", "0080372A0001", 0x4));
  EXPECT_EQ(0, CallExitStatus("monitor", "MON_ON", 1));
  for (uint32_t failed : {0x0u, 0x2u, 0x10u})
    EXPECT_EQ(1, CallExitStatus("monitor", "MON_OFF", failed)) << failed;
  EXPECT_EQ(0, CallExitStatus("long", "NONE", 3));
}

TEST_F(Terminal, BadSettingsAndRegistryValuesEachGiveOneLineAndExitStatus2) {
  Start("device 0 COM1\ndongle COM1 0010A4C0FFEE HD_v2.31\nprinter COM1 0080372A0001 accepts\n");
  ASSERT_EQ(0, CallQuery(*st, "COM1", "NONE"));
  std::ifstream f(ini);
  const std::string good(std::istreambuf_iterator<char>(f), {});
  const std::string key = SARNO_PARAMETERS_KEY;
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[&] { std::ofstream(ini) << good.substr(0, good.find("BT_HostVrsn", good.find("COM2"))); },
       "the settings file " + ini + " is damaged: the BT_HostVrsn line of COM2 is missing or malformed"},
      {[&] { PutText("BTiniPath", "\\??\\/nowhere/Quorvex.ini"); },
       "cannot read the settings file /nowhere/Quorvex.ini named by BTiniPath"},
      {[&] { registry.PutDword(key, "BTiniPath", 7); }, "the driver's value BTiniPath is REG_DWORD, not a text"},
      {[&] { PutText("COM2ConnectState", "0"); },
       "the driver's value COM2ConnectState is REG_SZ of 2 bytes, not a 4-byte number"},
      {[&] { registry.Put(key, "COM3ConnectState", 3, "\0", 2); },
       "the driver's value COM3ConnectState is REG_BINARY of 2 bytes, not a 4-byte number"},
      {[&] { registry.Put(key, "COM4ConnectState", 11, "\0\0\0\0\0\0\0", 8); },
       "the driver's value COM4ConnectState is REG_QWORD of 8 bytes, not a 4-byte number"},
      {[&] { registry.RemoveKey(key); }, "cannot open the driver's registry key HKLM\\" + key + " (error 2)"},
  };
  for (const auto& c : cases) {
    registry.RemoveKey(key);
    PutText("BTiniPath", "\\??\\" + ini);
    std::ofstream(ini) << good;
    c.first();
    EXPECT_EQ(2, Status(false)) << c.second;
    EXPECT_EQ("btctl: " + c.second + "\n", err);
    // A value that cannot be read still leaves the rest of the table.
    EXPECT_EQ(c.second.find("State") != std::string::npos, out.find("unreadable") != std::string::npos);
  }

  // --ini reads another file. Texts from it cannot break a terminal or the JSON.
  std::string odd = good;
  std::ofstream(ini + ".odd") << odd.replace(odd.find("0010A4C0FFEE"), 12, "00\"\\\x1b[2J\xe9");
  EXPECT_EQ(2, Status(false, (ini + ".odd").c_str()));   // the key is gone
  EXPECT_NE(std::string::npos, out.find("COM1  00\"\\?[2J?  ")) << out;
  Status(true, (ini + ".odd").c_str());
  EXPECT_NE(std::string::npos, out.find("\"dongle\":\"00\\\"\\\\\\u001b[2J\\u00e9\"")) << out;

  // A watch over a damaged file says so once, not once a second, and goes on.
  PutText("BTiniPath", "\\??\\" + ini);
  std::ofstream(ini) << "BT_SelPort: COM1\n";
  std::atomic<int> stop{0};
  FILE* o = tmpfile();
  RunWatch(WatchOptions{false, 5, nullptr}, WatchSeams{registry, clock, nullptr, stop, o});
  std::vector<std::string> lines = Lines(Text(o));
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ("+0.000 the settings file " + ini + " is damaged: the BT_SelHost line of COM1 is missing or malformed", lines[1]);
  EXPECT_EQ("+5.000 watch ended after 5 s", lines[2]);
}

// COM1's printer is carried out of range at 10 s and comes back at 40 s; COM2's printer is
// in range but not bound until the setup program binds it at 30 s; Ctrl-C comes at 44.1 s,
// in the middle of a connect.
TEST_F(Terminal, WatchReconnectsWithAGrowingBackOffAndNeverTouchesAnUnboundPort) {
  Start("device 0 COM1\ndevice 1 COM2\n"
        "dongle COM1 0010A4C0FFEE HD_v2.31\ndongle COM2 0010A4C0BEEF HD_v2.31\n"
        "printer COM1 0080372A0001 accepts\nprinter COM2 0080372A0003 accepts\n"
        "at 10 leave COM1 0080372A0001\nat 40 return COM1 0080372A0001\n");
  ASSERT_EQ(0, CallQuery(*st, "COM1", "NONE"));
  ASSERT_EQ(0, CallQuery(*st, "COM2", "NONE"));
  Bind(1, "0080372A0001");
  std::atomic<int> stop{0};
  clock.events.emplace(30000, [&] { Bind(2, "0080372A0003"); });
  clock.events.emplace(44100, [&] { stop = 1; });
  size_t before = devices->Log().size();

  FILE* o = tmpfile();
  auto connect = [&](const char* port, const char* printer) { return CallConnect(*st, port, printer); };
  EXPECT_EQ(0, RunWatch(WatchOptions{true, 80, nullptr}, WatchSeams{registry, clock, connect, stop, o}));
  const std::string t = "BT_OnConnect(COM1, 0080372A0001) = 0x",
                    failed = "20: COM1: Printer Dongle Connection Failed....; next try in ";
  std::vector<std::string> want = {
      "+0.000 watching the links of COM1 to COM4 once a second; bound ports that are down are connected again",
      "+0.000 settings " + ini + ": bound COM1 to 0080372A0001",
      "+0.300 COM1: try 1: " + t + "0: COM1: Connect Ok",
      "+1.000 COM1: Connect Ok (Conected, state 0x0)",
      "+10.000 COM1: Disconnect Ok (DisConected, state 0x4)",
      "+10.600 COM1: try 1: " + t + failed + "1 s",
      "+11.000 COM1: Printer Dongle Connection Failed.... (DisConected, state 0x20)",
      "+12.200 COM1: try 2: " + t + failed + "2 s",
      "+14.800 COM1: try 3: " + t + failed + "4 s",
      "+19.400 COM1: try 4: " + t + failed + "8 s",
      "+28.000 COM1: try 5: " + t + failed + "16 s",
      "+30.000 settings " + ini + ": bound COM1 to 0080372A0001, COM2 to 0080372A0003",
      "+30.300 COM2: try 1: BT_OnConnect(COM2, 0080372A0003) = 0x0: COM2: Connect Ok",
      "+31.000 COM2: Connect Ok (Conected, state 0x0)",
      "+44.300 COM1: try 6: " + t + "0: COM1: Connect Ok",   // the call under way finishes
      "+44.300 watch stopped",
  };
  EXPECT_EQ(want, Lines(Text(o)));

  // The driver got connects only: COM1's device all of them but the one after COM2's binding.
  int connects[2] = {};
  std::vector<sim_log_entry> log = devices->Log();
  for (size_t i = before; i < log.size(); ++i) {
    EXPECT_EQ(IOCTL_SARNO_PCON, log[i].code);
    ++connects[log[i].device];
  }
  EXPECT_EQ(1 + 5 * 2 + 1, connects[0]);   // a failed try is the library's two attempts
  EXPECT_EQ(1, connects[1]);
  EXPECT_EQ(0u, devices->LinkState(0));
}

// The watch as the service runs it: waits of whole seconds, a log file, a metrics file and
// Event Log entries. COM1's printer flaps for half a minute, then is gone for good; at 250 s
// the service's own control asks for a try at once.
TEST_F(Terminal, TheServicesWatchLogsMetersAndReportsAFlappingLinkAndCapsItsBackOff) {
  std::string scenario = "device 0 COM1\ndongle COM1 0010A4C0FFEE HD_v2.31\nprinter COM1 0080372A0001 accepts\n";
  for (int t = 5; t <= 35; t += 6)
    scenario += "at " + std::to_string(t) + " leave COM1 0080372A0001\nat " + std::to_string(t + 3) +
                " return COM1 0080372A0001\n";
  Start(scenario + "at 41 leave COM1 0080372A0001\n");
  ASSERT_EQ(0, CallQuery(*st, "COM1", "NONE"));
  Bind(1, "0080372A0001");
  struct Kept : EventSink {
    std::vector<std::pair<EventId, std::string>> got;
    void Report(EventKind, EventId id, const char* const* s, int n) override {
      got.emplace_back(id, n ? s[0] + std::string(n > 2 ? " " : "") + (n > 2 ? s[2] : "") : "");
    }
  } sink;
  const std::string log = (dir_ / "watch.log").string(), prom = (dir_ / "links.prom").string();
  // Links planted where the files go are never followed: the system's file stays as it was.
  const std::string system = (dir_ / "system.txt").string();
  std::ofstream(system) << "keep";
  fs::create_symlink(system, log);
  fs::create_symlink(system, prom);
  LogFile logFile(3000);
  const char* why = "";
  EXPECT_FALSE(logFile.Open(log.c_str(), &why));
  fs::remove(log);
  ASSERT_TRUE(logFile.Open(log.c_str(), &why)) << why;
  MetricsFile metrics(prom.c_str(), [] { return uint64_t{1796700000}; });
  EventLogWatch events(sink);
  std::atomic<int> stop{0}, tryNow{0};
  clock.events.emplace(250000, [&] { tryNow = 1; });
  int waits = 0;
  WatchSeams seams{registry, clock, [&](const char* port, const char* printer) { return CallConnect(*st, port, printer); },
                   stop, nullptr, nullptr, [&](uint32_t ms) { ++waits, clock.Sleep(ms); }, &tryNow,
                   {&logFile, &metrics, &events}};
  EXPECT_EQ(0, RunWatch(WatchOptions{true, 300, nullptr}, seams));

  // The lines are the console's, in at most twice the cap; the older file starts with a whole line.
  std::ifstream current(log), older(log + ".1");
  std::string now((std::istreambuf_iterator<char>(current)), {}), before((std::istreambuf_iterator<char>(older)), {});
  EXPECT_LE(now.size(), 3000u);
  EXPECT_LE(before.size(), 3000u);
  EXPECT_EQ(0u, before.find("+")) << before;
  EXPECT_NE(std::string::npos, now.find("+300.000 watch ended after 300 s\r\n")) << now;

  // The back-off grows to 60 s and no further; the nudge at 250 s tries at once.
  std::vector<int> gaps;
  int tries = 0;
  bool nudged = false;
  for (const std::string& l : Lines(before + now)) {
    tries += l.find(": try ") != std::string::npos;
    nudged = nudged || l.rfind("+250.", 0) == 0;
    if (size_t at = l.find("next try in "); at != std::string::npos) gaps.push_back(std::stoi(l.substr(at + 12)));
  }
  const std::vector<int> capped = {1, 2, 4, 8, 16, 32, 60, 60};
  EXPECT_NE(gaps.end(), std::search(gaps.begin(), gaps.end(), capped.begin(), capped.end()));
  EXPECT_EQ(60, *std::max_element(gaps.begin(), gaps.end()));
  EXPECT_TRUE(nudged);
  EXPECT_LT(waits, 300 + 2 * tries);   // about one wake-up a second, and one per try

  // The metrics count what the lines show; the link is down now.
  std::ifstream m(prom);
  std::string text((std::istreambuf_iterator<char>(m)), {});
  EXPECT_NE(std::string::npos, text.find("quorvex_link_up{port=\"COM1\",printer=\"0080372A0001\"} 0\n")) << text;
  EXPECT_NE(std::string::npos, text.find("quorvex_reconnect_tries_total{port=\"COM1\"} " + std::to_string(tries) + "\n")) << text;
  EXPECT_NE(std::string::npos, text.find("quorvex_watch_last_pass_timestamp_seconds 1796700000\n"));
  EXPECT_FALSE(fs::is_symlink(prom));
  EXPECT_EQ("keep", std::string((std::istreambuf_iterator<char>(std::ifstream(system).rdbuf())), {}));

  // The flapping minute gives three entries and one summary with the link as it is now.
  ASSERT_EQ(4u, sink.got.size());
  EXPECT_EQ(kEventReconnected, sink.got[0].first);   // connected by the watch's first try
  EXPECT_EQ(kEventLinkDown, sink.got[1].first);
  EXPECT_EQ(kEventReconnected, sink.got[2].first);
  EXPECT_EQ(kEventFlapSummary, sink.got[3].first);
  EXPECT_EQ("COM1 Printer Dongle Connection Failed.... (DisConected, state 0x20)", sink.got[3].second);
}

// The settings file may hold anything in a printer's name: a quote or a backslash in a label
// is escaped as the text format asks, so that the line still parses.
TEST(Metrics, AQuoteOrBackslashInAPrinterNameIsEscaped) {
  TerminalReading t;
  t.stateRead[0] = true;
  const char* bound[kPortCount] = {"00\"37\\2A", "NONE", "NONE", "NONE"};
  char text[kMetricsSize];
  FormatMetrics(t, bound, nullptr, 0, text, sizeof text);
  EXPECT_NE(std::string::npos, std::string(text).find("quorvex_link_up{port=\"COM1\",printer=\"00\\\"37\\\\2A\"} 1\n")) << text;
}

// COM2's dongle is out when the watch's library loads, and is plugged in 100 s into the
// driver's time: COM2 has no control device, so its try answers 0x2. The next try comes after
// the longest step and no sooner, and links the printer once the device is there. The watch
// runs from another folder than the settings file's, as a technician's console may.
TEST_F(Terminal, WatchTriesAPortWithoutAControlDeviceAgainAfterTheLongestStep) {
  fs::create_directories(dir_ / "console");
  fs::current_path(dir_ / "console");
  Bind(2, "0080372A0003");
  Start("device 0 COM1\ndevice 1 COM2\n"
        "dongle COM1 0010A4C0FFEE HD_v2.31\ndongle COM2 0010A4C0BEEF HD_v2.31\n"
        "printer COM2 0080372A0003 accepts\nat 1 unplug COM2\nat 100 plug COM2\n", 1000);
  std::atomic<int> stop{0};
  FILE* o = tmpfile();
  auto connect = [&](const char* port, const char* printer) { return CallConnect(*st, port, printer); };
  EXPECT_EQ(0, RunWatch(WatchOptions{true, 125, nullptr}, WatchSeams{registry, clock, connect, stop, o}));
  const std::string t = ": BT_OnConnect(COM2, 0080372A0003) = 0x",
                    none = "2: COM2: No Driver Installed....; the port has no control device, next try in 60 s";
  std::vector<std::string> want = {
      "+0.000 watching the links of COM1 to COM4 once a second; bound ports that are down are connected again",
      "+0.000 settings " + ini + ": bound COM2 to 0080372A0003",
      "+0.000 COM2: Disconnect Ok (DisConected, state 0x4)",
      "+0.000 COM2: try 1" + t + none,
      "+60.000 COM2: try 2" + t + none,   // nothing in between
      "+99.000 COM2: XK printer Answer Back Failed.... (None, state 0xFF)",   // plugged in
      "+120.300 COM2: try 3" + t + "0: COM2: Connect Ok",
      "+121.000 COM2: Connect Ok (Conected, state 0x0)",
      "+125.000 watch ended after 125 s",
  };
  EXPECT_EQ(want, Lines(Text(o)));
  int connects = 0;
  for (const sim_log_entry& e : devices->Log()) connects += e.code == IOCTL_SARNO_PCON;
  EXPECT_EQ(1, connects) << "only the last try reached the driver";
  EXPECT_EQ(0u, devices->LinkState(1));
}
