#include "tools/btctl/stop_request.h"

namespace {
std::atomic<int> stopFlag{0};
std::atomic<int> tryNowFlag{0};
std::atomic<int> handled{0};
}  // namespace

#ifdef _WIN32
#include <windows.h>

namespace {

// Windows gives a handler about five seconds after the console closes; the library's
// unload alone takes two of them.
constexpr DWORD kCloseWaitMs = 4500;

// Auto-reset: one wake-up per signal. Made before main runs, so every thread sees it.
HANDLE wakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);

BOOL WINAPI OnConsoleEvent(DWORD event) {
  RequestStop();
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    for (DWORD waited = 0; handled.load() == 0 && waited < kCloseWaitMs; waited += 50) Sleep(50);
  }
  return TRUE;
}

void Wake() { SetEvent(wakeEvent); }

}  // namespace

const std::atomic<int>& StopRequested() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  return stopFlag;
}

void WaitForStopOrNudge(uint32_t ms) { WaitForSingleObject(wakeEvent, ms); }

#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>

namespace {

// The self-pipe: a signal handler may write a byte, and poll waits for one.
int wakePipe[2] = {-1, -1};

void Wake() {
  if (wakePipe[1] >= 0) {
    char b = 1;
    ssize_t n = write(wakePipe[1], &b, 1);
    (void)n;   // a full pipe already holds a wake-up
  }
}

void OnSignal(int) { RequestStop(); }

bool PipeReady() {
  if (wakePipe[0] >= 0) return true;
  if (pipe(wakePipe) != 0) return false;
  for (int fd : wakePipe) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return true;
}

}  // namespace

const std::atomic<int>& StopRequested() {
  PipeReady();
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGHUP, OnSignal);
  return stopFlag;
}

void WaitForStopOrNudge(uint32_t ms) {
  if (!PipeReady()) {
    usleep(ms * 1000u);
    return;
  }
  pollfd p{wakePipe[0], POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(ms)) > 0) {
    char drain[16];
    while (read(wakePipe[0], drain, sizeof drain) > 0) {
    }
  }
}
#endif

void StopHandled() { handled.store(1); }
const std::atomic<int>& StopFlag() { return stopFlag; }
std::atomic<int>& TryNowFlag() { return tryNowFlag; }

void RequestStop() {
  stopFlag.store(1);
  Wake();
}

void RequestTryNow() {
  tryNowFlag.store(1);
  Wake();
}
