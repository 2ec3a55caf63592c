// The connection-state monitor thread and its hand-off to the dialog.
#include "setup/program/monitor.h"

#include <cstdio>

#include "protocol/driver_protocol.h"
#include "platform/sound.h"
#include "setup/program/quorvex_program.h"

namespace {

constexpr uint32_t kPollMs = 1000;
// The tear-down looks at the thread this often while it waits for it to end, and waits no
// longer than the limit.
constexpr uint32_t kJoinMs = 1000;
constexpr uint32_t kEndLimitMs = 10000;
constexpr uint32_t kSoundFlags = platform::kSndAsync | platform::kSndFilename;  // 0x20001
constexpr const char* kConnectedSound = "ChatWhsp.wav";
constexpr const char* kDroppedSound = "ChatKick.wav";

// Reads port n's published state. False when the Parameters key can't be opened: the pass
// then knows nothing new about the port. A value that is missing or can't be read in full
// counts as "no state".
bool ReadConnectState(platform::RegistryApi& reg, int n, uint32_t* value) {
  platform::RegKey key = nullptr;
  if (reg.OpenKey(platform::HKeyLocalMachine(), SARNO_PARAMETERS_KEY, &key) != platform::kErrorSuccess)
    return false;
  char name[256];
  std::snprintf(name, sizeof name, SARNO_CONNECT_STATE_VALUE, n);
  uint32_t v = LINK_STATE_NONE;
  uint32_t type = 0;
  uint32_t cb = sizeof v;
  if (reg.QueryValue(key, name, &type, &v, &cb) != platform::kErrorSuccess) v = LINK_STATE_NONE;
  reg.CloseKey(key);
  *value = v;
  return true;
}

}  // namespace

int MonitorPass(QuorvexProgram& dlg) {
  QuorvexState& st = dlg.st;
  const uint32_t leads = st.SelHostLeads.load(std::memory_order_acquire);
  int changes = 0;
  for (int n = 1; n <= kPortCount; ++n) {
    if (static_cast<char>((leads >> (8 * (n - 1))) & 0xFF) != '0') continue;  // no dongle known
    uint32_t value;
    if (!ReadConnectState(*dlg.seams.registry, n, &value)) continue;  // keep what we knew
    if (value == st.ConnectState[n - 1].load(std::memory_order_relaxed)) continue;

    // The dialog takes the lines in order, one per ThreadMsg. While it is a whole ring behind
    // (its thread blocked in a long library call) the change waits for a later pass rather
    // than losing its line; the label keeps the old state until then.
    char msg[100];
    QuorvexProgram::FormatLinkResult(value, n, msg, sizeof msg);
    if (!st.PushMonitorMessage(msg)) continue;
    st.ConnectState[n - 1].store(value, std::memory_order_release);  // before the posts
    dlg.view.PostMonitorNews();
    ++changes;

    if (st.bPlaySound.load(std::memory_order_relaxed))
      dlg.seams.sound->Play(value != 0 ? kDroppedSound : kConnectedSound, nullptr, kSoundFlags);
  }
  return changes;
}

void RunMonitor(QuorvexProgram& dlg) {
  for (;;) {
    dlg.seams.clock->Sleep(kPollMs);
    if (dlg.st.bMonitorStop.load(std::memory_order_acquire)) return;
    MonitorPass(dlg);
  }
}

void QuorvexProgram::MonitorConnectState(void* param) {
  QuorvexProgram* dlg = static_cast<QuorvexProgram*>(param);
  platform::ThreadApi* threads = dlg->seams.threads;
  RunMonitor(*dlg);
  // Exit code 0, without touching the dialog again.
  threads->ExitCurrent(0);
}

void QuorvexProgram::PublishSelHostLeads() {
  uint32_t leads = 0;
  for (int n = 0; n < kPortCount; ++n)
    leads |= static_cast<uint32_t>(static_cast<unsigned char>(st.settings.Port[n].SelHost[0])) << (8 * n);
  st.SelHostLeads.store(leads, std::memory_order_release);
}

void QuorvexProgram::StartMonitor() {
  if (st.bMonitorStarted) return;
  PublishSelHostLeads();
  st.bMonitorStop.store(0, std::memory_order_release);
  st.hMonitorThread = seams.threads->Start(&QuorvexProgram::MonitorConnectState, this);
  st.bMonitorStarted = st.hMonitorThread != nullptr;
}

bool QuorvexProgram::StopMonitor() {
  st.bMonitorStop.store(1, std::memory_order_release);
  if (!st.hMonitorThread) return true;
  // The thread ends at the end of its current sleep, or once a pass stuck in a registry or
  // sound call returns: a monitor that outlived the dialog would post to its window or read
  // its state after they are gone. A call that never returns must not keep the program.
  for (uint32_t waited = 0; !seams.threads->Join(st.hMonitorThread, kJoinMs); waited += kJoinMs)
    if (waited + kJoinMs >= kEndLimitMs) return false;
  seams.threads->Release(st.hMonitorThread);
  st.hMonitorThread = nullptr;
  return true;
}
