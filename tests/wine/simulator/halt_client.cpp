// A program that holds the simulated driver's control devices while the driver is halted,
// as a shop application holds the library: on each device a read waits and a request that
// takes a while (the scenario's busy time) is sent again and again, each on its own handle.
// It prints "ready" once its calls are under way; every thread ends at its first failed
// call (the driver going). When all have ended it prints "returned N of N" and exits 0; a
// call still out after a minute means the driver lost it: "FAIL: ..." and exit 1.
#include <windows.h>

#include <cstdio>

#include "tests/wine/simulator/simulator_client.h"

namespace {

volatile LONG sent = 0, returned = 0;

struct Worker {
  HANDLE device;
  bool reads;  // else busy requests
};

DWORD WINAPI Work(void* arg) {
  const Worker* w = static_cast<const Worker*>(arg);
  for (;;) {
    char buf[256] = "NONE";
    DWORD got = 0;
    InterlockedIncrement(&sent);
    BOOL ok = w->reads ? ReadFile(w->device, buf, 255, &got, nullptr)
                       : DeviceIoControl(w->device, IOCTL_SARNO_RESET, buf, 4, buf, 4, &got, nullptr);
    InterlockedIncrement(&returned);
    if (!ok) return 0;
  }
}

HANDLE Open(int number) {
  char name[20];
  snprintf(name, sizeof name, "%s%d", SARNO_DEVICE_PREFIX, number);
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

int main() {
  // COM2 linked, so that the halt has a published link to take away.
  uint32_t word = 0xdead;
  if (!simtest::Device(0).Request(IOCTL_SARNO_PCON, "0080372A0001", &word) || word != 0) {
    printf("FAIL: the connect on COM2 gave 0x%x\n", (unsigned)word);
    return 1;
  }
  Worker workers[4] = {{Open(0), true}, {Open(0), false}, {Open(1), true}, {Open(1), false}};
  HANDLE threads[4];
  for (int i = 0; i < 4; ++i) {
    if (workers[i].device == INVALID_HANDLE_VALUE) {
      printf("FAIL: no device %d\n", i / 2);
      return 1;
    }
    threads[i] = CreateThread(nullptr, 0, Work, &workers[i], 0, nullptr);
  }
  Sleep(200);  // the reads are queued, a request is in progress
  printf("ready\n");
  fflush(stdout);
  if (WaitForMultipleObjects(4, threads, TRUE, ScaledMs(60000)) != WAIT_OBJECT_0) {
    printf("FAIL: %ld of %ld calls returned\n", returned, sent);
    fflush(stdout);
    ExitProcess(1);  // the stuck threads cannot be joined
  }
  printf("returned %ld of %ld\n", returned, sent);
  for (int i = 0; i < 4; ++i) {
    CloseHandle(threads[i]);
    CloseHandle(workers[i].device);
  }
  return 0;
}
