#include "library/command_steps.h"

#include <cstring>

#include "library/driver_requests.h"
#include "library/read_com.h"

uint32_t ConnectStep(MendalixState& st) {
  uint32_t word = 0;
  MyPCON(st, &word);
  return word;
}

uint32_t QueryStep(MendalixState& st) {
  uint32_t word = 0;
  MyPINQ(st, &word);
  return word;
}

uint32_t ResetStep(MendalixState& st) {
  uint32_t word = 0;
  MyRESET(st, &word);
  return word;
}

int MonitorStep(MendalixState& st) {
  if (strstr(st.m_sPrt, "MON_ON")) {
    StartReader(st);
    return MyMONITOR(st);
  }
  SignalReaderStop(st);
  int ok = MyMONITOR(st);
  WaitReadNotPending(st);
  return ok;
}
