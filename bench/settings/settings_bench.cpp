// What reading and saving the settings file cost next to moving the same bytes raw: a full
// file (seven printers on every port) is read with LoadSetting and with one plain read, and
// written with OnSaveSetting and with one plain write. The ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

#include "settings/settings.h"
#include "settings/settings_buffer.h"

namespace {

std::string g_dir;

std::string PathOf(const char* name) { return g_dir + "/" + name; }

Settings FullSettings() {
  Settings s;
  s.BT_SelPort = 2;
  CopyField(s.BT_Baudrate, "115200N81");
  for (int i = 0; i < kPortCount; ++i) {
    PortSetting& p = s.Port[i];
    std::snprintf(p.SelHost, sizeof p.SelHost, "00:12:6F:0%d:02:03", i);
    std::snprintf(p.Selprt, sizeof p.Selprt, "00:12:6F:00:A%d:13", i);
    for (int k = 0; k < kQueryPrtMax; ++k) {
      std::snprintf(p.QueryPrt[k], sizeof p.QueryPrt[k], "00:12:6F:00:A%d:1%d", i, k);
    }
    CopyField(p.HostVrsn, "BTH_v2.40");
  }
  return s;
}

std::string FullFileBytes() {
  Settings s = FullSettings();
  char bytes[4096];
  size_t n = FormatSettings(s, bytes, sizeof bytes);
  return std::string(bytes, n);
}

void BM_LoadSetting(benchmark::State& state) {
  const std::string path = PathOf("load.ini");
  Settings s;
  for (auto _ : state) {
    benchmark::DoNotOptimize(LoadSetting(s, path.c_str()));
  }
}

// The reading alone, without opening the file: what the reader adds to a raw read.
void BM_LoadSettingFromBuffer(benchmark::State& state) {
  const std::string bytes = FullFileBytes();
  Settings s;
  for (auto _ : state) {
    LoadSettingFromBuffer(s, bytes.data(), bytes.size());
    benchmark::ClobberMemory();
  }
}

void BM_RawRead(benchmark::State& state) {
  const std::string path = PathOf("load.ini");
  char bytes[16 * 1024];
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "rb");
    size_t n = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}

void BM_OnSaveSetting(benchmark::State& state) {
  const std::string path = PathOf("save.ini");
  Settings s = FullSettings();
  for (auto _ : state) {
    benchmark::DoNotOptimize(OnSaveSetting(s, path.c_str()));
  }
}

void BM_RawWrite(benchmark::State& state) {
  const std::string path = PathOf("raw.ini");
  const std::string bytes = FullFileBytes();
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

BENCHMARK(BM_LoadSetting);
BENCHMARK(BM_LoadSettingFromBuffer);
BENCHMARK(BM_RawRead);
BENCHMARK(BM_OnSaveSetting);
BENCHMARK(BM_RawWrite);

// Remembers each benchmark's time per iteration for the ratios: the median when the run
// is repeated, otherwise the one run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        ns[name] = run.GetAdjustedRealTime();
        medians_.insert(name);
      } else if (run.run_type == Run::RT_Iteration && !medians_.count(name)) {
        ns[name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

 private:
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  char dir_template[] = "/tmp/settings_bench_XXXXXX";
  if (!mkdtemp(dir_template)) return 1;
  g_dir = dir_template;
  {
    const std::string bytes = FullFileBytes();
    FILE* f = std::fopen(PathOf("load.ini").c_str(), "wb");
    if (!f) return 1;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::printf("full settings file: %zu bytes\n", bytes.size());
  }

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  auto ratio = [&](const char* a, const char* b) {
    if (reporter.ns.count(a) && reporter.ns.count(b) && reporter.ns[b] > 0) {
      std::printf("%-18s / %-12s = %.2fx (target: within 3x)\n", a, b,
                  reporter.ns[a] / reporter.ns[b]);
    }
  };
  ratio("BM_LoadSetting", "BM_RawRead");
  ratio("BM_OnSaveSetting", "BM_RawWrite");

  for (const char* name : {"load.ini", "save.ini", "raw.ini"}) std::remove(PathOf(name).c_str());
  rmdir(g_dir.c_str());
  return 0;
}
