#include "library/driver_requests.h"

#include <cstring>

#include "protocol/driver_protocol.h"

namespace {

uint32_t TextLength(const char* text) { return static_cast<uint32_t>(strnlen(text, kTextSize - 1)); }

int SendWithResultWord(MendalixState& st, uint32_t code, uint32_t* resultWord) {
  uint32_t got = 0;
  return st.dev.Control(st.hCtrlDevice, code, st.m_sPrt, TextLength(st.m_sPrt), resultWord,
                        sizeof(*resultWord), &got);
}

}  // namespace

int MyPCON(MendalixState& st, uint32_t* resultWord) {
  return SendWithResultWord(st, IOCTL_SARNO_PCON, resultWord);
}

int MyPINQ(MendalixState& st, uint32_t* resultWord) {
  return SendWithResultWord(st, IOCTL_SARNO_PINQ, resultWord);
}

int MyRESET(MendalixState& st, uint32_t* resultWord) {
  return SendWithResultWord(st, IOCTL_SARNO_RESET, resultWord);
}

int MyMONITOR(MendalixState& st) {
  // The driver echoes the command into the same buffer, at most the text's length, so the
  // text and its terminator stay intact.
  uint32_t len = TextLength(st.m_sPrt);
  uint32_t got = 0;
  return st.dev.Control(st.hCtrlDevice, IOCTL_SARNO_MONITOR, st.m_sPrt, len, st.m_sPrt, len, &got);
}

int MyGetComIndx(MendalixState& st, platform::DeviceHandle h, uint32_t* comIndex) {
  *comIndex = 255;
  uint32_t got = 0;
  return st.dev.Control(h, IOCTL_SARNO_GET_COM_INDX, comIndex, sizeof(*comIndex), comIndex,
                        sizeof(*comIndex), &got);
}

int MyStopMonitor(MendalixState& st, platform::DeviceHandle h) {
  uint32_t scratch = 0;
  uint32_t got = 0;
  return st.dev.Control(h, IOCTL_SARNO_STOP_MONITOR, &scratch, sizeof(scratch), &scratch,
                        sizeof(scratch), &got);
}
