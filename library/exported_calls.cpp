#include "library/exported_calls.h"

#include <cstring>

#include "library/driver_requests.h"
#include "library/port_map.h"
#include "library/read_com.h"
#include "platform/memory.h"

namespace {

// Narrows a BSTR by its low bytes up to the first NUL unit, cut to what fits and to what can
// be read: a text that only looked like a VARIANT carries a stray pointer here.
void NarrowBstr(char (&out)[kTextSize], const uint16_t* bstr) {
  const size_t units =
      platform::ReadableBytes(bstr, (kTextSize - 1) * sizeof(uint16_t)) / sizeof(uint16_t);
  size_t n = 0;
  for (; n < units && bstr[n] != 0; ++n) out[n] = static_cast<char>(bstr[n] & 0xFF);
  out[n] = '\0';
}

// True when arg starts with the type word VT_BSTR. Read a byte at a time: a narrow text may
// be a single NUL, and its second byte exists only when the first is not NUL.
bool HoldsBstr(const void* arg) {
  const unsigned char* p = static_cast<const unsigned char*>(arg);
  return p && p[0] == (kVtBstr & 0xFF) && p[1] == (kVtBstr >> 8);
}

// Takes one argument as text. A null pointer, a null BSTR or, for the second argument of
// the VARIANT form, a VARIANT that holds no BSTR reads as the empty text; a text of 256
// characters or more is cut to 255.
void TakeText(char (&out)[kTextSize], const void* arg, bool variantForm) {
  if (!arg) {
    out[0] = '\0';
  } else if (variantForm) {
    const bool whole = platform::ReadableBytes(arg, sizeof(TextVariant)) == sizeof(TextVariant);
    NarrowBstr(out, whole && HoldsBstr(arg) ? static_cast<const TextVariant*>(arg)->bstrVal : nullptr);
  } else {
    CopyField(out, static_cast<const char*>(arg));
  }
}


// The port is the digit at index 3 ("COM1", "COM1:"); anything else names no port.
int PortIndex(const char* portText) {
  if (strnlen(portText, 4) < 4) return -1;
  char digit = portText[3];
  if (digit < '1' || digit > '0' + kPortCount) return -1;
  return digit - '1';
}

}  // namespace

int32_t BT_ChkInputParam(MendalixState& st, const void* port, const void* text) {
  bool variantForm = HoldsBstr(port);
  TakeText(st.PortText, port, variantForm);
  TakeText(st.m_sPrt, text, variantForm);

  int index = PortIndex(st.PortText);
  if (index < 0) return kNoDriver;
  st.settings.BT_SelPort = index;
  st.CallPort = index;

  // A port without a device: a dongle plugged in since, or a driver started since, may
  // serve it now.
  if (!ComPortMapHandle(st, index) && !st.LookedThisCall) LookAgainForDevices(st, index);
  if (!ComPortMapHandle(st, index)) {
    // Its device went away: the dongle has failed, and what the file says of the port holds
    // for when it comes back.
    if (st.PortSeen[index]) return kDongleFailed;
    // Never a device: the port's block in the file as it is now, and no other byte of it,
    // is reset, and the library's copy read back.
    ResetPortInFile(st.szIniName, index);
    LoadSetting(st.settings, st.szIniName);
    return kNoDriver;
  }
  st.hCtrlDevice = ComPortMapHandle(st, index);
  return 0;
}

namespace {

void Nothing(MendalixState&) {}

// One call from start to end: waits for the running call, checks the arguments and, when
// they name a port with a control device, runs command on it; otherwise runs refused.
template <typename Command, typename Refused = void (*)(MendalixState&)>
int32_t RunCall(MendalixState& st, const void* port, const void* text, Command command,
                Refused refused = Nothing) {
  platform::LockGuard lock(st.CallLock);
  // Inside the lock: the lock orders it, the flag only shows that a call runs.
  st.DllEntered.store(1, std::memory_order_relaxed);
  st.LookedThisCall = false;
  int32_t r = BT_ChkInputParam(st, port, text);
  if (r == 0) {
    r = command(st);
  } else {
    refused(st);
  }
  st.DllEntered.store(0, std::memory_order_relaxed);
  return r;
}

// A request's result word, as the driver wrote it (0 included). A request the driver fails
// (the device gone: unplugged, or the driver stopped) is no success: the library looks once
// for the port's device again and sends the request to a device found anew; failing that,
// the answer is "terminal dongle failed", since the control device belongs to the dongle.
int32_t ResultWord(int (*request)(MendalixState&, uint32_t*), MendalixState& st) {
  uint32_t word = 0;
  if (st.hCtrlDevice != platform::InvalidDevice() && request(st, &word))
    return static_cast<int32_t>(word);
  if (st.LookedThisCall || !LookAgainForDevices(st, st.CallPort)) return kDongleFailed;
  word = 0;
  return request(st, &word) ? static_cast<int32_t>(word) : kDongleFailed;
}

// Connects after a pause; a failed attempt is made once more after another, unless the
// text is "NULL".
int32_t Connect(MendalixState& st) {
  st.clock.Sleep(kConnectPauseMs);
  int32_t word = ResultWord(MyPCON, st);
  if (strcmp(st.m_sPrt, "NULL") != 0 && word != 0) {
    st.clock.Sleep(kConnectPauseMs);
    word = ResultWord(MyPCON, st);
  }
  return word;
}

// "MON_ON" anywhere in the text starts monitoring, anything else stops it.
int32_t Monitor(MendalixState& st) {
  if (strstr(st.m_sPrt, "MON_ON")) {
    StartReader(st);
    return MyMONITOR(st);
  }
  SignalReaderStop(st);
  int ok = MyMONITOR(st);
  WaitReadNotPending(st);
  return ok;
}

// A stop on a port without a device (gone, or never there) still ends the reader: it holds
// the library, which no FreeLibrary could unload while it runs. The answer stays the check's.
void StopReaderWithoutDevice(MendalixState& st) {
  if (strstr(st.m_sPrt, "MON_ON") || st.ReaderRunning == 0) return;
  st.StopThread = 1;
  if (const platform::DeviceHandle reading = st.ReaderDevice.load()) MyStopMonitor(st, reading);
  WaitReadNotPending(st);
}

int32_t Query(MendalixState& st) { return ResultWord(MyPINQ, st); }
int32_t Reset(MendalixState& st) { return ResultWord(MyRESET, st); }

}  // namespace

int32_t CallQuery(MendalixState& st, const void* port, const void* text) {
  return RunCall(st, port, text, Query);
}
int32_t CallConnect(MendalixState& st, const void* port, const void* text) {
  return RunCall(st, port, text, Connect);
}
int32_t CallMonitor(MendalixState& st, const void* port, const void* text) {
  return RunCall(st, port, text, Monitor, StopReaderWithoutDevice);
}
int32_t CallReset(MendalixState& st, const void* port, const void* text) {
  return RunCall(st, port, text, Reset);
}
int32_t CallLong(const int32_t*) { return 3; }
