// btctl print-test and health as a technician meets them: the simulated driver's twin with a
// printer at the end of COM1's link, the settings file that binds it, a virtual clock; and
// printers that answer garbage or flood the line, behind a fake serial line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/host/memory_registry.h"
#include "tests/btctl/captured_output.h"
#include "settings/settings.h"
#include "simulator/host/simulator_devices.h"
#include "simulator/host/simulator_serial_ports.h"
#include "tests/support/virtual_clock.h"
#include "tools/btctl/health_command.h"
#include "tools/btctl/print_test_command.h"

namespace {
namespace fs = std::filesystem;

const char kWorld[] =
    "device 0 COM1\n"
    "dongle COM1 0010A4C0FFEE HD_v2.31\n"
    "dongle COM2 0010A4C0BEEF HD_v2.31\n"
    "printer COM1 0080372A0001 accepts\n"
    "info COM1 0080372A0001 firmware 1.02\n"
    "at 60 paper-near-end COM1 0080372A0001\n"
    "at 120 paper-out COM1 0080372A0001\n"
    "at 180 paper-loaded COM1 0080372A0001\n"
    "at 181 cover-open COM1 0080372A0001\n";

void Versions(char* library, char* driver, size_t size) {
  snprintf(library, size, "Mendalix.dll 1.0.0.4");
  snprintf(driver, size, "Sarnovek.sys 2.3.0.0");
}
void When(char* out, size_t size) { snprintf(out, size, "2026-12-08 17:00:00"); }

// A printer behind a fake line: each write gets answer(bytes) back on the next reads.
struct FakeLine : platform::SerialLineApi {
  std::function<std::string(const std::string&)> answer;
  std::string pending;
  platform::CommHandle OpenLine(const char*, platform::LineOpen* r) override {
    *r = platform::LineOpen::kOpened;
    return reinterpret_cast<platform::CommHandle>(0x10);
  }
  int SetLineTimeouts(platform::CommHandle, const platform::CommTimeouts&) override { return 1; }
  int PurgeLine(platform::CommHandle) override { return 1; }
  int WriteLine(platform::CommHandle, const void* d, uint32_t len, uint32_t* n) override {
    pending += answer(std::string(static_cast<const char*>(d), len));
    *n = len;
    return 1;
  }
  int ReadLine(platform::CommHandle, void* buf, uint32_t len, uint32_t* got) override {
    *got = static_cast<uint32_t>(std::min<size_t>(len, pending.size()));
    std::memcpy(buf, pending.data(), *got);
    pending.erase(0, *got);
    return 1;
  }
  void CloseLine(platform::CommHandle) override { ++closed; }
  int closed = 0;
};

class Printer : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_);
    registry.PutString(SARNO_PARAMETERS_KEY, "BTiniPath", "\\??\\" + ini);
    std::string error;
    ASSERT_TRUE(simulator::ParseScenario(kWorld, &scenario_, &error)) << error;
    devices = std::make_unique<simulator::SimulatorDevices>(scenario_, registry, clock);
    ports = std::make_unique<simulator::SimulatorSerialPorts>(*devices);
    Settings s;
    LoadSetting(s, ini.c_str());
    CopyField(s.Port[0].Selprt, "0080372A0001");
    ASSERT_TRUE(OnSaveSetting(s, ini.c_str()));
  }
  void TearDown() override { fs::remove_all(dir_); }
  uint32_t Connect(const char* address) {
    platform::DeviceHandle h = devices->Open("\\\\.\\Sarno0");
    uint32_t word = 0xDEAD, n = 0;
    devices->Control(h, IOCTL_SARNO_PCON, address, static_cast<uint32_t>(strlen(address)), &word, 4, &n);
    devices->Close(h);
    return word;
  }
  // Runs a command with the seams; its exit status, what it printed in out and err.
  int Run(std::function<int(const PrinterSeams&)> command, platform::SerialLineApi* line = nullptr) {
    FILE *o = tmpfile(), *e = tmpfile();
    PrinterSeams seams{line ? line : ports.get(), clock, registry, stop, o, e, Versions, When};
    const uint64_t start = clock.NowMs();
    int code = command(seams);
    tookMs = clock.NowMs() - start;
    out = Text(o);
    err = Text(e);
    return code;
  }
  int PrintTest(const char* port, platform::SerialLineApi* line = nullptr) {
    return Run([port](const PrinterSeams& s) { return RunPrintTest(port, s); }, line);
  }
  int Health(const char* port, platform::SerialLineApi* line = nullptr) {
    return Run([port](const PrinterSeams& s) { return RunHealth(port, true, s); }, line);
  }

  fs::path dir_ = fs::temp_directory_path() / ("btctl_printer_" + std::to_string(getpid()));
  std::string ini = (dir_ / "Quorvex.ini").string(), out, err;
  platform::MemoryRegistry registry;
  platform::VirtualClock clock;
  std::atomic<int> stop{0};
  sim_scenario scenario_{};
  std::unique_ptr<simulator::SimulatorDevices> devices;
  std::unique_ptr<simulator::SimulatorSerialPorts> ports;
  uint64_t tookMs = 0;
};

}  // namespace

TEST_F(Printer, PrintTestPrintsTheReceiptOnlyOnAPrinterThatCanAndSaysWhyNot) {
  ASSERT_EQ(0u, Connect("0080372A0001"));
  ASSERT_EQ(0, PrintTest("COM1")) << err;
  uint8_t receipt[kReceiptSize];
  size_t n = BuildTestReceipt("COM1", "0080372A0001", "2026-12-08 17:00:00", "Mendalix.dll 1.0.0.4",
                              "Sarnovek.sys 2.3.0.0", receipt, sizeof receipt);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(receipt), n), devices->Roll(0));
  EXPECT_EQ("COM1: test receipt printed on 0080372A0001 (" + std::to_string(n) +
                " bytes, confirmed in 0 ms)\n", out);
  EXPECT_NE(std::string::npos, devices->Roll(0, true).find("[init][centre][bold]TEST RECEIPT\n"));

  clock.Sleep(120000);  // paper out
  EXPECT_EQ(1, PrintTest("COM1"));
  EXPECT_EQ("COM1: paper out; nothing was sent\n", err);
  clock.Sleep(61000);   // paper loaded, then the cover opened
  EXPECT_EQ(1, PrintTest("COM1"));
  EXPECT_EQ("COM1: cover open; nothing was sent\n", err);
  EXPECT_EQ(n, devices->Roll(0).size());

  platform::CommHandle held = ports->Open("COM1");  // the setup program probing the port
  EXPECT_EQ(2, PrintTest("COM1"));
  EXPECT_EQ("COM1 is in use by another program; nothing was sent\n", err);
  platform::CommState state;
  EXPECT_EQ(1, ports->GetState(held, &state)) << "the other program's handle still works";
  ports->Close(held);

  Connect("NULL");
  EXPECT_EQ(1, PrintTest("COM1"));
  EXPECT_LT(tookMs, 3000u);
  EXPECT_EQ("no answer from the printer on COM1 (the port took nothing: its link is down); "
            "nothing was sent\n", err);
  EXPECT_EQ(2, PrintTest("COM9"));
  EXPECT_EQ(2, PrintTest("COM3"));
  EXPECT_EQ("", out);
  EXPECT_EQ(n, devices->Roll(0).size());
}

TEST_F(Printer, HealthTellsEachStateAsOneJsonObject) {
  ASSERT_EQ(0u, Connect("0080372A0001"));
  EXPECT_EQ(0, Health("COM1"));
  EXPECT_EQ("{\"port\":\"COM1\",\"printer\":\"0080372A0001\",\"asked\":true,\"answered\":true,"
            "\"online\":true,\"online_ms\":0,\"paper\":\"ok\",\"paper_ms\":0,\"cover\":\"closed\","
            "\"error\":false,\"cover_ms\":0,\"firmware\":\"1.02\",\"firmware_ms\":0,"
            "\"maker\":\"unsupported\",\"maker_ms\":500,\"model\":\"unsupported\",\"model_ms\":500,"
            "\"can_print\":true}\n", out);
  clock.Sleep(60000);
  EXPECT_EQ(0, Health("COM1")) << "paper near its end is a warning";
  EXPECT_NE(std::string::npos, out.find("\"paper\":\"near-end\""));
  clock.Sleep(60000);
  EXPECT_EQ(1, Health("COM1"));
  EXPECT_NE(std::string::npos, out.find("\"online\":false,\"online_ms\":0,\"paper\":\"out\""));
  EXPECT_NE(std::string::npos, out.find("\"firmware\":null"));
  Connect("NULL");
  EXPECT_EQ(2, Health("COM1"));
  EXPECT_EQ("{\"port\":\"COM1\",\"printer\":\"0080372A0001\",\"asked\":false,\"answered\":false,"
            "\"problem\":\"the port took nothing: its link is down\",\"can_print\":false}\n", out);
}

TEST_F(Printer, APrinterThatAnswersGarbageOrFloodsTheLineEndsInTimeWithOneLine) {
  FakeLine garbage;
  garbage.answer = [](const std::string&) { return std::string("\xff\x80\x01", 3); };
  EXPECT_EQ(1, PrintTest("COM1", &garbage));
  EXPECT_EQ("no answer from the printer on COM1; nothing was sent\n", err);
  EXPECT_EQ(1, garbage.closed);

  FakeLine flood;
  flood.answer = [](const std::string&) { return std::string(100000, '\0'); };
  EXPECT_EQ(1, Health("COM1", &flood));
  EXPECT_LE(tookMs, 600u);
  EXPECT_EQ("COM1: no answer from the printer\n", err);

  // Answers the status, and information full of quotes and control bytes.
  FakeLine odd;
  odd.answer = [](const std::string& asked) {
    if (asked[0] == 0x10) return std::string("\x12", 1);
    return asked[2] == 65 ? std::string("\x5f\"a\\\x01\xe9\x00", 7) : std::string();
  };
  EXPECT_EQ(0, Health("COM1", &odd));
  EXPECT_NE(std::string::npos, out.find("\"firmware\":\"\\\"a\\\\\\u0001\\u00e9\""));
  EXPECT_EQ(1, PrintTest("COM1", &odd));
  EXPECT_NE(std::string::npos, err.find("but the printer did not confirm that it printed them"));
  stop = 1;  // Ctrl-C
  EXPECT_EQ(1, PrintTest("COM1", &odd));
  EXPECT_EQ("COM1: stopped; nothing was sent\n", err);
  EXPECT_EQ(3, odd.closed) << "the port is closed on every way out";
}
