// The printer at the end of a port's link, as btctl and a shop application meet it through
// the serial port: answers to the status, information and confirmation requests, a roll
// that records what was printed, and a printer that stops when its paper or cover says so.
#include <string>

#include "protocol/escpos.h"
#include "tests/simulator/model_world.h"

namespace {

const char kWorld[] =
    "device 0 COM1\n"
    "dongle COM1 0010A4C0FFEE HD_v2.31\n"
    "printer COM1 0080372A0001 accepts\n"
    "printer COM1 0080372A0002 accepts\n"
    "info COM1 0080372A0001 firmware 1.02\n"
    "info COM1 0080372A0001 model RX-80\n"
    "paper COM1 0080372A0002 near-end\n"
    "cover COM1 0080372A0002 open\n"
    "at 10 paper-out COM1 0080372A0001\n"
    "at 20 paper-loaded COM1 0080372A0001\n"
    "at 30 cover-open COM1 0080372A0001\n";

struct Line {
  ModelWorld& w;
  uint32_t Write(const std::string& bytes) {
    return sim_serial_write(&w.model, 0, bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  std::string Answers() {
    char buf[SIM_ANSWER_SIZE];
    return std::string(buf, sim_serial_read(&w.model, 0, buf, sizeof buf));
  }
  std::string Roll() {
    uint32_t len = 0;
    const unsigned char* r = sim_roll(&w.model, 0, &len, nullptr);
    return std::string(reinterpret_cast<const char*>(r), len);
  }
  // The three status bytes (n = 1, 2, 4), as one answer.
  std::string Status() {
    Write(std::string("\x10\x04\x01\x10\x04\x02\x10\x04\x04", 9));
    return Answers();
  }
};

const std::string kConfirm("\x1d(H\x06\x00" "00abcd", 11);
const std::string kConfirmed("\x37\x22" "abcd\x00", 7);

}  // namespace

TEST(SimulatorPrinter, ALinkedPrinterAnswersPrintsAndConfirmsEvenWhenACommandIsSplit) {
  ModelWorld w(kWorld);
  Line line{w};
  EXPECT_EQ(0u, line.Write("before the link")) << "a port whose link is down takes nothing";
  ASSERT_EQ(0u, w.Connect(0, "0080372A0001"));
  EXPECT_EQ(std::string("\x12\x12\x12", 3), line.Status());

  EXPECT_EQ(2u, line.Write(std::string("\x1dI", 2)));  // GS I 65 in two writes
  EXPECT_EQ(1u, line.Write("A"));
  line.Write(std::string("\x1dI\x42", 3));  // no maker given: no answer at all
  line.Write(std::string("\x1dI\x43", 3));
  EXPECT_EQ(std::string("\x5f" "1.02\x00\x5fRX-80\x00", 13), line.Answers());

  const std::string receipt("\x1b@Hello\n\x1b" "d\x03\x1dV\x00", 14);
  line.Write(receipt + kConfirm.substr(0, 6));
  EXPECT_EQ("", line.Answers()) << "no confirmation before the whole request";
  line.Write(kConfirm.substr(6));
  EXPECT_EQ(kConfirmed, line.Answers());
  EXPECT_EQ(receipt, line.Roll()) << "requests are answered, never printed";
  char text[128];
  sim_render_roll(reinterpret_cast<const unsigned char*>(receipt.data()), receipt.size(), text,
                  sizeof text);
  EXPECT_STREQ("[init]Hello\n[feed 3][cut]", text);
  sim_render_roll(reinterpret_cast<const unsigned char*>("\x1b\xff\x01"), 3, text, 8);
  EXPECT_STREQ("[0x1b]", text) << "cut to the buffer, never past it";
}

TEST(SimulatorPrinter, PaperAndCoverStopThePrinterUntilTheyAreSeenTo) {
  ModelWorld w(kWorld);
  Line line{w};
  ASSERT_EQ(0u, w.Connect(0, "0080372A0002"));
  // near its end (bits 2-3 of n = 4) and cover open: offline, cause cover
  EXPECT_EQ(std::string("\x1a\x16\x1e", 3), line.Status());
  ASSERT_EQ(0u, w.Connect(0, "0080372A0001"));

  sim_tick(&w.model, 10000);  // paper out
  EXPECT_EQ(std::string("\x1a\x32\x7e", 3), line.Status());
  EXPECT_EQ(kConfirm.size() + 5, line.Write("lost\n" + kConfirm));
  EXPECT_EQ("", line.Answers()) << "a stopped printer confirms nothing";
  EXPECT_EQ("", line.Roll());

  sim_tick(&w.model, 20000);  // paper loaded
  line.Write("kept\n" + kConfirm);
  EXPECT_EQ(kConfirmed, line.Answers());
  sim_tick(&w.model, 30000);  // cover open
  EXPECT_EQ(std::string("\x1a\x16\x12", 3), line.Status());
  line.Write("lost too");
  EXPECT_EQ("kept\n", line.Roll());

  w.Connect(0, "NULL");
  EXPECT_EQ(0u, line.Write(std::string("\x10\x04\x01", 3)));
  EXPECT_EQ("", line.Answers());
}

TEST(SimulatorPrinter, ALongRunKeepsTheLatestHalfOfTheRollAndAFloodOfRequestsCannotOverrun) {
  ModelWorld w(kWorld);
  Line line{w};
  ASSERT_EQ(0u, w.Connect(0, "0080372A0001"));
  std::string lots(SIM_ROLL_SIZE + 100, 'x');
  lots.back() = 'y';
  line.Write(lots);
  std::string roll = line.Roll();
  EXPECT_EQ(SIM_ROLL_SIZE / 2 + 100u, roll.size());
  EXPECT_EQ('y', roll.back());
  std::string asks;
  for (int i = 0; i < 300; ++i) asks += std::string("\x10\x04\x01", 3);
  line.Write(asks);
  EXPECT_EQ(std::string(SIM_ANSWER_SIZE, '\x12'), line.Answers());
}

TEST(SimulatorPrinter, SerialTimeOutsAreHonouredAsTheCallerSetThem) {
  sim_timeouts at_once{0xFFFFFFFFu, 0, 0, 0, 0}, any_byte{0xFFFFFFFFu, 0xFFFFFFFFu, 500, 0, 0};
  sim_timeouts total{0, 10, 100, 2, 300}, none{};
  EXPECT_EQ(0u, sim_read_wait_ms(&at_once, 8));
  EXPECT_EQ(500u, sim_read_wait_ms(&any_byte, 8));
  EXPECT_TRUE(sim_read_ends(&any_byte, 1, 8));
  EXPECT_EQ(180u, sim_read_wait_ms(&total, 8));
  EXPECT_FALSE(sim_read_ends(&total, 1, 8)) << "no interval: the read waits for all 8";
  EXPECT_EQ(316u, sim_write_wait_ms(&total, 8));
  EXPECT_EQ(SIM_WAIT_FOREVER, sim_read_wait_ms(&none, 8));
  EXPECT_EQ(SIM_WAIT_FOREVER, sim_write_wait_ms(&none, 8));
}
