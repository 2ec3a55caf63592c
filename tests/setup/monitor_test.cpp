// Watching the connection states the driver publishes: what each change shows the user
// (status line, state label, sound), which ports are watched, what survives a dialog that
// is busy, and how the watching ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstring>

#include "protocol/driver_protocol.h"
#include "setup/program/monitor.h"
#include "tests/setup/rig.h"

namespace wf {
namespace {

using ::testing::ElementsAre;

const std::string kParams = SARNO_PARAMETERS_KEY;

// The registry as the monitor sees it, counting key opens and able to refuse them.
class WatchedRegistry : public platform::RegistryApi {
 public:
  explicit WatchedRegistry(platform::RegistryApi& inner) : inner_(inner) {}
  std::atomic<int> opens{0};
  std::atomic<bool> refuseOpen{false};
  long OpenKey(platform::RegKey root, const char* sub, platform::RegKey* out) override {
    ++opens;
    if (refuseOpen) return platform::kErrorAccessDenied;
    return inner_.OpenKey(root, sub, out);
  }
  long CreateKey(platform::RegKey root, const char* sub, platform::RegKey* out) override {
    return inner_.CreateKey(root, sub, out);
  }
  long QueryValue(platform::RegKey k, const char* n, uint32_t* t, void* d, uint32_t* cb) override {
    return inner_.QueryValue(k, n, t, d, cb);
  }
  long SetValue(platform::RegKey k, const char* n, uint32_t t, const void* d, uint32_t cb) override {
    return inner_.SetValue(k, n, t, d, cb);
  }
  long CloseKey(platform::RegKey k) override { return inner_.CloseKey(k); }

 private:
  platform::RegistryApi& inner_;
};

// COM2 and COM4 have terminal dongles; COM1 has none; COM3's address text does not begin
// with '0', so the driver has no state to give for it. Sounds are on.
struct MonitorRig {
  Ini ini;
  std::unique_ptr<Rig> rig;
  std::unique_ptr<WatchedRegistry> watched;

  explicit MonitorRig(bool sounds = true) {
    ini.port[1].host = "0012F3A40B02";
    ini.port[2].host = "A012F3A40B03";
    ini.port[3].host = "0012F3A40B04";
    rig = std::make_unique<Rig>(&ini);
    watched = std::make_unique<WatchedRegistry>(rig->registry);
    rig->seams.registry = watched.get();
    rig->registry.PutDword(kParams, "PlaySound", sounds ? 1 : 0);
  }
  void Start() { rig->Start(); }
  void Publish(int port, uint32_t state) {
    rig->registry.PutDword(kParams, "COM" + std::to_string(port) + "ConnectState", state);
  }
  void Withdraw(int port) {
    rig->registry.Remove(kParams, "COM" + std::to_string(port) + "ConnectState");
  }
  int Pass() { return MonitorPass(*rig->dlg); }
  // The dialog handles what was posted and the state labels repaint.
  std::vector<std::string> ShowLines() {
    rig->ForgetSeen();
    rig->Pump();
    return rig->Status();
  }
  std::string Label(int port) {
    fw::CtlColor cc;
    cc.id = IDC_STATE_COM1 + port - 1;
    intptr_t result = 0;
    rig->dlg->DispatchMessage(fw::kWmCtlColorStatic, 0, reinterpret_cast<intptr_t>(&cc), &result);
    return rig->Caption(cc.id);
  }
  std::vector<std::string> Sounds() {
    std::vector<std::string> out;
    for (int i = 0; i < rig->sound.Count(); ++i) {
      auto p = rig->sound.At(i);
      EXPECT_EQ(p.flags, 0x20001u);
      EXPECT_EQ(p.module, nullptr);
      out.push_back(p.file);
    }
    rig->sound.Clear();
    return out;
  }
};

TEST(Monitor, Com2DroppingAndComingBackGivesALineALabelAndASoundEachTime) {
  MonitorRig m;
  m.Start();
  EXPECT_EQ(m.Label(2), "None");

  m.Publish(2, 0);
  EXPECT_EQ(m.Pass(), 1);
  EXPECT_THAT(m.rig->controls.TakePosted(), ElementsAre(IDC_THREADMSG, IDC_STATE_COM1));
  m.rig->dlg->DispatchCommand(IDC_THREADMSG, 0);
  m.rig->dlg->DispatchCommand(IDC_STATE_COM1, 0);
  EXPECT_THAT(m.rig->Status(), ElementsAre("COM2: Connect Ok"));
  EXPECT_EQ(m.Label(2), "Conected");
  EXPECT_THAT(m.Sounds(), ElementsAre("ChatWhsp.wav"));

  // A state that stays is not news, however many passes see it.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(m.Pass(), 0);
  EXPECT_TRUE(m.ShowLines().empty());
  EXPECT_TRUE(m.Sounds().empty());

  m.Publish(2, LINK_DISCONNECTED);
  m.Pass();
  EXPECT_THAT(m.ShowLines(), ElementsAre("COM2: Disconnect Ok"));
  EXPECT_EQ(m.Label(2), "DisConected");
  EXPECT_THAT(m.Sounds(), ElementsAre("ChatKick.wav"));

  m.Publish(2, 0);
  m.Pass();
  EXPECT_THAT(m.ShowLines(), ElementsAre("COM2: Connect Ok"));
  EXPECT_EQ(m.Label(2), "Conected");
  EXPECT_THAT(m.Sounds(), ElementsAre("ChatWhsp.wav"));
}

TEST(Monitor, AValueThatDisappearsAfterConnectedReadsAsNoState) {
  MonitorRig m;
  m.Start();
  m.Publish(2, 0);
  m.Pass();
  m.ShowLines();
  m.Sounds();

  m.Withdraw(2);
  EXPECT_EQ(m.Pass(), 1);
  EXPECT_THAT(m.ShowLines(), ElementsAre("COM2: XK printer Answer Back Failed...."));
  EXPECT_EQ(m.Label(2), "None");
  EXPECT_THAT(m.Sounds(), ElementsAre("ChatKick.wav"));
}

TEST(Monitor, AMissingValueFromTheStartIsNoNews) {
  MonitorRig m;
  m.Start();
  EXPECT_EQ(m.Pass(), 0);
  EXPECT_TRUE(m.ShowLines().empty());
}

TEST(Monitor, ChangesOfSeveralPortsAndPassesEachKeepTheirOwnLineInOrder) {
  MonitorRig m;
  m.Start();
  // The dialog is busy: it handles nothing until three passes have run.
  m.Publish(2, 0);
  m.Publish(4, LINK_PRINTER_CONN_FAILED);
  EXPECT_EQ(m.Pass(), 2);
  m.Publish(2, LINK_DISCONNECTED);
  m.Pass();
  m.Publish(4, 0);
  m.Pass();
  EXPECT_THAT(m.ShowLines(),
              ElementsAre("COM2: Connect Ok", "COM4: Printer Dongle Connection Failed....",
                          "COM2: Disconnect Ok", "COM4: Connect Ok"));
  EXPECT_EQ(m.Label(2), "DisConected");
  EXPECT_EQ(m.Label(4), "Conected");
}

TEST(Monitor, ADialogFarBehindLosesNoLineAndCatchesUpWithTheLatestState) {
  MonitorRig m;
  m.Start();
  // The dialog's thread sits in a long library call while COM2 flaps every second.
  const int kPasses = QuorvexState::kMonitorQueue + 8;
  for (int i = 0; i < kPasses; ++i) {
    m.Publish(2, i % 2 == 0 ? 0 : LINK_DISCONNECTED);
    m.Pass();
  }
  std::vector<std::string> lines = m.ShowLines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(QuorvexState::kMonitorQueue));
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i], i % 2 == 0 ? "COM2: Connect Ok" : "COM2: Disconnect Ok") << i;
  // What was held back arrives with the next pass: the state now published.
  const uint32_t now = (kPasses - 1) % 2 == 0 ? 0 : LINK_DISCONNECTED;
  const uint32_t shown = (QuorvexState::kMonitorQueue - 1) % 2 == 0 ? 0 : LINK_DISCONNECTED;
  EXPECT_EQ(m.Pass(), now != shown ? 1 : 0);
  if (now != shown) {
    EXPECT_EQ(m.ShowLines().size(), 1u);
  }
  EXPECT_EQ(m.rig->dlg->st.ConnectState[1].load(), now);
}

TEST(Monitor, PortsWithoutADongleAddressBeginningWithZeroAreNeverRead) {
  MonitorRig m;
  m.Start();
  m.Publish(1, 0);  // COM1: "NONE"
  m.Publish(3, 0);  // COM3: "A012..."
  const int opensBefore = m.watched->opens;
  EXPECT_EQ(m.Pass(), 0);
  EXPECT_EQ(m.watched->opens - opensBefore, 2);  // COM2 and COM4 only
  EXPECT_EQ(m.Label(1), "None");
  EXPECT_EQ(m.Label(3), "None");
  EXPECT_EQ(m.rig->registry.OpenHandles(), 0);
}

TEST(Monitor, APortWhoseDongleAQueryFindsIsWatchedFromThenOn) {
  MonitorRig m;
  m.rig->comm.SetPresent(1, true);
  m.Start();
  m.Publish(1, 0);
  m.Pass();
  EXPECT_TRUE(m.ShowLines().empty());

  m.rig->DriverQueryFinds(1, 0, "0012F3A40B01", "BTH_v1.02", {"0019A5000001"});
  m.rig->Click(IDC_QUERY);
  EXPECT_EQ(m.Pass(), 1);
  EXPECT_THAT(m.ShowLines(), ElementsAre("COM1: Connect Ok"));
}

TEST(Monitor, WithSoundsOffStatesAndLinesChangeAndNothingPlays) {
  MonitorRig m(/*sounds=*/false);
  m.Start();
  m.Publish(2, 0);
  m.Pass();
  m.Publish(2, LINK_DISCONNECTED);
  m.Pass();
  EXPECT_THAT(m.ShowLines(), ElementsAre("COM2: Connect Ok", "COM2: Disconnect Ok"));
  EXPECT_EQ(m.Label(2), "DisConected");
  EXPECT_TRUE(m.Sounds().empty());

  // The user turns sounds on: the next change plays.
  m.rig->Click(IDC_PLAYSOUND_ON);
  m.Publish(2, 0);
  m.Pass();
  EXPECT_THAT(m.Sounds(), ElementsAre("ChatWhsp.wav"));
}

TEST(Monitor, APassThatCannotOpenTheKeyKeepsEveryState) {
  MonitorRig m;
  m.Start();
  m.Publish(2, 0);
  m.Pass();
  m.ShowLines();

  m.Publish(2, LINK_DISCONNECTED);
  m.watched->refuseOpen = true;
  EXPECT_EQ(m.Pass(), 0);
  EXPECT_TRUE(m.ShowLines().empty());
  EXPECT_EQ(m.Label(2), "Conected");
  EXPECT_TRUE(m.Sounds().size() == 1);  // only the first connect played

  m.watched->refuseOpen = false;
  EXPECT_EQ(m.Pass(), 1);
  EXPECT_THAT(m.ShowLines(), ElementsAre("COM2: Disconnect Ok"));
}

// The monitor's own thread, on a clock the test moves by hand, with the dialog's tear-down
// on a thread of its own as the dialog's thread would run it.
struct ThreadedRig : MonitorRig {
  std::atomic<bool> monitorRunning{false};

  // Threads that tell the test whether the monitor's function is still running (its end by
  // the thread exit unwinds through the mark).
  struct TrackedThreads : platform::ThreadApi {
    ThreadedRig* owner = nullptr;
    void (*fn)(void*) = nullptr;
    void* arg = nullptr;
    static void Body(void* self) {
      auto* t = static_cast<TrackedThreads*>(self);
      struct Mark {
        std::atomic<bool>& running;
        ~Mark() { running = false; }
      } mark{t->owner->monitorRunning};
      t->fn(t->arg);
    }
    platform::ThreadHandle Start(void (*f)(void*), void* a) override {
      fn = f;
      arg = a;
      owner->monitorRunning = true;
      return platform::SystemThreads().Start(&Body, this);
    }
    // Every wait runs out after 20 ms of real time: a tear-down that gave up waiting would
    // show within the stories' pauses.
    bool Join(platform::ThreadHandle h, uint32_t ms) override {
      return platform::SystemThreads().Join(h, ms < 20 ? ms : 20);
    }
    void Release(platform::ThreadHandle h) override { platform::SystemThreads().Release(h); }
    void ExitCurrent(uint32_t code) override { platform::SystemThreads().ExitCurrent(code); }
  } threads;

  ThreadedRig() {
    threads.owner = this;
    rig->seams.threads = &threads;
    rig->clock.SetMode(platform::VirtualClock::Mode::Manual);
  }
  // One poll interval passes; returns when the monitor sleeps again.
  void Second() {
    ASSERT_TRUE(rig->clock.WaitForSleepers(1));
    const uint64_t sleeps = rig->clock.SleepCalls();
    rig->clock.Advance(1000);
    for (int i = 0; i < 5000 && rig->clock.SleepCalls() == sleeps; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(rig->clock.SleepCalls(), sleeps) << "the monitor did not come round again";
    ASSERT_TRUE(rig->clock.WaitForSleepers(1));
  }
};

TEST(Monitor, TheThreadPollsOncePerSecondAndReportsThroughPostedCommands) {
  ThreadedRig t;
  t.Start();
  ASSERT_TRUE(t.rig->clock.WaitForSleepers(1));
  EXPECT_TRUE(t.monitorRunning);
  t.Publish(4, 0);
  const int opens = t.watched->opens;
  t.Second();
  EXPECT_EQ(t.watched->opens - opens, 2);  // COM2 and COM4
  EXPECT_THAT(t.ShowLines(), ElementsAre("COM4: Connect Ok"));
  t.Second();
  EXPECT_EQ(t.watched->opens - opens, 4);
  EXPECT_TRUE(t.ShowLines().empty());

  t.rig->clock.SetMode(platform::VirtualClock::Mode::Auto);
  t.rig->dlg->OnDestroy();
  EXPECT_FALSE(t.monitorRunning);
}

TEST(Monitor, AStopDuringTheSleepEndsItWithoutAnotherPassBeforeTheLibraryGoes) {
  ThreadedRig t;
  t.Start();
  ASSERT_TRUE(t.rig->clock.WaitForSleepers(1));
  bool runningAtFree = true;
  t.rig->onFree = [&] { runningAtFree = t.monitorRunning; };

  t.Publish(2, 0);  // a change the monitor must not report any more
  const int opens = t.watched->opens;
  std::thread dialog([&] { t.rig->dlg->OnDestroy(); });
  ASSERT_TRUE(t.rig->clock.WaitForSleepers(2));  // the monitor's poll and the 1200 ms pause
  t.rig->clock.Advance(1000);                    // the monitor wakes to the stop flag
  t.rig->clock.Advance(200);                     // the pause is over
  dialog.join();

  EXPECT_FALSE(runningAtFree);
  EXPECT_EQ(t.rig->frees, 1);
  EXPECT_EQ(t.rig->processExits, 0);
  EXPECT_EQ(t.watched->opens, opens);
  EXPECT_TRUE(t.rig->controls.TakePosted().empty());
  EXPECT_EQ(t.rig->clock.SafetyExpiries(), 0);
}

// A registry that can hold the monitor inside its key open, as a slow platform call would.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool armed = false, inside = false, open = false;
  void Pass() {
    std::unique_lock<std::mutex> lk(m);
    if (!armed) return;
    inside = true;
    cv.notify_all();
    cv.wait_for(lk, std::chrono::seconds(10), [&] { return open; });
  }
  bool WaitInside() {
    std::unique_lock<std::mutex> lk(m);
    return cv.wait_for(lk, std::chrono::seconds(10), [&] { return inside; });
  }
  void Open() {
    std::lock_guard<std::mutex> lk(m);
    open = true;
    armed = false;
    cv.notify_all();
  }
};

struct GatedRegistry : WatchedRegistry {
  Gate& gate;
  GatedRegistry(platform::RegistryApi& inner, Gate& g) : WatchedRegistry(inner), gate(g) {}
  long OpenKey(platform::RegKey root, const char* sub, platform::RegKey* out) override {
    if (std::strcmp(sub, SARNO_PARAMETERS_KEY) == 0) gate.Pass();
    return WatchedRegistry::OpenKey(root, sub, out);
  }
};

// The pause alone is not trusted: a pass under way is waited for, about ten seconds at most
// (20 ms of real time per second here). A pass that never returns ends the process rather
// than have the library released under it.
TEST(Monitor, APassUnderWayIsWaitedForBoundedThenTheProcessEndsWithTheLibraryHeld) {
  ThreadedRig t;
  Gate gate;
  GatedRegistry gated(t.rig->registry, gate);
  t.rig->seams.registry = &gated;
  t.Start();
  ASSERT_TRUE(t.rig->clock.WaitForSleepers(1));
  std::atomic<int> freesWhileInside{-1};
  t.rig->onFree = [&] { freesWhileInside = t.monitorRunning ? 1 : 0; };

  gate.armed = true;
  t.rig->clock.Advance(1000);  // a pass starts and hangs in the platform
  ASSERT_TRUE(gate.WaitInside());

  std::thread dialog([&] { t.rig->dlg->OnDestroy(); });
  ASSERT_TRUE(t.rig->clock.WaitForSleepers(1));  // the dialog's 1200 ms pause
  t.rig->clock.Advance(1200);
  dialog.join();
  EXPECT_EQ(t.rig->frees, 0) << "the library went while the monitor was still in a pass";
  EXPECT_EQ(t.rig->processExits, 1);
  EXPECT_EQ(freesWhileInside, -1);

  gate.Open();                                   // let the pass finish for the test's end
  ASSERT_TRUE(t.rig->clock.WaitForSleepers(1));
  t.rig->clock.Advance(1000);
  for (int i = 0; i < 2500 && t.monitorRunning; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_FALSE(t.monitorRunning);
}

}  // namespace
}  // namespace wf
