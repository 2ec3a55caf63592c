// The host build of the library as an application meets it: loaded by name, bound by
// name, served by devices that the application installs before the first call.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "fake_driver.h"
#include "library/include/Mendalix.h"
#include "protocol/driver_protocol.h"
#include "tests/support/virtual_clock.h"

namespace {

TEST(SharedObject, DevicesInstalledBeforeTheFirstCallServeItAndUnloadClosesThem) {
  auto dir = std::filesystem::temp_directory_path() / "mendalix_so_test";
  std::filesystem::create_directories(dir);
  auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir);

  // Kept for the life of the process: the library may run its shutdown only at exit.
  static platform::VirtualClock* keptClock = new platform::VirtualClock;
  static FakeDriver* keptDriver = new FakeDriver(*keptClock);
  FakeDriver& driver = *keptDriver;
  driver.AddDevice(0, 0);
  driver.QueueWords({LINK_PRINTER_CONN_FAILED});

  void* so = dlopen(MENDALIX_SO, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(so, nullptr) << dlerror();
  auto use = reinterpret_cast<int (*)(void*)>(dlsym(so, "MendalixHostUseDevices"));
  auto query = reinterpret_cast<BT_OnQuery_t>(dlsym(so, "BT_OnQuery"));
  auto lng = reinterpret_cast<BT_long_t>(dlsym(so, "BT_long"));
  ASSERT_TRUE(use && query && lng);
  EXPECT_NE(dlsym(so, "BT_OnConnect"), nullptr);
  EXPECT_NE(dlsym(so, "BT_OnMonitor"), nullptr);
  EXPECT_NE(dlsym(so, "BT_OnReset"), nullptr);

  EXPECT_EQ(use(&driver), 1);
  EXPECT_EQ(query("COM1", "NONE"), 0x20);
  EXPECT_EQ(use(&driver), 0);   // too late: the library has started
  EXPECT_EQ(query("COM2", "NONE"), 2);
  EXPECT_EQ(lng(nullptr), 3);
  auto pinq = driver.RequestsWithCode(IOCTL_SARNO_PINQ);
  ASSERT_EQ(pinq.size(), 1u);
  EXPECT_EQ(pinq[0].device, 0);

  dlclose(so);   // the shutdown runs: the real 2000 ms wait, then the device is closed
  if (void* still = dlopen(MENDALIX_SO, RTLD_NOW | RTLD_NOLOAD)) {
    // Some runtimes (sanitizers) keep the object mapped; its shutdown then runs at exit.
    dlclose(still);
  } else {
    EXPECT_EQ(driver.Closed(), std::vector<int>{0});
  }
  EXPECT_TRUE(std::filesystem::exists("Quorvex.ini"));   // COM2 had no device
  std::filesystem::current_path(old);
  std::filesystem::remove_all(dir);
}

}  // namespace
