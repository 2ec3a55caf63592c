// The program's own pieces that every workflow uses: the status list's length, result
// texts, the port name, the monitor's hand-off, and the tear-down.
#include <cstdio>

#include "setup/program/quorvex_program.h"

QuorvexProgram::QuorvexProgram(const QuorvexSeams& s, int ac, const char* const* av,
                               SetupView& v)
    : seams(s), argc(ac), argv(av), view(v) {}

int QuorvexProgram::FormatLinkResult(uint32_t flags, int port, char* out, size_t size) {
  const char* format = "COM%d: Connect Ok";
  if (flags != 0) {
    // Each listed bit replaces the text so far: the highest listed bit wins.
    static const struct {
      uint32_t bit;
      const char* text;
    } kBits[] = {
        {LINK_NO_DRIVER, "COM%d: No Driver Installed...."},
        {LINK_DISCONNECTED, "COM%d: Disconnect Ok"},
        {LINK_HOST_DONGLE_FAILED, "COM%d: Terminal Dongle Failed...."},
        {LINK_PRINTER_CONN_FAILED, "COM%d: Printer Dongle Connection Failed...."},
        {LINK_ANSWER_BACK_FAILED, "COM%d: XK printer Answer Back Failed...."},
        {LINK_MAINBOARD_UNSUPPORTED, "COM%d: MainBoard Not Support...."},
    };
    format = "COM%d: Unknow Fail....";
    for (const auto& b : kBits)
      if (flags & b.bit) format = b.text;
  }
  int n = std::snprintf(out, size, format, port);
  if (n < 0) return 0;
  return static_cast<size_t>(n) < size ? n : static_cast<int>(size ? size - 1 : 0);
}

void QuorvexProgram::AddStatusLine(const char* text) {
  const bool full = st.nStatusLines > kStatusLineMax;
  view.AppendStatusLine(text, full);
  if (!full) ++st.nStatusLines;
}

void QuorvexProgram::MakeComPortName() {
  std::snprintf(st.szComPort, sizeof st.szComPort, "COM%d", static_cast<int>(st.BT_SelPort) + 1);
}

void QuorvexProgram::ChoosePort(int sel) {
  st.bSettingChanged = 1;
  if (sel >= 0 && sel < kPortCount) st.BT_SelPort = sel;
  MakeComPortName();
  view.ShowPortSetting();
}

void QuorvexProgram::OnManual() {
  st.bSettingChanged = 1;
  view.ShowConnectMode(false);
}

void QuorvexProgram::OnThreadMsg() {
  // A command with nothing queued (sent by anyone but the monitor) adds nothing.
  if (st.TakeMonitorMessage()) AddStatusLine(st.szMonitorMsg);
}

void QuorvexProgram::OnOpencomClicked() { OnOpencom(); }

void QuorvexProgram::Shutdown() {
  // Pairs that were never read (no library at start) show neither button; writing them
  // would turn both stored switches Off although the user chose nothing.
  if (st.bSwitchesRead) {
    WrtPlaySoundReg();
    WrtAutoRunReg();
  }
  st.bMonitorStop = 1;
  seams.clock->Sleep(1200);
  if (!StopMonitor()) {
    // The monitor is stuck in a platform call. Releasing the library, or destroying the
    // dialog it posts to, under it could let it run in freed code; an invisible program
    // waiting for it for good would keep the library loaded. The process ends here.
    seams.process->ExitProcess(1);
    return;
  }
  if (st.hInstCtrl) {
    seams.modules->FreeLibrary(st.hInstCtrl);
    st.hInstCtrl = nullptr;
    st.BT_OnConnect = st.BT_OnQuery = st.BT_OnReset = nullptr;  // their code is gone
  }
  std::snprintf(st.szMsgBuf, sizeof st.szMsgBuf, "hInstCtrl %p", st.hInstCtrl);  // trace
}

bool QuorvexState::PushMonitorMessage(const char* text) {
  uint32_t head = MonitorMsgHead.load(std::memory_order_relaxed);
  if (head - MonitorMsgTail.load(std::memory_order_acquire) >= kMonitorQueue) return false;
  CopyField(MonitorMsg[head % kMonitorQueue].text, text);
  MonitorMsgHead.store(head + 1, std::memory_order_release);
  return true;
}

bool QuorvexState::TakeMonitorMessage() {
  uint32_t tail = MonitorMsgTail.load(std::memory_order_relaxed);
  if (tail == MonitorMsgHead.load(std::memory_order_acquire)) return false;
  CopyField(szMonitorMsg, MonitorMsg[tail % kMonitorQueue].text);
  MonitorMsgTail.store(tail + 1, std::memory_order_release);
  return true;
}
