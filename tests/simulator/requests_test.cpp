// The six requests as the library sends them, answered per scenario.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/simulator/model_world.h"

namespace {

const char kEveryBehaviour[] =
    "device 0 COM1\n"
    "device 1 COM2\n"
    "device 2 index 9\n"
    "dongle COM1 0012000000C1 HD_v3.02\n"
    "dongle COM2 fails\n"
    "printer COM1 0080373C0001 accepts\n"
    "printer COM1 0080373C0002 refuses\n"
    "printer COM1 0080373C0003 no-answer-back\n"
    "printer COM1 0080373C0004 mainboard-unsupported\n"
    "printer COM1 0080373C0005 refuses-first\n";

TEST(SimulatorRequests, LibraryStartUpLearnsWhichPortEachDeviceServes) {
  // Device numbers are not COM numbers: device 0 serves COM2 here.
  ModelWorld w("device 0 COM2\ndevice 1 COM1\ndevice 3 index 200\n"
               "dongle COM1 0011000000A1 HD_v1.00\ndongle COM2 0011000000A2 HD_v1.00\n");
  EXPECT_EQ(1u, w.ComIndex(0));
  EXPECT_EQ(0u, w.ComIndex(1));
  EXPECT_EQ(200u, w.ComIndex(3));  // the library has to cope with an index outside 0-3
  EXPECT_EQ(0xDEADu, w.ComIndex(2));  // no such device

  uint32_t small = 0, returned = 7;
  EXPECT_EQ(SIM_BAD_BUFFER,
            sim_request(&w.model, 0, IOCTL_SARNO_GET_COM_INDX, &small, 2, &small, 2, &returned));
  EXPECT_EQ(0u, returned);

  // Then the library switches monitoring on for each device; the text is echoed back.
  EXPECT_EQ(1, w.Monitor(0, "MON_ON"));
  EXPECT_EQ(1, w.Monitor(1, "MON_ON"));
  EXPECT_TRUE(w.model.device[0].monitor_on);
  EXPECT_FALSE(w.model.device[3].monitor_on);
  EXPECT_EQ(SIM_NO_DEVICE, sim_request(&w.model, 2, IOCTL_SARNO_MONITOR, "MON_ON", 6,
                                       nullptr, 0, nullptr));
  EXPECT_EQ(2u, w.model.stats.requests[SIM_REQ_MONITOR]);
  EXPECT_EQ(4u, w.model.stats.requests[SIM_REQ_COM_INDEX]);  // the refused one too
}

TEST(SimulatorRequests, ConnectAnswersAsEachPrinterBehaves) {
  ModelWorld w(kEveryBehaviour);
  EXPECT_EQ(LINK_OK, w.Connect(0, "0080373C0001"));
  EXPECT_EQ(LINK_OK, w.Connect(0, "0080373C0001"));  // already connected: no change
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, w.Connect(0, "0080373C0002"));
  EXPECT_EQ(LINK_ANSWER_BACK_FAILED, w.Connect(0, "0080373C0003"));
  EXPECT_EQ(LINK_MAINBOARD_UNSUPPORTED, w.Connect(0, "0080373C0004"));
  // The flaky one refuses its first attempt only, as the library's one retry expects.
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, w.Connect(0, "0080373C0005"));
  EXPECT_EQ(LINK_OK, w.Connect(0, "0080373C0005"));
  EXPECT_STREQ("0080373C0005", w.model.port[0].connected_to);
  EXPECT_EQ(LINK_DISCONNECTED, w.Connect(0, "NONE"));
  EXPECT_STREQ("", w.model.port[0].connected_to);

  // Every change of the port's state was published once, in order.
  EXPECT_EQ((States{{0, 0u}, {0, 0x20u}, {0, 0x40u}, {0, 0x100u}, {0, 0x20u}, {0, 0u}, {0, 4u}}),
            w.states);
}

TEST(SimulatorRequests, ConnectToAnAddressNotInRangeFailsAndNullDropsTheLink) {
  ModelWorld w(kEveryBehaviour);
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, w.Connect(0, "0080373CFFFF"));
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, w.Connect(0, ""));
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, w.Connect(0, "0080373C000"));  // a prefix is not a match
  EXPECT_EQ(LINK_OK, w.Connect(0, "0080373C0001"));
  EXPECT_EQ(LINK_DISCONNECTED, w.Connect(0, "NULL"));
  EXPECT_EQ(LINK_DISCONNECTED, sim_link_state(&w.model, 0));
  EXPECT_EQ((States{{0, 0x20u}, {0, 0u}, {0, 4u}}), w.states);
}

TEST(SimulatorRequests, AFailingDongleFailsEveryRequestWith0x10) {
  ModelWorld w(kEveryBehaviour);
  EXPECT_EQ(LINK_HOST_DONGLE_FAILED, w.Connect(1, "0080373C0001"));
  EXPECT_EQ(LINK_HOST_DONGLE_FAILED, w.Query(1));
  EXPECT_EQ(LINK_HOST_DONGLE_FAILED, w.Reset(1));
  EXPECT_TRUE(w.files.empty());  // the query wrote no findings
  EXPECT_EQ(LINK_HOST_DONGLE_FAILED, sim_link_state(&w.model, 1));
  // A device that reports an index outside 0-3 serves no port: nothing can work there.
  EXPECT_EQ(LINK_HOST_DONGLE_FAILED, w.Connect(2, "0080373C0001"));
  EXPECT_EQ(LINK_HOST_DONGLE_FAILED, w.Query(2));
  EXPECT_EQ((States{{1, 0x10u}}), w.states);
}

TEST(SimulatorRequests, ResetDropsALiveLinkAndLeavesAnIdlePortAlone) {
  ModelWorld w(kEveryBehaviour);
  EXPECT_EQ(LINK_OK, w.Reset(0));
  EXPECT_EQ(LINK_STATE_NONE, sim_link_state(&w.model, 0));
  EXPECT_EQ(LINK_OK, w.Connect(0, "0080373C0001"));
  EXPECT_EQ(LINK_OK, w.Reset(0));
  EXPECT_EQ(LINK_DISCONNECTED, sim_link_state(&w.model, 0));
  EXPECT_EQ((States{{0, 0u}, {0, 4u}}), w.states);
}

TEST(SimulatorRequests, ResultRequestsNeedRoomForTheWordAndTakeTheTextFromTheSharedBuffer) {
  ModelWorld w(kEveryBehaviour);
  // METHOD_BUFFERED: the address comes in the same buffer the word goes out in.
  char buf[SIM_COMMAND_SIZE] = "0080373C0001";
  uint32_t returned = 0;
  ASSERT_EQ(SIM_DONE, sim_request(&w.model, 0, IOCTL_SARNO_PCON, buf, 12, buf, sizeof buf,
                                  &returned));
  uint32_t word;
  std::memcpy(&word, buf, 4);
  EXPECT_EQ(LINK_OK, word);
  EXPECT_EQ(4u, returned);

  uint32_t tiny = 0;
  EXPECT_EQ(SIM_BAD_BUFFER, sim_request(&w.model, 0, IOCTL_SARNO_PCON, "NONE", 4, &tiny, 3,
                                        &returned));
  EXPECT_EQ(0u, returned);
  EXPECT_EQ(LINK_OK, sim_link_state(&w.model, 0));  // the refused request changed nothing
  EXPECT_EQ(SIM_BAD_REQUEST, sim_request(&w.model, 0, 0x10012144u, "x", 1, buf, 4, &returned));
}

TEST(SimulatorRequests, AnOverlongCommandTextIsCutWithoutOverrun) {
  ModelWorld w(kEveryBehaviour);
  std::string longText(1000, 'A');
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, w.Connect(0, longText));
  const sim_log_entry* last = sim_log_at(&w.model, sim_log_length(&w.model) - 1);
  ASSERT_NE(nullptr, last);
  EXPECT_EQ(std::string(SIM_LOG_TEXT_SIZE - 1, 'A'), last->text);
  // The echo of the monitor request never writes past the output buffer.
  char out[8];
  std::memset(out, '#', sizeof out);
  uint32_t returned = 0;
  ASSERT_EQ(SIM_DONE, sim_request(&w.model, 0, IOCTL_SARNO_MONITOR, longText.data(), 1000, out,
                                  6, &returned));
  EXPECT_EQ(6u, returned);
  EXPECT_EQ('#', out[6]);
}

TEST(SimulatorRequests, TheLogRemembersWhatTheDriverReceivedInOrder) {
  ModelWorld w(kEveryBehaviour);
  w.ComIndex(0);
  w.Monitor(0, "MON_ON");
  w.Connect(0, "0080373C0002");
  w.Query(0);
  ASSERT_EQ(4u, sim_log_length(&w.model));
  EXPECT_EQ(IOCTL_SARNO_GET_COM_INDX, sim_log_at(&w.model, 0)->code);
  EXPECT_STREQ("MON_ON", sim_log_at(&w.model, 1)->text);
  EXPECT_EQ(IOCTL_SARNO_PCON, sim_log_at(&w.model, 2)->code);
  EXPECT_EQ(LINK_PRINTER_CONN_FAILED, sim_log_at(&w.model, 2)->result);
  EXPECT_STREQ("NONE", sim_log_at(&w.model, 3)->text);
  EXPECT_EQ(nullptr, sim_log_at(&w.model, 4));

  // A long session keeps the newest entries.
  for (int i = 0; i < 100; ++i) w.Reset(0);
  EXPECT_EQ(static_cast<uint32_t>(SIM_LOG_SIZE), sim_log_length(&w.model));
  EXPECT_EQ(IOCTL_SARNO_RESET, sim_log_at(&w.model, 0)->code);
}

TEST(SimulatorRequests, RequestsArrivingWhileAnotherIsInProgressAreCounted) {
  ModelWorld w("device 0 COM1\ndevice 1 COM2\ndongle COM1 0014000000E1 HD_v2.00\n"
               "busy connect 200\nbusy query 300\n");
  EXPECT_EQ(200u, sim_busy_ms(&w.model, IOCTL_SARNO_PCON));
  EXPECT_EQ(300u, sim_busy_ms(&w.model, IOCTL_SARNO_PINQ));
  EXPECT_EQ(0u, sim_busy_ms(&w.model, IOCTL_SARNO_RESET));
  // One after the other: no overlap, however many.
  for (int i = 0; i < 3; ++i) {
    sim_enter(&w.model);
    sim_leave(&w.model);
  }
  EXPECT_EQ(0u, w.model.stats.overlaps);
  // A connect on COM2's device while COM1's query is still running counts once.
  sim_enter(&w.model);
  sim_enter(&w.model);
  sim_leave(&w.model);
  sim_leave(&w.model);
  EXPECT_EQ(1u, w.model.stats.overlaps);
  sim_leave(&w.model);  // an unmatched leave does not make the next request look overlapped
  sim_enter(&w.model);
  sim_leave(&w.model);
  EXPECT_EQ(1u, w.model.stats.overlaps);
}

}  // namespace
