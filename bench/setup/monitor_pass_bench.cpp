// What one polling pass of the connection-state monitor costs, and whether it touches the
// heap. Every operator new in the process is counted; the registry and the dialog here are
// fixed-size stand-ins that never allocate, so any count is the monitor's own.
//
// Figures: time per pass; allocs/pass (target 0); key opens/pass (at most 4); and the
// ratio of a pass to four bare open/read/close rounds, the registry work a pass cannot avoid.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "protocol/driver_protocol.h"
#include "tests/support/fake_sound.h"
#include "tests/support/virtual_clock.h"
#include "platform/process.h"
#include "setup/dialog/QuorvexDlg.h"
#include "setup/program/monitor.h"

namespace {
std::atomic<long> g_allocs{0};
}

void* operator new(std::size_t n) {
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// The driver's Parameters key with its four state values, in fixed storage.
class FixedRegistry : public platform::RegistryApi {
 public:
  uint32_t state[4] = {0, 0, 0, 0};
  long opens = 0;
  long OpenKey(platform::RegKey, const char* sub, platform::RegKey* out) override {
    ++opens;
    if (std::strcmp(sub, SARNO_PARAMETERS_KEY) != 0) return platform::kErrorFileNotFound;
    *out = this;
    return platform::kErrorSuccess;
  }
  long CreateKey(platform::RegKey r, const char* sub, platform::RegKey* out) override {
    return OpenKey(r, sub, out);
  }
  long QueryValue(platform::RegKey, const char* name, uint32_t* type, void* data,
                  uint32_t* cb) override {
    // "COM<n>ConnectState"
    if (std::strncmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '4' ||
        std::strcmp(name + 4, "ConnectState") != 0)
      return platform::kErrorFileNotFound;
    if (*cb < 4) return platform::kErrorMoreData;
    std::memcpy(data, &state[name[3] - '1'], 4);
    *cb = 4;
    if (type) *type = platform::kRegDword;
    return platform::kErrorSuccess;
  }
  long SetValue(platform::RegKey, const char*, uint32_t, const void*, uint32_t) override {
    return platform::kErrorAccessDenied;
  }
  long CloseKey(platform::RegKey) override { return platform::kErrorSuccess; }
};

// A window that only counts what is posted to it.
class CountingControls : public platform::DialogControls {
 public:
  long posts = 0;
  void SetText(int, const char*) override {}
  size_t GetText(int, char* out, size_t size) override {
    if (size) out[0] = '\0';
    return 0;
  }
  void Enable(int, bool) override {}
  void Show(int, bool) override {}
  void LbResetContent(int) override {}
  int LbInsertString(int, int, const char*) override { return 0; }
  int LbDeleteString(int, int) override { return 0; }
  int LbGetCount(int) override { return 0; }
  int LbSetCurSel(int, int) override { return -1; }
  int LbGetCurSel(int) override { return -1; }
  size_t LbGetText(int, int, char* out, size_t size) override {
    if (size) out[0] = '\0';
    return 0;
  }
  int CbAddString(int, const char*) override { return 0; }
  int CbInsertString(int, int, const char*) override { return 0; }
  int CbSetCurSel(int, int) override { return -1; }
  int CbGetCurSel(int) override { return -1; }
  void CbShowDropDown(int, bool) override {}
  void CbGrowDropDown(int, int) override {}
  void CheckRadioButton(int, int, int) override {}
  bool IsDlgButtonChecked(int) override { return false; }
  void MessageBox(const char*) override {}
  void PostCommand(int) override { ++posts; }
  void EndDialog(int) override {}
  bool AppendSystemMenu(int, const char*) override { return false; }
  void SetIcon(void*, bool) override {}
  bool IsIconic() override { return false; }
  void GetClientSize(int* w, int* h) override { *w = *h = 0; }
  void GetIconMetrics(int* w, int* h) override { *w = *h = 32; }
  void PaintIcon(void*, int, int) override {}
};

// The dialog asks for its icon when it is made; nothing else of the process is used here.
class QuietProcess : public platform::ProcessApi {
 public:
  size_t GetModuleFileName(char* out, size_t size) override { return Empty(out, size); }
  size_t GetSystemDirectory(char* out, size_t size) override { return Empty(out, size); }
  unsigned WinExec(const char*, int) override { return 0; }
  size_t LoadString(int, char* out, size_t size) override { return Empty(out, size); }
  void* LoadIcon(int) override { return nullptr; }
  void ExitProcess(unsigned) override {}

 private:
  static size_t Empty(char* out, size_t size) {
    if (size) out[0] = '\0';
    return 0;
  }
};

struct Rig {
  FixedRegistry registry;
  QuietProcess process;
  CountingControls controls;
  platform::FakeSound sound;
  platform::VirtualClock clock;
  QuorvexSeams seams;
  CQuorvexDlg* dlg = nullptr;

  Rig() {
    seams.registry = &registry;
    seams.process = &process;
    seams.clock = &clock;
    seams.threads = &platform::SystemThreads();
    seams.sound = &sound;
    static const char* const kNoArgs[] = {nullptr};
    dlg = new CQuorvexDlg(seams, 0, kNoArgs);
    dlg->AttachControls(&controls);
    for (int n = 0; n < kPortCount; ++n) CopyField(dlg->st.settings.Port[n].SelHost, "0012F3A40B01");
    dlg->PublishSelHostLeads();
    dlg->st.bPlaySound = 1;
  }
  ~Rig() { delete dlg; }
  // The dialog takes every queued line, as its ThreadMsg command does.
  void Drain() { dlg->st.MonitorMsgTail.store(dlg->st.MonitorMsgHead.load()); }
};

void Report(benchmark::State& state, long allocs, long opens) {
  state.counters["allocs/pass"] =
      benchmark::Counter(static_cast<double>(allocs), benchmark::Counter::kAvgIterations);
  state.counters["key opens/pass"] =
      benchmark::Counter(static_cast<double>(opens), benchmark::Counter::kAvgIterations);
}

// The usual pass: four ports polled, nothing changed.
void BM_PassSteady(benchmark::State& state) {
  Rig rig;
  MonitorPass(*rig.dlg);  // learn the states once
  rig.Drain();
  long opens0 = rig.registry.opens;
  long allocs0 = g_allocs.load();
  for (auto _ : state) benchmark::DoNotOptimize(MonitorPass(*rig.dlg));
  Report(state, g_allocs.load() - allocs0, rig.registry.opens - opens0);
}
BENCHMARK(BM_PassSteady);

// Every port changes in every pass: four lines, eight posts and four sounds per pass.
void BM_PassFourChanges(benchmark::State& state) {
  Rig rig;
  long opens0 = rig.registry.opens;
  long allocs0 = g_allocs.load();
  uint32_t v = 0;
  for (auto _ : state) {
    v = v == 0 ? LINK_DISCONNECTED : 0;
    for (uint32_t& s : rig.registry.state) s = v;
    benchmark::DoNotOptimize(MonitorPass(*rig.dlg));
    rig.Drain();
  }
  Report(state, g_allocs.load() - allocs0, rig.registry.opens - opens0);
}
BENCHMARK(BM_PassFourChanges);

// The floor: the four open/read/close rounds of a pass, and nothing else.
void BM_RegistryReadsAlone(benchmark::State& state) {
  FixedRegistry reg;
  char name[256];
  for (auto _ : state) {
    for (int n = 1; n <= 4; ++n) {
      platform::RegKey key;
      reg.OpenKey(platform::HKeyLocalMachine(), SARNO_PARAMETERS_KEY, &key);
      std::snprintf(name, sizeof name, "COM%dConnectState", n);
      uint32_t value = 255, type = 0, cb = 4;
      reg.QueryValue(key, name, &type, &value, &cb);
      reg.CloseKey(key);
      benchmark::DoNotOptimize(value);
    }
  }
}
BENCHMARK(BM_RegistryReadsAlone);

// The console table, and the times kept for the ratios printed after it.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}
  double steady = 0, changes = 0, floor = 0;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      const std::string name = r.benchmark_name();
      double t = r.GetAdjustedRealTime();
      if (name == "BM_PassSteady") steady = t;
      if (name == "BM_PassFourChanges") changes = t;
      if (name == "BM_RegistryReadsAlone") floor = t;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (reporter.floor > 0) {
    std::printf("steady pass / bare registry reads: %.2f\n", reporter.steady / reporter.floor);
    std::printf("pass with four changes / bare registry reads: %.2f\n", reporter.changes / reporter.floor);
  }
  benchmark::Shutdown();
  return 0;
}
