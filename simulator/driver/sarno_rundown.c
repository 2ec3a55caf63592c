/* Counts the threads inside the driver's code, so that the unload returns only once none is
 * left: the image is freed right after it returns, and a thread still in it would run in
 * freed memory. Windows holds an unload back while requests are in flight; Wine's device
 * host does not, and dispatches and cancels on other threads than the one that unloads.
 * The timer thread is counted too: it was seen waking from its tick in the freed image. */
#include "simulator/driver/sarno_driver.h"

int sarno_enter(struct sarno_driver* d) {
  InterlockedIncrement(&d->inside);
  return !d->stopping;
}

void sarno_leave(struct sarno_driver* d) { InterlockedDecrement(&d->inside); }

void sarno_wait_until_outside(struct sarno_driver* d) {
  LARGE_INTEGER tick;
  int i;
  tick.QuadPart = -(LONGLONG)SARNO_TICK_MS * 10000;
  /* Bounded (10 s): a thread stuck in the platform must not hang the unload for good. */
  for (i = 0; i < 10000 / SARNO_TICK_MS && InterlockedCompareExchange(&d->inside, 0, 0) > 0; ++i)
    KeDelayExecutionThread(KernelMode, FALSE, &tick);
  /* The last thread out still returns through a few instructions of ours. */
  KeDelayExecutionThread(KernelMode, FALSE, &tick);
}
