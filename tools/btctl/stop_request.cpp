#include "tools/btctl/stop_request.h"

namespace {
std::atomic<int> stopFlag{0};
std::atomic<int> handled{0};
}  // namespace

#ifdef _WIN32
#include <windows.h>

namespace {

// Windows gives a handler about five seconds after the console closes; the library's
// unload alone takes two of them.
constexpr DWORD kCloseWaitMs = 4500;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  stopFlag.store(1);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    for (DWORD waited = 0; handled.load() == 0 && waited < kCloseWaitMs; waited += 50) Sleep(50);
  }
  return TRUE;
}

}  // namespace

const std::atomic<int>& StopRequested() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  return stopFlag;
}

#else
#include <csignal>

namespace {
void OnSignal(int) { stopFlag.store(1); }
}  // namespace

const std::atomic<int>& StopRequested() {
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGHUP, OnSignal);
  return stopFlag;
}
#endif

void StopHandled() { handled.store(1); }
