// The simulated driver as the library and the setup program meet it on the host: control
// devices, a blocking reader, the registry values and the serial ports.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/host/memory_registry.h"
#include "tests/support/virtual_clock.h"
#include "simulator/host/simulator_devices.h"
#include "simulator/host/simulator_serial_ports.h"

namespace {

using platform::DeviceHandle;

// The host registry, plus the order in which values were set.
class RecordingRegistry : public platform::MemoryRegistry {
 public:
  long SetValue(platform::RegKey key, const char* name, uint32_t type, const void* data,
                uint32_t cb) override {
    uint32_t v = 0;
    if (type == platform::kRegDword && cb == 4) std::memcpy(&v, data, 4);
    {
      std::lock_guard<std::mutex> lock(mu_);
      sets_.emplace_back(name, v);
    }
    return MemoryRegistry::SetValue(key, name, type, data, cb);
  }
  std::vector<std::pair<std::string, uint32_t>> Sets() {
    std::lock_guard<std::mutex> lock(mu_);
    return sets_;
  }
  void ClearSets() {
    std::lock_guard<std::mutex> lock(mu_);
    sets_.clear();
  }

 private:
  std::mutex mu_;
  std::vector<std::pair<std::string, uint32_t>> sets_;
};

sim_scenario Scenario(const std::string& file) {
  sim_scenario s{};
  std::string error;
  EXPECT_TRUE(simulator::LoadScenarioFile(std::string(SIM_SCENARIO_DIR) + "/" + file, &s, &error))
      << error;
  return s;
}

uint32_t State(RecordingRegistry& reg, int port) {
  uint32_t type = 0;
  std::vector<unsigned char> bytes;
  char name[32];
  std::snprintf(name, sizeof name, "COM%dConnectState", port);
  if (!reg.Get(SARNO_PARAMETERS_KEY, name, &type, &bytes) || bytes.size() != 4) return 0xDEAD;
  EXPECT_EQ(platform::kRegDword, type);
  uint32_t v;
  std::memcpy(&v, bytes.data(), 4);
  return v;
}

uint32_t Word(simulator::SimulatorDevices& d, DeviceHandle h, uint32_t code, const char* text) {
  uint32_t word = 0xDEAD, returned = 0;
  if (!d.Control(h, code, text, static_cast<uint32_t>(std::strlen(text)), &word, 4, &returned))
    return 0xBAD;
  return word;
}

struct Twin {
  RecordingRegistry registry;
  platform::VirtualClock clock;
  simulator::SimulatorDevices devices;
  explicit Twin(const char* file, platform::VirtualClock::Mode mode =
                                       platform::VirtualClock::Mode::Auto)
      : clock(mode), devices(Scenario(file), registry, clock) {}
};

TEST(SimulatorHostTwin, TheLibraryFindsTheDefaultDevicesAndTheirPorts) {
  Twin t("default.txt");
  // At start every port's published state is "no state".
  for (int port = 1; port <= 4; ++port) EXPECT_EQ(255u, State(t.registry, port));

  DeviceHandle h0 = t.devices.Open("\\\\.\\Sarno0");
  DeviceHandle h1 = t.devices.Open("\\\\.\\Sarno1");
  EXPECT_NE(platform::InvalidDevice(), h0);
  EXPECT_NE(platform::InvalidDevice(), h1);
  EXPECT_NE(h0, h1);
  EXPECT_EQ(platform::InvalidDevice(), t.devices.Open("\\\\.\\Sarno2"));
  EXPECT_EQ(platform::InvalidDevice(), t.devices.Open("\\\\.\\Sarno01"));
  EXPECT_EQ(platform::InvalidDevice(), t.devices.Open("Sarno0"));
  EXPECT_EQ(platform::InvalidDevice(), t.devices.Open(nullptr));

  uint32_t index = 255, returned = 0;
  ASSERT_TRUE(t.devices.Control(h1, IOCTL_SARNO_GET_COM_INDX, &index, 4, &index, 4, &returned));
  EXPECT_EQ(1u, index);
  char text[256] = "MON_ON";
  ASSERT_TRUE(t.devices.Control(h0, IOCTL_SARNO_MONITOR, text, 6, text, sizeof text, &returned));
  EXPECT_EQ(6u, returned);
  EXPECT_STREQ("MON_ON", text);

  // A second handle on the same device is fine (shared access); closed handles are dead.
  DeviceHandle again = t.devices.Open("\\\\.\\Sarno0");
  EXPECT_EQ(3, t.devices.OpenHandles());
  t.devices.Close(again);
  EXPECT_FALSE(t.devices.Control(again, IOCTL_SARNO_GET_COM_INDX, &index, 4, &index, 4,
                                 &returned));
  t.devices.Close(h0);
  t.devices.Close(h1);
  EXPECT_EQ(0, t.devices.OpenHandles());
  EXPECT_EQ(0, t.registry.OpenHandles());
}

TEST(SimulatorHostTwin, ConnectStatesReachTheRegistryInOrder) {
  Twin t("default.txt");
  t.registry.ClearSets();
  DeviceHandle h = t.devices.Open("\\\\.\\Sarno0");
  // The flaky printer: the library's first attempt fails, its retry connects.
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, Word(t.devices, h, IOCTL_SARNO_PCON, "0080372A0002"));
  EXPECT_EQ(LINK_OK, Word(t.devices, h, IOCTL_SARNO_PCON, "0080372A0002"));
  EXPECT_EQ(LINK_DISCONNECTED, Word(t.devices, h, IOCTL_SARNO_PCON, "NONE"));
  EXPECT_EQ(LINK_DISCONNECTED, Word(t.devices, h, IOCTL_SARNO_PCON, "NONE"));
  using Sets = std::vector<std::pair<std::string, uint32_t>>;
  EXPECT_EQ((Sets{{"COM1ConnectState", 0x20u}, {"COM1ConnectState", 0u},
                  {"COM1ConnectState", 4u}}),
            t.registry.Sets());
  EXPECT_EQ(4u, State(t.registry, 1));
  EXPECT_EQ(255u, State(t.registry, 2));
  t.devices.Close(h);
}

TEST(SimulatorHostTwin, AQueryWritesTheFileThatBTiniPathNames) {
  Twin t("default.txt");
  std::string path = std::string(::testing::TempDir()) + "sim_twin_query.ini";
  std::remove(path.c_str());
  DeviceHandle h = t.devices.Open("\\\\.\\Sarno1");  // COM2

  // Before the program published the path there is nowhere to write.
  EXPECT_EQ(LINK_OK, Word(t.devices, h, IOCTL_SARNO_PINQ, "NONE"));
  EXPECT_EQ(1u, t.devices.Stats().settings_failures);

  t.registry.PutString(SARNO_PARAMETERS_KEY, SARNO_INI_PATH_VALUE, "\\??\\" + path);
  EXPECT_EQ(LINK_OK, Word(t.devices, h, IOCTL_SARNO_PINQ, "NONE"));
  std::ifstream f(path, std::ios::binary);
  std::stringstream text;
  text << f.rdbuf();
  EXPECT_NE(std::string::npos, text.str().find("BT_Port: COM2\r\n"
                                               "\t BT_SelHost:  0010A4C0BEEF\r\n"
                                               "\t BT_Selprt:   NONE\r\n"
                                               "\t BT_QueryPrt: 0080372A0003\r\n"
                                               "\t BT_QueryPrt: NONE\r\n"
                                               "\t BT_HostVrsn: HD_v2.31\r\n"))
      << text.str();
  EXPECT_EQ(1u, t.devices.Stats().settings_writes);
  std::remove(path.c_str());
  t.devices.Close(h);
  EXPECT_EQ(0, t.registry.OpenHandles());
}

// A reader thread as the library runs it: one read of at most 255 bytes.
struct Reader {
  std::promise<std::pair<int, std::string>> done;
  std::future<std::pair<int, std::string>> result = done.get_future();
  std::thread thread;
  Reader(simulator::SimulatorDevices& d, DeviceHandle h) {
    thread = std::thread([this, &d, h] {
      char buf[256];
      uint32_t got = 0;
      int ok = d.Read(h, buf, 255, &got);
      done.set_value({ok, std::string(buf, got)});
    });
  }
  ~Reader() { thread.join(); }
  bool Finished() { return result.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }
  std::pair<int, std::string> Get() {
    EXPECT_EQ(std::future_status::ready, result.wait_for(std::chrono::seconds(5)));
    return result.get();
  }
};

bool WaitUntil(const std::function<bool()>& what) {
  for (int i = 0; i < 500; ++i) {
    if (what()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(SimulatorHostTwin, TheReaderBlocksUntilTheDriverHasTextForIt) {
  Twin t("default.txt");
  DeviceHandle h = t.devices.Open("\\\\.\\Sarno0");
  char on[] = "MON_ON";
  uint32_t returned = 0;
  t.devices.Control(h, IOCTL_SARNO_MONITOR, on, 6, on, 6, &returned);
  {
    Reader reader(t.devices, h);
    ASSERT_TRUE(WaitUntil([&] { return t.devices.ReadsPending(0) == 1; }));
    EXPECT_FALSE(reader.Finished());
    EXPECT_EQ(LINK_OK, Word(t.devices, h, IOCTL_SARNO_PCON, "0080372A0001"));
    EXPECT_EQ(std::make_pair(1, std::string("COM1: link state 0x0\r\n")), reader.Get());
  }
  EXPECT_EQ(0, t.devices.ReadsPending(0));
  t.devices.Close(h);
}

TEST(SimulatorHostTwin, TheStopRequestLetsTheReaderLeaveWithNoBytes) {
  Twin t("default.txt");
  DeviceHandle h = t.devices.Open("\\\\.\\Sarno0");
  Reader reader(t.devices, h);
  ASSERT_TRUE(WaitUntil([&] { return t.devices.ReadsPending(0) == 1; }));
  uint32_t v = 0, returned = 0;
  EXPECT_TRUE(t.devices.Control(h, IOCTL_SARNO_STOP_MONITOR, &v, 4, &v, 4, &returned));
  EXPECT_EQ(std::make_pair(1, std::string()), reader.Get());
  t.devices.Close(h);
}

TEST(SimulatorHostTwin, ClosingTheHandleOrTheSafetyLimitFailsABlockedRead) {
  Twin t("default.txt");
  DeviceHandle h = t.devices.Open("\\\\.\\Sarno1");
  {
    Reader reader(t.devices, h);
    ASSERT_TRUE(WaitUntil([&] { return t.devices.ReadsPending(1) == 1; }));
    t.devices.Close(h);
    EXPECT_EQ(0, reader.Get().first);
  }
  EXPECT_EQ(0, t.devices.ReadsPending(1));
  EXPECT_EQ(0, t.devices.OpenHandles());

  h = t.devices.Open("\\\\.\\Sarno1");
  t.devices.SetReadSafetyMs(50);
  char buf[16];
  uint32_t got = 9;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, t.devices.Read(h, buf, sizeof buf, &got));
  EXPECT_EQ(0u, got);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_EQ(0, t.devices.ReadsPending(1));
  t.devices.Close(h);
}

TEST(SimulatorHostTwin, TimedEventsFollowTheClockAlsoWhileTheReaderWaits) {
  Twin t("default.txt");
  DeviceHandle h = t.devices.Open("\\\\.\\Sarno0");
  char on[] = "MON_ON";
  uint32_t returned = 0;
  t.devices.Control(h, IOCTL_SARNO_MONITOR, on, 6, on, 6, &returned);
  ASSERT_EQ(LINK_OK, Word(t.devices, h, IOCTL_SARNO_PCON, "0080372A0001"));
  char buf[256];
  uint32_t got = 0;
  ASSERT_EQ(1, t.devices.Read(h, buf, 255, &got));  // the connect's line

  t.clock.Advance(119999);
  t.devices.Tick();
  EXPECT_EQ(0u, State(t.registry, 1));
  Reader reader(t.devices, h);
  ASSERT_TRUE(WaitUntil([&] { return t.devices.ReadsPending(0) == 1; }));
  t.clock.Advance(1);  // nobody calls Tick: the waiting reader notices the time itself
  EXPECT_EQ(std::make_pair(1, std::string("COM1: link lost\r\nCOM1: link state 0x4\r\n")),
            reader.Get());
  EXPECT_EQ(4u, State(t.registry, 1));
  t.devices.Close(h);
}

TEST(SimulatorHostTwin, AnUnpluggedDongleTakesItsDeviceAndPortTillItIsBackAsNewOnes) {
  Twin t("unplug.txt");  // COM1 out at 30 s, back at 60 s
  simulator::SimulatorSerialPorts ports(t.devices);
  DeviceHandle com1 = t.devices.Open("\\\\.\\Sarno0"), com2 = t.devices.Open("\\\\.\\Sarno1");
  platform::CommHandle serial = ports.Open("COM1");
  ASSERT_NE(platform::InvalidComm(), serial);
  ASSERT_EQ(LINK_OK, Word(t.devices, com1, IOCTL_SARNO_PCON, "0080372A0001"));
  platform::CommState state;
  {
    Reader reader(t.devices, com1);
    ASSERT_TRUE(WaitUntil([&] { return t.devices.ReadsPending(0) == 1; }));
    t.clock.Advance(30000);
    EXPECT_EQ(0, reader.Get().first) << "the waiting read fails";
  }
  EXPECT_EQ(4u, State(t.registry, 1));
  EXPECT_EQ(0xBADu, Word(t.devices, com1, IOCTL_SARNO_GET_COM_INDX, ""));
  char buf[8];
  uint32_t got = 0;
  EXPECT_EQ(0, t.devices.Read(com1, buf, sizeof buf, &got));
  EXPECT_EQ(platform::InvalidDevice(), t.devices.Open("\\\\.\\Sarno0"));
  EXPECT_FALSE(ports.GetState(serial, &state));
  EXPECT_EQ(platform::InvalidComm(), ports.Open("COM1"));
  EXPECT_EQ(LINK_OK, Word(t.devices, com2, IOCTL_SARNO_PCON, "0080372A0003"));

  t.clock.Advance(30000);
  t.devices.Tick();
  EXPECT_EQ(255u, State(t.registry, 1));
  EXPECT_EQ(0xBADu, Word(t.devices, com1, IOCTL_SARNO_PCON, "0080372A0001")) << "still dead";
  EXPECT_FALSE(ports.GetState(serial, &state));
  DeviceHandle again = t.devices.Open("\\\\.\\Sarno0");
  EXPECT_EQ(LINK_OK, Word(t.devices, again, IOCTL_SARNO_PCON, "0080372A0001"));
  platform::CommHandle serialAgain = ports.Open("COM1");
  ASSERT_NE(platform::InvalidComm(), serialAgain) << "the old opener holds nothing";
  ports.Close(serial);
  EXPECT_TRUE(ports.GetState(serialAgain, &state)) << "nor does its late close";
  ports.Close(serialAgain);
  for (DeviceHandle h : {com1, com2, again}) t.devices.Close(h);
  EXPECT_EQ(0, t.devices.OpenHandles());
}

TEST(SimulatorHostTwin, ATestFiresTheNextEventWithoutWaitingForIt) {
  Twin t("unplug.txt");  // COM1 out at 30 s, back at 60 s
  EXPECT_EQ(1, t.devices.FireNextEvent());
  EXPECT_EQ(platform::InvalidDevice(), t.devices.Open("\\\\.\\Sarno0"));
  t.clock.Advance(90000);
  t.devices.Tick();
  EXPECT_EQ(platform::InvalidDevice(), t.devices.Open("\\\\.\\Sarno0")) << "only by hand now";
  EXPECT_EQ(1, t.devices.FireNextEvent());
  DeviceHandle h = t.devices.Open("\\\\.\\Sarno0");
  EXPECT_NE(platform::InvalidDevice(), h);
  EXPECT_EQ(0, t.devices.FireNextEvent());
  t.devices.Close(h);
}

TEST(SimulatorHostTwin, ASecondRequestDuringASlowOneIsCountedAsOverlap) {
  Twin t("slow_requests.txt");
  DeviceHandle h0 = t.devices.Open("\\\\.\\Sarno0");
  DeviceHandle h1 = t.devices.Open("\\\\.\\Sarno1");
  // One request after the other, as the library must send them: no overlap.
  EXPECT_EQ(LINK_OK, Word(t.devices, h0, IOCTL_SARNO_PCON, "0080375E0001"));
  EXPECT_EQ(LINK_OK, Word(t.devices, h1, IOCTL_SARNO_PCON, "0080375E0002"));
  EXPECT_EQ(400u, t.clock.SleptMs());  // each connect was in progress for its 200 ms
  EXPECT_EQ(0u, t.devices.Stats().overlaps);

  t.clock.SetMode(platform::VirtualClock::Mode::Manual);
  // A connect still in progress on COM1 when COM2's device gets a request.
  std::promise<uint32_t> first;
  std::thread slow([&] { first.set_value(Word(t.devices, h0, IOCTL_SARNO_PCON, "NONE")); });
  ASSERT_TRUE(t.clock.WaitForSleepers(1));
  uint32_t index = 255, returned = 0;
  EXPECT_TRUE(t.devices.Control(h1, IOCTL_SARNO_GET_COM_INDX, &index, 4, &index, 4, &returned));
  t.clock.Advance(200);
  slow.join();
  EXPECT_EQ(LINK_DISCONNECTED, first.get_future().get());
  EXPECT_EQ(1u, t.devices.Stats().overlaps);
  t.devices.Close(h0);
  t.devices.Close(h1);
}

TEST(SimulatorHostTwin, SerialPortsExistWhereADongleIsAndAdmitOneOpener) {
  Twin t("every_behaviour.txt");  // dongles in COM1, COM2 (failing) and COM3
  EXPECT_TRUE(t.devices.OpenSerialPort(0));
  EXPECT_FALSE(t.devices.OpenSerialPort(0));  // held
  t.devices.CloseSerialPort(0);
  EXPECT_TRUE(t.devices.OpenSerialPort(0));
  EXPECT_TRUE(t.devices.OpenSerialPort(1));  // a failing dongle still has its port
  EXPECT_FALSE(t.devices.OpenSerialPort(3));
  EXPECT_FALSE(t.devices.OpenSerialPort(-1));
  EXPECT_FALSE(t.devices.OpenSerialPort(4));
  t.devices.CloseSerialPort(0);
  t.devices.CloseSerialPort(1);

  // The setup program's probe through the serial-port seam.
  simulator::SimulatorSerialPorts ports(t.devices);
  platform::CommHandle com3 = ports.Open("COM3");
  ASSERT_NE(platform::InvalidComm(), com3);
  EXPECT_EQ(platform::InvalidComm(), ports.Open("\\\\.\\COM3"));  // one opener
  EXPECT_EQ(platform::InvalidComm(), ports.Open("COM4"));
  EXPECT_EQ(platform::InvalidComm(), ports.Open("COM3:"));
  platform::CommState state;
  ASSERT_TRUE(ports.GetState(com3, &state));
  state.BaudRate = 38400;
  state.fRtsControl = platform::kRtsControlEnable;
  ASSERT_TRUE(ports.SetState(com3, state));
  platform::CommTimeouts timeouts;
  timeouts.ReadTotalTimeoutConstant = 6000;
  ASSERT_TRUE(ports.SetTimeouts(com3, timeouts));
  ports.Close(com3);
  EXPECT_EQ(38400u, ports.State(2).BaudRate);
  EXPECT_EQ(6000u, ports.Timeouts(2).ReadTotalTimeoutConstant);
  EXPECT_FALSE(ports.GetState(com3, &state));  // closed
  EXPECT_FALSE(t.devices.SerialPortOpen(2));
}

}  // namespace
