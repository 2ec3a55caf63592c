// Monitor text, reads that wait for it, the stop request, and the timed events.
#include <string>
#include <utility>
#include <vector>

#include "tests/simulator/model_world.h"

namespace {

const char kTwoPorts[] =
    "device 0 COM1\n"
    "device 1 COM2\n"
    "dongle COM1 0010A4C0FFEE HD_v2.31\n"
    "dongle COM2 0010A4C0BEEF HD_v2.31\n"
    "printer COM1 0080372A0001 accepts\n"
    "printer COM1 0080372A0002 accepts\n"
    "printer COM2 0080372A0003 accepts\n"
    "at 10 leave COM1 0080372A0001\n"
    "at 20 return COM1 0080372A0001\n"
    "at 1500ms drop COM2\n";

TEST(SimulatorMonitor, TheReaderWaitsUntilAStateChangeGivesItALine) {
  ModelWorld w(kTwoPorts);
  ASSERT_EQ(1, w.Monitor(0, "MON_ON"));
  EXPECT_EQ("pending", w.Read(0));  // nothing to say yet
  EXPECT_FALSE(sim_read_ready(&w.model, 0));
  EXPECT_EQ("pending", w.TakeRead(0));

  EXPECT_EQ(LINK_OK, w.Connect(0, "0080372A0001"));
  EXPECT_EQ(std::vector<int>{0}, w.readyDevices);  // the shell is told to complete the read
  EXPECT_TRUE(sim_read_ready(&w.model, 0));
  EXPECT_EQ("COM1: link state 0x0\r\n", w.TakeRead(0));
  EXPECT_EQ(0, w.model.device[0].reads_pending);

  // Text that arrives with no read waiting is kept for the next one.
  EXPECT_EQ(LINK_DISCONNECTED, w.Connect(0, "NONE"));
  EXPECT_EQ("COM1: link state 0x4\r\n", w.Read(0));
}

TEST(SimulatorMonitor, OnlyAMonitoringDeviceOfThePortGetsText) {
  ModelWorld w(kTwoPorts);
  w.Monitor(0, "xx MON_ON yy");  // the text only has to contain it
  w.Monitor(1, "MON_OFF");
  w.Connect(1, "0080372A0003");
  EXPECT_EQ("pending", w.Read(1));
  EXPECT_EQ("pending", w.Read(0));  // COM2's change is no news for COM1's device
  w.Connect(0, "0080372A0002");
  EXPECT_EQ("COM1: link state 0x0\r\n", w.TakeRead(0));

  // Switching off stops new text; what was queued stays readable.
  w.Connect(0, "NONE");
  w.Monitor(0, "MON_");
  w.Connect(0, "0080372A0002");
  EXPECT_EQ("COM1: link state 0x4\r\n", w.Read(0));
  EXPECT_EQ("pending", w.Read(0));
}

TEST(SimulatorMonitor, StopRequestCompletesThePendingReadWithNoBytes) {
  ModelWorld w(kTwoPorts);
  w.Monitor(0, "MON_ON");
  EXPECT_EQ("pending", w.Read(0));
  w.StopMonitor(0);
  EXPECT_EQ(std::vector<int>{0}, w.readyDevices);
  EXPECT_EQ("", w.TakeRead(0));
  EXPECT_EQ(0, w.model.device[0].reads_pending);
  // The stop is used up: a new read waits again.
  EXPECT_EQ("pending", w.Read(0));
}

TEST(SimulatorMonitor, StopBeforeTheReaderEntersItsReadStillLetsItLeave) {
  // The library sets its stop flag and sends the stop request; its reader may be just about
  // to call ReadFile. That read must not block for ever.
  ModelWorld w(kTwoPorts);
  w.StopMonitor(0);
  EXPECT_EQ("", w.Read(0));
  EXPECT_EQ("pending", w.Read(0));
}

TEST(SimulatorMonitor, TwoWaitingReadersAreBothReleasedByOneStop) {
  // A second monitor start without a stop runs a second reader on the same device.
  ModelWorld w(kTwoPorts);
  EXPECT_EQ("pending", w.Read(0));
  EXPECT_EQ("pending", w.Read(0));
  w.StopMonitor(0);
  EXPECT_EQ("", w.TakeRead(0));
  EXPECT_EQ("", w.TakeRead(0));
  EXPECT_EQ("pending", w.TakeRead(0));  // nothing left to complete
}

TEST(SimulatorMonitor, ACancelledReadIsForgotten) {
  ModelWorld w(kTwoPorts);
  w.Monitor(0, "MON_ON");
  EXPECT_EQ("pending", w.Read(0));
  sim_cancel_read(&w.model, 0);
  EXPECT_EQ(0, w.model.device[0].reads_pending);
  w.Connect(0, "0080372A0001");
  EXPECT_TRUE(w.readyDevices.empty());  // no read waits for this line
  EXPECT_EQ("COM1: link state 0x0\r\n", w.Read(0));
}

TEST(SimulatorMonitor, ALongQueueDropsNewLinesInsteadOfOverrunning) {
  ModelWorld w(kTwoPorts);
  w.Monitor(0, "MON_ON");
  for (int i = 0; i < 100; ++i) {
    w.Connect(0, "0080372A0001");
    w.Connect(0, "NONE");
  }
  EXPECT_LE(w.model.device[0].text_len, static_cast<size_t>(SIM_MONITOR_SIZE));
  EXPECT_GT(w.model.stats.monitor_dropped, 0u);
  // Reads of 255 bytes drain the queue in order, line pieces and all.
  std::string all;
  for (std::string piece = w.Read(0); piece != "pending"; piece = w.Read(0)) {
    EXPECT_LE(piece.size(), 255u);
    all += piece;
  }
  EXPECT_EQ(0u, all.rfind("COM1: link state 0x0\r\nCOM1: link state 0x4\r\n", 0));
  EXPECT_EQ(w.model.device[0].text_len, 0u);
}

TEST(SimulatorEvents, APrinterLeavingRangeDropsItsLinkAndComesBackLater) {
  ModelWorld w(kTwoPorts, 5000);  // the shell's clock need not start at 0
  w.Monitor(0, "MON_ON");
  ASSERT_EQ(LINK_OK, w.Connect(0, "0080372A0001"));
  w.Read(0);
  sim_tick(&w.model, 5000 + 9999);
  EXPECT_EQ(LINK_OK, sim_link_state(&w.model, 0));
  sim_tick(&w.model, 5000 + 10000);
  EXPECT_EQ(LINK_DISCONNECTED, sim_link_state(&w.model, 0));
  EXPECT_EQ("COM1: printer 0080372A0001 out of range\r\nCOM1: link state 0x4\r\n", w.Read(0));
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, w.Connect(0, "0080372A0001"));
  sim_tick(&w.model, 5000 + 20000);
  EXPECT_EQ(LINK_OK, w.Connect(0, "0080372A0001"));
  EXPECT_EQ((States{{0, 0u}, {0, 4u}, {0, 0x20u}, {0, 0u}}), w.states);
}

TEST(SimulatorEvents, ALinkDropOnlyChangesAConnectedPort) {
  ModelWorld w(kTwoPorts);
  sim_tick(&w.model, 1499);
  sim_tick(&w.model, 1500);  // COM2 is idle: the drop changes nothing
  EXPECT_EQ(LINK_STATE_NONE, sim_link_state(&w.model, 1));

  ModelWorld connected(kTwoPorts);
  connected.Connect(1, "0080372A0003");
  sim_tick(&connected.model, 100);
  EXPECT_EQ(LINK_OK, sim_link_state(&connected.model, 1));
  sim_tick(&connected.model, 60000);  // one late tick fires everything that is due, in order
  EXPECT_EQ(LINK_DISCONNECTED, sim_link_state(&connected.model, 1));
  EXPECT_EQ(connected.scenario.event_count, connected.model.next_event);
  sim_tick(&connected.model, 1000);  // a clock that steps back is ignored
  EXPECT_EQ(60000u, connected.model.now_ms);
}

TEST(SimulatorEvents, ATestFiresTheNextEventNowAndFromThenOnTimeFiresNone) {
  ModelWorld w(kTwoPorts, 5000);
  ASSERT_EQ(LINK_OK, w.Connect(1, "0080372A0003"));
  ASSERT_EQ(LINK_OK, w.Connect(0, "0080372A0001"));
  EXPECT_EQ(1, sim_fire_next(&w.model, 5100));  // COM2's drop, due at 1.5 s
  EXPECT_EQ(LINK_DISCONNECTED, sim_link_state(&w.model, 1));
  sim_tick(&w.model, 5000 + 60000);  // the leave was due at 10 s
  EXPECT_EQ(LINK_OK, sim_link_state(&w.model, 0));
  EXPECT_EQ(1, sim_fire_next(&w.model, 5000 + 60000));
  EXPECT_EQ(LINK_DISCONNECTED, sim_link_state(&w.model, 0));
  EXPECT_EQ(1, sim_fire_next(&w.model, 5000 + 60000));  // the return
  EXPECT_EQ(LINK_OK, w.Connect(0, "0080372A0001"));
  EXPECT_EQ(0, sim_fire_next(&w.model, 5000 + 60000)) << "none left";
}

TEST(SimulatorEvents, PublishingAllStatesAtStartReplacesStaleValues) {
  ModelWorld w(kTwoPorts);
  sim_publish_states(&w.model);
  EXPECT_EQ((States{{0, 255u}, {1, 255u}, {2, 255u}, {3, 255u}}), w.states);
}

}  // namespace
