// Counts of how the real library holds up against the simulated driver under Wine:
//   - hostile export calls: missing, empty, overlong, unterminated (ending at an unreadable
//     page), binary and automation-VARIANT arguments (also ones whose string is gone, and
//     texts that only start like a VARIANT) to every export; each call must return,
//     a port text naming no port must give 2, and the library must answer normally after;
//   - concurrent calls: threads calling at once, and the overlaps the driver saw among them,
//     beside raw requests from two threads (which do overlap) to show that the count works;
//   - load, monitor and unload cycles: each one binds, starts a reader and unloads (the
//     reader keeps the library), then loads, stops and unloads; after them no read stays
//     queued and the driver still answers.
// Prints one line per count and exits non-zero when a count shows a fault.
// usage: reliability_bench.exe [THREADS CALLS_PER_THREAD CYCLES]; needs reliability.txt.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "library/include/Mendalix.h"
#include "platform/test_threads.h"
#include "tests/wine/simulator/simulator_client.h"

using namespace simtest;

namespace {

struct Library {
  Library() : module(LoadLibraryA("Mendalix.dll")) {
    if (!module) return;
    calls[0] = Bind("BT_OnQuery");
    calls[1] = Bind("BT_OnReset");
    calls[2] = Bind("BT_OnMonitor");
    calls[3] = Bind("BT_OnConnect");
    along = reinterpret_cast<BT_long_t>(reinterpret_cast<void*>(GetProcAddress(module, "BT_long")));
  }
  ~Library() {
    if (module) FreeLibrary(module);
  }
  BT_OnQuery_t Bind(const char* name) {
    return reinterpret_cast<BT_OnQuery_t>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  bool bound() const { return module && calls[0] && calls[1] && calls[2] && calls[3] && along; }
  HMODULE module;
  BT_OnQuery_t calls[4] = {};  // query, reset, monitor, connect: all take (port, text)
  BT_long_t along = nullptr;
};
const char* const kCallNames[4] = {"BT_OnQuery", "BT_OnReset", "BT_OnMonitor", "BT_OnConnect"};

// A text of `length` bytes that ends exactly where an unreadable page begins, with no
// terminating NUL: reading one byte too far faults.
class EdgeText {
 public:
  explicit EdgeText(const std::string& text) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    page_ = si.dwPageSize;
    base_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    start_ = base_ + page_ - text.size();
    memcpy(start_, text.data(), text.size());
  }
  ~EdgeText() { VirtualFree(base_, 0, MEM_RELEASE); }
  const char* get() const { return start_; }

 private:
  DWORD page_;
  char* base_;
  char* start_;
};

// An automation VARIANT as callers pass it: VT_BSTR with a BSTR (or none), or another type.
struct Variant {
  explicit Variant(const wchar_t* text, UINT length) {
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text ? SysAllocStringLen(text, length) : nullptr;
  }
  explicit Variant(VARTYPE type) {
    VariantInit(&v);
    v.vt = type;
    v.lVal = 0x31314d4f;  // bytes that read as "OM11" if taken for text
  }
  ~Variant() { VariantClear(&v); }
  VARIANT v;
};

// The port's digit at index 3, 1 to 4, among the first 255 characters.
int PortOf(const char* text) {
  if (!text || strnlen(text, 4) < 4 || text[3] < '1' || text[3] > '4') return 0;
  return text[3] - '0';
}

struct HostileCounts {
  int tried = 0, unexpected = 0;
  std::vector<std::string> faults;
  void Check(bool as_expected, const std::string& what) {
    ++tried;
    if (!as_expected) {
      ++unexpected;
      if (faults.size() < 8) faults.push_back(what);
    }
  }
};

// Every port text, with each export, and every second argument on the ports that have a
// device (COM1, COM2) with the quick exports. Ports without a device must give 2.
void HostileCalls(Library& lib, HostileCounts& c) {
  std::string long_com1 = "COM1" + std::string(300, 'x');
  std::string huge_com2 = "COM2" + std::string(65532, 'A');
  EdgeText edge_port(std::string("COM1") + std::string(296, 'z'));
  EdgeText edge_junk(std::string(300, 'Q'));
  EdgeText edge_text(std::string(300, 'N'));
  std::string cut_monitor = std::string(260, '-') + "MON_ON";  // past the cut: a stop
  std::string high(255, '\0');
  for (size_t i = 0; i < high.size(); ++i) high[i] = static_cast<char>(0x80 + i % 0x7f + 1);

  std::vector<const char*> ports = {nullptr, "", "C", "CO", "COM", "COM0", "COM5", "COM9",
                                    "COM:", "com3", "COM4", "COM3:", "LPT1", "\xff\xff\xff\xff",
                                    high.c_str(), long_com1.c_str(), huge_com2.c_str(),
                                    edge_port.get(), edge_junk.get(),
                                    "\b"};  // starts like a VARIANT: VT_BSTR, then a NUL
  // Seeded junk: the same bytes every run.
  std::vector<std::string> junk;
  uint32_t seed = 20261207;
  for (int n = 0; n < 24; ++n) {
    std::string s;
    size_t len = n * 13 % 300;
    for (size_t i = 0; i < len; ++i) {
      seed = seed * 1103515245u + 12345u;
      char ch = static_cast<char>(seed >> 24);
      s += ch ? ch : '7';
    }
    junk.push_back(s);
  }
  for (const std::string& s : junk) ports.push_back(s.c_str());

  for (const char* port : ports) {
    int com = PortOf(port);
    bool has_device = com == 1 || com == 2;
    for (int k = 0; k < 4; ++k) {
      if (has_device && k == 3) continue;  // a real connect takes 300 ms or more: below
      int r = lib.calls[k](port, "NONE");
      c.Check(has_device || r == 2, std::string(kCallNames[k]) + " with a port naming no port gave " +
                                        std::to_string(r));
    }
  }

  std::string len255(255, 'a'), len256(256, 'b'), len64k(65536, 'c');
  std::vector<const char*> texts = {nullptr, "", "NONE", "NULL", len255.c_str(), len256.c_str(),
                                    len64k.c_str(), edge_text.get(), high.c_str(), cut_monitor.c_str()};
  for (const std::string& s : junk) texts.push_back(s.c_str());
  for (const char* text : texts) {
    for (const char* port : {"COM1", "COM2"}) {
      for (int k = 0; k < 3; ++k) {
        int r = lib.calls[k](port, text);
        c.Check(k == 2 || r != 2, std::string(kCallNames[k]) + " on " + port + " lost its device");
      }
    }
  }
  // A few real connects with hostile addresses: they take the driver's time.
  for (const char* text : {(const char*)nullptr, "", len64k.c_str(), edge_text.get()}) {
    int r = lib.calls[3]("COM1", text);
    c.Check(r != 2, "BT_OnConnect on COM1 lost its device");
  }

  // The VARIANT form: BSTR ports (narrowed by their low bytes: v_wide reads as COM1), missing
  // and foreign second arguments.
  std::wstring wlong = L"COM2" + std::wstring(1000, L'w');
  Variant v_com1(L"COM1", 4), v_com7(L"COM7", 4), v_empty(L"", 0), v_null(nullptr, 0),
      v_long(wlong.c_str(), (UINT)wlong.size()), v_wide(L"\xff43\xff4f\xff4d\xff31", 4),
      v_int(VT_I4), v_none(VT_EMPTY), v_odd((VARTYPE)0xffff), v_text(L"NONE", 4);
  struct Pair {
    const void* port;
    const void* text;
    bool has_device;
  };
  const char* plain16 = "NONE-and-sixteen";  // a narrow text beside a VARIANT port
  // A VARIANT whose string pointer leads to memory that is gone.
  void* gone = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  VirtualFree(gone, 0, MEM_RELEASE);
  VARIANT stray;
  VariantInit(&stray);
  stray.vt = VT_BSTR;
  stray.bstrVal = static_cast<BSTR>(gone);
  std::vector<Pair> pairs = {
      {&v_com1.v, &v_text.v, true},   {&v_com1.v, nullptr, true},      {&v_com1.v, &v_int.v, true},
      {&v_com1.v, &v_none.v, true},   {&v_com1.v, &v_odd.v, true},     {&v_com1.v, &v_null.v, true},
      {&v_com1.v, &v_long.v, true},   {&v_com1.v, plain16, true},      {&v_long.v, &v_text.v, true},
      {&v_com7.v, &v_text.v, false},  {&v_empty.v, &v_text.v, false},  {&v_null.v, &v_text.v, false},
      {&v_wide.v, &v_text.v, true},   {&v_int.v, &v_text.v, false},    {&v_odd.v, &v_text.v, false},
      {&v_none.v, &v_text.v, false},  {&stray, &v_text.v, false},      {&v_com1.v, &stray, true}};
  for (const Pair& p : pairs) {
    for (int k = 0; k < 4; ++k) {
      if (p.has_device && k == 3) continue;
      int r = lib.calls[k](p.port, p.text);
      c.Check(p.has_device ? (k == 2 || r != 2) : r == 2,
              std::string(kCallNames[k]) + " with a VARIANT pair gave " + std::to_string(r));
    }
  }
  int value = 7;
  c.Check(lib.along(nullptr) == 3, "BT_long(NULL) did not give 3");
  c.Check(lib.along(&value) == 3 && value == 7, "BT_long changed its argument");
  lib.calls[2]("COM1", "MON_OFF");
  lib.calls[2]("COM2", "MON_OFF");
}

struct ConcurrentCounts {
  int calls = 0, failed = 0;
  uint32_t overlaps = 0, requests = 0, control_overlaps = 0;
};

uint32_t RequestTotal(const sarno_diagnostics& d) {
  return d.requests[0] + d.requests[1] + d.requests[2];
}

// Raw requests on two devices from two threads at once: the driver must see overlaps.
uint32_t RawOverlaps(int rounds) {
  Device a(0), b(1);
  if (!a.open() || !b.open()) return 0;
  uint32_t before = Diagnostics().overlaps;
  for (int i = 0; i < rounds; ++i) {
    platform::test::Thread other([&] { uint32_t w; b.Request(IOCTL_SARNO_RESET, "NONE", &w); });
    uint32_t w;
    a.Request(IOCTL_SARNO_RESET, "NONE", &w);
    other.join();
  }
  return Diagnostics().overlaps - before;
}

void ConcurrentCalls(Library& lib, int threads, int per_thread, ConcurrentCounts& c) {
  sarno_diagnostics before = Diagnostics();
  std::vector<platform::test::Thread> pool;
  std::vector<int> failed(threads, 0);
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      for (int i = 0; i < per_thread; ++i) {
        const char* port = (t + i) % 2 ? "COM1" : "COM2";
        int r = (t + i) % 3 == 0 ? lib.calls[0](port, "NONE") : lib.calls[1](port, "NONE");
        if (r != 0) ++failed[t];
      }
    });
  }
  for (platform::test::Thread& t : pool) t.join();
  sarno_diagnostics after = Diagnostics();
  c.calls = threads * per_thread;
  for (int f : failed) c.failed += f;
  c.overlaps = after.overlaps - before.overlaps;
  c.requests = RequestTotal(after) - RequestTotal(before);
}


}  // namespace

int main(int argc, char** argv) {
  int threads = argc > 1 ? atoi(argv[1]) : 8;
  int per_thread = argc > 2 ? atoi(argv[2]) : 12;
  int cycles = argc > 3 ? atoi(argv[3]) : 20;
  if (threads < 2) threads = 2;
  if (per_thread < 1) per_thread = 1;
  if (cycles < 1) cycles = 1;
  PublishSettingsPath("Quorvex.ini");
  int status = 0;

  // Before the library holds the devices: the driver's overlap count at work.
  uint32_t control = RawOverlaps(5);

  {
    Library lib;
    if (!lib.bound()) {
      fprintf(stderr, "Mendalix.dll not found or incomplete\n");
      return 1;
    }
    HostileCounts h;
    HostileCalls(lib, h);
    // Reaching this line means no call crashed: a crash ends the process before it prints.
    int after = lib.calls[0]("COM1", "NONE");
    printf("hostile export calls: %d tried, %d crashed, %d unexpected results; a plain query after: %d\n",
           h.tried, 0, h.unexpected, after);
    for (const std::string& f : h.faults) printf("  unexpected: %s\n", f.c_str());
    if (h.unexpected || after != 0) status = 1;

    ConcurrentCounts c;
    ConcurrentCalls(lib, threads, per_thread, c);
    printf("concurrent calls: %d threads x %d = %d calls, %d failed, %u requests, %u overlaps at the driver "
           "(raw requests from two threads: %u overlaps in 5)\n",
           threads, per_thread, c.calls, c.failed, c.requests, c.overlaps, control);
    if (c.failed || c.overlaps || c.requests != (uint32_t)c.calls || control == 0) status = 1;
  }

  int survived = 0;
  // The reader holds the library: after an unload while monitoring, a stop lets it go.
  for (int i = 0; i < cycles; ++i) {
    {
      Library lib;
      if (!lib.bound() || lib.calls[2]("COM1", "MON_ON") == 0) break;
    }
    Library lib;
    if (!lib.bound() || lib.calls[2]("COM1", "MON_OFF") == 0) break;
    ++survived;
  }
  bool drained = WaitQueued(0, 3000);
  Sleep(ScaledMs(1500));  // past any late completion: a reader left in unloaded code would crash us
  Device com1(1);
  uint32_t index = 255;
  bool answers = com1.open() && com1.Request(IOCTL_SARNO_GET_COM_INDX, std::string(4, '\xff'), &index);
  printf("load/monitor/unload cycles: %d of %d survived, reads left queued: %s, driver answers after: %s\n",
         survived, cycles, drained ? "none" : "some", answers ? "yes" : "no");
  if (survived != cycles || !drained || !answers) status = 1;
  return status;
}
